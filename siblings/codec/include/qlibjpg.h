/* qlibjpg: JPEG streams for the album library's stored images.
 *
 * Streams are baseline JFIF written and read by libjpeg-turbo, so any JPEG
 * reader can decode what is stored. Pixels are exchanged as rows rowSize
 * bytes apart, in the order of a device-independent bitmap (bottom row
 * first) or, when asked, top row first; a pixel is one grey byte or three
 * bytes red, green, blue (the caller turns a bitmap's blue-green-red order
 * around).
 *
 * Results: 1 success, otherwise one of the negative QJPG_* codes; every
 * failure leaves a text for qJpgGetLastErrorMessage. */
#ifndef QLIBJPG_H
#define QLIBJPG_H

#include "afm3_types.h"

#ifdef __cplusplus
extern "C" {
#endif

#if defined(_WIN32)
#if defined(QLIBJPG_BUILDING)
#define QLIBJPG_API __declspec(dllexport)
#else
#define QLIBJPG_API __declspec(dllimport)
#endif
#else
#define QLIBJPG_API __attribute__((visibility("default")))
#endif

enum {
  QJPG_OK = 1,
  QJPG_FAILED = -101, /* anything else; see the last error text */
  QJPG_NO_MEMORY = -102,
  QJPG_BAD_ARGUMENTS = -104,   /* a block or a size that cannot be right */
  QJPG_READ_FAILED = -105,     /* the stream is not a readable JPEG, or is cut short */
  QJPG_WRITE_FAILED = -106,    /* the encoder gave up */
  QJPG_BUFFER_TOO_SMALL = -109 /* the stream does not fit the output */
};

/* {byte count, bytes}: the stream read, or the output (capacity on entry,
 * bytes produced on return). */
typedef struct QJpgBuffer {
  DWORD count;
  BYTE* bytes;
} QJpgBuffer;

/* The pixels of one image (44 bytes in the 32-bit build). */
typedef struct QJpgImageInfo {
  DWORD size;          /* sizeof(QJpgImageInfo) */
  DWORD width;         /* written: in; read: filled with the stream's width */
  DWORD height;        /* written: in; read: filled with the stream's height */
  DWORD layout;        /* QJPG_LAYOUT_BITMAP (0 means the same) or QJPG_LAYOUT_TOP_DOWN */
  DWORD colourSamples; /* samples of a colour pixel: 3 (0 means the same) */
  DWORD xDensity;      /* pixels per inch written into the JFIF header */
  DWORD yDensity;
  DWORD bytesPerPixel; /* written: 1 or 3; read: filled with 1 or 3 */
  DWORD rowSize;       /* bytes from one row to the next, at least width x bytes */
  DWORD imageSize;     /* bytes at pixels: rowSize x rows */
  BYTE* pixels;
} QJpgImageInfo;

#define QJPG_LAYOUT_TOP_DOWN 1 /* the first row in memory is the picture's top */
#define QJPG_LAYOUT_BITMAP 2   /* the first row in memory is the picture's bottom */

typedef struct QJpgWriteOptions {
  DWORD size;    /* sizeof(QJpgWriteOptions) */
  DWORD quality; /* 1..100; 0 means 75 */
  DWORD reserved1;
  DWORD colour; /* 1: a colour stream (YCbCr); 0: a grey one */
  DWORD reserved2;
  DWORD reserved3;
} QJpgWriteOptions;

/* Encodes image into out. QJPG_BUFFER_TOO_SMALL when the stream needs more
 * than out->count bytes. */
QLIBJPG_API int qJpgStreamWrite(QJpgBuffer* out, const QJpgImageInfo* image,
                                const QJpgWriteOptions* options);

/* Decodes the stream in into image->pixels. Only layout, rowSize,
 * imageSize and pixels are read from image; width, height and
 * bytesPerPixel are filled in. The rows (imageSize / rowSize of them)
 * receive as much of the picture as they have room for, anchored at its
 * top left corner: 3 bytes a pixel for a colour stream when a row holds
 * width x 3 bytes, else 1 grey byte. reserved must be null. */
QLIBJPG_API int qJpgStreamRead(const QJpgBuffer* in, QJpgImageInfo* image, const void* reserved);

/* The text of the last failure (empty when there was none). */
QLIBJPG_API const char* qJpgGetLastErrorMessage(void);

typedef int (*QJPG_WRITE_FN)(QJpgBuffer*, const QJpgImageInfo*, const QJpgWriteOptions*);
typedef int (*QJPG_READ_FN)(const QJpgBuffer*, QJpgImageInfo*, const void*);
typedef const char* (*QJPG_MESSAGE_FN)(void);

#ifdef __cplusplus
}
#endif

#endif /* QLIBJPG_H */
