#include "runtime/toolkit/kxprint.h"

#include <cstring>

#include "engine/base/engassert.h"
#include "platform/settings/profile.h"

namespace kxobject {

const std::array<win::SIZE, 41> kPaperSizes = {{
    {2159, 2794}, {2159, 2794}, {2794, 4318}, {4318, 2794}, {2159, 3556}, {1357, 2159}, {1842, 2667},
    {2970, 4200}, {2100, 2970}, {2100, 2970}, {1280, 2100}, {2500, 3540}, {1820, 2570}, {2159, 3302},
    {2150, 2750}, {2540, 3556}, {2794, 4318}, {2159, 2794}, {984, 2254},  {1048, 2413}, {1143, 2635},
    {1016, 2794}, {1270, 2921}, {1000, 1000}, {1000, 1000}, {1000, 1000}, {1100, 2200}, {1620, 2290},
    {3240, 4580}, {2290, 3240}, {1140, 1620}, {1140, 2290}, {2500, 3530}, {1760, 2500}, {1760, 1250},
    {1100, 2300}, {984, 1905},  {921, 1651},  {3778, 2794}, {2159, 3048}, {2159, 3302},
}};

bool UserAbort = false;

bool PrintAbortProc(win::Dc&, int code) {
  fw::PumpWaitingMessages();
  return !UserAbort && code == 0;
}

bool TKxPrinter::Setup(fw::TWindow* parent) {
  Flags &= ~(win::PD_RETURNDC | win::PD_RETURNDEFAULT);
  return TPrinter::Setup(parent);
}

int TKxPrinter::SelectPrinter(const char* device) {
  platform::print::InstallWinIniDevices();
  if (!device) return -1;
  char names[1024] = {};
  const uint32_t n = win::GetProfileStringA("devices", nullptr, "", names, sizeof names);
  for (const char* name = names; name < names + n && *name; name += std::strlen(name) + 1) {
    if (strcasecmp(name, device) != 0) continue;
    char value[256] = {};
    win::GetProfileStringA("devices", name, "", value, sizeof value);
    const auto f = fw::DeviceFields(value, {39, 19});
    SetPrinter(f[0].c_str(), name, f[1].c_str());
    if (DevMode) {
      std::memset(DevMode->dmDeviceName, 0, sizeof DevMode->dmDeviceName);
      std::strncpy(DevMode->dmDeviceName, name, 31);
    }
    return 0;
  }
  return -1;
}

void TKxPrinter::SaveDevMode() {
  ZET_ASSERT(!SavedDevMode, "!SaveDevMode");
  SavedDevMode = std::make_unique<win::DevMode>(DevMode ? *DevMode : win::DevMode{});
}

void TKxPrinter::RestoreDevMode() {
  ZET_ASSERT(SavedDevMode, "SaveDevMode");
  if (DevMode) *DevMode = *SavedDevMode;
  SavedDevMode.reset();
}

void TKxPrinter::SetOrientation(int value) {
  if (!DevMode || value < 1) return;
  DevMode->dmOrientation = value == 1 ? win::DMORIENT_PORTRAIT : win::DMORIENT_LANDSCAPE;
}

void TKxPrinter::SetPaperSize(int width, int height) {
  if (!DevMode) return;
  for (size_t i = 0; i < kPaperSizes.size(); ++i) {
    const win::SIZE s = kPaperSizes[i];
    const bool portrait = s.cx == width && s.cy == height, landscape = s.cx == height && s.cy == width;
    if (!portrait && !landscape) continue;
    DevMode->dmPaperSize = int16_t(i + 1);
    DevMode->dmFields &= ~(win::DM_PAPERLENGTH | win::DM_PAPERWIDTH);
    DevMode->dmOrientation = portrait ? win::DMORIENT_PORTRAIT : win::DMORIENT_LANDSCAPE;
    return;
  }
  DevMode->dmPaperSize = win::DMPAPER_USER;
  DevMode->dmPaperWidth = int16_t(width);
  DevMode->dmPaperLength = int16_t(height);
  DevMode->dmFields |= win::DM_PAPERLENGTH | win::DM_PAPERWIDTH;
  DevMode->dmOrientation = win::DMORIENT_PORTRAIT;
}

void TKxPrinter::GetPaperSize(int& code, int& width, int& height) const {
  code = DevMode ? DevMode->dmPaperSize : win::DMPAPER_A3;
  if (code >= win::DMPAPER_USER) {
    width = DevMode ? DevMode->dmPaperWidth : 0;
    height = DevMode ? DevMode->dmPaperLength : 0;
    return;
  }
  if (code < 1 || code > int(kPaperSizes.size())) {
    width = height = 0;
    return;
  }
  width = kPaperSizes[size_t(code - 1)].cx;
  height = kPaperSizes[size_t(code - 1)].cy;
  if (DevMode && DevMode->dmOrientation == win::DMORIENT_LANDSCAPE) std::swap(width, height);
}

void TKxPrinter::GetMargins(win::RECT& margins) const {
  int code = 0, width = 0, height = 0;
  GetPaperSize(code, width, height);
  int printableWidth = width, printableHeight = height;
  if (const auto ic = win::CreateIC(Driver.c_str(), Device.c_str(), Output.c_str(), DevMode.get())) {
    printableWidth = ic->GetDeviceCaps(win::HORZSIZE) * 10;
    printableHeight = ic->GetDeviceCaps(win::VERTSIZE) * 10;
  }
  margins.left = (width - printableWidth) / 2;
  margins.top = (height - printableHeight) / 2;
  margins.right = width - printableWidth - margins.left;
  margins.bottom = height - printableHeight - margins.top;
}

std::vector<std::string> TKxPrinter::GetPaperNames() const { return platform::print::PaperNames(Device); }
std::vector<win::POINT> TKxPrinter::GetPaperSizes() const { return platform::print::PaperSizes(Device); }
int TKxPrinter::GetPaperCount() const { return win::DeviceCapabilities(Device.c_str(), Output.c_str(), win::DC_PAPERS, DevMode.get()); }

}  // namespace kxobject
