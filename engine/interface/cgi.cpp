// The CGI request and output (cgi.h).
#include "engine/interface/cgi.h"

#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <map>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/base/uppercas.h"
#include "engine/language/sysservices.h"

namespace CGI {

namespace {

// ---- Hooks -------------------------------------------------------------------

int32_t DefaultEnv(const char* name, char* buffer, int32_t capacity) {
  const char* value = std::getenv(name);
  if (!value) return 0;
  const size_t length = std::strlen(value);
  if (buffer && capacity >= 0) {
    const size_t n = std::min(length, size_t(capacity));
    std::memcpy(buffer, value, n);
    buffer[n] = 0;
  }
  return int32_t(std::min<size_t>(length, INT32_MAX));
}

int g_lastOutputResult = 0;

int32_t DefaultOutput(const char* text) {
  g_lastOutputResult = RamFiles::WriteToStandardOutput(text);
  return g_lastOutputResult;
}

int32_t DefaultInput(char* buffer, int32_t count) {
  for (;;) {
    const ssize_t n = ::read(0, buffer, size_t(count));
    if (n >= 0) return int32_t(n);
    if (errno != EINTR) return -1;
  }
}

EnvProc g_env = DefaultEnv;
OutputProc g_output = DefaultOutput;
InputProc g_input = DefaultInput;

// ---- The tree ----------------------------------------------------------------

struct Node {
  std::string name;
  std::string value;  // at most 255 characters
  int32_t left = -1;
  int32_t right = -1;
};

struct CollateLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return UPPERCAS::CollateCompare(a, b) < 0;
  }
};

std::vector<Node> g_nodes;                         // g_nodes[0] is the root
std::map<std::string, int32_t, CollateLess> g_byName;  // name -> node
std::vector<int32_t> g_preorder;                   // built on demand
bool g_preorderValid = false;

// Inserts a new name; false (and nothing changes) when the name is there.
bool Insert(std::string_view name, std::string_view value) {
  const std::string key(name);
  const auto next = g_byName.upper_bound(key);
  if (next != g_byName.begin() && UPPERCAS::CollateCompare(std::prev(next)->first, key) == 0) return false;
  const int32_t index = int32_t(g_nodes.size());
  // The parent in the search tree is the predecessor when its right branch is
  // free, else the successor (whose left branch is then free).
  if (next != g_byName.begin() && g_nodes[size_t(std::prev(next)->second)].right < 0) {
    g_nodes[size_t(std::prev(next)->second)].right = index;
  } else if (next != g_byName.end()) {
    g_nodes[size_t(next->second)].left = index;
  }
  Node node;
  node.name = std::string(name);
  node.value = std::string(value.substr(0, ShortStr::kMax));
  g_nodes.push_back(node);
  g_byName.emplace(key, index);
  g_preorderValid = false;
  return true;
}

const std::vector<int32_t>& Preorder() {
  if (g_preorderValid) return g_preorder;
  g_preorder.clear();
  std::vector<int32_t> stack;
  if (!g_nodes.empty()) stack.push_back(0);
  while (!stack.empty()) {
    const int32_t n = stack.back();
    stack.pop_back();
    g_preorder.push_back(n);
    if (g_nodes[size_t(n)].right >= 0) stack.push_back(g_nodes[size_t(n)].right);
    if (g_nodes[size_t(n)].left >= 0) stack.push_back(g_nodes[size_t(n)].left);
  }
  g_preorderValid = true;
  return g_preorder;
}

bool IsTextName(std::string_view name) { return UPPERCAS::WildcardMatch(name, "TEXT*"); }

// ---- Decoding ----------------------------------------------------------------

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// One name=value pair is complete: into the tree, and whole into the text
// buffer of its name when it is long or a "TEXT*" parameter.
void CompletePair(const std::string& name, const std::string& value, bool inValue) {
  if (name.empty()) return;
  if (!Insert(name, value)) return;
  if ((inValue && IsTextName(name)) || value.size() > ShortStr::kMax) {
    RamFiles::TextBufRewrite();
    RamFiles::TextBufWrite(std::string_view(value).substr(0, RamFiles::kTextBufSize - 1));
    RamFiles::SaveTextBufAs(name);
  }
}

// Reads the request body of length bytes (or until the input ends).
std::string ReadBody(int64_t length) {
  std::string body(size_t(length), '\0');
  int64_t done = 0;
  while (done < length) {
    const int64_t ask = std::min<int64_t>(length - done, 1 << 20);
    const int32_t got = g_input(body.data() + done, int32_t(ask));
    if (got <= 0) break;
    done += std::min<int64_t>(got, ask);
  }
  body.resize(size_t(done));
  return body;
}

// A body length as CONTENT_LENGTH gives it: -1 when it is not a number.
int64_t ParseLength(std::string_view text) {
  size_t i = 0;
  while (i < text.size() && text[i] == ' ') ++i;
  if (i == text.size()) return -1;
  int64_t n = 0;
  for (; i < text.size(); ++i) {
    if (text[i] < '0' || text[i] > '9') return -1;
    n = n * 10 + (text[i] - '0');
    if (n > kMaxBody) n = kMaxBody + 1;  // too long to read, whatever it says
  }
  return n;
}

}  // namespace

