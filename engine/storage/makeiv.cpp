#include "engine/storage/makeiv.h"

#include <array>
#include <cstring>
#include <string>

#include "engine/base/common.h"
#include "engine/base/uppercas.h"
#include "engine/storage/zet00.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet00_keytext.h"
#include "engine/storage/zettable.h"

namespace MakeIV {

using Zet00::TKeyPart;
using ZetTable::TZetTable;

TCheckExpressionProc CheckExpressionHook = nullptr;
TFindVariableProc FindVariableHook = nullptr;

namespace {

constexpr char kDescending = '-';
constexpr char kAscending = '+';
constexpr char kSeparator = ',';
constexpr char kLengthMark = ':';
constexpr char kFieldNumberMark = '$';
constexpr char kTableMark = '.';
constexpr uint16_t kNoLength = 0;
// A given S length below this is ignored.
constexpr uint16_t kMinTextLength = 2;
constexpr uint16_t kMaxLengthValue = 999;

int RefuseExpression(int, std::string_view, uint8_t&) { return kErrSyntax; }

// A scanner over the description text.
class TScanner {
 public:
  explicit TScanner(std::string_view text) : text_(text) {}
  void SkipBlanks() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) ++pos_;
  }
  bool AtEnd() {
    SkipBlanks();
    return pos_ >= text_.size();
  }
  bool Take(char c) {
    SkipBlanks();
    if (pos_ < text_.size() && text_[pos_] == c) {
      ++pos_;
      return true;
    }
    return false;
  }
  // A run of name characters, with "." inside for table.field.
  std::string_view Name() {
    SkipBlanks();
    const size_t start = pos_;
    while (pos_ < text_.size() && (Common::IsFieldNameChar(text_[pos_]) || text_[pos_] == kTableMark)) ++pos_;
    return text_.substr(start, pos_ - start);
  }
  // Digits as a number (capped); false without a digit.
  bool Number(uint16_t& value) {
    SkipBlanks();
    const size_t start = pos_;
    uint32_t n = 0;
    while (pos_ < text_.size() && Common::IsDigit(text_[pos_])) {
      n = std::min<uint32_t>(n * 10 + uint32_t(text_[pos_] - '0'), kMaxLengthValue);
      ++pos_;
    }
    value = uint16_t(n);
    return pos_ > start;
  }
  // An optional ":" length; 41 for ":" without digits.
  int Length(uint16_t& length) {
    length = kNoLength;
    if (!Take(kLengthMark)) return 0;
    return Number(length) ? 0 : kErrIncomplete;
  }
  size_t Position() const { return pos_; }
  void SetPosition(size_t pos) { pos_ = pos; }
  std::string_view Text() const { return text_; }

 private:
  std::string_view text_;
  size_t pos_ = 0;
};

bool SameName(std::string_view a, std::string_view b) {
  ShortStr ua(a), ub(b);
  UPPERCAS::UpperStr(ua);
  UPPERCAS::UpperStr(ub);
  return ua == ub;
}

// The field of the table that a name names: its name (blanks as "_"), its
// name as descriptions write it, or with loose names any spelling.
uint16_t FieldOfName(int handle, std::string_view name) {
  if (uint16_t n = ZetTable::FieldNoFromText(handle, name)) return n;
  const TZetTable* t = ZetTable::Table(handle);
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->IsUserField(n) && SameName(Zet00::KeyFieldName(handle, n), name)) return n;
  return 0;
}

// Whether a visible table other than this one has a field of that name.
bool OtherTableHasField(int handle, std::string_view name) {
  const uint64_t visible = ZetTable::VisibleTableSet();
  for (int h = 1; h <= ZetTable::OpenCount(); ++h)
    if (h != handle && ZetTable::HandleInSet(visible, h) && ZetTable::Table(h) && FieldOfName(h, name) != 0)
      return true;
  return false;
}

// The part of a field of the table; answers 0 or 44.
int FieldPart(const TZetTable& t, uint16_t field, uint16_t given, TKeyPart& part) {
  const uint8_t type = t.FieldType(field);
  if (type == Common::kTypeRelation || type == Common::kTypeMemo || type == Common::kTypeBlob)
    return kErrTypeNotInKey;
  const uint16_t width = uint16_t(t.SizeCode(field) + 1);
  uint16_t length = width;
  if (type == Common::kTypeString && given >= kMinTextLength) length = std::min<uint16_t>(given + 1, width);
  part = {field, length, type};
  return 0;
}

