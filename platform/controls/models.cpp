// The edit model (see models.h).
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

}  // namespace

void EditModel::SetText(std::string_view text) {
  text_ = multiLine_ ? std::string(text) : SingleLine(text);
  canUndo_ = false;
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

bool EditModel::ReplaceSel(std::string_view text, bool typed, bool canUndo) {
  std::string insert = multiLine_ ? std::string(text) : SingleLine(text);
  if (typed && upper_)
    for (char& c : insert) c = char(UpperChar(uint8_t(c)));
  const int start = SelStart(), end = SelEnd();
  const int room = limit_ - (int(text_.size()) - (end - start));
  const bool whole = int(insert.size()) <= room;
  if (!whole) insert.resize(size_t(std::max(0, room)));
  // Never cut a line break in two.
  if (!whole && !insert.empty() && insert.back() == '\r') insert.pop_back();
  if (!canUndo) {
    canUndo_ = false;
  } else if (typed && typing_ && canUndo_ && end == start && start == undoStart_ + int(inserted_.size())) {
    inserted_ += insert;
  } else if (!insert.empty() || end > start) {
    canUndo_ = true;
    typing_ = typed;
    undoStart_ = start;
    removed_ = text_.substr(size_t(start), size_t(end - start));
    inserted_ = insert;
  }
  text_.replace(size_t(start), size_t(end - start), insert);
  anchor_ = caret_ = start + int(insert.size());
  if (!insert.empty() || end > start) modified_ = true;
  return whole;
}

bool EditModel::Backspace() {
  if (SelEnd() == SelStart()) {
    if (caret_ == 0) return false;
    anchor_ = Step(caret_, -1);
  }
  return ReplaceSel({}, false);
}

bool EditModel::DeleteForward() {
  if (SelEnd() == SelStart()) {
    if (caret_ >= int(text_.size())) return false;
    anchor_ = Step(caret_, 1);
  }
  return ReplaceSel({}, false);
}

int EditModel::Step(int pos, int direction) const {
  const int length = int(text_.size());
  const auto crlfAt = [&](int at) { return at >= 0 && at + 1 < length && text_[size_t(at)] == '\r' && text_[size_t(at) + 1] == '\n'; };
  if (direction < 0) return pos <= 0 ? 0 : pos - (crlfAt(pos - 2) ? 2 : 1);
  return pos >= length ? length : pos + (crlfAt(pos) ? 2 : 1);
}

bool EditModel::Undo() {
  if (!canUndo_) return false;
  text_.replace(size_t(undoStart_), inserted_.size(), removed_);
  std::swap(removed_, inserted_);
  typing_ = false;
  anchor_ = undoStart_;
  caret_ = undoStart_ + int(inserted_.size());
  modified_ = true;
  return true;
}

void EditModel::MoveTo(int position, bool extend) {
  caret_ = std::clamp(position, 0, int(text_.size()));
  if (!extend) anchor_ = caret_;
}

std::string EditModel::Shown() const {
  return password_ ? std::string(text_.size(), char(password_)) : text_;
}

std::vector<EditLine> BreakLines(std::string_view text, int width, bool wrap,
                                 const std::function<int(uint8_t)>& charWidth) {
  std::vector<EditLine> lines;
  const int length = int(text.size());
  int start = 0;
  while (true) {
    const size_t found = text.find("\r\n", size_t(start));
    const int hardEnd = found == std::string_view::npos ? length : int(found);
    // Soft breaks within the hard line [start, hardEnd).
    while (wrap && start < hardEnd) {
      int used = 0, fit = start;
      while (fit < hardEnd && used + charWidth(uint8_t(text[size_t(fit)])) <= width)
        used += charWidth(uint8_t(text[size_t(fit)])), ++fit;
      if (fit >= hardEnd) break;
      // Spaces that do not fit still end the line.
      int spaces = fit;
      while (spaces < hardEnd && text[size_t(spaces)] == ' ') ++spaces;
      int end = spaces > fit ? spaces : fit;
      if (spaces == fit) {
        const size_t space = text.substr(size_t(start), size_t(fit - start)).rfind(' ');
        end = space != std::string_view::npos ? start + int(space) + 1 : std::max(fit, start + 1);
      }
      if (end >= hardEnd) break;
      lines.push_back({start, end - start});
      start = end;
    }
    lines.push_back({start, hardEnd - start});
    if (found == std::string_view::npos) return lines;
    start = hardEnd + 2;
  }
}

int LineOf(const std::vector<EditLine>& lines, int pos) {
  const auto after = std::upper_bound(lines.begin(), lines.end(), pos,
                                      [](int p, const EditLine& line) { return p < line.start; });
  return std::max(0, int(after - lines.begin()) - 1);
}

}  // namespace win
