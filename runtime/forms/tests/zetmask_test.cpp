// The program's form: the body extension at every version gate, its round
// trip, the multi-record form's pages, and the program module owner.
#include <gtest/gtest.h>

#include <string>

#include "engine/interface/include/zetcore.h"
#include "runtime/forms/tests/forms_test_util.h"
#include "runtime/forms/zetmask.h"

namespace {

using forms::TMultiMask;
using forms::TZetMask;
using forms::TZetModule;
using kxobject::TMemStream;

std::string Word(int v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Str(const std::string& s) { return Word(int(s.size())) + s; }

// A form file of version v with an empty document body and every extension
// field the version stores: page tabs 1, tab format 7, page index 2, texts
// "T1" .. "T7", three filtered empty filters.
std::string FileOfVersion(int v) {
  std::string bytes = std::string("WZETMS") + Word(v) + Word(0);
  if (v > 35) bytes += std::string(64, '\xFF');
  if (v > 21) bytes += Word(0) + Word(10) + Word(0) + Word(10) + Word(0) + Word(1);
  bytes += Word(0);
  if (v > 20) bytes += Word(1);
  if (v >= 43) bytes += Word(7) + Word(0);
  if (v > 19) bytes += Word(2);
  const int after[7] = {15, 15, 23, 23, 19, 15, 25};
  for (int i = 0; i < 7; ++i)
    if (v > after[i]) bytes += Str("T" + std::to_string(i + 1));
  if (v > 12) bytes += Word(0);
  if (v > 13) bytes += Word(0);
  if (v > 14) bytes += Word(0);
  return bytes;
}

TEST(ZetMask, BodyExtensionVersionGates) {
  const struct {
    int version;
    bool tabs;
    int32_t tabFormat;
    int16_t pageIndex;
    const char* texts;  // which of texts 1..7 are present
    bool menu, tools, keys;
  } cases[] = {
      {12, false, -1, -1, "-------", false, false, false}, {13, false, -1, -1, "-------", true, false, false},
      {14, false, -1, -1, "-------", true, true, false},     {15, false, -1, -1, "-------", true, true, true},
      {16, false, -1, -1, "11---1-", true, true, true},      {19, false, -1, -1, "11---1-", true, true, true},
      {20, false, -1, 2, "11--11-", true, true, true},       {21, true, -1, 2, "11--11-", true, true, true},
      {24, true, -1, 2, "111111-", true, true, true},        {26, true, -1, 2, "1111111", true, true, true},
      {42, true, -1, 2, "1111111", true, true, true},        {43, true, 7, 2, "1111111", true, true, true},
  };
  for (const auto& c : cases) {
    const std::string bytes = FileOfVersion(c.version);
    TMemStream in(0, 256);
    in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
    in.Seek(0);
    TZetMask mask(nullptr);
    ASSERT_EQ(mask.Read(in), 0) << c.version;
    EXPECT_EQ(in.GetPos(), in.GetSize()) << c.version;
    EXPECT_EQ(mask.GetPageTabs(), c.tabs) << c.version;
    EXPECT_EQ(mask.GetTabFormat(), c.tabFormat) << c.version;
    EXPECT_EQ(mask.GetPageIndex(), c.pageIndex) << c.version;
    for (int i = 0; i < 7; ++i) {
      const std::string expected = c.texts[i] == '1' ? "T" + std::to_string(i + 1) : "";
      EXPECT_EQ(mask.GetFormText(i + 1) ? mask.GetFormText(i + 1) : "", expected) << c.version << " text " << i + 1;
    }
    EXPECT_EQ(!mask.GetMenuFilter()->IsUnfiltered(), c.menu) << c.version;
    EXPECT_EQ(!mask.GetToolbarFilter()->IsUnfiltered(), c.tools) << c.version;
    EXPECT_EQ(!mask.GetAccelFilter()->IsUnfiltered(), c.keys) << c.version;
  }
}

TEST(ZetMask, CurrentFileRoundTripsByteForByte) {
  TZetMask mask(1, nullptr);
  mask.SetPageTabs(true);
  mask.SetTabFormat(3);
  mask.SetPageIndex(0);
  mask.SetConditionTexts("Betrag > 0", "Kein Betrag");
  mask.SetFormText(7, "Nachher");
  mask.GetMenuFilter()->SetUnfiltered(false);
  mask.GetMenuFilter()->InsertSubMenu(-1, "&Form")->Filter->InsertAdditional(-1, "&Rechnung", "Rechnung");
  mask.GetAccelFilter()->SetUnfiltered(false);
  mask.GetAccelFilter()->Insert(new forms::TAccelDef(24323, 'C', 9, nullptr));
  mask.PageAt(0)->InsertElement(-1, new forms::TLabelElement(mask.PageAt(0), 0, {10, 10, 200, 40}, "Kunde"));
  const std::string bytes = formstest::Bytes(mask);
  TMemStream in(0, 256);
  in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  in.Seek(0);
  TZetMask read(nullptr);
  ASSERT_EQ(read.Read(in), 0);
  EXPECT_EQ(formstest::Bytes(read), bytes);
  char condition[5], message[64];
  read.GetConditionTexts(condition, sizeof condition, message, sizeof message);
  EXPECT_STREQ(condition, "Betr");
  EXPECT_STREQ(message, "Kein Betrag");
  kxobject::TSize size;
  read.GetFormSize(size);
  EXPECT_EQ(size.cx, 1000);

  // A truncated extension fails the read.
  for (size_t cut : {bytes.size() - 1, bytes.size() - 20}) {
    TMemStream part(0, 256);
    part.WriteHuge(bytes.data(), uint32_t(cut));
    part.Seek(0);
    TZetMask broken(nullptr);
    EXPECT_EQ(broken.Read(part), -2) << cut;
  }
}

TEST(MultiMask, PagesOfTheEmptyForms) {
  TMultiMask empty;
  ASSERT_EQ(empty.Count, 2);
  EXPECT_EQ(empty.PageAt(1)->GetColor(), 0xFFFFFFu);
  EXPECT_EQ(empty.PageAt(0)->GetColor(), forms::kLightGrey);
  EXPECT_EQ(empty.GetFormatCount(), 1);
  TMultiMask over(nullptr);
  ASSERT_EQ(over.Count, 2);
  EXPECT_EQ(over.PageAt(1)->GetColor(), 0xFFFFFFu);
  EXPECT_EQ(over.GetFormatCount(), 0);
}

const char kModule[] = "PROCEDURE Hallo;\r\n  Print('Hallo');\r\nENDPROC;";

TEST(ZetModule, OwnsItsEngineModule) {
  ZetGetLastError(nullptr, 0);
  { TZetModule empty; }  // makes no engine call: no error is left behind
  EXPECT_EQ(ZetGetLastError(nullptr, 0), 0);

  TZetModule module;
  EXPECT_EQ(module.Create("PROCEDURE Hallo;\r\n  Print('Hallo'"), -41);
  EXPECT_EQ(module.GetHandle(), 0);
  ASSERT_EQ(module.Create(kModule), 0);
  const int32_t first = module.GetHandle();
  ASSERT_GT(first, 0);
  char body[8];
  EXPECT_TRUE(module.GetProcBody("Hallo", body, sizeof body));
  EXPECT_EQ(std::string(body).size(), 7u);
  EXPECT_TRUE(module.AddProcedure("Neu"));
  EXPECT_FALSE(module.AddProcedure("Neu"));  // exists already
  EXPECT_TRUE(module.DeleteProcedure("Neu"));
  EXPECT_FALSE(module.LoadFromFile("/nonexistent/MODUL.MOD"));
  EXPECT_EQ(module.GetHandle(), 0);
  EXPECT_EQ(ZetModGetText(first, nullptr, 0), -41);  // the old module was freed
  EXPECT_FALSE(module.GetProcBody("Hallo", body, sizeof body));
  ZetGetLastError(nullptr, 0);
}

}  // namespace
