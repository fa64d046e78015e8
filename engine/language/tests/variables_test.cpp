#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/ramfiles.h"
#include "engine/language/variables.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace ZetVars;

class Variables : public zettest::EngineTest {
 protected:
  uint16_t Declare(const std::string& text) {
    size_t pos = 1;
    uint16_t err = 0;
    ParseVarDeclaration(0, text, pos, err, false);
    return err;
  }
  std::string NameOf(uint16_t i) { return std::string(GetVarInfo(i).name); }
};

TEST_F(Variables, DeclarationsDefineNamesInOrder) {
  EXPECT_EQ(Declare("a, b, c: REAL"), 0);
  EXPECT_EQ(VariableCount(), 4);
  EXPECT_EQ(NameOf(2), "a");
  EXPECT_EQ(NameOf(4), "c");
  EXPECT_EQ(GetVarInfo(3).type, kTypeReal);
  EXPECT_EQ(Declare("VAR s: string"), 0);
  EXPECT_EQ(GetVarInfo(5).type, kTypeString);
  EXPECT_EQ(Declare("i: INTEGER"), 0);
  EXPECT_EQ(GetVarInfo(6).type, kTypeReal);
  EXPECT_EQ(FindVariable("b"), 3);
  EXPECT_EQ(FindVariable("B"), 0);  // names compare exactly
}

struct DeclCase {
  const char* text;
  uint16_t error;
  uint16_t position;  // of the compile-error record, 0: no record
  const char* argument;
};

TEST_F(Variables, DeclarationErrors) {
  const DeclCase cases[] = {
      {"x, x2, y: REAL", 0, 0, ""},
      {"q, x: REAL", 71, 4, ""},              // x exists: 71 at x, q stays defined
      {"u, VAR v: REAL", 45, 0, ""},          // VAR after the first name
      {"w REAL", 56, 3, ":"},
      {"z: FLOAT", 44, 9, "FLOAT"},
      {"Fehler: REAL", 71, 1, ""},
      {"big: STRING[16383]", 127, 0, ""},
      {"open: REAL[3", 56, 0, "]"},
      {"dims: REAL[1,1,1,1,1,1,1,1,1,1,1]", 127, 0, ""},
      {"", 45, 1, ""},
  };
  for (const DeclCase& c : cases) {
    Common::ResetLastError();
    RecordCompileError(0, "", 0);
    EXPECT_EQ(Declare(c.text), c.error) << c.text;
    if (c.error != 0 && c.position != 0) {
      EXPECT_EQ(CompileError().position, c.position) << c.text;
    }
    if (c.error == 56 || c.error == 44) {
      EXPECT_EQ(Common::ErrorArgument().view().find(c.argument) != std::string_view::npos, true) << c.text;
    }
  }
  EXPECT_NE(FindVariable("q"), 0);
  EXPECT_EQ(FindVariable("u"), 0);
}

TEST_F(Variables, ArraySizes) {
  ASSERT_EQ(Declare("bits: TBITS[99]"), 0);
  ASSERT_EQ(Declare("grid: REAL[9,9]"), 0);
  ASSERT_EQ(Declare("names: STRING[10]"), 0);
  EXPECT_EQ(GetArrayDesc(FindVariable("bits"))->dataSize, 13);
  EXPECT_EQ(GetArrayDesc(FindVariable("grid"))->dataSize, 800);
  EXPECT_EQ(GetArrayDesc(FindVariable("grid"))->dimensions, 2);
  EXPECT_EQ(GetArrayBound(2, FindVariable("grid")), 9);
  EXPECT_EQ(GetArrayDesc(FindVariable("names"))->dataSize, 44);
  EXPECT_EQ(GetVarInfo(FindVariable("grid")).flags & kFlagArray, kFlagArray);
}

TEST_F(Variables, SetVariableTypesAndErrorVariable) {
  ASSERT_EQ(Declare("o: OBJECT"), 0);
  const uint16_t o = FindVariable("o");
  TVarValue v;
  v.text = "abc";
  EXPECT_EQ(SetVariable(o, kTypeString, v, 0), 44);
  EXPECT_EQ(Common::ErrorArgument().view().find("STRING->OBJECT") != std::string_view::npos, true);
  EXPECT_EQ(GetVarInfo(o).type, kTypeString);
  EXPECT_EQ(GetVarInfo(o).text, "abc");
  TVarValue n;
  n.number = 7;
  EXPECT_EQ(SetVariable(o, kTypeReal, n, 12), 12);
  EXPECT_EQ(GetSystemVarInt(kSysFehler), 12);
  SetErrorCheckSwitch(true);
  EXPECT_EQ(SetVariable(o, kTypeReal, n, 13), 0);
  SetErrorCheckSwitch(false);
  EXPECT_EQ(SetVariable(o, kTypeReal, n, 65535), 0);
  EXPECT_EQ(GetSystemVarInt(kSysFehler), 0);
  SetSystemVarInt(kSysSeite, 7);
  EXPECT_EQ(GetSystemVarInt(kSysSeite), 7);
  EXPECT_EQ(GetSystemVarInt(kSysToMargin), 65534);
  ASSERT_EQ(Declare("arr: REAL[3]"), 0);
  EXPECT_EQ(SetVariable(FindVariable("arr"), kTypeReal, n, 0), 56);
  EXPECT_EQ(GetVarInfo(FindSystemVariable("heute")).text, std::string("\xC8\x05\x28\xCF\x21\x29", 6));
}

