// Delimited text imported end to end through ZetTableImport into a table of
// every field type that takes text (C, S, I, F, B, J, D, time, choice, memo),
// with a range, a formula, an identifier index and user indexes on text,
// number and date. Text files come from anywhere.
//
// What must hold for every file:
//   1. The import answers 0, -203 (a value, a syntax error or an early end
//      stopped it) or -1; the records it appended stay.
//   2. Every index agrees with the records afterwards.
//   3. An export of the records imported reads back the same: exported,
//      imported into an empty copy and exported again, the bytes are equal,
//      and that import answers 0 with every record.
//
// Input: byte 0 chooses the format (bits 0-1, % 3: ";", ",", one value per line), the
// header line (bit 2) and the code page (bit 3: ANSI); the rest is the file.
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "engine/storage/fuzz/indexes_agree.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/testsupport/fuzz_file.h"
#include "engine/units.h"

namespace {

using zetfuzz::Require;

constexpr int32_t kAllRights = 15;
constexpr uint16_t kNr = 1, kName = 3, kMenge = 4, kNotiz = 11, kGesamt = 12;
constexpr int16_t kNotizColumn = 10;

std::filesystem::path g_template;

std::unique_ptr<ZetTable::TIndexDescriptor> Index(const char* name, uint16_t field, uint16_t length, uint8_t type) {
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  d->fileName = name;
  Zet00::SetKeyPart(d->header.data(), 0, {field, length, type});
  return d;
}

// ALLES.DAT: NR N, K C, NAME S20, MENGE I (range -1000..1000), PREIS F,
// STUFE B, AKTIV J, DATUM D, ZEIT T, FARBE choice, NOTIZ memo, GESAMT F =
// MENGE * PREIS; the identifier index on NAME and NR; NAMEN.IND, MENGE.IND
// (descending), DATUM.IND.
void MakeTemplate() {
  g_template = zetfuzz::TempDir::Path() + "/template";
  std::filesystem::create_directories(g_template);
  auto t = zettable_test::MakeTable(2, {{"NR", Common::kTypeAutoNumber, 3, 10},
                                        {"K", Common::kTypeChar, 0, 1},
                                        {"NAME", Common::kTypeString, 20, 20},
                                        {"MENGE", Common::kTypeInteger, 1, 6, ZetTable::kTypeHasRange},
                                        {"PREIS", Common::kTypeReal, 7, 0x92},
                                        {"STUFE", Common::kTypeByte, 0, 3},
                                        {"AKTIV", Common::kTypeBool, 0, 4},
                                        {"DATUM", Common::kTypeDate, 3, 10},
                                        {"ZEIT", Common::kTypeTime, 1, 5},
                                        {"FARBE", Common::kTypeChoice, 0, 3},
                                        {"NOTIZ", Common::kTypeMemo, 3, 4},
                                        {"GESAMT", Common::kTypeReal, 7, 0x92, ZetTable::kTypeHasFormula}});
  t->fieldSpecs.push_back({kMenge, -1000, 1000});
  t->formulas.push_back({kGesamt, ShortStr("MENGE * PREIS"), {}});
  t->choiceLists.push_back({10, {"Rot", "Gruen", "Dunkel blau"}});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {kName, 21, Common::kTypeString});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 1, {kNr, 4, Common::kTypeAutoNumber});
  t->nextAutoNumber = 1;
  t->indexes[2] = Index("NAMEN.IND", kName, 21, Common::kTypeString);
  t->indexes[3] = Index("MENGE.IND", kMenge | ZetTable::kKeyDescending, 2, Common::kTypeInteger);
  t->indexes[4] = Index("DATUM.IND", 8, 4, Common::kTypeDate);
  Require(Zet06::CreateTable(*t, (g_template / "ALLES.DAT").string(), Common::ScrambleString(""), false, 0, 0) == 0);
  Units::StopEngine();  // each run starts its own
}

// A cursor on a fresh copy of the template in folder name; relation takes
// its relation (the table's slot).
int32_t FreshCopy(const std::string& name, int32_t& relation) {
  const std::filesystem::path dir = zetfuzz::TempDir::Path() + "/" + name;
  std::filesystem::remove_all(dir);
  std::filesystem::copy(g_template, dir);
  relation = ZetRltnOpen((dir / "ALLES.DAT").string().c_str(), "", 0, kAllRights);
  Require(relation > 0);
  const int32_t cursor = ZetTableCreate(relation);
  Require(cursor > 0);
  return cursor;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  MakeTemplate();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const uint8_t format = (data[0] & 3) % 3;
  const uint8_t header = (data[0] >> 2) & 1, ansi = (data[0] >> 3) & 1;
  // Columns in the order an export writes the fields (user fields 2..10),
  // then the memo.
  std::vector<int16_t> map(1000, 0);
  for (int16_t k = 1; k <= 9; ++k) map[size_t(k)] = k;
  map[kNotiz - 1] = kNotizColumn;

  Units::StartEngine();
  {
    zetfuzz::InputFile input(data + 1, size - 1, ".TXT");
    int32_t relation = 0, copyRelation = 0;
    const int32_t c = FreshCopy("a", relation);
    const int32_t answer = ZetTableImport(c, "", input.path().c_str(), "", 0, format, map.data(), header, ansi,
                                          nullptr, 0);
    Require(answer == 0 || answer == -203 || answer == -1);  // rule 1
    zetfuzz::CheckIndexesAgree(relation);                   // rule 2
    const int32_t count = ZetTableRecordCount(c);
    // Rule 3 (one record per file in the one-value-per-line format).
    if (count > 0 && (format != 2 || count == 1)) {
      const std::string first = zetfuzz::TempDir::Path() + "/first.txt";
      const std::string again = zetfuzz::TempDir::Path() + "/again.txt";
      // The whole file is one line in the one-value-per-line format: no header.
      const uint8_t names = format == 2 ? 0 : 1;
      Require(ZetTableExport(c, "", first.c_str(), format, ansi, names, nullptr) == 0);
      const int32_t copy = FreshCopy("b", copyRelation);
      Require(ZetTableImport(copy, "", first.c_str(), "", 0, format, map.data(), names, ansi, nullptr, 0) == 0);
      Require(ZetTableRecordCount(copy) == count);
      zetfuzz::CheckIndexesAgree(copyRelation);
      Require(ZetTableExport(copy, "", again.c_str(), format, ansi, names, nullptr) == 0);
      Require(zetfuzz::ReadWholeFile(first) == zetfuzz::ReadWholeFile(again));
    }
  }
  ZetRltnCloseAll();
  Units::StopEngine();
  return 0;
}
