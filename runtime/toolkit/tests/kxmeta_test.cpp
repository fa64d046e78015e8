// Metafile pictures: the placeable header both ways, readers that take the
// metafile's own length, the clipboard, and drawing (fit, preview notice).
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "platform/clipboard.h"
#include "platform/fonts/font.h"
#include "platform/print/job.h"
#include "platform/testing/golden.h"
#include "runtime/toolkit/kxmeta.h"

using namespace kxobject;

namespace {

class MetaFileTest : public ::testing::Test {
 protected:
  MetaFileTest() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(true); }
  ~MetaFileTest() override { platform::fonts::SetTestFont(previous_); }

  // A picture of a blue frame with a red diagonal over window units 0..100.
  static TMetaFile Picture(int16_t cx, int16_t cy) {
    auto dc = win::wmf::CreateMetaFileDC(nullptr);
    dc->SetMapMode(win::MM_ANISOTROPIC);
    dc->SetWindowExtEx(100, 100);
    dc->SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(0, 0, 255)));
    dc->SelectBrush(win::NullBrush());
    dc->Rectangle(0, 0, 100, 100);
    dc->SelectPen(win::CreatePen(win::PS_SOLID, 0, win::RGB(255, 0, 0)));
    dc->MoveToEx(0, 0);
    dc->LineTo(100, 100);
    return TMetaFile(win::wmf::SetMetaFileBitsEx(win::wmf::CloseMetaFile(*dc)), cx, cy);
  }
  static std::vector<uint8_t> Bytes(TMemStream& s) { return {s.Block->Data, s.Block->Data + s.Size}; }
  static int16_t Word(const std::vector<uint8_t>& b, size_t at) { return int16_t(b[at] | b[at + 1] << 8); }

 private:
  bool previous_;
};

TEST_F(MetaFileTest, HeaderIsWrittenAt576UnitsPerInchAndReadBack) {
  const TMetaFile picture = Picture(2540, 1270);
  TMemStream out(16, 256);
  picture.Write(out);
  const auto bytes = Bytes(out);
  ASSERT_EQ(bytes.size(), picture.GetStreamSize());
  EXPECT_EQ(uint16_t(Word(bytes, 0)) | uint32_t(uint16_t(Word(bytes, 2))) << 16, kPlaceableKey);
  EXPECT_EQ(Word(bytes, 6), 0);
  EXPECT_EQ(Word(bytes, 10), 576);
  EXPECT_EQ(Word(bytes, 12), 288);
  EXPECT_EQ(Word(bytes, 14), 576);
  uint16_t sum = 0;
  for (size_t i = 0; i < 20; i += 2) sum ^= uint16_t(Word(bytes, i));
  EXPECT_EQ(uint16_t(Word(bytes, 20)), sum);
  // The metafile follows whole, and nothing more.
  EXPECT_EQ(win::wmf::MetaFileSize(std::span(bytes).subspan(22)), bytes.size() - 22);

  out.Seek(0);
  const TMetaFile back(out);
  int16_t mm = 0, cx = 0, cy = 0;
  ASSERT_EQ(back.Status, 1);
  back.GetInfo(mm, cx, cy);
  EXPECT_EQ(mm, win::MM_ANISOTROPIC);
  EXPECT_EQ(cx, 2540);
  EXPECT_EQ(cy, 1270);
}

TEST_F(MetaFileTest, ReaderTakesTheExtentFromTheHeaderAndItsOwnLength) {
  const TMetaFile picture = Picture(100, 100);
  TMemStream body(16, 256);
  picture.Write(body);
  auto bytes = Bytes(body);
  const auto header = [&](int16_t left, int16_t top, int16_t right, int16_t bottom, uint16_t inch) {
    auto b = bytes;
    for (const auto& [at, v] : {std::pair{6, left}, {8, top}, {10, right}, {12, bottom}, {14, int16_t(inch)}})
      b[size_t(at)] = uint8_t(v), b[size_t(at) + 1] = uint8_t(uint16_t(v) >> 8);
    return b;
  };
  struct Case {
    const char* name;
    std::vector<uint8_t> data;
    int16_t status, cx, cy;
  } cases[] = {
      {"inch 1440, box 1440 x 720", header(0, 0, 1440, 720, 1440), 1, 2540, 1270},
      {"box not at the origin", header(-720, 100, 720, 820, 1440), 1, 2540, 1270},
      {"inch 0", header(0, 0, 1440, 720, 0), 0, 0, 0},
      {"truncated metafile", std::vector<uint8_t>(bytes.begin(), bytes.end() - 2), 0, 0, 0},
      {"no metafile after the header", std::vector<uint8_t>(bytes.begin(), bytes.begin() + 30), 0, 0, 0},
  };
  for (const Case& c : cases) {
    TMemStream in(16, 256);
    in.WriteHuge(c.data.data(), uint32_t(c.data.size()));
    // Something else follows a good picture in the stream and is not
    // swallowed; a bad one ends its stream.
    if (c.status == 1) in.WriteInt(0x4242);
    in.Seek(0);
    const TMetaFile read(in);
    EXPECT_EQ(read.Status, c.status) << c.name;
    if (c.status != 1) continue;
    int16_t mm = 0, cx = 0, cy = 0;
    read.GetInfo(mm, cx, cy);
    EXPECT_EQ(cx, c.cx) << c.name;
    EXPECT_EQ(cy, c.cy) << c.name;
    EXPECT_EQ(in.ReadInt(), 0x4242) << c.name;
  }
}

