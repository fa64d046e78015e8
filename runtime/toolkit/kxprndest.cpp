// The print destination record's rules and its dialog (see kxprndest.h).
#include "runtime/toolkit/kxprndest.h"

#include <algorithm>
#include <cstring>

#include "platform/dialogs/provider.h"
#include "runtime/toolkit/kxapp.h"
#include "runtime/toolkit/kxbrowse.h"

namespace kxprndest {

namespace {

constexpr int kDocName = 100, kDevice = 201, kPort = 202, kFileName = 203;
constexpr int kFirstDestination = 220, kFirstFormat = 210;
constexpr int kSetup = 230, kBrowse = 200;
constexpr int kFormatRadios = 4;

// Copies text into a fixed field of size bytes, cut to size - 1 characters.
template <size_t N>
void Put(char (&field)[N], const std::string& text) {
  const size_t n = std::min(text.size(), N - 1);
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

}  // namespace

int16_t ShownDestination(int16_t destination) {
  return destination >= kToPrinter && destination <= kToFile ? destination : kToPreview;
}

int16_t ShownFormat(int16_t format) {
  return format >= kPrinterData && format <= kWebFormat ? format : kWindowsText;
}

std::string CompleteFileName(const std::string& name, int16_t format) {
  if (name.empty()) return name;
  const size_t start = name.find_last_of("\\/:");
  if (name.find('.', start == std::string::npos ? 0 : start + 1) != std::string::npos) return name;
  return name + (format == kPrinterData ? ".PRD" : format == kWebFormat ? ".HTM" : ".TXT");
}

TPrintPreviewDlg::TPrintPreviewDlg(fw::TWindow* parent, kxobject::TKxPrinter* printer, const char* docName,
                                   const char* caption, TPrintDestination* destination)
    : TCenteredDlg(parent, kResource, caption, kResource),
      Printer(printer),
      DocName(docName ? docName : ""),
      Destination(destination) {
  for (auto [id, width] : {std::pair{kDocName, sizeof buffer_.docName}, std::pair{kDevice, sizeof buffer_.device},
                           std::pair{kPort, sizeof buffer_.port}})
    (new fw::TStatic(this, id, int(width)))->EnableTransfer();
  new fw::TEdit(this, kFileName, int(sizeof buffer_.fileName));
  for (int i = 0; i < 3; ++i) new fw::TRadioButton(this, kFirstDestination + i);
  for (int i = 0; i < kFormatRadios; ++i) new fw::TRadioButton(this, kFirstFormat + i);
  SetTransferBuffer(&buffer_, sizeof buffer_);
}

bool TPrintPreviewDlg::Find(fw::TEventInfo& e) {
  static const fw::TResponseTable table{
      fw::OnCommand<kFirstDestination, &TPrintPreviewDlg::CmDestination>(),
      fw::OnCommand<kFirstDestination + 1, &TPrintPreviewDlg::CmDestination>(),
      fw::OnCommand<kFirstDestination + 2, &TPrintPreviewDlg::CmDestination>(),
      fw::OnCommand<kFirstFormat, &TPrintPreviewDlg::CmFormat>(),
      fw::OnCommand<kFirstFormat + 1, &TPrintPreviewDlg::CmFormat>(),
      fw::OnCommand<kFirstFormat + 2, &TPrintPreviewDlg::CmFormat>(),
      fw::OnCommand<kFirstFormat + 3, &TPrintPreviewDlg::CmFormat>(),
      fw::OnCommand<kSetup, &TPrintPreviewDlg::CmSetup>(),
      fw::OnCommand<kBrowse, &TPrintPreviewDlg::CmBrowse>()};
  return table.Search(e) || TCenteredDlg::Find(e);
}

bool TPrintPreviewDlg::TransferData(fw::TTransferDirection direction) {
  if (direction == fw::TTransferDirection::SetData && Destination) {
    buffer_ = Buffer{};
    Put(buffer_.docName, DocName);
    if (Printer) Put(buffer_.device, Printer->Device), Put(buffer_.port, Printer->Output);
    Put(buffer_.fileName, std::string(Destination->FileName, strnlen(Destination->FileName, 259)));
    buffer_.destinations[ShownDestination(Destination->Destination) - 1] = 1;
    buffer_.formats[ShownFormat(Destination->Format) - 1] = 1;
  }
  if (!TCenteredDlg::TransferData(direction)) return false;
  if (direction == fw::TTransferDirection::GetData && Destination) {
    const auto chosen = [](const uint16_t* radios, int count) {
      return int(std::find(radios, radios + count, 1) - radios);
    };
    if (const int d = chosen(buffer_.destinations, 3); d < 3) Destination->Destination = int16_t(d + 1);
    Put(Destination->FileName, buffer_.fileName);
    if (const int f = chosen(buffer_.formats, kFormatRadios); f < kFormatRadios) Destination->Format = int16_t(f + 1);
  }
  return true;
}

void TPrintPreviewDlg::SetupWindow() {
  TCenteredDlg::SetupWindow();
  CmDestination();
}

int TPrintPreviewDlg::Chosen(int firstId, int count) const {
  for (int i = 0; i < count; ++i)
    if (win::IsDlgButtonChecked(GetHandle(), firstId + i) == 1) return i;
  return -1;
}

void TPrintPreviewDlg::Choose(int firstId, int count, int index) {
  for (int i = 0; i < count; ++i) win::CheckDlgButton(GetHandle(), firstId + i, i == index ? 1 : 0);
}

int16_t TPrintPreviewDlg::ChosenFormat() const { return int16_t(Chosen(kFirstFormat, kFormatRadios) + 1); }

void TPrintPreviewDlg::CmDestination() {
  win::EnableWindow(win::GetDlgItem(GetHandle(), kFileName), Chosen(kFirstDestination, 3) == kToFile - 1);
}

void TPrintPreviewDlg::CmFormat() {
  Choose(kFirstDestination, 3, kToFile - 1);
  CmDestination();
}

void TPrintPreviewDlg::CmSetup() {
  if (!Printer) return;
  Printer->Setup(this);
  win::SetDlgItemText(GetHandle(), kDevice, Printer->Device.substr(0, sizeof buffer_.device - 1));
  win::SetDlgItemText(GetHandle(), kPort, Printer->Output.substr(0, sizeof buffer_.port - 1));
  Choose(kFirstFormat, kFormatRadios, 0);
}

void TPrintPreviewDlg::CmBrowse() {
  fw::TOpenSaveData data;
  data.MaxPath = int(sizeof buffer_.fileName);
  data.FileName = std::make_unique<char[]>(size_t(data.MaxPath));
  const std::string folder = kxbrowse::DriveAndDirectory(win::GetDlgItemText(GetHandle(), kFileName));
  std::memcpy(data.FileName.get(), folder.c_str(), std::min(folder.size() + 1, size_t(data.MaxPath)));
  data.FileName[data.MaxPath - 1] = 0;
  data.InitialDir = data.FileName.get();
  data.Filter = "Alle Dateien (*.*)|*.*";
  if (fw::ExecuteFileOpen(this, data, nullptr) == win::IDOK)
    win::SetDlgItemText(GetHandle(), kFileName, data.FileName.get());
  Choose(kFirstDestination, 3, kToFile - 1);
  CmDestination();
  win::SetFocus(win::GetDlgItem(GetHandle(), kFileName));
}

bool TPrintPreviewDlg::CanClose() {
  if (!TCenteredDlg::CanClose()) return false;
  if (Chosen(kFirstDestination, 3) != kToFile - 1) return true;
  const std::string name = win::GetDlgItemText(GetHandle(), kFileName);
  if (name.empty()) {
    kxapp::AppMessageBox(GetHandle(), 51303, 51304, win::MB_ICONEXCLAMATION, 0);
    return false;
  }
  win::SetDlgItemText(GetHandle(), kFileName, CompleteFileName(name, ChosenFormat()));
  return true;
}

}  // namespace kxprndest
