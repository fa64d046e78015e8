#include "engine/storage/zettable.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "engine/base/engassert.h"
#include "engine/base/uppercas.h"
#include "platform/files.h"

namespace ZetTable {

uint64_t NewTableSerial() {
  static uint64_t next = 0;
  return ++next;
}

namespace {

std::array<std::unique_ptr<TZetTable>, kTableSlots> g_slots;
int g_openCount = 0;
int g_current = 0;
uint64_t g_openSet = 0;
uint64_t g_visibleSet = 0;
bool g_consumeNames = false;
bool g_looseNames = false;
uint16_t g_endOfList = 0;

// The form in which field names are hashed and compared: at most 40
// characters, blanks as "_", upper-cased by the character rule.
ShortStr NameKey(std::string_view name) {
  ShortStr key;
  key.assign(LabelName(name), kMaxFieldName);
  Common::ReplaceChar(key, ' ', '_');
  UPPERCAS::UpperStr(key);
  return key;
}

int HashOf(std::string_view key) {
  unsigned sum = 0;
  for (unsigned char c : key) sum += c;
  return int(sum % kHashBuckets);
}

// A choice entry as a name: blanks as "_", "^" removed, trailing "_" removed.
ShortStr ChoiceNameForm(std::string_view entry) {
  ShortStr name;
  for (char c : entry) {
    if (c == '^') continue;
    name.append(c == ' ' ? '_' : c);
  }
  size_t n = name.size();
  while (n > 0 && name[n - 1] == '_') --n;
  name.truncate(n);
  return name;
}

const TChoiceList* ChoicesOf(const TZetTable& table, uint16_t field) {
  for (const TChoiceList& list : table.choiceLists)
    if (list.field == field) return &list;
  return nullptr;
}

// Sets the end-of-list word from the mark list's end flag and passes the
// answer through.
uint32_t MarkAnswer(uint32_t recno) {
  g_endOfList = MarkLists::EndFlag() == MarkLists::kNoMark ? 1 : 0;
  return recno;
}

uint32_t NoMark() {
  g_endOfList = 1;
  return 0;
}

bool AllDigits(std::string_view text) {
  return !text.empty() &&
         std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// Two spellings of a path name the same file: the same file identity when
// both exist, otherwise the same expanded path without regard to case.
bool SamePath(std::string_view a, std::string_view b) {
  platform::FileIdentity ia, ib;
  if (platform::GetFileIdentity(a, ia) && platform::GetFileIdentity(b, ib)) return ia == ib;
  // Whole paths: two long ones that differ only beyond 255 characters are
  // two files.
  const std::string ea = Common::ExpandName(a), eb = Common::ExpandName(b);
  return std::equal(ea.begin(), ea.end(), eb.begin(), eb.end(), [](char x, char y) {
    return UPPERCAS::UpCaseChar(x) == UPPERCAS::UpCaseChar(y);
  });
}

bool SameName(std::string_view a, std::string_view b) {
  ShortStr ua(a), ub(b);
  UPPERCAS::UpperStr(ua);
  UPPERCAS::UpperStr(ub);
  return ua.view() == ub.view();
}

std::unique_ptr<TIndexDescriptor> CopyIndexDefinition(const TIndexDescriptor& source) {
  auto copy = std::make_unique<TIndexDescriptor>();
  copy->header = source.header;
  copy->fileName = source.fileName;
  copy->idIndex = source.idIndex;
  copy->tableVersion = source.tableVersion;
  return copy;
}

// Size code of an F field in a file of the given version.
uint8_t RealSizeCode(uint16_t version, uint8_t typeByte) {
  uint8_t size = version < Common::kFirstVersionWithDoubles ? kSizeReal6 : kSizeDouble;
  return Common::HasNullFlag(typeByte) ? uint8_t(size + 1) : size;
}

}  // namespace

// ---------------------------------------------------------------------------
// TZetTable

TZetTable::~TZetTable() = default;

uint8_t* TZetTable::Descriptor(uint16_t n) {
  ZET_ASSERT(ValidField(n), "Field number out of range");
  return descriptors.data() + size_t(n - 1) * kDescriptorSize;
}

const uint8_t* TZetTable::Descriptor(uint16_t n) const {
  ZET_ASSERT(ValidField(n), "Field number out of range");
  return descriptors.data() + size_t(n - 1) * kDescriptorSize;
}

std::string_view TZetTable::StoredName(uint16_t n) const {
  const uint8_t* d = Descriptor(n);
  size_t length = std::min<size_t>(d[kDescName], kMaxFieldName);
  return {reinterpret_cast<const char*>(d + kDescName + 1), length};
}

bool TZetTable::IsUserField(uint16_t n) const {
  return Common::IsUserField(StoredName(n), IsStored(n), TypeByte(n));
}

Common::FieldPlace TZetTable::Place(uint16_t n) const {
  Common::FieldPlace place;
  place.typeByte = TypeByte(n);
  place.sizeCode = SizeCode(n);
  place.stored = IsStored(n);
  place.offset = offsets[n];
  return place;
}

uint32_t TZetTable::ComputeLayout() {
  offsets.assign(size_t(fieldCount) + 1, 0);
  bindings.resize(size_t(fieldCount) + 1);
  uint32_t offset = 0;
  userFieldCount = 0;
  for (uint16_t n = 1; n <= fieldCount; ++n) {
    offsets[n] = offset;
    if (IsStored(n)) offset += uint32_t(SizeCode(n)) + 1;
    if (IsUserField(n)) ++userFieldCount;
  }
  return offset;
}

void TZetTable::SetFieldCount(uint16_t count) {
  fieldCount = count;
  descriptors.resize(size_t(count) * kDescriptorSize, 0);
  ComputeLayout();
}

std::unique_ptr<TZetTable> TZetTable::CreateCopy(const TZetTable& source, uint16_t targetVersion) {
  auto t = std::make_unique<TZetTable>();
  t->version = targetVersion;
  t->recordCount = source.recordCount;
  t->recordLength = source.recordLength;
  t->fieldCount = source.fieldCount;
  t->highestIndexSlot = source.highestIndexSlot;
  t->descriptors = source.descriptors;
  t->autoNumberField = source.autoNumberField;
  t->currentIndex = source.currentIndex;
  t->linkIndex = source.linkIndex;
  t->keyTextIndex = source.keyTextIndex;
  t->automaticIndexSlots = source.automaticIndexSlots;
  t->headerSize = source.headerSize;
  t->masterTable = source.masterTable;
  t->idKeyDescription = source.idKeyDescription;
  t->linkKeyDescription = source.linkKeyDescription;
  t->directory = source.directory;
  t->fileName = source.fileName;
  t->tableCode = source.tableCode;
  t->tableKey = source.tableKey;
  t->currentRecord = source.currentRecord;
  t->nextAutoNumber = source.nextAutoNumber;
  t->orderMode = source.orderMode;
  t->hasMemoFile = source.hasMemoFile;
  t->memoLinks32 = source.memoLinks32;
  t->hasBlobFile = source.hasBlobFile;
  t->idIndexFlag = source.idIndexFlag;
  t->hasAutoNumber = source.hasAutoNumber;
  t->openFlag = source.openFlag;
  for (int slot = 0; slot < kIndexSlots; ++slot)
    if (source.indexes[slot]) t->indexes[slot] = CopyIndexDefinition(*source.indexes[slot]);
  t->choiceLists = source.choiceLists;
  t->formulas = source.formulas;
  t->fieldSpecs = source.fieldSpecs;
  t->fileOpenMode = source.fileOpenMode;
  t->nameHash = source.nameHash;
  t->openModeWord = source.openModeWord;
  t->isRelationTable = source.isRelationTable;
  t->memoLinkSize = source.memoLinkSize;
  t->linkedTables = source.linkedTables;
  t->countUnknown = source.countUnknown;

  // Between version 1 and later versions F fields change their width; the
  // record length follows by the difference of each stored field, and a
  // nullable field keeps its flag byte.
  if (targetVersion != source.version) {
    for (uint16_t n = 1; n <= t->fieldCount; ++n) {
      if (t->FieldType(n) != Common::kTypeReal) continue;
      uint8_t* d = t->Descriptor(n);
      const uint8_t newSize = RealSizeCode(targetVersion, d[kDescType]);
      if (d[kDescShown] != 0) t->recordLength = uint16_t(t->recordLength + newSize - d[kDescSizeCode]);
      d[kDescSizeCode] = newSize;
    }
  }
  t->ComputeLayout();
  return t;
}

// ---------------------------------------------------------------------------
// Slots and sets

TZetTable* Table(int handle) {
  if (handle < 1 || handle > kTableSlots) return nullptr;
  return g_slots[size_t(handle - 1)].get();
}

TZetTable* FileOwner(int handle) {
  TZetTable* t = Table(handle);
  return t && t->aliasOf != 0 ? Table(t->aliasOf) : t;
}

void ShareRecordCount(int handle) {
  const TZetTable* t = Table(handle);
  if (!t) return;
  const int owner = t->aliasOf != 0 ? t->aliasOf : handle;
  for (int h = 1; h <= kTableSlots; ++h) {
    TZetTable* other = Table(h);
    if (other && (h == owner || other->aliasOf == owner)) other->recordCount = t->recordCount;
  }
}

int InstallTable(int handle, std::unique_ptr<TZetTable> table) {
  ZET_ASSERT(handle >= 1, "Table handle out of range");
  if (handle > kMaxOpenTables) {
    Common::SetError(kErrTooManyTables, {});
    return kErrTooManyTables;
  }
  ZET_ASSERT(!g_slots[size_t(handle - 1)], "Table slot in use");
  g_slots[size_t(handle - 1)] = std::move(table);
  return 0;
}

std::unique_ptr<TZetTable> RemoveTable(int handle) {
  if (handle < 1 || handle > kTableSlots) return nullptr;
  return std::move(g_slots[size_t(handle - 1)]);
}

int OpenCount() { return g_openCount; }
void SetOpenCount(int count) { g_openCount = count; }
int CurrentHandle() { return g_current; }
void SetCurrentHandle(int handle) { g_current = handle; }
uint64_t OpenTableSet() { return g_openSet; }
void SetOpenTableSet(uint64_t set) { g_openSet = set; }
uint64_t VisibleTableSet() { return g_visibleSet; }
void SetVisibleTableSet(uint64_t set) { g_visibleSet = set; }

bool HandleInSet(uint64_t set, int handle) { return Common::BitIn64(set, handle - 1); }
void IncludeHandle(uint64_t& set, int handle) { Common::Include64(set, handle - 1); }
void ExcludeHandle(uint64_t& set, int handle) { Common::Exclude64(set, handle - 1); }

uint64_t LinkedTableSet(uint64_t set) {
  uint64_t result = set;
  for (int h = 1; h <= kTableSlots; ++h) {
    if (!HandleInSet(set, h) || !Table(h)) continue;
    // Up the chain of masters; a chain never needs more steps than there are
    // slots, which also ends a chain that runs in a circle.
    int master = Table(h)->masterTable;
    for (int step = 0; master != 0 && step < kTableSlots; ++step) {
      IncludeHandle(result, master);
      const TZetTable* m = Table(master);
      master = m ? m->masterTable : 0;
    }
  }
  return result;
}

bool ConsumeNames() { return g_consumeNames; }
void SetConsumeNames(bool on) { g_consumeNames = on; }
bool LooseNames() { return g_looseNames; }
void SetLooseNames(bool on) { g_looseNames = on; }

// ---------------------------------------------------------------------------
// Fields

uint8_t FieldType(const TZetTable& table, uint16_t n) { return table.FieldType(n); }

ShortStr FieldName(int handle, uint16_t n, bool raw) {
  const TZetTable* t = Table(handle);
  if (!t || !t->ValidField(n)) return {};
  ShortStr name(t->StoredName(n));
  if (!(raw && t->FieldType(n) == Common::kTypeLink)) UPPERCAS::UpperStr(name);
  return name;
}

uint16_t NthUserField(int handle, int32_t k) {
  const TZetTable* t = Table(handle);
  if (!t || k < 1) return 0;
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->IsUserField(n) && --k == 0) return n;
  return 0;
}

uint16_t UserFieldIndex(int handle, uint16_t n) {
  const TZetTable* t = Table(handle);
  return t ? UserFieldIndex(*t, n) : 0;
}

uint16_t UserFieldIndex(const TZetTable& t, uint16_t n) {
  if (!t.ValidField(n) || !t.IsUserField(n)) return 0;
  uint16_t k = 0;
  for (uint16_t i = 1; i <= n; ++i)
    if (t.IsUserField(i)) ++k;
  return k;
}

void BuildFieldNameHash(int handle) {
  TZetTable* t = Table(handle);
  if (!t) return;
  for (auto& bucket : t->nameHash) bucket.clear();
  for (uint16_t n = 1; n <= t->fieldCount; ++n) {
    if (!t->IsUserField(n)) continue;
    t->nameHash[size_t(HashOf(NameKey(t->StoredName(n))))].push_back(n);
  }
}

void FreeFieldNameHash(int handle) {
  TZetTable* t = Table(handle);
  if (!t) return;
  for (auto& bucket : t->nameHash) std::vector<uint16_t>().swap(bucket);
}

std::string_view LabelName(std::string_view stored) {
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  if (!stored.empty() && stored.back() == ':') stored.remove_suffix(1);
  while (!stored.empty() && stored.back() == ' ') stored.remove_suffix(1);
  return stored.empty() ? std::string_view() : stored;
}

uint16_t FindFieldByName(int handle, std::string_view name) {
  TZetTable* t = Table(handle);
  if (!t) return 0;
  const ShortStr key = NameKey(name);
  for (uint16_t& node : t->nameHash[size_t(HashOf(key))]) {
    if (node == 0 || !t->ValidField(node) || NameKey(t->StoredName(node)).view() != key.view()) continue;
    const uint16_t found = node;
    if (g_consumeNames) node = 0;
    return found;
  }
  return 0;
}

uint16_t FieldNoFromText(int handle, std::string_view text) {
  const TZetTable* t = Table(handle);
  if (text.empty() || !t) return 0;
  if (AllDigits(text)) {
    int32_t k = 0;
    for (char c : text) k = std::min<int32_t>(k * 10 + (c - '0'), kMaxFieldCount + 1);
    if (k != 0) return NthUserField(handle, k);
  }
  if (uint16_t n = FindFieldByName(handle, text)) return n;
  if (!g_looseNames) return 0;
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->IsUserField(n) && UPPERCAS::CollateCompare(text, t->StoredName(n)) == 0) return n;
  return 0;
}

