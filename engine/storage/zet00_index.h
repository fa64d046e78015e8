// The index files of a table: slots, names, opening, building, key
// operations and deleting.
//
// A table has 16 index slots. An ID table (one with an auto-number field)
// uses slots from 0, any other table from 1. The automatic slots come first,
// then the user's indexes up to slot 15:
//
//   | slot           | file               | key                              |
//   |----------------|--------------------|----------------------------------|
//   | 0 (ID table)   | <name>.INR         | the N field, 4 bytes, type N     |
//   | 1 (ID table)   | <name>.ID          | the ID key description of the    |
//   |                |                    | table file                       |
//   | next ones      | <name>.IN1, .IN2.. | one per stored L field without a |
//   |                |                    | null flag, in field order: that  |
//   |                |                    | field, 4 bytes, type L           |
//   | up to 15       | <index name>.IND   | the user's description           |
//   | (temporary)    | <name><nn>.$$$     | made for a link or a sort        |
//
// The digit of a link index is the slot (slot - 1 in an ID table); slots of
// 10 and above take the letters A-F. <name> is the table's name cut to 40
// characters (8 in version-1 tables).
//
// Every index file is one B-tree (btrees.h) whose user header is the 57-byte
// index header (zettable.h): the key description, the written flag, the
// table's record count when the header was last written, the key length.
//
// What always holds for an open table:
//   1. A slot is open only when its descriptor's B-tree is open; its header
//      bytes are the compare data of that tree and stay at the same address
//      while the slot lives (moving a slot moves the descriptor, not the
//      bytes).
//   2. When a slot goes away, the later slots move down by one and every
//      reference to a slot (current index, link index, key-text index, the
//      index bound to an L field) follows; a reference to the removed slot
//      is dropped (index order falls back to record order).
//   3. An index that failed to open stays marked and fails at once until it
//      is rebuilt; the file of a marked slot found missing removes the slot.
//   4. An alias (zettable.h, aliasOf) works on the indexes of the table it
//      aliases: every routine here that takes a handle and a slot goes to
//      the aliased table's slot of the same index file, with its tree, open
//      state and header count, so one tree writes each file and keys written
//      through either are seen by both. Only the temporary indexes an alias
//      made itself are its own. The alias's descriptors keep the key
//      descriptions the key routines read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/btree_bulk.h"
#include "engine/storage/btrees.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"

