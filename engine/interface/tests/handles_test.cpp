// Handle checks of every export that takes a cursor or a relation, driven by
// the export list of zetcore.h itself, and the engine-wide calls of login,
// last error and texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>

#include "engine/base/common.h"
#include "engine/base/userbreak.h"
#include "engine/interface/tests/interface_test_util.h"
#include "engine/interface/zeteng.h"
#include "engine/language/sysservices.h"
#include "engine/language/variables.h"
#include "platform/process.h"
#include "platform/settings/registry.h"

namespace {

using interface_test::InterfaceTest;
using Call = std::function<int32_t(int32_t)>;

// Every export of the header with its first parameter's name.
std::map<std::string, std::string> HeaderExports() {
  std::ifstream in(ZETCORE_HEADER);
  std::stringstream text;
  text << in.rdbuf();
  const std::string all = text.str();
  std::map<std::string, std::string> exports;
  const std::regex declaration(R"(ZET_EXPORT\s+int32_t\s+(\w+)\s*\(\s*(?:const\s+)?\w+\s*\*?\s*(\w*))");
  for (std::sregex_iterator it(all.begin(), all.end(), declaration), end; it != end; ++it)
    exports[(*it)[1]] = (*it)[2];
  return exports;
}

char g_buffer[300];
double g_real;
ZetFieldSpec g_spec;
ZetRltnInfo g_info;
ZetIndexInfo g_index;
std::vector<uint8_t> g_record(4096);
uint8_t g_code[256];
// Code compiled without a table.
const uint8_t* Code(const char* text) {
  EXPECT_EQ(ZetTokenize(0, g_code, text), 0);
  return g_code;
}

// One call per export that takes a cursor; each passes valid other arguments.
const std::map<std::string, Call>& CursorCalls() {
  static const std::map<std::string, Call> calls = {
      {"ZetTableDelete", ZetTableDelete},
      {"ZetTableClone", ZetTableClone},
      {"ZetTableCreateRelTable", [](int32_t h) { return ZetTableCreateRelTable(h, "NAME"); }},
      {"ZetTableCreateLinkedTable", [](int32_t h) { return ZetTableCreateLinkedTable(h, 1, nullptr); }},
      {"ZetTableAttach", ZetTableAttach},
      {"ZetTableRestore", ZetTableRestore},
      {"ZetSetPrimaryTable", ZetSetPrimaryTable},
      {"ZetTableGetRltnHdl", ZetTableGetRltnHdl},
      {"ZetTableGetRltnName", [](int32_t h) { return ZetTableGetRltnName(h, g_buffer, 255, 1); }},
      {"ZetTableGetRltnVersion", ZetTableGetRltnVersion},
      {"ZetTableGetNumFields", ZetTableGetNumFields},
      {"ZetTableSetAccess", [](int32_t h) { return ZetTableSetAccess(h, "Nummer", 1); }},
      {"ZetTableGetAccess", [](int32_t h) { return ZetTableGetAccess(h, g_buffer, 255); }},
      {"ZetTableGetAccessIndex", ZetTableGetAccessIndex},
      {"ZetTableFirst", ZetTableFirst},
      {"ZetTableLast", ZetTableLast},
      {"ZetTableMoveBy", [](int32_t h) { return ZetTableMoveBy(h, 1); }},
      {"ZetTableGotoMark", [](int32_t h) { return ZetTableGotoMark(h, 1); }},
      {"ZetTableSetRecNo", [](int32_t h) { return ZetTableSetRecNo(h, 1); }},
      {"ZetTableGetRecNo", ZetTableGetRecNo},
      {"ZetTableRecordCount", ZetTableRecordCount},
      {"ZetTableSetRelationSet", [](int32_t h) { return ZetTableSetRelationSet(h, 1, 0); }},
      {"ZetTableStartContinousRead", ZetTableStartContinousRead},
      {"ZetTableEndContinousRead", ZetTableEndContinousRead},
      {"ZetTableStartProtected", ZetTableStartProtected},
      {"ZetTableEndProtected", ZetTableEndProtected},
      {"ZetTableGetStr", [](int32_t h) { return ZetTableGetStr(h, "NAME", g_buffer, 255); }},
      {"ZetTableGetPrevStr", [](int32_t h) { return ZetTableGetPrevStr(h, "NAME", g_buffer, 255); }},
      {"ZetTableGetReal", [](int32_t h) { return ZetTableGetReal(h, "MENGE", &g_real); }},
      {"ZetTableGetRecord", [](int32_t h) { return ZetTableGetRecord(h, g_record.data()); }},
      {"ZetTableGetRecordSize", ZetTableGetRecordSize},
      {"ZetTableGetFieldSpec", [](int32_t h) { return ZetTableGetFieldSpec(h, 1, &g_spec); }},
      {"ZetTableGetRecordField",
       [](int32_t h) { return ZetTableGetRecordField(h, nullptr, 1, 3, nullptr, nullptr, g_buffer, 255); }},
      {"ZetTableGetFieldNo", [](int32_t h) { return ZetTableGetFieldNo(h, "NAME"); }},
      {"ZetTableGetIdInfo", [](int32_t h) { return ZetTableGetIdInfo(h, g_buffer, 255); }},
      {"ZetTableGetAutoNo", ZetTableGetAutoNo},
      {"ZetTableAppend", ZetTableAppend},
      {"ZetTableAppendDuplicate", ZetTableAppendDuplicate},
      {"ZetTableAppendConfirm", ZetTableAppendConfirm},
      {"ZetTableAppendCancel", ZetTableAppendCancel},
      {"ZetTableEdit", ZetTableEdit},
      {"ZetTableEditConfirm", ZetTableEditConfirm},
      {"ZetTableEditCancel", ZetTableEditCancel},
      {"ZetTableSetStr", [](int32_t h) { return ZetTableSetStr(h, "NAME", "x"); }},
      {"ZetTableSetRecord", [](int32_t h) { return ZetTableSetRecord(h, g_record.data()); }},
      {"ZetTableDeleteRecord", ZetTableDeleteRecord},
      {"ZetTableStartCommit", ZetTableStartCommit},
      {"ZetTableIsDirty", ZetTableIsDirty},
      {"ZetTableIsDirtyRecord", ZetTableIsDirtyRecord},
      {"ZetTableStartReport", [](int32_t h) { return ZetTableStartReport(h, 1, 0); }},
      {"ZetTableEndReport", ZetTableEndReport},
      {"ZetTableReadNextLinked", [](int32_t h) { return ZetTableReadNextLinked(h, 0); }},
      {"ZetTableRegisterEmbeddedRltn", [](int32_t h) { return ZetTableRegisterEmbeddedRltn(h, 1); }},
      {"ZetTableGetLinkInfo", [](int32_t h) { return ZetTableGetLinkInfo(h, "NAME", g_buffer, 255); }},
      {"ZetTableAppendWithIDInfo", [](int32_t h) { return ZetTableAppendWithIDInfo(h, "99"); }},
      {"ZetTableDeleteMarkedRecs", [](int32_t h) { return ZetTableDeleteMarkedRecs(h, nullptr, 0); }},
      // Delimited text files and replace.
      {"ZetTableImport",
       [](int32_t h) { return ZetTableImport(h, "", "KEIN.TXT", "", 0, 0, nullptr, 0, 1, nullptr, 0); }},
      {"ZetTableExport", [](int32_t h) { return ZetTableExport(h, "", "KEIN.TXT", 0, 1, 0, nullptr); }},
      {"ZetTableCheckReplacement", [](int32_t h) { return ZetTableCheckReplacement(h, "MENGE := 1"); }},
      {"ZetTableReplace", [](int32_t h) { return ZetTableReplace(h, "", "MENGE := 1", nullptr, 0); }},
      {"ZetExecuteJob", [](int32_t h) { return ZetExecuteJob(h, "X.JOB", 0, "", 0); }},
      {"ZetTableSetField", [](int32_t h) { return ZetTableSetField(h, 1, g_record.data(), g_buffer); }},
      {"ZetTableAppendLinked", [](int32_t h) { return ZetTableAppendLinked(h, h); }},
      {"ZetTableSetFormula", [](int32_t h) { return ZetTableSetFormula(h, "MENGE", "1", 0); }},
      {"ZetTableChangeRelEntry", [](int32_t h) { return ZetTableChangeRelEntry(h, 1, 0, 2); }},
      {"ZetTableGetBrowserCol",
       [](int32_t h) {
         std::strcpy(g_buffer, "untouched");
         const int32_t result = ZetTableGetBrowserCol(h, "", g_buffer, 20);
         return std::strcmp(g_buffer, "untouched") == 0 ? result : -999;
       }},
      // Search, find and marks.
      {"ZetTableSearch", [](int32_t h) { return ZetTableSearch(h, "MENGE > 0", nullptr); }},
      {"ZetTableSearchContinue", [](int32_t h) { return ZetTableSearchContinue(h, nullptr); }},
      {"ZetTableFindRec", [](int32_t h) { return ZetTableFindRec(h, "NAMEN.IND", "A", nullptr); }},
      {"ZetTableMark", [](int32_t h) { return ZetTableMark(h, "MENGE > 0", 1, nullptr); }},
      {"ZetTableGetNumMarks", ZetTableGetNumMarks},
      {"ZetTableToggleMark", ZetTableToggleMark},
      {"ZetTableUnmark", ZetTableUnmark},
      {"ZetTableIsMarked", [](int32_t h) { return ZetTableIsMarked(h, -1); }},
      {"ZetTableSortMarkedRecs", [](int32_t h) { return ZetTableSortMarkedRecs(h, "NAME"); }},
      {"ZetTableMarkDoubles", [](int32_t h) { return ZetTableMarkDoubles(h, nullptr); }},
      {"ZetTableMarkFullText", [](int32_t h) { return ZetTableMarkFullText(h, nullptr); }},
      // Memo and blob transfer.
      {"ZetTableInitGetMemo", [](int32_t h) { return ZetTableInitGetMemo(h, "NOTIZ"); }},
      {"ZetTableInitPutMemo", [](int32_t h) { return ZetTableInitPutMemo(h, "NOTIZ"); }},
      {"ZetTableDonePutMemo", [](int32_t h) { return ZetTableDonePutMemo(h, "NOTIZ"); }},
      {"ZetTableInitGetBlob", [](int32_t h) { return ZetTableInitGetBlob(h, "BILD"); }},
      {"ZetTableInitPutBlob", [](int32_t h) { return ZetTableInitPutBlob(h, "BILD", 10); }},
      {"ZetTableDonePutBlob", [](int32_t h) { return ZetTableDonePutBlob(h, "BILD"); }},
      // Expressions: the compiling ones take an invalid cursor as no table.
      {"ZetCheckExpression", [](int32_t h) { return ZetCheckExpression(h, "1"); }},
      {"ZetAnalizeExpression", [](int32_t h) { return ZetAnalizeExpression(h, "1", nullptr, nullptr, nullptr); }},
      {"ZetTokenize", [](int32_t h) { return ZetTokenize(h, g_code, "1"); }},
      {"ZetTokenizeSelection", [](int32_t h) { return ZetTokenizeSelection(h, g_code, "1 = 1"); }},
      {"ZetSolve", [](int32_t h) { return ZetSolve(h, g_buffer, Code("1"), 255, 0); }},
      {"ZetExecMacro", [](int32_t h) { return ZetExecMacro(h, g_buffer, Code("1"), 255, 0); }},
      {"ZetEvalSelection", [](int32_t h) { return ZetEvalSelection(h, Code("1 = 1")); }},
  };
  return calls;
}

const std::map<std::string, Call>& RelationCalls() {
  static const std::map<std::string, Call> calls = {
      {"ZetRltnClose", ZetRltnClose},
      {"ZetRltnGetName", [](int32_t h) { return ZetRltnGetName(h, g_buffer, 255, 1); }},
      {"ZetRltnGetDir", [](int32_t h) { return ZetRltnGetDir(h, g_buffer, 255); }},
      {"ZetRltnGetParentRltn", [](int32_t h) { return ZetRltnGetParentRltn(h, g_buffer, 255); }},
      {"ZetRltnGetLinkIndex", ZetRltnGetLinkIndex},
      {"ZetRltnGetRelationTableName",
       [](int32_t h) { return ZetRltnGetRelationTableName(h, "NAME", g_buffer, 255); }},
      {"ZetRltnIsAdlRltn", ZetRltnIsAdlRltn},
      {"ZetRltnGetIndexNames", [](int32_t h) { return ZetRltnGetIndexNames(h, g_buffer, 255); }},
      {"ZetRltnGetIndexDesc", [](int32_t h) { return ZetRltnGetIndexDesc(h, "NAMEN.IND", g_buffer, 255, 0); }},
      {"ZetRltnCreateIndex", [](int32_t h) { return ZetRltnCreateIndex(h, "X", "NAME", 0, nullptr); }},
      {"ZetRltnDeleteIndex", [](int32_t h) { return ZetRltnDeleteIndex(h, "NAMEN.IND"); }},
      {"ZetRltnRefreshIndex", [](int32_t h) { return ZetRltnRefreshIndex(h, nullptr, nullptr); }},
      {"ZetRltnRecordCount", ZetRltnRecordCount},
      {"ZetRltnCreateFullTextIndex", [](int32_t h) { return ZetRltnCreateFullTextIndex(h, nullptr, nullptr); }},
      {"ZetRltnFullTextIndexGetIndexNames",
       [](int32_t h) { return ZetRltnFullTextIndexGetIndexNames(h, g_buffer, 255); }},
      {"ZetRltnFullTextIndexGetRelationNames",
       [](int32_t h) { return ZetRltnFullTextIndexGetRelationNames(h, 1, g_buffer, 255); }},
      {"ZetRltnGetInfo", [](int32_t h) { return ZetRltnGetInfo(h, &g_info); }},
      {"ZetTableCreate", ZetTableCreate},
      {"ZetRltnGetAutoNo", [](int32_t h) { return ZetRltnGetAutoNo(h, "1"); }},
      {"ZetIndexGetInfo", [](int32_t h) { return ZetIndexGetInfo(h, "NAMEN.IND", &g_index); }},
      {"ZetCheckIndexDescription", [](int32_t h) { return ZetCheckIndexDescription(h, "NAME"); }},
      {"ZetRltnRestructure",
       [](int32_t h) { return ZetRltnRestructure(h, "", 0, 2, 1, nullptr, 0, nullptr); }},
  };
  return calls;
}

// Attach and restore answer nothing; the identifier and mark tests answer
// "no"; the compiling exports compile without a table; a run on cursor 0
// takes the active cursor, and without one runs without a table.
int32_t ExpectedForBadCursor(const std::string& name, int32_t handle) {
  static const std::set<std::string> noAnswer = {
      "ZetTableAttach",     "ZetTableRestore",      "ZetTableReadNextLinked", "ZetTableRegisterEmbeddedRltn",
      "ZetTableIsMarked",   "ZetCheckExpression",   "ZetAnalizeExpression",   "ZetTokenize",
      "ZetTokenizeSelection", "ZetTableGetBrowserCol"};
  if (noAnswer.count(name)) return 0;
  if (handle == 0 && (name == "ZetSolve" || name == "ZetExecMacro")) return 0;
  return -101;
}
int32_t ExpectedForBadRelation(const std::string& name) { return name == "ZetRltnIsAdlRltn" ? 0 : -17; }

TEST_F(InterfaceTest, EveryHandleExportRefusesBadHandlesAndTouchesNothing) {
  const auto exports = HeaderExports();
  ASSERT_GT(exports.size(), 70u);
  for (const auto& [name, first] : exports) {
    if (first == "cursor") {
      EXPECT_TRUE(CursorCalls().count(name)) << name << " has no bad-handle case";
    } else if (first == "relation") {
      EXPECT_TRUE(RelationCalls().count(name)) << name << " has no bad-handle case";
    }
  }

  const int32_t relation = OpenArticles();
  const int32_t keep = ZetTableCreate(relation);
  ASSERT_EQ(interface_test::AddArticle(keep, 1, "Apfel", 3), 0);
  const int32_t freed = ZetTableCreate(relation);
  ASSERT_EQ(ZetTableDelete(freed), 0);

  for (const auto& [name, call] : CursorCalls()) {
    for (int32_t h : {0, 51, -1, freed, 256 + keep}) {
      SCOPED_TRACE(name + " with " + std::to_string(h));
      EXPECT_EQ(call(h), ExpectedForBadCursor(name, h));
      EXPECT_EQ(ZetTableGetRecNo(keep), 1);
      EXPECT_EQ(ZetGetNumRelations(), 1);
    }
  }
  for (const auto& [name, call] : RelationCalls()) {
    for (int32_t h : {0, ZetGetNumRelations() + 1, -1, 256 + relation}) {
      SCOPED_TRACE(name + " with " + std::to_string(h));
      EXPECT_EQ(call(h), ExpectedForBadRelation(name));
      EXPECT_EQ(ZetGetNumRelations(), 1);
    }
  }
  EXPECT_EQ(interface_test::Field(keep, "NAME"), "Apfel");
}

TEST_F(InterfaceTest, SessionSettingsReachTheEngine) {
  EXPECT_EQ(ZetGetErrorCheck(), 0);
  ZetVars::SetErrorCheckSwitch(true);
  EXPECT_EQ(ZetGetErrorCheck(), 1);
  ZetVars::SetErrorCheckSwitch(false);

  EXPECT_TRUE(Common::BreakEnabled);
  EXPECT_EQ(ZetEnableBreak(0), 0);
  EXPECT_FALSE(Common::BreakEnabled);
  EXPECT_FALSE(Common::UserBreakRequested());
  Common::BreakRequested = true;
  EXPECT_TRUE(Common::UserBreakRequested()) << "a break the engine asked for itself still counts";
  Common::BreakRequested = false;
  EXPECT_EQ(ZetEnableBreak(2), 0);
  EXPECT_TRUE(Common::BreakEnabled);

  const std::string longDirectory = "/" + std::string(400, 'p') + "/";
  EXPECT_EQ(ZetSetProjectDir(longDirectory.c_str()), 0);
  EXPECT_EQ(ZETEng::ProjectDirectory().view(), std::string_view(longDirectory).substr(0, 255));
  // The macro language's BaseDir answers the project directory, else the
  // current one.
  EXPECT_EQ(SysServices::ServiceHooks().baseDir().view(), ZETEng::ProjectDirectory().view());
  EXPECT_EQ(ZetSetProjectDir(nullptr), 0);
  EXPECT_EQ(ZETEng::ProjectDirectory().view(), "");
  EXPECT_EQ(SysServices::ServiceHooks().baseDir().str(), platform::CurrentDirectory());
}

// PrivDir answers the private directory the host keeps for its user: the
// value "PrivateDir" under the host program's key in the registry, else
// what BaseDir answers.
TEST_F(InterfaceTest, PrivDirIsTheHostsPrivateDirectory) {
  const char* saved = std::getenv("XDG_CONFIG_HOME");
  const std::string savedValue = saved ? saved : "";
  setenv("XDG_CONFIG_HOME", TempPath("config").c_str(), 1);
  EXPECT_EQ(ZetSetProjectDir("/projekt/"), 0);
  EXPECT_EQ(SysServices::ServiceHooks().privDir().str(), "/projekt/");
  win::HKEY key;
  const std::string path = "Software\\Quorvel\\" + Common::ProgramName.str();
  ASSERT_EQ(win::RegCreateKeyExA(win::HKEY_CURRENT_USER, path.c_str(), &key, nullptr), win::ERROR_SUCCESS);
  const char dir[] = "/home/anna/privat/";
  ASSERT_EQ(win::RegSetValueExA(key, "PrivateDir", win::REG_SZ, dir, uint32_t(sizeof dir - 1)), win::ERROR_SUCCESS);
  EXPECT_EQ(SysServices::ServiceHooks().privDir().str(), dir);
  ASSERT_EQ(win::RegSetValueExA(key, "PrivateDir", win::REG_SZ, "", 0), win::ERROR_SUCCESS);
  EXPECT_EQ(SysServices::ServiceHooks().privDir().str(), "/projekt/");
  win::RegCloseKey(key);
  EXPECT_EQ(ZetSetProjectDir(nullptr), 0);
  if (saved) setenv("XDG_CONFIG_HOME", savedValue.c_str(), 1);
  else unsetenv("XDG_CONFIG_HOME");
}

TEST_F(InterfaceTest, OneClientLogsInAtATime) {
  EXPECT_EQ(ZetGetVersion(), 4003);
  EXPECT_EQ(ZetLogin(7), 0);
  EXPECT_EQ(ZetLogin(7), -1);
  EXPECT_EQ(ZetLogin(8), -1);
  ZetLogout(8);
  EXPECT_EQ(ZetLogin(9), -1);
  ZetLogout(7);
  EXPECT_EQ(ZetLogin(9), 0);
}

TEST_F(InterfaceTest, LastErrorReadsOnceAndHonoursTheCapacity) {
  const int32_t relation = OpenArticles();
  const int32_t a = ZetTableCreate(relation), b = ZetTableCreate(relation);
  ASSERT_EQ(interface_test::AddArticle(a, 1, "Apfel", 3), 0);
  ASSERT_EQ(ZetTableFirst(b), 1);
  ASSERT_EQ(ZetTableEdit(a), 0);
  ASSERT_EQ(ZetTableEdit(b), -1);

  char text[64];
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(ZetGetLastError(text, 5), -105);
  EXPECT_STREQ(text, "Daten");
  EXPECT_EQ(text[6], 'x') << "written beyond capacity + 1";
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), 0);
  EXPECT_STREQ(text, "");

  // Capacity 0 writes only the terminator; a negative one or no buffer
  // writes nothing.
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(ZetTableGetStr(a, "NAME", text, 0), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(text[1], 'x');
  std::memset(text, 'x', sizeof text);
  EXPECT_EQ(ZetTableGetStr(a, "NAME", text, -3), 0);
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(ZetTableGetStr(a, "NAME", nullptr, 10), 0);
}

