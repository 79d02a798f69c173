// Damaged albums: lengths and offsets read from the file that do not fit
// the block or the file are reported, never followed.
#include <gtest/gtest.h>

#include <functional>

#include "records_support.h"

namespace rectest {
namespace {

// F0 text, F1 type 9 (row 12), F2 type 10 (row 30), F3 type 7 (row 34),
// F4 memo; rowDataSize 98.
struct Damage {
  const char* what;
  std::function<void(TestAlbum&, const Bytes&, uint32_t row)> apply;
  std::function<int(TestAlbum&)> read;  // the read that must notice
  uint32_t id;
};

int readText(TestAlbum& a) {
  int result = 0;
  a.text(0, 0, &result);
  return result;
}

int readEx(TestAlbum& a, DWORD field) {
  HGLOBAL out = nullptr;
  const int r = afm3ReadRecordFieldEx(a.owner, a.handle(), 0, field, &out);
  handleBytes(out);
  return r;
}

Bytes u16(uint16_t v) { return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}; }
Bytes u32(uint32_t v) {
  return {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8), static_cast<uint8_t>(v >> 16),
          static_cast<uint8_t>(v >> 24)};
}

const Damage kDamages[] = {
    {"text entry longer than its block",
     [](TestAlbum& a, const Bytes& f, uint32_t row) {
       a.patch(get32(f, row) + get16(f, row + 4), u16(0xFFF0));
     },
     readText, 6424},
    {"heap block larger than the file",
     [](TestAlbum& a, const Bytes& f, uint32_t row) { a.patch(get32(f, row + 6), u16(0xFFFF)); },
     [](TestAlbum& a) {
       char memo[261];
       return afm3ReadRecordField(a.owner, a.handle(), 0, 4, memo);
     },
     6424},
    {"memo entry offset beyond its block",
     [](TestAlbum& a, const Bytes&, uint32_t row) { a.patch(row + 10, u16(0xFFF0)); },
     [](TestAlbum& a) {
       BYTE* record = nullptr;
       BYTE** values = nullptr;
       return afm3ReadRecord(a.owner, a.handle(), 0, &record, &values);
     },
     6424},
    {"type-9 string beyond the file",
     [](TestAlbum& a, const Bytes& f, uint32_t row) {
       a.patch(row + 24, u32(static_cast<uint32_t>(f.size()) - 10));
       a.patch(row + 28, u16(0xFFFF));
     },
     [](TestAlbum& a) { return readEx(a, 1); }, 6424},
    {"type-10 length beyond the file",
     [](TestAlbum& a, const Bytes& f, uint32_t row) {
       a.patch(get32(f, row + 30), u32(0x7FFFFFF0));
     },
     [](TestAlbum& a) { return readEx(a, 2); }, 6424},
    {"row block beyond the file",
     [](TestAlbum& a, const Bytes& f, uint32_t) {
       a.patch(get32(f, 32), u32(static_cast<uint32_t>(f.size()) + 100));
     },
     readText, 6424},
    {"table capacity beyond the file",
     [](TestAlbum& a, const Bytes&, uint32_t) { a.patch(2310 + 48 + 8, u32(0xFFFFFFF0)); },
     [](TestAlbum& a) {
       WORD count = 0;
       return afm3ReadTable(a.owner, a.handle(), 3, &count) != nullptr ? 1 : 0;
     },
     6424},
};

TEST(Damage, ReportedNotFollowed) {
  for (const Damage& d : kDamages) {
    for (BOOL caching : {FALSE, TRUE}) {
      SCOPED_TRACE(std::string(d.what) + (caching ? " (cached)" : ""));
      TestAlbum album({11, 9, 10, 7, 12});
      Values v;
      v.text("text").text("string").blob({1, 2}).raw(Bytes(64, 0)).text("memo");
      ASSERT_EQ(album.insert(&v), 1);
      const Bytes table(100, 'T');
      ASSERT_TRUE(afm3UpdateTable(album.owner, album.handle(), 3, table.data(), 100, 1));
      album.close();
      const Bytes f = album.file();
      const uint32_t row = get32(f, get32(f, 32));
      d.apply(album, f, row);
      album.open(kPrivate);
      ASSERT_TRUE(afm3CacheAlbum(album.owner, album.handle(), caching));
      afm3test::clearLastError();
      const int result = d.read(album);
      if (result == 0) {
        EXPECT_EQ(afm3test::lastError().id, d.id);
      } else {
        // Only the cached read sees a block's size word.
        EXPECT_FALSE(caching);
      }
    }
  }
}

// Opening checks the list; a list damaged while the album is open (with
// write sharing, by another writer) is caught by its own reader.
TEST(Damage, IndexListCountBeyondTheFile) {
  TestAlbum album({11, 2}, kShared);
  ASSERT_TRUE(afm3AddOemFldDef(album.owner, album.handle(), 0, 5, 0));
  const Bytes f = album.file();
  album.patch(get32(f, 60 + 1478), u16(0xFFFF));
  EXPECT_FALSE(afm3AddOemFldDef(album.owner, album.handle(), 1, 5, 0));
  expectReport(6424, 7014, 3, 4);
}

}  // namespace
}  // namespace rectest
