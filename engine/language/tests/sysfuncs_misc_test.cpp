// The system functions of text files (group 204), serial ports (205) and
// the miscellaneous group (207), reached from Lumo source with the apply
// flag on and off; memos, blobs and program runs over a table on disk;
// table slots; and every named function of these groups reaches its
// handler, with the catalogue's count of 211 names.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/lowfiles.h"
#include "engine/base/ramfiles.h"
#include "engine/language/nametables.h"
#include "engine/language/pageformat.h"
#include "engine/language/sysfuncs.h"
#include "engine/language/sysservices.h"
#include "engine/language/tests/lumo_test.h"
#include "engine/language/variables.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/language/printcalls.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "platform/process.h"

namespace {

namespace fs = std::filesystem;
using lumo_test::LumoTest;

// What a call gives: its run error, then a number or (text not null) a text.
struct Result {
  int error;
  double number;
  const char* text;
};
struct Case {
  std::string source;
  Result on;   // apply flag on
  Result off;  // apply flag off
};

class MiscFunctions : public LumoTest {
 protected:
  void SetUp() override {
    LumoTest::SetUp();
    Declare("a: REAL[9]");     // 2
    Declare("b: TBITS[63]");   // 3
    Declare("c: TBITS[63]");   // 4
    Declare("s: STRING[3]");   // 5
    Declare("r: REAL");        // 6
    Declare("t: STRING");      // 7
    SetArray({2, 5});
    *ZetVars::GetArrayStrings(5) = {"pflaume", "", "Apfel", "birne"};
    ZetVars::GetArrayData(3)->at(0) = 0x0F;
    ZetVars::GetArrayData(4)->at(0) = 0x3C;
    home_ = fs::current_path();
    fs::current_path(TempDir());
  }
  void TearDown() override {
    fs::current_path(home_);
    LumoTest::TearDown();
  }
  fs::path home_;
  static void SetArray(const std::vector<double>& values) {
    std::vector<uint8_t>& data = *ZetVars::GetArrayData(2);
    std::fill(data.begin(), data.end(), 0);
    std::memcpy(data.data(), values.data(), std::min(data.size(), values.size() * sizeof(double)));
  }
  static std::string RamText() {
    ShortStr line;
    RamFiles::TextBufReset();
    RamFiles::TextBufRead(line, 255);
    return line.str();
  }
  static void SetRamText(const std::string& text) {
    RamFiles::TextBufRewrite();
    RamFiles::TextBufWrite(text);
    RamFiles::TextBufClose();
  }

  void Check(const std::string& source, const Result& want, bool apply) {
    const Outcome o = Eval(source, apply);
    EXPECT_EQ(o.error, want.error) << source << " apply " << apply;
    if (want.error > 0) return;
    if (want.text) {
      EXPECT_EQ(o.value.type, Zet02::kValString) << source << " apply " << apply;
      EXPECT_EQ(o.value.text.str(), want.text) << source << " apply " << apply;
    } else {
      EXPECT_EQ(o.value.type, Zet02::kValReal) << source << " apply " << apply;
      EXPECT_NEAR(o.value.number, want.number, 1e-9) << source << " apply " << apply;
    }
  }
  // Each case runs with the flag off first (which must change nothing the
  // case with the flag on then sees), then on.
  void CheckAll(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
      Check(c.source, c.off, false);
      Check(c.source, c.on, true);
    }
  }
};

constexpr Result R(double n) { return {0, n, nullptr}; }
constexpr Result S(const char* t) { return {0, 0, t}; }
constexpr Result E(int e) { return {e, 0, nullptr}; }

// ---- Group 207: texts, numbers, arrays, notes, pages ------------------------------

