#include <gtest/gtest.h>

#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/hostcmds.h"
#include "engine/language/listing.h"
#include "engine/language/tests/lumo_fixture.h"
#include "engine/language/variables.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using Bytes = std::vector<uint8_t>;
using namespace lumo_test;

// Expected code, built from pieces.
struct Code {
  Bytes b;
  Code(std::initializer_list<int> bytes) { add(bytes); }
  Code& add(std::initializer_list<int> bytes) {
    for (int x : bytes) b.push_back(uint8_t(x));
    return *this;
  }
  Code& real(double v) {
    uint8_t r[8];
    bytes::PutF64(r, v);
    b.insert(b.end(), r, r + 8);
    return *this;
  }
  Code& set(uint64_t s) {
    uint8_t r[8];
    bytes::PutU64(r, s);
    b.insert(b.end(), r, r + 8);
    return *this;
  }
  Code& text(const std::string& t) {
    b.push_back(uint8_t(t.size()));
    b.insert(b.end(), t.begin(), t.end());
    return *this;
  }
  Code& code(const Code& nested) {
    b.push_back(uint8_t(nested.b.size()));
    b.insert(b.end(), nested.b.begin(), nested.b.end());
    return *this;
  }
  Code& raw(const Code& nested) {
    b.insert(b.end(), nested.b.begin(), nested.b.end());
    return *this;
  }
};

int g_moduleLoads = 0;

class Compiler : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    InstallFixtureTables();
    Declare("a, X, arr: REAL");  // 2, 3, 4
    Declare("m: REAL[3,4]");     // 5
    Declare("o: OBJECT");        // 6
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::DefineProcedure("Rechne", 0, pos, err);
    Zet02::TCompilerHooks hooks{};
    hooks.findFont = [](std::string_view name) -> uint16_t { return name == "titel" ? 7 : 0; };
    hooks.loadModule = [](std::string_view name) {
      if (name != "Mod1") return false;
      ++g_moduleLoads;
      return true;
    };
    hooks.unloadModule = [] { --g_moduleLoads; };
    // Only these services: the code below is what the compiler makes alone,
    // without the interpreter's compile-time runs.
    Zet02::ResetCompilerHooks();
    Zet02::SetCompilerHooks(hooks);
  }
  void TearDown() override {
    Zet02::ResetCompilerHooks();
    zettest::EngineTest::TearDown();
  }
  static void Declare(const std::string& text) {
    size_t pos = 1;
    uint16_t err = 0;
    ZetVars::ParseVarDeclaration(0, text, pos, err, false);
    ASSERT_EQ(err, 0) << text;
  }
  struct Result {
    Bytes code;
    uint64_t tables = 0;
    uint16_t error = 0;
    size_t end = 0;
  };
  static Result Compile(const std::string& source) {
    ShortStr text(source);
    Result r;
    r.error = Zet02::CompileLine(text, r.tables, r.end);
    r.code.assign(text.data(), text.data() + text.size());
    return r;
  }
  static std::string Listing(const Bytes& code) {
    size_t column = 0;
    return Zet02::CodeToText(std::string_view(reinterpret_cast<const char*>(code.data()), code.size()), 0,
                             code.size(), column)
        .str();
  }
};

struct ByteCase {
  const char* source;
  Code code;
};

