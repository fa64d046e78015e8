#include "engine/language/compiler.h"

#include <charconv>
#include <cmath>
#include <string>
#include <vector>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/base/uppercas.h"
#include "engine/language/bytecode.h"
#include "engine/language/hostcmds.h"
#include "engine/language/listing.h"
#include "engine/language/nametables.h"
#include "engine/language/variables.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zet01_relations.h"
#include "engine/storage/zettable.h"

namespace Zet02 {
namespace {

using namespace ByteCode;

int DefaultExecute(std::string_view, int, TRunValue& value) {
  value = TRunValue();
  return 0;
}
bool DefaultFindFunction(std::string_view, uint8_t&, uint16_t&) { return false; }
bool DefaultFindExtension(std::string_view, uint16_t&) { return false; }
uint16_t DefaultFindFont(std::string_view) { return 0; }
bool DefaultLoadModule(std::string_view) { return false; }
void DefaultUnloadModule() {}

const TCompilerHooks kDefaultHooks = {DefaultExecute, DefaultFindFunction, DefaultFindExtension,
                                      DefaultFindFont, DefaultLoadModule, DefaultUnloadModule};
TCompilerHooks g_hooks = kDefaultHooks;
bool g_procedureHeader = false;
bool g_collect = false;

constexpr uint8_t kUpperAUmlaut = 0xC4;
constexpr uint8_t kUpperOUmlaut = 0xD6;
constexpr uint8_t kUpperUUmlaut = 0xDC;

char Up(char c) { return UPPERCAS::UpCaseChar(c); }

bool IsNameStart(char c) {
  const uint8_t u = uint8_t(Up(c));
  return (u >= 'A' && u <= 'Z') || u == kUpperAUmlaut || u == kUpperOUmlaut || u == kUpperUUmlaut;
}

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// The choice field whose values the next bare name may be.
struct TChoiceContext {
  bool set = false;
  int table = 0;
  uint16_t field = 0;
};

// The result of compiling one text.
struct TCompiled {
  ShortStr code;
  uint64_t tables = 0;
  uint16_t error = 0;
  size_t position = 1;  // 1-based, in the compiled text
};

TCompiled Compile(std::string_view text, bool listFlag, const TChoiceContext& inherited);

// Compares a field's stored name (the part before a "(" of a link field,
// without a label's ":", blanks as "_") with a name of the text, without regard to case.
bool FieldNameIs(std::string_view stored, std::string_view name) {
  if (size_t open = stored.find('('); open != std::string_view::npos) stored = stored.substr(0, open);
  stored = ZetTable::LabelName(stored);
  if (stored.size() != name.size()) return false;
  for (size_t i = 0; i < stored.size(); ++i) {
    const char a = stored[i] == ' ' ? '_' : Up(stored[i]);
    if (a != Up(name[i])) return false;
  }
  return true;
}

uint16_t FindField(int table, std::string_view name) {
  const ZetTable::TZetTable* t = table >= 1 && table <= ZetTable::OpenCount() ? ZetTable::Table(table) : nullptr;
  if (!t || name.empty()) return 0;
  for (uint16_t n = 1; n <= t->fieldCount; ++n)
    if (t->IsUserField(n) && FieldNameIs(t->StoredName(n), name)) return n;
  return 0;
}

// "$" and a number n names the n-th user field of a table (counted as the
// field lists of the interface count them): the form the runtime writes for
// memo transfers and browse columns. 0 when the number names none.
uint16_t NthUserField(int table, std::string_view digits) {
  const ZetTable::TZetTable* t = table >= 1 && table <= ZetTable::OpenCount() ? ZetTable::Table(table) : nullptr;
  if (!t || digits.empty() || digits.size() > 5) return 0;
  unsigned wanted = 0;
  for (const char c : digits) {
    if (!Common::IsDigit(c)) return 0;
    wanted = wanted * 10 + unsigned(c - '0');
  }
  for (uint16_t n = 1; n <= t->fieldCount && wanted != 0; ++n)
    if (t->IsUserField(n) && --wanted == 0) return n;
  return 0;
}

const ZetTable::TFieldBinding* BindingOf(int table, uint16_t field) {
  const ZetTable::TZetTable* t = ZetTable::Table(table);
  if (!t || field >= t->bindings.size()) return nullptr;
  return &t->bindings[field];
}

uint16_t CodeIndex(uint16_t index) {
  const uint16_t base = ZetVars::LocalBase();
  if (base != 0 && index > base && index < ZetVars::kFirstSystemVar) return uint16_t((index - base) | kLocalVarBit);
  return index;
}

uint64_t VarTables(const ZetVars::TVarInfo& info) { return uint64_t(info.word1) | (uint64_t(info.word2) << 32); }

class TCompiler {
 public:
  TCompiler(std::string_view text, bool listFlag, const TChoiceContext& inherited)
      : src_(text), list_(listFlag), inherited_(inherited), choice_(inherited) {}

