// Changing the field scheme: fields added (with a value for every record,
// in the slack or in wider slots), removed and renamed; the 255-field
// limit; refusals. Layouts are checked in the file, values through the
// public reads, and every changed album must pass the integrity check.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "afm3_check.h"
#include "platform.h"
#include "reorganize_support.h"

namespace reorgtest {
namespace {

using rectest::entryWithNumber;
using rectest::expectReport;

Bytes addition(uint8_t type, const std::string& name, uint8_t attribute = 0) {
  Bytes c(67, 0);
  c[1] = type;
  std::copy(name.begin(), name.end(), c.begin() + 2);
  c[66] = attribute;
  return c;
}
Bytes removal(uint8_t field) {
  Bytes c(67, 0);
  c[0] = field;
  c[1] = 0x40;
  return c;
}
Bytes renaming(uint8_t field, const std::string& name) {
  Bytes c = addition(0x20, name);
  c[0] = field;
  return c;
}

// afm3ChangeScheme over the records; they come back as the call left them.
int change(TestAlbum& album, std::vector<Bytes>* records) {
  Bytes all;
  for (const Bytes& r : *records) all.insert(all.end(), r.begin(), r.end());
  HANDLE h = album.handle();
  const int result =
      afm3ChangeScheme(album.owner, &h, static_cast<DWORD>(records->size()), all.data());
  EXPECT_EQ(h, album.handle()) << "the handle given back is the album's";
  for (size_t i = 0; i < records->size(); ++i)
    std::copy(all.begin() + 67 * i, all.begin() + 67 * (i + 1), (*records)[i].begin());
  return result;
}
int change(TestAlbum& album, std::vector<Bytes> records) { return change(album, &records); }

// The album, closed for the check and opened again.
void expectSound(TestAlbum& album) {
  album.close();
  std::string problems;
  const int found = afm3CheckAlbumFile(
      album.path.c_str(), 0,
      [](void* text, const Afm3Problem* p) { *static_cast<std::string*>(text) += p->text; },
      &problems);
  EXPECT_EQ(found, 0) << problems;
  album.open(kPrivate);
}

Bytes fieldValue(TestAlbum& album, uint32_t record, uint32_t field) {
  Bytes out(300, 0);
  EXPECT_EQ(afm3ReadRecordField(album.owner, album.handle(), record, field, out.data()), 1)
      << record << "/" << field;
  return out;
}
Bytes fieldValueEx(TestAlbum& album, uint32_t record, uint32_t field) {
  HGLOBAL out = nullptr;
  const int result = afm3ReadRecordFieldEx(album.owner, album.handle(), record, field, &out);
  Bytes bytes = rectest::handleBytes(out);
  bytes.insert(bytes.begin(), static_cast<uint8_t>(result));
  return bytes;
}

// Row slot of record n in the file.
Bytes rowSlot(const Bytes& f, uint32_t n) {
  const uint32_t perBlock = get16(f, 38), slot = get16(f, 44);
  const uint32_t at = get32(f, get32(f, 32) + 4 * (n / perBlock)) + (n % perBlock) * slot;
  return Bytes(f.begin() + at, f.begin() + at + slot);
}

struct SlackCase {
  std::vector<uint8_t> types;  // the last one is a u32 holding 0x11223344
  uint16_t slotBefore, slotAfter;
};
class AddedNumber : public testing::TestWithParam<SlackCase> {};

// A 4-byte field goes into the slack when 5 bytes are free and needs wider
// slots when only 4 are; either way every record that exists, across a gap
// of numbers and a block, reads 0xFF bytes and keeps its values, and the
// deleted record stays deleted.
TEST_P(AddedNumber, FillsTheSlackOrWidensTheSlots) {
  const SlackCase& c = GetParam();
  TestAlbum album(c.types);
  const auto values = [&](uint32_t n) {
    Values v;
    for (size_t j = 0; j + 1 < c.types.size(); ++j) v.raw(Bytes(64, static_cast<uint8_t>(n + j)));
    return v.u32(0x11223344);
  };
  const std::vector<uint32_t> records = {0, 1, 2, 700};
  for (uint32_t n : records) {
    Values v = values(n);
    Bytes entry = n == 700 ? entryWithNumber(700, 0x10) : Bytes{};
    ASSERT_EQ(album.insert(&v, &entry), 1);
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  Bytes f = album.file();
  ASSERT_EQ(get16(f, 44), c.slotBefore);
  const uint16_t dataBefore = get16(f, 42);
  const uint32_t field = static_cast<uint32_t>(c.types.size());
  std::vector<Bytes> add = {addition(1, "N")};
  ASSERT_EQ(change(album, &add), 1);
  EXPECT_EQ(uint32_t{add[0][0]}, field);
  f = album.file();
  EXPECT_EQ(get16(f, 42), dataBefore + 4);
  EXPECT_EQ(get16(f, 44), c.slotAfter);
  EXPECT_EQ(uint32_t{f[46]}, field + 1);
  EXPECT_EQ(uint32_t{f[47]}, field + 1);
  const Bytes deleted = rowSlot(f, 1);
  EXPECT_EQ(Bytes(deleted.begin() + dataBefore + 4, deleted.end()),
            Bytes(c.slotAfter - dataBefore - 4, 0xFA));
  ASSERT_TRUE(afm3UndelRecord(album.owner, album.handle(), 1));
  expectSound(album);
  for (uint32_t n : records) {
    const Bytes added = fieldValue(album, n, field);
    EXPECT_EQ(Bytes(added.begin(), added.begin() + 4), Bytes(4, 0xFF)) << n;
    EXPECT_EQ(get32(fieldValue(album, n, field - 1), 0), 0x11223344u) << n;
    EXPECT_EQ(fieldValue(album, n, 0)[0], static_cast<uint8_t>(n)) << n;
  }
}

INSTANTIATE_TEST_SUITE_P(Slack, AddedNumber,
                         testing::Values(SlackCase{{6, 6, 0, 1}, 55, 55},  // data 50, slack 5
                                         SlackCase{{6, 3, 1}, 44, 48}));   // data 40, slack 4

struct HeapCase {
  uint8_t type;
  uint32_t rowAt;
};
class AddedHeapField : public testing::TestWithParam<HeapCase> {};

// A third field of a heap type gets ordinal 2; each entry grows by two
// empty strings, the others' values stay, a record without an entry keeps
// none.
TEST_P(AddedHeapField, TakesTheNextOrdinalAndGrowsTheEntries) {
  const HeapCase& c = GetParam();
  TestAlbum album({c.type, c.type, 2});
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    v.text("first " + std::to_string(n)).text("second").u32(n);
    ASSERT_EQ(album.insert(&v), 1);
  }
  Values empty;
  empty.none().none().u32(9);
  ASSERT_EQ(album.insert(&empty), 1);
  Bytes f = album.file();
  std::vector<uint16_t> lengths;
  for (uint32_t n = 0; n < 4; ++n) {
    const Bytes row = rowSlot(f, n);
    lengths.push_back(get32(row, c.rowAt) ? get16(f, get32(row, c.rowAt) + get16(row, c.rowAt + 4))
                                          : 0);
  }
  ASSERT_EQ(change(album, {addition(c.type, "third")}), 1);
  f = album.file();
  const uint32_t def = get32(f, 48) + 16 * 3;
  EXPECT_EQ(Bytes(f.begin() + def, f.begin() + def + 2), (Bytes{3, c.type}));
  EXPECT_EQ(get16(f, def + 14), 2);
  for (uint32_t n = 0; n < 4; ++n) {
    const Bytes row = rowSlot(f, n);
    const uint32_t block = get32(row, c.rowAt);
    EXPECT_EQ(block ? get16(f, block + get16(row, c.rowAt + 4)) : 0,
              lengths[n] ? lengths[n] + 2 : 0)
        << n;
  }
  expectSound(album);
  for (uint32_t n = 0; n < 3; ++n) {
    EXPECT_EQ(album.text(n, 0), "first " + std::to_string(n));
    EXPECT_EQ(album.text(n, 1), "second");
    EXPECT_EQ(album.text(n, 3), "");
  }
  EXPECT_EQ(album.text(3, 3), "");
}

INSTANTIATE_TEST_SUITE_P(Heaps, AddedHeapField, testing::Values(HeapCase{11, 0}, HeapCase{12, 6}));

// Added fields of types 0 to 8 read as 0xFF bytes (no table entry for 7
// and 8); types 9 and 10 as the empty value a record inserted afterwards
// gets.
TEST(AddedFields, ReadAsNoValue) {
  const std::vector<uint8_t> types = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  const uint32_t widths[] = {2, 4, 4, 8, 4, 2, 16, 64, 2};
  TestAlbum album({11});
  Values v;
  v.text("kept");
  ASSERT_EQ(album.insert(&v), 1);
  std::vector<Bytes> add;
  for (uint8_t t : types) add.push_back(addition(t, "T" + std::to_string(t)));
  ASSERT_EQ(change(album, add), 1);
  Values empty;
  empty.text("later");
  for (size_t j = 0; j < 9; ++j) empty.none();
  empty.text("").blob({});
  ASSERT_EQ(album.insert(&empty), 1);
  expectSound(album);
  EXPECT_EQ(album.text(0, 0), "kept");
  for (uint32_t j = 1; j <= types.size(); ++j) {
    const uint8_t t = types[j - 1];
    if (t >= 9) {
      EXPECT_EQ(fieldValueEx(album, 0, j), fieldValueEx(album, 1, j)) << int(t);
      continue;
    }
    const Bytes value = fieldValue(album, 0, j);
    EXPECT_EQ(Bytes(value.begin(), value.begin() + widths[t]), Bytes(widths[t], 0xFF)) << int(t);
  }
}

struct LimitCase {
  uint32_t removed;
  int result;
};
class FieldLimit : public testing::TestWithParam<LimitCase> {};

// 250 FieldDefs and 6 additions: with 10 of them removed the album is
// reorganized first (-1) and the records are kept; without, 6440 and
// nothing written.
TEST_P(FieldLimit, ReorganizesFirstOrRefuses) {
  const LimitCase& c = GetParam();
  TestAlbum album(std::vector<uint8_t>(250, 1));
  for (uint32_t n = 0; n < 3; ++n) {
    Values v;
    for (uint32_t j = 0; j < 250; ++j) v.u32(n * 1000 + j);
    ASSERT_EQ(album.insert(&v), 1);
  }
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 0));
  std::vector<Bytes> removals;
  for (uint32_t j = 0; j < c.removed; ++j) removals.push_back(removal(uint8_t(j * 2)));
  if (!removals.empty()) {
    ASSERT_EQ(change(album, removals), 1);
  }
  const Bytes before = album.file();
  std::vector<Bytes> add;
  for (int k = 0; k < 6; ++k) add.push_back(addition(1, "A" + std::to_string(k)));
  EXPECT_EQ(change(album, &add), c.result);
  const Bytes f = album.file();
  if (c.result == 0) {
    expectReport(6440, 7007, 2, 10);
    EXPECT_EQ(f, before);
    return;
  }
  EXPECT_EQ(f[46], 246);
  EXPECT_EQ(f[47], 246);
  EXPECT_EQ(add[5][0], 245);
  expectSound(album);
  // Old records 1 and 2 are now 0 and 1; field 1 was old field 3.
  EXPECT_EQ(get32(fieldValue(album, 1, 1), 0), 2003u);
  EXPECT_EQ(get32(fieldValue(album, 0, 245), 0), 0xFFFFFFFFu);
}