TEST_F(Compiler, ConstantsAndOperators) {
  const ByteCase cases[] = {
      {"5", {67, 5}},
      {"300", {66, 44, 1}},
      {"0", Code{64}.real(0)},
      {"2.5", Code{64}.real(2.5)},
      {"70000", Code{64}.real(70000)},
      {"65535", {66, 255, 255}},
      {"12:30", {66, 238, 2}},
      {"00:00", {67, 0}},
      {"1.1.2000", Code{64}.real(730486)},
      {"5.", {67, 5, 46}},
      {"'Meier'", Code{65}.text("Meier")},
      {"\"a'b\"", Code{65}.text("a'b")},
      {"^M", {65, 1, 13}},
      {"Ja + Yes + Nein + no", {67, 1, 43, 67, 1, 43, 67, 0, 43, 67, 0}},
      {"a := 1", {255, 2, 0, 253, 67, 1}},
      {"X := 2.5", Code{255, 3, 0, 253, 64}.real(2.5)},
      {"X <> 3", {255, 3, 0, 131, 67, 3}},
      {"X # 3", {255, 3, 0, 131, 67, 3}},
      {"X >< 3", {255, 3, 0, 131, 67, 3}},
      {"!()*+,-/;\\]_}~", {33, 40, 41, 42, 43, 44, 45, 47, 59, 92, 93, 95, 125, 126}},
      {"1&2|3?4=5#6", {67, 1, 44, 67, 2, 134, 67, 3, 135, 67, 4, 130, 67, 5, 131, 67, 6}},
      {"1<2<=3>4>=5", {67, 1, 128, 67, 2, 129, 67, 3, 133, 67, 4, 132, 67, 5}},
      {"1 and 2 und 3 Or 4 oder 5 Not 6 Nicht 7",
       {67, 1, 44, 67, 2, 44, 67, 3, 92, 67, 4, 92, 67, 5, 126, 67, 6, 126, 67, 7}},
      {"1 von 2 bis 3 upto 4 Less 5 Kleiner 6 Equal 7 ist 8",
       {67, 1, 127, 67, 2, 129, 67, 3, 129, 67, 4, 128, 67, 5, 128, 67, 6, 130, 67, 7, 130, 67, 8}},
      {"1 Not_Equal 2 ungleich 3 From 4 Ab 5 Greater 6 Gr\xF6\xDF" "er 7",
       {67, 1, 131, 67, 2, 131, 67, 3, 132, 67, 4, 132, 67, 5, 133, 67, 6, 133, 67, 7}},
      {"1 Has 2 Hat 3 Enth\xE4lt 4 Like 5 wie 6 similar 7 \xC4hnlich 8 in 9 Mod 10 Div 11",
       {67, 1, 134, 67, 2, 134, 67, 3, 134, 67, 4, 135, 67, 5, 135, 67, 6, 136, 67, 7, 136, 67, 8, 138, 67, 9,
        153, 67, 10, 154, 67, 11}},
      {"HL VL EVL VX C_Form L_Form R_Form", {73, 74, 75, 76, 88, 89, 90}},
      {"L 10 R 5", {89, 67, 10, 90, 67, 5}},
      {"Name:10", {185, 1, 2, 0, 58, 67, 10}},
      {"Preis:10:2F", {185, 1, 8, 0, 58, 67, 10, 58, 67, 2, 70}},
      {"Preis: 300 _", {185, 1, 8, 0, 58, 66, 44, 1, 95}},
      {"Name:10.", {185, 1, 2, 0, 58, 67, 10, 46}},
      {"1 .. Kommentar", {67, 1}},
      {".. nur Kommentar", {}},
      {"\t1\r\n", {67, 1}},
      // Behind a statement-separating ";" a whole number is a word constant:
      // ";" and a byte constant is the rounding suffix.
      {"1;2", {67, 1, 59, 66, 2, 0}},
      {"1; 300; 00:00", {67, 1, 59, 66, 44, 1, 59, 66, 0, 0}},
      {"1;Nein;Ja", {67, 1, 59, 66, 0, 0, 59, 66, 1, 0}},
      {"1;-2", {67, 1, 59, 45, 67, 2}},
  };
  for (const ByteCase& c : cases) {
    const Result r = Compile(c.source);
    EXPECT_EQ(r.error, 0) << c.source;
    EXPECT_EQ(r.code, c.code.b) << c.source;
    EXPECT_EQ(Listing(r.code).find(Zet02::kUndefined), std::string::npos) << c.source;
  }
}

