#include "engine/language/lumopars.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstdio>

#include "engine/base/common.h"
#include "engine/base/engassert.h"

namespace lumopars {
namespace {

// Token classes of the module scanner.
enum Tok : int {
  kUses = 1, kProc = 2, kEndProc = 3, kLParen = 4, kColon = 5, kSemicolon = 6, kComment = 7,
  kName = 8, kVarDef = 9, kComma = 10, kRParen = 11, kLineEnd = 12, kEnd = 13, kEquals = 14,
  kLessEqual = 15, kLess = 16, kGreater = 17, kGreaterEqual = 18, kMinus = 19, kPlus = 20,
  kNumber = 21, kAssign = 24, kHash = 25, kNotEqual = 26, kVar = 27, kDot = 28, kString = 29,
  kStar = 30, kSlash = 31, kDllProc = 32, kLBracket = 33, kRBracket = 34, kLibrary = 35,
  kConst = 37, kUnderscore = 38, kBang = 39, kQuestion = 40, kInclude = 41, kBackslash = 42,
};

struct Keyword {
  const char* text;
  Tok token;
};
constexpr Keyword kKeywords[] = {
    {"USES", kUses},       {"PROCEDURE", kProc}, {"PROZEDUR", kProc}, {"ENDPROC", kEndProc},
    {"ENDPROZ", kEndProc}, {"VARDEF", kVarDef},  {"VAR", kVar},       {"DLLPROC", kDllProc},
    {"LIBRARY", kLibrary}, {"CONST", kConst},    {"INCLUDE", kInclude},
};

struct Punctuation {
  const char* text;
  Tok token;
};
// Two-character operators first.
constexpr Punctuation kPunctuation[] = {
    {":=", kAssign}, {"<>", kNotEqual}, {"<=", kLessEqual}, {">=", kGreaterEqual}, {"(", kLParen},
    {":", kColon},   {";", kSemicolon}, {",", kComma},      {")", kRParen},        {"=", kEquals},
    {"<", kLess},    {">", kGreater},   {"-", kMinus},      {"+", kPlus},          {"#", kHash},
    {"*", kStar},    {"/", kSlash},     {"[", kLBracket},   {"]", kRBracket},      {"_", kUnderscore},
    {"!", kBang},    {"?", kQuestion},  {"\\", kBackslash},
};

// Dot commands known to the strict check, with their value ranges.
struct KnownDot {
  const char* name;
  int32_t low, high;
};
constexpr KnownDot kKnownDots[] = {{"EC", 0, 1}, {"AK", 0, 1}};

constexpr std::string_view kLineBreak = "\r\n";

char AsciiUpper(char c) { return c >= 'a' && c <= 'z' ? char(c - 'a' + 'A') : c; }

Tok KeywordToken(std::string_view name) {
  for (const Keyword& k : kKeywords) {
    if (SameName(name, k.text)) return k.token;
  }
  return kName;
}

const char* KeywordText(int token) {
  for (const Keyword& k : kKeywords) {
    if (k.token == token) return k.text;
  }
  return nullptr;
}

// Reads a module text token by token, keeping line and column.
class Scanner {
 public:
  explicit Scanner(std::string_view text) : text_(text) {}

  int token = kEnd;
  std::string tokenText;  // as written
  uint32_t tokenLine = 0, tokenColumn = 0;

