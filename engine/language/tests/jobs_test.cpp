// Database jobs end to end: compiled from their text, run over a small table
// on disk, with the recording print host or into a text file.
//   KUNDEN: Meier/Bonn/10.5, Alt/Bonn/2, Schulz/Koeln/7.25 (in this order)
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/base/common_errors.h"
#include "engine/language/compiler.h"
#include "engine/language/extcalls.h"
#include "engine/language/interp.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobrun.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/programerror.h"
#include "engine/language/tests/fake_print_host.h"
#include "engine/language/variables.h"
#include "engine/storage/marklist.h"
#include "engine/storage/tests/links_test_util.h"

namespace {

using namespace links_test;
using fakehost::Transcript;

size_t Count(const std::string& text, const std::string& what) {
  size_t n = 0;
  for (size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
  return n;
}

class Jobs : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME"), Text("ORT"), {"BETRAG", Common::kTypeReal, 7, 2}});
    kunden = Open("KUNDEN");
    Add(kunden, {"Meier", "Bonn", "10.5"});
    Add(kunden, {"Alt", "Bonn", "2"});
    Add(kunden, {"Schulz", "Koeln", "7.25"});
    ZetTable::SetCurrentHandle(kunden);
    ZetTable::SetOpenTableSet(Set({kunden}));
    fakehost::Install();
    ProgramError::Clear();
  }
  uint16_t Compile(const std::vector<std::string>& lines) {
    ZetVars::PushVarScope();
    scoped = true;
    return JobCompile::Compile(lines, false, "TEST.JOB", job);
  }
  void TearDown() override {
    if (scoped) ZetVars::PopVarScope();
    LinkTest::TearDown();
  }
  std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  JobCompile::TJob job;
  bool scoped = false;
  int kunden = 0;
};

TEST_F(Jobs, ALetterOfThreeRecordsGivesThreePages) {
  ASSERT_EQ(Compile({".LETTER", ".DATA", "Dear $(NAME),", "regards"}), 0);
  EXPECT_EQ(JobRun::RunJob(job, ""), 0);
  const std::string& t = Transcript();
  EXPECT_EQ(Count(t, "begin-page"), 3u);
  EXPECT_EQ(Count(t, "end-page 0"), 2u);
  EXPECT_EQ(Count(t, "end-page 1"), 1u);
  EXPECT_EQ(Count(t, "'Dear '"), 3u);
  EXPECT_NE(t.find("'Schulz'"), std::string::npos);
  EXPECT_EQ(t.rfind("end-printing"), t.size() - 13);
}

TEST_F(Jobs, AReportOfThreeRecordsGivesOnePage) {
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(NAME)"}), 0);
  EXPECT_EQ(JobRun::RunJob(job, ""), 0);
  EXPECT_EQ(Count(Transcript(), "begin-page"), 1u);
  EXPECT_EQ(Count(Transcript(), "text "), 3u);
}

TEST_F(Jobs, GroupReportToATextFileByteForByte) {
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", "Customers", ".GROUP ORT", "== $(ORT)", ".GROUPFOOTER",
                     "--", ".DATA", "$(NAME:10)$(BETRAG:8:2)", ".EPILOG", "end"}),
            0)
      << ProgramError::Record().error;
  const std::string out = TempPath("REPORT.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  fakehost::ExpectGolden("job_group_report", ReadFile(out));
  EXPECT_EQ(Transcript(), "begin-printing\nbegin-page\nend-page 1\nend-printing\n");
}

TEST_F(Jobs, WithoutSectionsAJobReadingTheTableRunsPerRecord) {
  ASSERT_EQ(Compile({"$(NAME)"}), 0);
  EXPECT_EQ(job.image.sections[6], 1u);
  EXPECT_EQ(job.image.sections[1], 0u);
  const std::string out = TempPath("PLAIN.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "Meier\r\nAlt\r\nSchulz\r\n");
}

TEST_F(Jobs, ConditionsLoopsAndAssignmentsTakeEffect) {
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", "!n = 0", ".WHILE n < 3", "!n = n + 1", ".IF n = 2", "two",
                     ".ELSIF n = 3", "three", ".ELSE", "one", ".END", ".END", "?n = 3/done $(n)"}),
            0)
      << ProgramError::Record().error << " line " << ProgramError::Record().line;
  const std::string out = TempPath("LOOP.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "one\r\ntwo\r\nthree\r\ndone 3\r\n");
}

