// Facts about the running program.
#pragma once

#include <string>

namespace platform {

// Full path of the running program (Windows-1252, "/" separators).
std::string ProgramPath();
// Current working directory, ending with "/".
std::string CurrentDirectory();

}  // namespace platform
