// Memory drives: every file and path function works on their files without
// the disk, with the errors and lock rules of disk files.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "memory_files.h"
#include "platform.h"
#include "platform_test_util.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using plat::Disposition;

class MemoryFiles : public testing::Test {
 protected:
  void SetUp() override {
    const std::string bytes = "0123456789";
    ASSERT_TRUE(plat::memoryFiles::put(
        "M:\\Data.bin", reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
  }
  void TearDown() override { plat::memoryFiles::clear(); }

  static std::string contents(const char* path) {
    std::vector<uint8_t> bytes;
    if (!plat::memoryFiles::get(path, &bytes)) return "<none>";
    return std::string(bytes.begin(), bytes.end());
  }
};

TEST_F(MemoryFiles, HandlesReadWriteSeekTruncateAndLock) {
  File file("m:\\data.BIN", kReadWrite, 0);
  ASSERT_TRUE(file.ok());
  EXPECT_EQ(plat::fileSize(file.get()), 10u);
  std::string bytes;
  ASSERT_TRUE(file.readAt(8, 5, &bytes));
  EXPECT_EQ(bytes, "89");
  ASSERT_TRUE(file.writeAt(12, "xy"));  // past the end: the gap reads as zeros
  EXPECT_EQ(contents("M:\\Data.bin"), std::string("0123456789\0\0xy", 14));
  EXPECT_EQ(plat::seekFile(file.get(), -4, plat::SeekFrom::End), 10u);
  ASSERT_TRUE(plat::setEndOfFile(file.get()));
  EXPECT_EQ(contents("M:\\Data.bin"), "0123456789");

  File other("M:\\Data.bin", kReadWrite, afm3test::kShareAll);
  ASSERT_TRUE(other.ok());
  ASSERT_TRUE(plat::lockFile(file.get(), 4, 2));
  EXPECT_FALSE(plat::lockFile(other.get(), 5, 1));
  EXPECT_FALSE(other.readAt(3, 2));
  EXPECT_EQ(plat::lastError(), plat::kErrLockViolation);
  EXPECT_TRUE(other.readAt(0, 4));
  file.close();  // closing releases the handle's locks
  EXPECT_TRUE(other.writeAt(4, "ab"));
}

TEST_F(MemoryFiles, PathFunctionsAnswerForTheMemoryDrive) {
  EXPECT_EQ(plat::fileAttributes("M:\\"), plat::kAttrDirectory);
  EXPECT_EQ(plat::fileAttributes("M:\\data.bin"), plat::kAttrArchive);
  plat::VolumeInfo info;
  ASSERT_TRUE(plat::volumeInformation("M:\\", &info));
  EXPECT_STREQ(info.label, "MEMORY");
  EXPECT_EQ(info.maxComponentLength, 255u);
  EXPECT_EQ(plat::driveType("M:\\"), 6u);
  uint64_t free = 0;
  EXPECT_TRUE(plat::diskFreeSpace("M:\\", &free));
  EXPECT_GT(free, 1u << 20);
  char name[MAX_PATH];
  EXPECT_EQ(plat::shortPathName("m:\\data.bin", name, sizeof name), 11u);
  EXPECT_STREQ(name, "M:\\data.bin");

  // A new file, a copy and a rename all stay in memory.
  File created("M:\\~probe.tmp", plat::kGenericWrite, 0, Disposition::CreateAlways);
  ASSERT_TRUE(created.ok());
  created.close();
  ASSERT_TRUE(plat::copyFile("M:\\Data.bin", "M:\\Copy.bin", true));
  ASSERT_TRUE(plat::moveFile("M:\\Copy.bin", "M:\\Moved.bin"));
  EXPECT_EQ(contents("M:\\Moved.bin"), "0123456789");
  plat::FindData data;
  plat::FindHandle find = plat::findFirst("M:\\*", &data);
  ASSERT_NE(find, plat::invalidFile());
  std::vector<std::string> names{data.name};
  while (plat::findNext(find, &data)) names.push_back(data.name);
  plat::findClose(find);
  EXPECT_EQ(names, (std::vector<std::string>{"Data.bin", "Moved.bin", "~probe.tmp"}));
  EXPECT_TRUE(plat::deleteFile("M:\\~probe.tmp"));
  EXPECT_EQ(plat::fileAttributes("M:\\~probe.tmp"), plat::kInvalidAttributes);
}

TEST_F(MemoryFiles, RefusalsMatchDiskFiles) {
  auto opens = [](const char* path, Disposition how) {
    return [=] {
      const plat::FileHandle f = plat::openFile(path, kReadWrite, 0, how);
      if (f == plat::invalidFile()) return false;
      plat::closeFile(f);
      return true;
    };
  };
  struct Case {
    const char* name;
    std::function<bool()> call;
    uint32_t error;
  };
  const Case cases[] = {
      {"missing", opens("M:\\none.bin", Disposition::OpenExisting), plat::kErrFileNotFound},
      {"subfolder", opens("M:\\sub\\f.bin", Disposition::CreateAlways), plat::kErrPathNotFound},
      {"root", opens("M:\\", Disposition::OpenExisting), plat::kErrAccessDenied},
      {"exists", opens("M:\\Data.bin", Disposition::CreateNew), plat::kErrFileExists},
      {"read-only", opens("M:\\Data.bin", Disposition::OpenExisting), plat::kErrAccessDenied},
      {"delete read-only", [] { return plat::deleteFile("M:\\Data.bin"); }, plat::kErrAccessDenied},
      {"move to disk", [] { return plat::moveFile("M:\\Data.bin", "Z:\\tmp\\x.bin"); }, 17},
      {"folder", [] { return plat::createDirectory("M:\\sub"); }, plat::kErrAccessDenied},
  };
  ASSERT_TRUE(plat::setFileAttributes("M:\\Data.bin", plat::kAttrReadOnly));
  for (const Case& c : cases) {
    EXPECT_FALSE(c.call()) << c.name;
    EXPECT_EQ(plat::lastError(), c.error) << c.name;
  }
  plat::memoryFiles::clear();
  EXPECT_EQ(plat::fileAttributes("M:\\Data.bin"), plat::kInvalidAttributes);
}

// Handle values stay within 16 bits however many files a process opens,
// as an album's commit message carries only that much of its new handle.
TEST_F(MemoryFiles, HandleValuesStayBelow0x10000) {
  for (int i = 0; i < 20000; ++i) {
    File file("M:\\Data.bin", kReadWrite, 0);
    ASSERT_TRUE(file.ok());
    ASSERT_LT(reinterpret_cast<uintptr_t>(file.get()), 0x10000u) << "open " << i;
  }
}

}  // namespace

#endif
