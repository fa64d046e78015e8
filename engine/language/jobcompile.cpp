#include "engine/language/jobcompile.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/shortstr.h"
#include "engine/base/textfiles.h"
#include "engine/base/uppercas.h"
#include "engine/language/compiler.h"
#include "engine/language/extcalls.h"
#include "engine/language/formulas.h"
#include "engine/language/interp.h"
#include "engine/language/printcalls.h"
#include "engine/language/programerror.h"
#include "engine/language/variables.h"
#include "engine/storage/linkfile.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_index.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"

namespace JobCompile {
namespace {

using namespace JobImage;
using namespace JobFormat;

constexpr uint16_t kErrMissingFile = 2;
constexpr uint16_t kErrBadWord = 25;
constexpr uint16_t kErrIncludeMissing = 37;
constexpr uint16_t kErrIncomplete = 41;
constexpr uint16_t kErrTypes = 44;
constexpr uint16_t kErrSeparator = 56;
constexpr uint16_t kErrUnknown = kErrBadCode;
constexpr uint16_t kErrSection = 86;
constexpr uint16_t kErrTableStatement = 93;
constexpr uint16_t kErrRepeatOpen = 96;
constexpr uint16_t kErrConstructOpen = 97;
constexpr uint16_t kErrNoSuchTable = 88;
constexpr uint16_t kErrBadKey = 98;
constexpr uint16_t kErrMemory = 99;
// INCLUDE and USES nest at most this deep (error 60 beyond), so a file that
// includes itself ends.
constexpr int kMaxLibraryDepth = 8;

enum Kind : uint8_t { kIf = 17, kWhile = 31, kElse = 32, kRepeat = 38 };
// An open SUB loop: where its opcode 7 stands, the tables its statements
// read, and its line (for error 92).
struct TSubLoop {
  uint32_t at = 0;
  uint64_t tables = 0;
  size_t line = 0;
};
// SUB loops nest at most this deep (error 60 beyond).
constexpr size_t kMaxSubDepth = 16;
constexpr uint16_t kErrSubOpen = 92;
constexpr uint16_t kErrOutsideProcedure = 50;
constexpr uint16_t kErrNestedProcedure = 101;
constexpr uint16_t kErrProcedureOpen = 102;

struct TNest {
  uint32_t jump = 0;   // position of the conditional jump's operand
  uint32_t chain = 0;  // head of the end-jump chain
  uint32_t loopStart = 0;
  uint8_t kind = 0;
};

class TCompiler {
 public:
  TCompiler(TJob& job, bool program, std::string_view source) : job_(job), source_(source) {
    job_.image.program = program;
  }

  uint16_t Run(const std::vector<std::string>& lines) {
    for (lineIndex_ = 0; lineIndex_ < lines.size() && error_ == 0; ++lineIndex_) {
      line_ = lines[lineIndex_];
      Line();
    }
    // Errors found at the end of the text are reported at its last line.
    lineIndex_ = lines.empty() ? 0 : lines.size() - 1;
    if (error_ == 0) Close();
    return error_;
  }

 private:
  TJob& job_;
  std::string source_;
  std::string& code() { return job_.image.code; }
  uint16_t error_ = 0;
  size_t lineIndex_ = 0;
  std::string line_;
  size_t offsetBefore_ = 0;
  std::vector<TNest> nest_;
  std::vector<TSubLoop> subs_;
  // The open procedure: its jump over the body and the local base before.
  bool procOpen_ = false;
  uint16_t procIndex_ = 0;
  uint32_t procJump_ = 0;
  uint16_t procSavedBase_ = 0;
  int section_ = 0;
  uint32_t dataDescriptor_ = 0;  // position of the DATA loop's opcode 7
  bool sawSection_ = false;
  bool sorted_ = false;  // SORTBY gave the DATA loop a key
  bool markedOrder_ = false;  // SETACCESS chose the marked records
  int libraryDepth_ = 0;      // INCLUDE and USES files being compiled
  std::array<uint8_t, kMaxKeyLength> sortKey_{};

  uint32_t Pos() { return uint32_t(code().size() + 1); }
  bool Program() const { return job_.image.program; }

  // Records the first error of the compile at column; argument fills the
  // "%s" of its message.
  void FailWith(uint16_t error, size_t column, std::string_view argument) {
    if (error_ != 0) return;
    error_ = error;
    if (ProgramError::Record().error == 0) {
      ProgramError::SetSource(source_);
      ProgramError::Set(error, uint16_t(lineIndex_ + 1), uint16_t(column > 0 ? column - 1 : 0),
                        int32_t(offsetBefore_ + (column > 0 ? column - 1 : 0)));
    }
    const std::string text(argument);  // argument may be the engine's own argument
    Common::SetErrorArgument(text);
    Common::SetError(error, text);
  }
  void Fail(uint16_t error, size_t column) { FailWith(error, column, ""); }
  // An error that the expression compiler, the interpreter or the variable
  // store handed up: the argument they set stays (the unknown name of 50,
  // the missing character of 56).
  void Pass(uint16_t error, size_t column) { FailWith(error, column, Common::ErrorArgument().view()); }
  // Room for n more bytes; error 99 when the code would pass its limit.
  bool Room(size_t n) {
    if (code().size() + n > kCodeLimit) {
      Fail(kErrMemory, 1);
      return false;
    }
    return true;
  }
  void Bytes(std::string_view b) {
    if (Room(b.size())) code() += b;
  }
  void Op(uint8_t op) { Bytes(std::string(1, char(op))); }
  void U16(uint16_t v) { Bytes(std::string{char(v & 255), char(v >> 8)}); }
  void U32(uint32_t v) {
    uint8_t b[4];
    bytes::PutU32(b, v);
    Bytes(std::string_view(reinterpret_cast<char*>(b), 4));
  }
  void Counted(std::string_view text) {
    Bytes(std::string(1, char(std::min<size_t>(text.size(), 255))) + std::string(text.substr(0, 255)));
  }
  uint32_t Placeholder(uint32_t value = 0) {
    const uint32_t at = Pos();
    U32(value);
    return at;
  }
  void Patch(uint32_t at, uint32_t target) {
    if (at == 0 || at + 3 > code().size()) return;
    bytes::PutI32(reinterpret_cast<uint8_t*>(code().data() + at - 1), int32_t(target) - int32_t(at));
  }
  void PatchChain(uint32_t head, uint32_t target) {
    while (head != 0 && head + 3 <= code().size()) {
      const uint32_t next = bytes::GetU32(reinterpret_cast<const uint8_t*>(code().data() + head - 1));
      Patch(head, target);
      head = next;
    }
  }
  void Backward(uint8_t op, uint32_t target) {
    Op(op);
    const uint32_t at = Pos();
    U32(0);
    Patch(at, target);
  }

