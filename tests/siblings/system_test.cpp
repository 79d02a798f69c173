// Operating-system kind and application-data folder of the common library,
// and the buffer release of the base library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform.h"
#include "q32base.h"
#include "q32comm.h"
#include "sibling_test_util.h"
#include "temp_dir.h"

namespace {

// ---- operating-system kind ----------------------------------------------------

TEST(OsVersionTest, PresentDaySystemIsKind4) {
  sibtest::ScopedEnvironment unset("Q32_OS_KIND", nullptr);
  EXPECT_EQ(q32GetOsVersion(), 4u);
}

TEST(OsVersionTest, EnvironmentOverridesTheKind) {
  for (const char* kind : {"1", "2", "3", "4"}) {
    sibtest::ScopedEnvironment forced("Q32_OS_KIND", kind);
    EXPECT_EQ(q32GetOsVersion(), static_cast<DWORD>(kind[0] - '0'));
  }
}

TEST(OsVersionTest, InvalidOverrideIsIgnored) {
  for (const char* value : {"0", "5", "-1", "3x", "abc", ""}) {
    sibtest::ScopedEnvironment forced("Q32_OS_KIND", value);
    EXPECT_EQ(q32GetOsVersion(), 4u) << "Q32_OS_KIND=" << value;
  }
}

// ---- application-data folder ---------------------------------------------------

TEST(AppDataFolderTest, FamilyFolderBelowTheUsersFolder) {
  sibtest::ScopedEnvironment unset("Q32_APPDATA", nullptr);
  char base[MAX_PATH];
  ASSERT_GT(plat::appDataFolder(base, sizeof base), 0u);
  std::string expected = base;
  if (expected.back() == '\\') expected.pop_back();
  expected += "\\Qarvo";
  char folder[MAX_PATH];
  ASSERT_TRUE(q32GetAppDataFolder(folder, sizeof folder, 0, 0));
  EXPECT_EQ(std::string(folder), expected);
}

TEST(AppDataFolderTest, OverrideIsCreatedOnlyWhenAsked) {
  afm3test::TempDir temp;
  const std::string wanted = temp.file("users\\me\\Qarvo");
  sibtest::ScopedEnvironment forced("Q32_APPDATA", (wanted + "\\").c_str());

  char folder[MAX_PATH];
  ASSERT_TRUE(q32GetAppDataFolder(folder, sizeof folder, 0, 0));
  EXPECT_EQ(std::string(folder), wanted);  // no trailing backslash
  EXPECT_FALSE(qfdIsDir(wanted.c_str()));

  ASSERT_TRUE(q32GetAppDataFolder(folder, sizeof folder, 0, 1));
  EXPECT_EQ(std::string(folder), wanted);
  EXPECT_TRUE(qfdIsDir(wanted.c_str()));
  // Existing already: still a success.
  EXPECT_TRUE(q32GetAppDataFolder(folder, sizeof folder, 0, 1));
}

TEST(AppDataFolderTest, FolderThatCannotBeCreatedStillNamesIt) {
  afm3test::TempDir temp;
  const std::string blocker = temp.file("a file");
  ASSERT_TRUE(afm3test::writeWholeFile(blocker, "x"));
  const std::string wanted = blocker + "\\Qarvo";
  sibtest::ScopedEnvironment forced("Q32_APPDATA", wanted.c_str());
  char folder[MAX_PATH];
  EXPECT_FALSE(q32GetAppDataFolder(folder, sizeof folder, 0, 1));
  EXPECT_EQ(std::string(folder), wanted);
}

TEST(AppDataFolderTest, TooSmallABufferFails) {
  sibtest::ScopedEnvironment forced("Q32_APPDATA", "C:\\Users\\someone\\Qarvo");
  char folder[8];
  std::memset(folder, '#', sizeof folder);
  EXPECT_FALSE(q32GetAppDataFolder(folder, 5, 0, 0));
  EXPECT_STREQ(folder, "");
  EXPECT_EQ(folder[5], '#');
  EXPECT_FALSE(q32GetAppDataFolder(nullptr, MAX_PATH, 0, 0));
}

#ifndef _WIN32
TEST(AppDataFolderTest, PosixOverrideIsSeenOnTheHostRootDrive) {
  sibtest::ScopedEnvironment forced("Q32_APPDATA", "/var/tmp/q32 app/");
  char folder[MAX_PATH];
  ASSERT_TRUE(q32GetAppDataFolder(folder, sizeof folder, 0, 0));
  EXPECT_STREQ(folder, "Z:\\var\\tmp\\q32 app");
}
#endif

// ---- buffers handed out by siblings ------------------------------------------

TEST(BufferFreeTest, FreesByPointerOfALockedMovableBlock) {
  HGLOBAL block = plat::globalAlloc(plat::kGhnd, 4096);
  ASSERT_NE(block, nullptr);
  void* pointer = plat::globalLock(block);
  ASSERT_NE(pointer, nullptr);
  buf32Free(pointer);
  EXPECT_EQ(plat::globalSize(block), 0u);
}

TEST(BufferFreeTest, FreesByHandle) {
  HGLOBAL movable = plat::globalAlloc(plat::kGhnd, 100);
  ASSERT_NE(movable, nullptr);
  buf32Free(movable);
  EXPECT_EQ(plat::globalSize(movable), 0u);

  HGLOBAL fixed = plat::globalAlloc(plat::kGmemFixed | plat::kGmemZeroInit, 100);
  ASSERT_NE(fixed, nullptr);
  buf32Free(fixed);
  EXPECT_EQ(plat::globalSize(fixed), 0u);
}

}  // namespace
