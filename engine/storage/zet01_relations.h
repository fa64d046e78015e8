// Relation and link fields of the open tables, field paths through linked
// records, and the search of a record's texts.
//
// Binding the relations of the open tables fills the link bindings of their
// L fields (type 10) and R fields (type 12). The bindings live beside the
// field descriptors (TZetTable::bindings, one per field), never in the
// descriptor bytes: the descriptors, names included, stay exactly as the
// table file holds them, so a name is found under its full length and a
// restructured copy writes what was read.
//
//   | binding        | L field                       | R field                 |
//   |----------------|-------------------------------|-------------------------|
//   | linkedTable    | the linked table              | the relation table      |
//   | relatedTable   | 0                             | the table the relation  |
//   |                |                               | table links to (its     |
//   |                |                               | field 2)                |
//   | indexSlot      | this table's index keyed by   | 0                       |
//   |                | the field (0 = none)          |                         |
//   | relationBuilt  | -                             | the field is bound      |
//
// A table has links while one of its bindings names a linked table.
//
// A field path (engine-wide) names a start field and the fields to read in
// the linked records reached from it: entry 0 is the start field in its
// table's current record, entry i (1..n) the field of the table reached at
// level i. A value of 8 bytes is carried from level to level.
#pragma once

#include <cstdint>
#include <string_view>

namespace Zet01 {

inline constexpr int kFieldPathEntries = 63;
inline constexpr size_t kFieldPathValueSize = 8;

// Binds the L and R fields of every open table from slot `from` to the
// open-table count. An R field that is not shown and not bound yet names its
// relation table (file name from the field's name); when that table is open
// the binding names it and the table it links to, and the table has links.
// A shown L field with a name names its linked table and the index of its
// own table keyed by the field; the linked table joins the table's linked
// tables. Building from slot 1 makes table 1 the current table.
void BuildRelations(int from);
// The same for the one table open in the slot (the current table stays).
void BuildTableRelations(int slot);
// Clears the linked and related tables of every L and R field of the open
// tables from slot `from` on, and the bound state of the R fields.
void UnBuildRelations(int from);
// Whether the table has a bound link (see above).
bool HasLinks(int slot);

// The table named inside the first parentheses of the field's name: its
// open table (0 when it is not open), or the table itself when the
// parentheses are missing or empty.
int LinkedTableOfField(int slot, uint16_t field);
// The first index slot (1..highest) whose key starts with the field and has
// no second part or a record-number part (type 25) second; 0 when none.
int IndexOfFieldKey(int slot, uint16_t field);

// The field path.
void SetFieldPathEntry(int entry, int slot, uint16_t field);
// The value carried along the path (raw field bytes, zero-filled).
const uint8_t* FieldPathValue();
void ClearFieldPath();
// Entries 0..n name open tables and existing fields.
bool FieldPathValid(int n);
// Follows the path from the start field (entry 0) through n levels. At each
// level the carried value is looked up as an auto number in the level's
// table; that record is read (record 0 when the number is not there). At
// levels below n the level's field becomes the carried value and the table's
// position is restored. At level n the table stays on the record with its
// position saved (the caller pops it with Zet00::PopTablePosition), and table
// and field are given out. The walk stops at a level without table, whose
// table has no auto-number field, or whose read fails (error gets the read
// error); table is then 0. With n = 0 only the start field is read. Answers
// the record number reached at level n, else 0.
uint32_t FollowFieldPath(int n, int& table, uint16_t& field, int& error);

// True when the text of a stored S field of the table's record buffer
// matches the pattern ("*" and "?", case ignored).
bool RecordMatchesPattern(int slot, std::string_view pattern);

}  // namespace Zet01