// Resolves a name into a field or variable part; answers 0 or the error.
int NamePart(int handle, std::string_view name, uint16_t given, TKeyPart& part) {
  const TZetTable* t = ZetTable::Table(handle);
  uint16_t field = 0;
  if (const size_t dot = name.find(kTableMark); dot != std::string_view::npos) {
    const std::string_view table = name.substr(0, dot);
    if (!SameName(table, Common::BaseName(t->fileName)))
      return ZetTable::FindOpenTable(table) != 0 ? kErrOtherTable : kErrNotAField;
    field = FieldOfName(handle, name.substr(dot + 1));
  } else {
    field = FieldOfName(handle, name);
  }
  if (field != 0) return FieldPart(*t, field, given, part);
  uint16_t variable = 0;
  uint8_t type = 0;
  if (FindVariableHook && FindVariableHook(name, variable, type)) {
    const uint16_t word = uint16_t(variable | ZetTable::kKeyVariable);
    if (type == Common::kTypeString)
      part = {word, given >= kMinTextLength ? uint16_t(given + 1) : kTextVariableLength, type};
    else
      part = {word, t->version < Common::kFirstVersionWithDoubles ? kNumberPartLengthV1 : kNumberPartLength,
              Common::kTypeReal};
    return 0;
  }
  return OtherTableHasField(handle, name) ? kErrOtherTable : kErrNotAField;
}

int CompileFieldList(int handle, TScanner& s, uint8_t* description) {
  const TZetTable* t = ZetTable::Table(handle);
  size_t count = 0;
  do {
    if (s.AtEnd()) return kErrIncomplete;
    if (count == kMaxDescriptionParts) return kErrTooComplex;
    uint16_t descending = 0;
    if (s.Take(kDescending))
      descending = ZetTable::kKeyDescending;
    else
      s.Take(kAscending);
    uint16_t userField = 0;
    const bool byNumber = s.Take(kFieldNumberMark);
    if (byNumber && !s.Number(userField)) return kErrNotAField;
    const std::string_view name = byNumber ? std::string_view() : s.Name();
    if (!byNumber && name.empty()) return s.AtEnd() ? kErrIncomplete : kErrNotAField;
    uint16_t given = kNoLength;
    if (int e = s.Length(given)) return e;
    TKeyPart part;
    if (byNumber) {
      const uint16_t field = ZetTable::NthUserField(handle, userField);
      if (field == 0) return kErrNotAField;
      if (int e = FieldPart(*t, field, given, part)) return e;
    } else if (int e = NamePart(handle, name, given, part)) {
      return e;
    }
    part.field = uint16_t(part.field | descending);
    Zet00::SetKeyPart(description, count++, part);
  } while (s.Take(kSeparator));
  return s.AtEnd() ? 0 : kErrNotAField;
}

int CompileExpression(int handle, TScanner& s, uint8_t* description) {
  // MatchBrackets counts from 1 and stops behind the closing bracket.
  const size_t open = s.Position();
  size_t behind = open + 1;
  if (Common::MatchBrackets(s.Text(), behind) != 0) return kErrIncomplete;
  const size_t close = behind - 2;
  ShortStr expression(s.Text().substr(open + 1, close - open - 1));
  Common::TrimBlanks(expression);
  if (expression.empty()) return kErrIncomplete;
  if (expression.size() > ZetTable::kMaxKeyExpression) return kErrTooComplex;
  s.SetPosition(close + 1);
  uint16_t given = kNoLength;
  if (int e = s.Length(given)) return e;
  if (!s.AtEnd()) return kErrIncomplete;
  uint8_t type = 0;
  const int e = CheckExpressionHook(handle, expression, type);
  if (e != 0 && e != Zet00::kErrRealOverflow) return e;
  const TZetTable* t = ZetTable::Table(handle);
  uint16_t length = 0;
  if (type == Common::kTypeString) {
    length = given != kNoLength ? given : kTextExpressionLength;
  } else {
    type = Common::kTypeReal;
    length = t->version < Common::kFirstVersionWithDoubles ? kNumberPartLengthV1 : kNumberPartLength;
  }
  Zet00::SetKeyPart(description, 0, {ZetTable::kKeyExpression, length, type});
  Zet00::SetKeyExpressionText(description, expression);
  return 0;
}

