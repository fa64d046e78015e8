// Resources of the program: texts, dialogs, menus, accelerators, bitmaps,
// icons and the runtime's own types "KXTOOLBAR" and "OBJECTMENU", compiled at
// build time from .qrc files by the qrc compiler and looked up by type and id.
//
// Ids and types are a number below 0x10000 or a name that compares without
// regard to case (ResId). Each compiled table registers itself when the
// program starts; one program never holds the same (type, id) twice (the
// compiler refuses such a build).
//
// Byte layouts. "KXTOOLBAR", "OBJECTMENU" and accelerators are stored exactly
// as the code that reads them expects:
//
//   KXTOOLBAR    offset      size  field
//                0           2     entry count n
//                2 + 6i      2     bitmap id of entry i (0 = separator)
//                4 + 6i      2     command id (a separator's is unused)
//                6 + 6i      2     flags; bit 0 = repeats while held
//
//   OBJECTMENU   entries until a zero byte where the next would begin:
//                "-" NUL                    a separator (2 bytes)
//                text NUL, u16 command id   an item (text length + 3 bytes)
//
//   accelerator  6 bytes each: u8 flags (0x80 on the last), u8 0, u16 key,
//                u16 command
//
// Dialogs and menus are kept in a layout of this program's own (strings are a
// u16 length and cp1252 bytes) and come out as objects:
//
//   dialog       u32 style, i16 x, y, cx, cy, u16 point size, str font,
//                str caption, u16 item count, then per item:
//                u32 style, i16 x, y, cx, cy, u16 id, str class, str text
//   menu         u16 count, then per item: u16 flags, u16 id, str text, and
//                for a pop-up (MF_POPUP) its own item list
//
// Bitmaps are packed DIBs (no file header); icons are PNG files.
//
// Every parser here takes the resource's size as its bound: a count or a
// text that would run past the end is refused, never read.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

constexpr uint32_t RT_BITMAP = 2;
constexpr uint32_t RT_ICON = 3;
constexpr uint32_t RT_MENU = 4;
constexpr uint32_t RT_DIALOG = 5;
constexpr uint32_t RT_STRING = 6;
constexpr uint32_t RT_ACCELERATOR = 9;
constexpr const char* kToolbarType = "KXTOOLBAR";
constexpr const char* kObjectMenuType = "OBJECTMENU";

// A resource type or id: a number (below 0x10000) or a name.
struct ResId {
  uint32_t number = 0;
  std::string name;  // used when number is 0
  ResId() = default;
  ResId(uint32_t n) : number(n) {}
  ResId(const char* n) : name(n ? n : "") {}
  ResId(std::string n) : name(std::move(n)) {}
  bool Matches(uint32_t n, const char* text) const;
};

// One compiled resource, as the generated tables hold it.
struct ResourceEntry {
  uint32_t typeNumber;
  const char* typeName;  // null for a numbered type
  uint32_t idNumber;
  const char* idName;    // null for a numbered id
  const uint8_t* data;
  uint32_t size;
};

void RegisterResourceTable(const ResourceEntry* entries, size_t count);
struct ResourceTableRegistration {
  ResourceTableRegistration(const ResourceEntry* entries, size_t count) { RegisterResourceTable(entries, count); }
};

// The bytes of a resource; false when there is none.
bool FindResource(const ResId& type, const ResId& id, std::string_view& bytes);

// Loads string id into buffer (size bytes, NUL included); answers the count
// of characters copied, 0 when the string does not exist.
int32_t LoadStringResource(uint32_t id, char* buffer, int32_t size);

// ---- dialogs and menus ----

struct DialogItem {
  std::string className;  // "Button", "Edit", "Static", "ListBox", ... or a custom class
  uint16_t id = 0;
  std::string text;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  uint32_t style = 0;
  friend bool operator==(const DialogItem&, const DialogItem&) = default;
};

struct DialogTemplate {
  uint32_t style = 0;
  std::string font;
  uint16_t pointSize = 0;
  std::string caption;
  int16_t x = 0, y = 0, cx = 0, cy = 0;
  std::vector<DialogItem> items;
};

constexpr uint16_t MF_GRAYED = 0x0001;
constexpr uint16_t MF_CHECKED = 0x0008;
constexpr uint16_t MF_POPUP = 0x0010;
constexpr uint16_t MF_SEPARATOR = 0x0800;

struct MenuItem {
  uint16_t flags = 0;
  uint16_t id = 0;
  std::string text;
  std::vector<MenuItem> items;  // a pop-up's items
  friend bool operator==(const MenuItem&, const MenuItem&) = default;
};

std::string EncodeDialog(const DialogTemplate& dialog);
bool DecodeDialog(std::string_view bytes, DialogTemplate& dialog);
std::string EncodeMenu(const std::vector<MenuItem>& items);
bool DecodeMenu(std::string_view bytes, std::vector<MenuItem>& items);

bool LoadDialogTemplate(const ResId& id, DialogTemplate& dialog);
bool LoadMenuTemplate(const ResId& id, std::vector<MenuItem>& items);

// ---- accelerators, tool bars, object menus ----

constexpr uint8_t FVIRTKEY = 0x01;
constexpr uint8_t FSHIFT = 0x04;
constexpr uint8_t FCONTROL = 0x08;
constexpr uint8_t FALT = 0x10;
constexpr uint8_t kAccelLast = 0x80;

struct Accel {
  uint8_t flags = 0;  // without the end mark
  uint16_t key = 0;
  uint16_t command = 0;
  friend bool operator==(const Accel&, const Accel&) = default;
};

struct ToolbarEntry {
  uint16_t bitmap = 0;  // 0 = separator
  uint16_t command = 0;
  uint16_t flags = 0;
  friend bool operator==(const ToolbarEntry&, const ToolbarEntry&) = default;
};

struct ObjectMenuEntry {
  bool separator = false;
  std::string text;
  uint16_t command = 0;
  friend bool operator==(const ObjectMenuEntry&, const ObjectMenuEntry&) = default;
};

std::string EncodeAccelerators(const std::vector<Accel>& table);
bool DecodeAccelerators(std::string_view bytes, std::vector<Accel>& table);
std::string EncodeToolbar(const std::vector<ToolbarEntry>& entries);
// Refuses a resource whose size is not 2 + 6n for its count n.
bool DecodeToolbar(std::string_view bytes, std::vector<ToolbarEntry>& entries);
std::string EncodeObjectMenu(const std::vector<ObjectMenuEntry>& entries);
// Reads up to the end mark; an entry cut off by the end of the resource ends
// the list there (false).
bool DecodeObjectMenu(std::string_view bytes, std::vector<ObjectMenuEntry>& entries);

bool LoadAccelerators(const ResId& id, std::vector<Accel>& table);
bool LoadToolbar(const ResId& id, std::vector<ToolbarEntry>& entries);
bool LoadObjectMenu(const ResId& id, std::vector<ObjectMenuEntry>& entries);

}  // namespace platform
