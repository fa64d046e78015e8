// The computed and special elements: their records at every version that
// changed them, hostile records, what they draw and print through a
// context, "$" expressions and printing across pages, and the connection
// element's binding.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <tuple>
#include <vector>

#include "runtime/dataviews/tests/dataviews_test_util.h"
#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/forms/maskprop.h"
#include "runtime/forms/tests/forms_test_util.h"
#include "runtime/toolkit/kxdib.h"
#include "runtime/toolkit/kxpicture.h"

namespace {

using forms::TKxAction;
using kxobject::TMemStream;
using kxobject::TRect;

// The recording context with the operations of documents, and a
// formatted-text output that stops at the limit as a page does.
class TDocumentContext : public formstest::TRecordingContext {
 public:
  void DrawFormattedText(const TRect& rect, int bottom, int, int align, reports::TColor,
                         std::unique_ptr<reports::TFormattedText> text, int* nextLine) override {
    TRect area = rect;
    area.bottom = bottom;
    const int next = text->Print(*this, area, nextLine ? *nextLine : 0, align);
    if (nextLine) *nextLine = next;
  }
  int TextOut(const char* text, int length) override {
    Calls.push_back("out " + std::string(text, size_t(length)));
    return length;
  }
  void SetLink(const char* target, const char*) override { Calls.push_back(std::string("link ") + target); }
  void SetCommandLink(const char* command, const char*) override {
    Calls.push_back(std::string("macrolink ") + command);
  }
  void EndLink() override { Calls.push_back("endlink"); }
  void AddCommand(const TRect&, const char* markup) override { Calls.push_back(std::string("command ") + markup); }
  void BeginCard(const char* title, const char* id, int kind, const char* command) override {
    Calls.push_back(std::string("card ") + title + "|" + id + "|" + std::to_string(kind) + "|" + command);
  }
  void AddOptionsCommand(const char* label, int kind, const char* command) override {
    Calls.push_back(std::string("line ") + label + "|" + std::to_string(kind) + "|" + command);
  }
  void DrawGraphic(const TRect& r, bool, kxobject::TKxGraphic* graphic, const char*) override {
    char text[80];
    std::snprintf(text, sizeof text, "graphic (%d,%d,%d,%d) %dx%d", int(r.left), int(r.top), int(r.right),
                  int(r.bottom), graphic->GetWidth(), graphic->GetHeight());
    Calls.push_back(text);
  }
  void DrawPictureFile(const TRect&, bool, const char* fileName, const char* alt) override {
    Calls.push_back(std::string("picturefile ") + fileName + "|" + alt);
  }
  void AddSubmitButton(const TRect&, int, const char* caption, bool, const char* command) override {
    Calls.push_back(std::string("submit ") + caption + "|" + command);
  }
  void AddResetButton(const TRect&, int, const char* caption) override {
    Calls.push_back(std::string("reset ") + caption);
  }
};

// What the engine makes of an expression on no table, as the elements ask.
std::string Value(const char* expression, int32_t format = 2) {
  char out[forms::kMaxExpressionValue + 1];
  EXPECT_TRUE(forms::EvaluateExpression(0, expression, format, out, "?")) << expression;
  return out;
}

std::string RecordBytes(const forms::TMaskElement& element) {
  TMemStream s(0, 1024);
  forms::PutMaskElement(element, s);
  return std::string(reinterpret_cast<const char*>(s.Block->Data), size_t(s.Size));
}

// Reads one element record (record code first) of a version; the stream
// must be read to its end without an error.
std::unique_ptr<forms::TMaskElement> ReadRecord(const std::string& bytes, int16_t version, bool whole = true) {
  TMemStream s(0, 1024);
  s.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  s.Seek(0);
  std::unique_ptr<forms::TMaskElement> element(forms::MaskElementFactory().CreateElementFromStream(s, version));
  if (whole) {
    EXPECT_EQ(0, s.Status) << version;
    EXPECT_EQ(s.GetSize(), s.GetPos()) << version;
  } else {
    EXPECT_NE(0, s.Status) << version;
  }
  return element;
}

// A record of a version: the record code, the base record as that version
// stored it (a nameless element: no name or style flags up to version 19,
// no second text up to 22, no flag byte up to 34), then the kind's own bytes.
std::string OldRecord(int16_t code, int16_t version, const std::string& own) {
  forms::TFormatElement base(nullptr, 0, TRect{10, 20, 300, 60});
  TMemStream s(0, 256);
  base.Write(s);
  std::string bytes(reinterpret_cast<const char*>(s.Block->Data), size_t(s.Size));
  if (version <= 34) bytes.pop_back();
  if (version <= 22) bytes.erase(2, 2);  // the second text
  if (version <= 19) bytes.erase(0, 4);  // the name and the style flags
  return std::string{char(code & 0xFF), char((code >> 8) & 0xFF)} + bytes + own;
}

std::string Word(uint16_t w) { return std::string{char(w & 0xFF), char(w >> 8)}; }
std::string Long(uint32_t v) { return Word(uint16_t(v)) + Word(uint16_t(v >> 16)); }
std::string Str(const std::string& text) { return Word(uint16_t(text.size())) + text; }

TEST(SpecialElements, RecordsRoundTripByteExactThroughTheFactory) {
  const auto form = formstest::MakeSpecialForm();
  const forms::TMaskPage& page = *form->PageAt(0);
  ASSERT_EQ(9, page.Count);
  for (int32_t i = 0; i < page.Count; ++i) {
    const forms::TMaskElement& element = *page.ElementAt(i);
    const std::string bytes = RecordBytes(element);
    const auto back = ReadRecord(bytes, forms::kMaskFileVersion);
    ASSERT_TRUE(back) << i;
    EXPECT_EQ(bytes, RecordBytes(*back)) << i;
    const std::unique_ptr<forms::TMaskElement> copy(element.Clone());
    EXPECT_EQ(bytes, RecordBytes(*copy)) << i;
    char a[64], b[64];
    EXPECT_STREQ(element.GetTypeName(a, 63), back->GetTypeName(b, 63));
  }
  // The whole form, nested sub-forms included, reads back to the same bytes.
  const std::string file = formstest::Bytes(*form);
  TMemStream in(0, 4096);
  in.WriteHuge(file.data(), uint32_t(file.size()));
  in.Seek(0);
  formstest::TTestMask back(nullptr);
  ASSERT_EQ(0, back.Read(in));
  EXPECT_EQ(file, formstest::Bytes(back));
}

TEST(SpecialElements, OlderRecordsReadByVersion) {
  const std::string expression = std::string("\x01\x02", 2) + Word(1) + Str("1+2");
  const std::string column = Word(0);  // a font-less column set of no columns
  {  // expression: no mode word before version 28, which gives mode 6
    const auto v27 = ReadRecord(OldRecord(forms::kCodeExpression, 27, expression), 27);
    const auto v28 = ReadRecord(OldRecord(forms::kCodeExpression, 28, std::string("\x01\x02", 2) + Word(1) + Word(1) +
                                                                         Str("1+2")),
                                28);
    EXPECT_EQ(6, static_cast<forms::TExpressionElement&>(*v27).GetMode());
    EXPECT_EQ(1, static_cast<forms::TExpressionElement&>(*v28).GetMode());
    EXPECT_STREQ("1+2", static_cast<forms::TExpressionElement&>(*v27).GetExpression());
  }
  {  // reference: link text and second text up to 33, an action from 34
    const std::string own = std::string("\x00\x01", 2) + Word(6) + Word(1) + Str("NAME");
    const auto v33 = ReadRecord(OldRecord(forms::kCodeReference, 33, own + Str("\"x\"") + Str("zwei")), 33);
    const auto v34 = ReadRecord(OldRecord(forms::kCodeReference, 34, own + Long(1) + Str("M()")), 34);
    const TKxAction& old = static_cast<forms::TReferenceElement&>(*v33).GetAction();
    const TKxAction& now = static_cast<forms::TReferenceElement&>(*v34).GetAction();
    EXPECT_EQ(TKxAction::kLink, old.Kind);
    EXPECT_STREQ("\"x\"", old.Text.CStr());
    EXPECT_EQ(TKxAction::kMacro, now.Kind);
    EXPECT_STREQ("M()", now.Text.CStr());
  }
  {  // logo: no action before 32, which gives an empty link
    const auto v31 = ReadRecord(OldRecord(forms::kCodeLogo, 31, Word(0) + Word(0)), 31);
    const auto v32 = ReadRecord(OldRecord(forms::kCodeLogo, 32, Word(0) + Word(1) + Str("A.BMP") + Long(1) + Str("X")), 32);
    const auto& old = static_cast<forms::TLogoField&>(*v31);
    EXPECT_EQ(TKxAction::kLink, old.GetAction().Kind);
    EXPECT_STREQ("", old.GetAction().Text.CStr());
    EXPECT_TRUE(old.GetPicture().IsEmpty());
    EXPECT_STREQ("A.BMP", static_cast<forms::TLogoField&>(*v32).GetPicture().FileName.CStr());
  }
  {  // macro button: third text from 20, bitmap flag from 19
    const std::string own = Word(255) + Str("Los") + Str("Go()");
    const auto v18 = ReadRecord(OldRecord(forms::kCodeMacro, 18, own), 18);
    const auto v19 = ReadRecord(OldRecord(forms::kCodeMacro, 19, own + Word(0)), 19);
    const auto v20 = ReadRecord(OldRecord(forms::kCodeMacro, 20, own + Str("drei") + Word(0)), 20);
    for (const auto* e : {v18.get(), v19.get()}) {
      EXPECT_EQ(nullptr, static_cast<const forms::TMacroField*>(e)->GetThirdText());
      EXPECT_EQ(nullptr, static_cast<const forms::TMacroField*>(e)->GetBitmap());
      EXPECT_STREQ("Go()", static_cast<const forms::TMacroField*>(e)->GetAction().Text.CStr());
    }
    EXPECT_STREQ("drei", static_cast<forms::TMacroField&>(*v20).GetThirdText());
  }
  {  // connection: a condition from 16, a column set up to 17, a sub-form from 18
    const auto v15 = ReadRecord(OldRecord(forms::kCodeConnection, 15, Str("POSTEN") + Word(0x10) + column), 15);
    const auto v17 =
        ReadRecord(OldRecord(forms::kCodeConnection, 17, Str("POSTEN") + Word(0x10) + Str("A>1") + column), 17);
    EXPECT_EQ(nullptr, static_cast<forms::TConnectionField&>(*v15).GetCondition());
    EXPECT_STREQ("A>1", static_cast<forms::TConnectionField&>(*v17).GetCondition());
    // A body of version 18: no formats, one page of kind 0 (size, colour) and
    // no elements; the program form's part: three texts and the three
    // filters (unfiltered, as the form writes them now).
    forms::TMultiMask multi;
    TMemStream whole(0, 1024), document(0, 1024);
    multi.WriteBody(whole);
    multi.TMask::WriteBody(document);
    const std::string filters(reinterpret_cast<const char*>(whole.Block->Data) + document.Size + 8 + 14,
                              size_t(whole.Size - document.Size - 8 - 14));
    const std::string body = Word(0) + Word(1) + Word(0) + Word(900) + Word(300) + Long(0xFFFFFF) + Word(0) +
                             Str("") + Str("") + Str("") + filters;
    const auto v18 = ReadRecord(OldRecord(forms::kCodeConnection, 18, Str("POSTEN") + Word(0x10) + Str("A>1") + body), 18);
    EXPECT_EQ(1, static_cast<forms::TConnectionField&>(*v18).GetSubForm().Count);
  }
}

// Counts and codes no writer makes stop the read with a stream error.
TEST(SpecialElements, HostileRecordsFailTheStream) {
  const std::string expression = std::string("\x01\x02", 2) + Word(6);
  const struct {
    int16_t code;
    std::string own;
  } cases[] = {
      {forms::kCodeExpression, expression + Word(2) + Str("1")},           // source 2
      {forms::kCodeLogo, Word(0) + Word(3) + Long(1) + Str("")},           // storage 3
      {forms::kCodeLogo, Word(0) + Word(2) + "BM" + Long(0xFFFF) + "xx"},  // a broken BMP
      {forms::kCodeCard, Str("") + Str("") + Long(1) + Str("") + Long(0x7FFFFFFF) + Str("a")},
      {forms::kCodeCard, Str("") + Str("") + Long(1) + Str("") + Long(uint32_t(-2))},
      {forms::kCodeMacro, Word(1) + Str("a") + Str("") + Str("") + Word(1) + "BM"},  // bitmap cut short
      {forms::kCodeConnection, Str("P") + Word(0) + Str("") + Word(0xFFFF)},         // format count too big
  };
  for (const auto& c : cases) ReadRecord(OldRecord(c.code, forms::kMaskFileVersion, c.own), 43, false);
}

TEST(SpecialElements, SubFormsNestOnlySoDeep) {
  for (const int depth : {forms::kMaxSubFormDepth, forms::kMaxSubFormDepth + 1}) {
    formstest::TTestMask form(1, nullptr);
    form.PageAt(0)->InsertElement(-1, formstest::MakeConnection(depth).release());
    const std::string file = formstest::Bytes(form);
    TMemStream in(0, 4096);
    in.WriteHuge(file.data(), uint32_t(file.size()));
    in.Seek(0);
    formstest::TTestMask back(nullptr);
    EXPECT_EQ(depth > forms::kMaxSubFormDepth ? -2 : 0, back.Read(in)) << depth;
  }
}

TEST(SpecialElements, ExpressionTextWithoutDataSource) {
  formstest::TTestMask form(1, nullptr);
  forms::TMaskPage* page = form.PageAt(0);
  forms::TExpressionElement with(page, 0, TRect{0, 0, 200, 40}, "PREIS*2");
  forms::TExpressionElement without(page, 0, TRect{0, 0, 200, 40}, nullptr);
  char text[256];
  EXPECT_EQ(0, with.GetText(text, 255));
  EXPECT_STREQ("PREIS*2", text);
  EXPECT_EQ(0, without.GetText(text, 255));
  EXPECT_STREQ("<Keine Formel>", text);
  EXPECT_EQ(-1, without.SetExpression(2, "x"));
  // The line count is a count only in multi-line mode.
  for (const auto& [count, mode, lines] : {std::tuple{1, 6, 1}, std::tuple{4, 1, 4}}) {
    with.SetLineCount(uint8_t(count));
    EXPECT_EQ(mode, with.GetMode());
    EXPECT_EQ(lines, with.GetLineCount());
  }
}

TEST(SpecialElements, DollarExpressionsFillIn) {
  const std::string nested = Value("(2*(3+4))");
  const std::string tooLong = "$(" + std::string(300, '1') + ")";
  const struct {
    std::string text, printed;
  } cases[] = {
      {"ohne Ausdruck", "ohne Ausdruck"},
      {"Preis $$5", "Preis $5"},
      {"$$(1+1)", "$(1+1)"},
      {"= $(2*(3+4)) Stk", "= " + nested + " Stk"},
      {"$7 a", Value("7") + " a"},
      {"a $(1+(2 b", "a ERROR IN EXPRESSION"},
      {tooLong + " x", "ERROR IN EXPRESSION x"},
      {"$(1+) $$", "ERROR IN EXPRESSION $"},
  };
  for (const auto& c : cases) EXPECT_EQ(c.printed, forms::FillInExpressions(c.text)) << c.text;
}

TEST(SpecialElements, FormattedTextContinuesAcrossPages) {
  std::string text;
  for (int i = 1; i <= 12; ++i) text += "Zeile " + std::to_string(i) + (i < 12 ? "\r\n" : "");
  forms::TFormattedTextElement element(nullptr, 0, TRect{0, 0, 500, 100}, text.c_str());
  forms::TPrintParams params(0, 0, 0, 200, 0);  // five lines of 40 fit
  std::vector<std::string> firstLines;
  forms::TDataPos* first = nullptr;
  for (int page = 0; page < 3; ++page) {
    params.Top = 0;
    params.Bottom = 200;
    TDocumentContext context;
    element.Print(context, params);
    firstLines.push_back(context.Calls.at(0));
    if (page == 0) first = params.Continuation;
    if (page < 2) {
      EXPECT_EQ(first, params.Continuation) << page;
    }
  }
  EXPECT_EQ((std::vector<std::string>{"out Zeile 1", "out Zeile 6", "out Zeile 11"}), firstLines);
  EXPECT_NE(nullptr, first);
  EXPECT_EQ(nullptr, params.Continuation);
  EXPECT_EQ(80, params.Bottom);  // two lines on the last page
  // Printing never changes the element's own text.
  EXPECT_EQ(text, element.GetFormattedText().GetText());
}

TEST(SpecialElements, TimerAndHtmlCommand) {
  forms::TTimerElement timer(nullptr, 0, TRect{0, 0, 100, 100});
  EXPECT_EQ(10000u, timer.GetPeriod());  // a new timer fires every 10 s
  for (const int32_t interval : {0, -5}) {
    timer.SetInterval(interval);
    EXPECT_EQ(0u, timer.GetPeriod()) << interval;
  }
  const std::unique_ptr<forms::TPropertySet> values(timer.CreatePropertySet());
  values->SetText(0, "600");
  EXPECT_EQ(600, timer.GetInterval());
  const std::unique_ptr<forms::TPropertySet> events(timer.CreateEventSet());
  EXPECT_STREQ("Timer", static_cast<forms::TActionProperty*>(events->At(0))->GetProcedureName());
  TRect r{5, 5, 50, 50};
  timer.AdjustBounds(r);
  EXPECT_EQ((TRect{5, 5, 65, 65}), r);

  forms::THTMLCommand command(nullptr, 0, TRect{0, 0, 300, 40}, "3*4");
  forms::THTMLCommand broken(nullptr, 0, TRect{0, 0, 300, 40}, "3*");
  EXPECT_EQ(1, command.ReservedQuery());
  EXPECT_EQ(0, timer.ReservedQuery());
  TDocumentContext context;
  kxobject::TPoint extent;
  command.Draw(context, 0, 0, extent, false, 0, true);
  command.Draw(context, 0, 0, extent, false, 0, false);
  broken.Draw(context, 0, 0, extent, false, 0, false);
  EXPECT_EQ((std::vector<std::string>{"text (0,0,300,40) 0 0 3*4", "command " + Value("3*4"),
                                      "command Error in Expression"}),
            context.Calls);
}

TEST(SpecialElements, PlaceholdersDrawTheirBitmapsInDesign) {
  forms::TFormatElement pageBreak(nullptr, 0, TRect{10, 10, 70, 70});
  forms::TTimerElement timer(nullptr, 0, TRect{10, 10, 70, 70});
  for (forms::TMaskElement* element : {static_cast<forms::TMaskElement*>(&pageBreak),
                                       static_cast<forms::TMaskElement*>(&timer)}) {
    for (const bool design : {false, true}) {
      TDocumentContext context;
      kxobject::TPoint extent;
      element->Draw(context, 100, 0, extent, false, 0, design);
      EXPECT_EQ(170, extent.x);
      const std::vector<std::string> drawn{"rect (110,10,170,70)", "graphic (114,14,162,62) 24x24"};
      EXPECT_EQ(design ? drawn : std::vector<std::string>{}, context.Calls) << design;
    }
  }
}

TEST(SpecialElements, CardHandsItsLinesToTheContext) {
  forms::TCardElement card(nullptr, 0, TRect{0, 0, 300, 40});
  TDocumentContext design;
  kxobject::TPoint extent;
  card.Draw(design, 0, 0, extent, false, 0, true);
  card.SetIdentifier("7");
  card.Draw(design, 0, 0, extent, false, 0, true);
  EXPECT_EQ((std::vector<std::string>{"text (0,0,300,40) 0 1 -----Begin New Card-----",
                                      "text (0,0,300,40) 0 1 -----Begin Card \"7\"-----"}),
            design.Calls);

  card.SetTitle("2+");
  card.GetCardAction().Text.Assign("Start()", -1);
  card.AddLine("Eins", new TKxAction(TKxAction::kLink, "1+1"));
  card.AddLine("Zwei", new TKxAction(TKxAction::kLink, ""));
  card.AddLine("Drei", new TKxAction(TKxAction::kMacro, "Go()"));
  card.AddLine("Vier", new TKxAction(7, "x"));
  const std::unique_ptr<forms::TMaskElement> copy(card.Clone());
  TDocumentContext document;
  static_cast<forms::TCardElement&>(*copy).Draw(document, 30, 40, extent, false, 0, false);
  EXPECT_EQ((std::vector<std::string>{"card Expression Error|" + Value("7", 0) + "|2|Start()",
                                      "line Eins|1|" + Value("1+1"), "line Zwei|0|", "line Drei|2|Go()",
                                      "line Vier|0|"}),
            document.Calls);
  EXPECT_EQ((kxobject::TPoint{30, 40}), extent);
}

// A 4 x 3 JPEG picture.
const char kJpeg[] =
#include "runtime/forms/tests/logo_jpeg.inc"
    ;

TEST(SpecialElements, LogoStoresAnEmbeddedPictureAsBmp) {
  const auto path = std::filesystem::temp_directory_path() / ("logo-" + std::to_string(::getpid()) + ".jpg");
  std::ofstream(path, std::ios::binary).write(kJpeg, sizeof kJpeg - 1);
  kxobject::TKxPicture picture;
  picture.SetGraphic(kxobject::LoadGraphicFile(path.c_str()));
  std::filesystem::remove(path);
  ASSERT_NE(nullptr, picture.Graphic);
  forms::TLogoField logo(nullptr, 0, TRect{0, 0, 100, 100}, TKxAction::kMacro);
  logo.SetPicture(picture);
  const std::string bytes = RecordBytes(logo);
  forms::TFormatElement base(nullptr, 0, TRect{});
  const size_t own = RecordBytes(base).size();
  EXPECT_EQ(Word(0) + Word(2) + "BM", bytes.substr(own, 6));
  const auto back = ReadRecord(bytes, 43);
  kxobject::TKxGraphic* graphic = static_cast<forms::TLogoField&>(*back).GetPicture().GetGraphic();
  ASSERT_NE(nullptr, graphic);
  EXPECT_EQ(4, graphic->GetWidth());
  EXPECT_EQ(3, graphic->GetHeight());
  EXPECT_EQ(bytes, RecordBytes(*back));
  EXPECT_TRUE(logo.ReservedFlag());
}

TEST(SpecialElements, LogoAndMacroButtonInDocuments) {
  forms::TLogoField linked(nullptr, 0, TRect{0, 0, 100, 100}, TKxAction::kMacro);
  linked.SetPictureFile("BILD.GIF");
  linked.SetSecondText("Bild");
  linked.GetAction().Text.Assign("Zeige()", -1);
  TDocumentContext context;
  forms::TPrintParams params(10, 20, 0, 500, 0);
  linked.Print(context, params);
  EXPECT_EQ((std::vector<std::string>{"macrolink Zeige()", "picturefile BILD.GIF|Bild", "endlink"}), context.Calls);

  const struct {
    uint16_t type;
    const char* macro;
    std::string shown;
  } cases[] = {
      {forms::TMacroField::kSubmit, "", "submit Los|OnSubmitBtnClick"},
      {forms::TMacroField::kSubmit, "Send()", "submit Los|Send()"},
      {forms::TMacroField::kReset, "", "reset Los"},
      {forms::TMacroField::kMacroButton, "", "text (10,20,110,60) 0 0 ERR: Unknown button type"},
  };
  for (const auto& c : cases) {
    forms::TMacroField button(nullptr, 0, TRect{0, 0, 100, 40}, c.type, "Los");
    button.GetAction().Text.Assign(c.macro, -1);
    TDocumentContext document;
    forms::TPrintParams p(10, 20, 0, 500, 0);
    button.Print(document, p);
    EXPECT_EQ(std::vector<std::string>{c.shown}, document.Calls) << c.type;
    EXPECT_EQ(60, p.Bottom);
    EXPECT_EQ(3, button.ReservedQuery());
  }
  forms::TMacroField button(nullptr, 2, TRect{0, 0, 100, 40}, 1, "Los");
  EXPECT_EQ(kxfont::IndexToColor(8), button.GetColor());
  const std::unique_ptr<forms::TMaskElement> copy(button.Clone());
  char caption[16];
  copy->GetText(caption, 15);
  EXPECT_STREQ("Los", caption);
}

class ConnectionTest : public dataviews_test::TableTest {};

TEST_F(ConnectionTest, SharesOrOwnsItsSource) {
  AddArticles({{"Tisch", 2}, {"Stuhl", 6}});
  dataviews::TZetDataSource source(relation_);
  formstest::TTestMask form(1, &source);
  forms::TMaskPage* page = form.PageAt(0);
  {
    auto* shared = new forms::TConnectionField(page, TRect{0, 0, 500, 300}, "#", 0);
    page->InsertElement(-1, shared);
    shared->AttachDataSource();
    EXPECT_EQ(&source, shared->GetBoundSource());
    EXPECT_EQ(&source, shared->GetSubForm().GetDataSource());
    shared->AttachDataSource();  // binding again must not delete the shared source
    delete page->RemoveElement(0);
  }
  EXPECT_EQ(source.GetTableHandle(), source.GetTableHandle());
  EXPECT_EQ(2, source.GetRecordCount());

  auto* linked = new forms::TConnectionField(page, TRect{0, 0, 500, 300}, nullptr, 0);
  page->InsertElement(-1, linked);
  linked->SetLinkName("ARTIKEL");  // unbound: stays unbound
  EXPECT_EQ(nullptr, linked->GetBoundSource());
  linked->AttachDataSource();
  ASSERT_NE(nullptr, linked->GetBoundSource());
  EXPECT_NE(&source, linked->GetBoundSource());
  EXPECT_EQ(linked->GetBoundSource()->GetTableHandle(), linked->GetTableHandle());
  linked->SetLinkName("#");  // bound: the owned source is released, the new name bound
  EXPECT_EQ(&source, linked->GetBoundSource());
}

TEST_F(ConnectionTest, ExpressionsAndReferencesOnTheRecord) {
  AddArticles({{"Tisch", 21}});
  dataviews::TZetDataSource source(relation_);
  formstest::TTestMask form(1, &source);
  forms::TMaskPage* page = form.PageAt(0);
  auto* expression = new forms::TExpressionElement(page, 0, TRect{0, 0, 300, 40}, "MENGE*2");
  page->InsertElement(-1, expression);
  expression->AttachDataSource();
  char text[256];
  EXPECT_EQ(0, expression->GetText(text, 255));
  char expected[256];
  uint8_t tokens[256];
  ASSERT_EQ(0, source.Tokenize(tokens, "MENGE*2"));
  ASSERT_EQ(0, source.Solve(expected, tokens, 255, 2));
  EXPECT_STREQ(expected, text);

  const struct {
    int32_t kind;
    const char* action;
    std::vector<std::string> drawn;
  } cases[] = {
      {TKxAction::kLink, "", {"text (0,0,300,40) 0 0 " + std::string(expected)}},
      {TKxAction::kLink, "20+22", {"link 42", "text (0,0,300,40) 0 0 " + std::string(expected), "endlink"}},
      {TKxAction::kLink, "20+", {"text (0,0,300,40) 0 0 " + std::string(expected)}},
      {TKxAction::kMacro, "Zeige",
       {"macrolink Zeige&amp;rid=1", "text (0,0,300,40) 0 0 " + std::string(expected), "endlink"}},
      {7, "x", {}},
  };
  for (const auto& c : cases) {
    auto* reference = new forms::TReferenceElement(page, 0, TRect{0, 0, 300, 40}, "MENGE*2");
    page->InsertElement(-1, reference);
    reference->GetAction().Kind = c.kind;
    reference->GetAction().Text.Assign(c.action, -1);
    TDocumentContext context;
    kxobject::TPoint extent;
    reference->Draw(context, 0, 0, extent, false, 0, false);
    EXPECT_EQ(c.drawn, context.Calls) << c.action;
  }
}

TEST_F(ConnectionTest, ValidateFieldValue) {
  dataviews::TZetDataSource source(relation_);
  formstest::TTestMask without(1, nullptr);
  EXPECT_EQ(-1, without.ValidateFieldValue("MENGE", "5"));
  formstest::TTestMask form(1, &source);
  source.SetFieldValidation("MENGE", dataviews::kValidRange, "1\r\n10", "");
  ASSERT_EQ(0, source.Append());
  EXPECT_EQ(0, form.ValidateFieldValue("MENGE", "5"));
  EXPECT_EQ(-2, form.ValidateFieldValue("MENGE", "50"));
  source.Cancel();
}

TEST(SpecialElements, ConnectionEditableColourAndFont) {
  forms::TConnectionField field(nullptr, TRect{0, 0, 500, 300}, "POSTEN", 0);
  for (const auto& [flags, editing, editable] :
       {std::tuple{0, 1, false}, std::tuple{0x10, 1, true}, std::tuple{0x20, 1, true}, std::tuple{0x20, 0, false}}) {
    forms::TConnectionField f(nullptr, TRect{}, "X", uint16_t(flags));
    EXPECT_EQ(editable, f.IsEditable(editing)) << flags << " " << editing;
  }
  field.SetColor(0x123456);
  for (int32_t i = 0; i < field.GetSubForm().Count; ++i) EXPECT_EQ(0x123456u, field.GetSubForm().PageAt(i)->GetColor());

  formstest::TTestMask outer(1, nullptr);
  outer.RemoveAllFonts();
  outer.SetDefaultFonts();
  auto* element = new forms::TConnectionField(outer.PageAt(0), TRect{0, 0, 500, 300}, "POSTEN", 0);
  outer.PageAt(0)->InsertElement(-1, element);
  forms::TMask& sub = element->GetSubForm();
  sub.RemoveAllFonts();
  sub.SetDefaultFonts();
  sub.PageAt(0)->InsertElement(-1, new forms::TLabelElement(sub.PageAt(0), 0, TRect{0, 0, 10, 10}, "a"));
  sub.PageAt(0)->ElementAt(0)->SetFormatIndex(5);
  element->SetFormatIndex(3);
  ASSERT_EQ(1, sub.GetFormatCount());
  EXPECT_EQ(outer.GetFormat(3)->Kind, sub.GetFormat(0)->Kind);
  EXPECT_STREQ(outer.GetFormat(3)->Name, sub.GetFormat(0)->Name);
  EXPECT_EQ(0, sub.PageAt(0)->ElementAt(0)->GetFormatIndex());
  EXPECT_EQ(3, element->GetFormatIndex());
}

}  // namespace
