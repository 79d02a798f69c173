// PNG pictures over zlib's inflate: every colour type and bit depth, both
// interlace methods, palette and colour-key transparency. Transparent
// pixels are laid over white.
#include <zlib.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "picture_files.h"

namespace abm {

namespace {

constexpr size_t kSignatureSize = 8;
constexpr uint32_t kMaxChunkLength = 0x7FFFFFFF;
enum ColourType : uint8_t { kGrey = 0, kRgb = 2, kIndexed = 3, kGreyAlpha = 4, kRgbAlpha = 6 };

uint32_t bigEndian32(const uint8_t* p) {
  return (static_cast<uint32_t>(p[0]) << 24) | (static_cast<uint32_t>(p[1]) << 16) |
         (static_cast<uint32_t>(p[2]) << 8) | p[3];
}

struct Header {
  uint32_t width = 0, height = 0;
  unsigned depth = 0;
  ColourType colour = kGrey;
  bool interlaced = false;
  unsigned channels = 1;
  std::array<uint8_t, 256 * 4> palette{};  // RGBA; entries without tRNS are opaque
  unsigned paletteSize = 0;
  bool hasKey = false;
  std::array<uint16_t, 3> key{};  // colour key of grey (one sample) or RGB pictures
};

// Bytes of one filtered row of w pixels, filter byte excluded.
uint64_t rowBytes(const Header& h, uint32_t w) {
  return (uint64_t{w} * h.channels * h.depth + 7) / 8;
}

// Bytes a filter looks back (one whole pixel, at least one byte).
unsigned filterStep(const Header& h) { return std::max(1u, h.channels * h.depth / 8); }

bool validHeader(const uint8_t* d, Header* h, std::string* problem) {
  h->width = bigEndian32(d);
  h->height = bigEndian32(d + 4);
  h->depth = d[8];
  const unsigned colour = d[9];
  if (h->width == 0 || h->height == 0 || h->width > INT32_MAX || h->height > INT32_MAX) {
    *problem = "damaged PNG header (size)";
    return false;
  }
  if (h->width > kMaxPictureEdge || h->height > kMaxPictureEdge) {
    *problem = "PNG picture too large";
    return false;
  }
  const unsigned depth = h->depth;
  bool valid;
  switch (colour) {
    case kGrey:
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8 || depth == 16;
      h->channels = 1;
      break;
    case kIndexed:
      valid = depth == 1 || depth == 2 || depth == 4 || depth == 8;
      h->channels = 1;
      break;
    case kRgb:
    case kGreyAlpha:
    case kRgbAlpha:
      valid = depth == 8 || depth == 16;
      h->channels = colour == kRgb ? 3 : colour == kGreyAlpha ? 2 : 4;
      break;
    default:
      valid = false;
  }
  if (!valid || d[10] != 0 || d[11] != 0 || d[12] > 1) {
    *problem = "damaged PNG header (colour type " + std::to_string(colour) + ", depth " +
               std::to_string(depth) + ")";
    return false;
  }
  h->colour = static_cast<ColourType>(colour);
  h->interlaced = d[12] == 1;
  return true;
}

// The compressed picture data, read across its IDAT chunks.
class Inflater {
 public:
  explicit Inflater(std::vector<std::span<const uint8_t>> pieces) : pieces_(std::move(pieces)) {
    std::memset(&stream_, 0, sizeof stream_);
    ready_ = inflateInit(&stream_) == Z_OK;
  }
  ~Inflater() {
    if (ready_) inflateEnd(&stream_);
  }
  Inflater(const Inflater&) = delete;
  Inflater& operator=(const Inflater&) = delete;

  // Fills exactly n bytes; false with *problem when the data is damaged or
  // ends too early.
  bool read(uint8_t* out, size_t n, std::string* problem) {
    if (!ready_) {
      *problem = "not enough memory for the picture";
      return false;
    }
    stream_.next_out = out;
    while (n > 0) {
      const uInt step = static_cast<uInt>(std::min<size_t>(n, 1u << 30));
      stream_.avail_out = step;
      if (stream_.avail_in == 0 && next_ < pieces_.size()) {
        stream_.next_in = const_cast<Bytef*>(pieces_[next_].data());
        stream_.avail_in = static_cast<uInt>(pieces_[next_].size());
        ++next_;
      }
      const int result = inflate(&stream_, Z_NO_FLUSH);
      n -= step - stream_.avail_out;
      if (n == 0) break;
      const bool exhausted = stream_.avail_in == 0 && next_ == pieces_.size();
      if (result == Z_STREAM_END || ((result == Z_OK || result == Z_BUF_ERROR) && exhausted)) {
        *problem = "picture data ends early";
        return false;
      }
      if (result != Z_OK && result != Z_BUF_ERROR) {
        *problem = "damaged compressed picture data";
        return false;
      }
    }
    return true;
  }

