// The system functions of Lumo: the handlers of the function groups that
// the compiler writes as call opcodes (200 dates, 201 one text, 202 one
// number, 203 tables and records, 204 text files, 205 serial ports, 206 two
// texts, 207 miscellaneous, 209 print attributes, 220 table-context
// functions).
//
// Each group lives in a file of its own, which installs its handlers with
// Zet02::SetGroupHandler when the SysFuncs unit starts. A handler is called
// at the code position behind the function number, with the result preset
// to REAL 0, and reads its own arguments through the argument routines of
// interp.h, so that what a handler accepts is exactly its parameter list.
//
// What holds for every handler:
//   1. Arguments are read left to right; after the first error the rest are
//      not read and the function's effect is skipped.
//   2. Effects outside the result (files, tables, marks, devices, output,
//      the host) happen only with the apply flag; without it the function
//      delivers the neutral value of its result type (0 or the empty text).
//   3. A function number that a group does not know is error 34, the same
//      as a group without a handler.
#pragma once

namespace SysFuncs {

// Installers, one per family; each sets the handlers of its groups.
void RegisterTextFunctions();   // groups 200, 201, 202, 206, 209
void RegisterTableFunctions();  // groups 203, 220
void RegisterMiscFunctions();   // groups 204, 205, 207

// The lock of the notes (Note and 207/72): while it is set a note keeps its
// text.
void SetNoteLock(bool locked);

}  // namespace SysFuncs
