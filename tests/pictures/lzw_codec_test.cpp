// qliblzw: the TIFF LZW format, the capacity contract, and a decoder that
// survives any input (these tests are meant to run under ASan: every output
// buffer is exactly as large as the capacity passed).
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>

#include "album_fixtures.h"
#include "picture_fixtures.h"
#include "platform.h"
#include "qliblzw.h"

using pictest::Bytes;
using pictest::Noise;

namespace {

constexpr QLzwParams kTiff{12, 8, 1};

// Bytes of a run of 12-bit-or-less codes packed most significant bit first.
Bytes packCodes(const std::vector<uint32_t>& codes, uint32_t bits) {
  Bytes out;
  uint32_t pending = 0, count = 0;
  for (uint32_t code : codes) {
    pending = pending << bits | code;
    for (count += bits; count >= 8; count -= 8)
      out.push_back(static_cast<uint8_t>(pending >> (count - 8)));
    pending &= (1u << count) - 1;
  }
  if (count > 0) out.push_back(static_cast<uint8_t>(pending << (8 - count)));
  return out;
}

int compress(const Bytes& in, Bytes* out, size_t capacity) {
  // A heap block of exactly the capacity: ASan sees any write past it.
  auto buffer = std::make_unique<uint8_t[]>(capacity + (capacity == 0));
  QLzwBuffer source{static_cast<DWORD>(in.size()), const_cast<uint8_t*>(in.data())};
  QLzwBuffer target{static_cast<DWORD>(capacity), buffer.get()};
  const int result = qLzwCompress(&source, &kTiff, &target);
  EXPECT_LE(target.count, capacity);
  out->assign(buffer.get(), buffer.get() + target.count);
  return result;
}

int decompress(const Bytes& in, Bytes* out, size_t capacity) {
  auto source = std::make_unique<uint8_t[]>(in.size() + (in.empty()));
  std::copy(in.begin(), in.end(), source.get());
  auto buffer = std::make_unique<uint8_t[]>(capacity + (capacity == 0));
  QLzwBuffer from{static_cast<DWORD>(in.size()), source.get()};
  QLzwBuffer to{static_cast<DWORD>(capacity), buffer.get()};
  const int result = qLzwDecompress(&from, &kTiff, &to);
  EXPECT_LE(to.count, capacity);
  out->assign(buffer.get(), buffer.get() + to.count);
  return result;
}

Bytes encoded(const Bytes& in) {
  Bytes out;
  EXPECT_EQ(compress(in, &out, in.size() * 3 / 2 + in.size() / 2048 + 8), QLZW_OK);
  return out;
}

// Runs of all lengths and noise, so codes of every width and several
// table resets occur.
Bytes mixedData(size_t size, uint32_t seed) {
  Noise noise(seed);
  Bytes b;
  while (b.size() < size) {
    const uint8_t v = noise.next();
    const size_t run = v < 128 ? 1 : v % 64;
    for (size_t i = 0; i < run && b.size() < size; ++i) b.push_back(v < 128 ? noise.next() : v);
  }
  return b;
}

TEST(Lzw, WritesTheTiffExample) {
  // TIFF 6.0, section 13: 7 7 7 8 8 7 7 6 6 is Clear 7 258 8 8 258 6 6 EOI.
  EXPECT_EQ(encoded({7, 7, 7, 8, 8, 7, 7, 6, 6}),
            packCodes({256, 7, 258, 8, 8, 258, 6, 6, 257}, 9));
  EXPECT_EQ(encoded({}), packCodes({256, 257}, 9));
}

TEST(Lzw, RoundTripsEverySize) {
  for (size_t size : {1, 2, 3, 511, 512, 5000, 100000, 400000}) {
    const Bytes data = mixedData(size, static_cast<uint32_t>(size));
    Bytes back;
    EXPECT_EQ(decompress(encoded(data), &back, size), QLZW_OK) << size;
    EXPECT_EQ(back, data) << size;
  }
  const Bytes noise = Noise(7).bytes(50000);
  Bytes back;
  EXPECT_EQ(decompress(encoded(noise), &back, noise.size()), QLZW_OK);
  EXPECT_EQ(back, noise);
}

TEST(Lzw, OutputNeverPassesTheCapacity) {
  const Bytes data = mixedData(20000, 3);
  const Bytes stream = encoded(data);
  Bytes out;
  EXPECT_EQ(compress(data, &out, stream.size() - 1), QLZW_OUTPUT_FULL);
  EXPECT_EQ(compress(data, &out, stream.size()), QLZW_OK);
  // Decoding into less room gives a prefix of the data.
  EXPECT_EQ(decompress(stream, &out, 12345), QLZW_OUTPUT_FULL);
  EXPECT_EQ(out, Bytes(data.begin(), data.begin() + 12345));
}

TEST(Lzw, RejectsOtherParameters) {
  Bytes in{1, 2, 3}, out(16);
  QLzwBuffer source{3, in.data()}, target{16, out.data()};
  for (QLzwParams p :
       {QLzwParams{13, 8, 1}, QLzwParams{8, 8, 1}, QLzwParams{12, 7, 1}, QLzwParams{12, 8, 2}})
    EXPECT_EQ(qLzwCompress(&source, &p, &target), QLZW_BAD_ARGUMENTS);
  EXPECT_EQ(qLzwDecompress(&source, nullptr, &target), QLZW_BAD_ARGUMENTS);
}

TEST(Lzw, DecoderSurvivesDamagedAndRandomStreams) {
  const Bytes data = mixedData(30000, 11);
  const Bytes stream = encoded(data);
  Bytes out;
  // Cut short anywhere: whatever comes out is the start of the data.
  for (size_t cut = 0; cut < stream.size(); cut += 7) {
    const int result = decompress(Bytes(stream.begin(), stream.begin() + static_cast<long>(cut)),
                                  &out, data.size());
    EXPECT_NE(result, QLZW_OK);
    EXPECT_TRUE(std::equal(out.begin(), out.end(), data.begin())) << cut;
  }
  Noise noise(5);
  for (int round = 0; round < 3000; ++round) {
    Bytes damaged = round % 2 == 0 ? stream : noise.bytes(noise.next() * 4u);
    if (round % 2 == 0)
      for (int i = 0; i < 4; ++i)
        damaged[(noise.next() << 8 | noise.next()) % damaged.size()] ^= noise.next();
    decompress(damaged, &out, noise.next() * 16u);
  }
}

// Wraps an 8-bit grey picture's LZW strip in a TIFF file.
Bytes tiffWithStrip(uint32_t width, uint32_t height, const Bytes& strip) {
  struct Tag {
    uint16_t tag, type;
    uint32_t value;
  };
  const uint32_t dataAt = 8 + 2 + 9 * 12 + 4;
  const Tag tags[] = {
      {256, 4, width}, {257, 4, height}, {258, 3, 8},
      {259, 3, 5},     {262, 3, 1},      {273, 4, dataAt},
      {277, 3, 1},     {278, 4, height}, {279, 4, static_cast<uint32_t>(strip.size())}};
  Bytes f(dataAt, 0);
  f[0] = f[1] = 'I';
  afm3test::put16(f, 2, 42);
  afm3test::put32(f, 4, 8);
  afm3test::put16(f, 8, 9);
  for (size_t i = 0; i < 9; ++i) {
    const size_t at = 10 + 12 * i;
    afm3test::put16(f, at, tags[i].tag);
    afm3test::put16(f, at + 2, tags[i].type);
    afm3test::put32(f, at + 4, 1);
    afm3test::put32(f, at + 8, tags[i].value);
  }
  f.insert(f.end(), strip.begin(), strip.end());
  return f;
}

// The strip of an uncompressed one-strip TIFF.
Bytes stripOf(const Bytes& f) {
  if (f.size() < 8) return {};
  const uint32_t ifd = afm3test::get32(f, 4);
  uint32_t offset = 0, count = 0;
  for (uint32_t i = 0; i < afm3test::get16(f, ifd); ++i) {
    const size_t at = ifd + 2 + 12 * i;
    const uint16_t tag = afm3test::get16(f, at), type = afm3test::get16(f, at + 2);
    const uint32_t value = type == 3 ? afm3test::get16(f, at + 8) : afm3test::get32(f, at + 8);
    if (tag == 273) offset = value;
    if (tag == 279) count = value;
  }
  if (offset + count > f.size()) return {};
  return Bytes(f.begin() + offset, f.begin() + offset + count);
}

TEST(Lzw, TiffToolsReadOurStreams) {
  const uint32_t width = 256, height = 400;  // codes of 9 to 12 bits, several Clears
  const Bytes picture = mixedData(width * height, 21);
  const Bytes tiff = tiffWithStrip(width, height, encoded(picture));
  const auto folder = std::filesystem::temp_directory_path();
  const std::string in = (folder / "afm3-lzw-in.tif").string();
  const std::string out = (folder / "afm3-lzw-out.tif").string();
  std::ofstream(in, std::ios::binary)
      .write(reinterpret_cast<const char*>(tiff.data()), static_cast<std::streamsize>(tiff.size()));
  const int status =
      plat::runProcess({"tiffcp", "-c", "none", "-r", std::to_string(height), in, out});
  if (status == -1) GTEST_SKIP() << "tiffcp (libtiff-tools) is not installed";
  ASSERT_EQ(status, 0);
  std::ifstream copy(out, std::ios::binary);
  const Bytes plain((std::istreambuf_iterator<char>(copy)), std::istreambuf_iterator<char>());
  EXPECT_EQ(stripOf(plain), picture);
  std::filesystem::remove(in);
  std::filesystem::remove(out);
}

}  // namespace
