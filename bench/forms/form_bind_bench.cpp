// Loads a program form of N elements of every kind (default 200) from
// memory and binds it to its table (SetDataSource, then CheckElements), R
// times (default 200); prints the time of one load and bind beside the
// budget of 10 ms (below one 60 Hz frame). The table is made in a temporary
// folder with every field the form's data fields name.
//
// Usage: form_bind_bench [elements] [rounds]
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include "runtime/dataviews/zetdatasrc.h"
#include "runtime/forms/tests/forms_test_util.h"

namespace {

[[noreturn]] void Fail(const char* what, long code) {
  std::fprintf(stderr, "form_bind_bench: %s failed (%ld)\n", what, code);
  std::exit(1);
}

// The fields the data fields of the form name.
void Fields(int32_t field, ZetFieldDef* def, uint32_t) {
  const struct {
    const char* name;
    uint16_t type, parameter;
    const char* first;
    const char* second;
  } defs[] = {{"NR", 9, 1, "", "NAME"},  {"NAME", 1, 20, "", ""},       {"MENGE", 2, 0, "", ""},
              {"PREIS", 3, 2, "", ""},   {"NOTIZ", 7, 0, "", ""},       {"BILD", 11, 0, "", ""},
              {"JANEIN", 5, 0, "", ""},  {"FARBE", 8, 0, "r,g,b", ""},  {"KUNDE", 10, 0, "", "KUNDEN"},
              {"FREUNDE", 12, 0, "", "@"}};
  std::strcpy(def->name, defs[field - 1].name);
  std::strcpy(def->first, defs[field - 1].first);
  std::strcpy(def->second, defs[field - 1].second);
  def->type = defs[field - 1].type;
  def->parameter = defs[field - 1].parameter;
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  const auto dir = std::filesystem::temp_directory_path() / ("form_bind_bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string path = (dir / "KUNDEN.DAT").string();
  if (const int32_t r = ZetRltnCreate(path.c_str(), "", 0, 2, 10, Fields, 0, 0); r != 0) Fail("ZetRltnCreate", r);
  const int32_t relation = ZetRltnOpen(path.c_str(), "", 0, 15);
  if (relation <= 0) Fail("ZetRltnOpen", relation);
  const std::string file = formstest::Bytes(*formstest::MakeProgramForm(elements));
  bool fits = true;
  char message[256] = "";
  double total = 0;
  {
    dataviews::TZetDataSource source(relation);
    for (int i = 0; i < rounds; ++i) {
      const auto start = std::chrono::steady_clock::now();
      kxobject::TMemStream in(0, 1 << 16);
      in.WriteHuge(file.data(), uint32_t(file.size()));
      in.Seek(0);
      forms::TZetMask mask(nullptr);
      if (const int32_t result = mask.Read(in); result != 0) Fail("Read", result);
      mask.SetDataSource(&source);
      fits = mask.CheckElements(source.GetTableHandle(), message, sizeof message);
      total += std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
      mask.SetDataSource(nullptr);
    }
  }
  ZetRltnCloseAll();
  std::filesystem::remove_all(dir);
  const double ms = total / rounds;
  std::printf("program form of %d elements (%zu bytes): load + SetDataSource + CheckElements %.3f ms "
              "(budget 10 ms, %.1f%% of it)%s%s\n",
              elements, file.size(), ms, ms * 10, fits ? "" : "; misfit: ", fits ? "" : message);
  return 0;
}
