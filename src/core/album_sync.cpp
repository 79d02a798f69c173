#include "core/album_sync.h"

#include <cstring>

#include "core/album_header.h"
#include "core/album_io.h"
#include "core/checksum.h"
#include "core/heap_block.h"
#include "platform.h"

namespace afm3 {

namespace {

// Reports carry the location of the information refresh, which is what
// this generalises.
constexpr Location kRefresh{kModRecordWrite, 4};
enum SyncStep : uint32_t {
  kStepReadHeader = 2,
  kStepHeaderChanged = 3,
  kStepBuffer = 4,
  kStepReadTable = 5,
};

bool sameGeometry(const AlbumHeader& a, const AlbumHeader& b) {
  return a.rowBlockSize() == b.rowBlockSize() && a.rowsPerBlock() == b.rowsPerBlock() &&
         a.rowDataSize() == b.rowDataSize() && a.rowSlotSize() == b.rowSlotSize() &&
         a.fieldDefCount() == b.fieldDefCount() && a.fieldCount() == b.fieldCount() &&
         a.recordsPerPage() == b.recordsPerPage();
}

// A table of size bytes at offset, read into a new block; null after a
// report. A size of 0 gives an empty block.
uint8_t* readTable(HANDLE file, uint32_t offset, uint32_t size) {
  uint8_t* block = allocateLocked(size == 0 ? 1 : size);
  if (block == nullptr) {
    reportError(kErrNoMemory, kRefresh, kStepBuffer);
    return nullptr;
  }
  if (size > 0 && !readAt(file, offset, block, size, kRefresh, kStepReadTable, kStepReadTable)) {
    freeLocked(block);
    return nullptr;
  }
  return block;
}

// Replaces *table by the file's copy; offset 0 means the table does not
// exist yet.
bool reloadTable(HANDLE file, uint32_t offset, uint32_t size, uint8_t** table) {
  uint8_t* fresh = nullptr;
  if (offset != 0 && (fresh = readTable(file, offset, size)) == nullptr) return false;
  freeLocked(*table);
  *table = fresh;
  return true;
}

void forgetCaches(AlbumSlot& slot) {
  slot.rowCacheOffset = 0;
  slot.textCacheOffset = 0;
  slot.memoCacheOffset = 0;
}

// A version-3 header whose checksum holds and whose layout fits the file;
// otherwise reported.
bool validHeader(const AlbumSlot& slot, const uint8_t* bytes) {
  const AlbumHeader fresh(const_cast<uint8_t*>(bytes));
  if (hasAlbumMagic(bytes) && fresh.versionMajor() == 3 && fresh.versionMinor() == 0 &&
      checksumHolds(bytes, kHeaderSize) && headerLayoutFits(fresh, fileLength(slot.file)))
    return true;
  reportError(kErrChecksum, kRefresh, kStepHeaderChanged);
  return false;
}

// The header bytes and every table they name, read into fresh blocks and
// then put in the slot all at once (a kept row cache takes the new block
// size). False after a report, the slot unchanged.
bool installFromFile(AlbumSlot& slot, const uint8_t* bytes) {
  const AlbumHeader fresh(const_cast<uint8_t*>(bytes));
  const uint32_t offsets[] = {fresh.fieldDefOffset(), fresh.fieldNameOffset(),
                              fresh.pageDirOffset(), fresh.rowDirOffset(), 0};
  const uint32_t sizes[] = {uint32_t{fresh.fieldDefCount()} * kFieldDefSize, fresh.fieldNameSize(),
                            uint32_t{fresh.pageDirCount()} * 4, uint32_t{fresh.rowDirCount()} * 4,
                            0};
  uint8_t** tables[] = {&slot.fieldDefs, &slot.fieldNames, &slot.pageDir, &slot.rowDir,
                        &slot.rowCache};
  constexpr size_t kTables = sizeof tables / sizeof tables[0];
  constexpr size_t kRowCache = kTables - 1;
  uint8_t* loaded[kTables] = {};
  bool ok = true;
  for (size_t i = 0; i < kRowCache && ok; ++i)
    ok = offsets[i] == 0 || (loaded[i] = readTable(slot.file, offsets[i], sizes[i])) != nullptr;
  if (ok && slot.rowCache != nullptr) {
    loaded[kRowCache] = allocateLocked(fresh.rowBlockSize());
    ok = loaded[kRowCache] != nullptr;
    if (!ok) reportError(kErrNoMemory, kRefresh, kStepBuffer);
  }
  if (!ok) {
    for (uint8_t*& block : loaded) freeLocked(block);
    return false;
  }
  for (size_t i = 0; i < kTables; ++i) {
    if (i == kRowCache && slot.rowCache == nullptr) continue;
    freeLocked(*tables[i]);
    *tables[i] = loaded[i];
  }
  forgetCaches(slot);
  std::memcpy(slot.header, bytes, kHeaderSize);
  return true;
}

}  // namespace

bool sharesWriting(const AlbumSlot& slot) { return (slot.shareMode & plat::kShareWrite) != 0; }

bool syncWithFile(int slotIndex) {
  AlbumSlot& slot = slotAt(slotIndex);
  if (slot.version != kVersion3 || !sharesWriting(slot)) return true;
  uint8_t bytes[kHeaderSize];
  if (!readAt(slot.file, 0, bytes, kHeaderSize, kRefresh, kStepReadHeader, kStepReadHeader))
    return false;
  if (!validHeader(slot, bytes)) return false;
  forgetCaches(slot);
  const AlbumHeader fresh(bytes);
  // A scheme change elsewhere: every table may have moved and changed size.
  if (!sameGeometry(fresh, AlbumHeader(slot.header))) return installFromFile(slot, bytes);
  const uint32_t defsSize = uint32_t{fresh.fieldDefCount()} * kFieldDefSize;
  uint8_t* defs = readTable(slot.file, fresh.fieldDefOffset(), defsSize);
  if (defs == nullptr) return false;
  freeLocked(slot.fieldDefs);
  slot.fieldDefs = defs;
  if (std::memcmp(bytes, slot.header, kHeaderSize) == 0) return true;
  const AlbumHeader old(slot.header);
  if ((fresh.fieldNameOffset() != old.fieldNameOffset() ||
       fresh.fieldNameSize() != old.fieldNameSize()) &&
      !reloadTable(slot.file, fresh.fieldNameOffset(), fresh.fieldNameSize(), &slot.fieldNames))
    return false;
  if (!reloadTable(slot.file, fresh.pageDirOffset(), uint32_t{fresh.pageDirCount()} * 4,
                   &slot.pageDir) ||
      !reloadTable(slot.file, fresh.rowDirOffset(), uint32_t{fresh.rowDirCount()} * 4,
                   &slot.rowDir))
    return false;
  std::memcpy(slot.header, bytes, kHeaderSize);
  return true;
}

bool reloadFromFile(int slotIndex) {
  AlbumSlot& slot = slotAt(slotIndex);
  uint8_t bytes[kHeaderSize];
  return readAt(slot.file, 0, bytes, kHeaderSize, kRefresh, kStepReadHeader, kStepReadHeader) &&
         validHeader(slot, bytes) && installFromFile(slot, bytes);
}

int findSlotForRead(HINSTANCE ownerKey, HANDLE file) {
  const int index = findSlot(ownerKey, file);
  if (index < 0) return kNoOpenSlot;
  return syncWithFile(index) ? index : kSyncFailed;
}

}  // namespace afm3
