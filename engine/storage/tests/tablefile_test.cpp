// The table file header: writing, reading back, the version-1 layout with
// its OEM texts, 6-byte reals and ".CIN" companion, and damaged headers.
#include "engine/storage/zet00.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zet06.h"
#include "engine/storage/zettable_fields.h"

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/storage/tests/zettable_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using ZetTable::TZetTable;
using zettable_test::FieldDef;
using zettable_test::MakeTable;

constexpr uint8_t kNullable = ZetTable::kTypeNullable;
constexpr uint8_t kFormula = ZetTable::kTypeHasFormula;
constexpr uint8_t kRange = ZetTable::kTypeHasRange;

// Every field type, nullable numbers, a choice list, formulas, value ranges,
// an auto number, an internal field and three directory entries.
std::unique_ptr<TZetTable> MakeFullTable() {
  auto t = MakeTable(2, {
                            {"KUERZEL", 0, 0, 1},
                            {"NAME", 1, 30, 30},
                            {"ANZAHL", 2, 1, 10},
                            {"MENGE", 2, 2, 10, kNullable},
                            {"PREIS", 3, 7, 242, kRange},
                            {"GEWICHT", 3, 8, 241, kNullable},
                            {"STUFE", 4, 0, 10},
                            {"AKTIV", 5, 0, 4},
                            {"DATUM", 6, 3, 10},
                            {"NOTIZ", 7, 3, 4},
                            {"FARBE", 8, 0, 243},
                            {"ID", 9, 3, 10},
                            {"KUNDE (KUNDEN)", 10, 3, 10},
                            {"FOTO", 11, 3, 4},
                            {"POSTEN", 12, 0, 0},
                            {"ZEIT", 13, 2, 5, kNullable},
                            {"BRUTTO", 3, 7, 242, kFormula},
                            {"SUMME", 2, 1, 10, kFormula | kRange},
                            {"", 1, 5, 1},
                        });
  t->choiceLists.push_back({11, {"Rot", "Gr\xFCn", "Sehr blau"}});
  t->formulas.push_back({17, "PREIS*1.19", ""});
  t->formulas.push_back({18, "ANZAHL+1", ""});
  t->fieldSpecs.push_back({5, 0.0, 1000.5});
  t->fieldSpecs.push_back({18, -5.0, 5.0});
  bytes::PutU16(t->idKeyDescription.data(), 12);
  bytes::PutU16(t->idKeyDescription.data() + 2, 4);
  t->idKeyDescription[4] = 9;
  t->nextAutoNumber = 4711;
  const char* names[] = {"TEST.ID", "TEST.IN2", "KUNDEN.IND"};
  for (int slot = 1; slot <= 3; ++slot) {
    t->indexes[size_t(slot)] = std::make_unique<ZetTable::TIndexDescriptor>();
    t->indexes[size_t(slot)]->fileName = names[slot - 1];
  }
  t->highestIndexSlot = 3;
  t->tableCode = Common::ScrambleString("GEHEIM");
  return t;
}

Bytes ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const std::string& path, const Bytes& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), std::streamsize(data.size()));
}

std::string TextAt(const Bytes& b, size_t at) { return std::string(b.begin() + long(at) + 1, b.begin() + long(at) + 1 + b[at]); }

class ZetTableHeaderTest : public zettest::EngineTest {
 protected:
  // A table object bound to the file path, opened with mode.
  std::unique_ptr<TZetTable> OpenObject(const std::string& name, uint8_t mode) {
    auto t = std::make_unique<TZetTable>();
    t->tableFile = std::make_unique<LOWFILES::TLowFile>();
    t->directory = TempDir().string() + "/";
    t->fileName = name;
    t->fileOpenMode = mode;
    EXPECT_EQ(LOWFILES::OpenLowFile(*t->tableFile, TempPath(name), mode), 0);
    return t;
  }

  void WriteHeader(TZetTable& t, const std::string& name) {
    t.tableFile = std::make_unique<LOWFILES::TLowFile>();
    t.directory = TempDir().string() + "/";
    t.fileName = name;
    ASSERT_EQ(LOWFILES::CreateLowFile(*t.tableFile, TempPath(name), LOWFILES::kModeReadWriteShared), 0);
    ASSERT_EQ(Zet06::WriteTableHeader(t), 0);
    LOWFILES::CloseLowFile(*t.tableFile, false);
  }
};

