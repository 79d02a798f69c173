// The open-album table: one slot per open album, found by the pair (owner
// key, file handle) that callers name their album by.
#pragma once

#include <cstddef>
#include <cstdint>

#include "afm3_types.h"
#include "core/album_header.h"
#include "core/error_report.h"

namespace afm3 {

constexpr size_t kAlbumTableStep = 16;

// Slot flags.
enum : uint8_t {
  kSlotInUse = 0x01,
  kSlotKeepCaches = 0x02,
  kSlotExplicitLock = 0x04,
  kSlotCommitting = 0x10,
};

// Run-time state of one open album. Every buffer is a movable global-heap
// block, locked while the album is open, owned by the slot; closing an
// album frees them and zero-fills the slot.
struct AlbumSlot {
  uint8_t header[kHeaderSize];  // copy of the file's header
  uint16_t textCacheSize;
  uint16_t memoCacheSize;
  uint8_t* pageDir;  // PageDirectory (pageDirCount u32 entries), or null
  uint8_t* rowDir;   // RowDirectory (rowDirCount u32 entries), or null
  uint8_t* fieldDefs;
  uint8_t* rowCache;  // one RowBlock, or null
  uint32_t rowCacheOffset;
  uint8_t* textCache;  // the current text heap block, or null
  uint32_t textCacheOffset;
  uint8_t* memoCache;
  uint32_t memoCacheOffset;
  HANDLE file;
  uint32_t access;
  uint32_t shareMode;
  HINSTANCE ownerKey;
  char* path;
  uint8_t* fieldNames;
  uint8_t flags;
  uint32_t version;  // 0x300, or 0x200 for a version-2 album opened read-only
  // The volume's free space as last asked (0: not known), when it was
  // asked, and what the slot's appends have claimed of it since.
  double freeSpaceSeen;
  uint32_t freeSpaceTick;
  uint64_t freeSpaceClaimed;
};

bool createAlbumTable();
void destroyAlbumTable();
size_t albumTableCapacity();
size_t openAlbumCount();

// A free slot for a new album (growing the table when every slot is
// taken), or -1 after reporting the failure.
int allocateSlot();
// The slot of an open album, or -1.
int findSlot(HINSTANCE ownerKey, HANDLE file);
// The slot of an open version-3 album, or -1 after reporting 6441 with the
// caller's location (step 0).
int findVersion3Slot(HINSTANCE ownerKey, HANDLE file, Location where);
AlbumSlot& slotAt(int index);
// Marks a slot in use once its create or open succeeded.
void markSlotOpen(int index);
// Frees the slot's blocks (the file handle is left alone) and zero-fills it.
void releaseSlot(int index);

}  // namespace afm3
