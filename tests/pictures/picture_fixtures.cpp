#include "picture_fixtures.h"

#include <cstdlib>
#include <cstring>

#include "album_fixtures.h"
#include "platform.h"

namespace pictest {

using afm3test::get16;
using afm3test::get32;
using afm3test::put16;
using afm3test::put32;

Bytes standardPalette() {
  Bytes p;
  for (int r = 0; r < 6; ++r)
    for (int g = 0; g < 6; ++g)
      for (int b = 0; b < 6; ++b)
        p.insert(p.end(), {static_cast<uint8_t>(51 * b), static_cast<uint8_t>(51 * g),
                           static_cast<uint8_t>(51 * r), 0});
  for (int i = 0; i < 40; ++i) p.insert(p.end(), {255, 255, 255, 0});
  return p;
}

Bytes greyRamp() {
  Bytes p;
  for (int i = 0; i < 256; ++i)
    p.insert(p.end(),
             {static_cast<uint8_t>(i), static_cast<uint8_t>(i), static_cast<uint8_t>(i), 0});
  return p;
}

Bitmap bitmapOfKind(uint8_t kind, uint32_t width, uint32_t height, Pattern pattern, uint32_t seed) {
  Bitmap b;
  b.width = width;
  b.height = height;
  Noise noise(seed);
  switch (kind) {
    case 2:
      b.bits = 24;
      break;
    case 8:
      b.bits = 4;
      b.palette = noise.bytes(16 * 4);
      break;
    case 16:
      b.bits = 16;
      break;
    case 32:
      b.bits = 8;
      b.palette = greyRamp();
      break;
    case 64:
      b.bits = 1;
      b.palette = {0, 0, 0, 0, 255, 255, 255, 0};
      break;
    default:
      b.bits = 8;
      b.palette = noise.bytes(256 * 4);
      break;
  }
  for (size_t i = 3; i < b.palette.size(); i += 4) b.palette[i] = 0;
  const uint32_t used = (b.bits * width + 7) / 8;
  b.rows.assign(size_t{b.rowSize()} * height, 0);
  for (uint32_t y = 0; y < height; ++y) {
    for (uint32_t x = 0; x < used; ++x) {
      uint8_t v = noise.next();
      if (pattern == Pattern::Smooth) {
        // Gradients without edges: channel 0 across, 1 down, 2 diagonal.
        const uint32_t perPixel = b.bits >= 8 ? b.bits / 8 : 1;
        const uint32_t px = x / perPixel, channel = x % perPixel;
        const uint32_t ramp = channel == 0   ? px * 200 / width
                              : channel == 1 ? y * 200 / height
                                             : (px + y) * 200 / (width + height);
        v = static_cast<uint8_t>(20 + ramp);
      }
      if (b.bits < 8 &&
          8 * (x + 1) > b.bits * width)  // keep the unused low bits of the last byte 0
        v &= static_cast<uint8_t>(0xFF << (8 * (x + 1) - b.bits * width));
      b.rows[size_t{b.rowSize()} * y + x] = v;
    }
  }
  return b;
}

HGLOBAL toDib(const Bitmap& bitmap) {
  Bytes dib(40, 0);
  put32(dib, 0, 40);
  put32(dib, 4, bitmap.width);
  put32(dib, 8, bitmap.height);
  put16(dib, 12, 1);
  put16(dib, 14, static_cast<uint16_t>(bitmap.bits));
  put32(dib, 32, static_cast<uint32_t>(bitmap.palette.size() / 4));
  dib.insert(dib.end(), bitmap.palette.begin(), bitmap.palette.end());
  dib.insert(dib.end(), bitmap.rows.begin(), bitmap.rows.end());
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, dib.size());
  std::memcpy(plat::globalLock(block), dib.data(), dib.size());
  plat::globalUnlock(block);
  return block;
}

DibParts readDib(HGLOBAL dib) {
  DibParts parts;
  if (dib == nullptr) return parts;
  const auto* p = static_cast<const uint8_t*>(plat::globalLock(dib));
  const Bytes all(p, p + plat::globalSize(dib));
  plat::globalUnlock(dib);
  if (all.size() < 40) return parts;
  parts.headerSize = get32(all, 0);
  parts.width = get32(all, 4);
  parts.height = get32(all, 8);
  parts.bits = get16(all, 14);
  parts.xPerMetre = get32(all, 24);
  parts.colorsUsed = get32(all, 32);
  Bitmap& b = parts.bitmap;
  b.width = parts.width;
  b.height = parts.height;
  b.bits = parts.bits;
  const size_t table = 40 + 4 * size_t{parts.colorsUsed};
  const size_t rows = size_t{b.rowSize()} * b.height;
  if (table + rows > all.size()) return DibParts{};
  b.palette.assign(all.begin() + 40, all.begin() + static_cast<long>(table));
  b.rows.assign(all.begin() + static_cast<long>(table),
                all.begin() + static_cast<long>(table + rows));
  return parts;
}

Bytes imageHeader(uint8_t kind, uint8_t compression, uint16_t width, uint16_t height,
                  uint8_t flags) {
  Bytes h(16, 0);
  h[8] = kind;
  h[9] = compression;
  put16(h, 10, width);
  put16(h, 12, height);
  h[14] = flags;
  return h;
}

double meanAbsoluteError(const Bytes& a, const Bytes& b) {
  if (a.size() != b.size() || a.empty()) return 1e9;
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(int{a[i]} - int{b[i]});
  return sum / static_cast<double>(a.size());
}

ScratchFile::ScratchFile() : path_(dir_.file("album.ab3")) {
  file_ = plat::openFile(path_.c_str(), plat::kGenericRead | plat::kGenericWrite,
                         plat::kShareRead | plat::kShareWrite, plat::Disposition::CreateAlways);
  append(Bytes(100, 0xEE));
}

ScratchFile::~ScratchFile() { plat::closeFile(file_); }

uint32_t ScratchFile::end() { return plat::seekFile(file_, 0, plat::SeekFrom::End); }

uint32_t ScratchFile::append(const Bytes& bytes) {
  const uint32_t at = end();
  uint32_t done = 0;
  plat::writeFile(file_, bytes.data(), static_cast<uint32_t>(bytes.size()), &done);
  return at;
}

void ScratchFile::patch(uint32_t offset, const Bytes& bytes) {
  uint32_t done = 0;
  plat::seekFile(file_, offset, plat::SeekFrom::Begin);
  plat::writeFile(file_, bytes.data(), static_cast<uint32_t>(bytes.size()), &done);
}

Bytes ScratchFile::read(uint32_t offset, uint32_t count) {
  Bytes b(count);
  uint32_t done = 0;
  plat::seekFile(file_, offset, plat::SeekFrom::Begin);
  plat::readFile(file_, b.data(), count, &done);
  b.resize(done);
  return b;
}

}  // namespace pictest