TEST_F(ZetTableHeaderTest, Version2HeaderRoundTripsAndLiesWhereTheLayoutSays) {
  auto t = MakeFullTable();
  WriteHeader(*t, "TEST.DAT");
  const size_t headerSize = 691 + 19 * 46 + 11 + 3 * 21 + 2 * 256 + 2 * 16 + 50 + 4;
  EXPECT_EQ(t->headerSize, headerSize);

  const Bytes b = ReadFile(TempPath("TEST.DAT"));
  ASSERT_EQ(b.size(), headerSize);
  EXPECT_EQ(Bytes(b.begin(), b.begin() + 4), (Bytes{0x64, 0xAA, 0x57, 0xFF}));
  EXPECT_EQ(bytes::GetU16(&b[4]), 2);
  EXPECT_EQ(bytes::GetI32(&b[6]), 0);
  EXPECT_EQ(bytes::GetU16(&b[10]), t->recordLength);
  EXPECT_EQ(bytes::GetU16(&b[12]), 19);
  EXPECT_EQ(bytes::GetU16(&b[14]), 3);
  EXPECT_EQ(TextAt(b, 16), "TEST.ID");
  EXPECT_EQ(TextAt(b, 16 + 2 * 45), "KUNDEN.IND");
  EXPECT_EQ(b[16 + 3 * 45], 0);  // slot 4 unused, zero-filled
  EXPECT_EQ(TextAt(b, 691 + 2), "KUERZEL");
  EXPECT_EQ(b[691 + 4 * 46 + 45], 3 | kRange);
  const size_t code = 691 + 19 * 46;
  EXPECT_EQ(b[code], 6);
  EXPECT_EQ(b[code + 1], uint8_t(~'M'));  // reversed and complemented
  EXPECT_EQ(TextAt(b, code + 11), "Rot");
  EXPECT_EQ(TextAt(b, code + 11 + 63), "PREIS*1.19");
  EXPECT_EQ(bytes::GetF64(&b[code + 11 + 63 + 512 + 8]), 1000.5);
  EXPECT_EQ(bytes::GetU16(&b[headerSize - 54]), 12);
  EXPECT_EQ(bytes::GetU32(&b[headerSize - 4]), 4711u);

  auto r = OpenObject("TEST.DAT", LOWFILES::kModeReadShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*r), 0);
  EXPECT_EQ(r->version, 2);
  EXPECT_EQ(r->recordCount, 0);
  EXPECT_EQ(r->recordLength, t->recordLength);
  EXPECT_EQ(r->fieldCount, 19);
  EXPECT_EQ(r->descriptors, t->descriptors);
  EXPECT_EQ(r->offsets, t->offsets);
  EXPECT_EQ(r->headerSize, headerSize);
  EXPECT_EQ(r->highestIndexSlot, 3);
  for (int slot = 1; slot <= 3; ++slot) EXPECT_EQ(r->indexes[size_t(slot)]->fileName, t->indexes[size_t(slot)]->fileName);
  EXPECT_FALSE(r->indexes[4]);
  EXPECT_EQ(r->tableCode, t->tableCode);
  ASSERT_EQ(r->choiceLists.size(), 1u);
  EXPECT_EQ(r->choiceLists[0].field, 11);
  EXPECT_EQ(r->choiceLists[0].entries, t->choiceLists[0].entries);
  ASSERT_EQ(r->formulas.size(), 2u);
  EXPECT_EQ(r->formulas[1].field, 18);
  EXPECT_EQ(r->formulas[1].text.str(), "ANZAHL+1");
  ASSERT_EQ(r->fieldSpecs.size(), 2u);
  EXPECT_EQ(r->fieldSpecs[0].upper, 1000.5);
  EXPECT_EQ(r->fieldSpecs[1].lower, -5.0);
  EXPECT_EQ(r->idKeyDescription, t->idKeyDescription);
  EXPECT_EQ(r->nextAutoNumber, 4711u);
  EXPECT_TRUE(r->hasAutoNumber);
  EXPECT_EQ(r->autoNumberField, 12);
  EXPECT_TRUE(r->indexesPending);
  EXPECT_TRUE(r->hasMemoFile);
  EXPECT_TRUE(r->memoLinks32);
  EXPECT_EQ(r->memoLinkSize, 4);
  EXPECT_TRUE(r->hasBlobFile);
  EXPECT_EQ(r->userFieldCount, 18);  // the nameless field is internal

  // The code is restored on demand and compared with the opener's code.
  EXPECT_EQ(Zet01::CheckTableCode(*r, "GEHEIM"), 0);
  auto wrong = OpenObject("TEST.DAT", LOWFILES::kModeReadShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*wrong), 0);
  EXPECT_EQ(Zet01::CheckTableCode(*wrong, "GEHEIm"), 38);
  EXPECT_EQ(Common::LastError(), -38);
}

