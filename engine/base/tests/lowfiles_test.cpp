#include "engine/base/crypt.h"
#include "engine/base/lowfiles.h"

#include <gtest/gtest.h>

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "engine/testsupport/engine_fixture.h"
#include "platform/files.h"

namespace {

using Bytes = std::vector<uint8_t>;
using LOWFILES::TLowFile;

class LowfilesTest : public zettest::EngineTest {
 protected:
  void TearDown() override {
    platform::ResetFileFaults();
    files_.reset();
    EngineTest::TearDown();
  }

  // n files created empty in the temp dir, named F<i>.DAT.
  TLowFile* CreateFiles(int n, uint8_t mode = LOWFILES::kModeReadWriteShared) {
    files_ = std::make_unique<TLowFile[]>(size_t(n));
    for (int i = 0; i < n; ++i) {
      EXPECT_EQ(LOWFILES::CreateLowFile(files_[i], Name(i), mode), 0) << i;
    }
    return files_.get();
  }

  std::string Name(int i) const { return TempPath("F" + std::to_string(i) + ".DAT"); }

  static Bytes DiskBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
  }

  // System handles of this process that point into the test's directory.
  int HandlesIntoTempDir() const {
    int count = 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
      std::error_code ec;
      auto target = std::filesystem::read_symlink(entry.path(), ec);
      if (!ec && target.string().starts_with(TempDir().string())) ++count;
    }
    return count;
  }

  static void ExpectBudgetBalanced() {
    EXPECT_EQ(LOWFILES::HandleBudget + LOWFILES::OpenHandleCount(), LOWFILES::kInitialHandleBudget);
  }

  // Uses the file (one byte at 0), making it the most recently used.
  static void Touch(TLowFile& f) {
    uint8_t b = 7;
    EXPECT_EQ(LOWFILES::WriteBlock(f, 0, 1, 0, &b), 0);
  }

  static uint8_t Read1(TLowFile& f) {
    uint8_t b = 0;
    EXPECT_EQ(LOWFILES::ReadBlock(f, 0, 1, 0, &b), 0);
    return b;
  }

  std::unique_ptr<TLowFile[]> files_;
};

TEST_F(LowfilesTest, HundredFilesInterleavedStayCorrectWithinTheHandleBudget) {
  constexpr int kFiles = 100;
  constexpr int kBlocks = 4;
  constexpr uint16_t kBlock = 48;
  constexpr int kRounds = 3;
  constexpr int kOpsPerRound = 1500;
  TLowFile* files = CreateFiles(kFiles);
  // Every third file is stored scrambled.
  auto keyOf = [](int i) { return i % 3 == 0 ? uint32_t(0x5EED0000u + i) : 0u; };
  std::vector<Bytes> model(kFiles, Bytes(kBlocks * kBlock, 0));
  std::mt19937 rng(20240611);
  // A scrambled block reads back only as the same block, so every access
  // works on whole blocks.
  auto blockAt = [&](int i, int k) { return model[i].data() + k * kBlock; };
  for (int i = 0; i < kFiles; ++i) {
    for (int k = 0; k < kBlocks; ++k) {
      ASSERT_EQ(LOWFILES::WriteBlock(files[i], k * kBlock, kBlock, keyOf(i), blockAt(i, k)), 0);
    }
  }

  for (int round = 0; round < kRounds; ++round) {
    for (int op = 0; op < kOpsPerRound; ++op) {
      int i = int(rng() % kFiles);
      uint16_t pos = uint16_t((rng() % kBlocks) * kBlock);
      Bytes block(kBlock);
      if (rng() % 2 == 0) {
        for (auto& b : block) b = uint8_t(rng());
        ASSERT_EQ(LOWFILES::WriteBlock(files[i], pos, kBlock, keyOf(i), block.data()), 0);
        std::copy(block.begin(), block.end(), model[i].begin() + pos);
      } else {
        ASSERT_EQ(LOWFILES::ReadBlock(files[i], pos, kBlock, keyOf(i), block.data()), 0);
        ASSERT_TRUE(std::equal(block.begin(), block.end(), model[i].begin() + pos)) << i << "@" << pos;
      }
      ASSERT_LE(LOWFILES::OpenHandleCount(), LOWFILES::kInitialHandleBudget);
      if (op % 100 == 0) {
        ASSERT_LE(HandlesIntoTempDir(), LOWFILES::kInitialHandleBudget);
      }
    }
    ExpectBudgetBalanced();
  }

  EXPECT_EQ(LOWFILES::RegisteredCount, kFiles);
  for (int i = 0; i < kFiles; ++i) {
    for (int k = 0; k < kBlocks; ++k) {
      Bytes block(kBlock);
      ASSERT_EQ(LOWFILES::ReadBlock(files[i], k * kBlock, kBlock, keyOf(i), block.data()), 0);
      EXPECT_TRUE(std::equal(block.begin(), block.end(), blockAt(i, k))) << i << "/" << k;
    }
    EXPECT_EQ(LOWFILES::CloseLowFile(files[i], false), 0);
  }
  EXPECT_EQ(LOWFILES::RegisteredCount, 0);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 0);
  EXPECT_EQ(HandlesIntoTempDir(), 0);
  // What the files hold on disk, read past the engine, for the plain ones.
  for (int i = 1; i < kFiles; i += 3) EXPECT_EQ(DiskBytes(Name(i)), model[i]) << i;
}

