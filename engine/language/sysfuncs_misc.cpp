// System functions of text files (group 204), serial ports (205) and the
// miscellaneous group (207): array and bit-array functions, notes, memos
// and blobs, relation marking, program runs, table slots, texts and numbers
// that take more than one argument, and the page position.
//
// Every handler here reads its whole argument list itself, "(" to ")", and
// a function of group 207 without parameters takes an optional "()". The
// rules of every handler:
//   1. Arguments are read left to right; after the first error the rest is
//      not read and nothing acts.
//   2. Effects outside the result (files, ports, tables, marks, variables,
//      the clipboard, the page, program runs) happen only with the apply
//      flag; without it a function delivers 0 or the empty text, except the
//      pure functions of texts and numbers, which deliver their value.
//   3. A field argument F is a field token of an open table; the memo
//      functions take only memo fields and the blob functions only blob
//      fields (44 otherwise, also for anything that is not a field token).
//      Memo and blob functions (and ExecProg) also take a field path: they
//      act on the record it leads to, nothing when it leads to none, and
//      every table has its position back afterwards.
//   4. A text-file open that fails is a run error with the file's name: the
//      program never goes on writing to the standard output in its place.
//   5. Program texts run from files, memos and arrays have no line limit.
//   6. CloseDb(n) keeps what the later tables held (position, order, key
//      range, marks, record buffer) when they move down a number.
//   7. Halt ends the running job or program quietly, from any depth.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobrun.h"
#include "engine/language/lumocomm.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/sysalgo.h"
#include "engine/language/sysfuncs.h"
#include "engine/language/sysfuncs_args.h"
#include "engine/language/sysservices.h"
#include "engine/language/tableservices.h"
#include "engine/language/variables.h"
#include "engine/storage/dbase/dbfutil.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/fulltext/fulltext.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace SysFuncs {
namespace {

using namespace ByteCode;
using Zet02::TRunValue;
using ZetTable::TZetTable;

constexpr uint16_t kErrMemoState = 105;    // the table cannot take memos
constexpr uint16_t kErrTooManyTables = 59;
constexpr uint16_t kErrNoSuchTable = 88;
constexpr int32_t kBadSubstTable = -2;
constexpr int32_t kBadSubstField = -3;
constexpr int kMaxNoteTables = 2;
// OpenDb opens no table while this many are open.
constexpr int kMaxTablesOfOpenDb = 61;
// Defaults of the serial functions left out.
constexpr int32_t kDefaultQueue = 1024;
constexpr int32_t kDefaultBaud = 9600;
constexpr int32_t kDefaultDataBits = 8;
constexpr int32_t kMaxRead = 255;

// "(" a first argument of the type.
bool First(uint16_t type, TRunValue& v) { return Zet02::EvalParenArg(type, v); }
bool FirstNumber(int32_t& n) {
  TRunValue v;
  if (!First(Zet02::kValReal, v)) return false;
  n = Zet02::ValueToInteger(v.number);
  return true;
}
bool FirstText(ShortStr& s) {
  TRunValue v;
  if (!First(Zet02::kValString, v)) return false;
  s = v.text;
  return true;
}
bool Close() { return Zet02::ExpectCloseParen() && !Failed(); }

// The optional "()" of a function without parameters.
bool NoArguments() { return !Zet02::MatchCode(tkOpen) || Close(); }

// A variable named directly: "(" or "," then its token.
bool VariableAfter(uint8_t separator, uint16_t& variable) {
  return Zet02::ExpectCode(separator) && Zet02::ReadVariableArg(variable);
}

// A field named directly after separator: an open table's field of one of
// the wanted types (44 otherwise); a field path too where paths are allowed.
struct TFieldArg {
  int table = 0;
  uint16_t field = 0;
};
bool FieldAfter(uint8_t separator, Zet02::TFieldRef& ref, std::initializer_list<int> types, bool allowPath) {
  if (!Zet02::ExpectCode(separator)) return false;
  const uint8_t next = Zet02::PeekCode();
  if (next != tkField && !(allowPath && next == tkFieldChain)) {
    Zet02::FailRun(Zet02::kErrTypes);
    return false;
  }
  if (!Zet02::ReadFieldRefArg(allowPath, ref)) return false;
  if (!Zet02::TableNumberInRange(ref.table)) {
    Zet02::FailRun(Zet02::kErrTableExpected);
    return false;
  }
  const TZetTable& t = *ZetTable::Table(ref.table);
  const int type = t.ValidField(ref.field) ? t.FieldType(ref.field) : -1;
  if (std::find(types.begin(), types.end(), type) == types.end()) {
    Zet02::FailRun(Zet02::kErrTypes);
    return false;
  }
  return true;
}

// A followed field path goes back to where it was when the function ends.
struct TFollowed {
  Zet02::TFieldRef& ref;
  ~TFollowed() { Zet02::ReleaseFieldRef(ref); }
};

// The first block the current record names in field f.
uint32_t FirstBlock(const TFieldArg& f) {
  const TZetTable& t = *ZetTable::Table(f.table);
  if (t.recordBuffer.size() < t.FieldOffset(f.field) + 4) return 0;
  return bytes::GetU32(t.recordBuffer.data() + t.FieldOffset(f.field));
}
void StoreFirstBlock(const TFieldArg& f, uint32_t first) {
  TZetTable& t = *ZetTable::Table(f.table);
  t.recordBuffer.resize(std::max<size_t>(t.recordBuffer.size(), t.recordLength));
  bytes::PutU32(t.recordBuffer.data() + t.FieldOffset(f.field), first);
}

// ---- Memos ---------------------------------------------------------------------

// The memo of the current record as text: hard breaks as CR LF, soft breaks
// as one blank, as the memo transfer hands it out.
std::string MemoText(const TFieldArg& f) {
  dynstr::LineChain chain;
  WINMEMOS::ReadMemoLines(ZetTable::FileOwner(f.table)->memoFile, FirstBlock(f), chain);
  std::string text;
  for (const dynstr::LineNode* n = chain.get(); n; n = n->next.get()) {
    text += n->text.view();
    if (!n->next && n->continued != dynstr::kLineBreakFollows) break;
    text += n->continued == dynstr::kLineBreakFollows ? "\r\n" : " ";
  }
  WINMEMOS::FreeMemoLines(chain);
  return text;
}

// Writes text as the memo of the current record (appended to the memo there
// when append is set) and the record back; 0 or an engine error.
int StoreMemo(const TFieldArg& f, std::string text, bool append) {
  TZetTable& owner = *ZetTable::FileOwner(f.table);
  if (!owner.memoFile.open) return kErrMemoState;
  if (append) text = MemoText(f) + text;
  if (WINMEMOS::InitPutMemo(owner.memoFile) != 0) return kErrMemoState;
  WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
  const uint32_t first = WINMEMOS::DonePutMemo(owner.memoFile, FirstBlock(f));
  if (first == 0 && !text.empty()) return WINMEMOS::Status() != 0 ? int(WINMEMOS::Status()) : Common::kErrWrite;
  StoreFirstBlock(f, first);
  const int e = Zet02::WriteBackRecord(f.table);
  if (e == 0) EngineHooks::NotifyTableChanged(f.table, 0);
  return e;
}

// The whole of a file, lines ending in CR LF; 0 or the reader's error.
int ReadWholeFile(std::string_view name, std::string& text) {
  dynstr::LineChain chain;
  const int e = TextFiles::ReadTextFileLines(name, chain, 255);
  if (e != 0) return e;
  for (const dynstr::LineNode* n = chain.get(); n; n = n->next.get()) {
    text += n->text.view();
    if (n->continued == dynstr::kLineBreakFollows) text += "\r\n";
    else if (n->continued == dynstr::kPieceContinues) text += " ";
  }
  TextFiles::FreeLineChain(chain);
  return 0;
}

int MemoToFile(const TFieldArg& f, std::string_view name, bool append) {
  const std::string text = MemoText(f);
  if (RamFiles::IsRamTextName(name)) {
    if (!append) RamFiles::TextBufRewrite();
    else RamFiles::TextBufReset();  // writes append at the end
    RamFiles::TextBufWrite(text);
    RamFiles::TextBufClose();
    return 0;
  }
  std::FILE* out = std::fopen(std::string(name).c_str(), append ? "ab" : "wb");
  if (!out) return Common::kErrWrite;
  const bool ok = std::fwrite(text.data(), 1, text.size(), out) == text.size();
  return std::fclose(out) == 0 && ok ? 0 : Common::kErrWrite;
}

// ---- Program runs ----------------------------------------------------------------


std::vector<std::string> SplitLines(std::string_view text) {
  std::vector<std::string> lines;
  while (!text.empty()) {
    const size_t end = text.find_first_of("\r\n");
    lines.emplace_back(text.substr(0, end));
    if (end == std::string_view::npos) break;
    text.remove_prefix(end + (text.substr(end, 2) == "\r\n" ? 2 : 1));
  }
  return lines;
}

// ExecProg: a text file (every line of it), a memo field or a string array
// named directly; a plain variable is an expression like any other (its
// text names the file).
void ExecProg(bool apply, TRunValue& result) {
  if (!Zet02::ExpectCode(tkOpen)) return;
  const uint8_t next = Zet02::PeekCode();
  std::vector<std::string> lines;
  int error = 0;
  if (next == tkField || next == tkFieldChain) {
    Zet02::TFieldRef ref;
    if (!Zet02::ReadFieldRefArg(true, ref) || !Close()) return;
    if (!Zet02::TableNumberInRange(ref.table) || ZetTable::Table(ref.table)->FieldType(ref.field) != Common::kTypeMemo) {
      Zet02::FailRun(Zet02::kErrTypes);
      return;
    }
    TFollowed followed{ref};
    if (!apply || !Zet02::FollowFieldRef(ref)) return;
    lines = SplitLines(MemoText({ref.table, ref.field}));
  } else if (next == tkArrayVar) {
    uint16_t variable = 0;
    if (!Zet02::ReadVariableArg(variable) || !Close()) return;
    const std::vector<std::string>* elements = ZetVars::GetArrayStrings(variable);
    if (!elements) {
      Zet02::FailRun(Zet02::kErrTypes);
      return;
    }
    if (!apply) return;
    lines = *elements;
  } else {
    TRunValue name;
    int32_t flag = 1;
    if (!Zet02::EvalArg(Zet02::kValString, name) || !OptNumber(flag) || !Close() || !apply) return;
    dynstr::LineChain chain;
    error = TextFiles::ReadTextFileLines(name.text.view(), chain, 255);
    for (const dynstr::LineNode* n = chain.get(); n; n = n->next.get()) lines.emplace_back(n->text.view());
    TextFiles::FreeLineChain(chain);
  }
  SetReal(result, error != 0 ? error : JobRun::RunProgramText(lines));
}

// ---- Table slots -------------------------------------------------------------------

// OpenDb: the table in the next slot; its number.
int32_t OpenTableSlot(std::string_view name, std::string_view code, int32_t mode, int32_t key) {
  const int slot = ZetTable::OpenCount() + 1;
  if (slot > kMaxTablesOfOpenDb) {
    Zet02::FailRun(kErrTooManyTables);
    return 0;
  }
  ShortStr upper(code);
  UPPERCAS::UpperStr(upper);
  if (const int e = Zet01::OpenTable(slot, uint16_t(mode), name, 0, uint32_t(key), upper.view())) {
    Zet02::FailRun(e, name);
    return 0;
  }
  uint64_t open = ZetTable::OpenTableSet();
  ZetTable::IncludeHandle(open, slot);
  ZetTable::SetOpenTableSet(open);
  Zet01::BuildRelations(slot);
  LINKFILE::SelectPrimaryTable(0);
  return slot;
}

// What an open table holds beyond its files: position, order, key range,
// marks, record buffer and named texts; and how it was opened. CloseDb
// reopens the tables behind the closed one a number lower and gives each
// this back, so a program that moves on over them finds them as they were.
struct TOpenState {
  std::string path;
  uint16_t mode = 0;
  uint32_t key = 0;
  std::string code;
  int aliasOf = 0;  // an alias reads through this table (0: a table of its own)
  std::string aliasName;
  uint32_t currentRecord = 0;
  uint8_t orderMode = 0;
  uint8_t currentIndex = 0;
  std::string indexFile;  // the current index's file, to find it again
  std::array<uint8_t, ZetTable::kMaxKeySize> currentKey{};
  std::vector<uint8_t> lowLimit, highLimit, recordBuffer;
  MarkLists::TMarkList marks;
  decltype(TZetTable::namedSlots) namedSlots;
};

TOpenState SaveOpenState(const TZetTable& t) {
  TOpenState s;
  s.path = t.directory.str() + t.fileName.str();
  s.mode = t.openModeWord;
  s.key = t.tableKey;
  s.code = t.tableCode.str();
  s.aliasOf = t.aliasOf;
  s.aliasName = Common::BaseName(t.fileName.view()).str();
  s.currentRecord = t.currentRecord;
  s.orderMode = t.orderMode;
  s.currentIndex = t.currentIndex;
  if (t.currentIndex < t.indexes.size() && t.indexes[t.currentIndex]) s.indexFile = t.indexes[t.currentIndex]->fileName.str();
  s.currentKey = t.currentKey;
  s.lowLimit = t.lowLimit;
  s.highLimit = t.highLimit;
  s.recordBuffer = t.recordBuffer;
  s.marks = t.marks;
  s.namedSlots = t.namedSlots;
  return s;
}

void RestoreOpenState(TZetTable& t, const TOpenState& s) {
  t.currentRecord = std::min<uint32_t>(s.currentRecord, uint32_t(std::max(t.recordCount, 0)));
  t.orderMode = s.orderMode;
  t.currentIndex = s.currentIndex;
  // An index that went with the close (a temporary one) leaves record order.
  const bool indexThere = s.currentIndex < t.indexes.size() && t.indexes[s.currentIndex] &&
                          t.indexes[s.currentIndex]->fileName.view() == s.indexFile;
  if (s.orderMode == ZetTable::kOrderIndex && !indexThere) {
    t.orderMode = ZetTable::kOrderRecords;
  } else {
    t.currentKey = s.currentKey;
    t.lowLimit = s.lowLimit;
    t.highLimit = s.highLimit;
  }
  if (s.recordBuffer.size() == t.recordLength) t.recordBuffer = s.recordBuffer;
  t.marks = s.marks;
  t.namedSlots = s.namedSlots;
}

// CloseDb: table n closed, the tables after it opened again one number
// lower with what they held (TOpenState); an alias of a table that stays
// becomes an alias again, an alias of the closed table a table of its own.
// The current table moves with its table, and returns to 1 when it lies past
// the end. n < 0 closes all.
void CloseTableSlot(int32_t n) {
  if (n < 0) {
    Zet06::CloseTablesFrom(1);
    return;
  }
  if (!Zet02::TableNumberInRange(n)) {
    Zet02::FailRun(kErrNoSuchTable);
    return;
  }
  const std::string closedPath = ZetTable::Table(n)->directory.str() + ZetTable::Table(n)->fileName.str();
  std::vector<TOpenState> later;
  for (int h = n + 1; h <= ZetTable::OpenCount(); ++h) later.push_back(SaveOpenState(*ZetTable::Table(h)));
  int current = ZetTable::CurrentHandle();
  Zet06::CloseTablesFrom(n);
  int failed = 0;
  for (const TOpenState& s : later) {
    int slot = 0;
    if (s.aliasOf != 0 && s.aliasOf != n) {
      const int owner = s.aliasOf > n ? s.aliasOf - 1 : s.aliasOf;
      const int e = LINKFILE::OpenAlias(s.aliasName, owner);
      if (e == 0) slot = ZetTable::OpenCount();
      else if (failed == 0) failed = e;
    } else {
      slot = OpenTableSlot(s.aliasOf == n ? closedPath : s.path, s.code, s.mode, int32_t(s.key));
      if (slot == 0 && failed == 0) failed = Zet02::RunError();
    }
    if (slot != 0 && ZetTable::Table(slot)) RestoreOpenState(*ZetTable::Table(slot), s);
  }
  if (current > n) --current;
  if (current > ZetTable::OpenCount() || current < 1) current = ZetTable::OpenCount() > 0 ? 1 : 0;
  if (current != 0) LINKFILE::SelectPrimaryTable(current);
  if (failed > 0) Zet02::FailRun(failed);
}

// ---- Notes --------------------------------------------------------------------------

struct TNotes {
  std::string text[kMaxNoteTables];
  bool locked = false;
};
TNotes g_notes;

void Note(int which, TRunValue& result) {
  std::string& note = g_notes.text[which];
  if (!Zet02::MatchCode(tkOpen)) {
    SetText(result, note);
    return;
  }
  TRunValue v;
  if (!Zet02::EvalArg(Zet02::kValString, v) || !Close()) return;
  if (!g_notes.locked && Zet02::ApplyFlag()) note = v.text.view();
  SetText(result, v.text.view());
}

// ---- Texts -----------------------------------------------------------------------------

// FillStr: text, then repetitions of fill, set to exactly n characters.
ShortStr FillStr(std::string_view text, std::string_view fill, int32_t n) {
  if (fill.empty()) return ShortStr(text);
  const size_t width = size_t(std::clamp(n, 0, 255));
  std::string s(text);
  while (s.size() < width) s += fill;
  s.resize(width);
  return ShortStr(s);
}

// Str: the number with width, decimals, grouping, fill and decimal
// characters.
ShortStr NumberToText(double x, int32_t width, int32_t decimals, int32_t group, int32_t fill, int32_t point) {
  return Common::FormatReal(std::clamp(width, 0, 255), std::clamp(decimals, 0, 11), char(group), char(point),
                            char(fill), x);
}

// Subst(search, replacement, [html]) or Subst(search, table, field, [html]).
void Subst(bool apply, TRunValue& result) {
  ShortStr search;
  TRunValue second;
  if (!FirstText(search) || !Zet02::EvalCommaArg(0, second)) return;
  int32_t html = 0;
  std::string replacement;
  if (second.type == Zet02::kValString) {
    if (!OptNumber(html) || !Close() || !apply) return;
    replacement = html ? SysServices::HtmlForm(second.text.view()) : std::string(second.text.view());
  } else {
    int32_t field = 0;
    if (!Number(field) || !OptNumber(html) || !Close() || !apply) return;
    const int table = Zet02::ValueToInteger(second.number);
    if (!Zet02::TableNumberInRange(table)) return SetReal(result, kBadSubstTable);
    const TZetTable& t = *ZetTable::Table(table);
    if (!t.ValidField(uint16_t(field))) return SetReal(result, kBadSubstField);
    const TFieldArg f{table, uint16_t(field)};
    if (t.FieldType(f.field) == Common::kTypeMemo) {
      dynstr::LineChain chain;
      WINMEMOS::ReadMemoLines(ZetTable::FileOwner(table)->memoFile, FirstBlock(f), chain);
      const int32_t length = SysServices::FlattenPieces(chain.get(), html != 0, replacement);
      WINMEMOS::FreeMemoLines(chain);
      if (length < 0) return;
    } else {
      const std::string text = ZetTable::FieldText(t, f.field, t.recordBuffer.data()).str();
      replacement = html ? SysServices::HtmlForm(text) : text;
    }
  }
  SetReal(result, RamFiles::TextBufReplace(search.view(), replacement) ? 1 : 0);
}

// ---- Blobs ------------------------------------------------------------------------------

// PlaySound and BlobSize through a temporary cursor on the field's table.
void BlobThroughCursor(uint8_t code, const TFieldArg& f, TRunValue& result) {
  const int8_t cursor = EngineHooks::OpenTempCursor(f.table);
  if (cursor <= 0) {
    Zet02::FailRun(Zet02::kErrInterrupted);
    return;
  }
  if (code == 37) {
    SetReal(result, PrintCalls::PlaySound(cursor, ZetTable::FieldName(f.table, f.field).view()));
  } else {
    const int32_t length = WinBlobs::InitGetBlob(ZetTable::FileOwner(f.table)->blobFile, FirstBlock(f));
    WinBlobs::DoneGetBlob();
    SetReal(result, std::max(length, 0));
  }
  EngineHooks::CloseTempCursor(cursor);
}

// LinkBlob: a link to the file stored as the field's blob; the link's
// block, 0 when none was written.
int32_t LinkBlob(const TFieldArg& f, std::string_view name) {
  TZetTable& owner = *ZetTable::FileOwner(f.table);
  if (!owner.blobFile.open) return 0;
  const int32_t first = WinBlobs::PutBlobFileLink(owner.blobFile, FirstBlock(f), name, 0);
  if (first <= 0) return 0;
  StoreFirstBlock(f, uint32_t(first));
  return first;
}

// ---- Group 207 -------------------------------------------------------------------------

// The functions of a field named directly: memos and blobs (also over
// links: the record a field path leads to is the one they act on), and FSum.
void FieldFunction(uint8_t code, bool apply, TRunValue& result) {
  const bool memo = code == 3 || code == 5 || code == 57 || code == 58 || code == 59 || code == 63;
  Zet02::TFieldRef ref;
  if (code == 41) {
    if (!FieldAfter(tkOpen, ref, {Common::kTypeInteger, Common::kTypeReal, Common::kTypeByte,
                                  Common::kTypeAutoNumber, Common::kTypeString, Common::kTypeDate,
                                  Common::kTypeTime, Common::kTypeBool, Common::kTypeChoice, Common::kTypeChar},
                    false))
      return;
  } else if (!FieldAfter(tkOpen, ref, {memo ? Common::kTypeMemo : Common::kTypeBlob}, true)) {
    return;
  }
  const TFieldArg f{ref.table, ref.field};
  TFollowed followed{ref};
  // Whether the function acts: when is its own condition, and a path must
  // lead to a record.
  auto acts = [&ref](bool when) { return when && Zet02::FollowFieldRef(ref); };
  switch (code) {
    case 3: case 5: {  // ReadMemo, CopyMemo
      ShortStr name;
      int32_t a = 0;
      int32_t b = 0;
      if (!Text(name) || !OptNumber(a) || !OptNumber(b) || !Close() || !acts(apply)) return;
      std::string text;
      int e = 0;
      if (code == 5) e = MemoToFile(f, name.view(), a != 0);
      else if ((e = ReadWholeFile(name.view(), text)) == 0) e = StoreMemo(f, text, a != 0);
      SetReal(result, uint16_t(e));
      return;
    }
    case 41: {  // FSum
      int32_t n = 0;
      if (!Number(n) || !Close() || !acts(apply)) return;
      const TZetTable& t = *ZetTable::Table(f.table);
      double sum = 0;
      for (int32_t i = 0; i < n && t.ValidField(uint16_t(f.field + i)); ++i) {
        Common::FieldValue value;
        Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(uint16_t(f.field + i)), t.version, value);
        sum += value.number;
      }
      SetReal(result, sum);
      return;
    }
    case 57:  // MemoStr
      if (!Close()) return;
      SetText(result, acts(Zet02::RunMode() == 3) ? std::string_view(MemoText(f)).substr(0, 255) : "");
      return;
    case 63:  // MemoLen
      if (!Close()) return;
      if (acts(Zet02::RunMode() == 3))
        SetReal(result, std::max(WINMEMOS::MemoLength(ZetTable::FileOwner(f.table)->memoFile, FirstBlock(f)), 0));
      return;
    case 58:
      if (!Close() || !acts(apply)) return;
      SetReal(result, FullText::CleanMemoHtml(f.table, f.field));
      return;
    case 59: {  // Memo2Html: the texts of every call start empty
      ShortStr texts[EngineHooks::kMemoHtmlTexts];
      for (ShortStr& t : texts)
        if (!OptText(t)) return;
      if (!Close() || !acts(apply)) return;
      SetReal(result, uint16_t(EngineHooks::MemoToHtml(f.table, f.field, texts)));
      return;
    }
    case 37: case 67:  // PlaySound, BlobSize
      if (!Close() || !acts(apply)) return;
      BlobThroughCursor(code, f, result);
      return;
    case 38: case 66: {  // LinkBlob, EmbedBlob
      ShortStr name;
      int32_t n = 0;
      if (!Text(name) || !OptNumber(n) || !Close() || !acts(apply)) return;
      const int32_t answer =
          code == 38 ? LinkBlob(f, name.view()) : EngineHooks::LinkBlobFile(f.table, f.field, name.view(), n);
      SetReal(result, answer);
      // The current record is written by whoever edits it; a record a path
      // led to has no one else, so it is written back here.
      if (answer > 0 && ref.path) {
        if (const int e = Zet02::WriteBackRecord(f.table)) Zet02::FailRun(e);
        else EngineHooks::NotifyTableChanged(f.table, 0);
      }
      return;
    }
    case 80:  // GetLinkedFile
      if (!Close()) return;
      SetText(result, acts(apply) ? WinBlobs::GetBlobFileLink(ZetTable::FileOwner(f.table)->blobFile, FirstBlock(f)) : "");
      return;
    default: return;
  }
}

