#include "images/image_format.h"

#include <cstring>

#include "afm3_bytes.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr uint32_t kCoreEntrySize = 3;
constexpr uint32_t kInfoEntrySize = 4;
constexpr uint32_t kStandardLevels = 6;
constexpr uint32_t kStandardStep = 51;
constexpr uint32_t kStandardCube = kStandardLevels * kStandardLevels * kStandardLevels;

void putEntry(uint8_t* out, uint32_t index, uint32_t rgb) {
  uint8_t* e = out + 4 * index;
  e[0] = static_cast<uint8_t>(rgb & 0xFF);
  e[1] = static_cast<uint8_t>((rgb >> 8) & 0xFF);
  e[2] = static_cast<uint8_t>((rgb >> 16) & 0xFF);
  e[3] = 0;
}

bool knownDepth(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24;
}

}  // namespace

ImageHeader ImageHeader::read(const uint8_t* b) {
  ImageHeader h;
  h.storedSize = afm3GetU32(b + AFM3_IMAGE_DATA_SIZE);
  h.entryCount = afm3GetU32(b + AFM3_IMAGE_PALETTE_COUNT);
  h.kind = b[AFM3_IMAGE_COLOUR_KIND];
  h.compression = b[AFM3_IMAGE_COMPRESSION];
  h.width = afm3GetU16(b + AFM3_IMAGE_WIDTH);
  h.height = afm3GetU16(b + AFM3_IMAGE_HEIGHT);
  h.flags = b[AFM3_IMAGE_FLAGS];
  return h;
}

void ImageHeader::write(uint8_t* b) const {
  afm3PutU32(b + AFM3_IMAGE_DATA_SIZE, storedSize);
  afm3PutU32(b + AFM3_IMAGE_PALETTE_COUNT, entryCount);
  b[AFM3_IMAGE_COLOUR_KIND] = kind;
  b[AFM3_IMAGE_COMPRESSION] = compression;
  afm3PutU16(b + AFM3_IMAGE_WIDTH, width);
  afm3PutU16(b + AFM3_IMAGE_HEIGHT, height);
  b[AFM3_IMAGE_FLAGS] = flags;
  b[AFM3_IMAGE_FLAGS + 1] = 0;
}

bool ImageHeader::tableStored() const {
  return kind != kKindGrey && !(kind == kKindPalette8 && standardPalette()) && entryCount > 0;
}

uint64_t storedImageLength(const uint8_t* header) {
  const ImageHeader h = ImageHeader::read(header);
  return kImageHeaderSize + 4ull * h.entryCount + h.storedSize;
}

bool isStorableKind(uint8_t kind) {
  switch (kind) {
    case kKindTrueColour:
    case kKindPalette8:
    case kKindPalette4:
    case kKindHighColour:
    case kKindGrey:
    case kKindMonochrome:
      return true;
    default:
      return false;
  }
}

uint32_t bitsForKind(uint8_t kind) {
  switch (kind) {
    case kKindTrueColour:
      return 24;
    case kKindPalette4:
      return 4;
    case kKindHighColour:
      return 16;
    case kKindMonochrome:
      return 1;
    default:
      return 8;
  }
}

uint32_t dibRowSize(uint32_t bits, uint32_t width) {
  return static_cast<uint32_t>((uint64_t{bits} * width + 31) / 32 * 4);
}

