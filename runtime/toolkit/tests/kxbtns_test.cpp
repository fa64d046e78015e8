// The frame routine, the bitmap buttons, the list moves and the bitmap
// control: on plain lists and bitmaps, and driven headless as windows.
#include "runtime/toolkit/kxbtns.h"

#include <gtest/gtest.h>

#include <set>

#include "platform/clipboard.h"
#include "platform/gdi/clipobjects.h"
#include "platform/testing/golden.h"
#include "platform/testing/ui.h"
#include "runtime/toolkit/kxbmctl.h"

namespace {

using namespace kxctl;
using win::RGB;

constexpr win::COLORREF kFace = RGB(192, 192, 192);
constexpr win::COLORREF kGreyKey = RGB(128, 128, 128);
constexpr win::COLORREF kRed = RGB(255, 0, 0);

std::shared_ptr<win::Bitmap> Solid(int w, int h, win::COLORREF c) {
  auto b = win::Bitmap::Create(w, h, 32);
  b->Fill(win::ToPixel(c));
  return b;
}

// --- DrawFrame ---

TEST(DrawFrame, RaisedSunkenAndOtherStatesPaintTheirLines) {
  struct Case {
    int16_t state;
    // top-left corner, bottom-left, inner shadow pixel at (1, 4), bottom-right (8, 5) and the corner (8, 0)
    win::COLORREF topLeft, bottomLeft, inner, bottomRight, rightTop;
  };
  constexpr win::COLORREF W = RGB(255, 255, 255), B = RGB(0, 0, 0), G = RGB(128, 128, 128), N = RGB(0, 255, 0);
  const Case cases[] = {
      {1, W, B, G, B, N}, {2, W, B, G, B, N}, {0, B, W, G, W, N}, {3, B, W, G, W, N}, {4, N, N, N, N, N},
  };
  for (const Case& c : cases) {
    win::Dc dc(Solid(9, 6, N));
    DrawFrame({0, 0, 9, 6, c.state}, dc);
    EXPECT_EQ(dc.GetPixel(0, 0), c.topLeft) << c.state;
    EXPECT_EQ(dc.GetPixel(0, 5), c.bottomLeft) << c.state;
    EXPECT_EQ(dc.GetPixel(c.state == 0 || c.state == 3 ? 1 : 4, 4), c.inner) << c.state;
    EXPECT_EQ(dc.GetPixel(8, 4), c.bottomRight) << c.state;
    EXPECT_EQ(dc.GetPixel(8, 0), c.rightTop) << c.state;  // the last pixel of both lines stays
  }
}

// --- the list moves on plain lists ---

class ListSide : public TListSide {
 public:
  ListSide(std::vector<std::string> items, std::set<int> selected, bool sorted = false)
      : items_(std::move(items)), selected_(std::move(selected)), sorted_(sorted) {}
  int Count() const override { return int(items_.size()); }
  std::string Text(int i) const override { return items_.at(size_t(i)); }
  std::vector<int> Selected() const override { return {selected_.begin(), selected_.end()}; }
  void Insert(int i, const std::string& t) override {
    if (i < 0) i = Count();
    items_.insert(items_.begin() + i, t);
    Shift(i, +1);
  }
  void Add(const std::string& t) override {
    int i = Count();
    if (sorted_) i = int(std::upper_bound(items_.begin(), items_.end(), t) - items_.begin());
    Insert(i, t);
  }
  void Delete(int i) override {
    items_.erase(items_.begin() + i);
    selected_.erase(i);
    Shift(i, -1);
  }
  void Clear() override { items_.clear(), selected_.clear(); }
  void SelectOnly(int i) override { selected_ = {i}; }
  void AddToSelection(int i) override { selected_.insert(i); }
  std::string Show() const {
    std::string s;
    for (int i = 0; i < Count(); ++i) s += (selected_.count(i) ? "*" : "") + items_[size_t(i)] + "|";
    return s;
  }

