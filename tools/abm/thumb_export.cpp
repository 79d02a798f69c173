#include "thumb_export.h"

#include <zlib.h>

#include <cstring>

namespace abm {

namespace {

constexpr uint32_t kInfoHeader = 40;
constexpr uint32_t kFileHeader = 14;
constexpr uint32_t kMaxEdge = 65535;

uint32_t le32(const uint8_t* p) {
  return p[0] | uint32_t{p[1]} << 8 | uint32_t{p[2]} << 16 | uint32_t{p[3]} << 24;
}
uint16_t le16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | p[1] << 8); }

void putBe32(std::vector<uint8_t>& out, uint32_t v) {
  for (int shift = 24; shift >= 0; shift -= 8) out.push_back(static_cast<uint8_t>(v >> shift));
}
void putLe32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

void chunk(std::vector<uint8_t>& out, const char* type, const std::vector<uint8_t>& body) {
  putBe32(out, static_cast<uint32_t>(body.size()));
  const size_t start = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  const uLong crc = crc32(0, out.data() + start, static_cast<uInt>(out.size() - start));
  putBe32(out, static_cast<uint32_t>(crc));
}

struct Layout {
  uint32_t width, height, bits, entries, rowSize;
  size_t pixelsAt;
};

// The bitmap's geometry, checked against the block.
bool layoutOf(std::span<const uint8_t> dib, Layout* l) {
  if (dib.size() < kInfoHeader || le32(dib.data()) != kInfoHeader) return false;
  const auto width = static_cast<int32_t>(le32(dib.data() + 4));
  const auto height = static_cast<int32_t>(le32(dib.data() + 8));
  l->bits = le16(dib.data() + 14);
  if (width <= 0 || height <= 0 || static_cast<uint32_t>(width) > kMaxEdge ||
      static_cast<uint32_t>(height) > kMaxEdge || le32(dib.data() + 16) != 0)
    return false;
  if (l->bits != 1 && l->bits != 4 && l->bits != 8 && l->bits != 16 && l->bits != 24) return false;
  l->width = static_cast<uint32_t>(width);
  l->height = static_cast<uint32_t>(height);
  const uint32_t used = le32(dib.data() + 32);
  l->entries = used != 0 ? used : (l->bits <= 8 ? 1u << l->bits : 0);
  if (l->entries > 256) return false;
  l->rowSize = static_cast<uint32_t>((uint64_t{l->bits} * l->width + 31) / 32 * 4);
  l->pixelsAt = kInfoHeader + size_t{4} * l->entries;
  return l->pixelsAt + uint64_t{l->rowSize} * l->height <= dib.size();
}

}  // namespace

bool dibToRgb(std::span<const uint8_t> dib, RgbImage* out) {
  Layout l{};
  if (!layoutOf(dib, &l)) return false;
  const uint8_t* table = dib.data() + kInfoHeader;
  out->width = l.width;
  out->height = l.height;
  out->rgb.assign(size_t{l.width} * l.height * 3, 0);
  for (uint32_t y = 0; y < l.height; ++y) {
    const uint8_t* row = dib.data() + l.pixelsAt + size_t{l.rowSize} * (l.height - 1 - y);
    uint8_t* rgb = out->rgb.data() + size_t{l.width} * 3 * y;
    for (uint32_t x = 0; x < l.width; ++x, rgb += 3) {
      if (l.bits == 24) {
        rgb[0] = row[3 * x + 2];
        rgb[1] = row[3 * x + 1];
        rgb[2] = row[3 * x];
        continue;
      }
      if (l.bits == 16) {
        const uint16_t v = le16(row + 2 * x);
        const uint32_t r = (v >> 10) & 31, g = (v >> 5) & 31, b = v & 31;
        rgb[0] = static_cast<uint8_t>(r << 3 | r >> 2);
        rgb[1] = static_cast<uint8_t>(g << 3 | g >> 2);
        rgb[2] = static_cast<uint8_t>(b << 3 | b >> 2);
        continue;
      }
      const uint32_t perByte = 8 / l.bits;
      const uint32_t shift = 8 - l.bits * (x % perByte + 1);
      const uint32_t index = (row[x / perByte] >> shift) & ((1u << l.bits) - 1);
      if (index >= l.entries) continue;  // black
      rgb[0] = table[4 * index + 2];
      rgb[1] = table[4 * index + 1];
      rgb[2] = table[4 * index];
    }
  }
  return true;
}

std::vector<uint8_t> pngFile(const RgbImage& image) {
  static const uint8_t kSignature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  std::vector<uint8_t> out(kSignature, kSignature + 8);
  std::vector<uint8_t> header;
  putBe32(header, image.width);
  putBe32(header, image.height);
  header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, filter 0, no interlace
  chunk(out, "IHDR", header);
  // Every row with filter type 0.
  const size_t stride = size_t{image.width} * 3;
  std::vector<uint8_t> raw;
  raw.reserve((stride + 1) * image.height);
  for (uint32_t y = 0; y < image.height; ++y) {
    raw.push_back(0);
    raw.insert(raw.end(), image.rgb.begin() + stride * y, image.rgb.begin() + stride * (y + 1));
  }
  uLongf packedSize = compressBound(static_cast<uLong>(raw.size()));
  std::vector<uint8_t> packed(packedSize);
  compress2(packed.data(), &packedSize, raw.data(), static_cast<uLong>(raw.size()), 6);
  packed.resize(packedSize);
  chunk(out, "IDAT", packed);
  chunk(out, "IEND", {});
  return out;
}

bool bmpFile(std::span<const uint8_t> dib, std::vector<uint8_t>* out) {
  Layout l{};
  if (!layoutOf(dib, &l)) return false;
  const size_t dibBytes = l.pixelsAt + size_t{l.rowSize} * l.height;
  out->assign(kFileHeader, 0);
  (*out)[0] = 'B';
  (*out)[1] = 'M';
  putLe32(out->data() + 2, static_cast<uint32_t>(kFileHeader + dibBytes));
  putLe32(out->data() + 10, static_cast<uint32_t>(kFileHeader + l.pixelsAt));
  out->insert(out->end(), dib.begin(), dib.begin() + static_cast<std::ptrdiff_t>(dibBytes));
  return true;
}

}  // namespace abm
