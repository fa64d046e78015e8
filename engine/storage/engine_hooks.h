// Services of the engine interface that table storage and the macro language
// reach through procedure variables.
//
// The interface owns the cursors (table views with handles 1 to 50); the
// units linked before it cannot call it, so each service it offers them is a
// slot here that the interface fills when it starts. Until then every slot
// holds a default that acts as an engine without cursors would: the cursor
// services find no valid cursor and change nothing, and the services that
// only concern a table answer from the table itself.
//
// A cursor handle of 0 given with a change means that no cursor made it:
// every cursor over the table then counts as another one.
#pragma once

#include <cstdint>
#include <string_view>

#include "engine/base/shortstr.h"
#include "engine/storage/marklist.h"

namespace EngineHooks {

// The texts MemoToHtml takes: output file, base, unused, image, background.
inline constexpr int kMemoHtmlTexts = 5;

// Error of LinkIdText for a table without an auto-number field.
inline constexpr uint16_t kErrBadIndexDefinition = 98;  // "Fehlerhafte Indexdefinition"
// Answer of the services that need a cursor while no interface is there.
inline constexpr uint16_t kErrIllegalOp = 34;           // "Illegale Operation"

// After a write that changed the table: every other cursor over it is told
// to refresh. Default: nothing (there are no cursors).
using TNotifyTableChangedProc = void (*)(int slot, int cursor);
// After a delete moved the former last record into the deleted record's
// number: the cursors over the table follow. The answer is never the table's
// slot. Default: 0.
using TNotifyRecordMovedProc = uint8_t (*)(int slot, uint32_t deleted, uint32_t formerLast);
// The ID-index key text of the record of a table whose auto number is id;
// empty for id 0 or when no record has it. A table without an auto-number
// field reports 98 with its name and gives the empty text. The table's
// position (current record and key, record buffer, order) is kept. Default:
// LinkIdTextOfTable.
using TLinkIdTextProc = void (*)(int slot, int32_t id, ShortStr& text);
// After all records of a table were deleted: its cursors are reset.
// Default: nothing.
using TResetCursorsProc = void (*)(int slot);
// A language array of REAL elements and the cursor a context value names:
// its saved marks set from the array, or stored into it. Default: no valid
// cursor, nothing happens; the answer is 0.
using TCursorMarksArrayProc = int32_t (*)(int32_t context, double* elements, int32_t count);
// The number of saved marks of the cursor a context value names, -1 without
// a valid cursor. Default: -1.
using TContextCountProc = int32_t (*)(int32_t context);
// Whether a record (0: the cursor's current one) is among the saved marks of
// the cursor a context value names. Default: false.
using TContextValueProc = bool (*)(int32_t context, uint32_t recno);
// Sorts the marked records of a table by a key text; answers 0 or an engine
// error. Default: 34 (no interface to sort through).
using TSortMarksProc = int (*)(int slot, std::string_view keyText, MarkLists::TMarkList& marks);
// A temporary cursor over a table that starts with a copy of the table's
// record buffer, and its release. Default: 0 (none opened) and nothing.
using TOpenTempCursorProc = int8_t (*)(int slot);
using TCloseTempCursorProc = void (*)(int cursor);
// Whether a cursor edits the table (mode 0). Default: false.
using TTableEditStateProc = bool (*)(int mode, int slot);
// Fills the record buffer of another table from the current record of a
// table, field by field of the same name; nothing is written. Answers 0 or
// an engine error (recorded). Default: 34 (no interface to copy through).
using TCopyRecordProc = int (*)(int slot, int target);
// For the highest-numbered cursor over a table: its place (in marked-record
// order the 1-based place of its record among its access marks, 0 when it
// is none of them; otherwise its record number), and the number of its
// access marks. -1 when no cursor stands on the table, as by default.
using TCursorNumberProc = int32_t (*)(int slot);
// Links or embeds a picture or sound file into a blob field; answers the
// blob's length, 0 on failure. Default: 0.
using TLinkBlobFileProc = int32_t (*)(int slot, uint16_t field, std::string_view fileName, double number);
// Converts a memo to HTML with five texts; answers 0 or an engine error.
// Default: 34.
using TMemoToHtmlProc = int (*)(int slot, uint16_t field, const ShortStr* texts);

// Before a table file is opened (path as the open expanded it): a
// restructure of that table that a process left half swapped is finished,
// so that every open finds the old or the new table whole. Default: nothing
// (without the interface no restructure runs).
using TBeforeTableOpenProc = void (*)(std::string_view path);
extern TBeforeTableOpenProc BeforeTableOpen;
extern TNotifyTableChangedProc NotifyTableChanged;
extern TNotifyRecordMovedProc NotifyRecordMoved;
extern TLinkIdTextProc LinkIdText;
extern TResetCursorsProc ResetCursorsOfTable;
extern TCursorMarksArrayProc SetCursorMarksFromArray;
extern TCursorMarksArrayProc GetCursorMarksIntoArray;
extern TContextCountProc ContextCount;
extern TContextValueProc ContextValue;
extern TSortMarksProc SortMarksByKey;
extern TOpenTempCursorProc OpenTempCursor;
extern TCloseTempCursorProc CloseTempCursor;
extern TTableEditStateProc TableEditState;
extern TCopyRecordProc CopyRecordToTable;
extern TCursorNumberProc CursorRecNo;
extern TCursorNumberProc CursorMarkCount;
extern TLinkBlobFileProc LinkBlobFile;
extern TMemoToHtmlProc MemoToHtml;

// The table side of LinkIdText: the lookup through the table's ".INR" index
// without any cache, for the interface to build its cached service on.
void LinkIdTextOfTable(int slot, int32_t id, ShortStr& text);

// Puts every default back.
void UnitInit();
void UnitDone();

}  // namespace EngineHooks
