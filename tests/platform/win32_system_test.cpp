// The Win32 backend's modules, volumes, registry, network and child
// processes, checked against the real Windows objects behind them.
#ifdef _WIN32

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

bool endsWithNoCase(const char* text, const char* tail) {
  const size_t length = std::strlen(text), tailLength = std::strlen(tail);
  return length >= tailLength && plat::compareNoCase(text + length - tailLength, tail) == 0;
}

// qplatform is linked into each module that uses it, so the modules worth
// finding are the program and the system libraries.
TEST(Win32Modules, ExportsAndAddressesLeadToTheirModules) {
  HMODULE kernel = plat::loadLibrary("kernel32.dll");
  ASSERT_NE(kernel, nullptr);
  void* tick = plat::procAddress(kernel, "GetTickCount");
  EXPECT_EQ(tick, reinterpret_cast<void*>(&GetTickCount));
  EXPECT_EQ(plat::moduleOf(tick), kernel);
  EXPECT_EQ(plat::moduleOf(reinterpret_cast<const void*>(&plat::tickCount)),
            GetModuleHandleA(nullptr));

  char path[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(kernel, path, sizeof path), 0u);
  EXPECT_TRUE(endsWithNoCase(path, "\\kernel32.dll")) << path;
  EXPECT_TRUE(plat::freeLibrary(kernel));
}

TEST(Win32Volumes, SystemDriveAndFolders) {
  plat::VolumeInfo info;
  ASSERT_TRUE(plat::volumeInformation("C:\\", &info));
  EXPECT_EQ(info.maxComponentLength, 255u);
  EXPECT_STRNE(info.fileSystemName, "");
  EXPECT_EQ(plat::driveType("C:\\"), 3u);  // fixed
  uint64_t freeBytes = 0;
  EXPECT_TRUE(plat::diskFreeSpace("C:\\", &freeBytes));
  EXPECT_GT(freeBytes, 0u);

  // The application-data folder comes without a trailing backslash and
  // follows the path functions' buffer convention.
  char folder[MAX_PATH];
  const uint32_t length = plat::appDataFolder(folder, sizeof folder);
  ASSERT_GT(length, 3u);
  EXPECT_EQ(std::strlen(folder), length);
  EXPECT_NE(folder[length - 1], '\\');
  EXPECT_NE(plat::fileAttributes(folder) & plat::kAttrDirectory, 0u);
  std::vector<char> exact(length);
  EXPECT_EQ(plat::appDataFolder(exact.data(), length), length + 1);
  exact.resize(length + 1);
  EXPECT_EQ(plat::appDataFolder(exact.data(), length + 1), length);
  EXPECT_STREQ(exact.data(), folder);
}

class Win32Registry : public ::testing::Test {
 protected:
  void SetUp() override {
    keyPath_ = "Software\\afm3-platform-test-" + std::to_string(GetCurrentProcessId());
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, keyPath_.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                              nullptr, &key_, nullptr),
              ERROR_SUCCESS);
  }
  void TearDown() override {
    RegCloseKey(key_);
    RegDeleteTreeA(HKEY_CURRENT_USER, keyPath_.c_str());
  }
  void addSubKey(const char* name) {
    HKEY child;
    ASSERT_EQ(RegCreateKeyExA(key_, name, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &child, nullptr),
              ERROR_SUCCESS);
    RegCloseKey(child);
  }
  void setValue(const char* name, DWORD type, const void* data, DWORD bytes) {
    ASSERT_EQ(RegSetValueExA(key_, name, 0, type, static_cast<const BYTE*>(data), bytes),
              ERROR_SUCCESS);
  }

  std::string keyPath_;
  HKEY key_ = nullptr;
};