  // Compiles text; the tables join the job's set where it keeps them.
  bool Expression(std::string_view text, std::string& out, size_t column) {
    if (text.size() > 255) {
      Fail(kErrTooComplex, column);
      return false;
    }
    ShortStr t(text);
    uint64_t tables = 0;
    const uint16_t e = Zet02::CompileExpression(t, tables);
    if (e != 0) {
      Pass(e, column);
      return false;
    }
    if (!subs_.empty()) subs_.back().tables |= tables;
    else if (section_ <= kSectionPrelude || section_ == kSectionData) job_.tables |= tables;
    out = std::string(t.view());
    return true;
  }
  // A statement that works on a text: opcode 8 with the text, then op.
  void TextStatement(uint8_t op, std::string_view text) {
    Op(opText);
    Counted(text);
    Op(op);
  }
  void Condition(std::string_view text, size_t column) {
    std::string c;
    if (!Expression(text, c, column)) return;
    Op(opCondition);
    Counted(c);
  }

  void Line() {
    if (job_.dots.ht) line_ = RewriteMarkup(line_, CurrentFontId());
    const size_t start = Program() ? 1 : 2;
    if (line_.size() >= start && line_.compare(0, 2, "..") != 0) Classify();
    offsetBefore_ += line_.size() + 2;
  }

  std::string CurrentFontId() {
    const uint16_t n = PrintCalls::CurrentFontNumber();
    return n >= 1 && n <= PrintCalls::Fonts().size() ? PrintCalls::Fonts()[n - 1].id : "";
  }

  void Classify() {
    size_t first = 0;
    if (Program())
      while (first < line_.size() && line_[first] == ' ') ++first;
    if (first < line_.size() && line_[first] == '?') {
      ConditionalLine(first);
      return;
    }
    if (!Program() && line_[0] != '.' && line_[0] != '!') {
      TextLine(line_, true);
      return;
    }
    Statement();
  }

  void ConditionalLine(size_t first) {
    const size_t slash = line_.find('/', first + 1);
    if (slash == std::string::npos) {
      FailWith(kErrSeparator, line_.size() + 1, "/");
      return;
    }
    Condition(std::string_view(line_).substr(first + 1, slash - first - 1), first + 2);
    Op(opJumpIfFalse);
    const uint32_t jump = Placeholder();
    TextLine(line_.substr(slash + 1), true);
    Patch(jump, Pos());
  }

  // A text line: one segment text, printed, then the automatic line end.
  void TextLine(const std::string& text, bool lineEnd) {
    if (section_ == kSectionFooter) job_.image.settings.footerHeight += PrintCalls::CurrentLineHeight();
    std::string segment;
    std::string literal;
    auto flush = [&] {
      if (literal.empty()) return;
      segment += char(65);
      segment += char(literal.size());
      segment += literal;
      literal.clear();
    };
    for (size_t p = 0; p < text.size() && error_ == 0;) {
      const char c = text[p];
      if (c != '$' || literal.size() >= 255) {
        if (literal.size() >= 255) flush();
        literal += c;
        ++p;
        continue;
      }
      if (p + 1 >= text.size()) {
        Fail(kErrIncomplete, p + 1);
        return;
      }
      if (text[p + 1] == '$') {
        literal += '$';
        p += 2;
        continue;
      }
      std::string_view source;
      size_t next;
      if (text[p + 1] == '(') {
        int depth = 0;
        size_t q = p + 1;
        for (; q < text.size(); ++q) {
          if (text[q] == '(') ++depth;
          if (text[q] == ')' && --depth == 0) break;
        }
        if (q >= text.size()) {
          Fail(kErrIncomplete, p + 1);
          return;
        }
        source = std::string_view(text).substr(p + 2, q - p - 2);
        next = q + 1;
      } else {
        size_t q = p + 1;
        while (q < text.size() && Common::IsFieldNameChar(text[q])) ++q;
        source = std::string_view(text).substr(p, q - p);
        next = q;
      }
      flush();
      std::string compiled;
      if (!Expression(source, compiled, p + 1)) return;
      segment += compiled;
      p = next;
    }
    flush();
    if (segment.size() > 255) {
      Fail(kErrTooComplex, 1);
      return;
    }
    if (!segment.empty()) {
      Op(opText);
      Counted(segment);
      Op(opPrintSegment);
    }
    if (job_.dots.lineEndOn) {
      if (lineEnd) Op(opLineEnd);
    } else if (text.empty() || text[0] != '.') {
      Op(opText);
      Counted(std::string("\x41\x01 ", 3));
      Op(opPrintSegment);
    }
  }

