// Byte-range locks within one process: exclusive, never waiting, never
// overlapping (not even on one handle), and mandatory for other handles.
#include <gtest/gtest.h>

#include <string>

#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using afm3test::kShareReadWrite;

class PlatformLocks : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("locked.dat");
    ASSERT_TRUE(afm3test::writeWholeFile(path_, std::string(100, 'a')));
  }
  afm3test::TempDir dir_;
  std::string path_;
};

TEST_F(PlatformLocks, OverlapsFailAtOnceEvenOnTheSameHandle) {
  File a(path_, kReadWrite, kShareReadWrite);
  File b(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(a.ok() && b.ok());
  ASSERT_TRUE(plat::lockFile(a.get(), 10, 10));
  const struct {
    File* file;
    uint64_t offset, length;
    bool granted;
  } attempts[] = {
      {&a, 15, 10, false},                      // the same handle
      {&a, 10, 10, false},                      // the very same range
      {&b, 12, 2, false},                       // inside
      {&b, 0, 11, false},                       // touching the first byte
      {&b, 19, 1, false},                       // the last byte
      {&b, 20, 10, true},                       // adjacent ranges do not overlap
      {&a, 0, 10, true},   {&b, 200, 5, true},  // beyond the end of the file
  };
  for (const auto& t : attempts) {
    SCOPED_TRACE(testing::Message() << t.offset << "+" << t.length);
    EXPECT_EQ(plat::lockFile(t.file->get(), t.offset, t.length), t.granted);
    if (!t.granted) {
      EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
    }
  }
}

TEST_F(PlatformLocks, OtherHandlesCannotReadOrWriteLockedBytes) {
  if (!plat::locksBindReadsAndWrites()) GTEST_SKIP() << "locks here refuse only other locks";
  File owner(path_, kReadWrite, kShareReadWrite);
  File other(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(owner.ok() && other.ok());
  ASSERT_TRUE(plat::lockFile(owner.get(), 40, 20));

  // The owner works inside its range.
  std::string got;
  EXPECT_TRUE(owner.readAt(45, 10, &got));
  EXPECT_EQ(got, std::string(10, 'a'));
  EXPECT_TRUE(owner.writeAt(40, "OWNER"));

  const struct {
    uint32_t offset, count;
    bool blocked;
  } ranges[] = {{0, 40, false}, {30, 11, true}, {59, 1, true}, {60, 40, false}, {50, 1, true}};
  for (const auto& r : ranges) {
    SCOPED_TRACE(testing::Message() << r.offset << "+" << r.count);
    EXPECT_EQ(other.readAt(r.offset, r.count), !r.blocked);
    if (r.blocked) {
      EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
    }
    EXPECT_EQ(other.writeAt(r.offset, std::string(r.count, 'o')), !r.blocked);
    if (r.blocked) {
      EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
    }
  }
  // A refused read moves nothing.
  char byte = 0;
  uint32_t done = 7;
  plat::seekFile(other.get(), 50, plat::SeekFrom::Begin);
  EXPECT_FALSE(plat::readFile(other.get(), &byte, 1, &done));
  EXPECT_EQ(done, 0u);

  ASSERT_TRUE(plat::unlockFile(owner.get(), 40, 20));
  EXPECT_TRUE(other.readAt(40, 5, &got));
  EXPECT_EQ(got, "OWNER");
}

TEST_F(PlatformLocks, UnlockMustMatchALockOfTheHandle) {
  if (!plat::locksBindReadsAndWrites()) GTEST_SKIP() << "locks here refuse only other locks";
  File a(path_, kReadWrite, kShareReadWrite);
  File b(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(a.ok() && b.ok());
  ASSERT_TRUE(plat::lockFile(a.get(), 0, 10));
  ASSERT_TRUE(plat::lockFile(a.get(), 10, 10));
  const struct {
    File* file;
    uint64_t offset, length;
  } wrong[] = {{&a, 0, 5}, {&a, 0, 20}, {&a, 5, 10}, {&b, 0, 10}, {&a, 30, 1}};
  for (const auto& w : wrong) {
    EXPECT_FALSE(plat::unlockFile(w.file->get(), w.offset, w.length));
    EXPECT_EQ(plat::lastError(), plat::kErrNotLocked);
  }
  // Unlocking one of two adjacent ranges leaves the other locked.
  ASSERT_TRUE(plat::unlockFile(a.get(), 0, 10));
  EXPECT_TRUE(b.readAt(0, 10));
  EXPECT_FALSE(b.readAt(10, 1));
  EXPECT_FALSE(plat::unlockFile(a.get(), 0, 10));
}

TEST_F(PlatformLocks, WholeFileLockLeavesOpensAloneAndEndsWithTheHandle) {
  File a(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(a.ok());
  ASSERT_TRUE(plat::lockFile(a.get(), 0, 0xFFFFFFFFu));
  // Locks and share modes do not interfere: more opens are still allowed.
  File b(path_, plat::kGenericRead, kShareReadWrite);
  ASSERT_TRUE(b.ok());
  if (plat::locksBindReadsAndWrites()) {
    EXPECT_FALSE(b.readAt(0, 1));
    EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
  }
  EXPECT_FALSE(plat::lockFile(b.get(), 0xFFFFFFF0u, 1));
  // Closing the owner releases every lock it held.
  a.close();
  EXPECT_TRUE(b.readAt(0, 1));
  EXPECT_TRUE(plat::lockFile(b.get(), 0, 0xFFFFFFFFu));
}

}  // namespace
