#include "test_pictures.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

#include "cli.h"
#include "host_paths.h"

// clang-format off
#include <jpeglib.h>
// clang-format on

namespace tooltest {

void put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}

void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

namespace {

void putBig32(Bytes& b, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) b.push_back(static_cast<uint8_t>(v >> shift));
}

uint32_t big32(const Bytes& b, size_t at) {
  return (uint32_t{b[at]} << 24) | (uint32_t{b[at + 1]} << 16) | (uint32_t{b[at + 2]} << 8) |
         b[at + 3];
}

int predictor(uint8_t filter, int a, int b, int c) {
  switch (filter) {
    case 1:
      return a;
    case 2:
      return b;
    case 3:
      return (a + b) / 2;
    case 4: {
      const int p = a + b - c, pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
      return pa <= pb && pa <= pc ? a : pb <= pc ? b : c;
    }
    default:
      return 0;
  }
}

}  // namespace

Bytes bmpFile(const Bmp& bmp) {
  const bool core = bmp.headerSize == 12;
  const bool masksInHeader = bmp.headerSize >= 52;
  const size_t masksAfter = masksInHeader ? 0 : 4 * bmp.masks.size();
  const size_t entry = core ? 3 : 4;
  const size_t pixelsAt = 14 + bmp.headerSize + masksAfter + entry * bmp.palette.size();
  Bytes b(pixelsAt, 0);
  b[0] = 'B';
  b[1] = 'M';
  put32(b, 2, static_cast<uint32_t>(pixelsAt + bmp.pixels.size()));
  put32(b, 10, static_cast<uint32_t>(pixelsAt));
  put32(b, 14, bmp.headerSize);
  if (core) {
    put16(b, 18, static_cast<uint16_t>(bmp.width));
    put16(b, 20, static_cast<uint16_t>(bmp.height));
    put16(b, 22, 1);
    put16(b, 24, bmp.bits);
  } else {
    put32(b, 18, static_cast<uint32_t>(bmp.width));
    put32(b, 22, static_cast<uint32_t>(bmp.height));
    put16(b, 26, 1);
    put16(b, 28, bmp.bits);
    if (bmp.headerSize >= 40) {
      put32(b, 30, bmp.compression);
      put32(b, 34, static_cast<uint32_t>(bmp.pixels.size()));
      put32(b, 46, bmp.coloursUsed);
    }
  }
  size_t at = masksInHeader ? 14 + 40 : 14 + bmp.headerSize;
  for (uint32_t mask : bmp.masks) {
    put32(b, at, mask);
    at += 4;
  }
  at = 14 + bmp.headerSize + masksAfter;
  for (uint32_t colour : bmp.palette) {
    b[at] = static_cast<uint8_t>(colour);
    b[at + 1] = static_cast<uint8_t>(colour >> 8);
    b[at + 2] = static_cast<uint8_t>(colour >> 16);
    at += entry;
  }
  b.insert(b.end(), bmp.pixels.begin(), bmp.pixels.end());
  return b;
}

Bytes pngChunk(const std::string& type, const Bytes& body) {
  Bytes chunk;
  putBig32(chunk, static_cast<uint32_t>(body.size()));
  chunk.insert(chunk.end(), type.begin(), type.end());
  chunk.insert(chunk.end(), body.begin(), body.end());
  const uLong crc = crc32(0, chunk.data() + 4, static_cast<uInt>(chunk.size() - 4));
  putBig32(chunk, static_cast<uint32_t>(crc));
  return chunk;
}

Bytes pngHeader(uint32_t width, uint32_t height, uint8_t depth, uint8_t colour, bool interlaced) {
  Bytes body;
  putBig32(body, width);
  putBig32(body, height);
  body.insert(body.end(), {depth, colour, 0, 0, static_cast<uint8_t>(interlaced ? 1 : 0)});
  return pngChunk("IHDR", body);
}

Bytes deflate(const Bytes& data) {
  uLongf size = compressBound(static_cast<uLong>(data.size()));
  Bytes out(size);
  compress2(out.data(), &size, data.data(), static_cast<uLong>(data.size()), 9);
  out.resize(size);
  return out;
}

Bytes pngFile(const std::vector<Bytes>& chunks) {
  Bytes file = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  for (const Bytes& chunk : chunks) file.insert(file.end(), chunk.begin(), chunk.end());
  const Bytes end = pngChunk("IEND", {});
  file.insert(file.end(), end.begin(), end.end());
  return file;
}

