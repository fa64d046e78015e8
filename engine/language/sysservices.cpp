#include "engine/language/sysservices.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <string>

#include "engine/base/common.h"
#include "engine/base/dynstr.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "engine/base/uppercas.h"
#include "engine/storage/fulltext/fulltext.h"
#include "platform/files.h"
#include "platform/process.h"

namespace SysServices {
namespace {

// ---- Directory search ------------------------------------------------------

struct TDirSearch {
  platform::FindSearch search;
  uint32_t mask = 0;
  std::string directory;
  bool active = false;
};
TDirSearch g_dir;

constexpr size_t kLineLength = 53;
constexpr char kAttributeLetters[] = "RHSVDA";

ShortStr ResultLine(const platform::FindData& found) {
  std::string line(256, ' ');
  line.replace(0, std::min<size_t>(found.name.size(), 14), found.name.substr(0, 14));
  char size[32];
  std::snprintf(size, sizeof size, "%10llu", static_cast<unsigned long long>(std::min<uint64_t>(found.size, 9999999999ULL)));
  line.replace(14, 10, size, 10);
  char when[40];
  std::snprintf(when, sizeof when, "%02u.%02u.%04u %02u:%02u:%02u", unsigned(found.dosDate & 31),
                unsigned((found.dosDate >> 5) & 15), unsigned((found.dosDate >> 9) + 1980),
                unsigned(found.dosTime >> 11), unsigned((found.dosTime >> 5) & 63),
                unsigned((found.dosTime & 31) * 2));
  line.replace(26, 19, when, 19);
  for (int bit = 0; bit < 6; ++bit)
    if ((found.attributes & g_dir.mask & (1u << bit)) != 0) line[45 + size_t(bit)] = kAttributeLetters[bit];
  line.resize(kLineLength);
  line += g_dir.directory;
  return ShortStr(line);
}

// ---- Key=value file ----------------------------------------------------------

struct ExactLess {
  bool operator()(const std::string& a, const std::string& b) const {
    return UPPERCAS::CollateCompareExact(a, b) < 0;
  }
};
std::map<std::string, std::string, ExactLess> g_values;
ShortStr g_valueFile;
bool g_valueFileRead = false;

std::string_view TrimTabs(std::string_view s) {
  while (!s.empty() && (s.front() == ' ' || s.front() == '\t')) s.remove_prefix(1);
  while (!s.empty() && (s.back() == ' ' || s.back() == '\t')) s.remove_suffix(1);
  return s;
}

void ReadKeyValueFile(std::string_view file) {
  g_values.clear();
  dynstr::LineChain chain;
  if (TextFiles::LoadTextLines(file, chain, ShortStr::kMax) != 0) return;
  std::string section;
  for (const dynstr::LineNode* node = chain.get(); node; node = node->next.get()) {
    const std::string text(node->text.view());
    const std::string_view line = TrimTabs(text);
    if (line.empty()) continue;
    if (line.front() == '[') {
      section = std::string(line.substr(1, line.size() >= 2 ? line.size() - 2 : 0));
      continue;
    }
    const size_t eq = line.find('=');
    if (eq == std::string_view::npos) continue;
    std::string key(TrimTabs(line.substr(0, eq)));
    if (!section.empty()) key = section + "." + key;
    const std::string_view value = TrimTabs(line.substr(eq + 1, ShortStr::kMax));
    g_values[key] = std::string(value);
  }
  TextFiles::FreeLineChain(chain);
}

// ---- Hooks -------------------------------------------------------------------

bool DefaultGetEnv(std::string_view name, ShortStr& value) {
  const char* v = std::getenv(std::string(name).c_str());
  if (!v) return false;
  value = v;
  return true;
}

int DefaultCgiWrite(std::string_view text) { return RamFiles::WriteToStandardOutput(text); }

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string UrlDecode(std::string_view s) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] == '+') {
      out += ' ';
    } else if (s[i] == '%' && i + 2 < s.size() && HexDigit(s[i + 1]) >= 0 && HexDigit(s[i + 2]) >= 0) {
      out += char(HexDigit(s[i + 1]) * 16 + HexDigit(s[i + 2]));
      i += 2;
    } else {
      out += s[i];
    }
  }
  return out;
}

// A parameter of the query string of the environment.
ShortStr DefaultCgiParam(std::string_view name) {
  const char* query = std::getenv("QUERY_STRING");
  if (!query) return {};
  std::string_view rest(query);
  while (!rest.empty()) {
    const size_t amp = rest.find('&');
    const std::string_view pair = rest.substr(0, amp);
    rest = amp == std::string_view::npos ? std::string_view() : rest.substr(amp + 1);
    const size_t eq = pair.find('=');
    if (UrlDecode(pair.substr(0, eq)) == name)
      return ShortStr(eq == std::string_view::npos ? std::string() : UrlDecode(pair.substr(eq + 1)));
  }
  return {};
}

int DefaultSetJobParameter(std::string_view) { return 0; }
double DefaultGetJobParameter(std::string_view) { return 0; }
int DefaultInitJobFont(std::string_view) { return 0; }
int DefaultCompileModule(std::string_view) { return 0; }
ShortStr DefaultParamStr(int32_t) { return {}; }
ShortStr DefaultDirectory() { return ShortStr(platform::CurrentDirectory()); }