void VariableFunction(uint8_t code, bool apply, TRunValue& result) {
  switch (code) {
    case 1: case 46: {  // High, InArray
      TRunValue x;
      uint16_t v = 0;
      if (!First(Zet02::kValReal, x) || !VariableAfter(tkAnd, v) || !Close()) return;
      if (code == 1) SetReal(result, ZetVars::GetArrayBound(uint16_t(Zet02::ValueToInteger(x.number)), v));
      else SetReal(result, Zet02::NumberInArray(x.number, v) ? 1 : 0);
      return;
    }
    case 17: {  // StrSort
      uint16_t v = 0;
      int32_t n = 0;
      if (!VariableAfter(tkOpen, v) || !Number(n) || !Close()) return;
      if (const int e = Zet02::SortTextArray(apply, v, n)) Zet02::FailRun(e);
      return;
    }
    case 49: {  // ClrArray
      uint16_t v = 0;
      if (!VariableAfter(tkOpen, v) || !Close() || !apply) return;
      if (const int e = ZetVars::ClearArrayVariable(1, v)) Zet02::FailRun(e);
      return;
    }
    case 68: case 70: case 71: {  // BitAnd, BitAndNot, BitOr
      uint16_t a = 0;
      uint16_t b = 0;
      if (!VariableAfter(tkOpen, a) || !VariableAfter(tkAnd, b) || !Close()) return;
      SetReal(result, Zet02::BitArrayOperation(apply, code, a, b, 0));
      return;
    }
    case 76: case 77: case 78: {  // one bit of a bit array
      uint16_t a = 0;
      int32_t n = 0;
      if (!VariableAfter(tkOpen, a) || !OptNumber(n) || !Close()) return;
      SetReal(result, Zet02::BitArrayOperation(apply, code, a, a, n));
      return;
    }
    default: return;
  }
}

