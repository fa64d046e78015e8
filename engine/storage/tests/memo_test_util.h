// Memo texts for the crash and power-loss tests: a text that tells the
// record's number and amount (so a record naming another record's memo, or
// an old memo under new values, shows), and whole-memo read and write.
#pragma once

#include <algorithm>
#include <cstdint>
#include <string>

#include "engine/storage/winmemos.h"

namespace memo_test {

// At least minLength characters, without blanks or breaks, so it reads back
// exactly as written.
inline std::string MemoFor(int32_t nr, int16_t menge, size_t minLength) {
  std::string text = "N" + std::to_string(nr) + "M" + std::to_string(menge) + "-";
  while (text.size() < minLength) text += char('a' + text.size() % 26);
  return text;
}

inline std::string ReadMemo(WINMEMOS::TMemoFile& f, uint32_t first) {
  const int32_t length = WINMEMOS::InitGetMemo(f, first);
  std::string text(size_t(std::max(length, 0)), '\0');
  if (length > 0) text.resize(size_t(std::max(WINMEMOS::GetMemoBlock(length, text.data()), 0)));
  WINMEMOS::DoneGetMemo();
  return text;
}

// A new memo; 0 when it could not be written.
inline uint32_t WriteMemo(WINMEMOS::TMemoFile& f, const std::string& text) {
  if (WINMEMOS::InitPutMemo(f) != 0) return 0;
  WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
  return WINMEMOS::DonePutMemo(f, 0);
}

}  // namespace memo_test
