// Making tables through the interface: a new table defined field by field by
// a host procedure, and the restructuring of an open table into a new field
// list that keeps its records.
//
// Creation turns each field definition into a 46-byte descriptor (layout
// byte 0 = 1, byte 1 the packed screen position, the name as "name: ", size,
// width, type byte with the property bits), collects formulas, value ranges
// and choice lists, compiles the identifier key of a table with an N field,
// and hands the object to the table creator, which writes the file set whole
// or not at all.
//
// Restructuring works beside the table, never on it:
//   1. The new table is created in the work directory "~<name>" next to the
//      table, under the table's own file name, with the user indexes whose
//      key fields all survive unchanged in type and size (their keys
//      translated to the new field numbers). A user index whose key field
//      changed type or size is built again after the copy over the new
//      field (by its number), and one whose key holds an expression or a
//      variable from its key text. No index goes silently: one that cannot
//      be built (its description does not compile over the new structure,
//      or a key field is not filled from the old one) is left out, and the
//      restructure answers 0 with that error and "<index>: <key text>" (all
//      such indexes, separated by "; ") as the last error. Every record is copied into it
//      through the field map; the old table stays open and untouched. The
//      relation table of every relation field that names an old relation
//      field as its source is copied beside it under the name the new field
//      gives (its entries belong to identifiers, so this needs the
//      identifiers carried over; otherwise the restructure is refused). Any
//      failure up to here removes the work directory: the old table is as it
//      was.
//   2. The commit is one rename: the journal "RESTRUCT.JNL" in the work
//      directory, listing the new files and the old set's files (with the
//      relation tables that moved), appears whole or not at all. A new file
//      whose name a file outside the old set holds is refused before: the
//      swap would push that file out.
//   3. After the commit the swap moves each old file into the backup
//      directory "$<name>" and each new file into the table's directory. A
//      failing step moves everything back and removes the journal (the old
//      table is whole again); a process that dies meanwhile leaves the
//      journal, and the next open of the table (or restructure) finishes the
//      swap. Every step of the swap can be taken again, so a swap that is
//      finished twice ends the same: the new table, whole.
//   4. Only when every new file is in place are the backups and the journal
//      deleted. Relation tables that moved are closed during the swap and
//      open again in their slots, under the names of the side that won.
//   5. The copier fills formula fields from their source where the map
//      names one; the formulas of the other fields are evaluated over the
//      record as stored, so they agree with the kept values.
#include <algorithm>
#include <cstring>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/uppercas.h"
#include "engine/interface/include/zetcore.h"
#include "engine/interface/zeteng.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/winblobs.h"
#include "engine/storage/winmemos.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zet01_edit.h"
#include "engine/storage/zet01_open.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zet06_create.h"
#include "engine/storage/zettable.h"
#include "engine/storage/zettable_fields.h"
#include "platform/files.h"

using ZetTable::TZetTable;

namespace ZETEng {

namespace {

constexpr int32_t kFieldOrFileError = -14;
constexpr int32_t kIdKeyError = -18;
constexpr int32_t kNotSwapped = -20;
constexpr int32_t kRefused = -21;

constexpr uint16_t kErrBadHandle = 1;
constexpr uint16_t kErrRights = 66;
constexpr uint16_t kErrZeroWidth = 68;
constexpr uint16_t kErrRange = 70;
constexpr uint16_t kErrTooManyLinks = 73;
constexpr uint16_t kErrTooManyTables = 94;
constexpr uint16_t kErrWrite = 3;
constexpr uint16_t kErrFileExists = 22;
constexpr uint16_t kErrFieldNotFound = 83;

constexpr uint8_t kPropertyFormula = 1;
constexpr uint8_t kPropertyRange = 2;
constexpr uint8_t kPropertyNull = 8;
constexpr size_t kMaxDefinitionName = 38;
constexpr std::string_view kNameEnd = ": ";
constexpr int kLayoutRows = 18;
constexpr int kScreenWidth = 78;
constexpr int kMaxLinkFields = 9;
constexpr uint8_t kChoiceWidth = 240;
constexpr uint16_t kRestructureRights = ZetTable::kRightAppend | ZetTable::kRightWrite | ZetTable::kRightIndex;

constexpr std::string_view kJournal = "RESTRUCT.JNL";
constexpr std::string_view kJournalDraft = "RESTRUCT.NEW";

std::string Text(const char* field, size_t size) { return std::string(field, strnlen(field, size)); }

// The choice list of a first text: its words, each a quoted text or a run
// of name characters ("^" among them), separated by blanks and an optional
// ","; at most 15 of at most 20 characters. A "," with no word before it
// gives an empty word, stored as a single blank; any other character that
// starts no word is passed over.
ZetTable::TChoiceList ChoiceList(uint16_t field, std::string_view text) {
  ZetTable::TChoiceList list;
  list.field = field;
  const char extra = Common::ExtraNameChar;
  Common::ExtraNameChar = '^';
  size_t position = 1;  // 1-based, as ReadWord counts
  while (list.entries.size() < ZetTable::kMaxChoices) {
    Common::SkipBlanks(text, position);
    if (position > text.size()) break;
    const size_t start = position;
    ShortStr word;
    Common::ReadWord(text, position, word);
    if (position == start && text[position - 1] != ',') {
      ++position;
      continue;
    }
    ShortStr stored;
    stored.assign(word.empty() ? std::string_view(" ") : word.view(), ZetTable::kMaxChoiceText);
    list.entries.push_back(stored);
    Common::SkipBlanks(text, position);
    if (position <= text.size() && text[position - 1] == ',') ++position;
  }
  Common::ExtraNameChar = extra;
  return list;
}

// The two bounds of a value range: the text compiled once, its code run for
// a first real and, from where that run ended, a second one.
bool RangeBounds(std::string_view text, double& lower, double& upper) {
  ShortStr code;
  uint64_t tables = 0;
  if (CompileText(text, code, tables) != 0) return false;
  const std::string_view all = code.view();
  size_t position = 0;
  double* bounds[] = {&lower, &upper};
  for (double* bound : bounds) {
    Zet02::TRunValue value;
    int dependency = 0;
    const int e = Zet02::ExecuteCode(all, position, 3, value, dependency);
    if ((e > 0 && e != 65535) || value.type != Zet02::kValReal) return false;
    *bound = value.number;
    if (position < all.size() && all[position] == ';') ++position;
  }
  return true;
}

// The screen layout of the fields: 18 rows per column; a field with extra
// rows that would pass row 18 starts the next column.
class TLayout {
 public:
  uint8_t Place(int extraRows) {
    int row = row_ + 1;
    if (row + extraRows > kLayoutRows) {
      ++column_;
      row = 1;
    }
    row_ = row + extraRows;
    return uint8_t((row & 0x1F) | ((column_ & 4) << 3) | ((column_ & 3) << 6));
  }

