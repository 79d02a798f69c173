// Per-record picture information beyond the fixed entry fields:
// afm3ReadFilePicMisc (selector 1: the form of string A; selector 2: the
// PictureMiscData) and afm3UpdateFilePicMisc (selector 3: new data).
//
// PictureMiscData is the caller's own block, stored as {u16 n, n bytes}
// at the end of the file; the RecordEntry keeps its offset at 218 and sets
// flag 0x08 while it is present. A replaced block stays unreferenced in
// the file.
#include <cstring>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/transaction.h"
#include "pictures/picture_entries.h"
#include "pictures/picture_paths.h"
#include "pictures/picture_strings.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kReadMisc{kModPictureData, 1};
constexpr Location kUpdateMisc{kModPictureData, 2};

enum Selector : uint32_t { kSelectPathForm = 1, kSelectReadData = 2, kSelectWriteData = 3 };

constexpr uint32_t kLengthWord = 2;
constexpr uint32_t kMaxMiscData = 0xFFFF;

enum ReadMiscStep : uint32_t {
  kReadStepNotOpen = 0,
  kReadStepNoRecord = 1,
  kReadStepNoPage = 2,
  kReadStepSeekEntry = 3,
  kReadStepReadEntry = 4,
  kReadStepSeekData = 5,
  kReadStepDataLength = 6,  // also: more data than the caller's buffer holds
  kReadStepDataBytes = 7,
  kReadStepSeekPath = 8,
  kReadStepPathHead = 9,
};

enum UpdateMiscStep : uint32_t {
  kUpdStepNotVersion3 = 0,
  kUpdStepNoRecord = 1,
  kUpdStepNoPage = 2,
  kUpdStepSeekEntry = 3,
  kUpdStepReadEntry = 4,
  kUpdStepDataLength = 5,
  kUpdStepDataBytes = 6,
  kUpdStepSeekBack = 7,
  kUpdStepWriteEntry = 8,
  kUpdStepTooMuchData = 9,  // over 65535 bytes, or no data for a length
  kUpdStepNotValid = 12,
  kUpdStepBegin = 100,
};

// Selector 1: the path form code of string A (0 when there is none).
DWORD pathFormCode(const AlbumSlot& slot, const RecordEntry& e) {
  const uint32_t offset = e.stringAOffset();
  if (offset == 0) return 0;
  uint8_t word[kLengthWord];
  if (!seekTo(slot.file, offset, kReadMisc, kReadStepSeekPath) ||
      !readExact(slot.file, word, sizeof word, kReadMisc, kReadStepPathHead))
    return 0;
  const uint32_t length = afm3GetU16(word);
  if (length == 0) return 0;
  char head[kFolderRelativePrefixLength] = {};
  const uint32_t n = length < sizeof head ? length : sizeof head;
  if (!fitsInFile(uint64_t{offset} + kLengthWord, n, fileLength(slot.file))) {
    reportError(kErrShortRead, kReadMisc, kReadStepPathHead);
    return 0;
  }
  if (!readExact(slot.file, head, n, kReadMisc, kReadStepPathHead)) return 0;
  return static_cast<DWORD>(pathFormOf(head, strnlen(head, n)));
}

// Selector 2: the data, or two zero bytes when the record has none.
DWORD readMiscData(const AlbumSlot& slot, const RecordEntry& e, const uint8_t* entry, uint8_t* out,
                   uint32_t outSize) {
  const uint32_t offset = afm3GetU32(entry + kEntryMiscDataAt);
  if (!(e.flags() & kEntryHasMiscData) || offset == 0) {
    if (out != nullptr && outSize >= kLengthWord) std::memset(out, 0, kLengthWord);
    return 1;
  }
  uint8_t word[kLengthWord];
  if (!seekTo(slot.file, offset, kReadMisc, kReadStepSeekData) ||
      !readExact(slot.file, word, sizeof word, kReadMisc, kReadStepDataLength))
    return 0;
  const uint32_t n = afm3GetU16(word);
  if (n > (out != nullptr ? outSize : 0)) {
    reportError(kErrShortRead, kReadMisc, kReadStepDataLength);
    return 0;
  }
  if (!fitsInFile(uint64_t{offset} + kLengthWord, n, fileLength(slot.file))) {
    reportError(kErrShortRead, kReadMisc, kReadStepDataBytes);
    return 0;
  }
  if (n > 0 && !readExact(slot.file, out, n, kReadMisc, kReadStepDataBytes)) return 0;
  return 1;
}

