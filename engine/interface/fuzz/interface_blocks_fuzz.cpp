// The argument blocks a host hands the C interface as raw bytes: whole
// records (ZetTableSetRecord), field values (ZetTableSetField), field
// definitions (ZetRltnCreate, ZetRltnRestructure) and host-command records
// (ZetRegisterCommands). Each input starts from the same article table with
// two records (a memo and a blob among them); whatever the blocks hold, no
// call may read or write outside them, and a table written through them must
// agree with every index afterwards.
//
// Input: one byte for the block kind (byte % 4), then the blocks:
//   0 records: two record images (record length each, zero-padded), set
//     into an append and then into an edit of the record appended;
//   1 field values: groups of {user field, length, value bytes}, each set
//     into the append's record buffer, which then becomes the record;
//   2 field definitions: {version, count} and count 562-byte definitions
//     for a new table, then {count} and the definitions of its restructure;
//     the formula and range bits are cleared (their texts run as Lumo code,
//     which the language's own targets cover);
//   3 host commands: {count} and count command records, registered and then
//     compiled into a call of each name.
#include <stdlib.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/fuzz/fuzz_tables.h"
#include "engine/interface/include/zetcore.h"
#include "engine/units.h"

namespace {

constexpr uint32_t kKey = 0x1234ABCD;
constexpr uint8_t kRunsCode = 3;  // formula and range bits of a definition

fuzz_tables::TFolders g_dirs;

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }
  // The next n bytes, zero-padded past the end of the input.
  std::vector<uint8_t> Block(size_t n) {
    std::vector<uint8_t> block(n, 0);
    const size_t take = std::min(n, size_ - pos_);
    if (take > 0) std::memcpy(block.data(), data_ + pos_, take);
    pos_ += take;
    return block;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

void MakeTemplate() {
  g_dirs.Make();
  Units::StartEngine();
  const std::string path = (g_dirs.templateDir / "ARTIKEL.DAT").string();
  if (fuzz_tables::CreateArticleTable(path, kKey) != 0) abort();
  if (ZetRltnOpen(path.c_str(), "", kKey, 15) != 1) abort();
  const int32_t c = ZetTableCreate(1);
  for (const char* name : {"Apfel", "Birne"}) {
    ZetTableAppend(c);
    ZetTableSetStr(c, "CODE", name[0] == 'A' ? "1" : "2");
    ZetTableSetStr(c, "NAME", name);
    ZetTableInitPutMemo(c, "NOTIZ");
    ZetTablePutMemoBlock("eine Notiz", 10);
    ZetTableDonePutMemo(c, "NOTIZ");
    const uint8_t picture[40] = {'B', 'M'};
    ZetTableInitPutBlob(c, "BILD", sizeof picture);
    ZetTablePutBlobBlock(picture, sizeof picture);
    ZetTableDonePutBlob(c, "BILD");
    if (ZetTableAppendConfirm(c) != 0) abort();
  }
  ZetRltnCloseAll();
  Units::StopEngine();
}

// Reads every field of the cursor's record back, the memo and blob whole.
void ReadBack(int32_t c) {
  char text[256];
  for (int32_t k = 1; k <= fuzz_tables::kArticleFieldCount; ++k)
    ZetTableGetStr(c, std::to_string(k).c_str(), text, sizeof text - 1);
  if (ZetTableInitGetMemo(c, "NOTIZ") > 0)
    while (ZetTableGetMemoBlock(text, sizeof text - 1) > 0) {
    }
  ZetTableDoneGetMemo();
  if (ZetTableInitGetBlob(c, "BILD") > 0)
    while (ZetTableGetBlobBlock(text, sizeof text) > 0) {
    }
  ZetTableDoneGetBlob();
}

void Records(Reader& in) {
  const int32_t c = ZetTableCreate(1);
  const size_t length = size_t(ZetTableGetRecordSize(c));
  ZetTableAppend(c);
  std::vector<uint8_t> record = in.Block(length);
  ZetTableSetRecord(c, record.data());
  if (ZetTableAppendConfirm(c) != 0) ZetTableAppendCancel(c);
  ReadBack(c);
  record = in.Block(length);
  if (ZetTableEdit(c) == 0) {
    ZetTableSetRecord(c, record.data());
    if (ZetTableEditConfirm(c) != 0) ZetTableEditCancel(c);
  }
  ReadBack(c);
}

void FieldValues(Reader& in) {
  const int32_t c = ZetTableCreate(1);
  std::vector<uint8_t> record(size_t(ZetTableGetRecordSize(c)));
  ZetTableAppend(c);
  ZetTableGetRecord(c, record.data());
  for (int n = 0; n < 8; ++n) {
    const int32_t field = int8_t(in.Byte());
    std::vector<uint8_t> value = in.Block(in.Byte());
    value.resize(256, 0);
    ZetTableSetField(c, field, record.data(), value.data());
  }
  ZetTableSetRecord(c, record.data());
  if (ZetTableAppendConfirm(c) != 0) ZetTableAppendCancel(c);
  ReadBack(c);
}

std::vector<ZetFieldDef> g_definitions;
void Definition(int32_t field, ZetFieldDef* def, uint32_t) {
  if (field >= 1 && size_t(field) <= g_definitions.size()) *def = g_definitions[size_t(field - 1)];
}

void ReadDefinitions(Reader& in, size_t count) {
  g_definitions.clear();
  for (size_t n = 0; n < count; ++n) {
    const std::vector<uint8_t> bytes = in.Block(sizeof(ZetFieldDef));
    ZetFieldDef def;
    std::memcpy(&def, bytes.data(), sizeof def);
    def.properties = uint8_t(def.properties & ~kRunsCode);
    g_definitions.push_back(def);
  }
}

void FieldDefinitions(Reader& in) {
  const int32_t version = 1 + (in.Byte() & 1);
  ReadDefinitions(in, 1 + in.Byte() % 8);
  const std::string path = (g_dirs.work / "NEU.DAT").string();
  if (ZetRltnCreate(path.c_str(), "", kKey, version, int32_t(g_definitions.size()), Definition, 0, 0) != 0) return;
  const int32_t relation = ZetRltnOpen(path.c_str(), "", kKey, 15);
  if (relation <= 0) return;
  const int32_t c = ZetTableCreate(relation);
  const int32_t fields = ZetTableGetNumFields(c);
  ZetTableAppend(c);
  for (int32_t k = 1; k <= fields; ++k) ZetTableSetStr(c, std::to_string(k).c_str(), "1");
  if (ZetTableAppendConfirm(c) != 0) ZetTableAppendCancel(c);
  ReadBack(c);
  ZetTableDelete(c);
  ReadDefinitions(in, 1 + in.Byte() % 8);
  if (ZetRltnRestructure(relation, "", kKey, version, int32_t(g_definitions.size()), Definition, 0, nullptr) != 0)
    return;
  const int32_t after = ZetTableCreate(relation);
  for (int32_t r = ZetTableFirst(after); r >= 0; r = ZetTableMoveBy(after, 1)) ReadBack(after);
  zetfuzz::CheckIndexesAgree(relation);
}

void HostCommands(Reader& in) {
  const size_t count = in.Byte() % 8;
  std::vector<ZetCommandRecord> records(count);
  for (ZetCommandRecord& r : records) {
    const std::vector<uint8_t> bytes = in.Block(sizeof r);
    std::memcpy(&r, bytes.data(), sizeof r);
  }
  InitCommands();
  ZetRegisterCommands(int32_t(count), records.data());
  const int32_t c = ZetTableCreate(1);
  char name[256], help[256], signature[256];
  const int32_t names = ZetGetFunctionCount(230);
  for (int32_t k = 1; k <= names; ++k) {
    uint32_t code = 0, params = 0, flag = 0;
    ZetGetFunctionName(230, k, name, sizeof name - 1, &code);
    ZetGetFunctionDescription(name, &params, help, sizeof help - 1, signature, sizeof signature - 1, &flag);
    uint8_t compiled[256];
    ZetTokenize(c, compiled, (std::string(name) + "(1, 'a')").c_str());
  }
  ExitCommands();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_dirs.Fresh();
  Units::StartEngine();
  if (ZetRltnOpen((g_dirs.work / "ARTIKEL.DAT").string().c_str(), "", kKey, 15) != 1) abort();
  Reader in(data, size);
  switch (in.Byte() % 4) {
    case 0: Records(in); break;
    case 1: FieldValues(in); break;
    case 2: FieldDefinitions(in); break;
    default: HostCommands(in); break;
  }
  zetfuzz::CheckIndexesAgree(1);
  ZetRltnCloseAll();
  Units::StopEngine();
  return 0;
}
