// The numeric edit controls (see kxnumedit.h).
#include "runtime/toolkit/kxnumedit.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "platform/resources/resources.h"
#include "platform/win/backend.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxutil.h"

namespace kxnum {

namespace {

constexpr uint32_t kEmpty = 53800;
constexpr uint32_t kCaption = 53801;
constexpr uint32_t kNoNumber = 53803;
constexpr size_t kMessageBuffer = 104;
constexpr uint16_t kExclamation = 0x30;

// Formats the range message into its 104-byte buffer; false when it would not fit.
template <class... Args>
bool FormatRange(uint32_t id, std::string& text, Args... args) {
  char buffer[kMessageBuffer];
  const int n = std::snprintf(buffer, sizeof buffer, kxapp::LoadText(id).c_str(), args...);
  if (n < 0 || size_t(n) >= sizeof buffer) return false;
  text = buffer;
  return true;
}

bool FitsField(const std::string& text, int textLimit) { return int(text.size()) <= textLimit - 1; }

}  // namespace

TNumberEdit::TNumberEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int textLimit, double min,
                         double max, bool emptyAllowed, double step)
    : fw::TEdit(parent, id, "", x, y, w, h, textLimit), min_(min), max_(max), emptyAllowed_(emptyAllowed),
      step_(step) {}

TNumberEdit::TNumberEdit(fw::TWindow* parent, int resourceId, int textLimit, double min, double max,
                         bool emptyAllowed, double step)
    : fw::TEdit(parent, resourceId, textLimit), min_(min), max_(max), emptyAllowed_(emptyAllowed), step_(step) {}

bool TNumberEdit::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      fw::OnWm<win::WM_CHAR, &TNumberEdit::EvChar>(), fw::OnWm<win::WM_VSCROLL, &TNumberEdit::EvVScroll>(),
      fw::OnWm<WM_NUMSET, &TNumberEdit::EvSetValue>(), fw::OnWm<WM_NUMGET, &TNumberEdit::EvGetValue>()};
  return table.Search(e) || fw::TEdit::Find(e);
}

double TNumberEdit::Read() const {
  const std::string text = GetText();
  if (text.empty()) return min_ - step_;
  double value;
  return Convert(text, value) ? value : max_ + step_;
}

void TNumberEdit::Write(double value) {
  std::string text;
  if (Format(value, text)) SetText(text.c_str());
}

bool TNumberEdit::Refuse(uint32_t message, const std::string& text) {
  const win::HWND owner = GetParent() ? GetParent()->GetHandle() : win::HWND();
  if (text.empty()) kxapp::AppMessageBox(owner, message, kCaption, kExclamation, 0);
  else kxapp::AppMessageBox(owner, text.c_str(), kCaption, kExclamation, 0);
  win::SetFocus(GetHandle());
  return false;
}

bool TNumberEdit::CanClose() {
  if (!fw::TEdit::CanClose()) return false;
  const std::string text = GetText();
  if (text.empty()) return emptyAllowed_ || Refuse(kEmpty, {});
  double value;
  if (!Convert(text, value)) return Refuse(kNoNumber, {});
  if (value < min_ || value > max_) {
    std::string message;
    return RangeMessage(message) ? Refuse(0, message) : Refuse(kNoNumber, {});
  }
  return true;
}

size_t TNumberEdit::Transfer(void* data, fw::TTransferDirection direction) {
  if (direction == fw::TTransferDirection::GetData) Store(Read(), data);
  else if (direction == fw::TTransferDirection::SetData) Write(Load(data));
  return ValueSize();
}

void TNumberEdit::EvChar(win::UINT key, win::UINT, win::UINT) {
  if (key == '-' || key == '+') Step(key == '+');
  else DefaultProcessing();
}

void TNumberEdit::EvVScroll(win::UINT code, int, win::HWND) {
  if (code == SB_LINEUP) Step(true);
  else if (code == SB_LINEDOWN) Step(false);
}

void TNumberEdit::Step(bool up) {
  win::SetFocus(GetHandle());
  const double v = Read();
  const bool room = up ? v < max_ : v > min_;
  if (!room) {
    win::MessageBeep(0xFFFFFFFF);
    return;
  }
  Write(up ? v + step_ : v - step_);
  SendMessage(win::EM_SETMODIFY, 1);
}

win::LRESULT TNumberEdit::EvSetValue(win::WPARAM, win::LPARAM lParam) {
  Write(ValueSize() == 2 ? double(int16_t(win::LOWORD(uintptr_t(lParam)))) : double(int32_t(lParam)));
  return 1;
}

