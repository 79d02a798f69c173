// Updating fields: afm3UpdateRecordField and afm3UpdateRecord. The row
// slot is rewritten in place; a value kept outside the row is rewritten
// in place while the new one fits the old one's room, else appended and
// the old copy abandoned. The writes of one field update, in order:
//   1. the value: in place (one write, the update has then happened for
//      a heap entry; a type-9 string's signature follows with the row), or
//      appended / put in the current heap block's unclaimed tail (unused
//      space until the row points there);
//   2. the header, only when a heap entry moved: claims that space;
//   3. the changed part of the row: the new value becomes the record's.
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "core/transaction.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kUpdateField{kModRecordState, 2};
constexpr Location kUpdateRecord{kModRecordState, 3};

enum UpdateStep : uint32_t {
  kStepNotOpen = 0,
  kStepStringSeek = 6,
  kStepStringDisk = 7,
  kStepStringWrite = 8,
  kStepBlobSeek = 9,
  kStepBlobDisk = 10,
  kStepBlobWrite = 11,
  kStepRowSeek = 23,
  kStepRowWrite = 24,
  kStepHeader = 25,
  kStepBegin = 37,
  kStepNotValid = 38,
};
constexpr RowSteps kUpdateRow{kUpdateField, 1, 2, 3, 4, 5};

struct UpdateHeapSteps {
  HeapSteps read;  // the old entry, always from the file
  uint32_t inPlaceSeek, inPlaceWrite;
  uint32_t blockDisk, blockBuffer, blockWrite;
  uint32_t currentSeek, currentWrite;
};
constexpr UpdateHeapSteps kTextSteps{
    {kUpdateField, 12, 13, 14, 15, 12, 13, 14, 15}, 16, 17, 18, 19, 20, 21, 22};
constexpr UpdateHeapSteps kMemoSteps{
    {kUpdateField, 26, 27, 28, 29, 26, 27, 28, 29}, 30, 31, 32, 33, 34, 35, 36};

bool writeAt(HANDLE file, uint64_t offset, const void* bytes, uint32_t size, uint32_t seekStep,
             uint32_t writeStep, uint32_t seekError = kErrSeek) {
  if (offset > 0xFFFFFFFFu) {
    reportError(seekError, kUpdateField, seekStep);
    return false;
  }
  return seekTo(file, static_cast<uint32_t>(offset), kUpdateField, seekStep, seekError) &&
         writeExact(file, bytes, size, kErrShortWrite, kUpdateField, writeStep);
}

// The part of the row an update changed, written back at the slot.
struct RowChange {
  uint32_t from = 0;
  uint32_t size = 0;
  bool headerChanged = false;
};

// A row fetched through the cache changes the cached block with it; when
// the update fails before the row is back in the file, the cache must not
// keep the change.
class CachedRowGuard {
 public:
  CachedRowGuard(AlbumSlot& slot, const RowFetch& row) : slot_(slot), row_(row) {}
  ~CachedRowGuard() {
    if (!done_ && row_.cached()) forgetCachedRowBlock(slot_, row_.place().block);
  }
  void done() { done_ = true; }

 private:
  AlbumSlot& slot_;
  const RowFetch& row_;
  bool done_ = false;
};

// Whether a value's room, as the row and the file describe it, lies in
// the file after the header: only then is it rewritten in place.
bool holdsRoom(const AlbumSlot& slot, uint32_t offset, uint64_t size) {
  return offset >= kHeaderSize && fitsInFile(offset, size, fileLength(slot.file));
}

bool updateString(AlbumSlot& slot, uint8_t* value, const char* text) {
  const size_t chars = std::strlen(text);
  if (chars > kMaxStringValueChars) {
    reportError(kErrTextTooLong, kUpdateField, kStepStringWrite);
    return false;
  }
  const auto length = static_cast<uint32_t>(chars) + 1;
  uint32_t at = stringValueOffset(value);
  const uint32_t room = stringValueLength(value);
  if (length <= room && holdsRoom(slot, at, room)) {
    if (!writeAt(slot.file, at, text, length, kStepStringSeek, kStepStringWrite)) return false;
  } else {
    if (!diskSpaceFor(slot, length, kUpdateField, kStepStringDisk)) return false;
    at = seekToEnd(slot.file, kUpdateField, kStepStringSeek);
    if (at == 0xFFFFFFFFu ||
        !writeExact(slot.file, text, length, kErrShortWrite, kUpdateField, kStepStringWrite))
      return false;
  }
  if (!encodeStringValue(value, text, length - 1, at)) {
    reportError(kErrNoMemory, kUpdateField, kStepStringWrite);
    return false;
  }
  return true;
}

