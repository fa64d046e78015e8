#include "engine/storage/linkfile.h"

#include <algorithm>
#include <array>
#include <memory>
#include <vector>

#include "engine/base/common.h"
#include "engine/base/lowfiles.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"

namespace LINKFILE {

TCompileErrorProc CompileErrorHook = nullptr;

namespace {

using ZetTable::TZetTable;
using KeyDescription = std::array<uint8_t, ZetTable::kKeyDescriptionSize>;

// One link definition: two sides, each a table and the key description of
// its side compiled against that table.
struct TLinkDefinition {
  bool inUse = false;
  uint8_t table1 = 0;
  uint8_t table2 = 0;
  KeyDescription key1{};
  KeyDescription key2{};
};

constexpr char kJobDefinitionMark = '$';
constexpr char kItemSeparator = ',';
constexpr char kSideSeparator = '=';
constexpr char kDescriptionOpen = '[';
constexpr char kDescriptionMark = '.';
constexpr std::string_view kBrackets = "()[]{}\"'";
constexpr std::string_view kTableExtension = ".DAT";
constexpr std::string_view kRelationExtension = ".REL";
// A link key made from a field: the parent's field as a 4-byte L part.
constexpr uint16_t kFieldKeyLength = 4;
// Where linked records are found: a table's auto number in its slot 0
// (".INR"); a relation table keeps the owner's number in field 1 (indexed
// in its slot 1) and the related table's number in field 2.
constexpr uint8_t kNumberIndex = 0;
constexpr uint8_t kRelationOwnerIndex = 1;
constexpr uint16_t kRelatedField = 2;

std::vector<TLinkDefinition> g_definitions;
// Definitions 1..g_protected survive the end of a job; g_jobCount of those
// above were added by jobs.
int g_protected = 0;
int g_jobCount = 0;
uint16_t g_error = 0;
int g_baseCount = 0;
// Sets of the resolution and the job's selected tables.
uint64_t g_remaining = 0;
uint64_t g_placed = 0;
uint64_t g_excluded = 0;
uint64_t g_selected = 0;

bool In(uint64_t set, int slot) { return ZetTable::HandleInSet(set, slot); }

TZetTable* OpenSlot(int slot) {
  return slot >= 1 && slot <= ZetTable::OpenCount() ? ZetTable::Table(slot) : nullptr;
}

// The position (1-based) of c in text from position `from` on, outside
// brackets and quotes; text.size() + 1 when there is none. An unmatched
// bracket leaves 56 in error and the position where matching stopped.
size_t FindOutsideBrackets(std::string_view text, size_t from, char c, uint16_t& error) {
  size_t p = from;
  while (p <= text.size()) {
    const char at = text[p - 1];
    if (at == c) return p;
    if (kBrackets.find(at) == std::string_view::npos) {
      ++p;
      continue;
    }
    if (Common::MatchBrackets(text, p) != 0) {
      error = kErrExpected;
      return std::min(p, text.size() + 1);
    }
  }
  return p;
}

// One side of a definition: "TABLE[description]" or "TABLE.description".
std::string_view TrimBlanks(std::string_view text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(' ') - first + 1);
}

uint16_t ParseSide(std::string_view text, uint8_t& table, KeyDescription& key) {
  const std::string_view s = TrimBlanks(text);
  std::string_view name = s;
  std::string_view description;
  if (const size_t open = s.find(kDescriptionOpen); open != std::string_view::npos) {
    name = s.substr(0, open);
    description = s.substr(open);
    // "[...]" holds the description itself.
    size_t close = 1;
    if (Common::MatchBrackets(description, close) == 0 && close == description.size() + 1)
      description = description.substr(1, description.size() - 2);
  } else if (const size_t dot = s.find(kDescriptionMark); dot != std::string_view::npos) {
    name = s.substr(0, dot);
    description = s.substr(dot + 1);
  }
  name = TrimBlanks(name);
  const int h = name.empty() ? 0 : ZetTable::FindOpenTable(name);
  if (h == 0) return kErrTableExpected;
  if (MakeIV::CompileIndexDescription(h, description, key.data(), false) != 0) return kErrBadDescription;
  table = uint8_t(h);
  return 0;
}

uint16_t AddDefinition(std::string_view text, bool checkOnly, bool byJob) {
  g_error = kErrEqualsMissing;
  uint16_t unmatched = 0;
  const size_t equals = FindOutsideBrackets(text, 1, kSideSeparator, unmatched);
  if (unmatched != 0 || equals > text.size()) return g_error;
  g_error = 0;
  TLinkDefinition d;
  if (uint16_t e = ParseSide(text.substr(0, equals - 1), d.table1, d.key1)) return g_error = e;
  if (uint16_t e = ParseSide(text.substr(equals), d.table2, d.key2)) return g_error = e;
  if (checkOnly) return 0;
  if (g_definitions.size() >= size_t(kMaxLinkDefinitions)) return g_error = kErrOutOfMemory;
  g_definitions.push_back(d);
  if (byJob)
    ++g_jobCount;
  else
    g_protected = int(g_definitions.size());
  return 0;
}

// ---------------------------------------------------------------------------
// Resolving the tree

KeyDescription FieldLinkKey(uint16_t field) {
  KeyDescription key{};
  Zet00::SetKeyPart(key.data(), 0, {field, kFieldKeyLength, Common::kTypeLink});
  return key;
}

void Place(int child, int parent, uint8_t linkIndex, const KeyDescription& key) {
  TZetTable& t = *ZetTable::Table(child);
  t.masterTable = uint8_t(parent);
  t.linkIndex = linkIndex;
  t.linkKeyDescription = key;
  ZetTable::ExcludeHandle(g_remaining, child);
  ZetTable::IncludeHandle(g_placed, child);
}

// Tries child under parent through the child's index for its side. The
// attempt counts as done once both tables qualify, even when no index can be
// found or made (the child then stays remaining).
bool TryChild(int child, int parent, const KeyDescription& childKey, const KeyDescription& parentKey) {
  if (!In(g_remaining, child) || !In(g_placed, parent)) return false;
  const int index = Zet00::FindOrCreateIndex(child, childKey.data(), true);
  if (index >= 0) Place(child, parent, uint8_t(index), parentKey);
  return true;
}

void ApplyDefinitions() {
  for (int pass = 0; pass < ZetTable::OpenCount(); ++pass) {
    if (g_remaining == 0) return;
    bool productive = false;
    for (auto d = g_definitions.rbegin(); d != g_definitions.rend(); ++d) {
      if (g_remaining == 0) return;
      if (!d->inUse || In(g_excluded, d->table1) || In(g_excluded, d->table2)) continue;
      if (TryChild(d->table1, d->table2, d->key1, d->key2) || TryChild(d->table2, d->table1, d->key2, d->key1)) {
        d->inUse = false;
        productive = true;
      }
    }
    if (!productive) return;
  }
}

void FollowRelationFields(int slot);
void FollowLinkFields(int slot);

// Follows the tables a field walk placed, the last placed first.
void FollowStacked(std::vector<int>& stack) {
  while (!stack.empty() && g_remaining != 0) {
    const int slot = stack.back();
    stack.pop_back();
    FollowRelationFields(slot);
    FollowLinkFields(slot);
  }
}

// Places the relation table of every R field under the table and the related
// table under its relation table.
void FollowRelationFields(int slot) {
  if (g_remaining == 0 || !Zet01::HasLinks(slot)) return;
  const TZetTable& t = *ZetTable::Table(slot);
  std::vector<int> stack;
  for (uint16_t n = 1; n <= t.fieldCount && n < t.bindings.size(); ++n) {
    if (t.FieldType(n) != Common::kTypeRelation) continue;
    const int relation = t.bindings[n].linkedTable;
    const int related = t.bindings[n].relatedTable;
    // The relation table finds its entries by the table's auto number.
    if (relation == 0 || related == 0 || relation == related || t.autoNumberField == 0) continue;
    if (!In(g_remaining, relation) || !In(g_remaining, related)) continue;
    Place(related, relation, kNumberIndex, FieldLinkKey(kRelatedField));
    Place(relation, slot, kRelationOwnerIndex, FieldLinkKey(t.autoNumberField));
    if (g_remaining == 0) break;
    stack.push_back(related);
  }
  FollowStacked(stack);
}

// Places the linked table of every L field under the table.
void FollowLinkFields(int slot) {
  if (g_remaining == 0 || !Zet01::HasLinks(slot)) return;
  const TZetTable& t = *ZetTable::Table(slot);
  std::vector<int> stack;
  for (uint16_t n = 1; n <= t.fieldCount && n < t.bindings.size(); ++n) {
    if (t.FieldType(n) != Common::kTypeLink) continue;
    const int linked = t.bindings[n].linkedTable;
    if (linked == 0 || !In(g_remaining, linked)) continue;
    Place(linked, slot, kNumberIndex, FieldLinkKey(n));
    if (g_remaining == 0) break;
    stack.push_back(linked);
  }
  FollowStacked(stack);
}

// The L field of a table that links it towards the tree: no null flag, an
// index of the table keyed by it, and a linked table that is the current
// table (or any placed table) with an auto-number field. 0 when none.
uint16_t FieldTowardsTree(const TZetTable& t, bool towardsCurrentOnly) {
  for (uint16_t n = 1; n <= t.fieldCount && n < t.bindings.size(); ++n) {
    if ((t.TypeByte(n) & (ZetTable::kTypeCodeMask | ZetTable::kTypeNullable)) != Common::kTypeLink) continue;
    const int parent = t.bindings[n].linkedTable;
    if (t.bindings[n].indexSlot == 0) continue;
    if (towardsCurrentOnly ? parent != ZetTable::CurrentHandle() : !In(g_placed, parent)) continue;
    if (const TZetTable* p = OpenSlot(parent); p && p->autoNumberField != 0) return n;
  }
  return 0;
}

void LinkTowardsTree(bool towardsCurrentOnly) {
  bool placedAny = true;
  while (placedAny && g_remaining != 0) {
    placedAny = false;
    for (int h = 1; h <= ZetTable::OpenCount() && g_remaining != 0; ++h) {
      const TZetTable* t = ZetTable::Table(h);
      if (!In(g_remaining, h) || !t || t->aliasOf != 0 || t->fieldCount == 0 || !Zet01::HasLinks(h)) continue;
      const uint16_t n = FieldTowardsTree(*t, towardsCurrentOnly);
      if (n == 0) continue;
      const int parent = t->bindings[n].linkedTable;
      Place(h, parent, t->bindings[n].indexSlot, FieldLinkKey(ZetTable::Table(parent)->autoNumberField));
      placedAny = true;
      FollowRelationFields(h);
      FollowLinkFields(h);
    }
  }
}

// After tables were closed: forget the parents and the visibility of closed
// tables, so nothing follows a slot that is empty now.
void ForgetClosedTables() {
  uint64_t open = 0;
  for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
    TZetTable* t = ZetTable::Table(h);
    if (!t) continue;
    ZetTable::IncludeHandle(open, h);
    if (t->masterTable != 0 && !OpenSlot(t->masterTable)) t->masterTable = 0;
  }
  ZetTable::SetVisibleTableSet(ZetTable::VisibleTableSet() & open);
}

