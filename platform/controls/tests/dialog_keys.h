// A headless test whose modeless dialogs take their keys the way a
// program's message loop gives them: a message for any window of a dialog
// goes to IsDialogMessage of that dialog first, and the loop's filter is
// taken away again after the test.
#pragma once

#include "platform/controls/dialog.h"
#include "platform/testing/ui.h"

namespace zettest {

class DialogKeysTest : public UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    win::SetMessageFilter([](win::MSG& m) {
      const win::HWND top = win::GetTopLevel(m.hwnd);
      return win::GetClassName(top) == win::kDialogClass && win::IsDialogMessage(top, &m);
    });
  }
  void TearDown() override {
    win::SetMessageFilter(nullptr);
    UiTest::TearDown();
  }
};

}  // namespace zettest
