// The module exports: handles, procedure editing, texts out with a capacity,
// files, and the compiler error record of a rejected text.
#include <cstring>
#include <fstream>
#include <string>

#include "engine/language/zetmodules.h"
#include "engine/testsupport/engine_fixture.h"
#include "zetcore.h"

namespace {

const char kTwoProcs[] =
    "USES tools, lib\\more;\r\n"
    "INCLUDE inc;\r\n"
    "..Begr\xFC\xDF" "ung\r\n"
    "PROCEDURE Hallo;\r\n"
    "  Print('Hallo');\r\n"
    "ENDPROC;\r\n"
    "PROCEDURE Summe(a: real; b: real): real;\r\n"
    "ENDPROC;";

class ModExports : public zettest::EngineTest {
 protected:
  int32_t Create(const char* text = kTwoProcs) {
    const int32_t h = ZetModCreate(text);
    EXPECT_GT(h, 0);
    return h;
  }
  std::string Text(int32_t h) {
    const int32_t n = ZetModGetText(h, nullptr, 0);
    std::string text(size_t(n) + 1, '\0');
    EXPECT_EQ(ZetModGetText(h, text.data(), n), n);
    text.resize(size_t(n));
    return text;
  }
};

TEST_F(ModExports, HandlesAreSlotsFrom1To127ReusedLowestFirst) {
  for (int32_t i = 1; i <= 127; ++i) ASSERT_EQ(ZetModCreate(""), i);
  EXPECT_EQ(ZetModCreate(""), -2);
  EXPECT_EQ(ZetModDelete(5), 0);
  EXPECT_EQ(ZetModDelete(90), 0);
  EXPECT_EQ(ZetModCreate("..x"), 5);
  EXPECT_EQ(ZetModCreate(""), 90);
  EXPECT_EQ(ZetModDelete(5), 0);
  EXPECT_EQ(ZetModDelete(5), -41);
}

TEST_F(ModExports, BadHandlesAnswer41Everywhere) {
  const int32_t freed = Create();
  ASSERT_EQ(ZetModDelete(freed), 0);
  char buffer[64];
  for (int32_t h : {0, -1, 128, 256 + 1, freed}) {
    EXPECT_EQ(ZetModDelete(h), -41);
    EXPECT_EQ(ZetModAddProcedure(h, "X"), -41);
    EXPECT_EQ(ZetModCreateUniqueProcName(h, buffer, 63), -41);
    EXPECT_EQ(ZetModFindFittingProcedures(h, 0, buffer, 63), -41);
    EXPECT_EQ(ZetModGetProcBody(h, "Hallo", buffer, 63), -41);
    EXPECT_EQ(ZetModSetProcBody(h, "Hallo", ""), -41);
    EXPECT_EQ(ZetModGetProcComment(h, "Hallo", buffer, 63), -41);
    EXPECT_EQ(ZetModSetProcComment(h, "Hallo", ""), -41);
    EXPECT_EQ(ZetModDeleteProcedure(h, "Hallo"), -41);
    EXPECT_EQ(ZetModRenameProcedure(h, "Hallo", "Neu"), -41);
    EXPECT_EQ(ZetModGetUsedModuleNames(h, buffer, 63), -41);
    EXPECT_EQ(ZetModGetText(h, buffer, 63), -41);
    EXPECT_EQ(ZetModWriteToFile(h, TempPath("x.mod").c_str()), -41);
  }
}

TEST_F(ModExports, ARejectedTextFillsTheCompilerErrorRecord) {
  EXPECT_EQ(ZetModCreate("PROCEDURE A;\r\n  x := 1;\r\nPROCEDURE B(x real"), -41);
  uint16_t line = 0, column = 0;
  char source[32] = "unchanged";
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 31), 102);
  EXPECT_EQ(line, 3);  // the text ended on its third line without ENDPROC
  EXPECT_EQ(column, 19);
  EXPECT_STREQ(source, "");
  EXPECT_EQ(ZetModCreate("PROCEDURE B(x real);\r\nENDPROC"), -41);
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 31), 102);
  EXPECT_EQ(line, 1);
  EXPECT_EQ(column, 15);
  // A text that parses clears the record.
  EXPECT_GT(ZetModCreate(kTwoProcs), 0);
  line = column = 7;
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 31), 0);
  EXPECT_EQ(line, 7);
}

