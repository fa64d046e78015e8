#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include "files_fixture.h"
#include "platform/files.h"

namespace {

using namespace platform;
using platformtest::FilesTest;

constexpr int kReadDenyNone = 64;        // 0x40
constexpr int kReadWriteDenyNone = 66;   // 0x42
constexpr int kReadWriteDenyWrite = 34;  // 0x22
constexpr int kReadNoInherit = 160;      // 0xA0: read, deny write, not inherited
constexpr int kReadExclusive = 16;       // 0x10
constexpr int kReadDenyRead = 0x30;
constexpr int kReadWriteCompat = 2;

class FileTest : public FilesTest {
 protected:
  void SetUp() override {
    FilesTest::SetUp();
    file_ = Path("table.dat");
    MakeFile("table.dat", "0123456789");
  }
  std::string file_;
};

TEST_F(FileTest, ShareModesWithinOneProcess) {
  struct Case {
    int first, second, expected;
  } cases[] = {
      {kReadDenyNone, kReadDenyNone, kDosOk},
      {kReadDenyNone, kReadWriteDenyNone, kDosOk},
      {kReadWriteDenyNone, kReadWriteDenyNone, kDosOk},
      {kReadDenyNone, kReadWriteDenyWrite, kDosOk},
      {kReadWriteDenyWrite, kReadDenyNone, kDosOk},
      {kReadWriteDenyWrite, kReadWriteDenyNone, kDosSharingViolation},
      {kReadWriteDenyNone, kReadWriteDenyWrite, kDosSharingViolation},
      {kReadWriteDenyWrite, kReadWriteDenyWrite, kDosSharingViolation},
      {kReadNoInherit, kReadNoInherit, kDosOk},
      {kReadNoInherit, kReadWriteDenyNone, kDosSharingViolation},
      {kReadExclusive, kReadDenyNone, kDosSharingViolation},
      {kReadDenyNone, kReadExclusive, kDosSharingViolation},
      {kReadDenyRead, kReadDenyNone, kDosSharingViolation},
      {kReadDenyRead, kAccessWrite | kShareDenyNone, kDosOk},
      {kReadWriteCompat, kReadWriteDenyNone, kDosOk},
  };
  for (const Case& c : cases) {
    FileHandle first, second;
    ASSERT_EQ(OpenFile(file_, c.first, first), kDosOk) << c.first;
    EXPECT_EQ(OpenFile(file_, c.second, second), c.expected) << c.first << " then " << c.second;
    if (c.expected == kDosOk) {
      CloseFile(second);
    } else {
      EXPECT_EQ(second, kNoFile);
    }
    CloseFile(first);
    // Closing gives the file free again.
    ASSERT_EQ(OpenFile(file_, c.second, second), kDosOk);
    CloseFile(second);
  }
}

TEST_F(FileTest, CreateRespectsShareModesBeforeItTruncates) {
  FileHandle holder, created;
  ASSERT_EQ(OpenFile(file_, kReadNoInherit, holder), kDosOk);
  EXPECT_EQ(CreateFile(file_, kReadWriteDenyNone, created), kDosSharingViolation);
  EXPECT_EQ(ReadAll(file_), "0123456789");
  CloseFile(holder);

  ASSERT_EQ(OpenFile(file_, kReadDenyNone, holder), kDosOk);
  ASSERT_EQ(CreateFile(file_, kReadWriteDenyNone, created), kDosOk);
  uint64_t size = 1;
  EXPECT_EQ(FileSize(holder, size), kDosOk);
  EXPECT_EQ(size, 0u);
  CloseFile(created);
  CloseFile(holder);
}

// Lets a forked child go and reaps it however the test ends: the child waits
// until its end of the pipe reports the parent's end closed.
struct ChildGuard {
  int readyFd, finishFd;
  pid_t pid;
  ~ChildGuard() {
    close(finishFd);
    close(readyFd);
    waitpid(pid, nullptr, 0);
  }
};

TEST_F(FileTest, ShareModesHoldBetweenProcesses) {
  int ready[2], finish[2];
  ASSERT_EQ(pipe(ready), 0);
  ASSERT_EQ(pipe(finish), 0);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    close(ready[0]);
    close(finish[1]);
    FileHandle handle;
    char byte = OpenFile(file_, kReadWriteDenyWrite, handle) == kDosOk ? 'k' : 'e';
    (void)!write(ready[1], &byte, 1);
    (void)!read(finish[0], &byte, 1);
    _exit(0);  // ends without closing: the locks go with the process
  }
  close(ready[1]);
  close(finish[0]);
  FileHandle handle;
  {
    ChildGuard guard{ready[0], finish[1], child};
    char byte = 0;
    ASSERT_EQ(read(ready[0], &byte, 1), 1);
    ASSERT_EQ(byte, 'k');
    EXPECT_EQ(OpenFile(file_, kReadWriteDenyNone, handle), kDosSharingViolation);
    EXPECT_EQ(OpenFile(file_, kReadWriteDenyWrite, handle), kDosSharingViolation);
    EXPECT_EQ(DeleteFile(file_), kDosSharingViolation);
    ASSERT_EQ(OpenFile(file_, kReadDenyNone, handle), kDosOk);
    CloseFile(handle);
  }
  ASSERT_EQ(OpenFile(file_, kReadWriteDenyWrite, handle), kDosOk);
  CloseFile(handle);
}

