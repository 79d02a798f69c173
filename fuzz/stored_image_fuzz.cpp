// Arbitrary bytes as a stored image (ImageHeader, colour table, pixel
// data): the image reader and its JPEG, LZW and zlib-piece decoders must
// report or decode, never crash, leak or write outside the bitmap (headers
// asking for huge bitmaps are skipped, see fuzz_input.h).
#include <cstddef>
#include <cstdint>

#include "afm3.h"
#include "fuzz_input.h"
#include "pictures/image_store.h"
#include "platform.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzing::decodable(data, size, 0)) return 0;
  if (!fuzzing::putInput(data, size)) return 0;
  plat::FileHandle file = plat::openFile(fuzzing::kInputPath, plat::kGenericRead, plat::kShareRead,
                                         plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return 0;
  afm3::readStoredImage(file, 0, nullptr);
  HGLOBAL dib = nullptr;
  if (afm3::readStoredImage(file, 0, &dib) > 0) fuzzing::freeHandle(dib);
  plat::closeFile(file);
  return 0;
}
