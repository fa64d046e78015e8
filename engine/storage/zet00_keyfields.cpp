#include "engine/storage/zet00_keyfields.h"

#include <algorithm>
#include <cstring>

#include "engine/base/common.h"
#include "engine/storage/zet00_keys.h"

namespace Zet00 {

std::vector<TKeyField> RestorableKeyFields(const ZetTable::TZetTable& table, const uint8_t* description) {
  std::vector<TKeyField> fields;
  size_t offset = ZetTable::kKeyRecordNumber;
  for (size_t i = 0, n = PartCount(description); i < n; ++i) {
    const TKeyPart part = KeyPart(description, i);
    const size_t at = offset;
    offset += part.length;
    if (part.IsExpression() || part.IsVariable() || part.type == ZetTable::kKeyTypeLinkedRecord) continue;
    const uint16_t f = part.Number();
    if (!table.ValidField(f) || !table.IsStored(f) || Restores(fields, f)) continue;
    // A text part needs SizeCode characters after its length byte, any
    // other the field's SizeCode + 1 bytes: the same length either way.
    if (part.length < size_t(table.SizeCode(f)) + 1) continue;
    fields.push_back({f, at, part.type == Common::kTypeString && table.FieldType(f) == Common::kTypeString});
  }
  return fields;
}

bool Restores(const std::vector<TKeyField>& fields, uint16_t n) {
  return std::any_of(fields.begin(), fields.end(), [n](const TKeyField& k) { return k.field == n; });
}

bool RestoreKeyFields(const ZetTable::TZetTable& table, const std::vector<TKeyField>& fields, const uint8_t* key,
                      uint8_t* record) {
  for (const TKeyField& k : fields) {
    const uint8_t* part = key + k.keyOffset;
    uint8_t* out = record + table.FieldOffset(k.field);
    const size_t size = size_t(table.SizeCode(k.field));
    if (k.text) {
      const size_t length = std::min<size_t>(part[0], size);
      if (std::memchr(part + 1, '^', length) != nullptr) return false;
      out[0] = uint8_t(length);
      std::memcpy(out + 1, part + 1, length);
    } else {
      std::memcpy(out, part, size + 1);
    }
  }
  return true;
}

}  // namespace Zet00
