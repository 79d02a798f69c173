// Reading and replacing the image stored with a version-3 record.
#include <gtest/gtest.h>

#include <cstring>

#include "afm3.h"
#include "core/library_state.h"
#include "images/codec_libraries.h"
#include "picture_albums.h"
#include "picture_fixtures.h"
#include "platform.h"
#include "temp_dir.h"

using namespace picalbum;
using pictest::Bitmap;
using pictest::DibParts;
using pictest::Pattern;

namespace {

struct Read {
  int result = 0;
  HGLOBAL dib = reinterpret_cast<HGLOBAL>(1);
  DibParts parts;
};

Read readImage(const Album& album, DWORD record, DWORD offset = 0) {
  Read r;
  r.result = afm3ReadRecordImage(album.owner(), album.handle(), record, offset, &r.dib);
  r.parts = pictest::readDib(r.dib);
  if (r.dib != nullptr) plat::globalFree(r.dib);
  return r;
}

int insertWithImage(Album& album, const Bitmap& b, uint8_t kind, uint8_t compression) {
  HGLOBAL dib = pictest::toDib(b);
  const int n =
      album.insertImage(pictest::imageHeader(kind, compression, static_cast<uint16_t>(b.width),
                                             static_cast<uint16_t>(b.height)),
                        dib);
  plat::globalFree(dib);
  return n;
}

TEST(RecordImage, RecordWithoutImageGivesMinusOneAndNoBitmap) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  const Read r = readImage(album, 0);
  EXPECT_EQ(r.result, -1);
  EXPECT_EQ(r.dib, nullptr);
}

TEST(RecordImage, ReadGivesTheStoredBitmap) {
  Album album;
  const Bitmap b = pictest::bitmapOfKind(2, 20, 12, Pattern::Noise, 3);
  ASSERT_EQ(insertWithImage(album, b, 2, 0), 0);
  const Read r = readImage(album, 0);
  EXPECT_EQ(r.result, 2);
  EXPECT_EQ(r.parts.width, 20u);
  EXPECT_EQ(r.parts.bits, 24u);
  EXPECT_EQ(r.parts.bitmap.rows, b.rows);
  // The caller may name the image itself.
  const uint32_t offset = get32(album.entryOnDisk(0), 4);
  EXPECT_EQ(readImage(album, 0, offset).parts.bitmap.rows, b.rows);
}

TEST(RecordImage, GreyAndStandardPaletteComeBackWithTheirTables) {
  Album album;
  const Bitmap grey = pictest::bitmapOfKind(32, 9, 7, Pattern::Noise, 4);
  ASSERT_EQ(insertWithImage(album, grey, 32, 3), 0);
  Read r = readImage(album, 0);
  EXPECT_EQ(r.result, 32);
  EXPECT_EQ(r.parts.bitmap.palette, pictest::greyRamp());
  EXPECT_EQ(r.parts.bitmap.rows, grey.rows);

  Bitmap palette = pictest::bitmapOfKind(4, 9, 7, Pattern::Noise, 5);
  palette.palette = pictest::standardPalette();
  HGLOBAL dib = pictest::toDib(palette);
  ASSERT_EQ(album.insertImage(pictest::imageHeader(4, 2, 9, 7, 1), dib), 1);
  plat::globalFree(dib);
  r = readImage(album, 1);
  EXPECT_EQ(r.result, 4);
  EXPECT_EQ(r.parts.bitmap.palette, pictest::standardPalette());
  EXPECT_EQ(r.parts.bitmap.rows, palette.rows);
}

TEST(RecordImage, InvalidRecordsAndPages) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  Read r = readImage(album, 0xFFFF);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.dib, nullptr);
  expectReport(6444, 7003, 5, 11);
  r = readImage(album, 64);
  EXPECT_EQ(r.result, 0);
  expectReport(6444, 7003, 5, 1);
}

TEST(RecordImage, DamagedRawSizeIsRefusedBeforeAllocating) {
  Album album;
  const Bitmap b = pictest::bitmapOfKind(2, 8, 8, Pattern::Noise);
  ASSERT_EQ(insertWithImage(album, b, 2, 0), 0);
  const uint32_t offset = get32(album.entryOnDisk(0), 4);
  album.close();
  // Width and height of a huge picture whose raw rows the file cannot hold.
  Bytes header = pictest::imageHeader(2, 0, 20000, 1000);
  afm3test::put32(header, 0, 20000 * 3 * 1000);
  album.patch(offset, header);
  album.open(kPrivate);
  Read r = readImage(album, 0);
  EXPECT_EQ(r.result, 0);
  EXPECT_EQ(r.dib, nullptr);
  expectReport(6424, 7003, 5, 8);
  // A stored size that disagrees with width, height and kind.
  album.close();
  header = pictest::imageHeader(2, 0, 8, 8);
  afm3test::put32(header, 0, 100);
  album.patch(offset, header);
  album.open(kPrivate);
  r = readImage(album, 0);
  EXPECT_EQ(r.result, 0);
  expectReport(6412, 7003, 5, 14);
}

