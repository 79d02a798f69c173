// Reading records and fields, with and without the album's caches, and
// the reduced reads of version-2 albums.
#include <gtest/gtest.h>

#include <cstring>

#include "core/album_table.h"
#include "platform.h"
#include "records_support.h"

namespace rectest {
namespace {

constexpr uint32_t kPointer = sizeof(void*);

const uint8_t* pointerAt(const uint8_t* const* array, size_t i) { return array[i]; }

// F0 type 1, F1 text, F2 type 9, F3 memo, F4 text, F5 type 10.
class Reads : public testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    Values a;
    a.u32(7).text("alpha").text("sig one").text("memo A").text("second").blob({1, 2, 3});
    ASSERT_EQ(album.insert(&a), 1);
    ASSERT_EQ(album.insert(nullptr), 1);  // record 1: no row at all
    Values c;
    c.u32(9).none().none().none().none().none();
    ASSERT_EQ(album.insert(&c), 1);  // record 2: empty strings
    ASSERT_TRUE(afm3CacheAlbum(album.owner, album.handle(), GetParam()));
  }
  TestAlbum album{{1, 11, 9, 12, 11, 10}};
};

TEST_P(Reads, ReadRecordLaysOutRowTextAndMemo) {
  BYTE* record = nullptr;
  BYTE** values = nullptr;
  ASSERT_EQ(afm3ReadRecord(album.owner, album.handle(), 0, &record, &values), 1);
  // rowDataSize = 12 + 4 + 18 + 4 = 38: the text part follows, then memo.
  EXPECT_EQ(0, std::memcmp(record + 38, "alpha\0second\0memo A\0", 20));
  EXPECT_EQ(get32(Bytes(record + 12, record + 16), 0), 7u);
  EXPECT_EQ(pointerAt(values, 0), record + 12);
  EXPECT_STREQ(reinterpret_cast<const char*>(values[1]), "alpha");
  EXPECT_EQ(pointerAt(values, 2), record + 16);
  EXPECT_STREQ(reinterpret_cast<const char*>(values[3]), "memo A");
  EXPECT_STREQ(reinterpret_cast<const char*>(values[4]), "second");
  EXPECT_EQ(pointerAt(values, 5), record + 34);
  freeLockedOutput(record);
  freeLockedOutput(values);

  // Without any entry the parts are one NUL per field.
  for (uint32_t r : {1u, 2u}) {
    ASSERT_EQ(afm3ReadRecord(album.owner, album.handle(), r, &record, &values), 1) << r;
    EXPECT_EQ(0, std::memcmp(record + 38, "\0\0\0", 3));
    for (int f : {1, 3, 4}) EXPECT_STREQ(reinterpret_cast<const char*>(values[f]), "");
    freeLockedOutput(record);
    freeLockedOutput(values);
  }
  afm3test::clearLastError();
  EXPECT_EQ(afm3ReadRecord(album.owner, album.handle(), 3, &record, &values), 0);
  expectNoReport();
}

TEST_P(Reads, SingleFields) {
  EXPECT_EQ(album.text(0, 1), "alpha");
  EXPECT_EQ(album.text(0, 3), "memo A");
  EXPECT_EQ(album.text(1, 4), "");
  uint8_t buffer[16] = {};
  ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), 2, 0, buffer), 1);
  EXPECT_EQ(buffer[0], 9);
  uint8_t signature[12];
  afm3GetSignature("sig one", 4, 3, signature);
  ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), 0, 2, buffer), 1);
  EXPECT_EQ(0, std::memcmp(buffer, signature, 12));
  afm3test::clearLastError();
  EXPECT_EQ(afm3ReadRecordField(album.owner, album.handle(), 0, 5, buffer), 0);
  EXPECT_EQ(afm3ReadRecordField(album.owner, album.handle(), 0, 6, buffer), 0);
  expectNoReport();

  HGLOBAL out = nullptr;
  ASSERT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), 0, 2, &out), 1);
  EXPECT_EQ(handleBytes(out), Bytes({'s', 'i', 'g', ' ', 'o', 'n', 'e', 0}));
  ASSERT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), 0, 5, &out), 1);
  EXPECT_EQ(handleBytes(out), Bytes({3, 0, 0, 0, 1, 2, 3}));
  ASSERT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), 2, 2, &out), 1);
  EXPECT_EQ(handleBytes(out), Bytes({0})) << "a type-9 value never stored";
  ASSERT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), 2, 5, &out), 1);
  EXPECT_EQ(handleBytes(out), Bytes({0, 0, 0, 0}));
  EXPECT_EQ(afm3ReadRecordFieldEx(album.owner, album.handle(), 0, 1, &out), 0);
}

