// Reorganizing an album: afm3ReorganizeAbm.
//
// The album is copied into a fresh work file beside it, keeping only what
// is reachable (reorganize_run.h lists the new file's layout), and then
// takes the album's place; the open album's slot is switched to the new
// file without closing the album.
//
// What a stop leaves, write by write:
//   - any write to the work file: the album is untouched (it is only
//     read); the work file has a spoiled header until the very last write,
//     so it is never taken for an album, and the next run overwrites it;
//   - the final header (written after a flush, and flushed): the album and
//     a complete copy both exist; the album is what opens;
//   - deleting the album file: only the complete copy exists, and the next
//     afm3OpenAlbum of the album path renames it into place
//     (album_replacement.h says how a complete copy is told from a partial
//     one);
//   - the rename: the reorganized album is in place.
#include <cstdio>
#include <cstring>
#include <string>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_replacement.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/paths.h"
#include "core/transaction.h"
#include "maintenance/disk_space.h"
#include "maintenance/reorganize_run.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr uint32_t kPhases = 5;
constexpr uint32_t kNoPhases = 0;
constexpr uint32_t kSpaceFactorNumerator = 3;  // free space must reach 1.5 x the album
constexpr uint32_t kSpaceFactorDenominator = 2;

bool allocateWorkBuffers(ReorganizeRun& run) {
  if (!run.album.open(kStepWorkBuffer)) return false;
  if (!run.copyBuffer.allocate(kCopyBufferBytes) ||
      !run.oldRow.allocate(run.oldHeader().rowSlotSize())) {
    reportError(kErrWorkBuffer, kReorganize, kStepWorkBuffer);
    return false;
  }
  return true;
}

bool createWorkFile(ReorganizeRun& run) {
  char path[MAX_PATH];
  if (!rebuildFilePath(run.slot().path, path, sizeof path)) {
    reportSystemError(plat::kErrFilenameExcedRange, kReorganize, kStepCreateWorkFile);
    return false;
  }
  if (run.work.create(path)) return true;
  reportSystemError(plat::lastError(), kReorganize, kStepCreateWorkFile);
  return false;
}

// The album's header, read from the file, becomes the new header; the
// work file starts with it as a placeholder that is no valid header.
bool writePlaceholder(ReorganizeRun& run) {
  if (!run.album.read(0, run.header, kHeaderSize, kStepReadHeader, kStepReadHeader)) return false;
  uint8_t placeholder[kHeaderSize];
  std::memcpy(placeholder, run.header, kHeaderSize);
  spoilHeaderChecksum(placeholder);
  return run.work.append(placeholder, kHeaderSize, kStepWritePlaceholder);
}

// The header goes last, after every other byte has been handed to the
// system; one flush then takes the whole file to the disk before the
// album is deleted. Until that delete the album stands, so a work file
// whose header reached the disk before its body is never adopted.
bool writeFinalHeader(ReorganizeRun& run) {
  run.newHeader().storeChecksum();
  return run.work.writeAt(0, run.header, kHeaderSize, kStepWriteHeader, kStepWriteHeader) &&
         run.work.flush(kStepWriteHeader);
}

Outcome build(ReorganizeRun& run) {
  if (!allocateWorkBuffers(run) ||
      !enoughDiskSpace(
          run.slot(),
          static_cast<double>(run.album.size()) * kSpaceFactorNumerator / kSpaceFactorDenominator,
          kReorganize, kStepDiskSpace) ||
      !findLiveRecords(run))
    return Outcome::Failed;
  if (!createWorkFile(run)) {
    run.progress.phaseCount(kNoPhases);
    return Outcome::Failed;
  }
  if (!writePlaceholder(run) || !writeFreshPages(run)) return Outcome::Failed;
  for (Outcome (*pass)(ReorganizeRun&) : {copyRecords, copyScheme}) {
    const Outcome outcome = pass(run);
    if (outcome != Outcome::Done) return outcome;
  }
  if (!planRows(run)) return Outcome::Failed;
  for (Outcome (*pass)(ReorganizeRun&) : {rewriteHeaps, copyRows}) {
    const Outcome outcome = pass(run);
    if (outcome != Outcome::Done) return outcome;
  }
  return writeRowsAndIndex(run) && writeFinalHeader(run) ? Outcome::Done : Outcome::Failed;
}

HANDLE reopenAlbum(const AlbumSlot& slot) {
  return plat::openFile(slot.path, slot.access, slot.shareMode, plat::Disposition::OpenExisting);
}

