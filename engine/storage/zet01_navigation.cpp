#include "engine/storage/zet01_navigation.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/storage/btrees.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"

namespace Zet01 {
namespace {

using ZetTable::TZetTable;
using KeyBuffer = std::array<uint8_t, ZetTable::kMaxKeySize>;

constexpr uint16_t kFound = 0;
constexpr uint16_t kNone = 1;
// The index a table of unknown count keeps its records in.
constexpr uint8_t kCountUnknownIndex = 1;

void WalkCountUnknownByIndex(TZetTable& t) {
  if (!t.countUnknown) return;
  t.orderMode = ZetTable::kOrderIndex;
  t.currentIndex = kCountUnknownIndex;
}

uint32_t RecordCount(const TZetTable& t) { return uint32_t(std::max(t.recordCount, 0)); }

// A limit as a whole key: a limit shorter than a key is zero-filled, so no
// comparison reads past it.
KeyBuffer LimitKey(const std::vector<uint8_t>& limit) {
  KeyBuffer key{};
  std::memcpy(key.data(), limit.data(), std::min(limit.size(), key.size()));
  return key;
}

uint32_t LimitRecord(const std::vector<uint8_t>& limit) { return Zet00::KeyRecordNumber(LimitKey(limit).data()); }

// a sorts before b in the order's index.
bool KeyBefore(const TZetTable& t, const uint8_t* a, const uint8_t* b) {
  return Zet00::KeyCompareProc(t.version)(a, b, t.indexes[t.currentIndex]->header.data());
}

void ReportOutOfMemory(const TZetTable& t) {
  if (!BTREES::OutOfMemory) return;
  BTREES::OutOfMemory = false;
  Common::SetFileError(Common::kErrOutOfMemory, Common::AppendStrCopy(t.directory, t.fileName));
}

uint32_t FirstOrLastInIndex(int slot, TZetTable& t, bool first, uint16_t& end) {
  const int index = t.currentIndex;
  uint8_t status;
  if (first && !t.lowLimit.empty()) {
    t.currentKey = LimitKey(t.lowLimit);
    status = Zet00::IndexSeek(slot, index);
  } else if (first) {
    status = Zet00::IndexFirst(slot, index);
  } else if (!t.highLimit.empty()) {
    t.currentKey = LimitKey(t.highLimit);
    status = Zet00::IndexSeek(slot, index);
    // Nothing at or above the limit: the last key lies below it.
    if (status == Zet00::kStatusNone)
      status = Zet00::IndexLast(slot, index);
    else if (status == Zet00::kStatusFound && KeyOutsideRange(slot))
      status = Zet00::IndexPrior(slot, index);
  } else {
    status = Zet00::IndexLast(slot, index);
  }
  end = status != Zet00::kStatusFound || KeyOutsideRange(slot) ? kNone : kFound;
  return end == kFound ? Zet00::KeyRecordNumber(t.currentKey.data()) : t.currentRecord;
}

uint32_t NextOrPriorInIndex(int slot, TZetTable& t, bool forward, uint16_t& end) {
  const KeyBuffer saved = t.currentKey;
  bool beyond;
  if (forward) {
    beyond = Zet00::IndexNext(slot, t.currentIndex) != Zet00::kStatusFound ||
             (!t.highLimit.empty() && KeyBefore(t, LimitKey(t.highLimit).data(), t.currentKey.data()));
  } else {
    beyond = Zet00::IndexPrior(slot, t.currentIndex) != Zet00::kStatusFound ||
             (!t.lowLimit.empty() && KeyBefore(t, t.currentKey.data(), LimitKey(t.lowLimit).data()));
  }
  if (!beyond) return Zet00::KeyRecordNumber(t.currentKey.data());
  end = kNone;
  t.currentKey = saved;
  return t.currentRecord;
}

// The table a walk starts on, with end set for a walk that finds a record;
// nullptr (end = none) when the slot holds no table.
TZetTable* StartWalk(int slot, uint16_t& end) {
  TZetTable* t = ZetTable::Table(slot);
  end = t ? kFound : kNone;
  if (t) WalkCountUnknownByIndex(*t);
  return t;
}

}  // namespace

uint32_t FirstOrLastRecNo(int slot, bool first, uint16_t& end) {
  TZetTable* t = StartWalk(slot, end);
  if (!t) return 0;
  if (t->recordCount == 0) {
    end = kNone;
    return 0;
  }
  switch (t->orderMode) {
    case ZetTable::kOrderRecords: {
      // The lower limit is taken only as far as records exist.
      const uint32_t recno = !first ? RecordCount(*t) : t->lowLimit.empty() ? 1 : std::max(LimitRecord(t->lowLimit), 1u);
      if (recno <= RecordCount(*t)) return recno;
      end = kNone;
      return 0;
    }
    case ZetTable::kOrderMarks: {
      const uint32_t recno = first ? ZetTable::FirstMark(slot) : ZetTable::LastMark(slot);
      end = ZetTable::EndOfList();
      return recno;
    }
    case ZetTable::kOrderIndex: {
      BTREES::OutOfMemory = false;
      const uint32_t recno = FirstOrLastInIndex(slot, *t, first, end);
      ReportOutOfMemory(*t);
      return recno;
    }
    default:
      end = kNone;
      return 0;
  }
}

uint32_t NextOrPriorRecNo(int slot, bool forward, uint16_t& end) {
  TZetTable* t = StartWalk(slot, end);
  if (!t) return 0;
  const uint32_t current = t->currentRecord;
  switch (t->orderMode) {
    case ZetTable::kOrderRecords: {
      // Bounded by the record count as well as by the upper limit, so the
      // walk never reaches past the last record.
      const bool more = forward ? current < RecordCount(*t) &&
                                      (t->highLimit.empty() || current < LimitRecord(t->highLimit))
                                : current > 1 && current - 1 <= RecordCount(*t);
      if (more) return forward ? current + 1 : current - 1;
      end = kNone;
      return current;
    }
    case ZetTable::kOrderMarks: {
      const uint32_t recno = forward ? ZetTable::NextMark(slot) : ZetTable::PriorMark(slot);
      end = ZetTable::EndOfList();
      return end == kFound ? recno : current;
    }
    case ZetTable::kOrderIndex: {
      BTREES::OutOfMemory = false;
      const uint32_t recno = NextOrPriorInIndex(slot, *t, forward, end);
      ReportOutOfMemory(*t);
      return recno;
    }
    default:
      end = kNone;
      return current;
  }
}

bool KeyOutsideRange(int slot) {
  TZetTable* t = ZetTable::Table(slot);
  if (!t || t->highLimit.empty() || !Zet00::IndexAvailable(slot, t->currentIndex, false)) return false;
  if (KeyBefore(*t, LimitKey(t->highLimit).data(), t->currentKey.data())) return true;
  return !t->lowLimit.empty() && KeyBefore(*t, t->currentKey.data(), LimitKey(t->lowLimit).data());
}

}  // namespace Zet01
