// Version-2 albums are read in a reduced form. Record r lives in page
// r / 64 of the V2PageTable at index r mod 64: its 288-byte entry, its
// 128-byte name and its 64-byte keyword index set, each in its own array
// of the 30720-byte page.
#include "records/record_read_v2.h"

#include <algorithm>
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/v2_layout.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kReadRecord{kModRecordRead, 1};
constexpr Location kReadFieldEx{kModRecordRead, 2};
constexpr Location kReadField{kModRecordRead, 3};
constexpr Location kReadBlock{kModRecordRead, 4};

// Positioning failures in a version-2 album report 6425.
constexpr uint32_t kV2SeekError = kErrChecksum;
constexpr uint32_t kSummaryAt = 64;  // the 12 entry bytes a record read hands out
constexpr uint32_t kSummarySize = 12;
constexpr uint32_t kNameChars = kV2NameSize - 1;
constexpr uint32_t kDescriptionMax = 255;
constexpr uint32_t kPointerSize = sizeof(uint8_t*);

struct V2Steps {
  Location where;
  uint32_t alloc, entrySeek, entryRead, deleted;
  uint32_t nameSeek, nameRead, blockSeek, blockRead, textSeek, textRead;
};
constexpr uint32_t kRecordStepBuffer = 1;
constexpr uint32_t kRecordStepPointers = 2;
constexpr V2Steps kRecordSteps{kReadRecord, kRecordStepBuffer, 25, 26, 27, 28, 29, 30, 31, 0, 0};
constexpr V2Steps kFieldSteps{kReadField, 0, 21, 22, 23, 24, 25, 26, 27, 28, 29};
constexpr V2Steps kFieldExSteps{kReadFieldEx, 11, 12, 13, 14, 0, 0, 0, 0, 15, 16};
constexpr V2Steps kBlockSteps{kReadBlock, 13, 14, 15, 0, 16, 17, 18, 19, 0, 0};

enum class V2State { Failed, Missing, Live, Deleted };

// Reads record r's entry; reports a deleted entry when the operation
// counts it as a failure (a deleted step is given).
V2State readV2Entry(const AlbumSlot& slot, const LockedBlock& header, uint32_t record,
                    const V2Steps& steps, uint8_t* entry, V2RecordPlace* place) {
  *place = v2RecordPlace(V2Header(header.get()), record);
  if (place->entry == 0) return V2State::Missing;
  if (!seekTo(slot.file, place->entry, steps.where, steps.entrySeek, kV2SeekError) ||
      !readExact(slot.file, entry, kV2EntrySize, steps.where, steps.entryRead))
    return V2State::Failed;
  if (afm3GetU16(entry + kV2EntryNumber) != kNoRecord) return V2State::Live;
  if (steps.deleted != 0) reportError(kErrChecksum, steps.where, steps.deleted);
  return V2State::Deleted;
}

// The header, then record r's entry, for a single-record read.
V2State readSingleEntry(const AlbumSlot& slot, uint32_t record, const V2Steps& steps,
                        uint8_t* entry, V2RecordPlace* place) {
  LockedBlock header;
  if (!readV2Header(slot.file, &header, steps.where, steps.alloc, steps.entrySeek, steps.entryRead))
    return V2State::Failed;
  return readV2Entry(slot, header, record, steps, entry, place);
}

// Result of a single-record read for an entry that is not live.
int notLive(V2State state, const V2Steps& steps) {
  if (state == V2State::Deleted) return -1;
  if (state == V2State::Missing) reportError(kErrChecksum, steps.where, steps.entrySeek);
  return 0;
}

bool readPart(const AlbumSlot& slot, uint32_t offset, uint8_t* out, uint32_t size, Location where,
              uint32_t seekStep, uint32_t readStep) {
  return seekTo(slot.file, offset, where, seekStep, kV2SeekError) &&
         readExact(slot.file, out, size, where, readStep);
}

// The name, NUL-terminated within its 128 bytes.
bool readName(const AlbumSlot& slot, const V2RecordPlace& place, uint8_t* name,
              const V2Steps& steps) {
  if (!readPart(slot, place.name, name, kV2NameSize, steps.where, steps.nameSeek, steps.nameRead))
    return false;
  name[kNameChars] = 0;
  return true;
}