TEST_F(LowfilesTest, TheLeastRecentlyUsedFileGivesUpItsHandle) {
  constexpr int kFiles = LOWFILES::kInitialHandleBudget + 1;
  TLowFile* files = CreateFiles(kFiles - 1);
  TLowFile last;
  for (int i = 0; i < kFiles - 1; ++i) Touch(files[i]);
  EXPECT_EQ(LOWFILES::HandleBudget, 0);
  Read1(files[0]);  // file 1 is now the least recently used
  ASSERT_EQ(LOWFILES::CreateLowFile(last, TempPath("LAST.DAT"), LOWFILES::kModeReadWriteShared), 0);
  EXPECT_FALSE(files[1].isOpen);
  EXPECT_TRUE(files[1].isRegistered);
  EXPECT_TRUE(files[0].isOpen);
  EXPECT_TRUE(last.isOpen);
  // The next access reopens it transparently, trading with file 2.
  EXPECT_EQ(Read1(files[1]), 7);
  EXPECT_FALSE(files[2].isOpen);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), LOWFILES::kInitialHandleBudget);
  // Opening an open file again closes it first; the queue stays whole.
  ASSERT_EQ(LOWFILES::OpenLowFile(files[1], Name(1), LOWFILES::kModeReadShared), 0);
  EXPECT_EQ(LOWFILES::RegisteredCount, kFiles);
  ExpectBudgetBalanced();
}

TEST_F(LowfilesTest, ScrambledBlocksDifferOnDiskAndReadBackPlain) {
  constexpr uint32_t kKey = 0x2F81A05Fu;
  TLowFile* file = CreateFiles(1);
  Bytes plain(300);
  for (size_t i = 0; i < plain.size(); ++i) plain[i] = uint8_t(i * 7);
  const Bytes original = plain;
  ASSERT_EQ(LOWFILES::WriteBlock(*file, 100, uint16_t(plain.size()), kKey, plain.data()), 0);
  EXPECT_EQ(plain, original) << "the caller's buffer must stay plain";

  Bytes disk = DiskBytes(Name(0));
  ASSERT_EQ(disk.size(), 400u);
  Bytes stored(disk.begin() + 100, disk.end());
  EXPECT_NE(stored, plain);
  Bytes expected = plain;
  Crypt::Scramble(expected.data(), expected.size(), kKey);
  EXPECT_EQ(stored, expected);

  Bytes back(plain.size());
  ASSERT_EQ(LOWFILES::ReadBlock(*file, 100, uint16_t(back.size()), kKey, back.data()), 0);
  EXPECT_EQ(back, plain);
  ASSERT_EQ(LOWFILES::ReadBlock(*file, 100, uint16_t(back.size()), 0, back.data()), 0);
  EXPECT_EQ(back, stored);
}

