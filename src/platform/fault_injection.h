// Faults injected into the file functions, for tests.
//
// Both backends pass every readFile, writeFile, setEndOfFile, seekFile,
// lockFile, moveFile, deleteFile and copyFile through one gate
// (fault_points.h) before touching the file system. The gate counts the
// calls of each kind and, when armed, fails one of them or "kills the
// process" after the k-th mutating call: from then on writes and renames
// report success but change nothing, so a test can look at exactly what an
// interrupted operation would have left on disk. Process-wide state, not
// thread-safe: one test drives it at a time.
#pragma once

#include <cstdint>

namespace plat::faults {

// Read = readFile; Write = writeFile and setEndOfFile; Seek = seekFile;
// Lock = lockFile; Rename = moveFile, deleteFile, copyFile.
enum class Op : uint32_t { Read, Write, Seek, Lock, Rename };

enum class Mode : uint32_t {
  // The k-th call (1-based, counted from arm) of op fails with `error` (a
  // write writes nothing, a read reads nothing); every other call works.
  FailOne,
  // op must be Write. The k-th mutating call (Write and Rename kinds counted
  // together) and all before reach the file system; every later mutating
  // call is discarded and reports success, as if the process had been
  // killed right after the k-th one. Reads, seeks and locks still work.
  StopAfter,
};

void arm(Op op, uint32_t k, Mode mode, uint32_t error = 29 /* write fault */);
// Back to normal: nothing injected, nothing counted, counters cleared.
void disarm();
// Calls of op since arm() or reset().
uint32_t calls(Op op);
// Counters to 0 and counting on, with nothing armed.
void reset();
// Whether a StopAfter stop point was passed: some mutating call after the
// k-th was discarded. A sweep over k ends at the first k where this stays
// false (the operation made at most k mutating calls and completed).
bool stopped();
// Whether a FailOne fault was delivered.
bool failedAny();

}  // namespace plat::faults
