#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "files_fixture.h"
#include "platform/files.h"

namespace {

using namespace platform;
using platformtest::FilesTest;

class FindFileTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    MakeFile("KUNDEN.DAT", "12345");
    MakeFile("kunden.ind");
    MakeFile("Artikel.dat");
    MakeFile("README");
    MakeFile("\xC3\xBC" "bersicht.txt");  // "übersicht.txt" on disk
    MakeFile(".hidden");
    MakeFile("Sub/inner.dat");
  }

  // Every name a search finds, in order, or the error of First.
  std::string FindAll(const std::string& pattern, uint32_t attributes) {
    FindSearch search;
    FindData found;
    int error = search.First(pattern, attributes, found);
    if (error != kDosOk) return "error " + std::to_string(error);
    std::string names;
    do names += found.name + " ";
    while (search.Next(found) == kDosOk);
    EXPECT_EQ(search.Next(found), kDosNoMoreFiles);
    return names;
  }
};

TEST_F(FindFileTest, WildcardsSelectNamesWithoutRegardToCase) {
  struct Case {
    std::string pattern;
    uint32_t attributes;
    std::string names;
  } cases[] = {
      {"*.DAT", 0, "Artikel.dat KUNDEN.DAT "},
      {"*.*", 0, "Artikel.dat KUNDEN.DAT kunden.ind README \xFC" "bersicht.txt "},
      {"*", 0, "Artikel.dat KUNDEN.DAT kunden.ind README \xFC" "bersicht.txt "},
      {"kunden.*", 0, "KUNDEN.DAT kunden.ind "},
      {"README.*", 0, "README "},
      {"K?NDEN.?N?", 0, "kunden.ind "},
      {"\xDC" "BER*", 0, "\xFC" "bersicht.txt "},
      {"*.DA", 0, "error 2"},
      {"????", 0, "error 2"},
      {"S*", 0, "error 2"},
      {"S*", kAttrDirectory, "Sub "},
      {"*", kAttrDirectory | kAttrHidden,
       ". .. .hidden Artikel.dat KUNDEN.DAT kunden.ind README Sub \xFC" "bersicht.txt "},
      {".*", kAttrHidden, ".hidden "},
      {"sub\\*.*", 0, "inner.dat "},
      {"NOSUCH\\*.*", 0, "error 3"},
  };
  for (const Case& c : cases) EXPECT_EQ(FindAll(base_ + "\\" + c.pattern, c.attributes), c.names) << c.pattern;
}

TEST_F(FindFileTest, FoundEntriesCarrySizeDateAndAttributes) {
  FindSearch search;
  FindData found;
  ASSERT_EQ(search.First("C:" + base_ + "\\kunden.dat", 0, found), kDosOk);
  EXPECT_EQ(found.name, "KUNDEN.DAT");
  EXPECT_EQ(found.size, 5u);
  EXPECT_EQ(found.attributes, kAttrArchive);
  uint16_t date = 0, time = 0;
  ASSERT_EQ(GetFileDosDateTime(Path("KUNDEN.DAT"), date, time), kDosOk);
  EXPECT_EQ(found.dosDate, date);
  EXPECT_EQ(found.dosTime, time);
  EXPECT_EQ(search.Next(found), kDosNoMoreFiles);
  EXPECT_EQ(found.name, "KUNDEN.DAT");

  // A new search replaces the old one; a closed search has nothing more.
  ASSERT_EQ(search.First(base_ + "/*.txt", 0, found), kDosOk);
  search.Close();
  EXPECT_EQ(search.Next(found), kDosInvalidHandle);
}

}  // namespace
