#include "engine/language/variables.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/marklist.h"
#include "engine/storage/zettable.h"

namespace ZetVars {
namespace {

struct TVarRecord {
  ShortStr name;
  uint32_t word1 = 0;
  uint32_t word2 = 0;
  uint8_t module = 0;
  uint8_t type = 0;
  double number = 0;             // types 2, 3, 32 (type 2 as its word)
  std::string text;              // types 1 and 11
  std::unique_ptr<MarkLists::TMarkList> marks;  // type 34
  std::array<uint8_t, kWideValueBytes> wide{};  // accumulators
  TArrayDesc desc;
  std::vector<uint8_t> data;          // array data block
  std::vector<std::string> strings;   // elements of a string array
};

struct TEntry {
  std::unique_ptr<TVarRecord> record;
  uint8_t flags = 0;
  uint16_t target = 0;  // an alias: the absolute index it stands for
};

struct TScope {
  std::vector<TEntry> entries;  // entries 2..count
  std::vector<TProcedure> procedures;
  std::vector<ShortStr> modules;
  uint16_t localBase = 0;
  uint16_t searchLimit = 0;
};

// g_entries[i] for program variable i (index 0 unused); g_system[n] for
// system variable n.
std::vector<TEntry> g_entries;
std::array<TEntry, kSystemVarCount + 1> g_system;
std::vector<TProcedure> g_procedures;  // procedure i at [i - 1]
std::vector<ShortStr> g_modules;
std::vector<TScope> g_scopes;
uint16_t g_localBase = 0;
uint16_t g_searchLimit = 0;
uint16_t g_currentModule = 1;
bool g_errorCheck = false;
bool g_indexCheck = false;
bool g_duplicateCheck = false;
TCompileErrorRecord g_compileError;
uint16_t g_errorPosition = 0;

uint16_t Count() { return g_entries.empty() ? 0 : uint16_t(g_entries.size() - 1); }

TEntry* EntryOf(uint16_t index) {
  uint16_t i = ResolveVarIndex(index);
  // The common case first: a program variable that is no alias.
  if (i >= 1 && i < g_entries.size() && !(g_entries[i].flags & kFlagAlias)) return &g_entries[i];
  // A bound alias stands for its target; chains of aliases (a VAR parameter
  // handed on) are followed a bounded number of steps.
  for (int step = 0; step < kMaxProgramVars && i >= 1 && i <= Count(); ++step) {
    TEntry& e = g_entries[i];
    if (!(e.flags & kFlagAlias) || e.target == 0 || e.target == i) return &e;
    i = e.target;
  }
  if (i >= 1 && i <= Count()) return &g_entries[i];
  if (i >= kFirstSystemVar && i < kFirstSystemVar + kSystemVarCount) return &g_system[i - kFirstSystemVar + 1];
  return nullptr;
}

bool SameName(std::string_view a, std::string_view b) {
  return UPPERCAS::CollateCompare(a, b) == 0 && a.size() == b.size();
}

// Reads a type keyword; 0 when unknown. INTEGER gives 3.
uint8_t TypeKeyword(std::string_view word) {
  ShortStr w(word);
  UPPERCAS::UpperStr(w);
  if (w == "STRING") return kTypeString;
  if (w == "REAL" || w == "NUMBER" || w == "INTEGER") return kTypeReal;
  if (w == "OBJECT") return kTypeObject;
  if (w == "TBITS") return kTypeBits;
  if (w == "MARKS") return kTypeMarks;
  return 0;
}

uint16_t ElementSize(uint8_t type) {
  if (type == kTypeString) return 4;
  if (type == kTypeBits) return 1;
  return 8;
}

// Element count and data size of a descriptor's bounds; false beyond 64 KB.
bool ArraySizes(const TArrayDesc& d, uint8_t type, uint32_t& count, uint32_t& size) {
  count = 1;
  for (size_t k = 0; k < d.dimensions; ++k) {
    count *= uint32_t(d.bounds[k]) + 1;
    if (count > 8u * 65536u) return false;
  }
  size = type == kTypeBits ? (count + 7) / 8 : count * ElementSize(type);
  return size <= kMaxArrayData;
}

void SetWord(TVarRecord& r, uint16_t w) { r.number = w; }

// Records of dropped local variables, kept for the next procedure call so
// that a call does not allocate its parameters anew. A record taken from here
// is reset to the state of a new one.
std::vector<std::unique_ptr<TVarRecord>> g_spareRecords;
constexpr size_t kMaxSpareRecords = 64;

std::unique_ptr<TVarRecord> NewRecord() {
  if (g_spareRecords.empty()) return std::make_unique<TVarRecord>();
  std::unique_ptr<TVarRecord> r = std::move(g_spareRecords.back());
  g_spareRecords.pop_back();
  r->name.clear();
  r->word1 = r->word2 = 0;
  r->module = r->type = 0;
  r->number = 0;
  r->text.clear();
  r->marks.reset();
  r->wide.fill(0);
  r->desc = TArrayDesc();
  r->data.clear();
  r->strings.clear();
  return r;
}

std::unique_ptr<TVarRecord> MakeRecord(std::string_view name, uint32_t word1, uint32_t word2,
                                       uint8_t type, const TArrayDesc* array) {
  auto r = NewRecord();
  r->name = name;
  r->word1 = word1;
  r->word2 = word2;
  r->type = type;
  r->module = uint8_t(g_currentModule);
  if (array) {
    r->desc = *array;
    r->data.assign(array->dataSize, 0);
    if (type == kTypeString) r->strings.assign(array->dataSize / 4, std::string());
  }
  return r;
}

void FreeProcedureList(std::vector<TProcedure>& list) { std::vector<TProcedure>().swap(list); }

// ---- image helpers -------------------------------------------------------

struct Writer {
  RamFiles::TRamFile& f;
  int error = 0;
  void raw(const void* p, size_t n) {
    if (error == 0) error = RamFiles::RamWrite(f, p, uint32_t(n));
  }
  void u8(uint8_t v) { raw(&v, 1); }
  void u16(uint16_t v) {
    uint8_t b[2];
    bytes::PutU16(b, v);
    raw(b, 2);
  }
  void u32(uint32_t v) {
    uint8_t b[4];
    bytes::PutU32(b, v);
    raw(b, 4);
  }
  void f64(double v) {
    uint8_t b[8];
    bytes::PutF64(b, v);
    raw(b, 8);
  }
  void text(std::string_view t) {
    const size_t n = std::min(t.size(), ShortStr::kMax);
    u8(uint8_t(n));
    raw(t.data(), n);
  }
  void desc(const TArrayDesc& d) {
    for (uint16_t b : d.bounds) u16(b);
    u16(d.elementSize);
    u16(d.dataSize);
    u8(d.dimensions);
  }
};

struct Reader {
  RamFiles::TRamFile& f;
  bool ok = true;
  void raw(void* p, size_t n) {
    if (ok && RamFiles::RamRead(f, p, uint32_t(n)) != 0) ok = false;
    if (!ok) std::memset(p, 0, n);
  }
  uint8_t u8() {
    uint8_t v;
    raw(&v, 1);
    return v;
  }
  uint16_t u16() {
    uint8_t b[2];
    raw(b, 2);
    return bytes::GetU16(b);
  }
  uint32_t u32() {
    uint8_t b[4];
    raw(b, 4);
    return bytes::GetU32(b);
  }
  double f64() {
    uint8_t b[8];
    raw(b, 8);
    return bytes::GetF64(b);
  }
  ShortStr text() {
    char buf[256];
    const uint8_t n = u8();
    raw(buf, n);
    return ShortStr(std::string_view(buf, ok ? n : 0));
  }
  TArrayDesc desc() {
    TArrayDesc d;
    for (uint16_t& b : d.bounds) b = u16();
    d.elementSize = u16();
    d.dataSize = u16();
    d.dimensions = u8();
    return d;
  }
};

bool KnownType(uint8_t type) {
  switch (type) {
    case kTypeString: case kTypeWord: case kTypeReal: case kTypeExpression:
    case kTypeObject: case kTypeBits: case kTypeMarks:
      return true;
    default:
      return false;
  }
}

// A loaded descriptor describes exactly its data block.
bool ValidDesc(const TArrayDesc& d, uint8_t type) {
  if (d.dimensions < 1 || d.dimensions > kMaxDimensions) return false;
  for (size_t k = d.dimensions; k < kMaxDimensions; ++k)
    if (d.bounds[k] != 0) return false;
  if (d.elementSize != ElementSize(type)) return false;
  uint32_t count = 0;
  uint32_t size = 0;
  return ArraySizes(d, type, count, size) && size == d.dataSize;
}

}  // namespace

bool IsHiddenName(std::string_view name) {
  return !name.empty() && uint8_t(name[0]) >= 240 && uint8_t(name[0]) <= 246;
}


const char* TypeName(uint16_t type) {
  if (type == kTypeString) return "STRING";
  if (type == kTypeReal) return "REAL";
  if (IsObjectType(type)) return "OBJECT";
  return "<Unknown type>";
}

uint16_t ResolveVarIndex(uint16_t index) {
  if (index > kLocalBit) return uint16_t((index & 0x7FFF) + g_localBase);
  return index;
}

uint16_t FindSystemVariable(std::string_view name) {
  for (uint16_t n = 1; n <= kSystemVarCount; ++n)
    if (g_system[n].record && g_system[n].record->name.view() == name) return uint16_t(kFirstSystemVar + n - 1);
  return 0;
}

uint16_t FindVariable(std::string_view name) {
  const uint16_t start = g_searchLimit > 0 ? std::min(g_searchLimit, Count()) : Count();
  std::string_view wanted = name.substr(0, std::min(name.size(), Common::kMaxNameLength));
  uint16_t module = 0;
  const std::string_view none("\xFF", 1);
  if (g_duplicateCheck || IsHiddenName(name)) {
    // Accumulator names hold code bytes: taken whole, never split.
    wanted = name;
    if (g_duplicateCheck) module = g_currentModule;
  } else if (size_t dot = name.find('.'); dot != std::string_view::npos) {
    const std::string_view prefix = name.substr(0, dot);
    wanted = none;
    for (size_t k = 0; k < g_modules.size(); ++k) {
      if (UPPERCAS::CollateCompare(g_modules[k].view(), prefix) == 0) {
        module = uint16_t(k + 1);
        wanted = name.substr(dot + 1);
        break;
      }
    }
  }
  for (uint16_t i = start; i >= 1; --i) {
    const TEntry& e = g_entries[i];
    if ((e.flags & kFlagAlias) || !e.record) continue;
    if (e.record->name.view() != wanted) continue;
    if (module != 0 && e.record->module != module) continue;
    if (g_localBase != 0 && i > g_localBase) return uint16_t((i - g_localBase) | kLocalBit);
    return i;
  }
  return FindSystemVariable(name);
}

uint16_t VariableCount() { return Count(); }

bool IsKnownVariable(uint16_t index) {
  const uint16_t i = ResolveVarIndex(index);
  return (i >= 1 && i <= Count()) || (i >= kFirstSystemVar && i < kFirstSystemVar + kSystemVarCount);
}

bool IsConstantVariable(uint16_t index) {
  const uint16_t i = ResolveVarIndex(index);
  if (i == 0 || i > Count()) return true;
  return (g_entries[i].flags & kFlagConstant) != 0;
}

TVarInfo GetVarInfo(uint16_t index) {
  TVarInfo info;
  TEntry* e = EntryOf(index);
  if (!e) return info;
  info.valid = true;
  info.flags = e->flags;
  if (!e->record) return info;
  const TVarRecord& r = *e->record;
  info.name = r.name.view();
  info.type = r.type;
  info.module = r.module;
  info.word1 = r.word1;
  info.word2 = r.word2;
  info.dimensions = r.desc.dimensions;
  info.text = r.text;
  info.number = r.number;
  return info;
}

uint16_t GetArrayBound(uint16_t dim, uint16_t index) {
  TEntry* e = EntryOf(index);
  if (!e || !e->record || !(e->flags & kFlagArray) || dim < 1 || dim > kMaxDimensions) return 0;
  return e->record->desc.bounds[dim - 1];
}

TArrayRef GetArrayRef(uint16_t index) {
  TArrayRef ref;
  TEntry* e = EntryOf(index);
  if (!e || !e->record || !(e->flags & kFlagArray)) return ref;
  TVarRecord& r = *e->record;
  ref.desc = &r.desc;
  ref.type = r.type;
  ref.data = &r.data;
  if (r.type == kTypeString) ref.strings = &r.strings;
  return ref;
}

const TArrayDesc* GetArrayDesc(uint16_t index) {
  TEntry* e = EntryOf(index);
  return e && e->record && (e->flags & kFlagArray) ? &e->record->desc : nullptr;
}

std::vector<std::string>* GetArrayStrings(uint16_t index) {
  TEntry* e = EntryOf(index);
  return e && e->record && (e->flags & kFlagArray) && e->record->type == kTypeString ? &e->record->strings
                                                                                     : nullptr;
}

uint8_t* GetWideValue(uint16_t index) {
  TEntry* e = EntryOf(index);
  return e && e->record && (e->flags & kFlagWide) ? e->record->wide.data() : nullptr;
}

void SetWideNumber(uint16_t index, double value) {
  TEntry* e = EntryOf(index);
  if (e && e->record && (e->flags & kFlagWide)) e->record->number = value;
}

void BindAlias(uint16_t alias, uint16_t target) {
  const uint16_t a = ResolveVarIndex(alias);
  const uint16_t t = ResolveVarIndex(target);
  if (a >= 1 && a <= Count() && (g_entries[a].flags & kFlagAlias) && t != a) g_entries[a].target = t;
}

std::vector<uint8_t>* GetArrayData(uint16_t index) {
  TEntry* e = EntryOf(index);
  return e && e->record && (e->flags & kFlagArray) ? &e->record->data : nullptr;
}

MarkLists::TMarkList* GetMarkVariable(uint16_t index) {
  TEntry* e = EntryOf(index);
  if (!e || !e->record || e->record->type != kTypeMarks) return nullptr;
  if (!e->record->marks) e->record->marks = std::make_unique<MarkLists::TMarkList>();
  return e->record->marks.get();
}

int ClearArrayVariable(int flag, uint16_t index) {
  if (flag == 0) return 0;
  TEntry* e = index >= 1 && index <= Count() ? &g_entries[index] : nullptr;
  if (!e || !e->record || !(e->flags & kFlagArray)) return 0;
  if (e->record->type == kTypeString)
    for (std::string& s : e->record->strings) std::string().swap(s);
  else
    std::fill(e->record->data.begin(), e->record->data.end(), 0);
  return 0;
}

uint16_t GetSystemVarInt(uint16_t n) {
  if (n < 1 || n > kSystemVarCount || !g_system[n].record) return 0;
  return uint16_t(int32_t(std::nearbyint(g_system[n].record->number)));
}

void SetSystemVarInt(uint16_t n, uint16_t value) {
  if (n >= 1 && n <= kSystemVarCount && g_system[n].record) g_system[n].record->number = value;
}

void SetErrorVariable(uint16_t code) { SetWord(*g_system[kSysFehler].record, code == 65535 ? 0 : code); }

uint16_t SetVariable(uint16_t index, uint16_t type, const TVarValue& value, uint16_t code) {
  if (code == 65535) code = 0;
  SetErrorVariable(code);
  uint16_t result = g_errorCheck ? 0 : code;
  if (g_indexCheck) return result;
  TEntry* entry = EntryOf(index);
  const bool program = entry && entry >= g_entries.data() && entry < g_entries.data() + g_entries.size();
  if (!program || entry->record == nullptr) return result;
  TEntry& e = *entry;
  if (e.flags & kFlagArray) {
    Common::SetErrorArgument("[");
    return kErrExpected;
  }
  TVarRecord& r = *e.record;
  if (r.type == kTypeObject && type != kTypeReal && !IsObjectType(type)) {
    Common::SetErrorArgument(std::string(TypeName(type)) + "->" + TypeName(r.type));
    result = kErrTypeMismatch;
  }
  r.type = uint8_t(IsObjectType(type) ? kTypeObject : type);
  // The text keeps its room from one value to the next.
  if (r.type == kTypeString || r.type == kTypeExpression) {
    r.text.assign(value.text.substr(0, std::min(value.text.size(), ShortStr::kMax)));
  } else {
    r.text.clear();
    if (r.type == kTypeReal || r.type == kTypeObject) r.number = value.number;
  }
  return result;
}

bool ReadNumber(uint16_t index, double& value) {
  const double* slot = NumberSlot(index, false);
  if (slot) value = *slot;
  return slot != nullptr;
}

double* NumberSlot(uint16_t index, bool store) {
  if (store && g_indexCheck) return nullptr;
  TEntry* e = EntryOf(index);
  if (!e || !e->record || (e->flags & kFlagArray)) return nullptr;
  const uint8_t type = e->record->type;
  if (store) {
    const bool program = e >= g_entries.data() && e < g_entries.data() + g_entries.size();
    if (!program || type != kTypeReal) return nullptr;
  } else if ((e->flags & kFlagWide) || (type != kTypeReal && type != kTypeWord)) {
    return nullptr;
  }
  return &e->record->number;
}

double* ErrorVariableSlot() { return &g_system[kSysFehler].record->number; }

bool StoreNumber(uint16_t index, double value) {
  double* slot = NumberSlot(index, true);
  if (!slot) return false;
  SetErrorVariable(0);
  *slot = value;
  return true;
}

void SetErrorCheckSwitch(bool on) { g_errorCheck = on; }
bool ErrorCheckSwitch() { return g_errorCheck; }
void SetIndexCheck(bool on) { g_indexCheck = on; }

uint16_t DefineVariable(std::string_view name, bool wide, uint32_t word1, uint32_t word2, uint16_t type,
                        const TArrayDesc* array, bool alias) {
  TEntry e;
  e.flags = uint8_t((alias ? kFlagAlias : 0) | (array ? kFlagArray : 0) | (wide ? kFlagWide : 0) |
                    (alias ? 0 : kFlagOwnsName));
  if (!alias) {
    const uint8_t stored = uint8_t(IsObjectType(type) ? kTypeObject : type == kTypeInteger ? kTypeReal : type);
    e.record = MakeRecord(name, word1, word2, stored, array);
  }
  g_entries.push_back(std::move(e));
  return Count();
}

uint16_t DefineInitialisedVariable(std::string_view name, uint16_t type, const TVarValue& value) {
  const uint16_t i = DefineVariable(name, false, 0, 0, type, nullptr, false);
  g_entries[i].flags |= kFlagConstant;
  SetVariable(i, type == kTypeString ? kTypeString : type, value, 0);
  return i;
}

// ---- Declarations --------------------------------------------------------

void ParseVarDeclaration(uint16_t procIndex, std::string_view text, size_t& position, uint16_t& error,
                         bool paramMode) {
  error = 0;
  struct Name {
    ShortStr name;
    size_t position;
  };
  std::vector<Name> names;
  bool byRef = false;
  auto fail = [&](uint16_t code, size_t at, const char* argument, bool record) {
    error = code;
    if (argument) Common::SetErrorArgument(argument);
    if (record) RecordCompileError(code, text, at);
  };
  for (;;) {
    Common::SkipBlanks(text, position);
    if (position > text.size()) return fail(kErrIllegalChar, position, nullptr, true);
    const size_t at = position;
    ShortStr word;
    Common::ReadWord(text, position, word);
    ShortStr upper(word);
    UPPERCAS::UpperStr(upper);
    if (upper == "VAR") {
      if (!names.empty()) return fail(kErrIllegalChar, at, nullptr, false);
      byRef = true;
      Common::ReadWord(text, position, word);
    }
    if (word.empty()) return fail(kErrIllegalChar, position, nullptr, false);
    names.push_back({word, at});
    Common::SkipBlanks(text, position);
    if (position > text.size() || (text[position - 1] != ',' && text[position - 1] != ':'))
      return fail(kErrExpected, position, ":", true);
    const char sep = text[position - 1];
    ++position;
    if (sep == ':') break;
  }
  uint8_t type = 0;
  TArrayDesc desc;
  bool isArray = false;
  if (!paramMode) {
    size_t p = position;
    ShortStr word;
    Common::ReadWord(text, p, word);
    ShortStr upper(word);
    UPPERCAS::UpperStr(upper);
    if (upper == "RECORD") {
      ShortStr tableName;
      Common::ReadWord(text, p, tableName);
      const int table = ZetTable::FindOpenTable(tableName);
      if (table != 0) {
        const ZetTable::TZetTable* t = ZetTable::Table(table);
        type = kTypeReal;
        isArray = true;
        desc.dimensions = 1;
        desc.bounds[0] = uint16_t((std::max<int>(t->recordLength, 1) - 1) / 8);
        desc.elementSize = 8;
        desc.dataSize = uint16_t((desc.bounds[0] + 1) * 8);
        position = p;
      }
    }
  }
  if (type == 0) {
    ShortStr word;
    Common::ReadWord(text, position, word);
    type = TypeKeyword(word);
    if (type == 0) return fail(kErrTypeMismatch, position, word.c_str(), true);
    Common::SkipBlanks(text, position);
    if (position <= text.size() && text[position - 1] == '[') {
      if (paramMode && !byRef) return fail(kErrVariableExpected, position, nullptr, true);
      ++position;
      isArray = true;
      for (;;) {
        Common::SkipBlanks(text, position);
        uint16_t bound = 0;
        Common::ReadNumber(text, position, bound);
        if (desc.dimensions == kMaxDimensions) return fail(kErrArrayTooLarge, position, nullptr, true);
        desc.bounds[desc.dimensions++] = bound;
        Common::SkipBlanks(text, position);
        if (position > text.size()) return fail(kErrExpected, position, "]", true);
        const char c = text[position - 1];
        ++position;
        if (c == ']') break;
        if (c != ',') return fail(kErrExpected, position - 1, "]", true);
      }
      desc.elementSize = ElementSize(type);
      uint32_t count = 0;
      uint32_t size = 0;
      if (!ArraySizes(desc, type, count, size)) return fail(kErrArrayTooLarge, position, nullptr, true);
      desc.dataSize = uint16_t(size);
    }
  }
  for (const Name& n : names) {
    bool duplicate = false;
    if (procIndex != 0) {
      const TProcedure* proc = GetProcedure(procIndex);
      duplicate = proc && std::any_of(proc->params.begin(), proc->params.end(),
                                      [&](const TParameter& p) { return p.name.view() == n.name.view(); });
    } else {
      g_duplicateCheck = true;
      duplicate = FindVariable(n.name) != 0;
      g_duplicateCheck = false;
    }
    if (duplicate) return fail(kErrDuplicate, n.position, nullptr, true);
    if (Count() >= kMaxProgramVars) return fail(kErrTooManyVars, n.position, nullptr, true);
    if (procIndex != 0) {
      TParameter p;
      p.name = n.name;
      p.type = type;
      p.byRef = byRef;
      p.isArray = isArray;
      p.desc = desc;
      AddParameter(procIndex, p);
    }
    if (paramMode && procIndex != 0)
      ++g_procedures[procIndex - 1].paramCount;
    else
      DefineVariable(n.name, false, 0, 0, type, isArray ? &desc : nullptr, false);
  }
}

uint16_t DefineProcedure(std::string_view text, uint32_t entryOffset, size_t& position, uint16_t& error) {
  error = 0;
  if (g_procedures.size() >= kMaxProcedures) {
    error = kErrNoMemory;
    return 0;
  }
  position = 1;
  ShortStr name;
  Common::ReadWord(text, position, name);
  if (name.empty()) {
    error = kErrSyntax;
    return 0;
  }
  TProcedure proc;
  proc.name = name;
  proc.module = uint8_t(g_currentModule);
  proc.entryOffset = entryOffset;
  g_procedures.push_back(std::move(proc));
  const uint16_t index = uint16_t(g_procedures.size());
  Common::SkipBlanks(text, position);
  if (position <= text.size() && text[position - 1] == '(') {
    do {
      ++position;  // past "(" or ";"
      Common::SkipBlanks(text, position);
      if (position <= text.size() && text[position - 1] == ')') break;
      ParseVarDeclaration(index, text, position, error, true);
      if (error != 0) return index;
      Common::SkipBlanks(text, position);
    } while (position <= text.size() && text[position - 1] == ';');
    Common::SkipBlanks(text, position);
    if (position > text.size() || text[position - 1] != ')') {
      error = kErrExpected;
      Common::SetErrorArgument(")");
      RecordCompileError(error, text, position);
      return index;
    }
    ++position;
  }
  Common::SkipBlanks(text, position);
  if (position <= text.size() && text[position - 1] == ':') {
    ++position;
    ShortStr word;
    Common::ReadWord(text, position, word);
    const uint8_t type = TypeKeyword(word);
    if (type == 0) {
      error = kErrTypeMismatch;
      Common::SetErrorArgument(word);
      RecordCompileError(error, text, position);
      return index;
    }
    g_procedures[index - 1].resultType = type;
  }
  error = InstantiateParameters(index, false);
  return index;
}

void AddParameter(uint16_t procIndex, const TParameter& parameter) {
  if (procIndex == 0 || procIndex > g_procedures.size()) return;
  auto& params = g_procedures[procIndex - 1].params;
  if (std::any_of(params.begin(), params.end(),
                  [&](const TParameter& p) { return p.name.view() == parameter.name.view(); }))
    return;
  params.push_back(parameter);
}

uint16_t InstantiateParameters(uint16_t procIndex, bool instantiate) {
  if (procIndex == 0 || procIndex > g_procedures.size()) return 0;
  for (TParameter& p : g_procedures[procIndex - 1].params) {
    if (Count() >= kMaxProgramVars) return kErrTooManyVars;
    const bool alias = instantiate && p.byRef;
    const uint16_t i = DefineVariable(p.name, IsHiddenName(p.name), p.word1, p.word2, p.type,
                                      p.isArray ? &p.desc : nullptr, alias);
    if (instantiate) {
      g_entries[i].flags &= uint8_t(~kFlagOwnsName);
      p.instances.push_back(i);
    }
  }
  return 0;
}

void DropParameterInstances(uint16_t procIndex) {
  if (procIndex == 0 || procIndex > g_procedures.size()) return;
  for (TParameter& p : g_procedures[procIndex - 1].params)
    if (!p.instances.empty()) p.instances.pop_back();
}

uint16_t FindProcedure(std::string_view name) {
  for (size_t i = g_procedures.size(); i >= 1; --i)
    if (SameName(g_procedures[i - 1].name, name)) return uint16_t(i);
  // A qualified name: the module part picks the procedure's module.
  if (size_t dot = name.find('.'); dot != std::string_view::npos) {
    const std::string_view prefix = name.substr(0, dot);
    for (size_t k = 0; k < g_modules.size(); ++k) {
      if (UPPERCAS::CollateCompare(g_modules[k].view(), prefix) != 0) continue;
      for (size_t i = g_procedures.size(); i >= 1; --i)
        if (g_procedures[i - 1].module == k + 1 && SameName(g_procedures[i - 1].name, name.substr(dot + 1)))
          return uint16_t(i);
    }
  }
  return 0;
}

uint16_t ProcedureCount() { return uint16_t(g_procedures.size()); }

const TProcedure* GetProcedure(uint16_t index) {
  return index >= 1 && index <= g_procedures.size() ? &g_procedures[index - 1] : nullptr;
}

ShortStr GetProcedureName(uint16_t index) {
  const TProcedure* p = GetProcedure(index);
  return p ? p->name : ShortStr();
}

uint8_t GetProcedureResultType(uint16_t index) {
  const TProcedure* p = GetProcedure(index);
  return p ? p->resultType : 0;
}

bool AddModuleName(std::string_view name, uint16_t& error) {
  error = 0;
  for (const ShortStr& m : g_modules)
    if (UPPERCAS::CollateCompare(m.view(), name) == 0) return false;
  if (g_modules.size() >= kMaxModuleNames) {
    error = kErrNoMemory;
    return false;
  }
  g_modules.emplace_back(name);
  return true;
}

size_t ModuleNameCount() { return g_modules.size(); }

// ---- Frames and scopes ---------------------------------------------------

uint16_t LocalBase() { return g_localBase; }
void SetLocalBase(uint16_t base) { g_localBase = base; }
uint16_t SearchLimit() { return g_searchLimit; }
void SetSearchLimit(uint16_t limit) { g_searchLimit = limit; }
uint16_t CurrentModule() { return g_currentModule; }
void SetCurrentModule(uint16_t module) { g_currentModule = module; }

void DropLocalVariables() {
  const size_t start = std::max<size_t>(2, size_t(g_localBase) + 1);
  for (size_t i = start; i < g_entries.size() && g_spareRecords.size() < kMaxSpareRecords; ++i)
    if (g_entries[i].record) g_spareRecords.push_back(std::move(g_entries[i].record));
  if (start < g_entries.size()) g_entries.resize(start);
}

void FreeProcedures() { FreeProcedureList(g_procedures); }
void FreeModuleNames() { std::vector<ShortStr>().swap(g_modules); }

void PushVarScope() {
  TScope s;
  for (size_t i = 2; i < g_entries.size(); ++i) s.entries.push_back(std::move(g_entries[i]));
  g_entries.resize(2);
  s.procedures = std::move(g_procedures);
  g_procedures.clear();
  s.modules = std::move(g_modules);
  g_modules.clear();
  s.localBase = g_localBase;
  s.searchLimit = g_searchLimit;
  g_localBase = 0;
  g_searchLimit = 0;
  g_scopes.push_back(std::move(s));
}

void PopVarScope() {
  if (g_scopes.empty()) return;
  g_localBase = 0;
  DropLocalVariables();
  TScope s = std::move(g_scopes.back());
  g_scopes.pop_back();
  g_searchLimit = s.searchLimit;
  g_localBase = s.localBase;
  for (TEntry& e : s.entries) g_entries.push_back(std::move(e));
  g_modules = std::move(s.modules);
  g_procedures = std::move(s.procedures);
}

size_t ScopeDepth() { return g_scopes.size(); }

// ---- Program image ---------------------------------------------------------

int SaveVariableImage(RamFiles::TRamFile& file) {
  Writer w{file};
  w.u16(Count());
  for (uint16_t i = 2; i <= Count(); ++i) {
    const TEntry& e = g_entries[i];
    static const TVarRecord kNone;
    const TVarRecord& r = e.record ? *e.record : kNone;
    w.text(r.name);
    w.u32(r.word1);
    w.u32(r.word2);
    w.u8(r.module);
    w.u8(r.type);
    w.u8(e.flags);
    if (e.flags & kFlagArray) w.desc(r.desc);
    if (e.flags & kFlagConstant) {
      if (r.type == kTypeString) w.text(r.text);
      else w.f64(r.number);
    }
    if (r.type == kTypeExpression && r.name == "G_Neu") w.text(r.text);
  }
  w.u16(uint16_t(g_procedures.size()));
  for (const TProcedure& p : g_procedures) {
    w.text(p.name);
    w.u8(p.module);
    w.u32(p.entryOffset);
    w.u16(p.paramCount);
    w.u8(p.resultType);
    for (const TParameter& q : p.params) {
      w.text(q.name);
      w.u8(q.type);
      w.u8(q.byRef);
      w.u8(q.isArray);
      w.u32(q.word1);
      w.u32(q.word2);
      if (q.isArray) w.desc(q.desc);
    }
    w.u8(0);
  }
  return w.error;
}

int LoadVariableImage(RamFiles::TRamFile& file) {
  Reader r{file};
  auto refuse = [&]() {
    g_entries.resize(2);
    FreeProcedures();
    FreeModuleNames();
    g_currentModule = 1;
    return int(kErrBadProgram);
  };
  g_entries.resize(2);
  FreeProcedures();
  const uint16_t count = r.u16();
  if (!r.ok || count < 1 || count > kMaxProgramVars) return refuse();
  for (uint16_t i = 2; i <= count; ++i) {
    const ShortStr name = r.text();
    const uint32_t word1 = r.u32();
    const uint32_t word2 = r.u32();
    r.u8();  // the stored module: the loading module owns the variables
    const uint8_t type = r.u8();
    const uint8_t flags = r.u8();
    if (!r.ok) return refuse();
    if (flags & kFlagAlias) {
      DefineVariable("", false, 0, 0, 0, nullptr, true);
      continue;
    }
    if (!KnownType(type) || ((flags & kFlagWide) && (flags & kFlagArray))) return refuse();
    TArrayDesc desc;
    if (flags & kFlagArray) {
      desc = r.desc();
      if (!r.ok || !ValidDesc(desc, type)) return refuse();
    }
    TVarValue value;
    ShortStr valueText;
    const bool constant = (flags & kFlagConstant) != 0;
    if (constant) {
      if (type == kTypeString) valueText = r.text();
      else value.number = r.f64();
    }
    ShortStr code;
    if (type == kTypeExpression && name == "G_Neu") code = r.text();
    if (!r.ok) return refuse();
    const uint16_t index = DefineVariable(name, (flags & kFlagWide) != 0, word1, word2, type,
                                          (flags & kFlagArray) ? &desc : nullptr, false);
    TVarRecord& rec = *g_entries[index].record;
    if (constant && !(flags & kFlagArray)) {
      if (type == kTypeString) rec.text = valueText.str();
      else rec.number = value.number;
    }
    if (!code.empty()) {
      TVarValue v;
      v.text = code;
      const uint16_t fehler = GetSystemVarInt(kSysFehler);
      SetVariable(index, kTypeExpression, v, 0);
      SetErrorVariable(fehler);
    }
  }
  const uint16_t procs = r.u16();
  if (!r.ok || procs > kMaxProcedures) return refuse();
  for (uint16_t k = 0; k < procs; ++k) {
    TProcedure p;
    p.name = r.text();
    p.module = r.u8();
    p.entryOffset = r.u32();
    p.paramCount = r.u16();
    p.resultType = r.u8();
    for (;;) {
      if (!r.ok) return refuse();
      TParameter q;
      q.name = r.text();
      if (q.name.empty()) break;
      if (p.params.size() >= kMaxProgramVars) return refuse();
      q.type = r.u8();
      q.byRef = r.u8() != 0;
      q.isArray = r.u8() != 0;
      q.word1 = r.u32();
      q.word2 = r.u32();
      if (!r.ok || !KnownType(q.type)) return refuse();
      if (q.isArray) {
        q.desc = r.desc();
        if (!r.ok || !ValidDesc(q.desc, q.type)) return refuse();
      }
      p.params.push_back(std::move(q));
    }
    if (p.paramCount > p.params.size() || !r.ok) return refuse();
    g_procedures.push_back(std::move(p));
  }
  FreeModuleNames();
  g_currentModule = 1;
  return 0;
}

// ---- Errors ----------------------------------------------------------------

const TCompileErrorRecord& CompileError() { return g_compileError; }
uint16_t ErrorPosition() { return g_errorPosition; }

namespace {
void FillRecord(uint16_t code, std::string_view line, size_t position) {
  g_compileError.line = line;
  Common::ReplaceChar(g_compileError.line, '\t', ' ');
  g_compileError.code = code;
  g_compileError.argument.assign(Common::ErrorArgument().view(), Common::kMaxErrorArgument);
  g_compileError.position = uint16_t(std::min<size_t>(position, 65535));
}
}  // namespace

void RecordCompileError(uint16_t code, std::string_view line, size_t position) {
  FillRecord(code, line, position);
  g_errorPosition = uint16_t(std::min(position, line.size()));
  Common::SetFileError(code, "");
  SetErrorVariable(code);
}

void SetCompilerError(uint16_t code, size_t position, std::string_view line, bool force) {
  if (!force && g_compileError.code != 0) return;
  FillRecord(code, line, position);
  g_errorPosition = uint16_t(std::min<size_t>(position, 65535));
  if (code != 0) Common::SetFileError(code, "");
}

// ---- Unit ------------------------------------------------------------------

void UnitInit() {
  g_entries.clear();
  g_entries.resize(2);
  g_entries[1].record = MakeRecord("T-Eingabe", 0, 0, kTypeString, nullptr);
  g_entries[1].record->module = 1;
  g_procedures.clear();
  g_modules.clear();
  g_scopes.clear();
  g_localBase = 0;
  g_searchLimit = 0;
  g_currentModule = 1;
  g_errorCheck = false;
  g_indexCheck = false;
  g_duplicateCheck = false;
  g_compileError = {};
  g_errorPosition = 0;
  struct Sys {
    const char* name;
    uint8_t type;
  };
  static const Sys kSys[kSystemVarCount] = {
      {"Fehler", kTypeWord}, {"heute", kTypeExpression}, {"jetzt", kTypeExpression},
      {"Zeile", kTypeReal},  {"Seite", kTypeReal},       {"ZET-Pfad", kTypeString},
      {"ToMargin", kTypeWord}, {"SysBrowser", kTypeObject}};
  for (uint16_t n = 1; n <= kSystemVarCount; ++n) {
    g_system[n].flags = 0;
    g_system[n].record = MakeRecord(kSys[n - 1].name, 0, 0, kSys[n - 1].type, nullptr);
  }
  g_system[kSysHeute].record->text = std::string("\xC8\x05\x28\xCF\x21\x29", 6);
  g_system[kSysJetzt].record->text = std::string("\xC8\x04\x28\xCF\x22\x29", 6);
  g_system[kSysZetPfad].record->text = Common::ProgramDirectory.str();
  SetWord(*g_system[kSysToMargin].record, 65534);
}

void UnitDone() {
  g_scopes.clear();
  g_entries.clear();
  g_spareRecords.clear();
  for (TEntry& e : g_system) e.record.reset();
  FreeProcedures();
  FreeModuleNames();
}

}  // namespace ZetVars