TEST_P(Reads, LongTextIsTruncatedOnRead) {
  const std::string longer(300, 'L');
  ASSERT_TRUE(afm3UpdateRecordField(album.owner, album.handle(), 0, 1, longer.c_str()));
  EXPECT_EQ(album.text(0, 1), longer.substr(0, 255));
  EXPECT_EQ(album.text(0, 4), "second");
}

INSTANTIATE_TEST_SUITE_P(Caching, Reads, testing::Bool());

// Inserting into the row block and the text block the caches hold makes
// them load again.
TEST(CachedReads, SeeLaterInserts) {
  TestAlbum album({11, 2});
  ASSERT_TRUE(afm3CacheAlbum(album.owner, album.handle(), TRUE));
  for (uint32_t r = 0; r < 3; ++r) {
    Values v;
    v.text("value " + std::to_string(r)).u32(r + 40);
    ASSERT_EQ(album.insert(&v), 1);
    EXPECT_EQ(album.text(r, 0), "value " + std::to_string(r));
    uint32_t number = 0;
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), r, 1, &number), 1);
    EXPECT_EQ(number, r + 40);
  }
}

// 1000 records of a 195-character text: the 65535-byte block fills up and
// the caller resumes from the first record not returned.
TEST(FieldBlock, StopsWhenFullAndResumes) {
  TestAlbum album({11, 1});
  for (uint32_t r = 0; r < 1000; ++r) {
    Values v;
    std::string s(195, 'a');
    s[0] = static_cast<char>('A' + r % 26);
    v.text(s).u32(r);
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 5));
  const BYTE fields[] = {1, 0};
  const uint32_t fixed = 4 + kPointer;  // W
  const uint32_t worst = fixed + 256;   // H
  const uint32_t row = fixed + 196;     // one row's bytes
  uint32_t first = 0, calls = 0;
  while (first < 1000) {
    BYTE* block = nullptr;
    BYTE** rows = nullptr;
    const DWORD got = afm3ReadFieldBlock(album.owner, album.handle(), 1000 - first, 2, nullptr,
                                         first, fields, &block, &rows);
    ASSERT_GT(got, 0u);
    if (first == 0) {
      uint32_t fit = 0;
      while (65535 - fit * row >= worst) ++fit;
      EXPECT_EQ(got, fit + 1) << "record 5 is deleted and takes no room";
    }
    for (DWORD j = 0; j < got; ++j) {
      const uint32_t r = first + j;
      if (r == 5) {
        EXPECT_EQ(rows[j], nullptr);
        continue;
      }
      ASSERT_NE(rows[j], nullptr);
      EXPECT_EQ(get32(Bytes(rows[j], rows[j] + 4), 0), r);
      const char* text = nullptr;
      std::memcpy(&text, rows[j] + 4, kPointer);
      EXPECT_EQ(text, reinterpret_cast<const char*>(rows[j] + fixed));
      EXPECT_EQ(std::strlen(text), 195u);
      EXPECT_EQ(text[0], 'A' + r % 26);
    }
    freeLockedOutput(block);
    freeLockedOutput(rows);
    first += got;
    ++calls;
  }
  EXPECT_GE(calls, 4u);
  const afm3::AlbumSlot& slot = afm3::slotAt(afm3::findSlot(album.owner, album.handle()));
  EXPECT_EQ(slot.rowCache, nullptr) << "caching was switched on for the call only";

  // A type-10 field cannot be selected; 0xFFFF and numbers not yet used
  // give null rows.
  TestAlbum blobs({10, 11});
  Values v;
  v.blob({1}).text("t");
  ASSERT_EQ(blobs.insert(&v), 1);
  BYTE* block = nullptr;
  BYTE** rows = nullptr;
  const BYTE blobField[] = {0};
  EXPECT_EQ(
      afm3ReadFieldBlock(blobs.owner, blobs.handle(), 1, 1, nullptr, 0, blobField, &block, &rows),
      0u);
  const DWORD records[] = {0xFFFF, 0, 7};
  const BYTE textField[] = {1};
  ASSERT_EQ(
      afm3ReadFieldBlock(blobs.owner, blobs.handle(), 3, 1, records, 0, textField, &block, &rows),
      3u);
  EXPECT_EQ(rows[0], nullptr);
  EXPECT_NE(rows[1], nullptr);
  EXPECT_EQ(rows[2], nullptr);
  freeLockedOutput(block);
  freeLockedOutput(rows);
}

