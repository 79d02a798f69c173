// Changing the field scheme: afm3ChangeScheme.
//
// Set-up refuses what cannot be done before anything is written: an
// addition of an unknown type, and more than 255 fields even once the
// removed ones are dropped. Then the passes run in the order removals,
// renames, additions, each only when its kind of record is present, and
// each commits on its own:
//   removals  — the FieldDef table with the removed bits, appended; header;
//   renames   — the FieldNameList (every field's name, removed ones too),
//               the FieldDef table with the new name offsets, appended;
//               header;
//   additions — a reorganization first when the FieldDef table would pass
//               255 entries; then scheme_additions.cpp; header.
// A stop after any write but a header leaves the album as the previous
// pass committed it; the header write is the pass's commit point.
#include "maintenance/scheme_change.h"

#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/field_scheme.h"
#include "core/transaction.h"
#include "maintenance/disk_space.h"
#include "platform.h"
#include "records/record_encoding.h"

namespace afm3 {

bool AlbumAppender::append(const void* bytes, uint32_t count, uint32_t errorId, uint32_t step) {
  if (uint64_t{end_} + count > 0xFFFFFFFFu) {
    reportError(errorId, kChangeScheme, step);
    return false;
  }
  if (!writeAt(end_, bytes, count, errorId, step)) return false;
  end_ += count;
  return true;
}

bool AlbumAppender::writeAt(uint32_t offset, const void* bytes, uint32_t count, uint32_t errorId,
                            uint32_t step) {
  return seekTo(file_, offset, kChangeScheme, step) &&
         writeExact(file_, bytes, count, errorId, kChangeScheme, step);
}

namespace {

constexpr uint32_t kSpaceSlack = 16384;  // room asked for beyond the album without additions

// The change records, each classified before the removals pass marks
// some of them (a marked removal, 0xC0, would otherwise read as an
// addition).
struct ChangeList {
  uint8_t* records;
  uint32_t count;
  LockedBlock added;  // byte i: 1 when record i is an addition
  uint32_t removals = 0;
  uint32_t renames = 0;
  uint32_t additions = 0;
  uint8_t* at(uint32_t i) const { return records + i * kChangeRecordSize; }
};

// The first live FieldDef of a field number, or -1.
int liveDefOf(const AlbumSlot& slot, uint8_t number) {
  for (uint32_t i = 0; i < fieldDefCount(slot); ++i) {
    const FieldDef def(fieldDefBytes(slot, i));
    if (!def.removed() && def.number() == number) return static_cast<int>(i);
  }
  return -1;
}

// Live fields once the removals hit: each live field named by a removal
// goes once.
uint32_t liveFieldsAfterRemovals(const AlbumSlot& slot, const ChangeList& list) {
  bool gone[kMaxFields + 1] = {};
  uint32_t live = headerOf(slot).fieldCount();
  for (uint32_t i = 0; i < list.count; ++i) {
    const uint8_t* change = list.at(i);
    if (!isRemoval(change) || liveDefOf(slot, change[0]) < 0 || gone[change[0]]) continue;
    gone[change[0]] = true;
    --live;
  }
  return live;
}

// Refusals made before anything is written.
bool acceptable(const AlbumSlot& slot, ChangeList& list) {
  if (!list.added.allocate(list.count)) {
    reportError(kErrNoMemory, kChangeScheme, kSchemeStepDefsBuffer);
    return false;
  }
  for (uint32_t i = 0; i < list.count; ++i) {
    const uint8_t* change = list.at(i);
    if (isRemoval(change)) {
      ++list.removals;
    } else if (isRename(change)) {
      ++list.renames;
    } else {
      ++list.additions;
      list.added.get()[i] = 1;
      if ((change[1] & kFieldTypeMask) > kTypeMemo) {
        reportError(kErrFieldDefinition, kChangeScheme, kSchemeStepBadType);
        return false;
      }
    }
  }
  if (list.additions > 0 && liveFieldsAfterRemovals(slot, list) + list.additions > kMaxFields) {
    reportError(kErrTooManyFields, kChangeScheme, kSchemeStepTooManyFields);
    return false;
  }
  return true;
}

bool copyDefs(const AlbumSlot& slot, LockedBlock& defs, uint32_t step) {
  const uint32_t size = fieldDefCount(slot) * kFieldDefSize;
  if (!defs.allocate(size)) {
    reportError(kErrNoMemory, kChangeScheme, step);
    return false;
  }
  std::memcpy(defs.get(), slot.fieldDefs, size);
  return true;
}

// Everything the pass appended reaches the disk, then the header does,
// then the file is committed; the slot takes the new state once the
// header is written.
bool commitPass(int slotIndex, PassResult& pass, uint32_t headerStep, HANDLE* handlePtr) {
  AlbumSlot& slot = slotAt(slotIndex);
  AlbumHeader(pass.header).storeChecksum();
  plat::flushFile(slot.file);
  AlbumAppender out(slot.file, 0);
  if (!out.writeAt(0, pass.header, kHeaderSize, kErrHeaderWrite, headerStep)) return false;
  std::memcpy(slot.header, pass.header, kHeaderSize);
  uint8_t** tables[] = {&slot.fieldDefs, &slot.fieldNames, &slot.rowDir};
  LockedBlock* fresh[] = {&pass.defs, &pass.names, &pass.rowDir};
  for (size_t i = 0; i < sizeof tables / sizeof tables[0]; ++i) {
    if (!*fresh[i]) continue;
    freeLocked(*tables[i]);
    *tables[i] = fresh[i]->release();
  }
  const HANDLE committed = afm3CommitFile(slot.ownerKey, slot.file);
  if (committed == nullptr) return false;
  *handlePtr = committed;
  return true;
}

AlbumAppender appenderFor(const AlbumSlot& slot) {
  return AlbumAppender(slot.file, fileLength(slot.file));
}

// Removed fields get bit 0x10 and their change records bit 0x80; nothing
// is written when no record named a live field.
bool removeFields(int slotIndex, const ChangeList& list, HANDLE* handlePtr) {
  const AlbumSlot& slot = slotAt(slotIndex);
  PassResult pass;
  if (!copyDefs(slot, pass.defs, kSchemeStepWriteRemovedDefs)) return false;
  uint32_t removed = 0;
  for (uint32_t i = 0; i < list.count; ++i) {
    uint8_t* change = list.at(i);
    if (!isRemoval(change)) continue;
    const int at = liveDefOf(slot, change[0]);
    if (at < 0) continue;
    uint8_t* def = pass.defs.get() + at * kFieldDefSize;
    if (def[1] & kFieldRemoved) continue;
    def[1] |= kFieldRemoved;
    change[1] |= kChangeRemoveDone;
    ++removed;
  }
  if (removed == 0) return true;
  std::memcpy(pass.header, slot.header, kHeaderSize);
  AlbumHeader header(pass.header);
  AlbumAppender out = appenderFor(slot);
  const uint32_t size = fieldDefCount(slot) * kFieldDefSize;
  header.setFieldDefOffset(out.end());
  header.setFieldCount(static_cast<uint8_t>(header.fieldCount() - removed));
  return out.append(pass.defs.get(), size, kErrHeaderWrite, kSchemeStepWriteRemovedDefs) &&
         commitPass(slotIndex, pass, kSchemeStepRemovalHeader, handlePtr);
}

// The name a rename record gives a live field, or null.
const uint8_t* renameFor(const ChangeList& list, const FieldDef& def) {
  if (def.removed()) return nullptr;
  for (uint32_t i = 0; i < list.count; ++i) {
    const uint8_t* change = list.at(i);
    if (isRename(change) && change[0] == def.number()) return change;
  }
  return nullptr;
}

bool renameFields(int slotIndex, const ChangeList& list, HANDLE* handlePtr) {
  const AlbumSlot& slot = slotAt(slotIndex);
  const uint32_t defs = fieldDefCount(slot);
  const AlbumHeader old = headerOf(slot);
  PassResult pass;
  // Every name once with its NUL, a new one at most 64 bytes: room enough
  // unless names share bytes in the old list, which the loop refuses.
  const uint32_t room = old.fieldNameSize() + defs + kSpecNameSize * list.renames;
  if (!copyDefs(slot, pass.defs, kSchemeStepNameBuffer) || !pass.names.allocate(room)) {
    reportError(kErrNoMemory, kChangeScheme, kSchemeStepNameBuffer);
    return false;
  }
  uint32_t size = 0;
  bool renamed = false;
  for (uint32_t i = 0; i < defs; ++i) {
    FieldDef def(pass.defs.get() + i * kFieldDefSize);
    const uint8_t* change = renameFor(list, def);
    const uint32_t length =
        change != nullptr
            ? specNameLength(change)
            : storedNameLength(slot.fieldNames, old.fieldNameSize(), def.nameOffset());
    if (size + length + 1 > room || size + length + 1 > 0xFFFF) {
      reportError(kErrNoMemory, kChangeScheme, kSchemeStepNameBuffer);
      return false;
    }
    if (change != nullptr) {
      std::memcpy(pass.names.get() + size, change + kChangeNameAt, length);
    } else if (length > 0) {
      std::memcpy(pass.names.get() + size, slot.fieldNames + def.nameOffset(), length);
    }
    renamed = renamed || change != nullptr;
    def.setNameOffset(static_cast<uint16_t>(size));
    size += length + 1;
  }
  if (!renamed) return true;
  std::memcpy(pass.header, slot.header, kHeaderSize);
  AlbumHeader header(pass.header);
  AlbumAppender out = appenderFor(slot);
  header.setFieldNameOffset(out.end());
  header.setFieldNameSize(static_cast<uint16_t>(size));
  if (!out.append(pass.names.get(), size, kErrHeaderWrite, kSchemeStepWriteNames)) return false;
  header.setFieldDefOffset(out.end());
  return out.append(pass.defs.get(), defs * kFieldDefSize, kErrHeaderWrite,
                    kSchemeStepWriteRenamedDefs) &&
         commitPass(slotIndex, pass, kSchemeStepRenameHeader, handlePtr);
}

// Returns 1, or -1 when the album had to be reorganized first, or 0.
int addFields(int slotIndex, const ChangeList& list, HANDLE* handlePtr) {
  int result = 1;
  if (fieldDefCount(slotAt(slotIndex)) + list.additions > kMaxFields) {
    const int reorganized =
        afm3ReorganizeAbm(slotAt(slotIndex).ownerKey, handlePtr, 0, nullptr, nullptr);
    if (reorganized != 1) return 0;
    if (fieldDefCount(slotAt(slotIndex)) + list.additions > kMaxFields) {
      reportError(kErrTooManyFields, kChangeScheme, kSchemeStepTooManyFields);
      return 0;
    }
    result = -1;
  }
  PassResult pass;
  AlbumAppender out = appenderFor(slotAt(slotIndex));
  if (!buildAdditions(slotIndex, list.records, list.count, list.added.get(), out, pass) ||
      !commitPass(slotIndex, pass, kSchemeStepAdditionHeader, handlePtr))
    return 0;
  return result;
}

// Turns the record cache off for the run and on again at its end.
class CachePause {
 public:
  explicit CachePause(int slotIndex) : slotIndex_(slotIndex) {
    const AlbumSlot& slot = slotAt(slotIndex);
    kept_ = (slot.flags & kSlotKeepCaches) != 0;
    if (kept_) afm3CacheAlbum(slot.ownerKey, slot.file, FALSE);
  }
  ~CachePause() {
    const AlbumSlot& slot = slotAt(slotIndex_);
    if (kept_ && (slot.flags & kSlotInUse)) afm3CacheAlbum(slot.ownerKey, slot.file, TRUE);
  }
  CachePause(const CachePause&) = delete;
  CachePause& operator=(const CachePause&) = delete;

