// The cursor table, the login state and the cursor services (zeteng.h).
#include "engine/interface/zeteng.h"
#include "engine/interface/memohtml.h"

#include <algorithm>
#include <cstring>
#include <memory>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/stacklib.h"
#include "engine/base/uppercas.h"
#include "engine/language/compiler.h"
#include "engine/language/programerror.h"
#include "engine/language/sysservices.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "platform/process.h"
#include "platform/settings/registry.h"

namespace ZETEng {

namespace {

std::array<std::unique_ptr<TCursor>, kMaxCursors + 1> g_cursors;  // [0] unused
int g_active = 0;
uint32_t g_client = 0;
ZetCursorQueryProc g_cursorQuery = nullptr;
ShortStr g_projectDirectory;

// While set, a delete runs over many records: cursors standing on a deleted
// record are only flagged, and repositioned when the run ends.
bool g_bulkDelete = false;

}  // namespace

uint32_t RegisteredClient() { return g_client; }
void SetRegisteredClient(uint32_t id) { g_client = id; }
const ShortStr& ProjectDirectory() { return g_projectDirectory; }
void SetProjectDirectory(std::string_view directory) { g_projectDirectory = ShortStr(directory); }

TCursor* Cursor(int32_t handle) {
  if (handle < 1 || handle > kMaxCursors) return nullptr;
  return g_cursors[size_t(handle)].get();
}

TCursor* CursorInSlot(int slot) { return Cursor(slot); }

int32_t HandleOf(const TCursor& cursor) {
  for (int h = 1; h <= kMaxCursors; ++h)
    if (g_cursors[size_t(h)].get() == &cursor) return h;
  return 0;
}

bool ValidRelation(int32_t relation) {
  return relation >= 1 && relation <= ZetTable::OpenCount() && ZetTable::Table(relation) != nullptr;
}

ZetTable::TZetTable* TableOf(const TCursor& cursor) {
  ZetTable::TZetTable* t = ZetTable::Table(cursor.relation);
  if (!t || cursor.relation > ZetTable::OpenCount() || t->serial != cursor.tableSerial) return nullptr;
  return t;
}

TResolved Resolve(int32_t handle) {
  TResolved r;
  r.cursor = Cursor(handle);
  if (!r.cursor) {
    r.error = kBadCursor;
    return r;
  }
  r.table = TableOf(*r.cursor);
  if (!r.table) r.error = kBadRelation;
  return r;
}

uint16_t FieldOfText(const TCursor& c, std::string_view text) {
  ShortStr name(text.substr(0, ZetTable::kMaxFieldName));
  UPPERCAS::UpperStr(name);
  return ZetTable::FieldNoFromText(c.relation, name);
}

int FindIndexSlot(const ZetTable::TZetTable& t, std::string_view name) {
  const std::string_view cut = name.substr(0, ZetTable::kMaxIndexName);
  for (int s = Zet00::FirstIndexSlot(t); s <= t.highestIndexSlot && s < ZetTable::kIndexSlots; ++s) {
    const auto& d = t.indexes[size_t(s)];
    if (d && UPPERCAS::CollateCompare(d->fileName.view(), cut) == 0) return s;
  }
  return -1;
}

int ActiveCursor() { return g_active; }
void SetCursorQuery(ZetCursorQueryProc query) { g_cursorQuery = query; }

namespace {
struct TOpenBracket {
  TBracket kind;
  int cursor;
  std::vector<uint64_t> guard;
};
std::vector<TOpenBracket> g_brackets;
}  // namespace

void OpenBracket(TBracket kind, int cursor, std::vector<uint64_t> guard) {
  g_brackets.push_back({kind, cursor, std::move(guard)});
}

bool CloseBracket(TBracket kind, int cursor, std::vector<uint64_t>* guard) {
  if (g_brackets.empty() || g_brackets.back().kind != kind || g_brackets.back().cursor != cursor) return false;
  if (guard) *guard = std::move(g_brackets.back().guard);
  g_brackets.pop_back();
  return true;
}

std::vector<uint64_t> OpenTableSerials() {
  std::vector<uint64_t> serials;
  for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
    const ZetTable::TZetTable* t = ZetTable::Table(h);
    serials.push_back(t ? t->serial : 0);
  }
  return serials;
}

