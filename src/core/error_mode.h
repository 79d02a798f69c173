// Exported functions that touch files make missing media fail with an
// error code instead of a system dialog, and restore the caller's error
// mode on every return.
#pragma once

#include <cstdint>

#include "platform.h"

namespace afm3 {

// SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX
constexpr uint32_t kQuietErrorMode = 0x8003;

class ErrorModeGuard {
 public:
  ErrorModeGuard() : previous_(plat::setErrorMode(kQuietErrorMode)) {}
  ~ErrorModeGuard() { plat::setErrorMode(previous_); }
  ErrorModeGuard(const ErrorModeGuard&) = delete;
  ErrorModeGuard& operator=(const ErrorModeGuard&) = delete;

 private:
  uint32_t previous_;
};

}  // namespace afm3
