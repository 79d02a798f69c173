// The thumb-mark file: a small hashed store of marks on picture files, kept
// apart from the album it belongs to. All integers are little-endian.
//
//   0     MarkFileHeader (164 bytes)
//           0 magic D6 C5 6F 58      4 version 2.0 (readers ignore it)
//           6 album path (128): canonical short form, lower case; may be empty
//         134 album title (24): at most 23 bytes, NUL-padded
//         158 u16 live records     160 u16 records on the free list
//         162 u16 checksum of bytes 0..161
//   164   MarkNameTable: 26 names of 32 bytes; name i belongs to bit i of a
//         mark set (NUL-terminated unless it fills its 32 bytes)
//   996   u32 offset of the first free record (0 = none)
//   1000  509 u32 bucket heads: the first record of each hash chain (0 = empty)
//   3036  ThumbMarkRecords of 172 bytes, appended as the file grows
//
// ThumbMarkRecord: 0 picture path (128), 128 u32 mark set, 132 volume
// label (32), 164 u8 drive type, 165 three zero bytes, 168 u32 offset of the
// next record of its chain or of the free list (0 = end). A picture's
// bucket is the hash of its file name; each chain is kept in ascending
// order of the paths from their second byte on. A freed record is zero but
// for its link.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace afm3 {

constexpr uint32_t kMarkHeaderSize = 164;
constexpr uint32_t kMarkNamesOffset = 164;
constexpr uint32_t kMarkNameCount = 26;
constexpr uint32_t kMarkNameSize = 32;
constexpr uint32_t kMarkNamesSize = kMarkNameCount * kMarkNameSize;  // 832
constexpr uint32_t kFreeHeadOffset = 996;
constexpr uint32_t kBucketsOffset = 1000;
constexpr uint32_t kBucketCount = 509;
constexpr uint32_t kMarkRecordsOffset = kBucketsOffset + 4 * kBucketCount;  // 3036
constexpr uint32_t kEmptyMarkFileSize = kMarkRecordsOffset;
constexpr uint32_t kMarkRecordSize = 172;

// Fields of a ThumbMarkRecord; a caller passes its first 168 bytes.
constexpr uint32_t kRecordPath = 0;
constexpr uint32_t kRecordPathSize = 128;
constexpr uint32_t kRecordMarkSet = 128;
constexpr uint32_t kRecordLabel = 132;
constexpr uint32_t kRecordLabelSize = 32;
constexpr uint32_t kRecordDriveType = 164;
constexpr uint32_t kRecordPadding = 165;  // three bytes, always 0
constexpr uint32_t kRecordNext = 168;
constexpr uint32_t kCallerRecordSize = kRecordNext;

// Header fields.
constexpr uint32_t kMarkAlbumPath = 6;
constexpr uint32_t kMarkAlbumPathSize = 128;
constexpr uint32_t kMarkTitle = 134;
constexpr uint32_t kMarkTitleSize = 24;
constexpr uint32_t kMarkTitleKept = 23;

constexpr uint8_t kDriveFixed = 3;

inline uint32_t bucketOffset(uint32_t bucket) { return kBucketsOffset + 4 * bucket; }

// The text of a fixed field: up to its first NUL, or the whole field.
std::string_view fieldText(const uint8_t* field, uint32_t size);

// The file-name hash of a path in the library's form: over the file name
// (after the last backslash), lower-cased, up to its first "." or its end,
// the sum of i x c(i) for i = 1, 2, ... taken modulo 509: the bucket.
uint32_t fileNameHash(std::string_view path);
// The same name weighted 1, 5, 9, ... and not reduced: a quick comparison
// key of the mark index.
uint32_t fileNameHashExt(std::string_view path);

// A MarkFileHeader held in memory.
class MarkHeader {
 public:
  explicit MarkHeader(uint8_t* bytes) : b_(bytes) {}

  // An empty file's header: magic, version 2.0, title and album path as
  // given, both counts 0, checksum.
  void initialise(const char* title, const char* albumPath);
  bool hasMagic() const;
  bool checksumHolds() const;
  void seal();  // stores the checksum

  std::string_view albumPath() const { return fieldText(b_ + kMarkAlbumPath, kMarkAlbumPathSize); }
  std::string_view title() const { return fieldText(b_ + kMarkTitle, kMarkTitleSize); }
  // Clears the field, then keeps at most 23 bytes of title, never half of
  // a double-byte character.
  void setTitle(const char* title);
  // Clears the field, then stores path (at most 127 bytes are kept).
  void setAlbumPath(const char* path);
  uint16_t liveCount() const;
  void setLiveCount(uint16_t count);
  uint16_t freeCount() const;
  void setFreeCount(uint16_t count);

 private:
  uint8_t* b_;
};

// A ThumbMarkRecord held in memory (172 bytes).
class MarkRecord {
 public:
  explicit MarkRecord(const uint8_t* bytes) : b_(bytes) {}
  std::string_view path() const { return fieldText(b_ + kRecordPath, kRecordPathSize); }
  std::string_view label() const { return fieldText(b_ + kRecordLabel, kRecordLabelSize); }
  uint8_t driveType() const { return b_[kRecordDriveType]; }
  uint32_t markSet() const;
  uint32_t next() const;

 private:
  const uint8_t* b_;
};

void setRecordNext(uint8_t* record, uint32_t next);

// The order of a chain: paths compared byte by byte from their second byte
// on (the first is a drive letter that identifies nothing on removable
// media). Negative, 0 or positive.
int comparePathTails(std::string_view a, std::string_view b);

// Whether a stored record is the picture (path, label, driveType): equal
// paths from the second byte on, and on a fixed disk (type 3) the same
// drive letter, on other media the same drive type and volume label.
bool recordMatches(const MarkRecord& record, std::string_view path, std::string_view label,
                   uint8_t driveType);

// Whether a whole record fits at offset in a file of fileSize bytes,
// behind the header, names and buckets.
bool recordFits(uint32_t offset, uint32_t fileSize);
// The most records a file of fileSize bytes can hold: no sound chain or
// free list is longer.
uint32_t recordCapacity(uint32_t fileSize);

}  // namespace afm3