// MarkRel and RelIndex.
void RelationFunction(uint8_t code, bool apply, TRunValue& result) {
  int32_t first = 0;
  int32_t second = 0;
  int32_t third = 0;
  int32_t fourth = 0;
  if (!FirstNumber(first) || !Number(second) || !OptNumber(third)) return;
  if (code == 47 && !OptNumber(fourth)) return;
  if (!Close() || !apply) return;
  if (code == 48) {
    const int r = uint16_t(first);
    if (Zet02::TableNumberInRange(r) && ZetTable::Table(r)->isRelationTable)
      SetReal(result, uint16_t(Zet02::RebuildTableIndex(r, uint16_t(second), uint16_t(third))));
    return;
  }
  const int s = uint16_t(first);
  const int r = uint16_t(second);
  if (!Zet02::TableNumberInRange(s) || !Zet02::TableNumberInRange(r) || !ZetTable::Table(r)->isRelationTable) {
    Zet02::FailRun(Zet02::kErrTableExpected);
    return;
  }
  const int32_t answer = Zet02::MarkRel(s, r, uint16_t(third), uint16_t(fourth));
  if (answer == -int32_t(Zet02::kErrNoRelationIndex)) Zet02::FailRun(Zet02::kErrNoRelationIndex, Zet02::kNoRelationIndexText);
  else if (answer < 0) Zet02::FailRun(-answer);
  else SetReal(result, answer);
}

