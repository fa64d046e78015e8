#include "platform/resources/qrc/reader.h"

#include <cctype>
#include <cstdio>
#include <map>
#include <utility>

#include "platform/codepage.h"
#include "platform/files_internal.h"
#include "platform/resources/resources.h"

namespace qrc {

namespace {

using platform::DialogItem;
using platform::DialogTemplate;
using platform::MenuItem;

enum class Kind { End, Word, Number, String, Punct };

struct Token {
  Kind kind = Kind::End;
  std::string text;  // word, cp1252 string, or the punctuation character
  int64_t number = 0;
  int line = 0;
};

constexpr int kMaxMenuDepth = 16;

// ---- style words ----

using StyleTable = std::map<std::string, uint32_t>;

const StyleTable kWindowStyles = {
    {"popup", 0x80000000}, {"child", 0x40000000},   {"visible", 0x10000000}, {"disabled", 0x08000000},
    {"caption", 0x00C00000}, {"border", 0x00800000}, {"dlgframe", 0x00400000}, {"vscroll", 0x00200000},
    {"hscroll", 0x00100000}, {"sysmenu", 0x00080000}, {"thickframe", 0x00040000}, {"group", 0x00020000},
    {"tabstop", 0x00010000}};
const StyleTable kDialogStyles = {{"3dlook", 0x4}, {"setfont", 0x40}, {"modalframe", 0x80}, {"center", 0x800}};
const StyleTable kEditStyles = {{"left", 0x0},          {"center", 0x1},     {"right", 0x2},       {"multiline", 0x4},
                                {"uppercase", 0x8},     {"lowercase", 0x10}, {"password", 0x20},   {"autovscroll", 0x40},
                                {"autohscroll", 0x80},  {"nohidesel", 0x100}, {"readonly", 0x800}, {"wantreturn", 0x1000},
                                {"number", 0x2000}};
const StyleTable kButtonStyles = {{"pushbutton", 0x0},  {"defpushbutton", 0x1}, {"checkbox", 0x2},
                                  {"autocheckbox", 0x3}, {"radiobutton", 0x4},  {"3state", 0x5},
                                  {"auto3state", 0x6},  {"groupbox", 0x7},      {"autoradiobutton", 0x9},
                                  {"ownerdraw", 0xB},   {"lefttext", 0x20},     {"bitmap", 0x80},
                                  {"multiline", 0x2000}, {"notify", 0x4000},    {"flat", 0x8000}};
const StyleTable kStaticStyles = {{"left", 0x0},        {"center", 0x1},       {"right", 0x2},       {"icon", 0x3},
                                  {"blackrect", 0x4},   {"grayrect", 0x5},     {"whiterect", 0x6},   {"blackframe", 0x7},
                                  {"grayframe", 0x8},   {"whiteframe", 0x9},   {"simple", 0xB},      {"ownerdraw", 0xD},
                                  {"bitmap", 0xE},      {"etchedhorz", 0x10},  {"etchedvert", 0x11}, {"etchedframe", 0x12},
                                  {"noprefix", 0x80},   {"notify", 0x100},     {"sunken", 0x1000}};
const StyleTable kListBoxStyles = {{"notify", 0x1},          {"sort", 0x2},           {"noredraw", 0x4},
                                   {"multiplesel", 0x8},     {"ownerdrawfixed", 0x10}, {"ownerdrawvariable", 0x20},
                                   {"hasstrings", 0x40},     {"usetabstops", 0x80},   {"nointegralheight", 0x100},
                                   {"multicolumn", 0x200},   {"extendedsel", 0x800},  {"disablenoscroll", 0x1000}};
const StyleTable kComboStyles = {{"simple", 0x1},           {"dropdown", 0x2},         {"dropdownlist", 0x3},
                                 {"ownerdrawfixed", 0x10},  {"ownerdrawvariable", 0x20}, {"autohscroll", 0x40},
                                 {"sort", 0x100},           {"hasstrings", 0x200},     {"nointegralheight", 0x400},
                                 {"disablenoscroll", 0x800}};
const StyleTable kScrollStyles = {{"horz", 0x0}, {"vert", 0x1}};
const StyleTable kNoStyles = {};

struct ItemClass {
  const char* word;
  const char* className;
  const StyleTable* styles;
};
const ItemClass kItemClasses[] = {{"static", "Static", &kStaticStyles},    {"edit", "Edit", &kEditStyles},
                                  {"button", "Button", &kButtonStyles},    {"listbox", "ListBox", &kListBoxStyles},
                                  {"combobox", "ComboBox", &kComboStyles}, {"scrollbar", "ScrollBar", &kScrollStyles}};

constexpr uint32_t kVisible = 0x10000000;
constexpr uint32_t kChildVisible = 0x40000000 | kVisible;
constexpr uint32_t kDsSetFont = 0x40;

class Parser {
 public:
  Parser(std::string_view text, const std::string& file, const FileLoader& load,
         std::function<void(Resource)> add)
      : text_(text), file_(file), load_(load), add_(std::move(add)) {}

