// Arbitrary bytes as an old album (version 1.0, 1.2 or 2.0): the readers
// the conversion uses must report or read, never crash, leak or read
// outside the file. Byte 0 chooses the reader (even: version 1, odd:
// version 2); the rest is the file, whose header the reader is handed
// as the album check would hand it (without testing its checksum).
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz_input.h"
#include "images/v2_image.h"
#include "maintenance/old_albums.h"
#include "platform.h"

namespace {

constexpr uint32_t kV2HeaderBytes = 4784;

void readImage(HANDLE file, const afm3::OldRecord& record) {
  const afm3::OldImage& i = record.image;
  if (!i.present || uint64_t{i.width} * i.height * 3 > fuzzing::kLargestPixelArea) return;
  uint8_t header[AFM3_IMAGE_HEADER_SIZE];
  fuzzing::freeHandle(afm3::readVersion2Image(file, i.offset, i.storedSize, i.type, i.width,
                                              i.height, i.compressionSetting, i.storedRaw, header));
}

void readVersion2(HANDLE file, const std::vector<uint8_t>& header) {
  afm3::V2Reader reader(file, header.data());
  std::string table;
  uint32_t count = 0;
  reader.readKeywords(&table, &count);
  const uint32_t pages = reader.pageCount() < 4 ? reader.pageCount() : 4;
  for (uint32_t p = 0; p < pages; ++p) {
    if (!reader.readPage(p)) return;
    for (uint32_t i = 0; i < 64; ++i) {
      afm3::OldRecord record;
      if (reader.readRecord(i, &record)) readImage(file, record);
    }
  }
}

void readVersion1(HANDLE file, const std::vector<uint8_t>& header) {
  afm3::V1Reader reader(file, header.data());
  for (int n = 0; n < 64; ++n) {
    afm3::OldRecord record;
    if (reader.next(&record) != afm3::V1Reader::Next::Record) return;
    readImage(file, record);
  }
}

void run(const uint8_t* data, size_t size, bool version2) {
  if (!fuzzing::putInput(data, size)) return;
  plat::FileHandle file = plat::openFile(fuzzing::kInputPath, plat::kGenericRead, plat::kShareRead,
                                         plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return;
  std::vector<uint8_t> header(kV2HeaderBytes, 0);
  uint32_t done = 0;
  plat::readFile(file, header.data(), static_cast<uint32_t>(header.size()), &done);
  if (version2) {
    readVersion2(file, header);
  } else {
    readVersion1(file, header);
  }
  plat::closeFile(file);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size < 1) return 0;
  const bool version2 = (data[0] & 1) != 0;
  fuzzing::withoutBlockLeaks([&] { run(data + 1, size - 1, version2); });
  return 0;
}
