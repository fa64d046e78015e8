// The Lumo interpreter: runs one compiled line (bytecode.h) as an expression
// and hands back its value.
//
// The code keeps the infix order of the source, so the interpreter is a
// recursive descent over the bytes at run time: a sum level (+, -, text
// concatenation, the ";C d" rounding suffix), a term level (*, /, Div, Mod)
// and the operand level (constants, variables, array elements, fields and
// field paths, assignments, function calls, procedure calls and the
// constructs Choice, NLoop, the linked aggregates, ExecMacro and Print).
// Every run enters through ExecuteCode, which saves the state of the run
// around it, so a run started from an operand (a procedure body, an
// expression variable, a formula) leaves the enclosing run where it was.
//
// Running fast. The byte code stays what is stored and exchanged; a line
// that runs again (or holds an NLoop) is also read once into a translation
// (translate.h), kept in a cache with the bytes it was read from and read
// again when they change. A translated run walks the nodes instead of the
// bytes, through the same steps as the descent:
//   - the sum and term levels apply their operators with the descent's own
//     routines; an operand goes through the same Dispatch, which hands its
//     nested sums (assigned values, arguments, subscripts, alternatives,
//     loop items) their nodes;
//   - a node of numbers only (constants, number variables, number array
//     elements and their operators) is worked out without the levels; so is
//     the assignment of one, and an NLoop whose items are all such
//     assignments runs its body compiled for numbers, with the variables'
//     and arrays' places resolved once for the loop;
//   - a call of a procedure whose body is one line of numbers only (the
//     hook names the line, TRunHooks::procedureLine) runs that body
//     compiled the same way, with every procedure it calls: the arguments
//     go into a frame of numbers on the machine stack that the parameters
//     read by their place; no parameter entries, no nested run. Such a body
//     changes nothing, so a compiled call that meets anything else than
//     numbers (an error, a nesting limit) is dropped and runs the long way;
//   - wherever a value leaves that path (a text where the operators take
//     numbers, a division by 0, an element outside its array, a procedure
//     whose parameters do not match the call), the node gives up before it
//     changed anything, or the descent over the bytes goes on from the
//     position the node reached. The position is kept exact at every node.
// So both ways give the same values, errors, positions and effects in the
// same order; the differential test and its fuzz target hold them to it,
// with the translation off (SetTranslationMode).
//
// What holds:
//   1. Code is read only inside its length. Every operand read is checked;
//      a code that ends where an operand or operand byte is needed answers
//      41, never a read behind the text. Loaded code is read the same way.
//   2. Runs and operands nest only to fixed depths (kMaxRunDepth runs,
//      kMaxOperandDepth operands over all runs). Deeper nesting answers 60
//      ("Ausdruck zu komplex") and unwinds: a recursive procedure or an
//      expression variable that reads itself ends with that error, never
//      with an exhausted machine stack.
//   3. The run error is 0, an engine error above 0, or -1, the soft stop
//      that ends a check run quietly; the first hard error of an expression
//      stays (CombineRunErrors).
//   4. Effects (variable, field and array writes, procedure bodies, Print,
//      host calls) happen only with the apply flag: run mode 3 and the
//      write-enable switch on. Without it the same code is read and typed,
//      and nothing changes.
//   5. Array elements are addressed only inside the array's data: a linear
//      index below 0 or at or above the element count is error 81.
//   6. A field path a system function names as its argument is followed
//      only when the function acts; the table it leads to gets its position
//      back, keeping only a change the function made to that field of the
//      record it stands on.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/dynstr.h"
#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"

