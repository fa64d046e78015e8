#include "engine/language/jobformat.h"

#include <algorithm>
#include <cctype>

#include "engine/base/uppercas.h"
#include "engine/base/userbreak.h"

namespace JobFormat {
namespace {

const TKeyword kKeywords[kKeywordCount] = {
    {"ANDERNFALLS", stElsif},     {"APPEND", stAppend},
    {"BIS", stUntil},             {"CONST", stConst},
    {"DATA", stData},             {"DATEN", stData},
    {"DEF", stDef},               {"DLLPROC", stDllProc},
    {"DO", stSolve},              {"ELSE", stElse},
    {"ELSIF", stElsif},           {"END", stEnd},
    {"ENDE", stEnd},              {"ENDPROC", stEndProc},
    {"ENDPROZ", stEndProc},       {"ENDSUB", stEndSub},
    {"EPILOG", stEpilog},         {"EPILOGUE", stEpilog},
    {"EXIT", stExit},             {"FALLS", stIf},
    {"FILTER", stFilter},         {"FONT", stFont},
    {"FOOTER", stFooter},         {"FUSS", stFooter},
    {"FU\xDF", stFooter},         {"GROUP", stGroup},
    {"GROUPFOOTER", stGroupFooter}, {"GROUPHEADER", stGroupHeader},
    {"GRUPPE", stGroup},          {"GRUPPENFUSS", stGroupFooter},
    {"GRUPPENFU\xDF", stGroupFooter}, {"GRUPPENKOPF", stGroupHeader},
    {"HEADER", stHeader},         {"IF", stIf},
    {"INCLUDE", stInclude},       {"KOPF", stHeader},
    {"LET", stLet},               {"LETTER", stLetter},
    {"MODULE", stModule},         {"PRIM\xC4RDATEI", stPrimary},
    {"PRIM\xC4RTABELLE", stPrimary}, {"PRIMTABLEIS", stPrimary},
    {"PROCEDURE", stProcedure},   {"PROLOG", stProlog},
    {"PROLOGUE", stProlog},       {"PROZEDUR", stProcedure},
    {"RELATION", stRelation},     {"REPEAT", stRepeat},
    {"REPLACE", stReplace},       {"REPORT", stReport},
    {"RETURN", stReturn},         {"SELECTION", stSelection},
    {"SELEKTION", stSelection},   {"SERIENBRIEF", stLetter},
    {"SETACCESS", stSetAccess},   {"SETFONT", stSetFont},
    {"SOLANGE", stWhile},         {"SOLVE", stSolve},
    {"SONST", stElse},            {"SORTBY", stSortBy},
    {"SUB", stSub},               {"UNTIL", stUntil},
    {"USES", stUses},             {"VAR", stLet},
    {"VARDEF", stVarDef},         {"WHILE", stWhile},
    {"WIEDERHOLE", stRepeat},     {"ZUGRIFF", stSetAccess},
};

constexpr int kErrSeparator = 56;
constexpr int kErrUnknown = 82;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }

}  // namespace

const TKeyword* Keyword(size_t n) { return n >= 1 && n <= kKeywordCount ? &kKeywords[n - 1] : nullptr; }

uint8_t LookupKeyword(std::string_view word) {
  if (word.empty() || word.size() > 13) return stNone;
  for (const TKeyword& k : kKeywords)
    if (UPPERCAS::CollateCompare(k.text, word) == 0) return k.code;
  return stNone;
}

int DotCommandNumber(std::string_view code) {
  if (code.size() != 2) return int(kDotCommandCount);
  const std::string up{UPPERCAS::UpCaseChar(code[0]), UPPERCAS::UpCaseChar(code[1])};
  for (size_t i = 0; i + 2 < kDotCommands.size(); i += 3)
    if (kDotCommands.substr(i, 2) == up) return int(i / 3);
  return int(kDotCommandCount);
}

