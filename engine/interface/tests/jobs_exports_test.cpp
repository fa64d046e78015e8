#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "engine/interface/tests/interface_test_util.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/interface/zeteng.h"
#include "engine/language/programerror.h"
#include "engine/storage/engine_hooks.h"
#include "zetcore.h"

namespace {

using interface_test::AddArticle;
using interface_test::InterfaceTest;
using interface_test::ReadFile;

class JobExports : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    cursor_ = ZetTableCreate(relation_);
    ASSERT_GT(cursor_, 0);
    ASSERT_EQ(AddArticle(cursor_, 1, "Apfel", 5), 0);
    ASSERT_EQ(AddArticle(cursor_, 2, "Birne", 7), 0);
  }
  int32_t relation_ = 0, cursor_ = 0;
};

TEST_F(JobExports, TextJobAndItsCompiledImageGiveTheSameOutput) {
  const std::string job = WriteTemp("LISTE.JOB", ".REPORT\r\n.PROLOG\r\nArticles\r\n.DATA\r\n$(NAME:8)$(MENGE)\r\n");
  const std::string fromText = TempPath("A.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, job.c_str(), 0, fromText.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(fromText), "Articles\r\nApfel   5\r\nBirne   7\r\n");

  ASSERT_EQ(ZetRltnCompileProgram(relation_, job.c_str()), 0);
  const std::string compiled = TempPath("LISTE.DBJ");
  const std::string fromImage = TempPath("B.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, compiled.c_str(), 0, fromImage.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(fromImage), ReadFile(fromText));

  uint16_t line = 0, column = 0;
  char source[64] = {};
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 63), 0);
}

TEST_F(JobExports, ADamagedSortKeyIsRefusedWhenTheImageLoads) {
  const std::string job = WriteTemp("SORTED.JOB", ".REPORT\r\n.PROLOG\r\n.SORTBY MENGE\r\n.DATA\r\n$(NAME)\r\n");
  ASSERT_EQ(ZetRltnCompileProgram(relation_, job.c_str()), 0);
  const std::string compiled = TempPath("SORTED.DBJ");
  std::string image = ReadFile(compiled);
  // The code stands at the end behind its u32 length; its sorted loop's
  // first key part gets the type of a memo, which no key compares.
  size_t code = 0;
  for (size_t n = 1; n + 4 <= image.size() && code == 0; ++n) {
    const size_t at = image.size() - n - 4;
    uint32_t length = 0;
    for (int k = 3; k >= 0; --k) length = (length << 8) | uint8_t(image[at + size_t(k)]);
    if (length == n) code = at + 4;
  }
  ASSERT_NE(code, 0u);
  size_t loop = image.find('\x07', code);
  while (loop != std::string::npos && image[loop + 1 + 22] != 1) loop = image.find('\x07', loop + 1);
  ASSERT_NE(loop, std::string::npos);
  const std::string out = TempPath("SORTED.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, compiled.c_str(), 0, out.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(out), "Apfel\r\nBirne\r\n");
  image[loop + 1 + 27 + 4] = char(Common::kTypeMemo);
  WriteTemp("SORTED.DBJ", image);
  EXPECT_EQ(ZetExecuteJob(cursor_, compiled.c_str(), 0, out.c_str(), 0), -82);
  EXPECT_EQ(ZetLoadProgram(compiled.c_str()), -82);
}

// A selection that a job computes and that does not compile stops the job
// with the compiler's error; its listing is built from the selection's text
// (the tests run with the undefined-behaviour checks that stop at a fault).
TEST_F(JobExports, ASelectionThatFailsToCompileInsideAJobStopsItWithAListing) {
  struct Case {
    const char* selection;
    int32_t error;
    const char* listing;  // what the listing holds
  } const cases[] = {
      {"_'MENGE' + ' >'", -41, ""},
      {"_'Quux = 1'", -50, "Quux = 1"},
      {"_''", 0, ""},
  };
  const std::string out = TempPath("SEL.TXT");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.selection);
    const std::string job = WriteTemp(
        "SEL.JOB", std::string(".REPORT\r\n.PROLOG\r\n.SELECTION ") + c.selection + "\r\n.DATA\r\n$(NAME)\r\n");
    const int32_t result = ZetExecuteJob(cursor_, job.c_str(), 0, out.c_str(), 0);
    char text[256] = {};
    const int32_t error = ZetGetLastError(text, 255);
    if (c.error == 0) {
      EXPECT_EQ(result, 0) << text;
      EXPECT_EQ(ReadFile(out), "Apfel\r\nBirne\r\n");
      continue;
    }
    EXPECT_LT(result, 0);
    EXPECT_EQ(error, c.error) << text;
    char listing[256] = {};
    ZetGetLastErrorPos(listing, 255);
    EXPECT_NE(std::string(listing).find(c.listing), std::string::npos) << listing;
  }
}

