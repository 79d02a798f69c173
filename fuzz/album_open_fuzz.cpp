// Arbitrary bytes as an album file: the check and the open must report,
// never crash, leak or read outside what they allocated.
#include <cstddef>
#include <cstdint>

#include "afm3.h"
#include "fuzz_input.h"

namespace {

void openAndCheck(const uint8_t* data, size_t size) {
  if (!fuzzing::putInput(data, size)) return;
  static uint8_t header[4784];
  afm3CheckAlbum(0, 0, nullptr, fuzzing::kInputPath, header);
  HANDLE album = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  if (afm3OpenAlbum(fuzzing::ownerKey(), fuzzing::kInputPath, 0x22, &album, nullptr, &count,
                    &specs) != AFM3_OPEN_FAILED) {
    uint8_t info[AFM3_ALBUM_INFO_SIZE];
    afm3ReadBasicAlbumInfo(fuzzing::ownerKey(), album, info);
    fuzzing::freeHandle(specs);
    afm3CloseAlbum(fuzzing::ownerKey(), album);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::withoutBlockLeaks([&] { openAndCheck(data, size); });
  return 0;
}
