// Committed records stay intact when two writers share an album and when
// callers name numbers that hold no deleted record.
#include <gtest/gtest.h>

#include <string>

#include "records_support.h"

namespace rectest {
namespace {

std::string label(int writer, int i) {
  return "w" + std::to_string(writer) + "-" + std::to_string(i);
}

// Two owners open the album with write sharing and insert in turns: each
// must see the other's heap use and directories, so every record keeps
// its own text (earlier the second writer reused heap space the first had
// already filled).
TEST(SharedWriters, AlternatingInsertsKeepEveryValue) {
  TestAlbum album({11, 12, 9, 2}, kShared);
  const HINSTANCE other = ownerKey(2);
  ASSERT_NE(album.openAs(other, kShared), nullptr);
  constexpr int kRounds = 150;  // past one row block and one page
  for (int i = 0; i < kRounds; ++i) {
    for (int w = 0; w < 2; ++w) {
      const HINSTANCE owner = w == 0 ? album.owner : other;
      Values v;
      v.text(label(w, i)).text("memo " + label(w, i)).text("s" + label(w, i)).u32(i);
      Bytes entry(280, 0);
      ASSERT_EQ(afm3InsertRecord(owner, TestAlbum::handleOf(owner), entry.data(), nullptr, nullptr,
                                 nullptr, v.get(), nullptr, nullptr, nullptr),
                1)
          << i << " " << w;
      EXPECT_EQ(get16(entry, 0), 2 * i + w);
    }
  }
  for (int r = 0; r < 2 * kRounds; ++r) {
    EXPECT_EQ(album.text(r, 0), label(r % 2, r / 2)) << r;
    EXPECT_EQ(album.text(r, 1), "memo " + label(r % 2, r / 2)) << r;
  }
  // The other owner's view is just as current: a longer value updated
  // there lands in heap space nobody else uses.
  for (int r = 0; r < 2 * kRounds; r += 7)
    ASSERT_TRUE(afm3UpdateRecordField(other, TestAlbum::handleOf(other), r, 0,
                                      ("longer value " + std::to_string(r)).c_str()));
  Values v;
  v.text("last").text("last memo").text("s").u32(0);
  ASSERT_EQ(album.insert(&v), 1);
  for (int r = 0; r < 2 * kRounds; ++r)
    EXPECT_EQ(album.text(r, 0),
              r % 7 == 0 ? "longer value " + std::to_string(r) : label(r % 2, r / 2))
        << r;
  Bytes info(1736, 0);
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(other, TestAlbum::handleOf(other), info.data()));
  EXPECT_EQ(get16(info, 0), 2 * kRounds + 1);
}

TEST(Undelete, OnlyDeletedRecordsComeBack) {
  TestAlbum album({11});
  Values v;
  v.text("a");
  ASSERT_EQ(album.insert(&v), 1);  // 0
  ASSERT_EQ(album.insert(&v), 1);  // 1
  Bytes kept = entryWithNumber(5, 0x10);
  ASSERT_EQ(album.insert(&v, &kept), 1);  // 5: numbers 2 to 4 stay free
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  struct Case {
    uint32_t record;
    bool accepted;
  } cases[] = {{3, false}, {6, false}, {100, false}, {0, false}, {1, true}, {1, false}};
  for (const Case& c : cases) {
    EXPECT_EQ(afm3UndelRecord(album.owner, album.handle(), c.record), c.accepted ? TRUE : FALSE)
        << c.record;
    if (c.accepted) continue;
    const uint32_t step = c.record <= 1 ? 5 : c.record >= 64 ? 2 : 16;  // live; no page; never held
    expectReport(6444, 7006, 1, step);
  }
  Bytes info(1736, 0);
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(album.owner, album.handle(), info.data()));
  EXPECT_EQ(get16(info, 0), 3);
  EXPECT_EQ(get16(info, 2), 6);
}

TEST(KeepNumber, NeverLowersTheNextNumberNorReplacesALiveRecord) {
  TestAlbum album({11});
  for (int i = 0; i < 4; ++i) {
    Values v;
    v.text("r" + std::to_string(i));
    ASSERT_EQ(album.insert(&v), 1);
  }
  Values v;
  v.text("intruder");
  Bytes onLive = entryWithNumber(2, 0x10);
  EXPECT_EQ(album.insert(&v, &onLive), 0);
  expectReport(6444, 7004, 1, 42);
  EXPECT_EQ(album.text(2, 0), "r2");

  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 1));
  Bytes onDeleted = entryWithNumber(1, 0x10);
  ASSERT_EQ(album.insert(&v, &onDeleted), 1);  // a deleted record's number is reused
  EXPECT_EQ(album.text(1, 0), "intruder");
  Values next;
  next.text("r4");
  Bytes entry(280, 0);
  ASSERT_EQ(album.insert(&next, &entry), 1);
  EXPECT_EQ(get16(entry, 0), 4);  // not 2: the next number stayed where it was
  for (int r : {0, 2, 3}) EXPECT_EQ(album.text(r, 0), "r" + std::to_string(r));
  Bytes info(1736, 0);
  ASSERT_TRUE(afm3ReadBasicAlbumInfo(album.owner, album.handle(), info.data()));
  EXPECT_EQ(get16(info, 0), 5);
  EXPECT_EQ(get16(info, 2), 5);

  // Without values, a reused number gets an empty row, not the old one.
  ASSERT_TRUE(afm3DeleteRecord(album.owner, album.handle(), 3));
  Bytes bare = entryWithNumber(3, 0x10);
  ASSERT_EQ(album.insert(nullptr, &bare), 1);
  int result = 0;
  EXPECT_EQ(album.text(3, 0, &result), "");
  EXPECT_EQ(result, 1);
}

}  // namespace
}  // namespace rectest
