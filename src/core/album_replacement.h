// Replacing an album file by a rebuilt copy, and finishing a replacement
// that a stopped process left half done.
//
// A rebuild (reorganizing) writes the new album as "~~qarvo~.ab3" in the
// album's folder. Its first write is a placeholder header whose checksum
// is spoiled on purpose; every other structure follows; the file is
// flushed; the real header goes to offset 0 last and the file is flushed
// again. Only then is the album file deleted and the work file renamed to
// the album's name. A process stopped between the deletion and the rename
// leaves the album only as the work file: opening the album path moves a
// complete work file into place first.
//
// A work file is complete when
//   - its header holds the magic, version 3.0 and a checksum that matches
//     (the placeholder's never does, so a file cut short before its final
//     header fails here);
//   - the header's counts and offsets fit the file (headerLayoutFits) and
//     the page directory starts right after the header, as a rebuild puts
//     it;
//   - the file ends exactly where the last structure a rebuild writes
//     ends: the IndexList when the header names one (offset + 2 + 8 x its
//     count), else the RowDirectory (offset + 4 x rowDirCount).
#pragma once

#include <cstdint>

#include "core/album_header.h"

namespace afm3 {

constexpr const char* kRebuildFileName = "~~qarvo~.ab3";

// The work file's path beside the album (folder of albumPath + the name);
// false when it would not fit size bytes.
bool rebuildFilePath(const char* albumPath, char* out, uint32_t size);

// Makes the placeholder header's checksum wrong, so that a work file whose
// final header was never written is never taken for an album.
void spoilHeaderChecksum(uint8_t* header);

// Where the structures of a rebuilt album end: the IndexList (indexCount
// entries) when the header names one, else the RowDirectory.
uint64_t rebuiltLayoutEnd(const AlbumHeader& header, uint16_t indexCount);

// Whether the file at path is a complete rebuilt album (see above).
bool isCompleteRebuild(const char* path);

// When no file exists at albumPath and a complete work file lies in its
// folder, renames the work file to albumPath. Returns whether it did.
bool finishInterruptedReplacement(const char* albumPath);

}  // namespace afm3
