// Compacting the value table of a type-7 or type-8 field: the entries
// (consecutive NUL-terminated strings, entry i the i-th) that are empty or
// consist only of 0xFF bytes are dropped, the others move down in order,
// and a remap table tells each old entry's new index.
#pragma once

#include <cstdint>

namespace afm3 {

constexpr uint16_t kNoEntry = 0xFFFF;

struct CompactedTable {
  uint32_t size = 0;   // bytes of the surviving entries with their NULs
  uint16_t count = 0;  // surviving entries
};

// table holds size bytes followed by one guard byte of 0 (size + 1 in
// all). The walk stops after count entries or at the end of the bytes; a
// last entry cut off by the end keeps what it has and gets its NUL (the
// guard byte). A double-byte character is never split. remap receives
// count u16s: the entry's new index, or kNoEntry for a dropped entry and
// for entries the bytes did not reach. The table is compacted in place.
CompactedTable compactValueTable(uint8_t* table, uint32_t size, uint16_t count, uint16_t* remap);

// A stored index after compaction: kNoEntry stays kNoEntry, an index past
// the old table becomes kNoEntry, any other takes its remap entry.
uint16_t remapIndex(const uint16_t* remap, uint16_t count, uint16_t index);

}  // namespace afm3
