// Records of a cursor's table written to delimited text files and read back
// from them, and an assignment run over every selected record (replace).
//
// Formats (see textparser.h for the file format itself):
//   | code | export                                   | import              |
//   |------|------------------------------------------|---------------------|
//   | 0    | ";" between values                       | fields split at ";" |
//   | 1    | "," between values                       | fields split at "," |
//   | 2    | one value per text line                  | the whole file is   |
//   |      |                                          | one record          |
//   | 3    | "," with every value in quotes           | refused (-19)       |
//   | 4    | another table file                       | (not built here)    |
// Lines end with CR LF. Values are the fields' text forms (numbers without
// leading blanks), in the OEM code page unless the ANSI flag is set.
// Exported are the fields with a display width and a name, except identifier,
// memo and formula fields; the header line holds their names.
//
// What always holds:
//   1. Each run makes the cursor's table current and restores the caller's
//      current table; the cursor keeps its record and order (an import into
//      an empty cursor moves it to the first record).
//   2. The last error is cleared first and tells afterwards why a run stopped.
//      Answers: a positive compile-error position of the selection; -1, -2,
//      -3 the file could not be opened, created or written; -203 a field
//      value, a syntax error of the file or a break stopped the run (the
//      records before it stay appended); -19 a format that cannot be read or
//      written; -30 no right to append; -101 a bad cursor; else 0.
//   3. While a run appends or changes records the other cursors are not told
//      record by record; they are told once when the run ends, and the table
//      is flushed then, also when the run was stopped.
//   4. A record that an import does not append (the selection refused it)
//      leaves no memo behind.
#include <algorithm>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/textparser.h"
#include "engine/interface/zeteng.h"
#include "engine/language/compiler.h"
#include "engine/language/formulas.h"
#include "engine/language/selection.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable_fields.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kOpenFailed = -1;
constexpr int32_t kCreateFailed = -2;
constexpr int32_t kWriteFailed = -3;
constexpr int32_t kNotPossible = -19;
constexpr int32_t kNoAppendRight = -30;
constexpr int32_t kAssignmentUnusable = -7;
constexpr int32_t kSelectionUnusable = -44;
constexpr int32_t kStopped = -203;
constexpr uint16_t kErrOpen = 1;
constexpr uint16_t kErrImport = 8;
constexpr uint16_t kErrIllegalOp = 34;
constexpr uint16_t kErrBadNumber = 46;
constexpr uint16_t kErrTypes = 44;
constexpr uint16_t kErrFormula = 25;
constexpr size_t kMapEntries = 1000;
constexpr uint32_t kBreakPollLines = 64;

// The code page of the file: OEM unless the ANSI flag is set.
void ToFile(ShortStr& text, bool ansi) {
  if (!ansi) UPPERCAS::AnsiToOemStr(text);
}
std::string FromFile(std::string_view text, bool ansi) {
  if (ansi) return std::string(text);
  std::string out;
  out.reserve(text.size());
  for (size_t p = 0; p < text.size(); p += ShortStr::kMax) {
    ShortStr piece(text.substr(p, ShortStr::kMax));
    UPPERCAS::OemToAnsiStr(piece);
    out += piece.view();
  }
  return out;
}

// Clears the last error, number and text.
void ClearLastError() {
  ShortStr ignored;
  Common::ReadLastError(ignored);
}

// Compiles a selection against the current table: 0, or the compile-error
// position (above 0).
int32_t CompileSelection(const char* selection, ShortStr& code) {
  ClearCompileErrors();
  uint64_t tables = 0;
  if (const int32_t position = CompileText(TextIn(selection, ShortStr::kMax + 1), code, tables); position != 0)
    return position;
  return Zet02::CheckSelection(code, 0);
}

// Loads the cursor into its table and compiles the selection: 0, or the
// compile-error position (the table's position then dropped).
int32_t LoadAndCompile(TCursor& c, TZetTable& t, const char* selection, ShortStr& code) {
  LoadCursorIntoTable(c, t);
  const int32_t position = CompileSelection(selection, code);
  if (position != 0) DiscardTablePosition(c, t);
  return position;
}

