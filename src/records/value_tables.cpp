// Value tables of type-7 and type-8 fields (afm3ReadTable,
// afm3UpdateTable) and index attributes in the IndexList
// (afm3AddOemFldDef). A table's bytes are moved without being looked at;
// its FieldDef (bytes 4..13) gives its offset, the capacity of its room
// and the caller's entry count. A table stored anew is followed by 16384
// zero bytes of room to grow in place.
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "core/transaction.h"
#include "core/v2_layout.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"
#include "records/record_read_v2.h"

namespace afm3 {

namespace {

constexpr Location kReadTable{kModRecordWrite, 6};
constexpr Location kUpdateTable{kModRecordWrite, 7};
constexpr Location kAddOem{kModPictureData, 3};

enum ReadTableStep : uint32_t {
  kReadStepLookup = 0,
  kReadStepBuffer = 1,
  kReadStepSeek = 2,
  kReadStepRead = 3,
  kReadV2StepSeek = 4,
  kReadV2StepBuffer = 5,
  kReadV2StepRead = 6,
};

enum UpdateTableStep : uint32_t {
  kUpdStepNotOpen = 0,
  kUpdStepAppend = 1,
  kUpdStepDefSeek = 2,
  kUpdStepDefWrite = 3,
  kUpdStepInPlace = 4,
  kUpdStepBegin = 5,
};

enum AddOemStep : uint32_t {
  kOemStepNotOpen = 0,
  kOemStepBegin = 1,
  kOemStepRefused = 2,
  kOemStepSeek = 3,
  kOemStepRead = 4,
  kOemStepWrite = 5,
};

const uint8_t kGrowthRoom[kTableGrowthRoom] = {};

// The version-2 keyword table: count slots of 32 bytes packed into
// consecutive NUL-terminated strings.
HGLOBAL readKeywordTable(const AlbumSlot& slot, WORD* countOut) {
  LockedBlock header;
  if (!readV2Header(slot.file, &header, kReadTable, kReadV2StepBuffer, kReadV2StepSeek,
                    kReadV2StepRead))
    return nullptr;
  const V2Header v2(header.get());
  const uint32_t size = uint32_t{v2.keywordCount()} * kV2KeywordEntrySize;
  if (countOut != nullptr) *countOut = v2.keywordCount();
  if (size > 0 && !fitsInFile(v2.keywordListOffset(), size, fileLength(slot.file))) {
    reportError(kErrShortRead, kReadTable, kReadV2StepRead);
    return nullptr;
  }
  LockedBlock table(size + 1);
  if (!table) {
    reportError(kErrNoMemory, kReadTable, kReadV2StepBuffer);
    return nullptr;
  }
  if (size > 0) {
    if (!seekTo(slot.file, v2.keywordListOffset(), kReadTable, kReadV2StepSeek, kErrChecksum) ||
        !readExact(slot.file, table.get(), size, kReadTable, kReadV2StepRead))
      return nullptr;
  }
  // Packing never overtakes the slot being read: a string keeps at most
  // 31 characters and its NUL.
  uint8_t* out = table.get();
  for (uint32_t i = 0; i < v2.keywordCount(); ++i) {
    const uint8_t* in = table.get() + i * kV2KeywordEntrySize;
    uint32_t n = 0;
    while (n < kV2KeywordEntrySize - 1 && in[n] != 0) ++n;
    std::memmove(out, in, n);
    out[n] = 0;
    out += n + 1;
  }
  std::memset(out, 0, static_cast<size_t>(table.get() + size + 1 - out));
  return handOverUnlocked(table);
}

HGLOBAL readTable(HINSTANCE ownerKey, HANDLE album, uint32_t field, WORD* countOut) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kReadTable, kReadStepLookup);
    return nullptr;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion2) return readKeywordTable(slot, countOut);
  if (field >= fieldDefCount(slot) || !hasValueTable(fieldAt(slot, field).type)) return nullptr;
  const ValueTable table = valueTableOf(fieldDefBytes(slot, field));
  if (countOut != nullptr) *countOut = table.count;
  if (table.capacity > 0 && !fitsInFile(table.offset, table.capacity, fileLength(slot.file))) {
    reportError(kErrShortRead, kReadTable, kReadStepRead);
    return nullptr;
  }
  LockedBlock block(size_t{table.capacity} + 1);
  if (!block) {
    reportError(kErrNoMemory, kReadTable, kReadStepBuffer);
    return nullptr;
  }
  if (table.capacity > 0 && !readAt(slot.file, table.offset, block.get(), table.capacity,
                                    kReadTable, kReadStepSeek, kReadStepRead))
    return nullptr;
  return handOverUnlocked(block);
}