  void Next() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t')) Advance();
    tokenLine = line_;
    tokenColumn = column_;
    tokenText.clear();
    if (pos_ >= text_.size()) {
      token = kEnd;
      return;
    }
    const size_t start = pos_;
    const char c = text_[pos_];
    if (c == '\r' || c == '\n') {
      Advance();
      if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') Advance();
      token = kLineEnd;
    } else if (Common::IsLetter(c) || c == '$') {
      Advance();
      while (pos_ < text_.size() && (Common::IsNameChar(text_[pos_]) || text_[pos_] == '$')) Advance();
      token = KeywordToken(text_.substr(start, pos_ - start));
    } else if (Common::IsDigit(c)) {
      while (pos_ < text_.size() && (Common::IsDigit(text_[pos_]) || text_[pos_] == '.')) Advance();
      token = kNumber;
    } else if (c == '\'' || c == '"') {
      Advance();
      while (pos_ < text_.size() && text_[pos_] != c) Advance();
      if (pos_ >= text_.size()) Fail(kErrMissing, std::string(1, c));
      Advance();
      token = kString;
    } else if (c == '.' && pos_ + 1 < text_.size() && text_[pos_ + 1] == '.') {
      while (pos_ < text_.size() && text_[pos_] != '\r' && text_[pos_] != '\n') Advance();
      token = kComment;
    } else if (c == '.') {
      Advance();
      token = kDot;
    } else {
      token = 0;
      for (const Punctuation& p : kPunctuation) {
        if (text_.substr(pos_).starts_with(p.text)) {
          for (size_t i = std::string_view(p.text).size(); i > 0; --i) Advance();
          token = p.token;
          break;
        }
      }
      if (token == 0) Fail(kErrIllegalChar, std::string(1, c));
    }
    tokenText.assign(text_.substr(start, pos_ - start));
  }

  // The lines up to the first whose first word is ENDPROC or ENDPROZ, each as
  // written followed by CR LF; the scanner stays at the start of that line.
  std::string BodyLines() {
    std::string body;
    for (;;) {
      if (pos_ >= text_.size()) {
        tokenLine = line_;
        tokenColumn = column_;
        Fail(kErrMissing, "<endproc>");
      }
      size_t end = pos_;
      while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') ++end;
      const std::string_view lineText = text_.substr(pos_, end - pos_);
      size_t w = 0;
      while (w < lineText.size() && (lineText[w] == ' ' || lineText[w] == '\t')) ++w;
      size_t e = w;
      while (e < lineText.size() && Common::IsNameChar(lineText[e])) ++e;
      if (KeywordToken(lineText.substr(w, e - w)) == kEndProc) return body;
      body.append(lineText).append(kLineBreak);
      while (pos_ < end) Advance();
      if (pos_ < text_.size()) {
        const char c = text_[pos_];
        Advance();
        if (c == '\r' && pos_ < text_.size() && text_[pos_] == '\n') Advance();
      }
    }
  }

  [[noreturn]] void Fail(uint16_t error, const std::string& argument) const {
    size_t end = lineStart_;
    while (end < text_.size() && text_[end] != '\r' && text_[end] != '\n') ++end;
    std::string lineText;
    for (char ch : text_.substr(lineStart_, end - lineStart_)) {
      if (ch == '\t') lineText += "  ";
      else lineText += ch;
    }
    throw EParser(error, argument, lineText, int(tokenColumn), int(tokenLine));
  }

 private:
  void Advance() {
    const char c = text_[pos_++];
    if (c == '\r' || (c == '\n' && (pos_ < 2 || text_[pos_ - 2] != '\r'))) {
      ++line_;
      column_ = 0;
      lineStart_ = pos_;
    } else if (c == '\n') {
      lineStart_ = pos_;
    } else {
      ++column_;
    }
  }

  std::string_view text_;
  size_t pos_ = 0;
  size_t lineStart_ = 0;
  uint32_t line_ = 0;
  uint32_t column_ = 0;
};

class ModuleReader {
 public:
  ModuleReader(std::string_view text, const TLumoContext& context, bool lenient)
      : s_(text), context_(context), lenient_(lenient) {}

  std::unique_ptr<TLumoModule> Read() {
    auto module = std::make_unique<TLumoModule>();
    s_.Next();
    while (s_.token == kLineEnd) s_.Next();
    while (s_.token != kEnd) {
      std::unique_ptr<TLumoCommand> item;
      switch (s_.token) {
        case kComment: item = Comment(); break;
        case kDot: item = DotCommand(); break;
        case kUses:
        case kInclude: item = Uses(); break;
        case kConst: item = Const(); break;
        case kProc:
        case kDllProc: item = Procedure(); break;
        default: Expected(kProc);
      }
      while (s_.token == kLineEnd) {
        ++item->lineEnds;
        s_.Next();
      }
      module->Add(std::move(item));
    }
    return module;
  }

