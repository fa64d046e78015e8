#include "platform/gdi/clipobjects.h"

#include <cstdint>
#include <map>

#include "platform/clipboard.h"

namespace win {

namespace {

std::map<uint32_t, std::shared_ptr<const Bitmap>> g_bitmaps;
std::map<uint32_t, Palette> g_palettes;
uint32_t g_nextId = 1;

void DeleteObject(uint32_t format, uint32_t id) {
  if (format == CF_BITMAP) g_bitmaps.erase(id);
  if (format == CF_PALETTE) g_palettes.erase(id);
}

// Keeps the object under a fresh id and hands the id to the clipboard; the
// object goes again when the clipboard refuses it.
template <typename Map, typename Object>
bool Put(uint32_t format, Map& kept, Object object) {
  platform::SetClipboardObjectDeleter(DeleteObject);
  const uint32_t id = g_nextId++;
  if (g_nextId == 0) g_nextId = 1;
  kept[id] = std::move(object);
  if (SetClipboardData(format, id) == 0) {
    kept.erase(id);
    return false;
  }
  return true;
}

}  // namespace

bool SetClipboardBitmap(std::shared_ptr<const Bitmap> bitmap) {
  return bitmap && Put(CF_BITMAP, g_bitmaps, std::move(bitmap));
}

bool SetClipboardPalette(const Palette& palette) { return Put(CF_PALETTE, g_palettes, palette); }

std::shared_ptr<const Bitmap> GetClipboardBitmap() {
  const auto it = g_bitmaps.find(GetClipboardData(CF_BITMAP));
  return it == g_bitmaps.end() ? nullptr : it->second;
}

std::optional<Palette> GetClipboardPalette() {
  const auto it = g_palettes.find(GetClipboardData(CF_PALETTE));
  if (it == g_palettes.end()) return std::nullopt;
  return it->second;
}

}  // namespace win