  void Run() {
    Next();
    while (tok_.kind != Kind::End) Resource();
  }

 private:
  // ---- errors ----
  [[noreturn]] void Fail(const std::string& what, int line = 0) const {
    throw Error(file_ + ":" + std::to_string(line ? line : tok_.line) + ": " + what);
  }

  // ---- lexer ----
  void Next() {
    SkipBlanks();
    tok_ = Token{};
    tok_.line = line_;
    if (pos_ >= text_.size()) return;
    char c = text_[pos_];
    if (c == '"') return String();
    bool negative = c == '-' && pos_ + 1 < text_.size() && std::isdigit(uint8_t(text_[pos_ + 1]));
    if (std::isdigit(uint8_t(c)) || negative) return Number();
    if (std::isalpha(uint8_t(c)) || c == '_') {
      size_t start = pos_;
      while (pos_ < text_.size() && (std::isalnum(uint8_t(text_[pos_])) || text_[pos_] == '_')) ++pos_;
      tok_.kind = Kind::Word;
      tok_.text = std::string(text_.substr(start, pos_ - start));
      return;
    }
    if (c == '{' || c == '}' || c == ';' || c == '-') {
      ++pos_;
      tok_.kind = Kind::Punct;
      tok_.text = std::string(1, c);
      return;
    }
    Fail(std::string("unexpected character '") + c + "'", line_);
  }

  void SkipBlanks() {
    while (pos_ < text_.size()) {
      char c = text_[pos_];
      if (c == '\n') ++line_;
      if (c == '#') {
        while (pos_ < text_.size() && text_[pos_] != '\n') ++pos_;
        continue;
      }
      if (c != ' ' && c != '\t' && c != '\r' && c != '\n') return;
      ++pos_;
    }
  }

  void Number() {
    size_t start = pos_;
    bool negative = text_[pos_] == '-';
    if (negative) ++pos_;
    int base = 10;
    if (text_.substr(pos_, 2) == "0x" || text_.substr(pos_, 2) == "0X") {
      base = 16;
      pos_ += 2;
    }
    int64_t value = 0;
    size_t digits = 0;
    while (pos_ < text_.size() && std::isxdigit(uint8_t(text_[pos_]))) {
      char d = text_[pos_];
      int v = std::isdigit(uint8_t(d)) ? d - '0' : (std::tolower(d) - 'a' + 10);
      if (v >= base) break;
      value = value * base + v;
      if (value > 0xFFFFFFFFLL) Fail("number too large", line_);
      ++pos_;
      ++digits;
    }
    if (digits == 0) Fail("bad number '" + std::string(text_.substr(start, pos_ - start + 1)) + "'", line_);
    tok_.kind = Kind::Number;
    tok_.number = negative ? -value : value;
  }

  void String() {
    ++pos_;
    std::string utf8;
    for (;;) {
      if (pos_ >= text_.size() || text_[pos_] == '\n') Fail("unterminated string", line_);
      char c = text_[pos_++];
      if (c == '"') break;
      if (c == '\\') {
        if (pos_ >= text_.size()) Fail("unterminated string", line_);
        char e = text_[pos_++];
        switch (e) {
          case 't': c = '\t'; break;
          case 'n': c = '\n'; break;
          case 'r': c = '\r'; break;
          case '\\': c = '\\'; break;
          case '"': c = '"'; break;
          default: Fail(std::string("unknown escape \\") + e, line_);
        }
      }
      utf8 += c;
    }
    std::string cp1252 = platform::Utf8ToCp1252(utf8);
    if (platform::Cp1252ToUtf8(cp1252) != utf8) Fail("text not representable in Windows-1252: \"" + utf8 + "\"", line_);
    if (cp1252.find('\0') != std::string::npos) Fail("text holds a zero byte", line_);
    tok_.kind = Kind::String;
    tok_.text = cp1252;
  }

  // ---- parsing helpers ----
  bool IsWord(const char* w) const { return tok_.kind == Kind::Word && tok_.text == w; }
  bool IsPunct(char c) const { return tok_.kind == Kind::Punct && tok_.text[0] == c; }

