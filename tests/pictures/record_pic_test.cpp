// The picture part of version-3 records: picture blocks, one record's
// entry with its path and extra string, and rewriting the entry.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "afm3.h"
#include "core/library_state.h"
#include "picture_albums.h"
#include "platform.h"
#include "temp_dir.h"

using namespace picalbum;
using afm3test::put16;
using afm3test::put32;

namespace {

constexpr DWORD kKeepNumber = 0x10;

struct Pic {
  BOOL ok = FALSE;
  Bytes entry = Bytes(280, 0xEE);
  std::string path;
  std::string extra;
};

Pic readPic(const Album& album, DWORD record, DWORD pathSize = 260, DWORD pathOffset = 0) {
  Pic p;
  char path[600];
  char extra[600];
  std::memset(path, 'Z', sizeof path);
  std::memset(extra, 'Z', sizeof extra);
  p.ok = afm3ReadRecordPic(album.owner(), album.handle(), record, p.entry.data(), path, pathSize,
                           pathOffset, extra);
  p.path = std::string(path, strnlen(path, sizeof path));
  p.extra = std::string(extra, strnlen(extra, sizeof extra));
  return p;
}

Bytes numbered(uint16_t number, const std::string& shortPath = "C:\\PICS\\A.JPG") {
  Bytes e = entryWith(2, 3, shortPath, kKeepNumber);
  put16(e, 0, number);
  return e;
}

// Temporarily hands out 8.3 paths.
class ShortNameMode {
 public:
  ShortNameMode() { afm3::libraryState().shortNameMode = true; }
  ~ShortNameMode() { afm3::libraryState().shortNameMode = saved_; }

 private:
  bool saved_ = afm3::libraryState().shortNameMode;
};

TEST(PicBlocks, CountLeadingAllocatedPages) {
  Album album;
  EXPECT_EQ(afm3GetPicBlockCount(album.owner(), album.handle()), 0u);
  ASSERT_EQ(album.insert(numbered(5)), 5);
  EXPECT_EQ(afm3GetPicBlockCount(album.owner(), album.handle()), 1u);
  ASSERT_EQ(album.insert(numbered(64 * 2 + 1)), 129);  // pages 1 and 2 come with it
  EXPECT_EQ(afm3GetPicBlockCount(album.owner(), album.handle()), 3u);
  afm3test::clearLastError();
  EXPECT_EQ(afm3GetPicBlockCount(ownerKey(999), album.handle()), 0u);
  expectNoReport();
}

TEST(PicBlocks, ReadGivesAllSixtyFourEntriesAsStored) {
  Album album;
  ASSERT_EQ(album.insert(numbered(1), "C:\\pics\\one.jpg"), 1);
  ASSERT_EQ(album.insert(numbered(3), "C:\\pics\\three.jpg"), 3);
  ASSERT_TRUE(afm3DeleteRecord(album.owner(), album.handle(), 3));
  Bytes block(17920 + 16, 0xCC);
  ASSERT_TRUE(afm3ReadPicBlock(album.owner(), album.handle(), 0, block.data()));
  EXPECT_EQ(block[17920], 0xCC);  // nothing past the 64 entries
  const Bytes f = album.file();
  const uint32_t page = get32(f, get32(f, 8));
  EXPECT_TRUE(std::equal(block.begin(), block.begin() + 17920, f.begin() + page));
  EXPECT_EQ(get16(block, 0), 0xFFFF);          // never used
  EXPECT_EQ(get16(block, 280), 1);             // live
  EXPECT_EQ(get16(block, 3 * 280), 0xFFFF);    // deleted
  EXPECT_NE(get32(block, 3 * 280 + 178), 0u);  // still there
}

TEST(PicBlocks, IndexBeyondTheDirectoryIsInvalid) {
  Album album;
  Bytes block(17920);
  // A new album: 128 directory entries, all zero.
  EXPECT_FALSE(afm3ReadPicBlock(album.owner(), album.handle(), 0, block.data()));
  expectReport(6444, 7003, 3, 1);
  EXPECT_FALSE(afm3ReadPicBlock(album.owner(), album.handle(), 128, block.data()));
  expectReport(6444, 7003, 3, 1);
}

TEST(RecordPic, GivesEntryPathAndExtraString) {
  Album album;
  const Bytes given = entryWith(6, 3, "C:\\PICS\\A.JPG", 0x04 | 0x01);
  ASSERT_EQ(album.insert(given, "C:\\pics\\a photo.jpg", "extra words"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok) << afm3test::lastError().text;
  EXPECT_EQ(p.path, "C:\\pics\\a photo.jpg");
  EXPECT_EQ(p.extra, "extra words");
  EXPECT_EQ(p.entry, album.entryOnDisk(0));
  EXPECT_TRUE(std::equal(given.begin() + 2, given.begin() + 176, p.entry.begin() + 2));
}

TEST(RecordPic, ExtraStringNeedsItsFlag) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG"), "C:\\a.jpg", "hidden"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.extra, "");
}

TEST(RecordPic, ExtraStringIsNeverCopiedPast260Bytes) {
  Album album;
  const std::string longExtra(400, 'e');
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG", 0x04), "C:\\a.jpg", longExtra.c_str()), 0);
  char extra[600];
  std::memset(extra, 'Z', sizeof extra);
  EXPECT_FALSE(afm3ReadRecordPic(album.owner(), album.handle(), 0, nullptr, nullptr, 0, 0, extra));
  expectReport(6444, 7003, 4, 11);
  EXPECT_EQ(extra[0], '\0');
  for (size_t i = 1; i < sizeof extra; ++i) ASSERT_EQ(extra[i], 'Z') << i;

  // 259 characters and the NUL are exactly the limit.
  const std::string fits(259, 'f');
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\B.JPG", 0x04), nullptr, fits.c_str()), 1);
  std::memset(extra, 'Z', sizeof extra);
  ASSERT_TRUE(afm3ReadRecordPic(album.owner(), album.handle(), 1, nullptr, nullptr, 0, 0, extra));
  EXPECT_EQ(std::string(extra), fits);
  EXPECT_EQ(extra[260], 'Z');
}

TEST(RecordPic, PathMustBeShorterThanTheCallersBuffer) {
  Album album;
  const std::string path = "C:\\pics\\a.jpg";  // 13 characters, stored as 14 bytes
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG"), path.c_str()), 0);
  Pic p = readPic(album, 0, 14);
  EXPECT_FALSE(p.ok);
  expectReport(6444, 7003, 4, 5);
  EXPECT_EQ(p.path, "");
  p = readPic(album, 0, 15);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.path, path);
}

