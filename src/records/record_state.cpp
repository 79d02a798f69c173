// Deleting, undeleting and validating records. Deletion marks a record in
// both of its places and removes nothing: the row's slack is filled with
// 0xFA and the entry's number becomes 0xFFFF. Undeletion clears both
// marks. Validity is read from the entries alone.
//
// Writes of a deletion, in order: the row's mark (a stop leaves the row
// marked and the entry live: deleting again completes it), the entry's
// number, the header's count (a stop before it leaves the count one too
// high: the integrity repair recounts). Undeletion writes the same three
// places in the same order, and undeleting again completes a stopped one.
#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/transaction.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kDelete{kModAlbumMisc, 2};
constexpr Location kUndelete{kModRecordState, 1};
constexpr Location kIsValid{kModRecordState, 4};
constexpr Location kAreValid{kModRecordState, 5};

enum DeleteStep : uint32_t {
  kDelStepNotOpen = 0,
  kDelStepEntry = 1,
  kDelStepNoPage = 3,
  kDelStepNoRecord = 4,
  kDelStepBegin = 5,
  kDelStepAlreadyDeleted = 11,
  kDelStepRowWrite = 12,
  kDelStepEntryWrite = 13,
  kDelStepHeaderRead = 14,
  kDelStepHeaderWrite = 15,
};
constexpr RowSteps kDeleteRow{kDelete, 7, 6, 8, 9, 10, kErrWorkBuffer};

enum UndeleteStep : uint32_t {
  kUndStepNotOpen = 0,
  kUndStepNoRecord = 1,
  kUndStepNoPage = 2,
  kUndStepEntrySeek = 3,
  kUndStepEntryRead = 4,
  kUndStepNotDeleted = 5,
  kUndStepEntryWriteSeek = 6,
  kUndStepEntryWrite = 7,
  kUndStepHeaderRead = 8,
  kUndStepHeaderWrite = 9,
  kUndStepBegin = 10,
  kUndStepRowWrite = 15,
  kUndStepNeverInserted = 16,
};
constexpr RowSteps kUndeleteRow{kUndelete, 11, 10, 12, 13, 14, kErrWorkBuffer};

enum ValidStep : uint32_t {
  kValidStepNotOpen = 0,
  kValidStepNoRecord = 1,
  kValidStepNoPage = 2,
  kValidStepSeek = 3,
  kValidStepRead = 4,
};
constexpr EntrySteps kAreValidEntry{kAreValid, 1, 2};

// Marks or clears the row's deletion mark and writes the slot back (with
// caching on, the cached block changes with it). A record inserted
// without values has no row: only its entry carries the mark.
bool markRow(AlbumSlot& slot, uint32_t record, bool deleted, const RowSteps& steps,
             uint32_t writeStep) {
  RowFetch row;
  if (!row.fetch(slot, record, steps)) return false;
  if (!row.present()) return true;
  const AlbumHeader header = headerOf(slot);
  markSlack(header, row.bytes(), deleted);
  return seekTo(slot.file, row.place().offset, steps.where, writeStep, kErrChecksum) &&
         writeExact(slot.file, row.bytes(), header.rowSlotSize(), kErrHeaderWrite, steps.where,
                    writeStep);
}

// Changes recordCount by delta in the header as the file holds it, and in
// the open album's copy; the rest of the file's header is written back as
// read.
bool adjustRecordCount(AlbumSlot& slot, int delta, Location where, uint32_t readStep,
                       uint32_t writeStep) {
  uint8_t bytes[kHeaderSize];
  if (!readFileHeader(slot.file, bytes, where, readStep)) return false;
  AlbumHeader fresh(bytes);
  const int count = fresh.recordCount() + delta;
  fresh.setRecordCount(static_cast<uint16_t>(count < 0 ? 0 : count));
  fresh.storeChecksum();
  if (!seekTo(slot.file, 0, where, writeStep) ||
      !writeExact(slot.file, bytes, kHeaderSize, kErrHeaderWrite, where, writeStep))
    return false;
  AlbumHeader(slot.header).setRecordCount(fresh.recordCount());
  return true;
}

BOOL deleteRecord(HINSTANCE ownerKey, HANDLE album, uint32_t record) {
  const int index = findVersion3Slot(ownerKey, album, kDelete);
  if (index < 0) return FALSE;
  WriteTransaction transaction(index, kDelete, kDelStepBegin);
  if (!transaction.ok()) return FALSE;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kDelete, kDelStepNoRecord);
    return TRUE;
  }
  if (sharesWriting(slotAt(index)) && afm3IsValidRecord(ownerKey, album, record) == 0) {
    reportError(kErrInvalidRecord, kDelete, kDelStepAlreadyDeleted);
    return FALSE;
  }
  AlbumSlot& slot = slotAt(index);
  const uint32_t at = entryOffset(slot, record);
  if (at == 0) {
    reportError(kErrInvalidRecord, kDelete, kDelStepNoPage);
    return FALSE;
  }
  if (!markRow(slot, record, true, kDeleteRow, kDelStepRowWrite)) return FALSE;
  uint8_t number[2];
  if (!readAt(slot.file, at, number, sizeof number, kDelete, kDelStepEntry, kDelStepEntry))
    return FALSE;
  if (afm3GetU16(number) == kNoRecord) return TRUE;
  afm3PutU16(number, kNoRecord);
  if (!seekTo(slot.file, at, kDelete, kDelStepEntry) ||
      !writeExact(slot.file, number, sizeof number, kErrHeaderWrite, kDelete, kDelStepEntryWrite))
    return FALSE;
  return adjustRecordCount(slot, -1, kDelete, kDelStepHeaderRead, kDelStepHeaderWrite) ? TRUE
                                                                                       : FALSE;
}

