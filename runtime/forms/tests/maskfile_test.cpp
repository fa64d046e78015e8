// The element base record, pages and the form file: version gates, the
// reader's answers for damaged files, byte-identical round trips, flow
// layout, page printing and format maintenance.
#include <gtest/gtest.h>

#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "runtime/forms/tests/forms_test_util.h"

namespace {

using forms::TMaskElement;
using forms::TMaskPage;
using kxobject::TMemStream;
using kxobject::TRect;

using formstest::WriteBaseRecord;

TEST(ElementRecord, VersionGates) {
  struct Case {
    int version;
    bool name, second, flags, color, flag;
  } const cases[] = {
      {43, true, true, true, true, true},   {35, true, true, true, true, true},
      {34, true, true, true, true, false},  {22, true, false, true, true, false},
      {21, true, false, true, true, false}, {20, true, false, true, false, false},
      {19, false, false, false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.version);
    TMemStream s(0, 256);
    WriteBaseRecord(s, c.version, "Name", "Zweiter", 0x1234, -7, TRect{1, 2, 300, -400}, -1, 0x00FF00, 3, 9);
    s.WriteInt(0x5A5A);  // what follows the record must stay unread
    s.Seek(0);
    const TMaskElement e(s, int16_t(c.version));
    EXPECT_EQ(s.ReadInt(), 0x5A5A);
    EXPECT_EQ(0, s.Status);
    EXPECT_STREQ(c.name ? "Name" : nullptr, e.GetName());
    EXPECT_STREQ(c.second ? "Zweiter" : nullptr, e.GetSecondText());
    EXPECT_EQ(c.flags ? 0x1234 : 0, e.GetStyleFlags());
    EXPECT_EQ(-7, e.GetKind());
    TRect r;
    e.GetBounds(r);
    EXPECT_EQ((TRect{1, 2, 300, -400}), r);
    int16_t frame, format;
    kxfont::COLORREF color;
    e.GetFrameColorFont(frame, color, format);
    EXPECT_EQ(-1, frame);  // the invisible frame keeps its sign
    EXPECT_EQ(c.color ? 0x00FF00u : kxfont::kTransparentColor, color);
    EXPECT_EQ(3, format);
    EXPECT_EQ(c.flag ? 9 : 0, e.GetFlag());
  }
}

TEST(ElementRecord, CurrentRecordRoundTripsAndClampsBounds) {
  TMaskElement e(nullptr, 5, TRect{-40000, 10, 40000, 20});
  e.SetName("Feld");
  e.SetSecondText("x");
  e.SetStyleFlags(7);
  e.SetFrameColorFont(4, 0x123456, 2);
  e.SetFlag(1);
  TMemStream s(0, 256);
  e.Write(s);
  s.Seek(0);
  const TMaskElement back(s, 43);
  TRect r;
  back.GetBounds(r);
  EXPECT_EQ((TRect{-32768, 10, 32767, 20}), r);  // clamped, never wrapped
  EXPECT_STREQ("Feld", back.GetName());
  EXPECT_STREQ("x", back.GetSecondText());
  EXPECT_EQ(7, back.GetStyleFlags());
  EXPECT_EQ(4, back.GetFrameStyle());
  EXPECT_EQ(0x123456u, back.GetColor());
  EXPECT_EQ(2, back.GetFormatIndex());
  EXPECT_EQ(1, back.GetFlag());
  const std::unique_ptr<TMaskElement> copy(back.Clone());
  EXPECT_EQ(0, copy->GetFlag());  // a copy starts with flag 0
  EXPECT_STREQ("Feld", copy->GetName());
}

TEST(ElementBase, InnerBoundsColourAndActionCheck) {
  struct Case {
    int16_t frame;
    TRect inner;
  } const cases[] = {{2, {5, 5, 95, 45}}, {0, {0, 0, 100, 50}}, {-1, {0, 0, 100, 50}}};
  for (const Case& c : cases) {
    TMaskElement e(nullptr, 0, TRect{0, 0, 100, 50});
    e.SetFrameStyle(c.frame);
    TRect r;
    e.GetInnerBounds(r);
    EXPECT_EQ(c.inner, r) << c.frame;
  }
  formstest::TTestMask mask(1, nullptr);
  auto* e = new TMaskElement(nullptr, 0, TRect{});
  EXPECT_EQ(forms::kLightRed, e->GetColor());
  mask.PageAt(0)->InsertElement(0, e);
  EXPECT_EQ(forms::kLightGrey, e->GetColor());
  e->SetColor(0x00FF00);
  EXPECT_EQ(0x00FF00u, e->GetColor());
  char message[64] = "unchanged";
  EXPECT_TRUE(e->CheckAction(forms::TKxAction(1, ""), message, 63));
  EXPECT_STREQ("unchanged", message);
  EXPECT_THROW(forms::PutMaskElement(*e, *std::make_unique<TMemStream>(0, 16)), kxobject::xmsg);
}

TEST(Page, NewPageAndOldMargin) {
  formstest::TTestMask mask(1, nullptr);
  const TMaskPage& page = *mask.PageAt(0);
  EXPECT_EQ(1000, page.GetWidth());
  EXPECT_EQ(700, page.GetHeight());
  EXPECT_EQ(forms::kLightGrey, page.GetColor());
  EXPECT_EQ(0, page.GetPageMode());
  EXPECT_EQ(40, page.GetMargin());
  TMemStream s(0, 64);
  s.WriteString("Alt");
  s.WriteSize({500, 300});
  const uint32_t color = 0xFFFFFF;
  s.Write(&color, 4);
  s.Seek(0);
  TMaskPage old(nullptr, true);
  EXPECT_EQ(0, old.Read(s, 20));
  EXPECT_EQ(50, old.GetMargin());
  EXPECT_EQ(0, old.GetPageMode());
  EXPECT_EQ(500, old.GetWidth());
}

// Lefts of the page's elements in list order.
std::vector<int32_t> Lefts(const TMaskPage& page) {
  std::vector<int32_t> lefts;
  for (int32_t i = 0; i < page.Count; ++i) {
    TRect r;
    page.ElementAt(i)->GetBounds(r);
    lefts.push_back(r.left);
  }
  return lefts;
}

TEST(Page, FlowLayoutAndMoves) {
  formstest::TTestMask mask(1, nullptr);
  TMaskPage& page = *mask.PageAt(0);
  page.SetPageMode(forms::kPageFlow);
  page.FitWidthToElements();
  EXPECT_EQ(0, page.GetWidth());
  page.SetPageMode(forms::kPageFree);
  TMaskElement* third = nullptr;
  for (int w : {100, 200, 50}) {
    third = new TMaskElement(nullptr, 0, TRect{0, 10 * w, w, 10 * w + 30});
    page.InsertElement(-1, third);
  }
  page.SetPageMode(forms::kPageFlow);
  EXPECT_EQ((std::vector<int32_t>{40, 180, 420}), Lefts(page));
  page.MoveElement(third, TRect{0, 77, 50, 107}, nullptr);
  EXPECT_EQ(third, page.ElementAt(0));
  for (int32_t i = 0; i < 3; ++i) {
    TRect r;
    page.ElementAt(i)->GetBounds(r);
    EXPECT_EQ(77, r.top) << i;
  }
  delete page.RemoveElement(0);
  EXPECT_EQ(40, Lefts(page)[0]);  // the gap closes
  page.FitWidthToElements();
  EXPECT_EQ(40 + 40 + 100 + 40 + 200, page.GetWidth());
}

TEST(Page, PrintStopsAtAnElementThatDoesNotFitAndResumes) {
  formstest::TTestMask mask(1, nullptr);
  TMaskPage& page = *mask.PageAt(0);
  page.InsertElement(-1, new TMaskElement(nullptr, 0, TRect{0, 0, 100, 100}));
  page.InsertElement(-1, new TMaskElement(nullptr, 0, TRect{0, 300, 100, 400}));
  formstest::TRecordingContext context;
  forms::TPrintParams params(0, 1000, 2000, 1350, 0);
  int32_t index = 0;
  page.Print(context, index, params);
  EXPECT_EQ(1, index);
  forms::TPrintParams next(0, 200, 2000, 2800, 0);
  page.Print(context, index, next);
  EXPECT_EQ(2, index);
  EXPECT_EQ(200 - 300 + 700, next.Bottom);  // the element began at the top handed in
}

TEST(Page, SizeSharingByPrintMode) {
  struct Case {
    uint16_t a, b, mode;
    bool width, height;
  } const cases[] = {
      {4, 0, 3, true, false}, {4, 0, 2, false, false}, {3, 0, 2, true, false}, {4, 3, 1, true, false},
      {4, 3, 2, false, false}, {6, 7, 0, false, true},  {6, 6, 0, true, true},  {6, 0, 4, true, true},
      {0, 1, 0, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.a << " " << c.b << " mode " << c.mode);
    EXPECT_EQ(c.width, TMaskPage::SharesWidth(c.a, c.b, c.mode));
    EXPECT_EQ(c.height, TMaskPage::SharesHeight(c.a, c.b, c.mode));
  }
}

// A file of the form in memory, with edits applied to its bytes.
std::string TempFile(const std::string& bytes) {
  char name[] = "/tmp/maskfile_XXXXXX";
  const int fd = mkstemp(name);
  EXPECT_EQ(ssize_t(bytes.size()), write(fd, bytes.data(), bytes.size()));
  close(fd);
  return name;
}

TEST(FormFile, ReadAnswers) {
  const std::string good = formstest::Bytes(*formstest::MakeForm(4));
  // Header, eight format records, colours, layout words, page count; then
  // page 0's kind, its record and element count, and the first record code.
  const size_t pageKind = 8 + 2 + 8 * 97 + 64 + 12 + 2;
  const size_t elementCode = pageKind + 2 + 2 + 4 + 4 + 2 + 2 + 2 + 1 + 2;
  struct Case {
    const char* what;
    std::string bytes;
    int32_t result;
  } cases[] = {
      {"good", good, 0},
      {"truncated", good.substr(0, good.size() - 3), -2},
      {"signature", good, -3},
      {"version 44", good, -4},
      {"page kind 8", good, -5},
      {"record code 0", good, -2},
      {"record code 7", good, -2},
      {"record code -7", good, -2},
      {"element count too big", good, -2},
  };
  cases[2].bytes[5] = 'X';
  cases[3].bytes[6] = 44;
  cases[4].bytes[pageKind] = 8;
  cases[5].bytes[elementCode] = 0;
  cases[5].bytes[elementCode + 1] = 0;
  cases[6].bytes[elementCode] = 7;
  cases[6].bytes[elementCode + 1] = 0;
  cases[7].bytes[elementCode] = char(-7);
  cases[7].bytes[elementCode + 1] = char(0xFF);
  cases[8].bytes[elementCode - 1] = char(0xFF);
  for (const Case& c : cases) {
    const std::string file = TempFile(c.bytes);
    formstest::TTestMask mask(nullptr);
    EXPECT_EQ(c.result, mask.Read(file.c_str())) << c.what;
    unlink(file.c_str());
  }
  formstest::TTestMask mask(nullptr);
  EXPECT_EQ(-1, mask.Read("/tmp/no such form.frm"));
}

TEST(FormFile, VersionFortyThreeRoundTripsByteForByte) {
  const auto form = formstest::MakeForm(40);
  form->SetCustomColor(3, 0x112233);
  form->SetLayoutWord(2, 77);
  form->PageAt(0)->SetCaption("Seite");
  form->PageAt(0)->SetSelection("Betrag > 0");
  form->PageAt(0)->SetFlag(1);
  form->AddPage();
  auto* group = static_cast<forms::TGroupPage*>(form->CreatePage(forms::kPageGroup, false));
  group->SetGroupExpression("Ort");
  form->AtInsert(form->Count, group);
  const std::string bytes = formstest::Bytes(*form);
  TMemStream in(0, 4096);
  in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  in.Seek(0);
  formstest::TTestMask back(nullptr);
  ASSERT_EQ(0, back.Read(in));
  EXPECT_EQ(bytes, formstest::Bytes(back));
  EXPECT_EQ(3, back.Count);
  char expression[32];
  EXPECT_STREQ("Ort", static_cast<forms::TGroupPage*>(back.PageAt(2))->GetGroupExpression(expression, 31));
  EXPECT_EQ(0x112233u, back.GetCustomColor(3));
  EXPECT_EQ(77, back.GetLayoutWord(2));
}

TEST(FormFile, OldBodiesTakeTheirDefaults) {
  // Version 17: two plain font records named by position, no colours, no
  // layout words, one page of kind 0 (read from version 10).
  TMemStream s(0, 512);
  s.Write("WZETMS", 6);
  const uint16_t version = 17, two = 2, none = 0;
  s.Write(&version, 2);
  s.Write(&two, 2);
  kxfont::TKxFont("Arial", -35, 0).Write(s);
  kxfont::TKxFont("Arial", -84, 0).Write(s);
  const uint16_t one = 1;
  s.Write(&one, 2);     // page count
  s.Write(&none, 2);    // page kind
  s.WriteSize({800, 600});
  const uint32_t color = 0xC0C0C0;
  s.Write(&color, 4);
  s.Write(&none, 2);    // element count
  s.Seek(0);
  formstest::TTestMask mask(nullptr);
  ASSERT_EQ(0, mask.Read(s));
  ASSERT_EQ(2, mask.GetFormatCount());
  EXPECT_STREQ("Standard", mask.GetFormat(0)->Name);
  EXPECT_STREQ("\xDC" "berschrift 1", mask.GetFormat(1)->Name);
  EXPECT_EQ(1, mask.GetFormat(1)->Kind);
  EXPECT_EQ(1, mask.GetGeneration());
  EXPECT_EQ(0xFFFFFFu, mask.GetCustomColor(0));
  EXPECT_EQ(10, mask.GetLayoutWord(1));
  EXPECT_EQ(50, mask.PageAt(0)->GetMargin());
}

TEST(FormDocument, InsertFontShiftsElementsAndNamesAreUnique) {
  auto form = formstest::MakeForm(8);  // element i on format i
  auto* format = new kxfont::TKxFormat(3, "Neu", kxfont::TKxFont());
  EXPECT_EQ(4, form->InsertFont(format));
  for (int32_t i = 0; i < 8; ++i)
    EXPECT_EQ(i < 4 ? i : i + 1, form->PageAt(0)->ElementAt(i)->GetFormatIndex()) << i;
  form->RemoveFont(4);
  for (int32_t i = 0; i < 8; ++i) EXPECT_EQ(i, form->PageAt(0)->ElementAt(i)->GetFormatIndex()) << i;

  struct Case {
    const char* name;
    const char* expected;
  } const cases[] = {{"E1", "Beschriftung1"}, {"", "Beschriftung2"}, {"frei", "frei"}, {"e2", "Beschriftung3"}};
  for (const Case& c : cases) {
    auto* label = new forms::TLabelElement(nullptr, 0, TRect{0, 0, 10, 10}, "x");
    label->SetName(c.name);
    label->SetFormatIndex(99);
    form->AddElement(5, -1, label);
    EXPECT_STREQ(c.expected, label->GetName());
    EXPECT_EQ(0, label->GetFormatIndex());
  }
}

TEST(FormDocument, WithoutDataSource) {
  formstest::TTestMask mask(1, nullptr);
  char out[16] = "same";
  const uint8_t tokens[4] = {};
  EXPECT_EQ(-1, mask.Solve(tokens, out, sizeof out, 3));
  EXPECT_STREQ("same", out);
  EXPECT_EQ(-1, mask.GetPrevFieldText("Ort", out, sizeof out));
  EXPECT_STREQ("Ort", out);
  forms::TGroupPage alone(nullptr);
  EXPECT_EQ(-1, alone.SolveExpression(out, sizeof out));
}

}  // namespace

namespace {

// Seeds of the form file fuzzer: program forms of every element kind (the
// passive ones, every data field, every computed and special one), with a
// group page and the form's extension and filters, written by the form
// itself.
TEST(FormFile, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("FORMS_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  for (int count : {0, 6, 24, 48}) {
    auto form = formstest::MakeProgramForm(count);
    auto* group = static_cast<forms::TGroupPage*>(form->CreatePage(forms::kPageGroup, false));
    group->SetGroupExpression("Ort");
    group->SetPageMode(forms::kPageFlow);
    form->AtInsert(form->Count, group);
    std::ofstream(std::string(folder) + "/form" + std::to_string(count), std::ios::binary)
        << formstest::Bytes(*form);
  }
}

}  // namespace
