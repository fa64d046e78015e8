#include "runtime/dataviews/browfmt.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "engine/interface/include/zetcore.h"
#include "runtime/toolkit/kxstring.h"

namespace dataviews {

using kxstring::StrLCat;
using kxstring::StrLCopy;

namespace {

constexpr int32_t kColumnTextMax = 300;

// Default width and decimals of a column over a field of the given type.
void DefaultLayout(uint16_t type, uint16_t size, int16_t& width, int16_t& decimals) {
  decimals = -1;
  switch (type) {
    case 1: width = int16_t(std::min<uint16_t>(size, 40)); break;
    case 2: width = 6, decimals = 0; break;
    case 3: width = 10, decimals = 2; break;
    case 4: width = 5, decimals = 0; break;
    case 9: width = 8, decimals = 0; break;
    default: width = 10; break;
  }
}

std::string ReadText(kxobject::TKxStream& stream) {
  std::unique_ptr<char[]> text(stream.ReadString());
  return text ? text.get() : "";
}

}  // namespace

bool ComposeBrowseColumn(const char* expression, int32_t fieldNo, uint16_t kind, int16_t decimals,
                         char (&text)[256]) {
  const bool numeric = decimals >= 0;
  int n;
  if (fieldNo >= 1)
    n = numeric ? std::snprintf(text, sizeof text, "$%hd:0:%hd", short(fieldNo), short(decimals))
                : std::snprintf(text, sizeof text, "$%hd", short(fieldNo));
  else if (kind == 3)
    n = numeric ? std::snprintf(text, sizeof text, "(%s):0:%hd", expression, short(decimals))
                : std::snprintf(text, sizeof text, "(%s)", expression);
  else
    n = numeric ? std::snprintf(text, sizeof text, "%s:0:%hd ", expression, short(decimals))
                : std::snprintf(text, sizeof text, "%s ", expression);
  return n >= 0 && n < int(sizeof text);
}

// ---- one column ----

TBrowserColumn::TBrowserColumn(const char* expression, int16_t width, int16_t decimals, const char* title)
    : Width(width), Decimals(decimals), Title(title ? title : ""), Expression(expression ? expression : "") {}

TBrowserColumn::TBrowserColumn(const TBrowserColumn& other)
    : kxobject::TKxObject(), Width(other.Width), Decimals(other.Decimals), Title(other.Title), Expression(other.Expression) {}

TBrowserColumn::TBrowserColumn(kxobject::TKxStream& stream) {
  Title = ReadText(stream);
  Expression = ReadText(stream);
  Width = int16_t(stream.ReadInt());
  Decimals = int16_t(stream.ReadInt());
}

void TBrowserColumn::Write(kxobject::TKxStream& stream) const {
  stream.WriteString(Title.c_str());
  stream.WriteString(Expression.c_str());
  stream.WriteInt(Width);
  stream.WriteInt(Decimals);
}

int32_t TBrowserColumn::Prepare(int32_t table, uint64_t& relationSet) {
  Prepared.reset();
  uint16_t kind = 3;
  uint32_t low = 0, high = 0;
  const int32_t analysed = ZetAnalizeExpression(table, Expression.c_str(), &kind, &low, &high);
  if (analysed != 0) return analysed;
  relationSet |= uint64_t(high) << 32 | low;
  const int32_t fieldNo = kind == 1 ? ZetTableGetFieldNo(table, Expression.c_str()) : 0;
  char text[256];
  if (!ComposeBrowseColumn(Expression.c_str(), fieldNo, kind, Decimals, text)) return kColumnTooLong;
  uint8_t code[256];
  const int32_t compiled = ZetTokenize(table, code, text);
  if (compiled != 0) return compiled;
  Prepared = std::make_unique<uint8_t[]>(size_t(code[0]) + 1);
  std::memcpy(Prepared.get(), code, size_t(code[0]) + 1);
  return 0;
}

void TBrowserColumn::GetText(int32_t table, char* buffer, int32_t size) const {
  if (!Prepared) {
    StrLCopy(buffer, "", size);
    return;
  }
  ZetTableGetBrowserCol(table, reinterpret_cast<const char*>(Prepared.get()), buffer, size);
}

void TBrowserColumn::GetDefinition(char* buffer, int32_t size) const {
  char number[16];
  StrLCopy(buffer, Expression.c_str(), size);
  std::snprintf(number, sizeof number, ":%d", int(Width));
  StrLCat(buffer, number, size);
  if (Decimals > 0) {
    std::snprintf(number, sizeof number, ":%d", int(Decimals));
    StrLCat(buffer, number, size);
  }
}

void TBrowserColumn::GetExpression(char* buffer, int32_t size) const { StrLCopy(buffer, Expression.c_str(), size); }

void TBrowserColumn::GetTitle(char* buffer, int32_t size) const { StrLCopy(buffer, Title.c_str(), size); }

// ---- the set ----

TBrowserFormat::TBrowserFormat(int32_t table) {
  const int32_t count = ZetTableGetNumFields(table);
  for (int32_t no = 1; no <= count; ++no) {
    ZetFieldSpec desc{};
    if (ZetTableGetFieldSpec(table, no, &desc) != 0) continue;
    int16_t width, decimals;
    DefaultLayout(desc.type, desc.size, width, decimals);
    Columns.Insert(new TBrowserColumn(desc.name, width, decimals, desc.name));
  }
}

TBrowserFormat::TBrowserFormat(const TBrowserFormat& other) : kxobject::TKxObject() {
  for (int32_t i = 0; i < other.Count(); ++i) Columns.Insert(new TBrowserColumn(*other.At(i)));
}

TBrowserFormat::TBrowserFormat(kxobject::TKxStream& stream, bool withFont) {
  if (withFont) kxfont::ReadLogFont(stream, Font);
  ReadColumns(stream);
}

void TBrowserFormat::ReadColumns(kxobject::TKxStream& stream) {
  const uint16_t count = uint16_t(stream.ReadInt());
  for (uint16_t i = 0; i < count && stream.Status == 0; ++i) {
    auto column = std::make_unique<TBrowserColumn>(stream);
    if (stream.Status != 0) break;
    Columns.Insert(column.release());
  }
}

void TBrowserFormat::WriteColumns(kxobject::TKxStream& stream) const {
  stream.WriteInt(Count());
  for (int32_t i = 0; i < Count(); ++i) At(i)->Write(stream);
}

void TBrowserFormat::Write(kxobject::TKxStream& stream) const {
  kxfont::WriteLogFont(stream, Font);
  WriteColumns(stream);
}

void TBrowserFormat::WriteWithoutFont(kxobject::TKxStream& stream) const { WriteColumns(stream); }

TBrowserColumn* TBrowserFormat::InsertColumn(int32_t index, const char* expression, int16_t width, int16_t decimals,
                                             const char* title) {
  if (!expression) return nullptr;
  auto* column = new TBrowserColumn(expression, width, decimals, title);
  if (index < 0 || index >= Count())
    Columns.Insert(column);
  else
    Columns.AtInsert(index, column);
  return column;
}

void TBrowserFormat::GetColumnText(int32_t table, int32_t index, char* buffer, int32_t size) const {
  At(index)->GetText(table, buffer, size);
}

void TBrowserFormat::GetColumnInfo(int32_t index, char* expression, int32_t expressionSize, int16_t& width,
                                   int16_t& decimals, char* title, int32_t titleSize) const {
  if (index < 0 || index >= Count()) return;
  const TBrowserColumn& c = *At(index);
  c.GetExpression(expression, expressionSize);
  c.GetTitle(title, titleSize);
  width = c.Width;
  decimals = c.Decimals;
}

void TBrowserFormat::JoinTexts(int32_t table, char* buffer, int32_t limit) const {
  buffer[0] = 0;
  size_t used = 0;
  char text[kColumnTextMax + 1];
  for (int32_t i = 0; i < Count(); ++i) {
    At(i)->GetText(table, text, kColumnTextMax);
    const size_t n = std::strlen(text);
    if (int64_t(used + n) >= limit) continue;
    std::memcpy(buffer + used, text, n + 1);
    used += n;
  }
}

int32_t TBrowserFormat::Prepare(int32_t table) {
  uint64_t relationSet = 0;
  for (int32_t i = 0; i < Count(); ++i)
    if (const int32_t r = At(i)->Prepare(table, relationSet); r != 0) return r;
  ZetTableSetRelationSet(table, uint32_t(relationSet), uint32_t(relationSet >> 32));
  return 0;
}

}  // namespace dataviews
