#include "runtime/reports/formtext.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "platform/codepage.h"
#include "platform/gdi/dc.h"
#include "runtime/reports/sgmlctx.h"
#include "runtime/toolkit/kxstring.h"

namespace reports {

namespace {

constexpr int32_t kPieceLength = 255;    // characters of one line read or added
constexpr int32_t kNewLineCapacity = 256;
constexpr int16_t kNewLineHeight = 40;
constexpr int32_t kDrawBuffer = 4095;  // characters of one line drawn

bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '-'; }

// Line height of the context's current font.
int32_t LineHeightOf(TSgmlContext& context, win::TEXTMETRIC* metrics = nullptr) {
  win::TEXTMETRIC tm;
  context.GetTextMetrics(tm);
  if (metrics) *metrics = tm;
  return tm.tmHeight + tm.tmExternalLeading;
}

int16_t ToHeight(int32_t height) { return int16_t(std::clamp<int32_t>(height, 0, INT16_MAX)); }

}  // namespace

TFormattedLine::TFormattedLine(int32_t capacity, int16_t height) : Bottom(height) {
  Text.reserve(size_t(std::max(capacity, 0)));
}

TFormattedLine::TFormattedLine(const char* text, int32_t maxLen, int16_t height) : Bottom(height) {
  if (!text) return;
  Text.assign(text, maxLen >= 0 ? strnlen(text, size_t(maxLen)) : std::strlen(text));
}

void TFormattedLine::SetTextAt(int32_t column, const char* text, int32_t n) {
  column = std::clamp(column, 0, Length());
  size_t count = text ? std::strlen(text) : 0;
  if (n >= 0) count = std::min(count, size_t(n));
  Text.resize(size_t(column));
  Text.append(text ? text : "", count);
}

TFormattedText::TFormattedText(int32_t size, int32_t delta) : Lines(size, delta) {
  InsertLine(-1, std::make_unique<TFormattedLine>(kNewLineCapacity, kNewLineHeight));
}

TFormattedText::TFormattedText(const char* text, int32_t lineWidth)
    : Lines(int32_t(std::strlen(text ? text : "") / size_t(std::max(lineWidth, 1))) + 1, 10) {
  InsertLine(-1, std::make_unique<TFormattedLine>(kNewLineCapacity, kNewLineHeight));
  AddText(text, -1);
}

TFormattedText::TFormattedText(const TFormattedText& other)
    : Lines(std::max(other.Lines.Count(), 1), 10),
      WordWrap(other.WordWrap),
      TabCount(other.TabCount),
      TabStops(other.TabStops),
      FirstDirty(other.FirstDirty) {
  for (int32_t i = 0; i < other.Lines.Count(); ++i) Lines.Insert(new TFormattedLine(*other.Lines.At(i)));
}

void TFormattedText::InsertLine(int32_t index, std::unique_ptr<TFormattedLine> line) {
  int32_t count = Lines.Count();
  if (index < 0 || index > count) index = count;
  int32_t height = line->Bottom;
  line->Bottom = height + GetLineTop(index);
  try {
    // A growing text doubles its room instead of adding the array's delta
    // each time; an array that may not grow (delta 0) stays as it is.
    if (count == Lines.Limit() && Lines.Delta() > 0) Lines.SetLimit(count + std::max(count, Lines.Delta()));
    Lines.AtInsert(index, line.get());
  } catch (const kxobject::xmsg&) {
    throw XFormattedText();
  }
  line.release();
  for (int32_t i = index + 1; i < Lines.Count(); ++i) Lines.At(i)->Bottom += height;
}

void TFormattedText::DeleteLine(int32_t index) {
  if (index < 0 || index >= Lines.Count()) return;
  int32_t height = GetLineHeight(index);
  Lines.AtFree(index);
  for (int32_t i = index; i < Lines.Count(); ++i) Lines.At(i)->Bottom -= height;
}

void TFormattedText::Clear() {
  int16_t height = Lines.Count() > 0 ? ToHeight(GetLineHeight(0)) : kNewLineHeight;
  Lines.FreeAll();
  InsertLine(-1, std::make_unique<TFormattedLine>(kNewLineCapacity, height));
  FirstDirty = 0;
}