INSTANTIATE_TEST_SUITE_P(Removed, FieldLimit, testing::Values(LimitCase{10, -1}, LimitCase{0, 0}));

// An index attribute an existing field has moves to the added field; a new
// one is added to the list.
TEST(AddedFields, TakeOverOrAddIndexAttributes) {
  TestAlbum album({0, 0, 0, 0, 0, 0});
  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 5, 3, 0));
  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 2, 4, 0));
  ASSERT_EQ(change(album, {addition(2, "moved", 3), addition(2, "fresh", 9)}), 1);
  const Bytes f = album.file();
  const uint32_t list = get32(f, 1538);
  ASSERT_EQ(get16(f, list), 3);
  EXPECT_EQ(Bytes(f.begin() + list + 2, f.begin() + list + 26),
            (Bytes{3, 6, 0, 0, 0, 0, 0, 0, 4, 2, 0, 0, 0, 0, 0, 0, 9, 7, 0, 0, 0, 0, 0, 0}));
  expectSound(album);
}

std::vector<std::string> fieldNames(TestAlbum& album) {
  album.close();
  HANDLE h = nullptr;
  HGLOBAL specs = nullptr;
  BYTE count = 0;
  EXPECT_NE(afm3OpenAlbum(album.owner, album.path.c_str(), kPrivate, &h, nullptr, &count, &specs),
            0xFFFFu);
  const Bytes s = rectest::handleBytes(specs);
  std::vector<std::string> names;
  for (uint32_t j = 0; j < count; ++j)
    names.push_back(std::to_string(s[67 * j]) + ":" +
                    reinterpret_cast<const char*>(s.data() + 67 * j + 2));
  return names;
}

