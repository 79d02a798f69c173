// Value tables and index attributes.
#include <gtest/gtest.h>

#include <cstring>

#include "records_support.h"

namespace rectest {
namespace {

// F0 type 7, F1 type 6, F2 type 8. FieldDefs at 2310.
TEST(Tables, StoreInPlaceWhileTheRoomLasts) {
  TestAlbum album({7, 6, 8});
  const uint32_t end = album.size();
  Bytes first(100);
  for (int i = 0; i < 100; ++i) first[i] = static_cast<uint8_t>(i + 1);
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, first.data(), 100, 5));
  Bytes f = album.file();
  EXPECT_EQ(f.size(), end + 100 + 16384);
  EXPECT_EQ(get32(f, 2310 + 32 + 4), end);
  EXPECT_EQ(get32(f, 2310 + 32 + 8), 16484u);
  EXPECT_EQ(get16(f, 2310 + 32 + 12), 5u);

  const Bytes second(40, 0xEE);
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, second.data(), 40, 2));
  EXPECT_EQ(album.size(), end + 100 + 16384);
  WORD count = 0;
  const Bytes table = handleBytes(afm3ReadTable(album.owner, album.handle(), 2, &count));
  EXPECT_EQ(count, 2);
  ASSERT_GE(table.size(), 16485u);
  Bytes expected(16485, 0);
  std::copy(second.begin(), second.end(), expected.begin());
  std::copy(first.begin() + 40, first.end(), expected.begin() + 40);
  EXPECT_EQ(Bytes(table.begin(), table.begin() + 16485), expected);

  // 16484 bytes still fit; one more moves the table to the end.
  const Bytes full(16484, 1);
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, full.data(), 16484, 3));
  EXPECT_EQ(album.size(), end + 100 + 16384);
  const Bytes more(16485, 2);
  ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 2, more.data(), 16485, 3));
  f = album.file();
  EXPECT_EQ(get32(f, 2310 + 32 + 4), end + 100 + 16384);
  EXPECT_EQ(get32(f, 2310 + 32 + 8), 16485u + 16384);

  // The FieldDef in the file is the one the album reopens with.
  album.close();
  album.open(kPrivate);
  const Bytes again = handleBytes(afm3ReadTable(album.owner, album.handle(), 2, &count));
  ASSERT_GE(again.size(), 16485u);
  EXPECT_EQ(again[16484], 2);
}

TEST(Tables, FieldsWithoutATableAreRefusedQuietly) {
  TestAlbum album({7, 6, 8});
  afm3test::clearLastError();
  WORD count = 9;
  EXPECT_EQ(afm3ReadTable(album.owner, album.handle(), 1, &count), nullptr);
  EXPECT_EQ(afm3ReadTable(album.owner, album.handle(), 3, &count), nullptr);
  const Bytes t(4, 1);
  EXPECT_FALSE(afm3UpdateTable(album.owner, album.handle(), 1, t.data(), 4, 1));
  EXPECT_FALSE(afm3UpdateTable(album.owner, album.handle(), 200, t.data(), 4, 1));
  expectNoReport();
  const Bytes empty = handleBytes(afm3ReadTable(album.owner, album.handle(), 0, &count));
  EXPECT_EQ(count, 0);
  EXPECT_GE(empty.size(), 1u);
}

uint8_t attributeAfterReopening(TestAlbum& album, int field) {
  album.close();
  HANDLE h = nullptr;
  BYTE fields = 0;
  HGLOBAL described = nullptr;
  EXPECT_NE(
      afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, &fields, &described),
      0xFFFFu);
  const Bytes s = handleBytes(described);
  return s.at(field * 67 + 66);
}

TEST(IndexAttributes, ChangedInPlaceOrRelocated) {
  TestAlbum album({11, 2, 11});
  EXPECT_EQ(get32(album.file(), 60 + 1478), 0u);
  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 1, 0x31, 0));
  Bytes f = album.file();
  const uint32_t list = get32(f, 60 + 1478);
  EXPECT_EQ(list + 10, f.size());
  EXPECT_EQ(get16(f, list), 1u);
  EXPECT_EQ(f[list + 2], 0x31);
  EXPECT_EQ(f[list + 3], 1);

  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 1, 0x32, 0));
  f = album.file();
  EXPECT_EQ(get32(f, 60 + 1478), list) << "an attribute change stays in place";
  EXPECT_EQ(f[list + 2], 0x32);

  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 0x102, 0x7733, 0));
  f = album.file();
  const uint32_t moved = get32(f, 60 + 1478);
  EXPECT_EQ(moved, list + 10);
  EXPECT_EQ(get16(f, moved), 2u);
  EXPECT_EQ(Bytes(f.begin() + moved + 2, f.begin() + moved + 18),
            Bytes({0x32, 1, 0, 0, 0, 0, 0, 0, 0x33, 2, 0, 0, 0, 0, 0, 0}));

  EXPECT_FALSE(afm3AddOemFldDef(album.owner, album.handle(), 0, 0x100, 0));
  expectReport(6439, 7014, 3, 2);
  EXPECT_FALSE(afm3AddOemFldDef(album.owner, album.handle(), 3, 1, 0));
  expectReport(6439, 7014, 3, 2);
  EXPECT_EQ(attributeAfterReopening(album, 2), 0x33);
}

TEST(Version2, KeywordTablePacksTheSlots) {
  afm3test::TempDir dir;
  Bytes file = afm3test::version2Album("Old", 0, 1);
  const uint32_t list = static_cast<uint32_t>(file.size());
  afm3test::put32(file, 4642, list);
  afm3test::put16(file, 4646, 3);
  Bytes header(file.begin(), file.begin() + 4784);
  afm3test::sealChecksum(header);
  std::copy(header.begin(), header.end(), file.begin());
  Bytes slots(96, 0);
  std::memcpy(&slots[0], "sea", 3);
  std::memcpy(&slots[64], std::string(32, 'x').data(), 32);  // no NUL in its slot
  file.insert(file.end(), slots.begin(), slots.end());
  const std::string path = dir.file("old.ab3");
  ASSERT_TRUE(afm3test::writeWholeFile(path, std::string(file.begin(), file.end())));
  HANDLE h = nullptr;
  ASSERT_NE(afm3OpenAlbum(ownerKey(4), path.c_str(), 0x42, &h, nullptr, nullptr, nullptr), 0xFFFFu);
  WORD count = 0;
  const Bytes t = handleBytes(afm3ReadTable(ownerKey(4), h, 77, &count));
  EXPECT_EQ(count, 3);
  const std::string packed = std::string("sea") + '\0' + '\0' + std::string(31, 'x') + '\0';
  ASSERT_GE(t.size(), packed.size());
  EXPECT_EQ(std::string(t.begin(), t.begin() + static_cast<long>(packed.size())), packed);
  afm3CloseAlbum(ownerKey(4), h);
}

}  // namespace
}  // namespace rectest
