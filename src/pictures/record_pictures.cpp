// The picture part of records: afm3GetPicBlockCount, afm3ReadPicBlock,
// afm3ReadRecordPic and afm3UpdateRecordPic.
//
// A picture block is a RecordPage: 64 RecordEntrys of 280 bytes (a
// version-2 page holds 64 older entries of 288 bytes, converted on the way
// out). Strings A (the picture's full path) and B (the caller's extra
// string) are stored apart from the entry as {u16 n counting the NUL, n
// bytes}, appended at the end of the file; a replaced string is left
// where it was.
#include <cstring>
#include <string>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/caller_path.h"
#include "core/canonical_path.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "core/library_state.h"
#include "core/transaction.h"
#include "core/v2_layout.h"
#include "pictures/picture_entries.h"
#include "pictures/picture_paths.h"
#include "pictures/picture_strings.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kReadBlock{kModAlbumMisc, 3};
constexpr Location kReadPic{kModAlbumMisc, 4};
constexpr Location kUpdatePic{kModAlbumMisc, 6};

// Positioning in a version-2 album reports 6425.
constexpr uint32_t kV2SeekError = kErrChecksum;

enum ReadBlockStep : uint32_t {
  kBlockStepNoPage = 1,  // beyond the directory, or a page that was never written
  kBlockStepSeek = 2,
  kBlockStepRead = 3,
  kBlockStepV2Seek = 4,
  kBlockStepV2Buffer = 5,
  kBlockStepV2Read = 6,
};

enum ReadPicStep : uint32_t {
  kPicStepSeekEntry = 1,
  kPicStepReadEntry = 2,  // also string B's length and bytes
  kPicStepSeekPath = 3,
  kPicStepReadLength = 4,
  kPicStepPathTooLong = 5,
  kPicStepReadPath = 6,
  kPicStepNoPage = 7,
  kPicStepV2Seek = 7,
  kPicStepNoRecord = 8,
  kPicStepV2Read = 8,
  kPicStepSeekExtra = 10,
  kPicStepExtraTooLong = 11,
};

enum UpdatePicStep : uint32_t {
  kUpdStepNotVersion3 = 0,
  kUpdStepPathLength = 2,
  kUpdStepPathBytes = 3,
  kUpdStepSeekEntry = 4,
  kUpdStepWriteEntry = 5,
  kUpdStepNoPage = 6,
  kUpdStepNoRecord = 7,
  kUpdStepBegin = 8,
  kUpdStepExtraLength = 10,
  kUpdStepExtraBytes = 11,
  kUpdStepNotValid = 12,
  kUpdStepStringTooLong = 13,
};

// The version-2 header, read again for every call (another process cannot
// change a version-2 album, but the slot keeps only its first bytes).
bool readV2HeaderInto(HANDLE file, uint8_t* header, Location where, uint32_t seekStep,
                      uint32_t readStep) {
  return seekTo(file, 0, where, seekStep, kV2SeekError) &&
         readExact(file, header, kV2HeaderSize, where, readStep);
}

// ---- afm3GetPicBlockCount ------------------------------------------------------

DWORD picBlockCount(HINSTANCE ownerKey, HANDLE album) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) return 0;
  const AlbumSlot& slot = slotAt(index);
  if (slot.version == kVersion3) {
    const uint32_t entries = pageDirEntries(slot);
    uint32_t n = 0;
    while (n < entries && pageDirEntry(slot, n) != 0) ++n;
    return n;
  }
  // Nothing is reported here: a header that cannot be read has no blocks.
  LockedBlock header(kV2HeaderSize);
  if (!header || plat::seekFile(slot.file, 0, plat::SeekFrom::Begin) != 0 ||
      retryingRead(slot.file, header.get(), kV2HeaderSize) != kV2HeaderSize)
    return 0;
  return V2Header(header.get()).pageCount();
}

// ---- afm3ReadPicBlock ----------------------------------------------------------

