// Headless user-interface tests: a fixture that gives every test the same
// world, and the tools that drive and watch windows.
//
// What UiTest sets up for each test, and takes down after it:
//   1. The test font (boxes of fixed metrics), the 1024 x 768 headless screen
//      at 96 dpi, fixed system colours.
//   2. A virtual clock starting at 0 that only the test (Advance) or an idle
//      wait for a timer moves.
//   3. Temporary XDG folders (config, data, cache, runtime), removed after.
//   4. The script: steps the headless display runs when every loop waits,
//      each once, in order, when its condition holds. A later step waits for
//      the one before it. Steps left over fail the test.
//   5. A clean window system before and after (ResetWindowSystem).
//   6. The scripted interaction provider (Answers()): questions are answered
//      from a queue per kind (message box, open file, folder), in order, each
//      answer optionally only for a question whose text holds a given part;
//      every question is logged. A question with no answer of its kind left,
//      or whose text does not match, fails the test (and stays unanswered);
//      so does an answer never used. A pop-up menu without an answer is
//      dismissed (0) and logged, as a user who clicks beside it.
//
// Spy(h) records the messages the procs of h (and with children, of its
// descendants) receive, sent or posted, in order; tests compare the record
// with a table of expected messages.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dialogs/provider.h"
#include "platform/display/headless/headless.h"
#include "platform/win/clock.h"
#include "platform/win/input.h"
#include "platform/win/menubar.h"
#include "platform/win/message.h"
#include "platform/win/paint.h"
#include "platform/win/window.h"

namespace zettest {

struct SpiedMessage {
  win::HWND hwnd;
  win::UINT message = 0;
  win::WPARAM wParam = 0;
  win::LPARAM lParam = 0;
  bool posted = false;
  bool operator==(const SpiedMessage&) const = default;
};

class MessageSpy {
 public:
  MessageSpy(win::HWND hwnd, bool children) : hwnd_(hwnd), children_(children) {}
  // The message numbers received so far, optionally only those in `only`.
  std::vector<win::UINT> Messages(const std::vector<win::UINT>& only = {}) const;
  const std::vector<SpiedMessage>& Entries() const { return entries_; }
  void Clear() { entries_.clear(); }
  void Record(const SpiedMessage& m);

 private:
  win::HWND hwnd_;
  bool children_;
  std::vector<SpiedMessage> entries_;
};

class ScriptedAnswers final : public dialogs::InteractionProvider {
 public:
  // Queues an answer for the next question of its kind; IfText narrows the
  // answer queued last to a question whose text (a box's text, a file or
  // folder question's title) holds the part.
  ScriptedAnswers& MessageBox(int answer);
  // The user chooses path (OK), or cancels when cancel is set.
  ScriptedAnswers& OpenFile(std::string path, bool cancel = false);
  ScriptedAnswers& BrowseFolder(std::string path, bool cancel = false);
  // The print or print set-up question: choose fills in the request (printer,
  // pages) and the user presses OK, or the user cancels when choose is empty.
  ScriptedAnswers& PrintDialog(std::function<void(dialogs::PrintDialogRequest&)> choose);
  ScriptedAnswers& IfText(std::string part);
  // The next pop-up menu: the user picks the item with this text (UTF-8, as
  // shown with its "&", without the part from a tab on) or this command,
  // wherever it lies in the pop-up's tree. A disabled item cannot be picked:
  // the menu answers 0. Picking an item that is not there fails the test.
  ScriptedAnswers& PopupMenu(std::string item);
  ScriptedAnswers& PopupMenu(win::UINT command);

  void MessageBox(dialogs::MessageBoxRequest& request) override;
  void OpenFile(dialogs::OpenFileRequest& request) override;
  void BrowseFolder(dialogs::BrowseFolderRequest& request) override;
  void PrintDialog(dialogs::PrintDialogRequest& request) override;
  void TrackPopupMenu(dialogs::TrackPopupMenuRequest& request) override;
  // Every question asked, as "caption: text" (boxes), "open: title",
  // "folder: title", "print: print", "print: setup" and "popup: item" (the
  // item picked; "-" when dismissed, " (disabled)" after one not pickable).
  const std::vector<std::string>& Log() const { return log_; }
  // The requests as they were asked, the last of each kind.
  const dialogs::MessageBoxRequest& LastMessageBox() const { return lastBox_; }
  const dialogs::OpenFileRequest& LastOpenFile() const { return lastOpen_; }
  const dialogs::TrackPopupMenuRequest& LastPopupMenu() const { return lastPopup_; }
  // Fails the test for every answer left over.
  void ExpectAllUsed();

