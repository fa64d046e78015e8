// The article table of the interface tests, opened through the exports, and
// small helpers that drive cursors through them.
//
// ARTIKEL (engine/storage/tests/editing_test_util.h): NR auto number, CODE
// (the unique identifier index), NAME S20 (index NAMEN.IND), MENGE (index
// MENGE.IND, descending), NOTIZ memo, BILD blob.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "engine/storage/tests/editing_test_util.h"
#include "engine/testsupport/engine_fixture.h"

namespace interface_test {

// Rights of a relation opened for editing: append, write, delete, indexes.
constexpr int32_t kAllRights = 15;

class InterfaceTest : public zettest::EngineTest {
 protected:
  void SetUp() override {
    zettest::EngineTest::SetUp();
    path_ = editing_test::CreateArticles(TempPath("ARTIKEL.DAT"));
  }
  // Opens the table: its relation handle.
  int32_t OpenArticles() {
    const int32_t r = ZetRltnOpen(path_.c_str(), "", editing_test::kTableKey, kAllRights);
    EXPECT_GT(r, 0);
    return r;
  }
  const std::string& Path() const { return path_; }
  // Writes a file of the test's folder: its path.
  std::string WriteTemp(const std::string& name, const std::string& text) {
    const std::string path = TempPath(name);
    std::ofstream(path, std::ios::binary) << text;
    return path;
  }

 private:
  std::string path_;
};

// Appends one article through a cursor; answers the confirm's result.
inline int32_t AddArticle(int32_t cursor, int code, const std::string& name, int menge) {
  EXPECT_EQ(ZetTableAppend(cursor), 0);
  EXPECT_EQ(ZetTableSetStr(cursor, "CODE", std::to_string(code).c_str()), 0);
  EXPECT_EQ(ZetTableSetStr(cursor, "NAME", name.c_str()), 0);
  EXPECT_EQ(ZetTableSetStr(cursor, "MENGE", std::to_string(menge).c_str()), 0);
  return ZetTableAppendConfirm(cursor);
}

inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

inline std::string Field(int32_t cursor, const char* field) {
  char buffer[256];
  EXPECT_EQ(ZetTableGetStr(cursor, field, buffer, sizeof buffer - 1), 0) << field;
  return buffer;
}

// The names of the whole order, walked from the first record.
inline std::vector<std::string> WalkNames(int32_t cursor) {
  std::vector<std::string> names;
  for (int32_t r = ZetTableFirst(cursor); r >= 0; r = ZetTableMoveBy(cursor, 1)) names.push_back(Field(cursor, "NAME"));
  return names;
}

// Field definitions of a people table for ZetRltnCreate: NR, the
// identifier keyed by NAME; NAME S20; FREUNDE, a relation field to itself.
inline void PeopleFields(int32_t field, ZetFieldDef* def, uint32_t) {
  struct {
    const char* name;
    uint16_t type, parameter;
    const char* second;
  } const defs[] = {{"NR", 9, 1, "NAME"}, {"NAME", 1, 20, ""}, {"FREUNDE", 12, 0, "@"}};
  const auto& d = defs[field - 1];
  std::strcpy(def->name, d.name);
  def->type = d.type;
  def->parameter = d.parameter;
  std::strcpy(def->second, d.second);
}

// Creates the people table at path and opens it (relation 1, its relation
// table FREUNDE.REL relation 2) with Anna (1), Bert (2), Carl (3) and the
// entries 1>2, 2>3, 1>3: a cursor on the people, on no record.
inline int32_t OpenPeopleWithFriends(const std::string& path) {
  EXPECT_EQ(ZetRltnCreate(path.c_str(), "", 0, 2, 3, PeopleFields, 0, 0), 0);
  EXPECT_EQ(ZetRltnOpen(path.c_str(), "", 0, kAllRights), 1);
  EXPECT_EQ(ZetGetNumRelations(), 2);
  const int32_t people = ZetTableCreate(1);
  for (const char* name : {"Anna", "Bert", "Carl"}) {
    EXPECT_EQ(ZetTableAppend(people), 0);
    EXPECT_EQ(ZetTableSetStr(people, "NAME", name), 0);
    EXPECT_EQ(ZetTableAppendConfirm(people), 0);
  }
  const int32_t e = ZetTableCreate(2);
  for (auto [id, target] : {std::pair{1, 2}, {2, 3}, {1, 3}}) EXPECT_EQ(ZetTableChangeRelEntry(e, id, 0, target), 0);
  EXPECT_EQ(ZetTableDelete(e), 0);
  return people;
}

}  // namespace interface_test