// The functions of two or more texts and numbers.
void TextFunction(uint8_t code, TRunValue& result) {
  switch (code) {
    case 10: {  // TestBit
      int32_t x = 0;
      int32_t n = 0;
      if (!FirstNumber(x) || !Number(n) || !Close()) return;
      SetReal(result, n >= 0 && n < 32 && (uint32_t(x) >> n) & 1u ? 1 : 0);
      return;
    }
    case 22: {  // Round
      TRunValue x;
      int32_t n = 1;
      if (!First(Zet02::kValReal, x) || !OptNumber(n) || !Close()) return;
      SetReal(result, SysAlgo::RoundNumber(x.number, n));
      return;
    }
    case 26: {  // Calc: its argument, whatever the type
      TRunValue v;
      if (!First(0, v) || !Close()) return;
      result = v;
      return;
    }
    case 27: case 35: case 36: {  // NTimes, LeftStr, RightStr
      ShortStr s;
      int32_t n = 0;
      if (!FirstText(s) || !Number(n) || !Close()) return;
      const std::string_view t = s.view();
      const size_t k = size_t(std::clamp(n, 0, int32_t(t.size())));
      if (code == 27) SetText(result, SysAlgo::NTimes(t, n));
      else SetText(result, code == 35 ? t.substr(0, k) : t.substr(t.size() - k));
      return;
    }
    case 28: {  // Exchange
      ShortStr s;
      ShortStr find;
      ShortStr by;
      if (!FirstText(s) || !Text(find) || !Text(by) || !Close()) return;
      if (!find.empty()) Common::ReplaceAll(s, find.view(), by.view());
      SetText(result, s.view());
      return;
    }
    case 30: {  // Str
      TRunValue x;
      int32_t width = 1;
      int32_t decimals = 0;
      int32_t group = 0;
      int32_t fill = ' ';
      int32_t point = uint8_t(Common::GetDecimalChar());
      bool present = false;
      int table = 0;
      uint16_t field = 0;
      if (!Zet02::ExpectCode(tkOpen) || !Zet02::EvalArgNamingField(Zet02::kValReal, x, table, field) ||
          !OptNumber(width) || !OptNumber(decimals) || !Zet02::EvalOptionalCharArg(group, present))
        return;
      int32_t c = 0;
      if (!Zet02::EvalOptionalCharArg(c, present)) return;
      if (present) fill = c;
      if (!Zet02::EvalOptionalCharArg(c, present)) return;
      if (present) point = c;
      if (!Close()) return;
      // A choice field named by itself gives its choice text, not its number.
      const TZetTable* t = table != 0 ? ZetTable::Table(table) : nullptr;
      if (t && t->ValidField(field) && t->FieldType(field) == Common::kTypeChoice)
        SetText(result, ZetTable::GetChoiceText(table, field, uint32_t(Zet02::ValueToInteger(x.number))).view());
      else
        SetText(result, NumberToText(x.number, width, decimals, group, fill, point));
      return;
    }
    case 73: {  // FillStr
      ShortStr s;
      ShortStr fill;
      int32_t n = 0;
      if (!FirstText(s) || !OptText(fill) || !OptNumber(n) || !Close()) return;
      SetText(result, FillStr(s.view(), fill.view(), n));
      return;
    }
    case 75: {  // ToHtml
      ShortStr s;
      ShortStr keep;
      if (!FirstText(s) || !OptText(keep) || !Close()) return;
      SetText(result, FullText::TextToHtml(s.view(), keep.view()));
      return;
    }
    default: return;
  }
}

