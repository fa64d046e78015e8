// Memo and blob values in the language, over two article tables on disk
// (ARTIKEL and LAGER, each with its memo file NOTIZ and blob file BILD):
// memo lines in selections (Has, Like, in), memo assignments that copy the
// memo instead of sharing its chain, a memo handed whole to a host text
// parameter, and the blob size of a field.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/language/compiler.h"
#include "engine/language/hostcmds.h"
#include "engine/language/interp.h"
#include "engine/language/lumostack.h"
#include "engine/language/selection.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet01_edit.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace editing_test;

class MemoValues : public zettest::EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    artikel = OpenArticles(CreateArticles(TempPath("ARTIKEL.DAT")));
    // A folder of its own: both tables name the same user index files.
    std::filesystem::create_directories(TempPath("lager"));
    lager = OpenArticles(CreateArticles(TempPath("lager/LAGER.DAT")));
    ASSERT_NE(artikel, 0);
    ASSERT_NE(lager, 0);
    // ARTIKEL 1 holds a memo of three lines (the last longer than 255
    // characters in all), LAGER 1 none.
    TZetTable& a = *ZetTable::Table(artikel);
    const uint32_t memo = PutMemo(a.memoFile, "Erste Zeile\rZweite Zeile aus K\xF6ln\r" + std::string(300, 'x'));
    ASSERT_NE(memo, 0u);
    Append(artikel, {0, 1, "Apfel", 5, memo, 0});
    Append(lager, {0, 1, "Apfel", 5, 0, 0});
    Zet02::SetWriteEnable(true);
  }
  void TearDown() override {
    Zet02::SetWriteEnable(false);
    EngineTest::TearDown();
  }
  static uint32_t PutMemo(WINMEMOS::TMemoFile& f, const std::string& text) {
    EXPECT_EQ(WINMEMOS::InitPutMemo(f), 0);
    EXPECT_EQ(WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()), int32_t(text.size()));
    return WINMEMOS::DonePutMemo(f, 0);
  }
  static void Append(int h, const Article& a) {
    ZetTable::Table(h)->recordBuffer.assign(ZetTable::Table(h)->recordLength, 0);
    PutArticle(h, a);
    ASSERT_EQ(Zet01::AppendRecord(h, true, 0), 0);
  }
  static std::string Compile(int table, const std::string& text) {
    ZetTable::SetCurrentHandle(table);
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    return code.str();
  }
  static int Run(int table, const std::string& text, Zet02::TRunValue& value) {
    return Zet02::SolveExpression(Compile(table, text), value);
  }
  static std::string MemoText(int h, uint32_t block) {
    WINMEMOS::InitGetMemo(ZetTable::Table(h)->memoFile, block);
    char buffer[1024];
    const int32_t n = WINMEMOS::GetMemoBlock(sizeof buffer, buffer);
    WINMEMOS::DoneGetMemo();
    return std::string(buffer, size_t(std::max(n, 0)));
  }
  int artikel = 0, lager = 0;
};

TEST_F(MemoValues, SelectionsReadTheMemoAsLines) {
  struct Case {
    const char* text;
    bool selected;
    int error;
  };
  const Case cases[] = {
      {"NOTIZ | 'Zweite'", true, 0},       {"NOTIZ | 'Dritte'", false, 0},
      {"NOTIZ | 'zweite'", false, 0},      {"NOTIZ ? 'erste*'", true, 0},
      {"NOTIZ ? '*K\xF6ln'", true, 0},     {"NOTIZ ? 'Zeile'", false, 0},
      {"NOTIZ | 'xxxx'", true, 0},         {"NOTIZ in ['Dritte', '*K\xF6ln']", true, 0},
      {"NOTIZ in ['Dritte']", false, 0},   {"NOTIZ in [3]", false, 44},
      {"NOTIZ = 'Erste Zeile'", false, 44}, {"NOTIZ", true, 0},
  };
  ZetTable::SetCurrentHandle(artikel);
  ASSERT_EQ(Zet01::ReadRecord(artikel, 1), 0);
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    ShortStr code(Compile(artikel, c.text));
    int error = 0;
    int dependency = 0;
    EXPECT_EQ(Zet02::EvalSelection(code, 3, error, dependency), c.selected);
    EXPECT_EQ(error, c.error);
  }
  // A record without a memo has no lines.
  ZetTable::SetCurrentHandle(lager);
  ASSERT_EQ(Zet01::ReadRecord(lager, 1), 0);
  for (const char* text : {"NOTIZ | 'Zeile'", "NOTIZ ? '*'", "NOTIZ in ['*']", "NOTIZ"}) {
    ShortStr code(Compile(lager, text));
    int error = 0;
    int dependency = 0;
    EXPECT_FALSE(Zet02::EvalSelection(code, 3, error, dependency)) << text;
    EXPECT_EQ(error, 0) << text;
  }
}

