// What a reorganized album holds: records renumbered or reordered, fields
// dropped, value tables compacted, heaps rewritten; checked in the file
// (header offsets as the format gives them) and through the public
// interface.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "reorganize_support.h"

namespace reorgtest {
namespace {

// New record n's entry in the file.
Bytes entryInFile(const Bytes& f, uint32_t n) {
  const size_t at = get32(f, get32(f, 8) + 4 * (n / 64)) + (n % 64) * 280;
  return Bytes(f.begin() + at, f.begin() + at + 280);
}

// Row n's heap reference (text at row byte 0, memo at 6).
std::pair<uint32_t, uint16_t> heapRef(const Bytes& f, uint32_t n, uint32_t at) {
  const uint32_t perBlock = get16(f, 38);
  const uint32_t row = get32(f, get32(f, 32) + 4 * (n / perBlock)) + (n % perBlock) * get16(f, 44);
  return {get32(f, row + at), get16(f, row + at + 4)};
}

// Marks field j of the closed album removed, as a scheme change does.
void removeField(TestAlbum& album, uint32_t j) {
  const Bytes f = album.file();
  const uint32_t def = get32(f, 48) + 16 * j;
  album.patch(def + 1, {static_cast<uint8_t>(f[def + 1] | 0x10)});
  album.patch(47, {static_cast<uint8_t>(f[47] - 1)});
  album.resealHeader();
}

class Renumbering : public testing::TestWithParam<std::vector<WORD>> {};

// Records 1 and 3 of 0..4 deleted: the others come out as 0, 1, 2, in
// record order or in the order given.
TEST_P(Renumbering, TheLiveRecordsBecome0To2) {
  TestAlbum album({11, 2});
  std::vector<std::string> before;
  for (uint32_t n = 0; n < 5; ++n) {
    Values v;
    v.text("record " + std::to_string(n)).u32(100 + n);
    ASSERT_EQ(insertRecord(album, &v, "C:\\" + std::to_string(n), "b", n + 1, Bytes(n + 1, 7)),
              int(n));
    before.push_back(recordContent(album, n, {11, 2}));
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 3));
  const uint32_t size = album.size();
  const std::vector<WORD> order = GetParam().empty() ? std::vector<WORD>{0, 2, 4} : GetParam();
  ASSERT_EQ(reorganize(album, GetParam().empty() ? nullptr : &GetParam()), 1);
  Bytes f = album.file();
  EXPECT_LT(f.size(), size);
  EXPECT_FALSE(workFileLeft(album));
  EXPECT_EQ(get16(f, 60), 3);  // recordCount
  EXPECT_EQ(get16(f, 62), 3);  // nextRecordNumber
  EXPECT_EQ(get32(f, 8), 1798u);
  EXPECT_EQ(get16(f, 12), 1);  // pages
  EXPECT_EQ(get16(f, 40), 1);  // row blocks
  for (uint32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(recordContent(album, n, {11, 2}), before[order[n]]) << n;
    const Bytes entry = entryInFile(f, n);
    EXPECT_EQ(get16(entry, 0), n);
    EXPECT_EQ(afm3test::xorChecksum(entry), get16(entry, 278));
  }
  EXPECT_NE(afm3IsValidRecord(album.owner, album.handle(), 3), 1);
  album.close();
  album.open(kPrivate);
  EXPECT_EQ(recordContent(album, 2, {11, 2}), before[order[2]]);
}

INSTANTIATE_TEST_SUITE_P(Orders, Renumbering,
                         testing::Values(std::vector<WORD>{}, std::vector<WORD>{4, 0, 2}));

TEST(Reorganize, AnEmptyAlbumKeepsNoPagesOrRowsAndTakesRecordsAgain) {
  TestAlbum album({11, 2});
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  EXPECT_EQ(get16(f, 12), 0);
  EXPECT_EQ(get16(f, 40), 0);
  EXPECT_EQ(get16(f, 62), 0);
  EXPECT_EQ(get32(f, 32), f.size()) << "an empty RowDirectory ends the file";
  Values v;
  v.text("again").u32(7);
  EXPECT_EQ(album.insert(&v), 1);
  album.close();
  album.open(kPrivate);
  EXPECT_EQ(album.text(0, 0), "again");
}

TEST(Reorganize, ARemovedFieldLeavesTheRowsTheNamesAndTheIndexList) {
  TestAlbum album({0, 1, 5});  // 2, 4 and 2 bytes, each indexed
  for (DWORD j = 0; j < 3; ++j)
    ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), j, j + 1, 0));
  for (uint8_t n = 0; n < 2; ++n) {
    Values v;
    v.raw({uint8_t(0xA0 + n), 0xA1}).u32(0xDEADBEEF).raw({n, 0xC1});
    ASSERT_EQ(album.insert(&v), 1);
  }
  album.close();
  removeField(album, 1);
  album.open(kPrivate);
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  // rowDataSize 16, rowSlotSize 17, rowBlockSize 16371, rowsPerBlock 963.
  EXPECT_EQ(Bytes(f.begin() + 36, f.begin() + 46),
            (Bytes{0xF3, 0x3F, 0xC3, 0x03, 1, 0, 16, 0, 17, 0}));
  EXPECT_EQ(f[46], 2);
  EXPECT_EQ(f[47], 2);
  const uint32_t def = get32(f, 48) + 16, names = get32(f, 52), index = get32(f, 1538);
  EXPECT_EQ(Bytes(f.begin() + def, f.begin() + def + 4), (Bytes{1, 5, 3, 0}));
  EXPECT_EQ(get16(f, def + 14), 14);  // row offset
  EXPECT_EQ(Bytes(f.begin() + names, f.begin() + names + get16(f, 56)),
            (Bytes{'F', '0', 0, 'F', '2', 0}));
  ASSERT_NE(index, 0u);
  EXPECT_EQ(Bytes(f.begin() + index, f.end()),
            (Bytes{2, 0, 1, 0, 0, 0, 0, 0, 0, 0, 3, 1, 0, 0, 0, 0, 0, 0}));
  for (uint8_t n = 0; n < 2; ++n) {
    uint8_t first[2] = {}, third[2] = {};
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 0, first), 1);
    ASSERT_EQ(afm3ReadRecordField(album.owner, album.handle(), n, 1, third), 1);
    EXPECT_EQ(Bytes(first, first + 2), (Bytes{uint8_t(0xA0 + n), 0xA1}));
    EXPECT_EQ(Bytes(third, third + 2), (Bytes{n, 0xC1}));
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
  const Bytes table = {'x', 0, 0, 0xFF, 0xFF, 0, 'y', 0};  // x, empty, FF FF, y
  for (DWORD j = 0; j < 2; ++j)
    ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), j, table.data(), 8, 4));
  const uint16_t stored[] = {3, 1, 0xFFFF, 0, 7, 2};  // 7 lies past the table
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

