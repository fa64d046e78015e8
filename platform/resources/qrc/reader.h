// The reader of .qrc resource scripts, the heart of the qrc compiler.
//
// A script is UTF-8 text; every text in it must be representable in
// Windows-1252, which is what the resources hold. Comments run from "#" to the
// end of the line. Ids are numbers 1..65535 or names.
//
//   strings
//     50300 "Texteditor - "
//   end
//   dialog 11702 font "Helv" 8 at 0 0 167 52 style popup modalframe
//     title "Caption"                       (optional)
//     static 200 "Eingabeaufforderung" 7 5 153 8
//     edit   201 "" 7 16 153 12 style autohscroll border tabstop
//     button   1 "&Ok" 58 34 50 14 style defpushbutton tabstop
//     control "kxRuler" 300 "" 0 0 10 10    (any other class)
//   end
//   menu 100 { popup "&Datei" { item "&Öffnen...\tStrg+O" 24001; separator } }
//   accelerators 100 { "O" 24001 virtkey control; 112 12014 virtkey }
//   kxtoolbar 22014 { 23036 12002 0; separator 8; 23000 12013 0 }
//   objectmenu 11900 { "&Ausschneiden" 24322; -; "Text ein&lesen" 24332 }
//   bitmap 8000 "pictures/ok.bmp"           (a BMP file; stored as packed DIB)
//   icon PVW_ICON "pictures/preview.png"    (a PNG file)
//
// Dialog items are children (WS_CHILD | WS_VISIBLE) unless "style" says
// otherwise; style words are looked up per class, numbers are taken as bits;
// the word "hidden" takes WS_VISIBLE away from an item.
// A resource whose type and id another resource of the same compilation has
// already taken is an error: the build fails.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace qrc {

struct Error : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct Resource {
  uint32_t typeNumber = 0;
  std::string typeName;  // when typeNumber is 0
  uint32_t idNumber = 0;
  std::string idName;    // when idNumber is 0
  std::string bytes;
  std::string origin;    // "file:line", for messages
};

// Reads a file that a script names (bitmaps, icons); false when it cannot.
using FileLoader = std::function<bool(const std::string& path, std::string& bytes)>;

class Compiler {
 public:
  // Adds the resources of one script; throws Error ("file:line: what").
  void AddScript(std::string_view text, const std::string& fileName, const FileLoader& load);
  const std::vector<Resource>& Resources() const { return resources_; }

 private:
  void Add(Resource resource);
  std::vector<Resource> resources_;
};

// The C++ source that registers the resources with the program.
std::string GenerateSource(const std::vector<Resource>& resources);

}  // namespace qrc