 private:
  int slotIndex_;
  bool kept_ = false;
};

int runPasses(int slotIndex, ChangeList& list, HANDLE* handlePtr) {
  CachePause cache(slotIndex);
  bool ok = true;
  if (list.removals > 0) ok = removeFields(slotIndex, list, handlePtr);
  if (ok && list.renames > 0) ok = renameFields(slotIndex, list, handlePtr);
  int result = ok ? 1 : 0;
  if (ok && list.additions > 0) result = addFields(slotIndex, list, handlePtr);
  // A failed pass may have left the slot's copies apart from the file (a
  // header write that failed half-way, a reorganization that stopped):
  // the file is the truth.
  if (result == 0 && (slotAt(slotIndex).flags & kSlotInUse)) reloadFromFile(slotIndex);
  return result;
}

int changeScheme(int slotIndex, HANDLE* handlePtr, uint32_t count, uint8_t* changes) {
  WriteTransaction transaction(slotIndex, kChangeScheme, kSchemeStepBeginUpdate);
  if (!transaction.ok()) return 0;
  if (count == 0) return 1;
  if (changes == nullptr) {
    reportError(kErrFieldDefinition, kChangeScheme, kSchemeStepBadType);
    return 0;
  }
  ChangeList list{changes, count, {}};
  const AlbumSlot& slot = slotAt(slotIndex);
  if (!acceptable(slot, list)) return 0;
  const double size = fileLength(slot.file);
  const double needed = list.additions > 0 ? 2 * size : size + kSpaceSlack;
  if (!enoughDiskSpace(slot, needed, kChangeScheme, kSchemeStepDiskSpace)) return 0;
  return runPasses(slotIndex, list, handlePtr);
}

}  // namespace

}  // namespace afm3

extern "C" int WINAPI afm3ChangeScheme(HINSTANCE ownerKey, HANDLE* handlePtr, DWORD count,
                                       BYTE* changes) {
  using namespace afm3;
  ErrorModeGuard errorMode;
  if (handlePtr == nullptr) {
    reportError(kErrNotOpenAlbum, kChangeScheme, kSchemeStepNotOpen);
    return 0;
  }
  const int index = findVersion3Slot(ownerKey, *handlePtr, kChangeScheme);
  if (index < 0) return 0;
  // Nothing is done to an album others may be writing.
  if (slotAt(index).shareMode & plat::kShareWrite) return 1;
  return changeScheme(index, handlePtr, count, changes);
}
