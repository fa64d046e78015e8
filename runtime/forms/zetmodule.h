// The owner of one program module of the engine: a text of procedures that
// the engine parses and keeps as an editable module object, reached by its
// handle.
//
// What always holds:
//   1. Handle is 0 (no module) or a handle the engine gave (1 .. 127), and
//      then the object owns that module: the destructor, Create and
//      LoadFromFile free it with ZetModDelete before anything else. An empty
//      object makes no engine call when it is deleted.
//   2. A failed Create or LoadFromFile leaves the object empty; the module
//      it held before is already freed at that point.
//   3. The editing calls hand the handle to the engine as it is; with no
//      module the engine answers its bad-handle code, which the boolean
//      answers turn into false or true by their rules.
//   4. Out buffers are sized in bytes with their terminating zero: the
//      engine never writes more than size bytes into one.
#pragma once

#include <cstdint>

namespace forms {

class TZetModule {
 public:
  TZetModule() = default;
  ~TZetModule();
  TZetModule(const TZetModule&) = delete;
  TZetModule& operator=(const TZetModule&) = delete;

  uint8_t GetHandle() const { return Handle; }
  // 0, or the engine's negative code (-41 a text that does not parse, -2 a
  // full module table).
  int32_t Create(const char* text);
  bool LoadFromFile(const char* fileName);
  bool WriteToFile(const char* fileName) const;
  int32_t GetText(char* buffer, int32_t size) const;
  int32_t GetUsedModuleNames(char* buffer, int32_t size) const;
  // True when the engine added the procedure.
  bool AddProcedure(const char* text);
  bool DeleteProcedure(const char* name);
  int32_t RenameProcedure(const char* oldName, const char* newName);
  int32_t CreateUniqueProcName(char* name, int32_t size) const;
  int32_t FindFittingProcedures(int32_t parameters, char* buffer, int32_t size) const;
  bool GetProcBody(const char* name, char* buffer, int32_t size) const;
  bool GetProcComment(const char* name, char* buffer, int32_t size) const;
  bool SetProcBody(const char* name, const char* text);
  bool SetProcComment(const char* name, const char* text);

 private:
  void Free();
  uint8_t Handle = 0;
};

}  // namespace forms
