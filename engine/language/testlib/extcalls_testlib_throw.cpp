// A function of the test library that fails the way a C++ library does: by
// throwing an exception out of the call.
#include <stdexcept>

extern "C" int Throws(int code) {
  if (code != 0) throw std::runtime_error("failure inside the library");
  return 0;
}
