#include "platform/print/printers.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

#include "platform/settings/profile.h"

namespace platform::print {

namespace {

std::string Folded(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = char(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::vector<Paper> StandardPapers() {
  return {{win::DMPAPER_LETTER, "Letter", 2159, 2794},
          {win::DMPAPER_LEGAL, "Legal", 2159, 3556},
          {win::DMPAPER_A3, "A3", 2970, 4200},
          {win::DMPAPER_A4, "A4", 2100, 2970},
          {win::DMPAPER_A5, "A5", 1480, 2100}};
}

bool OnPath(const char* program) {
  const char* path = std::getenv("PATH");
  if (!path) return false;
  std::string_view rest(path);
  while (!rest.empty()) {
    const size_t colon = rest.find(':');
    const std::string dir(rest.substr(0, colon));
    const std::string file = (dir.empty() ? "." : dir) + "/" + program;
    if (access(file.c_str(), X_OK) == 0) return true;
    if (colon == std::string_view::npos) break;
    rest.remove_prefix(colon + 1);
  }
  return false;
}

std::vector<Printer> CupsQueues() {
  std::vector<Printer> queues;
  if (!OnPath("lpstat")) return queues;
  FILE* pipe = popen("lpstat -e 2>/dev/null", "r");
  if (!pipe) return queues;
  char line[512];
  while (std::fgets(line, sizeof line, pipe)) {
    std::string name(line);
    while (!name.empty() && (name.back() == '\n' || name.back() == '\r' || name.back() == ' ')) name.pop_back();
    if (name.empty() || name.size() > 31) continue;
    Printer p;
    p.name = name;
    p.driver = "cups";
    p.port = name;
    p.kind = PrinterKind::kCups;
    p.papers = StandardPapers();
    queues.push_back(std::move(p));
  }
  pclose(pipe);
  return queues;
}

struct Registry {
  bool cupsAsked = false;
  std::vector<Printer> cups, tests;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

// WIN.INI fallbacks (invariant 3).
bool DevicesValue(std::string_view, std::string_view key, std::string& value) {
  const auto printer = FindPrinter(key);
  if (!printer) return false;
  value = printer->driver + "," + printer->port;
  return true;
}
std::vector<std::string> DevicesKeys(std::string_view) {
  std::vector<std::string> names;
  for (const Printer& p : Printers()) names.push_back(p.name);
  return names;
}
bool WindowsValue(std::string_view, std::string_view key, std::string& value) {
  if (Folded(key) != "device") return false;
  const Printer pdf = Printers().front();
  value = pdf.name + "," + pdf.driver + "," + pdf.port;
  return true;
}

}  // namespace

void InstallWinIniDevices() {
  static const bool installed = [] {
    SetWinIniFallback("devices", DevicesValue);
    SetWinIniKeysFallback("devices", DevicesKeys);
    SetWinIniFallback("windows", WindowsValue);
    return true;
  }();
  (void)installed;
}

std::vector<Printer> Printers() {
  InstallWinIniDevices();
  Registry& r = TheRegistry();
  if (!r.cupsAsked) {
    r.cups = CupsQueues();
    r.cupsAsked = true;
  }
  Printer pdf;
  pdf.name = "QMK PDF";
  pdf.driver = "qmkpdf";
  pdf.port = "PDF:";
  pdf.papers = StandardPapers();
  std::vector<Printer> all{pdf};
  all.insert(all.end(), r.cups.begin(), r.cups.end());
  all.insert(all.end(), r.tests.begin(), r.tests.end());
  return all;
}

void RefreshPrinters() { TheRegistry().cupsAsked = false; }

std::optional<Printer> FindPrinter(std::string_view name) {
  const std::string wanted = Folded(name);
  for (Printer& p : Printers())
    if (Folded(p.name) == wanted) return std::move(p);
  return std::nullopt;
}

void AddTestPrinter(Printer printer) {
  if (printer.papers.empty()) printer.papers = StandardPapers();
  if (printer.driver.empty()) printer.driver = "qmktest";
  if (printer.port.empty()) printer.port = "TEST:";
  TheRegistry().tests.push_back(std::move(printer));
}

void RemoveTestPrinters() { TheRegistry().tests.clear(); }

win::DevMode DefaultDevMode(const Printer& printer) {
  win::DevMode mode;
  std::strncpy(mode.dmDeviceName, printer.name.c_str(), sizeof mode.dmDeviceName - 1);
  return mode;
}

win::SIZE PaperSize(const Printer& printer, const win::DevMode* mode) {
  const win::DevMode m = mode ? *mode : DefaultDevMode(printer);
  win::SIZE size{2100, 2970};
  if (m.dmPaperSize == win::DMPAPER_USER && m.dmPaperWidth > 0 && m.dmPaperLength > 0) {
    size = {m.dmPaperWidth, m.dmPaperLength};
  } else {
    for (const Paper& p : printer.papers)
      if (p.code == m.dmPaperSize) size = {p.width, p.height};
  }
  if (m.dmOrientation == win::DMORIENT_LANDSCAPE) std::swap(size.cx, size.cy);
  return size;
}

win::DeviceCaps PrinterCaps(const Printer& printer, const win::DevMode* mode) {
  const win::SIZE paper = PaperSize(printer, mode);
  // Tenths of a millimetre to pixels, rounded.
  const auto px = [&](int64_t tenths) { return int((tenths * printer.dpi + 127) / 254); };
  win::DeviceCaps caps;
  caps.technology = win::DT_RASPRINTER;
  caps.dpiX = caps.dpiY = printer.dpi;
  caps.physicalWidth = px(paper.cx);
  caps.physicalHeight = px(paper.cy);
  caps.offsetX = px(printer.marginLeft);
  caps.offsetY = px(printer.marginTop);
  caps.width = std::max(1, caps.physicalWidth - caps.offsetX - px(printer.marginRight));
  caps.height = std::max(1, caps.physicalHeight - caps.offsetY - px(printer.marginBottom));
  return caps;
}

std::vector<int16_t> PaperCodes(std::string_view device) {
  std::vector<int16_t> out;
  if (const auto p = FindPrinter(device))
    for (const Paper& paper : p->papers) out.push_back(paper.code);
  return out;
}

std::vector<std::string> PaperNames(std::string_view device) {
  std::vector<std::string> out;
  if (const auto p = FindPrinter(device))
    for (const Paper& paper : p->papers) out.push_back(paper.name.substr(0, 63));
  return out;
}

std::vector<win::POINT> PaperSizes(std::string_view device) {
  std::vector<win::POINT> out;
  if (const auto p = FindPrinter(device))
    for (const Paper& paper : p->papers) out.push_back({paper.width, paper.height});
  return out;
}

}  // namespace platform::print

namespace win {

int DeviceCapabilities(const char* device, const char* /*port*/, int capability, const DevMode* /*mode*/) {
  if (!device || !platform::print::FindPrinter(device)) return -1;
  switch (capability) {
    case DC_PAPERS: return int(platform::print::PaperCodes(device).size());
    case DC_PAPERNAMES: return int(platform::print::PaperNames(device).size());
    case DC_PAPERSIZE: return int(platform::print::PaperSizes(device).size());
    default: return -1;
  }
}

std::unique_ptr<Dc> CreateIC(const char* /*driver*/, const char* device, const char* /*port*/, const DevMode* mode) {
  const auto printer = device ? platform::print::FindPrinter(device) : std::nullopt;
  if (!printer) return nullptr;
  return std::make_unique<Dc>(Bitmap::Create(1, 1, 32), platform::print::PrinterCaps(*printer, mode));
}

}  // namespace win
