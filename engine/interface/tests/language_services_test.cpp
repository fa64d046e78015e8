// The services the interface gives the macro language and the job runner:
// sorting marks and copying records for Lumo, the temporary cursor a host
// call-back reads the record through, the mark services of a table's cursor,
// the record a job starts on, and the break switch that jobs share with the
// host.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/userbreak.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/storage/engine_hooks.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "zetcore.h"

namespace {

using interface_test::AddArticle;
using interface_test::Field;
using interface_test::InterfaceTest;
using interface_test::ReadFile;

class LanguageServices : public InterfaceTest {
 protected:
  void SetUp() override {
    InterfaceTest::SetUp();
    relation_ = OpenArticles();
    cursor_ = ZetTableCreate(relation_);
    ASSERT_GT(cursor_, 0);
    ASSERT_EQ(AddArticle(cursor_, 1, "Kiwi", 5), 0);
    ASSERT_EQ(AddArticle(cursor_, 2, "Apfel", 7), 0);
    ASSERT_EQ(AddArticle(cursor_, 3, "Birne", 9), 0);
  }
  // Runs a macro on a cursor: its result code and text.
  std::pair<int32_t, std::string> Run(int32_t cursor, const std::string& text) {
    uint8_t code[256];
    EXPECT_EQ(ZetTokenize(cursor, code, text.c_str()), 0) << text;
    char result[256] = {};
    const int32_t e = ZetExecMacro(cursor, result, code, 255, 0);
    return {e, result};
  }
  // Opens an empty table of the articles' fields as relation 2, in a folder
  // of its own (its user indexes have the same file names).
  void OpenSecondArticles(const std::string& name) {
    std::filesystem::create_directory(TempPath(name));
    const std::string path = TempPath(name + "/" + name + ".DAT");
    EXPECT_EQ(ZetCopyStructure(Path().c_str(), path.c_str(), "", editing_test::kTableKey), 0);
    EXPECT_EQ(ZetRltnOpen(path.c_str(), "", editing_test::kTableKey, interface_test::kAllRights), 2);
  }
  int32_t relation_ = 0, cursor_ = 0;
};

TEST_F(LanguageServices, SortMarkSortsTheTablesMarksByTheKey) {
  ASSERT_GE(ZetTableSetRecNo(cursor_, 1), 0);
  EXPECT_EQ(Run(cursor_, "SetMark(1, 1) + SetMark(1, 2) + SetMark(1, 3) + SortMark(1, 'NAME')"),
            std::make_pair(0, std::string("7")));
  EXPECT_EQ(ZetTable::Table(relation_)->marks.Items(), (std::vector<uint32_t>{2, 3, 1}));
  EXPECT_EQ(Run(cursor_, "SortMark(1, '-MENGE')").second, "1");
  EXPECT_EQ(ZetTable::Table(relation_)->marks.Items(), (std::vector<uint32_t>{3, 2, 1}));
  EXPECT_EQ(Run(cursor_, "SortMark(1, 'NOFIELD')").first, -98) << "a bad key is the run error";
  EXPECT_EQ(Field(cursor_, "NAME"), "Kiwi") << "the cursor's record is kept";
}

TEST_F(LanguageServices, SetRecordFillsTheOtherTablesRecordByFieldNames) {
  OpenSecondArticles("ZIEL");
  const int32_t target = 2;
  ASSERT_GE(ZetTableSetRecNo(cursor_, 2), 0);
  ASSERT_EQ(ZetTableEdit(cursor_), 0);
  ASSERT_EQ(ZetTableInitPutMemo(cursor_, "NOTIZ"), 0);
  ASSERT_GT(ZetTablePutMemoBlock("Notiz zum Apfel", 15), 0);
  ASSERT_EQ(ZetTableDonePutMemo(cursor_, "NOTIZ"), 0);
  ASSERT_EQ(ZetTableEditConfirm(cursor_), 0);

  EXPECT_EQ(Run(cursor_, "SetRecord(1, 2)"), std::make_pair(0, std::string("0")));
  const ZetTable::TZetTable& t = *ZetTable::Table(target);
  auto text = [&](const char* name) {
    return ZetTable::FieldText(t, ZetTable::FieldNoFromText(target, name), t.recordBuffer.data()).str();
  };
  EXPECT_EQ(text("NAME"), "Apfel");
  EXPECT_EQ(text("CODE"), "2");
  EXPECT_EQ(text("MENGE"), "7");
  EXPECT_EQ(text("NR"), "2") << "the identifier comes along";
  // The memo is a chain of the target's own memo file.
  const int32_t other = ZetTableCreate(target);
  ASSERT_EQ(ZetTableAppend(other), 0);
  ASSERT_EQ(Run(cursor_, "SetRecord(1, 2)").first, 0);
  ASSERT_EQ(ZetTableAttach(other), 0);
  EXPECT_EQ(ZetTableInitGetMemo(other, "NOTIZ"), 15);
  char memo[32] = {};
  EXPECT_EQ(ZetTableGetMemoBlock(memo, 31), 15);
  ZetTableDoneGetMemo();
  EXPECT_STREQ(memo, "Notiz zum Apfel");

  // A copy that fails is the run error of SetRecord.
  const auto copyHook = EngineHooks::CopyRecordToTable;
  EngineHooks::CopyRecordToTable = [](int, int) { return 3; };
  EXPECT_EQ(Run(cursor_, "SetRecord(1, 2)").first, -3);
  EngineHooks::CopyRecordToTable = copyHook;
}

// ZIEL: NAME S20; CODE I with the formula 99; DOPPELT I with the formula
// MENGE * 2; MENGE I.
void TargetFields(int32_t field, ZetFieldDef* def, uint32_t) {
  const struct {
    const char* name;
    uint16_t type, parameter;
    const char* formula;
  } defs[] = {{"NAME", 1, 20, ""}, {"CODE", 2, 0, "99"}, {"DOPPELT", 2, 0, "MENGE * 2"}, {"MENGE", 2, 0, ""}};
  const auto& d = defs[field - 1];
  std::strcpy(def->name, d.name);
  def->type = d.type;
  def->parameter = d.parameter;
  def->properties = d.formula[0] != 0 ? 1 : 0;
  std::strcpy(def->first, d.formula);
}

TEST_F(LanguageServices, SetRecordComputesTheTargetsFormulasButKeepsThoseTheSourceFills) {
  const std::string path = TempPath("ZIEL.DAT");
  ASSERT_EQ(ZetRltnCreate(path.c_str(), "", 0, 2, 4, TargetFields, 0, 0), 0);
  const int32_t target = ZetRltnOpen(path.c_str(), "", 0, interface_test::kAllRights);
  ASSERT_EQ(target, 2);
  ASSERT_GE(ZetTableSetRecNo(cursor_, 3), 0);
  ASSERT_EQ(Run(cursor_, "SetRecord(1, 2)").first, 0);
  const ZetTable::TZetTable& t = *ZetTable::Table(target);
  auto text = [&](const char* name) {
    std::string v =
        ZetTable::FieldText(t, ZetTable::FieldNoFromText(target, name), t.recordBuffer.data()).str();
    return v.erase(0, v.find_first_not_of(' '));
  };
  EXPECT_EQ(text("NAME"), "Birne");
  EXPECT_EQ(text("MENGE"), "9");
  EXPECT_EQ(text("CODE"), "3") << "a formula field the source fills keeps the source's value";
  EXPECT_EQ(text("DOPPELT"), "18") << "the others are computed from the values copied";
  EXPECT_EQ(ZetTable::Table(target)->recordCount, 0) << "nothing is appended";
}

int32_t g_blobLength = 0;
int16_t ReadSoundBlob(int8_t cursor, const char* name) {
  g_blobLength = ZetTableInitGetBlob(cursor, name);
  ZetTableDoneGetBlob();
  return 1;
}

TEST_F(LanguageServices, TheHostReadsTheBlobThroughTheTemporaryCursor) {
  ASSERT_GE(ZetTableSetRecNo(cursor_, 2), 0);
  const std::vector<uint8_t> sound(700, 0x5A);
  ASSERT_EQ(ZetTableEdit(cursor_), 0);
  ASSERT_EQ(ZetTableInitPutBlob(cursor_, "BILD", int32_t(sound.size())), 0);
  ASSERT_EQ(ZetTablePutBlobBlock(sound.data(), int32_t(sound.size())), int32_t(sound.size()));
  ASSERT_EQ(ZetTableDonePutBlob(cursor_, "BILD"), 0);
  ASSERT_EQ(ZetTableEditConfirm(cursor_), 0);
  ASSERT_EQ(ZetSetOutputProcs(nullptr, ReadSoundBlob), 0);
  g_blobLength = -1;
  EXPECT_EQ(Run(cursor_, "PlaySound(ARTIKEL.BILD)").second, "1");
  EXPECT_EQ(g_blobLength, 700);
  ASSERT_EQ(ZetSetOutputProcs(nullptr, nullptr), 0);
}

TEST_F(LanguageServices, RecNoAndNMarksOfTheTablesHighestCursor) {
  // The first cursor stands on record 1; a second one (the highest) walks
  // the marks 1 and 3 and stands on 3.
  const int32_t second = ZetTableCreate(relation_);
  ASSERT_GT(second, cursor_);
  ASSERT_GE(ZetTableSetRecNo(cursor_, 1), 0);
  for (int32_t recno : {1, 3}) {
    ASSERT_GE(ZetTableSetRecNo(second, recno), 0);
    ASSERT_EQ(ZetTableToggleMark(second), 0);
  }
  ASSERT_GE(ZetTableSetRecNo(second, 2), 0);
  struct Case {
    const char* what;
    const char* access;
    int32_t recno;
    const char* recNo;
    const char* nMarks;
  };
  const Case cases[] = {
      {"record order: the record number", "Nummer", 2, "2", "0"},
      {"marked order: the place among the access marks", "Markierung", 3, "2", "2"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_EQ(ZetTableSetAccess(second, c.access, 1), 0);
    ASSERT_GE(ZetTableSetRecNo(second, c.recno), 0);
    EXPECT_EQ(Run(cursor_, "RecNo(1, 1)").second, c.recNo);
    EXPECT_EQ(Run(cursor_, "NMarks(1, 1)").second, c.nMarks);
  }
  ASSERT_EQ(ZetTableDelete(second), 0);
  ASSERT_EQ(ZetTableDelete(cursor_), 0);
  // Without a cursor on the table: -1.
  EXPECT_EQ(EngineHooks::CursorRecNo(relation_), -1);
  EXPECT_EQ(EngineHooks::CursorMarkCount(relation_), -1);
}

TEST_F(LanguageServices, AJobStartsOnItsCursorsRecord) {
  const int32_t other = ZetTableCreate(relation_);
  ASSERT_GE(ZetTableSetRecNo(cursor_, 1), 0);
  ASSERT_GE(ZetTableSetRecNo(other, 3), 0);  // the table now stands on record 3
  const std::string job = WriteTemp("NAME.JOB", ".REPORT\r\n.PROLOG\r\n$(NAME)\r\n");
  const std::string out = TempPath("NAME.TXT");
  for (const auto& [cursor, name] : {std::pair{cursor_, "Kiwi"}, std::pair{other, "Birne"}}) {
    ASSERT_EQ(ZetExecuteJob(cursor, job.c_str(), 0, out.c_str(), 0), 0);
    EXPECT_EQ(ReadFile(out), std::string(name) + "\r\n");
  }
}

// A cursor made from the job's cursor brings its table back to its own
// record too, whichever cursor moved that table last.
TEST_F(LanguageServices, AJobStartsOnTheRecordsOfTheCursorsMadeFromItsCursor) {
  OpenSecondArticles("ZWEI");
  const int32_t second = 2;
  const int32_t filler = ZetTableCreate(second);
  for (const auto& [code, name] : {std::pair{1, "Eins"}, {2, "Zwei"}, {3, "Drei"}})
    ASSERT_EQ(AddArticle(filler, code, name, code), 0);
  const int32_t linked = ZetTableCreateLinkedTable(cursor_, second, nullptr);
  ASSERT_GT(linked, 0);
  ASSERT_GE(ZetTableSetRecNo(linked, 2), 0);
  ASSERT_GE(ZetTableSetRecNo(filler, 3), 0);  // table ZWEI now stands on record 3
  ASSERT_GE(ZetTableSetRecNo(cursor_, 1), 0);
  const std::string job = WriteTemp("ZWEI.JOB", ".REPORT\r\n.PROLOG\r\n$(NAME) $(ZWEI.NAME)\r\n");
  const std::string out = TempPath("ZWEI.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, job.c_str(), 0, out.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(out), "Kiwi Zwei\r\n");
}

TEST_F(LanguageServices, TheJobsNBAndTheHostShareOneBreakSwitch) {
  struct Case {
    int32_t enable;
    const char* nb;
  };
  for (const Case& c : {Case{0, "1"}, Case{1, "0"}}) {
    ASSERT_EQ(ZetEnableBreak(c.enable), 0);
    EXPECT_EQ(Run(cursor_, "GetPara('NB')").second, c.nb);
  }
  EXPECT_EQ(Run(cursor_, "SetPara('.NB 1')").first, 0);
  EXPECT_FALSE(Common::BreakEnabled);
  ASSERT_EQ(ZetEnableBreak(1), 0);
  // A job's NB holds while it runs; the host's switch is as before after it.
  const std::string job = WriteTemp("NB.JOB", ".REPORT\r\n.PROLOG\r\n.NB 1\r\n$(GetPara('NB'))\r\n");
  const std::string out = TempPath("NB.TXT");
  ASSERT_EQ(ZetExecuteJob(cursor_, job.c_str(), 0, out.c_str(), 0), 0);
  EXPECT_EQ(ReadFile(out), "1\r\n");
  EXPECT_TRUE(Common::BreakEnabled);
}

}  // namespace
