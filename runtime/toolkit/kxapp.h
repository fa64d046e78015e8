// The runtime's application class, its standard message boxes and modal
// dialogs run under a help context.
//
// What always holds:
//   1. HelpContext is 0 except while a message box or a dialog run through
//      ExecuteDialog is open; each level puts back the value it found, so
//      nested boxes and dialogs restore it in reverse order. Without a
//      TKxApplication nothing touches a help context.
//   2. A message box asks with its help id unchanged (a Help button when it
//      is not 0), task-modal and without an owner; a dialog run by
//      ExecuteDialog sets the context to its help id + 10000 and gives a
//      TCenteredDlg whose own help id is 0 the given one.
//   3. Texts: a text is at most 511 characters (a string resource at most
//      255), a caption at most 40; a formatted text is bounded to 511
//      characters and takes exactly one 32-bit argument in its first
//      conversion (d, i, u, x, X, c; other conversions are shown as
//      written), so no format reads an argument that is not there.
//   4. A string id names a text by a value whose high 16 bits are 0; a
//      missing string gives an empty text, and the box is shown all the same.
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework/application.h"
#include "runtime/toolkit/kxdialogs.h"

namespace kxapp {

constexpr uint32_t HELP_CONTEXT = 1;
constexpr uint32_t HELP_QUIT = 2;

class TKxApplication : public fw::TApplication {
 public:
  explicit TKxApplication(const char* name = "");
  ~TKxApplication() override;

  // Opens the program's help file at a topic; true when the help file is
  // there. Remembers that help was used, whatever the answer.
  bool ShowHelp(uint32_t command, uintptr_t data);
  // The program's file name with its extension replaced by ".HLP".
  static std::string HelpFileName();
  uint16_t GetHelpContext() const { return HelpContext; }

  uint16_t HelpContext = 0;
  bool HelpUsed = false;
  // The last help request (command, data), for the frame and for tests.
  uint32_t LastHelpCommand = 0;
  uintptr_t LastHelpData = 0;
};

// The current application when it is a TKxApplication, else null.
TKxApplication* CurrentKxApplication();

// A text or the id of a string resource (rule 4).
struct TextOrId {
  const char* text = nullptr;
  uint32_t id = 0;
  TextOrId(const char* t) : text(t) {}
  TextOrId(uint32_t stringId) : id(stringId) {}
  TextOrId(int stringId) : id(uint32_t(stringId)) {}
};

// A string resource of at most 255 characters ("" when there is none).
std::string LoadText(uint32_t id);

int16_t ShowMessageBox(win::HWND owner, const char* text, const char* caption, uint16_t style, uint16_t helpId);
int16_t AppMessageBox(win::HWND owner, TextOrId text, TextOrId caption, uint16_t style, uint16_t helpId);
int16_t AppMessageBoxFmt(win::HWND owner, TextOrId format, TextOrId caption, int32_t argument, uint16_t style,
                         uint16_t helpId);
// Formats with one 32-bit argument as rule 3 says, into at most 511 characters.
std::string FormatOneArgument(const std::string& format, int32_t argument);

int16_t ExecuteDialog(fw::TDialog* dialog, uint16_t helpId);
fw::TWindow* GetTopMostParent(fw::TWindow* window);

}  // namespace kxapp