Bytes withFixedChecksums(Bytes png) {
  size_t at = 8;
  while (at + 12 <= png.size()) {
    const uint32_t length = big32(png, at);
    if (length > png.size() - at - 12) break;
    const uLong crc = crc32(0, png.data() + at + 4, length + 4);
    for (int i = 0; i < 4; ++i)
      png[at + 8 + length + i] = static_cast<uint8_t>(crc >> (24 - 8 * i));
    at += 12 + size_t{length};
  }
  return png;
}

Bytes filterRows(const Bytes& raw, size_t rowBytes, size_t pixelBytes, uint8_t filter) {
  Bytes out;
  const size_t rows = raw.size() / rowBytes;
  for (size_t y = 0; y < rows; ++y) {
    out.push_back(filter);
    for (size_t i = 0; i < rowBytes; ++i) {
      const int a = i >= pixelBytes ? raw[y * rowBytes + i - pixelBytes] : 0;
      const int b = y > 0 ? raw[(y - 1) * rowBytes + i] : 0;
      const int c = y > 0 && i >= pixelBytes ? raw[(y - 1) * rowBytes + i - pixelBytes] : 0;
      out.push_back(static_cast<uint8_t>(raw[y * rowBytes + i] - predictor(filter, a, b, c)));
    }
  }
  return out;
}

Bytes pngRgb(uint32_t width, uint32_t height, const Bytes& rgb) {
  return pngFile({pngHeader(width, height, 8, 2, false),
                  pngChunk("IDAT", deflate(filterRows(rgb, 3 * size_t{width}, 3, 0)))});
}

Bytes interlacedData(const Bytes& pixels, uint32_t width, uint32_t height, size_t pixelBytes) {
  static const uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  Bytes out;
  for (const auto& p : kPasses) {
    if (width <= p[0] || height <= p[1]) continue;
    for (uint32_t y = p[1]; y < height; y += p[3]) {
      out.push_back(0);
      for (uint32_t x = p[0]; x < width; x += p[2]) {
        const size_t at = (size_t{y} * width + x) * pixelBytes;
        out.insert(out.end(), pixels.begin() + at, pixels.begin() + at + pixelBytes);
      }
    }
  }
  return out;
}

namespace {

Bytes compressJpeg(uint32_t width, uint32_t height, const Bytes& pixels, int components,
                   J_COLOR_SPACE space, int quality, bool progressive) {
  jpeg_compress_struct info;
  jpeg_error_mgr errors;
  info.err = jpeg_std_error(&errors);
  jpeg_create_compress(&info);
  unsigned char* buffer = nullptr;
  unsigned long size = 0;
  jpeg_mem_dest(&info, &buffer, &size);
  info.image_width = width;
  info.image_height = height;
  info.input_components = components;
  info.in_color_space = space;
  jpeg_set_defaults(&info);
  if (space == JCS_CMYK) jpeg_set_colorspace(&info, JCS_CMYK);
  jpeg_set_quality(&info, quality, TRUE);
  if (progressive) jpeg_simple_progression(&info);
  jpeg_start_compress(&info, TRUE);
  while (info.next_scanline < height) {
    JSAMPROW row =
        const_cast<JSAMPROW>(pixels.data() + size_t{info.next_scanline} * width * components);
    jpeg_write_scanlines(&info, &row, 1);
  }
  jpeg_finish_compress(&info);
  Bytes out(buffer, buffer + size);
  jpeg_destroy_compress(&info);
  std::free(buffer);
  return out;
}

}  // namespace

Bytes jpegFile(uint32_t width, uint32_t height, const Bytes& pixels, bool grey, int quality,
               bool progressive) {
  return compressJpeg(width, height, pixels, grey ? 1 : 3, grey ? JCS_GRAYSCALE : JCS_RGB, quality,
                      progressive);
}

Bytes cmykJpegFile(uint32_t width, uint32_t height, const Bytes& cmyk) {
  return compressJpeg(width, height, cmyk, 4, JCS_CMYK, 95, false);
}

bool CollectedPicture::begin(uint32_t w, uint32_t h) noexcept {
  width = w;
  height = h;
  ++begins;
  rgb.clear();
  return true;
}

void CollectedPicture::row(const uint8_t* pixels) noexcept {
  rgb.insert(rgb.end(), pixels, pixels + 3 * size_t{width});
}

uint32_t CollectedPicture::at(uint32_t x, uint32_t y) const {
  const size_t i = 3 * (size_t{y} * width + x);
  return (uint32_t{rgb[i]} << 16) | (uint32_t{rgb[i + 1]} << 8) | rgb[i + 2];
}

bool decode(const Bytes& bytes, CollectedPicture* picture, std::string* problem,
            uint32_t minimumEdge) {
  return abm::decodePicture(bytes, *picture, minimumEdge, problem);
}

