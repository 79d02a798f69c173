#include "core/transaction.h"

#include "afm3.h"
#include "core/album_open.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/clients.h"
#include "core/error_mode.h"
#include "core/heap_block.h"
#include "core/library_state.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr Location kBeginUpdate{kModPaths, 6};
constexpr Location kCommit{kModAlbumMisc, 10};
constexpr Location kReplace{kModAlbumMisc, 11};
constexpr Location kReopen{kModReopen, 1};
constexpr Location kCache{kModRecordWrite, 8};
constexpr uint32_t kOsKindReopens = 2;
constexpr WPARAM kNotificationCommit = 1;

LPARAM handlePair(HANDLE before, HANDLE after) {
  const auto low = [](HANDLE h) {
    return static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h)) & 0xFFFFu;
  };
  return static_cast<LPARAM>(low(before) | (low(after) << 16));
}

}  // namespace

uint32_t notificationMessage() { return plat::registerWindowMessage(kNotificationMessageName); }

uint32_t beginUpdate(int slotIndex, uint32_t* status) {
  AlbumSlot& slot = slotAt(slotIndex);
  *status = sharesWriting(slot) ? 0 : 1;
  if (*status == 1 || (slot.flags & kSlotExplicitLock)) return 0;
  if (plat::lockFile(slot.file, kLockOffset, kLockLength)) return 0;
  const uint32_t error = plat::lastError();
  reportSystemError(error, kBeginUpdate, 1);
  return error == 0 ? plat::kErrLockViolation : error;
}

void endUpdate(int slotIndex, uint32_t status) {
  AlbumSlot& slot = slotAt(slotIndex);
  if (status != 0 || (slot.flags & kSlotExplicitLock)) return;
  plat::unlockFile(slot.file, kLockOffset, kLockLength);
  if (slot.flags & kSlotCommitting) return;
  const HANDLE before = slot.file;
  const HINSTANCE ownerKey = slot.ownerKey;
  // The commit stores the new handle in the slot. A failed commit leaves
  // the slot its old handle, so the host can still name and close the
  // album, and nothing is announced.
  const HANDLE after = afm3CommitFile(ownerKey, before);
  const HWND window = clientWindow(ownerKey);
  if (window != nullptr && after != nullptr)
    plat::sendMessage(window, notificationMessage(), kNotificationCommit,
                      handlePair(before, after));
}

WriteTransaction::WriteTransaction(int slotIndex, Location where, uint32_t step, Sync sync)
    : slotIndex_(slotIndex) {
  const uint32_t error = beginUpdate(slotIndex, &status_);
  if (error != 0) {
    reportSystemError(error, where, step);
    return;
  }
  begun_ = true;
  // Under write sharing the change must start from what is on disk now.
  if (sync == Sync::Now && !syncWithFile(slotIndex)) {
    endUpdate(slotIndex, status_);
    begun_ = false;
  }
}

WriteTransaction::~WriteTransaction() {
  if (begun_) endUpdate(slotIndex_, status_);
}

}  // namespace afm3

using namespace afm3;

extern "C" BOOL WINAPI afm3BeginLock(HINSTANCE ownerKey, HANDLE album) {
  const int index = findSlot(ownerKey, album);
  if (index < 0) return FALSE;
  uint32_t status = 0;
  if (beginUpdate(index, &status) != 0) return FALSE;
  slotAt(index).flags |= kSlotExplicitLock;
  return TRUE;
}

extern "C" int WINAPI afm3EndLock(HINSTANCE ownerKey, HANDLE album) {
  const int index = findSlot(ownerKey, album);
  if (index < 0) return 0;
  slotAt(index).flags &= static_cast<uint8_t>(~kSlotExplicitLock);
  endUpdate(index, 0);
  return 1;
}

