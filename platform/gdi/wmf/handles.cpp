// Metafile handles: metafile bytes held under ids that are never reused, as
// the clipboard's CF_METAFILEPICT blocks and the picture objects pass them.
#include <map>
#include <memory>

#include "platform/clipboard.h"
#include "platform/gdi/wmf/metafile.h"

namespace win::wmf {

namespace {

struct Table {
  uint32_t next = 1;
  std::map<HMETAFILE, std::vector<uint8_t>> files;
};

Table& Handles() {
  static Table table;
  static const bool deleter = [] {
    // The clipboard frees the metafile of a CF_METAFILEPICT block it drops.
    platform::SetClipboardObjectDeleter([](uint32_t format, uint32_t object) {
      if (format == CF_METAFILEPICT) DeleteMetaFile(object);
    });
    return true;
  }();
  (void)deleter;
  return table;
}

}  // namespace

HMETAFILE SetMetaFileBitsEx(std::span<const uint8_t> bytes) {
  const auto size = MetaFileSize(bytes);
  if (!size || *size > bytes.size()) return 0;
  Table& t = Handles();
  t.files.emplace(t.next, std::vector<uint8_t>(bytes.begin(), bytes.begin() + std::ptrdiff_t(*size)));
  return t.next++;
}

const std::vector<uint8_t>* GetMetaFileBits(HMETAFILE handle) {
  Table& t = Handles();
  const auto it = t.files.find(handle);
  return it == t.files.end() ? nullptr : &it->second;
}

HMETAFILE CopyMetaFile(HMETAFILE handle) {
  const auto* bytes = GetMetaFileBits(handle);
  return bytes ? SetMetaFileBitsEx(*bytes) : 0;
}

bool DeleteMetaFile(HMETAFILE handle) { return Handles().files.erase(handle) == 1; }

bool PlayMetaFile(Dc& dc, HMETAFILE handle) {
  const auto* bytes = GetMetaFileBits(handle);
  return bytes && PlayMetaFile(dc, *bytes);
}

}  // namespace win::wmf