 private:
  int row_ = 0;
  int column_ = 0;
};

// A table object built from the host's field definitions; sources[n] is the
// source field the definition of field n named.
struct TBuilt {
  std::unique_ptr<TZetTable> table;
  std::vector<int16_t> sources;
  std::string idKeyText;
};

// Builds the descriptors and side lists. Answers 0 or -14 with the error
// recorded.
int32_t BuildFields(TBuilt& built, uint16_t version, uint16_t count, ZetFieldProc proc, uint32_t user,
                    int sourceRelation) {
  TZetTable& t = *built.table;
  t.version = version;
  t.SetFieldCount(count);
  built.sources.assign(size_t(count) + 1, 0);
  TLayout layout;
  int links = 0;
  for (uint16_t n = 1; n <= count; ++n) {
    ZetFieldDef def;
    std::memset(&def, 0, sizeof def);
    if (proc) proc(n, &def, user);
    built.sources[n] = def.sourceField;
    const std::string name = Text(def.name, sizeof def.name);
    const std::string first = Text(def.first, sizeof def.first);
    const std::string second = Text(def.second, sizeof def.second);
    ShortStr label;
    label.assign(name, kMaxDefinitionName);
    label.append(kNameEnd);
    uint8_t type = uint8_t(def.type & ZetTable::kTypeCodeMask);
    uint8_t properties = def.properties;
    uint8_t size = 0, width = 0;
    int extraRows = 0;
    const int labelRoom = kScreenWidth - int(label.size());
    switch (type) {
      case Common::kTypeChar: size = 0, width = 1, properties &= uint8_t(~kPropertyNull); break;
      case Common::kTypeString: {
        const int length = std::clamp<int>(def.parameter, 0, 255);
        if (length == 1) {
          type = Common::kTypeChar, size = 0, width = 1, properties = 0;
          break;
        }
        size = uint8_t(length);
        width = uint8_t(std::clamp(std::min(length, labelRoom), 0, 255));
        if (width > 0 && width < length) extraRows = (length - 1) / width;
        break;
      }
      case Common::kTypeInteger: size = 1, width = 10; break;
      case Common::kTypeReal:
        size = version < 2 ? ZetTable::kSizeReal6 : ZetTable::kSizeDouble;
        width = uint8_t(kChoiceWidth + (def.parameter & ZetTable::kShownNibble));
        break;
      case Common::kTypeByte: size = 0, width = 10; break;
      case Common::kTypeBool: size = 0, width = 4; break;
      case Common::kTypeDate: size = 3, width = 10; break;
      case Common::kTypeMemo: size = ZetTable::kSizeMemo32, width = 4; break;
      case Common::kTypeChoice: {
        ZetTable::TChoiceList list = ChoiceList(n, first);
        width = list.entries.empty() ? 0 : uint8_t(kChoiceWidth + list.entries.size());
        if (!list.entries.empty()) t.choiceLists.push_back(std::move(list));
        size = 0;
        break;
      }
      case Common::kTypeAutoNumber: {
        size = 3, width = 10;
        properties &= uint8_t(~kPropertyNull);
        uint32_t start = 0;
        std::memcpy(&start, &def.parameter, sizeof start);
        t.nextAutoNumber = std::max<uint32_t>(start, 1);
        t.idIndexFlag = true;
        built.idKeyText = second;
        break;
      }
      case Common::kTypeLink:
        if (++links > kMaxLinkFields) {
          Common::SetError(kErrTooManyLinks, name);
          return kFieldOrFileError;
        }
        size = 3, width = 10;
        label.append("(");
        label.append(second);
        label.append(")");
        label.truncate(ZetTable::kMaxFieldName);
        break;
      case Common::kTypeBlob: size = 3, width = 4; break;
      case Common::kTypeRelation: {
        size = 0, width = 0;
        extraRows = 254 / std::max(1, labelRoom);
        const ShortStr file = ZetTable::RelationFileName(t, Common::NameOf(label.view()).view());
        if (sourceRelation == 0 || !Zet01::UsesRelationTable(sourceRelation, file.view())) {
          if (!Zet06::AddToCreateQueue(n, second)) {
            Common::SetError(kErrTooManyLinks, name);
            return kFieldOrFileError;
          }
        }
        break;
      }
      case Common::kTypeTime: size = 1, width = 5; break;
      default: break;
    }
    const uint8_t typeByte = uint8_t(type | (properties << 4));
    if ((typeByte & ZetTable::kTypeNullable) && type != Common::kTypeLink) ++size;
    if (width == 0 && typeByte != Common::kTypeRelation) {
      Common::SetError(kErrZeroWidth, name);
      return kFieldOrFileError;
    }
    if (properties & kPropertyFormula) t.formulas.push_back({n, ShortStr(first), {}});
    if (properties & kPropertyRange) {
      ZetTable::TFieldSpec range{n, 0, 0};
      if (!RangeBounds(first, range.lower, range.upper)) {
        Common::SetError(kErrRange, name);
        return kFieldOrFileError;
      }
      t.fieldSpecs.push_back(range);
    }
    uint8_t* d = t.Descriptor(n);
    std::memset(d, 0, ZetTable::kDescriptorSize);
    d[ZetTable::kDescLayoutColumn] = 1;
    d[ZetTable::kDescLayoutLine] = layout.Place(extraRows);
    d[ZetTable::kDescName] = uint8_t(label.size());
    std::memcpy(d + ZetTable::kDescName + 1, label.data(), label.size());
    d[ZetTable::kDescSizeCode] = size;
    d[ZetTable::kDescShown] = width;
    d[ZetTable::kDescType] = typeByte;
  }
  t.recordLength = uint16_t(std::min<uint32_t>(t.ComputeLayout(), 0xFFFF));
  if (t.recordLength > ZetTable::kMaxRecordLength) {
    Common::SetError(ZetTable::kErrBadStructure, "");
    return kFieldOrFileError;
  }
  return 0;
}

// Compiles the identifier key of a table with an N field against the new
// table, which is installed for the moment in the next free slot.
int32_t CompileIdKey(TBuilt& built) {
  if (!built.table->idIndexFlag) return 0;
  const int slot = ZetTable::OpenCount() + 1;
  if (slot > ZetTable::kMaxOpenTables) {
    Common::SetError(kErrTooManyTables, "");
    return kIdKeyError;
  }
  const int formerCount = ZetTable::OpenCount();
  const int formerCurrent = ZetTable::CurrentHandle();
  TZetTable* raw = built.table.get();
  ZetTable::InstallTable(slot, std::move(built.table));
  ZetTable::SetOpenCount(slot);
  ZetTable::SetCurrentHandle(slot);
  ZetTable::BuildFieldNameHash(slot);
  const int error = MakeIV::CompileIndexDescription(slot, built.idKeyText, raw->idKeyDescription.data(), false);
  ZetTable::FreeFieldNameHash(slot);
  built.table = ZetTable::RemoveTable(slot);
  ZetTable::SetOpenCount(formerCount);
  ZetTable::SetCurrentHandle(formerCurrent);
  if (error != 0) {
    Common::SetError(uint16_t(error), built.idKeyText);
    return kIdKeyError;
  }
  return 0;
}

ShortStr UpperCode(const char* accessCode) {
  ShortStr code(TextIn(accessCode, Common::kMaxCodeLength));
  UPPERCAS::UpperStr(code);
  return code;
}

// Builds and writes a table; before the write, prepare may add to the
// object. Answers 0, -14 or -18.
template <typename Prepare>
int32_t CreateRelation(std::string_view fileName, const ShortStr& code, uint32_t tableKey, uint16_t version,
                       uint16_t count, ZetFieldProc proc, uint32_t user, int sourceRelation, TBuilt& built,
                       Prepare&& prepare) {
  Zet06::ClearCreateQueue();
  built.table = std::make_unique<TZetTable>();
  int32_t result = BuildFields(built, version, count, proc, user, sourceRelation);
  if (result == 0) result = CompileIdKey(built);
  if (result == 0) prepare(*built.table);
  if (result == 0 &&
      Zet06::CreateTable(*built.table, fileName, Common::ScrambleString(code.view()), true, sourceRelation,
                         tableKey) != 0)
    result = kFieldOrFileError;
  Zet06::ClearCreateQueue();
  return result;
}

// ---- Restructuring: copying records ----------------------------------------

enum class TClass { Text, Number, Memo, Blob, Relation };

TClass ClassOf(uint8_t type) {
  switch (type) {
    case Common::kTypeChar:
    case Common::kTypeString: return TClass::Text;
    case Common::kTypeMemo: return TClass::Memo;
    case Common::kTypeBlob: return TClass::Blob;
    case Common::kTypeRelation: return TClass::Relation;
    default: return TClass::Number;
  }
}

// Stores a memo text as a new chain of the target's memo file: its first
// block, 0 for an empty text or a failure (failed set).
uint32_t PutMemoText(TZetTable& target, std::string_view text, bool& failed) {
  if (text.empty()) return 0;
  if (WINMEMOS::InitPutMemo(target.memoFile) < 0 ||
      WINMEMOS::PutMemoBlock(int32_t(text.size()), text.data()) < 0) {
    failed = true;
    return 0;
  }
  const uint32_t first = WINMEMOS::DonePutMemo(target.memoFile, 0);
  if (first == 0) failed = true;
  return first;
}

// Moves one value of the source record into the target buffer. Answers
// false when a memo or blob could not be copied (the error is recorded).
bool CopyValue(TZetTable& source, TZetTable& target, const TFieldPair& p) {
  const uint8_t fromType = source.FieldType(p.from), toType = target.FieldType(p.to);
  const TClass from = ClassOf(fromType), to = ClassOf(toType);
  const uint8_t* in = source.recordBuffer.data();
  uint8_t* out = target.recordBuffer.data();
  if (from == TClass::Relation || to == TClass::Relation) return true;
  if (to == TClass::Memo || to == TClass::Blob) {
    Common::FieldValue value;
    if (from == to) {
      Common::GetFieldAsNumber(in, source.Place(p.from), source.version, value);
      if (value.block != 0) {
        value.block = to == TClass::Memo ? WINMEMOS::CopyMemo(source.memoFile, value.block, target.memoFile)
                                         : WinBlobs::CopyBlob(source.blobFile, value.block, target.blobFile);
        if (value.block == 0) return false;
      }
    } else if (from == TClass::Text && to == TClass::Memo) {
      bool failed = false;
      value.block = PutMemoText(target, ZetTable::FieldText(source, p.from, in).view(), failed);
      if (failed) return false;
    } else {
      return true;
    }
    Common::PutFieldFromValue(out, target.Place(p.to), target.version, value);
    return true;
  }
  if (fromType == toType && source.SizeCode(p.from) == target.SizeCode(p.to) &&
      source.TypeByte(p.from) == target.TypeByte(p.to) && source.version == target.version) {
    std::memcpy(out + target.FieldOffset(p.to), in + source.FieldOffset(p.from), size_t(source.SizeCode(p.from)) + 1);
    return true;
  }
  if (from == TClass::Number && to == TClass::Number && fromType != Common::kTypeChoice &&
      toType != Common::kTypeChoice) {
    Common::FieldValue value;
    Common::GetFieldAsNumber(in, source.Place(p.from), source.version, value);
    Common::PutFieldFromValue(out, target.Place(p.to), target.version, value);
    return true;
  }
  ShortStr text;
  if (from == TClass::Memo) {
    Common::FieldValue value;
    Common::GetFieldAsNumber(in, source.Place(p.from), source.version, value);
    text = value.block ? WINMEMOS::MemoAsString(source.memoFile, value.block) : ShortStr();
  } else if (from == TClass::Blob) {
    return true;
  } else {
    text = ZetTable::FieldText(source, p.from, in);
  }
  ZetTable::SetFieldText(target, p.to, out, text.view());
  return true;
}

}  // namespace

bool CarriesIdentifiers(const TZetTable& source, const TZetTable& target, const std::vector<TFieldPair>& map) {
  if (target.autoNumberField == 0 || target.recordCount > 0) return false;
  return std::any_of(map.begin(), map.end(), [&](const TFieldPair& p) {
    return p.to == target.autoNumberField && source.FieldType(p.from) == Common::kTypeAutoNumber;
  });
}

// Formula fields that the map fills keep the copied value; the formulas of
// the other fields are evaluated over the record as it will be stored, to a
// fixed point, so a formula that reads a kept formula field sees the kept
// value. The evaluation therefore runs with the filled fields' formulas set
// aside, and the target's formula list is whole again before the flush.
int CopyRecords(int sourceSlot, int targetSlot, const std::vector<TFieldPair>& map, ZetProgressProc progress) {
  TZetTable& source = *ZetTable::Table(sourceSlot);
  TZetTable& target = *ZetTable::Table(targetSlot);
  const uint32_t total = uint32_t(std::max<int32_t>(source.recordCount, 0));
  const uint32_t step = std::max<uint32_t>(1, total / 100);
  const bool copyIds = CarriesIdentifiers(source, target, map);
  std::vector<ZetTable::TFormula> allFormulas = target.formulas;
  std::erase_if(target.formulas, [&](const ZetTable::TFormula& f) {
    return std::any_of(map.begin(), map.end(), [&](const TFieldPair& p) { return p.to == f.field; });
  });
  struct TRestore {
    TZetTable& t;
    std::vector<ZetTable::TFormula>& all;
    ~TRestore() { t.formulas = std::move(all); }
  } restore{target, allFormulas};
  if (progress && progress(0, int32_t(total)) == 1) return Zet00::kErrBreak;
  for (uint32_t r = 1; r <= total; ++r) {
    if (int e = Zet01::ReadRecord(sourceSlot, r); e != 0) return e;
    ZetTable::ClearRecordBuffer(targetSlot);
    for (const TFieldPair& p : map)
      if (!CopyValue(source, target, p)) return kErrWrite;
    if (!copyIds && target.autoNumberField != 0)
      if (int e = Zet01::AssignAutoNumber(targetSlot); e != 0) return e;
    // A formula that cannot be evaluated leaves its field as it is.
    if (Zet01::FormulaHook && !target.formulas.empty()) Zet01::FormulaHook(targetSlot);
    if (int e = StoreResolvedFields(source, targetSlot, map); e != 0) return e;
    if (int e = Zet01::AppendRecord(targetSlot, false, 0); e != 0) return e;
    if (progress && r % step == 0 && progress(int32_t(r), int32_t(total)) == 1) return Zet00::kErrBreak;
  }
  if (copyIds && total > 0) {
    // The counter goes on after the highest identifier handed out in the
    // source (the buffer's number sets it; the buffer is not written).
    int32_t highest = int32_t(std::min<uint32_t>(std::max<uint32_t>(source.nextAutoNumber, 1) - 1, INT32_MAX));
    for (uint32_t r = 1; r <= total; ++r) {
      if (int e = Zet01::ReadRecord(targetSlot, r); e != 0) return e;
      highest = std::max(highest, Zet01::AutoNumberOf(targetSlot));
    }
    ZetTable::ClearRecordBuffer(targetSlot);
    bytes::PutI32(target.recordBuffer.data() + target.FieldOffset(target.autoNumberField), highest);
    if (int e = Zet01::AssignAutoNumber(targetSlot); e != 0) return e;
  }
  target.formulas = allFormulas;
  if (int e = Zet01::FlushTable(targetSlot, true); e != 0) return e;
  if (progress) progress(int32_t(total), int32_t(total));
  return 0;
}

namespace {

// A user index of the old table as the restructure found it: its key text
// by field names (with lengths), read before the new table is made.
struct TUserIndex {
  int slot = 0;
  ShortStr name;  // without ".IND"
  ShortStr keyText;
};

std::vector<TUserIndex> UserIndexes(int slot, const TZetTable& t) {
  std::vector<TUserIndex> list;
  for (int s = 1; s < ZetTable::kIndexSlots; ++s) {
    if (!t.indexes[size_t(s)] || !Zet00::IsUserIndex(t, s)) continue;
    const ShortStr name(Common::SplitFileName(t.indexes[size_t(s)]->fileName).name);
    // Reading the key text drops a slot whose file is gone.
    ShortStr keyText = Zet00::GetIndexDesc(slot, s, true, false);
    if (t.indexes[size_t(s)]) list.push_back({s, name, std::move(keyText)});
  }
  return list;
}

// A user index that is built again after the copy, from a description over
// the new structure: its own key text when the key holds an expression or a
// variable, else its fields by their new numbers (a field that changed type
// or size; a text part shorter than its field keeps its length).
struct TRebuiltIndex {
  ShortStr name;
  ShortStr description;
  ShortStr keyText;  // over the old structure, for the report
  bool idMark = false;
};

// A user index left out: the error, and "<index>: <key text>".
struct TDroppedIndex {
  uint16_t error = 0;
  ShortStr text;
};

TDroppedIndex Dropped(uint16_t error, const ShortStr& name, const ShortStr& keyText) {
  ShortStr text = name;
  text.append(": ");
  text.append(keyText.view());
  return {error, text};
}

struct TIndexPlan {
  std::vector<TRebuiltIndex> rebuilds;
  std::vector<TDroppedIndex> dropped;
};

// What becomes of each user index of the source: one whose key fields all
// survive with the same type and size goes over with its key translated to
// the new field numbers; one over a field that changed is built again; one
// over a field the new structure does not fill from it is left out (named).
void PlanUserIndexes(const TZetTable& source, TZetTable& target, const std::vector<TFieldPair>& map,
                     const std::vector<TUserIndex>& indexes, TIndexPlan& plan) {
  int next = 1;
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    if (target.indexes[size_t(s)]) next = s + 1;
  for (const TUserIndex& u : indexes) {
    const auto& d = source.indexes[size_t(u.slot)];
    auto copy = std::make_unique<ZetTable::TIndexDescriptor>();
    copy->header = d->header;
    copy->fileName = d->fileName;
    const bool idMark = Zet00::HasIdMark(d->header.data());
    bool computed = false, missing = false, same = true;
    ShortStr description;
    for (size_t k = 0; k < ZetTable::kKeyParts && !computed && !missing; ++k) {
      Zet00::TKeyPart part = Zet00::KeyPart(copy->header.data(), k);
      if (part.field == 0) break;
      computed = part.IsExpression() || part.IsVariable();
      const auto it = std::find_if(map.begin(), map.end(), [&](const TFieldPair& p) { return p.from == part.Number(); });
      missing = !computed && it == map.end();
      if (computed || missing) break;
      same = same && source.TypeByte(it->from) == target.TypeByte(it->to) &&
             source.SizeCode(it->from) == target.SizeCode(it->to);
      part.field = uint16_t((part.field & ~ZetTable::kKeyFieldMask) | it->to);
      Zet00::SetKeyPart(copy->header.data(), k, part);
      if (k > 0) description.append(',');
      if (part.IsDescending()) description.append('-');
      description.append('$');
      description.append(Common::IntToStrLeft(ZetTable::UserFieldIndex(target, it->to), 0));
      if (part.type == Common::kTypeString && part.length < source.SizeCode(it->from) + 1) {
        description.append(':');
        description.append(Common::IntToStrLeft(part.length - 1, 0));
      }
    }
    if (missing) {
      plan.dropped.push_back(Dropped(kErrFieldNotFound, u.name, u.keyText));
    } else if (computed) {
      plan.rebuilds.push_back({u.name, u.keyText, u.keyText, idMark});
    } else if (!same) {
      plan.rebuilds.push_back({u.name, description, u.keyText, idMark});
    } else if (next < ZetTable::kIndexSlots) {
      target.indexes[size_t(next++)] = std::move(copy);
    } else {
      plan.dropped.push_back(Dropped(Zet00::kErrTooManyIndexes, u.name, u.keyText));
    }
  }
}

// Builds the planned indexes in the new table. One whose description does
// not compile over the new structure is left out (named in dropped; the
// restructure goes on); a build that fails otherwise is the restructure's
// failure (its error).
int RebuildIndexes(int slot, TIndexPlan& plan) {
  for (const TRebuiltIndex& r : plan.rebuilds) {
    std::array<uint8_t, ZetTable::kKeyDescriptionSize> description{};
    if (const int e = MakeIV::CompileIndexDescription(slot, r.description.view(), description.data(), false); e != 0) {
      plan.dropped.push_back(Dropped(uint16_t(e), r.name, r.keyText));
      continue;
    }
    if (MakeIV::CreateUserIndex(true, slot, r.description.view(), r.name.view(), r.idMark, nullptr) < 1) {
      const int e = Common::LastError();
      return e != 0 ? e : kErrWrite;
    }
  }
  return 0;
}

// Names every index left out in the last error (the first one's error).
void ReportDroppedIndexes(const std::vector<TDroppedIndex>& dropped) {
  if (dropped.empty()) return;
  ShortStr text;
  for (const TDroppedIndex& d : dropped) {
    if (!text.empty()) text.append("; ");
    text.append(d.text.view());
  }
  const uint16_t error = dropped.front().error;
  Common::SetError(error, text.view());
  // A message without a place for them still names the indexes.
  if (const std::string_view message = Common::MessageText(error); message.find("%s") == std::string_view::npos) {
    ShortStr full(message);
    full.append(": ");
    full.append(text.view());
    Common::ReplaceLastErrorText(full.view());
  }
}

// ---- Restructuring: the file swap -------------------------------------------

struct TSwap {
  std::string directory;  // the table's, with its separator
  std::string work;       // "~<name>/"
  std::string backup;     // "$<name>/"
  std::vector<std::string> newFiles;
  std::vector<std::string> oldFiles;
};

TSwap SwapOf(std::string_view tablePath) {
  const Common::FileNameParts parts = Common::SplitFileName(tablePath);
  TSwap s;
  s.directory = parts.directory.str();
  ShortStr stem(parts.name);
  UPPERCAS::UpperStr(stem);
  s.work = s.directory + "~" + stem.str() + "/";
  s.backup = s.directory + "$" + stem.str() + "/";
  return s;
}

std::vector<std::string> FilesIn(const std::string& directory) {
  std::vector<std::string> names;
  platform::FindSearch search;
  platform::FindData found;
  for (int e = search.First(directory + "*", 0, found); e == 0; e = search.Next(found))
    if (!(found.attributes & platform::kAttrDirectory)) names.push_back(found.name);
  return names;
}

// Deletes every file of a directory and the directory: false when one stays.
bool RemoveAll(const std::string& directory) {
  if (!platform::DirectoryExists(directory)) return true;
  bool ok = true;
  for (const std::string& name : FilesIn(directory)) ok = platform::DeleteFile(directory + name) == 0 && ok;
  return platform::RemoveDirectory(directory) == 0 && ok;
}

// The journal: "N name" for each new file, "O name" for each file of the
// old set; written as a draft, then renamed into place (the commit).
int WriteJournal(const TSwap& s) {
  std::string text;
  for (const std::string& f : s.newFiles) text += "N " + f + "\n";
  for (const std::string& f : s.oldFiles) text += "O " + f + "\n";
  platform::FileHandle h = platform::kNoFile;
  const std::string draft = s.work + std::string(kJournalDraft);
  int e = platform::CreateFile(draft, platform::kAccessReadWrite | platform::kShareDenyAll, h);
  if (e != 0) return e;
  e = platform::WriteAt(h, 0, text.data(), text.size());
  if (e == 0) e = platform::FlushFile(h);
  platform::CloseFile(h);
  if (e == 0) e = platform::RenameFile(draft, s.work + std::string(kJournal));
  if (e != 0) platform::DeleteFile(draft);
  return e;
}

bool ReadJournal(TSwap& s) {
  platform::FileHandle h = platform::kNoFile;
  if (platform::OpenFile(s.work + std::string(kJournal), platform::kAccessRead | platform::kShareDenyNone, h) != 0)
    return false;
  uint64_t size = 0;
  std::string text;
  bool ok = platform::FileSize(h, size) == 0 && size < (1u << 20);
  if (ok) {
    text.resize(size_t(size));
    size_t got = 0;
    ok = platform::ReadAt(h, 0, text.data(), text.size(), got) == 0 && got == text.size();
  }
  platform::CloseFile(h);
  if (!ok) return false;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) return false;  // a journal is whole or absent
    const std::string_view line(text.data() + start, end - start);
    if (line.size() < 3 || line[1] != ' ' || line.find_first_of("/\\") != std::string_view::npos) return false;
    (line[0] == 'N' ? s.newFiles : s.oldFiles).emplace_back(line.substr(2));
    start = end + 1;
  }
  return true;
}

