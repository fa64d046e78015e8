#include "platform/print/job.h"

#include <unistd.h>

#include <filesystem>

#include "platform/gdi/wmf/metafile.h"
#include "platform/settings/profile.h"

namespace platform::print {

namespace {

std::vector<TestJob>& Jobs() {
  static std::vector<TestJob> jobs;
  return jobs;
}

// Keeps the metafiles of a test printer's job.
class TestSink final : public PageSink {
 public:
  explicit TestSink(TestJob job) : index_(Jobs().size()) { Jobs().push_back(std::move(job)); }
  bool Page(const std::vector<uint8_t>& metafile, const win::DeviceCaps&) override {
    Jobs()[index_].pages.push_back(metafile);
    return true;
  }
  bool Finish() override { return Jobs()[index_].finished = true; }
  void Abort() override {
    Jobs()[index_].aborted = true;
    Jobs()[index_].pages.clear();
  }

 private:
  size_t index_;
};

// The file a PDF printer writes when the job names none.
std::string PdfTarget(const std::string& docName) {
  char folder[260] = {};
  win::GetProfileStringA("QMK PDF", "Folder", "", folder, sizeof folder);
  std::string dir = folder[0] ? std::string(folder) : SettingsDirectory() + "PDF";
  std::error_code ignored;
  std::filesystem::create_directories(dir, ignored);
  std::string name = docName.empty() ? "Dokument" : docName;
  for (char& c : name)
    if (c == '/' || c == '\\') c = '_';
  return dir + "/" + name + ".pdf";
}

const char* MediaName(const Printer& printer, const win::DevMode& mode) {
  for (const Paper& p : printer.papers)
    if (p.code == mode.dmPaperSize) return p.name.c_str();
  return "A4";
}

class PrinterDc final : public win::Dc {
 public:
  PrinterDc(Printer printer, const win::DevMode& mode)
      : win::Dc(win::Bitmap::Create(1, 1, 32), PrinterCaps(printer, &mode)), printer_(std::move(printer)),
        mode_(mode) {
    SetOutput(win::wmf::CreateRecorder());
  }

  int StartDoc(const win::DOCINFO& info) {
    if (sink_) return win::SP_ERROR;
    switch (printer_.kind) {
      case PrinterKind::kPdf: sink_ = CreatePdfSink(info.output.empty() ? PdfTarget(info.docName) : info.output); break;
      case PrinterKind::kCups:
        sink_ = CreatePdfSink(info.output.empty() ? TempPdf() : info.output, info.output.empty() ? printer_.port : "",
                              mode_.dmCopies, MediaName(printer_, mode_));
        break;
      case PrinterKind::kTestMetafiles: sink_ = std::make_unique<TestSink>(TestJob{printer_.name, info.docName, info.output}); break;
      case PrinterKind::kTestPng: sink_ = CreatePngSink(info.output.empty() ? PdfTarget(info.docName) : info.output); break;
    }
    pageOpen_ = false;
    return ++jobs_;
  }
  int StartPage() {
    if (!sink_ || pageOpen_) return win::SP_ERROR;
    win::wmf::TakeRecording(*this);  // what was drawn between pages is dropped
    pageOpen_ = true;
    return 1;
  }
  int EndPage() {
    if (!sink_ || !pageOpen_) return win::SP_ERROR;
    if (abort_ && !abort_(*this, 0)) {
      AbortDoc();
      return win::SP_APPABORT;
    }
    pageOpen_ = false;
    if (!sink_->Page(win::wmf::TakeRecording(*this), Caps())) {
      AbortDoc();
      return win::SP_OUTOFDISK;
    }
    return 1;
  }
  int EndDoc() {
    if (!sink_) return win::SP_ERROR;
    if (pageOpen_) {
      const int ended = EndPage();
      if (ended < 0) return ended;
    }
    const bool made = sink_->Finish();
    sink_.reset();
    return made ? 1 : win::SP_ERROR;
  }
  int AbortDoc() {
    if (!sink_) return win::SP_ERROR;
    sink_->Abort();
    sink_.reset();
    pageOpen_ = false;
    return 1;
  }
  void SetAbortProc(win::AbortProc proc) { abort_ = std::move(proc); }
  ~PrinterDc() override {
    if (sink_) sink_->Abort();
  }

 private:
  static std::string TempPdf() {
    return std::filesystem::temp_directory_path().string() + "/qmk-print-" + std::to_string(getpid()) + ".pdf";
  }

  Printer printer_;
  win::DevMode mode_;
  std::unique_ptr<PageSink> sink_;
  win::AbortProc abort_;
  bool pageOpen_ = false;
  int jobs_ = 0;
};

PrinterDc* AsPrinter(win::Dc& dc) { return dynamic_cast<PrinterDc*>(&dc); }

}  // namespace

const std::vector<TestJob>& TestJobs() { return Jobs(); }
void ClearTestJobs() { Jobs().clear(); }

}  // namespace platform::print

namespace win {

using platform::print::AsPrinter;

std::unique_ptr<Dc> CreateDC(const char* /*driver*/, const char* device, const char* /*port*/, const DevMode* mode) {
  const auto printer = device ? platform::print::FindPrinter(device) : std::nullopt;
  if (!printer) return nullptr;
  const DevMode m = mode ? *mode : platform::print::DefaultDevMode(*printer);
  return std::make_unique<platform::print::PrinterDc>(*printer, m);
}

int SetAbortProc(Dc& dc, AbortProc proc) {
  auto* p = AsPrinter(dc);
  if (!p) return SP_ERROR;
  p->SetAbortProc(std::move(proc));
  return 1;
}
int StartDoc(Dc& dc, const DOCINFO& info) { auto* p = AsPrinter(dc); return p ? p->StartDoc(info) : SP_ERROR; }
int StartPage(Dc& dc) { auto* p = AsPrinter(dc); return p ? p->StartPage() : SP_ERROR; }
int EndPage(Dc& dc) { auto* p = AsPrinter(dc); return p ? p->EndPage() : SP_ERROR; }
int EndDoc(Dc& dc) { auto* p = AsPrinter(dc); return p ? p->EndDoc() : SP_ERROR; }
int AbortDoc(Dc& dc) { auto* p = AsPrinter(dc); return p ? p->AbortDoc() : SP_ERROR; }

}  // namespace win
