// A path a caller handed to an exported function, in the one form the
// library works with (plat::libraryPathOf: natively, host paths become
// drive paths). Null stays null; a path that does not convert (too long)
// is kept as given, so the operation refuses it as it refuses any path
// that is too long. A picture's path is stored as the caller's string and
// is meant to be a full path: only an absolute host path is converted, any
// other string is kept as it is.
#pragma once

#include <cstdint>

#include "platform.h"

namespace afm3 {

class CallerPath {
 public:
  enum class Kind { File, Picture };
  explicit CallerPath(const char* path, Kind kind = Kind::File) : given_(path) {
    const bool convert =
        path != nullptr && (kind == Kind::File || (path[0] == '/' && path[1] != '/'));
    converted_ = convert && plat::libraryPathOf(path, converted, sizeof converted);
  }
  CallerPath(const CallerPath&) = delete;
  CallerPath& operator=(const CallerPath&) = delete;
  const char* get() const { return converted_ ? converted : given_; }

 private:
  static constexpr uint32_t kRoom = 1024;  // past any path the library accepts
  const char* given_;
  char converted[kRoom] = {};
  bool converted_ = false;
};

}  // namespace afm3
