// Modules, time conversions, error mode, and (on the emulation) the
// configurable profile, registry and computer name.
#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "afm3_compat.h"
#include "platform.h"

namespace {

int localFunction() { return 7; }

TEST(PlatformModules, MissingLibrariesAndProcedures) {
  plat::setLastError(0);
  EXPECT_EQ(plat::loadLibrary("nosuch.dll"), nullptr);
  EXPECT_EQ(plat::lastError(), plat::kErrModNotFound);
  EXPECT_EQ(plat::loadLibrary("Z:\\nowhere\\nosuch.dll"), nullptr);
  EXPECT_EQ(plat::lastError(), plat::kErrModNotFound);

  // The module of this program's own code is the program.
  HMODULE self = plat::moduleOf(reinterpret_cast<const void*>(&localFunction));
  ASSERT_NE(self, nullptr);
  char viaModule[MAX_PATH], viaNull[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(self, viaModule, sizeof viaModule), 0u);
  ASSERT_GT(plat::moduleFileName(nullptr, viaNull, sizeof viaNull), 0u);
  EXPECT_STREQ(viaModule, viaNull);
  EXPECT_EQ(viaNull[1], ':');

  EXPECT_EQ(plat::procAddress(self, "no_such_function_here"), nullptr);
  EXPECT_EQ(plat::lastError(), plat::kErrProcNotFound);
#ifndef _WIN32
  // Outside Windows the platform is one shared library of its own.
  HMODULE platform = plat::moduleOf(reinterpret_cast<const void*>(&plat::tickCount));
  ASSERT_NE(platform, nullptr);
  EXPECT_NE(platform, self);
#endif
}

#ifndef _WIN32
TEST(PosixModules, LibrariesByWindowsNames) {
  HMODULE module = plat::loadLibrary("QWINTESTRES.DLL");
  ASSERT_NE(module, nullptr);
  void* table = plat::procAddress(module, "qwinResourceTable");
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(plat::moduleOf(table), plat::moduleOf(table));
  char file[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(module, file, sizeof file), 0u);
  const std::string path = file;
  EXPECT_EQ(path.substr(1, 2), ":\\");
  EXPECT_EQ(path.substr(path.rfind('\\') + 1), "libqwintestres.so");
  char found[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(plat::moduleOf(table), found, sizeof found), 0u);
  EXPECT_STREQ(found, file);

  // The same library by its folder, and by the file's own path.
  const std::string folder = path.substr(0, path.rfind('\\') + 1);
  HMODULE again = plat::loadLibrary((folder + "qwintestres.dll").c_str());
  EXPECT_EQ(again, module);
  HMODULE direct = plat::loadLibrary(file);
  EXPECT_EQ(direct, module);
  EXPECT_TRUE(plat::freeLibrary(direct));
  EXPECT_TRUE(plat::freeLibrary(again));
  EXPECT_TRUE(plat::freeLibrary(module));
  EXPECT_FALSE(plat::freeLibrary(module));

  // Handles the layer never gave out are refused rather than followed.
  int notAModule = 0;
  HMODULE bogus = reinterpret_cast<HMODULE>(&notAModule);
  EXPECT_EQ(plat::procAddress(bogus, "qwinResourceTable"), nullptr);
  EXPECT_EQ(plat::moduleFileName(bogus, file, sizeof file), 0u);
  EXPECT_EQ(plat::lastError(), plat::kErrModNotFound);
}
#endif

TEST(PlatformTime, DosDateAndTimeRoundTrip) {
  // FILETIME of 2024-02-29 12:34:56 UTC.
  const uint64_t leapDay = (1709210096ull + 11644473600ull) * 10000000ull;
  const struct {
    uint64_t fileTime;
    uint16_t date, time;
  } cases[] = {
      {(315532800ull + 11644473600ull) * 10000000ull, 0x0021, 0x0000},  // 1980-01-01 00:00:00
      {leapDay, (44 << 9) | (2 << 5) | 29, (12 << 11) | (34 << 5) | 28},
      {leapDay + 10000000ull, (44 << 9) | (2 << 5) | 29, (12 << 11) | (34 << 5) | 28},  // :57
      {(4354819198ull + 11644473600ull) * 10000000ull, (127 << 9) | (12 << 5) | 31,
       (23 << 11) | (59 << 5) | 29},  // 2107-12-31 23:59:58
  };
  for (const auto& c : cases) {
    uint16_t date = 0, time = 0;
    ASSERT_TRUE(plat::fileTimeToDosDateTime(c.fileTime, &date, &time));
    EXPECT_EQ(date, c.date);
    EXPECT_EQ(time, c.time);
    uint64_t back = 0;
    ASSERT_TRUE(plat::dosDateTimeToFileTime(date, time, &back));
    EXPECT_EQ(back, c.fileTime / 20000000ull * 20000000ull);  // even seconds
  }
  uint16_t date = 0, time = 0;
  EXPECT_FALSE(plat::fileTimeToDosDateTime(11644473600ull * 10000000ull, &date, &time));  // 1970
  uint64_t out = 0;
  EXPECT_FALSE(plat::dosDateTimeToFileTime((44 << 9) | (13 << 5) | 1, 0, &out));  // month 13
#ifndef _WIN32  // Wine takes 29 February in any year
  EXPECT_FALSE(plat::dosDateTimeToFileTime((45 << 9) | (2 << 5) | 29, 0, &out));  // 2025-02-29
#endif
}

TEST(PlatformTime, LocalTimeConversionsAreInverse) {
  const uint64_t now = plat::systemTimeAsFileTime();
  uint64_t local = 0, utc = 0;
  ASSERT_TRUE(plat::fileTimeToLocal(now, &local));
  ASSERT_TRUE(plat::localFileTimeToUtc(local, &utc));
  EXPECT_EQ(utc, now);
  const int64_t offset = static_cast<int64_t>(local - now);
  EXPECT_LE(offset < 0 ? -offset : offset, 14ll * 3600 * 10000000);
  EXPECT_EQ(offset % (15ll * 60 * 10000000), 0);  // whole quarter hours

  const uint32_t start = plat::tickCount();
  plat::sleepMs(40);
  // The tick count may advance in steps of about 16 ms.
  EXPECT_GE(plat::tickCount() - start, 20u);
}

TEST(PlatformErrors, ErrorModeAndLastErrorPerThread) {
  const uint32_t previous = plat::setErrorMode(0x8001);
  EXPECT_EQ(plat::setErrorMode(previous), 0x8001u);
  std::atomic<uint32_t> other{0};
  std::atomic<bool> set{false};
  std::atomic<bool> checked{false};
  // Starting a thread may itself touch the caller's last error, so the
  // caller sets its value once the thread runs.
  std::thread worker([&] {
    plat::setLastError(77);
    set = true;
    while (!checked) plat::sleepMs(1);
    other = plat::lastError();
  });
  while (!set) plat::sleepMs(1);
  plat::setLastError(1234);
  const uint32_t mine = plat::lastError();
  checked = true;
  worker.join();
  EXPECT_EQ(other, 77u);
  EXPECT_EQ(mine, 1234u);
}

#ifndef _WIN32
class PosixMachine : public testing::Test {
 protected:
  void SetUp() override { qwinTestResetMachine(); }
  void TearDown() override { qwinTestResetMachine(); }
};

TEST_F(PosixMachine, ProfileStringsFallBackWhenMissing) {
  char value[32];
  EXPECT_EQ(plat::profileString("Albums", "Folder", "C:\\Albums", value, sizeof value), 9u);
  EXPECT_STREQ(value, "C:\\Albums");
  EXPECT_EQ(plat::profileInt("Albums", "Thumbs", 12), 12);

  qwinTestSetProfileString("Albums", "Folder", "D:\\Pictures");
  qwinTestSetProfileString("Albums", "Thumbs", "96");
  qwinTestSetProfileString("Albums", "Broken", "x1");
  EXPECT_EQ(plat::profileString("ALBUMS", "folder", "C:\\Albums", value, sizeof value), 11u);
  EXPECT_STREQ(value, "D:\\Pictures");
  EXPECT_EQ(plat::profileString("albums", "FOLDER", "", value, 4), 3u);
  EXPECT_STREQ(value, "D:\\");
  EXPECT_EQ(plat::profileInt("Albums", "thumbs", 12), 96);
  EXPECT_EQ(plat::profileInt("Albums", "Broken", 12), 0);
  EXPECT_EQ(plat::profileString("Other", "Folder", nullptr, value, sizeof value), 0u);

  qwinTestSetProfileString("Albums", "Folder", nullptr);
  EXPECT_EQ(plat::profileString("Albums", "Folder", "gone", value, sizeof value), 4u);
  qwinTestClearProfile();
  EXPECT_EQ(plat::profileInt("Albums", "Thumbs", -1), -1);
}

TEST_F(PosixMachine, RegistryKeysExistBelowTheirValues) {
  using plat::RegistryRoot;
  std::vector<std::string> names;
  EXPECT_FALSE(plat::registrySubKeys(RegistryRoot::LocalMachine, "Software\\Vendor", &names));

  qwinTestSetRegistryString("HKLM", "Software\\Vendor\\Albums\\Main", "Path", "C:\\Main");
  qwinTestSetRegistryString("HKLM", "Software\\Vendor\\Albums\\Archive", "Path", "C:\\Old");
  qwinTestSetRegistryString("HKCU", "Software\\Vendor\\Settings", "", "default");
  ASSERT_TRUE(plat::registrySubKeys(RegistryRoot::LocalMachine, "SOFTWARE\\vendor", &names));
  EXPECT_EQ(names, std::vector<std::string>{"Albums"});
  ASSERT_TRUE(
      plat::registrySubKeys(RegistryRoot::LocalMachine, "Software\\Vendor\\Albums", &names));
  EXPECT_EQ(names, (std::vector<std::string>{"Archive", "Main"}));
  ASSERT_TRUE(
      plat::registrySubKeys(RegistryRoot::LocalMachine, "Software\\Vendor\\Albums\\Main", &names));
  EXPECT_TRUE(names.empty());

  std::string value;
  ASSERT_TRUE(plat::registryString(RegistryRoot::LocalMachine, "Software\\Vendor\\Albums\\MAIN",
                                   "path", &value));
  EXPECT_EQ(value, "C:\\Main");
  EXPECT_FALSE(plat::registryString(RegistryRoot::LocalMachine, "Software\\Vendor\\Albums\\Main",
                                    "Other", &value));
  EXPECT_FALSE(plat::registryString(RegistryRoot::CurrentUser, "Software\\Vendor\\Albums\\Main",
                                    "Path", &value));
  ASSERT_TRUE(
      plat::registryString(RegistryRoot::CurrentUser, "Software\\Vendor\\Settings", "", &value));
  EXPECT_EQ(value, "default");
  qwinTestClearRegistry();
  EXPECT_FALSE(plat::registrySubKeys(RegistryRoot::LocalMachine, "Software", &names));
}

TEST_F(PosixMachine, ComputerNameAndDisplay) {
  char name[32];
  ASSERT_TRUE(plat::computerName(name, sizeof name));
  const std::string host = name;
  EXPECT_FALSE(host.empty());
  EXPECT_LE(host.size(), 15u);
  for (char c : host) {
    EXPECT_FALSE(c >= 'a' && c <= 'z') << host;
  }

  qwinTestSetComputerName("ALBUMHOST");
  ASSERT_TRUE(plat::computerName(name, sizeof name));
  EXPECT_STREQ(name, "ALBUMHOST");
  EXPECT_FALSE(plat::computerName(name, 5));
  EXPECT_EQ(plat::lastError(), 111u);  // buffer overflow

  EXPECT_EQ(plat::screenPixelsPerInch(), 96);
  qwinTestSetLogPixels(120);
  EXPECT_EQ(plat::screenPixelsPerInch(), 120);
  qwinTestResetMachine();
  EXPECT_EQ(plat::screenPixelsPerInch(), 96);
  ASSERT_TRUE(plat::computerName(name, sizeof name));
  EXPECT_EQ(std::string(name), host);
}
#endif

}  // namespace
