#include "engine/storage/winmemos.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/base/lowfiles.h"
#include "engine/base/ramfiles.h"
#include "engine/storage/tests/blockfile_test_util.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace blockfile_test;
using WINMEMOS::kInMemoryMemo;
using WINMEMOS::kLinkSize16;
using WINMEMOS::kLinkSize32;
using WINMEMOS::TMemoFile;

constexpr uint32_t kKey = 0x5EED1234;
constexpr size_t kBlock = WINMEMOS::kMemoBlockSize;
constexpr char kEof = 26;

// Text of exactly length bytes made of words, blanks and (when withBreaks is
// set) CR LF line ends: such a text comes back from a memo byte for byte.
std::string Prose(size_t length, uint32_t seed, bool withBreaks) {
  std::mt19937 gen(seed);
  std::string text;
  while (text.size() < length) {
    unsigned r = gen() % 16;
    if (withBreaks && r == 0 && text.size() + 2 <= length)
      text += "\r\n";
    else if (r < 4)
      text += ' ';
    else
      text += char('a' + gen() % 26);
  }
  return text;
}

class WinmemosTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    WINMEMOS::CloseMemoFile(f_);
    platform::ResetFileFaults();
    EngineTest::TearDown();
  }

  void OpenNew(uint8_t linkSize, uint32_t key = 0, bool oem = false) {
    path_ = TempPath("T.MMO");
    ASSERT_EQ(WINMEMOS::CreateMemoFile(path_, key, linkSize), 0);
    Open(linkSize, key, oem);
  }
  void Open(uint8_t linkSize, uint32_t key = 0, bool oem = false) {
    ASSERT_EQ(WINMEMOS::OpenMemoFile(f_, path_, LOWFILES::kModeReadWriteShared, key, linkSize, oem), 0);
  }

  // A hand-made file: header {nextFree, highest}, then data blocks 1.. each
  // {link, text}; a text shorter than the block is followed by ^Z.
  void Craft(uint8_t linkSize, uint32_t nextFree, uint32_t highest,
             const std::vector<std::pair<uint32_t, std::string>>& blocks) {
    path_ = TempPath("C.MMO");
    Bytes file((blocks.size() + 1) * kBlock, 0);
    auto put = [&](size_t at, uint32_t v) { linkSize == 2 ? PutU16(file, at, uint16_t(v)) : PutU32(file, at, v); };
    put(0, nextFree);
    put(linkSize, highest);
    for (size_t i = 0; i < blocks.size(); ++i) {
      size_t at = (i + 1) * kBlock;
      put(at, blocks[i].first);
      std::fill(file.begin() + std::ptrdiff_t(at + linkSize), file.begin() + std::ptrdiff_t(at + kBlock), kEof);
      std::copy(blocks[i].second.begin(), blocks[i].second.end(), file.begin() + std::ptrdiff_t(at + linkSize));
    }
    WriteAll(path_, file);
    Open(linkSize);
  }

  uint32_t Put(std::string_view text, uint32_t old = 0, size_t chunk = 61) {
    EXPECT_EQ(WINMEMOS::InitPutMemo(f_), 0);
    for (size_t at = 0; at < text.size(); at += chunk) {
      int32_t n = int32_t(std::min(chunk, text.size() - at));
      EXPECT_EQ(WINMEMOS::PutMemoBlock(n, text.data() + at), n);
    }
    return WINMEMOS::DonePutMemo(f_, old);
  }

  // The memo as GetMemoBlock hands it out, in pieces of chunk characters.
  std::string Get(uint32_t first, int32_t chunk = 53) {
    int32_t length = WINMEMOS::InitGetMemo(f_, first);
    if (length < 0) return "<failed>";
    std::string out;
    std::vector<char> buffer(size_t(chunk) + 1);
    for (int32_t n; (n = WINMEMOS::GetMemoBlock(chunk, buffer.data())) > 0;) out.append(buffer.data(), size_t(n));
    WINMEMOS::DoneGetMemo();
    EXPECT_EQ(out.size(), size_t(length));
    EXPECT_EQ(WINMEMOS::MemoLength(f_, first), length);
    return out;
  }

  std::vector<std::pair<std::string, uint8_t>> Lines(uint32_t first) {
    dynstr::LineChain chain;
    WINMEMOS::ReadMemoLines(f_, first, chain);
    std::vector<std::pair<std::string, uint8_t>> lines;
    for (const dynstr::LineNode* n = chain.get(); n; n = n->next.get())
      lines.emplace_back(std::string(n->text.view()), n->continued);
    WINMEMOS::FreeMemoLines(chain);
    return lines;
  }

  std::string path_;
  TMemoFile f_;
};