TEST_F(ZetTableHeaderTest, ShortFileCutsTheRecordCountAndWritesItBackWhenWritable) {
  auto t = MakeFullTable();
  t->recordCount = 10;
  WriteHeader(*t, "TEST.DAT");
  Bytes b = ReadFile(TempPath("TEST.DAT"));
  b.resize(b.size() + size_t(t->recordLength) * 5 / 2, 0);  // 2.5 records
  WriteFile(TempPath("TEST.DAT"), b);

  auto readOnly = OpenObject("TEST.DAT", LOWFILES::kModeReadShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*readOnly), 0);
  EXPECT_EQ(readOnly->recordCount, 2);
  EXPECT_EQ(bytes::GetI32(&ReadFile(TempPath("TEST.DAT"))[6]), 10);
  readOnly.reset();

  auto writable = OpenObject("TEST.DAT", LOWFILES::kModeReadWriteDenyWrite);
  ASSERT_EQ(Zet01::ReadTableHeader(*writable), 0);
  EXPECT_EQ(writable->recordCount, 2);
  EXPECT_FALSE(writable->countUnknown);
  writable.reset();
  EXPECT_EQ(bytes::GetI32(&ReadFile(TempPath("TEST.DAT"))[6]), 2);

  // A negative count is kept and marks the count unknown.
  b = ReadFile(TempPath("TEST.DAT"));
  bytes::PutI32(&b[6], -1);
  TZetTable unknown;
  ASSERT_EQ(Zet01::ReadTableHeaderFromBytes(unknown, b.data(), b.size()), 0);
  EXPECT_EQ(unknown.recordCount, -1);
  EXPECT_TRUE(unknown.countUnknown);
}

TEST_F(ZetTableHeaderTest, WriteIndexDirectoryRewritesTheDirectoryAndTheCompanion) {
  auto t = MakeFullTable();
  WriteHeader(*t, "TEST.DAT");
  auto r = OpenObject("TEST.DAT", LOWFILES::kModeReadWriteShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*r), 0);
  r->indexes[4] = std::make_unique<ZetTable::TIndexDescriptor>();
  r->indexes[4]->fileName = "NEU.IND";
  r->highestIndexSlot = 4;
  const int h = zettable_test::Install(std::move(r));
  EXPECT_EQ(Zet00::WriteIndexDirectory(h), 677);
  const Bytes b = ReadFile(TempPath("TEST.DAT"));
  EXPECT_EQ(bytes::GetU16(&b[14]), 4);
  EXPECT_EQ(TextAt(b, 16 + 3 * 45), "NEU.IND");

  // Version 1: slots 1..5 in the header, 6.. in the companion.
  auto v1 = MakeTable(1, {{"A", 0, 0, 1}});
  for (int slot = 1; slot <= 6; ++slot) {
    v1->indexes[size_t(slot)] = std::make_unique<ZetTable::TIndexDescriptor>();
    v1->indexes[size_t(slot)]->fileName = "X" + std::to_string(slot) + ".IND";
  }
  v1->highestIndexSlot = 6;
  WriteHeader(*v1, "OLD.DAT");
  v1->tableFile = std::make_unique<LOWFILES::TLowFile>();
  ASSERT_EQ(LOWFILES::OpenLowFile(*v1->tableFile, TempPath("OLD.DAT"), LOWFILES::kModeReadWriteShared), 0);
  v1->indexes[6]->fileName = "SECHS.IND";
  const int h1 = zettable_test::Install(std::move(v1));
  EXPECT_EQ(Zet00::WriteIndexDirectory(h1), 67);
  const Bytes old = ReadFile(TempPath("OLD.DAT"));
  EXPECT_EQ(bytes::GetU16(&old[8]), 6);
  EXPECT_EQ(TextAt(old, 10 + 4 * 13), "X5.IND");
  const Bytes cin = ReadFile(TempPath("OLD.CIN"));
  ASSERT_EQ(cin.size(), 130u);
  EXPECT_EQ(TextAt(cin, 0), "SECHS.IND");
  EXPECT_EQ(cin[13], 0);
}

