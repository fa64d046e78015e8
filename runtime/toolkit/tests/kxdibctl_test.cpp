// The picture control and its dialogs: how a chosen file joins the
// document, the control's label and transfer, the buttons and the dialogs
// "Bild öffnen" and "Optionen beim Import", driven headless with real
// messages; and the picture print-out on the test printer.
#include "runtime/toolkit/kxdibctl.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/clipboard.h"
#include "platform/gdi/wmf/metafile.h"
#include "platform/print/job.h"
#include "platform/testing/ui.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxpicio.h"
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

// --- the dialogs "Bild öffnen" and "Optionen beim Import" ---

constexpr int kOpen = 1001, kPaste = 1002, kClear = 1003, kLabel = 1004, kLink = 1005;

class PictureDialogs : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    ASSERT_FALSE(pictest::Pictures().empty());
    app_ = std::make_unique<kxapp::TKxApplication>("QMK Runtime Kernel");
    owner_ = std::make_unique<fw::TWindow>(nullptr, "Hauptfenster");
    owner_->Attr.Style = win::WS_OVERLAPPEDWINDOW | win::WS_VISIBLE;
    owner_->Attr.W = 600, owner_->Attr.H = 400;
    ASSERT_TRUE(owner_->Create());
    dir_ = fs::path(TempDir()) / "bilder";
    fs::create_directories(dir_ / "Bilder");
    photo_ = (dir_ / "foto.jpg").string();
    fs::copy_file(pictest::Pictures() / "jpegbaseline.jpg", photo_);
  }
  void TearDown() override {
    owner_.reset();
    app_.reset();
    UiTest::TearDown();
  }
  static win::HWND Modal() { return win::ModalWindows().empty() ? win::HWND() : win::ModalWindows().back(); }
  static bool Showing(const char* caption) { return Modal() && win::GetWindowText(Modal()) == caption; }
  // Presses a dialog's button as the mouse does; hidden buttons through BM_CLICK.
  void Press(int id) {
    const win::HWND button = win::GetDlgItem(Modal(), id);
    if (win::IsWindowVisible(button))
      Click(button, 3, 3);
    else
      win::SendMessage(button, win::BM_CLICK);
  }
  static uint16_t Checked(int id) { return uint16_t(win::SendDlgItemMessage(Modal(), id, win::BM_GETCHECK)); }

  std::unique_ptr<kxapp::TKxApplication> app_;
  std::unique_ptr<fw::TWindow> owner_;
  fs::path dir_;
  std::string photo_;
};

