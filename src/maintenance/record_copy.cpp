// Records of a reorganization: which old records are live, the new pages,
// and copying each RecordEntry with what it points to.
//
// The live records are found first, from the old pages, before anything
// is written: their number is the new record count (whatever the header's
// recordCount says), and a caller's order must name each of them exactly
// once. An old record's number is its place in the pages (page x 64 +
// slot), which is also where its row is found.
#include <cstring>

#include "core/album_header.h"
#include "images/image_format.h"
#include "images/image_store.h"
#include "maintenance/reorganize_run.h"

namespace afm3 {

namespace {

constexpr uint32_t kStringLengthWord = 2;

// The failure steps of one out-of-entry copy: a string A or B or the
// picture-file data (u16 length and that many bytes).
struct BlobSteps {
  uint32_t seek, length, bytes, write;
};
struct ImageSteps {
  uint32_t seek, header, data, writeHeader, writeData;
};
struct EntrySteps {
  BlobSteps stringA, stringB, pictureData;
  ImageSteps image;
  uint32_t seekEntry, writeEntry;
};
// Steps when the records are taken page by page, and in a caller's order.
constexpr EntrySteps kByPage{
    {12, 13, 14, 15}, {104, 105, 106, 107}, {112, 113, 114, 115}, {64, 65, 17, 66, 18}, 19, 20};
constexpr EntrySteps kByOrder{
    {23, 24, 25, 26}, {100, 101, 102, 103}, {108, 109, 110, 111}, {27, 62, 28, 63, 29}, 30, 31};
constexpr uint32_t kStepSeekOrderedEntry = 21;
constexpr uint32_t kStepReadOrderedEntry = 22;

bool isLive(const ReorganizeRun& run, uint32_t record) {
  return record <= kHighestRecord && (run.liveMap.get()[record / 8] & (1u << (record % 8))) != 0;
}

uint32_t pageEntryNumber(uint32_t page, uint32_t slot) { return page * kRecordsPerPage + slot; }

bool readOldPage(ReorganizeRun& run, uint32_t page) {
  return run.album.read(pageDirEntry(run.slot(), page), run.page.get(), kPageSize, kStepSeekPage,
                        kStepReadPage);
}

// Marks the live entries of every old page.
bool scanPages(ReorganizeRun& run) {
  const uint32_t pages = pageDirEntries(run.slot());
  for (uint32_t p = 0; p < pages; ++p) {
    if (pageDirEntry(run.slot(), p) == 0) continue;
    if (!readOldPage(run, p)) return false;
    for (uint32_t i = 0; i < kRecordsPerPage; ++i) {
      const uint32_t record = pageEntryNumber(p, i);
      if (record > kHighestRecord || RecordEntry(run.page.get() + i * kEntrySize).isFree())
        continue;
      run.liveMap.get()[record / 8] |= static_cast<uint8_t>(1u << (record % 8));
      ++run.liveCount;
    }
  }
  return true;
}

// A caller's order must be a permutation of the live records: as many
// numbers as live records, each live and none twice.
bool orderIsPermutation(ReorganizeRun& run) {
  if (run.records != run.liveCount) return false;
  LockedBlock seen(kLiveMapBytes);
  if (!seen) {
    reportError(kErrWorkBuffer, kReorganize, kStepWorkBuffer);
    return false;
  }
  for (uint32_t n = 0; n < run.records; ++n) {
    const uint32_t record = run.order[n];
    uint8_t& bit = seen.get()[record / 8];
    const uint8_t mask = static_cast<uint8_t>(1u << (record % 8));
    if (!isLive(run, record) || (bit & mask) != 0) return false;
    bit |= mask;
  }
  return true;
}

// Copies a u16-length-prefixed block (string A or B, picture-file data)
// at *offset to the end of the work file and points *offset at the copy.
bool copyPrefixed(ReorganizeRun& run, uint8_t* field, const BlobSteps& steps) {
  const uint32_t offset = afm3GetU32(field);
  if (offset == 0) return true;
  uint16_t length = 0;
  uint8_t* buffer = run.copyBuffer.get();
  if (!run.album.readU16(offset, &length, steps.seek, steps.length) ||
      !run.album.read(uint64_t{offset} + kStringLengthWord, buffer + kStringLengthWord, length,
                      steps.seek, steps.bytes))
    return false;
  afm3PutU16(buffer, length);
  afm3PutU32(field, run.work.end());
  return run.work.append(buffer, length + kStringLengthWord, steps.write);
}

bool copyImage(ReorganizeRun& run, RecordEntry entry, const ImageSteps& steps) {
  const uint32_t offset = entry.imageOffset();
  if (offset == 0) return true;
  uint8_t header[kImageHeaderSize];
  if (!run.album.read(offset, header, sizeof header, steps.seek, steps.header)) return false;
  const uint64_t dataBytes = storedImageLength(header) - kImageHeaderSize;
  if (!run.album.fits(uint64_t{offset} + kImageHeaderSize, dataBytes)) {
    reportError(kErrShortRead, kReorganize, steps.data);
    return false;
  }
  LockedBlock data(static_cast<size_t>(dataBytes));
  if (!data) {
    reportError(kErrWorkBuffer, kReorganize, steps.data);
    return false;
  }
  if (!run.album.read(uint64_t{offset} + kImageHeaderSize, data.get(),
                      static_cast<uint32_t>(dataBytes), steps.seek, steps.data))
    return false;
  entry.setImageOffset(run.work.end());
  return run.work.append(header, sizeof header, steps.writeHeader) &&
         run.work.append(data.get(), static_cast<uint32_t>(dataBytes), steps.writeData);
}

// Copies one old entry as new record n into the new page held in
// newPage (the page of n).
bool copyEntry(ReorganizeRun& run, const uint8_t* oldEntry, uint32_t n, uint8_t* newPage,
               const EntrySteps& steps) {
  uint8_t* bytes = newPage + (n % kRecordsPerPage) * kEntrySize;
  std::memcpy(bytes, oldEntry, kEntrySize);
  RecordEntry entry(bytes);
  entry.setNumber(static_cast<uint16_t>(n));
  if (!copyPrefixed(run, bytes + AFM3_ENTRY_STRING_A, steps.stringA) ||
      !copyPrefixed(run, bytes + AFM3_ENTRY_STRING_B, steps.stringB) ||
      !copyPrefixed(run, bytes + AFM3_ENTRY_MISC_DATA, steps.pictureData) ||
      !copyImage(run, entry, steps.image))
    return false;
  entry.storeChecksum();
  return true;
}

// Writes the new page that holds record n once n is its last record or
// the last record of all.
bool finishPage(ReorganizeRun& run, uint32_t n, const uint8_t* newPage, const EntrySteps& steps) {
  if ((n + 1) % kRecordsPerPage != 0 && n + 1 != run.records) return true;
  const uint32_t at = afm3GetU32(run.pageDir.get() + 4 * pageOf(n));
  return run.work.writeAt(at, newPage, kPageSize, steps.seekEntry, steps.writeEntry);
}

// A fresh page to fill with new records.
struct NewPage {
  LockedBlock bytes{kPageSize};
  void reset() { buildFreshPage(bytes.get()); }
};

Outcome copyByPage(ReorganizeRun& run, NewPage& newPage) {
  const uint32_t pages = run.oldHeader().pageDirCount();
  uint32_t n = 0;
  for (uint32_t p = 0; p < pages; ++p) {
    if (!run.progress.step(p + 1)) return Outcome::Cancelled;
    if (pageDirEntry(run.slot(), p) == 0) continue;
    if (!readOldPage(run, p)) return Outcome::Failed;
    for (uint32_t i = 0; i < kRecordsPerPage; ++i) {
      if (!isLive(run, pageEntryNumber(p, i))) continue;
      if (n >= run.records) {
        reportError(kErrChecksum, kReorganize, kStepReadPage);  // the album changed meanwhile
        return Outcome::Failed;
      }
      if (n % kRecordsPerPage == 0) newPage.reset();
      afm3PutU16(run.oldNumbers.get() + 2 * n, static_cast<uint16_t>(pageEntryNumber(p, i)));
      if (!copyEntry(run, run.page.get() + i * kEntrySize, n, newPage.bytes.get(), kByPage) ||
          !finishPage(run, n, newPage.bytes.get(), kByPage))
        return Outcome::Failed;
      ++n;
    }
  }
  return Outcome::Done;
}

Outcome copyByOrder(ReorganizeRun& run, NewPage& newPage) {
  uint8_t oldEntry[kEntrySize];
  for (uint32_t n = 0; n < run.records; ++n) {
    if (!run.progress.step(n + 1)) return Outcome::Cancelled;
    const uint16_t old = run.order[n];
    afm3PutU16(run.oldNumbers.get() + 2 * n, old);
    if (n % kRecordsPerPage == 0) newPage.reset();
    if (!run.album.read(entryOffset(run.slot(), old), oldEntry, kEntrySize, kStepSeekOrderedEntry,
                        kStepReadOrderedEntry) ||
        !copyEntry(run, oldEntry, n, newPage.bytes.get(), kByOrder) ||
        !finishPage(run, n, newPage.bytes.get(), kByOrder))
      return Outcome::Failed;
  }
  return Outcome::Done;
}

}  // namespace

uint16_t oldNumber(const ReorganizeRun& run, uint32_t n) {
  return afm3GetU16(run.oldNumbers.get() + 2 * n);
}

bool findLiveRecords(ReorganizeRun& run) {
  if (!run.liveMap.allocate(kLiveMapBytes) || !run.page.allocate(kPageSize)) {
    reportError(kErrWorkBuffer, kReorganize, kStepWorkBuffer);
    return false;
  }
  if (!scanPages(run)) return false;
  if (run.ordered()) {
    run.records = run.oldHeader().recordCount();
    if (!orderIsPermutation(run)) {
      reportError(kErrInvalidRecord, kReorganize, kStepOrderRefused);
      return false;
    }
  } else {
    run.records = run.liveCount;
  }
  run.pages = (run.records + kRecordsPerPage - 1) / kRecordsPerPage;
  if (!run.oldNumbers.allocate(2 * run.records)) {
    reportError(kErrWorkBuffer, kReorganize, kStepWorkBuffer);
    return false;
  }
  if (!run.pageDir.allocate(4 * run.pages)) {
    reportError(kErrWorkBuffer, kReorganize, kStepNewPageDir);
    return false;
  }
  return true;
}

bool writeFreshPages(ReorganizeRun& run) {
  AlbumHeader header = run.newHeader();
  const uint32_t dirAt = run.work.end();
  header.setPageDirOffset(dirAt);
  header.setPageDirCount(static_cast<uint16_t>(run.pages));
  if (!run.work.append(run.pageDir.get(), 4 * run.pages, kStepWritePageDir)) return false;
  buildFreshPage(run.page.get());
  for (uint32_t p = 0; p < run.pages; ++p) {
    afm3PutU32(run.pageDir.get() + 4 * p, run.work.end());
    if (!run.work.append(run.page.get(), kPageSize, kStepWriteFreshPage)) return false;
  }
  return run.pages == 0 || run.work.writeAt(dirAt, run.pageDir.get(), 4 * run.pages,
                                            kStepWritePageDir, kStepWritePageDir);
}

Outcome copyRecords(ReorganizeRun& run) {
  constexpr uint32_t kCaptionRecordPages = 6294;
  run.progress.beginPhase(run.ordered() ? run.records : run.oldHeader().pageDirCount(),
                          kCaptionRecordPages, 0);
  NewPage newPage;
  if (!newPage.bytes) {
    reportError(kErrWorkBuffer, kReorganize, kStepWorkBuffer);
    return Outcome::Failed;
  }
  const Outcome outcome = run.ordered() ? copyByOrder(run, newPage) : copyByPage(run, newPage);
  if (outcome == Outcome::Done) run.progress.endPhase();
  return outcome;
}

}  // namespace afm3
