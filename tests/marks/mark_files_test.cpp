// Mark files as a whole: hashes, empty files, status, information, the
// album's own mark file (found, copied, made on creation and opening).
#include "marks/mark_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>

#include "afm3.h"
#include "core/album_table.h"
#include "core/canonical_path.h"
#include "core/library_state.h"
#include "mark_fixtures.h"
#include "platform.h"

namespace marktest {
namespace {

TEST(MarkHashes, WorkedExamplesAndTheirRule) {
  struct Case {
    const char* path;
    DWORD hash;
  } cases[] = {
      {"C:\\PICS\\AB.JPG", 293},
      {"a:\\x\\Ab.jpeg", 293},
      {"C:\\abc", 590 % 509},
      {"C:\\pics\\", 0},
      {"", 0},
      {"noslash.x", (110 + 111 * 2 + 115 * 3 + 108 * 4 + 97 * 5 + 115 * 6 + 104 * 7) % 509},
  };
  for (const Case& c : cases) EXPECT_EQ(afm3GetFileNameHash(c.path), c.hash) << c.path;
  EXPECT_EQ(afm3GetFileNameHashExt("D:\\x\\ab.jpg"), 587u);
  EXPECT_EQ(afm3GetFileNameHashExt("AB"), 587u);
  EXPECT_EQ(afm3GetFileNameHash(nullptr), 0u);
}

class MarkFiles : public MarkTest {};

TEST_F(MarkFiles, ANewMarkFileIsEmptyValidAndNeverReplacesAnother) {
  const std::string first = newMarkFile("x.mrk", "A title longer than twenty-three");
  EXPECT_EQ(first, file("x.mrk"));
  const Bytes bytes = fileBytes(first);
  EXPECT_EQ(bytes.size(), kEmptySize);
  const MarkFileImage image = readMarkFile(bytes);
  EXPECT_EQ(image.problem, "");
  EXPECT_EQ(image.live, 0);
  EXPECT_EQ(image.freeCount, 0);
  EXPECT_EQ(image.title, "A title longer than twe");
  EXPECT_EQ(image.albumPath, "");
  EXPECT_EQ(newMarkFile("x.mrk"), file("x-0000.mrk"));
  EXPECT_EQ(fileBytes(first), bytes);
  EXPECT_EQ(afm3CheckMarkFileStatus(owner(), first.c_str()), 1);
}

TEST_F(MarkFiles, ANewMarkFileFallsBackToAppDataFolderOnlyWhenAllowed) {
  char path[AFM3_MAX_PATH];
  std::snprintf(path, sizeof path, "%s", file("missing\\m.mrk").c_str());
  EXPECT_FALSE(afm3NewMarkFile(owner(), 0, "t", path, FALSE));
  expectReport(3, 7013, 2, 1);
  ASSERT_TRUE(afm3NewMarkFile(owner(), 0, "t", path, TRUE));
  EXPECT_EQ(std::string(path), home() + "m.mrk");
  std::snprintf(path, sizeof path, "%s", file("missing\\m.mrk").c_str());
  ASSERT_TRUE(afm3NewMarkFile(owner(), 0, "t", path, TRUE));
  EXPECT_EQ(std::string(path), home() + "m-0000.mrk");
}

#ifndef _WIN32
TEST_F(MarkFiles, AVolumeWithoutRoomForAnEmptyFileGetsNone) {
  const std::string host = "/" + dir_.path().substr(3);  // Z:\... on the host root
  std::string posix = host;
  std::replace(posix.begin(), posix.end(), '\\', '/');
  ASSERT_TRUE(qwinTestAddVolume("M:\\", posix.c_str(), "SMALL", DRIVE_FIXED, 255, 1, nullptr));
  for (long long room : {3036LL, 3037LL}) {
    ASSERT_TRUE(qwinTestSetFreeSpace("M:\\", room));
    char path[AFM3_MAX_PATH] = "M:\\small.mrk";
    const BOOL made = afm3NewMarkFile(owner(), 0, "", path, FALSE);
    EXPECT_EQ(made, room > 3036 ? TRUE : FALSE);
    if (!made) {
      const afm3test::LastError e = afm3test::lastError();
      EXPECT_EQ(e.id, 0u);
      EXPECT_EQ(e.step, 4u);
      EXPECT_NE(e.text.find("3036"), std::string::npos) << e.text;
      EXPECT_NE(e.text.find("M:\\"), std::string::npos) << e.text;
      EXPECT_EQ(plat::fileAttributes("M:\\small.mrk"), plat::kInvalidAttributes);
    }
  }
  qwinTestRemoveVolume("M:\\");
}
#endif

TEST_F(MarkFiles, StatusTellsValidDamagedAndMissingFiles) {
  const std::string path = newMarkFile();
  const Bytes sound = fileBytes(path);
  struct Case {
    const char* what;
    size_t at;
    uint8_t value;
    size_t keep;
    int status;
    uint32_t step;
  } cases[] = {
      {"magic 4D", 3, 0x4D, kEmptySize, -1, 3},
      {"checksum", 100, 0x01, kEmptySize, -1, 4},
      {"short header", 0, 0xD6, 100, -1, 2},
  };
  for (const Case& c : cases) {
    Bytes damaged = sound;
    damaged[c.at] = c.value;
    damaged.resize(c.keep);
    ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(damaged.begin(), damaged.end())));
    EXPECT_EQ(afm3CheckMarkFileStatus(owner(), path.c_str()), c.status) << c.what;
    expectReport(c.step == 2 ? 6433 : 6432, 7012, 2, c.step);
  }
  EXPECT_EQ(afm3CheckMarkFileStatus(owner(), file("none.mrk").c_str()), 0);
  expectReport(2, 7013, 1, 1);
}