TEST_F(MiscFunctions, TextsAndNumbers) {
  CheckAll({
      {"TestBit(5, 2)", R(1), R(1)},
      {"TestBit(5, 1)", R(0), R(0)},
      {"TestBit(5, 40)", R(0), R(0)},
      {"Round(2.675, 2)", R(2.68), R(2.68)},
      {"Round(-2.675, 2)", R(-2.68), R(-2.68)},
      {"Round(1.25)", R(1.3), R(1.3)},
      {"Round(2.5, 0)", R(3), R(3)},
      {"Round(3.14159, -1)", R(3.14159), R(3.14159)},
      {"Calc(1 + 2)", R(3), R(3)},
      {"Wert('a' + 'b')", S("ab"), S("ab")},
      {"NTimes('ab', 3)", S("ababab"), S("ababab")},
      {"XMal('a', 0)", S(""), S("")},
      {"Exchange('a-b-c', '-', '+-')", S("a+-b+-c"), S("a+-b+-c")},
      {"Exchange('abc', '', 'x')", S("abc"), S("abc")},
      {"LeftStr('Hallo', 2)", S("Ha"), S("Ha")},
      {"Links('ab', 5)", S("ab"), S("ab")},
      {"RightStr('Hallo', 3)", S("llo"), S("llo")},
      {"Rechts('ab', -1)", S(""), S("")},
      {"FillStr('ab', '.', 5)", S("ab..."), S("ab...")},
      {"FillStr('abcdef', '.-', 3)", S("abc"), S("abc")},
      {"FillStr('ab')", S("ab"), S("ab")},
      {"ToHtml('a<b')", S("a&lt;b"), S("a&lt;b")},
      {"ToHtml('a<b', '<')", S("a<b"), S("a<b")},
      {"Str(2.5, 6, 2)", S("  2,50"), S("  2,50")},
      {"Str(7)", S("7"), S("7")},
      {"Str(-1234.5, 10, 1, '.', '*', ',')", S("**-1.234,5"), S("**-1.234,5")},
      {"UserNo", R(0), R(0)},
      {"NetId", S(""), S("")},
      {"Message", R(0), R(0)},
      {"EndProg", R(0), R(0)},
      {"NHandles", R(4), R(4)},  // the open tables; it runs no query
      {"FileNo", R(1), R(1)},
      {"FileNr()", R(1), R(1)},
      {"MaxFile", R(4), R(4)},
      {"Round('x')", E(44), E(44)},
      {"NTimes(2, 2)", E(44), E(44)},
  });
  // Argument errors: 44 with the found and wanted type, 56 with the
  // character that was expected (code the compiler would not write).
  EXPECT_EQ(Eval("Round('x')").error, 44);
  EXPECT_EQ(Common::ErrorArgument().str(), "STRING->REAL");
  EXPECT_EQ(Eval("NTimes(2, 2)").error, 44);
  EXPECT_EQ(Common::ErrorArgument().str(), "REAL->STRING");
  const std::pair<std::string, const char*> broken[] = {
      {{char(207), 35, '(', 65, 1, 'a', 67, 2, ')'}, ","},
      {{char(207), 10, '(', 67, 1, ',', 67, 2, 93}, ")"},
      {{char(207), 1, 67, 1, ',', char(251), 2, 0, 1, ')'}, "("},
      {{char(204), 3, '(', 67, 1, ')'}, ","},
      {{char(205), 5, '(', 67, 1, ',', 65, 1, 'x', 67}, ")"},
  };
  for (const auto& [code, expected] : broken) {
    for (bool apply : {false, true}) {
      EXPECT_EQ(Run(code, 3, apply).error, 56) << expected;
      EXPECT_EQ(Common::ErrorArgument().str(), expected);
    }
  }
  // The unnamed 24 is the largest whole number.
  EXPECT_EQ(Run(std::string{char(207), char(24)}, 3, true).value.number, 2147483647);
}

TEST_F(MiscFunctions, TodayNowAndDirectories) {
  const double today = DATUM::PackedToDayNumber(DATUM::TodayPacked());
  CheckAll({
      {"Today - " + std::to_string(int(today)), R(0), R(0)},
  });
  const double now = Eval("Now").value.number;
  EXPECT_NEAR(now, std::floor(DATUM::NowMinutes()), 1);
  const std::string here = platform::CurrentDirectory();
  CheckAll({{"BaseDir", S(here.c_str()), S(here.c_str())}, {"PrivDir", S(here.c_str()), S(here.c_str())}});
  SysServices::TServiceHooks hooks{};
  hooks.baseDir = [] { return ShortStr("/projekt"); };
  hooks.privDir = [] { return ShortStr("/privat"); };
  SysServices::SetServiceHooks(hooks);
  CheckAll({{"BaseDir", S("/projekt"), S("/projekt")}, {"PrivDir", S("/privat"), S("/privat")}});
  SysServices::SetServiceHooks({});
}

