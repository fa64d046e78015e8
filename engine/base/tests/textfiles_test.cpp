#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/ramfiles.h"
#include "engine/base/textfiles.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"
#include "platform/files.h"

namespace {

using namespace TextFiles;
using dynstr::LineChain;

struct Line {
  std::string text;
  int continuation;
  bool operator==(const Line&) const = default;
};
void PrintTo(const Line& l, std::ostream* os) {
  *os << "{\"" << l.text << "\" (" << l.text.size() << "), " << l.continuation << "}";
}

std::vector<Line> Lines(const LineChain& head) {
  std::vector<Line> out;
  for (const dynstr::LineNode* n = head.get(); n; n = n->next.get()) out.push_back({std::string(n->text.view()), n->continued});
  return out;
}

LineChain Chain(const std::vector<Line>& lines) {
  LineChain head;
  LineChain* tail = &head;
  for (const Line& l : lines) {
    *tail = std::make_unique<dynstr::LineNode>(dynstr::HeapStr(l.text), uint8_t(l.continuation));
    tail = &(*tail)->next;
  }
  return head;
}

void WriteFile(const std::string& path, const std::string& bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class TextFilesTest : public zettest::EngineTest {
 protected:
  // Loads path with both loaders; answers the lines of the one asked for.
  std::vector<Line> Load(const std::string& path, size_t maxLength, bool characterwise, int expectedResult = 0) {
    LineChain chain = Chain({{"stale", 0}});
    int rc = characterwise ? ReadTextFileLines(path, chain, maxLength) : LoadTextLines(path, chain, maxLength);
    EXPECT_EQ(rc, expectedResult) << path;
    return Lines(chain);
  }

  int Op(int slot, int operation, std::string_view text = {}, int wanted = 0) {
    return TextSlotOperation(slot, operation, text, wanted, out_);
  }
  ShortStr out_;
};

// ---- Line chains -------------------------------------------------------------

TEST_F(TextFilesTest, LineEndsCrLfCrAndLfGiveTheSameChain) {
  const std::vector<Line> expected = {{"first line", 0}, {"", 0}, {"third", 0}, {"last", 2}};
  const std::vector<Line> expectedLoad = {{"first line", 0}, {"", 0}, {"third", 0}, {"last", 0}};
  for (const char* end : {"\r\n", "\r", "\n"}) {
    SCOPED_TRACE(testing::PrintToString(std::string(end)));
    const std::string path = TempPath("lines.txt");
    WriteFile(path, std::string("first line") + end + end + "third" + end + "last");
    EXPECT_EQ(Load(path, 255, true), expected);
    // The RAM-file loader reports a last line without line end as ended.
    EXPECT_EQ(Load(path, 255, false), expectedLoad);
  }
}

TEST_F(TextFilesTest, LongLinesAreCutAtABlankOrInsideAWord) {
  const std::string path = TempPath("long.txt");
  // The last line: four letters, a blank, ten letters, no line end.
  WriteFile(path, "one two three four\r\nabcd efghijklmn");
  EXPECT_EQ(Load(path, 10, true),
            (std::vector<Line>{{"one two", 1}, {"three", 1}, {"four", 0}, {"abcd", 1}, {"efghijklmn", 2}}));
  EXPECT_EQ(Load(path, 10, false),
            (std::vector<Line>{{"one two", 1}, {"three four", 0}, {"abcd", 1}, {"efghijklmn", 0}}));

  // Saving writes the line again, without a line end behind it.
  LineChain chain;
  ASSERT_EQ(ReadTextFileLines(path, chain, 10), 0);
  ASSERT_EQ(SaveTextLines(TempPath("saved.txt"), chain.get()), 0);
  EXPECT_EQ(ReadFile(TempPath("saved.txt")), "one two three four\r\nabcd efghijklmn");

  // Lengths outside 1..255 are brought into it: no line is ever longer than
  // a short text, and a length of 0 cannot stall the reader.
  WriteFile(path, std::string(300, 'x'));
  EXPECT_EQ(Load(path, 1000, true), (std::vector<Line>{{std::string(255, 'x'), 2}, {std::string(45, 'x'), 2}}));
  WriteFile(path, "ab");
  EXPECT_EQ(Load(path, 0, true), (std::vector<Line>{{"a", 2}, {"b", 2}}));
  EXPECT_EQ(Load(path, 0, false), (std::vector<Line>{{"a", 2}, {"b", 0}}));
}

TEST_F(TextFilesTest, TrailingEndOfFileMarksEndTheFileAndKeepTheLines) {
  const std::string path = TempPath("dos.txt");
  const std::vector<Line> lines = {{"alpha", 0}, {"beta", 0}};
  for (const char* tail : {"\x1A", "\x1A\x1A\x1A"}) {
    WriteFile(path, std::string("alpha\r\nbeta\r\n") + tail);
    EXPECT_EQ(Load(path, 255, true), lines);
    EXPECT_EQ(Load(path, 255, false), lines);
  }
  // Inside the text, ^Z or NUL still mark a file that is no text.
  WriteFile(path, "alpha\r\n\x1A\r\nbeta\r\n");
  EXPECT_TRUE(Load(path, 255, true, kTextHasStopChar).empty());
  WriteFile(path, std::string("alpha\r\nbe\0ta\r\n", 14));
  EXPECT_TRUE(Load(path, 255, true, kTextHasStopChar).empty());
}

TEST_F(TextFilesTest, UnreadableFilesGiveAnEmptyChain) {
  EXPECT_TRUE(Load(TempPath("missing.txt"), 255, true, kErrCannotLoad).empty());
  EXPECT_TRUE(Load(TempPath("missing.txt"), 255, false, kErrCannotLoad).empty());
  WriteFile(TempPath("big.txt"), std::string(RamFiles::kLoadLimit, 'b'));
  EXPECT_TRUE(Load(TempPath("big.txt"), 255, false, kErrCannotLoad).empty());
}

TEST_F(TextFilesTest, AUserBreakStopsLoadingInsteadOfHanging) {
  const std::string path = TempPath("job.txt");
  WriteFile(path, "line 1\r\nline 2\r\n");
  Common::BreakRequested = true;
  std::vector<Line> lines = Load(path, 255, false, kErrBreak);
  Common::BreakRequested = false;
  EXPECT_TRUE(lines.empty());
}

TEST_F(TextFilesTest, SaveAndReloadGiveTheSameChain) {
  const std::vector<Line> lines = {{"PROCEDURE Test", 0}, {"  x := 1  ", 0}, {"", 0},
                                   {"a long line cut", 1}, {"at a blank", 0}, {"and insi", 2},
                                   {"de a word", 0}, {"end", 2}};
  LineChain chain = Chain(lines);
  const std::string path = TempPath("prog.txt");
  ASSERT_EQ(SaveTextLines(path, chain.get()), 0);
  EXPECT_EQ(ReadFile(path),
            "PROCEDURE Test\r\n  x := 1  \r\n\r\na long line cut at a blank\r\nand inside a word\r\nend");
  std::vector<Line> back = Load(path, 255, true);
  EXPECT_EQ(back, (std::vector<Line>{{"PROCEDURE Test", 0}, {"  x := 1  ", 0}, {"", 0},
                                     {"a long line cut at a blank", 0}, {"and inside a word", 0}, {"end", 2}}));
  LineChain again = Chain(back);
  ASSERT_EQ(SaveTextLines(TempPath("again.txt"), again.get()), 0);
  EXPECT_EQ(ReadFile(TempPath("again.txt")), ReadFile(path));

  // Into the text buffer: ended lines lose their trailing blanks.
  ASSERT_EQ(SaveTextLines("RAMTEXT", chain.get()), 0);
  EXPECT_EQ(RamFiles::TextBufMode(), RamFiles::kTextBufReadingAfterClose);
  EXPECT_EQ(Load("ramtext", 255, false),
            (std::vector<Line>{{"PROCEDURE Test", 0}, {"  x := 1", 0}, {"", 0}, {"a long line cut at a blank", 0},
                               {"and inside a word", 0}, {"end", 2}}));
  EXPECT_EQ(Load("RamText", 255, true), Load("ramtext", 255, false));

  // A file that cannot be created reports why.
  EXPECT_NE(SaveTextLines(TempPath("no/dir/x.txt"), chain.get()), 0);
  FreeLineChain(chain);
  EXPECT_FALSE(chain);
}

TEST_F(TextFilesTest, SavingIntoAFullTextBufferStopsAtTheOverflow) {
  LineChain chain = Chain({{std::string(255, 'x'), 0}});
  dynstr::LineNode* tail = chain.get();
  for (int i = 0; i < 300; ++i) {
    tail->next = std::make_unique<dynstr::LineNode>(dynstr::HeapStr(std::string(255, 'x')), 0);
    tail = tail->next.get();
  }
  EXPECT_EQ(SaveTextLines("RAMTEXT", chain.get()), RamFiles::kTextBufOverflow);
  EXPECT_EQ(RamFiles::TextBufLength(), RamFiles::kTextBufSize);
}

// ---- Slots -------------------------------------------------------------------

TEST_F(TextFilesTest, SlotsWriteReadAndAppend) {
  const std::string path = TempPath("data.txt");
  int err = 0;
  int slot = OpenTextSlot("  " + path + "  ", kOpRewrite, err);
  ASSERT_EQ(slot, 1);
  EXPECT_EQ(Op(slot, kOpWriteln, "first"), 0);
  EXPECT_EQ(Op(slot, kOpWrite, "second "), 0);
  EXPECT_EQ(Op(slot, kOpWriteln, "part"), 0);
  EXPECT_EQ(Op(slot, kOpRead, {}, 3), kIoNotOpenForInput);
  EXPECT_EQ(Op(slot, kOpClose), 0);
  EXPECT_EQ(ReadFile(path), "first\r\nsecond part\r\n");
  EXPECT_EQ(Op(slot, kOpWrite, "gone"), kErrBadSlot);  // the slot is free again

  // Appending overwrites the old end-of-file mark.
  WriteFile(path, ReadFile(path) + "\x1A");
  slot = OpenTextSlot(path, kOpAppend, err);
  ASSERT_EQ(slot, 1);
  EXPECT_EQ(Op(slot, kOpWriteln, "third\rline"), 0);
  EXPECT_EQ(Op(slot, kOpClose), 0);
  EXPECT_EQ(ReadFile(path), "first\r\nsecond part\r\nthird\rline\r\n");

  slot = OpenTextSlot(path, kOpReset, err);
  ASSERT_EQ(slot, 1);
  EXPECT_EQ(Op(slot, kOpWrite, "x"), kIoNotOpenForOutput);
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), "first");
  EXPECT_EQ(Op(slot, kOpRead, {}, 3), 0);
  EXPECT_EQ(out_.str(), "sec");
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), "ond part");
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), "third");  // a lone CR ends a line
  EXPECT_EQ(Op(slot, kOpEoT), 0);
  EXPECT_EQ(Op(slot, kOpRead, {}, 1000), 0);  // at most 255, line ends included
  EXPECT_EQ(out_.str(), "line\r\n");
  EXPECT_EQ(Op(slot, kOpEoT), 1);
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_TRUE(out_.empty());
  EXPECT_EQ(Op(slot, 99), 0);  // not an operation: nothing happens
  EXPECT_EQ(Op(slot, kOpClose), 0);
}

