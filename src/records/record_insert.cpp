// Inserting a record: afm3InsertRecord.
//
// The record's page is made to exist first (pages and a grown page
// directory are written at once). Everything else is planned before the
// first byte is written: the running append position P starts at the end
// of the file and every new structure gets its offset from it. The writes,
// in order, and what a stop right after each leaves:
//   1. fresh pages, page directory (grown: appended; else rewritten in
//      place with only new pages added) — unused space;
//   2. row directory, a new row block, type-9 strings and type-10 values,
//      text and memo entries (in a new block or the current block's
//      unclaimed tail), strings A and B, image — unused space: nothing
//      visible points there yet;
//   3. a row in an existing block (the record's own slot) when the number
//      is new — unused: the number is not readable yet;
//   4. the header: heap space, directories and the record number claimed
//      — the record's values read back while its entry is still free, and
//      recordCount is one too high (the integrity repair settles both);
//   5. a reused deleted number's row in its slot — as after 4;
//   6. the RecordEntry: the record is visible and complete.
// The pieces of group 2 may reach the file in any order, as nothing
// points at them before the header: the appended ones, which lie one after
// the other from the old end of the file, are gathered into one buffer and
// written with one call; a short write reports the step of the first piece
// it did not complete. Without memory for the buffer they are written one
// by one.
// The slot's header copy and row directory take the new state once the
// header is on disk, so a failed insert leaves the album as it was (apart
// from unused space at the end of the file).
#include "records/record_insert.h"

#include <cstring>
#include <memory>
#include <new>

#include "afm3.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/caller_path.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "core/transaction.h"
#include "images/image_store.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kInsert{kModRecordWrite, 1};

enum InsertStep : uint32_t {
  kStepNotOpen = 0,
  kStepRowBlockBuffer = 1,
  kStepGrowPageBuffer = 3,
  kStepGrownPageDir = 4,
  kStepGrowAppendPage = 5,
  kStepAppendGrownPageDir = 6,
  kStepPageBuffer = 7,
  kStepAppendPage = 8,
  kStepRewritePageDir = 9,
  kStepNewRowDir = 10,
  kStepGrowRowDir = 11,
  kStepRowBuffer = 12,
  kStepDiskSpace = 16,
  kStepWriteRowDirAppended = 17,
  kStepWriteRowDirInPlace = 18,
  kStepWriteRowBlock = 19,
  kStepWriteRowInPlace = 20,
  kStepWriteString = 21,
  kStepWriteBlob = 22,
  kStepWriteStringA = 25,
  kStepImageHeader = 26,
  kStepImageTable = 27,
  kStepImageEncoded = 28,
  kStepImageRaw = 29,
  kStepEntry = 30,
  kStepHeader = 31,
  kStepFullInCopy = 32,
  kStepBegin = 39,
  kStepWriteStringB = 40,
  kStepFullOnDisk = 41,
  kStepNumberTaken = 42,
  kStepReadTakenEntry = 43,
};

// The steps of one value heap.
struct InsertHeapSteps {
  uint32_t tooLong;      // a value over the limit, or an entry over 65531 bytes
  uint32_t concat;       // the entry buffer
  uint32_t blockBuffer;  // a new block
  uint32_t writeBlock;
  uint32_t writeEntry;
  uint32_t maxChars;
};
constexpr InsertHeapSteps kTextSteps{13, 14, 15, 23, 24, kTextMaxChars};
constexpr InsertHeapSteps kMemoSteps{34, 35, 36, 37, 38, kMemoMaxChars};
constexpr uint32_t kTooLongTypeNine = 13;

constexpr uint32_t kStringPrefix = 2;  // u16 length including the NUL

// A type-9 string or type-10 value appended after the row block.
struct OutOfRow {
  const uint8_t* bytes = nullptr;
  uint32_t size = 0;
  uint32_t offset = 0;
  uint32_t step = 0;
};

struct HeapPlan {
  bool used = false;  // the album has fields of this heap type
  LockedBlock entry;  // {u16 L, L bytes}
  uint32_t length = 0;
  HeapPlacement placement;
  LockedBlock block;  // a new block
};

struct StringPlan {
  const char* text = nullptr;
  uint32_t length = 0;
  uint32_t offset = 0;
  uint32_t step = 0;
};