// Str of a choice field named by itself (a field, or a field path, and
// nothing more) gives the choice text; any computed value is a number.
TEST_F(MiscFunctions, StrOfAChoiceFieldGivesItsChoiceText) {
  ZetTable::TZetTable& kunden = *ZetTable::Table(lumo_test::kKunden);
  uint8_t& farbe = kunden.recordBuffer[kunden.FieldOffset(lumo_test::kFarbe)];
  farbe = 3;
  CheckAll({
      {"Str(FARBE)", S("Blau"), S("Blau")},
      {"Str(KUNDEN.FARBE, 9, 2)", S("Blau"), S("Blau")},
      {"Str(FARBE + 0)", S("3"), S("3")},
      {"Str(FARBE * 1, 4)", S("   3"), S("   3")},
      {"Str((FARBE))", S("3"), S("3")},
      {"Str(1 + FARBE)", S("4"), S("4")},
      {"Str(ALTER)", S("0"), S("0")},
      {"Str(FARBE) + Str(FARBE - 1)", S("Blau2"), S("Blau2")},
  });
  farbe = 0;  // no choice made
  CheckAll({{"Str(FARBE)", S(""), S("")}});
  farbe = 9;  // beyond the list
  CheckAll({{"Str(FARBE)", S(""), S("")}});
}

TEST_F(MiscFunctions, ArraysAndBitArrays) {
  CheckAll({
      {"High(1, a)", R(9), R(9)},
      {"High(1, 2)", E(51), E(51)},
      {"InArray(5, a)", R(1), R(1)},
      {"InArray(7, a)", R(0), R(0)},
      {"InArray(0, a)", R(1), R(1)},  // compared before the end mark
      {"BitAnd(b, c)", R(2), R(0)},
      {"BitAndNot(b, c)", R(0), R(0)},
      {"BitOr(b, c)", R(4), R(0)},
      {"BitOr(b, a)", R(-52), R(-52)},
  });
  EXPECT_EQ(ZetVars::GetArrayData(3)->at(0), 0x3C);
  CheckAll({{"StrSort(s, 3)", R(0), R(0)}, {"StrSort(r, 3)", E(44), E(44)}});
  EXPECT_EQ(*ZetVars::GetArrayStrings(5), (std::vector<std::string>{"", "Apfel", "birne", "pflaume"}));
  CheckAll({{"ClrArray(a)", R(0), R(0)}});
  EXPECT_EQ(Eval("InArray(5, a)").value.number, 0);
  // 76, 77 and 78 set, clear and keep one bit of one bit array.
  const auto bit = [&](uint8_t code, double n) {
    std::string call{char(207), char(code), '(', char(255)};
    call += std::string{char(3), char(0), ',', char(67), char(uint8_t(n)), ')'};
    return Run(call, 3, true).value.number;
  };
  EXPECT_EQ(bit(76, 9), 5);
  EXPECT_EQ(bit(77, 2), 4);
  EXPECT_EQ(bit(78, 1), 4);
  EXPECT_EQ(ZetVars::GetArrayData(3)->at(1), 0x02);
}

TEST_F(MiscFunctions, NotesKeepTheirTextAndTheLock) {
  CheckAll({{"Note('a')", S("a"), S("a")}});
  EXPECT_EQ(Eval("Note").value.text.str(), "a");
  SysFuncs::SetNoteLock(true);
  EXPECT_EQ(Eval("Note('b')").value.text.str(), "b");
  EXPECT_EQ(Eval("Note").value.text.str(), "a");
  SysFuncs::SetNoteLock(false);
  // 72 is a second note beside the first.
  const std::string second{char(207), char(72), '(', char(65), char(1), 'z', ')'};
  EXPECT_EQ(Run(second, 3, true).value.text.str(), "z");
  EXPECT_EQ(Run(std::string{char(207), char(72)}, 3, true).value.text.str(), "z");
  EXPECT_EQ(Eval("Note").value.text.str(), "a");
}

TEST_F(MiscFunctions, PagePositionClipboardAndTextBuffer) {
  CheckAll({{"GotoXY(3, 4)", R(0), R(0)}});
  EXPECT_EQ(Eval("WhereX").value.number, PageFormat::CurrentColumn());
  EXPECT_EQ(Eval("WhereY").value.number, PageFormat::CurrentLine());
  SetRamText("Hallo NAME!");
  CheckAll({{"Subst('NAME', 'Welt')", R(1), R(0)}});
  EXPECT_EQ(RamText(), "Hallo Welt!");
  CheckAll({{"Subst('Welt', 'a<b', 1)", R(1), R(0)}});
  EXPECT_EQ(RamText(), "Hallo a&lt;b!");
  SetField(lumo_test::kName, "Meier");
  CheckAll({{"Subst('a&lt;b', 1, 2)", R(1), R(0)}, {"Subst('x', 9, 2)", R(-2), R(0)},
            {"Subst('x', 1, 99)", R(-3), R(0)}});
  EXPECT_EQ(RamText(), "Hallo Meier!");
  CheckAll({{"Text2Clip", R(0), R(0)}});
  SetRamText("anders");
  CheckAll({{"Clip2Text", R(0), R(0)}});
  EXPECT_EQ(RamText(), "Hallo Meier!");
  CheckAll({{"Flush", R(0), R(0)}, {"NextDir", S(""), S("")}});
  // Halt ends the running code with the quiet stop.
  EXPECT_EQ(Eval("Halt", true).error, Zet02::kSoftStop);
  EXPECT_EQ(Eval("Halt", false).error, 0);
}

