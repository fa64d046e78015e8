#include "engine/language/jobrun.h"

#include <algorithm>
#include <array>
#include <cstdio>
#include <vector>
#include <cstring>
#include <string>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/shortstr.h"
#include "engine/base/userbreak.h"
#include "engine/language/bytecode.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/lineformat.h"
#include "engine/language/pageformat.h"
#include "engine/language/printcalls.h"
#include "engine/language/selection.h"
#include "engine/language/formulas.h"
#include "engine/language/tableservices.h"
#include "engine/language/variables.h"
#include "engine/storage/btree_bulk.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/zet01_links.h"
#include "engine/storage/zet01_navigation.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"

namespace JobRun {
namespace {

using namespace JobImage;

constexpr uint16_t kErrOutputFile = 3;
constexpr uint16_t kErrTypes = 44;
constexpr uint16_t kErrSeparator = 56;
constexpr uint16_t kErrTableExpected = 58;
constexpr uint16_t kErrUnknown = kErrBadCode;

struct TState {
  const JobCompile::TJob* job = nullptr;
  std::string_view code;
  JobFormat::TDotState dots;
  uint16_t error = 0;
  bool stop = false, breakRequest = false, exit = false;
  // Halt: the whole run ends quietly (no error, no break); nothing clears it.
  bool halted = false;
  bool pageBegun = false, outputInitialised = false, newPagePerRecord = false;
  bool nlSuppressed = false;
  int depth = 0;
  std::string selection;
  uint64_t relationTables = 0;  // the tables the last RELATION named
  bool relationRan = false;
  bool firstGroup = true;
  bool groupValueIsText = false;
  std::string groupText;
  double groupNumber = 0;
  std::FILE* file = nullptr;
  bool running = false;
  size_t loads = 0;  // programs loaded when the context began
  int16_t blocksOnPage = 0;  // record blocks side by side on the page (RW)
  Zet02::TRunValue lastValue;  // the result area: the last evaluated value
};
TState g;
bool g_breakFromHost = false;

uint16_t RunSection(int n);
void BeginPage();
void EndPage(bool last, bool footer);

void PageBreak(uint16_t) {
  if (g.file && g.dots.ff) std::fputc('\f', g.file);
  if (!PageFormat::Layout().pageBreakPending && g.pageBegun) {
    EndPage(false, g.dots.fl);
    BeginPage();
  }
}

void InitOutput() {
  PrintCalls::Slots().beginPage();
  g.pageBegun = true;
  PrintCalls::SetOutputActive(true);
  if (g.outputInitialised) return;
  g.outputInitialised = true;
  uint16_t width = 0, length = 0;
  PrintCalls::Slots().pageSize(&width, &length);
  PageFormat::Layout().unitX = PageFormat::Layout().unitY = 0;
  // Each value goes to the parameter that bears its name.
  PageFormat::InitPageFormatter(int16_t(std::min<uint16_t>(width, 32767)), int16_t(std::min<uint16_t>(length, 32767)),
                                g.dots.topMargin, g.dots.leftOffset, g.dots.bottomMargin, g.dots.rightMargin,
                                int16_t(g.job->image.settings.footerHeight));
  PageFormat::SetPrinting(true);
}

void BeginPage() {
  if (PageFormat::Layout().pageBreakPending || !g.dots.gc) return;
  if (!g.pageBegun) InitOutput();
  if (g.dots.columns > 0) {
    // RW: each record block stands one column further right on the page.
    PageFormat::TLayout& l = PageFormat::Layout();
    l.printOffsetX = g.blocksOnPage > 0
                         ? int16_t(l.printOffsetX + (l.pageWidth - g.dots.leftOffset - g.dots.rightMargin) /
                                                        g.dots.columns)
                         : 0;
    ++g.blocksOnPage;
  }
  PageFormat::NewPageTop();
  PageFormat::Layout().lineCounter = uint16_t(g.dots.topMargin);
  ZetVars::SetSystemVarInt(ZetVars::kSysSeite, uint16_t(g.dots.pageNumber));
  if (g.dots.hf && !g.dots.he) {
    const bool nl = g.dots.nl;
    g.dots.nl = true;
    RunSection(kSectionHeader);
    g.dots.nl = nl;
  }
  g.dots.he = false;
}

void EndPage(bool last, bool footer) {
  if (!g.pageBegun) return;
  if (g.breakRequest && g_breakFromHost) {
    PrintCalls::Slots().endPage(-1);
    g.pageBegun = false;
    return;
  }
  if (footer && g.job->image.sections[kSectionFooter - 1] != 0) {
    PageFormat::MoveToPageEnd();
    const bool nl = g.dots.nl;
    g.dots.nl = true;
    RunSection(kSectionFooter);
    g.dots.nl = nl;
    PageFormat::ClearPageBreakPending();
  }
  // The page is not done before its RW record blocks stand on it.
  if (!last && g.dots.columns > 0 && g.blocksOnPage != g.dots.columns) return;
  g.blocksOnPage = 0;
  const int16_t code = g.error != 0 ? int16_t(-int(g.error)) : last ? 1 : 0;
  g.pageBegun = false;
  ++g.dots.pageNumber;
  if (PrintCalls::Slots().endPage(code) < 0) g.stop = true;
}

// Dot-command effects while the job runs.
void NewPageNow() { PageBreak(0); }
void ConditionalPage(int16_t lines) {
  if (g.pageBegun && PageFormat::WouldOverflow(lines)) PageBreak(0);
}
void SuppressLineEnd() { g.nlSuppressed = true; }
void StopJob() {
  g.stop = true;
  g.breakRequest = true;
}
void SetPageLength(int16_t lines) { PageFormat::SetPageLength(lines); }
void SetPageWidth(int16_t columns) { PageFormat::SetPageWidth(columns); }
void MarginsChanged() {
  if (!g.outputInitialised) return;
  PageFormat::SetLeftMargin(g.dots.leftOffset);
  PageFormat::SetRightMargin(g.dots.rightMargin);
  PageFormat::SetBottomMargin(g.dots.bottomMargin);
}
void HorizontalRule(int16_t n) { PageFormat::DrawHorizontalRule(n); }
void CloseRules() { PageFormat::DrawVerticalRules(); }
void RuledColumn(int16_t n) { PageFormat::AddRuledColumn(n); }
void Displace(bool vertical, int16_t units) {
  if (vertical) PageFormat::Layout().y = int16_t(PageFormat::Layout().y + units);
  else PageFormat::Layout().printOffsetX = units;
}
void PageNumber(int16_t n) { ZetVars::SetSystemVarInt(ZetVars::kSysSeite, uint16_t(n)); }
const JobFormat::TDotActions kActions = {NewPageNow, ConditionalPage, SuppressLineEnd, StopJob,
                                         SetPageLength, SetPageWidth, MarginsChanged, HorizontalRule,
                                         CloseRules, RuledColumn, Displace, PageNumber};

// A checked reader of operands.
struct TCursor {
  std::string_view code;
  size_t pos;  // 1-based position of the next byte
  bool ok = true;
  const uint8_t* At(size_t n) {
    if (pos < 1 || pos - 1 > code.size() || code.size() - (pos - 1) < n) {
      ok = false;
      return nullptr;
    }
    const uint8_t* p = reinterpret_cast<const uint8_t*>(code.data()) + pos - 1;
    pos += n;
    return p;
  }
  std::string_view Counted() {
    const uint8_t* n = At(1);
    if (!n) return {};
    const uint8_t* p = At(*n);
    return p ? std::string_view(reinterpret_cast<const char*>(p), *n) : std::string_view();
  }
};

void GroupChange(uint64_t tables) {
  const uint16_t var = g.job->image.settings.groupVariable;
  if (!g.dots.gc || var == 0) return;
  Zet02::TRunValue value;
  if (Zet02::GetVariableValue(var, 3, value) != 0) return;
  const bool isText = value.type == Zet02::kValString;
  const bool changed = g.firstGroup || isText != g.groupValueIsText ||
                       (isText ? g.groupText != value.text.view() : g.groupNumber != value.number);
  if (const uint16_t old = ZetVars::FindVariable("G_alt"); old != 0 && !g.firstGroup) {
    ZetVars::TVarValue v;
    v.text = g.groupText;
    v.number = g.groupNumber;
    ZetVars::SetVariable(old, g.groupValueIsText ? ZetVars::kTypeString : ZetVars::kTypeReal, v, 0);
  }
  if (changed) {
    if (!g.firstGroup) RunSection(kSectionGroupFooter);
    RunSection(kSectionGroupHeader);
    Zet02::ResetStatFuncs(0, false, tables);
  }
  g.firstGroup = false;
  g.groupValueIsText = isText;
  g.groupText = std::string(value.text.view());
  g.groupNumber = value.number;
}

uint16_t RunCode(size_t start, uint64_t tables);

bool Accepted(ShortStr& selection) {
  if (selection.empty()) return true;
  int error = 0, dependency = 0;
  ShortStr copy = selection;
  const bool hit = Zet02::EvalSelection(copy, 3, error, dependency);
  if (error > 0) g.error = uint16_t(error);
  return hit;
}

void RunBody(size_t body, uint64_t tables) {
  do {
    RunCode(body, tables);
  } while (!g.stop && g.error == 0 && LineFormat::AnyColumnContinues());
}

// A sort pool: per collected record (or combination of linked records) its
// key and the record numbers that bring it back.
// The sort pool of a loop: per record its sort key and a copy of the key
// table's record, one after the other in one block of bytes (a pool of many
// records takes few allocations), and the record numbers of the loop's
// tables.
struct TPoolEntry {
  size_t at = 0;  // the key's offset in the pool's bytes; the record follows it
  int keySlot = 0;
  uint32_t recno = 0;                                 // of the key's table
  std::vector<std::pair<int, uint32_t>> others;  // the other tables' records
};
struct TPool {
  std::vector<uint8_t> bytes;
  std::vector<TPoolEntry> entries;
  size_t keyLength = 0;
  const uint8_t* Key(const TPoolEntry& e) const { return bytes.data() + e.at; }
  const uint8_t* Record(const TPoolEntry& e) const { return bytes.data() + e.at + keyLength; }
};

// Adds the current record of keySlot, with the current records of the
// other tables of set, under its sort key; false (error set) on failure.
bool Collect(TPool& pool, const TLoopDescriptor& d, int keySlot, uint64_t set) {
  ZetTable::TZetTable* k = ZetTable::Table(keySlot);
  if (!k) {
    g.error = kErrTableExpected;
    return false;
  }
  TPoolEntry entry{pool.bytes.size(), keySlot, k->currentRecord, {}};
  for (int slot = 1; set != 0 && slot <= 64; ++slot)
    if (slot != keySlot && Common::BitIn64(set, slot - 1) && ZetTable::Table(slot))
      entry.others.emplace_back(slot, ZetTable::Table(slot)->currentRecord);
  std::array<uint8_t, ZetTable::kMaxKeySize> key{};
  if (const int e = Zet00::MakeKey(keySlot, -1, k->recordBuffer.data(), key.data(), k->currentRecord, d.key.data());
      e != 0) {
    g.error = uint16_t(e);
    return false;
  }
  pool.keyLength = std::min<size_t>(key.size(), Zet00::KeyLength(d.key.data()));
  pool.bytes.insert(pool.bytes.end(), key.begin(), key.begin() + ptrdiff_t(pool.keyLength));
  pool.bytes.insert(pool.bytes.end(), k->recordBuffer.begin(), k->recordBuffer.end());
  pool.entries.push_back(std::move(entry));
  return true;
}

void SortPool(TPool& pool, const TLoopDescriptor& d) {
  std::stable_sort(pool.entries.begin(), pool.entries.end(), [&](const TPoolEntry& a, const TPoolEntry& b) {
    return Zet00::CompareKeys(pool.Key(a), pool.Key(b), d.key.data(), false, true) < 0;
  });
}

// The pool's entries in key order for a pool whose keys all differ (each
// holds another record number of the key's table): the keys alone, each with
// its entry's number behind it, go through the key sorter, which orders most
// of them by their sort forms; an empty list when the sort failed (error
// set: a write error).
std::vector<uint32_t> SortedEntries(const TPool& pool, const TLoopDescriptor& d) {
  std::vector<uint32_t> order;
  if (pool.entries.empty()) return order;
  constexpr size_t kNumber = sizeof(uint32_t);
  BTREES::TKeySorter sorter(uint16_t(pool.keyLength + kNumber), Zet00::KeyBefore, d.key.data());
  sorter.KeysDistinct();
  sorter.Reserve(pool.entries.size());
  std::array<uint8_t, ZetTable::kMaxKeySize + kNumber> key{};
  for (size_t i = 0; i < pool.entries.size(); ++i) {
    std::memcpy(key.data(), pool.Key(pool.entries[i]), pool.keyLength);
    bytes::PutU32(key.data() + pool.keyLength, uint32_t(i));
    sorter.Add(key.data());
  }
  // Only the temporary file of a sort too large for memory can fail.
  if (sorter.Sort(Zet00::KeyBefore, d.key.data()) != 0) {
    g.error = Common::kErrWrite;
    return order;
  }
  order.reserve(sorter.Size());
  sorter.Rewind();
  while (const uint8_t* k = sorter.Next()) order.push_back(bytes::GetU32(k + pool.keyLength));
  return order;
}

// Puts a pooled copy of the table's current record back into its buffer,
// with the current key in index order, as a read would; 0 or the error.
int Restore(int slot, ZetTable::TZetTable& t, const uint8_t* record) {
  t.recordBuffer.assign(record, record + t.recordLength);
  if (t.orderMode != ZetTable::kOrderIndex || !t.indexes[t.currentIndex]) return 0;
  return Zet00::MakeKey(slot, t.currentIndex, t.recordBuffer.data(), t.currentKey.data(), t.currentRecord);
}

// Reads the records of a pool entry back into their tables.
bool Restore(const TPoolEntry& entry) {
  auto read = [](int slot, uint32_t recno) {
    ZetTable::Table(slot)->currentRecord = recno;
    const int e = Zet01::ReadRecord(slot, recno);
    if (e != 0) g.error = uint16_t(e);
    return e == 0;
  };
  if (!read(entry.keySlot, entry.recno)) return false;
  for (const auto& [slot, recno] : entry.others)
    if (!read(slot, recno)) return false;
  return true;
}

// A loop nested in another: the enclosing loop's record stays; the body
// runs for every accepted combination of the linked records of its own
// tables, with the first of them in the chain made current. A sorted loop
// collects the combinations first and runs them in key order.
void NestedLoop(const TLoopDescriptor& d, size_t body, ShortStr& selection, uint64_t tables) {
  const int primary = ZetTable::CurrentHandle();
  Zet01::PushLinkState();
  Zet02::ResetStatFuncs(0, false, d.loopTables);
  auto run = [&] {
    LINKFILE::SelectPrimaryTable(Zet01::FirstChainTableInSet(tables));
    RunBody(body, d.loopTables);
    LINKFILE::SelectPrimaryTable(primary);
  };
  TPool pool;
  if (Zet01::ReadFirstLinked(primary, true, tables) == 0) {
    do {
      if (Zet01::NotFoundSet() != 0 || !Accepted(selection)) continue;
      if (!d.sorted) run();
      else if (!Collect(pool, d, d.keyTable, tables)) break;
    } while (!g.stop && g.error == 0 && !g.exit && Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  }
  SortPool(pool, d);
  for (const TPoolEntry& e : pool.entries) {
    if (g.stop || g.error != 0 || g.exit || !Restore(e)) break;
    run();
  }
  Zet01::PopLinkState();
  Zet02::UpdateStatFuncs(d.loopTables | 1);
}

// The record loop of opcode 7 whose descriptor starts at position at.
void RecordLoop(const TLoopDescriptor& d, size_t body) {
  ShortStr selection;
  uint64_t selectionTables = d.selectionTables;
  if (d.textForm) {
    // The selection's text: the last SELECTION's, or what the descriptor's
    // code gives now; it is compiled for this run of the loop.
    if (d.selectionFlag) {
      selection = g.selection;
    } else if (!d.selection.empty()) {
      Zet02::TRunValue text;
      size_t pos = 0;
      int dependency = 0;
      const int e = Zet02::ExecuteCode(d.selection, pos, 3, text, dependency);
      g.error = e > 0 ? uint16_t(e) : text.type != Zet02::kValString ? kErrTypes : 0;
      selection = text.text;
    }
    selectionTables = 0;
    if (g.error == 0 && !selection.empty()) g.error = Zet02::CompileExpression(selection, selectionTables);
    if (g.error != 0) {
      g.stop = true;
      return;
    }
  } else {
    selection = d.selection;
  }
  // In a program a loop over other tables than the current one steps only
  // through linked records.
  const int slot = ZetTable::CurrentHandle();
  const uint64_t own = slot >= 1 && slot <= 64 ? uint64_t(1) << (slot - 1) : 0;
  const bool defaultTables =
      d.defaultTables && !(g.job->image.program && d.loopTables != 0 && (d.loopTables & own) == 0);
  const uint64_t tables = d.loopTables | selectionTables | (defaultTables ? g.relationTables : 0);
  if (tables == 0) return;
  if (!Zet06::TablesInOpenSet(tables)) {
    g.error = kErrTableExpected;
    g.stop = true;
    return;
  }
  ZetTable::TZetTable* t = ZetTable::Table(slot);
  if (!t) {
    g.error = kErrTableExpected;
    return;
  }
  if (!defaultTables) {
    NestedLoop(d, body, selection, tables);
    return;
  }
  Zet01::PushLinkState();
  Zet02::ResetStatFuncs(0, false, d.loopTables);
  const bool linked = (tables & ~own) != 0;
  bool first = true;
  // One record of the pass (read, or the copy a sort pool kept): every
  // accepted combination of its linked records runs the body.
  auto process = [&](uint32_t recno, const uint8_t* pooled) {
    t->currentRecord = recno;
    const int e = pooled ? Restore(slot, *t, pooled) : Zet01::ReadRecord(slot, recno);
    if (e != 0) {
      g.error = uint16_t(e);
      return;
    }
    if (linked && Zet01::ReadFirstLinked(slot, true, tables) != 0) return;
    do {
      if (linked && Zet01::NotFoundSet() != 0) continue;
      if (!Accepted(selection)) continue;
      GroupChange(d.loopTables);
      if (g.newPagePerRecord && !first) PageBreak(0);
      first = false;
      RunBody(body, d.loopTables);
    } while (linked && !g.stop && g.error == 0 && Zet01::ReadNextLinked(Zet01::LinkLevelOfTable(0)));
  };
  auto goOn = [&] {
    if (g.stop || g.error != 0 || g.exit) return false;
    if (Common::BreakEnabled && Common::UserBreakRequested()) {
      g.breakRequest = true;
      return false;
    }
    return true;
  };
  uint16_t end = 0;
  if (d.sorted) {
    // Collecting pass: the key of every record, then the body in key order.
    TPool pool;
    const size_t expected = size_t(std::max(t->recordCount, 0));
    pool.entries.reserve(expected);
    pool.bytes.reserve(expected * (Zet00::KeyLength(d.key.data()) + t->recordLength));
    for (uint32_t recno = Zet01::FirstOrLastRecNo(slot, true, end); end == 0 && goOn();
         recno = Zet01::NextOrPriorRecNo(slot, true, end)) {
      t->currentRecord = recno;
      if (const int e = Zet01::ReadRecord(slot, recno); e != 0) {
        g.error = uint16_t(e);
        break;
      }
      if (!Collect(pool, d, slot, 0)) break;
    }
    for (const uint32_t i : SortedEntries(pool, d)) {
      if (!goOn()) break;
      process(pool.entries[i].recno, pool.Record(pool.entries[i]));
    }
  } else {
    for (uint32_t recno = Zet01::FirstOrLastRecNo(slot, true, end); end == 0 && goOn();
         recno = Zet01::NextOrPriorRecNo(slot, true, end))
      process(recno, nullptr);
  }
  if (!g.firstGroup && g.error == 0) RunSection(kSectionGroupFooter);
  Zet01::PopLinkState();
  Zet02::UpdateStatFuncs(d.loopTables);
  if (!Common::BreakEnabled) g.breakRequest = false;
}

// SOLVE with a computed argument: the statements of the text run one after
// another, separated by ";". 0 or the error.
// Runs compiled statements one after another, each starting where the one
// before stopped, a ";" between two: a line of several statements runs
// whole, not only its first. A soft stop ends the list without an error.
uint16_t RunStatements(std::string_view all, Zet02::TRunValue& value) {
  for (size_t pos = 0; pos < all.size();) {
    int dependency = 0;
    const int e = Zet02::ExecuteCode(all, pos, 3, value, dependency);
    if (e > 0) return uint16_t(e);
    if (e < 0 || pos >= all.size()) break;
    if (uint8_t(all[pos]) != ByteCode::tkSemicolon) {
      Common::SetErrorArgument(";");
      return kErrSeparator;
    }
    ++pos;
  }
  return 0;
}

uint16_t SolveStatements(const std::string& text, Zet02::TRunValue& value) {
  if (text.empty()) return 0;
  ShortStr code(text);
  uint64_t set = 0;
  if (const uint16_t e = Zet02::CompileExpression(code, set); e != 0) return e;
  return RunStatements(code.view(), value);
}

uint16_t RunCode(size_t start, uint64_t tables) {
  if (g.depth >= kMaxRunDepth) {
    g.error = kErrTooComplex;
    return 0;
  }
  ++g.depth;
  PageFormat::SetPendingStatUpdate(tables);
  g.exit = false;
  g.error = 0;
  TCursor c{g.code, start};
  Zet02::TRunValue value;
  bool lastCondition = false;
  std::string argument;
  // The expression of a DEF that the next assignment stores.
  std::string definition;
  bool definitionPending = false;
  for (;;) {
    if (g.breakRequest || g.stop) {
      if (g_breakFromHost) g.error = kErrBreak;
      break;
    }
    if (Common::BreakEnabled && Common::UserBreakRequested()) {
      g.breakRequest = true;
      break;
    }
    const uint8_t* opByte = c.At(1);
    if (!opByte) break;  // running off the end ends the run
    const size_t opPos = c.pos - 1;
    bool closing = false;
    switch (*opByte) {
      case opJump:
      case opJumpIfFalse: {
        const size_t operand = c.pos;
        const uint8_t* p = c.At(4);
        if (!p) break;
        if (*opByte == opJump || !lastCondition) {
          const int64_t target = int64_t(operand) + bytes::GetI32(p);
          if (target < 1 || target > int64_t(g.code.size())) {
            g.error = kErrUnknown;
            break;
          }
          c.pos = size_t(target);
        }
        break;
      }
      case opEnd:
      case opExit:
        if (*opByte == opExit) g.exit = true;
        closing = true;
        break;
      case opAssign: {
        const uint8_t* p = c.At(2);
        if (!p) break;
        ZetVars::TVarValue v;
        v.number = value.number;
        v.text = definitionPending ? std::string_view(definition) : value.text.view();
        const uint16_t type = definitionPending                   ? ZetVars::kTypeExpression
                              : value.type == Zet02::kValString ? ZetVars::kTypeString
                                                                : ZetVars::kTypeReal;
        definitionPending = false;
        g.error = ZetVars::SetVariable(bytes::GetU16(p), type, v, g.error);
        break;
      }
      case opDefBrace: {
        uint64_t set = 0;
        uint16_t error = 0;
        Zet02::CompileBrace("{" + argument + "}", set, error);
        g.error = error;
        break;
      }
      case opDefCode:
        definition = std::string(c.Counted());
        definitionPending = c.ok;
        break;
      case opSolve:
        g.error = SolveStatements(argument, value);
        if (g.dots.ec) g.error = 0;
        break;
      case opCompileArgument: {
        ShortStr text(argument);
        uint64_t set = 0;
        g.error = Zet02::CompileExpression(text, set);
        argument = std::string(text.view());
        break;
      }
      case opSetAccess:
        Zet00::SetOrderByName(ZetTable::CurrentHandle(), argument);
        break;
      case opFilter:
        Zet02::SetKeyFilter(ZetTable::CurrentHandle(), argument, "");
        break;
      case opPrimaryTable: {
        const uint8_t* p = c.At(1);
        if (!p) break;
        if (ZetTable::Table(*p) == nullptr) g.error = kErrTableExpected;
        else LINKFILE::SelectPrimaryTable(*p);
        break;
      }
      case opRelation:
        g.relationRan = true;
        g.error = LINKFILE::ParseTableList(argument, false);
        g.relationTables = g.error == 0 ? LINKFILE::SelectedTableSet() : 0;
        break;
      case opAppend:
      case opReplace: {
        ShortStr code(argument);
        uint64_t set = 0;
        g.error = Zet02::CompileExpression(code, set);
        if (g.error == 0)
          g.error = uint16_t(*opByte == opAppend ? Formeln::AppendAssignedRecord(code.view(), false)
                                                 : Formeln::ApplyAssignments(code.view(), false, tables));
        break;
      }
      case opCondition: {
        ShortStr code(c.Counted());
        int error = 0, dependency = 0;
        lastCondition = Zet02::EvalSelection(code, 3, error, dependency);
        g.error = error > 0 ? uint16_t(error) : 0;
        break;
      }
      case opRunCode:
      case opComputedArgument: {
        const std::string_view code = c.Counted();
        if (!c.ok) break;
        if (*opByte == opRunCode) {
          g.error = RunStatements(code, value);
          g.lastValue = value;
          break;
        }
        size_t pos = 0;
        int dependency = 0;
        const int e = Zet02::ExecuteCode(code, pos, 3, value, dependency);
        g.error = e > 0 ? uint16_t(e) : 0;
        // A computed argument: the text becomes the statement's argument.
        if (g.error == 0 && value.type != Zet02::kValString) g.error = kErrTypes;
        if (g.error == 0) argument = std::string(value.text.view());
        break;
      }
      case opRecordLoop: {
        TLoopDescriptor d;
        if (!DecodeDescriptor(g.code, c.pos - 1, d) || !UsableDescriptor(d) ||
            d.endPosition < 1 || d.endPosition > g.code.size()) {
          c.ok = false;
          break;
        }
        const size_t body = c.pos + kDescriptorFixed + 1 + d.selection.size();
        c.pos = d.endPosition;
        g.error = 0;
        RecordLoop(d, body);
        break;
      }
      case opText:
        argument = std::string(c.Counted());
        break;
      case opPrintSegment:
        ConditionalPage(1);
        if (g.stop || g.exit) break;
        if (g.pageBegun) g.error = LineFormat::FormatLine(argument, false);
        else g.error = 0;
        break;
      case opDotLine: {
        const std::string line(c.Counted());
        if (!c.ok) break;
        size_t column = 0;
        g.error = uint16_t(JobFormat::ApplyDotLine(line, false, g.dots, &kActions, column));
        ZetVars::SetErrorCheckSwitch(g.dots.ec);
        break;
      }
      case opSelection:
        g.selection = argument.substr(0, 255);
        break;
      case opLineEnd:
        if (!g.nlSuppressed && g.pageBegun) PageFormat::NewLineDefault();
        g.nlSuppressed = false;
        break;
      case opFont:
        PrintCalls::DefineFont(c.Counted());
        break;
      case opSetFont: {
        const uint8_t* p = c.At(2);
        if (p) PrintCalls::SelectFont(bytes::GetU16(p));
        break;
      }
      default:
        g.error = kErrUnknown;
        break;
    }
    if (!c.ok) g.error = kErrUnknown;
    (void)opPos;
    if (g.error != 0) {
      const bool trapped = g.dots.ec && c.ok && c.pos >= 1 && c.pos <= g.code.size() &&
                           uint8_t(g.code[c.pos - 1]) == opAssign;
      if (!trapped) closing = true;
    }
    if (g.exit) closing = true;
    if (closing) break;
  }
  if (PageFormat::Layout().statPending) Zet02::UpdateStatFuncs(tables);
  if (g.error != 0) g.stop = true;
  PageFormat::RestorePendingStatUpdate();
  --g.depth;
  return value.type;
}

uint16_t RunSection(int n) {
  const uint32_t start = g.job->image.sections[size_t(n - 1)];
  if (start == 0) return 0;
  const uint16_t saved = g.error;
  RunCode(start, 0);
  if (g.error == 0) g.error = saved;
  return g.error;
}

void JobBody() {
  PrintCalls::ClearFonts();
  PrintCalls::DefineStandardFonts();
  g.dots.pageNumber = 1;
  ZetVars::SetSystemVarInt(ZetVars::kSysSeite, 1);
  ZetVars::SetSystemVarInt(ZetVars::kSysZeile, 1);
  if (g.job->image.program) {
    BeginPage();
    RunCode(1, 0);
  } else {
    RunSection(kSectionPrelude);
    if (!g.dots.he) BeginPage();
    else InitOutput();
    if (!g.stop) RunSection(kSectionProlog);
    g.newPagePerRecord = g.job->image.settings.kind == 0;
    if (!g.stop) RunSection(kSectionData);
    if (!g.breakRequest && !g.pageBegun) InitOutput();
    if (!g.stop) RunSection(kSectionEpilog);
  }
  EndPage(true, g.dots.fl);
  PrintCalls::ClearFonts();
  LineFormat::ReleaseColumnStates();
}

}  // namespace

void RequestBreak() {
  g.breakRequest = true;
  g.stop = true;
  g.error = kErrBreak;
  g_breakFromHost = true;
}

void Halt() {
  if (!g.running) return;
  g.halted = true;
  g.stop = true;
}

// The interpreter's procedure call: runs the body of a procedure of the
// running job; its result is the value the body evaluated last (RETURN).
void StartContext(const JobCompile::TJob& job);
const JobCompile::TJob* g_loaded = nullptr;
size_t g_loads = 0;

int RunProcedure(uint16_t proc, Zet02::TRunValue& value) {
  if (g_loaded && (!g.running || g_loads > g.loads)) {
    // A procedure of the loaded program, called while no job runs or
    // loaded by the running code (ExecMacro).
    TState saved = std::move(g);
    StartContext(*g_loaded);
    const int error = RunProcedure(proc, value);
    g = std::move(saved);
    return error;
  }
  const ZetVars::TProcedure* p = ZetVars::GetProcedure(proc);
  if (!g.running || !p || p->entryOffset < 1 || p->entryOffset > g.code.size()) return 0;
  const Zet02::TRunValue savedValue = g.lastValue;
  const bool savedExit = g.exit;
  const bool savedStop = g.stop;
  g.lastValue = Zet02::TRunValue();
  RunCode(p->entryOffset, 0);
  const uint16_t error = g.error;
  if (p->resultType != 0 && g.lastValue.type != 0) value = g.lastValue;
  g.lastValue = savedValue;
  g.exit = savedExit;
  // The calling statement reports the error; the run goes on as it decides.
  g.error = 0;
  g.stop = savedStop || g.breakRequest || g.halted;
  return error;
}

void SetLoadedProgram(const JobCompile::TJob* program, size_t loads) {
  g_loaded = program;
  g_loads = loads;
  Zet02::TRunHooks hooks = Zet02::RunHooks();
  hooks.runProcedure = &RunProcedure;
  Zet02::SetRunHooks(hooks);
}

// A fresh job context for job; the interpreter's procedure calls reach it.
void StartContext(const JobCompile::TJob& job) {
  g = TState();
  g.job = &job;
  g.code = job.image.code;
  g.dots = job.dots;
  g.running = true;
  g.loads = g_loads;
  Zet02::TRunHooks hooks = Zet02::RunHooks();
  hooks.runProcedure = &RunProcedure;
  Zet02::SetRunHooks(hooks);
}

uint16_t RunProgramText(const std::vector<std::string>& lines) {
  TState saved = std::move(g);
  const bool breakEnabled = Common::BreakEnabled;
  const PrintCalls::TFontTable fonts = PrintCalls::SaveFonts();
  ZetVars::PushVarScope();
  PrintCalls::ClearFonts();
  PrintCalls::DefineStandardFonts();
  JobCompile::TJob job;
  uint16_t error = JobCompile::Compile(lines, true, "", job);
  if (error == 0) {
    StartContext(job);
    RunCode(1, 0);
    error = g.error;
  }
  ZetVars::PopVarScope();
  PrintCalls::RestoreFonts(fonts);
  // The host writes in the job's font again.
  if (PrintCalls::OutputActive() && fonts.current != 0) PrintCalls::SelectFont(fonts.current);
  Common::BreakEnabled = breakEnabled;
  g = std::move(saved);
  return error;
}

int SetJobParameter(std::string_view line) {
  size_t column = 0;
  const int e = JobFormat::ApplyDotLine(line, false, g.dots, g.running ? &kActions : nullptr, column);
  ZetVars::SetErrorCheckSwitch(g.dots.ec);
  return e;
}

double GetJobParameter(std::string_view command) {
  while (!command.empty() && (command[0] == '.' || command[0] == ' ')) command.remove_prefix(1);
  return JobFormat::QueryDot(command, g.dots);
}

int InitJobFont(std::string_view description) {
  const int e = PrintCalls::DefineFont(description);
  if (e != 0) return e;
  const size_t eq = description.find('=');
  ShortStr id(description.substr(0, eq));
  Common::TrimBlanks(id);
  PrintCalls::SelectFont(PrintCalls::FindFont(id.view()));
  return 0;
}

uint16_t RunJob(const JobCompile::TJob& job, std::string_view outputFile) {
  const TState saved = std::move(g);
  const bool breakEnabled = Common::BreakEnabled;
  StartContext(job);
  g.dots.gc = g.dots.nl = g.dots.hf = g.dots.fl = true;
  g_breakFromHost = false;
  const int linkDefinitions = LINKFILE::LinkDefinitionCount();
  const bool writeEnable = Zet02::WriteEnable();
  Zet02::SetWriteEnable(true);
  PageFormat::SetPageBreakProc(PageBreak);
  if (!outputFile.empty()) {
    g.file = std::fopen(std::string(outputFile).c_str(), "wb");
    if (!g.file) g.error = kErrOutputFile;
  }
  PageFormat::SetTextFile(g.file);
  if (g.error == 0 && PrintCalls::Slots().beginPrinting() >= 0) {
    JobBody();
    // The tables and link definitions that the job's RELATION statements
    // added go with the job.
    if (g.relationRan) {
      LINKFILE::CloseTemporaryTables(true);
      LINKFILE::DropLinkDefinitionsAbove(linkDefinitions);
    }
    PrintCalls::Slots().endPrinting();
  }
  if (g.file) std::fclose(g.file);
  PageFormat::SetTextFile(nullptr);
  PageFormat::SetPrinting(false);
  PageFormat::SetPageBreakProc(nullptr);
  PrintCalls::SetOutputActive(false);
  Zet02::SetWriteEnable(writeEnable);
  const uint16_t error = g.error;
  Common::BreakEnabled = breakEnabled;
  g = saved;
  return error;
}

}  // namespace JobRun
