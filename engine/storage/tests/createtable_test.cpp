// Creating table files, relation tables and the small services of the
// creation unit.



#include "engine/base/bytes.h"
#include "engine/base/engassert.h"
#include "engine/storage/btrees.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/tests/index_test_util.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06.h"
#include "engine/storage/zet06_create.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;
using ZetTable::TZetTable;
using zettable_test::FieldDef;
using zettable_test::MakeTable;

class Zet06CreateTest : public zettest::EngineTest {
 protected:
  bool Exists(const std::string& name) const { return std::filesystem::exists(TempDir() / name); }
  Bytes FileBytes(const std::string& name) const {
    std::ifstream in(TempDir() / name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }
  // Reads a table file's header into a fresh object.
  std::unique_ptr<TZetTable> ReadBack(const std::string& name) {
    auto t = std::make_unique<TZetTable>();
    t->directory = (TempDir().string() + "/").c_str();
    t->fileName = name;
    t->tableFile = std::make_unique<LOWFILES::TLowFile>();
    EXPECT_EQ(LOWFILES::OpenLowFile(*t->tableFile, TempPath(name), LOWFILES::kModeReadShared), 0);
    EXPECT_EQ(Zet01::ReadTableHeader(*t), 0);
    return t;
  }
  // The 57-byte header an index file keeps after the tree's header.
  Bytes IndexHeader(const std::string& name) {
    const Bytes file = FileBytes(name);
    EXPECT_GE(file.size(), BTREES::kUserHeaderOffset + ZetTable::kIndexHeaderSize) << name;
    return Bytes(file.begin() + BTREES::kUserHeaderOffset,
                 file.begin() + BTREES::kUserHeaderOffset + ZetTable::kIndexHeaderSize);
  }
};

std::unique_ptr<ZetTable::TIndexDescriptor> UserIndex(const std::string& name, uint16_t field, uint16_t length,
                                                       uint8_t type) {
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  d->fileName = name;
  Zet00::SetKeyPart(d->header.data(), 0, {field, length, type});
  return d;
}

// Every field type, nullable numbers, an auto number, a choice list, a
// formula, a value range, and two user indexes handed in at odd slots.
std::unique_ptr<TZetTable> MakeEveryTypeTable() {
  auto t = MakeTable(2, {{"KZ", 0, 0, 1},
                         {"NAME", 1, 20, 20},
                         {"ANZAHL", 2, 2, 10, ZetTable::kTypeNullable},
                         {"PREIS", 3, 8, 242, ZetTable::kTypeNullable | ZetTable::kTypeHasRange},
                         {"STUFE", 4, 0, 10},
                         {"AKTIV", 5, 0, 4},
                         {"DATUM", 6, 3, 10},
                         {"NOTIZ", 7, 3, 4},
                         {"FARBE", 8, 0, 242},
                         {"NR", 9, 3, 10},
                         {"KUNDE (KUNDEN)", 10, 3, 10},
                         {"FOTO", 11, 3, 4},
                         {"POSTEN", 12, 0, 0},
                         {"ZEIT", 13, 1, 5},
                         {"BRUTTO", 3, 7, 242, ZetTable::kTypeHasFormula}});
  t->choiceLists.push_back({9, {"Rot", "Gr\xFCn"}});
  t->formulas.push_back({15, "PREIS*1.19", ""});
  t->fieldSpecs.push_back({4, 0.0, 99.5});
  Zet00::SetKeyPart(t->idKeyDescription.data(), 0, {2, 21, Common::kTypeString});
  t->nextAutoNumber = 100;
  t->idIndexFlag = true;
  t->indexes[7] = UserIndex("NAMEN.IND", 2, 21, Common::kTypeString);
  t->indexes[3] = UserIndex("DATUM.IND", 7 | ZetTable::kKeyDescending, 4, Common::kTypeDate);
  return t;
}

TEST_F(Zet06CreateTest, TableWithEveryFieldTypeGetsItsFilesAndReadsBack) {
  auto t = MakeEveryTypeTable();
  const std::string path = TempPath("ARTIKEL.DAT");
  ASSERT_EQ(Zet06::CreateTable(*t, path, Common::ScrambleString("GEHEIM"), false, 0, 0x1234), 0);

  // Slots: .INR, .ID, one link index, then the user indexes in their order.
  EXPECT_EQ(t->highestIndexSlot, 4);
  const std::vector<std::string> names = {"ARTIKEL.INR", "ARTIKEL.ID", "ARTIKEL.IN1", "DATUM.IND", "NAMEN.IND"};
  for (size_t slot = 0; slot < names.size(); ++slot) {
    EXPECT_EQ(t->indexes[slot]->fileName.view(), names[slot]);
    EXPECT_TRUE(Exists(names[slot])) << names[slot];
  }
  EXPECT_TRUE(Exists("ARTIKEL.MMO"));
  EXPECT_TRUE(Exists("ARTIKEL.BLB"));
  EXPECT_FALSE(Exists("POSTEN.REL"));  // no relations asked for

  // The file holds exactly the header the table's object describes.
  const Bytes file = FileBytes("ARTIKEL.DAT");
  EXPECT_EQ(file, Zet06::BuildTableHeader(*t));
  auto back = ReadBack("ARTIKEL.DAT");
  EXPECT_EQ(back->recordCount, 0);
  EXPECT_EQ(back->recordLength, t->recordLength);
  EXPECT_EQ(back->descriptors, t->descriptors);
  EXPECT_EQ(back->highestIndexSlot, 4);
  EXPECT_EQ(back->indexes[4]->fileName.view(), "NAMEN.IND");
  EXPECT_EQ(back->nextAutoNumber, 100u);
  EXPECT_EQ(back->idKeyDescription, t->idKeyDescription);
  EXPECT_TRUE(back->hasAutoNumber);
  EXPECT_EQ(back->autoNumberField, 10);
  EXPECT_EQ(Zet01::CheckTableCode(*back, "GEHEIM"), 0);

  // Index headers: the key description, written flag, count 0, key length;
  // the ID index carries its mark.
  const Bytes inr = IndexHeader("ARTIKEL.INR");
  EXPECT_EQ(Zet00::KeyPart(inr.data(), 0).field, 10);
  EXPECT_EQ(inr[ZetTable::kIdxWrittenFlag], 1);
  EXPECT_EQ(bytes::GetU32(inr.data() + ZetTable::kIdxRecordCount), 0u);
  EXPECT_EQ(bytes::GetU16(inr.data() + ZetTable::kIdxKeyLength), 8);
  EXPECT_FALSE(Zet00::HasIdMark(inr.data()));
  const Bytes id = IndexHeader("ARTIKEL.ID");
  EXPECT_TRUE(Zet00::HasIdMark(id.data()));
  EXPECT_EQ(bytes::GetU16(id.data() + ZetTable::kIdxKeyLength), 25);
  const Bytes link = IndexHeader("ARTIKEL.IN1");
  EXPECT_EQ(Zet00::KeyPart(link.data(), 0).field, 11);
  EXPECT_EQ(Zet00::KeyPart(link.data(), 0).type, Common::kTypeLink);
  // 8-byte keys get 512-byte pages under the default setting.
  EXPECT_EQ(bytes::GetU16(FileBytes("ARTIKEL.IN1").data() + BTREES::kHeaderPageSize), 512);
  EXPECT_EQ(bytes::GetU16(FileBytes("NAMEN.IND").data() + BTREES::kHeaderPageSize), 4096);

  // Opened, every index fits the table as it is: nothing is rebuilt, and the
  // ID index is unique.
  const int h = index_test::OpenForTest(path, ZetTable::kRightsMask, 0x1234);
  ASSERT_GT(h, 0);
  Common::ResetLastError();
  EXPECT_EQ(Zet00::OpenIndexes(h), 0);
  EXPECT_EQ(Common::LastError(), 0);
  EXPECT_TRUE(Zet00::IsUniqueIndex(*ZetTable::Table(h), 1));
  EXPECT_FALSE(Zet00::IsUniqueIndex(*ZetTable::Table(h), 4));
}

TEST_F(Zet06CreateTest, ObjectsThatDescribeNoTableAndTooManyIndexesCreateNothing) {
  auto bad = MakeTable(2, {{"A", 2, 1, 10}});
  bad->recordLength = 1;  // the field takes 2 bytes
  EXPECT_EQ(Zet06::CreateTable(*bad, TempPath("BAD.DAT"), {}, false, 0, 0), ZetTable::kErrBadStructure);
  EXPECT_FALSE(Exists("BAD.DAT"));

  std::vector<FieldDef> links;
  for (int i = 0; i < 15; ++i) links.push_back({"L" + std::to_string(i), 10, 3, 10});
  auto full = MakeTable(2, links);
  full->indexes[1] = UserIndex("EXTRA.IND", 1, 4, Common::kTypeLink);
  EXPECT_EQ(Zet06::CreateTable(*full, TempPath("VOLL.DAT"), {}, false, 0, 0), Zet00::kErrTooManyIndexes);
  EXPECT_EQ(Common::LastError(), -Zet00::kErrTooManyIndexes);
  EXPECT_FALSE(Exists("VOLL.DAT"));
  EXPECT_TRUE(std::filesystem::is_empty(TempDir()));
}

// Paths are never cut: a table whose path, or the path of any file named
// after it (side files, indexes, relation tables), would pass 255 characters
// is refused with 26 before anything is made, opened or erased, even where
// the cut path names a file that exists.
TEST_F(Zet06CreateTest, PathsThatDoNotFitAreRefusedNeverCut) {
  // A directory whose path with its final "/" is exactly length characters.
  auto deepDir = [&](size_t length) {
    std::string dir = TempDir().string() + "/";
    for (char c = 'a'; dir.size() < length; ++c) {
      dir += std::string(std::min<size_t>(length - dir.size() - 1, 60), c) + "/";
      std::filesystem::create_directory(dir);
    }
    EXPECT_EQ(dir.size(), length);
    return dir;
  };
  const std::string d248 = deepDir(248);
  auto withMemo = [] { return MakeTable(2, {{"NAME", 1, 20, 20}, {"NOTIZ", 7, 3, 4}}); };

  // "TABLE.D" fits exactly, its memo file "TABLE.MMO" would not.
  EXPECT_EQ(Zet06::CreateTable(*withMemo(), d248 + "TABLE.D", {}, false, 0, 0), Common::kErrPathTooLong);
  EXPECT_EQ(Common::LastError(), -26);
  EXPECT_FALSE(std::filesystem::exists(d248 + "TABLE.D"));
  // A relation table named after a field of 40 characters.
  auto related = MakeTable(2, {{"NAME", 1, 20, 20}, {std::string(40, 'R'), 12, 0, 0}});
  EXPECT_EQ(Zet06::CreateTable(*related, d248 + "R.DAT", {}, true, 0, 0), Common::kErrPathTooLong);
  EXPECT_FALSE(std::filesystem::exists(d248 + "R.DAT"));
  // The table path itself, one character too long.
  EXPECT_EQ(Zet06::CreateTable(*withMemo(), d248 + "LONGER.D", {}, false, 0, 0), Common::kErrPathTooLong);
  EXPECT_TRUE(std::filesystem::is_empty(d248));

  // A table that fits, and a user index whose name would not.
  ASSERT_EQ(Zet06::CreateTable(*withMemo(), d248 + "T.DAT", {}, false, 0, 0), 0);
  const int slot = ZetTable::OpenCount() + 1;
  ASSERT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, d248 + "T.DAT", 0, 0, ""), 0);
  EXPECT_EQ(MakeIV::CreateUserIndex(true, slot, "NAME", "NAMEN", false, nullptr), 0);
  EXPECT_EQ(Common::LastError(), -26);
  EXPECT_FALSE(std::filesystem::exists(d248 + "NAMEN.IND"));
  EXPECT_EQ(MakeIV::CreateUserIndex(true, slot, "NAME", "N", false, nullptr), 1);
  EXPECT_TRUE(std::filesystem::exists(d248 + "N.IND"));
  ASSERT_EQ(Zet01::CloseTable(slot), 0);
  if (ZetTable::OpenCount() == slot) ZetTable::SetOpenCount(slot - 1);

  // A table file lies where a path of 256 characters would be cut; opening
  // and erasing by the long path leave it alone.
  const std::string d250 = deepDir(250);
  std::filesystem::copy_file(d248 + "T.DAT", d250 + "ABCDE");
  const std::string longPath = d250 + "ABCDE.DAT";
  ASSERT_EQ(longPath.size(), 259u);
  EXPECT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, longPath, 0, 0, ""), Common::kErrPathTooLong);
  EXPECT_EQ(ZetTable::Table(slot), nullptr);
  int code = 0;
  EXPECT_FALSE(Zet01::DeleteTableFiles(longPath, {}, 0, code, {}, true));
  EXPECT_EQ(code, Common::kErrPathTooLong);
  EXPECT_TRUE(std::filesystem::exists(d250 + "ABCDE"));
  // The file layer refuses what it cannot keep whole, too.
  LOWFILES::TLowFile file;
  EXPECT_NE(LOWFILES::OpenLowFile(file, d250 + "ABCDE" + std::string(5, 'x'), LOWFILES::kModeReadShared), 0);
  EXPECT_FALSE(file.isOpen);
}

