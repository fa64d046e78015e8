#include "runtime/toolkit/kxstring.h"

#include <cctype>
#include <cstring>

#include "engine/base/uppercas.h"
#include "platform/resources/resources.h"

namespace kxstring {

namespace {

constexpr uint8_t kSmallAUml = 0xE4, kSmallOUml = 0xF6, kSmallUUml = 0xFC;
constexpr int32_t kResourceTextMax = 255;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

void UpperPathInPlace(char* s) {
  for (; *s; ++s) *s = UPPERCAS::UpCaseChar(*s);
}

// Two path characters are the same when equal or both separators.
bool SamePathChar(char a, char b) { return a == b || (IsSeparator(a) && IsSeparator(b)); }

}  // namespace

// ---- TKxString ----

TKxString::TKxString(uint32_t resourceId) {
  SetCapacity(kResourceTextMax + 1);
  Length_ = platform::LoadStringResource(resourceId, Data, kResourceTextMax + 1);
}

void TKxString::SetCapacity(int32_t n) {
  char* fresh = n > 0 ? new char[size_t(n)] : nullptr;
  if (fresh && Data) std::memcpy(fresh, Data, size_t(Capacity_ < n ? Capacity_ : n));
  delete[] Data;
  Data = fresh;
  Capacity_ = n > 0 ? n : 0;
}

void TKxString::Assign(const char* text, int32_t max) {
  if (!text) return;
  int32_t n = int32_t(std::strlen(text));
  if (max >= 0 && n > max) n = max;
  if (n >= Capacity_) {
    // The text may lie in the old buffer: build the new one before freeing.
    char* fresh = new char[size_t(n) + 1];
    std::memcpy(fresh, text, size_t(n));
    delete[] Data;
    Data = fresh;
    Capacity_ = n + 1;
  } else {
    std::memmove(Data, text, size_t(n));
  }
  Data[n] = 0;
  Length_ = n;
}

void TKxString::Append(const char* text) {
  if (!text) return;
  int32_t n = int32_t(std::strlen(text));
  if (Length_ + n >= Capacity_) {
    char* fresh = new char[size_t(Length_ + n) + 1];
    if (Data) std::memcpy(fresh, Data, size_t(Length_));
    std::memcpy(fresh + Length_, text, size_t(n));  // text may be our own buffer, still alive
    delete[] Data;
    Data = fresh;
    Capacity_ = Length_ + n + 1;
  } else {
    std::memmove(Data + Length_, text, size_t(n));
  }
  Length_ += n;
  Data[Length_] = 0;
}

void TKxString::Clear() {
  delete[] Data;
  Data = nullptr;
  Length_ = Capacity_ = 0;
}

void TKxString::Attach(char* text) {
  Clear();
  if (!text) return;
  Data = text;
  Length_ = int32_t(std::strlen(text));
  Capacity_ = Length_ + 1;
}

// ---- bounded copies and heap texts ----

char* StrLCopy(char* dest, const char* src, int32_t m) {
  if (!dest || m < 0) return dest;
  int32_t i = 0;
  for (; i < m && src && src[i]; ++i) dest[i] = src[i];
  for (; i <= m; ++i) dest[i] = 0;
  return dest;
}

char* StrLCat(char* dest, const char* src, int32_t m) {
  if (!dest || m < 0) return dest;
  int32_t have = int32_t(strnlen(dest, size_t(m)));
  int32_t i = 0;
  for (; have + i < m && src && src[i]; ++i) dest[have + i] = src[i];
  dest[have + i] = 0;
  return dest;
}

char* StrLCopyOrEmpty(char* dest, const char* src, int32_t m) { return StrLCopy(dest, src ? src : "", m); }

char* StrLCatOrEmpty(char* dest, const char* src, int32_t m) { return src ? StrLCat(dest, src, m) : dest; }

char* StrDup(const char* src) { return StrNDup(src, -1); }

char* StrNDup(const char* src, int32_t m) {
  if (!src) return nullptr;
  size_t n = std::strlen(src);
  if (m >= 0 && n > size_t(m)) n = size_t(m);
  if (n < 1) return nullptr;
  char* out = new char[n + 1];
  std::memcpy(out, src, n);
  out[n] = 0;
  return out;
}

void StrFree(char* s) { delete[] s; }

char* StrReplaceDup(char*& dest, const char* src) {
  char* fresh = StrDup(src);  // before freeing: src may be dest itself
  delete[] dest;
  dest = fresh;
  return dest;
}

char* StrEnd(char* s) { return s + std::strlen(s); }

const char* StrRScan(const char* s, char c) {
  if (!s) return nullptr;
  for (const char* p = s + std::strlen(s);; --p) {
    if (*p == c) return p;
    if (p == s) return nullptr;
  }
}

bool IsEmptyStr(const char* s) { return !s || !*s; }

void TrimLeft(char* s) {
  if (!s) return;
  size_t skip = 0;
  while (s[skip] == ' ') ++skip;
  if (skip) std::memmove(s, s + skip, std::strlen(s + skip) + 1);
}

char* TrimRight(char* s) {
  char* end = StrEnd(s);
  while (end > s && end[-1] == ' ') --end;
  *end = 0;
  return end;
}

// ---- case ----

char CharUpperGerman(char ch) {
  uint8_t c = uint8_t(ch);
  if (c == kSmallAUml || c == kSmallOUml || c == kSmallUUml) return char(c - 0x20);
  if (c < 0x80) return char(std::toupper(c));  // the C locale: ASCII letters only
  return ch;
}

int32_t StrUpperGerman(char* s) {
  int32_t n = 0;
  for (; s[n]; ++n) s[n] = CharUpperGerman(s[n]);
  return n;
}

bool StrEqualNoCase(const char* a, const char* b) {
  if (IsEmptyStr(a) || IsEmptyStr(b)) return IsEmptyStr(a) && IsEmptyStr(b);
  for (; *a && *b; ++a, ++b)
    if (CharUpperGerman(*a) != CharUpperGerman(*b)) return false;
  return *a == *b;
}

// ---- searching and replacing ----

const char* StrPosOutsideQuotes(const char* s, const char* pattern) {
  if (!s || IsEmptyStr(pattern)) return nullptr;
  size_t n = std::strlen(pattern);
  bool inDouble = false, inSingle = false;
  for (const char* p = s; *p; ++p) {
    if (*p == '"' && !inSingle) inDouble = !inDouble;
    else if (*p == '\'' && !inDouble) inSingle = !inSingle;
    else if (!inDouble && !inSingle && std::strncmp(p, pattern, n) == 0) return p;
  }
  return nullptr;
}

bool StrReplaceFirst(char* s, const char* find, const char* replacement, int32_t m) {
  if (!s || IsEmptyStr(find)) return false;
  char* at = std::strstr(s, find);
  if (!at) return false;
  size_t before = size_t(at - s);
  char* rest = StrDup(at + std::strlen(find));
  s[before] = 0;
  StrLCatOrEmpty(s, replacement, m);
  StrLCatOrEmpty(s, rest, m);
  StrFree(rest);
  return true;
}

bool SplitKeyValue(const char* line, char* key, int32_t keyMax, char* value, int32_t valueMax) {
  const char* eq = line ? std::strchr(line, '=') : nullptr;
  if (!eq) return false;
  size_t keyLen = size_t(eq - line);
  while (keyLen > 1 && line[keyLen - 1] == ' ') --keyLen;  // the first character stays
  StrLCopy(key, line, keyMax < int32_t(keyLen) ? keyMax : int32_t(keyLen));
  const char* v = eq + 1;
  while (*v == ' ' || *v == '=') ++v;
  StrLCopy(value, v, valueMax);
  TrimRight(value);
  return true;
}

// ---- paths ----

bool IsPathChar(char ch) {
  uint8_t c = uint8_t(ch);
  return (c < 0x80 && std::isalnum(c)) || c == '_' || c == '-' || c == '.' || c == ':' || c == '\\' || c == '/';
}

int32_t CheckPathChars(const char* s) {
  for (int32_t i = 0; s && s[i]; ++i)
    if (!IsPathChar(s[i])) return -i;
  return 1;
}

namespace {

// Index behind the last separator (0 when none), and behind the drive.
size_t NameStart(const char* path) {
  size_t start = 0;
  for (size_t i = 0; path[i]; ++i)
    if (IsSeparator(path[i]) || (i == 1 && path[i] == ':')) start = i + 1;
  return start;
}

size_t ExtensionStart(const char* path, size_t nameStart) {
  const char* dot = std::strrchr(path + nameStart, '.');
  return dot ? size_t(dot - path) : std::strlen(path);
}

char* CopyPart(char* dest, const char* path, size_t from, size_t to, int32_t m) {
  int32_t n = int32_t(to - from);
  return StrLCopy(dest, path + from, m < n ? m : n);
}

}  // namespace

char* GetDriveDir(char* dest, const char* path, int32_t m) {
  return CopyPart(dest, path, 0, NameStart(path), m);
}

char* GetDriveDirName(char* dest, const char* path, int32_t m) {
  return CopyPart(dest, path, 0, ExtensionStart(path, NameStart(path)), m);
}

char* GetNameExt(char* dest, const char* path, int32_t m) {
  size_t start = NameStart(path);
  return CopyPart(dest, path, start, std::strlen(path), m);
}

char* AddBackslash(char* path, int32_t m) {
  size_t n = std::strlen(path);
  if (n > 0 && !IsSeparator(path[n - 1])) StrLCat(path, "\\", m);
  return path;
}

int32_t MakeAbsolutePath(char* dest, char* path, char* base, int32_t m) {
  if (!base) return -1;
  UpperPathInPlace(path);
  UpperPathInPlace(base);
  if (path[0] && path[1] == ':') {
    StrLCopy(dest, path, m);
    return 0;
  }
  if (IsSeparator(path[0])) {
    if (m < 3) {
      StrLCopy(dest, "", m);
      return 0;
    }
    StrLCopy(dest, base, std::strlen(base) < 2 ? int32_t(std::strlen(base)) : 2);
    StrLCat(dest, path, m);
    return 0;
  }
  // The work happens on a copy of the base, so a short dest cuts only the result.
  size_t baseLen = std::strlen(base);
  char* dir = new char[baseLen + 1];
  std::memcpy(dir, base, baseLen + 1);
  auto cutLast = [&]() {
    size_t cut = std::strlen(dir);
    while (cut > 0 && !IsSeparator(dir[cut - 1])) --cut;
    if (cut == 0) return false;
    dir[cut - 1] = 0;
    return true;
  };
  int32_t result = 0;
  if (!cutLast()) result = -2;
  const char* rest = path;
  while (result == 0 && *rest == '.') {
    const char* sep = rest;
    while (*sep && !IsSeparator(*sep)) ++sep;
    if (!cutLast()) result = -2;
    rest = *sep ? sep + 1 : sep;
  }
  if (result == 0) {
    StrLCopy(dest, dir, m);
    StrLCat(dest, "\\", m);
    StrLCat(dest, rest, m);
  }
  delete[] dir;
  return result;
}

void MakeRelativePath(char* dest, char* path, char* base, int32_t m) {
  if (!base) return;
  UpperPathInPlace(path);
  UpperPathInPlace(base);
  size_t n = 0;
  while (path[n] && base[n] && SamePathChar(path[n], base[n])) ++n;
  while (n > 0 && !IsSeparator(path[n - 1])) --n;
  if (n == 0) {
    StrLCopy(dest, path, m);
    return;
  }
  if (path[n] == 0) {
    StrLCopy(dest, "", m);
    return;
  }
  StrLCopy(dest, "", m);
  for (const char* b = base + n; *b; ++b)
    if (IsSeparator(*b)) StrLCat(dest, "..\\", m);
  StrLCat(dest, path + n, m);
}

// ---- tokens ----

int32_t CountTokens(const char* s, char delimiter) {
  if (IsEmptyStr(s)) return 0;
  int32_t n = 1;
  for (; *s; ++s)
    if (*s == delimiter) ++n;
  return n;
}

bool GetToken(const char* s, char delimiter, int32_t index, char* dest, int32_t m) {
  StrLCopy(dest, "", m);
  if (IsEmptyStr(s) || index < 0) return false;
  for (int32_t i = 0; i < index; ++i) {
    s = std::strchr(s, delimiter);
    if (!s) return false;
    ++s;
  }
  const char* end = std::strchr(s, delimiter);
  int32_t n = end ? int32_t(end - s) : int32_t(std::strlen(s));
  StrLCopy(dest, s, m < n ? m : n);
  return true;
}

int32_t FindToken(const char* s, char delimiter, const char* token) {
  if (IsEmptyStr(s) || !token) return -1;
  for (int32_t index = 0;; ++index) {
    const char* end = std::strchr(s, delimiter);
    size_t n = end ? size_t(end - s) : std::strlen(s);
    if (std::strncmp(token, s, n) == 0) return index;
    if (!end) return -1;
    s = end + 1;
  }
}

namespace {

void EachToken(char* s, char delimiter, TokenCallback callback, void* arg, bool lastToo) {
  if (!s) return;
  for (char* field = s;;) {
    char* end = std::strchr(field, delimiter);
    if (!end) {
      if (lastToo) callback(field, arg);
      return;
    }
    *end = 0;
    callback(field, arg);
    *end = delimiter;
    field = end + 1;
  }
}

}  // namespace

void ForEachToken(char* s, char delimiter, TokenCallback callback, void* arg) {
  EachToken(s, delimiter, callback, arg, true);
}

void ForEachTerminatedToken(char* s, char delimiter, TokenCallback callback, void* arg) {
  EachToken(s, delimiter, callback, arg, false);
}

// ---- lines ----

char* DelimitedToLines(char* dest, const char* src, int32_t m, char delimiter) {
  if (!src) return dest;
  char piece[2] = {0, 0};
  for (; *src; ++src) {
    if (*src == delimiter) StrLCat(dest, "\r\n", m);
    else {
      piece[0] = *src;
      StrLCat(dest, piece, m);
    }
  }
  return dest;
}

char* CharToLineBreaks(const char* src, char delimiter) {
  if (!src) return nullptr;
  size_t n = std::strlen(src), extra = 0;
  for (size_t i = 0; i < n; ++i)
    if (src[i] == delimiter) ++extra;
  char* out = new char[n + extra + 1];
  char* o = out;
  for (size_t i = 0; i < n; ++i) {
    if (src[i] == delimiter) {
      *o++ = '\r';
      *o++ = '\n';
    } else {
      *o++ = src[i];
    }
  }
  *o = 0;
  return out;
}

char* LineBreaksToChar(char* dest, const char* src, int32_t m, char c) {
  int32_t n = 0;
  for (; src && *src && n < m; ++src) {
    if (*src == '\n') continue;
    dest[n++] = *src == '\r' ? c : *src;
  }
  dest[n] = 0;
  return dest;
}

int32_t CountLines(const char* s) {
  int32_t n = 1;
  for (; s && *s; ++s)
    if (*s == '\n') ++n;
  return n;
}

bool GetLine(const char* s, int32_t index, char* dest, int32_t m) {
  StrLCopy(dest, "", m);
  if (!s || index < 0) return false;
  for (int32_t i = 0; i < index; ++i) {
    s = std::strchr(s, '\n');
    if (!s) return false;
    ++s;
  }
  int32_t n = 0;
  while (s[n] && s[n] != '\r' && s[n] != '\n') ++n;
  StrLCopy(dest, s, m < n ? m : n);
  return true;
}

int32_t FindLine(const char* s, const char* text) {
  if (!s || !text) return -1;
  size_t n = std::strlen(text);
  for (int32_t index = 0;; ++index) {
    const char* end = std::strstr(s, "\r\n");
    size_t len = end ? size_t(end - s) : std::strlen(s);
    if (len == n && std::strncmp(s, text, n) == 0) return index;
    if (!end) return -1;
    s = end + 2;
  }
}

// ---- bytes ----

void SwapInvertBytes(char* s) {
  size_t n = std::strlen(s);
  size_t i = 0;
  for (; i + 1 < n; i += 2) {
    char a = s[i];
    s[i] = char(~s[i + 1]);
    s[i + 1] = char(~a);
  }
  if (i < n) s[i] = char(~s[i]);
}

char HexDigit(int n) {
  if (n < 0 || n > 15) return 0;
  return "0123456789ABCDEF"[n];
}

char* ByteToHex(int n, char* dest) {
  dest[0] = HexDigit((n >> 4) & 0xF);
  dest[1] = HexDigit(n & 0xF);
  dest[2] = 0;
  return dest;
}

}  // namespace kxstring
