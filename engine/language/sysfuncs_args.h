// Argument readers that the system-function handlers share, on top of the
// argument routines of interp.h.
//
// What holds:
//   1. A reader consumes exactly its own argument: "," and one sum of the
//      type (Number, Text), or nothing at all when no "," follows (the Opt
//      forms, which then keep the caller's default).
//   2. A reader answers false after an error; the run error is set and the
//      caller reads no further argument and takes no effect.
//   3. Numbers come as the rounded integer of interp.h's ValueToInteger.
#pragma once

#include <cstdint>

#include "engine/base/shortstr.h"
#include "engine/language/interp.h"

namespace SysFuncs {

inline bool Failed() { return Zet02::RunError() > 0; }

inline void SetReal(Zet02::TRunValue& r, double v) {
  r.type = Zet02::kValReal;
  r.number = v;
  r.text.clear();
}

inline void SetText(Zet02::TRunValue& r, std::string_view text) {
  r.type = Zet02::kValString;
  r.number = 0;
  r.text = text;
}

// "," and a REAL as its rounded integer.
inline bool Number(int32_t& n) {
  Zet02::TRunValue v;
  if (!Zet02::EvalCommaArg(Zet02::kValReal, v)) return false;
  n = Zet02::ValueToInteger(v.number);
  return true;
}

// "," and a STRING.
inline bool Text(ShortStr& s) {
  Zet02::TRunValue v;
  if (!Zet02::EvalCommaArg(Zet02::kValString, v)) return false;
  s = v.text;
  return true;
}

// An optional "," REAL; present tells whether it was there.
inline bool OptNumber(int32_t& n, bool* present = nullptr) {
  Zet02::TRunValue v;
  if (present) *present = false;
  if (!Zet02::EvalNextArg(Zet02::kValReal, v)) return !Failed();
  n = Zet02::ValueToInteger(v.number);
  if (present) *present = true;
  return true;
}

// An optional "," STRING.
inline bool OptText(ShortStr& s, bool* present = nullptr) {
  Zet02::TRunValue v;
  if (present) *present = false;
  if (!Zet02::EvalNextArg(Zet02::kValString, v)) return !Failed();
  s = v.text;
  if (present) *present = true;
  return true;
}

}  // namespace SysFuncs
