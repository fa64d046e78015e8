// The printers the runtime can print on, their device modes and what their
// drivers can tell: the registry behind WIN.INI's [devices], DeviceCapabilities
// and the capabilities of printer and information DCs.
//
// Printers:
//   - "QMK PDF" (driver "qmkpdf", port "PDF:"): always there; writes PDF to the
//     job's output name, else to the folder WIN.INI "[QMK PDF] Folder" names,
//     else to the settings folder's "PDF/", as the document name + ".pdf".
//   - every CUPS queue `lpstat -e` lists, when lpstat is on the PATH (driver
//     "cups", port the queue): the same PDF goes to `lp -d QUEUE`.
//   - test printers that tests add (driver "qmktest"): they keep the pages'
//     metafiles, or write them as PNG files.
//
// What always holds:
//   1. Names compare without regard to case; the first printer of a name
//      wins, in the order above. Every printer is 600 dpi unless a test
//      printer says otherwise; "QMK PDF" has no margins.
//   2. A DevMode is a plain value. Its paper is the printer's paper of
//      dmPaperSize, or with DMPAPER_USER (256) dmPaperWidth x dmPaperLength
//      (tenths of a millimetre); a code the printer does not have is A4.
//      Orientation 2 (landscape) exchanges width and height.
//   3. WIN.INI answers [devices] (each printer: "driver,port") and [windows]
//      device ("name,driver,port" of "QMK PDF") from here while the file
//      has no value of its own.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/gdi/dc.h"

namespace win {

constexpr uint32_t DM_ORIENTATION = 0x1;
constexpr uint32_t DM_PAPERSIZE = 0x2;
constexpr uint32_t DM_PAPERLENGTH = 0x4;
constexpr uint32_t DM_PAPERWIDTH = 0x8;
constexpr uint32_t DM_COPIES = 0x100;
constexpr int16_t DMORIENT_PORTRAIT = 1;
constexpr int16_t DMORIENT_LANDSCAPE = 2;
constexpr int16_t DMPAPER_LETTER = 1;
constexpr int16_t DMPAPER_LEGAL = 5;
constexpr int16_t DMPAPER_A3 = 8;
constexpr int16_t DMPAPER_A4 = 9;
constexpr int16_t DMPAPER_A5 = 11;
constexpr int16_t DMPAPER_USER = 256;

struct DevMode {
  char dmDeviceName[32] = {};
  uint32_t dmFields = DM_ORIENTATION | DM_PAPERSIZE | DM_COPIES;
  int16_t dmOrientation = DMORIENT_PORTRAIT;
  int16_t dmPaperSize = DMPAPER_A4;
  int16_t dmPaperLength = 0;  // tenths of a millimetre
  int16_t dmPaperWidth = 0;
  int16_t dmCopies = 1;
};

// DeviceCapabilities indexes.
constexpr int DC_PAPERS = 2;
constexpr int DC_PAPERSIZE = 3;
constexpr int DC_PAPERNAMES = 16;

}  // namespace win

namespace platform::print {

enum class PrinterKind { kPdf, kCups, kTestMetafiles, kTestPng };

struct Paper {
  int16_t code = 0;
  std::string name;            // at most 63 characters
  int32_t width = 0, height = 0;  // tenths of a millimetre, portrait
};

struct Printer {
  std::string name, driver, port;
  PrinterKind kind = PrinterKind::kPdf;
  int dpi = 600;
  std::vector<Paper> papers;
  // Unprintable margins in tenths of a millimetre.
  int marginLeft = 0, marginTop = 0, marginRight = 0, marginBottom = 0;
};

// Makes WIN.INI answer from the registry (invariant 3); Printers() does it
// too, so any use of the registry installs it.
void InstallWinIniDevices();

// Every printer, in the order of invariant 1 (CUPS is asked once a process,
// or again after RefreshPrinters).
std::vector<Printer> Printers();
void RefreshPrinters();
std::optional<Printer> FindPrinter(std::string_view name);
// Test printers: added after the others, removed all at once.
void AddTestPrinter(Printer printer);
void RemoveTestPrinters();

// The device mode a printer starts with (its name filled in).
win::DevMode DefaultDevMode(const Printer& printer);
// The paper of a device mode in tenths of a millimetre, oriented (invariant 2).
win::SIZE PaperSize(const Printer& printer, const win::DevMode* mode);
// What a DC of the printer with the device mode answers to GetDeviceCaps.
win::DeviceCaps PrinterCaps(const Printer& printer, const win::DevMode* mode);

// The driver's answers, empty for an unknown device.
std::vector<int16_t> PaperCodes(std::string_view device);
std::vector<std::string> PaperNames(std::string_view device);
std::vector<win::POINT> PaperSizes(std::string_view device);  // tenths of a mm, x width

}  // namespace platform::print

namespace win {
// Win32's count form: the number of entries, -1 for an unknown device or
// capability.
int DeviceCapabilities(const char* device, const char* port, int capability, const DevMode* mode);
// An information context of the printer: its capabilities, nothing drawn.
// Null for an unknown device.
std::unique_ptr<Dc> CreateIC(const char* driver, const char* device, const char* port, const DevMode* mode);
}  // namespace win