ShortStr FieldTypeText(int handle, uint16_t n, size_t width) {
  const TZetTable* t = Table(handle);
  if (!t || !t->ValidField(n)) return {};
  const uint8_t type = t->FieldType(n);
  ShortStr text;
  text.append(type < kTypeCount ? kTypeLetters[type] : '?');
  if (type == Common::kTypeString) {
    char digits[8];
    std::snprintf(digits, sizeof digits, "%03u", unsigned(t->SizeCode(n)));
    text.append(digits);
  }
  while (text.size() < std::min(width, ShortStr::kMax)) text.append(' ');
  return text;
}

// ---------------------------------------------------------------------------
// Choice lists and value ranges

ShortStr GetChoiceText(const TZetTable& table, uint16_t field, uint32_t k) {
  const TChoiceList* list = ChoicesOf(table, field);
  if (!list || k < 1 || k > list->entries.size()) return {};
  return ChoiceNameForm(list->entries[k - 1]);
}

ShortStr GetChoiceText(int handle, uint16_t field, uint32_t k) {
  const TZetTable* t = Table(handle);
  return t ? GetChoiceText(*t, field, k) : ShortStr();
}

uint8_t FindChoice(const TZetTable& table, uint16_t field, std::string_view text) {
  const TChoiceList* list = ChoicesOf(table, field);
  if (!list) return 0;
  const ShortStr wanted = ChoiceNameForm(text);
  for (size_t i = 0; i < list->entries.size(); ++i)
    if (UPPERCAS::CollateCompare(ChoiceNameForm(list->entries[i]), wanted) == 0) return uint8_t(i + 1);
  return 0;
}

