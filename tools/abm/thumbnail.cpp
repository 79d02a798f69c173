#include "thumbnail.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "afm3_bytes.h"
#include "picture_exif.h"

namespace abm {

namespace {

constexpr uint32_t kBitmapHeaderSize = 40;
constexpr uint8_t kColourKindTrueColour = 2;  // 24 bits per pixel

uint32_t dibRowSize(uint32_t width) { return (24 * width + 31) / 32 * 4; }

}  // namespace

PixelSize fitInside(uint32_t width, uint32_t height, uint32_t edge) {
  edge = std::max<uint32_t>(edge, 1);
  if (width <= edge && height <= edge) return {width, height};
  const uint64_t w = width, h = height;
  if (width >= height)
    return {edge, static_cast<uint32_t>(std::max<uint64_t>(1, (h * edge + w / 2) / w))};
  return {static_cast<uint32_t>(std::max<uint64_t>(1, (w * edge + h / 2) / h)), edge};
}

bool ThumbnailScaler::begin(uint32_t width, uint32_t height) noexcept {
  sourceWidth_ = width;
  sourceHeight_ = height;
  rowsSeen_ = 0;
  size_ = fitInside(width, height, edge_);
  try {
    // Columns cover width units each, source pixels thumbnail-width units.
    const uint64_t w = width, tw = size_.width;
    shares_.clear();
    shareStart_.assign(size_.width + 1, 0);
    for (uint64_t x = 0; x < tw; ++x) {
      shareStart_[x] = static_cast<uint32_t>(shares_.size());
      const uint64_t from = x * w, to = (x + 1) * w;
      for (uint64_t s = from / tw; s * tw < to; ++s) {
        const uint64_t weight = std::min(to, (s + 1) * tw) - std::max(from, s * tw);
        shares_.push_back({static_cast<uint32_t>(s), static_cast<uint32_t>(weight)});
      }
    }
    shareStart_[size_.width] = static_cast<uint32_t>(shares_.size());
    sums_.assign(uint64_t{size_.width} * size_.height * 3, 0);
    rowSums_.assign(uint64_t{size_.width} * 3, 0);
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

void ThumbnailScaler::row(const uint8_t* rgb) noexcept {
  if (rowsSeen_ >= sourceHeight_) return;
  const uint32_t tw = size_.width;
  for (uint32_t x = 0; x < tw; ++x) {
    uint64_t r = 0, g = 0, b = 0;
    for (uint32_t i = shareStart_[x]; i < shareStart_[x + 1]; ++i) {
      const uint8_t* p = rgb + 3 * uint64_t{shares_[i].source};
      r += uint64_t{shares_[i].weight} * p[0];
      g += uint64_t{shares_[i].weight} * p[1];
      b += uint64_t{shares_[i].weight} * p[2];
    }
    rowSums_[3 * x] = r;
    rowSums_[3 * x + 1] = g;
    rowSums_[3 * x + 2] = b;
  }
  // Thumbnail rows cover height units each, source rows thumbnail-height units.
  const uint64_t h = sourceHeight_, th = size_.height, y = rowsSeen_;
  const uint64_t from = y * th, to = (y + 1) * th;
  for (uint64_t t = from / h; t < th && t * h < to; ++t) {
    const uint64_t weight = std::min(to, (t + 1) * h) - std::max(from, t * h);
    uint64_t* sums = sums_.data() + t * tw * 3;
    for (uint64_t i = 0; i < uint64_t{tw} * 3; ++i) sums[i] += weight * rowSums_[i];
  }
  ++rowsSeen_;
}

bool ThumbnailScaler::finish(RgbPicture* out) {
  if (sourceHeight_ == 0 || rowsSeen_ != sourceHeight_) return false;
  const uint64_t area = uint64_t{sourceWidth_} * sourceHeight_;
  out->width = size_.width;
  out->height = size_.height;
  out->rgb.resize(sums_.size());
  for (size_t i = 0; i < sums_.size(); ++i)
    out->rgb[i] = static_cast<uint8_t>((sums_[i] + area / 2) / area);
  return true;
}

bool thumbnailOf(const std::string& path, uint32_t edge, RgbPicture* out, std::string* problem,
                 ExifFacts* exif) {
  std::vector<uint8_t> bytes;
  if (!readPictureFile(path, &bytes, problem)) return false;
  ThumbnailScaler scaler(edge);
  if (!decodePicture(bytes, scaler, edge, problem)) return false;
  if (!scaler.finish(out)) {
    *problem = "picture data ends early";
    return false;
  }
  const ExifFacts facts = exifFactsOf(bytes);
  if (facts.orientation != 1) *out = uprightPicture(*out, facts.orientation);
  if (exif != nullptr) *exif = facts;
  return true;
}

HGLOBAL makeDib(const RgbPicture& picture) {
  const uint32_t rowSize = dibRowSize(picture.width);
  const uint64_t size = kBitmapHeaderSize + uint64_t{rowSize} * picture.height;
  HGLOBAL dib = GlobalAlloc(GHND, static_cast<SIZE_T>(size));
  if (dib == nullptr) return nullptr;
  auto* bytes = static_cast<unsigned char*>(GlobalLock(dib));
  if (bytes == nullptr) {
    GlobalFree(dib);
    return nullptr;
  }
  afm3PutU32(bytes, kBitmapHeaderSize);
  afm3PutU32(bytes + 4, picture.width);
  afm3PutU32(bytes + 8, picture.height);  // positive: bottom row first
  afm3PutU16(bytes + 12, 1);              // planes
  afm3PutU16(bytes + 14, 24);             // bits per pixel
  afm3PutU32(bytes + 20, rowSize * picture.height);
  for (uint32_t y = 0; y < picture.height; ++y) {
    const uint8_t* from = picture.rgb.data() + 3 * uint64_t{picture.width} * y;
    unsigned char* to = bytes + kBitmapHeaderSize + uint64_t{rowSize} * (picture.height - 1 - y);
    for (uint32_t x = 0; x < picture.width; ++x) {
      to[3 * x] = from[3 * x + 2];
      to[3 * x + 1] = from[3 * x + 1];
      to[3 * x + 2] = from[3 * x];
    }
  }
  GlobalUnlock(dib);
  return dib;
}

int compressionFromName(const std::string& name) {
  if (name == "raw") return kCompressionRaw;
  if (name == "jpeg") return kCompressionJpeg;
  if (name == "lzw") return kCompressionLzw;
  if (name == "zlib") return kCompressionZlib;
  return -1;
}

std::array<uint8_t, AFM3_IMAGE_HEADER_SIZE> imageHeaderFor(const RgbPicture& picture,
                                                           uint8_t compression) {
  std::array<uint8_t, AFM3_IMAGE_HEADER_SIZE> header{};
  header[AFM3_IMAGE_COLOUR_KIND] = kColourKindTrueColour;
  header[AFM3_IMAGE_COMPRESSION] = compression;
  afm3PutU16(header.data() + AFM3_IMAGE_WIDTH, static_cast<uint16_t>(picture.width));
  afm3PutU16(header.data() + AFM3_IMAGE_HEIGHT, static_cast<uint16_t>(picture.height));
  return header;
}

}  // namespace abm
