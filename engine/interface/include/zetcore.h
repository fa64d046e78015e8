/* Public C interface of the zetcore engine.
 *
 * A host program logs in, opens relations (tables), opens cursors on them
 * and works through the cursors: it moves them through their records, reads
 * and writes fields and appends, edits and deletes records.
 *
 * Conventions that hold for every function declared here:
 *
 *   Results.  Every function answers an int32_t: 0 for success, a handle,
 *     count or number where the function yields one, or a negative code for a
 *     failure (minus an engine error number, or one of the interface codes
 *     listed below). A function that yields nothing answers 0.
 *
 *   Handles.  Handles are small integers, never pointers.
 *     - A relation handle names an open table: 1 <= h <= ZetGetNumRelations().
 *       A function given any other value answers -17.
 *     - A cursor handle names a cursor: 1 <= h <= 50 and the slot in use.
 *       A function given any other value (0, 51, -1, a deleted cursor)
 *       answers -101 and touches nothing; ZetTableAttach and ZetTableRestore
 *       then do nothing. A freed slot is handed out again by the next
 *       ZetTableCreate (lowest free slot first).
 *     Handle, count and capacity arguments are checked at their full width.
 *
 *   Texts in.  Zero-terminated, Windows-1252. A NULL text is the empty text.
 *     Texts are cut at 255 characters, or narrower where a function says so
 *     (access codes 10 characters, upper-cased on a copy; field names 40).
 *
 *   Texts out.  The caller passes a buffer and a capacity: the number of
 *     characters that may be written before the terminating zero, so the
 *     buffer holds capacity + 1 bytes (pass sizeof(buffer) - 1). The text is
 *     cut to the capacity and always terminated. Capacity 0 writes only the
 *     zero; a negative capacity or a NULL buffer writes nothing.
 *
 *   Last error.  A failing function records the engine's error number and
 *     its German message. ZetGetLastError answers minus that number, copies
 *     the message and clears both: a second call answers 0 and "".
 *
 *   Progress.  ZetProgressProc(done, total) is called first with (0, total),
 *     then every hundredth of the work; an answer of 1 stops the operation.
 *     NULL is allowed wherever a progress procedure is taken.
 *
 *   Threads.  One caller at a time; nothing is locked. ZetLogin admits one
 *     client per process.
 *
 * Interface codes (besides minus an engine error number):
 *   -1  client already logged in; the record is edited through another
 *       cursor (ZetTableEdit); record order (ZetTableGetAccessIndex)
 *   -2  no free cursor slot; 62 tables open; marked order (GetAccessIndex)
 *   -5  deleting the record failed        -7  field or expression unknown
 *   -10 unknown field                     -11 no record / end of the order
 *   -12 wrong access code                 -15 unknown access order
 *   -16 unknown index name                -17 invalid relation handle
 *   -19 not possible on this table        -20 file set could not be deleted
 *   -22 no identifier field or index      -23 field of the wrong type
 *   -25 writing the record failed         -26 duplicate key in a unique index
 *   -27 index in use by a cursor          -30 no write right on the file
 *   -31 record edited through another cursor
 *   -32 index not available               -33 empty record not appended
 *   -38 edit confirmed without a change, without a record or read-only
 *   -101 invalid cursor handle            -201 the order holds no record
 *   -203 field value or description does not exist
 */
#ifndef ZETCORE_H
#define ZETCORE_H

#include <stdint.h>

#if defined(__GNUC__)
#define ZET_EXPORT __attribute__((visibility("default")))
#else
#define ZET_EXPORT
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* One argument of a call through the value stack: mode 'V' (by reference) or
   ' ', type 'R', 'I', 'S' or ' ', and where the value lies in the stack (null
   for a blank type). A table of them describes the result slot, an 8-byte
   real slot and then each parameter in signature order. */
typedef struct ZetArgDescriptor {
  char mode;
  char type;
  uint8_t* value;
} ZetArgDescriptor;

/* A host command as the host registers it: id, name (at most 40 characters),
   one type letter per parameter (at most 20), parameter count and the result
   type letter (a blank when the command yields nothing). The texts need not be
   zero-terminated when they fill their arrays. */
typedef struct ZetCommandRecord {
  uint16_t id;
  char name[41];
  char params[21];
  uint16_t count;
  char result;
} ZetCommandRecord;

/* The host's call-backs for registered commands and host objects. Exec runs
   a registered command (kind 230); lookup answers an id above 0 for a name the
   host knows (flag 0 for a bare name, else the kind of the object before the
   "."); describe fills a 100-byte area: the member's name (zero-terminated) at
   0, at 41 a byte that is not 0 when the member yields a value, at 42 a
   32-bit kind, from 48 a zero-terminated signature. */
typedef int16_t (*ZetExecCommandProc)(int32_t kind, uint16_t id, ZetArgDescriptor* args);
typedef int16_t (*ZetLookupProc)(uint16_t flag, const char* name);
typedef int16_t (*ZetDescribeProc)(uint16_t flag, uint16_t id, char* description);
/* Dispatch 3 and 5 run a member of a host object: (object handle, member id,
   descriptors); dispatch 4 has the same form and is only stored. */
typedef int16_t (*ZetDispatchProc)(double object, uint16_t id, ZetArgDescriptor* args);

/* Progress of a long operation (see the conventions above). */
typedef int32_t (*ZetProgressProc)(int32_t done, int32_t total);

/* What ZetTableGetFieldSpec tells of one user field (560 bytes).
   flags: 1 formula, 2 value range, 4 evaluated on every write, 8 may be
   empty. formula: the formula text, or for a value range the lower value, CR
   LF and the upper value. extra: a choice field's choices separated by ",";
   an automatic-number field's identifier index description. type: the type
   code (0 is reported as 1); size: a text's length, a real's decimals, else
   1. */
typedef struct ZetFieldSpec {
  int16_t index;
  char name[41];
  uint8_t flags;
  char formula[256];
  char extra[256];
  uint16_t type;
  uint16_t size;
} ZetFieldSpec;

/* What ZetRltnGetInfo tells of a relation. Sizes in KB (rounded down);
   total counts the data, index, memo and blob files together. */
typedef struct ZetRltnInfo {
  char name[128];
  char directory[144];
  uint32_t recordCount;
  uint16_t userFields;
  uint16_t recordLength;
  uint32_t dataKB;
  uint32_t totalKB;
  uint8_t flags[2];
} ZetRltnInfo;

/* What ZetIndexGetInfo tells of an index (156 bytes), from its B-tree
   header: key length without the record number, order (entries per page
   at least), tree height, order x 65534 as low and high halves, page size. */
typedef struct ZetIndexInfo {
  char name[144];
  uint16_t keyLength;
  uint16_t order;
  uint16_t height;
  uint16_t capacity[2];
  uint16_t pageSize;
} ZetIndexInfo;

#ifdef __cplusplus
static_assert(sizeof(ZetFieldSpec) == 560, "ZetFieldSpec layout");
static_assert(sizeof(ZetRltnInfo) == 292, "ZetRltnInfo layout");
static_assert(sizeof(ZetIndexInfo) == 156, "ZetIndexInfo layout");
#else
_Static_assert(sizeof(ZetFieldSpec) == 560, "ZetFieldSpec layout");
_Static_assert(sizeof(ZetRltnInfo) == 292, "ZetRltnInfo layout");
_Static_assert(sizeof(ZetIndexInfo) == 156, "ZetIndexInfo layout");
#endif

/* ---- Login, last error, engine state ------------------------------------ */

