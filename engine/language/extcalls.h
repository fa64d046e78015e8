// Functions of outside libraries that Lumo programs declare (DLLPROC) and
// call like built-in functions. The lookups by name and number also answer
// for the engine's extension functions, whose fixed table is the
// interpreter's (calls.h), so the compiler finds both kinds in one place.
//
// A function list holds three things:
//   libraries   in order of first mention: {name, handle once loaded}
//   name index  {name, function number}; names compare without regard to case
//   functions   function number k at position k - 1: {entry-point name,
//               signature, required count, library index (-1 none), entry
//               point once bound}
// A signature is a result letter followed by one (mode, type) pair per
// parameter: mode "V" for by reference, else a blank; types "I" (32-bit
// integer), "R" (double) and "S" (text). The result letter is "I", "R", or
// one that takes nothing ("S", "X", "O").
//
// Stream form, stored with a compiled program (little-endian; a text is a
// u16 length and its characters):
//   u32 N, N x {text name, u16 number}
//   u32 F, F x {text name, text signature, u16 required, u32 library index
//               (0xFFFFFFFF none)}        an empty name marks an unused number
//   u32 L, L x {text library name, u32 handle word: always 0}
//
// What holds:
//   1. A declared outside function has at most 18 parameters, each of type I,
//      R or S: a declaration beyond that is refused, a loaded list that holds
//      one is refused as damaged (29), and the compiler never finds one.
//   2. Binding is lazy and retried: a call binds the function's library when
//      the function has no entry point; a library that does not load or an
//      entry point that is missing answers -2 and leaves nothing recorded in
//      the list, so the next call tries again. A library loaded once stays in
//      the library cache until all libraries are freed.
//   3. A loaded list has no handles and no entry points: what a stored list
//      says of handles means nothing in another process.
//   4. The callee gets its own copies: a text as a pointer to a private
//      256-byte, zero-terminated buffer (it may change at most 255
//      characters in place), VAR numbers as pointers to private aligned
//      values; after the call the copies go back into the value stack's
//      slots, a text cut at 255 characters. Nothing the callee writes within
//      those limits reaches beyond the slots.
//   5. Reading a stream never reads behind its end and never builds a list
//      whose numbers, names or library indexes disagree.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/base/ramfiles.h"
#include "zetcore.h"

namespace ExtCalls {

inline constexpr uint8_t kOutsideGroup = 231;
inline constexpr uint8_t kExtensionGroup = 232;
inline constexpr size_t kMaxParameters = 18;

// Answers of CallFunction.
inline constexpr int16_t kCallDone = 0;
inline constexpr int16_t kCallRaised = -1;    // the callee raised an exception (engine error 118)
inline constexpr int16_t kCallUnbound = -2;   // library or entry point not found (engine error 119)

// Engine errors of this unit.
inline constexpr uint16_t kErrBadDeclaration = 25;  // more than 18 parameters, or a type without passing
inline constexpr uint16_t kErrDamaged = 29;         // a stored list that does not hold together

class TFunction {
 public:
  TFunction() = default;
  TFunction(std::string_view name, int32_t libraryIndex, uint16_t required, std::string_view signature);

  const std::string& Name() const { return name_; }
  const std::string& Signature() const { return signature_; }
  uint16_t Required() const { return required_; }
  int32_t LibraryIndex() const { return libraryIndex_; }
  size_t ParamCount() const { return signature_.empty() ? 0 : (signature_.size() - 1) / 2; }
  void* Entry() const { return entry_; }
  void SetEntry(void* entry) { entry_ = entry; }

  void Store(RamFiles::TRamFile& file) const;
  // Fills an empty function from the stream; false when the stream ends
  // first. A function that has a name already is an internal error ("Don't
  // call Load after Create.").
  bool Load(RamFiles::TRamFile& file);

 private:
  std::string name_;
  std::string signature_;
  uint16_t required_ = 0;
  int32_t libraryIndex_ = -1;
  void* entry_ = nullptr;
};

class TFunctionList {
 public:
  explicit TFunctionList(uint8_t group) : group_(group) {}
  TFunctionList(const TFunctionList&) = delete;
  TFunctionList& operator=(const TFunctionList&) = delete;

  uint8_t Group() const { return group_; }
  // Adds a function under number (0: the next free one); false when the name
  // is in the list already, or the number is beyond 65535.
  bool Add(uint16_t number, std::string_view library, uint16_t required, std::string_view signature,
           std::string_view name);
  // The number of the function of that name, 0 when none.
  uint16_t Find(std::string_view name) const;
  // The function of a number, or null.
  TFunction* Function(uint16_t number) const;
  // The name under which number is listed; empty when none.
  std::string NameOf(uint16_t number) const;
  size_t FunctionCount() const { return functions_.size(); }
  size_t LibraryCount() const { return libraries_.size(); }
  const std::string& LibraryName(size_t i) const { return libraries_[i].name; }
  bool LibraryBound(size_t i) const { return libraries_[i].handle != nullptr; }
  void Clear();

  // Binds every function of library i (invariant 2); true when all are bound.
  bool BindLibrary(size_t i);
  // Forgets every entry point and library handle.
  void Unbind();

  // 0, or the RAM file's error word.
  int Store(RamFiles::TRamFile& file) const;
  // Replaces the list by the stream's; 0, or 29 for a damaged stream (the
  // list is then empty).
  int Load(RamFiles::TRamFile& file);

 private:
  struct Library {
    std::string name;
    void* handle = nullptr;
  };
  struct NameEntry {
    std::string name;
    uint16_t number = 0;
  };

  uint8_t group_;
  std::vector<Library> libraries_;
  std::vector<NameEntry> names_;
  std::vector<std::unique_ptr<TFunction>> functions_;
};

// The outside functions of the loaded program (231).
TFunctionList& OutsideFunctions();

// A DLLPROC declaration: every parameter required. 0; kErrBadDeclaration for
// more than 18 parameters or a parameter type other than I, R and S; -1 when
// the name is declared already (the first declaration stays).
int DeclareOutsideFunction(std::string_view library, std::string_view name, std::string_view signature);

struct TFunctionInfo {
  uint8_t group = 0;
  uint16_t number = 0;
  std::string signature;
  uint16_t required = 0;
  size_t paramCount = 0;
};
// Looks in the outside functions first, then in the extension functions.
bool FindFunction(std::string_view name, TFunctionInfo& info);
bool FunctionInfo(uint8_t group, uint16_t number, TFunctionInfo& info);
std::string FunctionName(uint8_t group, uint16_t number);

// The call the interpreter makes for token 231 once the arguments are on the
// value stack: args is the table TStack::GetUserStack built for the
// function's signature (the result, the object slot, one entry per
// parameter). Answers kCallDone (the result slot holds an I or R result, VAR
// slots what the callee left), kCallRaised or kCallUnbound. Any group but
// 231 is the internal error "Invalid Group in CallFunction".
int16_t CallFunction(uint8_t group, uint16_t number, ZetArgDescriptor* args);

// Unbinds the outside functions, closes every cached library and empties
// the cache.
void FreeAllLibraries();

// The directory in which libraries named without one are looked for first:
// the directory part of the project directory.
void SetProjectDirectory(std::string_view projectDirectory);

void UnitInit();
void UnitDone();

}  // namespace ExtCalls
