// Fuzzes the metafile player: any bytes played onto a small colour surface,
// as the metafile picture reader and the print sinks hand stored metafiles
// to it. The seeds are recordings of our own recorder (the scene of
// wmf_test.cpp, written with QMK_UPDATE_SEEDS=1).
#include <cstddef>
#include <cstdint>
#include <span>

#include "platform/fonts/font.h"
#include "platform/gdi/wmf/metafile.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool testFont = [] {
    platform::fonts::SetTestFont(true);
    return true;
  }();
  (void)testFont;
  static const auto surface = win::Bitmap::Create(64, 48, 32);
  win::Dc dc(surface);
  win::wmf::PlayMetaFile(dc, std::span<const uint8_t>(data, size));
  return 0;
}