// The album can no longer be reached through its slot: the slot is given
// up and the caller's handle cleared (the album itself is safe on disk).
void giveUpSlot(ReorganizeRun& run, HANDLE* handlePtr) {
  releaseSlot(run.slotIndex);
  *handlePtr = nullptr;
}

void dropRecordCache(AlbumSlot& slot) {
  freeLocked(slot.rowCache);
  freeLocked(slot.textCache);
  freeLocked(slot.memoCache);
  slot.rowCacheOffset = slot.textCacheOffset = slot.memoCacheOffset = 0;
  slot.textCacheSize = slot.memoCacheSize = 0;
  slot.flags &= static_cast<uint8_t>(~kSlotKeepCaches);
}

void switchSlot(ReorganizeRun& run, HANDLE file) {
  AlbumSlot& slot = run.slot();
  std::memcpy(slot.header, run.header, kHeaderSize);
  uint8_t** tables[] = {&slot.pageDir, &slot.rowDir, &slot.fieldDefs, &slot.fieldNames};
  LockedBlock* fresh[] = {&run.pageDir, &run.rowDir, &run.defs, &run.names};
  for (size_t i = 0; i < sizeof tables / sizeof tables[0]; ++i) {
    freeLocked(*tables[i]);
    *tables[i] = fresh[i]->release();
  }
  dropRecordCache(slot);
  slot.file = file;
}

// Puts the work file in the album's place and switches the slot to it.
int replaceAlbum(ReorganizeRun& run, HANDLE* handlePtr) {
  AlbumSlot& slot = run.slot();
  char workPath[MAX_PATH];
  std::snprintf(workPath, sizeof workPath, "%s", run.work.path());
  run.work.closeAndKeep();
  plat::closeFile(slot.file);
  if (!plat::deleteFile(slot.path)) {
    // Typically another process has the album open: it stays as it was.
    const HANDLE file = reopenAlbum(slot);
    plat::deleteFile(workPath);
    if (file == plat::invalidFile()) {
      reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::ReopenAlbum), kReorganize,
                  kStepReopen);
      giveUpSlot(run, handlePtr);
      return 0;
    }
    slot.file = file;
    *handlePtr = file;
    return 0;
  }
  if (!plat::moveFile(workPath, slot.path)) {
    // The album now exists as the complete work file only; the next open
    // of the album path puts it in place.
    reportSystemError(plat::lastError(), kReorganize, kStepRename);
    giveUpSlot(run, handlePtr);
    return 0;
  }
  const HANDLE file = reopenAlbum(slot);
  if (file == plat::invalidFile()) {
    reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::ReopenAlbum), kReorganize,
                kStepReopen);
    giveUpSlot(run, handlePtr);
    return 0;
  }
  switchSlot(run, file);
  *handlePtr = file;
  return 1;
}

int reorganize(int slotIndex, HANDLE* handlePtr, const WORD* recordOrder, HWND progressWindow) {
  ReorganizeRun run(slotIndex, recordOrder, progressWindow);
  run.progress.phaseCount(kPhases);
  Outcome outcome;
  {
    WriteTransaction transaction(slotIndex, kReorganize, kStepBeginUpdate);
    if (!transaction.ok()) return 0;
    outcome = build(run);
  }
  if (outcome != Outcome::Done) {
    run.progress.endRun();
    run.work.discard();
    return outcome == Outcome::Cancelled ? -1 : 0;
  }
  return replaceAlbum(run, handlePtr);
}

}  // namespace

ReorganizeRun::ReorganizeRun(int index, const WORD* recordOrder, HWND progressWindow)
    : slotIndex(index),
      order(recordOrder),
      progress(progressWindow),
      album(slotAt(index).file, kReorganize),
      work(kReorganize) {}

}  // namespace afm3

extern "C" int WINAPI afm3ReorganizeAbm(HINSTANCE ownerKey, HANDLE* handlePtr, DWORD,
                                        const WORD* recordOrder, HWND progressWindow) {
  using namespace afm3;
  ErrorModeGuard errorMode;
  if (handlePtr == nullptr) {
    reportError(kErrNotOpenAlbum, kReorganize, kStepNotOpen);
    return 0;
  }
  const int index = findVersion3Slot(ownerKey, *handlePtr, kReorganize);
  if (index < 0) return 0;
  // Nothing is done to an album others may be writing.
  if (slotAt(index).shareMode & plat::kShareWrite) return 1;
  return reorganize(index, handlePtr, recordOrder, progressWindow);
}