win::LRESULT TNumberEdit::EvGetValue(win::WPARAM, win::LPARAM) { return win::LRESULT(int32_t(int64_t(Read()))); }

// --- TIntEdit ---

TIntEdit::TIntEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int16_t min, int16_t max,
                   bool emptyAllowed)
    : TNumberEdit(parent, id, x, y, w, h, 7, min, max, emptyAllowed, 1) {}

TIntEdit::TIntEdit(fw::TWindow* parent, int resourceId, int16_t min, int16_t max, bool emptyAllowed)
    : TNumberEdit(parent, resourceId, 7, min, max, emptyAllowed, 1) {}

bool TIntEdit::Convert(const std::string& text, double& value) const {
  int32_t v = 0;
  int error = 0;
  kxutil::StrToInt(text.c_str(), &v, &error);
  value = v;
  return error == 0;
}

bool TIntEdit::Format(double value, std::string& text) const {
  text = value < min_ || value > max_ ? std::string() : std::to_string(int32_t(value));
  return true;
}

bool TIntEdit::RangeMessage(std::string& text) const { return FormatRange(53802, text, int(min_), int(max_)); }

void TIntEdit::Store(double value, void* data) const {
  const int16_t v = int16_t(int32_t(value));
  std::memcpy(data, &v, sizeof v);
}

double TIntEdit::Load(const void* data) const {
  int16_t v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

// --- TLongIntEdit ---

TLongIntEdit::TLongIntEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int32_t min, int32_t max,
                           bool emptyAllowed)
    : TNumberEdit(parent, id, x, y, w, h, 12, min, max, emptyAllowed, 1) {}

TLongIntEdit::TLongIntEdit(fw::TWindow* parent, int resourceId, int32_t min, int32_t max, bool emptyAllowed)
    : TNumberEdit(parent, resourceId, 12, min, max, emptyAllowed, 1) {}

bool TLongIntEdit::Convert(const std::string& text, double& value) const {
  int32_t v = 0;
  int error = 0;
  kxutil::StrToLong(text.c_str(), &v, &error);
  value = v;
  return error == 0;
}

bool TLongIntEdit::Format(double value, std::string& text) const {
  text = value == min_ - 1 ? std::string() : std::to_string(int64_t(value));
  return FitsField(text, GetTextLimit());
}

bool TLongIntEdit::RangeMessage(std::string& text) const {
  return FormatRange(53804, text, long(min_), long(max_));
}

void TLongIntEdit::Store(double value, void* data) const {
  const int32_t v = int32_t(int64_t(value));
  std::memcpy(data, &v, sizeof v);
}

double TLongIntEdit::Load(const void* data) const {
  int32_t v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

// --- TDecimalEdit ---

TDecimalEdit::TDecimalEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int16_t decimals, double min,
                           double max, bool emptyAllowed)
    : TNumberEdit(parent, id, x, y, w, h, 21, min, max, emptyAllowed, std::pow(10.0, -decimals)),
      decimals_(decimals) {}

TDecimalEdit::TDecimalEdit(fw::TWindow* parent, int resourceId, int16_t decimals, double min, double max,
                           bool emptyAllowed)
    : TNumberEdit(parent, resourceId, 21, min, max, emptyAllowed, std::pow(10.0, -decimals)), decimals_(decimals) {}

bool TDecimalEdit::Convert(const std::string& text, double& value) const {
  int error = 0;
  kxutil::StrToDoubleLocal(text.c_str(), &value, &error);
  return error == 0;
}

bool TDecimalEdit::Format(double value, std::string& text) const {
  if (value < min_) {
    text.clear();
    return true;
  }
  char buffer[kxutil::kFormatBuffer];
  text = kxutil::FormatDoubleLocal(buffer, value, decimals_);
  return FitsField(text, GetTextLimit());
}

bool TDecimalEdit::RangeMessage(std::string& text) const {
  return FormatRange(53805, text, int(decimals_), min_, int(decimals_), max_);
}

void TDecimalEdit::Store(double value, void* data) const { std::memcpy(data, &value, sizeof value); }

double TDecimalEdit::Load(const void* data) const {
  double v;
  std::memcpy(&v, data, sizeof v);
  return v;
}

win::LRESULT TDecimalEdit::EvSetValue(win::WPARAM, win::LPARAM lParam) {
  if (lParam) *reinterpret_cast<double*>(lParam) = Read();
  return 1;
}

win::LRESULT TDecimalEdit::EvGetValue(win::WPARAM, win::LPARAM lParam) {
  if (lParam) Write(*reinterpret_cast<const double*>(lParam));
  return 1;
}

}  // namespace kxnum