bool updateBlob(AlbumSlot& slot, uint8_t* value, const uint8_t* blob) {
  const uint32_t length = afm3GetU32(blob);
  const uint64_t size = uint64_t{length} + 4;
  uint32_t at = blobValueOffset(value);
  bool inPlace = false;
  if (at != 0) {
    uint8_t oldLength[4];
    if (!readAt(slot.file, at, oldLength, sizeof oldLength, kUpdateField, kStepBlobSeek,
                kStepBlobSeek))
      return false;
    inPlace = length <= afm3GetU32(oldLength) && holdsRoom(slot, at, uint64_t{length} + 4);
    if (!inPlace && !diskSpaceFor(slot, size, kUpdateField, kStepBlobDisk)) return false;
  }
  if (!inPlace) {
    at = seekToEnd(slot.file, kUpdateField, kStepBlobSeek);
    if (at == 0xFFFFFFFFu) return false;
    if (uint64_t{at} + size > 0xFFFFFFFFu) {
      reportError(kErrNoDiskSpace, kUpdateField, kStepBlobDisk);
      return false;
    }
  }
  if (!writeAt(slot.file, at, blob, static_cast<uint32_t>(size), kStepBlobSeek, kStepBlobWrite))
    return false;
  setBlobValueOffset(value, at);
  return true;
}

// The record's entry with the field's string replaced: the strings
// before it, the new string and its NUL, the strings after it. A record
// without an entry starts from one empty string per field of the heap.
struct NewEntry {
  LockedBlock bytes;  // {u16 L', L' bytes}
  uint32_t length = 0;
  bool grows = false;  // the new string is longer than the old one
};

bool buildEntry(const AlbumSlot& slot, const FieldInfo& f, const HeapEntryFetch& old,
                const char* text, const UpdateHeapSteps& steps, NewEntry* out) {
  const auto chars = static_cast<uint32_t>(std::strlen(text));
  uint32_t before = 0, after = 0, oldChars = 0;
  const uint8_t* rest = nullptr;
  if (old.present()) {
    const EntryString s = old.string(f.placement);
    if (!s.found) {
      reportError(kErrShortRead, kUpdateField, steps.read.bytes);
      return false;
    }
    before = s.start;
    oldChars = s.length;
    rest = old.bytes() + s.end;
    after = old.length() - s.end;
  } else {
    const uint32_t fields = heapFieldCount(slot, f.heap());
    if (f.placement >= fields) {
      reportError(kErrShortRead, kUpdateField, steps.read.bytes);
      return false;
    }
    before = f.placement;
    after = fields - f.placement - 1;
  }
  const uint64_t length = uint64_t{before} + chars + 1 + after;
  if (length > kMaxHeapEntry) {
    reportError(kErrTextTooLong, kUpdateField, steps.read.buffer);
    return false;
  }
  out->length = static_cast<uint32_t>(length);
  out->grows = !old.present() || chars > oldChars;
  if (!out->bytes.allocate(out->length + 2)) {
    reportError(kErrNoMemory, kUpdateField, steps.read.buffer);
    return false;
  }
  uint8_t* p = out->bytes.get();
  afm3PutU16(p, static_cast<uint16_t>(out->length));
  p += 2;
  if (old.present() && before > 0) std::memcpy(p, old.bytes(), before);  // zeros otherwise
  p += before;
  std::memcpy(p, text, chars + 1);
  p += chars + 1;
  if (rest != nullptr && after > 0) std::memcpy(p, rest, after);
  return true;
}