extern "C" HANDLE WINAPI afm3CommitFile(HINSTANCE ownerKey, HANDLE album) {
  ErrorModeGuard errorMode;
  int index = findVersion3Slot(ownerKey, album, kCommit);
  if (index < 0) return nullptr;
  const bool relock = (slotAt(index).flags & kSlotExplicitLock) != 0;
  if (relock) {
    slotAt(index).flags |= kSlotCommitting;
    afm3EndLock(ownerKey, album);
    slotAt(index).flags &= static_cast<uint8_t>(~kSlotCommitting);
  }
  AlbumSlot& slot = slotAt(index);
  if (libraryState().osKind == kOsKindReopens) {
    plat::closeFile(slot.file);
    HANDLE reopened =
        plat::openFile(slot.path, slot.access, slot.shareMode, plat::Disposition::OpenExisting);
    if (reopened == plat::invalidFile()) {
      reportSystemError(plat::lastError(), kCommit, 1);
      return nullptr;
    }
    slot.file = reopened;
  } else {
    plat::flushFile(slot.file);
  }
  const HANDLE current = slot.file;
  if (relock) afm3BeginLock(ownerKey, current);
  return current;
}

extern "C" HANDLE WINAPI afm3ReplaceFile(HINSTANCE ownerKey, HANDLE album, DWORD) {
  ErrorModeGuard errorMode;
  const int index = findVersion3Slot(ownerKey, album, kReplace);
  if (index < 0) return nullptr;
  AlbumSlot& slot = slotAt(index);
  HANDLE file =
      plat::openFile(slot.path, slot.access, slot.shareMode, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) {
    reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::ReopenAlbum), kReplace, 1);
    return nullptr;
  }
  slot.file = file;
  return file;
}

extern "C" BOOL WINAPI afm3ReOpenFile(HINSTANCE ownerKey, HANDLE* album, DWORD flags) {
  ErrorModeGuard errorMode;
  if (album == nullptr) {
    reportError(kErrNotOpenAlbum, kReopen, 0);
    return FALSE;
  }
  const int index = findVersion3Slot(ownerKey, *album, kReopen);
  if (index < 0) return FALSE;
  const AccessRequest request = accessFromFlags(flags);
  const bool relock = (slotAt(index).flags & kSlotExplicitLock) != 0;
  if (relock) afm3EndLock(ownerKey, slotAt(index).file);
  AlbumSlot& slot = slotAt(index);
  plat::closeFile(slot.file);
  HANDLE file =
      plat::openFile(slot.path, request.access, request.share, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) {
    reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::ReopenAlbum), kReopen, 1);
    return FALSE;
  }
  slot.file = file;
  slot.access = request.access;
  slot.shareMode = request.share;
  *album = file;
  if (relock) afm3BeginLock(ownerKey, file);
  return TRUE;
}

extern "C" BOOL WINAPI afm3CacheAlbum(HINSTANCE ownerKey, HANDLE album, BOOL keep) {
  const int index = findSlot(ownerKey, album);
  if (index < 0) return FALSE;
  AlbumSlot& slot = slotAt(index);
  if (!keep) {
    freeLocked(slot.rowCache);
    freeLocked(slot.textCache);
    freeLocked(slot.memoCache);
    slot.rowCacheOffset = slot.textCacheOffset = slot.memoCacheOffset = 0;
    slot.textCacheSize = slot.memoCacheSize = 0;
    slot.flags &= static_cast<uint8_t>(~kSlotKeepCaches);
    return TRUE;
  }
  if (slot.rowCache == nullptr) {
    slot.rowCache = allocateLocked(AlbumHeader(slot.header).rowBlockSize());
    if (slot.rowCache == nullptr) {
      reportError(kErrNoMemory, kCache, 1);
      return FALSE;
    }
    slot.rowCacheOffset = 0;
  }
  uint8_t** heaps[] = {&slot.textCache, &slot.memoCache};
  uint16_t* sizes[] = {&slot.textCacheSize, &slot.memoCacheSize};
  uint32_t* offsets[] = {&slot.textCacheOffset, &slot.memoCacheOffset};
  for (int k = 0; k < 2; ++k) {
    if (*heaps[k] != nullptr) continue;
    *heaps[k] = allocateLocked(2);
    if (*heaps[k] == nullptr) {
      reportError(kErrNoMemory, kCache, static_cast<uint32_t>(2 + k));
      freeLocked(slot.rowCache);
      freeLocked(slot.textCache);
      return FALSE;
    }
    *sizes[k] = 2;
    *offsets[k] = 0;
  }
  slot.flags |= kSlotKeepCaches;
  return TRUE;
}
