#include "core/album_io.h"

#include "platform.h"

namespace afm3 {

namespace {

bool lockedOut(uint32_t error) {
  return error == plat::kErrAccessDenied || error == plat::kErrLockViolation ||
         error == plat::kErrSignalPending;
}

}  // namespace

uint32_t retryingRead(HANDLE file, void* buffer, uint32_t count) {
  for (uint32_t attempt = 1;; ++attempt) {
    uint32_t done = 0;
    if (plat::readFile(file, buffer, count, &done)) return done;
    if (!lockedOut(plat::lastError())) return done;
    if (attempt == kReadAttempts) return kReadGaveUp;
    plat::sleepMs(kReadRetryDelayMs);
  }
}

bool seekTo(HANDLE file, uint32_t offset, Location where, uint32_t step, uint32_t errorId) {
  if (plat::seekFile(file, offset, plat::SeekFrom::Begin) == offset) return true;
  reportError(errorId, where, step);
  return false;
}

uint32_t seekToEnd(HANDLE file, Location where, uint32_t step, uint32_t errorId) {
  const uint32_t end = plat::seekFile(file, 0, plat::SeekFrom::End);
  if (end == 0xFFFFFFFFu) reportError(errorId, where, step);
  return end;
}

bool readExact(HANDLE file, void* buffer, uint32_t count, Location where, uint32_t step) {
  const uint32_t done = retryingRead(file, buffer, count);
  if (done == count) return true;
  reportError(done == kReadGaveUp ? kErrReadLocked : kErrShortRead, where, step);
  return false;
}

bool readAt(HANDLE file, uint32_t offset, void* buffer, uint32_t count, Location where,
            uint32_t seekStep, uint32_t readStep) {
  return seekTo(file, offset, where, seekStep) && readExact(file, buffer, count, where, readStep);
}

bool writeExact(HANDLE file, const void* buffer, uint32_t count, uint32_t errorId, Location where,
                uint32_t step) {
  uint32_t done = 0;
  if (plat::writeFile(file, buffer, count, &done) && done == count) return true;
  reportError(errorId, where, step);
  return false;
}

uint32_t fileLength(HANDLE file) { return plat::fileSize(file); }

}  // namespace afm3