TEST_F(MiscFunctions, FieldSumsAndRelations) {
  SetField(lumo_test::kAlter, "40");
  SetField(lumo_test::kFarbe, "2");
  CheckAll({
      {"FSum(KUNDEN.ALTER, 1)", R(40), R(0)},
      {"FSum(KUNDEN.NR, 4)", R(40), R(0)},  // texts count 0
      {"FSum(KUNDEN.ALTER, 0)", R(0), R(0)},
      {"FSum(3, 1)", E(44), E(44)},
      // Only a relation table serves (the relation suite runs them on one).
      {"MarkRel(1, 2, 0, 0)", E(58), R(0)},
      {"MarkRel(1, 9)", E(58), R(0)},
      {"RelIndex(1, 1)", R(0), R(0)},
  });
}

// ---- Group 204: text files ----------------------------------------------------------

TEST_F(MiscFunctions, TextFilesInATemporaryFolder) {
  const std::string file = TempPath("T.TXT");
  CheckAll({{"Rewrite('" + file + "')", R(1), R(0)}});
  CheckAll({{"Write(1, 'ab')", S("ab"), S("")}, {"Writeln(1, 'c')", S("c"), S("")},
            {"Close(1)", R(0), R(0)}});
  std::ifstream in(file, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), "abc\r\n");
  CheckAll({{"TAppend('" + file + "')", R(1), R(0)}});
  EXPECT_EQ(Eval("Writeln(1, 'zwei') + Close(1)").error, 44);  // text plus number
  Eval("Writeln(1, 'zwei')");
  Eval("Close(1)");
  CheckAll({{"Reset('" + file + "')", R(1), R(0)}});
  CheckAll({{"Read(1, 2)", S("ab"), S("")}, {"ReadLn(1)", S("c"), S("")}, {"EoT(1)", R(0), R(0)}});
  EXPECT_EQ(Eval("ReadLn(1)").value.text.str(), "zwei");
  CheckAll({{"EoT(1)", R(1), R(0)}});
  Eval("Close(1)");
  // A file that cannot be opened is a run error with its name: output never
  // goes to the standard output in its place.
  CheckAll({{"Reset('" + TempPath("FEHLT.TXT") + "')", E(2), R(0)}, {"Rewrite('/')", E(26), R(0)}});
  EXPECT_EQ(Eval("Reset('" + TempPath("FEHLT.TXT") + "')").error, 2);
  EXPECT_EQ(Common::ErrorArgument().str(), TempPath("FEHLT.TXT"));
  CheckAll({{"Write(2, 'x')", E(18), S("")}, {"Close(7)", R(18), R(0)}});
  // A DOS-style name of the same file: drive letter, backslashes, any case.
  std::string dos = "C:" + TempPath("t.txt");
  std::replace(dos.begin(), dos.end(), '/', '\\');
  CheckAll({{"Reset('" + dos + "')", R(1), R(0)}});
  EXPECT_EQ(Eval("ReadLn(1)").value.text.str(), "abc");
  Eval("Close(1)");
  // RAMTEXT is the text buffer.
  CheckAll({{"Rewrite('ramtext')", R(255), R(0)}});
  Eval("Writeln(255, 'im Puffer')");
  EXPECT_EQ(RamText(), "im Puffer\r\n");
}

// ---- Group 205: serial ports ----------------------------------------------------------

TEST_F(MiscFunctions, SerialPortsWithoutADevice) {
  CheckAll({
      {"CommOpen('" + TempPath("kein-port") + "')", R(-1), R(0)},
      {"CommOpen('" + TempPath("kein-port") + "', 512, 512)", R(-1), R(0)},
      {"CommMode(-1, 9600, 8, 0, 1)", R(-1), R(0)},
      {"CommClose(-1)", R(0), R(0)},
      {"CommRead(-1, 1000)", S(""), S("")},
      {"CommWrite(-1, 'x')", R(-1), R(0)},
      {"CommIn(-1)", R(65535), R(0)},
      {"CommOut(-1)", R(65535), R(0)},
      {"CommState(-1)", R(65535), R(0)},
      {"CommWrite(-1)", E(56), E(56)},
  });
}

