// The free-space rule of the maintenance runs: before anything is written
// the album's drive must have room for what the run may append.
#pragma once

#include <cstdint>

#include "core/album_table.h"
#include "core/error_report.h"

namespace afm3 {

// Whether the drive of the slot's album has at least needed bytes free;
// otherwise reports message 6402 (free space, path root, needed) as text
// with error 0 and the caller's location, and returns false.
bool enoughDiskSpace(const AlbumSlot& slot, double needed, Location where, uint32_t step);

}  // namespace afm3