struct InsertPlan {
  uint8_t entry[kEntrySize] = {};
  uint8_t header[kHeaderSize] = {};  // becomes the slot's copy once on disk
  uint32_t record = 0;
  uint32_t entryAt = 0;
  uint32_t end = 0;   // the end of the file once the pages are in
  uint64_t next = 0;  // running append position

  bool hasRow = false;
  bool clearRow = false;      // a reused number without values: its old row emptied
  bool dirAppended = false;   // a new or grown directory goes to the end
  bool dirRewritten = false;  // a new block entered into the existing directory
  LockedBlock dir;
  uint32_t dirEntries = 0;
  uint32_t dirOffset = 0;
  bool newBlock = false;
  uint32_t blockOffset = 0;
  uint32_t slotOffset = 0;
  LockedBlock row;
  LockedBlock rowBlock;
  const void* fieldValue[kMaxFields] = {};  // per FieldDef: the caller's value, null for removed
  OutOfRow outOfRow[kMaxFields];
  uint32_t outOfRowCount = 0;
  HeapPlan heaps[2];

  StringPlan strings[2];
  bool hasImage = false;
  EncodedImage image;
  uint32_t imageOffset = 0;
};

bool writeAt(HANDLE file, uint64_t offset, const void* bytes, uint32_t size, uint32_t step) {
  if (offset > 0xFFFFFFFFu) {
    reportError(kErrSeek, kInsert, step);
    return false;
  }
  return seekTo(file, static_cast<uint32_t>(offset), kInsert, step) &&
         writeExact(file, bytes, size, kErrShortWrite, kInsert, step);
}

// Where the pieces of group 2 go: those at or after the start of the
// appended run into one buffer, written at the end by flush(); the others
// (in-place rewrites) straight to the file.
class PieceWriter {
 public:
  PieceWriter(HANDLE file, uint32_t runStart, uint64_t runEnd) : file_(file), start_(runStart) {
    const uint64_t size = runEnd - runStart;
    if (size > 0 && size <= kMaxGathered) {
      run_.reset(new (std::nothrow) uint8_t[size]);
      if (run_) size_ = static_cast<uint32_t>(size);
    }
  }

  bool put(uint64_t offset, const void* bytes, uint32_t size, uint32_t step) {
    if (!run_ || offset < start_ || offset + size > uint64_t{start_} + size_ ||
        pieces_ == kMaxPieces)
      return writeAt(file_, offset, bytes, size, step);
    const auto at = static_cast<uint32_t>(offset - start_);
    if (size > 0) std::memcpy(run_.get() + at, bytes, size);
    ends_[pieces_] = at + size;
    steps_[pieces_++] = step;
    return true;
  }

  // Writes the gathered run; the pieces were put in ascending order.
  bool flush() {
    if (!run_ || pieces_ == 0) return true;
    const uint32_t length = ends_[pieces_ - 1];
    uint32_t done = 0;
    if (seekTo(file_, start_, kInsert, steps_[0]) &&
        plat::writeFile(file_, run_.get(), length, &done) && done == length)
      return true;
    uint32_t i = 0;
    while (i + 1 < pieces_ && ends_[i] <= done) ++i;
    reportError(kErrShortWrite, kInsert, steps_[i]);
    return false;
  }

 private:
  // Beyond this a record's data (a large raw image) goes piece by piece
  // rather than being copied once more.
  static constexpr uint64_t kMaxGathered = 1u << 20;
  static constexpr uint32_t kMaxPieces = kMaxFields + 16;
  HANDLE file_;
  uint32_t start_;
  uint32_t size_ = 0;
  std::unique_ptr<uint8_t[]> run_;
  uint32_t pieces_ = 0;
  uint32_t ends_[kMaxPieces] = {};
  uint32_t steps_[kMaxPieces] = {};
};