 private:
  [[noreturn]] void Expected(int token) {
    if (const char* keyword = KeywordText(token)) s_.Fail(kErrExpected, keyword);
    s_.Fail(kErrMissing, s_.tokenText);
  }
  void Want(int token) {
    if (s_.token != token) Expected(token);
  }
  void SkipOptional(int token) {
    if (s_.token == token) s_.Next();
  }
  std::string Name(size_t limit) {
    Want(kName);
    if (s_.tokenText.size() > limit) s_.Fail(kErrUnknown, "Name too long");
    std::string name = s_.tokenText;
    s_.Next();
    return name;
  }
  int32_t Number() {
    Want(kNumber);
    const double value = std::strtod(s_.tokenText.c_str(), nullptr);
    s_.Next();
    return int32_t(std::clamp(std::trunc(value), -2147483648.0, 2147483647.0));
  }

  std::unique_ptr<TLumoCommand> Comment() {
    auto item = std::make_unique<TLumoComment>();
    item->lines.push_back(s_.tokenText.substr(2));
    s_.Next();
    return item;
  }

  std::unique_ptr<TLumoCommand> DotCommand() {
    auto item = std::make_unique<TLumoDotCommand>();
    s_.Next();
    for (;;) {
      TLumoDotEntry entry;
      const KnownDot* known = nullptr;
      if (!lenient_ && s_.token == kName) {
        for (const KnownDot& k : kKnownDots) {
          if (SameName(s_.tokenText, k.name)) known = &k;
        }
        if (known == nullptr) Expected(kDot);
      }
      entry.name = Name(kMaxDotName);
      if (s_.token == kNumber) {
        const uint32_t line = s_.tokenLine, column = s_.tokenColumn;
        entry.value = Number();
        if (known != nullptr && (entry.value < known->low || entry.value > known->high)) {
          char message[80];
          std::snprintf(message, sizeof message, "Argument %d out of range (%d to %d)", int(entry.value),
                        int(known->low), int(known->high));
          s_.tokenLine = line;
          s_.tokenColumn = column;
          s_.Fail(kErrUnknown, message);
        }
      }
      item->entries.push_back(std::move(entry));
      if (s_.token != kComma) break;
      s_.Next();
    }
    SkipOptional(kSemicolon);
    return item;
  }

  std::unique_ptr<TLumoCommand> Uses() {
    auto item = std::make_unique<TLumoUsesCommand>();
    item->include = s_.token == kInclude;
    item->keyword = s_.tokenText;
    s_.Next();
    for (;;) {
      std::string name = Name(ShortStr::kMax);
      while (s_.token == kBackslash || s_.token == kDot) {
        name += s_.token == kBackslash ? '\\' : '.';
        s_.Next();
        name += Name(ShortStr::kMax);
      }
      item->names.push_back(std::move(name));
      if (s_.token != kComma) break;
      s_.Next();
    }
    SkipOptional(kSemicolon);
    return item;
  }

  std::unique_ptr<TLumoCommand> Const() {
    auto item = std::make_unique<TLumoConstCommand>();
    item->keyword = s_.tokenText;
    s_.Next();
    item->name = Name(kMaxName);
    Want(kEquals);
    s_.Next();
    if (s_.token != kNumber && s_.token != kString) Expected(kNumber);
    if (s_.tokenText.size() > ShortStr::kMax) s_.Fail(kErrUnknown, "Value too long");
    item->value = s_.tokenText;
    s_.Next();
    SkipOptional(kSemicolon);
    return item;
  }

  // A class name: its code, and the name itself when the context has none.
  void ClassOf(int32_t& code, std::string& written) {
    written = Name(kMaxName);
    code = context_.ClassCode(written);
    if (code != 0) written.clear();
  }

  void Parameters(TLumoProcedure& proc) {
    s_.Next();
    if (s_.token == kRParen) {
      s_.Next();
      return;
    }
    for (;;) {
      const bool byReference = s_.token == kVar;
      if (byReference) s_.Next();
      std::vector<std::string> names{Name(kMaxName)};
      while (s_.token == kComma) {
        s_.Next();
        names.push_back(Name(kMaxName));
      }
      Want(kColon);
      s_.Next();
      TLumoParameter p;
      p.flags = byReference ? kByReference : 0;
      ClassOf(p.classCode, p.className);
      if (s_.token == kLBracket) {
        do {
          s_.Next();
          if (size_t(p.dimensionCount) == kMaxDimensions) s_.Fail(kErrUnknown, "Too many dimensions");
          p.dimensions[p.dimensionCount++] = Number();
        } while (s_.token == kComma);
        Want(kRBracket);
        s_.Next();
      }
      for (std::string& name : names) {
        p.name = std::move(name);
        proc.parameters.push_back(p);
      }
      if (s_.token != kSemicolon) break;
      s_.Next();
    }
    Want(kRParen);
    s_.Next();
  }

