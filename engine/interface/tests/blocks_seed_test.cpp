// Writes the seed corpus of the argument-block fuzz target: record images
// and field values as the engine itself writes them into the target's table,
// field definitions of tables that the tests create, and host-command records
// as a host registers them. Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/interface/fuzz/corpus> interface_tests
//     --gtest_also_run_disabled_tests --gtest_filter='BlocksSeedCorpus.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/interface/fuzz/fuzz_tables.h"
#include "engine/interface/tests/interface_test_util.h"

namespace {

class BlocksSeedCorpus : public zettest::EngineTest {};

template <typename T>
void Append(std::string& bytes, const T& block) {
  bytes.append(reinterpret_cast<const char*>(&block), sizeof block);
}

TEST_F(BlocksSeedCorpus, DISABLED_Write) {
  const char* root = std::getenv("ZET_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path dir = std::filesystem::path(root) / "interface_blocks_fuzz";
  std::filesystem::create_directories(dir);
  const auto save = [&](const std::string& name, const std::string& bytes) {
    std::ofstream(dir / name, std::ios::binary) << bytes;
  };

  // Records and field values of the target's own table.
  const std::string path = TempPath("ARTIKEL.DAT");
  ASSERT_EQ(fuzz_tables::CreateArticleTable(path, 0), 0);
  const int32_t relation = ZetRltnOpen(path.c_str(), "", 0, interface_test::kAllRights);
  ASSERT_GT(relation, 0);
  const int32_t c = ZetTableCreate(relation);
  std::vector<std::string> records;
  for (const char* name : {"Apfel", "Zitronenbaumblatt"}) {
    ASSERT_EQ(ZetTableAppend(c), 0);
    ASSERT_EQ(ZetTableSetStr(c, "CODE", std::to_string(records.size() + 7).c_str()), 0);
    ASSERT_EQ(ZetTableSetStr(c, "NAME", name), 0);
    ASSERT_EQ(ZetTableSetStr(c, "MENGE", "-3"), 0);
    ASSERT_EQ(ZetTableInitPutMemo(c, "NOTIZ"), 0);
    ZetTablePutMemoBlock("Notiz", 5);
    ASSERT_EQ(ZetTableDonePutMemo(c, "NOTIZ"), 0);
    ASSERT_EQ(ZetTableAppendConfirm(c), 0);
    std::string record(size_t(ZetTableGetRecordSize(c)), '\0');
    ASSERT_EQ(ZetTableGetRecord(c, record.data()), 0);
    records.push_back(record);
  }
  save("records", std::string(1, '\0') + records[0] + records[1]);
  std::string values(1, '\1');
  const ZetTable::TZetTable& t = *ZetTable::Table(relation);
  for (int32_t k = 1; k <= fuzz_tables::kArticleFieldCount; ++k) {
    const uint16_t n = ZetTable::NthUserField(relation, k);
    const std::string value = records[1].substr(t.FieldOffset(n), size_t(t.SizeCode(n)) + 1);
    values += char(k);
    values += char(value.size());
    values += value;
  }
  save("field_values", values);
  ZetRltnCloseAll();

  // Field definitions: the target's table, then a restructure that drops,
  // retypes and adds fields; the people table of the tests with its relation
  // field; a choice list and a link.
  const auto definitions = [](ZetFieldProc proc, int32_t count, const std::vector<int16_t>& sources = {}) {
    std::string bytes(1, char(count - 1));
    for (int32_t k = 1; k <= count; ++k) {
      ZetFieldDef def{};
      proc(k, &def, 0);
      if (size_t(k) <= sources.size()) def.sourceField = sources[size_t(k - 1)];
      Append(bytes, def);
    }
    return bytes;
  };
  save("definitions_articles", std::string("\2\1", 2) + definitions(fuzz_tables::ArticleField, 6) +
                                   definitions(fuzz_tables::ArticleField, 4, {3, 1, 2, 0}));
  save("definitions_people", std::string("\2\1", 2) + definitions(interface_test::PeopleFields, 3) +
                                 definitions(interface_test::PeopleFields, 2, {2, 1}));
  const auto choiceAndLink = [](int32_t field, ZetFieldDef* def, uint32_t) {
    std::strcpy(def->name, field == 1 ? "FARBE" : "VERWEIS");
    def->type = field == 1 ? 8 : 10;
    std::strcpy(field == 1 ? def->first : def->second, field == 1 ? "rot, gr\xFCn 'hell blau'" : "ZIEL");
  };
  save("definitions_choice_link",
       std::string("\2\1", 2) + definitions(choiceAndLink, 2) + definitions(choiceAndLink, 2, {1, 2}));

  // Host commands as a host registers them.
  std::string commands("\3\3", 2);
  const ZetCommandRecord kCommands[] = {
      {1, "MsgBox", "SR", 2, 'R'}, {2, "Beep", "", 0, ' '}, {3, "OpenForm", "S", 1, 'T'}};
  for (const ZetCommandRecord& r : kCommands) Append(commands, r);
  save("host_commands", commands);
}

}  // namespace
