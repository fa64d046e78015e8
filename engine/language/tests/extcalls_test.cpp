// Outside-library functions called through the value stack, against a small
// shared library built with the tests: arguments of every kind by value and
// by reference, both kinds of result, binding and its retry, the declaration
// limits the compiler sees, and the list's stream form.
#include "engine/language/extcalls.h"

#include <cstring>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

#include "engine/base/engassert.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/lumostack.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace ExtCalls;

const std::string kLibrary = ZET_CALLTEST_LIBRARY;

// One argument as the interpreter puts it on the value stack.
struct Value {
  Value(double real = 0, std::string text = {}) : real(real), text(std::move(text)) {}  // NOLINT
  double real;
  std::string text;
};

class OutsideCalls : public zettest::EngineTest {
 protected:
  // Pushes the result slot, the object slot and the arguments as the
  // signature says, calls function number, and keeps the descriptors.
  int16_t Call(uint16_t number, const std::vector<Value>& values) {
    TFunctionInfo info;
    EXPECT_TRUE(FunctionInfo(kOutsideGroup, number, info));
    const std::string& sig = info.signature;
    LumoExec::TStack& stack = LumoExec::ValueStack();
    if (stack.Used() > 0) stack.SetTop(stack.Base());
    switch (sig[0]) {
      case 'R': stack.PushReal(-1); break;
      case 'I': stack.PushDWord(0xFFFFFFFF); break;
      case 'S': stack.PushString(""); break;
      default: break;
    }
    stack.PushReal(0);
    for (size_t i = 0; i < info.paramCount; ++i) {
      if (sig[1 + 2 * i] == 'V') stack.PushWord(uint16_t(10 + i));
      switch (sig[2 + 2 * i]) {
        case 'R': stack.PushReal(values[i].real); break;
        case 'I': stack.PushDWord(uint32_t(int32_t(values[i].real))); break;
        default: stack.PushString(values[i].text); break;
      }
    }
    args_ = stack.GetUserStack(sig);
    return CallFunction(kOutsideGroup, number, args_.data());
  }
  double Real(size_t i) const {
    double v = 0;
    std::memcpy(&v, args_[i].value, sizeof v);
    return v;
  }
  int32_t Int(size_t i) const {
    int32_t v = 0;
    std::memcpy(&v, args_[i].value, sizeof v);
    return v;
  }
  std::string Text(size_t i) const { return reinterpret_cast<const char*>(args_[i].value); }
  static uint16_t Declare(const std::string& library, const std::string& name, const std::string& sig) {
    EXPECT_EQ(DeclareOutsideFunction(library, name, sig), 0) << name;
    return OutsideFunctions().Find(name);
  }

  std::vector<ZetArgDescriptor> args_;
};

