// Access and sharing as the open flags ask for them.
#pragma once

#include <cstdint>

namespace afm3 {

struct AccessRequest {
  uint32_t access;  // GENERIC_READ, or GENERIC_READ | GENERIC_WRITE
  uint32_t share;   // 0, FILE_SHARE_READ, or FILE_SHARE_READ | FILE_SHARE_WRITE
};

// 0x01 read-write, else 0x02 read-only, else read-write; 0x20 read and
// write sharing, else 0x10 none, else 0x40 read, else read and write.
AccessRequest accessFromFlags(uint32_t flags);

}  // namespace afm3