void DropStackEntries(size_t n) {
  std::vector<uint8_t> scratch;
  for (size_t i = 0; i < n && STACKLIB::TopEntrySize() > 0; ++i) {
    scratch.resize(STACKLIB::TopEntrySize());
    STACKLIB::Pop(scratch.data(), scratch.size());
  }
}
void SetActiveCursor(int handle) { g_active = handle; }

int32_t CreateCursor(int relation) {
  if (!ValidRelation(relation)) return kBadRelation;
  int slot = 1;
  while (slot <= kMaxCursors && g_cursors[size_t(slot)]) ++slot;
  if (slot > kMaxCursors) return -2;
  ZetTable::TZetTable& t = *ZetTable::Table(relation);
  auto c = std::make_unique<TCursor>();
  c->relation = uint8_t(relation);
  c->tableSerial = t.serial;
  c->recordLength = t.recordLength;
  c->fieldCount = t.fieldCount;
  c->record.assign(t.recordLength, 0);
  c->savedRecord.assign(t.recordLength, 0);
  c->linkedSet = t.linkedTables;
  ZetTable::IncludeHandle(c->linkedSet, relation);
  for (uint16_t n = 1; n <= t.fieldCount; ++n) c->fieldFlags.push_back(t.TypeByte(n));
  for (const ZetTable::TFormula& f : t.formulas) c->formulas.push_back({f.field, f.text});
  if (t.countUnknown) {
    c->accessMode = kAccessIndex;
    c->indexSlot = 1;
  }
  g_cursors[size_t(slot)] = std::move(c);
  return slot;
}

void FreeCursor(int handle) {
  TCursor* c = Cursor(handle);
  if (!c) return;
  if (ZetTable::TZetTable* t = TableOf(*c)) {
    // The cursor's field flags and formulas become the table's.
    for (uint16_t n = 1; n <= std::min<uint16_t>(t->fieldCount, uint16_t(c->fieldFlags.size())); ++n)
      t->Descriptor(n)[ZetTable::kDescType] = c->fieldFlags[n - 1];
    ZetTable::FreeFormulaList(*t);
    for (const TCursorFormula& f : c->formulas) {
      ZetTable::TFormula formula;
      formula.field = f.field;
      formula.text = f.text;
      t->formulas.push_back(formula);
    }
  }
  if (g_active == handle) g_active = 0;
  g_cursors[size_t(handle)].reset();
}

// ---------------------------------------------------------------------------
// Cursor and table

void LoadCursorIntoTable(TCursor& c, ZetTable::TZetTable& t) {
  t.currentRecord = c.recno;
  t.orderMode = c.accessMode;
  if (c.accessMode == kAccessIndex) t.currentIndex = c.indexSlot;
  t.currentKey = c.key;
  t.recordBuffer = c.record;
  if (!c.lowKey.empty() || !c.highKey.empty()) {
    t.lowLimit = c.lowKey;
    t.highLimit = c.highKey;
  }
}

void SaveTableIntoCursor(TCursor& c, ZetTable::TZetTable& t) {
  c.key = t.currentKey;
  t.recordBuffer.resize(c.recordLength);
  c.record = t.recordBuffer;
  c.recno = t.currentRecord;
  if (!c.lowKey.empty() || !c.highKey.empty()) {
    t.lowLimit.clear();
    t.highLimit.clear();
  }
}

void DiscardTablePosition(TCursor& c, ZetTable::TZetTable& t) {
  LoadCursorIntoTable(c, t);
  t.lowLimit.clear();
  t.highLimit.clear();
}

