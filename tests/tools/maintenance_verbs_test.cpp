// abm reorganize and scheme: the verbs, and the bars reorganize's progress
// messages draw.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "cli.h"
#include "progress.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

HINSTANCE testOwner() { return reinterpret_cast<HINSTANCE>(0x7401); }

int run(std::vector<std::string> words, std::string* out) {
  words.insert(words.begin(), "abm");
  std::vector<char*> argv;
  for (std::string& word : words) argv.push_back(word.data());
  const abm::Args args = abm::parseArgs(static_cast<int>(argv.size()), argv.data(), 2);
  testing::internal::CaptureStdout();
  const int status = abm::findVerb(words[1])->run(args);
  *out = testing::internal::GetCapturedStdout();
  return status;
}

TEST(PhaseProgress, EachPhaseDrawsABarNamedByItsCaptions) {
  std::FILE* out = std::tmpfile();
  ASSERT_NE(out, nullptr);
  abm::PhaseProgress progress(out, true);
  AFM3_PROGRESS_PHASE_INFO pages{2, 1, 0, "Copying record pages", nullptr, 0};
  AFM3_PROGRESS_PHASE_INFO text{1, 1, 0, "Copying field values", "Text", 0};
  EXPECT_EQ(progress.handle(AFM3_PROGRESS_PHASE_COUNT, 5, 0), 0);
  progress.handle(AFM3_PROGRESS_PHASE_BEGIN, 0, reinterpret_cast<LPARAM>(&pages));
  EXPECT_EQ(progress.handle(AFM3_PROGRESS_STEP, 0, 1), 0) << "the tool never cancels";
  progress.handle(AFM3_PROGRESS_STEP, 0, 2);
  progress.handle(AFM3_PROGRESS_PHASE_END, 0, 0);
  progress.handle(AFM3_PROGRESS_PHASE_BEGIN, 0, reinterpret_cast<LPARAM>(&text));
  progress.handle(AFM3_PROGRESS_STEP, 0, 1);
  progress.handle(AFM3_PROGRESS_PHASE_END, 1, 0);
  EXPECT_EQ(progress.phases(), 2u);
  std::rewind(out);
  std::string drawn;
  for (int c; (c = std::fgetc(out)) != EOF;) drawn += static_cast<char>(c);
  std::fclose(out);
  EXPECT_NE(drawn.find(abm::ProgressBar::line(2, 2, "Copying record pages", 79)),
            std::string::npos);
  EXPECT_NE(drawn.find(abm::ProgressBar::line(1, 1, "Copying field values: Text", 79)),
            std::string::npos);
  EXPECT_EQ(drawn.back(), '\r') << "the last bar is cleared";
}

