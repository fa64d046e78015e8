#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <memory>
#include <vector>

#include "runtime/dataviews/tests/dataviews_test_util.h"
#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/dataviews/zetstream.h"
#include "runtime/toolkit/kxdib.h"

namespace {

using namespace dataviews;
using dataviews_test::Events;
using dataviews_test::RecordingView;
using kxobject::TKxDib;

// The raw bytes of the picture field of the cursor's record.
std::vector<uint8_t> RawBlob(int32_t cursor) {
  const int32_t length = ZetTableInitGetBlob(cursor, "BILD");
  std::vector<uint8_t> bytes(size_t(std::max(length, 0)));
  if (length > 0) EXPECT_EQ(ZetTableGetBlobBlock(bytes.data(), length), length);
  ZetTableDoneGetBlob();
  return bytes;
}

// A 3 x 2 picture of 24 bits with distinct pixels.
std::unique_ptr<TKxDib> SmallPicture() {
  kxobject::DibBuilder b;
  EXPECT_EQ(b.Start(3, 2, 24, 0), 1);
  for (int32_t row = 0; row < 2; ++row)
    for (int32_t x = 0; x < 3; ++x) {
      uint8_t* p = b.Row(row) + 3 * x;
      p[0] = uint8_t(10 * x), p[1] = uint8_t(50 * row), p[2] = uint8_t(200 - x);
    }
  return std::make_unique<TKxDib>(b.Finish(), true);
}

class MemoText : public TDataSource::IMemoView {
 public:
  explicit MemoText(std::string text) : text_(std::move(text)) {}
  void WriteText(TKxStream& stream) override { stream.WriteHuge(text_.data(), uint32_t(text_.size())); }

