#include "engine/language/nametables.h"

#include <algorithm>
#include <array>
#include <iterator>

#include "engine/base/uppercas.h"

namespace Zet02 {
namespace {

// Generated from the catalogue of system functions; one row per name.
const TKeyword kKeywordRows[] = {
    {"and", 44, 0, 2},
    {"und", 44, 0, 1},
    {"HL", 73, 0, 2},
    {"VL", 74, 0, 2},
    {"EVL", 75, 0, 2},
    {"VX", 76, 0, 2},
    {"C_Form", 88, 0, 2},
    {"L_Form", 89, 0, 2},
    {"R_Form", 90, 0, 2},
    {"Or", 92, 0, 2},
    {"oder", 92, 0, 1},
    {"Not", 126, 0, 2},
    {"Nicht", 126, 0, 1},
    {"von", 127, 0, 1},
    {"Less", 128, 0, 2},
    {"Kleiner", 128, 0, 1},
    {"upto", 129, 0, 2},
    {"bis", 129, 0, 1},
    {"Equal", 130, 0, 2},
    {"ist", 130, 0, 1},
    {"Not_Equal", 131, 0, 2},
    {"ungleich", 131, 0, 1},
    {"From", 132, 0, 2},
    {"Ab", 132, 0, 1},
    {"Greater", 133, 0, 2},
    {"Gr\xF6""\xDF""er", 133, 0, 1},
    {"Has", 134, 0, 2},
    {"Hat", 134, 0, 1},
    {"Enth\xE4""lt", 134, 0, 1},
    {"Like", 135, 0, 2},
    {"wie", 135, 0, 1},
    {"similar", 136, 0, 2},
    {"\xC4""hnlich", 136, 0, 1},
    {"in", 138, 0, 2},
    {"Mod", 153, 0, 2},
    {"Div", 154, 0, 2},
    {"Print", 210, 0, 2},
    {"Alles", 211, 0, 1},
    {"Choice", 213, 0, 2},
    {"XWert", 213, 0, 1},
    {"NLoop", 215, 0, 2},
    {"Sel", 216, 0, 2},
    {"Link", 217, 0, 2},
    {"Exists", 218, 0, 2},
    {"EsGibt", 218, 0, 1},
    {"Sub", 218, 0, 2},
    {"LinkCount", 219, 0, 2},
    {"LinkSum", 225, 0, 2},
    {"Default", 226, 0, 2},
    {"Sum", 240, 0, 2},
    {"Max", 241, 0, 2},
    {"Min", 242, 0, 2},
    {"Count", 243, 0, 2},
    {"Mean", 244, 0, 2},
    {"ZSum", 245, 0, 2},
    {"ZCount", 246, 0, 2},
    {"ExecMacro", 247, 0, 2},
    {"Fields", 248, 0, 2},
    {"Day", 1, 200, 2},
    {"Tag", 1, 200, 1},
    {"Month", 2, 200, 2},
    {"Monat", 2, 200, 1},
    {"Year", 3, 200, 2},
    {"Jahr", 3, 200, 1},
    {"TimeStr", 4, 200, 2},
    {"DateStr", 5, 200, 2},
    {"DayOfWeek", 6, 200, 2},
    {"Week", 7, 200, 2},
    {"Soundex", 1, 201, 2},
    {"Upper", 3, 201, 2},
    {"Gro\xDF""", 3, 201, 1},
    {"DelFile", 4, 201, 2},
    {"Length", 5, 201, 2},
    {"L\xE4""nge", 5, 201, 1},
    {"Swap", 6, 201, 2},
    {"LTrim", 7, 201, 2},
    {"RTrim", 8, 201, 2},
    {"Asc", 9, 201, 2},
    {"GetEnv", 11, 201, 2},
    {"IsFile", 15, 201, 2},
    {"MakeDir", 17, 201, 2},
    {"ChDir", 18, 201, 2},
    {"RemDir", 19, 201, 2},
    {"SetPara", 21, 201, 2},
    {"Val", 22, 201, 2},
    {"ValStr", 23, 201, 2},
    {"Compile", 24, 201, 2},
    {"GetPara", 25, 201, 2},
    {"OemToAnsi", 26, 201, 2},
    {"AnsiToOem", 27, 201, 2},
    {"TestKeys", 30, 201, 2},
    {"InitFont", 35, 201, 2},
    {"TestLn", 37, 201, 2},
    {"GetSize", 38, 201, 2},
    {"CgiGetParam", 40, 201, 2},
    {"CgiWrite", 41, 201, 2},
    {"CgiWriteLn", 42, 201, 2},
    {"CgiWriteHtm", 44, 201, 2},
    {"Lower", 46, 201, 2},
    {"Klein", 46, 201, 1},
    {"Abs", 1, 202, 2},
    {"Frac", 2, 202, 2},
    {"Int", 3, 202, 2},
    {"Random", 4, 202, 2},
    {"Sin", 5, 202, 2},
    {"Cos", 6, 202, 2},
    {"Log", 7, 202, 2},
    {"Exp", 8, 202, 2},
    {"Sqrt", 9, 202, 2},
    {"Chr", 10, 202, 2},
    {"DigitStr", 11, 202, 2},
    {"DiskFree", 15, 202, 2},
    {"GetDir", 17, 202, 2},
    {"Pause", 21, 202, 2},
    {"GetDrive", 22, 202, 2},
    {"DirtyChk", 23, 202, 2},
    {"DelMemo", 24, 202, 2},
    {"ParamStr", 25, 202, 2},
    {"Arctan", 27, 202, 2},
    {"FirstRec", 2, 203, 2},
    {"LastRec", 3, 203, 2},
    {"NextRec", 4, 203, 2},
    {"PrevRec", 5, 203, 2},
    {"FindRec", 6, 203, 2},
    {"ReadRec", 7, 203, 2},
    {"WriteRec", 8, 203, 2},
    {"DelRec", 9, 203, 2},
    {"FileSize", 10, 203, 2},
    {"IsMark", 11, 203, 2},
    {"SetMark", 12, 203, 2},
    {"DelMark", 13, 203, 2},
    {"DelMarks", 14, 203, 2},
    {"NMarks", 15, 203, 2},
    {"DbName", 16, 203, 2},
    {"Label", 17, 203, 2},
    {"TransOn", 18, 203, 2},
    {"TransOff", 19, 203, 2},
    {"RollBack", 20, 203, 2},
    {"PrimFile", 21, 203, 2},
    {"Access", 22, 203, 2},
    {"RegenAll", 23, 203, 2},
    {"RecNo", 25, 203, 2},
    {"RecNr", 25, 203, 1},
    {"IndName", 27, 203, 2},
    {"IndDef", 28, 203, 2},
    {"GenIndex", 29, 203, 2},
    {"IndNo", 31, 203, 2},
    {"IndNr", 31, 203, 1},
    {"EditOn", 33, 203, 2},
    {"EditOff", 34, 203, 2},
    {"SortMark", 35, 203, 2},
    {"GetType", 36, 203, 2},
    {"LabelNo", 37, 203, 2},
    {"LabelNr", 37, 203, 1},
    {"MaxLabel", 38, 203, 2},
    {"Lock", 39, 203, 2},
    {"Unlock", 40, 203, 2},
    {"RegenInd", 41, 203, 2},
    {"GetField", 42, 203, 2},
    {"SetField", 43, 203, 2},
    {"NetUsers", 44, 203, 2},
    {"SetAuto", 45, 203, 2},
    {"FileMode", 46, 203, 2},
    {"ClearDat", 47, 203, 2},
    {"DbDir", 48, 203, 2},
    {"PutMarks", 49, 203, 2},
    {"GetMarks", 50, 203, 2},
    {"GetRec", 51, 203, 2},
    {"PutRec", 52, 203, 2},
    {"AndMarks", 53, 203, 2},
    {"NotMarks", 54, 203, 2},
    {"NewTable", 55, 203, 2},
    {"SetRecord", 56, 203, 2},
    {"ScanRecs", 59, 203, 2},
    {"MarkTable", 60, 203, 2},
    {"ConvBlob", 61, 203, 2},
    {"SetFilter", 62, 203, 2},
    {"DatToDbf", 63, 203, 2},
    {"ScanRec", 64, 203, 2},
    {"IncField", 66, 203, 2},
    {"FirstMark", 68, 203, 2},
    {"NextMark", 69, 203, 2},
    {"Reset", 1, 204, 2},
    {"Rewrite", 2, 204, 2},
    {"Write", 3, 204, 2},
    {"Writeln", 4, 204, 2},
    {"Read", 5, 204, 2},
    {"ReadLn", 6, 204, 2},
    {"EoT", 7, 204, 2},
    {"Close", 8, 204, 2},
    {"TAppend", 9, 204, 2},
    {"CommMode", 1, 205, 2},
    {"CommOpen", 2, 205, 2},
    {"CommClose", 3, 205, 2},
    {"CommRead", 4, 205, 2},
    {"CommWrite", 5, 205, 2},
    {"CommIn", 6, 205, 2},
    {"CommOut", 7, 205, 2},
    {"CommState", 8, 205, 2},
    {"Pos", 1, 206, 2},
    {"Scan", 2, 206, 2},
    {"Rename", 5, 206, 2},
    {"StrComp", 6, 206, 2},
    {"FirstDir", 8, 206, 2},
    {"StrAdd", 9, 206, 2},
    {"SubPath", 10, 206, 2},
    {"CopyFile", 11, 206, 2},
    {"High", 1, 207, 2},
    {"Note", 2, 207, 2},
    {"ReadMemo", 3, 207, 2},
    {"CopyMemo", 5, 207, 2},
    {"FileNo", 9, 207, 2},
    {"FileNr", 9, 207, 1},
    {"TestBit", 10, 207, 2},
    {"MaxFile", 14, 207, 2},
    {"NextDir", 16, 207, 2},
    {"StrSort", 17, 207, 2},
    {"Message", 20, 207, 2},
    {"Round", 22, 207, 2},
    {"Flush", 23, 207, 2},
    {"UserNo", 25, 207, 2},
    {"Calc", 26, 207, 2},
    {"Wert", 26, 207, 1},
    {"NTimes", 27, 207, 2},
    {"XMal", 27, 207, 1},
    {"Exchange", 28, 207, 2},
    {"GotoXY", 29, 207, 2},
    {"Str", 30, 207, 2},
    {"Halt", 31, 207, 2},
    {"Today", 33, 207, 2},
    {"Now", 34, 207, 2},
    {"LeftStr", 35, 207, 2},
    {"Links", 35, 207, 1},
    {"RightStr", 36, 207, 2},
    {"Rechts", 36, 207, 1},
    {"PlaySound", 37, 207, 2},
    {"LinkBlob", 38, 207, 2},
    {"WhereX", 39, 207, 2},
    {"WhereY", 40, 207, 2},
    {"FSum", 41, 207, 2},
    {"InArray", 46, 207, 2},
    {"MarkRel", 47, 207, 2},
    {"RelIndex", 48, 207, 2},
    {"ClrArray", 49, 207, 2},
    {"NetId", 50, 207, 2},
    {"ExecProg", 51, 207, 2},
    {"PrivDir", 52, 207, 2},
    {"OpenDb", 53, 207, 2},
    {"CloseDb", 54, 207, 2},
    {"EndProg", 55, 207, 2},
    {"NHandles", 56, 207, 2},
    {"MemoStr", 57, 207, 2},
    {"Memo2Html", 59, 207, 2},
    {"Text2Clip", 61, 207, 2},
    {"Clip2Text", 62, 207, 2},
    {"MemoLen", 63, 207, 2},
    {"BaseDir", 64, 207, 2},
    {"EmbedBlob", 66, 207, 2},
    {"BlobSize", 67, 207, 2},
    {"BitAnd", 68, 207, 2},
    {"BitAndNot", 70, 207, 2},
    {"BitOr", 71, 207, 2},
    {"FillStr", 73, 207, 2},
    {"Subst", 74, 207, 2},
    {"ToHtml", 75, 207, 2},
    {"GetLinkedFile", 80, 207, 2},
    {"DbfToDat", 81, 207, 2},
    {"Bold", 1, 209, 2},
    {"Italic", 2, 209, 2},
};
const TFunctionDesc kDescriptionRows[] = {
    {0, 44, 2, 0, "", 0, ""},
    {0, 73, 2, 0, "", 0, ""},
    {0, 74, 2, 0, "", 0, ""},
    {0, 75, 2, 0, "", 0, ""},
    {0, 76, 2, 0, "", 0, ""},
    {0, 88, 2, 0, "", 0, ""},
    {0, 89, 2, 0, "", 0, ""},
    {0, 90, 2, 0, "", 0, ""},
    {0, 92, 2, 0, "", 0, ""},
    {0, 126, 2, 0, "", 0, ""},
    {0, 127, 2, 0, "", 0, ""},
    {0, 128, 2, 0, "", 0, ""},
    {0, 129, 2, 0, "", 0, ""},
    {0, 130, 2, 0, "", 0, ""},
    {0, 131, 2, 0, "", 0, ""},
    {0, 132, 2, 0, "", 0, ""},
    {0, 133, 2, 0, "", 0, ""},
    {0, 134, 2, 0, "", 0, ""},
    {0, 135, 2, 0, "", 0, ""},
    {0, 136, 2, 0, "", 0, ""},
    {0, 138, 2, 0, "", 0, ""},
    {0, 153, 2, 0, "", 0, ""},
    {0, 154, 2, 0, "", 0, ""},
    {0, 210, 2, 0, "", 0, ""},
    {0, 211, 2, 0, "", 0, ""},
    {0, 213, 2, 0, "", 0, ""},
    {0, 215, 2, 0, "", 0, ""},
    {0, 216, 2, 0, "", 0, ""},
    {0, 217, 2, 0, "", 0, ""},
    {0, 218, 2, 0, "", 0, ""},
    {0, 219, 2, 0, "", 0, ""},
    {0, 225, 2, 0, "", 0, ""},
    {0, 226, 2, 0, "", 0, ""},
    {0, 240, 2, 0, "", 0, ""},
    {0, 241, 2, 0, "", 0, ""},
    {0, 242, 2, 0, "", 0, ""},
    {0, 243, 2, 0, "", 0, ""},
    {0, 244, 2, 0, "", 0, ""},
    {0, 245, 2, 0, "", 0, ""},
    {0, 246, 2, 0, "", 0, ""},
    {0, 247, 2, 0, "", 0, ""},
    {0, 248, 2, 0, "", 0, ""},
    {200, 1, 1, 1, "", 0, "Liefert den Tag des Monats eines Datums."},  // Day
    {200, 2, 1, 1, "", 0, "Liefert den Monat (1 bis 12) eines Datums."},  // Month
    {200, 3, 1, 1, "", 0, "Liefert das Jahr eines Datums."},  // Year
    {200, 4, 1, 1, "", 0, "Liefert eine Uhrzeit als Text im eingestellten Zeitformat."},  // TimeStr
    {200, 5, 1, 1, "", 0, "Liefert ein Datum als Text im eingestellten Datumsformat."},  // DateStr
    {200, 6, 1, 1, "", 0, "Liefert den Namen des Wochentags eines Datums."},  // DayOfWeek
    {200, 7, 1, 1, "", 0, "Liefert die Kalenderwoche eines Datums."},  // Week
    {201, 1, 1, 1, "", 0, "Liefert den phonetischen Code eines Textes."},  // Soundex
    {201, 3, 1, 1, "", 0, "Wandelt einen Text in Gro\xDF""buchstaben."},  // Upper
    {201, 4, 3, 1, "", 0, "L\xF6""scht eine Datei."},  // DelFile
    {201, 5, 1, 1, "", 0, "Liefert die Anzahl der Zeichen eines Textes."},  // Length
    {201, 6, 1, 1, "", 0, "Vertauscht die Teile eines Textes vor und nach dem Zeichen ^."},  // Swap
    {201, 7, 1, 1, "", 0, "Entfernt f\xFC""hrende Leerzeichen."},  // LTrim
    {201, 8, 1, 1, "", 0, "Entfernt nachfolgende Leerzeichen."},  // RTrim
    {201, 9, 1, 1, "", 0, "Liefert den Zeichencode des ersten Zeichens."},  // Asc
    {201, 11, 1, 1, "", 0, "Liefert den Wert einer Umgebungsvariablen."},  // GetEnv
    {201, 15, 1, 1, "", 0, "Pr\xFC""ft, ob eine Datei existiert."},  // IsFile
    {201, 17, 3, 1, "", 0, "Legt ein Verzeichnis an."},  // MakeDir
    {201, 18, 3, 1, "", 0, "Wechselt das aktuelle Verzeichnis."},  // ChDir
    {201, 19, 3, 1, "", 0, "Entfernt ein Verzeichnis."},  // RemDir
    {201, 21, 3, 1, "", 0, "Setzt einen Parameter des Datenbankjobs."},  // SetPara
    {201, 22, 1, 1, "", 0, "Berechnet den Wert eines Ausdrucks als Zahl."},  // Val
    {201, 23, 1, 1, "", 0, "Berechnet den Wert eines Ausdrucks."},  // ValStr
    {201, 24, 3, 1, "", 0, "\xDC""bersetzt ein Programmodul."},  // Compile
    {201, 25, 1, 1, "", 0, "Liefert die Einstellung eines Punktbefehls des Datenbankjobs."},  // GetPara
    {201, 26, 1, 1, "", 0, "Wandelt einen Text vom OEM- in den ANSI-Zeichensatz."},  // OemToAnsi
    {201, 27, 1, 1, "", 0, "Wandelt einen Text vom ANSI- in den OEM-Zeichensatz."},  // AnsiToOem
    {201, 30, 1, 1, "", 0, "Pr\xFC""ft, ob eine Taste gedr\xFC""ckt wurde."},  // TestKeys
    {201, 35, 3, 1, "", 0, "Setzt die Druckschrift des Datenbankjobs."},  // InitFont
    {201, 37, 3, 1, "", 0, "Entfernt Leerzeichen an beiden Enden und h\xE4""ngt ein Zeilenende an."},  // TestLn
    {201, 38, 1, 1, "", 0, "Liefert die Gr\xF6""\xDF""e einer Datei in Bytes."},  // GetSize
    {201, 40, 1, 1, "", 0, "Liefert den Wert eines CGI-Parameters."},  // CgiGetParam
    {201, 41, 3, 1, "", 0, "Schreibt einen Text in die CGI-Ausgabe."},  // CgiWrite
    {201, 42, 3, 1, "", 0, "Schreibt einen Text und ein Zeilenende in die CGI-Ausgabe."},  // CgiWriteLn
    {201, 44, 3, 1, "", 0, "Schreibt einen Text als HTML in die CGI-Ausgabe."},  // CgiWriteHtm
    {201, 46, 1, 1, "", 0, "Wandelt einen Text in Kleinbuchstaben."},  // Lower
    {202, 1, 1, 1, "R R", 1, "Liefert den Betrag einer Zahl."},  // Abs
    {202, 2, 1, 1, "", 0, "Liefert den Nachkommaanteil einer Zahl."},  // Frac
    {202, 3, 1, 1, "", 0, "Liefert den ganzzahligen Anteil einer Zahl."},  // Int
    {202, 4, 1, 1, "", 0, "Liefert eine Zufallszahl von 0 bis n-1."},  // Random
    {202, 5, 1, 1, "", 0, "Liefert den Sinus."},  // Sin
    {202, 6, 1, 1, "", 0, "Liefert den Kosinus."},  // Cos
    {202, 7, 1, 1, "", 0, "Liefert den nat\xFC""rlichen Logarithmus."},  // Log
    {202, 8, 1, 1, "", 0, "Liefert die Exponentialfunktion."},  // Exp
    {202, 9, 1, 1, "", 0, "Liefert die Quadratwurzel."},  // Sqrt
    {202, 10, 1, 1, "", 0, "Liefert das Zeichen mit dem angegebenen Code."},  // Chr
    {202, 11, 1, 1, "", 0, "Liefert die Ziffern einer Zahl als W\xF6""rter."},  // DigitStr
    {202, 15, 1, 1, "", 0, "Liefert den freien Platz eines Laufwerks."},  // DiskFree
    {202, 17, 1, 1, "", 0, "Liefert das aktuelle Verzeichnis eines Laufwerks."},  // GetDir
    {202, 21, 3, 1, "", 0, "Wartet die angegebene Zeit in Hundertstelsekunden."},  // Pause
    {202, 22, 1, 1, "", 0, "Liefert den Typ eines Laufwerks."},  // GetDrive
    {202, 23, 1, 1, "", 0, "Schaltet die Pr\xFC""fung auf ge\xE4""nderte Tabellen ein oder aus."},  // DirtyChk
    {202, 24, 3, 1, "", 0, "Schaltet das L\xF6""schen von Memos ein oder aus."},  // DelMemo
    {202, 25, 1, 1, "", 0, "Liefert einen Parameter der Kommandozeile."},  // ParamStr
    {202, 27, 1, 1, "", 0, "Liefert den Arkustangens."},  // Arctan
    {203, 2, 3, 1, "", 0, "Liefert den ersten Datensatz der Tabelle."},  // FirstRec
    {203, 3, 3, 1, "", 0, "Liefert den letzten Datensatz der Tabelle."},  // LastRec
    {203, 4, 3, 1, "", 0, "Liefert den n\xE4""chsten Datensatz der Tabelle."},  // NextRec
    {203, 5, 3, 1, "", 0, "Liefert den vorigen Datensatz der Tabelle."},  // PrevRec
    {203, 6, 3, 4, "", 0, "Sucht einen Datensatz \xFC""ber einen Index."},  // FindRec
    {203, 7, 3, 3, "", 0, "Liest einen Datensatz."},  // ReadRec
    {203, 8, 3, 3, "", 0, "Schreibt einen Datensatz."},  // WriteRec
    {203, 9, 3, 3, "", 0, "L\xF6""scht einen Datensatz."},  // DelRec
    {203, 10, 1, 1, "", 0, "Liefert die Anzahl der Datens\xE4""tze."},  // FileSize
    {203, 11, 1, 2, "", 0, "Pr\xFC""ft, ob ein Datensatz markiert ist."},  // IsMark
    {203, 12, 3, 2, "", 0, "Markiert einen Datensatz."},  // SetMark
    {203, 13, 3, 2, "", 0, "Entfernt die Markierung eines Datensatzes."},  // DelMark
    {203, 14, 3, 1, "", 0, "Entfernt alle Markierungen."},  // DelMarks
    {203, 15, 1, 2, "", 0, "Liefert die Anzahl der markierten Datens\xE4""tze."},  // NMarks
    {203, 16, 3, 1, "", 0, "Liefert den Namen der Tabelle."},  // DbName
    {203, 17, 1, 3, "", 0, "Liefert den Namen eines Feldes."},  // Label
    {203, 18, 3, 1, "", 0, "Ohne Wirkung."},  // TransOn
    {203, 19, 3, 1, "", 0, "Ohne Wirkung."},  // TransOff
    {203, 20, 3, 1, "", 0, "Ohne Wirkung."},  // RollBack
    {203, 21, 1, 1, "", 0, "Macht die Tabelle zur Prim\xE4""rtabelle."},  // PrimFile
    {203, 22, 3, 2, "X T S", 1, "Setzt die Sortierung der Tabelle \xFC""ber einen Indexnamen."},  // Access
    {203, 23, 3, 1, "", 0, "Baut alle Indizes der Tabelle neu auf."},  // RegenAll
    {203, 25, 1, 2, "", 0, "Liefert die aktuelle Datensatznummer."},  // RecNo
    {203, 27, 1, 3, "", 0, "Liefert den Namen eines Index."},  // IndName
    {203, 28, 1, 3, "", 0, "Liefert die Schl\xFC""sselbeschreibung eines Index."},  // IndDef
    {203, 29, 3, 4, "", 0, "Erzeugt einen neuen Index."},  // GenIndex
    {203, 31, 1, 1, "", 0, "Liefert die Nummer des aktuellen Index."},  // IndNo
    {203, 33, 3, 1, "", 0, "Schaltet die Bearbeitungssperre der Tabelle ein."},  // EditOn
    {203, 34, 3, 1, "", 0, "Ohne Wirkung."},  // EditOff
    {203, 35, 3, 2, "", 0, "Sortiert die markierten Datens\xE4""tze."},  // SortMark
    {203, 36, 1, 3, "", 0, "Liefert den Typ eines Feldes."},  // GetType
    {203, 37, 1, 2, "", 0, "Liefert die Nummer eines Feldes."},  // LabelNo
    {203, 38, 1, 1, "", 0, "Liefert die Anzahl der Felder."},  // MaxLabel
    {203, 39, 3, 3, "", 0, "Ohne Wirkung."},  // Lock
    {203, 40, 3, 3, "", 0, "Ohne Wirkung."},  // Unlock
    {203, 41, 3, 3, "", 0, "Baut einen Index neu auf."},  // RegenInd
    {203, 42, 3, 2, "", 0, "Liefert den Inhalt eines Feldes als Text."},  // GetField
    {203, 43, 3, 3, "", 0, "Setzt den Inhalt eines Feldes."},  // SetField
    {203, 44, 1, 1, "", 0, "Ohne Wirkung."},  // NetUsers
    {203, 45, 3, 2, "", 0, "Setzt die n\xE4""chste automatische Nummer."},  // SetAuto
    {203, 46, 1, 1, "", 0, "Liefert die fehlenden Rechte der Tabelle."},  // FileMode
    {203, 47, 3, 1, "", 0, "L\xF6""scht alle Datens\xE4""tze der Tabelle."},  // ClearDat
    {203, 48, 1, 1, "", 0, "Liefert das Verzeichnis der Tabelle."},  // DbDir
    {203, 49, 3, 2, "", 0, "Markiert die Datens\xE4""tze einer Liste."},  // PutMarks
    {203, 50, 3, 2, "", 0, "Speichert die Markierungen in einer Variablen."},  // GetMarks
    {203, 51, 3, 2, "", 0, "Kopiert den Datensatz in eine Variable."},  // GetRec
    {203, 52, 3, 2, "", 0, "Kopiert eine Variable in den Datensatz."},  // PutRec
    {203, 53, 3, 2, "", 0, "Beh\xE4""lt nur die Markierungen, die in der Liste stehen."},  // AndMarks
    {203, 54, 3, 2, "", 0, "Kehrt die Markierungen um."},  // NotMarks
    {203, 55, 3, 4, "", 0, "Erzeugt eine neue leere Tabelle mit gleicher Struktur."},  // NewTable
    {203, 56, 3, 2, "", 0, "Kopiert den aktuellen Datensatz in eine andere Tabelle."},  // SetRecord
    {203, 59, 3, 11, "", 0, "Baut den Volltextindex der Tabelle auf."},  // ScanRecs
    {203, 60, 3, 7, "", 0, "Markiert die Datens\xE4""tze, die eine Volltextsuche findet."},  // MarkTable
    {203, 61, 3, 2, "", 0, "\xC4""ndert die Blockgr\xF6""\xDF""e der Blob-Datei."},  // ConvBlob
    {203, 62, 3, 3, "", 0, "Begrenzt die Sortierung auf einen Schl\xFC""sselbereich."},  // SetFilter
    {203, 63, 3, 4, "", 0, "Schreibt die Tabelle in eine dBase-Datei."},  // DatToDbf
    {203, 64, 3, 11, "", 0, "Nimmt den aktuellen Datensatz in den Volltextindex auf."},  // ScanRec
    {203, 66, 3, 2, "", 0, "Erh\xF6""ht ein numerisches Feld."},  // IncField
    {203, 68, 3, 1, "", 0, "Liefert den ersten markierten Datensatz."},  // FirstMark
    {203, 69, 3, 2, "", 0, "Liefert den n\xE4""chsten markierten Datensatz."},  // NextMark
    {204, 1, 3, 1, "", 0, "\xD6""ffnet eine Textdatei zum Lesen."},  // Reset
    {204, 2, 3, 1, "", 0, "\xD6""ffnet eine Textdatei zum Schreiben."},  // Rewrite
    {204, 3, 3, 2, "", 0, "Schreibt einen Text in eine Textdatei."},  // Write
    {204, 4, 3, 2, "", 0, "Schreibt einen Text und ein Zeilenende in eine Textdatei."},  // Writeln
    {204, 5, 3, 2, "", 0, "Liest Zeichen aus einer Textdatei."},  // Read
    {204, 6, 3, 1, "", 0, "Liest eine Zeile aus einer Textdatei."},  // ReadLn
    {204, 7, 1, 1, "", 0, "Pr\xFC""ft das Ende einer Textdatei."},  // EoT
    {204, 8, 3, 1, "", 0, "Schlie\xDF""t eine Textdatei."},  // Close
    {204, 9, 3, 1, "", 0, "\xD6""ffnet eine Textdatei zum Anh\xE4""ngen."},  // TAppend
    {205, 1, 3, 7, "", 0, "Setzt die Parameter der seriellen Schnittstelle."},  // CommMode
    {205, 2, 3, 3, "", 0, "\xD6""ffnet die serialle Schnittstelle."},  // CommOpen
    {205, 3, 3, 1, "", 0, "Schlie\xDF""t die serielle Schnittstelle."},  // CommClose
    {205, 4, 3, 2, "", 0, "Liest von der seriellen Schnittstelle."},  // CommRead
    {205, 5, 3, 2, "", 0, "Schreibt auf die serielle Schnittstelle."},  // CommWrite
    {205, 6, 3, 1, "", 0, "Liefert die Anzahl der empfangenen Bytes der seriellen Schnittstelle."},  // CommIn
    {205, 7, 3, 1, "", 0, "Liert die Anzahl der noch zu sendenen Bytes in der seriellen Schnittstelle."},  // CommOut
    {205, 8, 3, 1, "", 0, "Liefert den Zustand der seriellen Schnittstelle."},  // CommState
    {206, 1, 1, 2, "", 0, "Liefert die Position eines Textes in einem anderen."},  // Pos
    {206, 2, 1, 2, "", 0, "Z\xE4""hlt, wie oft ein Text in einem anderen vorkommt."},  // Scan
    {206, 5, 3, 2, "", 0, "Benennt eine Datei um."},  // Rename
    {206, 6, 1, 2, "", 0, "Liefert die \xC4""hnlichkeit zweier Texte."},  // StrComp
    {206, 8, 3, 2, "", 0, "Sucht die erste Datei zu einer Maske."},  // FirstDir
    {206, 9, 1, 2, "", 0, "Addiert zwei Zahlentexte."},  // StrAdd
    {206, 10, 1, 2, "", 0, "Entfernt einen Pfadanfang."},  // SubPath
    {206, 11, 3, 2, "", 0, "Kopiert eine Datei."},  // CopyFile
    {207, 1, 1, 2, "", 0, "Liefert die obere Grenze einer Dimension eines Arrays."},  // High
    {207, 2, 3, 1, "", 0, "Setzt oder liefert die globale Notiz."},  // Note
    {207, 3, 3, 4, "", 0, "Liest eine Textdatei in ein Memofeld."},  // ReadMemo
    {207, 5, 3, 4, "", 0, "Schreibt ein Memofeld in eine Datei."},  // CopyMemo
    {207, 9, 3, 0, "", 0, "Liefert die Nummer der aktuellen Tabelle."},  // FileNo
    {207, 10, 1, 2, "", 0, "Pr\xFC""ft, ob ein Bit einer Zahl gesetzt ist."},  // TestBit
    {207, 14, 1, 0, "", 0, "Liefert die Anzahl der ge\xF6""ffneten Tabellen."},  // MaxFile
    {207, 16, 3, 0, "", 0, "Liefert die n\xE4""chste Datei der Suche."},  // NextDir
    {207, 17, 3, 2, "", 0, "Sortiert ein Text-Array."},  // StrSort
    {207, 22, 1, 2, "", 0, "Rundet eine Zahl."},  // Round
    {207, 23, 3, 0, "", 0, "Schreibt alle \xC4""nderungen auf die Platte."},  // Flush
    {207, 25, 1, 0, "", 0, "Liefert immer 0."},  // UserNo
    {207, 26, 1, 1, "", 0, "Liefert den Wert seines Arguments."},  // Calc
    {207, 27, 3, 2, "", 0, "Wiederholt einen Text n-mal."},  // NTimes
    {207, 28, 1, 3, "", 0, "Ersetzt Texte in einem Text."},  // Exchange
    {207, 29, 3, 2, "", 0, "Setzt die Ausgabeposition."},  // GotoXY
    {207, 30, 1, 6, "", 0, "Wandelt eine Zahl in einen Text."},  // Str
    {207, 31, 3, 0, "", 0, "Beendet die Prozedur oder den Datenbankjob."},  // Halt
    {207, 33, 1, 0, "", 0, "Liefert das heutige Datum."},  // Today
    {207, 34, 1, 0, "", 0, "Liefert die aktuelle Uhrzeit."},  // Now
    {207, 35, 1, 2, "", 0, "Liefert die ersten n Zeichen eines Textes."},  // LeftStr
    {207, 36, 1, 2, "", 0, "Liefert die letzten n Zeichen eines Textes."},  // RightStr
    {207, 37, 3, 1, "", 0, "Spielt einen Klang aus einem Blobfeld."},  // PlaySound
    {207, 38, 3, 3, "", 0, "Verkn\xFC""pft eine Bild- oder Klangdatei mit einem Blobfeld."},  // LinkBlob
    {207, 39, 1, 0, "", 0, "Liefert die waagerechte Ausgabeposition."},  // WhereX
    {207, 40, 1, 0, "", 0, "Liefert die senkrechte Ausgabeposition."},  // WhereY
    {207, 41, 3, 2, "", 0, "Summiert aufeinanderfolgende Felder."},  // FSum
    {207, 46, 1, 2, "", 0, "Pr\xFC""ft, ob eine Zahl in einem Array steht."},  // InArray
    {207, 47, 3, 4, "", 0, "Markiert die \xFC""ber eine Relation verkn\xFC""pften Datens\xE4""tze."},  // MarkRel
    {207, 48, 1, 3, "", 0, "Baut einen Index einer Relationstabelle neu auf."},  // RelIndex
    {207, 49, 3, 1, "", 0, "Leert ein Array."},  // ClrArray
    {207, 50, 1, 0, "", 0, "Liefert immer einen leeren Text."},  // NetId
    {207, 51, 3, 2, "", 0, "F\xFC""hrt Programmtext aus."},  // ExecProg
    {207, 52, 1, 0, "", 0, "Liefert das private Verzeichnis."},  // PrivDir
    {207, 53, 3, 4, "", 0, "\xD6""ffnet eine Tabelle."},  // OpenDb
    {207, 54, 3, 1, "", 0, "Schlie\xDF""t eine Tabelle."},  // CloseDb
    {207, 55, 3, 0, "", 0, "Ohne Wirkung."},  // EndProg
    {207, 56, 1, 0, "", 0, "Liefert die Anzahl der ge\xF6""ffneten Tabellen."},  // NHandles
    {207, 57, 1, 1, "", 0, "Liefert den Anfang eines Memofeldes."},  // MemoStr
    {207, 59, 1, 6, "", 0, "Wandelt ein Memofeld in HTML."},  // Memo2Html
    {207, 61, 3, 0, "", 0, "Kopiert den Textpuffer in die Zwischenablage."},  // Text2Clip
    {207, 62, 3, 0, "", 0, "Kopiert die Zwischenablage in den Textpuffer."},  // Clip2Text
    {207, 63, 1, 1, "", 0, "Liefert die L\xE4""nge eines Memofeldes."},  // MemoLen
    {207, 64, 1, 0, "", 0, "Liefert das Projektverzeichnis."},  // BaseDir
    {207, 66, 3, 3, "", 0, "Kopiert eine Bild- oder Klangdatei in ein Blobfeld."},  // EmbedBlob
    {207, 67, 1, 1, "", 0, "Liefert die Gr\xF6""\xDF""e eines Blobfeldes."},  // BlobSize
    {207, 68, 3, 2, "", 0, "Verkn\xFC""pft zwei Bit-Arrays mit UND."},  // BitAnd
    {207, 70, 3, 2, "", 0, "Verkn\xFC""pft zwei Bit-Arrays mit UND NICHT."},  // BitAndNot
    {207, 71, 3, 2, "", 0, "Verkn\xFC""pft zwei Bit-Arrays mit ODER."},  // BitOr
    {207, 73, 1, 3, "", 0, "F\xFC""llt einen Text auf eine feste L\xE4""nge auf."},  // FillStr
    {207, 74, 1, 3, "", 0, "Ersetzt Texte im Textpuffer."},  // Subst
    {207, 75, 1, 2, "", 0, "Wandelt einen Text in HTML."},  // ToHtml
    {207, 80, 1, 1, "", 0, "Liefert den Dateinamen eines verkn\xFC""pften Blobfeldes."},  // GetLinkedFile
    {207, 81, 3, 2, "", 0, "Erzeugt eine ZET-Tablle aus einer dBase-Datei."},  // DbfToDat
    {209, 1, 3, 1, "", 0, "Schaltet Fettdruck ein oder aus."},  // Bold
    {209, 2, 3, 1, "", 0, "Schaltet Kursivdruck ein oder aus."},  // Italic
    // Functions without a name in the keyword table: the HTML conversions
    // and the key=value lookup that database jobs compile, and the four
    // mark functions of the table context.
    {201, 31, 1, 1, "", 0, "Entfernt HTML-Tags und wandelt HTML-Zeichen in Text."},
    {201, 36, 1, 1, "", 0, "Wandelt jedes Zeichen eines Textes in seine HTML-Form."},
    {206, 14, 1, 2, "", 0, "Liefert den Wert eines Schl\xFC""ssels aus einer Datei mit Abschnitten."},
    {220, 59, 3, 1, "", 0, "Speichert die Markierungen in einem Array."},  // GETSTARS
    {220, 61, 1, 0, "", 0, "Liefert die Anzahl der Markierungen."},  // STARNUM
    {220, 62, 1, 1, "", 0, "Pr\xFC""ft, ob ein Datensatz markiert ist."},  // ISSTAR
    {220, 68, 3, 1, "", 0, "Markiert die Datens\xE4""tze eines Arrays."},  // PUTSTARS
};

static_assert(std::size(kKeywordRows) == kKeywordCount);
static_assert(std::size(kDescriptionRows) == kFunctionDescCount);

struct TMarkFunction {
  const char* name;
  uint8_t code;
};
const TMarkFunction kMarkFunctions[] = {{"GETSTARS", 59}, {"ISSTAR", 62}, {"PUTSTARS", 68}, {"STARNUM", 61}};

int Compare(std::string_view a, std::string_view b) { return UPPERCAS::CollateCompare(a, b); }

// The rows in collating order, sorted once.
const std::array<TKeyword, kKeywordCount>& Sorted() {
  static const std::array<TKeyword, kKeywordCount> table = [] {
    std::array<TKeyword, kKeywordCount> t{};
    std::copy(std::begin(kKeywordRows), std::end(kKeywordRows), t.begin());
    std::stable_sort(t.begin(), t.end(), [](const TKeyword& a, const TKeyword& b) { return Compare(a.name, b.name) < 0; });
    return t;
  }();
  return table;
}

}  // namespace

const TKeyword& KeywordAt(size_t i) { return Sorted()[i]; }

bool LookupKeyword(std::string_view name, uint8_t& group, uint8_t& code) {
  const auto& t = Sorted();
  size_t lo = 0;
  size_t hi = t.size();
  while (lo < hi) {
    const size_t mid = (lo + hi) / 2;
    const int c = Compare(name, t[mid].name);
    if (c == 0) {
      group = t[mid].group;
      code = t[mid].code;
      return true;
    }
    if (c < 0) hi = mid;
    else lo = mid + 1;
  }
  return false;
}

std::string_view KeywordNameOf(uint8_t group, uint8_t code) {
  for (const TKeyword& k : Sorted())
    if (k.group == group && k.code == code) return k.name;
  return {};
}

int CountKeywordsInGroup(uint8_t group) {
  const auto& t = Sorted();
  return int(std::count_if(t.begin(), t.end(), [&](const TKeyword& k) { return k.group == group; }));
}

bool GetKeywordInGroup(uint8_t group, int n, ShortStr& name, uint8_t& language) {
  for (const TKeyword& k : Sorted()) {
    if (k.group != group || --n != 0) continue;
    name = k.name;
    language = k.language;
    return true;
  }
  return false;
}

bool LookupMarkFunction(std::string_view name, uint8_t& code) {
  for (const TMarkFunction& m : kMarkFunctions) {
    if (Compare(name, m.name) == 0) {
      code = m.code;
      return true;
    }
  }
  return false;
}

int FunctionDescCount() { return int(std::size(kDescriptionRows)); }

int FindFunctionDesc(uint8_t group, uint8_t code) {
  for (int i = 0; i < FunctionDescCount(); ++i)
    if (kDescriptionRows[i].group == group && kDescriptionRows[i].code == code) return i + 1;
  return -1;
}

const TFunctionDesc* FunctionDesc(int index) {
  return index >= 1 && index <= FunctionDescCount() ? &kDescriptionRows[index - 1] : nullptr;
}

ShortStr GetFunctionSignature(int index) {
  const TFunctionDesc* d = FunctionDesc(index);
  return d ? ShortStr(d->signature) : ShortStr();
}

int GetFunctionParamCount(int index) {
  const TFunctionDesc* d = FunctionDesc(index);
  return d ? d->paramCount : 0;
}

int GetFunctionDescFlag(int index) {
  const TFunctionDesc* d = FunctionDesc(index);
  return d ? d->flag : 0;
}

ShortStr GetFunctionHelpText(int index) {
  const TFunctionDesc* d = FunctionDesc(index);
  return d ? ShortStr(d->help) : ShortStr();
}

}  // namespace Zet02
