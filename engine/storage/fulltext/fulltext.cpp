#include "engine/storage/fulltext/fulltext.h"

#include <algorithm>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/fulltext/fulltext_internal.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable_fields.h"

namespace FullText {
namespace {

using ZetTable::TZetTable;

constexpr uint16_t kAutoNumberLength = 4;
constexpr uint16_t kWeightLength = 2;
constexpr int32_t kLargestHitCount = 32767;

TOperators g_operators;

ShortStr TableName(int handle) {
  const TZetTable* t = ZetTable::Table(handle);
  return t ? Common::AppendStrCopy(t->directory, t->fileName) : ShortStr();
}

int Refuse(uint16_t error, std::string_view name) {
  Common::SetFileError(error, name);
  return error;
}

}  // namespace

std::array<uint8_t, ZetTable::kKeyDescriptionSize> RelationIndexDescription() {
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> d{};
  Zet00::SetKeyPart(d.data(), 0, {kWordNumberField, kAutoNumberLength, Common::kTypeLink});
  Zet00::SetKeyPart(d.data(), 1, {kSourceAutoField, kAutoNumberLength, ZetTable::kKeyTypeLinkedRecord});
  Zet00::SetKeyPart(d.data(), 2, {kWeightVariable, kWeightLength, Common::kTypeInteger});
  return d;
}

bool HasFullTextKeys(const TZetTable& relation) {
  const auto& d = relation.indexes[kRelationIndex];
  const auto description = RelationIndexDescription();
  return d && std::equal(description.begin(), description.end(), d->header.begin());
}

int CheckRelationKeys(int relation) {
  const TZetTable* t = ZetTable::Table(relation);
  if (!t || !HasFullTextKeys(*t)) return 0;
  return Zet00::FirstKeyHoldsZeroAt(relation, kRelationIndex, kRelKeySource)
             ? Refuse(Zet00::kErrIndexDamaged, TableName(relation))
             : 0;
}

bool HasHitCountField(const TZetTable& words) {
  return words.fieldCount > kHitCountField && words.FieldType(kHitCountField) == Common::kTypeInteger;
}

bool IsProperWordTable(const TZetTable& words) {
  const auto& d = words.indexes[kWordIndex];
  if (!d || !words.ValidField(kWordField) || words.FieldType(kWordField) != Common::kTypeString) return false;
  const uint8_t* desc = d->header.data();
  if (Zet00::IsExpressionKey(desc) || Zet00::PartCount(desc) != kProperWordParts) return false;
  const Zet00::TKeyPart word = Zet00::KeyPart(desc, 0), number = Zet00::KeyPart(desc, 1);
  return word.field == kWordField && word.type == Common::kTypeString &&
         word.length == words.SizeCode(kWordField) + 1 && number.type == Common::kTypeAutoNumber &&
         !number.IsVariable();
}

ShortStr KeyWord(const TZetTable& words, const uint8_t* key) {
  const uint8_t* part = key + ZetTable::kKeyRecordNumber;
  const size_t length = std::min<size_t>(part[0], words.SizeCode(kWordField));
  ShortStr word(std::string_view(reinterpret_cast<const char*>(part + 1), length));
  if (words.version < Common::kFirstVersionWithDoubles) UPPERCAS::OemToAnsiStr(word);
  return word;
}

int32_t KeyWordNumber(const TZetTable& words, const uint8_t* key) {
  return bytes::GetI32(key + ZetTable::kKeyRecordNumber + words.SizeCode(kWordField) + 1);
}

void PutWord(int words, std::string_view word) {
  TZetTable* t = ZetTable::Table(words);
  ZetTable::SetFieldText(*t, kWordField, t->recordBuffer.data(), word);
}

ShortStr PutStoredWord(const TZetTable& words, uint8_t* record, std::string_view word) {
  ZetTable::SetFieldText(words, kWordField, record, word);
  return ZetTable::FieldText(words, kWordField, record);
}

void PutHitCount(TZetTable& words, int32_t hits) {
  uint8_t value[sizeof(int16_t)];
  bytes::PutI16(value, int16_t(std::clamp(hits, 0, kLargestHitCount)));
  Common::PutFieldValue(words.recordBuffer.data(), words.Place(kHitCountField), words.version, value, false);
}

uint16_t WeightFieldOf(int source, uint16_t n) {
  const TZetTable* t = ZetTable::Table(source);
  if (!t || n == 0) return 0;
  const uint16_t field = ZetTable::NthUserField(source, n);
  return field != 0 && t->ValidField(field) && t->FieldType(field) == Common::kTypeInteger ? field : 0;
}

int32_t FieldInteger(const TZetTable& t, uint16_t field) {
  if (field == 0) return 0;
  Common::FieldValue value;
  Common::GetFieldAsNumber(t.recordBuffer.data(), t.Place(field), t.version, value);
  return Common::RealToLongInt(value.number);
}

void PutInteger(TZetTable& t, uint16_t field, int32_t value) {
  bytes::PutI32(t.recordBuffer.data() + t.FieldOffset(field), value);
}

int CheckRequest(const TIndexRequest& request, bool withRecords, std::vector<TFieldItem>& items,
                 std::vector<TFieldItem>& exclusions) {
  if (!ZetTable::Table(request.wordTable)) return Refuse(kErrNotOpen, {});
  if (withRecords) {
    const TZetTable* rel = ZetTable::Table(request.relationTable);
    if (!ZetTable::Table(request.source) || !rel) return Refuse(kErrNotOpen, {});
    if (!rel->isRelationTable || rel->fieldCount < kWordNumberField) return Refuse(kErrNoRelationTable, {});
    const auto& entries = rel->indexes[kEntryIndex];
    if (!entries || Zet00::KeyLength(entries->header.data()) != kEntryKeyLength || !rel->indexes[kRelationIndex])
      return Refuse(kErrBadIndex, TableName(request.relationTable));
  }
  if (!ParseFieldList(request.fieldList, items) || !ParseFieldList(request.exclusionList, exclusions))
    return Refuse(kErrSyntax, {});
  return 0;
}

TOperators& QueryOperators() { return g_operators; }

void UnitInit() { g_operators = TOperators(); }

void UnitDone() { UnitInit(); }

}  // namespace FullText
