// Conversions shared by the Win32 backend's files.
#pragma once

#include <cstdint>

#include "platform.h"

namespace plat::win32 {

inline uint64_t fromFileTime(const FILETIME& time) {
  return (static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime;
}

inline FILETIME toFileTime(uint64_t value) {
  FILETIME time;
  time.dwLowDateTime = static_cast<DWORD>(value);
  time.dwHighDateTime = static_cast<DWORD>(value >> 32);
  return time;
}

inline DWORD low32(uint64_t value) { return static_cast<DWORD>(value); }
inline DWORD high32(uint64_t value) { return static_cast<DWORD>(value >> 32); }

// Restores the thread's last error when it goes out of scope, so clean-up
// calls made after a failure cannot overwrite the error of that failure.
class KeepLastError {
 public:
  KeepLastError() : code_(GetLastError()) {}
  ~KeepLastError() { SetLastError(code_); }
  KeepLastError(const KeepLastError&) = delete;
  KeepLastError& operator=(const KeepLastError&) = delete;

 private:
  DWORD code_;
};

}  // namespace plat::win32