TEST_F(FileTest, PositionalReadAndWrite) {
  FileHandle handle;
  ASSERT_EQ(OpenFile(file_, kReadWriteDenyWrite, handle), kDosOk);
  ASSERT_EQ(WriteAt(handle, 12, "AB", 2), kDosOk);  // leaves a gap of zeros
  uint64_t size = 0;
  ASSERT_EQ(FileSize(handle, size), kDosOk);
  EXPECT_EQ(size, 14u);

  char buffer[8] = {};
  size_t got = 0;
  ASSERT_EQ(ReadAt(handle, 8, buffer, sizeof buffer, got), kDosOk);
  EXPECT_EQ(std::string(buffer, got), std::string("89\0\0AB", 6));
  ASSERT_EQ(ReadAt(handle, 100, buffer, sizeof buffer, got), kDosOk);
  EXPECT_EQ(got, 0u);

  ASSERT_EQ(TruncateFile(handle, 4), kDosOk);
  ASSERT_EQ(FlushFile(handle), kDosOk);
  ASSERT_EQ(ReadAt(handle, 0, buffer, sizeof buffer, got), kDosOk);
  EXPECT_EQ(std::string(buffer, got), "0123");
  EXPECT_EQ(CloseFile(handle), kDosOk);

  EXPECT_EQ(ReadAt(kNoFile, 0, buffer, 1, got), kDosInvalidHandle);
  EXPECT_EQ(WriteAt(kNoFile, 0, buffer, 1), kDosInvalidHandle);
}

TEST_F(FileTest, ErrorCodes) {
  MakeFile("dir/inside.dat");
  FileHandle handle;
  EXPECT_EQ(OpenFile(Path("missing.dat"), kReadDenyNone, handle), kDosFileNotFound);
  EXPECT_EQ(OpenFile(Path("nodir\\missing.dat"), kReadDenyNone, handle), kDosPathNotFound);
  EXPECT_EQ(CreateFile(Path("nodir\\new.dat"), kReadWriteDenyNone, handle), kDosPathNotFound);
  EXPECT_EQ(OpenFile(Path("table.dat\\x"), kReadDenyNone, handle), kDosPathNotFound);
  EXPECT_EQ(OpenFile(Path("DIR"), kReadDenyNone, handle), kDosAccessDenied);
  EXPECT_EQ(OpenFile(file_, 0x43, handle), kDosInvalidAccess);
  EXPECT_EQ(handle, kNoFile);
  EXPECT_EQ(MakeDirectory(Path("Dir")), kDosFileExists);
  EXPECT_EQ(MakeDirectory(Path("nodir\\sub")), kDosPathNotFound);
  EXPECT_EQ(DeleteFile(Path("missing.dat")), kDosFileNotFound);
  EXPECT_EQ(DeleteFile(Path("dir")), kDosAccessDenied);
  EXPECT_EQ(RenameFile(Path("missing.dat"), Path("x.dat")), kDosFileNotFound);
  EXPECT_EQ(RenameFile(file_, Path("DIR/INSIDE.DAT")), kDosFileExists);
  uint16_t date = 1, time = 1;
  EXPECT_EQ(GetFileDosDateTime(kNoFile, date, time), kDosInvalidHandle);
  EXPECT_EQ(GetFileDosDateTime(Path("missing.dat"), date, time), kDosFileNotFound);
}

