#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/ramfiles.h"
#include "engine/language/extcalls.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobimage.h"
#include "engine/language/variables.h"
#include "engine/storage/zet00_keys.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace JobImage;

std::string U32(uint32_t v) {
  uint8_t b[4];
  bytes::PutU32(b, v);
  return std::string(reinterpret_cast<char*>(b), 4);
}
std::string Op(uint8_t op) { return std::string(1, char(op)); }
std::string Text(const std::string& s) { return std::string(1, char(s.size())) + s; }
// A jump at 1-based position p to target t.
std::string Jump(uint8_t op, uint32_t p, uint32_t t) { return Op(op) + U32(t - (p + 1)); }

std::string Bytes(const RamFiles::TRamFile& f) {
  return std::string(f.buffer.begin(), f.buffer.begin() + f.position);
}

int Read(const std::string& bytes, TImage& image) {
  RamFiles::TRamFile f;
  f.buffer.assign(bytes.begin(), bytes.end());
  f.size = uint32_t(bytes.size());
  f.open = true;
  ZetVars::PushVarScope();
  const int e = ReadImage(f, image);
  ZetVars::PopVarScope();
  return e;
}

class JobImages : public zettest::EngineTest {
 protected:
  // A job: PROLOG prints a text, DATA loops with a sorted descriptor whose
  // body jumps, then an EPILOG and a procedure whose end carries the
  // closing zero byte.
  static TImage SampleJob() {
    TImage image;
    image.settings.kind = 1;
    image.settings.gc = 1;
    image.settings.nl = 1;
    image.settings.groupVariable = 2;
    image.settings.footerHeight = 40;
    image.settings.hf = 1;
    image.settings.fl = 1;
    std::string& c = image.code;
    c += Op(opText) + Text(std::string("\x41\x02hi", 4)) + Op(opPrintSegment) + Op(opLineEnd) + Op(opEnd);
    image.sections[1] = 1;
    const uint32_t data = uint32_t(c.size() + 1);
    TLoopDescriptor d;
    d.loopTables = 1;
    d.defaultTables = 1;
    d.sorted = 1;
    d.keyTable = 1;
    d.keyLength = 12;
    d.key[0] = 7;
    d.selection = "\x43\x01";
    const std::string desc = EncodeDescriptor(d);
    const uint32_t body = data + 1 + uint32_t(desc.size());
    // body: cond, jump-if-false over a line end, end
    std::string bodyCode = Op(opCondition) + Text("\x43\x01") + Jump(opJumpIfFalse, body + 4, body + 10) +
                           Op(opLineEnd) + Op(opEnd);
    d.endPosition = body + uint32_t(bodyCode.size());
    c += Op(opRecordLoop) + EncodeDescriptor(d) + bodyCode;
    image.sections[6] = data;
    c += Op(opEnd);
    image.sections[7] = uint32_t(c.size() + 1);
    c += Op(opSetFont) + std::string("\x02\x00", 2) + Op(opEnd) + std::string(1, '\0');
    image.layout[0] = 66;
    return image;
  }
};

