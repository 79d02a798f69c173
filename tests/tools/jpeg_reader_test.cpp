#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>

#include "test_pictures.h"

namespace {

using tooltest::Bytes;
using tooltest::CollectedPicture;

// Left half one colour, right half another.
Bytes halves(uint32_t w, uint32_t h, uint32_t left, uint32_t right) {
  Bytes rgb;
  for (uint32_t y = 0; y < h; ++y)
    for (uint32_t x = 0; x < w; ++x) {
      const uint32_t c = x < w / 2 ? left : right;
      rgb.insert(rgb.end(), {static_cast<uint8_t>(c >> 16), static_cast<uint8_t>(c >> 8),
                             static_cast<uint8_t>(c)});
    }
  return rgb;
}

void expectNear(uint32_t actual, uint32_t expected, int tolerance) {
  for (int shift : {16, 8, 0}) {
    const int a = (actual >> shift) & 0xFF, e = (expected >> shift) & 0xFF;
    EXPECT_LE(std::abs(a - e), tolerance) << std::hex << actual << " vs " << expected;
  }
}

TEST(JpegReader, ColourAndGreyPicturesArriveAsRgb) {
  CollectedPicture colour;
  std::string problem;
  ASSERT_TRUE(tooltest::decode(
      tooltest::jpegFile(32, 16, halves(32, 16, 0xC02010, 0x2040E0), false, 95), &colour, &problem))
      << problem;
  ASSERT_EQ(colour.width, 32u);
  ASSERT_EQ(colour.height, 16u);
  expectNear(colour.at(2, 3), 0xC02010, 12);
  expectNear(colour.at(29, 12), 0x2040E0, 12);

  Bytes grey(24 * 8);
  for (size_t i = 0; i < grey.size(); ++i) grey[i] = i % 24 < 12 ? 40 : 200;
  CollectedPicture g;
  ASSERT_TRUE(tooltest::decode(tooltest::jpegFile(24, 8, grey, true, 95), &g, &problem));
  expectNear(g.at(3, 3), 0x282828, 6);
  expectNear(g.at(20, 3), 0xC8C8C8, 6);
  for (size_t i = 0; i < g.rgb.size(); i += 3) {
    EXPECT_EQ(g.rgb[i], g.rgb[i + 1]);
    EXPECT_EQ(g.rgb[i], g.rgb[i + 2]);
  }
}

TEST(JpegReader, ProgressiveAndCmykPicturesAreRead) {
  CollectedPicture progressive;
  std::string problem;
  ASSERT_TRUE(tooltest::decode(
      tooltest::jpegFile(40, 24, halves(40, 24, 0x00FF00, 0xFFFFFF), false, 90, true), &progressive,
      &problem))
      << problem;
  expectNear(progressive.at(5, 5), 0x00FF00, 16);

  // Adobe's CMYK files keep inverted inks: 255 is no ink.
  Bytes cmyk;
  for (int i = 0; i < 16 * 16; ++i) cmyk.insert(cmyk.end(), {255, 0, 255, 255});
  CollectedPicture magenta;
  ASSERT_TRUE(tooltest::decode(tooltest::cmykJpegFile(16, 16, cmyk), &magenta, &problem))
      << problem;
  expectNear(magenta.at(8, 8), 0xFF00FF, 8);
}

TEST(JpegReader, LargePicturesArriveReducedButNeverBelowTheWantedEdge) {
  const Bytes file = tooltest::jpegFile(800, 400, halves(800, 400, 0x808080, 0x808080), false, 75);
  const struct {
    uint32_t minimumEdge, width, height;
  } cases[] = {{0, 800, 400},   {96, 100, 50},   {100, 100, 50},  {101, 200, 100},
               {400, 400, 200}, {401, 800, 400}, {5000, 800, 400}};
  for (const auto& c : cases) {
    CollectedPicture p;
    std::string problem;
    ASSERT_TRUE(tooltest::decode(file, &p, &problem, c.minimumEdge)) << problem;
    EXPECT_EQ(p.width, c.width) << c.minimumEdge;
    EXPECT_EQ(p.height, c.height) << c.minimumEdge;
    EXPECT_EQ(p.rows(), c.height);
  }
}

TEST(JpegReader, PicturesCutShortOrDamagedAreRefused) {
  Bytes noisy(128 * 128 * 3);
  for (size_t i = 0; i < noisy.size(); ++i) noisy[i] = static_cast<uint8_t>((i * 7919) >> 3);
  const Bytes file = tooltest::jpegFile(128, 128, noisy, false, 90);
  CollectedPicture p;
  std::string problem;
  Bytes half(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(file.size() / 2));
  EXPECT_FALSE(tooltest::decode(half, &p, &problem));
  EXPECT_EQ(problem, "picture data ends early");

  Bytes withoutEnd(file.begin(), file.end() - 2);
  EXPECT_FALSE(tooltest::decode(withoutEnd, &p, &problem));

  Bytes garbage = {0xFF, 0xD8, 0xFF, 0x01, 0x02, 0x03, 0x04};
  problem.clear();
  EXPECT_FALSE(tooltest::decode(garbage, &p, &problem));
  EXPECT_FALSE(problem.empty());
}

}  // namespace
