// Picture paths: the three forms of string A, their resolution against
// the album's own path, and the canonical form of existing paths.
#include "pictures/picture_paths.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <string>

#include "album_fixtures.h"
#include "core/canonical_path.h"
#include "picture_albums.h"
#include "platform.h"
#include "temp_dir.h"

using afm3::CanonicalNames;
using afm3::PathForm;
using picalbum::expectReport;

namespace {

PathForm formOf(const std::string& s) { return afm3::pathFormOf(s.c_str(), s.size()); }

TEST(PicturePathForm, IsDecidedByTheFirstFiveBytes) {
  EXPECT_EQ(formOf(".\\..\\img\\a.jpg"), PathForm::FolderRelative);
  EXPECT_EQ(formOf(".\\C:\\img\\a.jpg"), PathForm::RootRelative);
  EXPECT_EQ(formOf(".\\\\\\srv\\share\\a.jpg"), PathForm::RootRelative);
  EXPECT_EQ(formOf(".\\.."), PathForm::RootRelative);  // too short for the prefix
  EXPECT_EQ(formOf("C:\\img\\a.jpg"), PathForm::Absolute);
  EXPECT_EQ(formOf("\\\\srv\\share\\a.jpg"), PathForm::Absolute);
  EXPECT_EQ(formOf(""), PathForm::Absolute);
}

TEST(PicturePathResolution, FollowsTheAlbumsFolderOrRoot) {
  EXPECT_EQ(afm3::resolvePicturePath(".\\..\\pics\\a.jpg", "D:\\albums\\x.ab3"),
            "D:\\albums\\pics\\a.jpg");
  EXPECT_EQ(afm3::resolvePicturePath(".\\C:\\pics\\a.jpg", "\\\\srv\\share\\albums\\x.ab3"),
            "\\\\srv\\share\\pics\\a.jpg");
  EXPECT_EQ(afm3::resolvePicturePath(".\\C:\\pics\\a.jpg", "E:\\deep\\albums\\x.ab3"),
            "E:\\pics\\a.jpg");
  // An embedded network root is dropped up to the share's backslash.
  EXPECT_EQ(afm3::resolvePicturePath(".\\\\\\old\\place\\pics\\a.jpg", "F:\\x.ab3"),
            "F:\\pics\\a.jpg");
  EXPECT_EQ(afm3::resolvePicturePath(".\\\\\\old", "F:\\x.ab3"), "F:\\");
  EXPECT_EQ(afm3::resolvePicturePath(".\\..\\a.jpg", "\\\\srv\\share\\x.ab3"),
            "\\\\srv\\share\\a.jpg");
  EXPECT_EQ(afm3::resolvePicturePath("C:\\abs\\a.jpg", "D:\\x.ab3"), "C:\\abs\\a.jpg");
}

TEST(PicturePathResolution, IsCutTo258Characters) {
  const std::string tail(300, 'n');
  const std::string resolved = afm3::resolvePicturePath((".\\..\\" + tail).c_str(), "D:\\a\\x.ab3");
  EXPECT_EQ(resolved.size(), 258u);
  EXPECT_EQ(resolved.substr(0, 6), "D:\\a\\n");
}

TEST(PicturePathResolution, LocationRootIsTheShareOrThreeCharacters) {
  EXPECT_EQ(afm3::locationRootOf("\\\\srv\\share\\albums\\x.ab3"), "\\\\srv\\share\\");
  EXPECT_EQ(afm3::locationRootOf("d:\\albums\\x.ab3"), "d:\\");
}

#ifndef _WIN32
TEST(PicturePathResolution, BoundedCopyNeverSplitsADoubleByteCharacter) {
  qwinTestSetCodePage(932);
  char out[5] = {'x', 'x', 'x', 'x', 'x'};
  afm3::copyBounded("ab\x82\xa0z", out, sizeof out);  // a lead byte at index 2
  EXPECT_STREQ(out, "ab\x82\xa0");
  afm3::copyBounded("abc\x82\xa0", out, sizeof out);  // would end on a lead byte
  EXPECT_STREQ(out, "abc");
  qwinTestSetCodePage(1252);
}
#endif

// ---- the canonical form -------------------------------------------------

class CanonicalPath : public testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(plat::createDirectory(dir_.file("Long Folder Name").c_str()));
    ASSERT_TRUE(afm3test::writeWholeFile(dir_.file("Long Folder Name\\Picture Of Sea.jpeg"), "x"));
    ASSERT_TRUE(afm3test::writeWholeFile(dir_.file("Long Folder Name\\ABC.JPG"), "x"));
    // The scratch folder's own canonical forms; the tests look at what
    // follows them.
    const std::string folder = dir_.path().substr(0, dir_.path().size() - 1);
    ASSERT_TRUE(afm3::canonicalPath(folder.c_str(), base_, sizeof base_, CanonicalNames::Long));
    ASSERT_TRUE(
        afm3::canonicalPath(folder.c_str(), shortBase_, sizeof shortBase_, CanonicalNames::Short));
  }

  std::string upper(std::string s) {
    for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return s;
  }

  afm3test::TempDir dir_;
  char base_[MAX_PATH] = {};
  char shortBase_[MAX_PATH] = {};
};