TEST_F(Win32Registry, SubKeysAndStringValues) {
  addSubKey("Second");
  addSubKey("First");
  std::vector<std::string> names{"stale"};
  ASSERT_TRUE(plat::registrySubKeys(plat::RegistryRoot::CurrentUser, keyPath_.c_str(), &names));
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"First", "Second"}));

  // Stored strings need not carry their terminating NUL.
  setValue("Terminated", REG_SZ, "C:\\Albums", 10);
  setValue("Bare", REG_SZ, "D:\\Pictures", 11);
  const DWORD number = 42;
  setValue("Number", REG_DWORD, &number, sizeof number);
  std::string value;
  ASSERT_TRUE(plat::registryString(plat::RegistryRoot::CurrentUser, keyPath_.c_str(), "Terminated",
                                   &value));
  EXPECT_EQ(value, "C:\\Albums");
  ASSERT_TRUE(
      plat::registryString(plat::RegistryRoot::CurrentUser, keyPath_.c_str(), "Bare", &value));
  EXPECT_EQ(value, "D:\\Pictures");
  EXPECT_FALSE(
      plat::registryString(plat::RegistryRoot::CurrentUser, keyPath_.c_str(), "Number", &value));

  plat::setLastError(0);
  EXPECT_FALSE(
      plat::registryString(plat::RegistryRoot::CurrentUser, keyPath_.c_str(), "Missing", &value));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  plat::setLastError(0);
  const std::string missingKey = keyPath_ + "\\Missing";
  EXPECT_FALSE(plat::registrySubKeys(plat::RegistryRoot::CurrentUser, missingKey.c_str(), &names));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  EXPECT_FALSE(plat::registrySubKeys(plat::RegistryRoot::LocalMachine, keyPath_.c_str(), &names));
}

TEST(Win32Network, ErrorsAreReturnedAndKeptAsLastError) {
  char remote[MAX_PATH];
  EXPECT_EQ(plat::networkConnectionName("C:", remote, sizeof remote), plat::kErrNotConnected);
  EXPECT_EQ(plat::lastError(), plat::kErrNotConnected);
  // Not a UNC path: refused before any network is asked.
  EXPECT_EQ(plat::connectNetworkPath("C:\\Albums"), plat::kErrBadNetName);
  EXPECT_EQ(plat::connectNetworkPath("\\\\server"), plat::kErrBadNetName);
  const uint32_t code = plat::connectNetworkPath("\\\\afm3-no-such-server\\share\\folder");
  EXPECT_NE(code, 0u);
  EXPECT_EQ(plat::lastError(), code);
}

// The command line must survive the C runtime's parser: runs of
// backslashes before quotes and at the end of quoted arguments are the
// cases that go wrong. The child writes what it received, one a line.
TEST(Win32Process, ArgumentsArriveUnchanged) {
  afm3test::TempDir dir;
  const std::string out = dir.file("args.txt");
  const std::vector<std::string> arguments = {"back\\\"quote", "\"",        "trailing\\\\",
                                              "x y\\\\",       "tab\there", "\\\\server\\share"};
  std::vector<std::string> command = {"echo", out};
  command.insert(command.end(), arguments.begin(), arguments.end());
  ASSERT_EQ(afm3test::runChild(command), 0);
  std::string expected;
  for (const std::string& argument : arguments) expected += argument + "\n";
  EXPECT_EQ(afm3test::readWholeFile(out), expected);
}

TEST(Win32Process, ProgramPathWithBlanks) {
  char self[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(nullptr, self, sizeof self), 0u);
  std::string child = self;
  child.replace(child.rfind('\\') + 1, std::string::npos, "platform_child.exe");
  afm3test::TempDir dir;
  const std::string folder = dir.file("tool folder");
  ASSERT_TRUE(plat::createDirectory(folder.c_str()));
  const std::string copy = folder + "\\child copy.exe";
  ASSERT_TRUE(plat::copyFile(child.c_str(), copy.c_str(), true));
  // Unquoted, the path would start "tool.exe" with the rest as arguments.
  ASSERT_TRUE(plat::copyFile(child.c_str(), dir.file("tool.exe").c_str(), true));
  EXPECT_EQ(plat::runProcess({copy, "exit", "42"}), 42);
}

}  // namespace

#endif  // _WIN32
