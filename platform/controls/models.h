// The state of the text controls as plain objects, tested without windows:
// the single-line edit's text with its selection, and the list box's items.
//
// What always holds:
//   1. EditModel: the text never holds more than Limit() characters and
//      never a CR or LF (a single line); every edit that would pass the
//      limit is cut to it and answers false. The selection is the range
//      between an anchor and the caret, both within 0..length; the caret is
//      where typing goes. Every change of the text through an edit
//      operation sets the modified flag; SetText clears it (a program's
//      write is no user's change), as EM_SETMODIFY may.
//   2. A password character, when set, is what Shown() gives for every
//      character; the text itself stays as typed. Upper-case mode folds
//      what is typed, not what a program writes.
//   3. ListModel: items keep their order of insertion, or with sorting the
//      cp1252 order under FoldChar (equal keys keep insertion order). The
//      current index is -1 (none) or names an item; deleting items moves it
//      with its item, or to -1 when its item goes.
#pragma once

#include <cstdint>
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
  // the limit cut the insert (nothing or a part was inserted).
  bool ReplaceSel(std::string_view text, bool typed);
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
};

struct ListItem {
  std::string text;
  intptr_t data = 0;
};

class ListModel {
 public:
  explicit ListModel(bool sorted = false) : sorted_(sorted) {}
  int Count() const { return int(items_.size()); }
  const ListItem* At(int index) const;
  ListItem* At(int index);
  // Adds at the end, or at its sorted place; answers the index.
  int Add(std::string_view text);
  // Inserts at index (-1: the end) without sorting; -1 when index is out of range.
  int Insert(int index, std::string_view text);
  bool Delete(int index);
  void Reset();
  // The first item after `after` (wrapping; -1 starts at the top) whose text
  // begins with prefix, compared under FoldChar; -1 when none does.
  int FindPrefix(int after, std::string_view prefix) const;
  int Current() const { return current_; }
  // -1 clears; false (and nothing changes) for an index out of range.
  bool SetCurrent(int index);
  int Top() const { return top_; }
  void SetTop(int index);

 private:
  bool sorted_;
  std::vector<ListItem> items_;
  int current_ = -1;
  int top_ = 0;
};

}  // namespace win