TEST_F(FileTest, DeleteRenameAndDirectories) {
  FileHandle handle;
  ASSERT_EQ(OpenFile(file_, kReadDenyNone, handle), kDosOk);
  EXPECT_EQ(DeleteFile(Path("TABLE.DAT")), kDosSharingViolation);
  EXPECT_EQ(RenameFile(file_, Path("other.dat")), kDosSharingViolation);
  CloseFile(handle);

  ASSERT_EQ(MakeDirectory(Path("Archiv")), kDosOk);
  EXPECT_TRUE(DirectoryExists(Path("ARCHIV")));
  EXPECT_FALSE(FileExists(Path("ARCHIV")));
  ASSERT_EQ(RenameFile(Path("TABLE.DAT"), Path("archiv\\Alt.dat")), kDosOk);
  EXPECT_TRUE(std::filesystem::exists(Path("Archiv/Alt.dat")));
  ASSERT_EQ(RenameFile(Path("archiv\\alt.dat"), Path("ARCHIV\\ALT.DAT")), kDosOk);  // case only
  EXPECT_TRUE(std::filesystem::exists(Path("Archiv/ALT.DAT")));
  EXPECT_FALSE(std::filesystem::exists(Path("Archiv/Alt.dat")));
  EXPECT_TRUE(FileExists(Path("archiv/alt.dat")));
  ASSERT_EQ(DeleteFile(Path("archiv/alt.dat")), kDosOk);
  EXPECT_FALSE(FileExists(Path("archiv/alt.dat")));
}

TEST_F(FileTest, ReadOnlyAttributeRefusesWritersAndDeletion) {
  uint32_t attributes = 0;
  ASSERT_EQ(GetAttributes(file_, attributes), kDosOk);
  EXPECT_EQ(attributes, kAttrArchive);
  ASSERT_EQ(SetAttributes(file_, kAttrReadOnly | kAttrArchive), kDosOk);
  ASSERT_EQ(GetAttributes(Path("TABLE.DAT"), attributes), kDosOk);
  EXPECT_EQ(attributes, kAttrReadOnly | kAttrArchive);

  FileHandle handle;
  EXPECT_EQ(OpenFile(file_, kReadWriteDenyNone, handle), kDosAccessDenied);
  EXPECT_EQ(CreateFile(file_, kReadWriteDenyNone, handle), kDosAccessDenied);
  EXPECT_EQ(DeleteFile(file_), kDosAccessDenied);
  ASSERT_EQ(OpenFile(file_, kReadNoInherit, handle), kDosOk);
  CloseFile(handle);

  ASSERT_EQ(SetAttributes(file_, kAttrArchive), kDosOk);
  ASSERT_EQ(OpenFile(file_, kReadWriteDenyNone, handle), kDosOk);
  CloseFile(handle);

  MakeFile("sub/.hidden");
  ASSERT_EQ(GetAttributes(Path("SUB\\"), attributes), kDosOk);
  EXPECT_EQ(attributes, kAttrDirectory);
  ASSERT_EQ(GetAttributes(Path("sub/.hidden"), attributes), kDosOk);
  EXPECT_EQ(attributes, kAttrArchive | kAttrHidden);
  EXPECT_EQ(GetAttributes(Path("none"), attributes), kDosFileNotFound);
}

time_t LocalTime(int year, int month, int day, int hour, int minute, int second) {
  tm parts{};
  parts.tm_year = year - 1900;
  parts.tm_mon = month - 1;
  parts.tm_mday = day;
  parts.tm_hour = hour;
  parts.tm_min = minute;
  parts.tm_sec = second;
  parts.tm_isdst = -1;
  return mktime(&parts);
}

