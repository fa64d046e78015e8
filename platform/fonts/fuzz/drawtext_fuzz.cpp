// Fuzzes text layout: a LOGFONT, a rectangle, DrawText flags and a text from
// the input, laid out with DrawText's rules and as a glyph run, with the test
// font and with a real face at a small size.
//
// Input: int32 height, int32 width, int32 escapement, int32 weight, u8 italic,
// u8 underline, u8 strike-out, u8 pitch and family, u32 format, int16 rect
// width, int16 rect height, then the text.
#include <cstdint>
#include <cstring>
#include <string_view>

#include "platform/fonts/drawtext.h"
#include "platform/fonts/font.h"

namespace {

template <typename T>
T Take(const uint8_t*& data, size_t& size) {
  T value{};
  if (size >= sizeof value) {
    std::memcpy(&value, data, sizeof value);
    data += sizeof value;
    size -= sizeof value;
  }
  return value;
}

void Exercise(const win::LOGFONT& lf, std::string_view text, const platform::fonts::Rect& rect, uint32_t format) {
  const auto font = platform::fonts::Font::Create(lf);
  const auto layout = platform::fonts::LayoutDrawText(*font, text, rect, format);
  for (const auto& run : layout.runs) font->Layout(run.text.substr(0, 64));
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  win::LOGFONT lf;
  lf.lfHeight = Take<int32_t>(data, size);
  lf.lfWidth = Take<int32_t>(data, size) % 128;
  lf.lfEscapement = Take<int32_t>(data, size);
  lf.lfWeight = Take<int32_t>(data, size);
  lf.lfItalic = Take<uint8_t>(data, size);
  lf.lfUnderline = Take<uint8_t>(data, size);
  lf.lfStrikeOut = Take<uint8_t>(data, size);
  lf.lfPitchAndFamily = Take<uint8_t>(data, size);
  const uint32_t format = Take<uint32_t>(data, size);
  const platform::fonts::Rect rect{0, 0, Take<int16_t>(data, size), Take<int16_t>(data, size)};
  const std::string_view text(reinterpret_cast<const char*>(data), size);

  // Glyphs are rendered once per font; keep the sizes small so the fuzzer
  // spends its time on layout rather than on huge masks.
  lf.lfHeight %= 128;
  platform::fonts::SetTestFont(true);
  Exercise(lf, text, rect, format);
  platform::fonts::SetTestFont(false);
  lf.lfHeight %= 48;
  win::SetFaceName(lf, "Arial");
  Exercise(lf, text, rect, format);
  return 0;
}
