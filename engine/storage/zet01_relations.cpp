#include "engine/storage/zet01_relations.h"

#include <algorithm>
#include <array>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zettable.h"

namespace Zet01 {
namespace {

using ZetTable::TFieldBinding;
using ZetTable::TZetTable;

// The second field of a relation table holds the related record.
constexpr uint16_t kRelatedField = 2;

struct TPathEntry {
  int slot = 0;
  uint16_t field = 0;
};

std::array<TPathEntry, kFieldPathEntries> g_path{};
std::array<uint8_t, kFieldPathValueSize> g_pathValue{};

TZetTable* OpenSlot(int slot) {
  return slot >= 1 && slot <= ZetTable::OpenCount() ? ZetTable::Table(slot) : nullptr;
}

TFieldBinding& BindingOf(TZetTable& t, uint16_t n) {
  if (t.bindings.size() <= t.fieldCount) t.bindings.resize(size_t(t.fieldCount) + 1);
  return t.bindings[n];
}

void BindRelationField(TZetTable& t, uint16_t n) {
  TFieldBinding& b = BindingOf(t, n);
  b = {};
  b.relationBuilt = true;
  const int relation = ZetTable::FindOpenTable(ZetTable::RelationFileName(t, t.StoredName(n)));
  if (relation == 0) return;
  b.linkedTable = uint8_t(relation);
  b.relatedTable = uint8_t(LinkedTableOfField(relation, kRelatedField));
}

void BindLinkField(int slot, TZetTable& t, uint16_t n) {
  TFieldBinding& b = BindingOf(t, n);
  b.relatedTable = 0;
  b.linkedTable = uint8_t(LinkedTableOfField(slot, n));
  b.indexSlot = uint8_t(IndexOfFieldKey(slot, n));
  ZetTable::IncludeHandle(t.linkedTables, b.linkedTable);
}

// The carried value as the number a link holds.
int32_t CarriedNumber() { return bytes::GetI32(g_pathValue.data()); }

// Reads a field of the table's record buffer into the carried value.
void CarryField(const TZetTable& t, uint16_t n) {
  g_pathValue.fill(0);
  if (!t.ValidField(n) || t.recordBuffer.size() < t.recordLength) return;
  if (Common::FieldValueSize(t.Place(n)) > g_pathValue.size()) return;
  bool isNull = false;
  Common::GetFieldValue(t.recordBuffer.data(), t.Place(n), t.version, g_pathValue.data(), isNull);
}

// The offset in a key of its linked-record part on a field whose link is
// now bound, or 0 when the index has no such part.
size_t BoundLinkedRecordPart(const TZetTable& t, const uint8_t* description) {
  size_t offset = ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = Zet00::PartCount(description); i < n; ++i) {
    const Zet00::TKeyPart part = Zet00::KeyPart(description, i);
    if (part.type == ZetTable::kKeyTypeLinkedRecord && !part.IsExpression() && !part.IsVariable() &&
        part.Number() < t.bindings.size() && t.bindings[part.Number()].linkedTable != 0)
      return offset;
    offset += part.length;
  }
  return 0;
}

// An index built from the records before the table's links were bound (at
// the open, from a file left unsettled) holds 0 as the linked record of
// every key, where a bound link never gives 0: its keys are not those an
// edit makes, and its entries are in record order. Such an index is built
// again now that the bindings are in place. Reading the first key is the
// whole cost for a sound index.
void RebuildUnboundLinkedRecordKeys(int slot, TZetTable& t) {
  for (int index = 1; index <= t.highestIndexSlot; ++index) {
    const auto& d = t.indexes[size_t(index)];
    if (!d) continue;
    const size_t offset = BoundLinkedRecordPart(t, d->header.data());
    if (offset != 0 && Zet00::FirstKeyHoldsZeroAt(slot, index, offset)) Zet00::RebuildIndex(slot, index);
  }
}

}  // namespace

void BuildTableRelations(int slot) {
  TZetTable* t = OpenSlot(slot);
  if (!t) return;
  for (uint16_t n = 1; n <= t->fieldCount; ++n) {
    const uint8_t type = t->FieldType(n);
    if (type == Common::kTypeRelation && !t->IsStored(n) && !BindingOf(*t, n).relationBuilt)
      BindRelationField(*t, n);
    else if (type == Common::kTypeLink && t->IsStored(n) && !t->StoredName(n).empty())
      BindLinkField(slot, *t, n);
  }
  RebuildUnboundLinkedRecordKeys(slot, *t);
}