  TCompiled Run() {
    const int savedTable = ZetTable::CurrentHandle();
    while (pos_ <= src_.size() && error_ == 0) {
      Step();
      if (error_ == 0 && code_.size() >= kCodeLimit) Fail(kErrTooComplex, "");
      while (!contexts_.empty() && (error_ != 0 || pos_ > contexts_.back().end)) {
        ZetTable::SetCurrentHandle(contexts_.back().savedTable);
        contexts_.pop_back();
      }
    }
    ZetTable::SetCurrentHandle(savedTable);
    TCompiled result;
    result.code = code_;
    result.tables = tables_;
    result.error = error_;
    result.position = pos_;
    return result;
  }

 private:
  struct TTableContext {
    size_t end;  // position of the ")" that closes it
    int savedTable;
  };

  char At(size_t p) const { return p >= 1 && p <= src_.size() ? src_[p - 1] : '\0'; }
  bool Has(size_t p) const { return p >= 1 && p <= src_.size(); }
  void Emit(uint8_t b) { PutByte(code_, b); }
  // A whole-number constant. Directly behind a statement-separating ";" it
  // is always a word constant: ";" and a byte constant read as the rounding
  // suffix, so "1;2" would answer 1 rounded instead of running "2".
  void Whole(uint16_t n) {
    if (code_.size() == separatorEnd_) {
      Emit(tkWordConst);
      PutWord(code_, n);
    } else {
      PutWholeNumber(code_, n);
    }
  }
  uint8_t Last() const { return code_.empty() ? 0 : code_.byte(code_.size() - 1); }
  void Include(int table) {
    if (table >= 1) ZetTable::IncludeHandle(tables_, table);
  }
  void SkipBlanks() {
    while (Has(pos_) && IsBlank(At(pos_))) ++pos_;
  }
  void Fail(uint16_t error, std::string_view argument) {
    if (error_ != 0) return;
    Common::SetErrorArgument(argument);
    error_ = error;
  }
  // Room for n more bytes below the limit; error 60 otherwise.
  bool Room(size_t n) {
    if (code_.size() + n < kCodeLimit) return true;
    Fail(kErrTooComplex, "");
    return false;
  }

  // The matching closer of the bracket or quote at p: its position, 0 with
  // error 56 when it is missing.
  size_t Match(size_t p) {
    size_t q = p;
    if (Common::MatchBrackets(src_, q) != 0) {
      error_ = kErrExpected;  // the matcher has set the argument
      return 0;
    }
    return q - 1;
  }

  // Compiles src_[from..to] (1-based, inclusive) as nested code; an error
  // there stops the line at the inner position.
  bool Nested(size_t from, size_t to, TCompiled& inner, bool listFlag = false) {
    const std::string_view text = from <= to ? src_.substr(from - 1, to - from + 1) : std::string_view();
    inner = Compile(text, listFlag, listFlag ? choice_ : TChoiceContext{});
    if (inner.error != 0) {
      error_ = inner.error;
      pos_ = from + inner.position - 1;
      return false;
    }
    return true;
  }

  void Step() {
    const char c = Up(At(pos_));
    const char c2 = pos_ < src_.size() ? Up(At(pos_ + 1)) : '\0';
    if (c == ':' && c2 == '=') {
      Emit(tkAssign);
      pos_ += 2;
      return;
    }
    if (c == ':' || ((c == 'L' || c == 'R') && c2 == ' ')) {
      const size_t start = pos_;
      ++pos_;
      SkipBlanks();
      if (Common::IsDigit(At(pos_))) {
        Emit(c == ':' ? tkColon : c == 'L' ? tkLForm : tkRForm);
        uint16_t n = 0;
        Common::ReadNumber(src_, pos_, n);
        Whole(n);
        SkipBlanks();
        const char f = Up(At(pos_));
        if (f == 'F' && (pos_ == src_.size() || !Common::IsFieldNameChar(At(pos_ + 1)))) {
          Emit(tkFormatF);
          ++pos_;
        } else if (f == '.' || f == '_') {
          Emit(uint8_t(f));
          ++pos_;
        }
        return;
      }
      if (c == ':') {
        Emit(tkColon);
        return;
      }
      pos_ = start;
    } else if (c == '.' && c2 == '.') {
      pos_ = src_.size() + 1;
      return;
    }
    Dispatch(c, c2);
  }

