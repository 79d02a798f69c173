// Converting old albums: the generated version-1 and version-2 albums
// convert record by record, keep their numbers, pass the integrity check,
// and every failure or stop leaves the old album and no new file.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "core/library_state.h"
#include "maintenance/album_check.h"
#include "maintenance/convert_run.h"
#include "maintenance/convert_shares.h"
#include "old_album_writer.h"
#include "platform.h"
#include "temp_dir.h"

namespace convtest {
namespace {

using afm3test::get16;
using afm3test::TempDir;

const HINSTANCE kOwner = reinterpret_cast<HINSTANCE>(0xC0417);

struct Answers {
  int messageBoxes = 0;
  int reply = IDNO;
};

int CALLBACK answerBox(HWND, LPCSTR, LPCSTR, UINT, void* user) {
  auto* a = static_cast<Answers*>(user);
  ++a->messageBoxes;
  return a->reply;
}

class ConvertTest : public testing::Test {
 protected:
  void SetUp() override {
    afm3::forgetShares();
    afm3::forgetChosenFolder();
    qwinTestSetMessageBoxHook(answerBox, &answers);
    qwinTestSetDialogDriver(nullptr, nullptr);
  }
  void TearDown() override {
    qwinTestSetMessageBoxHook(nullptr, nullptr);
    qwinTestSetDialogDriver(nullptr, nullptr);
    qwinTestClearRegistry();
  }
  std::string write(const std::string& name, const Bytes& bytes) {
    const std::string path = dir.file(name);
    EXPECT_TRUE(afm3test::writeWholeFile(path, std::string(bytes.begin(), bytes.end())));
    return path;
  }
  int convert(const std::string& old, bool deleteOld = true, HWND progress = nullptr) {
    newPath[0] = '\0';
    return afm3ConvertAbmFile(kOwner, nullptr, old.c_str(), newPath, progress, deleteOld);
  }
  bool exists(const std::string& path) {
    return plat::fileAttributes(path.c_str()) != plat::kInvalidAttributes;
  }
  std::vector<std::string> filesLeft() {
    std::vector<std::string> names;
    plat::FindData data;
    plat::FindHandle find = plat::findFirst(dir.file("*").c_str(), &data);
    if (find == plat::invalidFile()) return names;
    do {
      if (data.name[0] != '.') names.push_back(data.name);
    } while (plat::findNext(find, &data));
    plat::findClose(find);
    return names;
  }
  HANDLE open(const std::string& path) {
    HANDLE handle = nullptr;
    EXPECT_NE(afm3OpenAlbum(kOwner, path.c_str(), AFM3_OPEN_READ_WRITE | AFM3_OPEN_SHARE_NONE,
                            &handle, nullptr, nullptr, nullptr),
              AFM3_OPEN_FAILED);
    return handle;
  }
  static size_t problemsIn(const std::string& path) {
    HANDLE file = plat::openFile(path.c_str(), plat::kGenericRead, plat::kShareRead,
                                 plat::Disposition::OpenExisting);
    std::vector<afm3::FoundProblem> problems;
    const auto outcome = afm3::checkAlbum(file, &problems);
    plat::closeFile(file);
    return outcome == afm3::CheckOutcome::Checked ? problems.size() : 999;
  }
  std::string text(HANDLE album, DWORD record, DWORD field) {
    char buffer[300] = {};
    afm3ReadRecordField(kOwner, album, record, field, buffer);
    return buffer;
  }