TEST_F(OutsideCalls, ArgumentsByValueAndByReferenceAndBothResults) {
  const uint16_t add = Declare(kLibrary, "AddInts", "I I I");
  ASSERT_EQ(Call(add, {{2}, {-7}}), kCallDone);
  EXPECT_EQ(Int(0), -5);

  const uint16_t scale = Declare(kLibrary, "Scale", "R R I");
  ASSERT_EQ(Call(scale, {{2.5}, {4}}), kCallDone);
  EXPECT_DOUBLE_EQ(Real(0), 10.0);

  const uint16_t length = Declare(kLibrary, "TextLength", "I S");
  ASSERT_EQ(Call(length, {{0, "Gr\xFC\xDF" "e"}}), kCallDone);
  EXPECT_EQ(Int(0), 5);

  // A VAR text changed by the callee comes back.
  const uint16_t rename = Declare(kLibrary, "Rename", "IVS");
  ASSERT_EQ(Call(rename, {{0, "alter Name"}}), kCallDone);
  EXPECT_EQ(Int(0), 10);
  EXPECT_EQ(Text(2), "neu vom Aufrufer");

  const uint16_t update = Declare(kLibrary, "Update", "XVIVRVS");
  ASSERT_EQ(Call(update, {{41}, {1.25}, {0, "Hallo"}}), kCallDone);
  EXPECT_EQ(Int(2), 42);
  EXPECT_DOUBLE_EQ(Real(3), 2.5);
  EXPECT_EQ(Text(4), "Hallo!");
  EXPECT_EQ(args_[0].value, nullptr);  // "X" has no result slot

  const uint16_t mixed = Declare(kLibrary, "Mixed", "R I R SVIVR I R");
  ASSERT_EQ(Call(mixed, {{3}, {0.5}, {0, "abcd"}, {0}, {0}, {100}, {0.25}}), kCallDone);
  EXPECT_DOUBLE_EQ(Real(0), 3 + 0.5 + 4 + 100 + 0.25);
  EXPECT_EQ(Int(5), 30);
  EXPECT_DOUBLE_EQ(Real(6), 0.75);
  EXPECT_EQ(Int(7), 100);  // by value: the slot keeps what was passed

  // Eighteen integers and ten doubles: registers run out, the rest goes on
  // the machine stack.
  std::string sig18 = "I";
  std::vector<Value> v18;
  int32_t want = 0;
  for (int i = 1; i <= 18; ++i) {
    sig18 += " I";
    v18.push_back({double(i * 3)});
    want += i * i * 3;
  }
  ASSERT_EQ(Call(Declare(kLibrary, "Sum18", sig18), v18), kCallDone);
  EXPECT_EQ(Int(0), want);
  std::vector<Value> v10;
  double want10 = 0;
  for (int i = 1; i <= 10; ++i) {
    v10.push_back({i * 0.5});
    want10 += i * i * 0.5;
  }
  ASSERT_EQ(Call(Declare(kLibrary, "SumReals10", "R R R R R R R R R R R"), v10), kCallDone);
  EXPECT_DOUBLE_EQ(Real(0), want10);
}

TEST_F(OutsideCalls, ATextWrittenInFullStaysInItsSlot) {
  const uint16_t fill = Declare(kLibrary, "Fill", "X S");
  ASSERT_EQ(Call(fill, {{0, "kurz"}}), kCallDone);
  EXPECT_EQ(Text(2), std::string(255, 'x'));
  // The slot's size word above the text is intact.
  LumoExec::TStack& stack = LumoExec::ValueStack();
  EXPECT_EQ(stack.PopString().str(), std::string(255, 'x'));
}

TEST_F(OutsideCalls, AnExceptionOfTheCalleeAnswersRaised) {
  const uint16_t f = Declare(kLibrary, "Throws", "I I");
  EXPECT_EQ(Call(f, {{1}}), kCallRaised);
  ASSERT_EQ(Call(f, {{0}}), kCallDone);  // and the next call runs
  EXPECT_EQ(Int(0), 0);
}

TEST_F(OutsideCalls, OneCallBindsEveryFunctionOfTheLibrary) {
  const uint16_t add = Declare(kLibrary, "AddInts", "I I I");
  const uint16_t scale = Declare(kLibrary, "Scale", "R R I");
  EXPECT_EQ(OutsideFunctions().Function(scale)->Entry(), nullptr);
  ASSERT_EQ(Call(add, {{1}, {1}}), kCallDone);
  EXPECT_TRUE(OutsideFunctions().LibraryBound(0));
  EXPECT_NE(OutsideFunctions().Function(scale)->Entry(), nullptr);
  // Freeing the libraries unbinds; the next call binds again.
  FreeAllLibraries();
  EXPECT_FALSE(OutsideFunctions().LibraryBound(0));
  EXPECT_EQ(OutsideFunctions().Function(add)->Entry(), nullptr);
  ASSERT_EQ(Call(scale, {{1.5}, {2}}), kCallDone);
  EXPECT_DOUBLE_EQ(Real(0), 3.0);
}

