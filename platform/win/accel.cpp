// Accelerator tables (see accel.h).
#include "platform/win/accel.h"

#include "platform/win/input.h"
#include "platform/win/menubar.h"
#include "platform/win/message.h"
#include "platform/win/window.h"

#include <algorithm>
#include <string>
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

HACCEL LoadAcceleratorsA(const platform::ResId& id) {
  std::vector<platform::Accel> table;
  if (!platform::LoadAccelerators(id, table) || table.empty()) return HACCEL();
  std::vector<ACCEL> records;
  for (const platform::Accel& a : table) records.push_back({a.flags, a.key, a.command});
  return CreateAcceleratorTableA(records.data(), int(records.size()));
}

namespace {

bool Matches(const ACCEL& a, const MSG& msg) {
  if (a.fVirt & FVIRTKEY) {
    if ((msg.message != WM_KEYDOWN && msg.message != WM_SYSKEYDOWN) || msg.wParam != a.key) return false;
    const auto down = [](UINT vk) { return GetKeyState(int(vk)) < 0; };
    return down(VK_SHIFT) == bool(a.fVirt & FSHIFT) && down(VK_CONTROL) == bool(a.fVirt & FCONTROL) &&
           down(VK_MENU) == bool(a.fVirt & FALT);
  }
  if (msg.message != WM_CHAR && msg.message != WM_SYSCHAR) return false;
  return msg.wParam == a.key && (msg.message == WM_SYSCHAR) == bool(a.fVirt & FALT);
}

}  // namespace

bool TranslateAcceleratorA(HWND hwnd, HACCEL table, const MSG* msg) {
  auto it = State().table.find(table.id);
  if (it == State().table.end() || !msg || !IsWindow(hwnd)) return false;
  const std::vector<ACCEL> records = it->second;  // a command may destroy the table
  for (const ACCEL& a : records) {
    if (!Matches(a, *msg)) continue;
    const HMENU bar = GetMenu(hwnd);
    const std::vector<int> path =
        FindMenuItem(bar, [&](HMENU m, int i) { return !GetSubMenu(m, i) && GetMenuItemID(m, i) == a.cmd; });
    if (!path.empty() && OpenMenuPath(hwnd, bar, path) != a.cmd) return true;
    SendMessage(hwnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return true;
  }
  return false;
}

}  // namespace win