BOOL readPicBlockV2(const AlbumSlot& slot, uint32_t block, uint8_t* out) {
  LockedBlock header(kV2HeaderSize);
  if (!header) {
    reportError(kErrNoMemory, kReadBlock, kBlockStepV2Buffer);
    return FALSE;
  }
  if (!readV2HeaderInto(slot.file, header.get(), kReadBlock, kBlockStepV2Seek, kBlockStepV2Read))
    return FALSE;
  // Pages after the first zero of the table were never allocated.
  const V2Header v2(header.get());
  if (block >= v2.pageCount()) {
    reportError(kErrInvalidRecord, kReadBlock, kBlockStepNoPage);
    return FALSE;
  }
  LockedBlock work(kV2RecordsPerPage * kV2EntrySize);
  if (!work) {
    reportError(kErrNoMemory, kReadBlock, kBlockStepV2Buffer);
    return FALSE;
  }
  if (!seekTo(slot.file, v2.pageOffset(block), kReadBlock, kBlockStepV2Seek, kV2SeekError) ||
      !readExact(slot.file, work.get(), kV2RecordsPerPage * kV2EntrySize, kReadBlock,
                 kBlockStepV2Read))
    return FALSE;
  for (uint32_t i = 0; i < kV2RecordsPerPage; ++i)
    convertVersion2Entry(work.get() + i * kV2EntrySize, out + i * kEntrySize, nullptr);
  return TRUE;
}

BOOL readPicBlock(HINSTANCE ownerKey, HANDLE album, uint32_t block, void* out) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kReadBlock, 0);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  auto* bytes = static_cast<uint8_t*>(out);
  if (bytes == nullptr) {
    reportError(kErrInvalidRecord, kReadBlock, kBlockStepNoPage);
    return FALSE;
  }
  if (slot.version != kVersion3) return readPicBlockV2(slot, block, bytes);
  const uint32_t page = block < pageDirEntries(slot) ? pageDirEntry(slot, block) : 0;
  if (page == 0) {
    reportError(kErrInvalidRecord, kReadBlock, kBlockStepNoPage);
    return FALSE;
  }
  if (!readAt(slot.file, page, bytes, kPageSize, kReadBlock, kBlockStepSeek, kBlockStepRead))
    return FALSE;
  // Free and deleted entries come back as stored.
  LocationAdjuster location(slot.file, slot.path);
  for (uint32_t i = 0; i < kRecordsPerPage; ++i) {
    uint8_t* entry = bytes + i * kEntrySize;
    if (!RecordEntry(entry).isFree()) location.adjust(entry);
  }
  return TRUE;
}

// ---- afm3ReadRecordPic ---------------------------------------------------------

