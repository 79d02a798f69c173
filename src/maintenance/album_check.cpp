#include "maintenance/album_check.h"

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <map>
#include <set>
#include <tuple>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/album_table.h"
#include "core/checksum.h"
#include "core/error_mode.h"
#include "core/field_scheme.h"
#include "core/heap_block.h"
#include "images/image_format.h"
#include "platform.h"
#include "records/record_encoding.h"

namespace afm3 {

namespace {

constexpr uint32_t kNone = AFM3_PROBLEM_NONE;
constexpr uint32_t kHighestPage = kHighestRecord / kRecordsPerPage;
constexpr uint32_t kMagicAndVersion = 6;
constexpr uint32_t kLongestJpeg = 0xFFFF;

uint32_t clamp32(uint64_t v) { return static_cast<uint32_t>(std::min<uint64_t>(v, 0xFFFFFFFFu)); }

const char* heapName(Heap heap) { return heap == Heap::Text ? "text" : "memo"; }
int heapIndex(Heap heap) { return heap == Heap::Text ? 0 : 1; }
constexpr Heap kHeaps[2] = {Heap::Text, Heap::Memo};

// The file being checked. Reads are held against the file's size before
// they are made; a read inside the file that still fails is remembered,
// since the check can then say nothing about those bytes.
class AlbumBytes {
 public:
  explicit AlbumBytes(HANDLE file) : file_(file), size_(plat::fileSize(file)) {}

  bool sized() const { return size_ != 0xFFFFFFFFu; }
  uint32_t size() const { return size_; }
  // [offset, offset + length) lies in the file, after the header.
  bool holds(uint64_t offset, uint64_t length) const {
    return offset >= kHeaderSize && offset + length <= size_;
  }
  bool read(uint64_t offset, void* out, uint32_t count) {
    if (offset + count > size_) return false;
    if (plat::seekFile(file_, static_cast<int64_t>(offset), plat::SeekFrom::Begin) != offset ||
        retryingRead(file_, out, count) != count) {
      if (failedAt_ == kNone) failedAt_ = static_cast<uint32_t>(offset);
      return false;
    }
    return true;
  }
  bool readU16(uint64_t offset, uint16_t* value) {
    uint8_t b[2];
    if (!read(offset, b, sizeof b)) return false;
    *value = afm3GetU16(b);
    return true;
  }
  bool readU32(uint64_t offset, uint32_t* value) {
    uint8_t b[4];
    if (!read(offset, b, sizeof b)) return false;
    *value = afm3GetU32(b);
    return true;
  }
  bool write(uint32_t offset, const void* bytes, uint32_t count) {
    uint32_t done = 0;
    return plat::seekFile(file_, offset, plat::SeekFrom::Begin) == offset &&
           plat::writeFile(file_, bytes, count, &done) && done == count;
  }
  bool flush() { return plat::flushFile(file_); }
  uint32_t failedAt() const { return failedAt_; }

 private:
  HANDLE file_;
  uint32_t size_;
  uint32_t failedAt_ = kNone;
};

// A stretch of the file that one structure takes.
struct Extent {
  uint64_t start;
  uint64_t end;
  const char* what;
  uint32_t record;
};

// What the repair writes, gathered while checking.
struct RepairPlan {
  bool headerSound = false;  // the layout fits: the header may be written again
  bool mendsSomething = false;
  std::vector<uint32_t> entriesToDelete;  // entry offsets; their number becomes 0xFFFF
  std::vector<std::pair<uint32_t, uint32_t>> slacksToMark;  // row slack offset, bytes
  uint16_t recordCount = 0;
  uint16_t nextRecordNumber = 0;
  HeapState heaps[2];
};

class Checker {
 public:
  Checker(AlbumBytes& file, std::vector<FoundProblem>& out) : file_(file), out_(out) {}
  Checker(const Checker&) = delete;
  Checker& operator=(const Checker&) = delete;

  CheckOutcome run();
  const RepairPlan& plan() const { return plan_; }
  const uint8_t* header() const { return slot_.header; }

 private:
  void report(uint32_t kind, uint64_t offset, uint32_t record, uint32_t field, bool repairable,
              const char* format, ...) __attribute__((format(printf, 7, 8)));
  CheckOutcome notAnAlbum(const char* text);
  void extent(uint64_t start, uint64_t length, const char* what, uint32_t record = kNone) {
    if (length > 0) extents_.push_back({start, start + length, what, record});
  }
  AlbumHeader head() const { return headerOf(slot_); }

