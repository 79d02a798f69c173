#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>

#include "test_pictures.h"

namespace {

using tooltest::Bmp;
using tooltest::bmpFile;
using tooltest::Bytes;
using tooltest::CollectedPicture;

CollectedPicture decoded(const Bmp& bmp) {
  CollectedPicture picture;
  std::string problem;
  EXPECT_TRUE(tooltest::decode(bmpFile(bmp), &picture, &problem)) << problem;
  return picture;
}

std::string refusal(const Bytes& file) {
  CollectedPicture picture;
  std::string problem;
  EXPECT_FALSE(tooltest::decode(file, &picture, &problem));
  return problem;
}

Bmp rgb3x2() {
  Bmp bmp;
  bmp.width = 3;
  bmp.height = 2;
  // Bottom row first, blue-green-red, rows padded from 9 to 12 bytes.
  bmp.pixels = {0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x80, 0x80, 0x80, 0, 0, 0,
                0x00, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0xFF, 0x00, 0x00, 0, 0, 0};
  return bmp;
}

TEST(BmpReader, TrueColourRowsArriveTopRowFirstInRgbOrder) {
  const CollectedPicture p = decoded(rgb3x2());
  ASSERT_EQ(p.width, 3u);
  ASSERT_EQ(p.height, 2u);
  ASSERT_EQ(p.rows(), 2u);
  EXPECT_EQ(p.at(0, 0), 0xFF0000u);
  EXPECT_EQ(p.at(1, 0), 0x00FF00u);
  EXPECT_EQ(p.at(2, 0), 0x0000FFu);
  EXPECT_EQ(p.at(0, 1), 0xFFFFFFu);
  EXPECT_EQ(p.at(1, 1), 0x000000u);
  EXPECT_EQ(p.at(2, 1), 0x808080u);
}

TEST(BmpReader, NegativeHeightMeansTopRowStoredFirst) {
  Bmp bmp = rgb3x2();
  bmp.height = -2;
  std::rotate(bmp.pixels.begin(), bmp.pixels.begin() + 12, bmp.pixels.end());
  const CollectedPicture p = decoded(bmp);
  ASSERT_EQ(p.height, 2u);
  EXPECT_EQ(p.at(0, 0), 0xFF0000u);
  EXPECT_EQ(p.at(2, 1), 0x808080u);
}

TEST(BmpReader, PaletteBitmapsUnpackIndexesHighBitsFirst) {
  Bmp four;
  four.width = 5;
  four.height = 1;
  four.bits = 4;
  for (uint32_t i = 0; i < 16; ++i) four.palette.push_back(i * 0x111111);
  four.pixels = {0x12, 0x34, 0x50, 0x00};
  const CollectedPicture p4 = decoded(four);
  for (uint32_t x = 0; x < 5; ++x) EXPECT_EQ(p4.at(x, 0), (x + 1) * 0x111111u) << x;

  Bmp one;
  one.width = 10;
  one.height = 1;
  one.bits = 1;
  one.palette = {0x000000, 0xFFFFFF};
  one.pixels = {0xB3, 0x80, 0, 0};  // 1011001110
  const CollectedPicture p1 = decoded(one);
  const int bits[10] = {1, 0, 1, 1, 0, 0, 1, 1, 1, 0};
  for (uint32_t x = 0; x < 10; ++x) EXPECT_EQ(p1.at(x, 0), bits[x] ? 0xFFFFFFu : 0u) << x;
}

TEST(BmpReader, ShortPalettesEndAtThePixelsAndMissingEntriesAreBlack) {
  Bmp bmp;
  bmp.width = 3;
  bmp.height = 1;
  bmp.bits = 8;
  bmp.palette = {0x112233, 0x445566};  // the header claims 256 entries
  bmp.pixels = {0, 1, 7, 0};
  const CollectedPicture p = decoded(bmp);
  EXPECT_EQ(p.at(0, 0), 0x112233u);
  EXPECT_EQ(p.at(1, 0), 0x445566u);
  EXPECT_EQ(p.at(2, 0), 0x000000u);
}

TEST(BmpReader, CoreHeaderHasThreeBytePaletteEntries) {
  Bmp bmp;
  bmp.headerSize = 12;
  bmp.width = 2;
  bmp.height = 1;
  bmp.bits = 8;
  bmp.palette = {0xABCDEF, 0x123456};
  bmp.pixels = {1, 0, 0, 0};
  const CollectedPicture p = decoded(bmp);
  EXPECT_EQ(p.at(0, 0), 0x123456u);
  EXPECT_EQ(p.at(1, 0), 0xABCDEFu);
}

TEST(BmpReader, SixteenBitPixelsUse555UnlessMasksSayOtherwise) {
  Bmp plain;
  plain.width = 2;
  plain.height = 1;
  plain.bits = 16;
  plain.pixels = {0x00, 0x7C, 0x00, 0x02};  // full red; green 16 of 31
  const CollectedPicture p = decoded(plain);
  EXPECT_EQ(p.at(0, 0), 0xFF0000u);
  EXPECT_EQ(p.at(1, 0), 0x008400u);

  Bmp masked = plain;
  masked.compression = 3;
  masked.masks = {0xF800, 0x07E0, 0x001F};
  masked.pixels = {0xE0, 0x07, 0x1F, 0x00};
  const CollectedPicture q = decoded(masked);
  EXPECT_EQ(q.at(0, 0), 0x00FF00u);
  EXPECT_EQ(q.at(1, 0), 0x0000FFu);
}

TEST(BmpReader, ThirtyTwoBitPixelsFollowTheirMasksWhereverTheHeaderKeepsThem) {
  Bmp plain;
  plain.width = 1;
  plain.height = 1;
  plain.bits = 32;
  plain.pixels = {0x10, 0x20, 0x30, 0xFF};
  EXPECT_EQ(decoded(plain).at(0, 0), 0x302010u);

  Bmp after = plain;  // masks after a 40-byte header
  after.compression = 3;
  after.masks = {0x000000FF, 0x0000FF00, 0x00FF0000};
  after.pixels = {0x10, 0x20, 0x30, 0x00};
  EXPECT_EQ(decoded(after).at(0, 0), 0x102030u);

  Bmp inside = after;  // a version-5 header holds them itself
  inside.headerSize = 124;
  EXPECT_EQ(decoded(inside).at(0, 0), 0x102030u);
}

TEST(BmpReader, RunLengthEightBitRunsAbsoluteRunsDeltasAndLineEnds) {
  Bmp bmp;
  bmp.width = 4;
  bmp.height = 3;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = {0x000000, 0xFF0000, 0x00FF00, 0x0000FF};
  bmp.pixels = {2, 1, 0, 0,              // bottom row: 1 1, end of line
                0, 3, 2, 3, 1, 0, 0, 0,  // 2 3 1 (padded), end of line
                0, 2, 1, 0, 1, 3,        // one pixel right, then 3
                0, 1};                   // end of picture
  const CollectedPicture p = decoded(bmp);
  const uint32_t expected[3][4] = {
      {0, 0x0000FF, 0, 0}, {0x00FF00, 0x0000FF, 0xFF0000, 0}, {0xFF0000, 0xFF0000, 0, 0}};
  for (uint32_t y = 0; y < 3; ++y)
    for (uint32_t x = 0; x < 4; ++x) EXPECT_EQ(p.at(x, y), expected[y][x]) << x << "," << y;
}

TEST(BmpReader, RunLengthFourBitRunsAlternateTheirTwoIndexes) {
  Bmp bmp;
  bmp.width = 8;
  bmp.height = 1;
  bmp.bits = 4;
  bmp.compression = 2;
  bmp.palette = {0x000000, 0x111111, 0x222222, 0x333333};
  bmp.pixels = {5, 0x12, 0, 3, 0x31, 0x20, 0, 1};  // 1 2 1 2 1, then 3 1 2
  const CollectedPicture p = decoded(bmp);
  const uint32_t expected[8] = {1, 2, 1, 2, 1, 3, 1, 2};
  for (uint32_t x = 0; x < 8; ++x) EXPECT_EQ(p.at(x, 0), expected[x] * 0x111111u) << x;
}

TEST(BmpReader, RunsOutsideThePictureAreClippedNotWritten) {
  Bmp bmp;
  bmp.width = 2;
  bmp.height = 2;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = {0x000000, 0xFFFFFF};
  bmp.pixels = {255, 1, 0, 2, 200, 200, 255, 1, 0, 0, 0, 0, 0, 0, 0, 1};
  const CollectedPicture p = decoded(bmp);
  EXPECT_EQ(p.at(0, 1), 0xFFFFFFu);
  EXPECT_EQ(p.at(1, 1), 0xFFFFFFu);
  EXPECT_EQ(p.at(0, 0), 0u);
}

TEST(BmpReader, RefusesDamagedAndUnsupportedBitmapsWithAReason) {
  Bmp cut = rgb3x2();
  cut.pixels.resize(15);
  EXPECT_EQ(refusal(bmpFile(cut)), "pixel data cut short");

  Bmp empty = rgb3x2();
  empty.width = 0;
  EXPECT_EQ(refusal(bmpFile(empty)), "bitmap without pixels");
  empty = rgb3x2();
  empty.height = 0;
  EXPECT_EQ(refusal(bmpFile(empty)), "bitmap without pixels");

  Bmp huge = rgb3x2();
  huge.width = 70000;
  EXPECT_EQ(refusal(bmpFile(huge)), "bitmap too large");
  huge = rgb3x2();
  huge.height = INT32_MIN;
  EXPECT_EQ(refusal(bmpFile(huge)), "bitmap too large");

  Bytes header = bmpFile(rgb3x2());
  tooltest::put32(header, 14, 0xFFFFFFFF);
  EXPECT_EQ(refusal(header), "damaged bitmap header");

  Bytes outside = bmpFile(rgb3x2());
  tooltest::put32(outside, 10, 0x7FFFFFFF);
  EXPECT_NE(refusal(outside).find("outside the file"), std::string::npos);

  Bmp embedded = rgb3x2();
  embedded.compression = 4;  // a JPEG inside a bitmap
  EXPECT_NE(refusal(bmpFile(embedded)).find("unsupported"), std::string::npos);

  Bmp odd = rgb3x2();
  odd.bits = 7;
  EXPECT_NE(refusal(bmpFile(odd)).find("unsupported"), std::string::npos);

  Bmp noMasks = rgb3x2();
  noMasks.bits = 32;
  noMasks.compression = 3;
  noMasks.pixels.clear();
  Bytes masksCut = bmpFile(noMasks);
  masksCut.resize(14 + 40 + 4);
  tooltest::put32(masksCut, 10, static_cast<uint32_t>(masksCut.size()));
  EXPECT_EQ(refusal(masksCut), "bitmap colour masks cut short");
}

TEST(BmpReader, RunLengthDataWithoutItsEndIsRefused) {
  Bmp bmp;
  bmp.width = 4;
  bmp.height = 3;
  bmp.bits = 8;
  bmp.compression = 1;
  bmp.palette = {0x000000, 0xFFFFFF};
  bmp.pixels = {4, 1, 0, 0, 4, 1};
  EXPECT_EQ(refusal(bmpFile(bmp)), "run-length pixel data cut short");
  bmp.height = -3;
  EXPECT_NE(refusal(bmpFile(bmp)).find("top-down run-length"), std::string::npos);
}

}  // namespace