uint8_t FindChoice(int handle, uint16_t field, std::string_view text) {
  const TZetTable* t = Table(handle);
  return t ? FindChoice(*t, field, text) : 0;
}

bool GetFieldSpec(int handle, uint16_t field, double& lower, double& upper) {
  lower = upper = 0;
  const TZetTable* t = Table(handle);
  if (!t) return false;
  for (const TFieldSpec& fieldSpec : t->fieldSpecs) {
    if (fieldSpec.field != field) continue;
    lower = fieldSpec.lower;
    upper = fieldSpec.upper;
    return true;
  }
  return false;
}

void FreeChoiceLists(TZetTable& table) { std::vector<TChoiceList>().swap(table.choiceLists); }
void FreeFormulaList(TZetTable& table) { std::vector<TFormula>().swap(table.formulas); }
void FreeFieldSpecList(TZetTable& table) { std::vector<TFieldSpec>().swap(table.fieldSpecs); }

// ---------------------------------------------------------------------------
// Marks

MarkLists::TMarkList& MarkList(TZetTable& table) { return table.marks; }
uint16_t EndOfList() { return g_endOfList; }

bool IsMarked(int handle, uint32_t recno) {
  const TZetTable* t = Table(handle);
  return t && MarkLists::MarkListContains(t->marks, recno);
}