bool Contains(const std::vector<std::string>& list, const std::string& name) {
  return std::find(list.begin(), list.end(), name) != list.end();
}

// Moves a file unless it is where it should be already.
int MoveFile(const std::string& from, const std::string& to) {
  if (!platform::FileExists(from)) return 0;
  return platform::RenameFile(from, to);
}

// Takes the swap forward from any state it was left in: each old file into
// the backup, each new file into the table's directory.
int SwapForward(const TSwap& s) {
  for (const std::string& f : s.oldFiles) {
    if (Contains(s.newFiles, f) && !platform::FileExists(s.work + f)) continue;  // the new one is in place
    if (int e = MoveFile(s.directory + f, s.backup + f); e != 0) return e;
  }
  for (const std::string& f : s.newFiles) {
    if (!platform::FileExists(s.work + f)) continue;
    if (platform::FileExists(s.directory + f))
      if (int e = platform::RenameFile(s.directory + f, s.backup + f); e != 0) return e;
    if (int e = platform::RenameFile(s.work + f, s.directory + f); e != 0) return e;
  }
  return 0;
}

// Takes the swap back: new files into the work directory, old files out of
// the backup; then the journal goes. False when a step failed (the journal
// then stays, and the next open finishes the swap).
bool SwapBack(const TSwap& s) {
  bool ok = true;
  for (const std::string& f : s.newFiles)
    if (!platform::FileExists(s.work + f)) ok = MoveFile(s.directory + f, s.work + f) == 0 && ok;
  for (const std::string& f : s.oldFiles) ok = MoveFile(s.backup + f, s.directory + f) == 0 && ok;
  return ok && platform::DeleteFile(s.work + std::string(kJournal)) == 0;
}

