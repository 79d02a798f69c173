// Marks on picture files: afm3InsertThumbMark, afm3RemoveThumbMark,
// afm3ReadThumbMark, afm3GetAllMarkRec and afm3GetRecordMarkName.
//
// A picture is found by walking the chain of its file name's bucket; every
// walk is bounded by what the file can hold. Writers keep to one order so
// that a stop at any point loses no committed mark: a record is written
// before anything links it, it is unlinked before it joins the free list,
// and the header with its counts is written last.
#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/heap_block.h"
#include "core/library_state.h"
#include "marks/mark_layout.h"
#include "marks/mark_paths.h"
#include "marks/mark_store.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr Location kInsert{kModMarks, 3};
constexpr Location kRemove{kModMarks, 4};
constexpr Location kRead{kModMarks, 7};
constexpr Location kList{kModMarks, 10};
constexpr Location kNames{kModMarkFiles, 7};

enum InsertStep : uint32_t {
  kInsStepOpen = 1,
  kInsStepSeekBucket = 2,
  kInsStepReadBucket = 3,
  kInsStepSeekFreeHead = 4,
  kInsStepReadFreeHead = 5,
  kInsStepSeekFree = 6,
  kInsStepReadFree = 7,
  kInsStepSeekUnlinkFree = 8,
  kInsStepUnlinkFree = 9,
  kInsStepSeekPlace = 10,
  kInsStepReadChain = 12,
  kInsStepReplace = 13,
  kInsStepSeekChain = 14,
  kInsStepWriteRecord = 15,
  kInsStepWriteHeadBefore = 16,
  kInsStepSeekPrevious = 17,
  kInsStepWritePrevious = 19,
  kInsStepWriteHeadEmpty = 20,
  kInsStepWriteRecordEmpty = 21,
  kInsStepSpace = 22,  // no room for a record; also the header read
  kInsStepWriteHeader = 23,
};

enum RemoveStep : uint32_t {
  kRemStepOpen = 1,
  kRemStepSeekBucket = 2,
  kRemStepReadBucket = 3,
  kRemStepReadChain = 4,
  kRemStepSeekChain = 5,
  kRemStepUnlinkHead = 6,
  kRemStepSeekPrevious = 7,
  kRemStepUnlinkPrevious = 8,
  kRemStepSeekFreeHead = 9,
  kRemStepReadFreeHead = 10,
  kRemStepSeekRecord = 11,
  kRemStepFreeRecord = 12,
  kRemStepWriteFreeHead = 13,
  kRemStepWriteHeader = 15,
};

enum ReadStep : uint32_t {
  kReadStepOpen = 1,
  kReadStepSeekBucket = 2,
  kReadStepReadBucket = 3,
  kReadStepReadChain = 4,
  kReadStepSeekChain = 5,
};

enum ListStep : uint32_t {
  kListStepOpen = 1,
  kListStepReadHeader = 2,
  kListStepIndexBlock = 3,
  kListStepSeekBucket = 4,
  kListStepReadBucket = 6,
  kListStepSeekRecord = 7,
  kListStepReadRecord = 8,
  kListStepCount = 9,
  kListStepStringBlock = 11,
  kListStepGrowStrings = 12,
};

enum NamesStep : uint32_t {
  kNamesStepOpen = 1,
  kNamesStepBlock = 2,
  kNamesStepSeek = 3,
  kNamesStepRead = 4,
};

constexpr int kRemoved = 1, kNoSuchRecord = 0, kFailed = -1;
constexpr uint32_t kPaddingSize = kRecordNext - kRecordPadding;
constexpr uint16_t kMaxCount = 0xFFFF;