void BuildRelations(int from) {
  for (int slot = std::max(from, 1); slot <= ZetTable::OpenCount(); ++slot) BuildTableRelations(slot);
  if (from == 1) ZetTable::SetCurrentHandle(1);
}

void UnBuildRelations(int from) {
  for (int slot = std::max(from, 1); slot <= ZetTable::OpenCount(); ++slot) {
    TZetTable* t = ZetTable::Table(slot);
    if (!t) continue;
    for (uint16_t n = 1; n <= t->fieldCount; ++n) {
      const uint8_t type = t->FieldType(n);
      if (type != Common::kTypeRelation && type != Common::kTypeLink) continue;
      TFieldBinding& b = BindingOf(*t, n);
      b.linkedTable = 0;
      b.relatedTable = 0;
      if (type == Common::kTypeRelation) b.relationBuilt = false;
    }
  }
}

bool HasLinks(int slot) {
  const TZetTable* t = ZetTable::Table(slot);
  return t && std::any_of(t->bindings.begin(), t->bindings.end(),
                          [](const TFieldBinding& b) { return b.linkedTable != 0; });
}

int LinkedTableOfField(int slot, uint16_t field) {
  const TZetTable* t = ZetTable::Table(slot);
  if (!t || !t->ValidField(field)) return 0;
  const ShortStr name = Common::ParenArgument(t->StoredName(field));
  return name.empty() ? slot : ZetTable::FindOpenTable(name);
}

int IndexOfFieldKey(int slot, uint16_t field) {
  const TZetTable* t = ZetTable::Table(slot);
  if (!t) return 0;
  for (int index = 1; index <= t->highestIndexSlot; ++index) {
    const auto& d = t->indexes[size_t(index)];
    if (!d) continue;
    const uint8_t* description = d->header.data();
    const Zet00::TKeyPart first = Zet00::KeyPart(description, 0);
    if (first.IsExpression() || first.IsVariable() || first.Number() != field) continue;
    if (Zet00::PartCount(description) == 1 ||
        Zet00::KeyPart(description, 1).type == ZetTable::kKeyTypeLinkedRecord)
      return index;
  }
  return 0;
}

void SetFieldPathEntry(int entry, int slot, uint16_t field) {
  if (entry < 0 || entry >= kFieldPathEntries) return;
  g_path[size_t(entry)] = {slot, field};
}

const uint8_t* FieldPathValue() { return g_pathValue.data(); }

void ClearFieldPath() {
  g_path.fill({});
  g_pathValue.fill(0);
}

bool FieldPathValid(int n) {
  if (n < 0 || n >= kFieldPathEntries) return false;
  for (int i = 0; i <= n; ++i)
    if (!IsValidField(g_path[size_t(i)].slot, g_path[size_t(i)].field)) return false;
  return true;
}

uint32_t FollowFieldPath(int n, int& table, uint16_t& field, int& error) {
  table = 0;
  field = 0;
  error = 0;
  if (n < 0 || n >= kFieldPathEntries || !IsValidField(g_path[0].slot, g_path[0].field)) return 0;
  CarryField(*ZetTable::Table(g_path[0].slot), g_path[0].field);
  for (int level = 1; level <= n; ++level) {
    const TPathEntry& entry = g_path[size_t(level)];
    TZetTable* t = OpenSlot(entry.slot);
    if (!t || !t->hasAutoNumber) return 0;
    // A number the table does not hold leads to no record (record 0).
    const uint32_t recno = Zet00::RecordOfAutoNumber(entry.slot, CarriedNumber());
    Zet00::PushTablePosition(entry.slot);
    t->orderMode = ZetTable::kOrderRecords;
    t->currentRecord = recno;
    if (int e = ReadRecord(entry.slot, recno)) {
      error = e;
      Zet00::PopTablePosition(entry.slot);
      return 0;
    }
    if (level == n) {
      table = entry.slot;
      field = entry.field;
      return recno;
    }
    CarryField(*t, entry.field);
    Zet00::PopTablePosition(entry.slot);
  }
  return 0;
}

bool RecordMatchesPattern(int slot, std::string_view pattern) {
  const TZetTable* t = ZetTable::Table(slot);
  if (!t || t->recordBuffer.size() < t->recordLength) return false;
  for (uint16_t n = 1; n <= t->fieldCount; ++n) {
    if (t->FieldType(n) != Common::kTypeString || !t->IsStored(n)) continue;
    Common::FieldValue value;
    Common::GetFieldAsNumber(t->recordBuffer.data(), t->Place(n), t->version, value);
    if (UPPERCAS::WildcardMatch(value.text, pattern)) return true;
  }
  return false;
}

}  // namespace Zet01
