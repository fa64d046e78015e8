// The picture control: how a chosen file joins the document, the control's
// label and transfer, and its look, driven headless.
#include "runtime/toolkit/kxdibctl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/ui.h"
#include "runtime/toolkit/tests/picture_support.h"

namespace {

using namespace kxobject;
namespace fs = std::filesystem;

TEST(PictureImport, TheOfferFollowsTheOptions) {
  const struct {
    bool link, embed;
    const char* dir;
    bool embedOk, linkOk, copyOk;
    TImportChoice preset;
    bool ask;
  } cases[] = {
      {false, false, "", false, false, false, TImportChoice::Embed, false},
      {false, true, "/p", true, false, true, TImportChoice::CopyAndLink, true},
      {true, true, "", true, true, false, TImportChoice::Link, true},
      {true, false, "", false, true, false, TImportChoice::Link, false},
      {false, true, "", true, false, false, TImportChoice::Embed, false},
      {true, true, "/p", true, true, true, TImportChoice::Link, true},
  };
  for (const auto& c : cases) {
    const TImportOffer offer = OfferImport({c.link, c.embed, c.dir});
    const std::string what = std::string("link ") + (c.link ? "1" : "0") + " embed " + (c.embed ? "1" : "0") + " dir " + c.dir;
    EXPECT_EQ(offer.Available[0], c.embedOk) << what;
    EXPECT_EQ(offer.Available[1], c.linkOk) << what;
    EXPECT_EQ(offer.Available[2], c.copyOk) << what;
    EXPECT_EQ(offer.Preset, c.preset) << what;
    EXPECT_EQ(offer.Ask, c.ask) << what;
  }
}

class PictureImportFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(pictest::Pictures().empty());
    dir_ = fs::temp_directory_path() / ("kxdibctl_" + std::to_string(::getpid()));
    fs::create_directories(dir_ / "Bilder");
    fs::create_directories(dir_ / "src");
    fs::copy_file(pictest::Pictures() / "jpegbaseline.jpg", dir_ / "src" / "foto.jpg");
  }
  void TearDown() override { fs::remove_all(dir_); }

  std::unique_ptr<TKxPicture> Import(const fs::path& path, const TImportOptions& options,
                                     std::optional<TImportChoice> answer = std::nullopt) {
    return ImportPictureFile(
        path.c_str(), options,
        [&](const TImportOffer&) {
          ++asked;
          return answer;
        },
        [&](const char* text, const char* caption) { failures += std::string(caption) + ": " + text + "\n"; });
  }

  fs::path dir_;
  int asked = 0;
  std::string failures;
};

TEST_F(PictureImportFiles, NothingAllowedEmbedsWithoutAsking) {
  auto picture = Import(dir_ / "src" / "foto.jpg", {false, false, ""});
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(asked, 0);
  EXPECT_EQ(picture->Embedded, 1);
  EXPECT_EQ(picture->Graphic->type, kPictureJpeg);
}

TEST_F(PictureImportFiles, CopyAndLinkCopiesOnlyWhatIsNotThereYet) {
  const TImportOptions options{false, true, (dir_ / "Bilder").string()};
  auto copied = Import(dir_ / "src" / "foto.jpg", options, TImportChoice::CopyAndLink);
  ASSERT_NE(copied, nullptr);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(copied->Embedded, 0);
  EXPECT_TRUE(fs::exists(dir_ / "Bilder" / "foto.jpg"));
  EXPECT_TRUE(std::string(copied->FileName.CStr()).ends_with("Bilder\\foto.jpg")) << copied->FileName.CStr();

  // The same file, named with other case: linked where it lies, not copied
  // onto itself.
  const auto size = fs::file_size(dir_ / "Bilder" / "foto.jpg");
  std::string upper = (dir_ / "Bilder").string() + "/FOTO.JPG";
  fs::rename(dir_ / "Bilder" / "foto.jpg", dir_ / "Bilder" / "FOTO.JPG");
  auto linked = Import(upper, options, TImportChoice::CopyAndLink);
  ASSERT_NE(linked, nullptr);
  EXPECT_EQ(fs::file_size(dir_ / "Bilder" / "FOTO.JPG"), size);
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_ / "Bilder"), {}), 1);
  EXPECT_TRUE(failures.empty()) << failures;
}

