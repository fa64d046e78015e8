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

#ifdef __cplusplus
}
#endif

#endif /* ZETCORE_H */
