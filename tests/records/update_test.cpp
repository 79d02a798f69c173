// Updating fields: values rewritten in place while they fit, appended
// otherwise; checked through the file's size and offsets.
#include <gtest/gtest.h>

#include <cstring>

#include "records_support.h"

namespace rectest {
namespace {

// F0 text, F1 type 9 (row 12..29), F2 type 10 (row 30..33), F3 type 2
// (row 34..37): rowDataSize 38, rowSlotSize 41.
class Update : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    ASSERT_TRUE(afm3CacheAlbum(album.owner, album.handle(), GetParam()));
    Values a;
    a.text("abcdef").text("twelve chars").blob({1, 2, 3, 4, 5}).u32(1);
    ASSERT_EQ(album.insert(&a), 1);
    Values b;
    b.text("zz").none().none().u32(2);
    ASSERT_EQ(album.insert(&b), 1);
    ASSERT_EQ(album.insert(nullptr), 1);  // record 2: a zero row, no entries
  }
  uint32_t row(uint32_t r) {
    const Bytes f = album.file();
    return get32(f, get32(f, 32)) + r * 41;
  }
  bool set(uint32_t r, uint32_t field, const void* value) {
    return afm3UpdateRecordField(album.owner, album.handle(), r, field, value) != FALSE;
  }
  Bytes fieldEx(uint32_t r, uint32_t field) {
    HGLOBAL out = nullptr;
    EXPECT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), r, field, &out), 1);
    return handleBytes(out);
  }
  TestAlbum album{{11, 9, 10, 2}};
};

TEST_P(Update, TextInPlaceIntoTheCurrentBlockOrIntoANewOne) {
  const uint32_t at = row(0);
  Bytes before = album.file();
  const uint32_t entry = get32(before, at) + get16(before, at + 4);

  ASSERT_TRUE(set(0, 0, "ABCDEF"));
  Bytes f = album.file();
  EXPECT_EQ(f.size(), before.size());
  EXPECT_EQ(Bytes(f.begin(), f.begin() + 1798), Bytes(before.begin(), before.begin() + 1798));
  EXPECT_EQ(0, std::memcmp(&f[entry + 2], "ABCDEF", 7));
  EXPECT_EQ(album.text(0, 0), "ABCDEF");

  // Longer: a new entry at the current block's used mark.
  const uint32_t block = get32(f, 16), used = get16(f, 22), freeBytes = get16(f, 20);
  ASSERT_TRUE(set(0, 0, "longer text"));
  f = album.file();
  EXPECT_EQ(f.size(), before.size());
  EXPECT_EQ(get32(f, at), block);
  EXPECT_EQ(get16(f, at + 4), used);
  EXPECT_EQ(get16(f, 22), used + 14);
  EXPECT_EQ(get16(f, 20), freeBytes - 14);
  EXPECT_EQ(0, std::memcmp(&f[entry + 2], "ABCDEF", 7)) << "the old entry is abandoned";
  EXPECT_EQ(album.text(0, 0), "longer text");

  // Too long for the current block: a block of 65535 bytes at the end.
  const std::string huge(20000, 'h');
  ASSERT_TRUE(set(1, 0, huge.c_str()));
  f = album.file();
  EXPECT_EQ(f.size(), before.size() + 65535);
  EXPECT_EQ(get32(f, row(1)), before.size());
  EXPECT_EQ(get16(f, row(1) + 4), 2u);
  EXPECT_EQ(get32(f, 16), before.size());
  EXPECT_EQ(get16(f, 20), 65535u - 20001 - 4);
  EXPECT_EQ(album.text(1, 0), huge.substr(0, 255));
  EXPECT_EQ(album.text(0, 0), "longer text");

  // A record without an entry gets a fresh one.
  ASSERT_TRUE(set(2, 0, "fresh"));
  EXPECT_EQ(album.text(2, 0), "fresh");
}