TEST_F(CanonicalPath, LongNamesComeAsTheFileSystemSpellsThem) {
  char out[MAX_PATH];
  const std::string typed = upper(dir_.file("long folder name\\picture of sea.jpeg"));
  ASSERT_TRUE(afm3::canonicalPath(typed.c_str(), out, sizeof out, CanonicalNames::Long));
  EXPECT_EQ(std::string(out), std::string(base_) + "\\Long Folder Name\\Picture Of Sea.jpeg");
  // An 8.3 name has no alternate: all but its first character lower-cased.
  ASSERT_TRUE(afm3::canonicalPath(dir_.file("LONG FOLDER NAME\\abc.jpg").c_str(), out, sizeof out,
                                  CanonicalNames::Long));
  EXPECT_EQ(std::string(out), std::string(base_) + "\\Long Folder Name\\Abc.jpg");
}

TEST_F(CanonicalPath, ShortNamesAreLowerCaseEightDotThree) {
  char out[MAX_PATH];
  ASSERT_TRUE(afm3::canonicalPath(dir_.file("Long Folder Name\\Picture Of Sea.jpeg").c_str(), out,
                                  sizeof out, CanonicalNames::Short));
  const std::string result = out;
  ASSERT_EQ(result.rfind(shortBase_, 0), 0u) << result;
  const std::string tail = result.substr(std::strlen(shortBase_) + 1);
  for (char c : tail) EXPECT_FALSE(std::isupper(static_cast<unsigned char>(c))) << tail;
  const size_t slash = tail.find('\\');
  ASSERT_NE(slash, std::string::npos);
  EXPECT_LE(slash, 8u);
  EXPECT_LE(tail.size() - slash - 1, 12u);
  EXPECT_NE(tail.find('~'), std::string::npos);
  // The short form names the same file.
  EXPECT_NE(plat::fileAttributes(out), plat::kInvalidAttributes);
}

TEST_F(CanonicalPath, FailuresAreReportedWithTheirSteps) {
  char out[MAX_PATH] = "untouched";
  EXPECT_FALSE(afm3::canonicalPath("C", out, sizeof out, CanonicalNames::Long));
  expectReport(1, 7011, 4, 1);
  EXPECT_STREQ(out, "");
  EXPECT_FALSE(afm3::canonicalPath("\\\\serveronly", out, sizeof out, CanonicalNames::Long));
  expectReport(1, 7011, 4, 2);
  EXPECT_FALSE(afm3::canonicalPath(dir_.file("Long Folder Name\\missing.jpg").c_str(), out,
                                   sizeof out, CanonicalNames::Long));
  expectReport(6436, 7011, 4, 3);
  char small[8];
  EXPECT_FALSE(afm3::canonicalPath(dir_.file("Long Folder Name").c_str(), small, sizeof small,
                                   CanonicalNames::Long));
  expectReport(1, 7011, 4, 4);
  afm3test::clearLastError();
  EXPECT_FALSE(afm3::canonicalPath("C", out, sizeof out, CanonicalNames::Long,
                                   afm3::CanonicalReports::Quiet));
  picalbum::expectNoReport();
}

TEST_F(CanonicalPath, ADriveRootAloneIsItsOwnFormWithAnUpperCaseLetter) {
  char out[MAX_PATH];
  const std::string root = std::string(1, static_cast<char>(std::tolower(base_[0]))) + ":\\";
  ASSERT_TRUE(afm3::canonicalPath(root.c_str(), out, sizeof out, CanonicalNames::Long));
  EXPECT_EQ(std::string(out), upper(root));
}

}  // namespace
