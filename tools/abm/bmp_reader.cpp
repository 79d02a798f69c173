// Windows and OS/2 bitmaps: 1, 4, 8, 16, 24 and 32 bits per pixel,
// uncompressed, with bit-field masks, or run-length coded (8 and 4 bits).
#include <algorithm>
#include <array>
#include <bit>
#include <vector>

#include "picture_files.h"

namespace abm {

namespace {

constexpr uint32_t kRgb = 0, kRle8 = 1, kRle4 = 2, kBitFields = 3, kAlphaBitFields = 6;
constexpr uint64_t kFileHeaderSize = 14;
constexpr uint32_t kCoreHeaderSize = 12;

struct View {
  std::span<const uint8_t> b;
  bool has(uint64_t at, uint64_t n) const { return at <= b.size() && n <= b.size() - at; }
  uint16_t u16(uint64_t at) const { return static_cast<uint16_t>(b[at] | (b[at + 1] << 8)); }
  uint32_t u32(uint64_t at) const {
    return static_cast<uint32_t>(b[at]) | (static_cast<uint32_t>(b[at + 1]) << 8) |
           (static_cast<uint32_t>(b[at + 2]) << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
  }
};

// One colour channel of a 16- or 32-bit pixel.
struct Channel {
  uint32_t mask = 0;
  int shift = 0;
  uint32_t max = 0;
};

Channel channelOf(uint32_t mask) {
  Channel c;
  if (mask == 0) return c;
  c.mask = mask;
  c.shift = std::countr_zero(mask);
  c.max = mask >> c.shift;
  return c;
}

uint8_t extract(uint32_t pixel, const Channel& c) {
  if (c.max == 0) return 0;
  const uint64_t v = (pixel & c.mask) >> c.shift;
  return static_cast<uint8_t>((v * 255 + c.max / 2) / c.max);
}

struct Layout {
  uint32_t width = 0;
  uint32_t height = 0;
  bool topDown = false;
  unsigned bits = 0;
  uint32_t compression = kRgb;
  std::array<uint8_t, 256 * 3> palette{};  // RGB, missing entries black
  Channel red, green, blue;
};

void paletteRow(const uint8_t* src, const Layout& l, const uint8_t* indexes, uint8_t* rgb) {
  for (uint32_t x = 0; x < l.width; ++x) {
    unsigned index;
    if (indexes != nullptr) {
      index = indexes[x];
    } else {
      const uint64_t bit = uint64_t{x} * l.bits;
      index = (src[bit / 8] >> (8 - l.bits - bit % 8)) & ((1u << l.bits) - 1);
    }
    std::copy_n(&l.palette[index * 3], 3, rgb + 3 * uint64_t{x});
  }
}

void pixelRow(const uint8_t* src, const Layout& l, uint8_t* rgb) {
  if (l.bits <= 8) return paletteRow(src, l, nullptr, rgb);
  for (uint32_t x = 0; x < l.width; ++x, rgb += 3) {
    if (l.bits == 24) {
      const uint8_t* p = src + 3 * uint64_t{x};
      rgb[0] = p[2];
      rgb[1] = p[1];
      rgb[2] = p[0];
      continue;
    }
    uint32_t pixel;
    if (l.bits == 16) {
      const uint8_t* p = src + 2 * uint64_t{x};
      pixel = static_cast<uint32_t>(p[0] | (p[1] << 8));
    } else {
      const uint8_t* p = src + 4 * uint64_t{x};
      pixel = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
              (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    }
    rgb[0] = extract(pixel, l.red);
    rgb[1] = extract(pixel, l.green);
    rgb[2] = extract(pixel, l.blue);
  }
}

// Run-length pixels into a top-down index array; pixels the runs skip
// stay at index 0. The data must end with its end-of-picture mark or have
// reached the top row.
bool expandRunLengths(std::span<const uint8_t> data, const Layout& l, std::vector<uint8_t>* indexes,
                      std::string* problem) {
  const bool four = l.compression == kRle4;
  uint64_t x = 0, y = 0;  // y counts rows from the bottom
  auto put = [&](unsigned index) {
    if (x < l.width && y < l.height)
      (*indexes)[(l.height - 1 - y) * uint64_t{l.width} + x] = static_cast<uint8_t>(index);
    ++x;
  };
  size_t at = 0;
  for (;;) {
    if (data.size() - at < 2) break;
    const unsigned count = data[at], code = data[at + 1];
    at += 2;
    if (count > 0) {
      for (unsigned i = 0; i < count; ++i) put(four ? ((i & 1) ? code & 15 : code >> 4) : code);
    } else if (code == 0) {
      x = 0;
      ++y;
    } else if (code == 1) {
      return true;
    } else if (code == 2) {
      if (data.size() - at < 2) break;
      x += data[at];
      y += data[at + 1];
      at += 2;
    } else {
      const size_t bytes = four ? (code + 1) / 2 : code;
      if (data.size() - at < bytes) break;
      for (unsigned i = 0; i < code; ++i) {
        const uint8_t b = data[at + (four ? i / 2 : i)];
        put(four ? ((i & 1) ? b & 15 : b >> 4) : b);
      }
      at += std::min(data.size() - at, (bytes + 1) & ~size_t{1});
    }
  }
  if (y >= l.height) return true;
  *problem = "run-length pixel data cut short";
  return false;
}

bool readHeader(View v, Layout* l, uint64_t* pixelsAt, std::string* problem) {
  if (!v.has(0, kFileHeaderSize + 4)) {
    *problem = "bitmap header cut short";
    return false;
  }
  *pixelsAt = v.u32(10);
  const uint32_t headerSize = v.u32(14);
  const uint64_t info = kFileHeaderSize;
  if (headerSize < kCoreHeaderSize || (headerSize > kCoreHeaderSize && headerSize < 16) ||
      !v.has(info, headerSize)) {
    *problem = "damaged bitmap header";
    return false;
  }
  int64_t width, height;
  uint32_t colours = 0;
  size_t entrySize = 4;
  uint64_t paletteAt = info + headerSize;
  if (headerSize == kCoreHeaderSize) {
    width = v.u16(info + 4);
    height = v.u16(info + 6);
    l->bits = v.u16(info + 10);
    entrySize = 3;
  } else {
    width = static_cast<int32_t>(v.u32(info + 4));
    height = static_cast<int32_t>(v.u32(info + 8));
    l->bits = v.u16(info + 14);
    if (headerSize >= 40) {
      l->compression = v.u32(info + 16);
      colours = v.u32(info + 32);
    }
  }
  if (width <= 0 || height == 0) {
    *problem = "bitmap without pixels";
    return false;
  }
  l->topDown = height < 0;
  height = height < 0 ? -height : height;
  if (width > kMaxPictureEdge || height > kMaxPictureEdge) {
    *problem = "bitmap too large";
    return false;
  }
  l->width = static_cast<uint32_t>(width);
  l->height = static_cast<uint32_t>(height);

  const unsigned b = l->bits;
  const uint32_t c = l->compression;
  const bool supported =
      (c == kRgb && (b == 1 || b == 4 || b == 8 || b == 16 || b == 24 || b == 32)) ||
      (c == kRle8 && b == 8) || (c == kRle4 && b == 4) ||
      ((c == kBitFields || c == kAlphaBitFields) && (b == 16 || b == 32));
  if (!supported) {
    *problem = "unsupported kind of bitmap (" + std::to_string(b) + " bits, compression " +
               std::to_string(c) + ")";
    return false;
  }
  if (l->topDown && (c == kRle8 || c == kRle4)) {
    *problem = "damaged bitmap header (top-down run-length bitmap)";
    return false;
  }

  if (c == kBitFields || c == kAlphaBitFields) {
    uint64_t masksAt = info + 40;
    if (headerSize < 52) {
      masksAt = info + headerSize;
      paletteAt += c == kAlphaBitFields ? 16 : 12;
    }
    if (!v.has(masksAt, 12)) {
      *problem = "bitmap colour masks cut short";
      return false;
    }
    l->red = channelOf(v.u32(masksAt));
    l->green = channelOf(v.u32(masksAt + 4));
    l->blue = channelOf(v.u32(masksAt + 8));
  } else if (b == 16) {
    l->red = channelOf(0x7C00);
    l->green = channelOf(0x03E0);
    l->blue = channelOf(0x001F);
  } else if (b == 32) {
    l->red = channelOf(0x00FF0000);
    l->green = channelOf(0x0000FF00);
    l->blue = channelOf(0x000000FF);
  }

  if (b <= 8) {
    uint64_t count = colours != 0 ? colours : (1u << b);
    count = std::min<uint64_t>(count, 256);
    // The palette ends where the pixels begin, whatever the header says.
    for (uint64_t i = 0; i < count && v.has(paletteAt + i * entrySize, 3) &&
                         paletteAt + (i + 1) * entrySize <= *pixelsAt;
         ++i) {
      const uint64_t at = paletteAt + i * entrySize;
      l->palette[i * 3] = v.b[at + 2];
      l->palette[i * 3 + 1] = v.b[at + 1];
      l->palette[i * 3 + 2] = v.b[at];
    }
  }
  if (*pixelsAt < info + kCoreHeaderSize || *pixelsAt > v.b.size()) {
    *problem = "damaged bitmap header (pixel data outside the file)";
    return false;
  }
  return true;
}

}  // namespace

bool decodeBmp(std::span<const uint8_t> bytes, RowSink& sink, std::string* problem) {
  const View v{bytes};
  Layout l;
  uint64_t pixelsAt = 0;
  if (!readHeader(v, &l, &pixelsAt, problem)) return false;
  std::vector<uint8_t> rgb(3 * uint64_t{l.width});

  if (l.compression == kRle8 || l.compression == kRle4) {
    if (uint64_t{l.width} * l.height > kMaxHeldPixels) {
      *problem = "run-length bitmap too large";
      return false;
    }
    std::vector<uint8_t> indexes(uint64_t{l.width} * l.height, 0);
    if (!expandRunLengths(bytes.subspan(pixelsAt), l, &indexes, problem)) return false;
    if (!sink.begin(l.width, l.height)) {
      *problem = "not enough memory for the picture";
      return false;
    }
    for (uint32_t y = 0; y < l.height; ++y) {
      paletteRow(nullptr, l, indexes.data() + uint64_t{y} * l.width, rgb.data());
      sink.row(rgb.data());
    }
    return true;
  }

  const uint64_t rowSize = (uint64_t{l.bits} * l.width + 31) / 32 * 4;
  const uint64_t lastRowBytes = (uint64_t{l.bits} * l.width + 7) / 8;
  if (!v.has(pixelsAt, rowSize * (l.height - 1) + lastRowBytes)) {
    *problem = "pixel data cut short";
    return false;
  }
  if (!sink.begin(l.width, l.height)) {
    *problem = "not enough memory for the picture";
    return false;
  }
  for (uint32_t y = 0; y < l.height; ++y) {
    const uint32_t stored = l.topDown ? y : l.height - 1 - y;
    pixelRow(bytes.data() + pixelsAt + rowSize * stored, l, rgb.data());
    sink.row(rgb.data());
  }
  return true;
}

}  // namespace abm