  void Dispatch(char c, char c2) {
    switch (c) {
      case ' ': case '\t': case '\r': case '\n':
        ++pos_;
        return;
      case '(':
        if (pos_ > checked_) {
          const size_t close = Match(pos_);
          if (close == 0) return;
          checked_ = close;
        }
        Emit(tkOpen);
        ++pos_;
        return;
      case '!': case '*': case '+': case ',': case '-': case '/': case ':': case ';':
      case '\\': case ']': case '_': case '}': case '~': case ')':
        Emit(uint8_t(c));
        if (c == ';') separatorEnd_ = code_.size();
        ++pos_;
        return;
      case '&': Emit(tkAnd); ++pos_; return;
      case '=': Emit(tkEqual); ++pos_; return;
      case '#': Emit(tkNotEqual); ++pos_; return;
      case '|': Emit(tkHas); ++pos_; return;
      case '<':
        if (c2 == '=') Emit(tkLessEqual);
        else if (c2 == '>') Emit(tkNotEqual);
        else Emit(tkLess);
        pos_ += (c2 == '=' || c2 == '>') ? 2 : 1;
        return;
      case '>':
        if (c2 == '<') Emit(tkNotEqual);
        else if (c2 == '=') Emit(tkGreaterEqual);
        else Emit(tkGreater);
        pos_ += (c2 == '<' || c2 == '=') ? 2 : 1;
        return;
      case '?':
        Emit(tkLike);
        ++pos_;
        if (c2 == '?') {
          ++pos_;
          Emit(tkSel);
          Construct();
        }
        return;
      case '^':
        if (pos_ >= src_.size()) return Fail(kErrIllegalChar, "");
        Emit(tkStringConst);
        Emit(1);
        Emit(uint8_t(At(pos_ + 1)) & 31);
        pos_ += 2;
        return;
      case '\'': case '"': {
        const size_t close = Match(pos_);
        if (close == 0) return;
        if (!Room(close - pos_ + 1)) return;
        Emit(tkStringConst);
        PutText(code_, src_.substr(pos_, close - pos_ - 1));
        pos_ = close + 1;
        return;
      }
      case '[':
        return Bracket();
      case '{':
        return Brace();
      case '@':
        return FontReference();
      case '$':
        return DollarReference();
      case '.':
        return Member();
      default:
        break;
    }
    if (Common::IsDigit(c)) return NumberLiteral();
    if (IsNameStart(c)) return Name();
    Fail(kErrIllegalChar, "");
  }

  void Bracket() {
    if (code_.empty() || Last() != tkIn) {
      Emit(tkBracket);
      ++pos_;
      return;
    }
    const size_t close = Match(pos_);
    if (close == 0) return;
    TCompiled inner;
    if (!Nested(pos_ + 1, close - 1, inner, true)) return;
    tables_ |= inner.tables;
    if (!Room(inner.code.size() + 2)) return;
    Emit(tkBracket);
    PutText(code_, inner.code);
    pos_ = close + 1;
  }

  void FontReference() {
    ++pos_;
    ShortStr name;
    Common::ReadIdentifier(src_, pos_, name);
    const uint16_t font = g_hooks.findFont(name);
    if (font == 0) return Fail(kErrFieldExpected, "");
    Emit(tkFontRef);
    PutWord(code_, font);
  }

  void DollarReference() {
    ++pos_;
    ShortStr name;
    Common::ReadWord(src_, pos_, name);
    if (!name.empty() && Common::IsDigit(name.view()[0])) {
      const int current = ZetTable::CurrentHandle();
      const uint16_t field = NthUserField(current, name.view());
      if (field == 0) return Fail(kErrUnknownName, name.view().substr(0, Common::kMaxNameLength));
      EmitFieldPath({{current, field}});
      return;
    }
    if (FieldReference(name) || error_ != 0) return;
    if (TableName(name)) return;
    if (VariableReference(name)) return;
    Fail(kErrUnknownName, name.view().substr(0, Common::kMaxNameLength));
  }

  void Member() {
    Emit(tkDot);
    ++pos_;
    if (!Has(pos_) || IsBlank(At(pos_))) return;
    ShortStr name;
    Common::ReadIdentifier(src_, pos_, name);
    if (name.empty()) return Fail(kErrIllegalChar, "");
    if (HostCommand(name)) return;
    uint8_t code = 0;
    if (LookupMarkFunction(name, code)) {
      Emit(tkStarFunc);
      Emit(code);
      return;
    }
    if (HostName(name, memberFlag_, false)) return;
    Fail(kErrUnknownName, name.view().substr(0, Common::kMaxNameLength));
  }