 private:
  std::string text_;
};

class datasource_blobs : public dataviews_test::TableTest {
 protected:
  void SetUp() override {
    TableTest::SetUp();
    AddArticles({{"Apfel", 1}});
    source_ = std::make_unique<TZetDataSource>(relation_);
  }
  void TearDown() override {
    source_.reset();
    TableTest::TearDown();
  }
  // Edits the record, hands the blob over and posts.
  int32_t PostBlob(TBlob& blob) {
    EXPECT_EQ(source_->Edit(), 0);
    source_->SetBlob("BILD", &blob);
    return source_->Post();
  }
  std::unique_ptr<TZetDataSource> source_;
};

TEST_F(datasource_blobs, AFileLinkIsStoredRelativeAndReadBackAbsolute) {
  const std::string file = TempPath("BILDER/FOTO.BMP");
  std::filesystem::create_directories(dir_ / "BILDER");
  std::ofstream(file) << "x";
  TBlob link(kPictBitmap, false, file.c_str(), nullptr);
  ASSERT_EQ(PostBlob(link), 0);
  const std::vector<uint8_t> raw = RawBlob(source_->GetTableHandle());
  const std::string relative = "BILDER\\FOTO.BMP";
  ASSERT_EQ(raw.size(), relative.size() + 4);
  dataviews_test::WriteFuzzSeed("blobrecord_fuzz", "link", raw);
  EXPECT_EQ(raw[0] | raw[1] << 8, 2 * kPictBitmap - 1);
  EXPECT_EQ(raw[2] | raw[3] << 8, int(relative.size()));
  EXPECT_EQ(std::string(raw.begin() + 4, raw.end()), relative);
  std::unique_ptr<TBlob> back(source_->GetBlob("BILD"));
  EXPECT_FALSE(back->Embedded);
  EXPECT_EQ(back->Format, kPictBitmap);
  std::string expected = file, answered = back->FileName;
  for (char& c : expected) c = char(std::toupper(static_cast<unsigned char>(c)));
  std::replace(answered.begin(), answered.end(), '\\', '/');
  EXPECT_EQ(answered, expected);
  int32_t format = 0;
  std::unique_ptr<TKxStream> stream(source_->GetBlobStream("BILD", format));
  ASSERT_NE(stream, nullptr);
  EXPECT_EQ(format, kPictBitmap);
  EXPECT_EQ(stream->Status, 0) << "the linked file opens through the stream";
  EXPECT_EQ(stream->GetSize(), 1);
}

TEST_F(datasource_blobs, AnEmbeddedGifWithoutFileIsStoredAsABitmapWithTheSamePixels) {
  TBlob gif(kPictGif, true, nullptr, SmallPicture());
  ASSERT_EQ(PostBlob(gif), 0);
  const std::vector<uint8_t> raw = RawBlob(source_->GetTableHandle());
  ASSERT_GE(raw.size(), 4u);
  EXPECT_EQ(raw[0] | raw[1] << 8, 2);
  EXPECT_EQ(raw[2], 'B');
  EXPECT_EQ(raw[3], 'M');
  EXPECT_EQ(int32_t(raw.size()), gif.Picture->GetBmpSize() + 2);
  dataviews_test::WriteFuzzSeed("blobrecord_fuzz", "bitmap", raw);
  std::unique_ptr<TBlob> back(source_->GetBlob("BILD"));
  ASSERT_TRUE(back->Picture);
  EXPECT_TRUE(back->Embedded);
  EXPECT_EQ(back->Format, kPictBitmap);
  ASSERT_EQ(back->Picture->Width(), 3);
  for (int32_t y = 0; y < 2; ++y)
    for (int32_t x = 0; x < 3; ++x) EXPECT_EQ(back->Picture->PixelAt(x, y), gif.Picture->PixelAt(x, y)) << x << "," << y;
  char text[16];
  source_->GetFieldText("BILD", text, 15);
  EXPECT_STRNE(text, "Blob") << "browsing shows the engine's text";
}

TEST_F(datasource_blobs, AnEmbeddedFileIsCopiedWithItsKindWordAndALongOneShowsTheWaitCursor) {
  static int waits;
  waits = 0;
  TZetDataSource::ShowWaitCursor = [] { ++waits; };
  for (size_t size : {size_t(100), size_t(30000)}) {
    const std::string file = TempPath("TON.WAV");
    std::vector<char> data(size);
    for (size_t i = 0; i < size; ++i) data[i] = char(i * 7);
    std::ofstream(file, std::ios::binary).write(data.data(), std::streamsize(size));
    TBlob sound(kPictSound, true, file.c_str(), nullptr);
    ASSERT_EQ(PostBlob(sound), 0);
    int32_t format = 0;
    std::unique_ptr<TKxStream> stream(source_->GetBlobStream("BILD", format));
    ASSERT_NE(stream, nullptr);
    EXPECT_EQ(format, kPictSound);
    std::vector<char> back(size);
    EXPECT_EQ(stream->ReadHuge(back.data(), uint32_t(size)), size);
    EXPECT_EQ(back, data);
  }
  EXPECT_EQ(waits, 1);
  TZetDataSource::ShowWaitCursor = nullptr;
}

TEST_F(datasource_blobs, AnEmptyValueEmptiesTheFieldAndWhatCannotBeWrittenKeepsTheRecordPending) {
  TBlob picture(kPictBitmap, true, nullptr, SmallPicture());
  ASSERT_EQ(PostBlob(picture), 0);
  TBlob empty;
  ASSERT_EQ(PostBlob(empty), 0);
  EXPECT_TRUE(RawBlob(source_->GetTableHandle()).empty());
  RecordingView view;
  source_->AddView(&view);
  TBlob missing(kPictBitmap, true, TempPath("FEHLT.BMP").c_str(), nullptr);
  EXPECT_EQ(PostBlob(missing), kPostNotWritten);
  EXPECT_EQ(source_->GetMode(), kEditing);
  EXPECT_TRUE(source_->IsBlob("BILD", &missing)) << "kept for the next try";
  char text[16];
  source_->GetFieldText("BILD", text, 15);
  EXPECT_STREQ(text, "Blob");
  source_->Cancel();
  EXPECT_FALSE(source_->IsBlob("BILD", &missing));
  TBlob noData(kPictBitmap, true, nullptr, std::make_unique<TKxDib>());
  EXPECT_EQ(PostBlob(noData), kPostNotWritten);
  source_->Cancel();
  EXPECT_EQ(view.Take(), (Events{"RecordModeStarted(1)", "FieldChanged(5)", "RecordModeEnded(1)",
                                 "RecordModeStarted(1)", "FieldChanged(5)", "RecordModeEnded(1)"}));
}

TEST_F(datasource_blobs, PendingMemosAreWrittenAtPostAndDroppedWhileBrowsing) {
  MemoText memo("Erste Zeile\r\nZweite Zeile");
  source_->SetMemoView("NOTIZ", &memo);
  EXPECT_EQ(source_->Post(), 0) << "browsing: dropped, not written";
  EXPECT_FALSE(source_->IsMemoView("NOTIZ", &memo));
  EXPECT_EQ(ZetTableInitGetMemo(source_->GetTableHandle(), "NOTIZ"), 0);
  ZetTableDoneGetMemo();
  ASSERT_EQ(source_->Edit(), 0);
  source_->SetMemoView("NOTIZ", &memo);
  char text[16];
  source_->GetFieldText("NOTIZ", text, 15);
  EXPECT_STREQ(text, "Memo");
  ASSERT_EQ(source_->Post(), 0);
  TZetMemoStream stream(source_->GetTableHandle(), "NOTIZ", kZetRead);
  std::string back(size_t(stream.GetSize()), '\0');
  EXPECT_EQ(stream.ReadHuge(back.data(), uint32_t(back.size())), back.size());
  EXPECT_EQ(back, "Erste Zeile\r\nZweite Zeile");
}

TEST_F(datasource_blobs, MemoTextComesFromThePendingViewElseFromTheRecord) {
  const std::string stored = std::string(300, 'x') + "\r\nEnde";
  MemoText first(stored), pending("Neu\r\n");
  ASSERT_EQ(source_->Edit(), 0);
  source_->SetMemoView("NOTIZ", &first);
  ASSERT_EQ(source_->Post(), 0);
  struct Case {
    bool editWithView;
    std::string text;
    int lines;
  } cases[] = {
      {false, stored, 3},     // pieces of 255 and 51 characters, then the empty last line
      {true, "Neu\r\n", 2},  // the view's text, not yet posted
  };
  for (const auto& c : cases) {
    if (c.editWithView) {
      ASSERT_EQ(source_->Edit(), 0);
      source_->SetMemoView("NOTIZ", &pending);
    }
    std::unique_ptr<reports::TFormattedText> text = source_->GetMemoText("NOTIZ");
    EXPECT_EQ(text->GetText(), c.text);
    EXPECT_EQ(text->GetLineCount(), c.lines);
  }
  source_->Cancel();
  std::unique_ptr<reports::TFormattedText> none = source_->GetMemoText("FEHLT");
  EXPECT_EQ(none->GetLength(), 0) << "an unknown field reads nothing";
  ASSERT_GE(source_->Delete(), 0);
  std::unique_ptr<reports::TFormattedText> noRecord = source_->GetMemoText("NOTIZ");
  EXPECT_EQ(noRecord->GetLength(), 0) << "without a record the text is empty";
  EXPECT_EQ(noRecord->GetLineCount(), 1);
}

// ---- the streams themselves ----

TEST_F(datasource_blobs, StreamsReadTheRestSeekOnlyForwardAndRefuseTheWrongDirection) {
  const int32_t cursor = source_->GetTableHandle();
  ASSERT_EQ(source_->Edit(), 0);
  std::vector<uint8_t> data(40000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t(i * 13);
  {
    TZetBlobStream out(cursor, "BILD", kZetCreate, int32_t(data.size()));
    EXPECT_EQ(out.WriteHuge(data.data(), uint32_t(data.size())), data.size());
    EXPECT_EQ(out.ReadHuge(data.data(), 4), 0u);
    EXPECT_EQ(out.Status, kxobject::kStreamReadError);
    EXPECT_EQ(out.ErrorInfo, 1);
  }
  ASSERT_EQ(source_->Post(), 0);
  {
    TZetBlobStream in(cursor, "BILD", kZetRead);
    ASSERT_EQ(in.GetSize(), 40000);
    in.Seek(39990);
    EXPECT_EQ(in.GetPos(), 39990);
    EXPECT_THROW(in.Seek(5), kxobject::xmsg);
    uint8_t rest[64];
    EXPECT_EQ(in.ReadHuge(rest, sizeof rest), 10u) << "a read past the end answers the rest";
    EXPECT_EQ(std::vector<uint8_t>(rest, rest + 10), std::vector<uint8_t>(data.end() - 10, data.end()));
    // A write on a read stream reports -4 and puts nothing into any transfer.
    EXPECT_EQ(in.WriteHuge(rest, 4), 0u);
    EXPECT_EQ(in.Status, kxobject::kStreamWriteError);
    EXPECT_EQ(in.ErrorInfo, 1);
  }
  EXPECT_EQ(RawBlob(cursor), data);
  ASSERT_EQ(source_->Edit(), 0);
  { TZetBlobStream(cursor, "BILD", kZetWrite, 0); }
  ASSERT_EQ(source_->Post(), 0);
  EXPECT_TRUE(RawBlob(cursor).empty()) << "a write stream of total size 0 empties the field";
  TZetBlobStream bad(cursor, "BILD", 0x1234);
  EXPECT_EQ(bad.Status, kxobject::kStreamOpenError);
  TZetMemoStream unknown(cursor, "FEHLT", kZetRead);
  EXPECT_EQ(unknown.Status, kxobject::kStreamReadError);
  EXPECT_EQ(unknown.GetSize(), 0);
}

TEST(datasource_blob_record, DamagedRecordsReadAsEmptyValues) {
  const std::vector<std::vector<uint8_t>> records = {
      {}, {2}, {0, 0}, {13, 0}, {0xFF, 0xFF}, {2, 0, 'B', 'M', 1}, {1, 0, 9, 0, 'x'}, {1, 0, 0, 0},
  };
  for (const auto& bytes : records) {
    kxobject::TMemStream stream(64, 64);
    if (!bytes.empty()) stream.WriteHuge(bytes.data(), uint32_t(bytes.size()));
    stream.Seek(0);
    std::unique_ptr<TBlob> blob = ReadBlobRecord(stream, "/TMP/");
    EXPECT_FALSE(blob->Picture) << bytes.size();
    EXPECT_TRUE(blob->FileName.empty()) << bytes.size();
  }
}

}  // namespace
