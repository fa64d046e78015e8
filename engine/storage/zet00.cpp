#include "engine/storage/zet00.h"

#include <cstring>

#include "engine/base/bytes.h"
#include "engine/base/uppercas.h"

namespace Zet00 {
namespace {

using ZetTable::TIndexDescriptor;
using ZetTable::TZetTable;

// Writes a name as a length byte and its characters into an entry of size
// bytes (zero-filled), converted to OEM for version-1 files.
void PutEntry(uint8_t* entry, size_t size, const ShortStr& name, bool oem) {
  ShortStr text;
  text.assign(name, size - 1);
  if (oem) UPPERCAS::AnsiToOemStr(text);
  std::memset(entry, 0, size);
  entry[0] = uint8_t(text.size());
  std::memcpy(entry + 1, text.data(), text.size());
}

// Reads an entry's name; false when its length byte exceeds the entry.
bool GetEntry(const uint8_t* entry, size_t size, bool oem, ShortStr& name) {
  if (entry[0] > size - 1) return false;
  name.assign(std::string_view(reinterpret_cast<const char*>(entry + 1), entry[0]));
  if (oem) UPPERCAS::OemToAnsiStr(name);
  return true;
}

ShortStr SlotName(const TZetTable& table, int slot) {
  const auto& d = table.indexes[size_t(slot)];
  return d ? d->fileName : ShortStr();
}

}  // namespace

bool IsVersion1(uint16_t version) { return version < Common::kFirstVersionWithDoubles; }
size_t RecordCountPosition(uint16_t version) { return IsVersion1(version) ? kV1RecordCount : kV2RecordCount; }
size_t DirectoryPosition(uint16_t version) { return IsVersion1(version) ? kV1Directory : kV2Directory; }
size_t DirectorySize(uint16_t version) { return IsVersion1(version) ? kV1DirectorySize : kV2DirectorySize; }
size_t DescriptorPosition(uint16_t version) { return IsVersion1(version) ? kV1Descriptors : kV2Descriptors; }
size_t MaxDirectoryName(uint16_t version) {
  return (IsVersion1(version) ? kV1DirectoryEntry : kV2DirectoryEntry) - 1;
}

std::vector<uint8_t> BuildIndexDirectory(const TZetTable& table) {
  const bool v1 = IsVersion1(table.version);
  const size_t entrySize = v1 ? kV1DirectoryEntry : kV2DirectoryEntry;
  const size_t entries = v1 ? kV1DirectoryEntries : kV2DirectoryEntries;
  std::vector<uint8_t> dir(DirectorySize(table.version), 0);
  bytes::PutU16(dir.data() + kDirectorySlotCount, table.highestIndexSlot);
  for (size_t i = 1; i <= entries; ++i)
    PutEntry(dir.data() + kDirectoryEntries + (i - 1) * entrySize, entrySize, SlotName(table, int(i)), v1);
  return dir;
}

std::array<uint8_t, kCompanionSize> BuildIndexCompanion(const TZetTable& table) {
  std::array<uint8_t, kCompanionSize> cin{};
  for (size_t i = 0; i < kCompanionEntries; ++i)
    PutEntry(cin.data() + i * kV1DirectoryEntry, kV1DirectoryEntry,
             SlotName(table, kFirstCompanionSlot + int(i)), true);
  return cin;
}

int ParseIndexDirectory(TZetTable& table, const uint8_t* directory, const uint8_t* companion) {
  const bool v1 = IsVersion1(table.version);
  uint16_t count = bytes::GetU16(directory + kDirectorySlotCount);
  if (v1) {
    count &= kV1SlotCountMask;
    if (count > kV1DirectoryEntries && !companion) count = uint16_t(kV1DirectoryEntries);
  } else if (count > ZetTable::kMaxIndexSlot) {
    return ZetTable::kErrBadStructure;
  }
  const size_t entrySize = v1 ? kV1DirectoryEntry : kV2DirectoryEntry;
  const size_t headerEntries = v1 ? kV1DirectoryEntries : kV2DirectoryEntries;
  for (int slot = 1; slot <= count; ++slot) {
    const uint8_t* entry = size_t(slot) <= headerEntries
                               ? directory + kDirectoryEntries + size_t(slot - 1) * entrySize
                               : companion + size_t(slot - kFirstCompanionSlot) * kV1DirectoryEntry;
    auto d = std::make_unique<TIndexDescriptor>();
    if (!GetEntry(entry, entrySize, v1, d->fileName)) return ZetTable::kErrBadStructure;
    d->tableVersion = table.version;
    table.indexes[size_t(slot)] = std::move(d);
  }
  table.highestIndexSlot = count;
  return 0;
}

ShortStr CompanionFileName(const TZetTable& table) {
  const Common::FileNameParts parts = Common::SplitFileName(table.fileName);
  return Common::MakeFileName(table.directory, parts.name, ".CIN");
}

int32_t WriteIndexDirectory(int handle) {
  TZetTable* t = ZetTable::Table(handle);
  if (!t || !t->tableFile) return -1;
  const std::vector<uint8_t> dir = BuildIndexDirectory(*t);
  if (LOWFILES::WriteBlockIfChanged(*t->tableFile, DirectoryPosition(t->version), uint16_t(dir.size()),
                                    dir.data()) != 0) {
    Common::SetFileError(Common::kErrWrite, t->tableFile->name);
    return -1;
  }
  if (WriteIndexCompanion(*t) != 0) return -1;
  return int32_t(dir.size());
}

int WriteIndexCompanion(const TZetTable& table) {
  if (!IsVersion1(table.version) || table.highestIndexSlot <= kV1DirectoryEntries) return 0;
  std::array<uint8_t, kCompanionSize> cin = BuildIndexCompanion(table);
  const ShortStr name = CompanionFileName(table);
  if (Common::FileBlockIO(name, true, cin.data(), cin.size()) == 0) return 0;
  Common::SetFileError(Common::kErrWrite, name);
  return Common::kErrWrite;
}

}  // namespace Zet00
