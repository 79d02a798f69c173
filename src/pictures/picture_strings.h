// Strings and data blocks a RecordEntry points to: {u16 n, n bytes},
// appended at the end of the album file. For strings A and B, n counts the
// terminating NUL.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"

namespace afm3 {

// Strings A and B hold at most a path: 259 characters and the NUL.
constexpr uint32_t kStoredStringMax = 260;

struct StoredStringSteps {
  Location where;
  uint32_t seek;     // 6406
  uint32_t length;   // 6424/6633 reading the u16
  uint32_t bytes;    // 6424/6633 reading the bytes, or bytes beyond the file
  uint32_t tooLong;  // 6444: n over maxStored
};

// Reads the string at offset into out: n must be at most maxStored (out
// holds maxStored bytes) and lie inside the file. out always ends with a
// NUL, the stored one or one put over its last byte. False after a report.
bool readStoredString(HANDLE file, uint32_t offset, uint32_t maxStored, char* out,
                      const StoredStringSteps& steps);

struct AppendSteps {
  Location where;
  uint32_t length;  // 6405: the u16
  uint32_t bytes;   // 6405: the bytes
};

// Appends {u16 n, n bytes} at the end of the file; returns where it
// starts, or 0 after a report. The caller keeps n within 65535.
uint32_t appendBlock(HANDLE file, const void* bytes, uint32_t n, const AppendSteps& steps);
// Appends a string with its NUL.
uint32_t appendStoredString(HANDLE file, const char* text, const AppendSteps& steps);

}  // namespace afm3
