// Device-context pairs and TMetaDC's word wrapping.
#include <gtest/gtest.h>

#include "platform/fonts/font.h"
#include "platform/print/job.h"
#include "platform/gdi/wmf/records.h"
#include "runtime/toolkit/kxdc.h"

using namespace kxobject;

namespace {

class DcPairTest : public ::testing::Test {
 protected:
  DcPairTest() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(true); }
  ~DcPairTest() override { platform::fonts::SetTestFont(previous_); }

 private:
  bool previous_;
};

// The records a metafile holds, by function.
int CountRecords(const std::vector<uint8_t>& bytes, uint16_t function) {
  int n = 0;
  for (size_t at = 18; at + 6 <= bytes.size();) {
    const uint32_t words = bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 | uint32_t(bytes[at + 3]) << 24;
    if ((bytes[at + 4] | bytes[at + 5] << 8) == function) ++n;
    if (words < 3) break;
    at += words * 2;
  }
  return n;
}

TEST_F(DcPairTest, StateGoesToBothDcsOnceWhenTheyAreOne) {
  win::Dc reference(win::Bitmap::Create(8, 8, 32));
  auto recording = win::wmf::CreateMetaFileDC(&reference);
  {
    TKxDC pair(recording.get(), &reference);
    EXPECT_EQ(pair.SetMapMode(win::MM_ANISOTROPIC), win::MM_TEXT);
    EXPECT_EQ(pair.SetBkColor(win::RGB(1, 2, 3)), win::RGB(255, 255, 255));
    pair.SetTextColor(win::RGB(9, 9, 9));
    EXPECT_EQ(reference.Current().textColor, win::RGB(9, 9, 9));
    EXPECT_EQ(pair.GetTextColor(), win::RGB(9, 9, 9));
    win::LOGFONT big;
    big.lfHeight = 30;
    pair.SelectFont(big);
    pair.RestoreFont();
    EXPECT_EQ(reference.GetFont().lfHeight, win::SystemFont().lfHeight);
    EXPECT_EQ(recording->GetFont().lfHeight, win::SystemFont().lfHeight);
  }
  const auto two = win::wmf::TakeRecording(*recording);
  EXPECT_EQ(CountRecords(two, win::wmf::kSetTextColor), 1);
  {
    TKxDC same(recording.get(), recording.get());
    same.SetTextColor(win::RGB(7, 7, 7));
    same.SetMapMode(win::MM_TEXT);
  }
  const auto one = win::wmf::CloseMetaFile(*recording);
  // The next recording starts with the state, then the one change.
  EXPECT_EQ(CountRecords(one, win::wmf::kSetTextColor), 1 + 1);
  EXPECT_EQ(CountRecords(one, win::wmf::kSetMapMode), 1 + 1);
}

TEST_F(DcPairTest, GdiObjectIsDeletedOnlyWhenAutoDeleteIsOne) {
  static std::vector<uint32_t> deleted;
  deleted.clear();
  const auto remember = [](uint32_t h) { deleted.push_back(h); };
  { TKxGdiObject owned(11, 1, remember); }
  { TKxGdiObject lent(12, 2, remember); }
  { TKxGdiObject none(13, 0, remember); }
  { TKxGdiObject empty; }
  EXPECT_EQ(deleted, std::vector<uint32_t>{11});
}

// TMetaDC::DrawText against a reference DC with the test font of height 10
// (every character 5 wide, lines 10 + 2 apart).
struct WrapCase {
  const char* name;
  const char* text;
  int length;
  win::RECT rect;
  win::UINT format;
  std::vector<std::pair<std::string, win::POINT>> lines;  // text, left top
};

TEST_F(DcPairTest, MetaDcWrapsWordsItself) {
  const WrapCase cases[] = {
      {"fits on one line", "kurz", -1, {0, 0, 100, 50}, 0, {{"kurz", {0, 0}}}},
      {"CR LF forces a line", "ab\r\ncd", -1, {0, 0, 100, 50}, 0, {{"ab", {0, 0}}, {"cd", {0, 12}}}},
      {"words wrap at blanks", "eins zwei drei", -1, {0, 0, 40, 50}, 0,
       {{"eins ", {0, 0}}, {"zwei ", {0, 12}}, {"drei", {0, 24}}}},
      {"a word wider than the rectangle gets its own line", "a Riesenwort b", -1, {0, 0, 30, 50}, 0,
       {{"a ", {0, 0}}, {"Riesenwort ", {0, 12}}, {"b", {0, 24}}}},
      {"a hyphen stays at the end of the first line", "Test-Wort", -1, {0, 0, 30, 50}, 0,
       {{"Test-", {0, 0}}, {"Wort", {0, 12}}}},
      {"right flag puts each line end at the right edge", "eins zwei", -1, {0, 0, 30, 50}, win::DT_RIGHT,
       {{"eins ", {30 - 25, 0}}, {"zwei", {30 - 20, 12}}}},
      {"centre flag", "ab", -1, {0, 0, 31, 50}, win::DT_CENTER, {{"ab", {15 - 5, 0}}}},
      {"external leading adds to the step", "a\rb", -1, {0, 0, 100, 50}, win::DT_EXTERNALLEADING,
       {{"a", {0, 0}}, {"b", {0, 13}}}},
      {"a lone final CR reads nothing past the text", "ab\r", -1, {0, 0, 100, 50}, 0, {{"ab", {0, 0}}}},
      {"the length is honoured", "abcdef", 3, {0, 0, 100, 50}, 0, {{"abc", {0, 0}}}},
  };
  win::Dc reference(win::Bitmap::Create(8, 8, 32));
  win::LOGFONT lf;
  lf.lfHeight = 10;
  for (const WrapCase& c : cases) {
    TMetaDC meta(nullptr, &reference);
    meta.SelectFont(lf);
    win::RECT rect = c.rect;
    EXPECT_EQ(meta.DrawText(c.text, c.length, rect, c.format), 1) << c.name;
    const win::wmf::HMETAFILE handle = meta.Close();
    ASSERT_NE(handle, 0u);
    const auto texts = platform::print::PageTexts(*win::wmf::GetMetaFileBits(handle), win::DeviceCaps{});
    ASSERT_EQ(texts.size(), c.lines.size()) << c.name;
    for (size_t i = 0; i < texts.size(); ++i) {
      EXPECT_EQ(texts[i].text, c.lines[i].first) << c.name;
      EXPECT_EQ(texts[i].at, c.lines[i].second) << c.name << " line " << i;
    }
    win::wmf::DeleteMetaFile(handle);
    EXPECT_EQ(meta.Close(), 0u);
  }
}

TEST_F(DcPairTest, MetaDcClipsToTheRectangleUnlessTold) {
  win::Dc reference(win::Bitmap::Create(8, 8, 32));
  for (const win::UINT format : {0u, unsigned(win::DT_NOCLIP)}) {
    TMetaDC meta(nullptr, &reference);
    win::RECT rect{0, 0, 10, 10};
    meta.DrawText("sehr langes Wort", -1, rect, format);
    const win::wmf::HMETAFILE handle = meta.Close();
    auto surface = win::Bitmap::Create(100, 40, 32);
    surface->Fill(win::kWhite);
    win::Dc dc(surface);
    ASSERT_TRUE(win::wmf::PlayMetaFile(dc, handle));
    bool outside = false;
    for (int x = 10; x < 100; ++x) outside |= dc.GetPixel(x, 5) != win::RGB(255, 255, 255);
    EXPECT_EQ(outside, format == win::DT_NOCLIP);
    win::wmf::DeleteMetaFile(handle);
  }
}

}  // namespace