TEST_F(JobImages, WriteReadRoundTripKeepsTheLayoutOfTheFile) {
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::ParseVarDeclaration(0, "total: REAL", pos, err, false);
  ASSERT_EQ(err, 0);
  ASSERT_EQ(ExtCalls::DeclareOutsideFunction("LIBX.SO", "Twice", "R R"), 0);
  TImage image = SampleJob();

  RamFiles::TRamFile vars;
  RamFiles::RamRewrite(vars, "");
  ZetVars::SaveVariableImage(vars);
  RamFiles::TRamFile funcs;
  RamFiles::RamRewrite(funcs, "");
  ExtCalls::OutsideFunctions().Store(funcs);

  RamFiles::TRamFile f;
  RamFiles::RamRewrite(f, "");
  ASSERT_EQ(WriteImage(f, image), 0);
  const std::string bytes = Bytes(f);
  const size_t head = 1 + vars.position + funcs.position;
  ASSERT_EQ(bytes.size(), head + 1 + 17 + 36 + 533 + 4 + image.code.size());
  EXPECT_EQ(uint8_t(bytes[0]), 18);
  EXPECT_EQ(bytes.substr(1, vars.position), Bytes(vars));
  EXPECT_EQ(bytes[head], 0);                                        // a job
  EXPECT_EQ(std::string(bytes.substr(head + 1, 6)), std::string("\x01\x00\x00\x01\x01\x00", 6));
  EXPECT_EQ(bytes.substr(head + 7, 2), std::string("\x02\x00", 2));  // group variable
  EXPECT_EQ(bytes.substr(head + 9, 2), std::string("\x28\x00", 2));  // footer height
  EXPECT_EQ(bytes.substr(head + 18 + 4, 4), U32(1));                 // section 2
  EXPECT_EQ(uint8_t(bytes[head + 18 + 36]), 66);                     // layout block
  EXPECT_EQ(bytes.substr(head + 18 + 36 + 533, 4), U32(uint32_t(image.code.size())));

  ExtCalls::OutsideFunctions().Clear();
  TImage back;
  RamFiles::TRamFile in;
  in.buffer.assign(bytes.begin(), bytes.end());
  in.size = uint32_t(bytes.size());
  in.open = true;
  ZetVars::PushVarScope();
  ASSERT_EQ(ReadImage(in, back), 0);
  EXPECT_NE(ZetVars::FindVariable("total"), 0);
  ZetVars::PopVarScope();
  EXPECT_NE(ExtCalls::OutsideFunctions().Find("Twice"), 0);
  EXPECT_FALSE(back.program);
  EXPECT_EQ(back.sections, image.sections);
  EXPECT_EQ(back.code, image.code);
  EXPECT_EQ(back.settings.footerHeight, 40);
  EXPECT_EQ(back.settings.fl, 1);
}

TEST_F(JobImages, ProgramImagesCarryNoJobSettings) {
  TImage image;
  image.program = true;
  image.code = Op(opEnd);
  RamFiles::TRamFile f;
  RamFiles::RamRewrite(f, "");
  ASSERT_EQ(WriteImage(f, image), 0);
  TImage back;
  ASSERT_EQ(Read(Bytes(f), back), 0);
  EXPECT_TRUE(back.program);
  RamFiles::TRamFile vars;
  RamFiles::RamRewrite(vars, "");
  ZetVars::SaveVariableImage(vars);
  // version, variables, an empty function list (three counts), flag, layout,
  // code length, code: no settings and no sections
  EXPECT_EQ(Bytes(f).size(), 1 + vars.position + 12 + 1 + 533 + 4 + 1u);
}

TEST_F(JobImages, EveryCutOrWrongVersionIsRefusedAs29) {
  RamFiles::TRamFile f;
  RamFiles::RamRewrite(f, "");
  ASSERT_EQ(WriteImage(f, SampleJob()), 0);
  const std::string bytes = Bytes(f);
  TImage back;
  for (size_t n = 0; n < bytes.size(); ++n) EXPECT_EQ(Read(bytes.substr(0, n), back), kErrWrongFormat) << n;
  EXPECT_EQ(Read(bytes + "x", back), kErrWrongFormat);  // more bytes than the code length says
  std::string old = bytes;
  old[0] = 17;
  EXPECT_EQ(Read(old, back), kErrWrongFormat);
  EXPECT_EQ(Read(bytes, back), 0);
}

