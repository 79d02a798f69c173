// The integrity check and repair (afm3CheckAlbumFile): a good album made
// through the library passes; each damage a stopped operation or a bad
// disk leaves is found with its kind; what the repair mends is gone after
// it, and every record still reads back through the public interface.
#include <gtest/gtest.h>

#include <functional>
#include <vector>

#include "afm3_check.h"
#include "platform.h"
#include "records_support.h"

namespace rectest {
namespace {

using afm3test::put16;
using afm3test::put32;

// Fields of every type, 0 to 12: types 0-10 lie in the row at 12, 14, 18,
// 22, 30, 34, 36, 52, 116, 118 (type 9: signature, offset at 130, length
// at 134) and 136; rowDataSize 140, rowSlotSize 154.
constexpr uint32_t kTypeNineOffset = 130;
constexpr uint32_t kRowDataSize = 140;
constexpr uint32_t kRowSlotSize = 154;
const char* const kTexts[] = {"zero", "one", "two", "three, now a longer text", "four"};

std::vector<Afm3Problem> check(const std::string& path, bool repair, int* result) {
  std::vector<Afm3Problem> problems;
  *result = afm3CheckAlbumFile(
      path.c_str(), repair ? 1 : 0,
      [](void* ctx, const Afm3Problem* p) {
        static_cast<std::vector<Afm3Problem>*>(ctx)->push_back(*p);
      },
      &problems);
  return problems;
}

std::string describe(const std::vector<Afm3Problem>& problems) {
  std::string s;
  for (const Afm3Problem& p : problems)
    s += std::to_string(p.kind) + " at " + std::to_string(p.offset) + ": " + p.text + "\n";
  return s;
}

HGLOBAL bitmap(uint16_t width, uint16_t height) {
  const uint32_t row = (24u * width + 31) / 32 * 4;
  HGLOBAL dib = plat::globalAlloc(plat::kGhnd, 40 + row * height);
  auto* b = static_cast<uint8_t*>(plat::globalLock(dib));
  Bytes header(40, 0);
  put32(header, 0, 40);
  put32(header, 4, width);
  put32(header, 8, height);
  put16(header, 12, 1);
  put16(header, 14, 24);
  std::copy(header.begin(), header.end(), b);
  for (uint32_t i = 0; i < row * height; ++i) b[40 + i] = static_cast<uint8_t>(i * 7);
  plat::globalUnlock(dib);
  return dib;
}

Values valuesFor(int r) {
  Values v;
  const auto n = static_cast<uint8_t>(r + 1);
  for (size_t width : {2, 4, 4, 8, 4, 2, 16, 64, 2}) v.raw(Bytes(width, n));
  v.text("string " + std::to_string(r)).blob(Bytes(10, n)).text(kTexts[r]).text("memo");
  return v;
}

int insertRecord(TestAlbum& album, int r, bool image) {
  Values v = valuesFor(r);
  Bytes entry(280, 0);
  Bytes imageHeader(16, 0);
  imageHeader[8] = 2;  // 24 bits, stored raw
  put16(imageHeader, 10, 8);
  put16(imageHeader, 12, 6);
  HGLOBAL dib = image ? bitmap(8, 6) : nullptr;
  const int result = afm3InsertRecord(album.owner, album.handle(), entry.data(),
                                      image ? imageHeader.data() : nullptr, dib, "C:\\pics\\a.jpg",
                                      v.get(), nullptr, nullptr, "extra");
  if (dib != nullptr) plat::globalFree(dib);
  return result;
}

// Records 0 to 4, record 2 deleted, record 3's text and type-9 string
// made longer after insertion (both appended), a value table, picture
// data; record 4 with its image is written last.
Bytes goodAlbum(TestAlbum& album) {
  for (int r = 0; r < 4; ++r) EXPECT_EQ(insertRecord(album, r, r != 1), 1);
  EXPECT_EQ(afm3DeleteRecord(album.owner, album.handle(), 2), 1);
  EXPECT_EQ(afm3UpdateRecordField(album.owner, album.handle(), 3, 11, kTexts[3]), 1);
  EXPECT_EQ(afm3UpdateRecordField(album.owner, album.handle(), 3, 9, "a longer string 3"), 1);
  EXPECT_EQ(afm3UpdateTable(album.owner, album.handle(), 7, "red\0green\0", 10, 2), 1);
  EXPECT_EQ(afm3UpdateFilePicMisc(album.owner, album.handle(), 0, 3, "misc", 4), 1);
  EXPECT_EQ(insertRecord(album, 4, true), 1);
  album.close();
  return album.file();
}

// Where things are in the good album, worked out from its header.
uint32_t entryAt(const Bytes& f, uint32_t r) {
  return get32(f, get32(f, 8) + 4 * (r / 64)) + r % 64 * 280;
}
uint32_t rowAt(const Bytes& f, uint32_t r) {
  const uint32_t perBlock = get16(f, 38);
  return get32(f, get32(f, 32) + 4 * (r / perBlock)) + r % perBlock * kRowSlotSize;
}
void reseal(Bytes& f) {
  Bytes header(f.begin(), f.begin() + 1798);
  afm3test::sealChecksum(header);
  std::copy(header.begin(), header.end(), f.begin());
}
void markSlack(Bytes& f, uint32_t r, uint8_t fill) {
  std::fill_n(f.begin() + rowAt(f, r) + kRowDataSize, kRowSlotSize - kRowDataSize, fill);
}

struct Damage {
  const char* what;
  std::function<void(Bytes&)> apply;
  uint32_t kind;
  bool repairable;
  uint32_t deletedByRepair;  // a record the repair completes as deleted, or 0xFFFF
};

const Damage kDamages[] = {
    {"header checksum", [](Bytes& f) { f[70] ^= 0x20; }, AFM3_PROBLEM_HEADER_CHECKSUM, true,
     0xFFFF},
    {"entry checksum", [](Bytes& f) { f[entryAt(f, 1) + 9] ^= 0x01; }, AFM3_PROBLEM_ENTRY_CHECKSUM,
     false, 0xFFFF},
    {"row deleted, entry live", [](Bytes& f) { markSlack(f, 1, 0xFA); }, AFM3_PROBLEM_HALF_DELETED,
     true, 1},
    {"entry deleted, row live", [](Bytes& f) { put16(f, entryAt(f, 1), 0xFFFF); },
     AFM3_PROBLEM_HALF_DELETED, true, 1},
    {"record count off",
     [](Bytes& f) {
       put16(f, 60, get16(f, 60) + 1);
       reseal(f);
     },
     AFM3_PROBLEM_RECORD_COUNT, true, 0xFFFF},
    {"next record number too low",
     [](Bytes& f) {
       put16(f, 62, 3);
       reseal(f);
     },
     AFM3_PROBLEM_NEXT_RECORD, true, 0xFFFF},
    {"text entries past the used mark",  // an update stopped before the header
     [](Bytes& f) {
       const uint32_t row = rowAt(f, 3);
       ASSERT_EQ(get32(f, row), get32(f, 16));  // record 3's entry is in the current block
       const uint16_t used = get16(f, row + 4);
       put16(f, 20, get16(f, 20) + get16(f, 22) - used);
       put16(f, 22, used);
       reseal(f);
     },
     AFM3_PROBLEM_HEAP_STATE, true, 0xFFFF},
    {"heap block outside the file",
     [](Bytes& f) { put32(f, rowAt(f, 0), static_cast<uint32_t>(f.size()) + 100); },
     AFM3_PROBLEM_HEAP_REFERENCE, false, 0xFFFF},
    {"type-9 string outside the file",
     [](Bytes& f) { put32(f, rowAt(f, 0) + kTypeNineOffset, static_cast<uint32_t>(f.size()) - 2); },
     AFM3_PROBLEM_STRING_VALUE, false, 0xFFFF},
    {"truncated file", [](Bytes& f) { f.resize(f.size() - 10); }, AFM3_PROBLEM_IMAGE, false,
     0xFFFF},
};

// After a repair: the album opens, every record it still holds reads back
// with its values, and a new record's text goes where it overwrites none.
void expectRecordsRead(TestAlbum& album, uint32_t deleted) {
  album.open(kPrivate);
  Values v = valuesFor(4);
  Bytes entry(280, 0);
  ASSERT_EQ(album.insert(&v, &entry), 1);
  int live = 0;
  for (uint32_t r = 0; r < 6; ++r) {
    const bool expected = r != 2 && r != deleted;
    ASSERT_EQ(afm3IsValidRecord(album.owner, album.handle(), r), expected ? 1 : 0) << r;
    if (!expected) continue;
    ++live;
    BYTE* record = nullptr;
    BYTE** values = nullptr;
    ASSERT_EQ(afm3ReadRecord(album.owner, album.handle(), r, &record, &values), 1) << r;
    EXPECT_STREQ(reinterpret_cast<const char*>(values[11]), kTexts[r < 5 ? r : 4]) << r;
    freeLockedOutput(record);
    freeLockedOutput(values);
  }
  std::vector<uint8_t> info(1736);
  ASSERT_EQ(afm3ReadBasicAlbumInfo(album.owner, album.handle(), info.data()), 1);
  EXPECT_EQ(get16(info, 0), live);
  album.close();
}

TEST(AlbumCheck, GoodAlbumPassesDamagesAreFoundRepairsHold) {
  TestAlbum album({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12});
  const Bytes good = goodAlbum(album);
  int result = 0;
  std::vector<Afm3Problem> problems = check(album.path, false, &result);
  ASSERT_EQ(result, 0) << describe(problems);

  for (const Damage& damage : kDamages) {
    SCOPED_TRACE(damage.what);
    Bytes damaged = good;
    damage.apply(damaged);
    ASSERT_TRUE(afm3test::writeWholeFile(album.path, std::string(damaged.begin(), damaged.end())));
    problems = check(album.path, false, &result);
    EXPECT_EQ(result, static_cast<int>(problems.size()));
    EXPECT_TRUE(std::any_of(problems.begin(), problems.end(), [&](const Afm3Problem& p) {
      return p.kind == damage.kind;
    })) << describe(problems);
    if (!damage.repairable) continue;
    problems = check(album.path, true, &result);
    EXPECT_EQ(result, 0) << describe(problems);
    for (const Afm3Problem& p : problems) EXPECT_TRUE(p.kind & AFM3_PROBLEM_REPAIRED) << p.text;
    problems = check(album.path, false, &result);
    EXPECT_EQ(result, 0) << describe(problems);
    expectRecordsRead(album, damage.deletedByRepair);
  }
}

TEST(AlbumCheck, RefusesWhatItCannotCheckOrRepair) {
  TestAlbum album({11});
  int result = 0;
  std::vector<Afm3Problem> problems = check(album.path, true, &result);  // open here
  EXPECT_EQ(result, -1);
  ASSERT_EQ(problems.size(), 1u);
  EXPECT_EQ(problems[0].kind, AFM3_PROBLEM_FILE);
  album.close();
  const Bytes v2 = afm3test::version2Album("Old", 0, 0);
  ASSERT_TRUE(afm3test::writeWholeFile(album.path, std::string(v2.begin(), v2.end())));
  for (const std::string& path : {album.path, album.path + ".missing"}) {
    problems = check(path, false, &result);
    EXPECT_EQ(result, -1) << path;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_EQ(problems[0].kind, AFM3_PROBLEM_FILE);
  }
}

}  // namespace
}  // namespace rectest
