// Files through the platform interface: CreateFile dispositions, reads,
// writes and seeks, the read-only attribute, share modes within one
// process, and operations by path.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using afm3test::kShareAll;
using afm3test::kShareReadWrite;
using afm3test::TempDir;
using plat::Disposition;

constexpr uint32_t R = plat::kGenericRead;
constexpr uint32_t W = plat::kGenericWrite;

TEST(PlatformFiles, DispositionsCreateTruncateOrRefuse) {
  struct Case {
    Disposition how;
    bool existsBefore;
    uint32_t error;        // 0: the open succeeds
    uint32_t sizeAfter;    // when it succeeds
    bool reportsExisting;  // success with error 183
  };
  const Case cases[] = {
      {Disposition::CreateNew, false, 0, 0, false},
      {Disposition::CreateNew, true, plat::kErrFileExists, 0, false},
      {Disposition::CreateAlways, false, 0, 0, false},
      {Disposition::CreateAlways, true, 0, 0, true},
      {Disposition::OpenExisting, false, plat::kErrFileNotFound, 0, false},
      {Disposition::OpenExisting, true, 0, 5, false},
      {Disposition::OpenAlways, false, 0, 0, false},
      {Disposition::OpenAlways, true, 0, 5, true},
      {Disposition::TruncateExisting, false, plat::kErrFileNotFound, 0, false},
      {Disposition::TruncateExisting, true, 0, 0, false},
  };
  TempDir dir;
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << n);
    const std::string path = dir.file("case" + std::to_string(n++) + ".dat");
    if (c.existsBefore) {
      ASSERT_TRUE(afm3test::writeWholeFile(path, "12345"));
    }
    File file(path, kReadWrite, 0, c.how);
    if (c.error != 0) {
      EXPECT_FALSE(file.ok());
      EXPECT_EQ(file.error(), c.error);
      EXPECT_EQ(afm3test::exists(path), c.existsBefore);
      continue;
    }
    ASSERT_TRUE(file.ok());
    // The "always" dispositions tell whether the file was there.
    if (c.how == Disposition::CreateAlways || c.how == Disposition::OpenAlways) {
      EXPECT_EQ(file.error(), c.reportsExisting ? plat::kErrAlreadyExists : plat::kErrSuccess);
    }
    EXPECT_EQ(plat::fileSize(file.get()), c.sizeAfter);
  }
  // A missing folder on the way is error 3, whatever the disposition.
  File inMissing(dir.file("nowhere\\x.dat"), kReadWrite, 0, Disposition::CreateAlways);
  EXPECT_FALSE(inMissing.ok());
  EXPECT_EQ(inMissing.error(), plat::kErrPathNotFound);
}

TEST(PlatformFiles, ReadWriteSeekAndEndOfFile) {
  TempDir dir;
  const std::string path = dir.file("data.bin");
  File file(path, kReadWrite, 0, Disposition::CreateNew);
  ASSERT_TRUE(file.ok());
  ASSERT_TRUE(file.writeAt(0, "hello world"));
  std::string got;
  ASSERT_TRUE(file.readAt(6, 5, &got));
  EXPECT_EQ(got, "world");

  // At the end a read succeeds with nothing; across the end it is short.
  char buffer[16];
  uint32_t done = 99;
  EXPECT_TRUE(plat::readFile(file.get(), buffer, sizeof buffer, &done));
  EXPECT_EQ(done, 0u);
  ASSERT_TRUE(file.readAt(8, 10, &got));
  EXPECT_EQ(got, "rld");

  EXPECT_EQ(plat::seekFile(file.get(), -5, plat::SeekFrom::End), 6u);
  EXPECT_EQ(plat::seekFile(file.get(), 2, plat::SeekFrom::Current), 8u);
  // A negative position fails with error 131 and leaves the pointer alone.
  EXPECT_EQ(plat::seekFile(file.get(), -9, plat::SeekFrom::Current), 0xFFFFFFFFu);
  EXPECT_EQ(plat::lastError(), plat::kErrNegativeSeek);
  EXPECT_EQ(plat::seekFile(file.get(), 0, plat::SeekFrom::Current), 8u);

  // setEndOfFile cuts or extends at the pointer.
  EXPECT_EQ(plat::seekFile(file.get(), 5, plat::SeekFrom::Begin), 5u);
  ASSERT_TRUE(plat::setEndOfFile(file.get()));
  EXPECT_EQ(plat::fileSize(file.get()), 5u);
  EXPECT_EQ(plat::seekFile(file.get(), 64, plat::SeekFrom::Begin), 64u);
  ASSERT_TRUE(plat::setEndOfFile(file.get()));
  EXPECT_EQ(plat::fileSize(file.get()), 64u);
  EXPECT_TRUE(plat::flushFile(file.get()));

  uint64_t created = 0, accessed = 0, written = 0;
  ASSERT_TRUE(plat::fileTimes(file.get(), &created, &accessed, &written));
  const uint64_t now = plat::systemTimeAsFileTime();
  EXPECT_LE(written, now + 20000000u);
  EXPECT_GE(written, now - 600000000u);  // within ten minutes
  file.close();

  // Each handle moves only the way it was opened.
  File reader(path, R, kShareAll);
  ASSERT_TRUE(reader.ok());
  EXPECT_FALSE(plat::writeFile(reader.get(), "x", 1, &done));
  EXPECT_EQ(plat::lastError(), plat::kErrAccessDenied);
  File writer(path, W, kShareAll);
  ASSERT_TRUE(writer.ok());
  EXPECT_FALSE(plat::readFile(writer.get(), buffer, 1, &done));
  EXPECT_EQ(plat::lastError(), plat::kErrAccessDenied);
  EXPECT_FALSE(plat::setEndOfFile(reader.get()));
}