/* Registers the client: 0, or -1 when a client is logged in already. */
ZET_EXPORT int32_t ZetLogin(uint32_t clientId);
/* Clears the registration when clientId is the registered one. */
ZET_EXPORT int32_t ZetLogout(uint32_t clientId);
/* 4003. */
ZET_EXPORT int32_t ZetGetVersion(void);
/* The last error word (minus the error number, 0 for none) and its text;
   both are cleared. */
ZET_EXPORT int32_t ZetGetLastError(char* buffer, int32_t capacity);
/* The line of the last compile error and its 0-based position; 0 and ""
   when none is held. Nothing is cleared. */
ZET_EXPORT int32_t ZetGetLastErrorPos(char* buffer, int32_t capacity);
/* Save and restore the current table, the linked-read chain and the
   position of each chained table. Pushes and pops nest and must pair. */
ZET_EXPORT int32_t ZetPushState(void);
ZET_EXPORT int32_t ZetPopState(void);
/* Page size of new index files (512..32768) and block size of new blob
   files (16..1024); a value outside its range keeps the current one. */
ZET_EXPORT int32_t ZetSetSystemSettings(int32_t indexPageSize, int32_t blobBlockSize);
ZET_EXPORT int32_t ZetStopSend(void);
ZET_EXPORT int32_t ZetContSend(void);
/* The relation handle of an open table by file name (as given, then with
   ".DAT", then ".REL"); 0 when none. */
ZET_EXPORT int32_t ZetGetRltnHdl(const char* relationName);
/* Deletes a table file set and its relation tables: 0; -12 wrong access
   code; -20 other failure, also for a file set that is open. */
ZET_EXPORT int32_t ZetDeleteDatFile(const char* fileName, const char* accessCode, uint32_t tableKey);
/* Scramble and restore a buffer in place with a key. */
ZET_EXPORT int32_t ZetEncrypt(void* buffer, int32_t length, int32_t key);
ZET_EXPORT int32_t ZetDecrypt(void* buffer, int32_t length, int32_t key);
/* Cuts a text to 10 characters and scrambles it in place (the buffer must
   hold 11 bytes); NULL is ignored. */
ZET_EXPORT int32_t ZetScrambleString(char* text);

/* ---- Relations and their indexes ----------------------------------------- */

ZET_EXPORT int32_t ZetGetNumRelations(void);
/* Opens a table file: the new relation handle; -2 62 tables are open; -12
   wrong access code; -30 no write right; -1 other failure. openMode: rights
   bits 1 append, 2 write, 4 delete, 8 maintain indexes (any of them opens
   the file for writing, others may only read it). */
ZET_EXPORT int32_t ZetRltnOpen(const char* fileName, const char* accessCode, uint32_t tableKey,
                               int32_t openMode);
/* Closes the relation and every one opened after it: 0, minus the first
   close error, -17. */
ZET_EXPORT int32_t ZetRltnClose(int32_t relation);
ZET_EXPORT int32_t ZetRltnCloseAll(void);
/* File name without directory; withExtension 0 cuts it before the first
   ".". */
ZET_EXPORT int32_t ZetRltnGetName(int32_t relation, char* buffer, int32_t capacity, int32_t withExtension);
ZET_EXPORT int32_t ZetRltnGetDir(int32_t relation, char* buffer, int32_t capacity);
/* The parent relation's handle, 0 for none; -17. */
ZET_EXPORT int32_t ZetRltnGetParentRltn(int32_t relation, char* buffer, int32_t capacity);
/* The relation's link index slot; -17. */
ZET_EXPORT int32_t ZetRltnGetLinkIndex(int32_t relation);
/* The file name of the relation table of a relation field: 0; -10; -17. */
ZET_EXPORT int32_t ZetRltnGetRelationTableName(int32_t relation, const char* fieldName, char* buffer,
                                               int32_t capacity);
/* 1 for a relation with an identifier (automatic-number) field, else 0. */
ZET_EXPORT int32_t ZetRltnIsAdlRltn(int32_t relation);
/* The index names separated by "," (whole names only); -17. */
ZET_EXPORT int32_t ZetRltnGetIndexNames(int32_t relation, char* buffer, int32_t capacity);
/* The key description of a named index; answers its unique flag (1 or 0);
   -16 unknown name; -17; -32 index not available. */
ZET_EXPORT int32_t ZetRltnGetIndexDesc(int32_t relation, const char* indexName, char* buffer, int32_t capacity,
                                       int32_t detail);
/* Creates a user index: 0; 1 asked unique but built non-unique (error 30);
   -16 not created; -17. */
ZET_EXPORT int32_t ZetRltnCreateIndex(int32_t relation, const char* indexName, const char* keyDescription,
                                      int32_t unique, ZetProgressProc progress);
/* Deletes a user index: 0; -16; -17; -27 a cursor walks by it. */
ZET_EXPORT int32_t ZetRltnDeleteIndex(int32_t relation, const char* indexName);
/* Rebuilds one index (NULL: all): minus the engine error, 0; -17. */
ZET_EXPORT int32_t ZetRltnRefreshIndex(int32_t relation, const char* indexName, ZetProgressProc progress);
/* Fills the record; a bad handle writes nothing (answer -17). */
ZET_EXPORT int32_t ZetRltnGetInfo(int32_t relation, ZetRltnInfo* info);
/* Zeroes the record and fills it for a named, available index (names
   without regard to case); a bad handle writes nothing (answer -17). */
ZET_EXPORT int32_t ZetIndexGetInfo(int32_t relation, const char* indexName, ZetIndexInfo* info);

/* ---- Cursors ------------------------------------------------------------- */

/* A new cursor (lowest free slot) without a current record: its handle;
   -17; -2 all 50 in use. */
ZET_EXPORT int32_t ZetTableCreate(int32_t relation);
ZET_EXPORT int32_t ZetTableDelete(int32_t cursor);
/* A new cursor on the same table, without record, in record order. */
ZET_EXPORT int32_t ZetTableClone(int32_t cursor);
/* Takes the table's state into the cursor / puts the cursor's into the
   table. */
ZET_EXPORT int32_t ZetTableAttach(int32_t cursor);
ZET_EXPORT int32_t ZetTableRestore(int32_t cursor);
/* Makes the cursor's table the primary table and the cursor the active
   cursor. */
ZET_EXPORT int32_t ZetSetPrimaryTable(int32_t cursor);
ZET_EXPORT int32_t ZetTableGetRltnHdl(int32_t cursor);
ZET_EXPORT int32_t ZetTableGetRltnName(int32_t cursor, char* buffer, int32_t capacity, int32_t withExtension);
ZET_EXPORT int32_t ZetTableGetRltnVersion(int32_t cursor);
ZET_EXPORT int32_t ZetTableGetNumFields(int32_t cursor);

/* ---- Access orders and navigation ---------------------------------------- */

/* "Nummer" record order, "Markierung" marked order, else an index name
   (without regard to case): 0; -15; -101. */
ZET_EXPORT int32_t ZetTableSetAccess(int32_t cursor, const char* accessName, int32_t moveMarks);
ZET_EXPORT int32_t ZetTableGetAccess(int32_t cursor, char* buffer, int32_t capacity);
/* The index slot in index order; -1 record order; -2 marked order. */
ZET_EXPORT int32_t ZetTableGetAccessIndex(int32_t cursor);
/* 1 all linked records found; 0 some not; -201 the order holds no record;
   -11 the record could not be read. */
