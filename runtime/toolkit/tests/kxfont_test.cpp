// Colours, font and format records, descriptions, realising a font for a DC
// and shortening texts. DC work runs with the box test font (height 10:
// advance 5; em 35: cell 43, internal leading 8, external leading 4).
#include "runtime/toolkit/kxfont.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "platform/fonts/font.h"
#include "runtime/toolkit/kxstring.h"

using namespace kxfont;
using kxobject::TMemStream;

namespace {

std::string Bytes(TMemStream& s) { return std::string(reinterpret_cast<char*>(s.Block->Data), size_t(s.Size)); }

// A memory stream holding bytes, positioned at their start.
struct Source {
  explicit Source(const std::string& bytes) : stream(0, 64) {
    stream.WriteHuge(bytes.data(), uint32_t(bytes.size()));
    stream.Seek(0);
  }
  TMemStream stream;
};

class WithTestFont : public ::testing::Test {
 protected:
  WithTestFont() : previous_(platform::fonts::TestFontOn()) { platform::fonts::SetTestFont(true); }
  ~WithTestFont() override { platform::fonts::SetTestFont(previous_); }
  std::shared_ptr<win::Bitmap> surface_ = win::Bitmap::Create(100, 100, 32);
  win::Dc dc_{surface_};

 private:
  bool previous_;
};

TEST(Colors, TableAndIndexes) {
  EXPECT_EQ(IndexToColor(-1), 0xFF000000u);
  EXPECT_EQ(IndexToColor(-7), kTransparentColor);
  EXPECT_EQ(IndexToColor16(int16_t(-32768)), kTransparentColor);
  EXPECT_EQ(IndexToColor(0), win::RGB(0, 0, 0));
  EXPECT_EQ(IndexToColor(1), win::RGB(128, 0, 0));
  EXPECT_EQ(IndexToColor(8), win::RGB(192, 192, 192));
  EXPECT_EQ(IndexToColor(9), win::RGB(255, 0, 0));
  EXPECT_EQ(IndexToColor(14), win::RGB(0, 255, 255));
  EXPECT_EQ(IndexToColor(15), win::RGB(255, 255, 255));
  EXPECT_EQ(IndexToColor(16), kTransparentColor);  // past the table: nothing is read beyond it
  for (int i = -1; i < kColorCount; ++i) EXPECT_EQ(ColorToIndex(IndexToColor(i)), i) << i;
  EXPECT_EQ(ColorToIndex(win::RGB(255, 0, 0)), 9);
  EXPECT_EQ(ColorToIndex(win::RGB(1, 2, 3)), kNotAColor);
  EXPECT_TRUE(IsTransparentColor(0xFF000000));
  EXPECT_FALSE(IsTransparentColor(0xFE000000));
}

TEST(Colors, NamesAndTextStyles) {
  EXPECT_STREQ(GetColorName(-1), "Durchsichtig");
  EXPECT_STREQ(GetColorName(0), "Schwarz");
  EXPECT_STREQ(GetColorName(2), "Gr\xfcn");
  EXPECT_STREQ(GetColorName(15), "Wei\xdf");
  EXPECT_STREQ(GetColorName(16), "");
  EXPECT_STREQ(GetColorName(17), "Durchsichtig");

  struct Case {
    int style, max;
    const char* want;
  };
  const Case cases[] = {
      {0, 40, "Standard"},          {3, 40, "\xdc" "berschrift 3"}, {-2, 40, "\xdc" "berschrift -2"},
      {7, 40, "Flie\xdftext"},      {9, 40, "Liste 2"},             {11, 40, "Liste 4"},
      {12, 40, "Schrift 13"},       {0, 5, "Stand"},                {3, 4, "\xdc" "ber"},
      {12, 0, ""},
  };
  for (const Case& k : cases) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    GetTextStyleName(k.style, buffer, k.max);
    EXPECT_STREQ(buffer, k.want) << k.style << "/" << k.max;
    EXPECT_EQ(buffer[k.max + 1], '#') << "wrote past the buffer";
  }
}