// After the swap: the backups go, then the journal, then the work directory.
void FinishSwap(const TSwap& s) {
  if (!RemoveAll(s.backup)) return;
  if (platform::DeleteFile(s.work + std::string(kJournal)) != 0) return;
  RemoveAll(s.work);
}

// The files of the old table's set that exist: table file, companion, memo,
// blob, index files of every slot.
std::vector<std::string> OldSetFiles(TZetTable& t) {
  std::set<std::string> names;
  auto add = [&](std::string_view path) {
    if (!Common::FileExists(path)) return;
    const Common::FileNameParts parts = Common::SplitFileName(path);
    names.insert(Common::AppendStrCopy(parts.name, parts.extension).str());
  };
  const std::string stem = Common::AppendStrCopy(t.directory, Common::SplitFileName(t.fileName).name).str();
  add(Common::AppendStrCopy(t.directory, t.fileName).view());
  for (const char* extension : {".MMO", ".BLB"}) add(stem + extension);
  add(Zet00::CompanionFileName(t).view());
  Zet00::AssignIndexFileNames(t);
  for (int s = 0; s < ZetTable::kIndexSlots; ++s)
    if (t.indexes[size_t(s)]) add(Zet00::IndexPath(t, s).view());
  return {names.begin(), names.end()};
}

