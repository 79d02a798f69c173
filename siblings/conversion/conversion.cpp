// q32cvt: bitmap conversion (see q32cvt.h).
//
// Every input is parsed into a Picture (rows bottom row first, palette as
// blue-green-red-0 quads) after its sizes were checked against the block
// that holds it; conversions work on Pictures; outputs are written from
// them. Conversion buffers have this layout (little-endian u32 values):
//   0 magic "QCVB", 4 type, 8 width, 12 height, 16 bits per pixel,
//   20 palette entries, 24 and 28 horizontal and vertical pixels per metre,
//   32 the palette (4 bytes an entry), then the rows, bottom row first, each
//   padded to a multiple of 4 bytes.
#include <cstdint>
#include <cstring>
#include <vector>

#include "afm3_bytes.h"
#include "platform.h"
#include "q32cvt.h"

namespace {

constexpr uint32_t kBufferMagic = 0x42564351;  // "QCVB"
constexpr uint32_t kBufferHeaderSize = 32;
constexpr uint32_t kInfoHeaderSize = 40;
constexpr uint32_t kCoreHeaderSize = 12;
constexpr uint32_t kMaxEntries = 256;
constexpr uint32_t kMaxSide = 65535;

enum Type : uint32_t {
  kTrueColour = 2,
  kPalette8 = 4,
  kPalette4 = 8,
  kHighColour = 16,
  kGrey = 32,
  kMono = 64,
};

struct Picture {
  uint32_t width = 0;
  uint32_t height = 0;
  uint32_t bits = 0;
  uint32_t xPerMetre = 0;
  uint32_t yPerMetre = 0;
  std::vector<uint8_t> palette;  // 4 bytes an entry: blue, green, red, 0
  std::vector<uint8_t> rows;     // rowSize() x height, bottom row first

  uint32_t entries() const { return static_cast<uint32_t>(palette.size() / 4); }
  uint32_t rowSize() const { return ((bits * width + 31) / 32) * 4; }
};

// A global block locked for the length of a call.
class Locked {
 public:
  explicit Locked(HGLOBAL block)
      : block_(block),
        bytes_(block ? static_cast<uint8_t*>(plat::globalLock(block)) : nullptr),
        size_(bytes_ ? plat::globalSize(block) : 0) {}
  ~Locked() {
    if (bytes_ != nullptr) plat::globalUnlock(block_);
  }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;
  const uint8_t* bytes() const { return bytes_; }
  size_t size() const { return size_; }

