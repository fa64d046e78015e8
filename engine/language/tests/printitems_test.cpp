// Memo columns, pictures and sub-reports of print lines, in jobs run over a
// link tree on disk:
//   KUNDEN  Meier (1, a memo, a picture), Schulz (2), Huber (3)
//   AUFTRAG A1, A2, a0 of Meier; B1 of Schulz
//   POSTEN  Apfel and Birne of A1, Kiwi of A2, Pflaume of B1
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "engine/language/interp.h"
#include "engine/language/jobcompile.h"
#include "engine/language/jobrun.h"
#include "engine/language/programerror.h"
#include "engine/language/tests/fake_print_host.h"
#include "engine/language/variables.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_links.h"

namespace {

using namespace links_test;
using fakehost::Transcript;

constexpr uint16_t kNotiz = 3;
// Two hard lines (the second one long), then two empty lines.
const std::string kMeierMemo = "pays late\rprefers delivery on mondays before noon at the back door\r\r\r";

class PrintItems : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME"), {"NOTIZ", Common::kTypeMemo, 3, 4},
                      {"BILD", Common::kTypeBlob, 3, 4}},
           2);
    Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")}, 3);
    Create("POSTEN", {Number(), Link("AUFTRAG", "AUFTRAG"), Text("ARTIKEL")});
    kunden = Open("KUNDEN");
    auftrag = Open("AUFTRAG");
    posten = Open("POSTEN");
    AddCustomer("Meier", kMeierMemo);
    AddCustomer("Schulz", "");
    AddCustomer("Huber", "");
    for (auto [kunde, text] : {std::pair{"1", "A1"}, {"1", "A2"}, {"2", "B1"}, {"1", "a0"}}) Add(auftrag, {kunde, text});
    for (auto [order, item] : {std::pair{"1", "Apfel"}, {"1", "Birne"}, {"2", "Kiwi"}, {"3", "Pflaume"}})
      Add(posten, {order, item});
    Zet01::BuildRelations(1);
    ASSERT_EQ(LINKFILE::SelectPrimaryTable(kunden), 0);
    ZetTable::SetOpenTableSet(Set({kunden, auftrag, posten}));
    fakehost::Install();
    ProgramError::Clear();
  }
  void TearDown() override {
    if (scoped) ZetVars::PopVarScope();
    LinkTest::TearDown();
  }
  // Appends a customer with name and memo text (CR ends a line).
  void AddCustomer(const std::string& name, const std::string& memo) {
    TZetTable& t = T(kunden);
    t.recordBuffer.assign(t.recordLength, 0);
    ZetTable::SetFieldText(kunden, 2, t.recordBuffer.data(), name);
    if (!memo.empty()) {
      TZetTable& files = *ZetTable::FileOwner(kunden);
      ASSERT_EQ(WINMEMOS::InitPutMemo(files.memoFile), 0);
      WINMEMOS::PutMemoBlock(int32_t(memo.size()), memo.data());
      Common::FieldValue v;
      v.block = WINMEMOS::DonePutMemo(files.memoFile, 0);
      ASSERT_NE(v.block, 0u);
      Common::PutFieldFromValue(t.recordBuffer.data(), t.Place(kNotiz), t.version, v);
    }
    ASSERT_EQ(Zet01::AssignAutoNumber(kunden), 0);
    ASSERT_EQ(Zet01::AppendRecord(kunden, true, 0), 0);
  }
  uint16_t Compile(const std::vector<std::string>& lines) {
    if (scoped) ZetVars::PopVarScope();
    ZetVars::PushVarScope();
    scoped = true;
    ProgramError::Clear();
    return JobCompile::Compile(lines, false, "TEST.JOB", job);
  }
  // Compiles and runs the job into a text file; answers the file.
  std::string RunToFile(const std::vector<std::string>& lines) {
    EXPECT_EQ(Compile(lines), 0) << ProgramError::Record().error << " line " << ProgramError::Record().line;
    const std::string out = TempPath("OUT.TXT");
    EXPECT_EQ(JobRun::RunJob(job, out), 0);
    std::ifstream in(out, std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  JobCompile::TJob job;
  bool scoped = false;
  int kunden = 0, auftrag = 0, posten = 0;
};

TEST_F(PrintItems, SubReportsByLineAsListAndSorted) {
  struct Case {
    const char* line;
    const char* output;
  };
  const Case cases[] = {
      {"$(NAME:8)$(Sub(/ TEXT))", "Meier   A1\r\n        A2\r\n        a0\r\nSchulz  B1\r\nHuber   \r\n"},
      {"$(NAME:8)$(Sub(, TEXT)) end", "Meier   A1, A2, a0 end\r\nSchulz  B1 end\r\nHuber    end\r\n"},
      // Sorted in the collating order, case folded.
      {"$(NAME:8)$(Sub(, TEXT)S)", "Meier   a0, A1, A2\r\nSchulz  B1\r\nHuber   \r\n"},
      {"$(NAME:8)$(Sub(Sel(TEXT <> 'A2') / TEXT)S)", "Meier   a0\r\n        A1\r\nSchulz  B1\r\nHuber   \r\n"},
      // Nested: the orders of a customer, the items of an order.
      {"$(NAME:8)$(Sub(/ TEXT + ': ' + Sub(, ARTIKEL)))",
       "Meier   A1: Apfel, Birne\r\n        A2: Kiwi\r\n        a0: \r\nSchulz  B1: Pflaume\r\nHuber   \r\n"},
      // A sorted list of sub-lines that hold sub-reports themselves.
      {"$(NAME:8)$(Sub(, TEXT + '=' + Sub(, ARTIKEL))S)",
       "Meier   a0=, A1=Apfel, Birne, A2=Kiwi\r\nSchulz  B1=Pflaume\r\nHuber   \r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(RunToFile({".REPORT", ".DATA", c.line}), c.output) << c.line;
  // The customers keep their records: the DATA loop went through all three.
  EXPECT_EQ(T(kunden).currentRecord, 3u);
}

TEST_F(PrintItems, SubReportRepeatsTheTextInFrontOfItOnTheNextPage) {
  fakehost::PageHeight() = 40;  // two lines of 20
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(NAME:8)$(Sub(/ TEXT + Sub(, ARTIKEL)))"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  fakehost::ExpectGolden("subreport_pages", Transcript());
}

TEST_F(PrintItems, MemoColumns) {
  struct Case {
    const char* line;
    const char* output;
  };
  const Case cases[] = {
      // Flowed into 20 columns; the trailing empty lines are left out.
      {"$(NAME:7)$(NOTIZ:20)|",
       "Meier  pays late\r\n       prefers delivery on\r\n       mondays before noon\r\n       at the back door    |\r\n"
       "Schulz                     |\r\nHuber                      |\r\n"},
      // Width 0: each stored line is one output line.
      {"$(NOTIZ:0)|", "pays late\r\nprefers delivery on mondays before noon at the back door|\r\n|\r\n|\r\n"},
      // At most two lines; the second starts at the indent.
      {"$(NAME:7)$(NOTIZ:20:2:3)|",
       "Meier  pays late\r\n   prefers delivery on     |\r\nSchulz                     |\r\nHuber                      |\r\n"},
  };
  for (const Case& c : cases) EXPECT_EQ(RunToFile({".REPORT", ".DATA", c.line}), c.output) << c.line;
}

TEST_F(PrintItems, MemoColumnContinuesOverThePageEnd) {
  fakehost::PageHeight() = 80;
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(NAME:8)$(NOTIZ:12:0:0:0 + '|')"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  fakehost::ExpectGolden("memo_continuation", Transcript());
}

TEST_F(PrintItems, SubReportBesideAContinuedColumnPrintsItsRecordsOnce) {
  // The memo column goes on over two page ends; the passes that print its
  // rest leave the orders of the sub-report alone.
  fakehost::PageHeight() = 80;
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(NAME:8)$(NOTIZ:12:0:0:0 + '|')$(Sub(, TEXT))"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  const std::string transcript = Transcript();
  for (const char* order : {"'A1, '", "'B1'"}) {
    size_t count = 0;
    for (size_t at = transcript.find(order); at != std::string::npos; at = transcript.find(order, at + 1)) ++count;
    EXPECT_EQ(count, 1u) << order;
  }
  fakehost::ExpectGolden("subreport_beside_column", transcript);
}

TEST_F(PrintItems, PicturesGoToTheHost) {
  ASSERT_EQ(Compile({".REPORT", ".DATA", "$(BILD:10:2)$(NAME)", "$(BILD:5:1:0)$(NAME)"}), 0);
  ASSERT_EQ(JobRun::RunJob(job, ""), 0);
  fakehost::ExpectGolden("pictures", Transcript());
}

TEST_F(PrintItems, NestedSubLoopsKeepTheOuterRecord) {
  EXPECT_EQ(RunToFile({".REPORT", ".DATA", "$(NAME)", ".SUB TEXT <> 'A2'", " - $(TEXT)", ".SUB", "   * $(ARTIKEL)",
                       ".ENDSUB", ".ENDSUB", "end $(NAME)"}),
            "Meier\r\n - A1\r\n   * Apfel\r\n   * Birne\r\n - a0\r\nend Meier\r\n"
            "Schulz\r\n - B1\r\n   * Pflaume\r\nend Schulz\r\nHuber\r\nend Huber\r\n");
  // The loader's check accepts the nested descriptors as compiled.
  EXPECT_EQ(JobImage::VerifyCode(job.image.code, job.image.sections), 0);
  struct Case {
    std::vector<std::string> lines;
    uint16_t error, line;
  };
  const Case cases[] = {
      {{".REPORT", ".DATA", ".SUB", "$(TEXT)"}, 92, 3},
      {{".REPORT", ".DATA", ".ENDSUB"}, 82, 3},
      {{".REPORT", ".SUB", ".ENDSUB"}, 86, 2},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compile(c.lines), c.error) << c.lines.back();
    EXPECT_EQ(ProgramError::Record().line, c.line) << c.lines.back();
  }
}

TEST_F(PrintItems, SubLoopsSortedComputedAndJoinedByARelation) {
  // The orders of each customer by their text (case folded); a computed
  // selection worked out when the loop starts.
  EXPECT_EQ(RunToFile({".REPORT", ".DATA", "$(NAME)", ".SUB", " - $(TEXT)", ".ENDSUB TEXT"}),
            "Meier\r\n - a0\r\n - A1\r\n - A2\r\nSchulz\r\n - B1\r\nHuber\r\n");
  EXPECT_EQ(RunToFile({".REPORT", ".DATA", "$(NAME)", ".SUB _'AUFTRAG.NR' + ' <> 2'", " - $(TEXT)", ".ENDSUB"}),
            "Meier\r\n - A1\r\n - a0\r\nSchulz\r\n - B1\r\nHuber\r\n");
  // RELATION joins the orders into the record loop: one run per customer
  // and order; a customer without orders has no combination.
  EXPECT_EQ(RunToFile({".REPORT", ".PROLOG", ".RELATION AUFTRAG", ".DATA", "$(NAME)"}),
            "Meier\r\nMeier\r\nMeier\r\nSchulz\r\n");
  EXPECT_EQ(RunToFile({".REPORT", ".DATA", "$(NAME)"}), "Meier\r\nSchulz\r\nHuber\r\n");
  EXPECT_EQ(Compile({".REPORT", ".DATA", ".SUB", "$(TEXT)", ".ENDSUB NOSUCHFIELD"}), 98);
  EXPECT_EQ(ProgramError::Record().line, 5);
}

// Writes the seed corpus of the print-line fuzz target: print lines the
// job compiler makes of text lines with expressions, formats, memo and
// sub-report items (a leading byte chooses printing or collecting).
// Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/language/fuzz/corpus> language_tests
//     --gtest_also_run_disabled_tests --gtest_filter='PrintItems.DISABLED_*'
TEST_F(PrintItems, DISABLED_WriteSeedCorpus) {
  const char* root = std::getenv("ZET_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path dir = std::filesystem::path(root) / "printline_fuzz";
  std::filesystem::create_directories(dir);
  const char* texts[] = {"$(NAME:8)$(Sub(/ TEXT + ': ' + Sub(, ARTIKEL)))", "$(NAME:8)$(Sub(, TEXT)S)",
                         "$(NOTIZ:20:2:3)|", "$(NOTIZ:12:0:0:0 + '|')", "$(BILD:10:2)$(NAME)",
                         "$('the quick brown fox':6:0:0:0)$('x':4:2)", "$('ab':20) $(NAME:6)$(NR:6:2)"};
  int n = 0;
  for (const char* text : texts) {
    ASSERT_EQ(Compile({".REPORT", ".DATA", text}), 0) << text;
    // The print line is the text of the record body's segment (opcode 8).
    const std::string& code = job.image.code;
    const size_t loop = job.image.sections[JobImage::kSectionData - 1] - 1;
    JobImage::TLoopDescriptor d;
    ASSERT_TRUE(JobImage::DecodeDescriptor(code, loop + 1, d));
    const size_t at = loop + 1 + JobImage::kDescriptorFixed + 1 + d.selection.size();
    ASSERT_EQ(uint8_t(code[at]), JobImage::opText);
    const std::string line = code.substr(at + 2, uint8_t(code[at + 1]));
    for (char mode : {'\0', '\1'})
      std::ofstream(dir / ("line" + std::to_string(++n)), std::ios::binary) << mode << line;
  }
}

}  // namespace