// Called when tables were closed from a slot upwards.
void DropLinksOfClosedTables(bool all) {
  if (all) {
    FreeLinkDefinitions();
    Zet01::ResetLinkChain();
    ResolveLinkTree();
    return;
  }
  DropDefinitionsOfClosedTables();
  Zet01::ValidateLinkChain();
  ForgetClosedTables();
}

void ResetState() {
  g_definitions.clear();
  g_protected = 0;
  g_jobCount = 0;
  g_error = 0;
  g_baseCount = 0;
  g_remaining = g_placed = g_excluded = g_selected = 0;
  CompileErrorHook = nullptr;
}

}  // namespace

uint16_t LinkError() { return g_error; }
void ClearLinkError() { g_error = 0; }

uint16_t AddLinkDefinition(std::string_view text, bool checkOnly) { return AddDefinition(text, checkOnly, false); }
uint16_t AddJobLinkDefinition(std::string_view text) { return AddDefinition(text, false, true); }

int DefinitionCount() { return int(g_definitions.size()); }
int LinkDefinitionCount() { return g_jobCount; }

void DropLinkDefinitionsAbove(int count) {
  while (g_jobCount > std::max(count, 0) && int(g_definitions.size()) > g_protected) {
    g_definitions.pop_back();
    --g_jobCount;
  }
}

