// A record per window, kept beside the window system by the controls and the
// dialog manager.
//
// What always holds:
//   1. At most one record per window id; Make replaces what was there.
//   2. A record goes when its window's WM_NCDESTROY erases it. The window
//      system may also drop windows without messages (its reset), so when
//      the table has doubled since the last sweep, records of windows that
//      no longer live are swept out: the table never grows without bound.
#pragma once

#include <algorithm>
#include <memory>
#include <unordered_map>

#include "platform/win/window.h"

namespace win {

template <class T>
class PerWindow {
 public:
  T& Make(HWND hwnd) {
    if (table_.size() >= sweepAt_) {
      std::erase_if(table_, [](const auto& entry) { return !IsWindow(HWND(entry.first)); });
      sweepAt_ = std::max<size_t>(64, table_.size() * 2);
    }
    auto& slot = table_[hwnd.id];
    slot = std::make_unique<T>();
    return *slot;
  }
  T* Of(HWND hwnd) const {
    auto it = table_.find(hwnd.id);
    return it != table_.end() ? it->second.get() : nullptr;
  }
  void Erase(HWND hwnd) { table_.erase(hwnd.id); }

 private:
  std::unordered_map<uint32_t, std::unique_ptr<T>> table_;
  size_t sweepAt_ = 64;
};

}  // namespace win
