#include "maintenance/value_table_compaction.h"

#include <cstring>

#include "platform.h"

namespace afm3 {

namespace {

constexpr uint8_t kFillByte = 0xFF;

bool survives(const uint8_t* entry, uint32_t length) {
  for (uint32_t i = 0; i < length; ++i)
    if (entry[i] != kFillByte) return true;
  return false;  // empty, or 0xFF bytes only
}

// The length of the string at p: walked by character, never past end
// (where the guard NUL is).
uint32_t entryLength(const uint8_t* p, const uint8_t* end) {
  const char* start = reinterpret_cast<const char*>(p);
  const char* q = start;
  while (reinterpret_cast<const uint8_t*>(q) < end && *q != '\0') q = plat::charNext(q);
  if (reinterpret_cast<const uint8_t*>(q) > end) q = reinterpret_cast<const char*>(end);
  return static_cast<uint32_t>(q - start);
}

}  // namespace

CompactedTable compactValueTable(uint8_t* table, uint32_t size, uint16_t count, uint16_t* remap) {
  for (uint32_t i = 0; i < count; ++i) remap[i] = kNoEntry;
  CompactedTable out;
  const uint8_t* end = table + size;
  uint32_t at = 0;
  for (uint32_t i = 0; i < count && at < size; ++i) {
    const uint32_t length = entryLength(table + at, end);
    if (survives(table + at, length)) {
      // Moving down never overtakes the bytes still to be read.
      std::memmove(table + out.size, table + at, length);
      table[out.size + length] = 0;
      out.size += length + 1;
      remap[i] = out.count++;
    }
    at += length + 1;
  }
  return out;
}

uint16_t remapIndex(const uint16_t* remap, uint16_t count, uint16_t index) {
  if (index == kNoEntry || index >= count) return kNoEntry;
  return remap[index];
}

}  // namespace afm3