 private:
  enum Kind { kBox, kOpen, kFolder, kPrint, kPopup, kKinds };
  struct Answer {
    int value = 0;
    std::string path;
    bool cancel = false;
    std::string part;
    std::function<void(dialogs::PrintDialogRequest&)> choose;
    std::string item;  // a pop-up menu's item by text, else by value
    Answer&& Value(int v) && { value = v; return std::move(*this); }
    Answer&& Path(std::string p, bool c) && { path = std::move(p); cancel = c; return std::move(*this); }
    Answer&& Item(std::string i) && { item = std::move(i); return std::move(*this); }
  };
  // The next answer of a kind for a question, or null (the test failed).
  const Answer* Take(Kind kind, const std::string& text);
  ScriptedAnswers& Queue(Kind kind, Answer answer);

  std::vector<Answer> answers_[kKinds];
  Answer taken_;
  Kind lastQueued_ = kBox;
  std::vector<std::string> log_;
  dialogs::MessageBoxRequest lastBox_;
  dialogs::OpenFileRequest lastOpen_;
  dialogs::TrackPopupMenuRequest lastPopup_;
};

class UiTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  win::VirtualClock& Clock() { return clock_; }
  display::HeadlessBackend& Display() { return backend_; }
  const std::string& TempDir() const { return temp_; }

  MessageSpy& Spy(win::HWND hwnd, bool children = false);
  ScriptedAnswers& Answers() { return answers_; }

  // Script steps (rule 4).
  void When(std::function<bool()> condition, std::function<void()> action, std::string name = "step");
  void Then(std::function<void()> action, std::string name = "step") {
    When([] { return true; }, std::move(action), std::move(name));
  }

  // Input at a client position of hwnd, then every message it causes is handled.
  void Click(win::HWND hwnd, int x, int y, win::MouseButton button = win::MouseButton::kLeft);
  // Types UTF-8 text into the focus window: per character its key (with
  // Shift for capitals) and its cp1252 character.
  void Type(std::string_view utf8);
  void Key(win::UINT vk, uint8_t character = 0);
  // Chooses from hwnd's menu bar by item texts (UTF-8, as shown with their
  // "&", without the part from a tab on), e.g. Menu(h, {"&Datei",
  // "&Öffnen..."}): each pop-up opened on the way runs its enablers; an
  // enabled command is sent. False when an item on the way is disabled; a
  // missing item fails the test.
  bool Menu(win::HWND hwnd, std::initializer_list<std::string_view> items);
  // Handles every message waiting now (no blocking).
  void Settle() { win::PumpWaiting(); }

  // The window's pixels compared with goldens/<name>.png under goldenDir.
  ::testing::AssertionResult MatchesWindowGolden(win::HWND hwnd, const std::string& goldenDir,
                                                 const std::string& name);

 private:
  struct Step {
    std::function<bool()> condition;
    std::function<void()> action;
    std::string name;
  };
  static void Observe(win::HWND, win::UINT, win::WPARAM, win::LPARAM, bool posted, void* self);
  bool RunStep();

  win::VirtualClock clock_;
  display::HeadlessBackend backend_;
  std::string temp_;
  std::vector<std::pair<std::string, std::string>> savedEnv_;
  std::vector<std::unique_ptr<MessageSpy>> spies_;
  std::vector<Step> steps_;
  ScriptedAnswers answers_;
};

// The virtual key and cp1252 character of one typed character (German layout):
// letters and digits by their capital, ä 0xDE, ö 0xC0, ü 0xBA, ß 0xDB.
struct TypedKey {
  win::UINT vk = 0;
  bool shift = false;
  uint8_t character = 0;
};
TypedKey KeyForCharacter(uint8_t cp1252);

// Picks an item of menu for owner as a user would: the item with the text
// (UTF-8, before a tab) or, for an empty text, the command, searched through
// the sub-menus; each sub-menu opened on the way sends owner WM_INITMENUPOPUP
// first. Answers the command, 0 when the item is disabled; fails the test and
// answers 0 when there is no such item.
win::UINT PickMenuItem(win::HMENU menu, win::HWND owner, const std::string& text, win::UINT command);

}  // namespace zettest