// Whatever the sharing, sizes and reads follow every write, extension
// and cut at once, across the megabyte steps a file grows by (a handle
// no one else may write through keeps the size and reads a mapping).
TEST(PlatformFiles, SizesAndReadsFollowWritesUnderEverySharing) {
  constexpr uint32_t kChunk = 64 * 1024, kChunks = 40;
  for (const uint32_t share : {0u, uint32_t{plat::kShareRead}, uint32_t{kShareReadWrite}}) {
    SCOPED_TRACE(share);
    TempDir dir;
    const std::string path = dir.file("grow.bin");
    File file(path, kReadWrite, share, Disposition::CreateNew);
    ASSERT_TRUE(file.ok());
    std::string chunk(kChunk, '\0');
    std::string got;
    for (uint32_t c = 0; c < kChunks; ++c) {
      for (uint32_t i = 0; i < kChunk; ++i) chunk[i] = static_cast<char>('a' + (c + i) % 26);
      ASSERT_TRUE(file.writeAt(c * kChunk, chunk));
      ASSERT_EQ(plat::fileSize(file.get()), (c + 1) * kChunk);
      ASSERT_TRUE(file.readAt(c * kChunk, kChunk + 10, &got));
      ASSERT_EQ(got, chunk) << "chunk " << c;
    }
    // A rewrite in place shows at once.
    ASSERT_TRUE(file.writeAt(100, "rewritten"));
    ASSERT_TRUE(file.readAt(100, 9, &got));
    EXPECT_EQ(got, "rewritten");
    // Cut: reads end at the new end.
    EXPECT_EQ(plat::seekFile(file.get(), 200, plat::SeekFrom::Begin), 200u);
    ASSERT_TRUE(plat::setEndOfFile(file.get()));
    EXPECT_EQ(plat::fileSize(file.get()), 200u);
    EXPECT_EQ(plat::seekFile(file.get(), 0, plat::SeekFrom::End), 200u);
    ASSERT_TRUE(file.readAt(190, 20, &got));
    EXPECT_EQ(got.size(), 10u);
    // Extended past where it ever was: zeros, then what is written there.
    const uint32_t beyond = 3 * kChunks * kChunk;
    EXPECT_EQ(plat::seekFile(file.get(), beyond, plat::SeekFrom::Begin), beyond);
    ASSERT_TRUE(plat::setEndOfFile(file.get()));
    ASSERT_TRUE(file.readAt(beyond - 4, 8, &got));
    EXPECT_EQ(got, std::string(4, '\0'));
    ASSERT_TRUE(file.writeAt(beyond, "end"));
    EXPECT_EQ(plat::fileSize(file.get()), beyond + 3);
    ASSERT_TRUE(file.readAt(beyond - 1, 8, &got));
    EXPECT_EQ(got, std::string("\0end", 4));
    // A reader another handle may open sees the same bytes.
    if (share & plat::kShareRead) {
      File reader(path, R, kShareReadWrite);
      ASSERT_TRUE(reader.ok());
      ASSERT_TRUE(reader.readAt(100, 9, &got));
      EXPECT_EQ(got, "rewritten");
      EXPECT_EQ(plat::fileSize(reader.get()), beyond + 3);
    }
  }
}

TEST(PlatformFiles, ClosedHandlesAreInvalid) {
  TempDir dir;
  plat::FileHandle h = plat::openFile(dir.file("x").c_str(), kReadWrite, 0, Disposition::CreateNew);
  ASSERT_NE(h, plat::invalidFile());
  ASSERT_TRUE(plat::closeFile(h));
  char buffer[4];
  uint32_t done = 0;
  EXPECT_FALSE(plat::closeFile(h));
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
  EXPECT_FALSE(plat::readFile(h, buffer, 1, &done));
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
  EXPECT_EQ(plat::seekFile(h, 0, plat::SeekFrom::Begin), 0xFFFFFFFFu);
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
  EXPECT_FALSE(plat::closeFile(plat::invalidFile()));
}

