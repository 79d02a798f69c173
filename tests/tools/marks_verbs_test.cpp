// The marks verb against a real album and mark file. Mark files go to the
// AppDataFolder the test run names (Q32_APPDATA); without one the suite
// skips itself rather than write into the user's folder.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "cli.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

struct Outcome {
  int status;
  std::string out;
};

Outcome marks(std::vector<std::string> words) {
  words.insert(words.begin(), {"abm", "marks"});
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = abm::findVerb("marks")->run(args);
  testing::internal::GetCapturedStderr();
  return {status, testing::internal::GetCapturedStdout()};
}

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

class ToolMarks : public testing::Test {
 protected:
  void SetUp() override {
    if (std::getenv("Q32_APPDATA") == nullptr) GTEST_SKIP() << "no scratch AppDataFolder";
    const std::string path = dir_.file("marked.ab3");
    const afm3test::Bytes fields = afm3test::specs({afm3test::fieldSpec("Note", 11)});
    const afm3test::Bytes info = afm3test::albumInfo("Marked");
    HANDLE album =
        afm3CreateAlbum(owner_, info.data(), 1, fields.data(), path.c_str(), nullptr, nullptr);
    ASSERT_NE(album, nullptr);
    afm3CloseAlbum(owner_, album);
    album_ = tooltest::shellPath(path);
    tooltest::Bmp bmp;
    bmp.width = bmp.height = 4;
    bmp.pixels.assign(48, 7);
    for (const char* name : {"first picture.bmp", "b.bmp"}) {
      pictures_.push_back(tooltest::shellPath(dir_.file(name)));
      ASSERT_TRUE(tooltest::writeShellFile(pictures_.back(), tooltest::bmpFile(bmp)));
    }
    std::vector<std::string> add = {"abm",        "add",        album_,
                                    pictures_[0], pictures_[1], "--no-progress"};
    std::vector<char*> argv;
    for (std::string& word : add) argv.push_back(word.data());
    testing::internal::CaptureStdout();
    ASSERT_EQ(
        abm::findVerb("add")->run(abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2)),
        0);
    testing::internal::GetCapturedStdout();
  }

  HINSTANCE owner_ = reinterpret_cast<HINSTANCE>(0x7002);
  afm3test::TempDir dir_;
  std::string album_;
  std::vector<std::string> pictures_;
};

TEST_F(ToolMarks, NameMarkUnmarkAndListByRecordAndByPath) {
  EXPECT_TRUE(mentions(marks({"list", album_}).out, "no marked pictures"));
  EXPECT_EQ(marks({"name", album_, "0", "red"}).status, 0);
  EXPECT_EQ(marks({"name", album_, "2", "blue"}).status, 0);
  const Outcome names = marks({"names", album_});
  EXPECT_TRUE(mentions(names.out, " 0 red\n") && mentions(names.out, " 2 blue\n")) << names.out;

  EXPECT_EQ(marks({"mark", album_, "red", "0"}).status, 0);
  EXPECT_EQ(marks({"mark", album_, "BLUE", pictures_[0], "1"}).status, 0);
  EXPECT_EQ(marks({"mark", album_, "5", pictures_[1]}).status, 0);
  Outcome listed = marks({"list", album_});
  EXPECT_TRUE(mentions(listed.out, "red,blue") && mentions(listed.out, "first picture.bmp"))
      << listed.out;
  EXPECT_TRUE(mentions(listed.out, "blue,#5")) << listed.out;
  EXPECT_TRUE(mentions(listed.out, "2 marked pictures")) << listed.out;

  EXPECT_EQ(marks({"unmark", album_, "blue", "0", pictures_[1]}).status, 0);
  EXPECT_EQ(marks({"unmark", album_, "5", "1"}).status, 0);
  listed = marks({"list", album_});
  EXPECT_TRUE(mentions(listed.out, "1 marked picture\n")) << listed.out;
  EXPECT_FALSE(mentions(listed.out, "b.bmp")) << listed.out;

  // Unknown marks, records, long names and commands are refused.
  EXPECT_EQ(marks({"mark", album_, "green", "0"}).status, 1);
  EXPECT_EQ(marks({"mark", album_, "26", "0"}).status, 1);
  EXPECT_EQ(marks({"mark", album_, "1", "9"}).status, 1);
  EXPECT_EQ(marks({"name", album_, "0", std::string(33, 'n')}).status, 1);
  EXPECT_EQ(marks({"paint", album_}).status, 2);
}

}  // namespace