// Appends a fresh page for every zero directory entry from the first one
// up to upToPage, entering their offsets into dir.
bool appendPages(HANDLE file, uint8_t* dir, uint32_t upToPage, uint32_t bufferStep,
                 uint32_t writeStep) {
  LockedBlock page(kPageSize);
  if (!page) {
    reportError(kErrNoMemory, kInsert, bufferStep);
    return false;
  }
  buildFreshPage(page.get());
  for (uint32_t p = 0; p <= upToPage; ++p) {
    if (afm3GetU32(dir + 4 * p) != 0) continue;
    const uint32_t at = seekToEnd(file, kInsert, writeStep);
    if (at == 0xFFFFFFFFu ||
        !writeExact(file, page.get(), kPageSize, kErrShortWrite, kInsert, writeStep))
      return false;
    afm3PutU32(dir + 4 * p, at);
  }
  return true;
}

// Makes record r's page exist. What is written here is on disk at once,
// so the slot takes it at once.
bool ensurePage(AlbumSlot& slot, uint32_t record) {
  AlbumHeader header(slot.header);
  const uint32_t page = pageOf(record);
  const uint32_t entries = pageDirEntries(slot);
  if (record >= entries * kRecordsPerPage) {
    const uint32_t count = pageDirCountFor(record);
    LockedBlock dir(count * 4);
    if (!dir) {
      reportError(kErrNoMemory, kInsert, kStepGrownPageDir);
      return false;
    }
    if (entries > 0) std::memcpy(dir.get(), slot.pageDir, entries * 4);
    if (!appendPages(slot.file, dir.get(), page, kStepGrowPageBuffer, kStepGrowAppendPage))
      return false;
    const uint32_t at = seekToEnd(slot.file, kInsert, kStepAppendGrownPageDir);
    if (at == 0xFFFFFFFFu || !writeExact(slot.file, dir.get(), count * 4, kErrShortWrite, kInsert,
                                         kStepAppendGrownPageDir))
      return false;
    freeLocked(slot.pageDir);
    slot.pageDir = dir.release();
    header.setPageDirOffset(at);
    header.setPageDirCount(static_cast<uint16_t>(count));
    return true;
  }
  if (pageDirEntry(slot, page) != 0) return true;
  LockedBlock copy(entries * 4);
  if (!copy) {
    reportError(kErrNoMemory, kInsert, kStepPageBuffer);
    return false;
  }
  std::memcpy(copy.get(), slot.pageDir, entries * 4);
  if (!appendPages(slot.file, copy.get(), page, kStepPageBuffer, kStepAppendPage) ||
      !writeAt(slot.file, header.pageDirOffset(), copy.get(), entries * 4, kStepRewritePageDir))
    return false;
  std::memcpy(slot.pageDir, copy.get(), entries * 4);
  return true;
}

bool fitsOffset(uint64_t position) { return position <= 0xFFFFFFFFu; }

// One heap's entry: the record's strings of that type, placed by the
// heap rule at the running append position.
bool planHeap(const AlbumSlot& slot, InsertPlan& plan, Heap heap, const InsertHeapSteps& steps) {
  HeapPlan& h = plan.heaps[heap == Heap::Text ? 0 : 1];
  h.used = heapFieldCount(slot, heap) > 0;
  if (!h.used) return true;
  uint64_t length = 0;
  for (uint32_t j = 0; j < fieldDefCount(slot); ++j) {
    const FieldInfo f = fieldAt(slot, j);
    if (!f.isHeap() || f.heap() != heap) continue;
    const char* text = static_cast<const char*>(plan.fieldValue[j]);
    const size_t chars = text == nullptr ? 0 : std::strlen(text);
    if (chars > steps.maxChars) {
      reportError(kErrTextTooLong, kInsert, steps.tooLong);
      return false;
    }
    length += chars + 1;
  }
  if (length > kMaxHeapEntry) {
    reportError(kErrTextTooLong, kInsert, steps.tooLong);
    return false;
  }
  h.length = static_cast<uint32_t>(length);
  if (!h.entry.allocate(h.length + 2)) {
    reportError(kErrNoMemory, kInsert, steps.concat);
    return false;
  }
  afm3PutU16(h.entry.get(), static_cast<uint16_t>(h.length));
  uint8_t* out = h.entry.get() + 2;
  for (uint32_t j = 0; j < fieldDefCount(slot); ++j) {
    const FieldInfo f = fieldAt(slot, j);
    if (!f.isHeap() || f.heap() != heap) continue;
    const char* text = static_cast<const char*>(plan.fieldValue[j]);
    const size_t chars = text == nullptr ? 0 : std::strlen(text);
    if (chars > 0) std::memcpy(out, text, chars);
    out[chars] = 0;
    out += chars + 1;
  }
  AlbumHeader header(plan.header);
  h.placement = placeHeapEntry(heapState(header, heap), h.length, static_cast<uint32_t>(plan.next));
  if (h.placement.newBlock) {
    if (!h.block.allocate(h.placement.blockSize)) {
      reportError(kErrNoMemory, kInsert, steps.blockBuffer);
      return false;
    }
    buildHeapBlock(h.block.get(), h.placement.blockSize, h.entry.get() + 2, h.length);
    plan.next += h.placement.blockSize;
  }
  setHeapState(header, heap, h.placement.after);
  setRowHeapRef(plan.row.get(), heap, h.placement.ref);
  return true;
}

