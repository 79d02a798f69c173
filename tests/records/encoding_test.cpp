// The record encoding module on its own: heap placement, entry strings
// and addressing within the in-memory directories.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "core/heap_block.h"
#include "records/record_encoding.h"
#include "records_support.h"

namespace rectest {
namespace {

using namespace afm3;

TEST(Encoding, HeapBlockSizesAndPlacement) {
  const struct {
    uint32_t length, block;
  } sizes[] = {{1, 16384},    {100, 16384},  {256, 16384},  {299, 19136},  {300, 19200},
               {1023, 65472}, {1024, 65535}, {1100, 65535}, {65531, 65535}};
  for (const auto& c : sizes) {
    const HeapPlacement p = placeHeapEntry({}, c.length, 5000);
    EXPECT_TRUE(p.newBlock);
    EXPECT_EQ(p.blockSize, c.block) << c.length;
    EXPECT_EQ(p.ref.block, 5000u);
    EXPECT_EQ(p.ref.entry, 2u);
    EXPECT_EQ(p.after.used, c.length + 4);
    EXPECT_EQ(p.after.free, c.block - c.length - 4);
  }
  // The current block takes an entry when L + 2 bytes are free.
  const HeapState current{9000, 52, 300};
  const HeapPlacement fits = placeHeapEntry(current, 50, 123456);
  EXPECT_FALSE(fits.newBlock);
  EXPECT_EQ(fits.ref.block, 9000u);
  EXPECT_EQ(fits.ref.entry, 300u);
  EXPECT_EQ(fits.after.free, 0u);
  EXPECT_EQ(fits.after.used, 352u);
  EXPECT_TRUE(placeHeapEntry(current, 51, 123456).newBlock);
}

TEST(Encoding, EntryStringsStayInsideTheEntry) {
  const uint8_t entry[] = {'a', 'b', 0, 0, 'c', 'd'};  // the last string lacks its NUL
  const EntryString s0 = entryString(entry, 6, 0), s1 = entryString(entry, 6, 1),
                    s2 = entryString(entry, 6, 2), s3 = entryString(entry, 6, 3);
  EXPECT_TRUE(s0.found && s0.start == 0 && s0.length == 2 && s0.end == 3);
  EXPECT_TRUE(s1.found && s1.length == 0 && s1.end == 4);
  EXPECT_TRUE(s2.found && s2.start == 4 && s2.length == 2 && s2.end == 6);
  EXPECT_FALSE(s3.found);
  EXPECT_FALSE(entryString(entry, 0, 0).found);
  char out[8];
  EXPECT_EQ(copyEntryString(entry, s2, 1, out), 1u);
  EXPECT_STREQ(out, "c");
  EXPECT_EQ(copyEntryString(entry, s3, 255, out), 0u);
  EXPECT_STREQ(out, "");
}

// An entry holds one string per field; empty strings may follow the last
// one, nothing else may.
TEST(Encoding, EntryHoldsItsStringsAndMayEndInEmptyOnes) {
  struct Case {
    std::vector<uint8_t> entry;
    uint32_t fields;
    bool holds;
  } cases[] = {
      {{'a', 0, 'b', 0}, 2, true},
      {{'a', 0, 'b', 0, 0, 0}, 2, true},
      {{'a', 0, 'b', 0}, 3, false},
      {{'a', 0, 'b', 0, 'c', 0}, 2, false},
      {{'a', 0, 'b'}, 2, false},
      {{}, 0, true},
      {{0}, 0, true},
      {{}, 1, false},
  };
  for (const Case& c : cases)
    EXPECT_EQ(entryHoldsStrings(c.entry.data(), static_cast<uint32_t>(c.entry.size()), c.fields),
              c.holds)
        << c.entry.size() << " bytes, " << c.fields << " fields";
}

// A header that claims more directory entries than the blocks in memory
// hold: addresses beyond the blocks read as absent.
TEST(Encoding, AddressingStaysInsideTheDirectories) {
  AlbumSlot slot{};
  AlbumHeader header(slot.header);
  header.setPageDirCount(300);
  header.setRowDirCount(500);
  afm3PutU16(slot.header + 38, 10);  // rowsPerBlock
  afm3PutU16(slot.header + 44, 20);  // rowSlotSize
  slot.pageDir = allocateLocked(128 * 4);
  slot.rowDir = allocateLocked(2 * 4);
  afm3PutU32(slot.pageDir + 4 * 127, 70000);
  afm3PutU32(slot.rowDir + 4, 9000);
  EXPECT_EQ(entryOffset(slot, 127 * 64 + 3), 70000u + 3 * 280);
  EXPECT_EQ(entryOffset(slot, 128 * 64), 0u);
  EXPECT_EQ(entryOffset(slot, 0xFFFF), 0u);
  const RowPlace inside = rowPlace(slot, 15);
  EXPECT_EQ(inside.block, 9000u);
  EXPECT_EQ(inside.offset, 9000u + 5 * 20);
  EXPECT_FALSE(rowPlace(slot, 5).present());
  EXPECT_FALSE(rowPlace(slot, 25).present());
  freeLocked(slot.pageDir);
  freeLocked(slot.rowDir);
}

TEST(Encoding, SealedEntries) {
  Bytes entry(280, 0xC3);
  RecordEntry(entry.data()).seal();
  for (int i = 222; i < 278; ++i) ASSERT_EQ(entry[i], 0) << i;
  EXPECT_EQ(entry[221], 0xC3);
  EXPECT_EQ(get16(entry, 278), afm3test::xorChecksum(entry));
  Bytes page(17920, 0x11);
  buildFreshPage(page.data());
  for (int i = 0; i < 64; ++i) {
    EXPECT_EQ(get16(page, i * 280), 0xFFFFu);
    EXPECT_EQ(get16(page, i * 280 + 2), 0u);
  }
}

}  // namespace
}  // namespace rectest