TEST_F(Jobs, NoOutputWhenTheHostRefusesToPrint) {
  ASSERT_EQ(Compile({".DATA", "$(NAME)"}), 0);
  fakehost::BeginPrintingAnswer() = -1;
  EXPECT_EQ(JobRun::RunJob(job, ""), 0);
  EXPECT_EQ(Transcript(), "begin-printing\n");
}

TEST_F(Jobs, EmptyJobIsOneEndAsProlog) {
  ASSERT_EQ(Compile({}), 0);
  EXPECT_EQ(job.image.code, std::string(1, '\x02'));
  EXPECT_EQ(job.image.sections[1], 1u);
  EXPECT_EQ(JobRun::RunJob(job, ""), 0);
}

TEST_F(Jobs, CompileErrorsAreRecordedOnceWithLineAndColumn) {
  struct Case {
    std::vector<std::string> lines;
    uint16_t error;
    uint16_t line, column;
  };
  const Case cases[] = {
      {{".REPORT", "?n = 1"}, 56, 2, 6},
      {{".PROLOG", ".LETTER"}, 86, 2, 7},
      {{".PL 72 PW 80"}, 56, 1, 7},
      {{"x", ".XY 1"}, 82, 2, 1},
      {{".IF 1 = 1", "x"}, 97, 2, 0},
      {{".REPEAT"}, 96, 1, 0},
      {{".ELSE"}, 82, 1, 5},
      {{".DATA", ".PROLOG"}, 86, 2, 7},
      {{"cost $"}, 41, 1, 5},
  };
  for (const Case& c : cases) {
    ProgramError::Clear();
    EXPECT_EQ(Compile(c.lines), c.error) << c.lines.back();
    ZetVars::PopVarScope();
    scoped = false;
    const ProgramError::TProgramError& e = ProgramError::Record();
    EXPECT_EQ(e.error, c.error);
    EXPECT_EQ(e.source, "TEST.JOB");
    EXPECT_EQ(e.line, c.line) << c.lines.back();
    EXPECT_EQ(e.column, c.column) << c.lines.back();
  }
}

