#include "engine/storage/winblobs.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/tests/blockfile_test_util.h"
#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using namespace blockfile_test;
using WinBlobs::TBlobFile;

constexpr uint32_t kKey = 0xC0FFEE42;

class WinblobsTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    WinBlobs::CloseBlobFile(f_);
    platform::ResetFileFaults();
    EngineTest::TearDown();
  }

  void OpenNew(uint32_t blockSize, uint32_t key = 0) {
    path_ = TempPath("T.BLB");
    ASSERT_TRUE(WinBlobs::SetBlobBlockSize(int32_t(blockSize)));
    ASSERT_EQ(WinBlobs::CreateBlobFile(path_, key), 0);
    Open(f_, path_, key);
  }
  static void Open(TBlobFile& f, const std::string& path, uint32_t key = 0) {
    ASSERT_EQ(WinBlobs::OpenBlobFile(f, path, LOWFILES::kModeReadWriteShared, key), 0);
  }

  // A hand-made file with key 0: header {next free, highest, block size word}
  // and data blocks 1.. given whole (blockSize bytes each, link first).
  void Craft(uint32_t nextFree, uint32_t highest, uint32_t sizeWord, uint32_t blockSize,
             const std::vector<Bytes>& blocks) {
    path_ = TempPath("C.BLB");
    Bytes file((blocks.size() + 1) * blockSize, 0);
    PutU32(file, 0, nextFree);
    PutU32(file, 4, highest);
    PutU32(file, 8, sizeWord);
    for (size_t i = 0; i < blocks.size(); ++i)
      std::copy(blocks[i].begin(), blocks[i].end(), file.begin() + std::ptrdiff_t((i + 1) * blockSize));
    WriteAll(path_, file);
    Open(f_, path_);
  }
  static Bytes Block(uint32_t blockSize, uint32_t link, uint32_t length) {
    Bytes b(blockSize, 'z');
    PutU32(b, 0, link);
    PutU32(b, 4, length);
    return b;
  }

  static uint32_t Put(TBlobFile& f, const Bytes& data, uint32_t old = 0, size_t chunk = 999) {
    EXPECT_EQ(WinBlobs::InitPutBlob(f, old), 0);
    for (size_t at = 0; at < data.size(); at += chunk) {
      int32_t n = int32_t(std::min(chunk, data.size() - at));
      EXPECT_EQ(WinBlobs::PutBlobBlock(n, data.data() + at), n);
    }
    return WinBlobs::DonePutBlob();
  }
  uint32_t Put(const Bytes& data, uint32_t old = 0) { return Put(f_, data, old); }

  // The blob as GetBlobBlock hands it out in pieces of chunk bytes; asking
  // for more than is left never gives more.
  static Bytes Get(TBlobFile& f, uint32_t first, int32_t chunk = 777) {
    int32_t length = WinBlobs::InitGetBlob(f, first);
    if (length < 0) return Bytes{'?'};
    Bytes out;
    std::vector<uint8_t> buffer(static_cast<size_t>(chunk));
    for (int32_t n; (n = WinBlobs::GetBlobBlock(chunk, buffer.data())) > 0;) out.insert(out.end(), buffer.begin(), buffer.begin() + n);
    WinBlobs::DoneGetBlob();
    EXPECT_EQ(out.size(), size_t(length));
    return out;
  }
  Bytes Get(uint32_t first, int32_t chunk = 777) { return Get(f_, first, chunk); }

  std::string path_;
  TBlobFile f_;
};

TEST_F(WinblobsTest, NewFilesTakeTheConfiguredBlockSize) {
  EXPECT_EQ(WinBlobs::BlobBlockSize(), WinBlobs::kDefaultBlockSize);
  for (int32_t bad : {-1, 0, 15, 1025, 4096}) EXPECT_FALSE(WinBlobs::SetBlobBlockSize(bad)) << bad;
  EXPECT_EQ(WinBlobs::BlobBlockSize(), 512u);
  for (uint32_t size : {16u, 512u, 1024u}) {
    SCOPED_TRACE(size);
    OpenNew(size, kKey);
    EXPECT_EQ(std::filesystem::file_size(path_), size);
    EXPECT_EQ(f_.blockSize, size);
    EXPECT_EQ(f_.nextFree, 1u);
    EXPECT_EQ(f_.highest, 0u);
    Bytes header(12, 0);
    header[0] = 1;
    PutU32(header, 8, size);
    EXPECT_EQ(PlainBytes(path_, 0, 12, kKey), header);
    WinBlobs::CloseBlobFile(f_);
  }
}

