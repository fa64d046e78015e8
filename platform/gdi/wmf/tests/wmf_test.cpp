// Metafile recording and playback: a page recorded and played equals the
// page drawn directly, pixel for pixel (test font); the bytes are a
// well-formed metafile; damaged or hostile records are skipped safely.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "platform/fonts/font.h"
#include "platform/gdi/tests/gdi_fixture.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/gdi/wmf/records.h"
#include "platform/gdi/wmf/tests/wmf_scene.h"

namespace {

using namespace win;

class Wmf : public ::testing::Test {
 protected:
  Wmf() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(true); }
  ~Wmf() override { platform::fonts::SetTestFont(previous_); }

  // The scene recorded against reference.
  static std::vector<uint8_t> Record(const Dc& reference) {
    auto recorder = wmf::CreateMetaFileDC(&reference);
    const auto source = wmftest::SceneSource();
    wmftest::DrawScene(*recorder, *source);
    return wmf::CloseMetaFile(*recorder);
  }

 private:
  bool previous_;
};

uint32_t Word32(const std::vector<uint8_t>& b, size_t at) {
  return uint32_t(b[at]) | uint32_t(b[at + 1]) << 8 | uint32_t(b[at + 2]) << 16 | uint32_t(b[at + 3]) << 24;
}

TEST_F(Wmf, RecordedPagePlaysBackAsDrawnDirectly) {
  gditest::Canvas direct(wmftest::kWidth, wmftest::kHeight), played(wmftest::kWidth, wmftest::kHeight);
  const auto source = wmftest::SceneSource();
  wmftest::DrawScene(direct.dc, *source);
  const std::vector<uint8_t> bytes = Record(played.dc);
  ASSERT_TRUE(wmf::PlayMetaFile(played.dc, bytes));
  int differ = 0;
  for (int y = 0; y < wmftest::kHeight; ++y)
    for (int x = 0; x < wmftest::kWidth; ++x) differ += direct.bitmap->Get(x, y) != played.bitmap->Get(x, y);
  EXPECT_EQ(differ, 0);
  // The scene draws something in each of its parts.
  EXPECT_NE(played.dc.GetPixel(150, 150), RGB(255, 255, 255));
  EXPECT_EQ(played.dc.GetPixel(196, 2), RGB(1, 2, 3));
  if (std::getenv("QMK_UPDATE_SEEDS")) {
    std::ofstream(std::string(ZET_WMF_SEEDS_DIR) + "/scene.wmf", std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), std::streamsize(bytes.size()));
  }
}

TEST_F(Wmf, HeaderCountsTheWholeFileItsSlotsAndLargestRecord) {
  gditest::Canvas canvas(10, 10);
  const std::vector<uint8_t> bytes = Record(canvas.dc);
  ASSERT_EQ(wmf::MetaFileSize(bytes), bytes.size());
  EXPECT_EQ(bytes[2] | bytes[3] << 8, 9);
  EXPECT_EQ(bytes[4] | bytes[5] << 8, 0x0300);
  // Walk the records: the largest and the slot count agree with the header,
  // and the last record is the end record.
  uint32_t largest = 0;
  size_t at = wmf::kHeaderBytes, last = 0;
  int live = 0, most = 0;
  while (at < bytes.size()) {
    const uint32_t words = Word32(bytes, at);
    const uint16_t function = uint16_t(bytes[at + 4] | bytes[at + 5] << 8);
    largest = std::max(largest, words);
    if ((function & 0xFF) == 0xFA || (function & 0xFF) == 0xFB || (function & 0xFF) == 0xFC || function == wmf::kCreateRegion)
      most = std::max(most, ++live);
    if (function == wmf::kDeleteObject) --live;
    last = at;
    at += words * 2;
  }
  EXPECT_EQ(at, bytes.size());
  EXPECT_EQ(bytes[last + 4] | bytes[last + 5] << 8, wmf::kEof);
  EXPECT_EQ(Word32(bytes, 12), largest);
  EXPECT_EQ(bytes[10] | bytes[11] << 8, most);
  EXPECT_LE(most, 5);
}