  void Statement() {
    uint8_t keyword;
    size_t p;
    std::string argument;
    if (line_[0] == '!') {
      keyword = stLet;
      argument = line_.substr(1);
      p = 1;
    } else {
      p = Program() ? 0 : 1;
      while (p < line_.size() && line_[p] == ' ') ++p;
      size_t q = p;
      while (q < line_.size() && (Common::IsFieldNameChar(line_[q]) || uint8_t(line_[q]) >= 0xC0)) ++q;
      keyword = LookupKeyword(std::string_view(line_).substr(p, q - p));
      if (keyword == stNone) {
        DotOrExpressions();
        return;
      }
      p = q;
      while (p < line_.size() && line_[p] == ' ') ++p;
      argument = line_.substr(p);
    }
    const size_t column = p + 1;
    if (!argument.empty() && argument[0] == '_') {
      ComputedStatement(keyword, argument.substr(1), column + 1);
      return;
    }
    switch (keyword) {
      case stIf:
      case stWhile:
        if (!PushNest()) return;
        nest_.back().loopStart = Pos();
        nest_.back().kind = keyword == stIf ? kIf : kWhile;
        Condition(argument, column);
        Op(opJumpIfFalse);
        nest_.back().jump = Placeholder();
        break;
      case stElsif:
      case stElse: {
        if (nest_.empty() || nest_.back().kind != kIf) {
          Fail(kErrUnknown, column);
          return;
        }
        TNest& n = nest_.back();
        Op(opJump);
        const uint32_t at = Placeholder(n.chain);
        n.chain = at;
        Patch(n.jump, Pos());
        if (keyword == stElse) {
          n.kind = kElse;
          n.jump = 0;
        } else {
          Condition(argument, column);
          Op(opJumpIfFalse);
          n.jump = Placeholder();
        }
        break;
      }
      case stRepeat:
        if (!PushNest()) return;
        nest_.back().kind = kRepeat;
        nest_.back().loopStart = Pos();
        break;
      case stUntil:
        if (nest_.empty() || nest_.back().kind != kRepeat) {
          Fail(kErrUnknown, column);
          return;
        }
        Condition(argument, column);
        Backward(opJumpIfFalse, nest_.back().loopStart);
        nest_.pop_back();
        break;
      case stEnd: {
        if (nest_.empty() || nest_.back().kind == kRepeat) {
          Fail(kErrUnknown, column);
          return;
        }
        const TNest n = nest_.back();
        nest_.pop_back();
        if (n.kind == kWhile) Backward(opJump, n.loopStart);
        Patch(n.jump, Pos());
        PatchChain(n.chain, Pos());
        break;
      }
      case stLet:
        Let(argument, column);
        break;
      case stSub:
        OpenSub(argument, column);
        break;
      case stProcedure:
        OpenProcedure(argument, column);
        break;
      case stEndProc:
        if (!procOpen_) return Fail(kErrOutsideProcedure, column);
        Op(opEnd);
        Bytes(std::string(1, '\0'));
        procOpen_ = false;
        ZetVars::DropLocalVariables();
        ZetVars::SetLocalBase(procSavedBase_);
        Patch(procJump_, Pos());
        break;
      case stReturn:
        if (!procOpen_) return Fail(kErrOutsideProcedure, column);
        if (!argument.empty()) Return(argument, column);
        Op(opEnd);
        break;
      case stDef:
        Def(argument, column);
        break;
      case stVarDef: {
        size_t position = 1;
        uint16_t error = 0;
        ZetVars::ParseVarDeclaration(procOpen_ ? procIndex_ : 0, argument, position, error, false);
        if (error != 0) Pass(error, column + position - 1);
        break;
      }
      case stConst:
        Const(argument, column);
        break;
      case stFilter:
      case stSetAccess:
        if (!TableStatementAllowed(column)) return;
        if (keyword == stSetAccess) markedOrder_ = UPPERCAS::CollateCompare(argument, "Markierung") == 0;
        TextStatement(keyword == stFilter ? opFilter : opSetAccess, argument);
        break;
      case stRelation:
        if (!TableStatementAllowed(column)) return;
        if (const uint16_t e = LINKFILE::ParseTableList(argument, true); e != 0) return Fail(e, column);
        TextStatement(opRelation, argument);
        break;
      case stPrimary: {
        if (!TableStatementAllowed(column)) return;
        ShortStr name(argument);
        Common::TrimBlanks(name);
        const int h = ZetTable::FindOpenTable(name.view());
        if (h < 1 || h > 255) return FailWith(kErrNoSuchTable, column, name.view());
        Op(opPrimaryTable);
        Bytes(std::string(1, char(h)));
        LINKFILE::SelectPrimaryTable(h);
        break;
      }
      case stAppend:
      case stReplace:
        Assignments(keyword == stAppend, argument, column);
        break;
      case stInclude:
        Include(argument, column);
        break;
      case stUses:
        if (!TableStatementAllowed(column)) return;
        Uses(argument, column);
        break;
      case stDllProc:
        DllProc(argument, column);
        break;
      case stEndSub:
        CloseSub(argument, column);
        break;
      case stSolve: {
        std::string c;
        if (!Expression(argument, c, column)) return;
        Op(opRunCode);
        Counted(c);
        break;
      }
      case stSelection: {
        if (!TableStatementAllowed(column)) return;
        std::string c;
        if (!Expression(argument, c, column)) return;
        TextStatement(opSelection, argument);
        break;
      }
      case stSortBy: {
        if (!TableStatementAllowed(column)) return;
        // A key that an index of the table gives reads the records in that
        // index's order; a key with a leading "!" is always sorted.
        const bool forced = !argument.empty() && argument[0] == '!';
        const std::string_view key = forced ? std::string_view(argument).substr(1) : std::string_view(argument);
        std::array<uint8_t, kMaxKeyLength> description{};
        if (MakeIV::CompileIndexDescription(ZetTable::CurrentHandle(), key, description.data(), false) != 0) {
          Fail(kErrBadKey, column);
          return;
        }
        if (!forced && !markedOrder_) {
          if (const std::string index = IndexWithKey(description); !index.empty()) {
            TextStatement(opSetAccess, index);
            break;
          }
        }
        sortKey_ = description;
        sorted_ = true;
        break;
      }
      case stFont:
        if (PrintCalls::DefineFont(argument) != 0) {
          Fail(kErrTypes, column);
          return;
        }
        Op(opFont);
        Counted(argument);
        break;
      case stSetFont: {
        const uint16_t n = PrintCalls::FindFont(argument);
        if (n == 0) {
          FailWith(kErrTypes, column, argument);
          return;
        }
        PrintCalls::SetCurrentFont(n, uint16_t(std::lround(PrintCalls::Fonts()[n - 1].size * 5.7)));
        Op(opSetFont);
        U16(n);
        break;
      }
      case stExit:
        Op(opExit);
        break;
      case stLetter:
      case stReport:
      case stModule:
        if (lineIndex_ != 0 || (libraryDepth_ > 0 && keyword != stModule)) {
          Fail(kErrSection, column);
          return;
        }
        if (keyword == stLetter) job_.image.settings.kind = 0;
        if (keyword == stReport) {
          job_.image.settings.kind = 1;
          section_ = kSectionPrelude;
        }
        if (keyword == stModule) job_.image.program = true;
        break;
      case stProlog: OpenSection(kSectionProlog, column); break;
      case stHeader: OpenSection(kSectionHeader, column); break;
      case stFooter: OpenSection(kSectionFooter, column); break;
      case stGroup:
      case stGroupHeader:
        OpenSection(kSectionGroupHeader, column);
        GroupExpression(argument, column);
        break;
      case stGroupFooter: OpenSection(kSectionGroupFooter, column); break;
      case stData:
        OpenSection(kSectionData, column);
        if (error_ == 0) {
          dataDescriptor_ = Pos();
          Op(opRecordLoop);
          TLoopDescriptor d;
          d.defaultTables = 1;
          Bytes(EncodeDescriptor(d));
        }
        break;
      case stEpilog:
        OpenSection(kSectionEpilog, column);
        CompleteData(Pos() - 1);
        break;
      default:
        Fail(kErrUnknown, column);
        break;
    }
  }

