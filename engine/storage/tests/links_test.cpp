// Link definitions, table lists, aliases, binding relations and working out
// the link tree.
#include "engine/storage/linkfile.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <array>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/uppercas.h"
#include "engine/storage/btrees.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06.h"

namespace {

using namespace links_test;

class LinkfileTest : public LinkTest {
 protected:
  // The slot of the open table with this name (".DAT" or ".REL").
  static int SlotOf(const std::string& name) { return ZetTable::FindOpenTable(name); }
  static std::string NameOf(int slot) {
    return slot == 0 ? "" : Common::SplitFileName(T(slot).fileName).name.str();
  }
  static std::string LinkIndexFile(int slot) { return T(slot).indexes[T(slot).linkIndex]->fileName.str(); }

  // The tree's rules: the visible set is the current table and the tables
  // with a parent, parents are visible, and (unless the current table is an
  // alias) every placed table walks its link index.
  static void ExpectTreeRules(const std::string& title) {
    const int current = ZetTable::CurrentHandle();
    const bool aliasCurrent = T(current).aliasOf != 0;
    for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
      const TZetTable& t = T(h);
      const bool placed = h == current || t.masterTable != 0;
      EXPECT_EQ(ZetTable::HandleInSet(ZetTable::VisibleTableSet(), h), placed) << title << ": " << NameOf(h);
      if (t.masterTable == 0) continue;
      EXPECT_TRUE(ZetTable::HandleInSet(ZetTable::VisibleTableSet(), t.masterTable)) << title;
      if (aliasCurrent) continue;
      EXPECT_EQ(t.orderMode, ZetTable::kOrderIndex) << title << ": " << NameOf(h);
      EXPECT_EQ(t.currentIndex, t.linkIndex) << title << ": " << NameOf(h);
    }
  }
};

// ---------------------------------------------------------------------------
// Definitions and table lists

TEST_F(LinkfileTest, DefinitionsAreParsedAndCounted) {
  Create("KUNDEN", {Number(), Text("NAME")});
  Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")});
  Open("KUNDEN");
  Open("AUFTRAG");
  struct Case {
    const char* text;
    bool checkOnly;
    uint16_t error;
    int count;
  } cases[] = {
      {"AUFTRAG[TEXT]=KUNDEN[NAME]", false, 0, 1},
      {" AUFTRAG.TEXT = KUNDEN.NAME ", false, 0, 2},
      {"auftrag[-TEXT, NR]=kunden[NAME, NR]", false, 0, 3},
      {"AUFTRAG[TEXT]=KUNDEN[NAME]", true, 0, 3},
      {"AUFTRAG[TEXT]", false, LINKFILE::kErrEqualsMissing, 3},
      {"AUFTRAG[TEXT=KUNDEN[NAME]", false, LINKFILE::kErrEqualsMissing, 3},
      {"LAGER[NR]=KUNDEN[NR]", false, LINKFILE::kErrTableExpected, 3},
      {"AUFTRAG[TEXT]=[NAME]", false, LINKFILE::kErrTableExpected, 3},
      {"AUFTRAG[NIX]=KUNDEN[NAME]", false, LINKFILE::kErrBadDescription, 3},
      {"AUFTRAG[TEXT]=KUNDEN", false, LINKFILE::kErrBadDescription, 3},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(LINKFILE::AddLinkDefinition(c.text, c.checkOnly), c.error) << c.text;
    EXPECT_EQ(LINKFILE::LinkError(), c.error) << c.text;
    EXPECT_EQ(LINKFILE::DefinitionCount(), c.count) << c.text;
  }
  // The 63rd definition does not fit.
  while (LINKFILE::DefinitionCount() < LINKFILE::kMaxLinkDefinitions)
    ASSERT_EQ(LINKFILE::AddLinkDefinition("AUFTRAG.TEXT=KUNDEN.NAME", false), 0);
  EXPECT_EQ(LINKFILE::AddLinkDefinition("AUFTRAG.TEXT=KUNDEN.NAME", false), LINKFILE::kErrOutOfMemory);
  EXPECT_EQ(LINKFILE::DefinitionCount(), LINKFILE::kMaxLinkDefinitions);
  // Definitions of the host survive the end of a job.
  EXPECT_EQ(LINKFILE::LinkDefinitionCount(), 0);
  LINKFILE::DropLinkDefinitionsAbove(0);
  EXPECT_EQ(LINKFILE::DefinitionCount(), LINKFILE::kMaxLinkDefinitions);
  LINKFILE::FreeLinkDefinitions();
  EXPECT_EQ(LINKFILE::DefinitionCount(), 0);
}

std::vector<std::pair<uint16_t, size_t>> g_compileErrors;
void RecordCompileError(uint16_t error, size_t position) { g_compileErrors.emplace_back(error, position); }

