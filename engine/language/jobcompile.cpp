#include "engine/language/jobcompile.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "engine/base/bytes.h"
#include "engine/base/common.h"
#include "engine/base/common_errors.h"
#include "engine/base/shortstr.h"
#include "engine/language/compiler.h"
#include "engine/language/interp.h"
#include "engine/language/printcalls.h"
#include "engine/language/programerror.h"
#include "engine/language/variables.h"
#include "engine/storage/makeiv.h"
#include "engine/storage/zet00_keys.h"
#include "engine/storage/zettable.h"

namespace JobCompile {
namespace {

using namespace JobImage;
using namespace JobFormat;

constexpr uint16_t kErrIncomplete = 41;
constexpr uint16_t kErrTypes = 44;
constexpr uint16_t kErrSeparator = 56;
constexpr uint16_t kErrUnknown = kErrBadCode;
constexpr uint16_t kErrSection = 86;
constexpr uint16_t kErrTableStatement = 93;
constexpr uint16_t kErrRepeatOpen = 96;
constexpr uint16_t kErrConstructOpen = 97;
constexpr uint16_t kErrMemory = 99;

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
  std::string_view source_;
  std::string& code() { return job_.image.code; }
  uint16_t error_ = 0;
  size_t lineIndex_ = 0;
  std::string line_;
  size_t offsetBefore_ = 0;
  std::vector<TNest> nest_;
  std::vector<TSubLoop> subs_;
  // The open procedure: its jump over the body and the local base before.
  bool procOpen_ = false;
  uint32_t procJump_ = 0;
  uint16_t procSavedBase_ = 0;
  int section_ = 0;
  uint32_t dataDescriptor_ = 0;  // position of the DATA loop's opcode 7
  bool sawSection_ = false;
  bool sorted_ = false;  // SORTBY gave the DATA loop a key
  std::array<uint8_t, kMaxKeyLength> sortKey_{};

  uint32_t Pos() { return uint32_t(code().size() + 1); }
  bool Program() const { return job_.image.program; }

  void Fail(uint16_t error, size_t column) {
    if (error_ != 0) return;
    error_ = error;
    if (ProgramError::Record().error == 0) {
      ProgramError::SetSource(source_);
      ProgramError::Set(error, uint16_t(lineIndex_ + 1), uint16_t(column > 0 ? column - 1 : 0),
                        int32_t(offsetBefore_ + (column > 0 ? column - 1 : 0)));
    }
    Common::SetError(error, "");
  }
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
      Fail(e, column);
      return false;
    }
    if (!subs_.empty()) subs_.back().tables |= tables;
    else if (section_ <= kSectionPrelude || section_ == kSectionData) job_.tables |= tables;
    out = std::string(t.view());
    return true;
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
      Fail(kErrSeparator, line_.size() + 1);
      Common::SetErrorArgument("/");
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
      Fail(kErrUnknown, column);  // computed arguments need statements not built here
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
        if (!argument.empty()) {
          std::string c;
          if (!Expression(argument, c, column)) return;
          Op(opRunCode);
          Counted(c);
        }
        Op(opEnd);
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
        Op(opText);
        Counted(argument);
        Op(opSelection);
        break;
      }
      case stSortBy: {
        if (!TableStatementAllowed(column)) return;
        // The records are always sorted by the key (a key that an index
        // of the table already gives is sorted all the same).
        const std::string_view key = !argument.empty() && argument[0] == '!'
                                         ? std::string_view(argument).substr(1)
                                         : std::string_view(argument);
        std::array<uint8_t, kMaxKeyLength> description{};
        if (MakeIV::CompileIndexDescription(ZetTable::CurrentHandle(), key, description.data(), false) != 0) {
          Fail(98, column);
          return;
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
          Fail(kErrTypes, column);
          Common::SetErrorArgument(argument);
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
        if (lineIndex_ != 0) {
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
      Fail(error != 0 ? error : kErrIncomplete, column);
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
        if (e == kErrSeparator) Common::SetErrorArgument(",");
        Fail(uint16_t(e), column);
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
    if (!nest_.empty() || Program() || n <= section_) {
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
    ZetVars::DefineProcedure(argument, Pos(), position, error);
    if (error != 0) {
      ZetVars::SetLocalBase(savedBase);
      return Fail(error, column + position - 1);
    }
    procOpen_ = true;
    procJump_ = jump;
    procSavedBase_ = savedBase;
  }

  // SUB opens a record loop over the linked records of the tables that its
  // statements read, nested in the loop around it; the argument is its
  // selection.
  void OpenSub(const std::string& argument, size_t column) {
    if (!Program() && !sawSection_) return Fail(kErrSection, column);
    if (subs_.size() >= kMaxSubDepth) return Fail(kErrTooComplex, column);
    TLoopDescriptor d;
    if (!argument.empty()) {
      ShortStr t(argument);
      uint64_t tables = 0;
      if (argument.size() > 255) return Fail(kErrTooComplex, column);
      if (const uint16_t e = Zet02::CompileExpression(t, tables); e != 0) return Fail(e, column);
      d.selection = std::string(t.view());
      d.selectionTables = tables;
    }
    const std::string descriptor = EncodeDescriptor(d);
    if (!Room(1 + descriptor.size())) return;
    subs_.push_back({Pos(), 0, lineIndex_});
    Op(opRecordLoop);
    Bytes(descriptor);
  }

  // ENDSUB ends the loop body and completes the descriptor: the loop's set
  // loses the tables of the loop around it.
  void CloseSub(const std::string& argument, size_t column) {
    if (subs_.empty()) return Fail(kErrUnknown, column);
    // A sort key for the linked records is not taken.
    if (!argument.empty()) return Fail(kErrUnknown, column);
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