TEST_F(Compiler, ReferencesAndCalls) {
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("PRINTFORM:R( R)", 230, 300, 1), 0);
  const ByteCase cases[] = {
      {"Name = 'Meier' und Alter >= 18",
       Code{185, 1, 2, 0, 130, 65}.text("Meier").add({44, 185, 1, 4, 0, 132, 67, 18})},
      {"Rot", {185, 1, 5, 0, 130, 67, 1}},
      {"Farbe = Rot", {185, 1, 5, 0, 130, 67, 1}},
      {"Farbe = Gr\xFCn", {185, 1, 5, 0, 130, 67, 2}},
      {"Preis * Rot", {185, 1, 8, 0, 42, 67, 1}},
      {"Farbe in [Rot, Blau]", Code{185, 1, 5, 0, 138, 91}.code({67, 1, 44, 67, 3})},
      {"Auftrag(Betrag)", {68, 2, 40, 185, 2, 3, 0, 41}},
      {"Auftrag(Betrag) + Name", {68, 2, 40, 185, 2, 3, 0, 41, 43, 185, 1, 2, 0}},
      {"Betrag", {185, 2, 3, 0}},  // found in the visible tables
      {"Auftrag.Kunde.Name", {254, 1, 2, 2, 0, 1, 2, 0}},
      {"Auftraege.Betrag", {254, 2, 1, 14, 0, 3, 2, 0, 2, 3, 0}},
      {"$Name + $Kunden + $a", {185, 1, 2, 0, 43, 68, 1, 43, 255, 2, 0}},
      {"m[1,2]", {251, 5, 0, 2, 91, 67, 1, 44, 67, 2, 93}},
      {"heute", {255, 2, 2}},
      {"Upper(Name)", {201, 3, 40, 185, 1, 2, 0, 41}},
      {"Tag(heute) + Today()", {200, 1, 40, 255, 2, 2, 41, 43, 207, 33, 40, 41}},
      {"GETSTARS(arr)", {220, 59, 40, 255, 4, 0, 41}},
      {"Rechne + Default", {226, 1, 0, 43, 226, 0, 0}},
      {"@titel", {72, 7, 0}},
      {"PRINTFORM(1)", Code{230, 44, 1, 1}.text("R R").add({40, 67, 1, 41})},
      {"o.PrintForm", Code{181, 6, 0, 46, 230, 44, 1, 1}.text("R R")},
  };
  for (const ByteCase& c : cases) {
    const Result r = Compile(c.source);
    EXPECT_EQ(r.error, 0) << c.source;
    EXPECT_EQ(r.code, c.code.b) << c.source;
    EXPECT_EQ(Listing(r.code).find(Zet02::kUndefined), std::string::npos) << c.source;
  }
  EXPECT_EQ(Compile("Auftrag.Kunde.Name").tables, 0x3u);
  EXPECT_EQ(Compile("Auftraege.Betrag").tables, 0x7u);
  EXPECT_EQ(Compile("Upper(Name)").tables, 0x1u);
}

