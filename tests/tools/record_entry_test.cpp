#include "record_entry.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <ctime>
#include <filesystem>

#include "afm3_bytes.h"
#include "picture_sources.h"
#include "progress.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

using abm::packDosDateTime;
using abm::PictureFacts;

TEST(RecordEntry, DatesAndTimesArePackedTheDosWay) {
  // 2021-06-15 13:45:58: date (41 << 9 | 6 << 5 | 15), time (13 << 11 | 45 << 5 | 29).
  EXPECT_EQ(packDosDateTime(2021, 6, 15, 13, 45, 58), (0x52CFu << 16) | 0x6DBDu);
  EXPECT_EQ(abm::dosDateTimeText(packDosDateTime(2021, 6, 15, 13, 45, 58)), "2021-06-15 13:45:58");
  EXPECT_EQ(abm::dosDateTimeText(packDosDateTime(2021, 6, 15, 13, 45, 59)), "2021-06-15 13:45:58");
  EXPECT_EQ(packDosDateTime(1970, 1, 1, 0, 0, 0), packDosDateTime(1980, 1, 1, 0, 0, 0));
  EXPECT_EQ(abm::dosDateTimeText(packDosDateTime(1979, 12, 31, 23, 59, 59)), "1980-01-01 00:00:00");
  EXPECT_EQ(abm::dosDateTimeText(packDosDateTime(2200, 3, 1, 1, 2, 3)), "2107-12-31 23:59:58");
}

TEST(RecordEntry, ThePictureFieldsSitWhereTheLibraryReadsThem) {
  PictureFacts facts;
  facts.fullPath = "C:\\Pictures\\Holiday\\beach.jpg";
  facts.shortPath = "C:\\Pictures\\Holiday\\beach.jpg";
  facts.fileSize = 0x01020304;
  facts.modified = 0xAABBCCDD;
  facts.driveType = 4;
  facts.label = "Photos";
  const auto entry = abm::recordEntryFor(facts);
  const uint8_t* e = entry.data();
  EXPECT_EQ(afm3GetU16(e + AFM3_ENTRY_NUMBER), 0u);
  EXPECT_EQ(e[AFM3_ENTRY_SOURCE_KIND], 0);
  EXPECT_EQ(e[AFM3_ENTRY_DRIVE_TYPE], 4);
  EXPECT_STREQ(reinterpret_cast<const char*>(e + AFM3_ENTRY_SHORT_PATH),
               "C:\\PICTURES\\HOLIDAY\\BEACH.JPG");
  EXPECT_EQ(afm3GetU32(e + AFM3_ENTRY_FILE_SIZE), 0x01020304u);
  EXPECT_EQ(afm3GetU32(e + AFM3_ENTRY_DATE_TIME_1), 0xAABBCCDDu);
  EXPECT_EQ(afm3GetU16(e + AFM3_ENTRY_FLAGS), 0u);
  EXPECT_STREQ(reinterpret_cast<const char*>(e + AFM3_ENTRY_LABEL), "Photos");
  // Offsets, the second date, format data and checksum are the library's or unused.
  for (size_t at : {4u, 144u, 148u, 152u, 178u, 214u, 218u})
    EXPECT_EQ(afm3GetU32(e + at), 0u) << at;
  EXPECT_TRUE(std::all_of(e + 156, e + 176, [](uint8_t b) { return b == 0; }));
  EXPECT_TRUE(std::all_of(e + 222, e + 280, [](uint8_t b) { return b == 0; }));
}

TEST(RecordEntry, ShortPathsThatDoNotFitAreLeftOutAndLabelsAreCut) {
  PictureFacts facts;
  facts.shortPath = "C:\\" + std::string(124, 'a');  // 127 characters and the NUL
  facts.label = std::string(40, 'L');
  auto entry = abm::recordEntryFor(facts);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.data() + 8)).size(), 127u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(entry.data() + 182)), std::string(31, 'L'));
  EXPECT_EQ(entry[182 + 31], 0);
  facts.shortPath += "b";
  entry = abm::recordEntryFor(facts);
  EXPECT_EQ(entry[8], 0);
}

