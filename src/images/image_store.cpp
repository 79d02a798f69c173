#include "images/image_store.h"

#include <cstring>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "images/codec_libraries.h"
#include "images/image_codecs.h"
#include "platform.h"

namespace afm3 {

namespace {

// A bitmap is checked before any encoder sees it.
constexpr Location kBitmapCheck{kModImage, 8};
enum BitmapCheckStep : uint32_t {
  kCheckStepUnusable = 1,  // no block, or not a packed DIB this library reads
  kCheckStepMismatch = 2,  // depth or size differ from the ImageHeader's kind and size
  kCheckStepTooLarge = 3,  // rows over 65535 bytes, or too many pixels
};

// afm3ReadRecordImage, from the image header on.
constexpr Location kReadImage{kModAlbumMisc, 5};
enum ReadImageStep : uint32_t {
  kReadStepSeek = 4,
  kReadStepHeader = 5,
  kReadStepAllocate = 6,
  kReadStepTable = 7,
  kReadStepPixels = 8,
  kReadStepLzw = 9,
  kReadStepDamaged = 14,  // a header no writer makes: unknown kind, no size
};

constexpr uint32_t kMonochromeEntries = 2;
constexpr uint32_t kSixteenEntries = 16;

// The colour table of a bitmap read back when the album stores none for
// it: a palette bitmap always gets one, so its colours are defined.
uint32_t defaultPalette(uint8_t kind, uint32_t bits, uint8_t* table) {
  if (kind == kKindGrey) {
    writeGreyRamp(table);
    return kMaxColourEntries;
  }
  if (bits == 1) {
    writeBlackWhitePalette(table);
    return kMonochromeEntries;
  }
  if (bits == 4) {
    writeSixteenColourPalette(table);
    return kSixteenEntries;
  }
  if (bits == 8) {
    writeStandardPalette(table);
    return kMaxColourEntries;
  }
  return 0;
}

}  // namespace

EncodedImage::~EncodedImage() {
  if (lockedDib_ != nullptr) plat::globalUnlock(lockedDib_);
}

bool encodeImage(uint8_t* header, HGLOBAL dib, EncodedImage* out) {
  ImageHeader h = ImageHeader::read(header);
  const uint8_t* bytes = dib != nullptr ? static_cast<uint8_t*>(plat::globalLock(dib)) : nullptr;
  if (bytes == nullptr) {
    reportError(kErrImageKind, kBitmapCheck, kCheckStepUnusable);
    return false;
  }
  out->lockedDib_ = dib;
  DibView view;
  if (!view.parse(bytes, plat::globalSize(dib))) {
    reportError(kErrImageKind, kBitmapCheck, kCheckStepUnusable);
    return false;
  }
  // The reader sizes the bitmap from the header's kind, width and height:
  // stored rows of another depth or size would come back scrambled.
  if (!isStorableKind(h.kind) || view.bits() != bitsForKind(h.kind) || view.width() != h.width ||
      view.height() != h.height) {
    reportError(kErrImageKind, kBitmapCheck, kCheckStepMismatch);
    return false;
  }
  if (view.rowSize() > kMaxRowSize || view.pixelBytes() > kMaxPixelBytes) {
    reportError(kErrImageKind, kBitmapCheck, kCheckStepTooLarge);
    return false;
  }

  // Only an 8-bit palette can be the StandardPalette left out of the file.
  h.flags &= kFlagStandardPalette;
  if (h.kind != kKindPalette8) h.flags = 0;
  h.entryCount = h.kind == kKindGrey || h.standardPalette() ? 0 : view.entries();

  uint32_t encodedSize = 0;
  switch (h.compression) {
    case kCompressNone:
      break;
    case kCompressJpeg:
      encodedSize = encodeJpeg(h.kind, view, &out->encoded_);
      if (encodedSize == 0) return false;
      if (encodedSize > kJpegLargestStored) {
        h.compression = kCompressNone;
        encodedSize = 0;
      }
      break;
    case kCompressLzw:
      encodedSize = encodeLzw(view, &out->encoded_);
      if (encodedSize == 0) return false;
      break;
    default:
      // Readers know only code 3 for zlib chunks.
      h.compression = kCompressZlib;
      encodedSize = encodeZlib(view, &out->encoded_);
      if (encodedSize == 0) return false;
      break;
  }
  if (h.compression == kCompressNone) {
    out->data_ = view.pixels();
    out->dataBytes_ = static_cast<uint32_t>(view.pixelBytes());
  } else {
    out->data_ = out->encoded_.get();
    out->dataBytes_ = encodedSize;
  }
  h.storedSize = out->dataBytes_;
  out->tableBytes_ = 4 * h.entryCount;
  if (h.entryCount > 0) view.colourTable(out->table_);
  h.write(out->header_);
  h.write(header);
  return true;
}

bool writeEncodedImage(HANDLE file, const EncodedImage& image, const ImageWriteSteps& steps) {
  if (!writeExact(file, image.header(), kImageHeaderSize, steps.errorId, steps.where,
                  steps.headerStep))
    return false;
  if (image.colourTableBytes() > 0 &&
      !writeExact(file, image.colourTable(), image.colourTableBytes(), steps.errorId, steps.where,
                  steps.tableStep))
    return false;
  const bool raw = image.header()[AFM3_IMAGE_COMPRESSION] == kCompressNone;
  return writeExact(file, image.data(), image.dataBytes(), steps.errorId, steps.where,
                    raw ? steps.rawStep : steps.encodedStep);
}

int readStoredImage(HANDLE file, uint32_t offset, HGLOBAL* dibOut) {
  if (dibOut != nullptr) *dibOut = nullptr;
  uint8_t raw[kImageHeaderSize];
  if (!seekTo(file, offset, kReadImage, kReadStepSeek) ||
      !readExact(file, raw, sizeof raw, kReadImage, kReadStepHeader))
    return 0;
  const ImageHeader h = ImageHeader::read(raw);
  if (dibOut == nullptr) return codecAvailable(h.compression) ? 1 : -2;

  const uint32_t bits = bitsForKind(h.kind);
  const uint32_t rowSize = dibRowSize(bits, h.width);
  const bool tableStored = h.tableStored();
  // Nothing the writer makes has these; they would give a block of
  // unbounded size or a result that reads as a failure.
  if (h.kind == 0 || h.width == 0 || h.height == 0 || rowSize > kMaxRowSize ||
      (tableStored && h.entryCount > kMaxColourEntries)) {
    reportError(kErrNotAnAlbum, kReadImage, kReadStepDamaged);
    return 0;
  }
  const uint64_t pixelBytes = uint64_t{rowSize} * h.height;
  uint8_t table[4 * kMaxColourEntries];
  const uint32_t entries = tableStored ? h.entryCount : defaultPalette(h.kind, bits, table);
  const uint32_t tableBytes = 4 * entries;
  const uint64_t total = kBitmapInfoSize + uint64_t{tableBytes} + pixelBytes;
  if (pixelBytes > kMaxPixelBytes) {
    reportError(kErrNoMemory, kReadImage, kReadStepAllocate);
    return 0;
  }
  // Raw rows are exactly as long as the header's kind and size make them;
  // compressed data is bounded by the file when the decoders read it.
  if (h.compression == kCompressNone && h.storedSize != pixelBytes) {
    reportError(kErrNotAnAlbum, kReadImage, kReadStepDamaged);
    return 0;
  }
  if (h.compression == kCompressNone &&
      uint64_t{offset} + kImageHeaderSize + (tableStored ? tableBytes : 0) + pixelBytes >
          fileLength(file)) {
    reportError(kErrShortRead, kReadImage, kReadStepPixels);
    return 0;
  }
  CallerBlock block(static_cast<size_t>(total));
  if (block.bytes() == nullptr) {
    reportError(kErrNoMemory, kReadImage, kReadStepAllocate);
    return 0;
  }
  uint8_t* colours = block.bytes() + kBitmapInfoSize;
  uint8_t* pixels = colours + tableBytes;
  if (tableStored) {
    if (!readExact(file, colours, tableBytes, kReadImage, kReadStepTable)) return 0;
  } else {
    std::memcpy(colours, table, tableBytes);
  }

  const auto area = static_cast<uint32_t>(pixelBytes);
  int decoded = 1;
  switch (h.compression) {
    case kCompressNone:
      if (!readExact(file, pixels, area, kReadImage, kReadStepPixels)) return 0;
      break;
    case kCompressJpeg:
      decoded = decodeJpeg(file, h.storedSize, h.height, pixels, rowSize);
      break;
    case kCompressLzw:
      switch (decodeLzw(file, h.storedSize, pixels, area)) {
        case LzwDecodeResult::Ok:
          break;
        case LzwDecodeResult::ShortRead:
          reportError(kErrShortRead, kReadImage, kReadStepLzw);
          return 0;
        case LzwDecodeResult::ReadGaveUp:
          reportError(kErrReadLocked, kReadImage, kReadStepLzw);
          return 0;
        case LzwDecodeResult::NoMemory:
          reportError(kErrNoMemory, kReadImage, kReadStepLzw);
          return 0;
        case LzwDecodeResult::Failed:
          return 0;
      }
      break;
    case kCompressZlib:
      decoded = decodeZlib(file, h.storedSize, area, pixels);
      break;
    default:
      break;  // no pixel data: the bitmap stays zero
  }
  if (decoded < 0) return -2;
  writeBitmapInfo(block.bytes(), h.width, h.height, bits, entries);
  *dibOut = block.releaseHandle();
  return h.kind;
}

}  // namespace afm3
