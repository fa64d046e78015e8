// The runtime's string class and its routines on NUL-terminated Windows-1252
// texts: bounded copies, heap copies, trimming, German upper case, delimited
// token lists, CR LF line lists, and paths relative to a project file.
//
// Bounded buffers: a routine that writes into a caller's buffer takes the
// most characters m it may write and writes at most m characters and a NUL,
// so the buffer holds m + 1 bytes. What does not fit is cut silently.
//
// Heap texts are new[] arrays; StrFree releases them. An empty text is never
// kept on the heap: StrDup answers null for it.
//
// Paths are stored in DOS form ("C:\A\B\P.PRJ"). MakeAbsolutePath and
// MakeRelativePath upper-case both texts in place (stored documents compare
// paths without case) and treat "\" and "/" alike; the file layer finds the
// files whatever their case on disk.
#pragma once

#include <cstdint>

namespace kxstring {

class TKxString {
 public:
  TKxString() = default;
  explicit TKxString(const char* text) { Assign(text, -1); }
  // Loads string resource id (at most 255 characters).
  explicit TKxString(uint32_t resourceId);
  ~TKxString() { Clear(); }
  TKxString(const TKxString& other) { Assign(other.CStr(), -1); }
  TKxString& operator=(const TKxString& other) {
    if (this != &other) Assign(other.CStr(), -1);
    return *this;
  }

  // A null text leaves the string unchanged; max < 0 takes the whole text.
  void Assign(const char* text, int32_t max);
  // Safe with a text that lies in this string's own buffer.
  void Append(const char* text);
  void Clear();
  const char* CStr() const { return Data ? Data : ""; }
  int32_t Length() const { return Length_; }
  int32_t Capacity() const { return Capacity_; }
  // Takes ownership of a new[] text (null gives the empty string).
  void Attach(char* text);

 private:
  void SetCapacity(int32_t n);

  char* Data = nullptr;
  int32_t Length_ = 0;
  int32_t Capacity_ = 0;
};

char* StrLCopy(char* dest, const char* src, int32_t m);
char* StrLCat(char* dest, const char* src, int32_t m);
char* StrLCopyOrEmpty(char* dest, const char* src, int32_t m);
char* StrLCatOrEmpty(char* dest, const char* src, int32_t m);
char* StrDup(const char* src);
char* StrNDup(const char* src, int32_t m);
void StrFree(char* s);
char* StrReplaceDup(char*& dest, const char* src);
char* StrEnd(char* s);
const char* StrRScan(const char* s, char c);
bool IsEmptyStr(const char* s);
void TrimLeft(char* s);
char* TrimRight(char* s);
char CharUpperGerman(char c);
int32_t StrUpperGerman(char* s);
bool StrEqualNoCase(const char* a, const char* b);
// The first occurrence of pattern outside single and double quotes, or null.
const char* StrPosOutsideQuotes(const char* s, const char* pattern);
bool StrReplaceFirst(char* s, const char* find, const char* replacement, int32_t m);
bool SplitKeyValue(const char* line, char* key, int32_t keyMax, char* value, int32_t valueMax);
bool IsPathChar(char c);
int32_t CheckPathChars(const char* s);
char* GetDriveDir(char* dest, const char* path, int32_t m);
char* GetDriveDirName(char* dest, const char* path, int32_t m);
char* GetNameExt(char* dest, const char* path, int32_t m);
char* AddBackslash(char* path, int32_t m);
// 0, or -1 without a base, -2 when the path climbs above the base's root.
int32_t MakeAbsolutePath(char* dest, char* path, char* base, int32_t m);
void MakeRelativePath(char* dest, char* path, char* base, int32_t m);

int32_t CountTokens(const char* s, char delimiter);
bool GetToken(const char* s, char delimiter, int32_t index, char* dest, int32_t m);
int32_t FindToken(const char* s, char delimiter, const char* token);
using TokenCallback = void (*)(char* field, void* arg);
void ForEachToken(char* s, char delimiter, TokenCallback callback, void* arg);
void ForEachTerminatedToken(char* s, char delimiter, TokenCallback callback, void* arg);
char* DelimitedToLines(char* dest, const char* src, int32_t m, char delimiter);
char* CharToLineBreaks(const char* src, char delimiter);
char* LineBreaksToChar(char* dest, const char* src, int32_t m, char c);
int32_t CountLines(const char* s);
bool GetLine(const char* s, int32_t index, char* dest, int32_t m);
int32_t FindLine(const char* s, const char* text);
void SwapInvertBytes(char* s);
char HexDigit(int n);
char* ByteToHex(int n, char* dest);

}  // namespace kxstring