 private:
  void Shift(int from, int by) {
    std::set<int> moved;
    for (int s : selected_) moved.insert(s >= from ? s + by : s);
    selected_ = moved;
  }
  std::vector<std::string> items_;
  std::set<int> selected_;
  bool sorted_;
};

TEST(ListMoves, MoveEntriesAndLeaveTheSelectionsAsTheButtonsSay) {
  struct Case {
    const char* name;
    TListMove move;
    std::vector<std::string> source;
    std::set<int> sourceSel;
    std::vector<std::string> target;
    std::set<int> targetSel;
    const char* sourceAfter;
    const char* targetAfter;
  };
  const Case cases[] = {
      {"insert at the selected target entry, which stays selected after them", TListMove::Insert,
       {"a", "b", "c", "d"}, {1, 3}, {"x", "y", "z", ""}, {2}, "a|*c|", "x|y|b|d|*z||"},
      {"insert without a target selection goes to the top", TListMove::Insert, {"a", "b"}, {1}, {""}, {},
       "*a|", "b|*|"},
      {"insert of the last source entry selects the new last", TListMove::Insert, {"a", "b"}, {1}, {"x", ""}, {1},
       "*a|", "x|b|*|"},
      {"insert with nothing selected in the source moves nothing", TListMove::Insert, {"a"}, {}, {""}, {0}, "a|",
       "*|"},
      {"insert all goes in front of the insertion mark", TListMove::InsertAll, {"a", "b"}, {}, {"x", ""}, {},
       "", "*x|a|b||"},
      {"delete moves the selected entries back, sorted", TListMove::Delete, {"a", "d"}, {}, {"c", "b", ""}, {0, 1},
       "a|b|c|d|", "*|"},
      {"delete with only the insertion mark selected moves nothing", TListMove::Delete, {"a"}, {}, {"x", ""}, {1},
       "a|", "x|*|"},
      {"delete of the last entries selects the one before", TListMove::Delete, {}, {}, {"x", "y", ""}, {1},
       "y|", "x|*|"},
      {"delete all keeps one insertion mark", TListMove::DeleteAll, {"a"}, {}, {"c", "", "b", ""}, {},
       "*a|b|c|", "|"},
      {"delete all of an empty target leaves it", TListMove::DeleteAll, {}, {}, {""}, {0}, "", "*|"},
  };
  for (const Case& c : cases) {
    ListSide source(c.source, c.sourceSel, true), target(c.target, c.targetSel);
    MoveListEntries(c.move, source, target);
    EXPECT_EQ(source.Show(), c.sourceAfter) << c.name;
    EXPECT_EQ(target.Show(), c.targetAfter) << c.name;
  }
}

// --- windows ---

class Host : public fw::TWindow {
 public:
  Host() : TWindow(nullptr, "Spalten") {
    Attr.Style = win::WS_POPUP | win::WS_VISIBLE;
    Attr.X = 20, Attr.Y = 20, Attr.W = 320, Attr.H = 240;
  }
};

class kxbtns_ui : public zettest::UiTest {
 protected:
  void SetUp() override {
    UiTest::SetUp();
    host = std::make_unique<Host>();
  }
  void TearDown() override {
    host.reset();
    UiTest::TearDown();
  }
  std::unique_ptr<Host> host;
};

// A bitmap of grey with a red middle: the grey is its transparent colour.
std::unique_ptr<kxobject::TKxBitmap> GreyKeyedBitmap() {
  auto b = Solid(7, 5, kGreyKey);
  for (int y = 1; y < 4; ++y)
    for (int x = 2; x < 5; ++x) b->Set(x, y, win::ToPixel(kRed));
  return std::make_unique<kxobject::TKxBitmap>(b);
}

TEST_F(kxbtns_ui, TheBitmapShowsTheFaceThroughItsTopLeftColourAndShiftsWhenPressed) {
  auto* button = new TBitmapButton(host.get(), 300, "&Weiter", 10, 10, 27, 25, 0, false);
  button->Bitmap = GreyKeyedBitmap();
  const auto before = *button->Bitmap->Bitmap;
  ASSERT_TRUE(host->Create());
  EXPECT_EQ(win::GetWindowLongPtr(button->GetHandle(), win::GWL_STYLE) & win::BS_TYPEMASK, 0xB);
  struct Case {
    bool pressed;
    int redX, redY;  // the bitmap's red top-left inside the button: centred, +2 when pressed
    const char* golden;
  } cases[] = {{false, 10 + 2, 10 + 1, "bitmapbutton_raised"}, {true, 12 + 2, 12 + 1, "bitmapbutton_pressed"}};
  for (const auto& c : cases) {
    button->SendMessage(win::BM_SETSTATE, c.pressed);
    const auto shot = win::Snapshot(button->GetHandle());
    ASSERT_TRUE(shot);
    EXPECT_EQ(win::ToColor(shot->Get(c.redX, c.redY)), kRed) << c.golden;
    EXPECT_EQ(win::ToColor(shot->Get(c.redX - 1, c.redY)), kFace) << c.golden;  // grey shows the face
    EXPECT_TRUE(MatchesWindowGolden(button->GetHandle(), ZET_TOOLKIT_TESTS_DIR, c.golden));
  }
  for (int y = 0; y < before.Height(); ++y)
    for (int x = 0; x < before.Width(); ++x) ASSERT_EQ(button->Bitmap->Bitmap->Get(x, y), before.Get(x, y));
}

TEST_F(kxbtns_ui, ADoubleClickIsASecondPressAndAButtonWithoutBitmapDrawsFaceAndFrame) {
  auto* button = new TBitmapButton(host.get(), 300, "x", 10, 10, 30, 20, 0, false);
  ASSERT_TRUE(host->Create());
  EXPECT_EQ(button->Bitmap, nullptr);
  auto& spy = Spy(host->GetHandle());
  Click(button->GetHandle(), 5, 5);
  Clock().Advance(100);
  Click(button->GetHandle(), 5, 5);
  int clicks = 0;
  for (const auto& m : spy.Entries())
    if (m.message == win::WM_COMMAND && win::HIWORD(m.wParam) == win::BN_CLICKED) ++clicks;
  EXPECT_EQ(clicks, 2);
  const auto shot = win::Snapshot(button->GetHandle());
  EXPECT_EQ(win::ToColor(shot->Get(15, 10)), kFace);
  EXPECT_EQ(win::ToColor(shot->Get(0, 10)), RGB(255, 255, 255));
}

TEST_F(kxbtns_ui, TheInsertButtonMovesBetweenRealListBoxesAndTheResourceArrowsLoad) {
  auto* source = new fw::TListBox(host.get(), 100, 10, 10, 100, 120);
  auto* target = new fw::TListBox(host.get(), 101, 180, 10, 100, 120);
  auto* insert = new TInsertButton(host.get(), 102, ">", 130, 10, 25, 25, 8000, false);
  auto* all = new TDeleteAllButton(host.get(), 103, "<<", 130, 40, 25, 25, 8005, false);
  insert->SourceList = all->SourceList = source;
  insert->TargetList = all->TargetList = target;
  ASSERT_TRUE(host->Create());
  ASSERT_TRUE(insert->Bitmap && insert->Bitmap->Bitmap);
  EXPECT_EQ(insert->Bitmap->Bitmap->Width(), 13);
  for (const char* t : {"Name", "Ort", "PLZ"}) source->AddString(t);
  for (const char* t : {"Nr", "Anrede", "Titel", ""}) target->AddString(t);
  source->SetSelIndex(1);
  target->SetSelIndex(2);
  Click(insert->GetHandle(), 3, 3);
  EXPECT_EQ(target->GetString(2), "Ort");
  EXPECT_EQ(target->GetSelIndex(), 3);
  EXPECT_EQ(target->GetString(3), "Titel");
  EXPECT_EQ(source->GetCount(), 2);
  EXPECT_EQ(source->GetSelIndex(), 1);
  EXPECT_TRUE(MatchesWindowGolden(insert->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "insertbutton_8000"));
  Click(all->GetHandle(), 3, 3);
  EXPECT_EQ(target->GetCount(), 1);
  EXPECT_EQ(target->GetString(0), "");
  EXPECT_EQ(source->GetCount(), 6);
}

// --- the bitmap control ---

TEST_F(kxbtns_ui, TheBitmapControlDrawsByItsModeAndAnEmptyBitmapDrawsNothing) {
  struct Case {
    const char* name;
    int w, h;  // the bitmap
    int16_t mode;
    win::RECT red;  // where it lands in the 200 x 200 control; empty: nowhere
  } cases[] = {
      {"natural, centred", 100, 50, 0, {50, 75, 150, 125}},
      {"natural, larger: from the corner, clipped", 300, 50, 0, {0, 75, 200, 125}},
      {"fit: 100 x 50 drawn 200 x 100 at the top", 100, 50, 1, {0, 0, 200, 100}},
      {"fit: tall", 50, 100, 1, {0, 0, 100, 200}},
      {"stretched", 10, 10, 2, {0, 0, 200, 200}},
      {"empty bitmap", 0, 0, 1, {}},
  };
  auto* control = new TBitmapCtl(host.get(), 400, 10, 10, 200, 200, nullptr);
  ASSERT_TRUE(host->Create());
  for (const auto& c : cases) {
    auto bitmap = std::make_unique<kxobject::TKxBitmap>(win::BITMAP{0, c.w, c.h, 0, 1, 32});
    if (bitmap->Bitmap) bitmap->Bitmap->Fill(win::ToPixel(kRed));
    control->SetBitmap(std::move(bitmap), true);
    control->SetDisplayMode(c.mode);
    const auto shot = win::Snapshot(control->GetHandle());
    ASSERT_TRUE(shot);
    win::RECT found{200, 200, 0, 0};
    for (int y = 0; y < 200; ++y)
      for (int x = 0; x < 200; ++x)
        if (win::ToColor(shot->Get(x, y)) == kRed)
          found = {std::min(found.left, x), std::min(found.top, y), std::max(found.right, x + 1),
                   std::max(found.bottom, y + 1)};
    if (c.red == win::RECT{}) EXPECT_EQ(found, (win::RECT{200, 200, 0, 0})) << c.name;
    else EXPECT_EQ(found, c.red) << c.name;
  }
}

TEST_F(kxbtns_ui, TheBitmapControlExchangesItsBitmapWithTheClipboard) {
  auto* control = new TBitmapCtl(host.get(), 400, 10, 10, 100, 80, std::make_unique<kxobject::TKxBitmap>(Solid(20, 10, kRed)));
  ASSERT_TRUE(host->Create());
  win::SIZE size;
  control->GetBitmapSize(size);
  EXPECT_EQ(size, (win::SIZE{20, 10}));
  ASSERT_TRUE(control->CopyToClipboard());
  ASSERT_NE(control->GetBitmap(), nullptr);
  ASSERT_TRUE(control->CutToClipboard());
  EXPECT_EQ(control->GetBitmap(), nullptr);
  EXPECT_FALSE(control->CopyToClipboard());
  EXPECT_FALSE(control->CutToClipboard());
  const auto face = win::Snapshot(control->GetHandle());
  EXPECT_EQ(win::ToColor(face->Get(50, 40)), kFace);
  // Another program puts a bitmap of another size there; natural mode centres it.
  ASSERT_TRUE(win::OpenClipboard(0));
  ASSERT_TRUE(win::SetClipboardBitmap(Solid(40, 20, RGB(0, 0, 255))));
  win::CloseClipboard();
  ASSERT_TRUE(control->PasteFromClipboard());
  control->GetBitmapSize(size);
  EXPECT_EQ(size, (win::SIZE{40, 20}));
  const auto shot = win::Snapshot(control->GetHandle());
  EXPECT_EQ(win::ToColor(shot->Get(30, 30)), RGB(0, 0, 255));
  EXPECT_EQ(win::ToColor(shot->Get(29, 30)), kFace);
  // The clipboard keeps its own: changing the control's changes nothing there.
  control->GetBitmap()->Bitmap->Fill(win::ToPixel(kRed));
  ASSERT_TRUE(win::OpenClipboard(0));
  EXPECT_EQ(win::ToColor(win::GetClipboardBitmap()->Get(0, 0)), RGB(0, 0, 255));
  win::EmptyClipboard();
  win::CloseClipboard();
  EXPECT_FALSE(control->PasteFromClipboard());
  EXPECT_NE(control->GetBitmap(), nullptr);
  control->SetDisplayMode(1);
  control->Invalidate();
  EXPECT_TRUE(MatchesWindowGolden(control->GetHandle(), ZET_TOOLKIT_TESTS_DIR, "bitmapctl_fit"));
}

}  // namespace

