/* qliblzw: the LZW coder of the product family.
 *
 * The stream format is the LZW variant of TIFF 6.0 (section 13), so any
 * TIFF reader's LZW decoder reads what qLzwCompress writes:
 *   - an alphabet of 2^symbolBits single-byte strings (codes 0..255 for
 *     the usual 8 bits), then Clear (256) and EndOfInformation (257); the
 *     first string code is 258;
 *   - codes are packed most significant bit first; they start at
 *     symbolBits + 1 bits and grow by one bit up to maxCodeBits;
 *   - with earlyChange 1 (TIFF) a code width grows one code early: when
 *     the encoder's table holds E entries, the next code is written with
 *     the smallest width w for which E + 1 <= 2^w; with earlyChange 0 (GIF
 *     style) the smallest w for which E <= 2^w;
 *   - the encoder writes Clear first, and again (then starts afresh) when
 *     its table reaches 2^maxCodeBits - 1 - earlyChange entries; the
 *     stream ends with EndOfInformation and zero bits up to a byte.
 * The album library passes the parameter block {12, 8, 1}: TIFF LZW.
 *
 * Capacity contract: neither call writes past out->count bytes of
 * out->bytes. On return out->count holds the bytes produced. */
#ifndef QLIBLZW_H
#define QLIBLZW_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(QLIBLZW_BUILDING)
#define QLIBLZW_API __declspec(dllexport)
#else
#define QLIBLZW_API __declspec(dllimport)
#endif
#else
#define QLIBLZW_API __attribute__((visibility("default")))
#endif

/* {byte count, bytes}: in, the bytes to read; out, the capacity on entry
 * and the bytes written on return. */
typedef struct QLzwBuffer {
  DWORD count;
  BYTE* bytes;
} QLzwBuffer;

/* {maxCodeBits 9..12, symbolBits 8, earlyChange 0 or 1}. */
typedef struct QLzwParams {
  DWORD maxCodeBits;
  DWORD symbolBits;
  DWORD earlyChange;
} QLzwParams;

enum {
  QLZW_OK = 0,
  QLZW_BAD_ARGUMENTS = 1, /* null pointers or parameters out of range */
  QLZW_OUTPUT_FULL = 2,   /* the output did not fit; out->count bytes are a
                             valid prefix of the result */
  QLZW_CORRUPT = 3,       /* a code that cannot occur in a valid stream */
  QLZW_TRUNCATED = 4      /* the input ended before EndOfInformation */
};

/* Compresses in->count bytes. QLZW_OK, or QLZW_OUTPUT_FULL when the
 * stream needs more than the capacity (the output is then unusable). */
QLIBLZW_API int qLzwCompress(const QLzwBuffer* in, const QLzwParams* params, QLzwBuffer* out);

/* Decompresses one stream. QLZW_OK when EndOfInformation was reached;
 * otherwise out->count bytes were decoded before the stream ended, turned
 * out corrupt, or filled the capacity. */
QLIBLZW_API int qLzwDecompress(const QLzwBuffer* in, const QLzwParams* params, QLzwBuffer* out);

#ifdef __cplusplus
}
#endif

#endif /* QLIBLZW_H */
