#include "records/record_fetch.h"

#include <algorithm>
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/checksum.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

// Rows and heaps report a failed positioning as 6425.
constexpr uint32_t kRowSeekError = kErrChecksum;
constexpr uint32_t kHeapBlockHeader = 2;  // u16 block size
constexpr uint32_t kEntryLengthWord = 2;  // u16 entry length

struct HeapCache {
  uint8_t*& buffer;
  uint16_t& size;
  uint32_t& offset;
};

HeapCache heapCache(AlbumSlot& slot, Heap heap) {
  if (heap == Heap::Text) return {slot.textCache, slot.textCacheSize, slot.textCacheOffset};
  return {slot.memoCache, slot.memoCacheSize, slot.memoCacheOffset};
}

bool seekRow(HANDLE file, uint64_t offset, Location where, uint32_t step) {
  if (offset > 0xFFFFFFFFu) {
    reportError(kRowSeekError, where, step);
    return false;
  }
  return seekTo(file, static_cast<uint32_t>(offset), where, step, kRowSeekError);
}

// Loads the heap block at block into the heap's cache unless it is there.
bool loadHeapBlock(AlbumSlot& slot, Heap heap, uint32_t block, const HeapSteps& steps) {
  HeapCache cache = heapCache(slot, heap);
  if (cache.offset == block) return true;
  cache.offset = 0;  // the buffer's contents are about to change
  uint8_t sizeWord[kHeapBlockHeader];
  if (!seekRow(slot.file, block, steps.where, steps.cacheSeek) ||
      !readExact(slot.file, sizeWord, sizeof sizeWord, steps.where, steps.cacheSize))
    return false;
  const uint16_t size = afm3GetU16(sizeWord);
  if (size < kHeapBlockHeader + kEntryLengthWord ||
      !fitsInFile(block, size, fileLength(slot.file))) {
    reportError(kErrShortRead, steps.where, steps.cacheBlock);
    return false;
  }
  if (cache.buffer == nullptr || cache.size < size) {
    uint8_t* grown = allocateLocked(size);
    if (grown == nullptr) {
      reportError(kErrNoMemory, steps.where, steps.cacheGrow);
      return false;
    }
    freeLocked(cache.buffer);
    cache.buffer = grown;
    cache.size = size;
  }
  std::memcpy(cache.buffer, sizeWord, sizeof sizeWord);
  if (!readExact(slot.file, cache.buffer + kHeapBlockHeader, size - kHeapBlockHeader, steps.where,
                 steps.cacheBlock))
    return false;
  cache.offset = block;
  return true;
}

}  // namespace

bool fitsInFile(uint64_t offset, uint64_t size, uint32_t fileSize) {
  return fileSize != 0xFFFFFFFFu && offset + size <= fileSize;
}

bool diskSpaceFor(AlbumSlot& slot, uint64_t bytes, Location where, uint32_t step) {
  constexpr double kFactor = 5.0;
  // Asking the file system costs a path walk and a statfs, more than the
  // rest of a small insert. An answer less than a second old, less what
  // this album appended since, serves instead; a write that still meets
  // a full disk fails and is reported as such.
  constexpr uint32_t kFreeSpaceLifeMs = 1000;
  const double needed = kFactor * static_cast<double>(bytes);
  const uint32_t now = plat::tickCount();
  if (slot.freeSpaceSeen > 0 && now - slot.freeSpaceTick < kFreeSpaceLifeMs &&
      slot.freeSpaceSeen - static_cast<double>(slot.freeSpaceClaimed) > needed) {
    slot.freeSpaceClaimed += bytes;
    return true;
  }
  const double available = qfdGetDiskFreeSpace(slot.path);
  slot.freeSpaceSeen = 0;
  if (available > needed) {
    slot.freeSpaceSeen = available;
    slot.freeSpaceTick = now;
    slot.freeSpaceClaimed = bytes;
    return true;
  }
  reportError(kErrNoDiskSpace, where, step);
  return false;
}

bool cachingOn(const AlbumSlot& slot) {
  return (slot.flags & kSlotKeepCaches) && slot.rowCache != nullptr && slot.textCache != nullptr &&
         slot.memoCache != nullptr;
}

bool RowFetch::fetch(AlbumSlot& slot, uint32_t record, const RowSteps& steps) {
  return fetchAt(slot, rowPlace(slot, record), steps);
}

bool RowFetch::fetchAt(AlbumSlot& slot, const RowPlace& place, const RowSteps& steps) {
  const AlbumHeader header = headerOf(slot);
  place_ = place;
  cached_ = false;
  if (place_.present() && cachingOn(slot)) {
    if (slot.rowCacheOffset != place_.block) {
      slot.rowCacheOffset = 0;
      if (!seekRow(slot.file, place_.block, steps.where, steps.seekBlock) ||
          !readExact(slot.file, slot.rowCache, header.rowBlockSize(), steps.where, steps.readBlock))
        return false;
      slot.rowCacheOffset = place_.block;
    }
    row_ = slot.rowCache + place_.inBlock;
    cached_ = true;
    return true;
  }
  if (header.rowSlotSize() <= kInlineRow) {
    row_ = inline_;
    std::memset(row_, 0, header.rowSlotSize());
  } else {
    if (!own_.allocate(header.rowSlotSize())) {
      reportError(steps.bufferError, steps.where, steps.buffer);
      return false;
    }
    row_ = own_.get();
  }
  if (!place_.present()) return true;
  return seekRow(slot.file, place_.offset, steps.where, steps.seekSlot) &&
         readExact(slot.file, row_, header.rowSlotSize(), steps.where, steps.readSlot);
}

