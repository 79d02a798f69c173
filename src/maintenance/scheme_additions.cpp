// The additions pass of a scheme change.
//
// New FieldDefs follow the old ones: field number fieldDefCount + k,
// types 11 and 12 at the next ordinal of their heap, the others at the
// next row offset from rowDataSize on. Every record number whose entry
// was ever used (live or deleted: a deleted record that is undeleted later
// must read its new fields as empty) gets a value for each added field:
//   types 0-8  0xFF bytes (for 7 and 8: no table entry)
//   type 9     the signature of the empty string, the offset of one NUL
//              byte appended for the record, length 1
//   type 10    the offset of a u32 0 appended for the record
//   11, 12     the record's heap entry, when it has one, grows by one empty
//              string per added field and one more (as entries written
//              elsewhere may have); a record without an entry keeps none
//              and reads every value of that heap as empty.
// The rows are written again into fresh RowBlocks: of the same geometry
// when the slack has room for the added bytes with one byte to spare,
// else of wider slots (rowDataSize * 110 / 100). Record r stays record r;
// a slot keeps its deleted mark (all-0xFA slack) and a slot whose entry
// was never used is copied as it is.
//
// Writes, in order, all of them past what the header claims: per record
// its grown heap entries (into the unclaimed tail of the current block or
// a new block) and its type-9/10 values, per RowBlock the block once its
// records' data is written, then the RowDirectory, FieldDef table,
// FieldNameList and IndexList. Only the header (written by the caller)
// makes any of it reachable.
#include <cstring>

#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/field_scheme.h"
#include "maintenance/rebuild_io.h"
#include "maintenance/scheme_change.h"
#include "records/record_encoding.h"

namespace afm3 {

namespace {

constexpr uint8_t kNoValue = 0xFF;
constexpr uint32_t kStringValueBytes = 1;  // the NUL of an empty type-9 string
constexpr uint32_t kBlobValueBytes = 4;    // the u32 length 0 of an empty type-10 value
constexpr uint32_t kMaxOutOfRow = kMaxFields * kBlobValueBytes;

struct AddedField {
  uint8_t type = 0;
  uint16_t placement = 0;
};

// One heap's growth: the added strings per entry and the header's state.
struct HeapGrowth {
  Heap heap;
  uint32_t strings = 0;
  HeapState state;
  uint32_t seekStep;
  uint32_t readStep;
  uint32_t bufferStep;
  uint32_t writeStep;
};

struct AdditionRun {
  AdditionRun(int index, AlbumAppender& appender)
      : slotIndex(index), reader(slotAt(index).file, kChangeScheme), out(appender) {}
  const AlbumSlot& slot() const { return slotAt(slotIndex); }
  AlbumHeader old() const { return headerOf(slot()); }

