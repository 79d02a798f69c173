// What a reorganized album holds: records renumbered or reordered, fields
// dropped, value tables compacted, heaps rewritten; checked in the file
// and through the public interface.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "reorganize_support.h"

namespace reorgtest {
namespace {

Values textAndNumber(const std::string& text, uint32_t n) {
  Values v;
  v.text(text).u32(n);
  return v;
}

// The entry of new record n as the file holds it.
Bytes entryInFile(const Bytes& f, uint32_t n) {
  const uint32_t page = get32(f, get32(f, 8) + 4 * (n / 64));
  return Bytes(f.begin() + page + (n % 64) * 280, f.begin() + page + (n % 64) * 280 + 280);
}

TEST(Reorganize, DeletedRecordsGoAndTheOthersAreNumberedFromZero) {
  TestAlbum album({11, 2});
  const std::vector<uint8_t> types = {11, 2};
  std::vector<std::string> before;
  for (uint32_t n = 0; n < 5; ++n) {
    Values v = textAndNumber("record " + std::to_string(n), 100 + n);
    ASSERT_EQ(insertRecord(album, &v, "C:\\P\\" + std::to_string(n) + ".JPG", "b", n + 1,
                           Bytes(n + 1, static_cast<uint8_t>(n))),
              static_cast<int>(n));
    before.push_back(recordContent(album, n, types));
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 3));
  const HANDLE old = album.handle();
  const uint32_t size = album.size();

  ASSERT_EQ(reorganize(album), 1);
  EXPECT_NE(album.handle(), old);
  const Bytes f = album.file();
  const Header h = headerOf(f);
  EXPECT_EQ(h.recordCount, 3);
  EXPECT_EQ(h.nextRecordNumber, 3);
  EXPECT_EQ(h.pageDirOffset, 1798u);
  EXPECT_EQ(h.pageDirCount, 1);
  EXPECT_EQ(h.rowDirCount, 1);
  EXPECT_LT(f.size(), size);
  EXPECT_FALSE(workFileLeft(album));
  const uint32_t old_of[] = {0, 2, 4};
  for (uint32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(recordContent(album, n, types), before[old_of[n]]) << n;
    const Bytes entry = entryInFile(f, n);
    EXPECT_EQ(get16(entry, 0), n);
    EXPECT_EQ(afm3test::xorChecksum(entry), get16(entry, 278));
  }
  EXPECT_NE(afm3IsValidRecord(album.owner, album.handle(), 3), 1);
  // The file alone holds the album: it opens again the same.
  album.close();
  album.open(kPrivate);
  EXPECT_EQ(recordContent(album, 2, types), before[4]);
}

TEST(Reorganize, AnOrderPutsTheRecordsInIt) {
  TestAlbum album({11});
  std::vector<std::string> before;
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.text("value " + std::to_string(n));
    ASSERT_EQ(insertRecord(album, &v, "C:\\" + std::to_string(n), "", 0, {}), int(n));
    before.push_back(recordContent(album, n, {11}));
  }
  const std::vector<WORD> order = {2, 0, 1};
  ASSERT_EQ(reorganize(album, &order), 1);
  const Bytes f = album.file();
  for (uint32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(recordContent(album, n, {11}), before[order[n]]);
    EXPECT_EQ(get16(entryInFile(f, n), 0), n);
  }
}

TEST(Reorganize, AnEmptyAlbumKeepsNoPagesOrRows) {
  TestAlbum album({11, 2});
  ASSERT_EQ(reorganize(album), 1);
  const Header h = headerOf(album.file());
  EXPECT_EQ(h.pageDirCount, 0);
  EXPECT_EQ(h.rowDirCount, 0);
  EXPECT_EQ(h.nextRecordNumber, 0);
  EXPECT_EQ(h.textHeapUsed, 2) << "an empty block for the text field";
  EXPECT_EQ(h.rowDirOffset + 0u, album.size());
  // Records go in again, also after reopening.
  Values v = textAndNumber("again", 7);
  EXPECT_EQ(album.insert(&v), 1);
  album.close();
  album.open(kPrivate);
  EXPECT_EQ(album.text(0, 0), "again");
}

// Marks field j of the closed album removed, as a scheme change does.
void removeField(TestAlbum& album, uint32_t j) {
  const Bytes f = album.file();
  const uint32_t def = get32(f, 48) + 16 * j;
  album.patch(def + 1, {static_cast<uint8_t>(f[def + 1] | 0x10)});
  album.patch(47, {static_cast<uint8_t>(f[47] - 1)});
  album.resealHeader();
}