// The file is chosen, the options dialog offers embedding and copying (not
// linking) with copy preset, the copy lands in the picture folder, and the
// JPEG picture leaves the dialog as a bitmap.
TEST_F(PictureDialogs, OpenCopyAndLinkThenTakeTheBitmapOut) {
  TOpenPictureDlg dialog(owner_.get());
  dialog.FromFileBtn->Options = {false, true, (dir_ / "Bilder").string()};
#pragma pack(push, 1)
  struct {
    TKxDib* dib;
    uint16_t link;
  } buffer{nullptr, 0};
#pragma pack(pop)
  static_assert(sizeof buffer == sizeof(TKxDib*) + 2);
  dialog.SetTransferBuffer(&buffer, sizeof buffer);
  Answers().OpenFile(photo_);
  When([] { return Showing("Bild \xf6" "ffnen"); }, [&] {
    EXPECT_FALSE(win::IsWindowVisible(win::GetDlgItem(Modal(), kPaste)));
    EXPECT_FALSE(win::IsWindowVisible(win::GetDlgItem(Modal(), kLink)));
    Press(kOpen);
  });
  When([] { return Showing("Optionen beim Import"); }, [&] {
    const win::HWND d = Modal();
    EXPECT_TRUE(win::IsWindowEnabled(win::GetDlgItem(d, 101)));
    EXPECT_FALSE(win::IsWindowEnabled(win::GetDlgItem(d, 102))) << "Verkn\xfcpfen";
    EXPECT_TRUE(win::IsWindowEnabled(win::GetDlgItem(d, 103)));
    EXPECT_EQ((std::vector<uint16_t>{Checked(101), Checked(102), Checked(103)}), (std::vector<uint16_t>{0, 0, 1}));
    EXPECT_TRUE(MatchesWindowGolden(d, ZET_TOOLKIT_TESTS_DIR, "import_options_12901"));
    Press(win::IDOK);
  });
  When([] { return Showing("Bild \xf6" "ffnen"); }, [&] {
    const std::string copy = win::GetDlgItemText(Modal(), kLabel);
    EXPECT_TRUE(copy.ends_with("Bilder\\foto.jpg")) << copy;
    EXPECT_TRUE(MatchesWindowGolden(Modal(), ZET_TOOLKIT_TESTS_DIR, "open_picture_12900"));
    Press(win::IDOK);
  });
  EXPECT_EQ(dialog.Execute(), win::IDOK);
  EXPECT_TRUE(fs::exists(dir_ / "Bilder" / "foto.jpg"));
  EXPECT_EQ(Answers().LastOpenFile().filter.substr(0, 20), "Bitmap (*.BMP)|*.BMP");
  EXPECT_EQ(Answers().LastOpenFile().flags, fw::OFN_FILEMUSTEXIST | fw::OFN_HIDEREADONLY);
  ASSERT_NE(buffer.dib, nullptr) << "a JPEG picture transfers out as a bitmap";
  EXPECT_EQ(buffer.dib->Width(), 67);
  EXPECT_EQ(dialog.DibControl->GetPicture()->Embedded, 0);
  EXPECT_EQ(dialog.DibControl->GetPicture()->Graphic->type, kPictureJpeg);
  delete buffer.dib;
}

