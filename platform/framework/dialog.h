// TDialog and the framework's objects over the standard controls: TStatic,
// TButton, TEdit and TListBox.
//
// What always holds:
//   1. A TDialog is made from its dialog resource by the dialog manager; the
//      object is bound to the dialog window before the window's first
//      message. SetupWindow runs on WM_INITDIALOG, when the template's
//      controls exist: it binds the alias children (objects made with a
//      resource id) to them, then transfers data into them. After it the
//      dialog manager focuses the first tab stop.
//   2. IDOK runs CmOk: CanClose (the AND over the children), then the
//      transfer out of the controls, then the dialog closes with IDOK. A
//      refusal of CanClose leaves everything as it was. IDCANCEL and WM_CLOSE
//      close with IDCANCEL and transfer nothing.
//   3. Execute runs the dialog modally and answers the value it closed with,
//      or -1 when the resource is missing or the dialog could not be made.
//      The dialog keys (IsDialogMessage) reach it through PreProcessMsg.
//   4. WM_MEASUREITEM and WM_DRAWITEM that no table of the parent takes go
//      to the control object of the control that sent them (MeasureItem,
//      DrawItem), found by the record's window or id.
//   5. A control object leaves painting to its control's class unless its
//      own table answers WM_PAINT.
//   6. Control objects keep no state of their own beyond their settings:
//      the text, checks and items live in the controls. A TEdit's text
//      limit counts the terminating zero (a limit of n holds n - 1
//      characters), and its transfer takes exactly that many bytes. A
//      check box or radio button takes one 16-bit word: its check state
//      (0 unchecked, 1 checked, 2 indeterminate).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/controls/dialog.h"
#include "platform/framework/window.h"

namespace fw {

class TDialog : public TWindow {
 public:
  TDialog(TWindow* parent, const platform::ResId& resource);

  bool Find(TEventInfo& e) override;
  LRESULT WindowProc(UINT msg, WPARAM wParam, LPARAM lParam) override;
  bool PreProcessMsg(win::MSG& msg) override;

  void CmOk();
  void CmCancel();
  const platform::ResId& GetResourceId() const { return resource_; }

 protected:
  const char* GetClassName() override { return win::kDialogClass; }
  HWND DoCreate(HWND parent, bool hidden) override;

 private:
  platform::ResId resource_;
};

// The common part of the control objects: the class and the window text.
class TControl : public TWindow {
 public:
  TControl(TWindow* parent, int id, const char* text, int x, int y, int w, int h, const char* className,
           win::DWORD style);
  TControl(TWindow* parent, int resourceId, const char* className);

  std::string GetText() const { return win::GetWindowText(GetHandle()); }
  void SetText(const char* text) { win::SetWindowText(GetHandle(), text ? text : ""); }
  // The control's own class paints it, made from a resource or not, unless
  // a table of a derived class answers WM_PAINT.
  bool Find(TEventInfo& e) override;

  // An owner-drawn control's own answers to the WM_MEASUREITEM and
  // WM_DRAWITEM its window sends the parent (the parent's window hands them
  // on when its tables leave them); by default nothing changes.
  virtual void MeasureItem(win::MEASUREITEMSTRUCT& item) { (void)item; }
  virtual void DrawItem(win::DRAWITEMSTRUCT& item) { (void)item; }

 protected:
  const char* GetClassName() override { return className_; }

 private:
  const char* className_;
};

class TStatic : public TControl {
 public:
  TStatic(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit = 0);
  TStatic(TWindow* parent, int resourceId, int textLimit = 0);
  size_t Transfer(void* data, TTransferDirection direction) override;

 private:
  int textLimit_;
};

class TButton : public TControl {
 public:
  TButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault = false);
  TButton(TWindow* parent, int resourceId);
  bool Find(TEventInfo& e) override;
  // The click the button answers itself (BN_CLICKED at the button).
  virtual void BNClicked() {}
};

class TCheckBox : public TControl {
 public:
  TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h);
  TCheckBox(TWindow* parent, int resourceId);
  size_t Transfer(void* data, TTransferDirection direction) override;

  uint16_t GetCheck() const { return uint16_t(win::SendMessage(GetHandle(), win::BM_GETCHECK)); }
  void SetCheck(uint16_t state) { win::SendMessage(GetHandle(), win::BM_SETCHECK, state); }

 protected:
  TCheckBox(TWindow* parent, int id, const char* text, int x, int y, int w, int h, win::DWORD kind);
};

class TRadioButton : public TCheckBox {
 public:
  TRadioButton(TWindow* parent, int id, const char* text, int x, int y, int w, int h);
  TRadioButton(TWindow* parent, int resourceId) : TCheckBox(parent, resourceId) {}
};

class TEdit : public TControl {
 public:
  TEdit(TWindow* parent, int id, const char* text, int x, int y, int w, int h, int textLimit = 0);
  TEdit(TWindow* parent, int resourceId, int textLimit = 0);
  void SetupWindow() override;
  size_t Transfer(void* data, TTransferDirection direction) override;

  int GetTextLimit() const { return textLimit_; }
  bool IsModified() const { return win::SendMessage(GetHandle(), win::EM_GETMODIFY) != 0; }
  void ClearModify() { win::SendMessage(GetHandle(), win::EM_SETMODIFY, 0); }

 private:
  int textLimit_;
};

// The open-file dialog's record: flags, the file-name buffer (replaced by
// whoever asks again), the filter and the initial directory.
struct TOpenSaveData {
  uint32_t Flags = 0;
  std::unique_ptr<char[]> FileName;
  int MaxPath = 0;  // the size of FileName, NUL included
  std::string Filter;
  const char* InitialDir = nullptr;
};
constexpr uint32_t OFN_HIDEREADONLY = 0x4;
constexpr uint32_t OFN_FILEMUSTEXIST = 0x1000;

// Asks the open-file question for the record; on OK the chosen path goes
// into its file-name buffer (cut to MaxPath - 1). Answers IDOK or IDCANCEL.
int ExecuteFileOpen(TWindow* parent, TOpenSaveData& data, const char* title);

class TListBox : public TControl {
 public:
  TListBox(TWindow* parent, int id, int x, int y, int w, int h);
  TListBox(TWindow* parent, int resourceId);

  int AddString(const char* text);
  int GetCount() const;
  int GetSelIndex() const;
  int SetSelIndex(int index);
  std::string GetString(int index) const;
  void ClearList();
};

}  // namespace fw
