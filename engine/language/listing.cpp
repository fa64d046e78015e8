#include "engine/language/listing.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <string>

#include "engine/base/common.h"
#include "engine/base/datum.h"
#include "engine/language/bytecode.h"
#include "engine/language/hostcmds.h"
#include "engine/language/nametables.h"
#include "engine/language/sysalgo.h"
#include "engine/language/variables.h"
#include "engine/storage/zettable.h"

namespace Zet02 {
namespace {

using namespace ByteCode;

bool g_suppressRunErrors = false;

// Listings of expression variables inside listings stop at this depth.
constexpr int kMaxListingDepth = 8;

ShortStr TableNameOf(int table) {
  const ZetTable::TZetTable* t =
      table >= 1 && table <= ZetTable::OpenCount() ? ZetTable::Table(table) : nullptr;
  if (!t) return ShortStr(kUndefined);
  const std::string_view file = t->fileName.view();
  return ShortStr(file.substr(0, file.find('.')));
}

ShortStr FieldNameOf(int table, uint16_t field) {
  const ZetTable::TZetTable* t =
      table >= 1 && table <= ZetTable::OpenCount() ? ZetTable::Table(table) : nullptr;
  if (!t || !t->ValidField(field)) return ShortStr(kUndefined);
  std::string_view name = t->StoredName(field);
  return ShortStr(name.substr(0, name.find('(')));
}

std::string_view MarkFunctionName(uint8_t code) {
  switch (code) {
    case 59: return "GETSTARS";
    case 61: return "STARNUM";
    case 62: return "ISSTAR";
    case 68: return "PUTSTARS";
    default: return kUndefined;
  }
}

// One listing: the code and every nested code and expression variable it
// names write into one text, and every walk ends once that text is full.
// So a listing costs at most what its 255 characters can show, however often
// an expression variable names itself: each nested walk starts only after
// its opener (a blank, "(" or "[") went into the text.
class TLister {
 public:
  explicit TLister(size_t stop) : stop_(stop) {}

  void List(std::string_view code, size_t start) { Walk(code, start, true); }

  ShortStr text;
  size_t column = 0;

 private:
  bool Full() const { return text.size() >= ShortStr::kMax; }
  // outer: the code the stop position belongs to.
  void Walk(std::string_view code, size_t start, bool outer) {
    CodeReader r(code, start);
    uint8_t previous = 0;
    while (!r.atEnd() && !Full()) {
      if (outer && !passed_ && r.position() >= stop_) Pass();
      uint8_t t = 0;
      r.byte(t);
      if (!Token(r, t, previous)) break;
      previous = t;
    }
    // A full text ends the walk before the stop: the fault lies behind it.
    if (outer && !passed_ && (r.position() >= stop_ || Full())) Pass();
  }
  void Pass() {
    passed_ = true;
    column = text.size();
  }
  void Add(std::string_view s) {
    if (!s.empty()) text.append(s);
  }
  void Nested(std::string_view code) { Walk(code, 0, false); }
  void Variable(uint16_t index) {
    const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
    if (!info.valid || !ZetVars::IsKnownVariable(index)) return Add(kUndefined);
    Add(ZetVars::IsHiddenName(info.name) ? std::string_view(KeywordNameOf(0, uint8_t(info.name[0])))
                                         : info.name);
    if (info.type == ZetVars::kTypeExpression && depth_ < kMaxListingDepth) {
      Add(" ");
      ++depth_;
      Walk(info.text, 0, false);
      --depth_;
    }
  }

