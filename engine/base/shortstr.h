// The engine's short text: at most 255 Windows-1252 characters with a length,
// as stored in files and passed between units. Everything that would make it
// longer cuts at 255 (or at the smaller limit a caller asks for); it never
// overruns.
//
// Only the characters in use and the terminator behind them are defined:
// data()[size()] is always 0, the bytes after it are not, and a copy moves
// just size() + 1 bytes. A run value carries one of these, so the cost of
// making and copying one follows the text's length, not the 256-byte room.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

class ShortStr {
 public:
  static constexpr size_t kMax = 255;

  ShortStr() { data_[0] = '\0'; }
  // Copies move only the characters in use and the terminator.
  ShortStr(const ShortStr& o) : len_(o.len_) { std::memcpy(data_, o.data_, size_t(len_) + 1); }
  ShortStr& operator=(const ShortStr& o) {
    len_ = o.len_;
    std::memmove(data_, o.data_, size_t(len_) + 1);
    return *this;
  }
  ShortStr(std::string_view s) { assign(s); }          // NOLINT: implicit by design
  ShortStr(const char* s) { assign(std::string_view(s)); }  // NOLINT
  ShortStr(const std::string& s) { assign(std::string_view(s)); }  // NOLINT

  ShortStr& assign(std::string_view s, size_t limit = kMax) {
    len_ = uint8_t(std::min({s.size(), limit, kMax}));
    if (len_) std::memmove(data_, s.data(), len_);
    data_[len_] = '\0';
    return *this;
  }
  ShortStr& operator=(std::string_view s) { return assign(s); }
  ShortStr& operator=(const char* s) { return assign(std::string_view(s)); }
  ShortStr& operator=(const std::string& s) { return assign(std::string_view(s)); }

  // Appends as much of s as fits below 255 characters.
  ShortStr& append(std::string_view s) {
    size_t n = std::min(s.size(), kMax - len_);
    std::memmove(data_ + len_, s.data(), n);
    len_ = uint8_t(len_ + n);
    data_[len_] = '\0';
    return *this;
  }
  ShortStr& append(char c) { return append(std::string_view(&c, 1)); }
  ShortStr& operator+=(std::string_view s) { return append(s); }
  ShortStr& operator+=(char c) { return append(c); }

  // Cuts to at most n characters.
  void truncate(size_t n) {
    if (n < len_) {
      len_ = uint8_t(n);
      data_[len_] = '\0';
    }
  }
  void clear() { truncate(0); }

  size_t size() const { return len_; }
  size_t length() const { return len_; }
  bool empty() const { return len_ == 0; }
  const char* data() const { return data_; }
  char* data() { return data_; }
  const char* c_str() const { return data_; }
  char operator[](size_t i) const { return data_[i]; }
  char& operator[](size_t i) { return data_[i]; }
  uint8_t byte(size_t i) const { return uint8_t(data_[i]); }
  std::string_view view() const { return {data_, len_}; }
  operator std::string_view() const { return view(); }  // NOLINT
  std::string str() const { return std::string(data_, len_); }

  // Sets the length directly after writing into data(); n is cut to 255.
  void setLength(size_t n) {
    len_ = uint8_t(std::min(n, kMax));
    data_[len_] = '\0';
  }

  // One exact overload per kind of operand, so that no comparison needs a
  // conversion that another candidate (or its reversed form under C++20's
  // rewritten comparisons) needs as well.
  friend bool operator==(const ShortStr& a, std::string_view b) { return a.view() == b; }
  friend bool operator==(const ShortStr& a, const ShortStr& b) { return a.view() == b.view(); }
  friend bool operator==(const ShortStr& a, const char* b) { return a.view() == std::string_view(b); }
  friend bool operator==(const ShortStr& a, const std::string& b) { return a.view() == std::string_view(b); }

 private:
  uint8_t len_ = 0;
  char data_[kMax + 1];
};
