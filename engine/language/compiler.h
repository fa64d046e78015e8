// The Lumo compiler: one line of text (an expression, a selection, a print
// expression or a statement) into byte code (bytecode.h) and the set of the
// tables the line reads.
//
// One pass from left to right over the characters: operators become their
// tokens, names are resolved at once against everything known at that moment
// (function lists, host commands, object variables, mark functions,
// keywords, choice values, variables, procedures, fields and field paths,
// table names, the host's own names, Ja/Nein), and a few keywords compile
// their parenthesised argument as nested code. There is no tree and no
// operator order; the interpreter evaluates the infix code.
//
// What holds:
//   1. The compiler reads only inside its text: every look at a character
//      and at the one after it is checked against the text's length, and
//      every nested text (brackets, quotes, braces) is bounded by the
//      bracket matcher first.
//   2. Code never reaches 250 bytes: the test runs after every step and
//      before a construct appends its nested code, so the code string always
//      fits its 255 bytes.
//   3. Compilations nest: each keeps its state in a compiler object of its
//      own, and the engine's current table is restored at the end, so a
//      nested argument, a brace definition or a compile started by a
//      compile-time run leaves the outer compilation as it was.
//   4. The first error stops the line; the code built so far is still
//      handed back, and the error is recorded once with its argument and
//      position.
//   5. A line that names a variable index does so only for a variable that
//      exists: a brace definition whose compile-time run fails is an error
//      of the line, never an index 0.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"

namespace Zet02 {

// Engine errors of the compiler.
inline constexpr uint16_t kErrModuleNotFound = 20;
inline constexpr uint16_t kErrIllegalChar = 45;
inline constexpr uint16_t kErrBadNumber = 46;
inline constexpr uint16_t kErrUnknownName = 50;
inline constexpr uint16_t kErrFieldExpected = 51;
inline constexpr uint16_t kErrTooManyVars = 53;
inline constexpr uint16_t kErrEqualsMissing = 54;
inline constexpr uint16_t kErrExpected = 56;
inline constexpr uint16_t kErrTooComplex = 60;

// A field path has at most this many steps.
inline constexpr int kMaxPathSteps = 16;

// A value the interpreter hands back: type 1 text, 3 real, 32 object, 33
// bit array (number holds the first 4 bytes), 7 memo and 11 blob (number
// holds the first block, table the slot of the table whose side file holds
// the chain).
struct TRunValue {
  uint16_t type = 0;
  uint8_t table = 0;
  double number = 0;
  ShortStr text;
};

// Services that units above the compiler provide; each has a default that
// acts as if the service knew nothing.
struct TCompilerHooks {
  // Runs code in a mode (0 checks, 3 executes) and leaves its value. 0
  // success, above 0 an engine error, below 0 a soft stop that counts as
  // success. The compiler runs constructs once in mode 0 and takes the
  // text of the value. Default: 0 with an empty value.
  int (*execute)(std::string_view code, int mode, TRunValue& value);
  // The user and outside-library functions (kind 231) and extension
  // functions (kind 232) of the loaded program. Default: none.
  bool (*findFunction)(std::string_view name, uint8_t& kind, uint16_t& index);
  bool (*findExtension)(std::string_view name, uint16_t& index);
  // The number of a font of the database job; 0 when unknown. Default: 0.
  uint16_t (*findFont)(std::string_view name);
  // Loads a module for the arguments of ExecMacro, and unloads it. Default:
  // nothing loads.
  bool (*loadModule)(std::string_view name);
  void (*unloadModule)();
};
// Installs hooks; a null member keeps what is installed, so units above the
// compiler each install their own services. ResetCompilerHooks puts every
// default back.
void SetCompilerHooks(const TCompilerHooks& hooks);
void ResetCompilerHooks();

// While set, every brace name is a new variable (a procedure header of the
// database-job compiler).
void SetDeclaringProcedureHeader(bool on);
// While set, a variable holding an expression adds its tables to the line.
void SetCollectTables(bool on);

// Compiles text and replaces it by its code; tableSet receives the tables
// the line reads. Answers 0 or the engine error, which is recorded
// (SetCompilerError) with its argument and position.
uint16_t CompileExpression(ShortStr& text, uint64_t& tableSet);
// The same with the position where compiling stopped (behind the text on
// success, at the fault otherwise).
uint16_t CompileLine(ShortStr& text, uint64_t& tableSet, size_t& endPosition);

// The brace definition "{name = expression}" on its own: the variable's
// index as code uses it, or 0 with error set.
uint16_t CompileBrace(std::string_view text, uint64_t& tableSet, uint16_t& error);

// The value of a variable: its text (type 1), its number (types 2 and 3,
// as type 3), object (32) or first four bytes (33); an expression variable
// (type 11) runs its code in mode. 0, 25 for an unknown index, or the run's
// error.
uint16_t GetVariableValue(uint16_t index, int mode, TRunValue& value);
// The type GetVariableValue gives in mode 0; 0 when it fails.
uint16_t GetVariableType(uint16_t index);
// Whether two texts compile, with table current, without error to the same
// code.
bool SameExpression(int table, std::string_view a, std::string_view b);

// Engine start and end: hooks back to their defaults, switches off.
void UnitInit();
void UnitDone();

}  // namespace Zet02
