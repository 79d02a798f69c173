// Thumbnails of version-2 albums read into today's bitmaps, through the
// real conversion and codec libraries.
#include "images/v2_image.h"

#include <gtest/gtest.h>

#include "album_fixtures.h"
#include "images/codec_libraries.h"
#include "picture_fixtures.h"
#include "platform.h"
#include "qlibjpg.h"
#include "qliblzw.h"

using namespace pictest;
using afm3test::lastError;

namespace {

struct Read {
  DibParts dib;
  Bytes header = Bytes(16, 0xAA);
  bool ok = false;
};

Read readThumbnail(const Bytes& stored, uint8_t type, uint16_t width, uint16_t height,
                   uint8_t setting, bool raw, uint32_t storedSize = 0) {
  ScratchFile file;
  const uint32_t offset = file.append(stored);
  Read r;
  HGLOBAL dib = afm3::readVersion2Image(
      file.handle(), offset, storedSize ? storedSize : static_cast<uint32_t>(stored.size()), type,
      width, height, setting, raw, r.header.data());
  r.ok = dib != nullptr;
  r.dib = readDib(dib);
  if (dib != nullptr) plat::globalFree(dib);
  return r;
}

// Rows top row first, as version 2 stored them.
Bytes topDownRows(uint32_t rowSize, uint32_t height, uint32_t used, uint32_t seed) {
  Noise noise(seed);
  Bytes rows(size_t{rowSize} * height, 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < used; ++x) rows[rowSize * y + x] = noise.next();
  return rows;
}

uint8_t standardIndex(int r, int g, int b) {
  return static_cast<uint8_t>((r + 25) / 51 * 36 + (g + 25) / 51 * 6 + (b + 25) / 51);
}

Bytes lzw(const Bytes& in) {
  Bytes out(in.size() * 2 + 16);
  QLzwBuffer source{static_cast<DWORD>(in.size()), const_cast<uint8_t*>(in.data())};
  QLzwBuffer target{static_cast<DWORD>(out.size()), out.data()};
  const QLzwParams params{12, 8, 1};
  EXPECT_EQ(qLzwCompress(&source, &params, &target), QLZW_OK);
  out.resize(target.count);
  return out;
}

// Expected bitmap rows of 24-bit red-first rows stored top row first.
Bytes flippedBlueFirst(const Bytes& stored, uint32_t width, uint32_t height, uint32_t rowSize) {
  Bytes rows(stored.size(), 0);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < width; ++x)
      for (uint32_t c = 0; c < 3; ++c)
        rows[rowSize * y + 3 * x + c] = stored[rowSize * (height - 1 - y) + 3 * x + 2 - c];
  return rows;
}

TEST(Version2Image, TrueColourRawOrLzwIsFlippedAndBlueFirst) {
  const Bytes stored = topDownRows(16, 3, 15, 1);  // 5 x 3, rows of 16 bytes
  const Bytes expected = flippedBlueFirst(stored, 5, 3, 16);
  for (const auto& [setting, raw, data] :
       {std::tuple{0, false, stored}, std::tuple{2, false, lzw(stored)},
        std::tuple{2, true, stored}}) {
    const Read r = readThumbnail(data, 7, 5, 3, static_cast<uint8_t>(setting), raw);
    ASSERT_TRUE(r.ok) << lastError().text;
    EXPECT_EQ(r.dib.bits, 24u);
    EXPECT_EQ(r.dib.bitmap.rows, expected) << setting;
    EXPECT_EQ(r.header, (Bytes{0, 0, 0, 0, 0, 0, 0, 0, 2, 1, 5, 0, 3, 0, 0, 0}));
  }
}

TEST(Version2Image, HighColourBitOrderIsUndoneThenWidened) {
  const Bytes stored = topDownRows(8, 2, 6, 2);  // 3 x 2 pixels of two bytes
  const Read r = readThumbnail(stored, 6, 3, 2, 0, true);
  ASSERT_TRUE(r.ok) << lastError().text;
  ASSERT_EQ(r.dib.bits, 24u);
  EXPECT_EQ(r.header[8], 2);
  for (uint32_t y = 0; y < 2; ++y) {
    for (uint32_t x = 0; x < 3; ++x) {
      const uint32_t c = stored[8 * (1 - y) + 2 * x], d = stored[8 * (1 - y) + 2 * x + 1];
      const uint32_t v = (c >> 3) | ((c & 7) << 7) | ((d >> 6) << 5) | ((d & 31) << 10);
      const uint8_t* p = &r.dib.bitmap.rows[12 * y + 3 * x];
      auto widen = [](uint32_t five) { return static_cast<uint8_t>(five << 3 | five >> 2); };
      EXPECT_EQ(p[0], widen(v & 31));
      EXPECT_EQ(p[1], widen(v >> 5 & 31));
      EXPECT_EQ(p[2], widen(v >> 10 & 31));
    }
  }
}

