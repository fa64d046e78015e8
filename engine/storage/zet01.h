// Reading a table file's header into a table object (layout: zet00.h).
//
// The reader trusts nothing it reads. Every count, length and size is
// checked before it is used, and a header that does not hold together is
// refused with 117 ("Illegale Dateistruktur"):
//   - record length 1..10000, field count 1..1000, a version of 2 or more
//     behind the magic, at most 15 index slots (names of at most 44 / 12
//     characters);
//   - every section lies inside the file;
//   - field names of at most 40 characters, type codes 0..13, size codes
//     that fit their type (and the file version for F fields), and stored
//     fields that together fit the record length;
//   - a table code of at most 10 characters, choice entries of at most 20;
//   - an ID key description whose parts name existing fields with known
//     types, whose values fit a 260-byte key and whose expression text has at
//     most 39 characters.
// A read that fails for another reason reports 2 ("Lesefehler").
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/storage/zettable.h"

namespace Zet01 {

// Where a header comes from: the table file, or bytes in memory.
class THeaderSource {
 public:
  virtual ~THeaderSource() = default;
  virtual uint64_t Size() = 0;
  // Reads count bytes at position; answers 0 or the low-level error.
  virtual int16_t Read(uint64_t position, size_t count, uint8_t* buffer) = 0;
  // The ".CIN" companion; false when it cannot be read.
  virtual bool ReadCompanion(uint8_t* buffer, size_t count) = 0;
  // Writes a repaired record count back; answers 0 or the low-level error.
  virtual int16_t WriteRecordCount(uint64_t position, int32_t count) = 0;
};

// Reads the header into a fresh table object: header values, the index
// directory into the index slots, descriptors, table code (kept scrambled),
// choice lists, formulas, value ranges, the ID key description and the next
// auto number; converts the texts of a version-1 header to ANSI; computes the
// field layout and the header size; collects the memo, blob and auto-number
// facts of the fields. A stored record count that the file's length cannot
// hold is cut to the whole records present and written back; a negative one
// marks the count unknown. Answers 0, or 117 / 2 (or the write-back error),
// reported with the table's file name.
int ReadTableHeader(ZetTable::TZetTable& table, THeaderSource& source);
// The same from the table's open table file (and its companion).
int ReadTableHeader(ZetTable::TZetTable& table);
// The same from bytes in memory, for tests and fuzzing; companion may be
// null (count 130 bytes otherwise).
int ReadTableHeaderFromBytes(ZetTable::TZetTable& table, const uint8_t* data, size_t size,
                             const uint8_t* companion = nullptr);

// Restores the table code read from the file and compares it, length
// included, with the code the opener gives. Answers 0, or 38 ("Falscher
// Code") reported.
int CheckTableCode(ZetTable::TZetTable& table, std::string_view code);

}  // namespace Zet01
