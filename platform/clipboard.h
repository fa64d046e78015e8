// The clipboard: data of several formats under one owner, as the runtime's
// windows exchange it, and the text shortcut that the engine uses.
//
// What always holds:
//   1. Data is read and replaced only between OpenClipboard and
//      CloseClipboard, and only one opener at a time holds it open.
//   2. EmptyClipboard frees every datum and makes the opener the owner.
//   3. SetClipboardData hands the datum to the clipboard: from then on the
//      clipboard frees it (a global block with GlobalFree; bitmaps, palettes
//      and the metafile inside a CF_METAFILEPICT block through the deleter
//      that the drawing layer installs). A second datum of one format
//      replaces and frees the first.
//   4. EnumClipboardFormats answers the formats in the order they were set.
//   5. GetClipboardData lends the datum: the caller must not free it.
//
// By default the store lives in this process; the display backend connects
// it to the desktop's clipboard. Texts are CF_TEXT blocks of Windows-1252
// bytes ended by a NUL.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "platform/base/globalmem.h"

namespace win {

constexpr uint32_t CF_TEXT = 1;
constexpr uint32_t CF_BITMAP = 2;
constexpr uint32_t CF_METAFILEPICT = 3;
constexpr uint32_t CF_DIB = 8;
constexpr uint32_t CF_PALETTE = 9;
constexpr uint32_t kFirstRegisteredFormat = 0xC000;

// The block of a CF_METAFILEPICT datum (16 bytes): mapping mode, extent in
// that mode's units, and the id of the metafile handle it owns.
struct METAFILEPICT {
  int32_t mm;
  int32_t xExt;
  int32_t yExt;
  uint32_t hMF;
};

// owner: the id of the window that opens the clipboard (0 for none).
bool OpenClipboard(uint32_t owner);
bool CloseClipboard();
bool EmptyClipboard();
uint32_t GetClipboardOwner();
// data: a global block's id for every format but CF_BITMAP and CF_PALETTE,
// whose data are ids of drawing objects. Answers data, or 0 when refused
// (clipboard not open by the caller, format 0, data 0).
uint32_t SetClipboardData(uint32_t format, uint32_t data);
uint32_t GetClipboardData(uint32_t format);
bool IsClipboardFormatAvailable(uint32_t format);
// The format after `format` in setting order (0 starts); 0 at the end.
uint32_t EnumClipboardFormats(uint32_t format);
int32_t CountClipboardFormats();
// The same number for the same name, compared without regard to case.
uint32_t RegisterClipboardFormatA(const char* name);

inline uint32_t SetClipboardData(uint32_t format, HGLOBAL data) { return SetClipboardData(format, data.id); }

}  // namespace win

namespace platform {

// Frees a drawing object that the clipboard owns (bitmap, palette, metafile).
using ClipboardObjectDeleter = void (*)(uint32_t format, uint32_t object);
void SetClipboardObjectDeleter(ClipboardObjectDeleter deleter);

using ClipboardGetHook = bool (*)(std::string& text);
using ClipboardSetHook = bool (*)(std::string_view text);

// False when the clipboard holds no text (or is held open by someone else).
bool ClipboardGetText(std::string& text);
bool ClipboardSetText(std::string_view text);
void SetClipboardHooks(ClipboardGetHook get, ClipboardSetHook set);  // nullptr restores

}  // namespace platform
