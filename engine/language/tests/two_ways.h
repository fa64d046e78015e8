// Runs a line of byte code the two ways the interpreter knows, with its
// translation and as a plain descent over the bytes, each from the same
// fresh state over the fixture tables, and describes everything each run
// leaves: value, run error and argument, position, dependency level, every
// variable and array element, "Fehler" and the current record of KUNDEN.
// The differential test and its fuzz target share it.
//
// The state: variables a, i, n (REAL), m (REAL[3,4]), s, t (STRING),
// names (STRING[2]), bits (TBITS[20]), o (OBJECT), v (REAL[5]); procedures Fib(k),
// Twice(VAR x), Glue(p; q): STRING, Down(k) (endless recursion),
// Fill(VAR arr: REAL[3,4]), Inv(k) (1 / k), Scale(a) (a parameter that
// shadows the variable a, times the variable n), Deep(k) (k calls deep),
// Many(p1 .. p8) (eight parameters, p1 calls deep), Mix(k) (k plus the text
// s) and Sign(k) (signs, brackets, Choice); fields NAME, ORT, ALTER and
// PREIS of KUNDEN set. Procedure bodies run through the interpreter's
// procedure hook, which names each body's line (HookRuns counts the bodies
// it ran). The break hook gives each run a budget of loop passes.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/translate.h"
#include "engine/language/variables.h"
#include "engine/storage/zettable_fields.h"

namespace lumo_test {

struct TProgramWriter {
  std::string_view bytes;
  size_t at = 0;
  std::string text;
  uint8_t Next() { return at < bytes.size() ? uint8_t(bytes[at++]) : 0; }
  void Expression(int depth) {
    Term(depth);
    static const char* const kOps[] = {" + ", " - ", " * ", " / ", " Div ", " Mod ", " + ", " * "};
    while (text.size() < 200 && (Next() & 3) == 1) {
      text += kOps[Next() % 8];
      Term(depth);
    }
    if ((Next() & 15) == 15) text += ";C" + std::to_string(Next() % 12);
  }
  // An element of the number array m.
  void Element(int depth) {
    text += "m[";
    Expression(depth + 1);
    text += ", ";
    Expression(depth + 1);
    text += "]";
  }
  void Term(int depth) {
    const uint8_t kind = depth > 4 ? Next() % 8 : Next() % 26;
    static const char* const kLeaves[] = {"a", "i", "n", "s", "'ab'", "2.5", "300", "Alter"};
    static const char* const kTargets[] = {"a", "n", "s", "m[1, 2]", "names[1]", "bits[3]", "Alter", "Name", "o"};
    switch (kind) {
      case 0: case 1: case 2: case 3: case 4: case 5: case 6: case 7:
        if (kind == 0) text += std::to_string(Next());
        else text += kLeaves[Next() % 8];
        return;
      case 8: case 9:
        text += "(";
        Expression(depth + 1);
        text += ")";
        return;
      case 10:
        text += "-";
        Term(depth + 1);
        return;
      case 11: case 12: case 13:
        text += "(";
        text += kTargets[Next() % 9];
        text += " := ";
        Expression(depth + 1);
        text += ")";
        return;
      case 14: case 15:
        Element(depth);
        return;
      case 16:
        text += "names[";
        Expression(depth + 1);
        text += "]";
        return;
      case 17: case 18: {
        text += "Choice(";
        Expression(depth + 1);
        const int n = 1 + Next() % 3;
        for (int k = 0; k < n; ++k) {
          text += ", ";
          Expression(depth + 1);
        }
        text += ")";
        return;
      }
      case 19: case 20: {
        text += Next() & 1 ? "NLoop(i, " : "NLoop(n, ";
        text += std::to_string(int(Next() % 7) - 1);
        const int n = 1 + Next() % 2;
        for (int k = 0; k < n; ++k) {
          text += ", ";
          // Items that assign numbers bare (the loops that run compiled).
          switch (Next() % 4) {
            case 0:
              text += Next() & 1 ? "a := " : "n := ";
              break;
            case 1:
              Element(depth);
              text += " := ";
              break;
            case 2: {
              // An element of one dimension, the loop's counter or not.
              static const char* const kVector[] = {"v[i] := ", "v[n] := ", "v[i + 1] := ", "i := "};
              text += kVector[Next() % 4];
              break;
            }
            default:
              break;
          }
          Expression(depth + 1);
        }
        text += ")";
        return;
      }
      case 21: {
        // Fib's argument stays small: its calls grow with it.
        static const char* const kCalls[] = {"Inv(", "Scale(", "Deep(", "Sign(", "Mix("};
        const uint8_t call = Next() % 6;
        if (call == 5) {
          text += "Fib(" + std::to_string(Next() % 9) + ")";
          return;
        }
        text += kCalls[call];
        Expression(depth + 1);
        text += ")";
        return;
      }
      case 22:
        text += "Twice(a)";
        return;
      case 23:
        text += "Glue(";
        Expression(depth + 1);
        text += ", ";
        Expression(depth + 1);
        text += ")";
        return;
      case 24:
        text += "'abcdef'[";
        Expression(depth + 1);
        text += "]";
        return;
      default:
        text += "Fill(m)";
        return;
    }
  }
};

class TwoWays {
 public:
  // A Lumo line made from bytes by a small grammar over the state above:
  // number and text constants, variables, array elements, fields, the
  // operators of both levels, signs, brackets, assignments, Choice, NLoop
  // with small counts (items bare assignments or any sum), procedure calls,
  // text indexes and rounding suffixes.
  // Every line ends; it may well not compile or fail when it runs.
  static std::string Program(std::string_view bytes) {
    TProgramWriter w{bytes, 0, {}};
    w.Expression(0);
    return w.text.substr(0, ShortStr::kMax);
  }

