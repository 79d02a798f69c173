// Inserting records: the file layout of the worked examples, worked out
// here by hand from the table sizes, and the refusals.
#include <gtest/gtest.h>

#include <cstring>

#include "afm3_compat.h"
#include "platform.h"
#include "records_support.h"

namespace rectest {
namespace {

// Fields: F0 type 1 (4 bytes), F1 text, F2 memo, F3 type 9 (18), F4 type 10 (4).
// rowDataSize 12 + 4 + 18 + 4 = 38; rowSlotSize 41; rowBlockSize
// 16384 / 41 * 41 = 16359 (399 rows). A new album is 1798 + 512 + 5 * 16
// + 15 name bytes ("F0" ... "F4") = 2405 bytes.
constexpr uint32_t kSlot = 41, kBlock = 16359, kNewAlbum = 2405;

class Insert : public testing::Test {
 protected:
  TestAlbum album{{1, 11, 12, 9, 10}};
  Values first() {
    Values v;
    v.u32(0x11223344).text("Hello").text("World!").text("abc").blob({'x', 'y', 'z'});
    return v;
  }
};

TEST_F(Insert, FirstRecordAppendsInTheFixedOrder) {
  ASSERT_EQ(album.size(), kNewAlbum);
  Values v = first();
  Bytes entry(280, 0x5A);  // caller garbage in bytes 222..277 is cleared
  afm3test::put16(entry, 176, 0);
  DWORD stringAAt = 0;
  ASSERT_EQ(album.insert(&v, &entry, "C:\\PIC\\A.JPG", "extra", &stringAAt), 1);
  const Bytes f = album.file();
  // page 0 at 2405, row directory at 20325, row block at 20837, "abc\0" at
  // 37196, blob at 37200, text block at 37207, memo block at 53591, string
  // A at 69975, string B at 69990, end 69998.
  ASSERT_EQ(f.size(), 69998u);
  EXPECT_EQ(get32(f, 1798), kNewAlbum) << "page directory rewritten in place";
  EXPECT_EQ(get32(f, 8), 1798u);
  EXPECT_EQ(get32(f, 32), 20325u);
  EXPECT_EQ(get16(f, 40), 128u);
  EXPECT_EQ(get32(f, 20325), 20837u);
  EXPECT_EQ(get32(f, 16), 37207u);
  EXPECT_EQ(get16(f, 20), 16384u - 6 - 4);
  EXPECT_EQ(get16(f, 22), 10u);
  EXPECT_EQ(get32(f, 24), 53591u);
  EXPECT_EQ(get16(f, 28), 16384u - 7 - 4);
  EXPECT_EQ(get16(f, 30), 11u);
  EXPECT_EQ(get16(f, 60), 1u);
  EXPECT_EQ(get16(f, 62), 1u);
  EXPECT_EQ(afm3test::xorChecksum(Bytes(f.begin(), f.begin() + 1798)), get16(f, 1796));

  const uint32_t row = 20837;
  EXPECT_EQ(get32(f, row + 0), 37207u);
  EXPECT_EQ(get16(f, row + 4), 2u);
  EXPECT_EQ(get32(f, row + 6), 53591u);
  EXPECT_EQ(get16(f, row + 10), 2u);
  EXPECT_EQ(get32(f, row + 12), 0x11223344u);
  uint8_t signature[12];
  afm3GetSignature("abc", 2, 3, signature);
  EXPECT_EQ(0, std::memcmp(&f[row + 16], signature, 12));
  EXPECT_EQ(get32(f, row + 28), 37196u);
  EXPECT_EQ(get16(f, row + 32), 4u);
  EXPECT_EQ(get32(f, row + 34), 37200u);
  for (uint32_t i = 38; i < kSlot; ++i) EXPECT_EQ(f[row + i], 0) << i;

  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[37196])), "abc");
  EXPECT_EQ(get32(f, 37200), 3u);
  EXPECT_EQ(f[37204], 'x');
  EXPECT_EQ(get16(f, 37207), 16384u);
  EXPECT_EQ(get16(f, 37209), 6u);
  EXPECT_EQ(0, std::memcmp(&f[37211], "Hello", 6));
  EXPECT_EQ(get16(f, 53591), 16384u);
  EXPECT_EQ(get16(f, 53593), 7u);
  EXPECT_EQ(get16(f, 69975), 13u);
  EXPECT_EQ(0, std::memcmp(&f[69977], "C:\\PIC\\A.JPG", 13));
  EXPECT_EQ(get16(f, 69990), 6u);
  EXPECT_EQ(stringAAt, 69975u);

  const Bytes written(f.begin() + kNewAlbum, f.begin() + kNewAlbum + 280);
  EXPECT_EQ(written, entry) << "the caller gets the entry as written";
  EXPECT_EQ(get16(written, 0), 0u);
  EXPECT_EQ(get32(written, 178), 69975u);
  EXPECT_EQ(get32(written, 214), 69990u);
  for (int i = 222; i < 278; ++i) EXPECT_EQ(written[i], 0) << i;
  EXPECT_EQ(afm3test::xorChecksum(written), get16(written, 278));
  for (uint32_t i = 1; i < 64; ++i) EXPECT_EQ(get16(f, kNewAlbum + i * 280), 0xFFFFu);
}

