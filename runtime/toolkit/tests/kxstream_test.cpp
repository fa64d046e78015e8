#include "runtime/toolkit/kxstream.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "platform/clipboard.h"

using namespace kxobject;
namespace fs = std::filesystem;

namespace {

std::string Bytes(TMemStream& s) { return std::string(reinterpret_cast<char*>(s.Block->Data), size_t(s.Size)); }

struct Streams : ::testing::Test {
  void TearDown() override { platform::SetGlobalAllocFailure(-1); }
};

// Every typed operation: the bytes it writes, and what reading them answers.
TEST_F(Streams, TypedOperationsRoundTripByteExact) {
  TMemStream out(0, 16);
  out.WriteBool(true);
  out.WriteBool(false);
  out.WriteInt(-1);
  out.WriteInt(70000);  // the low 16 bits
  out.WriteInt(-32768);
  out.WritePoint({3, -2});
  out.WriteSize({640, 480});
  out.WriteRect({1, 2, 3, 4});
  out.WriteString(nullptr);
  out.WriteString("");
  out.WriteString("Gr\xfc\xdf");
  ASSERT_EQ(out.Status, 0);
  EXPECT_EQ(Bytes(out), std::string("\x01\x00\x00\x00\xff\xff\x70\x11\x00\x80"
                                    "\x03\x00\xfe\xff\x80\x02\xe0\x01\x01\x00\x02\x00\x03\x00\x04\x00"
                                    "\x00\x00\x00\x00\x04\x00Gr\xfc\xdf",
                                    36));
  out.Seek(0);
  EXPECT_TRUE(out.ReadBool());
  EXPECT_FALSE(out.ReadBool());
  EXPECT_EQ(out.ReadInt(), -1);
  EXPECT_EQ(out.ReadInt(), 70000 - 65536);
  EXPECT_EQ(out.ReadInt(), -32768);
  EXPECT_EQ(out.ReadPoint(), (TPoint{3, -2}));
  EXPECT_EQ(out.ReadSize(), (TSize{640, 480}));
  EXPECT_EQ(out.ReadRect(), (TRect{1, 2, 3, 4}));  // left, top, right, bottom
  EXPECT_EQ(out.ReadString(), nullptr);
  EXPECT_EQ(out.ReadString(), nullptr);
  std::unique_ptr<char[]> text(out.ReadString());
  EXPECT_STREQ(text.get(), "Gr\xfc\xdf");
  EXPECT_EQ(out.Status, 0);
  EXPECT_EQ(out.ReadInt(), 0);  // past the end
  EXPECT_EQ(out.Status, kStreamReadError);
}

TEST_F(Streams, MemoryBlocksCopyOnlyInsideTheBlock) {
  TMemoryBlock block(6, 0, true);
  EXPECT_EQ(block.Size, 6u);
  EXPECT_EQ(block.Put(4, "abcd", 4), 2u);  // cut at the end of the block
  EXPECT_EQ(block.Put(6, "x", 1), 0u);
  char out[8] = {};
  EXPECT_EQ(block.Get(3, out, 8), 3u);
  EXPECT_EQ(std::string(out, 3), std::string("\0ab", 3));
  EXPECT_EQ(block.Get(100, out, 1), 0u);

  TMemoryBlock copy(1, kMemShareable, false);
  ASSERT_TRUE(copy.Assign(block));
  EXPECT_EQ(copy.Size, 6u);
  EXPECT_TRUE(copy.Owns);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(copy.Data) + 4, 2), "ab");
  TMemoryBlock other(2, kMemShareable, true);
  copy.Swap(other);
  EXPECT_EQ(copy.Size, 2u);
  EXPECT_EQ(copy.Mode, kMemShareable);
  EXPECT_EQ(other.Size, 6u);

  // A failed resize keeps the old block whole.
  platform::SetGlobalAllocFailure(0);
  EXPECT_EQ(block.Resize(100, 0), 6u);
  platform::SetGlobalAllocFailure(-1);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(block.Data) + 4, 2), "ab");
}

TEST_F(Streams, FlagReadsAnyNonZeroWordAsTrue) {
  TMemStream s(0, 8);
  s.WriteInt(0x100);
  s.Seek(0);
  EXPECT_TRUE(s.ReadBool());
}

TEST_F(Streams, OverlongStringsAreRefusedWhole) {
  TMemStream s(0, 1000);
  s.WriteInt(7);
  std::string longest(65535, 'x');
  s.WriteString(longest.c_str());
  EXPECT_EQ(s.Status, 0);
  EXPECT_EQ(s.Size, 2 + 2 + 65535);
  std::string tooLong(65536, 'y');
  s.WriteString(tooLong.c_str());
  EXPECT_EQ(s.Status, kStreamWriteError);
  EXPECT_EQ(s.Size, 2 + 2 + 65535);  // nothing written, not even the length
  s.ResetError();
  s.Seek(2);
  std::unique_ptr<char[]> back(s.ReadString());
  EXPECT_EQ(std::string(back.get()), longest);
}

