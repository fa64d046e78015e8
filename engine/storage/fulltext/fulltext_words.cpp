#include "engine/storage/fulltext/fulltext_words.h"

#include <algorithm>
#include <array>
#include <utility>

#include "engine/base/common.h"
#include "engine/base/dynstr.h"
#include "engine/base/textfiles.h"
#include "engine/base/uppercas.h"

namespace FullText {
namespace {

// The letters of Windows-1252 above 127 that count as word characters.
constexpr uint8_t kScaron = 138, kOE = 140, kSmallScaron = 154, kSmallOE = 156, kYDiaeresis = 159;
constexpr uint8_t kMicro = 181;
constexpr uint8_t kFirstUpperLetter = 192, kLastUpperLetter = 214;  // without 215 (x)
constexpr uint8_t kFirstMixedLetter = 216, kLastMixedLetter = 246;  // without 247 (/)
constexpr uint8_t kFirstSmallLetter = 248;

// Named entities of the form <letter><suffix>: the suffix picks the accent,
// the letter (capital or small) the character. A letter without an entry
// stands for itself.
struct TAccentEntity {
  std::string_view suffix;
  std::string_view letters;
  std::string_view codes;
};
const std::array<TAccentEntity, 6> kAccentEntities = {{
    {"uml", "AOUaou", "\xC4\xD6\xDC\xE4\xF6\xFC"},
    {"acute", "AEIOUaeiou", "\xC1\xC9\xCD\xD3\xDA\xE1\xE9\xED\xF3\xFA"},
    {"grave", "AEIOUaeiou", "\xC0\xC8\xCC\xD2\xD9\xE0\xE8\xEC\xF2\xF9"},
    {"circ", "AEIOUaeiou", "\xC2\xCA\xCE\xD4\xDB\xE2\xEA\xEE\xF4\xFB"},
    {"ring", "Aa", "\xC5\xE5"},
    {"slash", "Ooc", "\xD8\xF8\xA2"},
}};
constexpr TAccentEntity kTildeEntity = {"tilde", "Nn", "\xD1\xF1"};
// Ligatures: "AElig", "aelig", "szlig"; only the first letter is looked at.
constexpr TAccentEntity kLigatureEntity = {"lig", "Aas", "\xC6\xE6\xDF"};
constexpr size_t kLigatureNameLength = 5;

struct TNamedEntity {
  std::string_view name;
  char code;
};
const std::array<TNamedEntity, 8> kNamedEntities = {{
    {"copy", '\xA9'},
    {"amp", '&'},
    {"quot", '"'},
    {"lt", '<'},
    {"gt", '>'},
    {"reg", '\xAE'},
    {"trade", '\x99'},
    {"nbsp", ' '},
}};
constexpr char kNumericEntityMark = '#';
constexpr int kLastCharCode = 255;

bool EqualIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (UPPERCAS::UpCaseChar(a[i]) != UPPERCAS::UpCaseChar(b[i])) return false;
  return true;
}

bool EndsWithIgnoringCase(std::string_view text, std::string_view suffix) {
  return text.size() >= suffix.size() && EqualIgnoringCase(text.substr(text.size() - suffix.size()), suffix);
}

// The character of an accent entity whose name is letter + suffix (or, for
// the ligatures, two letters + "lig").
bool DecodeAccent(std::string_view name, const TAccentEntity& entity, size_t nameLength, char& out) {
  if (name.size() != nameLength || !EndsWithIgnoringCase(name, entity.suffix)) return false;
  const size_t k = entity.letters.find(name[0]);
  out = k == std::string_view::npos ? name[0] : entity.codes[k];
  return true;
}

char DecodeNumber(std::string_view digits) {
  if (digits.empty()) return kUnknownEntity;
  int code = 0;
  for (char c : digits) {
    if (!Common::IsDigit(c)) return kUnknownEntity;
    code = code * 10 + (c - '0');
    if (code > kLastCharCode) return kUnknownEntity;
  }
  return code == 0 ? kUnknownEntity : char(code);
}

}  // namespace

bool IsEntityNameChar(char c) { return IsWordChar(c) || Common::IsDigit(c) || c == kNumericEntityMark; }

