// Headless user-interface tests (see ui.h).
#include "platform/testing/ui.h"

#include <cstdlib>
#include <filesystem>

#include "platform/codepage.h"
#include "platform/fonts/font.h"
#include "platform/testing/golden.h"

namespace zettest {

std::vector<win::UINT> MessageSpy::Messages(const std::vector<win::UINT>& only) const {
  std::vector<win::UINT> list;
  for (const auto& e : entries_)
    if (only.empty() || std::find(only.begin(), only.end(), e.message) != only.end()) list.push_back(e.message);
  return list;
}

void MessageSpy::Record(const SpiedMessage& m) {
  if (m.hwnd == hwnd_ || (children_ && win::IsChild(hwnd_, m.hwnd))) entries_.push_back(m);
}

ScriptedAnswers& ScriptedAnswers::Queue(Kind kind, Answer answer) {
  answers_[kind].push_back(std::move(answer));
  lastQueued_ = kind;
  return *this;
}

ScriptedAnswers& ScriptedAnswers::MessageBox(int answer) { return Queue(kBox, Answer{}.Value(answer)); }

ScriptedAnswers& ScriptedAnswers::OpenFile(std::string path, bool cancel) {
  return Queue(kOpen, Answer{}.Path(std::move(path), cancel));
}

ScriptedAnswers& ScriptedAnswers::BrowseFolder(std::string path, bool cancel) {
  return Queue(kFolder, Answer{}.Path(std::move(path), cancel));
}

ScriptedAnswers& ScriptedAnswers::PrintDialog(std::function<void(dialogs::PrintDialogRequest&)> choose) {
  const bool cancel = !choose;
  Answer answer = Answer{}.Path(cancel ? "cancel" : "print", cancel);
  answer.choose = std::move(choose);
  return Queue(kPrint, std::move(answer));
}

ScriptedAnswers& ScriptedAnswers::IfText(std::string part) {
  if (!answers_[lastQueued_].empty()) answers_[lastQueued_].back().part = std::move(part);
  return *this;
}

const ScriptedAnswers::Answer* ScriptedAnswers::Take(Kind kind, const std::string& text) {
  auto& queue = answers_[kind];
  if (queue.empty()) {
    ADD_FAILURE() << "unanswered question: " << log_.back();
    return nullptr;
  }
  taken_ = std::move(queue.front());
  queue.erase(queue.begin());
  if (!taken_.part.empty() && text.find(taken_.part) == std::string::npos) {
    ADD_FAILURE() << "question \"" << log_.back() << "\" does not hold \"" << taken_.part << "\"";
    return nullptr;
  }
  return &taken_;
}

void ScriptedAnswers::MessageBox(dialogs::MessageBoxRequest& request) {
  log_.push_back(request.caption + ": " + request.text);
  lastBox_ = request;
  const Answer* answer = Take(kBox, request.text);
  request.answer = answer ? answer->value : 0;
}

void ScriptedAnswers::OpenFile(dialogs::OpenFileRequest& request) {
  log_.push_back("open: " + request.title);
  lastOpen_ = request;
  const Answer* answer = Take(kOpen, request.title);
  request.answer = answer && !answer->cancel;
  if (request.answer) request.chosen = answer->path;
}

void ScriptedAnswers::BrowseFolder(dialogs::BrowseFolderRequest& request) {
  log_.push_back("folder: " + request.title);
  const Answer* answer = Take(kFolder, request.title);
  request.answer = answer && !answer->cancel;
  if (request.answer) request.chosen = answer->path;
}

void ScriptedAnswers::PrintDialog(dialogs::PrintDialogRequest& request) {
  const std::string kind = request.flags & win::PD_PRINTSETUP ? "setup" : "print";
  log_.push_back("print: " + kind);
  const Answer* answer = Take(kPrint, kind);
  request.answer = false;
  if (!answer || answer->cancel) return;
  answer->choose(request);
  request.answer = true;
}

ScriptedAnswers& ScriptedAnswers::PopupMenu(std::string item) { return Queue(kPopup, Answer{}.Item(std::move(item))); }

ScriptedAnswers& ScriptedAnswers::PopupMenu(win::UINT command) { return Queue(kPopup, Answer{}.Value(int(command))); }

void ScriptedAnswers::TrackPopupMenu(dialogs::TrackPopupMenuRequest& request) {
  request.answer = 0;
  lastPopup_ = request;
  auto& queue = answers_[kPopup];
  if (queue.empty()) {
    log_.push_back("popup: -");
    return;
  }
  const Answer answer = std::move(queue.front());
  queue.erase(queue.begin());
  const std::string name = answer.item.empty() ? std::to_string(answer.value) : answer.item;
  request.answer = PickMenuItem(request.menu, request.owner, answer.item, win::UINT(answer.value));
  log_.push_back("popup: " + name + (request.answer ? "" : " (disabled)"));
}

void ScriptedAnswers::ExpectAllUsed() {
  for (auto& queue : answers_) {
    for (const Answer& a : queue)
      ADD_FAILURE() << "answer never used: "
                    << (!a.item.empty() ? a.item : a.path.empty() ? std::to_string(a.value) : a.path) << " for \""
                    << a.part << "\"";
    queue.clear();
  }
}

void UiTest::SetUp() {
  platform::fonts::SetTestFont(true);
  win::ResetWindowSystem();
  win::SetClock(&clock_);
  backend_.Install();
  backend_.SetScript([this] { return RunStep(); });
  win::SetMessageObserver(&UiTest::Observe, this);
  dialogs::SetInteractionProvider(&answers_);
  char pattern[] = "/tmp/qmkui.XXXXXX";
  temp_ = mkdtemp(pattern) ? pattern : "/tmp";
  for (const char* name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME", "XDG_RUNTIME_DIR"}) {
    const char* old = std::getenv(name);
    savedEnv_.emplace_back(name, old ? old : std::string("\x01"));
    const std::string dir = temp_ + "/" + name;
    std::filesystem::create_directories(dir);
    setenv(name, dir.c_str(), 1);
  }
}

void UiTest::TearDown() {
  std::vector<std::string> left;
  for (const Step& s : steps_) left.push_back(s.name);
  win::SetMessageObserver(nullptr, nullptr);
  dialogs::SetInteractionProvider(nullptr);
  answers_.ExpectAllUsed();
  win::ResetWindowSystem();
  win::SetClock(nullptr);
  win::SetBackend(nullptr);
  for (const auto& [name, value] : savedEnv_) {
    if (value == "\x01") unsetenv(name.c_str());
    else setenv(name.c_str(), value.c_str(), 1);
  }
  std::error_code ignored;
  if (temp_ != "/tmp") std::filesystem::remove_all(temp_, ignored);
  for (const std::string& name : left) ADD_FAILURE() << "script step never ran: " << name;
}

MessageSpy& UiTest::Spy(win::HWND hwnd, bool children) {
  spies_.push_back(std::make_unique<MessageSpy>(hwnd, children));
  return *spies_.back();
}

void UiTest::Observe(win::HWND hwnd, win::UINT msg, win::WPARAM wParam, win::LPARAM lParam, bool posted,
                     void* self) {
  for (auto& spy : static_cast<UiTest*>(self)->spies_) spy->Record({hwnd, msg, wParam, lParam, posted});
}

void UiTest::When(std::function<bool()> condition, std::function<void()> action, std::string name) {
  steps_.push_back({std::move(condition), std::move(action), std::move(name)});
}

bool UiTest::RunStep() {
  if (steps_.empty() || !steps_.front().condition()) return false;
  Step step = std::move(steps_.front());
  steps_.erase(steps_.begin());
  step.action();
  return true;
}

void UiTest::Click(win::HWND hwnd, int x, int y, win::MouseButton button) {
  win::POINT p{x, y};
  win::ClientToScreen(hwnd, &p);
  win::InjectMouse(p, win::MouseButton::kNone, false);
  win::InjectMouse(p, button, true);
  win::InjectMouse(p, button, false);
  Settle();
}

TypedKey KeyForCharacter(uint8_t c) {
  if (c >= 'a' && c <= 'z') return {win::UINT(c - 32), false, c};
  if (c >= 'A' && c <= 'Z') return {win::UINT(c), true, c};
  if (c >= '0' && c <= '9') return {win::UINT(c), false, c};
  switch (c) {
    case 0xE4: return {0xDE, false, c};
    case 0xC4: return {0xDE, true, c};
    case 0xF6: return {0xC0, false, c};
    case 0xD6: return {0xC0, true, c};
    case 0xFC: return {0xBA, false, c};
    case 0xDC: return {0xBA, true, c};
    case 0xDF: return {0xDB, false, c};
    case ' ': return {win::VK_SPACE, false, c};
    case '\r':
    case '\n': return {win::VK_RETURN, false, '\r'};
    case '\t': return {win::VK_TAB, false, '\t'};
    case '+': return {0xBB, false, c};
    case '#': return {0xBF, false, c};
    case '<': return {0xE2, false, c};
    case '>': return {0xE2, true, c};
    case ',': return {0xBC, false, c};
    case ';': return {0xBC, true, c};
    case '.': return {0xBE, false, c};
    case ':': return {0xBE, true, c};
    case '-': return {0xBD, false, c};
    case '_': return {0xBD, true, c};
  }
  return {0, false, c};  // no key of its own: the character alone
}

void UiTest::Key(win::UINT vk, uint8_t character) {
  win::InjectKey(vk, true, character);
  win::InjectKey(vk, false);
  Settle();
}

void UiTest::Type(std::string_view utf8) {
  for (char ch : platform::Utf8ToCp1252(utf8)) {
    const TypedKey k = KeyForCharacter(uint8_t(ch));
    if (k.shift) win::InjectKey(win::VK_SHIFT, true);
    win::InjectKey(k.vk, true, k.character);
    win::InjectKey(k.vk, false);
    if (k.shift) win::InjectKey(win::VK_SHIFT, false);
  }
  Settle();
}

::testing::AssertionResult UiTest::MatchesWindowGolden(win::HWND hwnd, const std::string& goldenDir,
                                                       const std::string& name) {
  const auto shot = win::Snapshot(hwnd);
  if (!shot) return ::testing::AssertionFailure() << "no window to snapshot";
  return MatchesGolden(*shot, goldenDir + "/goldens/" + name + ".png");
}

namespace {

// Whether the item shows the text (cp1252; the part before a tab).
bool ShowsText(win::HMENU menu, int position, const std::string& text) {
  std::string shown(size_t(win::GetMenuStringA(menu, win::UINT(position), nullptr, 0, win::MF_BYPOSITION)), '\0');
  win::GetMenuStringA(menu, win::UINT(position), shown.data(), int(shown.size()) + 1, win::MF_BYPOSITION);
  return shown.substr(0, shown.find('\t')) == text;
}

}  // namespace

win::UINT PickMenuItem(win::HMENU menu, win::HWND owner, const std::string& text, win::UINT command) {
  const std::string wanted = platform::Utf8ToCp1252(text);
  const std::vector<int> path = win::FindMenuItem(menu, [&](win::HMENU m, int i) {
    if (win::GetSubMenu(m, i) || win::GetMenuItemID(m, i) == 0) return false;
    return text.empty() ? win::GetMenuItemID(m, i) == command : ShowsText(m, i, wanted);
  });
  if (path.empty()) ADD_FAILURE() << "no menu item \"" << (text.empty() ? std::to_string(command) : text) << "\"";
  return path.empty() ? 0 : win::OpenMenuPath(owner, menu, path);
}

bool UiTest::Menu(win::HWND hwnd, std::initializer_list<std::string_view> items) {
  const win::HMENU bar = win::GetMenu(hwnd);
  std::vector<int> path;
  for (win::HMENU m = bar; std::string_view item : items) {
    const std::string wanted = platform::Utf8ToCp1252(item);
    int found = -1;
    for (int i = 0; m && i < win::GetMenuItemCount(m) && found < 0; ++i)
      if (ShowsText(m, i, wanted)) found = i;
    if (found < 0) {
      ADD_FAILURE() << "no menu item \"" << item << "\"";
      return false;
    }
    path.push_back(found);
    m = win::GetSubMenu(m, found);
  }
  const win::UINT command = win::OpenMenuPath(hwnd, bar, path);
  if (command) win::SendMessage(hwnd, win::WM_COMMAND, win::MAKEWPARAM(uint16_t(command), 0), 0);
  Settle();
  return command != 0;
}

}  // namespace zettest
