// Document windows of the runtime and the client that holds them: the
// child's kind, element name and counted disabling, its notices to the
// client, and the client's part in printing: the print destination, the
// dialog that edits it, and the spoolers that take a job's pages.
//
// What always holds:
//   1. A child tells its client, synchronously: 2024 (wParam its kind,
//      lParam its window) when it becomes active, on a click into it and on
//      WM_MDIACTIVATE; 2025 (kind, the child object) when its window is
//      destroyed; 2026 (kind, the child object) when it is asked to close,
//      and a non-zero answer keeps it open.
//   2. Disabling counts (signed): disable disables on 0 -> 1, enable
//      enables on 1 -> 0; an enable at 0 goes to -1 and the next disable
//      returns to 0 without disabling, so nested pairs stay balanced.
//   3. An empty name is kept as no name: GetName answers "", FindChild finds
//      the child only for a null name; names compare without regard to case.
//   4. A print job has at most one spooler. CreateSpooler answers a ready
//      spooler or null; for the preview the preview window is the one
//      enabled child while the job runs, and when the preview spooler cannot
//      start, every child is enabled again, the preview window is gone and
//      a child that the preview maximized is restored before null comes
//      back. DeleteSpooler ends the job the same way and deletes the spooler.
//   5. The spoolers and the preview window belong to the reports subsystem:
//      the client makes them through the TSpoolerMaker registered with
//      SetSpoolerMaker; without one no spooler is made.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "platform/framework/mdi.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxprint.h"
#include "runtime/toolkit/kxprndest.h"

namespace kxmdi {

constexpr win::UINT WM_CHILDACTIVATED = win::WM_USER + 1000;  // 2024
constexpr win::UINT WM_CHILDDESTROYED = win::WM_USER + 1001;  // 2025
constexpr win::UINT WM_CHILDMAYCLOSE = win::WM_USER + 1002;   // 2026

class TKxMdiChild : public kxobject::TKxObject, public fw::TMDIChild {
 public:
  TKxMdiChild(fw::TMDIClient* parent, const char* title, const char* name, int16_t kind);

  // Copies the name ("" without one), at most maxLength characters and a NUL.
  void GetName(char* buffer, int maxLength) const;
  void SetName(const char* name);
  const std::optional<std::string>& Name() const { return name_; }
  void EnableWindowCounted(bool enable);
  bool CanClose() override;

  virtual uint16_t GetHelpContext() { return 0; }
  virtual bool IsModified() { return true; }
  virtual void SetModified(bool) {}
  // Base: "Inhalt dieses Fensters kann nicht gedruckt werden."
  virtual void Print(int32_t how, const char* caption);

  int16_t Kind;
  int32_t DisableCount = 0;

 protected:
  win::LRESULT WindowProc(win::UINT msg, win::WPARAM wParam, win::LPARAM lParam) override;

 private:
  void NotifyActivated();
  std::optional<std::string> name_;
};

// A spooler of the reports subsystem as the client sees it: ready or not
// after it was made, and deleted through its destructor.
class TSpooler {
 public:
  virtual ~TSpooler() = default;
  virtual bool Ready() const = 0;
};

class TKxMdiClient;

class TSpoolerMaker {
 public:
  virtual ~TSpoolerMaker() = default;
  // Pages to the printer; a non-empty output file takes the printer's output.
  virtual std::unique_ptr<TSpooler> MakePrinterSpooler(const char* name, const char* outputFile,
                                                       kxobject::TKxPrinter& printer) = 0;
  // A text document of stream type 0-3 in the file.
  virtual std::unique_ptr<TSpooler> MakeStreamSpooler(const char* name, const char* file, int type,
                                                      kxobject::TKxPrinter& printer) = 0;
  // The preview window (a child object of client, number 101, not yet
  // created) and the spooler that fills it.
  virtual TKxMdiChild* MakePreviewWindow(TKxMdiClient& client, const char* name) = 0;
  virtual std::unique_ptr<TSpooler> MakeWindowSpooler(const char* name, TKxMdiChild& preview,
                                                      kxobject::TKxPrinter& printer) = 0;
};
void SetSpoolerMaker(TSpoolerMaker* maker);

class TKxMdiClient : public kxobject::TKxObject, public fw::TMDIClient {
 public:
  explicit TKxMdiClient(fw::TWindow* frame, win::HMENU windowMenu = win::HMENU());

  // The first child of the kind whose name equals name (rule 3).
  TKxMdiChild* FindChild(int16_t kind, const char* name) const;
  // Creates the child, maximized when the active child is.
  win::HWND AddChild(TKxMdiChild* child);
  void EnableChildren(bool enable);

  bool RunPrintDestinationDlg(const char* docName, const char* caption);
  virtual TSpooler* CreateSpooler(int16_t destination, const char* name, const char* fileName, int16_t format);
  virtual void DeleteSpooler();

  kxobject::TKxPrinter Printer;
  kxprndest::TPrintDestination PrintDestination;
  std::unique_ptr<TSpooler> Spooler;
  TKxMdiChild* SpoolWnd = nullptr;
  bool ActiveWasZoomed = false;

 private:
  // Ends a preview: children enabled, the window gone, the zoom undone.
  void EndPreview();
};

}  // namespace kxmdi