TEST_F(LinkfileTest, TableListsSelectTablesOpenAliasesAndAddJobDefinitions) {
  Create("KUNDEN", {Number(), Text("NAME")});
  Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")});
  const int kunden = Open("KUNDEN"), auftrag = Open("AUFTRAG");
  Zet01::BuildRelations(1);
  LINKFILE::RememberBaseTableCount();
  LINKFILE::CompileErrorHook = RecordCompileError;
  struct Case {
    const char* text;
    uint16_t error;
    size_t position;  // where the error was recorded
    uint64_t selected;
    int openCount;
    int jobDefinitions;
  } cases[] = {
      {"AUFTRAG", 0, 0, Set({kunden, auftrag}), 2, 0},  // widened by the parent
      {" KUNDEN ", 0, 0, Set({kunden}), 2, 0},
      {"K2=KUNDEN, AUFTRAG", 0, 0, Set({kunden, auftrag}), 3, 0},
      {"$AUFTRAG[TEXT]=K2[NAME], K2=KUNDEN", LINKFILE::kErrTableExpected, 24, 0, 2, 0},
      {"K2=KUNDEN, $AUFTRAG[TEXT]=K2[NAME], K3=AUFTRAG", 0, 0, 0, 4, 1},
      {"K2=LAGER", LINKFILE::kErrTableExpected, 9, 0, 2, 0},
      {"KUNDEN=AUFTRAG", LINKFILE::kErrAlreadyOpen, 15, 0, 2, 0},
      {"LAGER", LINKFILE::kErrTableExpected, 6, 0, 2, 0},
      {"", LINKFILE::kErrIncomplete, 1, 0, 2, 0},
      {"KUNDEN,", LINKFILE::kErrIncomplete, 8, 0, 2, 0},
      {"KUNDEN AUFTRAG", LINKFILE::kErrIncomplete, 8, 0, 2, 0},
      {"$AUFTRAG[TEXT=KUNDEN[NAME], KUNDEN", LINKFILE::kErrExpected, 35, 0, 2, 0},
  };
  for (const Case& c : cases) {
    g_compileErrors.clear();
    EXPECT_EQ(LINKFILE::ParseTableList(c.text, false), c.error) << c.text;
    if (c.error != 0) {
      EXPECT_EQ(g_compileErrors, (std::vector<std::pair<uint16_t, size_t>>{{c.error, c.position}})) << c.text;
    } else {
      EXPECT_TRUE(g_compileErrors.empty()) << c.text;
      EXPECT_EQ(LINKFILE::SelectedTableSet(), c.selected) << c.text;
    }
    EXPECT_EQ(ZetTable::OpenCount(), c.openCount) << c.text;
    EXPECT_EQ(LINKFILE::LinkDefinitionCount(), c.jobDefinitions) << c.text;
  }
  // The last list's alias and definition: K2 is an alias of KUNDEN, and with
  // AUFTRAG current the definition places it.
  ASSERT_EQ(LINKFILE::ParseTableList("K2=KUNDEN, $K2[NAME]=AUFTRAG[TEXT]", false), 0);
  const int k2 = SlotOf("K2");
  EXPECT_EQ(T(k2).aliasOf, kunden);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(auftrag), 0);
  EXPECT_EQ(T(k2).masterTable, auftrag);
  EXPECT_EQ(T(kunden).masterTable, auftrag);  // through the L field
  // Check only parses the definitions and keeps none.
  ASSERT_EQ(LINKFILE::ParseTableList("$K2[NAME]=AUFTRAG[TEXT]", true), LINKFILE::kErrTableExpected);
  ASSERT_EQ(LINKFILE::ParseTableList("$KUNDEN[NAME]=AUFTRAG[TEXT]", true), 0);
  EXPECT_EQ(LINKFILE::LinkDefinitionCount(), 0);
  EXPECT_EQ(LINKFILE::DefinitionCount(), 0);
}

// ---------------------------------------------------------------------------
// Aliases and temporary tables