// --- the bitmap list box ---

TEST_F(kxbtns_ui, ABitmapListBoxNotifiesADragOnceFromSixPixels) {
  auto* list = new TBmListBox(host.get(), 500, 10, 10, 150, 100, false);
  ASSERT_TRUE(host->Create());
  EXPECT_EQ(win::GetWindowLongPtr(list->GetHandle(), win::GWL_STYLE) & 0x62, 0x60);
  list->AddItem(nullptr, "Kunden");
  auto& spy = Spy(host->GetHandle());
  const auto drags = [&] {
    int n = 0;
    for (const auto& m : spy.Entries())
      if (m.message == win::WM_COMMAND && m.wParam == win::MAKEWPARAM(500, TBmListBox::kDragNotification)) ++n;
    return n;
  };
  const auto at = [&](int x, int y) {
    win::POINT p{x, y};
    win::ClientToScreen(list->GetHandle(), &p);
    return p;
  };
  struct Step {
    int x, y;
    int button;  // 1 press, -1 release, 0 move
    int drags;   // notifications so far
  } steps[] = {{10, 5, 1, 0}, {15, 5, 0, 0}, {10, 10, 0, 0}, {16, 5, 0, 1}, {40, 40, 0, 1}, {40, 40, -1, 1},
               {10, 5, 1, 1}, {10, 11, 0, 2}, {10, 30, 0, 2}};
  for (const Step& s : steps) {
    if (s.button > 0) Clock().Advance(1000);  // a press, not a double click
    win::InjectMouse(at(s.x, s.y), s.button ? win::MouseButton::kLeft : win::MouseButton::kNone, s.button > 0);
    Settle();
    EXPECT_EQ(drags(), s.drags) << s.x << "," << s.y;
  }
  EXPECT_EQ(list->DownPos, (win::POINT{-1, -1}));
}

