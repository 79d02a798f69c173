// The rows of a reorganized album: every kept field's value copied from
// its old place in the old row to its new place, type-7 and type-8 entry
// indexes renumbered through their table's remap, type-9 strings and
// type-10 values copied once. The rows are assembled in one buffer and
// written with the RowDirectory and the IndexList after them.
#include <cstring>

#include "core/field_scheme.h"
#include "maintenance/reorganize_run.h"
#include "maintenance/value_table_compaction.h"

namespace afm3 {

namespace {

constexpr uint32_t kCaptionRows = 6297;
constexpr uint32_t kBlobLengthWord = 4;
constexpr uint32_t kIndexCountSize = 2;

enum RowStep : uint32_t {
  kStepStringSeek = 50,
  kStepStringBuffer = 51,
  kStepStringRead = 52,
  kStepStringWrite = 53,
  kStepBlobSeek = 54,
  kStepBlobLength = 55,
  kStepBlobBuffer = 56,
  kStepBlobRead = 57,
  kStepBlobWrite = 58,
};

void remapIndexes(const ReorganizeRun& run, uint32_t field, uint8_t* value, uint32_t width) {
  if (!run.remap[field]) return;
  const auto* remap = reinterpret_cast<const uint16_t*>(run.remap[field].get());
  for (uint32_t at = 0; at < width; at += 2)
    afm3PutU16(value + at, remapIndex(remap, run.remapCount[field], afm3GetU16(value + at)));
}

// A type-9 value: the string (its stored length of bytes) is copied when
// both its offset and length are set.
bool copyStringValue(ReorganizeRun& run, uint8_t* value) {
  const uint32_t offset = stringValueOffset(value);
  const uint16_t length = stringValueLength(value);
  if (offset == 0 || length == 0) return true;
  uint8_t* buffer = run.copyBuffer.get();
  if (!run.album.read(offset, buffer, length, kStepStringSeek, kStepStringRead)) return false;
  afm3PutU32(value + kStringSignatureSize, run.work.end());
  return run.work.append(buffer, length, kStepStringWrite);
}

// A type-10 value: its u32 length n and the n bytes.
bool copyBlobValue(ReorganizeRun& run, uint8_t* value) {
  const uint32_t offset = blobValueOffset(value);
  if (offset == 0) return true;
  uint32_t length = 0;
  if (!run.album.readU32(offset, &length, kStepBlobSeek, kStepBlobLength)) return false;
  const uint64_t total = uint64_t{kBlobLengthWord} + length;
  if (!run.album.fits(offset, total)) {
    reportError(kErrShortRead, kReorganize, kStepBlobRead);
    return false;
  }
  LockedBlock bytes(static_cast<size_t>(total));
  if (!bytes) {
    reportError(kErrWorkBuffer, kReorganize, kStepBlobBuffer);
    return false;
  }
  if (!run.album.read(offset, bytes.get(), static_cast<uint32_t>(total), kStepBlobSeek,
                      kStepBlobRead))
    return false;
  setBlobValueOffset(value, run.work.end());
  return run.work.append(bytes.get(), static_cast<uint32_t>(total), kStepBlobWrite);
}

// Fills new record n's row from offset 12 on.
bool copyRow(ReorganizeRun& run, uint32_t n) {
  if (!readOldRow(run, oldNumber(run, n), kStepSeekOldRow, kStepReadOldRow)) return false;
  uint8_t* row = newRow(run, n);
  uint32_t kept = 0;
  for (uint32_t j = 0; j < fieldDefCount(run.slot()); ++j) {
    const FieldInfo old = fieldAt(run.slot(), j);
    if (old.removed) continue;
    const uint32_t target = FieldDef(run.defs.get() + kept++ * kFieldDefSize).placement();
    const uint32_t width = old.rowWidth();
    if (old.isHeap() || width == 0) continue;
    uint8_t* value = row + target;
    std::memcpy(value, run.oldRow.get() + old.placement, width);
    if (hasValueTable(old.type)) remapIndexes(run, j, value, width);
    if (old.type == kTypeSignedString && !copyStringValue(run, value)) return false;
    if (old.type == kTypeBlob && !copyBlobValue(run, value)) return false;
  }
  return true;
}

}  // namespace

bool readOldRow(ReorganizeRun& run, uint32_t record, uint32_t seekStep, uint32_t readStep) {
  const uint32_t size = run.oldHeader().rowSlotSize();
  const RowPlace place = rowPlace(run.slot(), record);
  if (!place.present()) {
    std::memset(run.oldRow.get(), 0, size);
    return true;
  }
  return run.album.read(place.offset, run.oldRow.get(), size, seekStep, readStep);
}

uint8_t* newRow(ReorganizeRun& run, uint32_t n) {
  const RowGeometry& g = run.geometry;
  return run.rows.get() + size_t{n / g.rowsPerBlock} * g.rowBlockSize +
         size_t{n % g.rowsPerBlock} * g.rowSlotSize;
}

Outcome copyRows(ReorganizeRun& run) {
  run.progress.beginPhase(run.records, kCaptionRows, 0);
  for (uint32_t n = 0; n < run.records; ++n) {
    if (!run.progress.step(n + 1)) return Outcome::Cancelled;
    if (!copyRow(run, n)) return Outcome::Failed;
  }
  run.progress.endRun();
  return Outcome::Done;
}

bool writeRowsAndIndex(ReorganizeRun& run) {
  AlbumHeader header = run.newHeader();
  const uint32_t rowsAt = run.work.end();
  const uint32_t blockSize = run.geometry.rowBlockSize;
  if (!run.work.append(run.rows.get(), run.rowBlocks * blockSize, kStepWriteRows)) return false;
  for (uint32_t i = 0; i < run.rowBlocks; ++i)
    afm3PutU32(run.rowDir.get() + 4 * i, rowsAt + i * blockSize);
  header.setRowGeometry(run.geometry);
  header.setRowDirOffset(run.work.end());
  header.setRowDirCount(static_cast<uint16_t>(run.rowBlocks));
  if (!run.work.append(run.rowDir.get(), 4 * run.rowBlocks, kStepWriteRowDir)) return false;
  header.setRecordCount(static_cast<uint16_t>(run.records));
  header.setNextRecordNumber(static_cast<uint16_t>(run.records));
  if (!run.hadIndexList || run.indexCount == 0) {
    header.setIndexListOffset(0);
    return true;
  }
  afm3PutU16(run.indexList.get(), run.indexCount);
  header.setIndexListOffset(run.work.end());
  return run.work.append(run.indexList.get(),
                         kIndexCountSize + uint32_t{run.indexCount} * kIndexEntrySize,
                         kStepWriteIndexList);
}

}  // namespace afm3