TEST(RecordPic, KnownPathOffsetSkipsTheEntry) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG"), "C:\\first.jpg"), 0);
  DWORD offset = 0;
  ASSERT_TRUE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, nullptr, "C:\\second.jpg",
                                  &offset, nullptr));
  const Bytes f = album.file();
  const uint32_t firstAt = static_cast<uint32_t>(
      std::search(f.begin(), f.end(), std::begin("C:\\first.jpg"), std::end("C:\\first.jpg")) -
      f.begin() - 2);
  char path[260];
  ASSERT_TRUE(afm3ReadRecordPic(album.owner(), album.handle(), 0, nullptr, path, sizeof path,
                                firstAt, nullptr));
  EXPECT_STREQ(path, "C:\\first.jpg");
  ASSERT_TRUE(afm3ReadRecordPic(album.owner(), album.handle(), 0, nullptr, path, sizeof path,
                                offset, nullptr));
  EXPECT_STREQ(path, "C:\\second.jpg");
}

TEST(RecordPic, DeletedRecordsAreStillRead) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG"), "C:\\a.jpg"), 0);
  ASSERT_TRUE(afm3DeleteRecord(album.owner(), album.handle(), 0));
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(get16(p.entry, 0), 0xFFFF);
  EXPECT_EQ(p.path, "C:\\a.jpg");
}

TEST(RecordPic, InvalidNumbersAndMissingPages) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG")), 0);
  Pic p = readPic(album, 0xFFFF);
  EXPECT_FALSE(p.ok);
  expectReport(6444, 7003, 4, 8);
  EXPECT_EQ(p.path, "");
  EXPECT_EQ(p.extra, "");
  EXPECT_FALSE(readPic(album, 64).ok);
  expectReport(6444, 7003, 4, 7);
  EXPECT_FALSE(readPic(album, 64 * 200).ok);  // beyond the directory
  expectReport(6444, 7003, 4, 7);
}

