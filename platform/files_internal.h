// Pieces that the file, path and directory-search sources of the platform
// layer share. Not for use outside platform/.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>

namespace platform::detail {

// Upper case of one Windows-1252 character, for comparing file names as the
// DOS file system does (case-insensitive, including accented letters).
uint8_t FoldNameChar(uint8_t c);
bool SameNameIgnoringCase(std::string_view a, std::string_view b);

// Like ResolvePath, but the last component stays as written even when an
// entry of another case exists (renaming to another case of a name).
std::string ResolveKeepingLastName(std::string_view name);

// The DOS code for an errno value; fallback for those without a closer one.
int DosErrorFromErrno(int error, int fallback);
// The DOS code for a name that cannot be reached: 3 when the directory the
// name lives in is missing, else the mapping above.
int MissingNameError(const std::string& systemPath, int error);

// DOS attributes of an existing entry; name is its last component.
uint32_t AttributesOf(const struct stat& info, std::string_view name);
void ToDosDateTime(time_t when, uint16_t& date, uint16_t& time);

}  // namespace platform::detail
