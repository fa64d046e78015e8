#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/ramfiles.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"
#include "platform/clipboard.h"
#include "platform/files.h"

namespace {

using namespace RamFiles;

struct Line {
  std::string text;
  int flag;
  bool operator==(const Line&) const = default;
};
void PrintTo(const Line& l, std::ostream* os) { *os << "{\"" << l.text << "\" (" << l.text.size() << "), " << l.flag << "}"; }

std::vector<Line> Lines(const dynstr::LineChain& head) {
  std::vector<Line> out;
  for (const dynstr::LineNode* n = head.get(); n; n = n->next.get()) out.push_back({std::string(n->text.view()), n->continued});
  return out;
}

void WriteFile(const std::string& path, const std::string& bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// The whole text of the buffer, read from the start without disturbing the
// length.
std::string WholeTextBuf() {
  TextBufReset();
  std::string text;
  ShortStr piece;
  while (!TextBufEof()) {
    TextBufRead(piece, 255);
    text += piece.str();
  }
  return text;
}

// Runs f with the standard output going to a file and answers what it wrote.
template <class F>
std::string CaptureStdout(const std::string& path, F f) {
  std::fflush(stdout);
  int saved = dup(STDOUT_FILENO);
  FILE* file = std::fopen(path.c_str(), "wb");
  dup2(fileno(file), STDOUT_FILENO);
  f();
  std::fflush(stdout);
  dup2(saved, STDOUT_FILENO);
  close(saved);
  std::fclose(file);
  return ReadFile(path);
}

class RamFilesTest : public zettest::EngineTest {};

// ---- RAM files ---------------------------------------------------------------

TEST_F(RamFilesTest, LoadTakesFilesBelow256000BytesOnly) {
  std::string data(kLoadLimit - 1, 'a');
  data[1000] = '\0';
  data.back() = 'z';
  WriteFile(TempPath("fits.txt"), data);
  WriteFile(TempPath("big.txt"), std::string(kLoadLimit, 'b'));

  TRamFile f;
  ASSERT_EQ(RamLoad(f, TempPath("fits.txt")), 0);
  EXPECT_TRUE(f.open);
  EXPECT_EQ(f.size, kLoadLimit - 1);
  EXPECT_EQ(RamPos(f), 0u);
  EXPECT_EQ(std::string(f.buffer.begin(), f.buffer.end()), data);
  RamClose(f);

  EXPECT_EQ(RamLoad(f, TempPath("big.txt")), kErrTooLarge);
  EXPECT_EQ(Error(), kErrTooLarge);
  EXPECT_FALSE(f.open);
  EXPECT_TRUE(RamEof(f));

  EXPECT_EQ(RamLoad(f, TempPath("missing.txt")), platform::kDosFileNotFound);
  EXPECT_FALSE(f.open);
}

TEST_F(RamFilesTest, WritesUpToTheCapacityAndWritesTheFileOnClose) {
  const std::string path = TempPath("out.bin");
  TRamFile f;
  ASSERT_EQ(RamRewrite(f, path), 0);
  EXPECT_FALSE(std::filesystem::exists(path));  // nothing reaches the disk before the close

  std::string block(kWriteCapacity - 9, 'w');
  ASSERT_EQ(RamWrite(f, block.data(), uint32_t(block.size())), 0);
  // Ten more bytes than remain: nothing is written, the position stays.
  EXPECT_EQ(RamWrite(f, "0123456789", 10), kErrBeyondEnd);
  EXPECT_EQ(RamPos(f), block.size());
  ASSERT_EQ(RamClose(f), 0);
  EXPECT_FALSE(f.open);
  EXPECT_EQ(ReadFile(path), block);

  // Exactly the capacity fits.
  ASSERT_EQ(RamRewrite(f, path), 0);
  std::string full(kWriteCapacity, 'f');
  EXPECT_EQ(RamWrite(f, full.data(), kWriteCapacity), 0);
  EXPECT_EQ(RamWrite(f, "x", 1), kErrBeyondEnd);
  ASSERT_EQ(RamClose(f), 0);
  EXPECT_EQ(ReadFile(path).size(), kWriteCapacity);
}

TEST_F(RamFilesTest, CloseOfALoadedFileWritesNothingAndAFailedWriteIsReported) {
  const std::string path = TempPath("in.txt");
  WriteFile(path, "original");
  TRamFile f;
  ASSERT_EQ(RamLoad(f, path), 0);
  ASSERT_EQ(RamWrite(f, "CHANGED!", 8), 0);
  EXPECT_EQ(RamClose(f), 0);
  EXPECT_EQ(ReadFile(path), "original");

  ASSERT_EQ(RamRewrite(f, TempPath("no/such/dir/out.txt")), 0);
  ASSERT_EQ(RamWrite(f, "data", 4), 0);
  EXPECT_NE(RamClose(f), 0);
  EXPECT_NE(Error(), 0);
  EXPECT_FALSE(f.open);
}

TEST_F(RamFilesTest, ReadAndSeekNeverPassTheData) {
  TRamFile f;
  f.buffer = {'a', 'b', 'c', '\r', '\n'};
  f.size = 5;
  f.open = true;

  char got[8] = {};
  EXPECT_EQ(RamRead(f, got, 2), 0);
  EXPECT_EQ(std::string(got, 2), "ab");
  EXPECT_EQ(RamRead(f, got, 4), kErrBeyondEnd);  // three remain
  EXPECT_EQ(RamPos(f), 2u);

  EXPECT_EQ(RamSeek(f, 5), 0);
  EXPECT_TRUE(RamEof(f));
  EXPECT_EQ(RamSeek(f, 9), kErrBeyondEnd);
  EXPECT_EQ(RamPos(f), 9u);  // set all the same
  EXPECT_EQ(RamRead(f, got, 1), kErrBeyondEnd);
  EXPECT_EQ(RamWrite(f, "x", 1), kErrBeyondEnd);
  ShortStr line("stale");
  EXPECT_EQ(RamReadLn(f, line, 255), kLineEnded);
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(RamPos(f), 9u);
  EXPECT_TRUE(RamEof(f));
}

struct ReadLnCase {
  const char* name;
  std::string data;
  size_t maximum;
  std::vector<Line> lines;
};

TEST_F(RamFilesTest, ReadLnEndsWrapsAndCutsLines) {
  const std::string x300(300, 'x');
  const std::vector<ReadLnCase> cases = {
      {"CR LF", "abc\r\ndef\r\n", 255, {{"abc", 0}, {"def", 0}}},
      {"CR alone", "abc\rdef", 255, {{"abc", 0}, {"def", 0}}},
      {"LF alone", "abc\ndef\n", 255, {{"abc", 0}, {"def", 0}}},
      {"empty lines", "\r\n\n\r", 255, {{"", 0}, {"", 0}, {"", 0}}},
      {"trailing blanks kept", "ab  \r\n", 255, {{"ab  ", 0}}},
      {"wrap at the last blank", "abcd efghijklmno", 10, {{"abcd", 1}, {"efghijklmn", 2}, {"o", 0}}},
      {"exactly the maximum is a whole line", "abcdefghij\r\nx", 10, {{"abcdefghij", 0}, {"x", 0}}},
      {"blank right behind the maximum", "abcdefghij klm", 10, {{"abcdefghij", 1}, {"klm", 0}}},
      {"a blank at the start does not wrap", " abcdefghijk", 10, {{" abcdefghi", 2}, {"jk", 0}}},
      {"LF behind a wrap is skipped", "abcdefghij \nxyz", 10, {{"abcdefghij", 1}, {"xyz", 0}}},
      {"maximum 0 reads one character", "ab", 0, {{"a", 2}, {"b", 0}}},
      {"maximum above 255 cuts at 255", x300, 300, {{x300.substr(0, 255), 2}, {x300.substr(255), 0}}},
  };
  for (const ReadLnCase& c : cases) {
    SCOPED_TRACE(c.name);
    TRamFile f;
    f.buffer.assign(c.data.begin(), c.data.end());
    f.size = uint32_t(c.data.size());
    f.open = true;
    std::vector<Line> got;
    ShortStr line;
    while (!RamEof(f) && got.size() < 10) {
      int flag = RamReadLn(f, line, c.maximum);
      got.push_back({line.str(), flag});
    }
    EXPECT_EQ(got, c.lines);
  }
}

TEST_F(RamFilesTest, ReadLnStopsAtAUserBreak) {
  TRamFile f;
  f.buffer = {'a', 'b', '\r', '\n'};
  f.size = 4;
  f.open = true;
  Common::BreakRequested = true;
  ShortStr line;
  RamReadLn(f, line, 255);
  Common::BreakRequested = false;
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(RamPos(f), 0u);
}

TEST_F(RamFilesTest, StreamReadsSeeksAndRefusesShortReads) {
  TRamFile f;
  f.buffer = {'0', '1', '2', '3', '4', '5', '6', '7'};
  f.size = 8;
  f.open = true;
  TRamFileStream s(f);
  EXPECT_EQ(s.Size(), 8u);
  EXPECT_EQ(s.Seek(2, TRamFileStream::kFromBeginning), 2);
  EXPECT_EQ(s.Seek(3, TRamFileStream::kFromCurrent), 5);
  EXPECT_EQ(s.Seek(1, TRamFileStream::kFromEnd), 7);
  char got[4] = {};
  EXPECT_EQ(s.Read(got, 1), 1);
  EXPECT_EQ(got[0], '7');
  EXPECT_EQ(s.Read(got, 1), 0);  // nothing left: no byte, and the caller sees it
  EXPECT_EQ(Error(), kErrBeyondEnd);
  EXPECT_EQ(s.Seek(-3, TRamFileStream::kFromCurrent), 5);
  EXPECT_EQ(s.Read(got, 3), 3);
  EXPECT_EQ(std::string(got, 3), "567");
  EXPECT_EQ(s.Seek(-1, TRamFileStream::kFromBeginning), 0);
  EXPECT_EQ(Error(), kErrBeyondEnd);
  EXPECT_EQ(s.Write("AB", 2), 2);
  EXPECT_EQ(s.Position(), 2u);
  EXPECT_EQ(f.buffer[1], 'B');
}

// ---- The text buffer ---------------------------------------------------------

struct WriteLimitCase {
  const char* name;
  size_t before;
  std::string text;
  bool withLineEnd;
  std::string appended;  // what reaches the buffer behind the first bytes
  bool overflow;
};

TEST_F(RamFilesTest, WritesStopBelow65535AndOverflowToAZeroTail) {
  const std::vector<WriteLimitCase> cases = {
      {"fits to 65534", 65530, "abcd", false, "abcd", false},
      {"would reach 65535", 65531, "abcd", false, "", true},
      {"line end fits below 65535", 65532, "", true, "\r\n", false},
      {"line end into 65533 bytes overflows", 65533, "", true, "", true},
      {"text fits but its line end does not", 65530, "abc", true, "abc", true},
  };
  for (const WriteLimitCase& c : cases) {
    SCOPED_TRACE(c.name);
    TextBufRewrite();
    TextBufWriteLong(std::string(c.before, 'a'));
    ASSERT_EQ(TextBufError(), 0);
    if (c.withLineEnd)
      TextBufWriteLn(c.text);
    else
      TextBufWrite(c.text);
    EXPECT_EQ(TextBufError(), c.overflow ? kTextBufOverflow : 0);
    std::string expected = std::string(c.before, 'a') + c.appended;
    // An overflow makes the length 65535; what lies behind the text is zero.
    if (c.overflow) expected.resize(kTextBufSize, '\0');
    EXPECT_EQ(TextBufLength(), expected.size());
    EXPECT_TRUE(WholeTextBuf() == expected);
  }
}

TEST_F(RamFilesTest, OverflowAfterAClipboardLoadShowsNoStaleBytes) {
  TextBufRewrite();
  TextBufWriteLong(std::string(60000, 's'));
  ASSERT_TRUE(platform::ClipboardSetText("clip"));
  TextBufFromClipboard();
  ASSERT_EQ(TextBufLength(), 4u);
  TextBufWriteLong(std::string(65531, 'n'));
  ASSERT_EQ(TextBufError(), kTextBufOverflow);
  std::string text = WholeTextBuf();
  ASSERT_EQ(text.size(), kTextBufSize);
  EXPECT_EQ(text.substr(0, 4), "clip");
  EXPECT_EQ(text.find('s'), std::string::npos);
  EXPECT_EQ(text.find_first_not_of('\0', 4), std::string::npos);
}

TEST_F(RamFilesTest, AFullBufferOf65535BytesStaysTerminated) {
  // Only a file or an overflow fills the buffer to 65535; every routine that
  // looks for the end of the text must stop there.
  std::string data(kTextBufSize, 'q');
  data.replace(kTextBufSize - 5, 5, "TAIL!");
  WriteFile(TempPath("full.txt"), data);
  ASSERT_EQ(CopyFile(TempPath("full.txt"), "RAMTEXT"), 0);
  ASSERT_EQ(TextBufLength(), kTextBufSize);
  EXPECT_EQ(TextBufError(), 0);
  TextBufClose();
  EXPECT_EQ(TextBufMode(), kTextBufReadingAfterClose);

  EXPECT_FALSE(TextBufReplace("TAIL!", "LONGER TAIL"));  // would pass 65535
  EXPECT_FALSE(TextBufReplace("missing", "x"));
  EXPECT_TRUE(TextBufReplace("TAIL!", "T"));
  EXPECT_EQ(TextBufLength(), kTextBufSize - 4);
  EXPECT_TRUE(TextBufReplace("T", "TAIL!"));  // back to exactly 65535
  EXPECT_EQ(TextBufLength(), kTextBufSize);
  EXPECT_EQ(WholeTextBuf(), data);

  dynstr::LineChain lines = TextBufToLines();
  size_t count = 0;
  for (const dynstr::LineNode* n = lines.get(); n; n = n->next.get()) ++count;
  EXPECT_EQ(count, (kTextBufSize + 254) / 255);

  TextBufReset();
  ShortStr line;
  size_t total = 0;
  while (!TextBufEof()) {
    EXPECT_EQ(TextBufReadLn(line, 255), kLineCut);
    total += line.size();
  }
  EXPECT_EQ(total, kTextBufSize);
  EXPECT_TRUE(TextBufToClipboard());
  std::string clip;
  ASSERT_TRUE(platform::ClipboardGetText(clip));
  EXPECT_EQ(clip, data);

  // A longer file fills the buffer and reports that it did not fit.
  WriteFile(TempPath("long.txt"), data + "more");
  ASSERT_EQ(CopyFile(TempPath("long.txt"), "RAMTEXT"), 0);
  EXPECT_EQ(TextBufLength(), kTextBufSize);
  EXPECT_EQ(TextBufError(), kTextBufOverflow);
  EXPECT_EQ(WholeTextBuf(), data);
}

TEST_F(RamFilesTest, ReplaceMovesTheRestAndSearchesUpToTheFirstZero) {
  TextBufRewrite();
  TextBufWrite("one two three");
  EXPECT_TRUE(TextBufReplace("two", "2"));
  EXPECT_EQ(WholeTextBuf(), "one 2 three");
  EXPECT_TRUE(TextBufReplace("one", "ONE, ONE"));
  EXPECT_EQ(WholeTextBuf(), "ONE, ONE 2 three");
  EXPECT_FALSE(TextBufReplace("", "x"));
  EXPECT_TRUE(TextBufReplace(" 2", std::string_view()));
  TextBufWrite(std::string_view());
  EXPECT_EQ(WholeTextBuf(), "ONE, ONE three");
  TextBufWrite("!");  // writes go on behind the text
  EXPECT_EQ(WholeTextBuf(), "ONE, ONE three!");

  TextBufRewrite();
  TextBufWrite(std::string_view("ab\0cd", 5));
  EXPECT_FALSE(TextBufReplace("cd", "x"));
  EXPECT_TRUE(TextBufReplace("b", "B"));
  EXPECT_EQ(WholeTextBuf(), std::string("aB\0cd", 5));
}

TEST_F(RamFilesTest, ReadLnReadsLinesUpToTheMaximum) {
  TextBufRewrite();
  EXPECT_EQ(TextBufMode(), kTextBufWriting);
  TextBufWriteLn("one");
  TextBufWrite("two\rthree\nfour\r\n");
  TextBufWriteLn(std::string(300, 'x'));
  TextBufWriteLn("0123456789");
  TextBufWrite("last");
  TextBufReset();
  EXPECT_EQ(TextBufMode(), kTextBufReading);

  struct Step {
    size_t maximum;
    Line expected;
  };
  const std::vector<Step> steps = {
      {255, {"one", 0}},       {255, {"two", 0}},       {255, {"three", 0}},
      {255, {"four", 0}},      {400, {std::string(255, 'x'), 2}},
      {255, {std::string(45, 'x'), 0}}, {10, {"0123456789", 0}},
      {2, {"la", 2}},          {255, {"st", 2}},
  };
  ShortStr line;
  for (const Step& s : steps) {
    int flag = TextBufReadLn(line, s.maximum);
    EXPECT_EQ((Line{line.str(), flag}), s.expected);
  }
  EXPECT_TRUE(TextBufEof());
  EXPECT_EQ(TextBufError(), 0);
  EXPECT_EQ(TextBufReadLn(line, 255), kLineCut);
  EXPECT_TRUE(line.empty());
  EXPECT_EQ(TextBufError(), kTextBufEnd);
}

TEST_F(RamFilesTest, ReadAndReadPCharTakeWhatRemains) {
  TextBufRewrite();
  TextBufWrite("abcdef");
  TextBufReset();
  ShortStr text;
  TextBufRead(text, 4);
  EXPECT_EQ(text.str(), "abcd");
  char buffer[8];
  std::memset(buffer, 'X', sizeof buffer);
  EXPECT_EQ(TextBufReadPChar(buffer, 5), 2u);
  EXPECT_STREQ(buffer, "ef");
  EXPECT_EQ(TextBufError(), 0);
  EXPECT_EQ(TextBufReadPChar(buffer, 5), 0u);
  EXPECT_STREQ(buffer, "");
  EXPECT_EQ(TextBufError(), kTextBufEnd);
  TextBufRead(text, 4);
  EXPECT_TRUE(text.empty());
}

struct ToLinesCase {
  const char* name;
  std::string text;
  std::vector<Line> lines;
};

TEST_F(RamFilesTest, ToLinesSplitsAtLineEndsAnd255Characters) {
  const std::string x300(300, 'x');
  const std::vector<ToLinesCase> cases = {
      {"CR LF, LF, CR and none", "a\r\nb\nc\rd", {{"a", 0}, {"b", 1}, {"c", 0}, {"d", 2}}},
      {"empty lines are kept", "\r\n\n\r", {{"", 0}, {"", 1}, {"", 0}}},
      {"300 characters", x300, {{x300.substr(0, 255), 2}, {x300.substr(255), 2}}},
      {"255 characters and a line end", std::string(255, 'y') + "\r\n", {{std::string(255, 'y'), 0}}},
      {"a zero byte ends the text", std::string("ab\0cd\r\n", 7), {{"ab", 2}}},
      {"^Z ends the text", "ab\r\ncd\x1A\r\nef", {{"ab", 0}, {"cd", 2}}},
      {"empty text", "", {}},
  };
  for (const ToLinesCase& c : cases) {
    SCOPED_TRACE(c.name);
    TextBufRewrite();
    TextBufWrite(c.text);
    EXPECT_EQ(Lines(TextBufToLines()), c.lines);
  }
}

TEST_F(RamFilesTest, ClipboardBothWays) {
  TextBufRewrite();
  TextBufWrite("hello\r\nworld");
  ASSERT_TRUE(TextBufToClipboard());
  std::string clip;
  ASSERT_TRUE(platform::ClipboardGetText(clip));
  EXPECT_EQ(clip, "hello\r\nworld");

  // At most 65534 characters, and only up to a zero byte.
  ASSERT_TRUE(platform::ClipboardSetText(std::string(70000, 'c')));
  TextBufFromClipboard();
  EXPECT_EQ(TextBufLength(), kMaxClipboardText);
  EXPECT_EQ(TextBufMode(), kTextBufReadingAfterClose);
  ASSERT_TRUE(platform::ClipboardSetText(std::string("from\0rest", 9)));
  TextBufFromClipboard();
  EXPECT_EQ(WholeTextBuf(), "from");

  // A clipboard without text leaves the buffer alone.
  platform::SetClipboardHooks([](std::string&) { return false; }, [](std::string_view) { return false; });
  TextBufFromClipboard();
  EXPECT_EQ(WholeTextBuf(), "from");
  EXPECT_FALSE(TextBufToClipboard());
  platform::SetClipboardHooks(nullptr, nullptr);
}

TEST_F(RamFilesTest, CopyFileBetweenDiskTextBufferAndConsole) {
  const std::string src = TempPath("src.txt");
  WriteFile(src, "file text\r\n");

  // Disk to disk.
  EXPECT_EQ(CopyFile(src, TempPath("copy.txt")), 0);
  EXPECT_EQ(ReadFile(TempPath("copy.txt")), "file text\r\n");

  // A file into the text buffer, under any case of the name.
  TextBufRewrite();
  TextBufWrite("old old old old");
  EXPECT_EQ(CopyFile(src, "RamText"), 0);
  EXPECT_EQ(WholeTextBuf(), "file text\r\n");

  // The text buffer to a file, and to the console.
  EXPECT_EQ(CopyFile("RAMTEXT", TempPath("out.txt")), 0);
  EXPECT_EQ(ReadFile(TempPath("out.txt")), "file text\r\n");
  int rc = -1;
  std::string printed = CaptureStdout(TempPath("stdout.txt"), [&] { rc = CopyFile("ramtext", "con"); });
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(printed, "file text\r\n");

  // Both names RAMTEXT: the buffer goes to a disk file of that name.
  std::filesystem::path cwd = std::filesystem::current_path();
  std::filesystem::current_path(TempDir());
  rc = CopyFile("RAMTEXT", "RAMTEXT");
  std::filesystem::current_path(cwd);
  EXPECT_EQ(rc, 0);
  EXPECT_EQ(ReadFile(TempPath("RAMTEXT")), "file text\r\n");

  // A file that cannot be read leaves the buffer empty and says why.
  EXPECT_EQ(CopyFile(TempPath("missing.txt"), "RAMTEXT"), platform::kDosFileNotFound);
  EXPECT_EQ(TextBufLength(), 0u);
}

TEST_F(RamFilesTest, TwentyNamedCopiesAreKept) {
  for (int i = 1; i <= 21; ++i) {
    TextBufRewrite();
    TextBufWrite("text " + std::to_string(i));
    SaveTextBufAs("copy" + std::to_string(i));
  }
  TextBufRewrite();
  TextBufWrite("replaced");
  SaveTextBufAs("copy7");
  TextBufRewrite();

  EXPECT_FALSE(LoadTextBufFrom("copy21"));  // the 21st name was ignored
  EXPECT_EQ(TextBufLength(), 0u);
  ASSERT_TRUE(LoadTextBufFrom("copy20"));
  EXPECT_EQ(WholeTextBuf(), "text 20");
  ASSERT_TRUE(LoadTextBufFrom("copy7"));
  EXPECT_EQ(WholeTextBuf(), "replaced");
  ASSERT_TRUE(LoadTextBufFrom("copy1"));
  EXPECT_EQ(TextBufLength(), 6u);

  FreeSavedTextBufs();
  EXPECT_FALSE(LoadTextBufFrom("copy1"));
  SaveTextBufAs("again");  // room again after freeing
  EXPECT_TRUE(LoadTextBufFrom("again"));
}

TEST_F(RamFilesTest, EngineRestartEmptiesBufferAndCopies) {
  TextBufRewrite();
  TextBufWrite("kept?");
  SaveTextBufAs("name");
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(TextBufLength(), 0u);
  EXPECT_EQ(TextBufError(), 0);
  EXPECT_FALSE(LoadTextBufFrom("name"));
}

}  // namespace
