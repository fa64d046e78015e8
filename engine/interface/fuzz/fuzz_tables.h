// What the interface's fuzz targets and their seed writers share: the table
// of the argument-block target, made through the exports as a host makes
// one, and the check every table-writing target ends with.
//
// What holds:
//   1. ArticleFields are the fields of the argument-block target's table in
//      their order: NR the identifier (keyed by CODE), CODE, NAME S20,
//      MENGE, NOTIZ memo, BILD blob; the seed writer and the target build
//      the same table from them, so a record image written by one fits the
//      other.
//   2. A target builds its tables once in the template folder; every input
//      starts from a fresh copy of it in the work folder.
//   3. The index check the targets end with is zetfuzz::CheckIndexesAgree
//      (engine/storage/fuzz/indexes_agree.h).
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/include/zetcore.h"
#include "engine/storage/fuzz/indexes_agree.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace fuzz_tables {

// The template and work folders of a target, in a new folder under /tmp.
struct TFolders {
  std::filesystem::path templateDir;
  std::filesystem::path work;

  void Make() {
    char pattern[] = "/tmp/zetfuzz-XXXXXX";
    if (mkdtemp(pattern) == nullptr) abort();
    templateDir = std::filesystem::path(pattern) / "template";
    work = std::filesystem::path(pattern) / "work";
    std::filesystem::create_directories(templateDir);
  }
  // The work folder as a fresh copy of the template.
  void Fresh() const {
    std::filesystem::remove_all(work);
    std::filesystem::copy(templateDir, work);
  }
};

struct TFieldDefinition {
  const char* name;
  uint16_t type;
  uint16_t parameter;
  const char* second;
};
inline const TFieldDefinition kArticleFields[] = {
    {"NR", 9, 1, "CODE"}, {"CODE", 2, 0, ""},  {"NAME", 1, 20, ""},
    {"MENGE", 2, 0, ""},  {"NOTIZ", 7, 0, ""}, {"BILD", 11, 0, ""}};
inline constexpr int32_t kArticleFieldCount = 6;

inline void ArticleField(int32_t field, ZetFieldDef* def, uint32_t) {
  const TFieldDefinition& d = kArticleFields[field - 1];
  std::strcpy(def->name, d.name);
  def->type = d.type;
  def->parameter = d.parameter;
  std::strcpy(def->second, d.second);
}

// Creates the article table at path with the index NAMEN over NAME: 0, or
// the failing export's answer.
inline int32_t CreateArticleTable(const std::string& path, uint32_t key) {
  if (const int32_t e = ZetRltnCreate(path.c_str(), "", key, 2, kArticleFieldCount, ArticleField, 0, 0)) return e;
  const int32_t relation = ZetRltnOpen(path.c_str(), "", key, 15);
  if (relation <= 0) return relation;
  const int32_t e = ZetRltnCreateIndex(relation, "NAMEN", "NAME", 0, nullptr);
  ZetRltnClose(relation);
  return e;
}

}  // namespace fuzz_tables
