// Accelerator tables: keyboard shortcuts as arrays of 6-byte ACCEL records
// behind a handle, the virtual-key codes they name, and TAccTable, the
// owner of one table handle.
//
// What always holds:
//   1. An ACCEL record is exactly 6 bytes: flags widened to 16 bits, the key
//      (a virtual-key code with FVIRTKEY, else a character code) and the
//      command id. The last record of a table carries the end bit 0x80 in
//      its flags; CreateAcceleratorTableA sets it on the last record
//      whatever the caller gave, and CopyAcceleratorTableA hands it out as
//      stored.
//   2. An HACCEL is a Handle whose ids are never handed out twice: a handle
//      kept after DestroyAcceleratorTable names nothing and every call on it
//      fails (copies nothing, answers 0).
//   3. A TAccTable destroys the table it holds exactly when it owns it, on
//      destruction and when a new handle replaces the old one; it never
//      destroys a table it was only lent.
//   4. The virtual-key codes are those of a German keyboard layout where
//      the layout decides them (Ä 0xDE, Ö 0xC0, Ü 0xBA), as the display
//      backends deliver them.
//   5. TranslateAcceleratorA takes a key message that a record matches:
//      a virtual key on WM_KEYDOWN/WM_SYSKEYDOWN with exactly the record's
//      Shift, Ctrl and Alt, or a character on WM_CHAR/WM_SYSCHAR. When the
//      command is an item of the window's menu bar, the pop-ups on the way
//      to it get WM_INITMENUPOPUP first (their enablers run); a disabled or
//      grayed item swallows the key without a command. Otherwise the
//      window gets WM_COMMAND with 1 in the high word.
#pragma once

#include <cstdint>

#include "platform/resources/resources.h"
#include "platform/win/winuser.h"

namespace win {

struct AccelTag;
using HACCEL = Handle<AccelTag>;

struct ACCEL {
  uint16_t fVirt = 0;
  uint16_t key = 0;
  uint16_t cmd = 0;
};
static_assert(sizeof(ACCEL) == 6);

constexpr uint16_t FVIRTKEY = 0x01;
constexpr uint16_t FNOINVERT = 0x02;
constexpr uint16_t FSHIFT = 0x04;
constexpr uint16_t FCONTROL = 0x08;
constexpr uint16_t FALT = 0x10;
constexpr uint16_t FACCEL_END = 0x80;

constexpr UINT VK_PRIOR = 0x21;
constexpr UINT VK_NEXT = 0x22;
constexpr UINT VK_F12 = 0x7B;
constexpr UINT VK_OEM_1 = 0xBA;  // Ü
constexpr UINT VK_OEM_3 = 0xC0;  // Ö
constexpr UINT VK_OEM_7 = 0xDE;  // Ä

// A table of count records (count >= 1); the null handle for none.
HACCEL CreateAcceleratorTableA(const ACCEL* records, int count);
// With a null target: the number of records. Otherwise copies at most count
// records and answers how many were copied.
int CopyAcceleratorTableA(HACCEL table, ACCEL* target, int count);
bool DestroyAcceleratorTable(HACCEL table);
// A table from an accelerator resource; the null handle for none.
HACCEL LoadAcceleratorsA(const platform::ResId& id);
// Rule 5: true when the message was taken.
bool TranslateAcceleratorA(HWND hwnd, HACCEL table, const MSG* msg);

class TAccTable {
 public:
  TAccTable() = default;
  TAccTable(HACCEL handle, bool owned) : Handle(handle), Owned(owned) {}
  ~TAccTable() { Release(); }
  TAccTable(const TAccTable&) = delete;
  TAccTable& operator=(const TAccTable&) = delete;

  // Destroys the old table when it was owned, then holds the new one.
  void SetHandle(HACCEL handle, bool owned) {
    Release();
    Handle = handle;
    Owned = owned;
  }
  HACCEL GetHandle() const { return Handle; }
  bool IsOwned() const { return Owned; }

 private:
  void Release() {
    if (Owned && Handle) DestroyAcceleratorTable(Handle);
    Handle = HACCEL();
    Owned = false;
  }
  HACCEL Handle;
  bool Owned = false;
};

}  // namespace win