// A relation field that keeps its entries: the old field's relation table
// goes with it, copied into the work directory under the name the new field
// gives (the same name or a new one), and its old files join the old set.
struct TRelationMove {
  ShortStr oldFile;  // "FREUNDE.REL"
  ShortStr newFile;
  int slot = 0;  // where the old relation table stands open, 0 none
  uint16_t mode = 0;
  std::vector<std::string> oldNames;
};

TRelationMove MoveOf(const TZetTable& old, uint16_t from, const TZetTable& t, uint16_t to) {
  TRelationMove m;
  m.oldFile = ZetTable::RelationFileName(old, Common::NameOf(old.StoredName(from)).view());
  m.newFile = ZetTable::RelationFileName(t, Common::NameOf(t.StoredName(to)).view());
  return m;
}

std::string FileNameOf(std::string_view path) {
  const Common::FileNameParts parts = Common::SplitFileName(path);
  return Common::AppendStrCopy(parts.name, parts.extension).str();
}

// Copies the files of a move's old relation table (flushed first when it is
// open; else opened for the moment) into the work directory. Answers 0 or
// the error (recorded). A relation table that does not exist has no entries
// to carry.
int CopyRelationTable(const std::string& directory, const std::string& work, TRelationMove& m) {
  const std::string path = directory + m.oldFile.str();
  if (!Common::FileExists(path)) return 0;
  int slot = ZetTable::FindOpenTable(path);
  const bool opened = slot == 0;
  if (opened) {
    slot = ZetTable::OpenCount() + 1;
    if (slot > ZetTable::kMaxOpenTables) {
      Common::SetError(kErrTooManyTables, "");
      return kErrTooManyTables;
    }
    if (int e = Zet01::OpenTable(slot, 0, path, 0, 0, ""); e != 0) return e;
    ZetTable::SetOpenCount(slot);
  } else {
    m.slot = slot;
    m.mode = ZetTable::Table(slot)->openModeWord;
    if (int e = Zet01::FlushTable(slot, true); e != 0) return e;
  }
  const auto files = TableFileSet(*ZetTable::Table(slot), m.newFile.view());
  if (opened) Zet06::CloseTablesFrom(slot);
  for (const auto& [from, to] : files) {
    m.oldNames.push_back(FileNameOf(from));
    if (platform::CopyFile(from, work + FileNameOf(to), false) != 0) {
      Common::SetFileError(kErrWrite, from);
      return kErrWrite;
    }
  }
  return 0;
}

}  // namespace