TEST_F(WinmemosTest, NewFileIsOneHeaderBlockAndFirstMemoGoesToBlockOne) {
  for (uint8_t linkSize : {kLinkSize16, kLinkSize32}) {
    SCOPED_TRACE(int(linkSize));
    OpenNew(linkSize, kKey);
    EXPECT_EQ(std::filesystem::file_size(path_), kBlock);
    EXPECT_EQ(f_.nextFree, 1u);
    EXPECT_EQ(f_.highest, 0u);
    EXPECT_FALSE(f_.damaged);
    EXPECT_EQ(Put("hello"), 1u);
    EXPECT_EQ(std::filesystem::file_size(path_), 2 * kBlock);
    WINMEMOS::CloseMemoFile(f_);
  }
}

// The bytes on disk: header record {next free, highest} and a data block
// {link, text, ^Z...}, each scrambled with the table key as one unit.
TEST_F(WinmemosTest, StoresHeaderAndBlocksAsDrawn) {
  for (uint8_t linkSize : {kLinkSize16, kLinkSize32}) {
    for (uint32_t key : {0u, kKey}) {
      SCOPED_TRACE(testing::Message() << int(linkSize) << " " << key);
      OpenNew(linkSize, key);
      ASSERT_EQ(Put("ab\r\ncd\r\n" + std::string(60, 'x') + " " + std::string(20, 'y')), 1u);
      WINMEMOS::CloseMemoFile(f_);

      Bytes header(2 * linkSize, 0);
      header[0] = 2;  // next free
      header[linkSize] = 1;  // highest
      EXPECT_EQ(PlainBytes(path_, 0, header.size(), key), header);

      Bytes block(kBlock, kEof);
      std::fill(block.begin(), block.begin() + linkSize, 0);
      block[0] = 2;  // link: the next free block at the time
      std::string stored = "ab\rcd\r" + std::string(60, 'x') + "\n" + std::string(20, 'y');
      std::copy(stored.begin(), stored.end(), block.begin() + linkSize);
      EXPECT_EQ(PlainBytes(path_, kBlock, kBlock, key), block);
      if (key != 0) {
        EXPECT_NE(PlainBytes(path_, kBlock, kBlock, 0), block);
      }
    }
  }
}

// A file whose block 0 is scrambled as one whole block (the header record
// and the zeros behind it) is read as well, and its header keeps that form
// when it is written again.
TEST_F(WinmemosTest, ReadsAndKeepsAHeaderBlockScrambledWhole) {
  for (uint8_t linkSize : {kLinkSize16, kLinkSize32}) {
    SCOPED_TRACE(int(linkSize));
    OpenNew(linkSize, kKey);
    const std::string first = Prose(600, 1, true);
    ASSERT_EQ(Put(first), 1u);
    WINMEMOS::CloseMemoFile(f_);
    Bytes block0(kBlock, 0);
    const Bytes header = PlainBytes(path_, 0, 2 * linkSize, kKey);
    std::copy(header.begin(), header.end(), block0.begin());
    PutPlainBytes(path_, 0, block0, kKey);

    Open(linkSize, kKey);
    EXPECT_FALSE(f_.damaged);
    EXPECT_EQ(f_.nextFree, 4u);
    EXPECT_EQ(f_.highest, 3u);
    EXPECT_EQ(Get(1), first);
    ASSERT_EQ(Put("second"), 4u);
    WINMEMOS::CloseMemoFile(f_);
    Bytes want(kBlock, 0);
    want[0] = 5;
    want[linkSize] = 4;
    EXPECT_EQ(PlainBytes(path_, 0, kBlock, kKey), want);

    Open(linkSize, kKey);
    EXPECT_FALSE(f_.damaged);
    EXPECT_EQ(Get(1), first);
    EXPECT_EQ(Get(4), "second");
    WINMEMOS::CloseMemoFile(f_);
  }
}

