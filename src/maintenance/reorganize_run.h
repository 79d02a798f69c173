// The state of one reorganization (afm3ReorganizeAbm) and its passes.
//
// The album is only read: through its slot's tables (the old PageDirectory,
// RowDirectory, FieldDef table and FieldNameList) and an AlbumReader. The
// new album is appended to the work file in this order:
//    1 header placeholder (checksum spoiled)   2 PageDirectory (P entries)
//    3 P fresh RecordPages                     4 per record: string A,
//      string B, picture-file data, image      5 compacted value tables
//    6 kept FieldDefs   7 FieldNameList        8 text heap blocks
//    9 memo heap blocks                        10 per record: type-9 strings
//      and type-10 values                      11 RowBlocks  12 RowDirectory
//   13 IndexList (when entries are left)
// with these writes back into what is written: the PageDirectory's real
// offsets after the pages, each RecordPage once its entries are copied,
// and the final header at offset 0, after a flush and followed by one.
// Nothing points outside the work file once the header is in place: a
// structure that has no copy (a heap without live fields, an empty value
// table) gets offset 0.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/album_header.h"
#include "core/album_table.h"
#include "core/error_report.h"
#include "core/field_types.h"
#include "core/heap_block.h"
#include "maintenance/progress_messages.h"
#include "maintenance/rebuild_io.h"
#include "records/record_encoding.h"

namespace afm3 {

constexpr Location kReorganize{kModReorganize, 1};

enum ReorganizeStep : uint32_t {
  kStepNotOpen = 0,
  kStepDiskSpace = 1,
  kStepWorkBuffer = 2,
  kStepCreateWorkFile = 3,
  kStepReadHeader = 4,
  kStepWritePlaceholder = 5,
  kStepSeekPage = 8,
  kStepReadPage = 9,
  kStepWriteFreshPage = 10,
  kStepWritePageDir = 11,
  kStepDefsCopy = 32,
  kStepWriteFieldDefs = 35,
  kStepWriteNames = 36,
  kStepNewPageDir = 37,
  kStepNewRowDir = 38,
  kStepRowBuffer = 39,
  kStepSeekOldRow = 48,
  kStepReadOldRow = 49,
  kStepWriteRows = 59,
  kStepWriteRowDir = 60,
  kStepWriteHeader = 61,
  kStepNameBuffer = 81,
  kStepBeginUpdate = 93,
  kStepSeekIndexList = 116,
  kStepReadIndexList = 117,
  kStepWriteIndexList = 118,
  // Failures the table of the operation does not name.
  kStepOrderRefused = 119,  // an order that is not a permutation of the live records
  kStepRename = 120,        // the work file could not take the album's name
  kStepReopen = 121,        // the album could not be opened again after the replacement
};

enum class Outcome { Done, Failed, Cancelled };

constexpr uint32_t kHeapBlockBytes = 16384;
constexpr uint32_t kLiveMapBytes = 0x10000 / 8;  // one bit per record number
constexpr uint32_t kCopyBufferBytes = 0x10000 + 2;

struct ReorganizeRun {
  ReorganizeRun(int slotIndex, const WORD* recordOrder, HWND progressWindow);
  AlbumSlot& slot() const { return slotAt(slotIndex); }
  AlbumHeader oldHeader() const { return headerOf(slot()); }
  AlbumHeader newHeader() { return AlbumHeader(header); }
  bool ordered() const { return order != nullptr; }

  int slotIndex;
  const WORD* order;
  ProgressMessages progress;
  AlbumReader album;
  WorkFile work;

  uint8_t header[kHeaderSize] = {};  // the new header, read from the album first
  LockedBlock liveMap;               // bit r: old record r is live
  uint32_t liveCount = 0;
  uint32_t records = 0;    // N, the records of the new album
  LockedBlock oldNumbers;  // u16 per new record: its old number
  LockedBlock pageDir;     // the new PageDirectory, u32 per page
  uint32_t pages = 0;      // P
  LockedBlock page;        // one RecordPage (old ones read, new ones filled)
  LockedBlock copyBuffer;  // one string or heap entry with its length word
  LockedBlock oldRow;      // one old row slot

  // The new scheme.
  LockedBlock defs;  // FieldDefs; the kept ones first once the scheme is copied
  uint32_t keptFields = 0;
  LockedBlock names;
  uint32_t namesSize = 0;
  LockedBlock indexList;  // u16 count and entries, when the album has one
  bool hadIndexList = false;
  uint16_t indexCount = 0;
  LockedBlock remap[kMaxFields];  // by old field number: a compacted table's remap
  uint16_t remapCount[kMaxFields] = {};
  bool droppingFields = false;            // the album has removed fields
  uint32_t rowDataSize = kRowHeaderSize;  // the new rows, when fields are dropped

  // The new rows.
  RowGeometry geometry{};
  uint32_t rowBlocks = 0;
  LockedBlock rows;    // every new RowBlock, back to back
  LockedBlock rowDir;  // the new RowDirectory
};

// Set-up: the live records and the order (refused before anything is
// written), the new PageDirectory and the fresh pages.
bool findLiveRecords(ReorganizeRun& run);
bool writeFreshPages(ReorganizeRun& run);
// Phase 1: the RecordEntries with their strings, picture-file data and
// images.
Outcome copyRecords(ReorganizeRun& run);
// Phase 2: value tables, FieldDefs, names and the IndexList in memory.
Outcome copyScheme(ReorganizeRun& run);
// The new row geometry and the buffer of every new row.
bool planRows(ReorganizeRun& run);
// Phases 3 and 4, announced only when a live text or memo field exists.
Outcome rewriteHeaps(ReorganizeRun& run);
// Phase 5: the fixed-size values with type-9 strings and type-10 values.
Outcome copyRows(ReorganizeRun& run);
// RowBlocks, RowDirectory and IndexList.
bool writeRowsAndIndex(ReorganizeRun& run);

// Old record r's row slot (zeros for a record without a row), read into
// run.oldRow; false after a report.
bool readOldRow(ReorganizeRun& run, uint32_t record, uint32_t seekStep, uint32_t readStep);
// Where new record n's row slot lies in run.rows.
uint8_t* newRow(ReorganizeRun& run, uint32_t n);
uint16_t oldNumber(const ReorganizeRun& run, uint32_t n);

}  // namespace afm3
