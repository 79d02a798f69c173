#include <gtest/gtest.h>

#include <string>

#include "afm3.h"
#include "album_fixtures.h"
#include "core/album_table.h"
#include "platform.h"
#include "temp_dir.h"

namespace {

using afm3test::Bytes;
using afm3test::get16;
using afm3test::get32;

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x5150); }

Bytes readFile(const std::string& path) {
  const std::string s = afm3test::readWholeFile(path);
  return Bytes(s.begin(), s.end());
}

HANDLE create(const Bytes& info, const Bytes& fields, const std::string& path, char* outPath) {
  return afm3CreateAlbum(owner(), info.data(), static_cast<DWORD>(fields.size() / 67),
                         fields.data(), path.c_str(), outPath, nullptr);
}

// Creates an album and closes it; returns its path (empty on failure).
std::string createClosed(const std::string& title, const std::string& folder) {
  char path[260] = {};
  const Bytes fields = afm3test::specs({afm3test::fieldSpec("Name", 11)});
  HANDLE album = create(afm3test::albumInfo(title), fields, folder, path);
  if (album == nullptr) return {};
  afm3CloseAlbum(owner(), album);
  return path;
}

std::string nameOf(const std::string& path) { return path.substr(path.rfind('\\') + 1); }

TEST(CreateAlbum, WritesTheHeaderPageDirectoryFieldTablesAndIndexListInPlace) {
  afm3test::TempDir dir;
  Bytes info = afm3test::albumInfo("Layout");
  for (int i = 0; i < 32; ++i) info[1444 + i] = static_cast<uint8_t>(0x81 + i);
  info[0] = 7;  // recordCount and nextRecordNumber start at 0 whatever the caller says
  info[2] = 9;
  const Bytes fields = afm3test::specs({
      afm3test::fieldSpec("Name", 11, 1),
      afm3test::fieldSpec("Date", 2),
      afm3test::fieldSpec("Keywords", 7, 2),
      afm3test::fieldSpec("Note", 12),
      afm3test::fieldSpec("Title", 9 | 0x80),
  });
  const std::string path = dir.file("layout.ab3");
  HANDLE album = create(info, fields, path, nullptr);
  ASSERT_NE(album, nullptr);
  ASSERT_TRUE(afm3CloseAlbum(owner(), album));

  const Bytes file = readFile(path);
  const std::string names = std::string("Name\0Date\0Keywords\0Note\0Title\0", 30);
  ASSERT_EQ(file.size(), 1798u + 512 + 5 * 16 + names.size() + 2 + 2 * 8);

  EXPECT_EQ(get32(file, 0), 0xCD6FC5D6u);
  EXPECT_EQ(file[4], 3);
  EXPECT_EQ(file[5], 0);
  EXPECT_EQ(get32(file, 8), 1798u);  // page directory
  EXPECT_EQ(get16(file, 12), 128);
  EXPECT_EQ(get16(file, 14), 64);
  for (size_t at = 16; at < 36; ++at) EXPECT_EQ(file[at], 0) << "heaps and row directory, " << at;
  // Row: 12 + date 4 + keywords 64 + title 18 = 98; slot 107; 153 slots of
  // 107 bytes fill a block of at most 16384.
  EXPECT_EQ(get16(file, 42), 98);
  EXPECT_EQ(get16(file, 44), 107);
  EXPECT_EQ(get16(file, 36), 16371);
  EXPECT_EQ(get16(file, 38), 153);
  EXPECT_EQ(get16(file, 40), 0);
  EXPECT_EQ(file[46], 5);
  EXPECT_EQ(file[47], 5);
  EXPECT_EQ(get32(file, 48), 2310u);
  EXPECT_EQ(get32(file, 52), 2390u);
  EXPECT_EQ(get16(file, 56), names.size());

  for (size_t at = 1798; at < 2310; ++at) ASSERT_EQ(file[at], 0) << at;
  // FieldDefs: number, type (0x20 = caller attribute), name offset, zeros,
  // then row offset or ordinal.
  const struct {
    uint8_t type;
    uint16_t name;
    uint16_t placement;
  } defs[] = {{11, 0, 0}, {2, 5, 12}, {7, 10, 16}, {12, 19, 0}, {9 | 0x20, 24, 80}};
  for (int j = 0; j < 5; ++j) {
    const size_t at = 2310 + 16 * j;
    EXPECT_EQ(file[at], j);
    EXPECT_EQ(file[at + 1], defs[j].type) << j;
    EXPECT_EQ(get16(file, at + 2), defs[j].name) << j;
    for (size_t k = 4; k < 14; ++k) EXPECT_EQ(file[at + k], 0);
    EXPECT_EQ(get16(file, at + 14), defs[j].placement) << j;
  }
  EXPECT_EQ(std::string(file.begin() + 2390, file.begin() + 2390 + names.size()), names);
  const size_t index = 2390 + names.size();
  EXPECT_EQ(get16(file, index), 2);
  EXPECT_EQ(Bytes(file.begin() + index + 2, file.end()),
            Bytes({1, 0, 0, 0, 0, 0, 0, 0, 2, 2, 0, 0, 0, 0, 0, 0}));

  EXPECT_EQ(get16(file, 60), 0);
  EXPECT_EQ(get16(file, 62), 0);
  EXPECT_EQ(get16(file, 64), 96);
  EXPECT_EQ(file[66] & 0x20, 0x20);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&file[68])), "Layout");
  EXPECT_EQ(get32(file, 1538), index);
  for (int i = 0; i < 32; ++i) {
    const uint8_t v = static_cast<uint8_t>(0x81 + i);
    const unsigned n = i % 8;
    const uint8_t rotated = static_cast<uint8_t>(n == 0 ? v : (v >> n) | (v << (8 - n)));
    EXPECT_EQ(file[1504 + i], rotated) << i;
  }
  EXPECT_EQ(get16(file, 1796), afm3test::xorChecksum(Bytes(file.begin(), file.begin() + 1798)));
}