void MiscHandler(uint8_t, uint8_t code, TRunValue& result) {
  const bool apply = Zet02::ApplyFlag();
  const SysServices::TServiceHooks& hooks = SysServices::ServiceHooks();
  switch (code) {
    case 1: case 17: case 46: case 49: case 68: case 70: case 71: case 76: case 77: case 78:
      return VariableFunction(code, apply, result);
    case 3: case 5: case 37: case 38: case 41: case 57: case 58: case 59: case 63: case 66: case 67: case 80:
      return FieldFunction(code, apply, result);
    case 10: case 22: case 26: case 27: case 28: case 30: case 35: case 36: case 73: case 75:
      return TextFunction(code, result);
    case 47: case 48:
      return RelationFunction(code, apply, result);
    case 2: case 72:
      return Note(code == 2 ? 0 : 1, result);
    case 51:
      return ExecProg(apply, result);
    case 74:
      return Subst(apply, result);
    case 29: {  // GotoXY
      int32_t x = 0;
      int32_t y = 0;
      if (!FirstNumber(x) || !Number(y) || !Close() || !apply) return;
      PageFormat::GotoColumnLine(int16_t(x), int16_t(y));
      return;
    }
    case 53: {  // OpenDb
      ShortStr name;
      ShortStr accessCode;
      int32_t mode = ZetTable::kRightsMask;
      int32_t key = 0;
      if (!FirstText(name) || !OptText(accessCode) || !OptNumber(mode) || !OptNumber(key) || !Close() || !apply)
        return;
      SetReal(result, OpenTableSlot(name.view(), accessCode.view(), mode, key));
      return;
    }
    case 54: {  // CloseDb
      int32_t n = 0;
      if (!FirstNumber(n) || !Close() || !apply) return;
      CloseTableSlot(n);
      return;
    }
    case 81: {  // DbfToDat
      ShortStr dbf;
      ShortStr table;
      if (!FirstText(dbf) || !Text(table) || !Close() || !apply) return;
      if (const int e = DbfUtil::DbfToTable(dbf.view(), table.view(), Zet02::EngineProgress(), 1, nullptr))
        Zet02::FailRun(e);
      return;
    }
    default: break;
  }
  // The functions without parameters.
  if (!NoArguments()) return;
  switch (code) {
    case 9: SetReal(result, ZetTable::CurrentHandle()); break;
    case 14: SetReal(result, ZetTable::OpenCount()); break;
    case 16: SetText(result, apply ? SysServices::NextDir() : ShortStr()); break;
    case 20: case 25: case 55: break;  // Message, UserNo, EndProg
    case 23:  // Flush
      if (apply)
        for (int h = 1; h <= ZetTable::OpenCount(); ++h)
          if (ZetTable::Table(h)) Zet01::FlushTable(h, true);
      break;
    case 24: SetReal(result, 2147483647); break;
    case 31:  // Halt: the running code ends here, and with it the job or program
      SetReal(result, 1);
      if (!apply) break;
      Zet02::SetRunError(Zet02::kSoftStop);
      JobRun::Halt();
      break;
    case 33:
      SetReal(result, DATUM::PackedToDayNumber(DATUM::TodayPacked()));
      Zet02::RaiseDependency(1);
      break;
    case 34:
      SetReal(result, std::floor(DATUM::NowMinutes()));
      Zet02::RaiseDependency(1);
      break;
    case 39: SetReal(result, PageFormat::CurrentColumn()); break;
    case 40: SetReal(result, PageFormat::CurrentLine()); break;
    case 50: SetText(result, ""); break;
    case 52: SetText(result, hooks.privDir()); break;
    case 64: SetText(result, hooks.baseDir()); break;
    case 56: SetReal(result, ZetTable::OpenCount()); break;  // NHandles: the open tables, no query
    case 61:
      if (apply) RamFiles::TextBufToClipboard();
      break;
    case 62:
      if (apply) RamFiles::TextBufFromClipboard();
      break;
    default: Zet02::FailRun(Zet02::kErrNotAvailable); break;
  }
}

