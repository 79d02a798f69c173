// The album information block: reading and replacing it on an open album,
// and checking any file for being an album of a known format version.
#include <cstring>

#include "afm3.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/caller_path.h"
#include "core/checksum.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/file_naming.h"
#include "core/heap_block.h"
#include "core/transaction.h"
#include "core/v2_layout.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr Location kReadInfo{kModRecordWrite, 4};
constexpr Location kUpdateInfo{kModRecordWrite, 5};
constexpr Location kCheck{kModAlbumMisc, 1};
constexpr uint32_t kV1HeaderSize = 192;
constexpr uint32_t kMagicAndVersionSize = 6;

// Reads size bytes from offset 0 and checks their checksum; the bytes are
// left in block.
bool readCheckedHeader(HANDLE file, uint32_t size, LockedBlock* block, uint32_t readStep,
                       uint32_t checksumStep) {
  if (!block->allocate(size)) {
    reportError(kErrNoMemory, kCheck, readStep);
    return false;
  }
  if (!readAt(file, 0, block->get(), size, kCheck, readStep, readStep)) return false;
  if (!checksumHolds(block->get(), size)) {
    reportError(kErrNotAnAlbum, kCheck, checksumStep);
    return false;
  }
  return true;
}

uint32_t checkOpenFile(HANDLE file, uint8_t* out) {
  uint8_t start[kMagicAndVersionSize];
  if (!readAt(file, 0, start, sizeof start, kCheck, 3, 3)) return 0;
  if (!hasAlbumMagic(start)) {
    reportError(kErrNotAnAlbum, kCheck, 4);
    return 0;
  }
  const uint32_t version = (uint32_t{start[4]} << 8) | start[5];
  LockedBlock header;
  switch (version) {
    case kVersion3:
      if (!readCheckedHeader(file, kHeaderSize, &header, 10, 11)) return 0;
      if (out != nullptr) AlbumHeader(header.get()).loadInfo(out);
      return version;
    case kVersion10:
    case kVersion12:
      if (!readCheckedHeader(file, kV1HeaderSize, &header, 5, 6)) return 0;
      if (out != nullptr) std::memcpy(out, header.get(), kV1HeaderSize);
      return version;
    case kVersion2:
      if (!readCheckedHeader(file, kV2HeaderSize, &header, 7, 8)) return 0;
      if (out != nullptr) std::memcpy(out, header.get(), kV2HeaderSize);
      return version;
    default:
      reportError(kErrNotAnAlbum, kCheck, 9);
      return 0;
  }
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" BOOL WINAPI afm3ReadBasicAlbumInfo(HINSTANCE ownerKey, HANDLE album, void* info) {
  ErrorModeGuard errorMode;
  const int index = findVersion3Slot(ownerKey, album, kReadInfo);
  if (index < 0) return FALSE;
  // Another process may have changed the information (and the rest of the
  // header) since this album was last looked at.
  if (!syncWithFile(index)) return FALSE;
  if (info != nullptr) AlbumHeader(slotAt(index).header).loadInfo(static_cast<uint8_t*>(info));
  return TRUE;
}

extern "C" BOOL WINAPI afm3UpdateBasicAlbumInfo(HINSTANCE ownerKey, HANDLE album,
                                                const void* info) {
  ErrorModeGuard errorMode;
  const int index = findVersion3Slot(ownerKey, album, kUpdateInfo);
  if (index < 0) return FALSE;
  if (info == nullptr) {
    reportError(kErrHeaderWrite, kUpdateInfo, 1);  // no information to write
    return FALSE;
  }
  WriteTransaction transaction(index, kUpdateInfo, 2);
  if (!transaction.ok()) return FALSE;
  AlbumSlot& slot = slotAt(index);
  // The new header is built aside and takes the slot's place only once it
  // is in the file, so a failed write leaves both as they were.
  uint8_t updated[kHeaderSize];
  std::memcpy(updated, slot.header, kHeaderSize);
  AlbumHeader header(updated);
  const uint16_t next = header.nextRecordNumber();
  header.storeInfo(static_cast<const uint8_t*>(info));
  header.setNextRecordNumber(next);
  header.storeChecksum();
  if (!seekTo(slot.file, 0, kUpdateInfo, 1) ||
      !writeExact(slot.file, updated, kHeaderSize, kErrHeaderWrite, kUpdateInfo, 1))
    return FALSE;
  std::memcpy(slot.header, updated, kHeaderSize);
  return TRUE;
}

extern "C" DWORD WINAPI afm3CheckAlbum(DWORD, DWORD, HANDLE file, LPCSTR path, void* out) {
  ErrorModeGuard errorMode;
  const CallerPath albumPath(path);
  path = albumPath.get();
  if (file != nullptr) return checkOpenFile(file, static_cast<uint8_t*>(out));
  if (path == nullptr || !fileExists(path)) {
    reportError(uint32_t{kErrSystemBase} + plat::kErrFileNotFound, kCheck, 1);
    return 0;
  }
  HANDLE opened = plat::openFile(path, plat::kGenericRead, plat::kShareRead | plat::kShareWrite,
                                 plat::Disposition::OpenExisting);
  if (opened == plat::invalidFile()) {
    reportSystemError(plat::lastError(), kCheck, 2);
    return 0;
  }
  const uint32_t version = checkOpenFile(opened, static_cast<uint8_t*>(out));
  plat::closeFile(opened);
  return version;
}
