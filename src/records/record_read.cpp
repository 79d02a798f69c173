// Reading records and fields: afm3ReadRecord, afm3ReadRecordField,
// afm3ReadRecordFieldEx and afm3ReadFieldBlock. Reads begin no update;
// they position and read the file (or the album's caches) only.
#include <algorithm>
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"
#include "records/record_read_v2.h"

namespace afm3 {

namespace {

constexpr Location kReadRecord{kModRecordRead, 1};
constexpr Location kReadFieldEx{kModRecordRead, 2};
constexpr Location kReadField{kModRecordRead, 3};
constexpr Location kReadBlock{kModRecordRead, 4};

constexpr uint32_t kStepLookup = 0;

// afm3ReadRecord
constexpr uint32_t kRecordStepBuffer = 1;
constexpr uint32_t kRecordStepPointers = 2;
constexpr RowSteps kRecordRow{kReadRecord, kRecordStepBuffer, 3, 4, 5, 6};
constexpr HeapSteps kRecordText{kReadRecord, 7, 8, 9, 10, 11, 12, 13, 14};
constexpr HeapSteps kRecordMemo{kReadRecord, 16, 17, 18, 19, 20, 21, 22, 23};
// Growing the record buffer for the text or memo part, without and with caching.
constexpr uint32_t kRecordGrowText[2] = {9, 15};
constexpr uint32_t kRecordGrowMemo[2] = {18, 24};
constexpr uint32_t kRecordSpare = 2048;

// afm3ReadRecordField
constexpr RowSteps kFieldRow{kReadField, 0, 1, 2, 3, 4};
constexpr HeapSteps kFieldText{kReadField, 5, 6, 7, 8, 9, 10, 11, 12};
constexpr HeapSteps kFieldMemo{kReadField, 13, 14, 15, 16, 17, 18, 19, 20};

// afm3ReadRecordFieldEx
constexpr RowSteps kFieldExRow{kReadFieldEx, 0, 1, 2, 3, 4};
enum FieldExStep : uint32_t {
  kExStepStringSeek = 5,
  kExStepStringRead = 6,
  kExStepBlobSeek = 7,
  kExStepBlobLength = 8,
  kExStepBlobBlock = 9,
  kExStepBlobRead = 10,
  kExStepStringBlock = 11,
};

// afm3ReadFieldBlock (always through the caches)
enum BlockStep : uint32_t {
  kBlockStepOffsets = 0,
  kBlockStepBlock = 1,
  kBlockStepRows = 2,
};
constexpr RowSteps kBlockRow{kReadBlock, 3, 3, 4, 3, 4};
constexpr HeapSteps kBlockText{kReadBlock, 5, 6, 7, 8, 5, 6, 7, 8};
constexpr HeapSteps kBlockMemo{kReadBlock, 9, 10, 11, 10, 9, 10, 11, 10};
constexpr uint32_t kMaxFieldBlock = 65535;
constexpr uint32_t kPointerSize = sizeof(uint8_t*);
constexpr uint64_t kMaxPointerArray = 0x7FFFFFFF;

const HeapSteps& heapSteps(const HeapSteps (&steps)[2], Heap heap) {
  return steps[heap == Heap::Text ? 0 : 1];
}

void storePointer(uint8_t* at, const uint8_t* pointer) { std::memcpy(at, &pointer, kPointerSize); }

// Looks the album up for a read (version 3 or 2); -1 after a report.
int findReadableSlot(HINSTANCE ownerKey, HANDLE album, Location where) {
  const int index = findSlotForRead(ownerKey, album);
  if (index == kSyncFailed) return -1;
  if (index < 0 || (slotAt(index).version != kVersion3 && slotAt(index).version != kVersion2)) {
    reportError(kErrNotOpenAlbum, where, kStepLookup);
    return -1;
  }
  return index;
}

// Bytes a heap part takes in a record buffer: the entry, with a NUL added
// when a damaged entry does not end with one; one NUL per field without
// an entry.
uint32_t partSize(const HeapEntryFetch& e, uint32_t fields) {
  if (!e.present()) return fields;
  const bool terminated = e.length() > 0 && e.bytes()[e.length() - 1] == 0;
  return e.length() + (terminated ? 0 : 1);
}

void writePart(uint8_t* at, const HeapEntryFetch& e, uint32_t size) {
  if (e.present() && e.length() > 0) std::memcpy(at, e.bytes(), e.length());
  std::memset(at + (e.present() ? e.length() : 0), 0, size - (e.present() ? e.length() : 0));
}

// Makes block at least size bytes (its contents are not kept).
bool ensureSize(LockedBlock& block, size_t size, Location where, uint32_t step) {
  if (lockedSize(block.get()) >= size) return true;
  if (block.allocate(size)) return true;
  reportError(kErrNoMemory, where, step);
  return false;
}

int readRecord(AlbumSlot& slot, uint32_t record, uint8_t** recordOut, uint8_t*** valuesOut) {
  const AlbumHeader header = headerOf(slot);
  if (!isReadableRecord(header, record)) return 0;
  const uint32_t defs = fieldDefCount(slot);
  LockedBlock buffer(header.rowSlotSize() + kRecordSpare);
  if (!buffer) {
    reportError(kErrNoMemory, kReadRecord, kRecordStepBuffer);
    return 0;
  }
  LockedBlock pointers(size_t{defs} * kPointerSize);
  if (!pointers) {
    reportError(kErrNoMemory, kReadRecord, kRecordStepPointers);
    return 0;
  }
  RowFetch row;
  if (!row.fetch(slot, record, kRecordRow)) return 0;
  const int life = recordLife(slot, record, row, kRecordRow);
  if (life <= 0) return life;
  const bool cached = cachingOn(slot);
  HeapEntryFetch text, memo;
  if (!text.fetch(slot, Heap::Text, rowHeapRef(row.bytes(), Heap::Text), cached, kRecordText))
    return 0;
  const uint32_t textAt = header.rowDataSize();
  const uint32_t textSize = partSize(text, heapFieldCount(slot, Heap::Text));
  // One spare NUL at the end serves strings a damaged entry lacks.
  if (!ensureSize(buffer, size_t{textAt} + textSize + 1, kReadRecord, kRecordGrowText[cached]))
    return 0;
  if (!memo.fetch(slot, Heap::Memo, rowHeapRef(row.bytes(), Heap::Memo), cached, kRecordMemo))
    return 0;
  const uint32_t memoAt = textAt + textSize;
  const uint32_t memoSize = partSize(memo, heapFieldCount(slot, Heap::Memo));
  if (!ensureSize(buffer, size_t{memoAt} + memoSize + 1, kReadRecord, kRecordGrowMemo[cached]))
    return 0;
  std::memcpy(buffer.get(), row.bytes(), header.rowDataSize());
  writePart(buffer.get() + textAt, text, textSize);
  writePart(buffer.get() + memoAt, memo, memoSize);
  uint8_t* const spareNul = buffer.get() + memoAt + memoSize;
  *spareNul = 0;

  for (uint32_t j = 0; j < defs; ++j) {
    const FieldInfo f = fieldAt(slot, j);
    const uint8_t* value = buffer.get() + f.placement;
    if (f.isHeap()) {
      const bool isText = f.heap() == Heap::Text;
      const uint8_t* part = buffer.get() + (isText ? textAt : memoAt);
      const EntryString s = entryString(part, isText ? textSize : memoSize, f.placement);
      value = s.found ? part + s.start : spareNul;
    }
    storePointer(pointers.get() + j * kPointerSize, value);
  }
  *recordOut = handOverLocked(buffer);
  *valuesOut = reinterpret_cast<uint8_t**>(handOverLocked(pointers));
  return 1;
}

// A field number the scheme has (removed fields included).
bool knownField(const AlbumSlot& slot, uint32_t field) { return field < fieldDefCount(slot); }

int readRecordField(AlbumSlot& slot, uint32_t record, uint32_t field, void* buffer) {
  if (!knownField(slot, field) || !isReadableRecord(headerOf(slot), record)) return 0;
  const FieldInfo f = fieldAt(slot, field);
  if (f.type == kTypeBlob) return 0;
  RowFetch row;
  if (!row.fetch(slot, record, kFieldRow)) return 0;
  const int life = recordLife(slot, record, row, kFieldRow);
  if (life <= 0) return life;
  auto* out = static_cast<char*>(buffer);
  if (!f.isHeap()) {
    std::memcpy(out, row.bytes() + f.placement, f.readWidth());
    return 1;
  }
  const HeapSteps steps[2] = {kFieldText, kFieldMemo};
  HeapEntryFetch entry;
  if (!entry.fetch(slot, f.heap(), rowHeapRef(row.bytes(), f.heap()), cachingOn(slot),
                   heapSteps(steps, f.heap())))
    return 0;
  copyEntryString(entry.bytes(), entry.string(f.placement), readCap(f.heap()), out);
  return 1;
}

int readRecordFieldEx(AlbumSlot& slot, uint32_t record, uint32_t field, HGLOBAL* out) {
  if (!knownField(slot, field) || !isReadableRecord(headerOf(slot), record)) return 0;
  const FieldInfo f = fieldAt(slot, field);
  if (f.type != kTypeSignedString && f.type != kTypeBlob) return 0;
  RowFetch row;
  if (!row.fetch(slot, record, kFieldExRow)) return 0;
  const int life = recordLife(slot, record, row, kFieldExRow);
  if (life <= 0) return life;
  const uint8_t* value = row.bytes() + f.placement;
  const uint32_t fileSize = fileLength(slot.file);
  LockedBlock block;
  if (f.type == kTypeSignedString) {
    const uint32_t offset = stringValueOffset(value);
    const uint32_t length = stringValueLength(value);
    if (length > 0 && !fitsInFile(offset, length, fileSize)) {
      reportError(kErrShortRead, kReadFieldEx, kExStepStringRead);
      return 0;
    }
    if (!block.allocate(std::max<uint32_t>(length, 1))) {
      reportError(kErrNoMemory, kReadFieldEx, kExStepStringBlock);
      return 0;
    }
    if (length > 0 && !readAt(slot.file, offset, block.get(), length, kReadFieldEx,
                              kExStepStringSeek, kExStepStringRead))
      return 0;
  } else {
    const uint32_t offset = blobValueOffset(value);
    uint32_t length = 0;
    if (offset != 0) {
      uint8_t lengthWord[4];
      if (!seekTo(slot.file, offset, kReadFieldEx, kExStepBlobSeek, kErrChecksum) ||
          !readExact(slot.file, lengthWord, sizeof lengthWord, kReadFieldEx, kExStepBlobLength))
        return 0;
      length = afm3GetU32(lengthWord);
      if (!fitsInFile(uint64_t{offset} + 4, length, fileSize)) {
        reportError(kErrShortRead, kReadFieldEx, kExStepBlobRead);
        return 0;
      }
    }
    if (!block.allocate(size_t{length} + 4)) {
      reportError(kErrNoMemory, kReadFieldEx, kExStepBlobBlock);
      return 0;
    }
    afm3PutU32(block.get(), length);
    if (length > 0 && !readExact(slot.file, block.get() + 4, length, kReadFieldEx, kExStepBlobRead))
      return 0;
  }
  *out = handOverUnlocked(block);
  return 1;
}

// The selected fields of a field-block read, each with its description
// and its place in a row's fixed area, taken once for the whole call.
struct SelectedField {
  FieldInfo info;
  uint32_t place;
};

struct Selection {
  const uint8_t* fields = nullptr;
  uint32_t count = 0;
  LockedBlock at;      // count SelectedFields
  uint32_t fixed = 0;  // W
  uint32_t worst = 0;  // H: W plus room for every selected string
  SelectedField* field() const { return reinterpret_cast<SelectedField*>(at.get()); }
};

uint32_t blockWidth(const FieldInfo& f) { return f.isHeap() ? kPointerSize : f.readWidth(); }

// False (nothing reported) when a selected field cannot be read this way.
bool select(const AlbumSlot& slot, Selection* s) {
  uint64_t fixed = 0, texts = 0, memos = 0;
  for (uint32_t i = 0; i < s->count; ++i) {
    if (!knownField(slot, s->fields[i])) return false;
    const FieldInfo f = fieldAt(slot, s->fields[i]);
    if (f.type == kTypeBlob) return false;
    s->field()[i] = {f, static_cast<uint32_t>(std::min<uint64_t>(fixed, kMaxFieldBlock))};
    fixed += blockWidth(f);
    if (f.isHeap()) ++(f.heap() == Heap::Text ? texts : memos);
  }
  const uint64_t worst = fixed + (kTextReadChars + 1) * texts + (kMemoReadChars + 1) * memos;
  // A row that cannot fit the largest block is refused by the size check.
  s->fixed = static_cast<uint32_t>(std::min<uint64_t>(fixed, kMaxFieldBlock + 1));
  s->worst = static_cast<uint32_t>(std::min<uint64_t>(worst, kMaxFieldBlock + 1));
  return true;
}

// Copies one record's selected values to row; returns the bytes used, 0
// after a report.
uint32_t fillRow(AlbumSlot& slot, const Selection& s, const uint8_t* source, uint8_t* row) {
  HeapEntryFetch entries[2];
  bool fetched[2] = {false, false};
  EntryScan scans[2];  // fields usually come in their strings' order
  const HeapSteps steps[2] = {kBlockText, kBlockMemo};
  uint32_t used = s.fixed;
  for (uint32_t i = 0; i < s.count; ++i) {
    const auto& [f, place] = s.field()[i];
    if (!f.isHeap()) {
      std::memcpy(row + place, source + f.placement, f.readWidth());
      continue;
    }
    const int h = f.heap() == Heap::Text ? 0 : 1;
    if (!fetched[h]) {
      if (!entries[h].fetch(slot, f.heap(), rowHeapRef(source, f.heap()), true, steps[h])) return 0;
      fetched[h] = true;
    }
    char* copy = reinterpret_cast<char*>(row + used);
    const EntryString found =
        entryString(entries[h].bytes(), entries[h].length(), f.placement, &scans[h]);
    const uint32_t chars = copyEntryString(entries[h].bytes(), found, readCap(f.heap()), copy);
    storePointer(row + place, row + used);
    used += chars + 1;
  }
  return used;
}

uint32_t readFieldBlock(HINSTANCE ownerKey, HANDLE album, uint32_t n, uint32_t m,
                        const DWORD* records, uint32_t first, const uint8_t* fields,
                        uint8_t** blockOut, uint8_t*** rowsOut) {
  CachingForCall caching(ownerKey, album);
  if (!caching.ok()) return 0;
  AlbumSlot& slot = slotAt(findSlot(ownerKey, album));
  Selection s;
  s.fields = fields;
  s.count = m;
  if (!s.at.allocate(size_t{m} * sizeof(SelectedField))) {
    reportError(kErrNoMemory, kReadBlock, kBlockStepOffsets);
    return 0;
  }
  if (!select(slot, &s)) return 0;
  uint32_t size = static_cast<uint32_t>(std::min<uint64_t>(uint64_t{n} * s.worst, kMaxFieldBlock));
  if (size < s.worst) {
    reportError(kErrNoMemory, kReadBlock, kBlockStepBlock);
    return 0;
  }
  LockedBlock block;
  while (!block.allocate(size)) {
    size /= 2;
    if (size < s.worst) {
      reportError(kErrNoMemory, kReadBlock, kBlockStepBlock);
      return 0;
    }
  }
  LockedBlock rows;
  if (uint64_t{n} * kPointerSize > kMaxPointerArray || !rows.allocate(size_t{n} * kPointerSize)) {
    reportError(kErrNoMemory, kReadBlock, kBlockStepRows);
    return 0;
  }
  const AlbumHeader header = headerOf(slot);
  const RowDirectory rowDir = rowDirectoryOf(slot);
  uint32_t position = 0;
  uint32_t done = n;
  for (uint32_t j = 0; j < n; ++j) {
    const uint32_t record = records != nullptr ? records[j] : first + j;
    if (record != kNoRecord && isReadableRecord(header, record)) {
      RowFetch row;
      if (!row.fetchAt(slot, rowPlace(header, rowDir, record), kBlockRow)) return 0;
      const int life = recordLife(slot, record, row, kBlockRow);
      if (life == 0) return 0;
      if (life > 0) {
        uint8_t* start = block.get() + position;
        const uint32_t used = fillRow(slot, s, row.bytes(), start);
        if (used == 0) return 0;
        storePointer(rows.get() + size_t{j} * kPointerSize, start);
        position += used;
      }
    }
    if (size - position < s.worst) {
      done = j + 1;
      break;
    }
  }
  *blockOut = handOverLocked(block);
  *rowsOut = reinterpret_cast<uint8_t**>(handOverLocked(rows));
  return done;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" int WINAPI afm3ReadRecord(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                     BYTE** recordOut, BYTE*** valuesOut) {
  ErrorModeGuard errorMode;
  const int index = findReadableSlot(ownerKey, album, kReadRecord);
  if (index < 0) return 0;
  if (recordOut == nullptr || valuesOut == nullptr) {
    reportError(kErrNone, kReadRecord, kStepLookup);
    return 0;
  }
  AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion2) return readRecordV2(slot, record, recordOut, valuesOut);
  return readRecord(slot, record, recordOut, valuesOut);
}

extern "C" int WINAPI afm3ReadRecordField(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                          DWORD field, void* buffer) {
  ErrorModeGuard errorMode;
  const int index = findReadableSlot(ownerKey, album, kReadField);
  if (index < 0) return 0;
  if (buffer == nullptr) {
    reportError(kErrNone, kReadField, kStepLookup);
    return 0;
  }
  AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion2) return readRecordFieldV2(slot, record, field, buffer);
  return readRecordField(slot, record, field, buffer);
}