int32_t TFormattedText::GetLineHeight(int32_t index) const {
  if (Lines.Count() == 0) return 0;
  index = std::min(index, Lines.Count() - 1);
  if (index < 1) return Lines.At(0)->Bottom;
  return Lines.At(index)->Bottom - Lines.At(index - 1)->Bottom;
}

int32_t TFormattedText::GetLineTop(int32_t index) const {
  index = std::min(index, Lines.Count());
  return index < 1 ? 0 : Lines.At(index - 1)->Bottom;
}

namespace {

TTextPos Clamped(const TFormattedText& text, TTextPos pos) {
  pos.line = std::clamp(pos.line, 0, text.GetLineCount() - 1);
  pos.column = std::clamp(pos.column, 0, text.GetLine(pos.line).Length());
  return pos;
}

bool Before(TTextPos a, TTextPos b) { return a.line < b.line || (a.line == b.line && a.column < b.column); }

}  // namespace

char TFormattedText::GetCharAt(TTextPos pos) const {
  pos = Clamped(*this, pos);
  const std::string& text = Lines.At(pos.line)->Text;
  return pos.column < int32_t(text.size()) ? text[size_t(pos.column)] : '\0';
}

int32_t TFormattedText::GetLength() const {
  int32_t length = 0;
  for (int32_t i = 0; i < Lines.Count(); ++i) length += Lines.At(i)->Length();
  return length;
}

bool TFormattedText::NextPos(TTextPos& pos) const {
  TTextPos p = Clamped(*this, pos);
  int32_t length = Lines.At(p.line)->Length();
  if (p.column + 1 < length) {
    ++p.column;
  } else if (p.line + 1 < Lines.Count()) {
    p = {0, p.line + 1};
  } else if (p.column < length) {
    ++p.column;
  } else {
    return false;
  }
  pos = p;
  return true;
}

bool TFormattedText::PrevPos(TTextPos& pos) const {
  TTextPos p = Clamped(*this, pos);
  if (p.column > 0) {
    --p.column;
  } else if (p.line > 0) {
    --p.line;
    p.column = std::max(Lines.At(p.line)->Length() - 1, 0);
  } else {
    return false;
  }
  pos = p;
  return true;
}

TTextPos TFormattedText::AdvancePos(TTextPos pos, int32_t n) const {
  TTextPos p = Clamped(*this, pos);
  int64_t column = int64_t(p.column) + n;
  while (column < 0 && p.line > 0) column += Lines.At(--p.line)->Length();
  while (p.line + 1 < Lines.Count() && column > Lines.At(p.line)->Length()) column -= Lines.At(p.line++)->Length();
  const TFormattedLine& line = *Lines.At(p.line);
  p.column = int32_t(std::clamp<int64_t>(column, 0, line.Length()));
  if (p.column == line.Length() && line.EndsWithLineFeed() && p.line + 1 < Lines.Count()) p = {0, p.line + 1};
  return p;
}

int32_t TFormattedText::LineOfChar(int32_t index) const {
  int32_t line = 0;
  for (; line + 1 < Lines.Count(); ++line) {
    int32_t length = Lines.At(line)->Length();
    if (index < length) break;
    index -= length;
  }
  return line;
}

void TFormattedText::AddText(const char* text, int32_t len) {
  if (!text) return;
  size_t total = len < 0 ? std::strlen(text) : size_t(len);
  for (size_t at = 0; at < total; at += kPieceLength) {
    int32_t piece = int32_t(std::min<size_t>(kPieceLength, total - at));
    InsertLine(Lines.Count() - 1, std::make_unique<TFormattedLine>(text + at, piece, 0));
  }
}

void TFormattedText::SplitLine(TTextPos pos) {
  pos = Clamped(*this, pos);
  TFormattedLine& line = *Lines.At(pos.line);
  auto tail = std::make_unique<TFormattedLine>(line.Text.c_str() + pos.column, -1, ToHeight(GetLineHeight(pos.line)));
  line.Text.resize(size_t(pos.column));
  InsertLine(pos.line + 1, std::move(tail));
}