TEST_F(kxbtns_ui, BitmapListEntriesKeepTheirBitmapsWhichDieWithThemOnlyWhenOwned) {
  auto* shared = new TBmListBox(host.get(), 500, 10, 10, 150, 100, false);
  auto* owning = new TBmListBox(host.get(), 501, 170, 10, 140, 100, true);
  ASSERT_TRUE(host->Create());
  kxobject::TKxBitmap mine(Solid(8, 12, kRed));
  EXPECT_EQ(shared->AddItem(&mine, "Bild"), 0);
  EXPECT_EQ(shared->InsertItem(nullptr, "Text", 0), 0);
  EXPECT_EQ(shared->SetItemText("Foto", 1), 1);
  kxobject::TKxBitmap* got = nullptr;
  std::string text;
  EXPECT_EQ(shared->GetItem(got, text, 1), 4);
  EXPECT_EQ(got, &mine);
  EXPECT_EQ(text, "Foto");
  EXPECT_GE(shared->DeleteString(1), 0);
  EXPECT_EQ(mine.Bitmap->Width(), 8);  // still alive: the list did not own it
  EXPECT_LT(shared->DeleteString(5), 0);
  // Owned bitmaps die with their entries, the cleared list and the window (the leak check sees them).
  for (const char* t : {"a", "b", "c"}) owning->AddItem(new kxobject::TKxBitmap(Solid(4, 4, kRed)), t);
  EXPECT_GE(owning->DeleteString(0), 0);
  owning->ClearList();
  EXPECT_EQ(owning->GetCount(), 0);
  owning->AddItem(new kxobject::TKxBitmap(Solid(4, 4, kRed)), "d");
}