int RereadCursorRecord(TCursor& c, ZetTable::TZetTable& t) {
  const int slot = c.relation;
  const int former = ZetTable::CurrentHandle();
  if (former != slot) Zet01::SetCurrentTable(slot);
  LoadCursorIntoTable(c, t);
  const uint64_t set = c.relationSet | c.formulaSet;
  int result = 0;
  if (set & ~(uint64_t(1) << (slot - 1))) {
    if (Zet01::ReadFirstLinked(slot, true, set) != 0) result = -1;
    else if (Zet01::NotFoundSet() & set) result = 1;
  } else if (Zet01::ReadRecord(slot, c.recno) != 0) {
    result = -1;
  }
  if (result >= 0) SaveTableIntoCursor(c, t);
  else DiscardTablePosition(c, t);
  if (former != slot && former != 0) Zet01::SetCurrentTable(former);
  t.orderMode = c.accessMode;
  return result;
}

bool EditedByOther(const TCursor& c, uint32_t recno) {
  for (int h = 1; h <= kMaxCursors; ++h) {
    const TCursor* o = g_cursors[size_t(h)].get();
    if (!o || o == &c || o->relation != c.relation || o->tableSerial != c.tableSerial) continue;
    if (o->editDepth > 0 && o->recno == recno && recno != 0) return true;
  }
  return false;
}

// ---------------------------------------------------------------------------
// Texts

std::string_view TextIn(const char* text, size_t max) {
  if (!text) return {};
  return std::string_view(text, strnlen(text, max));
}

void TextOut(char* buffer, int32_t capacity, std::string_view text) {
  if (!buffer || capacity < 0) return;
  const size_t n = std::min(size_t(capacity), text.size());
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
}

// ---------------------------------------------------------------------------
// Compiling

TCurrentTable::TCurrentTable(int slot) : former_(ZetTable::CurrentHandle()) {
  if (slot != 0) Zet01::SetCurrentTable(slot);
}

TCurrentTable::~TCurrentTable() {
  if (former_ != 0 && former_ <= ZetTable::OpenCount()) Zet01::SetCurrentTable(former_);
}

int32_t RaisedAnswer(std::string_view what, bool outOfMemory) {
  constexpr uint16_t kErrUnknown = 52;
  if (outOfMemory) {
    Common::OutOfMemoryError();
  } else if (Common::LastError() == 0) {
    Common::SetError(kErrUnknown, what);
  }
  const int32_t word = Common::LastError();
  Common::SetErrorArgument(what);
  ZetVars::RecordCompileError(uint16_t(-word), what, 0);
  return word;
}

int32_t RaisedNow() noexcept {
  try {
    throw;
  } catch (const std::bad_alloc&) {
    return RaisedAnswer("", true);
  } catch (const std::exception& e) {
    return RaisedAnswer(e.what(), false);
  } catch (...) {
    return RaisedAnswer("", false);
  }
}

void ClearCompileErrors() {
  ZetVars::SetCompilerError(0, 0, "", true);
  ProgramError::Clear();
}

int32_t CompileText(std::string_view text, ShortStr& code, uint64_t& tables) {
  constexpr uint16_t kErrTooLong = 60;
  tables = 0;
  if (text.size() > ShortStr::kMax) {
    ZetVars::RecordCompileError(kErrTooLong, text.substr(0, ShortStr::kMax), ShortStr::kMax + 1);
    return int32_t(ShortStr::kMax + 1);
  }
  code = ShortStr(text);
  size_t end = 0;
  if (Zet02::CompileLine(code, tables, end) == 0) return 0;
  return std::max<int32_t>(ZetVars::ErrorPosition(), 1);
}

// ---------------------------------------------------------------------------
// Services for table storage

