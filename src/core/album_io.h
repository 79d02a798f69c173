// Reading and writing album files: exact reads and writes that report
// their own failures, and the retrying read that waits out another
// process's lock.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"

namespace afm3 {

constexpr uint32_t kReadGaveUp = 0xFFFFFFFFu;
constexpr uint32_t kReadAttempts = 3;
constexpr uint32_t kReadRetryDelayMs = 500;

// Reads count bytes at the file pointer. A read refused because another
// process holds a lock (access denied, lock violation, signal pending) is
// tried again 500 ms later, three attempts in all; then the result is
// kReadGaveUp. Otherwise the result is the number of bytes read.
uint32_t retryingRead(HANDLE file, void* buffer, uint32_t count);

// Moves the file pointer; reports errorId (6406 unless given) on failure.
bool seekTo(HANDLE file, uint32_t offset, Location where, uint32_t step,
            uint32_t errorId = kErrSeek);
// The end of the file (its size), or 0xFFFFFFFF after reporting errorId.
uint32_t seekToEnd(HANDLE file, Location where, uint32_t step, uint32_t errorId = kErrSeek);
// Reads exactly count bytes with the retrying read; a shortfall reports
// 6424, or 6633 when the read kept meeting a lock.
bool readExact(HANDLE file, void* buffer, uint32_t count, Location where, uint32_t step);
// seekTo + readExact, with the same reports.
bool readAt(HANDLE file, uint32_t offset, void* buffer, uint32_t count, Location where,
            uint32_t seekStep, uint32_t readStep);
// Writes exactly count bytes; a failed or short write reports errorId.
bool writeExact(HANDLE file, const void* buffer, uint32_t count, uint32_t errorId, Location where,
                uint32_t step);

// The size of the file, or 0xFFFFFFFF.
uint32_t fileLength(HANDLE file);

}  // namespace afm3