TEST(RecordPic, DamagedStringOffsetsAreCheckedAgainstTheFile) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG", 0x04), "C:\\a.jpg", "extra"), 0);
  const uint32_t at = album.entryOffset(0);
  const uint32_t size = static_cast<uint32_t>(album.file().size());
  Bytes entry = album.entryOnDisk(0);
  const uint32_t pathAt = get32(entry, 178);
  album.close();
  // String A's length word says more than the file holds.
  album.patch(pathAt, {0xF0, 0x00});
  album.open(kPrivate);
  Pic p = readPic(album, 0, 260);
  EXPECT_FALSE(p.ok);
  expectReport(6424, 7003, 4, 6);
  // String B placed at the very end of the file.
  album.close();
  put32(entry, 214, size - 1);
  entry[278] = entry[279] = 0;
  put16(entry, 278, afm3test::xorChecksum(entry));
  album.patch(at, entry);
  album.open(kPrivate);
  p = readPic(album, 0);
  EXPECT_FALSE(p.ok);
  expectReport(6424, 7003, 4, 2);
}

TEST(RecordPic, WithoutStringAThePathIsTheLongFormOfTheShortPath) {
  afm3test::TempDir dir;
  ASSERT_TRUE(plat::createDirectory(dir.file("Holiday Pictures").c_str()));
  const std::string picture = dir.file("Holiday Pictures\\Beach At Noon.jpeg");
  ASSERT_TRUE(afm3test::writeWholeFile(picture, "jpeg"));
  char shortPath[260];
  ASSERT_GT(plat::shortPathName(picture.c_str(), shortPath, sizeof shortPath), 0u);
  plat::charUpper(shortPath);
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, shortPath)), 0);
  ASSERT_EQ(album.insert(entryWith(2, 3, "Q:\\GONE\\NOWHERE.JPG")), 1);
  afm3test::clearLastError();
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.path.substr(p.path.size() - 35), "Holiday Pictures\\Beach At Noon.jpeg");
  EXPECT_NE(plat::fileAttributes(p.path.c_str()), plat::kInvalidAttributes);
  // A picture that is gone: its short path, and no failure.
  const Pic gone = readPic(album, 1);
  ASSERT_TRUE(gone.ok);
  EXPECT_EQ(gone.path, "Q:\\GONE\\NOWHERE.JPG");
  expectNoReport();
}

TEST(RecordPic, ShortNameModeHandsOutTheShortPath) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\PICS\\LONGNA~1.JPG"), "C:\\pics\\long name.jpg"), 0);
  ShortNameMode mode;
  char path[260];
  ASSERT_TRUE(
      afm3ReadRecordPic(album.owner(), album.handle(), 0, nullptr, path, sizeof path, 0, nullptr));
  EXPECT_STREQ(path, "C:\\PICS\\LONGNA~1.JPG");
  // Also when the caller already knows string A's offset.
  DWORD offset = 0;
  ASSERT_TRUE(
      afm3UpdateRecordPic(album.owner(), album.handle(), 0, nullptr, nullptr, &offset, nullptr));
  ASSERT_TRUE(afm3ReadRecordPic(album.owner(), album.handle(), 0, nullptr, path, sizeof path,
                                offset, nullptr));
  EXPECT_STREQ(path, "C:\\PICS\\LONGNA~1.JPG");
}

TEST(RecordPic, RelativePathsFollowTheAlbumsFolderWithoutWritingAnything) {
  afm3test::TempDir dir;
  ASSERT_TRUE(plat::createDirectory(dir.file("albums").c_str()));
  Album album(dir.file("albums\\x.ab3"));
  Bytes stale = entryWith(2, 2, "A:\\OLD.JPG");
  std::memcpy(&stale[182], "STALE LABEL", 11);
  ASSERT_EQ(album.insert(stale, ".\\..\\pics\\a.jpg"), 0);
  const Bytes before = album.file();
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.path, dir.path() + "albums\\pics\\a.jpg");
  const std::string root = dir.path().substr(0, 3);
  EXPECT_EQ(p.entry[3], plat::driveType(root.c_str()));
  plat::VolumeInfo volume;
  const std::string label = plat::volumeInformation(root.c_str(), &volume) ? volume.label : "";
  EXPECT_EQ(entryText(p.entry, 182, 32), label.substr(0, 31));
  EXPECT_TRUE(entryChecksumHolds(p.entry));
  EXPECT_EQ(album.file(), before);
  // The picture block shows the same.
  Bytes block(17920);
  ASSERT_TRUE(afm3ReadPicBlock(album.owner(), album.handle(), 0, block.data()));
  EXPECT_TRUE(std::equal(p.entry.begin(), p.entry.end(), block.begin()));
  // A root-relative path lands on the album's own drive.
  ASSERT_EQ(album.insert(stale, ".\\C:\\pics\\b.jpg"), 1);
  const Pic b = readPic(album, 1);
  ASSERT_TRUE(b.ok);
  EXPECT_EQ(b.path, root + "pics\\b.jpg");
  EXPECT_EQ(b.entry[3], p.entry[3]);
}