  // Renders one token; false when its operands run past the code.
  bool Token(CodeReader& r, uint8_t t, uint8_t previous) {
    uint8_t b = 0;
    uint16_t w = 0;
    uint64_t set = 0;
    double v = 0;
    std::string_view s;
    switch (t) {
      case tkBang: case tkOpen: case tkClose: case tkMul: case tkPlus: case tkMinus: case tkSlash:
      case tkColon: case tkSemicolon: case tkOr: case tkBracketClose: case tkUnderscore:
      case tkBraceOpen: case tkBraceClose:
        Add(std::string_view(reinterpret_cast<const char*>(&t), 1));
        return true;
      case tkAnd: Add(", "); return true;
      case tkDot: Add("."); return true;
      case tkAssign: Add(":="); return true;
      case tkFormatF: Add("F"); return true;
      case tkSumSuffix: Add("S"); return true;
      case tkRealConst: {
        if (!r.real(v)) return false;
        Add(SysAlgo::NumberText(v));
        return true;
      }
      case tkWordConst:
        if (!r.word(w)) return false;
        Add(std::to_string(w));
        return true;
      case tkByteConst:
        if (!r.byte(b)) return false;
        Add(std::to_string(b));
        return true;
      case tkStringConst: {
        if (!r.text(s)) return false;
        ShortStr q(s);
        QuoteText(q);
        Add(q);
        return true;
      }
      case tkTable:
        if (!r.byte(b)) return false;
        Add(TableNameOf(b));
        return true;
      case tkFontRef:
        if (!r.word(w)) return false;
        Add("@");
        Add(std::to_string(w));
        return true;
      case tkField:
        if (!r.byte(b) || !r.word(w)) return false;
        Add("$");
        Add(TableNameOf(b));
        Add(".");
        Add(FieldNameOf(b, w));
        return true;
      case tkFieldChain: {
        if (!r.byte(b)) return false;
        Add("$");
        for (int k = 0; k <= b; ++k) {
          uint8_t table = 0;
          if (!r.byte(table) || !r.word(w)) return false;
          if (k == 0) {
            Add(TableNameOf(table));
            Add(".");
          } else {
            Add(".");
          }
          Add(FieldNameOf(table, w));
        }
        return true;
      }
      case tkObjectVar: case tkVar:
        if (!r.word(w)) return false;
        Variable(w);
        return true;
      case tkArrayVar:
        if (!r.word(w) || !r.byte(b)) return false;
        Variable(w);
        return true;
      case tkProcCall:
        if (!r.word(w)) return false;
        Add(w == 0 ? std::string_view("Default") : std::string_view(ZetVars::GetProcedureName(w)));
        if (w != 0 && ZetVars::GetProcedure(w) == nullptr) Add(kUndefined);
        return true;
      case tkHostObject:
        return r.word(w);
      case tkHostFunc: case tkHostProc: {
        if (!r.word(w)) return false;
        uint8_t area[LumoHost::kDescriptionArea];
        if (LumoHost::HostDescribe(0, w, area) == 0)
          Add(std::string_view(reinterpret_cast<char*>(area), strnlen(reinterpret_cast<char*>(area), 99)));
        else
          Add(kUndefined);
        return true;
      }
      case tkHostCommand: {
        if (!r.word(w) || !r.byte(b) || !r.text(s)) return false;
        ShortStr name;
        Add(LumoHost::CommandNameOf(w, name) ? name.view() : kUndefined);
        return true;
      }
      case tkUserFunc: case tkExtFunc:
        if (!r.word(w)) return false;
        Add(kUndefined);
        return true;
      case tkStarFunc:
        if (!r.byte(b)) return false;
        Add(MarkFunctionName(b));
        return true;
      case tkSkip:
        return r.byte(b);
      case tkNLoopBody:
        return true;
      case 0:  // ends the nested code of Choice and NLoop
        return true;
      case tkBracket:
        if (previous == tkIn) {
          if (!r.text(s)) return false;
          Add("[");
          Nested(s);
          Add("]");
        } else {
          Add("[");
        }
        return true;
      default:
        break;
    }
    if (IsSysFuncGroup(t)) {
      if (!r.byte(b)) return false;
      std::string_view name = KeywordNameOf(t, b);
      Add(name.empty() ? kUndefined : name);
      Add(" ");
      return true;
    }
    std::string_view name = KeywordNameOf(0, t);
    if (name.empty()) {
      Add(kUndefined);
      return true;
    }
    if (t >= tkVon && t <= tkIn) Add(" ");
    Add(name);
    Add(" ");
    if (t == tkPrint || t == tkFields) {
      if (!r.text(s)) return false;
      Add("(");
      Nested(s);
      Add(")");
    } else if (IsLinkedAggregate(t)) {
      if (!r.set(set) || !r.text(s)) return false;
      Add("(");
      Nested(s);
      Add(")");
    } else if (t == tkNLoop) {
      if (!r.byte(b) || !r.text(s)) return false;
      Add("(");
      Nested(s);
      Add(")");
    } else if (t == tkChoice) {
      if (!r.byte(b) || !r.skip(b)) return false;
    }
    return true;
  }

