// For fuzz targets that change tables: the check that a table agrees with
// every index it has, ending the run (abort) where it does not.
//
// What it holds a table to: every index is in use; its walk names each
// record 1..count exactly once, each with the key built from the record as
// the file holds it; no key names a record beyond the count.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace zetfuzz {

inline void CheckIndexesAgree(int h) {
  ZetTable::TZetTable& t = *ZetTable::Table(h);
  const uint32_t count = uint32_t(t.recordCount < 0 ? 0 : t.recordCount);
  std::vector<std::vector<uint8_t>> records(count, std::vector<uint8_t>(t.recordLength));
  for (uint32_t r = 1; r <= count; ++r)
    if (Zet01::ReadRecordInto(h, r, records[r - 1].data(), nullptr, 0, ZetTable::kOrderRecords) != 0) abort();
  for (int s = 0; s <= t.highestIndexSlot; ++s) {
    if (!t.indexes[size_t(s)]) continue;
    if (!Zet00::IndexAvailable(h, s, false)) abort();
    const size_t keyLength = Zet00::KeyLength(t.indexes[size_t(s)]->header.data());
    std::vector<bool> seen(count + 1, false);
    for (uint8_t st = Zet00::IndexFirst(h, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, s)) {
      const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
      if (recno < 1 || recno > count || seen[recno]) abort();
      seen[recno] = true;
      uint8_t expected[ZetTable::kMaxKeySize] = {};
      if (Zet00::MakeKey(h, s, records[recno - 1].data(), expected, recno) != 0) abort();
      if (std::memcmp(expected, t.currentKey.data(), keyLength) != 0) abort();
    }
    for (uint32_t r = 1; r <= count; ++r)
      if (!seen[r]) abort();
  }
}

}  // namespace zetfuzz
