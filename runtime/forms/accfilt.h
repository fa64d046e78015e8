// The accelerator filter of a form: the key combinations that replace the
// main window's accelerators while the form is active, each sending a
// standard command or an additional command of the form, and the display
// text of a key combination ("Umschalt+Strg+F5").
//
// What always holds:
//   1. The filter owns its definitions; a definition owns its command name
//      (a new[] text or null). An unfiltered filter (count -1 in the file)
//      holds no definitions and keeps the standard accelerators.
//   2. Flags are the accelerator flags (FVIRTKEY 1, FSHIFT 4, FCONTROL 8,
//      FALT 16) without the table's end bit: a filter made from a table
//      drops 0x80, and CreateAccelTable sets it on the last record only.
//   3. Reading never trusts the file: a count below -1 or one whose
//      definitions cannot fit in the bytes left marks the stream failed
//      before anything is made. Ids from files before version 19 are
//      translated like the menu filter's.
//   4. KeyText never writes past its buffer: the modifiers, then the key
//      name (at most 10 characters), joined by "+".
//
// The record: count i16 (-1 unfiltered); per definition: command id u16,
// key u16, flags u8, command name string.
#pragma once

#include <cstdint>

#include "platform/win/accel.h"
#include "runtime/forms/menufilt.h"
#include "runtime/toolkit/kxobject.h"
#include "runtime/toolkit/kxstream.h"

namespace forms {

using kxobject::TKxStream;

class TAccelDef : public kxobject::TKxObject {
 public:
  TAccelDef(uint16_t id, uint16_t key, uint8_t flags, const char* name);
  TAccelDef(const TAccelDef& other);
  TAccelDef& operator=(const TAccelDef&) = delete;
  ~TAccelDef() override;

  virtual void Write(TKxStream& stream) const;

  uint16_t Id;
  uint16_t Key;
  uint8_t Flags;
  char* Name = nullptr;
};

class TAccelFilter : public TFilterCollection {
 public:
  explicit TAccelFilter(int32_t limit = 10, int32_t delta = 10);
  TAccelFilter(const TAccelFilter& other);
  // One definition per record of the table; unfiltered.
  explicit TAccelFilter(win::HACCEL table);
  ~TAccelFilter() override { FreeAll(); }

  void FreeItem(void* item) override;
  virtual void Read(TKxStream& stream, int16_t version);

  TAccelDef* DefAt(int32_t index) const { return static_cast<TAccelDef*>(At(index)); }

  // A table of the definitions, in order, handed to table (which owns it);
  // false when there is no definition to make one of.
  bool CreateAccelTable(win::TAccTable& table) const;
  // The display text of the definition's key combination.
  static char* KeyText(const TAccelDef& def, char* buffer, int32_t size);

 private:
  void WriteItem(TKxStream& stream, int32_t index) const override { DefAt(index)->Write(stream); }
};

}  // namespace forms