TEST(RecordImage, NullBitmapAsksWhetherTheCodecIsThere) {
  Album album;
  const Bitmap b = pictest::bitmapOfKind(2, 8, 8, Pattern::Smooth);
  ASSERT_EQ(insertWithImage(album, b, 2, 3), 0);
  EXPECT_EQ(afm3ReadRecordImage(album.owner(), album.handle(), 0, 0, nullptr), 1);

  // Neither loaded nor in the codec folder.
  afm3test::TempDir empty;
  char saved[260];
  std::memcpy(saved, afm3::libraryState().codecFolder, sizeof saved);
  afm3::unloadCodecLibraries();
  std::snprintf(afm3::libraryState().codecFolder, 260, "%s", empty.path().c_str());
  EXPECT_EQ(afm3ReadRecordImage(album.owner(), album.handle(), 0, 0, nullptr), -2);
  Read r = readImage(album, 0);
  EXPECT_EQ(r.result, -2);
  EXPECT_EQ(r.dib, nullptr);
  std::memcpy(afm3::libraryState().codecFolder, saved, sizeof saved);
  EXPECT_EQ(readImage(album, 0).result, 2);
}

TEST(UpdateRecordImage, AppendsTheNewImageAndLeavesTheOldOneUnreferenced) {
  Album album;
  const Bitmap first = pictest::bitmapOfKind(16, 10, 6, Pattern::Noise, 7);
  ASSERT_EQ(insertWithImage(album, first, 16, 0), 0);
  const Bytes entryBefore = album.entryOnDisk(0);
  const uint32_t oldOffset = get32(entryBefore, 4);
  const Bytes fileBefore = album.file();

  const Bitmap second = pictest::bitmapOfKind(8, 11, 5, Pattern::Noise, 8);
  HGLOBAL dib = pictest::toDib(second);
  Bytes header = pictest::imageHeader(8, 2, 11, 5);
  DWORD offset = 0;
  ASSERT_TRUE(afm3UpdateRecordImage(album.owner(), album.handle(), 0, dib, header.data(), &offset));
  plat::globalFree(dib);

  const Bytes fileAfter = album.file();
  EXPECT_EQ(offset, fileBefore.size());
  EXPECT_EQ(get32(header, 4), 16u);  // entries stored
  EXPECT_EQ(header[15], 0);
  EXPECT_TRUE(
      std::equal(fileAfter.begin() + offset, fileAfter.begin() + offset + 16, header.begin()));
  // Nothing before the new image changed but the entry: the old image's
  // bytes are still where they were.
  const uint32_t entryAt = album.entryOffset(0);
  Bytes unchanged(fileAfter.begin(), fileAfter.begin() + fileBefore.size());
  std::copy(fileBefore.begin() + entryAt, fileBefore.begin() + entryAt + 280,
            unchanged.begin() + entryAt);
  EXPECT_EQ(unchanged, fileBefore);
  EXPECT_LT(oldOffset, offset);
  Bytes entryAfter = album.entryOnDisk(0);
  EXPECT_EQ(get32(entryAfter, 4), offset);
  EXPECT_TRUE(entryChecksumHolds(entryAfter));
  afm3test::put32(entryAfter, 4, oldOffset);
  EXPECT_TRUE(std::equal(entryAfter.begin(), entryAfter.begin() + 222, entryBefore.begin()));

  const Read r = readImage(album, 0);
  EXPECT_EQ(r.result, 8);
  EXPECT_EQ(r.parts.bitmap.rows, second.rows);
  EXPECT_EQ(r.parts.bitmap.palette, second.palette);
  // The old image is still readable by its offset.
  EXPECT_EQ(readImage(album, 0, oldOffset).parts.bitmap.rows, first.rows);
}

TEST(UpdateRecordImage, LongJpegFallsBackToRaw) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  const Bitmap noise = pictest::bitmapOfKind(2, 600, 400, Pattern::Noise, 9);
  HGLOBAL dib = pictest::toDib(noise);
  Bytes header = pictest::imageHeader(2, 1, 600, 400);
  ASSERT_TRUE(afm3UpdateRecordImage(album.owner(), album.handle(), 0, dib, header.data(), nullptr));
  plat::globalFree(dib);
  EXPECT_EQ(header[9], 0);
  EXPECT_EQ(get32(header, 0), noise.rows.size());
  EXPECT_EQ(readImage(album, 0).parts.bitmap.rows, noise.rows);
}

TEST(UpdateRecordImage, Failures) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  const Bitmap b = pictest::bitmapOfKind(2, 4, 4, Pattern::Smooth);
  HGLOBAL dib = pictest::toDib(b);
  Bytes header = pictest::imageHeader(2, 0, 4, 4);
  EXPECT_FALSE(
      afm3UpdateRecordImage(album.owner(), album.handle(), 0xFFFF, dib, header.data(), nullptr));
  expectReport(6444, 7003, 7, 8);
  EXPECT_FALSE(
      afm3UpdateRecordImage(album.owner(), album.handle(), 64, dib, header.data(), nullptr));
  expectReport(6444, 7003, 7, 1);
  EXPECT_FALSE(afm3UpdateRecordImage(album.owner(), album.handle(), 0, dib, nullptr, nullptr));
  expectReport(6435, 7003, 7, 11);
  Bytes wrong = pictest::imageHeader(2, 0, 5, 4);  // not the bitmap's size
  const Bytes before = album.file();
  EXPECT_FALSE(afm3UpdateRecordImage(album.owner(), album.handle(), 0, dib, wrong.data(), nullptr));
  expectReport(6435, 7002, 8, 2);
  EXPECT_EQ(album.file(), before);
  plat::globalFree(dib);
}

}  // namespace
