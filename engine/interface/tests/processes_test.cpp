// Two processes append to one table through the interface at the same time.
// The share modes let one writer in at a time: a process whose open is
// refused waits and tries again, so no record is lost and the indexes agree
// with the records afterwards.
#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <set>
#include <string>
#include <thread>

#include "engine/interface/tests/interface_test_util.h"

namespace {

using interface_test::InterfaceTest;

constexpr int kPerProcess = 25;

// The child's work: each record in a session of its own (open, append,
// close). Answers the exit status.
int AppendInSessions(const std::string& path, int firstCode) {
  for (int i = 0; i < kPerProcess; ++i) {
    int32_t relation = -1;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while ((relation = ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, interface_test::kAllRights)) < 0) {
      if (std::chrono::steady_clock::now() > deadline) return 2;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    const int32_t c = ZetTableCreate(relation);
    if (c < 1 || ZetTableAppend(c) != 0) return 3;
    if (ZetTableSetStr(c, "CODE", std::to_string(firstCode + i).c_str()) != 0) return 4;
    if (ZetTableSetStr(c, "NAME", ("P" + std::to_string(firstCode + i)).c_str()) != 0) return 4;
    if (ZetTableAppendConfirm(c) != 0) return 5;
    ZetTableDelete(c);
    if (ZetRltnClose(relation) != 0) return 6;
  }
  return 0;
}

TEST_F(InterfaceTest, TwoProcessesAppendToOneTableWithoutLosingRecords) {
  // While one process holds the table for writing, another is refused.
  {
    const int32_t held = OpenArticles();
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0)
      _exit(ZetRltnOpen(Path().c_str(), "", editing_test::kTableKey, interface_test::kAllRights) < 0 ? 0 : 1);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "a second writer got in";
    ASSERT_EQ(ZetRltnClose(held), 0);
  }
  pid_t children[2];
  for (int p = 0; p < 2; ++p) {
    children[p] = fork();
    ASSERT_GE(children[p], 0);
    if (children[p] == 0) _exit(AppendInSessions(Path(), 1000 * (p + 1)));
  }
  for (pid_t child : children) {
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
  }
  const int32_t relation = OpenArticles();
  ASSERT_EQ(ZetRltnRecordCount(relation), 2 * kPerProcess);
  const int32_t c = ZetTableCreate(relation);
  std::set<std::string> codes;
  for (int32_t r = ZetTableFirst(c); r >= 0; r = ZetTableMoveBy(c, 1)) codes.insert(interface_test::Field(c, "CODE"));
  EXPECT_EQ(codes.size(), size_t(2 * kPerProcess));
  editing_test::ExpectIndexesAgree(relation);
}

}  // namespace
