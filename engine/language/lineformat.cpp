#include "engine/language/lineformat.h"

#include <algorithm>
#include <string>

#include "engine/base/common.h"
#include "engine/base/sort.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/interp.h"
#include "engine/language/listing.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/selection.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"

namespace LineFormat {
namespace {

using namespace ByteCode;
using PageFormat::Layout;
using Zet02::TRunValue;

constexpr uint16_t kErrIllegalChar = 45;  // "Illegales Zeichen"

enum Align { kLeft = 1, kRight = 2, kCentre = 3 };

// Engine-wide state shared by nested calls (saved and restored by each).
ShortStr g_pending;
ShortStr g_remembered;
int16_t g_rowTopY = 0;
uint16_t g_rowTopCounter = 0;

struct TItem {
  bool attached = false;
  TRunValue value;
  uint16_t kind = 0;
  int32_t width = -1;
  int32_t a = -1, b = -1, c = -1;
  char fill = ' ';
  uint8_t letter = ' ';
  bool grouping = false;
  bool suppressed = false;
  uint8_t numberFormat = 0;
  // Memo items: the chain of line pieces and whether hard line ends count.
  dynstr::LineChain memo;
  bool hardLines = false;
  // Picture items: a picture field, or a file whose name is the value.
  int pictureTable = 0;
  uint16_t pictureField = 0;
  bool filePicture = false;
  // A numeric field that is null prints nothing and takes no line count.
  bool nullNumber = false;
  bool subReport = false;
};

struct TCall {
  PageFormat::TLineCall page;
  std::string_view code;
  size_t pos = 0;
  bool blank = true;
  bool repeat = false;
  int32_t extraLines = 0;
  uint16_t itemNumber = 0;
  bool continuation = false;

