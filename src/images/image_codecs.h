// The encoders and decoders of stored pixel data.
//
// Pixel data by CompressionCode:
//   0 the bitmap rows as they are (row size x height bytes);
//   1 one JPEG stream (qlibjpg), at most 65535 bytes;
//   2 one LZW stream (qliblzw, TIFF LZW with the parameters {12, 8, 1});
//   3 chunks, each a u16 n > 0 and n bytes of one zlib stream (q32zlib) made
//     from at most 32768 consecutive bytes of the rows; a u16 0 ends them.
//
// Failures are reported here under module 7002 (function 1 JPEG encoder,
// 2 LZW encoder, 3 JPEG decoder, 6 zlib encoder, 7 zlib decoder), except
// the LZW decoder's, which its callers report.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/heap_block.h"
#include "images/image_format.h"

namespace afm3 {

constexpr uint32_t kJpegLargestStored = 0xFFFF;
constexpr uint32_t kZlibPieceSize = 32768;

// Encoders: the encoded size with the data in out (a locked global block),
// or 0 after a reported failure. The JPEG encoder returns a size above
// kJpegLargestStored, with out empty, for a stream too long to be stored.
uint32_t encodeJpeg(uint8_t kind, const DibView& dib, LockedBlock* out);
uint32_t encodeLzw(const DibView& dib, LockedBlock* out);
uint32_t encodeZlib(const DibView& dib, LockedBlock* out);

// Decoders read storedSize bytes at the file pointer into pixels (rows of
// rowSize bytes, bottom row first). 1 success; 0 a reported failure (the
// pixels keep what was decoded); -1 the library is missing (reported).
// JPEG pixels come out blue first; with topRowFirst the picture's top row
// is the first in memory (version-2 thumbnails, flipped afterwards).
int decodeJpeg(HANDLE file, uint32_t storedSize, uint32_t height, uint8_t* pixels, uint32_t rowSize,
               bool topRowFirst = false);
int decodeZlib(HANDLE file, uint32_t storedSize, uint32_t rawSize, uint8_t* pixels);

enum class LzwDecodeResult {
  Ok,
  ShortRead,   // the caller reports 6424
  ReadGaveUp,  // the caller reports 6633 (another process kept its lock)
  NoMemory,    // the caller reports 6403
  Failed,      // not a valid stream: the caller fails without a report
};
// Decodes into at most pixelBytes bytes of pixels; decoded data beyond the
// pixel area is dropped, a stream that ends early leaves zero pixels.
LzwDecodeResult decodeLzw(HANDLE file, uint32_t storedSize, uint8_t* pixels, uint32_t pixelBytes);

// Bytes from the file pointer to the end of the file (0 when unknown).
uint32_t bytesLeftInFile(HANDLE file);

}  // namespace afm3
