#include <gtest/gtest.h>

#include <cstdint>

#include "test_pictures.h"

namespace {

using tooltest::Bytes;
using tooltest::CollectedPicture;
using tooltest::deflate;
using tooltest::pngChunk;
using tooltest::pngFile;
using tooltest::pngHeader;

// Deterministic pixel bytes.
Bytes noise(size_t n, uint32_t seed) {
  Bytes b(n);
  for (auto& v : b) {
    seed = seed * 1103515245u + 12345u;
    v = static_cast<uint8_t>(seed >> 16);
  }
  return b;
}

CollectedPicture decoded(const Bytes& file) {
  CollectedPicture picture;
  std::string problem;
  EXPECT_TRUE(tooltest::decode(file, &picture, &problem)) << problem;
  return picture;
}

std::string refusal(const Bytes& file) {
  CollectedPicture picture;
  std::string problem;
  EXPECT_FALSE(tooltest::decode(file, &picture, &problem));
  return problem;
}

Bytes onePicture(uint32_t w, uint32_t h, uint8_t depth, uint8_t colour, const Bytes& filtered,
                 const std::vector<Bytes>& before = {}) {
  std::vector<Bytes> chunks = {pngHeader(w, h, depth, colour, false)};
  chunks.insert(chunks.end(), before.begin(), before.end());
  chunks.push_back(pngChunk("IDAT", deflate(filtered)));
  return pngFile(chunks);
}

TEST(PngReader, EveryFilterTypeGivesBackTheSamePixels) {
  const uint32_t w = 5, h = 4;
  const Bytes rgb = noise(3 * w * h, 7);
  for (uint8_t filter = 0; filter <= 4; ++filter) {
    const Bytes file = onePicture(w, h, 8, 2, tooltest::filterRows(rgb, 3 * w, 3, filter));
    const CollectedPicture p = decoded(file);
    ASSERT_EQ(p.width, w);
    ASSERT_EQ(p.height, h);
    EXPECT_EQ(p.rgb, rgb) << "filter " << int{filter};
  }
}

TEST(PngReader, SixteenBitSamplesKeepTheirHighByteAndFilterByWholePixels) {
  const uint32_t w = 3, h = 3;
  const Bytes raw = noise(6 * w * h, 11);
  for (uint8_t filter : {1, 4}) {
    const CollectedPicture p =
        decoded(onePicture(w, h, 16, 2, tooltest::filterRows(raw, 6 * w, 6, filter)));
    ASSERT_EQ(p.rgb.size(), 3u * w * h);
    for (size_t i = 0; i < p.rgb.size(); ++i) EXPECT_EQ(p.rgb[i], raw[2 * i]) << i;
  }
}

TEST(PngReader, GreySamplesOfEveryDepthAreStretchedToEightBits) {
  // depth 1: 101000001 over 9 pixels
  CollectedPicture one = decoded(onePicture(9, 1, 1, 0, {0, 0xA0, 0x80}));
  for (uint32_t x = 0; x < 9; ++x)
    EXPECT_EQ(one.at(x, 0), (x == 0 || x == 2 || x == 8) ? 0xFFFFFFu : 0u) << x;
  CollectedPicture two = decoded(onePicture(4, 1, 2, 0, {0, 0x1B}));
  EXPECT_EQ(two.at(0, 0), 0x000000u);
  EXPECT_EQ(two.at(1, 0), 0x555555u);
  EXPECT_EQ(two.at(2, 0), 0xAAAAAAu);
  EXPECT_EQ(two.at(3, 0), 0xFFFFFFu);
  CollectedPicture four = decoded(onePicture(3, 1, 4, 0, {0, 0x07, 0xF0}));
  EXPECT_EQ(four.at(1, 0), 0x777777u);
  EXPECT_EQ(four.at(2, 0), 0xFFFFFFu);
  CollectedPicture sixteen = decoded(onePicture(1, 1, 16, 0, {0, 0x12, 0x34}));
  EXPECT_EQ(sixteen.at(0, 0), 0x121212u);
}

TEST(PngReader, PaletteTransparencyAndAlphaAreLaidOverWhite) {
  const Bytes palette = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF};
  const CollectedPicture indexed = decoded(onePicture(
      4, 1, 2, 3, {0, 0x1B}, {pngChunk("PLTE", palette), pngChunk("tRNS", {0xFF, 0x00})}));
  EXPECT_EQ(indexed.at(0, 0), 0xFF0000u);
  EXPECT_EQ(indexed.at(1, 0), 0xFFFFFFu);  // entry 1 is transparent
  EXPECT_EQ(indexed.at(2, 0), 0x0000FFu);  // entries after tRNS's end are opaque