int32_t TFormattedText::GetRange(TTextPos from, TTextPos to, char* buffer, int32_t size) const {
  from = Clamped(*this, from);
  to = Clamped(*this, to);
  int32_t count = 0;
  for (TTextPos p = from; Before(p, to) && count < size;) {
    const std::string& text = Lines.At(p.line)->Text;
    int32_t end = p.line == to.line ? to.column : int32_t(text.size());
    int32_t n = std::min(end - p.column, size - count);
    std::memcpy(buffer + count, text.data() + p.column, size_t(n));
    count += n;
    p = {0, p.line + 1};
  }
  if (size >= 0) buffer[count] = '\0';
  return count;
}

void TFormattedText::DeleteRange(TTextPos from, TTextPos to) {
  from = Clamped(*this, from);
  to = Clamped(*this, to);
  if (!Before(from, to)) return;
  if (from.line == to.line) {
    Lines.At(from.line)->Text.erase(size_t(from.column), size_t(to.column - from.column));
    return;
  }
  int16_t height = ToHeight(GetLineHeight(from.line));
  TFormattedLine& last = *Lines.At(to.line);
  if (to.column >= last.Length()) {
    DeleteLine(to.line);
  } else {
    last.Text.erase(0, size_t(to.column));
  }
  for (int32_t i = to.line - 1; i > from.line; --i) DeleteLine(i);
  if (from.column == 0) {
    DeleteLine(from.line);
  } else {
    Lines.At(from.line)->Text.resize(size_t(from.column));
  }
  if (Lines.Count() == 0) InsertLine(-1, std::make_unique<TFormattedLine>(kNewLineCapacity, height));
}

int32_t TFormattedText::GetWordAt(TTextPos pos, char* buffer, int32_t size) const {
  pos = Clamped(*this, pos);
  const std::string& text = Lines.At(pos.line)->Text;
  int32_t start = pos.column, end = pos.column, length = int32_t(text.size());
  while (start > 0 && !IsSeparator(text[size_t(start - 1)])) --start;
  while (end < length && IsSeparator(text[size_t(end)])) ++end;
  while (end < length && !IsSeparator(text[size_t(end)])) ++end;
  return GetRange({start, pos.line}, {end, pos.line}, buffer, size);
}

bool TFormattedText::Find(const char* text, TTextPos& pos, bool ignoreCase, bool backwards) const {
  size_t n = text ? std::strlen(text) : 0;
  if (n == 0) return false;
  auto same = [&](char a, char b) {
    return ignoreCase ? kxstring::CharUpperGerman(a) == kxstring::CharUpperGerman(b) : a == b;
  };
  auto matchesAt = [&](const std::string& line, int32_t column) {
    if (size_t(column) + n > line.size()) return false;
    for (size_t i = 0; i < n; ++i)
      if (!same(line[size_t(column) + i], text[i])) return false;
    return true;
  };
  TTextPos start = Clamped(*this, pos);
  if (backwards) {
    for (int32_t line = start.line; line >= 0; --line) {
      const std::string& s = Lines.At(line)->Text;
      int32_t column = line == start.line ? start.column - 1 : int32_t(s.size()) - 1;
      for (; column >= 0; --column)
        if (matchesAt(s, column)) return pos = {column, line}, true;
    }
  } else {
    for (int32_t line = start.line; line < Lines.Count(); ++line) {
      const std::string& s = Lines.At(line)->Text;
      for (int32_t column = line == start.line ? start.column : 0; column < int32_t(s.size()); ++column)
        if (matchesAt(s, column)) return pos = {column, line}, true;
    }
  }
  return false;
}

namespace {

// One line's worth of text from the start of text: the count of characters
// the line holds (its CR LF included when the paragraph ended in it).
size_t FitText(TSgmlContext& context, const TFormattedText& owner, std::string_view text, int32_t width) {
  size_t end = text.find_first_of("\r\n");
  size_t length = end == std::string_view::npos ? text.size() : end;
  auto fits = [&](size_t n) {
    return n == 0 ||
           context.GetTabbedTextExtent(text.data(), int(n), owner.TabCount, owner.TabStops.data()).cx <= width;
  };
  // Grow the fitting count by doubling, then halve the step back: the
  // largest count that fits, measured only over characters near the line.
  size_t low = 0, step = 1;
  while (low + step <= length && fits(low + step)) {
    low += step;
    step *= 2;
  }
  for (; step > 0; step /= 2)
    if (low + step <= length && fits(low + step)) low += step;
  if (low == length) {
    if (end == std::string_view::npos) return length;
    if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') return end + 2;
    return end + 1;
  }
  size_t cut = std::max<size_t>(low, 1);
  if (cut < length && !IsSeparator(text[cut - 1]) && !IsSeparator(text[cut])) {
    size_t start = cut;
    while (start > 0 && !IsSeparator(text[start - 1])) --start;
    if (start > 0) cut = start;
  }
  while (cut < length && text[cut] == ' ') ++cut;  // blanks hang past the width
  return cut;
}

// Without word wrap a piece runs up to and including the next line feed.
size_t FitParagraph(std::string_view text) {
  size_t lf = text.find('\n');
  return lf == std::string_view::npos ? text.size() : lf + 1;
}

}  // namespace

