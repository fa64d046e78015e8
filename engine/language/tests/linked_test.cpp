// Linked aggregates, field paths, and memo and blob functions through paths,
// over a link tree on disk (KUNDEN has a memo NOTIZ and a blob BILD):
//   KUNDEN Meier (1): orders A1, A2, A3; Schulz (2): B1; Huber (3): none
//   POSTEN: Apfel and Birne of A1, Kiwi of A2, Pflaume of B1
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>

#include "engine/base/bytes.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/storage/tests/links_test_util.h"
#include "engine/storage/zet01_links.h"

namespace {

using namespace links_test;

class LinkedLumo : public LinkTest {
 protected:
  void SetUp() override {
    LinkTest::SetUp();
    Create("KUNDEN", {Number(), Text("NAME"), {"NOTIZ", Common::kTypeMemo, 3, 4}, {"BILD", Common::kTypeBlob, 3, 4}}, 2);
    Create("AUFTRAG", {Number(), Link("KUNDE", "KUNDEN"), Text("TEXT")}, 3);
    Create("POSTEN", {Number(), Link("AUFTRAG", "AUFTRAG"), Text("ARTIKEL")});
    kunden = Open("KUNDEN");
    auftrag = Open("AUFTRAG");
    posten = Open("POSTEN");
    for (const char* name : {"Meier", "Schulz", "Huber"}) Add(kunden, {name});
    for (auto [kunde, text] : {std::pair{"1", "A1"}, {"1", "A2"}, {"2", "B1"}, {"1", "A3"}}) Add(auftrag, {kunde, text});
    for (auto [order, item] : {std::pair{"1", "Apfel"}, {"1", "Birne"}, {"2", "Kiwi"}, {"3", "Pflaume"}})
      Add(posten, {order, item});
    Zet01::BuildRelations(1);
    Zet02::SetWriteEnable(true);
  }
  void TearDown() override {
    Zet02::SetWriteEnable(false);
    LinkTest::TearDown();
  }
  void Current(int slot, uint32_t recno) {
    ASSERT_EQ(LINKFILE::SelectPrimaryTable(slot), 0);
    T(slot).currentRecord = recno;
    ASSERT_EQ(Zet01::ReadRecord(slot, recno), 0);
  }
  Zet02::TRunValue Eval(const std::string& text, int* error = nullptr) {
    ShortStr code(text);
    uint64_t set = 0;
    EXPECT_EQ(Zet02::CompileExpression(code, set), 0) << text;
    Zet02::TRunValue value;
    const int e = Zet02::SolveExpression(code, value);
    if (error) *error = e;
    else EXPECT_EQ(e, 0) << text;
    return value;
  }
  int kunden = 0, auftrag = 0, posten = 0;
};

TEST_F(LinkedLumo, AggregatesOverTheLinkedRecords) {
  struct Case {
    uint32_t kunde;
    const char* text;
    double result;
  };
  const Case cases[] = {
      {1, "LinkCount(TEXT <> '')", 3}, {2, "LinkCount(TEXT <> '')", 1}, {3, "LinkCount(TEXT <> '')", 0},
      {1, "Exists(TEXT = 'A2')", 1},   {1, "Exists(TEXT = 'B1')", 0},   {2, "Exists(TEXT = 'B1')", 1},
      {1, "LinkSum(AUFTRAG.NR)", 7},  {3, "LinkSum(AUFTRAG.NR)", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.text) + " for customer " + std::to_string(c.kunde));
    Current(kunden, c.kunde);
    const Zet02::TRunValue v = Eval(c.text);
    EXPECT_EQ(v.type, Zet02::kValReal);
    EXPECT_EQ(v.number, c.result);
    // The primary table keeps its record.
    EXPECT_EQ(T(kunden).currentRecord, c.kunde);
  }
}

TEST_F(LinkedLumo, FieldPathsReadThroughTheLinks) {
  Current(posten, 3);  // Kiwi of A2 of Meier
  EXPECT_EQ(Eval("AUFTRAG.TEXT").text.str().substr(0, 2), "A2");
  EXPECT_EQ(Eval("AUFTRAG.KUNDE.NAME").text.str().substr(0, 5), "Meier");
  EXPECT_EQ(T(posten).currentRecord, 3u);
}

