// Native hosts name files with plain POSIX paths: every mark function takes
// them and means the same file as the drive path ("Z:\..."). Paths handed
// back are in the library's drive form.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>

#include "afm3.h"
#include "mark_fixtures.h"

#ifndef _WIN32

namespace marktest {
namespace {

class PosixMarkPaths : public MarkTest {
 protected:
  // "Z:\tmp\x\" is "/tmp/x/" on the host.
  static std::string posix(const std::string& drivePath) {
    EXPECT_EQ(drivePath.substr(0, 3), "Z:\\");
    std::string path = drivePath.substr(2);
    std::replace(path.begin(), path.end(), '\\', '/');
    return path;
  }
};

TEST_F(PosixMarkPaths, EveryMarkFunctionTakesThem) {
  char made[AFM3_MAX_PATH];
  std::snprintf(made, sizeof made, "%s", posix(file("p.mrk")).c_str());
  ASSERT_TRUE(afm3NewMarkFile(owner(), 0, "t", made, FALSE));
  EXPECT_EQ(std::string(made), file("p.mrk"));
  const std::string mark = posix(file("p.mrk"));
  EXPECT_EQ(afm3CheckMarkFileStatus(owner(), mark.c_str()), 1);
  EXPECT_EQ(afm3GetFileNameHash("/pics/AB.JPG"), 293u);

  // The picture "/pics/AB.JPG" is "Z:\pics\AB.JPG".
  Bytes record = markRecord("/pics/AB.JPG", 0x5);
  ASSERT_TRUE(afm3InsertThumbMark(owner(), mark.c_str(), record.data()));
  DWORD set = 0;
  EXPECT_EQ(afm3ReadThumbMark(owner(), file("p.mrk").c_str(), "Z:\\pics\\AB.JPG", "", kFixed, &set),
            1);
  ASSERT_TRUE(afm3test::writeWholeFile(file("Album One.ab3"), "album"));
  const std::string album = posix(file("Album One.ab3"));
  const Bytes names = nameTable({"red"});
  std::string markPath = mark;
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), markPath.data(), names.data(), album.c_str(), "T"));
  char albumOut[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3GetMarkFileInfo(owner(), mark.c_str(), nullptr, nullptr, albumOut));
  EXPECT_EQ(std::string(albumOut), key(file("Album One.ab3")));
  LPSTR strings = nullptr;
  ASSERT_TRUE(afm3GetRecordMarkName(owner(), mark.c_str(), 0x5, &strings));
  EXPECT_STREQ(strings, "red");
  GlobalUnlock(GlobalHandle(strings));
  GlobalFree(GlobalHandle(strings));
  DWORD count = 0;
  ASSERT_TRUE(afm3GetAllMarkRec(owner(), mark.c_str(), nullptr, nullptr, &count));
  EXPECT_EQ(count, 1u);
  char copy[AFM3_MAX_PATH], found[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3DupMarkFile(owner(), mark.c_str(), album.c_str(), "T", copy, TRUE));
  ASSERT_TRUE(afm3GetRightMarkFile(owner(), album.c_str(), "T", found, FALSE));
  EXPECT_EQ(std::string(found), file("Album One.mrk"));
  EXPECT_EQ(std::string(copy), found);
  EXPECT_EQ(afm3RemoveThumbMark(owner(), mark.c_str(), "/pics/AB.JPG", "", kFixed), 1);
}

TEST_F(PosixMarkPaths, AnAlbumNamedByAPosixPathGetsAndFindsItsMarkFile) {
  const std::string album = posix(file("Summer.ab3"));
  const Bytes info = afm3test::albumInfo("Summer");
  const Bytes fields = afm3test::specs({afm3test::fieldSpec("Note", 11)});
  char markPath[AFM3_MAX_PATH] = "";
  HANDLE handle =
      afm3CreateAlbum(owner(), info.data(), 1, fields.data(), album.c_str(), nullptr, markPath);
  ASSERT_NE(handle, nullptr) << afm3test::lastError().text;
  afm3CloseAlbum(owner(), handle);
  EXPECT_EQ(std::string(markPath), home() + "Summer.mrk");
  EXPECT_EQ(readMarkFile(fileBytes(markPath)).albumPath, key(file("Summer.ab3")));
  char found[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3GetRightMarkFile(owner(), album.c_str(), "Summer", found, FALSE));
  EXPECT_EQ(std::string(found), markPath);
  char kept[AFM3_MAX_PATH];
  std::snprintf(kept, sizeof kept, "%s", posix(markPath).c_str());
  ASSERT_NE(
      afm3OpenAlbum(owner(), album.c_str(), AFM3_OPEN_READ_ONLY, &handle, kept, nullptr, nullptr),
      static_cast<DWORD>(AFM3_OPEN_FAILED));
  afm3CloseAlbum(owner(), handle);
  EXPECT_EQ(std::string(kept), posix(markPath)) << "a valid mark file is kept as given";
}

}  // namespace
}  // namespace marktest

#endif
