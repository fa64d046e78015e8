// Accelerator tables (see accel.h).
#include "platform/win/accel.h"

#include <algorithm>
#include <unordered_map>
#include <vector>

namespace win {

namespace {

struct Tables {
  std::unordered_map<uint32_t, std::vector<ACCEL>> table;
  uint32_t next = 1;
};

Tables& State() {
  static Tables tables;
  return tables;
}

}  // namespace

HACCEL CreateAcceleratorTableA(const ACCEL* records, int count) {
  if (!records || count < 1) return HACCEL();
  std::vector<ACCEL> copy(records, records + count);
  for (ACCEL& record : copy) record.fVirt &= uint16_t(~FACCEL_END);
  copy.back().fVirt |= FACCEL_END;
  const uint32_t id = State().next++;
  State().table.emplace(id, std::move(copy));
  return HACCEL(id);
}

int CopyAcceleratorTableA(HACCEL table, ACCEL* target, int count) {
  auto it = State().table.find(table.id);
  if (it == State().table.end()) return 0;
  const std::vector<ACCEL>& records = it->second;
  if (!target) return int(records.size());
  const int n = std::clamp(count, 0, int(records.size()));
  std::copy(records.begin(), records.begin() + n, target);
  return n;
}

bool DestroyAcceleratorTable(HACCEL table) { return State().table.erase(table.id) != 0; }

}  // namespace win
