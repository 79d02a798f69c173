// Arbitrary bytes as a stored image: the image reader of version-3 albums
// and the thumbnail reader of version-2 albums, with the JPEG, LZW and
// zlib-piece decoders and the conversions behind them, must report or
// decode, never crash, leak or write outside the bitmap. Headers asking
// for huge bitmaps are skipped (see fuzz_input.h).
//
// Byte 0 chooses the reader. Even: the version-3 ImageHeader, colour table
// and pixel data follow. Odd: the version-2 thumbnail's old type (u8), the
// album's compression setting (u8), flags (u8, bit 0 stored raw), width
// and height (u16 each) and stored size (u32) follow, then its data.
#include <cstddef>
#include <cstdint>

#include "afm3.h"
#include "fuzz_input.h"
#include "images/image_store.h"
#include "images/v2_image.h"
#include "platform.h"

namespace {

constexpr uint32_t kVersion3Image = 1;   // offset of the ImageHeader
constexpr uint32_t kVersion2Image = 12;  // offset of the thumbnail's data

uint32_t u16At(const uint8_t* p) { return p[0] | p[1] << 8; }

void readVersion3(HANDLE file) {
  afm3::readStoredImage(file, kVersion3Image, nullptr);
  HGLOBAL dib = nullptr;
  if (afm3::readStoredImage(file, kVersion3Image, &dib) > 0) fuzzing::freeHandle(dib);
}

// Bits per pixel of the old types as the reader lays them out.
uint32_t version2Bits(uint8_t type) { return type == 1 ? 1 : type == 6 ? 16 : type == 7 ? 24 : 8; }

void readVersion2(HANDLE file, const uint8_t* params) {
  const uint8_t type = params[0];
  const uint32_t width = u16At(params + 3), height = u16At(params + 5);
  if (uint64_t{(version2Bits(type) * width + 31) / 32 * 4} * height > fuzzing::kLargestPixelArea)
    return;
  const uint32_t storedSize = u16At(params + 7) | u16At(params + 9) << 16;
  uint8_t header[AFM3_IMAGE_HEADER_SIZE];
  fuzzing::freeHandle(afm3::readVersion2Image(
      file, kVersion2Image, storedSize, type, static_cast<uint16_t>(width),
      static_cast<uint16_t>(height), params[1], (params[2] & 1) != 0, header));
}

void readImage(const uint8_t* data, size_t size, bool version2) {
  if (!fuzzing::putInput(data, size)) return;
  plat::FileHandle file = plat::openFile(fuzzing::kInputPath, plat::kGenericRead, plat::kShareRead,
                                         plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return;
  if (version2) {
    readVersion2(file, data + 1);
  } else {
    readVersion3(file);
  }
  plat::closeFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const bool version2 = size > 0 && (data[0] & 1) != 0;
  if (size < (version2 ? kVersion2Image : kVersion3Image)) return 0;
  if (!version2 && !fuzzing::decodable(data, size, kVersion3Image)) return 0;
  fuzzing::withoutBlockLeaks([&] { readImage(data, size, version2); });
  return 0;
}