extern "C" int WINAPI afm3ReadRecordFieldEx(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                            DWORD field, HGLOBAL* out) {
  ErrorModeGuard errorMode;
  const int index = findReadableSlot(ownerKey, album, kReadFieldEx);
  if (index < 0) return 0;
  if (out == nullptr) {
    reportError(kErrNone, kReadFieldEx, kStepLookup);
    return 0;
  }
  *out = nullptr;
  AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion2) return readRecordFieldExV2(slot, record, field, out);
  return readRecordFieldEx(slot, record, field, out);
}

extern "C" DWORD WINAPI afm3ReadFieldBlock(HINSTANCE ownerKey, HANDLE album, DWORD n, DWORD m,
                                           const DWORD* records, DWORD first, const BYTE* fields,
                                           BYTE** blockOut, BYTE*** rowsOut) {
  if (n == 0 || m == 0) return 0;
  ErrorModeGuard errorMode;
  const int index = findReadableSlot(ownerKey, album, kReadBlock);
  if (index < 0) return 0;
  if (fields == nullptr || blockOut == nullptr || rowsOut == nullptr) {
    reportError(kErrNone, kReadBlock, kStepLookup);
    return 0;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion2)
    return readFieldBlockV2(slot, n, m, records, first, fields, blockOut, rowsOut);
  return readFieldBlock(ownerKey, album, n, m, records, first, fields, blockOut, rowsOut);
}