TEST_F(WinblobsTest, StoresBlocksAsDrawn) {
  for (uint32_t key : {0u, kKey}) {
    SCOPED_TRACE(key);
    OpenNew(16, key);
    ASSERT_EQ(Put(Bytes{'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H', 'I', 'J', 'K', 'L'}), 1u);
    WinBlobs::CloseBlobFile(f_);
    EXPECT_EQ(PlainBytes(path_, 0, 12, key), (Bytes{3, 0, 0, 0, 2, 0, 0, 0, 16, 0, 0, 0}));
    EXPECT_EQ(PlainBytes(path_, 16, 16, key), (Bytes{2, 0, 0, 0, 12, 0, 0, 0, 'A', 'B', 'C', 'D', 'E', 'F', 'G', 'H'}));
    EXPECT_EQ(PlainBytes(path_, 32, 16, key), (Bytes{3, 0, 0, 0, 'I', 'J', 'K', 'L', 0, 0, 0, 0, 0, 0, 0, 0}));
  }
}

// A file whose block 0 is scrambled as one whole block is read at the block
// size its header names (including 0 for 256), and its header keeps that
// form when it is written again.
TEST_F(WinblobsTest, ReadsAndKeepsAHeaderBlockScrambledWhole) {
  const struct {
    uint32_t blockSize, sizeWord;
  } cases[] = {{16, 16}, {100, 100}, {256, 0}, {512, 512}, {1024, 1024}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.blockSize);
    OpenNew(c.blockSize, kKey);
    const Bytes first = Pattern(3 * c.blockSize, c.blockSize);
    ASSERT_EQ(Put(first), 1u);
    const uint32_t nextFree = f_.nextFree;
    WinBlobs::CloseBlobFile(f_);
    Bytes block0(c.blockSize, 0);
    const Bytes header = PlainBytes(path_, 0, 12, kKey);
    std::copy(header.begin(), header.end(), block0.begin());
    PutU32(block0, 8, c.sizeWord);
    PutPlainBytes(path_, 0, block0, kKey);

    Open(f_, path_, kKey);
    EXPECT_FALSE(f_.damaged);
    EXPECT_EQ(f_.blockSize, c.blockSize);
    EXPECT_EQ(f_.nextFree, nextFree);
    EXPECT_EQ(Get(1), first);
    ASSERT_EQ(Put(Bytes{'x', 'y'}), nextFree);
    WinBlobs::CloseBlobFile(f_);
    Bytes want(c.blockSize, 0);
    PutU32(want, 0, nextFree + 1);
    PutU32(want, 4, nextFree);
    PutU32(want, 8, c.blockSize);
    EXPECT_EQ(PlainBytes(path_, 0, c.blockSize, kKey), want);

    Open(f_, path_, kKey);
    EXPECT_FALSE(f_.damaged);
    EXPECT_EQ(Get(1), first);
    EXPECT_EQ(Get(nextFree), (Bytes{'x', 'y'}));
    WinBlobs::CloseBlobFile(f_);
  }
}

TEST_F(WinblobsTest, ReadsBlockSizeZeroAs256AndRefusesImpossibleSizes) {
  Craft(2, 1, 0, 256, {Block(256, 2, 3)});
  EXPECT_FALSE(f_.damaged);
  EXPECT_EQ(f_.blockSize, 256u);
  EXPECT_EQ(Get(1), (Bytes{'z', 'z', 'z'}));
  WinBlobs::CloseBlobFile(f_);
  for (uint32_t size : {8u, 15u, 1025u, 65536u}) {
    SCOPED_TRACE(size);
    Craft(2, 1, size, 1024, {Block(1024, 2, 3)});
    EXPECT_TRUE(f_.damaged);
    EXPECT_EQ(WinBlobs::InitGetBlob(f_, 1), -1);
    EXPECT_EQ(Common::LastError(), -113);
    EXPECT_EQ(WinBlobs::InitPutBlob(f_, 0), -1);
    EXPECT_EQ(WinBlobs::PutBlobFileLink(f_, 0, "A.BMP", 0), WinBlobs::kLinkWriteError);
    EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, 1).str(), "");
    WinBlobs::CloseBlobFile(f_);
  }
}