  void Expect(char c) {
    if (!IsPunct(c)) Fail(std::string("expected '") + c + "'");
    Next();
  }
  void ExpectWord(const char* w) {
    if (!IsWord(w)) Fail(std::string("expected '") + w + "'");
    Next();
  }
  int64_t NumberIn(int64_t low, int64_t high, const char* what) {
    if (tok_.kind != Kind::Number) Fail(std::string("expected ") + what);
    int64_t v = tok_.number;
    if (v < low || v > high) Fail(std::string(what) + " out of range: " + std::to_string(v));
    Next();
    return v;
  }
  uint16_t U16(const char* what) { return uint16_t(NumberIn(0, 0xFFFF, what)); }
  int16_t Coord() { return int16_t(NumberIn(-32768, 32767, "coordinate")); }
  std::string Text() {
    if (tok_.kind != Kind::String) Fail("expected a text in quotes");
    std::string s = tok_.text;
    Next();
    return s;
  }
  void SkipSemicolons() {
    while (IsPunct(';')) Next();
  }

  // An id: a number 1..65535 or a name (word or text).
  void Id(Resource& r) {
    if (tok_.kind == Kind::Number) {
      r.idNumber = uint32_t(NumberIn(1, 0xFFFF, "resource id"));
      return;
    }
    if (tok_.kind != Kind::Word && tok_.kind != Kind::String) Fail("expected a resource id");
    if (tok_.text.empty()) Fail("empty resource name");
    r.idName = tok_.text;
    Next();
  }

  // The style words of a line; "hidden" (controls only, when `hidden` is
  // given) sets *hidden instead of a bit.
  uint32_t Styles(int line, const StyleTable& own, bool* hidden = nullptr) {
    uint32_t style = 0;
    while (tok_.line == line && (tok_.kind == Kind::Word || tok_.kind == Kind::Number)) {
      if (tok_.kind == Kind::Number) {
        style |= uint32_t(NumberIn(0, 0xFFFFFFFFLL, "style"));
        continue;
      }
      if (hidden && tok_.text == "hidden") {
        *hidden = true;
        Next();
        continue;
      }
      auto it = own.find(tok_.text);
      if (it == own.end()) it = kWindowStyles.find(tok_.text);
      if (it == kWindowStyles.end()) Fail("unknown style '" + tok_.text + "'");
      style |= it->second;
      Next();
    }
    return style;
  }

  // ---- resources ----
  void Resource() {
    if (tok_.kind != Kind::Word) Fail("expected a resource kind");
    std::string kind = tok_.text;
    int line = tok_.line;
    Next();
    if (kind == "strings") return Strings();
    qrc::Resource r;
    r.origin = file_ + ":" + std::to_string(line);
    Id(r);
    if (kind == "dialog") Dialog(r);
    else if (kind == "menu") Menu(r);
    else if (kind == "accelerators") Accelerators(r);
    else if (kind == "kxtoolbar") Toolbar(r);
    else if (kind == "objectmenu") ObjectMenu(r);
    else if (kind == "bitmap") Bitmap(r);
    else if (kind == "icon") Icon(r);
    else Fail("unknown resource kind '" + kind + "'", line);
    add_(std::move(r));
  }

  void Strings() {
    while (!IsWord("end")) {
      if (tok_.kind == Kind::End) Fail("strings without end");
      qrc::Resource r;
      r.origin = file_ + ":" + std::to_string(tok_.line);
      r.typeNumber = platform::RT_STRING;
      r.idNumber = uint32_t(NumberIn(0, 0xFFFF, "string id"));
      r.bytes = Text();
      add_(std::move(r));
    }
    Next();
  }

  void Dialog(qrc::Resource& r) {
    r.typeNumber = platform::RT_DIALOG;
    DialogTemplate d;
    if (IsWord("font")) {
      Next();
      d.font = Text();
      d.pointSize = U16("point size");
      d.style |= kDsSetFont;
    }
    ExpectWord("at");
    d.x = Coord();
    d.y = Coord();
    d.cx = Coord();
    d.cy = Coord();
    if (IsWord("style")) {
      int styleLine = tok_.line;
      Next();
      d.style |= Styles(styleLine, kDialogStyles);
    }
    if (IsWord("title")) {
      Next();
      d.caption = Text();
    }
    while (!IsWord("end")) {
      if (tok_.kind != Kind::Word) Fail("expected a control or 'end'");
      DialogItem item;
      const StyleTable* styles = &kNoStyles;
      int itemLine = tok_.line;
      if (IsWord("control")) {
        Next();
        item.className = Text();
      } else {
        const ItemClass* found = nullptr;
        for (const ItemClass& c : kItemClasses)
          if (tok_.text == c.word) found = &c;
        if (!found) Fail("unknown control '" + tok_.text + "'");
        item.className = found->className;
        styles = found->styles;
        Next();
      }
      item.id = U16("control id");
      item.text = Text();
      item.x = Coord();
      item.y = Coord();
      item.cx = Coord();
      item.cy = Coord();
      item.style = kChildVisible;
      if (IsWord("style") && tok_.line == itemLine) {
        Next();
        bool hidden = false;
        item.style |= Styles(itemLine, *styles, &hidden);
        if (hidden) item.style &= ~kVisible;
      }
      d.items.push_back(std::move(item));
    }
    Next();
    r.bytes = platform::EncodeDialog(d);
  }

