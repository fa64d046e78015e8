#include "platform/codepage.h"

#include <array>

namespace platform {

namespace {

// Both code pages agree with ASCII below 0x80; they differ above it. Each
// table gives the Unicode character of the codes 0x80..0xFF.
constexpr size_t kUpperBase = 0x80;
constexpr size_t kUpperCount = 128;
using UpperTable = std::array<char16_t, kUpperCount>;

constexpr UpperTable kCp850Upper = {
    // 0x80
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    // 0x90
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00F8, 0x00A3, 0x00D8, 0x00D7, 0x0192,
    // 0xA0
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x00AE, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    // 0xB0
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x00C1, 0x00C2, 0x00C0,
    0x00A9, 0x2563, 0x2551, 0x2557, 0x255D, 0x00A2, 0x00A5, 0x2510,
    // 0xC0
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x00E3, 0x00C3,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x00A4,
    // 0xD0
    0x00F0, 0x00D0, 0x00CA, 0x00CB, 0x00C8, 0x0131, 0x00CD, 0x00CE,
    0x00CF, 0x2518, 0x250C, 0x2588, 0x2584, 0x00A6, 0x00CC, 0x2580,
    // 0xE0
    0x00D3, 0x00DF, 0x00D4, 0x00D2, 0x00F5, 0x00D5, 0x00B5, 0x00FE,
    0x00DE, 0x00DA, 0x00DB, 0x00D9, 0x00FD, 0x00DD, 0x00AF, 0x00B4,
    // 0xF0
    0x00AD, 0x00B1, 0x2017, 0x00BE, 0x00B6, 0x00A7, 0x00F7, 0x00B8,
    0x00B0, 0x00A8, 0x00B7, 0x00B9, 0x00B3, 0x00B2, 0x25A0, 0x00A0,
};

// Code page 437, the first OEM code page, still named by files of other
// programs (dBase files with code-page byte 0x01).
constexpr UpperTable kCp437Upper = {
    // 0x80
    0x00C7, 0x00FC, 0x00E9, 0x00E2, 0x00E4, 0x00E0, 0x00E5, 0x00E7,
    0x00EA, 0x00EB, 0x00E8, 0x00EF, 0x00EE, 0x00EC, 0x00C4, 0x00C5,
    // 0x90
    0x00C9, 0x00E6, 0x00C6, 0x00F4, 0x00F6, 0x00F2, 0x00FB, 0x00F9,
    0x00FF, 0x00D6, 0x00DC, 0x00A2, 0x00A3, 0x00A5, 0x20A7, 0x0192,
    // 0xA0
    0x00E1, 0x00ED, 0x00F3, 0x00FA, 0x00F1, 0x00D1, 0x00AA, 0x00BA,
    0x00BF, 0x2310, 0x00AC, 0x00BD, 0x00BC, 0x00A1, 0x00AB, 0x00BB,
    // 0xB0
    0x2591, 0x2592, 0x2593, 0x2502, 0x2524, 0x2561, 0x2562, 0x2556,
    0x2555, 0x2563, 0x2551, 0x2557, 0x255D, 0x255C, 0x255B, 0x2510,
    // 0xC0
    0x2514, 0x2534, 0x252C, 0x251C, 0x2500, 0x253C, 0x255E, 0x255F,
    0x255A, 0x2554, 0x2569, 0x2566, 0x2560, 0x2550, 0x256C, 0x2567,
    // 0xD0
    0x2568, 0x2564, 0x2565, 0x2559, 0x2558, 0x2552, 0x2553, 0x256B,
    0x256A, 0x2518, 0x250C, 0x2588, 0x2584, 0x258C, 0x2590, 0x2580,
    // 0xE0
    0x03B1, 0x00DF, 0x0393, 0x03C0, 0x03A3, 0x03C3, 0x00B5, 0x03C4,
    0x03A6, 0x0398, 0x03A9, 0x03B4, 0x221E, 0x03C6, 0x03B5, 0x2229,
    // 0xF0
    0x2261, 0x00B1, 0x2265, 0x2264, 0x2320, 0x2321, 0x00F7, 0x2248,
    0x00B0, 0x2219, 0x00B7, 0x221A, 0x207F, 0x00B2, 0x25A0, 0x00A0,
};

// Windows-1252 is Latin-1 from 0xA0 on. The five codes it leaves undefined
// (0x81, 0x8D, 0x8F, 0x90, 0x9D) stand for the C1 controls of the same
// number, so that every byte survives a trip through UTF-8.
constexpr char16_t kCp1252Block[32] = {
    // 0x80
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021,
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F,
    // 0x90
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014,
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178,
};
constexpr size_t kLatin1From = 0xA0;

constexpr UpperTable MakeCp1252Upper() {
  UpperTable table{};
  for (size_t i = 0; i < kUpperCount; ++i) {
    size_t code = kUpperBase + i;
    table[i] = code < kLatin1From ? kCp1252Block[i] : char16_t(code);
  }
  return table;
}
constexpr UpperTable kCp1252Upper = MakeCp1252Upper();

// Best fits for the characters that one code page has and the other lacks.
struct BestFit {
  char16_t unicode;
  uint8_t ascii;
};
constexpr BestFit kBestFits[] = {
    // code page 850 only: shades, blocks and box drawing become ASCII art
    {0x2591, '#'}, {0x2592, '#'}, {0x2593, '#'}, {0x2588, '#'}, {0x2584, '#'},
    {0x2580, '#'}, {0x258C, '#'}, {0x2590, '#'}, {0x25A0, '#'}, {0x2502, '|'}, {0x2551, '|'}, {0x2500, '-'},
    {0x2550, '='}, {0x0131, 'i'}, {0x2017, '_'},
    // Windows-1252 only: typographic marks and the letters of 0x80..0x9F
    {0x20AC, 'E'}, {0x201A, ','}, {0x201E, '"'}, {0x2026, '.'}, {0x2020, '+'},
    {0x2021, '+'}, {0x02C6, '^'}, {0x2030, '%'}, {0x0160, 'S'}, {0x2039, '<'},
    {0x0152, 'O'}, {0x017D, 'Z'}, {0x2018, '\''}, {0x2019, '\''}, {0x201C, '"'},
    {0x201D, '"'}, {0x2022, '*'}, {0x2013, '-'}, {0x2014, '-'}, {0x02DC, '~'},
    {0x2122, 'T'}, {0x0161, 's'}, {0x203A, '>'}, {0x0153, 'o'}, {0x017E, 'z'},
    {0x0178, 'Y'},
};
constexpr uint8_t kBoxJunction = '+';  // every other box-drawing character
constexpr char16_t kBoxFirst = 0x2500, kBoxLast = 0x257F;
constexpr uint8_t kNoFit = '?';

constexpr uint8_t FitOf(char16_t unicode) {
  for (const BestFit& fit : kBestFits)
    if (fit.unicode == unicode) return fit.ascii;
  if (unicode >= kBoxFirst && unicode <= kBoxLast) return kBoxJunction;
  return kNoFit;
}

struct Conversion {
  std::array<uint8_t, 256> map{};
  std::array<bool, 256> exact{};
};

// Maps every code of one page to the other through its Unicode character.
constexpr Conversion MakeConversion(const UpperTable& from, const UpperTable& to) {
  Conversion result;
  for (size_t c = 0; c < kUpperBase; ++c) {
    result.map[c] = uint8_t(c);
    result.exact[c] = true;
  }
  for (size_t i = 0; i < kUpperCount; ++i) {
    size_t c = kUpperBase + i;
    result.map[c] = FitOf(from[i]);
    for (size_t j = 0; j < kUpperCount; ++j) {
      if (to[j] == from[i]) {
        result.map[c] = uint8_t(kUpperBase + j);
        result.exact[c] = true;
        break;
      }
    }
  }
  return result;
}

constexpr Conversion kOemToAnsi = MakeConversion(kCp850Upper, kCp1252Upper);
constexpr Conversion kAnsiToOem = MakeConversion(kCp1252Upper, kCp850Upper);
constexpr Conversion kOem437ToAnsi = MakeConversion(kCp437Upper, kCp1252Upper);

void AppendUtf8(std::string& out, char32_t u) {
  if (u < 0x80) {
    out += char(u);
  } else if (u < 0x800) {
    out += char(0xC0 | (u >> 6));
    out += char(0x80 | (u & 0x3F));
  } else {
    out += char(0xE0 | (u >> 12));
    out += char(0x80 | ((u >> 6) & 0x3F));
    out += char(0x80 | (u & 0x3F));
  }
}

// Decodes one UTF-8 sequence at text[pos]; answers false (and consumes one
// byte) for a malformed or overlong one.
bool NextUtf8(std::string_view text, size_t& pos, char32_t& u) {
  uint8_t lead = uint8_t(text[pos++]);
  if (lead < 0x80) {
    u = lead;
    return true;
  }
  size_t more;
  char32_t min;
  if ((lead & 0xE0) == 0xC0) {
    more = 1, min = 0x80, u = lead & 0x1F;
  } else if ((lead & 0xF0) == 0xE0) {
    more = 2, min = 0x800, u = lead & 0x0F;
  } else if ((lead & 0xF8) == 0xF0) {
    more = 3, min = 0x10000, u = lead & 0x07;
  } else {
    return false;
  }
  if (text.size() - pos < more) return false;
  for (size_t k = 0; k < more; ++k) {
    uint8_t b = uint8_t(text[pos + k]);
    if ((b & 0xC0) != 0x80) return false;
    u = (u << 6) | (b & 0x3F);
  }
  pos += more;
  return u >= min && u <= 0x10FFFF && !(u >= 0xD800 && u <= 0xDFFF);
}

}  // namespace

uint8_t OemToAnsiChar(uint8_t c) { return kOemToAnsi.map[c]; }

uint8_t AnsiToOemChar(uint8_t c) { return kAnsiToOem.map[c]; }

bool OemCharRoundTrips(uint8_t c) { return kOemToAnsi.exact[c]; }

void OemToAnsiBuffer(char* buffer, size_t count) {
  for (size_t i = 0; i < count; ++i) buffer[i] = char(OemToAnsiChar(uint8_t(buffer[i])));
}

void AnsiToOemBuffer(char* buffer, size_t count) {
  for (size_t i = 0; i < count; ++i) buffer[i] = char(AnsiToOemChar(uint8_t(buffer[i])));
}

uint8_t Oem437ToAnsiChar(uint8_t c) { return kOem437ToAnsi.map[c]; }

void Oem437ToAnsiBuffer(char* buffer, size_t count) {
  for (size_t i = 0; i < count; ++i) buffer[i] = char(Oem437ToAnsiChar(uint8_t(buffer[i])));
}

std::string Cp1252ToUtf8(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char ch : text) {
    uint8_t c = uint8_t(ch);
    AppendUtf8(out, c < kUpperBase ? char32_t(c) : char32_t(kCp1252Upper[c - kUpperBase]));
  }
  return out;
}

std::string Utf8ToCp1252(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  size_t pos = 0;
  while (pos < text.size()) {
    char32_t u = 0;
    uint8_t c = kNoFit;
    if (NextUtf8(text, pos, u)) {
      if (u < kUpperBase) {
        c = uint8_t(u);
      } else {
        for (size_t j = 0; j < kUpperCount; ++j) {
          if (kCp1252Upper[j] == u) {
            c = uint8_t(kUpperBase + j);
            break;
          }
        }
      }
    }
    out += char(c);
  }
  return out;
}

}  // namespace platform
