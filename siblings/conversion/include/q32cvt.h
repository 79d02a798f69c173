/* q32cvt: bitmap conversion for the album library.
 *
 * Bitmaps come and go as packed device-independent bitmaps (DIB) in
 * movable global-memory blocks: a BITMAPINFOHEADER (or a 12-byte core
 * header), the colour table, the rows bottom row first (a negative height,
 * top row first, is accepted on input). Uncompressed 1, 4, 8, 16 (5-5-5)
 * and 24 bits per pixel are read; 8-bit (StandardPalette) and 24-bit
 * bitmaps are written.
 *
 * In between, a bitmap is held in a conversion buffer: a movable
 * global-memory block of this library's own layout, freed with buf32Free
 * of the base library. Buffer types are the album's colour kinds:
 *   2 24 bits, 4 8 bits with a palette, 8 4 bits with a palette,
 *   16 16 bits 5-5-5, 32 8 bits grey (a 256-step grey ramp), 64 1 bit.
 * Conversions go from any type to 2 (true colour) and to 4 (8 bits with
 * the StandardPalette, each pixel taking the nearest colour).
 *
 * The graphics-object arguments exist for palette objects; this library
 * keeps palettes inside its buffers, so it sets every object it is asked
 * for to null and ignores the objects it is given.
 *
 * Results: TRUE on success; on failure FALSE and every output null. */
#ifndef Q32CVT_H
#define Q32CVT_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(Q32CVT_BUILDING)
#define Q32CVT_API __declspec(dllexport)
#else
#define Q32CVT_API __declspec(dllimport)
#endif
#else
#define Q32CVT_API __attribute__((visibility("default")))
#endif

#define CVT32_TRUE_COLOUR 2
#define CVT32_STANDARD_PALETTE 4
#define CVT32_NEAREST_COLOUR 2 /* the one conversion method */

/* A buffer holding dib; *type receives its buffer type. */
Q32CVT_API BOOL cvt32DIBToBuf(HGLOBAL dib, HGLOBAL* buffer, HANDLE* object, DWORD* type,
                              DWORD reserved);
/* A new buffer of type toType made from source (of type fromType). method
 * is CVT32_NEAREST_COLOUR. */
Q32CVT_API BOOL cvt32BufType(DWORD method, DWORD reserved1, DWORD fromType, DWORD toType,
                             HGLOBAL source, HGLOBAL* buffer, DWORD reserved2, HANDLE object,
                             HANDLE* objectOut, DWORD reserved3);
/* A new DIB from a buffer of type 2 or 4. */
Q32CVT_API BOOL cvt32BufToDIB(HGLOBAL buffer, HGLOBAL* dib, HANDLE object, DWORD reserved);
/* A new DIB of type toType (2 or 4) from dib. */
Q32CVT_API BOOL cvt32DIBToDIB(HGLOBAL dib, HGLOBAL* dibOut, DWORD toType, DWORD reserved);

typedef BOOL (*CVT32_DIB_TO_BUF_FN)(HGLOBAL, HGLOBAL*, HANDLE*, DWORD*, DWORD);
typedef BOOL (*CVT32_BUF_TYPE_FN)(DWORD, DWORD, DWORD, DWORD, HGLOBAL, HGLOBAL*, DWORD, HANDLE,
                                  HANDLE*, DWORD);
typedef BOOL (*CVT32_BUF_TO_DIB_FN)(HGLOBAL, HGLOBAL*, HANDLE, DWORD);
typedef BOOL (*CVT32_DIB_TO_DIB_FN)(HGLOBAL, HGLOBAL*, DWORD, DWORD);

#ifdef __cplusplus
}
#endif

#endif /* Q32CVT_H */
