#include "engine/base/common_errors.h"

#include <algorithm>
#include <array>
#include <cstdio>

namespace Common {
namespace {

struct NumberedMessage {
  uint16_t number;
  std::string_view text;
};

// The engine's messages, Windows-1252. Number 100 has none; 1 and 63 share a
// text, and so do 57 and 117, yet they stay separate numbers.
constexpr NumberedMessage kMessages[] = {
    {1, "Tabelle kann nicht ge\xF6" "ffnet werden"},
    {2, "Lesefehler"},
    {3, "Schreibfehler"},
    {4, "Fehler bei Indexerstellung"},
    {5, "Fehler bei Indexl\xF6schung"},
    {6, "Index nicht vorhanden"},
    {7, "Fehler in Selektion"},
    {8, "Import-Fehler"},
    {9, "Fehler in Ausgabeformat"},
    {10, "Fehler beim Schlie\xDF" "en der Tabelle"},
    {11, "Indexschl\xFCssel zu gro\xDF"},
    {12, "Fehler beim \xD6" "ffnen des Index"},
    {13, "Index pa\xDFt nicht zur Tabelle"},
    {14, "Kein Datenfeld"},
    {15, "Illegales Unterverzeichnis"},
    {16, "Illegale Tabellen-Verkn\xFCpfung"},
    {17, "Tabelle ist schon ge\xF6" "ffnet"},
    {18, "Keine Datei im aktuellen Verzeichnis"},
    {19, "Datensatz nicht gefunden"},
    {20, "Modul nicht gefunden"},
    {21, "Fehler in Kopfzeile"},
    {22, "Indexdatei existiert bereits"},
    {23, "Index bereits ge\xF6" "ffnet"},
    {24, "Drucker nicht bereit"},
    {25, "Syntax-Fehler"},
    {26, "Illegaler Dateiname"},
    {27, "Fehler in Fu\xDFzeile"},
    {28, "Indexbeschreibung zerst\xF6rt"},
    {29, "Falsche Programmversion"},
    {30, "Doppelter Eintrag"},
    {31, "Memo-Datei nicht zu \xF6" "ffnen"},
    {32, "Memo hier nicht erlaubt"},
    {33, "Fehler beim Schreiben des Memos"},
    {34, "Illegale Operation"},
    {35, "Tabelle bereits ge\xF6" "ffnet"},
    {36, "Zugriff nicht erlaubt"},
    {37, "Datei nicht gefunden oder Zugriff verweigert"},
    {38, "Falscher Code"},
    {39, "Fehler in Include-Datei"},
    {40, "Kein angekoppelter Datensatz"},
    {41, "Ausdruck nicht vollst\xE4ndig"},
    {42, "Operator pa\xDFt nicht zu Operand"},
    {43, "Real-\xDC" "berlauf"},
    {44, "Typen stimmen nicht \xFC" "berein: %s"},
    {45, "Illegales Zeichen"},
    {46, "Illegale Zahlenkonstante"},
    {47, "Nicht belegt"},
    {48, "Logischer Operand fehlt"},
    {49, "Illegaler Operand"},
    {50, "Unbekannter Bezeichner: %s"},
    {51, "Feldvariable erwartet"},
    {52, "Unbekannter Fehler: %s"},
    {53, "Zu viele Variablen"},
    {54, "'=' fehlt"},
    {55, "Zahl erwartet"},
    {56, "%s erwartet"},
    {57, "Illegale Dateistruktur"},
    {58, "Tabellenname erwartet"},
    {59, "Zu viele Tabellenspalten"},
    {60, "Ausdruck zu komplex"},
    {61, "Nur Zahlenbereiche erlaubt"},
    {62, "Fehler in Bereichsangabe"},
    {63, "Tabelle kann nicht ge\xF6" "ffnet werden"},
    {64, "Keine ADL-Datei"},
    {65, "Datei nicht gefunden bei L(NAME) oder R(NAME)"},
    {66, "Nur 8 Seiten erlaubt"},
    {67, "Zu viele Indexe"},
    {68, "Auswahl ist leer"},
    {69, "Formel nicht spezifiziert"},
    {70, "Bereich nicht festgelegt"},
    {71, "Bezeichner doppelt definiert"},
    {72, "Relations-Tabelle existiert bereits"},
    {73, "Zu viele Relations-Felder"},
    {74, "Nur 15 Stellen erlaubt"},
    {75, "Zeichenkette zu lang"},
    {76, "Nur ein N-Feld erlaubt"},
    {77, "Zu wenig Platzhalter"},
    {78, "Zu viele Platzhalter"},
    {79, "Zu wenig Platz am rechten Rand"},
    {80, "Nur ein ID_Index erlaubt"},
    {81, "Bereichs\xFC" "berlauf"},
    {82, "Illegales Kommando"},
    {83, "Datenfeld nicht gefunden: %s"},
    {84, "Kein ID-Index festgelegt"},
    {85, "Keine Definition"},
    {86, "Illegale Textaufteilung"},
    {87, "Illegaler Zugriff"},
    {88, "Tabelle nicht ge\xF6" "ffnet"},
    {89, "Variable erwartet"},
    {90, "Fehler beim Schreiben des Index"},
    {91, "Fehler beim Lesen des Index"},
    {92, "Ende des Unterreports nicht gefunden"},
    {93, "Kommando in diesem Bereich nicht erlaubt"},
    {94, "Es k\xF6nnen nicht mehr als 62 Tabellen ge\xF6" "ffnet werden"},
    {95, "Index defekt"},
    {96, "<until> erwartet"},
    {97, "<end> erwartet"},
    {98, "Fehlerhafte Indexdefinition"},
    {99, "Speicher reicht nicht aus"},
    {101, "Prozeduren d\xFCrfen nicht verschachtelt werden"},
    {102, "<endproc> fehlt"},
    {103, "Weitere Anwender im Netz"},
    {104, "Netzoperation abgebrochen"},
    {105, "Datensatz wird bereits editiert"},
    {106, "Fehler beim Einloggen"},
    {107, "IPX-nicht aktiv"},
    {108, "Timeout-Fehler"},
    {109, "Unbekannter Fehler im Netz"},
    {110, "Locking-Fehler"},
    {111, "Blob-Datei nicht zu \xF6" "ffnen"},
    {112, "Memo defekt"},
    {113, "Blob defekt"},
    {114, "Operation abgebrochen"},
    {115, "Kein Schreibrecht auf Datei"},
    {116, "Index noch in Gebrauch"},
    {117, "Illegale Dateistruktur"},
    {118, "Fataler Fehler beim Aufruf der externen Prozedur: %s"},
    {119, "Externe Prozedur nicht gefunden: %s"},
    {120, "ODBC konnte nicht initialisiert werden"},
    {121, "Die ODBC-Datenquelle kann nicht ge\xF6" "ffnet werden"},
    {122, "Bei der SQL-Abfrage ist ein Fehler aufgetreten"},
    {123, "Ausnahme in Zetra Datenbank"},
    {124, "Veraltete Version der Tabellen-Datei"},
    {125, "Einer Konstanten kann nichts zugewiesen werden"},
    {126, "Links von . muss ein Objekt stehen"},
    {127, "Array hat zuviele Elemente (bis zu 64KB m\xF6glich)"},
    {128, "Die Volltext-Suchbedingung enth\xE4lt einen Fehler"},
    {129, "Die Version der dBase-Datei ist unbekannt."},
};

constexpr std::array<std::string_view, kLastMessage + 1> kMessageTable = [] {
  std::array<std::string_view, kLastMessage + 1> table{};
  for (const NumberedMessage& m : kMessages) table[m.number] = m.text;
  return table;
}();

// Size of the buffer handed to the host's error-text call-back, in characters
// before the terminating zero.
constexpr int32_t kHostTextSize = 255;
// A file name shorter than this is never taken apart as a path.
constexpr size_t kMinSplitPath = 3;
// Longest extension kept when a path is shown as "BASE.EXT DIR".
constexpr size_t kMaxShownExtension = 10;

int32_t g_lastError = 0;
ShortStr g_lastErrorText;
ShortStr g_errorArgument(" ");
GetUserErrMsgProc g_getUserErrMsg = &DefaultGetUserErrMsg;

// Message n with its "%s" replaced by argument; empty when n has no message.
ShortStr FormatMessage(uint16_t n, std::string_view argument) {
  ShortStr text;
  std::string_view message = MessageText(n);
  size_t hole = message.find("%s");
  if (hole == std::string_view::npos) {
    text = message;
  } else {
    text = message.substr(0, hole);
    text += argument;
    text += message.substr(hole + 2);
  }
  return text;
}

void StoreText(const ShortStr& text) {
  g_lastErrorText = text;
  g_lastErrorText.truncate(kMaxErrorText);
}

// The text of host error n, asked from the host's call-back.
void StoreHostText(uint16_t n) {
  char buffer[kHostTextSize + 1] = {};
  g_getUserErrMsg(-int32_t(n), buffer, kHostTextSize);
  buffer[kHostTextSize] = '\0';  // a call-back that does not terminate is cut here
  StoreText(ShortStr(std::string_view(buffer)));
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A name that begins with a drive ("X:\") or at the root ("/") is shown as
// "BASE.EXT DIR" so that the cut to 80 characters keeps the file's own name.
bool IsFullPath(std::string_view name) {
  if (name.size() < kMinSplitPath) return false;
  return (name[1] == ':' && IsSeparator(name[2])) || IsSeparator(name[0]);
}

ShortStr ShownFileName(std::string_view name) {
  if (!IsFullPath(name)) return ShortStr(name);
  size_t cut = name.find_last_of("\\/:") + 1;
  std::string_view directory = name.substr(0, cut);
  std::string_view rest = name.substr(cut);
  size_t dot = std::min(rest.find('.'), rest.size());
  ShortStr shown(rest.substr(0, dot));
  shown += rest.substr(dot, kMaxShownExtension);
  shown += ' ';
  shown += directory;
  return shown;
}

}  // namespace

int32_t DefaultGetUserErrMsg(int32_t code, char* buffer, int32_t size) {
  if (buffer && size >= 0)
    std::snprintf(buffer, size_t(size) + 1, "Error %d (GetUserErrMsg callback not available).", int(code));
  return 0;
}

void SetGetUserErrMsg(GetUserErrMsgProc proc) { g_getUserErrMsg = proc ? proc : &DefaultGetUserErrMsg; }
GetUserErrMsgProc GetUserErrMsg() { return g_getUserErrMsg; }

std::string_view MessageText(uint16_t n) { return n <= kLastMessage ? kMessageTable[n] : std::string_view(); }

int32_t LastError() { return g_lastError; }
void ResetLastError() { g_lastError = 0; }
const ShortStr& LastErrorText() { return g_lastErrorText; }

const ShortStr& ErrorArgument() { return g_errorArgument; }
void SetErrorArgument(std::string_view argument) { g_errorArgument.assign(argument, kMaxErrorArgument); }

void SetLastErrorText(std::string_view text) { StoreText(ShortStr(text)); }

void SetError(uint16_t n, std::string_view argument) {
  g_lastError = -int32_t(n);
  if (!MessageText(n).empty())
    StoreText(FormatMessage(n, argument));
  else if (n >= kFirstHostError)
    StoreHostText(n);
}

void SetFileError(uint16_t n, std::string_view fileName) {
  g_lastError = -int32_t(n);
  if (!MessageText(n).empty()) {
    ShortStr text = FormatMessage(n, g_errorArgument);
    if (!fileName.empty()) {
      text += ": ";
      text += ShownFileName(fileName);
    }
    StoreText(text);
  } else if (n >= kFirstHostError) {
    StoreHostText(n);
  }
}

void ErrorIf(int32_t condition, uint16_t n, std::string_view fileName) {
  if (condition != 0) SetFileError(n, fileName);
}

void OutOfMemoryError() { SetFileError(kErrOutOfMemory, {}); }
void ReadError() { SetFileError(kErrRead, {}); }
void WriteError() { SetFileError(kErrWrite, {}); }

int32_t ReadLastError(ShortStr& text) {
  int32_t error = g_lastError;
  text = g_lastErrorText;
  g_lastError = 0;
  g_lastErrorText.clear();
  return error;
}

void InitErrors() {
  g_lastError = 0;
  g_lastErrorText.clear();
  g_errorArgument = " ";
  g_getUserErrMsg = &DefaultGetUserErrMsg;
}

void DoneErrors() { g_getUserErrMsg = &DefaultGetUserErrMsg; }

}  // namespace Common
