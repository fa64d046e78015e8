// The edit and list box models (see models.h).
#include "platform/controls/models.h"

#include <algorithm>

#include "platform/win/window.h"

namespace win {

namespace {

std::string SingleLine(std::string_view text) {
  std::string line(text);
  std::erase_if(line, [](char c) { return c == '\r' || c == '\n'; });
  return line;
}

// Upper case of a cp1252 letter: the inverse of FoldChar.
uint8_t UpperChar(uint8_t c) {
  if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) return uint8_t(c - 32);
  return c;
}

bool FoldedLess(const std::string& a, const std::string& b) {
  return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
    return FoldChar(uint8_t(x)) < FoldChar(uint8_t(y));
  });
}

}  // namespace

void EditModel::SetText(std::string_view text) {
  text_ = SingleLine(text);
  if (int(text_.size()) > limit_) text_.resize(size_t(limit_));
  anchor_ = caret_ = 0;
  modified_ = false;
}

void EditModel::SetLimit(int limit) { limit_ = limit > 0 ? limit : kDefaultLimit; }

void EditModel::SetSel(int start, int end) {
  const int length = int(text_.size());
  if (start < 0) {
    anchor_ = caret_;
    return;
  }
  if (end < 0 || end > length) end = length;
  anchor_ = std::min(start, length);
  caret_ = end;
}

bool EditModel::ReplaceSel(std::string_view text, bool typed) {
  std::string insert = SingleLine(text);
  if (typed && upper_)
    for (char& c : insert) c = char(UpperChar(uint8_t(c)));
  const int start = SelStart(), end = SelEnd();
  const int room = limit_ - (int(text_.size()) - (end - start));
  const bool whole = int(insert.size()) <= room;
  if (!whole) insert.resize(size_t(std::max(0, room)));
  text_.replace(size_t(start), size_t(end - start), insert);
  anchor_ = caret_ = start + int(insert.size());
  if (!insert.empty() || end > start) modified_ = true;
  return whole;
}

bool EditModel::Backspace() {
  if (SelEnd() == SelStart()) {
    if (caret_ == 0) return false;
    anchor_ = caret_ - 1;
  }
  return ReplaceSel({}, false);
}

bool EditModel::DeleteForward() {
  if (SelEnd() == SelStart()) {
    if (caret_ >= int(text_.size())) return false;
    anchor_ = caret_ + 1;
  }
  return ReplaceSel({}, false);
}

void EditModel::MoveTo(int position, bool extend) {
  caret_ = std::clamp(position, 0, int(text_.size()));
  if (!extend) anchor_ = caret_;
}

std::string EditModel::Shown() const {
  return password_ ? std::string(text_.size(), char(password_)) : text_;
}

const ListItem* ListModel::At(int index) const {
  return index >= 0 && index < Count() ? &items_[size_t(index)] : nullptr;
}

ListItem* ListModel::At(int index) { return index >= 0 && index < Count() ? &items_[size_t(index)] : nullptr; }

int ListModel::Add(std::string_view text) {
  ListItem item{std::string(text), 0};
  auto at = items_.end();
  if (sorted_)
    at = std::upper_bound(items_.begin(), items_.end(), item,
                          [](const ListItem& a, const ListItem& b) { return FoldedLess(a.text, b.text); });
  return Insert(int(at - items_.begin()), text);
}

int ListModel::Insert(int index, std::string_view text) {
  if (index < -1 || index > Count()) return -1;
  if (index == -1) index = Count();
  items_.insert(items_.begin() + index, ListItem{std::string(text), 0});
  if (current_ >= index) ++current_;
  return index;
}

bool ListModel::Delete(int index) {
  if (!At(index)) return false;
  items_.erase(items_.begin() + index);
  if (current_ == index) current_ = -1;
  else if (current_ > index) --current_;
  top_ = std::clamp(top_, 0, std::max(0, Count() - 1));
  return true;
}

void ListModel::Reset() {
  items_.clear();
  current_ = -1;
  top_ = 0;
}

int ListModel::FindPrefix(int after, std::string_view prefix) const {
  const int n = Count();
  for (int k = 1; k <= n; ++k) {
    const int i = ((after < 0 ? -1 : after) + k) % n;
    const std::string& t = items_[size_t(i)].text;
    if (t.size() >= prefix.size() &&
        std::equal(prefix.begin(), prefix.end(), t.begin(),
                   [](char x, char y) { return FoldChar(uint8_t(x)) == FoldChar(uint8_t(y)); }))
      return i;
  }
  return -1;
}

bool ListModel::SetCurrent(int index) {
  if (index != -1 && !At(index)) return false;
  current_ = index;
  return true;
}

void ListModel::SetTop(int index) { top_ = std::clamp(index, 0, std::max(0, Count() - 1)); }

}  // namespace win