TEST(PictureSources, FactsOfAFileComeFromTheFileSystem) {
  afm3test::TempDir dir;
  const std::string path = tooltest::shellPath(dir.file("photo.png"));
  ASSERT_TRUE(tooltest::writeShellFile(path, tooltest::Bytes(1234, 7)));
  PictureFacts facts;
  std::string problem;
  ASSERT_TRUE(abm::pictureFacts(path, &facts, &problem)) << problem;
  EXPECT_EQ(facts.fileSize, 1234u);
  EXPECT_EQ(facts.fullPath, dir.file("photo.png"));  // the library's form of the path
  EXPECT_FALSE(facts.shortPath.empty());
  EXPECT_EQ(facts.driveType, abm::kDriveFixed);
  // Written just now: today's date, local time.
  const std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  const uint32_t today =
      packDosDateTime(local->tm_year + 1900, local->tm_mon + 1, local->tm_mday, 0, 0, 0) >> 16;
  const uint32_t written = facts.modified >> 16;
  EXPECT_LE(today - written, 1u) << abm::dosDateTimeText(facts.modified);

  EXPECT_FALSE(abm::pictureFacts(tooltest::shellPath(dir.file("missing.png")), &facts, &problem));
  EXPECT_FALSE(abm::pictureFacts(tooltest::shellPath(dir.path()), &facts, &problem));
  EXPECT_EQ(problem, "is a folder");
}

TEST(PictureSources, RelativePathsBecomeFullPaths) {
  afm3test::TempDir dir;
  const std::filesystem::path folder = tooltest::shellPath(dir.path());
  ASSERT_TRUE(tooltest::writeShellFile((folder / "x.bmp").string(), {'B', 'M'}));
  const std::filesystem::path before = std::filesystem::current_path();
  std::filesystem::current_path(folder);
  PictureFacts facts;
  std::string problem;
  const bool ok = abm::pictureFacts("x.bmp", &facts, &problem);
  std::filesystem::current_path(before);
  ASSERT_TRUE(ok) << problem;
  EXPECT_EQ(facts.fullPath, dir.file("x.bmp"));
}

TEST(PictureSources, FoldersGiveTheirPictureFilesSortedAndFilesAreTakenAsGiven) {
  afm3test::TempDir dir;
  const std::filesystem::path root = tooltest::shellPath(dir.path());
  std::filesystem::create_directories(root / "sub" / "deeper");
  for (const char* name : {"b.PNG", "a.jpg", "c.jpeg", "d.Bmp", "notes.txt", "e.gif", "jpg",
                           "sub/f.jpg", "sub/deeper/g.png"})
    ASSERT_TRUE(tooltest::writeShellFile((root / name).string(), {1}));
  auto names = [&](const std::vector<std::string>& paths) {
    std::vector<std::string> relative;
    for (const std::string& p : paths)
      relative.push_back(std::filesystem::path(p).lexically_relative(root).generic_string());
    return relative;
  };
  std::vector<std::string> problems;
  EXPECT_EQ(names(abm::collectPictures({root.string()}, false, &problems)),
            (std::vector<std::string>{"a.jpg", "b.PNG", "c.jpeg", "d.Bmp"}));
  EXPECT_EQ(names(abm::collectPictures({root.string()}, true, &problems)),
            (std::vector<std::string>{"a.jpg", "b.PNG", "c.jpeg", "d.Bmp", "sub/deeper/g.png",
                                      "sub/f.jpg"}));
  EXPECT_TRUE(problems.empty());
  const std::string notes = (root / "notes.txt").string();
  const std::string missing = (root / "missing.jpg").string();
  EXPECT_EQ(abm::collectPictures({notes, missing}, false, &problems),
            std::vector<std::string>{notes});
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_NE(problems[0].find("missing.jpg"), std::string::npos);
}

TEST(Progress, TheBarFitsItsLineAndDrawsNothingWhenOff) {
  EXPECT_EQ(abm::ProgressBar::line(0, 4, "a.jpg", 79).substr(0, 32),
            "[------------------------------]");
  EXPECT_EQ(abm::ProgressBar::line(2, 4, "a.jpg", 79),
            "[###############---------------] 2/4 a.jpg");
  EXPECT_EQ(abm::ProgressBar::line(4, 4, "", 79).substr(0, 32), "[" + std::string(30, '#') + "]");
  const std::string longName = abm::ProgressBar::line(1, 3, std::string(200, 'n') + "end", 79);
  EXPECT_EQ(longName.size(), 79u);
  EXPECT_EQ(longName.substr(longName.size() - 3), "end");

  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  {
    abm::ProgressBar bar(out, 10, false);
    for (int i = 0; i < 10; ++i) bar.step("x");
  }
  EXPECT_EQ(std::ftell(out), 0);
  {
    abm::ProgressBar bar(out, 10, true);
    bar.step("x");
  }
  EXPECT_GT(std::ftell(out), 0);
  std::fclose(out);
}

}  // namespace