  size_t stop_;
  int depth_ = 0;
  bool passed_ = false;
};

}  // namespace

uint16_t ReadSmallConst(std::string_view code, size_t& position, uint16_t& error) {
  CodeReader r(code, position);
  uint8_t t = 0;
  uint8_t b = 0;
  uint16_t w = 0;
  error = 0;
  if (r.byte(t)) {
    if (t == tkByteConst && r.byte(b)) {
      position = r.position();
      return b;
    }
    if (t == tkWordConst && r.word(w)) {
      position = r.position();
      return w;
    }
  }
  error = kErrIncomplete;
  return 0;
}

int32_t ReadNumberOperand(std::string_view code, size_t& position, uint16_t& error) {
  error = 0;
  if (position < code.size() && uint8_t(code[position]) == tkVar) {
    CodeReader r(code, position + 1);
    uint16_t index = 0;
    if (!r.word(index)) {
      error = kErrIncomplete;
      return 0;
    }
    position = r.position();
    const ZetVars::TVarInfo info = ZetVars::GetVarInfo(index);
    if (!info.valid || (info.type != ZetVars::kTypeReal && info.type != ZetVars::kTypeWord)) {
      Common::SetErrorArgument(std::string(ZetVars::TypeName(info.type)) + "->REAL");
      error = ZetVars::kErrTypeMismatch;
      return 0;
    }
    return Common::RealToLongInt(info.number);
  }
  return ReadSmallConst(code, position, error);
}

int32_t ParseFormatSuffix(size_t& position, std::string_view code, uint16_t& error) {
  error = 0;
  if (position >= code.size() || uint8_t(code[position]) != tkColon) return 0;
  ++position;
  return ReadNumberOperand(code, position, error) + 1;
}

void QuoteText(ShortStr& text) {
  ShortStr quoted("\"");
  quoted.append(text.view());
  quoted.append('"');
  Common::ReplaceChar(quoted, '\t', ' ');
  text = quoted;
}

bool TypesCompatible(uint16_t expected, uint16_t given) {
  if (expected == 6) return given == 6 || given == 3;
  if (expected == 7) return given == 7 || given == 3;
  if (expected == ZetVars::kTypeObject) return ZetVars::IsObjectType(given);
  return true;
}

ShortStr CodeToText(std::string_view code, size_t start, size_t stop, size_t& errorColumn) {
  TLister lister(stop);
  lister.List(code, start);
  errorColumn = lister.column;
  if (stop >= code.size()) errorColumn = std::min(errorColumn, lister.text.size());
  return lister.text;
}

void ReportCompileError(uint16_t error, std::string_view code, size_t start, bool force, size_t stop) {
  // Only the first error of a compile or run is kept: a nested run that
  // failed has reported already, and the listing would be thrown away.
  if (!force && ZetVars::CompileError().code != 0) return;
  size_t column = 0;
  const ShortStr listing = CodeToText(code, start, stop, column);
  ZetVars::SetCompilerError(error, column + 1, listing, force);
}

void ReportRunError(uint16_t error, std::string_view code, size_t start, size_t stop) {
  if (!g_suppressRunErrors) ReportCompileError(error, code, start, true, stop);
}

void SetSuppressRunErrors(bool on) { g_suppressRunErrors = on; }

ShortStr ValueToText(uint16_t type, double value) {
  switch (type & 15) {
    case Common::kTypeBool: return ShortStr(value != 0 ? "Ja" : "Nein");
    case Common::kTypeDate:
      return DATUM::PackedDateToStr(DATUM::DayNumberToPacked(Common::RealToLongInt(value)));
    case Common::kTypeTime: {
      const int32_t minutes = Common::RealToLongInt(value);
      return DATUM::MinutesToStr(minutes);
    }
    case Common::kTypeChoice: {
      const int32_t n = Common::RealToLongInt(value);
      if (n >= 0 && n <= 9) return ShortStr(std::string(1, char('0' + n)));
      return SysAlgo::NumberText(value);
    }
    default: return SysAlgo::NumberText(value);
  }
}

}  // namespace Zet02