// MarkIndex: 509 bucket descriptors {u16 first entry (0xFFFF: none), u16
// entries} in 2048 bytes, then 36-byte entries {u16 extended hash, u16 0,
// u32 path, u32 label, u32 drive-type offset in the string block, u32 mark
// set, 16 zero bytes}. The string block holds each record's path, label
// and drive-type byte without terminators and grows 2048 bytes at a time.
constexpr uint32_t kDescriptorsSize = 2048;
constexpr uint32_t kIndexEntrySize = 36;
constexpr uint32_t kStringStep = 2048;
constexpr uint32_t kMostRecordStrings = kRecordPathSize + kRecordLabelSize + 1;
constexpr uint16_t kEmptyBucket = 0xFFFF;

constexpr uint32_t kNamesBlockSize = 1664;

// The caller's 168 bytes as a record of the file: padding and link zero,
// its path in the library's form. false when that path does not fit.
bool storedRecordOf(const uint8_t* caller, uint8_t* record) {
  std::memset(record, 0, kMarkRecordSize);
  std::memcpy(record, caller, kCallerRecordSize);
  std::memset(record + kRecordPadding, 0, kPaddingSize);
  const std::string given(MarkRecord(record).path());
  char path[kPathSize];
  if (!libraryFormOf(given.c_str(), path)) return false;
  const size_t length = std::strlen(path);
  if (length > kRecordPathSize) return false;
  if (given != path) {
    std::memset(record + kRecordPath, 0, kRecordPathSize);
    std::memcpy(record + kRecordPath, path, length);
  }
  return true;
}

// Opens a mark file for a record operation (path receives its library
// form) and checks what the operation will trust: its header (reported as
// the verification reports it) and that the buckets are all there (a
// shorter file reports a short read at bucketStep).
bool openForRecords(MarkFile& file, const char* markPath, MarkAccess access, Location where,
                    uint32_t openStep, uint32_t bucketStep, char* path, uint8_t* header) {
  if (!libraryFormOf(markPath, path)) {
    reportSystemError(plat::kErrFilenameExcedRange, where, openStep);
    return false;
  }
  if (!file.open(path, access, where, openStep) || !readValidHeader(file, header)) return false;
  const uint32_t size = file.size();
  if (size == 0xFFFFFFFFu || size < kEmptyMarkFileSize) {
    reportError(kErrMarkFile, where, bucketStep);
    return false;
  }
  return true;
}

// Takes the first free record off the free list (its link becomes the new
// head), or, with no free record, the end of the file. false after a
// report; a damaged free list is reported before anything is written.
bool claimPlace(MarkFile& file, const char* path, uint32_t* place, bool* reused) {
  uint32_t freeHead = 0;
  if (!file.readU32(kFreeHeadOffset, &freeHead, kInsert, kInsStepSeekFreeHead,
                    kInsStepReadFreeHead))
    return false;
  const uint32_t size = file.size();
  if (freeHead != 0) {
    ChainWalk freeList(file, freeHead, {kInsert, kInsStepSeekFree, kInsStepReadFree});
    if (!freeList.next()) return false;
    // A free record is zero but for its link: anything else there is a
    // record the free list must not hand out.
    const uint32_t next = freeList.record().next();
    const uint8_t* bytes = freeList.bytes();
    const bool zero = std::all_of(bytes, bytes + kRecordNext, [](uint8_t b) { return b == 0; });
    if (!zero || (next != 0 && !recordFits(next, size))) {
      reportError(kErrMarkHeader, kInsert, kInsStepReadFree);
      return false;
    }
    if (!file.writeU32(kFreeHeadOffset, next, kInsert, kInsStepSeekUnlinkFree, kInsStepUnlinkFree))
      return false;
    *place = freeHead;
    *reused = true;
    return true;
  }
  if (qfdGetDiskFreeSpace(path) <= kMarkRecordSize) {
    reportError(kErrNoDiskSpace, kInsert, kInsStepSpace);
    return false;
  }
  if (size == 0xFFFFFFFFu) {
    reportError(kErrSeek, kInsert, kInsStepSeekPlace);
    return false;
  }
  *place = size;
  *reused = false;
  return true;
}