TEST_F(OutsideCalls, AMissingEntryOrLibraryAnswersUnboundAndIsTriedAgain) {
  const uint16_t missing = Declare(kLibrary, "GibtEsNicht", "I I");
  const uint16_t add = Declare(kLibrary, "AddInts", "I I I");
  EXPECT_EQ(Call(missing, {{1}}), kCallUnbound);
  EXPECT_FALSE(OutsideFunctions().LibraryBound(0));
  EXPECT_EQ(Call(missing, {{1}}), kCallUnbound);
  EXPECT_EQ(Call(add, {{1}, {2}}), kCallUnbound);  // its library never bound
  EXPECT_EQ(FunctionName(kOutsideGroup, missing), "GibtEsNicht");

  // A library that appears later is found by the next call.
  const std::string later = TempPath("sub/libspaeter.so");
  const uint16_t f = Declare(later, "Scale", "R R I");
  EXPECT_EQ(Call(f, {{2}, {2}}), kCallUnbound);
  std::filesystem::create_directories(TempDir() / "sub");
  std::filesystem::copy_file(kLibrary, later);
  ASSERT_EQ(Call(f, {{2}, {2}}), kCallDone);
  EXPECT_DOUBLE_EQ(Real(0), 4.0);
}

TEST_F(OutsideCalls, ABareNameIsLookedForInTheProjectDirectoryFirst) {
  std::filesystem::copy_file(kLibrary, TempDir() / "libprojekt.so");
  const uint16_t add = Declare("libprojekt.so", "AddInts", "I I I");
  EXPECT_EQ(Call(add, {{1}, {2}}), kCallUnbound);  // not on the system's search path
  SetProjectDirectory(TempPath("PROJEKT.ZPJ"));
  ASSERT_EQ(Call(add, {{1}, {2}}), kCallDone);
  EXPECT_EQ(Int(0), 3);
}

TEST_F(OutsideCalls, DeclarationsTheCompilerSees) {
  std::string sig19 = "I";
  for (int i = 0; i < 19; ++i) sig19 += " I";
  EXPECT_EQ(DeclareOutsideFunction(kLibrary, "Sum19", sig19), kErrBadDeclaration);
  EXPECT_EQ(DeclareOutsideFunction(kLibrary, "Objekt", "I O"), kErrBadDeclaration);
  EXPECT_EQ(DeclareOutsideFunction(kLibrary, "Leer", ""), kErrBadDeclaration);
  ASSERT_EQ(DeclareOutsideFunction(kLibrary, "AddInts", "I I I"), 0);
  EXPECT_EQ(DeclareOutsideFunction("other.so", "ADDINTS", "R"), -1);  // the first stays
  TFunctionInfo info;
  ASSERT_TRUE(FindFunction("addints", info));
  EXPECT_EQ(info.group, kOutsideGroup);
  EXPECT_EQ(info.signature, "I I I");
  EXPECT_EQ(info.required, 2);
  EXPECT_EQ(info.paramCount, 2u);
  ASSERT_TRUE(FindFunction("FindFirstFile", info));  // the engine's own extension
  EXPECT_EQ(info.group, kExtensionGroup);
  EXPECT_EQ(info.number, 2);
  EXPECT_EQ(info.signature, "R S SVSVRVRVRVSVS");
  EXPECT_EQ(FunctionName(kExtensionGroup, 2), "FINDFIRSTFILE");

  uint64_t tables = 0;
  ShortStr line("ADDINTS(1, 2)");
  ASSERT_EQ(Zet02::CompileExpression(line, tables), 0);
  ASSERT_GE(line.size(), 3u);
  EXPECT_EQ(line.byte(0), kOutsideGroup);
  EXPECT_EQ(line.byte(1) | (line.byte(2) << 8), 1);
  ShortStr ext("FindFirstFile('*')");
  ASSERT_EQ(Zet02::CompileExpression(ext, tables), 0);
  EXPECT_EQ(ext.byte(0), kExtensionGroup);
  ShortStr refused("Sum19(1)");
  EXPECT_EQ(Zet02::CompileExpression(refused, tables), Zet02::kErrUnknownName);

  EXPECT_THROW(CallFunction(kExtensionGroup, 3, nullptr), EAssertion);
}

