// The browser's column model: which columns a table view shows.
//
// A column holds an expression (usually a field name), a display width in
// characters, a number of decimals (-1: no numeric format) and a title; a
// column set holds its columns in order and one font for all of them.
//
// Stored column-set record (little-endian, toolkit stream primitives):
//
//   order  field                      form
//   1      font                       LOGFONT field by field (WriteLogFont)
//   2      column count               word
//   3..    per column: title          string (word length, bytes; 0 = none)
//          per column: expression     string
//          per column: width          signed word
//          per column: decimals       signed word
//
// The record without font, which older form files hold, is the same without
// field 1.
//
// What always holds:
//   1. The prepared form of a column (the engine's compiled browse column) is
//      never stored, never copied: a column read from a stream, copied or
//      built from a table is unprepared, and its text is empty until Prepare
//      has run for a table.
//   2. A browse-column text that would not fit the engine's 255 characters
//      is refused (the column stays unprepared), never cut: a cut expression
//      would show other data.
//   3. The set of linked tables that a column set reads is kept 64 bits wide
//      from the engine's analysis to ZetTableSetRelationSet.
//   4. Reading stops at the first stream failure; the set then holds the
//      columns read whole before it, and the stream's status tells the
//      caller.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "runtime/toolkit/kxfont.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace dataviews {

// Answered by Prepare when the browse-column text would exceed 255
// characters (as the engine answers an expression it cannot take).
constexpr int32_t kColumnTooLong = -7;

// The browse-column text for an expression: a field (fieldNo above 0) as
// "$n[:0:d]", an expression of analysis kind 3 as "(e)[:0:d]", any other as
// "e[:0:d] "; the ":0:d" part only for decimals of 0 or more. False when
// the text would exceed 255 characters.
bool ComposeBrowseColumn(const char* expression, int32_t fieldNo, uint16_t kind, int16_t decimals,
                         char (&text)[256]);

class TBrowserColumn : public kxobject::TKxObject {
 public:
  TBrowserColumn(const char* expression, int16_t width, int16_t decimals, const char* title);
  TBrowserColumn(const TBrowserColumn& other);
  TBrowserColumn& operator=(const TBrowserColumn&) = delete;
  explicit TBrowserColumn(kxobject::TKxStream& stream);

  void Write(kxobject::TKxStream& stream) const;
  // Compiles the expression for the table; the tables it reads are added to
  // relationSet. 0 or the engine's error (the column then stays unprepared).
  int32_t Prepare(int32_t table, uint64_t& relationSet);
  bool IsPrepared() const { return Prepared != nullptr; }
  void GetText(int32_t table, char* buffer, int32_t size) const;
  void GetDefinition(char* buffer, int32_t size) const;
  void GetExpression(char* buffer, int32_t size) const;
  void GetTitle(char* buffer, int32_t size) const;

  int16_t Width = 0;
  int16_t Decimals = -1;
  std::string Title;
  std::string Expression;

 private:
  std::unique_ptr<uint8_t[]> Prepared;
};

class TBrowserFormat : public kxobject::TKxObject {
 public:
  TBrowserFormat() = default;
  // One column per field of the cursor's table, widths by field type.
  explicit TBrowserFormat(int32_t table);
  TBrowserFormat(const TBrowserFormat& other);
  TBrowserFormat& operator=(const TBrowserFormat&) = delete;
  TBrowserFormat(kxobject::TKxStream& stream, bool withFont);

  void Write(kxobject::TKxStream& stream) const;
  void WriteWithoutFont(kxobject::TKxStream& stream) const;
  TBrowserColumn* InsertColumn(int32_t index, const char* expression, int16_t width, int16_t decimals,
                               const char* title);
  int32_t Count() const { return Columns.Count(); }
  TBrowserColumn* At(int32_t index) const { return Columns.At(index); }
  void GetColumnText(int32_t table, int32_t index, char* buffer, int32_t size) const;
  void GetColumnInfo(int32_t index, char* expression, int32_t expressionSize, int16_t& width, int16_t& decimals,
                     char* title, int32_t titleSize) const;
  void JoinTexts(int32_t table, char* buffer, int32_t limit) const;
  void GetFont(win::LOGFONT& font) const { font = Font; }
  void SetFont(const win::LOGFONT& font) { Font = font; }
  int32_t Prepare(int32_t table);

 private:
  void ReadColumns(kxobject::TKxStream& stream);
  void WriteColumns(kxobject::TKxStream& stream) const;

  kxobject::TKxPtrArray<TBrowserColumn> Columns{10, 10};
  win::LOGFONT Font{};
};

}  // namespace dataviews