// Insertion. Writes, in order, and what a stop after each leaves:
//   1. a reused record taken off the free list: the record belongs to
//      nothing (the free count is one too high);
//   2. the record at its place: written, not yet linked, invisible;
//   3. the link to it (bucket head, or the previous record's link): the
//      mark is found, the live count is one too low;
//   4. the header with the counts.
// A picture that already has a record gets its 168 bytes rewritten in
// place, one write that leaves either the old or the new marks.
BOOL insertThumbMark(const char* markPath, uint8_t* callerRecord) {
  if (markPath == nullptr || callerRecord == nullptr) {
    reportError(kErrNone, kInsert, kInsStepOpen);
    return FALSE;
  }
  std::memset(callerRecord + kRecordPadding, 0, kPaddingSize);
  uint8_t record[kMarkRecordSize];
  if (!storedRecordOf(callerRecord, record)) {
    reportError(kErrNone, kInsert, kInsStepOpen);
    return FALSE;
  }
  MarkFile file;
  char path[kPathSize];
  uint8_t header[kMarkHeaderSize];
  if (!openForRecords(file, markPath, MarkAccess::Write, kInsert, kInsStepOpen, kInsStepReadBucket,
                      path, header))
    return FALSE;
  const MarkRecord incoming(record);
  const uint32_t bucket = bucketOffset(fileNameHash(incoming.path()));
  uint32_t head = 0;
  if (!file.readU32(bucket, &head, kInsert, kInsStepSeekBucket, kInsStepReadBucket)) return FALSE;

  // The new record goes before the first one whose path sorts after its
  // own, or after the last.
  uint32_t previous = 0, following = 0;
  ChainWalk walk(file, head, {kInsert, kInsStepSeekChain, kInsStepReadChain});
  while (walk.next()) {
    const int order = comparePathTails(walk.record().path(), incoming.path());
    if (order > 0) {
      following = walk.offset();
      break;
    }
    if (order == 0 &&
        recordMatches(walk.record(), incoming.path(), incoming.label(), incoming.driveType()))
      return file.write(walk.offset(), record, kCallerRecordSize, kInsert, kInsStepReplace,
                        kInsStepReplace);
    previous = walk.offset();
  }
  if (walk.failed()) return FALSE;

  MarkHeader counts(header);
  if (counts.liveCount() == kMaxCount) {
    reportError(kErrNoDiskSpace, kInsert, kInsStepSpace);
    return FALSE;
  }
  uint32_t place = 0;
  bool reused = false;
  if (!claimPlace(file, path, &place, &reused)) return FALSE;
  setRecordNext(record, following);
  const bool emptyChain = head == 0;
  if (!file.write(place, record, kMarkRecordSize, kInsert, kInsStepSeekPlace,
                  emptyChain ? kInsStepWriteRecordEmpty : kInsStepWriteRecord))
    return FALSE;
  const bool linked =
      previous == 0 ? file.writeU32(bucket, place, kInsert, kInsStepSeekBucket,
                                    emptyChain ? kInsStepWriteHeadEmpty : kInsStepWriteHeadBefore)
                    : file.writeU32(previous + kRecordNext, place, kInsert, kInsStepSeekPrevious,
                                    kInsStepWritePrevious);
  if (!linked) return FALSE;

  counts.setLiveCount(static_cast<uint16_t>(counts.liveCount() + 1));
  if (reused && counts.freeCount() > 0)
    counts.setFreeCount(static_cast<uint16_t>(counts.freeCount() - 1));
  counts.seal();
  return file.write(0, header, kMarkHeaderSize, kInsert, kInsStepWriteHeader, kInsStepWriteHeader);
}

// A picture given by the caller: its path in the library's form, its label
// ("" for none). false when the path cannot name a stored picture.
struct Picture {
  char path[kPathSize];
  std::string_view label;
  uint8_t driveType;
};

bool pictureOf(const char* path, const char* label, uint32_t driveType, Picture* out) {
  out->label = label != nullptr ? std::string_view(label) : std::string_view();
  out->driveType = static_cast<uint8_t>(driveType);
  return libraryFormOf(path, out->path) && std::strlen(out->path) <= kRecordPathSize;
}

