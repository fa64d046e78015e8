// The record pool: collects copies of records, sorts them and hands them back
// in order. One pool is active at a time; BeginSort saves the pool in use on
// the engine state stack and EndSort brings it back, so pools nest (a sorted
// sub-report inside a sorted report).
#pragma once

#include <cstddef>

namespace SORT {

// True when record a sorts before record b; compareData is the value given
// to SetCompareData.
using CompareProc = bool (*)(const void* a, const void* b, void* compareData);

// Saves the active pool on the state stack and starts an empty one.
void BeginSort();
// Appends a copy of size bytes of record; the first record becomes the read
// position.
void AddRecord(const void* record, size_t size);
void SetCompareData(void* value);
// Merge sort of the pool (records that compare equal may change their order),
// then reads start again from the first record.
void SortRecords(CompareProc compare);
// Copies the record at the read position into buffer (at most capacity
// bytes) and moves on. False when no record is left; buffer stays untouched.
bool GetNextRecord(void* buffer, size_t capacity);
// True when the read position is past the last record.
bool AtEnd();
// Reads start again from the first record in sort order.
void Rewind();
// Frees the pool's records and brings back the pool saved by BeginSort.
void EndSort();

void UnitInit();
void UnitDone();

}  // namespace SORT