TEST_F(Wmf, RecordingDcMeasuresLikeItsReferenceAndSaysMetafile) {
  DeviceCaps printer;
  printer.technology = DT_RASPRINTER;
  printer.width = 4960;
  printer.height = 7016;
  printer.dpiX = printer.dpiY = 600;
  Dc reference(Bitmap::Create(1, 1, 32), printer);
  auto recorder = wmf::CreateMetaFileDC(&reference);
  EXPECT_EQ(recorder->GetDeviceCaps(TECHNOLOGY), DT_METAFILE);
  EXPECT_EQ(recorder->GetDeviceCaps(LOGPIXELSX), 600);
  EXPECT_EQ(recorder->GetDeviceCaps(HORZRES), 4960);
  LOGFONT lf;
  lf.lfHeight = 40;
  recorder->SelectFont(lf);
  reference.SelectFont(lf);
  SIZE a, b;
  recorder->GetTextExtentPoint32("Abc", &a);
  reference.GetTextExtentPoint32("Abc", &b);
  EXPECT_EQ(a, b);
  EXPECT_EQ(recorder->GetDeviceCaps(TECHNOLOGY), DT_METAFILE);
  EXPECT_TRUE(wmf::CloseMetaFile(reference).empty());  // not a recording DC
}

// Hand-made metafiles: the header, then records as (function, words).
std::vector<uint8_t> Build(const std::vector<std::pair<uint16_t, std::vector<uint16_t>>>& records, uint16_t slots = 4,
                           bool end = true) {
  std::vector<uint8_t> out(wmf::kHeaderBytes, 0);
  out[0] = 1, out[2] = 9, out[5] = 3, out[10] = uint8_t(slots);
  const auto word = [&](uint16_t w) { out.insert(out.end(), {uint8_t(w), uint8_t(w >> 8)}); };
  for (const auto& [function, words] : records) {
    const uint32_t size = uint32_t(3 + words.size());
    word(uint16_t(size)), word(uint16_t(size >> 16)), word(function);
    for (const uint16_t w : words) word(w);
  }
  if (end) word(3), word(0), word(0);
  const uint32_t total = uint32_t(out.size() / 2);
  out[6] = uint8_t(total), out[7] = uint8_t(total >> 8), out[8] = uint8_t(total >> 16), out[9] = uint8_t(total >> 24);
  return out;
}