  int slotIndex;
  AlbumReader reader;
  AlbumAppender& out;
  AddedField added[kMaxFields];
  uint32_t addedCount = 0;
  uint32_t addedBytes = 0;
  HeapGrowth heaps[2] = {{Heap::Text,
                          0,
                          {},
                          kSchemeStepSeekText,
                          kSchemeStepReadText,
                          kSchemeStepTextBuffer,
                          kSchemeStepWriteTextBlock},
                         {Heap::Memo,
                          0,
                          {},
                          kSchemeStepSeekMemo,
                          kSchemeStepReadMemo,
                          kSchemeStepMemoBuffer,
                          kSchemeStepWriteMemoBlock}};
  RowGeometry geometry{};
  uint32_t dirCount = 0;
  LockedBlock entry;  // one heap entry with its length word, grown
  LockedBlock oldRow;
  LockedBlock block;  // the new RowBlock being filled
  LockedBlock indexList;
  uint32_t indexCount = 0;
  bool hasIndexList = false;
};

bool noMemory(uint32_t step) {
  reportError(kErrNoMemory, kChangeScheme, step);
  return false;
}

// The album's IndexList with room for more entries; its reads report
// with the IndexList's own location.
bool readIndexList(AdditionRun& run, uint32_t more) {
  const uint32_t at = run.old().indexListOffset();
  run.hasIndexList = at != 0;
  uint16_t count = 0;
  AlbumReader listReader(run.slot().file, kChangeSchemeIndex);
  if (run.hasIndexList &&
      (!listReader.open(kSchemeStepDefsBuffer) ||
       !listReader.readU16(at, &count, kSchemeStepSeekIndexList, kSchemeStepReadIndexList)))
    return false;
  if (!run.indexList.allocate(kIndexListHeader + (uint32_t{count} + more) * kIndexEntryBytes))
    return noMemory(kSchemeStepDefsBuffer);
  run.indexCount = count;
  return count == 0 ||
         listReader.read(at + kIndexListHeader, run.indexList.get() + kIndexListHeader,
                         count * kIndexEntryBytes, kSchemeStepSeekIndexList,
                         kSchemeStepReadIndexList);
}

// The index with this attribute moves to the field; a new attribute gets
// an entry of its own.
void setIndexAttribute(AdditionRun& run, uint8_t attribute, uint8_t field) {
  uint8_t* entries = run.indexList.get() + kIndexListHeader;
  for (uint32_t i = 0; i < run.indexCount; ++i) {
    if (entries[i * kIndexEntryBytes + kIndexAttributeAt] != attribute) continue;
    entries[i * kIndexEntryBytes + kIndexFieldAt] = field;
    return;
  }
  uint8_t* entry = entries + run.indexCount++ * kIndexEntryBytes;
  entry[kIndexAttributeAt] = attribute;
  entry[kIndexFieldAt] = field;
  run.hasIndexList = true;
}

// New FieldDefs, names and index attributes; change records get their
// field numbers.
bool planFields(AdditionRun& run, uint8_t* changes, uint32_t count, const uint8_t* isAdded,
                PassResult& result, uint32_t* namesSize) {
  const AlbumSlot& slot = run.slot();
  const uint32_t defs = fieldDefCount(slot);
  uint32_t additions = 0;
  for (uint32_t i = 0; i < count; ++i) additions += isAdded[i];
  const uint32_t oldNames = run.old().fieldNameSize();
  if (!result.names.allocate(oldNames + kSpecNameSize * additions))
    return noMemory(kSchemeStepAddNameBuffer);
  if (!result.defs.allocate((defs + additions) * kFieldDefSize))
    return noMemory(kSchemeStepDefsBuffer);
  std::memcpy(result.names.get(), slot.fieldNames, oldNames);
  std::memcpy(result.defs.get(), slot.fieldDefs, defs * kFieldDefSize);
  if (!readIndexList(run, additions)) return false;
  uint16_t textOrdinal = static_cast<uint16_t>(heapFieldCount(slot, Heap::Text));
  uint16_t memoOrdinal = static_cast<uint16_t>(heapFieldCount(slot, Heap::Memo));
  uint32_t rowOffset = run.old().rowDataSize();
  uint32_t names = oldNames;
  for (uint32_t i = 0; i < count; ++i) {
    if (!isAdded[i]) continue;
    uint8_t* change = changes + i * kChangeRecordSize;
    const uint8_t number = static_cast<uint8_t>(defs + run.addedCount);
    const uint8_t type = change[1] & kFieldTypeMask;
    uint8_t* def = result.defs.get() + number * kFieldDefSize;
    FieldDef field(def);
    field.setNumber(number);
    def[1] = type;
    field.setNameOffset(static_cast<uint16_t>(names));
    const uint32_t length = specNameLength(change);
    std::memcpy(result.names.get() + names, change + kChangeNameAt, length);
    names += length + 1;
    uint16_t placement = 0;
    if (type == kTypeText) {
      placement = textOrdinal++;
      ++run.heaps[0].strings;
    } else if (type == kTypeMemo) {
      placement = memoOrdinal++;
      ++run.heaps[1].strings;
    } else {
      placement = static_cast<uint16_t>(rowOffset);
      rowOffset += rowWidth(type);
      run.addedBytes += rowWidth(type);
    }
    field.setPlacement(placement);
    run.added[run.addedCount++] = {type, placement};
    change[0] = number;
    if (change[kChangeIndexAt] != 0) setIndexAttribute(run, change[kChangeIndexAt], number);
  }
  *namesSize = names;
  return true;
}

// Same slots when the slack keeps at least one byte, else wider ones.
void planGeometry(AdditionRun& run) {
  const AlbumHeader old = run.old();
  const uint32_t dataSize = old.rowDataSize() + run.addedBytes;
  const uint32_t slack = old.rowSlotSize() - old.rowDataSize();
  const uint32_t next = old.nextRecordNumber();
  if (run.addedBytes < slack) {
    run.geometry = {static_cast<uint16_t>(dataSize), old.rowSlotSize(), old.rowBlockSize(),
                    old.rowsPerBlock()};
    run.dirCount = old.rowDirCount();
  } else {
    run.geometry = rowGeometry(static_cast<uint16_t>(dataSize));
    run.dirCount =
        old.rowDirCount() == 0
            ? 0
            : uint32_t{old.rowsPerBlock()} * old.rowDirCount() / run.geometry.rowsPerBlock + 1;
  }
  // Every record number in use must have a slot.
  if (next > 0) {
    const uint32_t needed = (next - 1) / run.geometry.rowsPerBlock + 1;
    if (needed > run.dirCount) run.dirCount = needed;
  }
}

// Whether record r's entry was ever used (live or deleted).
bool entryUsed(AdditionRun& run, uint32_t record, bool* used) {
  *used = false;
  if (record >= run.old().nextRecordNumber()) return true;
  const uint32_t at = entryOffset(run.slot(), record);
  if (at == 0) return true;
  uint8_t bytes[kEntrySize];
  if (!run.reader.read(at, bytes, kEntrySize, kSchemeStepSeekRows, kSchemeStepReadRows))
    return false;
  *used = !RecordEntry(bytes).neverUsed();
  return true;
}

// Record r's old row slot into run.oldRow; present is false when it has
// none.
bool readOldRow(AdditionRun& run, uint32_t record, bool* present) {
  const RowPlace place = rowPlace(run.slot(), record);
  *present = place.present();
  if (!*present) {
    std::memset(run.oldRow.get(), 0, run.old().rowSlotSize());
    return true;
  }
  return run.reader.read(place.offset, run.oldRow.get(), run.old().rowSlotSize(),
                         kSchemeStepSeekRows, kSchemeStepReadRows);
}

// The record's entry in one heap, grown by the added empty strings and
// placed anew; the row gets the new place.
bool growHeapEntry(AdditionRun& run, HeapGrowth& heap, uint8_t* row) {
  const HeapRef ref = rowHeapRef(row, heap.heap);
  if (heap.strings == 0 || ref.block == 0) return true;
  uint16_t blockSize = 0;
  uint16_t length = 0;
  if (!run.reader.readU16(ref.block, &blockSize, heap.seekStep, heap.readStep) ||
      !run.reader.readU16(ref.position(), &length, heap.seekStep, heap.readStep))
    return false;
  if (ref.entry < kHeapFirstEntry || uint32_t{ref.entry} + kHeapLengthSize + length > blockSize) {
    reportError(kErrShortRead, kChangeScheme, heap.readStep);
    return false;
  }
  const uint32_t grown = length + heap.strings + 1;
  if (grown > kMaxHeapEntry) {
    reportError(kErrTextTooLong, kChangeScheme, heap.bufferStep);
    return false;
  }
  uint8_t* entry = run.entry.get();
  std::memset(entry, 0, kHeapLengthSize + grown);
  afm3PutU16(entry, static_cast<uint16_t>(grown));
  if (!run.reader.read(ref.position() + kHeapLengthSize, entry + kHeapLengthSize, length,
                       heap.seekStep, heap.readStep))
    return false;
  const HeapPlacement placed = placeHeapEntry(heap.state, grown, run.out.end());
  if (placed.newBlock) {
    LockedBlock block(placed.blockSize);
    if (!block) return noMemory(heap.bufferStep);
    buildHeapBlock(block.get(), placed.blockSize, entry + kHeapLengthSize, grown);
    if (!run.out.append(block.get(), placed.blockSize, kErrShortWrite, heap.writeStep))
      return false;
  } else if (!run.out.writeAt(static_cast<uint32_t>(placed.ref.position()), entry,
                              kHeapLengthSize + grown, kErrShortWrite, heap.writeStep)) {
    return false;
  }
  heap.state = placed.after;
  setRowHeapRef(row, heap.heap, placed.ref);
  return true;
}

// The added fields' values in a row, with their type-9 and type-10 data
// appended first.
bool giveValues(AdditionRun& run, uint8_t* row) {
  for (HeapGrowth& heap : run.heaps)
    if (!growHeapEntry(run, heap, row)) return false;
  uint8_t outOfRow[kMaxOutOfRow] = {};
  uint32_t outBytes = 0;
  const uint32_t base = run.out.end();
  for (uint32_t k = 0; k < run.addedCount; ++k) {
    const AddedField& f = run.added[k];
    uint8_t* value = row + f.placement;
    if (f.type == kTypeSignedString) {
      if (!encodeStringValue(value, "", 0, base + outBytes))
        return noMemory(kSchemeStepBlockBuffer);
      outBytes += kStringValueBytes;
    } else if (f.type == kTypeBlob) {
      setBlobValueOffset(value, base + outBytes);
      outBytes += kBlobValueBytes;
    } else if (!isHeapType(f.type)) {
      std::memset(value, kNoValue, rowWidth(f.type));
    }
  }
  return outBytes == 0 ||
         run.out.append(outOfRow, outBytes, kErrShortWrite, kSchemeStepWriteValues);
}

// Record r's slot in the new block; written is set when the slot holds
// anything.
bool fillSlot(AdditionRun& run, uint32_t record, uint8_t* slot, bool* written) {
  bool used = false;
  bool present = false;
  if (!entryUsed(run, record, &used) || !readOldRow(run, record, &present)) return false;
  *written = used || present;
  if (!*written) return true;
  const AlbumHeader old = run.old();
  const uint8_t* oldSlot = run.oldRow.get();
  const bool deleted = present && slackMarksDeleted(old, oldSlot);
  std::memcpy(slot, oldSlot, old.rowSlotSize());
  if (used) {
    std::memset(slot + old.rowDataSize(), 0, run.geometry.rowDataSize - old.rowDataSize());
    if (!giveValues(run, slot)) return false;
  }
  const uint32_t from = used ? run.geometry.rowDataSize : old.rowSlotSize();
  if (from < run.geometry.rowSlotSize)
    std::memset(slot + from, deleted ? kDeletedFill : 0, run.geometry.rowSlotSize - from);
  return true;
}

// Every RowBlock written anew, then the RowDirectory.
bool rewriteRows(AdditionRun& run, PassResult& result) {
  const RowGeometry& g = run.geometry;
  if (!run.oldRow.allocate(run.old().rowSlotSize()) || !run.block.allocate(g.rowBlockSize) ||
      !run.entry.allocate(kHeapLengthSize + kMaxHeapBlock) ||
      !result.rowDir.allocate(run.dirCount * 4))
    return noMemory(kSchemeStepRowBuffer);
  for (uint32_t b = 0; b < run.dirCount; ++b) {
    std::memset(run.block.get(), 0, g.rowBlockSize);
    bool any = false;
    for (uint32_t j = 0; j < g.rowsPerBlock; ++j) {
      const uint32_t record = b * g.rowsPerBlock + j;
      if (record > kHighestRecord) break;
      bool written = false;
      if (!fillSlot(run, record, run.block.get() + j * g.rowSlotSize, &written)) return false;
      any = any || written;
    }
    if (!any) continue;
    afm3PutU32(result.rowDir.get() + b * 4, run.out.end());
    if (!run.out.append(run.block.get(), g.rowBlockSize, kErrHeaderWrite, kSchemeStepWriteRowBlock))
      return false;
  }
  return true;
}

}  // namespace

bool buildAdditions(int slotIndex, uint8_t* changes, uint32_t count, const uint8_t* added,
                    AlbumAppender& out, PassResult& result) {
  AdditionRun run(slotIndex, out);
  if (!run.reader.open(kSchemeStepBlockBuffer)) return false;
  uint32_t namesSize = 0;
  if (!planFields(run, changes, count, added, result, &namesSize)) return false;
  planGeometry(run);
  for (HeapGrowth& heap : run.heaps) heap.state = heapState(run.old(), heap.heap);
  if (!rewriteRows(run, result)) return false;

  std::memcpy(result.header, run.slot().header, kHeaderSize);
  AlbumHeader header(result.header);
  const uint32_t defs = fieldDefCount(run.slot()) + run.addedCount;
  header.setRowDirOffset(run.dirCount == 0 ? 0 : out.end());
  header.setRowDirCount(static_cast<uint16_t>(run.dirCount));
  if (run.dirCount > 0 &&
      !out.append(result.rowDir.get(), run.dirCount * 4, kErrHeaderWrite, kSchemeStepWriteRowDir))
    return false;
  header.setFieldDefOffset(out.end());
  if (!out.append(result.defs.get(), defs * kFieldDefSize, kErrHeaderWrite,
                  kSchemeStepWriteAddedDefs))
    return false;
  header.setFieldNameOffset(out.end());
  header.setFieldNameSize(static_cast<uint16_t>(namesSize));
  if (!out.append(result.names.get(), namesSize, kErrHeaderWrite, kSchemeStepWriteAddedNames))
    return false;
  if (run.hasIndexList) {
    afm3PutU16(run.indexList.get(), static_cast<uint16_t>(run.indexCount));
    header.setIndexListOffset(out.end());
    if (!out.append(run.indexList.get(), kIndexListHeader + run.indexCount * kIndexEntryBytes,
                    kErrHeaderWrite, kSchemeStepWriteAddedDefs))
      return false;
  }
  header.setRowGeometry(run.geometry);
  header.setFieldDefCount(static_cast<uint8_t>(defs));
  header.setFieldCount(static_cast<uint8_t>(header.fieldCount() + run.addedCount));
  for (const HeapGrowth& heap : run.heaps) setHeapState(header, heap.heap, heap.state);
  return true;
}

}  // namespace afm3