  TempDir dir;
  char newPath[AFM3_MAX_PATH] = {};
  Answers answers;
};

OldAlbum tenRecords() {
  OldAlbum album;
  album.keywords = {"sea", "sun", "sand"};
  for (int n = 0; n < 10; ++n) {
    OldEntry e;
    e.deleted = n == 3 || n == 7;
    e.file = "P" + std::to_string(n) + ".JPG";
    e.text = "text " + std::to_string(n);
    e.name = "name " + std::to_string(n);
    e.keywords = {static_cast<uint16_t>(n % 3), 2};
    album.entries.push_back(e);
  }
  return album;
}

TEST_F(ConvertTest, Version2KeepsNumbersTextsKeywordsAndImages) {
  const OldAlbum old = tenRecords();
  const std::string oldPath = write("trip.abm", version2File(old));
  ASSERT_EQ(convert(oldPath), 1);
  EXPECT_EQ(std::string(newPath), dir.file("trip.ab3"));
  EXPECT_FALSE(exists(oldPath));  // deleteOldAlbum
  EXPECT_EQ(problemsIn(newPath), 0u);
  HANDLE album = open(newPath);
  for (DWORD n = 0; n < 10; ++n) {
    const bool deleted = n == 3 || n == 7;
    EXPECT_EQ(afm3IsValidRecord(kOwner, album, n), deleted ? 0 : 1) << n;
    if (deleted) continue;
    EXPECT_EQ(text(album, n, 5), "text " + std::to_string(n));
    EXPECT_EQ(text(album, n, 6), "name " + std::to_string(n));
    uint8_t keywords[64] = {};
    afm3ReadRecordField(kOwner, album, n, 7, keywords);
    EXPECT_EQ(get16(Bytes(keywords, keywords + 4), 0), n % 3);
    HGLOBAL dib = nullptr;
    EXPECT_GT(afm3ReadRecordImage(kOwner, album, n, 0, &dib), 0) << n;
    if (dib) GlobalFree(dib);
  }
  EXPECT_EQ(afm3UndelRecord(kOwner, album, 3), TRUE);
  EXPECT_EQ(text(album, 3, 5), "");
  WORD count = 0;
  HGLOBAL table = afm3ReadTable(kOwner, album, 7, &count);
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(count, 3);
  const auto* bytes = static_cast<const char*>(GlobalLock(table));
  EXPECT_EQ(std::string(bytes, 15), std::string("sea\0sun\0sand\0\0", 15));
  GlobalUnlock(table);
  GlobalFree(table);
  uint8_t info[AFM3_ALBUM_INFO_SIZE] = {};
  afm3ReadBasicAlbumInfo(kOwner, album, info);
  EXPECT_STREQ(reinterpret_cast<char*>(info + AFM3_INFO_TITLE), "Old trip");
  EXPECT_EQ(info[AFM3_INFO_FLAGS] & 0x06, 0x02);
  afm3CloseAlbum(kOwner, album);
  EXPECT_EQ(afm3::lastConversion().converted, 8u);
}

// Version 1: kind, colour and caller flags from the record's bytes; a
// thumbnail of another size converts without its image.
TEST_F(ConvertTest, Version1RecordsAndTheirThumbnails) {
  struct Case {
    uint8_t flags, colour;
    int32_t delta;
    uint8_t kind, format, entryFlags;
    bool image;
  };
  const Case cases[] = {
      {0x00, 7, 0, 2, 2, 0, true},  {0x01, 8, 0, 3, 0, 1, true},    {0x18, 8, 0, 8, 0, 2, true},
      {0x09, 1, 0, 2, 64, 3, true}, {0x00, 10, -3, 2, 1, 0, false}, {0x00, 99, 5, 2, 16, 0, false},
  };
  for (uint8_t minor : {0, 2}) {
    OldAlbum old;
    for (const Case& c : cases) {
      OldEntry e;
      e.v1Flags = c.flags, e.colour = c.colour, e.thumbBytesDelta = c.delta;
      e.text = "v1";
      old.entries.push_back(e);
      OldEntry gone;
      gone.deleted = true;
      old.entries.push_back(gone);
    }
    const std::string oldPath =
        write("v1_" + std::to_string(minor) + ".abm", version1File(old, minor));
    ASSERT_EQ(convert(oldPath), 1);
    EXPECT_EQ(problemsIn(newPath), 0u);
    EXPECT_EQ(afm3::lastConversion().droppedImages, 2u);
    HANDLE album = open(newPath);
    for (size_t i = 0; i < std::size(cases); ++i) {
      const Case& c = cases[i];
      const DWORD n = static_cast<DWORD>(2 * i);
      uint8_t entry[AFM3_RECORD_ENTRY_SIZE] = {};
      char path[AFM3_MAX_PATH] = {}, extra[AFM3_MAX_PATH] = {};
      ASSERT_TRUE(afm3ReadRecordPic(kOwner, album, n, entry, path, sizeof path, 0, extra)) << i;
      EXPECT_EQ(entry[AFM3_ENTRY_SOURCE_KIND], c.kind) << i;
      if (c.kind == 2) {
        EXPECT_EQ(entry[AFM3_ENTRY_FORMAT], c.format) << i;
      }
      EXPECT_EQ(get16(Bytes(entry + AFM3_ENTRY_FLAGS, entry + AFM3_ENTRY_FLAGS + 2), 0) & 3,
                c.entryFlags)
          << i;
      EXPECT_EQ(get16(Bytes(entry + AFM3_ENTRY_IMAGE_OFFSET, entry + 8), 0) != 0, c.image) << i;
      EXPECT_EQ(text(album, n, 5), "v1");
      EXPECT_EQ(afm3IsValidRecord(kOwner, album, n + 1), 0) << i;
    }
    afm3CloseAlbum(kOwner, album);
  }
}

TEST_F(ConvertTest, CurrentAlbumIsLeftAsItIs) {
  const std::string path = dir.file("now.ab3");
  HANDLE made =
      afm3CreateAlbum(kOwner, afm3test::albumInfo("now").data(), 1,
                      afm3test::fieldSpec("F", 11).data(), path.c_str(), nullptr, nullptr);
  ASSERT_NE(made, nullptr);
  afm3CloseAlbum(kOwner, made);
  EXPECT_EQ(convert(path, false), 1);
  EXPECT_EQ(std::string(newPath), path);
  EXPECT_TRUE(exists(path));
  EXPECT_EQ(answers.messageBoxes, 0);
  EXPECT_EQ(filesLeft().size(), 1u);
}

// The folder takes no new files (the work name is taken by a folder):
// the question asks for another, the old album stays, nothing is asked.
void chooseFolder(HWND dialog, int, void* user) {
  plat::setDialogItemText(dialog, 2001, static_cast<const char*>(user));
  plat::sendMessage(dialog, WM_COMMAND, IDOK, 0);
}

TEST_F(ConvertTest, FolderRefusingNewFilesAsksForAnother) {
  const std::string oldPath = write("ro.abm", version2File(tenRecords()));
  ASSERT_TRUE(plat::createDirectory(dir.file("~~tmpabm.ab3").c_str()));
  EXPECT_EQ(convert(oldPath), -1);  // no driver: the question is cancelled
  EXPECT_EQ(filesLeft().size(), 2u);

  const std::string other = dir.file("other");
  qwinTestSetDialogDriver(chooseFolder, const_cast<char*>(other.c_str()));
  answers.reply = IDYES;  // create the folder
  ASSERT_EQ(convert(oldPath, true), 1);
  EXPECT_EQ(std::string(newPath), other + "\\ro.ab3");
  EXPECT_TRUE(exists(oldPath));
  EXPECT_EQ(answers.messageBoxes, 1);  // the create-folder question only
  EXPECT_EQ(problemsIn(newPath), 0u);
}

TEST_F(ConvertTest, ExistingNameGetsNumberedAndQuestionDecides) {
  const std::string oldPath = write("trip.abm", version2File(tenRecords()));
  write("trip.ab3", Bytes{1, 2, 3});
  answers.reply = IDNO;
  ASSERT_EQ(convert(oldPath, false), 1);
  EXPECT_NE(std::string(newPath), dir.file("trip.ab3"));
  EXPECT_EQ(answers.messageBoxes, 1);
  EXPECT_TRUE(exists(oldPath));
  EXPECT_EQ(afm3test::readWholeFile(dir.file("trip.ab3")), std::string("\1\2\3", 3));
  answers.reply = IDYES;
  ASSERT_EQ(convert(oldPath, false), 1);
  EXPECT_FALSE(exists(oldPath));
}

TEST_F(ConvertTest, FreeSpaceOfTwiceTheOldSizeIsRefused) {
  ASSERT_TRUE(qwinTestAddVolume("Q:\\",
                                plat::hostPathOf(dir.path().c_str(), newPath, 260) ? newPath : "",
                                "Q", 3, 255, 7, nullptr));
  const Bytes bytes = version2File(tenRecords());
  write("space.abm", bytes);
  for (long long extra : {0LL, 1LL}) {
    qwinTestSetFreeSpace("Q:\\", 2LL * static_cast<long long>(bytes.size()) + extra);
    afm3test::clearLastError();
    // One byte more passes this rule (inserts then ask for their own room).
    const int result = convert("Q:\\space.abm", false);
    const auto e = afm3test::lastError();
    EXPECT_EQ(result == 0 && e.module == 7008 && e.function == 8 && e.step == 2, extra == 0);
  }
  qwinTestRemoveVolume("Q:\\");
}

TEST_F(ConvertTest, NetworkNamesOfSharedFolders) {
  std::string host(260, '\0');
  ASSERT_TRUE(plat::hostPathOf(dir.path().c_str(), host.data(), 260));
  host.resize(std::strlen(host.c_str()));
  ASSERT_TRUE(qwinTestAddVolume("C:\\", host.c_str(), "C", 3, 255, 9, nullptr));
  ASSERT_TRUE(plat::createDirectory("C:\\PHOTOS"));
  ASSERT_TRUE(plat::createDirectory("C:\\PHOTOS\\MORE"));
  qwinTestSetComputerName("HOST");
  // Kind 2 lists shares as sub-keys with a "Path" value, the others as
  // values holding "path=..." strings.
  const char* lanMan = "Software\\Microsoft\\Windows\\CurrentVersion\\Network\\LanMan";
  const char* server = "Clone\\Clone\\Services\\Lanmanserver\\Shares";
  const char* shares[][2] = {
      {"PICS", "C:\\PHOTOS"}, {"GONE", "C:\\MISSING"}, {"DEEP", "C:\\PHOTOS\\MORE"}};
  for (const auto& share : shares) {
    qwinTestSetRegistryString("HKLM", (std::string(lanMan) + "\\" + share[0]).c_str(), "Path",
                              share[1]);
    qwinTestSetRegistryString("HKLM", server, share[0], (std::string("Path=") + share[1]).c_str());
  }
  qwinTestSetRegistryString("HKLM", server, "MORE", "Remark=x");  // no path
  struct Case {
    const char* path;
    uint32_t drive;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\photos\\a.jpg", 3, "\\\\HOST\\PICS|C:\\PHOTOS"},
      {"C:\\PHOTOS\\MORE\\b.jpg", 3, "\\\\HOST\\DEEP|C:\\PHOTOS\\MORE"},
      {"C:\\PHOTOS\\a.jpg", 4, ""},
      {"C:\\ELSE\\a.jpg", 3, ""},
      {"\\\\host\\pics\\x\\a.jpg", 3, "\\\\HOST\\PICS|C:\\PHOTOS"},
      {"\\\\host\\pics", 3, "\\\\HOST\\PICS|C:\\PHOTOS"},
      {"\\\\other\\pics\\a.jpg", 3, ""},
  };
  const uint32_t kind = afm3::libraryState().osKind;
  for (uint32_t osKind : {2u, 1u}) {
    afm3::libraryState().osKind = osKind;
    afm3::forgetShares();
    for (const Case& c : cases)
      EXPECT_EQ(afm3::networkNameOf(c.path, c.drive), c.expected) << c.path << " " << osKind;
    EXPECT_EQ(afm3::shareTable().size(), 2u);
  }
  afm3::libraryState().osKind = kind;
  afm3::forgetShares();
  qwinTestSetComputerName(nullptr);
  qwinTestRemoveVolume("C:\\");
}

// Cancelling at any step, and damaged old albums: a report (or -1), the
// old album unchanged, no new file under any name.
LRESULT CALLBACK cancelAtThird(HWND, UINT message, WPARAM, LPARAM step) {
  return message == AFM3_PROGRESS_STEP && step == 3 ? 1 : 0;
}

TEST_F(ConvertTest, FailuresAndStopsLeaveNothingNew) {
  const OldAlbum good = tenRecords();
  const Bytes v2 = version2File(good);
  const uint32_t page = v2FirstPage(good);
  const uint32_t entry5 = page + 5 * 288;
  auto patched = [&](uint32_t at, uint32_t value) {
    Bytes b = v2;
    afm3test::put32(b, at, value);
    return b;
  };
  struct Case {
    const char* what;
    Bytes bytes;
    uint32_t id, step;
  };
  const Case cases[] = {
      {"keywords past the end",
       [&] {
         Bytes b = v2;
         afm3test::put32(b, 4642, 0xFFFFFF00u);
         Bytes h(b.begin(), b.begin() + 4784);
         afm3test::sealChecksum(h);
         std::copy(h.begin(), h.end(), b.begin());
         return b;
       }(),
       6424, 1},
      {"text past the end", patched(entry5 + 100, 0x7FFFFFFF), 6425, 9},
      {"image past the end", patched(entry5 + 40, 0x7FFFFF00), 6424, 4},
      {"cut in a page", Bytes(v2.begin(), v2.begin() + page + 100), 6424, 4},
      {"not an album", Bytes(300, 7), 6412, 4},
  };
  for (const Case& c : cases) {
    const std::string oldPath = write("bad.abm", c.bytes);
    afm3test::clearLastError();
    EXPECT_EQ(convert(oldPath, false), 0) << c.what;
    EXPECT_EQ(afm3test::lastError().id, c.id) << c.what;
    EXPECT_EQ(afm3test::lastError().step, c.step) << c.what;
    EXPECT_EQ(filesLeft(), std::vector<std::string>{"bad.abm"}) << c.what;
    EXPECT_TRUE(afm3test::readWholeFile(oldPath) == std::string(c.bytes.begin(), c.bytes.end()))
        << c.what;
  }
  const std::string oldPath = write("bad.abm", v2);
  HWND window = plat::createMessageWindow(cancelAtThird, nullptr);
  EXPECT_EQ(convert(oldPath, true, window), -1);
  plat::destroyWindow(window);
  EXPECT_EQ(filesLeft(), std::vector<std::string>{"bad.abm"});
}

}  // namespace
}  // namespace convtest