// Blobs of 0, 1, room-1, room, room+1, block size, block size + 1 and 70,000
// bytes (room = block size - 8 in the first block) take as many blocks as
// they need and come back byte for byte.
TEST_F(WinblobsTest, RoundTripsBlobsOfManySizes) {
  for (uint32_t size : {16u, 512u, 1024u}) {
    for (uint32_t key : {0u, kKey}) {
      OpenNew(size, key);
      const size_t room = size - 8;
      for (size_t length : {size_t(0), size_t(1), room - 1, room, room + 1, size_t(size), size_t(size) + 1, size_t(70000)}) {
        SCOPED_TRACE(testing::Message() << size << " " << key << " " << length);
        Bytes data = Pattern(length, uint32_t(length));
        uint32_t before = f_.highest;
        uint32_t first = Put(data);
        EXPECT_EQ(WinBlobs::Status(), 0);
        size_t blocks = length == 0 ? 0 : length <= room ? 1 : 1 + (length - room + size - 5) / (size - 4);
        EXPECT_EQ(f_.highest - before, blocks);
        EXPECT_EQ(Get(first), data);
        EXPECT_EQ(Get(first, 1), data);
      }
      WinBlobs::CloseBlobFile(f_);
    }
  }
}

TEST_F(WinblobsTest, FreedBlocksAreReused) {
  OpenNew(16, kKey);
  uint32_t a = Put(Pattern(30, 1));  // blocks 1..3 (8 + 12 + 10 bytes)
  uint32_t b = Put(Pattern(5, 2));   // block 4
  ASSERT_EQ(a, 1u);
  ASSERT_EQ(b, 4u);
  EXPECT_EQ(WinBlobs::DeleteBlob(f_, a), 0);
  EXPECT_EQ(f_.nextFree, 1u);
  EXPECT_EQ(Put(Pattern(3, 3)), 1u);
  // A new blob for a field leaves the field's old one whole (the record
  // update frees it); freed blocks head the free list.
  uint32_t c = Put(Pattern(30, 4), b);
  EXPECT_EQ(c, 2u);
  EXPECT_EQ(Get(b), Pattern(5, 2));
  EXPECT_EQ(WinBlobs::DeleteBlob(f_, b), 0);
  EXPECT_EQ(Put(Pattern(5, 5)), 4u);
  EXPECT_EQ(Get(c), Pattern(30, 4));
}

TEST_F(WinblobsTest, TransfersNeedTheirStartAndEndWithTheirFile) {
  uint8_t buffer[8];
  EXPECT_EQ(WinBlobs::GetBlobBlock(8, buffer), WinBlobs::kNoTransfer);
  EXPECT_EQ(WinBlobs::PutBlobBlock(8, buffer), WinBlobs::kNoTransfer);
  EXPECT_EQ(WinBlobs::DonePutBlob(), 0u);
  EXPECT_EQ(Common::LastError(), -34);
  OpenNew(512);
  uint32_t first = Put(Pattern(100, 5));
  {
    TBlobFile other;
    Open(other, path_);
    ASSERT_EQ(WinBlobs::InitGetBlob(other, first), 100);
    ASSERT_EQ(WinBlobs::InitPutBlob(other, 0), 0);
  }
  EXPECT_EQ(WinBlobs::GetBlobBlock(8, buffer), WinBlobs::kNoTransfer);
  EXPECT_EQ(WinBlobs::PutBlobBlock(8, buffer), WinBlobs::kNoTransfer);
}

