// The CGI exports: the hooks of the request and the output, reading the
// request, and the parameters by name and by index (cgi.h).
//
// What always holds:
//   1. Texts come out by the capacity rule of zetcore.h; a parameter whose
//      whole value is kept in a named text buffer comes out whole (up to the
//      capacity), not cut at 255 characters.
//   2. A null hook restores that hook's default.
#include "engine/base/ramfiles.h"
#include "engine/interface/cgi.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"

int32_t ZetSetCGIProcs(ZetCgiEnvProc env, ZetCgiOutputProc output, ZetCgiInputProc input) try {
  CGI::SetProcs(env, output, input);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetCgiInitParameters(void) try {
  CGI::ReadRequest();
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetCgiFindParameter(const char* name, char* value, int32_t capacity) try {
  const std::string_view key = ZETEng::TextIn(name);
  const ShortStr found = CGI::FindParamValue(key);
  if (found.empty()) {
    ZETEng::TextOut(value, capacity, "");
    return -1;
  }
  if (value && capacity >= 0 && CGI::LoadWholeValue(key)) {
    RamFiles::TextBufReadPChar(value, size_t(capacity));
    return 0;
  }
  ZETEng::TextOut(value, capacity, found.view());
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetCgiGetParamName(int32_t index, char* name, int32_t capacity) try {
  const ShortStr found = CGI::GetParamName(index);
  if (found.empty()) return 0;
  ZETEng::TextOut(name, capacity, found.view());
  return 1;
} catch (...) {
  return ZETEng::RaisedNow();
}