DWORD readFilePicMisc(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint32_t selector,
                      uint8_t* out, uint32_t outSize) {
  if (selector != kSelectPathForm && selector != kSelectReadData) return 0;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kReadMisc, kReadStepNoRecord);
    return 0;
  }
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kReadMisc, kReadStepNotOpen);
    return 0;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version != kVersion3) {
    // Version-2 entries keep neither a path string nor picture data.
    if (selector != kSelectReadData) return 0;
    if (out != nullptr && outSize >= kLengthWord) std::memset(out, 0, kLengthWord);
    return 1;
  }
  uint8_t entry[kEntrySize];
  switch (readEntry(slot, record, entry, {kReadMisc, kReadStepSeekEntry, kReadStepReadEntry})) {
    case EntryState::Failed:
      return 0;
    case EntryState::NoPage:
      reportError(kErrInvalidRecord, kReadMisc, kReadStepNoPage);
      return 0;
    default:
      break;
  }
  const RecordEntry e(entry);
  if (selector == kSelectPathForm) return pathFormCode(slot, e);
  return readMiscData(slot, e, entry, out, outSize);
}

BOOL updateFilePicMisc(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint32_t selector,
                       const uint8_t* data, uint32_t length) {
  const int index = findVersion3Slot(ownerKey, album, kUpdateMisc);
  if (index < 0) return FALSE;
  // Only selector 3 writes; any other asks nothing of the album.
  if (selector != kSelectWriteData) return FALSE;
  WriteTransaction transaction(index, kUpdateMisc, kUpdStepBegin);
  if (!transaction.ok()) return FALSE;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kUpdateMisc, kUpdStepNoRecord);
    return FALSE;
  }
  if (sharesWriting(slotAt(index)) && afm3IsValidRecord(ownerKey, album, record) != 1) {
    reportError(kErrInvalidRecord, kUpdateMisc, kUpdStepNotValid);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  uint8_t entry[kEntrySize];
  switch (readEntry(slot, record, entry, {kUpdateMisc, kUpdStepSeekEntry, kUpdStepReadEntry})) {
    case EntryState::Failed:
      return FALSE;
    case EntryState::NoPage:
      reportError(kErrInvalidRecord, kUpdateMisc, kUpdStepNoPage);
      return FALSE;
    default:
      break;
  }
  if (length > kMaxMiscData || (length > 0 && data == nullptr)) {
    reportError(kErrInvalidRecord, kUpdateMisc, kUpdStepTooMuchData);
    return FALSE;
  }
  RecordEntry e(entry);
  if (length == 0) {
    e.setFlags(static_cast<uint16_t>(e.flags() & ~kEntryHasMiscData));
    afm3PutU32(entry + kEntryMiscDataAt, 0);
  } else {
    const uint32_t at =
        appendBlock(slot.file, data, length, {kUpdateMisc, kUpdStepDataLength, kUpdStepDataBytes});
    if (at == 0) return FALSE;
    afm3PutU32(entry + kEntryMiscDataAt, at);
    e.setFlags(static_cast<uint16_t>(e.flags() | kEntryHasMiscData));
  }
  e.seal();
  if (!seekTo(slot.file, entryOffset(slot, record), kUpdateMisc, kUpdStepSeekBack) ||
      !writeExact(slot.file, entry, kEntrySize, kErrHeaderWrite, kUpdateMisc, kUpdStepWriteEntry))
    return FALSE;
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" DWORD WINAPI afm3ReadFilePicMisc(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                            DWORD selector, void* out, DWORD outSize) {
  ErrorModeGuard errorMode;
  return readFilePicMisc(ownerKey, album, record, selector, static_cast<uint8_t*>(out), outSize);
}

extern "C" BOOL WINAPI afm3UpdateFilePicMisc(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                             DWORD selector, const void* data, DWORD length) {
  ErrorModeGuard errorMode;
  return updateFilePicMisc(ownerKey, album, record, selector, static_cast<const uint8_t*>(data),
                           length);
}
