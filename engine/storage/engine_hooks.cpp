#include "engine/storage/engine_hooks.h"

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace EngineHooks {

TBeforeTableOpenProc BeforeTableOpen = nullptr;
TNotifyTableChangedProc NotifyTableChanged = nullptr;
TNotifyRecordMovedProc NotifyRecordMoved = nullptr;
TLinkIdTextProc LinkIdText = nullptr;
TResetCursorsProc ResetCursorsOfTable = nullptr;
TCursorMarksArrayProc SetCursorMarksFromArray = nullptr;
TCursorMarksArrayProc GetCursorMarksIntoArray = nullptr;
TContextCountProc ContextCount = nullptr;
TContextValueProc ContextValue = nullptr;
TSortMarksProc SortMarksByKey = nullptr;
TOpenTempCursorProc OpenTempCursor = nullptr;
TCloseTempCursorProc CloseTempCursor = nullptr;
TTableEditStateProc TableEditState = nullptr;
TCopyRecordProc CopyRecordToTable = nullptr;
TCursorNumberProc CursorRecNo = nullptr;
TCursorNumberProc CursorMarkCount = nullptr;
TLinkBlobFileProc LinkBlobFile = nullptr;
TMemoToHtmlProc MemoToHtml = nullptr;

namespace {

void NoTableChange(int, int) {}
void NoOpenCheck(std::string_view) {}
uint8_t NoRecordMoved(int, uint32_t, uint32_t) { return 0; }
void NoCursorsOfTable(int) {}
int32_t NoCursorMarks(int32_t, double*, int32_t) { return 0; }
int32_t NoContextCount(int32_t) { return -1; }
bool NoContextValue(int32_t, uint32_t) { return false; }
int NoSortMarks(int, std::string_view, MarkLists::TMarkList&) {
  Common::SetFileError(kErrIllegalOp, {});
  return kErrIllegalOp;
}
int8_t NoTempCursor(int) { return 0; }
void NoCloseTempCursor(int) {}
bool NoEditState(int, int) { return false; }
int NoCopyRecord(int, int) {
  Common::SetFileError(kErrIllegalOp, {});
  return kErrIllegalOp;
}
int32_t NoCursor(int) { return -1; }
int32_t NoBlobFile(int, uint16_t, std::string_view, double) { return 0; }
int NoMemoToHtml(int, uint16_t, const ShortStr*) {
  Common::SetFileError(kErrIllegalOp, {});
  return kErrIllegalOp;
}

}  // namespace

void LinkIdTextOfTable(int slot, int32_t id, ShortStr& text) {
  text.clear();
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t) return;
  if (!t->hasAutoNumber) {
    Common::SetFileError(kErrBadIndexDefinition, t->fileName);
    return;
  }
  if (id == 0) return;
  const uint32_t recno = Zet00::RecordOfAutoNumber(slot, id);
  if (recno == 0) return;
  Zet00::PushTablePosition(slot);
  t->orderMode = ZetTable::kOrderRecords;
  if (Zet01::ReadRecord(slot, recno) == 0)
    text = Zet00::RecordKeyText(slot, 0);
  else
    Common::SetFileError(Common::kErrRead, t->fileName);
  Zet00::PopTablePosition(slot);
}

void UnitInit() {
  BeforeTableOpen = NoOpenCheck;
  NotifyTableChanged = NoTableChange;
  NotifyRecordMoved = NoRecordMoved;
  LinkIdText = LinkIdTextOfTable;
  ResetCursorsOfTable = NoCursorsOfTable;
  SetCursorMarksFromArray = NoCursorMarks;
  GetCursorMarksIntoArray = NoCursorMarks;
  ContextCount = NoContextCount;
  ContextValue = NoContextValue;
  SortMarksByKey = NoSortMarks;
  OpenTempCursor = NoTempCursor;
  CloseTempCursor = NoCloseTempCursor;
  TableEditState = NoEditState;
  CopyRecordToTable = NoCopyRecord;
  CursorRecNo = NoCursor;
  CursorMarkCount = NoCursor;
  LinkBlobFile = NoBlobFile;
  MemoToHtml = NoMemoToHtml;
}

void UnitDone() { UnitInit(); }

}  // namespace EngineHooks