// Removal. Writes, in order, and what a stop after each leaves:
//   1. the link that skips the record (bucket head or previous record):
//      the mark is gone, the record belongs to nothing;
//   2. the record zeroed, linked to the free list's head: still nothing's;
//   3. the free-list head naming it: free for reuse;
//   4. the header with the counts.
int removeThumbMark(const char* markPath, const char* path, const char* label, uint32_t driveType) {
  if (markPath == nullptr || path == nullptr) {
    reportError(kErrNone, kRemove, kRemStepOpen);
    return kFailed;
  }
  MarkFile file;
  char filePath[kPathSize];
  uint8_t header[kMarkHeaderSize];
  if (!openForRecords(file, markPath, MarkAccess::Write, kRemove, kRemStepOpen, kRemStepReadBucket,
                      filePath, header))
    return kFailed;
  Picture picture;
  if (!pictureOf(path, label, driveType, &picture)) return kNoSuchRecord;
  const uint32_t bucket = bucketOffset(fileNameHash(picture.path));
  uint32_t head = 0;
  if (!file.readU32(bucket, &head, kRemove, kRemStepSeekBucket, kRemStepReadBucket)) return kFailed;
  uint32_t previous = 0;
  ChainWalk walk(file, head, {kRemove, kRemStepSeekChain, kRemStepReadChain});
  bool found = false;
  while (!found && walk.next()) {
    found = recordMatches(walk.record(), picture.path, picture.label, picture.driveType);
    if (!found) previous = walk.offset();
  }
  if (walk.failed()) return kFailed;
  if (!found) return kNoSuchRecord;

  const uint32_t offset = walk.offset();
  const uint32_t next = walk.record().next();
  const bool unlinked =
      previous == 0 ? file.writeU32(bucket, next, kRemove, kRemStepUnlinkHead, kRemStepUnlinkHead)
                    : file.writeU32(previous + kRecordNext, next, kRemove, kRemStepSeekPrevious,
                                    kRemStepUnlinkPrevious);
  if (!unlinked) return kFailed;
  uint32_t freeHead = 0;
  if (!file.readU32(kFreeHeadOffset, &freeHead, kRemove, kRemStepSeekFreeHead,
                    kRemStepReadFreeHead))
    return kFailed;
  uint8_t freed[kMarkRecordSize] = {};
  setRecordNext(freed, freeHead);
  if (!file.write(offset, freed, kMarkRecordSize, kRemove, kRemStepSeekRecord,
                  kRemStepFreeRecord) ||
      !file.writeU32(kFreeHeadOffset, offset, kRemove, kRemStepWriteFreeHead,
                     kRemStepWriteFreeHead))
    return kFailed;

  MarkHeader counts(header);
  if (counts.liveCount() > 0) counts.setLiveCount(static_cast<uint16_t>(counts.liveCount() - 1));
  if (counts.freeCount() < kMaxCount)
    counts.setFreeCount(static_cast<uint16_t>(counts.freeCount() + 1));
  counts.seal();
  if (!file.write(0, header, kMarkHeaderSize, kRemove, kRemStepWriteHeader, kRemStepWriteHeader))
    return kFailed;
  return kRemoved;
}