void TFormattedText::InsertText(TSgmlContext& context, TTextPos from, TTextPos to, std::string text, int32_t width,
                                TTextPos* first, TTextPos* last) {
  from = Clamped(*this, from);
  to = Clamped(*this, to);
  if (Before(to, from)) std::swap(from, to);
  win::TEXTMETRIC tm;
  int16_t height = ToHeight(LineHeightOf(context, &tm));
  if (tm.tmMaxCharWidth > width) width = 2 * tm.tmMaxCharWidth;

  std::string work = Lines.At(from.line)->Text.substr(0, size_t(from.column));
  work += text;
  work += Lines.At(to.line)->Text.substr(size_t(to.column));
  int32_t index = from.line;
  if (index > 0 && !Lines.At(index - 1)->EndsWithLineFeed()) {
    --index;
    work.insert(0, Lines.At(index)->Text);
  }
  int32_t start = index;
  for (int32_t i = to.line; i >= start; --i) DeleteLine(i);
  if (Lines.Count() <= start) InsertLine(start, std::make_unique<TFormattedLine>(kNewLineCapacity, height));

  std::string_view rest = work;
  while (!rest.empty()) {
    size_t n = WordWrap ? FitText(context, *this, rest, width) : FitParagraph(rest);
    InsertLine(index++, std::make_unique<TFormattedLine>(rest.data(), int32_t(n), height));
    rest.remove_prefix(n);
    if (rest.empty() && !Lines.At(index - 1)->EndsWithLineFeed() && index < Lines.Count()) {
      // The last piece flows on with the line that follows it (it was
      // wrapped before): both are laid out again together.
      work = Lines.At(index - 1)->Text + Lines.At(index)->Text;
      DeleteLine(index);
      DeleteLine(--index);
      rest = work;
    }
  }
  if (first) *first = {0, start};
  if (last) {
    int32_t line = std::clamp(index - 1, 0, Lines.Count() - 1);
    *last = {Lines.At(line)->Length(), line};
  }
}

void TFormattedText::Format(TSgmlContext& context, int32_t width, int32_t /*reserved*/, bool all) {
  int32_t start = all ? 0 : std::clamp(FirstDirty, 0, Lines.Count());
  std::string waiting;
  for (int32_t i = start; i < Lines.Count(); ++i) waiting += Lines.At(i)->Text;
  while (Lines.Count() > start) Lines.AtFree(Lines.Count() - 1);
  if (Lines.Count() == 0) {
    InsertLine(-1, std::make_unique<TFormattedLine>(kNewLineCapacity - 1, ToHeight(LineHeightOf(context))));
  }
  int32_t lastLine = Lines.Count() - 1;
  TTextPos end{Lines.At(lastLine)->Length(), lastLine};
  InsertText(context, end, end, std::move(waiting), width, nullptr, nullptr);
}