TEST(Version2Image, PaletteTypesEndWithTheStandardPalette) {
  // Type 4 keeps its indexes; 1, 3 and 5 are mapped to the nearest entry.
  const Bytes indexes{0, 9, 15, 7, 130, 215, 255, 0};  // one row of 8 pixels
  Bytes greys;
  for (uint8_t g : indexes) greys.push_back(standardIndex(g, g, g));
  struct Case {
    uint8_t type;
    Bytes stored;
    Bytes expected;
  };
  const Case cases[] = {
      {4, indexes, indexes},
      {3,
       indexes,  // sixteen colours: black, red, white, grey; the rest black
       {0, standardIndex(255, 0, 0), 215, standardIndex(128, 128, 128), 0, 0, 0, 0}},
      {5, indexes, greys},
      {1, {0xA5, 0, 0, 0}, {215, 0, 215, 0, 0, 215, 0, 215}},
  };
  for (const Case& c : cases) {
    const Read r = readThumbnail(c.stored, c.type, 8, 1, 0, false);
    ASSERT_TRUE(r.ok) << int{c.type} << " " << lastError().text;
    EXPECT_EQ(r.dib.bits, 8u);
    EXPECT_EQ(r.dib.bitmap.palette, standardPalette());
    EXPECT_EQ(r.dib.bitmap.rows, c.expected) << int{c.type};
    EXPECT_EQ(r.header[8], 4);
    EXPECT_EQ(r.header[9], 3);
    EXPECT_EQ(r.header[14], 1);
  }
}

TEST(Version2Image, JpegThumbnailComesOutUpright) {
  // A JPEG thumbnail is an ordinary picture: top row first, red first.
  const uint32_t width = 40, height = 30, rowSize = 120;
  Bytes stored(rowSize * height);
  for (uint32_t y = 0; y < height; ++y)
    for (uint32_t x = 0; x < rowSize; ++x)
      stored[rowSize * y + x] = static_cast<uint8_t>(x + 4 * y);
  ASSERT_NE(afm3::loadCodecLibrary(afm3::CodecLibrary::Jpeg, {7002, 1}, 2), nullptr);
  auto write = reinterpret_cast<QJPG_WRITE_FN>(
      afm3::codecFunction(afm3::CodecLibrary::Jpeg, "qJpgStreamWrite", {7002, 1}, 2));
  QJpgImageInfo info{sizeof info, width,   height,           QJPG_LAYOUT_TOP_DOWN, 3, 72, 72,
                     3,           rowSize, rowSize * height, stored.data()};
  QJpgWriteOptions options{sizeof options, 90, 0, 1, 0, 0};
  Bytes jpeg(20000);
  QJpgBuffer out{static_cast<DWORD>(jpeg.size()), jpeg.data()};
  ASSERT_EQ(write(&out, &info, &options), QJPG_OK);
  jpeg.resize(out.count);

  const Read r = readThumbnail(jpeg, 7, width, height, 1, false);
  ASSERT_TRUE(r.ok) << lastError().text;
  EXPECT_LT(meanAbsoluteError(r.dib.bitmap.rows, flippedBlueFirst(stored, width, height, rowSize)),
            4.0);
}

TEST(Version2Image, DamagedThumbnailsAreReported) {
  EXPECT_FALSE(readThumbnail(Bytes(16), 2, 4, 4, 0, true).ok);
  const afm3test::LastError e = lastError();
  EXPECT_EQ(e.id, 6412u);
  EXPECT_EQ(e.module, 7008u);
  EXPECT_EQ(e.function, 11u);
  EXPECT_EQ(e.step, 10u);
  EXPECT_FALSE(readThumbnail(Bytes(64, 1), 7, 5, 4, 0, true, 63).ok);
  EXPECT_EQ(lastError().id, 6424u);
  EXPECT_EQ(lastError().step, 4u);
}

}  // namespace