int readThumbMark(const char* markPath, const char* path, const char* label, uint32_t driveType,
                  DWORD* markSetOut) {
  if (markSetOut != nullptr) *markSetOut = 0;
  if (markPath == nullptr || path == nullptr) {
    reportError(kErrNone, kRead, kReadStepOpen);
    return kFailed;
  }
  MarkFile file;
  char filePath[kPathSize];
  uint8_t header[kMarkHeaderSize];
  if (!openForRecords(file, markPath, MarkAccess::Read, kRead, kReadStepOpen, kReadStepReadBucket,
                      filePath, header))
    return kFailed;
  Picture picture;
  if (!pictureOf(path, label, driveType, &picture)) return kNoSuchRecord;
  uint32_t head = 0;
  if (!file.readU32(bucketOffset(fileNameHash(picture.path)), &head, kRead, kReadStepSeekBucket,
                    kReadStepReadBucket))
    return kFailed;
  ChainWalk walk(file, head, {kRead, kReadStepSeekChain, kReadStepReadChain});
  while (walk.next()) {
    if (!recordMatches(walk.record(), picture.path, picture.label, picture.driveType)) continue;
    if (markSetOut != nullptr) *markSetOut = walk.record().markSet();
    return 1;
  }
  return walk.failed() ? kFailed : kNoSuchRecord;
}

bool countMismatch() {
  reportError(kErrMarkCount, "The thumb-mark file's chains do not hold the records it counts.",
              kList.module, kList.function, kListStepCount, false);
  return false;
}

// Fills the index and string block from every chain, in bucket order.
// false after a report; more records in the chains than the header counts
// is found before an entry would pass the end of the index.
bool buildMarkIndex(MarkFile& file, uint32_t count, CallerBlock& index, CallerBlock& strings) {
  uint8_t heads[4 * kBucketCount];
  if (!file.read(kBucketsOffset, heads, sizeof heads, kList, kListStepSeekBucket,
                 kListStepReadBucket))
    return false;
  uint32_t entries = 0, used = 0;
  for (uint32_t b = 0; b < kBucketCount; ++b) {
    uint8_t* descriptor = index.bytes() + 4 * b;
    const uint32_t head = afm3GetU32(heads + 4 * b);
    afm3PutU16(descriptor, head == 0 ? kEmptyBucket : static_cast<uint16_t>(entries));
    ChainWalk walk(file, head, {kList, kListStepSeekRecord, kListStepReadRecord});
    while (walk.next()) {
      if (entries == count) return countMismatch();
      const MarkRecord record = walk.record();
      const std::string_view path = record.path(), label = record.label();
      if (used + path.size() + kMostRecordStrings >= strings.size() &&
          !strings.resize(strings.size() + kStringStep)) {
        reportError(kErrNoMemory, kList, kListStepGrowStrings);
        return false;
      }
      uint8_t* entry = index.bytes() + kDescriptorsSize + entries * kIndexEntrySize;
      afm3PutU16(entry, static_cast<uint16_t>(fileNameHashExt(path)));
      afm3PutU32(entry + 4, used);
      afm3PutU32(entry + 8, used + static_cast<uint32_t>(path.size()));
      afm3PutU32(entry + 12, used + static_cast<uint32_t>(path.size() + label.size()));
      afm3PutU32(entry + 16, record.markSet());
      uint8_t* out = strings.bytes() + used;
      std::memcpy(out, path.data(), path.size());
      std::memcpy(out + path.size(), label.data(), label.size());
      out[path.size() + label.size()] = record.driveType();
      used += static_cast<uint32_t>(path.size() + label.size() + 1);
      ++entries;
      afm3PutU16(descriptor + 2, static_cast<uint16_t>(afm3GetU16(descriptor + 2) + 1));
    }
    if (walk.failed()) return false;
  }
  return entries == count || countMismatch();
}