TEST_F(kxbtns_ui, BitmapListEntriesAreMeasuredByTheirBitmaps) {
  auto* list = new TBmListBox(host.get(), 500, 10, 10, 150, 100, true);
  ASSERT_TRUE(host->Create());
  list->AddItem(new kxobject::TKxBitmap(Solid(8, 12, kRed)), "Bild");
  list->AddItem(nullptr, "Text");
  kxobject::TKxBitmap pending(Solid(8, 30, kRed)), empty(win::BITMAP{});
  struct Case {
    const char* name;
    std::optional<kxobject::TKxBitmap*> pending;
    int index, height;
  } cases[] = {
      {"being added with a bitmap", &pending, 1, 30},
      {"being added without pixels: measured by the entry", &empty, 0, 22},
      {"an entry with a bitmap", std::nullopt, 0, 22},
      {"an entry without one", std::nullopt, 1, 21},
      {"no entry", std::nullopt, -1, 21},
  };
  for (const Case& c : cases) {
    list->PendingBitmap = c.pending;
    win::MEASUREITEMSTRUCT m;
    m.itemID = win::UINT(c.index);
    list->MeasureItem(m);
    EXPECT_EQ(m.itemWidth, 100u) << c.name;
    EXPECT_EQ(int(m.itemHeight), c.height) << c.name;
  }
  list->PendingBitmap.reset();
}

