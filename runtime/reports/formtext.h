// Formatted text: a multi-line text laid out for an output context, the text
// of memo-like elements and of every document the output contexts write.
//
// The text is a list of lines. A line holds its characters and its
// cumulative bottom: the sum of its own height and the heights of all lines
// before it, in the logical units of the context it was laid out for. A line
// that ends a paragraph keeps its CR LF (or LF) at its end; a line broken by
// the width (word wrap) has none. A new line carries its height in Bottom;
// inserting it makes the value cumulative.
//
// What always holds between operations:
//   1. There is at least one line (the constructors make one; Clear and
//      DeleteRange leave one; DeleteLine of the last line is the caller's
//      business, and every operation that deletes lines inserts an empty one
//      when none is left).
//   2. Bottom never decreases from one line to the next; line i's height is
//      Bottom[i] - Bottom[i-1] (line 0: Bottom[0]). Inserting or deleting a
//      line moves the bottoms of the later lines in one pass.
//   3. A text position {column, line} has 0 <= line < count and
//      0 <= column <= the line's length; operations that take a position
//      clamp it into that range before they use it.
//   4. A line that cannot be inserted raises XFormattedText with
//      "Text too big for the editor." and leaves the line count unchanged.
//   5. Re-wrapping (InsertText, Format) works in a buffer of its own that
//      grows with the text: no caller's estimate of a size is trusted.
//   6. Separators of words are blank, TAB, LF and "-".
//
// Stream forms (the characters are Windows-1252, or code page 850 with the
// OEM flag):
//   Read / Write           u32 length n, then n characters (no conversion);
//                          a negative length reads as 0, and no more
//                          characters are taken than the stream holds.
//   LoadFromStream /       the stream's whole rest as characters, no length
//   SaveToStream           word; optionally converted from / to code page 850.
// Reading cuts the characters into lines of at most 255 characters; a chunk
// that ends with CR takes one more character, so CR LF stay in one line.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace reports {

class TSgmlContext;

// The text of the exception a line that cannot be inserted raises.
inline constexpr const char* kTextTooBig = "Text too big for the editor.";

class XFormattedText : public kxobject::xmsg {
 public:
  XFormattedText() : kxobject::xmsg(kTextTooBig) {}
};

// A place in the text: a column of a line.
struct TTextPos {
  int32_t column = 0;
  int32_t line = 0;
  friend bool operator==(const TTextPos&, const TTextPos&) = default;
};

class TFormattedLine {
 public:
  // An empty line with room for capacity characters.
  TFormattedLine(int32_t capacity, int16_t height);
  // The text, at most maxLen characters when maxLen >= 0.
  TFormattedLine(const char* text, int32_t maxLen, int16_t height);
  TFormattedLine(const TFormattedLine&) = default;
  TFormattedLine& operator=(const TFormattedLine&) = default;

  // Replaces the line from column on by text (whole when n < 0, else n
  // characters); a column past the end is taken as the end.
  void SetTextAt(int32_t column, const char* text, int32_t n);
  int32_t Length() const { return int32_t(Text.size()); }
  // True when the line ends a paragraph (its last character is LF).
  bool EndsWithLineFeed() const { return !Text.empty() && Text.back() == '\n'; }

  int32_t Bottom = 0;
  std::string Text;
};

class TFormattedText {
 public:
  // One empty line of capacity 256 and height 40.
  explicit TFormattedText(int32_t size = 10, int32_t delta = 10);
  // The text added as lines of height 0 (AddText) in front of one empty line
  // of height 40; lineWidth only sizes the line array.
  TFormattedText(const char* text, int32_t lineWidth);
  TFormattedText(const TFormattedText& other);
  TFormattedText& operator=(const TFormattedText&) = delete;

  int32_t GetLineCount() const { return Lines.Count(); }
  const TFormattedLine& GetLine(int32_t index) const { return *Lines.At(index); }
  // index < 0 appends. Ownership of line passes to the text.
  void InsertLine(int32_t index, std::unique_ptr<TFormattedLine> line);
  void DeleteLine(int32_t index);
  // One empty line again, of the old first line's height.
  void Clear();
  int32_t GetLineHeight(int32_t index) const;
  // The top of a line: the bottom of the line before it, 0 for line 0.
  int32_t GetLineTop(int32_t index) const;

  char GetCharAt(TTextPos pos) const;
  int32_t GetLength() const;
  bool NextPos(TTextPos& pos) const;
  bool PrevPos(TTextPos& pos) const;
  TTextPos AdvancePos(TTextPos pos, int32_t n) const;
  // The line that holds character number index (counted over all lines);
  // the last line when index lies at or past the end.
  int32_t LineOfChar(int32_t index) const;

  // Adds text (len < 0: all of it) in pieces of at most 255 characters, each
  // a new line of height 0 in front of the last line.
  void AddText(const char* text, int32_t len);
  void SplitLine(TTextPos pos);
  // Copies the characters from `from` up to `to` (exclusive), at most size
  // characters and a terminator into buffer (size + 1 bytes); answers the
  // count copied.
  int32_t GetRange(TTextPos from, TTextPos to, char* buffer, int32_t size) const;
  void DeleteRange(TTextPos from, TTextPos to);
  int32_t GetWordAt(TTextPos pos, char* buffer, int32_t size) const;
  bool Find(const char* text, TTextPos& pos, bool ignoreCase, bool backwards) const;

  // Lays the text out for context and width again, from FirstDirty (or from
  // line 0 when all). reserved is kept for callers that pass a line limit.
  void Format(TSgmlContext& context, int32_t width, int32_t reserved, bool all);
  // Replaces from..to by text and re-wraps what it touched; first and last
  // (when given) receive the first and last positions touched.
  void InsertText(TSgmlContext& context, TTextPos from, TTextPos to, std::string text, int32_t width,
                  TTextPos* first, TTextPos* last);

  // Draws the lines from the one holding character firstChar on, into rect
  // (align 1 centred, 2 right, else left).
  void Draw(TSgmlContext& context, const kxobject::TRect& rect, int32_t firstChar, int32_t align);
  // Prints the lines from firstLine on into rect as long as they end above
  // rect.bottom; answers the first line that did not fit, -1 when the rest
  // of the text was printed. A first line that does not fit at all is not
  // printed (the answer is firstLine).
  int32_t Print(TSgmlContext& context, const kxobject::TRect& rect, int32_t firstLine, int32_t align);

  void Read(kxobject::TKxStream& stream);
  void Write(kxobject::TKxStream& stream) const;
  void LoadFromStream(kxobject::TKxStream& stream, bool fromOem);
  void SaveToStream(kxobject::TKxStream& stream, bool toOem) const;
  // All characters of all lines in order.
  std::string GetText() const;

  kxobject::TKxPtrArray<TFormattedLine> Lines;
  uint8_t WordWrap = 0;
  int32_t TabCount = 1;
  std::vector<int32_t> TabStops{100};
  int32_t FirstDirty = 0;

 private:
  void ReadLines(kxobject::TKxStream& stream, uint32_t count, bool fromOem);
  void WriteLines(kxobject::TKxStream& stream, bool toOem) const;
  // Draws lines first .. count-1 from rect.top on; stops before the first
  // line whose bottom passes limit (when limit is set) and answers it, or -1.
  int32_t DrawLines(TSgmlContext& context, const kxobject::TRect& rect, int32_t first, int32_t align,
                    bool limited);
};

}  // namespace reports
