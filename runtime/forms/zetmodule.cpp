// The program module owner (see zetmodule.h).
#include "runtime/forms/zetmodule.h"

#include "engine/interface/include/zetcore.h"

namespace forms {

namespace {
// Our buffers hold size bytes with the terminating zero; the engine takes
// the characters before it.
int32_t Capacity(int32_t size) { return size - 1; }
}  // namespace

TZetModule::~TZetModule() { Free(); }

void TZetModule::Free() {
  if (Handle != 0) ZetModDelete(Handle);
  Handle = 0;
}

int32_t TZetModule::Create(const char* text) {
  Free();
  const int32_t handle = ZetModCreate(text);
  if (handle > 0) {
    Handle = uint8_t(handle);
    return 0;
  }
  return handle;
}

bool TZetModule::LoadFromFile(const char* fileName) {
  Free();
  const int32_t handle = ZetModCreateFromFile(fileName);
  if (handle >= 1 && handle <= 127) Handle = uint8_t(handle);
  return Handle != 0;
}

bool TZetModule::WriteToFile(const char* fileName) const { return ZetModWriteToFile(Handle, fileName) == 0; }

int32_t TZetModule::GetText(char* buffer, int32_t size) const { return ZetModGetText(Handle, buffer, Capacity(size)); }

int32_t TZetModule::GetUsedModuleNames(char* buffer, int32_t size) const {
  return ZetModGetUsedModuleNames(Handle, buffer, Capacity(size));
}

// The engine answers 0 for a new procedure and a negative code otherwise.
bool TZetModule::AddProcedure(const char* text) { return ZetModAddProcedure(Handle, text) == 0; }

bool TZetModule::DeleteProcedure(const char* name) { return ZetModDeleteProcedure(Handle, name) == 0; }

int32_t TZetModule::RenameProcedure(const char* oldName, const char* newName) {
  return ZetModRenameProcedure(Handle, oldName, newName);
}

int32_t TZetModule::CreateUniqueProcName(char* name, int32_t size) const {
  return ZetModCreateUniqueProcName(Handle, name, Capacity(size));
}

int32_t TZetModule::FindFittingProcedures(int32_t parameters, char* buffer, int32_t size) const {
  return ZetModFindFittingProcedures(Handle, parameters, buffer, Capacity(size));
}

bool TZetModule::GetProcBody(const char* name, char* buffer, int32_t size) const {
  return ZetModGetProcBody(Handle, name, buffer, Capacity(size)) >= 0;
}

bool TZetModule::GetProcComment(const char* name, char* buffer, int32_t size) const {
  return ZetModGetProcComment(Handle, name, buffer, Capacity(size)) >= 0;
}

bool TZetModule::SetProcBody(const char* name, const char* text) { return ZetModSetProcBody(Handle, name, text) >= 0; }

bool TZetModule::SetProcComment(const char* name, const char* text) {
  return ZetModSetProcComment(Handle, name, text) >= 0;
}

}  // namespace forms
