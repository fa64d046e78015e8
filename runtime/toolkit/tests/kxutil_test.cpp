// File, number and process routines: conversion tables, bounded
// formatting, file operations on a temporary folder, and running a program
// while the main window waits.
#include "runtime/toolkit/kxutil.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/files.h"
#include "platform/framework/application.h"
#include "platform/testing/ui.h"

namespace {

namespace fs = std::filesystem;
using namespace kxutil;

struct SeparatorScope {
  char saved = DecimalSeparator;
  explicit SeparatorScope(char c) { DecimalSeparator = c; }
  ~SeparatorScope() { DecimalSeparator = saved; }
};

TEST(KxUtilNumbers, ConversionsAnswerValueAndErrorPosition) {
  enum Kind { Short, UShort, Long, ULong, Int, Double, DoubleLocal };
  struct Case {
    Kind kind;
    const char* text;
    double stored;  // NAN: nothing stored
    int position;
  };
  const Case cases[] = {
      {Short, "40000", NAN, 6},         {Short, "12x", NAN, 3},         {Short, "-5", -5, 0},
      {Short, "", 0, 0},                {UShort, "65535", 65535, 0},    {UShort, "-1", NAN, 3},
      {Long, "12.7", 12, 0},            {Long, "-12.7", -12, 0},        {Long, "2147483648", NAN, 11},
      {ULong, "4294967295", 4294967295.0, 0}, {ULong, "nan", NAN, 4},
      {Int, "1e3", 1000, 0},            {Int, "-7.9", -7, 0},           {Int, "1e30", 0, 1},
      {Int, "inf", 0, 1},               {Int, "12x", 12, 3},            {Double, "3.25", 3.25, 0},
      {Double, "3,25", 3, 2},           {DoubleLocal, "3,25", 3.25, 0}, {DoubleLocal, "1234567890123456789x", 1234567890123456789.0, 0},
  };
  SeparatorScope comma(',');
  for (const Case& c : cases) {
    const double sentinel = 99;
    double got = sentinel;
    int pos = -1;
    switch (c.kind) {
      case Short: { int16_t v = 99; StrToShort(c.text, &v, &pos); got = v; break; }
      case UShort: { uint16_t v = 99; StrToUShort(c.text, &v, &pos); got = v; break; }
      case Long: { int32_t v = 99; StrToLong(c.text, &v, &pos); got = v; break; }
      case ULong: { uint32_t v = 99; StrToULong(c.text, &v, &pos); got = v; break; }
      case Int: { int32_t v = 99; StrToInt(c.text, &v, &pos); got = v; break; }
      case Double: StrToDouble(c.text, &got, &pos); break;
      case DoubleLocal: StrToDoubleLocal(c.text, &got, &pos); break;
    }
    EXPECT_EQ(pos, c.position) << c.text;
    EXPECT_EQ(got, std::isnan(c.stored) ? sentinel : c.stored) << c.text;
  }
}

TEST(KxUtilNumbers, FormattingFollowsTheSeparatorAndStaysBounded) {
  char buffer[kFormatBuffer];
  {
    SeparatorScope comma(',');
    EXPECT_STREQ(FormatDoubleLocal(buffer, 2.5, 2), "2,50");
  }
  EXPECT_STREQ(FormatDouble(buffer, 2.5, 0), "2");
  EXPECT_EQ(std::strlen(FormatDouble(buffer, 1e300, 2)), 255u);
  const std::string long1000(1000, 'x');
  EXPECT_EQ(std::strlen(FormatStr(buffer, "%s!", long1000.c_str())), 255u);
  const std::pair<int, int> colours[] = {{1, 2}, {4, 16}, {8, 256}, {16, 0}, {24, 0}, {32, 0}, {2, -1}, {0, -1}};
  for (const auto& [bits, count] : colours) EXPECT_EQ(ColorsForBitCount(bits), count) << bits;
  EXPECT_GT(StackAvail(), 1024);
}

TEST(KxUtilNumbers, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("KXUTIL_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  fs::create_directories(folder);
  char buffer[kFormatBuffer];
  int n = 0;
  SeparatorScope comma(',');
  for (double v : {0.0, -5.0, 2.5, 40000.0, 1e30, -2147483648.0, 4294967295.0, 3.25})
    for (int decimals : {0, 2, 6}) {
      std::ofstream(std::string(folder) + "/number" + std::to_string(++n)) << FormatDouble(buffer, v, decimals);
      std::ofstream(std::string(folder) + "/number" + std::to_string(++n)) << FormatDoubleLocal(buffer, v, decimals);
    }
}

class KxUtilFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir = fs::temp_directory_path() / ("kxutil." + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "src");
    fs::create_directories(dir / "dst");
    platform::ResetFileFaults();
  }
  void TearDown() override {
    platform::ResetFileFaults();
    fs::remove_all(dir);
  }
  void Write(const fs::path& p, const std::string& bytes) { std::ofstream(p, std::ios::binary) << bytes; }
  std::string S(const fs::path& p) { return p.string(); }
  fs::path dir;
};