// ---- Group 204: text files ---------------------------------------------------------------

void TextFileHandler(uint8_t, uint8_t code, TRunValue& result) {
  const bool apply = Zet02::ApplyFlag();
  switch (code) {
    case TextFiles::kOpReset: case TextFiles::kOpRewrite: case TextFiles::kOpAppend: {
      ShortStr name;
      if (!FirstText(name) || !Close() || !apply) return;
      int err = 0;
      const int slot = TextFiles::OpenTextSlot(name.view(), code, err);
      if (slot == TextFiles::kStdSlot) Zet02::FailRun(err != 0 ? err : TextFiles::kErrCannotLoad, name.view());
      else SetReal(result, slot);
      return;
    }
    case TextFiles::kOpWrite: case TextFiles::kOpWriteln: case TextFiles::kOpRead: case TextFiles::kOpReadLn:
    case TextFiles::kOpEoT: case TextFiles::kOpClose: {
      int32_t slot = 0;
      ShortStr text;
      int32_t wanted = 1;
      if (!FirstNumber(slot)) return;
      if ((code == TextFiles::kOpWrite || code == TextFiles::kOpWriteln) && !Text(text)) return;
      if (code == TextFiles::kOpRead && !OptNumber(wanted)) return;
      if (!Close()) return;
      const bool textResult = code != TextFiles::kOpEoT && code != TextFiles::kOpClose;
      if (textResult) SetText(result, "");
      if (!apply) return;
      ShortStr out;
      const int answer = TextFiles::TextSlotOperation(slot & 0xFF, code, text.view(), wanted, out);
      if (code == TextFiles::kOpEoT || code == TextFiles::kOpClose) return SetReal(result, answer);
      if (answer != 0) return Zet02::FailRun(answer);
      SetText(result, code == TextFiles::kOpWrite || code == TextFiles::kOpWriteln ? text.view() : out.view());
      return;
    }
    default: Zet02::FailRun(Zet02::kErrNotAvailable); return;
  }
}