TEST_F(Wmf, UnknownShortAndDamagedRecordsAreSkippedOrEndThePlay) {
  const uint16_t red[] = {0x00FF, 0};
  struct Case {
    const char* name;
    std::vector<uint8_t> bytes;
    bool whole;
    COLORREF pixel;  // at (2, 2) after playing
  } cases[] = {
      {"unknown record skipped",
       Build({{0x0999, {1, 2, 3}}, {wmf::kCreateBrushIndirect, {0, red[0], red[1], 0}}, {wmf::kSelectObject, {0}},
              {wmf::kPatBlt, {0x0021, 0x00F0, 5, 5, 0, 0}}}),
       true, RGB(255, 0, 0)},
      {"short record does nothing",
       Build({{wmf::kCreateBrushIndirect, {0, red[0], red[1], 0}}, {wmf::kSelectObject, {0}},
              {wmf::kPatBlt, {0x0021, 0x00F0, 5}}}),
       true, RGB(255, 255, 255)},
      {"selecting an empty or foreign slot keeps the DC's brush",
       Build({{wmf::kSelectObject, {3}}, {wmf::kSelectObject, {900}}, {wmf::kPatBlt, {0x0021, 0x00F0, 5, 5, 0, 0}}}),
       true, RGB(0, 0, 0)},
      {"no free slot: the object is dropped",
       Build({{wmf::kCreateBrushIndirect, {0, red[0], red[1], 0}}, {wmf::kSelectObject, {0}},
              {wmf::kPatBlt, {0x0021, 0x00F0, 5, 5, 0, 0}}},
             0),
       true, RGB(0, 0, 0)},
      {"a freed slot is the next object's",
       Build({{wmf::kCreateBrushIndirect, {0, 0, 0, 0}}, {wmf::kCreateBrushIndirect, {0, 0xFFFF, 0xFF, 0}},
              {wmf::kDeleteObject, {0}}, {wmf::kCreateBrushIndirect, {0, red[0], red[1], 0}},
              {wmf::kSelectObject, {0}}, {wmf::kPatBlt, {0x0021, 0x00F0, 5, 5, 0, 0}}},
             2),
       true, RGB(255, 0, 0)},
      {"font without a face name", Build({{wmf::kCreateFontIndirect, {10, 0, 0, 0, 400, 0, 0, 0, 0}},
                                          {wmf::kSelectObject, {0}}, {wmf::kExtTextOut, {0, 0, 1, 0, 0x4141}}}),
       true, RGB(0, 0, 0)},  // the box of "A" in the test font of height 10
      {"polygon count beyond the record", Build({{wmf::kPolygon, {500, 1, 1, 4, 4}}}), true, RGB(255, 255, 255)},
      {"text count beyond the record", Build({{wmf::kExtTextOut, {0, 0, 300, 0, 0x4141}}}), true,
       RGB(255, 255, 255)},
      {"restore below the metafile's saves is ignored",
       Build({{wmf::kRestoreDc, {0xFFFF}}, {wmf::kRestoreDc, {5}}, {wmf::kSaveDc, {}}, {wmf::kRestoreDc, {0xFFFE}}}),
       true, RGB(255, 255, 255)},
      {"record running past the data ends the play", Build({{wmf::kPatBlt, {0x0021}}}, 4, false), false,
       RGB(255, 255, 255)},
  };
  // The record past the end: its size word claims more than there is.
  cases[9].bytes[wmf::kHeaderBytes] = 0x40;
  for (auto& c : cases) {
    gditest::Canvas canvas(8, 8);
    canvas.dc.SelectBrush(CreateSolidBrush(RGB(0, 0, 0)));
    EXPECT_EQ(wmf::PlayMetaFile(canvas.dc, c.bytes), c.whole) << c.name;
    EXPECT_EQ(canvas.dc.GetPixel(2, 2), c.pixel) << c.name;
    // The DC's own state is back as it was.
    EXPECT_EQ(canvas.dc.Current().brush.color, RGB(0, 0, 0)) << c.name;
  }
  gditest::Canvas canvas(8, 8);
  EXPECT_FALSE(wmf::PlayMetaFile(canvas.dc, std::vector<uint8_t>(10, 0)));
  EXPECT_FALSE(wmf::MetaFileSize(std::vector<uint8_t>(18, 0)));
}

TEST_F(Wmf, TakeRecordingStartsTheNextPageInTheSameState) {
  DeviceCaps caps;
  caps.width = 20;
  caps.height = 20;
  auto dc = wmf::CreateRecordingDC(caps);
  dc->SelectBrush(CreateSolidBrush(RGB(0, 200, 0)));
  dc->SetMapMode(MM_ANISOTROPIC);
  dc->SetWindowExtEx(2, 2);
  dc->SetViewportExtEx(20, 20);
  dc->PatBlt(0, 0, 1, 1, PATCOPY);
  const auto first = wmf::TakeRecording(*dc);
  dc->PatBlt(1, 1, 1, 1, PATCOPY);
  const auto second = wmf::CloseMetaFile(*dc);
  for (const auto* page : {&first, &second}) {
    gditest::Canvas canvas(20, 20);
    ASSERT_TRUE(wmf::PlayMetaFile(canvas.dc, *page));
    const bool isFirst = page == &first;
    EXPECT_EQ(canvas.dc.GetPixel(5, 5), isFirst ? RGB(0, 200, 0) : RGB(255, 255, 255));
    EXPECT_EQ(canvas.dc.GetPixel(15, 15), isFirst ? RGB(255, 255, 255) : RGB(0, 200, 0));
  }
}

}  // namespace
