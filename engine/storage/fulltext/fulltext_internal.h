// What the parts of the full-text unit share: facts about the word and
// relation tables, and the checks of a request.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/base/shortstr.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/fulltext/fulltext_fields.h"
#include "engine/storage/zettable.h"

namespace FullText {

// The word table's field 1 (the word) and field 2 (the hit count).
inline constexpr uint16_t kWordField = 1;
inline constexpr uint16_t kHitCountField = 2;
// Entries of index 2 of a proper word table: the word, then the word number.
inline constexpr size_t kProperWordParts = 2;

// Field 2 counts hits: the table has more than two fields and field 2 is an
// I field.
bool HasHitCountField(const ZetTable::TZetTable& words);
// Index 1 is keyed by field 1 over its full length followed by an N part.
bool IsProperWordTable(const ZetTable::TZetTable& words);
// The word and the word number of a key of index 1 of a proper word table.
ShortStr KeyWord(const ZetTable::TZetTable& words, const uint8_t* key);
int32_t KeyWordNumber(const ZetTable::TZetTable& words, const uint8_t* key);
// Field 1 of the record buffer set to word, cut to the field's length (and
// stored in the table's code page).
void PutWord(int words, std::string_view word);
// Puts word into field 1 of record (cut to the field's length, in the
// table's code page, as the build and the add store every word) and answers
// the word as the field now holds it.
ShortStr PutStoredWord(const ZetTable::TZetTable& words, uint8_t* record, std::string_view word);
// Field 2 of the record buffer set to a hit count; counts an I field cannot
// hold stay at its largest value.
void PutHitCount(ZetTable::TZetTable& words, int32_t hits);

// Index 2 of the relation table has the description of the full-text keys.
bool HasFullTextKeys(const ZetTable::TZetTable& relation);
// Index 2 of the relation table was not built again from the relation
// records. Such a rebuild (the open makes one of an index a crash left
// unsettled) cannot know the source record numbers and weights, which live
// only in the keys: the source part reads field 1 through a binding to the
// source table that a plain open does not have, so every key of such an
// index holds source record 0. A sound key never does (records count from
// 1), so the first key tells. Answers 0 (also for a relation table without
// full-text keys or whose index 2 cannot be used: the callers refuse those
// themselves), or kErrIndexDamaged reported with the relation table's name:
// a build makes the index sound again.
int CheckRelationKeys(int relation);

// The source table's weight field: its n-th user field when that is an I
// field, else 0.
uint16_t WeightFieldOf(int source, uint16_t n);
// A whole-number field of the record buffer (0 for field 0).
int32_t FieldInteger(const ZetTable::TZetTable& t, uint16_t field);
// Sets a 4-byte field of the record buffer.
void PutInteger(ZetTable::TZetTable& t, uint16_t field, int32_t value);

// Engine errors of the checks.
inline constexpr uint16_t kErrNotOpen = 88;         // "Tabelle nicht geöffnet"
inline constexpr uint16_t kErrNoRelationTable = 58; // "Tabellenname erwartet"
inline constexpr uint16_t kErrBadIndex = 98;        // "Fehlerhafte Indexdefinition"

// The checks of a build or add, made before anything changes: the word
// table is open, and withRecords the source table too and the relation table
// is an open ".REL" table with an index 1 of {entry, source auto number}
// keys and an index 2 (88, 58, 98); both field lists are field lists (25).
// Fills the items of both lists; answers 0 or the error, reported.
int CheckRequest(const TIndexRequest& request, bool withRecords, std::vector<TFieldItem>& items,
                 std::vector<TFieldItem>& exclusions);

// The operator characters in force for queries.
TOperators& QueryOperators();

}  // namespace FullText
