// Feeds arbitrary bytes to the dialog template reader and makes a dialog of
// whatever it accepts: decoding must refuse what runs past the end, and the
// dialog manager must make the dialog (or refuse it whole) and drive its
// keys without reading outside anything, whatever the sizes, styles,
// classes and texts say.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "platform/controls/dialog.h"
#include "platform/fonts/font.h"
#include "platform/win/input.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool once = (platform::fonts::SetTestFont(true), true);
  (void)once;
  platform::DialogTemplate t;
  if (!platform::DecodeDialog(std::string_view(reinterpret_cast<const char*>(data), size), t)) return 0;
  if (t.items.size() > 64) return 0;  // keeps each run short; counts are the decoder's business
  const win::HWND dialog = win::CreateDialogIndirectParam(t, nullptr, nullptr, 0);
  if (dialog) {
    for (win::UINT key : {win::VK_TAB, win::VK_DOWN, win::VK_RETURN, win::VK_ESCAPE}) {
      win::MSG msg;
      msg.hwnd = win::GetFocus() ? win::GetFocus() : dialog;
      msg.message = win::WM_KEYDOWN;
      msg.wParam = key;
      win::IsDialogMessage(dialog, &msg);
    }
    win::UpdateWindow(dialog);
  }
  win::ResetWindowSystem();
  return 0;
}
