// Storing images in an album file and reading them back, through the real
// codec libraries.
#include "images/image_store.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <tuple>

#include "album_fixtures.h"
#include "picture_fixtures.h"
#include "platform.h"

using namespace pictest;
using afm3test::get16;
using afm3test::get32;
using afm3test::lastError;

namespace {

constexpr afm3::ImageWriteSteps kSteps{6405, {7003, 7}, 4, 5, 6, 7};

struct Stored {
  bool ok = false;
  Bytes header;  // the caller's header after the call
  uint32_t offset = 0;
};

Stored store(ScratchFile& file, const Bitmap& bitmap, Bytes header) {
  HGLOBAL dib = toDib(bitmap);
  Stored s;
  s.header = std::move(header);
  {
    afm3::EncodedImage image;
    s.ok = afm3::encodeImage(s.header.data(), dib, &image);
    if (s.ok) {
      s.offset = file.end();
      s.ok = afm3::writeEncodedImage(file.handle(), image, kSteps);
    }
  }
  plat::globalFree(dib);
  return s;
}

DibParts load(ScratchFile& file, uint32_t offset, int* result) {
  HGLOBAL dib = nullptr;
  *result = afm3::readStoredImage(file.handle(), offset, &dib);
  DibParts parts = readDib(dib);
  if (dib != nullptr) plat::globalFree(dib);
  return parts;
}

void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step) {
  const afm3test::LastError e = lastError();
  EXPECT_EQ(e.id, id);
  EXPECT_EQ(e.module, module);
  EXPECT_EQ(e.function, function);
  EXPECT_EQ(e.step, step);
}

class RoundTrip : public testing::TestWithParam<std::tuple<uint8_t, uint8_t>> {};

TEST_P(RoundTrip, GivesBackTheBitmap) {
  const auto [kind, compression] = GetParam();
  const bool jpeg = compression == 1;
  ScratchFile file;
  // An odd width pads every row.
  const Bitmap b = bitmapOfKind(kind, 37, 23, jpeg ? Pattern::Smooth : Pattern::Noise);
  const Stored s = store(file, b, imageHeader(kind, compression, 37, 23));
  if (jpeg && kind != 2 && kind != 32) {
    EXPECT_FALSE(s.ok);
    expectReport(6435, 7002, 1, 1);
    return;
  }
  ASSERT_TRUE(s.ok) << lastError().text;
  EXPECT_EQ(s.header[9], compression);
  EXPECT_EQ(get32(s.header, 4), kind == 32 ? 0 : b.palette.size() / 4);

  int result = 0;
  const DibParts back = load(file, s.offset, &result);
  ASSERT_EQ(result, kind) << lastError().text;
  EXPECT_EQ(back.headerSize, 40u);
  EXPECT_EQ(back.width, b.width);
  EXPECT_EQ(back.height, b.height);
  EXPECT_EQ(back.bits, b.bits);
  EXPECT_EQ(back.xPerMetre, static_cast<uint32_t>(plat::screenPixelsPerInch()) * 10000 / 254);
  EXPECT_EQ(back.bitmap.palette, kind == 32 ? greyRamp() : b.palette);
  if (jpeg)
    EXPECT_LT(meanAbsoluteError(back.bitmap.rows, b.rows), 4.0);
  else
    EXPECT_EQ(back.bitmap.rows, b.rows);
}

INSTANTIATE_TEST_SUITE_P(EveryKindAndCode, RoundTrip,
                         testing::Combine(testing::Values(2, 4, 8, 16, 32, 64),
                                          testing::Values(0, 1, 2, 3)));

TEST(StoredImage, RawTrueColourIsTheHeaderThenTheRows) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(2, 100, 80, Pattern::Noise);
  const Stored s = store(file, b, imageHeader(2, 0, 100, 80));
  ASSERT_TRUE(s.ok);
  const Bytes header = file.read(s.offset, 16);
  EXPECT_EQ(get32(header, 0), 24000u);
  EXPECT_EQ(get32(header, 4), 0u);
  EXPECT_EQ(file.read(s.offset + 16, 24000), b.rows);
  EXPECT_EQ(file.end(), s.offset + 16 + 24000);
}

TEST(StoredImage, StandardPaletteIsLeftOutAndComesBack) {
  ScratchFile file;
  Bitmap b = bitmapOfKind(4, 20, 10, Pattern::Noise);
  b.palette = standardPalette();
  const Stored s = store(file, b, imageHeader(4, 0, 20, 10, 0xFF));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(get32(s.header, 4), 0u);
  EXPECT_EQ(s.header[14], 1);  // only bit 0 is kept
  EXPECT_EQ(file.end(), s.offset + 16 + 200);
  int result = 0;
  EXPECT_EQ(load(file, s.offset, &result).bitmap.palette, standardPalette());
  EXPECT_EQ(result, 4);
}

TEST(StoredImage, JpegTooLongToStoreFallsBackToRaw) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(2, 600, 400, Pattern::Noise);
  const Stored s = store(file, b, imageHeader(2, 1, 600, 400));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.header[9], 0);
  EXPECT_EQ(get32(s.header, 0), b.rows.size());
  int result = 0;
  EXPECT_EQ(load(file, s.offset, &result).bitmap.rows, b.rows);
}