BOOL updateTable(HINSTANCE ownerKey, HANDLE album, uint32_t field, const void* bytes, uint32_t size,
                 uint32_t count) {
  const int index = findVersion3Slot(ownerKey, album, kUpdateTable);
  if (index < 0) return FALSE;
  if (field >= fieldDefCount(slotAt(index)) || !hasValueTable(fieldAt(slotAt(index), field).type))
    return FALSE;
  if (bytes == nullptr && size > 0) {
    reportError(kErrNone, kUpdateTable, kUpdStepNotOpen);
    return FALSE;
  }
  WriteTransaction transaction(index, kUpdateTable, kUpdStepBegin);
  if (!transaction.ok()) return FALSE;
  AlbumSlot& slot = slotAt(index);
  // The FieldDef is changed aside and takes the slot's place once written.
  uint8_t def[kFieldDefSize];
  std::memcpy(def, fieldDefBytes(slot, field), kFieldDefSize);
  ValueTable table = valueTableOf(def);
  if (table.capacity < size || (size > 0 && table.offset == 0)) {
    const uint32_t at = seekToEnd(slot.file, kUpdateTable, kUpdStepAppend);
    if (at == 0xFFFFFFFFu) return FALSE;
    if (uint64_t{at} + size + kTableGrowthRoom > 0xFFFFFFFFu) {
      reportError(kErrShortWrite, kUpdateTable, kUpdStepAppend);
      return FALSE;
    }
    if ((size > 0 &&
         !writeExact(slot.file, bytes, size, kErrShortWrite, kUpdateTable, kUpdStepAppend)) ||
        !writeExact(slot.file, kGrowthRoom, kTableGrowthRoom, kErrShortWrite, kUpdateTable,
                    kUpdStepAppend))
      return FALSE;
    table.offset = at;
    table.capacity = size + kTableGrowthRoom;
  } else if (size > 0) {
    if (!seekTo(slot.file, table.offset, kUpdateTable, kUpdStepInPlace) ||
        !writeExact(slot.file, bytes, size, kErrShortWrite, kUpdateTable, kUpdStepInPlace))
      return FALSE;
  }
  table.count = static_cast<uint16_t>(count);
  setValueTable(def, table);
  const uint32_t defAt = fieldDefFileOffset(headerOf(slot), field);
  if (!seekTo(slot.file, defAt, kUpdateTable, kUpdStepDefSeek) ||
      !writeExact(slot.file, def, kFieldDefSize, kErrShortWrite, kUpdateTable, kUpdStepDefWrite))
    return FALSE;
  std::memcpy(fieldDefBytes(slot, field), def, kFieldDefSize);
  return TRUE;
}

BOOL addIndexAttribute(HINSTANCE ownerKey, HANDLE album, uint8_t field, uint8_t attribute) {
  const int index = findVersion3Slot(ownerKey, album, kAddOem);
  if (index < 0) return FALSE;
  WriteTransaction transaction(index, kAddOem, kOemStepBegin);
  if (!transaction.ok()) return FALSE;
  AlbumSlot& slot = slotAt(index);
  if (attribute == 0 || field >= fieldDefCount(slot)) {
    reportError(kErrFieldDefinition, kAddOem, kOemStepRefused);
    return FALSE;
  }
  uint8_t header[kHeaderSize];
  std::memcpy(header, slot.header, kHeaderSize);
  AlbumHeader h(header);
  uint32_t count = 0;
  LockedBlock list;
  if (h.indexListOffset() != 0) {
    uint8_t countWord[kIndexListHeader];
    if (!readAt(slot.file, h.indexListOffset(), countWord, sizeof countWord, kAddOem, kOemStepSeek,
                kOemStepRead))
      return FALSE;
    count = afm3GetU16(countWord);
    if (!fitsInFile(uint64_t{h.indexListOffset()} + kIndexListHeader, count * kIndexEntryBytes,
                    fileLength(slot.file))) {
      reportError(kErrShortRead, kAddOem, kOemStepRead);
      return FALSE;
    }
  }
  // Room for one more entry.
  if (!list.allocate(kIndexListHeader + (count + 1) * kIndexEntryBytes)) {
    reportError(kErrNoMemory, kAddOem, kOemStepRead);
    return FALSE;
  }
  uint8_t* entries = list.get() + kIndexListHeader;
  if (count > 0 && !readExact(slot.file, entries, count * kIndexEntryBytes, kAddOem, kOemStepRead))
    return FALSE;
  uint32_t found = count;
  for (uint32_t i = 0; i < count; ++i)
    if (entries[i * kIndexEntryBytes + 1] == field) found = i;
  uint32_t at = h.indexListOffset();
  if (found < count) {
    entries[found * kIndexEntryBytes] = attribute;
  } else {
    if (count >= 0xFFFF) {
      reportError(kErrFieldDefinition, kAddOem, kOemStepRefused);
      return FALSE;
    }
    entries[count * kIndexEntryBytes] = attribute;
    entries[count * kIndexEntryBytes + 1] = field;
    ++count;
    at = seekToEnd(slot.file, kAddOem, kOemStepSeek);
    if (at == 0xFFFFFFFFu) return FALSE;
  }
  afm3PutU16(list.get(), static_cast<uint16_t>(count));
  if (!seekTo(slot.file, at, kAddOem, kOemStepSeek) ||
      !writeExact(slot.file, list.get(), kIndexListHeader + count * kIndexEntryBytes,
                  kErrHeaderWrite, kAddOem, kOemStepWrite))
    return FALSE;
  h.setIndexListOffset(at);
  h.storeChecksum();
  if (!seekTo(slot.file, 0, kAddOem, kOemStepSeek) ||
      !writeExact(slot.file, header, kHeaderSize, kErrHeaderWrite, kAddOem, kOemStepWrite))
    return FALSE;
  std::memcpy(slot.header, header, kHeaderSize);
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" HGLOBAL WINAPI afm3ReadTable(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                        WORD* countOut) {
  ErrorModeGuard errorMode;
  return readTable(ownerKey, album, field, countOut);
}

extern "C" BOOL WINAPI afm3UpdateTable(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                       const void* table, DWORD size, DWORD count) {
  ErrorModeGuard errorMode;
  return updateTable(ownerKey, album, field, table, size, count);
}

extern "C" BOOL WINAPI afm3AddOemFldDef(HINSTANCE ownerKey, HANDLE album, DWORD field,
                                        DWORD attribute, DWORD) {
  ErrorModeGuard errorMode;
  return addIndexAttribute(ownerKey, album, static_cast<uint8_t>(field & 0xFF),
                           static_cast<uint8_t>(attribute & 0xFF));
}
