#include "picture_files.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <new>

namespace abm {

PictureFormat pictureFormatOf(std::span<const uint8_t> bytes) {
  static const uint8_t kPng[8] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF)
    return PictureFormat::Jpeg;
  if (bytes.size() >= 8 && std::memcmp(bytes.data(), kPng, 8) == 0) return PictureFormat::Png;
  if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') return PictureFormat::Bmp;
  return PictureFormat::Unknown;
}

const char* pictureFormatName(PictureFormat format) {
  switch (format) {
    case PictureFormat::Jpeg:
      return "JPEG";
    case PictureFormat::Png:
      return "PNG";
    case PictureFormat::Bmp:
      return "BMP";
    case PictureFormat::Unknown:
      break;
  }
  return "unknown";
}

bool decodePicture(std::span<const uint8_t> bytes, RowSink& sink, uint32_t minimumEdge,
                   std::string* problem) {
  try {
    switch (pictureFormatOf(bytes)) {
      case PictureFormat::Jpeg:
        return decodeJpeg(bytes, sink, minimumEdge, problem);
      case PictureFormat::Png:
        return decodePng(bytes, sink, problem);
      case PictureFormat::Bmp:
        return decodeBmp(bytes, sink, problem);
      case PictureFormat::Unknown:
        break;
    }
    *problem = "not a JPEG, PNG or BMP picture";
  } catch (const std::bad_alloc&) {
    *problem = "not enough memory for the picture";
  }
  return false;
}

bool readPictureFile(const std::string& path, std::vector<uint8_t>* bytes, std::string* problem) {
  bytes->clear();
  std::FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) {
    *problem = std::strerror(errno);
    return false;
  }
  bool ok = true;
  uint8_t chunk[65536];
  try {
    for (;;) {
      const size_t got = std::fread(chunk, 1, sizeof chunk, file);
      if (bytes->size() + got > kMaxPictureFileBytes) {
        *problem = "file too large for a picture";
        ok = false;
        break;
      }
      bytes->insert(bytes->end(), chunk, chunk + got);
      if (got < sizeof chunk) {
        if (std::ferror(file)) {
          *problem = "read error";
          ok = false;
        }
        break;
      }
    }
  } catch (const std::bad_alloc&) {
    *problem = "not enough memory for the file";
    ok = false;
  }
  std::fclose(file);
  if (!ok) bytes->clear();
  return ok;
}

}  // namespace abm
