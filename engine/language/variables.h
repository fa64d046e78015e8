// The variable store of Lumo: one table of variables shared by the
// compilers and the interpreter, the procedures of the loaded program with
// their parameter chains, the names of the used modules, the eight system
// variables, the program image that carries all of this in a compiled
// program, the scopes that nest one program inside another, and the
// compile-error record.
//
// Variables are addressed by a 16-bit index, never by pointer:
//   1..count        program variables (count <= 512); entry 1 is always the
//                   string variable "T-Eingabe", so a fresh scope has count 1
//   513..520        the system variables "Fehler", "heute", "jetzt", "Zeile",
//                   "Seite", "ZET-Pfad", "ToMargin", "SysBrowser"
//   above 32768     relative to the frame base of the running procedure:
//                   (index and 32767) + local base
//
// Flags of an entry: 1 alias (a VAR parameter instance without a record of
// its own; name lookup skips it), 2 array, 4 owns its name, 8 wide
// (accumulator of Sum .. ZCount, name starting with a byte 240..246),
// 16 initialised at compile time (assignment refused, value saved).
//
// Array descriptor (25 bytes in the program image): ten u16 upper bounds
// (dimension 1 first, each runs from 0 to its bound), u16 element size (4
// string, 1 bit, 8 other), u16 data size, u8 dimension count. What holds for
// every array entry, whether declared or loaded: 1..10 dimensions, and
// data size = element size x product(bound + 1) (bits: rounded up to bytes),
// below 65536; the data block has exactly data size bytes.
//
// Program image (little-endian, texts as a length byte and characters):
//   u16 count; per variable 2..count: name, u32 word1, u32 word2, u8 module,
//   u8 type, u8 flags, [25-byte descriptor when array], [value when flag 16:
//   a text for type 1, else 8 bytes], [code text when type 11 and the name is
//   "G_Neu"];
//   u16 procedure count; per procedure: name, u8 module, u32 entry offset,
//   u16 parameter count, u8 result type, then per parameter: name, u8 type,
//   u8 by-reference, u8 array, u32 word1, u32 word2, [descriptor when array];
//   an empty name ends the parameters.
// The loader checks every count, type and descriptor and refuses a damaged
// image with error 29, never reading behind the image.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/base/shortstr.h"

namespace MarkLists {
class TMarkList;
}