  // A statement whose argument is worked out when it runs: the expression
  // leaves a text that becomes the statement's argument.
  void ComputedStatement(uint8_t keyword, const std::string& argument, size_t column) {
    uint8_t op = 0;
    bool table = true;
    switch (keyword) {
      case stDef: op = opDefBrace; table = false; break;
      case stSolve: op = opSolve; table = false; break;
      case stFilter: op = opFilter; break;
      case stRelation: op = opRelation; break;
      case stSelection: op = opSelection; break;
      case stSetAccess: op = opSetAccess; break;
      case stSub: return OpenSub(argument, column, true);
      default: return Fail(kErrUnknown, column - 1);
    }
    if (table && !TableStatementAllowed(column)) return;
    std::string c;
    if (!Expression(argument, c, column)) return;
    Op(opComputedArgument);
    Counted(c);
    Op(op);
  }

  // RETURN value: the value must be of the procedure's result type.
  void Return(const std::string& argument, size_t column) {
    std::string c;
    if (!Expression(argument, c, column)) return;
    Zet02::TRunValue value;
    size_t pos = 0;
    int dependency = 0;
    const int run = Zet02::ExecuteCode(c, pos, 0, value, dependency);
    if (run > 0) return Pass(uint16_t(run), column);
    const uint8_t wanted = ZetVars::GetProcedureResultType(procIndex_);
    const bool text = wanted == ZetVars::kTypeString;
    const bool number = wanted == ZetVars::kTypeReal || wanted == ZetVars::kTypeWord || wanted == ZetVars::kTypeInteger;
    // A check run that could not tell the type (a call the compile does
    // not run) is taken as it comes.
    const bool known = value.type == Zet02::kValString || value.type == Zet02::kValReal;
    if (known && !(text && value.type == Zet02::kValString) && !(number && value.type == Zet02::kValReal))
      return FailWith(kErrTypes, column, Zet02::ValueTypeName(value.type));
    Op(opRunCode);
    Counted(c);
  }

  // DEF name = expression: the variable holds the expression and is given
  // it again whenever the statement runs.
  void Def(const std::string& argument, size_t column) {
    uint64_t tables = 0;
    uint16_t error = 0;
    const uint16_t var = Zet02::CompileBrace("{" + argument + "}", tables, error);
    if (error != 0 || var == 0) return error != 0 ? Pass(error, column) : Fail(54, column);
    const ZetVars::TVarInfo info = ZetVars::GetVarInfo(var);
    if (info.text.size() > 255) return Fail(kErrTooComplex, column);
    Op(opDefCode);
    Counted(info.text);
    Op(opAssign);
    U16(var);
  }

