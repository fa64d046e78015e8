#include "engine/base/uppercas.h"

#include <cstdint>
#include <utility>
#include <vector>

#include "platform/codepage.h"
#include "platform/collate.h"

namespace UPPERCAS {
namespace {

// Windows-1252 codes the rules name.
constexpr uint8_t kCapitalYDiaeresis = 159;  // Ÿ
constexpr uint8_t kMultiplication = 215;     // ×
constexpr uint8_t kSharpS = 223;             // ß
constexpr uint8_t kDivision = 247;           // ÷
constexpr uint8_t kSmallYDiaeresis = 255;    // ÿ
constexpr uint8_t kCapitalAUmlaut = 196, kCapitalOUmlaut = 214, kCapitalUUmlaut = 220;
constexpr uint8_t kSmallAUmlaut = 228, kSmallOUmlaut = 246, kSmallUUmlaut = 252;

// The 32 between a capital and its small letter.
constexpr uint8_t kCaseDistance = 'a' - 'A';
constexpr size_t kShortSetSize = 20;
constexpr size_t kMaxExpandedName = 10;

bool SameFolded(char a, char b) { return UpCaseChar(a) == UpCaseChar(b); }

}  // namespace

char UpCaseChar(char ch) {
  uint8_t c = uint8_t(ch);
  if ((c >= 'a' && c <= 'z') || (c >= 224 && c <= 254 && c != kDivision)) return char(c - kCaseDistance);
  if (c == kSmallYDiaeresis) return char(kCapitalYDiaeresis);
  return ch;
}

char LowCaseChar(char ch) {
  uint8_t c = uint8_t(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 222 && c != kMultiplication)) return char(c + kCaseDistance);
  if (c == kCapitalYDiaeresis) return char(kSmallYDiaeresis);
  return ch;
}

void UpperStr(ShortStr& text) {
  for (size_t i = 0; i < text.size(); ++i) text[i] = UpCaseChar(text[i]);
}

void LowerStr(ShortStr& text) {
  for (size_t i = 0; i < text.size(); ++i) text[i] = LowCaseChar(text[i]);
}

int CollateCompare(std::string_view a, std::string_view b) { return platform::Collate(a, b, true); }
int CollateCompareExact(std::string_view a, std::string_view b) { return platform::Collate(a, b, false); }

size_t CollateBaseLetters(std::string_view text, uint8_t* out, size_t room, bool& plain) {
  return platform::CollateBaseLetters(text, out, room, plain);
}

void OemToAnsiStr(ShortStr& text) { platform::OemToAnsiBuffer(text.data(), text.size()); }
void AnsiToOemStr(ShortStr& text) { platform::AnsiToOemBuffer(text.data(), text.size()); }

bool CharInShortSet(char c, std::string_view set) {
  return set.substr(0, kShortSetSize).find(c) != std::string_view::npos;
}

void ExpandUmlauts(ShortStr& text) {
  ShortStr out;
  for (char ch : text.view()) {
    switch (uint8_t(ch)) {
      case kCapitalAUmlaut:
      case kSmallAUmlaut: out += "AE"; break;
      case kCapitalOUmlaut:
      case kSmallOUmlaut: out += "OE"; break;
      case kCapitalUUmlaut:
      case kSmallUUmlaut: out += "UE"; break;
      case kSharpS: out += "SS"; break;
      case '-': break;
      default: out += ch;
    }
  }
  out.truncate(kMaxExpandedName);
  text = out;
}

// A "*" that is not the pattern's last character is tried against the text
// from the current position up to its last character; once the text is used
// up, only an empty rest or a single "*" matches. Worked out position by
// position from the end (match[p] tells whether the pattern from p matches
// the text from t), which gives the same answers as trying every split, in
// time proportional to text length times pattern length.
bool WildcardMatch(std::string_view text, std::string_view pattern) {
  if (pattern.empty()) return true;
  const size_t n = text.size(), m = pattern.size();
  std::vector<char> next(m + 1), cur(m + 1);  // rows t + 1 and t
  for (size_t p = 0; p <= m; ++p) cur[p] = p == m || (p == m - 1 && pattern[p] == '*');
  for (size_t t = n; t-- > 0;) {
    std::swap(next, cur);
    cur[m] = false;
    for (size_t p = m; p-- > 0;) {
      char pc = pattern[p];
      if (pc == '*')
        cur[p] = p == m - 1 || cur[p + 1] || (t + 1 < n && next[p]);
      else
        cur[p] = (pc == '?' || SameFolded(pc, text[t])) && next[p + 1];
    }
  }
  return cur[0];
}

void UnitInit() {}
void UnitDone() {}

}  // namespace UPPERCAS
