// The marks verb against a real album and mark file. Mark files go to the
// AppDataFolder the test run names (Q32_APPDATA); without one the test
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

Outcome run(std::vector<std::string> words) {
  words.insert(words.begin(), "abm");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = abm::findVerb(words[1])->run(args);
  testing::internal::GetCapturedStderr();
  return {status, testing::internal::GetCapturedStdout()};
}

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

TEST(ToolMarks, NameMarkUnmarkAndListByRecordAndByPath) {
  if (std::getenv("Q32_APPDATA") == nullptr) GTEST_SKIP() << "no scratch AppDataFolder";
  afm3test::TempDir dir;
  const std::string album = tooltest::shellPath(dir.file("marked.ab3"));
  tooltest::Bmp bmp;
  bmp.width = bmp.height = 4;
  bmp.pixels.assign(48, 7);
  std::vector<std::string> pictures;
  for (const char* name : {"first picture.bmp", "b.bmp"}) {
    pictures.push_back(tooltest::shellPath(dir.file(name)));
    ASSERT_TRUE(tooltest::writeShellFile(pictures.back(), tooltest::bmpFile(bmp)));
  }
  ASSERT_EQ(run({"create", album, "--field=Note:text", "--title=Marked"}).status, 0);
  ASSERT_EQ(run({"add", album, pictures[0], pictures[1], "--no-progress"}).status, 0);

  EXPECT_TRUE(mentions(run({"marks", "list", album}).out, "no marked pictures"));
  EXPECT_EQ(run({"marks", "name", album, "0", "red"}).status, 0);
  EXPECT_EQ(run({"marks", "name", album, "2", "blue"}).status, 0);
  const Outcome names = run({"marks", "names", album});
  EXPECT_TRUE(mentions(names.out, " 0 red\n") && mentions(names.out, " 2 blue\n")) << names.out;
  EXPECT_EQ(run({"marks", "mark", album, "red", "0"}).status, 0);
  EXPECT_EQ(run({"marks", "mark", album, "BLUE", pictures[0], "1"}).status, 0);
  EXPECT_EQ(run({"marks", "mark", album, "5", pictures[1]}).status, 0);
  Outcome listed = run({"marks", "list", album});
  EXPECT_TRUE(mentions(listed.out, "red,blue") && mentions(listed.out, "first picture.bmp"))
      << listed.out;
  EXPECT_TRUE(mentions(listed.out, "blue,#5") && mentions(listed.out, "2 marked pictures"))
      << listed.out;
  EXPECT_EQ(run({"marks", "unmark", album, "blue", "0", pictures[1]}).status, 0);
  EXPECT_EQ(run({"marks", "unmark", album, "5", "1"}).status, 0);
  listed = run({"marks", "list", album});
  EXPECT_TRUE(mentions(listed.out, "1 marked picture\n")) << listed.out;
  EXPECT_FALSE(mentions(listed.out, "b.bmp")) << listed.out;

  // Unknown marks, records, long names and commands are refused.
  EXPECT_EQ(run({"marks", "mark", album, "green", "0"}).status, 1);
  EXPECT_EQ(run({"marks", "mark", album, "26", "0"}).status, 1);
  EXPECT_EQ(run({"marks", "mark", album, "1", "9"}).status, 1);
  EXPECT_EQ(run({"marks", "name", album, "0", std::string(33, 'n')}).status, 1);
  EXPECT_EQ(run({"marks", "paint", album}).status, 2);
}

}  // namespace
