#include "engine/language/programerror.h"

namespace ProgramError {
namespace {

TProgramError g_record;

}  // namespace

const TProgramError& Record() { return g_record; }

void Clear() { g_record = TProgramError{}; }

void SetSource(std::string_view name) { g_record.source.assign(name.substr(0, kMaxSourceName)); }

void Set(uint16_t error, uint16_t line, uint16_t column, int32_t offset) {
  if (g_record.error != 0) return;
  g_record.error = error;
  g_record.line = line;
  g_record.column = column;
  g_record.offset = offset;
}

void UnitInit() { Clear(); }
void UnitDone() { Clear(); }

}  // namespace ProgramError
