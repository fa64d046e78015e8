// What a form page looks like: a page of every passive element painted onto a
// raster at the screen's mapping of the form's units (10 units a millimetre),
// with the test font, in the normal view and in the design view.
#include <gtest/gtest.h>

#include <cstring>
#include <span>
#include <string>

#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/testing/golden.h"
#include "runtime/forms/tests/forms_test_util.h"

namespace {

using kxobject::TRect;

// Draws what elements ask for onto a bitmap; texts in the fonts of the
// form's formats.
class TPictureContext : public reports::TSgmlContext {
 public:
  TPictureContext(int width, int height, const forms::TMask& mask)
      : reports::TSgmlContext("golden"), Surface(win::Bitmap::Create(width, height, 32)), dc_(Surface), mask_(mask) {
    dc_.FillRect(win::RECT{0, 0, width, height}, win::CreateSolidBrush(0xFFFFFF));
    dc_.SetMapMode(win::MM_ANISOTROPIC);
    dc_.SetWindowExtEx(10, 10);
    dc_.SetViewportExtEx(4, 4);
  }

  void DrawFormattedText(const TRect& r, int, int format, int, reports::TColor,
                         std::unique_ptr<reports::TFormattedText> text, int*) override {
    for (int32_t i = 0; i < text->GetLineCount(); ++i)
      DrawText(TRect{r.left, r.top + text->GetLineTop(i), r.right, r.top + text->GetLine(i).Bottom}, format, 0, 0,
               text->GetLine(i).Text.c_str());
  }
  void DrawText(const TRect& r, int format, int align, reports::TColor, const char* text) override {
    UseFont(format);
    win::RECT rect{r.left, r.top, r.right, r.bottom};
    dc_.SetBkMode(win::TRANSPARENT);
    dc_.DrawText(text, &rect,
                 win::DT_SINGLELINE | win::DT_NOPREFIX | (align == 1 ? win::DT_CENTER : align == 2 ? win::DT_RIGHT : 0));
  }
  kxobject::TSize GetTextExtent(const char* text, int length) override {
    win::SIZE size{};
    dc_.GetTextExtentPoint32(std::string_view(text, length < 0 ? std::strlen(text) : size_t(length)), &size);
    return {size.cx, size.cy};
  }
  kxobject::TSize GetTabbedTextExtent(const char* text, int length, int, const int*) override {
    return GetTextExtent(text, length);
  }
  bool GetTextMetrics(win::TEXTMETRIC& tm) override { return dc_.GetTextMetrics(&tm); }
  void SelectFormat(int index) override {
    reports::TSgmlContext::SelectFormat(index);
    UseFont(index);
  }
  kxobject::TKxDC* GetDC() override { return &pair_; }
  bool MoveTo(int x, int y) override {
    reports::TSgmlContext::MoveTo(x, y);
    return dc_.MoveToEx(x, y);
  }
  bool LineTo(int x, int y) override { return dc_.LineTo(x, y); }
  bool Rectangle(int l, int t, int r, int b) override { return dc_.Rectangle(l, t, r, b); }
  bool LPtoDP(win::POINT* points, int count) override {
    dc_.LPtoDP(std::span<win::POINT>(points, size_t(count)));
    return true;
  }
  bool DPtoLP(win::POINT* points, int count) override {
    dc_.DPtoLP(std::span<win::POINT>(points, size_t(count)));
    return true;
  }
  void SelectBrush(const win::Brush& brush) override { pair_.SelectBrush(brush); }
  void SelectPen(const win::Pen& pen) override { pair_.SelectPen(pen); }
  void SelectStockObject(int index) override { pair_.SelectStockObject(index); }
  void RestoreBrush() override { pair_.RestoreBrush(); }
  void RestorePen() override { pair_.RestorePen(); }
  int SetBkMode(int mode) override { return dc_.SetBkMode(mode); }

  std::shared_ptr<win::Bitmap> Surface;