constexpr TServiceHooks kDefaultHooks{DefaultGetEnv,          DefaultCgiWrite,         DefaultCgiParam,
                                      DefaultSetJobParameter, DefaultGetJobParameter,  DefaultInitJobFont,
                                      DefaultCompileModule,   DefaultParamStr,         DefaultDirectory,
                                      DefaultDirectory};
TServiceHooks g_hooks = kDefaultHooks;

template <typename T>
void Take(T& slot, T given, T fallback) {
  slot = given ? given : fallback;
}

}  // namespace

uint32_t AttributeMask(std::string_view letters) {
  uint32_t mask = 0;
  for (char c : letters) {
    switch (c) {
      case 'A': mask |= 32; break;
      case 'D': mask |= 16; break;
      case 'H': mask |= 2; break;
      case 'R': mask |= 1; break;
      case 'S': mask |= 4; break;
      case 'V': mask |= 8; break;
      default: break;
    }
  }
  return mask;
}

ShortStr FirstDir(std::string_view mask, std::string_view letters) {
  CloseDirSearch();
  const std::string expanded = Common::ExpandName(mask);
  if (letters == "X") return ShortStr(expanded);
  g_dir.directory = Common::SplitFileName(expanded).directory.str();
  g_dir.mask = AttributeMask(letters);
  platform::FindData found;
  if (g_dir.search.First(expanded, g_dir.mask, found) != 0) return {};
  g_dir.active = true;
  return ResultLine(found);
}

ShortStr NextDir() {
  if (!g_dir.active) return {};
  platform::FindData found;
  if (g_dir.search.Next(found) != 0) {
    CloseDirSearch();
    return {};
  }
  return ResultLine(found);
}

void CloseDirSearch() {
  g_dir.search.Close();
  g_dir.active = false;
}

ShortStr LookupKeyValue(std::string_view file, std::string_view key) {
  if (!g_valueFileRead || UPPERCAS::CollateCompareExact(file, g_valueFile) != 0) {
    ReadKeyValueFile(file);
    g_valueFile.assign(file, 64);
    g_valueFileRead = true;
  }
  const auto it = g_values.find(std::string(key));
  return it == g_values.end() ? ShortStr() : ShortStr(it->second);
}

void ForgetKeyValueFile() {
  g_values.clear();
  g_valueFile.clear();
  g_valueFileRead = false;
}

std::string HtmlForm(std::string_view text) {
  std::string out;
  for (char c : text) out += FullText::TextToHtml(std::string_view(&c, 1), "").view();
  return out;
}

int32_t FlattenPieces(const dynstr::LineNode* chain, bool html, std::string& text) {
  text.clear();
  for (const dynstr::LineNode* node = chain; node; node = node->next.get()) {
    if (html) text += HtmlForm(node->text.view());
    else text += node->text.view();
    text += node->continued == dynstr::kLineBreakFollows ? "\r\n" : " ";
    if (text.size() + 1 >= RamFiles::kTextBufSize) {
      text.clear();
      return -1;
    }
  }
  return int32_t(text.size() + 1);
}

int SubstInTextBuffer(std::string_view search, const dynstr::LineNode* replacement, bool html) {
  std::string text;
  if (FlattenPieces(replacement, html, text) < 0) return 0;
  return RamFiles::TextBufReplace(search, text) ? 1 : 0;
}

int DirectoryAnswer(int dosError) {
  if (dosError == 0) return 0;
  return dosError == platform::kDosAccessDenied ? 1 : 2;
}

ShortStr AccessLetters(uint8_t rights) {
  ShortStr letters;
  static constexpr char kLetters[] = "NELI";
  for (int bit = 0; bit < 4; ++bit)
    if ((rights & (1u << bit)) == 0) letters.append(kLetters[bit]);
  return letters;
}

TEngineSwitches& EngineSwitches() {
  static TEngineSwitches switches;
  return switches;
}

void ResetServices() {
  EngineSwitches() = TEngineSwitches{};
  CloseDirSearch();
  ForgetKeyValueFile();
}

void SetServiceHooks(const TServiceHooks& hooks) {
  Take(g_hooks.getEnv, hooks.getEnv, kDefaultHooks.getEnv);
  Take(g_hooks.cgiWrite, hooks.cgiWrite, kDefaultHooks.cgiWrite);
  Take(g_hooks.cgiParam, hooks.cgiParam, kDefaultHooks.cgiParam);
  Take(g_hooks.setJobParameter, hooks.setJobParameter, kDefaultHooks.setJobParameter);
  Take(g_hooks.getJobParameter, hooks.getJobParameter, kDefaultHooks.getJobParameter);
  Take(g_hooks.initJobFont, hooks.initJobFont, kDefaultHooks.initJobFont);
  Take(g_hooks.compileModule, hooks.compileModule, kDefaultHooks.compileModule);
  Take(g_hooks.paramStr, hooks.paramStr, kDefaultHooks.paramStr);
  Take(g_hooks.baseDir, hooks.baseDir, kDefaultHooks.baseDir);
  Take(g_hooks.privDir, hooks.privDir, kDefaultHooks.privDir);
}

const TServiceHooks& ServiceHooks() { return g_hooks; }

}  // namespace SysServices