TEST_F(MetaFileTest, ClipboardCarriesTheMetafileWithItsExtent) {
  const TMetaFile picture = Picture(2540, 1270);
  EXPECT_EQ(picture.CopyToClipboard(), 0);
  TMetaFile pasted;
  ASSERT_EQ(pasted.PasteFromClipboard(), 0);
  int16_t mm = 0, cx = 0, cy = 0;
  pasted.GetInfo(mm, cx, cy);
  EXPECT_EQ(pasted.Status, 1);
  EXPECT_EQ(cx, 2540);
  EXPECT_EQ(*win::wmf::GetMetaFileBits(pasted.Pict->Handle), *win::wmf::GetMetaFileBits(picture.Pict->Handle));
  // Without a metafile on the clipboard the picture stays as it is.
  ASSERT_TRUE(win::OpenClipboard(0));
  win::EmptyClipboard();
  win::CloseClipboard();
  EXPECT_EQ(pasted.PasteFromClipboard(), -1);
  EXPECT_EQ(pasted.Status, 1);
  const TMetaFile copy(pasted);
  EXPECT_NE(copy.Pict->Handle, pasted.Pict->Handle);
}

TEST_F(MetaFileTest, DrawFitsModeZeroLikeOneAndPlaysIntoTheRectangle) {
  const TMetaFile picture = Picture(2540, 1270);  // twice as wide as high
  for (const int16_t mode : {0, 1}) {
    auto surface = win::Bitmap::Create(60, 50, 32);
    surface->Fill(win::kWhite);
    win::Dc dc(surface);
    win::RECT rect{5, 5, 55, 45};
    picture.Draw(dc, dc, rect, mode);
    EXPECT_EQ(rect, (win::RECT{5, 5, 55, 30})) << mode;
    EXPECT_EQ(dc.GetMapMode(), win::MM_TEXT);  // the state is back
    EXPECT_TRUE(zettest::MatchesGolden(*surface, std::string(ZET_TOOLKIT_TESTS_DIR) + "/goldens/meta_fit.png"));
  }
  // Any other mode stretches into the rectangle as it is.
  auto surface = win::Bitmap::Create(60, 50, 32);
  win::Dc dc(surface);
  win::RECT rect{5, 5, 55, 45};
  picture.Draw(dc, dc, rect, 2);
  EXPECT_EQ(rect, (win::RECT{5, 5, 55, 45}));
}

TEST_F(MetaFileTest, PreviewPageGetsOnlyTheFrameAndTheNotice) {
  const TMetaFile picture = Picture(2540, 1270);
  platform::print::AddTestPrinter({"Vorschau", "", "", platform::print::PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  const auto page = win::wmf::CreateMetaFileDC(nullptr);
  win::RECT rect{10, 20, 300, 120};
  picture.Draw(*page, *page, rect, 1);
  const auto bytes = win::wmf::CloseMetaFile(*page);
  const auto texts = platform::print::PageTexts(bytes, win::DeviceCaps{});
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "Meta-Datei in Druckvorschau nicht sichtbar.");
  EXPECT_EQ(texts[0].at, (win::POINT{10, 20}));
  // Played back: the frame's corners, nothing of the picture's red line.
  auto surface = win::Bitmap::Create(320, 140, 32);
  surface->Fill(win::kWhite);
  win::Dc dc(surface);
  ASSERT_TRUE(win::wmf::PlayMetaFile(dc, bytes));
  EXPECT_EQ(dc.GetPixel(10, 119), win::RGB(0, 0, 0));
  EXPECT_EQ(dc.GetPixel(299, 119), win::RGB(0, 0, 0));
  for (int y = 0; y < 140; ++y)
    for (int x = 0; x < 320; ++x) ASSERT_NE(dc.GetPixel(x, y), win::RGB(255, 0, 0));
  platform::print::RemoveTestPrinters();
}

TEST_F(MetaFileTest, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("KXMETA_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  TMemStream out(16, 256);
  Picture(2540, 1270).Write(out);
  std::ofstream(std::string(folder) + "/picture", std::ios::binary)
      .write(reinterpret_cast<const char*>(out.Block->Data), out.Size);
}

}  // namespace
