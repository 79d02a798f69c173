// The text and memo heaps of a reorganized album, rewritten in blocks of
// 16384 bytes with one entry per record. A record's new entry holds its
// values of the live fields of that heap type, in field order; a value the
// old entry does not hold comes out empty. A record without an old entry
// keeps none (its values read as empty), so nothing is read at offset 0.
// An entry that cannot fit an empty block (over 16380 bytes) gets a block
// of its own, sized to fit.
#include <cstring>

#include "core/field_scheme.h"
#include "maintenance/reorganize_run.h"

namespace afm3 {

namespace {

constexpr uint32_t kCaptionFieldValues = 6296;
constexpr uint32_t kSubCaptionText = 6276;
constexpr uint32_t kSubCaptionMemo = 6277;
constexpr uint32_t kBlockSizeWord = 2;
constexpr uint32_t kEntryLengthWord = 2;
constexpr uint32_t kOwnBlockHeader = kBlockSizeWord + kEntryLengthWord;

struct HeapSteps {
  uint32_t blockBuffer, seekRow, readRow, seekLength, readLength, entryBuffer, readEntry, writeFull,
      writeLast;
};
constexpr HeapSteps kTextSteps{40, 41, 42, 43, 44, 45, 83, 46, 47};
constexpr HeapSteps kMemoSteps{84, 85, 86, 87, 88, 89, 90, 91, 92};

struct HeapPass {
  Heap heap;
  uint32_t subCaption;
  const HeapSteps& steps;
};

// The old ordinals of the live fields of the heap's type, in field order.
uint32_t liveOrdinals(const ReorganizeRun& run, Heap heap, uint16_t* ordinals) {
  uint32_t count = 0;
  for (uint32_t j = 0; j < fieldDefCount(run.slot()); ++j) {
    const FieldInfo field = fieldAt(run.slot(), j);
    if (field.isHeap() && field.heap() == heap && !field.removed)
      ordinals[count++] = field.placement;
  }
  return count;
}

// The block being filled and the file offset it will be written at.
class BlockBuffer {
 public:
  bool allocate() { return bytes_.allocate(kHeapBlockBytes); }
  void reset() {
    std::memset(bytes_.get(), 0, kHeapBlockBytes);
    afm3PutU16(bytes_.get(), static_cast<uint16_t>(kHeapBlockBytes));
    used_ = kBlockSizeWord;
  }
  bool fits(uint32_t length) const { return used_ + kEntryLengthWord + length <= kHeapBlockBytes; }
  bool empty() const { return used_ == kBlockSizeWord; }
  uint32_t used() const { return used_; }
  uint16_t add(const uint8_t* entry, uint32_t length) {
    const uint32_t at = used_;
    afm3PutU16(bytes_.get() + at, static_cast<uint16_t>(length));
    std::memcpy(bytes_.get() + at + kEntryLengthWord, entry, length);
    used_ += kEntryLengthWord + length;
    return static_cast<uint16_t>(at);
  }
  bool write(WorkFile& work, uint32_t step) {
    if (!work.append(bytes_.get(), kHeapBlockBytes, step)) return false;
    reset();
    return true;
  }

