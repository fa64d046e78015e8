// The table object, its field descriptors, and the engine-wide table slots.
//
// Every open table is one TZetTable in a slot of a global array of 64; the
// handle h names element h-1. Only handles 1..62 are ever filled. With the
// slots go the open count (the highest handle in use), the current table and
// two table sets (open tables, visible tables): 64-bit masks with bit h-1 for
// handle h.
//
// A field descriptor is 46 bytes, the same in memory and in the table file:
//
//   | byte  | width | meaning                                              |
//   |-------|-------|------------------------------------------------------|
//   | 0     | u8    | layout column of the field's label on the entry form |
//   | 1     | u8    | layout line (relation tables: the field number)      |
//   | 2     | u8    | name length, at most 40 (0 = internal field)         |
//   | 3-42  | 40    | name characters                                      |
//   | 43    | u8    | size code: the field takes size code + 1 bytes       |
//   | 44    | u8    | shown/stored: 0 = no record bytes, not shown; S: the |
//   |       |       | display width; F: low nibble decimals; A: low nibble |
//   |       |       | choice count; N: non-zero marks the auto number      |
//   | 45    | u8    | type byte: low nibble the type code 0..13; 0x10 has  |
//   |       |       | a formula; 0x20 has a value range; 0x40 left out of  |
//   |       |       | the formula pass on request; 0x80 null flag          |
//
// What always holds for a table whose descriptors were read or built:
//   1. Field offsets (FieldOffset) are the running sum of size code + 1 over
//      the stored fields before a field, and that sum over all stored fields
//      fits the record length. ComputeLayout() restores offsets and the user
//      field count after descriptors change; the header reader calls it.
//   2. Descriptors stay as read: the link layer keeps what it binds to a
//      field in bindings[], never in the descriptor bytes, so a restructured
//      copy writes the names as they were.
//   3. The field-name hash holds the number of every user field once (until
//      the consume-names flag zeroes found entries).
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/base/shortstr.h"
#include "engine/storage/marklist.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"