// A creation that fails at any write or file creation erases what it made:
// no half-made table, index, memo or blob file stays behind.
TEST_F(Zet06CreateTest, FailedCreationLeavesNoFileBehind) {
  for (platform::FileOp kind : {platform::FileOp::Write, platform::FileOp::Create}) {
    bool created = false;
    for (int nth = 1; nth <= 40 && !created; ++nth) {
      SCOPED_TRACE((kind == platform::FileOp::Write ? "write " : "create ") + std::to_string(nth));
      auto t = MakeEveryTypeTable();
      platform::InjectFileFault(kind, nth, platform::kDosWriteFault);
      const int rc = Zet06::CreateTable(*t, TempPath("ALLES.DAT"), {}, false, 0, 0);
      platform::ResetFileFaults();
      created = rc == 0;
      if (!created) {
        EXPECT_NE(Common::LastError(), 0);
        EXPECT_TRUE(std::filesystem::is_empty(TempDir()));
      }
      for (const auto& e : std::filesystem::directory_iterator(TempDir())) std::filesystem::remove(e.path());
    }
    EXPECT_TRUE(created) << "every step of the creation was made to fail";
  }
}

TEST_F(Zet06CreateTest, RelationFieldsMakeRelationTables) {
  // The related table exists with an ID index, so it gets the label "R-".
  auto artikel = MakeTable(2, {{"NR", 9, 3, 10}});
  ASSERT_EQ(Zet06::CreateTable(*artikel, TempPath("ARTIKEL.DAT"), {}, false, 0, 0), 0);

  auto kunden = MakeTable(2, {{"NR", 9, 3, 10}, {"KAUFT", 12, 0, 0}, {"KENNT", 12, 0, 0}, {"NAME", 1, 10, 10}});
  ASSERT_TRUE(Zet06::AddToCreateQueue(2, TempPath("ARTIKEL")));
  ASSERT_TRUE(Zet06::AddToCreateQueue(3, Zet06::kOwnTableLabel));
  ASSERT_EQ(Zet06::CreateTable(*kunden, TempPath("KUNDEN.DAT"), {}, true, 0, 7), 0);
  EXPECT_EQ(kunden->FieldType(2), Common::kTypeRelation);
  EXPECT_EQ(kunden->recordLength, 4 + 11);

  auto rel = ReadBack("KAUFT.REL");
  EXPECT_EQ(rel->version, 2);
  EXPECT_EQ(rel->recordLength, Zet06::kRelationRecordLength);
  ASSERT_EQ(rel->fieldCount, 2);
  for (uint16_t n = 1; n <= 2; ++n) {
    EXPECT_EQ(rel->FieldType(n), Common::kTypeLink);
    EXPECT_EQ(rel->SizeCode(n), 3);
    EXPECT_EQ(rel->Shown(n), 1);
    EXPECT_EQ(rel->Descriptor(n)[ZetTable::kDescLayoutColumn], 1);
    EXPECT_EQ(rel->Descriptor(n)[ZetTable::kDescLayoutLine], n);
  }
  EXPECT_EQ(rel->StoredName(1), "R-KUNDEN(KUNDEN): ");
  EXPECT_EQ(rel->StoredName(2), "R-ARTIKEL(ARTIKEL): ");
  EXPECT_EQ(rel->highestIndexSlot, 2);
  EXPECT_TRUE(Exists("KAUFT.IN1"));
  EXPECT_TRUE(Exists("KAUFT.IN2"));
  // "@" names the owning table on both sides.
  EXPECT_EQ(ReadBack("KENNT.REL")->StoredName(2), "R-KUNDEN(KUNDEN): ");

  // An unknown related table has no label; relation tables are created with
  // table key 0: record 1 reads back plain.
  Zet06::ClearCreateQueue();
  ASSERT_TRUE(Zet06::AddToCreateQueue(2, "NIRGENDS"));
  auto lager = MakeTable(2, {{"NR", 9, 3, 10}, {"LIEGT", 12, 0, 0}});
  ASSERT_EQ(Zet06::CreateTable(*lager, TempPath("LAGER.DAT"), {}, true, 0, 99), 0);
  EXPECT_EQ(ReadBack("LIEGT.REL")->StoredName(2), "(NIRGENDS): ");
}

