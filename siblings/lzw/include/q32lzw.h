/* q32lzw: the run-time part of the LZW codec.
 *
 * The album library loads it from its codec folder before it stores an
 * image with LZW and asks it whether the coder is ready; the coding itself
 * is done by qliblzw (qliblzw.h), which the album library imports. Shipping
 * or leaving out this file is how an installation turns LZW storage on or
 * off. */
#ifndef Q32LZW_H
#define Q32LZW_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(Q32LZW_BUILDING)
#define Q32LZW_API __declspec(dllexport)
#else
#define Q32LZW_API __declspec(dllimport)
#endif
#else
#define Q32LZW_API __attribute__((visibility("default")))
#endif

/* Non-zero when LZW coding may be used: the largest code width (in bits)
 * the installed coder writes. */
Q32LZW_API DWORD qfLZWComInit(void);

typedef DWORD (*Q32LZW_INIT_FN)(void);

#ifdef __cplusplus
}
#endif

#endif /* Q32LZW_H */
