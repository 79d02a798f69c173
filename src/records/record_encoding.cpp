#include "records/record_encoding.h"

#include <algorithm>
#include <cstring>

#include "core/checksum.h"
#include "core/heap_block.h"
#include "core/signature.h"

namespace afm3 {

namespace {

constexpr uint32_t kPageDirGrowthRecords = 8192;  // records per 128 directory entries
constexpr uint32_t kDirectoryStep = 128;
constexpr uint32_t kHeapBlockFactor = 64;

// Entries a directory block can hold, whatever its header count says.
uint32_t boundedEntries(const uint8_t* dir, uint32_t headerCount) {
  if (dir == nullptr) return 0;
  return std::min<uint32_t>(headerCount, static_cast<uint32_t>(lockedSize(dir) / 4));
}

}  // namespace

void RecordEntry::seal() {
  std::memset(b_ + kEntrySealFrom, 0, kEntryChecksumAt - kEntrySealFrom);
  storeChecksum();
}

void RecordEntry::storeChecksum() { afm3::storeChecksum(b_, kEntrySize); }

bool RecordEntry::neverUsed() const {
  if (!isFree()) return false;
  for (uint32_t i = 2; i < kEntrySize; ++i)
    if (b_[i] != 0) return false;
  return true;
}

bool RecordEntry::checksumHoldsWith(uint16_t number) const {
  // XOR-ing the stored first word out and number in gives the checksum the
  // entry had with number.
  const uint16_t sum = computeChecksum(b_, kEntrySize) ^ afm3GetU16(b_) ^ number;
  return sum == afm3GetU16(b_ + kEntryChecksumAt);
}

void buildFreshPage(uint8_t* page) {
  std::memset(page, 0, kPageSize);
  for (uint32_t i = 0; i < kRecordsPerPage; ++i) afm3PutU16(page + i * kEntrySize, kNoRecord);
}

uint32_t pageDirEntries(const AlbumSlot& slot) {
  return boundedEntries(slot.pageDir, headerOf(slot).pageDirCount());
}

uint32_t rowDirEntries(const AlbumSlot& slot) {
  return boundedEntries(slot.rowDir, headerOf(slot).rowDirCount());
}

uint32_t pageDirEntry(const AlbumSlot& slot, uint32_t page) {
  return page < pageDirEntries(slot) ? afm3GetU32(slot.pageDir + 4 * page) : 0;
}

uint32_t rowDirEntry(const AlbumSlot& slot, uint32_t block) {
  return block < rowDirEntries(slot) ? afm3GetU32(slot.rowDir + 4 * block) : 0;
}

uint32_t pageOf(uint32_t record) { return record / kRecordsPerPage; }

uint32_t rowBlockIndex(const AlbumHeader& header, uint32_t record) {
  return record / header.rowsPerBlock();
}

uint32_t rowSlotInBlock(const AlbumHeader& header, uint32_t record) {
  return record % header.rowsPerBlock() * header.rowSlotSize();
}

uint32_t entryOffset(const AlbumSlot& slot, uint32_t record) {
  if (record > kHighestRecord) return 0;
  const uint32_t page = pageDirEntry(slot, pageOf(record));
  return page == 0 ? 0 : page + (record % kRecordsPerPage) * kEntrySize;
}

RowDirectory rowDirectoryOf(const AlbumSlot& slot) { return {slot.rowDir, rowDirEntries(slot)}; }

RowPlace rowPlace(const AlbumSlot& slot, uint32_t record) {
  return rowPlace(headerOf(slot), rowDirectoryOf(slot), record);
}

RowPlace rowPlace(const AlbumHeader& header, const RowDirectory& dir, uint32_t record) {
  RowPlace place;
  if (record > kHighestRecord || header.rowsPerBlock() == 0) return place;
  const uint32_t block = rowBlockIndex(header, record);
  place.block = block < dir.count ? afm3GetU32(dir.entries + 4 * block) : 0;
  if (place.block == 0) return place;
  place.slotIndex = record % header.rowsPerBlock();
  place.inBlock = rowSlotInBlock(header, record);
  place.offset = place.block + place.inBlock;
  return place;
}

bool isReadableRecord(const AlbumHeader& header, uint32_t record) {
  return record < header.nextRecordNumber();
}

uint32_t pageDirCountFor(uint32_t record) {
  return (record / kPageDirGrowthRecords + 1) * kDirectoryStep;
}

uint32_t rowDirCountFor(uint32_t record, uint32_t rowsPerBlock) {
  return (record / rowsPerBlock / kDirectoryStep + 1) * kDirectoryStep;
}

bool rowDirMustGrow(const AlbumSlot& slot, uint32_t record) {
  const AlbumHeader header = headerOf(slot);
  return header.rowDirOffset() == 0 ||
         record >= uint32_t{header.rowsPerBlock()} * rowDirEntries(slot);
}

bool rowGoesInPlace(const AlbumSlot& slot, uint32_t record, bool dirGrown) {
  const AlbumHeader header = headerOf(slot);
  return !dirGrown && record % header.rowsPerBlock() != 0 &&
         rowDirEntry(slot, rowBlockIndex(header, record)) != 0;
}

uint32_t rowHeapRefAt(Heap heap) { return heap == Heap::Text ? 0 : 6; }

HeapRef rowHeapRef(const uint8_t* row, Heap heap) {
  const uint8_t* at = row + rowHeapRefAt(heap);
  return {afm3GetU32(at), afm3GetU16(at + 4)};
}

void setRowHeapRef(uint8_t* row, Heap heap, HeapRef ref) {
  uint8_t* at = row + rowHeapRefAt(heap);
  afm3PutU32(at, ref.block);
  afm3PutU16(at + 4, ref.entry);
}

bool slackMarksDeleted(const AlbumHeader& header, const uint8_t* slot) {
  for (uint32_t i = header.rowDataSize(); i < header.rowSlotSize(); ++i)
    if (slot[i] != kDeletedFill) return false;
  return header.rowSlotSize() > header.rowDataSize();
}

SlackMark slackMark(const AlbumHeader& header, const uint8_t* slot) {
  if (header.rowSlotSize() <= header.rowDataSize()) return SlackMark::Neither;
  const uint8_t first = slot[header.rowDataSize()];
  if (first != 0 && first != kDeletedFill) return SlackMark::Neither;
  for (uint32_t i = header.rowDataSize(); i < header.rowSlotSize(); ++i)
    if (slot[i] != first) return SlackMark::Neither;
  return first == 0 ? SlackMark::Live : SlackMark::Deleted;
}

void markSlack(const AlbumHeader& header, uint8_t* slot, bool deleted) {
  std::memset(slot + header.rowDataSize(), deleted ? kDeletedFill : 0,
              header.rowSlotSize() - header.rowDataSize());
}

uint32_t fieldDefCount(const AlbumSlot& slot) {
  return slot.fieldDefs == nullptr ? 0 : headerOf(slot).fieldDefCount();
}

uint8_t* fieldDefBytes(const AlbumSlot& slot, uint32_t number) {
  return slot.fieldDefs + number * kFieldDefSize;
}

uint32_t fieldDefFileOffset(const AlbumHeader& header, uint32_t number) {
  return header.fieldDefOffset() + number * kFieldDefSize;
}

FieldInfo fieldAt(const AlbumSlot& slot, uint32_t number) {
  const uint8_t* def = fieldDefBytes(slot, number);
  FieldInfo f;
  f.number = number;
  f.type = def[1] & kFieldTypeMask;
  f.removed = (def[1] & kFieldRemoved) != 0;
  f.placement = afm3GetU16(def + 14);
  return f;
}

uint32_t heapFieldCount(const AlbumSlot& slot, Heap heap) {
  uint32_t n = 0;
  for (uint32_t j = 0; j < fieldDefCount(slot); ++j) {
    const FieldInfo f = fieldAt(slot, j);
    if (f.isHeap() && f.heap() == heap) ++n;
  }
  return n;
}

uint32_t readCap(Heap heap) { return heap == Heap::Text ? kTextReadChars : kMemoReadChars; }

uint32_t stringValueOffset(const uint8_t* value) {
  return afm3GetU32(value + kStringSignatureSize);
}

uint16_t stringValueLength(const uint8_t* value) {
  return afm3GetU16(value + kStringSignatureSize + 4);
}

bool stringValueSignature(const char* text, uint32_t length, uint8_t* out) {
  return computeSignature(text, (length + 1) / 2, kSignatureString, out);
}

bool encodeStringValue(uint8_t* value, const char* text, uint32_t length, uint32_t offset) {
  if (!stringValueSignature(text, length, value)) return false;
  afm3PutU32(value + kStringSignatureSize, offset);
  afm3PutU16(value + kStringSignatureSize + 4, static_cast<uint16_t>(length + 1));
  return true;
}

uint32_t blobValueOffset(const uint8_t* value) { return afm3GetU32(value); }
void setBlobValueOffset(uint8_t* value, uint32_t offset) { afm3PutU32(value, offset); }

bool entryHoldsStrings(const uint8_t* entry, uint32_t length, uint32_t count) {
  if (length == 0 || entry[length - 1] != 0) return count == 0 && length == 0;
  // Extra empty strings after the last field's may follow (a scheme
  // change that adds fields leaves one).
  uint32_t strings = 0;
  uint32_t i = 0;
  for (; i < length && strings < count; ++i)
    if (entry[i] == 0) ++strings;
  if (strings < count) return false;
  for (; i < length; ++i)
    if (entry[i] != 0) return false;
  return true;
}

EntryString entryString(const uint8_t* entry, uint32_t entryLength, uint32_t k) {
  EntryScan start;
  return entryString(entry, entryLength, k, &start);
}

EntryString entryString(const uint8_t* entry, uint32_t entryLength, uint32_t k, EntryScan* from) {
  EntryString s;
  if (k < from->index) *from = EntryScan{};
  uint32_t at = from->at;
  for (uint32_t i = from->index;; ++i) {
    if (at >= entryLength) return s;
    const void* nul = std::memchr(entry + at, 0, entryLength - at);
    const uint32_t n = nul == nullptr
                           ? entryLength - at
                           : static_cast<uint32_t>(static_cast<const uint8_t*>(nul) - (entry + at));
    const uint32_t end = std::min(at + n + 1, entryLength);
    if (i == k) {
      *from = {i + 1, end};
      s.start = at;
      s.length = n;
      s.end = end;
      s.found = true;
      return s;
    }
    at = end;
  }
}

uint32_t copyEntryString(const uint8_t* entry, const EntryString& s, uint32_t maxChars, char* out) {
  const uint32_t n = s.found ? std::min(s.length, maxChars) : 0;
  if (n > 0) std::memcpy(out, entry + s.start, n);
  out[n] = '\0';
  return n;
}

uint32_t heapHeaderAt(Heap heap) { return heap == Heap::Text ? 16 : 24; }

HeapState heapState(const AlbumHeader& header, Heap heap) {
  const uint8_t* at = header.bytes() + heapHeaderAt(heap);
  return {afm3GetU32(at), afm3GetU16(at + 4), afm3GetU16(at + 6)};
}

void setHeapState(AlbumHeader header, Heap heap, const HeapState& state) {
  uint8_t* at = header.bytes() + heapHeaderAt(heap);
  afm3PutU32(at, state.block);
  afm3PutU16(at + 4, state.free);
  afm3PutU16(at + 6, state.used);
}

uint32_t newHeapBlockSize(uint32_t length) {
  return std::clamp<uint32_t>(kHeapBlockFactor * length, kMinHeapBlock, kMaxHeapBlock);
}

HeapPlacement placeHeapEntry(const HeapState& current, uint32_t length, uint32_t appendAt) {
  HeapPlacement p;
  if (current.block != 0 && length + 2 <= current.free) {
    p.ref = {current.block, current.used};
    p.after = {current.block, static_cast<uint16_t>(current.free - (length + 2)),
               static_cast<uint16_t>(current.used + length + 2)};
    return p;
  }
  p.newBlock = true;
  p.blockSize = newHeapBlockSize(length);
  p.ref = {appendAt, 2};
  p.after = {appendAt, static_cast<uint16_t>(p.blockSize - length - 4),
             static_cast<uint16_t>(length + 4)};
  return p;
}

void buildHeapBlock(uint8_t* block, uint32_t blockSize, const uint8_t* entry, uint32_t length) {
  afm3PutU16(block, static_cast<uint16_t>(blockSize));
  afm3PutU16(block + 2, static_cast<uint16_t>(length));
  if (length > 0) std::memcpy(block + 4, entry, length);
}

ValueTable valueTableOf(const uint8_t* def) {
  return {afm3GetU32(def + 4), afm3GetU32(def + 8), afm3GetU16(def + 12)};
}

void setValueTable(uint8_t* def, const ValueTable& table) {
  afm3PutU32(def + 4, table.offset);
  afm3PutU32(def + 8, table.capacity);
  afm3PutU16(def + 12, table.count);
}

bool hasValueTable(uint8_t type) { return type == kTypeList32 || type == kTypeList1; }

}  // namespace afm3
