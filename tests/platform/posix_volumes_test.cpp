// The emulated machine's volumes: drive letters and UNC shares on host
// folders, their properties, 8.3 volumes, network connections, and how
// Windows paths are formed from host ones.
#ifndef _WIN32

#include <gtest/gtest.h>

#include <string>

#include "afm3_compat.h"
#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::File;
using afm3test::kReadWrite;
using plat::Disposition;

class PosixVolumes : public testing::Test {
 protected:
  void SetUp() override {
    qwinTestResetMachine();
    host_ = dir_.file("volume");
    ASSERT_TRUE(plat::createDirectory(host_.c_str()));
  }
  void TearDown() override { qwinTestResetMachine(); }

  std::string fullPath(const char* path) {
    char out[MAX_PATH];
    return plat::fullPathName(path, out, sizeof out) ? std::string(out) : "<failed>";
  }

  afm3test::TempDir dir_;
  std::string host_;  // the folder a test maps, as a Windows path of Z:
};

TEST_F(PosixVolumes, DefaultMachineHasOnlyZ) {
  EXPECT_EQ(plat::driveType("Z:\\"), static_cast<uint32_t>(DRIVE_FIXED));
  EXPECT_EQ(plat::driveType("C:\\"), static_cast<uint32_t>(DRIVE_NO_ROOT_DIR));
  plat::VolumeInfo info;
  EXPECT_FALSE(plat::volumeInformation("C:\\", &info));
  EXPECT_EQ(plat::lastError(), plat::kErrPathNotFound);
  ASSERT_TRUE(plat::volumeInformation("z:\\", &info));
  EXPECT_EQ(info.maxComponentLength, 255u);
  File onC("C:\\x.txt", kReadWrite, 0, Disposition::CreateAlways);
  EXPECT_EQ(onC.error(), plat::kErrPathNotFound);

  // Host paths are Z: paths, and Windows paths come back from the layer.
  EXPECT_EQ(fullPath("/tmp/x/../y"), "Z:\\tmp\\y");
  EXPECT_EQ(fullPath("z:\\a\\.\\b\\..\\c\\"), "Z:\\a\\c\\");
  EXPECT_EQ(fullPath("Z:/a/b"), "Z:\\a\\b");
  char temp[MAX_PATH];
  ASSERT_GT(plat::tempFolder(temp, sizeof temp), 0u);
  EXPECT_EQ(std::string(temp).substr(0, 3), "Z:\\");
  EXPECT_EQ(std::string(temp).back(), '\\');
  EXPECT_EQ(plat::tempFolder(temp, 2), std::string(temp).size() + 1);
}

TEST_F(PosixVolumes, DrivesMapOntoFoldersWithTheirProperties) {
  for (UINT type : {DRIVE_REMOVABLE, DRIVE_FIXED, DRIVE_REMOTE, DRIVE_CDROM, DRIVE_RAMDISK}) {
    ASSERT_TRUE(qwinTestAddVolume("Q:\\", host_.c_str(), "ALBUMS", type, 255, 0x1234ABCD, nullptr));
    EXPECT_EQ(plat::driveType("q:\\"), type);
  }
  plat::VolumeInfo info;
  ASSERT_TRUE(plat::volumeInformation("Q:\\", &info));
  EXPECT_STREQ(info.label, "ALBUMS");
  EXPECT_EQ(info.serial, 0x1234ABCDu);
  EXPECT_EQ(info.maxComponentLength, 255u);
  EXPECT_FALSE(plat::volumeInformation("Q:\\sub\\", &info));

  // What is written on Q: lands in the host folder, and back.
  ASSERT_TRUE(plat::createDirectory("q:\\Photos"));
  ASSERT_TRUE(afm3test::writeWholeFile("Q:\\photos\\a.txt", "on q"));
  EXPECT_EQ(afm3test::readWholeFile(host_ + "\\Photos\\a.txt"), "on q");
  EXPECT_EQ(plat::fileAttributes("Q:\\"), static_cast<uint32_t>(plat::kAttrDirectory));
  plat::FindData data;
  plat::FindHandle root = plat::findFirst("Q:\\*", &data);
  ASSERT_NE(root, plat::invalidFile());
  EXPECT_STREQ(data.name, "Photos");  // a volume root has no "." or ".."
  EXPECT_FALSE(plat::findNext(root, &data));
  plat::findClose(root);

  // A fixed free-space figure, and back to the real one.
  uint64_t free = 0;
  ASSERT_TRUE(qwinTestSetFreeSpace("Q:\\", 12345));
  ASSERT_TRUE(plat::diskFreeSpace("Q:\\Photos", &free));
  EXPECT_EQ(free, 12345u);
  ASSERT_TRUE(qwinTestSetFreeSpace("Q:\\", -1));
  ASSERT_TRUE(plat::diskFreeSpace("Q:\\", &free));
  EXPECT_GT(free, 12345u);
  EXPECT_FALSE(plat::diskFreeSpace("Q:\\absent", &free));

  ASSERT_TRUE(qwinTestRemoveVolume("Q:"));
  EXPECT_EQ(plat::driveType("Q:\\"), static_cast<uint32_t>(DRIVE_NO_ROOT_DIR));
  EXPECT_FALSE(
      qwinTestAddVolume("Q:\\", (host_ + "\\absent").c_str(), "", DRIVE_FIXED, 255, 1, nullptr));
  EXPECT_FALSE(qwinTestAddVolume("Q:\\", host_.c_str(), "", 9, 255, 1, nullptr));
}