// The description string: u32 offset at entry 100, u16 length at 104;
// at most limit bytes; out receives them and a NUL.
bool readDescription(const AlbumSlot& slot, const uint8_t* entry, uint8_t* out, uint32_t limit,
                     const V2Steps& steps) {
  const uint32_t offset = afm3GetU32(entry + kV2EntryTextOffset);
  const uint32_t length = std::min<uint32_t>(afm3GetU16(entry + kV2EntryTextLength), limit);
  out[0] = 0;
  if (length == 0) return true;
  if (!fitsInFile(offset, length, fileLength(slot.file))) {
    reportError(kErrShortRead, steps.where, steps.textRead);
    return false;
  }
  if (!readPart(slot, offset, out, length, steps.where, steps.textSeek, steps.textRead))
    return false;
  out[length] = 0;
  return true;
}

void storePointer(uint8_t* at, const uint8_t* pointer) { std::memcpy(at, &pointer, kPointerSize); }

uint32_t codeWidth(uint8_t code) {
  switch (code) {
    case 0:
      return kPointerSize + kV2NameSize;
    case 1:
      return kV2KeywordSetSize;
    case 2:
      return kSummarySize;
    default:
      return 0;
  }
}

}  // namespace

bool readV2Header(HANDLE file, LockedBlock* header, Location where, uint32_t allocStep,
                  uint32_t seekStep, uint32_t readStep) {
  if (!header->allocate(kV2HeaderSize)) {
    reportError(kErrNoMemory, where, allocStep);
    return false;
  }
  return seekTo(file, 0, where, seekStep, kV2SeekError) &&
         readExact(file, header->get(), kV2HeaderSize, where, readStep);
}

int readRecordV2(const AlbumSlot& slot, uint32_t record, uint8_t** recordOut,
                 uint8_t*** valuesOut) {
  const V2Steps& steps = kRecordSteps;
  uint8_t entry[kV2EntrySize];
  V2RecordPlace place;
  const V2State state = readSingleEntry(slot, record, steps, entry, &place);
  if (state != V2State::Live) return notLive(state, steps);
  uint8_t name[kV2NameSize];
  uint8_t keywords[kV2KeywordSetSize];
  if (!readName(slot, place, name, steps) ||
      !readPart(slot, place.keywords, keywords, kV2KeywordSetSize, steps.where, steps.blockSeek,
                steps.blockRead))
    return 0;
  const uint32_t nameSize = static_cast<uint32_t>(std::strlen(reinterpret_cast<char*>(name))) + 1;
  LockedBlock buffer(nameSize + kV2KeywordSetSize + kSummarySize);
  if (!buffer) {
    reportError(kErrNoMemory, steps.where, kRecordStepBuffer);
    return 0;
  }
  LockedBlock pointers(3 * kPointerSize);
  if (!pointers) {
    reportError(kErrNoMemory, steps.where, kRecordStepPointers);
    return 0;
  }
  uint8_t* out = buffer.get();
  std::memcpy(out, name, nameSize);
  std::memcpy(out + nameSize, keywords, kV2KeywordSetSize);
  std::memcpy(out + nameSize + kV2KeywordSetSize, entry + kSummaryAt, kSummarySize);
  storePointer(pointers.get(), out);
  storePointer(pointers.get() + kPointerSize, out + nameSize);
  storePointer(pointers.get() + 2 * kPointerSize, out + nameSize + kV2KeywordSetSize);
  *recordOut = handOverLocked(buffer);
  *valuesOut = reinterpret_cast<uint8_t**>(handOverLocked(pointers));
  return 1;
}