TEST_F(LowfilesTest, AnOpenRefusedForTooManyFilesIsRetriedAfterClosingQueuedFiles) {
  TLowFile* files = CreateFiles(10);
  for (int i = 0; i < 10; ++i) Touch(files[i]);  // file 0 least recently used
  ASSERT_EQ(LOWFILES::HandleBudget, 10);
  TLowFile extra;
  platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosTooManyOpenFiles);
  ASSERT_EQ(LOWFILES::OpenLowFile(extra, Name(0), LOWFILES::kModeReadShared), 0);
  EXPECT_EQ(LOWFILES::HandleBudget, -1);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(files[i].isOpen, i >= 6) << i;
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 5);
  // Over budget, an evicted file trades handles with the least recently used.
  EXPECT_EQ(Read1(files[0]), 7);
  EXPECT_FALSE(files[6].isOpen);
  EXPECT_EQ(LOWFILES::HandleBudget, -1);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 5);

  // The next open first closes queued files until one handle is free.
  TLowFile another;
  ASSERT_EQ(LOWFILES::OpenLowFile(another, Name(1), LOWFILES::kModeReadShared), 0);
  EXPECT_EQ(LOWFILES::HandleBudget, 0);
  EXPECT_FALSE(files[7].isOpen);
  EXPECT_FALSE(files[8].isOpen);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 4);
  // With the budget spent, evicted files trade handles and still read.
  for (int i = 0; i < 10; ++i) EXPECT_EQ(Read1(files[i]), 7);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 4);
}

TEST_F(LowfilesTest, ARefusalDuringReopenClosesTheLeastRecentlyUsedFile) {
  constexpr int kFiles = LOWFILES::kInitialHandleBudget + 1;
  TLowFile* files = CreateFiles(kFiles);  // file 0 was evicted by the last create
  ASSERT_FALSE(files[0].isOpen);
  for (int i = kFiles - 3; i < kFiles; ++i) LOWFILES::CloseLowFile(files[i], false);
  ASSERT_EQ(LOWFILES::HandleBudget, 3);
  platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosTooManyOpenFiles);
  Touch(files[0]);
  EXPECT_TRUE(files[0].isOpen);
  EXPECT_FALSE(files[1].isOpen);
  EXPECT_EQ(LOWFILES::HandleBudget, 0);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), kFiles - 4);
}

// A reopen that fails while handles are traded must leave the queue whole,
// and a refusal with nothing queued to close is an ordinary failure.
TEST_F(LowfilesTest, FailedReopensKeepTheQueueConsistent) {
  constexpr int kFiles = LOWFILES::kInitialHandleBudget + 1;
  TLowFile* files = CreateFiles(kFiles);
  platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosAccessDenied);
  uint8_t b;
  EXPECT_EQ(LOWFILES::ReadBlock(files[0], 0, 0, 0, &b), LOWFILES::kErrReadFailed);
  EXPECT_FALSE(files[0].isOpen);
  ExpectBudgetBalanced();
  for (int i = 0; i < kFiles; ++i) EXPECT_EQ(LOWFILES::WriteBlock(files[i], 0, 1, 0, &b), 0) << i;
  ExpectBudgetBalanced();
  for (int i = 1; i < kFiles; ++i) LOWFILES::CloseLowFile(files[i], false);

  // Only file 0 is left; a failed read closes it, so nothing is queued.
  EXPECT_EQ(LOWFILES::ReadBlock(files[0], 5, 1, 0, &b), LOWFILES::kErrReadFailed);
  platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosTooManyOpenFiles);
  EXPECT_EQ(LOWFILES::ReadBlock(files[0], 0, 1, 0, &b), LOWFILES::kErrReadFailed);
  ExpectBudgetBalanced();
  EXPECT_EQ(LOWFILES::ReadBlock(files[0], 0, 1, 0, &b), 0);
}

