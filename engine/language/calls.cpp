#include "engine/language/calls.h"

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <cstring>
#include <ctime>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/datum.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/hostcmds.h"
#include "engine/language/interp.h"
#include "engine/language/lumostack.h"
#include "engine/language/variables.h"
#include "engine/storage/zet01_memocheck.h"

namespace Zet02 {

using namespace ByteCode;

namespace {

bool NoOutside(uint16_t, ShortStr&, ShortStr&, uint16_t&) { return false; }
int NoOutsideCall(uint16_t, ZetArgDescriptor*, size_t) { return -2; }
TOutsideFunctions g_outside = {NoOutside, NoOutsideCall};

int NoOdbc(int, const std::vector<ShortStr>&) { return -1; }
TOdbcImportProc g_odbc = NoOdbc;

const TExtension kExtensions[kExtensionCount] = {
    {"CLOSEFINDFILE", "X", 0},
    {"FINDFIRSTFILE", "R S SVSVRVRVRVSVS", 8},
    {"FINDNEXTFILE", "RVSVRVRVRVSVS", 6},
    {"IMPORTODBC", "R R S S S S", 2},
    {"GETODBCERROR", "R RVRVRVS", 4},
    {"ASSIGNED", "R O", 1},
    {"SETNUMBERFORMATS", "X R R R", 3},
    {"CHECKMEMOS", "R R", 1},
};

struct TCallTarget {
  ShortStr name;
  ShortStr signature;
  uint16_t required = 0;
  uint16_t objectClass = kValObject;
};

// The signature of the call by group; false (with the run error set) when
// there is none.
bool FindCallTarget(uint8_t group, uint16_t number, TCallTarget& target) {
  switch (group) {
    case tkHostCommand: {
      uint8_t required = 0;
      std::string_view signature;
      if (!ReadCodeByte(required) || !ReadCodeText(signature)) return false;
      target.signature = ShortStr(signature);
      target.required = required;
      return true;
    }
    case tkUserFunc:
      if (!g_outside.describe(number, target.name, target.signature, target.required)) {
        FailRun(kErrOutsideMissing, target.name.view());
        return false;
      }
      return true;
    case tkExtFunc: {
      const TExtension* e = Extension(number);
      if (!e) {
        FailRun(kErrUnknownExtension);
        return false;
      }
      target.name = ShortStr(e->name);
      target.signature = ShortStr(e->signature);
      target.required = e->required;
      return true;
    }
    case kGroupHostMember:
    case kGroupHostMemberProc: {
      uint8_t area[LumoHost::kDescriptionArea] = {};
      const int16_t answer = LumoHost::HostDescribe(ZetVars::kFirstHostClass, number, area);
      if (answer != 0) {
        FailRun(-answer);
        return false;
      }
      const uint32_t kind = bytes::GetU32(area + LumoHost::kDescKind);
      if (group == kGroupHostMember) {
        target.signature = ShortStr(kind == 1 ? "R" : kind == 2 ? "S" : "O");
        if (kind != 1 && kind != 2) target.objectClass = uint16_t(kind);
        target.required = 0;
      } else {
        const char* sig = reinterpret_cast<const char*>(area + LumoHost::kDescSignature);
        target.signature = ShortStr(std::string_view(sig, strnlen(sig, LumoHost::kDescriptionArea -
                                                                          LumoHost::kDescSignature)));
        target.required = uint16_t(target.signature.size() / 2);
      }
      return true;
    }
    default:
      throw std::logic_error("Unknown Group in ExecuteSystemFuntion");
  }
}

// Host commands 83 and 84 take variable 1 for a left-out text parameter.
bool UsesInputVariable(uint8_t group, uint16_t number, size_t param) {
  return group == tkHostCommand && ((number == 83 && param == 5) || (number == 84 && param == 4));
}

ShortStr InputVariableText() {
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(1);
  return info.valid && info.type == ZetVars::kTypeString ? ShortStr(info.text) : ShortStr();
}

int CallCallee(uint8_t group, uint16_t number, const TCallTarget& target) {
  LumoExec::TStack& stack = LumoExec::ValueStack();
  std::vector<ZetArgDescriptor> args = stack.GetUserStack(target.signature.view());
  switch (group) {
    case tkHostCommand:
      return -LumoHost::ExecProc()(tkHostCommand, number, args.data());
    case tkUserFunc: {
      const int answer = g_outside.call(number, args.data(), args.size());
      if (answer == -1) {
        Common::SetErrorArgument(target.name.view());
        return kErrOutsideCall;
      }
      if (answer == -2) {
        Common::SetErrorArgument(target.name.view());
        return kErrOutsideMissing;
      }
      return 0;
    }
    case tkExtFunc:
      return RunExtension(number);
    case kGroupHostMember:
      return -LumoHost::DispatchProc(3)(CurrentObject(), number, args.data());
    default:
      return -LumoHost::DispatchProc(5)(CurrentObject(), number, args.data());
  }
}

}  // namespace

void ExecuteSystemFuntion(uint8_t group, TRunValue& result) {
  LumoExec::TStack& stack = LumoExec::ValueStack();
  uint8_t* const top = stack.Top();
  uint16_t number = 0;
  if (!ReadCodeWord(number)) return;
  TCallTarget target;
  if (!FindCallTarget(group, number, target)) return;
  const std::string_view sig = target.signature.view();
  const size_t n = sig.empty() ? 0 : (sig.size() - 1) / 2;
  const char resultLetter = sig.empty() ? 'X' : sig[0];
  if (std::string_view("IORSX ").find(resultLetter) == std::string_view::npos) {
    FailRun(kErrTypes);
    return;
  }
  bool given = false;
  try {
    switch (resultLetter) {
      case 'I': stack.PushDWord(0); break;
      case 'O':
      case 'R': stack.PushReal(0); break;
      case 'S': stack.PushString(""); break;
      default: break;
    }
    stack.PushReal(CurrentObject());
    for (size_t i = 1; i <= n && RunError() <= 0; ++i) {
      const bool byRef = sig[2 * i - 1] == 'V';
      const char type = sig[2 * i];
      const uint8_t separator = i == 1 ? tkOpen : tkAnd;
      bool present;
      if (i <= target.required) present = ExpectCode(separator);
      else present = MatchCode(separator);
      if (RunError() > 0) break;
      if (present) given = true;
      if (type != 'I' && type != 'R' && type != 'S' && type != 'O') {
        FailRun(kErrTypes);
        break;
      }
      if (!present) {
        if (byRef) stack.PushWord(0);
        if (type == 'I') stack.PushDWord(0);
        else if (type == 'S')
          stack.PushString(UsesInputVariable(group, number, i) ? InputVariableText().view() : std::string_view());
        else stack.PushReal(0);
        continue;
      }
      if (byRef && type != 'O') {
        uint16_t var = 0;
        if (!MatchCode(tkVar) || !ReadCodeWord(var)) {
          FailRun(kErrExpected, "V");
          break;
        }
        TRunValue value;
        const uint16_t e = GetVariableValue(var, RunMode(), value);
        if (e != 0) FailRun(e);
        stack.PushWord(var);
        if (type == 'I') stack.PushDWord(uint32_t(ValueToInteger(value.number)));
        else if (type == 'R') stack.PushReal(value.number);
        else stack.PushString(value.text.view());
        continue;
      }
      TRunValue value;
      if (type == 'S') {
        // A memo field goes in whole, as a long text.
        if (EvalTextOrMemoArg(value) && value.type == kValMemo) {
          std::string text;
          ReadMemoText(value, text);
          stack.PushLongText(text);
        } else {
          stack.PushString(value.text.view());
        }
      } else if (type == 'O') {
        EvalArg(kValObject, value);
        stack.PushReal(value.number);
      } else {
        EvalArg(kValReal, value);
        if (type == 'I') stack.PushDWord(uint32_t(ValueToInteger(value.number)));
        else stack.PushReal(value.number);
      }
    }
    if (given && RunError() <= 0) ExpectCode(tkClose);
  } catch (const LumoExec::ELumoStackOverflow&) {
    FailRun(kErrTooComplex);
  }
  if (RunError() > 0) {
    stack.SetTop(top);
    result.type = 0;
    return;
  }
  if (ApplyFlag()) {
    const int answer = CallCallee(group, number, target);
    if (answer != 0) {
      if (answer == kSoftStop) {
        if (RunError() == 0) SetRunError(kSoftStop);
      }
      else if (answer > 0) FailRun(answer);
      else FailRun(-answer);
    }
  }
  // Write back, last parameter first.
  for (size_t i = n; i >= 1; --i) {
    const bool byRef = sig[2 * i - 1] == 'V';
    const char type = sig[2 * i];
    ZetVars::TVarValue value;
    uint16_t valueType = kValReal;
    ShortStr text;
    if (type == 'I') value.number = int32_t(stack.PopDWord());
    else if (type == 'S') {
      text = stack.PopString();
      value.text = text.view();
      valueType = kValString;
    } else value.number = stack.PopReal();
    const uint16_t var = byRef ? stack.PopWord() : 0;
    if (type == 'O') continue;
    if (type == 'S' && UsesInputVariable(group, number, i)) {
      ZetVars::SetVariable(1, kValString, value, 0);
    } else if (var != 0) {
      const uint16_t e = ZetVars::SetVariable(var, valueType, value, uint16_t(std::max(RunError(), 0)));
      if (e != 0) FailRun(e);
    }
  }
  stack.PopReal();  // the object handle
  switch (resultLetter) {
    case 'I':
      result.type = kValReal;
      result.number = int32_t(stack.PopDWord());
      break;
    case 'R':
      result.type = kValReal;
      result.number = stack.PopReal();
      break;
    case 'S':
      result.type = kValString;
      result.text = stack.PopString();
      break;
    case 'O':
      result.type = target.objectClass;
      result.number = stack.PopReal();
      break;
    default:
      result.type = 0;
      break;
  }
  if (stack.Top() != top) stack.SetTop(top);
}

void SetOutsideFunctions(const TOutsideFunctions& functions) {
  g_outside.describe = functions.describe ? functions.describe : NoOutside;
  g_outside.call = functions.call ? functions.call : NoOutsideCall;
}

void SetOdbcImport(TOdbcImportProc proc) { g_odbc = proc ? proc : NoOdbc; }

// ---- Extension functions ------------------------------------------------------

const TExtension* Extension(uint16_t number) {
  return number >= 1 && number <= kExtensionCount ? &kExtensions[number - 1] : nullptr;
}

bool FindExtension(std::string_view name, uint16_t& number) {
  for (uint16_t i = 0; i < kExtensionCount; ++i) {
    const std::string_view n = kExtensions[i].name;
    if (n.size() == name.size() && UPPERCAS::CollateCompare(n, name) == 0) {
      number = uint16_t(i + 1);
      return true;
    }
  }
  return false;
}

namespace {

// The one directory search of the engine.
struct TSearch {
  DIR* dir = nullptr;
  std::string directory;  // with its separator
  std::string pattern;
  uint8_t mask = 0;
};
TSearch g_search;

void CloseSearch() {
  if (g_search.dir) closedir(g_search.dir);
  g_search.dir = nullptr;
}

uint8_t AttributeMask(std::string_view letters) {
  uint8_t mask = 0;
  for (char c : letters) {
    switch (c & ~0x20) {
      case 'A': mask |= 32; break;
      case 'D': mask |= 16; break;
      case 'H': mask |= 2; break;
      case 'R': mask |= 1; break;
      case 'S': mask |= 4; break;
      default: break;
    }
  }
  return mask;
}

struct TFound {
  std::string name;
  double size = 0;
  double date = 0;
  double time = 0;
  std::string attributes;
};

// The next entry that matches the pattern and the mask: directories and
// hidden entries only when the mask asks for them.
bool NextEntry(TFound& found) {
  if (!g_search.dir) return false;
  while (dirent* d = readdir(g_search.dir)) {
    const std::string name = d->d_name;
    if (!UPPERCAS::WildcardMatch(name, g_search.pattern == "*.*" ? "*" : g_search.pattern)) continue;
    struct stat st {};
    if (stat((g_search.directory + name).c_str(), &st) != 0) continue;
    uint8_t attr = 0;
    if (S_ISDIR(st.st_mode)) attr |= 16;
    else attr |= 32;
    if (!name.empty() && name[0] == '.') attr |= 2;
    if (access((g_search.directory + name).c_str(), W_OK) != 0) attr |= 1;
    if ((attr & 16) && !(g_search.mask & 16)) continue;
    if ((attr & 2) && !(g_search.mask & 2)) continue;
    found.name = name;
    found.size = double(st.st_size);
    std::tm tm{};
    localtime_r(&st.st_mtime, &tm);
    found.date = DATUM::PackedToDayNumber(DATUM::PackDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday));
    found.time = tm.tm_hour * 60 + tm.tm_min;
    found.attributes.clear();
    if (attr & 32) found.attributes += 'A';
    if (attr & 16) found.attributes += 'D';
    if (attr & 2) found.attributes += 'H';
    if (attr & 1) found.attributes += 'R';
    return true;
  }
  return false;
}

void PutString(const ZetArgDescriptor& d, std::string_view text) {
  const size_t n = std::min<size_t>(text.size(), 255);
  std::memcpy(d.value, text.data(), n);
  d.value[n] = 0;
}
void PutReal(const ZetArgDescriptor& d, double v) { bytes::PutF64(d.value, v); }
double GetReal(const ZetArgDescriptor& d) { return bytes::GetF64(d.value); }
std::string GetString(const ZetArgDescriptor& d) {
  return std::string(reinterpret_cast<const char*>(d.value), strnlen(reinterpret_cast<const char*>(d.value), 255));
}

// Writes a found entry into the descriptors from first on (name, size,
// date, time, attributes).
void PutFound(const std::vector<ZetArgDescriptor>& a, size_t first, const TFound& f) {
  PutString(a[first], f.name);
  PutReal(a[first + 1], f.size);
  PutReal(a[first + 2], f.date);
  PutReal(a[first + 3], f.time);
  PutString(a[first + 4], f.attributes);
}

}  // namespace