TEST_F(JobExports, AnExceptionBelowAnExportBecomesItsAnswer) {
  char text[256] = {};
  ZetGetLastError(text, 255);
  EXPECT_EQ(ZETEng::Guarded([]() -> int32_t { throw std::bad_alloc(); }), -99);
  EXPECT_EQ(ZetGetLastError(text, 255), -99);
  EXPECT_EQ(ZETEng::Guarded([]() -> int32_t { throw std::logic_error("Unknown field type"); }), -52);
  EXPECT_EQ(ZetGetLastError(text, 255), -52);
  EXPECT_STREQ(text, "Unbekannter Fehler: Unknown field type");
  EXPECT_EQ(ZETEng::Guarded([]() -> int32_t { throw 1; }), -52);
  EXPECT_EQ(ZETEng::Guarded([]() -> int32_t { return 7; }), 7);
}

TEST_F(JobExports, UserMarksStandInForTheJobAndComeBackAsItLeftThem) {
  // The job marks record 2; before it, the cursor had record 1 marked or
  // nothing marked.
  const std::string job = WriteTemp("MARK.JOB", ".REPORT\r\n.PROLOG\r\n$(SetMark(1, 2))\r\n");
  const std::string out = TempPath("M.TXT");
  struct Case {
    bool userMarkFirst;
    int32_t userMarksAfter;
  };
  for (const Case& c : {Case{true, 2}, Case{false, 0}}) {
    ASSERT_GE(ZetTableFirst(cursor_), 0);
    if (c.userMarkFirst) {
      ASSERT_GE(ZetTableToggleMark(cursor_), 0);
    }
    ASSERT_EQ(ZetTableGetNumMarks(cursor_), c.userMarkFirst ? 1 : 0);
    ASSERT_EQ(ZetExecuteJob(cursor_, job.c_str(), 0, out.c_str(), 0), 0);
    EXPECT_EQ(ZetTableGetNumMarks(cursor_), c.userMarksAfter) << c.userMarkFirst;
    if (c.userMarkFirst) {
      EXPECT_EQ(ZetTableIsMarked(cursor_, 1), 1);
      EXPECT_EQ(ZetTableIsMarked(cursor_, 2), 1);
      ASSERT_EQ(ZetTableUnmark(cursor_), 0);
    }
  }
}

