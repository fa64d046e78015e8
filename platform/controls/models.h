// The state of the edit control as a plain object, tested without windows:
// the text with its selection and undo, and the lines a multi-line edit
// shows (the list box's items are in listmodel.h).
//
// What always holds:
//   1. EditModel: the text never holds more than Limit() characters; a
//      single-line model never holds a CR or LF, a multi-line one breaks
//      its lines with CR LF, which caret moves step over as one position.
//      Every edit that would pass the limit is cut to it and answers false. The selection is the range
//      between an anchor and the caret, both within 0..length; the caret is
//      where typing goes. Every change of the text through an edit
//      operation sets the modified flag; SetText clears it (a program's
//      write is no user's change), as EM_SETMODIFY may.
//   2. A password character, when set, is what Shown() gives for every
//      character; the text itself stays as typed. Upper-case mode folds
//      what is typed, not what a program writes.
//   3. Undo is one step deep: the last change (typing in one run counts as
//      one change) can be undone, and undoing again redoes it. A program's
//      SetText, and a replacement made without undo, empty it.
//   4. BreakLines covers the text without gaps: each line starts where the
//      one before ended plus its CR LF (hard break) or at once (soft break
//      of word wrap); a wrapped line is never wider than the width unless a
//      single character is, and breaks after the last space that fits, or
//      inside a word that is wider than the width.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace win {

class EditModel {
 public:
  // The limit a new edit has (EM_LIMITTEXT with 0 sets it too).
  static constexpr int kDefaultLimit = 30000;

  const std::string& Text() const { return text_; }
  // A program's write: cut to the limit, the caret at the start, unmodified.
  void SetText(std::string_view text);
  int Limit() const { return limit_; }
  // 0 or less restores the default; the text already there stays.
  void SetLimit(int limit);

  int SelStart() const { return anchor_ < caret_ ? anchor_ : caret_; }
  int SelEnd() const { return anchor_ < caret_ ? caret_ : anchor_; }
  int Caret() const { return caret_; }
  // EM_SETSEL: start -1 removes the selection (the caret stays); end -1 or
  // beyond the text means its end.
  void SetSel(int start, int end);
  // Replaces the selection (typing, pasting, EM_REPLACESEL); false when
  // the limit cut the insert (nothing or a part was inserted). Without
  // canUndo the change cannot be undone (rule 3).
  bool ReplaceSel(std::string_view text, bool typed, bool canUndo = true);
  std::string Selected() const { return text_.substr(size_t(SelStart()), size_t(SelEnd() - SelStart())); }
  // The position one step before (-1) or after (+1) pos: a CR LF is one step.
  int Step(int pos, int direction) const;

  void SetMultiLine(bool on) { multiLine_ = on; }
  bool MultiLine() const { return multiLine_; }
  bool CanUndo() const { return canUndo_; }
  // Undoes (or, the second time, redoes) the last change and selects what
  // it put back; false when there is nothing to undo.
  bool Undo();
  void EmptyUndo() { canUndo_ = false; }
  bool Backspace();
  bool DeleteForward();
  // Moves the caret; with extend the anchor stays.
  void MoveTo(int position, bool extend);

  bool Modified() const { return modified_; }
  void SetModified(bool modified) { modified_ = modified; }
  uint8_t PasswordChar() const { return password_; }
  void SetPasswordChar(uint8_t c) { password_ = c; }
  void SetUpperCase(bool on) { upper_ = on; }
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool on) { readOnly_ = on; }
  // What the control shows.
  std::string Shown() const;

 private:
  std::string text_;
  int limit_ = kDefaultLimit;
  int anchor_ = 0, caret_ = 0;
  bool modified_ = false;
  uint8_t password_ = 0;
  bool upper_ = false;
  bool readOnly_ = false;
  bool multiLine_ = false;
  // The last change: at `start`, `removed` was replaced by `inserted`.
  bool canUndo_ = false;
  bool typing_ = false;  // the change is a run of typing that may grow
  int undoStart_ = 0;
  std::string removed_, inserted_;
};

// One line a multi-line edit shows: where it starts in the text and how
// many characters it shows (its CR LF not counted).
struct EditLine {
  int start = 0;
  int length = 0;
};

// The lines of text in a box `width` pixels wide (rule 4); without wrap
// only CR LF breaks lines. An empty text has one empty line.
std::vector<EditLine> BreakLines(std::string_view text, int width, bool wrap,
                                 const std::function<int(uint8_t)>& charWidth);
// The line that holds position pos (a position at a soft break belongs to
// the line it begins).
int LineOf(const std::vector<EditLine>& lines, int pos);

}  // namespace win