bool Selected(ShortStr& code) {
  int error = 0, dependency = 0;
  return Zet02::EvalSelection(code, 3, error, dependency) && error == 0;
}

// The fields an export writes, in field order.
std::vector<uint16_t> ExportedFields(const TZetTable& t) {
  std::vector<uint16_t> fields;
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    if (t.Shown(n) == 0 || t.StoredName(n).empty() || type == Common::kTypeAutoNumber ||
        type == Common::kTypeMemo || (t.TypeByte(n) & ZetTable::kTypeHasFormula) != 0)
      continue;
    fields.push_back(n);
  }
  return fields;
}

char SeparatorOf(uint8_t format) { return format == 0 ? ';' : format == 2 ? '\r' : ','; }

// One line of the export: the values (or with names, the field names)
// between separators, ended by CR LF.
void BuildLine(const TZetTable& t, const std::vector<uint16_t>& fields, uint8_t format, bool ansi, bool names,
               std::string& line) {
  line.clear();
  const char separator = SeparatorOf(format);
  for (size_t i = 0; i < fields.size(); ++i) {
    if (i > 0) {
      if (format == 2)
        line += "\r\n";
      else
        line += separator;
    }
    const uint16_t n = fields[i];
    ShortStr text = names ? Common::NameOf(t.StoredName(n)) : ZetTable::FieldText(t, n, t.recordBuffer.data());
    const uint8_t type = t.FieldType(n);
    if (!names && (type == Common::kTypeInteger || type == Common::kTypeReal || type == Common::kTypeByte)) {
      size_t blanks = 0;
      while (blanks < text.size() && text.view()[blanks] == ' ') ++blanks;
      text = ShortStr(text.view().substr(blanks));
    }
    ToFile(text, ansi);
    TextTransfer::AppendValue(line, text.view(), separator, format == 3);
  }
  line += "\r\n";
}

// Stores a text as the memo of field n of the table's record buffer: false
// when it could not be written (the error is recorded).
bool PutMemo(TZetTable& t, uint16_t n, std::string_view text) {
  Common::FieldValue value;
  if (!text.empty()) {
    if (WINMEMOS::InitPutMemo(t.memoFile) < 0 ||
        WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()) < 0)
      return false;
    value.block = WINMEMOS::DonePutMemo(t.memoFile, 0);
    if (value.block == 0) return false;
  }
  Common::PutFieldFromValue(t.recordBuffer.data(), t.Place(n), t.version, value);
  return true;
}

// Gives back the memos of the record buffer that no record names.
void DropMemos(TZetTable& t) {
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    if (t.FieldType(n) != Common::kTypeMemo || !t.IsStored(n)) continue;
    Common::FieldValue value;
    Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n), t.version, value);
    if (value.block != 0) WINMEMOS::DeleteMemo(t.memoFile, value.block);
  }
}

// The engine error of a text that a field refused (SetFieldText's answer).
uint16_t FieldError(int answer) {
  return answer == ZetTable::kTextBadDate || answer == ZetTable::kTextRefused ? kErrTypes : kErrBadNumber;
}

// The user fields that the column map names, as (field, column) pairs.
struct TMapped {
  uint16_t field;
  uint16_t column;
};
std::vector<TMapped> MappedFields(int slot, const TZetTable& t, const int16_t* map) {
  std::vector<TMapped> mapped;
  if (!map) return mapped;
  for (size_t k = 0; k < std::min<size_t>(kMapEntries, t.userFieldCount); ++k) {
    if (map[k] <= 0) continue;
    const uint16_t n = ZetTable::NthUserField(slot, int32_t(k + 1));
    if (n != 0 && t.FieldType(n) != Common::kTypeAutoNumber) mapped.push_back({n, uint16_t(map[k])});
  }
  return mapped;
}