TEST_F(JobExports, BadCallsAnswerTheirCodes) {
  EXPECT_EQ(ZetExecuteJob(0, "X.JOB", 0, "", 0), -101);
  EXPECT_EQ(ZetExecuteJob(51, "X.JOB", 0, "", 0), -101);
  EXPECT_EQ(ZetExecuteJob(cursor_, "", 0, "", 0), -37);
  EXPECT_EQ(ZetExecuteJob(cursor_, nullptr, 0, nullptr, 0), -37);
  EXPECT_EQ(ZetLoadProgram(TempPath("NONE.DBJ").c_str()), -2);
  const std::string damaged = WriteTemp("BAD.DBJ", std::string("\x11\x00\x00", 3));
  EXPECT_EQ(ZetLoadProgram(damaged.c_str()), -29);
  EXPECT_EQ(ZetUnloadProgram(), 0);  // nothing loaded: nothing happens
  EXPECT_EQ(ZetExecProc(7), 0);

  const std::string job = WriteTemp("ERR.JOB", ".REPORT\r\n.PL 72 PW 80\r\n");
  EXPECT_EQ(ZetRltnCompileProgram(relation_, job.c_str()), -56);
  uint16_t line = 0, column = 0;
  char source[256] = {};
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 255), 56);
  EXPECT_EQ(line, 2);
  EXPECT_EQ(std::string(source), job);
}

TEST_F(JobExports, CommandCatalogues) {
  char text[32] = {};
  EXPECT_EQ(ZetGetCountCommands(), 68);
  EXPECT_EQ(ZetGetCommand(1, text, 31), 0);
  EXPECT_STREQ(text, "ANDERNFALLS");
  EXPECT_EQ(ZetGetCommand(68, text, 31), 0);
  EXPECT_STREQ(text, "ZUGRIFF");
  EXPECT_EQ(ZetGetCommand(0, text, 31), -43);
  EXPECT_EQ(ZetGetCommand(69, text, 31), -43);
  EXPECT_EQ(ZetGetCountDotCmds(), 33);
  EXPECT_EQ(ZetGetDotCmd(33, text, 31), 0);
  EXPECT_STREQ(text, "DB");
  EXPECT_EQ(ZetGetDotCmd(1, text, 1), 0);
  EXPECT_STREQ(text, "P");
  EXPECT_EQ(ZetGetDotCmd(34, text, 31), -43);
}

TEST_F(JobExports, ProgramsCompileLoadAndTellTheirProcedures) {
  const std::string program = WriteTemp("PROG.MOD",
                                    "PROCEDURE Twice(a: REAL): REAL\r\nRETURN a * 2\r\nENDPROC\r\n"
                                    "PROCEDURE Greet(VAR t: STRING; n: REAL)\r\nENDPROC\r\n");
  ASSERT_EQ(ZetRltnCompileProgram(relation_, program.c_str()), 0);
  uint16_t line = 0, column = 0;
  char text[64] = {};
  EXPECT_EQ(ZetGetCompilerError(&line, &column, text, 63), 0);
  const int32_t before = ZetGetNumProcs();
  ASSERT_EQ(ZetLoadProgram(TempPath("PROG.PRG").c_str()), 0);
  ASSERT_EQ(ZetGetNumProcs(), before + 2);
  EXPECT_EQ(ZetGetProcInfo(before + 1, text, 63), 0);
  EXPECT_STREQ(text, "Twice");
  EXPECT_EQ(ZetGetProcParams(before + 1, text, 63), 0);
  EXPECT_STREQ(text, "R");
  EXPECT_EQ(ZetGetProcInfo(before + 2, text, 63), 0);
  EXPECT_STREQ(text, "Greet");
  EXPECT_EQ(ZetGetProcParams(before + 2, text, 63), 0);
  EXPECT_STREQ(text, "sR");
  EXPECT_EQ(ZetGetProcInfo(0, text, 63), -43);
  EXPECT_EQ(ZetGetProcParams(before + 3, text, 63), -43);
  // A nested load and its unload leave the first program in place.
  ASSERT_EQ(ZetLoadProgram(TempPath("PROG.PRG").c_str()), 0);
  EXPECT_EQ(ZetUnloadProgram(), 0);
  EXPECT_EQ(ZetGetProcInfo(before + 1, text, 63), 0);
  EXPECT_STREQ(text, "Twice");
  EXPECT_EQ(ZetUnloadProgram(), 0);
  EXPECT_EQ(ZetGetNumProcs(), before);

  // Compile errors go into the record, with the line of the fault.
  const std::string faulty = WriteTemp("BAD.MOD", "PROCEDURE P\r\nENDPROC\r\nENDPROC\r\n");
  EXPECT_EQ(ZetRltnCompileProgram(relation_, faulty.c_str()), -50);
  EXPECT_EQ(ZetGetCompilerError(&line, &column, text, 63), 50);
  EXPECT_EQ(line, 3);
  EXPECT_EQ(ZetRltnCheckModule(relation_, "PROCEDURE P: REAL\r\nRETURN 1\r\n", "EDIT"), -102);
  EXPECT_EQ(ZetGetCompilerError(&line, &column, text, 63), 102);
  EXPECT_STREQ(text, "EDITCurrentModule");
  EXPECT_EQ(ZetRltnCheckModule(relation_, "PROCEDURE P\nENDPROC\n", "EDIT"), 0);
  EXPECT_EQ(ZetGetCompilerError(&line, &column, text, 63), 0);
  EXPECT_EQ(ZetIncrementModuleLevel(), -1);
  EXPECT_EQ(ZetGetProgramPath(0, 0), -1);
}