ZET_EXPORT int32_t ZetTableFirst(int32_t cursor);
ZET_EXPORT int32_t ZetTableLast(int32_t cursor);
/* As ZetTableFirst; -11 the end was reached before the last step (the
   cursor stays on the last record reached). */
ZET_EXPORT int32_t ZetTableMoveBy(int32_t cursor, int32_t steps);
/* To the next (direction >= 1) or previous user-marked record in the
   access order: 1 or 0; -11 none (the cursor stays). */
ZET_EXPORT int32_t ZetTableGotoMark(int32_t cursor, int32_t direction);
/* The record number; -11 (n < 1, not marked in marked order, or unreadable:
   the cursor stays where it was). A number above the count goes to the
   last record. */
ZET_EXPORT int32_t ZetTableSetRecNo(int32_t cursor, int32_t recno);
ZET_EXPORT int32_t ZetTableGetRecNo(int32_t cursor);
/* Records in the cursor's order (the access marks in marked order). */
ZET_EXPORT int32_t ZetTableRecordCount(int32_t cursor);
ZET_EXPORT int32_t ZetRltnRecordCount(int32_t relation);
/* Tables read together with the cursor's table (bit n-1 for relation n). */
ZET_EXPORT int32_t ZetTableSetRelationSet(int32_t cursor, uint32_t setLow, uint32_t setHigh);
/* Brackets whose end restores what the start saved; they nest. */
ZET_EXPORT int32_t ZetTableStartContinousRead(int32_t cursor);
ZET_EXPORT int32_t ZetTableEndContinousRead(int32_t cursor);
ZET_EXPORT int32_t ZetTableStartProtected(int32_t cursor);
ZET_EXPORT int32_t ZetTableEndProtected(int32_t cursor);
/* A report pass: saves every table position and reads the given tables
   together with the cursor's until the end restores them. */
ZET_EXPORT int32_t ZetTableStartReport(int32_t cursor, uint32_t setLow, uint32_t setHigh);
ZET_EXPORT int32_t ZetTableEndReport(int32_t cursor);
/* 1 when a further combination of linked records was read from level (0:
   the deepest table of the chain), else 0 (also for a bad cursor). */
ZET_EXPORT int32_t ZetTableReadNextLinked(int32_t cursor, int32_t level);
/* The relation and its parents up to the cursor's table join the tables
   whose changes the cursor is told of; bad handles do nothing (0). */
ZET_EXPORT int32_t ZetTableRegisterEmbeddedRltn(int32_t cursor, int32_t relation);
/* A cursor on the relation table of relationField (an R field of the
   cursor's table) over the entries of the cursor's current identifier, in
   the entries' index order; ZetTableAppend on it makes an entry for that
   identifier. Its handle; -22 the table has no identifier field; -10 not a
   relation field; -17 its relation table is not open; -2 no free cursor. On
   a negative answer no cursor is made. */
ZET_EXPORT int32_t ZetTableCreateRelTable(int32_t cursor, const char* relationField);
/* A cursor on relation for the master cursor's current record. A table
   linked below the master's gets the matching records as its marked-record
   order (sorted by orderText, an index description, when one is given) and
   ZetTableAppend on it links new records to the master's record; any other
   table is walked in record order, or in the index orderText describes.
   orderText NULL or empty: no order. Its handle; -101 bad master; -17 bad
   relation; -2 no free cursor. */
ZET_EXPORT int32_t ZetTableCreateLinkedTable(int32_t masterCursor, int32_t relation, const char* orderText);
/* Binds relation fields and adds link definitions: length-prefixed texts
   ended by an empty one. 0; -17 when a definition or the link tree fails. */
ZET_EXPORT int32_t ZetBuildRelations(const uint8_t* definitions);
ZET_EXPORT int32_t ZetUnBuildRelations(void);

/* ---- Reading fields ----------------------------------------------------- */

/* A field given by name, by its user field number written as text, or as
   "table.field" of another open table. */
ZET_EXPORT int32_t ZetTableGetStr(int32_t cursor, const char* field, char* buffer, int32_t capacity);
/* As ZetTableGetStr for the record as it was when the edit began. */
ZET_EXPORT int32_t ZetTableGetPrevStr(int32_t cursor, const char* field, char* buffer, int32_t capacity);
/* 0 value present; 1 empty; -7; -23 not a real field. */
ZET_EXPORT int32_t ZetTableGetReal(int32_t cursor, const char* field, double* value);
/* The cursor's record buffer (ZetTableGetRecordSize bytes). */
ZET_EXPORT int32_t ZetTableGetRecord(int32_t cursor, void* buffer);
ZET_EXPORT int32_t ZetTableGetRecordSize(int32_t cursor);
/* Describes user field userField (1-based) in *fieldSpec: 0; -10 out of range; -101. */
ZET_EXPORT int32_t ZetTableGetFieldSpec(int32_t cursor, int32_t userField, ZetFieldSpec* fieldSpec);
/* A field (user field index) of a record (NULL: the cursor's own record
   buffer): mode 1 into *asInteger, 2 into *asReal, 3 as text into asText
   (capacity rule above), 4 the same text with its length in a first byte.
   Logical fields read "Ja"/"Nein", memos "Memo", pictures "Bild". -203
   when the field cannot be read so (a text or relation field as a number,
   an unknown mode, an index out of range, a missing result area). */
ZET_EXPORT int32_t ZetTableGetRecordField(int32_t cursor, const void* record, int32_t userField, int32_t mode,
                                          int32_t* asInteger, double* asReal, char* asText, int32_t capacity);
/* The user field index of a field; 0 unknown or a text with ".". */
ZET_EXPORT int32_t ZetTableGetFieldNo(int32_t cursor, const char* field);
/* The identifier key text of the cursor's record. */
ZET_EXPORT int32_t ZetTableGetIdInfo(int32_t cursor, char* buffer, int32_t capacity);
/* The automatic number of the current record; 0 without one. */
ZET_EXPORT int32_t ZetTableGetAutoNo(int32_t cursor);
/* The identifier text of the record a link field names; -7 not a link
   field. Always writes (an empty text for no record). */
ZET_EXPORT int32_t ZetTableGetLinkInfo(int32_t cursor, const char* field, char* buffer, int32_t capacity);
/* The automatic number of the one record whose identifier key the text
   is; 0 none or several; -22 identifier index not available. */
ZET_EXPORT int32_t ZetRltnGetAutoNo(int32_t relation, const char* keyText);
/* Kept for old hosts: no effect, 0. */
ZET_EXPORT int32_t ZetTableCalcFileSet(uint32_t a, uint32_t b, uint32_t c, uint32_t d);
ZET_EXPORT int32_t ZetTableGetFormat(uint32_t a, uint32_t b, uint32_t c);
ZET_EXPORT int32_t ZetTableSetFormat(uint32_t a, uint32_t b);
ZET_EXPORT int32_t ZetTableGetMaxStrLen(uint32_t a, uint32_t b);
ZET_EXPORT int32_t ZetTableGetLine(uint32_t a, uint32_t b, uint32_t c);
ZET_EXPORT int32_t ZetTableIsInvalidStr(uint32_t a, uint32_t b, uint32_t c);

/* ---- Editing records ---------------------------------------------------- */

ZET_EXPORT int32_t ZetTableAppend(int32_t cursor);
/* A new record as a copy of the current one: 0; -11 no current record. */
ZET_EXPORT int32_t ZetTableAppendDuplicate(int32_t cursor);
/* A new record whose identifier fields are taken from a key text. */
ZET_EXPORT int32_t ZetTableAppendWithIDInfo(int32_t cursor, const char* idKeyText);
/* 0; -33 empty record (the append is cancelled); -26; -25; -11 no append
   runs. */
