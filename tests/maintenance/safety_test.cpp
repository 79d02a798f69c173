// Reorganizing never loses the album: refusals change nothing, a
// replacement that cannot happen keeps the album, a stopped one is
// finished by the next open, and a large album comes out record for
// record the same.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "held_file.h"
#include "platform.h"
#include "reorganize_support.h"

namespace reorgtest {
namespace {

void fill(TestAlbum& album, uint32_t records) {
  for (uint32_t n = 0; n < records; ++n) {
    Values v;
    v.text("t" + std::to_string(n)).u32(n);
    ASSERT_EQ(insertRecord(album, &v, "C:\\A" + std::to_string(n), "", n + 1, {}), int(n));
  }
}

TEST(Refusal, AnAlbumOthersMayWriteIsLeftAsItIs) {
  TestAlbum album({11, 2}, kShared);
  fill(album, 2);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0));
  const Bytes before = album.file();
  ProgressListener listener;
  EXPECT_EQ(reorganize(album, nullptr, listener.window()), 1);
  EXPECT_EQ(album.file(), before);
  EXPECT_TRUE(listener.heard().empty());
}

class BadOrder : public testing::TestWithParam<std::vector<WORD>> {};

// Records 0, 2, 3 are live: an order names a deleted one, one twice, none,
// or a number past the end.
TEST_P(BadOrder, IsRefusedBeforeAnythingIsWritten) {
  TestAlbum album({11, 2});
  fill(album, 4);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const Bytes before = album.file();
  EXPECT_EQ(reorganize(album, &GetParam()), 0);
  rectest::expectReport(6444, 7005, 1, 119);
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
}

INSTANTIATE_TEST_SUITE_P(Orders, BadOrder,
                         testing::Values(std::vector<WORD>{0, 1, 2}, std::vector<WORD>{0, 2, 2},
                                         std::vector<WORD>{0, 0xFFFF, 2},
                                         std::vector<WORD>{0, 2, 9}));

#ifndef _WIN32
// The album lies on Z:, whose free space the emulation can fix.
TEST(Refusal, TooLittleDiskSpaceIsToldBeforeAnyFileIsMade) {
  TestAlbum album({11, 2});
  fill(album, 3);
  const Bytes before = album.file();
  const uint32_t size = album.size(), free = size + size / 2 - 1;
  ASSERT_TRUE(qwinTestSetFreeSpace("Z:\\", free));
  const int result = reorganize(album);
  qwinTestSetFreeSpace("Z:\\", -1);
  EXPECT_EQ(result, 0);
  rectest::expectReport(0, 7005, 1, 1);
  char text[256];
  std::snprintf(text, sizeof text, afm3test::messageText(6402).c_str(), (unsigned long)free, "Z:\\",
                (unsigned long)(size * 3ull / 2));
  EXPECT_EQ(afm3test::lastError().text, text);
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
}
#endif

TEST(Replacement, AnAlbumOpenElsewhereStaysAndTheCallerGetsANewHandle) {
  TestAlbum album({11, 2});
  fill(album, 3);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const Bytes before = album.file();
  afm3test::HeldFile held(album.path, "r", "rw");
  ASSERT_TRUE(held.holding());
  afm3test::clearLastError();
  HANDLE handle = album.handle();
  EXPECT_EQ(afm3ReorganizeAbm(album.owner, &handle, 0, nullptr, nullptr), 0);
  rectest::expectNoReport();
  EXPECT_EQ(handle, album.handle());
  EXPECT_EQ(held.release(), 0);
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
  EXPECT_EQ(album.text(2, 0), "t2");
}

// What a stop between deleting the album file and renaming the work file
// leaves: only a work file, complete, cut short by a byte, or without its
// final header. The next open puts only a complete one in place.
class Interrupted : public testing::TestWithParam<int> {};

TEST_P(Interrupted, TheNextOpenFinishesOnlyAComplete) {
  const int cut = GetParam();  // -1: the placeholder header
  TestAlbum album({11, 2});
  fill(album, 5);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 2));
  ASSERT_EQ(reorganize(album), 1);
  const std::string expected = recordContent(album, 3, {11, 2});
  album.close();
  Bytes rebuilt = album.file();
  if (cut > 0) rebuilt.resize(rebuilt.size() - cut);
  if (cut < 0) afm3test::put16(rebuilt, 1796, ~get16(rebuilt, 1796) & 0xFFFF);
  ASSERT_TRUE(afm3test::writeWholeFile(workFilePath(album), {rebuilt.begin(), rebuilt.end()}));
  ASSERT_TRUE(plat::deleteFile(album.path.c_str()));
  HANDLE h = nullptr;
  const bool opened = afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, nullptr,
                                    nullptr) != 0xFFFF;
  EXPECT_EQ(opened, cut == 0);
  EXPECT_EQ(workFileLeft(album), cut != 0);
  if (opened) {
    EXPECT_EQ(recordContent(album, 3, {11, 2}), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, Interrupted, testing::Values(0, 1, -1));

// 20,000 records of every kind of value, 30 % of them deleted.
TEST(LargeAlbum, EveryLiveRecordComesOutTheSame) {
  const std::vector<uint8_t> types = {11, 2, 9, 10, 12, 8};
  TestAlbum album(types);
  const Bytes table = {'a', 0, 'b', 0};
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 5, table.data(), 4, 2));
  constexpr uint32_t kRecords = 20000;
  std::vector<uint32_t> live;
  for (uint32_t n = 0; n < kRecords; ++n) {
    const std::string s = std::to_string(n);
    Values v;
    v.text("text " + s).u32(n * 7).text("string " + s).blob(Bytes(n % 9, uint8_t(n)));
    v.text(n % 3 == 0 ? "" : "memo " + s).raw({uint8_t(n % 2), 0});
    ASSERT_EQ(insertRecord(album, &v, "C:\\PICS\\" + s + ".JPG", n % 2 ? "extra " + s : "",
                           n % 5 == 0 ? n + 1 : 0, n % 4 == 0 ? Bytes(3, uint8_t(n)) : Bytes{}),
              int(n));
    if ((n * 2654435761u >> 7) % 10 >= 3) live.push_back(n);
  }
  std::vector<std::string> before;
  for (uint32_t n = 0, next = 0; n < kRecords; ++n) {
    if (next < live.size() && live[next] == n)
      before.push_back(recordContent(album, live[next++], types));
    else
      ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), n));
  }
  const uint32_t size = album.size();
  ASSERT_EQ(reorganize(album), 1);
  EXPECT_LT(album.size(), size);
  EXPECT_EQ(get16(album.file(), 60), live.size());
  for (uint32_t n = 0; n < live.size(); ++n)
    ASSERT_EQ(recordContent(album, n, types), before[n]) << n;
  EXPECT_NE(afm3IsValidRecord(album.owner, album.handle(), DWORD(live.size())), 1);
}

}  // namespace
}  // namespace reorgtest
