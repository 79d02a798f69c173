// File behaviour of the Win32 backend's own conversions: 64-bit lock ranges
// split into Win32's halves, and the 32-bit file pointer of seekFile.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using afm3test::kShareReadWrite;

constexpr uint32_t kNoPosition = 0xFFFFFFFFu;

TEST(Win32Locks, RangesBeyond4GBAreNotTruncated) {
  afm3test::TempDir dir;
  const std::string path = dir.file("locked.dat");
  ASSERT_TRUE(afm3test::writeWholeFile(path, "x"));
  File owner(path, kReadWrite, kShareReadWrite);
  File other(path, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(owner.ok());
  ASSERT_TRUE(other.ok());

  // A lock at 4 GB + 100 does not cover byte 100, and a length of
  // 4 GB + 1 reaches one byte past 8 GB + 99.
  const uint64_t high = 0x100000000ull;
  ASSERT_TRUE(plat::lockFile(owner.get(), high + 100, high + 1));
  EXPECT_TRUE(plat::lockFile(other.get(), 100, 1));
  EXPECT_FALSE(plat::lockFile(other.get(), 2 * high + 100, 1));
  EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
  EXPECT_TRUE(plat::lockFile(other.get(), 2 * high + 101, 1));
  EXPECT_FALSE(plat::lockFile(other.get(), high + 99, 2));
  EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);

  EXPECT_FALSE(plat::unlockFile(owner.get(), 100, high + 1));
  ASSERT_TRUE(plat::unlockFile(owner.get(), high + 100, high + 1));
  EXPECT_TRUE(plat::lockFile(other.get(), high + 99, 2));
}

TEST(Win32Files, SeeksOutside32BitsFailAndKeepThePointer) {
  afm3test::TempDir dir;
  File file(dir.file("seek.dat"), kReadWrite, 0, plat::Disposition::CreateNew);
  ASSERT_TRUE(file.ok());
  ASSERT_EQ(plat::seekFile(file.get(), 100, plat::SeekFrom::Begin), 100u);

  EXPECT_EQ(plat::seekFile(file.get(), 0x100000000ll, plat::SeekFrom::Begin), kNoPosition);
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidParameter);
  EXPECT_EQ(plat::seekFile(file.get(), 0, plat::SeekFrom::Current), 100u);

  // 0xFFFFFFFF itself is the failure value, so it is out of reach too.
  ASSERT_EQ(plat::seekFile(file.get(), 0xFFFFFFF0ll, plat::SeekFrom::Begin), 0xFFFFFFF0u);
  EXPECT_EQ(plat::seekFile(file.get(), 0x0F, plat::SeekFrom::Current), kNoPosition);
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidParameter);
  EXPECT_EQ(plat::seekFile(file.get(), 0x0E, plat::SeekFrom::Current), 0xFFFFFFFEu);
  EXPECT_EQ(plat::seekFile(file.get(), 0x10000000ll, plat::SeekFrom::End), 0x10000000u);
  EXPECT_EQ(plat::seekFile(file.get(), -1, plat::SeekFrom::End), kNoPosition);
  EXPECT_EQ(plat::lastError(), plat::kErrNegativeSeek);
  EXPECT_EQ(plat::seekFile(file.get(), 0, plat::SeekFrom::Current), 0x10000000u);
  EXPECT_EQ(plat::fileSize(file.get()), 0u);  // seeking never grows the file
}

}  // namespace

#endif  // _WIN32
