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
// A delete moves the last record into the deleted one's place and then
// writes the smaller count; a stop between the two leaves the moved record
// twice, whether or not it names a memo or blob chain that would tell.
//
// The guard file, beside the table file as "<name>.$$W" (never scrambled):
//
//   offset       size     field
//   0            4        kMagic (0 once retired, rule 4)
//   4            8        position of the record in the table file
//   12           2        length L of the record
//   14           4        for a delete's move: the record count the file
//                         holds while it is written (the moved record's
//                         number); 0 for any other write
//   18           L        the record's bytes as the file held them before
//   18 + L       L        the bytes written over them
//   18 + 2L      4        check sum of the bytes before it (FNV-1a)
//
// What always holds:
//   1. Before a record that crosses a page boundary is written over bytes
//      the file holds whole (and that differ from it), the guard file names
//      both forms of it and is synced (when syncs are on) before the
//      record's write starts. A record that does not cross a boundary, or
//      that the file does not hold whole yet (an append), is written plainly:
//      it cannot be torn into a mix, or a mix lies beyond the count. A
//      delete's move is always written through the guard, with its count.
//   2. A guard file stays until the table is closed (or until the open after
//      a crash has used it); each guarded write replaces it, writing over
//      it in place while the file stays open from the write before.
//   3. Repair (at an open that may write the table): when the record the
//      guard names is, page part by page part, the old or the new form and
//      not wholly either, the old form is written back and synced; a record
//      wholly old or wholly new (whatever wrote it since) is left alone, so
//      a stale guard file changes nothing. The old form is the one kept: a
//      cut-short write had not returned, and a delete's move undone leaves
//      no record twice. A delete's move found wholly new is finished
//      instead when the file still counts the moved record and holds it
//      unchanged at its old place: the count goes down by one (the caller's
//      part). The guard file is then removed.
//   4. Once the smaller count of a delete is written, the guard of its move
//      is retired (the table file synced first, then the magic cleared), so
//      that a later record appended with the same bytes at the old place is
//      never taken for the moved one.
#pragma once

#include <cstdint>
#include <functional>
#include <span>
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
// table file, through the guard file when rule 1 asks for it; movedFrom is
// the count of a delete's move (rule 1), else 0. Answers the low-level
// error word (0, 2, 3).
int16_t WriteRecord(LOWFILES::TLowFile& table, std::string_view guardPath, uint64_t position,
                    const uint8_t* stored, uint16_t length, uint32_t movedFrom = 0);
// Finishes a delete whose move the guard found whole (rule 3): given the
// count the file held and the moved record as stored, it lowers the count
// when the file still holds that count with the record at its old place.
// Answers the low-level error word.
using TFinishMove = std::function<int16_t(uint32_t count, std::span<const uint8_t> stored)>;
// Rule 3. Answers 0 or the low-level error word of a failed repair (the
// guard file then stays for the next open).
int16_t Repair(LOWFILES::TLowFile& table, std::string_view guardPath, const TFinishMove& finishMove);
// Rule 4, for the table's guard file when the last guarded write was a
// delete's move. Answers 0 or the low-level error word.
int16_t Retire(LOWFILES::TLowFile& table, std::string_view guardPath);
// Removes the guard file when there is one, once the table file is synced
// (the record it guards is then durable).
void Remove(LOWFILES::TLowFile& table, std::string_view guardPath);

}  // namespace RecordGuard
