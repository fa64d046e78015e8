// Linked reads: a set of tables read as a join along the link tree, and the
// saved positions of tables around nested operations.
//
// The link tree (linkfile.h) gives a table a parent, the index of its own
// through which its records are found (the link index) and the key
// description that builds the search key from the parent's record buffer
// (the link key description). A linked read walks a set of tables: for the
// primary table's current record it reads the matching record of every
// table of the set, and then steps through all combinations.
//
// The linked-read chain (128 bytes, saved and restored as one block):
//
//   | byte    | width | meaning                                            |
//   |---------|-------|----------------------------------------------------|
//   | 0       | u8    | active (0 = no linked read in progress)            |
//   | 1       | u8    | count: linked tables in the chain (at most 62)     |
//   | 2 + 2i  | u8    | entry i: found (1 = a matching record is current)  |
//   | 3 + 2i  | u8    | entry i: table slot                                |
//
// Entry 0 is the primary table, entries 1..count the linked tables in the
// order they were read; every table comes after its parent. 62 open tables
// at most give at most 61 linked tables, so 63 entries always suffice.
//
// What holds while a chain is active:
//   1. The chain names each table once, and a table's parent (when it has
//      one in the chain) stands before it.
//   2. An entry's found flag is 1 exactly when the table's current record is
//      the matching one; a table without a match has an empty record buffer
//      and record 0 (or the key it sought when it has a parent).
//   3. The not-found set holds the tables of the current combination that
//      have no match and are not optional.
// The optional set (tables that may lack a match without failing the
// combination, an outer join) belongs to the caller: it sets it around a
// linked read and empties it afterwards.
//
// The linked-read state and the field path (zet01_relations.h) are
// engine-wide state of unit Zet01, started after the rest of the unit.
#pragma once

#include <cstddef>
#include <cstdint>

namespace Zet01 {

inline constexpr size_t kChainSize = 128;
inline constexpr size_t kChainActive = 0;
inline constexpr size_t kChainCount = 1;
inline constexpr size_t kChainEntries = 2;
inline constexpr size_t kChainEntrySize = 2;
inline constexpr size_t kChainEntryFound = 0;
inline constexpr size_t kChainEntrySlot = 1;
// Entries 0..62.
inline constexpr int kMaxChainEntries = int((kChainSize - kChainEntries) / kChainEntrySize);

struct TChainEntry {
  bool found = false;
  int slot = 0;
};

// The chain as it stands.
bool LinkChainActive();
int LinkChainCount();
TChainEntry LinkChainEntry(int entry);

// Tables without a matching record in the current combination (bit h-1 for
// slot h).
uint64_t NotFoundSet();
// Tables that may lack a matching record (outer join).
uint64_t OptionalSet();
void SetOptionalSet(uint64_t set);

// Builds the chain over tableSet below the primary table and reads the first
// combination. With fromCurrent the primary's current record is read again
// first; a read error ends the call with it, and a primary without a current
// record puts the whole set and the primary into the not-found set. A table
// whose parent is not in the set is read after its parent, which joins the
// chain (and the optional set when the table is optional). A required table
// without a match advances the earlier tables until a combination gives it
// one; if none does, it is in the not-found set. Answers 0 or the read error
// of the primary.
int ReadFirstLinked(int primary, bool fromCurrent, uint64_t tableSet);
// Advances to the next combination, starting at chain entry level - 1 and
// going back towards entry 1 (the primary itself is never advanced): the
// deepest entry that has a further matching record takes it, and every entry
// after it is read afresh; a combination in which a required table has no
// match is passed over. The not-found set then holds the tables without a
// match. Answers false when no combination is left, after a read error, and
// when a link index is found out of step (it is then rebuilt).
bool ReadNextLinked(int level);
// The level of a table for ReadNextLinked: its entry index + 1; for slot 0,
// and for a table outside the chain, count + 1 (the deepest); with no active
// chain 1 for the current table and 2 for any other.
int LinkLevelOfTable(int slot);
// The first chain table (in chain order) that belongs to the set, else the
// current table.
int FirstChainTableInSet(uint64_t set);
// Makes the chain inactive when the current table or a chain table lies
// above the open-table count (after tables were closed).
void ValidateLinkChain();
// Makes the chain inactive.
void ResetLinkChain();

// Positions saved on the engine state stack (each pop undoes the push of the
// same kind; pushes and pops must pair).
// The chain only (protected sections of the host).
void StartProtected();
void EndProtected();
// The current table's position and number, the position of every chain
// table, then the chain (nested reports, engine state push and pop).
void PushLinkState();
void PopLinkState();
// The chain, then the position of every open table of the set.
void PushTableSetPositions(uint64_t set);
void PopTableSetPositions(uint64_t set);
// The current table number, the chain, and for every open table other than
// except its current record, current key, link index, link key description
// and parent (report runs, creating a linked table).
void SaveAllTablePositions(int except);
void RestoreAllTablePositions(int except);

}  // namespace Zet01

namespace Zet01::Links {
void UnitInit();
void UnitDone();
}  // namespace Zet01::Links