bool HeapEntryFetch::fetch(AlbumSlot& slot, Heap heap, HeapRef ref, bool useCache,
                           const HeapSteps& steps) {
  bytes_ = nullptr;
  length_ = 0;
  present_ = ref.block != 0;
  if (!present_) return true;
  if (useCache) {
    if (!loadHeapBlock(slot, heap, ref.block, steps)) return false;
    const HeapCache cache = heapCache(slot, heap);
    const uint32_t blockSize = afm3GetU16(cache.buffer);
    const uint32_t at = uint32_t{ref.entry} + kEntryLengthWord;
    if (at > blockSize || at + afm3GetU16(cache.buffer + ref.entry) > blockSize) {
      reportError(kErrShortRead, steps.where, steps.cacheBlock);
      return false;
    }
    length_ = afm3GetU16(cache.buffer + ref.entry);
    bytes_ = cache.buffer + at;
    return true;
  }
  // One read takes the length word and, for the usual short entry, all of
  // its bytes; a longer entry reads the rest after it. A read cut short by
  // the end of the file finds an entry that runs past it.
  if (!seekRow(slot.file, ref.position(), steps.where, steps.seek)) return false;
  const uint32_t got = retryingRead(slot.file, first_, sizeof first_);
  if (got == kReadGaveUp || got < kEntryLengthWord) {
    reportError(got == kReadGaveUp ? kErrReadLocked : kErrShortRead, steps.where, steps.length);
    return false;
  }
  const uint32_t length = afm3GetU16(first_);
  const uint32_t inFirst = std::min(length, got - kEntryLengthWord);
  if (inFirst < length && got < sizeof first_) {
    reportError(kErrShortRead, steps.where, steps.bytes);
    return false;
  }
  if (inFirst == length) {
    bytes_ = first_ + kEntryLengthWord;
    length_ = length;
    return true;
  }
  if (!own_.allocate(length)) {
    reportError(kErrNoMemory, steps.where, steps.buffer);
    return false;
  }
  std::memcpy(own_.get(), first_ + kEntryLengthWord, inFirst);
  if (inFirst < length &&
      !readExact(slot.file, own_.get() + inFirst, length - inFirst, steps.where, steps.bytes))
    return false;
  bytes_ = own_.get();
  length_ = length;
  return true;
}

void forgetCachedRowBlock(AlbumSlot& slot, uint32_t block) {
  if (block != 0 && slot.rowCacheOffset == block) slot.rowCacheOffset = 0;
}

void forgetCachedHeapBlock(AlbumSlot& slot, Heap heap, uint32_t block) {
  HeapCache cache = heapCache(slot, heap);
  if (block != 0 && cache.offset == block) cache.offset = 0;
}

void forgetHeapCache(AlbumSlot& slot, Heap heap) { heapCache(slot, heap).offset = 0; }

EntryState readEntry(const AlbumSlot& slot, uint32_t record, uint8_t* entry,
                     const EntrySteps& steps) {
  const uint32_t at = entryOffset(slot, record);
  if (at == 0) return EntryState::NoPage;
  uint8_t own[kEntrySize];
  uint8_t* bytes = entry != nullptr ? entry : own;
  if (!seekTo(slot.file, at, steps.where, steps.seek, steps.seekError) ||
      !readExact(slot.file, bytes, kEntrySize, steps.where, steps.read))
    return EntryState::Failed;
  return RecordEntry(bytes).isFree() ? EntryState::Deleted : EntryState::Live;
}

int recordLife(const AlbumSlot& slot, uint32_t record, const RowFetch& row, const RowSteps& steps) {
  if (row.present()) return slackMarksDeleted(headerOf(slot), row.bytes()) ? -1 : 1;
  switch (readEntry(slot, record, nullptr,
                    {steps.where, steps.seekSlot, steps.readSlot, kRowSeekError})) {
    case EntryState::Failed:
      return 0;
    case EntryState::Deleted:
      return -1;
    default:
      return 1;
  }
}

bool readFileHeader(HANDLE file, uint8_t* header, Location where, uint32_t step) {
  if (!readAt(file, 0, header, kHeaderSize, where, step, step)) return false;
  if (!hasAlbumMagic(header) || header[4] != 3 || header[5] != 0 ||
      !checksumHolds(header, kHeaderSize)) {
    reportError(kErrChecksum, where, step);
    return false;
  }
  return true;
}

bool sameRowGeometry(const AlbumHeader& a, const AlbumHeader& b) {
  return a.rowBlockSize() == b.rowBlockSize() && a.rowsPerBlock() == b.rowsPerBlock() &&
         a.rowDataSize() == b.rowDataSize() && a.rowSlotSize() == b.rowSlotSize() &&
         a.fieldDefCount() == b.fieldDefCount() && a.recordsPerPage() == b.recordsPerPage();
}

CachingForCall::CachingForCall(HINSTANCE ownerKey, HANDLE album)
    : ownerKey_(ownerKey), album_(album) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) return;
  if (cachingOn(slotAt(index))) {
    ok_ = true;
    return;
  }
  ok_ = afm3CacheAlbum(ownerKey, album, TRUE) != FALSE;
  switched_ = ok_;
}

CachingForCall::~CachingForCall() {
  if (switched_) afm3CacheAlbum(ownerKey_, album_, FALSE);
}

HGLOBAL handOverUnlocked(LockedBlock& block) {
  uint8_t* bytes = block.release();
  if (bytes == nullptr) return nullptr;
  HGLOBAL handle = plat::globalHandle(bytes);
  plat::globalUnlock(handle);
  return handle;
}

uint8_t* handOverLocked(LockedBlock& block) { return block.release(); }

}  // namespace afm3
