// Texts and code that a host hands to the search, mark, find, transfer and
// evaluation exports, over a small filled article table: conditions, index
// key texts, field texts of memo transfers, and compiled code that the host
// keeps and passes back (possibly damaged). Each input starts from the same
// table; no call may read or write outside its buffers, and the cursor must
// keep a valid position.
//
// Input: operation byte (% 8), then the text or code (the rest of the input;
// code is cut to 255 bytes behind a length byte).
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string>

#include "engine/interface/fuzz/fuzz_tables.h"
#include "engine/interface/include/zetcore.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet06_create.h"
#include "engine/units.h"

namespace {

constexpr uint32_t kKey = 0x1234ABCD;

fuzz_tables::TFolders g_dirs;

// ARTIKEL: NR auto number, CODE (identifier index), NAME S12 (NAMEN.IND),
// MENGE I, NOTIZ memo, BILD blob; five records.
void MakeTemplate() {
  g_dirs.Make();
  Units::StartEngine();
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"CODE", Common::kTypeInteger, 1, 10},
                                        {"NAME", Common::kTypeString, 12, 12},
                                        {"MENGE", Common::kTypeInteger, 1, 10},
                                        {"NOTIZ", Common::kTypeMemo, 3, 4},
                                        {"BILD", Common::kTypeBlob, 3, 4}});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {2, 2, Common::kTypeInteger});
  t->idIndexFlag = true;
  t->nextAutoNumber = 1;
  auto index = std::make_unique<ZetTable::TIndexDescriptor>();
  index->fileName = "NAMEN.IND";
  Zet00::SetKeyPart(index->header.data(), 0, {3, 13, Common::kTypeString});
  t->indexes[2] = std::move(index);
  const std::string path = (g_dirs.templateDir / "ARTIKEL.DAT").string();
  if (Zet06::CreateTable(*t, path, Common::ScrambleString(""), false, 0, kKey) != 0) abort();
  const int32_t r = ZetRltnOpen(path.c_str(), "", kKey, 15);
  const int32_t c = ZetTableCreate(r);
  const char* names[] = {"Kiwi", "Apfel", "Birne", "Apfel", "Mango"};
  for (int k = 0; k < 5; ++k) {
    ZetTableAppend(c);
    ZetTableSetStr(c, "CODE", std::to_string(k + 1).c_str());
    ZetTableSetStr(c, "NAME", names[k]);
    ZetTableSetStr(c, "MENGE", std::to_string(7 - k).c_str());
    if (ZetTableAppendConfirm(c) != 0) abort();
  }
  ZetRltnCloseAll();
  Units::StopEngine();
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  g_dirs.Fresh();
  const std::string path = (g_dirs.work / "ARTIKEL.DAT").string();
  Units::StartEngine();
  const int32_t relation = ZetRltnOpen(path.c_str(), "", kKey, 15);
  if (relation != 1) abort();
  const int32_t c = ZetTableCreate(relation);
  if (ZetTableSetRecNo(c, 3) != 3) abort();
  const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
  uint8_t code[256] = {};
  code[0] = uint8_t(std::min<size_t>(size - 1, 255));
  std::memcpy(code + 1, data + 1, code[0]);
  char out[256];
  uint8_t exact = 0;
  switch (data[0] % 8) {
    case 0:
      if (ZetTableSearch(c, text.c_str(), nullptr) > 0) ZetTableSearchContinue(c, nullptr);
      break;
    case 1:
      ZetTableMark(c, text.c_str(), 2, nullptr);
      ZetTableSortMarkedRecs(c, text.c_str());
      break;
    case 2:
      ZetTableFindRec(c, "NAMEN.IND", text.c_str(), &exact);
      ZetTableSearchContinue(c, nullptr);
      break;
    case 3:
      ZetSolve(c, out, code, sizeof out - 1, 2);
      break;
    case 4:
      ZetExecMacro(c, out, code, sizeof out - 1, 2);
      break;
    case 5:
      ZetEvalSelection(c, code);
      break;
    case 6:
      if (ZetTableInitGetMemo(c, text.c_str()) >= 0)
        while (ZetTableGetMemoBlock(out, 7) > 0) {
        }
      ZetTableDoneGetMemo();
      break;
    case 7: {
      ZetTableEdit(c);
      if (ZetTableInitPutMemo(c, "NOTIZ") == 0) {
        ZetTablePutMemoBlock(text.data(), int32_t(text.size()));
        ZetTableDonePutMemo(c, "NOTIZ");
      }
      ZetTableEditConfirm(c);
      if (ZetTableInitGetMemo(c, "NOTIZ") >= 0)
        while (ZetTableGetMemoBlock(out, 255) > 0) {
        }
      ZetTableDoneGetMemo();
      break;
    }
  }
  if (ZetTableGetRecNo(c) < 1) abort();
  ZetRltnCloseAll();
  Units::StopEngine();
  return 0;
}