TEST(Reorganize, HeapEntriesFill16384ByteBlocksAndTheHeaderNamesTheLast) {
  TestAlbum album({11, 12});
  const std::string text(250, 't');  // entries of 251 bytes: 64 fit a block
  for (uint32_t n = 0; n < 100; ++n) {
    Values v;
    v.text(text).text("memo " + std::to_string(n));
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  const auto first = heapRef(f, 0, 0), spilled = heapRef(f, 64, 0);
  EXPECT_EQ(first.second, 2);
  EXPECT_EQ(heapRef(f, 63, 0).first, first.first);
  EXPECT_EQ(spilled, std::make_pair(first.first + 16384, uint16_t{2}));
  EXPECT_EQ(get32(f, 16), spilled.first);
  EXPECT_EQ(get16(f, 22), 2 + 36 * 253);           // textHeapUsed
  EXPECT_EQ(get16(f, 20) + get16(f, 22), 16384);   // + textHeapFree
  EXPECT_EQ(get32(f, 24), spilled.first + 16384);  // one memo block follows
  EXPECT_EQ(album.text(99, 0), text);
  EXPECT_EQ(album.text(99, 1), "memo 99");
  Values v;
  v.text("next").text("memo");
  ASSERT_EQ(album.insert(&v), 1);
  EXPECT_EQ(heapRef(album.file(), 100, 0), std::make_pair(get32(f, 16), get16(f, 22)));
}

TEST(Reorganize, AnEntryTooLongForABlockGetsOneOfItsOwn) {
  const uint32_t fields = 65;  // 65 x 256 bytes: more than a 16384-byte block holds
  TestAlbum album(std::vector<uint8_t>(fields, 11));
  Values big, small;
  for (uint32_t j = 0; j < fields; ++j) {
    big.text(std::string(255, static_cast<char>('A' + j % 26)));
    small.text(j == 0 ? "small" : "");
  }
  for (Values* v : {&small, &big, &small}) ASSERT_EQ(album.insert(v), 1);
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  const auto own = heapRef(f, 1, 0);
  EXPECT_EQ(own.second, 2);
  EXPECT_EQ(get16(f, own.first), 4 + fields * 256);
  EXPECT_EQ(heapRef(f, 0, 0).first + 16384, own.first) << "the block before it is written first";
  EXPECT_EQ(heapRef(f, 2, 0), std::make_pair(own.first + 4 + fields * 256, uint16_t{2}));
  EXPECT_EQ(album.text(1, 64), std::string(255, 'A' + 64 % 26));
  EXPECT_EQ(album.text(2, 0), "small");
}

TEST(Reorganize, RemovedHeapFieldsLeaveTheEntriesAndAHeapWithoutFieldsIsNamedNowhere) {
  TestAlbum album({11, 11, 12, 2});
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.text("gone").text("kept " + std::to_string(n)).text("memo").u32(n);
    ASSERT_EQ(album.insert(&v), 1);
  }
  album.close();
  removeField(album, 0);
  removeField(album, 2);
  album.open(kPrivate);
  ASSERT_EQ(reorganize(album), 1);
  const Bytes f = album.file();
  EXPECT_EQ(Bytes(f.begin() + 24, f.begin() + 32), Bytes(8, 0)) << "no memo heap";
  const auto ref = heapRef(f, 1, 0);
  EXPECT_EQ(get16(f, ref.first + ref.second), 7) << "only \"kept 1\" and its NUL";
  EXPECT_EQ(heapRef(f, 1, 6).first, 0u);
  EXPECT_EQ(album.text(1, 0), "kept 1");
}

}  // namespace
}  // namespace reorgtest