TEST_F(Streams, MemoryStreamReadsAndGrowth) {
  TMemStream s(0, 1000);
  s.WriteHuge("x", 1);
  EXPECT_EQ(s.Block->Size, 1000u);  // one step of Delta
  s.WriteHuge(std::string(1000, 'y').data(), 1000);
  EXPECT_EQ(s.Block->Size, 2000u);
  EXPECT_EQ(s.Size, 1001);

  // A short read answers what there was and records -3.
  TMemStream r(0, 10);
  r.WriteHuge("abcdefgh", 8);
  r.Seek(4);
  char buf[10] = {};
  EXPECT_EQ(r.ReadHuge(buf, 10), 4u);
  EXPECT_EQ(std::string(buf, 4), "efgh");
  EXPECT_EQ(r.Status, kStreamReadError);
  EXPECT_EQ(r.ErrorInfo, 0);

  // Past the end (or before the start) nothing is copied.
  for (int32_t pos : {9, 100000, -5}) {
    r.ResetError();
    r.Seek(pos);
    std::memset(buf, '#', sizeof buf);
    EXPECT_EQ(r.ReadHuge(buf, 4), 0u) << pos;
    EXPECT_EQ(buf[0], '#');
    EXPECT_EQ(r.Status, kStreamReadError);
  }

  // Truncate cuts the block and the data at the position.
  r.ResetError();
  r.Seek(3);
  r.Truncate();
  EXPECT_EQ(r.Size, 3);
  EXPECT_EQ(r.Block->Size, 3u);
  EXPECT_EQ(Bytes(r), "abc");
}

TEST_F(Streams, FailedGrowthKeepsContentPositionAndSize) {
  TMemStream s(0, 4);
  s.WriteHuge("abcd", 4);
  platform::SetGlobalAllocFailure(0);
  EXPECT_EQ(s.WriteHuge("efgh", 4), 0u);
  platform::SetGlobalAllocFailure(-1);
  EXPECT_EQ(s.Status, kStreamWriteError);
  EXPECT_EQ(s.ErrorInfo, 0);
  EXPECT_EQ(s.Position, 4);
  EXPECT_EQ(s.Size, 4);
  EXPECT_EQ(s.Block->Size, 4u);
  EXPECT_EQ(Bytes(s), "abcd");
  // A stream that cannot grow at all (Delta 0) refuses too.
  TMemStream fixed(2, 0);
  fixed.WriteHuge("ab", 2);
  fixed.WriteHuge("c", 1);
  EXPECT_EQ(fixed.Status, kStreamWriteError);
  EXPECT_EQ(fixed.Size, 2);
}

TEST_F(Streams, CopyFromMovesPiecesAcrossBlocks) {
  TMemStream src(0, 1000);
  std::string data;
  for (int i = 0; i < 2500; ++i) data += char('a' + i % 26);
  src.WriteHuge(data.data(), uint32_t(data.size()));
  src.Seek(0);
  TMemStream dst(0, 100);
  dst.CopyFrom(src, 2500);
  EXPECT_EQ(Bytes(dst), data);
  EXPECT_EQ(src.Status | dst.Status, 0);
  dst.CopyFrom(src, 10);  // the source is used up
  EXPECT_EQ(src.Status, kStreamReadError);
}

struct FileStreams : Streams {
  fs::path dir;
  void SetUp() override {
    dir = fs::temp_directory_path() / ("qmk_streams_" + std::to_string(getpid()));
    fs::create_directories(dir);
  }
  void TearDown() override {
    Streams::TearDown();
    fs::remove_all(dir);
  }
  std::string Path(const char* name) { return (dir / name).string(); }
};

TEST_F(FileStreams, StatusCodesOfFileStreams) {
  TKxFileStream missing(Path("MISSING.DAT").c_str(), kFileRead);
  EXPECT_EQ(missing.Status, kStreamOpenError);
  EXPECT_EQ(missing.ErrorInfo, -1);

  {
    TKxFileStream w(Path("DOC.DAT").c_str(), kFileCreate);
    ASSERT_EQ(w.Status, 0);
    w.WriteString("hello");
    w.WriteRect({-1, 0, 1, 2});
    EXPECT_EQ(w.GetSize(), 15);
    EXPECT_NE(w.GetDosDateTime() >> 16, 0u);
  }
  // Found without regard to case, read back, then a short read.
  TKxFileStream r(Path("doc.dat").c_str(), 0x1234);  // any other mode reads
  ASSERT_EQ(r.Status, 0);
  std::unique_ptr<char[]> s(r.ReadString());
  EXPECT_STREQ(s.get(), "hello");
  EXPECT_EQ(r.ReadRect(), (TRect{-1, 0, 1, 2}));
  char buf[8];
  r.Seek(12);
  EXPECT_EQ(r.ReadHuge(buf, 8), 3u);
  EXPECT_EQ(r.Status, kStreamReadError);
  EXPECT_EQ(r.ErrorInfo, 3);
  // A read-only stream refuses writes.
  r.ResetError();
  r.WriteInt(1);
  EXPECT_EQ(r.Status, kStreamWriteError);
  EXPECT_EQ(r.ErrorInfo, -4);

  char text[64];
  StreamErrorText(-3, text, 63);
  EXPECT_STREQ(text, "Fehler beim Lesen/Schreiben der Datei (-3)");
  StreamErrorText(-3, text, 6);
  EXPECT_STREQ(text, "Fehler");
}