// Texts of 0, 1, room-1, room, room+1 and 70,000 stored bytes (room = 254 or
// 252 per block) take text / room + 1 blocks (always one ^Z behind the text)
// and come back byte for byte, in pieces of any size.
TEST_F(WinmemosTest, RoundTripsTextsOfManySizes) {
  for (uint8_t linkSize : {kLinkSize16, kLinkSize32}) {
    for (uint32_t key : {0u, kKey}) {
      OpenNew(linkSize, key);
      const size_t room = kBlock - linkSize;
      for (size_t size : {size_t(0), size_t(1), room - 1, room, room + 1, size_t(70000)}) {
        SCOPED_TRACE(testing::Message() << int(linkSize) << " " << key << " " << size);
        std::string text = Prose(size, uint32_t(size), false);
        uint32_t before = f_.highest;
        uint32_t first = Put(text);
        EXPECT_EQ(WINMEMOS::Status(), 0);
        EXPECT_EQ(first, size == 0 ? 0u : before + 1);
        EXPECT_EQ(f_.highest - before, size == 0 ? 0 : size / room + 1);
        EXPECT_EQ(Get(first), text);
        EXPECT_EQ(Get(first, 1), text);
      }
      std::string prose = Prose(70000, 7, true);
      EXPECT_EQ(Get(Put(prose), 4096), prose);
      // The header on disk holds what the object holds.
      uint32_t highest = f_.highest;
      WINMEMOS::CloseMemoFile(f_);
      Open(linkSize, key);
      EXPECT_EQ(f_.highest, highest);
      EXPECT_EQ(f_.nextFree, highest + 1);
      WINMEMOS::CloseMemoFile(f_);
    }
  }
}

// ReadMemoText gives the lines of ReadMemoLines as stored: each line's
// pieces joined, a hard break as CR and a soft one as LF. Chains that run
// over returned blocks (not consecutive, so read ahead is of no use) and
// chains longer than any read ahead read alike, in every file form.
TEST_F(WinmemosTest, ReadMemoTextJoinsTheLinesOfReadMemoLines) {
  auto joined = [this](uint32_t first) {
    std::string text;
    for (const auto& [line, code] : Lines(first))
      text += line + (code == RamFiles::kLineEnded ? "\r" : code == RamFiles::kLineCutAtBlank ? "\n" : "");
    return text;
  };
  for (uint8_t linkSize : {kLinkSize16, kLinkSize32}) {
    for (const auto& [key, oem] : {std::pair{0u, false}, {kKey, false}, {kKey, true}}) {
      SCOPED_TRACE(testing::Message() << int(linkSize) << " " << key << " " << oem);
      OpenNew(linkSize, key, oem);
      std::vector<uint32_t> firsts;
      uint32_t seed = 1;
      for (size_t size : {size_t(1), size_t(250), size_t(1200), size_t(2100), size_t(9000), size_t(40000)})
        firsts.push_back(Put(Prose(size, seed++, true) + "Gr\xFC\xDF" "e " + std::string(200, 'x')));
      // Returned blocks: a new chain takes the freed chains' blocks first.
      ASSERT_EQ(WINMEMOS::DeleteMemo(f_, firsts[1]), 0);
      ASSERT_EQ(WINMEMOS::DeleteMemo(f_, firsts[3]), 0);
      firsts.push_back(Put(Prose(6000, seed++, true)));
      firsts.erase(firsts.begin() + 3);
      firsts.erase(firsts.begin() + 1);
      std::string text = "left over";
      WINMEMOS::TReadWindow window;  // one for all memos, and out of order
      for (uint32_t first : firsts) {
        EXPECT_EQ(WINMEMOS::ReadMemoText(f_, first, text), 0);
        EXPECT_EQ(text, joined(first));
        EXPECT_EQ(WINMEMOS::ReadMemoText(f_, first, text, &window), 0);
        EXPECT_EQ(text, joined(first));
      }
      EXPECT_EQ(WINMEMOS::ReadMemoText(f_, firsts[0], text, &window), 0);
      EXPECT_EQ(text, joined(firsts[0]));
      EXPECT_EQ(WINMEMOS::ReadMemoText(f_, 0, text), 0);
      EXPECT_EQ(text, "");
      WINMEMOS::CloseMemoFile(f_);
    }
  }
  OpenNew(kLinkSize32);
  RamFiles::TextBufRewrite();
  RamFiles::TextBufWriteLn("line one");
  RamFiles::TextBufWrite(std::string(100, 'y'));
  std::string text;
  EXPECT_EQ(WINMEMOS::ReadMemoText(f_, kInMemoryMemo, text), 0);
  EXPECT_EQ(text, "line one\r" + std::string(100, 'y'));
  // A damaged chain gives no text, as it gives no lines.
  Craft(kLinkSize32, 3, 2, {{2, std::string(252, 'f')}, {1, std::string(252, 'f')}});
  EXPECT_EQ(WINMEMOS::ReadMemoText(f_, 1, text), WINMEMOS::kStatusDamaged);
  EXPECT_EQ(text, "");
}