namespace Zet02 {

inline constexpr int kSoftStop = -1;

// Run errors besides those of the compiler.
inline constexpr uint16_t kErrRunSyntax = 25;
inline constexpr uint16_t kErrRunIncomplete = 41;
inline constexpr uint16_t kErrBadOperator = 42;
inline constexpr uint16_t kErrRealOverflow = 43;
inline constexpr uint16_t kErrTypes = 44;
inline constexpr uint16_t kErrIllegalOperand = 45;
inline constexpr uint16_t kErrLoneValue = 48;
inline constexpr uint16_t kErrBadOperand = 49;
inline constexpr uint16_t kErrTableExpected = 58;
inline constexpr uint16_t kErrRange = 81;
inline constexpr uint16_t kErrVariableExpected = 89;
inline constexpr uint16_t kErrNotAvailable = 34;  // "Illegale Operation": no handler for the function
inline constexpr uint16_t kErrUserBreak = 114;  // "Operation abgebrochen": Ctrl+U in a loop
inline constexpr uint16_t kErrOutsideCall = 118;
inline constexpr uint16_t kErrOutsideMissing = 119;
inline constexpr uint16_t kErrConstant = 125;
inline constexpr uint16_t kErrNoObject = 126;

inline constexpr int kMaxRunDepth = 120;
inline constexpr int kMaxOperandDepth = 600;

// Value types of a run.
inline constexpr uint16_t kValString = 1;
inline constexpr uint16_t kValReal = 3;
inline constexpr uint16_t kValMemo = 7;
inline constexpr uint16_t kValBlob = 11;
inline constexpr uint16_t kValObject = 32;
inline constexpr uint16_t kValBits = 33;

// Runs code from position (0-based, in and out) in mode 0 (check) or 3
// (run); the value goes to result, its type to result.type. dependency
// receives 0 for a constant value, 1 for one that depends on the current
// record or is volatile, n for the deepest linked-read level read. Answers
// the run error.
int ExecuteCode(std::string_view code, size_t& position, int mode, TRunValue& result, int& dependency);
// ExecuteCode from the start in mode 3.
int SolveExpression(std::string_view code, TRunValue& result);

// The write-enable switch of the evaluation exports (starts off).
bool WriteEnable();
void SetWriteEnable(bool on);
// While set, a run stops behind its first operand, leaving the operators
// after it to the caller (the line formatter's print items).
void SetOperandOnly(bool on);

// State of the running line, for the handlers of function groups.
int RunMode();
bool ApplyFlag();
int RunError();
void SetRunError(int error);
// Code readers at the run's position: a read past the end is error 41.
bool MatchCode(uint8_t code);
bool ExpectCode(uint8_t code);
bool ReadCodeByte(uint8_t& b);
bool ReadCodeWord(uint16_t& w);
bool ReadCodeText(std::string_view& t);
// The next code byte without consuming it (0 at the end).
uint8_t PeekCode();
void RaiseDependency(int level);
// The soft stop in a check run (mode 0), unless an error is pending.
void SoftStopInCheck();
// Sets the run error unless a hard one is pending; with an argument for
// the message.
void FailRun(int error);
void FailRun(int error, std::string_view argument);
// A full sum of the expected type (0 any) into value; false on an error.
bool EvalArg(uint16_t expected, TRunValue& value);
// Argument routines of the system functions: "(" or "," then a full sum of
// the type; EvalNextArg reads an argument only when a "," follows (false
// and nothing consumed otherwise); ExpectCloseParen expects ")" unless a
// hard error is pending. EvalOptionalCharArg reads a further argument when a
// "," follows: a REAL as its rounded integer, a STRING as its first
// character (0 for an empty text); present tells whether there was one.
bool EvalParenArg(uint16_t expected, TRunValue& value);
// A text argument that may be a memo: when it starts with a field operand
// (185 or 254) whose value is a memo, value holds that memo (type 7);
// anything else must be a STRING as for EvalArg.
bool EvalTextOrMemoArg(TRunValue& value);
bool EvalCommaArg(uint16_t expected, TRunValue& value);
bool EvalNextArg(uint16_t expected, TRunValue& value);
bool ExpectCloseParen();
bool EvalOptionalCharArg(int32_t& value, bool& present);
// Code readers for an argument that names a variable or a field directly:
// a plain or array variable token with its number (an array's dimension
// byte is skipped), or a field token with its table and field number.
// Anything else is error 51 and nothing is consumed.
bool ReadVariableArg(uint16_t& variable);
bool ReadFieldArg(uint8_t& table, uint16_t& field);
// A field named directly, also over links: a field token, or a field path
// whose last step names the field. The path is only read here; Follow takes
// it to its record when the function acts.
struct TFieldRef {
  int table = 0;       // the field's table (a path's last table)
  uint16_t field = 0;
  bool path = false;
  int steps = 0;       // a path's steps after the first
  struct {
    uint8_t table = 0;
    uint16_t field = 0;
  } step[kMaxPathSteps + 1];
  // While followed: the record the path led to, made current in table with
  // the table's position saved.
  bool followed = false;
  uint32_t record = 0;
  std::vector<uint8_t> readBytes;  // the field as the record was read
};
// Reads a field token, or with paths allowed a field path (anything else is
// error 51 and nothing is consumed).
bool ReadFieldRefArg(bool allowPath, TFieldRef& ref);
// For a path: reads the record it leads to into its table's buffer as the
// current record, with the table's position saved; false (position back) when
// it leads to no record or a read fails (that error is the run error). For a
// field token: true, nothing moves.
bool FollowFieldRef(TFieldRef& ref);
// Puts the position of a followed path back. What the function wrote into
// the field of the linked record stays in the record buffer when the record
// it puts back is that same record.
void ReleaseFieldRef(TFieldRef& ref);
// EvalArg that also tells which field the argument named when it was a
// single field or field path and nothing more; table 0 for a computed value.
bool EvalArgNamingField(uint16_t expected, TRunValue& value, int& table, uint16_t& field);
// The real rounded half to even, clamped to +-2147483647.
int32_t ValueToInteger(double value);
// Decimal rounding to d places, halves away from zero.
double RoundDecimal(double value, int d);
// Reads record recno of table with the table's position saved, stores the
// value into the field (with the type test of an assignment) and writes the
// record back with its index updates, then restores the position. Answers
// 0 or the engine error of the read, the store or the write.
int WriteFieldAndUpdate(int table, uint16_t field, TRunValue& value, uint32_t recno);
// Whether a field of the type takes a value of the run type (mode: how
// SetFieldValue takes it): texts into text, choice-text and relation fields,
// a memo or a number (its first block) into memo fields, a blob into blob
// fields, a text or a number into link fields, numbers into the others.
bool FieldTakesValue(uint8_t fieldType, uint16_t valueType, int& mode);
// Stores a run value into the field of the table's record buffer: a memo
// from another field or table is copied into new blocks of this table's
// memo file first (two fields never share a chain). Answers 0 or the error.
int StoreFieldValue(int slot, uint16_t field, const TRunValue& value, int mode);
// The stored lines of a memo value; false (and an empty chain) when the
// value names no memo.
bool ReadMemoLines(const TRunValue& memo, dynstr::LineChain& chain);
// The whole text of a memo value as the memo transfer hands it out (hard
// breaks as CR LF, soft breaks as a blank); false when it names no memo.
bool ReadMemoText(const TRunValue& memo, std::string& text);
// The name of a value type in messages.
const char* ValueTypeName(uint16_t type);

// Handlers of the system-function groups 200-209 and 220: called at the
// position behind the function number with the result preset to R 0.
using TGroupHandler = void (*)(uint8_t group, uint8_t code, TRunValue& result);
void SetGroupHandler(uint8_t group, TGroupHandler handler);

// Hooks of the units above the interpreter. Each answers a run error.
struct TRunHooks {
  // Runs the body of procedure proc with its result in value.
  int (*runProcedure)(uint16_t proc, TRunValue& value);
  // Starts and ends the macro of ExecMacro; begin answers false when the
  // macro cannot start.
  bool (*beginMacro)(std::string_view name);
  void (*endMacro)();
  // Formats a Print line.
  int (*printLine)(std::string_view line);
  // The body of procedure proc when runProcedure runs it as one line: as
  // ExecuteCode from its start in mode 3, answering the run's error with the
  // run's value as the procedure's value, and doing nothing else. Empty when
  // the body is not such a line. The interpreter may then run the body
  // itself (compiled, when it computes numbers only). It answers for the
  // runProcedure installed with it: SetRunHooks drops one carried over to
  // another runProcedure.
  std::string_view (*procedureLine)(uint16_t proc);
  // Asked once in 1024 passes of a loop (NLoop): true stops the loop with
  // error 114. The default is the user's break (Common::UserBreakRequested).
  bool (*breakRequested)();
};
// Installs hooks; a null member keeps the default (procedures and macros
// do nothing, Print prints nothing).
void SetRunHooks(const TRunHooks& hooks);
// The hooks installed now, so that a unit can change its own and keep the
// others.
const TRunHooks& RunHooks();

// The object handle the last object value left, for member calls.
double CurrentObject();

void InterpreterInit();
void InterpreterDone();

}  // namespace Zet02
