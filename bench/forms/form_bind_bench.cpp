// Loads a program form of N elements of every kind (default 200) from
// memory and binds it to its table (SetDataSource, then CheckElements), R
// times (default 200); prints the time of one load and bind beside the
// budget of 10 ms (below one 60 Hz frame). The tables are made in a
// temporary folder: KUNDEN with every field the form's data fields name (its
// link field KUNDE links to KUNDEN itself) and POSTEN, linked below KUNDEN,
// which the form's connection elements show. The engine names a link field
// with its target ("KUNDE: (KUNDEN)"), so the form's link fields take that
// name. A form that does not bind whole ends the run with its misfit.
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

struct TFieldDef {
  const char* name;
  uint16_t type, parameter;
  const char* first;
  const char* second;
};

void Define(const TFieldDef& d, ZetFieldDef* def) {
  std::strcpy(def->name, d.name);
  std::strcpy(def->first, d.first);
  std::strcpy(def->second, d.second);
  def->type = d.type;
  def->parameter = d.parameter;
}

// The fields the data fields of the form name.
void Fields(int32_t field, ZetFieldDef* def, uint32_t) {
  const TFieldDef defs[] = {{"NR", 9, 1, "", "NAME"},  {"NAME", 1, 20, "", ""},       {"MENGE", 2, 0, "", ""},
              {"PREIS", 3, 2, "", ""},   {"NOTIZ", 7, 0, "", ""},       {"BILD", 11, 0, "", ""},
              {"JANEIN", 5, 0, "", ""},  {"FARBE", 8, 0, "r,g,b", ""},  {"KUNDE", 10, 0, "", "KUNDEN"},
              {"FREUNDE", 12, 0, "", "@"}};
  Define(defs[field - 1], def);
}

// The rows the connection elements show: each linked to a customer.
void ItemFields(int32_t field, ZetFieldDef* def, uint32_t) {
  const TFieldDef defs[] = {{"KUNDE", 10, 0, "", "KUNDEN"}, {"MENGE", 2, 0, "", ""}};
  Define(defs[field - 1], def);
}

int32_t OpenTable(const std::filesystem::path& dir, const char* file, int32_t fields, ZetFieldProc proc) {
  const std::string path = (dir / file).string();
  if (const int32_t r = ZetRltnCreate(path.c_str(), "", 0, 2, fields, proc, 0, 0); r != 0) Fail("ZetRltnCreate", r);
  const int32_t relation = ZetRltnOpen(path.c_str(), "", 0, 15);
  if (relation <= 0) Fail("ZetRltnOpen", relation);
  return relation;
}

}  // namespace

int main(int argc, char** argv) {
  const int elements = argc > 1 ? std::atoi(argv[1]) : 200;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 200;
  const auto dir = std::filesystem::temp_directory_path() / ("form_bind_bench-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const int32_t relation = OpenTable(dir, "KUNDEN.DAT", 10, Fields);
  OpenTable(dir, "POSTEN.DAT", 2, ItemFields);
  const auto form = formstest::MakeProgramForm(elements);
  {
    const int32_t cursor = ZetTableCreate(relation);
    ZetFieldSpec link{};
    if (const int32_t r = ZetTableGetFieldSpec(cursor, ZetTableGetFieldNo(cursor, "9"), &link); r != 0)
      Fail("ZetTableGetFieldSpec", r);
    ZetTableDelete(cursor);
    form->ForEachElement(
        [](forms::TMaskElement* element, void* name) {
          if (element->GetRecordCode() == forms::kCodeLink)
            static_cast<forms::TMaskField*>(element)->SetFieldName(static_cast<const char*>(name));
        },
        link.name);
  }
  const std::string file = formstest::Bytes(*form);
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
  if (!fits) {
    std::fprintf(stderr, "form_bind_bench: the form does not bind whole: %s\n", message);
    return 1;
  }
  const double ms = total / rounds;
  std::printf("program form of %d elements (%zu bytes): load + SetDataSource + CheckElements %.3f ms "
              "(budget 10 ms, %.1f%% of it)\n",
              elements, file.size(), ms, ms * 10);
  return 0;
}