// ---- Group 205: serial ports ---------------------------------------------------------------

void SerialHandler(uint8_t, uint8_t code, TRunValue& result) {
  const bool apply = Zet02::ApplyFlag();
  if (code == 2) {  // CommOpen
    ShortStr device;
    int32_t receive = kDefaultQueue;
    int32_t send = kDefaultQueue;
    if (!FirstText(device) || !OptNumber(receive) || !OptNumber(send) || !Close() || !apply) return;
    SetReal(result, LumoComm::CommOpen(device.view(), uint16_t(receive), uint16_t(send)));
    return;
  }
  int32_t port = 0;
  if (!FirstNumber(port)) return;
  switch (code) {
    case 1: {  // CommMode
      int32_t a[6] = {kDefaultBaud, kDefaultDataBits, 0, 0, 0, 0};
      for (int32_t& n : a)
        if (!OptNumber(n)) return;
      if (!Close() || !apply) return;
      SetReal(result, LumoComm::CommMode(port, a[0], uint8_t(a[1]), a[2], a[3], a[4], int16_t(a[5])));
      return;
    }
    case 3:
      if (!Close() || !apply) return;
      SetReal(result, LumoComm::CommClose(port));
      return;
    case 4: {  // CommRead
      int32_t wanted = kMaxRead;
      if (!OptNumber(wanted) || !Close()) return;
      SetText(result, apply ? LumoComm::CommRead(port, wanted) : ShortStr());
      return;
    }
    case 5: {  // CommWrite
      ShortStr text;
      if (!Text(text) || !Close() || !apply) return;
      SetReal(result, LumoComm::CommWrite(port, text.view()));
      return;
    }
    case LumoComm::kCommIn: case LumoComm::kCommOut: case LumoComm::kCommState:
      if (!Close() || !apply) return;
      SetReal(result, LumoComm::CommQuery(code, port));
      return;
    default: Zet02::FailRun(Zet02::kErrNotAvailable); return;
  }
}

}  // namespace

void SetNoteLock(bool locked) { g_notes.locked = locked; }

void RegisterMiscFunctions() {
  g_notes = TNotes();
  Zet02::SetGroupHandler(204, TextFileHandler);
  Zet02::SetGroupHandler(205, SerialHandler);
  Zet02::SetGroupHandler(207, MiscHandler);
}

}  // namespace SysFuncs
