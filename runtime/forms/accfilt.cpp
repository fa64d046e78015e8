// The accelerator filter (see accfilt.h).
#include "runtime/forms/accfilt.h"

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/resources/resources.h"
#include "runtime/forms/maskelem.h"
#include "runtime/forms/menufilt.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrLCopy;

namespace {

constexpr int32_t kMinDefBytes = 7;  // id, key, flags, an empty name
constexpr int32_t kMaxKeyName = 10;

// A string resource, or the built-in text when there is none.
std::string ResourceText(uint32_t id, const char* fallback) {
  char text[31];
  return platform::LoadStringResource(id, text, sizeof text) > 0 ? text : fallback;
}

struct KeyName {
  uint16_t key;
  std::string name;
};

const std::vector<KeyName>& KeyNames() {
  static const std::vector<KeyName> names = [] {
    static const struct {
      uint16_t key;
      const char* name;
    } table[8] = {{0xDE, "\xC4"}, {0xC0, "\xD6"}, {0xBA, "\xDC"}, {0x1B, "Esc"},
                  {0x24, "Pos 1"}, {0x23, "Ende"}, {0x21, "Bild oben"}, {0x22, "Bild unten"}};
    std::vector<KeyName> loaded;
    for (int i = 0; i < 8; ++i) loaded.push_back({table[i].key, ResourceText(uint32_t(52503 + i), table[i].name)});
    return loaded;
  }();
  return names;
}

std::string KeyName(uint16_t key) {
  if (key >= 0x70 && key <= win::VK_F12) return "F" + std::to_string(key - 0x70 + 1);
  if ((key >= '0' && key <= '9') || (key >= 'A' && key <= 'Z')) return std::string(1, char(key));
  for (const auto& entry : KeyNames())
    if (entry.key == key) return entry.name.substr(0, kMaxKeyName);
  return "";
}

}  // namespace

TAccelDef::TAccelDef(uint16_t id, uint16_t key, uint8_t flags, const char* name)
    : Id(id), Key(key), Flags(flags), Name(StrDup(name)) {}
TAccelDef::TAccelDef(const TAccelDef& other)
    : Id(other.Id), Key(other.Key), Flags(other.Flags), Name(StrDup(other.Name)) {}
TAccelDef::~TAccelDef() { delete[] Name; }

void TAccelDef::Write(TKxStream& stream) const {
  WriteWord(stream, Id);
  WriteWord(stream, Key);
  stream.Write(&Flags, 1);
  stream.WriteString(Name);
}

TAccelFilter::TAccelFilter(int32_t limit, int32_t delta) : TFilterCollection(limit, delta) {}

TAccelFilter::TAccelFilter(const TAccelFilter& other) : TAccelFilter() {
  Unfiltered = other.Unfiltered;
  for (int32_t i = 0; i < other.Count; ++i) AtInsert(Count, new TAccelDef(*other.DefAt(i)));
}

TAccelFilter::TAccelFilter(win::HACCEL table) : TAccelFilter() {
  std::vector<win::ACCEL> records(size_t(win::CopyAcceleratorTableA(table, nullptr, 0)));
  win::CopyAcceleratorTableA(table, records.data(), int(records.size()));
  for (const win::ACCEL& record : records)
    AtInsert(Count, new TAccelDef(record.cmd, record.key, uint8_t(record.fVirt & ~win::FACCEL_END), nullptr));
}

void TAccelFilter::FreeItem(void* item) { delete static_cast<TAccelDef*>(item); }

void TAccelFilter::Read(TKxStream& stream, int16_t version) {
  const int16_t count = ReadCount(stream, kMinDefBytes);
  for (int32_t i = 0; i < count && stream.Status == 0; ++i) {
    const uint16_t id = TranslateOldCommandId(ReadWord(stream), version);
    const uint16_t key = ReadWord(stream);
    uint8_t flags = 0;
    stream.Read(&flags, 1);
    std::unique_ptr<char[]> name(stream.ReadString());
    AtInsert(Count, new TAccelDef(id, key, flags, name.get()));
  }
}

bool TAccelFilter::CreateAccelTable(win::TAccTable& table) const {
  if (Count == 0) return false;
  std::vector<win::ACCEL> records;
  for (int32_t i = 0; i < Count; ++i) records.push_back({DefAt(i)->Flags, DefAt(i)->Key, DefAt(i)->Id});
  records.back().fVirt |= win::FACCEL_END;
  table.SetHandle(win::CreateAcceleratorTableA(records.data(), int(records.size())), true);
  return bool(table.GetHandle());
}

char* TAccelFilter::KeyText(const TAccelDef& def, char* buffer, int32_t size) {
  static const struct {
    uint8_t flag;
    uint32_t id;
    const char* fallback;
  } modifiers[3] = {{win::FSHIFT, 52511, "Umschalt"}, {win::FCONTROL, 52512, "Strg"}, {win::FALT, 52513, "Alt"}};
  std::string text;
  for (const auto& modifier : modifiers)
    if (def.Flags & modifier.flag) text += ResourceText(modifier.id, modifier.fallback) + "+";
  text += KeyName(def.Key);
  if (size > 0) StrLCopy(buffer, text.c_str(), size - 1);
  return buffer;
}

}  // namespace forms