bool DibView::parse(const uint8_t* bytes, size_t size) {
  if (bytes == nullptr || size < kBitmapCoreSize) return false;
  const uint32_t headerSize = afm3GetU32(bytes);
  uint32_t declaredEntries = 0;
  if (headerSize == kBitmapCoreSize) {
    width_ = afm3GetU16(bytes + 4);
    height_ = afm3GetU16(bytes + 6);
    bits_ = afm3GetU16(bytes + 10);
    entrySize_ = kCoreEntrySize;
  } else if (headerSize >= kBitmapInfoSize && headerSize <= size) {
    const auto width = static_cast<int32_t>(afm3GetU32(bytes + 4));
    const auto height = static_cast<int32_t>(afm3GetU32(bytes + 8));
    // Top-row-first bitmaps (negative height) and compressed ones would
    // be stored with their rows in the wrong order or not at all.
    if (width <= 0 || height <= 0 || afm3GetU32(bytes + 16) != 0) return false;
    width_ = static_cast<uint32_t>(width);
    height_ = static_cast<uint32_t>(height);
    bits_ = afm3GetU16(bytes + 14);
    declaredEntries = afm3GetU32(bytes + 32);
    entrySize_ = kInfoEntrySize;
  } else {
    return false;
  }
  if (!knownDepth(bits_) || width_ == 0 || height_ == 0) return false;
  // A table of 0 declared entries is as long as the depth allows (2, 16 or
  // 256 entries); only deeper bitmaps have none.
  entries_ = declaredEntries != 0 ? declaredEntries : (bits_ <= 8 ? 1u << bits_ : 0);
  if (entries_ > kMaxColourEntries) return false;
  rowSize_ = dibRowSize(bits_, width_);
  const uint64_t tableBytes = uint64_t{entries_} * entrySize_;
  if (uint64_t{headerSize} + tableBytes + pixelBytes() > size) return false;
  table_ = bytes + headerSize;
  pixels_ = table_ + tableBytes;
  return true;
}

void DibView::colourTable(uint8_t* out) const {
  for (uint32_t i = 0; i < entries_; ++i) {
    std::memcpy(out + 4 * i, table_ + entrySize_ * i, 3);
    out[4 * i + 3] = 0;
  }
}

uint32_t screenPixelsPerMetre() {
  const int perInch = plat::screenPixelsPerInch();
  return perInch > 0 ? static_cast<uint32_t>(perInch) * 10000 / 254 : 0;
}

void writeBitmapInfo(uint8_t* dib, uint32_t width, uint32_t height, uint32_t bits,
                     uint32_t entries) {
  const uint32_t perMetre = screenPixelsPerMetre();
  std::memset(dib, 0, kBitmapInfoSize);
  afm3PutU32(dib, kBitmapInfoSize);
  afm3PutU32(dib + 4, width);
  afm3PutU32(dib + 8, height);
  afm3PutU16(dib + 12, 1);  // planes
  afm3PutU16(dib + 14, static_cast<uint16_t>(bits));
  // 16: no compression; 20: image size 0 (allowed for uncompressed rows)
  afm3PutU32(dib + 24, perMetre);
  afm3PutU32(dib + 28, perMetre);
  afm3PutU32(dib + 32, entries);
  // 36: colours important 0 (all)
}

void writeStandardPalette(uint8_t* out) {
  for (uint32_t i = 0; i < kMaxColourEntries; ++i) {
    if (i >= kStandardCube) {
      putEntry(out, i, 0xFFFFFF);
      continue;
    }
    const uint32_t red = kStandardStep * (i / (kStandardLevels * kStandardLevels));
    const uint32_t green = kStandardStep * (i / kStandardLevels % kStandardLevels);
    const uint32_t blue = kStandardStep * (i % kStandardLevels);
    putEntry(out, i, red << 16 | green << 8 | blue);
  }
}

void writeGreyRamp(uint8_t* out) {
  for (uint32_t i = 0; i < kMaxColourEntries; ++i) putEntry(out, i, i << 16 | i << 8 | i);
}

void writeSixteenColourPalette(uint8_t* out) {
  static constexpr uint32_t kColours[16] = {
      0x000000, 0x800000, 0x008000, 0x808000, 0x000080, 0x800080, 0x008080, 0x808080,
      0xC0C0C0, 0xFF0000, 0x00FF00, 0xFFFF00, 0x0000FF, 0xFF00FF, 0x00FFFF, 0xFFFFFF};
  for (uint32_t i = 0; i < 16; ++i) putEntry(out, i, kColours[i]);
}

void writeBlackWhitePalette(uint8_t* out) {
  putEntry(out, 0, 0x000000);
  putEntry(out, 1, 0xFFFFFF);
}

}  // namespace afm3
