#include "platform/base/system.h"

#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/files.h"

namespace fs = std::filesystem;

namespace {

struct SystemTest : ::testing::Test {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qmk_system_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override { fs::remove_all(dir); }
};

TEST_F(SystemTest, TempNamesAreNewFilesWithTheShortPrefix) {
  std::string a = platform::MakeTempFileName(dir.string(), "qmkxyz");
  std::string b = platform::MakeTempFileName(dir.string(), "qmkxyz");
  ASSERT_FALSE(a.empty());
  EXPECT_NE(a, b);
  EXPECT_TRUE(fs::exists(a));
  std::string name = fs::path(a).filename().string();
  EXPECT_EQ(name.substr(0, 3), "qmk");
  EXPECT_EQ(name.substr(name.size() - 4), ".TMP");
  EXPECT_EQ(platform::MakeTempFileName((dir / "missing").string(), "qmk"), "");
}

TEST_F(SystemTest, OnlyOneHolderOfAnInstanceLock) {
  setenv("XDG_RUNTIME_DIR", dir.c_str(), 1);
  platform::InstanceLock first, second;
  EXPECT_TRUE(first.Acquire("qmkrun32"));
  EXPECT_FALSE(second.Acquire("qmkrun32"));
  EXPECT_TRUE(second.Acquire("other"));
  first.Release();
  platform::InstanceLock third;
  EXPECT_TRUE(third.Acquire("qmkrun32"));
  // Another process sees the lock too.
  int pid = platform::SpawnProgram("flock -n " + (dir / "qmkrun32.lock").string() + " true");
  ASSERT_GT(pid, 0);
  EXPECT_NE(platform::WaitForProcess(pid), 0);
}

TEST_F(SystemTest, CommandLinesSplitAtBlanksOutsideQuotes) {
  using V = std::vector<std::string>;
  EXPECT_EQ(platform::SplitCommandLine("a  b\tc"), (V{"a", "b", "c"}));
  EXPECT_EQ(platform::SplitCommandLine("prog \"two words\" \"\""), (V{"prog", "two words", ""}));
  EXPECT_EQ(platform::SplitCommandLine("   "), V{});
}

TEST_F(SystemTest, SpawnedProgramsReportTheirExitCode) {
  int pid = platform::SpawnProgram("sh -c \"exit 3\"");
  ASSERT_GT(pid, 0);
  EXPECT_EQ(platform::WaitForProcess(pid), 3);
  EXPECT_EQ(platform::SpawnProgram("no-such-program-qmk"), -1);
  EXPECT_EQ(platform::SpawnProgram(""), -1);
}

TEST_F(SystemTest, TheEndDescriptorBecomesReadableWhenTheProcessEnds) {
  int pid = platform::SpawnProgram("sleep 30");
  ASSERT_GT(pid, 0);
  int fd = platform::ProcessEndFd(pid);
  ASSERT_GE(fd, 0);
  pollfd p{fd, POLLIN, 0};
  EXPECT_EQ(poll(&p, 1, 0), 0);  // still running
  kill(pid, SIGTERM);
  EXPECT_EQ(poll(&p, 1, 10000), 1);
  int code = 0;
  EXPECT_TRUE(platform::ProcessEnded(pid, code));
  EXPECT_EQ(code, 128 + SIGTERM);
  close(fd);
}

TEST_F(SystemTest, DocumentsOpenWithTheConfiguredHandler) {
  fs::path out = dir / "opened.txt";
  fs::path script = dir / "handler.sh";
  std::ofstream(script) << "#!/bin/sh\necho \"$1\" > " << out.string() << "\n";
  fs::permissions(script, fs::perms::owner_all);
  std::ofstream(dir / "REPORT.HTM") << "x";
  setenv("QMK_OPEN_COMMAND", script.c_str(), 1);
  int pid = platform::OpenDocument((dir / "report.htm").string());
  ASSERT_GT(pid, 0);
  EXPECT_EQ(platform::WaitForProcess(pid), 0);
  std::string seen;
  std::getline(std::ifstream(out), seen);
  EXPECT_EQ(seen, (dir / "REPORT.HTM").string());  // found without regard to case
  unsetenv("QMK_OPEN_COMMAND");
}

}  // namespace