TEST_F(OutsideCalls, TheListRoundTripsItsStream) {
  Declare(kLibrary, "AddInts", "I I I");
  Declare("libzwei.so", "Rechne", "RVS R");
  Declare(kLibrary, "Scale", "R R I");
  ASSERT_EQ(Call(1, {{1}, {1}}), kCallDone);  // bound before storing
  RamFiles::TRamFile out;
  ASSERT_EQ(RamFiles::RamRewrite(out, ""), 0);
  ASSERT_EQ(OutsideFunctions().Store(out), 0);
  const std::vector<uint8_t> stored(out.buffer.begin(), out.buffer.begin() + out.position);

  const auto reader = [](const std::vector<uint8_t>& bytes) {
    RamFiles::TRamFile in;
    in.buffer = bytes;
    in.size = uint32_t(bytes.size());
    in.open = true;
    return in;
  };
  TFunctionList loaded(kOutsideGroup);
  RamFiles::TRamFile in = reader(stored);
  ASSERT_EQ(loaded.Load(in), 0);
  EXPECT_EQ(loaded.FunctionCount(), 3u);
  ASSERT_EQ(loaded.LibraryCount(), 2u);
  EXPECT_EQ(loaded.LibraryName(1), "libzwei.so");
  EXPECT_FALSE(loaded.LibraryBound(0));  // handles mean nothing in another process
  EXPECT_EQ(loaded.Find("rechne"), 2);
  EXPECT_EQ(loaded.Function(2)->Signature(), "RVS R");
  EXPECT_EQ(loaded.Function(2)->LibraryIndex(), 1);
  EXPECT_EQ(loaded.Function(1)->Entry(), nullptr);
  RamFiles::TRamFile again;
  ASSERT_EQ(RamFiles::RamRewrite(again, ""), 0);
  ASSERT_EQ(loaded.Store(again), 0);
  EXPECT_EQ(std::vector<uint8_t>(again.buffer.begin(), again.buffer.begin() + again.position), stored);

  // Every cut of the stream is refused, and leaves the list empty.
  for (size_t n = 0; n < stored.size(); ++n) {
    RamFiles::TRamFile cut = reader(std::vector<uint8_t>(stored.begin(), stored.begin() + long(n)));
    ASSERT_EQ(loaded.Load(cut), kErrDamaged) << n;
    EXPECT_EQ(loaded.FunctionCount(), 0u);
  }
  // A function number without its function, and a signature beyond the
  // limit, are refused as well.
  std::vector<uint8_t> badNumber = stored;
  badNumber[4 + 2 + 7] = 9;  // number of "AddInts"
  RamFiles::TRamFile bad = reader(badNumber);
  EXPECT_EQ(loaded.Load(bad), kErrDamaged);
}

}  // namespace

// Running Lumo code reaches the declared functions: arguments are laid on the
// value stack by the interpreter and the callee's answer comes back as the
// call's value; an entry point that is missing stops the run with 119.
// Calls take effect only while writing is enabled, as in a program run.
TEST_F(OutsideCalls, RunningCodeCallsTheLibrary) {
  Declare(kLibrary, "AddInts", "I I I");
  Declare(kLibrary, "Scale", "R R I");
  Declare(kLibrary, "TextLength", "I S");
  Declare(kLibrary, "GibtEsNicht", "I I");
  const struct {
    const char* text;
    int error;
    double number;
  } cases[] = {
      {"AddInts(2, 3)", 0, 5},
      {"Scale(1.5, 4) + 1", 0, 7},
      {"TextLength('Gr\xFC\xDF" "e')", 0, 5},  // Windows-1252 text
      {"GibtEsNicht(1)", 119, 0},
  };
  for (const auto& c : cases) {
    ShortStr code(c.text);
    uint64_t tables = 0;
    ASSERT_EQ(Zet02::CompileExpression(code, tables), 0) << c.text;
    Zet02::TRunValue value;
    size_t position = 0;
    int dependency = 0;
    Zet02::SetWriteEnable(true);
    EXPECT_EQ(Zet02::ExecuteCode(code.view(), position, 3, value, dependency), c.error) << c.text;
    Zet02::SetWriteEnable(false);
    if (c.error == 0) {
      EXPECT_DOUBLE_EQ(value.number, c.number) << c.text;
    }
  }
}