namespace Zet00 {

// Page size of new index files: the engine-wide setting and its range.
inline constexpr int32_t kDefaultIndexPageSize = 4096;
inline constexpr int32_t kMinIndexPageSize = 512;
inline constexpr int32_t kMaxIndexPageSize = 32768;
// Keys of 8 bytes (record number + one 4-byte part) get small pages.
inline constexpr uint16_t kSmallKeyLength = 8;
inline constexpr int32_t kSmallKeyPageDivisor = 8;

// A temporary index is made only for tables of at most this many records.
inline constexpr int32_t kMaxRecordsForTemporaryIndex = 1000;

// Extensions of the index files.
inline constexpr std::string_view kUserIndexExtension = ".IND";
inline constexpr std::string_view kLinkIndexExtension = ".INX";
inline constexpr std::string_view kNumberIndexExtension = ".INR";
inline constexpr std::string_view kIdIndexExtension = ".ID";
inline constexpr std::string_view kTemporaryIndexExtension = ".$$$";
// A file name that holds this is temporary.
inline constexpr std::string_view kTemporaryMark = ".$$";

// Record count an index header holds while its keys may differ from what its
// file held when the header was last written (an edit or a rebuild is under
// way). It never equals a table's count, so an index whose file still says
// so when its table is opened is rebuilt; the key operations move it by one
// per key, and it stays far below every count.
inline constexpr int32_t kUnsettledCount = INT32_MIN / 2;

// Status of the last key operation.
inline constexpr uint8_t kStatusFound = 0;
inline constexpr uint8_t kStatusNone = 1;
inline constexpr uint8_t kStatusFailed = 2;

// Modes of IndexOperation: what the key operation does to the header's
// record count, and which error a B-tree failure gives.
inline constexpr int kModeNavigate = 0;  // count kept; failure 90
inline constexpr int kModeInsert = 1;    // count + 1; failure 91
inline constexpr int kModeDelete = 2;    // count - 1; failure 91
inline constexpr int kModeReplace = 3;   // count kept; failure 91

enum class TIndexOp { First, Last, Prior, Next, Seek, Delete, Insert };

// Progress of a long operation: (done, total); an answer of 1 stops it.
using TProgressProc = int32_t (*)(int32_t done, int32_t total);

// The engine-wide page size of new index files; a size outside 512..32768 is
// refused (false) and the current one kept.
int32_t IndexPageSize();
bool SetIndexPageSize(int32_t size);
// The page size a new index file with this key length gets: the setting,
// for 8-byte keys the setting / 8 when it is above 4096, else 512; always
// large enough for two entries.
uint16_t PageSizeFor(uint16_t keyLength);

// Status of the last key operation (kStatusFound, kStatusNone, kStatusFailed).
uint8_t IndexStatus();

// 0 for a table with an auto-number field, else 1.
int FirstIndexSlot(const ZetTable::TZetTable& table);
// The index file of a slot: the table's directory + the slot's file name.
ShortStr IndexPath(const ZetTable::TZetTable& table, int slot);
// The slot is a user index (its file name has the extension ".IND").
bool IsUserIndex(const ZetTable::TZetTable& table, int slot);
// The slot is unique: the ID index (flag or mark).
bool IsUniqueIndex(const ZetTable::TZetTable& table, int slot);

// Sets up the automatic slots (descriptor, file name, key description) and
// raises the highest slot to the last of them. A table with more automatic
// indexes than slots is refused with 67 (reported with the table's name);
// the table is then unchanged.
int AssignIndexFileNames(ZetTable::TZetTable& table);

// Creates the index file of a slot with an empty tree (header byte 50 set,
// key length stored) and closes it. Answers 0 or 4 reported with the file.
int CreateIndexFile(ZetTable::TZetTable& table, int slot);

// Opens the slot's index on demand and tells whether it is open. A missing
// index that is not a user index is created and built; an index whose key
// description does not fit the table, or (with checkCount) whose header
// counts other records than the table, is rebuilt (13 reported). An
// automatic index whose file holds another key gets the table's key and is
// rebuilt, unless the file's key begins with the table's parts and only adds
// parts after them (the full-text relation index): that key is kept. The
// unique ID index always keeps exactly the table's key. A failure is
// reported (90, 95 for a damaged file) and marks the slot.
bool IndexAvailable(int handle, int slot, bool checkCount);
// Opens every slot with the count check; answers 0 or the first error. A
// user index whose file is missing or no longer holds the description of its
// key cannot be rebuilt: it is taken out of the slots for this open (its
// entry in the table's index directory stays) and reported (90, its file),
// and the open goes on.
int OpenIndexes(int handle);
// The open B-tree of a slot (nullptr when the slot is not open).
BTREES::PTree IndexTree(int handle, int slot);
// True when the slot's index is available (no count check) and its first key
// holds 0 in the 4 bytes at offset. A linked-record part built from the
// records while its link was unbound reads 0 in every key, where a bound link
// never gives 0: this one look tells such an index from a sound one.
bool FirstKeyHoldsZeroAt(int handle, int slot, size_t offset);
// The descriptor whose tree, open state and header count serve the slot:
// the slot's own, or for an alias the descriptor of the same index file in
// the table it aliases (rule 4). nullptr when the slot is empty.
ZetTable::TIndexDescriptor* IndexDescriptor(int handle, int slot);

// Writes header bytes 50..56 of an open index with the table's record count
// in memory, the count its keys belong to (the index's own count is kept
// when the table's is negative). Answers 0 or 3.
int WriteIndexHeader(int handle, int slot);
// Writes all 57 bytes with the table file's record count, whatever it is.
int WriteIndexHeaderRestructure(int handle, int slot);

// One B-tree operation on the table's current key (opened on demand). Leaves
// the status and answers it; a B-tree failure is reported with the file name.
uint8_t IndexOperation(int handle, int slot, int mode, TIndexOp op);
uint8_t IndexFirst(int handle, int slot);
uint8_t IndexLast(int handle, int slot);
uint8_t IndexPrior(int handle, int slot);
uint8_t IndexNext(int handle, int slot);
// The first key not below the current key.
uint8_t IndexSeek(int handle, int slot);
uint8_t IndexDeleteKey(int handle, int slot);
uint8_t IndexInsertKey(int handle, int slot);
// Walks the keys of the slot forward from key (not the current key) as
// BTREES::WalkFrom does, visit leaving the index alone; found when visit
// stopped the walk (key then holds that key), none at the end, a failure
// reported as IndexNext reports it.
uint8_t IndexWalk(int handle, int slot, uint8_t* key, BTREES::TVisitProc visit, void* context);
// The key oldKey becomes newKey (the current key afterwards); the count
// is kept. Found when oldKey was there and newKey was not.
uint8_t IndexReplaceKey(int handle, int slot, const uint8_t* oldKey, const uint8_t* newKey);

// Inserts the keys of the table's record buffer under recno into every
// index. When one insert fails, the keys inserted before it are taken out
// again. Answers 0, 3 (an index cannot be opened) or the index error.
int InsertRecordKeys(int handle, uint32_t recno);
// For every index whose key differs between oldRecord and the record buffer
// (record recno): deletes the old key, inserts the new one. changed tells
// whether any key changed. An index left half-updated by a failure is marked
// so that its next open with the count check rebuilds it. Answers 0, 3 or
// the index error.
int UpdateRecordKeys(int handle, const uint8_t* oldRecord, uint32_t recno, bool& changed);
// Whether the index holds a key whose parts agree with key's, other than the
// key of record ownRecord (0: any record). The search starts before every
// record number, so duplicates of any number are found; found (when given)
// gets the record number of the duplicate. The current key is kept.
bool KeyExists(int handle, int slot, const uint8_t* key, uint32_t ownRecord = 0,
               uint32_t* found = nullptr);
// The record whose auto number is number, found through slot 0 of the
// table; 0 when none.
uint32_t RecordOfAutoNumber(int handle, int32_t number);
// The value of a type-25 key part: the record of the linked table that the
// link names, or that table's record count + 1 when it has none; 0 without a
// linked table.
uint32_t LinkedRecordNumber(int linkedHandle, int32_t number);

// Writes every open index's header with the table's record count in memory
// (unless withoutHeaders, or the table is read-only), closes the trees and
// frees all 16 descriptors. Answers 0 or the first error.
int CloseIndexes(int handle, bool withoutHeaders);

// A slot whose key begins with the parts of description (field word and
// length; expression parts whose texts the language takes for the same
// code), searched from the first slot. Without one and with mayCreate, a
// table of known count up to 1000 records with fewer than 15 slots in use
// gets a temporary index in the next slot. Answers the slot or -1.
int FindOrCreateIndex(int handle, const uint8_t* description, bool mayCreate);

// Builds the index of a slot afresh from the records (keys sorted in memory,
// then the new tree written bottom-up, btree_bulk.h), with progress every
// count / 100 records. The file's header says kUnsettledCount until the
// last key and every page are written; only then does it count the table's
// records, so a rebuild cut short is done again at the next open. Answers
// 0, or 4 (file), 2 (record read), 114 (stopped by the progress procedure),
// 34 (a table whose records live only in its index).
int RebuildIndex(int handle, int slot, TProgressProc progress = nullptr);
// Rebuilds the indexes of several slots as RebuildIndex does each, reading
// the records once for all of them (progress once a pass); indexes whose
// files differ only in their extension share the temporary build file and
// take a pass each. Every index is tried; a slot that cannot begin (34, 4)
// ends the list there. Answers 0 or the first error.
int RebuildIndexes(int handle, std::span<const int> slots, TProgressProc progress = nullptr);
// Puts sorted keys (btree_bulk.h) into the index of a slot: an empty tree is
// written bottom-up at once, one that holds keys already takes them one by
// one. The header's count grows by the keys put in. Answers 0 or 91
// (reported with the file name; a tree left half-built is taken out of use
// and rebuilt at the next open).
int FillIndex(int handle, int slot, BTREES::TKeySorter& keys);
// The same for count keys in key order (no repeats) that produce hands to
// the sink one by one; the sink answers false once a key could not be put
// in. produce answers 0 or a failure of its own, which fails the fill too.
using TKeySink = std::function<bool(const uint8_t* key)>;
int FillIndex(int handle, int slot, uint32_t count, const std::function<uint16_t(const TKeySink&)>& produce);
// Rebuilds every index when the table may maintain its indexes (open mode
// bit 3), as RebuildIndexes does. Answers 0 or the first error.
int RefreshIndexes(int handle, TProgressProc progress = nullptr);
// Deletes a user index of a table that may maintain its indexes (else 34,
// also for an index an alias shares with its table): closes it (3 on
// failure), deletes the file, removes the slot and rewrites the index
// directory.
int DeleteIndex(int handle, int slot);
// Removes a slot: closes its tree, frees the descriptor, moves the later
// slots down and remaps the references to slots (rule 2).
void RemoveIndexSlot(ZetTable::TZetTable& table, int slot);

// Saves and restores the position of a table on the engine state stack:
// current record, record buffer, order mode, current index, master table,
// current key. A handle of 0 or above the open count does nothing.
void PushTablePosition(int handle);
void PopTablePosition(int handle);

// ---------------------------------------------------------------------------
// Slots filled by units linked later

// Reads record recno of a table into buffer (record length bytes); answers
// 0 or the low-level error. The record layer installs its cached read; until
// then the record is read from the table file.
using TReadRecordProc = int (*)(int handle, uint32_t recno, uint8_t* buffer);
extern TReadRecordProc ReadRecordHook;
// Whether two expression texts compile to the same code for the table. Until
// the language installs its comparison, equal texts are the same.
using TSameExpressionProc = bool (*)(int handle, std::string_view a, std::string_view b);
extern TSameExpressionProc SameExpressionHook;
// The engine's table creator and user-index creator, for the storage units
// linked before them; filled when those units start (empty until then).
using TCreateTableProc = int (*)(ZetTable::TZetTable& table, std::string_view fileName,
                                 std::string_view code, bool withRelations, int parentHandle,
                                 uint32_t tableKey);
using TCreateIndexProc = int (*)(bool apply, int handle, std::string_view description,
                                 std::string_view indexName, bool idIndex, TProgressProc progress);
extern TCreateTableProc CreateTableHook;
extern TCreateIndexProc CreateIndexHook;

void UnitInit();
void UnitDone();

}  // namespace Zet00
