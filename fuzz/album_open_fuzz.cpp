// Arbitrary bytes as an album file: the check and the open must report,
// never crash or read outside what they allocated.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "afm3.h"
#include "platform.h"

namespace {

std::string scratchPath() {
  char folder[MAX_PATH] = {};
  plat::tempFolder(folder, sizeof folder);
  return std::string(folder) + "afm3-fuzz-" + std::to_string(plat::tickCount() & 0xFFFF) + ".ab3";
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const std::string path = scratchPath();
  plat::FileHandle file =
      plat::openFile(path.c_str(), plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return 0;
  uint32_t done = 0;
  plat::writeFile(file, data, static_cast<uint32_t>(size), &done);
  plat::closeFile(file);

  static uint8_t header[4784];
  afm3CheckAlbum(0, 0, nullptr, path.c_str(), header);
  HINSTANCE owner = reinterpret_cast<HINSTANCE>(0xF022);
  HANDLE album = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  if (afm3OpenAlbum(owner, path.c_str(), 0x22, &album, nullptr, &count, &specs) != 0xFFFF) {
    uint8_t info[AFM3_ALBUM_INFO_SIZE];
    afm3ReadBasicAlbumInfo(owner, album, info);
    if (specs != nullptr) GlobalFree(specs);
    afm3CloseAlbum(owner, album);
  }
  return 0;
}
