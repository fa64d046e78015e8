// TPrinter and TPrintout (see printer.h).
#include "platform/framework/printer.h"

#include <cstring>

#include "platform/framework/application.h"
#include "platform/print/job.h"
#include "platform/settings/profile.h"

namespace fw {

namespace {

// The window shown while a job runs: its Cancel, or closing it, asks the
// printer to stop; the printer destroys it when the job ends.
class TPrintAbortWindow : public TWindow {
 public:
  TPrintAbortWindow(TWindow* parent, TPrinter& printer, const std::string& title)
      : TWindow(parent, title.c_str()), printer_(printer) {
    Attr.Style = win::WS_POPUP | win::WS_CAPTION | win::WS_VISIBLE;
    Attr.W = 240;
    Attr.H = 80;
  }
  bool Find(TEventInfo& e) override {
    static const TResponseTable table{OnCommand<win::IDCANCEL, &TPrintAbortWindow::CmCancel>()};
    return table.Search(e) || TWindow::Find(e);
  }
  bool CanClose() override {
    CmCancel();
    return false;
  }

 private:
  void CmCancel() { printer_.UserAbort = true; }
  TPrinter& printer_;
};

}  // namespace

bool PumpWaitingMessages() {
  win::MSG msg;
  while (win::PeekMessage(&msg, nullptr, 0, 0, win::PM_REMOVE)) {
    if (msg.message == win::WM_QUIT) {
      win::PostQuitMessage(int(msg.wParam));
      return false;
    }
    win::ProcessMessage(msg);
  }
  return true;
}

std::vector<std::string> DeviceFields(const char* value, std::initializer_list<size_t> widths) {
  std::vector<std::string> out;
  std::string_view rest(value ? value : "");
  for (const size_t width : widths) {
    const size_t comma = rest.find(',');
    std::string field(rest.substr(0, comma));
    while (!field.empty() && field.front() == ' ') field.erase(field.begin());
    out.push_back(field.substr(0, width));
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  }
  return out;
}

// --- TPrintout ---

TPrintout::TPrintout(const char* title) : title_(title ? title : "") {}

void TPrintout::SetPrintParams(win::Dc* dc, win::SIZE pageSize) {
  dc_ = dc;
  pageSize_ = pageSize;
}

void TPrintout::GetDialogInfo(int& minPage, int& maxPage, int& fromPage, int& toPage) {
  minPage = maxPage = fromPage = toPage = 1;
}

// --- TPrinter ---

TPrinter::TPrinter() { GetDefaultPrinter(); }

TPrinter::~TPrinter() = default;

void TPrinter::ClearDevice() {
  Driver.clear();
  Device.clear();
  Output.clear();
  DevMode.reset();
}

void TPrinter::GetDefaultPrinter() {
  platform::print::InstallWinIniDevices();
  char value[256] = {};
  win::GetProfileStringA("windows", "device", "", value, sizeof value);
  const auto f = DeviceFields(value, {31, 39, 19});
  if (f[0].empty()) {
    ClearDevice();
    return;
  }
  SetPrinter(f[1].c_str(), f[0].c_str(), f[2].c_str());
}

void TPrinter::SetPrinter(const char* driver, const char* device, const char* output) {
  ClearDevice();
  Driver = driver ? driver : "";
  Device = device ? device : "";
  Output = output ? output : "";
  if (const auto printer = platform::print::FindPrinter(Device))
    DevMode = std::make_unique<win::DevMode>(platform::print::DefaultDevMode(*printer));
}

bool TPrinter::ExecPrintDialog(TWindow* parent) {
  dialogs::PrintDialogRequest request;
  request.owner = parent ? parent->GetHandle() : HWND();
  request.flags = Flags;
  request.fromPage = FromPage, request.toPage = ToPage, request.minPage = MinPage, request.maxPage = MaxPage;
  request.driver = Driver, request.device = Device, request.output = Output;
  if (DevMode) request.devMode = *DevMode;
  if (!dialogs::AskPrintDialog(request)) return false;
  Flags = request.flags;
  FromPage = request.fromPage, ToPage = request.toPage;
  if (request.device != Device || request.driver != Driver || request.output != Output)
    SetPrinter(request.driver.c_str(), request.device.c_str(), request.output.c_str());
  if (DevMode) *DevMode = request.devMode;
  return true;
}

bool TPrinter::Setup(TWindow* parent) {
  Flags |= win::PD_PRINTSETUP;
  return ExecPrintDialog(parent);
}

std::unique_ptr<TWindow> TPrinter::CreateAbortWindow(TWindow* parent, TPrintout& printout) {
  return std::make_unique<TPrintAbortWindow>(parent, *this, printout.GetTitle());
}

void TPrinter::ReportError(TWindow* parent, TPrintout& printout) {
  const std::string text = "Das Dokument \"" + printout.GetTitle() + "\" konnte nicht gedruckt werden.";
  win::MessageBox(parent ? parent->GetHandle() : HWND(), text, "Drucken", win::MB_OK | win::MB_ICONSTOP);
}

bool TPrinter::Print(TWindow* parent, TPrintout& printout, bool prompt) {
  Error = 0;
  printout.GetDialogInfo(MinPage, MaxPage, FromPage, ToPage);
  if (prompt) {
    Flags &= ~win::PD_PRINTSETUP;
    if (!ExecPrintDialog(parent)) return false;
  }
  const std::unique_ptr<win::Dc> dc = win::CreateDC(Driver.c_str(), Device.c_str(), Output.c_str(), DevMode.get());
  if (!dc) {
    Error = win::SP_ERROR;
    ReportError(parent, printout);
    return false;
  }
  printout.SetPrintParams(dc.get(), win::SIZE{dc->GetDeviceCaps(win::HORZRES), dc->GetDeviceCaps(win::VERTRES)});

  const HWND owner = parent ? parent->GetHandle() : HWND();
  const bool wasEnabled = owner && win::IsWindowEnabled(owner);
  if (wasEnabled) win::EnableWindow(owner, false);
  std::unique_ptr<TWindow> abortWindow = CreateAbortWindow(parent, printout);
  if (abortWindow) abortWindow->Create();
  UserAbort = false;
  win::SetAbortProc(*dc, [this](win::Dc&, int code) {
    if (!PumpWaitingMessages()) UserAbort = true;  // the program is quitting
    return !UserAbort && code == 0;
  });

  Error = RunJob(*dc, printout);
  printout.SetPrintParams(nullptr, printout.GetPageSize());

  abortWindow.reset();
  if (wasEnabled) win::EnableWindow(owner, true);
  const bool cancelled = UserAbort && Error == win::SP_APPABORT;
  UserAbort = false;
  if (Error < 0 && !cancelled) ReportError(parent, printout);
  return Error == 0;
}

int TPrinter::RunJob(win::Dc& dc, TPrintout& printout) {
  printout.BeginPrinting();
  const bool range = (Flags & win::PD_PAGENUMS) != 0;
  const int first = range ? FromPage : MinPage;
  printout.BeginDocument(first, range ? ToPage : MaxPage, 0);
  int result = win::StartDoc(dc, win::DOCINFO{printout.GetTitle(), {}}) > 0 ? 0 : win::SP_ERROR;
  for (int page = first; result == 0 && (!range || page <= ToPage) && printout.HasPage(page); ++page) {
    if (win::StartPage(dc) < 0) {
      result = win::SP_ERROR;
      break;
    }
    const win::SIZE size = printout.GetPageSize();
    win::RECT rect{0, 0, size.cx, size.cy};
    printout.PrintPage(page, rect, 0);
    if (const int ended = win::EndPage(dc); ended < 0) result = ended;
  }
  if (result == 0 && win::EndDoc(dc) < 0) result = win::SP_ERROR;
  if (result < 0) win::AbortDoc(dc);
  printout.EndDocument();
  printout.EndPrinting();
  return result;
}

}  // namespace fw