// The row (step by step as the layout asks) and everything it points to.
bool planRow(const AlbumSlot& slot, InsertPlan& plan, const void* const* values) {
  AlbumHeader header(plan.header);
  const uint32_t r = plan.record;
  const uint32_t blockIndex = rowBlockIndex(header, r);
  const uint32_t oldEntries = rowDirEntries(slot);
  const bool grow = rowDirMustGrow(slot, r);
  const bool inPlace = rowGoesInPlace(slot, r, grow);
  plan.hasRow = true;

  if (grow || !inPlace) {
    plan.dirEntries = grow ? rowDirCountFor(r, header.rowsPerBlock()) : oldEntries;
    if (!plan.dir.allocate(plan.dirEntries * 4)) {
      reportError(kErrNoMemory, kInsert,
                  header.rowDirOffset() == 0 ? kStepNewRowDir : kStepGrowRowDir);
      return false;
    }
    if (oldEntries > 0) std::memcpy(plan.dir.get(), slot.rowDir, oldEntries * 4);
  }
  if (grow) {
    plan.dirAppended = true;
    plan.dirOffset = static_cast<uint32_t>(plan.next);
    plan.next += uint64_t{plan.dirEntries} * 4;
    header.setRowDirOffset(plan.dirOffset);
    header.setRowDirCount(static_cast<uint16_t>(plan.dirEntries));
  }
  if (inPlace) {
    plan.blockOffset = rowDirEntry(slot, blockIndex);
  } else {
    plan.newBlock = true;
    plan.dirRewritten = !grow;
    plan.blockOffset = static_cast<uint32_t>(plan.next);
    plan.next += header.rowBlockSize();
    afm3PutU32(plan.dir.get() + 4 * blockIndex, plan.blockOffset);
  }
  plan.slotOffset = plan.blockOffset + rowSlotInBlock(header, r);

  if (!plan.row.allocate(header.rowSlotSize())) {
    reportError(kErrNoMemory, kInsert, kStepRowBuffer);
    return false;
  }
  uint8_t* row = plan.row.get();
  uint32_t cursor = 0;
  for (uint32_t j = 0; j < fieldDefCount(slot); ++j) {
    const FieldInfo f = fieldAt(slot, j);
    const void* value = f.removed ? nullptr : values[cursor++];
    plan.fieldValue[j] = value;
    if (value == nullptr || f.isHeap()) continue;
    const auto* bytes = static_cast<const uint8_t*>(value);
    if (f.type == kTypeSignedString) {
      const size_t chars = std::strlen(static_cast<const char*>(value));
      if (chars > kMaxStringValueChars) {
        reportError(kErrTextTooLong, kInsert, kTooLongTypeNine);
        return false;
      }
      const auto length = static_cast<uint32_t>(chars);
      if (!fitsOffset(plan.next + length + 1)) {
        reportError(kErrNoDiskSpace, kInsert, kStepDiskSpace);
        return false;
      }
      if (!encodeStringValue(row + f.placement, static_cast<const char*>(value), length,
                             static_cast<uint32_t>(plan.next))) {
        reportError(kErrNoMemory, kInsert, kStepRowBuffer);
        return false;
      }
      plan.outOfRow[plan.outOfRowCount++] = {bytes, length + 1, static_cast<uint32_t>(plan.next),
                                             kStepWriteString};
      plan.next += length + 1;
    } else if (f.type == kTypeBlob) {
      const uint64_t size = uint64_t{afm3GetU32(bytes)} + 4;
      if (!fitsOffset(plan.next + size)) {
        reportError(kErrNoDiskSpace, kInsert, kStepDiskSpace);
        return false;
      }
      setBlobValueOffset(row + f.placement, static_cast<uint32_t>(plan.next));
      plan.outOfRow[plan.outOfRowCount++] = {bytes, static_cast<uint32_t>(size),
                                             static_cast<uint32_t>(plan.next), kStepWriteBlob};
      plan.next += size;
    } else {
      std::memcpy(row + f.placement, bytes, f.rowWidth());
    }
  }
  if (!planHeap(slot, plan, Heap::Text, kTextSteps) ||
      !planHeap(slot, plan, Heap::Memo, kMemoSteps))
    return false;
  if (plan.newBlock) {
    if (!plan.rowBlock.allocate(header.rowBlockSize())) {
      reportError(kErrNoMemory, kInsert, kStepRowBlockBuffer);
      return false;
    }
    std::memcpy(plan.rowBlock.get() + rowSlotInBlock(header, r), row, header.rowSlotSize());
  }
  return true;
}

