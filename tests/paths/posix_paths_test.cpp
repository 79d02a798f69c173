// Native hosts name albums and pictures with their own paths: absolute
// and relative POSIX paths work wherever drive paths do, and what the
// library hands back converts to the host's path.
#include <gtest/gtest.h>

#ifndef _WIN32

#include <filesystem>
#include <string>

#include "afm3.h"
#include "afm3_compat.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace {

using afm3test::Bytes;

enum class Form { Drive, PosixAbsolute, PosixRelative };

std::string hostOf(const std::string& libraryPath) {
  char out[1024] = {};
  EXPECT_TRUE(qwinHostPath(libraryPath.c_str(), out, sizeof out));
  return out;
}

// A path given in the library's drive form, written the way a host would.
std::string written(Form form, const std::string& libraryPath) {
  if (form == Form::Drive) return libraryPath;
  const std::string host = hostOf(libraryPath);
  if (form == Form::PosixAbsolute) return host;
  return std::filesystem::path(host).lexically_relative(std::filesystem::current_path()).string();
}

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x6100)); }

class PosixPaths : public ::testing::TestWithParam<Form> {
 protected:
  afm3test::TempDir dir_;
  Bytes info_ = afm3test::albumInfo("Trip");
  Bytes spec_ = afm3test::fieldSpec("T", 11);
};

TEST_P(PosixPaths, AlbumsAndPicturesWorkInEveryForm) {
  const std::string albums = dir_.file("albums");
  ASSERT_TRUE(afm3test::writeWholeFile(dir_.file("marker"), ""));
  std::filesystem::create_directories(hostOf(albums));
  const std::string album = albums + "\\x.ab3";

  HANDLE h = afm3CreateAlbum(owner(), info_.data(), 1, spec_.data(),
                             written(GetParam(), album).c_str(), nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  afm3CloseAlbum(owner(), h);
  EXPECT_EQ(afm3CheckAlbum(0, 0, nullptr, written(GetParam(), album).c_str(), nullptr), 0x300u);
  ASSERT_NE(afm3OpenAlbum(owner(), written(GetParam(), album).c_str(), 0x11, &h, nullptr, nullptr,
                          nullptr),
            0xFFFFu);

  // A picture named by the host's full path is kept, and handed back, in
  // the library's form (a picture's path is a full path: relative strings
  // are the caller's own and kept as they are).
  const std::string picture = albums + "\\pics\\a.jpg";
  const Form pictureForm = GetParam() == Form::PosixRelative ? Form::PosixAbsolute : GetParam();
  Bytes entry(280, 0);
  const char* text = "t";
  const void* values[] = {text};
  ASSERT_EQ(
      afm3InsertRecord(owner(), h, entry.data(), nullptr, nullptr,
                       written(pictureForm, picture).c_str(), values, nullptr, nullptr, nullptr),
      1);
  char path[AFM3_MAX_PATH] = {};
  ASSERT_TRUE(afm3ReadRecordPic(owner(), h, 0, nullptr, path, sizeof path, 0, nullptr));
  EXPECT_STREQ(path, picture.c_str());
  // A folder-relative path follows the album's folder.
  ASSERT_TRUE(afm3UpdateRecordPic(owner(), h, 0, nullptr, ".\\..\\sub\\b.jpg", nullptr, nullptr));
  ASSERT_TRUE(afm3ReadRecordPic(owner(), h, 0, nullptr, path, sizeof path, 0, nullptr));
  EXPECT_STREQ(path, (albums + "\\sub\\b.jpg").c_str());
  EXPECT_EQ(hostOf(path), hostOf(albums) + "/sub/b.jpg");
  afm3CloseAlbum(owner(), h);

  // Created in a folder, with a name made from the title.
  char made[AFM3_MAX_PATH] = {};
  h = afm3CreateAlbum(owner(), info_.data(), 1, spec_.data(), written(GetParam(), albums).c_str(),
                      made, nullptr);
  ASSERT_NE(h, nullptr) << made;
  afm3CloseAlbum(owner(), h);
  EXPECT_EQ(std::string(made).rfind(albums + "\\Trip", 0), 0u) << made;
  EXPECT_TRUE(std::filesystem::exists(hostOf(made)));
}

INSTANTIATE_TEST_SUITE_P(Forms, PosixPaths,
                         ::testing::Values(Form::Drive, Form::PosixAbsolute, Form::PosixRelative));

}  // namespace

#endif
