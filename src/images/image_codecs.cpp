#include "images/image_codecs.h"

#include <cstring>
#include <utility>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/error_report.h"
#include "images/codec_libraries.h"
#include "platform.h"
#include "q32lzw.h"
#include "q32zlib.h"
#include "qlibjpg.h"
#include "qliblzw.h"

namespace afm3 {

namespace {

// ---- report locations ------------------------------------------------------
constexpr Location kJpegEncoder{kModImage, 1};
constexpr Location kLzwEncoder{kModImage, 2};
constexpr Location kJpegDecoder{kModImage, 3};
constexpr Location kZlibEncoder{kModImage, 6};
constexpr Location kZlibDecoder{kModImage, 7};

enum JpegEncoderStep : uint32_t {
  kJpegStepKind = 1,
  kJpegStepLoad = 2,
  kJpegStepMemory = 3,
  kJpegStepCodec = 4,
};
enum LzwEncoderStep : uint32_t {
  kLzwStepMemory = 1,
  kLzwStepLoad = 3,
  kLzwStepCodec = 4,
  kLzwStepNotReady = 5,  // q32lzw is there but says LZW cannot be used
};
enum JpegDecoderStep : uint32_t {
  kJpegReadStepLoad = 1,
  kJpegReadStepMemory = 2,
  kJpegReadStepRead = 3,
  kJpegReadStepCodec = 4,
};
enum ZlibEncoderStep : uint32_t {
  kZlibStepLoad = 1,
  kZlibStepMemory = 2,
  kZlibStepOnePiece = 3,
  kZlibStepPieces = 4,
};
enum ZlibDecoderStep : uint32_t {
  kZlibReadStepLoad = 1,
  kZlibReadStepMemory = 2,
  kZlibReadStepRead = 3,
  kZlibReadStepCodec = 4,
};

// The messages JPEG codec failures are reported with: Windows' texts for a
// write fault, a read fault and an exhausted resource.
constexpr uint32_t kErrJpegWrite = kErrSystemBase + 29;
constexpr uint32_t kErrJpegRead = kErrSystemBase + 30;
constexpr uint32_t kErrJpegArguments = kErrSystemBase + 113;

// ---- codec settings --------------------------------------------------------
constexpr uint32_t kJpegQuality = 60;
constexpr uint32_t kJpegDensity = 72;  // pixels per inch in the JFIF header
constexpr QLzwParams kLzwParams{12, 8, 1};
constexpr uint32_t kChunkPrefix = 2;
// What deflate may add to a 32768-byte piece it cannot compress (stored
// blocks, header and checksum: 23 bytes), with room to spare.
constexpr uint32_t kZlibPieceGrowth = 32;

void discard(LockedBlock* block) {
  uint8_t* bytes = block->release();
  freeLocked(bytes);
}

template <typename Function>
Function lookUp(CodecLibrary library, const char* name, Location where, uint32_t step) {
  return reinterpret_cast<Function>(codecFunction(library, name, where, step));
}

// Reports a JPEG codec result other than success.
void reportJpegFailure(int code, Location where, uint32_t step) {
  switch (code) {
    case QJPG_WRITE_FAILED:
      reportError(kErrJpegWrite, where, step);
      return;
    case QJPG_READ_FAILED:
      reportError(kErrJpegRead, where, step);
      return;
    case QJPG_BAD_ARGUMENTS:
      reportError(kErrJpegArguments, where, step);
      return;
    case QJPG_NO_MEMORY:
      reportError(kErrNoMemory, where, step);
      return;
    default: {
      auto message =
          lookUp<QJPG_MESSAGE_FN>(CodecLibrary::Jpeg, "qJpgGetLastErrorMessage", where, step);
      if (message != nullptr) reportText(message(), where, step);
      return;
    }
  }
}

// Swaps the first and third byte of each of width pixels in every row:
// bitmaps hold blue-green-red, the JPEG codec red-green-blue.
void swapRedBlue(uint8_t* pixels, uint32_t width, uint32_t rows, uint32_t rowSize) {
  for (uint32_t y = 0; y < rows; ++y) {
    uint8_t* p = pixels + size_t{rowSize} * y;
    for (uint32_t x = 0; x < width; ++x, p += 3) std::swap(p[0], p[2]);
  }
}

// Reads storedSize bytes at the file pointer into a new block, reporting
// at (where, memoryStep / readStep). A stored size beyond the end of the
// file is a short read, found before anything is allocated.
bool readStored(HANDLE file, uint32_t storedSize, LockedBlock* block, Location where,
                uint32_t memoryStep, uint32_t readStep) {
  if (storedSize > bytesLeftInFile(file)) {
    reportError(kErrShortRead, where, readStep);
    return false;
  }
  if (!block->allocate(storedSize)) {
    reportError(kErrNoMemory, where, memoryStep);
    return false;
  }
  return readExact(file, block->get(), storedSize, where, readStep);
}

}  // namespace

uint32_t bytesLeftInFile(HANDLE file) {
  const uint32_t position = plat::seekFile(file, 0, plat::SeekFrom::Current);
  const uint32_t size = plat::fileSize(file);
  if (position == 0xFFFFFFFFu || size == 0xFFFFFFFFu || size < position) return 0;
  return size - position;
}

// ---- JPEG ------------------------------------------------------------------

uint32_t encodeJpeg(uint8_t kind, const DibView& dib, LockedBlock* out) {
  if (kind != kKindTrueColour && kind != kKindGrey) {
    reportError(kErrImageKind, kJpegEncoder, kJpegStepKind);
    return 0;
  }
  if (loadCodecLibrary(CodecLibrary::Jpeg, kJpegEncoder, kJpegStepLoad) == nullptr) return 0;
  auto write =
      lookUp<QJPG_WRITE_FN>(CodecLibrary::Jpeg, "qJpgStreamWrite", kJpegEncoder, kJpegStepLoad);
  if (write == nullptr) return 0;

  QJpgWriteOptions options{
      sizeof(QJpgWriteOptions), kJpegQuality, 0, kind == kKindTrueColour ? 1u : 0u, 0, 0};
  QJpgImageInfo image{};
  image.size = sizeof image;
  image.width = dib.width();
  image.height = dib.height();
  image.layout = QJPG_LAYOUT_BITMAP;
  image.colourSamples = 3;
  image.xDensity = image.yDensity = kJpegDensity;
  image.bytesPerPixel = dib.bits() / 8;
  image.rowSize = dib.rowSize();
  image.imageSize = static_cast<DWORD>(dib.pixelBytes());
  image.pixels = const_cast<BYTE*>(dib.pixels());

  // The codec wants red first; the bitmap stays as the caller gave it.
  LockedBlock swapped;
  if (image.bytesPerPixel == 3) {
    if (!swapped.allocate(image.imageSize)) {
      reportError(kErrNoMemory, kJpegEncoder, kJpegStepMemory);
      return 0;
    }
    std::memcpy(swapped.get(), dib.pixels(), image.imageSize);
    swapRedBlue(swapped.get(), image.width, image.height, image.rowSize);
    image.pixels = swapped.get();
  }

  // Capacity starts at the raw size and doubles while the stream does not
  // fit, but only until it could hold the longest stream that is stored:
  // a longer one is not kept anyway.
  uint64_t capacity = image.imageSize;
  for (;;) {
    if (!out->allocate(static_cast<size_t>(capacity))) {
      reportError(kErrNoMemory, kJpegEncoder, kJpegStepMemory);
      return 0;
    }
    QJpgBuffer stream{static_cast<DWORD>(capacity), out->get()};
    const int result = write(&stream, &image, &options);
    if (result == QJPG_OK) return stream.count;
    discard(out);
    if (result != QJPG_BUFFER_TOO_SMALL) {
      reportJpegFailure(result, kJpegEncoder, kJpegStepCodec);
      return 0;
    }
    if (capacity > kJpegLargestStored) return kJpegLargestStored + 1;
    capacity *= 2;
  }
}

int decodeJpeg(HANDLE file, uint32_t storedSize, uint32_t height, uint8_t* pixels, uint32_t rowSize,
               bool topRowFirst) {
  if (loadCodecLibrary(CodecLibrary::Jpeg, kJpegDecoder, kJpegReadStepLoad,
                       LoadPurpose::Decoding) == nullptr)
    return -1;
  auto read =
      lookUp<QJPG_READ_FN>(CodecLibrary::Jpeg, "qJpgStreamRead", kJpegDecoder, kJpegReadStepLoad);
  if (read == nullptr) return -1;
  LockedBlock stored;
  if (!readStored(file, storedSize, &stored, kJpegDecoder, kJpegReadStepMemory, kJpegReadStepRead))
    return 0;
  QJpgBuffer in{storedSize, stored.get()};
  QJpgImageInfo image{};
  image.size = sizeof image;
  image.layout = topRowFirst ? QJPG_LAYOUT_TOP_DOWN : QJPG_LAYOUT_BITMAP;
  image.rowSize = rowSize;
  image.imageSize = height * rowSize;
  image.pixels = pixels;
  const int result = read(&in, &image, nullptr);
  if (result != QJPG_OK) {
    reportJpegFailure(result, kJpegDecoder, kJpegReadStepCodec);
    return 0;
  }
  if (image.bytesPerPixel == 3) {
    // Only the pixels the bitmap has room for were written.
    const uint32_t width = image.width < rowSize / 3 ? image.width : rowSize / 3;
    const uint32_t rows = image.height < height ? image.height : height;
    const uint32_t firstRow = topRowFirst ? 0 : height - rows;
    swapRedBlue(pixels + size_t{rowSize} * firstRow, width, rows, rowSize);
  }
  return 1;
}

// ---- LZW -------------------------------------------------------------------

uint32_t encodeLzw(const DibView& dib, LockedBlock* out) {
  if (loadCodecLibrary(CodecLibrary::Lzw, kLzwEncoder, kLzwStepLoad) == nullptr) return 0;
  auto ready =
      lookUp<Q32LZW_INIT_FN>(CodecLibrary::Lzw, "qfLZWComInit", kLzwEncoder, kLzwStepNotReady);
  if (ready == nullptr) return 0;
  if (ready() == 0) {
    reportLibraryNotLoaded(codecLibraryPath(CodecLibrary::Lzw), kLzwEncoder, kLzwStepNotReady);
    return 0;
  }
  const auto rawSize = static_cast<uint32_t>(dib.pixelBytes());
  // Each code (12 bits at most) takes at least one byte of input, plus a
  // Clear every 3836 codes and the codes that open and end the stream.
  const uint64_t capacity = uint64_t{rawSize} * 3 / 2 + rawSize / 2048 + 8;
  if (!out->allocate(static_cast<size_t>(capacity))) {
    reportError(kErrNoMemory, kLzwEncoder, kLzwStepMemory);
    return 0;
  }
  QLzwBuffer in{rawSize, const_cast<BYTE*>(dib.pixels())};
  QLzwBuffer stream{static_cast<DWORD>(capacity), out->get()};
  if (qLzwCompress(&in, &kLzwParams, &stream) != QLZW_OK) {
    discard(out);
    reportError(kErrNoMemory, kLzwEncoder, kLzwStepCodec);
    return 0;
  }
  return stream.count;
}

LzwDecodeResult decodeLzw(HANDLE file, uint32_t storedSize, uint8_t* pixels, uint32_t pixelBytes) {
  if (storedSize > bytesLeftInFile(file)) return LzwDecodeResult::ShortRead;
  LockedBlock stored(storedSize);
  if (!stored) return LzwDecodeResult::NoMemory;
  const uint32_t done = retryingRead(file, stored.get(), storedSize);
  if (done == kReadGaveUp) return LzwDecodeResult::ReadGaveUp;
  if (done != storedSize) return LzwDecodeResult::ShortRead;
  // Decoding straight into the pixel area: the capacity is the area, so
  // nothing past it is ever written, and a stream that goes on beyond it
  // only loses what would not have been kept.
  QLzwBuffer in{storedSize, stored.get()};
  QLzwBuffer out{pixelBytes, pixels};
  const int result = qLzwDecompress(&in, &kLzwParams, &out);
  return result == QLZW_OK || result == QLZW_OUTPUT_FULL ? LzwDecodeResult::Ok
                                                         : LzwDecodeResult::Failed;
}

// ---- zlib ------------------------------------------------------------------

uint32_t encodeZlib(const DibView& dib, LockedBlock* out) {
  if (loadCodecLibrary(CodecLibrary::Zlib, kZlibEncoder, kZlibStepLoad) == nullptr) return 0;
  auto compress =
      lookUp<Q32ZLIB_CODER_FN>(CodecLibrary::Zlib, "qzCompress", kZlibEncoder, kZlibStepLoad);
  if (compress == nullptr) return 0;
  const auto rawSize = static_cast<uint32_t>(dib.pixelBytes());
  const uint32_t pieces = (rawSize + kZlibPieceSize - 1) / kZlibPieceSize;
  const uint64_t capacity =
      uint64_t{rawSize} + uint64_t{pieces} * (kChunkPrefix + kZlibPieceGrowth) + kChunkPrefix;
  if (!out->allocate(static_cast<size_t>(capacity))) {
    reportError(kErrNoMemory, kZlibEncoder, kZlibStepMemory);
    return 0;
  }
  const uint32_t failureStep = rawSize <= kZlibPieceSize ? kZlibStepOnePiece : kZlibStepPieces;
  uint8_t* position = out->get();
  // Room for chunks, keeping back the closing u16 0.
  auto left = static_cast<uint32_t>(capacity - kChunkPrefix);
  for (uint32_t done = 0; done < rawSize; done += kZlibPieceSize) {
    const uint32_t piece = rawSize - done < kZlibPieceSize ? rawSize - done : kZlibPieceSize;
    DWORD length = left > kChunkPrefix ? left - kChunkPrefix : 0;
    // A chunk of 0 bytes would read as the end of the chunks.
    if (compress(piece, dib.pixels() + done, &length, position + kChunkPrefix) != QZ_OK ||
        length == 0 || length > 0xFFFF) {
      discard(out);
      reportError(kErrNoMemory, kZlibEncoder, failureStep);
      return 0;
    }
    afm3PutU16(position, static_cast<uint16_t>(length));
    position += kChunkPrefix + length;
    left -= kChunkPrefix + length;
  }
  afm3PutU16(position, 0);
  position += kChunkPrefix;
  return static_cast<uint32_t>(position - out->get());
}

int decodeZlib(HANDLE file, uint32_t storedSize, uint32_t rawSize, uint8_t* pixels) {
  if (loadCodecLibrary(CodecLibrary::Zlib, kZlibDecoder, kZlibReadStepLoad,
                       LoadPurpose::Decoding) == nullptr)
    return -1;
  auto decompress =
      lookUp<Q32ZLIB_CODER_FN>(CodecLibrary::Zlib, "qzDecompress", kZlibDecoder, kZlibReadStepLoad);
  if (decompress == nullptr) return -1;
  LockedBlock stored;
  if (!readStored(file, storedSize, &stored, kZlibDecoder, kZlibReadStepMemory, kZlibReadStepRead))
    return 0;
  // Every chunk length is checked against what is left of the stored
  // bytes; running out before the closing 0 is a damaged image.
  const uint8_t* chunk = stored.get();
  uint32_t bytesLeft = storedSize;
  uint32_t room = rawSize;
  for (;;) {
    if (bytesLeft < kChunkPrefix) break;
    const uint16_t length = afm3GetU16(chunk);
    if (length == 0) return 1;
    if (length > bytesLeft - kChunkPrefix) break;
    DWORD produced = room;
    if (decompress(length, chunk + kChunkPrefix, &produced, pixels) != QZ_OK || produced > room)
      break;
    pixels += produced;
    room -= produced;
    chunk += kChunkPrefix + length;
    bytesLeft -= kChunkPrefix + length;
  }
  reportError(kErrNoMemory, kZlibDecoder, kZlibReadStepCodec);
  return 0;
}

}  // namespace afm3
