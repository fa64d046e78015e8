// Document windows and their client driven headless: counted disabling,
// finding children by kind and name, the notices to the client, and the
// print jobs' spoolers made through doubles of the reports subsystem.
#include "runtime/toolkit/kxmdi.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/base/engassert.h"
#include "runtime/toolkit/tests/toolkit_ui.h"

using namespace kxmdi;

namespace {

// The client as the shell's base window meets it: it records the notices
// and answers "may this child close" with veto.
class TestClient : public TKxMdiClient {
 public:
  using TKxMdiClient::TKxMdiClient;
  bool Find(fw::TEventInfo& e) override {
    if (e.msg == WM_CHILDACTIVATED || e.msg == WM_CHILDDESTROYED || e.msg == WM_CHILDMAYCLOSE) {
      notices.push_back(std::to_string(e.msg) + " " + std::to_string(intptr_t(e.wParam)));
      e.result = e.msg == WM_CHILDMAYCLOSE ? veto : 1;
      return true;
    }
    return TKxMdiClient::Find(e);
  }
  std::vector<std::string> notices;
  win::LRESULT veto = 0;
};

struct FakeSpooler : TSpooler {
  explicit FakeSpooler(bool ready) : ready_(ready) {}
  bool Ready() const override { return ready_; }
  bool ready_;
};

// The reports subsystem's spoolers: each records what it was made with.
struct FakeMaker : TSpoolerMaker {
  std::unique_ptr<TSpooler> MakePrinterSpooler(const char* name, const char* file, kxobject::TKxPrinter&) override {
    return Made("printer " + std::string(name) + " '" + file + "'");
  }
  std::unique_ptr<TSpooler> MakeStreamSpooler(const char* name, const char* file, int type,
                                              kxobject::TKxPrinter&) override {
    return Made("stream " + std::string(name) + " " + file + " " + std::to_string(type));
  }
  TKxMdiChild* MakePreviewWindow(TKxMdiClient& client, const char* name) override {
    made.push_back("preview window");
    return new TKxMdiChild(&client, name, name, 101);
  }
  std::unique_ptr<TSpooler> MakeWindowSpooler(const char* name, TKxMdiChild& preview,
                                              kxobject::TKxPrinter&) override {
    return Made("preview " + std::string(name) + " in " + preview.GetCaption());
  }
  std::unique_ptr<TSpooler> Made(std::string what) {
    made.push_back(std::move(what));
    return std::make_unique<FakeSpooler>(ready);
  }
  std::vector<std::string> made;
  bool ready = true;
};

class kxmdi_test : public toolkittest::DialogTest {
 protected:
  void SetUp() override {
    DialogTest::SetUp();
    frame_ = new fw::TMDIFrame("Frame");
    frame_->Attr.X = 0, frame_->Attr.Y = 0, frame_->Attr.W = 500, frame_->Attr.H = 400;
    frame_->Attr.Style |= win::WS_VISIBLE;
    client_ = new TestClient(frame_);
    ASSERT_TRUE(frame_->Create());
    SetSpoolerMaker(&maker_);
  }
  void TearDown() override {
    SetSpoolerMaker(nullptr);
    delete frame_;
    DialogTest::TearDown();
  }
  TKxMdiChild* Child(const char* name, int16_t kind = 5) {
    auto* child = new TKxMdiChild(client_, name ? name : "Ohne", name, kind);
    EXPECT_TRUE(client_->AddChild(child));
    return child;
  }
  static bool Enabled(TKxMdiChild* c) { return win::IsWindowEnabled(c->GetHandle()); }
  static bool Maximized(TKxMdiChild* c) { return win::GetWindowLongPtr(c->GetHandle(), win::GWL_STYLE) & win::WS_MAXIMIZE; }