TEST_F(JobImages, VerifierRefusesWhatWouldLeadOutOfTheCode) {
  const std::string end = Op(opEnd);
  std::array<uint32_t, kSectionCount> at1{};
  at1[1] = 1;
  TLoopDescriptor d;
  d.endPosition = 80;
  const std::string loop = Op(opRecordLoop) + EncodeDescriptor(d) + end;  // 1 + 78 + 1 bytes
  TLoopDescriptor longKey = d;
  longKey.keyLength = 261;
  TLoopDescriptor farEnd = d;
  farEnd.endPosition = 81;
  // Sorted loops: a key of a text part, and keys with a part the key compare
  // does not know (a memo, a type number no field type has).
  auto sortedBy = [&](uint8_t type) {
    TLoopDescriptor sorted = d;
    sorted.sorted = 1;
    Zet00::SetKeyPart(sorted.key.data(), 0, {1, 10, Common::kTypeString});
    Zet00::SetKeyPart(sorted.key.data(), 1, {2, 4, type});
    sorted.keyLength = 18;
    return Op(opRecordLoop) + EncodeDescriptor(sorted) + end;
  };
  struct Case {
    const char* what;
    std::string code;
    uint32_t section;
    int result;
  };
  const Case cases[] = {
      {"a plain job", Op(opLineEnd) + end, 1, 0},
      {"section behind the code", end, 2, kErrBadCode},
      {"jump behind the code", Jump(opJump, 1, 7) + end, 1, kErrBadCode},
      {"jump before the code", Op(opJump) + U32(uint32_t(-2)), 1, kErrBadCode},
      {"backward jump inside", Op(opLineEnd) + Jump(opJumpIfFalse, 2, 1) + end, 1, 0},
      {"cut operand", Op(opAssign) + "\x01", 1, kErrBadCode},
      {"text longer than the code", Op(opText) + "\x09" "ab", 1, kErrBadCode},
      {"line reference in loaded code", Op(opLineRef) + U32(0) + end, 1, kErrBadCode},
      {"loop", loop, 1, 0},
      {"loop with a 261-byte key", Op(opRecordLoop) + EncodeDescriptor(longKey) + end, 1, kErrBadCode},
      {"loop ending behind the code", Op(opRecordLoop) + EncodeDescriptor(farEnd) + end, 1, kErrBadCode},
      {"cut descriptor", loop.substr(0, 50), 1, kErrBadCode},
      {"sorted loop", sortedBy(Common::kTypeDate), 1, 0},
      {"sorted by a memo part", sortedBy(Common::kTypeMemo), 1, kErrBadCode},
      {"sorted by a part of no type", sortedBy(200), 1, kErrBadCode},
      {"unknown opcode is left to the runner", Op(13) + end, 1, 0},
      {"dead byte behind an end", end + std::string(1, '\0'), 1, 0},
  };
  for (const Case& c : cases) {
    std::array<uint32_t, kSectionCount> sections{};
    sections[1] = c.section;
    EXPECT_EQ(VerifyCode(c.code, sections), c.result) << c.what;
  }
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::DefineProcedure("P", 9, pos, err);
  ASSERT_EQ(err, 0);
  EXPECT_EQ(VerifyCode(end, at1), kErrBadCode);  // the procedure's entry lies outside
}

// Writes the seed corpus of the job-image fuzz target with our writer.
// Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/language/fuzz/corpus> language_tests
//     --gtest_also_run_disabled_tests --gtest_filter='JobImages.DISABLED_*'
TEST_F(JobImages, DISABLED_WriteSeedCorpus) {
  const char* root = std::getenv("ZET_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path dir = std::filesystem::path(root) / "jobimage_fuzz";
  std::filesystem::create_directories(dir);
  auto write = [&](const std::string& name, const TImage& image) {
    RamFiles::TRamFile f;
    RamFiles::RamRewrite(f, "");
    ASSERT_EQ(WriteImage(f, image), 0);
    std::ofstream(dir / name, std::ios::binary) << Bytes(f);
  };
  write("job", SampleJob());
  TImage program;
  program.program = true;
  program.code = Op(opRunCode) + Text("\x43\x05") + Op(opEnd);
  write("program", program);
  size_t pos = 1;
  uint16_t err = 0;
  ZetVars::ParseVarDeclaration(0, "a, b: REAL; s: STRING", pos, err, false);
  pos = 1;
  ZetVars::DefineProcedure("P(x: REAL): REAL", 1, pos, err);
  ExtCalls::DeclareOutsideFunction("LIBX.SO", "Twice", "R R");
  write("job_with_names", SampleJob());
  // A job the compiler made of statements with computed arguments, DEF,
  // table statements and a sorted SUB loop.
  ZetVars::PushVarScope();
  JobCompile::TJob compiled;
  ASSERT_EQ(JobCompile::Compile({".REPORT", ".PROLOG", ".DEF d = 2 * 3", ".DEF _'d = 4'", ".SOLVE _'d'",
                                 ".SELECTION _'1 = 1'", ".SETACCESS _'Nummer'", ".FILTER _''", ".FILTER x",
                                 ".SETACCESS Nummer", ".DATA", "$(d)", ".SUB _'1 = 1'", "x", ".ENDSUB",
                                 ".EPILOG", "end"},
                                false, "SEED.JOB", compiled),
            0);
  write("job_statements", compiled.image);
  ZetVars::PopVarScope();
}

}  // namespace