TEST_F(Jobs, HeaderAndFooterOnEveryPage) {
  fakehost::PageHeight() = 200;  // 10 lines of 20
  ASSERT_EQ(Compile({".REPORT", ".HEADER", "head", ".FOOTER", "foot", ".DATA", "$(NAME)", "x.", "y."}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  fakehost::ExpectGolden("job_header_footer", Transcript());
}

TEST_F(Jobs, SortedRunsAndGroupSums) {
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", ".SORTBY !NAME", ".DATA", "$(NAME)"}), 0);
  const std::string sorted = TempPath("SORTED.TXT");
  ASSERT_EQ(JobRun::RunJob(job, sorted), 0);
  EXPECT_EQ(ReadFile(sorted), "Alt\r\nMeier\r\nSchulz\r\n");
  ZetVars::PopVarScope();
  scoped = false;

  ASSERT_EQ(Compile({".REPORT", ".GROUP ORT", "== $(ORT)", ".GROUPFOOTER", "sum $(Sum(BETRAG):6:2)", ".DATA",
                     "$(NAME)"}),
            0);
  const std::string sums = TempPath("SUMS.TXT");
  ASSERT_EQ(JobRun::RunJob(job, sums), 0);
  EXPECT_EQ(ReadFile(sums), "== Bonn\r\nMeier\r\nAlt\r\nsum  12,50\r\n== Koeln\r\nSchulz\r\nsum   7,25\r\n");
}

TEST_F(Jobs, ASortKeyThatAnIndexGivesReadsInItsOrder) {
  Create("LEUTE", {Number(), Text("NAME")}, 0, {2});
  const int leute = Open("LEUTE");
  for (const char* name : {"Zeh", "Abel", "Mohn"}) Add(leute, {name});
  ZetTable::SetOpenTableSet(Set({kunden, leute}));
  ZetTable::SetCurrentHandle(leute);
  for (const char* key : {"NAME", "!NAME"}) {
    ASSERT_EQ(Compile({".REPORT", ".PROLOG", std::string(".SORTBY ") + key, ".DATA", "$(NAME)"}), 0) << key;
    JobImage::TLoopDescriptor d;
    ASSERT_TRUE(JobImage::DecodeDescriptor(job.image.code, job.image.sections[JobImage::kSectionData - 1], d));
    EXPECT_EQ(d.sorted, key[0] == '!' ? 1 : 0) << key;
    EXPECT_EQ(job.image.code.find("LEUTE_2.IND") != std::string::npos, key[0] != '!') << key;
    const std::string out = TempPath("INDEXED.TXT");
    ASSERT_EQ(JobRun::RunJob(job, out), 0);
    EXPECT_EQ(ReadFile(out), "Abel\r\nMohn\r\nZeh\r\n") << key;
    ZetVars::PopVarScope();
    scoped = false;
  }
}

TEST_F(Jobs, ErrorCheckKeepsTheJobGoing) {
  const std::vector<std::string> body = {".REPORT", ".PROLOG", "!x = 1", "!x = 5 / 0", "after $(x) $(Fehler)"};
  ASSERT_EQ(Compile(body), 0);
  const uint16_t failed = JobRun::RunJob(job, TempPath("OFF.TXT"));
  EXPECT_NE(failed, 0);
  EXPECT_EQ(ReadFile(TempPath("OFF.TXT")), "");
  ZetVars::PopVarScope();
  scoped = false;
  std::vector<std::string> checked = body;
  checked.insert(checked.begin() + 2, ".EC 1");
  ASSERT_EQ(Compile(checked), 0);
  EXPECT_EQ(JobRun::RunJob(job, TempPath("ON.TXT")), 0);
  // The failed assignment stores what the failed run left, and "Fehler"
  // its error.
  EXPECT_EQ(ReadFile(TempPath("ON.TXT")), "after 0 " + std::to_string(failed) + "\r\n");
}

int g_printed = 0;
extern "C" void BreakingPrint(int16_t x, int16_t y, const char* text) {
  fakehost::PrintText(x, y, text);
  if (++g_printed == 3) JobRun::RequestBreak();
}

TEST_F(Jobs, ABreakFromTheHostEndsTheJob) {
  g_printed = 0;
  PrintCalls::SetPrintProcs(fakehost::PageSize, BreakingPrint, nullptr, fakehost::TextSize, fakehost::MoveTo,
                            fakehost::LineTo);
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", ".WHILE 1 = 1", "again", ".END"}), 0);
  EXPECT_EQ(JobRun::RunJob(job, ""), JobRun::kErrBreak);
  EXPECT_EQ(Count(Transcript(), "'again'"), 3u);
  EXPECT_EQ(Count(Transcript(), "end-page -1"), 1u);
  EXPECT_EQ(Count(Transcript(), "end-printing"), 1u);
}

TEST_F(Jobs, CodeBeyondItsLimitIsError99) {
  std::vector<std::string> lines = {".REPORT", ".PROLOG"};
  const std::string text(250, 'x');
  for (int i = 0; i < 1100; ++i) lines.push_back(text);  // about 257 bytes of code each
  EXPECT_EQ(Compile(lines), 99);
  EXPECT_LE(job.image.code.size(), JobImage::kCodeLimit);
}

TEST_F(Jobs, ProceduresCalledFromTheJobTakeEffect) {
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", "!n = 0", "!names = ''", ".PROCEDURE Twice(a: REAL): REAL",
                     ".RETURN a * 2", ".ENDPROC", ".PROCEDURE AddName(t: STRING): REAL", "!names = names + t + ';'",
                     ".ENDPROC", ".DATA", "!n = n + Twice(BETRAG)", "!k = AddName(NAME)", ".EPILOG", "$(n:8:2) $(names)"}),
            0)
      << ProgramError::Record().error << " line " << ProgramError::Record().line;
  const std::string out = TempPath("PROC.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "   39,50 Meier;Alt;Schulz;\r\n");
}