TEST_F(LowfilesTest, FailedReadsAndWritesCloseTheFileAndSetTheErrorWord) {
  TLowFile* file = CreateFiles(1);
  Bytes data(10, 1);
  ASSERT_EQ(LOWFILES::WriteBlock(*file, 0, 10, 0, data.data()), 0);

  EXPECT_EQ(LOWFILES::ReadBlock(*file, 5, 10, 0, data.data()), LOWFILES::kErrReadFailed);
  EXPECT_EQ(LOWFILES::Error, LOWFILES::kErrReadFailed);
  EXPECT_FALSE(file->isOpen);
  EXPECT_FALSE(file->isRegistered);
  EXPECT_EQ(LOWFILES::RegisteredCount, 0);
  EXPECT_EQ(LOWFILES::ReadBlock(*file, 0, 10, 0, data.data()), 0);
  EXPECT_TRUE(file->isOpen);

  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosDiskFull);
  EXPECT_EQ(LOWFILES::WriteBlock(*file, 0, 10, 0x1234, data.data()), LOWFILES::kErrWriteFailed);
  EXPECT_FALSE(file->isOpen);
  platform::InjectFileFault(platform::FileOp::Read, 1, platform::kDosReadFault);
  EXPECT_EQ(LOWFILES::ReadBlock(*file, 0, 10, 0, data.data()), LOWFILES::kErrReadFailed);
  platform::InjectFileFault(platform::FileOp::Open, 1, platform::kDosSharingViolation);
  EXPECT_EQ(LOWFILES::WriteBlock(*file, 0, 10, 0, data.data()), LOWFILES::kErrWriteFailed);
  EXPECT_EQ(LOWFILES::WriteBlock(*file, 0, 10, 0, data.data()), 0);
  ExpectBudgetBalanced();

  TLowFile missing;
  EXPECT_EQ(LOWFILES::OpenLowFile(missing, TempPath("NONE.DAT"), LOWFILES::kModeReadShared),
            platform::kDosFileNotFound);
  EXPECT_FALSE(missing.isRegistered);
}

// ReadUpTo hands out what the file holds from the position on, short at
// the end without failing; only a failed read closes the file.
TEST_F(LowfilesTest, ReadUpToStopsAtTheEndAndFailsOnlyOnAFailedRead) {
  TLowFile* file = CreateFiles(1);
  Bytes data(10);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i + 1);
  ASSERT_EQ(LOWFILES::WriteBlock(*file, 0, 10, 0, data.data()), 0);
  const struct {
    uint64_t position;
    uint16_t count, got;
  } cases[] = {{0, 10, 10}, {4, 10, 6}, {10, 4, 0}, {50, 4, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.position);
    Bytes out(c.count, 0xEE);
    uint16_t got = 99;
    EXPECT_EQ(LOWFILES::ReadUpTo(*file, c.position, c.count, out.data(), got), 0);
    EXPECT_EQ(got, c.got);
    if (got > 0) {
      EXPECT_TRUE(std::equal(out.begin(), out.begin() + got, data.begin() + std::ptrdiff_t(c.position)));
    }
    EXPECT_TRUE(file->isRegistered);
  }
  platform::InjectFileFault(platform::FileOp::Read, 1, platform::kDosReadFault);
  uint16_t got = 99;
  EXPECT_EQ(LOWFILES::ReadUpTo(*file, 0, 10, data.data(), got), LOWFILES::kErrReadFailed);
  EXPECT_EQ(got, 0);
  EXPECT_FALSE(file->isRegistered);
  ExpectBudgetBalanced();
}

