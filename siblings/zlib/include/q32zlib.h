/* q32zlib: zlib compression for the album library's stored images.
 *
 * Every call turns one piece of bytes into one complete zlib stream
 * (RFC 1950: a deflate stream with its two-byte header and Adler-32
 * trailer) or back, so any zlib reader can inflate what is stored.
 *
 * Results: 1 success; QZ_* codes below otherwise. Neither call writes past
 * *length bytes of destination; on success *length holds the bytes
 * produced. */
#ifndef Q32ZLIB_H
#define Q32ZLIB_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(Q32ZLIB_BUILDING)
#define Q32ZLIB_API __declspec(dllexport)
#else
#define Q32ZLIB_API __declspec(dllimport)
#endif
#else
#define Q32ZLIB_API __attribute__((visibility("default")))
#endif

enum {
  QZ_OK = 1,
  QZ_BAD_ARGUMENTS = 0, /* null pointers */
  QZ_OUTPUT_FULL = -1,  /* the result does not fit in *length bytes */
  QZ_CORRUPT = -2,      /* not a complete, valid zlib stream */
  QZ_NO_MEMORY = -3
};

/* Compresses sourceLength bytes into one zlib stream. */
Q32ZLIB_API int qzCompress(DWORD sourceLength, const BYTE* source, DWORD* length,
                           BYTE* destination);
/* Inflates the zlib stream of chunkLength bytes. */
Q32ZLIB_API int qzDecompress(DWORD chunkLength, const BYTE* chunk, DWORD* length,
                             BYTE* destination);

typedef int (*Q32ZLIB_CODER_FN)(DWORD, const BYTE*, DWORD*, BYTE*);

#ifdef __cplusplus
}
#endif

#endif /* Q32ZLIB_H */