bool planString(InsertPlan& plan, int which, const char* text, uint32_t step) {
  StringPlan& s = plan.strings[which];
  s.step = step;
  if (text == nullptr) return true;
  const size_t chars = std::strlen(text);
  if (chars > kMaxStringValueChars) {
    reportError(kErrTextTooLong, kInsert, step);
    return false;
  }
  s.text = text;
  s.length = static_cast<uint32_t>(chars);
  s.offset = static_cast<uint32_t>(plan.next);
  plan.next += kStringPrefix + chars + 1;
  return true;
}

bool writeString(PieceWriter& out, const StringPlan& s) {
  if (s.text == nullptr) return true;
  uint8_t prefix[kStringPrefix];
  afm3PutU16(prefix, static_cast<uint16_t>(s.length + 1));
  return out.put(s.offset, prefix, sizeof prefix, s.step) &&
         out.put(uint64_t{s.offset} + kStringPrefix, s.text, s.length + 1, s.step);
}

bool writeHeap(AlbumSlot& slot, PieceWriter& out, Heap heap, const HeapPlan& h,
               const InsertHeapSteps& steps) {
  if (!h.used) return true;
  const HeapRef ref = h.placement.ref;
  if (h.placement.newBlock) {
    forgetHeapCache(slot, heap);
    return out.put(ref.block, h.block.get(), h.placement.blockSize, steps.writeBlock);
  }
  forgetCachedHeapBlock(slot, heap, ref.block);
  return out.put(ref.position(), h.entry.get(), h.length + 2, steps.writeEntry);
}

bool writeImage(PieceWriter& out, uint32_t offset, const EncodedImage& image) {
  const bool raw = image.header()[AFM3_IMAGE_COMPRESSION] == kCompressNone;
  const uint64_t table = uint64_t{offset} + kImageHeaderSize;
  return out.put(offset, image.header(), kImageHeaderSize, kStepImageHeader) &&
         (image.colourTableBytes() == 0 ||
          out.put(table, image.colourTable(), image.colourTableBytes(), kStepImageTable)) &&
         out.put(table + image.colourTableBytes(), image.data(), image.dataBytes(),
                 raw ? kStepImageRaw : kStepImageEncoded);
}

// The writes of an insert before its header and entry, in their fixed order.
bool writePlan(AlbumSlot& slot, InsertPlan& plan) {
  const AlbumHeader header(plan.header);
  PieceWriter out(slot.file, plan.end, plan.next);
  if (plan.hasRow) {
    if (plan.dirAppended &&
        !out.put(plan.dirOffset, plan.dir.get(), plan.dirEntries * 4, kStepWriteRowDirAppended))
      return false;
    if (plan.dirRewritten && !out.put(header.rowDirOffset(), plan.dir.get(), plan.dirEntries * 4,
                                      kStepWriteRowDirInPlace))
      return false;
    if (plan.newBlock) {
      slot.rowCacheOffset = 0;
      if (!out.put(plan.blockOffset, plan.rowBlock.get(), header.rowBlockSize(),
                   kStepWriteRowBlock))
        return false;
    }
    for (uint32_t i = 0; i < plan.outOfRowCount; ++i) {
      const OutOfRow& v = plan.outOfRow[i];
      if (!out.put(v.offset, v.bytes, v.size, v.step)) return false;
    }
    if (!writeHeap(slot, out, Heap::Text, plan.heaps[0], kTextSteps) ||
        !writeHeap(slot, out, Heap::Memo, plan.heaps[1], kMemoSteps))
      return false;
  }
  if (!writeString(out, plan.strings[0]) || !writeString(out, plan.strings[1])) return false;
  if (plan.hasImage && !writeImage(out, plan.imageOffset, plan.image)) return false;
  return out.flush();
}