// ---- Memos, blobs, program runs and table slots over a table on disk --------------

class MiscTableFunctions : public MiscFunctions {
 protected:
  void SetUp() override {
    MiscFunctions::SetUp();
    LOWFILES::SetSyncWrites(false);
    Zet06::CloseTablesFrom(1);
    path_ = editing_test::CreateArticles(TempPath("ARTIKEL.DAT"));
    ASSERT_EQ(editing_test::OpenArticles(path_), 1);
    ZetTable::SetOpenTableSet(1);
    ZetTable::SetVisibleTableSet(1);
    ZetTable::SetCurrentHandle(1);
    T().recordBuffer.assign(T().recordLength, 0);
    editing_test::PutArticle(1, {0, 10, "Apfel", 5});
    ASSERT_EQ(Zet01::AssignAutoNumber(1), 0);
    ASSERT_EQ(Zet01::AppendRecord(1, true, 0), 0);
    T().currentRecord = 1;
    ASSERT_EQ(Zet01::ReadRecord(1, 1), 0);
  }
  static ZetTable::TZetTable& T() { return *ZetTable::Table(1); }
  std::string Write(const std::string& name, const std::string& text) {
    std::ofstream(TempPath(name), std::ios::binary) << text;
    return TempPath(name);
  }
  std::string path_;
};

TEST_F(MiscTableFunctions, MemosFromAndToFiles) {
  const std::string in = Write("IN.TXT", "erste Zeile\r\nzweite Zeile\r\n");
  CheckAll({{"MemoStr(ARTIKEL.NOTIZ)", S(""), S("")},
            {"MemoLen(ARTIKEL.NOTIZ)", R(0), R(0)},
            {"ReadMemo(ARTIKEL.NOTIZ, '" + in + "')", R(0), R(0)}});
  EXPECT_EQ(Eval("MemoStr(ARTIKEL.NOTIZ)").value.text.str(), "erste Zeile\r\nzweite Zeile\r\n");
  EXPECT_EQ(Eval("MemoLen(ARTIKEL.NOTIZ)").value.number, 27);
  // Checking (mode 0) never reads the memo.
  EXPECT_EQ(Run(Compile("MemoStr(ARTIKEL.NOTIZ)"), 0, true).value.text.str(), "");
  EXPECT_EQ(Run(Compile("MemoLen(ARTIKEL.NOTIZ)"), 0, true).value.number, 0);
  // The record on disk names the memo.
  ASSERT_EQ(Zet01::ReadRecord(1, 1), 0);
  EXPECT_EQ(Eval("MemoLen(ARTIKEL.NOTIZ)").value.number, 27);
  // Appending with the first number set.
  const std::string more = Write("MORE.TXT", "dritte");
  EXPECT_EQ(Eval("ReadMemo(ARTIKEL.NOTIZ, '" + more + "', 1)").value.number, 0);
  EXPECT_EQ(Eval("MemoStr(ARTIKEL.NOTIZ)").value.text.str(), "erste Zeile\r\nzweite Zeile\r\ndritte");
  const std::string out = TempPath("OUT.TXT");
  CheckAll({{"CopyMemo(ARTIKEL.NOTIZ, '" + out + "')", R(0), R(0)}});
  std::ifstream file(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "erste Zeile\r\nzweite Zeile\r\ndritte");
  EXPECT_EQ(Eval("ReadMemo(ARTIKEL.NOTIZ, '" + TempPath("FEHLT.TXT") + "')").value.number, 37);
  // Memo functions take only memo fields.
  CheckAll({{"MemoStr(ARTIKEL.NAME)", E(44), E(44)}, {"MemoLen('x')", E(44), E(44)}});
  // 58 cleans the HTML of the memo; Memo2Html goes to the interface's HTML
  // writer, which writes the page.
  const std::string page = TempPath("SEITE.HTM");
  CheckAll({{"Memo2Html(ARTIKEL.NOTIZ, '" + page + "', 'b')", R(0), R(0)}});
  EXPECT_TRUE(fs::exists(page));
  const std::string clean{char(207), char(58), '(', char(185), char(1), char(5), char(0), ')'};
  EXPECT_EQ(Run(clean, 3, true).error, 0);
}

