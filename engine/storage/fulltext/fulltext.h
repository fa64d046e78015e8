// The full-text index: finding the records of a table by the words of its
// text fields and memos.
//
// The index is a pair of ordinary tables that the caller opens:
//
// Word table: one record per distinct word.
//   | field     | type | content                                          |
//   |-----------|------|--------------------------------------------------|
//   | 1         | S    | the word (cut to the field's length)             |
//   | 2         | I    | hit count; only when the table has more than two |
//   |           |      | fields and field 2 is an I field                 |
//   | the N one | N    | the word number; the next auto number in the     |
//   |           |      | header is the next word number                   |
// It is a proper word table when its index 1 (the ID index) is keyed by
// field 1 over its full length followed by the N field; queries and builds
// then work from the keys of index 1 alone.
//
// Relation table: a ".REL" table, one entry per word and source record.
//   | bytes | content                                                    |
//   |-------|------------------------------------------------------------|
//   | 0-3   | field 1 (L): the auto number of the source record          |
//   | 4-7   | field 2 (L): the word number                               |
// Its index 1 holds 8-byte keys {entry number, source auto number} (the
// automatic index of field 1). Its index 2 is the full-text index proper,
// 14-byte keys described by RelationIndexDescription():
//   | key bytes | part                                                   |
//   |-----------|--------------------------------------------------------|
//   | 0-3       | entry number (the relation record, or a running count  |
//   |           | in a compact index)                                    |
//   | 4-7       | word number (field 2, L)                               |
//   | 8-11      | source record number (field 1 read as a record of the  |
//   |           | source table, type 25)                                 |
//   | 12-13     | weight (a variable part of variable 0, which no record |
//   |           | fills: the full-text code writes the weight itself)    |
// A build recreates index 2 with this description. The weights live only in
// these keys, so index 2 cannot be rebuilt from the relation records; the
// index layer keeps the description when the table is opened again, as it
// only adds parts to that of the automatic index of field 2.
//
// A build (BuildIndex) collects the words and their hits of every source
// record in memory and writes them in sorted bulk; AddRecord indexes one
// record through the ordinary record operations; MarkRecords and
// CountRecords evaluate queries (fulltext_query.h). Index 2 keys hold source
// record numbers: deleting source records (which renumbers the last record)
// leaves the index stale until the next build. A crash during an add leaves
// index 2 unsettled, and the next open builds it again from the relation
// records: without the source table and the weights every key then holds
// source record 0. Queries and adds refuse such an index ("Index defekt",
// naming the relation table) instead of answering from it; a build mends it.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/bitarray.h"
#include "engine/base/shortstr.h"
#include "engine/storage/fulltext/fulltext_query.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zettable.h"