void SetModified(const std::string& path, time_t when) {
  timespec times[2] = {{when, 0}, {when, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
}

TEST_F(FileTest, DosDateAndTimeAndCopyKeepingThem) {
  SetModified(file_, LocalTime(2021, 3, 15, 13, 45, 31));
  const uint16_t expectedDate = (41 << 9) | (3 << 5) | 15;
  const uint16_t expectedTime = (13 << 11) | (45 << 5) | (31 / 2);
  uint16_t date = 0, time = 0;
  ASSERT_EQ(GetFileDosDateTime(Path("TABLE.DAT"), date, time), kDosOk);
  EXPECT_EQ(date, expectedDate);
  EXPECT_EQ(time, expectedTime);
  FileHandle handle;
  ASSERT_EQ(OpenFile(file_, kReadDenyNone, handle), kDosOk);
  ASSERT_EQ(GetFileDosDateTime(handle, date, time), kDosOk);
  EXPECT_EQ(date, expectedDate);
  CloseFile(handle);

  ASSERT_EQ(CopyFile(file_, Path("COPY.DAT"), true), kDosOk);
  EXPECT_EQ(ReadAll(Path("COPY.DAT")), "0123456789");
  ASSERT_EQ(GetFileDosDateTime(Path("COPY.DAT"), date, time), kDosOk);
  EXPECT_EQ(date, expectedDate);
  EXPECT_EQ(time, expectedTime);
  // A copy onto itself, under another spelling, must not destroy it.
  EXPECT_EQ(CopyFile(file_, Path("Table.DAT"), false), kDosSharingViolation);
  EXPECT_EQ(ReadAll(file_), "0123456789");

  // Times before 1980 are the first DOS day.
  SetModified(file_, LocalTime(1975, 6, 1, 12, 0, 0));
  ASSERT_EQ(GetFileDosDateTime(file_, date, time), kDosOk);
  EXPECT_EQ(date, (0 << 9) | (1 << 5) | 1);
  EXPECT_EQ(time, 0);
}

TEST_F(FileTest, InjectedFaultsHitTheNthOperation) {
  FileHandle handle;
  InjectFileFault(FileOp::Open, 1, kDosTooManyOpenFiles);
  EXPECT_EQ(OpenFile(file_, kReadWriteDenyNone, handle), kDosTooManyOpenFiles);
  ASSERT_EQ(OpenFile(file_, kReadWriteDenyNone, handle), kDosOk);

  InjectFileFault(FileOp::Read, 2, kDosReadFault);
  InjectFileFault(FileOp::Write, 1, kDosDiskFull);
  char buffer[4];
  size_t got = 0;
  EXPECT_EQ(ReadAt(handle, 0, buffer, 4, got), kDosOk);
  EXPECT_EQ(ReadAt(handle, 0, buffer, 4, got), kDosReadFault);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(ReadAt(handle, 0, buffer, 4, got), kDosOk);
  EXPECT_EQ(WriteAt(handle, 0, "xx", 2), kDosDiskFull);
  EXPECT_EQ(ReadAll(file_), "0123456789");  // the failed write changed nothing

  InjectFileFault(FileOp::Truncate, 1, kDosAccessDenied);
  EXPECT_EQ(TruncateFile(handle, 0), kDosAccessDenied);
  CloseFile(handle);

  InjectFileFault(FileOp::Delete, 1, kDosAccessDenied);
  InjectFileFault(FileOp::Rename, 1, kDosAccessDenied);
  InjectFileFault(FileOp::Create, 1, kDosDiskFull);
  EXPECT_EQ(DeleteFile(file_), kDosAccessDenied);
  EXPECT_EQ(RenameFile(file_, Path("x.dat")), kDosAccessDenied);
  EXPECT_EQ(CreateFile(Path("new.dat"), kReadWriteDenyNone, handle), kDosDiskFull);
  EXPECT_FALSE(FileExists(Path("new.dat")));

  InjectFileFault(FileOp::Delete, 1, kDosAccessDenied);
  ResetFileFaults();
  EXPECT_EQ(DeleteFile(file_), kDosOk);
}

}  // namespace