  // CONST name = literal; (a number or a quoted text).
  void Const(const std::string& argument, size_t column) {
    if (procOpen_) return Fail(kErrUnknown, column);
    size_t p = 1;
    ShortStr name;
    Common::ReadIdentifier(argument, p, name);
    Common::SkipBlanks(argument, p);
    if (name.empty() || p > argument.size() || argument[p - 1] != '=') return Fail(kErrBadWord, column + p - 1);
    ++p;
    Common::SkipBlanks(argument, p);
    ZetVars::TVarValue value;
    uint16_t type = ZetVars::kTypeReal;
    std::string text;
    const size_t start = p;
    if (p <= argument.size() && (argument[p - 1] == '\'' || argument[p - 1] == '"')) {
      const size_t close = argument.find(argument[p - 1], p);
      if (close == std::string::npos) return Fail(kErrBadWord, column + p - 1);
      text = argument.substr(p, close - p);
      value.text = text;
      type = ZetVars::kTypeString;
      p = close + 2;
    } else {
      while (p <= argument.size() && (std::isdigit(uint8_t(argument[p - 1])) || argument[p - 1] == '.' ||
                                      (p == start && argument[p - 1] == '-')))
        ++p;
      char* end = nullptr;
      const std::string number = argument.substr(start - 1, p - start);
      value.number = std::strtod(number.c_str(), &end);
      if (number.empty() || end != number.c_str() + number.size()) return Fail(kErrBadWord, column + start - 1);
    }
    Common::SkipBlanks(argument, p);
    if (p > argument.size() || argument[p - 1] != ';') return FailWith(kErrSeparator, column + p - 1, ";");
    if (ZetVars::VariableCount() >= ZetVars::kMaxProgramVars) return Fail(53, column);
    ZetVars::DefineInitialisedVariable(name.view(), type, value);
  }

  // APPEND and REPLACE: the assignment list is checked now, compiled again
  // when the statement runs. The check leaves the tables as they were.
  void Assignments(bool append, const std::string& argument, size_t column) {
    if (argument.size() > 255) return Fail(kErrTooComplex, column);
    ShortStr code(argument);
    uint64_t tables = 0;
    if (const uint16_t e = Zet02::CompileExpression(code, tables); e != 0) return Pass(e, column);
    const int current = ZetTable::CurrentHandle();
    std::vector<std::vector<uint8_t>> buffers;
    for (int slot = 1; slot <= ZetTable::OpenCount(); ++slot)
      buffers.push_back(ZetTable::Table(slot) ? ZetTable::Table(slot)->recordBuffer : std::vector<uint8_t>());
    const int e = append ? Formeln::AppendAssignedRecord(code.view(), true)
                         : Formeln::ApplyAssignments(code.view(), true, ~uint64_t(0));
    for (int slot = 1; slot <= int(buffers.size()); ++slot)
      if (ZetTable::Table(slot)) ZetTable::Table(slot)->recordBuffer = buffers[size_t(slot - 1)];
    ZetTable::SetCurrentHandle(current);
    if (e != 0) return Pass(uint16_t(e), column);
    TextStatement(append ? opAppend : opReplace, argument);
  }

  // The directory part of the source being compiled ("" for none).
  std::string SourceDirectory() const {
    const size_t slash = source_.find_last_of("\\/");
    return slash == std::string::npos ? std::string() : source_.substr(0, slash + 1);
  }

  // Compiles the lines of a library (INCLUDE, USES) into the same code: the
  // library may not open sections and must close what it opens; its errors
  // name its file and line.
  void Library(const std::vector<std::string>& lines, const std::string& source, bool program) {
    if (libraryDepth_ >= kMaxLibraryDepth) return Fail(kErrTooComplex, 1);
    const std::string savedSource = source_, savedLine = line_;
    const size_t savedIndex = lineIndex_, savedOffset = offsetBefore_;
    const bool savedProgram = job_.image.program;
    const size_t nests = nest_.size(), subs = subs_.size();
    const bool procBefore = procOpen_;
    source_ = source;
    offsetBefore_ = 0;
    if (program) job_.image.program = true;
    ++libraryDepth_;
    for (lineIndex_ = 0; lineIndex_ < lines.size() && error_ == 0; ++lineIndex_) {
      line_ = lines[lineIndex_];
      Line();
    }
    if (error_ == 0) {
      lineIndex_ = lines.empty() ? 0 : lines.size() - 1;
      if (procOpen_ && !procBefore) Fail(kErrProcedureOpen, 1);
      else if (subs_.size() > subs) Fail(kErrSubOpen, 1);
      else if (nest_.size() > nests) Fail(nest_.back().kind == kRepeat ? kErrRepeatOpen : kErrConstructOpen, 1);
    }
    --libraryDepth_;
    source_ = savedSource;
    line_ = savedLine;
    lineIndex_ = savedIndex;
    offsetBefore_ = savedOffset;
    job_.image.program = savedProgram;
  }

  // INCLUDE file[,n]: a file named without a directory is also looked for
  // beside the source.
  void Include(const std::string& argument, size_t column) {
    ShortStr name(argument.substr(0, argument.find(',')));
    Common::TrimBlanks(name);
    std::vector<std::string> lines;
    std::string file(name.view());
    if (file.empty() || (LoadLines(file, lines) != 0 &&
                         (file.find_first_of("\\/:") != std::string::npos ||
                          LoadLines(file = SourceDirectory() + file, lines) != 0))) {
      return FailWith(kErrIncludeMissing, column, name.view());
    }
    Library(lines, file, false);
  }