// Halt in a procedure called from a procedure ends the whole run quietly:
// no further statement of either procedure, of the record loop or of the
// epilog runs, and the run answers no error. A program run the same way.
TEST_F(Jobs, HaltEndsTheWholeRunFromNestedProcedures) {
  const std::vector<std::string> procedures = {
      ".PROCEDURE Inner(a: REAL): REAL", "!n = n + 10", "!h = Halt", "!n = n + 100", ".ENDPROC",
      ".PROCEDURE Outer(a: REAL): REAL", "!n = n + 1", "!k = Inner(a)", "!n = n + 1000", ".ENDPROC"};
  std::vector<std::string> report = {".REPORT", ".PROLOG", "!n = 0"};
  report.insert(report.end(), procedures.begin(), procedures.end());
  for (const char* line : {".DATA", "$(NAME)", "!k = Outer(1)", "!n = n + 5000", ".EPILOG", "Ende"})
    report.push_back(line);
  ASSERT_EQ(Compile(report), 0) << ProgramError::Record().error << " line " << ProgramError::Record().line;
  const std::string out = TempPath("HALT.TXT");
  EXPECT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "Meier\r\n");
  EXPECT_EQ(ZetVars::GetVarInfo(ZetVars::FindVariable("n")).number, 11);

  // The program's procedures are those of the report, in a scope of their own.
  ZetVars::PopVarScope();
  ZetVars::PushVarScope();
  std::vector<std::string> program = {"!n = 0"};
  for (const std::string& line : procedures) program.push_back(line[0] == '.' ? line.substr(1) : line);
  for (const char* line : {"!k = Outer(1)", "!n = n + 5000"}) program.push_back(line);
  JobCompile::TJob run;
  ASSERT_EQ(JobCompile::Compile(program, true, "TEST.PRG", run), 0)
      << ProgramError::Record().error << " line " << ProgramError::Record().line;
  EXPECT_EQ(JobRun::RunJob(run, ""), 0);
  EXPECT_EQ(ZetVars::GetVarInfo(ZetVars::FindVariable("n")).number, 11);
  // Without a run Halt only ends the line it stands in.
  ShortStr code("Halt");
  uint64_t tables = 0;
  ASSERT_EQ(Zet02::CompileExpression(code, tables), 0);
  Zet02::TRunValue value;
  Zet02::SetWriteEnable(true);
  EXPECT_EQ(Zet02::SolveExpression(code.view(), value), Zet02::kSoftStop);
  Zet02::SetWriteEnable(false);
  EXPECT_EQ(value.number, 1);
}

TEST_F(Jobs, ACallWithoutParametersTakesEmptyBrackets) {
  // Each use runs with "Dot()" and with "Dot": both give the same output.
  struct Case {
    std::string line;
    std::string output;
  };
  const Case cases[] = {
      {"!n = Dot() + 1", "8"},
      {"!n = Abs(Dot()) * 2", "14"},
      {".LET n = Dot() * 2", "14"},
      {".SOLVE n := Abs(Dot()) + Dot()", "14"},
      {"$(Dot():4)|", "   7|\r\n0"},
      {"$(Dot()+Dot)", "77\r\n0"},
  };
  for (const Case& c : cases) {
    for (const bool brackets : {true, false}) {
      std::string line = c.line;
      if (!brackets) {
        for (size_t at = line.find("Dot()"); at != std::string::npos; at = line.find("Dot()")) line.erase(at + 3, 2);
      }
      ASSERT_EQ(Compile({".REPORT", ".PROLOG", "!n = 0", ".PROCEDURE Dot(): REAL", ".RETURN 7", ".ENDPROC", line,
                         "$(n)"}),
                0)
          << line << ": " << ProgramError::Record().error;
      const std::string out = TempPath("DOT.TXT");
      EXPECT_EQ(JobRun::RunJob(job, out), 0) << line;
      EXPECT_EQ(ReadFile(out), c.output + "\r\n") << line;
      ZetVars::PopVarScope();
      scoped = false;
    }
  }
}

// A statement list runs whole, each statement after the one before.
TEST_F(Jobs, AStatementListRunsEveryStatement) {
  const std::pair<const char*, const char*> cases[] = {
      {".SOLVE n := 7; n := n + 7", "14"},
      {".DO n := 2; n := n * 5; n := n + 1", "11"},
      {".SOLVE _'n := 1; n := n + 2'", "3"},
  };
  for (const auto& [line, output] : cases) {
    ASSERT_EQ(Compile({".REPORT", ".PROLOG", "!n = 0", line, "$(n)"}), 0)
        << line << ": " << ProgramError::Record().error;
    const std::string out = TempPath("LIST.TXT");
    EXPECT_EQ(JobRun::RunJob(job, out), 0) << line;
    EXPECT_EQ(ReadFile(out), std::string(output) + "\r\n") << line;
    ZetVars::PopVarScope();
    scoped = false;
  }
}