TEST_F(Insert, SecondRecordGoesInPlaceAndIntoTheCurrentHeapBlocks) {
  Values v = first();
  ASSERT_EQ(album.insert(&v), 1);
  const uint32_t before = album.size();
  Values second;
  second.none().text("Hi").none().none().none();
  ASSERT_EQ(album.insert(&second), 1);
  const Bytes f = album.file();
  EXPECT_EQ(f.size(), before) << "nothing appended";
  const uint32_t row = 20837 + kSlot;
  EXPECT_EQ(get32(f, row), 37207u);
  EXPECT_EQ(get16(f, row + 4), 10u);
  EXPECT_EQ(get16(f, 37207 + 10), 3u);
  EXPECT_EQ(0, std::memcmp(&f[37207 + 12], "Hi", 3));
  EXPECT_EQ(get16(f, 22), 15u);
  // A missing memo value is an empty string: an entry of one byte.
  EXPECT_EQ(get32(f, row + 6), 53591u);
  EXPECT_EQ(get16(f, row + 10), 11u);
  EXPECT_EQ(get16(f, 53591 + 11), 1u);
  EXPECT_EQ(get16(f, 30), 14u);
  EXPECT_EQ(album.text(1, 1), "Hi");
  EXPECT_EQ(album.text(0, 2), "World!");
}

TEST_F(Insert, KeptRecordNumberAppendsTheMissingPages) {
  Values v = first();
  ASSERT_EQ(album.insert(&v), 1);
  const uint32_t end = album.size();
  Bytes entry = entryWithNumber(200, 0x10 | 0x08);
  ASSERT_EQ(album.insert(nullptr, &entry), 1);
  const Bytes f = album.file();
  for (uint32_t p = 1; p <= 3; ++p) EXPECT_EQ(get32(f, 1798 + 4 * p), end + (p - 1) * 17920);
  EXPECT_EQ(get32(f, 1798 + 16), 0u);
  EXPECT_EQ(get32(f, 8), 1798u);
  EXPECT_EQ(get16(f, 62), 201u);
  const uint32_t at = end + 2 * 17920 + 8 * 280;
  EXPECT_EQ(get16(f, at), 200u);
  EXPECT_EQ(get16(f, at + 176), 0x08u) << "the keep flag is cleared";
  EXPECT_EQ(get16(entry, 176), 0x08u);
}

TEST_F(Insert, Record8192GrowsThePageDirectory) {
  Bytes entry = entryWithNumber(8192, 0x10);
  ASSERT_EQ(album.insert(nullptr, &entry), 1);
  const Bytes f = album.file();
  // Pages 0..128 are appended, then the directory of 256 entries.
  const uint32_t dir = kNewAlbum + 129 * 17920;
  EXPECT_EQ(f.size(), dir + 1024);
  EXPECT_EQ(get32(f, 8), dir);
  EXPECT_EQ(get16(f, 12), 256u);
  EXPECT_EQ(get32(f, dir + 128 * 4), kNewAlbum + 128 * 17920);
  EXPECT_EQ(get32(f, dir + 129 * 4), 0u);
  EXPECT_EQ(get16(f, kNewAlbum + 128 * 17920), 8192u);
  EXPECT_EQ(afm3IsValidRecord(album.owner, album.handle(), 8192), 1);
}

