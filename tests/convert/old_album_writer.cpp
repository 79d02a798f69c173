#include "old_album_writer.h"

#include <cstring>

namespace convtest {

namespace {

using afm3test::put16;
using afm3test::put32;

constexpr uint8_t kMagic[4] = {0xD6, 0xC5, 0x6F, 0xCD};
constexpr uint32_t kEntrySize = 288, kPageSize = 30720;

void putText(Bytes& b, size_t at, const std::string& text, size_t room) {
  std::memcpy(b.data() + at, text.data(), std::min(text.size(), room - 1));
}

uint32_t rowBytes(uint16_t edge) { return (24u * edge + 31) / 32 * 4; }

Bytes header(uint8_t major, uint8_t minor, size_t size) {
  Bytes b(size, 0);
  std::memcpy(b.data(), kMagic, 4);
  b[4] = major;
  b[5] = minor;
  return b;
}

uint16_t liveCount(const OldAlbum& album) {
  uint16_t n = 0;
  for (const OldEntry& e : album.entries) n += e.deleted ? 0 : 1;
  return n;
}

}  // namespace

Bytes thumbnailOf(uint16_t thumbSize, size_t seed) {
  Bytes pixels(size_t{rowBytes(thumbSize)} * thumbSize);
  for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + seed * 31);
  return pixels;
}

uint32_t v2FirstPage(const OldAlbum& album) {
  return kV2Header + static_cast<uint32_t>(album.keywords.size()) * 32;
}

Bytes version2File(const OldAlbum& album) {
  Bytes file = header(2, 0, kV2Header);
  put16(file, 6, album.thumbSize);
  put16(file, 8, liveCount(album));
  putText(file, 10, album.title, 24);
  putText(file, 34, album.description, 512);
  put32(file, 4642, kV2Header);
  put16(file, 4646, static_cast<uint16_t>(album.keywords.size()));
  for (const std::string& k : album.keywords) {
    Bytes entry(32, 0);
    putText(entry, 0, k, 32);
    file.insert(file.end(), entry.begin(), entry.end());
  }
  const size_t pages = (album.entries.size() + 63) / 64;
  const uint32_t first = static_cast<uint32_t>(file.size());
  file.resize(first + pages * kPageSize, 0);
  for (size_t p = 0; p < pages; ++p)
    put32(file, 546 + 4 * p, static_cast<uint32_t>(first + p * kPageSize));
  for (size_t n = 0; n < album.entries.size(); ++n) {
    const OldEntry& e = album.entries[n];
    const size_t page = first + (n / 64) * kPageSize, i = n % 64;
    const size_t at = page + i * kEntrySize;
    put16(file, at, e.deleted ? 0xFFFF : static_cast<uint16_t>(n));
    file[at + 2] = e.kind;
    putText(file, at + 4, e.file, 14);
    put32(file, at + 18, static_cast<uint32_t>(1000 + n));
    put16(file, at + 22, 0x6000);  // 12:00:00
    put16(file, at + 24, 0x2A21);  // 2001-01-01
    file[at + 27] = e.driveType;
    const int colourAt = e.kind == 2 ? 0 : e.kind == 6 ? 4 : e.kind == 7 ? 12 : 1;
    file[at + 44 + colourAt] = e.colour;
    putText(file, at + 110, e.folder, 116);
    putText(file, at + 226, "LABEL", 32);
    put16(file, at + 258, static_cast<uint16_t>(e.v2Flags | (e.image ? 0x08 : 0)));
    putText(file, page + 18432 + i * 128, e.name, 128);
    Bytes set(64, 0xFF);
    for (size_t k = 0; k < e.keywords.size() && k < 32; ++k) put16(set, 2 * k, e.keywords[k]);
    std::memcpy(file.data() + page + 26624 + i * 64, set.data(), 64);
    if (!e.text.empty()) {
      put32(file, at + 100, static_cast<uint32_t>(file.size()));
      put16(file, at + 104, static_cast<uint16_t>(e.text.size()));
      file.insert(file.end(), e.text.begin(), e.text.end());
    }
    if (e.image) {
      const Bytes pixels = thumbnailOf(album.thumbSize, n);
      file[at + 26] = 7;
      put16(file, at + 28, album.thumbSize);
      put16(file, at + 30, album.thumbSize);
      put32(file, at + 32, static_cast<uint32_t>(pixels.size()));
      put32(file, at + 40, static_cast<uint32_t>(file.size()));
      file.insert(file.end(), pixels.begin(), pixels.end());
    }
  }
  Bytes head(file.begin(), file.begin() + kV2Header);
  afm3test::sealChecksum(head);
  std::memcpy(file.data(), head.data(), kV2Header);
  return file;
}

// The header's checksum word (190) is also the first word of record 0;
// a spare header word (186) balances the checksum for whatever that word
// holds.
Bytes version1File(const OldAlbum& album, uint8_t minor) {
  Bytes file = header(1, minor, 190);
  put16(file, 16, album.thumbSize);
  put16(file, 18, liveCount(album));
  putText(file, 20, album.title, 24);
  putText(file, 44, album.description, 140);
  for (size_t n = 0; n < album.entries.size(); ++n) {
    const OldEntry& e = album.entries[n];
    Bytes r(336, 0);
    put16(r, 0, e.deleted ? 0xFFFF : static_cast<uint16_t>(n));
    putText(r, 2, e.folder + "\\" + e.file, 128);
    putText(r, 130, e.text, 160);
    put32(r, 290, static_cast<uint32_t>(2000 + n));
    r[294] = e.colour;
    put16(r, 316, 0x6000);
    put16(r, 318, 0x2A21);
    r[332] = e.v1Flags;
    Bytes pixels;
    if (e.image && !e.deleted) {
      pixels = thumbnailOf(album.thumbSize, n);
      pixels.resize(static_cast<size_t>(static_cast<int64_t>(pixels.size()) + e.thumbBytesDelta));
    }
    put16(r, 300, static_cast<uint16_t>(pixels.size()));
    file.insert(file.end(), r.begin(), r.end());
    file.insert(file.end(), pixels.begin(), pixels.end());
  }
  if (file.size() < 192) file.resize(192, 0);
  uint16_t x = 0;
  for (size_t w = 0; w < 95; ++w) x ^= afm3test::get16(file, 2 * w);
  put16(file, 186,
        static_cast<uint16_t>(afm3test::get16(file, 186) ^ x ^ afm3test::get16(file, 190)));
  return file;
}

}  // namespace convtest