TEST_F(Compiler, NestedConstructs) {
  const Code alter{185, 1, 4, 0};
  const ByteCase cases[] = {
      {"Print(Name)", Code{210}.code({185, 1, 2, 0})},
      {"Fields(Name, Ort)", Code{248}.code({185, 1, 2, 0, 44, 185, 1, 3, 0})},
      {"Alles", {211}},
      {"Sel(Alter > 5)", Code{216}.set(1).code({185, 1, 4, 0, 133, 67, 5})},
      {"Link(Betrag)S", Code{217}.set(2).code({185, 2, 3, 0}).add({71})},
      {"Exists(Betrag) + EsGibt(Alter) + Sub(Alter)",
       Code{218}.set(2).code({185, 2, 3, 0}).add({43, 218}).set(1).code(alter).add({43, 218}).set(1).code(alter)},
      {"LinkCount(Alter) + LinkSum(Alter)", Code{219}.set(1).code(alter).add({43, 225}).set(1).code(alter)},
      {"?\?(Alter)", Code{135, 216}.set(1).code(alter)},
      {"Choice(Alter)", Code{213, 0}.raw(alter).add({0})},
      {"XWert(1)", {213, 0, 67, 1, 0}},
      {"NLoop(3)", Code{215, 250}.code({67, 3}).add({0})},
      {"ExecMacro(Mod1, 5)", Code{247, 40, 65}.text("Mod1").add({44, 67, 5, 41})},
  };
  for (const ByteCase& c : cases) {
    const Result r = Compile(c.source);
    EXPECT_EQ(r.error, 0) << c.source;
    EXPECT_EQ(r.code, c.code.b) << c.source;
    EXPECT_EQ(Listing(r.code).find(Zet02::kUndefined), std::string::npos) << c.source;
  }
  EXPECT_EQ(g_moduleLoads, 0);  // loaded for the arguments only
  // Nested tables join the line except under the linked aggregates.
  EXPECT_EQ(Compile("Print(Betrag)").tables, 0x2u);
  EXPECT_EQ(Compile("Sel(Betrag)").tables, 0u);
  EXPECT_EQ(Compile("Alles").tables, 0x1u);
}

TEST_F(Compiler, AccumulatorsBecomeHiddenVariables) {
  const Result first = Compile("Sum(Preis)");
  const Result again = Compile("Sum(Preis)");
  const Result other = Compile("Sum[2](Preis)");
  const Result max = Compile("Max(Preis)");
  ASSERT_EQ(first.error, 0);
  ASSERT_EQ(first.code.size(), 3u);
  EXPECT_EQ(first.code[0], 255);
  EXPECT_EQ(first.code, again.code);
  EXPECT_NE(first.code, other.code);
  EXPECT_NE(first.code, max.code);
  const uint16_t index = bytes::GetU16(first.code.data() + 1);
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
  EXPECT_EQ(info.flags & ZetVars::kFlagWide, ZetVars::kFlagWide);
  EXPECT_EQ(info.type, ZetVars::kTypeReal);
  EXPECT_EQ(info.word1, 1u);  // bound to the tables of its expression
  EXPECT_EQ(Listing(first.code), "Sum");
  // Code bytes with a "." never make the hidden name look qualified.
  EXPECT_EQ(Compile("Count(Name:10.)").code, Compile("Count(Name:10.)").code);
}

TEST_F(Compiler, ResolutionOrder) {
  // A name that is both a variable and a field compiles as the variable.
  Declare("Ort: STRING");
  EXPECT_EQ(Compile("Ort").code, (Bytes{255, 7, 0}));
  EXPECT_EQ(Compile("$Ort").code, (Bytes{185, 1, 3, 0}));
  // A table context changes the current table up to its ")" only.
  EXPECT_EQ(Compile("Kette(Name) + Name").code, (Bytes{68, 4, 40, 185, 4, 3, 0, 41, 43, 185, 1, 2, 0}));
  EXPECT_EQ(ZetTable::CurrentHandle(), kKunden);
}

TEST_F(Compiler, DollarAndANumberNamesTheNthUserField) {
  // The runtime names fields this way in memo transfers and browse columns.
  const ZetTable::TZetTable* t = ZetTable::Table(kKunden);
  std::vector<uint16_t> user;
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->IsUserField(n)) user.push_back(n);
  ASSERT_GE(user.size(), 3u);
  for (size_t k = 0; k < 3; ++k) {
    const Result r = Compile("$" + std::to_string(k + 1));
    EXPECT_EQ(r.error, 0) << k;
    EXPECT_EQ(r.code, (Bytes{185, 1, uint8_t(user[k]), uint8_t(user[k] >> 8)})) << k;
    EXPECT_EQ(r.tables, 0x1u);
  }
  EXPECT_EQ(Compile("$2 + 1").code, (Bytes{185, 1, uint8_t(user[1]), 0, 43, 67, 1}));
  for (const std::string& bad : std::vector<std::string>{"$0", "$" + std::to_string(user.size() + 1), "$99999", "$1x"})
    EXPECT_EQ(Compile(bad).error, 50) << bad;
}

