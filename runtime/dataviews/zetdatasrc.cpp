#include "runtime/dataviews/zetdatasrc.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "platform/framework/pxvalidator.h"
#include "runtime/dataviews/zetstream.h"
#include "runtime/toolkit/kxstring.h"

namespace dataviews {

using kxobject::TKxFileStream;
using kxstring::StrLCopy;

namespace {

constexpr int32_t kEngineTextMax = 255;
constexpr int32_t kPathMax = 259;
constexpr int32_t kLongPictureFile = 10000;
constexpr int32_t kEndOfTable = -11;

// Formats into a buffer of kEngineTextMax + 1 bytes; false when the text
// would not fit whole.
template <class... Args>
bool ComposeEngineText(char (&buffer)[kEngineTextMax + 1], const char* format, Args... args) {
  const int n = std::snprintf(buffer, sizeof buffer, format, args...);
  return n >= 0 && n <= kEngineTextMax;
}

// Puts the built-in text into the caller's message buffer when the field has
// no message of its own there, and answers code.
template <class... Args>
int32_t Fail(int32_t code, char* message, int32_t length, const char* text, Args... args) {
  if (message[0] == 0 && length >= 0) std::snprintf(message, size_t(length) + 1, text, args...);
  return code;
}

}  // namespace

const framework::TPXCharRule kEngineCharRule{Common::IsLetter, UPPERCAS::UpCaseChar};

void (*TZetDataSource::ShowWaitCursor)() = nullptr;

std::unique_ptr<TBlob> ReadBlobRecord(TKxStream& stream, const char* directory) {
  const uint16_t word = uint16_t(stream.ReadInt());
  const int32_t format = BlobFormatOfWord(word);
  if (stream.Status != 0 || format < kPictBitmap || format > kPictJpeg) return std::make_unique<TBlob>();
  if (BlobIsEmbedded(word)) {
    std::unique_ptr<TKxDib> picture;
    if (format != kPictSound && format != kPictWmf) {
      picture = std::make_unique<TKxDib>(stream, uint16_t(format));
      if (!picture->IsOK()) picture.reset();
    }
    return std::make_unique<TBlob>(format, true, nullptr, std::move(picture));
  }
  std::unique_ptr<char[]> name(stream.ReadString());
  if (!name || stream.Status != 0) return std::make_unique<TBlob>(kPictNone, true, nullptr, nullptr);
  char absolute[kPathMax + 1], base[kPathMax + 1];
  StrLCopy(base, directory, kPathMax);
  kxstring::MakeAbsolutePath(absolute, name.get(), base, kPathMax);
  return std::make_unique<TBlob>(format, false, absolute, nullptr);
}

// ---- construction ----

TZetDataSource::TZetDataSource(int32_t cursor, int32_t shared) : TDataSource(nullptr), Cursor(cursor) {
  SharedCursor = shared;
  if (IsOpen()) BuildFields();
}

TZetDataSource::TZetDataSource(int32_t relation) : TDataSource(nullptr), Cursor(ZetTableCreate(relation)) {
  if (IsOpen()) {
    ZetTableFirst(Cursor);
    BuildFields();
  }
}

TZetDataSource::TZetDataSource(const TZetDataSource& other)
    : TDataSource(other), LinkField(other.LinkField), Cursor(ZetTableCreate(const_cast<TZetDataSource&>(other).GetRelationHandle())) {
  if (IsOpen()) ZetTableFirst(Cursor);
}

TZetDataSource::TZetDataSource(const char* relationName, TDataSource* master, const char* linkField)
    : TDataSource(relationName), LinkField(linkField ? linkField : "") {
  Master = master;
  const int32_t relation = ZetGetRltnHdl(Name.c_str());
  Cursor = master ? ZetTableCreateLinkedTable(master->GetTableHandle(), relation, LinkField.c_str())
                  : ZetTableCreate(relation);
  if (IsOpen()) {
    ZetTableFirst(Cursor);
    BuildFields();
  }
}

TZetDataSource::~TZetDataSource() {
  if (IsOpen() && !SharedCursor) ZetTableDelete(Cursor);
}

void TZetDataSource::Relink() {
  if (!Master) return;
  if (Cursor != 0) ZetTableDelete(Cursor);
  Cursor = ZetTableCreateLinkedTable(Master->GetTableHandle(), ZetGetRltnHdl(Name.c_str()), LinkField.c_str());
  ZetTableFirst(Cursor);
  Notify([](TDataView& v) { v.DataSetChanged(); });
}

// ---- plain forwards ----

int32_t TZetDataSource::GetRelationName(char* buffer, int32_t length, int32_t flag) {
  return ZetTableGetRltnName(Cursor, buffer, length, flag);
}
int32_t TZetDataSource::GetRelationHandle() { return ZetTableGetRltnHdl(Cursor); }
int32_t TZetDataSource::GetRecNo() { return ZetTableGetRecNo(Cursor); }
int32_t TZetDataSource::GetRecordCount() { return ZetTableRecordCount(Cursor); }
void TZetDataSource::StartProtected() { ZetTableStartProtected(Cursor); }
void TZetDataSource::EndProtected() { ZetTableEndProtected(Cursor); }
int32_t TZetDataSource::GetNumFields() { return ZetTableGetNumFields(Cursor); }
int32_t TZetDataSource::GetFieldNo(const char* name) { return ZetTableGetFieldNo(Cursor, name); }
int32_t TZetDataSource::GetFieldSpec(int32_t fieldNo, ZetFieldSpec* desc) {
  return ZetTableGetFieldSpec(Cursor, fieldNo, desc);
}
void TZetDataSource::SetPrimaryTable() { ZetSetPrimaryTable(Cursor); }
int32_t TZetDataSource::Tokenize(uint8_t* code, const char* text) { return ZetTokenize(Cursor, code, text); }
int32_t TZetDataSource::Solve(char* result, const uint8_t* code, int32_t length, int32_t option) {
  return ZetSolve(Cursor, result, code, length, option);
}
bool TZetDataSource::IsMarked(int32_t recNo) { return ZetTableIsMarked(Cursor, recNo) != 0; }
int32_t TZetDataSource::GetNumMarks() { return ZetTableGetNumMarks(Cursor); }
int32_t TZetDataSource::Replace(const char* selection, const char* assignment, ZetProgressProc progress,
                                uint32_t flag) {
  return ZetTableReplace(Cursor, selection, assignment, progress, flag);
}
int32_t TZetDataSource::FindRec(const char* indexName, const char* keyText, bool& exact) {
  uint8_t flag = exact ? 1 : 0;
  const int32_t r = ZetTableFindRec(Cursor, indexName, keyText, &flag);
  exact = flag != 0;
  return r;
}
int32_t TZetDataSource::GetAccess(char* buffer, int32_t length) { return ZetTableGetAccess(Cursor, buffer, length); }
int32_t TZetDataSource::GetIdInfo(char* buffer, int32_t length) { return ZetTableGetIdInfo(Cursor, buffer, length); }
int32_t TZetDataSource::GetAutoNo() { return ZetTableGetAutoNo(Cursor); }
bool TZetDataSource::IsDirty() { return ZetTableIsDirty(Cursor) != 0; }

void TZetDataSource::GetFieldName(int32_t fieldNo, char* buffer, int32_t length) {
  ZetFieldSpec desc{};
  StrLCopy(buffer, ZetTableGetFieldSpec(Cursor, fieldNo, &desc) == 0 ? desc.name : "", length);
}

int32_t TZetDataSource::GetFieldType(int32_t fieldNo) {
  ZetFieldSpec desc{};
  return ZetTableGetFieldSpec(Cursor, fieldNo, &desc) == 0 ? desc.type : 0;
}

// ---- formulas and defaults ----

bool TZetDataSource::GetFieldFormula(const char* name, char* buffer, int32_t length) {
  const TAlphanumField* f = FieldAs<TAlphanumField>(name);
  StrLCopy(buffer, f ? f->Formula.c_str() : "", length);
  return buffer[0] != 0;
}

void TZetDataSource::SetFieldFormula(const char* name, const char* text, int32_t flag) {
  TAlphanumField* f = FieldAs<TAlphanumField>(name);
  if (!f) return;
  f->Formula = text ? text : "";
  if (IsOpen()) ZetTableSetFormula(Cursor, name, text, flag);
}

void TZetDataSource::ApplyFieldDefaults() {
  char text[kEngineTextMax + 1], name[48];
  uint8_t code[256];
  for (int32_t i = 0; i < Fields.Count(); ++i) {
    const auto* f = dynamic_cast<const TAlphanumField*>(Fields.At(i));
    if (!f || f->DefaultExpression.empty()) continue;
    GetFieldName(i + 1, name, sizeof name - 1);
    if (!ComposeEngineText(text, "%s := %s; GetField(%d, %d)", name, f->DefaultExpression.c_str(),
                           int(ZetTableGetRltnHdl(Cursor)), int(i + 1)))
      continue;
    if (ZetTokenize(Cursor, code, text) == 0 && ZetExecMacro(Cursor, text, code, kEngineTextMax, 20) == 0)
      ZetTableSetStr(Cursor, name, text);
  }
}

// ---- record modes ----

int32_t TZetDataSource::Appended(const char* operation, int32_t result) {
  if (result == -31) return result;
  if (result != 0) throw XDataSource(operation, result, Cursor);
  Mode = kAppending;
  ApplyFieldDefaults();
  Notify([](TDataView& v) { v.RecordMoved(0); });
  Notify([](TDataView& v) { v.RecordModeStarted(0); });
  return 0;
}

int32_t TZetDataSource::Append() {
  Post();
  return Appended("Append", Master ? ZetTableAppendLinked(Cursor, Master->GetTableHandle()) : ZetTableAppend(Cursor));
}

int32_t TZetDataSource::AppendDuplicate() {
  Post();
  return Appended("AppendDuplicate", ZetTableAppendDuplicate(Cursor));
}

int32_t TZetDataSource::AppendLinked(int32_t masterCursor) {
  Post();
  return Appended("AppendLinked", ZetTableAppendLinked(Cursor, masterCursor));
}

int32_t TZetDataSource::AppendWidhLinkInfo(const char* linkInfo) {
  Post();
  return Appended("AppendWidhLinkInfo", ZetTableAppendWithIDInfo(Cursor, linkInfo));
}

int32_t TZetDataSource::Edit() {
  Post();
  const int32_t r = ZetTableEdit(Cursor);
  if (r == kEndOfTable) return kNoRecordToEdit;  // the engine's "no record"
  if (r == -1) return -1;
  if (r != 0) throw XDataSource("Edit", r, Cursor);
  const int32_t recNo = ZetTableGetRecNo(Cursor);
  if (recNo < 1) {
    ZetTableEditCancel(Cursor);
    return kNoRecordToEdit;
  }
  Mode = kEditing;
  Notify([recNo](TDataView& v) { v.RecordModeStarted(recNo); });
  return 0;
}

int32_t TZetDataSource::Delete() {
  Post();
  const int32_t recNo = GetRecNo();
  const int32_t r = ZetTableDeleteRecord(Cursor);
  if (r >= 0) Notify([recNo](TDataView& v) { v.RecordDeleted(recNo); });
  return r;
}

int32_t TZetDataSource::DeleteMarked(ZetProgressProc progress, uint32_t flag) {
  Post();
  const int32_t r = ZetTableDeleteMarkedRecs(Cursor, progress, flag);
  if (r == 0 || r == -3) Notify([](TDataView& v) { v.DataSetChanged(); });
  return r;
}

void TZetDataSource::Cancel() {
  for (int32_t i = 0; i < Fields.Count(); ++i) {
    if (auto* m = dynamic_cast<TMemoDataField*>(Fields.At(i))) m->MemoView = nullptr;
    if (auto* b = dynamic_cast<TBlobDataField*>(Fields.At(i))) b->Blob = nullptr;
  }
  if (Mode == kEditing) {
    ZetTableEditCancel(Cursor);
    const int32_t recNo = ZetTableGetRecNo(Cursor);
    Notify([recNo](TDataView& v) { v.RecordModeEnded(recNo); });
  } else if (Mode == kAppending) {
    ZetTableAppendCancel(Cursor);
    Notify([](TDataView& v) { v.RecordModeEnded(0); });
  }
  Mode = kBrowsing;
}

int32_t ConfirmResult(int32_t engineResult) {
  if (engineResult >= 0) return 0;
  switch (engineResult) {
    case -31: return kConfirmLocked;
    case -33: return kConfirmDiscarded;
    case -38: return kConfirmUnchanged;
    case -26: return kConfirmDuplicate;
    default: return kConfirmFailed;
  }
}

int32_t TZetDataSource::ConfirmRecord() {
  if (Mode == kEditing) return ConfirmResult(ZetTableEditConfirm(Cursor));
  if (Mode == kAppending) return ConfirmResult(ZetTableAppendConfirm(Cursor));
  return 0;
}

int32_t TZetDataSource::Post() {
  if (Mode != kBrowsing) {
    const int32_t recNo = ZetTableGetRecNo(Cursor);
    for (int32_t i = 0; i < Views.Count(); ++i)
      if (!Views.At(i)->BeforePost(recNo)) break;
  }
  if (!WritePending()) return kPostNotWritten;
  if (Mode == kBrowsing) return 0;
  const int32_t recNo = ZetTableGetRecNo(Cursor);
  const int32_t code = ConfirmRecord();
  switch (code) {
    case 0:
      Mode = kBrowsing;
      if (recNo >= 0) Notify([recNo](TDataView& v) { v.RecordPosted(recNo); });
      return 0;
    case kConfirmUnchanged: Mode = kBrowsing; return 0;
    case kConfirmDiscarded:
      Mode = kBrowsing;
      Notify([](TDataView& v) { v.RecordModeEnded(0); });
      return 0;
    default: return code;  // the record stays pending for the user to correct
  }
}

bool TZetDataSource::WritePending() {
  bool written = true;
  char ref[48];
  for (int32_t i = 0; i < Fields.Count(); ++i) {
    if (auto* m = dynamic_cast<TMemoDataField*>(Fields.At(i)); m && m->MemoView) {
      if (Mode != kBrowsing) {
        GetFieldName(i + 1, ref, sizeof ref - 1);
        TZetMemoStream stream(Cursor, ref, kZetWrite);
        if (stream.Status == 0) m->MemoView->WriteText(stream);
        stream.Close();
        if (stream.Status != 0) {
          written = false;
          continue;  // kept pending for the next try
        }
      }
      m->MemoView = nullptr;
    } else if (auto* b = dynamic_cast<TBlobDataField*>(Fields.At(i)); b && b->Blob) {
      if (Mode != kBrowsing) {
        GetFieldName(i + 1, ref, sizeof ref - 1);
        if (!WriteBlob(ref, *b->Blob)) {
          written = false;
          continue;  // kept pending for the next try
        }
      }
      b->Blob = nullptr;
    }
  }
  return written;
}

void TZetDataSource::RelationDirectory(char* directory) {
  directory[0] = 0;
  ZetRltnGetDir(ZetTableGetRltnHdl(Cursor), directory, kPathMax);
  kxstring::AddBackslash(directory, kPathMax);
}

bool TZetDataSource::WriteBlob(const char* ref, const TBlob& blob) {
  if (blob.IsEmpty()) {
    TZetBlobStream stream(Cursor, ref, kZetWrite, 0);
    stream.Close();
    return stream.Status == 0;
  }
  if (!blob.Embedded) {
    char directory[kPathMax + 1], name[kPathMax + 1], relative[kPathMax + 1];
    RelationDirectory(directory);
    StrLCopy(name, blob.FileName.c_str(), kPathMax);
    kxstring::MakeRelativePath(relative, name, directory, kPathMax);
    std::replace(relative, relative + std::strlen(relative), '/', '\\');  // stored names are in DOS form
    TZetBlobStream stream(Cursor, ref, kZetWrite, int32_t(std::strlen(relative)) + 4);
    stream.WriteInt(BlobKindWord(blob.Format, false));
    stream.WriteString(relative);
    stream.Close();
    return stream.Status == 0;
  }
  if (!blob.HasFileName()) {
    // A loaded picture is a DIB whatever file it came from: stored as a bitmap.
    if (!blob.Picture || !blob.Picture->IsOK()) return false;
    TZetBlobStream stream(Cursor, ref, kZetWrite, blob.Picture->GetBmpSize() + 2);
    stream.WriteInt(BlobKindWord(kPictBitmap, true));
    blob.Picture->WriteBmp(stream);
    stream.Close();
    return stream.Status == 0;
  }
  TKxFileStream file(blob.FileName.c_str(), kxobject::kFileRead);
  if (file.Status != 0) return false;
  const int32_t size = file.GetSize();
  if (size > kLongPictureFile && ShowWaitCursor) ShowWaitCursor();
  const int32_t rest = size - file.GetPos();
  TZetBlobStream stream(Cursor, ref, kZetWrite, rest + 2);
  stream.WriteInt(BlobKindWord(blob.Format, true));
  stream.CopyFrom(file, uint32_t(rest));
  stream.Close();
  return stream.Status == 0 && file.Status == 0;
}

// ---- moving ----

int32_t TZetDataSource::MoveBy(int32_t count) {
  Post();
  const int32_t r = ZetTableMoveBy(Cursor, count);
  if (r >= 0) {
    Notify([count](TDataView& v) { v.RecordStepped(count); });
    return 0;
  }
  if (r != kEndOfTable || count == 1 || count == -1) return r;
  const int32_t recNo = ZetTableGetRecNo(Cursor);
  if (recNo > 0) Notify([recNo](TDataView& v) { v.RecordMoved(recNo); });
  return kStoppedAtEnd;
}

int32_t TZetDataSource::GotoMark(int32_t direction) {
  Post();
  const int32_t r = ZetTableGotoMark(Cursor, direction);
  const int32_t recNo = ZetTableGetRecNo(Cursor);
  if (recNo > 0) Notify([recNo](TDataView& v) { v.RecordMoved(recNo); });
  return r;
}

int32_t TZetDataSource::MoveTo(int32_t n) {
  Post();
  int32_t r;
  switch (n) {
    case -1: r = ZetTableFirst(Cursor); break;
    case -2: r = ZetTableMoveBy(Cursor, -1); break;
    case -3: r = ZetTableMoveBy(Cursor, 1); break;
    case -4: r = ZetTableLast(Cursor); break;
    case -5: r = ZetTableGotoMark(Cursor, -1); break;
    case -6: r = ZetTableGotoMark(Cursor, 1); break;
    default:
      if (n < -6) throw XDataSource("MoveTo", n, Cursor);
      r = ZetTableSetRecNo(Cursor, n);
  }
  if (n < 1) n = ZetTableGetRecNo(Cursor);
  if (r >= 0 && n > 0) Notify([n](TDataView& v) { v.RecordMoved(n); });
  return r;
}

// ---- field values ----

void TZetDataSource::GetFieldText(const char* name, char* buffer, int32_t length) {
  buffer[0] = 0;
  if (!HasRecord()) return;
  if (Mode != kBrowsing) {
    const int32_t no = GetFieldNo(name);
    const TField* f = no > 0 && no <= Fields.Count() ? Fields.At(no - 1) : nullptr;
    if (const auto* m = dynamic_cast<const TMemoDataField*>(f)) {
      StrLCopy(buffer, m->MemoView ? "Memo" : "", length);
      return;
    }
    if (const auto* b = dynamic_cast<const TBlobDataField*>(f)) {
      StrLCopy(buffer, b->Blob && !b->Blob->IsEmpty() ? "Blob" : "", length);
      return;
    }
  }
  if (ZetTableGetStr(Cursor, name, buffer, length) < 0) buffer[0] = 0;
}

void TZetDataSource::GetPrevFieldText(const char* name, char* buffer, int32_t length) {
  if (ZetTableGetPrevStr(Cursor, name, buffer, length) < 0) buffer[0] = 0;
}

int32_t TZetDataSource::SetFieldText(const char* name, const char* text, char* message, int32_t messageLength) {
  char scratch[1];
  if (!message) message = scratch, messageLength = 0;
  char rule[kEngineTextMax + 1];
  const int32_t kind = GetFieldValidation(name, rule, kEngineTextMax, message, messageLength);
  if (kind == kValidPicture && !framework::TPXPictureValidator(rule, kEngineCharRule).IsValid(text))
    return Fail(kFieldPictureFailed, message, messageLength, "Does not fit picture.");
  const int32_t stored = ZetTableSetStr(Cursor, name, text);
  if (stored != 0) return Fail(stored, message, messageLength, "Has the wrong format.");
  int32_t r = 0;
  if (kind == kValidRange || kind == kValidRange2)
    r = CheckRange(name, rule, message, messageLength);
  else if (kind == kValidCondition)
    r = CheckCondition(rule, message, messageLength);
  if (r != 0) return r;
  const int32_t no = ZetTableGetFieldNo(Cursor, name);
  Notify([no](TDataView& v) { v.FieldChanged(no); });
  return 0;
}

int32_t TZetDataSource::CheckRange(const char* name, const char* rule, char* message, int32_t messageLength) {
  const char* cr = std::strchr(rule, '\r');
  if (!cr) {
    StrLCopy(message, "Range misses #", messageLength);
    return kFieldBadRule;
  }
  const std::string lower(rule, cr);
  const char* upper = cr[1] ? cr + 2 : cr + 1;
  char condition[kEngineTextMax + 1];
  uint8_t code[256];
  if (!ComposeEngineText(condition, "(%s >= %s) AND (%s <= %s)", name, lower.c_str(), name, upper) ||
      ZetTokenizeSelection(Cursor, code, condition) != 0)
    return Fail(kFieldBadRule, message, messageLength, "Invalid range.");
  ZetTableRestore(Cursor);
  const int32_t r = ZetEvalSelection(Cursor, code);
  if (r < 0) return Fail(kFieldBadRule, message, messageLength, "Invalid range.");
  if (r > 0) return Fail(kFieldOutOfRange, message, messageLength, "Enter a value between %s and %s.", lower.c_str(), upper);
  return 0;
}

int32_t TZetDataSource::CheckCondition(const char* rule, char* message, int32_t messageLength) {
  uint8_t code[256];
  const int32_t r = ZetTokenizeSelection(Cursor, code, rule) != 0 ? -1 : ZetEvalSelection(Cursor, code);
  if (r < 0) return Fail(kFieldBadRule, message, messageLength, "Invalid condition.");
  if (r > 0) return Fail(kFieldConditionFailed, message, messageLength, "Condition %s must be fullfilled.", rule);
  return 0;
}

// ---- memos and pictures ----

std::unique_ptr<reports::TFormattedText> TZetDataSource::GetMemoText(const char* name) {
  if (!HasRecord()) return std::make_unique<reports::TFormattedText>(1, 1);
  auto text = std::make_unique<reports::TFormattedText>(30, 10);
  if (const auto* m = FieldAs<TMemoDataField>(name); m && m->MemoView) {
    kxobject::TMemStream pending(1024, 1024);
    m->MemoView->WriteText(pending);
    pending.Seek(0);
    text->LoadFromStream(pending, false);
  } else {
    TZetMemoStream stored(Cursor, name, kZetRead);
    text->LoadFromStream(stored, false);
  }
  return text;
}

void TZetDataSource::SetMemoView(const char* name, IMemoView* view) {
  if (auto* m = FieldAs<TMemoDataField>(name)) {
    m->MemoView = view;
    const int32_t no = GetFieldNo(name);
    Notify([no](TDataView& v) { v.FieldChanged(no); });
  }
}

bool TZetDataSource::IsMemoView(const char* name, const IMemoView* view) {
  const auto* m = FieldAs<TMemoDataField>(name);
  return m && m->MemoView && m->MemoView == view;
}

void TZetDataSource::SetBlob(const char* name, TBlob* blob) {
  if (auto* b = FieldAs<TBlobDataField>(name)) {
    b->Blob = blob;
    const int32_t no = GetFieldNo(name);
    Notify([no](TDataView& v) { v.FieldChanged(no); });
  }
}

bool TZetDataSource::IsBlob(const char* name, const TBlob* blob) {
  const auto* b = FieldAs<TBlobDataField>(name);
  return b && b->Blob && b->Blob == blob;
}

TBlob* TZetDataSource::GetBlob(const char* name) {
  if (!HasRecord()) return new TBlob;
  if (const auto* b = FieldAs<TBlobDataField>(name); b && b->Blob) return new TBlob(*b->Blob);
  TZetBlobStream stream(Cursor, name, kZetRead);
  if (stream.Status != 0 || stream.GetSize() <= 0) return new TBlob;
  char directory[kPathMax + 1];
  RelationDirectory(directory);
  return ReadBlobRecord(stream, directory).release();
}

TKxStream* TZetDataSource::GetBlobStream(const char* name, int32_t& format) {
  auto stream = std::make_unique<TZetBlobStream>(Cursor, name, kZetRead);
  if (stream->Status != 0 || stream->GetSize() <= 0) return nullptr;
  const uint16_t word = uint16_t(stream->ReadInt());
  format = BlobFormatOfWord(word);
  if (BlobIsEmbedded(word)) return stream.release();
  std::unique_ptr<char[]> linked(stream->ReadString());
  stream.reset();
  char directory[kPathMax + 1], absolute[kPathMax + 1];
  RelationDirectory(directory);
  if (!linked) return nullptr;
  kxstring::MakeAbsolutePath(absolute, linked.get(), directory, kPathMax);
  return new TKxFileStream(absolute, kxobject::kFileRead);
}

// ---- marks, search, orders ----

void TZetDataSource::MarkCurrent() {
  if (!IsMarked(-1)) ZetTableToggleMark(Cursor);
  const int32_t recNo = GetRecNo();
  Notify([recNo](TDataView& v) { v.MarksChanged(recNo); });
}

void TZetDataSource::UnmarkCurrent() {
  if (IsMarked(-1)) ZetTableToggleMark(Cursor);
  const int32_t recNo = GetRecNo();
  Notify([recNo](TDataView& v) { v.MarksChanged(recNo); });
}

void TZetDataSource::UnmarkAll() {
  ZetTableUnmark(Cursor);
  Notify([](TDataView& v) { v.MarksChanged(0); });
}

int32_t TZetDataSource::SortMarked(const char* keyDescription) {
  const int32_t r = ZetTableSortMarkedRecs(Cursor, keyDescription);
  if (r == 0) Notify([](TDataView& v) { v.DataSetChanged(); });
  return r;
}

int32_t TZetDataSource::MarkByCondition(const char* condition, int32_t option, ZetProgressProc progress) {
  const int32_t r = ZetTableMark(Cursor, condition, option, progress);
  Notify([](TDataView& v) { v.MarksChanged(0); });
  return r;
}

int32_t TZetDataSource::MarkDoubles(ZetProgressProc progress) {
  const int32_t r = ZetTableMarkDoubles(Cursor, progress);
  Notify([](TDataView& v) { v.MarksChanged(0); });
  return r;
}

int32_t TZetDataSource::Found(int32_t result) {
  if (result > 0) {
    const int32_t recNo = GetRecNo();
    Notify([recNo](TDataView& v) { v.RecordMoved(recNo); });
  }
  return result;
}

int32_t TZetDataSource::Search(const char* condition, ZetProgressProc progress) {
  return Found(ZetTableSearch(Cursor, condition, progress));
}

int32_t TZetDataSource::SearchContinue(ZetProgressProc progress) {
  return Found(ZetTableSearchContinue(Cursor, progress));
}

bool TZetDataSource::SetAccess(const char* access) {
  const int32_t r = ZetTableSetAccess(Cursor, access, 1);
  if (ZetTableSetRecNo(Cursor, ZetTableGetRecNo(Cursor)) < 0) ZetTableSetRecNo(Cursor, 0);
  if (r != 0) return false;
  Notify([](TDataView& v) { v.DataSetChanged(); });
  return true;
}

void TZetDataSource::GetIndexNames(char* buffer, int32_t length) {
  const int32_t relation = GetRelationHandle();
  if (relation > 0)
    ZetRltnGetIndexNames(relation, buffer, length);
  else
    StrLCopy(buffer, "", length);
}

int32_t TZetDataSource::GetIndexDesc(const char* indexName, char* buffer, int32_t length, int32_t flag) {
  const int32_t r = ZetRltnGetIndexDesc(GetRelationHandle(), indexName, buffer, length, flag);
  if (r < 0) StrLCopy(buffer, indexName, length);
  return r;
}

void TZetDataSource::BeginContinuousRead() {
  TDataSource::BeginContinuousRead();
  ZetTableStartContinousRead(Cursor);
}

void TZetDataSource::EndContinuousRead() {
  ZetTableEndContinousRead(Cursor);
  TDataSource::EndContinuousRead();
}

}  // namespace dataviews