TEST_F(MemoValues, AssignedMemosAreCopiedNotShared) {
  ASSERT_EQ(Zet01::ReadRecord(artikel, 1), 0);
  const uint32_t source = ArticleOf(*ZetTable::Table(artikel), ZetTable::Table(artikel)->recordBuffer.data()).notiz;
  ZetTable::SetCurrentHandle(lager);
  ASSERT_EQ(Zet01::ReadRecord(lager, 1), 0);
  Zet02::TRunValue value;
  // Without the apply flag nothing changes.
  Zet02::SetWriteEnable(false);
  EXPECT_EQ(Run(lager, "NOTIZ := ARTIKEL.NOTIZ", value), 0);
  EXPECT_EQ(ArticleOf(*ZetTable::Table(lager), ZetTable::Table(lager)->recordBuffer.data()).notiz, 0u);
  Zet02::SetWriteEnable(true);
  // The memo of the other table is copied into LAGER's memo file.
  ASSERT_EQ(Run(lager, "NOTIZ := ARTIKEL.NOTIZ", value), 0);
  TZetTable& l = *ZetTable::Table(lager);
  const uint32_t copy = ArticleOf(l, l.recordBuffer.data()).notiz;
  ASSERT_NE(copy, 0u);
  EXPECT_EQ(MemoText(lager, copy), MemoText(artikel, source));
  EXPECT_EQ(MemoText(lager, copy).size(), 11 + 2 + 21 + 2 + 300u);
  // The same memo stored again into its own field keeps its chain; within
  // one table another record gets a chain of its own.
  Zet02::TRunValue memo;
  memo.type = Zet02::kValMemo;
  memo.table = uint8_t(lager);
  memo.number = copy;
  ASSERT_EQ(Zet02::StoreFieldValue(lager, kNotiz, memo, 0), 0);
  EXPECT_EQ(ArticleOf(l, l.recordBuffer.data()).notiz, copy);
  Append(lager, {0, 2, "Birne", 1, 0, 0});
  ASSERT_EQ(Zet02::StoreFieldValue(lager, kNotiz, memo, 0), 0);
  const uint32_t second = ArticleOf(l, l.recordBuffer.data()).notiz;
  EXPECT_NE(second, 0u);
  EXPECT_NE(second, copy);
  EXPECT_EQ(MemoText(lager, second), MemoText(lager, copy));
  // A text is no memo; a number is taken as the first block.
  EXPECT_EQ(Run(lager, "NOTIZ := 'Text'", value), 44);
  EXPECT_EQ(Run(lager, "NOTIZ := 0", value), 0);
  EXPECT_EQ(ArticleOf(l, l.recordBuffer.data()).notiz, 0u);
}

struct HostText {
  std::string text;
};
std::vector<HostText> g_texts;

int16_t RecordText(int32_t, uint16_t, ZetArgDescriptor* args) {
  g_texts.push_back({reinterpret_cast<const char*>(args[2].value)});
  return 0;
}

TEST_F(MemoValues, AMemoFieldGoesWholeToATextParameter) {
  ASSERT_EQ(LumoHost::ParseAndRegisterCommand("ZEIGE:R( S)", 230, 401, 1), 0);
  LumoHost::SetExecProc(RecordText);
  g_texts.clear();
  ZetTable::SetCurrentHandle(artikel);
  ASSERT_EQ(Zet01::ReadRecord(artikel, 1), 0);
  Zet02::TRunValue value;
  EXPECT_EQ(Run(artikel, "ZEIGE(NOTIZ)", value), 0);
  EXPECT_EQ(Run(artikel, "ZEIGE(NAME)", value), 0);
  EXPECT_EQ(Run(artikel, "ZEIGE(MENGE)", value), 44);
  ASSERT_EQ(g_texts.size(), 2u);
  EXPECT_EQ(g_texts[0].text, "Erste Zeile\r\nZweite Zeile aus K\xF6ln\r\n" + std::string(300, 'x'));
  EXPECT_EQ(g_texts[1].text.substr(0, 5), "Apfel");
  EXPECT_EQ(LumoExec::ValueStack().Used(), 0u);
  LumoHost::SetExecProc(nullptr);
}

TEST_F(MemoValues, BlobFieldSizeLeavesOutTheKindWord) {
  TZetTable& a = *ZetTable::Table(artikel);
  std::vector<uint8_t> bytes(1500, 7);
  ASSERT_EQ(WinBlobs::InitPutBlob(a.blobFile, 0), 0);
  ASSERT_EQ(WinBlobs::PutBlobBlock(int32_t(bytes.size()), bytes.data()), int32_t(bytes.size()));
  const uint32_t blob = WinBlobs::DonePutBlob();
  ASSERT_NE(blob, 0u);
  ASSERT_EQ(Zet01::ReadRecord(artikel, 1), 0);
  EXPECT_EQ(Zet02::BlobFieldSize(artikel, kBild), 0);
  bytes::PutU32(a.recordBuffer.data() + a.FieldOffset(kBild), blob);
  EXPECT_EQ(Zet02::BlobFieldSize(artikel, kBild), 1498);
  EXPECT_EQ(Zet02::BlobFieldSize(artikel, kName), -1);
  EXPECT_EQ(Zet02::BlobFieldSize(artikel, 99), -1);
  EXPECT_EQ(Zet02::BlobFieldSize(77, kBild), -1);
}

}  // namespace
