#include "engine/language/extcalls.h"

#include <dlfcn.h>
#include <ffi.h>

#include <algorithm>
#include <array>
#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/engassert.h"
#include "engine/base/uppercas.h"
#include "engine/language/calls.h"
#include "engine/language/compiler.h"
#include "platform/files.h"

namespace ExtCalls {
namespace {

constexpr uint32_t kNoLibrary = 0xFFFFFFFF;
constexpr size_t kTextArea = 256;  // a text slot: 255 characters and a zero

struct CachedLibrary {
  std::string name;
  void* handle = nullptr;
};

std::unique_ptr<TFunctionList> g_outside;
std::vector<CachedLibrary> g_cache;
std::string g_projectDirectory;

bool SameName(std::string_view a, std::string_view b) { return UPPERCAS::CollateCompare(a, b) == 0; }

bool HasDirectory(std::string_view name) { return name.find_first_of("/\\") != std::string_view::npos; }

void* OpenLibrary(const std::string& path) {
  return dlopen(platform::ResolvePath(path).c_str(), RTLD_NOW | RTLD_LOCAL);
}

// The library of that name from the cache, loaded into it when absent: a
// name with a directory from there only, a bare name from the project
// directory first, then by the system's search.
void* CachedOpen(const std::string& name) {
  for (const CachedLibrary& c : g_cache) {
    if (SameName(c.name, name)) return c.handle;
  }
  void* handle = nullptr;
  if (HasDirectory(name)) {
    handle = OpenLibrary(name);
  } else {
    if (!g_projectDirectory.empty() && platform::FileExists(g_projectDirectory + name)) {
      handle = OpenLibrary(g_projectDirectory + name);
    }
    if (handle == nullptr) handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle != nullptr) g_cache.push_back({name, handle});
  return handle;
}

// ---- Stream helpers -----------------------------------------------------------

void PutU16(RamFiles::TRamFile& f, uint16_t v) {
  uint8_t b[2];
  bytes::PutU16(b, v);
  RamFiles::RamWrite(f, b, 2);
}
void PutU32(RamFiles::TRamFile& f, uint32_t v) {
  uint8_t b[4];
  bytes::PutU32(b, v);
  RamFiles::RamWrite(f, b, 4);
}
void PutText(RamFiles::TRamFile& f, std::string_view text) {
  const uint16_t n = uint16_t(std::min<size_t>(text.size(), 65535));
  PutU16(f, n);
  RamFiles::RamWrite(f, text.data(), n);
}
bool GetU16(RamFiles::TRamFile& f, uint16_t& v) {
  uint8_t b[2];
  if (RamFiles::RamRead(f, b, 2) != 0) return false;
  v = bytes::GetU16(b);
  return true;
}
bool GetU32(RamFiles::TRamFile& f, uint32_t& v) {
  uint8_t b[4];
  if (RamFiles::RamRead(f, b, 4) != 0) return false;
  v = bytes::GetU32(b);
  return true;
}
bool GetText(RamFiles::TRamFile& f, std::string& text) {
  uint16_t n = 0;
  if (!GetU16(f, n)) return false;
  text.assign(n, '\0');
  return n == 0 || RamFiles::RamRead(f, text.data(), n) == 0;
}
// A count that cannot exceed what is left of the stream, each element
// taking at least minimum bytes.
bool GetCount(RamFiles::TRamFile& f, size_t minimum, uint32_t& count) {
  if (!GetU32(f, count)) return false;
  const uint32_t left = f.size > f.position ? f.size - f.position : 0;
  return uint64_t(count) * minimum <= left;
}

// A signature of an outside function: a result letter and at most 18
// (mode, type) pairs of types I, R, S.
bool ValidOutsideSignature(std::string_view signature) {
  if (signature.empty() || signature.size() % 2 == 0) return false;
  if ((signature.size() - 1) / 2 > kMaxParameters) return false;
  for (size_t i = 1; i < signature.size(); i += 2) {
    if (signature[i] != 'V' && signature[i] != ' ') return false;
    if (signature[i + 1] != 'I' && signature[i + 1] != 'R' && signature[i + 1] != 'S') return false;
  }
  return true;
}

// ---- The call -------------------------------------------------------------------

// What the callee gets of one parameter (invariant 4).
struct ArgumentCopy {
  char text[kTextArea];
  double real;
  int32_t integer;
  void* pointer;
};

int16_t Invoke(const TFunction& f, ZetArgDescriptor* args) {
  const std::string& sig = f.Signature();
  if (!ValidOutsideSignature(sig) || args == nullptr) return kCallUnbound;
  const size_t n = f.ParamCount();
  std::array<ArgumentCopy, kMaxParameters> copies{};
  std::array<ffi_type*, kMaxParameters> types{};
  std::array<void*, kMaxParameters> values{};
  for (size_t i = 0; i < n; ++i) {
    const bool byReference = sig[1 + 2 * i] == 'V';
    const char type = sig[2 + 2 * i];
    const ZetArgDescriptor& d = args[i + 2];
    ArgumentCopy& c = copies[i];
    if (d.value == nullptr) return kCallUnbound;
    switch (type) {
      case 'S':
        std::memcpy(c.text, d.value, kTextArea - 1);
        c.text[kTextArea - 1] = '\0';
        c.pointer = c.text;
        types[i] = &ffi_type_pointer;
        values[i] = &c.pointer;
        break;
      case 'R':
        std::memcpy(&c.real, d.value, sizeof c.real);
        c.pointer = &c.real;
        types[i] = byReference ? &ffi_type_pointer : &ffi_type_double;
        values[i] = byReference ? static_cast<void*>(&c.pointer) : &c.real;
        break;
      default:  // 'I'
        std::memcpy(&c.integer, d.value, sizeof c.integer);
        c.pointer = &c.integer;
        types[i] = byReference ? &ffi_type_pointer : &ffi_type_sint32;
        values[i] = byReference ? static_cast<void*>(&c.pointer) : &c.integer;
        break;
    }
  }
  ffi_type* resultType = sig[0] == 'R' ? &ffi_type_double : sig[0] == 'I' ? &ffi_type_sint32 : &ffi_type_void;
  ffi_cif cif;
  if (ffi_prep_cif(&cif, FFI_DEFAULT_ABI, unsigned(n), resultType, types.data()) != FFI_OK) return kCallUnbound;
  union {
    double real;
    ffi_arg word;
  } result{};
  try {
    ffi_call(&cif, FFI_FN(f.Entry()), &result, values.data());
  } catch (...) {
    return kCallRaised;
  }
  for (size_t i = 0; i < n; ++i) {
    const char type = sig[2 + 2 * i];
    const ArgumentCopy& c = copies[i];
    uint8_t* slot = args[i + 2].value;
    if (type == 'S') {
      const size_t len = strnlen(c.text, kTextArea - 1);
      std::memcpy(slot, c.text, len);
      slot[len] = 0;
    } else if (sig[1 + 2 * i] == 'V') {
      if (type == 'R') std::memcpy(slot, &c.real, sizeof c.real);
      else std::memcpy(slot, &c.integer, sizeof c.integer);
    }
  }
  if (args[0].value != nullptr && sig[0] == 'R') std::memcpy(args[0].value, &result.real, sizeof result.real);
  if (args[0].value != nullptr && sig[0] == 'I') {
    const int32_t value = int32_t(result.word);
    std::memcpy(args[0].value, &value, sizeof value);
  }
  return kCallDone;
}

// ---- Compiler hooks --------------------------------------------------------------

bool FindHook(std::string_view name, uint8_t& kind, uint16_t& index) {
  TFunctionInfo info;
  if (!FindFunction(name, info)) return false;
  if (info.group == kOutsideGroup && info.paramCount > kMaxParameters) return false;
  kind = info.group;
  index = info.number;
  return true;
}

// The interpreter's view of the outside functions: their description and
// their call, by number in the outside group.
bool DescribeForInterpreter(uint16_t number, ShortStr& name, ShortStr& signature, uint16_t& required) {
  TFunctionInfo info;
  name = ShortStr(FunctionName(kOutsideGroup, number));
  if (!FunctionInfo(kOutsideGroup, number, info)) return false;
  signature = ShortStr(info.signature);
  required = info.required;
  return true;
}

int CallForInterpreter(uint16_t number, ZetArgDescriptor* args, size_t) {
  return CallFunction(kOutsideGroup, number, args);
}

}  // namespace

// ---- TFunction ---------------------------------------------------------------------

TFunction::TFunction(std::string_view name, int32_t libraryIndex, uint16_t required, std::string_view signature)
    : name_(name), signature_(signature), required_(required), libraryIndex_(libraryIndex) {}

void TFunction::Store(RamFiles::TRamFile& file) const {
  PutText(file, name_);
  PutText(file, signature_);
  PutU16(file, required_);
  PutU32(file, libraryIndex_ < 0 ? kNoLibrary : uint32_t(libraryIndex_));
}

bool TFunction::Load(RamFiles::TRamFile& file) {
  ZET_ASSERT(name_.empty(), "Don't call Load after Create.");
  uint32_t library = 0;
  if (!GetText(file, name_) || !GetText(file, signature_) || !GetU16(file, required_) || !GetU32(file, library)) {
    return false;
  }
  libraryIndex_ = library == kNoLibrary ? -1 : int32_t(std::min<uint32_t>(library, INT32_MAX));
  entry_ = nullptr;
  return true;
}

// ---- TFunctionList -------------------------------------------------------------------

bool TFunctionList::Add(uint16_t number, std::string_view library, uint16_t required, std::string_view signature,
                        std::string_view name) {
  if (Find(name) != 0) return false;
  if (number == 0) {
    if (functions_.size() >= 65535) return false;
    number = uint16_t(functions_.size() + 1);
  }
  names_.push_back({std::string(name), number});
  int32_t libraryIndex = -1;
  if (!library.empty()) {
    auto it = std::find_if(libraries_.begin(), libraries_.end(),
                           [&](const Library& l) { return SameName(l.name, library); });
    if (it == libraries_.end()) it = libraries_.insert(libraries_.end(), Library{std::string(library), nullptr});
    libraryIndex = int32_t(it - libraries_.begin());
  }
  if (functions_.size() < number) functions_.resize(number);
  functions_[number - 1U] = std::make_unique<TFunction>(name, libraryIndex, required, signature);
  return true;
}

uint16_t TFunctionList::Find(std::string_view name) const {
  for (const NameEntry& e : names_) {
    if (SameName(e.name, name)) return e.number;
  }
  return 0;
}

TFunction* TFunctionList::Function(uint16_t number) const {
  if (number == 0 || number > functions_.size()) return nullptr;
  return functions_[number - 1U].get();
}

std::string TFunctionList::NameOf(uint16_t number) const {
  for (const NameEntry& e : names_) {
    if (e.number == number) return e.name;
  }
  return {};
}

void TFunctionList::Clear() {
  names_.clear();
  functions_.clear();
  libraries_.clear();
}

bool TFunctionList::BindLibrary(size_t i) {
  if (i >= libraries_.size()) return false;
  Library& library = libraries_[i];
  void* handle = library.handle != nullptr ? library.handle : CachedOpen(library.name);
  if (handle == nullptr) return false;
  for (const auto& f : functions_) {
    if (f == nullptr || f->LibraryIndex() != int32_t(i)) continue;
    void* entry = dlsym(handle, f->Name().c_str());
    if (entry == nullptr) return false;
    f->SetEntry(entry);
  }
  library.handle = handle;
  return true;
}

void TFunctionList::Unbind() {
  for (const auto& f : functions_) {
    if (f != nullptr) f->SetEntry(nullptr);
  }
  for (Library& l : libraries_) l.handle = nullptr;
}

int TFunctionList::Store(RamFiles::TRamFile& file) const {
  PutU32(file, uint32_t(names_.size()));
  for (const NameEntry& e : names_) {
    PutText(file, e.name);
    PutU16(file, e.number);
  }
  PutU32(file, uint32_t(functions_.size()));
  const TFunction unused;
  for (const auto& f : functions_) (f != nullptr ? *f : unused).Store(file);
  PutU32(file, uint32_t(libraries_.size()));
  for (const Library& l : libraries_) {
    PutText(file, l.name);
    PutU32(file, 0);
  }
  return RamFiles::Error();
}

int TFunctionList::Load(RamFiles::TRamFile& file) {
  Clear();
  const auto fail = [this] {
    Clear();
    return int(kErrDamaged);
  };
  uint32_t count = 0;
  if (!GetCount(file, 4, count)) return fail();
  for (uint32_t i = 0; i < count; ++i) {
    NameEntry e;
    if (!GetText(file, e.name) || !GetU16(file, e.number) || e.name.empty() || e.number == 0) return fail();
    if (Find(e.name) != 0) return fail();
    names_.push_back(std::move(e));
  }
  if (!GetCount(file, 10, count) || count > 65535) return fail();
  functions_.resize(count);
  for (auto& f : functions_) {
    auto loaded = std::make_unique<TFunction>();
    if (!loaded->Load(file)) return fail();
    if (!loaded->Name().empty()) f = std::move(loaded);
  }
  if (!GetCount(file, 6, count)) return fail();
  for (uint32_t i = 0; i < count; ++i) {
    Library l;
    uint32_t handleWord = 0;
    if (!GetText(file, l.name) || !GetU32(file, handleWord) || l.name.empty()) return fail();
    libraries_.push_back(std::move(l));  // a stored handle means nothing here
  }
  // Every listed name has its function, every function its library and a
  // signature the call can pass.
  for (const NameEntry& e : names_) {
    if (Function(e.number) == nullptr) return fail();
  }
  for (const auto& f : functions_) {
    if (f == nullptr) continue;
    if (f->LibraryIndex() >= int32_t(libraries_.size())) return fail();
    if (group_ == kOutsideGroup && !ValidOutsideSignature(f->Signature())) return fail();
  }
  return 0;
}

// ---- Unit routines -----------------------------------------------------------------------

TFunctionList& OutsideFunctions() { return *g_outside; }

int DeclareOutsideFunction(std::string_view library, std::string_view name, std::string_view signature) {
  if (!ValidOutsideSignature(signature)) return kErrBadDeclaration;
  const uint16_t params = uint16_t((signature.size() - 1) / 2);
  return g_outside->Add(0, library, params, signature, name) ? 0 : -1;
}

// Extension functions are the interpreter's fixed table (calls.h); only
// outside functions live in a list of this unit.
bool FunctionInfo(uint8_t group, uint16_t number, TFunctionInfo& info) {
  info.group = group;
  info.number = number;
  if (group == kExtensionGroup) {
    const Zet02::TExtension* e = Zet02::Extension(number);
    if (e == nullptr) return false;
    info.signature = e->signature;
    info.required = e->required;
    info.paramCount = info.signature.empty() ? 0 : (info.signature.size() - 1) / 2;
    return true;
  }
  const TFunction* f = group == kOutsideGroup ? g_outside->Function(number) : nullptr;
  if (f == nullptr) return false;
  info.signature = f->Signature().substr(0, 255);
  info.required = f->Required();
  info.paramCount = f->ParamCount();
  return true;
}

bool FindFunction(std::string_view name, TFunctionInfo& info) {
  const uint16_t number = g_outside->Find(name);
  if (number != 0) return FunctionInfo(kOutsideGroup, number, info);
  uint16_t extension = 0;
  return Zet02::FindExtension(name, extension) && FunctionInfo(kExtensionGroup, extension, info);
}

std::string FunctionName(uint8_t group, uint16_t number) {
  if (group == kOutsideGroup) return g_outside->NameOf(number);
  if (group == kExtensionGroup) {
    const Zet02::TExtension* e = Zet02::Extension(number);
    return e == nullptr ? std::string() : std::string(e->name);
  }
  return {};
}

int16_t CallFunction(uint8_t group, uint16_t number, ZetArgDescriptor* args) {
  ZET_ASSERT(group == kOutsideGroup, "Invalid Group in CallFunction");
  TFunction* f = g_outside->Function(number);
  if (f == nullptr) return kCallUnbound;
  if (f->Entry() == nullptr && f->LibraryIndex() >= 0) g_outside->BindLibrary(size_t(f->LibraryIndex()));
  if (f->Entry() == nullptr) return kCallUnbound;
  return Invoke(*f, args);
}

void FreeAllLibraries() {
  if (g_outside != nullptr) g_outside->Unbind();
  for (const CachedLibrary& c : g_cache) dlclose(c.handle);
  g_cache.clear();
}

void SetProjectDirectory(std::string_view projectDirectory) {
  const size_t cut = projectDirectory.find_last_of("/\\");
  g_projectDirectory = cut == std::string_view::npos ? std::string() : std::string(projectDirectory.substr(0, cut + 1));
}

void UnitInit() {
  g_outside = std::make_unique<TFunctionList>(kOutsideGroup);
  g_projectDirectory.clear();
  // The compiler finds outside functions here; extension functions are the
  // interpreter's own.
  Zet02::TCompilerHooks hooks{};
  hooks.findFunction = FindHook;
  Zet02::SetCompilerHooks(hooks);
  Zet02::SetOutsideFunctions({DescribeForInterpreter, CallForInterpreter});
}

void UnitDone() {
  Zet02::SetOutsideFunctions({nullptr, nullptr});
  FreeAllLibraries();
  g_outside.reset();
}

}  // namespace ExtCalls