int Compile(int handle, std::string_view text, uint8_t* description) {
  std::memset(description, 0, ZetTable::kKeyDescriptionSize);
  if (!ZetTable::Table(handle)) return kErrNotAField;
  if (text.size() > kMaxDescription) return kErrTooComplex;
  TScanner s(text);
  if (s.AtEnd()) return kErrIncomplete;
  s.SkipBlanks();
  const int e = s.Text()[s.Position()] == '(' ? CompileExpression(handle, s, description)
                                              : CompileFieldList(handle, s, description);
  if (e != 0) return e;
  if (Zet00::KeyLength(description) > ZetTable::kMaxKeySize) return Zet00::kErrKeyTooLong;
  return 0;
}

}  // namespace

int CompileIndexDescription(int handle, std::string_view text, uint8_t* description, bool report) {
  const int e = Compile(handle, text, description);
  if (e != 0 && report) {
    const TZetTable* t = ZetTable::Table(handle);
    Common::SetFileError(uint16_t(e), t ? Common::AppendStrCopy(t->directory, t->fileName) : ShortStr());
  }
  return e;
}

int CreateUserIndex(bool apply, int handle, std::string_view description, std::string_view indexName,
                    bool idIndex, Zet00::TProgressProc progress) {
  TZetTable* t = ZetTable::Table(handle);
  if (!apply || !t || !(t->openModeWord & ZetTable::kRightIndex)) return 0;
  ShortStr name = Common::SplitFileName(indexName).name;
  name.truncate(t->version < Common::kFirstVersionWithDoubles ? Common::kShortBaseName : Common::kMaxNameLength);
  UPPERCAS::UpperStr(name);
  name.append(Zet00::kUserIndexExtension);
  if (const std::string full = std::string(t->directory.view()) + std::string(name.view()); !Common::PathFits(full)) {
    Common::RefuseLongPath(full);
    return 0;
  }
  const ShortStr path = Common::AppendStrCopy(t->directory, name);
  if (Common::FileExists(path)) {
    Common::SetFileError(kErrIndexExists, path);
    return 0;
  }
  std::array<uint8_t, ZetTable::kKeyDescriptionSize> compiled{};
  if (CompileIndexDescription(handle, description, compiled.data()) != 0) return 0;
  if (t->highestIndexSlot >= ZetTable::kMaxIndexSlot) {
    Common::SetFileError(Zet00::kErrTooManyIndexes, Common::AppendStrCopy(t->directory, t->fileName));
    return 0;
  }
  const int slot = t->highestIndexSlot + 1;
  auto d = std::make_unique<ZetTable::TIndexDescriptor>();
  std::memcpy(d->header.data(), compiled.data(), compiled.size());
  // The ID flag travels in the key description, so the index stays unique
  // when the table is opened again.
  if (idIndex && !Zet00::IsExpressionKey(compiled.data())) Zet00::SetIdMark(d->header.data());
  d->idIndex = idIndex;
  d->fileName = name;
  d->tableVersion = t->version;
  t->indexes[size_t(slot)] = std::move(d);
  t->highestIndexSlot = uint16_t(slot);
  if (Zet00::RebuildIndex(handle, slot, progress) != 0 || Zet00::WriteIndexDirectory(handle) < 0) {
    // The file goes once the directory no longer names it. When that write
    // fails too, the directory on disk may still name the index, so its file
    // stays (the next open takes it in, or rebuilds it when it is unsettled).
    Zet00::RemoveIndexSlot(*t, slot);
    if (Zet00::WriteIndexDirectory(handle) >= 0) Common::EraseFile(path);
    return 0;
  }
  return slot;
}

void UnitInit() {
  CheckExpressionHook = RefuseExpression;
  FindVariableHook = nullptr;
  Zet00::CreateIndexHook = CreateUserIndex;
}

void UnitDone() {
  CheckExpressionHook = RefuseExpression;
  FindVariableHook = nullptr;
  Zet00::CreateIndexHook = nullptr;
}

}  // namespace MakeIV