#ifndef _WIN32
// Volumes and shares of the emulated machine.
class PictureLocations : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plat::createDirectory(host_.file("albums").c_str()));
    const std::string folder = host_.path().substr(0, host_.path().size() - 1);
    ASSERT_TRUE(
        qwinTestAddVolume("D:\\", folder.c_str(), "PHOTOS", DRIVE_FIXED, 255, 0x1234, nullptr));
    ASSERT_TRUE(qwinTestAddShare("srv", "share", folder.c_str(), "NETLABEL", TRUE));
    ASSERT_TRUE(qwinTestAddVolume("R:\\", folder.c_str(), "REMOTE", DRIVE_REMOTE, 255, 0x99,
                                  "\\\\srv\\share  (the server's share)"));
  }
  void TearDown() override { qwinTestResetMachine(); }

  afm3test::TempDir host_;
};

TEST_F(PictureLocations, FolderRelativePathOnAFixedDrive) {
  Album album("D:\\albums\\x.ab3");
  Bytes e = entryWith(2, 5, "E:\\PICS\\A.JPG");
  std::memcpy(&e[182], "OLD CD", 6);
  ASSERT_EQ(album.insert(e, ".\\..\\pics\\a.jpg"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok) << afm3test::lastError().text;
  EXPECT_EQ(p.path, "D:\\albums\\pics\\a.jpg");
  EXPECT_EQ(p.entry[3], DRIVE_FIXED);
  EXPECT_EQ(entryText(p.entry, 182, 32), "PHOTOS");
  EXPECT_TRUE(entryChecksumHolds(p.entry));
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 1, nullptr, 0), 2u);
}

TEST_F(PictureLocations, RootRelativePathOnANetworkShare) {
  Album album("\\\\srv\\share\\albums\\x.ab3");
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\PICS\\A.JPG"), ".\\C:\\pics\\a.jpg"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok) << afm3test::lastError().text;
  EXPECT_EQ(p.path, "\\\\srv\\share\\pics\\a.jpg");
  EXPECT_EQ(p.entry[3], DRIVE_REMOTE);
  EXPECT_EQ(entryText(p.entry, 182, 32), "\\\\srv\\share");
  EXPECT_EQ(afm3ReadFilePicMisc(album.owner(), album.handle(), 0, 1, nullptr, 0), 1u);
}

TEST_F(PictureLocations, RemoteDriveLetterGivesItsConnectionName) {
  Album album("R:\\albums\\x.ab3");
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\PICS\\A.JPG"), ".\\C:\\pics\\a.jpg"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok) << afm3test::lastError().text;
  EXPECT_EQ(p.path, "R:\\pics\\a.jpg");
  EXPECT_EQ(p.entry[3], DRIVE_REMOTE);
  EXPECT_EQ(entryText(p.entry, 182, 32), "\\\\srv\\share");  // up to the first blank
}

TEST_F(PictureLocations, AbsolutePathsKeepTheirStoredLocation) {
  Album album("D:\\albums\\x.ab3");
  Bytes e = entryWith(2, 5, "E:\\PICS\\A.JPG");
  std::memcpy(&e[182], "OLD CD", 6);
  ASSERT_EQ(album.insert(e, "E:\\pics\\a.jpg"), 0);
  const Pic p = readPic(album, 0);
  ASSERT_TRUE(p.ok);
  EXPECT_EQ(p.entry[3], 5);
  EXPECT_EQ(entryText(p.entry, 182, 32), "OLD CD");
}
#endif

// ---- afm3UpdateRecordPic ------------------------------------------------------