// What the options say decides whether the options dialog asks; its
// Cancel and the file question's Cancel leave the control as it was.
TEST_F(PictureDialogs, TheOptionsDecideWhetherToAskAndCancelKeepsThePicture) {
  const struct {
    const char* what;
    bool link, embed, folder;
    bool fileCancel;
    int answer;  // the options dialog's button: 0 not shown, else 101-103 or IDCANCEL
    const char* label;
  } cases[] = {
      {"nothing allowed: embedded without asking", false, false, false, false, 0, "Eingebettet"},
      {"only linking: linked without asking", true, false, false, false, 0, "foto.jpg"},
      {"link or embed, embed chosen", true, true, false, false, 101, "Eingebettet"},
      {"link or embed, link kept", true, true, false, false, win::IDOK, "foto.jpg"},
      {"options cancelled", true, true, true, false, win::IDCANCEL, ""},
      {"file question cancelled", false, false, false, true, 0, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TOpenPictureDlg dialog(owner_.get());
    dialog.FromFileBtn->SetImportOptions(c.link, c.embed);
    if (c.folder) dialog.FromFileBtn->Options.PictureDir = (dir_ / "Bilder").string();
    dialog.FromFileBtn->TypeMask = 1u << kPictureJpeg;
    Answers().OpenFile(photo_, c.fileCancel);
    Then([&] { Press(kOpen); });
    if (c.answer) {
      When([] { return Showing("Optionen beim Import"); }, [&] {
        if (c.answer >= 101 && c.answer <= 103) Press(c.answer);
        Press(c.answer >= 101 && c.answer <= 103 ? win::IDOK : c.answer);
      });
    }
    When([] { return Showing("Bild \xf6" "ffnen"); }, [&] {
      const std::string label = win::GetDlgItemText(Modal(), kLabel);
      EXPECT_TRUE(label.ends_with(c.label)) << label;
      if (!*c.label) {
        EXPECT_EQ(dialog.DibControl->GetPicture(), nullptr);
      }
      Press(win::IDCANCEL);
    });
    EXPECT_EQ(dialog.Execute(), win::IDCANCEL);
    EXPECT_EQ(Answers().LastOpenFile().filter, "JPEG-Bild (*.JPG)|*.JPG");
    Answers().ExpectAllUsed();
  }
}

// Paste takes a DIB from the clipboard, or says that there is none and
// keeps the picture; "Löschen" leaves an empty embedded picture; the base
// button only beeps.
TEST_F(PictureDialogs, PasteClearAndTheBaseButton) {
  TOpenPictureDlg dialog(owner_.get());
  Then([&] {
    ASSERT_TRUE(win::OpenClipboard(0));
    win::EmptyClipboard();
    win::CloseClipboard();
    platform::ClipboardSetText("kein Bild");
    Answers().MessageBox(win::IDOK).IfText("geeigneten Bilddaten");
    Press(kPaste);
    EXPECT_EQ(dialog.DibControl->GetPicture(), nullptr);
    EXPECT_EQ(Answers().LastMessageBox().caption, "Bild einf\xfcgen");
    EXPECT_EQ(Answers().LastMessageBox().type & 0xF0, win::MB_ICONEXCLAMATION);

    DibBuilder b;
    ASSERT_EQ(b.Start(4, 3, 24, 0), 1);
    TKxDib(b.Finish(), true).CopyToClipboard();
    Press(kPaste);
    ASSERT_NE(dialog.DibControl->GetDib(), nullptr);
    EXPECT_EQ(dialog.DibControl->GetDib()->Width(), 4);
    EXPECT_EQ(win::GetDlgItemText(Modal(), kLabel), "Eingebettet");

    Press(kClear);
    ASSERT_NE(dialog.DibControl->GetPicture(), nullptr);
    EXPECT_TRUE(dialog.DibControl->GetPicture()->IsEmpty());
    EXPECT_EQ(win::GetDlgItemText(Modal(), kLabel), "Eingebettet");

    TDibControlButton plain(&dialog, kClear, dialog.DibControl);
    const int beeps = Display().Beeps();
    plain.Clicked();
    EXPECT_EQ(Display().Beeps(), beeps + 1);
    Press(win::IDCANCEL);
  });
  EXPECT_EQ(dialog.Execute(), win::IDCANCEL);
}

// --- the picture print-out ---

TEST_F(PictureDialogs, ThePrintOutPrintsTheTitleAndThePictureBelowIt) {
  platform::print::AddTestPrinter({"Bilddrucker", "", "", platform::print::PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
  platform::print::ClearTestJobs();
  DibBuilder b;
  ASSERT_EQ(b.Start(40, 20, 24, 0), 1);
  for (int32_t row = 0; row < 20; ++row)
    for (int32_t x = 0; x < 40; ++x) b.Row(row)[3 * x + 2] = 0xFF;  // red
  TKxDibGraphic graphic(std::make_unique<TKxDib>(b.Finish(), true), kPictureBmp);
  TPicturePrintOut printout("Firmenlogo", &graphic);
  fw::TPrinter printer;
  printer.SetPrinter("qmktest", "Bilddrucker", "TEST:");
  ASSERT_TRUE(printer.Print(owner_.get(), printout, false));

  ASSERT_EQ(platform::print::TestJobs().size(), 1u);
  const auto& job = platform::print::TestJobs().back();
  ASSERT_EQ(job.pages.size(), 1u) << "one page";
  const auto caps = platform::print::PrinterCaps(*platform::print::FindPrinter("Bilddrucker"), nullptr);
  const auto texts = platform::print::PageTexts(job.pages[0], caps);
  ASSERT_EQ(texts.size(), 1u);
  EXPECT_EQ(texts[0].text, "Firmenlogo");
  EXPECT_EQ(texts[0].at, (win::POINT{0, 0}));

  // Played onto paper: the picture in natural size from row 80 down.
  win::Dc paper(win::Bitmap::Create(caps.width, caps.height, 32), caps);
  paper.Surface().Fill(win::kWhite);
  win::wmf::PlayMetaFile(paper, job.pages[0]);
  const win::Bitmap& p = paper.Surface();
  EXPECT_EQ(p.Get(20, 79), win::kWhite);
  EXPECT_EQ(p.Get(0, 80) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.Get(39, 99) & 0xFFFFFF, 0xFF0000u);
  EXPECT_EQ(p.Get(40, 99), win::kWhite);
  EXPECT_EQ(p.Get(39, 100), win::kWhite);
  platform::print::RemoveTestPrinters();
}

}  // namespace