TEST_F(Insert, TextAndMemoLimits) {
  struct Case {
    int field;
    size_t chars;
    bool accepted;
    uint32_t step;
  } cases[] = {{1, 255, true, 0}, {1, 256, false, 13}, {2, 258, true, 0}, {2, 259, false, 34}};
  for (const Case& c : cases) {
    Values v;
    v.none();
    const std::string s(c.chars, 'q');
    if (c.field == 1)
      v.text(s).none();
    else
      v.none().text(s);
    v.none().none();
    const uint16_t next = get16(album.file(), 62);
    afm3test::clearLastError();
    EXPECT_EQ(album.insert(&v), c.accepted ? 1 : 0) << c.chars;
    if (c.accepted) {
      EXPECT_EQ(album.text(next, c.field), s);
    } else {
      expectReport(6427, 7004, 1, c.step);
      EXPECT_EQ(get16(album.file(), 62), next);
    }
  }
}

// Text entries of 100, 300 and 1100 bytes each open a block of their own
// size class: 5 text fields, L = the characters + 5.
TEST(InsertHeap, NewBlockSizes) {
  struct Case {
    std::vector<size_t> lengths;
    uint32_t block;
  } cases[] = {
      {{95, 0, 0, 0, 0}, 16384}, {{255, 40, 0, 0, 0}, 19200}, {{255, 255, 255, 255, 75}, 65535}};
  for (const Case& c : cases) {
    TestAlbum album({11, 11, 11, 11, 11});
    Values v;
    uint32_t length = 0;
    for (size_t n : c.lengths) {
      v.text(std::string(n, 'a'));
      length += static_cast<uint32_t>(n) + 1;
    }
    const uint32_t end = album.size() + 17920;
    ASSERT_EQ(album.insert(&v), 1);
    const Bytes f = album.file();
    const uint32_t block = end + 512 + get16(f, 36);
    EXPECT_EQ(get32(f, 16), block);
    EXPECT_EQ(get16(f, block), c.block);
    EXPECT_EQ(f.size(), block + c.block);
    EXPECT_EQ(get16(f, 20), c.block - length - 4);
    EXPECT_EQ(get16(f, 22), length + 4);
  }
}

TEST(InsertHeap, ARemovedTextFieldKeepsItsEmptyString) {
  TestAlbum album({11, 11, 11});
  album.close();
  // FieldDef 1 (at 2310 + 16) marked removed; two live fields remain.
  album.patch(2310 + 16 + 1, {11 | 0x10});
  album.patch(47, {2});
  album.resealHeader();
  album.open(kPrivate);
  Values v;
  v.text("one").text("three");
  ASSERT_EQ(album.insert(&v), 1);
  const Bytes f = album.file();
  const uint32_t block = get32(f, 16);
  EXPECT_EQ(get16(f, block + 2), 11u);
  EXPECT_EQ(0, std::memcmp(&f[block + 4], "one\0\0three", 11));
  EXPECT_EQ(album.text(0, 2), "three");
}

TEST(InsertFull, NextNumberFFFFRefusesInsertion) {
  TestAlbum album({11}, kShared);
  HANDLE other = album.openAs(ownerKey(2), kShared);
  ASSERT_NE(other, nullptr);
  const auto start = plat::tickCount();
  Bytes entry = entryWithNumber(65534, 0x10);
  ASSERT_EQ(album.insert(nullptr, &entry), 1);
  EXPECT_EQ(get16(album.file(), 62), 0xFFFFu);
  // The inserting host's own copy says full.
  EXPECT_EQ(album.insert(nullptr), 0);
  expectReport(6437, 7004, 1, 32);
  // The other host learns it from the file.
  Bytes mine(280, 0);
  EXPECT_EQ(afm3InsertRecord(ownerKey(2), TestAlbum::handleOf(ownerKey(2)), mine.data(), nullptr,
                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr),
            -1);
  expectReport(6301, 7004, 1, 41);
  EXPECT_LT(plat::tickCount() - start, 20000u);
}

