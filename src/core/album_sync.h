// Keeping an open album's in-memory state in step with its file.
//
// An album opened with write sharing may be changed by other processes
// between two calls. Such a slot checks the file before it uses anything
// it keeps in memory: writers once they hold the whole-file lock, readers
// before they look anything up. The header plays the part of a change
// counter: every changing operation rewrites it, so when the 1798 bytes on
// disk equal the slot's copy the directories are still right; when the row
// geometry or the field counts moved (a scheme change) every table is read
// again. FieldDefs are read again every time (a value table is re-pointed
// in place without touching the header), and the block caches are always
// dropped (a row or heap entry may have been rewritten in place). Without write sharing no
// other process can write and nothing extra is read.
#pragma once

#include <cstdint>

#include "core/album_table.h"
#include "core/error_report.h"

namespace afm3 {

// Whether another process may change the album while this slot has it open.
bool sharesWriting(const AlbumSlot& slot);

// Brings the slot in step with the file (see above). False after a report
// (reading failed, or the header on disk is no longer a valid version-3
// header that fits the file); the slot's header copy then still
// differs from the file, so the next call tries again.
bool syncWithFile(int slotIndex);

// Reads the header, FieldDef table, FieldNameList, PageDirectory and
// RowDirectory from the file and puts them in the slot in place of its
// copies, whatever changed: for an operation that may have left its
// in-memory state and the file apart. All or nothing: false after a
// report, and the slot is then as it was.
bool reloadFromFile(int slotIndex);

// The slot of an open album for a read, in step with its file; kNoOpenSlot
// when no such album is open (nothing reported, the caller reports as it
// does for a failed lookup), kSyncFailed after syncWithFile reported.
constexpr int kNoOpenSlot = -1;
constexpr int kSyncFailed = -2;
int findSlotForRead(HINSTANCE ownerKey, HANDLE file);

}  // namespace afm3
