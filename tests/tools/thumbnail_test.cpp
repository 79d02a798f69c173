#include "thumbnail.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "afm3_bytes.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

using abm::fitInside;
using abm::RgbPicture;
using abm::ThumbnailScaler;
using tooltest::Bytes;

// Feeds a picture (RGB rows, top first) through a scaler.
RgbPicture scaled(uint32_t w, uint32_t h, const Bytes& rgb, uint32_t edge) {
  ThumbnailScaler scaler(edge);
  EXPECT_TRUE(scaler.begin(w, h));
  for (uint32_t y = 0; y < h; ++y) scaler.row(rgb.data() + 3 * size_t{y} * w);
  RgbPicture out;
  EXPECT_TRUE(scaler.finish(&out));
  return out;
}

Bytes grey(std::initializer_list<uint8_t> values) {
  Bytes rgb;
  for (uint8_t v : values) rgb.insert(rgb.end(), {v, v, v});
  return rgb;
}

TEST(Thumbnail, FittingKeepsTheProportionsAndNeverEnlarges) {
  const struct {
    uint32_t w, h, edge, fw, fh;
  } cases[] = {{4000, 3000, 96, 96, 72},     {3000, 4000, 96, 72, 96}, {1000, 1, 96, 96, 1},
               {1, 1000, 96, 1, 96},         {97, 97, 96, 96, 96},     {300, 100, 96, 96, 32},
               {1000, 999, 96, 96, 96},      {96, 50, 96, 96, 50},     {10, 20, 96, 10, 20},
               {65535, 65535, 160, 160, 160}};
  for (const auto& c : cases) {
    const abm::PixelSize s = fitInside(c.w, c.h, c.edge);
    EXPECT_EQ(s.width, c.fw) << c.w << "x" << c.h;
    EXPECT_EQ(s.height, c.fh) << c.w << "x" << c.h;
  }
  uint32_t seed = 99;
  for (int i = 0; i < 2000; ++i) {
    seed = seed * 1664525u + 1013904223u;
    const uint32_t w = 1 + (seed >> 8) % 9000, h = 1 + (seed >> 3) % 7000, edge = 32 + seed % 300;
    const abm::PixelSize s = fitInside(w, h, edge);
    ASSERT_LE(s.width, edge);
    ASSERT_LE(s.height, edge);
    ASSERT_GE(s.width, 1u);
    ASSERT_GE(s.height, 1u);
    if (w <= edge && h <= edge) continue;
    ASSERT_EQ(std::max(s.width, s.height), edge);
    // The shorter side is the exact proportion, rounded (at least 1).
    const uint64_t longer = std::max(w, h), shorter = std::min(w, h);
    const uint64_t fitted = std::min(s.width, s.height);
    if (fitted == 1 && 2 * shorter * edge < longer) continue;
    const long long twiceError =
        static_cast<long long>(2 * fitted * longer) - static_cast<long long>(2 * shorter * edge);
    ASSERT_LE(std::llabs(twiceError), static_cast<long long>(longer))
        << w << "x" << h << " into " << edge;
  }
}

TEST(Thumbnail, EachPixelIsTheMeanOfTheAreaItCovers) {
  const RgbPicture halved = scaled(4, 2, grey({10, 20, 30, 40, 50, 60, 70, 80}), 2);
  ASSERT_EQ(halved.width, 2u);
  ASSERT_EQ(halved.height, 1u);
  EXPECT_EQ(halved.rgb, grey({35, 55}));

  // Three pixels into two: two thirds of the middle pixel go nowhere twice.
  const RgbPicture thirds = scaled(3, 1, grey({0, 255, 90}), 2);
  EXPECT_EQ(thirds.rgb, grey({85, 145}));
  const RgbPicture column = scaled(1, 3, grey({0, 255, 90}), 2);
  EXPECT_EQ(column.rgb, grey({85, 145}));
}

TEST(Thumbnail, PlainPicturesStayPlainAtEverySize) {
  const struct {
    uint32_t w, h, edge;
  } cases[] = {{1000, 7, 96}, {13, 977, 96}, {5, 5, 3}, {641, 479, 97}, {2, 1000, 1}};
  for (const auto& c : cases) {
    Bytes rgb;
    for (uint32_t i = 0; i < c.w * c.h; ++i) rgb.insert(rgb.end(), {37, 200, 90});
    const RgbPicture out = scaled(c.w, c.h, rgb, c.edge);
    const abm::PixelSize size = fitInside(c.w, c.h, c.edge);
    ASSERT_EQ(out.width, size.width);
    ASSERT_EQ(out.height, size.height);
    for (size_t i = 0; i < out.rgb.size(); i += 3) {
      ASSERT_EQ(out.rgb[i], 37) << c.w << "x" << c.h;
      ASSERT_EQ(out.rgb[i + 1], 200);
      ASSERT_EQ(out.rgb[i + 2], 90);
    }
  }
}

TEST(Thumbnail, PicturesThatFitKeepEveryPixel) {
  const Bytes rgb = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};
  const RgbPicture out = scaled(3, 2, rgb, 96);
  EXPECT_EQ(out.width, 3u);
  EXPECT_EQ(out.rgb, rgb);
}