void FreeLinkDefinitions() {
  g_definitions.clear();
  g_protected = 0;
  g_jobCount = 0;
}

void DropDefinitionsOfClosedTables() {
  for (int i = int(g_definitions.size()) - 1; i >= 0; --i) {
    const TLinkDefinition& d = g_definitions[size_t(i)];
    if (OpenSlot(d.table1) && OpenSlot(d.table2)) continue;
    g_definitions.erase(g_definitions.begin() + i);
    if (i < g_protected)
      --g_protected;
    else if (g_jobCount > 0)
      --g_jobCount;
  }
}

uint16_t ParseTableList(std::string_view text, bool checkOnly) {
  CloseTemporaryTables(false);
  g_selected = 0;
  g_error = 0;
  size_t p = 1;
  while (g_error == 0) {
    Common::SkipBlanks(text, p);
    if (p > text.size()) {
      g_error = kErrIncomplete;  // an empty item
      break;
    }
    if (text[p - 1] == kJobDefinitionMark) {
      const size_t start = p + 1;
      uint16_t unmatched = 0;
      p = FindOutsideBrackets(text, start, kItemSeparator, unmatched);
      if (unmatched != 0) {
        g_error = unmatched;
        break;
      }
      const std::string_view definition = text.substr(start - 1, p - start);
      if (checkOnly)
        AddLinkDefinition(definition, true);
      else
        AddJobLinkDefinition(definition);
    } else {
      ShortStr name;
      Common::ReadWord(text, p, name);
      Common::SkipBlanks(text, p);
      if (name.empty()) {
        g_error = kErrIncomplete;
      } else if (p <= text.size() && text[p - 1] == kSideSeparator) {
        ++p;
        ShortStr target;
        Common::ReadWord(text, p, target);
        const int h = target.empty() ? 0 : ZetTable::FindOpenTable(target);
        if (h == 0)
          g_error = kErrTableExpected;
        else
          OpenAlias(name, h);
      } else if (const int h = ZetTable::FindOpenTable(name); h != 0) {
        ZetTable::IncludeHandle(g_selected, h);
      } else {
        g_error = kErrTableExpected;
      }
    }
    if (g_error != 0) break;
    Common::SkipBlanks(text, p);
    if (p > text.size()) break;
    if (text[p - 1] != kItemSeparator) {
      g_error = kErrIncomplete;
      break;
    }
    ++p;
  }
  if (g_error != 0) {
    if (CompileErrorHook) CompileErrorHook(g_error, p);
    return g_error;
  }
  // The parents the linked reads will follow are those of the new tree.
  ResolveLinkTree();
  g_selected = ZetTable::LinkedTableSet(g_selected);
  return 0;
}

