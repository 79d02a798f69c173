// Picture files made byte by byte for the tool tests (JPEG through
// libjpeg's encoder), and a sink that keeps every decoded row.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "picture_files.h"

namespace tooltest {

using Bytes = std::vector<uint8_t>;

void put16(Bytes& b, size_t at, uint16_t v);
void put32(Bytes& b, size_t at, uint32_t v);

// A bitmap file: 14-byte file header, an info header of headerSize bytes
// (12 = the OS/2 core header) with the fields below, optional masks after
// a 40-byte header, the palette (0xRRGGBB, 3 or 4 bytes per entry), then
// the stored pixel bytes exactly as given.
struct Bmp {
  int32_t width = 0;
  int32_t height = 0;  // negative: top row first
  uint16_t bits = 24;
  uint32_t compression = 0;
  uint32_t headerSize = 40;
  uint32_t coloursUsed = 0;
  std::vector<uint32_t> masks;  // red, green, blue (written after a 40-byte header)
  std::vector<uint32_t> palette;
  Bytes pixels;
};
Bytes bmpFile(const Bmp& bmp);

// A PNG chunk with its length and checksum.
Bytes pngChunk(const std::string& type, const Bytes& body);
// An IHDR chunk.
Bytes pngHeader(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, bool interlaced);
Bytes deflate(const Bytes& data);
// Signature, the given chunks in order, then IEND.
Bytes pngFile(const std::vector<Bytes>& chunks);
// The chunks of a file with every checksum made right again (to reach the
// decoder past the checksum test with damaged content).
Bytes withFixedChecksums(Bytes png);

// Rows of unfiltered bytes, filtered with one filter type (0 to 4) each.
Bytes filterRows(const Bytes& raw, size_t rowBytes, size_t pixelBytes, uint8_t filter);
// An 8-bit RGB picture as a PNG (filter 0, one IDAT).
Bytes pngRgb(uint32_t width, uint32_t height, const Bytes& rgb);
// The Adam7 passes of a picture whose unfiltered rows are given per pixel
// (pixelBytes per pixel, 8-bit depths and above), filtered with filter 0.
Bytes interlacedData(const Bytes& pixels, uint32_t width, uint32_t height, size_t pixelBytes);

// A JPEG through libjpeg: rgb (or grey, one byte per pixel) top row first.
Bytes jpegFile(uint32_t width, uint32_t height, const Bytes& pixels, bool grey, int quality,
               bool progressive = false);
// A CMYK JPEG (Adobe's inverted ink values, four bytes per pixel).
Bytes cmykJpegFile(uint32_t width, uint32_t height, const Bytes& cmyk);

// EXIF data for a JPEG: IFD0 with Orientation (0: none), Make and Model
// (empty: none) and a pointer to an EXIF IFD holding DateTimeOriginal
// ("YYYY:MM:DD hh:mm:ss", empty: no EXIF IFD); Motorola byte order when
// bigEndian.
struct Exif {
  uint16_t orientation = 0;
  std::string make, model, taken;
  bool bigEndian = false;
};
// The APP1 segment's payload ("Exif\0\0" and the TIFF structure).
Bytes exifPayload(const Exif& exif);
// A JPEG file with an APP1 segment holding payload right after its start.
Bytes withApp1(const Bytes& jpeg, const Bytes& payload);

// Runs an abm verb the way main() does; the words start with the verb.
int runTool(const std::vector<std::string>& words);
// The same with stdout captured into *out.
int runToolCaptured(const std::vector<std::string>& words, std::string* out);

// Keeps every decoded row.
struct CollectedPicture : abm::RowSink {
  uint32_t width = 0, height = 0;
  int begins = 0;
  Bytes rgb;
  bool begin(uint32_t w, uint32_t h) noexcept override;
  void row(const uint8_t* pixels) noexcept override;
  size_t rows() const { return width == 0 ? 0 : rgb.size() / (3 * size_t{width}); }
  // The colour of one pixel as 0xRRGGBB.
  uint32_t at(uint32_t x, uint32_t y) const;
};

// Decodes bytes; problem receives the reason of a failure.
bool decode(const Bytes& bytes, CollectedPicture* picture, std::string* problem,
            uint32_t minimumEdge = 0);

// A shell path in a test folder (the folder is a library path).
std::string shellPath(const std::string& libraryPath);
bool writeShellFile(const std::string& shellPath, const Bytes& bytes);

}  // namespace tooltest