TEST_F(WinblobsTest, FileLinksRoundTripAndAreToldApartFromData) {
  OpenNew(512, kKey);
  uint32_t old = Put(Pattern(2000, 6));  // blocks 1..4
  ASSERT_EQ(WinBlobs::DeleteBlob(f_, old), 0);
  int32_t link = WinBlobs::PutBlobFileLink(f_, old, "C:\\BILDER\\Urlaub.jpg", 0);
  EXPECT_EQ(link, 1);  // the freed blocks serve again
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, uint32_t(link)).str(), "C:\\BILDER\\Urlaub.jpg");
  Bytes block = PlainBytes(path_, 512, 512, kKey);
  EXPECT_EQ(GetU32(block, 4), 20u + 4);
  EXPECT_EQ(block[8] | block[9] << 8, 2 * 6 - 1);
  EXPECT_EQ(block[10] | block[11] << 8, 20);
  EXPECT_EQ(block[12 + 20], 0);
  int32_t wav = WinBlobs::PutBlobFileLink(f_, 0, "X.WAV", 9);  // a caller's kind
  ASSERT_GT(wav, 0);
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, uint32_t(wav)).str(), "X.WAV");
  EXPECT_EQ(PlainBytes(path_, size_t(wav) * 512, 512, kKey)[8], 2 * 9 - 1);

  // Unknown extensions are refused before anything is written.
  uint32_t highest = f_.highest;
  EXPECT_EQ(WinBlobs::PutBlobFileLink(f_, uint32_t(link), "readme.txt", 0), WinBlobs::kUnknownExtension);
  EXPECT_EQ(f_.highest, highest);
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, uint32_t(link)).str(), "C:\\BILDER\\Urlaub.jpg");

  // Data are no file link: an even kind word, or an odd first word whose
  // length and terminating zero do not fit.
  Bytes even = {2 * 5, 0, 4, 0, 'A', '.', 'G', 'F', 0};
  Bytes oddData = {5, 0, 3, 0, 'G', 'I', 'F', '8', '9', 'a', 0};
  Bytes unterminated = {5, 0, 3, 0, 'A', '.', 'G'};
  for (const Bytes& data : {even, oddData}) EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, Put(data)).str(), "");
  uint32_t u = Put(Pattern(40, 7));
  Bytes raw = PlainBytes(path_, size_t(u) * 512, 512, kKey);
  PutU32(raw, 4, 3 + 4);
  std::copy(unterminated.begin(), unterminated.end(), raw.begin() + 8);
  raw[12 + 3] = 'x';
  PutPlainBytes(path_, size_t(u) * 512, raw, kKey);
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, u).str(), "");
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, 0).str(), "");
}

TEST_F(WinblobsTest, KindComesFromTheExtension) {
  struct Case {
    const char* name;
    int kind;
  } cases[] = {{"a.bmp", 1}, {"A.DIB", 1}, {"b.Pcx", 2}, {"c.wav", 3}, {"d.WMF", 4}, {"e.gif", 5},
               {"f.jpg", 6},  {"g.JPEG", 6}, {"h.png", 0}, {"noext", 0}, {"dir.jpg\\file", 0}};
  for (const Case& c : cases) EXPECT_EQ(WinBlobs::KindFromExtension(c.name), c.kind) << c.name;
}

// A file link is written only when its name, the terminating zero included,
// fits the first block; and a blob is read as a file link only when its
// length, its name length and its terminating zero agree and fit. Each blob
// below fails exactly one of these checks.
TEST_F(WinblobsTest, FileLinkMustFitItsBlock) {
  OpenNew(16);
  EXPECT_EQ(WinBlobs::PutBlobFileLink(f_, 0, "A.BMP", 0), WinBlobs::kLinkWriteError);
  EXPECT_EQ(Common::LastError(), -26);
  EXPECT_EQ(f_.highest, 0u);
  // Kind word, name length 4, four name characters: the blob's length
  // agrees, but the zero would lie behind the 16-byte block.
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, Put(Bytes{5, 0, 4, 0, 'A', '.', 'G', 'F'})).str(), "");
  // Three characters and their zero fit the block.
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, Put(Bytes{5, 0, 3, 0, 'A', '.', 'G'})).str(), "A.G");
  WinBlobs::CloseBlobFile(f_);

  OpenNew(512);
  EXPECT_EQ(WinBlobs::PutBlobFileLink(f_, 0, std::string(252, 'n') + ".BMP", 0), WinBlobs::kLinkWriteError);
  // A name and its zero in place, but the blob is longer than the name.
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, Put(Bytes{5, 0, 3, 0, 'G', 'I', 'F', 0, 'x', 'y'})).str(), "");
  // A name of 300 characters with its zero and a blob length to match: no
  // file name is that long.
  Bytes longName = {5, 0, 300 & 0xFF, 300 >> 8};
  longName.insert(longName.end(), 300, 'n');
  EXPECT_EQ(WinBlobs::GetBlobFileLink(f_, Put(longName)).str(), "");
}