int RunExtension(uint16_t number) {
  const TExtension* e = Extension(number);
  if (!e) return kErrUnknownExtension;
  if (number == 1) {
    CloseSearch();
    return 0;
  }
  std::vector<ZetArgDescriptor> a = LumoExec::ValueStack().GetUserStack(e->signature);
  switch (number) {
    case 2: {
      CloseSearch();
      const std::string pattern = GetString(a[2]);
      const size_t cut = pattern.find_last_of("\\/:");
      g_search.directory = cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1);
      g_search.pattern = cut == std::string::npos ? pattern : pattern.substr(cut + 1);
      g_search.mask = AttributeMask(GetString(a[3]));
      std::string dir = g_search.directory.empty() ? std::string(".") : g_search.directory;
      for (char& c : dir) if (c == '\\') c = '/';
      g_search.directory = dir == "." ? std::string() : dir;
      if (!g_search.directory.empty() && g_search.directory.back() != '/') g_search.directory += '/';
      g_search.dir = opendir(dir.c_str());
      TFound f;
      if (!g_search.dir || !NextEntry(f)) {
        PutReal(a[0], -2);
        return 0;
      }
      PutReal(a[0], 0);
      PutFound(a, 4, f);
      PutString(a[9], cut == std::string::npos ? std::string() : pattern.substr(0, cut + 1));
      return 0;
    }
    case 3: {
      TFound f;
      if (!NextEntry(f)) {
        PutReal(a[0], -18);
        return 0;
      }
      PutReal(a[0], 0);
      PutFound(a, 2, f);
      PutString(a[7], "");
      return 0;
    }
    case 4: {
      std::vector<ShortStr> texts;
      for (size_t i = 3; i < a.size(); ++i) texts.emplace_back(GetString(a[i]));
      const int answer = g_odbc(ValueToInteger(GetReal(a[2])), texts);
      PutReal(a[0], answer >= 0 ? -120 : -119);
      return answer >= 0 ? 0 : -answer;
    }
    case 5:
      PutReal(a[0], 0);
      return 0;
    case 6:
      PutReal(a[0], GetReal(a[2]) != 0.0 ? 1 : 0);
      return 0;
    case 7: {
      const int32_t dateFormat = ValueToInteger(GetReal(a[3]));
      const int32_t timeFormat = ValueToInteger(GetReal(a[4]));
      if (dateFormat < 0 || dateFormat > 2 || timeFormat < 0 || timeFormat > 2) return kSoftStop;
      DATUM::SetDateTimeFormat(dateFormat, timeFormat);
      const int32_t numberFormat = ValueToInteger(GetReal(a[2]));
      if (numberFormat == 0 || numberFormat == 1) Common::SetDecimalChar(',');
      else if (numberFormat == 2) Common::SetDecimalChar('.');
      else return kSoftStop;
      return 0;
    }
    case 8:
      PutReal(a[0], Zet01::CheckMemoFile(ValueToInteger(GetReal(a[2]))));
      return 0;
    default:
      return kErrUnknownExtension;
  }
}

void CallsInit() {
  g_outside = {NoOutside, NoOutsideCall};
  g_odbc = NoOdbc;
  CloseSearch();
}

void CallsDone() { CallsInit(); }

}  // namespace Zet02
