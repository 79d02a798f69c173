#include <gtest/gtest.h>

#include <string>

#include "afm3.h"
#include "album_fixtures.h"
#include "core/album_table.h"
#include "held_file.h"
#include "memory_files.h"
#include "platform.h"
#include "temp_dir.h"

namespace {

using afm3test::Bytes;

HINSTANCE owner() { return reinterpret_cast<HINSTANCE>(0x0BE7); }

// A closed version-3 album with two fields, the second indexed.
class OpenAlbum : public testing::Test {
 protected:
  void SetUp() override {
    path = dir.file("album.ab3");
    const Bytes fields = afm3test::specs(
        {afm3test::fieldSpec("Name", 11), afm3test::fieldSpec("Keywords", 7 | 0x80, 3)});
    Bytes info = afm3test::albumInfo("Open me");
    info[1444] = 'K';  // protected
    HANDLE album =
        afm3CreateAlbum(owner(), info.data(), 2, fields.data(), path.c_str(), nullptr, nullptr);
    ASSERT_NE(album, nullptr);
    afm3CloseAlbum(owner(), album);
  }

  DWORD open(DWORD flags, HANDLE* handle, HGLOBAL* specs = nullptr, BYTE* count = nullptr) {
    return afm3OpenAlbum(owner(), path.c_str(), flags, handle, nullptr, count, specs);
  }

  void rewrite(const Bytes& bytes) {
    ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(bytes.begin(), bytes.end())));
  }
  Bytes contents() {
    const std::string s = afm3test::readWholeFile(path);
    return Bytes(s.begin(), s.end());
  }

  // Opening fails with this report and leaves the handle as it was.
  void expectOpenFails(DWORD flags, DWORD id, DWORD step) {
    HANDLE handle = reinterpret_cast<HANDLE>(0x1234);
    EXPECT_EQ(open(flags, &handle), 0xFFFFu);
    EXPECT_EQ(handle, reinterpret_cast<HANDLE>(0x1234));
    const afm3test::LastError e = afm3test::lastError();
    EXPECT_EQ(e.id, id);
    EXPECT_EQ(e.module, 7000u);
    EXPECT_EQ(e.function, 5u);
    EXPECT_EQ(e.step, step);
  }

  afm3test::TempDir dir;
  std::string path;
};

TEST_F(OpenAlbum, ResultBitsFollowAccessAndSharing) {
  const struct {
    DWORD flags;
    DWORD mode;
  } cases[] = {{0x00, 0x21}, {0x01, 0x21}, {0x02, 0x22}, {0x11, 0x11}, {0x12, 0x12},
               {0x41, 0x41}, {0x42, 0x42}, {0x21, 0x21}, {0x31, 0x21}, {0x101, 0x121}};
  for (const auto& c : cases) {
    HANDLE handle = nullptr;
    EXPECT_EQ(open(c.flags, &handle), c.mode) << std::hex << c.flags;
    EXPECT_TRUE(afm3CloseAlbum(owner(), handle));
  }
}

TEST_F(OpenAlbum, HandsOutTheLiveFieldsWithTheirIndexAttributes) {
  HANDLE handle = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  ASSERT_NE(open(0x22, &handle, &specs, &count), 0xFFFFu);
  ASSERT_EQ(count, 2);
  ASSERT_EQ(GlobalSize(specs), 2u * 67);
  const auto* s = static_cast<const uint8_t*>(GlobalLock(specs));
  EXPECT_EQ(s[0], 0);
  EXPECT_EQ(s[1], 11);
  EXPECT_STREQ(reinterpret_cast<const char*>(s + 2), "Name");
  EXPECT_EQ(s[66], 0);
  EXPECT_EQ(s[67], 1);
  EXPECT_EQ(s[68], 7 | 0x80);
  EXPECT_STREQ(reinterpret_cast<const char*>(s + 67 + 2), "Keywords");
  EXPECT_EQ(s[67 + 66], 3);
  GlobalUnlock(specs);
  GlobalFree(specs);
  afm3CloseAlbum(owner(), handle);
}

TEST_F(OpenAlbum, ReadOnlyFileFallsBackToSharingThenReadOnlyAccess) {
  if (!afm3test::readOnlyFilesRefuseWriting())
    GTEST_SKIP() << "this user may write read-only files";
  ASSERT_TRUE(plat::setFileAttributes(path.c_str(), plat::kAttrReadOnly));
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x40, &handle), 0x22u);
  afm3CloseAlbum(owner(), handle);
  expectOpenFails(0x00, 6408, 1);
  plat::setFileAttributes(path.c_str(), plat::kAttrNormal);
}