TEST(FontRecords, DefaultFontAndFormatAreByteExact) {
  TMemStream out(0, 64);
  TKxFont().Write(out);
  const std::string logFont = std::string("\xdd\xff\0\0\0\0\0\0\x90\x01", 10) + std::string("\0\0\0\0\0\x11\0\0", 8) +
                              std::string("Arial") + std::string(27, '\0');
  EXPECT_EQ(Bytes(out), logFont + std::string(4, '\0'));

  TMemStream format(0, 64);
  TKxFormat().Write(format);
  EXPECT_EQ(Bytes(format), std::string("\0\0Standard", 10) + std::string(33, '\0') + logFont + std::string(4, '\0'));
  EXPECT_EQ(format.Size, 97);

  TMemStream logical(0, 64);
  LOGFONT lf = TKxFont().LogFont;
  lf.lfHeight = 70000;  // the low 16 bits are written
  TLogicalFont(105, lf, win::RGB(1, 2, 3)).Write(logical);
  ASSERT_EQ(logical.Size, 56);
  EXPECT_EQ(Bytes(logical).substr(0, 4), std::string("\x69\x00\x70\x11", 4));
  EXPECT_EQ(Bytes(logical).substr(52), std::string("\x01\x02\x03\x00", 4));
}

// Records from a file go back out unchanged, whatever their name fields hold,
// and readers of the fields stop at their end.
TEST(FontRecords, RoundTripByteForByteWithUnterminatedNames) {
  std::string record("\x07\x80", 2);      // kind -32761
  record += std::string(41, 'N');          // a name without terminator
  record += std::string("\x01\x80\xfe\xff\x84\x03\x00\x00\xbc\x02", 10);
  record += std::string("\x01\x01\x00\xee\x03\x02\x01\x22", 8);
  record += std::string(32, 'F');          // a face without terminator
  record += std::string("\x80\x00\xff\x12", 4);
  ASSERT_EQ(record.size(), 97u);

  Source in(record);
  TKxFormat format;
  format.Read(in.stream);
  EXPECT_EQ(in.stream.Status, 0);
  EXPECT_EQ(format.Kind, -32761);
  EXPECT_EQ(format.Font.LogFont.lfHeight, -32767);
  EXPECT_EQ(format.Font.LogFont.lfWidth, -2);
  EXPECT_EQ(format.Font.LogFont.lfWeight, 700);
  EXPECT_EQ(format.Font.Color, 0x12FF0080u);
  TMemStream out(0, 64);
  format.Write(out);
  EXPECT_EQ(Bytes(out), record);

  char name[64];
  format.GetName(name, 60);
  EXPECT_EQ(std::string(name), std::string(41, 'N'));
  char description[300];
  format.GetDescription(description, 299);
  EXPECT_EQ(std::string(description),
            std::string(41, 'N') + " (" + std::string(32, 'F') + " 9288 pt, fett, kursiv, unterstrichen, Durchsichtig)");

  // The font and logical font records alone.
  const std::string fontRecord = record.substr(43);
  Source fontIn(fontRecord);
  TKxFont font;
  font.Read(fontIn.stream);
  TMemStream fontOut(0, 64);
  font.Write(fontOut);
  EXPECT_EQ(Bytes(fontOut), fontRecord);

  const std::string logicalRecord = std::string("\xff\xff", 2) + fontRecord;
  Source logicalIn(logicalRecord);
  TLogicalFont logical;
  logical.Read(logicalIn.stream);
  EXPECT_EQ(logical.PointSize, -1);
  TMemStream logicalOut(0, 64);
  logical.Write(logicalOut);
  EXPECT_EQ(Bytes(logicalOut), logicalRecord);
}

TEST(FontRecords, ShortRecordReadsZerosAndReportsTheStream) {
  TKxFont font("Times New Roman", -50, win::RGB(1, 2, 3));
  font.LogFont.lfItalic = 1;
  Source in(std::string("\x10\x00\x20\x00", 4));
  font.Read(in.stream);
  EXPECT_EQ(in.stream.Status, kxobject::kStreamReadError);
  EXPECT_EQ(font.LogFont.lfHeight, 16);
  EXPECT_EQ(font.LogFont.lfWidth, 32);
  EXPECT_EQ(font.LogFont.lfItalic, 0);
  EXPECT_EQ(font.LogFont.lfFaceName[0], 0);
  EXPECT_EQ(font.Color, 0u);
}