TEST_F(Compiler, HostNamesThroughTheDispatchCallBacks) {
  LumoHost::InstallDispatchProcs(
      [](uint16_t flag, const char* name) -> int16_t {
        if (std::strcmp(name, "Caption") == 0) return 12;
        if (std::strcmp(name, "Close") == 0 && flag == 32) return 13;
        return 0;
      },
      [](uint16_t, uint16_t id, char* area) -> int16_t {
        std::strcpy(area, id == 12 ? "Caption" : "Close");
        area[41] = id == 12 ? 1 : 0;
        area[42] = char(0xE8);  // kind 1000
        area[43] = 3;
        return 0;
      },
      nullptr, nullptr, nullptr);
  EXPECT_EQ(Compile("Caption").code, (Bytes{184, 232, 3, 46, 182, 12, 0}));
  EXPECT_EQ(Compile("o.Close").code, (Bytes{181, 6, 0, 46, 183, 13, 0}));
  EXPECT_EQ(Listing(Compile("o.Close").code), "o.Close");
  // Without a host a bare unknown name stays unknown.
  LumoHost::InstallDispatchProcs(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_EQ(Compile("Caption").error, 50);
}

TEST_F(Compiler, BraceDefinitionsNestWithoutDisturbingTheLine) {
  const Result r = Compile("Name + {b = Alter + 1} + Ort");
  ASSERT_EQ(r.error, 0);
  const uint16_t b = ZetVars::FindVariable("b");
  ASSERT_NE(b, 0);
  EXPECT_EQ(r.code, (Bytes{185, 1, 2, 0, 43, 255, uint8_t(b), 0, 43, 185, 1, 3, 0}));
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(b);
  EXPECT_EQ(info.type, ZetVars::kTypeExpression);
  EXPECT_EQ(info.text, std::string("\xB9\x01\x04\x00\x2B\x43\x01", 7));
  EXPECT_EQ(info.word1, 1u);
  // A compile-time run that compiles a line of its own leaves the outer
  // compilation as it was.
  Zet02::TCompilerHooks hooks{};
  hooks.execute = [](std::string_view, int mode, Zet02::TRunValue& value) {
    EXPECT_EQ(mode, 0);
    ShortStr inner("Auftrag(Betrag) + 'xyz'");
    uint64_t set = 0;
    Zet02::CompileExpression(inner, set);
    value.type = 1;
    value.text = "ab";
    return 0;
  };
  Zet02::SetCompilerHooks(hooks);
  const Result nested = Compile("Kette(Name + {c = Name}) + Choice(1) + Name");
  ASSERT_EQ(nested.error, 0);
  const uint16_t c = ZetVars::FindVariable("c");
  EXPECT_EQ(nested.code, (Bytes{68, 4, 40, 185, 4, 3, 0, 43, 255, uint8_t(c), 0, 41, 43, 213, 2, 'a', 'b', 67, 1,
                                0, 43, 185, 1, 2, 0}));
  EXPECT_EQ(ZetVars::GetVarInfo(c).text, std::string("\xB9\x04\x03\x00", 4));
  // The brace routine on its own (the job compiler's), and the collect
  // switch that lets an expression variable bring its tables along.
  uint64_t set = 0;
  uint16_t error = 0;
  const uint16_t w = Zet02::CompileBrace("{w = Auftrag(Betrag)}", set, error);
  ASSERT_EQ(error, 0);
  EXPECT_EQ(ZetVars::GetVarInfo(w).name, "w");
  EXPECT_EQ(set, 0x2u);
  EXPECT_EQ(Compile("w").tables, 0u);
  Zet02::SetCollectTables(true);
  EXPECT_EQ(Compile("w").tables, 0x2u);
  Zet02::SetCollectTables(false);
  // A failing compile-time run is an error of the line, at the brace.
  hooks.execute = [](std::string_view, int, Zet02::TRunValue&) { return 43; };
  Zet02::SetCompilerHooks(hooks);
  const Result failed = Compile("1 + {d = 5}");
  EXPECT_EQ(failed.error, 43);
  EXPECT_EQ(ZetVars::FindVariable("d"), 0);
  EXPECT_EQ(ZetVars::CompileError().position, 5);
}

struct ErrorCase {
  std::string source;
  uint16_t error;
  const char* argument;
  uint16_t position;
};

TEST_F(Compiler, ErrorsCarryArgumentAndPosition) {
  std::string longSum;
  for (int i = 0; i < 130; ++i) longSum += "1+";
  std::string longPath = "Kette";
  for (int i = 0; i < 17; ++i) longPath += ".Next";
  longPath += ".Name";
  std::string okPath = "Kette";
  for (int i = 0; i < 16; ++i) okPath += ".Next";
  okPath += ".Name";
  const ErrorCase cases[] = {
      {"1.2.3.4", 46, "", 1},
      {"1 + 25:99", 46, "", 5},
      {"%", 45, "", 1},
      {"1 + `", 45, "", 5},
      {"(1", 56, ")", 1},
      {"1 + 'abc", 56, "'", 5},
      {"Foo", 50, "Foo", 1},
      {"1 + Unbekannt", 50, "Unbekannt", 5},
      {std::string(50, 'Q'), 50, "QQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQQ", 1},
      {"@nix", 51, "", 5},
      {"Print 5", 56, "(", 7},
      {"Sum[2(Preis)", 56, "]", 6},
      {"{q 5}", 54, "", 4},
      {"ExecMacro(Nothing)", 20, "Nothing", 11},
      {"ExecMacro()", 20, "", 11},
      {longSum, 60, "", 0},
      {longPath, 60, "", 0},
      {"1 + ^", 45, "", 5},
  };
  for (const ErrorCase& c : cases) {
    const Result r = Compile(c.source);
    EXPECT_EQ(r.error, c.error) << c.source;
    EXPECT_EQ(ZetVars::CompileError().code, c.error) << c.source;
    EXPECT_EQ(ZetVars::CompileError().argument, c.argument) << c.source;
    if (c.position != 0) {
      EXPECT_EQ(ZetVars::CompileError().position, c.position) << c.source;
    }
    EXPECT_EQ(Common::LastError(), -int32_t(c.error)) << c.source;
    EXPECT_LT(r.code.size(), 256u);
  }
  EXPECT_EQ(Compile(okPath).error, 0);
  EXPECT_EQ(g_moduleLoads, 0);
  // The next compilation clears the held error.
  EXPECT_EQ(Compile("1").error, 0);
  EXPECT_EQ(ZetVars::CompileError().code, 0);
}

TEST_F(Compiler, RecordVariablesHoldOneRecordOfAnOpenTable) {
  Declare("rec: RECORD Kunden");
  const ZetVars::TArrayDesc* d = ZetVars::GetArrayDesc(ZetVars::FindVariable("rec"));
  ASSERT_NE(d, nullptr);
  const uint16_t length = ZetTable::Table(kKunden)->recordLength;
  EXPECT_EQ(d->bounds[0], (length - 1) / 8);
  EXPECT_EQ(d->dataSize, ((length - 1) / 8 + 1) * 8);
  EXPECT_EQ(Compile("rec[0]").code, (Bytes{251, 7, 0, 1, 91, 64, 0, 0, 0, 0, 0, 0, 0, 0, 93}));
}

TEST_F(Compiler, NeverLooksBehindTheText) {
  // Stale bytes behind the text's length must not make "<" into "<=".
  ShortStr text("a<=");
  text.truncate(2);
  text.data()[2] = '=';
  uint64_t tables = 0;
  ASSERT_EQ(Zet02::CompileExpression(text, tables), 0);
  EXPECT_EQ(text.view(), std::string_view("\xFF\x02\x00\x80", 4));
  ShortStr colon("a:");
  colon.data()[2] = '=';
  ASSERT_EQ(Zet02::CompileExpression(colon, tables), 0);
  EXPECT_EQ(colon.view(), std::string_view("\xFF\x02\x00\x3A", 4));
}

TEST_F(Compiler, CompilationsStartedByCompileTimeRunsAreBounded) {
  Zet02::TCompilerHooks hooks{};
  hooks.execute = [](std::string_view, int, Zet02::TRunValue&) -> int {
    ShortStr again("{z = 1}");
    uint64_t set = 0;
    return Zet02::CompileExpression(again, set);
  };
  Zet02::SetCompilerHooks(hooks);
  EXPECT_EQ(Compile("{z = 1}").error, 60);
}

TEST_F(Compiler, VariableValuesAndServicesForTheIndexLayer) {
  Zet02::TRunValue value;
  ZetVars::TVarValue number;
  number.number = 4.5;
  ZetVars::SetVariable(ZetVars::FindVariable("a"), ZetVars::kTypeReal, number, 0);
  EXPECT_EQ(Zet02::GetVariableValue(ZetVars::FindVariable("a"), 0, value), 0);
  EXPECT_EQ(value.type, 3);
  EXPECT_EQ(value.number, 4.5);
  EXPECT_EQ(Zet02::GetVariableValue(ZetVars::FindSystemVariable("ToMargin"), 0, value), 0);
  EXPECT_EQ(value.number, 65534);
  EXPECT_EQ(Zet02::GetVariableValue(999, 0, value), 25);
  // An expression variable answers with its code's run.
  Zet02::TCompilerHooks hooks{};
  hooks.execute = [](std::string_view code, int mode, Zet02::TRunValue& v) {
    v.type = 1;
    v.text = std::to_string(code.size()) + "/" + std::to_string(mode);
    return 0;
  };
  Zet02::SetCompilerHooks(hooks);
  ASSERT_EQ(Compile("{e = Name + 'x'}").error, 0);
  EXPECT_EQ(Zet02::GetVariableValue(ZetVars::FindVariable("e"), 3, value), 0);
  EXPECT_EQ(value.text, "8/3");
  EXPECT_EQ(Zet02::GetVariableType(ZetVars::FindVariable("e")), 1);
  Zet00::TKeyValue key;
  ASSERT_TRUE(Zet00::VariableValueHook(ZetVars::FindVariable("a"), key));
  EXPECT_EQ(key.number, 4.5);
  EXPECT_EQ(Zet00::VariableNameHook(ZetVars::FindVariable("a")), "a");
  EXPECT_TRUE(Zet00::SameExpressionHook(kAuftrag, "Betrag * 2", "BETRAG*2"));
  EXPECT_FALSE(Zet00::SameExpressionHook(kAuftrag, "Betrag * 2", "Betrag * 3"));
  EXPECT_FALSE(Zet00::SameExpressionHook(kAuftrag, "Unbekannt", "Unbekannt"));
  EXPECT_EQ(ZetTable::CurrentHandle(), kKunden);
}

TEST_F(Compiler, TooManyVariablesForABrace) {
  while (ZetVars::VariableCount() < ZetVars::kMaxProgramVars)
    ZetVars::DefineVariable("v" + std::to_string(ZetVars::VariableCount()), false, 0, 0, 3, nullptr, false);
  EXPECT_EQ(Compile("{neu = 1}").error, 53);
  EXPECT_EQ(Compile("Sum(Alter)").error, 53);
  EXPECT_EQ(Compile("{a = 1}").error, 0);  // an existing name is redefined
}

TEST_F(Compiler, ListingTurnsCodeBackIntoText) {
  struct Case {
    const char* source;
    const char* listing;
  };
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("PRINTFORM:R( R)", 230, 300, 1), 0);
  const Case cases[] = {
      {"Name = 'Meier' und Alter >= 18", "$KUNDEN.NAME Equal \"Meier\", $KUNDEN.ALTER Ab 18"},
      {"a := 2.5 * X", "a:=2.5*X"},
      {"Upper(Name) + Day(heute)", "Gro\xDF ($KUNDEN.NAME)+Day (heute DateStr (Today ))"},
      {"Auftrag.Kunde.Name", "$AUFTRAG.KUNDE.NAME"},
      {"Auftrag(Betrag)", "AUFTRAG($AUFTRAG.BETRAG)"},
      {"Farbe in [Rot, Blau]", "$KUNDEN.FARBE in [1, 3]"},
      {"Print(Name)", "Print ($KUNDEN.NAME)"},
      {"Sel(Alter > 5)", "Sel ($KUNDEN.ALTER Greater 5)"},
      {"NLoop(3)", "NLoop (3)"},
      {"PRINTFORM(1) + Rechne", "PRINTFORM(1)+Rechne"},
      {"m[1,2]", "m[1, 2]"},
      {"~X", "Nicht X"},
  };
  for (const Case& c : cases) {
    const Result r = Compile(c.source);
    ASSERT_EQ(r.error, 0) << c.source;
    EXPECT_EQ(Listing(r.code), c.listing) << c.source;
  }
  EXPECT_EQ(Listing({185, 9, 1, 0}), "$!undef!.!undef!");
  EXPECT_EQ(Listing({185, 1, 99, 0}), "$KUNDEN.!undef!");
  EXPECT_EQ(Listing({68, 40}), "!undef!");
  EXPECT_EQ(Listing({1}), "!undef!");
  EXPECT_EQ(Listing({252, 3, 67, 1}), "1");
  // Truncated operands end the listing instead of reading on.
  EXPECT_EQ(Listing({67, 1, 43, 185, 1}), "1+");
  EXPECT_EQ(Listing({216, 1, 2}), "Sel ");
}