 private:
  LockedBlock bytes_;
  uint32_t used_ = kBlockSizeWord;
};

// Builds record n's new entry at entry (after room for an own block's
// header); 0 when the record has no old entry. Returns false after a
// report.
bool buildEntry(ReorganizeRun& run, const HeapPass& pass, const uint16_t* ordinals, uint32_t count,
                uint32_t n, uint8_t* entry, uint32_t* length) {
  *length = 0;
  if (!readOldRow(run, oldNumber(run, n), pass.steps.seekRow, pass.steps.readRow)) return false;
  const HeapRef ref = rowHeapRef(run.oldRow.get(), pass.heap);
  if (ref.block == 0) return true;
  uint16_t oldLength = 0;
  uint8_t* old = run.copyBuffer.get();
  if (!run.album.readU16(ref.position(), &oldLength, pass.steps.seekLength,
                         pass.steps.readLength) ||
      !run.album.read(ref.position() + kEntryLengthWord, old, oldLength, pass.steps.seekLength,
                      pass.steps.readEntry))
    return false;
  uint32_t at = 0;
  for (uint32_t k = 0; k < count; ++k) {
    const EntryString s = entryString(old, oldLength, ordinals[k]);
    if (s.found) std::memcpy(entry + at, old + s.start, s.length);
    at += s.found ? s.length : 0;
    entry[at++] = 0;
  }
  if (at > kMaxHeapEntry) {
    reportError(kErrTextTooLong, kReorganize, pass.steps.entryBuffer);
    return false;
  }
  *length = at;
  return true;
}

Outcome rewriteHeap(ReorganizeRun& run, const HeapPass& pass) {
  AlbumHeader header = run.newHeader();
  run.progress.beginPhase(run.records, kCaptionFieldValues, pass.subCaption);
  uint16_t ordinals[kMaxFields];
  const uint32_t count = liveOrdinals(run, pass.heap, ordinals);
  setHeapState(header, pass.heap, {});
  if (count == 0) {
    run.progress.endPhase();
    return Outcome::Done;
  }
  BlockBuffer block;
  LockedBlock entry(kOwnBlockHeader + kCopyBufferBytes + kMaxFields);
  if (!block.allocate() || !entry) {
    reportError(kErrWorkBuffer, kReorganize,
                !entry ? pass.steps.entryBuffer : pass.steps.blockBuffer);
    return Outcome::Failed;
  }
  block.reset();
  uint8_t* bytes = entry.get() + kOwnBlockHeader;
  for (uint32_t n = 0; n < run.records; ++n) {
    if (!run.progress.step(n + 1)) return Outcome::Cancelled;
    uint32_t length = 0;
    if (!buildEntry(run, pass, ordinals, count, n, bytes, &length)) return Outcome::Failed;
    if (length == 0) continue;
    if (!block.fits(length) && !block.empty() && !block.write(run.work, pass.steps.writeFull))
      return Outcome::Failed;
    if (block.fits(length)) {
      const uint32_t at = run.work.end();  // where the block will be written
      setRowHeapRef(newRow(run, n), pass.heap, {at, block.add(bytes, length)});
      continue;
    }
    const uint32_t size = kOwnBlockHeader + length;
    afm3PutU16(entry.get(), static_cast<uint16_t>(size));
    afm3PutU16(entry.get() + kBlockSizeWord, static_cast<uint16_t>(length));
    setRowHeapRef(newRow(run, n), pass.heap, {run.work.end(), kBlockSizeWord});
    if (!run.work.append(entry.get(), size, pass.steps.writeFull)) return Outcome::Failed;
  }
  const uint16_t used = static_cast<uint16_t>(block.used());
  setHeapState(header, pass.heap,
               {run.work.end(), static_cast<uint16_t>(kHeapBlockBytes - used), used});
  if (!block.write(run.work, pass.steps.writeLast)) return Outcome::Failed;
  run.progress.endPhase();
  return Outcome::Done;
}

}  // namespace

Outcome rewriteHeaps(ReorganizeRun& run) {
  uint16_t ordinals[kMaxFields];
  AlbumHeader header = run.newHeader();
  if (liveOrdinals(run, Heap::Text, ordinals) == 0 &&
      liveOrdinals(run, Heap::Memo, ordinals) == 0) {
    // Neither heap has a live field: no phase is announced and the header
    // names no heap block.
    setHeapState(header, Heap::Text, {});
    setHeapState(header, Heap::Memo, {});
    return Outcome::Done;
  }
  const Outcome text = rewriteHeap(run, {Heap::Text, kSubCaptionText, kTextSteps});
  if (text != Outcome::Done) return text;
  return rewriteHeap(run, {Heap::Memo, kSubCaptionMemo, kMemoSteps});
}

}  // namespace afm3