TEST(FontRecords, Descriptions) {
  char buffer[200];
  EXPECT_STREQ(TKxFont().GetDescription(buffer, 199), "Arial 10 pt, Schwarz");

  TKxFont styled("Courier New", -35, win::RGB(255, 0, 0));
  styled.LogFont.lfWeight = 550;
  styled.LogFont.lfItalic = styled.LogFont.lfUnderline = styled.LogFont.lfStrikeOut = 1;
  EXPECT_STREQ(styled.GetDescription(buffer, 199),
               "Courier New 10 pt, fett, kursiv, unterstrichen, durchgestrichen, Rot");
  styled.LogFont.lfWeight = 549;
  styled.LogFont.lfItalic = styled.LogFont.lfUnderline = styled.LogFont.lfStrikeOut = 0;
  styled.Color = win::RGB(1, 2, 3);
  EXPECT_STREQ(styled.GetDescription(buffer, 199), "Courier New 10 pt, Durchsichtig");
  EXPECT_STREQ(TKxFont("Arial", -100, 0).GetDescription(buffer, 199), "Arial 28 pt, Schwarz");
  EXPECT_STREQ(TKxFont().GetDescription(buffer, 7), "Arial 1");

  LOGFONT lf = TKxFont().LogFont;
  EXPECT_STREQ(TLogicalFont(105, lf, win::RGB(1, 2, 3)).GetDescription(buffer, 199), "Arial 10.5 pt");
  EXPECT_STREQ(TLogicalFont(80, lf, win::RGB(0, 0, 128)).GetDescription(buffer, 199), "Arial 8.0 pt, Marineblau");
  EXPECT_STREQ(TLogicalFont(80, lf, kTransparentColor).GetDescription(buffer, 199), "Arial 8.0 pt, Durchsichtig");

  EXPECT_STREQ(TKxFormat().GetDescription(buffer, 199), "Standard (Arial 10 pt, Schwarz)");
  EXPECT_STREQ(TKxFormat().GetDescription(buffer, 12), "Standard (Ar");
  EXPECT_TRUE(TLogicalFont().IsEmpty());
  EXPECT_FALSE(TLogicalFont(0, lf, 0).IsEmpty());
}

TEST(FontRecords, FormatNamesAreCutAndCopiesKeepEverythingButMetrics) {
  TKxFont font;
  font.Height = 12;
  const std::string longName(50, 'x');
  TKxFormat format(4, longName.c_str(), font);
  char name[64];
  EXPECT_EQ(std::string(format.GetName(name, 60)), std::string(40, 'x'));
  EXPECT_EQ(std::string(format.GetName(name, 3)), "xxx");
  format.SetName(nullptr);
  EXPECT_STREQ(format.GetName(name, 60), "");
  format.SetName("Titel");
  EXPECT_EQ(format.Font.Height, 0);  // the metrics stay with the realised font
  const TKxFormat copy(format);
  EXPECT_EQ(copy.Kind, 4);
  EXPECT_EQ(std::memcmp(copy.Name, format.Name, sizeof copy.Name), 0);
  EXPECT_EQ(std::memcmp(&copy.Font.LogFont, &font.LogFont, sizeof font.LogFont), 0);
}

