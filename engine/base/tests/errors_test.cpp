#include <cstring>
#include <string>

#include "engine/base/common_errors.h"
#include "engine/testsupport/engine_fixture.h"
#include "engine/units.h"

namespace {

const std::string kMsg1 = "Tabelle kann nicht ge\xF6" "ffnet werden";
const std::string kPrevious = "vorher erwartet";  // message 56 filled with "vorher"

std::string DefaultHostText(int code) {
  return "Error " + std::to_string(code) + " (GetUserErrMsg callback not available).";
}

class CommonErrorsTest : public zettest::EngineTest {
 protected:
  // Leaves a known text behind, so tests can see whether a report kept it.
  static void SetPreviousText() {
    Common::SetError(56, "vorher");
    ASSERT_EQ(Common::LastErrorText().view(), kPrevious);
  }
};

TEST_F(CommonErrorsTest, MessageTableHoldsTheTextsByteForByte) {
  struct Case {
    uint16_t n;
    std::string text;
  };
  const Case cases[] = {
      {1, kMsg1},
      {2, "Lesefehler"},
      {10, "Fehler beim Schlie\xDF" "en der Tabelle"},
      {12, "Fehler beim \xD6" "ffnen des Index"},
      {43, "Real-\xDC" "berlauf"},
      {54, "'=' fehlt"},
      {94, "Es k\xF6nnen nicht mehr als 62 Tabellen ge\xF6" "ffnet werden"},
      {99, "Speicher reicht nicht aus"},
      {101, "Prozeduren d\xFCrfen nicht verschachtelt werden"},
      {127, "Array hat zuviele Elemente (bis zu 64KB m\xF6glich)"},
      {129, "Die Version der dBase-Datei ist unbekannt."},
  };
  for (const Case& c : cases) EXPECT_EQ(Common::MessageText(c.n), c.text) << c.n;

  EXPECT_EQ(Common::MessageText(1), Common::MessageText(63));
  EXPECT_EQ(Common::MessageText(57), Common::MessageText(117));
  EXPECT_EQ(Common::MessageText(57), "Illegale Dateistruktur");

  int present = 0;
  std::string withHole;
  for (int n = 0; n <= 65535; ++n) {
    std::string_view text = Common::MessageText(uint16_t(n));
    if (text.empty()) continue;
    ++present;
    EXPECT_TRUE(n >= 1 && n <= 129 && n != 100) << n;
    if (text.find("%s") != std::string_view::npos) withHole += std::to_string(n) + " ";
    // Windows-1252 only: a UTF-8 lead byte before a continuation byte would
    // be a mis-encoded umlaut.
    for (size_t i = 0; i + 1 < text.size(); ++i)
      EXPECT_FALSE(uint8_t(text[i]) == 0xC3 && (uint8_t(text[i + 1]) & 0xC0) == 0x80) << n;
  }
  EXPECT_EQ(present, 128);
  EXPECT_EQ(withHole, "44 50 52 56 83 118 119 ");
}

TEST_F(CommonErrorsTest, SetErrorFormatsOrKeepsTheText) {
  struct Case {
    uint16_t n;
    std::string argument;
    int32_t word;
    std::string text;  // kPrevious: the old text stays
  };
  const Case cases[] = {
      {56, ")", -56, ") erwartet"},
      {44, "STRING->REAL", -44, "Typen stimmen nicht \xFC" "berein: STRING->REAL"},
      {1, "ignored", -1, kMsg1},
      {63, "", -63, kMsg1},
      {50, "%d%n%s", -50, "Unbekannter Bezeichner: %d%n%s"},  // never read as a format
      {1005, "x", -1005, DefaultHostText(-1005)},
      {65535, "x", -65535, DefaultHostText(-65535)},
      {0, "x", 0, kPrevious},
      {100, "x", -100, kPrevious},
      {130, "x", -130, kPrevious},
      {999, "x", -999, kPrevious},
  };
  for (const Case& c : cases) {
    SetPreviousText();
    Common::SetError(c.n, c.argument);
    EXPECT_EQ(Common::LastError(), c.word) << c.n;
    EXPECT_EQ(Common::LastErrorText().view(), c.text) << c.n;
  }
}

TEST_F(CommonErrorsTest, TextsAreCutTo80Characters) {
  std::string longArgument(200, 'x');
  Common::SetError(50, longArgument);
  std::string full = "Unbekannter Bezeichner: " + longArgument;
  EXPECT_EQ(Common::LastErrorText().view(), full.substr(0, 80));

  Common::SetFileError(1, "C:\\" + std::string(120, 'D') + "\\KUNDEN.DAT");
  EXPECT_EQ(Common::LastErrorText().size(), 80u);
  EXPECT_EQ(Common::LastErrorText().view(), (kMsg1 + ": KUNDEN.DAT C:\\" + std::string(80, 'D')).substr(0, 80));
}

TEST_F(CommonErrorsTest, SetFileErrorAddsTheFileName) {
  struct Case {
    std::string fileName;
    std::string added;  // what follows message 1
  };
  const Case cases[] = {
      {"", ""},
      {"KUNDEN.DAT", ": KUNDEN.DAT"},
      {"AB", ": AB"},
      {"C:KUNDEN.DAT", ": C:KUNDEN.DAT"},
      {"DATEN\\KUNDEN.DAT", ": DATEN\\KUNDEN.DAT"},
      {"C:\\DATEN\\KUNDEN.DAT", ": KUNDEN.DAT C:\\DATEN\\"},
      {"C:\\KUNDEN", ": KUNDEN C:\\"},
      {"C:\\DATEN\\ARCHIV.2023.DAT", ": ARCHIV.2023.DAT C:\\DATEN\\"},
      {"C:\\D.IR\\NAME.LANGEENDUNG", ": NAME.LANGEENDU C:\\D.IR\\"},
      {"C:\\", ":  C:\\"},
      // Both separators, and paths from the root of the file system.
      {"C:/DATEN/KUNDEN.DAT", ": KUNDEN.DAT C:/DATEN/"},
      {"/home/zet/KUNDEN.DAT", ": KUNDEN.DAT /home/zet/"},
  };
  for (const Case& c : cases) {
    Common::SetFileError(1, c.fileName);
    EXPECT_EQ(Common::LastError(), -1);
    EXPECT_EQ(Common::LastErrorText().view(), kMsg1 + c.added) << c.fileName;
  }
}

TEST_F(CommonErrorsTest, SetFileErrorTakesTheArgumentAndLeavesHostTextsAlone) {
  // The argument starts as one blank.
  Common::SetFileError(56, "");
  EXPECT_EQ(Common::LastErrorText().view(), "  erwartet");

  Common::SetErrorArgument(")");
  Common::SetFileError(56, "");
  EXPECT_EQ(Common::LastError(), -56);
  EXPECT_EQ(Common::LastErrorText().view(), ") erwartet");

  Common::SetErrorArgument(std::string(60, 'a'));
  EXPECT_EQ(Common::ErrorArgument().view(), std::string(40, 'a'));

  Common::SetFileError(1005, "C:\\DATEN\\KUNDEN.DAT");
  EXPECT_EQ(Common::LastError(), -1005);
  EXPECT_EQ(Common::LastErrorText().view(), DefaultHostText(-1005));

  for (uint16_t n : {0, 100, 500}) {
    SetPreviousText();
    Common::SetFileError(n, "KUNDEN.DAT");
    EXPECT_EQ(Common::LastError(), -int32_t(n));
    EXPECT_EQ(Common::LastErrorText().view(), kPrevious);
  }
}

TEST_F(CommonErrorsTest, ShortcutsReportTheirNumbers) {
  Common::ErrorIf(0, 37, "X.DAT");
  EXPECT_EQ(Common::LastError(), 0);
  EXPECT_TRUE(Common::LastErrorText().empty());

  Common::ErrorIf(5, 37, "X.DAT");
  EXPECT_EQ(Common::LastError(), -37);
  EXPECT_EQ(Common::LastErrorText().view(), "Datei nicht gefunden oder Zugriff verweigert: X.DAT");

  Common::OutOfMemoryError();
  EXPECT_EQ(Common::LastError(), -99);
  EXPECT_EQ(Common::LastErrorText().view(), "Speicher reicht nicht aus");
  Common::ReadError();
  EXPECT_EQ(Common::LastError(), -2);
  EXPECT_EQ(Common::LastErrorText().view(), "Lesefehler");
  Common::WriteError();
  EXPECT_EQ(Common::LastError(), -3);
  EXPECT_EQ(Common::LastErrorText().view(), "Schreibfehler");
}

TEST_F(CommonErrorsTest, ReadingClearsTheErrorOnce) {
  Common::SetFileError(1, "KUNDEN.DAT");
  ShortStr text("stale");
  EXPECT_EQ(Common::ReadLastError(text), -1);
  EXPECT_EQ(text.view(), kMsg1 + ": KUNDEN.DAT");
  EXPECT_EQ(Common::ReadLastError(text), 0);
  EXPECT_TRUE(text.empty());

  // Engine code that handled a failure clears only the word.
  Common::SetError(2, "");
  Common::ResetLastError();
  EXPECT_EQ(Common::LastError(), 0);
  EXPECT_EQ(Common::LastErrorText().view(), "Lesefehler");
}

int32_t g_seenCode;
int32_t g_seenSize;

int32_t LongHostText(int32_t code, char* buffer, int32_t size) {
  g_seenCode = code;
  g_seenSize = size;
  std::string text = "Host " + std::to_string(code) + " " + std::string(150, 'h');
  std::snprintf(buffer, size_t(size) + 1, "%s", text.c_str());
  return 1;
}

int32_t UnterminatedHostText(int32_t, char* buffer, int32_t size) {
  std::memset(buffer, 'u', size_t(size) + 1);  // fills even the terminator's place
  return 0;
}

TEST_F(CommonErrorsTest, HostTextsComeFromTheCallBack) {
  Common::SetGetUserErrMsg(&LongHostText);
  Common::SetError(1234, "ignored");
  EXPECT_EQ(g_seenCode, -1234);
  EXPECT_EQ(g_seenSize, 255);
  EXPECT_EQ(Common::LastError(), -1234);
  EXPECT_EQ(Common::LastErrorText().view(), ("Host -1234 " + std::string(150, 'h')).substr(0, 80));

  Common::SetGetUserErrMsg(&UnterminatedHostText);
  Common::SetFileError(1000, "");
  EXPECT_EQ(Common::LastErrorText().view(), std::string(80, 'u'));

  Common::SetGetUserErrMsg(nullptr);
  EXPECT_EQ(Common::GetUserErrMsg(), &Common::DefaultGetUserErrMsg);
  Common::SetError(1005, "");
  EXPECT_EQ(Common::LastErrorText().view(), DefaultHostText(-1005));
}

TEST_F(CommonErrorsTest, DefaultCallBackWritesAtMostSizeCharacters) {
  char buffer[16];
  std::memset(buffer, '#', sizeof buffer);
  EXPECT_EQ(Common::DefaultGetUserErrMsg(-1005, buffer, 5), 0);
  EXPECT_STREQ(buffer, "Error");
  EXPECT_EQ(buffer[6], '#');

  std::memset(buffer, '#', sizeof buffer);
  Common::DefaultGetUserErrMsg(-1005, buffer, 0);
  EXPECT_EQ(buffer[0], '\0');
  EXPECT_EQ(buffer[1], '#');

  std::memset(buffer, '#', sizeof buffer);
  Common::DefaultGetUserErrMsg(-1005, buffer, -1);
  Common::DefaultGetUserErrMsg(-1005, nullptr, 10);
  EXPECT_EQ(buffer[0], '#');
}

TEST_F(CommonErrorsTest, EngineStartResetsTheErrorState) {
  Common::SetGetUserErrMsg(&LongHostText);
  Common::SetErrorArgument(")");
  Common::SetError(1, "");
  Units::StopEngine();
  Units::StartEngine();
  EXPECT_EQ(Common::LastError(), 0);
  EXPECT_TRUE(Common::LastErrorText().empty());
  EXPECT_EQ(Common::ErrorArgument().view(), " ");
  EXPECT_EQ(Common::GetUserErrMsg(), &Common::DefaultGetUserErrMsg);
}

}  // namespace
