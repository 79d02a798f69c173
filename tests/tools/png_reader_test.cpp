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

#if ABM_PICTURE_LIBS

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

TEST(PngReader, DamagedFilesAreRefusedWithAReason) {
  const Bytes good = tooltest::pngRgb(4, 4, noise(48, 9));
  Bytes badData = good;
  badData[45] ^= 1;  // inside the IDAT data
  Bytes longChunk = good;
  longChunk[33] = 0x7F;  // the IDAT length
  Bytes cut = good;
  cut.resize(40);
  const struct {
    const char* what;
    Bytes file;
    const char* reason;  // "": libpng's own words
  } cases[] = {
      {"changed data", badData, ""},
      {"chunk longer than the file", longChunk, ""},
      {"file cut in its data", cut, "picture data ends early"},
      {"rows missing", onePicture(4, 4, 8, 2, Bytes(13 * 3, 0)), ""},
      {"filter 5", onePicture(1, 1, 8, 2, {5, 0, 0, 0}), ""},
      {"palette missing", onePicture(1, 1, 8, 3, {0, 0}), ""},
      {"depth 3", onePicture(1, 1, 3, 0, {0, 0}), ""},
      {"colour type 1", onePicture(1, 1, 8, 1, {0, 0}), ""},
      {"width 0", onePicture(0, 1, 8, 0, {0}), ""},
      {"too wide", onePicture(70000, 1, 8, 0, {0}), "PNG picture too large"},
      {"short palette", onePicture(1, 1, 8, 3, {0, 0}, {pngChunk("PLTE", Bytes(4, 0))}), ""},
      {"no header", pngFile({pngChunk("IDAT", deflate({0, 0}))}), ""},
      {"no data", pngFile({pngHeader(1, 1, 8, 0, false)}), ""},
      {"interlaced and huge",
       pngFile({pngHeader(10000, 10000, 8, 2, true), pngChunk("IDAT", deflate({0}))}),
       "interlaced PNG picture too large"},
      {"huge, rows missing",
       pngFile({pngHeader(65535, 65535, 8, 6, false), pngChunk("IDAT", deflate({0}))}), ""},
  };
  for (const auto& c : cases) {
    CollectedPicture picture;
    std::string problem;
    EXPECT_FALSE(tooltest::decode(c.file, &picture, &problem)) << c.what;
    EXPECT_FALSE(problem.empty()) << c.what;
    if (*c.reason != 0) {
      EXPECT_EQ(problem, c.reason) << c.what;
    }
    EXPECT_LE(picture.rows(), 4u) << c.what;
  }
}

#endif  // ABM_PICTURE_LIBS

}  // namespace
