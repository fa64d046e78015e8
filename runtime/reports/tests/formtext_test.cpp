// Formatted text: bottoms, positions, ranges, word wrap and the stream forms.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "runtime/reports/formtext.h"
#include "runtime/reports/textctx.h"
#include "runtime/toolkit/kxstream.h"

using namespace reports;
using kxobject::TMemStream;

namespace {

std::vector<std::string> LinesOf(const TFormattedText& text) {
  std::vector<std::string> lines;
  for (int i = 0; i < text.GetLineCount(); ++i) lines.push_back(text.GetLine(i).Text);
  return lines;
}

std::vector<int> BottomsOf(const TFormattedText& text) {
  std::vector<int> bottoms;
  for (int i = 0; i < text.GetLineCount(); ++i) bottoms.push_back(text.GetLine(i).Bottom);
  return bottoms;
}

// A text of the given lines, each its own line of height 10.
TFormattedText TextOfLines(const std::vector<std::string>& lines) {
  TFormattedText text;
  text.DeleteLine(0);
  for (const auto& line : lines) text.InsertLine(-1, std::make_unique<TFormattedLine>(line.c_str(), -1, 10));
  return text;
}

std::string Bytes(TMemStream& stream) {
  std::string bytes(size_t(stream.GetSize()), '\0');
  stream.Seek(0);
  stream.ReadHuge(bytes.data(), uint32_t(bytes.size()));
  return bytes;
}

TEST(FormattedText, ANewTextHasOneEmptyLineOfHeight40) {
  TFormattedText text;
  EXPECT_EQ(text.GetLineCount(), 1);
  EXPECT_EQ(text.GetLineHeight(0), 40);
  EXPECT_EQ(text.GetLength(), 0);
  TFormattedText fromText("", 80);
  EXPECT_EQ(LinesOf(fromText), std::vector<std::string>{""});
}

TEST(FormattedText, BottomsStayCumulativeThroughInsertAndDelete) {
  TFormattedText text;
  text.InsertLine(-1, std::make_unique<TFormattedLine>(0, 40));
  ASSERT_EQ(BottomsOf(text), (std::vector<int>{40, 80}));
  text.InsertLine(0, std::make_unique<TFormattedLine>(0, 10));
  EXPECT_EQ(BottomsOf(text), (std::vector<int>{10, 50, 90}));
  EXPECT_EQ(text.GetLineHeight(2), 40);
  text.DeleteLine(1);
  EXPECT_EQ(BottomsOf(text), (std::vector<int>{10, 50}));
  text.Clear();
  EXPECT_EQ(BottomsOf(text), (std::vector<int>{10}));
}

TEST(FormattedText, ALineTheArrayCannotTakeRaisesAndChangesNothing) {
  TFormattedText text(1, 0);
  try {
    text.InsertLine(-1, std::make_unique<TFormattedLine>(0, 40));
    FAIL() << "no exception";
  } catch (const XFormattedText& e) {
    EXPECT_STREQ(e.what(), "Text too big for the editor.");
  }
  EXPECT_EQ(BottomsOf(text), (std::vector<int>{40}));
}

TEST(FormattedText, PositionsMoveAcrossLines) {
  const TFormattedText text = TextOfLines({"ab\r\n", "", "cd", "ef"});
  struct Case {
    TTextPos from;
    bool forward;
    bool moved;
    TTextPos to;
  } cases[] = {
      {{0, 0}, false, false, {0, 0}},  // start of the text
      {{0, 3}, false, true, {1, 2}},   // back from column 0: last character of line 2
      {{0, 2}, false, true, {0, 1}},   // back onto an empty line
      {{3, 0}, true, true, {0, 1}},    // forward from the line end
      {{0, 1}, true, true, {0, 2}},
      {{1, 3}, true, true, {2, 3}},    // onto the end of the text
      {{2, 3}, true, false, {2, 3}},   // end of the text
      {{9, 9}, false, true, {1, 3}},   // a position outside is taken as the end
  };
  for (const auto& c : cases) {
    TTextPos pos = c.from;
    bool moved = c.forward ? text.NextPos(pos) : text.PrevPos(pos);
    EXPECT_EQ(moved, c.moved) << c.from.column << "," << c.from.line;
    EXPECT_EQ(pos, c.to) << c.from.column << "," << c.from.line;
  }
  struct Advance {
    TTextPos from;
    int n;
    TTextPos to;
  } advances[] = {
      {{0, 0}, 4, {0, 1}},   // right after the line feed: the next line
      {{0, 0}, 5, {1, 2}},   // the empty line is crossed
      {{1, 2}, -2, {3, 0}},  // back over a line start
      {{0, 3}, 99, {2, 3}},  // clamped at the end
  };
  for (const auto& a : advances) EXPECT_EQ(text.AdvancePos(a.from, a.n), a.to) << a.n;
  EXPECT_EQ(text.GetCharAt({1, 2}), 'd');
  EXPECT_EQ(text.LineOfChar(5), 2);
}

TEST(FormattedText, RangesCopyDeleteAndSplit) {
  struct Case {
    TTextPos from, to;
    int size;
    std::string copied;
    std::vector<std::string> afterDelete;
  } cases[] = {
      {{1, 0}, {3, 0}, 99, "el", {"hlo\r\n", "world\r\n", "end"}},
      {{2, 0}, {2, 1}, 99, "llo\r\nwo", {"he", "rld\r\n", "end"}},
      {{0, 0}, {3, 2}, 99, "hello\r\nworld\r\nend", {""}},  // first line from 0, last to its end: both go
      {{0, 1}, {3, 2}, 4, "worl", {"hello\r\n"}},
      {{3, 1}, {1, 1}, 99, "", {"hello\r\n", "world\r\n", "end"}},  // reversed: nothing
  };
  for (const auto& c : cases) {
    TFormattedText text = TextOfLines({"hello\r\n", "world\r\n", "end"});
    char buffer[100];
    EXPECT_EQ(text.GetRange(c.from, c.to, buffer, c.size), int(c.copied.size()));
    EXPECT_EQ(std::string(buffer), c.copied);
    text.DeleteRange(c.from, c.to);
    EXPECT_EQ(LinesOf(text), c.afterDelete) << c.copied;
  }
  TFormattedText text = TextOfLines({"hello world"});
  text.SplitLine({6, 0});
  EXPECT_EQ(LinesOf(text), (std::vector<std::string>{"hello ", "world"}));
  EXPECT_EQ(BottomsOf(text), (std::vector<int>{10, 20}));
}

TEST(FormattedText, FindAndWordsHonourCaseAndDirection) {
  const TFormattedText text = TextOfLines({"Eine Gr\xF6\xDF" "e\r\n", "und eine GR\xD6SSE-Angabe"});
  struct Case {
    const char* find;
    TTextPos from;
    bool ignoreCase, backwards, found;
    TTextPos at;
  } cases[] = {
      {"eine", {0, 0}, false, false, true, {4, 1}},
      {"eine", {0, 0}, true, false, true, {0, 0}},
      {"eine", {0, 1}, true, true, true, {0, 0}},  // backwards: strictly before the position
      {"gr\xF6\xDF" "e", {0, 0}, true, false, true, {5, 0}},
      {"GR\xD6SSE", {6, 0}, false, false, true, {9, 1}},
      {"fehlt", {0, 0}, true, false, false, {0, 0}},
      {"", {0, 0}, false, false, false, {0, 0}},
  };
  for (const auto& c : cases) {
    TTextPos pos = c.from;
    EXPECT_EQ(text.Find(c.find, pos, c.ignoreCase, c.backwards), c.found) << c.find;
    EXPECT_EQ(pos, c.found ? c.at : c.from) << c.find;
  }
  struct Word {
    TTextPos at;
    std::string word;
  } words[] = {
      {{2, 0}, "Eine"},      // inside a word
      {{3, 1}, "und eine"},  // on the blank after it: over the blank to the next word's end
      {{11, 1}, "GR\xD6SSE"},  // "-" separates
  };
  for (const auto& w : words) {
    char buffer[64];
    text.GetWordAt(w.at, buffer, 63);
    EXPECT_EQ(std::string(buffer), w.word);
  }
}

// The textual context measures 16 units a character, so widths are counts
// of characters times 16.
TEST(FormattedText, WordWrapCutsAfterBlanksAndBreaksLongWords) {
  TMemStream sink(0, 256);
  TTextualContext context("", &sink, false);
  struct Case {
    const char* text;
    int chars;
    std::vector<std::string> lines;
  } cases[] = {
      // The width ends inside the second word: cut after the first word's blank.
      {"abc defgh ij", 6, {"abc ", "defgh ", "ij"}},
      // A single word wider than the width is broken at the width.
      {"abcdefghij", 4, {"abcd", "efgh", "ij"}},
      // Paragraph ends stay with their lines; an empty line follows the last.
      {"ab\r\ncd\r\n", 10, {"ab\r\n", "cd\r\n", ""}},
      // Blanks after a fitting word hang past the width.
      {"abc   de", 3, {"abc   ", "de"}},
      // A lone line feed ends a paragraph as well.
      {"ab\ncd", 10, {"ab\n", "cd"}},
  };
  for (const auto& c : cases) {
    TFormattedText text(c.text, 80);
    text.WordWrap = 1;
    text.Format(context, c.chars * 16, -1, true);
    EXPECT_EQ(LinesOf(text), c.lines) << c.text;
    EXPECT_EQ(text.GetLineHeight(0), 42) << c.text;
    EXPECT_EQ(text.GetLine(text.GetLineCount() - 1).Bottom, 42 * text.GetLineCount()) << c.text;
    // Laying out again changes nothing.
    text.Format(context, c.chars * 16, -1, true);
    EXPECT_EQ(LinesOf(text), c.lines) << c.text;
  }
}

TEST(FormattedText, InsertingTextReflowsTheParagraph) {
  TMemStream sink(0, 256);
  TTextualContext context("", &sink, false);
  TFormattedText text("aa bb cc\r\nzz", 80);
  text.WordWrap = 1;
  text.Format(context, 6 * 16, -1, true);
  ASSERT_EQ(LinesOf(text), (std::vector<std::string>{"aa bb ", "cc\r\n", "zz"}));
  TTextPos first, last;
  text.InsertText(context, {0, 0}, {0, 0}, "xx ", 6 * 16, &first, &last);
  EXPECT_EQ(LinesOf(text), (std::vector<std::string>{"xx aa ", "bb cc\r\n", "zz"}));
  EXPECT_EQ(first, (TTextPos{0, 0}));
  EXPECT_EQ(last, (TTextPos{7, 1}));
  text.InsertText(context, {3, 0}, {3, 1}, "", 6 * 16, nullptr, nullptr);
  EXPECT_EQ(LinesOf(text), (std::vector<std::string>{"xx cc\r\n", "zz"}));
}

TEST(FormattedText, ALongTextIsLaidOutWithoutAFixedBuffer) {
  TMemStream sink(0, 256);
  TTextualContext context("", &sink, false);
  std::string words;
  for (int i = 0; i < 2000; ++i) words += "wort ";
  TFormattedText text(words.c_str(), 80);
  text.WordWrap = 1;
  text.Format(context, 80 * 16, -1, true);
  EXPECT_EQ(text.GetLineCount(), 2000 / 16 + 0);
  EXPECT_EQ(text.GetText(), words);
}

TEST(FormattedText, StreamFormsKeepTheText) {
  struct Case {
    std::string stored;  // the characters after the length word
    int32_t length;
    std::vector<std::string> lines;
  } cases[] = {
      {"", 0, {""}},                 // length 0: unchanged
      {"abc", -5, {""}},             // a negative length reads nothing
      {"abc", 1000, {"abc", ""}},    // no more than the stream holds
      {std::string(254, 'a') + "\r\nxyz", 259, {std::string(254, 'a') + "\r\n", "xyz", ""}},
      {std::string(300, 'b'), 300, {std::string(255, 'b'), std::string(45, 'b'), ""}},
  };
  for (const auto& c : cases) {
    TMemStream stream(0, 256);
    uint8_t word[4] = {uint8_t(c.length), uint8_t(c.length >> 8), uint8_t(c.length >> 16),
                       uint8_t(uint32_t(c.length) >> 24)};
    stream.WriteHuge(word, 4);
    stream.WriteHuge(c.stored.data(), uint32_t(c.stored.size()));
    stream.Seek(0);
    TFormattedText text;
    text.Read(stream);
    EXPECT_EQ(LinesOf(text), c.lines) << c.length;
  }
  // Write then Read gives the same characters; Save/Load with the OEM flag
  // stores code page 850.
  TFormattedText text("Gr\xF6\xDF" "e\r\nzweite Zeile", 80);
  TMemStream stored(0, 256);
  text.Write(stored);
  stored.Seek(0);
  TFormattedText back;
  back.Read(stored);
  EXPECT_EQ(back.GetText(), text.GetText());
  TMemStream oem(0, 256);
  text.SaveToStream(oem, true);
  EXPECT_EQ(Bytes(oem), "Gr\x94\xE1" "e\r\nzweite Zeile");
  oem.Seek(0);
  back.LoadFromStream(oem, true);
  EXPECT_EQ(back.GetText(), "Gr\xF6\xDF" "e\r\nzweite Zeile");
}

// Writes the fuzzer's seeds (a flag byte, then what Write stores) when
// REPORTS_WRITE_FUZZ_SEEDS names a folder.
TEST(FormattedText, WritesFuzzSeeds) {
  const char* folder = std::getenv("REPORTS_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  struct Seed {
    uint8_t flags;
    std::string text;
  } seeds[] = {
      {0x11, "Ein Text, der umbricht.\r\nZweiter Absatz\r\n"},
      {0x20, std::string(254, 'a') + "\r\n" + "Gr\xF6\xDF" "e\tund-mehr"},
      {0x0B, "kurz"},
  };
  int n = 0;
  for (const auto& seed : seeds) {
    TMemStream out(0, 256);
    out.WriteHuge(&seed.flags, 1);
    TFormattedText(seed.text.c_str(), 80).Write(out);
    std::ofstream(std::string(folder) + "/text" + std::to_string(++n), std::ios::binary)
        .write(reinterpret_cast<const char*>(out.Block->Data), out.Size);
  }
}

}  // namespace
