// Folder searches, alternate 8.3 names and the conversions between long and
// short paths.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "platform.h"
#include "platform_test_util.h"
#include "temp_dir.h"

namespace {

using afm3test::TempDir;

struct Found {
  std::set<std::string> names;
  uint32_t error = 0;
};

Found find(const std::string& pattern) {
  Found found;
  plat::FindData data;
  plat::FindHandle handle = plat::findFirst(pattern.c_str(), &data);
  if (handle == plat::invalidFile()) {
    found.error = plat::lastError();
    return found;
  }
  do {
    found.names.insert(data.name);
  } while (plat::findNext(handle, &data));
  found.error = plat::lastError();
  plat::findClose(handle);
  return found;
}

bool isShortName(const std::string& name) {
  const size_t dot = name.find('.');
  const size_t base = name.substr(0, dot).size();
  const size_t ext = dot == std::string::npos ? 0 : name.size() - dot - 1;
  return base >= 1 && base <= 8 && ext <= 3 && name.find(' ') == std::string::npos &&
         name.find('.', dot == std::string::npos ? dot : dot + 1) == std::string::npos;
}

class PlatformFind : public testing::Test {
 protected:
  void SetUp() override {
    for (const char* name : {"a.mrk", "B.MRK", "c.txt", "Long Album Name.mrk"})
      ASSERT_TRUE(afm3test::writeWholeFile(dir_.file(name), name));
    ASSERT_TRUE(plat::createDirectory(dir_.file("sub").c_str()));
  }
  TempDir dir_;
};

TEST_F(PlatformFind, PatternsMatchWithoutRegardToCase) {
  const std::set<std::string> all = {
      ".", "..", "a.mrk", "B.MRK", "c.txt", "sub", "Long Album Name.mrk"};
  const struct {
    const char* pattern;
    std::set<std::string> names;
  } cases[] = {
      {"*", all},
      {"*.*", all},
      {"*.mrk", {"a.mrk", "B.MRK", "Long Album Name.mrk"}},
      {"?.MRK", {"a.mrk", "B.MRK"}},
      {"C.TXT", {"c.txt"}},
      {"long*", {"Long Album Name.mrk"}},
      {"SUB", {"sub"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.pattern);
    const Found found = find(dir_.file(c.pattern));
    EXPECT_EQ(found.names, c.names);
    EXPECT_EQ(found.error, plat::kErrNoMoreFiles);
  }
}

TEST_F(PlatformFind, EntriesDescribeTheFiles) {
  plat::FindData data;
  plat::FindHandle handle = plat::findFirst(dir_.file("*").c_str(), &data);
  ASSERT_NE(handle, plat::invalidFile());
  int seen = 0;
  do {
    const std::string name = data.name;
    if (name == "." || name == "..") {
      EXPECT_TRUE(data.attributes & plat::kAttrDirectory);
    } else if (name == "sub") {
      EXPECT_EQ(data.attributes & plat::kAttrDirectory, plat::kAttrDirectory);
    } else {
      ++seen;
      EXPECT_FALSE(data.attributes & plat::kAttrDirectory) << name;
      EXPECT_EQ(data.size, name.size()) << name;  // each file holds its name
      EXPECT_GT(data.lastWriteTime, 0u);
    }
  } while (plat::findNext(handle, &data));
  EXPECT_EQ(seen, 4);
  EXPECT_FALSE(plat::findNext(handle, &data));
  EXPECT_EQ(plat::lastError(), plat::kErrNoMoreFiles);
  EXPECT_TRUE(plat::findClose(handle));
#ifndef _WIN32  // closing a closed find handle is undefined on Windows
  EXPECT_FALSE(plat::findClose(handle));
  EXPECT_EQ(plat::lastError(), plat::kErrInvalidHandle);
#endif
}

TEST_F(PlatformFind, NothingFoundAndMissingFolders) {
  EXPECT_EQ(find(dir_.file("*.xyz")).error, plat::kErrFileNotFound);
  EXPECT_EQ(find(dir_.file("absent.mrk")).error, plat::kErrFileNotFound);
  EXPECT_EQ(find(dir_.file("absent\\*")).error, plat::kErrPathNotFound);
  // An empty folder still lists itself and its parent.
  EXPECT_EQ(find(dir_.file("sub\\*")).names, (std::set<std::string>{".", ".."}));
}

TEST_F(PlatformFind, ShortAndLongPathsNameTheSameFiles) {
  ASSERT_TRUE(plat::createDirectory(dir_.file("Album Folder").c_str()));
  const std::string longPath = dir_.file("Album Folder\\Holiday Pictures.mrk");
  ASSERT_TRUE(afm3test::writeWholeFile(longPath, "pictures"));

  char shortPath[MAX_PATH];
  const uint32_t length = plat::shortPathName(longPath.c_str(), shortPath, sizeof shortPath);
  ASSERT_GT(length, 0u);
  ASSERT_LT(length, sizeof shortPath);
  // Every component is short, the temporary folder's included.
  const std::string shortText = shortPath;
  const size_t lastSlash = shortText.rfind('\\');
  const size_t folderSlash = shortText.rfind('\\', lastSlash - 1);
  ASSERT_NE(folderSlash, std::string::npos);
  const std::string tail = shortText.substr(folderSlash + 1);
  const size_t slash = tail.find('\\');
  EXPECT_TRUE(isShortName(tail.substr(0, slash))) << tail;
  EXPECT_TRUE(isShortName(tail.substr(slash + 1))) << tail;
  EXPECT_EQ(afm3test::readWholeFile(shortText), "pictures");

  char back[MAX_PATH];
  ASSERT_GT(plat::longPathName(shortPath, back, sizeof back), 0u);
  EXPECT_EQ(std::string(back), longPath);

  // Too small a buffer: the size needed, with the NUL.
  EXPECT_EQ(plat::shortPathName(longPath.c_str(), shortPath, 4), length + 1);
  EXPECT_EQ(plat::shortPathName(dir_.file("absent.mrk").c_str(), shortPath, MAX_PATH), 0u);
  EXPECT_EQ(plat::lastError(), plat::kErrFileNotFound);

  // A search finds the long name by its alternate name too.
  plat::FindData data;
  plat::FindHandle handle = plat::findFirst(shortText.c_str(), &data);
  ASSERT_NE(handle, plat::invalidFile());
  EXPECT_STREQ(data.name, "Holiday Pictures.mrk");
  EXPECT_STREQ(data.alternateName, tail.substr(slash + 1).c_str());
  plat::findClose(handle);
}

#ifndef _WIN32
// The emulation's alternate names: FIRST6~N.EXT upper-cased, N given in
// byte order of the long names needing one, skipping names already there.
TEST(PosixShortNames, AlternateNamesAreDeterministic) {
  TempDir dir;
  const struct {
    const char* longName;
    const char* alternate;  // empty: a valid 8.3 name already
  } files[] = {
      // Created first, as a name of its own: the alternate names skip it.
      {"LONGAL~1.MRK", ""},
      {"Long Album Name.mrk", "LONGAL~2.MRK"},
      {"Long Album Names.mrk", "LONGAL~3.MRK"},
      {"readme.txt", ""},
      {"a+b;c.jpeg", "A_B_C~1.JPE"},
      {".profile", "PROFIL~1"},
      {"x.y.z", "XY~1.Z"},
      {"Album 2024 Holidays", "ALBUM2~1"},
  };
  for (const auto& f : files) {
    ASSERT_TRUE(afm3test::writeWholeFile(dir.file(f.longName), "x"));
  }
  for (const auto& f : files) {
    SCOPED_TRACE(f.longName);
    plat::FindData data;
    plat::FindHandle handle = plat::findFirst(dir.file(f.longName).c_str(), &data);
    ASSERT_NE(handle, plat::invalidFile());
    EXPECT_STREQ(data.name, f.longName);
    EXPECT_STREQ(data.alternateName, f.alternate);
    plat::findClose(handle);
    // Opening by the alternate name opens the long-named file.
    if (*f.alternate) {
      EXPECT_EQ(afm3test::readWholeFile(dir.file(f.alternate)), "x");
    }
  }
  char shortPath[MAX_PATH];
  ASSERT_GT(plat::shortPathName(dir.file("Long Album Names.mrk").c_str(), shortPath, MAX_PATH), 0u);
  const std::string shortText = shortPath;
  EXPECT_EQ(shortText.substr(shortText.rfind('\\') + 1), "LONGAL~3.MRK");
  // The temporary folder's name is long too: it is converted as well.
  char tempShort[MAX_PATH];
  ASSERT_GT(plat::shortPathName(dir.path().c_str(), tempShort, MAX_PATH), 0u);
  EXPECT_EQ(shortText, std::string(tempShort) + "LONGAL~3.MRK");
}
#endif

}  // namespace