TEST_F(WithTestFont, CreateFontScalesAndReadsTheMetricsBack) {
  struct Case {
    int32_t numerator, denominator;
    int32_t height;  // for the call
    int16_t metricHeight, internalLeading, externalLeading;
  };
  const Case cases[] = {
      {1, 1, -35, 43, 8, 4},
      {2, 5, -14, 43, 8, 3},  // (-70 - 2) / 5; metrics (5 v + 1) / 2 of 17, 3, 1
      {0, 1, -35, 43, 8, 4},  // a zero numerator counts as 1
      {1, 0, -35, 43, 8, 4},  // so does a zero denominator
  };
  for (const Case& k : cases) {
    TKxFont font;
    const std::string before = win::FaceNameOf(dc_.GetFont());
    const LOGFONT lf = font.CreateFont(dc_, k.numerator, k.denominator);
    EXPECT_EQ(lf.lfHeight, k.height) << k.numerator << "/" << k.denominator;
    EXPECT_EQ(lf.lfClipPrecision, 1);
    EXPECT_EQ(win::FaceNameOf(lf), "Arial");
    EXPECT_EQ(font.LogFont.lfHeight, -35);
    EXPECT_EQ(font.LogFont.lfClipPrecision, 1);
    EXPECT_EQ(win::FaceNameOf(dc_.GetFont()), before);  // the DC's font is selected again
    EXPECT_EQ(font.Height, k.metricHeight);
    EXPECT_EQ(font.InternalLeading, k.internalLeading);
    EXPECT_EQ(font.ExternalLeading, k.externalLeading);
    const TKxFont copy(font);
    EXPECT_EQ(copy.Height, 0);
  }
}

TEST_F(WithTestFont, FromDcDescribesTheSelectedFont) {
  LOGFONT lf;
  lf.lfHeight = 20;
  lf.lfWeight = win::FW_BOLD;
  lf.lfUnderline = 1;
  lf.lfItalic = 1;
  win::SetFaceName(lf, "Courier New");
  dc_.SelectFont(lf);
  TLogicalFont font(120, TKxFont().LogFont, 0);
  font.FromDC(dc_);
  EXPECT_EQ(font.LogFont.lfHeight, 20);
  EXPECT_EQ(font.LogFont.lfWeight, win::FW_BOLD);
  EXPECT_NE(font.LogFont.lfUnderline, 0);
  EXPECT_EQ(font.LogFont.lfItalic, 0);
  EXPECT_EQ(font.LogFont.lfClipPrecision, 0);
  EXPECT_EQ(win::FaceNameOf(font.LogFont), "Courier New");
  EXPECT_EQ(font.PointSize, 0);
}

TEST_F(WithTestFont, FitTextToWidth) {
  LOGFONT lf;
  lf.lfHeight = 10;  // advance 5
  win::SetFaceName(lf, "Arial");
  dc_.SelectFont(lf);
  struct Case {
    const char* text;
    int max, width;
    const char* want;
  };
  const Case cases[] = {
      {"Hello World", 40, 55, "Hello World"},
      {"Hello World", 40, 54, "Hello W..."},
      {"Hello World", 40, 30, "Hel..."},
      {"Hello World", 40, 19, "..."},
      {"Hello World", 40, 0, "..."},
      {"Hello World", 5, 24, "H..."},  // only the first 5 characters are the text
      {"", 40, 0, ""},
  };
  for (const Case& k : cases) {
    char buffer[64];
    std::memset(buffer, '#', sizeof buffer);
    kxstring::StrLCopy(buffer, k.text, k.max);
    FitTextToWidth(dc_, buffer, k.max, k.width);
    EXPECT_STREQ(buffer, k.want) << k.text << " in " << k.width;
    EXPECT_EQ(buffer[k.max + 1], '#');
  }
}

}  // namespace

namespace {

// Seeds of the record fuzzer: a format, a logical font and a font record in a row.
TEST(FontRecords, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("KXFONT_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  int n = 0;
  TKxFont styled("Times New Roman", -50, win::RGB(255, 0, 0));
  styled.LogFont.lfWeight = win::FW_BOLD;
  styled.LogFont.lfItalic = 1;
  for (const TKxFont& font : {TKxFont(), styled}) {
    TMemStream out(0, 256);
    TKxFormat(3, "\xdc" "berschrift 3", font).Write(out);
    TLogicalFont(105, font.LogFont, font.Color).Write(out);
    font.Write(out);
    std::ofstream(std::string(folder) + "/records" + std::to_string(++n), std::ios::binary)
        .write(reinterpret_cast<const char*>(out.Block->Data), out.Size);
  }
}

}  // namespace