TEST_F(ZetTableHeaderTest, FieldFactsAreCollectedWhileReading) {
  auto t = MakeTable(2, {
                            {"BILD", 11, 20, 20, kFormula},  // a long P field is an old S field
                            {"NOTIZ", 7, 1, 4},              // 16-bit memo links
                            {"", 7, 3, 4},                   // a nameless memo makes no memo file
                            {std::string(30, 'W'), 1, 20, 20, 0, 40},  // 40 + 30 + 20 > 77
                            {std::string(40, 'X'), 1, 20, 20, 0, 60},  // no room at all
                            {"Z", 2, 1, 10},
                        });
  t->formulas.push_back({1, "1", ""});
  const Bytes b = Zet06::BuildTableHeader(*t);
  TZetTable r;
  ASSERT_EQ(Zet01::ReadTableHeaderFromBytes(r, b.data(), b.size()), 0);
  EXPECT_EQ(r.TypeByte(1), 1 | kFormula);
  EXPECT_FALSE(r.hasBlobFile);
  EXPECT_TRUE(r.hasMemoFile);
  EXPECT_FALSE(r.memoLinks32);
  EXPECT_EQ(r.memoLinkSize, 2);
  // The display width of a text field that would run past column 77 is cut,
  // but never to 0: the field keeps its record bytes.
  EXPECT_EQ(r.Shown(4), 7);
  EXPECT_EQ(r.Shown(5), 1);
  EXPECT_EQ(r.offsets, t->offsets);
  EXPECT_EQ(r.FieldOffset(6), t->FieldOffset(6));
}

// A version-1 file as an old engine wrote it, byte by byte.
struct Version1File {
  Bytes header;
  Bytes companion;
  size_t headerSize = 0;
  static constexpr uint16_t kRecordLength = 21 + 6 + 1 + 6 + 4;

  Version1File() {
    auto u16 = [&](uint16_t v) { header.push_back(uint8_t(v)); header.push_back(uint8_t(v >> 8)); };
    auto u32 = [&](uint32_t v) { u16(uint16_t(v)); u16(uint16_t(v >> 16)); };
    auto entry = [](Bytes& to, const std::string& text, size_t size) {
      to.push_back(uint8_t(text.size()));
      to.insert(to.end(), text.begin(), text.end());
      to.resize(to.size() + size - 1 - text.size(), 0);
    };
    u32(3);               // record count
    u16(kRecordLength);   // record length
    u16(5);               // field count
    u16(0x0017);          // 7 slots; only the low 4 bits count
    for (const char* name : {"KUNDE.IN1", "KUNDE.IN2", "G\x8ESTE.IND", "A.IND", "B.IND"})
      entry(header, name, 13);
    for (const char* name : {"C.IND", "D.IND", "", "", "", "", "", "", "", ""}) entry(companion, name, 13);
    const FieldDef fields[] = {
        {"GR\x99\xE1" "E", 1, 20, 20},        // GRÖßE in code page 850
        {"PREIS", 3, 5, 242, kRange},           // 6-byte real, range
        {"FARBE", 8, 0, 242},                   // two choices
        {"FORMEL", 3, 5, 241, kFormula},
        {"NR", 9, 3, 10},
    };
    for (const FieldDef& f : fields) {
      uint8_t d[46];
      zettable_test::PutDescriptor(d, f);
      header.insert(header.end(), d, d + 46);
    }
    const ShortStr code = Common::ScrambleString("ABC");
    entry(header, code.str(), 11);
    entry(header, "Gr\x81n", 21);  // Grün
    entry(header, "Blau", 21);
    entry(header, "\"gr\x81n\"", 256);
    for (uint8_t b : {0x81, 0, 0, 0, 0, 0, 0x82, 0, 0, 0, 0, 0x20}) header.push_back(b);  // 1.0, 2.5
    Bytes key(50, 0);
    key[0] = 5;
    key[2] = 4;
    key[4] = 9;
    header.insert(header.end(), key.begin(), key.end());
    u32(17);  // next auto number
    headerSize = header.size();
  }

  // Record 1: "Äpfel" (OEM), 2.5, choice 2, 1.0, auto number 1.
  Bytes Record() const {
    Bytes r(kRecordLength, 0);
    r[0] = 5;
    const char* text = "\x8Epfel";
    std::copy(text, text + 5, r.begin() + 1);
    const uint8_t two5[] = {0x82, 0, 0, 0, 0, 0x20}, one[] = {0x81, 0, 0, 0, 0, 0};
    std::copy(two5, two5 + 6, r.begin() + 21);
    r[27] = 2;
    std::copy(one, one + 6, r.begin() + 28);
    r[34] = 1;
    return r;
  }
};