  // USES a, b: each module (".MOD" when no extension is given) is read from
  // its directory, or from the source's directory and then its "lib"
  // sub-directory, and its procedures are compiled in program mode.
  void Uses(const std::string& argument, size_t column) {
    std::string_view rest(argument);
    while (error_ == 0 && !rest.empty()) {
      const size_t comma = rest.find(',');
      ShortStr item(rest.substr(0, comma));
      rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
      Common::TrimBlanks(item);
      std::string name(item.view());
      while (!name.empty() && (name.back() == ';' || name.back() == ' ')) name.pop_back();
      if (name.empty()) continue;
      const size_t slash = name.find_last_of("\\/:");
      const size_t dot = name.find_last_of('.');
      if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) name += ".MOD";
      std::vector<std::string> lines;
      std::string file = name;
      const bool found = slash != std::string::npos
                             ? LoadLines(file, lines) == 0
                             : LoadLines(file = SourceDirectory() + name, lines) == 0 ||
                                   LoadLines(file = SourceDirectory() + "lib\\" + name, lines) == 0;
      if (!found) return FailWith(kErrMissingFile, column, name);
      const uint16_t module = ZetVars::CurrentModule();
      ZetVars::SetCurrentModule(uint16_t(module + 1));
      Library(lines, file, true);
      ZetVars::SetCurrentModule(module);
    }
  }

  // DLLPROC name[(VAR a: TYPE; b: TYPE)][: TYPE] LIBRARY 'file';
  void DllProc(const std::string& argument, size_t column) {
    const std::string_view a(argument);
    size_t p = 1;
    auto at = [&](char c) {
      Common::SkipBlanks(a, p);
      return p <= a.size() && a[p - 1] == c;
    };
    auto expect = [&](char c, std::string_view text) {
      if (at(c)) {
        ++p;
        return true;
      }
      FailWith(kErrSeparator, column + p - 1, text);
      return false;
    };
    auto typeLetter = [&](char& letter) {
      ShortStr type;
      Common::SkipBlanks(a, p);
      const size_t typeAt = p;
      Common::ReadIdentifier(a, p, type);
      UPPERCAS::UpperStr(type);
      const std::string_view t = type.view();
      letter = t == "REAL" || t == "NUMBER" ? 'R' : t == "STRING" ? 'S' : t == "INTEGER" ? 'I' : 0;
      if (letter != 0) return true;
      FailWith(kErrTypes, column + typeAt - 1, type.view());
      return false;
    };
    ShortStr name;
    Common::SkipBlanks(a, p);
    if (p <= a.size() && (a[p - 1] == '\'' || a[p - 1] == '"')) {
      const size_t close = a.find(a[p - 1], p);
      name = a.substr(p, (close == std::string_view::npos ? a.size() : close) - p);
      p = close == std::string_view::npos ? a.size() + 1 : close + 2;
    } else {
      Common::ReadIdentifier(a, p, name);
    }
    if (name.empty()) return Fail(kErrBadWord, column);
    std::string params;
    if (at('(')) {
      ++p;
      for (;;) {
        ShortStr word;
        Common::SkipBlanks(a, p);
        Common::ReadIdentifier(a, p, word);
        const bool byRef = UPPERCAS::CollateCompare(word.view(), "VAR") == 0;
        if (byRef) {
          Common::SkipBlanks(a, p);
          Common::ReadIdentifier(a, p, word);
        }
        char letter = 0;
        if (!expect(':', ":") || !typeLetter(letter)) return;
        params += byRef ? 'V' : ' ';
        params += letter;
        if (!at(';')) break;
        ++p;
      }
      if (!expect(')', ")")) return;
    }
    char result = 'X';
    if (at(':')) {
      ++p;
      if (!typeLetter(result)) return;
    }
    ShortStr word;
    Common::SkipBlanks(a, p);
    const size_t wordAt = p;
    while (p <= a.size() && std::isalpha(uint8_t(a[p - 1]))) ++p;
    word = a.substr(wordAt - 1, p - wordAt);
    UPPERCAS::UpperStr(word);
    if (word.view() != "LIBRARY") return FailWith(kErrSeparator, column + wordAt - 1, "LIBRARY");
    Common::SkipBlanks(a, p);
    const char quote = p <= a.size() ? a[p - 1] : 0;
    if (quote != '\'' && quote != '"') return (void)expect('\'', "'");
    const size_t close = a.find(quote, p);
    if (close == std::string_view::npos) {
      p = a.size() + 1;
      return (void)expect('\'', "'");
    }
    const std::string_view library = a.substr(p, close - p);
    p = close + 2;
    if (!expect(';', ";")) return;
    const int e = ExtCalls::DeclareOutsideFunction(library, name.view(), std::string(1, result) + params);
    if (e > 0) Pass(uint16_t(e), column);
  }

  // The file name of an index of the current table whose key description
  // is description; empty when none is.
  static std::string IndexWithKey(const std::array<uint8_t, kMaxKeyLength>& description) {
    const ZetTable::TZetTable* t = ZetTable::Table(ZetTable::CurrentHandle());
    if (!t) return {};
    for (int slot = Zet00::FirstIndexSlot(*t); slot <= t->highestIndexSlot && slot < ZetTable::kIndexSlots; ++slot) {
      const auto& d = t->indexes[size_t(slot)];
      if (d && std::equal(description.begin(), description.end(), d->header.begin()))
        return std::string(d->fileName.view());
    }
    return {};
  }

  // Statements on the tables stand in a job only in PROLOG and EPILOG.
  bool TableStatementAllowed(size_t column) {
    if (Program() || section_ == kSectionProlog || section_ == kSectionEpilog) return true;
    Fail(kErrTableStatement, column);
    return false;
  }

  bool PushNest() {
    if (nest_.size() >= kMaxNesting) {
      Fail(kErrConstructOpen, 1);
      return false;
    }
    nest_.emplace_back();
    return true;
  }