namespace {

bool DependsOn(const TCursor& c, int table) {
  const uint64_t sets =
      c.relationSet | c.formulaSet | c.linkedSet | c.embeddedSet | c.savedRelationSet | c.savedFormulaSet;
  return ZetTable::HandleInSet(sets, table);
}

// Reads the cursor's record into its own buffers without moving the table.
void RefreshCursor(TCursor& c) {
  ZetTable::TZetTable* t = TableOf(c);
  if (!t || c.recno == 0) return;
  std::vector<uint8_t> buffer(c.recordLength);
  std::array<uint8_t, ZetTable::kMaxKeySize> key = c.key;
  if (Zet01::ReadRecordInto(c.relation, c.recno, buffer.data(), key.data(), c.indexSlot, c.accessMode) == 0) {
    c.record = std::move(buffer);
    c.key = key;
  }
}

// The record after (or before) the deleted one in index order: the first key
// not below the cursor's old key.
}  // namespace

uint32_t SeekFromKey(TCursor& c, ZetTable::TZetTable& t) {
  const int slot = c.relation;
  const auto savedKey = t.currentKey;
  t.currentKey = c.key;
  uint32_t recno = 0;
  if (Zet00::IndexSeek(slot, c.indexSlot) == Zet00::kStatusFound) {
    recno = Zet00::KeyRecordNumber(t.currentKey.data());
  } else if (Zet00::IndexLast(slot, c.indexSlot) == Zet00::kStatusFound) {
    recno = Zet00::KeyRecordNumber(t.currentKey.data());
  }
  if (recno != 0) c.key = t.currentKey;
  t.currentKey = savedKey;
  return recno;
}

namespace {

}  // namespace

namespace {

// Whether a change of the table concerns the cursor. A relation-table cursor
// lists the entries of its append master's current record: a change of the
// master's table concerns it only while the master stands on a record and
// neither edits nor appends (the master's own pending change is not one its
// entries can follow yet). Every other cursor is concerned when one of its
// sets holds the table.
bool Concerns(const TCursor& c, int table) {
  if (c.relationTableCursor) {
    const TCursor* master = Cursor(c.appendMaster);
    if (master && master->relation == table && TableOf(*master))
      return master->recno != 0 && master->editDepth == 0 && master->appendDepth == 0;
  }
  return DependsOn(c, table);
}

}  // namespace

void NotifyCursors(int table, int changingCursor) {
  if (changingCursor < 0) return;
  for (int h = 1; h <= kMaxCursors; ++h) {
    TCursor* c = g_cursors[size_t(h)].get();
    if (!c || h == changingCursor || !Concerns(*c, table)) continue;
    c->changed = true;
    if (c->recno != 0 && c->editDepth == 0 && c->appendDepth == 0 && c->relation == table) RefreshCursor(*c);
  }
}

uint8_t AdjustCursorsAfterMove(int table, uint32_t deleted, uint32_t formerLast) {
  ZetTable::TZetTable* t = ZetTable::Table(table);
  for (int h = 1; h <= kMaxCursors; ++h) {
    TCursor* c = g_cursors[size_t(h)].get();
    if (!c || !t || TableOf(*c) != t) continue;
    if (c->recno == deleted) {
      c->positionLost = true;
      const uint32_t count = uint32_t(std::max(t->recordCount, 0));
      uint32_t next = 0;
      switch (c->accessMode) {
        case kAccessRecords:
          next = deleted + 1 >= formerLast ? deleted - 1 : deleted + 1;
          if (next == 0) next = formerLast - 1;
          next = std::min(next, count);
          break;
        case kAccessMarks: {
          uint32_t m = MarkLists::MarkListNext(c->accessMarks, deleted);
          if (MarkLists::EndFlag() != 0) m = MarkLists::MarkListPrior(c->accessMarks, deleted);
          if (MarkLists::EndFlag() != 0) m = 0;
          next = m == formerLast ? deleted : m;
          break;
        }
        default:
          if (!g_bulkDelete) next = SeekFromKey(*c, *t);
          break;
      }
      if (!(g_bulkDelete && c->accessMode == kAccessIndex)) c->recno = next;
      if (!g_bulkDelete) {
        if (c->recno == 0) std::fill(c->record.begin(), c->record.end(), 0);
        else RefreshCursor(*c);
      }
    } else if (c->recno == formerLast) {
      c->recno = deleted;
      Zet00::SetKeyRecordNumber(c->key.data(), deleted);
    }
    for (MarkLists::TMarkList* marks : {&c->accessMarks, &c->userMarks}) {
      MarkLists::MarkListRemove(*marks, deleted);
      if (deleted != formerLast) MarkLists::MarkListReplace(*marks, formerLast, deleted);
    }
  }
  return 0;
}