TEST_F(TextFilesTest, ReadLnKeeps255CharactersAndSkipsTheRestOfTheLine) {
  const std::string path = TempPath("wide.txt");
  WriteFile(path, std::string(300, 'w') + "\nnext\x1A");
  int err = 0;
  int slot = OpenTextSlot(path, kOpReset, err);
  ASSERT_EQ(slot, 1);
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), std::string(255, 'w'));
  EXPECT_EQ(Op(slot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), "next");
  EXPECT_EQ(Op(slot, kOpEoT), 1);  // the end-of-file mark is no text
}

TEST_F(TextFilesTest, AFourthOpenFindsNoSlotAndSaysSo) {
  int err = 0;
  for (int i = 1; i <= 3; ++i) EXPECT_EQ(OpenTextSlot(TempPath("f" + std::to_string(i)), kOpRewrite, err), i);
  EXPECT_EQ(err, 0);
  EXPECT_EQ(OpenTextSlot(TempPath("f4"), kOpRewrite, err), 0);
  EXPECT_EQ(err, platform::kDosTooManyOpenFiles);

  EXPECT_EQ(Op(2, kOpClose), 0);
  err = 0;
  EXPECT_EQ(OpenTextSlot(TempPath("f4"), kOpRewrite, err), 2);
  EXPECT_EQ(err, 0);
}

