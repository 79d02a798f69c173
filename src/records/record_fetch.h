// Fetching what the record operations read: row slots, heap entries and
// record entries. With caching on (afm3CacheAlbum) a row goes through the
// album's row-block cache and an entry through the cached heap block;
// otherwise both come straight from the file. Each operation passes its
// own failure steps, so one fetch serves every read and write path.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/album_table.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "records/record_encoding.h"

namespace afm3 {

// Whether the album keeps its caches between calls (and has them).
bool cachingOn(const AlbumSlot& slot);

struct RowSteps {
  Location where;
  uint32_t buffer;    // the row buffer (caching off)
  uint32_t seekSlot;  // caching off: positioning at, reading the slot
  uint32_t readSlot;
  uint32_t seekBlock;  // caching on: positioning at, reading the block
  uint32_t readBlock;
  uint32_t bufferError = kErrNoMemory;  // deletion and undeletion report 6401
};

// One record's row slot (rowSlotSize bytes). With caching on the bytes
// are the cached block's own, so changes made to them keep the cache
// right; otherwise they are a private copy.
class RowFetch {
 public:
  RowFetch() = default;
  // The bytes may live inside the object.
  RowFetch(const RowFetch&) = delete;
  RowFetch& operator=(const RowFetch&) = delete;

  // False after a report. A record without a row gets a zeroed slot and
  // present() false.
  bool fetch(AlbumSlot& slot, uint32_t record, const RowSteps& steps);
  // The same for a place already found.
  bool fetchAt(AlbumSlot& slot, const RowPlace& place, const RowSteps& steps);
  uint8_t* bytes() const { return row_; }
  const RowPlace& place() const { return place_; }
  bool present() const { return place_.present(); }
  bool cached() const { return cached_; }

 private:
  // Rows this short are copied here instead of into a heap block.
  static constexpr uint32_t kInlineRow = 256;
  uint8_t inline_[kInlineRow];
  LockedBlock own_;
  uint8_t* row_ = nullptr;
  RowPlace place_;
  bool cached_ = false;
};

struct HeapSteps {
  Location where;
  uint32_t seek, length, buffer, bytes;                  // caching off
  uint32_t cacheSeek, cacheSize, cacheGrow, cacheBlock;  // caching on
};

// One record's entry in a value heap. An absent entry (block 0) is empty.
class HeapEntryFetch {
 public:
  HeapEntryFetch() = default;
  // The bytes may live inside the object.
  HeapEntryFetch(const HeapEntryFetch&) = delete;
  HeapEntryFetch& operator=(const HeapEntryFetch&) = delete;

  // False after a report; lengths are checked against the block or the
  // file before anything is allocated or copied.
  bool fetch(AlbumSlot& slot, Heap heap, HeapRef ref, bool useCache, const HeapSteps& steps);
  const uint8_t* bytes() const { return bytes_; }
  uint32_t length() const { return length_; }
  bool present() const { return present_; }
  EntryString string(uint32_t k) const { return entryString(bytes_, length_, k); }

  // An uncached fetch reads this much at once: the length word and, for
  // the usual short entry, all of its bytes, kept here.
  static constexpr uint32_t kFirstRead = 512;

 private:
  uint8_t first_[kFirstRead];
  LockedBlock own_;
  const uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
  bool present_ = false;
};

// The cached blocks are forgotten when the file changes under them.
void forgetCachedRowBlock(AlbumSlot& slot, uint32_t block);
void forgetCachedHeapBlock(AlbumSlot& slot, Heap heap, uint32_t block);
// Forgets whatever block the heap's cache holds.
void forgetHeapCache(AlbumSlot& slot, Heap heap);

enum class EntryState { Failed, NoPage, Live, Deleted };
struct EntrySteps {
  Location where;
  uint32_t seek, read;
  uint32_t seekError = kErrSeek;
};
// Reads record r's 280-byte entry into entry (may be null: only the
// state is wanted). NoPage without a report.
EntryState readEntry(const AlbumSlot& slot, uint32_t record, uint8_t* entry,
                     const EntrySteps& steps);

// Whether a fetched record is live (1) or deleted (-1); 0 after a report.
// The row's slack decides; a record without a row (inserted without
// values) is judged by its entry, read with the row's steps.
int recordLife(const AlbumSlot& slot, uint32_t record, const RowFetch& row, const RowSteps& steps);

// Reads the 1798-byte header from the file; it must be a valid version-3
// header (else 6425). Read failures report 6424/6633.
bool readFileHeader(HANDLE file, uint8_t* header, Location where, uint32_t step);
// Whether a header read back describes the same rows and fields as the
// album was opened with (another process may have written it meanwhile).
bool sameRowGeometry(const AlbumHeader& a, const AlbumHeader& b);

// Switches caching on for one call when it is off, and off again at the
// end (the block read relies on the caches).
class CachingForCall {
 public:
  CachingForCall(HINSTANCE ownerKey, HANDLE album);
  ~CachingForCall();
  CachingForCall(const CachingForCall&) = delete;
  CachingForCall& operator=(const CachingForCall&) = delete;
  bool ok() const { return ok_; }

 private:
  HINSTANCE ownerKey_;
  HANDLE album_;
  bool switched_ = false;
  bool ok_ = false;
};

// Hands a locked block to a caller as a movable, unlocked memory handle.
HGLOBAL handOverUnlocked(LockedBlock& block);
// Hands a locked block to a caller who gets its (locked) address.
uint8_t* handOverLocked(LockedBlock& block);

// More than five times the bytes about to be written must be free on the
// album's volume; otherwise 6404 is reported.
bool diskSpaceFor(AlbumSlot& slot, uint64_t bytes, Location where, uint32_t step);

// Whether [offset, offset + size) lies inside a file of fileSize bytes.
bool fitsInFile(uint64_t offset, uint64_t size, uint32_t fileSize);

}  // namespace afm3