TEST_F(PictureImportFiles, FailuresAndCancelLeaveNoPicture) {
  EXPECT_EQ(Import(dir_ / "src" / "foto.jpg", {true, true, ""}, std::nullopt), nullptr) << "cancelled";
  EXPECT_TRUE(failures.empty());
  EXPECT_EQ(Import(dir_ / "src" / "foto.jpg", {false, false, (dir_ / "fehlt").string()}), nullptr);
  std::ofstream(dir_ / "src" / "kaputt.bmp") << "no picture";
  EXPECT_EQ(Import(dir_ / "src" / "kaputt.bmp", {false, false, ""}), nullptr);
  EXPECT_EQ(failures, "Copy: Could not copy file.\nReading Image: Could not read the image.\n");
}

class kxdibctl_ui : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    host = std::make_unique<fw::TWindow>(nullptr, "Bild");
    host->Attr.Style = win::WS_POPUP | win::WS_VISIBLE;
    host->Attr.X = 10, host->Attr.Y = 10, host->Attr.W = 200, host->Attr.H = 120;
    control = new TDibControl(host.get(), 1000, "", 10, 10, 120, 80);
    label = new fw::TWindow(host.get(), "");
    label->Attr.Id = 1004;
    label->Attr.Y = 95, label->Attr.W = 180, label->Attr.H = 16;
    control->NameLabel = label;
    ASSERT_TRUE(host->Create());
    Settle();
  }
  void TearDown() override {
    host.reset();
    UiTest::TearDown();
  }
  std::unique_ptr<TKxPicture> Jpeg() {
    auto picture = std::make_unique<TKxPicture>();
    picture->Graphic = LoadGraphicFile((pictest::Pictures() / "jpegbaseline.jpg").c_str());
    picture->FileName.Assign("C:\\BILDER\\FOTO.JPG", -1);
    picture->Embedded = 0;
    return picture;
  }
  std::unique_ptr<fw::TWindow> host;
  TDibControl* control = nullptr;
  fw::TWindow* label = nullptr;
};

TEST_F(kxdibctl_ui, TheLabelTellsWhereThePictureComesFrom) {
  EXPECT_EQ(label->GetCaption(), "");
  control->SetPicture(Jpeg());
  EXPECT_EQ(label->GetCaption(), "C:\\BILDER\\FOTO.JPG");
  control->SetPicture(std::make_unique<TKxPicture>());  // "Löschen"
  EXPECT_EQ(label->GetCaption(), "Eingebettet");
  control->SetPicture(nullptr);
  EXPECT_EQ(label->GetCaption(), "");
}

TEST_F(kxdibctl_ui, AJpegPictureTransfersOutAsABitmap) {
  ASSERT_FALSE(pictest::Pictures().empty());
  control->SetPicture(Jpeg());
  TKxDib* buffer = new TKxDib(int16_t(-1));
  EXPECT_EQ(control->Transfer(&buffer, fw::TTransferDirection::GetData), sizeof(TKxDib*));
  ASSERT_NE(buffer, nullptr);
  EXPECT_EQ(buffer->Width(), 67);
  EXPECT_NE(buffer, control->GetDib()) << "a copy";

  auto wmf = std::make_unique<TKxPicture>();
  wmf->Graphic = std::make_unique<TKxWMFGraphic>();
  control->SetPicture(std::move(wmf));
  try {
    control->Transfer(&buffer, fw::TTransferDirection::GetData);
    FAIL() << "no exception";
  } catch (const xmsg& e) {
    EXPECT_STREQ(e.what(), "Wrong Type");
  }

  control->Transfer(&buffer, fw::TTransferDirection::SetData);
  ASSERT_NE(control->GetDib(), nullptr);
  EXPECT_NE(control->GetDib(), buffer);
  EXPECT_EQ(control->GetPicture()->Graphic->type, kPictureBmp);
  EXPECT_EQ(label->GetCaption(), "Eingebettet");
  delete buffer;
}

TEST_F(kxdibctl_ui, ThePictureIsFittedIntoTheControl) {
  ASSERT_FALSE(pictest::Pictures().empty());
  control->SetPicture(Jpeg());
  control->UpdateWindow();
  EXPECT_TRUE(MatchesWindowGolden(control->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "dibcontrol_fit"));
}

}  // namespace