TEST(Reorganize, ARemovedFieldLeavesTheRowsTheNamesAndTheIndexList) {
  // F0 2 bytes, F1 4 bytes, F2 2 bytes, each indexed.
  TestAlbum album({0, 1, 5});
  for (DWORD j = 0; j < 3; ++j)
    ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), j, j + 1, 0));
  for (uint16_t n = 0; n < 2; ++n) {
    Values v;
    v.raw({static_cast<uint8_t>(0xA0 + n), 0xA1})
        .u32(0xDEADBEEF)
        .raw({static_cast<uint8_t>(n), 0xC1});
    ASSERT_EQ(album.insert(&v), 1);
  }
  album.close();
  removeField(album, 1);
  album.open(kPrivate);
  ASSERT_EQ(reorganize(album), 1);

  const Bytes f = album.file();
  const Header h = headerOf(f);
  EXPECT_EQ(h.rowDataSize, 16);
  EXPECT_EQ(h.rowSlotSize, 17);
  EXPECT_EQ(h.rowBlockSize, 16371);
  EXPECT_EQ(h.rowsPerBlock, 963);
  EXPECT_EQ(h.fieldDefCount, 2);
  EXPECT_EQ(h.fieldCount, 2);
  EXPECT_EQ(h.fieldNameSize, 6);
  const uint32_t defs = h.fieldDefOffset;
  EXPECT_EQ(f[defs], 0);
  EXPECT_EQ(f[defs + 16], 1);
  EXPECT_EQ(f[defs + 17], 5);
  EXPECT_EQ(get16(f, defs + 16 + 2), 3);    // right after "F0"
  EXPECT_EQ(get16(f, defs + 16 + 14), 14);  // row offset
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&f[h.fieldNameOffset + 3])), "F2");
  ASSERT_NE(h.indexListOffset, 0u);
  EXPECT_EQ(get16(f, h.indexListOffset), 2);
  EXPECT_EQ(f[h.indexListOffset + 2], 1);
  EXPECT_EQ(f[h.indexListOffset + 3], 0);
  EXPECT_EQ(f[h.indexListOffset + 10], 3);
  EXPECT_EQ(f[h.indexListOffset + 11], 1);
  EXPECT_EQ(h.indexListOffset + 2 + 16u, f.size());
  for (uint16_t n = 0; n < 2; ++n) {
    uint8_t value[4] = {};
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 1, value), 1);
    EXPECT_EQ(value[0], n);
    EXPECT_EQ(value[1], 0xC1);
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 0, value), 1);
    EXPECT_EQ(value[0], 0xA0 + n);
  }
}

Bytes indexes(std::initializer_list<uint16_t> values, size_t count) {
  Bytes b(2 * count, 0xFF);
  size_t i = 0;
  for (uint16_t v : values) afm3test::put16(b, 2 * i++, v);
  return b;
}

TEST(Reorganize, ValueTablesLoseEmptyAndFilledEntriesAndIndexesFollow) {
  TestAlbum album({8, 7});
  const Bytes table = {'x', 0, 0, 0xFF, 0xFF, 0, 'y', 0};
  for (DWORD j = 0; j < 2; ++j)
    ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), j, table.data(), 8, 4));
  // Old index 3 is y, 1 the empty entry, 7 lies past the table.
  const uint16_t stored[] = {3, 1, 0xFFFF, 0, 7, 2};
  const uint16_t expected[] = {1, 0xFFFF, 0xFFFF, 0, 0xFFFF, 0xFFFF};
  for (uint16_t v : stored) {
    Values values;
    values.raw(indexes({v}, 1)).raw(indexes({v, 3, v}, 32));
    ASSERT_EQ(album.insert(&values), 1);
  }
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  for (DWORD j = 0; j < 2; ++j) {
    WORD count = 0;
    const Bytes read = rectest::handleBytes(afm3ReadTable(album.owner, album.handle(), j, &count));
    EXPECT_EQ(count, 2);
    EXPECT_EQ(Bytes(read.begin(), read.begin() + 4), (Bytes{'x', 0, 'y', 0}));
    EXPECT_EQ(get32(f, get32(f, 48) + 16 * j + 8), 4u) << "no spare room is kept";
  }
  for (uint32_t n = 0; n < 6; ++n) {
    Bytes one(2), many(64);
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 0, one.data()), 1);
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 1, many.data()), 1);
    EXPECT_EQ(get16(one, 0), expected[n]) << n;
    EXPECT_EQ(many, indexes({expected[n], 1, expected[n]}, 32)) << n;
  }
}