TEST_F(Zet06CreateTest, ExistingRelationTableStopsTheCreation) {
  { std::ofstream(TempDir() / "KAUFT.REL") << "alt"; }
  auto kunden = MakeTable(2, {{"NAME", 1, 10, 10}, {"KAUFT", 12, 0, 0}, {"LIEFERT", 12, 0, 0}});
  EXPECT_EQ(Zet06::CreateTable(*kunden, TempPath("KUNDEN.DAT"), {}, true, 0, 0), Zet06::kErrRelationExists);
  EXPECT_EQ(Common::LastError(), -Zet06::kErrRelationExists);
  EXPECT_EQ(FileBytes("KAUFT.REL"), (Bytes{'a', 'l', 't'}));
  EXPECT_FALSE(Exists("KAUFT.IN1"));
  EXPECT_FALSE(Exists("LIEFERT.REL"));
}

TEST_F(Zet06CreateTest, ParentRelationsAreSkippedAndNameTheFirstField) {
  auto haupt = MakeTable(2, {{"NR", 9, 3, 10}, {"KAUFT", 12, 0, 0}});
  ASSERT_EQ(Zet06::CreateTable(*haupt, TempPath("HAUPT.DAT"), {}, true, 0, 0), 0);
  const int parent = index_test::OpenForTest(TempPath("HAUPT.DAT"));
  ASSERT_GT(parent, 0);

  std::filesystem::rename(TempDir() / "KAUFT.REL", TempDir() / "KEEP.REL");
  auto copy = MakeTable(2, {{"NR", 9, 3, 10}, {"KAUFT", 12, 0, 0}, {"MIETET", 12, 0, 0}});
  ASSERT_EQ(Zet06::CreateTable(*copy, TempPath("KOPIE.DAT"), {}, true, parent, 0), 0);
  EXPECT_FALSE(Exists("KAUFT.REL"));  // the parent has it
  EXPECT_EQ(ReadBack("MIETET.REL")->StoredName(1), "R-HAUPT(HAUPT): ");
}

