// Fuzzes the picture record reader (and through it the BMP, metafile and
// sound readers): any bytes read as a record leave the stream after what
// they took, never past its end; a graphic read is drawn, and its record
// written again reads back as the same kind, taking exactly what was
// written. Seeds: records our writers made (kxpicture_test.cpp,
// KXPICTURE_WRITE_FUZZ_SEEDS=folder).
#include <cstddef>
#include <cstdint>

#include "platform/fonts/font.h"
#include "runtime/toolkit/kxpicture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > (1u << 20)) return 0;
  static const bool setUp = [] {
    platform::fonts::SetTestFont(true);
    kxobject::SetPicturePixelLimit(int64_t(1) << 20);
    return true;
  }();
  (void)setUp;
  kxobject::TMemStream stream(uint32_t(size + 1), 4096);
  if (size) stream.WriteHuge(data, uint32_t(size));
  stream.Seek(0);
  kxobject::TKxPicture picture;
  picture.Read(stream);
  if (stream.GetPos() > stream.GetSize()) __builtin_trap();
  if (!picture.Embedded || !picture.Graphic) return 0;
  static const auto surface = win::Bitmap::Create(24, 16, 32);
  win::Dc dc(surface);
  picture.Draw(dc, dc, kxobject::TRect{1, 1, 23, 15}, kxobject::kDrawFit);
  kxobject::TMemStream out(64, 4096);
  picture.Write(out);
  const int32_t written = out.GetPos();
  out.WriteString("after");
  out.Seek(0);
  kxobject::TKxPicture back;
  back.Read(out);
  if (out.GetPos() != written) __builtin_trap();
  const uint16_t kind = back.Graphic ? back.Graphic->type : 0;
  const bool dib = picture.Graphic->type != kxobject::kPictureWav && picture.Graphic->type != kxobject::kPictureWmf;
  if (back.Graphic && kind != (dib ? kxobject::kPictureBmp : picture.Graphic->type)) __builtin_trap();
  return 0;
}