int AddMark(int handle, uint32_t recno) {
  TZetTable* t = Table(handle);
  if (!t || recno == 0) {
    Common::SetError(kErrRecordNotFound, {});
    return kErrRecordNotFound;
  }
  return MarkLists::MarkListAdd(t->marks, recno);
}

void RemoveMark(int handle, uint32_t recno) {
  if (TZetTable* t = Table(handle)) MarkLists::MarkListRemove(t->marks, recno);
}

void ClearMarks(int handle) {
  if (TZetTable* t = Table(handle)) MarkLists::MarkListClear(t->marks);
}

uint32_t FirstMark(int handle) {
  const TZetTable* t = Table(handle);
  return t ? MarkAnswer(MarkLists::MarkListFirst(t->marks)) : NoMark();
}

uint32_t LastMark(int handle) {
  const TZetTable* t = Table(handle);
  return t ? MarkAnswer(MarkLists::MarkListLast(t->marks)) : NoMark();
}

uint32_t NextMark(int handle) {
  const TZetTable* t = Table(handle);
  return t ? MarkAnswer(MarkLists::MarkListNext(t->marks, t->currentRecord)) : NoMark();
}

uint32_t PriorMark(int handle) {
  const TZetTable* t = Table(handle);
  return t ? MarkAnswer(MarkLists::MarkListPrior(t->marks, t->currentRecord)) : NoMark();
}