// The import's loop over the lines of the file.
struct TImportRun {
  int slot;
  int32_t cursor;
  TZetTable& t;
  ShortStr& selection;
  bool ansi;
  uint32_t appended = 0;
  uint16_t error = 0;         // the field's error, 114 for a break, 3 for a write
  std::string failedText;     // the text of the column being processed
  std::string converted;      // a column's text in the Windows code page

  // Takes one line as a record: false when the run must stop.
  bool TakeLine(const std::vector<std::string>& columns, const std::vector<TMapped>& mapped) {
    ZetTable::ClearRecordBuffer(slot);
    t.currentRecord = uint32_t(std::max(t.recordCount, 0)) + 1;
    for (const TMapped& m : mapped) {
      if (m.column > columns.size()) continue;
      const std::string& column = columns[m.column - 1];
      if (!ansi) converted = FromFile(column, false);
      const std::string& text = ansi ? column : converted;
      if (t.FieldType(m.field) == Common::kTypeMemo) {
        if (!PutMemo(t, m.field, text)) return Fail(Common::kErrWrite, text);
        continue;
      }
      if (const int answer = ZetTable::SetFieldText(t, m.field, t.recordBuffer.data(), text); answer != 0)
        return Fail(FieldError(answer), text);
    }
    if (!Selected(selection)) {
      DropMemos(t);
      return true;
    }
    if (t.autoNumberField != 0 && Zet01::AssignAutoNumber(slot) != 0) return Fail(Common::kErrWrite, {});
    if (Zet01::FormulaHook) Zet01::FormulaHook(slot);
    if (const int e = Zet01::AppendRecord(slot, false, cursor); e != 0) return Fail(uint16_t(e), {});
    ++appended;
    return true;
  }
  bool Fail(uint16_t e, std::string_view text) {
    DropMemos(t);
    error = e;
    failedText = text;
    return false;
  }
};

int32_t ImportText(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, uint8_t format,
                   const int16_t* map, bool header, bool ansi, ZetProgressProc progress) {
  const int slot = c.relation;
  const std::string name(TextIn(fileName));
  TextTransfer::TTextFileParser parser(name, TextTransfer::kQuote, SeparatorOf(format));
  if (parser.Open() != 0) {
    Common::SetFileError(kErrOpen, name);
    return kOpenFailed;
  }
  Zet01::FlushTable(slot, true);
  Zet00::PushTablePosition(slot);
  const bool notify = Zet01::NotifySwitch();
  Zet01::SetNotifySwitch(false);
  const int32_t size = parser.SizeBlocks();
  if (progress) progress(0, size);
  std::vector<std::string> columns;
  if (header) parser.ReadLine(columns);
  const std::vector<TMapped> mapped = MappedFields(slot, t, map);
  TImportRun run{slot, HandleOf(c), t, selection, ansi, 0, 0, {}, {}};
  for (uint32_t line = 1; parser.ReadLine(columns) == 0; ++line) {
    if (line % kBreakPollLines == 0 && Common::UserBreakRequested()) {
      run.error = Zet00::kErrBreak;
      break;
    }
    const bool go_on = run.TakeLine(columns, mapped);
    if (progress) progress(parser.PositionBlocks(), size);
    if (!go_on) break;
  }
  Zet01::FlushTable(slot, true);
  Zet01::SetNotifySwitch(notify);
  if (run.appended > 0) NotifyCursors(slot, HandleOf(c));
  Zet00::PopTablePosition(slot);
  Common::BreakRequested = false;
  int32_t result = 0;
  if (run.error != 0) {
    if (run.error == Zet00::kErrBreak || run.error == Common::kErrOutOfMemory) {
      Common::SetError(run.error, "");
    } else {
      Common::SetError(run.error, "");
      Common::ReplaceLastErrorText("Erfolgreich importiert: " + std::to_string(run.appended) + ", Feld: " +
                                   run.failedText);
    }
    result = kStopped;
  } else {
    if (progress) progress(size, size);
    if (parser.State() < 0) {
      Common::SetError(kErrImport, "");
      Common::ReplaceLastErrorText(std::string(Common::MessageText(kErrImport)) + ": " + parser.ErrorText());
      result = kStopped;
    }
  }
  if (c.recno == 0 && t.recordCount > 0)
    GoFirstOrLast(c, t, true);
  else
    DiscardTablePosition(c, t);
  return result;
}