TEST_F(MiscTableFunctions, Memo2HtmlClearsItsTextsOnEveryCall) {
  static std::vector<std::string> seen;
  EngineHooks::MemoToHtml = [](int, uint16_t, const ShortStr* texts) {
    seen.assign({texts[0].str(), texts[1].str(), texts[2].str(), texts[3].str(), texts[4].str()});
    return 0;
  };
  Eval("Memo2Html(ARTIKEL.NOTIZ, 'a', 'b', 'c', 'd', 'e')");
  EXPECT_EQ(seen, (std::vector<std::string>{"a", "b", "c", "d", "e"}));
  Eval("Memo2Html(ARTIKEL.NOTIZ, 'x', 'y')");
  EXPECT_EQ(seen, (std::vector<std::string>{"x", "y", "", "", ""}));
  EngineHooks::UnitInit();
}

TEST_F(MiscTableFunctions, LinkedAndEmbeddedBlobs) {
  const std::string gif = Write("BILD.GIF", "GIF89a....");
  CheckAll({{"GetLinkedFile(ARTIKEL.BILD)", S(""), S("")}});
  const Outcome linked = Eval("LinkBlob(ARTIKEL.BILD, '" + gif + "')");
  EXPECT_GT(linked.value.number, 0);
  CheckAll({{"GetLinkedFile(ARTIKEL.BILD)", S(gif.c_str()), S("")}});
  EXPECT_EQ(Eval("LinkBlob(ARTIKEL.BILD, '" + TempPath("X.ABC") + "')").value.number, 0);
  // Embedding copies the file behind its kind word (the interface's service);
  // blob functions take only blob fields.
  CheckAll({{"EmbedBlob(ARTIKEL.BILD, '" + gif + "')", R(12), R(0)},
            {"BlobSize(ARTIKEL.BILD)", R(12), R(0)},
            {"GetLinkedFile(ARTIKEL.BILD)", S(""), S("")},
            {"BlobSize(ARTIKEL.NOTIZ)", E(44), E(44)}});
  // The sound goes to the host's call-back with a temporary cursor.
  static int played = 0;
  PrintCalls::SetOutputProcs(nullptr, [](int8_t cursor, const char* name) -> int16_t {
    played = cursor;
    return int16_t(std::strlen(name));
  });
  CheckAll({{"PlaySound(ARTIKEL.BILD)", R(4), R(0)}});  // "BILD"
  EXPECT_GT(played, 0);
  PrintCalls::SetOutputProcs(nullptr, nullptr);
  // Without a temporary cursor both are error 99.
  const auto openTemp = EngineHooks::OpenTempCursor;
  EngineHooks::OpenTempCursor = [](int) -> int8_t { return 0; };
  CheckAll({{"BlobSize(ARTIKEL.BILD)", E(99), R(0)}, {"PlaySound(ARTIKEL.BILD)", E(99), R(0)}});
  EngineHooks::OpenTempCursor = openTemp;
}

TEST_F(MiscTableFunctions, ProgramsFromFilesMemosAndArraysHaveNoLineLimit) {
  // 300 lines, each adding one to a field of the current record: a limit of
  // 256 lines would stop at 256. A program text runs with variables of its
  // own, so the count goes into the record.
  auto count = [&] { return Eval("ARTIKEL.MENGE").value.number; };
  std::string program;
  for (int i = 0; i < 300; ++i) program += "ARTIKEL.MENGE := ARTIKEL.MENGE + 1\r\n";
  const std::string file = Write("PROG.TXT", program);
  Eval("ARTIKEL.MENGE := 0");
  CheckAll({{"ExecProg('" + file + "')", R(0), R(0)}});
  EXPECT_EQ(count(), 300);
  Eval("t := '" + file + "'");
  Eval("ARTIKEL.MENGE := 0");
  EXPECT_EQ(Eval("ExecProg(t, 1)").value.number, 0);  // a text variable names the file
  EXPECT_EQ(count(), 300);
  EXPECT_EQ(Eval("ReadMemo(ARTIKEL.NOTIZ, '" + file + "')").value.number, 0);
  CheckAll({{"ExecProg(ARTIKEL.NOTIZ)", R(0), R(0)}});
  EXPECT_EQ(count(), 600);
  *ZetVars::GetArrayStrings(5) = {"ARTIKEL.MENGE := 0", "ARTIKEL.MENGE := ARTIKEL.MENGE + 5", "", ""};
  CheckAll({{"ExecProg(s)", R(0), R(0)}, {"ExecProg(a)", E(44), E(44)}});
  EXPECT_EQ(count(), 5);
  EXPECT_EQ(Eval("ExecProg('" + TempPath("FEHLT.TXT") + "')").value.number, 37);
  // The caller's variables are not the program's: r is unknown there.
  Write("VARS.TXT", "r := 1\r\n");
  EXPECT_NE(Eval("ExecProg('" + TempPath("VARS.TXT") + "')").value.number, 0);
  // A program that runs itself ends at the nesting limit, not in a crash.
  const std::string self = TempPath("SELBST.TXT");
  Write("SELBST.TXT", "ARTIKEL.MENGE := ARTIKEL.MENGE + 1\r\nARTIKEL.CODE := ExecProg('" + self + "')\r\n");
  Eval("ARTIKEL.MENGE := 0");
  EXPECT_EQ(Eval("ExecProg('" + self + "')").error, 0);
  EXPECT_GT(count(), 1);
  EXPECT_LT(count(), 200);
}

