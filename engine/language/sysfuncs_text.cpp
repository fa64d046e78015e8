// System functions of dates (200), one text (201), one number (202), two
// texts (206) and print attributes (209).
//
// Each handler reads its whole argument list first ("(" arg ")" or "(" arg
// "," arg ")"), so a call that fails in an argument acts no further; then
// one switch over the function number computes the result. Functions that
// touch files, directories, the CGI output, the job or the message queue act
// only with the apply flag and otherwise deliver 0 or the empty text. The
// outside world is reached through platform/ and the hooks of sysservices.h,
// so every function runs without a host.
#include "engine/language/sysfuncs.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <string>

#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/ramfiles.h"
#include "engine/base/uppercas.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/selection.h"
#include "engine/language/sysalgo.h"
#include "engine/language/sysservices.h"
#include "engine/storage/fulltext/fulltext.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/messages.h"
#include "platform/process.h"

namespace SysFuncs {
namespace {

using Zet02::TRunValue;

void SetReal(TRunValue& r, double x) {
  r.type = Zet02::kValReal;
  r.number = x;
  r.text.clear();
}
void SetText(TRunValue& r, std::string_view s) {
  r.type = Zet02::kValString;
  r.number = 0;
  r.text = s;
}
void SetChar(TRunValue& r, int c) {
  const char ch = char(c);
  SetText(r, std::string_view(&ch, 1));
}

// Log, Exp and Sqrt outside their domain: 0, and error 43 while running.
void MathError(TRunValue& r) {
  SetReal(r, 0);
  if (Zet02::RunMode() == 3) Zet02::FailRun(Zet02::kErrRealOverflow);
}

void Unknown() { Zet02::FailRun(Zet02::kErrNotAvailable); }

// "(" one argument of the type ")"; false after an error.
bool OneArg(uint16_t type, TRunValue& arg) { return Zet02::EvalParenArg(type, arg) && Zet02::ExpectCloseParen() && Zet02::RunError() <= 0; }

// ---- 200: dates ------------------------------------------------------------

void DateFunction(uint8_t, uint8_t code, TRunValue& result) {
  TRunValue arg;
  if (!OneArg(Zet02::kValReal, arg)) return;
  const int32_t dayNumber = Zet02::ValueToInteger(arg.number);
  const int32_t packed = DATUM::DayNumberToPacked(dayNumber);
  const DATUM::Date date = DATUM::UnpackDate(packed);
  switch (code) {
    case 1: SetReal(result, date.day); break;
    case 2: SetReal(result, date.month); break;
    case 3: SetReal(result, date.year); break;
    case 4: {
      const double minutes = std::trunc(arg.number);
      const bool inDay = std::isfinite(minutes) && minutes >= 0 && minutes < DATUM::kMinutesPerDay;
      SetText(result, inDay ? DATUM::MinutesToStr(int32_t(minutes)) : ShortStr());
      break;
    }
    case 5: SetText(result, DATUM::PackedDateToStr(packed)); break;
    case 6: SetText(result, DATUM::WeekdayName(dayNumber)); break;
    case 7: SetReal(result, DATUM::WeekOfYear(packed) & 0xFF); break;
    default: Unknown(); break;
  }
}

// ---- 201: one text ---------------------------------------------------------

ShortStr TrimmedLeft(std::string_view s) {
  while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
  return ShortStr(s);
}
ShortStr TrimmedRight(std::string_view s) {
  while (!s.empty() && s.back() == ' ') s.remove_suffix(1);
  return ShortStr(s);
}

// Val and ValStr: the text compiled and run as an expression in the
// current mode; false for an empty text or a compile error.
bool EvaluateText(std::string_view text, TRunValue& value) {
  if (text.empty()) return false;
  ShortStr code(text);
  uint64_t tables = 0;
  if (Zet02::CompileExpression(code, tables) != 0) return false;
  size_t position = 0;
  int dependency = 0;
  const int error = Zet02::ExecuteCode(code, position, Zet02::RunMode(), value, dependency);
  Zet02::RaiseDependency(dependency);
  if (error > 0) Zet02::FailRun(error);
  return error <= 0;
}

// Size of a file or of the text buffer; -1 when it cannot be opened.
double SizeOfFile(std::string_view name) {
  if (RamFiles::IsRamTextName(name)) return RamFiles::TextBufLength();
  platform::FileHandle handle = platform::kNoFile;
  if (platform::OpenFile(name, platform::kAccessRead | platform::kShareDenyNone, handle) != 0) return -1;
  uint64_t size = 0;
  const int error = platform::FileSize(handle, size);
  platform::CloseFile(handle);
  return error == 0 ? double(size) : -1;
}

// TestKeys: one key message from the queue.
ShortStr TestKeys(std::string_view wanted) {
  platform::KeyMessage message;
  if (!platform::PeekKey(true, message)) return {};
  const char key = char(message.key);
  if (!wanted.empty() && wanted.find(key) == std::string_view::npos) {
    platform::PumpMessages();
    return {};
  }
  if (message.message != platform::kMsgKeyDown) return {};
  return ShortStr(std::string_view(&key, 1));
}

int CgiWrite(std::string_view text) { return SysServices::DirectoryAnswer(SysServices::ServiceHooks().cgiWrite(text)); }

void TextFunction(uint8_t, uint8_t code, TRunValue& result) {
  TRunValue arg;
  if (!OneArg(Zet02::kValString, arg)) return;
  const std::string_view s = arg.text.view();
  const bool apply = Zet02::ApplyFlag();
  const SysServices::TServiceHooks& hooks = SysServices::ServiceHooks();
  SetText(result, s);
  switch (code) {
    case 1: SetText(result, Zet02::PhoneticCode(s)); break;
    case 3: UPPERCAS::UpperStr(result.text); break;
    case 46: UPPERCAS::LowerStr(result.text); break;
    case 4: SetReal(result, apply ? platform::DeleteFile(s) : 0); break;
    case 5: SetReal(result, double(s.size())); break;
    case 6: SetText(result, SysAlgo::Swap(s)); break;
    case 7: SetText(result, TrimmedLeft(s)); break;
    case 8: SetText(result, TrimmedRight(s)); break;
    case 9: SetReal(result, s.empty() ? 0 : uint8_t(s[0])); break;
    case 11: {
      ShortStr value;
      SetText(result, hooks.getEnv(s, value) ? value : ShortStr());
      break;
    }
    case 15: SetReal(result, Common::FileExists(s) ? 1 : 0); break;
    case 17: SetReal(result, apply ? SysServices::DirectoryAnswer(platform::MakeDirectory(s)) : 0); break;
    case 18: SetReal(result, apply ? SysServices::DirectoryAnswer(platform::ChangeDirectory(s)) : 0); break;
    case 19: SetReal(result, apply ? SysServices::DirectoryAnswer(platform::RemoveDirectory(s)) : 0); break;
    case 21:
      if (apply) hooks.setJobParameter(s);
      SetReal(result, 0);
      break;
    case 22: {
      TRunValue value;
      const bool ok = EvaluateText(s, value);
      SetReal(result, ok && value.type != Zet02::kValString ? value.number : 0);
      break;
    }
    case 23: {
      TRunValue value;
      if (EvaluateText(s, value)) result = value;
      else SetText(result, "");
      break;
    }
    case 24: SetReal(result, apply ? hooks.compileModule(s) : 0); break;
    case 25: SetReal(result, hooks.getJobParameter(s)); break;
    case 26: UPPERCAS::OemToAnsiStr(result.text); break;
    case 27: UPPERCAS::AnsiToOemStr(result.text); break;
    case 30: SetText(result, apply ? TestKeys(s) : ShortStr()); break;
    case 31: FullText::HtmlToText(result.text); break;
    case 36: SetText(result, FullText::TextToHtml(s, "")); break;
    case 32:
    case 33:
    case 34: break;
    case 35: SetReal(result, apply ? hooks.initJobFont(s) : 0); break;
    case 37: SetText(result, SysAlgo::TestLn(s)); break;
    case 38: SetReal(result, SizeOfFile(s)); break;
    case 40: SetText(result, hooks.cgiParam(s)); break;
    case 41: SetReal(result, apply ? CgiWrite(s) : 0); break;
    case 42: SetReal(result, apply ? CgiWrite(std::string(s) + "\r\n") : 0); break;
    case 44: SetReal(result, apply ? CgiWrite(SysServices::HtmlForm(s)) : 0); break;
    default: Unknown(); break;
  }
}

// ---- 202: one number -------------------------------------------------------

uint32_t g_randomSeed = 0;

// Random: 0..n-1 from the engine's linear congruential generator.
double NextRandom(double x) {
  const uint32_t n = uint16_t(Zet02::ValueToInteger(x));
  g_randomSeed = g_randomSeed * 134775813u + 1u;
  return double((uint64_t(g_randomSeed) * n) >> 32);
}

// The current directory without its closing separator (but "/").
ShortStr CurrentDirectory() {
  std::string dir = platform::CurrentDirectory();
  if (dir.size() > 1 && dir.back() == '/') dir.pop_back();
  return ShortStr(dir);
}

// Pause: n hundredths of a second, watching the queue; the user's Ctrl+U
// ends the wait early (a long pause in a program can be stopped).
void Pause(int32_t n) {
  const uint64_t end = platform::TickCountMs() + uint64_t(std::max(0, n)) * 10;
  for (uint64_t now = platform::TickCountMs(); now < end; now = platform::TickCountMs()) {
    if (Common::UserBreakRequested()) return;
    Common::WaitMilliseconds(uint32_t(std::min<uint64_t>(end - now, Common::kWaitPollMs)));
  }
}

// Every drive letter names the one file system: drive types 3 (fixed disk)
// for A to Y, 0 otherwise.
double DriveType(int32_t n) { return n >= 0 && n < 25 ? 3 : 0; }

void NumberFunction(uint8_t, uint8_t code, TRunValue& result) {
  TRunValue arg;
  if (!OneArg(Zet02::kValReal, arg)) return;
  const double x = arg.number;
  const bool apply = Zet02::ApplyFlag();
  SysServices::TEngineSwitches& switches = SysServices::EngineSwitches();
  switch (code) {
    case 1: SetReal(result, std::fabs(x)); break;
    case 2: SetReal(result, x - std::trunc(x)); break;
    case 3: SetReal(result, std::trunc(x)); break;
    case 4:
      SetReal(result, NextRandom(x));
      Zet02::RaiseDependency(1);
      Zet02::SoftStopInCheck();
      break;
    case 5: SetReal(result, std::sin(x)); break;
    case 6: SetReal(result, std::cos(x)); break;
    case 7:
      if (x <= 0) MathError(result);
      else SetReal(result, std::log(x));
      break;
    case 8:
      if (std::fabs(x) > 70) MathError(result);
      else SetReal(result, std::exp(x));
      break;
    case 9:
      if (x < 0) MathError(result);
      else SetReal(result, std::sqrt(x));
      break;
    case 10: SetChar(result, Zet02::ValueToInteger(x) & 0xFF); break;
    case 11: SetText(result, Common::DigitWords(Zet02::ValueToInteger(std::trunc(x)))); break;
    case 15: {
      uint64_t bytes = 0;
      SetReal(result, apply && platform::FreeDiskBytes("", bytes) ? double(bytes) : 0);
      break;
    }
    case 17: SetText(result, apply ? CurrentDirectory() : ShortStr()); break;
    case 21:
      if (apply) Pause(Zet02::ValueToInteger(x));
      SetReal(result, apply ? 1 : 0);
      break;
    case 22: SetReal(result, apply ? DriveType(Zet02::ValueToInteger(x)) : 0); break;
    case 23:
      if (apply) switches.dirtyCheck = x != 0;
      SetReal(result, apply ? 1 : 0);
      break;
    case 24:
      if (apply) switches.memoRelease = x == 1;
      SetReal(result, apply ? 1 : 0);
      break;
    case 25: SetText(result, SysServices::ServiceHooks().paramStr(Zet02::ValueToInteger(x))); break;
    case 26:
      if (Zet02::RunMode() == 3) switches.continuousRead = x != 0;
      break;
    case 27: SetReal(result, std::atan(x)); break;
    default: SetReal(result, 1); break;
  }
}

// ---- 206: two texts --------------------------------------------------------

void TwoTextFunction(uint8_t, uint8_t code, TRunValue& result) {
  TRunValue first;
  TRunValue second;
  if (!Zet02::EvalParenArg(Zet02::kValString, first) || !Zet02::EvalCommaArg(Zet02::kValString, second) ||
      !Zet02::ExpectCloseParen() || Zet02::RunError() > 0)
    return;
  const std::string_view a = first.text.view();
  const std::string_view b = second.text.view();
  const bool apply = Zet02::ApplyFlag();
  switch (code) {
    case 1: SetReal(result, SysAlgo::PosOf(a, b)); break;
    case 2: SetReal(result, SysAlgo::ScanCount(a, b)); break;
    case 5: SetReal(result, apply && platform::RenameFile(a, b) == 0 ? 1 : 0); break;
    case 6: SetReal(result, SysAlgo::StrComp(a, b)); break;
    case 8: SetText(result, apply ? SysServices::FirstDir(a, b) : ShortStr()); break;
    case 9: SetText(result, SysAlgo::StrAdd(a, b)); break;
    case 10: SetText(result, SysAlgo::SubPath(a, b)); break;
    case 11: SetReal(result, apply ? RamFiles::CopyFile(a, b) : 0); break;
    case 14: SetText(result, apply ? SysServices::LookupKeyValue(a, b) : ShortStr()); break;
    default: Unknown(); break;
  }
}

// ---- 209: print attributes -------------------------------------------------

void PrintAttribute(uint8_t, uint8_t code, TRunValue& result) {
  TRunValue arg;
  if (!OneArg(Zet02::kValReal, arg)) return;
  const bool on = arg.number != 0;
  switch (code) {
    case 1: SetChar(result, on ? 6 : 7); break;
    case 2: SetChar(result, on ? 11 : 12); break;
    default: Unknown(); break;
  }
}

}  // namespace

void RegisterTextFunctions() {
  Zet02::SetGroupHandler(200, DateFunction);
  Zet02::SetGroupHandler(201, TextFunction);
  Zet02::SetGroupHandler(202, NumberFunction);
  Zet02::SetGroupHandler(206, TwoTextFunction);
  Zet02::SetGroupHandler(209, PrintAttribute);
  g_randomSeed = 0;
  SysServices::ResetServices();
}

}  // namespace SysFuncs
