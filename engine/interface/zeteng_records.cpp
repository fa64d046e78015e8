// Reading fields of a cursor's record and editing records through cursors.
//
// Reading works on the cursor's own record buffer, so a cursor shows its
// record whatever other cursors did to the shared table; nothing a read does
// moves the cursor.
//
// Editing follows two protocols. Append: a new record is started in the
// cursor's buffer (with the next automatic number), filled, and confirmed
// (written) or cancelled (the number is given back when no later one was
// taken). Edit: the buffer is copied aside when the edit starts; confirm
// writes the buffer over the record with the copy as the old record (so the
// changed index keys are replaced), cancel copies it back. The copy is
// refreshed only after a write succeeded: a confirm that fails leaves the
// edit open with the original still there for cancel and for the next try.
// Depths are counters; a stray cancel does nothing.
//
// A field text is a field name, a user field number written as text, or a
// field of another open table ("table.field"), which the language compiles
// to a single field reference. Field formulas are computed through the
// formula service of table storage (FormulaRunner below), which the
// interpreter installs; until it does, values stay as the host put them.
#include <algorithm>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/formulas.h"
#include "engine/language/interp.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

using namespace ZETEng;
using ZetTable::TZetTable;

namespace {

constexpr uint16_t kErrEditedElsewhere = 105;  // "Datensatz wird bereits editiert"
constexpr size_t kFieldTokenSize = 4;



// A text that is no field of the cursor's table, compiled with the cursor's
// table current: the table and field of a single field reference, or false.
bool FieldReference(const TCursor& c, std::string_view text, int& table, uint16_t& field) {
  if (text.empty() || text.size() > 255) return false;
  const int former = ZetTable::CurrentHandle();
  Zet01::SetCurrentTable(c.relation);
  ShortStr code(text);
  uint64_t tables = 0;
  const uint16_t error = Zet02::CompileExpression(code, tables);
  if (former != 0) Zet01::SetCurrentTable(former);
  if (error != 0 || code.size() != kFieldTokenSize || uint8_t(code.data()[0]) != ByteCode::tkField) return false;
  table = uint8_t(code.data()[1]);
  field = uint16_t(uint8_t(code.data()[2]) | (uint8_t(code.data()[3]) << 8));
  return ValidRelation(table) && ZetTable::Table(table)->ValidField(field);
}

// The text of a field: of the cursor's record (record stands in for its
// buffer) or of another table's current record; -7 when unknown.
int32_t FieldTextOf(const TCursor& c, const TZetTable& t, std::string_view text, const std::vector<uint8_t>& record,
                    ShortStr& out) {
  if (const uint16_t n = FieldOfText(c, text)) {
    out = ZetTable::FieldText(t, n, record.data());
    return 0;
  }
  int table = 0;
  uint16_t field = 0;
  if (!FieldReference(c, text, table, field)) return kUnknownField;
  TZetTable& other = *ZetTable::Table(table);
  other.recordBuffer.resize(other.recordLength);
  out = ZetTable::FieldText(other, field, other.recordBuffer.data());
  return 0;
}

// Every field except automatic numbers and relations is all zero.
bool EmptyRecord(const TZetTable& t, const std::vector<uint8_t>& record) {
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    if (!t.IsStored(n) || type == Common::kTypeAutoNumber || type == Common::kTypeRelation) continue;
    const size_t size = size_t(t.SizeCode(n)) + 1;
    const uint32_t offset = t.FieldOffset(n);
    if (offset + size > record.size()) continue;
    if (std::any_of(record.begin() + offset, record.begin() + offset + size, [](uint8_t b) { return b != 0; }))
      return false;
  }
  return true;
}

// Memo and blob fields of record take their block numbers from source: a
// record never names a chain that another record owns.
void KeepChainFields(const TZetTable& t, std::vector<uint8_t>& record, const std::vector<uint8_t>& source) {
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    if (!t.IsStored(n) || (type != Common::kTypeMemo && type != Common::kTypeBlob)) continue;
    const uint32_t offset = t.FieldOffset(n);
    const size_t size = std::min(size_t(t.SizeCode(n)) + 1, record.size() - std::min<size_t>(offset, record.size()));
    std::memcpy(record.data() + offset, source.data() + offset, size);
  }
}

