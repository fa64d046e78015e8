// Structure copies through the exports.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/tests/interface_test_util.h"
#include "platform/files.h"

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
    if (!open) {
      ASSERT_EQ(ZetRltnCloseAll(), 0);
    }
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

namespace {

// The names of the files in a directory, sorted.
std::vector<std::string> FilesIn(const std::filesystem::path& dir) {
  std::vector<std::string> names;
  for (const auto& e : std::filesystem::directory_iterator(dir)) names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

// Opens a table of the article layout and reads it through a cursor by
// every index: its names in NAMEN.IND order.
std::vector<std::string> NamesByIndex(const std::string& path) {
  const int32_t r = ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
  EXPECT_GT(r, 0) << path;
  if (r <= 0) return {};
  const int32_t c = ZetTableCreate(r);
  EXPECT_EQ(ZetRltnRefreshIndex(r, nullptr, nullptr), 0);
  EXPECT_EQ(ZetTableSetAccess(c, "NAMEN.IND", 0), 0);
  std::vector<std::string> names = interface_test::WalkNames(c);
  ZetRltnCloseAll();
  return names;
}

TEST_F(InterfaceTest, RenamingAFileSetIsAllOrNothing) {
  const int32_t relation = OpenArticles();
  const int32_t c = ZetTableCreate(relation);
  ASSERT_EQ(AddArticle(c, 1, "Birne", 3), 0);
  ASSERT_EQ(AddArticle(c, 2, "Apfel", 5), 0);
  EXPECT_EQ(ZetRenameDatFile(Path().c_str(), TempPath("LAGER.DAT").c_str(), "", editing_test::kTableKey), -20)
      << "an open table keeps its name";
  ASSERT_EQ(ZetRltnCloseAll(), 0);
  const auto before = FilesIn(TempDir());
  const std::vector<std::string> names = {"Apfel", "Birne"};

  // A rename that fails at each file in turn leaves the old set whole.
  for (int failing = 1;; ++failing) {
    SCOPED_TRACE("rename " + std::to_string(failing) + " fails");
    platform::InjectFileFault(platform::FileOp::Rename, failing, 5);
    const int32_t result = ZetRenameDatFile(Path().c_str(), TempPath("lager.dat").c_str(), "", editing_test::kTableKey);
    platform::ResetFileFaults();
    if (result == 0) {
      EXPECT_GT(failing, 3) << "table, memo, blob and index files";
      break;
    }
    ASSERT_EQ(result, -20);
    EXPECT_EQ(FilesIn(TempDir()), before);
    ASSERT_LT(failing, 20);
  }
  EXPECT_FALSE(std::filesystem::exists(Path()));
  EXPECT_EQ(NamesByIndex(TempPath("LAGER.DAT")), names);
  for (const char* ext : {".DAT", ".MMO", ".BLB", ".ID", ".INR"})
    EXPECT_TRUE(std::filesystem::exists(TempPath(std::string("LAGER") + ext))) << ext;
  EXPECT_TRUE(std::filesystem::exists(TempPath("NAMEN.IND"))) << "user indexes keep their names";

  // A structure copy beside the table would overwrite its user index files:
  // refused, nothing written.
  const auto renamed = FilesIn(TempDir());
  EXPECT_EQ(ZetCopyStructure(TempPath("LAGER.DAT").c_str(), Path().c_str(), "", editing_test::kTableKey), -22);
  EXPECT_EQ(FilesIn(TempDir()), renamed);

  // A target that exists already stops the rename before anything moves.
  std::filesystem::copy_file(TempPath("LAGER.MMO"), TempPath("ARTIKEL.MMO"));
  const auto occupied = FilesIn(TempDir());
  EXPECT_EQ(ZetRenameDatFile(TempPath("LAGER.DAT").c_str(), Path().c_str(), "", editing_test::kTableKey), -20);
  EXPECT_EQ(FilesIn(TempDir()), occupied);
  EXPECT_EQ(NamesByIndex(TempPath("LAGER.DAT")), names);
  EXPECT_EQ(ZetRenameDatFile(TempPath("FEHLT.DAT").c_str(), Path().c_str(), "", 0), -1);
}

}  // namespace
