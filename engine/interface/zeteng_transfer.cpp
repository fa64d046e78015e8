// Records of a cursor's table written to delimited text files and read back
// from them, copied into and out of another table file, and an assignment
// run over every selected record (replace).
//
// Formats (see textparser.h for the file format itself):
//   | code | export                                   | import              |
//   |------|------------------------------------------|---------------------|
//   | 0    | ";" between values                       | fields split at ";" |
//   | 1    | "," between values                       | fields split at "," |
//   | 2    | one value per text line                  | the whole file is   |
//   |      |                                          | one record          |
//   | 3    | "," with every value in quotes           | refused (-19)       |
//   | 4    | a new table file of the same fields      | records of another  |
//   |      |                                          | table file          |
// Lines end with CR LF. Values are the fields' text forms (numbers without
// leading blanks), in the OEM code page unless the ANSI flag is set.
// Exported are the fields with a display width and a name, except identifier,
// memo and formula fields; the header line holds their names.
//
// A table-file export creates the file with the table's fields, version,
// access code and key (no user indexes: their files are named by the index
// and would be another table's) and copies the selected records into it,
// fields paired by name, memos and blobs carried, the identifiers and the
// identifier counter kept. A table-file import opens the file read-only
// (or takes it where it is open already) and copies its records in record
// order through the column map (entry k names the source's user field for
// the target's user field k); identifiers are kept only when the map pairs
// the identifier fields of the same name and the target was empty.
//
// Exports walk the cursor's order (its marks in marked order); a selection
// that an index of the table can answer walks that index inside the key
// range the selection allows, so only records that may match are read.
//
// What always holds:
//   1. Each run makes the cursor's table current and restores the caller's
//      current table; the cursor keeps its record and order (an import into
//      an empty cursor moves it to the first record).
//   2. The last error is cleared first and tells afterwards why a run stopped.
//      Answers: a positive compile-error position of the selection; -1, -2,
//      -3 the file could not be opened, created or written; -203 a field
//      value, a syntax error of the file, a failed copy or a break stopped the
//      run (the records before it stay appended); -19 a format that cannot be
//      read or written; -30 no right to append; -101 a bad cursor; else 0.
//   3. While a run appends or changes records the other cursors are not told
//      record by record; they are told once when the run ends, and the table
//      is flushed then, also when the run was stopped.
//   4. A record that an import does not append (the selection refused it, a
//      value failed) leaves no memo or blob behind.
//   5. No run writes over an open table: an export to the file of an open
//      table is refused, and an import of the cursor's own table file too.
//      A table that a run opened is closed again before it answers.
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/textparser.h"
#include "engine/interface/zeteng.h"
#include "engine/language/compiler.h"
#include "engine/language/formulas.h"
#include "engine/language/selection.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
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
constexpr uint16_t kErrAlreadyOpen = 35;
constexpr uint16_t kErrTooManyTables = 94;
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

char SeparatorOf(uint8_t format) { return format == 0 ? ';' : format == 2 ? '\r' : ','; }

// The lines of a text export: the exported fields' values (or names)
// between separators, ended by CR LF.
class TLineBuilder {
 public:
  TLineBuilder(const TZetTable& t, uint8_t format, bool ansi) : t_(t), format_(format), ansi_(ansi) {
    for (uint16_t n = 1; n <= t.fieldCount; ++n) {
      const uint8_t type = t.FieldType(n);
      if (t.Shown(n) == 0 || t.StoredName(n).empty() || type == Common::kTypeAutoNumber ||
          type == Common::kTypeMemo || (t.TypeByte(n) & ZetTable::kTypeHasFormula) != 0)
        continue;
      const bool number = type == Common::kTypeInteger || type == Common::kTypeReal || type == Common::kTypeByte;
      fields_.push_back({n, number});
    }
  }
  void Names(std::string& line) const {
    Build(line, [&](const TField& f) { return Common::NameOf(t_.StoredName(f.n)); });
  }
  // The values of the record in the table's buffer; numbers without their
  // leading blanks.
  void Values(std::string& line) const {
    Build(line, [&](const TField& f) {
      ShortStr text = ZetTable::FieldText(t_, f.n, t_.recordBuffer.data());
      if (f.number) {
        size_t blanks = 0;
        while (blanks < text.size() && text.view()[blanks] == ' ') ++blanks;
        if (blanks > 0) text = ShortStr(text.view().substr(blanks));
      }
      return text;
    });
  }

