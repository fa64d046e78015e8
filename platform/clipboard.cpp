#include "platform/clipboard.h"

#include <cstring>
#include <string>
#include <vector>

#include "platform/files_internal.h"

namespace {

struct Datum {
  uint32_t format;
  uint32_t data;
};

std::vector<Datum> data;  // in setting order
bool isOpen = false;
uint32_t opener = 0;
uint32_t owner = 0;
std::vector<std::string> registered;  // format 0xC000 + i
platform::ClipboardObjectDeleter objectDeleter = nullptr;

bool IsObjectFormat(uint32_t format) { return format == win::CF_BITMAP || format == win::CF_PALETTE; }

void Release(const Datum& d) {
  if (IsObjectFormat(d.format)) {
    if (objectDeleter) objectDeleter(d.format, d.data);
    return;
  }
  win::HGLOBAL block{d.data};
  if (d.format == win::CF_METAFILEPICT && win::GlobalSize(block) >= sizeof(win::METAFILEPICT)) {
    win::METAFILEPICT pict;
    std::memcpy(&pict, win::GlobalLock(block), sizeof pict);
    win::GlobalUnlock(block);
    if (pict.hMF && objectDeleter) objectDeleter(win::CF_METAFILEPICT, pict.hMF);
  }
  win::GlobalFree(block);
}

}  // namespace

namespace win {

bool OpenClipboard(uint32_t window) {
  if (isOpen) return false;
  isOpen = true;
  opener = window;
  return true;
}

bool CloseClipboard() {
  if (!isOpen) return false;
  isOpen = false;
  return true;
}

bool EmptyClipboard() {
  if (!isOpen) return false;
  for (const Datum& d : data) Release(d);
  data.clear();
  owner = opener;
  return true;
}

uint32_t GetClipboardOwner() { return owner; }

uint32_t SetClipboardData(uint32_t format, uint32_t handle) {
  if (!isOpen || format == 0 || handle == 0) return 0;
  for (Datum& d : data) {
    if (d.format == format) {
      if (d.data != handle) Release(d);
      d.data = handle;
      return handle;
    }
  }
  data.push_back({format, handle});
  return handle;
}

uint32_t GetClipboardData(uint32_t format) {
  if (!isOpen) return 0;
  for (const Datum& d : data)
    if (d.format == format) return d.data;
  return 0;
}

bool IsClipboardFormatAvailable(uint32_t format) {
  for (const Datum& d : data)
    if (d.format == format) return true;
  return false;
}

uint32_t EnumClipboardFormats(uint32_t format) {
  if (!isOpen) return 0;
  size_t i = 0;
  if (format != 0) {
    while (i < data.size() && data[i].format != format) ++i;
    if (i == data.size()) return 0;
    ++i;
  }
  return i < data.size() ? data[i].format : 0;
}

int32_t CountClipboardFormats() { return int32_t(data.size()); }

uint32_t RegisterClipboardFormatA(const char* name) {
  if (!name || !*name) return 0;
  for (size_t i = 0; i < registered.size(); ++i)
    if (platform::detail::SameNameIgnoringCase(registered[i], name)) return kFirstRegisteredFormat + uint32_t(i);
  registered.emplace_back(name);
  return kFirstRegisteredFormat + uint32_t(registered.size() - 1);
}

}  // namespace win

namespace platform {

namespace {

// The default text exchange goes through the format store as CF_TEXT.
bool StoreGet(std::string& text) {
  if (!win::OpenClipboard(0)) return false;
  win::HGLOBAL block{win::GetClipboardData(win::CF_TEXT)};
  bool ok = bool(block);
  if (ok) {
    const char* p = static_cast<const char*>(win::GlobalLock(block));
    text.assign(p, strnlen(p, win::GlobalSize(block)));
    win::GlobalUnlock(block);
  }
  win::CloseClipboard();
  return ok;
}

bool StoreSet(std::string_view text) {
  win::HGLOBAL block = win::GlobalAlloc(win::GMEM_MOVEABLE | win::GMEM_DDESHARE, text.size() + 1);
  if (!block) return false;
  char* p = static_cast<char*>(win::GlobalLock(block));
  std::memcpy(p, text.data(), text.size());
  p[text.size()] = 0;
  win::GlobalUnlock(block);
  if (!win::OpenClipboard(0)) {
    win::GlobalFree(block);
    return false;
  }
  win::EmptyClipboard();
  win::SetClipboardData(win::CF_TEXT, block);
  win::CloseClipboard();
  return true;
}

ClipboardGetHook getHook = StoreGet;
ClipboardSetHook setHook = StoreSet;

}  // namespace

void SetClipboardObjectDeleter(ClipboardObjectDeleter deleter) { objectDeleter = deleter; }

bool ClipboardGetText(std::string& text) { return getHook(text); }

bool ClipboardSetText(std::string_view text) { return setHook(text); }

void SetClipboardHooks(ClipboardGetHook get, ClipboardSetHook set) {
  getHook = get ? get : StoreGet;
  setHook = set ? set : StoreSet;
}

}  // namespace platform