TEST_F(PosixVolumes, ShortNameVolumeRefusesLongNames) {
  ASSERT_TRUE(afm3test::writeWholeFile(host_ + "\\OLD.TXT", "old"));
  ASSERT_TRUE(qwinTestAddVolume("A:\\", host_.c_str(), "FLOPPY", DRIVE_REMOVABLE, 12, 7, nullptr));
  plat::VolumeInfo info;
  ASSERT_TRUE(plat::volumeInformation("A:\\", &info));
  EXPECT_EQ(info.maxComponentLength, 12u);

  const char* refused[] = {"A:\\Long Name.txt", "A:\\ABCDEFGHI.TXT", "A:\\NAME.TEXT", "A:\\A.B.C"};
  for (const char* path : refused) {
    SCOPED_TRACE(path);
    File file(path, kReadWrite, 0, Disposition::CreateNew);
    EXPECT_EQ(file.error(), plat::kErrFilenameExcedRange);
    EXPECT_FALSE(plat::createDirectory(path));
    EXPECT_EQ(plat::lastError(), plat::kErrFilenameExcedRange);
    EXPECT_FALSE(plat::moveFile("A:\\OLD.TXT", path));
    EXPECT_EQ(plat::lastError(), plat::kErrFilenameExcedRange);
    EXPECT_FALSE(plat::copyFile("A:\\OLD.TXT", path, false));
    EXPECT_EQ(plat::lastError(), plat::kErrFilenameExcedRange);
  }
  File fits("A:\\ALBUM1.MRK", kReadWrite, 0, Disposition::CreateNew);
  EXPECT_TRUE(fits.ok());
  EXPECT_TRUE(plat::createDirectory("A:\\PHOTOS"));
  EXPECT_TRUE(plat::copyFile("A:\\OLD.TXT", "A:\\PHOTOS\\NEW.TXT", true));
  // A long-name volume takes the same names.
  ASSERT_TRUE(qwinTestAddVolume("A:\\", host_.c_str(), "", DRIVE_FIXED, 255, 7, nullptr));
  EXPECT_TRUE(plat::createDirectory("A:\\Long Folder Name"));
}

TEST_F(PosixVolumes, SharesWaitForTheirConnection) {
  ASSERT_TRUE(qwinTestAddShare("server", "albums", host_.c_str(), "SHARED", FALSE));
  const char* file = "\\\\SERVER\\Albums\\x.txt";
  File early(file, kReadWrite, 0, Disposition::CreateAlways);
  EXPECT_EQ(early.error(), plat::kErrBadNetPath);
  EXPECT_EQ(plat::driveType("\\\\server\\albums\\"), static_cast<uint32_t>(DRIVE_NO_ROOT_DIR));

  EXPECT_EQ(plat::connectNetworkPath("\\\\server\\nosuch"), plat::kErrBadNetName);
  EXPECT_EQ(plat::connectNetworkPath("\\\\nobody\\albums"), plat::kErrBadNetPath);
  EXPECT_EQ(plat::lastError(), plat::kErrBadNetPath);
  EXPECT_EQ(plat::connectNetworkPath("\\\\server\\albums\\sub"), plat::kErrSuccess);

  ASSERT_TRUE(afm3test::writeWholeFile(file, "shared"));
  EXPECT_EQ(afm3test::readWholeFile(host_ + "\\x.txt"), "shared");
  EXPECT_EQ(plat::driveType("\\\\server\\albums\\"), static_cast<uint32_t>(DRIVE_REMOTE));
  plat::VolumeInfo info;
  ASSERT_TRUE(plat::volumeInformation("\\\\server\\albums\\", &info));
  EXPECT_STREQ(info.label, "SHARED");
  File unknownShare("\\\\server\\other\\x.txt", plat::kGenericRead, 0);
  EXPECT_EQ(unknownShare.error(), plat::kErrBadNetName);
  char full[MAX_PATH];
  ASSERT_GT(plat::fullPathName("\\\\server\\albums\\a\\..\\b", full, sizeof full), 0u);
  EXPECT_STREQ(full, "\\\\server\\albums\\b");

  // A drive redirected to the share reports its remote name.
  ASSERT_TRUE(
      qwinTestAddVolume("N:\\", host_.c_str(), "NET", DRIVE_REMOTE, 255, 3, "\\\\server\\albums"));
  char remote[64];
  EXPECT_EQ(plat::networkConnectionName("N:", remote, sizeof remote), plat::kErrSuccess);
  EXPECT_STREQ(remote, "\\\\server\\albums");
  EXPECT_EQ(plat::networkConnectionName("N:", remote, 4), 234u);  // more data
  EXPECT_EQ(plat::networkConnectionName("Z:", remote, sizeof remote), plat::kErrNotConnected);
  EXPECT_EQ(plat::networkConnectionName("K:", remote, sizeof remote), 1200u);  // bad device

  qwinTestResetMachine();
  File gone(file, plat::kGenericRead, 0);
  EXPECT_EQ(gone.error(), plat::kErrBadNetPath);
}