// Writes a copy of every memo and blob the record names into the files that
// serve the slot and makes the record name the copies; made lists them.
// Answers 0 or the engine error of the copy that failed (reported).
int CopyChainFields(int slot, const TZetTable& t, std::vector<uint8_t>& record, std::vector<Zet01::TChainRef>& made) {
  TZetTable* files = ZetTable::FileOwner(slot);
  if (!files) return Common::kErrWrite;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    const bool memo = type == Common::kTypeMemo && t.hasMemoFile;
    const bool blob = type == Common::kTypeBlob && t.hasBlobFile;
    if (!t.IsStored(n) || !(memo || blob)) continue;
    Common::FieldValue value;
    Common::GetFieldAsNumber(record.data(), t.Place(n), t.version, value);
    if (value.block == 0 || (memo && value.block == WINMEMOS::kInMemoryMemo)) continue;
    const uint32_t first = value.block;
    value.block = blob ? WinBlobs::CopyBlob(files->blobFile, first, files->blobFile)
                       : WINMEMOS::CopyMemo(files->memoFile, first, files->memoFile);
    const int32_t status = blob ? WinBlobs::Status() : WINMEMOS::Status();
    if (status != 0) {
      const int error = -Common::LastError();
      return error > 0 ? error : Common::kErrWrite;
    }
    Common::PutFieldFromValue(record.data(), t.Place(n), t.version, value);
    if (value.block != 0) made.push_back({blob, value.block});
  }
  return 0;
}

// Chains no record names: freed with the next flush of the table.
void GiveUpChains(int slot, const std::vector<Zet01::TChainRef>& chains) {
  TZetTable* files = ZetTable::FileOwner(slot);
  if (!files) return;
  for (const Zet01::TChainRef& c : chains) files->pendingChainFrees.push_back({c.blob, c.first});
}

// Computes the table's formula fields over the cursor's buffer.
void RunFormulas(TCursor& c, TZetTable& t) {
  if (!Zet01::FormulaHook || t.formulas.empty()) return;
  const auto saved = t.recordBuffer;
  t.recordBuffer = c.record;
  Zet01::FormulaHook(c.relation);
  t.recordBuffer.resize(c.recordLength);
  c.record = t.recordBuffer;
  t.recordBuffer = saved;
}

// The answer of a failed write: -26 for a duplicate key, else -25; the error
// stays recorded.
int32_t WriteFailure(int error) {
  if (Common::LastError() == 0) Common::SetError(uint16_t(error), "");
  return error == Zet01::kErrDuplicateKey ? -26 : -25;
}

int32_t StartAppend(TCursor& c, TZetTable& t, const std::vector<uint8_t>* copy) {
  c.savedRecno = c.recno;
  LoadCursorIntoTable(c, t);
  if (copy) {
    t.recordBuffer = *copy;
  } else {
    ZetTable::ClearRecordBuffer(c.relation);
  }
  t.currentRecord = 0;
  // A copied record takes a new number: the counter decides.
  if (copy && t.hasAutoNumber) {
    Common::FieldValue zero;
    Common::PutFieldFromValue(t.recordBuffer.data(), t.Place(t.autoNumberField), t.version, zero);
  }
  const int error = Zet01::AssignAutoNumber(c.relation);
  SaveTableIntoCursor(c, t);
  if (error != 0) return -error;
  RunFormulas(c, t);
  ++c.appendDepth;
  return 0;
}

// The link fields of a new record of t from its master's record: part k of
// the link key (a field of the master) fills part k of t's link index key
// (a field of t), up to a part with field 0 or an expression on either side.
void FillLinkFields(const TZetTable& t, const TZetTable& master, const std::vector<uint8_t>& masterRecord,
                    std::vector<uint8_t>& record) {
  const auto& index = t.indexes[size_t(t.linkIndex)];
  if (t.linkIndex == 0 || !index) return;
  for (size_t k = 0; k < ZetTable::kKeyParts; ++k) {
    const Zet00::TKeyPart from = Zet00::KeyPart(t.linkKeyDescription.data(), k);
    const Zet00::TKeyPart to = Zet00::KeyPart(index->header.data(), k);
    if (from.field == 0 || to.field == 0 || from.IsExpression() || to.IsExpression()) break;
    if (from.IsVariable() || to.IsVariable() || !master.ValidField(from.Number()) || !t.ValidField(to.Number()))
      break;
    const uint8_t fromType = master.FieldType(from.Number()), toType = t.FieldType(to.Number());
    const bool textual = fromType <= Common::kTypeString || toType <= Common::kTypeString;
    if (textual) {
      ZetTable::SetFieldText(t, to.Number(), record.data(),
                             ZetTable::FieldText(master, from.Number(), masterRecord.data()).view());
    } else {
      Common::FieldValue value;
      Common::GetFieldAsNumber(masterRecord.data(), master.Place(from.Number()), master.version, value);
      Common::PutFieldFromValue(record.data(), t.Place(to.Number()), t.version, value);
    }
  }
}

}  // namespace