  // LET name = expression: the variable is defined from a check run when it
  // is new; the code assigns the run's value to it.
  void Let(const std::string& argument, size_t column) {
    const size_t eq = argument.find('=');
    if (eq == std::string::npos) {
      Fail(54, column);
      return;
    }
    ShortStr name(argument.substr(0, eq));
    Common::TrimBlanks(name);
    std::string c;
    if (!Expression(std::string_view(argument).substr(eq + 1), c, column + eq + 1)) return;
    uint16_t var = ZetVars::FindVariable(name);
    if (var == 0) {
      Zet02::TRunValue value;
      size_t pos = 0;
      int dependency = 0;
      Zet02::ExecuteCode(c, pos, 0, value, dependency);
      const uint16_t type = value.type == Zet02::kValString ? ZetVars::kTypeString : ZetVars::kTypeReal;
      if (ZetVars::VariableCount() >= 512) {
        Fail(53, column);
        return;
      }
      var = ZetVars::DefineVariable(name, false, 0, 0, type, nullptr, false);
    }
    Op(opRunCode);
    Counted(c);
    Op(opAssign);
    U16(var);
  }

  void GroupExpression(const std::string& argument, size_t column) {
    if (error_ != 0) return;
    uint64_t tables = 0;
    uint16_t error = 0;
    const uint16_t var = Zet02::CompileBrace("{G_Neu = " + argument + "}", tables, error);
    if (error != 0 || var == 0) {
      if (error != 0) Pass(error, column);
      else Fail(kErrIncomplete, column);
      return;
    }
    job_.tables |= tables;
    job_.image.settings.groupVariable = var;
  }

  void DotOrExpressions() {
    size_t first = 0;
    while (first < line_.size() && line_[first] == ' ') ++first;
    if (first < line_.size() && line_[first] == '.' && (first + 1 >= line_.size() || line_[first + 1] != '.')) {
      size_t column = 0;
      bool turnedOn = false;
      const int e = ApplyDotLine(line_, true, job_.dots, nullptr, column, &turnedOn);
      if (e != 0) {
        FailWith(uint16_t(e), column, e == kErrSeparator ? "," : "");
        return;
      }
      if (turnedOn) Op(opLineEnd);
      Op(opDotLine);
      Counted(line_);
      return;
    }
    if (!Program()) {
      Fail(kErrUnknown, first + 1);
      return;
    }
    std::string c;
    if (!Expression(std::string_view(line_).substr(first), c, first + 1)) return;
    Op(opRunCode);
    Counted(c);
  }

  void OpenSection(int n, size_t column) {
    if (!nest_.empty() || Program() || n <= section_ || libraryDepth_ > 0) {
      Fail(kErrSection, column);
      return;
    }
    if (section_ == kSectionData) CompleteData(Pos());
    Op(opEnd);
    job_.image.sections[size_t(n - 1)] = Pos();
    section_ = n;
    sawSection_ = true;
  }

  // PROCEDURE: the body is jumped over where it stands and entered by the
  // interpreter's procedure calls; its variables are local to it.
  void OpenProcedure(const std::string& argument, size_t column) {
    if (!Program() && !sawSection_) return Fail(kErrSection, column);
    if (procOpen_) return Fail(kErrNestedProcedure, column);
    if (!nest_.empty()) return Fail(nest_.back().kind == kRepeat ? kErrRepeatOpen : kErrConstructOpen, column);
    const uint16_t savedBase = ZetVars::LocalBase();
    ZetVars::SetLocalBase(ZetVars::VariableCount());
    Op(opJump);
    const uint32_t jump = Placeholder();
    size_t position = 1;
    uint16_t error = 0;
    const uint16_t index = ZetVars::DefineProcedure(argument, Pos(), position, error);
    if (error != 0) {
      ZetVars::SetLocalBase(savedBase);
      return Pass(error, column + position - 1);
    }
    procOpen_ = true;
    procIndex_ = index;
    procJump_ = jump;
    procSavedBase_ = savedBase;
  }

  // SUB opens a record loop over the linked records of the tables that its
  // statements read, nested in the loop around it; the argument is its
  // selection.
  // A computed selection is kept in text form: its expression gives the
  // selection's text when the loop starts.
  void OpenSub(const std::string& argument, size_t column, bool computed = false) {
    if (!Program() && !sawSection_) return Fail(kErrSection, column);
    if (subs_.size() >= kMaxSubDepth) return Fail(kErrTooComplex, column);
    TLoopDescriptor d;
    if (!argument.empty()) {
      ShortStr t(argument);
      uint64_t tables = 0;
      if (argument.size() > 255) return Fail(kErrTooComplex, column);
      if (const uint16_t e = Zet02::CompileExpression(t, tables); e != 0) return Pass(e, column);
      d.selection = std::string(t.view());
      d.selectionTables = tables;
      d.textForm = computed ? 1 : 0;
    }
    const std::string descriptor = EncodeDescriptor(d);
    if (!Room(1 + descriptor.size())) return;
    subs_.push_back({Pos(), 0, lineIndex_});
    Op(opRecordLoop);
    Bytes(descriptor);
  }