TEST(InsertShared, ALockHeldElsewhereStopsTheInsertAtOnce) {
  TestAlbum album({11}, kShared);
  ASSERT_NE(album.openAs(ownerKey(2), kShared), nullptr);
  ASSERT_TRUE(afm3BeginLock(ownerKey(2), TestAlbum::handleOf(ownerKey(2))));
  const uint32_t start = plat::tickCount();
  EXPECT_EQ(album.insert(nullptr), 0);
  EXPECT_LT(plat::tickCount() - start, 400u);
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_EQ(e.text, afm3test::messageText(6633));
  EXPECT_EQ(e.module, 7004u);
  EXPECT_EQ(e.step, 39u);
  afm3EndLock(ownerKey(2), TestAlbum::handleOf(ownerKey(2)));
  EXPECT_EQ(album.insert(nullptr), 1);
}

TEST(InsertImage, TheImageFollowsTheStrings) {
  TestAlbum album({1});
  // A 4 x 2 true-colour bitmap: rows of 12 bytes.
  HGLOBAL dib = plat::globalAlloc(plat::kGhnd, 40 + 24);
  auto* bits = static_cast<uint8_t*>(plat::globalLock(dib));
  Bytes info(40, 0);
  afm3test::put32(info, 0, 40);
  afm3test::put32(info, 4, 4);
  afm3test::put32(info, 8, 2);
  afm3test::put16(info, 12, 1);
  afm3test::put16(info, 14, 24);
  std::memcpy(bits, info.data(), 40);
  for (int i = 0; i < 24; ++i) bits[40 + i] = static_cast<uint8_t>(i * 7);
  plat::globalUnlock(dib);
  Bytes header(16, 0);
  header[8] = 2;
  afm3test::put16(header, 10, 4);
  afm3test::put16(header, 12, 2);
  Bytes entry(280, 0);
  DWORD imageAt = 0, stringAAt = 0;
  ASSERT_EQ(afm3InsertRecord(album.owner, album.handle(), entry.data(), header.data(), dib, "A",
                             nullptr, &imageAt, &stringAAt, "BB"),
            1);
  plat::globalFree(dib);
  const Bytes f = album.file();
  EXPECT_EQ(imageAt, stringAAt + 4 + 5);
  EXPECT_EQ(get32(entry, 4), imageAt);
  EXPECT_EQ(get32(f, imageAt), 24u);
  EXPECT_EQ(f[imageAt + 8], 2);
  EXPECT_EQ(f.size(), imageAt + 16 + 24);
  EXPECT_EQ(f[imageAt + 16 + 5], 35);
}

#ifndef _WIN32
// The album path is on Z:, whose free space the emulation can fix.
TEST_F(Insert, DiskSpaceMustExceedFiveTimesTheAppendAndAFailureChangesNothing) {
  Values v = first();
  // The first record appends 49673 bytes after its page.
  ASSERT_TRUE(qwinTestSetFreeSpace("Z:\\", 5 * 49673));
  EXPECT_EQ(album.insert(&v, nullptr, "C:\\PIC\\A.JPG", "extra"), 0);
  expectReport(6404, 7004, 1, 16);
  ASSERT_TRUE(qwinTestSetFreeSpace("Z:\\", 5 * 49673 + 1));
  EXPECT_EQ(album.insert(&v, nullptr, "C:\\PIC\\A.JPG", "extra"), 1);
  qwinTestSetFreeSpace("Z:\\", -1);
  const Bytes f = album.file();
  EXPECT_EQ(f.size(), 69998u);
  EXPECT_EQ(get32(f, 32), 20325u);
  EXPECT_EQ(get32(f, 16), 37207u);
}
#endif

TEST_F(Insert, AReadOnlyAlbumReportsTheFirstShortWrite) {
  album.close();
  album.open(0x12);
  Values v = first();
  EXPECT_EQ(album.insert(&v), 0);
  expectReport(6420, 7004, 1, 8);
}

}  // namespace
}  // namespace rectest
