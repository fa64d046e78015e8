// Table structures through the interface: an empty copy of a table's
// structure under a new name, and the registration of modifications (which
// this engine does not need).
//
// What always holds:
//   1. A structure copy never changes the source: an open source is read
//      where it stands, any other one is opened read-only for the copy and
//      closed again.
//   2. The copy is written by the table creator of table storage, which
//      erases what it made when it fails: the target is whole or absent.
#include <string>

#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kOpenFailed = -1;

// The name with its file part upper-cased (directories stay as written).
std::string UpperFileName(std::string_view name) {
  std::string text(name);
  const size_t slash = text.find_last_of("/\\");
  ShortStr file(std::string_view(text).substr(slash == std::string::npos ? 0 : slash + 1));
  UPPERCAS::UpperStr(file);
  return text.substr(0, slash == std::string::npos ? 0 : slash + 1) + file.str();
}

}  // namespace

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

int32_t ZetCopyStructure(const char* sourceFile, const char* targetFile, const char* accessCode, uint32_t tableKey) {
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
  const int error = Zet06::CreateTable(*copy, target, Common::ScrambleString(t.tableCode), true, 0, t.tableKey);
  if (opened) Zet06::CloseTablesFrom(slot);
  return -error;
}

int32_t ZetRegisterModifications(void) { return 0; }

}  // extern "C"