  // Installs the procedure hook (the fixture tables must be installed).
  static void Install() {
    Zet02::TRunHooks hooks = Zet02::RunHooks();
    hooks.runProcedure = RunBody;
    hooks.procedureLine = BodyLine;
    hooks.breakRequested = OverBudget;
    Zet02::SetRunHooks(hooks);
  }

  // Compiles text in the fresh state; empty when it does not compile.
  static std::string Compile(const std::string& text) {
    Prepare();
    ShortStr code(text);
    uint64_t set = 0;
    const bool ok = text.size() <= ShortStr::kMax && Zet02::CompileExpression(code, set) == 0;
    ZetVars::PopVarScope();
    return ok ? code.str() : std::string();
  }

  // The descriptions of `rounds` runs of code from start in mode, one way.
  static std::vector<std::string> Run(Zet02::TTranslationMode way, std::string_view code, int mode, size_t start,
                                      int rounds = 3) {
    Zet02::SetTranslationMode(way);
    // Each way starts from the same records.
    std::vector<std::vector<uint8_t>> records;
    for (int slot = 1; slot <= ZetTable::OpenCount(); ++slot)
      records.push_back(ZetTable::Table(slot) ? ZetTable::Table(slot)->recordBuffer : std::vector<uint8_t>());
    Prepare();
    std::vector<std::string> seen;
    const bool writeEnable = Zet02::WriteEnable();
    Zet02::SetWriteEnable(true);
    for (int round = 0; round < rounds; ++round) {
      Zet02::TRunValue value;
      size_t pos = start;
      int dependency = 0;
      Common::SetErrorArgument("");
      BreakChecks() = 0;
      const int error = Zet02::ExecuteCode(code, pos, mode, value, dependency);
      seen.push_back(Describe(error, pos, dependency, value));
    }
    Zet02::SetWriteEnable(writeEnable);
    ZetVars::PopVarScope();
    for (int slot = 1; slot <= ZetTable::OpenCount() && size_t(slot) <= records.size(); ++slot)
      if (ZetTable::Table(slot)) ZetTable::Table(slot)->recordBuffer = records[size_t(slot - 1)];
    Zet02::SetTranslationMode(Zet02::TTranslationMode::kNormal);
    return seen;
  }

  // Both ways; empty when they agree, else the two descriptions that differ.
  static std::string Difference(std::string_view code, int mode, size_t start = 0) {
    const std::vector<std::string> plain = Run(Zet02::TTranslationMode::kOff, code, mode, start);
    const std::vector<std::string> translated = Run(Zet02::TTranslationMode::kAtOnce, code, mode, start);
    for (size_t i = 0; i < plain.size(); ++i)
      if (plain[i] != translated[i]) return "run " + std::to_string(i) + "\n  bytes:      " + plain[i] + "\n  translated: " + translated[i];
    return "";
  }

  // The procedure bodies the hook ran.
  static int& HookRuns() {
    static int runs = 0;
    return runs;
  }

 private:
  static std::map<uint16_t, std::string>& Bodies() {
    static std::map<uint16_t, std::string> bodies;
    return bodies;
  }

  static int RunBody(uint16_t proc, Zet02::TRunValue& value) {
    ++HookRuns();
    const auto it = Bodies().find(proc);
    if (it == Bodies().end()) return 0;
    size_t pos = 0;
    int dependency = 0;
    return Zet02::ExecuteCode(it->second, pos, 3, value, dependency);
  }