bool IsWordChar(char ch) {
  const uint8_t c = uint8_t(ch);
  if ((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z')) return true;
  switch (c) {
    case kScaron:
    case kOE:
    case kSmallScaron:
    case kSmallOE:
    case kYDiaeresis:
    case kMicro: return true;
    default: break;
  }
  return (c >= kFirstUpperLetter && c <= kLastUpperLetter) || (c >= kFirstMixedLetter && c <= kLastMixedLetter) ||
         c >= kFirstSmallLetter;
}

char DecodeEntity(std::string_view name) {
  if (!name.empty() && name[0] == kNumericEntityMark) return DecodeNumber(name.substr(1));
  for (const TNamedEntity& e : kNamedEntities)
    if (EqualIgnoringCase(name, e.name)) return e.code;
  char out = kUnknownEntity;
  for (const TAccentEntity& e : kAccentEntities)
    if (DecodeAccent(name, e, 1 + e.suffix.size(), out)) return out;
  if (DecodeAccent(name, kTildeEntity, 1 + kTildeEntity.suffix.size(), out)) return out;
  if (DecodeAccent(name, kLigatureEntity, kLigatureNameLength, out)) return out;
  return kUnknownEntity;
}

// ---------------------------------------------------------------------------
// Stop words

void TStopWords::Load(std::string_view fileName) {
  words_.clear();
  if (fileName.empty()) return;
  dynstr::LineChain chain;
  if (TextFiles::LoadTextLines(fileName, chain, ShortStr::kMax) != 0) return;
  for (const dynstr::LineNode* node = chain.get(); node && words_.size() < kMaxStopWords; node = node->next.get()) {
    ShortStr word = node->text.str();
    Common::TrimBlanks(word);
    if (!word.empty()) words_.push_back(word);
  }
  TextFiles::FreeLineChain(chain);
  std::sort(words_.begin(), words_.end(), [](const ShortStr& a, const ShortStr& b) {
    return UPPERCAS::CollateCompare(a, b) < 0;
  });
}

bool TStopWords::Contains(std::string_view word) const {
  auto it = std::lower_bound(words_.begin(), words_.end(), word, [](const ShortStr& a, std::string_view b) {
    return UPPERCAS::CollateCompare(a, b) < 0;
  });
  return it != words_.end() && UPPERCAS::CollateCompare(*it, word) == 0;
}

// ---------------------------------------------------------------------------
// Extraction

TWordExtractor::TWordExtractor(bool html, std::string_view extraChars, const TStopWords* stopWords, TSink sink)
    : html_(html), stopWords_(stopWords), sink_(std::move(sink)) {
  for (int c = 0; c < int(wordSet_.size()); ++c) wordSet_[size_t(c)] = IsWordChar(char(c));
  const ShortStr extras(extraChars);  // as many as a short text holds
  for (char c : extras.view()) wordSet_[uint8_t(c)] = true;
}

bool TWordExtractor::InWordSet(char c) const { return wordSet_[uint8_t(c)]; }

void TWordExtractor::HandOn() {
  if (!word_.empty() && !(stopWords_ && stopWords_->Contains(word_))) sink_(word_.view());
  word_.clear();
}

void TWordExtractor::EndWord(TState next) {
  HandOn();
  state_ = next;
}

void TWordExtractor::Extract(std::string_view text, bool lastPiece) {
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    switch (state_) {
      case TState::InWord:
        if (InWordSet(c)) {
          // The run of word characters at once.
          size_t end = i + 1;
          while (end < text.size() && InWordSet(text[end])) ++end;
          word_.append(text.substr(i, end - i));
          i = end - 1;
        } else if (html_ && c == '&') {
          entity_.clear();
          state_ = TState::InEntity;
        } else {
          EndWord(html_ && c == '<' ? TState::InTag : TState::Between);
        }
        break;
      case TState::Between:
        if (!InWordSet(c) && !(html_ && (c == '<' || c == '&'))) {
          // Skipped up to the next character that matters.
          while (i + 1 < text.size() && !InWordSet(text[i + 1]) &&
                 !(html_ && (text[i + 1] == '<' || text[i + 1] == '&')))
            ++i;
        } else if (html_ && c == '<') {
          state_ = TState::InTag;
        } else if (InWordSet(c)) {
          word_.assign(std::string_view(&c, 1));
          state_ = TState::InWord;
        } else if (html_ && c == '&') {
          entity_.clear();
          state_ = TState::InEntity;
        }
        break;
      case TState::InTag: {
        const size_t close = text.find('>', i);
        if (close == std::string_view::npos) {
          i = text.size();
        } else {
          i = close;
          state_ = TState::Between;
        }
        break;
      }
      case TState::InEntity:
        if (c == ';') {
          const char decoded = DecodeEntity(entity_);
          if (InWordSet(decoded)) {
            word_.append(decoded);
            state_ = TState::InWord;
          } else {
            EndWord(TState::Between);
          }
        } else if (IsEntityNameChar(c)) {
          entity_.append(c);
        } else if (c == ' ' && entity_.empty()) {
          EndWord(TState::Between);
        }
        break;
    }
  }
  if (!lastPiece) return;
  // A word before an entity that never ended is a word all the same.
  if (state_ == TState::InWord || state_ == TState::InEntity) HandOn();
  word_.clear();
  if (state_ != TState::InTag) state_ = TState::Between;
}

}  // namespace FullText