  void NumberLiteral() {
    const size_t start = pos_;
    int dots = 0;
    int colons = 0;
    while (Has(pos_) && (Common::IsDigit(At(pos_)) || At(pos_) == '.' || At(pos_) == ':')) {
      if (At(pos_) == '.') ++dots;
      if (At(pos_) == ':') ++colons;
      ++pos_;
    }
    if (At(pos_ - 1) == '.') {
      --pos_;
      --dots;
    }
    const std::string_view text = src_.substr(start - 1, pos_ - start);
    auto bad = [&]() {
      pos_ = start;
      Fail(kErrBadNumber, "");
    };
    if (colons > 0) {
      int32_t minutes = 0;
      if (DATUM::StrToMinutes(text, minutes) != 0 || minutes < 0 || minutes > 65535) return bad();
      Whole(uint16_t(minutes));
      return;
    }
    if (dots <= 1) {
      double value = 0;
      auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value, std::chars_format::fixed);
      if (ec != std::errc() || end != text.data() + text.size()) return bad();
      if (value >= 1 && value <= 65535 && value == std::floor(value)) {
        Whole(uint16_t(value));
      } else {
        Emit(tkRealConst);
        PutReal(code_, value);
      }
      return;
    }
    if (dots == 2) {
      int32_t packed = 0;
      if (DATUM::StrToPackedDate(text, packed) != 0 || packed == 0) return bad();
      Emit(tkRealConst);
      PutReal(code_, DATUM::PackedToDayNumber(packed));
      return;
    }
    bad();
  }

  bool HostCommand(std::string_view name) {
    ShortStr signature;
    uint16_t id = 0;
    uint16_t count = 0;
    uint8_t kind = 0;
    if (!LumoHost::FindCommand(name, signature, id, count, kind)) return false;
    if (!Room(4 + signature.size())) return true;
    Emit(tkHostCommand);
    PutWord(code_, id);
    Emit(uint8_t(count));
    PutText(code_, signature);
    return true;
  }

  // The host's own name: 184 1000 46 and 182/183 with the id for a bare
  // name, 182/183 and the id for a member.
  bool HostName(std::string_view name, uint16_t flag, bool bare) {
    const int16_t id = LumoHost::HostLookup(flag, name);
    if (id <= 0) return false;
    uint8_t area[LumoHost::kDescriptionArea];
    const bool described = LumoHost::HostDescribe(flag, uint16_t(id), area) == 0;
    if (bare) {
      Emit(tkHostObject);
      PutWord(code_, kHostObjectId);
      Emit(tkDot);
    }
    Emit(described && area[LumoHost::kDescValueFlag] != 0 ? tkHostFunc : tkHostProc);
    PutWord(code_, uint16_t(id));
    memberFlag_ = described ? uint16_t(area[LumoHost::kDescKind] | (area[LumoHost::kDescKind + 1] << 8)) : 0;
    return true;
  }

  bool VariableReference(std::string_view name) {
    const uint16_t index = ZetVars::FindVariable(name);
    if (index == 0) return false;
    const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
    if (info.flags & ZetVars::kFlagArray) {
      Emit(tkArrayVar);
      PutWord(code_, index);
      Emit(info.dimensions);
    } else {
      Emit(tkVar);
      PutWord(code_, index);
    }
    if (g_collect && info.type == ZetVars::kTypeExpression) tables_ |= VarTables(info);
    return true;
  }

  bool TableName(std::string_view name) {
    const int table = ZetTable::FindOpenTable(name);
    if (table == 0 || table > ZetTable::kMaxOpenTables) return false;
    Emit(tkTable);
    Emit(uint8_t(table));
    Include(table);
    if (At(pos_) == '(') {
      const size_t close = Match(pos_);
      if (close == 0) return true;
      checked_ = std::max(checked_, close);
      contexts_.push_back({close, ZetTable::CurrentHandle()});
      ZetTable::SetCurrentHandle(table);
    }
    return true;
  }

  // A field or a field path; false when the name is none (error 60 for a
  // path that is too long).
  bool FieldReference(std::string_view name) {
    std::vector<std::pair<int, uint16_t>> pairs;
    const int current = ZetTable::CurrentHandle();
    if (name.find('.') == std::string_view::npos) {
      int table = 0;
      uint16_t field = FindField(current, name);
      if (field != 0) {
        table = current;
      } else {
        const uint64_t visible = ZetTable::VisibleTableSet();
        for (int t = 1; t <= ZetTable::OpenCount() && field == 0; ++t) {
          if (t == current || !ZetTable::HandleInSet(visible, t)) continue;
          field = FindField(t, name);
          if (field != 0) table = t;
        }
      }
      if (field == 0) return false;
      pairs.emplace_back(table, field);
    } else {
      std::vector<std::string_view> parts;
      for (size_t from = 0;;) {
        const size_t dot = name.find('.', from);
        parts.push_back(name.substr(from, dot == std::string_view::npos ? std::string_view::npos : dot - from));
        if (dot == std::string_view::npos) break;
        from = dot + 1;
      }
      int table = current;
      size_t k = 0;
      if (FindField(current, parts[0]) == 0) {
        if (const int named = ZetTable::FindOpenTable(parts[0]); named != 0 && named <= ZetTable::kMaxOpenTables) {
          table = named;
          k = 1;
        }
      }
      if (k >= parts.size()) return false;
      for (; k < parts.size(); ++k) {
        const uint16_t field = FindField(table, parts[k]);
        if (field == 0) return false;
        pairs.emplace_back(table, field);
        if (k + 1 == parts.size()) break;
        const uint8_t type = ZetTable::Table(table)->FieldType(field);
        const ZetTable::TFieldBinding* b = BindingOf(table, field);
        if (type == Common::kTypeLink) {
          int linked = b ? b->linkedTable : 0;
          if (linked == 0) linked = Zet01::LinkedTableOfField(table, field);
          if (linked == 0) return false;
          table = linked;
        } else if (type == Common::kTypeRelation && pairs.size() == 1) {
          if (!b || b->linkedTable == 0 || b->relatedTable == 0) return false;
          pairs.emplace_back(b->linkedTable, uint16_t(2));
          table = b->relatedTable;
        } else {
          return false;
        }
      }
      if (int(pairs.size()) - 1 > kMaxPathSteps) {
        Fail(kErrTooComplex, "");
        return false;
      }
    }
    EmitFieldPath(pairs);
    return true;
  }