int readRecordFieldV2(const AlbumSlot& slot, uint32_t record, uint32_t field, void* buffer) {
  const V2Steps& steps = kFieldSteps;
  uint8_t entry[kV2EntrySize];
  V2RecordPlace place;
  const V2State state = readSingleEntry(slot, record, steps, entry, &place);
  if (state != V2State::Live) return notLive(state, steps);
  auto* out = static_cast<uint8_t*>(buffer);
  switch (field) {
    case 0: {
      uint8_t name[kV2NameSize];
      if (!readName(slot, place, name, steps)) return 0;
      std::memcpy(out, name, std::strlen(reinterpret_cast<char*>(name)) + 1);
      return 1;
    }
    case 1:
      return readPart(slot, place.keywords, out, kV2KeywordSetSize, steps.where, steps.blockSeek,
                      steps.blockRead)
                 ? 1
                 : 0;
    case 2:
      return readDescription(slot, entry, out, kDescriptionMax, steps) ? 1 : 0;
    default:
      return 1;
  }
}

int readRecordFieldExV2(const AlbumSlot& slot, uint32_t record, uint32_t field, HGLOBAL* out) {
  if (field != 2) return 0;
  const V2Steps& steps = kFieldExSteps;
  uint8_t entry[kV2EntrySize];
  V2RecordPlace place;
  const V2State state = readSingleEntry(slot, record, steps, entry, &place);
  if (state != V2State::Live) return notLive(state, steps);
  const uint32_t length = afm3GetU16(entry + kV2EntryTextLength);
  if (length > 0 &&
      !fitsInFile(afm3GetU32(entry + kV2EntryTextOffset), length, fileLength(slot.file))) {
    reportError(kErrShortRead, steps.where, steps.textRead);
    return 0;
  }
  LockedBlock block(length + 1);
  if (!block) {
    reportError(kErrNoMemory, steps.where, steps.alloc);
    return 0;
  }
  if (!readDescription(slot, entry, block.get(), length, steps)) return 0;
  *out = handOverUnlocked(block);
  return 1;
}

uint32_t readFieldBlockV2(const AlbumSlot& slot, uint32_t n, uint32_t m, const DWORD* records,
                          uint32_t first, const uint8_t* codes, uint8_t** blockOut,
                          uint8_t*** rowsOut) {
  const V2Steps& steps = kBlockSteps;
  uint32_t rowSize = 0;
  for (uint32_t i = 0; i < m; ++i) rowSize += codeWidth(codes[i]);
  const uint64_t blockSize = uint64_t{n} * rowSize;
  const uint64_t rowsSize = uint64_t{n} * kPointerSize;
  LockedBlock block, rows;
  if (blockSize > 0x7FFFFFFF || rowsSize > 0x7FFFFFFF ||
      !block.allocate(static_cast<size_t>(blockSize)) ||
      !rows.allocate(static_cast<size_t>(rowsSize))) {
    reportError(kErrNoMemory, steps.where, steps.alloc);
    return 0;
  }
  LockedBlock header;
  if (!readV2Header(slot.file, &header, steps.where, steps.alloc, steps.entrySeek, steps.entryRead))
    return 0;
  for (uint32_t j = 0; j < n; ++j) {
    const uint32_t record = records != nullptr ? records[j] : first + j;
    if (record == kNoRecord) continue;
    uint8_t entry[kV2EntrySize];
    V2RecordPlace place;
    const V2State state = readV2Entry(slot, header, record, steps, entry, &place);
    if (state == V2State::Failed) return 0;
    if (state != V2State::Live) continue;
    uint8_t* row = block.get() + size_t{j} * rowSize;
    uint8_t* at = row;
    for (uint32_t i = 0; i < m; ++i) {
      if (codes[i] == 0) {
        uint8_t* name = at + kPointerSize;
        if (!readName(slot, place, name, steps)) return 0;
        storePointer(at, name);
      } else if (codes[i] == 1) {
        if (!readPart(slot, place.keywords, at, kV2KeywordSetSize, steps.where, steps.blockSeek,
                      steps.blockRead))
          return 0;
      } else if (codes[i] == 2) {
        std::memcpy(at, entry + kSummaryAt, kSummarySize);
      }
      at += codeWidth(codes[i]);
    }
    storePointer(rows.get() + size_t{j} * kPointerSize, row);
  }
  *blockOut = handOverLocked(block);
  *rowsOut = reinterpret_cast<uint8_t**>(handOverLocked(rows));
  return n;
}

}  // namespace afm3