// A reused deleted number inserted without values must not keep the old
// record's row: its deletion mark would hide the new record from reads,
// its values would show through. The slot is emptied instead.
bool planClearedRow(const AlbumSlot& slot, InsertPlan& plan) {
  const RowPlace place = rowPlace(slot, plan.record);
  if (plan.record >= headerOf(slot).nextRecordNumber() || !place.present()) return true;
  if (!plan.row.allocate(headerOf(slot).rowSlotSize())) {
    reportError(kErrNoMemory, kInsert, kStepRowBuffer);
    return false;
  }
  plan.clearRow = true;
  plan.blockOffset = place.block;
  plan.slotOffset = place.offset;
  return true;
}

// A row in an existing block is written once the header has claimed what
// it points to: reads judge a record by its row, and a reused deleted
// number's row is readable as soon as it is written.
bool writeRowInPlace(AlbumSlot& slot, const InsertPlan& plan) {
  if (!plan.clearRow && (!plan.hasRow || plan.newBlock)) return true;
  forgetCachedRowBlock(slot, plan.blockOffset);
  return writeAt(slot.file, plan.slotOffset, plan.row.get(), headerOf(slot).rowSlotSize(),
                 kStepWriteRowInPlace);
}

}  // namespace

int insertRecord(HINSTANCE ownerKey, HANDLE album, uint8_t* entry, uint8_t* imageHeader,
                 HGLOBAL dib, const char* stringA, const void* const* values, DWORD* imageOffsetOut,
                 DWORD* stringAOffsetOut, const char* stringB) {
  const int index = findVersion3Slot(ownerKey, album, kInsert);
  if (index < 0) return 0;
  if (entry == nullptr) {
    reportError(kErrNone, kInsert, kStepNotOpen);
    return 0;
  }
  WriteTransaction transaction(index, kInsert, kStepBegin, WriteTransaction::Sync::ByCaller);
  if (!transaction.ok()) return 0;
  if (headerOf(slotAt(index)).nextRecordNumber() == kNoRecord) {
    reportError(kErrAlbumFull, kInsert, kStepFullInCopy);
    return 0;
  }
  // Under write sharing the directories, heaps, count and next number are
  // taken from the file as it is now.
  if (!syncWithFile(index)) return 0;
  AlbumSlot& slot = slotAt(index);
  if (headerOf(slot).nextRecordNumber() == kNoRecord) {
    reportError(kErrAlbumFilledUp, kInsert, kStepFullOnDisk);
    return -1;
  }

  InsertPlan plan;
  std::memcpy(plan.entry, entry, kEntrySize);
  RecordEntry e(plan.entry);
  if (e.flags() & kEntryKeepNumber) {
    e.setFlags(static_cast<uint16_t>(e.flags() & ~kEntryKeepNumber));
    plan.record = e.number();
    if (plan.record > kHighestRecord) {
      reportError(kErrAlbumFull, kInsert, kStepFullInCopy);
      return 0;
    }
  } else {
    plan.record = headerOf(slot).nextRecordNumber();
    e.setNumber(static_cast<uint16_t>(plan.record));
  }
  if (!ensurePage(slot, plan.record)) return 0;
  // A kept number may name a deleted record (its number is reused), never
  // a live one. Entries from the next number on were never made visible:
  // the header claims a number before its entry is written.
  if (plan.record < headerOf(slot).nextRecordNumber()) {
    switch (readEntry(slot, plan.record, nullptr,
                      {kInsert, kStepReadTakenEntry, kStepReadTakenEntry})) {
      case EntryState::Failed:
        return 0;
      case EntryState::Live:
        reportError(kErrInvalidRecord, kInsert, kStepNumberTaken);
        return 0;
      default:
        break;
    }
  }
  plan.entryAt = entryOffset(slot, plan.record);
  if (imageHeader != nullptr) {
    if (!encodeImage(imageHeader, dib, &plan.image)) return 0;
    plan.hasImage = true;
  }
  std::memcpy(plan.header, slot.header, kHeaderSize);
  plan.end = seekToEnd(slot.file, kInsert, kStepDiskSpace);
  if (plan.end == 0xFFFFFFFFu) return 0;
  plan.next = plan.end;
  if (values != nullptr && !planRow(slot, plan, values)) return 0;
  if (values == nullptr && !planClearedRow(slot, plan)) return 0;
  if (!planString(plan, 0, stringA, kStepWriteStringA) ||
      !planString(plan, 1, stringB, kStepWriteStringB))
    return 0;
  if (plan.hasImage) {
    plan.imageOffset = static_cast<uint32_t>(plan.next);
    plan.next += plan.image.storedLength();
  }
  if (!fitsOffset(plan.next)) {
    reportError(kErrNoDiskSpace, kInsert, kStepDiskSpace);
    return 0;
  }
  if (!diskSpaceFor(slot, plan.next - plan.end, kInsert, kStepDiskSpace) || !writePlan(slot, plan))
    return 0;

  e.setImageOffset(plan.hasImage ? plan.imageOffset : 0);
  e.setStringAOffset(plan.strings[0].offset);
  e.setStringBOffset(plan.strings[1].offset);
  e.seal();

  // The header goes before the entry: it claims the heap space and the
  // record number, and the entry then makes the record visible. A new
  // number's row is written before the header (nothing reads it yet), a
  // reused deleted number's row after it (reads look at rows, and the
  // header must first claim what the row points to).
  uint8_t before[kHeaderSize];
  std::memcpy(before, slot.header, kHeaderSize);
  AlbumHeader header(plan.header);
  const bool reused = plan.record < header.nextRecordNumber();
  if (!reused && !writeRowInPlace(slot, plan)) return 0;
  header.setRecordCount(static_cast<uint16_t>(header.recordCount() + 1));
  if (!reused) header.setNextRecordNumber(static_cast<uint16_t>(plan.record + 1));
  header.storeChecksum();
  if (!writeAt(slot.file, 0, plan.header, kHeaderSize, kStepHeader)) return 0;
  std::memcpy(slot.header, plan.header, kHeaderSize);
  if (plan.dirAppended || plan.dirRewritten) {
    freeLocked(slot.rowDir);
    slot.rowDir = plan.dir.release();
  }
  if ((reused && !writeRowInPlace(slot, plan)) ||
      !writeAt(slot.file, plan.entryAt, plan.entry, kEntrySize, kStepEntry)) {
    // The record did not come into being: give the count back, unless a
    // reused number's row already points into what the header claimed.
    if (reused) return 0;
    AlbumHeader(before).storeChecksum();
    if (seekTo(slot.file, 0, kInsert, kStepHeader) &&
        writeExact(slot.file, before, kHeaderSize, kErrShortWrite, kInsert, kStepHeader))
      std::memcpy(slot.header, before, kHeaderSize);
    return 0;
  }

  std::memcpy(entry, plan.entry, kEntrySize);
  if (imageOffsetOut != nullptr) *imageOffsetOut = plan.hasImage ? plan.imageOffset : 0;
  if (stringAOffsetOut != nullptr) *stringAOffsetOut = plan.strings[0].offset;
  return 1;
}

}  // namespace afm3

extern "C" int WINAPI afm3InsertRecord(HINSTANCE ownerKey, HANDLE album, BYTE* entry,
                                       BYTE* imageHeader, HGLOBAL dib, LPCSTR stringA,
                                       const void* const* values, DWORD* imageOffsetOut,
                                       DWORD* stringAOffsetOut, LPCSTR stringB) {
  afm3::ErrorModeGuard errorMode;
  // String A is the picture's path: kept in the library's form.
  const afm3::CallerPath picture(stringA, afm3::CallerPath::Kind::Picture);
  return afm3::insertRecord(ownerKey, album, entry, imageHeader, dib, picture.get(), values,
                            imageOffsetOut, stringAOffsetOut, stringB);
}