// The tests run as root in CI: the attribute must be honoured by the
// emulation itself.
TEST(PlatformFiles, ReadOnlyAttributeDeniesWriting) {
  if (!afm3test::readOnlyFilesRefuseWriting())
    GTEST_SKIP() << "this user may write read-only files";
  TempDir dir;
  const std::string path = dir.file("locked.txt");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "keep"));
  ASSERT_TRUE(plat::setFileAttributes(path.c_str(), plat::kAttrReadOnly));
  EXPECT_TRUE(plat::fileAttributes(path.c_str()) & plat::kAttrReadOnly);

  const struct {
    uint32_t access;
    Disposition how;
  } denied[] = {{W, Disposition::OpenExisting},
                {kReadWrite, Disposition::OpenAlways},
                {R, Disposition::CreateAlways},
                {kReadWrite, Disposition::TruncateExisting}};
  for (const auto& d : denied) {
    File file(path, d.access, kShareAll, d.how);
    EXPECT_FALSE(file.ok());
    EXPECT_EQ(file.error(), plat::kErrAccessDenied);
  }
  EXPECT_FALSE(plat::deleteFile(path.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrAccessDenied);
  EXPECT_EQ(afm3test::readWholeFile(path), "keep");

  ASSERT_TRUE(plat::setFileAttributes(path.c_str(), plat::kAttrNormal));
  EXPECT_FALSE(plat::fileAttributes(path.c_str()) & plat::kAttrReadOnly);
  File writer(path, W, 0);
  EXPECT_TRUE(writer.ok());
}

