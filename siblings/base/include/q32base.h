/* q32Base: the base library of the product family. */
#ifndef Q32BASE_H
#define Q32BASE_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(Q32BASE_BUILDING)
#define Q32BASE_API __declspec(dllexport)
#else
#define Q32BASE_API __declspec(dllimport)
#endif
#else
#define Q32BASE_API __attribute__((visibility("default")))
#endif

/* Frees a buffer that a sibling library (the image-conversion library)
 * handed out; null is ignored. Such buffers are global-heap blocks. */
Q32BASE_API void buf32Free(void* buffer);

#ifdef __cplusplus
}
#endif

#endif /* Q32BASE_H */