std::vector<std::pair<int32_t, int32_t>> calls;
int32_t Record(int32_t done, int32_t total) {
  calls.emplace_back(done, total);
  return 0;
}

TEST_F(KxUtilFiles, CopyFilesReportsTotalsPiecesAndFailures) {
  Write(dir / "src" / "a.txt", "abc");
  calls.clear();
  EXPECT_EQ(CopyFiles(S(dir / "dst").c_str(), S(dir / "src" / "*.txt").c_str(), Record, 0), 3);
  EXPECT_EQ(calls, (std::vector<std::pair<int32_t, int32_t>>{{1, 3}, {2, 3}, {3, 3}}));
  std::ifstream copied(dir / "dst" / "a.txt");
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "abc");

  Write(dir / "src" / "empty.dat", "");
  struct Case {
    const char* pattern;
    platform::FileOp fault;
    bool inject;
    const char* target;
    int64_t answer;
  };
  const Case cases[] = {
      {"*.dat", platform::FileOp::Open, false, "dst", -1},
      {"*.none", platform::FileOp::Open, false, "dst", -1},
      {"*.txt", platform::FileOp::Open, true, "dst", -2},
      {"*.txt", platform::FileOp::Open, false, "missing", -3},
      {"*.txt", platform::FileOp::Write, true, "dst", -4},
  };
  for (const Case& c : cases) {
    fs::remove(dir / "dst" / "a.txt");
    platform::ResetFileFaults();
    if (c.inject) platform::InjectFileFault(c.fault, 1, platform::kDosAccessDenied);
    EXPECT_EQ(CopyFiles(S(dir / c.target).c_str(), S(dir / "src" / c.pattern).c_str(), nullptr, 0), c.answer)
        << c.pattern << " " << c.target;
    if (c.answer == -4) EXPECT_FALSE(fs::exists(dir / "dst" / "a.txt"));  // no partial target
  }
}

TEST_F(KxUtilFiles, DeleteChmodAndExistence) {
  Write(dir / "src" / "a.tmp", "1");
  Write(dir / "src" / "b.tmp", "2");
  EXPECT_TRUE(FileExists(S(dir / "src" / "A.TMP").c_str()));
  EXPECT_FALSE(FileExists(S(dir / "src").c_str()));
  EXPECT_TRUE(FileOrDirExists(S(dir / "src").c_str()));
  EXPECT_EQ(ChmodFiles(S(dir / "src" / "*.tmp").c_str(), 0), 0);
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetAttributes(S(dir / "src" / "a.tmp"), attributes), 0);
  EXPECT_TRUE(attributes & platform::kAttrReadOnly);
  EXPECT_EQ(ChmodFiles(S(dir / "src" / "*.tmp").c_str(), kWriteBit), 0);
  EXPECT_EQ(ChmodFiles(S(dir / "src" / "*.none").c_str(), kWriteBit), -1);
  platform::InjectFileFault(platform::FileOp::Delete, 1, platform::kDosAccessDenied);
  EXPECT_EQ(DeleteFiles(S(dir / "src" / "*.tmp").c_str()), -2);  // one failed, the other went
  EXPECT_EQ(DeleteFiles(S(dir / "src" / "*.tmp").c_str()), 0);
  EXPECT_EQ(DeleteFiles(S(dir / "src" / "*.tmp").c_str()), -1);
  MakeDir(S(dir / "made").c_str());
  EXPECT_TRUE(fs::is_directory(dir / "made"));
}