  // 16-bit red at half alpha; 8-bit grey fully transparent and opaque.
  const CollectedPicture rgba =
      decoded(onePicture(1, 1, 16, 6, {0, 0xFF, 0xFF, 0, 0, 0, 0, 0x80, 0x00}));
  EXPECT_EQ(rgba.at(0, 0), 0xFF7F7Fu);
  const CollectedPicture grey = decoded(onePicture(2, 1, 8, 4, {0, 0, 0, 0, 255}));
  EXPECT_EQ(grey.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(grey.at(1, 0), 0x000000u);

  const CollectedPicture keyed = decoded(
      onePicture(2, 1, 8, 2, {0, 1, 2, 3, 1, 2, 4}, {pngChunk("tRNS", {0, 1, 0, 2, 0, 3})}));
  EXPECT_EQ(keyed.at(0, 0), 0xFFFFFFu);
  EXPECT_EQ(keyed.at(1, 0), 0x010204u);
}

TEST(PngReader, InterlacedPicturesMatchTheirPixelsWhateverPassesAreEmpty) {
  for (const auto& [w, h] : std::vector<std::pair<uint32_t, uint32_t>>{
           {1, 1}, {2, 1}, {3, 2}, {5, 5}, {9, 9}, {17, 5}}) {
    const Bytes rgb = noise(3 * size_t{w} * h, w * 31 + h);
    const Bytes file = pngFile({pngHeader(w, h, 8, 2, true),
                                pngChunk("IDAT", deflate(tooltest::interlacedData(rgb, w, h, 3)))});
    const CollectedPicture p = decoded(file);
    EXPECT_EQ(p.begins, 1);
    EXPECT_EQ(p.rgb, rgb) << w << "x" << h;
  }
}

TEST(PngReader, PictureDataMaySpreadOverManyChunksAndAncillaryChunksAreSkipped) {
  const uint32_t w = 4, h = 3;
  const Bytes rgb = noise(3 * w * h, 3);
  const Bytes stream = deflate(tooltest::filterRows(rgb, 3 * w, 3, 2));
  std::vector<Bytes> chunks = {pngHeader(w, h, 8, 2, false), pngChunk("tEXt", {'a', 0, 'b'})};
  for (uint8_t byte : stream) chunks.push_back(pngChunk("IDAT", {byte}));
  EXPECT_EQ(decoded(pngFile(chunks)).rgb, rgb);

  chunks.insert(chunks.begin() + 1, pngChunk("ABCD", {1, 2}));
  EXPECT_NE(refusal(pngFile(chunks)).find("ABCD"), std::string::npos);
}

TEST(PngReader, AMissingEndChunkIsForgivenWhenEveryRowIsThere) {
  Bytes file = tooltest::pngRgb(2, 2, noise(12, 5));
  file.resize(file.size() - 12);
  EXPECT_EQ(decoded(file).rows(), 2u);
}

TEST(PngReader, RefusesDamagedFilesWithAReason) {
  const Bytes good = tooltest::pngRgb(4, 4, noise(48, 9));
  Bytes badChecksum = good;
  badChecksum[45] ^= 1;  // inside the IDAT data
  EXPECT_EQ(refusal(badChecksum), "damaged PNG chunk (checksum)");

  Bytes longChunk = good;
  longChunk[33] = 0x7F;  // the IDAT length
  EXPECT_EQ(refusal(longChunk), "PNG chunk cut short");

  const Bytes shortData = onePicture(4, 4, 8, 2, Bytes(13 * 3, 0));
  EXPECT_EQ(refusal(shortData), "picture data ends early");

  Bytes badStream = good;
  for (size_t i = 43; i < 50; ++i) badStream[i] ^= 0x5A;
  EXPECT_FALSE(refusal(tooltest::withFixedChecksums(badStream)).empty());

  EXPECT_EQ(refusal(onePicture(1, 1, 8, 2, {5, 0, 0, 0})), "damaged PNG row (filter 5)");
  EXPECT_EQ(refusal(onePicture(1, 1, 8, 3, {0, 0})), "damaged PNG file (no palette)");
  EXPECT_NE(refusal(onePicture(1, 1, 3, 0, {0, 0})).find("depth 3"), std::string::npos);
  EXPECT_NE(refusal(onePicture(1, 1, 8, 1, {0, 0})).find("colour type 1"), std::string::npos);
  EXPECT_EQ(refusal(onePicture(0, 1, 8, 0, {0})), "damaged PNG header (size)");
  EXPECT_EQ(refusal(onePicture(70000, 1, 8, 0, {0})), "PNG picture too large");
  EXPECT_EQ(refusal(onePicture(1, 1, 8, 3, {0, 0}, {pngChunk("PLTE", Bytes(4, 0))})),
            "damaged PNG palette");
  EXPECT_EQ(refusal(pngFile({pngChunk("IDAT", deflate({0, 0}))})),
            "damaged PNG file (no header chunk)");
  EXPECT_EQ(refusal(pngFile({pngHeader(1, 1, 8, 0, false)})), "PNG file without picture data");
}

TEST(PngReader, HugePicturesAreRefusedOrFailBeforeTheirPixelsExist) {
  // Held whole while decoding: refused from the header alone.
  const Bytes interlaced =
      pngFile({pngHeader(10000, 10000, 8, 2, true), pngChunk("IDAT", deflate({0}))});
  EXPECT_EQ(refusal(interlaced), "interlaced PNG picture too large");
  // Row by row: the rows the file does not have are missed.
  const Bytes plain =
      pngFile({pngHeader(65535, 65535, 8, 6, false), pngChunk("IDAT", deflate({0}))});
  EXPECT_EQ(refusal(plain), "picture data ends early");
}

}  // namespace
