// The menu, accelerator and tool-bar filters of a form: their records at
// every version, hostile records, the menu paths, the rebuilt menu, the
// accelerator table and key texts, and the rebuilt tool bar.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/win/accel.h"
#include "platform/win/menu.h"
#include "runtime/forms/accfilt.h"
#include "runtime/forms/menufilt.h"
#include "runtime/forms/toolfilt.h"
#include "runtime/toolkit/kxstring.h"

namespace {

using forms::TAccelDef;
using forms::TAccelFilter;
using forms::TMenuFilter;
using forms::TMenuIterator;
using forms::TToolbarFilter;
using kxobject::TMemStream;
using win::HMENU;

template <class Filter>
std::string Bytes(const Filter& filter) {
  TMemStream out(0, 256);
  filter.Write(out);
  return std::string(reinterpret_cast<const char*>(out.Block->Data), size_t(out.Size));
}

TMemStream StreamOf(const std::string& bytes) {
  TMemStream in(0, 256);
  in.WriteHuge(bytes.data(), uint32_t(bytes.size()));
  in.Seek(0);
  return in;
}

std::string Word(int v) { return std::string{char(v & 0xFF), char((v >> 8) & 0xFF)}; }
std::string Str(const std::string& s) { return Word(int(s.size())) + s; }

// The standard menu of the tests:
//   &Datei      { &Drucken 12008 ; - ; &Beenden\tAlt+F4 12002 }
//   &Bearbeiten { &Ausschneiden\tStrg+X 24322 ; &Kopieren\tStrg+C 24323 ; - ; &Leer {} }
HMENU StandardMenu() {
  HMENU bar = win::CreateMenu();
  HMENU file = win::CreatePopupMenu();
  win::AppendMenuA(file, 0, 12008, "&Drucken");
  win::AppendMenuA(file, win::MF_SEPARATOR, 0, nullptr);
  win::AppendMenuA(file, 0, 12002, "&Beenden\tAlt+F4");
  HMENU edit = win::CreatePopupMenu();
  win::AppendMenuA(edit, 0, 24322, "&Ausschneiden\tStrg+X");
  win::AppendMenuA(edit, 0, 24323, "&Kopieren\tStrg+C");
  win::AppendMenuA(edit, win::MF_SEPARATOR, 0, nullptr);
  win::AppendMenuA(edit, win::MF_POPUP, win::CreatePopupMenu().id, "&Leer");
  win::AppendMenuA(bar, win::MF_POPUP, file.id, "&Datei");
  win::AppendMenuA(bar, win::MF_POPUP, edit.id, "&Bearbeiten");
  return bar;
}

// The menu as one line: "text=id" per item, pop-ups in braces, "-" for a
// separator.
std::string Describe(HMENU menu) {
  std::string out;
  for (int i = 0; i < win::GetMenuItemCount(menu); ++i) {
    char text[128];
    win::GetMenuStringA(menu, win::UINT(i), text, sizeof text, win::MF_BYPOSITION);
    if (i) out += ";";
    if (HMENU sub = win::GetSubMenu(menu, i))
      out += std::string(text) + "{" + Describe(sub) + "}";
    else if (win::GetMenuItemID(menu, i) == 0)
      out += "-";
    else
      out += std::string(text) + "=" + std::to_string(win::GetMenuItemID(menu, i));
  }
  return out;
}

TEST(MenuModel, PopupsBelongToOneItemAndGoWithIt) {
  HMENU bar = StandardMenu();
  HMENU edit = win::GetSubMenu(bar, 1);
  EXPECT_FALSE(win::AppendMenuA(bar, win::MF_POPUP, edit.id, "again"));  // already attached
  EXPECT_FALSE(win::AppendMenuA(edit, win::MF_POPUP, bar.id, "cycle"));
  EXPECT_FALSE(win::DestroyMenu(edit));
  EXPECT_EQ(win::GetMenuItemID(bar, 1), win::UINT(-1));
  EXPECT_EQ(win::GetMenuItemID(win::GetSubMenu(bar, 0), 1), 0u);
  EXPECT_TRUE(win::InsertMenuA(bar, 24323, 0, 24321, "&R\xFC" "ckg\xE4ngig"));  // before Kopieren, by command
  char text[32];
  EXPECT_EQ(win::GetMenuStringA(bar, 24321, text, 5, 0), 4);
  EXPECT_STREQ(text, "&R\xFC" "c");
  EXPECT_TRUE(win::DeleteMenu(bar, 1, win::MF_BYPOSITION));
  EXPECT_FALSE(win::IsMenu(edit));
  EXPECT_TRUE(win::DestroyMenu(bar));
  EXPECT_EQ(win::GetMenuItemCount(bar), -1);
}

TEST(MenuPaths, FindByIdIndexAndPath) {
  HMENU bar = StandardMenu();
  TMenuIterator it(bar);
  char path[64];
  ASSERT_TRUE(it.FindById(24323, path, sizeof path, true));
  EXPECT_STREQ(path, "&Bearbeiten/&Kopieren\tStrg+C");
  ASSERT_TRUE(it.FindById(24323, path, sizeof path, false));
  EXPECT_STREQ(path, "&Kopieren\tStrg+C");
  EXPECT_FALSE(it.FindById(999, path, sizeof path, true));
  uint16_t id = 0;
  ASSERT_TRUE(it.FindByIndex(3, id, path, sizeof path));
  EXPECT_EQ(id, 24322);
  EXPECT_FALSE(it.FindByIndex(5, id, path, sizeof path));
  EXPECT_EQ(id, 0);
  const struct {
    const char* path;
    int32_t id;
  } cases[] = {{"Bearbeiten/Kopieren", 24323}, {"Datei/Beenden", 12002}, {"Bearbeiten", -1},
               {"Bearbeiten/Leer", -1},        {"Bearbeiten/Nichts", -2}, {"Ansicht/Kopieren", -2}};
  for (const auto& c : cases) EXPECT_EQ(it.FindByPath(c.path), c.id) << c.path;
  win::DestroyMenu(bar);
}

TEST(MenuPaths, RemoveEmptyDropsEmptyMenusAndLoneSeparators) {
  HMENU bar = StandardMenu();
  TMenuIterator(bar).RemoveEmpty();
  EXPECT_EQ(Describe(bar),
            "&Datei{&Drucken=12008;-;&Beenden\tAlt+F4=12002};&Bearbeiten{&Ausschneiden\tStrg+X=24322;&Kopieren\tStrg+C=24323}");
  win::DestroyMenu(bar);
}

TEST(MenuFilter, RecordsRoundTripAndOldIdsAreTranslated) {
  TMenuFilter filter;
  filter.SetUnfiltered(false);
  filter.InsertCommand(-1, 24323, nullptr);
  filter.InsertCommand(-1, 0, nullptr);
  forms::TSubFilterItem* sub = filter.InsertSubMenu(-1, "&Mein_Men\xFC");
  sub->Filter->InsertAdditional(-1, "&Rechnung", "Rechnung drucken");
  sub->Filter->InsertCommand(0, 12002, "&Ende");
  const std::string bytes = Bytes(filter);
  EXPECT_EQ(bytes.substr(0, 8), Word(3) + Word(24323) + Word(0) + Word(0));

  TMemStream in = StreamOf(bytes);
  TMenuFilter read;
  read.Read(in, 43);
  ASSERT_EQ(in.Status, 0);
  EXPECT_EQ(Bytes(read), bytes);
  EXPECT_EQ(Bytes(TMenuFilter(read)), bytes);
  EXPECT_EQ(read.FindSubMenu(1)->Filter->Count, 2);

  const struct {
    int version;
    int stored, read;
  } ids[] = {{18, 24320, 24322}, {18, 24325, 24321}, {18, 24340, 12002}, {18, 1091, 12013},
             {18, 4711, 4711},   {19, 24320, 24320}, {43, 1006, 1006}};
  for (const auto& c : ids) {
    const std::string one = Word(1) + Word(c.stored) + Word(0);
    const std::string accel = Word(1) + Word(c.stored) + Word(0x41) + std::string(1, '\x08') + Word(0);
    const std::string tool = Word(1) + Word(c.stored) + (c.version >= 17 ? Word(0) : std::string(14, '\0')) + Word(0);
    TMemStream m = StreamOf(one), a = StreamOf(accel), t = StreamOf(tool);
    TMenuFilter menu;
    TAccelFilter keys;
    TToolbarFilter tools;
    menu.Read(m, int16_t(c.version));
    keys.Read(a, int16_t(c.version));
    tools.Read(t, int16_t(c.version));
    EXPECT_EQ(uint16_t(menu.ItemAt(0)->Id), c.read) << c.version << " " << c.stored;
    EXPECT_EQ(keys.DefAt(0)->Id, c.read);
    EXPECT_EQ(uint16_t(tools.DefAt(0)->Id), c.read);
  }
}

TEST(Filters, HostileRecordsFailTheStream) {
  std::string deep;
  for (int i = 0; i <= forms::kMaxFilterDepth + 1; ++i) deep += Word(1) + Word(0xFFFF) + Word(0);
  deep += Word(0);
  const std::string cases[] = {
      Word(0x7FFF) + Word(1),      // more items than bytes
      Word(0xFFFB),                // a count below -1
      deep,                        // sub-menus nested too deep
      Word(2) + Word(24323) + Str("abc"),  // the second item is missing
  };
  for (const std::string& bytes : cases) {
    TMemStream in = StreamOf(bytes);
    TMenuFilter filter;
    filter.Read(in, 43);
    EXPECT_NE(in.Status, 0);
  }
  // An old bitmap whose rows run past the end, and one of negative size.
  const std::string tools[] = {Word(1) + Word(23000) + Word(0) + Word(16) + Word(16) + Word(2) + "\x01\x01" + "xxxx",
                               Word(1) + Word(23000) + Word(0) + Word(-4) + Word(1) + Word(2) + "\x01\x01" + "xxxx" +
                                   Word(0) + Word(0)};
  for (const std::string& bytes : tools) {
    TMemStream in = StreamOf(bytes);
    TToolbarFilter filter;
    filter.Read(in, 16);
    EXPECT_NE(in.Status, 0);
  }
}

TEST(MenuFilter, UnfilteredLeavesTheMenuAndFilteredRebuildsIt) {
  HMENU bar = StandardMenu();
  const std::string before = Describe(bar);
  TMemStream in = StreamOf(Word(0xFFFF));
  TMenuFilter unfiltered;
  unfiltered.Read(in, 43);
  EXPECT_TRUE(unfiltered.IsUnfiltered());
  EXPECT_EQ(Bytes(unfiltered), Word(0xFFFF));
  unfiltered.RebuildMenu(bar);
  EXPECT_EQ(Describe(bar), before);

  TMenuFilter filter;
  filter.SetUnfiltered(false);
  forms::TSubFilterItem* mine = filter.InsertSubMenu(-1, "&Mein_Men\xFC");
  mine->Filter->InsertCommand(-1, 24323, nullptr);
  mine->Filter->InsertCommand(-1, 0, nullptr);
  mine->Filter->InsertAdditional(-1, "&Neue_Rechnung", "Rechnung");
  mine->Filter->InsertAdditional(-1, "&Fremd", "Unbekannt");
  filter.InsertCommand(-1, 12002, "E_nde");
  kxobject::TKxStringList names(10, 10);
  names.Insert(kxstring::StrDup("Liste"));
  names.Insert(kxstring::StrDup("Rechnung"));
  filter.AssignCommandIds(names, 30000);
  filter.RebuildMenu(bar);
  EXPECT_EQ(Describe(bar), "&Mein_Men\xFC{&Kopieren\tStrg+C=24323;-;&Neue Rechnung=30001;&Fremd=65534};E nde=12002");
  // The stored id of an additional command stays -2.
  EXPECT_NE(Bytes(filter).find(Word(0xFFFE) + Str("&Neue_Rechnung")), std::string::npos);

  forms::TMenuFilterIterator it(filter, bar);
  char caption[64];
  ASSERT_TRUE(it.FindId(24323, caption, sizeof caption));
  EXPECT_STREQ(caption, "&Kopieren\tStrg+C");
  std::vector<std::string> paths;
  it.ForEach([](const forms::TFilterItem&, const char* path, void* arg) {
    static_cast<std::vector<std::string>*>(arg)->push_back(path);
  }, &paths);
  EXPECT_EQ(paths, (std::vector<std::string>{"&Mein_Men\xFC/&Kopieren\tStrg+C", "&Mein_Men\xFC/&Neue_Rechnung",
                                              "&Mein_Men\xFC/&Fremd", "E_nde"}));
  win::DestroyMenu(bar);
}

TEST(MenuFilter, DeletionMissingCommandsAndCopyFromAMenu) {
  HMENU bar = StandardMenu();
  TMenuFilter fromMenu(bar);
  EXPECT_FALSE(fromMenu.IsUnfiltered());
  EXPECT_EQ(fromMenu.Count, 2);
  EXPECT_TRUE(fromMenu.ContainsId(24322));
  EXPECT_EQ(fromMenu.FindSubMenu(3)->Caption, std::string("&Leer"));

  TMenuFilter filter;
  filter.SetUnfiltered(false);
  filter.InsertCommand(-1, 24323, nullptr);
  std::unique_ptr<kxobject::TKxStringList> missing(filter.MissingCommands(bar));
  ASSERT_EQ(missing->Count, 3);
  EXPECT_STREQ(missing->StrAt(0), "Datei/Drucken");
  EXPECT_STREQ(missing->StrAt(2), "Bearbeiten/Ausschneiden");

  HMENU flat = win::CreatePopupMenu();
  for (int id : {0, 24322, 0, 0, 24323, 12008, 0, 24324, 0}) win::AppendMenuA(flat, id ? 0 : win::MF_SEPARATOR, id, "x");
  filter.InsertCommand(-1, 0, nullptr);
  filter.InsertCommand(-1, 24324, nullptr);
  filter.ApplyByDeletion(flat);
  EXPECT_EQ(Describe(flat), "x=24323;-;x=24324");
  win::DestroyMenu(flat);
  win::DestroyMenu(bar);
}

TEST(AccelFilter, KeyTexts) {
  const struct {
    uint8_t flags;
    uint16_t key;
    const char* text;
  } cases[] = {{win::FVIRTKEY | win::FSHIFT | win::FCONTROL, 0x74, "Umschalt+Strg+F5"},
               {win::FVIRTKEY, 0x79, "F10"},
               {win::FVIRTKEY, 0x7B, "F12"},
               {0, 0x41, "A"},
               {win::FCONTROL, '7', "Strg+7"},
               {win::FALT, 0x24, "Alt+Pos 1"},
               {win::FVIRTKEY, 0xDE, "\xC4"},
               {win::FSHIFT, 0x22, "Umschalt+Bild unten"},
               {win::FCONTROL, 0x99, "Strg+"}};
  for (const auto& c : cases) {
    char text[40];
    TAccelFilter::KeyText(TAccelDef(1, c.key, c.flags, nullptr), text, sizeof text);
    EXPECT_STREQ(text, c.text);
  }
  char small[6];
  TAccelFilter::KeyText(TAccelDef(1, 0x74, win::FSHIFT, nullptr), small, sizeof small);
  EXPECT_STREQ(small, "Umsch");
  EXPECT_STREQ(forms::GetFilterText(0), "(Kein Befehl)");
  EXPECT_STREQ(forms::GetFilterText(1), "(Untermen\xFC)");
}

TEST(AccelFilter, TableRecordsAndOwnership) {
  TAccelFilter filter;
  win::TAccTable table;
  EXPECT_FALSE(filter.CreateAccelTable(table));  // no definition, no table
  filter.SetUnfiltered(false);
  filter.Insert(new TAccelDef(24323, 'C', win::FVIRTKEY | win::FCONTROL, nullptr));
  filter.Insert(new TAccelDef(0xFFFE, 0x74, win::FVIRTKEY, "Rechnung"));
  ASSERT_TRUE(filter.CreateAccelTable(table));
  win::ACCEL records[2];
  ASSERT_EQ(win::CopyAcceleratorTableA(table.GetHandle(), records, 2), 2);
  const uint8_t expected[12] = {0x09, 0, 'C', 0, 0x03, 0x5F, 0x81, 0, 0x74, 0, 0xFE, 0xFF};
  EXPECT_EQ(std::memcmp(records, expected, 12), 0);

  TAccelFilter back(table.GetHandle());
  EXPECT_TRUE(back.IsUnfiltered());
  EXPECT_EQ(back.DefAt(1)->Flags, win::FVIRTKEY);
  const std::string bytes = Bytes(filter);
  TMemStream in = StreamOf(bytes);
  TAccelFilter read;
  read.Read(in, 43);
  EXPECT_EQ(Bytes(read), bytes);
  EXPECT_STREQ(read.DefAt(1)->Name, "Rechnung");

  const win::HACCEL first = table.GetHandle();
  ASSERT_TRUE(filter.CreateAccelTable(table));  // replaces (and destroys) the owned table
  EXPECT_EQ(win::CopyAcceleratorTableA(first, nullptr, 0), 0);
  const win::HACCEL lent = table.GetHandle();
  {
    win::TAccTable borrower(lent, false);
  }
  EXPECT_EQ(win::CopyAcceleratorTableA(lent, nullptr, 0), 2);
}

std::unique_ptr<kxobject::TKxDib> SmallGlyph() {
  forms::TDeviceBitmapHeader header;
  header.width = 8;
  header.height = 2;
  header.bytesPerRow = 2;
  const uint8_t rows[4] = {0xF0, 0, 0x0F, 0};
  return forms::DibFromDeviceRows(header, rows);
}

TEST(ToolbarFilter, OldBitmapsGlyphRecordsAndRebuiltBar) {
  // Version 16: a button of width 0 is a standard button; one with rows
  // gets a glyph of those rows.
  const std::string old = Word(2) + Word(23000) + Word(0) + Word(0) + Word(0) + Word(0) + std::string(6, '\0') +
                          Word(0) + Word(23001) + Word(0) + Word(8) + Word(2) + Word(2) + "\x01\x01" +
                          std::string(4, '\0') + std::string("\xF0\x00\x0F\x00", 4) + Word(0);
  TMemStream in = StreamOf(old);
  TToolbarFilter filter;
  filter.Read(in, 16);
  ASSERT_EQ(in.Status, 0);
  ASSERT_EQ(filter.Count, 2);
  EXPECT_FALSE(filter.DefAt(0)->HasPicture());
  ASSERT_TRUE(filter.DefAt(1)->HasPicture());
  EXPECT_EQ(filter.DefAt(1)->Glyph->PixelAt(0, 0) & 0xFFFFFF, 0xFFFFFFu);
  EXPECT_EQ(filter.DefAt(1)->Glyph->PixelAt(4, 0) & 0xFFFFFF, 0u);
  EXPECT_EQ(filter.DefAt(1)->Glyph->PixelAt(4, 1) & 0xFFFFFF, 0xFFFFFFu);

  const std::string bytes = Bytes(filter);
  EXPECT_EQ(bytes.substr(0, 8), Word(2) + Word(23000) + Word(0) + Word(0));
  EXPECT_EQ(bytes.substr(8, 4), Word(23001) + Word(99));
  TMemStream again = StreamOf(bytes);
  TToolbarFilter read;
  read.Read(again, 43);
  ASSERT_EQ(again.Status, 0);
  EXPECT_EQ(Bytes(read), bytes);
  EXPECT_EQ(Bytes(TToolbarFilter(read)), bytes);

  // Standard buttons without a glyph are 23 x 22; a flat button is its
  // glyph (8 x 2) and 4 border widths; tiling starts inside 2-pixel margins.
  fw::TGadgetWindow bar;
  for (int id : {23000, 23005, 23010})
    bar.Insert(std::make_unique<fw::TButtonGadget>(std::unique_ptr<fw::TDib>(), id));
  fw::TGadget* standard = bar.GadgetWithId(23010);
  TToolbarFilter rebuild;
  rebuild.SetUnfiltered(false);
  rebuild.Insert(new forms::TToolDef(23010, nullptr, nullptr));
  rebuild.Insert(new forms::TToolDef(0, nullptr, nullptr));
  rebuild.Insert(new forms::TToolDef(23099, nullptr, nullptr));  // no such standard button: skipped
  rebuild.Insert(new forms::TToolDef(-2, SmallGlyph(), "Rechnung"));
  EXPECT_EQ(rebuild.BuildGadgets(bar), 23 + 2 + 12);
  ASSERT_EQ(bar.GadgetCount(), 3);
  EXPECT_EQ(bar.GadgetAt(0), standard);
  EXPECT_EQ(bar.GadgetAt(1)->GetId(), 0);
  EXPECT_EQ(bar.GadgetAt(1)->Bounds, (win::RECT{25, 2, 27, 4}));
  EXPECT_EQ(bar.GadgetAt(2)->GetId(), -2);
  EXPECT_EQ(bar.GadgetAt(2)->Bounds.bottom, 24);
  EXPECT_EQ(TToolbarFilter(bar).Count, 3);

  TToolbarFilter separators;
  separators.SetUnfiltered(false);
  separators.Insert(new forms::TToolDef(0, nullptr, nullptr));
  separators.Insert(new forms::TToolDef(0, nullptr, nullptr));
  separators.BuildGadgets(bar);
  ASSERT_EQ(bar.GadgetCount(), 2);
  EXPECT_EQ(bar.GadgetAt(0)->GetId() + bar.GadgetAt(1)->GetId(), 0);
  EXPECT_EQ(TToolbarFilter().BuildGadgets(bar), 0);  // unfiltered: untouched
  EXPECT_EQ(bar.GadgetCount(), 2);
}

}  // namespace
