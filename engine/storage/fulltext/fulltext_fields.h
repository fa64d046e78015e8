// The field lists of a build or add: which fields of the current records
// give their words.
//
// A field list is compiled code: items with "," (44) between them.
//
//   | item                                    | bytes                         |
//   |-----------------------------------------|-------------------------------|
//   | field reference: code 185, table, field | 185, u8 table, u16 field      |
//   | field path: code 254, level count n,    | 254, u8 n, then n + 1 entries |
//   | then the path from the start field to   | of u8 table, u16 field        |
//   | the field read in the last table        |                               |
//
// The text a field gives: for an S field whose text begins with "#", the
// lines of the text file it names; for an M field the lines of its memo; for
// any other field its text form. A line cut inside a word because it was too
// long lets the word run on into the next line; every other line ends the
// words of its field.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/storage/fulltext/fulltext_words.h"
#include "engine/storage/winmemos.h"

namespace FullText {

inline constexpr uint8_t kCodeField = 185;
inline constexpr uint8_t kCodeFieldPath = 254;
inline constexpr uint8_t kCodeSeparator = 44;
// A text of an S field that begins with this names a text file.
inline constexpr char kTextFileMark = '#';

// One step of an item: a table and a field of it.
struct TPathEntry {
  uint8_t table = 0;
  uint16_t field = 0;
};
// One item: the start field and, for a path, the fields reached from it.
using TFieldItem = std::vector<TPathEntry>;

// Reads a compiled field list into its items. False when the list is not
// one: an unknown code, an item cut short, anything but "," after an item,
// or an entry naming a table that is not open or a field it lacks.
bool ParseFieldList(std::string_view list, std::vector<TFieldItem>& items);

// Hands the words of every item, for the current records of their tables,
// to the extractor. A path that cannot be followed gives no words. With a
// window, memos are read through it (winmemos.h: nothing may write the memo
// files while it is in use).
void ExtractFieldWords(const std::vector<TFieldItem>& items, TWordExtractor& extractor,
                       WINMEMOS::TReadWindow* window = nullptr);

}  // namespace FullText
