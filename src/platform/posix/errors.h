// Error reporting of the POSIX emulation: every failing call leaves a
// Windows error number in a thread-local slot, as GetLastError() does.
#pragma once

#include <cstdint>

namespace qwin {

// Stores code as the calling thread's last error.
void setError(uint32_t code);
// The Windows error that best matches an errno value.
uint32_t errorFromErrno(int err);
// Stores code and returns false, for the common "fail with X" exits.
bool fail(uint32_t code);
// Stores the Windows error of the current errno and returns false.
bool failErrno();

// Windows error numbers outside the plat::WinError set that the emulation
// reports.
enum : uint32_t {
  kErrNotSameDevice = 17,
  kErrDirNotRoot = 144,
  kErrBufferOverflow = 111,
  kErrMoreData = 234,
  kErrDirectory = 267,
  kErrInvalidWindowHandle = 1400,
  kErrControlIdNotFound = 1421,
  kErrResourceDataNotFound = 1812,
  kErrResourceTypeNotFound = 1813,
  kErrResourceNameNotFound = 1814,
  kErrBadDevice = 1200,
};

}  // namespace qwin