void ReplaceMark(int handle, uint32_t oldRecno, uint32_t newRecno) {
  if (TZetTable* t = Table(handle)) MarkLists::MarkListReplace(t->marks, oldRecno, newRecno);
}

// ---------------------------------------------------------------------------
// Files and buffers

ShortStr RelationFileName(const TZetTable& table, std::string_view fieldName) {
  ShortStr name(LabelName(fieldName));
  if (table.version < Common::kFirstVersionWithDoubles) name.truncate(Common::kShortBaseName);
  name.append(".REL");
  UPPERCAS::UpperStr(name);
  return name;
}

int CheckPathLengths(const TZetTable& table) {
  // ".MMO", ".BLB", ".INR", ".IN1", ".$$$", ".CIN": the longest extension of
  // the files named after the table.
  constexpr size_t kLongestOwnExtension = 4;
  size_t longest = std::max(table.fileName.size(),
                            Common::SplitFileName(table.fileName).name.size() + kLongestOwnExtension);
  for (const auto& d : table.indexes)
    if (d) longest = std::max(longest, d->fileName.size());
  for (uint16_t n = 1; n <= table.fieldCount; ++n)
    if (table.FieldType(n) == Common::kTypeRelation)
      longest = std::max(longest, RelationFileName(table, table.StoredName(n)).size());
  if (table.directory.size() + longest <= ShortStr::kMax) return 0;
  return Common::RefuseLongPath(std::string(table.directory.view()) + std::string(table.fileName.view()));
}

int FindOpenTable(std::string_view name) {
  const Common::FileNameParts parts = Common::SplitFileName(name);
  std::vector<ShortStr> candidates;
  if (!parts.extension.empty()) {
    candidates.emplace_back(name);
  } else {
    candidates.push_back(Common::AppendStrCopy(name, ".DAT"));
    candidates.push_back(Common::AppendStrCopy(name, ".REL"));
  }
  // The candidate keeps its case: both comparisons ignore it, and a path
  // spelled as it stands on the disk is found without searching its folders.
  for (const ShortStr& candidate : candidates) {
    for (int h = 1; h <= kTableSlots; ++h) {
      const TZetTable* t = Table(h);
      if (!t) continue;
      const bool same = parts.directory.empty()
                            ? SameName(candidate, t->fileName)
                            : SamePath(candidate, Common::AppendStrCopy(t->directory, t->fileName));
      if (same) return h;
    }
  }
  return 0;
}

void ClearRecordBuffer(int handle) {
  if (TZetTable* t = Table(handle)) t->recordBuffer.assign(t->recordLength, 0);
}

void ClearRangeLimits(int handle) {
  TZetTable* t = Table(handle);
  if (!t) return;
  std::vector<uint8_t>().swap(t->lowLimit);
  std::vector<uint8_t>().swap(t->highLimit);
}

// ---------------------------------------------------------------------------

void UnitInit() {
  for (auto& slot : g_slots) slot.reset();
  g_openCount = 0;
  g_current = 0;
  g_openSet = 0;
  g_visibleSet = 0;
  g_consumeNames = false;
  g_looseNames = false;
  g_endOfList = 0;
}

void UnitDone() { UnitInit(); }

}  // namespace ZetTable
