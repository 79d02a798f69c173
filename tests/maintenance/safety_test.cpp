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

struct BadOrder {
  const char* what;
  std::vector<WORD> order;
};

class Refusal : public testing::TestWithParam<BadOrder> {};

TEST_P(Refusal, AnOrderThatIsNoPermutationOfTheLiveRecords) {
  TestAlbum album({11, 2});
  fill(album, 4);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const Bytes before = album.file();
  EXPECT_EQ(reorganize(album, &GetParam().order), 0);
  rectest::expectReport(6444, 7005, 1, 119);
  EXPECT_EQ(album.file(), before);
  EXPECT_FALSE(workFileLeft(album));
}

INSTANTIATE_TEST_SUITE_P(Orders, Refusal,
                         testing::Values(BadOrder{"deleted", {0, 1, 2}},
                                         BadOrder{"twice", {0, 2, 2}},
                                         BadOrder{"none", {0, 0xFFFF, 2}},
                                         BadOrder{"past the end", {0, 2, 9}}),
                         [](const testing::TestParamInfo<BadOrder>& info) {
                           std::string name = info.param.what;
                           for (char& c : name)
                             if (c == ' ') c = '_';
                           return name;
                         });

#ifndef _WIN32
// The album lies on Z:, whose free space the emulation can fix.
TEST(Refusal, TooLittleDiskSpaceIsToldBeforeAnyFileIsMade) {
  TestAlbum album({11, 2});
  fill(album, 3);
  const Bytes before = album.file();
  const uint32_t size = album.size();
  ASSERT_TRUE(qwinTestSetFreeSpace("Z:\\", size + size / 2 - 1));
  const int result = reorganize(album);
  qwinTestSetFreeSpace("Z:\\", -1);
  EXPECT_EQ(result, 0);
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.id, 0u);
  EXPECT_EQ(e.step, 1u);
  EXPECT_EQ(e.module, 7005u);
  char expected[256];
  std::snprintf(expected, sizeof expected, afm3test::messageText(6402).c_str(),
                static_cast<unsigned long>(size + size / 2 - 1), "Z:\\",
                static_cast<unsigned long>(uint64_t{size} * 3 / 2));
  EXPECT_EQ(e.text, expected);
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

// A stop between deleting the album file and renaming the work file
// leaves only the work file; the next open puts a complete one in place.
struct LeftOver {
  const char* what;
  int cut;  // bytes cut off the end; -1: the placeholder header
  bool recovered;
};

class Interrupted : public testing::TestWithParam<LeftOver> {};

TEST_P(Interrupted, TheNextOpenFinishesOnlyAComplete) {
  TestAlbum album({11, 2});
  fill(album, 5);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 2));
  ASSERT_EQ(reorganize(album), 1);
  const std::string expected = recordContent(album, 3, {11, 2});
  album.close();
  Bytes rebuilt = album.file();
  if (GetParam().cut > 0) rebuilt.resize(rebuilt.size() - GetParam().cut);
  if (GetParam().cut < 0) afm3test::put16(rebuilt, 1796, ~get16(rebuilt, 1796) & 0xFFFF);
  ASSERT_TRUE(
      afm3test::writeWholeFile(workFilePath(album), std::string(rebuilt.begin(), rebuilt.end())));
  ASSERT_TRUE(plat::deleteFile(album.path.c_str()));

  HANDLE h = nullptr;
  const DWORD mode =
      afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, nullptr, nullptr);
  EXPECT_EQ(mode != 0xFFFF, GetParam().recovered);
  EXPECT_EQ(workFileLeft(album), !GetParam().recovered);
  if (GetParam().recovered) {
    EXPECT_EQ(recordContent(album, 3, {11, 2}), expected);
  }
}

INSTANTIATE_TEST_SUITE_P(WorkFiles, Interrupted,
                         testing::Values(LeftOver{"complete", 0, true}, LeftOver{"cut", 1, false},
                                         LeftOver{"placeholder", -1, false}),
                         [](const testing::TestParamInfo<LeftOver>& info) {
                           return std::string(info.param.what);
                         });

TEST(Interrupted, AnAlbumThatExistsIsNeverReplacedByAWorkFile) {
  TestAlbum album({11, 2});
  fill(album, 2);
  const Bytes original = album.file();
  TestAlbum other({2});
  ASSERT_EQ(reorganize(other), 1);
  album.close();
  ASSERT_TRUE(plat::copyFile(other.path.c_str(), workFilePath(album).c_str(), false));
  album.open(kPrivate);
  EXPECT_EQ(album.file(), original);
  EXPECT_TRUE(workFileLeft(album));
}

// A large album: 20,000 records of every kind of value, 30 % deleted.
TEST(LargeAlbum, EveryLiveRecordComesOutTheSame) {
  const std::vector<uint8_t> types = {11, 2, 9, 10, 12, 8};
  TestAlbum album({11, 2, 9, 10, 12, 8});
  const Bytes table = {'a', 0, 'b', 0};
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 5, table.data(), 4, 2));
  constexpr uint32_t kRecords = 20000;
  for (uint32_t n = 0; n < kRecords; ++n) {
    Values v;
    const std::string s = std::to_string(n);
    Bytes index(2, 0);
    index[0] = static_cast<uint8_t>(n % 2);
    v.text("text " + s).u32(n * 7).text("string " + s).blob(Bytes(n % 9, uint8_t(n)));
    v.text(n % 3 == 0 ? "" : "memo " + s).raw(index);
    ASSERT_EQ(insertRecord(album, &v, "C:\\PICS\\" + s + ".JPG", n % 2 ? "extra " + s : "",
                           n % 5 == 0 ? n + 1 : 0, n % 4 == 0 ? Bytes(3, uint8_t(n)) : Bytes{}),
              int(n));
  }
  std::vector<uint32_t> live;
  for (uint32_t n = 0; n < kRecords; ++n) {
    if ((n * 2654435761u >> 7) % 10 < 3)
      ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), n));
    else
      live.push_back(n);
  }
  std::vector<std::string> before;
  for (uint32_t n : live) before.push_back(recordContent(album, n, types));
  const uint32_t size = album.size();

  ASSERT_EQ(reorganize(album), 1);
  EXPECT_LT(album.size(), size);
  const Header h = headerOf(album.file());
  EXPECT_EQ(h.recordCount, live.size());
  EXPECT_EQ(h.pageDirCount, (live.size() + 63) / 64);
  for (size_t n = 0; n < live.size(); ++n)
    ASSERT_EQ(recordContent(album, static_cast<uint32_t>(n), types), before[n]) << n;
  EXPECT_NE(afm3IsValidRecord(album.owner, album.handle(), static_cast<DWORD>(live.size())), 1);
}

}  // namespace
}  // namespace reorgtest