TEST_F(TextFilesTest, AFailedOpenReportsItsErrorAndTakesNoSlot) {
  struct Case {
    const char* name;
    std::string file;
    int mode;
    int err;
  };
  const std::vector<Case> cases = {
      {"missing file", TempPath("missing.txt"), kOpReset, platform::kDosFileNotFound},
      {"append to a missing file", TempPath("missing.txt"), kOpAppend, platform::kDosFileNotFound},
      {"missing directory", TempPath("no/dir/new.txt"), kOpRewrite, platform::kDosPathNotFound},
      {"no file-name part", TempPath("sub") + "\\", kOpRewrite, kErrBadFileName},
      {"blanks only", "   ", kOpReset, kErrBadFileName},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    int err = 0;
    EXPECT_EQ(OpenTextSlot(c.file, c.mode, err), 0);
    EXPECT_EQ(err, c.err);
  }
  // No slot was taken by the failures.
  int err = 0;
  EXPECT_EQ(OpenTextSlot(TempPath("ok.txt"), kOpRewrite, err), 1);
}

TEST_F(TextFilesTest, BadSlotsAnswer18) {
  for (int slot : {-1, 2, 3, 4, 254, 256}) {
    SCOPED_TRACE(slot);
    EXPECT_EQ(Op(slot, kOpWrite, "x"), kErrBadSlot);
    EXPECT_EQ(Op(slot, kOpEoT), kErrBadSlot);
    EXPECT_EQ(Op(slot, kOpClose), kErrBadSlot);
  }
}

