#include "platform/clipboard.h"

namespace platform {

namespace {

// The default clipboard lives in this process.
std::string storeText;
bool storeHasText = false;

bool StoreGet(std::string& text) {
  if (!storeHasText) return false;
  text = storeText;
  return true;
}

bool StoreSet(std::string_view text) {
  storeText.assign(text);
  storeHasText = true;
  return true;
}

ClipboardGetHook getHook = StoreGet;
ClipboardSetHook setHook = StoreSet;

}  // namespace

bool ClipboardGetText(std::string& text) { return getHook(text); }

bool ClipboardSetText(std::string_view text) { return setHook(text); }

void SetClipboardHooks(ClipboardGetHook get, ClipboardSetHook set) {
  getHook = get ? get : StoreGet;
  setHook = set ? set : StoreSet;
}

}  // namespace platform
