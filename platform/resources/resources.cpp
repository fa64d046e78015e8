#include "platform/resources/resources.h"

#include <cstring>

#include "platform/files_internal.h"

namespace platform {

namespace {

std::vector<std::pair<const ResourceEntry*, size_t>>& Tables() {
  static std::vector<std::pair<const ResourceEntry*, size_t>> tables;
  return tables;
}

// ---- little-endian writing and bounded reading ----

void PutU16(std::string& out, uint32_t v) {
  out.push_back(char(v & 0xFF));
  out.push_back(char((v >> 8) & 0xFF));
}

void PutU32(std::string& out, uint32_t v) {
  PutU16(out, v & 0xFFFF);
  PutU16(out, v >> 16);
}

void PutStr(std::string& out, const std::string& s) {
  PutU16(out, uint32_t(s.size()));
  out += s;
}

class Reader {
 public:
  explicit Reader(std::string_view bytes) : bytes_(bytes) {}
  bool U8(uint8_t& v) {
    if (pos_ + 1 > bytes_.size()) return false;
    v = uint8_t(bytes_[pos_++]);
    return true;
  }
  bool U16(uint16_t& v) {
    uint8_t lo, hi;
    if (pos_ + 2 > bytes_.size() || !U8(lo) || !U8(hi)) return false;
    v = uint16_t(lo | hi << 8);
    return true;
  }
  bool I16(int16_t& v) {
    uint16_t u;
    if (!U16(u)) return false;
    v = int16_t(u);
    return true;
  }
  bool U32(uint32_t& v) {
    uint16_t lo, hi;
    if (pos_ + 4 > bytes_.size() || !U16(lo) || !U16(hi)) return false;
    v = uint32_t(lo) | uint32_t(hi) << 16;
    return true;
  }
  bool Str(std::string& s) {
    uint16_t n;
    if (!U16(n) || pos_ + n > bytes_.size()) return false;
    s.assign(bytes_.substr(pos_, n));
    pos_ += n;
    return true;
  }
  // A NUL-terminated text; false when the end comes first.
  bool CStr(std::string& s) {
    size_t end = bytes_.find('\0', pos_);
    if (end == std::string_view::npos) return false;
    s.assign(bytes_.substr(pos_, end - pos_));
    pos_ = end + 1;
    return true;
  }
  bool AtEnd() const { return pos_ >= bytes_.size(); }
  char Peek() const { return bytes_[pos_]; }
  size_t Left() const { return bytes_.size() - pos_; }

