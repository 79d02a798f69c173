// The two files of a rebuild: the album, read through a window of its
// bytes, and the work file the new album is appended to.
//
// Every read and write reports its own failure with the caller's step, so
// the rebuild code reads as the list of its steps. Offsets and lengths read
// from the album are checked against its size before anything is allocated
// or read (an album that lies about them fails with a short read).
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"
#include "core/heap_block.h"

namespace afm3 {

// The album file, opened by its slot and not changing during the run (no
// other process writes it: the album is open without write sharing). Reads
// come from a few windows of up to 16 KB each: a rebuild walks several
// regions of the album at once (pages and strings, rows and heap entries),
// and one window per region keeps its many small reads to few system
// calls. A miss refills the window used longest ago.
class AlbumReader {
 public:
  AlbumReader(HANDLE file, Location where) : file_(file), where_(where) {}
  AlbumReader(const AlbumReader&) = delete;
  AlbumReader& operator=(const AlbumReader&) = delete;

  // Allocates the window and learns the file size; false after reporting
  // 6401 with step.
  bool open(uint32_t step);
  uint32_t size() const { return size_; }
  bool fits(uint64_t offset, uint64_t count) const { return offset + count <= size_; }

  // Reads count bytes at offset: a failed positioning reports 6406 with
  // seekStep; bytes past the end of the file report 6424, a read that kept
  // meeting another process's lock 6633, both with readStep.
  bool read(uint64_t offset, void* out, uint32_t count, uint32_t seekStep, uint32_t readStep);
  bool readU16(uint64_t offset, uint16_t* value, uint32_t seekStep, uint32_t readStep);
  bool readU32(uint64_t offset, uint32_t* value, uint32_t seekStep, uint32_t readStep);

 private:
  static constexpr int kWindows = 4;
  struct Window {
    uint64_t at = 0;
    uint32_t bytes = 0;
    uint32_t lastUse = 0;
  };
  // The window that holds [offset, offset + count), refilled when none
  // does; nullptr after a report.
  Window* windowFor(uint64_t offset, uint32_t count, uint32_t seekStep, uint32_t readStep);
  uint8_t* bytesOf(const Window& w) const;

  HANDLE file_;
  Location where_;
  uint32_t size_ = 0;
  LockedBlock buffer_;  // the windows' bytes, back to back
  Window windows_[kWindows];
  uint32_t uses_ = 0;
};

// The work file: created anew (write access, not shared), appended to
// front to back, with a few writes back into what is already written.
// Appends gather in a 64 KB buffer that goes out when full, before a write
// back and before a flush, so the file is written in large pieces; end()
// counts what is gathered.
// Unless kept, it is closed and deleted when the object goes away, so
// every failure and a cancel leave no work file behind.
class WorkFile {
 public:
  explicit WorkFile(Location where) : where_(where) {}
  ~WorkFile();
  WorkFile(const WorkFile&) = delete;
  WorkFile& operator=(const WorkFile&) = delete;

  // false when the file cannot be created (nothing reported: the caller
  // reports the system error).
  bool create(const char* path);
  const char* path() const { return path_; }
  // The end of the file: where the next append lands.
  uint32_t end() const { return end_; }

  // Appends count bytes; a failed or short write (or a file that would
  // pass 4 GB) reports 6405 with step.
  bool append(const void* bytes, uint32_t count, uint32_t step);
  // Writes count bytes at offset (inside what is written) and returns to
  // the end: 6406 with seekStep, 6405 with writeStep.
  bool writeAt(uint32_t offset, const void* bytes, uint32_t count, uint32_t seekStep,
               uint32_t writeStep);
  // Flushes the file's buffers to disk; 6405 with step.
  bool flush(uint32_t step);
  // Closes the file and keeps it (after flush(): nothing is gathered).
  void closeAndKeep();
  // Closes the file (when open) and deletes it.
  void discard();

 private:
  Location where_;
  // Writes out what is gathered; 6405 with step.
  bool drain(uint32_t step);

  HANDLE file_ = nullptr;
  bool created_ = false;
  uint32_t end_ = 0;
  LockedBlock pending_;
  uint32_t pendingBytes_ = 0;
  char path_[MAX_PATH] = {};
};

}  // namespace afm3
