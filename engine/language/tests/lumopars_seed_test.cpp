// Writes the seed corpora of the module parser's and the outside-function
// list's fuzz targets with our own writers. Disabled in normal runs; run with
//   ZET_CORPUS_DIR=<engine/language/fuzz/corpus> language_tests
//     --gtest_also_run_disabled_tests --gtest_filter='ModuleSeedCorpus.*'
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>

#include "engine/language/extcalls.h"
#include "engine/language/lumopars.h"
#include "engine/testsupport/engine_fixture.h"

namespace {

using namespace lumopars;

class ModuleSeedCorpus : public zettest::EngineTest {};

TEST_F(ModuleSeedCorpus, DISABLED_Write) {
  const char* root = std::getenv("ZET_CORPUS_DIR");
  ASSERT_NE(root, nullptr);
  const std::filesystem::path dir = std::filesystem::path(root) / "lumopars_fuzz";
  std::filesystem::create_directories(dir);
  TLumoParser parser;
  const auto save = [&](const std::string& name, const TLumoModule& m) {
    std::ofstream(dir / name, std::ios::binary) << parser.WriteModule(m);
  };

  TLumoModule all;
  auto comment = std::make_unique<TLumoComment>();
  comment->lines = {"Kunden und Auftr\xE4ge", "zweite Zeile"};
  comment->lineEnds = 1;
  all.Add(std::move(comment));
  auto dot = std::make_unique<TLumoDotCommand>();
  dot->entries = {{"EC", 1}, {"AK", -1}};
  dot->lineEnds = 1;
  all.Add(std::move(dot));
  auto uses = std::make_unique<TLumoUsesCommand>();
  uses->keyword = "USES";
  uses->names = {"lib\\tools", "extra.mod"};
  uses->lineEnds = 1;
  all.Add(std::move(uses));
  auto include = std::make_unique<TLumoUsesCommand>();
  include->include = true;
  include->keyword = "INCLUDE";
  include->names = {"common"};
  include->lineEnds = 1;
  all.Add(std::move(include));
  auto constant = std::make_unique<TLumoConstCommand>();
  constant->keyword = "CONST";
  constant->name = "Gruss";
  constant->value = "'Hallo'";
  constant->lineEnds = 2;
  all.Add(std::move(constant));
  auto proc = std::make_unique<TLumoProcedure>();
  proc->keyword = "PROCEDURE";
  proc->name = "Test";
  const int32_t dims[] = {10, 3};
  proc->AddParameter("a", kByReference, nullptr, 0, 3);
  proc->AddParameter("c", 0, dims, 2, 1);
  proc->resultClass = 1;
  proc->body.text = "  a := 'x';\r\n  Print(c[1, 2]);\r\n";
  proc->body.endKeyword = "ENDPROC";
  proc->lineEnds = 3;
  all.Add(std::move(proc));
  auto dll = std::make_unique<TLumoProcedure>();
  dll->keyword = "DLLPROC";
  dll->external = true;
  dll->name = "Beep";
  dll->AddParameter("n", 0, nullptr, 0, 4);
  dll->AddParameter("s", kByReference, nullptr, 0, 3);
  dll->resultClass = 4;
  dll->body.text = "LIBRARY \"libbeep.so\";";
  all.Add(std::move(dll));
  save("all_items", all);

  TLumoModule small;
  auto empty = std::make_unique<TLumoProcedure>();
  empty->keyword = "procedure";
  empty->name = "Leer";
  empty->body.endKeyword = "endproc";
  small.Add(std::move(empty));
  save("one_procedure", small);

  // A function list as a compiled program stores it: two libraries, a
  // number left unused.
  ExtCalls::TFunctionList list(ExtCalls::kOutsideGroup);
  list.Add(0, "libbeep.so", 2, "I I I", "AddInts");
  list.Add(3, "lib\\tools.so", 2, "RVS R", "Rechne");
  list.Add(0, "libbeep.so", 1, "XVI", "Zaehle");
  RamFiles::TRamFile out;
  RamFiles::RamRewrite(out, "");
  list.Store(out);
  const std::filesystem::path lists = std::filesystem::path(root) / "extcalls_fuzz";
  std::filesystem::create_directories(lists);
  std::ofstream(lists / "two_libraries", std::ios::binary)
      << std::string(out.buffer.begin(), out.buffer.begin() + out.position);
}

}  // namespace
