// Mark files as a whole: hashes, empty files, status, information, the
// album's own mark file (found, copied, made on creation and opening).
#include "marks/mark_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "afm3.h"
#include "core/album_table.h"
#include "core/library_state.h"
#include "mark_fixtures.h"
#include "platform.h"

namespace marktest {
namespace {

TEST(MarkHashes, WorkedExamples) {
  struct Case {
    const char* path;
    DWORD hash;
  } cases[] = {
      {"C:\\PICS\\AB.JPG", 293},
      {"a:\\x\\Ab.jpeg", 293},
      {"C:\\abc", 590 % 509},
      {"C:\\pics\\", 0},
      {"", 0},
      {"ab", 293},
  };
  for (const Case& c : cases) EXPECT_EQ(afm3GetFileNameHash(c.path), c.hash) << c.path;
  EXPECT_EQ(afm3GetFileNameHashExt("D:\\x\\ab.jpg"), 587u);
  EXPECT_EQ(afm3GetFileNameHash(nullptr), 0u);
}

class MarkFiles : public MarkTest {};

TEST_F(MarkFiles, ANewMarkFileIsEmptyAndNeverReplacesAnother) {
  const std::string first = newMarkFile("x.mrk", "A title longer than twenty-three");
  const Bytes bytes = fileBytes(first);
  EXPECT_EQ(bytes.size(), kEmptySize);
  const MarkFileImage image = readMarkFile(bytes);
  EXPECT_EQ(image.problem, "");
  EXPECT_EQ(image.live + image.freeCount, 0);
  EXPECT_EQ(image.title, "A title longer than twe");
  EXPECT_EQ(newMarkFile("x.mrk"), file("x-0000.mrk"));
  EXPECT_EQ(fileBytes(first), bytes);
  // A folder that cannot take it: AppDataFolder only when allowed, and
  // there too under a name of its own.
  char path[AFM3_MAX_PATH];
  for (const std::string& expected : {std::string(), home() + "m.mrk", home() + "m-0000.mrk"}) {
    std::snprintf(path, sizeof path, "%s", file("missing\\m.mrk").c_str());
    EXPECT_EQ(afm3NewMarkFile(owner(), 0, "t", path, !expected.empty()), !expected.empty());
    if (expected.empty()) {
      expectReport(3, 7013, 2, 1);
    } else {
      EXPECT_EQ(std::string(path), expected);
    }
  }
}

#ifndef _WIN32
TEST_F(MarkFiles, AVolumeWithoutRoomForAnEmptyFileGetsNone) {
  std::string host = dir_.path().substr(2);  // Z:\... is the host's /...
  std::replace(host.begin(), host.end(), '\\', '/');
  ASSERT_TRUE(qwinTestAddVolume("M:\\", host.c_str(), "SMALL", DRIVE_FIXED, 255, 1, nullptr));
  for (long long room : {3036LL, 3037LL}) {
    ASSERT_TRUE(qwinTestSetFreeSpace("M:\\", room));
    char path[AFM3_MAX_PATH] = "M:\\small.mrk";
    const BOOL made = afm3NewMarkFile(owner(), 0, "", path, FALSE);
    EXPECT_EQ(made, room > 3036);
    if (!made) {
      const afm3test::LastError e = afm3test::lastError();
      EXPECT_EQ(e.id, 0u) << "a ready text";
      EXPECT_EQ(e.step, 4u);
      EXPECT_NE(e.text.find("3036"), std::string::npos) << e.text;
      EXPECT_EQ(plat::fileAttributes("M:\\small.mrk"), plat::kInvalidAttributes);
    }
  }
  qwinTestRemoveVolume("M:\\");
}
#endif

TEST_F(MarkFiles, StatusTellsValidDamagedAndMissingFiles) {
  const std::string path = newMarkFile();
  EXPECT_EQ(afm3CheckMarkFileStatus(owner(), path.c_str()), 1);
  const Bytes sound = fileBytes(path);
  // {byte changed, its new value, bytes kept, step of the report}
  const size_t cases[][4] = {{3, 0x4D, kEmptySize, 3}, {100, 1, kEmptySize, 4}, {0, 0xD6, 100, 2}};
  for (const auto& c : cases) {
    Bytes damaged = sound;
    damaged[c[0]] = static_cast<uint8_t>(c[1]);
    damaged.resize(c[2]);
    ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(damaged.begin(), damaged.end())));
    EXPECT_EQ(afm3CheckMarkFileStatus(owner(), path.c_str()), -1) << c[3];
    expectReport(c[3] == 2 ? 6433 : 6432, 7012, 2, static_cast<uint32_t>(c[3]));
  }
  EXPECT_EQ(afm3CheckMarkFileStatus(owner(), file("none.mrk").c_str()), 0);
  expectReport(2, 7013, 1, 1);
}

