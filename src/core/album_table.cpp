#include "core/album_table.h"

#include <cstring>

#include "core/error_report.h"
#include "core/growable_table.h"
#include "core/heap_block.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr Location kSlotAllocation{kModAlbum, 20};

constinit GrowableTable<AlbumSlot> table(kAlbumTableStep);
constinit size_t openCount = 0;

}  // namespace

bool createAlbumTable() {
  openCount = 0;
  return table.create();
}

void destroyAlbumTable() {
  for (size_t i = 0; i < table.capacity(); ++i) {
    if (table[i].flags & kSlotInUse) releaseSlot(static_cast<int>(i));
  }
  table.release();
  openCount = 0;
}

size_t albumTableCapacity() { return table.capacity(); }
size_t openAlbumCount() { return openCount; }

int allocateSlot() {
  if (openCount >= table.capacity()) {
    const size_t firstNew = table.capacity();
    if (!table.grow()) {
      reportError(kErrNoMemory, kSlotAllocation, 1);
      return -1;
    }
    return static_cast<int>(firstNew);
  }
  for (size_t i = 0; i < table.capacity(); ++i) {
    if (!(table[i].flags & kSlotInUse)) return static_cast<int>(i);
  }
  return -1;  // unreachable while openCount counts the slots in use
}

int findSlot(HINSTANCE ownerKey, HANDLE file) {
  for (size_t i = 0; i < table.capacity(); ++i) {
    const AlbumSlot& slot = table[i];
    if ((slot.flags & kSlotInUse) && slot.file == file && slot.ownerKey == ownerKey)
      return static_cast<int>(i);
  }
  return -1;
}

int findVersion3Slot(HINSTANCE ownerKey, HANDLE file, Location where) {
  const int index = findSlot(ownerKey, file);
  if (index < 0 || slotAt(index).version != kVersion3) {
    reportError(kErrNotOpenAlbum, where, 0);
    return -1;
  }
  return index;
}

AlbumSlot& slotAt(int index) { return table[static_cast<size_t>(index)]; }

void markSlotOpen(int index) {
  slotAt(index).flags |= kSlotInUse;
  ++openCount;
}

void releaseSlot(int index) {
  AlbumSlot& slot = slotAt(index);
  const bool wasOpen = (slot.flags & kSlotInUse) != 0;
  for (uint8_t** block : {&slot.pageDir, &slot.rowDir, &slot.fieldDefs, &slot.rowCache,
                          &slot.textCache, &slot.memoCache, &slot.fieldNames}) {
    freeLocked(*block);
  }
  freeLockedAs(slot.path);
  std::memset(static_cast<void*>(&slot), 0, sizeof slot);
  if (wasOpen && openCount > 0) --openCount;
}

}  // namespace afm3
