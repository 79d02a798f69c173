// Picture files the tool indexes: JPEG, PNG and BMP, decoded into rows of
// 8-bit RGB. Every size and length inside a picture file is checked against
// the bytes that are really there; a damaged file gives a problem text,
// never a read outside the file's bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace abm {

// Limits on what a picture may claim before its pixels are decoded.
constexpr uint32_t kMaxPictureEdge = 65535;
// Pictures that must be held whole while decoding (interlaced PNG,
// run-length BMP) may have at most this many pixels.
constexpr uint64_t kMaxHeldPixels = uint64_t{48} << 20;
// Larger picture files are refused before they are read.
constexpr uint64_t kMaxPictureFileBytes = uint64_t{256} << 20;

// Receives a decoded picture row by row, top row first.
class RowSink {
 public:
  virtual ~RowSink() = default;
  // The size of the rows to come. false refuses the picture (no memory).
  virtual bool begin(uint32_t width, uint32_t height) noexcept = 0;
  // One row of width RGB triples.
  virtual void row(const uint8_t* rgb) noexcept = 0;
};

enum class PictureFormat { Unknown, Jpeg, Png, Bmp };

// The format by the file's first bytes (the name does not matter).
PictureFormat pictureFormatOf(std::span<const uint8_t> bytes);
const char* pictureFormatName(PictureFormat format);

// Decodes a whole picture file into sink. A JPEG picture may arrive
// reduced to 1/2, 1/4 or 1/8 while its longer edge stays at least
// minimumEdge (0 keeps the full size). On failure *problem says why in a
// few words and the sink may have seen some rows.
bool decodePicture(std::span<const uint8_t> bytes, RowSink& sink, uint32_t minimumEdge,
                   std::string* problem);

bool decodeBmp(std::span<const uint8_t> bytes, RowSink& sink, std::string* problem);
bool decodePng(std::span<const uint8_t> bytes, RowSink& sink, std::string* problem);
bool decodeJpeg(std::span<const uint8_t> bytes, RowSink& sink, uint32_t minimumEdge,
                std::string* problem);

// Reads a file of at most kMaxPictureFileBytes (a shell path).
bool readPictureFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* problem);

}  // namespace abm