int32_t ExportText(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, uint8_t format, bool ansi,
                   bool header, ZetProgressProc progress) {
  const int slot = c.relation;
  const std::string name(TextIn(fileName));
  TextTransfer::TTextFileWriter file;
  if (file.Create(name) != 0) {
    Common::SetFileError(Common::kErrRead, name);
    return kCreateFailed;
  }
  const uint32_t savedRecno = c.recno;
  const auto savedKey = c.key;
  Zet00::PushTablePosition(slot);
  const std::vector<uint16_t> fields = ExportedFields(t);
  std::string line;
  if (header) {
    BuildLine(t, fields, format, ansi, true, line);
    file.Write(line);
  }
  const uint32_t total = c.accessMode == kAccessMarks ? c.accessMarks.Count() : uint32_t(std::max(t.recordCount, 0));
  TProgress steps(progress, total);
  bool end = false, stopped = false;
  t.orderMode = ZetTable::kOrderRecords;
  for (c.recno = FirstOrLastRecordNo(c, t, true, end); !end && !file.Failed();
       c.recno = NextOrPriorRecordNo(c, t, true, end)) {
    if (c.accessMode == kAccessIndex) Zet00::SetKeyRecordNumber(c.key.data(), c.recno);
    if (Zet01::ReadRecord(slot, c.recno) != 0) {
      Common::SetFileError(Common::kErrRead, t.fileName);
      stopped = true;
      break;
    }
    if (Selected(selection)) {
      BuildLine(t, fields, format, ansi, false, line);
      file.Write(line);
    }
    if (!steps.Count()) {
      Common::SetError(Zet00::kErrBreak, "");
      stopped = true;
      break;
    }
  }
  steps.Finish();
  Zet00::PopTablePosition(slot);
  c.recno = savedRecno;
  c.key = savedKey;
  DiscardTablePosition(c, t);
  if (file.Close() != 0) {
    Common::SetFileError(Common::kErrWrite, name);
    return kWriteFailed;
  }
  return stopped ? kStopped : 0;
}

// Compiles an assignment list for the cursor's table (current): 0, or the
// engine error (recorded with an empty argument).
uint16_t CompileAssignments(int slot, const char* text, ShortStr& code) {
  ClearCompileErrors();
  const std::string_view in = TextIn(text, ShortStr::kMax + 1);
  if (in.size() > ShortStr::kMax) {
    Common::SetError(kErrFormula, "");
    return kErrFormula;
  }
  code = ShortStr(in);
  uint64_t tables = 0;
  if (const uint16_t e = Zet02::CompileExpression(code, tables); e != 0) {
    Common::SetError(e, "");
    return e;
  }
  if ((tables & ~(uint64_t(1) << (slot - 1))) != 0) {
    Common::SetError(Formeln::kErrNotAllowed, "");
    return Formeln::kErrNotAllowed;
  }
  return 0;
}

uint64_t SetOf(int slot) { return uint64_t(1) << (slot - 1); }

}  // namespace

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

int32_t ZetTableImport(int32_t cursor, const char* selection, const char* fileName, const char* accessCode,
                       uint32_t tableKey, uint8_t format, const int16_t* columnMap, uint8_t header, uint8_t ansi,
                       ZetProgressProc progress, uint8_t unused) {
  (void)accessCode;
  (void)tableKey;
  (void)unused;
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  ClearLastError();
  TCurrentTable current(c.relation);
  if ((t.openModeWord & ZetTable::kRightAppend) == 0) {
    Common::SetFileError(kErrIllegalOp, t.fileName);
    Common::ReplaceLastErrorText("Neueingabe nicht erlaubt");
    return kNoAppendRight;
  }
  if (format > 2) return kNotPossible;
  ShortStr code;
  if (const int32_t position = LoadAndCompile(c, t, selection, code); position != 0) return position;
  return ImportText(c, t, code, fileName, format, columnMap, header != 0, ansi != 0, progress);
}

