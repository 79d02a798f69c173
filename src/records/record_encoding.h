// How a record is laid out in a version-3 album. Every record operation
// (insert, reads, updates, deletion, value tables, and the maintenance
// runs that rewrite records) goes through this module for offsets, widths
// and placement; none derives a position on its own.
//
// A record lives in two places:
//   RecordEntry (280 bytes), 64 to a RecordPage of 17920 bytes, found
//   through the PageDirectory: PageDirectory[r / 64] + (r mod 64) * 280.
//     0 u16 number (0xFFFF free or deleted)  2 u8 source kind
//     3 u8 drive type   4 u32 image offset   8 char[128] short path
//     136 u32[5] file information   156 u8[20] caller data   176 u16 flags
//     178 u32 string A offset   182 char[32] label   214 u32 string B offset
//     218 u32 picture-data offset   222 u8[56] zero   278 u16 checksum
//   Row slot (rowSlotSize bytes) in a RowBlock found through the
//   RowDirectory: RowDirectory[r / rowsPerBlock] + (r mod rowsPerBlock) *
//   rowSlotSize.
//     0 u32 text heap block  4 u16 entry offset in it
//     6 u32 memo heap block 10 u16 entry offset in it
//     12.. values of types 0-10 at their FieldDef offsets
//     rowDataSize.. slack: 0x00 live, 0xFA deleted
//
// ValueHeap block: u16 block size, then entries {u16 L, L bytes}; an entry
// holds one record's strings of one heap type, each NUL-terminated, in
// FieldDef order; a field's string is the k-th, k its ordinal.
//
// Out of the row: a type-9 string (its bytes and NUL; the row holds a
// 12-byte signature, u32 offset, u16 length) and a type-10 value (u32
// length n and n bytes; the row holds the u32 offset).
#pragma once

#include <cstddef>
#include <cstdint>

#include "afm3_bytes.h"
#include "core/album_header.h"
#include "core/album_table.h"
#include "core/field_types.h"

namespace afm3 {

// The header copy of an open album, read through its typed accessors.
inline AlbumHeader headerOf(const AlbumSlot& slot) {
  return AlbumHeader(const_cast<uint8_t*>(slot.header));
}

// ---- RecordEntry and RecordPage -------------------------------------------
constexpr uint32_t kEntrySize = 280;
constexpr uint32_t kPageSize = kRecordsPerPage * kEntrySize;  // 17920
constexpr uint32_t kEntrySealFrom = 222;                      // zero up to the checksum
constexpr uint32_t kEntryChecksumAt = 278;
constexpr uint16_t kEntryKeepNumber = 0x10;  // insert only: keep the number at offset 0
// 0xFFFF marks a free entry, so the highest usable number is one below.
constexpr uint32_t kHighestRecord = 0xFFFE;

class RecordEntry {
 public:
  explicit RecordEntry(uint8_t* bytes) : b_(bytes) {}
  uint8_t* bytes() const { return b_; }
  uint16_t number() const { return afm3GetU16(b_); }
  void setNumber(uint16_t v) { afm3PutU16(b_, v); }
  bool isFree() const { return number() == kNoRecord; }
  // A free entry that never held a record: 0xFFFF, then zeros. A deleted
  // record's entry is 0xFFFF followed by its data.
  bool neverUsed() const;
  // Whether the checksum holds for the entry with number in its first
  // word: deletion overwrites the number and keeps the checksum made with
  // it.
  bool checksumHoldsWith(uint16_t number) const;
  uint32_t imageOffset() const { return afm3GetU32(b_ + 4); }
  void setImageOffset(uint32_t v) { afm3PutU32(b_ + 4, v); }
  uint16_t flags() const { return afm3GetU16(b_ + 176); }
  void setFlags(uint16_t v) { afm3PutU16(b_ + 176, v); }
  uint32_t stringAOffset() const { return afm3GetU32(b_ + 178); }
  uint32_t pictureDataOffset() const { return afm3GetU32(b_ + 218); }
  void setStringAOffset(uint32_t v) { afm3PutU32(b_ + 178, v); }
  uint32_t stringBOffset() const { return afm3GetU32(b_ + 214); }
  void setStringBOffset(uint32_t v) { afm3PutU32(b_ + 214, v); }
  // Zeroes bytes 222..277 and stores the checksum: the form every written
  // entry has.
  void seal();
  // Stores the checksum of bytes 0..277 only.
  void storeChecksum();