  // Emits a field (one pair) or a field path and notes the tables it reads;
  // a choice field sets the choice context.
  void EmitFieldPath(const std::vector<std::pair<int, uint16_t>>& pairs) {
    if (!Room(3 * pairs.size() + 2)) return;
    if (pairs.size() == 1) {
      Emit(tkField);
    } else {
      Emit(tkFieldChain);
      Emit(uint8_t(pairs.size() - 1));
    }
    for (const auto& [table, field] : pairs) {
      Emit(uint8_t(table));
      PutWord(code_, field);
      Include(table);
    }
    const auto& [firstTable, firstField] = pairs.front();
    if (ZetTable::Table(firstTable)->FieldType(firstField) == Common::kTypeChoice)
      choice_ = {true, firstTable, firstField};
  }

  bool ChoiceOfAnyField(std::string_view name) {
    for (int t = 1; t <= ZetTable::OpenCount(); ++t) {
      const ZetTable::TZetTable* table = ZetTable::Table(t);
      if (!table) continue;
      for (uint16_t f = 1; f <= table->fieldCount; ++f) {
        if (table->FieldType(f) != Common::kTypeChoice) continue;
        const uint8_t n = ZetTable::FindChoice(*table, f, name);
        if (n == 0) continue;
        const uint8_t last = Last();
        if (!list_ && last != '+' && last != '-' && last != '*' && last != '/') {
          Emit(tkField);
          Emit(uint8_t(t));
          PutWord(code_, f);
          Emit(tkEqual);
        }
        Whole(n);
        Include(t);
        return true;
      }
    }
    return false;
  }

  void Name() {
    const size_t start = pos_;
    ShortStr name;
    Common::ReadWord(src_, pos_, name);
    if (name.empty()) {
      ++pos_;
      return Fail(kErrIllegalChar, "");
    }
    const size_t dot = name.view().find('.');
    const std::string_view head = dot == std::string_view::npos ? name.view() : name.view().substr(0, dot);
    // 1. the function lists
    uint8_t kind = 0;
    uint16_t index = 0;
    if (g_hooks.findFunction(name, kind, index)) {
      Emit(kind);
      PutWord(code_, index);
      return;
    }
    // 2. a registered host command
    if (HostCommand(name)) return;
    // 3. an object variable before a member
    if (dot != std::string_view::npos) {
      const uint16_t v = ZetVars::FindVariable(head);
      if (v != 0 && ZetVars::GetVarInfo(v).type == ZetVars::kTypeObject) {
        Emit(tkObjectVar);
        PutWord(code_, v);
        memberFlag_ = ZetVars::kTypeObject;
        pos_ = start + dot;
        return;
      }
    }
    // 4. a mark function
    uint8_t code = 0;
    if (LookupMarkFunction(name, code)) {
      Emit(tkStarFunc);
      Emit(code);
      return;
    }
    // 5. an extension function
    if (g_hooks.findExtension(name, index)) {
      Emit(tkExtFunc);
      PutWord(code_, index);
      return;
    }
    // 6. a keyword
    uint8_t group = 0;
    if (LookupKeyword(name, group, code)) {
      if (group != 0) Emit(group);
      Emit(code);
      if (group == 0 && code == tkProcCall) PutWord(code_, 0);
      if (group == 0) Construct();
      return;
    }
    // 7. a value of the choice field just named
    if (choice_.set) {
      const uint8_t n = ZetTable::FindChoice(choice_.table, choice_.field, name);
      choice_ = inherited_;
      if (n != 0) {
        Whole(n);
        return;
      }
    }
    // 8. a variable
    if (VariableReference(name)) return;
    // 9. a procedure of the loaded program
    if (const uint16_t proc = ZetVars::FindProcedure(name); proc != 0) {
      Emit(tkProcCall);
      PutWord(code_, proc);
      return;
    }
    // 10. a field or field path
    if (FieldReference(name) || error_ != 0) return;
    // 11. a table
    if (TableName(name)) return;
    // 12. a value of any choice field
    if (ChoiceOfAnyField(name)) return;
    // 13. the host's own names
    if (HostName(head, 0, true)) {
      if (dot != std::string_view::npos) pos_ = start + dot;
      return;
    }
    // 14. yes and no
    ShortStr upper(name);
    UPPERCAS::UpperStr(upper);
    if (upper == "JA" || upper == "YES") return Whole(1);
    if (upper == "NEIN" || upper == "NO") return Whole(0);
    pos_ = start;
    Fail(kErrUnknownName, name.view().substr(0, Common::kMaxNameLength));
  }

