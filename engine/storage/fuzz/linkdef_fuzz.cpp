// Link definitions and table lists from arbitrary text, as hosts and job
// programs give them: parsed (and checked against the open tables) without
// reading outside the text; errors land in the link error word.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/storage/linkfile.h"
#include "engine/units.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool started = (Units::StartEngine(), true);
  (void)started;
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  LINKFILE::AddLinkDefinition(text, true);
  LINKFILE::ClearLinkError();
  LINKFILE::ParseTableList(text, true);
  LINKFILE::ClearLinkError();
  LINKFILE::FreeLinkDefinitions();
  return 0;
}
