// Share modes and locks between two real processes: this test program and
// platform_child, which exits with the Windows error it met.
#include <gtest/gtest.h>

#include <string>
#include <memory>

#include "held_file.h"
#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using afm3test::kShareReadWrite;
using afm3test::runChild;

class PlatformProcesses : public testing::Test {
 protected:
  void SetUp() override {
    path_ = dir_.file("shared.dat");
    ASSERT_TRUE(afm3test::writeWholeFile(path_, std::string(100, 'p')));
  }

  // A child that holds the file (and a lock) until release().
  void hold(const std::string& access, const std::string& share, uint64_t offset, uint64_t length) {
    holder_ = std::make_unique<afm3test::HeldFile>(path_, access, share, offset, length);
    ASSERT_TRUE(holder_->holding());
  }
  int release() { return holder_ ? holder_->release() : -1; }

  afm3test::TempDir dir_;
  std::string path_;
  std::unique_ptr<afm3test::HeldFile> holder_;
};

TEST(PlatformRunProcess, ExitCodesArgumentsAndMissingPrograms) {
  for (int code : {0, 1, 33, 200}) {
    EXPECT_EQ(runChild({"exit", std::to_string(code)}), code);
  }

  afm3test::TempDir dir;
  const std::string out = dir.file("args.txt");
  EXPECT_EQ(runChild({"echo", out, "two words", "", "C:\\My Albums\\", "say \"hi\""}), 0);
  EXPECT_EQ(afm3test::readWholeFile(out), "two words\n\nC:\\My Albums\\\nsay \"hi\"\n");

  plat::setLastError(0);
  EXPECT_EQ(plat::runProcess({dir.file("absent.exe")}), -1);
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  EXPECT_EQ(plat::runProcess({}), -1);
}

TEST_F(PlatformProcesses, OpensOfThisProcessBindTheOther) {
  const struct {
    uint32_t access, share;  // this process
    const char* childAccess;
    const char* childShare;
    int expected;
  } cases[] = {
      {plat::kGenericRead, plat::kShareRead, "r", "rw", 0},
      {plat::kGenericRead, plat::kShareRead, "w", "rw", plat::kErrSharingViolation},
      {plat::kGenericRead, kShareReadWrite, "rw", "rw", 0},
      {plat::kGenericRead, kShareReadWrite, "rw", "w", plat::kErrSharingViolation},
      {plat::kGenericWrite, plat::kShareRead, "r", "r", plat::kErrSharingViolation},
      {kReadWrite, 0, "r", "rwd", plat::kErrSharingViolation},
      {0, 0, "rw", "-", 0},
  };
  int n = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << "case " << n++);
    File mine(path_, c.access, c.share);
    ASSERT_TRUE(mine.ok());
    EXPECT_EQ(runChild({"open", path_, c.childAccess, c.childShare}), c.expected);
  }
  // No open left behind: the child may take the file exclusively.
  EXPECT_EQ(runChild({"open", path_, "rw", "-"}), 0);

  File reader(path_, plat::kGenericRead, kShareReadWrite);
  ASSERT_TRUE(reader.ok());
  EXPECT_EQ(runChild({"delete", path_}), plat::kErrSharingViolation);
  reader.close();
  EXPECT_EQ(runChild({"delete", path_}), 0);
  EXPECT_FALSE(afm3test::exists(path_));
}

TEST_F(PlatformProcesses, LocksOfThisProcessBindTheOther) {
  File owner(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(owner.ok());
  ASSERT_TRUE(plat::lockFile(owner.get(), 0, 50));
  const struct {
    const char* command;
    int offset, count;
    int expected;
  } cases[] = {
      {"read", 10, 5, plat::kErrLockViolation},
      {"read", 49, 2, plat::kErrLockViolation},
      {"read", 50, 10, 0},
      {"write", 0, 1, plat::kErrLockViolation},
      {"write", 60, 4, 0},
      {"lock", 40, 20, plat::kErrLockViolation},
      {"lock", 50, 10, 0},
  };
  const bool bindsReadsAndWrites = plat::locksBindReadsAndWrites();
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.command << " " << c.offset << "+" << c.count);
    const bool lock = std::string(c.command) == "lock";
    const int expected = lock || bindsReadsAndWrites ? c.expected : 0;
    EXPECT_EQ(runChild({c.command, path_, std::to_string(c.offset), std::to_string(c.count)}),
              expected);
  }
  ASSERT_TRUE(plat::unlockFile(owner.get(), 0, 50));
  EXPECT_EQ(runChild({"read", path_, "10", "5"}), 0);
  // A whole-file lock, as the library takes one, covers everything.
  ASSERT_TRUE(plat::lockFile(owner.get(), 0, 0xFFFFFFFFu));
  EXPECT_EQ(runChild({"lock", path_, "99", "1"}), plat::kErrLockViolation);
  if (bindsReadsAndWrites) {
    EXPECT_EQ(runChild({"read", path_, "99", "1"}), plat::kErrLockViolation);
  }
  EXPECT_EQ(runChild({"open", path_, "r", "rw"}), 0);
}

TEST_F(PlatformProcesses, OpensOfTheOtherProcessBindThisOne) {
  hold("rw", "-", 0, 0);
  File reader(path_, plat::kGenericRead, kShareReadWrite);
  EXPECT_EQ(reader.error(), plat::kErrSharingViolation);
  EXPECT_FALSE(plat::deleteFile(path_.c_str()));
  EXPECT_EQ(plat::lastError(), plat::kErrSharingViolation);
  EXPECT_EQ(release(), 0);
  File again(path_, plat::kGenericRead, 0);
  EXPECT_TRUE(again.ok());
}

TEST_F(PlatformProcesses, LocksOfTheOtherProcessBindThisOne) {
  hold("rw", "rw", 20, 10);
  File mine(path_, kReadWrite, kShareReadWrite);
  ASSERT_TRUE(mine.ok());
  if (plat::locksBindReadsAndWrites()) {
    EXPECT_FALSE(mine.readAt(25, 1));
    EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
    EXPECT_FALSE(mine.writeAt(15, "0123456789"));
    EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
  }
  EXPECT_FALSE(plat::lockFile(mine.get(), 29, 5));
  EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
  EXPECT_TRUE(mine.readAt(0, 20));
  EXPECT_TRUE(plat::lockFile(mine.get(), 30, 5));
  // The child's exit releases its lock.
  EXPECT_EQ(release(), 0);
  EXPECT_TRUE(mine.readAt(25, 1));
  EXPECT_TRUE(plat::lockFile(mine.get(), 20, 10));
}

}  // namespace
