// Feeds arbitrary text to the .qrc reader: it must answer resources or an
// error and never read outside its input; what it compiles must decode again.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "platform/resources/qrc/reader.h"
#include "platform/resources/resources.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  // Pictures named by the script come out of nowhere: one valid of each kind.
  auto load = [](const std::string& path, std::string& bytes) {
    if (path.find("png") != std::string::npos) bytes = std::string("\x89PNG\r\n\x1a\n", 8) + "data";
    else bytes = "BM" + std::string(52, '\0');
    return path.find("missing") == std::string::npos;
  };
  qrc::Compiler compiler;
  try {
    compiler.AddScript(text, "fuzz.qrc", load);
  } catch (const qrc::Error&) {
    return 0;
  }
  for (const qrc::Resource& r : compiler.Resources()) {
    bool ok = true;
    if (r.typeNumber == platform::RT_DIALOG) {
      platform::DialogTemplate d;
      ok = platform::DecodeDialog(r.bytes, d);
    } else if (r.typeNumber == platform::RT_MENU) {
      std::vector<platform::MenuItem> items;
      ok = platform::DecodeMenu(r.bytes, items);
    } else if (r.typeNumber == platform::RT_ACCELERATOR) {
      std::vector<platform::Accel> table;
      ok = platform::DecodeAccelerators(r.bytes, table);
    } else if (r.typeName == platform::kToolbarType) {
      std::vector<platform::ToolbarEntry> entries;
      ok = platform::DecodeToolbar(r.bytes, entries);
    } else if (r.typeName == platform::kObjectMenuType) {
      std::vector<platform::ObjectMenuEntry> entries;
      ok = platform::DecodeObjectMenu(r.bytes, entries);
    }
    if (!ok) __builtin_trap();
  }
  qrc::GenerateSource(compiler.Resources());
  return 0;
}