TEST(Thumbnail, MissingRowsLeaveNoThumbnail) {
  ThumbnailScaler scaler(2);
  ASSERT_TRUE(scaler.begin(4, 4));
  const Bytes row(12, 7);
  for (int i = 0; i < 3; ++i) scaler.row(row.data());
  RgbPicture out;
  EXPECT_FALSE(scaler.finish(&out));
  ThumbnailScaler unused(2);
  EXPECT_FALSE(unused.finish(&out));
}

TEST(Thumbnail, TheBitmapIsBottomUpBlueGreenRedWithPaddedRows) {
  RgbPicture picture;
  picture.width = 3;
  picture.height = 2;
  picture.rgb = {0xFF, 0, 0, 0, 0xFF, 0, 0, 0, 0xFF, 1, 2, 3, 4, 5, 6, 7, 8, 9};
  HGLOBAL dib = abm::makeDib(picture);
  ASSERT_NE(dib, nullptr);
  ASSERT_GE(GlobalSize(dib), 40u + 2 * 12);
  const auto* b = static_cast<const uint8_t*>(GlobalLock(dib));
  EXPECT_EQ(afm3GetU32(b), 40u);
  EXPECT_EQ(afm3GetU32(b + 4), 3u);
  EXPECT_EQ(afm3GetU32(b + 8), 2u);
  EXPECT_EQ(afm3GetU16(b + 12), 1u);
  EXPECT_EQ(afm3GetU16(b + 14), 24u);
  EXPECT_EQ(afm3GetU32(b + 16), 0u);  // no compression
  EXPECT_EQ(afm3GetU32(b + 32), 0u);  // no colour table
  const Bytes rows(b + 40, b + 40 + 24);
  const Bytes expected = {3, 2, 1,    6, 5,    4, 9,    8, 7, 0, 0, 0,
                          0, 0, 0xFF, 0, 0xFF, 0, 0xFF, 0, 0, 0, 0, 0};
  EXPECT_EQ(rows, expected);
  GlobalUnlock(dib);
  GlobalFree(dib);
}

TEST(Thumbnail, TheImageHeaderDescribesATrueColourThumbnail) {
  RgbPicture picture;
  picture.width = 96;
  picture.height = 72;
  const auto header = abm::imageHeaderFor(picture, abm::kCompressionZlib);
  EXPECT_EQ(afm3GetU32(header.data()), 0u);
  EXPECT_EQ(afm3GetU32(header.data() + 4), 0u);
  EXPECT_EQ(header[8], 2);  // 24 bits per pixel
  EXPECT_EQ(header[9], 3);
  EXPECT_EQ(afm3GetU16(header.data() + 10), 96u);
  EXPECT_EQ(afm3GetU16(header.data() + 12), 72u);
  EXPECT_EQ(header[14], 0);
  EXPECT_EQ(header[15], 0);
  EXPECT_EQ(abm::compressionFromName("raw"), 0);
  EXPECT_EQ(abm::compressionFromName("jpeg"), 1);
  EXPECT_EQ(abm::compressionFromName("lzw"), 2);
  EXPECT_EQ(abm::compressionFromName("zlib"), 3);
  EXPECT_EQ(abm::compressionFromName("JPEG"), -1);
  EXPECT_EQ(abm::compressionFromName(""), -1);
}

TEST(Thumbnail, PictureFilesOfEachFormatBecomeThumbnailsOfTheAlbumsSize) {
  afm3test::TempDir dir;
  tooltest::Bmp bmp;
  bmp.width = 200;
  bmp.height = 100;
  bmp.pixels.assign(600 * 100, 0x40);
  const std::string bmpPath = tooltest::shellPath(dir.file("wide.bmp"));
  ASSERT_TRUE(tooltest::writeShellFile(bmpPath, tooltest::bmpFile(bmp)));
  const std::string pngPath = tooltest::shellPath(dir.file("tall.png"));
  ASSERT_TRUE(tooltest::writeShellFile(pngPath, tooltest::pngRgb(50, 300, Bytes(50 * 300 * 3, 9))));
  const std::string jpegPath = tooltest::shellPath(dir.file("photo.jpg"));
  ASSERT_TRUE(tooltest::writeShellFile(
      jpegPath, tooltest::jpegFile(1600, 1200, Bytes(1600 * 1200 * 3, 128), false, 60)));

  const struct {
    std::string path;
    uint32_t w, h;
    uint8_t value;
  } cases[] = {{bmpPath, 96, 48, 0x40}, {pngPath, 16, 96, 9}, {jpegPath, 96, 72, 128}};
  for (const auto& c : cases) {
    RgbPicture out;
    std::string problem;
    ASSERT_TRUE(abm::thumbnailOf(c.path, 96, &out, &problem)) << c.path << ": " << problem;
    EXPECT_EQ(out.width, c.w) << c.path;
    EXPECT_EQ(out.height, c.h) << c.path;
    EXPECT_NEAR(out.rgb[out.rgb.size() / 2], c.value, 2) << c.path;
  }

  RgbPicture out;
  std::string problem;
  EXPECT_FALSE(abm::thumbnailOf(tooltest::shellPath(dir.file("none.png")), 96, &out, &problem));
  EXPECT_FALSE(problem.empty());
  const std::string text = tooltest::shellPath(dir.file("notes.jpg"));
  ASSERT_TRUE(tooltest::writeShellFile(text, {'h', 'e', 'l', 'l', 'o'}));
  EXPECT_FALSE(abm::thumbnailOf(text, 96, &out, &problem));
  EXPECT_EQ(problem, "not a JPEG, PNG or BMP picture");
}

}  // namespace
