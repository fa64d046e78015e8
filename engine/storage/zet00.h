// The table file header and its index directory.
//
// A table file is a header followed by the records. Two header versions
// exist; a file whose first four bytes are the magic is version 2 (or
// higher), any other file is version 1 and those bytes are its record count.
//
// Version 2:
//   | offset | width          | content                                    |
//   |--------|----------------|--------------------------------------------|
//   | 0      | u32            | magic 0xFF57AA64 (bytes 64 AA 57 FF)       |
//   | 4      | u16            | header version                             |
//   | 6      | i32            | record count (negative: count unknown)     |
//   | 10     | u16            | record length, 1..10000                    |
//   | 12     | u16            | field count, 1..1000 (bit 15 ignored)      |
//   | 14     | 677            | index directory: u16 slots in use, then 15 |
//   |        |                | entries of 45 bytes (slot i at 16+(i-1)x45)|
//   |        |                | each a file name of at most 44 characters  |
//   |        |                | with a length byte, zero-filled            |
//   | 691    | fields x 46    | field descriptors, field 1 first           |
//
// Version 1:
//   | 0      | i32            | record count                               |
//   | 4      | u16            | record length                              |
//   | 6      | u16            | field count                                |
//   | 8      | 67             | index directory: u16 slots in use (low 4   |
//   |        |                | bits), then 5 entries of 13 bytes (slot i  |
//   |        |                | at 10+(i-1)x13), names of at most 12       |
//   | 75     | fields x 46    | field descriptors                          |
//
// Both versions continue after the descriptors with:
//   | 11             table code: length byte plain, at most 10 characters  |
//   |                stored reversed and complemented (Common::Scramble-   |
//   |                String)                                               |
//   | 21 x choices   per A field, in field order: its choices (low nibble  |
//   |                of byte 44), each at most 20 characters + length byte |
//   | 256            per field with a formula (type bit 0x10): the text    |
//   | 16 (v1: 12)    per field with a value range (type bit 0x20): lower   |
//   |                and upper value, f64 (v1: 6-byte reals)               |
//   | 50 + 4         with an N field only: the ID index's key description, |
//   |                then u32 next auto number (the header's last 4 bytes) |
//
// Version-1 headers keep their texts (field names, choices, formulas, index
// names) in the OEM code page and F fields as 6-byte reals; the names of
// index slots 6..15 live in a companion file with the extension ".CIN":
// ten 13-byte entries, slot 6 first.
//
// The header is never scrambled; records are, with the table key.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/zettable.h"

namespace Zet00 {

inline constexpr uint32_t kTableMagic = 0xFF57AA64;
inline constexpr uint16_t kFieldCountIgnoredBit = 0x8000;

// Version 2.
inline constexpr size_t kV2Magic = 0;
inline constexpr size_t kV2Version = 4;
inline constexpr size_t kV2RecordCount = 6;
inline constexpr size_t kV2RecordLength = 10;
inline constexpr size_t kV2FieldCount = 12;
inline constexpr size_t kV2Directory = 14;
inline constexpr size_t kV2DirectorySize = 677;
inline constexpr size_t kV2DirectoryEntry = 45;
inline constexpr size_t kV2DirectoryEntries = 15;
inline constexpr size_t kV2Descriptors = 691;
// Version 1.
inline constexpr size_t kV1RecordCount = 0;
inline constexpr size_t kV1RecordLength = 4;
inline constexpr size_t kV1FieldCount = 6;
inline constexpr size_t kV1Directory = 8;
inline constexpr size_t kV1DirectorySize = 67;
inline constexpr size_t kV1DirectoryEntry = 13;
inline constexpr size_t kV1DirectoryEntries = 5;
inline constexpr size_t kV1Descriptors = 75;
inline constexpr uint16_t kV1SlotCountMask = 0x0F;
// Both: the directory starts with the slot count, entries follow.
inline constexpr size_t kDirectorySlotCount = 0;
inline constexpr size_t kDirectoryEntries = 2;
// The ".CIN" companion of version-1 tables.
inline constexpr int kFirstCompanionSlot = 6;
inline constexpr size_t kCompanionEntries = 10;
inline constexpr size_t kCompanionSize = kCompanionEntries * kV1DirectoryEntry;
// Sections after the descriptors.
inline constexpr size_t kTableCodeSize = 1 + ZetTable::kMaxTableCode;
inline constexpr size_t kChoiceEntrySize = 1 + ZetTable::kMaxChoiceText;
inline constexpr size_t kFormulaSize = 256;
inline constexpr size_t kRangeSizeV2 = 16;
inline constexpr size_t kRangeSizeV1 = 12;
inline constexpr size_t kAutoNumberSize = 4;

bool IsVersion1(uint16_t version);
size_t RecordCountPosition(uint16_t version);
size_t DirectoryPosition(uint16_t version);
size_t DirectorySize(uint16_t version);
size_t DescriptorPosition(uint16_t version);
// Longest index file name an entry of the version's directory holds.
size_t MaxDirectoryName(uint16_t version);

// The index directory of the table as the file holds it (677 or 67 bytes),
// names in the file's code page.
std::vector<uint8_t> BuildIndexDirectory(const ZetTable::TZetTable& table);
// The ".CIN" companion: names of slots 6..15 in the OEM code page.
std::array<uint8_t, kCompanionSize> BuildIndexCompanion(const ZetTable::TZetTable& table);
// Takes the slot count and the names of the slots in use from a directory
// read from the file (and, for a version-1 table with more than five slots,
// from its companion; without one the table keeps slots 1..5). Answers 0, or
// 117 for a slot count or a name that does not fit.
int ParseIndexDirectory(ZetTable::TZetTable& table, const uint8_t* directory,
                        const uint8_t* companion);
// directory + table name + ".CIN".
ShortStr CompanionFileName(const ZetTable::TZetTable& table);

// Writes the ".CIN" companion of a version-1 table with more than five
// slots (nothing for other tables). Answers 0, or 3 reported.
int WriteIndexCompanion(const ZetTable::TZetTable& table);
// Writes the table's index directory at its place in the table file when it
// differs from what the file holds, and for a version-1 table with more than
// five slots the companion. Answers the directory's size (677 or 67), or -1
// with the error reported.
int32_t WriteIndexDirectory(int handle);

}  // namespace Zet00
