// Picture objects: the picture record, the type tables and the filter,
// cloning, linked pictures and the clipboard.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "platform/clipboard.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/media/audio.h"
#include "platform/media/wave.h"
#include "platform/win/clock.h"
#include "runtime/toolkit/kxpicio.h"
#include "runtime/toolkit/kxpicture.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using namespace kxobject;
using pictest::Bytes;

Bytes Written(TMemStream& s) { return Bytes(s.Block->Data, s.Block->Data + s.Size); }

std::unique_ptr<TKxDib> SmallDib() {
  DibBuilder b;
  EXPECT_EQ(b.Start(3, 2, 24, 0), 1);
  for (int32_t row = 0; row < 2; ++row)
    for (int32_t x = 0; x < 3; ++x) {
      uint8_t* p = b.Row(row) + 3 * x;
      p[0] = uint8_t(40 * x), p[1] = uint8_t(100 * row), p[2] = 200;
    }
  return std::make_unique<TKxDib>(b.Finish(), true);
}

std::unique_ptr<TMetaFile> SmallMetaFile() {
  auto dc = win::wmf::CreateMetaFileDC(nullptr);
  dc->SetMapMode(win::MM_ANISOTROPIC);
  dc->SetWindowExtEx(100, 100);
  dc->Rectangle(0, 0, 100, 100);
  return std::make_unique<TMetaFile>(win::wmf::SetMetaFileBitsEx(win::wmf::CloseMetaFile(*dc)), 2540, 1270);
}

Bytes Wave(size_t samples) {
  return media::BuildWave(media::PcmFormat(1, 8000, 8), Bytes(samples, 0x80));
}

std::unique_ptr<TKxSoundGraphic> SoundGraphic(size_t samples) {
  auto stream = pictest::StreamOf(Wave(samples));
  return std::make_unique<TKxSoundGraphic>(*stream);
}

// The picture's record as bytes.
Bytes RecordOf(const TKxPicture& picture) {
  TMemStream out(16, 4096);
  picture.Write(out);
  return Written(out);
}

void ExpectSamePixels(const TKxDib& a, const TKxDib& b) {
  ASSERT_EQ(a.Width(), b.Width());
  ASSERT_EQ(a.Height(), b.Height());
  for (int32_t y = 0; y < a.Height(); ++y)
    for (int32_t x = 0; x < a.Width(); ++x) ASSERT_EQ(a.PixelAt(x, y), b.PixelAt(x, y)) << x << "," << y;
}

void EmptyTheClipboard() {
  ASSERT_TRUE(win::OpenClipboard(0));
  win::EmptyClipboard();
  win::CloseClipboard();
}

TEST(PictureTypes, ExtensionsNamesAndFilters) {
  const struct {
    const char* name;
    int type;
  } files[] = {{"a.jpeg", 0}, {"a.Jpg", 6}, {"a.dib", 1}, {"a.BMP", 1},     {"C:\\X.Y\\B.gif", 5}, {"b.wmf", 4},
               {"b.Wav", 3},  {"b.pcx", 2}, {"noext", 0}, {"dir.d\\noext", 0}, {"a.*", 0},           {"", 0}};
  for (const auto& f : files) EXPECT_EQ(GetPictureTypeOfFile(f.name), f.type) << f.name;
  EXPECT_STREQ(GetPictureTypeExtension(6), ".JPG");
  EXPECT_STREQ(GetPictureTypeExtension(9), ".*");
  EXPECT_STREQ(GetPictureTypeExtension(-1), ".*");
  EXPECT_STREQ(GetPictureTypeName(3), "Klang");
  EXPECT_STREQ(GetPictureTypeName(7), "Unbekanntes Format");

  char buf[256];
  BuildPictureFilter(buf, 255, 0);
  EXPECT_STREQ(buf, "");
  BuildPictureFilter(buf, 255, 1 << 1 | 1 << 2 | 1 << 6);
  EXPECT_STREQ(buf, "Bitmap (*.BMP)|*.BMP|Paintbrush-Bild (*.PCX)|*.PCX|JPEG-Bild (*.JPG)|*.JPG");
  BuildPictureFilter(buf, 20, 0xFFFFFFFF);
  EXPECT_STREQ(buf, "Bitmap (*.BMP)|*.BM") << "cut to the length, then the last character dropped";
}

