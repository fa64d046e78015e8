// The program's form: the body extension at every version gate, its round
// trip, the multi-record form's pages, and the program module owner.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>

#include "engine/interface/include/zetcore.h"
#include "runtime/dataviews/browfmt.h"
#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/forms/tests/forms_table_util.h"
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

// A form of every element kind (every record code a class writes) reads
// back through the factory and writes the very same bytes.
TEST(ZetMask, EveryRecordCodeRoundTrips) {
  const auto form = formstest::MakeProgramForm(48);
  std::set<int16_t> codes;
  for (int i = 0; i < form->PageAt(0)->Count; ++i) codes.insert(form->PageAt(0)->ElementAt(i)->GetRecordCode());
  for (int16_t code = -14; code <= 10; ++code)
    EXPECT_EQ(codes.count(code), code == -7 || code == 0 || code == 5 || code == 7 ? 0u : 1u) << code;
  const std::string bytes = formstest::Bytes(*form);
  TMemStream in(0, 4096);
  in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  in.Seek(0);
  TZetMask read(nullptr);
  ASSERT_EQ(read.Read(in), 0);
  EXPECT_EQ(read.PageAt(0)->Count, 48);
  EXPECT_EQ(formstest::Bytes(read), bytes);
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

// The element made for each engine field type, with its width before the
// form fits it; types no element shows make none.
TEST(ZetMask, FieldElementsByEngineType) {
  const struct {
    uint16_t type, size;
    int16_t code;
    int32_t width, height;
    int frame;
  } cases[] = {{1, 30, forms::kCodeInput, 500, -1, 1},    {1, 10, forms::kCodeInput, 200, -1, 1},
               {2, 0, forms::kCodeInput, 100, -1, 1},     {3, 0, forms::kCodeInput, 200, -1, 1},
               {4, 0, forms::kCodeInput, 100, -1, 1},     {5, 0, forms::kCodeYesNo, 100, -1, 1},
               {6, 0, forms::kCodeInput, 200, -1, 1},     {7, 0, forms::kCodeMemo, 200, 200, 0},
               {8, 0, forms::kCodeSelection, 200, -1, 1}, {9, 0, forms::kCodeAutoNo, 100, -1, 1},
               {10, 0, forms::kCodeLink, 300, -1, 1},     {11, 0, forms::kCodePicture, 200, 200, 0},
               {12, 0, forms::kCodeRelation, 400, -1, 1}, {13, 0, forms::kCodeInput, 100, -1, 1}};
  TZetMask mask(1, nullptr);
  for (const auto& c : cases) {
    ZetFieldSpec desc{};
    std::strcpy(desc.name, "FELD");
    desc.type = c.type;
    desc.size = c.size;
    std::unique_ptr<forms::TMaskElement> element(mask.CreateFieldElement(desc, false));
    ASSERT_TRUE(element) << c.type;
    EXPECT_EQ(element->GetRecordCode(), c.code) << c.type;
    kxobject::TRect bounds;
    element->GetBounds(bounds);
    EXPECT_EQ(bounds.right - bounds.left, c.width) << c.type;
    if (c.height > 0) {
      EXPECT_EQ(bounds.bottom - bounds.top, c.height) << c.type;
    }
    EXPECT_EQ(element->GetFrameStyle(), c.frame) << c.type;
  }
  for (uint16_t type : {14, 15, 99}) {
    ZetFieldSpec desc{};
    desc.type = type;
    EXPECT_EQ(mask.CreateFieldElement(desc, false), nullptr) << type;
  }
}

class FormTable : public formstest::CustomerTable {
 protected:
  void SetUp() override {
    CustomerTable::SetUp();
    source_ = std::make_unique<dataviews::TZetDataSource>(relation_);
  }
  void TearDown() override {
    source_.reset();
    CustomerTable::TearDown();
  }
  static kxobject::TRect Bounds(const forms::TMaskElement* element) {
    kxobject::TRect r;
    element->GetBounds(r);
    return r;
  }

  std::unique_ptr<dataviews::TZetDataSource> source_;
};

TEST_F(FormTable, BuildFromTableLaysOutTwoColumns) {
  TZetMask form(source_.get(), false);
  ASSERT_EQ(form.Count, 1);
  forms::TMaskPage* page = form.PageAt(0);
  ASSERT_EQ(page->Count, 12);  // six fields, each followed by its label
  const int32_t fieldX[] = {240, 780, 240, 780, 240, 780};
  for (int i = 0; i < 6; ++i) {
    const kxobject::TRect field = Bounds(page->ElementAt(2 * i)), label = Bounds(page->ElementAt(2 * i + 1));
    EXPECT_EQ(field.left, fieldX[i]) << i;
    EXPECT_EQ(label.left, fieldX[i] - 220) << i;
    EXPECT_EQ(label.top, field.top) << i;
    EXPECT_LE(field.right - field.left, 300) << i;
  }
  EXPECT_EQ(Bounds(page->ElementAt(0)).top, 20);
  EXPECT_EQ(Bounds(page->ElementAt(2)).top, 20);
  EXPECT_EQ(Bounds(page->ElementAt(4)).top, 20 + Bounds(page->ElementAt(2)).bottom - 20 + 20);
  char text[32];
  page->ElementAt(3)->GetText(text, sizeof text - 1);
  EXPECT_STREQ(text, "NAME");
  // Every element of the last row (the relation field is the tallest)
  // stands inside the page.
  EXPECT_EQ(page->GetWidth(), 1100);
  int32_t bottom = 0;
  for (int i = 8; i < 12; ++i) bottom = std::max(bottom, Bounds(page->ElementAt(i)).bottom);
  EXPECT_EQ(page->GetHeight(), bottom + 20);
  std::unique_ptr<kxobject::TKxStringList> names(form.GetFieldNames());
  ASSERT_EQ(names->Count, 6);
  EXPECT_STREQ(names->StrAt(5), "FREUNDE");

  TZetMask bare(source_.get(), true);
  EXPECT_EQ(bare.PageAt(0)->Count, 6);
  char message[64];
  EXPECT_TRUE(bare.CheckElements(source_->GetTableHandle(), message, sizeof message));
  EXPECT_STREQ(message, "");
}

TEST_F(FormTable, CheckElementsReportsTheFirstMisfit) {
  const struct {
    const char* field;
    uint16_t dataType;
    const char* message;
  } cases[] = {{"FEHLT", forms::dtText, "Spalte FEHLT nicht gefunden."},
               {"NAME", forms::dtInteger, "Ungeeigneter Datentyp in Spalte NAME. Passen Sie die Maske mit \"Entwerfen\" an."},
               {"KUNDEN.MENGE", forms::dtInteger, nullptr},
               {"KUNDEN.NICHTS", forms::dtInteger, "Spalte KUNDEN.NICHTS nicht gefunden."},
               {"LIEFERANT.MENGE", forms::dtInteger, "Spalte LIEFERANT.MENGE nicht gefunden."},
               {"EINSEHRSEHRSEHRSEHRSEHRLANGERNAMEEINESFELDES", forms::dtText,
                "Spalte EINSEHRSEHRSEHRSEHRSEHRLANGERNAMEEINESFE nicht gefunden."}};
  for (const auto& c : cases) {
    TZetMask form(1, nullptr);
    form.PageAt(0)->InsertElement(-1, new forms::TLabelElement(form.PageAt(0), -1, {0, 0, 100, 40}, "egal"));
    form.PageAt(0)->InsertElement(-1, new forms::TInputField(form.PageAt(0), 0, forms::dtInteger, {0, 0, 9, 9}, "MENGE"));
    form.PageAt(0)->InsertElement(-1, new forms::TInputField(form.PageAt(0), 0, c.dataType, {0, 0, 9, 9}, c.field));
    form.PageAt(0)->InsertElement(-1, new forms::TInputField(form.PageAt(0), 0, forms::dtText, {0, 0, 9, 9}, "ZULETZT"));
    char message[128] = "x";
    const bool fits = form.CheckElements(source_->GetTableHandle(), message, sizeof message);
    if (!c.message) {  // the last field then misfits
      EXPECT_FALSE(fits);
      EXPECT_STREQ(message, "Spalte ZULETZT nicht gefunden.");
      continue;
    }
    EXPECT_FALSE(fits) << c.field;
    EXPECT_STREQ(message, c.message);
    char small[8];
    form.CheckElements(source_->GetTableHandle(), small, sizeof small);
    EXPECT_STREQ(small, std::string(c.message).substr(0, 7).c_str());
  }
}

TEST_F(FormTable, MultiRecordForms) {
  TMultiMask rows(source_.get(), true);
  ASSERT_EQ(rows.Count, 2);
  forms::TMaskPage* header = rows.PageAt(0);
  forms::TMaskPage* row = rows.PageAt(1);
  ASSERT_EQ(row->Count, 5);  // the relation field is left out
  EXPECT_EQ(row->GetColor(), 0xFFFFFFu);
  EXPECT_EQ(row->GetPageMode(), forms::kPageFlow);
  EXPECT_EQ(header->GetPageMode(), forms::kPageFlow);
  EXPECT_EQ(row->GetWidth(), 1900);
  EXPECT_EQ(header->GetWidth(), 1900);
  ASSERT_EQ(header->Count, 5);
  int32_t height = 0;
  for (int i = 0; i < 5; ++i) height = std::max(height, Bounds(row->ElementAt(i)).bottom - Bounds(row->ElementAt(i)).top);
  EXPECT_EQ(row->GetHeight(), height);
  const char* names[] = {"NR", "NAME", "MENGE", "PREIS", "NOTIZ"};
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(row->ElementAt(i)->GetFrameStyle(), 0);
    EXPECT_EQ(Bounds(row->ElementAt(i)).bottom - Bounds(row->ElementAt(i)).top, height);
    char text[32];
    header->ElementAt(i)->GetText(text, sizeof text - 1);
    EXPECT_STREQ(text, names[i]);
    EXPECT_EQ(Bounds(header->ElementAt(i)).left, Bounds(row->ElementAt(i)).left);
  }
  EXPECT_EQ(header->GetHeight(), Bounds(header->ElementAt(0)).bottom + 20);

  dataviews::TBrowserFormat columns;
  columns.InsertColumn(0, "NAME", 20, -1, "Name");
  columns.InsertColumn(1, "MENGE*2", 6, -1, "Doppelt");
  TMultiMask browse(columns, source_.get());
  ASSERT_EQ(browse.PageAt(1)->Count, 2);
  EXPECT_EQ(browse.PageAt(1)->ElementAt(0)->GetRecordCode(), forms::kCodeInput);
  EXPECT_EQ(browse.PageAt(1)->ElementAt(1)->GetRecordCode(), forms::kCodeExpression);
  const int32_t average = browse.GetFontAverageWidth(0);
  ASSERT_GT(average, 0);
  EXPECT_EQ(Bounds(browse.PageAt(0)->ElementAt(1)).left, 21 * average);
  EXPECT_EQ(Bounds(browse.PageAt(1)->ElementAt(1)).right, 21 * average + 7 * average);
  EXPECT_EQ(browse.PageAt(1)->GetWidth(), 10000);
  EXPECT_EQ(browse.PageAt(1)->GetColor(), 0xFFFFFFu);
}