  void MenuItems(std::vector<MenuItem>& items, int depth) {
    if (depth > kMaxMenuDepth) Fail("menu nested too deeply");
    Expect('{');
    for (SkipSemicolons(); !IsPunct('}'); SkipSemicolons()) {
      MenuItem item;
      if (IsWord("separator")) {
        Next();
        item.flags = platform::MF_SEPARATOR;
      } else if (IsWord("popup")) {
        Next();
        item.flags = platform::MF_POPUP;
        item.text = Text();
        MenuItems(item.items, depth + 1);
      } else if (IsWord("item")) {
        Next();
        item.text = Text();
        item.id = U16("command id");
        for (;;) {
          if (IsWord("grayed")) item.flags |= platform::MF_GRAYED;
          else if (IsWord("checked")) item.flags |= platform::MF_CHECKED;
          else break;
          Next();
        }
      } else {
        Fail("expected 'item', 'popup', 'separator' or '}'");
      }
      items.push_back(std::move(item));
    }
    Next();
  }

  void Menu(qrc::Resource& r) {
    r.typeNumber = platform::RT_MENU;
    std::vector<MenuItem> items;
    MenuItems(items, 0);
    r.bytes = platform::EncodeMenu(items);
  }

  void Accelerators(qrc::Resource& r) {
    r.typeNumber = platform::RT_ACCELERATOR;
    std::vector<platform::Accel> table;
    Expect('{');
    for (SkipSemicolons(); !IsPunct('}'); SkipSemicolons()) {
      platform::Accel a;
      if (tok_.kind == Kind::String) {
        std::string key = Text();
        if (key.size() != 1) Fail("an accelerator key text is one character");
        a.key = uint8_t(key[0]);
      } else {
        a.key = U16("key");
      }
      a.command = U16("command id");
      for (;;) {
        if (IsWord("virtkey")) a.flags |= platform::FVIRTKEY;
        else if (IsWord("shift")) a.flags |= platform::FSHIFT;
        else if (IsWord("control")) a.flags |= platform::FCONTROL;
        else if (IsWord("alt")) a.flags |= platform::FALT;
        else break;
        Next();
      }
      table.push_back(a);
    }
    Next();
    if (table.empty()) Fail("an accelerator table needs an entry");
    r.bytes = platform::EncodeAccelerators(table);
  }

  void Toolbar(qrc::Resource& r) {
    r.typeName = platform::kToolbarType;
    std::vector<platform::ToolbarEntry> entries;
    Expect('{');
    for (SkipSemicolons(); !IsPunct('}'); SkipSemicolons()) {
      platform::ToolbarEntry e;
      if (IsWord("separator")) {
        Next();
        if (tok_.kind == Kind::Number) e.command = U16("separator word");
      } else {
        e.bitmap = uint16_t(NumberIn(1, 0xFFFF, "bitmap id"));
        e.command = U16("command id");
        e.flags = uint16_t(NumberIn(0, 1, "flags"));
      }
      entries.push_back(e);
      if (entries.size() > 0xFFFF) Fail("too many tool-bar entries");
    }
    Next();
    r.bytes = platform::EncodeToolbar(entries);
  }

  void ObjectMenu(qrc::Resource& r) {
    r.typeName = platform::kObjectMenuType;
    std::vector<platform::ObjectMenuEntry> entries;
    Expect('{');
    for (SkipSemicolons(); !IsPunct('}'); SkipSemicolons()) {
      platform::ObjectMenuEntry e;
      if (IsPunct('-')) {
        Next();
        e.separator = true;
      } else {
        e.text = Text();
        if (e.text.empty() || e.text == "-") Fail("an object-menu item needs a text other than \"-\"");
        e.command = U16("command id");
      }
      entries.push_back(std::move(e));
    }
    Next();
    r.bytes = platform::EncodeObjectMenu(entries);
  }