// Type 11 or 12. change->size stays 0 when the row keeps its entry.
bool updateHeapValue(AlbumSlot& slot, const FieldInfo& f, uint8_t* row, const char* text,
                     RowChange* change) {
  const Heap heap = f.heap();
  const UpdateHeapSteps& steps = heap == Heap::Text ? kTextSteps : kMemoSteps;
  const HeapRef ref = rowHeapRef(row, heap);
  forgetCachedHeapBlock(slot, heap, ref.block);
  HeapEntryFetch old;
  if (!old.fetch(slot, heap, ref, false, steps.read)) return false;
  if (!old.present() && text[0] == '\0') return true;  // already empty
  NewEntry entry;
  if (!buildEntry(slot, f, old, text, steps, &entry)) return false;
  const uint32_t size = entry.length + 2;
  if (!entry.grows) {
    return writeAt(slot.file, ref.position(), entry.bytes.get(), size, steps.inPlaceSeek,
                   steps.inPlaceWrite);
  }
  AlbumHeader header(slot.header);
  const HeapPlacement placement =
      placeHeapEntry(heapState(header, heap), entry.length, fileLength(slot.file));
  if (placement.newBlock) {
    if (!diskSpaceFor(slot, placement.blockSize, kUpdateField, steps.blockDisk)) return false;
    LockedBlock block(placement.blockSize);
    if (!block) {
      reportError(kErrNoMemory, kUpdateField, steps.blockBuffer);
      return false;
    }
    buildHeapBlock(block.get(), placement.blockSize, entry.bytes.get() + 2, entry.length);
    if (!writeAt(slot.file, placement.ref.block, block.get(), placement.blockSize, steps.blockWrite,
                 steps.blockWrite))
      return false;
  } else {
    forgetCachedHeapBlock(slot, heap, placement.ref.block);
    if (!writeAt(slot.file, placement.ref.position(), entry.bytes.get(), size, steps.currentSeek,
                 steps.currentWrite))
      return false;
  }
  setHeapState(header, heap, placement.after);
  setRowHeapRef(row, heap, placement.ref);
  *change = {rowHeapRefAt(heap), kRowHeapRefSize, true};
  return true;
}

BOOL updateField(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint32_t field,
                 const void* value) {
  const int index = findVersion3Slot(ownerKey, album, kUpdateField);
  if (index < 0) return FALSE;
  if (field >= fieldDefCount(slotAt(index))) return FALSE;
  WriteTransaction transaction(index, kUpdateField, kStepBegin);
  if (!transaction.ok()) return FALSE;
  if (sharesWriting(slotAt(index))) {
    if (afm3IsValidRecord(ownerKey, album, record) == 0) {
      reportError(kErrInvalidRecord, kUpdateField, kStepNotValid);
      return FALSE;
    }
  }
  AlbumSlot& slot = slotAt(index);
  const FieldInfo f = fieldAt(slot, field);
  RowFetch row;
  if (!row.fetch(slot, record, kUpdateRow)) return FALSE;
  if (!row.present()) {
    // Inserted without values: there is no row to hold a value.
    reportError(kErrInvalidRecord, kUpdateField, kStepNotValid);
    return FALSE;
  }
  CachedRowGuard guard(slot, row);
  uint8_t* bytes = row.bytes();
  RowChange change{f.placement, f.rowWidth(), false};
  bool ok = true;
  switch (f.type) {
    case kTypeSignedString:
      ok = updateString(slot, bytes + f.placement, static_cast<const char*>(value));
      break;
    case kTypeBlob:
      ok = updateBlob(slot, bytes + f.placement, static_cast<const uint8_t*>(value));
      break;
    case kTypeText:
    case kTypeMemo:
      change = {};
      ok = updateHeapValue(slot, f, bytes, static_cast<const char*>(value), &change);
      break;
    default:
      std::memcpy(bytes + f.placement, value, f.rowWidth());
      break;
  }
  if (!ok) return FALSE;
  // A moved heap entry is claimed in the header before the row points to
  // it; a stop in between leaves the entry as unused space.
  if (change.headerChanged) {
    AlbumHeader(slot.header).storeChecksum();
    if (!writeAt(slot.file, 0, slot.header, kHeaderSize, kStepHeader, kStepHeader)) return FALSE;
  }
  if (change.size > 0 &&
      !writeAt(slot.file, uint64_t{row.place().offset} + change.from, bytes + change.from,
               change.size, kStepRowSeek, kStepRowWrite, kErrChecksum))
    return FALSE;
  guard.done();
  return TRUE;
}

BOOL updateRecord(HINSTANCE ownerKey, HANDLE album, uint32_t record, const void* const* values) {
  const int index = findVersion3Slot(ownerKey, album, kUpdateRecord);
  if (index < 0) return FALSE;
  if (values == nullptr) return TRUE;
  const uint32_t count = fieldDefCount(slotAt(index));
  uint32_t cursor = 0;
  for (uint32_t j = 0; j < count; ++j) {
    if (fieldAt(slotAt(index), j).removed) continue;
    // A commit at the end of each field's update may give the album a new
    // handle; the slot keeps the current one.
    if (!afm3UpdateRecordField(ownerKey, slotAt(index).file, record, j, values[cursor++]))
      return FALSE;
  }
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" BOOL WINAPI afm3UpdateRecordField(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                             DWORD field, const void* value) {
  if (value == nullptr) return TRUE;
  ErrorModeGuard errorMode;
  return updateField(ownerKey, album, record, field, value);
}

extern "C" BOOL WINAPI afm3UpdateRecord(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                        const void* const* values) {
  ErrorModeGuard errorMode;
  return updateRecord(ownerKey, album, record, values);
}