 private:
  void UseFont(int format) {
    if (format < 0 || format >= mask_.GetFormatCount()) return;
    dc_.SelectFont(mask_.GetFormat(format)->Font.LogFont);
    dc_.SetTextColor(mask_.GetFormat(format)->Font.Color);
  }

  win::Dc dc_;
  kxobject::TKxDC pair_{&dc_, &dc_};
  const forms::TMask& mask_;
};

TEST(FormPicture, PassiveElementsInViewAndDesign) {
  const bool previous = platform::fonts::TestFontOn();
  platform::fonts::SetTestFont(true);
  formstest::TTestMask mask(1, nullptr);
  mask.RemoveAllFonts();
  mask.SetDefaultFonts();
  forms::TMaskPage& page = *mask.PageAt(0);
  page.SetSize(1000, 700);
  auto* label = new forms::TLabelElement(nullptr, 0, TRect{40, 40, 460, 100}, "Kunde: M\xFCller");
  label->SetFrameStyle(1);
  page.InsertElement(-1, label);
  auto* hidden = new forms::TLabelElement(nullptr, 0, TRect{520, 40, 960, 100}, "unsichtbar");
  hidden->SetFrameStyle(-1);
  page.InsertElement(-1, hidden);
  auto* frame = new forms::TFrameElement(nullptr, 0, TRect{40, 140, 460, 460}, "Adresse");
  frame->SetFormatIndex(3);
  frame->SetLineCount(1);
  frame->SetColor(0xE0E0FF);
  page.InsertElement(-1, frame);
  auto* many = new forms::TLabelElement(nullptr, 0, TRect{520, 140, 960, 460}, "Zwei Zeilen Text, die umbrechen");
  many->SetLineCount(2);
  page.InsertElement(-1, many);
  const struct {
    uint16_t style, orientation;
    int16_t alignment;
    TRect bounds;
  } lines[] = {{0, 0, 1, {40, 500, 460, 540}}, {1, 0, 1, {40, 560, 460, 600}}, {2, 1, 0, {520, 500, 560, 660}}};
  for (const auto& l : lines) {
    auto* line = new forms::TLineElement(nullptr, 0, l.bounds);
    line->SetLineStyle(l.style);
    line->SetOrientation(l.orientation);
    line->SetAlignment(l.alignment);
    page.InsertElement(-1, line);
  }
  page.InsertElement(-1, new forms::TFormatElement(nullptr, 0, TRect{600, 500, 660, 560}));
  for (bool design : {false, true}) {
    TPictureContext context(400, 280, mask);
    kxobject::TPoint extent;
    page.Paint(context, 0, 0, extent, TRect{0, 0, 1000, 700}, true, 0, design);
    EXPECT_EQ((kxobject::TPoint{1000, 700}), extent);
    EXPECT_TRUE(zettest::MatchesGolden(*context.Surface, std::string(ZET_FORMS_TESTS_DIR) + "/goldens/page_" +
                                                             (design ? "design" : "view") + ".png"));
  }
  platform::fonts::SetTestFont(previous);
}

}  // namespace

namespace {

// Every data-field kind on a page without a table: in the design each shows
// its field name in angle brackets (link and relation fields their name), a
// button-style memo its colour, a radio choice only its frame.
TEST(FormPicture, DataFieldsInViewAndDesign) {
  const bool previous = platform::fonts::TestFontOn();
  platform::fonts::SetTestFont(true);
  formstest::TTestMask mask(1, nullptr);
  mask.RemoveAllFonts();
  mask.SetDefaultFonts();
  formstest::AddEveryField(mask);
  for (bool design : {false, true}) {
    TPictureContext context(400, 280, mask);
    kxobject::TPoint extent;
    mask.PageAt(0)->Paint(context, 0, 0, extent, TRect{0, 0, 1000, 700}, true, 0, design);
    EXPECT_TRUE(zettest::MatchesGolden(*context.Surface, std::string(ZET_FORMS_TESTS_DIR) + "/goldens/fields_" +
                                                             (design ? "design" : "view") + ".png"));
  }
  platform::fonts::SetTestFont(previous);
}

}  // namespace
