// Frames and formatted text drawn on a raster, compared with a golden picture.
#include <gtest/gtest.h>

#include <memory>
#include <cstring>
#include <string>

#include "platform/fonts/font.h"
#include "platform/gdi/dc.h"
#include "platform/testing/golden.h"
#include "runtime/reports/formtext.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxdc.h"

using namespace reports;

namespace {

// A context that draws on a device context in its logical units: the few
// operations frames and formatted text use.
class DeviceContext : public TSgmlContext {
 public:
  explicit DeviceContext(win::Dc& dc) : TSgmlContext("bild"), dc_(&dc), pair_(&dc, &dc) {}
  void DrawFormattedText(const TRect&, int, int, int, TColor, std::unique_ptr<TFormattedText>, int*) override {}
  void DrawText(const TRect&, int, int, TColor, const char*) override {}
  TSize GetTextExtent(const char* text, int length) override {
    win::SIZE size{};
    dc_->GetTextExtentPoint32(std::string_view(text, size_t(length < 0 ? std::strlen(text) : length)), &size);
    return {size.cx, size.cy};
  }
  TSize GetTabbedTextExtent(const char* text, int length, int, const int*) override {
    return GetTextExtent(text, length);
  }
  bool GetTextMetrics(win::TEXTMETRIC& metrics) override { return dc_->GetTextMetrics(&metrics); }
  kxobject::TKxDC* GetDC() override { return &pair_; }
  bool LPtoDP(win::POINT* points, int count) override {
    dc_->LPtoDP({points, size_t(count)});
    return true;
  }
  bool DPtoLP(win::POINT* points, int count) override {
    dc_->DPtoLP({points, size_t(count)});
    return true;
  }
  bool MoveTo(int x, int y) override {
    TSgmlContext::MoveTo(x, y);
    return dc_->MoveToEx(x, y);
  }
  bool LineTo(int x, int y) override { return dc_->LineTo(x, y); }
  void SelectPen(const win::Pen& pen) override { dc_->SelectPen(pen); }
  void SelectStockObject(int index) override { pair_.SelectStockObject(index); }
  uint32_t SetTextAlign(uint32_t flags) override { return dc_->SetTextAlign(flags); }
  int TextOut(const char* text, int length) override {
    return dc_->TextOut(CurrentX, CurrentY, std::string_view(text, size_t(length)));
  }

 private:
  win::Dc* dc_;
  kxobject::TKxDC pair_;
};

TEST(Drawing, FramesAndFormattedTextMatchTheGolden) {
  const bool previous = platform::fonts::TestFontOn();
  platform::fonts::SetTestFont(true);
  auto surface = win::Bitmap::Create(320, 200, 32);
  win::Dc dc(surface);
  dc.FillRect({0, 0, 320, 200}, win::CreateSolidBrush(win::RGB(192, 192, 192)));
  DeviceContext context(dc);
  // Twelve frame styles, -1 .. 11 minus the invisible, in a 4 x 3 grid.
  for (int style = 0; style <= 11; ++style) {
    const int x = 8 + (style % 4) * 76, y = 8 + (style / 4) * 36;
    DrawFrame3D(context, {x, y, x + 68, y + 28}, style, win::RGB(0, 0, 160), false);
  }
  win::LOGFONT font;
  font.lfHeight = 10;
  dc.SelectFont(font);
  dc.SetBkMode(win::TRANSPARENT);
  struct Column {
    int left, align;
  } columns[] = {{8, kAlignLeft}, {112, kAlignCenter}, {216, kAlignRight}};
  for (const auto& column : columns) {
    TFormattedText text("Ein Text, der umbricht.\r\nZweiter Absatz", 80);
    text.WordWrap = 1;
    text.Format(context, 96, -1, true);
    text.Draw(context, {column.left, 120, column.left + 96, 196}, 0, column.align);
  }
  EXPECT_TRUE(zettest::MatchesGolden(*surface, std::string(ZET_REPORTS_TESTS_DIR) + "/goldens/frames_and_text.png"));
  platform::fonts::SetTestFont(previous);
}

}  // namespace
