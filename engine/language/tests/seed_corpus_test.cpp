// Writes the seed corpora of the language's fuzz targets with our own
// compiler and image writer. Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/language/fuzz/corpus> language_tests
//     --gtest_also_run_disabled_tests --gtest_filter='SeedCorpus.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "engine/base/ramfiles.h"
#include "engine/language/compiler.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobimage.h"
#include "engine/language/printcalls.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

class SeedCorpus : public zettest::EngineTest {
 protected:
  static void Write(const std::string& target, const std::string& name, const std::string& bytes) {
    const char* root = std::getenv("ZET_CORPUS_DIR");
    ASSERT_NE(root, nullptr);
    const std::filesystem::path dir = std::filesystem::path(root) / target;
    std::filesystem::create_directories(dir);
    std::ofstream(dir / name, std::ios::binary) << bytes;
  }
  // Compiles each source and writes it behind prefix as name1, name2, ...
  template <size_t N>
  static void WriteCompiled(const std::string& target, const std::string& name, const std::string& prefix,
                            const char* const (&sources)[N]) {
    int n = 0;
    for (const char* source : sources) {
      ShortStr code(source);
      uint64_t set = 0;
      EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << source;
      Write(target, name + std::to_string(++n), prefix + code.str());
    }
  }
  static void Declare(const std::string& text) {
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::ParseVarDeclaration(0, text, pos, err, false);
  }
};

TEST_F(SeedCorpus, DISABLED_Write) {
  const char* sources[] = {
      "Name = 'Meier' und Alter >= 18",
      "a := 2.5 * X + 300 - 12:30",
      "Farbe in [Rot, Blau] oder Farbe = Gr\xFCn",
      "Auftrag.Kunde.Name + Auftraege.Betrag + Kette(Name)",
      "Sum[2](Preis) + Count(Name) + Sel(Alter > 5)S + Exists(Betrag)",
      "Print(Name:10:2F) + Fields(Name, Ort) + Choice(1) + NLoop(3)",
      "{b = Alter + 1} + Upper(Name) + Day(heute) + Default",
      "L 10 R 5 HL VL ^M \"x\" .. Kommentar",
      "?\?(Alter) + 1.1.2000 + Ja + Nein + $Name + ~X",
  };
  int n = 0;
  for (const char* s : sources) Write("compiler_fuzz", "line" + std::to_string(++n), s);

  Declare("r, s: REAL");
  Declare("grid: REAL[2,3]");
  Declare("bits: TBITS[99]");
  Declare("names: STRING[4]");
  ZetVars::TVarValue text;
  text.text = "Hallo";
  ZetVars::DefineInitialisedVariable("gruss", ZetVars::kTypeString, text);
  ZetVars::DefineVariable("\xF0\x00\xB9\x01\x02\x00", true, 1, 0, ZetVars::kTypeReal, nullptr, false);
  const std::string code("\x43\x05", 2);
  const uint16_t g = ZetVars::DefineVariable("G_Neu", false, 0, 0, ZetVars::kTypeExpression, nullptr, false);
  ZetVars::TVarValue v;
  v.text = code;
  ZetVars::SetVariable(g, ZetVars::kTypeExpression, v, 0);
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::DefineProcedure("Proc(VAR a: REAL[3]; s: STRING): STRING", 42, pos, err);
  RamFiles::TRamFile f;
  RamFiles::RamRewrite(f, "");
  ZetVars::SaveVariableImage(f);
  Write("varimage_fuzz", "program", std::string(f.buffer.begin(), f.buffer.begin() + f.position));
}

// Compiled code for the interpreter's target, declared as the target
// declares its variables.
TEST_F(SeedCorpus, DISABLED_WriteCode) {
  lumo_test::InstallFixtureTables();
  Declare("a, X: REAL");
  Declare("m: REAL[3,4]");
  Declare("s: STRING");
  const char* sources[] = {
      "1 + 2 * 3 - 7 Mod 2 + 9 Div 2 / 4",
      "s := 'abc' + Name + 'abcdef'[2,3]",
      "m[1,2] := a + X",
      "Choice(2, a := 1, a := 2, a := 3)",
      "NLoop(a, 3, X := X + a)",
      "Name = 'Meier' und Alter >= 18 oder Ort ? 'K*'",
      "Alter von 1 bis 9 & ~(Name | 'x') & Name in ['M*', 'A']",
      "Sum(Alter) + Max(Preis) + Exists(Betrag > 3)",
      "ASSIGNED(X) + 12:30 + 1.1.2000",
      "FileSize(1) + SetMark(1, 2) + NMarks(1) + RecNo(1) + IsMark(1, 2) + FirstMark(1)",
      "GetMarks(1, m) + PutMarks(1, m) + AndMarks(1, m) + NotMarks(1, m) + GetRec(2, m)",
      "FindRec(1, 'x', 'NAME', 1) + Access(1, 'Markierung') + FirstRec(1) + NextRec(1)",
      "Label(1, 2) + GetField(1, 2) + SetField(1, 2, 'x') + IndName(1, 1) + DbName(1)",
      "Note('a') + LeftStr(s, 2) + Str(a, 5, 2) + NTimes('ab', 3) + Exchange(s, 'a', 'b') + FillStr(s, '.', 9)",
      "Round(2.675, 2) + High(1, m) + InArray(2, m) + TestBit(5, 1) + Calc(a) + MaxFile + FileNo",
      "Rewrite('f.txt') + Close(1) + EoT(1) + TAppend('f.txt') + CommIn(-1) + CommClose(-1)",
      "FSum(Alter, 2) + MemoLen(Bemerkung) + BlobSize(Bild) + MarkRel(1, 3) + RelIndex(3, 1) + ReadMemo(Bemerkung, 'f.txt')",
      "s := Str(Farbe) + Str(Farbe + 1, 3) + MemoStr(Bemerkung)",
      "CloseDb(2) + FileSize(2) + CloseDb(-1) + MaxFile + Halt",
  };
  WriteCompiled("interp_fuzz", "code", "", sources);
}