TEST_F(TextFilesTest, RamTextSlotUsesTheTextBuffer) {
  int err = 0;
  ASSERT_EQ(OpenTextSlot(" ramtext ", kOpRewrite, err), kRamTextSlot);
  EXPECT_EQ(Op(kRamTextSlot, kOpWriteln, "one"), 0);
  EXPECT_EQ(Op(kRamTextSlot, kOpWrite, "two"), 0);
  EXPECT_EQ(Op(kRamTextSlot, kOpClose), 0);

  // Appending keeps the text.
  ASSERT_EQ(OpenTextSlot("RAMTEXT", kOpAppend, err), kRamTextSlot);
  EXPECT_EQ(Op(kRamTextSlot, kOpWriteln, " more"), 0);

  ASSERT_EQ(OpenTextSlot("RamText", kOpReset, err), kRamTextSlot);
  EXPECT_EQ(Op(kRamTextSlot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), "one");
  EXPECT_EQ(Op(kRamTextSlot, kOpRead, {}, 3), 0);
  EXPECT_EQ(out_.str(), "two");
  EXPECT_EQ(Op(kRamTextSlot, kOpReadLn), 0);
  EXPECT_EQ(out_.str(), " more");
  EXPECT_EQ(Op(kRamTextSlot, kOpEoT), 1);
  EXPECT_EQ(Op(kRamTextSlot, kOpReadLn), RamFiles::kTextBufEnd);

  ASSERT_EQ(OpenTextSlot("RAMTEXT", kOpRewrite, err), kRamTextSlot);
  EXPECT_EQ(RamFiles::TextBufLength(), 0u);
  RamFiles::TextBufWrite(std::string(65530, 'r'));
  EXPECT_EQ(Op(kRamTextSlot, kOpWrite, "toolong"), RamFiles::kTextBufOverflow);
  EXPECT_EQ(err, 0);
}