ZET_EXPORT int32_t ZetTableAppendConfirm(int32_t cursor);
ZET_EXPORT int32_t ZetTableAppendCancel(int32_t cursor);
/* 0; -1 the record is edited through another cursor; -11 no record. */
ZET_EXPORT int32_t ZetTableEdit(int32_t cursor);
/* 0; -38 nothing written (the edit ends); -26, -25 (the edit stays open
   with the original kept for cancel). */
ZET_EXPORT int32_t ZetTableEditConfirm(int32_t cursor);
ZET_EXPORT int32_t ZetTableEditCancel(int32_t cursor);
/* Parses a value text into a field of the cursor's record buffer: 0; -7. */
ZET_EXPORT int32_t ZetTableSetStr(int32_t cursor, const char* field, const char* value);
/* Copies a whole record into the cursor's record buffer. */
ZET_EXPORT int32_t ZetTableSetRecord(int32_t cursor, const void* record);
/* Deletes the current record: 0 or 1 (1: the cursor went to the record
   before); -11 no record; -31 edited through another cursor; -5. */
ZET_EXPORT int32_t ZetTableDeleteRecord(int32_t cursor);
/* Deletes the user-marked records: 0 or minus the error that stopped it;
   -19 on a table that keeps its count in its identifier index. The third
   argument is ignored. */
ZET_EXPORT int32_t ZetTableDeleteMarkedRecs(int32_t cursor, ZetProgressProc progress, uint32_t unused);
ZET_EXPORT int32_t ZetTableStartCommit(int32_t cursor);
/* 1 once after another cursor changed a table this cursor depends on. */
ZET_EXPORT int32_t ZetTableIsDirty(int32_t cursor);
/* 1 when the buffer differs from the copy taken at edit start, or when no
   edit runs; else 0. */
ZET_EXPORT int32_t ZetTableIsDirtyRecord(int32_t cursor);

/* ---- Database jobs, compiled programs and output call-backs -------------
   Jobs are compiled from their text (or loaded from a compiled ".DBJ") and
   run over the cursor's table; output goes through the call-backs below or
   into a text file. Every call-back slot has a harmless default, and
   installing NULL puts a slot's default back. */
typedef int16_t (*ZetBeginPrintingProc)(void);
typedef int16_t (*ZetBeginPageProc)(void);
typedef int16_t (*ZetEndPageProc)(int16_t code);
typedef void (*ZetEndPrintingProc)(void);
typedef void (*ZetPageSizeProc)(uint16_t* width, uint16_t* height);
typedef void (*ZetPrintTextProc)(int16_t x, int16_t y, const char* text);
typedef void (*ZetCharCellProc)(uint16_t* width, uint16_t* height);
typedef void (*ZetTextSizeProc)(const char* text, uint16_t* width, uint16_t* height);
typedef void (*ZetMoveToProc)(int16_t x, int16_t y);
typedef void (*ZetLineToProc)(int16_t x, int16_t y);
typedef void (*ZetBoldFaceProc)(uint8_t on);
typedef void (*ZetItalicProc)(uint8_t on);
typedef int16_t (*ZetSetFontProc)(const char* face, int16_t size, uint8_t italic, uint8_t bold,
                                  uint8_t underline);
typedef int16_t (*ZetDrawBlobProc)(int8_t kind, const char* name, int16_t x, int16_t y, int16_t width,
                                   int16_t height);
typedef int16_t (*ZetPlaySoundProc)(int8_t table, const char* name);
ZET_EXPORT int32_t ZetSetPrintCtlProcs(ZetBeginPrintingProc begin, ZetBeginPageProc beginPage,
                                       ZetEndPageProc endPage, ZetEndPrintingProc end);
/* The character-cell query is accepted and not used: the engine measures "A". */
ZET_EXPORT int32_t ZetSetPrintProcs(ZetPageSizeProc pageSize, ZetPrintTextProc printText,
                                    ZetCharCellProc charCell, ZetTextSizeProc textSize,
                                    ZetMoveToProc moveTo, ZetLineToProc lineTo);
ZET_EXPORT int32_t ZetSetFontProcs(ZetBoldFaceProc bold, ZetItalicProc italic, ZetSetFontProc setFont);
ZET_EXPORT int32_t ZetSetOutputProcs(ZetDrawBlobProc drawBlob, ZetPlaySoundProc playSound);
/* The host's information call-backs. The cursor query answers, for the
   context number a Lumo program gives (mark services, ContextCount), the
   cursor handle to use: 0 means the active cursor, and a handle that is no
   open cursor means none. The error text fills buffer (at most size
   characters) with the text of a host error number (the number comes
   negated) and answers 0. NULL puts a slot's default back (no query: the
   active cursor; no text: "Error <code> ..."). */
typedef int32_t (*ZetCursorQueryProc)(int32_t context);
typedef int32_t (*ZetErrorTextProc)(int32_t code, char* buffer, int32_t size);
ZET_EXPORT int32_t ZetSetInfoProcs(ZetCursorQueryProc cursorQuery, ZetErrorTextProc errorText);
/* Runs a job over the cursor's table: 0 or minus the job error; -101 for a
   bad cursor, -37 for an empty name. outputFile empty or NULL: output
   through the print call-backs. */
ZET_EXPORT int32_t ZetExecuteJob(int32_t cursor, const char* jobFile, int32_t loadMode,
                                 const char* outputFile, int32_t unused);
/* Stops the running job before its next statement (error 300). */
ZET_EXPORT int32_t ZetBreakExecution(void);
/* Compiles a job (".JOB", ".TXT") or program text into ".DBJ" / ".PRG"
   beside it: 0, minus the compile error, or -3. */
ZET_EXPORT int32_t ZetRltnCompileProgram(int32_t table, const char* sourceFile);
/* Loads a compiled job or program and makes it current (loads nest): 0 or
   -2 (missing), -29 (another format or a damaged file), -82 (damaged code). */
ZET_EXPORT int32_t ZetLoadProgram(const char* fileName);
ZET_EXPORT int32_t ZetUnloadProgram(void);
/* Compiles a program text only to find its errors; keeps nothing. 0 or
   minus the compile error; the compiler error record names the source
   followed by "CurrentModule". Lines end with CR LF or LF. */
ZET_EXPORT int32_t ZetRltnCheckModule(int32_t table, const char* text, const char* sourceName);
/* The procedures of the current program: their count, and by number
   (1-based) the name or the parameter letters ("S"/"R" by value, "s"/"r" by
   reference, "A" an array, "?" another type); -43 for a number outside. */
ZET_EXPORT int32_t ZetGetNumProcs(void);
ZET_EXPORT int32_t ZetGetProcInfo(int32_t number, char* name, int32_t capacity);
ZET_EXPORT int32_t ZetGetProcParams(int32_t number, char* params, int32_t capacity);
/* Kept for callers of older interfaces; they do nothing and answer -1
   (ZetExecProc answers 0). */
ZET_EXPORT int32_t ZetExecProc(int32_t unused);
ZET_EXPORT int32_t ZetIncrementModuleLevel(void);
ZET_EXPORT int32_t ZetGetProgramPath(int32_t unused1, int32_t unused2);
/* The job keyword table (68 entries) and the dot commands (33). An entry
   number outside the table answers -43. */