  // The parenthesised argument of a construct keyword: its bounds, 0 on an
  // error.
  size_t ArgumentClose() {
    SkipBlanks();
    if (At(pos_) != '(') {
      Fail(kErrExpected, "(");
      return 0;
    }
    const size_t close = Match(pos_);
    if (close != 0) checked_ = std::max(checked_, close);
    return close;
  }

  void Construct() {
    const uint8_t t = Last();
    if (t == tkAlles) {
      Include(ZetTable::CurrentHandle());
      return;
    }
    const bool construct = t == tkPrint || t == tkChoice || (t >= tkNLoop && t <= tkLinkSum) ||
                           (t >= tkSum && t <= tkFields);
    if (!construct) return;
    uint16_t variant = 0;
    if (t >= tkSum && t <= tkMean) {
      SkipBlanks();
      if (At(pos_) == '[') {
        ++pos_;
        SkipBlanks();
        Common::ReadNumber(src_, pos_, variant);
        SkipBlanks();
        if (At(pos_) != ']') return Fail(kErrExpected, "]");
        ++pos_;
      }
    }
    const size_t open = [&] {
      SkipBlanks();
      return pos_;
    }();
    const size_t close = ArgumentClose();
    if (close == 0) return;
    if (t == tkExecMacro) return ExecMacro(open, close);
    TCompiled inner;
    if (!Nested(open + 1, close - 1, inner)) return;
    pos_ = close + 1;
    const ShortStr& nested = inner.code;
    if (t == tkPrint || t == tkFields) {
      if (!Room(nested.size() + 1)) return;
      tables_ |= inner.tables;
      PutText(code_, nested);
    } else if (t == tkChoice || t == tkNLoop) {
      tables_ |= inner.tables;
      ShortStr run;
      PutByte(run, t == tkChoice ? tkChoiceRun : tkNLoop);
      run.append(nested.view());
      TRunValue value;
      const int result = g_hooks.execute(run, 0, value);
      const ShortStr& produced = value.text;
      if (result > 0) return Fail(uint16_t(result), "");
      if (t == tkChoice) {
        if (!Room(produced.size() + nested.size() + 2)) return;
        Emit(uint8_t(produced.size()));
        code_.append(produced.view());
        code_.append(nested.view());
        Emit(0);
      } else {
        if (!Room(nested.size() + 3)) return;
        Emit(tkNLoopBody);
        PutText(code_, nested);
        Emit(0);
      }
    } else if (IsLinkedAggregate(t)) {
      if (!Room(nested.size() + 10)) return;
      PutSet(code_, inner.tables);
      PutText(code_, nested);
      if (Up(At(pos_)) == 'S' && !Common::IsFieldNameChar(At(pos_ + 1))) {
        Emit(tkSumSuffix);
        ++pos_;
      }
    } else {
      Accumulator(t, uint8_t(variant), inner);
    }
  }

  void Accumulator(uint8_t t, uint8_t variant, const TCompiled& inner) {
    ShortStr hidden;
    PutByte(hidden, t);
    PutByte(hidden, variant);
    hidden.append(inner.code.view());
    uint16_t index = ZetVars::FindVariable(hidden);
    if (index == 0) {
      if (ZetVars::VariableCount() >= ZetVars::kMaxProgramVars) return Fail(kErrTooManyVars, "");
      uint64_t set = inner.tables;
      if (!inner.code.empty() && inner.code.byte(0) == tkVar && inner.code.size() >= 3) {
        const ZetVars::TVarInfo info = ZetVars::GetVarInfo(bytes::GetU16(
            reinterpret_cast<const uint8_t*>(inner.code.data()) + 1));
        if (info.type == ZetVars::kTypeExpression) {
          set = VarTables(info);
          Common::Include64(set, 0);
        }
      }
      index = CodeIndex(ZetVars::DefineVariable(hidden, true, uint32_t(set), uint32_t(set >> 32),
                                                ZetVars::kTypeReal, nullptr, false));
    }
    code_.truncate(code_.size() - 1);  // the keyword byte
    Emit(tkVar);
    PutWord(code_, index);
  }

