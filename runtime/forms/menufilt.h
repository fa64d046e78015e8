// The menu filter of a form: how the main window's menu looks while the form
// is active (commands left out, regrouped into the form's own sub-menus,
// renamed, or added as commands of the form), and the functions that name
// menu items by path ("Bearbeiten/Kopieren").
//
// What always holds:
//   1. A filter owns its items, a sub-menu item owns its nested filter, and
//      every text is a new[] copy or null. An unfiltered filter (count -1 in
//      the file) holds no items and leaves a menu untouched.
//   2. Item ids: 0 separator, -1 sub-menu, -2 additional command (the form's
//      own; its command id is given only when the filter is applied and is
//      kept beside the stored id, so writing a filter always writes -2 for
//      it), any other value a command of the standard menu.
//   3. Reading never trusts the file: a count below -1, a count whose items
//      cannot fit in the bytes left, or sub-menus nested deeper than
//      kMaxFilterDepth mark the stream failed (the form reader answers -2);
//      nothing is allocated by a count before that check.
//   4. Ids read from files before version 19 are translated to the current
//      command ids by TranslateOldCommandId (the accelerator and tool-bar
//      filters use the same table).
//   5. Menus are reached only through the window system's menu handles; the
//      filter keeps at most one menu of its own (the copy of the standard
//      menu RebuildMenu makes), destroyed with the filter.
//
// The record: count i16 (-1 unfiltered, nothing follows); per item: id u16,
// caption string; for id -2 the command name (string); for id -1 the nested
// filter, a record of this same form.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/win/menu.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace forms {

using kxobject::TKxStream;

constexpr int16_t kFilterSeparator = 0;
constexpr int16_t kFilterSubMenu = -1;
constexpr int16_t kFilterAdditional = -2;
constexpr int32_t kMaxFilterDepth = 16;
constexpr int16_t kFilterIdVersion = 19;  // ids before this version are translated

// The current command id for an id stored by a form file of version.
uint16_t TranslateOldCommandId(uint16_t id, int16_t version);

// The filter texts shown for items: 0 an item without command, 1 a
// sub-menu, 2 a separator (string resources 52500 .. 52502).
const char* GetFilterText(int32_t which);

// What the three filters share: the unfiltered flag and the record's
// count in front of the items (-1: unfiltered, nothing follows).
class TFilterCollection : public kxobject::TKxCollection {
 public:
  using kxobject::TKxCollection::TKxCollection;

  bool IsUnfiltered() const { return Unfiltered; }
  void SetUnfiltered(bool unfiltered) { Unfiltered = unfiltered; }
  // -1 when unfiltered, else the count and every item.
  virtual void Write(TKxStream& stream) const;

 protected:
  // Empties the filter and reads the count: -1 (unfiltered), or a count
  // whose items of at least minBytes each fit in what the stream has left;
  // anything else marks the stream failed and answers -1.
  int16_t ReadCount(TKxStream& stream, int32_t minBytes);
  virtual void WriteItem(TKxStream& stream, int32_t index) const = 0;

  bool Unfiltered = true;
};

// The caption without its "&" marks, cut at the first tab.
std::string CleanMenuCaption(const char* text);

class TMenuFilter;

class TFilterItem : public kxobject::TKxObject {
 public:
  TFilterItem(int16_t id, const char* caption);
  TFilterItem(const TFilterItem& other);
  TFilterItem& operator=(const TFilterItem&) = delete;
  ~TFilterItem() override;

  virtual TFilterItem* Clone() const { return new TFilterItem(*this); }
  virtual void Write(TKxStream& stream) const;
  // The id the menu gets: the stored one, or the assigned one of an
  // additional command.
  virtual int16_t GetCommandId() const { return Id; }

  int16_t Id;
  char* Caption = nullptr;
};

class TAdditionalFilterItem : public TFilterItem {
 public:
  TAdditionalFilterItem(const char* caption, const char* commandName);
  TAdditionalFilterItem(const TAdditionalFilterItem& other);
  ~TAdditionalFilterItem() override;

  TFilterItem* Clone() const override { return new TAdditionalFilterItem(*this); }
  void Write(TKxStream& stream) const override;
  int16_t GetCommandId() const override { return AssignedId; }

  char* CommandName = nullptr;
  int16_t AssignedId = kFilterAdditional;
};

class TSubFilterItem : public TFilterItem {
 public:
  explicit TSubFilterItem(const char* caption);
  TSubFilterItem(const TSubFilterItem& other);
  ~TSubFilterItem() override;

