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
//   3. CheckIndexesAgree aborts unless every index of the open table names
//      each record 1..count exactly once, with the key built from it.
#pragma once

#include <stdlib.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/interface/include/zetcore.h"
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

inline void CheckIndexesAgree(int h) {
  ZetTable::TZetTable& t = *ZetTable::Table(h);
  const uint32_t count = uint32_t(std::max(t.recordCount, 0));
  std::vector<std::vector<uint8_t>> records(count, std::vector<uint8_t>(t.recordLength));
  for (uint32_t r = 1; r <= count; ++r)
    if (Zet01::ReadRecordInto(h, r, records[r - 1].data(), nullptr, 0, ZetTable::kOrderRecords) != 0) abort();
  for (int s = 0; s <= t.highestIndexSlot; ++s) {
    if (!t.indexes[size_t(s)]) continue;
    if (!Zet00::IndexAvailable(h, s, false)) abort();
    const size_t keyLength = Zet00::KeyLength(t.indexes[size_t(s)]->header.data());
    std::vector<bool> seen(count + 1, false);
    for (uint8_t st = Zet00::IndexFirst(h, s); st == Zet00::kStatusFound; st = Zet00::IndexNext(h, s)) {
      const uint32_t recno = Zet00::KeyRecordNumber(t.currentKey.data());
      if (recno < 1 || recno > count || seen[recno]) abort();
      seen[recno] = true;
      uint8_t expected[ZetTable::kMaxKeySize] = {};
      if (Zet00::MakeKey(h, s, records[recno - 1].data(), expected, recno) != 0) abort();
      if (std::memcmp(expected, t.currentKey.data(), keyLength) != 0) abort();
    }
    for (uint32_t r = 1; r <= count; ++r)
      if (!seen[r]) abort();
  }
}

}  // namespace fuzz_tables