TEST_F(TextFilesTest, SlotZeroIsStandardInputAndOutput) {
  // Standard input from a pipe.
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  const std::string input = "typed line\r\nsecond\nxyz";
  ASSERT_EQ(write(fds[1], input.data(), input.size()), ssize_t(input.size()));
  close(fds[1]);
  int savedIn = dup(STDIN_FILENO);
  dup2(fds[0], STDIN_FILENO);
  close(fds[0]);
  std::vector<std::string> read;
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(Op(kStdSlot, kOpReadLn), 0);
    read.push_back(out_.str());
  }
  EXPECT_EQ(Op(kStdSlot, kOpRead, {}, 2), 0);
  read.push_back(out_.str());
  EXPECT_EQ(Op(kStdSlot, kOpEoT), 0);
  EXPECT_EQ(Op(kStdSlot, kOpRead, {}, 5), 0);
  read.push_back(out_.str());
  EXPECT_EQ(Op(kStdSlot, kOpEoT), 1);
  dup2(savedIn, STDIN_FILENO);
  close(savedIn);
  EXPECT_EQ(read, (std::vector<std::string>{"typed line", "second", "xy", "z"}));

  // Standard output into a file; closing slot 0 does nothing.
  const std::string path = TempPath("stdout.txt");
  std::fflush(stdout);
  int savedOut = dup(STDOUT_FILENO);
  FILE* file = std::fopen(path.c_str(), "wb");
  dup2(fileno(file), STDOUT_FILENO);
  int rc1 = Op(kStdSlot, kOpWrite, "Hallo ");
  int rc2 = Op(kStdSlot, kOpWriteln, "Welt");
  int rc3 = Op(kStdSlot, kOpClose);
  int rc4 = Op(kStdSlot, kOpWrite, "!");
  dup2(savedOut, STDOUT_FILENO);
  close(savedOut);
  std::fclose(file);
  EXPECT_EQ(rc1 | rc2 | rc3 | rc4, 0);
  EXPECT_EQ(ReadFile(path), "Hallo Welt\r\n!");
}

TEST_F(TextFilesTest, CloseTextSlotsFlushesAndFreesEverySlot) {
  int err = 0;
  for (int i = 1; i <= 3; ++i) {
    int slot = OpenTextSlot(TempPath("c" + std::to_string(i)), kOpRewrite, err);
    ASSERT_EQ(slot, i);
    Op(slot, kOpWrite, "content " + std::to_string(i));
  }
  CloseTextSlots();
  for (int i = 1; i <= 3; ++i) {
    EXPECT_EQ(ReadFile(TempPath("c" + std::to_string(i))), "content " + std::to_string(i));
    EXPECT_EQ(Op(i, kOpEoT), kErrBadSlot);
  }
  EXPECT_EQ(OpenTextSlot(TempPath("c4"), kOpRewrite, err), 1);

  // Stopping the engine closes what is still open.
  Op(1, kOpWrite, "on stop");
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(ReadFile(TempPath("c4")), "on stop");
  EXPECT_EQ(Op(1, kOpEoT), kErrBadSlot);
}

TEST_F(TextFilesTest, DeleteNamedFileAnswersTheIoResult) {
  const std::string path = TempPath("del.txt");
  WriteFile(path, "x");
  EXPECT_EQ(DeleteNamedFile(path), 0);
  EXPECT_FALSE(std::filesystem::exists(path));
  EXPECT_EQ(DeleteNamedFile(path), platform::kDosFileNotFound);
}

}  // namespace
