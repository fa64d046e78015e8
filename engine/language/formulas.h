// Formula fields, assignment lists and browse column text: the services
// that tie table fields to Lumo expressions, and the language's side of the
// index layer's expression keys.
//
// A formula field (type byte bit 0x10) carries an expression text in its
// table's formula chain; before every record write the formula pass
// computes every formula into the record buffer, round after round, until a
// round changes no formula field's text form or as many rounds as the table
// has fields have run. Each formula's compiled code is kept in its work
// area; a formula that does not compile is error 25 and stops the pass.
//
// An assignment list is the compiled form of "target := expression, ...",
// targets being fields of one table (the first item's) or fields reached
// over links; it is applied to the current record of that table, or to a
// new record that is then appended.
//
// What holds:
//   1. The formula pass runs with the table current and restores the
//      previous current table, whatever the outcome.
//   2. A formula pass never nests for the same table: a formula whose
//      evaluation writes its own table does not start a second pass.
//   3. The index layer's expression keys are computed by the same compiler
//      and interpreter as formulas, with the table current, so an index over
//      "(expression)" agrees with evaluating the expression record by
//      record.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"

namespace Formeln {

inline constexpr uint16_t kErrSyntax = 25;
inline constexpr uint16_t kErrTypes = 44;
inline constexpr uint16_t kErrTarget = 52;
inline constexpr uint16_t kErrAssignMissing = 54;
inline constexpr uint16_t kErrSeparator = 56;
inline constexpr uint16_t kErrNoTable = 58;
inline constexpr uint16_t kErrNotAllowed = 87;

// Computes the formulas of a table into its record buffer; answers 0 or
// the error. skipFlagged leaves out fields with type bit 0x40.
int ApplyFormulas(int slot, bool skipFlagged);
// Compiles text with the table current and, with evaluate, runs it for the
// table's record buffer (record order meanwhile); 43 counts as success.
int EvaluateFormulaText(int slot, std::string_view text, Zet02::TRunValue& result, bool evaluate);

// Applies a compiled assignment list to the current record of its target
// table; unless checkOnly the record is written back. allowedSet limits the
// target tables (error 87) unless the global override is on.
int ApplyAssignments(std::string_view list, bool checkOnly, uint64_t allowedSet);
// The same on a fresh record of the target table, which is then appended.
int AppendAssignedRecord(std::string_view list, bool checkOnly);
void SetGlobalOverride(bool on);

// The text of a browse column for the current record, at most size
// characters.
ShortStr BrowserColumnText(std::string_view column, size_t size);

// Installs the language into table storage (formula hook, expression keys,
// expression checks, variable key parts, table-list errors) and removes it.
void InstallStorageHooks();
void RemoveStorageHooks();

}  // namespace Formeln