  std::unique_ptr<TLumoCommand> Procedure() {
    auto proc = std::make_unique<TLumoProcedure>();
    proc->external = s_.token == kDllProc;
    proc->keyword = s_.tokenText;
    s_.Next();
    proc->name = Name(kMaxName);
    if (s_.token == kLParen) Parameters(*proc);
    if (s_.token == kColon) {
      s_.Next();
      ClassOf(proc->resultClass, proc->resultClassName);
    }
    SkipOptional(kSemicolon);
    if (proc->external) {
      while (s_.token == kLineEnd) s_.Next();
      Want(kLibrary);
      std::string text = s_.tokenText;
      s_.Next();
      Want(kString);
      proc->body.text = text + " " + s_.tokenText + ";";
      s_.Next();
    } else {
      if (s_.token == kEnd) s_.Fail(kErrMissing, "<endproc>");
      Want(kLineEnd);
      proc->body.text = s_.BodyLines();
      s_.Next();
      proc->body.endKeyword = s_.tokenText;
      s_.Next();
    }
    SkipOptional(kSemicolon);
    return proc;
  }

  Scanner s_;
  const TLumoContext& context_;
  bool lenient_;
};

void AppendNumber(std::string& out, int32_t value) { out += std::to_string(value); }

}  // namespace

bool SameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char x, char y) { return AsciiUpper(x) == AsciiUpper(y); });
}

void TLumoProcedure::AddParameter(std::string_view paramName, uint8_t paramFlags, const int32_t* dims,
                                  int32_t dimCount, int32_t classCode) {
  TLumoParameter p;
  p.name = std::string(paramName.substr(0, kMaxName));
  p.flags = paramFlags;
  p.classCode = classCode;
  p.dimensionCount = std::clamp<int32_t>(dimCount, 0, int32_t(kMaxDimensions));
  for (int32_t i = 0; dims != nullptr && i < p.dimensionCount; ++i) p.dimensions[i] = dims[i];
  parameters.push_back(p);
}

int TLumoModule::IndexOfProcedure(std::string_view name) const {
  for (size_t i = 0; i < items_.size(); ++i) {
    if (items_[i]->kind == kProcedureItem && SameName(static_cast<TLumoProcedure&>(*items_[i]).name, name)) {
      return int(i);
    }
  }
  return -1;
}

TLumoProcedure* TLumoModule::FindProcedure(std::string_view name) const {
  const int i = IndexOfProcedure(name);
  return i < 0 ? nullptr : static_cast<TLumoProcedure*>(items_[size_t(i)].get());
}

bool TLumoModule::DeleteProcedure(std::string_view name) {
  const int i = IndexOfProcedure(name);
  if (i < 0) return false;
  items_.erase(items_.begin() + i);
  return true;
}

std::string TLumoModule::GetProcComment(std::string_view name) const {
  const int i = IndexOfProcedure(name);
  std::string text;
  if (i > 0 && items_[size_t(i) - 1]->kind == kCommentItem) {
    for (const std::string& line : static_cast<TLumoComment&>(*items_[size_t(i) - 1]).lines) text += line;
  }
  return text;
}

bool TLumoModule::SetProcComment(std::string_view name, std::string_view text) {
  const int i = IndexOfProcedure(name);
  if (i < 0) return false;
  const bool has = i > 0 && items_[size_t(i) - 1]->kind == kCommentItem;
  if (text.empty()) {
    if (has) items_.erase(items_.begin() + (i - 1));
    return true;
  }
  auto comment = std::make_unique<TLumoComment>();
  comment->lineEnds = 1;
  size_t start = 0;
  for (size_t k = 0; k <= text.size(); ++k) {
    if (k == text.size() || text[k] == '\r') {
      comment->lines.emplace_back(text.substr(start, k - start));
      if (k + 1 < text.size() && text[k + 1] == '\n') ++k;
      start = k + 1;
    }
  }
  if (has) {
    comment->lineEnds = items_[size_t(i) - 1]->lineEnds;
    items_[size_t(i) - 1] = std::move(comment);
  } else {
    items_.insert(items_.begin() + i, std::move(comment));
  }
  return true;
}