TEST_F(ZetTableHeaderTest, Version1FileReadsNamesAndValuesInAnsi) {
  Version1File v1;
  Bytes file = v1.header;
  for (int i = 0; i < 3; ++i) {
    const Bytes r = v1.Record();
    file.insert(file.end(), r.begin(), r.end());
  }
  WriteFile(TempPath("ALT.DAT"), file);
  WriteFile(TempPath("ALT.CIN"), v1.companion);

  auto t = OpenObject("ALT.DAT", LOWFILES::kModeReadShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*t), 0);
  EXPECT_EQ(t->version, 1);
  EXPECT_EQ(t->recordCount, 3);
  EXPECT_EQ(t->headerSize, v1.headerSize);
  EXPECT_EQ(t->highestIndexSlot, 7);
  EXPECT_EQ(t->indexes[3]->fileName.str(), "G\xC4STE.IND");
  EXPECT_EQ(t->indexes[6]->fileName.str(), "C.IND");
  EXPECT_EQ(t->indexes[7]->fileName.str(), "D.IND");
  EXPECT_EQ(t->StoredName(1), "GR\xD6\xDF" "E");
  EXPECT_EQ(t->choiceLists[0].entries[0].str(), "Gr\xFCn");
  EXPECT_EQ(t->formulas[0].text.str(), "\"gr\xFCn\"");
  EXPECT_EQ(t->fieldSpecs[0].lower, 1.0);
  EXPECT_EQ(t->fieldSpecs[0].upper, 2.5);
  EXPECT_EQ(t->nextAutoNumber, 17u);
  EXPECT_EQ(Zet01::CheckTableCode(*t, "ABC"), 0);

  Bytes record(Version1File::kRecordLength);
  ASSERT_EQ(LOWFILES::ReadBlock(*t->tableFile, t->headerSize, uint16_t(record.size()), 0, record.data()), 0);
  EXPECT_EQ(ZetTable::FieldText(*t, 1, record.data()).str(), "\xC4pfel");
  EXPECT_EQ(ZetTable::FieldText(*t, 2, record.data()).str(), "2.50");
  EXPECT_EQ(ZetTable::FieldText(*t, 3, record.data()).str(), "Blau");
  EXPECT_EQ(ZetTable::FieldText(*t, 4, record.data()).str(), "1.0");
  EXPECT_EQ(ZetTable::FieldText(*t, 5, record.data()).str(), "1");

  // Written back, the header is the old bytes again (the slot count word
  // now without its ignored high bits).
  t->tableCode = Common::ScrambleString("ABC");
  Bytes rebuilt = Zet06::BuildTableHeader(*t);
  Bytes expected = v1.header;
  expected[8] = 7;
  expected[9] = 0;
  EXPECT_EQ(rebuilt, expected);

  // Without its companion the table keeps slots 1..5, without an error.
  std::filesystem::remove(TempPath("ALT.CIN"));
  auto limited = OpenObject("ALT.DAT", LOWFILES::kModeReadShared);
  ASSERT_EQ(Zet01::ReadTableHeader(*limited), 0);
  EXPECT_EQ(limited->highestIndexSlot, 5);
  EXPECT_FALSE(limited->indexes[6]);
}

// Damaged headers: every case is one change to a sound header.
class ZetTableBrokenHeaderTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    auto t = MakeFullTable();
    sound_ = Zet06::BuildTableHeader(*t);
    code_ = 691 + 19 * 46;
  }
  int Read(const Bytes& b) {
    TZetTable t;
    return Zet01::ReadTableHeaderFromBytes(t, b.data(), b.size());
  }
  Bytes sound_;
  size_t code_ = 0;
};

TEST_F(ZetTableBrokenHeaderTest, EveryTruncationIsRefusedWith117) {
  ASSERT_EQ(Read(sound_), 0);
  for (size_t n = 0; n < sound_.size(); ++n) {
    // The copy has exactly n bytes, so ASan sees any read past them.
    Bytes cut(sound_.begin(), sound_.begin() + long(n));
    ASSERT_EQ(Read(cut), 117) << n;
  }
  EXPECT_EQ(Common::LastError(), -117);
}

