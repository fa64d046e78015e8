// Records written in place so that a process killed (or a machine stopped)
// in the middle of the write leaves the record old or new, never a mix.
//
// The system copies a write into the file page by page (4 KiB) and stops
// between two pages for a kill; a machine that stops may keep one page of a
// write and lose the other. A record that crosses a page boundary can so be
// left with its first part new and the rest old. Scrambled, such a record
// reads as noise throughout: a number, a text, a memo link nobody wrote,
// which the repair at open then takes into every index.
//
// The guard file, beside the table file as "<name>.$$W" (never scrambled):
//
//   offset       size     field
//   0            4        kMagic
//   4            8        position of the record in the table file
//   12           2        length L of the record
//   14           L        the record's bytes as the file held them before
//   14 + L       L        the bytes written over them
//   14 + 2L      4        check sum of the bytes before it (FNV-1a)
//
// What always holds:
//   1. Before a record that crosses a page boundary is written over bytes
//      the file holds whole (and that differ from it), the guard file names
//      both forms of it and is synced (when syncs are on) before the
//      record's write starts. A record that does not cross a boundary, or
//      that the file does not hold whole yet (an append), is written plainly:
//      it cannot be torn into a mix, or a mix lies beyond the count.
//   2. A guard file stays until the table is closed (or until the open after
//      a crash has used it); each guarded write replaces it, writing over
//      it in place while the file stays open from the write before.
//   3. Repair (at an open that may write the table): when the record the
//      guard names is, page part by page part, the old or the new form and
//      not wholly either, the old form is written back and synced; a record
//      wholly old or wholly new (whatever wrote it since) is left alone, so
//      a stale guard file changes nothing. The old form is the one kept: a
//      cut-short write had not returned, and a delete's move undone leaves
//      no record twice. The guard file is then removed.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "engine/base/lowfiles.h"

namespace RecordGuard {

inline constexpr uint32_t kMagic = 0x57475A52;  // "RZGW"
inline constexpr std::string_view kExtension = ".$$W";

// The guard file of the table file at tablePath.
std::string GuardPath(std::string_view tablePath);
// Whether length bytes at position cross a page boundary of the file.
bool CrossesPage(uint64_t position, size_t length);

// Writes a record's bytes as stored (scrambled already) at position of the
// table file, through the guard file when rule 1 asks for it. Answers the
// low-level error word (0, 2, 3).
int16_t WriteRecord(LOWFILES::TLowFile& table, std::string_view guardPath, uint64_t position,
                    const uint8_t* stored, uint16_t length);
// Rule 3. Answers 0 or the low-level error word of a failed repair (the
// guard file then stays for the next open).
int16_t Repair(LOWFILES::TLowFile& table, std::string_view guardPath);
// Removes the guard file when there is one, once the table file is synced
// (the record it guards is then durable).
void Remove(LOWFILES::TLowFile& table, std::string_view guardPath);

}  // namespace RecordGuard