TEST_F(WinmemosTest, FreedBlocksAreReusedStartingWithTheFirstOfTheChain) {
  OpenNew(kLinkSize32, kKey);
  uint32_t a = Put(std::string(600, 'a'));  // blocks 1..3
  uint32_t b = Put("b");                    // block 4
  ASSERT_EQ(a, 1u);
  ASSERT_EQ(b, 4u);
  EXPECT_EQ(WINMEMOS::DeleteMemo(f_, a), 0);
  EXPECT_EQ(f_.nextFree, 1u);
  EXPECT_EQ(Put("c"), 1u);
  // The rest of the freed chain comes next, then the file grows again.
  uint32_t d = Put(std::string(300, 'd'));
  EXPECT_EQ(d, 2u);
  EXPECT_EQ(f_.highest, 4u);
  EXPECT_EQ(Put("e"), 5u);
  // Replacing a memo writes new blocks and leaves the old chain whole: the
  // record still names it until the record update frees it.
  uint32_t replaced = Put(std::string(400, 'r'), d);
  EXPECT_EQ(replaced, 6u);
  EXPECT_EQ(f_.highest, 7u);
  EXPECT_EQ(Get(b), "b");
  EXPECT_EQ(Get(d), std::string(300, 'd'));
  EXPECT_EQ(Get(replaced), std::string(400, 'r'));
}

