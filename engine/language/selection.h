// Selections: compiled conditions (bytecode.h) decided for the current
// record, the index probing that picks the best index and its key range
// before a search, the record loop that accumulates over a selection, the
// accumulators behind Sum, Max, Min, Count, Mean, ZSum and ZCount, and the
// linked aggregates Sel, Link, Exists, LinkCount and LinkSum.
//
// A selection is an OR of ANDs of NOTs of comparisons, with parentheses;
// its sides are expressions that the interpreter runs (interp.h). Truth
// values are three: in modes 2 and 3, 0 true, 1 false, 2 undecided (a side
// whose value a check run cannot know); mode 3 selects on 0, mode 2 on
// anything but 1, mode 0 (index probing) on 2.
//
// What holds:
//   1. Evaluations nest: the evaluator state is local to each call.
//   2. A skip marker (252 n) is put in front of the right operand of an
//      AND or OR the first time it is evaluated, so later evaluations of the
//      same code can jump over it. It goes in only while the code stays
//      within 255 bytes; the code is a ShortStr, which always has that room.
//      Code read from elsewhere is evaluated from a copy.
//   3. Index probing changes only the current table's range limits and
//      order; the selection is still decided on every record the search
//      visits.
//   4. An accumulator update never nests: an update started from inside an
//      update's argument does nothing.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"

namespace Zet02 {

inline constexpr uint16_t kErrMissingBis = 48;

// Decides whether the current record is selected; error receives 0 or the
// engine error (reported with its position), dependency the dependency
// level. An empty code selects.
bool EvalSelection(ShortStr& code, int mode, int& error, int& dependency);
// EvalSelection with the check switch on; answers the error.
int CheckSelection(ShortStr& code, int mode);
// Probes the indexes of the current table for the selection and makes the
// best one current with its key range; the old index and order for
// RestoreSearchIndex. Answers whether an index was chosen.
bool ChooseSearchIndex(ShortStr& code, uint8_t& oldIndex, uint8_t& oldOrder);
void RestoreSearchIndex(uint8_t oldIndex, uint8_t oldOrder);
// The score of the last probe (4 "=", 3 prefix, 2 range, 1 one side).
int LastIndexScore();
// Runs the accumulators over the selected records of the current table;
// hit becomes 1 when a record was selected. Answers the last stepping
// status.
int AccumulateSelected(ShortStr& code, double& hit);
void ResetStatFuncs(uint16_t group, bool onlyZ, uint64_t set);
void UpdateStatFuncs(uint64_t set);
// While on, accumulators over a single variable are left alone.
void SetSkipPlainVariables(bool on);
// The engine's null-check switch: a lone field whose value is null is
// false.
void SetNullCheck(bool on);

// The linked aggregate kind (216 Sel .. 225 LinkSum) over set with the
// compiled text; answers the run error.
int EvalLinkAggregate(uint8_t kind, uint64_t set, std::string_view text, int mode, TRunValue& result);

// One letter per parameter of procedure n (at most 40): "A" an array, "S"
// and "R" a text or number by value, "s" and "r" by reference, "?" another
// type; empty when there is no such procedure.
ShortStr ProcedureSignature(uint16_t n);

// The length of the blob in a blob field of the table's current record less
// its 2-byte kind word: 0 for an empty field, -1 when the field is no blob
// field or its blob cannot be read.
int32_t BlobFieldSize(int table, uint16_t field);

// The phonetic code of a text, at most 4 characters.
ShortStr PhoneticCode(std::string_view text);

void SelectionInit();
void SelectionDone();

}  // namespace Zet02
