// The application class and the message boxes (see kxapp.h).
#include "runtime/toolkit/kxapp.h"

#include <cstdio>
#include <cstring>
#include <filesystem>

#include "platform/dialogs/provider.h"
#include "platform/resources/resources.h"

namespace kxapp {

namespace {

constexpr size_t kTextChars = 511;
constexpr int kResourceChars = 255;
constexpr size_t kCaptionChars = 40;

// Sets the application's help context for its lifetime and puts the old one back.
class HelpContextScope {
 public:
  explicit HelpContextScope(uint16_t context) : app_(CurrentKxApplication()) {
    if (!app_) return;
    saved_ = app_->HelpContext;
    app_->HelpContext = context;
  }
  ~HelpContextScope() {
    if (app_ && app_ == CurrentKxApplication()) app_->HelpContext = saved_;
  }
  HelpContextScope(const HelpContextScope&) = delete;
  HelpContextScope& operator=(const HelpContextScope&) = delete;

 private:
  TKxApplication* app_;
  uint16_t saved_ = 0;
};

std::string Resolve(const TextOrId& t, size_t pointerChars, int resourceChars) {
  if (t.text) return std::string(t.text, strnlen(t.text, pointerChars));
  char buffer[kTextChars + 1] = {};
  platform::LoadStringResource(t.id, buffer, resourceChars + 1);
  return buffer;
}

}  // namespace

std::string LoadText(uint32_t id) { return Resolve(TextOrId(id), kTextChars, kResourceChars); }

TKxApplication::TKxApplication(const char* name) : fw::TApplication(name) {}

TKxApplication::~TKxApplication() {
  if (HelpUsed) ShowHelp(HELP_QUIT, 0);
}

std::string TKxApplication::HelpFileName() {
  std::error_code ignored;
  std::string name = std::filesystem::read_symlink("/proc/self/exe", ignored).string();
  if (name.size() > size_t(259)) name.resize(259);
  const size_t dot = name.rfind('.');
  const size_t slash = name.rfind('/');
  if (dot != std::string::npos && (slash == std::string::npos || dot > slash)) name.resize(dot);
  return name + ".HLP";
}

bool TKxApplication::ShowHelp(uint32_t command, uintptr_t data) {
  HelpUsed = true;
  LastHelpCommand = command;
  LastHelpData = data;
  std::error_code ignored;
  return std::filesystem::exists(HelpFileName(), ignored);
}

TKxApplication* CurrentKxApplication() { return dynamic_cast<TKxApplication*>(fw::TApplication::Current()); }

int16_t ShowMessageBox(win::HWND, const char* text, const char* caption, uint16_t style, uint16_t helpId) {
  HelpContextScope scope(helpId);
  win::UINT type = style | win::MB_TASKMODAL;
  if (helpId > 0) type |= win::MB_HELP;
  return int16_t(win::MessageBox(nullptr, text ? text : "", caption ? caption : "", type, helpId));
}

int16_t AppMessageBox(win::HWND owner, TextOrId text, TextOrId caption, uint16_t style, uint16_t helpId) {
  const std::string body = Resolve(text, kTextChars, kResourceChars);
  const std::string title = Resolve(caption, kCaptionChars, int(kCaptionChars));
  return ShowMessageBox(owner, body.c_str(), title.c_str(), style, helpId);
}

std::string FormatOneArgument(const std::string& format, int32_t argument) {
  std::string out;
  bool used = false;
  for (size_t i = 0; i < format.size(); ++i) {
    if (format[i] != '%') {
      out += format[i];
      continue;
    }
    if (i + 1 < format.size() && format[i + 1] == '%') {
      out += '%';
      ++i;
      continue;
    }
    // A conversion: flags, width, an optional "l", the type.
    size_t j = i + 1;
    while (j < format.size() && std::strchr("-+ #0123456789", format[j])) ++j;
    std::string spec = format.substr(i, j - i);
    if (j < format.size() && format[j] == 'l') ++j;
    const char type = j < format.size() ? format[j] : 0;
    if (used || !type || !std::strchr("diuxXc", type)) {
      out += format.substr(i, j - i + (type ? 1 : 0));
      i = j;
      continue;
    }
    char piece[64];
    spec += type;
    if (type == 'u' || type == 'x' || type == 'X') std::snprintf(piece, sizeof piece, spec.c_str(), uint32_t(argument));
    else std::snprintf(piece, sizeof piece, spec.c_str(), int(argument));
    out += piece;
    used = true;
    i = j;
  }
  if (out.size() > kTextChars) out.resize(kTextChars);
  return out;
}

int16_t AppMessageBoxFmt(win::HWND owner, TextOrId format, TextOrId caption, int32_t argument, uint16_t style,
                         uint16_t helpId) {
  const std::string text = FormatOneArgument(Resolve(format, kTextChars, kResourceChars), argument);
  return AppMessageBox(owner, text.c_str(), caption, style, helpId);
}

int16_t ExecuteDialog(fw::TDialog* dialog, uint16_t helpId) {
  if (!dialog) return -1;
  const fw::TWindow* parent = dialog->GetParent();
  kxdlg::DisabledTop top(parent ? parent->GetHandle() : win::HWND());
  HelpContextScope scope(uint16_t(helpId + 10000));
  if (auto* centred = dynamic_cast<kxdlg::TCenteredDlg*>(dialog); centred && centred->HelpId == 0)
    centred->HelpId = helpId;
  return int16_t(dialog->Execute());
}

fw::TWindow* GetTopMostParent(fw::TWindow* window) {
  while (window && window->GetParent()) window = window->GetParent();
  return window;
}

}  // namespace kxapp
