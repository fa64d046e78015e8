// The printer object: the framework's printer (current device and mode, the
// print and set-up questions, print-outs), a printer chosen by name among
// WIN.INI's [devices]; a saved copy of the device mode around a job; paper
// size and orientation set from sizes in tenths of a millimetre against the
// table of the 41 paper codes; margins; the driver's papers. And the abort
// procedure of the program's print jobs with its program-wide flag.
//
// What always holds:
//   1. At most one saved device mode: SaveDevMode with one held, or
//      RestoreDevMode without one, fails the consistency checks
//      "!SaveDevMode" / "SaveDevMode" (kxprint).
//   2. SetPaperSize takes the first paper code whose size equals (width,
//      height) (portrait) or (height, width) (landscape), searching codes 1 to
//      41; no match gives the user size 256 with the two sizes and their
//      dmFields flags. GetPaperSize answers 0 x 0 for a code below 256 that
//      the table does not hold; nothing reads outside the table.
//   3. Operations that change the device mode do nothing without one.
//   4. Setup asks the set-up question only: it sets PD_PRINTSETUP and clears
//      PD_RETURNDC and PD_RETURNDEFAULT before asking.
//   5. PrintAbortProc pumps the waiting messages (never blocking) and
//      answers "go on" only while UserAbort is clear and the job's code is 0.
//      The print abort dialog's Cancel sets UserAbort; whoever starts a
//      document clears it.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/framework/printer.h"
#include "platform/gdi/wingdi.h"
#include "platform/print/printers.h"
#include "runtime/toolkit/kxobject.h"

namespace kxobject {

// Portrait width x height of paper codes 1 to 41, tenths of a millimetre.
extern const std::array<win::SIZE, 41> kPaperSizes;

extern bool UserAbort;
bool PrintAbortProc(win::Dc& dc, int code);

class TKxPrinter : public TKxObject, public fw::TPrinter {
 public:
  // The default printer of WIN.INI [windows] device, with its default mode.
  TKxPrinter() = default;

  bool Setup(fw::TWindow* parent) override;
  // 0, or -1 when no device of that name is listed (nothing changes).
  int SelectPrinter(const char* device);
  void SaveDevMode();
  void RestoreDevMode();
  void SetOrientation(int value);
  void SetPaperSize(int width, int height);
  void GetPaperSize(int& code, int& width, int& height) const;
  void GetMargins(win::RECT& margins) const;
  std::vector<std::string> GetPaperNames() const;
  std::vector<win::POINT> GetPaperSizes() const;
  int GetPaperCount() const;

  std::unique_ptr<win::DevMode> SavedDevMode;
};

}  // namespace kxobject