int32_t ZetTableExport(int32_t cursor, const char* selection, const char* fileName, uint8_t format, uint8_t ansi,
                       uint8_t header, ZetProgressProc progress) {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  ClearLastError();
  TCurrentTable current(c.relation);
  if (format > 3) return kNotPossible;
  ShortStr code;
  if (const int32_t position = LoadAndCompile(c, t, selection, code); position != 0) return position;
  return ExportText(c, t, code, fileName, format, ansi != 0, header != 0, progress);
}

int32_t ZetTableCheckReplacement(int32_t cursor, const char* assignment) {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  TCurrentTable current(c.relation);
  ShortStr code;
  if (const uint16_t e = CompileAssignments(c.relation, assignment, code); e != 0) return -int32_t(e);
  const std::vector<uint8_t> saved = t.recordBuffer;
  t.recordBuffer = c.record;
  const int e = Formeln::ApplyAssignments(code.view(), true, SetOf(c.relation));
  t.recordBuffer = saved;
  if (e != 0) {
    Common::SetError(uint16_t(e), "");
    return -e;
  }
  return 0;
}

int32_t ZetTableReplace(int32_t cursor, const char* selection, const char* assignment, ZetProgressProc progress,
                        uint32_t unused) {
  (void)unused;
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  const int slot = c.relation;
  Common::BreakRequested = false;
  TCurrentTable current(slot);
  ShortStr select;
  if (CompileSelection(selection, select) != 0) return kSelectionUnusable;
  ShortStr code;
  if (CompileAssignments(slot, assignment, code) != 0) return kAssignmentUnusable;
  LoadCursorIntoTable(c, t);
  if (Formeln::ApplyAssignments(code.view(), true, SetOf(slot)) != 0) {
    Common::SetError(kErrFormula, "");
    DiscardTablePosition(c, t);
    return kAssignmentUnusable;
  }
  const bool marked = c.accessMode == kAccessMarks;
  std::vector<uint32_t> records;
  if (marked)
    for (uint32_t m = MarkLists::MarkListFirst(c.accessMarks); m != 0 && MarkLists::EndFlag() == 0;
         m = MarkLists::MarkListNext(c.accessMarks, m))
      records.push_back(m);
  const uint32_t total = marked ? uint32_t(records.size()) : uint32_t(std::max(t.recordCount, 0));
  const bool notify = Zet01::NotifySwitch();
  Zet01::SetNotifySwitch(false);
  ++c.editDepth;
  Zet00::PushTablePosition(slot);
  t.orderMode = ZetTable::kOrderRecords;
  TProgress steps(progress, total);
  int32_t changed = 0;
  for (uint32_t i = 0; i < total; ++i) {
    if (!steps.Count()) break;
    const uint32_t recno = marked ? records[i] : i + 1;
    if (EditedByOther(c, recno)) continue;
    t.currentRecord = recno;
    if (Zet01::ReadRecord(slot, recno) != 0) {
      Common::SetFileError(Common::kErrRead, t.fileName);
      break;
    }
    if (!Selected(select)) continue;
    if (const int e = Formeln::ApplyAssignments(code.view(), false, SetOf(slot)); e != 0) {
      Common::SetError(uint16_t(e), "");
      break;
    }
    ++changed;
  }
  Zet01::FlushTable(slot, true);
  Zet00::PopTablePosition(slot);
  Zet01::SetNotifySwitch(notify);
  if (changed > 0) NotifyCursors(slot, cursor);
  if (c.editDepth > 0) --c.editDepth;
  if (c.recno != 0) RereadCursorRecord(c, t);
  DiscardTablePosition(c, t);
  return changed;
}

}  // extern "C"
