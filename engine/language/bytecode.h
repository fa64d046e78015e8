// Lumo byte code: the compiled form of one line of Lumo text.
//
// A code string is a length byte followed by at most 255 code bytes. The
// compiler refuses a line as soon as its code reaches kCodeLimit bytes, so
// every construct it emits after the test still fits. Tokens follow one
// another without separators; a token is one byte, perhaps followed by
// operands. Multi-byte operands are little-endian. The code keeps the infix
// order of the source: operator precedence is the interpreter's business.
//
// Operand kinds:  u8, u16, f64 (IEEE double), set (u64 table set, bit h-1 for
// table h), text (length byte + characters), code (length byte + nested code).
//
//   token        name              operands                     source
//   -----------  ----------------  ---------------------------  -------------------------------
//   Constants
//   64           tkRealConst       f64                          0, fractions, > 65535, dates
//   65           tkStringConst     text                         'abc', "abc", ^X (X and 31)
//   66           tkWordConst       u16                          256..65535, times >= 256 min
//   67           tkByteConst       u8                           1..255, times < 256 min, Ja/Nein
//   Operators and punctuation (no operands)
//   33 ! 40 ( 41 ) 42 * 43 + 44 , & and und 45 - 46 . 47 / 58 : 59 ;
//   70 F (format)  91 [  92 \ Or oder  93 ]  95 _  125 }  126 ~ Not Nicht
//   127 von  128 < Less Kleiner  129 <= upto bis  130 = Equal ist
//   131 <> >< # Not_Equal ungleich  132 >= From Ab  133 > Greater Größer
//   134 | Has Hat Enthält  135 ? Like wie  136 similar Ähnlich  138 in
//   153 Mod  154 Div  253 :=
//   Layout words: 73 HL, 74 VL, 75 EVL, 76 VX, 88 C_Form, 89 L_Form ("L n"),
//   90 R_Form ("R n"), 71 "S" directly behind the ")" of tokens 216-225
//   References
//   68           tkTable           u8 table                     table name
//   72           tkFontRef         u16 font number              @name (job fonts)
//   181          tkObjectVar       u16 variable                 object variable before ".member"
//   185          tkField           u8 table, u16 field          field
//   254          tkFieldChain      u8 n, (n+1) x (u8, u16)      field reached over links
//   251          tkArrayVar        u16 variable, u8 dimensions  array variable
//   255          tkVar             u16 variable                 variable, {...}, accumulators
//   226          tkProcCall        u16 procedure (0: Default)   procedure of the program
//   Calls
//   200..209     tkSysFunc         u8 function number           system function of that group
//   220          tkStarFunc        u8 code                      GETSTARS ISSTAR PUTSTARS STARNUM
//   230          tkHostCommand     u16 id, u8 count, text sig.  registered host command
//   231, 232     tkUserFunc        u16 index                    function lists
//   182 / 183    tkHostFunc/Proc   u16 id                       host member with / without value
//   184          tkHostObject      u16 (1000)                   implicit host object
//   Nested constructs (argument compiled as its own code string)
//   210 Print, 248 Fields         code
//   211 Alles                     none
//   213 Choice                    u8 n, n bytes of text, nested code bytes (no length), 0
//   215 NLoop                     250, code, 0
//   216 Sel 217 Link 218 Exists 219 LinkCount 225 LinkSum
//                                 set, code, optional 71
//   247 ExecMacro                 40, 65 text (module), nested code bytes (no length), 41
//   91 after 138 (in [...])       code
//   Marker
//   252          tkSkip            u8 n                         length of the next AND/OR operand
//   Accumulators 240..246 (Sum Max Min Count Mean ZSum ZCount) never stay in
//   code: they become 255 and a hidden variable.
//
// Variable indices above 32768 (bit 15) are relative to the frame base of the
// running procedure.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/base/bytes.h"
#include "engine/base/shortstr.h"

