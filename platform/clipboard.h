// Clipboard text (Windows-1252). The runtime installs hooks onto its window
// system; the default is a store inside this process.
#pragma once

#include <string>
#include <string_view>

namespace platform {

using ClipboardGetHook = bool (*)(std::string& text);
using ClipboardSetHook = bool (*)(std::string_view text);

// False when the clipboard holds no text.
bool ClipboardGetText(std::string& text);
bool ClipboardSetText(std::string_view text);
void SetClipboardHooks(ClipboardGetHook get, ClipboardSetHook set);  // nullptr restores

}  // namespace platform
