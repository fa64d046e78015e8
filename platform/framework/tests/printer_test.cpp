// The framework's printer headless: the print and set-up questions answered by
// a script, print-outs run page by page onto a test printer, the abort
// window's Cancel pumped in between pages, failures reported.
#include <gtest/gtest.h>

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "platform/framework/application.h"
#include "platform/framework/printer.h"
#include "platform/print/job.h"
#include "platform/testing/ui.h"

namespace {

using namespace win;
using platform::print::PrinterKind;

// Answers the print questions from a queue and every message box with OK;
// keeps what was asked.
class PrintAnswers : public dialogs::InteractionProvider {
 public:
  void MessageBox(dialogs::MessageBoxRequest& r) override {
    boxes.push_back(r.caption + ": " + r.text);
    r.answer = IDOK;
  }
  void PrintDialog(dialogs::PrintDialogRequest& r) override {
    asked.push_back(r);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected print question";
      return;
    }
    answers.front()(r);
    answers.pop_front();
  }
  std::deque<std::function<void(dialogs::PrintDialogRequest&)>> answers;
  std::vector<dialogs::PrintDialogRequest> asked;
  std::vector<std::string> boxes;
};

// Chooses the test printer and, with a range, prints only those pages.
std::function<void(dialogs::PrintDialogRequest&)> Choose(int from = 0, int to = 0) {
  return [=](dialogs::PrintDialogRequest& r) {
    r.driver = "qmktest", r.device = "Testdrucker", r.output = "TEST:";
    r.devMode.dmOrientation = DMORIENT_LANDSCAPE;
    if (from) r.flags |= PD_PAGENUMS, r.fromPage = from, r.toPage = to;
    r.answer = true;
  };
}

class Pages : public fw::TPrintout {
 public:
  Pages(int count, std::function<void(int)> during = {}) : TPrintout("Bericht"), count_(count), during_(during) {}
  bool HasPage(int page) override { return page >= 1 && page <= count_; }
  void GetDialogInfo(int& minPage, int& maxPage, int& fromPage, int& toPage) override {
    minPage = fromPage = 1, maxPage = toPage = count_;
  }
  void PrintPage(int page, RECT& rect, unsigned) override {
    printed.push_back(page);
    pageRect = rect;
    GetDC()->TextOut(10, 10, "Seite " + std::to_string(page));
    if (during_) during_(page);
  }
  std::vector<int> printed;
  RECT pageRect{};

 private:
  int count_;
  std::function<void(int)> during_;
};

// Keeps the abort window it makes, for a test to press its Cancel.
class Printer : public fw::TPrinter {
 public:
  std::unique_ptr<fw::TWindow> CreateAbortWindow(fw::TWindow* parent, fw::TPrintout& printout) override {
    auto w = TPrinter::CreateAbortWindow(parent, printout);
    abortWindow = w.get();
    return w;
  }
  fw::TWindow* abortWindow = nullptr;
};

class PrinterTest : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    dialogs::SetInteractionProvider(&answers_);
    platform::print::AddTestPrinter({"Testdrucker", "", "", PrinterKind::kTestMetafiles, 100, {}, 0, 0, 0, 0});
    platform::print::ClearTestJobs();
    frame_.Create();
  }
  void TearDown() override {
    dialogs::SetInteractionProvider(&Answers());
    platform::print::RemoveTestPrinters();
    UiTest::TearDown();
  }
  // The texts of each page of the last test job.
  static std::vector<std::string> PageTexts() {
    std::vector<std::string> texts;
    const auto& job = platform::print::TestJobs().back();
    const auto printer = platform::print::FindPrinter(job.printer);
    for (const auto& page : job.pages)
      for (const auto& t : platform::print::PageTexts(page, platform::print::PrinterCaps(*printer, nullptr)))
        texts.push_back(t.text);
    return texts;
  }
  PrintAnswers answers_;
  fw::TApplication app_{"Test"};
  fw::TWindow frame_{nullptr, "Rahmen"};
};

