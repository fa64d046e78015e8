// TPrinter and TPrintout: the framework's printer (the print-dialog data with
// the current device and its device mode, the print and set-up questions) and
// the print-out it runs page by page on a printer DC.
//
// What always holds:
//   1. The printer's data are the print question's: Flags (PD_...), the page
//      range, Driver, Device and Output, and DevMode (null when the device is
//      unknown). SetPrinter replaces the device and takes its default mode.
//      The set-up and print questions go to the interaction provider; only an
//      OK answer changes the data, and then the answer's device is current.
//   2. Print runs one job at a time on a printer DC of the current device:
//      BeginPrinting, BeginDocument, for each page from the first asked for
//      while HasPage answers true and the last is not passed: StartPage,
//      PrintPage (the whole page is one band, banding or not), EndPage; then
//      EndDoc, or AbortDoc when anything failed; EndDocument, EndPrinting.
//   3. While the job runs the parent is disabled and the abort window shows;
//      between pages the abort procedure pumps waiting messages (PeekMessage,
//      never blocking), so the abort window's Cancel (IDCANCEL, or closing it)
//      is seen: it sets UserAbort, the next EndPage answers SP_APPABORT and
//      the job leaves no output. Both are undone when the job ends, whatever
//      way it ends.
//   4. Error holds the job's result: 0, or the negative code that ended it.
//      A failure that the user did not ask for is reported through
//      ReportError; a job the user cancelled is not.
#pragma once

#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "platform/dialogs/provider.h"
#include "platform/framework/window.h"
#include "platform/gdi/dc.h"
#include "platform/print/printers.h"

namespace fw {

// Takes every message waiting now, as loops do (the application's filter,
// then translation and dispatch), without blocking. A WM_QUIT is posted again
// for the loops outside and ends the pumping: answers false then.
bool PumpWaitingMessages();

// The comma-separated fields of a WIN.INI device entry ("driver,port" or
// "device,driver,port"), each without leading blanks and cut to its width.
std::vector<std::string> DeviceFields(const char* value, std::initializer_list<size_t> widths);

class TPrintout {
 public:
  explicit TPrintout(const char* title);
  virtual ~TPrintout() = default;
  TPrintout(const TPrintout&) = delete;
  TPrintout& operator=(const TPrintout&) = delete;

  const std::string& GetTitle() const { return title_; }
  // The printer DC while a job runs, else null.
  win::Dc* GetDC() const { return dc_; }
  win::SIZE GetPageSize() const { return pageSize_; }
  bool Banding = false;

  // The DC and the page size in device pixels, before the job starts.
  virtual void SetPrintParams(win::Dc* dc, win::SIZE pageSize);
  // The pages the print question offers (1 to 1 unless overridden).
  virtual void GetDialogInfo(int& minPage, int& maxPage, int& fromPage, int& toPage);
  virtual void BeginPrinting() {}
  virtual void BeginDocument(int /*startPage*/, int /*endPage*/, unsigned /*flags*/) {}
  // One page unless overridden.
  virtual bool HasPage(int page) { return page == 1; }
  virtual void PrintPage(int page, win::RECT& rect, unsigned flags) = 0;
  virtual void EndDocument() {}
  virtual void EndPrinting() {}

 private:
  std::string title_;
  win::Dc* dc_ = nullptr;
  win::SIZE pageSize_{};
};

class TPrinter {
 public:
  // The default printer (WIN.INI [windows] device) with its default mode.
  TPrinter();
  virtual ~TPrinter();
  TPrinter(const TPrinter&) = delete;
  TPrinter& operator=(const TPrinter&) = delete;

  // No device: empty names and no device mode.
  virtual void ClearDevice();
  // The print set-up question; true on OK.
  virtual bool Setup(TWindow* parent);
  // Prints the print-out (rule 2), asking the print question first when
  // prompt is set; true when the job ended without error.
  virtual bool Print(TWindow* parent, TPrintout& printout, bool prompt);
  // Tells the user that a job failed (a message box naming the print-out).
  virtual void ReportError(TWindow* parent, TPrintout& printout);
  virtual void GetDefaultPrinter();
  virtual void SetPrinter(const char* driver, const char* device, const char* output);
  // Asks the provider with the data (rule 1); true on OK.
  virtual bool ExecPrintDialog(TWindow* parent);
  // The window shown while a job runs; the printer owns it until the job ends.
  virtual std::unique_ptr<TWindow> CreateAbortWindow(TWindow* parent, TPrintout& printout);

  win::DWORD Flags = 0;
  int FromPage = 1, ToPage = 1, MinPage = 1, MaxPage = 1;
  std::string Driver, Device, Output;
  std::unique_ptr<win::DevMode> DevMode;
  bool UserAbort = false;
  int Error = 0;

 private:
  int RunJob(win::Dc& dc, TPrintout& printout);
};

}  // namespace fw