// Removal marks the field and the record; a number that names no live
// field changes nothing; renames (longer and shorter) in the same call;
// a later reorganization drops the removed field.
TEST(SchemeChange, RemovesAndRenamesThenReorganizeDrops) {
  TestAlbum album({2, 11, 2});
  Values v;
  v.u32(5).text("t").u32(6);
  ASSERT_EQ(album.insert(&v), 1);
  const Bytes rowBefore = rowSlot(album.file(), 0);
  std::vector<Bytes> records = {removal(1), removal(9), removal(1), renaming(0, "a longer name"),
                                renaming(2, "")};
  records[4][2] = 'z';
  ASSERT_EQ(change(album, &records), 1);
  EXPECT_EQ(records[0][1], 0xC0);
  EXPECT_EQ(records[1][1], 0x40);
  EXPECT_EQ(records[2][1], 0x40) << "a field is removed once";
  const Bytes f = album.file();
  EXPECT_EQ(f[46], 3);
  EXPECT_EQ(f[47], 2);
  EXPECT_EQ(rowSlot(f, 0), rowBefore);
  expectSound(album);
  EXPECT_EQ(fieldNames(album), (std::vector<std::string>{"0:a longer name", "2:z"}));
  ASSERT_EQ(reorganize(album), 1);
  EXPECT_EQ(album.file()[46], 2);
  EXPECT_EQ(fieldNames(album), (std::vector<std::string>{"0:a longer name", "1:z"}));
  EXPECT_EQ(get32(fieldValue(album, 0, 1), 0), 6u);
}

