// Test support of the forms bound to a table: the table KUNDEN, made in a
// folder of the test's own and removed with it.
//
// KUNDEN: NR (automatic number, identifier NAME), NAME text 20, MENGE
// integer, PREIS real with 2 decimals, NOTIZ memo, FREUNDE relation to
// itself; with all eight fields also FARBE choice of "rot", "gruen" and
// "blau", BILD picture.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include "engine/interface/include/zetcore.h"

namespace formstest {

inline void CustomerFields(int32_t field, ZetFieldDef* def, uint32_t) {
  struct {
    const char* name;
    uint16_t type, parameter;
    const char* first;
    const char* second;
  } const defs[] = {{"NR", 9, 1, "", "NAME"},   {"NAME", 1, 20, "", ""},
                    {"MENGE", 2, 0, "", ""},    {"PREIS", 3, 2, "", ""},
                    {"NOTIZ", 7, 0, "", ""},    {"FREUNDE", 12, 0, "", "@"},
                    {"FARBE", 8, 0, "rot,gruen,blau", ""}, {"BILD", 11, 0, "", ""}};
  std::strcpy(def->name, defs[field - 1].name);
  std::strcpy(def->first, defs[field - 1].first);
  std::strcpy(def->second, defs[field - 1].second);
  def->type = defs[field - 1].type;
  def->parameter = defs[field - 1].parameter;
}

class CustomerTable : public ::testing::Test {
 protected:
  // The first six fields, or all eight.
  explicit CustomerTable(int32_t fields = 6) : fields_(fields) {}
  void SetUp() override {
    dir_ = std::filesystem::temp_directory_path() /
           ("forms-" + std::to_string(::getpid()) + "-" +
            ::testing::UnitTest::GetInstance()->current_test_info()->name());
    std::filesystem::remove_all(dir_);
    std::filesystem::create_directories(dir_);
    const std::string path = (dir_ / "KUNDEN.DAT").string();
    ASSERT_EQ(ZetRltnCreate(path.c_str(), "", 0, 2, fields_, CustomerFields, 0, 0), 0);
    relation_ = ZetRltnOpen(path.c_str(), "", 0, 15);
    ASSERT_GT(relation_, 0);
  }
  void TearDown() override {
    ZetRltnCloseAll();
    std::filesystem::remove_all(dir_);
  }

  const int32_t fields_;
  std::filesystem::path dir_;
  int32_t relation_ = 0;
};

}  // namespace formstest