// A form of version 17 (written here as such a file holds it: plain font
// records, a connection element whose sub-form is a font-less column set)
// gets its sub-form built from the columns over the linked table, and the
// form then writes the current layout, which reads back byte for byte.
TEST_F(FormTable, Version17ConnectionBuildsItsSubFormFromColumns) {
  dataviews::TBrowserFormat columns;
  columns.InsertColumn(-1, "NAME", 20, -1, "Name");
  columns.InsertColumn(-1, "MENGE*2", 6, -1, "Doppelt");
  columns.InsertColumn(-1, "PREIS", 10, 2, "Preis");
  const auto file = [&columns](const char* linkName) {
    TMemStream s(0, 1024);
    s.Write("WZETMS", 6);
    s.WriteInt(17);
    s.WriteInt(1);  // formats
    kxfont::TKxFont("Arial", -35, 0).Write(s);
    s.WriteInt(1);  // pages
    s.WriteInt(0);  // page kind
    s.WriteSize({1000, 700});
    const uint32_t grey = 0xC0C0C0;
    s.Write(&grey, 4);
    s.WriteInt(1);  // elements
    s.WriteInt(forms::kCodeConnection);
    formstest::WriteBaseRecord(s, 17, nullptr, nullptr, 0, -2, {30, 30, 900, 400}, 1, 0xFFFFFF, 0, 0);
    s.WriteString(linkName);
    s.WriteInt(0x10);
    s.WriteString("MENGE > 0");
    columns.WriteWithoutFont(s);
    for (const char* text : {"Bedingung", "Meldung", "Sechs"}) s.WriteString(text);
    for (int filter = 0; filter < 3; ++filter) s.WriteInt(-1);  // unfiltered
    return std::string(reinterpret_cast<const char*>(s.Block->Data), size_t(s.Size));
  };
  TZetMask form(nullptr);
  ASSERT_EQ(formstest::ReadForm(file("KUNDEN"), form), 0);
  EXPECT_EQ(form.GetGeneration(), 1);
  ASSERT_EQ(form.PageAt(0)->Count, 1);
  const auto& connection = static_cast<const forms::TConnectionField&>(*form.PageAt(0)->ElementAt(0));
  EXPECT_STREQ(connection.GetCondition(), "MENGE > 0");
  EXPECT_EQ(connection.GetBoundSource(), nullptr);  // the cursor it was built over is gone
  const TMultiMask& sub = connection.GetSubForm();
  ASSERT_EQ(sub.Count, 2);
  EXPECT_EQ(sub.GetDataSource(), nullptr);
  const forms::TMaskPage* titles = sub.PageAt(0);
  const forms::TMaskPage* row = sub.PageAt(1);
  ASSERT_EQ(titles->Count, 3);
  ASSERT_EQ(row->Count, 3);
  const int32_t average = sub.GetFontAverageWidth(0);
  ASSERT_GT(average, 0);
  const struct {
    const char* title;
    int16_t code;
    const char* name;  // the field, or the expression
    int32_t left, width;
  } expected[] = {{"Name", forms::kCodeInput, "NAME", 0, 21 * average},
                  {"Doppelt", forms::kCodeExpression, "MENGE*2", 21 * average, 7 * average},
                  {"Preis", forms::kCodeInput, "PREIS", 28 * average, 11 * average}};
  int32_t titleHeight = 0, rowHeight = 0;
  for (int i = 0; i < 3; ++i) {
    const auto& c = expected[i];
    char text[32];
    titles->ElementAt(i)->GetText(text, sizeof text - 1);
    EXPECT_STREQ(text, c.title);
    const forms::TMaskElement* element = row->ElementAt(i);
    EXPECT_EQ(element->GetRecordCode(), c.code) << i;
    if (const auto* field = dynamic_cast<const forms::TMaskField*>(element)) {
      field->GetFieldName(text, sizeof text - 1);
      EXPECT_STREQ(text, c.name);
    } else {
      EXPECT_STREQ(static_cast<const forms::TExpressionElement*>(element)->GetExpression(), c.name);
    }
    for (const forms::TMaskElement* placed : {static_cast<const forms::TMaskElement*>(titles->ElementAt(i)), element}) {
      EXPECT_EQ(Bounds(placed).left, c.left) << i;
      EXPECT_EQ(Bounds(placed).right, c.left + c.width) << i;
    }
    titleHeight = std::max(titleHeight, Bounds(titles->ElementAt(i)).bottom);
    rowHeight = std::max(rowHeight, Bounds(element).bottom);
  }
  EXPECT_EQ(titles->GetWidth(), 10000);
  EXPECT_EQ(row->GetWidth(), 10000);
  EXPECT_EQ(titles->GetHeight(), titleHeight);
  EXPECT_EQ(row->GetHeight(), rowHeight);
  EXPECT_EQ(row->GetColor(), 0xFFFFFFu);
  EXPECT_STREQ(form.GetFormText(6), "Sechs");

  // The current layout: the sub-form's body instead of the columns.
  const std::string bytes = formstest::Bytes(form);
  TZetMask back(nullptr);
  ASSERT_EQ(formstest::ReadForm(bytes, back), 0);
  EXPECT_EQ(formstest::Bytes(back), bytes);
  const auto& again = static_cast<const forms::TConnectionField&>(*back.PageAt(0)->ElementAt(0));
  EXPECT_EQ(again.GetSubForm().PageAt(1)->ElementAt(1)->GetRecordCode(), forms::kCodeExpression);

  // Without the linked table no column names a field: every column shows
  // its expression.
  TZetMask unlinked(nullptr);
  ASSERT_EQ(formstest::ReadForm(file("POSTEN"), unlinked), 0);
  const TMultiMask& plain = static_cast<const forms::TConnectionField&>(*unlinked.PageAt(0)->ElementAt(0)).GetSubForm();
  for (int i = 0; i < 3; ++i) EXPECT_EQ(plain.PageAt(1)->ElementAt(i)->GetRecordCode(), forms::kCodeExpression) << i;

  // A seed of the form reader (FORMS_WRITE_FUZZ_SEEDS=<folder>).
  if (const char* folder = std::getenv("FORMS_WRITE_FUZZ_SEEDS"))
    std::ofstream(std::string(folder) + "/connection17", std::ios::binary) << file("KUNDEN");
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