 private:
  struct TField {
    uint16_t n;
    bool number;
  };
  template <typename Text>
  void Build(std::string& line, Text text) const {
    line.clear();
    const char separator = SeparatorOf(format_);
    for (size_t i = 0; i < fields_.size(); ++i) {
      if (i > 0) {
        if (format_ == 2)
          line += "\r\n";
        else
          line += separator;
      }
      ShortStr value = text(fields_[i]);
      ToFile(value, ansi_);
      TextTransfer::AppendValue(line, value.view(), separator, format_ == 3);
    }
    line += "\r\n";
  }

  const TZetTable& t_;
  uint8_t format_;
  bool ansi_;
  std::vector<TField> fields_;
};

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

// Gives back the memos and blobs of the record buffer that no record names.
void DropMemos(TZetTable& t) {
  for (uint16_t n = 1; n <= t.fieldCount; ++n) {
    const uint8_t type = t.FieldType(n);
    if ((type != Common::kTypeMemo && type != Common::kTypeBlob) || !t.IsStored(n)) continue;
    Common::FieldValue value;
    Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(n), t.version, value);
    if (value.block == 0) continue;
    if (type == Common::kTypeMemo)
      WINMEMOS::DeleteMemo(t.memoFile, value.block);
    else
      WinBlobs::DeleteBlob(t.blobFile, value.block);
  }
}

// The engine error of a text that a field refused (SetFieldText's answer).
uint16_t FieldError(int answer) {
  return answer == ZetTable::kTextBadDate || answer == ZetTable::kTextRefused ? kErrTypes : kErrBadNumber;
}

// The user fields that the column map names, as (column, field) pairs.
std::vector<TFieldPair> MappedFields(int slot, const TZetTable& t, const int16_t* map) {
  std::vector<TFieldPair> mapped;
  if (!map) return mapped;
  for (size_t k = 0; k < std::min<size_t>(kMapEntries, t.userFieldCount); ++k) {
    if (map[k] <= 0) continue;
    const uint16_t n = ZetTable::NthUserField(slot, int32_t(k + 1));
    if (n != 0) mapped.push_back({uint16_t(map[k]), n});
  }
  return mapped;
}

// What an import run appended and why it stopped.
struct TImportRun {
  int slot;
  int32_t cursor;
  TZetTable& t;
  ShortStr& selection;
  uint32_t appended = 0;
  uint16_t error = 0;      // the field's error, 114 for a break, 3 for a write
  std::string failedText;  // the text of the column being processed

