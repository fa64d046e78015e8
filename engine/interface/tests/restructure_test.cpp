// Structure copies through the exports.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "engine/interface/tests/interface_test_util.h"

namespace {

using interface_test::AddArticle;
using interface_test::InterfaceTest;

TEST_F(InterfaceTest, AStructureCopyIsAnEmptyTableWithTheSameFieldsAndIndexes) {
  const int32_t relation = OpenArticles();
  const int32_t c = ZetTableCreate(relation);
  ASSERT_EQ(AddArticle(c, 1, "Apfel", 3), 0);
  std::filesystem::create_directory(TempPath("kopie"));
  const std::string target = TempPath("kopie/lager.dat");
  const int32_t fields = ZetTableGetNumFields(c);

  // From the open table, and from a closed one (opened for the copy).
  for (bool open : {true, false}) {
    SCOPED_TRACE(open ? "open source" : "closed source");
    if (!open) ASSERT_EQ(ZetRltnCloseAll(), 0);
    std::filesystem::remove_all(TempPath("kopie"));
    std::filesystem::create_directory(TempPath("kopie"));
    const int32_t before = ZetGetNumRelations();
    ASSERT_EQ(ZetCopyStructure(Path().c_str(), target.c_str(), "", editing_test::kTableKey), 0);
    EXPECT_EQ(ZetGetNumRelations(), before) << "a table opened for the copy is closed again";
    EXPECT_TRUE(std::filesystem::exists(TempPath("kopie/LAGER.DAT"))) << "the file name is upper-cased";
    const int32_t copy =
        ZetRltnOpen(TempPath("kopie/LAGER.DAT").c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
    ASSERT_GT(copy, 0);
    EXPECT_EQ(ZetRltnRecordCount(copy), 0);
    char names[256];
    ASSERT_EQ(ZetRltnGetIndexNames(copy, names, sizeof names - 1), 0);
    EXPECT_NE(std::string(names).find("NAMEN.IND"), std::string::npos) << names;
    const int32_t k = ZetTableCreate(copy);
    EXPECT_EQ(ZetTableGetNumFields(k), fields);
    ASSERT_EQ(AddArticle(k, 7, "Kiwi", 1), 0);
    EXPECT_EQ(ZetRltnClose(copy), 0);
  }
  EXPECT_EQ(ZetCopyStructure(TempPath("FEHLT.DAT").c_str(), target.c_str(), "", 0), -1);
  EXPECT_EQ(ZetRegisterModifications(), 0);
}

}  // namespace