bool CopyFieldValue(TZetTable& source, TZetTable& target, const TFieldPair& pair) {
  return CopyValue(source, target, pair);
}

// A text names the linked records of an L or R field; the field store
// looks each name up by the linked table's key text (appending a record of
// that key when there is none) and stores its identifier, or for an R field
// one relation entry per name, which belong to the record's own identifier.
// An L field whose linked table is not open keeps the number its text form
// gave in the first pass; an R field without its relation table stays empty.
int StoreResolvedFields(TZetTable& source, int targetSlot, const std::vector<TFieldPair>& map) {
  TZetTable& target = *ZetTable::Table(targetSlot);
  auto resolved = [&](const TFieldPair& p) {
    const uint8_t toType = target.FieldType(p.to);
    return ClassOf(source.FieldType(p.from)) == TClass::Text &&
           (toType == Common::kTypeLink || toType == Common::kTypeRelation);
  };
  if (std::none_of(map.begin(), map.end(), resolved)) return 0;
  // The fields are bound to the tables open now for the store only: the
  // table's bindings (and so the link tree) are as they were afterwards.
  const std::vector<ZetTable::TFieldBinding> bindings = target.bindings;
  const uint64_t linkedTables = target.linkedTables;
  struct TRestore {
    TZetTable& t;
    const std::vector<ZetTable::TFieldBinding>& bindings;
    uint64_t linkedTables;
    ~TRestore() {
      t.bindings = bindings;
      t.linkedTables = linkedTables;
    }
  } restore{target, bindings, linkedTables};
  Zet01::BuildTableRelations(targetSlot);
  for (const TFieldPair& p : map) {
    if (!resolved(p)) continue;
    if (p.to >= target.bindings.size() || target.bindings[p.to].linkedTable == 0) continue;
    Common::FieldValue value;
    value.text = ZetTable::FieldText(source, p.from, source.recordBuffer.data());
    Common::TrimBlanks(value.text);
    if (int e = Zet01::SetFieldValue(targetSlot, p.to, value, Zet01::kValueIsText); e != 0) return e;
  }
  return 0;
}

