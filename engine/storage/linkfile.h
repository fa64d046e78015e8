// Table links and the link tree.
//
// When several tables are open, the engine arranges them in a tree below
// the current (primary) table: every other table it can reach gets a parent,
// the index of its own that is searched (its link index) and the key
// description that builds the search key from the parent's record (its link
// key description). Linked reads (zet01_links.h) walk this tree. Links come
// from three sources, tried in this order when the tree is worked out:
//   1. link definitions "T1[description]=T2[description]" (or T1.description),
//      given by the host or by a job's table list ("$" items); each side is
//      an index description of its table;
//   2. the R and L fields of the current table and of the tables reached
//      from it, as BuildRelations bound them (zet01_relations.h);
//   3. L fields of other tables that point towards a placed table and have
//      an index of their own keyed by the field.
// A table is placed once and keeps the first parent it gets; tables that no
// link reaches stay without parent and are read as independent tables.
//
// Aliases are second slots on an open table (ALIAS=NAME in a job's table
// list): a copy of the table object that shares the table's file and record
// cache, with a name of its own. Tables opened above the base table count
// (the count when the host bound the relations) are temporary and closed by
// CloseTemporaryTables, from the top, as long as they are aliases.
//
// What holds after ResolveLinkTree:
//   1. The placed set holds the current table and every table with a parent;
//      every parent is placed, and no table is its own ancestor.
//   2. Every placed table other than the current one walks its link index
//      (index order); the placed set is the engine's set of visible tables.
//   3. Every open table that is not placed has no parent.
//
// Errors of parsing and of opening aliases stay in the link error word for
// the caller to report (jobs as compile errors at the position reached,
// SelectPrimaryTable as error 16); resolving the tree only clears it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace LINKFILE {

inline constexpr int kMaxLinkDefinitions = 62;

// Link error numbers.
inline constexpr uint16_t kErrIllegalLink = 16;      // "Illegale Tabellen-Verknüpfung"
inline constexpr uint16_t kErrAlreadyOpen = 17;      // "Tabelle ist schon geöffnet"
inline constexpr uint16_t kErrIncomplete = 41;       // "Ausdruck nicht vollständig"
inline constexpr uint16_t kErrEqualsMissing = 54;    // "'=' fehlt"
inline constexpr uint16_t kErrExpected = 56;         // "%s erwartet"
inline constexpr uint16_t kErrTableExpected = 58;    // "Tabellenname erwartet"
inline constexpr uint16_t kErrTooManyTables = 94;    // "Es können nicht mehr als 62 Tabellen ..."
inline constexpr uint16_t kErrBadDescription = 98;   // "Fehlerhafte Indexdefinition"
inline constexpr uint16_t kErrOutOfMemory = 99;      // "Speicher reicht nicht aus"

// The link error word: 0 or the error of the last parse or alias opening.
uint16_t LinkError();
void ClearLinkError();

// Parses one definition "side1=side2" and appends it (check only: parses and
// drops it). A side is a table name followed by "[description]" or by "."
// and the description. Answers the link error: 54 without "=", 58 for a
// table that is not open, 98 for a description that does not compile, 99
// when 62 definitions are held. A definition added here survives the end of
// a job.
uint16_t AddLinkDefinition(std::string_view text, bool checkOnly);
// The same for a definition of the running job.
uint16_t AddJobLinkDefinition(std::string_view text);
// The number of definitions held, and of those added by jobs.
int DefinitionCount();
int LinkDefinitionCount();
// Drops job definitions from the last one down until the jobs have added
// count of them.
void DropLinkDefinitionsAbove(int count);
void FreeLinkDefinitions();
// Drops the definitions that name a table no longer open.
void DropDefinitionsOfClosedTables();

// Parses a job's table list: comma-separated items "$definition" (up to the
// next "," outside brackets), "ALIAS=NAME" (opens ALIAS on the open table
// NAME) and "NAME" (an open table that joins the selected set). The
// temporary tables of the previous list are closed first. Without error the
// tree is resolved and the selected set widened by the parents of its
// tables. An error (41 empty or unfinished item, 56 unmatched bracket, 58 no
// such table, and those of definitions and aliases) is left in the link
// error word and recorded through CompileErrorHook at the position reached.
// Answers the link error.
uint16_t ParseTableList(std::string_view text, bool checkOnly);
// The tables the last table list named (with their parents).
uint64_t SelectedTableSet();
void ClearSelectedTableSet();

// Works out the link tree below the current table (rules 1-3 above). Without
// a current table or without open tables only the visible set is emptied.
void ResolveLinkTree();
// Makes slot the current table (0 keeps it) and resolves the tree; answers
// 16 (reported) when the link error word is not 0 afterwards, else 0.
int SelectPrimaryTable(int slot);

// Opens aliasName as a second slot on the open table `slot`, in the slot
// after the highest in use: a copy of the table's object named
// "<alias>.DAT" (".REL" for a relation table) that reads and writes the
// table's file through the table's record cache, its memo and blob files
// (ZetTable::FileOwner) and its indexes (zet00_index.h, rule 4), and shares
// its record count (edits through either change both, zet01_edit.h), in
// record order instead of mark order, without limits, marks, current record
// or parent. Temporary indexes of the table stay with the table. Answers 0, or the link error it sets: 17 when a table of that
// name is open, 94 with 62 tables open, 58 when slot holds no open table.
int OpenAlias(std::string_view aliasName, int slot);
// Closes the aliases above the base table count from the top down (a table
// that is no alias stops it), with their temporary indexes; then drops the
// job definitions, validates the linked-read chain, limits the current
// table to the open tables and, with resolve, resolves the tree again.
void CloseTemporaryTables(bool resolve);
void RememberBaseTableCount();
void ForgetBaseTableCount();
int BaseTableCount();

// Records a compile error of a table list (error, 1-based position) in the
// language's compile-error record; the language installs it (nothing until
// then).
using TCompileErrorProc = void (*)(uint16_t error, size_t position);
extern TCompileErrorProc CompileErrorHook;

void UnitInit();
void UnitDone();

}  // namespace LINKFILE