TEST_F(OpenAlbum, NoSharingFallsBackToReadSharingBesideAReader) {
  plat::FileHandle reader =
      plat::openFile(path.c_str(), plat::kGenericRead, plat::kShareRead | plat::kShareWrite,
                     plat::Disposition::OpenExisting);
  ASSERT_NE(reader, plat::invalidFile());
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x10, &handle), 0x41u);
  afm3CloseAlbum(owner(), handle);
  plat::closeFile(reader);
}

TEST_F(OpenAlbum, AWriterWithoutSharingMakesItFailWithAnAccessReport) {
  plat::FileHandle writer = plat::openFile(path.c_str(), plat::kGenericRead | plat::kGenericWrite,
                                           0, plat::Disposition::OpenExisting);
  ASSERT_NE(writer, plat::invalidFile());
  expectOpenFails(0x21, 6417, 1);
  expectOpenFails(0x10, 6417, 1);
  plat::closeFile(writer);
}

TEST_F(OpenAlbum, AnotherProcessesReaderOrWriterDecidesTheSharing) {
  {
    afm3test::HeldFile reader(path, "r", "rw");
    ASSERT_TRUE(reader.holding());
    HANDLE handle = nullptr;
    EXPECT_EQ(open(0x10, &handle), 0x41u);
    afm3CloseAlbum(owner(), handle);
    EXPECT_EQ(open(0x21, &handle), 0x21u);
    afm3CloseAlbum(owner(), handle);
  }
  afm3test::HeldFile writer(path, "rw", "-");
  ASSERT_TRUE(writer.holding());
  expectOpenFails(0x41, 6417, 1);
}

// Openers of albums in one folder probe it with the same file name; one
// that meets another's probe still opens for writing.
TEST_F(OpenAlbum, AProbeHeldByAnotherProcessLeavesTheAlbumWritable) {
  const std::string probe = dir.file("~~q-arvo.tmp");
  ASSERT_TRUE(afm3test::writeWholeFile(probe, ""));
  afm3test::HeldFile other(probe, "rw", "-");
  ASSERT_TRUE(other.holding());
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x21, &handle), 0x21u);
  afm3CloseAlbum(owner(), handle);
}

TEST_F(OpenAlbum, MissingFileIsReportedAsNotFound) {
  path = dir.file("missing.ab3");
  expectOpenFails(0x21, 6414, 1);
}

TEST_F(OpenAlbum, AcceptsTheOtherMagicByte) {
  Bytes file = contents();
  file[3] = 0x4D;
  Bytes header(file.begin(), file.begin() + 1798);
  afm3test::sealChecksum(header);
  std::copy(header.begin(), header.end(), file.begin());
  rewrite(file);
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x22, &handle), 0x22u);
  afm3CloseAlbum(owner(), handle);
}

TEST_F(OpenAlbum, RefusesDamagedHeaders) {
  const size_t openBefore = afm3::openAlbumCount();
  const Bytes good = contents();
  Bytes wrongChecksum = good;
  wrongChecksum[1796] ^= 1;
  rewrite(wrongChecksum);
  expectOpenFails(0x22, 6425, 5);

  Bytes wrongMagic = good;
  wrongMagic[1] = 0;
  rewrite(wrongMagic);
  expectOpenFails(0x22, 6424, 3);

  rewrite(Bytes(good.begin(), good.begin() + 1000));
  expectOpenFails(0x22, 6424, 2);

  Bytes version4 = good;
  version4[4] = 4;
  rewrite(version4);
  expectOpenFails(0x22, 6426, 4);
  EXPECT_EQ(afm3::openAlbumCount(), openBefore) << "failed opens leave no slot behind";
}

TEST_F(OpenAlbum, RefusesHeadersWhoseTablesDoNotFitTheFile) {
  const Bytes good = contents();
  const struct {
    size_t at;
    int width;
    uint32_t value;
  } damage[] = {
      {46, 1, 200},          // fieldDefCount beyond the file
      {47, 1, 3},            // more live fields than FieldDefs
      {48, 4, 0xFFFFFFF0u},  // FieldDef table offset
      {56, 2, 60000},        // name list size
      {12, 2, 60000},        // page directory entries
      {8, 4, 100},           // page directory inside the header
      {32, 4, 0xFFFFFF00u},  // row directory beyond the file
      {38, 2, 0},            // no rows per block
      {44, 2, 5},            // row slot smaller than the row
  };
  for (const auto& d : damage) {
    Bytes file = good;
    if (d.width == 1) file[d.at] = static_cast<uint8_t>(d.value);
    if (d.width == 2) afm3test::put16(file, d.at, static_cast<uint16_t>(d.value));
    if (d.width == 4) afm3test::put32(file, d.at, d.value);
    Bytes header(file.begin(), file.begin() + 1798);
    afm3test::sealChecksum(header);
    std::copy(header.begin(), header.end(), file.begin());
    rewrite(file);
    SCOPED_TRACE(d.at);
    HANDLE handle = nullptr;
    EXPECT_EQ(open(0x22, &handle), 0xFFFFu);
    EXPECT_EQ(afm3test::lastError().id, 6425u);
  }
}