namespace FullText {

// Options of a build or add.
inline constexpr uint16_t kOptReadExisting = 1;  // build: load the word table first
inline constexpr uint16_t kOptNoNewWords = 2;    // only words already known
inline constexpr uint16_t kOptCompact = 4;       // entries only as index keys
inline constexpr uint16_t kOptHtml = 8;          // skip tags, decode entities
inline constexpr uint16_t kOptWordTableOnly = 16;  // build: rewrite the word table only

// Maximum hits 0 (or less) stands for no limit.
inline constexpr int32_t kNoHitLimit = 2147483647;
// Memory limit 0 (or less) stands for this many bytes; every hit counts 16.
inline constexpr int32_t kDefaultMemoryLimit = 1000000;
inline constexpr int32_t kHitMemory = 16;

// Relation tables a query follows; 0 = none.
inline constexpr size_t kRelationSlots = 10;
using TRelationSlots = std::array<uint16_t, kRelationSlots>;

// Index slots of the pair.
inline constexpr int kWordIndex = 1;
inline constexpr int kEntryIndex = 1;     // relation table: {entry, source auto number}
inline constexpr int kRelationIndex = 2;  // relation table: the full-text keys

// The key description of index 2 of the relation table.
inline constexpr uint16_t kWeightVariable = ZetTable::kKeyVariable;
inline constexpr uint16_t kSourceAutoField = 1;
inline constexpr uint16_t kWordNumberField = 2;
inline constexpr size_t kEntryKeyLength = 8;  // index 1: {entry, source auto number}
inline constexpr size_t kRelationKeyLength = 14;
inline constexpr size_t kRelKeyWord = 4;
inline constexpr size_t kRelKeySource = 8;
inline constexpr size_t kRelKeyWeight = 12;
std::array<uint8_t, ZetTable::kKeyDescriptionSize> RelationIndexDescription();

// Engine errors of the unit.
inline constexpr uint16_t kErrSyntax = 25;  // "Syntax-Fehler": a field list that is not one

// What a build or an add is asked to do.
struct TIndexRequest {
  int source = 0;         // the table whose records are indexed
  ShortStr fieldList;     // compiled field references and paths, "," between
  int relationTable = 0;  // the ".REL" table
  int wordTable = 0;
  ShortStr extraChars;    // further characters that count in words
  uint16_t weightField = 0;  // user-field number of an I field, 0 = none
  int32_t maxHits = 0;       // build: words with this many hits are left out
  ShortStr stopWordFile;
  uint16_t options = 0;
  int32_t memoryLimit = 0;   // build: bytes of hits kept before they are written
  ShortStr exclusionList;    // build: fields whose words a record does not index
};

// Builds the index of all source records. Answers the relation table's
// record count after all hits were written (0 with kOptWordTableOnly), or
// minus an engine error, which is also reported: 25 for a field list that is
// not one (nothing has been changed then), 2 when records could not be read
// (they are left out; the index of the others is complete), 114 when the
// progress procedure answered 1 (the records read so far are indexed), or
// the error of a table operation. The progress procedure (may be null) gets
// (0, total), (i, total) every count / 100 records, (count, total),
// (total - step, total) and (total, total).
int32_t BuildIndex(const TIndexRequest& request, Zet00::TProgressProc progress);
// Adds the source table's current record (its record buffer) to the index.
// Answers 0, or minus an engine error (25 for a field list that is not one,
// or 95 for a relation table whose index 2 was built again from its records,
// both before anything is written; or the error of a table operation).
int32_t AddRecord(const TIndexRequest& request);

// Evaluates a query and replaces the source table's marks by the records
// found. operatorChars of exactly three characters become the and, or and
// and-not characters for this and every later query. Answers 0 or one of the
// kErr... results of fulltext_query.h (kErrBadRelationTable also for a
// source table that is not open; kErrRelationKeysLost, reported with the
// relation table's name, for a relation table whose index 2 was built again
// from its records: nothing is evaluated, the marks stay); with
// kErrMissingParen or kErrTextLeft the part read before the error has been
// evaluated and marked.
int16_t MarkRecords(int source, int wordTable, std::string_view query, std::string_view extraChars,
                    std::string_view operatorChars, const TRelationSlots& relations, int32_t weightFilter);
// The same into the caller's bit array (every bit of it is written; records
// beyond it are not counted); the table's marks stay. Answers the number of
// set bits, or a negative result as MarkRecords.
int32_t CountRecords(int source, int wordTable, std::string_view query, std::string_view extraChars,
                     std::string_view operatorChars, const TRelationSlots& relations, int32_t weightFilter,
                     Bitarray::TBitArray& result);

// Drops every tag ("<" up to the next ">") and replaces each entity ("&"
// not followed by a blank, up to ";") by its character; an entity that
// decodes to "?" stays as written, and so do "<" without a ">" after it and
// "&" without a ";".
void HtmlToText(ShortStr& text);
// HtmlToText over every line of the memo field of the table's current
// record; when a line changed, the memo and the record are written back.
// Answers 0 or the engine error.
int CleanMemoHtml(int slot, uint16_t field);
// Every character not in keep replaced by its HTML form.
ShortStr TextToHtml(std::string_view text, std::string_view keep);

// The HTML form of one character: "&<name>;" where HTML names it (quotation
// mark, ampersand, less-than and greater-than signs and the Latin-1 letters
// of the CGI output table), "&#<code>;" for any other code above 127, else
// the character itself: the conversion of the CGI output.
ShortStr CharToHtmlEntity(char c);

void UnitInit();
void UnitDone();

}  // namespace FullText