TEST_F(InterfaceTest, NameListsWriteWholeNamesOnly) {
  const int32_t relation = OpenArticles();
  char names[256];
  ASSERT_EQ(ZetRltnGetIndexNames(relation, names, sizeof names - 1), 0);
  const std::string all = names;
  EXPECT_EQ(std::count(all.begin(), all.end(), ','), 3) << all;
  EXPECT_NE(all.find("NAMEN.IND"), std::string::npos) << all;
  const size_t cut = all.find(',', all.find(',') + 1) + 3;  // inside the third name
  ASSERT_EQ(ZetRltnGetIndexNames(relation, names, int32_t(cut)), 0);
  EXPECT_EQ(std::string(names), all.substr(0, all.find(',', all.find(',') + 1)));
}

TEST_F(InterfaceTest, ScrambledCodesKeepTenCharacters) {
  char text[] = "ABCDEFGHIJKL";
  ZetScrambleString(text);
  EXPECT_EQ(std::strlen(text), 10u);
  ZetScrambleString(text);
  EXPECT_STREQ(text, "ABCDEFGHIJ");
  ZetScrambleString(nullptr);

  char data[] = "some record bytes";
  ZetEncrypt(data, 17, 4711);
  EXPECT_STRNE(data, "some record bytes");
  ZetDecrypt(data, 17, 4711);
  EXPECT_STREQ(data, "some record bytes");
}

