// Writes the seed corpus of the search and code fuzz target: texts as a host
// types them, and code made by the engine's own compiler against the fuzz
// target's table layout. Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/interface/fuzz/corpus> interface_tests
//     --gtest_also_run_disabled_tests --gtest_filter='SearchSeedCorpus.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/interface/tests/interface_test_util.h"

namespace {

class SearchSeedCorpus : public interface_test::InterfaceTest {};

TEST_F(SearchSeedCorpus, DISABLED_Write) {
  const char* root = std::getenv("ZET_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path dir = std::filesystem::path(root) / "search_code_fuzz";
  std::filesystem::create_directories(dir);
  const auto save = [&](const std::string& name, char op, const std::string& payload) {
    std::ofstream(dir / name, std::ios::binary) << op << payload;
  };
  save("search_condition", 0, "MENGE > 4");
  save("mark_condition", 1, "NAME = \"Apfel\"");
  save("sort_key", 1, "MENGE");
  save("find_key", 2, "Birne");
  save("memo_field", 6, "NOTIZ");
  save("memo_text", 7, "erste Zeile\r\nzweite Zeile");

  // The article table has the fuzz table's first fields in the same order,
  // so its code reads the same fields there.
  const int32_t c = ZetTableCreate(OpenArticles());
  const auto code = [&](const std::string& name, char op, const char* text) {
    uint8_t compiled[256];
    ASSERT_EQ(ZetTokenize(c, compiled, text), 0) << text;
    save(name, op, std::string(reinterpret_cast<const char*>(compiled + 1), compiled[0]));
  };
  code("solve_constants", 3, "2 * 21; 7 / 2");
  code("solve_field", 3, "MENGE * 2 + CODE");
  code("macro_text", 4, "\"ab\" + NAME");
  code("selection", 5, "MENGE > 4 AND NAME = \"Apfel\"");
}

}  // namespace