  // RunBody runs the line and nothing else.
  static std::string_view BodyLine(uint16_t proc) {
    const auto it = Bodies().find(proc);
    return it == Bodies().end() ? std::string_view() : std::string_view(it->second);
  }

  // A run's loops take at most kBudget x 1024 passes: a loop of 2^31
  // passes stops with error 114 (a user's break), at the same pass both ways.
  static constexpr int kBudget = 64;
  static int& BreakChecks() {
    static int checks = 0;
    return checks;
  }
  static bool OverBudget() { return ++BreakChecks() > kBudget; }

  static void Declare(const char* text) {
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::ParseVarDeclaration(0, text, pos, err, false);
  }

  static void Procedure(const char* header, const char* body) {
    size_t pos = 1;
    uint16_t err = 0;
    const uint16_t p = ZetVars::DefineProcedure(header, 0, pos, err);
    ZetVars::SetLocalBase(ZetVars::VariableCount());
    ZetVars::InstantiateParameters(p, false);
    ShortStr code(body);
    uint64_t set = 0;
    Zet02::CompileExpression(code, set);
    Bodies()[p] = code.str();
    ZetVars::DropLocalVariables();
    ZetVars::SetLocalBase(0);
  }

  static void SetField(uint16_t n, const std::string& text) {
    ZetTable::TZetTable* t = ZetTable::Table(kKunden);
    ZetTable::SetFieldText(kKunden, n, t->recordBuffer.data(), text);
  }

  static void Prepare() {
    ZetVars::PushVarScope();
    Declare("a, i, n: REAL");
    Declare("m: REAL[3,4]");
    Declare("s, t: STRING");
    Declare("names: STRING[2]");
    Declare("bits: TBITS[20]");
    Declare("o: OBJECT");
    Declare("v: REAL[5]");
    Bodies().clear();
    Procedure("Fib(k: REAL): REAL", "Choice(k, 1, 1, Fib(k - 1) + Fib(k - 2))");
    Procedure("Twice(VAR x: REAL)", "x := x * 2");
    Procedure("Glue(p: STRING; q: STRING): STRING", "p + '-' + q");
    Procedure("Down(k: REAL): REAL", "Down(k + 1)");
    Procedure("Fill(VAR arr: REAL[3,4])", "arr[1,2] := 7");
    Procedure("Inv(k: REAL): REAL", "1 / k");
    Procedure("Scale(a: REAL): REAL", "a * n");
    Procedure("Deep(k: REAL): REAL", "Choice(k, 0, Deep(k - 1) + 1)");
    Procedure("Many(p1, p2, p3, p4, p5, p6, p7, p8: REAL): REAL",
              "Choice(p1, p8, Many(p1 - 1, p2, p3, p4, p5, p6, p7, p8 + p2) - p3 * p4 Div p5 Mod p6 + p7)");
    Procedure("Mix(k: REAL): REAL", "k + s");
    Procedure("Sign(k: REAL): REAL", "Choice(k, -k, +(k * 2), -(-k), Fib(Deep(k Mod 9)))");
    // "Fehler" starts set, so that what clears it shows.
    ZetVars::SetErrorVariable(7);
    SetField(kName, "Meier");
    SetField(kOrt, "K\xF6ln");
    SetField(kAlter, "30");
    SetField(kPreis, "12.5");
  }

  static std::string Describe(int error, size_t pos, int dependency, const Zet02::TRunValue& v) {
    std::ostringstream out;
    out.precision(17);
    out << "error " << error << " (" << Common::ErrorArgument().view() << ") pos " << pos << " dep " << dependency
        << " type " << v.type << " number " << v.number << " text '" << v.text.view() << "'";
    for (uint16_t i = 2; i <= ZetVars::VariableCount(); ++i) {
      const ZetVars::TVarInfo info = ZetVars::GetVarInfo(i);
      out << " | " << info.name << ":" << int(info.type) << "=" << info.number << "'" << info.text << "'";
      if (const std::vector<uint8_t>* data = ZetVars::GetArrayData(i))
        out << " data " << std::hash<std::string>()(std::string(data->begin(), data->end()));
      if (const std::vector<std::string>* s = ZetVars::GetArrayStrings(i))
        for (const std::string& e : *s) out << "," << e;
    }
    out << " | Fehler " << ZetVars::GetSystemVarInt(ZetVars::kSysFehler);
    const ZetTable::TZetTable* t = ZetTable::Table(kKunden);
    out << " | record " << std::hash<std::string>()(std::string(t->recordBuffer.begin(), t->recordBuffer.end()));
    return out.str();
  }
};

}  // namespace lumo_test