  void ExecMacro(size_t open, size_t close) {
    size_t p = open + 1;
    while (p < close && IsBlank(At(p))) ++p;
    const size_t nameStart = p;
    while (p < close && (Common::IsFieldNameChar(At(p)) || At(p) == ':' || At(p) == '\\' || At(p) == '.')) ++p;
    const std::string_view module = src_.substr(nameStart - 1, p - nameStart);
    if (module.empty() || !g_hooks.loadModule(module)) {
      pos_ = nameStart;
      return Fail(kErrModuleNotFound, module.substr(0, std::min(module.size(), Common::kMaxNameLength)));
    }
    TCompiled inner;
    const bool ok = Nested(p, close - 1, inner);
    g_hooks.unloadModule();
    if (!ok) return;
    if (!Room(module.size() + inner.code.size() + 4)) return;
    tables_ |= inner.tables;
    Emit(tkOpen);
    Emit(tkStringConst);
    PutText(code_, module);
    code_.append(inner.code.view());
    Emit(tkClose);
    pos_ = close + 1;
  }

  void Brace() {
    const size_t open = pos_;
    const size_t close = Match(pos_);
    if (close == 0) return;
    uint64_t set = 0;
    uint16_t error = 0;
    const std::string_view text = src_.substr(open - 1, close - open + 1);
    size_t errorAt = 0;
    const uint16_t index = DefineBrace(text, set, error, errorAt);
    if (error != 0) {
      error_ = error;
      pos_ = open + errorAt;
      return;
    }
    tables_ |= set;
    Emit(tkVar);
    PutWord(code_, index);
    pos_ = close + 1;
  }

 public:
  // "{name = expression}" with the braces: the variable's index as code
  // uses it; error and the offset of the fault within text on failure.
  static uint16_t DefineBrace(std::string_view text, uint64_t& set, uint16_t& error, size_t& errorAt) {
    error = 0;
    errorAt = 0;
    size_t p = 2;
    ShortStr name;
    Common::ReadIdentifier(text, p, name);
    uint16_t index = g_procedureHeader ? 0 : ZetVars::FindVariable(name);
    const uint16_t resolved = ZetVars::ResolveVarIndex(index);
    if (name.empty()) {
      error = kErrIllegalChar;
      Common::SetErrorArgument("");
      return 0;
    }
    if ((index == 0 && ZetVars::VariableCount() >= ZetVars::kMaxProgramVars) ||
        resolved >= ZetVars::kFirstSystemVar) {
      error = kErrTooManyVars;
      Common::SetErrorArgument("");
      return 0;
    }
    Common::SkipBlanks(text, p);
    if (p > text.size() || text[p - 1] != '=') {
      error = kErrEqualsMissing;
      errorAt = p - 1;
      Common::SetErrorArgument("");
      return 0;
    }
    ++p;
    const std::string_view expression = text.substr(p - 1, text.size() - p);  // up to the "}"
    TCompiled inner = Compile(expression, false, {});
    if (inner.error != 0) {
      error = inner.error;
      errorAt = p - 1 + inner.position - 1;
      return 0;
    }
    TRunValue result;
    const int run = g_hooks.execute(inner.code, 0, result);
    if (run > 0) {
      error = uint16_t(run);
      Common::SetErrorArgument("");
      return 0;
    }
    if (index == 0)
      index = CodeIndex(ZetVars::DefineVariable(name, false, uint32_t(inner.tables), uint32_t(inner.tables >> 32),
                                                ZetVars::kTypeExpression, nullptr, false));
    ZetVars::TVarValue value;
    value.text = inner.code;
    const uint16_t fehler = ZetVars::GetSystemVarInt(ZetVars::kSysFehler);
    ZetVars::SetVariable(index, ZetVars::kTypeExpression, value, 0);
    ZetVars::SetErrorVariable(fehler);
    set = inner.tables;
    return index;
  }

 private:
  std::string_view src_;
  bool list_;
  TChoiceContext inherited_;
  TChoiceContext choice_;
  ShortStr code_;
  uint64_t tables_ = 0;
  size_t pos_ = 1;
  uint16_t error_ = 0;
  size_t checked_ = 0;
  // The code's length just behind the last ";" emitted (none: never equal).
  size_t separatorEnd_ = SIZE_MAX;
  uint16_t memberFlag_ = 0;
  std::vector<TTableContext> contexts_;
};

TCompiled Compile(std::string_view text, bool listFlag, const TChoiceContext& inherited) {
  return TCompiler(text, listFlag, inherited).Run();
}

// How deep compilations nest (brace definitions inside compile-time runs
// inside compilations); beyond it a line is too complex.
constexpr int kMaxNesting = 64;
int g_nesting = 0;

}  // namespace