namespace {

void ResetCursorsOfTable(int table) {
  for (int h = 1; h <= kMaxCursors; ++h) {
    TCursor* c = g_cursors[size_t(h)].get();
    if (!c || c->relation != table) continue;
    MarkLists::MarkListClear(c->accessMarks);
    MarkLists::MarkListClear(c->userMarks);
    c->recno = 0;
    std::fill(c->record.begin(), c->record.end(), 0);
  }
}

// A cursor for a service of the language, holding the table's record as it
// stands (the language reads the fields of that record through it).
int8_t OpenTempCursor(int slot) {
  const int32_t h = CreateCursor(slot);
  if (h <= 0) return 0;
  TCursor& c = *Cursor(h);
  const ZetTable::TZetTable& t = *ZetTable::Table(slot);
  std::copy_n(t.recordBuffer.begin(), std::min(t.recordBuffer.size(), c.record.size()), c.record.begin());
  return int8_t(h);
}

void CloseTempCursor(int cursor) { FreeCursor(cursor); }

bool TableEditState(int, int slot) {
  for (int h = 1; h <= kMaxCursors; ++h) {
    const TCursor* c = g_cursors[size_t(h)].get();
    if (c && c->relation == slot && c->editDepth > 0) return true;
  }
  return false;
}

// The cursor of a table that the language asks about: the highest-numbered
// cursor standing on it, nullptr when none does.
TCursor* CursorOfTable(int slot) {
  for (int h = kMaxCursors; h >= 1; --h)
    if (TCursor* c = g_cursors[size_t(h)].get(); c && c->relation == slot && TableOf(*c)) return c;
  return nullptr;
}

int32_t CursorRecNo(int slot) {
  const TCursor* c = CursorOfTable(slot);
  if (!c) return -1;
  if (c->accessMode != kAccessMarks) return int32_t(std::min<uint32_t>(c->recno, INT32_MAX));
  const auto& marks = c->accessMarks.Items();
  const auto at = std::find(marks.begin(), marks.end(), c->recno);
  return c->recno == 0 || at == marks.end() ? 0 : int32_t(at - marks.begin() + 1);
}

int32_t CursorMarkCount(int slot) {
  const TCursor* c = CursorOfTable(slot);
  return c ? int32_t(std::min<size_t>(c->accessMarks.Count(), INT32_MAX)) : -1;
}

// The cursor a context number of the language names: the host's cursor
// query decides, 0 meaning the active cursor; a handle that is no open
// cursor means none.
TCursor* ContextCursor(int32_t context) {
  const int32_t asked = g_cursorQuery ? g_cursorQuery(int8_t(context)) : 0;
  return Cursor(asked != 0 ? asked : g_active);
}

int32_t ContextCount(int32_t context) {
  TCursor* c = ContextCursor(context);
  return c ? int32_t(c->userMarks.Count()) : -1;
}

bool ContextValue(int32_t context, uint32_t recno) {
  TCursor* c = ContextCursor(context);
  if (!c) return false;
  return MarkLists::MarkListContains(c->userMarks, recno == 0 ? c->recno : recno);
}

int32_t SetMarksFromArray(int32_t context, double* elements, int32_t count) {
  TCursor* c = ContextCursor(context);
  if (!c || !elements) return 0;
  MarkLists::MarkListClear(c->userMarks);
  for (int32_t i = 0; i < count; ++i) {
    const double v = elements[i];
    if (!(v >= 0.5) || v > 4294967295.0) break;
    MarkLists::MarkListAdd(c->userMarks, uint32_t(v + 0.5));
  }
  return 0;
}

int32_t GetMarksIntoArray(int32_t context, double* elements, int32_t count) {
  TCursor* c = ContextCursor(context);
  if (!c || !elements || count <= 0) return 0;
  std::fill(elements, elements + count, 0.0);
  const auto& items = c->userMarks.Items();
  for (size_t i = 0; i < items.size() && i < size_t(count); ++i) elements[i] = double(items[i]);
  return 0;
}

void NotifyHook(int slot, int cursor) { NotifyCursors(slot, cursor); }

// BaseDir of the macro language: the project directory the host set, else
// the current directory.
ShortStr ProjectBaseDir() {
  return g_projectDirectory.empty() ? ShortStr(platform::CurrentDirectory()) : g_projectDirectory;
}

// PrivDir of the macro language: the private directory the host keeps for
// its user, the value "PrivateDir" under the host program's key in the
// registry; the BaseDir answer while the host has none.
ShortStr PrivateDirectory() {
  const std::string path = "Software\\Quorvel\\" + Common::ProgramName.str();
  win::HKEY key;
  if (win::RegOpenKeyExA(win::HKEY_CURRENT_USER, path.c_str(), &key) == win::ERROR_SUCCESS) {
    char text[256] = {};
    uint32_t type = 0;
    uint32_t size = sizeof text;
    const int32_t e = win::RegQueryValueExA(key, "PrivateDir", &type, text, &size);
    win::RegCloseKey(key);
    if (e == win::ERROR_SUCCESS && type == win::REG_SZ && text[0] != 0)
      return ShortStr(std::string_view(text, strnlen(text, sizeof text)));
  }
  return ProjectBaseDir();
}

}  // namespace