TEST_F(ZetTableBrokenHeaderTest, InconsistentValuesAreRefusedWith117) {
  const size_t desc2 = 691 + 46;  // NAME, S 30
  const size_t desc3 = 691 + 2 * 46;  // ANZAHL, I
  const size_t idKey = sound_.size() - 54;
  const struct {
    const char* what;
    std::function<void(Bytes&)> change;
  } cases[] = {
      {"magic with version 1", [](Bytes& b) { bytes::PutU16(&b[4], 1); }},
      {"magic with version 0", [](Bytes& b) { bytes::PutU16(&b[4], 0); }},
      {"record length 0", [](Bytes& b) { bytes::PutU16(&b[10], 0); }},
      {"record length 10001", [](Bytes& b) { bytes::PutU16(&b[10], 10001); }},
      {"field count 0", [](Bytes& b) { bytes::PutU16(&b[12], 0); }},
      {"field count 1001", [](Bytes& b) { bytes::PutU16(&b[12], 1001); }},
      {"fields longer than the record",
       [](Bytes& b) { bytes::PutU16(&b[10], uint16_t(bytes::GetU16(&b[10]) - 1)); }},
      {"16 index slots", [](Bytes& b) { bytes::PutU16(&b[14], 16); }},
      {"index name of 45", [](Bytes& b) { b[16] = 45; }},
      {"field name of 41", [desc2](Bytes& b) { b[desc2 + 2] = 41; }},
      {"type code 14", [desc2](Bytes& b) { b[desc2 + 45] = 14; }},
      {"integer of 3 bytes", [desc3](Bytes& b) { b[desc3 + 43] = 2; }},
      {"6-byte real in version 2", [](Bytes& b) { b[691 + 4 * 46 + 43] = 5; }},
      {"table code of 11", [this](Bytes& b) { b[code_] = 11; }},
      {"choice of 21", [this](Bytes& b) { b[code_ + 11] = 21; }},
      {"ID key names field 999", [idKey](Bytes& b) { bytes::PutU16(&b[idKey], 999); }},
      {"ID key part of unknown type", [idKey](Bytes& b) { b[idKey + 4] = 30; }},
      {"ID key part of a memo", [idKey](Bytes& b) { b[idKey + 4] = Common::kTypeMemo; }},
      {"ID key part of a blob", [idKey](Bytes& b) { b[idKey + 4] = Common::kTypeBlob; }},
      {"ID key part of length 0", [idKey](Bytes& b) { bytes::PutU16(&b[idKey + 2], 0); }},
      {"ID key longer than a key", [idKey](Bytes& b) { bytes::PutU16(&b[idKey + 2], 257); }},
      {"key expression of 40",
       [idKey](Bytes& b) {
         bytes::PutU16(&b[idKey], 65535);
         b[idKey + 10] = 40;
       }},
  };
  for (const auto& c : cases) {
    Bytes b = sound_;
    c.change(b);
    EXPECT_EQ(Read(b), 117) << c.what;
  }
}

TEST_F(ZetTableBrokenHeaderTest, LimitsThemselvesAreAccepted) {
  Bytes b = sound_;
  bytes::PutU16(&b[12], 19 | 0x8000);  // bit 15 of the field count is ignored
  bytes::PutU16(&b[10], 10000);        // longer records than the fields need
  TZetTable t;
  ASSERT_EQ(Zet01::ReadTableHeaderFromBytes(t, b.data(), b.size()), 0);
  EXPECT_EQ(t.fieldCount, 19);
  EXPECT_EQ(t.recordLength, 10000);

  std::vector<FieldDef> many(1000, FieldDef{"F", 0, 0, 1});
  const Bytes wide = Zet06::BuildTableHeader(*MakeTable(2, many));
  TZetTable w;
  EXPECT_EQ(Zet01::ReadTableHeaderFromBytes(w, wide.data(), wide.size()), 0);
  EXPECT_EQ(w.fieldCount, 1000);
}

TEST_F(ZetTableBrokenHeaderTest, RandomDamageNeverReadsOutOfBounds) {
  std::mt19937 random(20240611);
  for (int round = 0; round < 3000; ++round) {
    Bytes b = sound_;
    const int changes = 1 + int(random() % 4);
    for (int i = 0; i < changes; ++i) b[random() % b.size()] = uint8_t(random());
    b.resize(b.size() - random() % 64);
    TZetTable t;
    const int rc = Zet01::ReadTableHeaderFromBytes(t, b.data(), b.size());
    ASSERT_TRUE(rc == 0 || rc == 117) << rc;
    if (rc != 0) continue;
    EXPECT_LE(t.ComputeLayout(), t.recordLength);
    EXPECT_LE(t.headerSize, b.size());
  }
}

}  // namespace
