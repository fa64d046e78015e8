#include "engine/language/zetmodules.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/language/programerror.h"
#include "platform/files.h"
#include "zetcore.h"

namespace ZetModules {
namespace {

using lumopars::TLumoModule;
using lumopars::TLumoProcedure;

// Answers of the exports.
constexpr int32_t kNoUniqueName = -1;
constexpr int32_t kTableFull = -2;
constexpr int32_t kProcedureExists = -3;
constexpr int32_t kFileFailed = -14;
constexpr int32_t kUnknownProcedure = -40;
constexpr int32_t kBadModule = -41;
constexpr int32_t kNameUsed = -42;
constexpr int32_t kInvalidName = -43;
constexpr int32_t kOutOfMemory = -99;

// Longest name an export reads.
constexpr size_t kMaxNameArgument = 255;
// Most suffixes tried for a unique name.
constexpr int kMaxSuffix = 99;

std::array<std::unique_ptr<TLumoModule>, kSlots> g_modules;

std::string_view Text(const char* s) { return s == nullptr ? std::string_view() : std::string_view(s); }
std::string_view NameArg(const char* s) { return Text(s).substr(0, kMaxNameArgument); }

void CopyOut(std::string_view text, char* buffer, int32_t capacity) {
  if (buffer == nullptr || capacity < 0) return;
  const size_t n = std::min(text.size(), size_t(capacity));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = '\0';
}

// Whole names, separated by ","; answers the number of names.
int32_t CopyNames(const std::vector<std::string>& names, char* buffer, int32_t capacity) {
  std::string list;
  for (const std::string& name : names) {
    const size_t grown = list.size() + (list.empty() ? 0 : 1) + name.size();
    if (capacity < 0 || grown > size_t(capacity)) break;
    if (!list.empty()) list += ',';
    list += name;
  }
  CopyOut(list, buffer, capacity);
  return int32_t(names.size());
}

// Runs an export's body; exceptions inside the engine become codes.
template <class Body>
int32_t Guarded(int32_t failure, Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    Common::OutOfMemoryError();
    return kOutOfMemory;
  } catch (...) {
    return failure;
  }
}

// Parses text into the first free slot; the handle or the export's error.
int32_t Store(std::string_view text) {
  auto slot = std::find(g_modules.begin(), g_modules.begin() + kMaxHandle, nullptr);
  lumopars::TLumoParser parser;
  std::unique_ptr<TLumoModule> module;
  try {
    module = parser.Parse(text);
  } catch (const lumopars::EParser& e) {
    ProgramError::Set(e.error, uint16_t(e.line + 1), uint16_t(e.column + 1), -1);
    Common::SetError(e.error, e.what());
    return kBadModule;
  }
  if (slot == g_modules.begin() + kMaxHandle) return kTableFull;
  *slot = std::move(module);
  return int32_t(slot - g_modules.begin()) + 1;
}

bool ReadWholeFile(std::string_view name, std::string& text) {
  platform::FileHandle h = platform::kNoFile;
  if (platform::OpenFile(name, platform::kAccessRead | platform::kShareDenyNone, h) != 0) return false;
  uint64_t size = 0;
  size_t got = 0;
  bool ok = platform::FileSize(h, size) == 0;
  if (ok) {
    text.resize(size_t(size));
    ok = platform::ReadAt(h, 0, text.data(), text.size(), got) == 0 && got == text.size();
  }
  platform::CloseFile(h);
  return ok;
}

std::string ModuleText(const TLumoModule& module) { return lumopars::TLumoParser().WriteModule(module); }

}  // namespace

TLumoModule* Module(int32_t handle) {
  if (handle < 1 || handle > kMaxHandle) return nullptr;
  return g_modules[size_t(handle) - 1].get();
}

void UnitInit() {
  for (auto& m : g_modules) m.reset();
}

void UnitDone() { UnitInit(); }

}  // namespace ZetModules

using namespace ZetModules;

extern "C" {

int32_t ZetModCreate(const char* text) {
  return Guarded(kBadModule, [&] {
    ProgramError::Clear();
    return Store(Text(text));
  });
}

int32_t ZetModCreateFromFile(const char* fileName) {
  return Guarded(kBadModule, [&] {
    ProgramError::Clear();
    ProgramError::SetSource(Text(fileName));
    std::string text;
    if (!ReadWholeFile(Text(fileName), text)) return kFileFailed;
    return Store(text);
  });
}

int32_t ZetModDelete(int32_t handle) {
  if (Module(handle) == nullptr) return kBadModule;
  g_modules[size_t(handle) - 1].reset();
  return 0;
}

int32_t ZetModAddProcedure(int32_t handle, const char* name) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kBadModule, [&] {
    const std::string_view n = NameArg(name);
    if (module->FindProcedure(n) != nullptr) return kProcedureExists;
    // A name the parser would not read back would spoil the module's text.
    if (!Common::IsValidName(n)) return kInvalidName;
    if (module->Count() > 0) module->Item(module->Count() - 1).lineEnds = 3;
    auto proc = std::make_unique<TLumoProcedure>();
    proc->keyword = "PROCEDURE";
    proc->name = std::string(n);
    proc->body.endKeyword = "ENDPROC";
    module->Add(std::move(proc));
    return 0;
  });
}

