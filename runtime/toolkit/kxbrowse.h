// Buttons beside an edit control: the file browse button, the folder button
// and the question-mark button.
//
// What always holds:
//   1. TBrowseButton starts the open-file question in the drive and
//      directory of the edit's text (the directory keeps its backslashes:
//      "C:\DATA\KUNDEN.DAT" starts in "C:\DATA\"), with a new 260-byte
//      file-name buffer in the caller's record each click (the old one is
//      freed). On OK the edit gets the chosen path, or only its drive and
//      directory with DirOnly; any other answer leaves the edit as it was.
//   2. TFolderBtn asks the folder question (which starts at its own root)
//      into a 256-byte buffer, at most 255 characters; the edit, when there
//      is one, gets the folder; a cancel leaves it.
//   3. TListBtn posts its command to the parent on the press, not on the
//      release, and never sinks by itself: only SetPressed changes its look.
#pragma once

#include <string>

#include "platform/framework/dialog.h"

namespace kxbrowse {

// The drive and directory of a path, as a path splitter gives them.
std::string DriveAndDirectory(const std::string& path);

class TBrowseButton : public fw::TButton {
 public:
  TBrowseButton(fw::TWindow* parent, int resourceId, fw::TOpenSaveData* fileData, fw::TEdit* edit, bool dirOnly);
  void BNClicked() override;

  fw::TEdit* Edit;
  fw::TOpenSaveData* FileData;
  bool DirOnly;
};

class TFolderBtn : public fw::TButton {
 public:
  TFolderBtn(fw::TWindow* parent, int id, const char* text, int x, int y, int w, int h, bool isDefault,
             fw::TEdit* edit);
  TFolderBtn(fw::TWindow* parent, int resourceId, fw::TEdit* edit);
  void BNClicked() override;

  fw::TEdit* Edit;
};

class TListBtn : public fw::TWindow {
 public:
  TListBtn(fw::TWindow* parent, int id, int x, int y, int w, int h);
  bool Find(fw::TEventInfo& e) override;
  void Paint(win::Dc& dc, bool erase, win::RECT& rect) override;
  void EvLButtonDown(win::UINT modifiers, win::POINT point);
  void SetPressed(bool pressed);
  bool Pressed = false;

 protected:
  const char* GetClassName() override { return "Widget"; }
  void GetWindowClass(win::WNDCLASS& wc) override;
};

}  // namespace kxbrowse