TEST_F(LowfilesTest, WriteBlockIfChangedWritesOnlyWhatDiffers) {
  TLowFile* file = CreateFiles(1);
  Bytes header(LOWFILES::kMaxCompareBlock, 0x41);
  ASSERT_EQ(LOWFILES::WriteBlockIfChanged(*file, 0, uint16_t(header.size()), header.data()), 0);
  EXPECT_EQ(DiskBytes(Name(0)), header);

  // An armed write fault shows whether a write is attempted.
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosWriteFault);
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 0, uint16_t(header.size()), header.data()), 0);
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 1000, 24, header.data()), 0);
  header[500] = 0x42;
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 0, uint16_t(header.size()), header.data()),
            LOWFILES::kErrWriteFailed);
  platform::ResetFileFaults();
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 0, uint16_t(header.size()), header.data()), 0);
  EXPECT_EQ(DiskBytes(Name(0)), header);

  // Behind the end it writes; above 1024 bytes nothing is written.
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 1020, 8, header.data()), 0);
  EXPECT_EQ(LOWFILES::LowFileSize(*file), 1028u);
  Bytes big(LOWFILES::kMaxCompareBlock + 1, 0x55);
  EXPECT_EQ(LOWFILES::WriteBlockIfChanged(*file, 0, uint16_t(big.size()), big.data()),
            LOWFILES::kErrWriteFailed);
  EXPECT_EQ(LOWFILES::LowFileSize(*file), 1028u);
}

TEST_F(LowfilesTest, SizeAndTruncateReopenEvictedFiles) {
  TLowFile* files = CreateFiles(LOWFILES::kInitialHandleBudget + 1);
  Bytes data(100, 9);
  ASSERT_EQ(LOWFILES::WriteBlock(files[0], 0, 100, 0, data.data()), 0);
  LOWFILES::FreeHandles(LOWFILES::kInitialHandleBudget);
  EXPECT_EQ(LOWFILES::OpenHandleCount(), 0);
  EXPECT_EQ(LOWFILES::LowFileSize(files[0]), 100u);
  EXPECT_EQ(LOWFILES::TruncateAt(files[0], 200), 0);
  EXPECT_EQ(LOWFILES::LowFileSize(files[0]), 100u);
  EXPECT_EQ(LOWFILES::TruncateAt(files[0], 40), 0);
  EXPECT_EQ(LOWFILES::LowFileSize(files[0]), 40u);
  ExpectBudgetBalanced();
}

// Reading never strips a file's write protection; only write modes do.
TEST_F(LowfilesTest, AttributesAreTouchedOnlyForWriteModes) {
  struct Case {
    uint8_t mode;
    bool staysReadOnly;
  };
  const Case cases[] = {{LOWFILES::kModeReadShared, true},
                        {LOWFILES::kModeReadOnlyKeepAttr, true},
                        {LOWFILES::kModeReadWriteShared, false},
                        {LOWFILES::kModeReadWriteDenyWrite, false}};
  for (const Case& c : cases) {
    std::string name = TempPath("RO" + std::to_string(c.mode) + ".DAT");
    std::ofstream(name) << "x";
    ASSERT_EQ(platform::SetAttributes(name, platform::kAttrReadOnly | platform::kAttrArchive), 0);
    TLowFile file;
    ASSERT_EQ(LOWFILES::OpenLowFile(file, name, c.mode), 0) << int(c.mode);
    uint32_t attributes = 0;
    LOWFILES::GetFileAttr(file, attributes);
    EXPECT_EQ(LOWFILES::AttrResult, 0);
    EXPECT_EQ((attributes & platform::kAttrReadOnly) != 0, c.staysReadOnly) << int(c.mode);
    LOWFILES::CloseLowFile(file, false);
  }

  TLowFile file;
  ASSERT_EQ(LOWFILES::CreateLowFile(file, TempPath("NEW.DAT"), LOWFILES::kModeReadWriteShared), 0);
  ASSERT_EQ(LOWFILES::CloseLowFile(file, true), 0);
  uint32_t attributes = 0;
  ASSERT_EQ(platform::GetAttributes(TempPath("NEW.DAT"), attributes), 0);
  EXPECT_NE(attributes & platform::kAttrReadOnly, 0u);
}

