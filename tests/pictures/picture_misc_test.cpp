// The path form and the picture data of a record (afm3ReadFilePicMisc,
// afm3UpdateFilePicMisc).
#include <gtest/gtest.h>

#include <cstring>

#include "afm3.h"
#include "picture_albums.h"

using namespace picalbum;

namespace {

DWORD formOf(const Album& album, DWORD record) {
  return afm3ReadFilePicMisc(album.owner(), album.handle(), record, 1, nullptr, 0);
}

TEST(PictureMisc, SelectorOneGivesThePathForm) {
  Album album;
  ASSERT_EQ(album.insert({}, ".\\..\\img\\a.jpg"), 0);
  ASSERT_EQ(album.insert({}, ".\\C:\\img\\a.jpg"), 1);
  ASSERT_EQ(album.insert({}, "C:\\img\\a.jpg"), 2);
  ASSERT_EQ(album.insert(), 3);
  ASSERT_EQ(album.insert({}, "."), 4);
  ASSERT_EQ(album.insert({}, ""), 5);
  EXPECT_EQ(formOf(album, 0), 2u);
  EXPECT_EQ(formOf(album, 1), 1u);
  EXPECT_EQ(formOf(album, 2), 0u);
  EXPECT_EQ(formOf(album, 3), 0u);
  EXPECT_EQ(formOf(album, 4), 1u);
  EXPECT_EQ(formOf(album, 5), 0u);
}

TEST(PictureMisc, DataIsStoredReadAndRemoved) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  uint8_t out[8];
  std::memset(out, 0x77, sizeof out);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 2, out, sizeof out), 1u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
  EXPECT_EQ(out[2], 0x77);

  const uint8_t data[5] = {1, 2, 3, 4, 5};
  const uint32_t end = static_cast<uint32_t>(album.file().size());
  ASSERT_TRUE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, data, 5));
  const Bytes entry = album.entryOnDisk(0);
  EXPECT_EQ(get32(entry, 218), end);
  EXPECT_EQ(get16(entry, 176) & 0x08, 0x08);
  EXPECT_TRUE(entryChecksumHolds(entry));
  EXPECT_EQ(get16(album.file(), end), 5);

  std::memset(out, 0x77, sizeof out);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 2, out, 4), 0u);
  expectReport(6424, 7014, 1, 6);
  EXPECT_EQ(out[0], 0x77);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 2, out, 5), 1u);
  EXPECT_EQ(Bytes(out, out + 6), (Bytes{1, 2, 3, 4, 5, 0x77}));

  ASSERT_TRUE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, nullptr, 0));
  const Bytes cleared = album.entryOnDisk(0);
  EXPECT_EQ(get32(cleared, 218), 0u);
  EXPECT_EQ(get16(cleared, 176) & 0x08, 0);
  std::memset(out, 0x77, sizeof out);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 2, out, sizeof out), 1u);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
}

TEST(PictureMisc, OnlySelectorThreeWrites) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  const Bytes before = album.file();
  const uint8_t data[3] = {9, 9, 9};
  afm3test::clearLastError();
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 2, data, 3));
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 1, data, 3));
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 3, nullptr, 0), 0u);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 0, nullptr, 0), 0u);
  expectNoReport();
  EXPECT_EQ(album.file(), before);
}

TEST(PictureMisc, Failures) {
  Album album;
  ASSERT_EQ(album.insert(), 0);
  uint8_t out[4];
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0xFFFF, 2, out, 4), 0u);
  expectReport(6444, 7014, 1, 1);
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 64, 1, out, 4), 0u);
  expectReport(6444, 7014, 1, 2);
  const uint8_t data[2] = {1, 2};
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0xFFFF, 3, data, 2));
  expectReport(6444, 7014, 2, 1);
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 64, 3, data, 2));
  expectReport(6444, 7014, 2, 2);
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, nullptr, 2));
  expectReport(6444, 7014, 2, 9);
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, data, 0x10000));
  expectReport(6444, 7014, 2, 9);

  // Data whose length word runs past the end of the file.
  ASSERT_TRUE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, data, 2));
  const uint32_t at = get32(album.entryOnDisk(0), 218);
  album.close();
  album.patch(at, {0x00, 0x10});
  album.open(kPrivate);
  uint8_t big[0x2000];
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 2, big, sizeof big), 0u);
  expectReport(6424, 7014, 1, 7);
}

TEST(PictureMisc, WithWriteSharingTheRecordMustBeLive) {
  Album album("", kShared);
  ASSERT_EQ(album.insert(), 0);
  ASSERT_TRUE(afm3DeleteRecord(album.owner(), album.handle(), 0));
  const uint8_t data[1] = {1};
  EXPECT_FALSE(afm3UpdateFilePicMisc(album.owner(), album.handle(), 0, 3, data, 1));
  expectReport(6444, 7014, 2, 12);
}

}  // namespace