TLumoContext::TLumoContext() {
  classes_ = {{"real", 1, 0}, {"number", 2, 0}, {"string", 3, 0}, {"integer", 4, 0}, {"object", 5, 0}};
}

int32_t TLumoContext::ClassCode(std::string_view name) const {
  for (const TLumoClass& c : classes_) {
    if (SameName(c.name, name)) return c.code;
  }
  return 0;
}

std::string TLumoContext::ClassName(int32_t code) const {
  for (const TLumoClass& c : classes_) {
    if (c.code == code) return c.name;
  }
  return {};
}

std::unique_ptr<TLumoModule> TLumoParser::Parse(std::string_view text) {
  return ModuleReader(text, context_, lenient).Read();
}

std::string TLumoParser::WriteModule(const TLumoModule& module) const {
  std::string out;
  const auto className = [&](int32_t code, const std::string& written) {
    return code != 0 ? context_.ClassName(code) : written;
  };
  for (size_t n = 0; n < module.Count(); ++n) {
    const TLumoCommand& item = module.Item(n);
    switch (item.kind) {
      case kCommentItem: {
        const auto& lines = static_cast<const TLumoComment&>(item).lines;
        for (size_t i = 0; i < lines.size(); ++i) {
          if (i > 0) out += kLineBreak;
          out += "..";
          out += lines[i];
        }
        break;
      }
      case kDotItem: {
        out += '.';
        const auto& entries = static_cast<const TLumoDotCommand&>(item).entries;
        for (size_t i = 0; i < entries.size(); ++i) {
          if (i > 0) out += ',';
          out += entries[i].name;
          if (entries[i].value != -1) {
            out += ' ';
            AppendNumber(out, entries[i].value);
          }
        }
        // A dot command ends without a mark: an item after it on the same
        // line must not run into its last name.
        if (item.lineEnds == 0 && n + 1 < module.Count()) out += ' ';
        break;
      }
      case kUsesItem: {
        const auto& uses = static_cast<const TLumoUsesCommand&>(item);
        out += uses.keyword;
        out += ' ';
        for (size_t i = 0; i < uses.names.size(); ++i) {
          if (i > 0) out += ", ";
          out += uses.names[i];
        }
        out += ';';
        break;
      }
      case kConstItem: {
        const auto& c = static_cast<const TLumoConstCommand&>(item);
        out += c.keyword + "\t " + c.name + " = " + c.value + ";";
        break;
      }
      case kProcedureItem: {
        const auto& proc = static_cast<const TLumoProcedure&>(item);
        out += proc.keyword + " " + proc.name;
        if (!proc.parameters.empty()) {
          out += '(';
          for (size_t i = 0; i < proc.parameters.size(); ++i) {
            const TLumoParameter& p = proc.parameters[i];
            if (i > 0) out += "; ";
            if (p.flags & kByReference) out += "VAR ";
            out += p.name + ": " + className(p.classCode, p.className);
            std::string dims;
            for (int32_t d = 0; d < p.dimensionCount && d < int32_t(kMaxDimensions); ++d) {
              if (p.dimensions[d] < 0) continue;
              if (!dims.empty()) dims += ", ";
              AppendNumber(dims, p.dimensions[d]);
            }
            if (!dims.empty()) out += "[" + dims + "]";
          }
          out += ')';
        }
        if (proc.resultClass != 0 || !proc.resultClassName.empty()) {
          out += ": " + className(proc.resultClass, proc.resultClassName);
        }
        if (proc.external) {
          // A blank keeps the library clause apart from the declaration.
          out += " " + proc.body.text;
        } else {
          out += ";";
          out += kLineBreak;
          out += proc.body.text;
          out += proc.body.endKeyword + ";";
        }
        break;
      }
      default: throw EAssertion("lumopars: unknown module item");
    }
    for (uint32_t i = 0; i < item.lineEnds; ++i) out += kLineBreak;
  }
  return out;
}

}  // namespace lumopars