TEST_F(LowfilesTest, CopyDiskFileCopiesBytesAndFileTime) {
  std::string source = TempPath("SRC.DAT");
  Bytes data(70000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i % 251);
  std::ofstream(source, std::ios::binary).write(reinterpret_cast<const char*>(data.data()),
                                                std::streamsize(data.size()));
  std::filesystem::last_write_time(source, std::filesystem::file_time_type::clock::now() -
                                               std::chrono::hours(48));
  ASSERT_EQ(LOWFILES::CopyDiskFile(source, TempPath("DST.DAT")), 0);
  EXPECT_EQ(DiskBytes(TempPath("DST.DAT")), data);
  uint16_t d1, t1, d2, t2;
  ASSERT_EQ(platform::GetFileDosDateTime(source, d1, t1), 0);
  ASSERT_EQ(platform::GetFileDosDateTime(TempPath("DST.DAT"), d2, t2), 0);
  EXPECT_EQ(d1, d2);
  EXPECT_EQ(t1, t2);
  EXPECT_EQ(LOWFILES::CopyDiskFile(TempPath("NONE.DAT"), TempPath("X.DAT")), platform::kDosFileNotFound);
}

// A table opened deny-write keeps refusing a second writer in another
// process however many files the engine opens after it: the queue never
// closes a file whose handle carries share locks. Whether the later files
// deny writing too (every handle kept beyond the budget) or not (they take
// turns with the rest of the budget).
TEST_F(LowfilesTest, ShareModesHoldWhileTheFileIsOpenWhateverTheHandleBudget) {
  for (uint8_t laterMode : {LOWFILES::kModeReadWriteShared, LOWFILES::kModeReadWriteDenyWrite}) {
    SCOPED_TRACE("later files in mode " + std::to_string(laterMode));
    constexpr int kLocked = 3, kFiles = 40;
    TLowFile* files = CreateFiles(kFiles, laterMode);
    for (int i = 0; i < kLocked; ++i) {
      ASSERT_EQ(LOWFILES::CloseLowFile(files[i], false), 0);
      ASSERT_EQ(LOWFILES::OpenLowFile(files[i], Name(i), LOWFILES::kModeReadWriteDenyWrite), 0);
    }
    // Another process tries to open each locked file for writing; answers
    // how many opens it got.
    const auto opensElsewhere = [&] {
      const pid_t child = fork();
      if (child == 0) {
        int opened = 0;
        for (int i = 0; i < kLocked; ++i) {
          platform::FileHandle h = platform::kNoFile;
          if (platform::OpenFile(Name(i), platform::kAccessReadWrite | platform::kShareDenyNone, h) == 0) {
            ++opened;
            platform::CloseFile(h);
          }
        }
        _exit(opened);
      }
      int status = 0;
      waitpid(child, &status, 0);
      return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    for (int round = 0; round < 3; ++round) {
      for (int i = 0; i < kFiles; ++i) {
        Touch(files[i]);
        if (i % 10 == 9) {
          EXPECT_EQ(opensElsewhere(), 0) << "after file " << i;
        }
      }
      LOWFILES::FreeHandles(LOWFILES::kInitialHandleBudget);
      EXPECT_EQ(opensElsewhere(), 0);
    }
    EXPECT_EQ(LOWFILES::HandleBudget + LOWFILES::OpenHandleCount(), LOWFILES::kInitialHandleBudget);
    for (int i = 0; i < kFiles; ++i) ASSERT_EQ(LOWFILES::CloseLowFile(files[i], false), 0);
    EXPECT_EQ(opensElsewhere(), kLocked);
  }
}

// Delete and rename hold the file while they act: an open that comes
// meanwhile is refused, and a file held anywhere is neither deleted nor
// renamed.
TEST_F(LowfilesTest, DeleteAndRenameRefuseAHeldFile) {
  TLowFile* files = CreateFiles(2, LOWFILES::kModeReadShared);
  EXPECT_EQ(platform::DeleteFile(Name(0)), platform::kDosSharingViolation);
  EXPECT_EQ(platform::RenameFile(Name(1), TempPath("G.DAT")), platform::kDosSharingViolation);
  const pid_t child = fork();
  if (child == 0) {
    // In another process too.
    _exit(platform::DeleteFile(Name(0)) == platform::kDosSharingViolation ? 0 : 1);
  }
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  for (int i = 0; i < 2; ++i) ASSERT_EQ(LOWFILES::CloseLowFile(files[i], false), 0);
  EXPECT_EQ(platform::RenameFile(Name(1), TempPath("G.DAT")), 0);
  EXPECT_EQ(platform::DeleteFile(Name(0)), 0);
  EXPECT_FALSE(std::filesystem::exists(Name(0)));
}

namespace write_behind {

using platform::JournalEntry;

// Bytes of the writes the journal recorded, in order, as {position, size}.
std::vector<std::pair<uint64_t, size_t>> Writes(const std::vector<JournalEntry>& journal) {
  std::vector<std::pair<uint64_t, size_t>> writes;
  for (const JournalEntry& e : journal)
    if (e.kind == JournalEntry::Kind::Write) writes.emplace_back(e.position, e.data.size());
  return writes;
}

class WriteBehindTest : public LowfilesTest {};

// Appends held back go out as one write before whatever access comes next,
// scrambled as WriteBlock would scramble each of them; every kind of access
// writes them first.
TEST_F(WriteBehindTest, HeldAppendsReachTheFileInOneWriteBeforeAnyOtherAccess) {
  using Access = std::function<void(TLowFile&)>;
  Bytes scratch(16, 0);
  const std::vector<std::pair<std::string, Access>> accesses = {
      {"read", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::ReadBlock(f, 0, 4, 0, scratch.data()), 0); }},
      {"write elsewhere", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::WriteBlock(f, 0, 4, 0, scratch.data()), 0); }},
      {"write if changed", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::WriteBlockIfChanged(f, 0, 4, "abcd"), 0); }},
      {"sync", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::SyncFile(f), 0); }},
      {"size", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::LowFileSize(f), 16u + 50 * 10); }},
      {"truncate", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::TruncateAt(f, 1000), 0); }},
      {"close", [&](TLowFile& f) { EXPECT_EQ(LOWFILES::CloseLowFile(f, false), 0); }},
  };
  for (const auto& [name, access] : accesses) {
    SCOPED_TRACE(name);
    TLowFile* file = CreateFiles(1);
    ASSERT_EQ(LOWFILES::WriteBlock(*file, 0, 16, 0, scratch.data()), 0);
    Bytes expected(16, 0);
    platform::StartJournal();
    for (int i = 0; i < 50; ++i) {
      Bytes record(10, uint8_t(i));
      ASSERT_EQ(LOWFILES::WriteBehind(*file, 16 + 10 * uint64_t(i), 10, 0x5A5A1234, record.data()), 0);
      Crypt::Scramble(record.data(), 10, 0x5A5A1234);
      expected.insert(expected.end(), record.begin(), record.end());
    }
    EXPECT_TRUE(Writes(platform::StopJournal()).empty()) << "held appends were written one by one";
    platform::StartJournal();
    access(*file);
    const auto writes = Writes(platform::StopJournal());
    ASSERT_GE(writes.size(), 1u);
    EXPECT_EQ(writes[0], std::make_pair(uint64_t(16), size_t(500)));
    Bytes onDisk = DiskBytes(Name(0));
    onDisk.resize(expected.size());
    if (name != "write elsewhere" && name != "write if changed") {
      EXPECT_EQ(onDisk, expected);
    }
    ExpectBudgetBalanced();
  }
}