extern "C" {

// ---- Reading ---------------------------------------------------------------

int32_t ZetTableGetStr(int32_t cursor, const char* field, char* buffer, int32_t capacity) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  ShortStr text;
  if (const int32_t e = FieldTextOf(*r.cursor, *r.table, TextIn(field), r.cursor->record, text)) return e;
  TextOut(buffer, capacity, text);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetPrevStr(int32_t cursor, const char* field, char* buffer, int32_t capacity) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  if (FieldOfText(*r.cursor, TextIn(field)) == 0) return -10;
  ShortStr text;
  if (const int32_t e = FieldTextOf(*r.cursor, *r.table, TextIn(field), r.cursor->savedRecord, text)) return e;
  TextOut(buffer, capacity, text);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetReal(int32_t cursor, const char* field, double* value) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const std::string_view text = TextIn(field);
  const TZetTable* t = r.table;
  const uint8_t* record = r.cursor->record.data();
  uint16_t n = FieldOfText(*r.cursor, text);
  if (n == 0) {
    int table = 0;
    if (!FieldReference(*r.cursor, text, table, n)) return kUnknownField;
    t = ZetTable::Table(table);
    ZetTable::Table(table)->recordBuffer.resize(t->recordLength);
    record = t->recordBuffer.data();
  }
  if (t->FieldType(n) != Common::kTypeReal) return -23;
  Common::FieldValue v;
  Common::GetFieldAsNumber(record, t->Place(n), t->version, v);
  if (value) *value = v.number;
  return Common::LastFieldNullable && Common::LastValueIsNull ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRecord(int32_t cursor, void* buffer) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  if (buffer) std::memcpy(buffer, r.cursor->record.data(), r.cursor->record.size());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRecordSize(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  return r.error ? r.error : r.cursor->recordLength;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetFieldSpec(int32_t cursor, int32_t userField, ZetFieldSpec* fieldSpec) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TZetTable& t = *r.table;
  const uint16_t n = userField >= 1 && userField <= t.userFieldCount ? ZetTable::NthUserField(r.cursor->relation, userField) : 0;
  if (n == 0) return -10;
  if (!fieldSpec) return 0;
  std::memset(fieldSpec, 0, sizeof *fieldSpec);
  fieldSpec->index = int16_t(userField);
  ShortStr name(ZetTable::LabelName(t.StoredName(n)));
  if (name.size() == 0) name = std::to_string(userField);
  TextOut(fieldSpec->name, sizeof fieldSpec->name - 1, name);
  const uint8_t flags = n <= r.cursor->fieldFlags.size() ? r.cursor->fieldFlags[n - 1] : t.TypeByte(n);
  fieldSpec->flags = uint8_t(flags >> 4);
  const uint8_t type = t.FieldType(n);
  if (flags & ZetTable::kTypeHasFormula) {
    for (const TCursorFormula& f : r.cursor->formulas)
      if (f.field == n) TextOut(fieldSpec->formula, sizeof fieldSpec->formula - 1, f.text);
  } else if (flags & ZetTable::kTypeHasRange) {
    double lower = 0, upper = 0;
    ZetTable::GetFieldSpec(r.cursor->relation, n, lower, upper);
    std::vector<uint8_t> scratch(t.recordLength, 0);
    Common::FieldValue v;
    v.number = lower;
    Common::PutFieldFromValue(scratch.data(), t.Place(n), t.version, v);
    std::string text(ZetTable::FieldText(t, n, scratch.data()).view());
    v.number = upper;
    Common::PutFieldFromValue(scratch.data(), t.Place(n), t.version, v);
    text += "\r\n";
    text += ZetTable::FieldText(t, n, scratch.data()).view();
    TextOut(fieldSpec->formula, sizeof fieldSpec->formula - 1, text);
  }
  if (type == Common::kTypeChoice) {
    std::string list;
    for (uint32_t k = 1;; ++k) {
      const ShortStr choice = ZetTable::GetChoiceText(t, n, k);
      if (choice.size() == 0) break;
      if (!list.empty()) list += ',';
      list += choice.view();
    }
    TextOut(fieldSpec->extra, sizeof fieldSpec->extra - 1, list);
  } else if (type == Common::kTypeAutoNumber && t.indexes[1]) {
    TextOut(fieldSpec->extra, sizeof fieldSpec->extra - 1, Zet00::GetIndexDesc(r.cursor->relation, 1, false, false));
  }
  fieldSpec->type = type == 0 ? 1 : type;
  fieldSpec->size = type == Common::kTypeString ? t.SizeCode(n)
               : type == Common::kTypeReal ? uint16_t(t.Shown(n) & ZetTable::kShownNibble)
                                           : 1;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetRecordField(int32_t cursor, const void* record, int32_t userField, int32_t mode,
                               int32_t* asInteger, double* asReal, char* asText, int32_t capacity) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  constexpr int32_t kNoValue = -203;
  const TZetTable& t = *r.table;
  const uint16_t n =
      userField >= 1 && userField <= t.userFieldCount ? ZetTable::NthUserField(r.cursor->relation, userField) : 0;
  if (n == 0) return kNoValue;
  const uint8_t* bytes = record ? static_cast<const uint8_t*>(record) : r.cursor->record.data();
  switch (mode) {
    case ZetTable::kFieldAsInteger:
      return asInteger && ZetTable::GetRecordField(t, bytes, n, mode, asInteger) ? 0 : kNoValue;
    case ZetTable::kFieldAsReal:
      return asReal && ZetTable::GetRecordField(t, bytes, n, mode, asReal) ? 0 : kNoValue;
    case ZetTable::kFieldAsCText:
    case ZetTable::kFieldAsShortStr: {
      ShortStr text;
      if (!asText || capacity < 0 || !ZetTable::GetRecordField(t, bytes, n, ZetTable::kFieldAsShortStr, &text))
        return kNoValue;
      if (mode == ZetTable::kFieldAsCText) {
        TextOut(asText, capacity, text);
      } else {
        const size_t length = std::min<size_t>(text.size(), capacity > 0 ? size_t(capacity) - 1 : 0);
        asText[0] = char(length);
        std::memcpy(asText + 1, text.data(), length);
        if (capacity > 0) asText[1 + length] = 0;
      }
      return 0;
    }
    default:
      return kNoValue;
  }
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetFieldNo(int32_t cursor, const char* field) try {
  const std::string_view text = TextIn(field, ZetTable::kMaxFieldName);
  if (text.find('.') != std::string_view::npos) return 0;
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const uint16_t n = FieldOfText(*r.cursor, text);
  return n == 0 ? 0 : ZetTable::UserFieldIndex(r.cursor->relation, n);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetIdInfo(int32_t cursor, char* buffer, int32_t capacity) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  ShortStr text;
  if (t.hasAutoNumber && t.indexes[1]) {
    const auto saved = t.recordBuffer;
    t.recordBuffer = c.record;
    text = Zet00::RecordKeyText(c.relation, 1);
    t.recordBuffer = saved;
  }
  TextOut(buffer, capacity, text);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetField(int32_t cursor, int32_t userField, void* record, const void* value) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TZetTable& t = *r.table;
  if (userField < 1 || userField > t.userFieldCount || !record || !value) return -10;
  const uint16_t n = ZetTable::NthUserField(r.cursor->relation, uint16_t(userField));
  if (n == 0) return -10;
  Common::PutFieldValue(static_cast<uint8_t*>(record), t.Place(n), t.version, static_cast<const uint8_t*>(value),
                        false);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetBrowserCol(int32_t cursor, const char* column, char* buffer, int32_t width) try {
  TResolved r = Resolve(cursor);
  if (r.error) return 0;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  const int former = ZetTable::CurrentHandle();
  if (former != c.relation) Zet01::SetCurrentTable(c.relation);
  LoadCursorIntoTable(c, t);
  const size_t size = width > 0 ? size_t(width) : 0;
  // The column is code as ZetTokenize writes it: a length byte, then the
  // code, which holds zero bytes (field numbers), so it is never read as text.
  const std::string_view code = column ? std::string_view(column + 1, uint8_t(column[0])) : std::string_view();
  const ShortStr text = Formeln::BrowserColumnText(code, size);
  DiscardTablePosition(c, t);
  if (former != c.relation && former != 0) Zet01::SetCurrentTable(former);
  TextOut(buffer, width, text.view().substr(0, size));
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableGetAutoNo(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  const TZetTable& t = *r.table;
  if (!t.hasAutoNumber) return 0;
  Common::FieldValue v;
  Common::GetFieldAsNumber(r.cursor->record.data(), t.Place(t.autoNumberField), t.version, v);
  return int32_t(v.number);
} catch (...) {
  return ZETEng::RaisedNow();
}

// ---- Editing ---------------------------------------------------------------

int32_t ZetTableAppend(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.appendMaster == 0) return StartAppend(c, t, nullptr);
  // A cursor made from a master links its new records to the master's
  // current one: a relation-table entry takes its identifier.
  TResolved m = Resolve(c.appendMaster);
  if (m.error) return kBadCursor;
  if (!c.relationTableCursor) return ZetTableAppendLinked(cursor, c.appendMaster);
  const TZetTable& owner = *m.table;
  if (m.cursor->recno == 0 || !owner.hasAutoNumber || t.fieldCount < 1) return kNoRecord;
  Common::FieldValue id;
  Common::GetFieldAsNumber(m.cursor->record.data(), owner.Place(owner.autoNumberField), owner.version, id);
  std::vector<uint8_t> record(t.recordLength, 0);
  bytes::PutU32(record.data() + t.FieldOffset(1), uint32_t(std::max(id.number, 0.0)));
  return StartAppend(c, t, &record);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableAppendDuplicate(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.recno == 0) return kNoRecord;
  // The copy names copies of the original's memos and blobs: a chain always
  // belongs to one record.
  std::vector<uint8_t> copy = c.record;
  std::vector<Zet01::TChainRef> made;
  if (int e = CopyChainFields(c.relation, t, copy, made)) {
    GiveUpChains(c.relation, made);
    return WriteFailure(e);
  }
  const int error = StartAppend(c, t, &copy);
  if (error != 0) GiveUpChains(c.relation, made);
  return error;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableAppendCancel(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.appendDepth == 0) return 0;
  --c.appendDepth;
  // The new record's memos and blobs belong to no stored record.
  GiveUpChains(c.relation, Zet01::ChainsNamed(t, c.record.data()));
  LoadCursorIntoTable(c, t);
  Zet01::GiveBackAutoNumber(c.relation);
  c.recno = c.savedRecno;
  if (c.recno != 0 && RereadCursorRecord(c, t) >= 0) return 0;
  if (c.recno == 0) std::fill(c.record.begin(), c.record.end(), 0);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableAppendConfirm(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.appendDepth == 0) return kNoRecord;  // no append runs: nothing to store
  if (EmptyRecord(t, c.record)) {
    ZetTableAppendCancel(cursor);
    return -33;
  }
  c.savedRecord = c.record;
  LoadCursorIntoTable(c, t);
  t.currentRecord = 0;
  Common::ResetLastError();
  const int error = Zet01::AppendRecord(c.relation, true, cursor);
  if (error != 0) {
    DiscardTablePosition(c, t);
    return WriteFailure(error);
  }
  SaveTableIntoCursor(c, t);
  if (c.appendDepth > 0) --c.appendDepth;
  if (c.accessMode == kAccessMarks) MarkLists::MarkListAdd(c.accessMarks, c.recno);
  RebuildCursorKey(c, t);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEdit(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  if (c.recno == 0) return kNoRecord;
  r.table->currentRecord = c.recno;
  if (EditedByOther(c, c.recno)) {
    Common::SetError(kErrEditedElsewhere, "");
    return -1;
  }
  // The edit starts from the record as stored, which the indexes hold: a
  // field set before the edit opened is a change the confirm writes with its
  // keys, never taken for the stored value.
  c.savedRecord.assign(c.recordLength, 0);
  if (Zet01::ReadRecordInto(c.relation, c.recno, c.savedRecord.data(), nullptr, 0, ZetTable::kOrderRecords) != 0)
    c.savedRecord = c.record;
  ++c.editDepth;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEditConfirm(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.editDepth > 0 && c.record != c.savedRecord && c.recno != 0 && t.Writable()) {
    LoadCursorIntoTable(c, t);
    bool keysChanged = false;
    Common::ResetLastError();
    const int error = Zet01::UpdateRecord(c.relation, c.savedRecord.data(), keysChanged, cursor, true, true);
    if (error != 0) {
      DiscardTablePosition(c, t);
      return WriteFailure(error);
    }
    SaveTableIntoCursor(c, t);
    c.savedRecord = c.record;
    --c.editDepth;
    return 0;
  }
  if (c.editDepth > 0) --c.editDepth;
  if (!t.Writable()) t.recordBuffer = c.record;
  return -38;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableEditCancel(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  if (c.editDepth == 0) return 0;
  r.table->currentRecord = c.recno;
  c.record = c.savedRecord;
  --c.editDepth;
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetStr(int32_t cursor, const char* field, const char* value) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  const uint16_t n = FieldOfText(c, TextIn(field));
  if (n == 0) return kUnknownField;
  std::vector<uint8_t> record = c.record;
  if (ZetTable::SetFieldText(t, n, record.data(), TextIn(value)) != 0) return kUnknownField;
  c.record = std::move(record);
  RunFormulas(c, t);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetRecord(int32_t cursor, const void* record) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (!record) return 0;
  std::vector<uint8_t> incoming(static_cast<const uint8_t*>(record),
                                static_cast<const uint8_t*>(record) + c.recordLength);
  // Memo and blob chains are never shared between records: a field keeps its
  // own block unless the record names the same one.
  KeepChainFields(t, incoming, c.record);
  c.record = std::move(incoming);
  RunFormulas(c, t);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableDeleteRecord(int32_t cursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (c.recno == 0) return kNoRecord;
  if (EditedByOther(c, c.recno)) return -31;
  LoadCursorIntoTable(c, t);
  const int error = Zet01::DeleteRecord(c.relation, true, true, cursor);
  t.lowLimit.clear();
  t.highLimit.clear();
  if (error == 2 || error == 3 || error == 4 || error == 5) return -5;
  c.positionLost = false;
  return Zet01::AfterDeleteEnd();
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableStartCommit(int32_t cursor) { return Cursor(cursor) ? 0 : kBadCursor; }

int32_t ZetTableIsDirty(int32_t cursor) try {
  TCursor* c = Cursor(cursor);
  if (!c) return kBadCursor;
  if (c->changed && c->editDepth == 0 && c->appendDepth == 0) {
    c->changed = false;
    return 1;
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableIsDirtyRecord(int32_t cursor) try {
  TCursor* c = Cursor(cursor);
  if (!c) return kBadCursor;
  if (c->editDepth == 0) return 1;
  return c->record != c->savedRecord ? 1 : 0;
} catch (...) {
  return ZETEng::RaisedNow();
}


// ---- Linked appends, formulas, relation entries ----------------------------

int32_t ZetTableAppendLinked(int32_t cursor, int32_t masterCursor) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TResolved m = Resolve(masterCursor);
  if (m.error) return kBadCursor;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  // Only a table linked directly under the master's table takes its keys.
  if (t.masterTable == 0 || t.masterTable != m.cursor->relation || m.cursor == &c) return -19;
  std::vector<uint8_t> record(t.recordLength, 0);
  FillLinkFields(t, *m.table, m.cursor->record, record);
  return StartAppend(c, t, &record);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableSetFormula(int32_t cursor, const char* field, const char* formula, int32_t evaluateEveryWrite) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  const uint16_t n = FieldOfText(c, TextIn(field));
  if (n == 0) return -10;
  if (!t.IsStored(n)) return -23;
  const std::string_view text = TextIn(formula, ShortStr::kMax + 1);
  if (n > c.fieldFlags.size()) c.fieldFlags.resize(n, 0);
  uint8_t& flags = c.fieldFlags[n - 1];
  if (text.empty() && !(t.TypeByte(n) & ZetTable::kTypeHasFormula) && !(flags & ZetTable::kTypeHasFormula)) return 0;
  ClearCompileErrors();
  if (!text.empty()) {
    TCurrentTable current(c.relation);
    ShortStr code;
    uint64_t tables = 0;
    if (const int32_t position = CompileText(text, code, tables); position != 0) return position;
    c.formulaSet |= tables;
    Zet02::TRunValue value;
    const int e = Zet02::SolveExpression(code.view(), value);
    if (e > 0 && e != 65535 && e != Zet02::kErrRealOverflow) return -e;
  }
  // The table and the cursor's copies (which the cursor's delete writes
  // back) change together.
  uint8_t typeByte = t.TypeByte(n);
  for (uint8_t* b : {&typeByte, &flags}) {
    if (evaluateEveryWrite != 0) *b |= ZetTable::kTypeSkipFormulaPass;
    else *b &= uint8_t(~ZetTable::kTypeSkipFormulaPass);
    if (text.empty()) *b &= uint8_t(~ZetTable::kTypeHasFormula);
    else *b |= ZetTable::kTypeHasFormula;
  }
  flags = uint8_t((flags & ~ZetTable::kTypeCodeMask) | (typeByte & ZetTable::kTypeCodeMask));
  t.Descriptor(n)[ZetTable::kDescType] = typeByte;
  std::erase_if(t.formulas, [n](const ZetTable::TFormula& f) { return f.field == n; });
  std::erase_if(c.formulas, [n](const TCursorFormula& f) { return f.field == n; });
  if (!text.empty()) {
    ZetTable::TFormula node;
    node.field = n;
    node.text = ShortStr(text);
    t.formulas.push_back(node);
    c.formulas.push_back({n, ShortStr(text)});
  }
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableChangeRelEntry(int32_t cursor, uint32_t identifier, int32_t oldTarget, int32_t newTarget) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  if (oldTarget > 0 && oldTarget == newTarget) return 0;
  if (oldTarget < 1 && newTarget < 1) return 0;  // a target below 1 is never written
  // Entries are {identifier, target}: the first two fields, 4 bytes each.
  if (t.fieldCount < 2 || t.SizeCode(1) != 3 || t.SizeCode(2) != 3 || !t.IsStored(1) || !t.IsStored(2)) return -23;
  const uint32_t idAt = t.FieldOffset(1), targetAt = t.FieldOffset(2);
  if (oldTarget < 1) {
    LoadCursorIntoTable(c, t);
    ZetTable::ClearRecordBuffer(c.relation);
    bytes::PutU32(t.recordBuffer.data() + idAt, identifier);
    bytes::PutI32(t.recordBuffer.data() + targetAt, newTarget);
    const int e = Zet01::AppendRecord(c.relation, true, cursor);
    RereadCursorRecord(c, t);
    return e == 0 ? 0 : -e;
  }
  uint32_t found = 0;
  std::vector<uint8_t> entry(t.recordLength);
  for (uint32_t recno = 1; recno <= uint32_t(std::max(t.recordCount, 0)) && found == 0; ++recno) {
    if (Zet01::ReadRecordInto(c.relation, recno, entry.data(), nullptr, 0, ZetTable::kOrderRecords) != 0) continue;
    if (bytes::GetU32(entry.data() + idAt) == identifier && bytes::GetI32(entry.data() + targetAt) == oldTarget)
      found = recno;
  }
  if (found == 0) return kNoRecord;
  if (EditedByOther(c, found)) return -31;
  LoadCursorIntoTable(c, t);
  t.currentRecord = found;
  t.recordBuffer = entry;
  int e = 0;
  if (newTarget > 0) {
    bytes::PutI32(t.recordBuffer.data() + targetAt, newTarget);
    bool keysChanged = false;
    e = Zet01::UpdateRecord(c.relation, entry.data(), keysChanged, cursor, true, false);
    RereadCursorRecord(c, t);
  } else {
    e = Zet01::DeleteRecord(c.relation, true, true, cursor);
    c.positionLost = false;
  }
  return e == 0 ? 0 : -e;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
