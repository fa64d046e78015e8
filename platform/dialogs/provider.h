// Interaction providers: the system's dialogs as one interface that a test
// can script and the real user interface implements.
//
// What always holds:
//   1. Every question goes through the current provider; each function takes
//      a request record and fills in its answer.
//   2. Without a provider a question answers 0 (no answer), so nothing blocks
//      where no one can be asked (batch runs).
//   3. One provider is current at a time; whoever installs one keeps it
//      alive while it is current.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/print/printers.h"
#include "platform/win/menu.h"
#include "platform/win/winuser.h"

namespace win {

// Message box types and answers.
constexpr UINT MB_OK = 0x00;
constexpr UINT MB_OKCANCEL = 0x01;
constexpr UINT MB_YESNOCANCEL = 0x03;
constexpr UINT MB_YESNO = 0x04;
constexpr UINT MB_ICONSTOP = 0x10;
constexpr UINT MB_ICONQUESTION = 0x20;
constexpr UINT MB_ICONEXCLAMATION = 0x30;
constexpr UINT MB_ICONINFORMATION = 0x40;
constexpr int IDABORT = 3;
constexpr int IDRETRY = 4;
constexpr int IDIGNORE = 5;
constexpr int IDYES = 6;
constexpr int IDNO = 7;

constexpr UINT MB_HELP = 0x4000;
constexpr UINT MB_TASKMODAL = 0x2000;

// Asks the current provider; texts are cp1252. A help id other than 0 is
// the box's help context (its Help button asks for it).
int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT type, uint32_t helpId = 0);

// Print dialog flags.
constexpr DWORD PD_PAGENUMS = 0x2;
constexpr DWORD PD_PRINTSETUP = 0x40;
constexpr DWORD PD_RETURNDC = 0x100;
constexpr DWORD PD_RETURNDEFAULT = 0x400;

}  // namespace win

namespace dialogs {

struct MessageBoxRequest {
  win::HWND owner;
  std::string text;
  std::string caption;
  win::UINT type = 0;
  int answer = 0;  // filled in by the provider
  uint32_t helpId = 0;
};

// The open-file question: where it starts and what the user chose.
struct OpenFileRequest {
  win::HWND owner;
  std::string title;
  std::string filter;      // pairs "name|pattern|", as the caller gives them
  std::string initialDir;  // "" starts where the provider likes
  std::string fileName;    // the name shown at first
  uint32_t flags = 0;
  bool answer = false;     // true: chosen holds the path
  std::string chosen;
};

// The folder question; the browser starts at its root.
struct BrowseFolderRequest {
  win::HWND owner;
  std::string title;
  bool answer = false;  // true: chosen holds the folder
  std::string chosen;
};

// The print question, or with PD_PRINTSETUP the print set-up question: the
// printer (names and device mode) and, for printing, the pages. On OK the
// provider sets answer and leaves the choice in the fields.
struct PrintDialogRequest {
  win::HWND owner;
  win::DWORD flags = 0;
  int fromPage = 1, toPage = 1, minPage = 1, maxPage = 1;
  std::string driver, device, output;
  win::DevMode devMode;
  bool answer = false;
};

// The pop-up menu question (win::TrackPopupMenu asks it): the menu shown at a
// screen point for its owner; the provider answers the chosen command, 0 for
// none.
struct TrackPopupMenuRequest {
  win::HMENU menu;
  win::UINT flags = 0;
  win::POINT point;  // screen
  win::HWND owner;
  win::UINT answer = 0;
};

class InteractionProvider {
 public:
  virtual ~InteractionProvider() = default;
  virtual void MessageBox(MessageBoxRequest& request) = 0;
  // Questions a provider does not answer stay unanswered (rule 2).
  virtual void PrintDialog(PrintDialogRequest&) {}
  virtual void OpenFile(OpenFileRequest&) {}
  virtual void BrowseFolder(BrowseFolderRequest&) {}
  virtual void TrackPopupMenu(TrackPopupMenuRequest&) {}
};

InteractionProvider* CurrentProvider();
void SetInteractionProvider(InteractionProvider* provider);
// Asks the current provider the print question; true on OK.
bool AskPrintDialog(PrintDialogRequest& request);

// Ask the current provider; false without one or when the user cancelled.
bool AskOpenFile(OpenFileRequest& request);
bool AskBrowseFolder(BrowseFolderRequest& request);

}  // namespace dialogs