TEST_F(PosixVolumes, CurrentDirectoryAndRelativePaths) {
  ASSERT_TRUE(qwinTestAddVolume("Q:\\", host_.c_str(), "", DRIVE_FIXED, 255, 1, nullptr));
  ASSERT_TRUE(plat::createDirectory("Q:\\photos"));
  ASSERT_TRUE(plat::setCurrentDirectory("q:\\photos\\"));
  char cwd[MAX_PATH];
  ASSERT_GT(plat::currentDirectory(cwd, sizeof cwd), 0u);
  EXPECT_STREQ(cwd, "Q:\\photos");
  const struct {
    const char* path;
    const char* full;
  } cases[] = {
      {"a.txt", "Q:\\photos\\a.txt"}, {"Q:b", "Q:\\photos\\b"}, {"\\c", "Q:\\c"},
      {"..\\d\\.\\e", "Q:\\d\\e"},    {"R:x", "R:\\x"},         {"..\\..\\..", "Q:\\"},
      {"name. ", "Q:\\photos\\name"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(fullPath(c.path), c.full) << c.path;
  }
  // Without a root, volume queries name the current directory's volume.
  plat::VolumeInfo info;
  ASSERT_TRUE(qwinTestAddVolume("Q:\\", host_.c_str(), "CURRENT", DRIVE_FIXED, 12, 1, nullptr));
  ASSERT_TRUE(plat::volumeInformation(nullptr, &info));
  EXPECT_STREQ(info.label, "CURRENT");
  EXPECT_EQ(info.maxComponentLength, 12u);
  ASSERT_TRUE(qwinTestAddVolume("Q:\\", host_.c_str(), "", DRIVE_FIXED, 255, 1, nullptr));
  ASSERT_TRUE(afm3test::writeWholeFile("relative.txt", "here"));
  EXPECT_EQ(afm3test::readWholeFile(host_ + "\\photos\\relative.txt"), "here");
  EXPECT_FALSE(plat::setCurrentDirectory("Q:\\absent"));
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);
  // Resetting the machine brings the current directory back to Z:.
  qwinTestResetMachine();
  ASSERT_GT(plat::currentDirectory(cwd, sizeof cwd), 0u);
  EXPECT_EQ(std::string(cwd).substr(0, 3), "Z:\\");
}

TEST_F(PosixVolumes, HostPathsTakeTheClosestDrive) {
  char program[MAX_PATH];
  ASSERT_GT(plat::moduleFileName(nullptr, program, sizeof program), 0u);
  std::string folder = program;
  const std::string name = folder.substr(folder.rfind('\\') + 1);
  folder.resize(folder.rfind('\\'));
  ASSERT_TRUE(qwinTestAddVolume("P:\\", folder.c_str(), "", DRIVE_FIXED, 255, 1, nullptr));
  ASSERT_GT(plat::moduleFileName(nullptr, program, sizeof program), 0u);
  EXPECT_EQ(std::string(program), "P:\\" + name);
  // Truncated like GetModuleFileName: the buffer size and error 122.
  EXPECT_EQ(plat::moduleFileName(nullptr, program, 3), 3u);
  EXPECT_EQ(plat::lastError(), plat::kErrInsufficientBuffer);
  EXPECT_STREQ(program, "P:");
}

}  // namespace

#endif  // _WIN32
