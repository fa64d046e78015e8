// The compiler error record of programs, modules and jobs: the first error
// of a compile with where it lies, for hosts that show it beside the source
// (ZetGetCompilerError). One record for the whole engine; each compile entry
// clears it and the first error of the compile fills it.
//
// What holds: the source name has at most 127 characters; a record whose
// error number is 0 holds no error, whatever its other fields say.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace ProgramError {

inline constexpr size_t kMaxSourceName = 127;

struct TProgramError {
  uint16_t error = 0;     // 0: none
  std::string source;     // the job or module the error lies in
  uint16_t line = 0;      // 1-based
  uint16_t column = 0;
  int32_t offset = -1;    // characters from the start of the text; -1 unknown
};

const TProgramError& Record();
// Empties the record (error 0, no source, offset -1).
void Clear();
void SetSource(std::string_view name);
// Fills the record unless it holds an error already.
void Set(uint16_t error, uint16_t line, uint16_t column, int32_t offset);

void UnitInit();
void UnitDone();

}  // namespace ProgramError