TEST_F(InterfaceTest, TheFiftyFirstCursorIsRefusedAndFreedSlotsComeBack) {
  const int32_t relation = OpenArticles();
  for (int i = 1; i <= 50; ++i) ASSERT_EQ(ZetTableCreate(relation), i);
  EXPECT_EQ(ZetTableCreate(relation), -2);
  EXPECT_EQ(ZetTableClone(3), -2);
  ASSERT_EQ(ZetTableDelete(17), 0);
  ASSERT_EQ(ZetTableDelete(4), 0);
  EXPECT_EQ(ZetTableCreate(relation), 4);
  EXPECT_EQ(ZetTableClone(1), 17);
}

TEST_F(InterfaceTest, RelationsOpenAndCloseAsAStack) {
  const int32_t first = OpenArticles();
  // Index files are named by their index, so the second table needs a
  // directory of its own.
  std::filesystem::create_directory(TempPath("lager"));
  const std::string second = editing_test::CreateArticles(TempPath("lager/LAGER.DAT"));
  const int32_t r2 = ZetRltnOpen(second.c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
  ASSERT_EQ(r2, 2);
  EXPECT_EQ(ZetGetRltnHdl("LAGER"), 2);
  EXPECT_EQ(ZetGetRltnHdl("ARTIKEL.DAT"), 1);
  char name[64];
  ASSERT_EQ(ZetRltnGetName(r2, name, sizeof name - 1, 0), 0);
  EXPECT_STREQ(name, "LAGER");
  ASSERT_EQ(ZetRltnGetName(r2, name, 3, 1), 0);
  EXPECT_STREQ(name, "LAG");
  EXPECT_EQ(ZetRltnIsAdlRltn(first), 1);
  // A second open of the same file is refused.
  EXPECT_LT(ZetRltnOpen(Path().c_str(), "", editing_test::kTableKey, interface_test::kAllRights), 0);
  EXPECT_EQ(ZetGetNumRelations(), 2);

  // A cursor whose table closed reaches nothing; its delete writes nothing.
  const int32_t c = ZetTableCreate(r2);
  ASSERT_EQ(ZetRltnClose(first), 0);
  EXPECT_EQ(ZetGetNumRelations(), 0);
  const int32_t again = OpenArticles();
  ASSERT_EQ(again, 1);
  const int32_t r2again = ZetRltnOpen(second.c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
  ASSERT_EQ(r2again, 2);
  EXPECT_EQ(ZetTableFirst(c), -17);
  EXPECT_EQ(ZetTableDelete(c), 0);
  EXPECT_EQ(ZetRltnCloseAll(), 0);
  EXPECT_EQ(ZetGetNumRelations(), 0);
}

TEST_F(InterfaceTest, IndexesAreListedDescribedCreatedAndDeleted) {
  const int32_t relation = OpenArticles();
  const int32_t c = ZetTableCreate(relation);
  ASSERT_EQ(interface_test::AddArticle(c, 1, "Birne", 5), 0);
  ASSERT_EQ(interface_test::AddArticle(c, 2, "Birne", 7), 0);
  char text[256];
  EXPECT_EQ(ZetRltnGetIndexDesc(relation, "namen.ind", text, sizeof text - 1, 0), 0);
  EXPECT_STREQ(text, "NAME");
  EXPECT_EQ(ZetRltnGetIndexDesc(relation, "NOPE.IND", text, sizeof text - 1, 0), -16);

  // Asked unique over duplicate names: built, answered 1, error 30 kept.
  EXPECT_EQ(ZetRltnCreateIndex(relation, "NAMEN2", "NAME", 1, nullptr), 1);
  EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -30);
  EXPECT_EQ(ZetRltnCreateIndex(relation, "MENGE2", "MENGE", 1, nullptr), 0);

  // The index a cursor walks by stays; one below it moves the cursor's slot.
  ASSERT_EQ(ZetTableSetAccess(c, "MENGE2.IND", 0), 0);
  const int32_t slot = ZetTableGetAccessIndex(c);
  EXPECT_EQ(ZetRltnDeleteIndex(relation, "MENGE2.IND"), -27);
  EXPECT_EQ(ZetRltnDeleteIndex(relation, "NAMEN2.IND"), 0);
  EXPECT_EQ(ZetTableGetAccessIndex(c), slot - 1);
  ASSERT_EQ(ZetTableGetAccess(c, text, sizeof text - 1), 0);
  EXPECT_STREQ(text, "MENGE2.IND");
  EXPECT_EQ(ZetRltnRefreshIndex(relation, nullptr, nullptr), 0);
  EXPECT_EQ(ZetRltnRefreshIndex(relation, "NOPE.IND", nullptr), -37);

  ZetIndexInfo info;
  ASSERT_EQ(ZetIndexGetInfo(relation, "Namen.ind", &info), 0);
  EXPECT_STREQ(info.name, "NAMEN.IND");
  EXPECT_EQ(info.keyLength, 21);
  EXPECT_GT(info.order, 0);
  EXPECT_EQ(info.height, 1);
  EXPECT_EQ(info.capacity[0] | (uint32_t(info.capacity[1]) << 16), uint32_t(info.order) * 65534u);
  std::memset(&info, 0xAB, sizeof info);
  ASSERT_EQ(ZetIndexGetInfo(relation, "Nummer", &info), 0);
  EXPECT_EQ(info.name[0], 0);
  EXPECT_EQ(info.pageSize, 0) << "an unknown name leaves the record zero";
}

}  // namespace