namespace ZetTable {

// ---------------------------------------------------------------------------
// Field descriptor

inline constexpr size_t kDescriptorSize = 46;
inline constexpr size_t kDescLayoutColumn = 0;
inline constexpr size_t kDescLayoutLine = 1;
inline constexpr size_t kDescName = 2;  // length byte, then the characters
inline constexpr size_t kDescSizeCode = 43;
inline constexpr size_t kDescShown = 44;
inline constexpr size_t kDescType = 45;
inline constexpr size_t kMaxFieldName = 40;

// Bits of the type byte besides the type code (low nibble).
inline constexpr uint8_t kTypeHasFormula = 0x10;
inline constexpr uint8_t kTypeHasRange = 0x20;
inline constexpr uint8_t kTypeSkipFormulaPass = 0x40;
inline constexpr uint8_t kTypeNullable = Common::kNullFlagBit;
inline constexpr uint8_t kTypeCodeMask = Common::kTypeMask;
// Low nibble of byte 44 that counts decimals (F) or choices (A).
inline constexpr uint8_t kShownNibble = 0x0F;

// The letter of type code t is character t of this text.
inline constexpr std::string_view kTypeLetters = "CSIFBJDMANLPRZ";
inline constexpr uint8_t kTypeCount = 14;

// Size codes of fixed-width values.
inline constexpr uint8_t kSizeReal6 = 5;   // F in version-1 files
inline constexpr uint8_t kSizeDouble = 7;  // F in later versions
inline constexpr uint8_t kSizeMemo16 = 1;
inline constexpr uint8_t kSizeMemo32 = 3;
// A P field with a larger size code is read as an S field.
inline constexpr uint8_t kMaxBlobSizeCode = 10;

// ---------------------------------------------------------------------------
// Key descriptions and the index slots

// Key description: 10 parts of 5 bytes.
//
//   | byte      | width | meaning                                        |
//   |-----------|-------|------------------------------------------------|
//   | 5k + 0    | u16   | field word: bits 0-13 field number, 0x4000 the |
//   |           |       | number is a language variable, 0x8000 sorts    |
//   |           |       | descending; 0 ends the list; 65535 expression  |
//   | 5k + 2    | u16   | length of the part's value in the key          |
//   | 5k + 4    | u8    | type code; 25 = record number of a linked table|
//
// An expression key has {65535, length, result type} as part 1 and the
// expression text (length byte, at most 39 characters) at bytes 10-49.
// Part 10 = {0, 0, 255} marks the ID index of an ID table.
inline constexpr size_t kKeyDescriptionSize = 50;
inline constexpr size_t kKeyParts = 10;
inline constexpr size_t kKeyPartSize = 5;
inline constexpr size_t kKeyPartField = 0;
inline constexpr size_t kKeyPartLength = 2;
inline constexpr size_t kKeyPartType = 4;
inline constexpr uint16_t kKeyFieldMask = 0x3FFF;
inline constexpr uint16_t kKeyVariable = 0x4000;
inline constexpr uint16_t kKeyDescending = 0x8000;
inline constexpr uint16_t kKeyExpression = 65535;
inline constexpr size_t kKeyExpressionText = 10;
inline constexpr size_t kMaxKeyExpression = 39;
inline constexpr uint8_t kKeyTypeLinkedRecord = 25;
// A key: u32 record number, then the part values.
inline constexpr size_t kKeyRecordNumber = 4;
inline constexpr size_t kMaxKeyValues = 256;
inline constexpr size_t kMaxKeySize = kKeyRecordNumber + kMaxKeyValues;

// Header an index file keeps for its table (57 bytes).
inline constexpr size_t kIndexHeaderSize = 57;
inline constexpr size_t kIdxKeyDescription = 0;
inline constexpr size_t kIdxWrittenFlag = 50;
inline constexpr size_t kIdxRecordCount = 51;
inline constexpr size_t kIdxKeyLength = 55;

inline constexpr int kIndexSlots = 16;  // slots 0..15
inline constexpr int kMaxIndexSlot = 15;
inline constexpr size_t kMaxIndexName = 44;

// One index slot of a table. The header bytes, the file name and the flags
// are what the table file and the index file say about the index; the open
// state is the index layer's.
struct TIndexDescriptor {
  std::array<uint8_t, kIndexHeaderSize> header{};
  ShortStr fileName;  // at most 44 characters
  bool idIndex = false;
  bool isOpen = false;
  bool openFailed = false;
  uint16_t tableVersion = 0;
};

// ---------------------------------------------------------------------------
// Side data of fields

inline constexpr size_t kMaxChoiceText = 20;
inline constexpr size_t kMaxChoices = 15;

struct TChoiceList {
  uint16_t field = 0;
  std::vector<ShortStr> entries;  // each at most 20 characters
};

struct TFormula {
  uint16_t field = 0;
  ShortStr text;
  ShortStr work;  // compiled form; empty = not compiled or disabled
};

struct TFieldSpec {
  uint16_t field = 0;
  double lower = 0;
  double upper = 0;
};

// What the link layer binds to an L or R field while relations are built.
struct TFieldBinding {
  uint8_t linkedTable = 0;    // L: the linked table; R: the relation table
  uint8_t relatedTable = 0;   // R: the table the relation table links to
  uint8_t indexSlot = 0;      // L: this table's index keyed by the field
  bool relationBuilt = false; // R: the relation is bound
};

// ---------------------------------------------------------------------------
// Limits and codes

inline constexpr int kTableSlots = 64;
inline constexpr int kMaxOpenTables = 62;
inline constexpr uint16_t kMaxFieldCount = 1000;
inline constexpr uint16_t kMaxRecordLength = 10000;
inline constexpr size_t kMaxTableCode = Common::kMaxCodeLength;
inline constexpr int kHashBuckets = 128;
inline constexpr int kNamedSlots = 50;
inline constexpr int kMaxCacheSlots = 2000;

// Order modes.
inline constexpr uint8_t kOrderRecords = 0;
inline constexpr uint8_t kOrderMarks = 1;
inline constexpr uint8_t kOrderIndex = 2;

// Bit of the file open mode byte that asks for write access.
inline constexpr uint8_t kWriteAccess = 2;

// Rights bits of the open mode word.
inline constexpr uint16_t kRightAppend = 1;
inline constexpr uint16_t kRightWrite = 2;
inline constexpr uint16_t kRightDelete = 4;
inline constexpr uint16_t kRightIndex = 8;
inline constexpr uint16_t kRightsMask = 0x0F;

// Engine errors of this unit.
inline constexpr uint16_t kErrRecordNotFound = 19;  // "Datensatz nicht gefunden"
inline constexpr uint16_t kErrTooManyTables = 94;   // "Es können nicht mehr als 62 ..."
inline constexpr uint16_t kErrBadStructure = 117;   // "Illegale Dateistruktur"

// ---------------------------------------------------------------------------
// The table object

// A number no other table object of the process had; the interface keeps it
// to tell whether a slot still holds the table a cursor was made for.
uint64_t NewTableSerial();

class TZetTable {
 public:
  // An object with every field group empty.
  TZetTable() = default;
  TZetTable(const TZetTable&) = delete;
  TZetTable& operator=(const TZetTable&) = delete;
  virtual ~TZetTable();