 private:
  std::string_view bytes_;
  size_t pos_ = 0;
};

constexpr int kMaxMenuDepth = 16;

bool DecodeMenuItems(Reader& r, std::vector<MenuItem>& items, int depth) {
  uint16_t count;
  if (depth > kMaxMenuDepth || !r.U16(count)) return false;
  for (uint16_t i = 0; i < count; ++i) {
    MenuItem item;
    if (!r.U16(item.flags) || !r.U16(item.id) || !r.Str(item.text)) return false;
    if ((item.flags & MF_POPUP) && !DecodeMenuItems(r, item.items, depth + 1)) return false;
    items.push_back(std::move(item));
  }
  return true;
}

void EncodeMenuItems(std::string& out, const std::vector<MenuItem>& items) {
  PutU16(out, uint32_t(items.size()));
  for (const MenuItem& item : items) {
    PutU16(out, item.flags);
    PutU16(out, item.id);
    PutStr(out, item.text);
    if (item.flags & MF_POPUP) EncodeMenuItems(out, item.items);
  }
}

bool FindAndDecode(const ResId& type, const ResId& id, auto decode) {
  std::string_view bytes;
  return FindResource(type, id, bytes) && decode(bytes);
}

}  // namespace

bool ResId::Matches(uint32_t n, const char* text) const {
  if (number != 0) return text == nullptr && n == number;
  return text != nullptr && detail::SameNameIgnoringCase(name, text);
}

void RegisterResourceTable(const ResourceEntry* entries, size_t count) { Tables().push_back({entries, count}); }

bool FindResource(const ResId& type, const ResId& id, std::string_view& bytes) {
  for (const auto& [entries, count] : Tables()) {
    for (size_t i = 0; i < count; ++i) {
      const ResourceEntry& e = entries[i];
      if (type.Matches(e.typeNumber, e.typeName) && id.Matches(e.idNumber, e.idName)) {
        bytes = std::string_view(reinterpret_cast<const char*>(e.data), e.size);
        return true;
      }
    }
  }
  return false;
}

int32_t LoadStringResource(uint32_t id, char* buffer, int32_t size) {
  if (!buffer || size <= 0) return 0;
  std::string_view text;
  if (!FindResource(RT_STRING, id, text)) text = {};
  size_t n = text.size() < size_t(size - 1) ? text.size() : size_t(size - 1);
  if (n) std::memcpy(buffer, text.data(), n);
  buffer[n] = 0;
  return int32_t(n);
}

std::string EncodeDialog(const DialogTemplate& d) {
  std::string out;
  PutU32(out, d.style);
  for (int16_t v : {d.x, d.y, d.cx, d.cy}) PutU16(out, uint16_t(v));
  PutU16(out, d.pointSize);
  PutStr(out, d.font);
  PutStr(out, d.caption);
  PutU16(out, uint32_t(d.items.size()));
  for (const DialogItem& item : d.items) {
    PutU32(out, item.style);
    for (int16_t v : {item.x, item.y, item.cx, item.cy}) PutU16(out, uint16_t(v));
    PutU16(out, item.id);
    PutStr(out, item.className);
    PutStr(out, item.text);
  }
  return out;
}

bool DecodeDialog(std::string_view bytes, DialogTemplate& d) {
  Reader r(bytes);
  d = DialogTemplate{};
  uint16_t count;
  if (!r.U32(d.style) || !r.I16(d.x) || !r.I16(d.y) || !r.I16(d.cx) || !r.I16(d.cy) || !r.U16(d.pointSize) ||
      !r.Str(d.font) || !r.Str(d.caption) || !r.U16(count))
    return false;
  for (uint16_t i = 0; i < count; ++i) {
    DialogItem item;
    if (!r.U32(item.style) || !r.I16(item.x) || !r.I16(item.y) || !r.I16(item.cx) || !r.I16(item.cy) ||
        !r.U16(item.id) || !r.Str(item.className) || !r.Str(item.text))
      return false;
    d.items.push_back(std::move(item));
  }
  return r.AtEnd();
}

std::string EncodeMenu(const std::vector<MenuItem>& items) {
  std::string out;
  EncodeMenuItems(out, items);
  return out;
}

bool DecodeMenu(std::string_view bytes, std::vector<MenuItem>& items) {
  Reader r(bytes);
  items.clear();
  return DecodeMenuItems(r, items, 0) && r.AtEnd();
}

bool LoadDialogTemplate(const ResId& id, DialogTemplate& dialog) {
  return FindAndDecode(RT_DIALOG, id, [&](std::string_view b) { return DecodeDialog(b, dialog); });
}

bool LoadMenuTemplate(const ResId& id, std::vector<MenuItem>& items) {
  return FindAndDecode(RT_MENU, id, [&](std::string_view b) { return DecodeMenu(b, items); });
}

std::string EncodeAccelerators(const std::vector<Accel>& table) {
  std::string out;
  for (size_t i = 0; i < table.size(); ++i) {
    out.push_back(char(table[i].flags | (i + 1 == table.size() ? kAccelLast : 0)));
    out.push_back(0);
    PutU16(out, table[i].key);
    PutU16(out, table[i].command);
  }
  return out;
}

bool DecodeAccelerators(std::string_view bytes, std::vector<Accel>& table) {
  Reader r(bytes);
  table.clear();
  while (!r.AtEnd()) {
    Accel a;
    uint8_t pad;
    if (!r.U8(a.flags) || !r.U8(pad) || !r.U16(a.key) || !r.U16(a.command)) return false;
    bool last = a.flags & kAccelLast;
    a.flags &= uint8_t(~kAccelLast);
    table.push_back(a);
    if (last) return r.AtEnd();
  }
  return false;  // no entry carried the end mark
}

std::string EncodeToolbar(const std::vector<ToolbarEntry>& entries) {
  std::string out;
  PutU16(out, uint32_t(entries.size()));
  for (const ToolbarEntry& e : entries) {
    PutU16(out, e.bitmap);
    PutU16(out, e.command);
    PutU16(out, e.flags);
  }
  return out;
}

bool DecodeToolbar(std::string_view bytes, std::vector<ToolbarEntry>& entries) {
  Reader r(bytes);
  entries.clear();
  uint16_t count;
  if (!r.U16(count) || r.Left() != size_t(count) * 6) return false;
  for (uint16_t i = 0; i < count; ++i) {
    ToolbarEntry e;
    r.U16(e.bitmap);
    r.U16(e.command);
    r.U16(e.flags);
    entries.push_back(e);
  }
  return true;
}

std::string EncodeObjectMenu(const std::vector<ObjectMenuEntry>& entries) {
  std::string out;
  for (const ObjectMenuEntry& e : entries) {
    if (e.separator) {
      out += '-';
      out += '\0';
      continue;
    }
    out += e.text;
    out += '\0';
    PutU16(out, e.command);
  }
  out += '\0';
  return out;
}

bool DecodeObjectMenu(std::string_view bytes, std::vector<ObjectMenuEntry>& entries) {
  Reader r(bytes);
  entries.clear();
  while (!r.AtEnd()) {
    if (r.Peek() == '\0') return true;
    ObjectMenuEntry e;
    if (!r.CStr(e.text)) return false;
    if (e.text == "-") {
      e.separator = true;
      e.text.clear();
    } else if (!r.U16(e.command)) {
      return false;
    }
    entries.push_back(std::move(e));
  }
  return false;  // no end mark
}

bool LoadAccelerators(const ResId& id, std::vector<Accel>& table) {
  return FindAndDecode(RT_ACCELERATOR, id, [&](std::string_view b) { return DecodeAccelerators(b, table); });
}

bool LoadToolbar(const ResId& id, std::vector<ToolbarEntry>& entries) {
  return FindAndDecode(kToolbarType, id, [&](std::string_view b) { return DecodeToolbar(b, entries); });
}

bool LoadObjectMenu(const ResId& id, std::vector<ObjectMenuEntry>& entries) {
  return FindAndDecode(kObjectMenuType, id, [&](std::string_view b) { return DecodeObjectMenu(b, entries); });
}

}  // namespace platform