TEST(CreateAlbum, WithoutIndexedFieldsHasNoIndexList) {
  afm3test::TempDir dir;
  const std::string path = dir.file("plain.ab3");
  HANDLE album =
      create(afm3test::albumInfo("Plain"), afm3test::fieldSpec("Name", 11), path, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner(), album);
  const Bytes file = readFile(path);
  EXPECT_EQ(file.size(), 1798u + 512 + 16 + 5);
  EXPECT_EQ(get32(file, 1538), 0u);
}

TEST(CreateAlbum, LeavesTheFileOpenForWritingOnlyWithoutSharing) {
  afm3test::TempDir dir;
  const std::string path = dir.file("open.ab3");
  HANDLE album =
      create(afm3test::albumInfo("Open"), afm3test::fieldSpec("Name", 11), path, nullptr);
  ASSERT_NE(album, nullptr);
  plat::FileHandle other =
      plat::openFile(path.c_str(), plat::kGenericRead, plat::kShareRead | plat::kShareWrite,
                     plat::Disposition::OpenExisting);
  EXPECT_EQ(other, plat::invalidFile());
  EXPECT_EQ(plat::lastError(), 32u);
  EXPECT_TRUE(afm3CloseAlbum(owner(), album));
  EXPECT_FALSE(afm3CloseAlbum(owner(), album));
}