TEST_F(Zet06CreateTest, RelationFieldsWithoutRelationsBecomePlainInternalFields) {
  auto t = MakeTable(2, {{"NAME", 1, 10, 10}, {"KAUFT", 12, 5, 0}});
  ASSERT_EQ(Zet06::CreateTable(*t, TempPath("OHNE.DAT"), {}, false, 0, 0), 0);
  auto back = ReadBack("OHNE.DAT");
  EXPECT_EQ(back->TypeByte(2), 0);
  EXPECT_EQ(back->SizeCode(2), 0);
  EXPECT_FALSE(Exists("KAUFT.REL"));
}

TEST_F(Zet06CreateTest, CreateQueueTakesTenLabels) {
  for (uint16_t i = 1; i <= Zet06::kMaxCreateQueue; ++i) EXPECT_TRUE(Zet06::AddToCreateQueue(i, "X"));
  EXPECT_FALSE(Zet06::AddToCreateQueue(11, "X"));
  Zet06::ClearCreateQueue();
  EXPECT_TRUE(Zet06::AddToCreateQueue(11, "X"));
}

TEST_F(Zet06CreateTest, AutoLabelNamesExistingTables) {
  auto t = MakeTable(2, {{"NAME", 1, 10, 10}});
  ASSERT_EQ(Zet06::CreateTable(*t, TempPath("OHNEID.DAT"), {}, false, 0, 0), 0);
  auto withId = MakeTable(2, {{"NR", 9, 3, 10}});
  ASSERT_EQ(Zet06::CreateTable(*withId, TempPath("MITID.DAT"), {}, false, 0, 0), 0);
  bool missing = false;
  EXPECT_EQ(Zet06::AutoLabel(false, TempPath("ohneid"), missing).view(), "R-OHNEID");
  EXPECT_FALSE(missing);
  EXPECT_EQ(Zet06::AutoLabel(true, TempPath("OHNEID"), missing).view(), "");
  EXPECT_FALSE(missing);
  EXPECT_EQ(Zet06::AutoLabel(true, TempPath("MITID"), missing).view(), "R-MITID");
  EXPECT_EQ(Zet06::AutoLabel(false, TempPath("FEHLT"), missing).view(), "");
  EXPECT_TRUE(missing);
  EXPECT_THROW(Zet06::AutoLabel(false, "A=B", missing), EAssertion);
}

