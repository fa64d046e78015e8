// The module parser and writer: the parsed form of a module, its text
// written back, and the syntax errors with where they lie.
#include "engine/language/lumopars.h"

#include <gtest/gtest.h>

#include <string>

namespace {

using namespace lumopars;

// A module in the writer's own layout, with every kind of item.
const std::string kModule =
    "..Werkzeuge f\xFCr Kunden\r\n"
    "..zweite Zeile\r\n"
    ".EC 1,AK\r\n"
    "USES lib\\tools, Extra.mod;\r\n"
    "include common;\r\n"
    "CONST\t Limit = 10;\r\n"
    "CONST\t Gruss = 'Hallo \"Welt\"';\r\n"
    "\r\n"
    "PROCEDURE Test(VAR a: string; VAR b: string; c: real[10]): real;\r\n"
    "  x := a;\r\n"
    "\tIF c[1] > 0 .. ENDPROC in a comment\r\n"
    "ENDPROC;\r\n"
    "\r\n"
    "\r\n"
    "procedure Leer;\r\n"
    "endproc;\r\n"
    "DLLPROC Beep(n: integer; VAR r: real): integer LIBRARY \"libbeep.so\";\r\n"
    "PROCEDURE Matrix(m: real[3, 4]; o: Fenster): Knoten;\r\n"
    "ENDPROC;";

const TLumoProcedure& Proc(const TLumoModule& m, std::string_view name) {
  const TLumoProcedure* p = m.FindProcedure(name);
  EXPECT_NE(p, nullptr) << name;
  return *p;
}

TEST(ModuleParser, TheExampleProcedure) {
  TLumoParser parser;
  const std::string text =
      "PROCEDURE Test(VAR a, b: String; c: REAL[10]): real;\r\n"
      "  x := a;\r\n"
      "ENDPROC\r\n";
  const auto m = parser.Parse(text);
  ASSERT_EQ(m->Count(), 1u);
  const TLumoProcedure& p = Proc(*m, "TEST");
  ASSERT_EQ(p.ParamCount(), 3u);
  struct Want {
    const char* name;
    uint8_t flags;
    int32_t classCode, dims;
  } want[] = {{"a", kByReference, 3, 0}, {"b", kByReference, 3, 0}, {"c", 0, 1, 1}};
  for (size_t i = 0; i < 3; ++i) {
    EXPECT_EQ(p.GetParam(i).name, want[i].name);
    EXPECT_EQ(p.GetParam(i).flags, want[i].flags);
    EXPECT_EQ(p.GetParam(i).classCode, want[i].classCode);
    EXPECT_EQ(p.GetParam(i).dimensionCount, want[i].dims);
  }
  EXPECT_EQ(p.GetParam(2).dimensions[0], 10);
  EXPECT_EQ(p.resultClass, 1);
  EXPECT_FALSE(p.external);
  EXPECT_EQ(p.body.text, "  x := a;\r\n");
  EXPECT_EQ(p.body.endKeyword, "ENDPROC");
  EXPECT_EQ(p.lineEnds, 1u);
  // Groups are written one parameter at a time, class names as the context
  // spells them; that text reads back to itself.
  const std::string written = parser.WriteModule(*m);
  EXPECT_EQ(written,
            "PROCEDURE Test(VAR a: string; VAR b: string; c: real[10]): real;\r\n"
            "  x := a;\r\n"
            "ENDPROC;\r\n");
  EXPECT_EQ(parser.WriteModule(*parser.Parse(written)), written);
}

TEST(ModuleParser, AWholeModuleWritesBackByteForByte) {
  TLumoParser parser;
  const auto m = parser.Parse(kModule);
  EXPECT_EQ(parser.WriteModule(*m), kModule);
  ASSERT_EQ(m->Count(), 11u);
  const uint8_t kinds[] = {kCommentItem, kCommentItem, kDotItem,       kUsesItem,      kUsesItem,     kConstItem,
                           kConstItem,   kProcedureItem, kProcedureItem, kProcedureItem, kProcedureItem};
  for (size_t i = 0; i < m->Count(); ++i) EXPECT_EQ(m->Item(i).kind, kinds[i]) << i;
  EXPECT_EQ(m->Item(6).lineEnds, 2u);
  EXPECT_EQ(m->Item(7).lineEnds, 3u);
  const auto& dot = static_cast<const TLumoDotCommand&>(m->Item(2));
  ASSERT_EQ(dot.entries.size(), 2u);
  EXPECT_EQ(dot.entries[0].value, 1);
  EXPECT_EQ(dot.entries[1].value, -1);
  const auto& uses = static_cast<const TLumoUsesCommand&>(m->Item(3));
  EXPECT_EQ(uses.names, (std::vector<std::string>{"lib\\tools", "Extra.mod"}));
  EXPECT_TRUE(static_cast<const TLumoUsesCommand&>(m->Item(4)).include);
  EXPECT_EQ(static_cast<const TLumoConstCommand&>(m->Item(6)).value, "'Hallo \"Welt\"'");
  const TLumoProcedure& beep = Proc(*m, "beep");
  EXPECT_TRUE(beep.external);
  EXPECT_EQ(beep.body.text, "LIBRARY \"libbeep.so\";");
  EXPECT_EQ(beep.resultClass, 4);
  const TLumoProcedure& matrix = Proc(*m, "Matrix");
  EXPECT_EQ(matrix.GetParam(0).dimensionCount, 2);
  EXPECT_EQ(matrix.GetParam(1).classCode, 0);  // unknown class, kept as written
  EXPECT_EQ(Proc(*m, "Leer").body.text, "");
  EXPECT_EQ(m->IndexOfProcedure("nichts"), -1);
}

TEST(ModuleParser, SyntaxErrorsTellWhereTheyLie) {
  struct Case {
    const char* text;
    uint16_t error;
    const char* argument;
    int line, column;
  } cases[] = {
      {"PROCEDURE A;\r\n  x := 1;\r\n", kErrMissing, "<endproc>", 2, 0},
      {"PROCEDURE A;", kErrMissing, "<endproc>", 0, 12},
      {"PROCEDURE A(x real);\r\nENDPROC;", kErrMissing, "real", 0, 14},
      {"\r\n  x := 1", kErrExpected, "PROCEDURE", 1, 2},
      {"USES a;\r\nPROCEDURE B(x: real) ~", kErrIllegalChar, "~", 1, 21},
      {"DLLPROC F(x: integer): real;\r\n\r\nPROCEDURE G;", kErrExpected, "LIBRARY", 2, 0},
      {"DLLPROC F LIBRARY beep", kErrMissing, "beep", 0, 18},
      {"CONST\tx = 'abc\r\n", kErrMissing, "'", 0, 10},
      {"PROCEDURE A(x: real[1,2,3,4,5,6,7,8,9,10,11]);\r\nENDPROC", kErrUnknown, "Too many dimensions", 0, 41},
  };
  const std::string longName = "PROCEDURE A" + std::string(40, 'b') + ";\r\nENDPROC";
  for (const Case& c : cases) {
    try {
      TLumoParser().Parse(c.text);
      ADD_FAILURE() << c.text;
    } catch (const EParser& e) {
      EXPECT_EQ(e.error, c.error) << c.text;
      EXPECT_STREQ(e.what(), c.argument) << c.text;
      EXPECT_EQ(e.line, c.line) << c.text;
      EXPECT_EQ(e.column, c.column) << c.text;
    }
  }
  try {
    TLumoParser().Parse(longName);
    ADD_FAILURE();
  } catch (const EParser& e) {
    EXPECT_EQ(e.error, kErrUnknown);
    EXPECT_STREQ(e.what(), "Name too long");
    EXPECT_EQ(e.column, 10);
  }
}

TEST(ModuleParser, StrictDotCommandsOnlyWhenNotLenient) {
  TLumoParser strict;
  strict.lenient = false;
  EXPECT_EQ(strict.Parse(".EC 1,ak 0;")->Count(), 1u);
  try {
    strict.Parse(".EC 2");
    ADD_FAILURE();
  } catch (const EParser& e) {
    EXPECT_EQ(e.error, kErrUnknown);
    EXPECT_STREQ(e.what(), "Argument 2 out of range (0 to 1)");
    EXPECT_EQ(e.column, 4);
  }
  EXPECT_THROW(strict.Parse(".XY"), EParser);
  TLumoParser lenient;
  const auto m = lenient.Parse(".EC 2,XY\r\n");
  EXPECT_EQ(lenient.WriteModule(*m), ".EC 2,XY\r\n");
  // An item on the same line stays apart from the dot command's last name.
  const std::string written = lenient.WriteModule(*lenient.Parse(".EC USES x;"));
  EXPECT_EQ(written, ".EC USES x;");
  EXPECT_EQ(lenient.Parse(written)->Count(), 2u);
}

TEST(ModuleParser, LineEndsOfEitherKindAndTabsInErrorLines) {
  TLumoParser parser;
  const auto m = parser.Parse("procedure A\n  b\nendproc\n..c\n");
  EXPECT_EQ(parser.WriteModule(*m), "procedure A;\r\n  b\r\nendproc;\r\n..c\r\n");
  try {
    parser.Parse("USES a;\r\n\tPROCEDURE B(x: real) %");
    ADD_FAILURE();
  } catch (const EParser& e) {
    EXPECT_EQ(e.lineText, "  PROCEDURE B(x: real) %");
    EXPECT_EQ(e.column, 22);
  }
}

TEST(ModuleParser, ProcedureComments) {
  TLumoParser parser;
  auto m = parser.Parse("..alt\r\nPROCEDURE A;\r\nENDPROC;\r\nPROCEDURE B;\r\nENDPROC;");
  EXPECT_EQ(m->GetProcComment("a"), "alt");
  EXPECT_EQ(m->GetProcComment("B"), "");
  ASSERT_TRUE(m->SetProcComment("B", "eins\r\nzwei\rdrei"));
  EXPECT_EQ(m->GetProcComment("B"), "einszweidrei");
  ASSERT_TRUE(m->SetProcComment("A", ""));
  EXPECT_FALSE(m->SetProcComment("C", "x"));
  const std::string written = parser.WriteModule(*m);
  EXPECT_EQ(written, "PROCEDURE A;\r\nENDPROC;\r\n..eins\r\n..zwei\r\n..drei\r\nPROCEDURE B;\r\nENDPROC;");
  // Read back, each comment line is an item of its own.
  EXPECT_EQ(parser.Parse(written)->GetProcComment("B"), "drei");
  EXPECT_TRUE(m->DeleteProcedure("a"));
  EXPECT_FALSE(m->DeleteProcedure("a"));
}

TEST(ModuleParser, Classes) {
  const TLumoContext context;
  EXPECT_EQ(context.ClassCode("Integer"), 4);
  EXPECT_EQ(context.ClassCode("number"), 2);
  EXPECT_EQ(context.ClassCode("float"), 0);
  EXPECT_EQ(context.ClassName(5), "object");
  EXPECT_EQ(context.ClassName(6), "");
}

}  // namespace