namespace ZetVars {

// Type codes.
inline constexpr uint8_t kTypeString = 1;
inline constexpr uint8_t kTypeWord = 2;
inline constexpr uint8_t kTypeReal = 3;
inline constexpr uint8_t kTypeExpression = 11;
inline constexpr uint8_t kTypeInteger = 16;  // read from a declaration, stored as 3
inline constexpr uint8_t kTypeObject = 32;
inline constexpr uint8_t kTypeBits = 33;
inline constexpr uint8_t kTypeMarks = 34;
inline constexpr uint16_t kFirstHostClass = 1000;

// Flags of an entry.
inline constexpr uint8_t kFlagAlias = 1;
inline constexpr uint8_t kFlagArray = 2;
inline constexpr uint8_t kFlagOwnsName = 4;
inline constexpr uint8_t kFlagWide = 8;
inline constexpr uint8_t kFlagConstant = 16;

inline constexpr uint16_t kMaxProgramVars = 512;
inline constexpr uint16_t kFirstSystemVar = 513;
inline constexpr uint16_t kSystemVarCount = 8;
inline constexpr uint16_t kLocalBit = 0x8000;
inline constexpr uint16_t kMaxProcedures = 512;
inline constexpr size_t kMaxModuleNames = 32;
inline constexpr size_t kMaxDimensions = 10;
inline constexpr size_t kDescriptorBytes = 25;
inline constexpr uint32_t kMaxArrayData = 65535;
inline constexpr size_t kWideValueBytes = 25;

// System variable numbers (1..8; the index is 512 + number).
inline constexpr uint16_t kSysFehler = 1;
inline constexpr uint16_t kSysHeute = 2;
inline constexpr uint16_t kSysJetzt = 3;
inline constexpr uint16_t kSysZeile = 4;
inline constexpr uint16_t kSysSeite = 5;
inline constexpr uint16_t kSysZetPfad = 6;
inline constexpr uint16_t kSysToMargin = 7;
inline constexpr uint16_t kSysBrowser = 8;

// Engine errors of the unit.
inline constexpr uint16_t kErrSyntax = 25;
inline constexpr uint16_t kErrBadProgram = 29;  // "Falsche Programmversion"
inline constexpr uint16_t kErrTypeMismatch = 44;
inline constexpr uint16_t kErrIllegalChar = 45;
inline constexpr uint16_t kErrTooManyVars = 53;
inline constexpr uint16_t kErrExpected = 56;
inline constexpr uint16_t kErrDuplicate = 71;
inline constexpr uint16_t kErrVariableExpected = 89;
inline constexpr uint16_t kErrNoMemory = 99;
inline constexpr uint16_t kErrArrayTooLarge = 127;

struct TArrayDesc {
  std::array<uint16_t, kMaxDimensions> bounds{};
  uint16_t elementSize = 0;
  uint16_t dataSize = 0;
  uint8_t dimensions = 0;
};

// The accumulator names: a first byte 240..246.
bool IsHiddenName(std::string_view name);
// "STRING", "REAL", "OBJECT" (32 and host classes) or "<Unknown type>".
const char* TypeName(uint16_t type);
inline bool IsObjectType(uint16_t type) { return type == kTypeObject || type >= kFirstHostClass; }

// ---- Lookup and access --------------------------------------------------

uint16_t ResolveVarIndex(uint16_t index);
// The newest variable of that name (qualified "module.name" allowed); a hit
// above a non-zero local base comes back relative (offset or 32768); system
// variables are the fallback. 0 when none.
uint16_t FindVariable(std::string_view name);
uint16_t FindSystemVariable(std::string_view name);
uint16_t VariableCount();
bool IsKnownVariable(uint16_t index);
bool IsConstantVariable(uint16_t index);

// A view of one entry for the compilers and the listing; valid is false for
// an unknown index. Aliases have no record: their name is empty and type 0.
struct TVarInfo {
  bool valid = false;
  uint8_t flags = 0;
  std::string_view name;
  uint8_t type = 0;
  uint8_t module = 0;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  uint8_t dimensions = 0;
  std::string_view text;  // type 1: the text; type 11: the byte code
  double number = 0;      // types 2, 3, 32
};
TVarInfo GetVarInfo(uint16_t index);
// The upper bound of dimension dim (1-based) of an array variable; 0 else.
uint16_t GetArrayBound(uint16_t dim, uint16_t index);
// All of an array variable at once for the interpreter (one lookup): its
// descriptor, type and data; desc is nullptr for another variable.
struct TArrayRef {
  const TArrayDesc* desc = nullptr;
  uint8_t type = 0;
  std::vector<uint8_t>* data = nullptr;
  std::vector<std::string>* strings = nullptr;
};
TArrayRef GetArrayRef(uint16_t index);
// The descriptor and data block of an array variable (nullptr when none).
const TArrayDesc* GetArrayDesc(uint16_t index);
std::vector<uint8_t>* GetArrayData(uint16_t index);
// The elements of a string array (nullptr for another variable).
std::vector<std::string>* GetArrayStrings(uint16_t index);
// The 25 bytes of an accumulator (flag 8): value, sum and count as f64,
// then the has-value byte; nullptr for another variable. SetWideNumber sets
// the value that reading the variable gives.
uint8_t* GetWideValue(uint16_t index);
void SetWideNumber(uint16_t index, double value);
// Makes a VAR parameter instance (an alias) stand for the variable target;
// both indices may be frame-relative and are resolved now.
void BindAlias(uint16_t alias, uint16_t target);
// The mark list of a MARKS variable (type 34), made empty on first use;
// nullptr for another variable.
MarkLists::TMarkList* GetMarkVariable(uint16_t index);
// With flag non-zero: string elements emptied, other data zero-filled.
int ClearArrayVariable(int flag, uint16_t index);
uint16_t GetSystemVarInt(uint16_t n);
void SetSystemVarInt(uint16_t n, uint16_t value);

// A value handed to SetVariable: text for types 1 and 11, number otherwise.
struct TVarValue {
  double number = 0;
  std::string_view text;
};
// Stores into a program variable and sets "Fehler" to code (65535 as 0).
// Answers code (0 while the error-check switch is on), 56 with the argument
// "[" for an array, 44 with "<new>-><old>" when an object variable receives
// neither a number nor an object (the value is stored all the same).
uint16_t SetVariable(uint16_t index, uint16_t type, const TVarValue& value, uint16_t code);

// Fast paths of the interpreter for plain number variables (type 2 or 3, no
// array, no accumulator, not an alias without a record), each exactly as
// GetVarInfo and SetVariable(index, 3, value, 0) would act. ReadNumber
// answers false for any other variable; StoreNumber answers false, storing
// nothing, where SetVariable has more to do (another type, the index check).
bool ReadNumber(uint16_t index, double& value);
bool StoreNumber(uint16_t index, double value);
// Where ReadNumber reads (store false) or StoreNumber stores (store true) the
// variable's number; nullptr where they answer false. The place stays valid
// while no variable is defined, dropped or given another type, and no scope
// is pushed or popped. A store through it must set "Fehler" (its number at
// ErrorVariableSlot) to 0 as StoreNumber does.
double* NumberSlot(uint16_t index, bool store);
double* ErrorVariableSlot();
// Switches: the error-check switch of a running job (its "EC" dot command),
// and the index check that is on while a selection is probed.
void SetErrorCheckSwitch(bool on);
bool ErrorCheckSwitch();
void SetIndexCheck(bool on);

// ---- Definition ----------------------------------------------------------

// A new entry (callers check the 512 limit first). Answers its index.
uint16_t DefineVariable(std::string_view name, bool wide, uint32_t word1, uint32_t word2,
                        uint16_t type, const TArrayDesc* array, bool alias);
uint16_t DefineInitialisedVariable(std::string_view name, uint16_t type, const TVarValue& value);
// Parses one declaration of text from position (1-based, in and out);
// error 0 or the engine error. In parameter mode the names become
// parameters of procedure procIndex.
void ParseVarDeclaration(uint16_t procIndex, std::string_view text, size_t& position, uint16_t& error,
                         bool paramMode);
uint16_t DefineProcedure(std::string_view text, uint32_t entryOffset, size_t& position, uint16_t& error);

struct TParameter {
  ShortStr name;
  uint8_t type = 0;
  bool byRef = false;
  bool isArray = false;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  TArrayDesc desc;
  std::vector<uint16_t> instances;  // newest last
};
struct TProcedure {
  ShortStr name;
  uint8_t module = 0;
  uint32_t entryOffset = 0;
  uint16_t paramCount = 0;
  uint8_t resultType = 0;
  std::vector<TParameter> params;
};

void AddParameter(uint16_t procIndex, const TParameter& parameter);
// Defines a variable for each parameter of the procedure; with instantiate
// the names are shared, VAR parameters become aliases and each index is kept
// on the parameter's instance stack. 0 or 53.
uint16_t InstantiateParameters(uint16_t procIndex, bool instantiate);
void DropParameterInstances(uint16_t procIndex);
uint16_t FindProcedure(std::string_view name);
uint16_t ProcedureCount();
const TProcedure* GetProcedure(uint16_t index);
ShortStr GetProcedureName(uint16_t index);
uint8_t GetProcedureResultType(uint16_t index);
// False when the name is held (any case) or, with error 99, when 32 are held.
bool AddModuleName(std::string_view name, uint16_t& error);
size_t ModuleNameCount();

// ---- Frames, scopes and lifetime ----------------------------------------

uint16_t LocalBase();
void SetLocalBase(uint16_t base);
uint16_t SearchLimit();
void SetSearchLimit(uint16_t limit);
uint16_t CurrentModule();
void SetCurrentModule(uint16_t module);

void PushVarScope();
void PopVarScope();
void DropLocalVariables();
void FreeProcedures();
void FreeModuleNames();
size_t ScopeDepth();

// Writes the image into the RAM file; answers the RAM file's error word.
int SaveVariableImage(RamFiles::TRamFile& file);
// Rebuilds variables and procedures of the current scope from the image;
// 0, or 29 for a damaged or overlong image (the scope is then left empty).
int LoadVariableImage(RamFiles::TRamFile& file);

// ---- Errors --------------------------------------------------------------

struct TCompileErrorRecord {
  ShortStr line;       // tabs shown as blanks
  uint16_t code = 0;
  ShortStr argument;   // at most 40 characters
  uint16_t position = 0;
};
const TCompileErrorRecord& CompileError();
// The position of the last compile error for the host (ZetGetLastErrorPos).
uint16_t ErrorPosition();
// Always overwrites the record; the error position becomes min(pos, length);
// the engine's last error and "Fehler" get code.
void RecordCompileError(uint16_t code, std::string_view line, size_t position);
// Fills the record unless force is false and an error is held already; sets
// the engine's last error when code is not 0 ("Fehler" stays).
void SetCompilerError(uint16_t code, size_t position, std::string_view line, bool force);
void SetErrorVariable(uint16_t code);

void UnitInit();
void UnitDone();

}  // namespace ZetVars