TEST(StoredImage, ZlibPiecesAreStandardZlibStreams) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(4, 100, 700, Pattern::Smooth);  // 70000 bytes of rows
  const Stored s = store(file, b, imageHeader(4, 3, 100, 700));
  ASSERT_TRUE(s.ok);
  const Bytes data = file.read(s.offset + 16 + 1024, get32(s.header, 0));
  ASSERT_EQ(data.size(), get32(s.header, 0));
  Bytes inflated;
  std::vector<size_t> pieces;
  size_t at = 0;
  while (at + 2 <= data.size() && get16(data, at) != 0) {
    const uint16_t n = get16(data, at);
    ASSERT_LE(at + 2 + n, data.size());
    Bytes piece(32768);
    uLongf length = piece.size();
    ASSERT_EQ(uncompress(piece.data(), &length, &data[at + 2], n), Z_OK);
    pieces.push_back(length);
    inflated.insert(inflated.end(), piece.begin(), piece.begin() + static_cast<long>(length));
    at += 2 + n;
  }
  EXPECT_EQ(pieces, (std::vector<size_t>{32768, 32768, 4464}));
  EXPECT_EQ(at + 2, data.size());  // the closing 0 ends the data
  EXPECT_EQ(inflated, b.rows);
}

TEST(StoredImage, StoredJpegDecodesInDjpeg) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(2, 100, 80, Pattern::Smooth);
  const Stored s = store(file, b, imageHeader(2, 1, 100, 80));
  ASSERT_TRUE(s.ok);
  const Bytes stream = file.read(s.offset + 16, get32(s.header, 0));
  const auto folder = std::filesystem::temp_directory_path();
  const std::string jpg = (folder / "afm3-djpeg-in.jpg").string();
  const std::string ppm = (folder / "afm3-djpeg-out.ppm").string();
  std::ofstream(jpg, std::ios::binary)
      .write(reinterpret_cast<const char*>(stream.data()),
             static_cast<std::streamsize>(stream.size()));
  const int status = plat::runProcess({"djpeg", "-pnm", "-outfile", ppm, jpg});
  // Not found under Wine, whose programs cannot start the host's djpeg.
  if (status == -1) GTEST_SKIP() << "djpeg is not installed";
  ASSERT_EQ(status, 0);
  std::ifstream in(ppm, std::ios::binary);
  std::string magic;
  int width = 0, height = 0, maximum = 0;
  in >> magic >> width >> height >> maximum;
  in.get();
  const Bytes rgb((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  ASSERT_EQ(magic, "P6");
  ASSERT_EQ(width, 100);
  ASSERT_EQ(height, 80);
  ASSERT_EQ(rgb.size(), 100u * 80 * 3);
  // The picture's top row is the bitmap's last; djpeg gives red first.
  Bytes expected;
  for (int y = 79; y >= 0; --y)
    for (int x = 0; x < 100; ++x)
      for (int c = 2; c >= 0; --c) expected.push_back(b.rows[300 * y + 3 * x + c]);
  EXPECT_LT(meanAbsoluteError(rgb, expected), 4.0);
  std::filesystem::remove(jpg);
  std::filesystem::remove(ppm);
}

TEST(StoredImage, BitmapMustBeOfTheHeadersKindAndSize) {
  ScratchFile file;
  const Bitmap grey = bitmapOfKind(32, 10, 10, Pattern::Noise);
  EXPECT_FALSE(store(file, grey, imageHeader(2, 0, 10, 10)).ok);
  expectReport(6435, 7002, 8, 2);
  EXPECT_FALSE(store(file, grey, imageHeader(32, 0, 10, 11)).ok);
  expectReport(6435, 7002, 8, 2);
}

HGLOBAL blockOf(const Bytes& bytes) {
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, bytes.size());
  std::copy(bytes.begin(), bytes.end(), static_cast<uint8_t*>(plat::globalLock(block)));
  plat::globalUnlock(block);
  return block;
}

