/* Public C interface of the zetcore engine. */
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
typedef int16_t (*ZetExecProc)(int32_t kind, uint16_t id, ZetArgDescriptor* args);
typedef int16_t (*ZetLookupProc)(uint16_t flag, const char* name);
typedef int16_t (*ZetDescribeProc)(uint16_t flag, uint16_t id, char* description);
/* Dispatch 3 and 5 run a member of a host object: (object handle, member id,
   descriptors); dispatch 4 has the same form and is only stored. */
typedef int16_t (*ZetDispatchProc)(double object, uint16_t id, ZetArgDescriptor* args);


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

#ifdef __cplusplus
}
#endif

#endif /* ZETCORE_H */