ZET_EXPORT int32_t ZetGetCountCommands(void);
ZET_EXPORT int32_t ZetGetCommand(int32_t number, char* text, int32_t capacity);
ZET_EXPORT int32_t ZetGetCountDotCmds(void);
ZET_EXPORT int32_t ZetGetDotCmd(int32_t number, char* text, int32_t capacity);
/* ---- Search, find and marks --------------------------------------------
   A condition is a Lumo selection over the cursor's table and the tables it
   names; a search walks the cursor's order from its first record (from the
   next one when continued) and answers the first record that matches, 0
   when none does (the cursor stays where it was; a walk stopped by the
   progress procedure has found nothing), -7 when the condition does not
   compile (ZetGetLastErrorPos tells where). A continued search answers -11
   at the end, -19 when there is nothing to continue.
   The user marks are the cursor's set of marked records. */

/* A full-text query: the word table's relation name, the names of the
   relation tables to follow (each zero-terminated, ended by an empty name,
   at most 9), the query, the further characters that count in words, the
   three operator characters (and, or, and-not; empty for the defaults) and
   a weight filter. */
typedef struct ZetFullTextQuery {
  const char* indexRelation;
  const char* relationNames;
  const char* query;
  const char* extraChars;
  const char* operatorChars;
  uint32_t options;
} ZetFullTextQuery;

ZET_EXPORT int32_t ZetTableSearch(int32_t cursor, const char* condition, ZetProgressProc progress);
ZET_EXPORT int32_t ZetTableSearchContinue(int32_t cursor, ZetProgressProc progress);
/* The record of the first key of the named index not below the key text;
   exact receives 1 when that key equals it. -11 beyond the last key, -16
   unknown index. The cursor stays where it is (ZetTableSetRecNo moves it). */
ZET_EXPORT int32_t ZetTableFindRec(int32_t cursor, const char* indexName, const char* keyText, uint8_t* exact);
/* Tests every record (the access marks in marked order) and treats each
   match by mode: 1 mark, 2 toggle, 3 unmark, else only count. Answers the
   number of matches, -7. */
ZET_EXPORT int32_t ZetTableMark(int32_t cursor, const char* condition, int32_t mode, ZetProgressProc progress);
ZET_EXPORT int32_t ZetTableGetNumMarks(int32_t cursor);
/* Toggles the mark of the current record. */
ZET_EXPORT int32_t ZetTableToggleMark(int32_t cursor);
ZET_EXPORT int32_t ZetTableUnmark(int32_t cursor);
/* 1 when record recno (-1: the current one) is marked, else 0 (also for a
   bad handle). */
ZET_EXPORT int32_t ZetTableIsMarked(int32_t cursor, int32_t recno);
/* Orders the marks by a key description: 0; 98 not a valid description; 99
   not enough memory. */
ZET_EXPORT int32_t ZetTableSortMarkedRecs(int32_t cursor, const char* keyDescription);
/* In the order of an index that allows equal keys, marks every record whose
   key equals the one before it: the number of marks; 0 in any other order;
   minus an index error. */
ZET_EXPORT int32_t ZetTableMarkDoubles(int32_t cursor, ZetProgressProc progress);
/* Marks the records a full-text query finds: the number of marks; -7 the
   query failed (compile error 128) or names more than 9 relations; -17 a
   relation name is not open. */
ZET_EXPORT int32_t ZetTableMarkFullText(int32_t cursor, const ZetFullTextQuery* query);

/* A full-text index over the records of relation: relationField is an R
   field of it whose relation table (open) takes the entries; indexRelation
   names the open word table, as in ZetFullTextQuery. fieldNames and
   exclusionFields are name lists in the form of relationNames. The
   index is built anew; options: 1 read the word table first, 2 no new words,
   4 entries only as index keys, 8 HTML texts, 16 rewrite the word table
   only. On return sourceRecords and indexRecords hold the record counts of
   relation and of the relation table. 0; -10 relationField is no R field
   with an open relation table; -7 a field list that does not compile; -17
   bad relation or word table not open; minus an
   engine error of the build (the index then holds the records read). */
typedef struct ZetFullTextIndexRequest {
  const char* relationField;
  const char* indexRelation;
  const char* fieldNames;
  const char* exclusionFields;
  const char* extraChars;
  const char* stopWordFile;
  int32_t weightField;  /* user field number of an I field; 0 none */
  int32_t maxHits;      /* words with as many hits are left out; 0 no limit */
  int32_t memoryLimit;  /* bytes of hits kept before writing; 0 default */
  uint32_t options;
  int32_t sourceRecords;
  int32_t indexRecords;
} ZetFullTextIndexRequest;
ZET_EXPORT int32_t ZetRltnCreateFullTextIndex(int32_t relation, ZetFullTextIndexRequest* request,
                                              ZetProgressProc progress);
/* The full-text indexes of relation (the relation tables of its R fields
   that hold full-text keys), each as the table's name without extension. */
ZET_EXPORT int32_t ZetRltnFullTextIndexGetIndexNames(int32_t relation, char* buffer, int32_t capacity);
/* The R fields of relation whose full-text index is the open table
   indexRelation. */
ZET_EXPORT int32_t ZetRltnFullTextIndexGetRelationNames(int32_t relation, int32_t indexRelation, char* buffer,
                                                        int32_t capacity);

/* ---- Memo and blob block transfer ---------------------------------------
   A memo or blob field of the cursor's current record moves in blocks: Init,
   any number of blocks, Done. The field is named by a text: a field name, a
   table name, "." and a field name, or that form written with "_" for "."
   and a "-" at the end. One memo and one blob transfer of each direction
   are open at a time; the block functions answer -12 when none is.
   Init and Done answer -7 for a text that does not compile and -23 for one
   that names no field of the kind. Reading a memo hands out its line breaks
   as CR LF. Done of a write stores the new content in the cursor's record
   (the host's confirm writes it); a write that fails answers -25 and leaves
   the field with its old content. */
/* The memo's length in characters, -1 for a damaged link. */
ZET_EXPORT int32_t ZetTableInitGetMemo(int32_t cursor, const char* field);
/* The characters copied (at most count). */
ZET_EXPORT int32_t ZetTableGetMemoBlock(char* buffer, int32_t count);
ZET_EXPORT int32_t ZetTableDoneGetMemo(void);
ZET_EXPORT int32_t ZetTableInitPutMemo(int32_t cursor, const char* field);
/* CR ends a line, LF is dropped, a 0 byte ends the block: the bytes taken. */
ZET_EXPORT int32_t ZetTablePutMemoBlock(const char* buffer, int32_t count);
ZET_EXPORT int32_t ZetTableDonePutMemo(int32_t cursor, const char* field);
/* The blob's length in bytes. */
ZET_EXPORT int32_t ZetTableInitGetBlob(int32_t cursor, const char* field);
ZET_EXPORT int32_t ZetTableGetBlobBlock(void* buffer, int32_t count);
ZET_EXPORT int32_t ZetTableDoneGetBlob(void);
/* length is not needed: the blob takes the length of the bytes put. */
ZET_EXPORT int32_t ZetTableInitPutBlob(int32_t cursor, const char* field, int32_t length);
ZET_EXPORT int32_t ZetTablePutBlobBlock(const void* buffer, int32_t count);
ZET_EXPORT int32_t ZetTableDonePutBlob(int32_t cursor, const char* field);