  std::string File(const char* what) {
    int line = tok_.line;
    std::string name = Text();
    std::string path = name;
    if (!name.empty() && name[0] != '/') {
      size_t slash = file_.find_last_of('/');
      if (slash != std::string::npos) path = file_.substr(0, slash + 1) + name;
    }
    std::string bytes;
    if (!load_ || !load_(path, bytes)) Fail(std::string("cannot read ") + what + " " + path, line);
    return bytes;
  }

  void Bitmap(qrc::Resource& r) {
    constexpr size_t kFileHeader = 14, kInfoHeader = 40;
    r.typeNumber = platform::RT_BITMAP;
    int line = tok_.line;
    std::string bmp = File("bitmap");
    if (bmp.size() < kFileHeader + kInfoHeader || bmp[0] != 'B' || bmp[1] != 'M') Fail("not a BMP file", line);
    r.bytes = bmp.substr(kFileHeader);
  }

  void Icon(qrc::Resource& r) {
    static const char kPng[] = "\x89PNG\r\n\x1a\n";
    r.typeNumber = platform::RT_ICON;
    int line = tok_.line;
    std::string png = File("icon");
    if (png.compare(0, 8, kPng, 8) != 0) Fail("not a PNG file", line);
    r.bytes = png;
  }

  std::string_view text_;
  std::string file_;
  const FileLoader& load_;
  std::function<void(qrc::Resource)> add_;
  size_t pos_ = 0;
  int line_ = 1;
  Token tok_;
};

std::string Escaped(const std::string& s) {
  std::string out = "\"";
  for (char ch : s) {
    uint8_t c = uint8_t(ch);
    if (c == '"' || c == '\\' || c < 0x20 || c >= 0x7F) {
      char oct[8];
      std::snprintf(oct, sizeof oct, "\\%03o", c);
      out += oct;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string Describe(const Resource& r) {
  std::string type = r.typeNumber ? std::to_string(r.typeNumber) : r.typeName;
  std::string id = r.idNumber ? std::to_string(r.idNumber) : r.idName;
  return "type " + type + " id " + id;
}

}  // namespace

void Compiler::Add(Resource resource) {
  for (const Resource& r : resources_) {
    bool sameType = r.typeNumber == resource.typeNumber &&
                    platform::detail::SameNameIgnoringCase(r.typeName, resource.typeName);
    bool sameId = r.idNumber == resource.idNumber && platform::detail::SameNameIgnoringCase(r.idName, resource.idName);
    if (sameType && sameId)
      throw Error(resource.origin + ": duplicate resource (" + Describe(resource) + ", first at " + r.origin + ")");
  }
  resources_.push_back(std::move(resource));
}

void Compiler::AddScript(std::string_view text, const std::string& fileName, const FileLoader& load) {
  Parser parser(text, fileName, load, [this](Resource r) { Add(std::move(r)); });
  parser.Run();
}

std::string GenerateSource(const std::vector<Resource>& resources) {
  std::string out =
      "// Generated by qrc. Do not edit.\n"
      "#include <cstdint>\n\n"
      "#include \"platform/resources/resources.h\"\n\n"
      "namespace {\n\n";
  for (size_t i = 0; i < resources.size(); ++i) {
    out += "const uint8_t kData" + std::to_string(i) + "[] = {";
    const std::string& b = resources[i].bytes;
    for (size_t k = 0; k < b.size(); ++k) {
      if (k % 16 == 0) out += "\n   ";
      out += " " + std::to_string(uint8_t(b[k])) + ",";
    }
    if (b.empty()) out += "0";
    out += "};\n";
  }
  out += "\nconst platform::ResourceEntry kEntries[] = {\n";
  for (size_t i = 0; i < resources.size(); ++i) {
    const Resource& r = resources[i];
    out += "    {" + std::to_string(r.typeNumber) + ", " + (r.typeNumber ? "nullptr" : Escaped(r.typeName)) + ", " +
           std::to_string(r.idNumber) + ", " + (r.idNumber ? "nullptr" : Escaped(r.idName)) + ", kData" +
           std::to_string(i) + ", " + std::to_string(r.bytes.size()) + "},\n";
  }
  if (resources.empty()) out += "    {0, nullptr, 0, nullptr, nullptr, 0},\n";
  out += "};\n\nconst platform::ResourceTableRegistration kRegistration(kEntries, " +
         std::to_string(resources.size()) + ");\n\n}  // namespace\n";
  return out;
}

}  // namespace qrc