  TFilterItem* Clone() const override { return new TSubFilterItem(*this); }
  void Write(TKxStream& stream) const override;

  TMenuFilter* Filter;
};

class TMenuFilter : public TFilterCollection {
 public:
  // Empty and unfiltered.
  explicit TMenuFilter(int32_t limit = 10, int32_t delta = 10);
  TMenuFilter(const TMenuFilter& other);
  // One command item per command and one sub-menu item per sub-menu of
  // menu, recursively; filtered.
  explicit TMenuFilter(win::HMENU menu);
  ~TMenuFilter() override;

  void FreeItem(void* item) override;
  virtual void Read(TKxStream& stream, int16_t version) { ReadNested(stream, version, 0); }

  TFilterItem* ItemAt(int32_t index) const { return static_cast<TFilterItem*>(At(index)); }
  // True when an item with that id stands in the filter or a nested one.
  bool ContainsId(int16_t id) const;

  // Filtered only: keeps a copy of menu as the standard menu, empties menu
  // and fills it with the filter's items.
  void RebuildMenu(win::HMENU menu);
  // Deletes the top-level items whose id the filter lacks, then separators
  // that follow a separator or stand first or last.
  void ApplyByDeletion(win::HMENU menu) const;
  // Every additional item (nested ones too) whose command name stands in
  // names at i gets the command id base + i; the others keep -2.
  void AssignCommandIds(const kxobject::TKxStringList& names, uint16_t base);
  // Insert at position (-1 appends) and answer the new item.
  TFilterItem* InsertCommand(int32_t position, int16_t id, const char* caption);
  TAdditionalFilterItem* InsertAdditional(int32_t position, const char* caption, const char* name);
  TSubFilterItem* InsertSubMenu(int32_t position, const char* caption);
  // The n-th sub-menu item (from 1), depth-first; null when there is none.
  TSubFilterItem* FindSubMenu(int32_t n) const;
  // The "/"-joined paths of the menu's commands the filter lacks.
  kxobject::TKxStringList* MissingCommands(win::HMENU menu) const;

 private:
  void ReadNested(TKxStream& stream, int16_t version, int32_t depth);
  void AppendTo(win::HMENU menu) const;
  TFilterItem* InsertAt(int32_t position, TFilterItem* item);
  void WriteItem(TKxStream& stream, int32_t index) const override { ItemAt(index)->Write(stream); }

  win::HMENU StandardMenu;
};

// Names the items of a menu by path: the captions of the enclosing
// sub-menus and of the item joined by "/".
class TMenuIterator {
 public:
  // Handed each item's path and position; answers -2 to stop, a position
  // to go on from, or another negative value for the next item.
  using Callback = int32_t (*)(win::HMENU menu, int32_t position, const char* path, void* arg);

  explicit TMenuIterator(win::HMENU menu) : Menu(menu) {}

  // The command with id, depth-first; its path (sub-menu names only when
  // asked for) into path. Texts as the menu holds them.
  bool FindById(uint16_t id, char* path, int32_t size, bool withSubMenus) const;
  // The n-th command with a non-zero id (from 1), depth-first.
  bool FindByIndex(int32_t n, uint16_t& id, char* path, int32_t size) const;
  // The id of the command whose cleaned path matches; -1 when the path
  // ends on a sub-menu, -2 when nothing matches.
  int32_t FindByPath(const char* path) const;
  // Answers -2 when a callback stopped the walk, else 0.
  int32_t ForEach(Callback callback, void* arg, bool recursive) const;
  // Deletes the sub-menus that are empty once cleaned, and separators that
  // stand last or before another separator.
  void RemoveEmpty() const;

 private:
  win::HMENU Menu;
};

// Walks a filter's command and additional items with their paths; an item
// without caption takes the standard menu's caption.
class TMenuFilterIterator {
 public:
  using Callback = void (*)(const TFilterItem& item, const char* path, void* arg);

  TMenuFilterIterator(const TMenuFilter& filter, win::HMENU menu) : Filter(filter), Menu(menu) {}

  bool FindId(int16_t id, char* caption, int32_t size) const;
  void ForEach(Callback callback, void* arg) const;

 private:
  std::string CaptionOf(const TFilterItem& item) const;
  void Walk(const TMenuFilter& filter, const std::string& prefix, Callback callback, void* arg) const;

  const TMenuFilter& Filter;
  win::HMENU Menu;
};

}  // namespace forms