// Copies a path into the caller's buffer: it must be shorter than size.
bool handOutPath(const std::string& path, char* out, uint32_t size) {
  if (path.size() >= size) {
    reportError(kErrInvalidRecord, kReadPic, kPicStepPathTooLong);
    return false;
  }
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

BOOL readRecordPicV2(const AlbumSlot& slot, uint32_t record, uint8_t* entryOut, char* pathOut,
                     uint32_t pathSize, uint32_t pathOffset) {
  uint8_t header[kV2HeaderSize];
  if (!readV2HeaderInto(slot.file, header, kReadPic, kPicStepV2Seek, kPicStepV2Read)) return FALSE;
  const V2RecordPlace place = v2RecordPlace(V2Header(header), record);
  if (place.entry == 0) {
    reportError(kErrInvalidRecord, kReadPic, kPicStepNoPage);
    return FALSE;
  }
  // Nothing more is wanted than the path, and a version-2 entry keeps no
  // stored path to read at pathOffset: the answer stays empty.
  if (entryOut == nullptr && pathOffset != 0) return TRUE;
  uint8_t old[kV2EntrySize];
  if (!seekTo(slot.file, place.entry, kReadPic, kPicStepV2Seek, kV2SeekError) ||
      !readExact(slot.file, old, sizeof old, kReadPic, kPicStepV2Read))
    return FALSE;
  uint8_t entry[kEntrySize];
  std::string path;
  convertVersion2Entry(old, entry, &path);
  if (entryOut != nullptr) std::memcpy(entryOut, entry, kEntrySize);
  if (pathOut != nullptr && !handOutPath(path, pathOut, pathSize)) return FALSE;
  return TRUE;
}

// The short path an entry keeps at offset 8 (at most 127 characters).
std::string shortPathOf(const uint8_t* entry) {
  const auto* text = reinterpret_cast<const char*>(entry + kEntryShortPathAt);
  return std::string(text, strnlen(text, kEntryShortPathSize - 1));
}

BOOL readRecordPic(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint8_t* entryOut,
                   char* pathOut, uint32_t pathSize, uint32_t pathOffset, char* extraOut) {
  if (pathOut != nullptr && pathSize > 0) pathOut[0] = '\0';
  if (extraOut != nullptr) extraOut[0] = '\0';
  if (pathOut != nullptr && pathSize == 0) pathOut = nullptr;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kReadPic, kPicStepNoRecord);
    return FALSE;
  }
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kReadPic, 0);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version != kVersion3)
    return readRecordPicV2(slot, record, entryOut, pathOut, pathSize, pathOffset);

  const bool shortNames = libraryState().shortNameMode;
  uint8_t entry[kEntrySize] = {};
  // Only the path is wanted and its offset is known: the entry is not
  // needed, except for the short path handed out in short-name mode.
  const bool pathOnly =
      entryOut == nullptr && pathOffset != 0 && extraOut == nullptr && !shortNames;
  if (!pathOnly) {
    switch (readEntry(slot, record, entry, {kReadPic, kPicStepSeekEntry, kPicStepReadEntry})) {
      case EntryState::Failed:
        return FALSE;
      case EntryState::NoPage:
        reportError(kErrInvalidRecord, kReadPic, kPicStepNoPage);
        return FALSE;
      default:
        break;  // deleted records are read as well
    }
    LocationAdjuster(slot.file, slot.path).adjust(entry);
    if (entryOut != nullptr) std::memcpy(entryOut, entry, kEntrySize);
    pathOffset = RecordEntry(entry).stringAOffset();

    const RecordEntry e(entry);
    if (extraOut != nullptr && (e.flags() & kEntryHasStringB) && e.stringBOffset() != 0) {
      const StoredStringSteps steps{kReadPic, kPicStepSeekExtra, kPicStepReadEntry,
                                    kPicStepReadEntry, kPicStepExtraTooLong};
      if (!readStoredString(slot.file, e.stringBOffset(), kStoredStringMax, extraOut, steps))
        return FALSE;
    }
  }
  if (pathOut == nullptr) return TRUE;
  if (shortNames) return handOutPath(shortPathOf(entry), pathOut, pathSize) ? TRUE : FALSE;
  if (pathOffset == 0) {
    // No full path was stored: the long form of the short path, or the
    // short path itself when the file is gone.
    const std::string shortPath = shortPathOf(entry);
    char longPath[MAX_PATH];
    if (canonicalPath(shortPath.c_str(), longPath, sizeof longPath, CanonicalNames::Long,
                      CanonicalReports::Quiet))
      return handOutPath(longPath, pathOut, pathSize) ? TRUE : FALSE;
    return handOutPath(shortPath, pathOut, pathSize) ? TRUE : FALSE;
  }
  const StoredStringSteps steps{kReadPic, kPicStepSeekPath, kPicStepReadLength, kPicStepReadPath,
                                kPicStepPathTooLong};
  if (!readStoredString(slot.file, pathOffset, pathSize - 1, pathOut, steps)) return FALSE;
  if (pathFormOf(pathOut, std::strlen(pathOut)) != PathForm::Absolute)
    copyBounded(resolvePicturePath(pathOut, slot.path), pathOut, pathSize);
  return TRUE;
}

// ---- afm3UpdateRecordPic -------------------------------------------------------