// A reader that lets others write follows the change: every table is read
// again once the header shows new row geometry and fields.
TEST(SchemeChange, AReaderThatSharesWritingFollows) {
  TestAlbum album({11, 2});
  Values v;
  v.text("seen").u32(41);
  ASSERT_EQ(album.insert(&v), 1);
  const HINSTANCE reader = rectest::ownerKey(77);
  const HANDLE h = album.openAs(reader, AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE);
  ASSERT_NE(h, nullptr);
  char text[300] = {};
  ASSERT_EQ(afm3ReadRecordField(reader, h, 0, 0, text), 1);
  ASSERT_EQ(change(album, {addition(6, "wide"), addition(11, "more"), removal(1)}), 1);
  Bytes value(300, 0);
  EXPECT_EQ(afm3ReadRecordField(reader, h, 0, 0, text), 1);
  EXPECT_STREQ(text, "seen");
  EXPECT_EQ(afm3ReadRecordField(reader, h, 0, 2, value.data()), 1);
  EXPECT_EQ(Bytes(value.begin(), value.begin() + 16), Bytes(16, 0xFF));
  EXPECT_EQ(afm3ReadRecordField(reader, h, 0, 3, text), 1);
  EXPECT_STREQ(text, "");
  EXPECT_TRUE(afm3CloseAlbum(reader, h));
}

// Refused before anything is written: an unknown type; left alone: an
// album others may write, an empty list.
TEST(SchemeChange, RefusesOrLeavesAlone) {
  for (DWORD flags : {kPrivate, kShared}) {
    TestAlbum album({2}, flags);
    Values v;
    v.u32(1);
    ASSERT_EQ(album.insert(&v), 1);
    const Bytes before = album.file();
    EXPECT_EQ(change(album, {removal(0), addition(13, "bad")}), flags == kShared ? 1 : 0);
    if (flags == kPrivate) expectReport(6439, 7007, 2, 13);
    EXPECT_EQ(change(album, std::vector<Bytes>{}), 1);
    EXPECT_EQ(album.file(), before);
  }
}

#ifndef _WIN32
// Free space on the album's drive (Z:, which the emulation can fix) must
// reach twice the album with additions, else the album + 16384 bytes; one
// byte less is refused before anything is written.
TEST(SchemeChange, NeedsFreeSpaceByTheKindOfChange) {
  struct Case {
    bool adds;
    int64_t below;  // free bytes short of the need
    int result;
  } cases[] = {{true, 1, 0}, {true, 0, 1}, {false, 1, 0}, {false, 0, 1}};
  for (const Case& c : cases) {
    TestAlbum album({11, 2});
    const Bytes before = album.file();
    const uint64_t size = before.size(), need = c.adds ? 2 * size : size + 16384;
    ASSERT_TRUE(qwinTestSetFreeSpace("Z:\\", static_cast<int64_t>(need) - c.below));
    const int result = change(album, {c.adds ? addition(2, "x") : renaming(0, "y")});
    qwinTestSetFreeSpace("Z:\\", -1);
    EXPECT_EQ(result, c.result) << c.adds << " " << c.below;
    if (c.result != 0) continue;
    expectReport(0, 7007, 2, 1);
    char text[256];
    std::snprintf(text, sizeof text, afm3test::messageText(6402).c_str(), (unsigned long)(need - 1),
                  "Z:\\", (unsigned long)need);
    EXPECT_EQ(afm3test::lastError().text, text);
    EXPECT_EQ(album.file(), before);
  }
}
#endif

}  // namespace
}  // namespace reorgtest