// Row n's reference into a heap (text: row bytes 0..5, memo: 6..11).
std::pair<uint32_t, uint16_t> heapRef(const Bytes& f, uint32_t n, uint32_t at) {
  const Header h = headerOf(f);
  const uint32_t row =
      get32(f, h.rowDirOffset + 4 * (n / h.rowsPerBlock)) + (n % h.rowsPerBlock) * h.rowSlotSize;
  return {get32(f, row + at), get16(f, row + at + 4)};
}

TEST(Reorganize, HeapEntriesFillBlocksOf16384Bytes) {
  TestAlbum album({11, 12});
  const std::string text(250, 't');  // entries of 251 bytes: 64 fit a block
  for (uint32_t n = 0; n < 100; ++n) {
    Values v;
    v.text(text).text("memo " + std::to_string(n));
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  const Header h = headerOf(f);
  const auto first = heapRef(f, 0, 0);
  const auto spilled = heapRef(f, 64, 0);
  EXPECT_EQ(first.second, 2);
  EXPECT_EQ(heapRef(f, 63, 0).first, first.first);
  EXPECT_EQ(spilled.first, first.first + 16384);
  EXPECT_EQ(spilled.second, 2);
  EXPECT_EQ(h.textHeapOffset, spilled.first);
  EXPECT_EQ(h.textHeapUsed, 2 + 36 * 253);
  EXPECT_EQ(h.textHeapFree + h.textHeapUsed, 16384);
  EXPECT_EQ(get16(f, h.textHeapOffset), 16384);
  EXPECT_EQ(h.memoHeapOffset, h.textHeapOffset + 16384) << "one memo block follows";
  EXPECT_EQ(album.text(99, 0), text);
  EXPECT_EQ(album.text(99, 1), "memo 99");
  // The header's heap takes further records.
  Values v;
  v.text("next").text("memo");
  ASSERT_EQ(album.insert(&v), 1);
  EXPECT_EQ(heapRef(album.file(), 100, 0), std::make_pair(h.textHeapOffset, h.textHeapUsed));
}

TEST(Reorganize, AnEntryTooLongForABlockGetsOneOfItsOwn) {
  TestAlbum album(std::initializer_list<uint8_t>{
      11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,
      11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11,
      11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11, 11});
  const uint32_t fields = 65;  // 65 x 256 = 16640 bytes: no 16384-byte block holds them
  Values big, small;
  for (uint32_t j = 0; j < fields; ++j) {
    big.text(std::string(255, static_cast<char>('A' + j % 26)));
    small.text(j == 0 ? "small" : "");
  }
  ASSERT_EQ(album.insert(&small), 1);
  ASSERT_EQ(album.insert(&big), 1);
  ASSERT_EQ(album.insert(&small), 1);
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  const auto own = heapRef(f, 1, 0);
  EXPECT_EQ(own.second, 2);
  EXPECT_EQ(get16(f, own.first), 4 + fields * 256);
  EXPECT_EQ(get16(f, own.first + 2), fields * 256);
  EXPECT_EQ(heapRef(f, 0, 0).first + 16384, own.first) << "the block before it is written first";
  EXPECT_EQ(heapRef(f, 2, 0), std::make_pair(own.first + 4 + fields * 256, uint16_t{2}));
  EXPECT_EQ(album.text(1, 64), std::string(255, 'A' + 64 % 26));
  EXPECT_EQ(album.text(2, 0), "small");
}

TEST(Reorganize, RemovedHeapFieldsLeaveTheEntriesAndAHeapWithoutFieldsIsNamedNowhere) {
  TestAlbum album({11, 11, 12, 2});
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.text("gone " + std::to_string(n)).text("kept " + std::to_string(n)).text("memo").u32(n);
    ASSERT_EQ(album.insert(&v), 1);
  }
  album.close();
  removeField(album, 0);
  removeField(album, 2);
  album.open(kPrivate);
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  const Header h = headerOf(f);
  EXPECT_EQ(h.memoHeapOffset, 0u);
  EXPECT_EQ(h.memoHeapFree + h.memoHeapUsed, 0);
  EXPECT_EQ(h.rowDataSize, 16);
  const auto ref = heapRef(f, 1, 0);
  EXPECT_EQ(get16(f, ref.first + ref.second), 7) << "only \"kept 1\" and its NUL";
  EXPECT_EQ(heapRef(f, 1, 6).first, 0u);
  EXPECT_EQ(album.text(1, 0), "kept 1");
  uint8_t number[4] = {};
  ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), 2, 1, number), 1);
  EXPECT_EQ(number[0], 2);
}

}  // namespace
}  // namespace reorgtest
