// A table made at run time for the data-view tests, and a view that records
// what its source tells it.
//
// ARTIKEL: NAME text of 60, MENGE integer, PREIS real with 2 decimals, NOTIZ
// memo, BILD picture, NR automatic number whose identifier key is NAME (a
// unique index). The table lies in a directory of its own that the
// fixture removes; every relation is closed after each test.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "runtime/dataviews/datasrc.h"

namespace dataviews_test {

inline void ArticleFields(int32_t field, ZetFieldDef* def, uint32_t) {
  struct {
    const char* name;
    uint16_t type, parameter;
    const char* key;
  } const defs[] = {{"NAME", 1, 60, ""},  {"MENGE", 2, 0, ""}, {"PREIS", 3, 2, ""},
                    {"NOTIZ", 7, 0, ""},  {"BILD", 11, 0, ""}, {"NR", 9, 1, "NAME"}};
  std::strcpy(def->name, defs[field - 1].name);
  std::strcpy(def->second, defs[field - 1].key);
  def->type = defs[field - 1].type;
  def->parameter = defs[field - 1].parameter;
}

class TableTest : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("dataviews-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    path_ = (dir_ / "ARTIKEL.DAT").string();
    ASSERT_EQ(ZetRltnCreate(path_.c_str(), "", 0, 2, 6, ArticleFields, 0, 0), 0);
    relation_ = ZetRltnOpen(path_.c_str(), "", 0, 15);
    ASSERT_GT(relation_, 0);
  }
  void TearDown() override {
    ZetRltnCloseAll();
    std::filesystem::remove_all(dir_);
  }
  // Appends records with the given names and amounts through a cursor of
  // its own.
  void AddArticles(const std::vector<std::pair<std::string, int>>& rows) {
    const int32_t c = ZetTableCreate(relation_);
    for (const auto& [name, menge] : rows) {
      ASSERT_EQ(ZetTableAppend(c), 0);
      ASSERT_EQ(ZetTableSetStr(c, "NAME", name.c_str()), 0);
      ASSERT_EQ(ZetTableSetStr(c, "MENGE", std::to_string(menge).c_str()), 0);
      ASSERT_EQ(ZetTableAppendConfirm(c), 0);
    }
    ZetTableDelete(c);
  }
  std::string TempPath(const char* name) const { return (dir_ / name).string(); }

  std::filesystem::path dir_;
  std::string path_;
  int32_t relation_ = 0;
};

// Records every notification as text, e.g. "RecordMoved(3)".
class RecordingView : public dataviews::TDataView {
 public:
  void DataSetChanged() override { Log("DataSetChanged"); }
  void MarksChanged(int32_t n) override { Log("MarksChanged", n); }
  void RecordModeEnded(int32_t n) override { Log("RecordModeEnded", n); }
  void RecordModeStarted(int32_t n) override { Log("RecordModeStarted", n); }
  void RecordPosted(int32_t n) override { Log("RecordPosted", n); }
  void RecordDeleted(int32_t n) override { Log("RecordDeleted", n); }
  void RecordStepped(int32_t n) override { Log("RecordStepped", n); }
  void RecordMoved(int32_t n) override { Log("RecordMoved", n); }
  void FieldChanged(int32_t n) override { Log("FieldChanged", n); }
  bool IsView(const dataviews::TDataView* other) const override { return other == this; }

  std::vector<std::string> Take() { return std::exchange(events_, {}); }

 private:
  void Log(const char* what) { events_.push_back(what); }
  void Log(const char* what, int32_t n) { events_.push_back(std::string(what) + "(" + std::to_string(n) + ")"); }
  std::vector<std::string> events_;
};

using Events = std::vector<std::string>;

// Writes bytes as a fuzz seed into DATAVIEWS_WRITE_FUZZ_SEEDS/<target>/<name>
// when that variable is set.
inline void WriteFuzzSeed(const char* target, const char* name, const std::vector<uint8_t>& bytes) {
  const char* folder = std::getenv("DATAVIEWS_WRITE_FUZZ_SEEDS");
  if (!folder) return;
  const std::filesystem::path dir = std::filesystem::path(folder) / target;
  std::filesystem::create_directories(dir);
  std::ofstream(dir / name, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                                    std::streamsize(bytes.size()));
}

}  // namespace dataviews_test