uint64_t SelectedTableSet() { return g_selected; }
void ClearSelectedTableSet() { g_selected = 0; }

void ResolveLinkTree() {
  const int current = ZetTable::CurrentHandle();
  g_placed = 0;
  if (!OpenSlot(current)) {
    ZetTable::SetVisibleTableSet(g_placed);
    return;
  }
  uint64_t open = 0;
  g_remaining = g_excluded = 0;
  for (TLinkDefinition& d : g_definitions) d.inUse = true;
  for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
    TZetTable* t = ZetTable::Table(h);
    if (!t) continue;
    ZetTable::IncludeHandle(open, h);
    t->masterTable = 0;
    if (h != current) ZetTable::IncludeHandle(t->aliasOf != 0 ? g_excluded : g_remaining, h);
  }
  ZetTable::SetOpenTableSet(open);
  ZetTable::IncludeHandle(g_placed, current);
  g_error = 0;

  ApplyDefinitions();
  if (ZetTable::Table(current)->aliasOf == 0) {
    // A relation table follows the tables it links first, any other table
    // its relations first.
    if (ZetTable::Table(current)->isRelationTable) {
      FollowLinkFields(current);
      FollowRelationFields(current);
    } else {
      FollowRelationFields(current);
      FollowLinkFields(current);
    }
    g_remaining |= g_excluded;
    g_excluded = 0;
    ApplyDefinitions();
    LinkTowardsTree(true);
    LinkTowardsTree(false);
    ApplyDefinitions();
    for (int h = 1; h <= ZetTable::OpenCount(); ++h) {
      TZetTable* t = ZetTable::Table(h);
      if (h == current || !t || !In(g_placed, h)) continue;
      t->orderMode = ZetTable::kOrderIndex;
      t->currentIndex = t->linkIndex;
    }
  }
  ZetTable::SetVisibleTableSet(g_placed);
}

