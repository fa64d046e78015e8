// Print jobs on printer DCs: a printer DC records each page as a metafile
// with the printer's capabilities (wmf/metafile.h) and hands it to the sink
// of its printer when the page ends.
//
// A job runs StartDoc, then pages of StartPage ... EndPage, then EndDoc; or
// AbortDoc at any time. What always holds:
//   1. EndPage calls the abort procedure (when one is set) before anything
//      else; when it answers false the job is aborted as by AbortDoc and
//      EndPage answers SP_APPABORT. The procedure is a caller's function, so
//      a job needs no message loop.
//   2. An aborted job leaves no output: the sinks write to a temporary file
//      beside the target and put it in place only at EndDoc.
//   3. Calls out of order (a page outside a job, EndPage without StartPage,
//      a second StartDoc) answer SP_ERROR and change nothing. A page that
//      EndDoc finds open is ended first.
//   4. Each page starts from the DC's state as the last page left it.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "platform/gdi/dc.h"
#include "platform/print/printers.h"

namespace win {

constexpr int SP_ERROR = -1;
constexpr int SP_APPABORT = -2;
constexpr int SP_USERABORT = -3;
constexpr int SP_OUTOFDISK = -4;

struct DOCINFO {
  std::string docName;
  std::string output;  // a file to print to; empty: the printer's own place
};

// Answers whether the job goes on; code is 0 (or SP_OUTOFDISK).
using AbortProc = std::function<bool(Dc& dc, int code)>;

// A printer DC for the device (driver and port are taken from the registry);
// null for an unknown device.
std::unique_ptr<Dc> CreateDC(const char* driver, const char* device, const char* port, const DevMode* mode);

int SetAbortProc(Dc& dc, AbortProc proc);
int StartDoc(Dc& dc, const DOCINFO& info);  // a job number > 0, or SP_ERROR
int StartPage(Dc& dc);
int EndPage(Dc& dc);
int EndDoc(Dc& dc);
int AbortDoc(Dc& dc);

}  // namespace win

namespace platform::print {

// Where a job's pages go. Page gets each page's metafile with the page's
// capabilities; Finish makes the output (false: it could not); Abort drops it.
class PageSink {
 public:
  virtual ~PageSink() = default;
  virtual bool Page(const std::vector<uint8_t>& metafile, const win::DeviceCaps& caps) = 0;
  virtual bool Finish() = 0;
  virtual void Abort() = 0;
};

// The pages of the last job on a test printer that keeps metafiles (the
// test sink), and the name it was printed under.
struct TestJob {
  std::string printer, docName, output;
  std::vector<std::vector<uint8_t>> pages;
  bool finished = false, aborted = false;
};
const std::vector<TestJob>& TestJobs();
void ClearTestJobs();

// A text drawn on a page: where its first character's cell begins (device
// pixels of the page) and its characters, in drawing order.
struct PageText {
  win::POINT at;
  std::string text;
};
// The texts a page's metafile draws, played with the page's capabilities.
std::vector<PageText> PageTexts(const std::vector<uint8_t>& metafile, const win::DeviceCaps& caps);

// The sinks (sinks.cpp). A PDF file at path; with a CUPS queue it is handed
// to `lp -d queue -n copies -o media=...` at Finish and removed.
std::unique_ptr<PageSink> CreatePdfSink(const std::string& path, std::string queue = {}, int copies = 1,
                                        std::string media = {});
// One PNG file a page: path without ".png", then "-1.png", "-2.png", ...
std::unique_ptr<PageSink> CreatePngSink(const std::string& path);

}  // namespace platform::print
