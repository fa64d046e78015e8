// The compiled image of a database job or program (".DBJ", ".PRG"), and the
// record-loop descriptor that job code carries.
//
// Image layout, little-endian, in this order:
//
//   size        content
//   1           format version, kVersion (18)
//   variable    the variable table (ZetVars::SaveVariableImage)
//   variable    the outside-function declarations (ExtCalls stream form)
//   1           program flag: 1 program, 0 job
//   17          job settings (job only): kind, HE, GP, GC, NL, new-record
//               marker (1 byte each), group variable (u16), footer height
//               (u16), record blocks on the page (u16), PS, page begun, HF,
//               FL, output initialised (1 byte each)
//   36          section table (job only): 9 x u32 code positions, 0 = none
//   533         layout block: page length, page width, left offset, top,
//               right and bottom margin (u16 each), the rest opaque; written,
//               skipped when read
//   4           code length n (u32)
//   n           job code
//
// Code positions are 1-based: position p is byte p - 1 of the code.
//
// Record-loop descriptor (operand of opcode 7; offsets from its first byte):
//   0 u64 loop tables, 8 u64 selection tables, 16 u32 end position,
//   20 u8 sort-key table, 21 u8 default-tables flag, 22 u8 sorted flag,
//   23 u8 text-form flag, 24 u8 SELECTION flag, 25 u16 key length,
//   27 50 bytes sort key, 77 selection (length byte and code).
//
// What holds:
//   1. Reading never goes behind the image: every field is read through a
//      checked reader, and an image that ends early, holds a program flag
//      other than 0 or 1, a code length beyond the code limit or other than
//      the bytes that follow, or a variable table or function list that its
//      owner refuses, is damaged (29). A first byte other than 18 is 29.
//   2. Loaded code is verified before anything runs it (VerifyCode): every
//      statement reachable from a section start or a procedure entry decodes
//      inside the code, every jump and end position lands inside it, every
//      descriptor has its 77 bytes, a key length of at most 260, a sort key
//      whose every part the key compare knows (when sorted) and a selection
//      that fits; a section position or procedure entry outside
//      the code, or a line reference (opcode 10, which only code compiled
//      for an immediate run may hold), is refused with 82. An opcode that
//      names no statement ends its path: the runner reports it (82) when a
//      run reaches it.
//   3. A refused image leaves the outside-function list empty; the variables
//      it read stay in the variable scope that the caller opened for the
//      load, and the caller drops that scope.
//   4. Writing then reading an image gives the same variables, functions,
//      settings, sections and code.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/ramfiles.h"

namespace JobImage {

inline constexpr uint8_t kVersion = 18;
inline constexpr size_t kSectionCount = 9;
inline constexpr size_t kLayoutSize = 533;
inline constexpr size_t kJobSettingsSize = 17;
inline constexpr uint32_t kCodeLimit = 256000;
inline constexpr uint16_t kErrWrongFormat = 29;
inline constexpr uint16_t kErrBadCode = 82;
inline constexpr uint16_t kErrTooComplex = 60;

// Sections of a job: their numbers in the section table (1-based).
enum Section : int {
  kSectionPrelude = 1,  // the code before the first section
  kSectionProlog = 2,
  kSectionHeader = 3,   // page header
  kSectionFooter = 4,   // page footer
  kSectionGroupHeader = 5,
  kSectionGroupFooter = 6,
  kSectionData = 7,     // the record body
  kSectionEpilog = 8,
};

// Statement codes of job code.
enum Opcode : uint8_t {
  opJump = 0,
  opJumpIfFalse = 1,
  opEnd = 2,
  opAssign = 3,
  opCondition = 4,
  opRunCode = 5,
  opComputedArgument = 6,
  opRecordLoop = 7,
  opText = 8,
  opDefBrace = 9,
  opLineRef = 10,
  opPrintSegment = 11,
  opSolve = 12,
  opSetAccess = 15,
  opFilter = 16,
  opPrimaryTable = 17,
  opDotLine = 18,
  opRelation = 19,
  opSelection = 20,
  opAppend = 21,
  opReplace = 22,
  opCompileArgument = 24,
  opExit = 25,
  opLineEnd = 26,
  opDefCode = 27,
  opFont = 30,
  opSetFont = 31,
};

inline constexpr size_t kDescriptorFixed = 77;
inline constexpr size_t kMaxKeyLength = 50;       // the sort key's description
inline constexpr size_t kMaxSortKeyLength = 260;  // the key it makes, record number included

struct TLoopDescriptor {
  uint64_t loopTables = 0;
  uint64_t selectionTables = 0;
  uint32_t endPosition = 0;
  uint8_t keyTable = 0;
  uint8_t defaultTables = 0;
  uint8_t sorted = 0;
  uint8_t textForm = 0;
  uint8_t selectionFlag = 0;
  uint16_t keyLength = 0;
  std::array<uint8_t, kMaxKeyLength> key{};
  std::string selection;  // at most 255 bytes
};
// The descriptor's bytes (fixed part, length byte, selection).
std::string EncodeDescriptor(const TLoopDescriptor& d);
// Reads a descriptor at offset of code; false when it does not fit.
bool DecodeDescriptor(std::string_view code, size_t offset, TLoopDescriptor& d);
// Whether a loop can run with the descriptor: its key length fits a key and,
// when sorted, the key compare knows every part of its sort key.
bool UsableDescriptor(const TLoopDescriptor& d);

struct TJobSettings {
  uint8_t kind = 0, he = 0, gp = 0, gc = 0, nl = 0, newRecord = 0;
  uint16_t groupVariable = 0, footerHeight = 0, blocksOnPage = 0;
  uint8_t ps = 0, pageBegun = 0, hf = 0, fl = 0, outputInitialised = 0;
};

struct TImage {
  bool program = false;
  TJobSettings settings;
  std::array<uint32_t, kSectionCount> sections{};
  std::array<uint8_t, kLayoutSize> layout{};
  std::string code;
};

// Writes the image with the variables of the current scope and the outside
// functions of the loaded program: 0 or the RAM file's error word.
int WriteImage(RamFiles::TRamFile& file, const TImage& image);
// Reads an image: its variables into the current scope, its functions into
// the outside-function list. 0, 29 or 82 (see invariants 1 to 3).
int ReadImage(RamFiles::TRamFile& file, TImage& image);
// Verifies code reachable from the section starts and the entries of the
// current scope's procedures: 0 or 82.
int VerifyCode(std::string_view code, const std::array<uint32_t, kSectionCount>& sections);

}  // namespace JobImage
