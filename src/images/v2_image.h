// Thumbnails of version-2 albums, read into bitmaps of today's kinds (for
// the image read of a version-2 album and for album conversion).
//
// A version-2 thumbnail is stored top row first, without colour table, as
// one of the old image types below; raw, LZW or JPEG as the album's
// compression setting and the entry's "stored raw" flag say.
#pragma once

#include <cstdint>

#include "afm3_types.h"

namespace afm3 {

enum V2ImageType : uint8_t {
  kV2Monochrome = 1,     // 1 bit, black and white
  kV2SixteenColour = 3,  // 8 bits, indexes into the sixteen-colour palette
  kV2Palette = 4,        // 8 bits, the StandardPalette
  kV2Grey = 5,           // 8 bits, grey
  kV2HighColour = 6,     // 16 bits, an older bit order
  kV2TrueColour = 7,     // 24 bits, red first
};

// Reads the thumbnail at offset. Returns a new movable global block with
// the bitmap, or null after a reported failure (module 7008, function 11).
// headerOut (16 bytes) receives the ImageHeader the image gets when stored
// again: its kind, size, flags, and the proposed compression in byte 9
// (1 JPEG for true colour, else 3 zlib).
//   compressionSetting: bits 4 to 6 of the version-2 header's byte 4652;
//   storedRaw: bit 3 of the entry's flags.
// The CompressionCode a version-2 thumbnail's pixel data was stored with:
// raw when the entry says so, else as the album's setting chose for its
// type (the image read asks for that codec before reading).
uint8_t version2StoredCompression(uint8_t oldType, uint8_t compressionSetting, bool storedRaw);

HGLOBAL readVersion2Image(HANDLE file, uint32_t offset, uint32_t storedSize, uint8_t oldType,
                          uint16_t width, uint16_t height, uint8_t compressionSetting,
                          bool storedRaw, uint8_t* headerOut);

}  // namespace afm3
