// Interaction providers (see provider.h).
#include "platform/dialogs/provider.h"


namespace dialogs {

namespace {

InteractionProvider* current = nullptr;

win::UINT AskPopupMenu(win::HMENU menu, win::UINT flags, win::POINT screen, win::HWND owner) {
  TrackPopupMenuRequest request{menu, flags, screen, owner, 0};
  if (current) current->TrackPopupMenu(request);
  return request.answer;
}

}  // namespace

InteractionProvider* CurrentProvider() { return current; }

void SetInteractionProvider(InteractionProvider* provider) {
  current = provider;
  win::SetPopupAsker(provider ? &AskPopupMenu : nullptr);
}

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

