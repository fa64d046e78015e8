// Drawing objects on the clipboard: device bitmaps (CF_BITMAP) and palettes
// (CF_PALETTE).
//
// The clipboard (platform/clipboard.h) keeps ids for these two formats, not
// blocks; this unit is the drawing layer behind the ids. Putting an object
// on the clipboard gives it a fresh id and keeps the object under it until
// the clipboard drops the datum (replaced by another of its format or
// emptied), when the clipboard calls this unit's deleter.
//
// What always holds:
//   1. An id names exactly one kept object, and only while the clipboard
//      holds a datum with that id: an object the clipboard refused is not
//      kept, and one it dropped is freed.
//   2. The getters lend: a bitmap is shared (nothing changes it once it is
//      on the clipboard), a palette is handed out as a copy.
//   3. The clipboard must be open by the caller for Set and Get, as for every
//      clipboard datum.
#pragma once

#include <memory>
#include <optional>

#include "platform/gdi/objects.h"
#include "platform/gdi/raster.h"

namespace win {

// Puts the object on the open clipboard; false when the clipboard refused
// it (not open, or a null bitmap).
bool SetClipboardBitmap(std::shared_ptr<const Bitmap> bitmap);
bool SetClipboardPalette(const Palette& palette);
// The clipboard's object of that format; null or none when it holds none.
std::shared_ptr<const Bitmap> GetClipboardBitmap();
std::optional<Palette> GetClipboardPalette();

}  // namespace win
