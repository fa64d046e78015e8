// The menu filter and the menu path functions (see menufilt.h).
#include "runtime/forms/menufilt.h"

#include <cstring>

#include "platform/resources/resources.h"
#include "runtime/forms/maskelem.h"
#include "runtime/toolkit/kxstring.h"

namespace forms {

using kxstring::StrDup;
using kxstring::StrLCopy;
using win::HMENU;

namespace {

constexpr int32_t kMinItemBytes = 4;  // id and an empty caption

struct IdChange {
  uint16_t from, to;
};
constexpr IdChange kOldIds[] = {
    {24320, 24322}, {24321, 24323}, {24322, 24324}, {24323, 24325}, {24324, 24326}, {24325, 24321},
    {24326, 24331}, {24327, 24332}, {24328, 24331}, {24329, 24332}, {24330, 24333}, {24331, 24334},
    {24332, 24364}, {24333, 24362}, {24334, 24361}, {24335, 24365}, {1006, 12008},  {1009, 12009},
    {1084, 12000},  {1091, 12013},  {1092, 12010},  {1099, 12011},  {24340, 12002}};

bool IsSeparator(HMENU menu, int32_t position) {
  return win::GetMenuItemID(menu, position) == 0 && !win::GetSubMenu(menu, position);
}

bool IsCommand(HMENU menu, int32_t position) {
  return !win::GetSubMenu(menu, position) && win::GetMenuItemID(menu, position) != 0;
}

std::string MenuText(HMENU menu, int32_t position) {
  char text[256];
  win::GetMenuStringA(menu, win::UINT(position), text, sizeof text, win::MF_BYPOSITION);
  return text;
}

std::string Join(const std::string& prefix, const std::string& name) {
  return prefix.empty() ? name : prefix + "/" + name;
}

void CopyOut(const std::string& text, char* buffer, int32_t size) {
  if (buffer && size > 0) StrLCopy(buffer, text.c_str(), size - 1);
}

// Deletes separators that stand last or before another separator, and
// with leading also those that stand first.
void DropSeparators(HMENU menu, bool leading) {
  for (int32_t i = win::GetMenuItemCount(menu) - 1; i >= 0; --i) {
    const int32_t count = win::GetMenuItemCount(menu);
    if (i >= count || !IsSeparator(menu, i)) continue;
    if (i == count - 1 || IsSeparator(menu, i + 1) || (leading && i == 0))
      win::DeleteMenu(menu, win::UINT(i), win::MF_BYPOSITION);
  }
  if (leading)
    while (win::GetMenuItemCount(menu) > 0 && IsSeparator(menu, 0)) win::DeleteMenu(menu, 0, win::MF_BYPOSITION);
}

// Depth-first search for a command by id; the path of texts as held.
bool FindCommand(HMENU menu, uint16_t id, const std::string& prefix, bool withSubMenus, std::string& path) {
  for (int32_t i = 0; i < win::GetMenuItemCount(menu); ++i) {
    if (HMENU sub = win::GetSubMenu(menu, i)) {
      if (FindCommand(sub, id, withSubMenus ? Join(prefix, MenuText(menu, i)) : prefix, withSubMenus, path))
        return true;
    } else if (IsCommand(menu, i) && uint16_t(win::GetMenuItemID(menu, i)) == id) {
      path = Join(prefix, MenuText(menu, i));
      return true;
    }
  }
  return false;
}

bool FindNth(HMENU menu, int32_t& n, const std::string& prefix, uint16_t& id, std::string& path) {
  for (int32_t i = 0; i < win::GetMenuItemCount(menu); ++i) {
    if (HMENU sub = win::GetSubMenu(menu, i)) {
      if (FindNth(sub, n, Join(prefix, MenuText(menu, i)), id, path)) return true;
    } else if (IsCommand(menu, i) && --n == 0) {
      id = uint16_t(win::GetMenuItemID(menu, i));
      path = Join(prefix, MenuText(menu, i));
      return true;
    }
  }
  return false;
}

int32_t FindPath(HMENU menu, const char* path) {
  for (int32_t i = 0; i < win::GetMenuItemCount(menu); ++i) {
    const std::string caption = CleanMenuCaption(MenuText(menu, i).c_str());
    if (caption.empty() || IsSeparator(menu, i) || std::strncmp(path, caption.c_str(), caption.size()) != 0)
      continue;
    HMENU sub = win::GetSubMenu(menu, i);
    if (!sub) return int32_t(uint16_t(win::GetMenuItemID(menu, i)));
    const char* rest = path + caption.size();
    if (*rest == 0) return -1;
    const int32_t found = FindPath(sub, rest + 1);
    if (found != -2) return found;
  }
  return -2;
}

int32_t Walk(HMENU menu, const std::string& prefix, TMenuIterator::Callback callback, void* arg, bool recursive) {
  for (int32_t i = 0; i < win::GetMenuItemCount(menu);) {
    const std::string path = Join(prefix, CleanMenuCaption(MenuText(menu, i).c_str()));
    if (HMENU sub = win::GetSubMenu(menu, i); sub && recursive)
      if (Walk(sub, path, callback, arg, true) == -2) return -2;
    const int32_t next = callback(menu, i, path.c_str(), arg);
    if (next == -2) return -2;
    i = next >= 0 ? next : i + 1;
  }
  return 0;
}

void CleanEmpty(HMENU menu) {
  for (int32_t i = win::GetMenuItemCount(menu) - 1; i >= 0; --i)
    if (HMENU sub = win::GetSubMenu(menu, i)) {
      CleanEmpty(sub);
      if (win::GetMenuItemCount(sub) == 0) win::DeleteMenu(menu, win::UINT(i), win::MF_BYPOSITION);
    }
  DropSeparators(menu, false);
}

}  // namespace

uint16_t TranslateOldCommandId(uint16_t id, int16_t version) {
  if (version >= kFilterIdVersion) return id;
  for (const IdChange& change : kOldIds)
    if (change.from == id) return change.to;
  return id;
}

const char* GetFilterText(int32_t which) {
  static const struct Texts {
    char text[3][31];
    Texts() {
      static const char* const defaults[3] = {"(No Command)", "(Submenu)", "(Separator)"};
      for (int i = 0; i < 3; ++i)
        if (platform::LoadStringResource(uint32_t(52500 + i), text[i], sizeof text[i]) == 0)
          StrLCopy(text[i], defaults[i], 30);
    }
  } texts;
  return which >= 0 && which < 3 ? texts.text[which] : "";
}

void TFilterCollection::Write(TKxStream& stream) const {
  stream.WriteInt(Unfiltered ? -1 : Count);
  if (!Unfiltered)
    for (int32_t i = 0; i < Count; ++i) WriteItem(stream, i);
}

int16_t TFilterCollection::ReadCount(TKxStream& stream, int32_t minBytes) {
  FreeAll();
  Unfiltered = true;
  const int16_t count = int16_t(stream.ReadInt());
  if (stream.Status != 0) return -1;
  if (count < -1 || int64_t(count) * minBytes > int64_t(stream.GetSize()) - stream.GetPos()) {
    stream.Error(kxobject::kStreamReadError, 0);
    return -1;
  }
  Unfiltered = count < 0;
  return count;
}

std::string CleanMenuCaption(const char* text) {
  std::string clean;
  for (const char* p = text; p && *p && *p != '\t'; ++p)
    if (*p != '&') clean += *p;
  return clean;
}

// ---- items ----

TFilterItem::TFilterItem(int16_t id, const char* caption) : Id(id), Caption(StrDup(caption)) {}
TFilterItem::TFilterItem(const TFilterItem& other) : Id(other.Id), Caption(StrDup(other.Caption)) {}
TFilterItem::~TFilterItem() { delete[] Caption; }

void TFilterItem::Write(TKxStream& stream) const {
  WriteWord(stream, uint16_t(Id));
  stream.WriteString(Caption);
}

TAdditionalFilterItem::TAdditionalFilterItem(const char* caption, const char* commandName)
    : TFilterItem(kFilterAdditional, caption), CommandName(StrDup(commandName)) {}
TAdditionalFilterItem::TAdditionalFilterItem(const TAdditionalFilterItem& other)
    : TFilterItem(other), CommandName(StrDup(other.CommandName)), AssignedId(other.AssignedId) {}
TAdditionalFilterItem::~TAdditionalFilterItem() { delete[] CommandName; }

void TAdditionalFilterItem::Write(TKxStream& stream) const {
  TFilterItem::Write(stream);
  stream.WriteString(CommandName);
}

TSubFilterItem::TSubFilterItem(const char* caption) : TFilterItem(kFilterSubMenu, caption), Filter(new TMenuFilter) {
  Filter->SetUnfiltered(false);
}
TSubFilterItem::TSubFilterItem(const TSubFilterItem& other) : TFilterItem(other), Filter(new TMenuFilter(*other.Filter)) {}
TSubFilterItem::~TSubFilterItem() { delete Filter; }

void TSubFilterItem::Write(TKxStream& stream) const {
  TFilterItem::Write(stream);
  Filter->Write(stream);
}

// ---- the filter ----

TMenuFilter::TMenuFilter(int32_t limit, int32_t delta) : TFilterCollection(limit, delta) {}

TMenuFilter::TMenuFilter(const TMenuFilter& other) : TFilterCollection(10, 10) {
  Unfiltered = other.Unfiltered;
  for (int32_t i = 0; i < other.Count; ++i) AtInsert(Count, other.ItemAt(i)->Clone());
}

TMenuFilter::TMenuFilter(HMENU menu) : TMenuFilter() {
  Unfiltered = false;
  for (int32_t i = 0; i < win::GetMenuItemCount(menu); ++i) {
    if (HMENU sub = win::GetSubMenu(menu, i)) {
      auto* item = new TSubFilterItem(MenuText(menu, i).c_str());
      delete item->Filter;
      item->Filter = new TMenuFilter(sub);
      AtInsert(Count, item);
    } else if (IsCommand(menu, i)) {
      AtInsert(Count, new TFilterItem(int16_t(win::GetMenuItemID(menu, i)), nullptr));
    }
  }
}

TMenuFilter::~TMenuFilter() {
  FreeAll();
  if (StandardMenu) win::DestroyMenu(StandardMenu);
}

void TMenuFilter::FreeItem(void* item) { delete static_cast<TFilterItem*>(item); }

void TMenuFilter::ReadNested(TKxStream& stream, int16_t version, int32_t depth) {
  if (depth > kMaxFilterDepth) {
    FreeAll();
    stream.Error(kxobject::kStreamReadError, 0);
    return;
  }
  const int16_t count = ReadCount(stream, kMinItemBytes);
  for (int32_t i = 0; i < count && stream.Status == 0; ++i) {
    const auto id = int16_t(TranslateOldCommandId(ReadWord(stream), version));
    std::unique_ptr<char[]> caption(stream.ReadString());
    TFilterItem* item;
    if (id == kFilterAdditional) {
      std::unique_ptr<char[]> name(stream.ReadString());
      item = new TAdditionalFilterItem(caption.get(), name.get());
    } else if (id == kFilterSubMenu) {
      auto* sub = new TSubFilterItem(caption.get());
      sub->Filter->ReadNested(stream, version, depth + 1);
      item = sub;
    } else {
      item = new TFilterItem(id, caption.get());
    }
    AtInsert(Count, item);
  }
}

bool TMenuFilter::ContainsId(int16_t id) const {
  for (int32_t i = 0; i < Count; ++i) {
    const TFilterItem* item = ItemAt(i);
    if (item->Id == id) return true;
    if (item->Id == kFilterSubMenu && static_cast<const TSubFilterItem*>(item)->Filter->ContainsId(id)) return true;
  }
  return false;
}

void TMenuFilter::RebuildMenu(HMENU menu) {
  if (Unfiltered) return;
  if (StandardMenu) win::DestroyMenu(StandardMenu);
  StandardMenu = win::CopyMenuTree(menu);
  while (win::GetMenuItemCount(menu) > 0) win::DeleteMenu(menu, 0, win::MF_BYPOSITION);
  AppendTo(menu);
}

void TMenuFilter::AppendTo(HMENU menu) const {
  // Nested filters take their missing captions from the top filter's copy.
  const HMENU standard = StandardMenu;
  struct Appender {
    HMENU standard;
    void Fill(const TMenuFilter& filter, HMENU target) const {
      for (int32_t i = 0; i < filter.Count; ++i) {
        const TFilterItem* item = filter.ItemAt(i);
        if (item->Id == kFilterSubMenu) {
          const HMENU popup = win::CreatePopupMenu();
          Fill(*static_cast<const TSubFilterItem*>(item)->Filter, popup);
          win::AppendMenuA(target, win::MF_POPUP, popup.id, item->Caption ? item->Caption : "");
        } else if (item->Id == kFilterSeparator) {
          win::AppendMenuA(target, win::MF_BYPOSITION, 0, nullptr);
        } else {
          std::string caption;
          if (item->Caption) {
            caption = item->Caption;
            for (char& c : caption)
              if (c == '_') c = ' ';
          } else {
            char text[256] = "";
            TMenuIterator(standard).FindById(uint16_t(item->Id), text, sizeof text, false);
            caption = text;
          }
          win::AppendMenuA(target, win::MF_BYPOSITION, uint16_t(item->GetCommandId()), caption.c_str());
        }
      }
    }
  };
  Appender{standard}.Fill(*this, menu);
}

void TMenuFilter::ApplyByDeletion(HMENU menu) const {
  for (int32_t i = win::GetMenuItemCount(menu) - 1; i >= 0; --i)
    if (!ContainsId(int16_t(win::GetMenuItemID(menu, i)))) win::DeleteMenu(menu, win::UINT(i), win::MF_BYPOSITION);
  DropSeparators(menu, true);
}

void TMenuFilter::AssignCommandIds(const kxobject::TKxStringList& names, uint16_t base) {
  for (int32_t i = 0; i < Count; ++i) {
    TFilterItem* item = ItemAt(i);
    if (item->Id == kFilterSubMenu) {
      static_cast<TSubFilterItem*>(item)->Filter->AssignCommandIds(names, base);
    } else if (item->Id == kFilterAdditional) {
      auto* additional = static_cast<TAdditionalFilterItem*>(item);
      const int32_t index = additional->CommandName ? names.IndexOfStr(additional->CommandName) : -1;
      additional->AssignedId = index >= 0 ? int16_t(base + index) : kFilterAdditional;
    }
  }
}

TFilterItem* TMenuFilter::InsertAt(int32_t position, TFilterItem* item) {
  AtInsert(position < 0 || position > Count ? Count : position, item);
  return item;
}

TFilterItem* TMenuFilter::InsertCommand(int32_t position, int16_t id, const char* caption) {
  return InsertAt(position, new TFilterItem(id, caption));
}

TAdditionalFilterItem* TMenuFilter::InsertAdditional(int32_t position, const char* caption, const char* name) {
  return static_cast<TAdditionalFilterItem*>(InsertAt(position, new TAdditionalFilterItem(caption, name)));
}

TSubFilterItem* TMenuFilter::InsertSubMenu(int32_t position, const char* caption) {
  return static_cast<TSubFilterItem*>(InsertAt(position, new TSubFilterItem(caption)));
}

TSubFilterItem* TMenuFilter::FindSubMenu(int32_t n) const {
  struct Finder {
    int32_t left;
    TSubFilterItem* Find(const TMenuFilter& filter) {
      for (int32_t i = 0; i < filter.Count; ++i)
        if (filter.ItemAt(i)->Id == kFilterSubMenu) {
          auto* sub = static_cast<TSubFilterItem*>(filter.ItemAt(i));
          if (--left == 0) return sub;
          if (TSubFilterItem* found = Find(*sub->Filter)) return found;
        }
      return nullptr;
    }
  };
  return n < 1 ? nullptr : Finder{n}.Find(*this);
}

kxobject::TKxStringList* TMenuFilter::MissingCommands(HMENU menu) const {
  struct Context {
    const TMenuFilter* filter;
    kxobject::TKxStringList* list;
  } context{this, new kxobject::TKxStringList(10, 10)};
  TMenuIterator(menu).ForEach(
      [](HMENU m, int32_t position, const char* path, void* arg) -> int32_t {
        auto* c = static_cast<Context*>(arg);
        if (IsCommand(m, position) && !c->filter->ContainsId(int16_t(win::GetMenuItemID(m, position))))
          c->list->Insert(StrDup(path));
        return -1;
      },
      &context, true);
  return context.list;
}

// ---- paths ----

bool TMenuIterator::FindById(uint16_t id, char* path, int32_t size, bool withSubMenus) const {
  std::string found;
  if (!FindCommand(Menu, id, "", withSubMenus, found)) return false;
  CopyOut(found, path, size);
  return true;
}

bool TMenuIterator::FindByIndex(int32_t n, uint16_t& id, char* path, int32_t size) const {
  std::string found;
  id = 0;
  if (n < 1 || !FindNth(Menu, n, "", id, found)) return false;
  CopyOut(found, path, size);
  return true;
}

int32_t TMenuIterator::FindByPath(const char* path) const { return path ? FindPath(Menu, path) : -2; }

int32_t TMenuIterator::ForEach(Callback callback, void* arg, bool recursive) const {
  return Walk(Menu, "", callback, arg, recursive);
}

void TMenuIterator::RemoveEmpty() const { CleanEmpty(Menu); }

// ---- a filter's items by path ----

std::string TMenuFilterIterator::CaptionOf(const TFilterItem& item) const {
  if (item.Caption) return item.Caption;
  char text[256] = "";
  if (uint16_t(item.Id) < 0xFFFE) TMenuIterator(Menu).FindById(uint16_t(item.Id), text, sizeof text, false);
  return text;
}

void TMenuFilterIterator::Walk(const TMenuFilter& filter, const std::string& prefix, Callback callback,
                               void* arg) const {
  for (int32_t i = 0; i < filter.Count; ++i) {
    const TFilterItem* item = filter.ItemAt(i);
    if (item->Id == kFilterSubMenu)
      Walk(*static_cast<const TSubFilterItem*>(item)->Filter, Join(prefix, CaptionOf(*item)), callback, arg);
    else if (item->Id != kFilterSeparator)
      callback(*item, Join(prefix, CaptionOf(*item)).c_str(), arg);
  }
}

void TMenuFilterIterator::ForEach(Callback callback, void* arg) const { Walk(Filter, "", callback, arg); }

bool TMenuFilterIterator::FindId(int16_t id, char* caption, int32_t size) const {
  struct Search {
    int16_t id;
    std::string caption;
    bool found = false;
  } search{id, ""};
  const auto* self = this;
  struct Context {
    Search* search;
    const TMenuFilterIterator* iterator;
  } context{&search, self};
  ForEach(
      [](const TFilterItem& item, const char*, void* arg) {
        auto* c = static_cast<Context*>(arg);
        if (!c->search->found && item.GetCommandId() == c->search->id) {
          c->search->found = true;
          c->search->caption = c->iterator->CaptionOf(item);
        }
      },
      &context);
  if (search.found) CopyOut(search.caption, caption, size);
  return search.found;
}

}  // namespace forms
