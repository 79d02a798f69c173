// Thumbnails of pictures: an area-averaging reduction into the album's
// thumbnail square, and the 24-bit device-independent bitmap the library
// stores as a record's image.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "afm3.h"
#include "picture_files.h"

namespace abm {

struct PixelSize {
  uint32_t width = 0;
  uint32_t height = 0;
};

// The size of a width x height picture fitted into edge x edge with its
// proportions kept (each side at least 1). Pictures that fit already keep
// their size: thumbnails are never enlarged.
PixelSize fitInside(uint32_t width, uint32_t height, uint32_t edge);

// RGB pixels, top row first, rows not padded.
struct RgbPicture {
  uint32_t width = 0;
  uint32_t height = 0;
  std::vector<uint8_t> rgb;
};

// Receives a picture's rows and reduces them to fit edge x edge. Every
// thumbnail pixel is the mean of the picture area it covers, weighted by
// how much of each source pixel lies inside it.
class ThumbnailScaler : public RowSink {
 public:
  explicit ThumbnailScaler(uint32_t edge) : edge_(edge) {}
  bool begin(uint32_t width, uint32_t height) noexcept override;
  void row(const uint8_t* rgb) noexcept override;
  // The thumbnail once every announced row has arrived, else false.
  bool finish(RgbPicture* out);

 private:
  struct Share {
    uint32_t source;
    uint32_t weight;
  };
  uint32_t edge_;
  uint32_t sourceWidth_ = 0, sourceHeight_ = 0, rowsSeen_ = 0;
  PixelSize size_;
  std::vector<Share> shares_;         // per thumbnail column, its source pixels
  std::vector<uint32_t> shareStart_;  // first share of each column, plus one past the end
  std::vector<uint64_t> sums_;        // weighted sums, thumbnail rows x columns x 3
  std::vector<uint64_t> rowSums_;     // one source row reduced horizontally
};

struct ExifFacts;
// Reads a picture file (a shell path), decodes it, reduces it to fit
// edge x edge and turns it upright as its EXIF data says; *exif (when
// given) receives that data.
bool thumbnailOf(const std::string& path, uint32_t edge, RgbPicture* out, std::string* problem,
                 ExifFacts* exif = nullptr);

// A packed 24-bit DIB in a movable global block (40-byte header, then the
// rows bottom-up in blue-green-red order, each padded to 4 bytes); null
// when no memory is left. The caller frees it.
HGLOBAL makeDib(const RgbPicture& picture);

// Compression codes of a stored image.
constexpr uint8_t kCompressionRaw = 0, kCompressionJpeg = 1, kCompressionLzw = 2,
                  kCompressionZlib = 3;
// "raw", "jpeg", "lzw" or "zlib" to its code; -1 for anything else.
int compressionFromName(const std::string& name);

// The 16-byte ImageHeader for a 24-bit thumbnail.
std::array<uint8_t, AFM3_IMAGE_HEADER_SIZE> imageHeaderFor(const RgbPicture& picture,
                                                           uint8_t compression);

}  // namespace abm
