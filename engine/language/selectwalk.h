// Walking the records of a selection: the record loop behind counting and
// accumulating over a condition, deciding each record from as little as it
// can.
//
// A walk follows the current table's order and range limits (as index
// probing left them) and stops on each record the condition selects. Before
// it starts it looks at the compiled condition once:
//
//   - Key-decided: the table is walked in index order and the condition
//     reads nothing but constants, operators and fields that the index's
//     key restores byte for byte (zet00_keyfields.h). Each record is then
//     decided on its key, restored into the record buffer; the record file
//     is not read. A key whose text cannot be restored (it holds "^") is
//     decided on the record read from the file.
//   - Plain: the condition is an OR of ANDs of NOTs of comparisons, each a
//     field of the walked table against constants (<, <=, =, <>, >=, >,
//     von..bis, Has, Like). Such a record is decided here, directly on the
//     field's value, by the same rules as the evaluator (selection.h): texts
//     rotated at "^" and compared by the exact collating order, numbers as
//     numbers, Has and Like on texts. A value the rules do not cover here
//     (types that differ, a memo) goes to the evaluator, which decides it
//     and reports its error.
//   - Otherwise every record is decided by the evaluator.
//
// What holds:
//   1. A walk selects exactly the records the evaluator in mode 3 selects
//      on the same records in the same order, and stops at the first
//      evaluation error with that error as its status.
//   2. The first record is always decided by the evaluator, so the skip
//      markers it puts into the code are there after any walk that visited
//      a record, whichever way the others were decided.
//   3. Records are read in runs where the walk goes forward through the
//      file in small steps (record order, or the records of equal keys):
//      one block read brings the records ahead into the walk's own window,
//      never into the record cache, which keeps what callers keep (a record
//      the cache holds is taken from there). Other steps read through the
//      cache record by record.
//   4. After a step the record buffer holds every field the condition
//      reads as the record file has it, and the table's current record is
//      the record selected; ReadWhole completes the buffer when a caller
//      needs the other fields.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/shortstr.h"
#include "engine/storage/zet00_keyfields.h"
#include "engine/storage/zettable.h"

namespace Zet02 {

class TSelectionWalk {
 public:
  // A walk of the table in slot, which is current, over its order as it
  // stands.
  TSelectionWalk(int slot, ShortStr& code);

  // Steps to the next selected record (the first one on the first call).
  // False at the end of the order, after a failed read and after an
  // evaluation error; status is then the stepping status or the error.
  bool Next(int& status);
  // Makes the record buffer hold the whole current record; 0 or the read
  // error.
  int ReadWhole();
  // Whether the buffer as a step leaves it answers code: it reads nothing
  // but constants, operators and fields of the walked table that the step
  // fills.
  bool Answers(std::string_view code) const;
  // Whether the condition is plain (it reads no variable, calls nothing).
  bool Plain() const { return !nodes_.empty(); }
  // Decides the record in the table's buffer without the evaluator: 0
  // selected, 1 not, 2 when the evaluator must decide (a value the plain
  // rules do not cover, or a condition that is not plain).
  uint8_t DecideRecord() const { return Plain() ? Decide(int(nodes_.size()) - 1) : 2; }
  // Whether the walk decides from keys.
  bool FromKeys() const { return fromKeys_; }

 private:
  struct TConstant {
    bool text = false;
    double number = 0;
    ShortStr value;  // rotated at "^"
  };
  // Or, And: children a and b; Not: child a; a comparison: field, op,
  // constants.
  struct TNode {
    uint8_t kind = 0;
    int a = -1;
    int b = -1;
    uint16_t field = 0;
    uint8_t op = 0;
    TConstant low;
    TConstant high;
  };
  class TParser;

  bool FieldFilled(uint16_t field) const;
  // Reads record recno into the table's record buffer (rule 3).
  int Read(ZetTable::TZetTable& t, uint32_t recno);
  // 0 selected, 1 not selected, 2 for the evaluator to decide.
  uint8_t Decide(int node) const;
  uint8_t Compare(const TNode& n) const;

  int slot_;
  ShortStr& code_;
  std::vector<Zet00::TKeyField> keyFields_;
  bool fromKeys_ = false;
  std::vector<TNode> nodes_;  // the root is the last node
  bool started_ = false;
  bool evaluated_ = false;
  bool whole_ = false;
  std::vector<uint8_t> window_;  // records windowFirst_ .. + windowCount_ - 1
  uint32_t windowFirst_ = 0;
  uint32_t windowCount_ = 0;
  uint32_t lastRead_ = 0;
};

}  // namespace Zet02