int ApplyDotLine(std::string_view line, bool compile, TDotState& s, const TDotActions* actions,
                 size_t& column, bool* lineEndTurnedOn) {
  TDotActions none{};
  const TDotActions& a = actions ? *actions : none;
  size_t p = 0;
  while (p < line.size() && (IsBlank(line[p]) || line[p] == '.')) ++p;
  while (p < line.size()) {
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p >= line.size()) break;
    const size_t codeColumn = p + 1;
    const int number = DotCommandNumber(line.substr(p, 2));
    if (number >= int(kDotCommandCount)) {
      column = codeColumn;
      return kErrUnknown;
    }
    p += 2;
    while (p < line.size() && IsBlank(line[p])) ++p;
    bool negative = false;
    if (p < line.size() && line[p] == '-') {
      negative = true;
      ++p;
    }
    int32_t n = 0;
    while (p < line.size() && line[p] >= '0' && line[p] <= '9') n = std::min(n * 10 + (line[p++] - '0'), 32767);
    const int16_t v = int16_t(negative ? -n : n);
    const bool flag = v != 0;
    s.values[number] = v;
    switch (number) {
      case 0: if (!compile && a.newPage) a.newPage(); break;                                  // PA
      case 1: s.ec = flag; break;                                                            // EC
      case 2: s.topMargin = v; if (!compile && a.marginsChanged) a.marginsChanged(); break;  // MT
      case 3: s.leftOffset = v; if (!compile && a.marginsChanged) a.marginsChanged(); break; // PO
      case 4: if (!compile && a.setPageLength) a.setPageLength(v); break;                     // PL
      case 5: if (!compile && a.setPageWidth) a.setPageWidth(v); break;                       // PW
      case 6: s.pageNumber = v; if (a.pageNumber) a.pageNumber(v); break;                     // PN
      case 7: s.ff = flag; break;                                                            // FF
      case 8: if (!compile && a.conditionalPage) a.conditionalPage(v); break;                 // CP
      case 9: if (!compile && a.suppressLineEnd) a.suppressLineEnd(); break;                  // NL
      case 10: if (!compile && a.stop) a.stop(); break;                                       // ST
      case 11: s.gp = flag; break;                                                           // GP
      case 12: s.he = flag; break;                                                           // HE
      case 13: s.ak = flag; break;                                                           // AK
      case 14: if (!compile) Common::BreakEnabled = !flag; break;                             // NB
      case 15: s.de = flag; break;                                                           // DE
      case 16: s.columns = v; break;                                                         // RW
      case 17: if (!compile) s.gc = flag; break;                                              // GC
      case 18: if (!compile && a.horizontalRule) a.horizontalRule(v == 0 ? -1 : v); break;    // HL
      case 19:                                                                               // AB
        if (compile) {
          if (!flag && !s.lineEndOn && lineEndTurnedOn) *lineEndTurnedOn = true;
          s.lineEndOn = !flag;
        }
        break;
      case 20: if (!compile) s.ps = flag; break;                                              // PS
      case 22: s.rightMargin = v; if (!compile && a.marginsChanged) a.marginsChanged(); break; // MR
      case 23: s.bottomMargin = v; if (!compile && a.marginsChanged) a.marginsChanged(); break;// MB
      case 24: s.cell = v; if (!compile && a.marginsChanged) a.marginsChanged(); break;       // MM
      case 25: if (!compile) s.hf = flag; break;                                              // HF
      case 26: if (!compile) s.fl = flag; break;                                              // FL
      case 27: if (!compile && a.closeRules) a.closeRules(); break;                           // EV
      case 28: if (!compile && a.displace) a.displace(true, v); break;                        // DY
      case 29: if (!compile && a.displace) a.displace(false, v); break;                       // DX
      case 30: if (!compile && a.ruledColumn) a.ruledColumn(v); break;                        // VL
      case 31: s.ht = flag; break;                                                           // HT
      case 32: if (!compile) s.db = flag; break;                                              // DB
      default: break;
    }
    while (p < line.size() && IsBlank(line[p])) ++p;
    if (p >= line.size()) break;
    if (line[p] != ',') {
      column = p + 1;
      return kErrSeparator;
    }
    ++p;
  }
  return 0;
}

int QueryDot(std::string_view code, const TDotState& s) {
  std::string upper(code.substr(0, 2));
  for (char& c : upper) c = char(std::toupper(uint8_t(c)));
  const int number = upper.size() == 2 ? DotCommandNumber(upper) : int(kDotCommandCount);
  switch (number) {
    case 1: return s.ec;
    case 2: return s.topMargin;
    case 3: return s.leftOffset;
    case 4:
    case 5:
    case 16:
    case 24: return s.values[number];  // PL, PW, RW, MM as last set
    case 7: return s.ff;
    case 11: return s.gp;
    case 12: return s.he;
    case 13: return s.ak;
    case 14: return !Common::BreakEnabled;
    case 15: return s.de;
    case 17: return s.gc;
    case 20: return s.ps;
    case 21: return s.values[number];
    case 22: return s.rightMargin;
    case 23: return s.bottomMargin;
    case 25: return s.hf;
    case 26: return s.fl;
    default: return number < int(kDotCommandCount) ? 0 : -1;
  }
}

std::string RewriteMarkup(std::string_view line, std::string_view currentFontId) {
  std::string out;
  size_t p = 0;
  while (p < line.size()) {
    if (line[p] == '<') {
      const size_t close = line.find('>', p + 1);
      if (close != std::string_view::npos && close - p - 1 <= 20) {
        const std::string_view tag = line.substr(p + 1, close - p - 1);
        if (tag == "b") out += "$(bold(1))";
        else if (tag == "/b") out += "$(bold(0))";
        else if (tag == "i") out += "$(italic(1))";
        else if (tag == "/i") out += "$(italic(0))";
        else if (!tag.empty() && tag[0] == '/')
          out += "$(@" + std::string(currentFontId.empty() ? "n1" : currentFontId) + ")";
        else out += "$(@" + std::string(tag) + ")";
        p = close + 1;
        continue;
      }
    }
    out += line[p++];
  }
  if (out.size() > 255) out.resize(255);
  return out;
}

}  // namespace JobFormat