TEST_F(Compiler, FormatOperandsAndErrorReports) {
  const std::string code("\x3A\x43\x0A\x3A\x42\x2C\x01\x3A\x41", 9);
  size_t pos = 0;
  uint16_t err = 0;
  EXPECT_EQ(Zet02::ParseFormatSuffix(pos, code, err), 11);
  EXPECT_EQ(pos, 3u);
  EXPECT_EQ(Zet02::ParseFormatSuffix(pos, code, err), 301);
  EXPECT_EQ(Zet02::ParseFormatSuffix(pos, code, err), 1);
  EXPECT_EQ(err, 41);
  pos = 1;
  EXPECT_EQ(Zet02::ParseFormatSuffix(pos, code, err), 0);  // no ":" here
  const std::string truncated("\x3A\x42\x2C", 3);
  pos = 0;
  Zet02::ParseFormatSuffix(pos, truncated, err);
  EXPECT_EQ(err, 41);
  const Result r = Compile("1 + 2");
  Zet02::ReportCompileError(43, std::string_view(reinterpret_cast<const char*>(r.code.data()), r.code.size()), 0,
                            true, 3);
  EXPECT_EQ(ZetVars::CompileError().line, "1+2");
  EXPECT_EQ(ZetVars::CompileError().position, 3);
  EXPECT_TRUE(Zet02::TypesCompatible(6, 3));
  EXPECT_FALSE(Zet02::TypesCompatible(6, 1));
  EXPECT_TRUE(Zet02::TypesCompatible(32, 1001));
  EXPECT_FALSE(Zet02::TypesCompatible(32, 3));
}

}  // namespace
