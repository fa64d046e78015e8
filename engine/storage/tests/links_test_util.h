// Tables for the link tests: made by the creation routine, opened through
// the record layer, filled by the editing routines.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/storage/linkfile.h"
#include "engine/storage/tests/zettable_test_util.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "engine/testsupport/engine_fixture.h"

namespace links_test {

using ZetTable::TZetTable;
using zettable_test::FieldDef;

// Field 1 of every test table: its auto number.
inline constexpr uint16_t kNr = 1;

inline FieldDef Number() { return {"NR", Common::kTypeAutoNumber, 3, 10}; }
inline FieldDef Text(const std::string& name) { return {name, Common::kTypeString, 20, 20}; }
// An L field "<name>(<table>)" linking to table.
inline FieldDef Link(const std::string& name, const std::string& table, uint8_t flags = 0) {
  return {name + "(" + table + ")", Common::kTypeLink, 3, 10, flags};
}
inline FieldDef Relation(const std::string& name) { return {name, Common::kTypeRelation, 0, 0}; }

class LinkTest : public zettest::EngineTest {
 protected:
  std::string Path(const std::string& name) const { return TempPath(name + ".DAT"); }

  // Creates <name>.DAT: an ID table whose ID key is field idField, with a
  // user index "<name>_<n>.IND" on each field of indexed (a one-part key of
  // the field's width). With relations, R fields get relation tables whose
  // second field names the table in related (one per R field, in order).
  // With uniqueId the ID index refuses duplicate keys.
  void Create(const std::string& name, const std::vector<FieldDef>& fields, uint16_t idField = 0,
              const std::vector<uint16_t>& indexed = {}, const std::vector<std::string>& related = {},
              bool uniqueId = false) {
    auto t = zettable_test::MakeTable(2, fields);
    t->nextAutoNumber = 1;
    t->idIndexFlag = uniqueId;
    if (idField != 0)
      Zet00::SetKeyPart(t->idKeyDescription.data(), 0,
                        {idField, uint16_t(t->SizeCode(idField) + 1), t->FieldType(idField)});
    int slot = 1;
    for (uint16_t n : indexed) {
      auto d = std::make_unique<ZetTable::TIndexDescriptor>();
      d->fileName = name + "_" + std::to_string(n) + ".IND";
      Zet00::SetKeyPart(d->header.data(), 0, {n, uint16_t(t->SizeCode(n) + 1), t->FieldType(n)});
      t->indexes[size_t(++slot)] = std::move(d);
    }
    size_t r = 0;
    for (uint16_t n = 1; n <= t->fieldCount; ++n) {
      if (t->FieldType(n) == Common::kTypeRelation && r < related.size()) {
        ASSERT_TRUE(Zet06::AddToCreateQueue(n, TempPath(related[r++])));
      }
    }
    ASSERT_EQ(Zet06::CreateTable(*t, Path(name), {}, !related.empty(), 0, 0), 0) << name;
    Zet06::ClearCreateQueue();
  }

  // Opens a table file (".DAT" unless name has an extension) into the next
  // slot with every right; answers the slot.
  int Open(const std::string& name) {
    const int slot = ZetTable::OpenCount() + 1;
    const std::string path = name.find('.') == std::string::npos ? Path(name) : TempPath(name);
    EXPECT_EQ(Zet01::OpenTable(slot, ZetTable::kRightsMask, path, 0, 0, ""), 0) << name;
    return slot;
  }

  // Appends a record with the given field texts (fields 2, 3, ...) and the
  // next auto number.
  void Add(int slot, const std::vector<std::string>& texts) {
    TZetTable& t = *ZetTable::Table(slot);
    t.recordBuffer.assign(t.recordLength, 0);
    for (size_t i = 0; i < texts.size(); ++i)
      ZetTable::SetFieldText(slot, uint16_t(i + 2), t.recordBuffer.data(), texts[i]);
    ASSERT_EQ(Zet01::AssignAutoNumber(slot), 0);
    ASSERT_EQ(Zet01::AppendRecord(slot, true, 0), 0);
  }

  std::string FieldOf(int slot, uint16_t n) {
    const TZetTable& t = *ZetTable::Table(slot);
    ShortStr text = ZetTable::FieldText(t, n, t.recordBuffer.data());
    Common::TrimRight(text);
    return text.str();
  }

  static TZetTable& T(int slot) { return *ZetTable::Table(slot); }
  static uint64_t Set(std::initializer_list<int> slots) {
    uint64_t set = 0;
    for (int s : slots) ZetTable::IncludeHandle(set, s);
    return set;
  }
};

}  // namespace links_test
