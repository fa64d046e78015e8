// Lumo modules as objects: the parsed form of a module text (comments, dot
// commands, USES and INCLUDE lists, CONST declarations, procedures and
// outside-library procedures), the parser that builds it and the writer that
// turns it back into text. Hosts edit modules procedure by procedure through
// this form; procedure bodies stay text, compiled elsewhere.
//
// Module text, as the writer lays it out (CR LF between lines):
//
//   ..a comment line
//   .EC 1,AK
//   USES lib\tools, more.mod;
//   CONST<TAB> Limit = 10;
//   PROCEDURE Test(VAR a: string; VAR b: string; c: real[10]): real;
//   <body lines, each ended by CR LF>
//   ENDPROC;
//   DLLPROC Beep(n: integer): integer LIBRARY "libbeep.so";
//
// Each item is followed by as many line ends as its line-end count; the
// parser counts the line ends that follow an item into it, so blank lines
// between items come back. A comment item of several lines is written one
// line after the other; the parser makes one item of each comment line.
//
// What holds:
//   1. Writing a module and parsing the text again gives the same items with
//      the same fields: every field the writer leaves out is one the parser
//      fills with the same value (a class name the context does not know
//      travels as written, since its code 0 names no class).
//   2. A body is the source lines as written, byte for byte, each followed
//      by CR LF; the parser never looks inside a body.
//   3. The parser reads only inside its text; a syntax error raises EParser
//      with the engine error number (45, 52, 56 or 102), its argument, the
//      0-based line and column and the line's text, and frees everything it
//      built.
//   4. Names stay within their limits: a procedure, parameter or CONST name
//      of more than 40 characters, a dot-command name of more than 20, a
//      parameter with more than 10 dimensions is a syntax error, never cut.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/language/scanner.h"

namespace lumopars {

using LumoScan::EParser;

// Item kinds.
inline constexpr uint8_t kUsesItem = 1;
inline constexpr uint8_t kProcedureItem = 2;
inline constexpr uint8_t kCommentItem = 7;
inline constexpr uint8_t kDotItem = 28;
inline constexpr uint8_t kConstItem = 37;

inline constexpr size_t kMaxName = 40;
inline constexpr size_t kMaxDotName = 20;
inline constexpr size_t kMaxDimensions = 10;

// Engine errors of the parser.
inline constexpr uint16_t kErrIllegalChar = 45;
inline constexpr uint16_t kErrUnknown = 52;
inline constexpr uint16_t kErrExpected = 56;
inline constexpr uint16_t kErrMissing = 102;

struct TLumoCommand {
  explicit TLumoCommand(uint8_t kind) : kind(kind) {}
  virtual ~TLumoCommand() = default;
  uint8_t kind;
  uint32_t lineEnds = 0;  // line breaks written after the item
};

struct TLumoComment : TLumoCommand {
  TLumoComment() : TLumoCommand(kCommentItem) {}
  std::vector<std::string> lines;
};

struct TLumoDotEntry {
  std::string name;   // at most 20 characters
  int32_t value = -1;  // -1: none
};

struct TLumoDotCommand : TLumoCommand {
  TLumoDotCommand() : TLumoCommand(kDotItem) {}
  std::vector<TLumoDotEntry> entries;
};

struct TLumoUsesCommand : TLumoCommand {
  TLumoUsesCommand() : TLumoCommand(kUsesItem) {}
  bool include = false;  // INCLUDE rather than USES
  std::string keyword;   // as written
  std::vector<std::string> names;
  size_t Count() const { return names.size(); }
  const std::string& Name(size_t i) const { return names[i]; }
};

struct TLumoConstCommand : TLumoCommand {
  TLumoConstCommand() : TLumoCommand(kConstItem) {}
  std::string name;
  std::string value;  // as written, quotes included for a text
  std::string keyword;
};

struct TLumoParameter {
  std::string name;
  uint8_t flags = 0;  // kByReference
  int32_t classCode = 0;
  std::string className;  // as written when the context does not know it
  int32_t dimensionCount = 0;
  int32_t dimensions[kMaxDimensions] = {};
};
inline constexpr uint8_t kByReference = 1;

struct TLumoProcedureBody {
  std::string text;        // the body lines, each followed by CR LF
  std::string endKeyword;  // as written; empty for an outside-library procedure
};

struct TLumoProcedure : TLumoCommand {
  TLumoProcedure() : TLumoCommand(kProcedureItem) {}
  std::string name;
  std::string keyword;  // as written
  std::vector<TLumoParameter> parameters;
  int32_t resultClass = 0;  // 0: none
  std::string resultClassName;  // as written when the context does not know it
  TLumoProcedureBody body;
  bool external = false;  // DLLPROC

  void AddParameter(std::string_view name, uint8_t flags, const int32_t* dimensions, int32_t dimensionCount,
                    int32_t classCode);
  size_t ParamCount() const { return parameters.size(); }
  const TLumoParameter& GetParam(size_t i) const { return parameters[i]; }
};

class TLumoModule {
 public:
  void Add(std::unique_ptr<TLumoCommand> item) { items_.push_back(std::move(item)); }
  size_t Count() const { return items_.size(); }
  TLumoCommand& Item(size_t i) const { return *items_[i]; }
  // Index of the first procedure of that name (ASCII letters in any case),
  // -1 when none.
  int IndexOfProcedure(std::string_view name) const;
  TLumoProcedure* FindProcedure(std::string_view name) const;
  bool DeleteProcedure(std::string_view name);
  // The lines of the comment item right before the procedure, joined.
  std::string GetProcComment(std::string_view name) const;
  // Replaces or inserts that comment item with text split at CR (a LF right
  // after it skipped); an empty text removes it. False when no procedure has
  // the name.
  bool SetProcComment(std::string_view name, std::string_view text);
  std::vector<std::unique_ptr<TLumoCommand>>& Items() { return items_; }

 private:
  std::vector<std::unique_ptr<TLumoCommand>> items_;
};

struct TLumoClass {
  std::string name;
  int32_t code = 0;
  int32_t value = 0;
};

// The classes a declaration may name: real 1, number 2, string 3, integer 4,
// object 5.
class TLumoContext {
 public:
  TLumoContext();
  // ASCII letters in any case; 0 when unknown.
  int32_t ClassCode(std::string_view name) const;
  // Empty when unknown.
  std::string ClassName(int32_t code) const;

 private:
  std::vector<TLumoClass> classes_;
};

class TLumoParser {
 public:
  // When false, only the known dot commands with values in their ranges are
  // accepted.
  bool lenient = true;

  // Parses a module text; raises EParser.
  std::unique_ptr<TLumoModule> Parse(std::string_view text);
  // The module's text.
  std::string WriteModule(const TLumoModule& module) const;
  const TLumoContext& Context() const { return context_; }

 private:
  TLumoContext context_;
};

// ASCII case-insensitive equality of names.
bool SameName(std::string_view a, std::string_view b);

}  // namespace lumopars