TEST_F(MarkFiles, InformationGoesInAndComesBack) {
  const std::string path = newMarkFile("i.mrk", "old");
  ASSERT_TRUE(afm3test::writeWholeFile(file("Some Album.ab3"), "x"));
  const Bytes names = nameTable({"red", "", "blue"});
  std::string markPath = path;
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), markPath.data(), names.data(),
                                     file("SOME ALBUM.AB3").c_str(), "Holiday"));
  EXPECT_EQ(markPath, path);
  char key[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3::canonicalPath(file("Some Album.ab3").c_str(), key, sizeof key,
                                  afm3::CanonicalNames::Short));
  Bytes namesOut(832, 0xFF);
  char title[24], album[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3GetMarkFileInfo(owner(), path.c_str(), namesOut.data(), title, album));
  EXPECT_EQ(namesOut, names);
  EXPECT_STREQ(title, "Holiday");
  EXPECT_STREQ(album, key);
  // Only what is given changes.
  ASSERT_TRUE(afm3UpdateMarkFileInfo(owner(), markPath.data(), nullptr, nullptr, "New"));
  ASSERT_TRUE(afm3GetMarkFileInfo(owner(), path.c_str(), namesOut.data(), title, album));
  EXPECT_STREQ(title, "New");
  EXPECT_STREQ(album, key);
  EXPECT_EQ(namesOut, names);
  EXPECT_EQ(readMarkFile(fileBytes(path)).problem, "");
  EXPECT_FALSE(
      afm3UpdateMarkFileInfo(owner(), markPath.data(), nullptr, file("gone.ab3").c_str(), nullptr));
  expectReport(6436, 7011, 4, 3);
}

// Mark files of an album with the given title, made in AppDataFolder the
// way album creation makes them.
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
  const std::string album = albumPath(), other = albumPath("Other.ab3");
  EXPECT_EQ(rightMarkFile(album, "Holiday"), "") << "nothing anywhere";
  markFor(other, "Holiday");
  const std::string holiday = markFor(album, "Holiday");
  EXPECT_EQ(holiday, home() + "Trip.mrk");
  EXPECT_EQ(rightMarkFile(album, "Holiday 2004"), holiday);
  EXPECT_EQ(rightMarkFile(album, "Holiday"), holiday);
  EXPECT_EQ(rightMarkFile(album, "Holida"), "");
  plat::deleteFile(holiday.c_str());
  markFor(album, "Holiday 2004");
  EXPECT_EQ(rightMarkFile(album, "Holiday"), "") << "a longer stored title is no prefix";
  // A mark file beside the album is the album's when AppDataFolder has none.
  const std::string beside = file("Trip.mrk");
  ASSERT_TRUE(afm3test::writeWholeFile(beside, afm3test::readWholeFile(holiday)));
  for (const std::string& f : {home() + "Trip.mrk", home() + "Other.mrk"})
    plat::deleteFile(f.c_str());
  EXPECT_EQ(rightMarkFile(album, "Holiday"), beside);
  EXPECT_EQ(rightMarkFile(albumPath("none-yet.ab3"), "x", true), "");
  EXPECT_EQ(rightMarkFile(album, "whatever", true), beside);
}