  // A new object describing the same table in the file layout of
  // targetVersion: header values, flags, names, code, key, ID key, the
  // side data, the hash and the definitions of the index slots are copied;
  // files, cache, buffers and marks are not. Changing between version 1 and
  // later versions resizes every F field (6-byte real / 8-byte double, the
  // null flag byte kept) and the record length with it.
  static std::unique_ptr<TZetTable> CreateCopy(const TZetTable& source, uint16_t targetVersion);

  // Descriptor bytes of field n (1..fieldCount).
  uint8_t* Descriptor(uint16_t n);
  const uint8_t* Descriptor(uint16_t n) const;
  bool ValidField(uint16_t n) const { return n >= 1 && n <= fieldCount; }
  uint8_t TypeByte(uint16_t n) const { return Descriptor(n)[kDescType]; }
  uint8_t FieldType(uint16_t n) const { return TypeByte(n) & kTypeCodeMask; }
  uint8_t SizeCode(uint16_t n) const { return Descriptor(n)[kDescSizeCode]; }
  uint8_t Shown(uint16_t n) const { return Descriptor(n)[kDescShown]; }
  bool IsStored(uint16_t n) const { return Shown(n) != 0; }
  // The name as stored (its length clamped to 40).
  std::string_view StoredName(uint16_t n) const;
  bool IsUserField(uint16_t n) const;
  uint32_t FieldOffset(uint16_t n) const { return offsets[n]; }
  // Where field n lies in a record, for the field routines of Common.
  Common::FieldPlace Place(uint16_t n) const;
  // Recomputes the field offsets and the user field count from the
  // descriptors; answers the bytes the stored fields take.
  uint32_t ComputeLayout();
  // Resizes the descriptor array to count fields (new ones zeroed).
  void SetFieldCount(uint16_t count);
  bool Writable() const { return (fileOpenMode & kWriteAccess) != 0; }