void SetCompilerHooks(const TCompilerHooks& hooks) {
  if (hooks.execute) g_hooks.execute = hooks.execute;
  if (hooks.findFunction) g_hooks.findFunction = hooks.findFunction;
  if (hooks.findExtension) g_hooks.findExtension = hooks.findExtension;
  if (hooks.findFont) g_hooks.findFont = hooks.findFont;
  if (hooks.loadModule) g_hooks.loadModule = hooks.loadModule;
  if (hooks.unloadModule) g_hooks.unloadModule = hooks.unloadModule;
}

void ResetCompilerHooks() { g_hooks = kDefaultHooks; }
void SetDeclaringProcedureHeader(bool on) { g_procedureHeader = on; }
void SetCollectTables(bool on) { g_collect = on; }

uint16_t CompileLine(ShortStr& text, uint64_t& tableSet, size_t& endPosition) {
  ZetVars::SetCompilerError(0, 0, "", true);
  tableSet = 0;
  const ShortStr source = text;
  TCompiled result;
  if (g_nesting >= kMaxNesting) {
    result.error = kErrTooComplex;
    Common::SetErrorArgument("");
  } else {
    ++g_nesting;
    result = Compile(source, false, {});
    --g_nesting;
  }
  if (result.error != 0) ZetVars::SetCompilerError(result.error, result.position, source, false);
  text = result.code;
  tableSet = result.tables;
  endPosition = result.position;
  return result.error;
}

uint16_t CompileExpression(ShortStr& text, uint64_t& tableSet) {
  size_t end = 0;
  return CompileLine(text, tableSet, end);
}

uint16_t GetVariableValue(uint16_t index, int mode, TRunValue& value) {
  value = TRunValue();
  if (!ZetVars::IsKnownVariable(index)) return ZetVars::kErrSyntax;
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
  switch (info.type) {
    case ZetVars::kTypeString:
      value.type = ZetVars::kTypeString;
      value.text = info.text;
      return 0;
    case ZetVars::kTypeWord:
    case ZetVars::kTypeReal:
      value.type = ZetVars::kTypeReal;
      value.number = info.number;
      return 0;
    case ZetVars::kTypeObject:
      value.type = ZetVars::kTypeObject;
      value.number = info.number;
      return 0;
    case ZetVars::kTypeBits:
      value.type = ZetVars::kTypeBits;
      value.number = info.number;
      return 0;
    case ZetVars::kTypeExpression: {
      if (g_nesting >= kMaxNesting) return kErrTooComplex;
      const std::string code(info.text);
      ++g_nesting;
      const int result = g_hooks.execute(code, mode, value);
      --g_nesting;
      return result > 0 ? uint16_t(result) : 0;
    }
    default:
      return 0;
  }
}

uint16_t GetVariableType(uint16_t index) {
  TRunValue value;
  return GetVariableValue(index, 0, value) == 0 ? value.type : 0;
}

bool SameExpression(int table, std::string_view a, std::string_view b) {
  const int saved = ZetTable::CurrentHandle();
  ZetTable::SetCurrentHandle(table);
  ShortStr first(a);
  ShortStr second(b);
  uint64_t set = 0;
  const uint16_t e1 = CompileExpression(first, set);
  const uint16_t e2 = CompileExpression(second, set);
  ZetTable::SetCurrentHandle(saved);
  return e1 == 0 && e2 == 0 && first.view() == second.view();
}

namespace {

bool KeyVariableValue(uint16_t variable, Zet00::TKeyValue& key) {
  TRunValue value;
  if (GetVariableValue(variable, 3, value) != 0 || value.type == 0) return false;
  key.isText = value.type == ZetVars::kTypeString;
  key.number = value.number;
  key.text = value.text;
  return true;
}

ShortStr KeyVariableName(uint16_t variable) {
  const ZetVars::TVarInfo info = ZetVars::GetVarInfo(variable);
  return info.valid ? ShortStr(info.name) : ShortStr();
}

}  // namespace

void UnitInit() {
  ResetCompilerHooks();
  Zet00::SameExpressionHook = SameExpression;
  Zet00::VariableValueHook = KeyVariableValue;
  Zet00::VariableNameHook = KeyVariableName;
  g_procedureHeader = false;
  g_collect = false;
  g_nesting = 0;
  SetSuppressRunErrors(false);
}

void UnitDone() {
  ResetCompilerHooks();
  Zet00::VariableValueHook = nullptr;
  Zet00::VariableNameHook = nullptr;
}

uint16_t CompileBrace(std::string_view text, uint64_t& tableSet, uint16_t& error) {
  size_t errorAt = 0;
  tableSet = 0;
  return TCompiler::DefineBrace(text, tableSet, error, errorAt);
}

}  // namespace Zet02