TEST_F(FileStreams, CStreamsAndTheirFailedOpen) {
  {
    TStreamStream w(Path("c.txt").c_str(), "wb");
    ASSERT_EQ(w.Status, 0);
    w.WriteInt(0x4241);
    EXPECT_EQ(w.GetPos(), 2);
  }
  TStreamStream r(Path("c.txt").c_str(), "rb");
  EXPECT_EQ(r.GetSize(), 2);
  EXPECT_EQ(r.ReadInt(), 0x4241);
  EXPECT_EQ(r.ReadInt(), 0);
  EXPECT_EQ(r.Status, kStreamReadError);
  EXPECT_EQ(r.ErrorInfo, -3);

  TStreamStream none(Path("no/such/dir/x").c_str(), "rb");
  EXPECT_EQ(none.Status, kStreamOpenError);
  EXPECT_EQ(none.ErrorInfo, -1);
  none.ResetError();
  EXPECT_EQ(none.ReadInt(), 0);  // touches nothing, reports the failure
  EXPECT_EQ(none.Status, kStreamReadError);
  none.WriteInt(1);
  EXPECT_EQ(none.Status, kStreamWriteError);
  EXPECT_EQ(none.GetSize(), 0);
}

struct ClipboardStreams : Streams {
  void SetUp() override {
    win::OpenClipboard(0);
    win::EmptyClipboard();
    win::CloseClipboard();
  }
};

TEST_F(ClipboardStreams, WrittenBytesComeBackPaddedToTheBlock) {
  uint32_t format = win::RegisterClipboardFormatA("kxMaskElement");
  size_t blocks = platform::GlobalBlocksAlive();
  {
    TClipboardStream w(format, 5, kClipboardWrite);
    ASSERT_EQ(w.Status, 0);
    w.WriteString("element");
  }
  EXPECT_EQ(win::GetClipboardOwner(), 5u);
  EXPECT_EQ(platform::GlobalBlocksAlive(), blocks + 1);  // now the clipboard's
  {
    TClipboardStream r(format, 6, kClipboardRead);
    ASSERT_EQ(r.Status, 0);
    EXPECT_EQ(r.Size, 1000);
    std::unique_ptr<char[]> s(r.ReadString());
    EXPECT_STREQ(s.get(), "element");
    EXPECT_EQ(r.ReadInt(), 0);  // zero after the written part
  }
  // A longer text grows the block past 1000 bytes.
  {
    TClipboardStream w(format, 5, kClipboardWrite);
    std::string big(1500, 'z');
    w.WriteString(big.c_str());
  }
  TClipboardStream r(format, 6, kClipboardRead);
  EXPECT_EQ(r.Size, 2000);
  EXPECT_EQ(platform::GlobalBlocksAlive(), blocks + 1);  // the first block was freed
}

TEST_F(ClipboardStreams, MissingFormatAndBusyClipboard) {
  {
    TClipboardStream r(win::CF_DIB, 1, kClipboardRead);
    EXPECT_EQ(r.Status, kStreamReadError);
    EXPECT_EQ(r.ErrorInfo, 1);
  }
  size_t blocks = platform::GlobalBlocksAlive();
  ASSERT_TRUE(win::OpenClipboard(9));  // someone else holds it
  {
    TClipboardStream w(win::CF_TEXT, 1, kClipboardWrite);
    EXPECT_EQ(w.Status, kStreamOpenError);
    EXPECT_EQ(w.ErrorInfo, 0);
    w.WriteHuge("abc", 3);
    TClipboardStream r(win::CF_TEXT, 1, kClipboardRead);
    EXPECT_EQ(r.Status, kStreamOpenError);  // not overwritten by a fetch
  }
  EXPECT_TRUE(win::CloseClipboard());  // the failed streams did not close it
  EXPECT_FALSE(win::IsClipboardFormatAvailable(win::CF_TEXT));
  EXPECT_EQ(platform::GlobalBlocksAlive(), blocks);  // nothing leaked
}

TEST_F(Streams, StreamErrorHookSeesEveryError) {
  static int calls = 0;
  TKxStream::StreamErrorHook = [](TKxStream& s) { calls += s.Status; };
  TMemStream s(0, 10);
  s.ReadInt();
  TKxStream::StreamErrorHook = nullptr;
  EXPECT_EQ(calls, kStreamReadError);
}

}  // namespace