namespace ByteCode {

// The code of one line never reaches this many bytes.
inline constexpr size_t kCodeLimit = 250;

enum Token : uint8_t {
  tkBang = 33,
  tkOpen = 40,
  tkClose = 41,
  tkMul = 42,
  tkPlus = 43,
  tkAnd = 44,
  tkMinus = 45,
  tkDot = 46,
  tkSlash = 47,
  tkColon = 58,
  tkSemicolon = 59,
  tkRealConst = 64,
  tkStringConst = 65,
  tkWordConst = 66,
  tkByteConst = 67,
  tkTable = 68,
  tkFormatF = 70,
  tkSumSuffix = 71,
  tkFontRef = 72,
  tkHL = 73,
  tkVL = 74,
  tkEVL = 75,
  tkVX = 76,
  tkCForm = 88,
  tkLForm = 89,
  tkRForm = 90,
  tkBracket = 91,
  tkOr = 92,
  tkBracketClose = 93,
  tkUnderscore = 95,
  tkBraceOpen = 123,
  tkBraceClose = 125,
  tkNot = 126,
  tkVon = 127,
  tkLess = 128,
  tkLessEqual = 129,
  tkEqual = 130,
  tkNotEqual = 131,
  tkGreaterEqual = 132,
  tkGreater = 133,
  tkHas = 134,
  tkLike = 135,
  tkSimilar = 136,
  tkIn = 138,
  tkMod = 153,
  tkIntDiv = 154,
  tkObjectVar = 181,
  tkHostFunc = 182,
  tkHostProc = 183,
  tkHostObject = 184,
  tkField = 185,
  tkSysFuncFirst = 200,
  tkSysFuncLast = 209,
  tkPrint = 210,
  tkAlles = 211,
  tkChoice = 213,
  tkChoiceRun = 214,
  tkNLoop = 215,
  tkSel = 216,
  tkLink = 217,
  tkExists = 218,
  tkLinkCount = 219,
  tkStarFunc = 220,
  tkLinkSum = 225,
  tkProcCall = 226,
  tkHostCommand = 230,
  tkUserFunc = 231,
  tkExtFunc = 232,
  tkSum = 240,
  tkMax = 241,
  tkMin = 242,
  tkCount = 243,
  tkMean = 244,
  tkZSum = 245,
  tkZCount = 246,
  tkExecMacro = 247,
  tkFields = 248,
  tkNLoopBody = 250,
  tkArrayVar = 251,
  tkSkip = 252,
  tkAssign = 253,
  tkFieldChain = 254,
  tkVar = 255,
};

// The implicit host object's operand.
inline constexpr uint16_t kHostObjectId = 1000;
// Bit of a variable index that makes it relative to the frame base.
inline constexpr uint16_t kLocalVarBit = 0x8000;

inline bool IsSysFuncGroup(uint8_t t) { return t >= tkSysFuncFirst && t <= tkSysFuncLast; }
// Tokens followed by a table set and a nested code: Sel .. LinkSum.
inline bool IsLinkedAggregate(uint8_t t) { return t >= tkSel && t <= tkLinkSum; }
inline bool IsAccumulator(uint8_t t) { return t >= tkSum && t <= tkZCount; }

// Appends operands to a code string under construction (a ShortStr whose
// bytes are the code). Every append stops at 255 bytes; the compiler's limit
// test runs before the string could get there.
inline void PutByte(ShortStr& code, uint8_t b) { code.append(char(b)); }
inline void PutWord(ShortStr& code, uint16_t w) {
  PutByte(code, uint8_t(w));
  PutByte(code, uint8_t(w >> 8));
}
inline void PutSet(ShortStr& code, uint64_t set) {
  uint8_t b[8];
  bytes::PutU64(b, set);
  code.append(std::string_view(reinterpret_cast<char*>(b), 8));
}
inline void PutReal(ShortStr& code, double v) {
  uint8_t b[8];
  bytes::PutF64(b, v);
  code.append(std::string_view(reinterpret_cast<char*>(b), 8));
}
// A length byte and the text.
inline void PutText(ShortStr& code, std::string_view text) {
  PutByte(code, uint8_t(text.size()));
  code.append(text);
}
// A whole number as 67 n (below 256) or 66 n.
inline void PutWholeNumber(ShortStr& code, uint16_t n) {
  if (n < 256) {
    PutByte(code, tkByteConst);
    PutByte(code, uint8_t(n));
  } else {
    PutByte(code, tkWordConst);
    PutWord(code, n);
  }
}

// Bounds-checked reading of a code string: every read past the end answers
// false and leaves the reader at the end, so a damaged code is never read
// behind its length.
class CodeReader {
 public:
  explicit CodeReader(std::string_view code, size_t position = 0) : code_(code), pos_(position) {}
  size_t position() const { return pos_; }
  bool atEnd() const { return pos_ >= code_.size(); }
  size_t remaining() const { return atEnd() ? 0 : code_.size() - pos_; }
  bool byte(uint8_t& b) {
    if (remaining() < 1) return fail();
    b = uint8_t(code_[pos_++]);
    return true;
  }
  bool word(uint16_t& w) {
    if (remaining() < 2) return fail();
    w = bytes::GetU16(ptr());
    pos_ += 2;
    return true;
  }
  bool set(uint64_t& s) {
    if (remaining() < 8) return fail();
    s = bytes::GetU64(ptr());
    pos_ += 8;
    return true;
  }
  bool real(double& v) {
    if (remaining() < 8) return fail();
    v = bytes::GetF64(ptr());
    pos_ += 8;
    return true;
  }
  // A length byte and that many bytes.
  bool text(std::string_view& t) {
    uint8_t n = 0;
    if (!byte(n)) return false;
    if (remaining() < n) return fail();
    t = code_.substr(pos_, n);
    pos_ += n;
    return true;
  }
  bool skip(size_t n) {
    if (remaining() < n) return fail();
    pos_ += n;
    return true;
  }

 private:
  const uint8_t* ptr() const { return reinterpret_cast<const uint8_t*>(code_.data()) + pos_; }
  bool fail() {
    pos_ = code_.size();
    return false;
  }
  std::string_view code_;
  size_t pos_;
};

}  // namespace ByteCode
