// Changing an album's field scheme in place (afm3ChangeScheme): removals,
// renames and additions, each a pass of its own that ends with the header
// written and the file committed.
//
// Change record (67 bytes, a FieldSpec with byte 1 as the operation):
//   0 field number (removal, rename) or, for an addition, the number it
//     was given (written back)
//   1 0x40 remove (0x80 added once the field was found), 0x20 rename,
//     anything else an addition of type (byte & 0x0F), 0..12
//   2 name, NUL-terminated (rename, addition)   66 index attribute (addition)
//
// Every pass appends what it changes (FieldDef table, FieldNameList,
// IndexList, RowBlocks with the added values, RowDirectory, heap entries
// and out-of-row values) and then rewrites the header, which is the one
// write that makes the change. A stop before the header leaves the album
// as the previous pass left it, plus unused space at the end of the file
// (and heap entries in the unclaimed tail of the current heap block). The
// slot's copies of the header and tables take the new state only once the
// header is written; after a failure they are read again from the file.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/album_header.h"
#include "core/error_report.h"
#include "core/heap_block.h"

namespace afm3 {

constexpr Location kChangeScheme{kModReopen, 2};
constexpr Location kChangeSchemeIndex{kModReopen, 1};

enum SchemeStep : uint32_t {
  kSchemeStepNotOpen = 0,
  kSchemeStepDiskSpace = 1,
  kSchemeStepWriteRemovedDefs = 3,
  kSchemeStepRemovalHeader = 4,
  kSchemeStepNameBuffer = 5,
  kSchemeStepWriteNames = 8,
  kSchemeStepRenameHeader = 9,
  kSchemeStepTooManyFields = 10,
  kSchemeStepAddNameBuffer = 11,
  kSchemeStepBadType = 13,  // an addition of a type code above 12
  kSchemeStepDefsBuffer = 14,
  kSchemeStepRowBuffer = 15,
  kSchemeStepSeekRows = 16,
  kSchemeStepReadRows = 17,
  kSchemeStepWriteRowBlock = 17,
  kSchemeStepWriteRowDir = 19,
  kSchemeStepBlockBuffer = 20,
  kSchemeStepSeekText = 23,
  kSchemeStepReadText = 24,
  kSchemeStepTextBuffer = 25,
  kSchemeStepWriteTextBlock = 33,
  kSchemeStepSeekMemo = 34,
  kSchemeStepReadMemo = 35,
  kSchemeStepMemoBuffer = 36,
  kSchemeStepWriteMemoBlock = 44,
  kSchemeStepWriteAddedDefs = 45,
  kSchemeStepWriteAddedNames = 46,
  kSchemeStepAdditionHeader = 47,
  kSchemeStepWriteRenamedDefs = 48,
  kSchemeStepWriteValues = 50,
  kSchemeStepSeekIndexList = 60,
  kSchemeStepBeginUpdate = 100,
  kSchemeStepReadIndexList = 117,
};

// What one pass hands to the commit: the new header and the tables it
// points to (null: the slot's copy stays).
struct PassResult {
  uint8_t header[kHeaderSize] = {};
  LockedBlock defs;
  LockedBlock names;
  LockedBlock rowDir;
};

// Appends to the album file, keeping its end.
class AlbumAppender {
 public:
  AlbumAppender(HANDLE file, uint32_t end) : file_(file), end_(end) {}
  uint32_t end() const { return end_; }
  bool append(const void* bytes, uint32_t count, uint32_t errorId, uint32_t step);
  bool writeAt(uint32_t offset, const void* bytes, uint32_t count, uint32_t errorId, uint32_t step);

 private:
  HANDLE file_;
  uint32_t end_;
};

// The additions: new FieldDefs, names and IndexList entries, a value of
// each added field for every record, rows moved to wider slots when the
// slack is too narrow. Fills result (nothing is visible until the header
// is written); false after a report.
// added[i] is 1 for each change record that is an addition.
bool buildAdditions(int slotIndex, uint8_t* changes, uint32_t count, const uint8_t* added,
                    AlbumAppender& out, PassResult& result);

// Whether a change record is of each kind.
constexpr uint8_t kChangeRemove = 0x40;
constexpr uint8_t kChangeRename = 0x20;
constexpr uint8_t kChangeRemoveDone = 0x80;
constexpr uint32_t kChangeRecordSize = 67;
constexpr uint32_t kChangeNameAt = 2;
constexpr uint32_t kChangeIndexAt = 66;
inline bool isRemoval(const uint8_t* change) { return change[1] == kChangeRemove; }
inline bool isRename(const uint8_t* change) { return change[1] == kChangeRename; }

}  // namespace afm3
