#include "images/v2_image.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/error_report.h"
#include "images/codec_libraries.h"
#include "images/image_codecs.h"
#include "images/image_format.h"
#include "platform.h"
#include "q32base.h"
#include "q32cvt.h"

namespace afm3 {

namespace {

constexpr Location kV2Reader{kModConvert, 11};
enum V2ReaderStep : uint32_t {
  kV2StepAllocate = 3,
  kV2StepRawRead = 4,
  kV2StepLzwRead = 5,
  kV2StepSeek = 7,
  kV2StepConvertPalette = 8,  // to the StandardPalette (types 1, 3, 5)
  kV2StepConvertHigh = 9,     // 16 to 24 bits (type 6)
  kV2StepDamaged = 10,        // an unknown type, or no width or height
};

constexpr uint32_t kMonochromeEntries = 2;

struct Layout {
  uint8_t kind;
  uint32_t bits;
  uint32_t entries;
};

Layout layoutOf(uint8_t type) {
  switch (type) {
    case kV2Monochrome:
      return {kKindPalette8, 1, kMonochromeEntries};
    case kV2Palette:
      return {kKindPalette8, 8, kMaxColourEntries};
    case kV2Grey:
      return {kKindPalette8, 8, kMaxColourEntries};
    case kV2HighColour:
      return {kKindTrueColour, 16, 0};
    default:
      return {kKindTrueColour, 24, 0};
  }
}

bool knownType(uint8_t type) {
  return type == kV2Monochrome || type == kV2SixteenColour || type == kV2Palette ||
         type == kV2Grey || type == kV2HighColour || type == kV2TrueColour;
}

// How the pixel data was stored: raw when the entry says so, else as the
// album's setting chose for this type.
uint8_t storedCompression(uint8_t type, uint8_t setting, bool storedRaw) {
  if (storedRaw || setting == 0) return kCompressNone;
  if (setting == 2) return kCompressLzw;
  if (setting == 1) return type == kV2Grey || type == kV2TrueColour ? kCompressJpeg : kCompressLzw;
  return kCompressJpeg;
}

// Rows are stored top row first; 16-bit pixels in an older bit order
// (first byte c, second d); 24-bit pixels red first, except those of a
// JPEG stream, which the decoder already gave blue first. Each row is
// turned once.
void normaliseRows(uint8_t* pixels, uint32_t width, uint32_t height, uint32_t rowSize,
                   uint32_t bits, bool blueFirst) {
  for (uint32_t i = 0; i < height / 2; ++i) {
    uint8_t* top = pixels + size_t{rowSize} * i;
    uint8_t* bottom = pixels + size_t{rowSize} * (height - 1 - i);
    std::swap_ranges(top, top + rowSize, bottom);
  }
  for (uint32_t y = 0; y < height; ++y) {
    uint8_t* p = pixels + size_t{rowSize} * y;
    if (bits == 16) {
      for (uint32_t x = 0; x < width; ++x, p += 2) {
        const uint32_t c = p[0], d = p[1];
        const uint32_t v = (c >> 3) | ((c & 7) << 7) | ((d >> 6) << 5) | ((d & 31) << 10);
        afm3PutU16(p, static_cast<uint16_t>(v));
      }
    } else if (bits == 24 && !blueFirst) {
      for (uint32_t x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
    }
  }
}

template <typename Function>
Function conversionFunction(const char* name, uint32_t step) {
  return reinterpret_cast<Function>(codecFunction(CodecLibrary::Conversion, name, kV2Reader, step));
}

// Frees a buffer of the conversion library. (It hands out no graphics
// objects, see q32cvt.h, so there are none to delete.)
void freeBuffer(HGLOBAL& buffer) {
  buf32Free(buffer);
  buffer = nullptr;
}

// Replaces the bitmap in block by the same picture in 8 bits with the
// StandardPalette, through the conversion library's buffers.
bool toStandardPalette(CallerBlock& block) {
  const uint32_t step = kV2StepConvertPalette;
  if (loadCodecLibrary(CodecLibrary::Conversion, kV2Reader, step) == nullptr) return false;
  auto dibToBuf = conversionFunction<CVT32_DIB_TO_BUF_FN>("cvt32DIBToBuf", step);
  auto bufType = conversionFunction<CVT32_BUF_TYPE_FN>("cvt32BufType", step);
  auto bufToDib = conversionFunction<CVT32_BUF_TO_DIB_FN>("cvt32BufToDIB", step);
  if (dibToBuf == nullptr || bufType == nullptr || bufToDib == nullptr) return false;

  HGLOBAL source = nullptr, trueColour = nullptr, palette = nullptr, converted = nullptr;
  HANDLE object = nullptr, trueColourObject = nullptr, paletteObject = nullptr;
  DWORD sourceType = 0;
  bool ok = dibToBuf(block.handle(), &source, &object, &sourceType, 0) != FALSE &&
            bufType(CVT32_NEAREST_COLOUR, 0, sourceType, CVT32_TRUE_COLOUR, source, &trueColour, 0,
                    object, &trueColourObject, 0) != FALSE;
  freeBuffer(source);
  ok = ok && bufType(CVT32_NEAREST_COLOUR, 0, CVT32_TRUE_COLOUR, CVT32_STANDARD_PALETTE, trueColour,
                     &palette, 0, nullptr, &paletteObject, 0) != FALSE;
  freeBuffer(trueColour);
  if (ok) bufToDib(palette, &converted, paletteObject, 0);
  freeBuffer(palette);
  if (converted == nullptr || !block.adopt(converted)) {
    reportError(kErrNoMemory, kV2Reader, step);
    return false;
  }
  return true;
}

bool toTrueColour(CallerBlock& block) {
  const uint32_t step = kV2StepConvertHigh;
  if (loadCodecLibrary(CodecLibrary::Conversion, kV2Reader, step) == nullptr) return false;
  auto dibToDib = conversionFunction<CVT32_DIB_TO_DIB_FN>("cvt32DIBToDIB", step);
  if (dibToDib == nullptr) return false;
  HGLOBAL converted = nullptr;
  if (dibToDib(block.handle(), &converted, CVT32_TRUE_COLOUR, 0) == FALSE) {
    if (converted != nullptr) plat::globalFree(converted);
    converted = nullptr;
  }
  // adopt frees the old bitmap, and the new one when it cannot be locked.
  if (converted == nullptr || !block.adopt(converted)) {
    reportError(kErrNoMemory, kV2Reader, step);
    return false;
  }
  return true;
}

}  // namespace

uint8_t version2StoredCompression(uint8_t oldType, uint8_t compressionSetting, bool storedRaw) {
  return storedCompression(oldType, compressionSetting, storedRaw);
}

HGLOBAL readVersion2Image(HANDLE file, uint32_t offset, uint32_t storedSize, uint8_t oldType,
                          uint16_t width, uint16_t height, uint8_t compressionSetting,
                          bool storedRaw, uint8_t* headerOut) {
  std::memset(headerOut, 0, kImageHeaderSize);
  if (!knownType(oldType) || width == 0 || height == 0) {
    reportError(kErrNotAnAlbum, kV2Reader, kV2StepDamaged);
    return nullptr;
  }
  // Type 3 is type 4 with the sixteen-colour palette in front.
  const bool sixteenColour = oldType == kV2SixteenColour;
  const uint8_t type = sixteenColour ? static_cast<uint8_t>(kV2Palette) : oldType;
  const Layout layout = layoutOf(type);
  const uint8_t compression = storedCompression(type, compressionSetting, storedRaw);
  ImageHeader header;
  header.kind = layout.kind;
  header.width = width;
  header.height = height;

  const uint32_t rowSize = dibRowSize(layout.bits, width);
  const uint64_t pixelBytes = uint64_t{rowSize} * height;
  const uint32_t tableBytes = 4 * layout.entries;
  CallerBlock block;
  if (rowSize > kMaxRowSize || pixelBytes > kMaxPixelBytes ||
      !block.allocate(static_cast<size_t>(kBitmapInfoSize + tableBytes + pixelBytes))) {
    reportError(kErrNoMemory, kV2Reader, kV2StepAllocate);
    return nullptr;
  }
  uint8_t* colours = block.bytes() + kBitmapInfoSize;
  uint8_t* pixels = colours + tableBytes;
  if (type == kV2Grey) {
    writeGreyRamp(colours);
  } else if (sixteenColour) {
    writeSixteenColourPalette(colours);  // the other 240 entries stay black
  } else if (type == kV2Palette) {
    writeStandardPalette(colours);
  } else if (type == kV2Monochrome) {
    writeBlackWhitePalette(colours);
  }

  if (!seekTo(file, offset, kV2Reader, kV2StepSeek, kErrChecksum)) return nullptr;
  const auto area = static_cast<uint32_t>(pixelBytes);
  switch (compression) {
    case kCompressNone: {
      const uint32_t wanted = storedSize < area ? storedSize : area;
      const uint32_t done = retryingRead(file, pixels, wanted);
      if (done == kReadGaveUp || done < area) {
        reportError(done == kReadGaveUp ? kErrReadLocked : kErrShortRead, kV2Reader,
                    kV2StepRawRead);
        return nullptr;
      }
      break;
    }
    case kCompressLzw:
      switch (decodeLzw(file, storedSize, pixels, area)) {
        case LzwDecodeResult::Ok:
          break;
        case LzwDecodeResult::ShortRead:
          reportError(kErrShortRead, kV2Reader, kV2StepLzwRead);
          return nullptr;
        case LzwDecodeResult::ReadGaveUp:
          reportError(kErrReadLocked, kV2Reader, kV2StepLzwRead);
          return nullptr;
        case LzwDecodeResult::NoMemory:
          reportError(kErrNoMemory, kV2Reader, kV2StepLzwRead);
          return nullptr;
        case LzwDecodeResult::Failed:
          return nullptr;
      }
      break;
    default:
      // Top row first, like the other stored forms, so one flip serves all.
      if (decodeJpeg(file, storedSize, height, pixels, rowSize, true) <= 0) return nullptr;
      break;
  }

  normaliseRows(pixels, width, height, rowSize, layout.bits, compression == kCompressJpeg);
  writeBitmapInfo(block.bytes(), width, height, layout.bits, layout.entries);

  if (type == kV2Palette && !sixteenColour) {
    header.flags = kFlagStandardPalette;
  } else if (type == kV2Monochrome || type == kV2Grey || sixteenColour) {
    if (!toStandardPalette(block)) return nullptr;
    header.kind = kKindPalette8;
    header.flags = kFlagStandardPalette;
  } else if (type == kV2HighColour) {
    if (!toTrueColour(block)) return nullptr;
  }
  header.compression = header.kind == kKindTrueColour ? kCompressJpeg : kCompressZlib;
  header.write(headerOut);
  return block.releaseHandle();
}

}  // namespace afm3
