// Folder and path services of the common library.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform.h"
#include "q32comm.h"
#include "sibling_test_util.h"
#include "temp_dir.h"

namespace {

// A MAX_PATH buffer followed by guard bytes that must stay untouched.
struct GuardedPath {
  char bytes[MAX_PATH + 16];
  explicit GuardedPath(const std::string& text) {
    std::memset(bytes, '#', sizeof bytes);
    std::memcpy(bytes, text.c_str(), text.size() + 1);
  }
  bool guardIntact() const {
    for (size_t i = MAX_PATH; i < sizeof bytes; ++i) {
      if (bytes[i] != '#') return false;
    }
    return true;
  }
  std::string str() const { return bytes; }
};

struct Case {
  const char* input;
  const char* expected;
};

// ---- trailing backslash ------------------------------------------------------

TEST(PathSlashTest, AddSlash) {
  const Case cases[] = {
      {"C:\\dir", "C:\\dir\\"},
      {"C:\\dir\\", "C:\\dir\\"},
      {"C:\\", "C:\\"},
      {"C:", "C:\\"},
      {"\\\\server\\share", "\\\\server\\share\\"},
      {"\\\\server\\share\\dir\\", "\\\\server\\share\\dir\\"},
      {"relative/", "relative/"},
      {"", ""},
  };
  for (const Case& c : cases) {
    GuardedPath path(c.input);
    qfdAddSlash(path.bytes);
    EXPECT_EQ(path.str(), c.expected) << "input " << c.input;
  }
}

TEST(PathSlashTest, DelSlashKeepsRoots) {
  const Case cases[] = {
      {"C:\\dir\\", "C:\\dir"},
      {"C:\\dir", "C:\\dir"},
      {"C:\\dir\\\\", "C:\\dir\\"},
      {"C:\\", "C:\\"},
      {"\\", "\\"},
      {"\\\\server\\share\\", "\\\\server\\share\\"},
      {"\\\\server\\share\\dir\\", "\\\\server\\share\\dir"},
      {"dir/", "dir"},
      {"", ""},
  };
  for (const Case& c : cases) {
    GuardedPath path(c.input);
    qfdDelSlash(path.bytes);
    EXPECT_EQ(path.str(), c.expected) << "input " << c.input;
  }
}

TEST(PathSlashTest, AddSlashNeverGrowsPastAPathBuffer) {
  GuardedPath full(std::string(MAX_PATH - 1, 'a'));
  qfdAddSlash(full.bytes);
  EXPECT_EQ(full.str().size(), size_t{MAX_PATH - 1});
  EXPECT_TRUE(full.guardIntact());

  GuardedPath roomForOne(std::string(MAX_PATH - 2, 'a'));
  qfdAddSlash(roomForOne.bytes);
  EXPECT_EQ(roomForOne.str(), std::string(MAX_PATH - 2, 'a') + "\\");
  EXPECT_TRUE(roomForOne.guardIntact());
}

// ---- splitting -------------------------------------------------------------------

TEST(PathSplitTest, NameAndFolder) {
  struct SplitCase {
    const char* path;
    const char* name;
    const char* folder;
  };
  const SplitCase cases[] = {
      {"C:\\dir\\file.txt", "file.txt", "C:\\dir\\"},
      {"C:\\file.txt", "file.txt", "C:\\"},
      {"file.txt", "file.txt", ""},
      {"C:file.txt", "file.txt", "C:"},
      {"C:\\dir\\", "", "C:\\dir\\"},
      {"\\\\server\\share\\a.ab3", "a.ab3", "\\\\server\\share\\"},
      {"C:\\a.b\\noext", "noext", "C:\\a.b\\"},
  };
  for (const SplitCase& c : cases) {
    char name[MAX_PATH] = "stale";
    char folder[MAX_PATH] = "stale";
    qfdSplitPathname(c.path, name, folder);
    EXPECT_STREQ(name, c.name) << "path " << c.path;
    EXPECT_STREQ(folder, c.folder) << "path " << c.path;
  }
}

TEST(PathSplitTest, FolderMayBeThePathItself) {
  char path[MAX_PATH] = "C:\\albums\\holiday.ab3";
  char name[MAX_PATH];
  qfdSplitPathname(path, name, path);
  EXPECT_STREQ(name, "holiday.ab3");
  EXPECT_STREQ(path, "C:\\albums\\");
}

TEST(PathSplitTest, EitherOutputMayBeNull) {
  char name[MAX_PATH];
  qfdSplitPathname("C:\\x\\y.z", name, nullptr);
  EXPECT_STREQ(name, "y.z");
  char folder[MAX_PATH];
  qfdSplitPathname("C:\\x\\y.z", nullptr, folder);
  EXPECT_STREQ(folder, "C:\\x\\");
}

TEST(PathSplitTest, OverlongPathIsCutToThePathBuffers) {
  const std::string longName(400, 'n');
  GuardedPath name("");
  GuardedPath folder("");
  qfdSplitPathname(("C:\\" + longName).c_str(), name.bytes, folder.bytes);
  EXPECT_EQ(name.str(), std::string(MAX_PATH - 1, 'n'));
  EXPECT_TRUE(name.guardIntact());
  EXPECT_EQ(folder.str(), "C:\\");
}

// ---- blanks -------------------------------------------------------------------------

TEST(PathBlanksTest, RemovesSurplusBlanksOfTheFileName) {
  const Case cases[] = {
      {"C:\\My Dir\\  My   Album  .ab3", "C:\\My Dir\\My Album.ab3"},
      {"C:\\dir\\name.ab3", "C:\\dir\\name.ab3"},
      {"C:\\dir\\a b .c d .ab3", "C:\\dir\\a b .c d.ab3"},
      {"C:\\dir\\ .ab3", "C:\\dir\\.ab3"},
      {"C:\\ dir \\ x ", "C:\\ dir \\x"},
      {"  plain   name  ", "plain name"},
      {"C:\\dir\\noblanks", "C:\\dir\\noblanks"},
  };
  for (const Case& c : cases) {
    GuardedPath path(c.input);
    qfdRemoveBlanks(path.bytes);
    EXPECT_EQ(path.str(), c.expected) << "input '" << c.input << "'";
  }
}

TEST(PathBlanksTest, ResultStillNamesAFileInTheSameFolder) {
  // Removing the blanks would leave nothing, or the folder itself, or its
  // parent: the name is left alone.
  const char* const untouched[] = {"C:\\dir\\   ", "C:\\dir\\ .. ", "C:\\dir\\ . ", "C:\\dir\\"};
  for (const char* input : untouched) {
    GuardedPath path(input);
    qfdRemoveBlanks(path.bytes);
    EXPECT_EQ(path.str(), input);
  }
}

// ---- double-byte paths ------------------------------------------------------------

TEST(PathDbcsTest, TrailByte5CIsNotABackslash) {
  sibtest::CodePage932 codePage;
  if (!codePage.active()) GTEST_SKIP() << "needs code page 932";
  const std::string kanji = sibtest::kKanjiWith5C;

  GuardedPath added("C:\\" + kanji);
  qfdAddSlash(added.bytes);
  EXPECT_EQ(added.str(), "C:\\" + kanji + "\\");

  GuardedPath deleted("C:\\dir\\" + kanji);
  qfdDelSlash(deleted.bytes);
  EXPECT_EQ(deleted.str(), "C:\\dir\\" + kanji);

  char name[MAX_PATH];
  char folder[MAX_PATH];
  qfdSplitPathname(("C:\\" + kanji + "\\a" + kanji).c_str(), name, folder);
  EXPECT_EQ(std::string(name), "a" + kanji);
  EXPECT_EQ(std::string(folder), "C:\\" + kanji + "\\");

  GuardedPath blanks("C:\\" + kanji + "\\ " + kanji + "  x .ab3");
  qfdRemoveBlanks(blanks.bytes);
  EXPECT_EQ(blanks.str(), "C:\\" + kanji + "\\" + kanji + " x.ab3");
}

TEST(PathDbcsTest, CutsNeverSplitADoubleByteCharacter) {
  sibtest::CodePage932 codePage;
  if (!codePage.active()) GTEST_SKIP() << "needs code page 932";
  // 258 single bytes and a double-byte character: the name cannot hold all
  // 260 bytes, and half a character must not be left behind.
  const std::string longName = std::string(MAX_PATH - 2, 'n') + sibtest::kKanjiWith5C;
  GuardedPath name("");
  qfdSplitPathname(("C:\\" + longName).c_str(), name.bytes, nullptr);
  EXPECT_EQ(name.str(), std::string(MAX_PATH - 2, 'n'));
  EXPECT_TRUE(name.guardIntact());
}

// ---- folders on disk ----------------------------------------------------------------

TEST(PathFolderTest, CreateDirMakesMissingParents) {
  afm3test::TempDir temp;
  const std::string deep = temp.file("a\\b\\c");
  EXPECT_FALSE(qfdIsDir(deep.c_str()));
  EXPECT_TRUE(qfdCreateDir(deep.c_str()));
  EXPECT_TRUE(qfdIsDir(temp.file("a").c_str()));
  EXPECT_TRUE(qfdIsDir(temp.file("a\\b").c_str()));
  EXPECT_TRUE(qfdIsDir(deep.c_str()));
  // Already there: still a success, with or without a trailing backslash.
  EXPECT_TRUE(qfdCreateDir(deep.c_str()));
  EXPECT_TRUE(qfdCreateDir((deep + "\\").c_str()));
  EXPECT_TRUE(qfdCreateDir(temp.file("x\\y\\").c_str()));
  EXPECT_TRUE(qfdIsDir(temp.file("x\\y").c_str()));
}

TEST(PathFolderTest, FilesAreNotFolders) {
  afm3test::TempDir temp;
  const std::string file = temp.file("plain.txt");
  ASSERT_TRUE(afm3test::writeWholeFile(file, "data"));
  EXPECT_FALSE(qfdIsDir(file.c_str()));
  EXPECT_FALSE(qfdCreateDir(file.c_str()));
  EXPECT_FALSE(qfdCreateDir((file + "\\below").c_str()));
  EXPECT_FALSE(qfdIsDir(""));
  EXPECT_FALSE(qfdIsDir(nullptr));
  EXPECT_FALSE(qfdCreateDir(""));
}

// ---- volumes and name forms -------------------------------------------------------

TEST(PathVolumeTest, FreeSpaceOfTheVolumeHoldingAFile) {
  afm3test::TempDir temp;
  const std::string file = temp.file("album.ab3");  // need not exist
  const double free = qfdGetDiskFreeSpace(file.c_str());
  EXPECT_GT(free, 0.0);
#ifndef _WIN32
  // The emulated volume reports what it is told.
  const std::string root = temp.path().substr(0, 3);
  ASSERT_TRUE(qwinTestSetFreeSpace(root.c_str(), 5000000000LL));
  EXPECT_EQ(qfdGetDiskFreeSpace(file.c_str()), 5000000000.0);
  EXPECT_EQ(qfdGetDiskFreeSpace(temp.path().c_str()), 5000000000.0);
  qwinTestSetFreeSpace(root.c_str(), -1);
#endif
}

TEST(PathVolumeTest, FreeSpaceFailsNegative) {
  EXPECT_LT(qfdGetDiskFreeSpace(""), 0.0);
  EXPECT_LT(qfdGetDiskFreeSpace(nullptr), 0.0);
  for (char drive = 'Q'; drive <= 'W'; ++drive) {
    const std::string root = std::string(1, drive) + ":\\";
    if (plat::driveType(root.c_str()) != 1) continue;  // a drive that exists
    EXPECT_LT(qfdGetDiskFreeSpace((root + "album.ab3").c_str()), 0.0);
    return;
  }
}

TEST(PathNameFormTest, ShortAndLongFormsRoundTrip) {
  afm3test::TempDir temp;
  const std::string longPath = temp.file("A long album name.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(longPath, "x"));

  char shortPath[MAX_PATH];
  ASSERT_TRUE(qfdConvertLongShortPathname(longPath.c_str(), shortPath, MAX_PATH, 0));
  char name[MAX_PATH];
  qfdSplitPathname(shortPath, name, nullptr);
  EXPECT_LE(std::strlen(name), 12u) << shortPath;
  EXPECT_EQ(std::strchr(name, ' '), nullptr) << shortPath;

  // In place: the destination may be the source.
  char path[MAX_PATH];
  std::strcpy(path, shortPath);
  ASSERT_TRUE(qfdConvertLongShortPathname(path, path, MAX_PATH, 1));
  EXPECT_EQ(plat::compareNoCase(path, longPath.c_str()), 0) << path;
}

TEST(PathNameFormTest, FailureLeavesTheSourceInTheDestination) {
  afm3test::TempDir temp;
  const std::string missing = temp.file("no such file.ab3");
  char out[MAX_PATH] = "stale";
  EXPECT_FALSE(qfdConvertLongShortPathname(missing.c_str(), out, MAX_PATH, 0));
  EXPECT_EQ(std::string(out), missing);
  // Too small a destination is a failure too, and is not overrun.
  const std::string file = temp.file("A long album name.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(file, "x"));
  char small[8];
  EXPECT_FALSE(qfdConvertLongShortPathname(file.c_str(), small, sizeof small, 1));
  EXPECT_LT(std::strlen(small), sizeof small);
}

}  // namespace