BOOL updateRecordPic(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint8_t* callerEntry,
                     const char* fullPath, DWORD* pathOffsetOut, const char* extra) {
  const int index = findVersion3Slot(ownerKey, album, kUpdatePic);
  if (index < 0) return FALSE;
  WriteTransaction transaction(index, kUpdatePic, kUpdStepBegin);
  if (!transaction.ok()) return FALSE;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kUpdatePic, kUpdStepNoRecord);
    return FALSE;
  }
  // Strings longer than a path are refused before anything is written:
  // reads hand out no more than that.
  if ((fullPath != nullptr && std::strlen(fullPath) > kStoredStringMax - 1) ||
      (extra != nullptr && std::strlen(extra) > kStoredStringMax - 1)) {
    reportError(kErrInvalidRecord, kUpdatePic, kUpdStepStringTooLong);
    return FALSE;
  }
  uint8_t entry[kEntrySize] = {};
  if (callerEntry != nullptr) {
    std::memcpy(entry, callerEntry, kEntrySize);
  } else if (!afm3ReadRecordPic(ownerKey, album, record, entry, nullptr, 0, 0, nullptr)) {
    return FALSE;
  }
  if (sharesWriting(slotAt(index)) && afm3IsValidRecord(ownerKey, album, record) != 1) {
    reportError(kErrInvalidRecord, kUpdatePic, kUpdStepNotValid);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  const uint32_t at = entryOffset(slot, record);
  if (at == 0) {
    reportError(kErrInvalidRecord, kUpdatePic, kUpdStepNoPage);
    return FALSE;
  }
  RecordEntry e(entry);
  if (extra != nullptr) {
    const uint32_t offset =
        appendStoredString(slot.file, extra, {kUpdatePic, kUpdStepExtraLength, kUpdStepExtraBytes});
    if (offset == 0) return FALSE;
    e.setStringBOffset(offset);
  }
  if (fullPath != nullptr) {
    const uint32_t offset = appendStoredString(slot.file, fullPath,
                                               {kUpdatePic, kUpdStepPathLength, kUpdStepPathBytes});
    if (offset == 0) return FALSE;
    e.setStringAOffset(offset);
    // A relocatable path is asked about where it points today.
    const std::string shortPath = upperShortPath(resolvePicturePath(fullPath, slot.path));
    if (!shortPath.empty()) {
      std::memset(entry + kEntryShortPathAt, 0, kEntryShortPathSize);
      std::memcpy(entry + kEntryShortPathAt, shortPath.data(), shortPath.size());
    }
  }
  if (pathOffsetOut != nullptr) *pathOffsetOut = e.stringAOffset();
  e.seal();
  if (!seekTo(slot.file, at, kUpdatePic, kUpdStepSeekEntry) ||
      !writeExact(slot.file, entry, kEntrySize, kErrHeaderWrite, kUpdatePic, kUpdStepWriteEntry))
    return FALSE;
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" DWORD WINAPI afm3GetPicBlockCount(HINSTANCE ownerKey, HANDLE album) {
  ErrorModeGuard errorMode;
  return picBlockCount(ownerKey, album);
}

extern "C" BOOL WINAPI afm3ReadPicBlock(HINSTANCE ownerKey, HANDLE album, DWORD block, void* out) {
  ErrorModeGuard errorMode;
  return readPicBlock(ownerKey, album, block, out);
}

// extraOut receives string B: at most the stored length, and never more
// than 260 bytes with its NUL (a longer stored string is refused with
// 6444), so a caller's buffer of 260 bytes is always enough.
extern "C" BOOL WINAPI afm3ReadRecordPic(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                         void* entryOut, LPSTR pathOut, DWORD pathSize,
                                         DWORD pathOffset, LPSTR extraOut) {
  ErrorModeGuard errorMode;
  return readRecordPic(ownerKey, album, record, static_cast<uint8_t*>(entryOut), pathOut, pathSize,
                       pathOffset, extraOut);
}

extern "C" BOOL WINAPI afm3UpdateRecordPic(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                           void* entry, LPCSTR fullPath, DWORD* pathOffsetOut,
                                           LPCSTR extra) {
  ErrorModeGuard errorMode;
  const CallerPath picture(fullPath, CallerPath::Kind::Picture);
  return updateRecordPic(ownerKey, album, record, static_cast<uint8_t*>(entry), picture.get(),
                         pathOffsetOut, extra);
}