namespace {

// A TIFF IFD under construction: entries, then the values that do not fit
// in an entry, at offsets counted from the TIFF header.
struct Ifd {
  struct Entry {
    uint16_t tag, type;
    uint32_t count;
    Bytes value;
  };
  std::vector<Entry> entries;
  void ascii(uint16_t tag, const std::string& text) {
    if (text.empty()) return;
    Bytes value(text.begin(), text.end());
    value.push_back(0);
    entries.push_back({tag, 2, static_cast<uint32_t>(value.size()), value});
  }
  size_t size() const {
    size_t n = 2 + 12 * entries.size() + 4;
    for (const Entry& e : entries) n += e.value.size() > 4 ? e.value.size() : 0;
    return n;
  }
};

void putOrdered(Bytes& b, uint32_t v, int bytes, bool big) {
  for (int i = 0; i < bytes; ++i)
    b.push_back(static_cast<uint8_t>(v >> (8 * (big ? bytes - 1 - i : i))));
}

// The IFD laid out at offset at; next is the following IFD's offset.
void writeIfd(Bytes& tiff, const Ifd& ifd, size_t at, bool big) {
  putOrdered(tiff, static_cast<uint32_t>(ifd.entries.size()), 2, big);
  size_t data = at + 2 + 12 * ifd.entries.size() + 4;
  Bytes extra;
  for (const Ifd::Entry& e : ifd.entries) {
    putOrdered(tiff, e.tag, 2, big);
    putOrdered(tiff, e.type, 2, big);
    putOrdered(tiff, e.count, 4, big);
    if (e.value.size() > 4) {
      putOrdered(tiff, static_cast<uint32_t>(data + extra.size()), 4, big);
      extra.insert(extra.end(), e.value.begin(), e.value.end());
    } else {
      Bytes inPlace = e.value;
      inPlace.resize(4, 0);
      tiff.insert(tiff.end(), inPlace.begin(), inPlace.end());
    }
  }
  putOrdered(tiff, 0, 4, big);
  tiff.insert(tiff.end(), extra.begin(), extra.end());
}

}  // namespace

Bytes exifPayload(const Exif& exif) {
  const bool big = exif.bigEndian;
  Ifd ifd0, sub;
  sub.ascii(0x9003, exif.taken);
  ifd0.ascii(0x010F, exif.make);
  ifd0.ascii(0x0110, exif.model);
  if (exif.orientation != 0) {
    Bytes value;
    putOrdered(value, exif.orientation, 2, big);
    ifd0.entries.push_back({0x0112, 3, 1, value});
  }
  constexpr size_t kFirstIfd = 8;
  const size_t subAt = kFirstIfd + ifd0.size() + (sub.entries.empty() ? 0 : 12);
  if (!sub.entries.empty()) {
    Bytes value;
    putOrdered(value, static_cast<uint32_t>(subAt), 4, big);
    ifd0.entries.push_back({0x8769, 4, 1, value});
  }
  Bytes tiff = big ? Bytes{'M', 'M', 0, 42} : Bytes{'I', 'I', 42, 0};
  putOrdered(tiff, kFirstIfd, 4, big);
  writeIfd(tiff, ifd0, kFirstIfd, big);
  if (!sub.entries.empty()) writeIfd(tiff, sub, subAt, big);
  Bytes payload = {'E', 'x', 'i', 'f', 0, 0};
  payload.insert(payload.end(), tiff.begin(), tiff.end());
  return payload;
}

Bytes withApp1(const Bytes& jpeg, const Bytes& payload) {
  Bytes out(jpeg.begin(), jpeg.begin() + 2);
  const size_t length = payload.size() + 2;
  out.insert(out.end(),
             {0xFF, 0xE1, static_cast<uint8_t>(length >> 8), static_cast<uint8_t>(length)});
  out.insert(out.end(), payload.begin(), payload.end());
  out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
  return out;
}

int runTool(const std::vector<std::string>& words) {
  std::vector<std::string> all = {"abm"};
  all.insert(all.end(), words.begin(), words.end());
  std::vector<char*> argv;
  for (std::string& word : all) argv.push_back(word.data());
  const abm::Verb* verb = abm::findVerb(words.at(0));
  if (verb == nullptr) return -1;
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  if (args.positional.size() < verb->requiredArguments) return abm::failUsage(*verb, "missing");
  return verb->run(args);
}

int runToolCaptured(const std::vector<std::string>& words, std::string* out) {
  testing::internal::CaptureStdout();
  const int status = runTool(words);
  *out = testing::internal::GetCapturedStdout();
  return status;
}

std::string shellPath(const std::string& libraryPath) { return abm::toShellPath(libraryPath); }

bool writeShellFile(const std::string& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
  return static_cast<bool>(out);
}

}  // namespace tooltest