bool PairableTypes(uint8_t fromType, uint8_t toType) {
  const TClass from = ClassOf(fromType), to = ClassOf(toType);
  if (from == to) return true;
  if (from == TClass::Text) return to != TClass::Blob;  // text onto a number, memo or relation
  return from == TClass::Number && to == TClass::Text;
}

// Finishes a restructure of the table whose swap was committed but not
// completed (a process died during it). Called before a table is opened.
void FinishInterruptedRestructure(std::string_view tablePath) {
  TSwap s = SwapOf(tablePath);
  if (!platform::FileExists(s.work + std::string(kJournal))) return;
  if (!ReadJournal(s)) return;
  if (!platform::DirectoryExists(s.backup) && platform::MakeDirectory(s.backup) != 0) return;
  if (SwapForward(s) == 0) FinishSwap(s);
}

}  // namespace ZETEng

using namespace ZETEng;

extern "C" {

int32_t ZetRltnCreate(const char* fileName, const char* accessCode, uint32_t tableKey, int32_t fileVersion,
                      int32_t fieldCount, ZetFieldProc proc, uint32_t user, int32_t sourceRelation) try {
  if (fieldCount < 1 || fieldCount > ZetTable::kMaxFieldCount || fileVersion < 0 || fileVersion > 0xFFFF) {
    Common::SetError(ZetTable::kErrBadStructure, "");
    return kFieldOrFileError;
  }
  if (sourceRelation != 0 && !ValidRelation(sourceRelation)) sourceRelation = 0;
  ClearCompileErrors();
  TBuilt built;
  return CreateRelation(TextIn(fileName), UpperCode(accessCode), tableKey, uint16_t(fileVersion),
                        uint16_t(fieldCount), proc, user, sourceRelation, built, [](TZetTable&) {});
} catch (...) {
  return ZETEng::RaisedNow();
}

int32_t ZetRltnRestructure(int32_t relation, const char* accessCode, uint32_t tableKey, int32_t fileVersion,
                           int32_t fieldCount, ZetFieldProc proc, uint32_t user, ZetProgressProc progress) try {
  if (!ValidRelation(relation)) {
    Common::SetError(kErrBadHandle, "");
    return kBadRelation;
  }
  TZetTable& old = *ZetTable::Table(relation);
  const std::string oldPath = Common::AppendStrCopy(old.directory, old.fileName).str();
  if ((old.openModeWord & kRestructureRights) != kRestructureRights) {
    Common::SetFileError(kErrRights, oldPath);
    return kRefused;
  }
  if (ZetTable::OpenCount() + 2 > ZetTable::kMaxOpenTables) {
    Common::SetError(kErrTooManyTables, "");
    return kRefused;
  }
  if (fieldCount < 1 || fieldCount > ZetTable::kMaxFieldCount || fileVersion < 0 || fileVersion > 0xFFFF) {
    Common::SetError(ZetTable::kErrBadStructure, "");
    return kRefused;
  }
  TSwap swap = SwapOf(oldPath);
  FinishInterruptedRestructure(oldPath);
  if (!RemoveAll(swap.work) || !RemoveAll(swap.backup) || platform::MakeDirectory(swap.work) != 0) {
    Common::SetFileError(kErrWrite, swap.work);
    RemoveAll(swap.work);
    return kRefused;
  }
  const ShortStr code = UpperCode(accessCode);
  const std::string newPath = swap.work + old.fileName.str();
  ClearCompileErrors();

  // 1. The new table beside the old one, with the records copied.
  std::vector<TFieldPair> map;
  std::vector<TRelationMove> moves;
  const std::vector<TUserIndex> userIndexes = UserIndexes(relation, old);
  TIndexPlan indexPlan;
  TBuilt built;
  int32_t result = CreateRelation(newPath, code, tableKey, uint16_t(fileVersion), uint16_t(fieldCount), proc, user,
                                  relation, built, [&](TZetTable& t) {
                                    for (uint16_t n = 1; n <= t.fieldCount; ++n) {
                                      const int16_t k = built.sources[n];
                                      const uint16_t from = k > 0 ? ZetTable::NthUserField(relation, k) : 0;
                                      // A text fills a new R field with entries.
                                      const bool entries = t.FieldType(n) == Common::kTypeRelation &&
                                                           from != 0 && ClassOf(old.FieldType(from)) == TClass::Text;
                                      if (from != 0 && (t.IsStored(n) || entries) && old.IsStored(from))
                                        map.push_back({from, n});
                                      if (from != 0 && old.FieldType(from) == Common::kTypeRelation &&
                                          t.FieldType(n) == Common::kTypeRelation)
                                        moves.push_back(MoveOf(old, from, t, n));
                                    }
                                    PlanUserIndexes(old, t, map, userIndexes, indexPlan);
                                  });
  if (result != 0) {
    RemoveAll(swap.work);
    return result == kIdKeyError ? kIdKeyError : kRefused;
  }
  const int slot = ZetTable::OpenCount() + 1;
  int error = Zet01::OpenTable(slot, ZetTable::kRightsMask, newPath, 0, tableKey, code);
  if (error == 0) {
    ZetTable::SetOpenCount(slot);
    const int former = ZetTable::CurrentHandle();
    // Relation entries belong to identifiers: they can follow only when the
    // identifiers are carried over.
    if (!moves.empty() && !CarriesIdentifiers(old, *ZetTable::Table(slot), map)) {
      Common::SetError(ZetTable::kErrBadStructure, moves.front().newFile.view());
      error = ZetTable::kErrBadStructure;
    }
    // The relation tables of R fields filled from texts stand open behind
    // the new table during the copy, which adds their entries.
    int last = slot;
    TZetTable& fresh = *ZetTable::Table(slot);
    for (const TFieldPair& p : map) {
      if (error != 0 || fresh.FieldType(p.to) != Common::kTypeRelation) continue;
      const std::string rel =
          swap.work + ZetTable::RelationFileName(fresh, Common::NameOf(fresh.StoredName(p.to)).view()).str();
      if (!Common::FileExists(rel) || ZetTable::FindOpenTable(rel) != 0) continue;
      if (last + 1 > ZetTable::kMaxOpenTables) {
        Common::SetError(kErrTooManyTables, "");
        error = kErrTooManyTables;
      } else if ((error = Zet01::OpenTable(last + 1, ZetTable::kRightsMask, rel, 0, 0, "")) == 0) {
        ZetTable::SetOpenCount(++last);
      }
    }
    if (error == 0) error = CopyRecords(relation, slot, map, progress);
    if (error == 0) error = RebuildIndexes(slot, indexPlan);
    if (error == 0 && ZetTable::Table(slot)->recordCount != old.recordCount) error = kErrWrite;
    for (; last > slot; --last) {
      const int e = Zet01::CloseTable(last);
      if (error == 0) error = e;
      ZetTable::SetOpenCount(last - 1);
    }
    const int closeError = Zet01::CloseTable(slot);
    if (error == 0) error = closeError;
    ZetTable::SetOpenCount(slot - 1);
    ZetTable::SetCurrentHandle(former);
    Zet01::ReadRecord(relation, std::min<uint32_t>(old.currentRecord, uint32_t(std::max(old.recordCount, 0))));
  }
  for (TRelationMove& m : moves)
    if (error == 0) error = CopyRelationTable(swap.directory, swap.work, m);
  std::set<int> closing;
  for (TRelationMove& m : moves)
    if (m.slot != 0 && !closing.insert(m.slot).second) m.slot = 0;
  if (error != 0) {
    if (Common::LastError() == 0) Common::SetError(uint16_t(error), "");
    RemoveAll(swap.work);
    return kRefused;
  }

  // 2. The commit, then the swap with the old table closed.
  swap.newFiles = FilesIn(swap.work);
  swap.oldFiles = OldSetFiles(old);
  for (const TRelationMove& m : moves)
    for (const std::string& f : m.oldNames)
      if (!Contains(swap.oldFiles, f)) swap.oldFiles.push_back(f);
  // A new file whose name another file of the directory holds would push
  // that file out with the old set: refused before anything moves.
  for (const std::string& f : swap.newFiles) {
    if (Contains(swap.oldFiles, f) || !platform::FileExists(swap.directory + f)) continue;
    Common::SetFileError(kErrFileExists, swap.directory + f);
    RemoveAll(swap.work);
    return kRefused;
  }
  const uint16_t oldMode = old.openModeWord;
  const uint32_t oldKey = old.tableKey;
  const ShortStr oldCode = old.tableCode;
  if (platform::MakeDirectory(swap.backup) != 0 || WriteJournal(swap) != 0) {
    Common::SetFileError(kErrWrite, swap.work);
    RemoveAll(swap.work);
    RemoveAll(swap.backup);
    return kNotSwapped;
  }
  Zet01::CloseTable(relation);
  for (const TRelationMove& m : moves)
    if (m.slot != 0) Zet01::CloseTable(m.slot);
  // The moved relation tables open again in their slots, under their new or
  // their old names.
  auto reopenRelationTables = [&](bool moved) {
    for (const TRelationMove& m : moves)
      if (m.slot != 0)
        Zet01::OpenTable(m.slot, m.mode, swap.directory + (moved ? m.newFile : m.oldFile).str(), 0, 0, "");
  };
  if (SwapForward(swap) != 0) {
    Common::SetFileError(kErrWrite, oldPath);
    if (SwapBack(swap)) {
      RemoveAll(swap.work);
      RemoveAll(swap.backup);
      for (int attempt = 0; attempt < 2; ++attempt)
        if (Zet01::OpenTable(relation, oldMode, oldPath, 0, oldKey, oldCode.view()) == 0) break;
      reopenRelationTables(false);
    } else {
      // Not taken back: the journal stays and the swap is finished now or
      // at the table's next open.
      FinishInterruptedRestructure(oldPath);
      Zet01::OpenTable(relation, oldMode, oldPath, 0, tableKey, code.view());
      reopenRelationTables(true);
    }
    return kNotSwapped;
  }
  FinishSwap(swap);
  // The new table in the old slot; an open that fails is tried once more
  // (the table is whole either way, but its handle should stay usable).
  bool reopened = false;
  for (int attempt = 0; attempt < 2 && !reopened; ++attempt)
    reopened = Zet01::OpenTable(relation, oldMode, oldPath, 0, tableKey, code.view()) == 0;
  if (!reopened) return kBadRelation;
  reopenRelationTables(true);
  if (OpenMissingRelationTables() != 0) return kBadRelation;
  // An index left out is told through the last error.
  ReportDroppedIndexes(indexPlan.dropped);
  return 0;
} catch (...) {
  return ZETEng::RaisedNow();
}

}  // extern "C"