  // Header values.
  uint16_t version = 0;
  int32_t recordCount = 0;
  uint16_t recordLength = 0;
  uint16_t fieldCount = 0;
  uint16_t highestIndexSlot = 0;
  // Table file and field descriptors (fieldCount x 46 bytes).
  std::unique_ptr<LOWFILES::TLowFile> tableFile;
  std::vector<uint8_t> descriptors;
  std::vector<uint32_t> offsets;  // offsets[n] for field n; offsets[0] unused
  // The N field, user fields, and the index slots that orders use: the
  // current order's, the one linked reads find records by, the one whose key
  // text names a record, and how many slots are automatic.
  uint16_t autoNumberField = 0;
  uint16_t userFieldCount = 0;
  uint8_t currentIndex = 0;
  uint8_t linkIndex = 0;
  uint8_t keyTextIndex = 0;
  uint8_t automaticIndexSlots = 0;
  // Where the records begin.
  uint32_t headerSize = 0;
  // The table this one is linked under (0 = none).
  uint8_t masterTable = 0;
  // The ID index's key description (stored with an N field) and a second
  // key area.
  std::array<uint8_t, kKeyDescriptionSize> idKeyDescription{};
  std::array<uint8_t, kKeyDescriptionSize> linkKeyDescription{};
  // Where the file is: directory (with its separator) and name.
  ShortStr directory;
  ShortStr fileName;  // name with extension
  // As the file holds it (scrambled) until the open restores it.
  ShortStr tableCode;
  // Key that scrambles records, memo and blob blocks (0 = plain).
  uint32_t tableKey = 0;
  uint32_t currentRecord = 0;
  uint32_t nextAutoNumber = 0;
  // Order and the facts collected from the fields.
  uint8_t orderMode = kOrderRecords;
  bool hasMemoFile = false;
  bool memoLinks32 = false;
  bool hasBlobFile = false;
  bool idIndexFlag = false;
  bool hasAutoNumber = false;
  uint8_t openFlag = 0;
  // Index slots 0..15; empty pointers are unused slots.
  std::array<std::unique_ptr<TIndexDescriptor>, kIndexSlots> indexes;
  bool indexesPending = false;
  // Record buffer and side files; the side files keep their block size and
  // damage flags themselves.
  std::vector<uint8_t> recordBuffer;
  WINMEMOS::TMemoFile memoFile;
  WinBlobs::TBlobFile blobFile;
  // Memo and blob chains that no record names any more (a delete, an update
  // that replaced them) stay allocated until the record change is on disk:
  // the next flush that writes the record count frees them. A crash before
  // leaves them unused, never a record that names freed blocks.
  struct TPendingChain {
    bool blob = false;
    uint32_t first = 0;
  };
  std::vector<TPendingChain> pendingChainFrees;
  std::vector<TChoiceList> choiceLists;
  std::vector<TFormula> formulas;
  std::vector<TFieldSpec> fieldSpecs;
  // Current key and the two key-range limits (empty = none).
  std::array<uint8_t, kMaxKeySize> currentKey{};
  std::vector<uint8_t> lowLimit;
  std::vector<uint8_t> highLimit;
  MarkLists::TMarkList marks;
  // Sharing and access mode of the table file.
  uint8_t fileOpenMode = LOWFILES::kModeReadShared;
  // Field-name hash: field numbers per bucket (0 = consumed).
  std::array<std::vector<uint16_t>, kHashBuckets> nameHash;
  // Rights (low four bits), the ".REL" flag, memo link width (2 or 4).
  uint16_t openModeWord = 0;
  bool isRelationTable = false;
  uint16_t memoLinkSize = 2;
  // Tables linked from this one.
  uint64_t linkedTables = 0;
  // Texts kept under a number; every record write clears them.
  struct TNamedSlot {
    uint32_t value = 0;
    std::string text;
  };
  std::array<TNamedSlot, kNamedSlots> namedSlots;
  // The stored record count was negative; the slot whose file this one
  // shares (0 = its own).
  bool countUnknown = false;
  uint8_t aliasOf = 0;
  // Of the table that owns the table file (an alias uses its owner's): the
  // record count the file's header holds as this process last read or
  // wrote it (-1 = not known), and whether the file may hold bytes behind
  // its last record. Deletes leave those bytes; the count in the header
  // says where the records end, and the next flush or close that writes
  // the count cuts the file there.
  int32_t countInFile = -1;
  bool tailToCut = false;
  // Link bindings per field (index n for field n), see rule 2.
  std::vector<TFieldBinding> bindings;
  const uint64_t serial = NewTableSerial();
};

// ---------------------------------------------------------------------------
// Services of the unit

// The open table of handle h (1..64), nullptr when none.
TZetTable* Table(int handle);
// The table whose files serve handle's table: for an alias the table it
// aliases (an alias keeps no table, memo or blob file open of its own), else
// the table itself; nullptr when none. Memo and blob transfers of a handle
// take their files from it.
TZetTable* FileOwner(int handle);
// Gives the table of handle and every alias of it (every slot on the same
// table file) the record count of handle's table, after the count changed
// through one of them.
void ShareRecordCount(int handle);
// Puts a table into slot h. Handles of 63 and above are refused with error
// 94 (reported); the table is then destroyed.
int InstallTable(int handle, std::unique_ptr<TZetTable> table);
// Empties slot h and hands its table over (nullptr when empty).
std::unique_ptr<TZetTable> RemoveTable(int handle);
int OpenCount();
void SetOpenCount(int count);
int CurrentHandle();
void SetCurrentHandle(int handle);
uint64_t OpenTableSet();
void SetOpenTableSet(uint64_t set);
uint64_t VisibleTableSet();
void SetVisibleTableSet(uint64_t set);

// Table sets: bit h-1 stands for handle h.
bool HandleInSet(uint64_t set, int handle);
void IncludeHandle(uint64_t& set, int handle);
void ExcludeHandle(uint64_t& set, int handle);
// The set widened by the master tables of its open members, up each chain.
uint64_t LinkedTableSet(uint64_t set);

// Engine switches of the name lookup. Consume-names: a field found by
// FindFieldByName is taken out of the hash. Loose-names: FieldNoFromText
// falls back to comparing every user field's name.
bool ConsumeNames();
void SetConsumeNames(bool on);
bool LooseNames();
void SetLooseNames(bool on);

// Fields.
uint8_t FieldType(const TZetTable& table, uint16_t n);
// Upper-cased; an L field asked for raw gives its name as stored.
ShortStr FieldName(int handle, uint16_t n, bool raw = false);
uint16_t NthUserField(int handle, int32_t k);
// The place of field n among the user fields (1-based), 0 for another field.
uint16_t UserFieldIndex(int handle, uint16_t n);
uint16_t UserFieldIndex(const TZetTable& t, uint16_t n);
void BuildFieldNameHash(int handle);
void FreeFieldNameHash(int handle);
// The caller passes the name upper-cased; blanks count as "_".
uint16_t FindFieldByName(int handle, std::string_view name);
// The name of a stored field name: a label written as "NAME: " (tables made
// field by field, dBase imports) is found as NAME; trailing blanks and one
// ":" before them are not part of the name.
std::string_view LabelName(std::string_view stored);
uint16_t FieldNoFromText(int handle, std::string_view text);
// The type letter (S followed by its size code in 3 digits), padded to width.
ShortStr FieldTypeText(int handle, uint16_t n, size_t width);

// Choice lists and value ranges.
// Entry k (1-based) of the field's choices in name form (blanks as "_", "^"
// and trailing "_" removed); empty when absent.
ShortStr GetChoiceText(const TZetTable& table, uint16_t field, uint32_t k);
ShortStr GetChoiceText(int handle, uint16_t field, uint32_t k);
// The number of the entry whose name form equals the name form of text
// (without regard to case); 0 when absent.
uint8_t FindChoice(const TZetTable& table, uint16_t field, std::string_view text);
uint8_t FindChoice(int handle, uint16_t field, std::string_view text);
// The field's value range; false and zeros when it has none.
bool GetFieldSpec(int handle, uint16_t field, double& lower, double& upper);
void FreeChoiceLists(TZetTable& table);
void FreeFormulaList(TZetTable& table);
void FreeFieldSpecList(TZetTable& table);

// Marks of a table. Where a routine finds no mark, the end-of-list word is
// 1 and the answer 0; otherwise the word is 0.
MarkLists::TMarkList& MarkList(TZetTable& table);
uint16_t EndOfList();
bool IsMarked(int handle, uint32_t recno);
// Appends (no duplicate test); record number 0 gives error 19.
int AddMark(int handle, uint32_t recno);
void RemoveMark(int handle, uint32_t recno);
void ClearMarks(int handle);
uint32_t FirstMark(int handle);
uint32_t LastMark(int handle);
// The mark after / before the one holding the current record number.
uint32_t NextMark(int handle);
uint32_t PriorMark(int handle);
// A marked record number that moved.
void ReplaceMark(int handle, uint32_t oldRecno, uint32_t newRecno);

// The relation table of an R field: the field name (a label's name; 8
// characters in version-1 tables) with ".REL", upper-cased.
ShortStr RelationFileName(const TZetTable& table, std::string_view fieldName);
// Every file a table uses lies in its directory: the table file, the files
// named after it (its name and an extension of up to four characters: memo,
// blob, automatic and temporary indexes, the ".CIN" file), the indexes of its
// slots and its relation tables. Answers 0 when each of these paths fits a
// path text, else 26 reported with the table's path (nothing may be cut).
int CheckPathLengths(const TZetTable& table);
// The handle of the open table with this file name (without an extension
// ".DAT", then ".REL" are tried); 0 when none. A name with a directory names
// that file; a bare name matches a table's name and extension.
int FindOpenTable(std::string_view name);
// Allocates the record buffer on first use and zero-fills it.
void ClearRecordBuffer(int handle);
void ClearRangeLimits(int handle);

void UnitInit();
void UnitDone();

}  // namespace ZetTable
