// The calling thread's last error and the process error mode.
#include "errors.h"

#include <atomic>
#include <cerrno>

#include "afm3_compat.h"
#include "platform.h"

namespace qwin {

namespace {
thread_local uint32_t t_lastError = 0;
std::atomic<uint32_t> g_errorMode{0};
}  // namespace

void setError(uint32_t code) { t_lastError = code; }

bool fail(uint32_t code) {
  t_lastError = code;
  return false;
}

bool failErrno() { return fail(errorFromErrno(errno)); }

uint32_t errorFromErrno(int err) {
  switch (err) {
    case 0:
      return plat::kErrSuccess;
    case ENOENT:
      return plat::kErrFileNotFound;
    case ENOTDIR:
    case ELOOP:
      return plat::kErrPathNotFound;
    case EMFILE:
    case ENFILE:
      return plat::kErrTooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EISDIR:
      return plat::kErrAccessDenied;
    case EBADF:
      return plat::kErrInvalidHandle;
    case ENOMEM:
      return plat::kErrNotEnoughMemory;
    case EROFS:
      return plat::kErrWriteProtect;
    case EBUSY:
    case ETXTBSY:
      return plat::kErrSharingViolation;
    case EAGAIN:
      return plat::kErrLockViolation;
    case EEXIST:
      return plat::kErrFileExists;
    case EINVAL:
      return plat::kErrInvalidParameter;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return plat::kErrDiskFull;
    case ENAMETOOLONG:
      return plat::kErrFilenameExcedRange;
    case ENOTEMPTY:
      return plat::kErrDirNotEmpty;
    case EXDEV:
      return kErrNotSameDevice;
    case EINTR:
      return plat::kErrSignalPending;
    case EIO:
      return plat::kErrGenFailure;
    default:
      return plat::kErrGenFailure;
  }
}

}  // namespace qwin

namespace plat {

uint32_t lastError() { return qwin::t_lastError; }
void setLastError(uint32_t code) { qwin::t_lastError = code; }

uint32_t setErrorMode(uint32_t mode) { return qwin::g_errorMode.exchange(mode); }

}  // namespace plat

extern "C" {

DWORD GetLastError(void) { return qwin::t_lastError; }
void SetLastError(DWORD code) { qwin::t_lastError = code; }

}  // extern "C"
