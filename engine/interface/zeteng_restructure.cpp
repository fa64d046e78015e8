// Table structures through the interface: an empty copy of a table's
// structure under a new name, a new name for a table's file set, and the
// registration of modifications (which this engine does not need).
//
// What always holds:
//   1. A structure copy never changes the source: an open source is read
//      where it stands, any other one is opened read-only for the copy and
//      closed again.
//   2. The copy is written by the table creator of table storage, which
//      erases what it made when it fails: the target is whole or absent. A
//      user index file is named by its index, not by its table, so a copy
//      whose user index file exists already in the target directory (another
//      table's index) is refused with 22 before anything is written.
//   3. A file set is renamed whole or not at all: when one file cannot be
//      renamed, those renamed before it get their old names back. The names
//      of the automatic index files follow from the table's name when it is
//      opened, so the files need no rewriting; user index files keep their
//      own names.
#include <string>
#include <utility>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_open.h"
#include "platform/files.h"
#include "engine/storage/zet06_create.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kOpenFailed = -1;
constexpr int32_t kNotRenamed = -20;
constexpr uint16_t kErrFileExists = 22;

// The name with its file part upper-cased (directories stay as written).
std::string UpperFileName(std::string_view name) {
  std::string text(name);
  const size_t slash = text.find_last_of("/\\");
  ShortStr file(std::string_view(text).substr(slash == std::string::npos ? 0 : slash + 1));
  UPPERCAS::UpperStr(file);
  return text.substr(0, slash == std::string::npos ? 0 : slash + 1) + file.str();
}

// The files of the set of an open table as (old name, new name) pairs, the
// table file last; the table object describes the new name afterwards.
std::vector<std::pair<std::string, std::string>> FileSetNames(TZetTable& t, std::string_view newName) {
  std::vector<std::pair<std::string, std::string>> files;
  const Common::FileNameParts own = Common::SplitFileName(t.fileName);
  const std::string oldStem = Common::AppendStrCopy(t.directory, own.name).str();
  const std::string oldFile = Common::AppendStrCopy(t.directory, t.fileName).str();
  const Common::FileNameParts target = Common::SplitFileName(newName);
  const std::string newStem = Common::AppendStrCopy(t.directory, target.name).str();
  std::vector<std::string> oldIndexes;
  Zet00::AssignIndexFileNames(t);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    oldIndexes.push_back(t.indexes[size_t(s)] && !Zet00::IsUserIndex(t, s) ? Zet00::IndexPath(t, s).str() : "");
  const std::string oldCompanion = Zet00::CompanionFileName(t).str();
  t.fileName = Common::AppendStrCopy(target.name, target.extension);
  Zet00::AssignIndexFileNames(t);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    if (!oldIndexes[size_t(s)].empty()) files.emplace_back(oldIndexes[size_t(s)], Zet00::IndexPath(t, s).str());
  files.emplace_back(oldCompanion, Zet00::CompanionFileName(t).str());
  for (const char* extension : {".REL", ".MMO", ".BLB"})
    if (oldStem + extension != oldFile) files.emplace_back(oldStem + extension, newStem + extension);
  std::erase_if(files, [](const auto& f) { return !Common::FileExists(f.first); });
  files.emplace_back(oldFile, Common::AppendStrCopy(t.directory, t.fileName).str());
  return files;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> TableFileSet(TZetTable& t, std::string_view newName) {
  const ShortStr fileName = t.fileName;
  auto files = FileSetNames(t, newName);
  t.fileName = fileName;
  Zet00::AssignIndexFileNames(t);
  return files;
}

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

int32_t ZetCopyStructure(const char* sourceFile, const char* targetFile, const char* accessCode, uint32_t tableKey) try {
  const std::string source = UpperFileName(TextIn(sourceFile));
  const std::string target = UpperFileName(TextIn(targetFile));
  int slot = Zet01::OpenSlotOfFile(source);
  const bool opened = slot == 0;
  if (opened) {
    if (ZetTable::OpenCount() >= ZetTable::kMaxOpenTables) return kBadRelation;
    slot = ZetTable::OpenCount() + 1;
    ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
    UPPERCAS::UpperStr(code);
    if (Zet01::OpenTable(slot, 0, source, 0, tableKey, code) != 0) return kOpenFailed;
    ZetTable::SetOpenCount(slot);
  }
  const TZetTable& t = *ZetTable::Table(slot);
  std::unique_ptr<TZetTable> copy = TZetTable::CreateCopy(t, t.version);
  int error = 0;
  const ShortStr directory = Common::SplitFileName(target).directory;
  for (int s = 0; s < ZetTable::kIndexSlots && error == 0; ++s) {
    if (!copy->indexes[size_t(s)] || !Zet00::IsUserIndex(*copy, s)) continue;
    const ShortStr path = Common::AppendStrCopy(directory, copy->indexes[size_t(s)]->fileName);
    if (Common::FileExists(path)) {
      Common::SetFileError(kErrFileExists, path);
      error = kErrFileExists;
    }
  }
  if (error == 0) error = Zet06::CreateTable(*copy, target, Common::ScrambleString(t.tableCode), true, 0, t.tableKey);
  if (opened) Zet06::CloseTablesFrom(slot);
  return -error;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRenameDatFile(const char* oldName, const char* newName, const char* accessCode, uint32_t tableKey) try {
  const std::string source = UpperFileName(TextIn(oldName));
  const std::string target = UpperFileName(TextIn(newName));
  if (Zet01::OpenSlotOfFile(source) != 0) return kNotRenamed;
  if (ZetTable::OpenCount() >= ZetTable::kMaxOpenTables) return -2;
  const int slot = ZetTable::OpenCount() + 1;
  ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
  UPPERCAS::UpperStr(code);
  Zet01::EnterHeaderOnly();
  const int error = Zet01::OpenTable(slot, 0xFFFF, source, 0, tableKey, code);
  if (error != 0) {
    Zet01::LeaveHeaderOnly();
    return error == Zet01::kErrWrongCode ? -12 : error == Zet01::kErrNoWriteRight ? -30 : kOpenFailed;
  }
  ZetTable::SetOpenCount(slot);
  const auto files = FileSetNames(*ZetTable::Table(slot), target);
  Zet06::CloseTablesFrom(slot);
  Zet01::LeaveHeaderOnly();
  size_t done = 0;
  while (done < files.size() && platform::RenameFile(files[done].first, files[done].second) == 0) ++done;
  if (done == files.size()) return 0;
  while (done > 0) {
    --done;
    platform::RenameFile(files[done].second, files[done].first);
  }
  return kNotRenamed;
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRegisterModifications(void) { return 0; }

}  // extern "C"