TEST(PlatformFiles, FoldersAndOperationsByPath) {
  TempDir dir;
  const std::string folder = dir.file("Albums");
  ASSERT_TRUE(plat::createDirectory(folder.c_str()));
  EXPECT_FALSE(plat::createDirectory(folder.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrAlreadyExists);
  EXPECT_EQ(plat::fileAttributes(folder.c_str()) & plat::kAttrDirectory, plat::kAttrDirectory);
  File asFile(folder, R, kShareAll);
  EXPECT_EQ(asFile.error(), plat::kErrAccessDenied);

  // Names are found whatever their letter case.
  const std::string file = folder + "\\Main.mrk";
  ASSERT_TRUE(afm3test::writeWholeFile(file, "contents"));
  EXPECT_EQ(afm3test::readWholeFile(dir.file("ALBUMS\\main.MRK")), "contents");
  EXPECT_FALSE(plat::removeDirectory(folder.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrDirNotEmpty);

  const std::string copy = folder + "\\Copy.mrk";
  ASSERT_TRUE(plat::setFileAttributes(file.c_str(), plat::kAttrReadOnly));
  ASSERT_TRUE(plat::copyFile(file.c_str(), copy.c_str(), true));
  EXPECT_EQ(afm3test::readWholeFile(copy), "contents");
  EXPECT_TRUE(plat::fileAttributes(copy.c_str()) & plat::kAttrReadOnly);
  EXPECT_FALSE(plat::copyFile(file.c_str(), copy.c_str(), true));
  EXPECT_EQ(plat::lastError(), plat::kErrFileExists);
  if (afm3test::readOnlyFilesRefuseWriting()) {
    // Overwriting the read-only copy is refused too.
    EXPECT_FALSE(plat::copyFile(file.c_str(), copy.c_str(), false));
    EXPECT_EQ(plat::lastError(), plat::kErrAccessDenied);
  }
  ASSERT_TRUE(plat::setFileAttributes(copy.c_str(), plat::kAttrNormal));
  ASSERT_TRUE(plat::setFileAttributes(file.c_str(), plat::kAttrNormal));

  EXPECT_FALSE(plat::moveFile(file.c_str(), copy.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrAlreadyExists);
  const std::string moved = dir.file("Moved.mrk");
  ASSERT_TRUE(plat::moveFile(file.c_str(), moved.c_str()));
  EXPECT_FALSE(afm3test::exists(file));
  EXPECT_EQ(afm3test::readWholeFile(moved), "contents");
  // A change of letter case only is a rename of the file onto itself.
  ASSERT_TRUE(plat::moveFile(moved.c_str(), dir.file("MOVED.MRK").c_str()));
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(dir.file("moved.mrk").c_str(), &data);
  ASSERT_NE(find, plat::invalidFile());
#ifndef _WIN32  // Wine keeps the old letter case
  EXPECT_STREQ(data.name, "MOVED.MRK");
#endif
  plat::findClose(find);

  EXPECT_FALSE(plat::moveFile(dir.file("absent").c_str(), dir.file("other").c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  EXPECT_FALSE(plat::deleteFile(dir.file("absent").c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  EXPECT_EQ(plat::fileAttributes(dir.file("absent\\x").c_str()), plat::kInvalidAttributes);
  EXPECT_EQ(plat::lastError(), plat::kErrPathNotFound);

  ASSERT_TRUE(plat::deleteFile(copy.c_str()));
  EXPECT_TRUE(plat::removeDirectory(folder.c_str()));
  EXPECT_FALSE(plat::removeDirectory(folder.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
}

// Whether a second open is allowed next to a first one, by the Windows
// rules: each open's access must be shared by the other one.
TEST(PlatformShareModes, SecondOpenInTheSameProcess) {
  const uint32_t RW = kReadWrite;
  const uint32_t SR = plat::kShareRead, SW = plat::kShareWrite, SD = plat::kShareDelete;
  const struct {
    uint32_t access1, share1, access2, share2;
    bool allowed;
  } cases[] = {
      {R, SR, R, SR, true},
      {R, SR, R, SR | SW, true},
      {R, SR, W, SR | SW, false},  // the first does not share writing
      {R, SR | SW, W, SR | SW, true},
      {R, SR | SW, RW, SW, false},  // the second does not share reading
      {W, SR, R, SR | SW, true},
      {W, SR, R, SR, false},            // the first writes, the second refuses that
      {RW, 0, R, SR | SW | SD, false},  // exclusive
      {RW, SR | SW | SD, RW, SR | SW | SD, true},
      {0, 0, RW, 0, true},  // an open without access takes no part
      {RW, 0, 0, 0, true},
  };
  TempDir dir;
  const std::string path = dir.file("shared.dat");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "0123456789"));
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << n++);
    File first(path, c.access1, c.share1);
    ASSERT_TRUE(first.ok());
    File second(path, c.access2, c.share2);
    EXPECT_EQ(second.ok(), c.allowed);
    if (!c.allowed) {
      EXPECT_EQ(second.error(), plat::kErrSharingViolation);
      // The refusal does not outlive the first open.
      first.close();
      File again(path, c.access2, c.share2);
      EXPECT_TRUE(again.ok());
    }
  }
}

TEST(PlatformShareModes, RefusedOpensChangeNothing) {
  TempDir dir;
  const std::string path = dir.file("album.dat");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "precious"));
  File holder(path, R, plat::kShareRead);
  ASSERT_TRUE(holder.ok());
  // Replacing the file needs write access, which the holder does not share:
  // the open fails before truncating anything.
  File replace(path, kReadWrite, kShareAll, Disposition::CreateAlways);
  EXPECT_EQ(replace.error(), plat::kErrSharingViolation);
  File truncate(path, W, kShareAll, Disposition::TruncateExisting);
  EXPECT_EQ(truncate.error(), plat::kErrSharingViolation);
  // Replacing is writing, whatever access the replacing open asks for.
  for (const uint32_t access : {uint32_t{R}, uint32_t{0}}) {
    File replaceReading(path, access, kShareAll, Disposition::CreateAlways);
    EXPECT_EQ(replaceReading.error(), plat::kErrSharingViolation) << access;
  }
  EXPECT_EQ(afm3test::readWholeFile(path), "precious");
  // A copy onto an open file is refused the same way.
  const std::string other = dir.file("other.dat");
  ASSERT_TRUE(afm3test::writeWholeFile(other, "other"));
  EXPECT_FALSE(plat::copyFile(other.c_str(), path.c_str(), false));
  EXPECT_EQ(plat::lastError(), plat::kErrSharingViolation);
  EXPECT_EQ(afm3test::readWholeFile(path), "precious");
}

TEST(PlatformShareModes, DeletingAndMovingNeedShareDelete) {
  TempDir dir;
  const std::string path = dir.file("busy.dat");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "x"));
  {
    File holder(path, R, kShareReadWrite);
    ASSERT_TRUE(holder.ok());
    EXPECT_FALSE(plat::deleteFile(path.c_str()));
    EXPECT_EQ(plat::lastError(), plat::kErrSharingViolation);
    EXPECT_FALSE(plat::moveFile(path.c_str(), dir.file("renamed.dat").c_str()));
    EXPECT_EQ(plat::lastError(), plat::kErrSharingViolation);
    EXPECT_TRUE(afm3test::exists(path));
  }
  {
    File holder(path, R, kShareAll);
    ASSERT_TRUE(holder.ok());
    EXPECT_TRUE(plat::moveFile(path.c_str(), dir.file("renamed.dat").c_str()));
  }
  EXPECT_TRUE(plat::deleteFile(dir.file("renamed.dat").c_str()));
}

}  // namespace