 private:
  uint8_t* b_;
};

// A page as it is first written: every entry free (0xFFFF), all else 0.
void buildFreshPage(uint8_t* page);

// ---- directories held in memory -------------------------------------------
// Entries of the in-memory directories that may be read: never more than
// the block holds, whatever the header copy says.
uint32_t pageDirEntries(const AlbumSlot& slot);
uint32_t rowDirEntries(const AlbumSlot& slot);
uint32_t pageDirEntry(const AlbumSlot& slot, uint32_t page);  // 0 beyond the directory
uint32_t rowDirEntry(const AlbumSlot& slot, uint32_t block);

// The page of record r, and the row block and slot inside it.
uint32_t pageOf(uint32_t record);
uint32_t rowBlockIndex(const AlbumHeader& header, uint32_t record);
uint32_t rowSlotInBlock(const AlbumHeader& header, uint32_t record);  // byte offset

// File offset of record r's entry; 0 when its page does not exist (beyond
// the directory, a zero entry, or a number no record can have).
uint32_t entryOffset(const AlbumSlot& slot, uint32_t record);

// Where record r's row slot is. block is 0 when the record has no row: no
// directory, a block beyond it, or a zero entry.
struct RowPlace {
  uint32_t block = 0;      // file offset of the RowBlock
  uint32_t slotIndex = 0;  // r mod rowsPerBlock
  uint32_t offset = 0;     // file offset of the slot
  uint32_t inBlock = 0;    // byte offset of the slot inside the block
  bool present() const { return block != 0; }
};
RowPlace rowPlace(const AlbumSlot& slot, uint32_t record);
// The row directory as held now: its entries, bounded by the header's
// count and by the buffer. A read over many records takes it once.
struct RowDirectory {
  const uint8_t* entries = nullptr;
  uint32_t count = 0;
};
RowDirectory rowDirectoryOf(const AlbumSlot& slot);
RowPlace rowPlace(const AlbumHeader& header, const RowDirectory& dir, uint32_t record);

// r is readable only below nextRecordNumber.
bool isReadableRecord(const AlbumHeader& header, uint32_t record);

// ---- directory growth -----------------------------------------------------
// Page directory entries needed once record r exists: (r / 8192 + 1) * 128.
uint32_t pageDirCountFor(uint32_t record);
// Row directory entries needed for record r: (r / rowsPerBlock / 128 + 1) * 128.
uint32_t rowDirCountFor(uint32_t record, uint32_t rowsPerBlock);
// Whether inserting r needs a new row directory (none yet, or too short).
bool rowDirMustGrow(const AlbumSlot& slot, uint32_t record);
// Whether r's row goes in place into an existing block: never for the
// first slot of a block or right after the directory grew.
bool rowGoesInPlace(const AlbumSlot& slot, uint32_t record, bool dirGrown);

// ---- row --------------------------------------------------------------------
constexpr uint8_t kDeletedFill = 0xFA;
constexpr uint32_t kRowHeapRefSize = 6;

enum class Heap { Text, Memo };
struct HeapRef {
  uint32_t block = 0;  // 0 = the record has no entry in this heap
  uint16_t entry = 0;
  // File offset of the entry's length word.
  uint64_t position() const { return uint64_t{block} + entry; }
};
// Byte offset of the heap's {block, entry} pair in a row (0 or 6).
uint32_t rowHeapRefAt(Heap heap);
HeapRef rowHeapRef(const uint8_t* row, Heap heap);
void setRowHeapRef(uint8_t* row, Heap heap, HeapRef ref);

// Deleted when every slack byte of the slot is 0xFA.
bool slackMarksDeleted(const AlbumHeader& header, const uint8_t* slot);
// What the slack says: all 0x00 live, all 0xFA deleted, anything else
// neither.
enum class SlackMark { Live, Deleted, Neither };
SlackMark slackMark(const AlbumHeader& header, const uint8_t* slot);
void markSlack(const AlbumHeader& header, uint8_t* slot, bool deleted);

// ---- fields -------------------------------------------------------------------
struct FieldInfo {
  uint32_t number = 0;
  uint8_t type = 0;
  bool removed = false;
  uint16_t placement = 0;  // row offset (types 0-10) or ordinal (11, 12)
  bool isHeap() const { return type == kTypeText || type == kTypeMemo; }
  Heap heap() const { return type == kTypeMemo ? Heap::Memo : Heap::Text; }
  uint32_t rowWidth() const { return kRowWidth[type & kFieldTypeMask]; }
  uint32_t readWidth() const { return kFieldReadWidth[type & kFieldTypeMask]; }
};
uint32_t fieldDefCount(const AlbumSlot& slot);
FieldInfo fieldAt(const AlbumSlot& slot, uint32_t number);
uint8_t* fieldDefBytes(const AlbumSlot& slot, uint32_t number);
// Where a FieldDef is in the file.
uint32_t fieldDefFileOffset(const AlbumHeader& header, uint32_t number);
// FieldDefs of a heap type, removed fields included: the strings each of
// that heap's entries holds.
uint32_t heapFieldCount(const AlbumSlot& slot, Heap heap);

// Characters a caller's string may have on insert: 255 text, 258 memo.
constexpr uint32_t kTextMaxChars = 255;
constexpr uint32_t kMemoMaxChars = 258;
// Characters reads hand out at most: 255 text, 259 memo.
constexpr uint32_t kTextReadChars = 255;
constexpr uint32_t kMemoReadChars = 259;
uint32_t readCap(Heap heap);

// Type 9 in the row (18 bytes): 12-byte signature, u32 offset, u16 length
// including the NUL.
constexpr uint32_t kStringSignatureSize = 12;
uint32_t stringValueOffset(const uint8_t* value);
uint16_t stringValueLength(const uint8_t* value);
// The 12-byte signature of a type-9 string of length characters, over
// (length + 1) / 2 words; false when its work block failed.
bool stringValueSignature(const char* text, uint32_t length, uint8_t* out);
// Stores the signature of text, its offset and its stored length; false
// when the signature's work block failed.
bool encodeStringValue(uint8_t* value, const char* text, uint32_t length, uint32_t offset);
// The longest type-9 string: its length with the NUL must fit a u16.
constexpr uint32_t kMaxStringValueChars = 0xFFFE;

// Type 10 in the row (4 bytes): u32 offset of {u32 n, n bytes}.
uint32_t blobValueOffset(const uint8_t* value);
void setBlobValueOffset(uint8_t* value, uint32_t offset);

// ---- value heaps ------------------------------------------------------------
// A heap block is at most 65535 bytes with its size word and the entry's
// length word, so an entry holds at most 65531 bytes.
constexpr uint32_t kMinHeapBlock = 16384;
constexpr uint32_t kMaxHeapBlock = 65535;
constexpr uint32_t kMaxHeapEntry = kMaxHeapBlock - 4;

// A block's first u16 is its size; entries follow from offset 2, each a
// u16 length and that many bytes.
constexpr uint32_t kHeapFirstEntry = 2;
constexpr uint32_t kHeapLengthSize = 2;
// Whether an entry of length bytes is count NUL-terminated strings (one
// per field of its heap type), possibly followed by empty ones.
bool entryHoldsStrings(const uint8_t* entry, uint32_t length, uint32_t count);

// The k-th NUL-terminated string of an entry, never read past its length.
// found is false when the entry holds fewer strings; a last string without
// its NUL ends at the entry's end.
struct EntryString {
  uint32_t start = 0;   // offset in the entry
  uint32_t length = 0;  // characters, without the NUL
  uint32_t end = 0;     // offset after the string and its NUL (or the entry's end)
  bool found = false;
};
EntryString entryString(const uint8_t* entry, uint32_t entryLength, uint32_t k);
// The same, continuing from string `from` (k >= from.index) found earlier.
struct EntryScan {
  uint32_t index = 0;  // the string that starts at `at`
  uint32_t at = 0;
};
EntryString entryString(const uint8_t* entry, uint32_t entryLength, uint32_t k, EntryScan* from);
// Copies at most maxChars characters of the string and a NUL to out;
// returns the characters copied.
uint32_t copyEntryString(const uint8_t* entry, const EntryString& s, uint32_t maxChars, char* out);

// The heap the header names as current.
struct HeapState {
  uint32_t block = 0;
  uint16_t free = 0;
  uint16_t used = 0;
};
HeapState heapState(const AlbumHeader& header, Heap heap);
// Header offset of a heap's state: u32 block, u16 free, u16 used.
uint32_t heapHeaderAt(Heap heap);
void setHeapState(AlbumHeader header, Heap heap, const HeapState& state);

// Where an entry of length bytes goes: into the current block when it has
// length + 2 bytes free, else into a new block of clamp(64 * length,
// 16384, 65535) bytes placed at appendAt.
struct HeapPlacement {
  bool newBlock = false;
  HeapRef ref;             // what the row gets
  uint32_t blockSize = 0;  // of a new block
  HeapState after;         // the header's state once the entry is in
};
uint32_t newHeapBlockSize(uint32_t length);
HeapPlacement placeHeapEntry(const HeapState& current, uint32_t length, uint32_t appendAt);
// A new block (blockSize bytes, zeroed by the caller): {u16 size, u16
// length, the entry bytes}.
void buildHeapBlock(uint8_t* block, uint32_t blockSize, const uint8_t* entry, uint32_t length);

// ---- value tables of types 7 and 8 (FieldDef bytes 4..13) --------------------
constexpr uint32_t kTableGrowthRoom = 16384;
struct ValueTable {
  uint32_t offset = 0;
  uint32_t capacity = 0;
  uint16_t count = 0;
};
ValueTable valueTableOf(const uint8_t* def);
void setValueTable(uint8_t* def, const ValueTable& table);
bool hasValueTable(uint8_t type);

// ---- IndexList --------------------------------------------------------------------
// u16 count, then 8-byte entries {attribute, field number, 6 zero bytes}.
constexpr uint32_t kIndexListHeader = 2;
constexpr uint32_t kIndexEntryBytes = 8;

}  // namespace afm3