TEST(PictureRecord, EmbeddedEmptyAndLinkedRecords) {
  TKxPicture empty;
  EXPECT_TRUE(empty.IsEmpty());
  EXPECT_EQ(RecordOf(empty), (Bytes{1, 0, 0, 0, 0}));

  const std::string missing = (std::filesystem::temp_directory_path() / "kxpicture_missing.bmp").string();
  std::filesystem::remove(missing);
  TKxPicture linked;
  linked.Embedded = 0;
  linked.FileName.Assign(missing.c_str(), -1);
  Bytes expected = {0, uint8_t(missing.size()), 0};
  expected.insert(expected.end(), missing.begin(), missing.end());
  EXPECT_EQ(RecordOf(linked), expected) << "the name is written though the file is missing";

  TKxPicture read;
  read.SetGraphic(std::make_unique<TKxDibGraphic>(SmallDib(), kPictureBmp));
  auto stream = pictest::StreamOf(expected);
  EXPECT_EQ(read.Read(*stream), 0);
  EXPECT_EQ(read.Embedded, 0);
  EXPECT_STREQ(read.FileName.CStr(), missing.c_str());
  EXPECT_EQ(read.Graphic, nullptr) << "reading does not load the file";
  EXPECT_EQ(read.GetGraphic(), nullptr) << "a missing file gives no graphic";

  TMemStream bmp(16, 1024);
  SmallDib()->WriteBmp(bmp);
  std::ofstream(missing, std::ios::binary).write(reinterpret_cast<const char*>(bmp.Block->Data), bmp.Size);
  ASSERT_NE(read.GetGraphic(), nullptr) << "tried again at the next request";
  EXPECT_EQ(read.GetGraphic()->GetWidth(), 3);
  std::filesystem::remove(missing);
}

TEST(PictureRecord, AJpegWrittenEmbeddedReadsBackAsABitmap) {
  ASSERT_FALSE(pictest::Pictures().empty());
  TKxPicture picture;
  picture.SetGraphic(LoadGraphicFile((pictest::Pictures() / "jpegbaseline.jpg").c_str()));
  ASSERT_NE(picture.Graphic, nullptr);
  EXPECT_EQ(picture.Graphic->type, kPictureJpeg);
  const Bytes record = RecordOf(picture);
  EXPECT_EQ(Bytes(record.begin(), record.begin() + 5), (Bytes{1, 1, 0, 0, 0}));
  TKxPicture back;
  auto stream = pictest::StreamOf(record);
  back.Read(*stream);
  ASSERT_NE(back.Graphic, nullptr);
  EXPECT_EQ(back.Graphic->type, kPictureBmp);
  ExpectSamePixels(*static_cast<TKxDibGraphic&>(*back.Graphic).Dib, *static_cast<TKxDibGraphic&>(*picture.Graphic).Dib);
}

// A record in the middle of a document: the colour and the text after it
// must read back whatever the picture's kind.
TEST(PictureRecord, WhatFollowsARecordReadsCorrectly) {
  struct Case {
    const char* kind;
    std::function<std::unique_ptr<TKxGraphic>()> make;
    uint16_t type;
  } cases[] = {
      {"bitmap", [] { return std::make_unique<TKxDibGraphic>(SmallDib(), kPictureBmp); }, kPictureBmp},
      {"metafile", [] { return std::make_unique<TKxWMFGraphic>(SmallMetaFile()); }, kPictureWmf},
      {"odd-length wave", [] { return SoundGraphic(1001); }, kPictureWav},
      {"failed bitmap", [] { return std::make_unique<TKxDibGraphic>(std::make_unique<TKxDib>(int16_t(-3)), kPictureGif); },
       kPictureNone},
      {"empty metafile", [] { return std::make_unique<TKxWMFGraphic>(); }, kPictureNone},
      {"damaged wave", [] { return std::make_unique<TKxSoundGraphic>(std::make_unique<TSound>(), nullptr); },
       kPictureNone},
  };
  for (const Case& c : cases) {
    TKxPicture picture;
    picture.SetGraphic(c.make());
    TMemStream out(16, 4096);
    picture.Write(out);
    const uint8_t colour[4] = {0x12, 0x34, 0x56, 0x00};
    out.WriteHuge(colour, 4);
    out.WriteString("Hintergrund");
    out.Seek(0);
    TKxPicture back;
    back.Read(out);
    EXPECT_EQ(back.Graphic ? back.Graphic->type : kPictureNone, c.type) << c.kind;
    if (back.Graphic) EXPECT_EQ(back.Graphic->GetStatus(), 1) << c.kind;
    uint8_t read[4] = {};
    out.ReadHuge(read, 4);
    EXPECT_EQ(Le32(read), 0x563412u) << c.kind;
    char* text = out.ReadString();
    EXPECT_STREQ(text, "Hintergrund") << c.kind;
    delete[] text;
    EXPECT_EQ(out.Status, 0) << c.kind;
  }
}

// A BMP whose file header claims more bytes than the stream holds leaves
// the stream at its end, not beyond it.
TEST(PictureRecord, ABitmapLongerThanItsStreamStopsAtTheEnd) {
  TMemStream bmp(16, 1024);
  SmallDib()->WriteBmp(bmp);
  Bytes record = {1, 1, 0, 0, 0};
  record.insert(record.end(), bmp.Block->Data, bmp.Block->Data + bmp.Size);
  PutLe32(&record[5 + 2], uint32_t(bmp.Size + 100));
  auto stream = pictest::StreamOf(record);
  TKxPicture picture;
  picture.Read(*stream);
  ASSERT_NE(picture.Graphic, nullptr);
  EXPECT_EQ(picture.Graphic->GetStatus(), 1);
  EXPECT_EQ(stream->GetPos(), stream->GetSize());
}