TEST_F(AlbumMarks, AVersion2AlbumKeepsItsMarkFileBesideItWithoutReplacingOthers) {
  const std::string album = albumPath();
  const std::string beside = markFor(album, "Old", true);
  EXPECT_EQ(beside, file("Trip.mrk"));
  EXPECT_EQ(markFor(album, "Old", true), beside) << "the valid file there is the album's";
  ASSERT_TRUE(afm3test::writeWholeFile(beside, "not a mark file"));
  EXPECT_EQ(markFor(album, "Old", true), file("Trip-0000.mrk"));
  EXPECT_EQ(afm3test::readWholeFile(beside), "not a mark file");
  EXPECT_EQ(markFor(album, "Old", true, beside), file("Trip-0001.mrk"));
  const std::string kept = file("Trip-0001.mrk");
  EXPECT_EQ(markFor(album, "Old", false, kept), kept) << "a valid markPath is kept";
}

TEST_F(AlbumMarks, APathIntoAppDataFolderStaysWithin255Characters) {
  ASSERT_EQ(home().size(), dir_.path().size());
  const std::string name = std::string(255 - home().size(), 'n') + ".ab3";
  const std::string path = markFor(file(name), "t");
  EXPECT_EQ(path.size(), 255u);
  EXPECT_EQ(path.substr(path.size() - 4), ".mrk");
  EXPECT_LE(markFor(file(name), "t").size(), 255u);
}

TEST_F(AlbumMarks, ACopyDropsItsNumberAndBelongsToTheNewAlbum) {
  const std::string album = albumPath("New Trip.ab3");
  ASSERT_TRUE(plat::createDirectory(file("old-marks").c_str()));
  const std::string source = newMarkFile("old-marks\\x-0003.mrk", "Old");
  char out[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3DupMarkFile(owner(), source.c_str(), album.c_str(), "New", out, FALSE));
  EXPECT_EQ(std::string(out), file("old-marks\\x.mrk"));
  ASSERT_TRUE(afm3DupMarkFile(owner(), source.c_str(), album.c_str(), "New", out, FALSE));
  EXPECT_EQ(std::string(out), file("old-marks\\x-0000.mrk"));
  EXPECT_EQ(rightMarkFile(album, "New"), "") << "copies in another folder than AppDataFolder";
  const MarkFileImage copy = readMarkFile(fileBytes(out));
  EXPECT_EQ(copy.problem, "");
  EXPECT_EQ(copy.title, "New");
  char key[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3::canonicalPath(album.c_str(), key, sizeof key, afm3::CanonicalNames::Short));
  EXPECT_EQ(copy.albumPath, key);
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
  DWORD open(const std::string& path, char* markPath) {
    HANDLE album = nullptr;
    const DWORD mode = afm3OpenAlbum(owner(), path.c_str(), AFM3_OPEN_READ_ONLY, &album, markPath,
                                     nullptr, nullptr);
    if (mode != AFM3_OPEN_FAILED) afm3CloseAlbum(owner(), album);
    return mode;
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
  EXPECT_EQ(made.problem, "");
  EXPECT_EQ(made.title, "Summer");
  char key[AFM3_MAX_PATH];
  ASSERT_TRUE(afm3::canonicalPath(album.c_str(), key, sizeof key, afm3::CanonicalNames::Short));
  EXPECT_EQ(made.albumPath, key);

  const std::string kept = markPath;
  ASSERT_NE(open(album, markPath), static_cast<DWORD>(AFM3_OPEN_FAILED));
  EXPECT_EQ(std::string(markPath), kept);
  char fresh[AFM3_MAX_PATH] = "";
  ASSERT_NE(open(album, fresh), static_cast<DWORD>(AFM3_OPEN_FAILED));
  EXPECT_EQ(std::string(fresh), home() + "Summer-0000.mrk");
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

TEST_F(AlbumHandOff, AVersion2AlbumGetsItsMarkFileBesideIt) {
  const Bytes v2 = afm3test::version2Album("Old times", 0, 1);
  const std::string album = file("OLD.AB3");
  ASSERT_TRUE(afm3test::writeWholeFile(album, std::string(v2.begin(), v2.end())));
  char markPath[AFM3_MAX_PATH] = "";
  ASSERT_NE(open(album, markPath), static_cast<DWORD>(AFM3_OPEN_FAILED));
  EXPECT_EQ(std::string(markPath), file("OLD.mrk"));
  EXPECT_EQ(readMarkFile(fileBytes(markPath)).title, "Old times");
}

}  // namespace
}  // namespace marktest