TEST_F(OpenAlbum, RefusesAFieldOutsideTheRow) {
  Bytes file = contents();
  afm3test::put16(file, 2310 + 16 + 14, 60);  // the 64-byte list field would end at 124 > 76
  rewrite(file);
  expectOpenFails(0x22, 6425, 12);
}

TEST_F(OpenAlbum, RefusesAnIndexListBeyondTheFile) {
  Bytes file = contents();
  const size_t list = afm3test::get32(file, 1538);
  afm3test::put16(file, list, 5000);
  rewrite(file);
  expectOpenFails(0x22, 6424, 22);
}

TEST_F(OpenAlbum, ReportsProtectionOnlyWhenAsked) {
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x122, &handle), 0x122u);
  afm3CloseAlbum(owner(), handle);
}

TEST_F(OpenAlbum, Version2AlbumsOpenReadOnlyWithThreeFields) {
  const Bytes v2 = afm3test::version2Album("Old", 0, 2);
  rewrite(v2);
  for (DWORD flags : {0x00u, 0x01u, 0x11u, 0x21u}) {
    HANDLE handle = nullptr;
    HGLOBAL specs = nullptr;
    BYTE count = 0;
    EXPECT_EQ(open(flags, &handle, &specs, &count), 0x42u) << flags;
    EXPECT_EQ(count, 3);
    ASSERT_NE(specs, nullptr);
    const auto* s = static_cast<const uint8_t*>(GlobalLock(specs));
    EXPECT_EQ(s[1], 11);
    EXPECT_EQ(s[67 + 1], 7);
    EXPECT_EQ(s[134 + 1], 11);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s + 2)), afm3test::messageText(6282));
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(s + 69)), afm3test::messageText(6283));
    GlobalUnlock(specs);
    GlobalFree(specs);
    // Changing operations refuse a version-2 album.
    EXPECT_FALSE(afm3UpdateBasicAlbumInfo(owner(), handle, afm3test::albumInfo("x").data()));
    EXPECT_EQ(afm3test::lastError().id, 6441u);
    afm3CloseAlbum(owner(), handle);
  }
  HANDLE handle = nullptr;
  EXPECT_EQ(open(0x12, &handle), 0x12u);
  afm3CloseAlbum(owner(), handle);
}

TEST_F(OpenAlbum, Version2ChecksumIsTested) {
  Bytes v2 = afm3test::version2Album("Old", 0, 1);
  v2[4000] ^= 0x40;
  rewrite(v2);
  expectOpenFails(0x42, 6425, 15);
}

TEST_F(OpenAlbum, CloseOfAnUnknownPairReportsNothing) {
  HANDLE handle = nullptr;
  ASSERT_NE(open(0x22, &handle), 0xFFFFu);
  afm3test::clearLastError();
  EXPECT_FALSE(afm3CloseAlbum(reinterpret_cast<HINSTANCE>(0x9999), handle));
  EXPECT_FALSE(afm3test::lastError().recorded);
  EXPECT_TRUE(afm3CloseAlbum(owner(), handle));
}

#ifndef _WIN32
// The fuzz targets open albums held in memory: the whole open, with its
// folder probe, and a change work there and leave nothing on disk.
TEST_F(OpenAlbum, AnAlbumInMemoryOpensForWritingAndChanges) {
  const Bytes bytes = contents();
  ASSERT_TRUE(plat::memoryFiles::put("M:\\album.ab3", bytes.data(), bytes.size()));
  HANDLE handle = nullptr;
  EXPECT_EQ(afm3OpenAlbum(owner(), "M:\\album.ab3", 0x11, &handle, nullptr, nullptr, nullptr),
            0x11u);
  EXPECT_TRUE(afm3UpdateBasicAlbumInfo(owner(), handle, afm3test::albumInfo("In memory").data()));
  EXPECT_TRUE(afm3CloseAlbum(owner(), handle));
  std::vector<uint8_t> after;
  ASSERT_TRUE(plat::memoryFiles::get("M:\\album.ab3", &after));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(after.data()) + 60 + 8), "In memory");
  EXPECT_EQ(contents(), bytes);
  EXPECT_EQ(plat::fileAttributes("M:\\~~q-arvo.tmp"), plat::kInvalidAttributes);
  plat::memoryFiles::clear();
}
#endif

}  // namespace