 private:
  HGLOBAL block_;
  uint8_t* bytes_;
  size_t size_;
};

bool supportedBits(uint32_t bits) {
  return bits == 1 || bits == 4 || bits == 8 || bits == 16 || bits == 24;
}

bool isGreyRamp(const Picture& p) {
  if (p.bits != 8 || p.entries() != 256) return false;
  for (uint32_t i = 0; i < 256; ++i) {
    const uint8_t* e = &p.palette[4 * i];
    if (e[0] != i || e[1] != i || e[2] != i) return false;
  }
  return true;
}

uint32_t typeOf(const Picture& p) {
  switch (p.bits) {
    case 1:
      return kMono;
    case 4:
      return kPalette4;
    case 8:
      return isGreyRamp(p) ? kGrey : kPalette8;
    case 16:
      return kHighColour;
    default:
      return kTrueColour;
  }
}

// Copies rows of rowSize bytes from src (top row first when topDown) into
// p.rows bottom row first.
void takeRows(Picture& p, const uint8_t* src, bool topDown) {
  const size_t rowSize = p.rowSize();
  p.rows.resize(rowSize * p.height);
  for (uint32_t y = 0; y < p.height; ++y) {
    const uint32_t from = topDown ? p.height - 1 - y : y;
    std::memcpy(&p.rows[rowSize * y], src + rowSize * from, rowSize);
  }
}

bool parseDib(HGLOBAL dib, Picture* out) {
  Locked block(dib);
  const uint8_t* b = block.bytes();
  if (b == nullptr || block.size() < kCoreHeaderSize) return false;
  const uint32_t headerSize = afm3GetU32(b);
  Picture p;
  uint32_t entries = 0, entrySize = 4;
  bool topDown = false;
  if (headerSize == kCoreHeaderSize) {
    p.width = afm3GetU16(b + 4);
    p.height = afm3GetU16(b + 6);
    p.bits = afm3GetU16(b + 10);
    entries = p.bits <= 8 ? 1u << p.bits : 0;
    entrySize = 3;
  } else if (headerSize >= kInfoHeaderSize && headerSize <= block.size()) {
    const int32_t width = static_cast<int32_t>(afm3GetU32(b + 4));
    const int32_t height = static_cast<int32_t>(afm3GetU32(b + 8));
    if (width <= 0 || height == 0 || height == INT32_MIN) return false;
    if (afm3GetU32(b + 16) != 0) return false;  // compressed or bit fields
    p.width = static_cast<uint32_t>(width);
    topDown = height < 0;
    p.height = static_cast<uint32_t>(topDown ? -height : height);
    p.bits = afm3GetU16(b + 14);
    p.xPerMetre = afm3GetU32(b + 24);
    p.yPerMetre = afm3GetU32(b + 28);
    entries = afm3GetU32(b + 32);
    if (entries == 0 && p.bits <= 8) entries = 1u << p.bits;
  } else {
    return false;
  }
  if (!supportedBits(p.bits) || p.width == 0 || p.width > kMaxSide || p.height == 0 ||
      p.height > kMaxSide || entries > kMaxEntries)
    return false;
  const uint64_t tableBytes = uint64_t{entries} * entrySize;
  const uint64_t needed = headerSize + tableBytes + uint64_t{p.rowSize()} * p.height;
  if (needed > block.size()) return false;
  p.palette.assign(4 * entries, 0);
  for (uint32_t i = 0; i < entries; ++i)
    std::memcpy(&p.palette[4 * i], b + headerSize + entrySize * i, 3);
  takeRows(p, b + headerSize + tableBytes, topDown);
  *out = std::move(p);
  return true;
}

bool parseBuffer(HGLOBAL buffer, Picture* out, uint32_t* type) {
  Locked block(buffer);
  const uint8_t* b = block.bytes();
  if (b == nullptr || block.size() < kBufferHeaderSize || afm3GetU32(b) != kBufferMagic)
    return false;
  Picture p;
  *type = afm3GetU32(b + 4);
  p.width = afm3GetU32(b + 8);
  p.height = afm3GetU32(b + 12);
  p.bits = afm3GetU32(b + 16);
  const uint32_t entries = afm3GetU32(b + 20);
  p.xPerMetre = afm3GetU32(b + 24);
  p.yPerMetre = afm3GetU32(b + 28);
  if (!supportedBits(p.bits) || p.width == 0 || p.width > kMaxSide || p.height == 0 ||
      p.height > kMaxSide || entries > kMaxEntries)
    return false;
  const uint64_t needed = kBufferHeaderSize + 4ull * entries + uint64_t{p.rowSize()} * p.height;
  if (needed > block.size()) return false;
  p.palette.assign(b + kBufferHeaderSize, b + kBufferHeaderSize + 4 * entries);
  takeRows(p, b + kBufferHeaderSize + 4 * entries, false);
  *out = std::move(p);
  return true;
}

// A new movable block holding size bytes written by fill, or null.
template <typename Fill>
HGLOBAL newBlock(size_t size, Fill fill) {
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, size);
  if (block == nullptr) return nullptr;
  auto* bytes = static_cast<uint8_t*>(plat::globalLock(block));
  if (bytes == nullptr) {
    plat::globalFree(block);
    return nullptr;
  }
  fill(bytes);
  plat::globalUnlock(block);
  return block;
}

HGLOBAL writeBuffer(const Picture& p) {
  const size_t size = kBufferHeaderSize + p.palette.size() + p.rows.size();
  return newBlock(size, [&p](uint8_t* b) {
    afm3PutU32(b, kBufferMagic);
    afm3PutU32(b + 4, typeOf(p));
    afm3PutU32(b + 8, p.width);
    afm3PutU32(b + 12, p.height);
    afm3PutU32(b + 16, p.bits);
    afm3PutU32(b + 20, p.entries());
    afm3PutU32(b + 24, p.xPerMetre);
    afm3PutU32(b + 28, p.yPerMetre);
    if (!p.palette.empty()) std::memcpy(b + kBufferHeaderSize, p.palette.data(), p.palette.size());
    std::memcpy(b + kBufferHeaderSize + p.palette.size(), p.rows.data(), p.rows.size());
  });
}

HGLOBAL writeDib(const Picture& p) {
  const size_t size = kInfoHeaderSize + p.palette.size() + p.rows.size();
  return newBlock(size, [&p](uint8_t* b) {
    afm3PutU32(b, kInfoHeaderSize);
    afm3PutU32(b + 4, p.width);
    afm3PutU32(b + 8, p.height);
    afm3PutU16(b + 12, 1);
    afm3PutU16(b + 14, static_cast<uint16_t>(p.bits));
    afm3PutU32(b + 24, p.xPerMetre);
    afm3PutU32(b + 28, p.yPerMetre);
    afm3PutU32(b + 32, p.entries());
    if (!p.palette.empty()) std::memcpy(b + kInfoHeaderSize, p.palette.data(), p.palette.size());
    std::memcpy(b + kInfoHeaderSize + p.palette.size(), p.rows.data(), p.rows.size());
  });
}

struct Rgb {
  uint8_t r, g, b;
};