/* ---- Expressions, selections, macros and conversions --------------------
   Texts are compiled against the cursor's table (an invalid cursor or 0:
   the current table) into code: a length byte and at most 255 bytes, so a
   code buffer holds 256 bytes. The compiling functions answer 0, or the
   1-based position of a compile error (positive; ZetGetLastErrorPos tells
   the line), and clear the compile errors first; a text of more than 255
   characters is refused at 256. Runs answer minus the engine error. */
/* Compiles and runs the text once: 0, a position, minus the run error. */
ZET_EXPORT int32_t ZetCheckExpression(int32_t cursor, const char* text);
/* kind 1 a single field, 2 a list of constants, 3 anything else; the set
   of the tables the text reads as low and high 32 bits. */
ZET_EXPORT int32_t ZetAnalizeExpression(int32_t cursor, const char* text, uint16_t* kind, uint32_t* tablesLow,
                                        uint32_t* tablesHigh);
ZET_EXPORT int32_t ZetTokenize(int32_t cursor, uint8_t* code, const char* text);
/* As ZetTokenize, then checks the code as a selection: minus its error. */
ZET_EXPORT int32_t ZetTokenizeSelection(int32_t cursor, uint8_t* code, const char* text);
/* Evaluates code for the cursor's record (0: the active cursor; without
   one, without a table): expressions separated by ";", the last one's value
   into result, a real with the given decimals. 0 or minus the run error. */
ZET_EXPORT int32_t ZetSolve(int32_t cursor, char* result, const uint8_t* code, int32_t capacity, int32_t decimals);
/* Runs a macro statement with the cursor's table current; a real result is
   written with a decimal comma. */
ZET_EXPORT int32_t ZetExecMacro(int32_t cursor, char* result, const uint8_t* code, int32_t capacity,
                                int32_t decimals);
/* 0 the cursor's record is selected; above 0 not (the dependency level);
   minus an error. */
ZET_EXPORT int32_t ZetEvalSelection(int32_t cursor, const uint8_t* code);
/* 0, the error position, or minus the index error; -17. */
ZET_EXPORT int32_t ZetCheckIndexDescription(int32_t relation, const char* text);
/* Dates are packed (year * 512 + month * 32 + day), times minutes since
   midnight. errorFlag receives 1 for a text that is none. The texts out
   are empty for a capacity below 10. */
ZET_EXPORT int32_t DateStrToLongInt(const char* text, uint16_t* errorFlag);
ZET_EXPORT int32_t LongIntToDateStr(int32_t packedDate, char* buffer, int32_t capacity);
ZET_EXPORT int32_t TimeStrToLongInt(const char* text, uint16_t* errorFlag);
ZET_EXPORT int32_t LongIntToTimeStr(int32_t minutes, char* buffer, int32_t capacity);
ZET_EXPORT int32_t ZetGetDate(char* buffer, int32_t capacity);
ZET_EXPORT int32_t ZetGetTime(char* buffer, int32_t capacity);
ZET_EXPORT int32_t RealToStr(double value, int32_t decimals, char* buffer, int32_t capacity);

/* 0, or minus the error of the link definition ("table[key]=table[key]"). */
ZET_EXPORT int32_t ZetCheckStaticLink(const char* definition);
/* A format text: values only (fields, variables, texts, bracketed
   expressions, run once for a trial), each optionally followed by ":" and a
   number. 0; -45 for anything else (its position is the compile error's);
   minus the compile or run error. */
ZET_EXPORT int32_t ZetCheckFormat(const char* format);
/* Whole-table conversions to and from a dBase file: 0 or minus the error. */
ZET_EXPORT int32_t ZetConvertToDBase(const char* tableFile, const char* dbfFile, ZetProgressProc progress);
ZET_EXPORT int32_t ZetConvertFromDBase(const char* dbfFile, const char* tableFile, int32_t option);

/* ---- Delimited text files and replace ------------------------------------
   Formats: 0 ";" between values, 1 ",", 2 one value per text line (an import
   reads the whole file as one record), 3 "," with every value in quotes
   (export only). A value holding the separator, a quote, CR or LF is quoted,
   its quotes doubled; lines end with CR LF; a final line end adds no record;
   Ctrl+Z or a 0 byte ends the input. Texts are OEM (code page 850) in the
   file unless ansi is set. Exported are the fields with a display width and
   a name except identifier, memo and formula fields, in field order; header
   writes (or skips on import) a line of field names. columnMap[k] names the
   1-based column of user field k + 1 (<= 0 or a missing column: empty; an
   identifier field keeps its automatic value); 1000 entries at most are
   read, NULL maps nothing. The runs make the cursor's table current, keep
   the cursor where it stands and clear the last error first. Answers: the
   selection's compile-error position (> 0); -1 the file cannot be opened,
   -2 created, -3 written; -203 a value (the last error tells "Erfolgreich
   importiert: <count>, Feld: <text>"), a syntax error of the file (error 8)
   or a break (114) stopped the run, the records before it stay; -19 format
   3 on import or a format above 4; -30 no right to append; -101; else 0.
   Format 4 moves records between tables: export creates fileName as a new
   table of the cursor's table's fields, version, code and key (no user
   indexes) and copies the selected records into it, fields paired by name,
   memos, blobs, identifiers and the identifier counter carried (-2 when it
   cannot be created or is an open table's file); import opens fileName
   read-only with accessCode and tableKey (or reads it where it is open) and
   appends its records in record order through columnMap, which there names
   the source's user field for user field k + 1 (values of other types go
   through their text forms); identifiers are kept only when the map pairs
   identifier fields of one name and the target was empty (-1 when it does
   not open or is the cursor's own table). Exports visit the cursor's order;
   a selection that an index can answer reads only that index's key range.
   The unused arguments are not read. */
ZET_EXPORT int32_t ZetTableImport(int32_t cursor, const char* selection, const char* fileName,
                                  const char* accessCode, uint32_t tableKey, uint8_t format,
                                  const int16_t* columnMap, uint8_t header, uint8_t ansi,
                                  ZetProgressProc progress, uint8_t unused);
ZET_EXPORT int32_t ZetTableExport(int32_t cursor, const char* selection, const char* fileName, uint8_t format,
                                  uint8_t ansi, uint8_t header, ZetProgressProc progress);
/* Compiles the assignment list ("FIELD := expression, ...") against the
   cursor's table and tries it on the cursor's record without writing: 0, or
   minus the error (87 when it names another table). */
ZET_EXPORT int32_t ZetTableCheckReplacement(int32_t cursor, const char* assignment);
/* Applies the assignment list to every record that the selection accepts
   (the marked ones in marked order, else all in record order): the number
   of records changed; -7 the assignment list is unusable; -44 the selection
   is; -101. A progress answer of 1 stops the run; what was changed stays. */
ZET_EXPORT int32_t ZetTableReplace(int32_t cursor, const char* selection, const char* assignment,
                                   ZetProgressProc progress, uint32_t unused);

/* ---- Variables, report functions and host commands ---------------------- */
/* A variable scope: start opens one, end frees its variables. */
ZET_EXPORT int32_t ZetStartVarSection(void);
ZET_EXPORT int32_t ZetEndVarSection(void);
ZET_EXPORT int32_t ZetStartReport(void);
ZET_EXPORT int32_t ZetEndReport(void);
/* type 'R' a number, 'S' a text: 0 or minus the declaration's error. */
ZET_EXPORT int32_t ZetDefineNewVar(const char* name, uint8_t type);
/* Evaluates the expression into the variable: 0; -1 unknown variable;
   minus the compile, run or assignment error. */