int32_t TFormattedText::DrawLines(TSgmlContext& context, const kxobject::TRect& rect, int32_t first, int32_t align,
                                  bool limited) {
  int32_t x = rect.left;
  if (align == kAlignCenter) {
    context.SetTextAlign(win::TA_CENTER);
    x = (rect.left + rect.right) / 2;
  } else if (align == kAlignRight) {
    context.SetTextAlign(win::TA_RIGHT);
    x = rect.right;
  } else {
    context.SetTextAlign(win::TA_LEFT);
  }
  first = std::clamp(first, 0, Lines.Count() - 1);
  int32_t origin = GetLineTop(first);
  for (int32_t i = first; i < Lines.Count(); ++i) {
    const TFormattedLine& line = *Lines.At(i);
    if (limited && i > first && rect.top + line.Bottom - origin > rect.bottom) return i;
    context.MoveTo(x, rect.top + GetLineTop(i) - origin);
    std::string shown = line.Text.substr(0, kDrawBuffer);
    bool paragraphEnd = shown.size() >= 2 && shown.compare(shown.size() - 2, 2, "\r\n") == 0;
    if (paragraphEnd) {
      shown.resize(shown.size() - 2);
    } else {
      // Blanks at a break by the width hang past it: they are not drawn,
      // so right-aligned and centred lines end at their last word.
      shown.erase(shown.find_last_not_of(' ') + 1);
    }
    std::replace(shown.begin(), shown.end(), '\t', ' ');
    context.TextOut(shown.c_str(), int(shown.size()));
    if (paragraphEnd) context.LineBreak();
  }
  return -1;
}

void TFormattedText::Draw(TSgmlContext& context, const kxobject::TRect& rect, int32_t firstChar, int32_t align) {
  DrawLines(context, rect, LineOfChar(firstChar), align, false);
}

int32_t TFormattedText::Print(TSgmlContext& context, const kxobject::TRect& rect, int32_t firstLine, int32_t align) {
  return DrawLines(context, rect, firstLine, align, true);
}

void TFormattedText::ReadLines(kxobject::TKxStream& stream, uint32_t count, bool fromOem) {
  char chunk[kPieceLength + 2];
  while (count > 0) {
    uint32_t n = std::min<uint32_t>(kPieceLength, count);
    uint32_t got = stream.ReadHuge(chunk, n);
    if (got == n && chunk[n - 1] == '\r' && count > n) got += stream.ReadHuge(chunk + n, 1);
    if (got == 0) return;
    if (fromOem) platform::OemToAnsiBuffer(chunk, got);
    InsertLine(Lines.Count() - 1, std::make_unique<TFormattedLine>(chunk, int32_t(got), 0));
    if (got < n) return;
    count -= got;
  }
}

void TFormattedText::WriteLines(kxobject::TKxStream& stream, bool toOem) const {
  char chunk[kPieceLength];
  for (int32_t i = 0; i < Lines.Count(); ++i) {
    const std::string& text = Lines.At(i)->Text;
    for (size_t at = 0; at < text.size(); at += kPieceLength) {
      size_t n = std::min<size_t>(kPieceLength, text.size() - at);
      std::memcpy(chunk, text.data() + at, n);
      if (toOem) platform::AnsiToOemBuffer(chunk, n);
      stream.WriteHuge(chunk, uint32_t(n));
    }
  }
}

namespace {

// The characters a stream still holds from its position on.
uint32_t BytesLeft(kxobject::TKxStream& stream) {
  int32_t left = stream.GetSize() - stream.GetPos();
  return left > 0 ? uint32_t(left) : 0;
}

}  // namespace

void TFormattedText::Read(kxobject::TKxStream& stream) {
  uint8_t word[4] = {};
  if (stream.ReadHuge(word, 4) != 4) return;
  int32_t length = int32_t(uint32_t(word[0]) | uint32_t(word[1]) << 8 | uint32_t(word[2]) << 16 |
                           uint32_t(word[3]) << 24);
  if (length <= 0) return;
  ReadLines(stream, std::min(uint32_t(length), BytesLeft(stream)), false);
}

void TFormattedText::Write(kxobject::TKxStream& stream) const {
  uint32_t length = uint32_t(GetLength());
  uint8_t word[4] = {uint8_t(length), uint8_t(length >> 8), uint8_t(length >> 16), uint8_t(length >> 24)};
  stream.WriteHuge(word, 4);
  WriteLines(stream, false);
}

void TFormattedText::LoadFromStream(kxobject::TKxStream& stream, bool fromOem) {
  Clear();
  ReadLines(stream, BytesLeft(stream), fromOem);
}

void TFormattedText::SaveToStream(kxobject::TKxStream& stream, bool toOem) const { WriteLines(stream, toOem); }

std::string TFormattedText::GetText() const {
  std::string text;
  for (int32_t i = 0; i < Lines.Count(); ++i) text += Lines.At(i)->Text;
  return text;
}

}  // namespace reports