// Whether a free entry once held a record. A deleted entry keeps its
// picture data and the checksum it had when live (the number's word is in
// it, so it is non-zero for every record but 0); an entry that never held
// a record is 0xFFFF and zeros. Record 0 inserted with nothing looks like
// a free entry and is given the benefit of the doubt.
bool onceHeldRecord(uint32_t record, const uint8_t* entry) {
  if (record == 0) return true;
  for (uint32_t i = 2; i < kEntrySize; ++i)
    if (entry[i] != 0) return true;
  return false;
}

BOOL undeleteRecord(HINSTANCE ownerKey, HANDLE album, uint32_t record) {
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kUndelete, kUndStepNoRecord);
    return FALSE;
  }
  const int index = findVersion3Slot(ownerKey, album, kUndelete);
  if (index < 0) return FALSE;
  WriteTransaction transaction(index, kUndelete, kUndStepBegin);
  if (!transaction.ok()) return FALSE;
  AlbumSlot& slot = slotAt(index);
  uint8_t entry[kEntrySize];
  switch (readEntry(slot, record, entry, {kUndelete, kUndStepEntrySeek, kUndStepEntryRead})) {
    case EntryState::Failed:
      return FALSE;
    case EntryState::NoPage:
      reportError(kErrInvalidRecord, kUndelete, kUndStepNoPage);
      return FALSE;
    case EntryState::Live:
      reportError(kErrInvalidRecord, kUndelete, kUndStepNotDeleted);
      return FALSE;
    case EntryState::Deleted:
      break;
  }
  // A free slot, or a number no record was ever given, is not a deleted
  // record: undeleting it would make up a record from nothing.
  if (record >= headerOf(slot).nextRecordNumber() || !onceHeldRecord(record, entry)) {
    reportError(kErrInvalidRecord, kUndelete, kUndStepNeverInserted);
    return FALSE;
  }
  if (!markRow(slot, record, false, kUndeleteRow, kUndStepRowWrite)) return FALSE;
  RecordEntry e(entry);
  e.setNumber(static_cast<uint16_t>(record));
  e.storeChecksum();
  if (!seekTo(slot.file, entryOffset(slot, record), kUndelete, kUndStepEntryWriteSeek) ||
      !writeExact(slot.file, entry, kEntrySize, kErrHeaderWrite, kUndelete, kUndStepEntryWrite))
    return FALSE;
  return adjustRecordCount(slot, 1, kUndelete, kUndStepHeaderRead, kUndStepHeaderWrite) ? TRUE
                                                                                        : FALSE;
}

int isValidRecord(HINSTANCE ownerKey, HANDLE album, uint32_t record) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kIsValid, kValidStepNotOpen);
    return -1;
  }
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kIsValid, kValidStepNoRecord);
    return -1;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version != kVersion3) return 1;
  switch (readEntry(slot, record, nullptr, {kIsValid, kValidStepSeek, kValidStepRead})) {
    case EntryState::NoPage:
      reportError(kErrInvalidRecord, kIsValid, kValidStepNoPage);
      return -1;
    case EntryState::Failed:
      return -1;
    case EntryState::Live:
      return 1;
    case EntryState::Deleted:
      break;
  }
  return 0;
}

BOOL areValidRecords(HINSTANCE ownerKey, HANDLE album, uint32_t n, const DWORD* records,
                     BYTE* results) {
  const int index = findSlotForRead(ownerKey, album);
  if (index == kSyncFailed) return FALSE;
  if (index < 0 || (n > 0 && (records == nullptr || results == nullptr))) {
    reportError(kErrNotOpenAlbum, kAreValid, kValidStepNotOpen);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  std::memset(results, 0, n);
  for (uint32_t i = 0; i < n; ++i) {
    if (records[i] == kNoRecord) continue;
    if (slot.version != kVersion3) {
      results[i] = 1;
      continue;
    }
    switch (readEntry(slot, records[i], nullptr, kAreValidEntry)) {
      case EntryState::Failed:
        return FALSE;
      case EntryState::Live:
        results[i] = 1;
        break;
      default:
        break;
    }
  }
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" BOOL WINAPI afm3DeleteRecord(HINSTANCE ownerKey, HANDLE album, DWORD record) {
  ErrorModeGuard errorMode;
  return deleteRecord(ownerKey, album, record);
}

extern "C" BOOL WINAPI afm3UndelRecord(HINSTANCE ownerKey, HANDLE album, DWORD record) {
  ErrorModeGuard errorMode;
  return undeleteRecord(ownerKey, album, record);
}

extern "C" int WINAPI afm3IsValidRecord(HINSTANCE ownerKey, HANDLE album, DWORD record) {
  ErrorModeGuard errorMode;
  return isValidRecord(ownerKey, album, record);
}

extern "C" BOOL WINAPI afm3AreValidRecords(HINSTANCE ownerKey, HANDLE album, DWORD n,
                                           const DWORD* records, BYTE* results) {
  ErrorModeGuard errorMode;
  return areValidRecords(ownerKey, album, n, records, results);
}