TEST_F(WinmemosTest, PutWrapsAtSeventyAndKeepsHardAndSoftBreaksApart) {
  OpenNew(kLinkSize32);
  const std::string a60(60, 'a'), b20(20, 'b');
  struct Case {
    std::string put;
    std::string got;
    std::vector<std::pair<std::string, uint8_t>> lines;
  } cases[] = {
      {"ab\r\ncd", "ab\r\ncd", {{"ab", RamFiles::kLineEnded}, {"cd", RamFiles::kLineCut}}},
      {"ab\r\ncd\r\n", "ab\r\ncd\r\n", {{"ab", RamFiles::kLineEnded}, {"cd", RamFiles::kLineEnded}}},
      // Wrapped at the last blank: the blank becomes a soft break.
      {a60 + " " + b20, a60 + " " + b20, {{a60, RamFiles::kLineCutAtBlank}, {b20, RamFiles::kLineCut}}},
      // Without a blank the line is cut; read back in pieces of 80.
      {std::string(150, 'c'), std::string(150, 'c'),
       {{std::string(80, 'c'), RamFiles::kLineCut}, {std::string(70, 'c'), RamFiles::kLineCut}}},
      // A lone LF is dropped.
      {"a\nb", "ab", {{"ab", RamFiles::kLineCut}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.put);
    uint32_t first = Put(c.put);
    EXPECT_EQ(Get(first), c.got);
    EXPECT_EQ(Lines(first), c.lines);
  }
  // A 0 byte ends what a block puts.
  ASSERT_EQ(WINMEMOS::InitPutMemo(f_), 0);
  EXPECT_EQ(WINMEMOS::PutMemoBlock(5, "ab\0cd"), 2);
  EXPECT_EQ(Get(WINMEMOS::DonePutMemo(f_, 0)), "ab");
}

TEST_F(WinmemosTest, TransfersNeedTheirStart) {
  OpenNew(kLinkSize16);
  char buffer[4];
  EXPECT_EQ(WINMEMOS::GetMemoBlock(4, buffer), WINMEMOS::kNoTransfer);
  EXPECT_EQ(WINMEMOS::PutMemoBlock(2, "ab"), WINMEMOS::kNoTransfer);
  EXPECT_EQ(WINMEMOS::DonePutMemo(f_, 0), 0u);
  EXPECT_EQ(Common::LastError(), -34);
  // An empty text stores no blocks.
  EXPECT_EQ(Put(""), 0u);
  EXPECT_EQ(f_.highest, 0u);
}

TEST_F(WinmemosTest, ReadMemoLinesTellsWhetherHardLineEndsAreKept) {
  OpenNew(kLinkSize16);
  dynstr::LineChain chain;
  uint32_t first = Put("x");
  EXPECT_FALSE(WINMEMOS::ReadMemoLines(f_, first, chain));
  EXPECT_TRUE(WINMEMOS::ReadMemoLines(f_, kInMemoryMemo, chain));
  WINMEMOS::CloseMemoFile(f_);
  OpenNew(kLinkSize32);
  EXPECT_TRUE(WINMEMOS::ReadMemoLines(f_, Put("x"), chain));
}

TEST_F(WinmemosTest, InMemoryMemoReadsAndWritesTheTextBuffer) {
  OpenNew(kLinkSize32);
  RamFiles::TextBufRewrite();
  RamFiles::TextBufWriteLn("line one");
  RamFiles::TextBufWrite("two");
  EXPECT_EQ(Get(kInMemoryMemo), "line one\r\ntwo");
  EXPECT_EQ(Put("first\r\nsecond", kInMemoryMemo), kInMemoryMemo);
  EXPECT_EQ(WINMEMOS::Status(), 0);
  EXPECT_EQ(Get(kInMemoryMemo), "first\r\nsecond");
  EXPECT_EQ(f_.highest, 0u);  // nothing went to the file
}

TEST_F(WinmemosTest, MemoAsStringJoinsLinesAndCutsAt255) {
  OpenNew(kLinkSize32, kKey);
  struct Case {
    std::string memo;
    std::string text;
  } cases[] = {
      {"ab\r\ncd", "ab cd"},
      {std::string(254, 'x'), std::string(254, 'x')},
      {std::string(255, 'x'), std::string(252, 'x') + "..."},
      {std::string(300, 'x') + "\r\n", std::string(252, 'x') + "..."},
  };
  for (const Case& c : cases) EXPECT_EQ(WINMEMOS::MemoAsString(f_, Put(c.memo)).str(), c.text);
  EXPECT_EQ(WINMEMOS::MemoAsString(f_, 0).str(), "");
  EXPECT_EQ(WINMEMOS::MemoAsString(f_, kInMemoryMemo).str(), "");
}

// Version-1 tables keep memo text in the OEM code page.
TEST_F(WinmemosTest, ConvertsOemTextOfVersionOneTables) {
  const std::string ansi = "Gr\xFC\xDF" "e";  // "Grüße"
  OpenNew(kLinkSize16, 0, true);
  uint32_t first = Put(ansi);
  Bytes stored = PlainBytes(path_, kBlock + kLinkSize16, 5, 0);
  EXPECT_EQ(stored, (Bytes{'G', 'r', 0x81, 0xE1, 'e'}));
  EXPECT_EQ(Get(first), ansi);
  EXPECT_EQ(WINMEMOS::MemoAsString(f_, first).str(), ansi);

  // Copied into a version-2 table's file (other link width and key) the text
  // is stored in ANSI.
  TMemoFile target;
  std::string targetPath = TempPath("U.MMO");
  ASSERT_EQ(WINMEMOS::CreateMemoFile(targetPath, kKey, kLinkSize32), 0);
  ASSERT_EQ(WINMEMOS::OpenMemoFile(target, targetPath, LOWFILES::kModeReadWriteShared, kKey, kLinkSize32, false), 0);
  uint32_t copy = WINMEMOS::CopyMemo(f_, first, target);
  EXPECT_EQ(copy, 1u);
  EXPECT_EQ(WINMEMOS::MemoAsString(target, copy).str(), ansi);
  WINMEMOS::CloseMemoFile(target);
  Bytes block = PlainBytes(targetPath, kBlock, kBlock, kKey);
  EXPECT_EQ(Bytes(block.begin() + kLinkSize32, block.begin() + kLinkSize32 + 5), (Bytes{'G', 'r', 0xFC, 0xDF, 'e'}));
}

TEST_F(WinmemosTest, CopyMemoKeepsTheTextExactly) {
  OpenNew(kLinkSize32, kKey);
  std::string prose = Prose(5000, 3, true);
  uint32_t first = Put(prose);
  uint32_t copy = WINMEMOS::CopyMemo(f_, first, f_);
  EXPECT_NE(copy, first);
  EXPECT_EQ(Get(copy), prose);
  EXPECT_EQ(WINMEMOS::CopyMemo(f_, 0, f_), 0u);
}

TEST_F(WinmemosTest, RefusesBlockNumbersOutOfRangeWithoutTouchingTheFile) {
  OpenNew(kLinkSize32);
  Put("x");
  Bytes before = ReadAll(path_);
  EXPECT_EQ(WINMEMOS::InitGetMemo(f_, WINMEMOS::kBlockNumberLimit), -1);
  EXPECT_EQ(Common::LastError(), -1);
  EXPECT_EQ(WINMEMOS::DeleteMemo(f_, WINMEMOS::kBlockNumberLimit), 1);
  // Below the limit but beyond the file: the record is wrong, the file is not.
  EXPECT_EQ(WINMEMOS::InitGetMemo(f_, 0x7FFFFF), -1);
  EXPECT_EQ(WINMEMOS::Status(), WINMEMOS::kStatusDamaged);
  EXPECT_EQ(Common::LastError(), -112);
  EXPECT_FALSE(f_.damaged);
  EXPECT_EQ(ReadAll(path_), before);
}

// Chains that loop or leave the file are found, reported as "Memo defekt"
// and mark the file damaged; a damaged file refuses writes and deletes.
TEST_F(WinmemosTest, DetectsDamagedChains) {
  const std::string full(252, 'f');
  struct Case {
    const char* name;
    uint32_t nextFree, highest;
    std::vector<std::pair<uint32_t, std::string>> blocks;
  } cases[] = {
      {"loop to itself", 2, 1, {{1, full}}},
      {"loop back", 3, 2, {{2, full}, {1, full}}},
      {"loop back after rising", 4, 3, {{2, full}, {3, full}, {2, full}}},
      {"link beyond highest", 3, 2, {{2, full}, {7, full}}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Craft(kLinkSize32, c.nextFree, c.highest, c.blocks);
    ASSERT_FALSE(f_.damaged);
    Bytes before = ReadAll(path_);
    EXPECT_EQ(WINMEMOS::InitGetMemo(f_, 1), -1);
    EXPECT_EQ(WINMEMOS::Status(), WINMEMOS::kStatusDamaged);
    EXPECT_EQ(Common::LastError(), -112);
    EXPECT_TRUE(f_.damaged);
    EXPECT_FALSE(WINMEMOS::MemoAsString(f_, 1).empty());
    EXPECT_EQ(WINMEMOS::InitPutMemo(f_), -1);
    EXPECT_EQ(WINMEMOS::DeleteMemo(f_, 1), 0);
    EXPECT_EQ(ReadAll(path_), before);
    WINMEMOS::CloseMemoFile(f_);
  }
}

// A file that lacks its highest block, or whose header is impossible, is
// damaged from the open on; its sound chains can still be read.
TEST_F(WinmemosTest, MarksImpossibleFilesDamagedAtOpen) {
  struct Case {
    const char* name;
    uint32_t nextFree, highest;
  } cases[] = {
      {"highest block missing", 3, 2},  // size div 256 = highest
      {"next free beyond highest + 1", 5, 1},
      {"next free 0", 0, 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Craft(kLinkSize32, c.nextFree, c.highest, {{0, "ok"}});
    EXPECT_TRUE(f_.damaged);
    EXPECT_EQ(Get(1), "ok");
    EXPECT_EQ(WINMEMOS::InitPutMemo(f_), -1);
    WINMEMOS::CloseMemoFile(f_);
  }
  // A chain that runs into the missing block fails to read instead of
  // reading past the end of the file.
  Craft(kLinkSize32, 3, 2, {{2, std::string(252, 'f')}});
  EXPECT_TRUE(f_.damaged);
  EXPECT_EQ(WINMEMOS::InitGetMemo(f_, 1), -1);
  EXPECT_EQ(Common::LastError(), -2);
  WINMEMOS::CloseMemoFile(f_);
  // A file too short for its header is damaged, not refused.
  path_ = TempPath("E.MMO");
  WriteAll(path_, Bytes{1});
  Open(kLinkSize32);
  EXPECT_TRUE(f_.damaged);
}

// Files with 16-bit links stop growing while the next free block still fits
// a link.
TEST_F(WinmemosTest, SixteenBitFilesRefuseToGrowPastTheirLinks) {
  Craft(kLinkSize16, 65534, 65533, {});
  std::filesystem::resize_file(path_, 65534 * kBlock);
  WINMEMOS::CloseMemoFile(f_);
  Open(kLinkSize16);
  ASSERT_FALSE(f_.damaged);
  EXPECT_EQ(Put("x"), 65534u);
  EXPECT_EQ(f_.nextFree, 65535u);
  EXPECT_EQ(Put("y"), 0u);
  EXPECT_EQ(WINMEMOS::Status(), WINMEMOS::kStatusFileFull);
  EXPECT_EQ(Common::LastError(), -33);
  EXPECT_EQ(f_.nextFree, 65535u);
  EXPECT_EQ(f_.highest, 65534u);
  WINMEMOS::CloseMemoFile(f_);
  Open(kLinkSize16);
  EXPECT_EQ(f_.nextFree, 65535u);
  EXPECT_EQ(Get(65534), "x");
}

// A block write that fails takes the counters back: the free list stays
// sound and the same blocks serve the next write.
TEST_F(WinmemosTest, FailedWriteLeavesTheFreeListSound) {
  OpenNew(kLinkSize32, kKey);
  uint32_t a = Put(std::string(600, 'a'));
  uint32_t b = Put("b");
  ASSERT_EQ(WINMEMOS::DeleteMemo(f_, a), 0);
  platform::InjectFileFault(platform::FileOp::Write, 2, platform::kDosDiskFull);
  EXPECT_EQ(Put(std::string(600, 'n')), 0u);
  EXPECT_EQ(WINMEMOS::Status(), 3);
  EXPECT_EQ(Common::LastError(), -3);
  EXPECT_EQ(f_.nextFree, 1u);
  EXPECT_EQ(f_.highest, 4u);
  platform::ResetFileFaults();
  uint32_t again = Put(std::string(600, 'n'));
  EXPECT_EQ(again, 1u);
  EXPECT_EQ(f_.highest, 4u);
  EXPECT_EQ(Get(again), std::string(600, 'n'));
  EXPECT_EQ(Get(b), "b");
}

// Arbitrary bytes in a memo file: every chain read ends with an answer, and
// writing over whatever free list the bytes describe stays inside the file.
TEST_F(WinmemosTest, SurvivesMutatedFiles) {
  OpenNew(kLinkSize32, kKey);
  for (int i = 0; i < 6; ++i) Put(Prose(size_t(100 * i * i), uint32_t(i), true));
  WINMEMOS::DeleteMemo(f_, 2);
  WINMEMOS::CloseMemoFile(f_);
  EXPECT_EQ(WINMEMOS::ReadEveryMemo(path_, kLinkSize32, kKey), 0);
  const Bytes original = ReadAll(path_);
  std::mt19937 gen(42);
  const std::string mutated = TempPath("M.MMO");
  for (int round = 0; round < 150; ++round) {
    Bytes bytes = original;
    for (int flips = 1 + int(gen() % 4); flips > 0; --flips) {
      size_t block = gen() % (bytes.size() / kBlock);
      size_t at = block * kBlock + gen() % (gen() % 2 ? 8 : kBlock);  // mostly links and counters
      bytes[at] = uint8_t(gen());
    }
    WriteAll(mutated, bytes);
    WINMEMOS::ReadEveryMemo(mutated, kLinkSize32, round % 2 ? kKey : 0);
    TMemoFile m;
    ASSERT_EQ(WINMEMOS::OpenMemoFile(m, mutated, LOWFILES::kModeReadWriteShared, kKey, kLinkSize32, false), 0);
    if (WINMEMOS::InitPutMemo(m) == 0) {
      std::string text = Prose(700, uint32_t(round), true);
      WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data());
      uint32_t first = WINMEMOS::DonePutMemo(m, 0);
      if (first != 0) {
        EXPECT_LE(first, m.highest);
        EXPECT_EQ(WINMEMOS::InitGetMemo(m, first), int32_t(text.size()));
      }
    }
    WINMEMOS::CloseMemoFile(m);
  }
}

}  // namespace