  bool CodeAt(uint8_t c) const { return pos < code.size() && uint8_t(code[pos]) == c; }
};

uint16_t& Error() { return Layout().error; }

void SaveRowTop() {
  g_rowTopY = Layout().y;
  g_rowTopCounter = Layout().lineCounter;
}

void RestoreRowTop(TCall& call) {
  call.page.rowBottom = int16_t(std::max<uint16_t>(uint16_t(call.page.rowBottom), uint16_t(Layout().y)));
  Layout().y = g_rowTopY;
  Layout().lineCounter = g_rowTopCounter;
}

PageFormat::TColumnState* ColumnState(const TCall& call) {
  if (call.itemNumber < 1 || call.itemNumber > PageFormat::kColumnStates) return nullptr;
  return &Layout().columns[call.itemNumber];
}

// Runs the item at the position as an operand, or in a continuation pass
// takes its text from the item's column state.
void EvalItem(TCall& call, TItem& item) {
  int dependency = 0;
  item.filePicture = !call.continuation && call.pos + 1 < call.code.size() &&
                     uint8_t(call.code[call.pos]) == 201 && uint8_t(call.code[call.pos + 1]) == 34;
  if (call.continuation) {
    TRunValue skipped;
    Zet02::ExecuteCode(call.code, call.pos, 0, skipped, dependency);
    item.value = TRunValue();
    item.value.type = Zet02::kValString;
    item.kind = Zet02::kValString;
    if (PageFormat::TColumnState* s = ColumnState(call); s && s->inUse) {
      if (s->text) item.value.text = *s->text;
      *s = PageFormat::TColumnState();
    }
    Error() = 0;
    return;
  }
  Zet02::SetOperandOnly(true);
  const int error = Zet02::ExecuteCode(call.code, call.pos, 3, item.value, dependency);
  Zet02::SetOperandOnly(false);
  item.kind = item.value.type;
  Error() = error > 0 ? uint16_t(error) : 0;
}

// Reads the format suffix behind an item; false when it ended the line.
bool ReadFormat(TCall& call, TItem& item) {
  if (call.pos + 1 < call.code.size()) {
    const uint8_t f = uint8_t(call.code[call.pos]);
    if (f == tkColon || f == tkCForm || f == tkLForm || f == tkRForm) {
      item.letter = f;
      ++call.pos;
      uint16_t error = 0;
      item.width = Zet02::ReadNumberOperand(call.code, call.pos, error);
      if (error == 0) item.a = Zet02::ParseFormatSuffix(call.pos, call.code, error) * (item.nullNumber ? 0 : 1) - 1;
      if (error == 0) item.b = Zet02::ParseFormatSuffix(call.pos, call.code, error) - 1;
      if (error == 0) item.c = Zet02::ParseFormatSuffix(call.pos, call.code, error) - 1;
      if (error != 0) {
        Error() = error;
        return false;
      }
      if (call.CodeAt('.') || call.CodeAt('_')) item.fill = call.code[call.pos++];
    }
  }
  if (call.CodeAt(tkFormatF)) {
    item.grouping = true;
    ++call.pos;
  }
  return true;
}

// ---------------------------------------------------------------------------
// Field items

std::string_view Bytes(const TCall& call, size_t from, size_t n) {
  return from + n <= call.code.size() ? call.code.substr(from, n) : std::string_view();
}

// Reads a field of the record buffer; false (the error word set) when the
// read fails.
bool ReadField(int slot, uint16_t field, int& valueClass, Common::FieldValue& v) {
  const int e = Zet01::GetFieldValue(3, slot, field, valueClass, v);
  if (e > 0) Error() = uint16_t(e);
  return e <= 0;
}

// A field item, {185, table, field u16} at the position: in a continuation
// pass its text (or memo rest), attributes and font come from the column
// state; otherwise the field's value by its type.
void FieldItem(TCall& call, TItem& item) {
  const std::string_view operand = Bytes(call, call.pos + 1, 3);
  if (operand.empty()) {
    Error() = Zet02::kErrRunIncomplete;
    return;
  }
  const int slot = uint8_t(operand[0]);
  const uint16_t field = uint16_t(uint8_t(operand[1]) | uint8_t(operand[2]) << 8);
  item.kind = Zet02::kValString;
  item.value = TRunValue();
  item.value.type = Zet02::kValString;
  if (call.continuation) {
    call.pos += 4;
    PageFormat::TColumnState* s = ColumnState(call);
    if (!s || !s->inUse) return;
    PageFormat::SetAttributes(s->italic, s->bold);
    PrintCalls::SelectFont(s->font);
    if (s->memo) {
      item.kind = Zet02::kValMemo;
      item.memo = std::move(s->memo);
      item.hardLines = s->memoHardLines;
      g_pending = ShortStr(s->text.value_or(""));
      item.attached = true;
    } else if (s->text) {
      item.value.text = *s->text;
    }
    *s = PageFormat::TColumnState();
    return;
  }
  ZetTable::TZetTable* t = slot >= 1 && slot <= ZetTable::OpenCount() ? ZetTable::Table(slot) : nullptr;
  if (!t || !t->ValidField(field) || t->recordBuffer.size() < t->recordLength) {
    Error() = Zet02::kErrTableExpected;
    return;
  }
  const uint8_t type = t->FieldType(field);
  if (type == Common::kTypeString) {
    EvalItem(call, item);
    call.blank = IsBlankText(item.value.text);
    return;
  }
  call.pos += 4;
  int valueClass = 0;
  Common::FieldValue v;
  switch (type) {
    case Common::kTypeInteger:
    case Common::kTypeReal:
    case Common::kTypeByte:
    case Common::kTypeAutoNumber:
    case Common::kTypeLink: {
      if (!ReadField(slot, field, valueClass, v)) return;
      item.kind = uint16_t(valueClass);
      item.value.type = item.kind;
      item.value.number = v.number;
      item.value.text = v.text;
      const uint8_t shown = t->Shown(field);
      item.numberFormat = type == Common::kTypeReal ? shown : uint8_t(shown << 4);
      call.blank = false;
      if (Common::LastFieldNullable && Common::LastValueIsNull) {
        item.kind = Zet02::kValString;
        item.value = TRunValue();
        item.value.type = Zet02::kValString;
        item.nullNumber = true;
        call.blank = true;
      }
      return;
    }
    case Common::kTypeMemo: {
      if (!ReadField(slot, field, valueClass, v)) return;
      item.kind = Zet02::kValMemo;
      call.blank = v.block == 0;
      ZetTable::TZetTable* files = ZetTable::FileOwner(slot);
      if (v.block != 0 && t->hasMemoFile && files) {
        item.hardLines = WINMEMOS::ReadMemoLines(files->memoFile, v.block, item.memo);
        if (!item.memo && WINMEMOS::Status() > 0) Error() = uint16_t(WINMEMOS::Status());
      }
      return;
    }
    case Common::kTypeBlob:
      item.kind = Zet02::kValBlob;
      item.pictureTable = slot;
      item.pictureField = field;
      return;
    default:
      item.value.text = ZetTable::FieldText(*t, field, t->recordBuffer.data());
      call.blank = IsBlankText(item.value.text);
      return;
  }
}

// ---------------------------------------------------------------------------
// Memo columns

struct TMemoColumn {
  int32_t width = 0;
  int16_t indent = 0;
  bool broken = false;
};

// The line advance inside a memo column: from the second line on the
// column starts at the indent and keeps its right edge.
void MemoLineBreak(TMemoColumn& m) {
  PageFormat::TLayout& g = Layout();
  if (!m.broken) {
    m.broken = true;
    if (m.indent > 0) {
      m.width = m.width + g.left - m.indent;
      g.left = m.indent;
    }
  }
  PageFormat::NewLineDefault();
}

bool EndsLine(const dynstr::LineNode& n, bool hardLines) {
  return n.text.view().empty() || (hardLines && n.continued == dynstr::kLineBreakFollows);
}

// Keeps a memo's unprinted rest (the text and the nodes behind last) in the
// item's column state for the continuation pass. An item without a state
// (past the 20th) loses its rest.
void SaveColumnState(const TCall& call, TItem& item, dynstr::LineNode* last, const ShortStr& rest) {
  PageFormat::TColumnState* s = ColumnState(call);
  if (!s) return;
  PageFormat::TakeAttributes(s->italic, s->bold, s->third);
  s->font = PrintCalls::CurrentFontNumber();
  s->inUse = true;
  s->text = std::string(rest.view());
  if (last) s->memo = std::move(last->next);
  s->memoHardLines = item.hardLines;
}

// Prints the memo's line pieces in a column at x: as stored (width 0) or
// flowed into the width, with the line limit a and the indent b; in column
// mode the rest that does not fit above the page end is kept for the
// continuation pass. The last piece stays pending for the format step
// unless the limit was not reached. Answers the width left for that piece:
// the item's width, or after a line break at the indent the width that
// keeps the column's right edge.
int32_t PrintMemoField(const TCall& call, TItem& item) {
  PageFormat::TLayout& g = Layout();
  if (g.x == 0) g.x = g.left;
  dynstr::LineNode* const first = item.memo.get();
  const dynstr::LineNode* end = first;  // trailing empty pieces are left out
  for (const dynstr::LineNode* n = first; n; n = n->next.get())
    if (!n->text.view().empty()) end = n->next.get();
  TMemoColumn m;
  m.width = item.width;
  const int16_t scaled = PageFormat::ScaleX(item.b);
  m.indent = scaled < 0 ? g.x : scaled;
  const int16_t savedLeft = g.left;
  g.left = g.x;
  int32_t count = 0;
  // A limit of 0 means none, as for texts.
  const int32_t max = item.a > 0 ? item.a : -1;
  if (m.width < 0) m.width = int32_t(g.pageWidth) - g.x - g.right;
  bool finish = true;
  if (m.width == 0) {
    for (const dynstr::LineNode* n = first; n && n != end; n = n->next.get()) {
      g_pending.append(n->text.view());
      if (n->next.get() != end && count != max) {
        PageFormat::PrintWrapped(g_pending);
        if (EndsLine(*n, item.hardLines)) {
          MemoLineBreak(m);
          ++count;
        } else if (n->continued == dynstr::kPieceContinues) {
          ShortStr blank(" ");
          PageFormat::PrintWrapped(blank);
        }
      }
      if (count == max) break;
    }
  } else {
    dynstr::LineNode* n = first;
    dynstr::LineNode* last = nullptr;
    for (bool done = false; !done;) {
      bool lineEnd = false;
      while (n && n != end && !lineEnd && PageFormat::MeasureWidth(g_pending) <= m.width) {
        g_pending.append(n->text.view());
        if (n->continued == dynstr::kPieceContinues) g_pending.append(' ');
        last = n;
        lineEnd = EndsLine(*n, item.hardLines);
        n = n->next.get();
      }
      const bool atEnd = !n || n == end;
      if (atEnd) lineEnd = true;
      if (lineEnd) Common::TrimRight(g_pending);
      while (!done && PageFormat::MeasureWidth(g_pending) > m.width) {
        ShortStr rest;
        PageFormat::SplitToFit(g_pending, rest, m.width, false);
        Common::DeleteLeading(rest, ' ');
        if (rest.empty() && atEnd) {
          done = true;
        } else if (g_pending.empty()) {
          finish = false;  // not even a piece fits: the memo stops here
          done = true;
        } else if (++count == max) {
          done = true;
        } else if (item.c >= 0 && PageFormat::WouldOverflow(2)) {
          SaveColumnState(call, item, last, rest);
          done = true;
        } else {
          PageFormat::PrintWrapped(g_pending);
          MemoLineBreak(m);
          g_pending = rest;
        }
      }
      if (done || !lineEnd) continue;
      if (atEnd || ++count == max) break;
      if (item.c >= 0 && PageFormat::WouldOverflow(2)) {
        SaveColumnState(call, item, last, ShortStr());
        break;
      }
      PageFormat::PrintWrapped(g_pending);
      MemoLineBreak(m);
    }
  }
  if (finish) {
    if (max >= 0 && count < max) PageFormat::PrintWrapped(g_pending);
    if (!g_pending.empty()) PageFormat::PrintControlledLine("");
  }
  g.left = savedLeft;
  return m.broken && item.width > 0 ? m.width : item.width;
}

// ---------------------------------------------------------------------------
// Pictures

// Draws a picture field or a picture file at x: a lines high (one line
// without a line count), then moves right by the width and down b lines
// when b is given, else down by the height.
void PrintPicture(const TCall& call, const TItem& item) {
  PageFormat::TLayout& g = Layout();
  if (call.continuation || item.width <= 0) return;
  if (g.x == 0) g.x = g.left;
  const int16_t width = int16_t(std::min<int32_t>(item.width, INT16_MAX));
  const int16_t height = PageFormat::ScaleY(item.a > 0 ? item.a : 1);
  if (!g.textFile) {
    const int16_t x = int16_t(g.x + g.printOffsetX);
    if (item.filePicture) {
      PrintCalls::DrawFilePicture(item.value.text.view(), x, g.y, width, height);
    } else if (const ZetTable::TZetTable* t = ZetTable::Table(item.pictureTable)) {
      // The host draws the picture field of that table slot.
      const std::string name(t->StoredName(item.pictureField));
      PrintCalls::Slots().drawBlob(int8_t(item.pictureTable), name.c_str(), x, g.y, width, height);
    }
  }
  if (item.b >= 0) {
    g.x = int16_t(g.x + width);
    g.y = int16_t(g.y + PageFormat::ScaleY(item.b));
  } else {
    g.y = int16_t(g.y + height);
  }
}

// ---------------------------------------------------------------------------
// Sub-reports

struct TSubReport {
  std::string_view front;  // the codes of the line in front of the item
  uint64_t tables = 0;
  std::string_view nested;
  bool sorting = false;
};

// The collating order of pooled sub-lines (length byte first).
bool CompareRecordTexts(const void* a, const void* b, void*) {
  const uint8_t* x = static_cast<const uint8_t*>(a);
  const uint8_t* y = static_cast<const uint8_t*>(b);
  return UPPERCAS::CollateCompare(std::string_view(reinterpret_cast<const char*>(x + 1), x[0]),
                                  std::string_view(reinterpret_cast<const char*>(y + 1), y[0])) < 0;
}

// Formats the sub-line once for every combination of linked records that
// the selection accepts; while it runs, the codes in front of it are the
// continuation header that a page break prints again.
void RunSubReport(TCall& call, const TSubReport& r) {
  PageFormat::TLayout& g = Layout();
  std::string_view line = r.nested;
  ShortStr selection;
  if (!line.empty() && uint8_t(line[0]) == tkSel) {
    const size_t length = line.size() >= 10 ? uint8_t(line[9]) : 0;
    if (line.size() < 10 || 10 + length > line.size()) {
      Error() = Zet02::kErrRunIncomplete;
      return;
    }
    selection = ShortStr(line.substr(10, length));
    line.remove_prefix(10 + length);
  }
  char separator = 0;
  if (!line.empty() && (line[0] == '/' || uint8_t(line[0]) == tkAnd)) {
    separator = line[0] == '/' ? '/' : ',';
    line.remove_prefix(1);
  }
  const std::optional<std::string> savedHeader = g.header;
  const int16_t savedHeaderMargin = g.headerMargin;
  std::string header = g.header.value_or("");
  header.append(r.front);
  if (header.size() > ShortStr::kMax) header.resize(ShortStr::kMax);
  g.header = header;
  g.headerMargin = g.left;
  const int16_t savedLeft = g.left;
  SORT::BeginSort();
  if (g.x != 0) g.left = g.x;
  const ShortStr savedRemembered = g_remembered;
  g_remembered.clear();
  // The sub-lines are lines of their own: a column of this line that waits
  // for the next page must not turn them into continuation passes.
  PageFormat::SaveColumnStates();
  Zet01::PushLinkState();

  Zet02::ResetStatFuncs(0, false, r.tables);
  call.blank = true;
  bool none = false;
  if (r.tables != 0) {
    const uint64_t optional = Zet01::OptionalSet();
    const int e = Zet01::ReadFirstLinked(ZetTable::CurrentHandle(), true, r.tables);
    Zet01::SetOptionalSet(optional);
    if (e > 0) Error() = uint16_t(e);
    none = Zet01::NotFoundSet() != 0;
  }
  const bool savedMore = g.moreRecords;
  // Inside a collecting line the sub-lines are collected too, and their
  // texts join the line's pending text.
  const bool outerCollects = call.page.collect;
  const bool collect = r.sorting || separator == ',' || outerCollects;
  const int level = Zet01::LinkLevelOfTable(0);
  for (bool more = !none; more;) {
    int error = 0, dependency = 0;
    ShortStr condition = selection;
    const bool hit = selection.empty() || Zet02::EvalSelection(condition, 3, error, dependency);
    if (error > 0) Error() = uint16_t(error);
    if (hit) {
      if (r.tables != 0) {
        Zet01::PushLinkState();
        g.moreRecords = Zet01::ReadNextLinked(level);
        Zet01::PopLinkState();
      } else {
        g.moreRecords = false;
      }
      PageFormat::SetPendingStatUpdate(r.tables);
      const int current = ZetTable::CurrentHandle();
      if (r.tables != 0) LINKFILE::SelectPrimaryTable(Zet01::FirstChainTableInSet(r.tables));
      if (separator == '/' && SORT::AtEnd() && !call.blank) PageFormat::NewLineDefault();
      // A failing sub-line reports its own error; the next record goes on.
      FormatLine(line, collect);
      Error() = 0;
      call.blank = false;
      if (r.tables != 0) LINKFILE::SelectPrimaryTable(current);
      PageFormat::RestorePendingStatUpdate();
    }
    more = r.tables != 0 && Zet01::ReadNextLinked(level);
  }
  g.moreRecords = savedMore;
  Zet02::UpdateStatFuncs(r.tables | 1);
  Zet01::PopLinkState();
  PageFormat::RestoreColumnStates();
  g_remembered = savedRemembered;

  if (collect || separator != 0) {
    if (r.sorting) SORT::SortRecords(&CompareRecordTexts);
    else SORT::Rewind();
    uint8_t record[ShortStr::kMax + 1];
    while (SORT::GetNextRecord(record, sizeof record)) {
      g.moreRecords = !SORT::AtEnd();
      ShortStr text(std::string_view(reinterpret_cast<const char*>(record + 1), record[0]));
      if (g.moreRecords && separator == ',') text.append(", ");
      if (outerCollects && call.page.collect) {
        if (g.moreRecords && separator == '/') text.append(' ');
        g_pending.append(text.view());
        continue;
      }
      PageFormat::PrintWrapped(text);
      if (g.moreRecords && separator == '/') PageFormat::NewLine(true);
    }
    g.moreRecords = savedMore;
  }
  SORT::EndSort();
  g.left = savedLeft;
  g.header = savedHeader;
  g.headerMargin = savedHeaderMargin;
}

// Reads a sub-report item {218, table set, nested code, optional "S" and
// ":" number, ignored format} at the position.
bool ReadSubReport(TCall& call, size_t itemStart, TSubReport& r) {
  const std::string_view set = Bytes(call, call.pos + 1, 8);
  const std::string_view length = Bytes(call, call.pos + 9, 1);
  if (set.empty() || length.empty() || call.pos + 10 + uint8_t(length[0]) > call.code.size()) {
    Error() = Zet02::kErrRunIncomplete;
    return false;
  }
  r.front = call.code.substr(0, itemStart);
  r.tables = bytes::GetU64(reinterpret_cast<const uint8_t*>(set.data()));
  r.nested = call.code.substr(call.pos + 10, uint8_t(length[0]));
  call.pos += 10 + uint8_t(length[0]);
  if (call.CodeAt(tkSumSuffix)) {
    r.sorting = true;
    ++call.pos;
    if (call.CodeAt(':')) {
      ++call.pos;
      uint16_t error = 0;
      Zet02::ReadNumberOperand(call.code, call.pos, error);
      if (error != 0) {
        Error() = error;
        return false;
      }
    }
  }
  TItem ignored;
  return ReadFormat(call, ignored);
}

void PrintField(int32_t width, char fill, Align align, bool suppressed) {
  PageFormat::TLayout& g = Layout();
  if (g.textFile) {
    const int32_t cell = g.fileCharWidth > 0 ? g.fileCharWidth : 1;
    const size_t chars = size_t(std::max(0, width / cell));
    if (align == kLeft) g_pending = Common::PadRight(g_pending, chars, fill);
    else if (align == kRight) g_pending = Common::PadLeft(g_pending, chars, fill);
    else CentreText(g_pending, chars, fill);
    PageFormat::PrintWrapped(g_pending);
    return;
  }
  if (width <= 0) {
    g_pending.clear();
    return;
  }
  int32_t w = PageFormat::MeasureWidth(g_pending);
  while (w > width && !g_pending.empty()) {
    g_pending.truncate(g_pending.size() - 1);
    w = PageFormat::MeasureWidth(g_pending);
  }
  if (!suppressed && (fill == '.' || fill == '_')) {
    const size_t n = g_pending.size();
    do {
      g_pending.append(fill);
      w = PageFormat::MeasureWidth(g_pending);
    } while (w <= width && g_pending.size() < 255 && g_pending.size() > n);
    if (g_pending.size() > n) g_pending.truncate(g_pending.size() - 1);
    w = PageFormat::MeasureWidth(g_pending);
    const size_t k = g_pending.size() - n;
    if (k > 0 && align != kLeft) {
      const std::string text(g_pending.view().substr(0, n));
      const size_t front = align == kRight ? k : (k + 1) / 2;
      g_pending = std::string(front, fill) + text + std::string(k - front, fill);
    }
  }
  if (g.x == 0) g.x = g.left;
  const int16_t x0 = g.x;
  if (align == kRight) g.x = int16_t(g.x + width - w);
  if (align == kCentre) g.x = int16_t(g.x + (width - w) / 2);
  const int16_t y0 = g.y;
  PageFormat::PrintWrapped(g_pending);
  g.x = int16_t((g.y == y0 ? x0 : g.left) + width);
}

void PrintColumnText(TCall& call, int32_t width, const TItem& item) {
  PageFormat::TLayout& g = Layout();
  const bool backslash = call.CodeAt(tkOr);
  int32_t lines = item.a;
  const int16_t start = g.x != 0 ? g.x : g.left;
  const int32_t colWidth = width < 0 ? int32_t(g.pageWidth) - g.right - start : width;
  const int16_t edge = item.b > 0 ? PageFormat::ScaleX(item.b - 1) : start;
  const int16_t savedLeft = g.left;
  bool filled = false;
  while (!g_pending.empty()) {
    ShortStr piece = g_pending, rest;
    PageFormat::SplitToFit(piece, rest, colWidth, false);
    Common::DeleteLeading(rest, ' ');
    if (piece.empty()) {
      filled = true;
      break;
    }
    g_pending = piece;
    if (rest.empty()) break;
    if (--lines == 0) {
      filled = true;
      break;
    }
    if (item.c >= 0 && PageFormat::WouldOverflow(2)) {
      if (PageFormat::TColumnState* s = ColumnState(call)) {
        PageFormat::TakeAttributes(s->italic, s->bold, s->third);
        s->font = PrintCalls::CurrentFontNumber();
        s->inUse = true;
        s->text = std::string(rest.view());
      }
      filled = true;
      break;
    }
    PageFormat::PrintWrapped(piece);
    g.left = edge;
    PageFormat::NewLineDefault();
    PageFormat::PrintControlledLine("");
    g_pending = rest;
  }
  if (!filled && lines > 1) {
    if (backslash) {
      call.extraLines += lines;
    } else {
      PageFormat::PrintWrapped(g_pending);
      g.left = edge;
      for (; lines > 1; --lines) {
        PageFormat::NewLineDefault();
        PageFormat::PrintControlledLine("");
      }
    }
  }
  g.left = savedLeft;
}

void OutputItem(TCall& call, TItem& item, const TSubReport& subReport) {
  PageFormat::TLayout& g = Layout();
  if (!item.attached) {
    PageFormat::PrintWrapped(g_pending);
    g.itemFinished = false;
  }
  if (item.width == -2) {
    item.width = int32_t(g.pageWidth) - g.right - (g.x != 0 ? g.x : g.left);
  } else if (item.width >= 0) {
    item.width = PageFormat::ScaleX(item.width);
  }
  if (item.subReport) {
    // The sub-report prints its records at once, so text attached in front
    // of it goes out first (a collecting line keeps it pending instead).
    if (item.attached && !call.page.collect) PageFormat::PrintWrapped(g_pending);
    RunSubReport(call, subReport);
    return;
  }
  if (item.kind == Zet02::kValString) {
    if (item.filePicture) {
      PrintPicture(call, item);
      return;
    }
    g_pending.append(item.value.text.view());
    call.blank = IsBlankText(g_pending);
  } else if (item.kind == Zet02::kValMemo) {
    SaveRowTop();
    item.width = PrintMemoField(call, item);
    WINMEMOS::FreeMemoLines(item.memo);
  } else if (item.kind == Zet02::kValBlob) {
    PrintPicture(call, item);
  } else if (item.kind == Zet02::kValReal) {
    int d;
    if (item.numberFormat == 0) d = item.a == -1 ? 0 : item.a;
    else d = (item.width < 0 || item.a == -1) ? (item.numberFormat & 15) : item.a;
    g_pending.append(
        Common::FormatReal(1, d, item.grouping ? '.' : 0, ',', ' ', item.value.number).view());
    call.blank = false;
  }
  if (item.letter != ' ' && call.CodeAt(tkBang)) {
    ++call.pos;
    if (g_pending.view() == g_remembered.view()) {
      g_pending.clear();
      item.suppressed = true;
    } else {
      g_remembered = g_pending;
    }
  }
  switch (item.letter) {
    case tkColon:
      if (item.kind == Zet02::kValString) {
        SaveRowTop();
        if (item.a >= 0) PrintColumnText(call, item.width, item);
        if (item.width >= 0) PrintField(item.width, item.fill, kLeft, item.suppressed);
        else PageFormat::PrintWrapped(g_pending);
        if (item.c >= 0) RestoreRowTop(call);
      } else if (item.kind == Zet02::kValReal) {
        PrintField(item.width, item.fill, kRight, item.suppressed);
      } else if (item.kind == Zet02::kValMemo && item.width != 0 && !call.CodeAt(tkPlus)) {
        // The width already keeps the right edge for a last piece at the
        // indent (PrintMemoField), in device units.
        const int32_t width = item.width;
        if (width >= 0) PrintField(width, item.fill, kLeft, item.suppressed);
        else PageFormat::PrintWrapped(g_pending);
        if (item.c >= 0) RestoreRowTop(call);
      }
      break;
    case tkLForm:
      PrintField(item.width, item.fill, kLeft, item.suppressed);
      break;
    case tkRForm:
      PrintField(item.width, item.fill, kRight, item.suppressed);
      break;
    case tkCForm:
      PrintField(item.width, item.fill, kCentre, item.suppressed);
      break;
    default:
      break;
  }
  g.itemFinished = true;
}

bool IsExpressionCode(uint8_t c) {
  return c == tkStringConst || c == 181 || (c >= 200 && c <= 211) || (c >= 213 && c <= 246) ||
         c == tkExecMacro || c == 251 || c == 255 || c == 164 || (c >= 178 && c <= 180);
}

void PrintItem(TCall& call) {
  PageFormat::TLayout& g = Layout();
  const size_t itemStart = call.pos;
  TItem item;
  TSubReport subReport;
  item.attached = call.CodeAt(tkPlus);
  if (item.attached) ++call.pos;
  if (call.CodeAt(tkAnd)) {
    item.attached = true;
    g_pending.append(", ");
    ++call.pos;
  }
  if (call.pos >= call.code.size()) return;  // a prefix ends the line
  const uint8_t c = uint8_t(call.code[call.pos]);
  switch (c) {
    case tkOpen:
    case tkClose:
      ++call.pos;
      return;
    case tkTable:
      call.pos += 2;
      return;
    case tkHL: {
      ++call.pos;
      uint16_t error = 0;
      const int32_t n = Zet02::ParseFormatSuffix(call.pos, call.code, error);
      if (error != 0) {
        Error() = error;
        return;
      }
      PageFormat::DrawHorizontalRule(PageFormat::ScaleX(n - 1));
      return;
    }
    case tkVL:
      ++call.pos;
      PageFormat::MarkVerticalRule();
      return;
    case tkEVL:
      ++call.pos;
      PageFormat::DrawVerticalRules();
      return;
    case tkVX:
      ++call.pos;
      if (g.x == 0) g.x = g.left;
      g.x = int16_t(g.x + g.gridWidth);
      return;
    case tkFontRef:
      if (call.pos + 2 >= call.code.size()) {
        Error() = Zet02::kErrRunIncomplete;
        return;
      }
      item.value.text = std::string{char(26), call.code[call.pos + 1]};
      item.kind = Zet02::kValString;
      call.pos += 3;
      break;
    case tkField:
      ++call.itemNumber;
      FieldItem(call, item);
      if (Error() != 0) return;
      break;
    case tkExists:
      item.subReport = true;
      if (!ReadSubReport(call, itemStart, subReport)) return;
      // A pass that prints the rest of a continued column after a page end
      // only fills the columns: the records went out with the line itself.
      if (!call.continuation) OutputItem(call, item, subReport);
      return;
    default:
      if (c == tkFieldChain || IsExpressionCode(c)) {
        ++call.itemNumber;
        EvalItem(call, item);
        if (Error() != 0) return;
        break;
      }
      Error() = kErrIllegalChar;
      return;
  }
  if (!ReadFormat(call, item)) return;
  OutputItem(call, item, subReport);
}

void HandleCode(TCall& call) {
  const uint8_t c = uint8_t(call.code[call.pos]);
  const bool last = call.pos + 1 == call.code.size();
  switch (c) {
    case tkLess:
      ++call.pos;
      if (!call.blank && !call.repeat) PageFormat::NewLineDefault();
      return;
    case tkBang:
      ++call.pos;
      if (g_pending.view() == g_remembered.view()) {
        g_pending = std::string(Common::VisibleLength(g_pending), ' ');
        call.blank = true;
      } else {
        call.repeat = g_remembered.empty();
        g_remembered = g_pending;
      }
      return;
    case tkSlash:
      ++call.pos;
      PageFormat::PrintWrapped(g_pending);
      PageFormat::NewLine(last && call.extraLines == 0);
      return;
    case tkOr:
    case tkHas:
      ++call.pos;
      PageFormat::PrintWrapped(g_pending);
      if (!call.blank) PageFormat::NewLine(last && call.extraLines == 0);
      else if (c == tkOr) ++call.extraLines;
      return;
    case tkLike:
      ++call.pos;
      if (call.CodeAt(tkSel)) {
        TItem item;
        EvalItem(call, item);
        if (Error() != 0) return;
        call.blank = item.value.number == 0;
      }
      if (call.blank) g_pending.clear();
      return;
    default:
      PrintItem(call);
      return;
  }
}

int PrintLineHook(std::string_view line) { return FormatLine(line, false); }

}  // namespace

bool IsBlankText(std::string_view text) {
  return std::all_of(text.begin(), text.end(), [](char c) { return uint8_t(c) <= 32; });
}

void CentreText(ShortStr& text, size_t width, char fill) {
  while (Common::VisibleLength(text) < width && text.size() < ShortStr::kMax) {
    text.append(fill);
    if (Common::VisibleLength(text) < width && text.size() < ShortStr::kMax)
      text = std::string(1, fill) + std::string(text.view());
  }
}

bool AnyColumnContinues() {
  for (size_t i = 1; i <= PageFormat::kColumnStates; ++i)
    if (Layout().columns[i].inUse) return true;
  return false;
}

void ReleaseColumnStates() {
  for (size_t i = 1; i <= PageFormat::kColumnStates; ++i) Layout().columns[i] = PageFormat::TColumnState();
}

uint16_t FormatLine(std::string_view line, bool collect) {
  PageFormat::TLayout& g = Layout();
  TCall call;
  call.code = line;
  call.page.collect = collect;
  call.continuation = AnyColumnContinues();
  g.continuation = call.continuation;
  if (g.statPending) {
    Zet02::UpdateStatFuncs(g.statSet);
    g.statPending = false;
  }
  const ShortStr savedPending = g_pending;
  g_pending.clear();
  const uint16_t savedError = g.error;
  g.error = 0;
  call.page.entryLeftMargin = g.left;
  PageFormat::TLineCall* const outer = PageFormat::RunningCall();
  PageFormat::SetRunningCall(&call.page);

  while (g.error == 0 && call.pos < call.code.size()) {
    const size_t before = call.pos;
    HandleCode(call);
    if (g.error == 0 && call.pos == before) ++call.pos;  // every step moves on
  }

  if (g.error == 0 && call.page.collect) {
    // The sub-report's pool takes the line's text with its length byte.
    uint8_t record[ShortStr::kMax + 1];
    record[0] = uint8_t(g_pending.size());
    std::copy(g_pending.view().begin(), g_pending.view().end(), reinterpret_cast<char*>(record + 1));
    SORT::AddRecord(record, g_pending.size() + 1);
  } else if (g.error == 0) {
    PageFormat::PrintWrapped(g_pending);
    if (call.page.rowBottom > 0) g.y = call.page.rowBottom;
    for (; call.extraLines > 0; --call.extraLines) {
      PageFormat::NewLine(true);
      g.x = 0;
    }
  }
  g_pending = savedPending;
  if (g.error != 0) Zet02::ReportRunError(g.error, call.code, 0, call.pos);
  g.left = call.page.entryLeftMargin;
  PageFormat::SetRunningCall(outer);
  const uint16_t result = g.error;
  g.error = savedError;
  return result;
}

void UnitInit() {
  g_pending.clear();
  g_remembered.clear();
  g_rowTopY = 0;
  g_rowTopCounter = 0;
  PageFormat::SetFormatLineProc(&FormatLine);
  Zet02::TRunHooks hooks = Zet02::RunHooks();
  hooks.printLine = &PrintLineHook;
  Zet02::SetRunHooks(hooks);
}

void UnitDone() {
  ReleaseColumnStates();
  g_pending.clear();
  g_remembered.clear();
}

}  // namespace LineFormat