// A block inside the held bytes overwrites them there; one that does not
// continue them, or no longer fits the buffer, sends the held bytes first.
TEST_F(WriteBehindTest, BlocksInsideAreOverwrittenAndOthersSendTheHeldBytesFirst) {
  TLowFile* file = CreateFiles(1);
  const Bytes a(100, 'a'), b(20, 'b'), c(10, 'c');
  platform::StartJournal();
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 0, 100, 0, a.data()), 0);
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 40, 20, 0, b.data()), 0);   // inside: overwritten
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 300, 10, 0, c.data()), 0);  // a gap: the 100 go out
  EXPECT_EQ(Writes(platform::StopJournal()), (std::vector<std::pair<uint64_t, size_t>>{{0, 100}}));
  Bytes big(LOWFILES::kWriteBehindBytes / 2, 'd');
  platform::StartJournal();
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 310, uint16_t(big.size()), 0, big.data()), 0);
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 310 + big.size(), uint16_t(big.size()), 0, big.data()), 0);  // full
  EXPECT_EQ(Writes(platform::StopJournal()),
            (std::vector<std::pair<uint64_t, size_t>>{{300, 10 + big.size()}}));
  ASSERT_EQ(LOWFILES::CloseLowFile(*file, false), 0);
  Bytes expected(310 + 2 * big.size(), 0);
  std::fill_n(expected.begin(), 100, 'a');
  std::fill_n(expected.begin() + 40, 20, 'b');
  std::fill_n(expected.begin() + 300, 10, 'c');
  std::fill(expected.begin() + 310, expected.end(), 'd');
  EXPECT_EQ(DiskBytes(Name(0)), expected);
}