TEST(CreateAlbum, AnExplicitPathReplacesAnExistingFile) {
  afm3test::TempDir dir;
  const std::string path = dir.file("given name.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(100000, 'x')));
  HANDLE album =
      create(afm3test::albumInfo("Other"), afm3test::fieldSpec("Name", 11), path, nullptr);
  ASSERT_NE(album, nullptr);
  afm3CloseAlbum(owner(), album);
  EXPECT_EQ(readFile(path).size(), 1798u + 512 + 16 + 5);
}

TEST(CreateAlbum, ZeroFieldsFailsWithoutAReport) {
  afm3test::TempDir dir;
  afm3test::clearLastError();
  EXPECT_EQ(afm3CreateAlbum(owner(), afm3test::albumInfo("x").data(), 0, nullptr,
                            dir.file("none.ab3").c_str(), nullptr, nullptr),
            nullptr);
  EXPECT_FALSE(afm3test::lastError().recorded);
}

TEST(CreateAlbum, LongNamesAreNumberedBesideAnExistingAlbum) {
  afm3test::TempDir dir;
  EXPECT_EQ(nameOf(createClosed("Trip", dir.path())), "Trip.ab3");
  EXPECT_EQ(nameOf(createClosed("Trip", dir.path())), "Trip-0000.ab3");
  EXPECT_EQ(nameOf(createClosed("Trip", dir.path())), "Trip-0001.ab3");
}

TEST(CreateAlbum, LongNamesDropCharactersAFileNameCannotHold) {
  afm3test::TempDir dir;
  EXPECT_EQ(nameOf(createClosed("a<b>c:d*e?f|g\"h/i\\j+k=l,m;n", dir.path())),
            "abcdefghijklmn.ab3");
  EXPECT_EQ(nameOf(createClosed("Summer [2004] {x}.", dir.path())), "Summer [2004] {x}..ab3");
}

TEST(CreateAlbum, ATitleWithNothingUsableFailsWith6429) {
  afm3test::TempDir dir;
  char path[260] = {};
  HANDLE album =
      create(afm3test::albumInfo("<>?*"), afm3test::fieldSpec("Name", 11), dir.path(), path);
  EXPECT_EQ(album, nullptr);
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.id, 6429u);
  EXPECT_EQ(e.module, 7000u);
  EXPECT_EQ(e.function, 1u);
  EXPECT_EQ(e.step, 9u);
}

TEST(CreateAlbum, AFailedCreationLeavesNoSlotBehind) {
  const size_t before = afm3::openAlbumCount();
  const std::string missing = "Z:\\no\\such\\folder\\x.ab3";
  EXPECT_EQ(create(afm3test::albumInfo("x"), afm3test::fieldSpec("Name", 11), missing, nullptr),
            nullptr);
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.id, 6414u);
  EXPECT_EQ(e.step, 1u);
  EXPECT_EQ(afm3::openAlbumCount(), before);
}

#ifndef _WIN32
// An 8.3 volume "Y:\" over a scratch folder.
class ShortNameVolume : public testing::Test {
 protected:
  void SetUp() override {
    char host[260];
    // The scratch folder's host path: "Z:\tmp\x\" is "/tmp/x/".
    std::string folder = dir.path().substr(2);
    for (char& c : folder)
      if (c == '\\') c = '/';
    std::snprintf(host, sizeof host, "%s", folder.c_str());
    ASSERT_TRUE(qwinTestAddVolume("Y:\\", host, "SHORT", DRIVE_FIXED, 12, 1234, nullptr));
  }
  void TearDown() override { qwinTestRemoveVolume("Y:\\"); }
  afm3test::TempDir dir;
};

TEST_F(ShortNameVolume, NamesAreEightCharactersThenNumbered) {
  EXPECT_EQ(nameOf(createClosed("Holidays 2004", "Y:\\")), "Holidays.ab3");
  EXPECT_EQ(nameOf(createClosed("Holidays 2004", "Y:\\")), "Holid000.ab3");
  EXPECT_EQ(nameOf(createClosed("Holidays 2004", "Y:\\")), "Holid001.ab3");
}

TEST_F(ShortNameVolume, ShortNamesDropBlanksDotsAndBrackets) {
  EXPECT_EQ(nameOf(createClosed("A.b [c] {d} e~f", "Y:\\")), "Abcdef.ab3");
  char path[260] = {};
  EXPECT_EQ(create(afm3test::albumInfo(". []~"), afm3test::fieldSpec("N", 11), "Y:\\", path),
            nullptr);
  EXPECT_EQ(afm3test::lastError().id, 6429u);
}

TEST_F(ShortNameVolume, ALongExplicitNameIsRefusedAsTooLong) {
  EXPECT_EQ(create(afm3test::albumInfo("x"), afm3test::fieldSpec("N", 11), "Y:\\longer name.ab3",
                   nullptr),
            nullptr);
  EXPECT_EQ(afm3test::lastError().id, 6806u);
}

TEST_F(ShortNameVolume, DoubleByteTitlesGetAFixedName) {
  qwinTestSetCodePage(932);
  const std::string title = "\x93\xfa\x96\x7b trip";  // two double-byte characters
  const std::string name = nameOf(createClosed(title, "Y:\\"));
  qwinTestSetCodePage(0);
  EXPECT_EQ(name, "album000.ab3");
}
#endif

}  // namespace