// An assignment through a path reads the linked record, stores the field and
// writes the record back (WriteFieldAndUpdate); the tables keep their
// records; without the apply flag nothing is written.
TEST_F(LinkedLumo, AssignmentsThroughPathsWriteTheLinkedRecord) {
  Current(posten, 3);  // Kiwi of A2 of Meier
  Eval("AUFTRAG.KUNDE.NAME := 'Meyer'");
  EXPECT_EQ(T(posten).currentRecord, 3u);
  Current(kunden, 1);
  EXPECT_EQ(Eval("NAME").text.str().substr(0, 5), "Meyer");
  Current(posten, 3);
  Zet02::SetWriteEnable(false);
  Eval("AUFTRAG.KUNDE.NAME := 'Maier'");
  Zet02::SetWriteEnable(true);
  Current(kunden, 1);
  EXPECT_EQ(Eval("NAME").text.str().substr(0, 5), "Meyer");
  // The service itself: record 2 of the orders, the table's position kept.
  Current(auftrag, 1);
  Zet02::TRunValue text;
  text.type = Zet02::kValString;
  text.text = "B9";
  EXPECT_EQ(Zet02::WriteFieldAndUpdate(auftrag, 3, text, 3), 0);
  EXPECT_EQ(T(auftrag).currentRecord, 1u);
  EXPECT_EQ(Eval("TEXT").text.str().substr(0, 2), "A1");
  Current(auftrag, 3);
  EXPECT_EQ(Eval("TEXT").text.str().substr(0, 2), "B9");
  // A value of the wrong type is error 44 and leaves the record alone.
  Zet02::TRunValue number;
  number.type = Zet02::kValReal;
  number.number = 5;
  EXPECT_EQ(Zet02::WriteFieldAndUpdate(auftrag, 3, number, 3), 44);
  Current(auftrag, 3);
  EXPECT_EQ(Eval("TEXT").text.str().substr(0, 2), "B9");
}

// Memo and blob functions take a field path: they act on the record the
// path leads to, the tables keep their records, and a record of the linked
// table standing on that record sees what was written.
TEST_F(LinkedLumo, MemoAndBlobFunctionsActOnTheRecordAPathLeadsTo) {
  const std::string in = TempPath("IN.TXT");
  std::ofstream(in, std::ios::binary) << "Stammkunde";
  Current(kunden, 1);
  Current(posten, 3);  // Kiwi of A2 of Meier
  EXPECT_EQ(Eval("ReadMemo(AUFTRAG.KUNDE.NOTIZ, '" + in + "')").number, 0);
  EXPECT_EQ(T(posten).currentRecord, 3u);
  EXPECT_EQ(Eval("MemoStr(AUFTRAG.KUNDE.NOTIZ)").text.str(), "Stammkunde");
  EXPECT_EQ(Eval("MemoLen(AUFTRAG.KUNDE.NOTIZ)").number, 10);
  EXPECT_EQ(T(kunden).currentRecord, 1u);
  EXPECT_EQ(Eval("MemoStr(KUNDEN.NOTIZ)").text.str(), "Stammkunde");
  const std::string out = TempPath("OUT.TXT");
  EXPECT_EQ(Eval("CopyMemo(AUFTRAG.KUNDE.NOTIZ, '" + out + "')").number, 0);
  std::ifstream copied(out, std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(copied), {}), "Stammkunde");
  const std::string gif = TempPath("BILD.GIF");
  std::ofstream(gif, std::ios::binary) << "GIF89a....";
  EXPECT_GT(Eval("LinkBlob(AUFTRAG.KUNDE.BILD, '" + gif + "')").number, 0);
  EXPECT_EQ(Eval("GetLinkedFile(AUFTRAG.KUNDE.BILD)").text.str(), gif);
  // Schulz, through Pflaume of B1, has neither; without the apply flag
  // nothing is written.
  Current(posten, 4);
  EXPECT_EQ(Eval("MemoStr(AUFTRAG.KUNDE.NOTIZ)").text.str(), "");
  Zet02::SetWriteEnable(false);
  EXPECT_EQ(Eval("ReadMemo(AUFTRAG.KUNDE.NOTIZ, '" + in + "')").number, 0);
  Zet02::SetWriteEnable(true);
  EXPECT_EQ(Eval("MemoLen(AUFTRAG.KUNDE.NOTIZ)").number, 0);
  Current(kunden, 1);
  EXPECT_EQ(Eval("MemoStr(NOTIZ)").text.str(), "Stammkunde");
  // A path that leads to no record acts on nothing; a path to a field of
  // another type is error 44.
  Add(posten, {"9", "Nix"});
  Current(posten, 5);
  EXPECT_EQ(Eval("ReadMemo(AUFTRAG.KUNDE.NOTIZ, '" + in + "')").number, 0);
  EXPECT_EQ(Eval("MemoStr(AUFTRAG.KUNDE.NOTIZ)").text.str(), "");
  int error = 0;
  Eval("MemoStr(AUFTRAG.KUNDE.NAME)", &error);
  EXPECT_EQ(error, 44);
  // Reading through a path leaves an edit of that record, not yet written,
  // in the linked table's buffer.
  Current(kunden, 1);
  Current(posten, 3);
  uint8_t* notiz = T(kunden).recordBuffer.data() + T(kunden).FieldOffset(3);
  bytes::PutU32(notiz, 0);
  EXPECT_EQ(Eval("MemoStr(AUFTRAG.KUNDE.NOTIZ)").text.str(), "Stammkunde");
  EXPECT_EQ(bytes::GetU32(notiz), 0u);
}

}  // namespace
