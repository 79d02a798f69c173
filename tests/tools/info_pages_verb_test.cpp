// info --pages prints the information dialog's pages, one section a page.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "album_fixtures.h"
#include "cli.h"
#include "temp_dir.h"

namespace {

struct Printed {
  int status;
  std::string out;
};

Printed runInfo(std::vector<std::string> words) {
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const abm::Verb* verb = abm::findVerb("info");
  EXPECT_NE(verb, nullptr);
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  testing::internal::CaptureStdout();
  const int status = verb->run(args);
  return {status, testing::internal::GetCapturedStdout()};
}

TEST(InfoPagesVerb, PrintsEachPageOfTheDialog) {
  afm3test::TempDir dir;
  const std::string path = dir.file("old.ab3");
  const afm3test::Bytes v2 = afm3test::version2Album("Harbour", 12, 0);
  ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(v2.begin(), v2.end())));
  const Printed p = runInfo({"abm", "info", path, "--pages"});
  EXPECT_EQ(p.status, 0);
  const struct {
    const char* text;
    bool shown;
  } expected[] = {{"General\n", true},
                  {"Title:           Harbour\n", true},
                  {"Records:         12\n", true},
                  {"Format version:  2.0\n", true},
                  {"\nStatistics\n", true},
                  {"Size:            4,784 bytes\n", true},
                  {"Fields\n", false}};  // version-2 albums have no Fields page
  for (const auto& e : expected)
    EXPECT_EQ(p.out.find(e.text) != std::string::npos, e.shown) << e.text << "\n" << p.out;
  EXPECT_NE(runInfo({"abm", "info", dir.file("none.ab3"), "--pages"}).status, 0);
}

}  // namespace
