// Random sequences of interface calls over a small article table: opening and
// closing the relation, cursors made and deleted, navigation in every order,
// appends, edits and deletes, and calls with bad handles. Each input starts
// from the same empty table; at its end the table must agree with every
// index (each record 1..count has exactly its key, and no other key).
//
// Input: a sequence of operations, one byte each (operation = byte % 24)
// followed by the argument bytes that operation takes.
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/fuzz/fuzz_tables.h"
#include "engine/interface/include/zetcore.h"
#include "engine/storage/fuzz/indexes_agree.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/units.h"

namespace {

constexpr uint32_t kKey = 0x1234ABCD;
constexpr uint16_t kCode = 2, kName = 3, kMenge = 4;

fuzz_tables::TFolders g_dirs;

// The table: NR auto number, CODE (unique identifier index), NAME S12 and
// MENGE with an index each, NOTIZ memo.
void MakeTemplate() {
  g_dirs.Make();
  Units::StartEngine();
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"CODE", Common::kTypeInteger, 1, 10},
                                        {"NAME", Common::kTypeString, 12, 12},
                                        {"MENGE", Common::kTypeInteger, 1, 10},
                                        {"NOTIZ", Common::kTypeMemo, 3, 4}});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {kCode, 2, Common::kTypeInteger});
  t->idIndexFlag = true;
  t->nextAutoNumber = 1;
  auto index = [](const char* name, uint16_t field, uint16_t length, uint8_t type) {
    auto d = std::make_unique<ZetTable::TIndexDescriptor>();
    d->fileName = name;
    Zet00::SetKeyPart(d->header.data(), 0, {field, length, type});
    return d;
  };
  t->indexes[2] = index("NAMEN.IND", kName, 13, Common::kTypeString);
  t->indexes[3] = index("MENGE.IND", kMenge | ZetTable::kKeyDescending, 2, Common::kTypeInteger);
  const std::string path = (g_dirs.templateDir / "ARTIKEL.DAT").string();
  if (Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, kKey) != 0)
    abort();
  Units::StopEngine();
}

class Reader {
 public:
  Reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool More() const { return pos_ < size_; }
  uint8_t Byte() { return pos_ < size_ ? data_[pos_++] : 0; }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
};

const char* const kOrders[] = {"Nummer", "Markierung", "NAMEN.IND", "menge.ind", "ARTIKEL.ID", "nope"};
const char* const kNames[] = {"Apfel", "Birne", "", "Kiwi", "Zitronenbaumblatt", "7"};
const char* const kFields[] = {"CODE", "NAME", "MENGE", "1", "4", "NR", "NOPE", "ARTIKEL.NAME"};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  g_dirs.Fresh();
  const std::string path = (g_dirs.work / "ARTIKEL.DAT").string();
  Units::StartEngine();
  int32_t relation = ZetRltnOpen(path.c_str(), "", kKey, 15);
  if (relation != 1) abort();
  std::vector<int32_t> cursors;
  auto pick = [&](Reader& in) -> int32_t {
    const uint8_t b = in.Byte();
    if (cursors.empty() || b >= 240) return int32_t(b % 4 == 0 ? 0 : b % 4 == 1 ? 51 : b % 4 == 2 ? -1 : 17);
    return cursors[b % cursors.size()];
  };
  char text[64];
  Reader in(data, size);
  for (int steps = 0; in.More() && steps < 400; ++steps) {
    switch (in.Byte() % 24) {
      case 0: {
        const int32_t c = ZetTableCreate(relation > 0 ? relation : 1);
        if (c > 0) cursors.push_back(c);
        break;
      }
      case 1: {
        const int32_t c = pick(in);
        ZetTableDelete(c);
        std::erase(cursors, c);
        break;
      }
      case 2: ZetTableFirst(pick(in)); break;
      case 3: ZetTableLast(pick(in)); break;
      case 4: {
        const int32_t c = pick(in);
        ZetTableMoveBy(c, int8_t(in.Byte()) % 5);
        break;
      }
      case 5: {
        const int32_t c = pick(in);
        ZetTableSetRecNo(c, int8_t(in.Byte()));
        break;
      }
      case 6: {
        const int32_t c = pick(in);
        const uint8_t b = in.Byte();
        ZetTableSetAccess(c, kOrders[b % 6], b & 0x80);
        break;
      }
      case 7: ZetTableAppend(pick(in)); break;
      case 8: {
        const int32_t c = pick(in);
        const uint8_t f = in.Byte(), v = in.Byte();
        const std::string value = f % 3 == 1 ? std::string(kNames[v % 6]) : std::to_string(int(v) - 20);
        ZetTableSetStr(c, kFields[f % 8], value.c_str());
        break;
      }
      case 9: ZetTableAppendConfirm(pick(in)); break;
      case 10: ZetTableAppendCancel(pick(in)); break;
      case 11: ZetTableEdit(pick(in)); break;
      case 12: ZetTableEditConfirm(pick(in)); break;
      case 13: ZetTableEditCancel(pick(in)); break;
      case 14: ZetTableDeleteRecord(pick(in)); break;
      case 15: {
        const int32_t c = pick(in);
        ZetTableGetStr(c, kFields[in.Byte() % 8], text, int32_t(in.Byte() % sizeof text) - 1);
        break;
      }
      case 16: {
        const int32_t c = pick(in);
        ZetTableGotoMark(c, in.Byte() & 1);
        break;
      }
      case 17: {
        const int32_t c = ZetTableClone(pick(in));
        if (c > 0) cursors.push_back(c);
        break;
      }
      case 18:
        // Close and reopen: cursors of the closed table reach nothing.
        if (ZetRltnClose(1) == 0) relation = ZetRltnOpen(path.c_str(), "", kKey, 15);
        break;
      case 19: ZetTableAppendDuplicate(pick(in)); break;
      case 20: {
        const int32_t c = pick(in);
        if (in.Byte() & 1) ZetTableStartProtected(c);
        else ZetTableEndProtected(c);
        break;
      }
      case 21: {
        const int32_t c = pick(in);
        if (in.Byte() & 1) ZetTableStartContinousRead(c);
        else ZetTableEndContinousRead(c);
        break;
      }
      case 22:
        if (in.Byte() & 1) ZetPushState();
        else ZetPopState();
        break;
      case 23: {
        const int32_t c = pick(in);
        ZetTableSetRelationSet(c, in.Byte() & 3, 0);
        break;
      }
    }
  }
  if (relation != 1) relation = ZetRltnOpen(path.c_str(), "", kKey, 15);
  if (relation == 1) zetfuzz::CheckIndexesAgree(relation);
  ZetRltnCloseAll();
  Units::StopEngine();
  return 0;
}