void SetProcs(EnvProc env, OutputProc output, InputProc input) {
  g_env = env ? env : DefaultEnv;
  g_output = output ? output : DefaultOutput;
  g_input = input ? input : DefaultInput;
}

bool GetEnv(std::string_view name, std::string& value) {
  const std::string key(name);
  std::string buffer(ShortStr::kMax + 1, '\0');
  int32_t length = g_env(key.c_str(), buffer.data(), int32_t(ShortStr::kMax));
  // The value did not fit: ask again with room for the length it gave (a
  // value may change between two calls, so a few times at most).
  for (int tries = 0; tries < 3 && length > int32_t(buffer.size() - 1) && length <= kMaxBody; ++tries) {
    buffer.assign(size_t(length) + 1, '\0');
    length = g_env(key.c_str(), buffer.data(), length);
  }
  if (length < 1) {
    value.clear();
    return false;
  }
  value.assign(buffer.data(), strnlen(buffer.data(), buffer.size() - 1));
  return true;
}

void Clear() {
  g_nodes.clear();
  g_byName.clear();
  g_preorder.clear();
  g_preorderValid = false;
  RamFiles::FreeSavedTextBufs();
}

void Decode(std::string_view data) {
  std::string name;
  std::string value;
  bool inValue = false;
  for (size_t i = 0; i < data.size() && data[i] != '\0'; ++i) {
    char c = data[i];
    if (c == '%' && i + 2 < data.size() && HexDigit(data[i + 1]) >= 0 && HexDigit(data[i + 2]) >= 0) {
      c = char(HexDigit(data[i + 1]) * 16 + HexDigit(data[i + 2]));
      i += 2;
      // Names and values reach their readers as zero-terminated texts: an
      // escaped NUL would cut a value short (or hide a name), so it is dropped.
      if (c == '\0') continue;
    } else if (c == '&') {
      CompletePair(name, value, inValue);
      name.clear();
      value.clear();
      inValue = false;
      continue;
    } else if (c == '=') {
      inValue = true;
      continue;
    } else if (c == '+') {
      c = ' ';
    }
    if (inValue) value += c;
    else if (name.size() < ShortStr::kMax) name += c;
  }
  CompletePair(name, value, inValue);
}

void ReadRequest() {
  Clear();
  std::string text;
  int64_t bodyLength = GetEnv("CONTENT_LENGTH", text) ? ParseLength(text) : -1;
  std::string query;
  GetEnv("QUERY_STRING", query);
  if (query.size() > size_t(kMaxBody)) query.resize(size_t(kMaxBody));
  Decode(query);
  if (bodyLength > 0 && bodyLength <= kMaxBody) Decode(ReadBody(bodyLength));
}

ShortStr FindParamValue(std::string_view name) {
  const auto it = g_byName.find(std::string(name));
  if (IsTextName(name)) LoadWholeValue(name);
  return it == g_byName.end() ? ShortStr() : ShortStr(g_nodes[size_t(it->second)].value);
}

bool LoadWholeValue(std::string_view name) {
  // The buffer is kept under the name as the request spelled it.
  const auto it = g_byName.find(std::string(name));
  return it != g_byName.end() && RamFiles::LoadTextBufFrom(g_nodes[size_t(it->second)].name);
}

ShortStr GetParamName(int64_t index) {
  const std::vector<int32_t>& order = Preorder();
  if (index < 0 || index >= int64_t(order.size())) return {};
  return ShortStr(g_nodes[size_t(order[size_t(index)])].name);
}

size_t ParamCount() { return g_nodes.size(); }

int Write(std::string_view text) {
  g_lastOutputResult = 0;
  const std::string zeroTerminated(text);
  g_output(zeroTerminated.c_str());
  return g_lastOutputResult;
}

int WriteLn(std::string_view text) {
  const int first = Write(text);
  const int second = Write("\r\n");
  return first != 0 ? first : second;
}

int WriteHtml(std::string_view text) { return Write(SysServices::HtmlForm(text)); }

namespace {
// The language reaches the request and the output through its service hooks.
bool LanguageGetEnv(std::string_view name, ShortStr& value) {
  std::string text;
  const bool set = GetEnv(name, text);
  value = ShortStr(text);
  return set;
}
int LanguageWrite(std::string_view text) { return Write(text); }
ShortStr LanguageParam(std::string_view name) { return FindParamValue(name); }
}  // namespace

void UnitInit() {
  Clear();
  SetProcs(nullptr, nullptr, nullptr);
  SysServices::TServiceHooks hooks = SysServices::ServiceHooks();
  hooks.getEnv = LanguageGetEnv;
  hooks.cgiWrite = LanguageWrite;
  hooks.cgiParam = LanguageParam;
  SysServices::SetServiceHooks(hooks);
}

void UnitDone() { Clear(); }

}  // namespace CGI