TEST_F(PrinterTest, PrintAsksThenPrintsTheChosenPagesInOrder) {
  struct Case {
    const char* name;
    std::function<void(dialogs::PrintDialogRequest&)> answer;
    bool printed;
    std::vector<int> pages;
  };
  const Case cases[] = {
      {"cancelled", [](dialogs::PrintDialogRequest&) {}, false, {}},
      {"all pages", Choose(), true, {1, 2, 3}},
      {"from 2 to 3", Choose(2, 3), true, {2, 3}},
      {"beyond the last page", Choose(2, 9), true, {2, 3}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    platform::print::ClearTestJobs();
    Printer printer;
    printer.Flags = PD_PRINTSETUP;  // left over from a set-up question
    answers_.answers.push_back(c.answer);
    Pages pages(3);
    EXPECT_EQ(printer.Print(&frame_, pages, true), c.printed);
    EXPECT_EQ(pages.printed, c.pages);
    EXPECT_EQ(answers_.asked.back().flags & PD_PRINTSETUP, 0u);
    EXPECT_EQ(answers_.asked.back().minPage, 1);
    EXPECT_EQ(answers_.asked.back().maxPage, 3);
    EXPECT_EQ(answers_.asked.back().device, "QMK PDF");
    if (!c.printed) {
      EXPECT_TRUE(platform::print::TestJobs().empty());
      EXPECT_EQ(printer.Device, "QMK PDF");
      continue;
    }
    ASSERT_EQ(platform::print::TestJobs().size(), 1u);
    EXPECT_TRUE(platform::print::TestJobs()[0].finished);
    EXPECT_EQ(platform::print::TestJobs()[0].docName, "Bericht");
    std::vector<std::string> expected;
    for (int p : c.pages) expected.push_back("Seite " + std::to_string(p));
    EXPECT_EQ(PageTexts(), expected);
    // The chosen printer's landscape A4 at 100 dpi is the page.
    EXPECT_EQ(printer.Device, "Testdrucker");
    EXPECT_EQ(pages.pageRect, (RECT{0, 0, 1169, 827}));
  }
  EXPECT_TRUE(answers_.boxes.empty());
}

TEST_F(PrinterTest, CancelInTheAbortWindowEndsTheJobWithoutOutput) {
  Printer printer;
  ASSERT_EQ(printer.Device, "QMK PDF");
  printer.SetPrinter("qmktest", "Testdrucker", "TEST:");
  bool frameDisabled = false;
  Pages pages(3, [&](int page) {
    frameDisabled = !IsWindowEnabled(frame_.GetHandle());
    ASSERT_TRUE(printer.abortWindow && IsWindow(printer.abortWindow->GetHandle()));
    // Pressed while page 2 is drawn: seen by the abort procedure when the
    // page ends, through the pumped queue.
    if (page == 2) PostMessage(printer.abortWindow->GetHandle(), WM_COMMAND, IDCANCEL, 0);
  });
  EXPECT_FALSE(printer.Print(&frame_, pages, false));
  EXPECT_EQ(printer.Error, SP_APPABORT);
  EXPECT_EQ(pages.printed, (std::vector<int>{1, 2}));
  EXPECT_TRUE(frameDisabled);
  EXPECT_TRUE(IsWindowEnabled(frame_.GetHandle()));
  ASSERT_EQ(platform::print::TestJobs().size(), 1u);
  EXPECT_TRUE(platform::print::TestJobs()[0].aborted);
  EXPECT_FALSE(platform::print::TestJobs()[0].finished);
  EXPECT_FALSE(printer.UserAbort);
  EXPECT_TRUE(answers_.boxes.empty());  // the user's own cancel is no error

  // Closing the abort window asks the same; the next job starts afresh.
  platform::print::ClearTestJobs();
  Pages closed(3, [&](int page) {
    if (page == 1) PostMessage(printer.abortWindow->GetHandle(), WM_CLOSE, 0, 0);
  });
  EXPECT_FALSE(printer.Print(&frame_, closed, false));
  EXPECT_EQ(closed.printed, (std::vector<int>{1}));
  Pages again(2);
  EXPECT_TRUE(printer.Print(&frame_, again, false));
  EXPECT_EQ(again.printed, (std::vector<int>{1, 2}));
}

TEST_F(PrinterTest, AFailedJobIsReported) {
  Printer printer;
  printer.SetPrinter("qmktest", "Kein Drucker", "TEST:");
  EXPECT_FALSE(printer.DevMode);
  Pages pages(2);
  EXPECT_FALSE(printer.Print(&frame_, pages, false));
  EXPECT_EQ(printer.Error, SP_ERROR);
  EXPECT_TRUE(pages.printed.empty());
  EXPECT_EQ(answers_.boxes, (std::vector<std::string>{"Drucken: Das Dokument \"Bericht\" konnte nicht gedruckt werden."}));
}

TEST_F(PrinterTest, SetupAsksTheSetUpQuestionAndKeepsOnlyAnOkAnswer) {
  Printer printer;
  answers_.answers.push_back([](dialogs::PrintDialogRequest&) {});
  EXPECT_FALSE(printer.Setup(&frame_));
  EXPECT_EQ(printer.Device, "QMK PDF");
  EXPECT_EQ(printer.DevMode->dmOrientation, DMORIENT_PORTRAIT);
  answers_.answers.push_back(Choose());
  EXPECT_TRUE(printer.Setup(&frame_));
  ASSERT_EQ(answers_.asked.size(), 2u);
  for (const auto& r : answers_.asked) {
    EXPECT_EQ(r.flags & PD_PRINTSETUP, PD_PRINTSETUP);
    EXPECT_EQ(r.owner, frame_.GetHandle());
  }
  EXPECT_EQ(printer.Device, "Testdrucker");
  EXPECT_EQ(printer.Driver, "qmktest");
  EXPECT_EQ(printer.Output, "TEST:");
  EXPECT_EQ(printer.DevMode->dmOrientation, DMORIENT_LANDSCAPE);
}

}  // namespace