TEST_F(LinkfileTest, AnAliasSharesItsTablesFileAndRecordCache) {
  Create("KUNDEN", {Number(), Text("NAME")}, 2);
  const int kunden = Open("KUNDEN");
  for (const char* name : {"Meier", "Schulz"}) Add(kunden, {name});
  T(kunden).orderMode = ZetTable::kOrderMarks;
  ASSERT_EQ(ZetTable::AddMark(kunden, 2), 0);
  T(kunden).currentRecord = 2;
  T(kunden).masterTable = 7;

  ASSERT_EQ(LINKFILE::OpenAlias("Chef", kunden), 0);
  const int chef = ZetTable::OpenCount();
  EXPECT_EQ(chef, kunden + 1);
  TZetTable& a = T(chef);
  EXPECT_EQ(a.fileName.view(), "CHEF.DAT");
  EXPECT_EQ(a.aliasOf, kunden);
  EXPECT_EQ(a.orderMode, ZetTable::kOrderRecords);
  EXPECT_EQ(a.currentRecord, 0u);
  EXPECT_EQ(a.masterTable, 0);
  EXPECT_EQ(ZetTable::MarkList(a).Count(), 0u);
  EXPECT_TRUE(ZetTable::HandleInSet(ZetTable::OpenTableSet(), chef));

  // One cache: a write through the alias is what the table reads, and back.
  ASSERT_EQ(Zet01::ReadRecord(kunden, 1), 0);
  ASSERT_EQ(Zet01::ReadRecord(chef, 1), 0);
  ZetTable::SetFieldText(chef, 2, a.recordBuffer.data(), "Mayer");
  ASSERT_EQ(Zet01::WriteRecord(chef, 1), 0);
  ASSERT_EQ(Zet01::ReadRecord(kunden, 1), 0);
  EXPECT_EQ(FieldOf(kunden, 2), "Mayer");
  EXPECT_EQ(Zet01::RecordCacheSlots(chef), Zet01::RecordCacheSlots(kunden));

  // The alias walks the table's indexes: its ID index finds both records.
  a.orderMode = ZetTable::kOrderIndex;
  a.currentIndex = 1;
  uint16_t end = 0;
  const uint32_t first = Zet01::FirstOrLastRecNo(chef, true, end);
  EXPECT_EQ(end, 0);
  EXPECT_EQ(first, 1u);  // "Mayer" before "Schulz"

  // An alias of the alias reads through the table itself.
  ASSERT_EQ(LINKFILE::OpenAlias("Chef2", chef), 0);
  EXPECT_EQ(T(chef + 1).aliasOf, kunden);
  ASSERT_EQ(Zet01::ReadRecord(chef + 1, 2), 0);
  EXPECT_EQ(FieldOf(chef + 1, 2), "Schulz");

  // A name that is open, and a full slot array, are refused.
  EXPECT_EQ(LINKFILE::OpenAlias("KUNDEN", kunden), LINKFILE::kErrAlreadyOpen);
  EXPECT_EQ(LINKFILE::LinkError(), LINKFILE::kErrAlreadyOpen);
  ZetTable::SetOpenCount(ZetTable::kMaxOpenTables);
  EXPECT_EQ(LINKFILE::OpenAlias("Chef3", kunden), LINKFILE::kErrTooManyTables);
  ZetTable::SetOpenCount(chef + 1);
}

