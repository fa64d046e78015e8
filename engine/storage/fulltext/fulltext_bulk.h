// Filling an index with keys in ascending order, as the full-text build does
// for the word table and the relation table.
//
// With c the order of the index's B-tree (half the entries a page holds),
// ascending keys go in as: the first c at once; then, over and over, c keys
// held back on a stack, c + 1 inserted, the held-back ones after them (last
// first); at the end the keys still held back (last first). Inserting them
// one after another in plain order would leave every page half full.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "engine/storage/btrees.h"

namespace FullText {

class TBulkInsert {
 public:
  TBulkInsert(int handle, int slot) : handle_(handle), slot_(slot) {}
  // Opens the index on demand. Answers 0 or the engine error (reported).
  int Begin();
  // The next key (key length bytes). Answers 0 or the engine error.
  int Add(const uint8_t* key);
  // Inserts the keys still held back.
  int Finish();
  uint16_t KeyLength() const { return keyLength_; }

 private:
  int Insert(const uint8_t* key);

  int handle_;
  int slot_;
  uint16_t order_ = 0;
  uint16_t keyLength_ = 0;
  size_t taken_ = 0;
  std::vector<std::vector<uint8_t>> held_;
};

// Sorts keys in the record pool by the order of an index and fills the index
// with them; used between SORT::BeginSort and SORT::EndSort. Answers 0 or
// the engine error.
int FillIndexFromPool(int handle, int slot);

}  // namespace FullText