int32_t g_asked = 0;
int32_t g_answer = 0;
extern "C" int32_t CursorQuery(int32_t context) {
  g_asked = context;
  return g_answer;
}
extern "C" int32_t ErrorText(int32_t, char* buffer, int32_t) {
  buffer[0] = 0;
  return 0;
}

TEST_F(JobExports, TheHostsCursorQueryNamesTheCursorOfAContext) {
  const int32_t other = ZetTableCreate(relation_);
  ASSERT_GT(other, 0);
  ASSERT_GE(ZetTableFirst(other), 0);
  ASSERT_GE(ZetTableToggleMark(other), 0);
  ASSERT_EQ(ZetSetInfoProcs(CursorQuery, ErrorText), 0);
  EXPECT_EQ(Common::GetUserErrMsg(), &ErrorText);
  ZETEng::SetActiveCursor(cursor_);
  // 0: the active cursor (no marks); the other cursor (one mark); a handle
  // that is no cursor: none.
  struct Case {
    int32_t answer, count;
  };
  for (const Case& c : {Case{0, 0}, Case{other, 1}, Case{49, -1}}) {
    g_answer = c.answer;
    EXPECT_EQ(EngineHooks::ContextCount(5), c.count) << c.answer;
    EXPECT_EQ(g_asked, 5);
  }
  ASSERT_EQ(ZetSetInfoProcs(nullptr, nullptr), 0);
  EXPECT_EQ(EngineHooks::ContextCount(5), 0);
  EXPECT_EQ(Common::GetUserErrMsg(), &Common::DefaultGetUserErrMsg);
}

TEST_F(JobExports, ProgramsLoadModulesByNameFromTheProjectDirectory) {
  const std::string module = WriteTemp("UTIL.LUM", "PROCEDURE Dot(): STRING\r\nRETURN '.MT 4'\r\nENDPROC\r\n");
  ASSERT_EQ(ZetRltnCompileProgram(relation_, module.c_str()), 0);
  ASSERT_EQ(ZetSetProjectDir(TempDir().string().c_str()), 0);
  // The module's procedure answers inside the macro's arguments, at compile
  // time and when the job runs.
  const std::string job =
      WriteTemp("MACRO.JOB", ".REPORT\r\n.PROLOG\r\n.SOLVE ExecMacro(UTIL, SetPara(Dot))\r\n$(GetPara('MT'))\r\n");
  const std::string out = TempPath("MACRO.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, job.c_str(), 0, out.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(out), "4\r\n");
  const std::string missing = WriteTemp("NOPE.JOB", ".REPORT\r\n.PROLOG\r\n.SOLVE ExecMacro(NOPE, 1)\r\n");
  EXPECT_EQ(ZetExecuteJob(cursor_, missing.c_str(), 0, out.c_str(), 0), -20);
  ASSERT_EQ(ZetSetProjectDir(""), 0);
}

}  // namespace