// A record of the customer table followed by a compiled selection.
TEST_F(SeedCorpus, DISABLED_WriteSelections) {
  lumo_test::InstallFixtureTables();
  ZetTable::TZetTable& t = *ZetTable::Table(lumo_test::kKunden);
  t.recordBuffer.assign(t.recordLength, 0);
  ZetTable::SetFieldText(lumo_test::kKunden, lumo_test::kOrt, t.recordBuffer.data(), "K\xF6ln");
  ZetTable::SetFieldText(lumo_test::kKunden, lumo_test::kName, t.recordBuffer.data(), "a^b");
  ZetTable::SetFieldText(lumo_test::kKunden, lumo_test::kAlter, t.recordBuffer.data(), "-7");
  ZetTable::SetFieldText(lumo_test::kKunden, lumo_test::kPreis, t.recordBuffer.data(), "12.5");
  const std::string record(t.recordBuffer.begin(), t.recordBuffer.end());
  const char* sources[] = {
      "Ort = 'K\xF6ln' & Alter > 30",
      "~(Ort = 'Bonn') \\ Alter von -10 bis 0",
      "(Name = 'b^a' \\ Name ? 'A*') & Preis <= 12.5",
      "Ort | 'ln' & Alter <> 7 & Ort >= 'k'",
      "Ort = 5 \\ Alter = 'x'",
  };
  WriteCompiled("selectwalk_fuzz", "selection", record, sources);
}

// Compiled jobs and a program for the target that runs loaded images,
// compiled over the fixture tables that the target runs them over.
TEST_F(SeedCorpus, DISABLED_WriteJobs) {
  lumo_test::InstallFixtureTables();
  const std::vector<std::pair<bool, std::vector<std::string>>> texts = {
      {false, {".REPORT", ".PROLOG", "Kunden", ".DATA", "$(NAME:10)$(PREIS:8:2)", ".EPILOG", "Summe $(Sum(PREIS))"}},
      {false, {".REPORT", ".PROLOG", ".SORTBY NAME", ".DATA", "$(NAME) $(ORT)"}},
      {false, {".LETTER", ".DATA", "Dear $(NAME),", "?ALTER > 18/adult", ".IF ALTER > 1", "x", ".ELSE", "y", ".END"}},
      {false, {".REPORT", ".PROLOG", "!n = 0", ".WHILE n < 3", "!n = n + 1", ".END", ".GROUP ORT", "== $(ORT)",
               ".GROUPFOOTER", "--", ".DATA", "$(NAME)", ".SUB BETRAG > 1", "$(BETRAG)", ".ENDSUB"}},
      {false, {".REPORT", ".PROLOG", ".PL 72, PW 80, NB 1", ".FONT t1=Arial,10,b", ".SETFONT t1", ".DEF d = 2 * 3",
               ".SELECTION _'ALTER > 1'", ".DATA", "<b>$(NAME)</b>", ".REPEAT", "!d = d - 1", ".UNTIL d < 1"}},
      {true, {"PROCEDURE Twice(a: REAL): REAL", "RETURN a * 2", "ENDPROC", "Twice(3); NLoop(x, 2, Twice(x))"}},
  };
  int n = 0;
  for (const auto& [program, lines] : texts) {
    ZetVars::PushVarScope();
    if (program) Declare("x: REAL");
    PrintCalls::ClearFonts();
    PrintCalls::DefineStandardFonts();
    JobCompile::TJob job;
    EXPECT_EQ(JobCompile::Compile(lines, program, "SEED.JOB", job), 0) << lines[2];
    JobCompile::PutImageSettings(job);
    RamFiles::TRamFile f;
    RamFiles::RamRewrite(f, "");
    ASSERT_EQ(JobImage::WriteImage(f, job.image), 0);
    Write("jobrun_fuzz", (program ? "program" : "job") + std::to_string(++n),
          std::string(f.buffer.begin(), f.buffer.begin() + f.position));
    ZetVars::PopVarScope();
  }
  PrintCalls::ClearFonts();
}

}  // namespace