  // Starts a record: the buffer cleared with the next record number preset.
  void Begin() {
    ZetTable::ClearRecordBuffer(slot);
    t.currentRecord = uint32_t(std::max(t.recordCount, 0)) + 1;
  }
  // Appends the record of the buffer when the selection takes it, with its
  // automatic number (unless it keeps the one it has) and its formulas:
  // false when the run must stop.
  // With a source, its texts paired with L and R fields are resolved last
  // (StoreResolvedFields), only for a record the selection takes.
  bool Append(bool keepNumber, TZetTable* source = nullptr, const std::vector<TFieldPair>* pairs = nullptr) {
    if (!Selected(selection)) {
      DropMemos(t);
      return true;
    }
    if (!keepNumber && t.autoNumberField != 0 && Zet01::AssignAutoNumber(slot) != 0)
      return Fail(Common::kErrWrite, {});
    if (Zet01::FormulaHook) Zet01::FormulaHook(slot);
    if (source && pairs)
      if (const int e = StoreResolvedFields(*source, slot, *pairs); e != 0) return Fail(uint16_t(e), {});
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

// The frame of an import: the table flushed and its position kept, the other
// cursors told once at the end, the run's stop recorded as the last error.
// run(importRun) takes the records; it answers 0 or the answer of a stop
// that it recorded itself. Answers 0 or -203.
template <typename Run>
int32_t RunImport(TCursor& c, TZetTable& t, ShortStr& selection, Run run) {
  const int slot = c.relation;
  Zet01::FlushTable(slot, true);
  Zet00::PushTablePosition(slot);
  const bool notify = Zet01::NotifySwitch();
  Zet01::SetNotifySwitch(false);
  TImportRun importRun{slot, HandleOf(c), t, selection, 0, 0, {}};
  int32_t result = run(importRun);
  Zet01::FlushTable(slot, true);
  Zet01::SetNotifySwitch(notify);
  if (importRun.appended > 0) NotifyCursors(slot, HandleOf(c));
  Zet00::PopTablePosition(slot);
  Common::BreakRequested = false;
  if (importRun.error != 0) {
    Common::SetError(importRun.error, "");
    if (importRun.error != Zet00::kErrBreak && importRun.error != Common::kErrOutOfMemory)
      Common::ReplaceLastErrorText("Erfolgreich importiert: " + std::to_string(importRun.appended) + ", Feld: " +
                                   importRun.failedText);
    result = kStopped;
  }
  if (c.recno == 0 && t.recordCount > 0)
    GoFirstOrLast(c, t, true);
  else
    DiscardTablePosition(c, t);
  return result;
}

int32_t ImportText(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, uint8_t format,
                   const int16_t* map, bool header, bool ansi, ZetProgressProc progress) {
  const std::string name(TextIn(fileName));
  TextTransfer::TTextFileParser parser(name, TextTransfer::kQuote, SeparatorOf(format));
  if (parser.Open() != 0) {
    Common::SetFileError(kErrOpen, name);
    return kOpenFailed;
  }
  std::vector<TFieldPair> mapped = MappedFields(c.relation, t, map);
  std::erase_if(mapped, [&](const TFieldPair& m) { return t.FieldType(m.to) == Common::kTypeAutoNumber; });
  return RunImport(c, t, selection, [&](TImportRun& run) -> int32_t {
    const int32_t size = parser.SizeBlocks();
    if (progress) progress(0, size);
    std::vector<std::string> columns;
    std::string converted;  // a column's text in the Windows code page
    // Takes one line as a record: false when the run must stop.
    auto take = [&]() {
      run.Begin();
      for (const TFieldPair& m : mapped) {
        if (m.from > columns.size()) continue;
        const std::string& column = columns[m.from - 1];
        if (!ansi) converted = FromFile(column, false);
        const std::string& text = ansi ? column : converted;
        if (t.FieldType(m.to) == Common::kTypeMemo) {
          if (!PutMemo(t, m.to, text)) return run.Fail(Common::kErrWrite, text);
          continue;
        }
        if (const int answer = ZetTable::SetFieldText(t, m.to, t.recordBuffer.data(), text); answer != 0)
          return run.Fail(FieldError(answer), text);
      }
      return run.Append(false);
    };
    if (header) parser.ReadLine(columns);
    for (uint32_t line = 1; parser.ReadLine(columns) == 0; ++line) {
      if (line % kBreakPollLines == 0 && Common::UserBreakRequested()) {
        run.error = Zet00::kErrBreak;
        return 0;
      }
      const bool goOn = take();
      if (progress) progress(parser.PositionBlocks(), size);
      if (!goOn) return 0;
    }
    if (progress) progress(size, size);
    if (parser.State() < 0) {
      Common::SetError(kErrImport, "");
      Common::ReplaceLastErrorText(std::string(Common::MessageText(kErrImport)) + ": " + parser.ErrorText());
      return kStopped;
    }
    return 0;
  });
}

// A table file that a run opened into the next slot, or found open in
// another one; closed again (or its position given back) by its end.
class TOtherTable {
 public:
  ~TOtherTable() {
    if (slot_ == 0) return;
    if (opened_) {
      Zet01::CloseTable(slot_);
      ZetTable::SetOpenCount(slot_ - 1);
    } else {
      Zet00::PopTablePosition(slot_);
    }
  }
  // Opens the file (or takes the slot it is open in): 0 or the error
  // (recorded).
  int Open(std::string_view name, uint16_t openMode, uint32_t key, const ShortStr& code, bool takeOpen) {
    if (takeOpen) {
      if (const int open = Zet01::OpenSlotOfFile(name); open != 0) {
        slot_ = open;
        Zet00::PushTablePosition(open);
        return 0;
      }
    }
    const int slot = ZetTable::OpenCount() + 1;
    if (slot > ZetTable::kMaxOpenTables) {
      Common::SetError(kErrTooManyTables, "");
      return kErrTooManyTables;
    }
    if (const int e = Zet01::OpenTable(slot, openMode, name, 0, key, code.view()); e != 0) return e;
    ZetTable::SetOpenCount(slot);
    slot_ = slot;
    opened_ = true;
    return 0;
  }
  // Closes a table the run opened: 0 or the error of its last writes.
  int Close() {
    if (!opened_) return 0;
    const int e = Zet01::CloseTable(slot_);
    ZetTable::SetOpenCount(slot_ - 1);
    slot_ = 0;
    return e;
  }
  int Slot() const { return slot_; }
  TZetTable& Table() const { return *ZetTable::Table(slot_); }

 private:
  int slot_ = 0;
  bool opened_ = false;
};

// The identifier field's name of a table; empty without one.
ShortStr IdentifierName(const TZetTable& t) {
  return t.autoNumberField != 0 ? Common::NameOf(t.StoredName(t.autoNumberField)) : ShortStr();
}

// Copies the pairs of the source's record into the target's buffer: false
// when a memo or blob could not be written (recorded).
bool CopyPairs(TZetTable& source, TZetTable& target, const std::vector<TFieldPair>& pairs) {
  for (const TFieldPair& p : pairs)
    if (!CopyFieldValue(source, target, p)) return false;
  return true;
}

// Sets the target's identifier counter to the source's when it is lower.
int CarryIdentifierCounter(int targetSlot, const TZetTable& source) {
  TZetTable& target = *ZetTable::Table(targetSlot);
  if (target.autoNumberField == 0 || source.nextAutoNumber <= target.nextAutoNumber) return 0;
  ZetTable::ClearRecordBuffer(targetSlot);
  bytes::PutI32(target.recordBuffer.data() + target.FieldOffset(target.autoNumberField),
                int32_t(std::min<uint32_t>(source.nextAutoNumber - 1, INT32_MAX)));
  return Zet01::AssignAutoNumber(targetSlot);
}

int32_t ImportTable(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, const char* accessCode,
                    uint32_t tableKey, const int16_t* map, ZetProgressProc progress) {
  const std::string name(TextIn(fileName));
  ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
  UPPERCAS::UpperStr(code);
  if (Zet01::OpenSlotOfFile(name) == c.relation) {
    Common::SetFileError(kErrAlreadyOpen, name);
    return kOpenFailed;
  }
  TOtherTable other;
  if (other.Open(name, 0, tableKey, code, true) != 0) return kOpenFailed;
  TZetTable& source = other.Table();
  std::vector<TFieldPair> pairs;
  for (const TFieldPair& m : MappedFields(c.relation, t, map))
    if (const uint16_t from = ZetTable::NthUserField(other.Slot(), m.from); from != 0) pairs.push_back({from, m.to});
  // Identifiers are kept only in an empty table, between identifier fields
  // of the same name; otherwise the target hands out its own.
  const bool keepIds = t.recordCount == 0 && !IdentifierName(t).empty() && IdentifierName(t) == IdentifierName(source) &&
                       std::any_of(pairs.begin(), pairs.end(), [&](const TFieldPair& p) {
                         return p.from == source.autoNumberField && p.to == t.autoNumberField;
                       });
  if (!keepIds)
    std::erase_if(pairs, [&](const TFieldPair& p) { return t.FieldType(p.to) == Common::kTypeAutoNumber; });
  source.recordBuffer.resize(source.recordLength);
  return RunImport(c, t, selection, [&](TImportRun& run) -> int32_t {
    const uint32_t total = uint32_t(std::max(source.recordCount, 0));
    TProgress steps(progress, total);
    for (uint32_t r = 1; r <= total; ++r) {
      if (Zet00::ReadRecordHook(other.Slot(), r, source.recordBuffer.data()) != 0) {
        Common::SetFileError(Common::kErrRead, source.fileName);
        return kStopped;
      }
      source.currentRecord = r;
      run.Begin();
      if (!CopyPairs(source, t, pairs)) {
        run.Fail(Common::kErrWrite, {});
        return 0;
      }
      if (!run.Append(keepIds, &source, &pairs)) return 0;
      if (!steps.Count()) {
        run.error = Zet00::kErrBreak;
        return 0;
      }
    }
    steps.Finish();
    if (keepIds && run.appended > 0 && CarryIdentifierCounter(run.slot, source) != 0) run.error = Common::kErrWrite;
    return 0;
  });
}

// Walks the records an export takes, in the cursor's order (its marks in
// marked order). When an index answers the selection, only the records of
// that index's key range are read: in the cursor's own index order the range
// is walked, in record order its record numbers are gathered from the keys
// and read in order. take() gets each selected record in the table's buffer
// and answers false to stop (its failure recorded). Answers 0, or -203 when
// a read failed or the progress procedure stopped the walk (recorded), or
// take() stopped it.
template <typename Take>
int32_t ExportWalk(TCursor& c, TZetTable& t, ShortStr& selection, ZetProgressProc progress, Take take) {
  const int slot = c.relation;
  const uint32_t savedRecno = c.recno;
  const auto savedKey = c.key;
  Zet00::PushTablePosition(slot);
  uint8_t oldIndex = 0, oldOrder = 0;
  const bool chosen = Zet02::ChooseSearchIndex(selection, oldIndex, oldOrder);
  const bool inIndex = chosen && c.accessMode == kAccessIndex;
  std::vector<uint32_t> range;  // in record order: the records of the index's range
  if (chosen && !inIndex) {
    uint16_t e = 0;
    for (uint32_t r = Zet01::FirstOrLastRecNo(slot, true, e); e == 0 && r != 0; r = Zet01::NextOrPriorRecNo(slot, true, e))
      range.push_back(r);
    std::sort(range.begin(), range.end());
  }
  size_t next = 0;
  // The next record of the walk; end set after the last.
  auto step = [&](bool first, bool& end) -> uint32_t {
    if (inIndex) {
      uint16_t e = 0;
      const uint32_t r = first ? Zet01::FirstOrLastRecNo(slot, true, e) : Zet01::NextOrPriorRecNo(slot, true, e);
      end = e != 0 || r == 0;
      return r;
    }
    if (chosen) {
      end = next >= range.size();
      return end ? 0 : range[next++];
    }
    if (!first && c.accessMode == kAccessIndex) Zet00::SetKeyRecordNumber(c.key.data(), c.recno);
    c.recno = first ? FirstOrLastRecordNo(c, t, true, end) : NextOrPriorRecordNo(c, t, true, end);
    return c.recno;
  };
  const uint32_t total = c.accessMode == kAccessMarks ? c.accessMarks.Count() : uint32_t(std::max(t.recordCount, 0));
  TProgress steps(progress, total);
  int32_t result = 0;
  bool end = false;
  for (uint32_t recno = step(true, end); !end; recno = step(false, end)) {
    if (Zet00::ReadRecordHook(slot, recno, t.recordBuffer.data()) != 0) {
      Common::SetFileError(Common::kErrRead, t.fileName);
      result = kStopped;
      break;
    }
    t.currentRecord = recno;
    if (Selected(selection) && !take()) {
      result = kStopped;
      break;
    }
    if (!steps.Count()) {
      Common::SetError(Zet00::kErrBreak, "");
      result = kStopped;
      break;
    }
  }
  steps.Finish();
  if (chosen) Zet02::RestoreSearchIndex(oldIndex, oldOrder);
  Zet00::PopTablePosition(slot);
  c.recno = savedRecno;
  c.key = savedKey;
  DiscardTablePosition(c, t);
  return result;
}

int32_t ExportText(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, uint8_t format, bool ansi,
                   bool header, ZetProgressProc progress) {
  const std::string name(TextIn(fileName));
  TextTransfer::TTextFileWriter file;
  if (file.Create(name) != 0) {
    // A file that cannot be made (a missing folder, no right to write there)
    // is a failure to write it, as for a table-file export.
    Common::SetFileError(Common::kErrWrite, name);
    DiscardTablePosition(c, t);
    return kCreateFailed;
  }
  TLineBuilder builder(t, format, ansi);
  std::string line;
  if (header) {
    builder.Names(line);
    file.Write(line);
  }
  const int32_t result = ExportWalk(c, t, selection, progress, [&] {
    builder.Values(line);
    file.Write(line);
    return !file.Failed();
  });
  if (file.Close() != 0) {
    Common::SetFileError(Common::kErrWrite, name);
    return kWriteFailed;
  }
  return result;
}

// The pairs of a copy into a table of the same fields: each user field of
// the target with the source field of its name, where the types carry a
// value; identifier fields only when identifiers are kept.
std::vector<TFieldPair> PairsByName(int sourceSlot, const TZetTable& source, int targetSlot, const TZetTable& target,
                                    bool keepIds) {
  std::vector<TFieldPair> pairs;
  for (int32_t k = 1; k <= target.userFieldCount; ++k) {
    const uint16_t to = ZetTable::NthUserField(targetSlot, k);
    if (to == 0 || !target.IsStored(to)) continue;
    const ShortStr name = Common::NameOf(target.StoredName(to));
    for (int32_t j = 1; j <= source.userFieldCount; ++j) {
      const uint16_t from = ZetTable::NthUserField(sourceSlot, j);
      if (from == 0 || !source.IsStored(from) || Common::NameOf(source.StoredName(from)) != name) continue;
      const bool ids = source.FieldType(from) == Common::kTypeAutoNumber || target.FieldType(to) == Common::kTypeAutoNumber;
      if ((!ids || keepIds) && PairableTypes(source.FieldType(from), target.FieldType(to))) pairs.push_back({from, to});
      break;
    }
  }
  return pairs;
}

int32_t ExportTable(TCursor& c, TZetTable& t, ShortStr& selection, const char* fileName, ZetProgressProc progress) {
  const std::string name(TextIn(fileName));
  // A new table of the same fields, its identifier counter at 1; an open
  // table's file is never written over.
  std::unique_ptr<TZetTable> copy = TZetTable::CreateCopy(t, t.version);
  for (int s = ZetTable::kIndexSlots - 1; s > 0; --s)
    if (copy->indexes[size_t(s)] && Zet00::IsUserIndex(*copy, s)) Zet00::RemoveIndexSlot(*copy, s);
  copy->nextAutoNumber = 1;
  Zet06::ClearCreateQueue();
  const int created = Zet01::OpenSlotOfFile(name) != 0
                          ? kErrAlreadyOpen
                          : Zet06::CreateTable(*copy, name, Common::ScrambleString(t.tableCode), true, 0, t.tableKey);
  if (created != 0 && created != Zet06::kErrRelationExists) {
    Common::SetFileError(Common::kErrWrite, name);
    DiscardTablePosition(c, t);
    return kCreateFailed;
  }
  TOtherTable other;
  if (other.Open(name, ZetTable::kRightsMask, t.tableKey, t.tableCode, false) != 0) {
    DiscardTablePosition(c, t);
    return kCreateFailed;
  }
  TZetTable& target = other.Table();
  const int targetSlot = other.Slot();
  const std::vector<TFieldPair> pairs = PairsByName(c.relation, t, targetSlot, target, true);
  int32_t result = ExportWalk(c, t, selection, progress, [&] {
    ZetTable::ClearRecordBuffer(targetSlot);
    if (!CopyPairs(t, target, pairs)) return false;
    if (Zet01::FormulaHook) Zet01::FormulaHook(targetSlot);
    if (const int e = Zet01::AppendRecord(targetSlot, false, 0); e != 0) {
      Common::SetFileError(uint16_t(e), name);
      return false;
    }
    return true;
  });
  if (result == 0 && CarryIdentifierCounter(targetSlot, t) != 0) result = kStopped;
  if (other.Close() != 0 && result == 0) {
    Common::SetFileError(Common::kErrWrite, name);
    result = kWriteFailed;
  }
  return result;
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

int CopyRecordByNames(int slot, int targetSlot) {
  TZetTable& source = *ZetTable::Table(slot);
  TZetTable& target = *ZetTable::Table(targetSlot);
  const std::vector<TFieldPair> pairs = PairsByName(slot, source, targetSlot, target, true);
  ZetTable::ClearRecordBuffer(targetSlot);
  if (!CopyPairs(source, target, pairs)) {
    Common::SetFileError(Common::kErrWrite, target.fileName);
    return Common::kErrWrite;
  }
  if (Zet01::FormulaHook && !target.formulas.empty()) {
    Zet01::FormulaHook(targetSlot);
    // A formula field that the source fills keeps the source's value.
    std::vector<TFieldPair> kept;
    for (const TFieldPair& p : pairs) {
      const uint8_t type = target.FieldType(p.to);
      if (type != Common::kTypeMemo && type != Common::kTypeBlob &&
          std::any_of(target.formulas.begin(), target.formulas.end(),
                      [&](const ZetTable::TFormula& f) { return f.field == p.to; }))
        kept.push_back(p);
    }
    CopyPairs(source, target, kept);
  }
  return StoreResolvedFields(source, targetSlot, pairs);
}

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

int32_t ZetTableImport(int32_t cursor, const char* selection, const char* fileName, const char* accessCode,
                       uint32_t tableKey, uint8_t format, const int16_t* columnMap, uint8_t header, uint8_t ansi,
                       ZetProgressProc progress, uint8_t unused) try {
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
  if (format == 3 || format > 4) return kNotPossible;
  ShortStr code;
  if (const int32_t position = LoadAndCompile(c, t, selection, code); position != 0) return position;
  if (format == 4) return ImportTable(c, t, code, fileName, accessCode, tableKey, columnMap, progress);
  return ImportText(c, t, code, fileName, format, columnMap, header != 0, ansi != 0, progress);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableExport(int32_t cursor, const char* selection, const char* fileName, uint8_t format, uint8_t ansi,
                       uint8_t header, ZetProgressProc progress) try {
  TResolved r = Resolve(cursor);
  if (r.error) return r.error;
  TCursor& c = *r.cursor;
  TZetTable& t = *r.table;
  ClearLastError();
  TCurrentTable current(c.relation);
  if (format > 4) return kNotPossible;
  ShortStr code;
  if (const int32_t position = LoadAndCompile(c, t, selection, code); position != 0) return position;
  if (format == 4) return ExportTable(c, t, code, fileName, progress);
  return ExportText(c, t, code, fileName, format, ansi != 0, header != 0, progress);
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableCheckReplacement(int32_t cursor, const char* assignment) try {
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
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetTableReplace(int32_t cursor, const char* selection, const char* assignment, ZetProgressProc progress,
                        uint32_t unused) try {
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
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
