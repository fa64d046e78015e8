// A window's DC pair: a metafile picture drawn through it lands in the
// window's client area (headless, test font).
#include <gtest/gtest.h>

#include "platform/testing/ui.h"
#include "runtime/toolkit/kxdc.h"
#include "runtime/toolkit/kxmeta.h"

using namespace kxobject;

namespace {

win::LRESULT Proc(win::HWND h, win::UINT m, win::WPARAM w, win::LPARAM l) {
  return win::DefWindowProc(h, m, w, l);
}

class WindowDcTest : public zettest::UiTest {};

TEST_F(WindowDcTest, PictureAndTextThroughAWindowPairMatchTheGolden) {
  win::WNDCLASS wc;
  wc.lpfnWndProc = Proc;
  wc.background = win::RGB(255, 255, 255);
  wc.lpszClassName = "KxDcTest";
  if (!win::GetClassInfo("KxDcTest", nullptr))
    ASSERT_TRUE(win::RegisterClass(wc));
  const win::HWND hwnd = win::CreateWindowEx(
      0, "KxDcTest", "Metadatei", win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE,
      10, 10, 200, 140, nullptr, 0);
  ASSERT_TRUE(hwnd);
  win::UpdateWindow(hwnd);

  // The picture: a word-wrapped text recorded by TMetaDC against the window's
  // DC; the screen shows what was drawn once the pair releases its DC.
  {
    TKxWindowDC window(hwnd);
    ASSERT_TRUE(window.GetOutputDC());
    TMetaDC meta(nullptr, window.GetAttributeDC());
    // The mapping goes to the recording only: through the pair it would
    // change the window's DC too.
    meta.GetOutputDC()->SetMapMode(win::MM_ANISOTROPIC);
    meta.GetOutputDC()->SetWindowExtEx(100, 60);
    win::LOGFONT lf;
    lf.lfHeight = 10;
    meta.SelectFont(lf);
    win::RECT box{2, 2, 98, 58};
    meta.DrawText("Ein Text, der umbricht", -1, box, win::DT_CENTER);
    meta.SelectBrush(win::NullBrush());
    meta.GetOutputDC()->Rectangle(0, 0, 100, 60);
    const TMetaFile picture(meta.Close(), 2540, 1524);
    win::RECT rect{10, 10, 170, 100};
    picture.Draw(*window.GetAttributeDC(), *window.GetOutputDC(), rect, 2);
    window.SetTextColor(win::RGB(0, 0, 160));
    window.TextOut(10, 102, "Fenster", -1);
  }
  EXPECT_TRUE(MatchesWindowGolden(hwnd, std::string(ZET_TOOLKIT_TESTS_DIR),
                                  "window_dc"));
  win::DestroyWindow(hwnd);
}

} // namespace
