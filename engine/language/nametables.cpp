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
    {200, 1, 1, 1, "", 0, ""},  // Day
    {200, 2, 1, 1, "", 0, ""},  // Month
    {200, 3, 1, 1, "", 0, ""},  // Year
    {200, 4, 1, 1, "", 0, ""},  // TimeStr
    {200, 5, 1, 1, "", 0, ""},  // DateStr
    {200, 6, 1, 1, "", 0, ""},  // DayOfWeek
    {200, 7, 1, 1, "", 0, ""},  // Week
    {201, 1, 1, 1, "", 0, ""},  // Soundex
    {201, 3, 1, 1, "", 0, ""},  // Upper
    {201, 4, 3, 1, "", 0, ""},  // DelFile
    {201, 5, 1, 1, "", 0, ""},  // Length
    {201, 6, 1, 1, "", 0, ""},  // Swap
    {201, 7, 1, 1, "", 0, ""},  // LTrim
    {201, 8, 1, 1, "", 0, ""},  // RTrim
    {201, 9, 1, 1, "", 0, ""},  // Asc
    {201, 11, 1, 1, "", 0, ""},  // GetEnv
    {201, 15, 1, 1, "", 0, ""},  // IsFile
    {201, 17, 3, 1, "", 0, ""},  // MakeDir
    {201, 18, 3, 1, "", 0, ""},  // ChDir
    {201, 19, 3, 1, "", 0, ""},  // RemDir
    {201, 21, 3, 1, "", 0, ""},  // SetPara
    {201, 22, 1, 1, "", 0, ""},  // Val
    {201, 23, 1, 1, "", 0, ""},  // ValStr
    {201, 24, 3, 1, "", 0, ""},  // Compile
    {201, 25, 1, 1, "", 0, ""},  // GetPara
    {201, 26, 1, 1, "", 0, ""},  // OemToAnsi
    {201, 27, 1, 1, "", 0, ""},  // AnsiToOem
    {201, 30, 1, 1, "", 0, ""},  // TestKeys
    {201, 35, 3, 1, "", 0, ""},  // InitFont
    {201, 37, 3, 1, "", 0, ""},  // TestLn
    {201, 38, 1, 1, "", 0, ""},  // GetSize
    {201, 40, 1, 1, "", 0, ""},  // CgiGetParam
    {201, 41, 3, 1, "", 0, ""},  // CgiWrite
    {201, 42, 3, 1, "", 0, ""},  // CgiWriteLn
    {201, 44, 3, 1, "", 0, ""},  // CgiWriteHtm
    {201, 46, 1, 1, "", 0, ""},  // Lower
    {202, 1, 1, 1, "R R", 1, ""},  // Abs
    {202, 2, 1, 1, "", 0, ""},  // Frac
    {202, 3, 1, 1, "", 0, ""},  // Int
    {202, 4, 1, 1, "", 0, ""},  // Random
    {202, 5, 1, 1, "", 0, ""},  // Sin
    {202, 6, 1, 1, "", 0, ""},  // Cos
    {202, 7, 1, 1, "", 0, ""},  // Log
    {202, 8, 1, 1, "", 0, ""},  // Exp
    {202, 9, 1, 1, "", 0, ""},  // Sqrt
    {202, 10, 1, 1, "", 0, ""},  // Chr
    {202, 11, 1, 1, "", 0, ""},  // DigitStr
    {202, 15, 1, 1, "", 0, ""},  // DiskFree
    {202, 17, 1, 1, "", 0, ""},  // GetDir
    {202, 21, 3, 1, "", 0, ""},  // Pause
    {202, 22, 1, 1, "", 0, ""},  // GetDrive
    {202, 23, 1, 1, "", 0, ""},  // DirtyChk
    {202, 24, 3, 1, "", 0, ""},  // DelMemo
    {202, 25, 1, 1, "", 0, ""},  // ParamStr
    {202, 27, 1, 1, "", 0, ""},  // Arctan
    {203, 2, 3, 1, "", 0, ""},  // FirstRec
    {203, 3, 3, 1, "", 0, ""},  // LastRec
    {203, 4, 3, 1, "", 0, ""},  // NextRec
    {203, 5, 3, 1, "", 0, ""},  // PrevRec
    {203, 6, 3, 4, "", 0, ""},  // FindRec
    {203, 7, 3, 3, "", 0, ""},  // ReadRec
    {203, 8, 3, 3, "", 0, ""},  // WriteRec
    {203, 9, 3, 3, "", 0, ""},  // DelRec
    {203, 10, 1, 1, "", 0, ""},  // FileSize
    {203, 11, 1, 2, "", 0, ""},  // IsMark
    {203, 12, 3, 2, "", 0, ""},  // SetMark
    {203, 13, 3, 2, "", 0, ""},  // DelMark
    {203, 14, 3, 1, "", 0, ""},  // DelMarks
    {203, 15, 1, 2, "", 0, ""},  // NMarks
    {203, 16, 3, 1, "", 0, ""},  // DbName
    {203, 17, 1, 3, "", 0, ""},  // Label
    {203, 18, 3, 1, "", 0, ""},  // TransOn
    {203, 19, 3, 1, "", 0, ""},  // TransOff
    {203, 20, 3, 1, "", 0, ""},  // RollBack
    {203, 21, 1, 1, "", 0, ""},  // PrimFile
    {203, 22, 3, 2, "X T S", 1, ""},  // Access
    {203, 23, 3, 1, "", 0, ""},  // RegenAll
    {203, 25, 1, 2, "", 0, ""},  // RecNo
    {203, 27, 1, 3, "", 0, ""},  // IndName
    {203, 28, 1, 3, "", 0, ""},  // IndDef
    {203, 29, 3, 4, "", 0, ""},  // GenIndex
    {203, 31, 1, 1, "", 0, ""},  // IndNo
    {203, 33, 3, 1, "", 0, ""},  // EditOn
    {203, 34, 3, 1, "", 0, ""},  // EditOff
    {203, 35, 3, 2, "", 0, ""},  // SortMark
    {203, 36, 1, 3, "", 0, ""},  // GetType
    {203, 37, 1, 2, "", 0, ""},  // LabelNo
    {203, 38, 1, 1, "", 0, ""},  // MaxLabel
    {203, 39, 3, 3, "", 0, ""},  // Lock
    {203, 40, 3, 3, "", 0, ""},  // Unlock
    {203, 41, 3, 3, "", 0, ""},  // RegenInd
    {203, 42, 3, 2, "", 0, ""},  // GetField
    {203, 43, 3, 3, "", 0, ""},  // SetField
    {203, 44, 1, 1, "", 0, ""},  // NetUsers
    {203, 45, 3, 2, "", 0, ""},  // SetAuto
    {203, 46, 1, 1, "", 0, ""},  // FileMode
    {203, 47, 3, 1, "", 0, ""},  // ClearDat
    {203, 48, 1, 1, "", 0, ""},  // DbDir
    {203, 49, 3, 2, "", 0, ""},  // PutMarks
    {203, 50, 3, 2, "", 0, ""},  // GetMarks
    {203, 51, 3, 2, "", 0, ""},  // GetRec
    {203, 52, 3, 2, "", 0, ""},  // PutRec
    {203, 53, 3, 2, "", 0, ""},  // AndMarks
    {203, 54, 3, 2, "", 0, ""},  // NotMarks
    {203, 55, 3, 4, "", 0, ""},  // NewTable
    {203, 56, 3, 2, "", 0, ""},  // SetRecord
    {203, 59, 3, 11, "", 0, ""},  // ScanRecs
    {203, 60, 3, 7, "", 0, ""},  // MarkTable
    {203, 61, 3, 2, "", 0, ""},  // ConvBlob
    {203, 62, 3, 3, "", 0, ""},  // SetFilter
    {203, 63, 3, 4, "", 0, ""},  // DatToDbf
    {203, 64, 3, 11, "", 0, ""},  // ScanRec
    {203, 66, 3, 2, "", 0, ""},  // IncField
    {203, 68, 3, 1, "", 0, ""},  // FirstMark
    {203, 69, 3, 2, "", 0, ""},  // NextMark
    {204, 1, 3, 1, "", 0, ""},  // Reset
    {204, 2, 3, 1, "", 0, ""},  // Rewrite
    {204, 3, 3, 2, "", 0, ""},  // Write
    {204, 4, 3, 2, "", 0, ""},  // Writeln
    {204, 5, 3, 2, "", 0, ""},  // Read
    {204, 6, 3, 1, "", 0, ""},  // ReadLn
    {204, 7, 1, 1, "", 0, ""},  // EoT
    {204, 8, 3, 1, "", 0, ""},  // Close
    {204, 9, 3, 1, "", 0, ""},  // TAppend
    {205, 1, 3, 7, "", 0, ""},  // CommMode
    {205, 2, 3, 3, "", 0, "\xD6""ffnet die serialle Schnittstelle."},  // CommOpen
    {205, 3, 3, 1, "", 0, ""},  // CommClose
    {205, 4, 3, 2, "", 0, ""},  // CommRead
    {205, 5, 3, 2, "", 0, ""},  // CommWrite
    {205, 6, 3, 1, "", 0, ""},  // CommIn
    {205, 7, 3, 1, "", 0, "Liert die Anzahl der noch zu sendenen Bytes in der seriellen Schnittstelle."},  // CommOut
    {205, 8, 3, 1, "", 0, ""},  // CommState
    {206, 1, 1, 2, "", 0, ""},  // Pos
    {206, 2, 1, 2, "", 0, ""},  // Scan
    {206, 5, 3, 2, "", 0, ""},  // Rename
    {206, 6, 1, 2, "", 0, ""},  // StrComp
    {206, 8, 3, 2, "", 0, ""},  // FirstDir
    {206, 9, 1, 2, "", 0, ""},  // StrAdd
    {206, 10, 1, 2, "", 0, ""},  // SubPath
    {206, 11, 3, 2, "", 0, ""},  // CopyFile
    {207, 1, 1, 2, "", 0, ""},  // High
    {207, 2, 3, 1, "", 0, ""},  // Note
    {207, 3, 3, 4, "", 0, ""},  // ReadMemo
    {207, 5, 3, 4, "", 0, ""},  // CopyMemo
    {207, 9, 3, 0, "", 0, ""},  // FileNo
    {207, 10, 1, 2, "", 0, ""},  // TestBit
    {207, 14, 1, 0, "", 0, ""},  // MaxFile
    {207, 16, 3, 0, "", 0, ""},  // NextDir
    {207, 17, 3, 2, "", 0, ""},  // StrSort
    {207, 22, 1, 2, "", 0, ""},  // Round
    {207, 23, 3, 0, "", 0, ""},  // Flush
    {207, 25, 1, 0, "", 0, ""},  // UserNo
    {207, 26, 1, 1, "", 0, ""},  // Calc
    {207, 27, 3, 2, "", 0, ""},  // NTimes
    {207, 28, 1, 3, "", 0, ""},  // Exchange
    {207, 29, 3, 2, "", 0, ""},  // GotoXY
    {207, 30, 1, 6, "", 0, ""},  // Str
    {207, 31, 3, 0, "", 0, ""},  // Halt
    {207, 33, 1, 0, "", 0, ""},  // Today
    {207, 34, 1, 0, "", 0, ""},  // Now
    {207, 35, 1, 2, "", 0, ""},  // LeftStr
    {207, 36, 1, 2, "", 0, ""},  // RightStr
    {207, 37, 3, 1, "", 0, ""},  // PlaySound
    {207, 38, 3, 3, "", 0, ""},  // LinkBlob
    {207, 39, 1, 0, "", 0, ""},  // WhereX
    {207, 40, 1, 0, "", 0, ""},  // WhereY
    {207, 41, 3, 2, "", 0, ""},  // FSum
    {207, 46, 1, 2, "", 0, ""},  // InArray
    {207, 47, 3, 4, "", 0, ""},  // MarkRel
    {207, 48, 1, 3, "", 0, ""},  // RelIndex
    {207, 49, 3, 1, "", 0, ""},  // ClrArray
    {207, 50, 1, 0, "", 0, ""},  // NetId
    {207, 51, 3, 2, "", 0, ""},  // ExecProg
    {207, 52, 1, 0, "", 0, ""},  // PrivDir
    {207, 53, 3, 4, "", 0, ""},  // OpenDb
    {207, 54, 3, 1, "", 0, ""},  // CloseDb
    {207, 55, 3, 0, "", 0, ""},  // EndProg
    {207, 56, 1, 0, "", 0, ""},  // NHandles
    {207, 57, 1, 1, "", 0, ""},  // MemoStr
    {207, 59, 1, 6, "", 0, ""},  // Memo2Html
    {207, 61, 3, 0, "", 0, ""},  // Text2Clip
    {207, 62, 3, 0, "", 0, ""},  // Clip2Text
    {207, 63, 1, 1, "", 0, ""},  // MemoLen
    {207, 64, 1, 0, "", 0, ""},  // BaseDir
    {207, 66, 3, 3, "", 0, ""},  // EmbedBlob
    {207, 67, 1, 1, "", 0, ""},  // BlobSize
    {207, 68, 3, 2, "", 0, ""},  // BitAnd
    {207, 70, 3, 2, "", 0, ""},  // BitAndNot
    {207, 71, 3, 2, "", 0, ""},  // BitOr
    {207, 73, 1, 3, "", 0, ""},  // FillStr
    {207, 74, 1, 3, "", 0, ""},  // Subst
    {207, 75, 1, 2, "", 0, ""},  // ToHtml
    {207, 80, 1, 1, "", 0, ""},  // GetLinkedFile
    {207, 81, 3, 2, "", 0, "Erzeugt eine ZET-Tablle aus einer dBase-Datei."},  // DbfToDat
    {209, 1, 3, 1, "", 0, ""},  // Bold
    {209, 2, 3, 1, "", 0, ""},  // Italic
};

static_assert(std::size(kKeywordRows) == kKeywordCount);

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