  fw::TMDIFrame* frame_ = nullptr;
  TestClient* client_ = nullptr;
  FakeMaker maker_;
};

TEST_F(kxmdi_test, DisablingCountsWithASignedCount) {
  struct Case {
    std::string steps;  // d: disable, e: enable
    bool enabled;
  };
  for (const Case& c : {Case{"dde", false}, Case{"ddee", true}, Case{"ed", true}, Case{"edd", false},
                        Case{"e", true}, Case{"d", false}}) {
    TKxMdiChild* child = Child("Kunden");
    for (char s : c.steps) child->EnableWindowCounted(s == 'e');
    EXPECT_EQ(Enabled(child), c.enabled) << c.steps;
    delete child;
  }
}

TEST_F(kxmdi_test, ChildrenAreFoundByKindAndNameIgnoringCase) {
  TKxMdiChild* unnamed = Child("");
  TKxMdiChild* customers = Child("Kunden");
  TKxMdiChild* other = Child("Kunden", 6);
  struct Case {
    int16_t kind;
    const char* name;
    TKxMdiChild* found;
  };
  for (const Case& c : {Case{5, "", nullptr}, Case{5, nullptr, unnamed}, Case{5, "KUNDEN", customers},
                        Case{6, "kunden", other}, Case{7, nullptr, nullptr}, Case{5, "Artikel", nullptr}})
    EXPECT_EQ(client_->FindChild(c.kind, c.name), c.found) << c.kind << " " << (c.name ? c.name : "null");
  char buffer[4];
  unnamed->GetName(buffer, 3);
  EXPECT_STREQ(buffer, "");
  customers->GetName(buffer, 3);
  EXPECT_STREQ(buffer, "Kun");
  customers->SetName("");
  EXPECT_EQ(client_->FindChild(5, nullptr), unnamed);  // still the first in order
}

TEST_F(kxmdi_test, TheClientHearsActivationClosingAndDestruction) {
  TKxMdiChild* a = Child("A", 5);
  TKxMdiChild* b = Child("B", 7);
  client_->notices.clear();
  Click(a->GetHandle(), 5, 5);  // told on the click and again on the activation
  EXPECT_EQ(client_->GetActiveMDIChild(), a);
  client_->veto = 1;
  win::SendMessage(a->GetHandle(), win::WM_CLOSE, 0, 0);
  EXPECT_TRUE(win::IsWindow(a->GetHandle()));  // 2026 answered 1 keeps it open
  client_->veto = 0;
  win::SendMessage(a->GetHandle(), win::WM_CLOSE, 0, 0);
  EXPECT_FALSE(a->GetHandle());
  const std::vector<std::string> expected = {"2024 5", "2024 5", "2026 5", "2026 5", "2025 5", "2024 7"};
  EXPECT_EQ(client_->notices, expected);
  EXPECT_EQ(client_->GetActiveMDIChild(), b);
}

TEST_F(kxmdi_test, SpoolersFollowTheDestinationAndFormat) {
  struct Case {
    int16_t destination, format;
    const char* file;
    std::vector<std::string> made;
  };
  const std::vector<Case> cases = {
      {3, 5, "X.DAT", {"stream Liste X.DAT 3"}},
      {3, 2, "X.TXT", {"stream Liste X.TXT 1"}},
      {3, 3, "X.TXT", {"stream Liste X.TXT 0"}},
      {3, 4, "X.HTM", {"stream Liste X.HTM 2"}},
      {3, 9, "X.TXT", {"stream Liste X.TXT 0"}},
      {3, 1, "X.PRD", {"printer Liste 'X.PRD'"}},
      {1, 4, "X.PRD", {"printer Liste ''"}},
      {3, 4, "", {"preview window", "preview Liste in Liste"}},
      {3, 4, nullptr, {"preview window", "preview Liste in Liste"}},
      {4, 4, "X.TXT", {}},
  };
  for (const Case& c : cases) {
    maker_.made.clear();
    TSpooler* s = client_->CreateSpooler(c.destination, "Liste", c.file, c.format);
    EXPECT_EQ(maker_.made, c.made) << c.destination << " " << c.format;
    EXPECT_EQ(s != nullptr, !c.made.empty());
    EXPECT_EQ(client_->Spooler.get(), s);
    if (s) client_->DeleteSpooler();
    EXPECT_FALSE(client_->Spooler);
    EXPECT_FALSE(client_->SpoolWnd);
  }
  EXPECT_THROW(client_->DeleteSpooler(), EAssertion);
}

TEST_F(kxmdi_test, APreviewDisablesTheOtherChildrenAndKeepsTheirZoom) {
  TKxMdiChild* a = Child("A");
  TKxMdiChild* b = Child("B");
  for (bool zoomed : {true, false}) {
    if (zoomed) win::SendMessage(client_->GetHandle(), win::WM_MDIMAXIMIZE, win::WPARAM(b->GetHandle().id), 0);
    else win::SendMessage(client_->GetHandle(), win::WM_MDIRESTORE, win::WPARAM(b->GetHandle().id), 0);
    a->EnableWindowCounted(false);  // someone else's disable stays
    ASSERT_TRUE(client_->CreateSpooler(2, "Vorschau", "", 3));
    TKxMdiChild* preview = client_->SpoolWnd;
    EXPECT_EQ(client_->GetActiveMDIChild(), preview);
    EXPECT_TRUE(Maximized(preview));
    EXPECT_TRUE(Enabled(preview));
    EXPECT_FALSE(Enabled(a));
    EXPECT_FALSE(Enabled(b));
    EXPECT_EQ(client_->ActiveWasZoomed, zoomed);
    client_->DeleteSpooler();
    EXPECT_EQ(client_->GetActiveMDIChild(), b);
    EXPECT_EQ(Maximized(b), zoomed);
    EXPECT_TRUE(Enabled(b));
    EXPECT_FALSE(Enabled(a));
    a->EnableWindowCounted(true);
    EXPECT_TRUE(Enabled(a));
  }
}

TEST_F(kxmdi_test, AFailingSpoolerLeavesNothingBehind) {
  TKxMdiChild* a = Child("A");
  maker_.ready = false;
  EXPECT_FALSE(client_->CreateSpooler(2, "Vorschau", "", 3));
  EXPECT_FALSE(client_->SpoolWnd);
  EXPECT_FALSE(client_->Spooler);
  EXPECT_TRUE(Enabled(a));
  EXPECT_FALSE(Maximized(a));
  EXPECT_EQ(client_->GetActiveMDIChild(), a);
  EXPECT_FALSE(client_->CreateSpooler(3, "Datei", "X.TXT", 3));
  EXPECT_FALSE(client_->Spooler);
}

TEST_F(kxmdi_test, TheBasePrintSaysTheWindowCannotBePrinted) {
  TKxMdiChild* a = Child("A");
  Answers().MessageBox(win::IDOK);
  a->Print(0, "Drucken");
  EXPECT_EQ(Answers().Log(),
            std::vector<std::string>{"Drucken: Inhalt dieses Fensters kann nicht gedruckt werden."});
}

}  // namespace