int SelectPrimaryTable(int slot) {
  Zet01::SetCurrentTable(slot);
  ResolveLinkTree();
  if (g_error == 0) return 0;
  Common::SetError(kErrIllegalLink, {});
  return kErrIllegalLink;
}

int OpenAlias(std::string_view aliasName, int slot) {
  const TZetTable* source = OpenSlot(slot);
  if (!source) return g_error = kErrTableExpected;
  if (ZetTable::FindOpenTable(aliasName) != 0) return g_error = kErrAlreadyOpen;
  const int aliasSlot = ZetTable::OpenCount() + 1;
  if (aliasSlot > ZetTable::kMaxOpenTables) return g_error = kErrTooManyTables;

  std::unique_ptr<TZetTable> alias = TZetTable::CreateCopy(*source, source->version);
  alias->bindings = source->bindings;
  if (alias->orderMode == ZetTable::kOrderMarks) alias->orderMode = ZetTable::kOrderRecords;
  const std::string_view extension = source->isRelationTable ? kRelationExtension : kTableExtension;
  alias->fileName = Common::AppendStrCopy(Common::BaseName(aliasName), extension);
  // Every alias reads through the table that owns the file.
  alias->aliasOf = uint8_t(source->aliasOf != 0 ? source->aliasOf : slot);
  // The index layer sends the alias's index work to the table's own trees
  // (a second tree writing the same file would overwrite the first one's
  // pages); the alias itself opens no file but its own temporary indexes.
  // It keeps the table's open mode (the copy took it) and so writes what
  // the table may write: its records go to the table's file, and its own
  // temporary indexes take their keys (opened read-only, an edit through
  // the alias could not write them).
  alias->recordBuffer.assign(alias->recordLength, 0);
  alias->currentRecord = 0;
  alias->masterTable = 0;
  // The table's temporary indexes are its own: closing the alias must not
  // delete their files.
  for (int index = alias->highestIndexSlot; index >= 0; --index) {
    const auto& d = alias->indexes[size_t(index)];
    if (d && d->fileName.view().find(Zet00::kTemporaryMark) != std::string_view::npos)
      Zet00::RemoveIndexSlot(*alias, index);
  }
  if (int e = ZetTable::InstallTable(aliasSlot, std::move(alias))) return g_error = uint16_t(e);
  ZetTable::SetOpenCount(aliasSlot);
  uint64_t open = ZetTable::OpenTableSet();
  ZetTable::IncludeHandle(open, aliasSlot);
  ZetTable::SetOpenTableSet(open);
  Zet01::StartRecordCache(aliasSlot);
  return 0;
}

void CloseTemporaryTables(bool resolve) {
  while (ZetTable::OpenCount() > g_baseCount) {
    const int top = ZetTable::OpenCount();
    const TZetTable* t = ZetTable::Table(top);
    if (t && t->aliasOf == 0) break;
    if (t) Zet01::CloseTable(top);
    uint64_t open = ZetTable::OpenTableSet();
    ZetTable::ExcludeHandle(open, top);
    ZetTable::SetOpenTableSet(open);
    ZetTable::SetOpenCount(top - 1);
  }
  DropLinkDefinitionsAbove(0);
  Zet01::ValidateLinkChain();
  if (ZetTable::CurrentHandle() > ZetTable::OpenCount()) ZetTable::SetCurrentHandle(ZetTable::OpenCount());
  if (resolve) ResolveLinkTree();
}

void RememberBaseTableCount() { g_baseCount = ZetTable::OpenCount(); }
void ForgetBaseTableCount() { g_baseCount = 0; }
int BaseTableCount() { return g_baseCount; }

void UnitInit() {
  ResetState();
  Zet06::DropLinksHook = DropLinksOfClosedTables;
}

void UnitDone() {
  Zet06::DropLinksHook = nullptr;
  ResetState();
}

}  // namespace LINKFILE