TEST_F(MarkFiles, InformationGoesInAndComesBack) {
  std::string markPath = newMarkFile("i.mrk", "old");
  ASSERT_TRUE(afm3test::writeWholeFile(file("Some Album.ab3"), "x"));
  const Bytes names = nameTable({"red", "", "blue"});
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), markPath.data(), names.data(),
                                     file("SOME ALBUM.AB3").c_str(), "Holiday"));
  // Only what is given changes.
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), markPath.data(), nullptr, nullptr, "New"));
  Bytes namesOut(832, 0xFF);
  char title[24], album[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3GetMarkFileInfo(owner(), markPath.c_str(), namesOut.data(), title, album));
  EXPECT_EQ(namesOut, names);
  EXPECT_STREQ(title, "New");
  EXPECT_EQ(album, key(file("Some Album.ab3")));
  EXPECT_FALSE(
      afm3UpdateMarkFileInfo(owner(), markPath.data(), nullptr, file("gone.ab3").c_str(), nullptr));
  expectReport(6436, 7011, 4, 3);
}

// The album's own mark file, made by the routine album creation and
// opening hand their markPath to.
class AlbumMarks : public MarkTest {
 protected:
  std::string albumPath(const std::string& name = "Trip.ab3") {
    const std::string path = file(name);
    if (plat::fileAttributes(path.c_str()) == plat::kInvalidAttributes) {
      EXPECT_TRUE(afm3test::writeWholeFile(path, "album"));
    }
    return path;
  }
  std::string markFor(const std::string& album, const std::string& title, bool beside = false,
                      std::string markPath = "") {
    char path[AFM3_MAX_PATH] = {};
    std::snprintf(path, sizeof path, "%s", markPath.c_str());
    const afm3::MarkFileRequest request{owner(), album.c_str(),     title.c_str(),
                                        path,    !markPath.empty(), beside};
    EXPECT_TRUE(afm3::createOrLocateMarkFile(request)) << afm3test::lastError().text;
    return path;
  }
  std::string rightMarkFile(const std::string& album, const char* title, bool beside = false) {
    char out[AFM3_MAX_PATH] = {};
    return afm3GetRightMarkFile(owner(), album.c_str(), title, out, beside) ? out : "";
  }
};

TEST_F(AlbumMarks, TheAlbumsMarkFileIsFoundByPathAndTitlePrefix) {
  const std::string album = albumPath();
  markFor(albumPath("Other.ab3"), "Holiday");
  const std::string holiday = markFor(album, "Holiday");
  EXPECT_EQ(holiday, home() + "Trip.mrk");
  EXPECT_EQ(rightMarkFile(album, "Holiday 2004"), holiday);
  EXPECT_EQ(rightMarkFile(album, "Holida"), "");
  plat::deleteFile(holiday.c_str());
  markFor(album, "Holiday 2004");
  EXPECT_EQ(rightMarkFile(album, "Holiday"), "") << "a longer stored title is no prefix";
  // A mark file beside the album is the album's when AppDataFolder has
  // none, also when AppDataFolder holds no mark file at all.
  const std::string beside = file("Trip.mrk");
  ASSERT_TRUE(afm3test::writeWholeFile(beside, afm3test::readWholeFile(holiday)));
  for (const std::string& f : {home() + "Trip.mrk", home() + "Other.mrk"})
    plat::deleteFile(f.c_str());
  EXPECT_EQ(rightMarkFile(album, "Holiday"), beside);
  EXPECT_EQ(rightMarkFile(album, "whatever", true), beside);
  EXPECT_EQ(rightMarkFile(albumPath("none-yet.ab3"), "x", true), "");
}

TEST_F(AlbumMarks, BesideAVersion2AlbumAValidFileIsUsedAndNoOtherReplaced) {
  const std::string album = albumPath();
  const std::string beside = markFor(album, "Old", true);
  EXPECT_EQ(beside, file("Trip.mrk"));
  EXPECT_EQ(markFor(album, "Old", true), beside);
  ASSERT_TRUE(afm3test::writeWholeFile(beside, "not a mark file"));
  EXPECT_EQ(markFor(album, "Old", true, beside), file("Trip-0000.mrk"));
  EXPECT_EQ(afm3test::readWholeFile(beside), "not a mark file");
  const std::string kept = file("Trip-0000.mrk");
  EXPECT_EQ(markFor(album, "Old", false, kept), kept) << "a valid markPath is kept";
}

TEST_F(AlbumMarks, APathIntoAppDataFolderStaysWithin255Characters) {
  ASSERT_EQ(home().size(), dir_.path().size());
  const std::string name = std::string(255 - home().size(), 'n') + ".ab3";
  const std::string path = markFor(file(name), "t");
  EXPECT_EQ(path.size(), 255u);
  EXPECT_EQ(path.substr(251), ".mrk");
  EXPECT_LE(markFor(file(name), "t").size(), 255u);
}

