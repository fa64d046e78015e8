// Fuzzes the placeable metafile reader: any bytes read as a metafile picture
// from a memory stream give a status and leave the stream after what they
// took; a picture read is drawn into a small rectangle and written, and must
// read back with the same extent. Seeds: pictures our writer made
// (kxmeta_test.cpp, KXMETA_WRITE_FUZZ_SEEDS=folder).
#include <cstddef>
#include <cstdint>

#include "platform/fonts/font.h"
#include "runtime/toolkit/kxmeta.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const bool testFont = [] {
    platform::fonts::SetTestFont(true);
    return true;
  }();
  (void)testFont;
  kxobject::TMemStream stream(uint32_t(size + 1), 4096);
  if (size) stream.WriteHuge(data, uint32_t(size));
  stream.Seek(0);
  const kxobject::TMetaFile picture(stream);
  if (stream.GetPos() > stream.GetSize()) __builtin_trap();
  if (picture.Status != 1) return 0;
  static const auto surface = win::Bitmap::Create(32, 24, 32);
  win::Dc dc(surface);
  win::RECT rect{2, 2, 30, 22};
  picture.Draw(dc, dc, rect, 1);
  kxobject::TMemStream out(64, 4096);
  picture.Write(out);
  out.Seek(0);
  const kxobject::TMetaFile back(out);
  int16_t mm = 0, cx = 0, cy = 0, mm2 = 0, cx2 = 0, cy2 = 0;
  picture.GetInfo(mm, cx, cy);
  back.GetInfo(mm2, cx2, cy2);
  if (back.Status != 1 || out.GetPos() != out.GetSize()) __builtin_trap();
  return 0;
}