// Version-2 record 130: page 2, index 2.
TEST(Version2, ReducedReads) {
  afm3test::TempDir dir;
  Bytes file = afm3test::version2Album("Old", 1, 3);
  const uint32_t page = get32(file, 546 + 8);
  const uint32_t entry = page + 2 * 288;
  afm3test::put16(file, entry, 130);
  for (int i = 0; i < 12; ++i) file[entry + 64 + i] = static_cast<uint8_t>(0xA0 + i);
  const std::string description = "a description";
  afm3test::put32(file, entry + 100, static_cast<uint32_t>(file.size()));
  afm3test::put16(file, entry + 104, static_cast<uint16_t>(description.size()));
  std::memcpy(&file[page + 18432 + 2 * 128], "name 130", 9);
  file[page + 26624 + 2 * 64] = 0x77;
  afm3test::put16(file, page + 3 * 288, 0xFFFF);  // record 131 deleted
  file.insert(file.end(), description.begin(), description.end());
  const std::string path = dir.file("old.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(file.begin(), file.end())));
  HANDLE h = nullptr;
  ASSERT_NE(afm3OpenAlbum(ownerKey(3), path.c_str(), 0x42, &h, nullptr, nullptr, nullptr), 0xFFFFu);

  BYTE* record = nullptr;
  BYTE** values = nullptr;
  ASSERT_EQ(afm3ReadRecord(ownerKey(3), h, 130, &record, &values), 1);
  EXPECT_STREQ(reinterpret_cast<char*>(values[0]), "name 130");
  EXPECT_EQ(values[1][0], 0x77);
  EXPECT_EQ(values[2][11], 0xAB);
  freeLockedOutput(record);
  freeLockedOutput(values);
  EXPECT_EQ(afm3ReadRecord(ownerKey(3), h, 131, &record, &values), -1);
  expectReport(6425, 7001, 1, 27);

  char text[260] = {};
  ASSERT_EQ(afm3ReadRecordField(ownerKey(3), h, 130, 2, text), 1);
  EXPECT_STREQ(text, "a description");
  HGLOBAL out = nullptr;
  ASSERT_EQ(afm3ReadRecordFieldEx(ownerKey(3), h, 130, 2, &out), 1);
  EXPECT_EQ(handleBytes(out), Bytes(description.c_str(), description.c_str() + 14));
  EXPECT_EQ(afm3ReadRecordFieldEx(ownerKey(3), h, 130, 0, &out), 0);

  const DWORD records[] = {130, 131};
  const BYTE codes[] = {0, 2};
  BYTE* block = nullptr;
  BYTE** rows = nullptr;
  ASSERT_EQ(afm3ReadFieldBlock(ownerKey(3), h, 2, 2, records, 0, codes, &block, &rows), 2u);
  const char* name = nullptr;
  std::memcpy(&name, rows[0], kPointer);
  EXPECT_STREQ(name, "name 130");
  EXPECT_EQ(rows[0][kPointer + 128], 0xA0);
  EXPECT_EQ(rows[1], nullptr);
  freeLockedOutput(block);
  freeLockedOutput(rows);
  afm3CloseAlbum(ownerKey(3), h);
}

}  // namespace
}  // namespace rectest