Rgb pixelAt(const Picture& p, uint32_t x, const uint8_t* row) {
  auto fromPalette = [&p](uint32_t index) {
    if (index >= p.entries()) return Rgb{0, 0, 0};
    const uint8_t* e = &p.palette[4 * index];
    return Rgb{e[2], e[1], e[0]};
  };
  switch (p.bits) {
    case 1:
      return fromPalette((row[x / 8] >> (7 - x % 8)) & 1);
    case 4:
      return fromPalette(x % 2 == 0 ? row[x / 2] >> 4 : row[x / 2] & 0x0F);
    case 8:
      return fromPalette(row[x]);
    case 16: {
      const uint32_t v = afm3GetU16(row + 2 * x);
      auto widen = [](uint32_t c) { return static_cast<uint8_t>(c << 3 | c >> 2); };
      return Rgb{widen(v >> 10 & 31), widen(v >> 5 & 31), widen(v & 31)};
    }
    default:
      return Rgb{row[3 * x + 2], row[3 * x + 1], row[3 * x]};
  }
}

// The StandardPalette: a 6 x 6 x 6 cube of the levels 0, 51, ..., 255
// (red outermost, blue innermost), then 40 white entries.
std::vector<uint8_t> standardPalette() {
  std::vector<uint8_t> palette(4 * 256, 0);
  for (uint32_t i = 0; i < 256; ++i) {
    uint8_t* e = &palette[4 * i];
    if (i < 216) {
      e[2] = static_cast<uint8_t>(51 * (i / 36));
      e[1] = static_cast<uint8_t>(51 * (i / 6 % 6));
      e[0] = static_cast<uint8_t>(51 * (i % 6));
    } else {
      e[0] = e[1] = e[2] = 255;
    }
  }
  return palette;
}

// The cube is separable, so the nearest entry rounds each channel alone.
uint8_t nearestStandard(Rgb c) {
  auto level = [](uint8_t v) { return static_cast<uint32_t>((v + 25) / 51); };
  return static_cast<uint8_t>(level(c.r) * 36 + level(c.g) * 6 + level(c.b));
}

Picture convert(const Picture& from, uint32_t toType) {
  Picture to;
  to.width = from.width;
  to.height = from.height;
  to.xPerMetre = from.xPerMetre;
  to.yPerMetre = from.yPerMetre;
  to.bits = toType == kTrueColour ? 24 : 8;
  if (toType == kPalette8) to.palette = standardPalette();
  const size_t fromRow = from.rowSize(), toRow = to.rowSize();
  to.rows.assign(toRow * to.height, 0);
  for (uint32_t y = 0; y < from.height; ++y) {
    const uint8_t* src = &from.rows[fromRow * y];
    uint8_t* dst = &to.rows[toRow * y];
    for (uint32_t x = 0; x < from.width; ++x) {
      const Rgb c = pixelAt(from, x, src);
      if (toType == kTrueColour) {
        dst[3 * x] = c.b;
        dst[3 * x + 1] = c.g;
        dst[3 * x + 2] = c.r;
      } else {
        dst[x] = nearestStandard(c);
      }
    }
  }
  return to;
}

bool convertibleTo(uint32_t type) { return type == kTrueColour || type == kPalette8; }

template <typename T>
void clear(T* out) {
  if (out != nullptr) *out = nullptr;
}

}  // namespace

extern "C" {

BOOL cvt32DIBToBuf(HGLOBAL dib, HGLOBAL* buffer, HANDLE* object, DWORD* type, DWORD) {
  clear(buffer);
  clear(object);
  Picture p;
  if (buffer == nullptr || type == nullptr || !parseDib(dib, &p)) return FALSE;
  *buffer = writeBuffer(p);
  if (*buffer == nullptr) return FALSE;
  *type = typeOf(p);
  return TRUE;
}

BOOL cvt32BufType(DWORD method, DWORD, DWORD fromType, DWORD toType, HGLOBAL source,
                  HGLOBAL* buffer, DWORD, HANDLE, HANDLE* objectOut, DWORD) {
  clear(buffer);
  clear(objectOut);
  Picture p;
  uint32_t type = 0;
  if (buffer == nullptr || method != CVT32_NEAREST_COLOUR || !convertibleTo(toType) ||
      !parseBuffer(source, &p, &type) || type != fromType)
    return FALSE;
  *buffer = writeBuffer(convert(p, toType));
  return *buffer != nullptr;
}

BOOL cvt32BufToDIB(HGLOBAL buffer, HGLOBAL* dib, HANDLE, DWORD) {
  clear(dib);
  Picture p;
  uint32_t type = 0;
  if (dib == nullptr || !parseBuffer(buffer, &p, &type)) return FALSE;
  *dib = writeDib(p);
  return *dib != nullptr;
}

BOOL cvt32DIBToDIB(HGLOBAL dib, HGLOBAL* dibOut, DWORD toType, DWORD) {
  clear(dibOut);
  Picture p;
  if (dibOut == nullptr || !convertibleTo(toType) || !parseDib(dib, &p)) return FALSE;
  *dibOut = writeDib(convert(p, toType));
  return *dibOut != nullptr;
}

}  // extern "C"
