// Stored thumbnails written out as picture files any viewer opens: the
// library's packed bitmaps (1, 4, 8, 16 or 24 bits) as 24-bit PNG or as
// BMP files. Every size inside a bitmap is checked against its block.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace abm {

// RGB pixels, top row first, rows not padded.
struct RgbImage {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
};

// The pixels of a packed DIB with a 40-byte header, uncompressed, bottom
// row first. false when the block does not hold such a bitmap.
bool dibToRgb(std::span<const uint8_t> dib, RgbImage* out);

// A PNG file: 8-bit RGB, no interlace, one IDAT.
std::vector<uint8_t> pngFile(const RgbImage& image);
// A BMP file: the 14-byte file header, then the DIB as it is. false when
// the block is not a bitmap this file format can carry.
bool bmpFile(std::span<const uint8_t> dib, std::vector<uint8_t>* out);

}  // namespace abm
