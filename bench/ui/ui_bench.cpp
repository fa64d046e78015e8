// SendMessage to a framework window whose response table has 40 entries,
// answered by the last one, against the same search as a chain of
// std::function handlers tried in order. Budget: 1,000,000 sends in 0.3 s,
// within 3x of the chain.
#include <chrono>
#include <cstdio>
#include <functional>
#include <vector>

#include "platform/framework/window.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kCalls = 1000000;
constexpr int kEntries = 40;

double SecondsSince(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

class Target : public fw::TWindow {
 public:
  Target() : TWindow(nullptr, "bench") {}
  template <int... I>
  static fw::TResponseTable MakeTable(std::integer_sequence<int, I...>) {
    return fw::TResponseTable{fw::OnWm<win::WM_USER + I, &Target::Ev>()...};
  }
  bool Find(fw::TEventInfo& e) override {
    static const fw::TResponseTable table = MakeTable(std::make_integer_sequence<int, kEntries>());
    return table.Search(e) || TWindow::Find(e);
  }
  win::LRESULT Ev(win::WPARAM w, win::LPARAM) { return win::LRESULT(w + 1); }
};

}  // namespace

int main() {
  Target target;
  if (!target.Create()) return 1;
  const win::HWND h = target.GetHandle();
  const win::UINT last = win::WM_USER + kEntries - 1;

  long sum = 0;
  auto start = Clock::now();
  for (int i = 0; i < kCalls; ++i) sum += win::SendMessage(h, last, win::WPARAM(i & 7), 0);
  const double send = SecondsSince(start);

  using Handler = std::function<bool(win::UINT, win::WPARAM, win::LPARAM, win::LRESULT&)>;
  std::vector<Handler> chain;
  for (int k = 0; k < kEntries; ++k)
    chain.push_back([k](win::UINT m, win::WPARAM w, win::LPARAM, win::LRESULT& r) {
      if (m != win::WM_USER + win::UINT(k)) return false;
      r = win::LRESULT(w + 1);
      return true;
    });
  long peerSum = 0;
  start = Clock::now();
  for (int i = 0; i < kCalls; ++i) {
    win::LRESULT r = 0;
    for (const Handler& handler : chain)
      if (handler(last, win::WPARAM(i & 7), 0, r)) break;
    peerSum += r;
  }
  const double peer = SecondsSince(start);

  std::printf("%d SendMessage through a %d-entry response table: %.3f s (%.0f ns each; budget 0.300 s)\n", kCalls,
              kEntries, send, send * 1e9 / kCalls);
  std::printf("%d calls of a %d-handler std::function chain:       %.3f s (%.0f ns each)\n", kCalls, kEntries, peer,
              peer * 1e9 / kCalls);
  std::printf("ratio send / chain: %.2f (budget 3.00)%s\n", send / peer, sum == peerSum ? "" : "  RESULTS DIFFER");
  return sum == peerSum ? 0 : 1;
}