  bool checkHeader();
  void checkScheme();
  void checkField(uint32_t j, FieldPlacement& placement);
  void checkValueTable(uint32_t j, const uint8_t* def);
  void checkIndexList();
  void checkHeapStates();
  void loadRowDirectory();
  void walkPages();
  void checkEntry(uint32_t record, uint32_t at, const uint8_t* bytes);
  void checkImage(uint32_t record, uint32_t ref, uint32_t offset);
  void checkStoredString(uint32_t record, uint32_t ref, uint32_t offset, const char* which);
  void checkPictureData(uint32_t record, uint32_t ref, uint32_t offset);
  void checkRow(uint32_t record, uint32_t entryAt, bool live);
  void checkHeapEntry(uint32_t record, Heap heap, HeapRef ref, uint32_t refAt);
  bool heapBlockSize(uint32_t block, uint32_t* size);
  void checkStringValue(uint32_t record, uint32_t field, const uint8_t* value, uint32_t at);
  void checkBlobValue(uint32_t record, uint32_t field, const uint8_t* value, uint32_t at);
  void checkCounts();
  void checkOverlaps();
  void finishPlan();

  AlbumBytes& file_;
  std::vector<FoundProblem>& out_;
  // The header and the directories, for the record addressing; the blocks
  // below own them.
  AlbumSlot slot_{};
  LockedBlock fieldDefs_, pageDir_, rowDir_;
  std::vector<uint8_t> names_;
  bool schemeSound_ = true;
  uint32_t heapFields_[2] = {};
  bool currentSound_[2] = {};  // the current heap block lies in the file
  uint32_t currentSize_[2] = {};
  uint32_t heapEnd_[2] = {};  // the furthest entry end rows refer to in the current block
  std::map<uint32_t, uint32_t> heapBlocks_;  // block offset -> size (0: outside the file)
  std::set<uint32_t> badRowBlocks_;
  uint32_t liveCount_ = 0;
  uint32_t highestUsed_ = 0;
  bool anyUsed_ = false;
  std::vector<Extent> extents_;
  std::vector<uint8_t> row_;
  std::vector<uint8_t> buffer_;  // whatever else is read
  RepairPlan plan_;
};

void Checker::report(uint32_t kind, uint64_t offset, uint32_t record, uint32_t field,
                     bool repairable, const char* format, ...) {
  FoundProblem found{};
  found.problem.kind = kind;
  found.problem.offset = clamp32(offset);
  found.problem.record = record;
  found.problem.field = field;
  va_list args;
  va_start(args, format);
  std::vsnprintf(found.problem.text, sizeof found.problem.text, format, args);
  va_end(args);
  found.repairable = repairable && plan_.headerSound;
  if (found.repairable) plan_.mendsSomething = true;
  out_.push_back(found);
}

CheckOutcome Checker::notAnAlbum(const char* text) {
  report(AFM3_PROBLEM_FILE, 0, kNone, kNone, false, "%s", text);
  return CheckOutcome::NotAnAlbum;
}

CheckOutcome Checker::run() {
  if (!file_.sized()) return notAnAlbum("the file's size cannot be read");
  const uint32_t have = std::min(file_.size(), kHeaderSize);
  if (have < kMagicAndVersion) return notAnAlbum("the file is too short to be an album");
  if (!file_.read(0, slot_.header, have)) return notAnAlbum("the file cannot be read");
  if (!hasAlbumMagic(slot_.header)) return notAnAlbum("the file is not an album");
  const uint32_t version = (uint32_t{slot_.header[4]} << 8) | slot_.header[5];
  if (version == kVersion2)
    return notAnAlbum("a version-2.0 album: only version-3.0 albums are checked; convert it first");
  if (version != kVersion3) {
    char text[96];
    std::snprintf(text, sizeof text, "album format %u.%u: only version-3.0 albums are checked",
                  version >> 8, version & 0xFF);
    return notAnAlbum(text);
  }
  if (checkHeader()) {
    checkScheme();
    checkHeapStates();
    loadRowDirectory();
    walkPages();
    checkCounts();
    checkOverlaps();
    finishPlan();
  }
  if (file_.failedAt() != kNone)
    report(AFM3_PROBLEM_FILE, file_.failedAt(), kNone, kNone, false,
           "reading the file at %u failed: what lies there was not checked", file_.failedAt());
  return CheckOutcome::Checked;
}

// Magic and version are right; the checksum and the layout. False when the
// layout does not let the rest of the file be walked.
bool Checker::checkHeader() {
  if (file_.size() < kHeaderSize) {
    report(AFM3_PROBLEM_HEADER_LAYOUT, file_.size(), kNone, kNone, false,
           "the file ends at %u bytes, inside the %u-byte header", file_.size(), kHeaderSize);
    return false;
  }
  const AlbumHeader h = head();
  LayoutFault faults[kMaxLayoutFaults];
  const uint32_t faultCount = headerLayoutFaults(h, file_.size(), faults);
  plan_.headerSound = faultCount == 0;
  if (!h.checksumHolds())
    report(AFM3_PROBLEM_HEADER_CHECKSUM, kHeaderChecksumAt, kNone, kNone, true,
           "the header's checksum does not hold");
  for (uint32_t i = 0; i < faultCount; ++i)
    report(AFM3_PROBLEM_HEADER_LAYOUT, faults[i].at, kNone, kNone, false, "%s", faults[i].what);
  if (faultCount > 0) return false;
  const RowGeometry full = rowGeometry(h.rowDataSize());
  const bool slotInRange = h.rowSlotSize() > h.rowDataSize() && h.rowSlotSize() <= full.rowSlotSize;
  const RowGeometry g = slotInRange ? rowGeometryForSlot(h.rowDataSize(), h.rowSlotSize()) : full;
  if (g.rowSlotSize != h.rowSlotSize() || g.rowBlockSize != h.rowBlockSize() ||
      g.rowsPerBlock != h.rowsPerBlock())
    report(AFM3_PROBLEM_HEADER_LAYOUT, 36, kNone, kNone, false,
           "rows of %u bytes take slots of %u in blocks of %u (%u rows), not %u in %u (%u rows)",
           h.rowDataSize(), h.rowSlotSize(), h.rowBlockSize(), h.rowsPerBlock(), g.rowSlotSize,
           g.rowBlockSize, g.rowsPerBlock);
  extent(0, kHeaderSize, "the header");
  return true;
}

void Checker::checkScheme() {
  const AlbumHeader h = head();
  const uint32_t count = h.fieldDefCount();
  names_.resize(h.fieldNameSize());
  if (!fieldDefs_.allocate(std::max<uint32_t>(count * kFieldDefSize, 1)) ||
      !file_.read(h.fieldDefOffset(), fieldDefs_.get(), count * kFieldDefSize) ||
      !file_.read(h.fieldNameOffset(), names_.data(), h.fieldNameSize())) {
    schemeSound_ = false;
    return;
  }
  slot_.fieldDefs = fieldDefs_.get();
  extent(h.fieldDefOffset(), count * kFieldDefSize, "the field definitions");
  extent(h.fieldNameOffset(), h.fieldNameSize(), "the field names");
  FieldPlacement placement;
  uint32_t live = 0;
  for (uint32_t j = 0; j < count; ++j) {
    checkField(j, placement);
    if (!fieldAt(slot_, j).removed) ++live;
  }
  if (live != h.fieldCount())
    report(AFM3_PROBLEM_FIELD_SCHEME, 47, kNone, kNone, false,
           "the header counts %u live fields, the definitions hold %u", h.fieldCount(), live);
  if (placement.rowDataSize() != h.rowDataSize()) {
    report(AFM3_PROBLEM_FIELD_SCHEME, 42, kNone, kNone, false,
           "the fields take %u bytes of a row, the header says %u", placement.rowDataSize(),
           h.rowDataSize());
    schemeSound_ = false;
  }
  for (Heap heap : kHeaps) heapFields_[heapIndex(heap)] = heapFieldCount(slot_, heap);
  checkIndexList();
}

void Checker::checkField(uint32_t j, FieldPlacement& placement) {
  const uint8_t* def = fieldDefBytes(slot_, j);
  const uint32_t at = fieldDefFileOffset(head(), j);
  const FieldInfo f = fieldAt(slot_, j);
  if (def[0] != j)
    report(AFM3_PROBLEM_FIELD_SCHEME, at, kNone, j, false, "field %u's definition holds number %u",
           j, def[0]);
  if (f.type > kTypeMemo) {
    report(AFM3_PROBLEM_FIELD_SCHEME, at + 1, kNone, j, false, "field %u has unknown type %u", j,
           f.type);
    schemeSound_ = false;
  }
  const uint16_t expected = placement.place(f.type);
  if (f.placement != expected) {
    report(AFM3_PROBLEM_FIELD_SCHEME, at + 14, kNone, j, false,
           "field %u is placed at %u, its place is %u", j, f.placement, expected);
    schemeSound_ = false;
  }
  const uint32_t name = FieldDef(const_cast<uint8_t*>(def)).nameOffset();
  if (name >= names_.size() || std::find(names_.begin() + name, names_.end(), 0) == names_.end())
    report(AFM3_PROBLEM_FIELD_SCHEME, at + 2, kNone, j, false,
           "field %u's name does not lie in the name list", j);
  if (hasValueTable(f.type)) checkValueTable(j, def);
}

void Checker::checkValueTable(uint32_t j, const uint8_t* def) {
  const ValueTable t = valueTableOf(def);
  const uint32_t at = fieldDefFileOffset(head(), j) + 4;
  if (t.offset == 0) {
    if (t.capacity != 0)
      report(AFM3_PROBLEM_VALUE_TABLE, at, kNone, j, false,
             "field %u has no value table but a capacity of %u bytes", j, t.capacity);
  } else if (!file_.holds(t.offset, t.capacity)) {
    report(AFM3_PROBLEM_VALUE_TABLE, at, kNone, j, false,
           "field %u's value table at %u of %u bytes lies outside the file", j, t.offset,
           t.capacity);
  } else {
    extent(t.offset, t.capacity, "a value table");
  }
}

void Checker::checkIndexList() {
  const uint32_t at = head().indexListOffset();
  uint16_t count = 0;
  if (at == 0 || !file_.readU16(at, &count)) return;
  const uint32_t size = kIndexListHeader + count * kIndexEntryBytes;
  if (!file_.holds(at, size)) {
    report(AFM3_PROBLEM_FIELD_SCHEME, at, kNone, kNone, false,
           "the index list of %u entries runs past the end of the file", count);
    return;
  }
  extent(at, size, "the index list");
  buffer_.resize(size);
  if (!file_.read(at, buffer_.data(), size)) return;
  for (uint32_t k = 0; k < count; ++k) {
    const uint8_t* entry = buffer_.data() + kIndexListHeader + k * kIndexEntryBytes;
    if (entry[0] == 0 || entry[1] >= head().fieldDefCount())
      report(AFM3_PROBLEM_FIELD_SCHEME, at + kIndexListHeader + k * kIndexEntryBytes, kNone,
             entry[1], false, "index list entry %u names field %u with attribute %u", k, entry[1],
             entry[0]);
  }
}

// The current block of each heap, and its used and free marks.
void Checker::checkHeapStates() {
  for (Heap heap : kHeaps) {
    const int i = heapIndex(heap);
    const HeapState s = heapState(head(), heap);
    plan_.heaps[i] = s;
    if (s.block == 0) {
      if (s.used != 0 || s.free != 0)
        report(AFM3_PROBLEM_HEAP_STATE, heapHeaderAt(heap) + 4, kNone, kNone, false,
               "no current %s block, yet %u bytes used and %u free", heapName(heap), s.used,
               s.free);
      continue;
    }
    uint32_t size = 0;
    if (!heapBlockSize(s.block, &size)) {
      report(AFM3_PROBLEM_HEAP_STATE, heapHeaderAt(heap), kNone, kNone, false,
             "the current %s block at %u lies outside the file", heapName(heap), s.block);
      continue;
    }
    currentSound_[i] = true;
    currentSize_[i] = size;
    heapEnd_[i] = s.used;
    if (uint32_t{s.used} + s.free != size || s.used < kHeapFirstEntry)
      report(AFM3_PROBLEM_HEAP_STATE, heapHeaderAt(heap) + 4, kNone, kNone, s.used <= size,
             "the current %s block holds %u bytes, yet %u are used and %u free", heapName(heap),
             size, s.used, s.free);
  }
}

// The size of the heap block at block, once it is known to lie in the
// file; false when it does not.
bool Checker::heapBlockSize(uint32_t block, uint32_t* size) {
  const auto known = heapBlocks_.find(block);
  if (known != heapBlocks_.end()) {
    *size = known->second;
    return *size != 0;
  }
  uint16_t stored = 0;
  const bool fits = file_.holds(block, kHeapFirstEntry) && file_.readU16(block, &stored) &&
                    stored >= kHeapFirstEntry && file_.holds(block, stored);
  heapBlocks_[block] = fits ? stored : 0;
  if (fits) extent(block, stored, "a heap block");
  *size = fits ? stored : 0;
  return fits;
}

void Checker::loadRowDirectory() {
  const AlbumHeader h = head();
  const uint32_t count = h.rowDirCount();
  if (h.rowDirOffset() == 0 || !rowDir_.allocate(std::max<uint32_t>(count * 4, 1)) ||
      !file_.read(h.rowDirOffset(), rowDir_.get(), count * 4))
    return;
  slot_.rowDir = rowDir_.get();
  extent(h.rowDirOffset(), count * 4, "the row directory");
  for (uint32_t b = 0; b < count; ++b) {
    const uint32_t block = afm3GetU32(rowDir_.get() + 4 * b);
    if (block == 0) continue;
    if (file_.holds(block, h.rowBlockSize())) {
      extent(block, h.rowBlockSize(), "a row block");
      continue;
    }
    badRowBlocks_.insert(block);
    report(AFM3_PROBLEM_ROW, h.rowDirOffset() + 4 * b, kNone, kNone, false,
           "row block %u at %u lies outside the file", b, block);
  }
}

void Checker::walkPages() {
  const AlbumHeader h = head();
  const uint32_t count = h.pageDirCount();
  if (h.pageDirOffset() == 0 || !pageDir_.allocate(std::max<uint32_t>(count * 4, 1)) ||
      !file_.read(h.pageDirOffset(), pageDir_.get(), count * 4))
    return;
  slot_.pageDir = pageDir_.get();
  extent(h.pageDirOffset(), count * 4, "the page directory");
  std::vector<uint8_t> page(kPageSize);
  bool gap = false;
  for (uint32_t p = 0; p < count; ++p) {
    const uint32_t at = afm3GetU32(pageDir_.get() + 4 * p);
    const uint32_t dirAt = h.pageDirOffset() + 4 * p;
    if (at == 0) {
      gap = true;
      continue;
    }
    if (p > kHighestPage) {
      report(AFM3_PROBLEM_PAGE_DIRECTORY, dirAt, kNone, kNone, false,
             "page %u lies beyond the highest record number", p);
      continue;
    }
    if (!file_.holds(at, kPageSize)) {
      report(AFM3_PROBLEM_PAGE_DIRECTORY, dirAt, kNone, kNone, false,
             "page %u at %u lies outside the file", p, at);
      continue;
    }
    if (gap)
      report(AFM3_PROBLEM_PAGE_DIRECTORY, dirAt, kNone, kNone, false,
             "page %u follows a page that was never made", p);
    extent(at, kPageSize, "a record page");
    if (!file_.read(at, page.data(), kPageSize)) continue;
    for (uint32_t i = 0; i < kRecordsPerPage; ++i) {
      const uint32_t record = p * kRecordsPerPage + i;
      checkEntry(record, at + i * kEntrySize, page.data() + i * kEntrySize);
    }
  }
}

void Checker::checkEntry(uint32_t record, uint32_t at, const uint8_t* bytes) {
  const RecordEntry entry(const_cast<uint8_t*>(bytes));
  if (entry.neverUsed()) return;
  if (record > kHighestRecord) {
    report(AFM3_PROBLEM_ENTRY_NUMBER, at, record, kNone, false,
           "entry %u is in use, yet no record can have its number", record);
    return;
  }
  const bool live = !entry.isFree();
  if (!live) {
    if (!entry.checksumHoldsWith(static_cast<uint16_t>(record)))
      report(AFM3_PROBLEM_ENTRY_CHECKSUM, at, record, kNone, false,
             "the entry of deleted record %u fails its checksum", record);
  } else {
    ++liveCount_;
    if (entry.number() != record)
      report(AFM3_PROBLEM_ENTRY_NUMBER, at, record, kNone, false,
             "the entry at the place of record %u holds number %u", record, entry.number());
    if (!checksumHolds(bytes, kEntrySize))
      report(AFM3_PROBLEM_ENTRY_CHECKSUM, at, record, kNone, false,
             "the entry of record %u fails its checksum", record);
  }
  anyUsed_ = true;
  highestUsed_ = std::max(highestUsed_, record);
  if (entry.imageOffset() != 0)
    checkImage(record, at + AFM3_ENTRY_IMAGE_OFFSET, entry.imageOffset());
  if (entry.stringAOffset() != 0)
    checkStoredString(record, at + AFM3_ENTRY_STRING_A, entry.stringAOffset(), "string A");
  if (entry.stringBOffset() != 0)
    checkStoredString(record, at + AFM3_ENTRY_STRING_B, entry.stringBOffset(), "string B");
  if ((entry.flags() & AFM3_ENTRY_FLAG_MISC_DATA) && entry.pictureDataOffset() != 0)
    checkPictureData(record, at + AFM3_ENTRY_MISC_DATA, entry.pictureDataOffset());
  checkRow(record, at, live);
}

void Checker::checkImage(uint32_t record, uint32_t ref, uint32_t offset) {
  uint8_t bytes[kImageHeaderSize];
  if (!file_.holds(offset, kImageHeaderSize) || !file_.read(offset, bytes, kImageHeaderSize)) {
    report(AFM3_PROBLEM_IMAGE, ref, record, kNone, false,
           "record %u's image at %u lies outside the file", record, offset);
    return;
  }
  const ImageHeader h = ImageHeader::read(bytes);
  const uint64_t rawSize = uint64_t{dibRowSize(bitsForKind(h.kind), h.width)} * h.height;
  if (!isStorableKind(h.kind) || h.compression > kCompressZlib)
    report(AFM3_PROBLEM_IMAGE, offset, record, kNone, false,
           "record %u's image has colour kind %u and compression %u", record, h.kind,
           h.compression);
  else if (h.width == 0 || h.height == 0 || dibRowSize(bitsForKind(h.kind), h.width) > kMaxRowSize)
    report(AFM3_PROBLEM_IMAGE, offset, record, kNone, false, "record %u's image is %u x %u", record,
           h.width, h.height);
  else if (h.tableStored() ? h.entryCount > kMaxColourEntries : h.entryCount != 0)
    report(AFM3_PROBLEM_IMAGE, offset, record, kNone, false,
           "record %u's image has a colour table of %u entries", record, h.entryCount);
  else if ((h.compression == kCompressNone && h.storedSize != rawSize) ||
           (h.compression == kCompressJpeg && h.storedSize > kLongestJpeg))
    report(AFM3_PROBLEM_IMAGE, offset, record, kNone, false,
           "record %u's image keeps %u bytes of pixel data", record, h.storedSize);
  const uint64_t length = storedImageLength(bytes);
  if (!file_.holds(offset, length)) {
    report(AFM3_PROBLEM_IMAGE, offset, record, kNone, false,
           "record %u's image at %u (%u bytes) ends past the end of the file", record, offset,
           clamp32(length));
    return;
  }
  extent(offset, length, "an image", record);
}

void Checker::checkStoredString(uint32_t record, uint32_t ref, uint32_t offset, const char* which) {
  uint16_t n = 0;
  if (!file_.holds(offset, 2) || !file_.readU16(offset, &n) || n == 0 ||
      !file_.holds(offset, 2ull + n)) {
    report(AFM3_PROBLEM_PICTURE_STRING, ref, record, kNone, false,
           "record %u's %s at %u (%u bytes) lies outside the file", record, which, offset, n);
    return;
  }
  uint8_t last = 0;
  if (file_.read(offset + 1ull + n, &last, 1) && last != 0)
    report(AFM3_PROBLEM_PICTURE_STRING, offset, record, kNone, false,
           "record %u's %s does not end with a NUL", record, which);
  extent(offset, 2ull + n, which, record);
}

void Checker::checkPictureData(uint32_t record, uint32_t ref, uint32_t offset) {
  uint16_t n = 0;
  if (!file_.holds(offset, 2) || !file_.readU16(offset, &n) || !file_.holds(offset, 2ull + n)) {
    report(AFM3_PROBLEM_PICTURE_DATA, ref, record, kNone, false,
           "record %u's picture-file data at %u (%u bytes) lies outside the file", record, offset,
           n);
    return;
  }
  extent(offset, 2ull + n, "picture-file data", record);
}

void Checker::checkRow(uint32_t record, uint32_t entryAt, bool live) {
  const AlbumHeader h = head();
  const RowPlace place = rowPlace(slot_, record);
  if (!place.present() || badRowBlocks_.count(place.block) != 0) return;
  row_.resize(h.rowSlotSize());
  const uint8_t* row = row_.data();
  if (!file_.read(place.offset, row_.data(), h.rowSlotSize())) return;
  // A slot no row was ever written to (its record, or the records before
  // it in the block, were inserted without values) is all zeros.
  if (std::all_of(row_.begin(), row_.end(), [](uint8_t b) { return b == 0; })) return;
  const uint32_t slackAt = place.offset + h.rowDataSize();
  switch (slackMark(h, row)) {
    case SlackMark::Neither:
      report(AFM3_PROBLEM_ROW, slackAt, record, kNone, false,
             "record %u's row is marked neither live nor deleted", record);
      break;
    case SlackMark::Deleted:
      if (!live) break;
      report(AFM3_PROBLEM_HALF_DELETED, entryAt, record, kNone, true,
             "record %u's row is marked deleted, its entry is live", record);
      plan_.entriesToDelete.push_back(entryAt);
      break;
    case SlackMark::Live:
      if (live) break;
      report(AFM3_PROBLEM_HALF_DELETED, slackAt, record, kNone, true,
             "record %u's entry is deleted, its row is marked live", record);
      plan_.slacksToMark.emplace_back(slackAt, h.rowSlotSize() - h.rowDataSize());
      break;
  }
  for (Heap heap : kHeaps) {
    const HeapRef ref = rowHeapRef(row, heap);
    const uint32_t refAt = place.offset + rowHeapRefAt(heap);
    if (ref.block == 0) continue;
    if (heapFields_[heapIndex(heap)] == 0)
      report(AFM3_PROBLEM_HEAP_REFERENCE, refAt, record, kNone, false,
             "record %u's row refers to a %s entry, but the album has no %s fields", record,
             heapName(heap), heapName(heap));
    else
      checkHeapEntry(record, heap, ref, refAt);
  }
  if (!schemeSound_) return;
  for (uint32_t j = 0; j < fieldDefCount(slot_); ++j) {
    const FieldInfo f = fieldAt(slot_, j);
    if (f.type == kTypeSignedString)
      checkStringValue(record, j, row + f.placement, place.offset + f.placement);
    else if (f.type == kTypeBlob)
      checkBlobValue(record, j, row + f.placement, place.offset + f.placement);
  }
}

void Checker::checkHeapEntry(uint32_t record, Heap heap, HeapRef ref, uint32_t refAt) {
  const int i = heapIndex(heap);
  const char* name = heapName(heap);
  uint32_t size = 0;
  if (!heapBlockSize(ref.block, &size)) {
    report(AFM3_PROBLEM_HEAP_REFERENCE, refAt, record, kNone, false,
           "record %u's %s block at %u lies outside the file", record, name, ref.block);
    return;
  }
  const uint64_t at = ref.position();
  uint16_t length = 0;
  if (ref.entry < kHeapFirstEntry || uint32_t{ref.entry} + kHeapLengthSize > size ||
      !file_.readU16(at, &length)) {
    report(AFM3_PROBLEM_HEAP_REFERENCE, refAt, record, kNone, false,
           "record %u's %s entry at %u lies outside its block of %u bytes", record, name, ref.entry,
           size);
    return;
  }
  const uint32_t end = ref.entry + kHeapLengthSize + length;
  if (end > size) {
    report(AFM3_PROBLEM_HEAP_REFERENCE, at, record, kNone, false,
           "record %u's %s entry of %u bytes runs past its block", record, name, length);
    return;
  }
  buffer_.resize(length + 1u);
  if (!file_.read(at + kHeapLengthSize, buffer_.data(), length)) return;
  if (!entryHoldsStrings(buffer_.data(), length, heapFields_[i]))
    report(AFM3_PROBLEM_HEAP_REFERENCE, at, record, kNone, false,
           "record %u's %s entry does not hold its %u strings", record, name, heapFields_[i]);
  if (!currentSound_[i] || ref.block != plan_.heaps[i].block || end <= heapState(head(), heap).used)
    return;
  // Written by an operation that stopped before the header: the next
  // insert would write over it.
  report(AFM3_PROBLEM_HEAP_STATE, at, record, kNone, true,
         "record %u's %s entry ends at %u, past the block's used mark %u", record, name, end,
         heapState(head(), heap).used);
  heapEnd_[i] = std::max(heapEnd_[i], end);
}

void Checker::checkStringValue(uint32_t record, uint32_t field, const uint8_t* value, uint32_t at) {
  const uint32_t offset = stringValueOffset(value);
  const uint16_t length = stringValueLength(value);
  if (offset == 0) {
    if (length != 0)
      report(AFM3_PROBLEM_STRING_VALUE, at, record, field, false,
             "record %u's field %u has a length of %u but no string", record, field, length);
    return;
  }
  if (length == 0 || !file_.holds(offset, length)) {
    report(AFM3_PROBLEM_STRING_VALUE, at, record, field, false,
           "record %u's field %u: its string at %u (%u bytes) lies outside the file", record, field,
           offset, length);
    return;
  }
  extent(offset, length, "a type-9 string", record);
  buffer_.resize(length);
  if (!file_.read(offset, buffer_.data(), length)) return;
  const auto nul = std::find(buffer_.begin(), buffer_.end(), 0);
  if (nul != buffer_.end() - 1) {
    report(AFM3_PROBLEM_STRING_VALUE, offset, record, field, false,
           "record %u's field %u: its string does not end at its stored length", record, field);
    return;
  }
  uint8_t signature[kStringSignatureSize];
  if (stringValueSignature(reinterpret_cast<const char*>(buffer_.data()), length - 1u, signature) &&
      std::memcmp(signature, value, kStringSignatureSize) != 0)
    report(AFM3_PROBLEM_STRING_VALUE, at, record, field, false,
           "record %u's field %u: the signature does not match its string", record, field);
}

void Checker::checkBlobValue(uint32_t record, uint32_t field, const uint8_t* value, uint32_t at) {
  const uint32_t offset = blobValueOffset(value);
  if (offset == 0) return;
  uint32_t n = 0;
  if (!file_.holds(offset, 4) || !file_.readU32(offset, &n) || !file_.holds(offset, 4ull + n)) {
    report(AFM3_PROBLEM_BLOB_VALUE, at, record, field, false,
           "record %u's field %u: its value at %u (%u bytes) lies outside the file", record, field,
           offset, n);
    return;
  }
  extent(offset, 4ull + n, "a type-10 value", record);
}

void Checker::checkCounts() {
  const AlbumHeader h = head();
  if (h.recordCount() != liveCount_)
    report(AFM3_PROBLEM_RECORD_COUNT, kRecordCountAt, kNone, kNone, true,
           "the header counts %u records, %u entries are live", h.recordCount(), liveCount_);
  if (anyUsed_ && highestUsed_ >= h.nextRecordNumber())
    report(AFM3_PROBLEM_NEXT_RECORD, kNextRecordNumberAt, highestUsed_, kNone, true,
           "the next record number %u is not above record %u", h.nextRecordNumber(), highestUsed_);
}

void Checker::checkOverlaps() {
  std::sort(extents_.begin(), extents_.end(), [](const Extent& a, const Extent& b) {
    return std::tie(a.start, a.end) < std::tie(b.start, b.end);
  });
  const Extent* furthest = nullptr;
  for (const Extent& e : extents_) {
    if (furthest != nullptr && e.start < furthest->end)
      report(AFM3_PROBLEM_OVERLAP, e.start, e.record, kNone, false,
             "%s at %u..%u overlaps %s at %u..%u", e.what, clamp32(e.start), clamp32(e.end),
             furthest->what, clamp32(furthest->start), clamp32(furthest->end));
    if (furthest == nullptr || e.end > furthest->end) furthest = &e;
  }
}

void Checker::finishPlan() {
  const AlbumHeader h = head();
  plan_.recordCount = static_cast<uint16_t>(liveCount_ - plan_.entriesToDelete.size());
  plan_.nextRecordNumber = h.nextRecordNumber();
  if (anyUsed_ && highestUsed_ >= h.nextRecordNumber())
    plan_.nextRecordNumber = static_cast<uint16_t>(highestUsed_ + 1);
  for (Heap heap : kHeaps) {
    const int i = heapIndex(heap);
    HeapState& s = plan_.heaps[i];
    if (!currentSound_[i] || std::max<uint32_t>(s.used, heapEnd_[i]) > currentSize_[i]) continue;
    s.used = static_cast<uint16_t>(std::max<uint32_t>(s.used, heapEnd_[i]));
    s.free = static_cast<uint16_t>(currentSize_[i] - s.used);
  }
}

// The repair's writes, in the order the header comment gives.
bool applyRepair(AlbumBytes& file, const RepairPlan& plan, const uint8_t* checkedHeader) {
  const uint8_t deleted[2] = {0xFF, 0xFF};
  for (const auto& [at, length] : plan.slacksToMark) {
    const std::vector<uint8_t> fill(length, kDeletedFill);
    if (!file.write(at, fill.data(), length)) return false;
  }
  for (uint32_t at : plan.entriesToDelete)
    if (!file.write(at, deleted, sizeof deleted)) return false;
  uint8_t bytes[kHeaderSize];
  std::memcpy(bytes, checkedHeader, kHeaderSize);
  AlbumHeader header(bytes);
  header.setRecordCount(plan.recordCount);
  header.setNextRecordNumber(plan.nextRecordNumber);
  for (Heap heap : kHeaps) setHeapState(header, heap, plan.heaps[heapIndex(heap)]);
  header.storeChecksum();
  return file.write(0, bytes, kHeaderSize) && file.flush();
}

bool sameProblem(const Afm3Problem& a, const Afm3Problem& b) {
  return a.kind == b.kind && a.offset == b.offset && a.record == b.record && a.field == b.field;
}

void deliver(const Afm3Problem& problem, Afm3ProblemCallback onProblem, void* ctx) {
  if (onProblem != nullptr) onProblem(ctx, &problem);
}

void deliverFileProblem(const char* text, Afm3ProblemCallback onProblem, void* ctx) {
  Afm3Problem problem{};
  problem.kind = AFM3_PROBLEM_FILE;
  problem.record = problem.field = kNone;
  std::snprintf(problem.text, sizeof problem.text, "%s", text);
  deliver(problem, onProblem, ctx);
}

}  // namespace

CheckOutcome checkAlbum(HANDLE file, std::vector<FoundProblem>* problems) {
  AlbumBytes bytes(file);
  Checker checker(bytes, *problems);
  return checker.run();
}

CheckOutcome repairAlbum(HANDLE file, std::vector<Afm3Problem>* repaired,
                         std::vector<Afm3Problem>* left) {
  std::vector<FoundProblem> before;
  {
    AlbumBytes bytes(file);
    Checker checker(bytes, before);
    const CheckOutcome outcome = checker.run();
    if (outcome != CheckOutcome::Checked) {
      for (const FoundProblem& f : before) left->push_back(f.problem);
      return outcome;
    }
    if (checker.plan().mendsSomething && !applyRepair(bytes, checker.plan(), checker.header())) {
      Afm3Problem failed{};
      failed.kind = AFM3_PROBLEM_FILE;
      failed.record = failed.field = kNone;
      std::snprintf(failed.text, sizeof failed.text, "writing the repair failed (Windows error %u)",
                    plat::lastError());
      left->push_back(failed);
    }
  }
  std::vector<FoundProblem> after;
  const CheckOutcome outcome = checkAlbum(file, &after);
  for (const FoundProblem& f : after) left->push_back(f.problem);
  for (const FoundProblem& f : before) {
    if (!f.repairable) continue;
    const auto still = std::find_if(after.begin(), after.end(), [&](const FoundProblem& a) {
      return sameProblem(a.problem, f.problem);
    });
    if (still != after.end()) continue;
    repaired->push_back(f.problem);
    repaired->back().kind |= AFM3_PROBLEM_REPAIRED;
  }
  return outcome;
}

int checkAlbumFile(const char* path, bool repair, Afm3ProblemCallback onProblem, void* ctx) {
  ErrorModeGuard quiet;
  if (path == nullptr || path[0] == '\0') {
    deliverFileProblem("no album path given", onProblem, ctx);
    return -1;
  }
  const uint32_t access = repair ? plat::kGenericRead | plat::kGenericWrite : plat::kGenericRead;
  const uint32_t share = repair ? 0 : plat::kShareRead | plat::kShareWrite;
  const HANDLE file = plat::openFile(path, access, share, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) {
    const uint32_t error = plat::lastError();
    char text[160];
    if (error == plat::kErrSharingViolation)
      std::snprintf(text, sizeof text, "the album is open in another program%s",
                    repair ? "; a repair needs it to itself" : " that shares it with nobody");
    else
      std::snprintf(text, sizeof text, "the album cannot be opened %s(Windows error %u)",
                    repair ? "for writing " : "", error);
    deliverFileProblem(text, onProblem, ctx);
    return -1;
  }
  CheckOutcome outcome;
  int count = 0;
  if (repair) {
    std::vector<Afm3Problem> repaired, left;
    outcome = repairAlbum(file, &repaired, &left);
    for (const Afm3Problem& p : repaired) deliver(p, onProblem, ctx);
    for (const Afm3Problem& p : left) deliver(p, onProblem, ctx);
    count = static_cast<int>(left.size());
  } else {
    std::vector<FoundProblem> found;
    outcome = checkAlbum(file, &found);
    for (const FoundProblem& f : found) deliver(f.problem, onProblem, ctx);
    count = static_cast<int>(found.size());
  }
  plat::closeFile(file);
  return outcome == CheckOutcome::Checked ? count : -1;
}

}  // namespace afm3