TEST_F(MiscTableFunctions, TableSlotsOpenAndClose) {
  fs::create_directory(TempPath("zwei"));
  fs::create_directory(TempPath("drei"));
  const std::string second = editing_test::CreateArticles(TempPath("zwei/ZWEI.DAT"));
  const std::string third = editing_test::CreateArticles(TempPath("drei/DREI.DAT"));
  CheckAll({{"OpenDb('" + second + "')", R(2), R(0)}});
  EXPECT_EQ(Eval("OpenDb('" + third + "')").value.number, 3);
  EXPECT_EQ(Eval("OpenDb('" + TempPath("FEHLT.DAT") + "')").error, 37);
  EXPECT_EQ(ZetTable::OpenCount(), 3);
  // DREI holds three records, two marks and stands on record 2 as the
  // current table; an alias of ARTIKEL follows it.
  for (int code : {20, 21, 22}) {
    ZetTable::Table(3)->recordBuffer.assign(ZetTable::Table(3)->recordLength, 0);
    editing_test::PutArticle(3, {0, code, "Birne", 1});
    ASSERT_EQ(Zet01::AssignAutoNumber(3), 0);
    ASSERT_EQ(Zet01::AppendRecord(3, true, 0), 0);
  }
  EXPECT_EQ(Eval("SetMark(3, 3) + SetMark(3, 1) + FirstRec(3) + NextRec(3)").error, 0);
  ASSERT_EQ(ZetTable::Table(3)->currentRecord, 2u);
  ASSERT_EQ(LINKFILE::OpenAlias("NEBEN", 1), 0);
  ZetTable::SetCurrentHandle(3);
  // Closing 2 moves DREI down to 2 with its marks, position and record, the
  // alias down to 3, still reading through ARTIKEL, and the current table
  // with DREI.
  CheckAll({{"CloseDb(2)", R(0), R(0)}});
  EXPECT_EQ(ZetTable::OpenCount(), 3);
  const ZetTable::TZetTable& drei = *ZetTable::Table(2);
  EXPECT_EQ(drei.fileName.str(), "DREI.DAT");
  EXPECT_EQ(drei.marks.Items(), (std::vector<uint32_t>{3, 1}));
  EXPECT_EQ(drei.currentRecord, 2u);
  EXPECT_EQ(Eval("GetField(2, 2)").value.text.str(), "21");
  EXPECT_EQ(Eval("NextRec(2) + RecNo(2)").value.number, 3 + 3);
  EXPECT_EQ(ZetTable::Table(3)->aliasOf, 1);
  EXPECT_EQ(ZetTable::CurrentHandle(), 2);
  // Closing the table an alias reads through leaves the alias a table of
  // its own on the same file.
  EXPECT_EQ(Eval("CloseDb(1)").error, 0);
  ASSERT_EQ(ZetTable::OpenCount(), 2);
  EXPECT_EQ(ZetTable::Table(2)->aliasOf, 0);
  EXPECT_EQ(ZetTable::Table(2)->fileName.str(), "ARTIKEL.DAT");
  EXPECT_EQ(ZetTable::Table(1)->marks.Count(), 2u);
  CheckAll({{"CloseDb(5)", E(88), R(0)}});
  EXPECT_EQ(Eval("CloseDb(-1)").error, 0);
  EXPECT_EQ(ZetTable::OpenCount(), 0);
  // DbfToDat: a failure is a run error, the result 0.
  CheckAll({{"DbfToDat('" + TempPath("FEHLT.DBF") + "', '" + TempPath("NEU.DAT") + "')", E(2), R(0)}});
}

