// Words of the full-text index: which characters make words, HTML entities,
// stop words, and the extraction of words from the pieces of a field.
//
// Extraction is a small state machine that runs over the pieces of a field
// (a field text, or the lines of a memo or text file) and keeps its state
// from piece to piece:
//
//   state          character                      effect
//   -------------  -----------------------------  ------------------------------
//   between words  word character                 a word starts with it
//                  '<' (HTML mode)                -> in a tag
//                  '&' (HTML mode)                -> in an entity, empty name
//                  other                          skipped
//   in a word      word character                 appended (at most 255)
//                  '&' (HTML mode)                -> in an entity, the word kept
//                  '<' (HTML mode)                word handed on, -> in a tag
//                  other                          word handed on, -> between
//   in a tag       '>'                            -> between words
//                  other                          skipped
//   in an entity   letter, digit, '#'             appended to the name
//                  ';'                            name decoded: a word character
//                                                 joins the word (-> in a word),
//                                                 anything else ends the word
//                  blank right after '&'          the '&' was no entity: the
//                                                 word ends (-> between words)
//                  other                          skipped
//
// Word characters are the letters of the Western European code page and the
// caller's extra word characters; the extras count in words but not in
// entity names. A word is handed on unless it is a stop word. At the end of a
// field (the last piece) a word in progress is handed on (also one followed
// by an entity without ";"); a tag stays open into the next field, every
// other state returns to between words.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"

namespace FullText {

// Most stop words kept from a stop-word file.
inline constexpr size_t kMaxStopWords = 1001;
// What an entity that names nothing known decodes to.
inline constexpr char kUnknownEntity = '?';

// A letter of the built-in set: A-Z, a-z and the letters of Windows-1252
// (138, 140, 154, 156, 159, 181, 192-214, 216-246, 248-255).
bool IsWordChar(char c);
// A character of an entity name: a letter of the built-in set, a digit or
// '#'.
bool IsEntityNameChar(char c);
// The character an entity name (the text between '&' and ';') stands for;
// kUnknownEntity when the name is not known.
char DecodeEntity(std::string_view name);

// The stop words of a build or add: read from a text file, one word per
// line, kept sorted by the collating comparison.
class TStopWords {
 public:
  // Reads the first 1001 words of the file (lines trimmed of blanks, empty
  // lines skipped). A file that cannot be read, or an empty name, leaves the
  // list empty.
  void Load(std::string_view fileName);
  void Clear() { words_.clear(); }
  bool Contains(std::string_view word) const;
  size_t Size() const { return words_.size(); }

 private:
  std::vector<ShortStr> words_;
};

// Extraction of words from the pieces of fields (see the table above).
class TWordExtractor {
 public:
  using TSink = std::function<void(std::string_view word)>;

  // Settings of one build or add; the state starts between words.
  TWordExtractor(bool html, std::string_view extraChars, const TStopWords* stopWords, TSink sink);

  // One piece of a field. A piece that is not the last one lets its last
  // word run on into the next piece (a line cut inside a word).
  void Extract(std::string_view text, bool lastPiece);

 private:
  enum class TState { Between, InWord, InTag, InEntity };

  bool InWordSet(char c) const;
  void HandOn();
  void EndWord(TState next);

  bool html_;
  std::array<bool, 256> wordSet_{};  // the word characters, extras included
  const TStopWords* stopWords_;
  TSink sink_;
  TState state_ = TState::Between;
  ShortStr word_;
  ShortStr entity_;
};

}  // namespace FullText