TEST(PictureGraphics, ClonesAreIndependent) {
  auto sound = SoundGraphic(300);
  ASSERT_EQ(sound->GetStatus(), 1);
  ASSERT_NE(sound->Symbol, nullptr);
  EXPECT_EQ(sound->Symbol->Status, 1) << "the symbol bitmap is a resource";
  {
    auto clone = ClonePicture(*sound);
    ASSERT_EQ(clone->type, kPictureWav);
    EXPECT_EQ(clone->GetDataSize(), sound->GetDataSize());
    sound.reset();  // the source goes first
    TMemStream out(16, 1024);
    clone->Write(out);
    EXPECT_EQ(Written(out), Wave(300));
  }
  auto other = SoundGraphic(10);
  auto clone = ClonePicture(*other);
  clone.reset();  // the clone goes first
  EXPECT_EQ(other->GetStatus(), 1);

  TKxDibGraphic gif(SmallDib(), kPictureGif);
  auto dib = ClonePicture(gif);
  EXPECT_EQ(dib->type, kPictureBmp);
  ExpectSamePixels(*static_cast<TKxDibGraphic&>(*dib).Dib, *gif.Dib);
  TKxWMFGraphic wmf(SmallMetaFile());
  EXPECT_EQ(ClonePicture(wmf)->GetDataSize(), wmf.GetDataSize());

  TKxPicture picture;
  picture.SetGraphic(std::make_unique<TKxDibGraphic>(SmallDib(), kPictureBmp));
  picture.Graphic->type = 9;
  try {
    ClonePicture(*picture.Graphic);
    FAIL() << "no exception";
  } catch (const xmsg& e) {
    EXPECT_STREQ(e.what(), "Unknown picture type in ClonePicture.");
  }
  EXPECT_THROW(TKxPicture{picture}, xmsg);
}

TEST(PictureGraphics, TheClipboardsOrderDecides) {
  EmptyTheClipboard();
  const auto dib = SmallDib();
  const auto meta = SmallMetaFile();
  meta->CopyToClipboard();
  dib->CopyToClipboard();
  auto first = GetGraphicFromClipboard(0);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->type, kPictureWmf);
  EXPECT_EQ(first->GetStatus(), 1);

  EmptyTheClipboard();
  dib->CopyToClipboard();
  meta->CopyToClipboard();
  auto second = GetGraphicFromClipboard(0);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(second->type, kPictureBmp);
  EXPECT_EQ(second->GetWidth(), 3);

  EmptyTheClipboard();
  platform::ClipboardSetText("Text");
  EXPECT_EQ(GetGraphicFromClipboard(0), nullptr);
  TKxDibGraphic graphic(SmallDib(), kPictureBmp);
  EXPECT_EQ(graphic.FromClipboard(), 0);
  EXPECT_EQ(graphic.type, kPictureNone);
  ASSERT_NE(graphic.Dib, nullptr) << "a clipboard without a DIB leaves an empty one";
  EXPECT_EQ(graphic.GetWidth(), 0);
  EmptyTheClipboard();
}

// Seeds for the picture record's fuzz target, made by our writers: records
// of every kind, each followed by a colour and a text as in a report file.
TEST(PictureRecord, WritesFuzzSeedsOnRequest) {
  const char* folder = std::getenv("KXPICTURE_WRITE_FUZZ_SEEDS");
  if (!folder) GTEST_SKIP();
  std::filesystem::create_directories(folder);
  const struct {
    const char* name;
    std::function<std::unique_ptr<TKxGraphic>()> make;
  } seeds[] = {{"empty", [] { return nullptr; }},
               {"bitmap", [] { return std::make_unique<TKxDibGraphic>(SmallDib(), kPictureBmp); }},
               {"metafile", [] { return std::make_unique<TKxWMFGraphic>(SmallMetaFile()); }},
               {"wave", [] { return SoundGraphic(33); }}};
  for (const auto& s : seeds) {
    TKxPicture picture;
    picture.SetGraphic(s.make());
    TMemStream out(16, 4096);
    picture.Write(out);
    out.WriteString("Farbe");
    std::ofstream(std::string(folder) + "/" + s.name, std::ios::binary).write(reinterpret_cast<const char*>(out.Block->Data), out.Size);
  }
  TKxPicture linked;
  linked.Embedded = 0;
  linked.FileName.Assign("BILDER\\LOGO.BMP", -1);
  TMemStream out(16, 256);
  linked.Write(out);
  std::ofstream(std::string(folder) + "/linked", std::ios::binary).write(reinterpret_cast<const char*>(out.Block->Data), out.Size);
}

}  // namespace