TEST_P(Update, EntryLengthLimit) {
  const std::string fits(65530, 'f');
  ASSERT_TRUE(set(1, 0, fits.c_str()));
  const Bytes f = album.file();
  EXPECT_EQ(get16(f, 20), 0u) << "an entry of 65531 bytes fills a block";
  const std::string over(65531, 'o');
  const uint32_t size = album.size();
  EXPECT_FALSE(set(0, 0, over.c_str()));
  expectReport(6427, 7006, 2, 14);
  EXPECT_EQ(album.size(), size);
}

TEST_P(Update, StringsShrinkInPlaceAndGrowAtTheEnd) {
  const uint32_t at = row(0);
  const Bytes before = album.file();
  const uint32_t stored = get32(before, at + 12 + 12);
  ASSERT_TRUE(set(0, 1, "short"));
  Bytes f = album.file();
  EXPECT_EQ(f.size(), before.size());
  EXPECT_EQ(get32(f, at + 24), stored);
  EXPECT_EQ(get16(f, at + 28), 6u) << "the room shrinks to the new length";
  uint8_t signature[12];
  afm3GetSignature("short", 3, 3, signature);
  EXPECT_EQ(0, std::memcmp(&f[at + 12], signature, 12));

  // 13 bytes would have fitted the first room, not the second.
  ASSERT_TRUE(set(0, 1, "a bit longer"));
  f = album.file();
  EXPECT_EQ(f.size(), before.size() + 13);
  EXPECT_EQ(get32(f, at + 24), before.size());
  EXPECT_EQ(fieldEx(0, 1), Bytes({'a', ' ', 'b', 'i', 't', ' ', 'l', 'o', 'n', 'g', 'e', 'r', 0}));

  Values small;
  small.blob({9, 8, 7});
  ASSERT_TRUE(set(0, 2, small.get()[0]));
  EXPECT_EQ(album.size(), before.size() + 13);
  EXPECT_EQ(fieldEx(0, 2), Bytes({3, 0, 0, 0, 9, 8, 7}));
  Values big;
  big.blob(Bytes(10, 6));
  ASSERT_TRUE(set(0, 2, big.get()[0]));
  EXPECT_EQ(album.size(), before.size() + 13 + 14);
  EXPECT_EQ(get32(album.file(), at + 30), before.size() + 13);
}

INSTANTIATE_TEST_SUITE_P(Caching, Update, testing::Bool());

TEST(UpdateRules, NullValuesAndDeletedRecords) {
  EXPECT_TRUE(afm3UpdateRecordField(ownerKey(9), reinterpret_cast<HANDLE>(0x1234), 0, 0, nullptr));
  for (DWORD flags : {kPrivate, kShared}) {
    TestAlbum album({11, 2}, flags);
    Values v;
    v.text("t").u32(5);
    ASSERT_EQ(album.insert(&v), 1);
    const Bytes before = album.file();
    Values none;
    none.none().none();
    EXPECT_TRUE(afm3UpdateRecord(album.owner, album.handle(), 0, none.get()));
    EXPECT_EQ(album.file(), before);
    Values all;
    all.text("new").u32(6);
    ASSERT_TRUE(afm3UpdateRecord(album.owner, album.handle(), 0, all.get()));
    EXPECT_EQ(album.text(0, 0), "new");

    ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0));
    const uint32_t value = get32(album.file(), 32);
    const uint32_t at = get32(album.file(), value) + 12;
    const uint32_t seven = 7;
    if (flags == kShared) {
      EXPECT_FALSE(afm3UpdateRecordField(album.owner, album.handle(), 0, 1, &seven));
      expectReport(6444, 7006, 2, 38);
      EXPECT_EQ(get32(album.file(), at), 6u);
    } else {
      EXPECT_TRUE(afm3UpdateRecordField(album.owner, album.handle(), 0, 1, &seven));
      EXPECT_EQ(get32(album.file(), at), 7u);
    }
  }
}

}  // namespace
}  // namespace rectest