// A held write that fails fails the access that sent it and stays held: the
// next access sends it again before its own write, so a count written after
// records never reaches the file before them. A close lets it go.
TEST_F(WriteBehindTest, AFailedHeldWriteStaysAheadOfEveryLaterWrite) {
  TLowFile* file = CreateFiles(1);
  const Bytes records(30, 'r'), count(4, 'n');
  ASSERT_EQ(LOWFILES::WriteBlock(*file, 0, 4, 0, Bytes(4, 0).data()), 0);
  ASSERT_EQ(LOWFILES::WriteBehind(*file, 4, 30, 0, records.data()), 0);
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosDiskFull);
  EXPECT_EQ(LOWFILES::WriteBlock(*file, 0, 4, 0, count.data()), LOWFILES::kErrWriteFailed);
  EXPECT_FALSE(file->isRegistered);
  EXPECT_EQ(DiskBytes(Name(0)), Bytes(4, 0)) << "the count overtook the records";
  platform::StartJournal();
  EXPECT_EQ(LOWFILES::WriteBlock(*file, 0, 4, 0, count.data()), 0);
  EXPECT_EQ(Writes(platform::StopJournal()), (std::vector<std::pair<uint64_t, size_t>>{{4, 30}, {0, 4}}));

  ASSERT_EQ(LOWFILES::WriteBehind(*file, 34, 30, 0, records.data()), 0);
  platform::InjectFileFault(platform::FileOp::Write, 1, platform::kDosDiskFull);
  EXPECT_EQ(LOWFILES::CloseLowFile(*file, false), LOWFILES::kErrWriteFailed);
  EXPECT_TRUE(file->pending.empty());
  EXPECT_EQ(DiskBytes(Name(0)).size(), 34u);
  ExpectBudgetBalanced();
}

}  // namespace write_behind

}  // namespace