TEST_F(ModExports, AddRenameAndUniqueNames) {
  const int32_t h = Create();
  EXPECT_EQ(ZetModAddProcedure(h, "hallo"), -3);
  EXPECT_EQ(ZetModAddProcedure(h, "1x"), -43);
  EXPECT_EQ(ZetModAddProcedure(h, "Neu"), 0);
  EXPECT_EQ(ZetModAddProcedure(h, "Neu_1"), 0);
  EXPECT_EQ(Text(h).substr(std::strlen(kTwoProcs)), "\r\n\r\n\r\nPROCEDURE Neu;\r\nENDPROC;\r\n\r\n\r\nPROCEDURE Neu_1;\r\nENDPROC;");
  char name[16] = "Neu";
  EXPECT_EQ(ZetModCreateUniqueProcName(h, name, 15), 0);
  EXPECT_STREQ(name, "Neu_2");
  std::strcpy(name, "Frei");
  EXPECT_EQ(ZetModCreateUniqueProcName(h, name, 15), 0);
  EXPECT_STREQ(name, "Frei");
  std::strcpy(name, "Neu");
  EXPECT_EQ(ZetModCreateUniqueProcName(h, name, 4), -1);  // "Neu_2" does not fit
  EXPECT_STREQ(name, "Neu");

  EXPECT_EQ(ZetModRenameProcedure(h, "Fehlt", "X"), -40);
  EXPECT_EQ(ZetModRenameProcedure(h, "Neu", "9x"), -43);
  EXPECT_EQ(ZetModRenameProcedure(h, "Neu", std::string(41, 'a').c_str()), -43);
  EXPECT_EQ(ZetModRenameProcedure(h, "Neu", "SUMME"), -42);
  EXPECT_EQ(ZetModRenameProcedure(h, "Neu", "NEU"), 0);  // its own name in other letters
  EXPECT_EQ(ZetModRenameProcedure(h, "neu", "Anders"), 0);
  char buffer[64];
  EXPECT_EQ(ZetModFindFittingProcedures(h, 12345, buffer, 63), 3);
  EXPECT_STREQ(buffer, "Hallo,Anders,Neu_1");
  EXPECT_EQ(ZetModFindFittingProcedures(h, 0, buffer, 13), 3);  // whole names only
  EXPECT_STREQ(buffer, "Hallo,Anders");
  EXPECT_EQ(ZetModDeleteProcedure(h, "anders"), 0);
  EXPECT_EQ(ZetModGetProcBody(h, "Anders", buffer, 63), -40);
}

TEST_F(ModExports, BodiesCommentsAndUsedModules) {
  const int32_t h = Create();
  char buffer[64];
  EXPECT_EQ(ZetModGetProcBody(h, "HALLO", buffer, 63), 0);
  EXPECT_STREQ(buffer, "  Print('Hallo');\r\n");
  EXPECT_EQ(ZetModGetProcBody(h, "Hallo", buffer, 5), 0);
  EXPECT_STREQ(buffer, "  Pri");
  EXPECT_EQ(ZetModGetProcBody(h, "Fehlt", buffer, 63), -40);
  EXPECT_EQ(ZetModSetProcBody(h, "Fehlt", "x"), -40);
  struct Case {
    const char* in;
    const char* stored;
  } cases[] = {{"a := 1", "a := 1\r\n"}, {"a := 1\r\n", "a := 1\r\n"}, {"\n", "\n\r\n"}, {"", "\r\n"}};
  for (const Case& c : cases) {
    ASSERT_EQ(ZetModSetProcBody(h, "Summe", c.in), 0);
    ASSERT_EQ(ZetModGetProcBody(h, "Summe", buffer, 63), 0);
    EXPECT_STREQ(buffer, c.stored) << c.in;
  }
  EXPECT_EQ(ZetModGetProcComment(h, "Hallo", buffer, 63), 0);
  EXPECT_STREQ(buffer, "Begr\xFC\xDF" "ung");
  EXPECT_EQ(ZetModSetProcComment(h, "Summe", "Addiert\r\nzwei Zahlen"), 0);
  EXPECT_EQ(ZetModGetProcComment(h, "Summe", buffer, 63), 0);
  EXPECT_STREQ(buffer, "Addiertzwei Zahlen");
  EXPECT_EQ(ZetModGetUsedModuleNames(h, buffer, 63), 2);
  EXPECT_STREQ(buffer, "tools,lib\\more");
  EXPECT_EQ(ZetModGetUsedModuleNames(h, buffer, 10), 2);
  EXPECT_STREQ(buffer, "tools");
  EXPECT_EQ(ZetModGetUsedModuleNames(h, nullptr, 10), 2);
}

TEST_F(ModExports, TextOutAndFiles) {
  const int32_t h = Create();
  const int32_t n = ZetModGetText(h, nullptr, 0);
  EXPECT_EQ(n, int32_t(std::strlen(kTwoProcs)));
  EXPECT_EQ(Text(h), kTwoProcs);
  char small[9];
  std::memset(small, 'x', sizeof small);
  EXPECT_EQ(ZetModGetText(h, small, 7), n);
  EXPECT_STREQ(small, "USES to");
  EXPECT_EQ(small[8], 'x');
  EXPECT_EQ(ZetModGetText(h, small, -1), n);
  EXPECT_EQ(small[0], 'U');

  const std::string file = TempPath("KUNDEN.MOD");
  EXPECT_EQ(ZetModWriteToFile(h, file.c_str()), 0);
  EXPECT_EQ(ZetModWriteToFile(h, TempPath("fehlt/KUNDEN.MOD").c_str()), -14);
  const int32_t again = ZetModCreateFromFile(TempPath("kunden.mod").c_str());
  ASSERT_GT(again, 0);
  EXPECT_EQ(Text(again), kTwoProcs);
  EXPECT_EQ(ZetModCreateFromFile(TempPath("fehlt.mod").c_str()), -14);
  std::ofstream(TempPath("bad.mod"), std::ios::binary) << "PROCEDURE x(;";
  EXPECT_EQ(ZetModCreateFromFile(TempPath("bad.mod").c_str()), -41);
  uint16_t line = 0, column = 0;
  char source[256];
  EXPECT_EQ(ZetGetCompilerError(&line, &column, source, 255), 102);
  EXPECT_EQ(std::string(source), TempPath("bad.mod"));
}

}  // namespace