// ---- The catalogue ---------------------------------------------------------------------

// Every name of groups 204, 205 and 207 compiles to a call that its
// handler takes whole, with the apply flag off (the other groups' suites
// run their names the same way); and the catalogue holds 211 names.
TEST_F(MiscFunctions, EveryNamedFunctionOfTheseGroupsIsReached) {
  const std::map<std::string, std::string> arguments = {
      {"Reset", "('x')"}, {"Rewrite", "('x')"}, {"TAppend", "('x')"}, {"Write", "(1, 'x')"},
      {"Writeln", "(1, 'x')"}, {"Read", "(1, 2)"}, {"ReadLn", "(1)"}, {"EoT", "(1)"}, {"Close", "(1)"},
      {"CommMode", "(1, 2)"}, {"CommOpen", "('x')"}, {"CommClose", "(1)"}, {"CommRead", "(1, 2)"},
      {"CommWrite", "(1, 'x')"}, {"CommIn", "(1)"}, {"CommOut", "(1)"}, {"CommState", "(1)"},
      {"High", "(1, a)"}, {"Note", "('x')"}, {"ReadMemo", "(KUNDEN.BEMERKUNG, 'x')"},
      {"CopyMemo", "(KUNDEN.BEMERKUNG, 'x', 1)"}, {"FileNo", ""}, {"FileNr", ""}, {"TestBit", "(1, 2)"},
      {"MaxFile", ""}, {"NextDir", ""}, {"StrSort", "(s, 2)"}, {"Message", ""}, {"Round", "(1.55)"},
      {"Flush", ""}, {"UserNo", ""}, {"Calc", "(1)"}, {"Wert", "('x')"}, {"NTimes", "('a', 2)"},
      {"XMal", "('a', 2)"}, {"Exchange", "('a', 'b', 'c')"}, {"GotoXY", "(1, 2)"}, {"Str", "(1)"},
      {"Halt", ""}, {"Today", ""}, {"Now", ""}, {"LeftStr", "('a', 1)"}, {"Links", "('a', 1)"},
      {"RightStr", "('a', 1)"}, {"Rechts", "('a', 1)"}, {"PlaySound", "(KUNDEN.BILD)"},
      {"LinkBlob", "(KUNDEN.BILD, 'x')"}, {"WhereX", ""}, {"WhereY", ""}, {"FSum", "(KUNDEN.ALTER, 1)"},
      {"InArray", "(1, a)"}, {"MarkRel", "(1, 3)"}, {"RelIndex", "(3, 1)"}, {"ClrArray", "(a)"},
      {"NetId", ""}, {"ExecProg", "('x')"}, {"PrivDir", ""}, {"OpenDb", "('x')"}, {"CloseDb", "(9)"},
      {"EndProg", ""}, {"NHandles", ""}, {"MemoStr", "(KUNDEN.BEMERKUNG)"},
      {"Memo2Html", "(KUNDEN.BEMERKUNG, 'x')"}, {"Text2Clip", ""}, {"Clip2Text", ""},
      {"MemoLen", "(KUNDEN.BEMERKUNG)"}, {"BaseDir", ""}, {"EmbedBlob", "(KUNDEN.BILD, 'x')"},
      {"BlobSize", "(KUNDEN.BILD)"}, {"BitAnd", "(b, c)"}, {"BitAndNot", "(b, c)"}, {"BitOr", "(b, c)"},
      {"FillStr", "('a')"}, {"Subst", "('a', 'b')"}, {"ToHtml", "('a')"}, {"GetLinkedFile", "(KUNDEN.BILD)"},
      {"DbfToDat", "('a', 'b')"}};
  int named = 0;
  int reached = 0;
  for (int g = 200; g <= 209; ++g) {
    for (int n = 1;; ++n) {
      ShortStr name;
      uint8_t language = 0;
      if (!Zet02::GetKeywordInGroup(uint8_t(g), n, name, language)) break;
      ++named;
      if (g != 204 && g != 205 && g != 207) continue;
      const auto args = arguments.find(name.str());
      if (args == arguments.end()) {
        ADD_FAILURE() << name.str() << " has no case";
        continue;
      }
      const Outcome o = Eval(name.str() + args->second, false);
      EXPECT_EQ(o.error, 0) << name.str() + args->second;
      ++reached;
    }
  }
  EXPECT_EQ(named, 211);
  EXPECT_EQ(reached, int(arguments.size()));
  EXPECT_EQ(reached, 9 + 8 + 60);
}

}  // namespace
