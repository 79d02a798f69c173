// The field scheme of a reorganized album: value tables compacted, removed
// fields dropped (their FieldDefs, names and IndexList entries), the kept
// fields renumbered 0, 1, 2, ... with their row offsets and text and memo
// ordinals laid out anew, and the new row geometry.
#include <cstring>

#include "core/field_scheme.h"
#include "maintenance/reorganize_run.h"
#include "maintenance/value_table_compaction.h"

namespace afm3 {

namespace {

constexpr uint32_t kCaptionFieldDefinitions = 6295;
constexpr uint32_t kIndexCountSize = 2;
constexpr int kNoIndexEntry = -1;

// The failure steps of one value table's compaction.
struct TableSteps {
  uint32_t seek, buffer, read, remapTable, write;
};
constexpr TableSteps kKeepingFields{71, 72, 73, 80, 74};
constexpr TableSteps kDroppingFields{67, 68, 69, 77, 70};

uint8_t* defAt(ReorganizeRun& run, uint32_t j) { return run.defs.get() + j * kFieldDefSize; }
uint8_t* indexEntry(ReorganizeRun& run, uint32_t k) {
  return run.indexList.get() + kIndexCountSize + k * kIndexEntrySize;
}

bool readIndexList(ReorganizeRun& run) {
  const uint32_t at = run.oldHeader().indexListOffset();
  run.hadIndexList = at != 0;
  if (!run.hadIndexList) return true;
  if (!run.album.readU16(at, &run.indexCount, kStepSeekIndexList, kStepReadIndexList)) return false;
  const uint32_t size = kIndexCountSize + uint32_t{run.indexCount} * kIndexEntrySize;
  if (!run.indexList.allocate(size)) {
    reportError(kErrWorkBuffer, kReorganize, kStepReadIndexList);
    return false;
  }
  return run.album.read(at, run.indexList.get(), size, kStepSeekIndexList, kStepReadIndexList);
}

// The IndexList entry of each old field (the first that names it), taken
// before any entry is renumbered.
void findIndexEntries(ReorganizeRun& run, int* entryOf, uint32_t defCount) {
  for (uint32_t j = 0; j < defCount; ++j) entryOf[j] = kNoIndexEntry;
  for (uint32_t k = run.indexCount; k-- > 0;) {
    const uint32_t field = indexEntry(run, k)[kIndexFieldAt];
    for (uint32_t j = 0; j < defCount; ++j)
      if (defAt(run, j)[0] == field) entryOf[j] = static_cast<int>(k);
  }
}

// Compacts old field j's value table into the work file and keeps its
// remap table. A field without table room keeps no table description.
bool compactTable(ReorganizeRun& run, uint32_t j, const TableSteps& steps) {
  uint8_t* def = defAt(run, j);
  const ValueTable old = valueTableOf(def);
  if (old.capacity == 0) {
    setValueTable(def, {});
    return true;
  }
  if (!run.album.fits(old.offset, old.capacity)) {
    reportError(kErrShortRead, kReorganize, steps.read);
    return false;
  }
  LockedBlock table(size_t{old.capacity} + 1);  // and the guard NUL
  if (!table) {
    reportError(kErrWorkBuffer, kReorganize, steps.buffer);
    return false;
  }
  if (!run.remap[j].allocate(2 * size_t{old.count})) {
    reportError(kErrWorkBuffer, kReorganize, steps.remapTable);
    return false;
  }
  if (!run.album.read(old.offset, table.get(), old.capacity, steps.seek, steps.read)) return false;
  auto* remap = reinterpret_cast<uint16_t*>(run.remap[j].get());
  const CompactedTable compacted = compactValueTable(table.get(), old.capacity, old.count, remap);
  run.remapCount[j] = old.count;
  const uint32_t at = compacted.size == 0 ? 0 : run.work.end();
  setValueTable(def, {at, compacted.size, compacted.count});
  return run.work.append(table.get(), compacted.size, steps.write);
}

void copyName(ReorganizeRun& run, uint8_t* def) {
  const AlbumSlot& slot = run.slot();
  const uint32_t namesSize = run.oldHeader().fieldNameSize();
  const uint32_t at = FieldDef(def).nameOffset();
  const uint32_t length = storedNameLength(slot.fieldNames, namesSize, at);
  FieldDef(def).setNameOffset(static_cast<uint16_t>(run.namesSize));
  if (length > 0) std::memcpy(run.names.get() + run.namesSize, slot.fieldNames + at, length);
  run.names.get()[run.namesSize + length] = 0;
  run.namesSize += length + 1;
}

// Where the kept fields go: new numbers, row offsets and heap ordinals.
struct Layout {
  uint32_t number = 0;
  uint32_t rowOffset = kRowHeaderSize;
  uint16_t ordinal[2] = {0, 0};  // text, memo
};

void placeKeptField(ReorganizeRun& run, uint8_t* def, Layout& layout, int entry) {
  FieldDef field(def);
  const uint8_t type = field.type();
  if (isHeapType(type))
    field.setPlacement(layout.ordinal[type == kTypeMemo ? 1 : 0]++);
  else
    field.setPlacement(static_cast<uint16_t>(layout.rowOffset));
  layout.rowOffset += rowWidth(type);
  field.setNumber(static_cast<uint8_t>(layout.number));
  if (entry != kNoIndexEntry) indexEntry(run, entry)[kIndexFieldAt] = field.number();
  ++layout.number;
}

// Drops removed FieldDefs and the IndexList entries cleared for them; the
// others keep their order.
void dropRemoved(ReorganizeRun& run, uint32_t defCount) {
  run.keptFields = 0;
  for (uint32_t j = 0; j < defCount; ++j) {
    if (FieldDef(defAt(run, j)).removed()) continue;
    std::memmove(defAt(run, run.keptFields++), defAt(run, j), kFieldDefSize);
  }
  uint16_t kept = 0;
  for (uint32_t k = 0; k < run.indexCount; ++k) {
    const uint8_t* entry = indexEntry(run, k);
    if (entry[kIndexAttributeAt] == 0 && entry[kIndexFieldAt] == 0) continue;
    std::memmove(indexEntry(run, kept++), entry, kIndexEntrySize);
  }
  run.indexCount = kept;
}

bool writeScheme(ReorganizeRun& run) {
  AlbumHeader header = run.newHeader();
  header.setFieldDefOffset(run.work.end());
  if (!run.work.append(run.defs.get(), run.keptFields * kFieldDefSize, kStepWriteFieldDefs))
    return false;
  header.setFieldDefCount(static_cast<uint8_t>(run.keptFields));
  header.setFieldCount(static_cast<uint8_t>(run.keptFields));
  header.setFieldNameOffset(run.work.end());
  header.setFieldNameSize(static_cast<uint16_t>(run.namesSize));
  return run.work.append(run.names.get(), run.namesSize, kStepWriteNames);
}

}  // namespace

Outcome copyScheme(ReorganizeRun& run) {
  const AlbumSlot& slot = run.slot();
  const uint32_t defCount = fieldDefCount(slot);
  run.progress.beginPhase(defCount, kCaptionFieldDefinitions, 0);
  if (!run.defs.allocate(defCount * kFieldDefSize)) {
    reportError(kErrWorkBuffer, kReorganize, kStepDefsCopy);
    return Outcome::Failed;
  }
  std::memcpy(run.defs.get(), slot.fieldDefs, defCount * kFieldDefSize);
  // Each name may gain the NUL a damaged list lacks.
  if (!run.names.allocate(size_t{run.oldHeader().fieldNameSize()} + defCount)) {
    reportError(kErrWorkBuffer, kReorganize, kStepNameBuffer);
    return Outcome::Failed;
  }
  if (!readIndexList(run)) return Outcome::Failed;
  run.droppingFields = run.oldHeader().fieldDefCount() != run.oldHeader().fieldCount();
  const TableSteps& steps = run.droppingFields ? kDroppingFields : kKeepingFields;
  int entryOf[kMaxFields];
  findIndexEntries(run, entryOf, defCount);
  Layout layout;
  for (uint32_t j = 0; j < defCount; ++j) {
    if (!run.progress.step(j + 1)) return Outcome::Cancelled;
    uint8_t* def = defAt(run, j);
    if (FieldDef(def).removed()) {
      if (entryOf[j] != kNoIndexEntry)
        std::memset(indexEntry(run, entryOf[j]), 0, kIndexFieldAt + 1);
      continue;
    }
    if (run.droppingFields) placeKeptField(run, def, layout, entryOf[j]);
    if (hasValueTable(FieldDef(def).type()) && !compactTable(run, j, steps)) return Outcome::Failed;
    copyName(run, def);
  }
  run.rowDataSize = layout.rowOffset;
  if (run.droppingFields)
    dropRemoved(run, defCount);
  else
    run.keptFields = defCount;
  run.progress.endPhase();
  return writeScheme(run) ? Outcome::Done : Outcome::Failed;
}

bool planRows(ReorganizeRun& run) {
  const AlbumHeader old = run.oldHeader();
  run.geometry = run.droppingFields ? rowGeometry(static_cast<uint16_t>(run.rowDataSize))
                                    : RowGeometry{old.rowDataSize(), old.rowSlotSize(),
                                                  old.rowBlockSize(), old.rowsPerBlock()};
  run.rowBlocks = (run.records + run.geometry.rowsPerBlock - 1) / run.geometry.rowsPerBlock;
  if (!run.rowDir.allocate(4 * size_t{run.rowBlocks})) {
    reportError(kErrWorkBuffer, kReorganize, kStepNewRowDir);
    return false;
  }
  if (!run.rows.allocate(size_t{run.geometry.rowBlockSize} * run.rowBlocks)) {
    reportError(kErrWorkBuffer, kReorganize, kStepRowBuffer);
    return false;
  }
  return true;
}

}  // namespace afm3
