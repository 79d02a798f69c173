// The record verbs run the way the shell runs them, against real albums.
//
// Arguments that are refused before any record is touched are tested
// always. The suites ToolRecords* need the library's record functions
// (afm3InsertRecord and the reads, updates and deletions); until those are
// in the build they skip themselves, saying so. Where a check needs the
// picture functions (afm3ReadRecordPic, afm3ReadRecordImage) it is made
// only when those are in the build too.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include "afm3.h"
#include "afm3_bytes.h"
#include "album_fixtures.h"
#include "album_verbs.h"
#include "cli.h"
#include "q32comm.h"
#include "temp_dir.h"
#include "test_pictures.h"

namespace {

using tooltest::Bytes;

HINSTANCE testOwner() { return reinterpret_cast<HINSTANCE>(0x7001); }

int run(const std::vector<std::string>& words) { return tooltest::runTool(words); }

struct Outcome {
  int status;
  std::string out;
};

Outcome runCaptured(const std::vector<std::string>& words) {
  testing::internal::CaptureStdout();
  const int status = run(words);
  return {status, testing::internal::GetCapturedStdout()};
}

bool mentions(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// An album with one field of most types; thumbnails of 64 pixels.
class ToolAlbum : public testing::Test {
 protected:
  void SetUp() override {
    albumPath_ = dir_.file("pictures.ab3");
    const Bytes fields =
        afm3test::specs({afm3test::fieldSpec("Title", 11), afm3test::fieldSpec("Rating", 0),
                         afm3test::fieldSpec("Keywords", 7), afm3test::fieldSpec("Note", 12),
                         afm3test::fieldSpec("Code", 9), afm3test::fieldSpec("Data", 10)});
    const Bytes info = afm3test::albumInfo("Tool test", 64);
    HANDLE album = afm3CreateAlbum(testOwner(), info.data(), 6, fields.data(), albumPath_.c_str(),
                                   nullptr, nullptr);
    ASSERT_NE(album, nullptr) << afm3test::lastError().text;
    afm3CloseAlbum(testOwner(), album);
    album_ = tooltest::shellPath(albumPath_);
    pictures_ = tooltest::shellPath(dir_.path()) + "pics";
    ASSERT_TRUE(std::filesystem::create_directory(pictures_));
  }

  // Writes a picture into the pictures folder; returns its shell path.
  std::string picture(const std::string& name, const Bytes& bytes) {
    const std::string path = inPictures(name);
    EXPECT_TRUE(tooltest::writeShellFile(path, bytes));
    return path;
  }

  // A shell path in the pictures folder, as a folder listing gives it.
  std::string inPictures(const std::string& name) const {
    return (std::filesystem::path(pictures_) / name).string();
  }

  std::vector<uint8_t> info() {
    std::vector<uint8_t> bytes(AFM3_ALBUM_INFO_SIZE, 0);
    HANDLE album = nullptr;
    EXPECT_NE(afm3OpenAlbum(testOwner(), albumPath_.c_str(),
                            AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE, &album, nullptr,
                            nullptr, nullptr),
              static_cast<DWORD>(AFM3_OPEN_FAILED));
    EXPECT_TRUE(afm3ReadBasicAlbumInfo(testOwner(), album, bytes.data()));
    afm3CloseAlbum(testOwner(), album);
    return bytes;
  }
  unsigned recordCount() { return afm3GetU16(info().data() + AFM3_INFO_RECORD_COUNT); }

  afm3test::TempDir dir_;
  std::string albumPath_;  // the library's form
  std::string album_;      // the shell's form
  std::string pictures_;
};

tooltest::Bmp plainBmp(int32_t w, int32_t h, uint8_t value) {
  tooltest::Bmp bmp;
  bmp.width = w;
  bmp.height = h;
  bmp.pixels.assign(static_cast<size_t>((3 * w + 3) / 4 * 4 * h), value);
  return bmp;
}

TEST_F(ToolAlbum, ArgumentsAreCheckedBeforeTheAlbumChanges) {
  const std::string photo = picture("a.bmp", tooltest::bmpFile(plainBmp(8, 8, 1)));
  EXPECT_EQ(run({"add", album_, photo, "--compression=gif"}), 2);
  EXPECT_EQ(run({"add", album_, photo, "--field=Nothing=1"}), 2);
  EXPECT_EQ(run({"add", album_, photo, "--field=Rating=70000"}), 2);
  EXPECT_EQ(run({"add", album_, photo, "--field=Title=" + std::string(256, 't')}), 2);
  EXPECT_EQ(run({"add", album_, photo, "--field=Rating"}), 2);
  EXPECT_EQ(run({"set", album_, "x", "Title", "t"}), 2);
  EXPECT_EQ(run({"set", album_, "65535", "Title", "t"}), 2);
  EXPECT_EQ(run({"show", album_, "-1"}), 2);
  EXPECT_EQ(run({"list", album_, "--fields=Title,Nothing"}), 2);
  EXPECT_EQ(run({"add", tooltest::shellPath(dir_.file("none.ab3")), photo}), 1);
  EXPECT_EQ(recordCount(), 0u);
}

// Every verb that takes a record number: a number the album never handed
// out fails with exit status 1 and says so; a deleted record fails where the
// verb needs a live one. Record 0 is live, record 1 deleted.
TEST_F(ToolAlbum, VerbsRefuseRecordsTheAlbumDoesNotHold) {
  const std::string photo = picture("a.bmp", tooltest::bmpFile(plainBmp(8, 8, 1)));
  ASSERT_EQ(runCaptured({"add", album_, photo, photo, "--compression=raw", "--no-progress"}).status,
            0);
  ASSERT_EQ(runCaptured({"delete", album_, "1"}).status, 0);
  struct Case {
    std::vector<std::string> words;
    int status;
    const char* says;  // on stdout when the status is 0, else on stderr
  };
  const std::vector<Case> cases = {
      {{"show", album_, "7"}, 1, "the album has no record 7"},
      {{"set", album_, "7", "Title", "x"}, 1, "the album has no record 7"},
      {{"delete", album_, "7"}, 1, "the album has no record 7"},
      {{"undelete", album_, "7"}, 1, "the album has no record 7"},
      {{"path", album_, "7"}, 1, "the album has no record 7"},
      {{"marks", "mark", album_, "0", "7"}, 1, "the album has no record 7"},
      {{"marks", "unmark", album_, "0", "7"}, 1, "the album has no record 7"},
      {{"show", album_, "1"}, 0, "state:      deleted"},
      {{"set", album_, "1", "Title", "x"}, 1, "record 1 is deleted"},
      {{"delete", album_, "1"}, 1, "record 1 is already deleted"},
      {{"path", album_, "1"}, 1, "record 1 is deleted"},
      {{"marks", "mark", album_, "0", "1"}, 1, "record 1 is deleted"},
      {{"undelete", album_, "0"}, 1, "record 0 is not deleted"},
  };
  for (const Case& c : cases) {
    testing::internal::CaptureStderr();
    const Outcome outcome = runCaptured(c.words);
    const std::string messages = testing::internal::GetCapturedStderr();
    const std::string label = c.words[0] + " " + c.words[c.words[0] == "marks" ? 4 : 2];
    EXPECT_EQ(outcome.status, c.status) << label << "\n" << messages;
    EXPECT_TRUE(mentions(c.status == 0 ? outcome.out : messages, c.says))
        << label << "\n"
        << outcome.out << messages;
  }
  EXPECT_EQ(recordCount(), 1u) << "no verb changed the album";
}

TEST_F(ToolAlbum, AnEmptyAlbumListsOnlyItsHeading) {
  const Outcome listed = runCaptured({"list", album_, "--fields=Title,Rating"});
  EXPECT_EQ(listed.status, 0);
  EXPECT_EQ(listed.out, "#  picture  Title  Rating\n");
}

TEST_F(ToolAlbum, DeepCheckListsProblemsAndRepairMendsThem) {
  Outcome checked = runCaptured({"check", album_, "--deep"});
  EXPECT_EQ(checked.status, 0);
  EXPECT_TRUE(mentions(checked.out, "no problems found")) << checked.out;
  // A record count one too high, under a header checksum that holds.
  const std::string file = afm3test::readWholeFile(albumPath_);
  Bytes header(file.begin(), file.begin() + 1798);
  afm3test::put16(header, 60, 1);
  afm3test::sealChecksum(header);
  ASSERT_TRUE(afm3test::patchFile(albumPath_, 0, header));
  checked = runCaptured({"check", album_, "--deep"});
  EXPECT_EQ(checked.status, 1);
  EXPECT_TRUE(mentions(checked.out, "record count    at 60: the header counts 1 records"))
      << checked.out;
  const Outcome repaired = runCaptured({"repair", album_});
  EXPECT_EQ(repaired.status, 0);
  EXPECT_TRUE(mentions(repaired.out, "repaired:\n  record count")) << repaired.out;
  EXPECT_TRUE(mentions(repaired.out, "1 problem(s) repaired, 0 left")) << repaired.out;
  EXPECT_EQ(runCaptured({"check", album_, "--deep"}).status, 0);
}

TEST_F(ToolAlbum, DamagedAndMissingPicturesAreSkippedWithAFailingStatus) {
  const std::string broken = picture("broken.png", tooltest::pngFile({}));
  testing::internal::CaptureStderr();
  const Outcome added =
      runCaptured({"add", album_, broken, inPictures("missing.jpg"), "--no-progress"});
  const std::string messages = testing::internal::GetCapturedStderr();
  EXPECT_EQ(added.status, 1);
  EXPECT_TRUE(mentions(messages, "skipped " + broken)) << messages;
  EXPECT_TRUE(mentions(messages, "missing.jpg: no such file or folder")) << messages;
  EXPECT_TRUE(mentions(added.out, "added 0 pictures, skipped 2")) << added.out;
  EXPECT_EQ(recordCount(), 0u);
}

// ---- with the record functions ------------------------------------------

bool notInThisBuild(const afm3test::LastError& error) {
  return error.recorded && mentions(error.text, "is not available");
}

class ToolRecords : public ToolAlbum {
 protected:
  void SetUp() override {
    ToolAlbum::SetUp();
    if (HasFatalFailure()) return;
    HANDLE album = open();
    BYTE* record = nullptr;
    BYTE** values = nullptr;
    afm3test::clearLastError();
    const int read = afm3ReadRecord(testOwner(), album, 0, &record, &values);
    const afm3test::LastError error = afm3test::lastError();
    char path[AFM3_MAX_PATH + 1];
    afm3test::clearLastError();
    afm3ReadRecordPic(testOwner(), album, 0, nullptr, path, sizeof path, 0, nullptr);
    picturesInBuild_ = !notInThisBuild(afm3test::lastError());
    afm3CloseAlbum(testOwner(), album);
    if (read == 0 && notInThisBuild(error))
      GTEST_SKIP() << "the record functions are not in this build yet: " << error.text;
  }

  HANDLE open() {
    HANDLE album = nullptr;
    EXPECT_NE(afm3OpenAlbum(testOwner(), albumPath_.c_str(),
                            AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE, &album, nullptr,
                            nullptr, nullptr),
              static_cast<DWORD>(AFM3_OPEN_FAILED));
    return album;
  }

  // A field of record r as afm3ReadRecordField returns it.
  Bytes field(unsigned r, unsigned number) {
    HANDLE album = open();
    Bytes value(512, 0);
    EXPECT_EQ(afm3ReadRecordField(testOwner(), album, r, number, value.data()), 1)
        << afm3test::lastError().text;
    afm3CloseAlbum(testOwner(), album);
    return value;
  }
  std::string text(unsigned r, unsigned number) {
    return reinterpret_cast<const char*>(field(r, number).data());
  }
  int state(unsigned r) {
    HANDLE album = open();
    const int valid = afm3IsValidRecord(testOwner(), album, r);
    afm3CloseAlbum(testOwner(), album);
    return valid;
  }

  // Three pictures (one of each format) and a damaged one, added with
  // values; returns add's outcome.
  Outcome addFolder(const std::string& compression) {
    picture("a.bmp", tooltest::bmpFile(plainBmp(40, 20, 0x30)));
    picture("b.png", tooltest::pngRgb(10, 30, Bytes(900, 0x90)));
    picture("c.JPG", tooltest::jpegFile(200, 100, Bytes(200 * 100 * 3, 0xC0), false, 80));
    picture("d.png", {0x89, 'P', 'N', 'G'});
    picture("notes.txt", {'x'});
    return runCaptured({"add", album_, pictures_, "--field=Title=Holiday", "--field=Rating=0x0105",
                        "--field=Keywords=3,1", "--field=Code=ABC-1", "--field=Data=raw bytes",
                        "--compression=" + compression, "--no-progress"});
  }

  bool picturesInBuild_ = false;
};

TEST_F(ToolRecords, AddIndexesEachPictureWithItsValuesAndSkipsTheDamagedOne) {
  const Outcome added = addFolder("raw");
  EXPECT_EQ(added.status, 1);  // d.png is damaged
  EXPECT_TRUE(mentions(added.out, "record 0: " + inPictures("a.bmp"))) << added.out;
  EXPECT_TRUE(mentions(added.out, "record 2: " + inPictures("c.JPG"))) << added.out;
  EXPECT_TRUE(mentions(added.out, "added 3 pictures, skipped 1")) << added.out;
  EXPECT_EQ(recordCount(), 3u);
  for (unsigned r = 0; r < 3; ++r) {
    EXPECT_EQ(text(r, 0), "Holiday");
    const Bytes rating = field(r, 1);
    EXPECT_EQ(afm3GetU16(rating.data()), 0x0105u);
    const Bytes keywords = field(r, 2);
    EXPECT_EQ(afm3GetU16(keywords.data()), 3u);
    EXPECT_EQ(afm3GetU16(keywords.data() + 2), 1u);
    EXPECT_EQ(afm3GetU16(keywords.data() + 4), 0xFFFFu);
    EXPECT_EQ(text(r, 3), "");  // Note was not given
  }
  if (!picturesInBuild_) return;
  HANDLE album = open();
  const struct {
    const char* name;
    uint32_t w, h;
  } expected[] = {{"a.bmp", 40, 20}, {"b.png", 10, 30}, {"c.JPG", 64, 32}};
  for (unsigned r = 0; r < 3; ++r) {
    Bytes entry(AFM3_RECORD_ENTRY_SIZE, 0);
    char path[AFM3_MAX_PATH + 1] = {};
    ASSERT_TRUE(
        afm3ReadRecordPic(testOwner(), album, r, entry.data(), path, sizeof path, 0, nullptr))
        << afm3test::lastError().text;
    EXPECT_EQ(std::string(path), dir_.path() + "pics\\" + expected[r].name);
    const std::string bytes = afm3test::readWholeFile(path);
    EXPECT_EQ(afm3GetU32(entry.data() + AFM3_ENTRY_FILE_SIZE), bytes.size());
    EXPECT_EQ(entry[AFM3_ENTRY_DRIVE_TYPE], 3);
    HGLOBAL dib = nullptr;
    ASSERT_EQ(afm3ReadRecordImage(testOwner(), album, r,
                                  afm3GetU32(entry.data() + AFM3_ENTRY_IMAGE_OFFSET), &dib),
              2)  // the colour kind of 24-bit pixels
        << afm3test::lastError().text;
    const auto* bitmap = static_cast<const uint8_t*>(GlobalLock(dib));
    EXPECT_EQ(afm3GetU32(bitmap + 4), expected[r].w) << expected[r].name;
    EXPECT_EQ(afm3GetU32(bitmap + 8), expected[r].h) << expected[r].name;
    EXPECT_EQ(afm3GetU16(bitmap + 14), 24u);
    GlobalUnlock(dib);
    GlobalFree(dib);
  }
  afm3CloseAlbum(testOwner(), album);
}

TEST_F(ToolRecords, ThumbnailsMayBeStoredThroughEveryCodec) {
  for (const char* compression : {"jpeg", "lzw", "zlib"}) {
    const std::string photo =
        picture(std::string(compression) + ".bmp", tooltest::bmpFile(plainBmp(120, 90, 0x55)));
    EXPECT_EQ(run({"add", album_, photo, "--compression=" + std::string(compression)}), 0)
        << compression;
  }
  EXPECT_EQ(recordCount(), 3u);
  // Lists not given hold no entries rather than entry 0.
  const Bytes keywords = field(0, 2);
  EXPECT_EQ(Bytes(keywords.begin(), keywords.begin() + 64), Bytes(64, 0xFF));
}

TEST_F(ToolRecords, ListAndShowPrintTheRecordsAndTheirFields) {
  addFolder("zlib");
  const Outcome listed = runCaptured({"list", album_, "--fields=Title,Rating,Keywords,Data"});
  EXPECT_EQ(listed.status, picturesInBuild_ ? 0 : 1);
  EXPECT_TRUE(mentions(listed.out, "Title    Rating  Keywords  Data")) << listed.out;
  EXPECT_TRUE(mentions(listed.out, "Holiday  261     3,1       raw bytes")) << listed.out;
  if (picturesInBuild_) {
    EXPECT_TRUE(mentions(listed.out, "1  b.png")) << listed.out;
  }

  const Outcome shown = runCaptured({"show", album_, "2"});
  EXPECT_TRUE(mentions(shown.out, "record:     2")) << shown.out;
  EXPECT_TRUE(mentions(shown.out, "Code      string   ABC-1")) << shown.out;
  EXPECT_TRUE(mentions(shown.out, "Note      memo     \n")) << shown.out;
  if (picturesInBuild_) {
    EXPECT_EQ(shown.status, 0);
    EXPECT_TRUE(mentions(shown.out, "c.JPG")) << shown.out;
    EXPECT_TRUE(mentions(shown.out, "64 x 32")) << shown.out;
  }
}

TEST_F(ToolRecords, SetDeleteAndUndeleteChangeOneRecord) {
  addFolder("raw");
  EXPECT_EQ(run({"set", album_, "1", "title", "Mountains"}), 0);
  EXPECT_EQ(run({"set", album_, "1", "Note", std::string(258, 'n')}), 0);
  EXPECT_EQ(run({"set", album_, "1", "Rating", "-2"}), 0);
  EXPECT_EQ(text(1, 0), "Mountains");
  EXPECT_EQ(text(0, 0), "Holiday");
  EXPECT_EQ(text(1, 3), std::string(258, 'n'));
  EXPECT_EQ(afm3GetU16(field(1, 1).data()), 0xFFFEu);

  EXPECT_EQ(run({"delete", album_, "1"}), 0);
  EXPECT_EQ(state(1), 0);
  EXPECT_EQ(recordCount(), 2u);
  EXPECT_EQ(run({"delete", album_, "1"}), 1);  // already deleted
  EXPECT_EQ(run({"set", album_, "1", "Title", "x"}), 1);
  const Outcome listed = runCaptured({"list", album_, "--fields=Title"});
  EXPECT_FALSE(mentions(listed.out, "Mountains")) << listed.out;
  const Outcome withDeleted = runCaptured({"list", album_, "--fields=", "--deleted"});
  EXPECT_TRUE(mentions(withDeleted.out, "(deleted)")) << withDeleted.out;
  EXPECT_TRUE(mentions(runCaptured({"show", album_, "1"}).out, "state:      deleted"));

  EXPECT_EQ(run({"undelete", album_, "1"}), 0);
  EXPECT_EQ(state(1), 1);
  EXPECT_EQ(recordCount(), 3u);
  EXPECT_EQ(text(1, 0), "Mountains");
  EXPECT_EQ(run({"undelete", album_, "1"}), 1);  // not deleted
}

}  // namespace
