// The passive elements and the property sets: their records, what they draw
// through a context, and the texts properties read and write.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "runtime/forms/maskprop.h"
#include "runtime/forms/tests/forms_test_util.h"

namespace {

using forms::TLabelElement;
using forms::TLineElement;
using kxobject::TMemStream;
using kxobject::TRect;

TEST(Elements, RecordsRoundTripThroughTheFactory) {
  auto form = formstest::MakeForm(4);
  auto* line = static_cast<TLineElement*>(form->PageAt(0)->ElementAt(2));
  line->SetLineStyle(1);
  line->SetOrientation(1);
  line->SetAlignment(2);
  for (int32_t i = 0; i < 4; ++i) {
    const forms::TMaskElement& e = *form->PageAt(0)->ElementAt(i);
    TMemStream s(0, 256);
    forms::PutMaskElement(e, s);
    s.Seek(0);
    const std::unique_ptr<forms::TMaskElement> back(forms::MaskElementFactory().CreateElementFromStream(s, 0));
    ASSERT_TRUE(back) << i;
    EXPECT_EQ(s.GetSize(), s.GetPos()) << i;
    EXPECT_EQ(e.GetRecordCode(), back->GetRecordCode());
    char a[64], b[64];
    EXPECT_STREQ(e.GetTypeName(a, 63), back->GetTypeName(b, 63));
    e.GetValueText(a, 63);
    back->GetValueText(b, 63);
    EXPECT_STREQ(a, b);
  }
}

TEST(Elements, LineAlignmentOutOfRangeReadsAsTop) {
  for (int16_t stored : {-1, 0, 1, 2, 3}) {
    TLineElement line(nullptr, 0, TRect{0, 0, 100, 20});
    line.SetAlignment(stored);
    TMemStream s(0, 64);
    line.Write(s);
    s.Seek(0);
    const TLineElement back(s, 43);
    EXPECT_EQ(stored >= 0 && stored <= 2 ? stored : 0, back.GetAlignment()) << stored;
  }
}

TEST(Elements, LinePositions) {
  struct Case {
    uint16_t style, orientation;
    int16_t alignment;
    std::vector<std::string> lines;
  } const cases[] = {
      {1, 0, 1, {"line 0,7-100,7", "line 0,13-100,13"}},  // double: 10 -/+ 3
      {0, 0, 1, {"line 0,10-100,10"}},
      {0, 0, 0, {"line 0,1-100,1"}},
      {2, 0, 2, {"line 0,17-100,17"}},
      {0, 1, 2, {"line 99,0-99,20"}},
  };
  for (const Case& c : cases) {
    TLineElement line(nullptr, 0, TRect{0, 0, 100, 20});
    line.SetLineStyle(c.style);
    line.SetOrientation(c.orientation);
    line.SetAlignment(c.alignment);
    formstest::TRecordingContext context;
    kxobject::TPoint extent;
    line.Draw(context, 0, 0, extent, false, 0, false);
    EXPECT_EQ(c.lines, context.Calls) << c.style << " " << c.alignment;
    EXPECT_EQ((kxobject::TPoint{100, 20}), extent);
  }
}

TEST(Elements, InvisibleLabelShowsItsTextOnlyInDesign) {
  for (bool design : {false, true}) {
    TLabelElement label(nullptr, 0, TRect{10, 10, 200, 50}, "Kunde");
    label.SetFrameStyle(-1);
    formstest::TRecordingContext context;
    kxobject::TPoint extent;
    label.Draw(context, 5, 5, extent, true, 0, design);
    const bool drew = !context.Calls.empty() && context.Calls.back().find("Kunde") != std::string::npos;
    EXPECT_EQ(design, drew);
    EXPECT_EQ((kxobject::TPoint{205, 55}), extent);
  }
}

TEST(Elements, LabelTextsAndSizes) {
  TLabelElement label(nullptr, 0, TRect{0, 0, 100, 5}, "x");
  EXPECT_EQ(-1000, label.SetLabelText(""));
  char text[8] = "?";
  EXPECT_EQ(0, label.GetText(text, 7));
  EXPECT_STREQ("", text);
  TRect r{0, 0, 100, 5};
  label.AdjustBounds(r);
  EXPECT_EQ(5, r.bottom);  // not on a page: kept

  formstest::TTestMask mask(1, nullptr);
  mask.SetDefaultFonts();
  auto* onPage = new TLabelElement(nullptr, 0, TRect{0, 0, 100, 5}, "y");
  mask.PageAt(0)->InsertElement(0, onPage);
  onPage->SetLineCount(3);
  onPage->SetFrameStyle(1);  // sizes itself
  TRect b;
  onPage->GetBounds(b);
  EXPECT_EQ(3 * mask.GetFontHeight(0, true) + 10, b.bottom);
  EXPECT_GT(mask.GetFontHeight(0, true), 0);
}

TEST(Elements, FrameCaptionBand) {
  formstest::TTestMask mask(1, nullptr);
  mask.RemoveAllFonts();
  mask.SetDefaultFonts();  // format 1 is 8.4 mm high
  for (uint8_t lines : {0, 2}) {
    auto* frame = new forms::TFrameElement(nullptr, 0, TRect{0, 0, 400, 300}, "Adresse");
    mask.PageAt(0)->InsertElement(-1, frame);
    frame->SetFormatIndex(1);
    frame->SetLineCount(lines);
    formstest::TRecordingContext context;
    kxobject::TPoint extent;
    frame->Draw(context, 0, 0, extent, false, 0, false);
    const int band = lines * (84 * 13 / 10);
    if (lines) EXPECT_EQ("text (0,0,400," + std::to_string(band) + ") 1 0 Adresse", context.Calls[1]);
    EXPECT_EQ(lines ? 2u : 1u, context.Calls.size() - std::count_if(context.Calls.begin(), context.Calls.end(),
                                                                   [](auto& c) { return c.rfind("line", 0) == 0; }));
  }
}

TEST(Elements, NameTables) {
  EXPECT_STREQ("Unsichtbar", forms::GetFrameStyleName(-1));
  EXPECT_STREQ("Grat", forms::GetFrameStyleName(11));
  EXPECT_EQ(nullptr, forms::GetFrameStyleName(12));
  EXPECT_STREQ("Zeitgeber", forms::GetElementKindName(-13));
  EXPECT_STREQ("Seitenumbruch", forms::GetElementKindName(-8));
  EXPECT_STREQ("Relation", forms::GetElementKindName(10));
  EXPECT_STREQ("Rahmen", forms::GetFieldKindName(-2));
  EXPECT_EQ(nullptr, forms::GetFieldKindName(0));
  EXPECT_EQ(nullptr, forms::GetFieldKindName(7));
}

TEST(Properties, ProcedureNames) {
  struct Case {
    std::string name;
    const char* event;
    std::string expected;
  } const cases[] = {
      {"", "Click", "Click"},
      {"", "Timer", "Timer"},
      {"Knopf", "Click", "KnopfClick"},
      {std::string(120, 'n'), "Click", std::string(94, 'n') + "Click"},
      {std::string(99, 'n'), "Timer", std::string(94, 'n') + "Timer"},
  };
  for (const Case& c : cases) {
    forms::TMaskElement e(nullptr, 0, TRect{});
    e.SetName(c.name.c_str());
    forms::TKxAction* action = new forms::TKxAction(forms::TKxAction::kMacro, "Mach()");
    const std::unique_ptr<forms::TPropertySet> set(forms::CreateEventPropertySet(e, &action, c.event));
    ASSERT_EQ(1, set->GetCount());
    EXPECT_EQ(forms::kPropAction, set->GetType(0));
    EXPECT_EQ(c.expected, static_cast<forms::TActionProperty*>(set->At(0))->GetProcedureName());
    char text[16];
    set->GetText(0, text, 15);
    EXPECT_STREQ("Mach()", text);
    delete action;
  }
}

TEST(Properties, TextConversion) {
  int32_t interval = 100;
  forms::TIntProperty number(&interval, 0, 604800);
  struct Case {
    const char* text;
    int32_t value;
  } const cases[] = {{"abc", 0}, {"250", 250}, {"12x", 12}, {"", 0}, {"99999999999", INT32_MAX}};
  for (const Case& c : cases) {
    number.SetText(c.text);
    EXPECT_EQ(c.value, interval) << c.text;
  }
  char text[16];
  interval = 100;
  number.GetText(text, 15);
  EXPECT_STREQ("100", text);
  EXPECT_EQ(0, number.GetMaxLength());

  char* value = nullptr;
  forms::TStringProperty string(40, &value, nullptr);
  string.SetText("Titel");
  EXPECT_FALSE(string.IsEmpty());
  string.SetText("");
  string.GetText(text, 15);
  EXPECT_STREQ("", text);
  EXPECT_TRUE(string.IsEmpty());
  EXPECT_TRUE(string.Validate("x", text, 15));
}

}  // namespace