ZET_EXPORT int32_t ZetSetVar(const char* name, const char* expression);
ZET_EXPORT int32_t ZetVarsSetPageNo(int32_t page);
ZET_EXPORT int32_t ZetVarsIncPageNo(void);
ZET_EXPORT int32_t ZetVarsResetStatFuncs(int32_t group);
ZET_EXPORT int32_t ZetVarsUpdateStatFuncs(void);
/* Empty and free the host-command registry. */
ZET_EXPORT int32_t InitCommands(void);
ZET_EXPORT int32_t ExitCommands(void);
/* Registers host commands; a Lumo program calls them by name and the exec
   procedure runs them (kind 230, the record's id). Answers 230. */
ZET_EXPORT int32_t ZetRegisterCommands(int32_t count, const ZetCommandRecord* records);
ZET_EXPORT int32_t ZetSetExecProc(ZetExecCommandProc proc);
ZET_EXPORT int32_t ZetInstallDispatch(ZetLookupProc lookup, ZetDescribeProc describe, ZetDispatchProc run3,
                                      ZetDispatchProc run4, ZetDispatchProc run5);
/* The built-in names of a function group: how many, and the index-th
   (1-based; empty when there is none) with its code. */
ZET_EXPORT int32_t ZetGetFunctionCount(int32_t group);
ZET_EXPORT int32_t ZetGetFunctionName(int32_t group, int32_t index, char* buffer, int32_t capacity, uint32_t* code);
/* A built-in function's parameter count, German help text, signature
   (result letter first) and flag: 0; -203 for an unknown name. */
ZET_EXPORT int32_t ZetGetFunctionDescription(const char* name, uint32_t* paramCount, char* help,
                                             int32_t helpCapacity, char* signature, int32_t signatureCapacity,
                                             uint32_t* flag);

/* Network parameters. This engine keeps no network state: Set reads
   nothing that lasts, the monitor answers zeros, and the defaults are
   "AUTO", "C:\QMK", a random station value and "Undefined". */
typedef struct ZetNetParams {
  char lockingMode[257];
  char networkDirectory[128];
  uint32_t station;
  char userName[41];
  char other[256];
} ZetNetParams;
ZET_EXPORT int32_t ZetSetNetParams(const ZetNetParams* params);
ZET_EXPORT int32_t ZetGetDefaultNetParams(ZetNetParams* params);
ZET_EXPORT int32_t ZetGetNetMonitorInfo(int32_t unused, uint16_t* first, uint16_t* second, uint16_t* third,
                                        char* buffer, int32_t capacity);

/* ---- Table structures ---------------------------------------------------- */
/* Creates an empty table targetFile with the structure of sourceFile (its
   fields, indexes, memo and blob files, code and key): 0 or minus the
   creator's error (-22 a user index file of the copy exists already in the
   target directory: nothing is written); -1 the source cannot be opened;
   -17 62 tables are open.
   An open source is used where it stands; the file names are upper-cased. */
ZET_EXPORT int32_t ZetCopyStructure(const char* sourceFile, const char* targetFile, const char* accessCode,
                                    uint32_t tableKey);
/* Gives a closed table's file set (table, memo, blob and automatic index
   files) a new name in its directory; user index files keep their names.
   All or nothing: 0; -20 a file could not be renamed (those renamed before
   it have their old names again) or the table is open; -1, -12, -30 the
   table could not be opened. */
ZET_EXPORT int32_t ZetRenameDatFile(const char* oldName, const char* newName, const char* accessCode,
                                    uint32_t tableKey);
/* Does nothing: 0. */
ZET_EXPORT int32_t ZetRegisterModifications(void);

/* One field of a table being created or restructured, filled by the host's
   field procedure (562 bytes). sourceField: for ZetRltnRestructure the
   number among the old table's user fields whose values fill this field (0
   or less: a new field). properties: 1 formula, 2 value range (first holds
   both bounds, e.g. "1" CR LF "100"), 4 kept in the type byte, 8 may be
   empty. first: the formula, the value range or a choice field's choices
   separated by ","; second: an N field's identifier key description, an L
   field's link target, an R field's relation definition. type: 0..13 for
   "CSIFBJDMANLPRZ"; parameter: a text's length, a real's decimals (low 4
   bits); for an N field parameter and parameterHigh hold the 32-bit start
   value of its counter. */
typedef struct ZetFieldDef {
  int16_t sourceField;
  char name[41];
  uint8_t properties;
  char first[256];
  char second[256];
  uint16_t type;
  uint16_t parameter;
  uint16_t parameterHigh;
} ZetFieldDef;
#ifdef __cplusplus
static_assert(sizeof(ZetFieldDef) == 562, "ZetFieldDef layout");
#else
_Static_assert(sizeof(ZetFieldDef) == 562, "ZetFieldDef layout");
#endif
/* Called once per field, field = 1..count, with a zeroed definition. */
typedef void (*ZetFieldProc)(int32_t field, ZetFieldDef* definition, uint32_t user);
/* Creates a table of fieldCount fields defined by proc: 0; -14 a field was
   refused (68 a field of width 0, 70 a value range that does not give two
   reals, 73 a tenth link field) or the files could not be written (nothing
   is left behind); -18 the identifier key does not compile. With a
   sourceRelation, relation tables that it has already are not made again.
   Field names are stored as labels ("NAME: ", at most 38 characters of the
   name) and found by the name. */
ZET_EXPORT int32_t ZetRltnCreate(const char* fileName, const char* accessCode, uint32_t tableKey,
                                 int32_t fileVersion, int32_t fieldCount, ZetFieldProc proc, uint32_t user,
                                 int32_t sourceRelation);
/* Gives an open relation a new field list (defined as for ZetRltnCreate)
   and keeps its records: each new field takes the values of its source
   field, converted by type; user indexes whose key fields all keep their
   type and size are kept. The relation must be open with the rights 1, 2
   and 8; it stays open under its handle (cursors on it are then invalid).
   0; -17 bad handle; -18 identifier key; -21 refused or failed before the
   swap (the table is as it was); -20 the new files could not be put in
   place (the old table is whole and open again). A process that dies
   during the swap leaves it to the next ZetRltnOpen of the table, which
   finishes it: the table is then always either the old or the new one. */
ZET_EXPORT int32_t ZetRltnRestructure(int32_t relation, const char* accessCode, uint32_t tableKey,
                                      int32_t fileVersion, int32_t fieldCount, ZetFieldProc proc, uint32_t user,
                                      ZetProgressProc progress);

/* ---- Program modules -------------------------------------------------------
   Modules as editable objects: a module text parsed into procedures that a
   host lists, reads and changes one by one and writes back as text. A module
   handle is 1..127; every export below answers -41 for a handle that names no
   module. Procedure names compare without regard to ASCII letter case. Out
   texts take a capacity: the characters before the terminating zero, so the
   buffer holds capacity + 1 bytes; a capacity below 0 or a null buffer
   receives nothing. Name lists are written with whole names only.

   ZetModCreate and ZetModCreateFromFile answer the new handle; -41 when the
   parser rejects the text (ZetGetCompilerError then tells the error number,
   line and column, both 1-based), -2 when all 127 handles are in use, -14
   when the file cannot be read. Errors: -40 no procedure of that name, -42
   name already used, -43 not a valid name (1 to 40 characters, a letter
   first, then letters, digits, "-" and "_"), -3 the procedure exists, -14 a
   file or stream failed, -1 no unique name fits. */