std::vector<bool> g_drops;
void RecordDrop(bool all) { g_drops.push_back(all); }

TEST_F(Zet06CreateTest, CloseTablesFromClosesUpwardsAndMovesTheCurrentTable) {
  for (const char* name : {"A.DAT", "B.DAT", "C.DAT"}) {
    auto t = MakeTable(2, {{"NAME", 1, 10, 10}, {"L", 10, 3, 10}});
    ASSERT_EQ(Zet06::CreateTable(*t, TempPath(name), {}, false, 0, 0), 0);
    ASSERT_GT(index_test::OpenForTest(TempPath(name)), 0);
  }
  ASSERT_TRUE(Zet00::IndexAvailable(3, 1, false));
  Zet06::DropLinksHook = RecordDrop;
  g_drops.clear();
  ZetTable::SetCurrentHandle(3);
  EXPECT_TRUE(Zet06::TablesInOpenSet(0b111));
  EXPECT_FALSE(Zet06::TablesInOpenSet(0b1111));

  Zet06::CloseTablesFrom(2);
  EXPECT_EQ(ZetTable::OpenCount(), 1);
  EXPECT_EQ(ZetTable::OpenTableSet(), 0b1u);
  EXPECT_EQ(ZetTable::Table(2), nullptr);
  EXPECT_EQ(ZetTable::Table(3), nullptr);
  EXPECT_EQ(ZetTable::CurrentHandle(), 1);
  EXPECT_FALSE(Zet06::TablesInOpenSet(0b11));
  EXPECT_EQ(g_drops, std::vector<bool>{false});

  Zet06::CloseTablesFrom(1);
  EXPECT_EQ(ZetTable::OpenCount(), 0);
  EXPECT_EQ(ZetTable::CurrentHandle(), 0);
  EXPECT_EQ(g_drops, (std::vector<bool>{false, true}));
  // The index headers were written on the way out.
  EXPECT_EQ(FileBytes("C.IN1").size(), BTREES::kUserHeaderOffset + ZetTable::kIndexHeaderSize);
}

}  // namespace