TEST_F(AlbumMarks, ACopyDropsItsNumberAndBelongsToTheNewAlbum) {
  const std::string album = albumPath("New Trip.ab3");
  ASSERT_TRUE(plat::createDirectory(file("old-marks").c_str()));
  const std::string source = newMarkFile("old-marks\\x-0003.mrk", "Old");
  char out[AFM3_MAX_PATH];
  for (const char* expected : {"old-marks\\x.mrk", "old-marks\\x-0000.mrk"}) {
    ASSERT_TRUE(afm3DupMarkFile(owner(), source.c_str(), album.c_str(), "New", out, FALSE));
    EXPECT_EQ(std::string(out), file(expected));
  }
  const MarkFileImage copy = readMarkFile(fileBytes(out));
  EXPECT_EQ(copy.problem, "");
  EXPECT_EQ(copy.title, "New");
  EXPECT_EQ(copy.albumPath, key(album));
  ASSERT_TRUE(afm3DupMarkFile(owner(), source.c_str(), album.c_str(), "New", out, TRUE));
  EXPECT_EQ(std::string(out), file("New Trip.mrk"));
  EXPECT_FALSE(afm3DupMarkFile(owner(), file("none.mrk").c_str(), album.c_str(), "", out, FALSE));
  expectReport(6436, 7013, 6, 1);
}

class AlbumHandOff : public MarkTest {
 protected:
  HANDLE create(const std::string& path, char* markPath) {
    const Bytes info = afm3test::albumInfo("Summer");
    const Bytes fields = afm3test::specs({afm3test::fieldSpec("Note", 11)});
    return afm3CreateAlbum(owner(), info.data(), 1, fields.data(), path.c_str(), nullptr, markPath);
  }
  bool open(const std::string& path, char* markPath) {
    HANDLE album = nullptr;
    const DWORD mode = afm3OpenAlbum(owner(), path.c_str(), AFM3_OPEN_READ_ONLY, &album, markPath,
                                     nullptr, nullptr);
    if (mode != AFM3_OPEN_FAILED) afm3CloseAlbum(owner(), album);
    return mode != AFM3_OPEN_FAILED;
  }
};

TEST_F(AlbumHandOff, CreationAndOpeningMakeOrKeepTheMarkFile) {
  const std::string album = file("Summer.ab3");
  char markPath[AFM3_MAX_PATH] = "ignored on creation";
  HANDLE handle = create(album, markPath);
  ASSERT_NE(handle, nullptr) << afm3test::lastError().text;
  afm3CloseAlbum(owner(), handle);
  EXPECT_EQ(std::string(markPath), home() + "Summer.mrk");
  const MarkFileImage made = readMarkFile(fileBytes(markPath));
  EXPECT_EQ(made.title + "|" + made.problem, "Summer|");
  EXPECT_EQ(made.albumPath, key(album));
  const std::string kept = markPath;
  ASSERT_TRUE(open(album, markPath));
  EXPECT_EQ(std::string(markPath), kept);
  char fresh[AFM3_MAX_PATH] = "";
  ASSERT_TRUE(open(album, fresh));
  EXPECT_EQ(std::string(fresh), home() + "Summer-0000.mrk");
  // A version-2 album gets its mark file beside it.
  const Bytes v2 = afm3test::version2Album("Old times", 0, 1);
  ASSERT_TRUE(afm3test::writeWholeFile(file("OLD.AB3"), std::string(v2.begin(), v2.end())));
  char besideV2[AFM3_MAX_PATH] = "";
  ASSERT_TRUE(open(file("OLD.AB3"), besideV2));
  EXPECT_EQ(std::string(besideV2), file("OLD.mrk"));
  EXPECT_EQ(readMarkFile(fileBytes(besideV2)).title, "Old times");
}

TEST_F(AlbumHandOff, AFailedMarkFileFailsTheCreationAndLeavesNoAlbum) {
  afm3::LibraryState& state = afm3::libraryState();
  ASSERT_TRUE(afm3test::writeWholeFile(file("plain"), "x"));
  std::snprintf(state.appDataFolder, sizeof state.appDataFolder, "%s", file("plain\\").c_str());
  char markPath[AFM3_MAX_PATH] = "";
  EXPECT_EQ(create(file("Lost.ab3"), markPath), nullptr);
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.module, 7012u);
  EXPECT_NE(e.text.find("plain"), std::string::npos) << e.text;
  EXPECT_EQ(plat::fileAttributes(file("Lost.ab3").c_str()), plat::kInvalidAttributes);
  EXPECT_EQ(afm3::openAlbumCount(), 0u);
}

}  // namespace
}  // namespace marktest
