// Names of album files: whether a file exists, the name an album gets from
// its title, and unique names beside existing files.
#pragma once

#include <cstdint>

namespace afm3 {

enum class NamingMode { Long, Short };

// Whether a file or folder exists at path. A network path that is not found
// is connected once (default credentials) and looked up again.
bool fileExists(const char* path);

// Whether the folder of path (everything up to its last backslash) takes
// new files: a probe file of that name is created there and deleted again.
bool folderAcceptsNewFile(const char* path, const char* probeName);

// Appends to folder (a 260-byte buffer ending in a backslash) a file name
// derived from the album title: on a long-name volume the title without the
// characters a file name cannot hold, on an 8.3 volume its first eight
// usable characters ("album000" when they include a double-byte character).
// Returns false after reporting 6429 when nothing usable is left.
bool appendNameFromTitle(char* path, const char* title, NamingMode mode);

// The naming mode of the volume that holds path.
NamingMode namingModeFor(const char* path);

// Makes path (a 260-byte buffer) name a file that does not exist yet, by
// numbering its base name. Returns false after reporting 6428 when every
// number is taken; path then holds the last candidate.
bool makeUniqueName(char* path, const char* extension, NamingMode mode);

// The album title of an AlbumInfo: its title field followed by its tail,
// each bounded by its room in the block.
void albumTitleOf(const uint8_t* info, char* out, uint32_t size);

}  // namespace afm3