BOOL getAllMarkRec(const char* markPath, HGLOBAL* stringsOut, HGLOBAL* indexOut, DWORD* countOut) {
  if (stringsOut != nullptr) *stringsOut = nullptr;
  if (indexOut != nullptr) *indexOut = nullptr;
  char path[kPathSize];
  if (!libraryFormOf(markPath, path) || (indexOut != nullptr && stringsOut == nullptr)) {
    reportError(kErrNone, kList, kListStepOpen);
    return FALSE;
  }
  MarkFile file;
  uint8_t header[kMarkHeaderSize];
  if (!verifyMarkFile(path) || !file.open(path, MarkAccess::Read, kList, kListStepOpen) ||
      !file.read(0, header, kMarkHeaderSize, kList, kListStepReadHeader, kListStepReadHeader))
    return FALSE;
  const uint32_t count = MarkHeader(header).liveCount();
  if (countOut != nullptr) *countOut = count;
  if (count == 0 || indexOut == nullptr) return TRUE;
  CallerBlock index, strings;
  if (!index.allocate(size_t{count} * kIndexEntrySize + kDescriptorsSize)) {
    reportError(kErrNoMemory, kList, kListStepIndexBlock);
    return FALSE;
  }
  if (!strings.allocate(kStringStep)) {
    reportError(kErrNoMemory, kList, kListStepStringBlock);
    return FALSE;
  }
  if (!buildMarkIndex(file, count, index, strings)) return FALSE;
  *stringsOut = strings.releaseHandle();
  *indexOut = index.releaseHandle();
  return TRUE;
}

BOOL getRecordMarkName(const char* markPath, uint32_t markSet, LPSTR* namesOut) {
  if (namesOut != nullptr) *namesOut = nullptr;
  char path[kPathSize];
  if (!libraryFormOf(markPath, path) || namesOut == nullptr) {
    reportError(kErrNone, kNames, kNamesStepOpen);
    return FALSE;
  }
  MarkFile file;
  if (!verifyMarkFile(path) || !file.open(path, MarkAccess::Read, kNames, kNamesStepOpen))
    return FALSE;
  CallerBlock block;
  if (!block.allocate(kNamesBlockSize)) {
    reportError(kErrWorkBuffer, kNames, kNamesStepBlock);
    return FALSE;
  }
  uint8_t names[kMarkNamesSize];
  if (!file.read(kMarkNamesOffset, names, kMarkNamesSize, kNames, kNamesStepSeek, kNamesStepRead))
    return FALSE;
  // 26 strings one after another: mark i's name when bit i is set.
  size_t used = 0;
  for (uint32_t i = 0; i < kMarkNameCount; ++i) {
    if (markSet & (1u << i)) {
      const std::string_view name = fieldText(names + i * kMarkNameSize, kMarkNameSize);
      std::memcpy(block.bytes() + used, name.data(), name.size());
      used += name.size();
    }
    block.bytes()[used++] = '\0';
  }
  if (!block.resize(used)) {
    reportError(kErrWorkBuffer, kNames, kNamesStepBlock);
    return FALSE;
  }
  *namesOut = reinterpret_cast<LPSTR>(block.releaseLocked());
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" BOOL WINAPI afm3InsertThumbMark(HINSTANCE, LPCSTR markPath, void* record) {
  ErrorModeGuard errorMode;
  return insertThumbMark(markPath, static_cast<uint8_t*>(record));
}

extern "C" int WINAPI afm3RemoveThumbMark(HINSTANCE, LPCSTR markPath, LPCSTR path, LPCSTR label,
                                          DWORD driveType) {
  ErrorModeGuard errorMode;
  return removeThumbMark(markPath, path, label, driveType);
}

extern "C" int WINAPI afm3ReadThumbMark(HINSTANCE, LPCSTR markPath, LPCSTR path, LPCSTR label,
                                        DWORD driveType, DWORD* markSetOut) {
  ErrorModeGuard errorMode;
  return readThumbMark(markPath, path, label, driveType, markSetOut);
}

extern "C" BOOL WINAPI afm3GetAllMarkRec(HINSTANCE, LPCSTR markPath, HGLOBAL* stringsOut,
                                         HGLOBAL* indexOut, DWORD* countOut) {
  ErrorModeGuard errorMode;
  return getAllMarkRec(markPath, stringsOut, indexOut, countOut);
}

extern "C" BOOL WINAPI afm3GetRecordMarkName(HINSTANCE, LPCSTR markPath, DWORD markSet,
                                             LPSTR* namesOut) {
  ErrorModeGuard errorMode;
  return getRecordMarkName(markPath, markSet, namesOut);
}