// A temporary index of an alias is kept up to date by appends, updates and
// deletes through the table it aliases and through the alias: a search
// through it finds every record under its key.
TEST_F(LinkfileTest, TemporaryIndexesOfAnAliasFollowEditsThroughTheTableAndTheAlias) {
  Create("KUNDEN", {Number(), Text("NAME")}, 2);
  const int kunden = Open("KUNDEN");
  for (const char* name : {"Meier", "Schulz"}) Add(kunden, {name});
  ASSERT_EQ(LINKFILE::OpenAlias("Chef", kunden), 0);
  const int chef = ZetTable::OpenCount();
  // Names in descending order: no index of the table has that key.
  uint8_t description[ZetTable::kKeyDescriptionSize] = {};
  Zet00::SetKeyPart(description, 0, {2 | ZetTable::kKeyDescending, 21, Common::kTypeString});
  const int own = Zet00::FindOrCreateIndex(chef, description, true);
  ASSERT_GT(own, 0);
  // The names a walk of the temporary index finds, in its order.
  const auto walk = [&](int slot, int index) {
    std::vector<std::string> names;
    std::vector<uint8_t> record(T(slot).recordLength);
    for (uint8_t st = Zet00::IndexFirst(slot, index); st == Zet00::kStatusFound; st = Zet00::IndexNext(slot, index)) {
      const uint32_t recno = Zet00::KeyRecordNumber(T(slot).currentKey.data());
      EXPECT_EQ(Zet01::ReadRecordInto(slot, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
      ShortStr name = ZetTable::FieldText(T(slot), 2, record.data());
      Common::TrimRight(name);
      names.push_back(name.str());
    }
    return names;
  };
  using Names = std::vector<std::string>;
  // Appends, updates and deletes through the table, then through the alias
  // itself (it writes what its table may write: its own index takes the
  // keys).
  enum class Edit { Append, Update, Delete };
  const struct Case {
    int slot;
    Edit edit;
    uint32_t recno;  // of an update or a delete
    const char* name;  // appended or set
    Names expected;
  } cases[] = {
      {kunden, Edit::Append, 0, "Adam", {"Schulz", "Meier", "Adam"}},
      {kunden, Edit::Update, 1, "Zander", {"Zander", "Schulz", "Adam"}},
      {kunden, Edit::Delete, 2, "", {"Zander", "Adam"}},
      {chef, Edit::Append, 0, "Moritz", {"Zander", "Moritz", "Adam"}},
      {chef, Edit::Update, 2, "Berta", {"Zander", "Moritz", "Berta"}},
      {chef, Edit::Delete, 1, "", {"Moritz", "Berta"}},
  };
  for (const Case& c : cases) {
    const std::string title = std::string(c.slot == chef ? "alias " : "table ") + c.name;
    if (c.edit == Edit::Append) {
      Add(c.slot, {c.name});
    } else if (c.edit == Edit::Update) {
      ASSERT_EQ(Zet01::ReadRecord(c.slot, c.recno), 0) << title;
      const std::vector<uint8_t> old = T(c.slot).recordBuffer;
      T(c.slot).currentRecord = c.recno;
      ZetTable::SetFieldText(c.slot, 2, T(c.slot).recordBuffer.data(), c.name);
      bool changed = false;
      ASSERT_EQ(Zet01::UpdateRecord(c.slot, old.data(), changed, 0, true, false), 0)
          << title << ": " << Common::LastErrorText().str();
    } else {
      T(c.slot).currentRecord = c.recno;
      ASSERT_EQ(Zet01::DeleteRecord(c.slot, true, false, 0), 0) << title;
    }
    EXPECT_EQ(walk(chef, own), c.expected) << title;
  }
  EXPECT_EQ(walk(kunden, 1).size(), 2u);
}

TEST_F(LinkfileTest, TemporaryTablesCloseFromTheTopWhileTheyAreAliases) {
  Create("KUNDEN", {Number(), Text("NAME")});
  Create("LAGER", {Number(), Text("ORT")});
  const int kunden = Open("KUNDEN");
  Add(kunden, {"Meier"});
  // A temporary index of the table itself.
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> byName{};
  Zet00::SetKeyPart(byName.data(), 0, {2, 21, Common::kTypeString});
  const int own = Zet00::FindOrCreateIndex(kunden, byName.data(), true);
  ASSERT_GT(own, 0);
  const std::string ownFile = T(kunden).indexes[size_t(own)]->fileName.str();
  LINKFILE::RememberBaseTableCount();
  EXPECT_EQ(LINKFILE::BaseTableCount(), 1);

  ASSERT_EQ(LINKFILE::OpenAlias("K1", kunden), 0);
  const int lager = Open("LAGER");
  ASSERT_EQ(LINKFILE::OpenAlias("K2", kunden), 0);
  ASSERT_EQ(LINKFILE::OpenAlias("K3", kunden), 0);
  // K3 makes a temporary index of its own.
  const int k3 = ZetTable::OpenCount();
  const int aliasIndex = Zet00::FindOrCreateIndex(k3, byName.data(), false);
  EXPECT_EQ(aliasIndex, -1);  // the table's temporary index is not the alias's
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> byNumber{};
  Zet00::SetKeyPart(byNumber.data(), 0, {1, 4, Common::kTypeAutoNumber});
  Zet00::SetKeyPart(byNumber.data(), 1, {2, 21, Common::kTypeString});
  const int temp = Zet00::FindOrCreateIndex(k3, byNumber.data(), true);
  ASSERT_GT(temp, 0);
  const std::string tempFile = T(k3).indexes[size_t(temp)]->fileName.str();
  EXPECT_TRUE(std::filesystem::exists(TempPath(tempFile)));
  ASSERT_EQ(LINKFILE::AddJobLinkDefinition("K2[NAME]=KUNDEN[NAME]"), 0);
  ZetTable::SetCurrentHandle(k3);

  LINKFILE::CloseTemporaryTables(true);
  EXPECT_EQ(ZetTable::OpenCount(), lager);  // LAGER is no alias: K1 stays below it
  EXPECT_EQ(ZetTable::CurrentHandle(), lager);
  EXPECT_EQ(LINKFILE::LinkDefinitionCount(), 0);
  EXPECT_FALSE(std::filesystem::exists(TempPath(tempFile)));
  EXPECT_TRUE(std::filesystem::exists(TempPath(ownFile)));
  EXPECT_TRUE(Zet00::IndexAvailable(kunden, own, false));
  EXPECT_TRUE(ZetTable::HandleInSet(ZetTable::VisibleTableSet(), lager));

  // Closing LAGER by other means lets the next call close K1 as well.
  Zet06::CloseTablesFrom(lager);
  LINKFILE::CloseTemporaryTables(false);
  EXPECT_EQ(ZetTable::OpenCount(), kunden);
}

TEST_F(LinkfileTest, ClosingTablesUpdatesCurrentTableDefinitionsAndTree) {
  Create("KUNDEN", {Number(), Text("NAME")});
  Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")});
  Create("POSTEN", {Number(), Link("AUFTRAG", "AUFTRAG"), Text("ARTIKEL")});
  const int kunden = Open("KUNDEN"), auftrag = Open("AUFTRAG"), posten = Open("POSTEN");
  ASSERT_EQ(LINKFILE::AddLinkDefinition("AUFTRAG[TEXT]=KUNDEN[NAME]", false), 0);
  ASSERT_EQ(LINKFILE::AddLinkDefinition("POSTEN[ARTIKEL]=KUNDEN[NAME]", false), 0);
  ASSERT_EQ(LINKFILE::AddLinkDefinition("POSTEN[ARTIKEL]=AUFTRAG[TEXT]", false), 0);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(posten), 0);
  ASSERT_EQ(T(auftrag).masterTable, posten);
  ASSERT_EQ(Zet01::ReadFirstLinked(posten, false, Set({kunden, auftrag})), 0);

  Zet06::CloseTablesFrom(posten);
  EXPECT_EQ(ZetTable::CurrentHandle(), auftrag);
  EXPECT_EQ(LINKFILE::DefinitionCount(), 1);
  EXPECT_EQ(T(auftrag).masterTable, 0);  // its parent is gone
  EXPECT_FALSE(ZetTable::HandleInSet(ZetTable::VisibleTableSet(), posten));
  EXPECT_FALSE(Zet01::LinkChainActive());
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
  EXPECT_EQ(T(auftrag).masterTable, kunden);

  Zet06::CloseTablesFrom(1);
  EXPECT_EQ(ZetTable::CurrentHandle(), 0);
  EXPECT_EQ(LINKFILE::DefinitionCount(), 0);
  EXPECT_EQ(ZetTable::VisibleTableSet(), 0u);
}

// ---------------------------------------------------------------------------
// Binding relations

TEST_F(LinkfileTest, BindingKeepsTheDescriptorsAsRead) {
  // A 40-character link name, and a relation field whose relation table is
  // open.
  const std::string longName = "Kunde des Auftrags mit dem Namen";
  Create("KUNDEN", {Number(), Text("NAME")});
  Create("AUFTRAG", {Number(), Link(longName, "KUNDEN"), Text("TEXT"), Relation("LIEFERT")}, 0, {3}, {"KUNDEN"});
  const int kunden = Open("KUNDEN"), auftrag = Open("AUFTRAG"), liefert = Open("LIEFERT.REL");
  const std::string fullName = longName + "(KUNDEN)";
  ASSERT_EQ(fullName.size(), ZetTable::kMaxFieldName);
  const std::vector<uint8_t> descriptors = T(auftrag).descriptors;

  Zet01::BuildRelations(2);
  EXPECT_EQ(ZetTable::CurrentHandle(), 0);  // not built from slot 1
  Zet01::BuildRelations(1);
  EXPECT_EQ(ZetTable::CurrentHandle(), 1);
  EXPECT_EQ(T(auftrag).descriptors, descriptors);
  ShortStr upper(fullName);
  UPPERCAS::UpperStr(upper);
  EXPECT_EQ(ZetTable::FindFieldByName(auftrag, upper), 2);

  const ZetTable::TFieldBinding& link = T(auftrag).bindings[2];
  EXPECT_EQ(link.linkedTable, kunden);
  EXPECT_EQ(link.indexSlot, 2);  // AUFTRAG.IN1 after .INR and .ID
  EXPECT_TRUE(ZetTable::HandleInSet(T(auftrag).linkedTables, kunden));
  const ZetTable::TFieldBinding& relation = T(auftrag).bindings[4];
  EXPECT_TRUE(relation.relationBuilt);
  EXPECT_EQ(relation.linkedTable, liefert);
  EXPECT_EQ(relation.relatedTable, kunden);
  EXPECT_TRUE(Zet01::HasLinks(auftrag));
  EXPECT_FALSE(Zet01::HasLinks(kunden));
  // The relation table's own link fields are bound too.
  EXPECT_EQ(T(liefert).bindings[1].linkedTable, auftrag);
  EXPECT_EQ(T(liefert).bindings[2].linkedTable, kunden);
  EXPECT_EQ(T(liefert).bindings[2].indexSlot, 2);

  EXPECT_EQ(Zet01::IndexOfFieldKey(auftrag, 3), 3);  // the user index on TEXT
  EXPECT_EQ(Zet01::IndexOfFieldKey(auftrag, 1), 0);  // .INR is slot 0, not searched
  EXPECT_EQ(Zet01::LinkedTableOfField(auftrag, 3), auftrag);

  // A restructured copy writes the names as they were read.
  auto copy = TZetTable::CreateCopy(T(auftrag), 2);
  const std::vector<uint8_t> header = Zet06::BuildTableHeader(*copy);
  ASSERT_GE(header.size(), Zet00::kV2Descriptors + descriptors.size());
  EXPECT_EQ(std::vector<uint8_t>(header.begin() + Zet00::kV2Descriptors,
                                 header.begin() + Zet00::kV2Descriptors + descriptors.size()),
            descriptors);

  Zet01::UnBuildRelations(1);
  EXPECT_EQ(T(auftrag).bindings[2].linkedTable, 0);
  EXPECT_EQ(T(auftrag).bindings[2].indexSlot, 2);
  EXPECT_FALSE(T(auftrag).bindings[4].relationBuilt);
  EXPECT_EQ(T(auftrag).bindings[4].linkedTable, 0);
  EXPECT_FALSE(Zet01::HasLinks(auftrag));
  EXPECT_EQ(T(auftrag).descriptors, descriptors);
}

// ---------------------------------------------------------------------------
// The link tree

struct TableSpec {
  std::string name;
  std::vector<FieldDef> fields;
  uint16_t idField = 0;
  std::vector<uint16_t> indexed = {};
  std::vector<std::string> related = {};
};

struct Scenario {
  const char* title;
  std::vector<TableSpec> tables;                           // created in this order
  std::vector<std::string> open;                           // opened in this order
  std::vector<std::pair<std::string, std::string>> aliases;  // {alias, table}
  std::vector<std::string> definitions;
  std::string current;
  std::map<std::string, std::string> parents;        // every open table
  std::map<std::string, std::string> linkIndexFiles;  // where it matters
  std::function<void()> adjust = nullptr;            // after binding
};

const FieldDef kName = Text("NAME");

TEST_F(LinkfileTest, TheLinkTreeFollowsItsRules) {
  const Scenario scenarios[] = {
      {"definitions before a field: the definition's link wins",
       {{"CUR", {Number(), kName}}, {"T", {Number(), Link("C", "CUR"), Text("TEXT")}, 0, {3}}},
       {"CUR", "T"},
       {},
       {"T[TEXT]=CUR[NAME]"},
       "CUR",
       {{"CUR", ""}, {"T", "CUR"}},
       {{"T", "T_3.IND"}}},
      {"of two definitions for one table the higher-numbered one wins",
       {{"CUR", {Number(), kName}}, {"T", {Number(), Text("TEXT"), Text("CODE")}, 0, {2, 3}}},
       {"CUR", "T"},
       {},
       {"T[TEXT]=CUR[NAME]", "T[CODE]=CUR[NAME]"},
       "CUR",
       {{"CUR", ""}, {"T", "CUR"}},
       {{"T", "T_3.IND"}}},
      {"a definition places a parent for a lower-numbered one in the next pass",
       {{"A", {Number(), kName}, 0, {2}}, {"B", {Number(), kName}, 0, {2}}, {"C", {Number(), kName}, 0, {2}}},
       {"A", "B", "C"},
       {},
       {"B[NAME]=A[NAME]", "C[NAME]=B[NAME]"},
       "A",
       {{"A", ""}, {"B", "A"}, {"C", "B"}},
       {{"B", "B_2.IND"}, {"C", "C_2.IND"}}},
      {"definitions work both ways round",
       {{"A", {Number(), kName}, 0, {2}}, {"B", {Number(), kName}, 0, {2}}},
       {"A", "B"},
       {},
       {"A[NAME]=B[NAME]"},
       "A",
       {{"A", ""}, {"B", "A"}},
       {}},
      {"relation fields: the later relation's tables are followed first",
       {{"Z", {Number(), kName}},
        {"X", {Number(), Link("ZX", "Z")}},
        {"Y", {Number(), Link("ZY", "Z")}},
        {"CUR", {Number(), Relation("RX"), Relation("RY")}, 0, {}, {"X", "Y"}}},
       {"X", "RY.REL", "Z", "CUR", "Y", "RX.REL"},
       {},
       {},
       "CUR",
       {{"CUR", ""}, {"RX", "CUR"}, {"X", "RX"}, {"RY", "CUR"}, {"Y", "RY"}, {"Z", "Y"}},
       {{"RX", "RX.IN1"}, {"X", "X.INR"}, {"RY", "RY.IN1"}, {"Y", "Y.INR"}, {"Z", "Z.INR"}}},
      {"a relation table as current table follows its links first",
       {{"X", {Number(), kName}}, {"CUR", {Number(), Relation("RX")}, 0, {}, {"X"}}},
       {"CUR", "X", "RX.REL"},
       {},
       {},
       "RX",
       {{"RX", ""}, {"CUR", "RX"}, {"X", "RX"}},
       {{"CUR", "CUR.INR"}, {"X", "X.INR"}}},
      {"a table is linked towards the current table by its first qualifying field",
       {{"CUR", {Number()}}, {"U", {Number()}}, {"T", {Number(), Link("U1", "U"), Link("C1", "CUR")}}},
       {"CUR", "T", "U"},
       {},
       {},
       "CUR",
       {{"CUR", ""}, {"T", "CUR"}, {"U", "T"}},
       {{"T", "T.IN2"}, {"U", "U.INR"}}},
      {"towards any placed table after the current one",
       {{"CUR", {Number()}}, {"A", {Number(), Link("C", "CUR")}}, {"B", {Number(), Link("A1", "A")}}},
       {"B", "A", "CUR"},
       {},
       {},
       "CUR",
       {{"CUR", ""}, {"A", "CUR"}, {"B", "A"}},
       {{"A", "A.IN1"}, {"B", "B.IN1"}}},
      {"no link through a field with a null flag or without an index of its own",
       {{"CUR", {Number()}},
        {"N1", {Number(), Link("C", "CUR", ZetTable::kTypeNullable)}, 0, {2}},
        {"N2", {Number(), Link("C", "CUR")}}},
       {"CUR", "N1", "N2"},
       {},
       {},
       "CUR",
       {{"CUR", ""}, {"N1", ""}, {"N2", ""}},
       {},
       [] { T(ZetTable::FindOpenTable("N2")).bindings[2].indexSlot = 0; }},
      {"an alias as current table: only definitions without other aliases",
       {{"A", {Number(), kName}, 0, {2}}, {"B", {Number(), kName}, 0, {2}}},
       {"A", "B"},
       {{"AA", "A"}, {"BB", "B"}},
       {"B[NAME]=AA[NAME]", "BB[NAME]=AA[NAME]", "A[NAME]=B[NAME]"},
       "AA",
       {{"A", "B"}, {"B", "AA"}, {"AA", ""}, {"BB", ""}},
       {}},
      {"aliases join once the current table's fields are followed",
       {{"A", {Number(), kName}, 0, {2}}, {"B", {Number(), kName}, 0, {2}}},
       {"A", "B"},
       {{"AA", "A"}},
       {"AA[NAME]=B[NAME]", "B[NAME]=A[NAME]"},
       "A",
       {{"A", ""}, {"B", "A"}, {"AA", "B"}},
       {}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.title);
    for (const TableSpec& t : s.tables) Create(t.name, t.fields, t.idField, t.indexed, t.related);
    for (const std::string& name : s.open) Open(name);
    for (const auto& [alias, table] : s.aliases) ASSERT_EQ(LINKFILE::OpenAlias(alias, SlotOf(table)), 0);
    Zet01::BuildRelations(1);
    if (s.adjust) s.adjust();
    for (const std::string& d : s.definitions) ASSERT_EQ(LINKFILE::AddLinkDefinition(d, false), 0) << d;
    ASSERT_EQ(LINKFILE::SelectPrimaryTable(SlotOf(s.current)), 0);

    EXPECT_EQ(s.parents.size(), size_t(ZetTable::OpenCount()));
    for (const auto& [name, parent] : s.parents)
      EXPECT_EQ(NameOf(T(SlotOf(name)).masterTable), parent) << name;
    for (const auto& [name, file] : s.linkIndexFiles) EXPECT_EQ(LinkIndexFile(SlotOf(name)), file) << name;
    ExpectTreeRules(s.title);

    LINKFILE::FreeLinkDefinitions();
    Zet06::CloseTablesFrom(1);
    for (const auto& entry : std::filesystem::directory_iterator(TempDir())) std::filesystem::remove(entry);
  }
}

TEST_F(LinkfileTest, LinkedReadThroughARelationTable) {
  Create("ARTIKEL", {Number(), Text("BEZ")}, 2);
  Create("KUNDEN", {Number(), kName, Relation("KAUFT")}, 2, {}, {"ARTIKEL"});
  const int artikel = Open("ARTIKEL"), kunden = Open("KUNDEN"), kauft = Open("KAUFT.REL");
  for (const char* bez : {"Apfel", "Birne", "Kiwi"}) Add(artikel, {bez});
  for (const char* name : {"Meier", "Schulz"}) Add(kunden, {name});
  // Meier buys Kiwi and Apfel, Schulz Birne.
  for (auto [k, a] : {std::pair{"1", "3"}, {"1", "1"}, {"2", "2"}}) {
    TZetTable& rel = T(kauft);
    rel.recordBuffer.assign(rel.recordLength, 0);
    ZetTable::SetFieldText(kauft, 1, rel.recordBuffer.data(), k);
    ZetTable::SetFieldText(kauft, 2, rel.recordBuffer.data(), a);
    ASSERT_EQ(Zet01::AppendRecord(kauft, true, 0), 0);
  }
  Zet01::BuildRelations(1);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
  ASSERT_EQ(T(artikel).masterTable, kauft);
  std::vector<std::string> seen;
  for (uint32_t r = 1; r <= 2; ++r) {
    T(kunden).currentRecord = r;
    ASSERT_EQ(Zet01::ReadFirstLinked(kunden, true, Set({artikel})), 0);
    ASSERT_EQ(Zet01::NotFoundSet(), 0u);
    do seen.push_back(FieldOf(kunden, 2) + ":" + FieldOf(artikel, 2));
    while (Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  }
  EXPECT_EQ(seen, (std::vector<std::string>{"Meier:Kiwi", "Meier:Apfel", "Schulz:Birne"}));
}

// A relation index whose second part is the linked record, left unsettled
// by a writer that died, is built again at the open before the links are
// bound; binding the relations builds it again with the linked records, so
// that edits find their keys. A sound index is left as it is.
TEST_F(LinkfileTest, BindingRebuildsALinkedRecordIndexBuiltBeforeTheLinks) {
  Create("ARTIKEL", {Number(), Text("BEZ")}, 2);
  Create("KUNDEN", {Number(), kName, Relation("KAUFT")}, 2, {}, {"ARTIKEL"});
  int artikel = 0, kunden = 0, kauft = 0;
  auto open = [&] {
    artikel = Open("ARTIKEL");
    kunden = Open("KUNDEN");
    kauft = Open("KAUFT.REL");
  };
  open();
  for (const char* bez : {"Apfel", "Birne", "Kiwi"}) Add(artikel, {bez});
  Add(kunden, {"Meier"});
  // The entries of customer 1 in the order of their linked records.
  const int slot = Zet01::IndexOfFieldKey(kauft, 1);
  ASSERT_GT(slot, 0);
  Zet00::SetKeyPart(T(kauft).indexes[size_t(slot)]->header.data(), 1, {2, 4, ZetTable::kKeyTypeLinkedRecord});
  Zet01::BuildRelations(1);
  ASSERT_EQ(Zet00::RebuildIndex(kauft, slot), 0);
  auto addEntry = [&](const char* linked) {
    TZetTable& rel = T(kauft);
    rel.recordBuffer.assign(rel.recordLength, 0);
    ZetTable::SetFieldText(kauft, 1, rel.recordBuffer.data(), "1");
    ZetTable::SetFieldText(kauft, 2, rel.recordBuffer.data(), linked);
    ASSERT_EQ(Zet01::AppendRecord(kauft, true, 0), 0);
  };
  for (const char* linked : {"3", "1", "2"}) addEntry(linked);
  const std::string indexPath = Zet00::IndexPath(T(kauft), slot).str();
  auto inode = [&] {
    struct stat st {};
    return ::stat(indexPath.c_str(), &st) == 0 ? st.st_ino : ino_t(0);
  };
  // The entries as the index walks them, and whether every key is the one
  // an edit makes from the entry's record.
  auto walk = [&] {
    std::vector<uint32_t> order;
    TZetTable& rel = T(kauft);
    for (uint8_t st = Zet00::IndexFirst(kauft, slot); st == Zet00::kStatusFound;
         st = Zet00::IndexNext(kauft, slot)) {
      const std::array<uint8_t, ZetTable::kMaxKeySize> key = rel.currentKey;
      const uint32_t recno = Zet00::KeyRecordNumber(key.data());
      std::vector<uint8_t> record(rel.recordLength);
      std::array<uint8_t, ZetTable::kMaxKeySize> made{};
      EXPECT_EQ(Zet01::ReadRecordInto(kauft, recno, record.data(), nullptr, 0, ZetTable::kOrderRecords), 0);
      EXPECT_EQ(Zet00::MakeKey(kauft, slot, record.data(), made.data(), recno), 0);
      EXPECT_EQ(std::memcmp(made.data(), key.data(), Zet00::KeyLength(rel.indexes[size_t(slot)]->header.data())), 0)
          << "stale key of entry " << recno;
      order.push_back(recno);
    }
    return order;
  };
  EXPECT_EQ(walk(), (std::vector<uint32_t>{2, 3, 1}));

  // Closed cleanly, the tables open with the index as it was.
  Zet06::CloseTablesFrom(1);
  open();
  const ino_t sound = inode();
  Zet01::BuildRelations(1);
  EXPECT_EQ(inode(), sound) << "a sound index was built again";
  EXPECT_EQ(walk(), (std::vector<uint32_t>{2, 3, 1}));

  // Left unsettled, the index is built at the open and again when bound.
  Zet06::CloseTablesFrom(1);
  {
    std::fstream f(indexPath, std::ios::in | std::ios::out | std::ios::binary);
    std::array<uint8_t, 4> raw{};
    bytes::PutI32(raw.data(), Zet00::kUnsettledCount);
    f.seekp(std::streamoff(BTREES::kUserHeaderOffset + ZetTable::kIdxRecordCount));
    f.write(reinterpret_cast<const char*>(raw.data()), std::streamsize(raw.size()));
    ASSERT_TRUE(f.good());
  }
  open();
  const ino_t builtAtOpen = inode();
  Zet01::BuildRelations(1);
  EXPECT_NE(inode(), builtAtOpen) << "not built again when bound";
  EXPECT_EQ(walk(), (std::vector<uint32_t>{2, 3, 1}));
  // Kiwi (entry 1) becomes Birne, then Apfel (entry 2) goes.
  ASSERT_EQ(Zet01::ReadRecord(kauft, 1), 0);
  T(kauft).currentRecord = 1;
  const std::vector<uint8_t> old = T(kauft).recordBuffer;
  ZetTable::SetFieldText(kauft, 2, T(kauft).recordBuffer.data(), "2");
  bool changed = false;
  ASSERT_EQ(Zet01::UpdateRecord(kauft, old.data(), changed, 0, true, false), 0);
  EXPECT_TRUE(changed);
  ASSERT_EQ(Zet01::ReadRecord(kauft, 2), 0);
  T(kauft).orderMode = ZetTable::kOrderRecords;
  T(kauft).currentRecord = 2;
  ASSERT_EQ(Zet01::DeleteRecord(kauft, true, false, 0), 0);
  // The former last entry (Birne) moved into record 2.
  EXPECT_EQ(walk(), (std::vector<uint32_t>{1, 2}));
}

TEST_F(LinkfileTest, WithoutCurrentOrOpenTablesNothingIsVisible) {
  Create("A", {Number(), kName}, 0, {2});
  Create("B", {Number(), kName}, 0, {2});
  const int a = Open("A"), b = Open("B");
  ASSERT_EQ(LINKFILE::AddLinkDefinition("B[NAME]=A[NAME]", false), 0);
  ASSERT_EQ(LINKFILE::SelectPrimaryTable(a), 0);
  EXPECT_EQ(ZetTable::VisibleTableSet(), Set({a, b}));

  // A parse error stays in the word while no tree can be resolved.
  EXPECT_EQ(LINKFILE::AddLinkDefinition("B[NAME]", true), LINKFILE::kErrEqualsMissing);
  ZetTable::SetCurrentHandle(0);
  EXPECT_EQ(LINKFILE::SelectPrimaryTable(0), LINKFILE::kErrIllegalLink);
  EXPECT_EQ(Common::LastError(), -LINKFILE::kErrIllegalLink);
  EXPECT_EQ(ZetTable::VisibleTableSet(), 0u);
  // A resolution clears it.
  EXPECT_EQ(LINKFILE::SelectPrimaryTable(b), 0);
  EXPECT_EQ(LINKFILE::LinkError(), 0);

  Zet06::CloseTablesFrom(1);
  LINKFILE::ResolveLinkTree();
  EXPECT_EQ(ZetTable::VisibleTableSet(), 0u);
}

}  // namespace