TEST_F(KxUtilFiles, UniqueNamesCountUp) {
  char path[kMaxPathLength + 1];
  const std::string free = S(dir / "src" / "NAME.EXT");
  std::strcpy(path, free.c_str());
  EXPECT_TRUE(MakeUniqueFileName(path, kMaxPathLength));
  EXPECT_EQ(std::string(path), free);
  Write(dir / "src" / "NAME.EXT", "x");
  Write(dir / "src" / "NAME1.EXT", "x");
  EXPECT_TRUE(MakeUniqueFileName(path, kMaxPathLength));
  EXPECT_EQ(std::string(path), S(dir / "src") + "/NAME2.EXT");
}

TEST(KxUtilMemory, CopiesAndLog) {
  win::HGLOBAL block = win::GlobalAlloc(0, 5);
  std::memcpy(win::GlobalLock(block), "hallo", 5);
  win::GlobalUnlock(block);
  win::HGLOBAL copy = CopyGlobalMemory(0, block);
  ASSERT_EQ(win::GlobalSize(copy), 5u);
  EXPECT_EQ(std::memcmp(win::GlobalLock(copy), "hallo", 5), 0);
  win::GlobalUnlock(copy);
  win::GlobalFree(copy);
  win::GlobalFree(block);
  struct Counted : TLog {
    explicit Counted(int& n) : n_(n) {}
    ~Counted() override { ++n_; }
    int& n_;
  };
  int deleted = 0;
  SetLog(new Counted(deleted));
  SetLog(new Counted(deleted));
  EXPECT_EQ(deleted, 1);
  SetLog(nullptr);
  EXPECT_EQ(deleted, 2);
  EXPECT_EQ(GetLog(), nullptr);
}

class KxUtilProcess : public zettest::UiTest {};

TEST_F(KxUtilProcess, WaitingForAProgramDisablesTheMainWindow) {
  fw::TApplication app;
  auto main = std::make_unique<fw::TWindow>(nullptr, "Haupt");
  main->Attr.W = 200, main->Attr.H = 100;
  fw::TWindow* window = main.get();
  app.SetMainWindow(std::move(main));
  ASSERT_TRUE(window->Create());
  window->Show(win::SW_SHOW);
  Settle();
  auto& spy = Spy(window->GetHandle());
  bool disabledMeanwhile = false;
  Then([&] { disabledMeanwhile = !win::IsWindowEnabled(window->GetHandle()); }, "look while the program runs");
  EXPECT_EQ(ExecProgram("sleep 0.1", true, win::SW_SHOW), 0);
  EXPECT_TRUE(disabledMeanwhile);
  EXPECT_TRUE(win::IsWindowEnabled(window->GetHandle()));
  std::vector<win::WPARAM> enables;
  for (const auto& e : spy.Entries())
    if (e.message == win::WM_ENABLE) enables.push_back(e.wParam);
  EXPECT_EQ(enables, (std::vector<win::WPARAM>{0, 1}));
  EXPECT_EQ(ExecProgram("no-such-program-qmk", true, win::SW_SHOW), -1);
  EXPECT_EQ(ExecProgram("true", false, win::SW_SHOW), 0);
}

TEST_F(KxUtilProcess, RunErrorsShowAStopBox) {
  struct Probe : dialogs::InteractionProvider {
    void MessageBox(dialogs::MessageBoxRequest& r) override { seen = r, r.answer = win::IDOK; }
    dialogs::MessageBoxRequest seen;
  } probe;
  dialogs::SetInteractionProvider(&probe);
  ShowRunError(-17);
  dialogs::SetInteractionProvider(&Answers());
  EXPECT_EQ(probe.seen.text, "ErrorCode -17");
  EXPECT_EQ(probe.seen.caption, "RunErrorFunction");
  EXPECT_EQ(probe.seen.type, win::MB_ICONSTOP);
  Answers().MessageBox(win::IDOK).IfText("ErrorCode 3");
  ShowRunError(3);
  EXPECT_EQ(Answers().Log(), std::vector<std::string>{"RunErrorFunction: ErrorCode 3"});
}

TEST_F(KxUtilProcess, TopParentFollowsParentsAndOwners) {
  fw::TWindow top(nullptr, "Oben");
  auto* child = new fw::TWindow(&top, "Kind");
  auto* grandchild = new fw::TWindow(child, "Enkel");
  ASSERT_TRUE(top.Create());
  fw::TWindow popup(&top, "Popup");
  popup.Attr.Style = win::WS_POPUP;
  ASSERT_TRUE(popup.Create());
  for (fw::TWindow* w : {&top, child, grandchild, &popup}) EXPECT_EQ(GetTopParent(w->GetHandle()), top.GetHandle());
}

}  // namespace