ZET_EXPORT int32_t ZetModCreate(const char* text);
ZET_EXPORT int32_t ZetModCreateFromFile(const char* fileName);
ZET_EXPORT int32_t ZetModDelete(int32_t module);
ZET_EXPORT int32_t ZetModAddProcedure(int32_t module, const char* name);
/* name holds a name and receives the first of name, name_1 .. name_99 that
   no procedure bears. */
ZET_EXPORT int32_t ZetModCreateUniqueProcName(int32_t module, char* name, int32_t capacity);
/* The procedures without parameters, separated by ","; answers how many. */
ZET_EXPORT int32_t ZetModFindFittingProcedures(int32_t module, int32_t unused, char* names,
                                               int32_t capacity);
ZET_EXPORT int32_t ZetModGetProcBody(int32_t module, const char* name, char* body, int32_t capacity);
/* A body that does not end with a line feed gets "\r\n" added. */
ZET_EXPORT int32_t ZetModSetProcBody(int32_t module, const char* name, const char* body);
ZET_EXPORT int32_t ZetModGetProcComment(int32_t module, const char* name, char* comment,
                                        int32_t capacity);
ZET_EXPORT int32_t ZetModSetProcComment(int32_t module, const char* name, const char* comment);
ZET_EXPORT int32_t ZetModDeleteProcedure(int32_t module, const char* name);
ZET_EXPORT int32_t ZetModRenameProcedure(int32_t module, const char* oldName, const char* newName);
/* The names of the module's USES lists, separated by ","; answers how many. */
ZET_EXPORT int32_t ZetModGetUsedModuleNames(int32_t module, char* names, int32_t capacity);
/* Answers the length of the module's text; copies it, cut to capacity, when
   text is not null. */
ZET_EXPORT int32_t ZetModGetText(int32_t module, char* text, int32_t capacity);
ZET_EXPORT int32_t ZetModWriteToFile(int32_t module, const char* fileName);
/* The first error of the last compile or module parse: its number (0 when
   there was none, and nothing is written), with line and column (1-based)
   and the source name. */
ZET_EXPORT int32_t ZetGetCompilerError(uint16_t* line, uint16_t* column, char* source, int32_t capacity);

/* ---- Session settings, field values, browse columns ----------------------- */

/* Stores the project directory (cut at 255 characters); outside libraries
   named without a directory are looked for in its directory first. */
ZET_EXPORT int32_t ZetSetProjectDir(const char* directory);
/* 0 forbids, any other flag allows breaking long operations with Ctrl+U
   (allowed at start). */
ZET_EXPORT int32_t ZetEnableBreak(int32_t flag);
/* The language's error-check switch: 1 on, 0 off. */
ZET_EXPORT int32_t ZetGetErrorCheck(void);
/* Stores the value at value into user field userField (1-based) of record,
   a buffer of the cursor's record size; the cursor only supplies the layout.
   The value is the field's bytes as the table stores them, except that a
   real of a version-1 table is given as an 8-byte double; the field's null
   flag is cleared. -10 for a field index outside 1..count or a null
   pointer, -101. */
ZET_EXPORT int32_t ZetTableSetField(int32_t cursor, int32_t userField, void* record, const void* value);
/* ---- Linked appends, formulas, relation entries --------------------------- */

/* Starts an append on cursor whose table is linked directly under the table
   of masterCursor: the link fields take the master's current key values.
   0; -19 the cursor's table is not linked under the master's (nothing
   starts); -101 either handle is bad. */
ZET_EXPORT int32_t ZetTableAppendLinked(int32_t cursor, int32_t masterCursor);
/* Gives a field a formula (compiled, run once for a trial), or takes it
   away with an empty text; evaluateEveryWrite sets flag 4 of ZetFieldSpec.flags.
   0; -10 unknown field; -23 a field without room in the record; the
   compile error's position; minus the trial run's error; -101. The
   cursor's delete keeps the formula in the table. */
ZET_EXPORT int32_t ZetTableSetFormula(int32_t cursor, const char* field, const char* formula,
                                      int32_t evaluateEveryWrite);
/* Changes an entry {identifier, target} of a relation table: oldTarget < 1
   appends {identifier, newTarget}; otherwise the entry with oldTarget is
   rewritten to newTarget, or deleted when newTarget < 1. A target below 1 is
   never written; oldTarget == newTarget does nothing. 0; -11 no such entry;
   -23 not a relation table; -31 the entry is edited through another
   cursor; minus the storage error; -101. */
ZET_EXPORT int32_t ZetTableChangeRelEntry(int32_t cursor, uint32_t identifier, int32_t oldTarget,
                                          int32_t newTarget);

/* The text of a compiled browse column for the cursor's record, at most
   width characters; always 0 (a bad handle writes nothing). column is the
   code as ZetTokenize writes it (length byte first). */
ZET_EXPORT int32_t ZetTableGetBrowserCol(int32_t cursor, const char* column, char* buffer, int32_t width);

/* ---- Import from ODBC data sources ------------------------------------------
   Runs sql against the ODBC data source (a data source name or a connection
   string) with user and password, and appends each result row to the current
   table: map[k] > 0 names the 1-based result column of user field k + 1
   (1000 entries). Each value passes the field's text parser: integers and
   reals as decimal text, yes/no as "JA" or "NEIN", dates dd.mm.yyyy, times
   hh:mm:ss (a timestamp fills a date field and a time field right after it);
   a NULL, an invalid date or time, or a column the result does not have
   leaves the field empty. Rows that do not satisfy the selection (empty: all)
   are skipped. The first and the eighth argument are not used. Answers 0;
   -39 when the ODBC bridge cannot be started (error 120); -100 when the
   statement cannot be run (error 121); -203 when a value, the bridge or a
   break stopped the import: the rows appended so far stay, and the last
   error's text tells "Erfolgreich importiert: <count>, Feld: <value>". */
ZET_EXPORT int32_t ZetRltnImportFromOdbc(int32_t unused, const char* dataSource, const char* user,
                                         const char* password, const char* sql, const char* selection,
                                         const int16_t* map, uint32_t unused2, ZetProgressProc progress);

/* ---- CGI requests --------------------------------------------------------------
   The hooks: the environment (name, buffer, capacity) writes at most capacity
   characters and a zero and answers the full length of the value, 0 or less
   when it is unset; the output writes a zero-terminated text; the input fills
   the buffer with at most count bytes and answers how many, 0 or less at the
   end. A NULL hook restores the default (process environment, standard output,
   standard input). */
typedef int32_t (*ZetCgiEnvProc)(const char* name, char* buffer, int32_t capacity);
typedef int32_t (*ZetCgiOutputProc)(const char* text);
typedef int32_t (*ZetCgiInputProc)(char* buffer, int32_t count);
ZET_EXPORT int32_t ZetSetCGIProcs(ZetCgiEnvProc env, ZetCgiOutputProc output, ZetCgiInputProc input);
/* Reads the request: QUERY_STRING and a body of CONTENT_LENGTH bytes (not read
   above 8 MiB), form-decoded into parameters; the first of equal names (any
   case) wins. */
ZET_EXPORT int32_t ZetCgiInitParameters(void);
/* The parameter's value (a long value or a TEXT* parameter whole): 0, or -1
   when it is empty or missing. */
ZET_EXPORT int32_t ZetCgiFindParameter(const char* name, char* value, int32_t capacity);
/* The name of the index-th parameter (0-based): 1, or 0 past the end. */
ZET_EXPORT int32_t ZetCgiGetParamName(int32_t index, char* name, int32_t capacity);

#ifdef __cplusplus
}
#endif

#endif /* ZETCORE_H */