TEST(UpdateRecordPic, NullEntryRewritesTheCurrentOneWithNewStrings) {
  Album album;
  Bytes e = entryWith(7, 3, "C:\\A.JPG", 0x04 | 0x02);
  ASSERT_EQ(album.insert(e, "C:\\a.jpg", "first extra"), 0);
  const Bytes before = album.entryOnDisk(0);
  const uint32_t end = static_cast<uint32_t>(album.file().size());
  DWORD offset = 0;
  ASSERT_TRUE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, nullptr, nullptr, &offset,
                                  "second extra"));
  const Bytes after = album.entryOnDisk(0);
  EXPECT_EQ(offset, get32(before, 178));
  EXPECT_EQ(get32(after, 214), end);  // string B appended
  Bytes expected = before;
  put32(expected, 214, end);
  put16(expected, 278, 0);
  put16(expected, 278, afm3test::xorChecksum(expected));
  EXPECT_EQ(after, expected);
  const Pic p = readPic(album, 0);
  EXPECT_EQ(p.extra, "second extra");
  EXPECT_EQ(p.path, "C:\\a.jpg");
}

TEST(UpdateRecordPic, NewPathRefreshesTheShortPath) {
  afm3test::TempDir dir;
  const std::string picture = dir.file("A Long Picture Name.jpeg");
  ASSERT_TRUE(afm3test::writeWholeFile(picture, "x"));
  char shortPath[260];
  ASSERT_GT(plat::shortPathName(picture.c_str(), shortPath, sizeof shortPath), 0u);
  plat::charUpper(shortPath);
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\OLD.JPG")), 0);
  Bytes given = entryWith(9, 3, "C:\\IGNORED.JPG");
  put16(given, 0, 0);
  std::memset(&given[222], 0x5A, 56);  // the library zeroes this range
  DWORD offset = 0;
  ASSERT_TRUE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, given.data(), picture.c_str(),
                                  &offset, nullptr));
  const Bytes after = album.entryOnDisk(0);
  EXPECT_EQ(get32(after, 178), offset);
  EXPECT_EQ(entryText(after, 8, 128), shortPath);
  EXPECT_EQ(after[2], 9);
  for (int i = 222; i < 278; ++i) ASSERT_EQ(after[i], 0) << i;
  EXPECT_TRUE(entryChecksumHolds(after));
  EXPECT_EQ(readPic(album, 0).path, picture);
}

TEST(UpdateRecordPic, Failures) {
  Album album;
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG")), 0);
  Bytes e = entryWith(2, 3, "C:\\A.JPG");
  EXPECT_FALSE(afm3UpdateRecordPic(album.owner(), album.handle(), 0xFFFF, e.data(), nullptr,
                                   nullptr, nullptr));
  expectReport(6444, 7003, 6, 7);
  EXPECT_FALSE(
      afm3UpdateRecordPic(album.owner(), album.handle(), 64, e.data(), nullptr, nullptr, nullptr));
  expectReport(6444, 7003, 6, 6);
  const Bytes before = album.file();
  const std::string tooLong(260, 'p');
  EXPECT_FALSE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, e.data(), tooLong.c_str(),
                                   nullptr, nullptr));
  expectReport(6444, 7003, 6, 13);
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(
      afm3UpdateRecordPic(ownerKey(998), album.handle(), 0, e.data(), nullptr, nullptr, nullptr));
  expectReport(6441, 7003, 6, 0);
}

TEST(UpdateRecordPic, WithWriteSharingTheRecordMustBeLive) {
  Album album("", kShared);
  ASSERT_EQ(album.insert(entryWith(2, 3, "C:\\A.JPG")), 0);
  ASSERT_TRUE(afm3DeleteRecord(album.owner(), album.handle(), 0));
  EXPECT_FALSE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, nullptr, "C:\\b.jpg", nullptr,
                                   nullptr));
  expectReport(6444, 7003, 6, 12);
  ASSERT_TRUE(afm3UndelRecord(album.owner(), album.handle(), 0));
  EXPECT_TRUE(afm3UpdateRecordPic(album.owner(), album.handle(), 0, nullptr, "C:\\b.jpg", nullptr,
                                  nullptr));
  EXPECT_EQ(readPic(album, 0).path, "C:\\b.jpg");
}

}  // namespace
