#include <gtest/gtest.h>

#include "files_fixture.h"
#include "platform/files.h"
#include "platform/process.h"

namespace {

using platformtest::FilesTest;

class PathsTest : public FilesTest {};

TEST_F(PathsTest, ResolvesNamesWithoutRegardToCase) {
  MakeFile("Data/Kunden.dat", "kunden");
  MakeFile("Data/Sub Dir/\xC3\x9C" "bersicht.txt");  // "Übersicht.txt" on disk
  MakeFile("Mix/MIX.txt");
  MakeFile("Mix/Mix.txt");
  MakeFile("Mix/mix.TXT");
  struct Case {
    std::string engineName;  // Windows-1252
    std::string systemPath;  // relative to the test directory, UTF-8
  } cases[] = {
      {"DATA\\KUNDEN.DAT", "Data/Kunden.dat"},
      {"data/kunden.DAT", "Data/Kunden.dat"},
      {"Data\\Kunden.dat", "Data/Kunden.dat"},
      {"DATA\\KUNDEN.DAT.", "Data/Kunden.dat"},  // trailing dots do not count
      {"data\\SUB DIR\\\xFC" "BERSICHT.TXT", "Data/Sub Dir/\xC3\x9C" "bersicht.txt"},
      {"DATA\\Neu.dat", "Data/Neu.dat"},       // new file: name as written
      {"NEU\\Kunden.DAT", "NEU/Kunden.DAT"},   // missing directory: all as written
      {"DATA\\..\\data\\KUNDEN.DAT", "Data/../Data/Kunden.dat"},
      {"mix\\Mix.txt", "Mix/Mix.txt"},          // the exact spelling wins
      {"mix\\mix.txt", "Mix/MIX.txt"},          // else the first in byte order
      {"DATA\\", "Data/"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(platform::ResolvePath(base_ + "\\" + c.engineName), Path(c.systemPath)) << c.engineName;
    EXPECT_EQ(platform::ResolvePath("C:" + base_ + "\\" + c.engineName), Path(c.systemPath)) << c.engineName;
  }
  EXPECT_EQ(ReadAll("c:" + base_ + "\\DATA\\KUNDEN.DAT"), "kunden");
}

TEST_F(PathsTest, CreateUsesTheExistingFileOfAnyCase) {
  MakeFile("Data/Kunden.dat", "old contents");
  platform::FileHandle handle;
  ASSERT_EQ(platform::CreateFile(Path("DATA/KUNDEN.DAT"), 66, handle), 0);
  platform::CloseFile(handle);
  ASSERT_EQ(platform::CreateFile(Path("DATA/Neu.DAT"), 66, handle), 0);
  platform::CloseFile(handle);
  EXPECT_EQ(std::filesystem::file_size(Path("Data/Kunden.dat")), 0u);
  EXPECT_FALSE(std::filesystem::exists(Path("DATA")));
  EXPECT_TRUE(std::filesystem::exists(Path("Data/Neu.DAT")));
}

TEST_F(PathsTest, FullPathFoldsDotsWithoutTouchingTheDisk) {
  std::string cwd = platform::CurrentDirectory();
  struct Case {
    std::string name, full;
  } cases[] = {
      {"C:\\Kunden\\.\\Alt\\..\\K.DAT", "/Kunden/K.DAT"},
      {"\\..\\x", "/x"},
      {"/a//b/", "/a/b/"},
      {"sub\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\..\\f", "/f"},
      {"Sub\\K\xFC.dat", cwd + "Sub/K\xFC.dat"},
      {"c:K.DAT", cwd + "K.DAT"},
  };
  for (const Case& c : cases) EXPECT_EQ(platform::FullPath(c.name), c.full) << c.name;
}

TEST_F(PathsTest, IdentityIsTheSameForEverySpelling) {
  MakeFile("Data/Kunden.dat");
  MakeFile("Data/Artikel.dat");
  platform::FileIdentity a, b, c;
  ASSERT_TRUE(platform::GetFileIdentity(Path("Data/Kunden.dat"), a));
  ASSERT_TRUE(platform::GetFileIdentity("C:" + base_ + "\\DATA\\.\\kunden.DAT", b));
  ASSERT_TRUE(platform::GetFileIdentity(Path("Data/Artikel.dat"), c));
  EXPECT_EQ(a, b);
  EXPECT_FALSE(a == c);
  EXPECT_FALSE(platform::GetFileIdentity(Path("Data/None.dat"), c));
}

}  // namespace
