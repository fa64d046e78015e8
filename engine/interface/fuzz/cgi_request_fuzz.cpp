// Fuzz target of the CGI request reader: an input is a CONTENT_LENGTH text, a
// line end, a query string, a line end and the body (each part may be
// missing). The request is read through injected hooks, then every parameter
// is enumerated, looked up by name and written in HTML form.
//
// What must hold for every input: no read outside the request or the tree,
// the enumeration and the count agree, every enumerated name is found again,
// a value in the tree has at most 255 characters, and the body hook is never
// asked for more than the body holds plus what it answers at the end.
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "engine/interface/cgi.h"
#include "engine/interface/include/zetcore.h"
#include "engine/units.h"

namespace {

std::string g_length, g_query, g_body;
size_t g_bodyRead = 0;
bool g_lengthSet = false;

int32_t Env(const char* name, char* buffer, int32_t capacity) {
  const std::string* v = nullptr;
  if (std::strcmp(name, "QUERY_STRING") == 0) v = &g_query;
  if (std::strcmp(name, "CONTENT_LENGTH") == 0 && g_lengthSet) v = &g_length;
  if (!v) return 0;
  const size_t n = std::min(v->size(), size_t(capacity));
  std::memcpy(buffer, v->data(), n);
  buffer[n] = 0;
  return int32_t(v->size());
}

int32_t Input(char* buffer, int32_t count) {
  const size_t n = std::min({size_t(count), size_t(777), g_body.size() - g_bodyRead});
  std::memcpy(buffer, g_body.data() + g_bodyRead, n);
  g_bodyRead += n;
  return int32_t(n);
}

size_t g_written = 0;
int32_t Output(const char* text) {
  g_written += std::strlen(text);
  return 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static bool started = [] {
    Units::StartEngine();
    ZetSetCGIProcs(Env, Output, Input);
    return true;
  }();
  (void)started;
  std::string_view in(reinterpret_cast<const char*>(data), size);
  const size_t first = in.find('\n');
  g_lengthSet = first != std::string_view::npos;
  g_length = std::string(in.substr(0, first));
  std::string_view rest = g_lengthSet ? in.substr(first + 1) : std::string_view();
  const size_t second = rest.find('\n');
  g_query = std::string(rest.substr(0, second));
  g_body = second == std::string_view::npos ? std::string() : std::string(rest.substr(second + 1));
  g_bodyRead = 0;
  if (!g_lengthSet) g_query = std::string(in);

  ZetCgiInitParameters();
  const size_t count = CGI::ParamCount();
  size_t seen = 0;
  for (int64_t i = 0;; ++i) {
    const ShortStr name = CGI::GetParamName(i);
    if (name.empty()) break;
    ++seen;
    char value[300];
    if (ZetCgiFindParameter(name.c_str(), value, sizeof value - 1) == 0 && std::strlen(value) == 0) abort();
    const ShortStr inTree = CGI::FindParamValue(name.view());
    if (inTree.size() > 255) abort();
    CGI::WriteHtml(inTree.view());
  }
  if (seen != count) abort();
  if (g_bodyRead > g_body.size()) abort();
  return 0;
}
