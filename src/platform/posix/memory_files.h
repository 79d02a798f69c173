// The memory drives behind plat::memoryFiles: which paths they own and the
// files in their roots. Handle operations on a memory file live with the
// other handle operations (files.cpp).
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "paths.h"

namespace qwin {

struct MemoryFile {
  std::mutex mutex;
  std::vector<uint8_t> bytes;
  uint32_t attributes;  // archive, plus read-only when set
  uint64_t creationTime;
  uint64_t lastWriteTime;
  // Every handle's lockFile ranges, so locks bind the other handles.
  struct Range {
    const void* owner;
    uint64_t offset, length;
  };
  std::vector<Range> locks;

  MemoryFile();
  // Whether a handle other than owner locked a range overlapping
  // [offset, offset + length). Caller holds mutex.
  bool lockedByOther(const void* owner, uint64_t offset, uint64_t length) const;
};

// A parsed path on a memory drive.
struct MemoryPath {
  WinPath win;
  std::string key;  // upper-case full path
  bool isRoot() const { return win.parts.empty(); }
  // A name directly in the root (the only folder of a memory drive).
  bool inRoot() const { return win.parts.size() == 1 && !win.trailingSeparator; }
};

// Whether path lies on a memory drive. Costs one test while no memory drive
// exists.
bool memoryPath(const char* path, MemoryPath* out);
// Whether a drive letter (upper case) is a memory drive.
bool memoryDrive(char letter);

std::shared_ptr<MemoryFile> findMemoryFile(const MemoryPath& path);
std::shared_ptr<MemoryFile> createMemoryFile(const MemoryPath& path);
bool eraseMemoryFile(const MemoryPath& path);
// Renames within one memory drive; false with the Windows error otherwise.
bool renameMemoryFile(const MemoryPath& from, const MemoryPath& to);

struct MemoryEntry {
  std::string name;  // as created
  std::shared_ptr<MemoryFile> file;
};
// The files of a memory drive's root, sorted by name.
std::vector<MemoryEntry> memoryFolder(char letter);

// The errors of the path functions for a path that is no file of the drive:
// its root is a folder (access denied), anything below a missing folder is
// error 3, else error 2.
bool failMissingMemoryFile(const MemoryPath& path);

}  // namespace qwin
