// Interaction providers (see provider.h).
#include "platform/dialogs/provider.h"

#include "platform/win/message.h"
#include "platform/win/window.h"

namespace dialogs {

namespace {
InteractionProvider* current = nullptr;
}

InteractionProvider* CurrentProvider() { return current; }
void SetInteractionProvider(InteractionProvider* provider) { current = provider; }

bool AskPrintDialog(PrintDialogRequest& request) {
  request.answer = false;
  if (current) current->PrintDialog(request);
  return request.answer;
}

bool AskOpenFile(OpenFileRequest& request) {
  request.answer = false;
  if (current) current->OpenFile(request);
  return request.answer;
}

bool AskBrowseFolder(BrowseFolderRequest& request) {
  request.answer = false;
  if (current) current->BrowseFolder(request);
  return request.answer;
}

}  // namespace dialogs

namespace win {

int MessageBox(HWND owner, std::string_view text, std::string_view caption, UINT type, uint32_t helpId) {
  dialogs::InteractionProvider* provider = dialogs::CurrentProvider();
  if (!provider) return 0;
  dialogs::MessageBoxRequest request{owner, std::string(text), std::string(caption), type, 0, helpId};
  provider->MessageBox(request);
  return request.answer;
}

}  // namespace win

namespace win {

UINT TrackPopupMenu(HMENU menu, UINT flags, int x, int y, HWND owner, const RECT*) {
  if (!IsMenu(menu) || !IsWindow(owner)) return 0;
  const bool notify = !(flags & TPM_NONOTIFY);
  if (notify) SendMessage(owner, WM_INITMENUPOPUP, WPARAM(menu.id), MAKELPARAM(0, 0));
  dialogs::TrackPopupMenuRequest request{menu, flags, {x, y}, owner, 0};
  if (dialogs::InteractionProvider* provider = dialogs::CurrentProvider()) provider->TrackPopupMenu(request);
  // The enablers may have closed the menu or its owner meanwhile; a command
  // the user could not have picked is no choice.
  const UINT state = request.answer ? GetMenuState(menu, request.answer, MF_BYCOMMAND) : UINT(-1);
  const UINT command = state == UINT(-1) || (state & (MF_GRAYED | MF_DISABLED)) ? 0 : request.answer;
  if (flags & TPM_RETURNCMD) return command;
  if (command && notify && IsWindow(owner)) SendMessage(owner, WM_COMMAND, MAKEWPARAM(uint16_t(command), 0), 0);
  return 1;
}

}  // namespace win