TEST_F(Variables, QualifiedNamesAndFrames) {
  uint16_t err = 0;
  ASSERT_TRUE(AddModuleName("LIB", err));
  EXPECT_FALSE(AddModuleName("lib", err));
  SetCurrentModule(1);
  ASSERT_EQ(Declare("a: REAL"), 0);
  SetCurrentModule(2);
  ASSERT_EQ(Declare("a: REAL"), 0);  // another module may reuse the name
  SetCurrentModule(1);
  EXPECT_EQ(FindVariable("lib.a"), 2);
  EXPECT_EQ(FindVariable("a"), 3);
  EXPECT_EQ(FindVariable("other.a"), 0);
  // A frame: variables beyond the base come back relative.
  SetLocalBase(2);
  EXPECT_EQ(FindVariable("a"), kLocalBit | 1);
  EXPECT_EQ(ResolveVarIndex(kLocalBit | 1), 3);
  SetLocalBase(0);
}

TEST_F(Variables, ProceduresAndParameters) {
  size_t pos = 1;
  uint16_t err = 0;
  const uint16_t p = DefineProcedure("Rechne(a, b: REAL; VAR s: STRING; VAR arr: REAL[4]): REAL", 100, pos, err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(FindProcedure("rechne"), p);
  const TProcedure* proc = GetProcedure(p);
  EXPECT_EQ(proc->paramCount, 4);
  EXPECT_EQ(proc->resultType, kTypeReal);
  EXPECT_TRUE(proc->params[2].byRef);
  EXPECT_EQ(proc->params[3].desc.dataSize, 40);
  EXPECT_EQ(FindVariable("s"), 4);  // the body is compiled against the parameters
  // A quoted name: its parameters and result type follow the closing quote.
  pos = 1;
  const uint16_t quoted = DefineProcedure("'Zwei Worte'(n: REAL; t: STRING): STRING", 0, pos, err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(FindProcedure("Zwei Worte"), quoted);
  EXPECT_EQ(GetProcedure(quoted)->paramCount, 2);
  EXPECT_EQ(GetProcedure(quoted)->resultType, kTypeString);
  pos = 1;
  DefineProcedure("Bad(x: REAL[3])", 0, pos, err);
  EXPECT_EQ(err, 89);
  pos = 1;
  DefineProcedure("Open(x: REAL", 0, pos, err);
  EXPECT_EQ(err, 56);
}

TEST_F(Variables, CallsInstantiateParametersAsAliasesForVar) {
  size_t pos = 1;
  uint16_t err = 0;
  const uint16_t p = DefineProcedure("P(n: REAL; VAR out: STRING)", 0, pos, err);
  ASSERT_EQ(err, 0);
  const uint16_t before = VariableCount();
  ASSERT_EQ(InstantiateParameters(p, true), 0);
  EXPECT_EQ(VariableCount(), before + 2);
  const TProcedure* proc = GetProcedure(p);
  ASSERT_EQ(proc->params[1].instances.size(), 1u);
  const uint16_t alias = proc->params[1].instances.back();
  EXPECT_EQ(GetVarInfo(alias).flags & kFlagAlias, kFlagAlias);
  EXPECT_EQ(FindVariable("out"), before);  // the compile-time instance: aliases are skipped
  EXPECT_EQ(GetVarInfo(proc->params[0].instances.back()).flags & kFlagOwnsName, 0);
  DropParameterInstances(p);
  EXPECT_TRUE(GetProcedure(p)->params[1].instances.empty());
  // A full table refuses the instances.
  while (VariableCount() < kMaxProgramVars) DefineVariable("f", false, 0, 0, kTypeReal, nullptr, false);
  EXPECT_EQ(InstantiateParameters(p, true), kErrTooManyVars);
}

TEST_F(Variables, ScopesNestAndFree) {
  ASSERT_EQ(Declare("outer: REAL"), 0);
  size_t pos = 1;
  uint16_t err = 0;
  DefineProcedure("P", 0, pos, err);
  PushVarScope();
  EXPECT_EQ(VariableCount(), 1);
  EXPECT_EQ(FindVariable("outer"), 0);
  EXPECT_EQ(ProcedureCount(), 0);
  ASSERT_EQ(Declare("inner: STRING[100]"), 0);
  PushVarScope();
  ASSERT_EQ(Declare("deep: REAL"), 0);
  PopVarScope();
  EXPECT_EQ(FindVariable("inner"), 2);
  PopVarScope();
  EXPECT_EQ(FindVariable("outer"), 2);
  EXPECT_EQ(FindVariable("inner"), 0);
  EXPECT_EQ(ProcedureCount(), 1);
  EXPECT_EQ(ScopeDepth(), 0u);
}

std::vector<uint8_t> SaveImage() {
  RamFiles::TRamFile f;
  EXPECT_EQ(RamFiles::RamRewrite(f, ""), 0);
  EXPECT_EQ(SaveVariableImage(f), 0);
  return std::vector<uint8_t>(f.buffer.begin(), f.buffer.begin() + f.position);
}

int LoadImage(const std::vector<uint8_t>& image) {
  RamFiles::TRamFile f;
  f.buffer = image;
  f.size = uint32_t(image.size());
  f.open = true;
  return LoadVariableImage(f);
}

TEST_F(Variables, ProgramImageRoundTrip) {
  ASSERT_EQ(Declare("r: REAL"), 0);
  ASSERT_EQ(Declare("grid: REAL[2,3]"), 0);
  ASSERT_EQ(Declare("b: TBITS[20]"), 0);
  const uint16_t g = DefineVariable("G_Neu", false, 5, 0, kTypeExpression, nullptr, false);
  const std::string codeBytes("\x43\x05", 2);
  TVarValue code;
  code.text = codeBytes;
  SetVariable(g, kTypeExpression, code, 0);
  size_t pos = 1;
  uint16_t err = 0;
  DefineProcedure("Proc(VAR a: REAL[3]; s: STRING): STRING", 42, pos, err);
  ASSERT_EQ(err, 0);
  const std::vector<uint8_t> plain = SaveImage();
  PushVarScope();
  ASSERT_EQ(LoadImage(plain), 0);
  EXPECT_EQ(SaveImage(), plain);
  EXPECT_EQ(GetArrayDesc(FindVariable("grid"))->dataSize, 96);
  EXPECT_EQ(GetVarInfo(FindVariable("G_Neu")).text, codeBytes);
  EXPECT_EQ(GetVarInfo(FindVariable("G_Neu")).word1, 5u);
  EXPECT_EQ(GetProcedure(FindProcedure("Proc"))->entryOffset, 42u);
  EXPECT_EQ(GetProcedure(FindProcedure("Proc"))->params.size(), 2u);
  PopVarScope();

  TVarValue text;
  text.text = "Hallo";
  DefineInitialisedVariable("gruss", kTypeString, text);
  TVarValue pi;
  pi.number = 3.25;
  DefineInitialisedVariable("pi", kTypeReal, pi);
  EXPECT_TRUE(IsConstantVariable(FindVariable("pi")));
  const std::vector<uint8_t> withConstants = SaveImage();
  PushVarScope();
  ASSERT_EQ(LoadImage(withConstants), 0);
  EXPECT_EQ(GetVarInfo(FindVariable("gruss")).text, "Hallo");
  EXPECT_EQ(GetVarInfo(FindVariable("pi")).number, 3.25);
  EXPECT_FALSE(IsConstantVariable(FindVariable("pi")));  // not protected after a load
  PopVarScope();
}

TEST_F(Variables, DamagedImagesAreRefused) {
  ASSERT_EQ(Declare("grid: REAL[2,3]"), 0);
  const std::vector<uint8_t> image = SaveImage();
  // Layout: count(2), name "grid"(5), words(8), module, type, flags, descriptor.
  const size_t descriptor = 2 + 5 + 8 + 3;
  struct Damage {
    const char* what;
    size_t offset;
    uint8_t value;
  };
  const Damage damages[] = {
      {"count above 512", 1, 0x02},
      {"bound grown beyond the data", descriptor, 200},
      {"element size", descriptor + 20, 1},
      {"eleven dimensions", descriptor + 24, 11},
      {"unknown type", 2 + 5 + 8 + 1, 99},
  };
  for (const Damage& d : damages) {
    std::vector<uint8_t> bad = image;
    bad[d.offset] = d.value;
    PushVarScope();
    EXPECT_EQ(LoadImage(bad), 29) << d.what;
    EXPECT_EQ(VariableCount(), 1) << d.what;
    PopVarScope();
  }
  for (size_t cut = 0; cut < image.size(); ++cut) {
    PushVarScope();
    EXPECT_EQ(LoadImage(std::vector<uint8_t>(image.begin(), image.begin() + cut)), 29) << cut;
    PopVarScope();
  }
}

TEST_F(Variables, CompileErrorRecord) {
  Common::SetErrorArgument("x");
  RecordCompileError(50, "a\tb", 9);
  EXPECT_EQ(CompileError().line, "a b");
  EXPECT_EQ(ErrorPosition(), 3);
  EXPECT_EQ(GetSystemVarInt(kSysFehler), 50);
  EXPECT_EQ(Common::LastError(), -50);
  SetCompilerError(45, 1, "zz", false);  // an error is held: nothing changes
  EXPECT_EQ(CompileError().code, 50);
  SetCompilerError(45, 1, "zz", true);
  EXPECT_EQ(CompileError().code, 45);
}

}  // namespace
