// Bitmaps, stored images and scratch album files for the picture tests.
// Bitmaps are built and taken apart here byte by byte, on their own, so
// the tests do not check the library's DIB code against itself.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afm3_types.h"
#include "temp_dir.h"

namespace pictest {

using Bytes = std::vector<uint8_t>;

// A deterministic byte source.
class Noise {
 public:
  explicit Noise(uint32_t seed) : state_(seed * 2654435761u + 1) {}
  uint8_t next() {
    state_ = state_ * 1664525u + 1013904223u;
    return static_cast<uint8_t>(state_ >> 24);
  }
  Bytes bytes(size_t n) {
    Bytes b(n);
    for (uint8_t& x : b) x = next();
    return b;
  }

 private:
  uint32_t state_;
};

struct Bitmap {
  uint32_t width = 0, height = 0, bits = 0;
  Bytes palette;  // 4 bytes an entry: blue, green, red, 0
  Bytes rows;     // bottom row first, padded to 4 bytes
  uint32_t rowSize() const { return (bits * width + 31) / 32 * 4; }
};

enum class Pattern { Smooth, Noise };
// A bitmap of a ColourKind's depth (2: 24, 4 and 32: 8, 8: 4, 16: 16,
// 64: 1) with its palette (kind 32: the grey ramp; kind 4: random
// colours); smooth pictures keep JPEG errors small. Padding stays 0.
Bitmap bitmapOfKind(uint8_t kind, uint32_t width, uint32_t height, Pattern pattern,
                    uint32_t seed = 1);
Bytes standardPalette();  // computed here from its definition
Bytes greyRamp();

// A movable global block with a BITMAPINFOHEADER (colours used = entries),
// the palette and the rows.
HGLOBAL toDib(const Bitmap& bitmap);
// Takes a library-made DIB apart (40-byte header only); empty on failure.
struct DibParts {
  uint32_t headerSize = 0, width = 0, height = 0, bits = 0, colorsUsed = 0, xPerMetre = 0;
  Bitmap bitmap;
};
DibParts readDib(HGLOBAL dib);

// A caller's 16-byte ImageHeader.
Bytes imageHeader(uint8_t kind, uint8_t compression, uint16_t width, uint16_t height,
                  uint8_t flags = 0);

double meanAbsoluteError(const Bytes& a, const Bytes& b);

// A file in a scratch folder, open for reading and writing, with a few
// bytes in front so that no image lands at offset 0.
class ScratchFile {
 public:
  ScratchFile();
  ~ScratchFile();
  HANDLE handle() const { return file_; }
  const std::string& path() const { return path_; }
  uint32_t end();  // seeks to the end, returns the offset
  uint32_t append(const Bytes& bytes);
  void patch(uint32_t offset, const Bytes& bytes);
  Bytes read(uint32_t offset, uint32_t count);

 private:
  afm3test::TempDir dir_;
  std::string path_;
  HANDLE file_;
};

}  // namespace pictest