 private:
  std::vector<std::span<const uint8_t>> pieces_;
  size_t next_ = 0;
  z_stream stream_;
  bool ready_ = false;
};

uint8_t paeth(int a, int b, int c) {
  const int p = a + b - c;
  const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
  if (pa <= pb && pa <= pc) return static_cast<uint8_t>(a);
  return static_cast<uint8_t>(pb <= pc ? b : c);
}

// Undoes the row filter in place; previous is all zero for a first row.
bool unfilter(uint8_t filter, uint8_t* row, const uint8_t* previous, size_t n, unsigned step) {
  switch (filter) {
    case 0:
      return true;
    case 1:
      for (size_t i = step; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + row[i - step]);
      return true;
    case 2:
      for (size_t i = 0; i < n; ++i) row[i] = static_cast<uint8_t>(row[i] + previous[i]);
      return true;
    case 3:
      for (size_t i = 0; i < n; ++i) {
        const unsigned left = i >= step ? row[i - step] : 0;
        row[i] = static_cast<uint8_t>(row[i] + (left + previous[i]) / 2);
      }
      return true;
    case 4:
      for (size_t i = 0; i < n; ++i) {
        const int left = i >= step ? row[i - step] : 0;
        const int upLeft = i >= step ? previous[i - step] : 0;
        row[i] = static_cast<uint8_t>(row[i] + paeth(left, previous[i], upLeft));
      }
      return true;
    default:
      return false;
  }
}

uint8_t overWhite(unsigned value, unsigned alpha) {
  return static_cast<uint8_t>((value * alpha + 255 * (255 - alpha) + 127) / 255);
}

// One unfiltered row of w pixels as RGB.
void toRgb(const Header& h, const uint8_t* raw, uint32_t w, uint8_t* rgb) {
  const unsigned depth = h.depth;
  auto sample = [&](uint64_t index) -> unsigned {  // the index-th sample of the row
    if (depth == 16) return (raw[index * 2] << 8) | raw[index * 2 + 1];
    if (depth == 8) return raw[index];
    const uint64_t bit = index * depth;
    return (raw[bit / 8] >> (8 - depth - bit % 8)) & ((1u << depth) - 1);
  };
  auto eight = [&](unsigned v) -> unsigned {  // a sample scaled to 8 bits
    if (depth == 16) return v >> 8;
    if (depth == 8) return v;
    return v * 255 / ((1u << depth) - 1);
  };
  for (uint32_t x = 0; x < w; ++x, rgb += 3) {
    const uint64_t first = uint64_t{x} * h.channels;
    unsigned r, g, b, alpha = 255;
    switch (h.colour) {
      case kIndexed: {
        const uint8_t* e = &h.palette[sample(first) * 4];
        r = e[0];
        g = e[1];
        b = e[2];
        alpha = e[3];
        break;
      }
      case kGrey:
      case kGreyAlpha: {
        const unsigned v = sample(first);
        r = g = b = eight(v);
        if (h.colour == kGreyAlpha) alpha = eight(sample(first + 1));
        if (h.hasKey && v == h.key[0]) alpha = 0;
        break;
      }
      default: {
        const unsigned sr = sample(first), sg = sample(first + 1), sb = sample(first + 2);
        r = eight(sr);
        g = eight(sg);
        b = eight(sb);
        if (h.colour == kRgbAlpha) alpha = eight(sample(first + 3));
        if (h.hasKey && sr == h.key[0] && sg == h.key[1] && sb == h.key[2]) alpha = 0;
      }
    }
    rgb[0] = overWhite(r, alpha);
    rgb[1] = overWhite(g, alpha);
    rgb[2] = overWhite(b, alpha);
  }
}

// Reads the filtered rows of one picture or interlace pass of w x rows
// pixels, handing each as RGB to deliver(y, rgb).
template <typename Deliver>
bool readRows(const Header& h, Inflater& in, uint32_t w, uint32_t rows, Deliver deliver,
              std::string* problem) {
  const size_t n = rowBytes(h, w);
  std::vector<uint8_t> current(n + 1), previous(n + 1, 0), rgb(3 * size_t{w});
  for (uint32_t y = 0; y < rows; ++y) {
    if (!in.read(current.data(), n + 1, problem)) return false;
    if (!unfilter(current[0], current.data() + 1, previous.data() + 1, n, filterStep(h))) {
      *problem = "damaged PNG row (filter " + std::to_string(current[0]) + ")";
      return false;
    }
    toRgb(h, current.data() + 1, w, rgb.data());
    deliver(y, rgb.data());
    std::swap(current, previous);
  }
  return true;
}

bool readInterlaced(const Header& h, Inflater& in, RowSink& sink, std::string* problem) {
  static const uint32_t kPasses[7][4] = {{0, 0, 8, 8}, {4, 0, 8, 8}, {0, 4, 4, 8}, {2, 0, 4, 4},
                                         {0, 2, 2, 4}, {1, 0, 2, 2}, {0, 1, 1, 2}};
  if (uint64_t{h.width} * h.height > kMaxHeldPixels) {
    *problem = "interlaced PNG picture too large";
    return false;
  }
  std::vector<uint8_t> picture(3 * uint64_t{h.width} * h.height);
  for (const auto& pass : kPasses) {
    const uint32_t x0 = pass[0], y0 = pass[1], dx = pass[2], dy = pass[3];
    if (h.width <= x0 || h.height <= y0) continue;  // an empty pass has no rows at all
    const uint32_t w = (h.width - x0 + dx - 1) / dx, rows = (h.height - y0 + dy - 1) / dy;
    auto place = [&](uint32_t y, const uint8_t* rgb) {
      uint8_t* line = picture.data() + 3 * (uint64_t{y0 + y * dy} * h.width);
      for (uint32_t x = 0; x < w; ++x)
        std::copy_n(rgb + 3 * size_t{x}, 3, line + 3 * (uint64_t{x0} + uint64_t{x} * dx));
    };
    if (!readRows(h, in, w, rows, place, problem)) return false;
  }
  if (!sink.begin(h.width, h.height)) {
    *problem = "not enough memory for the picture";
    return false;
  }
  for (uint32_t y = 0; y < h.height; ++y) sink.row(picture.data() + 3 * uint64_t{y} * h.width);
  return true;
}

}  // namespace

bool decodePng(std::span<const uint8_t> bytes, RowSink& sink, std::string* problem) {
  static const uint8_t kSignature[kSignatureSize] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
  if (bytes.size() < kSignatureSize || std::memcmp(bytes.data(), kSignature, kSignatureSize) != 0) {
    *problem = "not a PNG file";
    return false;
  }
  Header h;
  bool haveHeader = false;
  std::vector<std::span<const uint8_t>> data;
  size_t at = kSignatureSize;
  for (;;) {
    if (bytes.size() < at || bytes.size() - at < 12) {
      if (!haveHeader || data.empty()) {
        *problem = "PNG file cut short";
        return false;
      }
      break;  // no end chunk: decode what there is
    }
    const uint32_t length = bigEndian32(&bytes[at]);
    const uint8_t* type = &bytes[at + 4];
    if (length > kMaxChunkLength || bytes.size() - at - 12 < length) {
      *problem = "PNG chunk cut short";
      return false;
    }
    const uint8_t* body = &bytes[at + 8];
    const uLong crc = crc32(crc32(0, nullptr, 0), type, static_cast<uInt>(length + 4));
    if (crc != bigEndian32(body + length)) {
      *problem = "damaged PNG chunk (checksum)";
      return false;
    }
    at += 12 + size_t{length};
    const std::string name(reinterpret_cast<const char*>(type), 4);
    if (!haveHeader && name != "IHDR") {
      *problem = "damaged PNG file (no header chunk)";
      return false;
    }
    if (name == "IHDR") {
      if (haveHeader || length != 13) {
        *problem = "damaged PNG header";
        return false;
      }
      if (!validHeader(body, &h, problem)) return false;
      haveHeader = true;
    } else if (name == "PLTE") {
      if (length % 3 != 0 || length == 0 || length > 768) {
        *problem = "damaged PNG palette";
        return false;
      }
      h.paletteSize = length / 3;
      for (unsigned i = 0; i < h.paletteSize; ++i) {
        std::copy_n(body + 3 * i, 3, &h.palette[4 * i]);
        h.palette[4 * i + 3] = 255;
      }
    } else if (name == "tRNS") {
      if (h.colour == kIndexed) {
        for (uint32_t i = 0; i < std::min(length, 256u); ++i) h.palette[4 * i + 3] = body[i];
      } else if (h.colour == kGrey && length >= 2) {
        h.hasKey = true;
        h.key[0] = static_cast<uint16_t>((body[0] << 8) | body[1]);
      } else if (h.colour == kRgb && length >= 6) {
        h.hasKey = true;
        for (int i = 0; i < 3; ++i)
          h.key[i] = static_cast<uint16_t>((body[2 * i] << 8) | body[2 * i + 1]);
      }
    } else if (name == "IDAT") {
      if (length > 0) data.emplace_back(body, length);
    } else if (name == "IEND") {
      break;
    } else if (!(type[0] & 0x20)) {
      *problem = "PNG file needs an unknown chunk (" + name + ")";
      return false;
    }
  }
  if (h.colour == kIndexed && h.paletteSize == 0) {
    *problem = "damaged PNG file (no palette)";
    return false;
  }
  if (data.empty()) {
    *problem = "PNG file without picture data";
    return false;
  }
  Inflater in(std::move(data));
  if (h.interlaced) return readInterlaced(h, in, sink, problem);
  if (!sink.begin(h.width, h.height)) {
    *problem = "not enough memory for the picture";
    return false;
  }
  return readRows(
      h, in, h.width, h.height, [&](uint32_t, const uint8_t* rgb) { sink.row(rgb); }, problem);
}

}  // namespace abm