TEST(Reorganize, SortsByAFieldAndPrintsBothSizes) {
  afm3test::TempDir dir;
  const std::string path = dir.file("sorted.ab3");
  const auto fields =
      afm3test::specs({afm3test::fieldSpec("Title", 11), afm3test::fieldSpec("Rank", 0)});
  HANDLE album = afm3CreateAlbum(testOwner(), afm3test::albumInfo("Sorted").data(), 2,
                                 fields.data(), path.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(testOwner(), album);
  ASSERT_NE(afm3OpenAlbum(testOwner(), path.c_str(), 0x41, &album, nullptr, nullptr, nullptr),
            0xFFFFu);
  const uint16_t ranks[] = {300, 7, 256, 1};
  for (uint16_t rank : ranks) {
    std::vector<uint8_t> entry(280, 0), value(2);
    afm3test::put16(value, 0, rank);
    const std::string title = "rank " + std::to_string(rank);
    const void* values[] = {title.c_str(), value.data()};
    ASSERT_EQ(afm3InsertRecord(testOwner(), album, entry.data(), nullptr, nullptr, nullptr, values,
                               nullptr, nullptr, nullptr),
              1);
  }
  ASSERT_TRUE(afm3DeleteRecord(testOwner(), album, 0));
  afm3CloseAlbum(testOwner(), album);

  std::string out;
  const std::string shell = tooltest::shellPath(path);
  EXPECT_EQ(run({"reorganize", shell, "--order=by-rank"}, &out), 2);
  ASSERT_EQ(run({"reorganize", shell, "--order=by-field:Rank", "--no-progress"}, &out), 0);
  EXPECT_NE(out.find("bytes before"), std::string::npos) << out;
  EXPECT_NE(out.find("bytes after"), std::string::npos) << out;
  ASSERT_NE(afm3OpenAlbum(testOwner(), path.c_str(), 0x42, &album, nullptr, nullptr, nullptr),
            0xFFFFu);
  const char* expected[] = {"rank 1", "rank 7", "rank 256"};
  for (DWORD n = 0; n < 3; ++n) {
    char title[261] = {};
    ASSERT_EQ(afm3ReadRecordField(testOwner(), album, n, 0, title), 1);
    EXPECT_STREQ(title, expected[n]);
  }
  EXPECT_NE(afm3IsValidRecord(testOwner(), album, 3), 1);
  afm3CloseAlbum(testOwner(), album);
}

// The live fields' "number:name:type", as the album lists them on open.
std::vector<std::string> fieldsOf(const std::string& path) {
  HANDLE album = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  EXPECT_NE(afm3OpenAlbum(testOwner(), path.c_str(), 0x42, &album, nullptr, &count, &specs),
            0xFFFFu);
  std::vector<std::string> fields;
  const auto* s = static_cast<const uint8_t*>(GlobalLock(specs));
  for (BYTE j = 0; j < count; ++j)
    fields.push_back(std::to_string(s[67 * j]) + ":" +
                     reinterpret_cast<const char*>(s + 67 * j + 2) + ":" +
                     std::to_string(s[67 * j + 1] & 0x0F));
  GlobalUnlock(specs);
  GlobalFree(specs);
  afm3CloseAlbum(testOwner(), album);
  return fields;
}

TEST(Scheme, AddsRenamesAndRemovesFieldsByName) {
  afm3test::TempDir dir;
  const std::string path = dir.file("scheme.ab3");
  const auto fields =
      afm3test::specs({afm3test::fieldSpec("Title", 11), afm3test::fieldSpec("Rank", 0)});
  HANDLE album = afm3CreateAlbum(testOwner(), afm3test::albumInfo("Scheme").data(), 2,
                                 fields.data(), path.c_str(), nullptr, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(testOwner(), album);
  const std::string shell = tooltest::shellPath(path);
  std::string out;
  struct Step {
    std::vector<std::string> words;
    int status;
    std::vector<std::string> fields;
  };
  const Step steps[] = {
      {{"scheme", "add", shell, "Place:string", "Stars:bytes2:index=2", "--no-progress"},
       0,
       {"0:Title:11", "1:Rank:0", "2:Place:9", "3:Stars:0"}},
      {{"scheme", "rename", shell, "Rank", "Position"},
       0,
       {"0:Title:11", "1:Position:0", "2:Place:9", "3:Stars:0"}},
      {{"scheme", "remove", shell, "Title", "3"}, 0, {"1:Position:0", "2:Place:9"}},
      {{"scheme", "remove", shell, "Nothing"}, 2, {"1:Position:0", "2:Place:9"}},
      {{"scheme", "add", shell, "Odd:text:attribute"}, 2, {"1:Position:0", "2:Place:9"}},
      {{"scheme", "swap", shell, "Place"}, 2, {"1:Position:0", "2:Place:9"}},
  };
  for (const Step& step : steps) {
    EXPECT_EQ(run(step.words, &out), step.status) << step.words[1] << " " << step.words[3];
    EXPECT_EQ(fieldsOf(path), step.fields) << step.words[1] << " " << step.words[3];
  }
}

}  // namespace
