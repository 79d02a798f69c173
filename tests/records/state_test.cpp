// Deleting, undeleting and validating records.
#include <gtest/gtest.h>

#include <cstring>

#include "records_support.h"

namespace rectest {
namespace {

// F0 text, F1 type 2, F2 memo: rowDataSize 16, rowSlotSize 17, one slack
// byte per row; 963 rows in a block of 16371 bytes.
constexpr uint32_t kSlot = 17;

Values sample(int n) {
  Values v;
  v.text("text " + std::to_string(n)).u32(1000u + n).text("memo " + std::to_string(n));
  return v;
}

struct Snapshot {
  Bytes record;
  bool ok = false;
};

Snapshot readAll(TestAlbum& album, uint32_t r) {
  BYTE* record = nullptr;
  BYTE** values = nullptr;
  Snapshot s;
  s.ok = afm3ReadRecord(album.owner, album.handle(), r, &record, &values) == 1;
  if (s.ok) s.record.assign(record, record + 16 + 7 + 7);
  freeLockedOutput(record);
  freeLockedOutput(values);
  return s;
}

class DeleteTwice : public testing::TestWithParam<DWORD> {};

TEST_P(DeleteTwice, DependsOnWriteSharing) {
  const bool shared = GetParam() == kShared;
  TestAlbum album({11, 2, 12}, GetParam());
  for (int n = 0; n < 3; ++n) {
    Values v = sample(n);
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  Bytes f = album.file();
  const uint32_t row = get32(f, get32(f, 32)) + kSlot;
  const uint32_t entry = get32(f, 1798) + 280;
  EXPECT_EQ(f[row + 16], 0xFA);
  EXPECT_EQ(get16(f, entry), 0xFFFFu);
  EXPECT_NE(afm3test::xorChecksum(Bytes(f.begin() + entry, f.begin() + entry + 280)),
            get16(f, entry + 278))
      << "the entry keeps its old checksum";
  EXPECT_EQ(get16(f, 60), 2u);

  afm3test::clearLastError();
  if (shared) {
    EXPECT_FALSE(afm3DeleteRecord(album.owner, album.handle(), 1));
    expectReport(6444, 7003, 2, 11);
  } else {
    EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
    EXPECT_EQ(album.file()[row + 16], 0xFA);
  }
  EXPECT_EQ(get16(album.file(), 60), 2u);
}

INSTANTIATE_TEST_SUITE_P(Sharing, DeleteTwice, testing::Values(kPrivate, kShared));

TEST(Delete, EveryReadSeesTheDeletionAndUndeleteRestoresAll) {
  for (BOOL caching : {FALSE, TRUE}) {
    TestAlbum album({11, 2, 12});
    ASSERT_TRUE(afm3CacheAlbum(album.owner, album.handle(), caching));
    for (int n = 0; n < 3; ++n) {
      Values v = sample(n);
      ASSERT_EQ(album.insert(&v), 1);
    }
    const Snapshot before = readAll(album, 2);
    ASSERT_TRUE(before.ok);
    const Bytes entryBefore = album.file();
    ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 2));
    EXPECT_EQ(afm3IsValidRecord(album.owner, album.handle(), 2), 0);
    BYTE* record = nullptr;
    BYTE** values = nullptr;
    char buffer[260];
    EXPECT_EQ(afm3ReadRecord(album.owner, album.handle(), 2, &record, &values), -1);
    EXPECT_EQ(afm3ReadRecordField(album.owner, album.handle(), 2, 0, buffer), -1);
    const DWORD wanted[] = {2, 1};
    const BYTE fields[] = {0, 1};
    BYTE* block = nullptr;
    BYTE** rows = nullptr;
    ASSERT_EQ(
        afm3ReadFieldBlock(album.owner, album.handle(), 2, 2, wanted, 0, fields, &block, &rows),
        2u);
    EXPECT_EQ(rows[0], nullptr);
    EXPECT_NE(rows[1], nullptr);
    freeLockedOutput(block);
    freeLockedOutput(rows);

    ASSERT_TRUE(afm3UndelRecord(album.owner, album.handle(), 2));
    const Snapshot after = readAll(album, 2);
    ASSERT_TRUE(after.ok);
    EXPECT_EQ(after.record, before.record) << "caching " << caching;
    EXPECT_EQ(album.file(), entryBefore) << "the file is as before the deletion";
    EXPECT_FALSE(afm3UndelRecord(album.owner, album.handle(), 2));
    expectReport(6444, 7006, 1, 5);
  }
}

TEST(Validity, AnswersFromTheEntries) {
  TestAlbum album({11});
  for (int n = 0; n < 2; ++n) ASSERT_EQ(album.insert(nullptr), 1);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  const DWORD numbers[] = {0, 0xFFFF, 1, 64, 2};
  BYTE results[5];
  std::memset(results, 9, sizeof results);
  ASSERT_TRUE(afm3AreValidRecords(album.owner, album.handle(), 5, numbers, results));
  EXPECT_EQ(Bytes(results, results + 5), Bytes({1, 0, 0, 0, 0}));
  EXPECT_EQ(afm3IsValidRecord(album.owner, album.handle(), 64), -1);
  expectReport(6444, 7006, 4, 2);
  EXPECT_EQ(afm3IsValidRecord(album.owner, album.handle(), 0xFFFF), -1);
  expectReport(6444, 7006, 4, 1);
  EXPECT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0xFFFF));
  expectReport(6444, 7003, 2, 4);
  EXPECT_FALSE(afm3DeleteRecord(album.owner, album.handle(), 64));
  expectReport(6444, 7003, 2, 3);
}

// Records inserted without values have no row directory behind them:
// deletion marks the entry only and reads never touch the directory.
TEST(Delete, RecordsWithoutRows) {
  TestAlbum album({11, 2});
  ASSERT_EQ(album.insert(nullptr), 1);
  EXPECT_EQ(get32(album.file(), 32), 0u);
  EXPECT_EQ(album.text(0, 0), "");
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0));
  int result = 0;
  album.text(0, 0, &result);
  EXPECT_EQ(result, -1);
  ASSERT_TRUE(afm3UndelRecord(album.owner, album.handle(), 0));
  album.text(0, 0, &result);
  EXPECT_EQ(result, 1);
}

TEST(Delete, WritesThatFailAreReported) {
  TestAlbum album({11});
  ASSERT_EQ(album.insert(nullptr), 1);
  Values v;
  v.text("x");
  ASSERT_EQ(album.insert(&v), 1);
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0));
  album.close();
  album.open(0x12);
  EXPECT_FALSE(afm3DeleteRecord(album.owner, album.handle(), 1));
  expectReport(6405, 7003, 2, 12);
  EXPECT_FALSE(afm3UndelRecord(album.owner, album.handle(), 0));
  expectReport(6405, 7006, 1, 15);
}

}  // namespace
}  // namespace rectest