TEST(StoredImage, PaletteOfABitmapWithoutUsedCountIsKept) {
  // A 1-bit info header with colours used 0 and a 4-bit core header both
  // carry a full table (2 and 16 entries; the core one of 3-byte entries).
  Bytes info(40, 0), core(12, 0);
  afm3test::put32(info, 0, 40);
  afm3test::put32(info, 4, 8);
  afm3test::put32(info, 8, 2);
  afm3test::put16(info, 12, 1);
  afm3test::put16(info, 14, 1);
  info.insert(info.end(), {10, 20, 30, 0, 200, 210, 220, 0, 0x5A, 0, 0, 0, 0xC3, 0, 0, 0});
  afm3test::put32(core, 0, 12);
  afm3test::put16(core, 4, 2);
  afm3test::put16(core, 6, 1);
  afm3test::put16(core, 8, 1);
  afm3test::put16(core, 10, 4);
  Bytes widened;
  for (uint8_t i = 0; i < 16; ++i) {
    core.insert(core.end(), {i, static_cast<uint8_t>(i * 2), static_cast<uint8_t>(i * 3)});
    widened.insert(widened.end(), {i, static_cast<uint8_t>(i * 2), static_cast<uint8_t>(i * 3), 0});
  }
  core.insert(core.end(), {0x1F, 0, 0, 0});
  struct Case {
    Bytes dib, header, palette, rows;
  };
  for (const Case& c : {Case{info,
                             imageHeader(64, 2, 8, 2),
                             Bytes(info.begin() + 40, info.begin() + 48),
                             {0x5A, 0, 0, 0, 0xC3, 0, 0, 0}},
                        Case{core, imageHeader(8, 0, 2, 1), widened, {0x1F, 0, 0, 0}}}) {
    ScratchFile file;
    HGLOBAL dib = blockOf(c.dib);
    Bytes header = c.header;
    uint32_t offset = 0;
    {
      afm3::EncodedImage image;
      ASSERT_TRUE(afm3::encodeImage(header.data(), dib, &image)) << lastError().text;
      offset = file.end();
      ASSERT_TRUE(afm3::writeEncodedImage(file.handle(), image, kSteps));
    }
    plat::globalFree(dib);
    EXPECT_EQ(get32(header, 4), c.palette.size() / 4);
    int result = 0;
    const DibParts back = load(file, offset, &result);
    EXPECT_EQ(result, c.header[8]);
    EXPECT_EQ(back.bitmap.palette, c.palette);
    EXPECT_EQ(back.bitmap.rows, c.rows);
  }
}

TEST(StoredImage, CutJpegIsReportedAndStaysInTheBitmap) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(32, 64, 48, Pattern::Smooth);
  const Stored s = store(file, b, imageHeader(32, 1, 64, 48));
  ASSERT_TRUE(s.ok);
  Bytes half(4);
  afm3test::put32(half, 0, get32(s.header, 0) / 2);
  file.patch(s.offset, half);
  int result = 0;
  const DibParts back = load(file, s.offset, &result);
  EXPECT_EQ(result, 32);
  expectReport(6630, 7002, 3, 4);
  EXPECT_EQ(back.bitmap.rows.size(), b.rows.size());
}

TEST(StoredImage, AnyOtherCodeIsStoredAsZlib) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(16, 9, 9, Pattern::Noise);
  const Stored s = store(file, b, imageHeader(16, 7, 9, 9));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(s.header[9], 3);
  int result = 0;
  EXPECT_EQ(load(file, s.offset, &result).bitmap.rows, b.rows);
  EXPECT_EQ(afm3::readStoredImage(file.handle(), s.offset, nullptr), 1);
}

TEST(StoredImage, DamagedZlibChunkKeepsWhatWasDecoded) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(4, 100, 400, Pattern::Smooth);  // two pieces
  const Stored s = store(file, b, imageHeader(4, 3, 100, 400, 1));
  ASSERT_TRUE(s.ok);
  const uint32_t data = s.offset + 16;
  const uint16_t first = get16(file.read(data, 2), 0);
  file.patch(data + 2 + first, {0xFF, 0xFF});  // second chunk longer than the data
  int result = 0;
  const DibParts back = load(file, s.offset, &result);
  EXPECT_EQ(result, 4);
  expectReport(6403, 7002, 7, 4);
  ASSERT_EQ(back.bitmap.rows.size(), 40000u);
  EXPECT_TRUE(std::equal(b.rows.begin(), b.rows.begin() + 32768, back.bitmap.rows.begin()));
  EXPECT_EQ(back.bitmap.rows.back(), 0);
}

TEST(StoredImage, StoredSizeBeyondTheFileIsAShortRead) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(2, 16, 16, Pattern::Smooth);
  const Stored s = store(file, b, imageHeader(2, 3, 16, 16));
  ASSERT_TRUE(s.ok);
  file.patch(s.offset, {0xFF, 0xFF, 0xFF, 0x7F});
  int result = 0;
  load(file, s.offset, &result);
  expectReport(6424, 7002, 7, 3);
}

TEST(StoredImage, CorruptLzwFailsTheReadWithoutAReport) {
  ScratchFile file;
  const Bitmap b = bitmapOfKind(8, 30, 30, Pattern::Noise);
  const Stored s = store(file, b, imageHeader(8, 2, 30, 30));
  ASSERT_TRUE(s.ok);
  file.patch(s.offset + 16 + 64, Bytes(get32(s.header, 0), 0xFF));
  afm3test::clearLastError();
  int result = -9;
  EXPECT_EQ(load(file, s.offset, &result).width, 0u);
  EXPECT_EQ(result, 0);
  EXPECT_FALSE(lastError().recorded);
}

TEST(StoredImage, HeaderNoWriterMakesIsReported) {
  ScratchFile file;
  const uint32_t offset = file.append(imageHeader(0, 0, 10, 10));
  int result = -9;
  load(file, offset, &result);
  EXPECT_EQ(result, 0);
  expectReport(6412, 7003, 5, 14);
}

}  // namespace