int32_t ZetModCreateUniqueProcName(int32_t handle, char* name, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  if (name == nullptr || capacity < 0) return kNoUniqueName;
  return Guarded(kNoUniqueName, [&] {
    const std::string base(name, strnlen(name, std::min<size_t>(size_t(capacity), kMaxNameArgument)));
    for (int suffix = 0; suffix <= kMaxSuffix; ++suffix) {
      const std::string candidate = suffix == 0 ? base : base + "_" + std::to_string(suffix);
      if (module->FindProcedure(candidate) != nullptr) continue;
      if (candidate.size() > size_t(capacity)) return kNoUniqueName;
      CopyOut(candidate, name, capacity);
      return 0;
    }
    return kNoUniqueName;
  });
}

int32_t ZetModFindFittingProcedures(int32_t handle, int32_t, char* names, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kBadModule, [&] {
    std::vector<std::string> found;
    for (size_t i = 0; i < module->Count(); ++i) {
      const auto& item = module->Item(i);
      if (item.kind != lumopars::kProcedureItem) continue;
      const auto& proc = static_cast<const TLumoProcedure&>(item);
      if (proc.parameters.empty()) found.push_back(proc.name);
    }
    return CopyNames(found, names, capacity);
  });
}

int32_t ZetModGetProcBody(int32_t handle, const char* name, char* body, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  const TLumoProcedure* proc = module->FindProcedure(NameArg(name));
  if (proc == nullptr) return kUnknownProcedure;
  CopyOut(proc->body.text, body, capacity);
  return 0;
}

int32_t ZetModSetProcBody(int32_t handle, const char* name, const char* body) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  TLumoProcedure* proc = module->FindProcedure(NameArg(name));
  if (proc == nullptr) return kUnknownProcedure;
  return Guarded(kBadModule, [&] {
    std::string text(Text(body));
    if (text.size() < 2 || text.back() != '\n') text += "\r\n";
    proc->body.text = std::move(text);
    return 0;
  });
}

int32_t ZetModGetProcComment(int32_t handle, const char* name, char* comment, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kBadModule, [&] {
    CopyOut(module->GetProcComment(NameArg(name)), comment, capacity);
    return 0;
  });
}

int32_t ZetModSetProcComment(int32_t handle, const char* name, const char* comment) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kBadModule, [&] {
    module->SetProcComment(NameArg(name), Text(comment));
    return 0;
  });
}

int32_t ZetModDeleteProcedure(int32_t handle, const char* name) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  module->DeleteProcedure(NameArg(name));
  return 0;
}

int32_t ZetModRenameProcedure(int32_t handle, const char* oldName, const char* newName) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  TLumoProcedure* proc = module->FindProcedure(NameArg(oldName));
  if (proc == nullptr) return kUnknownProcedure;
  const std::string_view n = NameArg(newName);
  if (!Common::IsValidName(n)) return kInvalidName;
  const TLumoProcedure* holder = module->FindProcedure(n);
  if (holder != nullptr && holder != proc) return kNameUsed;
  return Guarded(kBadModule, [&] {
    proc->name = std::string(n);
    return 0;
  });
}

int32_t ZetModGetUsedModuleNames(int32_t handle, char* names, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kBadModule, [&] {
    std::vector<std::string> used;
    for (size_t i = 0; i < module->Count(); ++i) {
      const auto& item = module->Item(i);
      if (item.kind != lumopars::kUsesItem) continue;
      const auto& uses = static_cast<const lumopars::TLumoUsesCommand&>(item);
      if (!uses.include) used.insert(used.end(), uses.names.begin(), uses.names.end());
    }
    return CopyNames(used, names, capacity);
  });
}

int32_t ZetModGetText(int32_t handle, char* text, int32_t capacity) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kFileFailed, [&] {
    const std::string written = ModuleText(*module);
    CopyOut(written, text, capacity);
    return int32_t(std::min<size_t>(written.size(), INT32_MAX));
  });
}

int32_t ZetModWriteToFile(int32_t handle, const char* fileName) {
  TLumoModule* module = Module(handle);
  if (module == nullptr) return kBadModule;
  return Guarded(kFileFailed, [&] {
    const std::string written = ModuleText(*module);
    platform::FileHandle h = platform::kNoFile;
    if (platform::CreateFile(Text(fileName), platform::kAccessReadWrite | platform::kShareDenyWrite, h) != 0) {
      return kFileFailed;
    }
    const int error = platform::WriteAt(h, 0, written.data(), written.size());
    const int closed = platform::CloseFile(h);
    return error == 0 && closed == 0 ? 0 : kFileFailed;
  });
}

int32_t ZetGetCompilerError(uint16_t* line, uint16_t* column, char* source, int32_t capacity) {
  const ProgramError::TProgramError& record = ProgramError::Record();
  if (record.error == 0) return 0;
  if (line != nullptr) *line = record.line;
  if (column != nullptr) *column = record.column;
  CopyOut(record.source, source, capacity);
  return record.error;
}

}  // extern "C"
