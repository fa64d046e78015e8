// Fields that an index key gives back byte for byte.
//
// A key holds a copy of each field part (zet00_keys.h, PutFieldPart): the
// field's bytes, cut to the part's length, a text rotated at its first "^".
// Where the copy lost nothing, the key alone restores the field into a
// record buffer, and whatever reads the field there (the language, a text
// rule) sees exactly what the record file holds, without reading it.
//
// What holds:
//   1. A field is restorable from a description when a plain field part
//      (not an expression, a variable or a linked-record number) names a
//      stored field and the part is long enough for the whole field: a
//      text part of a text field holds SizeCode characters (part length - 1
//      >= SizeCode), any other part the field's SizeCode + 1 bytes,
//      null flag included. Nothing else is ever called restorable.
//   2. A rotation cannot be undone: a text part that holds "^" restores
//      nothing, and RestoreKeyFields answers false for that key; the caller
//      then reads the record.
//   3. Only the bytes of restorable fields are written; the rest of the
//      record buffer stays as it was.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/zettable.h"

namespace Zet00 {

struct TKeyField {
  uint16_t field = 0;
  size_t keyOffset = 0;  // where the part's value starts in a key
  bool text = false;     // a text part of a text field: length byte, rotated text
};

// The fields of the table that a key of the description restores (rule 1),
// one entry per field (the first part that restores it).
std::vector<TKeyField> RestorableKeyFields(const ZetTable::TZetTable& table, const uint8_t* description);
// Whether the list restores field n.
bool Restores(const std::vector<TKeyField>& fields, uint16_t n);
// Writes the fields of the list from key into record (rule 3); false when a
// text part holds "^" (rule 2), record then partly written.
bool RestoreKeyFields(const ZetTable::TZetTable& table, const std::vector<TKeyField>& fields, const uint8_t* key,
                      uint8_t* record);

}  // namespace Zet00