int g_macros = 0;

TEST_F(Jobs, AMacroStandsAsAPrintItem) {
  Zet02::TCompilerHooks compiler{};
  compiler.loadModule = [](std::string_view name) { return name == "UTIL"; };
  compiler.unloadModule = [] {};
  Zet02::SetCompilerHooks(compiler);
  const Zet02::TRunHooks saved = Zet02::RunHooks();
  Zet02::TRunHooks run = saved;
  run.beginMacro = [](std::string_view name) {
    ++g_macros;
    return name == "UTIL";
  };
  run.endMacro = [] { g_macros += 10; };
  Zet02::SetRunHooks(run);
  g_macros = 0;
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", "$(ExecMacro(UTIL, SetPara('.MT 4')):3)|$(GetPara('MT'))",
                     ".DATA", "$(NAME:3)$(ExecMacro(UTIL, 1))"}),
            0)
      << ProgramError::Record().error;
  const std::string out = TempPath("MACRO.TXT");
  EXPECT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "  0|4\r\nMei0\r\nAlt0\r\nSch0\r\n");
  EXPECT_EQ(g_macros, 44);  // each of the four runs began and ended its macro once
  Zet02::SetRunHooks(saved);
  compiler.loadModule = [](std::string_view) { return false; };
  Zet02::SetCompilerHooks(compiler);
}

TEST_F(Jobs, ProcedureStatementsOutOfPlace) {
  struct Case {
    std::vector<std::string> lines;
    uint16_t error, line;
  };
  const Case cases[] = {
      {{".REPORT", ".PROCEDURE P"}, 86, 2},
      {{".REPORT", ".PROLOG", ".PROCEDURE P", ".PROCEDURE Q"}, 101, 4},
      {{".REPORT", ".PROLOG", ".PROCEDURE P"}, 102, 3},
      {{".REPORT", ".PROLOG", ".ENDPROC"}, 50, 3},
      {{".REPORT", ".PROLOG", ".RETURN 1"}, 50, 3},
      {{".REPORT", ".PROLOG", ".IF 1 = 1", ".PROCEDURE P"}, 97, 4},
  };
  for (const Case& c : cases) {
    ProgramError::Clear();
    EXPECT_EQ(Compile(c.lines), c.error) << c.lines.back();
    ZetVars::PopVarScope();
    scoped = false;
    EXPECT_EQ(ProgramError::Record().line, c.line) << c.lines.back();
  }
}

