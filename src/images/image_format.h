// Stored images and the bitmaps they come from and go back to.
//
// A stored image is a 16-byte ImageHeader, then (when its entry count is
// non-zero) the colour table, 4 bytes an entry, then the pixel data, raw or
// compressed (image_codecs.h):
//   0 u32 stored size of the pixel data   4 u32 colour-table entries stored
//   8 u8 ColourKind   9 u8 CompressionCode   10 u16 width   12 u16 height
//   14 u8 flags (bit 0: the StandardPalette, not stored)   15 u8 0
//
// Bitmaps are packed device-independent bitmaps (DIB): a 40-byte
// BITMAPINFOHEADER (or a 12-byte core header), the colour table, then the
// rows bottom row first, each padded to a multiple of 4 bytes.
#pragma once

#include <cstddef>
#include <cstdint>

#include "afm3.h"
#include "afm3_types.h"
#include "core/heap_block.h"

namespace afm3 {

constexpr uint32_t kImageHeaderSize = AFM3_IMAGE_HEADER_SIZE;

enum ColourKind : uint8_t {
  kKindTrueColour = 2,   // 24 bits
  kKindPalette8 = 4,     // 8 bits, stored palette or the StandardPalette
  kKindPalette4 = 8,     // 4 bits, stored palette
  kKindHighColour = 16,  // 16 bits, 5-5-5
  kKindGrey = 32,        // 8 bits, a 256-step grey ramp (never stored)
  kKindMonochrome = 64,  // 1 bit
};

enum CompressionCode : uint8_t {
  kCompressNone = 0,
  kCompressJpeg = 1,
  kCompressLzw = 2,
  kCompressZlib = 3,
};

constexpr uint8_t kFlagStandardPalette = 0x01;

struct ImageHeader {
  uint32_t storedSize = 0;
  uint32_t entryCount = 0;
  uint8_t kind = 0;
  uint8_t compression = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t flags = 0;

  static ImageHeader read(const uint8_t* bytes);
  void write(uint8_t* bytes) const;  // byte 15 is always 0
  bool standardPalette() const { return (flags & kFlagStandardPalette) != 0; }
  // Whether a colour table follows the header: a count is given and the
  // kind keeps its own table (grey images and the StandardPalette do not).
  bool tableStored() const;
};

// The bytes a stored image occupies (header, table, data), from its
// header; reorganizing copies that many bytes.
uint64_t storedImageLength(const uint8_t* header);

// The six kinds a bitmap can be stored as.
bool isStorableKind(uint8_t kind);
// Bits per pixel of a stored kind: 2 -> 24, 8 -> 4, 16 -> 16, 64 -> 1,
// anything else 8.
uint32_t bitsForKind(uint8_t kind);

// ((bits x width + 31) / 32) x 4, in 32 bits. Rows of stored images are
// kept to 16 bits, so anything above kMaxRowSize cannot be stored.
uint32_t dibRowSize(uint32_t bits, uint32_t width);
constexpr uint32_t kMaxRowSize = 0xFFFF;
// Pixel data of one image is bounded so that a damaged header cannot make
// the library ask for gigabytes.
constexpr uint64_t kMaxPixelBytes = 256u << 20;

constexpr uint32_t kBitmapInfoSize = 40;
constexpr uint32_t kBitmapCoreSize = 12;
constexpr uint32_t kMaxColourEntries = 256;

// A packed DIB, checked against the size of the block that holds it.
class DibView {
 public:
  // False when the header is neither a core nor an info header, the bitmap
  // is compressed, top row first or of an unknown depth, or its colour
  // table and rows do not fit in size bytes.
  bool parse(const uint8_t* bytes, size_t size);

  uint32_t width() const { return width_; }
  uint32_t height() const { return height_; }
  uint32_t bits() const { return bits_; }
  // Colour-table entries: the used-colour count when the header gives one,
  // else 2, 16 or 256 for 1, 4 and 8 bits, else 0.
  uint32_t entries() const { return entries_; }
  uint32_t rowSize() const { return rowSize_; }
  const uint8_t* pixels() const { return pixels_; }
  uint64_t pixelBytes() const { return uint64_t{rowSize_} * height_; }
  // The colour table as 4-byte entries (blue, green, red, 0), also for a
  // core header's 3-byte entries.
  void colourTable(uint8_t* out) const;

 private:
  const uint8_t* table_ = nullptr;
  const uint8_t* pixels_ = nullptr;
  uint32_t width_ = 0, height_ = 0, bits_ = 0, entries_ = 0, rowSize_ = 0;
  uint32_t entrySize_ = 4;
};

// The 40-byte header of a bitmap the library builds: resolution from the
// screen's pixels per inch, colours used = entries.
void writeBitmapInfo(uint8_t* dib, uint32_t width, uint32_t height, uint32_t bits,
                     uint32_t entries);
uint32_t screenPixelsPerMetre();

// Palettes, 4 bytes an entry (blue, green, red, 0).
// StandardPalette: red 51r, green 51g, blue 51b for r, g, b = 0..5 (red
// outermost), then 40 white entries.
void writeStandardPalette(uint8_t* out);       // 256 entries
void writeGreyRamp(uint8_t* out);              // 256 entries, i = (i, i, i)
void writeSixteenColourPalette(uint8_t* out);  // 16 entries
void writeBlackWhitePalette(uint8_t* out);     // 2 entries: black, white

}  // namespace afm3
