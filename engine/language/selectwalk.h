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
//     decided on its key; the record file is not read. A plain condition
//     (below) is decided on the key's bytes themselves (a text part holds
//     the text rotated at "^" already, as the comparisons want it); another
//     one on the key restored into the record buffer, or on the record read
//     from the file where the key's text cannot be restored (it holds "^").
//   - Plain: the condition is an OR of ANDs of NOTs of comparisons, each a
//     field of the walked table against constants (<, <=, =, <>, >=, >,
//     von..bis, Has, Like). Such a record is decided here, directly on the
//     field's bytes where they lie (the walk's window of records, or the
//     key), by the same rules as the evaluator (selection.h): texts
//     rotated at "^" and compared by the exact collating order, numbers as
//     numbers, Has and Like on texts. A value the rules do not cover here
//     (types that differ, a memo) goes to the evaluator, which decides it
//     and reports its error. The fields are placed once, when the walk
//     starts.
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
//      needs the other fields. A record decided not selected is never
//      copied into the record buffer.
//   5. CountRest counts (and lists) what further steps would select, with
//      the same first error; a key-decided plain condition is counted inside the
//      index's pages (a step along a leaf, the range's upper limit and the
//      condition compared on the key's bytes, nothing copied), handing a
//      key it cannot decide to the evaluator as a step would.
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
  // After a step that selected a record: how many records the steps after
  // it would select (rule 5), the table's position then undefined (callers
  // restore their own). status as Next's when it answers false. With
  // records, their numbers are appended there in the order of the walk.
  double CountRest(int& status, std::vector<uint32_t>* records = nullptr);
  // Decides the record in the table's buffer without the evaluator: 0
  // selected, 1 not, 2 when the evaluator must decide (a value the plain
  // rules do not cover, or a condition that is not plain).
  uint8_t DecideRecord() const;
  // Whether the walk decides from keys.
  bool FromKeys() const { return fromKeys_; }
  // Whether the last step ran off the end of the order, and not into an
  // evaluation error or a failed read.
  bool Ended() const { return ended_; }

 private:
  struct TConstant {
    bool text = false;
    double number = 0;
    ShortStr value;  // rotated at "^"
  };
  // Or, And: children a and b; Not: child a; a comparison: field, op,
  // constants, and where the field lies in a record and in a key.
  struct TNode {
    uint8_t kind = 0;
    int a = -1;
    int b = -1;
    uint16_t field = 0;
    uint8_t op = 0;
    TConstant low;
    TConstant high;
    Common::FieldPlace place;
    Common::FieldPlace keyPlace;
    bool keyRotated = false;  // the key holds the text rotated
  };
  class TParser;
  struct TCounting;

  bool FieldFilled(uint16_t field) const;
  // Where record recno's bytes are (rule 3): the walk's window, or the
  // record buffer read through the cache. 0 or the read error.
  int Locate(ZetTable::TZetTable& t, uint32_t recno, const uint8_t*& bytes);
  // Fills the record buffer with what the condition reads of the current
  // record (from the key where it can); 0 or the read error.
  int Fill(ZetTable::TZetTable& t);
  // Has the evaluator decide the record the table stands on (rule 1): 0,
  // 1, or 2 with status set to the error.
  uint8_t Evaluate(int& status);
  // 0 selected, 1 not selected, 2 for the evaluator to decide: the plain
  // condition on a record's bytes, or on a key's.
  uint8_t Decide(int node, const uint8_t* bytes, bool key) const;
  uint8_t Compare(const TNode& n, const uint8_t* bytes, bool key) const;
  static bool CountKey(const uint8_t* key, void* counting);

  int slot_;
  ShortStr& code_;
  int version_ = 0;
  std::vector<Zet00::TKeyField> keyFields_;
  bool fromKeys_ = false;
  bool keyPlain_ = false;     // plain and decided on the key's bytes
  std::vector<TNode> nodes_;  // the root is the last node
  mutable Common::FieldView view_;
  mutable ShortStr rotated_;
  bool started_ = false;
  bool ended_ = false;
  bool evaluated_ = false;
  bool whole_ = false;
  std::vector<uint8_t> window_;  // records windowFirst_ .. + windowCount_ - 1
  uint32_t windowFirst_ = 0;
  uint32_t windowCount_ = 0;
  uint32_t lastRead_ = 0;
};

}  // namespace Zet02
