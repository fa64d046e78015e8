// The menu model (see menu.h).
#include "platform/win/menu.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <unordered_map>
#include <vector>

namespace win {

namespace {

struct Item {
  UINT id = 0;
  UINT state = 0;  // MF_GRAYED, MF_DISABLED, MF_CHECKED, MF_SEPARATOR, MF_POPUP
  std::string text;
  uint32_t sub = 0;  // the pop-up's id for MF_POPUP
};

struct Menu {
  std::vector<Item> items;
  uint32_t attachedTo = 0;  // the menu whose item holds this one as pop-up
};

struct Menus {
  std::unordered_map<uint32_t, Menu> table;
  uint32_t next = 1;
};

Menus& State() {
  static Menus menus;
  return menus;
}

Menu* Find(HMENU menu) {
  auto it = State().table.find(menu.id);
  return it == State().table.end() ? nullptr : &it->second;
}

HMENU Create() {
  const uint32_t id = State().next++;
  State().table.emplace(id, Menu{});
  return HMENU(id);
}

void Destroy(uint32_t id) {
  auto it = State().table.find(id);
  if (it == State().table.end()) return;
  std::vector<Item> items = std::move(it->second.items);
  State().table.erase(it);
  for (const Item& item : items)
    if (item.state & MF_POPUP) Destroy(item.sub);
}

// Where an item lies: its menu and index.
struct Place {
  Menu* menu = nullptr;
  size_t index = 0;
};

Place FindCommand(Menu& menu, UINT id) {
  for (size_t i = 0; i < menu.items.size(); ++i) {
    Item& item = menu.items[i];
    if (item.state & MF_POPUP) {
      if (Menu* sub = Find(HMENU(item.sub)))
        if (Place found = FindCommand(*sub, id); found.menu) return found;
    } else if (!(item.state & MF_SEPARATOR) && item.id == id) {
      return {&menu, i};
    }
  }
  return {};
}

Place Locate(HMENU handle, UINT position, UINT flags) {
  Menu* menu = Find(handle);
  if (!menu) return {};
  if (flags & MF_BYPOSITION) return position < menu->items.size() ? Place{menu, position} : Place{};
  return FindCommand(*menu, position);
}

// True when candidate is menu itself or one of its ancestors.
bool IsSelfOrAncestor(uint32_t candidate, uint32_t menu) {
  for (uint32_t id = menu; id != 0;) {
    if (id == candidate) return true;
    const Menu* m = Find(HMENU(id));
    id = m ? m->attachedTo : 0;
  }
  return false;
}

bool MakeItem(uint32_t owner, UINT flags, UINT_PTR value, const char* text, Item& item) {
  item.state = flags & (MF_GRAYED | MF_DISABLED | MF_CHECKED);
  if (flags & MF_POPUP) {
    Menu* sub = Find(HMENU(uint32_t(value)));
    if (!sub || sub->attachedTo != 0 || IsSelfOrAncestor(uint32_t(value), owner)) return false;
    item.state |= MF_POPUP;
    item.sub = uint32_t(value);
    item.text = text ? text : "";
    return true;
  }
  if ((flags & MF_SEPARATOR) || !text) {
    item.state |= MF_SEPARATOR;
    return true;
  }
  item.id = UINT(value);
  item.text = text;
  return true;
}

bool Insert(HMENU handle, Menu& menu, size_t index, UINT flags, UINT_PTR value, const char* text) {
  Item item;
  if (!MakeItem(handle.id, flags, value, text, item)) return false;
  if (item.state & MF_POPUP) Find(HMENU(item.sub))->attachedTo = handle.id;
  menu.items.insert(menu.items.begin() + std::ptrdiff_t(index), std::move(item));
  return true;
}

bool Take(HMENU handle, UINT position, UINT flags, bool destroy) {
  Place place = Locate(handle, position, flags);
  if (!place.menu) return false;
  const Item item = place.menu->items[place.index];
  place.menu->items.erase(place.menu->items.begin() + std::ptrdiff_t(place.index));
  if (item.state & MF_POPUP) {
    if (destroy) {
      Destroy(item.sub);
    } else if (Menu* sub = Find(HMENU(item.sub))) {
      sub->attachedTo = 0;
    }
  }
  return true;
}

}  // namespace

HMENU CreateMenu() { return Create(); }
HMENU CreatePopupMenu() { return Create(); }

bool DestroyMenu(HMENU menu) {
  // A pop-up that hangs in a menu goes with its item (DeleteMenu).
  const Menu* m = Find(menu);
  if (!m || m->attachedTo != 0) return false;
  Destroy(menu.id);
  return true;
}

bool IsMenu(HMENU menu) { return Find(menu) != nullptr; }

HMENU CopyMenuTree(HMENU menu) {
  const Menu* m = Find(menu);
  if (!m) return HMENU();
  std::vector<Item> items = m->items;
  const HMENU copy = Create();
  for (Item& item : items)
    if (item.state & MF_POPUP) {
      item.sub = CopyMenuTree(HMENU(item.sub)).id;
      Find(HMENU(item.sub))->attachedTo = copy.id;
    }
  Find(copy)->items = std::move(items);
  return copy;
}

bool AppendMenuA(HMENU menu, UINT flags, UINT_PTR item, const char* text) {
  Menu* m = Find(menu);
  return m && Insert(menu, *m, m->items.size(), flags, item, text);
}

bool InsertMenuA(HMENU menu, UINT position, UINT flags, UINT_PTR item, const char* text) {
  Menu* m = Find(menu);
  if (!m) return false;
  if (flags & MF_BYPOSITION) return Insert(menu, *m, std::min<size_t>(position, m->items.size()), flags, item, text);
  Place place = FindCommand(*m, position);
  if (!place.menu) return false;
  for (auto& [id, candidate] : State().table)
    if (&candidate == place.menu) return Insert(HMENU(id), candidate, place.index, flags, item, text);
  return false;
}

bool DeleteMenu(HMENU menu, UINT position, UINT flags) { return Take(menu, position, flags, true); }
bool RemoveMenu(HMENU menu, UINT position, UINT flags) { return Take(menu, position, flags, false); }

int GetMenuItemCount(HMENU menu) {
  const Menu* m = Find(menu);
  return m ? int(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int position) {
  const Menu* m = Find(menu);
  if (!m || position < 0 || size_t(position) >= m->items.size()) return UINT(-1);
  const Item& item = m->items[size_t(position)];
  if (item.state & MF_POPUP) return UINT(-1);
  return item.state & MF_SEPARATOR ? 0 : item.id;
}

HMENU GetSubMenu(HMENU menu, int position) {
  const Menu* m = Find(menu);
  if (!m || position < 0 || size_t(position) >= m->items.size()) return HMENU();
  const Item& item = m->items[size_t(position)];
  return item.state & MF_POPUP ? HMENU(item.sub) : HMENU();
}

int GetMenuStringA(HMENU menu, UINT item, char* buffer, int size, UINT flags) {
  Place place = Locate(menu, item, flags);
  if (buffer && size > 0) buffer[0] = 0;
  if (!place.menu) return 0;
  const std::string& text = place.menu->items[place.index].text;
  if (!buffer) return int(text.size());
  if (size <= 0) return 0;
  const size_t n = std::min(text.size(), size_t(size - 1));
  std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return int(n);
}

UINT GetMenuState(HMENU menu, UINT item, UINT flags) {
  Place place = Locate(menu, item, flags);
  if (!place.menu) return UINT(-1);
  const Item& found = place.menu->items[place.index];
  if (!(found.state & MF_POPUP)) return found.state;
  const Menu* sub = Find(HMENU(found.sub));
  return (UINT(sub ? sub->items.size() : 0) << 8) | (found.state & 0xFF);
}

namespace {

// Replaces the bits of mask in the item's state and answers the former ones.
UINT SetStateBits(HMENU menu, UINT item, UINT flags, UINT mask) {
  Place place = Locate(menu, item, flags);
  if (!place.menu) return UINT(-1);
  UINT& state = place.menu->items[place.index].state;
  const UINT former = state & mask;
  state = (state & ~mask) | (flags & mask);
  return former;
}

}  // namespace

UINT EnableMenuItem(HMENU menu, UINT item, UINT flags) {
  return SetStateBits(menu, item, flags, MF_GRAYED | MF_DISABLED);
}

UINT CheckMenuItem(HMENU menu, UINT item, UINT flags) { return SetStateBits(menu, item, flags, MF_CHECKED); }

}  // namespace win