void SetBulkDelete(bool on) { g_bulkDelete = on; }

void UnitInit() {
  for (auto& c : g_cursors) c.reset();
  g_active = 0;
  g_client = 0;
  g_cursorQuery = nullptr;
  g_projectDirectory = ShortStr();
  g_bulkDelete = false;
  g_brackets.clear();
  EngineHooks::NotifyTableChanged = NotifyHook;
  EngineHooks::BeforeTableOpen = FinishInterruptedRestructure;
  EngineHooks::NotifyRecordMoved = AdjustCursorsAfterMove;
  EngineHooks::ResetCursorsOfTable = ResetCursorsOfTable;
  EngineHooks::SetCursorMarksFromArray = SetMarksFromArray;
  EngineHooks::GetCursorMarksIntoArray = GetMarksIntoArray;
  EngineHooks::ContextCount = ContextCount;
  EngineHooks::ContextValue = ContextValue;
  EngineHooks::OpenTempCursor = OpenTempCursor;
  EngineHooks::CloseTempCursor = CloseTempCursor;
  EngineHooks::TableEditState = TableEditState;
  EngineHooks::CursorRecNo = CursorRecNo;
  EngineHooks::CursorMarkCount = CursorMarkCount;
  EngineHooks::SortMarksByKey = SortMarksByKey;
  EngineHooks::CopyRecordToTable = CopyRecordByNames;
  InstallTransferServices();
  InstallJobServices();
  Html::InstallWriter();
  SysServices::TServiceHooks services = SysServices::ServiceHooks();
  services.baseDir = ProjectBaseDir;
  services.privDir = PrivateDirectory;
  SysServices::SetServiceHooks(services);
}

void UnitDone() {
  for (auto& c : g_cursors) c.reset();
  g_active = 0;
  g_client = 0;
}

}  // namespace ZETEng
