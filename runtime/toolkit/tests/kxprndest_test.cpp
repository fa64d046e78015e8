// The print destination: the record's rules and the dialog that edits it,
// driven headless.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "runtime/toolkit/kxprndest.h"
#include "runtime/toolkit/tests/toolkit_ui.h"

using namespace kxprndest;

namespace {

class kxprndest_dlg : public toolkittest::DialogTest {
 protected:
  // Runs the dialog over the record; during answers inside the loop.
  int Run(TPrintDestination& record, const std::function<void(win::HWND)>& during) {
    TPrintPreviewDlg dialog(owner_, &printer_, "Kundenliste", nullptr, &record);
    Then([&] { during(Modal()); });
    return dialog.Execute();
  }
  void ClickItem(win::HWND d, int id) { Click(win::GetDlgItem(d, id), 2, 2); }
  static bool Checked(win::HWND d, int id) { return win::IsDlgButtonChecked(d, id) == 1; }
  static bool EditEnabled(win::HWND d) { return win::IsWindowEnabled(win::GetDlgItem(d, 203)); }

  kxobject::TKxPrinter printer_;
};

TEST(kxprndest, StoredValuesShownAndNamesCompleted) {
  struct Shown {
    int16_t stored, destination, format;
  };
  for (const Shown& c : {Shown{0, 2, 3}, Shown{7, 2, 3}, Shown{1, 1, 1}, Shown{3, 3, 3}, Shown{-1, 2, 3},
                         Shown{4, 2, 4}, Shown{9, 2, 3}, Shown{5, 2, 3}}) {
    EXPECT_EQ(ShownDestination(c.stored), c.destination) << c.stored;
    EXPECT_EQ(ShownFormat(c.stored), c.format) << c.stored;
  }
  struct Name {
    const char* name;
    int16_t format;
    const char* completed;
  };
  for (const Name& c : {Name{"REPORT", 4, "REPORT.HTM"}, Name{"REPORT.LST", 4, "REPORT.LST"},
                        Name{"REPORT", 1, "REPORT.PRD"}, Name{"REPORT", 2, "REPORT.TXT"},
                        Name{"REPORT", 3, "REPORT.TXT"}, Name{"C:\\AUS.GABE\\LISTE", 4, "C:\\AUS.GABE\\LISTE.HTM"},
                        Name{"", 4, ""}})
    EXPECT_EQ(CompleteFileName(c.name, c.format), c.completed) << c.name;
}

TEST_F(kxprndest_dlg, AStoredOddRecordShowsThePreviewAndTextFormat) {
  TPrintDestination record;
  record.Destination = 7;
  record.Format = 9;
  std::strcpy(record.FileName, "ALT.TXT");
  EXPECT_EQ(Run(record,
                [&](win::HWND d) {
                  EXPECT_TRUE(Checked(d, 221));
                  EXPECT_TRUE(Checked(d, 212));
                  EXPECT_FALSE(EditEnabled(d));
                  EXPECT_EQ(win::GetDlgItemText(d, 100), "Kundenliste");
                  EXPECT_EQ(win::GetDlgItemText(d, 201), printer_.Device);
                  EXPECT_EQ(win::GetWindowText(d), "Drucken");
                  Key(win::VK_ESCAPE);
                }),
            win::IDCANCEL);
  EXPECT_EQ(record.Destination, 7);  // only OK changes the record
  EXPECT_EQ(record.Format, 9);
}

TEST_F(kxprndest_dlg, AFormatChoosesTheFileAndOkCompletesTheName) {
  TPrintDestination record;
  record.Destination = kToPrinter;
  std::strcpy(record.FileName, "REPORT");
  EXPECT_EQ(Run(record,
                [&](win::HWND d) {
                  EXPECT_FALSE(EditEnabled(d));
                  ClickItem(d, 213);
                  EXPECT_TRUE(Checked(d, 222));
                  EXPECT_FALSE(Checked(d, 220));
                  EXPECT_TRUE(EditEnabled(d));
                  Key(win::VK_RETURN);
                }),
            win::IDOK);
  EXPECT_EQ(record.Destination, kToFile);
  EXPECT_EQ(record.Format, kWebFormat);
  EXPECT_STREQ(record.FileName, "REPORT.HTM");
}

TEST_F(kxprndest_dlg, AnEmptyNameIsRefusedAndStaysEmpty) {
  TPrintDestination record;
  record.Destination = kToFile;
  Answers().MessageBox(win::IDOK).IfText("Geben Sie einen Dateinamen an.");
  EXPECT_EQ(Run(record,
                [&](win::HWND d) {
                  EXPECT_TRUE(EditEnabled(d));
                  Key(win::VK_RETURN);
                  EXPECT_EQ(Modal(), d);
                  EXPECT_EQ(win::GetDlgItemText(d, 203), "");
                  ClickItem(d, 221);
                  EXPECT_FALSE(EditEnabled(d));
                  Key(win::VK_RETURN);
                }),
            win::IDOK);
  EXPECT_EQ(Answers().Log(), std::vector<std::string>{"Drucken in Datei: Geben Sie einen Dateinamen an."});
  EXPECT_EQ(record.Destination, kToPreview);
  EXPECT_STREQ(record.FileName, "");
}

TEST_F(kxprndest_dlg, ALongPathComesBackWholeAndBrowseChoosesTheFile) {
  TPrintDestination record;
  record.Destination = kToFile;
  const std::string longPath = "C:\\" + std::string(250, 'A') + ".TXT";  // 257 characters
  std::strcpy(record.FileName, longPath.c_str());
  EXPECT_EQ(Run(record, [&](win::HWND) { Key(win::VK_RETURN); }), win::IDOK);
  EXPECT_EQ(std::string(record.FileName), longPath);

  std::strcpy(record.FileName, "C:\\DATEN\\ALT.TXT");
  record.Destination = kToPrinter;
  Answers().OpenFile("C:\\DATEN\\NEU.HTM");
  EXPECT_EQ(Run(record,
                [&](win::HWND d) {
                  ClickItem(d, 200);
                  EXPECT_TRUE(Checked(d, 222));
                  EXPECT_EQ(win::GetFocus(), win::GetDlgItem(d, 203));
                  Key(win::VK_RETURN);
                }),
            win::IDOK);
  EXPECT_EQ(Answers().LastOpenFile().initialDir, "C:\\DATEN\\");
  EXPECT_EQ(Answers().LastOpenFile().filter, "Alle Dateien (*.*)|*.*");
  EXPECT_STREQ(record.FileName, "C:\\DATEN\\NEU.HTM");
  EXPECT_EQ(record.Destination, kToFile);
}

TEST_F(kxprndest_dlg, Dialog11300MatchesItsGolden) {
  TPrintDestination record;
  record.Destination = kToFile;
  record.Format = kDosText;
  std::strcpy(record.FileName, "C:\\LISTEN\\KUNDEN.TXT");
  Run(record, [&](win::HWND d) {
    EXPECT_TRUE(MatchesWindowGolden(d, ZET_TOOLKIT_TESTS_DIR, "print_destination_11300"));
    Key(win::VK_ESCAPE);
  });
}

}  // namespace
