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

#ifdef __cplusplus
}
#endif

#endif /* ZETCORE_H */