  // ENDSUB ends the loop body and completes the descriptor: the loop's set
  // loses the tables of the loop around it.
  // A non-empty argument is the sort key of the loop's records: an index
  // description of the loop's single table, or of the current table.
  void CloseSub(const std::string& argument, size_t column) {
    if (subs_.empty()) return Fail(kErrUnknown, column);
    const TSubLoop s = subs_.back();
    subs_.pop_back();
    Op(opEnd);
    if (error_ != 0) return;
    const uint32_t end = Pos();  // the run goes on behind the body's end
    TLoopDescriptor d;
    DecodeDescriptor(code(), s.at, d);
    const uint64_t outer = subs_.empty() ? job_.tables : subs_.back().tables;
    d.loopTables = s.tables & ~outer;
    d.keyTable = 0;
    for (int slot = 1; slot <= 64; ++slot)
      if (d.loopTables == uint64_t(1) << (slot - 1)) d.keyTable = uint8_t(slot);
    d.endPosition = end;
    if (!argument.empty()) {
      if (d.keyTable == 0) d.keyTable = uint8_t(std::clamp(ZetTable::CurrentHandle(), 0, 255));
      std::array<uint8_t, kMaxKeyLength> description{};
      if (d.keyTable == 0 ||
          MakeIV::CompileIndexDescription(d.keyTable, argument, description.data(), false) != 0)
        return Fail(kErrBadKey, column);
      d.sorted = 1;
      d.key = description;
      d.keyLength = uint16_t(std::min<uint32_t>(Zet00::KeyLength(description.data()), 0xFFFF));
    }
    const std::string fixed = EncodeDescriptor(d);
    code().replace(s.at, kDescriptorFixed, fixed.substr(0, kDescriptorFixed));
  }

  // Completes the DATA loop's descriptor; its body ends at the opcode 2 at
  // endPosition.
  void CompleteData(uint32_t endPosition) {
    if (dataDescriptor_ == 0 || error_ != 0) return;
    TLoopDescriptor d;
    DecodeDescriptor(code(), dataDescriptor_, d);
    d.loopTables = job_.tables;
    d.keyTable = uint8_t(ZetTable::CurrentHandle());
    d.textForm = 1;
    d.selectionFlag = 1;
    d.endPosition = endPosition;
    if (sorted_) {
      d.sorted = 1;
      d.key = sortKey_;
      d.keyLength = uint16_t(std::min<uint32_t>(Zet00::KeyLength(sortKey_.data()), 0xFFFF));
    }
    const std::string fixed = EncodeDescriptor(d);
    code().replace(dataDescriptor_, kDescriptorFixed, fixed.substr(0, kDescriptorFixed));
    dataDescriptor_ = 0;
  }

  void Close() {
    if (procOpen_) {
      Fail(kErrProcedureOpen, 1);
      return;
    }
    if (!subs_.empty()) {
      lineIndex_ = subs_.back().line;
      Fail(kErrSubOpen, 1);
      return;
    }
    if (!nest_.empty()) {
      Fail(nest_.back().kind == kRepeat ? kErrRepeatOpen : kErrConstructOpen, 1);
      return;
    }
    if (section_ == kSectionData) CompleteData(Pos());
    Op(opEnd);
    if (Program() || error_ != 0) return;
    job_.image.sections[0] = sawSection_ || section_ == kSectionPrelude ? 1 : 0;
    if (sawSection_) return;
    job_.image.sections[0] = 0;
    if (job_.tables == 0) {
      job_.image.sections[kSectionProlog - 1] = 1;
      return;
    }
    // A job without sections that reads the table: its whole text is the
    // record body of an implicit DATA loop.
    if (!Room(1 + kDescriptorFixed + 1)) return;
    TLoopDescriptor d;
    d.defaultTables = 1;
    d.textForm = 1;
    d.selectionFlag = 1;
    d.loopTables = job_.tables;
    d.keyTable = uint8_t(ZetTable::CurrentHandle());
    d.endPosition = uint32_t(code().size() + 1 + kDescriptorFixed + 1);  // the final opcode 2
    code().insert(0, std::string(1, char(opRecordLoop)) + EncodeDescriptor(d));
    job_.image.sections[kSectionData - 1] = 1;
  }
};

}  // namespace

int LoadLines(std::string_view name, std::vector<std::string>& lines) {
  dynstr::LineChain chain;
  const int e = TextFiles::LoadTextLines(name, chain, kLineLimit);
  if (e != 0) return e;
  for (const dynstr::LineNode* n = chain.get(); n; n = n->next.get()) lines.emplace_back(n->text.view());
  return 0;
}

void PutImageSettings(TJob& job) {
  TJobSettings& s = job.image.settings;
  const TDotState& d = job.dots;
  s.he = d.he;
  s.gp = d.gp;
  s.gc = d.gc;
  s.nl = d.nl;
  s.ps = d.ps;
  s.hf = d.hf;
  s.fl = d.fl;
  const int16_t values[] = {d.values[4], d.values[5], d.leftOffset, d.topMargin, d.rightMargin, d.bottomMargin};
  for (size_t i = 0; i < 6; ++i) bytes::PutI16(job.image.layout.data() + 2 * i, values[i]);
}

void TakeImageSettings(TJob& job) {
  const TJobSettings& s = job.image.settings;
  TDotState& d = job.dots;
  d.he = s.he;
  d.gp = s.gp;
  d.gc = s.gc;
  d.nl = s.nl;
  d.ps = s.ps;
  d.hf = s.hf;
  d.fl = s.fl;
  const uint8_t* l = job.image.layout.data();
  d.values[4] = bytes::GetI16(l);
  d.values[5] = bytes::GetI16(l + 2);
  d.leftOffset = bytes::GetI16(l + 4);
  d.topMargin = bytes::GetI16(l + 6);
  d.rightMargin = bytes::GetI16(l + 8);
  d.bottomMargin = bytes::GetI16(l + 10);
}

uint16_t Compile(const std::vector<std::string>& lines, bool program, std::string_view source, TJob& job) {
  job = TJob();
  TCompiler compiler(job, program, source);
  return compiler.Run(lines);
}

}  // namespace JobCompile