// Chains that loop or leave the file are found and reported as "Blob
// defekt"; the file is then damaged and refuses writes and deletes.
TEST_F(WinblobsTest, DetectsDamagedChains) {
  // Lengths of 20 and 40 bytes need 2 and 4 blocks of 16 bytes.
  const Bytes filler = Block(16, 0, 0);
  struct Case {
    const char* name;
    uint32_t length;
    std::vector<Bytes> blocks;
  } cases[] = {
      {"loop to itself", 20, {Block(16, 1, 20), filler}},
      {"loop back", 40, {Block(16, 2, 40), Block(16, 1, 0), filler, filler}},
      {"link beyond highest", 20, {Block(16, 9, 20), filler}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const uint32_t highest = uint32_t(c.blocks.size());
    Craft(highest + 1, highest, 16, 16, c.blocks);
    ASSERT_FALSE(f_.damaged);
    Bytes before = ReadAll(path_);
    ASSERT_EQ(WinBlobs::InitGetBlob(f_, 1), int32_t(c.length));
    uint8_t buffer[64];
    EXPECT_EQ(WinBlobs::GetBlobBlock(int32_t(c.length), buffer), -WinBlobs::kStatusDamaged);
    EXPECT_EQ(Common::LastError(), -113);
    EXPECT_TRUE(f_.damaged);
    EXPECT_EQ(WinBlobs::InitPutBlob(f_, 0), -1);
    EXPECT_EQ(WinBlobs::DeleteBlob(f_, 1), 0);
    EXPECT_EQ(ReadAll(path_), before);
    WinBlobs::CloseBlobFile(f_);
  }
  // A length the file cannot hold belongs to no blob; the file is not blamed.
  Craft(2, 1, 16, 16, {Block(16, 2, 1000)});
  EXPECT_EQ(WinBlobs::InitGetBlob(f_, 1), -1);
  EXPECT_EQ(WinBlobs::Status(), WinBlobs::kStatusDamaged);
  EXPECT_FALSE(f_.damaged);
  // A file that lacks its highest block is damaged at open.
  WinBlobs::CloseBlobFile(f_);
  Craft(3, 2, 16, 16, {Block(16, 2, 4)});
  EXPECT_TRUE(f_.damaged);
  EXPECT_EQ(Get(1), (Bytes{'z', 'z', 'z', 'z'}));
}

TEST_F(WinblobsTest, CopyBlobMovesDataBetweenFilesOfOtherSizesAndKeys) {
  OpenNew(16, kKey);
  Bytes data = Pattern(70000, 9);
  uint32_t first = Put(data);
  TBlobFile target;
  std::string targetPath = TempPath("U.BLB");
  ASSERT_TRUE(WinBlobs::SetBlobBlockSize(1024));
  ASSERT_EQ(WinBlobs::CreateBlobFile(targetPath, 0x1234), 0);
  Open(target, targetPath, 0x1234);
  uint32_t copy = WinBlobs::CopyBlob(f_, first, target);
  EXPECT_EQ(copy, 1u);
  EXPECT_EQ(Get(target, copy), data);
  EXPECT_EQ(WinBlobs::CopyBlob(f_, 0, target), 0u);
  EXPECT_EQ(WinBlobs::Status(), 0);
}

// Re-blocking re-chains every blob for the new size, so no blob loses or
// gains a byte, and tells where each blob went.
TEST_F(WinblobsTest, ReblockKeepsEveryBlobIntact) {
  OpenNew(512, kKey);
  std::vector<uint32_t> firsts;
  std::map<uint32_t, Bytes> blobs;
  for (size_t length : {size_t(1), size_t(503), size_t(504), size_t(505), size_t(3000), size_t(70000)}) {
    uint32_t first = Put(Pattern(length, uint32_t(length)));
    firsts.push_back(first);
    blobs[first] = Pattern(length, uint32_t(length));
  }
  uint32_t gone = Put(Pattern(2000, 1));
  WinBlobs::DeleteBlob(f_, gone);
  int32_t link = WinBlobs::PutBlobFileLink(f_, 0, "P.GIF", 0);
  firsts.push_back(uint32_t(link));
  firsts.push_back(0);
  firsts.push_back(firsts.front());
  const std::string dir = TempDir().string() + "/";
  const std::string newPath = dir + "NEWBLOB.BLB";
  for (int32_t size : {24, 1024, 512}) {
    SCOPED_TRACE(size);
    std::map<uint32_t, uint32_t> moved;
    ASSERT_EQ(WinBlobs::ReblockBlobFile(f_, dir, size, firsts, moved), 0);
    EXPECT_EQ(moved.size(), blobs.size() + 1);
    TBlobFile target;
    Open(target, newPath, kKey);
    EXPECT_EQ(target.blockSize, uint32_t(size));
    EXPECT_FALSE(target.damaged);
    for (const auto& [first, data] : blobs) EXPECT_EQ(Get(target, moved.at(first)), data);
    EXPECT_EQ(WinBlobs::GetBlobFileLink(target, moved.at(uint32_t(link))).str(), "P.GIF");
  }
  std::map<uint32_t, uint32_t> moved;
  EXPECT_EQ(WinBlobs::ReblockBlobFile(f_, dir, 8, firsts, moved), 34);
  // A file link that no longer fits one block ("P.GIF" needs 12 + 5 + 1
  // bytes) stops the re-blocking, and the half-made file goes.
  std::filesystem::remove(newPath);
  EXPECT_EQ(WinBlobs::ReblockBlobFile(f_, dir, 16, firsts, moved), 26);
  EXPECT_TRUE(moved.empty());
  EXPECT_FALSE(std::filesystem::exists(newPath));
  // A directory where "NEWBLOB.BLB" would pass 255 characters is refused
  // before anything is made (a cut path would name another file).
  const std::string deep = dir + std::string(250 - dir.size(), 'd') + "/";
  std::filesystem::create_directory(deep);
  EXPECT_EQ(WinBlobs::ReblockBlobFile(f_, deep, 512, firsts, moved), 26);
  EXPECT_EQ(Common::LastError(), -26);
  EXPECT_TRUE(std::filesystem::is_empty(deep));
}

TEST_F(WinblobsTest, FailedWriteLeavesTheFreeListSound) {
  OpenNew(16, kKey);
  uint32_t a = Put(Pattern(30, 1));  // blocks 1..3 (8 + 12 + 10 bytes)
  uint32_t b = Put(Pattern(5, 2));   // block 4
  ASSERT_EQ(WinBlobs::DeleteBlob(f_, a), 0);
  platform::InjectFileFault(platform::FileOp::Write, 2, platform::kDosDiskFull);
  EXPECT_EQ(Put(Pattern(30, 3)), 0u);
  EXPECT_EQ(WinBlobs::Status(), 3);
  EXPECT_EQ(f_.nextFree, 1u);
  EXPECT_EQ(f_.highest, 4u);
  platform::ResetFileFaults();
  EXPECT_EQ(Put(Pattern(30, 3)), 1u);
  EXPECT_EQ(f_.highest, 4u);
  EXPECT_EQ(Get(1), Pattern(30, 3));
  EXPECT_EQ(Get(b), Pattern(5, 2));
}

TEST_F(WinblobsTest, SurvivesMutatedFiles) {
  OpenNew(32, kKey);
  for (size_t length : {size_t(5), size_t(40), size_t(100), size_t(9), size_t(300)}) Put(Pattern(length, 1));
  WinBlobs::PutBlobFileLink(f_, 0, "AB.GIF", 0);
  WinBlobs::DeleteBlob(f_, 2);
  WinBlobs::CloseBlobFile(f_);
  EXPECT_EQ(WinBlobs::ReadEveryBlob(path_, kKey), 0);
  const Bytes original = ReadAll(path_);
  std::mt19937 gen(7);
  const std::string mutated = TempPath("M.BLB");
  for (int round = 0; round < 150; ++round) {
    Bytes bytes = original;
    for (int flips = 1 + int(gen() % 4); flips > 0; --flips) bytes[gen() % bytes.size()] = uint8_t(gen());
    if (round % 10 == 0) PutU32(bytes, 8, gen() % 40);  // plain header of another size
    WriteAll(mutated, bytes);
    WinBlobs::ReadEveryBlob(mutated, round % 10 == 0 ? 0 : kKey);
    TBlobFile m;
    Open(m, mutated, kKey);
    Bytes data = Pattern(90, uint32_t(round));
    if (WinBlobs::InitPutBlob(m, 0) == 0) {
      WinBlobs::PutBlobBlock(int32_t(data.size()), data.data());
      uint32_t first = WinBlobs::DonePutBlob();
      if (first != 0) {
        EXPECT_EQ(Get(m, first), data);
      }
    }
  }
}

}  // namespace