TEST_F(Jobs, ALetterWithThreeColumnsPutsThreeRecordsOnOnePage) {
  ASSERT_EQ(Compile({".LETTER", ".RW 3", ".DATA", "$(NAME)"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  EXPECT_EQ(Transcript(),
            "begin-printing\nbegin-page\ntext 0 0 'Meier'\ntext 266 0 'Alt'\ntext 532 0 'Schulz'\n"
            "end-page 1\nend-printing\n");
}

extern "C" void CtrlUPrint(int16_t x, int16_t y, const char* text) {
  fakehost::PrintText(x, y, text);
  if (++g_printed == 3) Common::BreakRequested = true;
}

TEST_F(Jobs, CtrlUEndsTheJobUnlessBreaksAreOff) {
  PrintCalls::SetPrintProcs(fakehost::PageSize, CtrlUPrint, nullptr, fakehost::TextSize, fakehost::MoveTo,
                            fakehost::LineTo);
  for (const char* nb : {".NB 0", ".NB 1"}) {
    g_printed = 0;
    fakehost::Transcript().clear();
    ASSERT_EQ(Compile({".REPORT", nb, ".PROLOG", "!k = 0", ".WHILE k < 5", "!k = k + 1", "xx", ".END"}), 0);
    JobRun::RunJob(job, "");
    Common::BreakRequested = false;
    ZetVars::PopVarScope();
    scoped = false;
    EXPECT_EQ(Count(Transcript(), "'xx'"), nb == std::string(".NB 0") ? 3u : 5u) << nb;
  }
}

}  // namespace

namespace {

// Statements that work on variables and tables, each run as a whole job into
// a text file (NR, NAME, ORT, BETRAG).
TEST_F(Jobs, StatementsTakeEffectWhenTheJobRuns) {
  struct Case {
    std::vector<std::string> lines;
    std::string output;
  };
  const Case cases[] = {
      // DEF gives the variable its expression again for every record.
      {{".REPORT", ".DATA", ".DEF d = NAME + '!'", "$(d)$(ORT)"}, "Meier!Bonn\r\nAlt!Bonn\r\nSchulz!Koeln\r\n"},
      // A computed DEF: the text names the expression when it runs.
      {{".REPORT", ".DATA", ".DEF e = NAME", ".DEF _'e = ' + 'ORT'", "$(e)-$(NAME)"},
       "Bonn-Meier\r\nBonn-Alt\r\nKoeln-Schulz\r\n"},
      {{".REPORT", ".PROLOG", ".CONST greeting = 'hi';", ".CONST factor = 2.5;", "$(greeting) $(factor:4:1)"},
       "hi  2,5\r\n"},
      {{".REPORT", ".PROLOG", ".VARDEF s: STRING", "!s = 'abc'", "$(s)"}, "abc\r\n"},
      {{".REPORT", ".PROLOG", "!n = 0", "!m = 0", ".SOLVE _'n := 1; m := n + 1'", "$(n)$(m)"}, "12\r\n"},
      {{".REPORT", ".PROLOG", ".SELECTION _'BETRAG' + ' > 5'", ".DATA", "$(NAME)"}, "Meier\r\nSchulz\r\n"},
      {{".REPORT", ".DATA", ".REPLACE BETRAG := BETRAG * 2", "$(BETRAG:6:2)"}, " 21,00\r\n  4,00\r\n 14,50\r\n"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(Compile(c.lines), 0) << c.lines.back() << ": " << ProgramError::Record().error << " line "
                                   << ProgramError::Record().line;
    const std::string out = TempPath("STATEMENT.TXT");
    EXPECT_EQ(JobRun::RunJob(job, out), 0) << c.lines.back();
    EXPECT_EQ(ReadFile(out), c.output) << c.lines.back();
    ZetVars::PopVarScope();
    scoped = false;
  }
  // REPLACE wrote the records back.
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(BETRAG:6:2)"}), 0);
  const std::string out = TempPath("REREAD.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), " 21,00\r\n  4,00\r\n 14,50\r\n");
}

TEST_F(Jobs, AppendAddsARecordAndTableStatementsChooseTheRecords) {
  ASSERT_EQ(Compile({".REPORT", ".EPILOG", ".APPEND NAME := 'Neu', ORT := 'Ulm'"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, TempPath("APPEND.TXT")), 0);
  EXPECT_EQ(T(kunden).recordCount, 4);
  ZetVars::PopVarScope();
  scoped = false;
  // The marked records in the order they were marked; the same order
  // chosen by a computed argument.
  MarkLists::MarkListAdd(T(kunden).marks, 3);
  MarkLists::MarkListAdd(T(kunden).marks, 1);
  for (const char* access : {".SETACCESS Markierung", ".ZUGRIFF _'Mark' + 'ierung'"}) {
    ASSERT_EQ(Compile({".REPORT", ".PROLOG", access, ".DATA", "$(NAME)"}), 0) << access;
    const std::string out = TempPath("ACCESS.TXT");
    ASSERT_EQ(JobRun::RunJob(job, out), 0);
    EXPECT_EQ(ReadFile(out), "Schulz\r\nMeier\r\n") << access;
    ZetVars::PopVarScope();
    scoped = false;
  }
  // PRIMÄRDATEI makes another table the one the records come from.
  Create("ORTE", {Number(), Text("STADT")});
  const int orte = Open("ORTE");
  Add(orte, {"Ulm"});
  Add(orte, {"Hof"});
  ZetTable::SetOpenTableSet(Set({kunden, orte}));
  ZetTable::SetCurrentHandle(kunden);
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", ".PRIM\xC4RDATEI ORTE", ".DATA", "$(STADT)"}), 0);
  const std::string out = TempPath("PRIMARY.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "Ulm\r\nHof\r\n");
}

TEST_F(Jobs, StatementErrorsAtTheirLines) {
  struct Case {
    std::vector<std::string> lines;
    uint16_t error;
    std::string expected;  // the text the message shows, where it shows one
  };
  const Case cases[] = {
      {{".REPORT", ".PROLOG", ".CONST x 5;"}, 25, ""},
      {{".REPORT", ".PROLOG", ".CONST x = 5"}, 56, ";"},
      {{".REPORT", ".PROLOG", ".PROCEDURE P", ".CONST x = 5;", ".ENDPROC"}, 82, ""},
      {{".REPORT", ".PROLOG", ".PRIM\xC4RDATEI NOPE"}, 88, ""},
      {{".REPORT", ".DATA", ".FILTER abc"}, 93, ""},
      {{".REPORT", ".DATA", ".RELATION KUNDEN"}, 93, ""},
      {{".REPORT", ".PROLOG", ".SORTBY _'NAME'"}, 82, ""},
      {{".REPORT", ".PROLOG", ".APPEND _'NAME := 1'"}, 82, ""},
      {{".REPORT", ".PROLOG", ".INCLUDE NOFILE.TXT"}, 37, ""},
      {{".REPORT", ".PROLOG", ".USES NOMODULE"}, 2, ""},
      {{".REPORT", ".PROLOG", ".PROCEDURE P(a: REAL): REAL", ".RETURN 'x'", ".ENDPROC"}, 44, ""},
      {{".REPORT", ".PROLOG", ".PROCEDURE P(a: REAL): STRING", ".RETURN a * 2", ".ENDPROC"}, 44, ""},
      {{".REPORT", ".PROLOG", ".DLLPROC"}, 25, ""},
      {{".REPORT", ".PROLOG", ".DLLPROC F() LIBRARY 'x.so';"}, 56, ":"},
      {{".REPORT", ".PROLOG", ".DLLPROC F(a: REAL LIBRARY 'x.so';"}, 56, ")"},
      {{".REPORT", ".PROLOG", ".DLLPROC F(a: OBJECT) LIBRARY 'x.so';"}, 44, "OBJECT"},
      {{".REPORT", ".PROLOG", ".DLLPROC F(a: REAL): REAL 'x.so';"}, 56, "LIBRARY"},
      {{".REPORT", ".PROLOG", ".DLLPROC F(a: REAL) LIBRARY x.so;"}, 56, "'"},
      {{".REPORT", ".PROLOG", ".DLLPROC F(a: REAL) LIBRARY 'x.so'"}, 56, ";"},
      // Unknown names are named wherever an expression stands.
      {{".REPORT", ".PROLOG", "Total $(Foo)"}, 50, "Foo"},
      {{".REPORT", ".PROLOG", "Total $Foo"}, 50, "Foo"},
      {{".REPORT", ".PROLOG", "?Bar = 1/text"}, 50, "Bar"},
      {{".REPORT", ".PROLOG", "!n = Baz + 1"}, 50, "Baz"},
      {{".REPORT", ".PROLOG", ".IF Qux"}, 50, "Qux"},
      {{".REPORT", ".PROLOG", ".SELECTION Quux = 1"}, 50, "Quux"},
      {{".REPORT", ".PROLOG", "?n = 1 text"}, 56, "/"},
      {{".REPORT", ".PROLOG", ".PL 72 PW 80"}, 56, ","},
  };
  for (const Case& c : cases) {
    ProgramError::Clear();
    EXPECT_EQ(Compile(c.lines), c.error) << c.lines[2];
    ZetVars::PopVarScope();
    scoped = false;
    EXPECT_EQ(ProgramError::Record().line, c.lines.size() == 5 ? 4 : 3) << c.lines[2];
    if (!c.expected.empty()) {
      EXPECT_EQ(Common::ErrorArgument().str(), c.expected) << c.lines[2];
      // The message shows it too.
      std::string message(Common::MessageText(c.error));
      message.replace(message.find("%s"), 2, c.expected);
      EXPECT_EQ(Common::LastErrorText().str(), message) << c.lines[2];
    }
  }
}

TEST_F(Jobs, OutsideProceduresAreDeclaredOnce) {
  ExtCalls::OutsideFunctions().Clear();
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", ".DLLPROC Mul(VAR a: REAL; b: INTEGER): STRING library \"libm.so\";",
                     ".DLLPROC Mul(a: REAL) LIBRARY 'other.so';", ".DLLPROC 'Plain' LIBRARY 'libm.so';"}),
            0)
      << ProgramError::Record().error;
  ExtCalls::TFunctionInfo info;
  ASSERT_TRUE(ExtCalls::FindFunction("Mul", info));
  EXPECT_EQ(info.signature, "SVR I");
  EXPECT_EQ(ExtCalls::OutsideFunctions().LibraryName(0), "libm.so");
  ASSERT_TRUE(ExtCalls::FindFunction("Plain", info));
  EXPECT_EQ(info.signature, "X");
  EXPECT_EQ(job.image.code, "\x02\x02");  // DLLPROC emits no code
  ExtCalls::OutsideFunctions().Clear();
}

TEST_F(Jobs, IncludedTextsAndUsedModulesCompileIntoTheJob) {
  const std::string dir = TempPath("JOBS") + "/";
  std::filesystem::create_directories(dir + "lib");
  std::ofstream(dir + "PART.INC", std::ios::binary) << ".IF BETRAG > 5\r\nbig $(NAME)\r\n.END\r\n";
  std::ofstream(dir + "lib/UTIL.MOD", std::ios::binary)
      << "MODULE\r\nPROCEDURE Twice(a: REAL): REAL\r\nRETURN a * 2\r\nENDPROC\r\n";
  std::ofstream(dir + "SELF.INC", std::ios::binary) << ".INCLUDE SELF.INC\r\n";
  std::ofstream(dir + "OPEN.INC", std::ios::binary) << ".IF 1 = 1\r\n";
  ZetVars::PushVarScope();
  scoped = true;
  ASSERT_EQ(JobCompile::Compile({".REPORT", ".PROLOG", ".USES util", ".DATA", ".INCLUDE PART.INC, 3",
                                 "$(Twice(BETRAG):6:2)"},
                                false, dir + "LIST.JOB", job),
            0)
      << ProgramError::Record().error << " " << ProgramError::Record().source << ":" << ProgramError::Record().line;
  const std::string out = TempPath("INCLUDED.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  EXPECT_EQ(ReadFile(out), "big Meier\r\n 21,00\r\n  4,00\r\nbig Schulz\r\n 14,50\r\n");
  // Errors name the included file and its line; a file that includes
  // itself ends; an included text closes what it opens.
  struct Case {
    std::string line;
    uint16_t error;
    std::string source;
  };
  for (const Case& c : {Case{".INCLUDE SELF.INC", 60, "SELF.INC"}, Case{".INCLUDE OPEN.INC", 97, "OPEN.INC"}}) {
    ZetVars::PopVarScope();
    ZetVars::PushVarScope();
    ProgramError::Clear();
    EXPECT_EQ(JobCompile::Compile({".REPORT", ".PROLOG", c.line}, false, dir + "LIST.JOB", job), c.error);
    EXPECT_EQ(ProgramError::Record().source, dir + c.source) << c.line;
    EXPECT_EQ(ProgramError::Record().line, 1) << c.line;
  }
}

TEST_F(Jobs, TextFunctionsReachTheRunningJob) {
  const std::string program = TempPath("PROG.TXT");
  std::ofstream(program, std::ios::binary) << "FONT big=Arial,20,b\r\nSETFONT big\r\n";
  const std::string broken = TempPath("BROKEN.TXT");
  std::ofstream(broken, std::ios::binary) << "ELSE\r\n";
  ASSERT_EQ(Compile({".REPORT", ".PROLOG", "$(SetPara('.MT 3, RW 2'))$(GetPara('MT'))$(GetPara('.RW'))",
                     "$(GetPara('XY')) $(InitFont('q=Courier,10,i'))", "$(ExecProg('" + program + "'))",
                     "$(ExecProg('" + broken + "')) $(SetPara('.QQ 1'))"}),
            0)
      << ProgramError::Record().error;
  const std::string out = TempPath("PARA.TXT");
  ASSERT_EQ(JobRun::RunJob(job, out), 0);
  // SetPara answers 0 whatever the line; GetPara -1 for no dot command.
  EXPECT_EQ(ReadFile(out), "032\r\n-1 0\r\n0\r\n82 0\r\n");
  // The font the job chose reached the host, and came back after the
  // program's own.
  const std::string& t = Transcript();
  EXPECT_LT(t.find("font 'Courier' 10 100"), t.find("font 'Arial' 20 010"));
  EXPECT_LT(t.find("font 'Arial' 20 010"), t.rfind("font 'Courier' 10 100"));
}

}  // namespace