namespace {

// A table whose key descriptions were damaged on disk: a key part of a type
// no key compares (memo, relation, blob, unknown). The table file's
// identifier key is refused when the table opens (117); an index file's key
// takes that index out of use. Either way no call that compares keys
// (append, find, walk) raises: the host keeps running.
TEST_F(InterfaceTest, KeyPartsThatNoKeyComparesAreRefusedWhereTheyAreRead) {
  using interface_test::AddArticle;
  constexpr size_t kIdKeyFromEnd = 54;      // key description, then the identifier counter
  constexpr size_t kIndexKeyType = 14 + 4;  // tree header, then part 1's type byte
  const std::string name = TempPath("NAMEN.IND");
  struct Case {
    const char* what;
    uint8_t type;
    bool inTable;  // the identifier key of the table file, else the NAMEN.IND key
  } const cases[] = {
      {"memo identifier part", 7, true},   {"relation identifier part", 12, true},
      {"blob identifier part", 11, true},  {"identifier part of type 30", 30, true},
      {"memo index part", 7, false},       {"unknown index part", 30, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ZetRltnCloseAll();
    editing_test::CreateArticles(Path());
    const size_t header = interface_test::ReadFile(Path()).size();
    const int32_t filled = ZetTableCreate(OpenArticles());
    for (int k = 1; k <= 3; ++k) EXPECT_EQ(AddArticle(filled, k, "Artikel " + std::to_string(k), k), 0);
    ZetRltnCloseAll();
    std::string bytes = interface_test::ReadFile(c.inTable ? Path() : name);
    bytes[c.inTable ? header - kIdKeyFromEnd + 4 : kIndexKeyType] = char(c.type);
    WriteTemp(c.inTable ? "ARTIKEL.DAT" : "NAMEN.IND", bytes);
    const int32_t r = ZetRltnOpen(Path().c_str(), "", editing_test::kTableKey, interface_test::kAllRights);
    if (c.inTable) {
      EXPECT_LT(r, 0);
      char text[256];
      EXPECT_EQ(ZetGetLastError(text, sizeof text - 1), -117) << text;
      continue;
    }
    ASSERT_GT(r, 0);
    const int32_t cursor = ZetTableCreate(r);
    for (int k = 4; k <= 6; ++k) EXPECT_EQ(AddArticle(cursor, k, "Artikel " + std::to_string(k), k), 0);
    uint8_t exact = 0;
    ZetTableFindRec(cursor, "NAMEN.IND", "Artikel 2", &exact);
    ZetTableFindRec(cursor, "ARTIKEL.ID", "2", &exact);
    EXPECT_EQ(ZetTableSetAccess(cursor, "MENGE.IND", 0), 0);
    EXPECT_EQ(interface_test::WalkNames(cursor).size(), 6u);
    ZetTableDelete(cursor);
  }
}

}  // namespace