// A bitmap list box that records what its parent asks of it.
class RecordingBmList : public TBmListBox {
 public:
  using TBmListBox::TBmListBox;
  void MeasureItem(win::MEASUREITEMSTRUCT& item) override {
    measured.push_back(int(item.itemID));
    TBmListBox::MeasureItem(item);
  }
  void DrawItem(win::DRAWITEMSTRUCT& item) override {
    drawn.push_back({int(item.itemID), item.itemState & win::ODS_SELECTED, item.rcItem.bottom - item.rcItem.top});
    TBmListBox::DrawItem(item);
  }
  struct Drawn {
    int index;
    unsigned selected;
    int height;
    bool operator==(const Drawn&) const = default;
  };
  std::vector<int> measured;
  std::vector<Drawn> drawn;
};

TEST_F(kxbtns_ui, TheWindowMeasuresEachEntryOnceAndDrawsTheSelectionSelected) {
  auto* list = new RecordingBmList(host.get(), 500, 10, 10, 150, 100, true);
  ASSERT_TRUE(host->Create());
  list->AddItem(new kxobject::TKxBitmap(Solid(10, 16, kRed)), "Kunden");
  list->AddItem(nullptr, "Artikel");
  list->AddItem(new kxobject::TKxBitmap(Solid(10, 30, RGB(0, 0, 255))), "Lager");
  EXPECT_EQ(list->measured, (std::vector<int>{0, 1, 2}));
  list->SetSelIndex(1);
  list->drawn.clear();
  list->Invalidate();
  list->UpdateWindow();
  EXPECT_EQ(list->drawn, (std::vector<RecordingBmList::Drawn>{{0, 0, 16}, {1, win::ODS_SELECTED, 21}, {2, 0, 30}}));
  // What the rows drew, read from the host's surface: the first bitmap, the selected row's highlight.
  win::RECT wr, hr;
  win::GetWindowRect(list->GetHandle(), &wr);
  win::GetWindowRect(host->GetHandle(), &hr);
  const auto surface = win::WindowSurface(host->GetHandle());
  const auto pixel = [&](int x, int y) { return win::ToColor(surface->Get(wr.left - hr.left + x, wr.top - hr.top + y)); };
  EXPECT_EQ(pixel(5, 3), kRed);
  EXPECT_EQ(pixel(40, 20), win::GetSysColor(win::COLOR_HIGHLIGHT));
}

TEST_F(kxbtns_ui, ASelectedBitmapEntryDrawsItsBitmapBesideItsHighlightedText) {
  auto* list = new TBmListBox(host.get(), 500, 10, 10, 150, 100, true);
  ASSERT_TRUE(host->Create());
  list->AddItem(new kxobject::TKxBitmap(Solid(10, 10, kRed)), "Kunden");
  auto surface = Solid(120, 20, RGB(255, 255, 255));
  win::Dc dc(surface);
  dc.SelectFont(win::SystemFont());
  win::DRAWITEMSTRUCT item;
  item.hDC = &dc;
  item.rcItem = {0, 0, 120, 20};
  item.itemState = win::ODS_SELECTED | win::ODS_FOCUS;
  item.itemID = 0;
  list->DrawItem(item);
  // c = 8: the bitmap at x 4, centred in y; the text part from 10 + 8.
  EXPECT_EQ(dc.GetPixel(4, 5), kRed);
  EXPECT_EQ(dc.GetPixel(3, 5), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(17, 10), RGB(255, 255, 255));
  EXPECT_EQ(dc.GetPixel(19, 1), win::GetSysColor(win::COLOR_HIGHLIGHT));
  EXPECT_TRUE(zettest::MatchesGolden(*surface, std::string(ZET_TOOLKIT_TESTS_DIR) + "/goldens/bmlistbox_item.png"));
}
