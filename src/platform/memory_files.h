// Files held in memory, for fuzzing and fast tests.
//
// put() makes the drive of its path ("M:\fuzz.ab3") a memory drive: from
// then on every file and path function of the platform (open, read, write,
// seek, size, locks, times, attributes, folder searches, delete, move,
// copy, volume information, drive type, free space, short and long names)
// works on that drive's files in memory, without touching the disk. A
// memory drive has one folder, its root; files may be created there like
// on any drive. Byte-range locks bind other handles as on disk; share
// modes are not enforced. Writes go through the fault gate like disk ones.
//
// The POSIX backend implements them; on Windows put() fails (error 50) and
// nothing is ever in memory.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace plat::memoryFiles {

// Creates or replaces the memory file at path (a name in a drive's root)
// with a copy of bytes; false for another kind of path.
bool put(const char* path, const uint8_t* bytes, size_t n);
// A copy of the memory file at path; false when there is none.
bool get(const char* path, std::vector<uint8_t>* bytes);
// Forgets every memory file and drive. Handles still open keep their file's
// bytes until they are closed.
void clear();

}  // namespace plat::memoryFiles
