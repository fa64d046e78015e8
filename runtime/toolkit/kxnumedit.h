// Edit controls for numbers: TIntEdit (16-bit), TLongIntEdit (32-bit) and
// TDecimalEdit (a real with a fixed number of decimal places), one design
// with three value types.
//
// What always holds:
//   1. Each keeps an inclusive range and whether an empty text is valid; a
//      step is 1, or 10^-Decimals for the decimal edit.
//   2. Reading never raises: an empty text reads as Min - step, a text that
//      is no number as Max + step. The sentinels and every comparison are
//      computed wider than the value type (a 64-bit real holds every 32-bit
//      sentinel exactly), so a bound at the type's limit never wraps, and a
//      16-bit edit sees "70000" as 70000 (out of range), never as its low
//      16 bits.
//   3. CanClose answers false with one German box (caption 53801, an
//      exclamation icon) and puts the focus back into the field: 53800 for
//      an empty text that is not allowed, 53803 for no number, the range
//      message (53802, 53804, 53805) for a number outside Min..Max. The
//      decimal edit's range message shows its bounds with a point whatever
//      the decimal separator; a value or message whose text does not fit
//      its buffer (20 characters for the field, 104 for the message) is
//      refused as no number (53803), never cut.
//   4. Plus and minus typed into the field, and the line arrows of a
//      vertical scroll, step the value: beyond a bound they beep and change
//      nothing; a change marks the field modified. Neither character reaches
//      the text.
//   5. Transfer moves the value type's bytes (2, 4, 8); the private messages
//      4825 and 4826 set and get the value (the decimal edit swaps them and
//      passes its value through a pointer to a 64-bit real).
#pragma once

#include <cstdint>
#include <string>

#include "platform/framework/dialog.h"

namespace kxnum {

constexpr win::UINT WM_NUMSET = win::WM_USER + 3801;  // 4825
constexpr win::UINT WM_NUMGET = win::WM_USER + 3802;  // 4826
constexpr win::UINT SB_LINEUP = 0;
constexpr win::UINT SB_LINEDOWN = 1;

// The common design; the three classes give conversion, formatting and the
// range message.
class TNumberEdit : public fw::TEdit {
 public:
  bool CanClose() override;
  bool Find(fw::TEventInfo& e) override;
  size_t Transfer(void* data, fw::TTransferDirection direction) override;

  void EvChar(win::UINT key, win::UINT repeat, win::UINT flags);
  void EvVScroll(win::UINT code, int position, win::HWND control);
  // Steps the value up or down by one step (rule 4).
  void Step(bool up);

  double MinValue() const { return min_; }
  double MaxValue() const { return max_; }
  bool EmptyAllowed() const { return emptyAllowed_; }

 protected:
  TNumberEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int textLimit, double min, double max,
              bool emptyAllowed, double step);
  TNumberEdit(fw::TWindow* parent, int resourceId, int textLimit, double min, double max, bool emptyAllowed,
              double step);

  // The value as rule 2 reads it.
  double Read() const;
  void Write(double value);
  // The number of a text, or false when it is none (or does not fit).
  virtual bool Convert(const std::string& text, double& value) const = 0;
  // The text of a value, "" for an empty field; false when it does not fit.
  virtual bool Format(double value, std::string& text) const = 0;
  // The range message; false when it does not fit.
  virtual bool RangeMessage(std::string& text) const = 0;
  virtual size_t ValueSize() const = 0;
  virtual void Store(double value, void* data) const = 0;
  virtual double Load(const void* data) const = 0;
  virtual win::LRESULT EvSetValue(win::WPARAM wParam, win::LPARAM lParam);
  virtual win::LRESULT EvGetValue(win::WPARAM wParam, win::LPARAM lParam);

  double min_, max_;
  bool emptyAllowed_;
  double step_;

 private:
  bool Refuse(uint32_t message, const std::string& text);
};

class TIntEdit : public TNumberEdit {
 public:
  TIntEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int16_t min, int16_t max, bool emptyAllowed);
  TIntEdit(fw::TWindow* parent, int resourceId, int16_t min, int16_t max, bool emptyAllowed);
  // Wider than 16 bits, so the sentinels Min - 1 and Max + 1 never wrap.
  int32_t GetValue() const { return int32_t(Read()); }
  void SetValue(int32_t value) { Write(value); }

 protected:
  bool Convert(const std::string& text, double& value) const override;
  bool Format(double value, std::string& text) const override;
  bool RangeMessage(std::string& text) const override;
  size_t ValueSize() const override { return 2; }
  void Store(double value, void* data) const override;
  double Load(const void* data) const override;
};

class TLongIntEdit : public TNumberEdit {
 public:
  TLongIntEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int32_t min, int32_t max, bool emptyAllowed);
  TLongIntEdit(fw::TWindow* parent, int resourceId, int32_t min, int32_t max, bool emptyAllowed);
  int64_t GetValue() const { return int64_t(Read()); }
  void SetValue(int64_t value) { Write(double(value)); }

 protected:
  bool Convert(const std::string& text, double& value) const override;
  bool Format(double value, std::string& text) const override;
  bool RangeMessage(std::string& text) const override;
  size_t ValueSize() const override { return 4; }
  void Store(double value, void* data) const override;
  double Load(const void* data) const override;
};

class TDecimalEdit : public TNumberEdit {
 public:
  TDecimalEdit(fw::TWindow* parent, int id, int x, int y, int w, int h, int16_t decimals, double min, double max,
               bool emptyAllowed);
  TDecimalEdit(fw::TWindow* parent, int resourceId, int16_t decimals, double min, double max, bool emptyAllowed);
  double GetValue() const { return Read(); }
  void SetValue(double value) { Write(value); }
  int16_t Decimals() const { return decimals_; }

 protected:
  bool Convert(const std::string& text, double& value) const override;
  bool Format(double value, std::string& text) const override;
  bool RangeMessage(std::string& text) const override;
  size_t ValueSize() const override { return 8; }
  void Store(double value, void* data) const override;
  double Load(const void* data) const override;
  win::LRESULT EvSetValue(win::WPARAM wParam, win::LPARAM lParam) override;
  win::LRESULT EvGetValue(win::WPARAM wParam, win::LPARAM lParam) override;

 private:
  int16_t decimals_;
};

}  // namespace kxnum
