// Reading albums of the older formats 1.0, 1.2 and 2.0 for conversion.
//
// Every position, count and length these files give is held against the
// file's size before anything is read through it: a damaged old album
// gives a report (module 7008), never a read outside the file.
//
// Version 1 (1.0 and 1.2): a 192-byte header (16 u16 thumbnail size,
// 18 u16 live records, 20 title char[24], 44 description), then records of
// 336 bytes one after the other from offset 190 (overlapping the header's
// last two bytes). A live record is followed by its thumbnail.
//   0 u16 0xFFFF = deleted   2 char[128] picture path
//   130 char[160] text       290 u32 picture file size
//   294 u8 colour code (8: a kind-3 picture)   300 u16 thumbnail bytes
//   316, 318 DOS time and date, local   320, 322 a second pair
//   332 u8 flags: 0x01 and 0x08 the caller's bits, 0x10 a kind-8 picture
// A thumbnail is a raw 24-bit image of thumbnail size x thumbnail size
// pixels, rows top first, each row padded to 4 bytes, red first.
//
// Version 2: core/v2_layout.h.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "afm3_types.h"
#include "core/error_report.h"

namespace afm3 {

// The text of a fixed-size, NUL-padded field (never past its size).
std::string fixedString(const uint8_t* field, size_t size);
// Stores text in a field of size bytes, cut to leave room for its NUL.
void putBounded(uint8_t* field, size_t size, const std::string& text);

constexpr uint32_t kV1HeaderBytes = 192;
constexpr uint32_t kV1FirstRecord = 190;
constexpr uint32_t kV1RecordSize = 336;
constexpr uint32_t kOldTextMax = 255;  // bytes of a record's text taken over
constexpr uint32_t kKeywordSetBytes = 64;
constexpr uint32_t kNewEntrySize = 280;

// Failure places of the readers (module 7008).
constexpr Location kConvertV2{kModConvert, 10};
constexpr Location kConvertV1{kModConvert, 12};
constexpr uint32_t kErrOldSeek = 6425;  // a position outside the old album

// The stored thumbnail of an old record, as the version-2 image reader
// takes it.
struct OldImage {
  bool present = false;
  uint32_t offset = 0, storedSize = 0;
  uint8_t type = 0;
  uint16_t width = 0, height = 0;
  uint8_t compressionSetting = 0;
  bool storedRaw = false;
};

// One record of an old album as the new album receives it.
struct OldRecord {
  bool deleted = false;
  // The new RecordEntry's picture fields: kind, drive type, short path
  // (upper case), file size, date-times (UTC), format bytes, caller flags
  // and label. The number, offsets and checksum are the insert's.
  uint8_t entry[kNewEntrySize] = {};
  std::string path;                         // the picture's path as its entry names it
  std::string text;                         // new field 5
  std::string name;                         // new field 6 (version 2)
  uint8_t keywords[kKeywordSetBytes] = {};  // new field 7 (version 2)
  OldImage image;
  bool imageDropped = false;  // version 1: the thumbnail's size was not the album's
};

// The format byte a picture of the given kind keeps its colour in is
// recoded into today's colour kinds.
uint8_t recodeOldColour(uint8_t code);

// A DOS date-time pair of local time as UTC (unchanged when it is no valid
// date-time); returns time | date << 16.
uint32_t localDosToUtc(uint16_t dosTime, uint16_t dosDate);

// Reads of an old album file: each position and length is checked against
// the file's size (a position past the end: 6425 at seekStep; a length
// past the end or a short read: 6424 at readStep).
class OldAlbumFile {
 public:
  OldAlbumFile(HANDLE file, Location where);
  uint32_t size() const { return size_; }
  HANDLE handle() const { return file_; }
  bool readAt(uint32_t offset, void* out, uint32_t n, uint32_t seekStep, uint32_t readStep) const;

 private:
  HANDLE file_;
  Location where_;
  uint32_t size_;
};

// A version-2 album, its 4784-byte header at hand.
class V2Reader {
 public:
  V2Reader(HANDLE file, const uint8_t* header);
  // The keyword list as a value table: the strings one after the other,
  // each with its NUL, and one more NUL; count receives the entries.
  // Nothing (count 0) when the album keeps no keywords. False after 6424
  // (step 1).
  bool readKeywords(std::string* table, uint32_t* count) const;
  // Pages in use (before the first zero of the page table).
  uint32_t pageCount() const;
  // Reads the entries of page p (6425/6424, steps 3 and 4).
  bool readPage(uint32_t page);
  // Record i of the page last read (steps 5 to 10 for its name, keywords
  // and text); a deleted entry reads nothing more.
  bool readRecord(uint32_t i, OldRecord* record) const;

 private:
  OldAlbumFile file_;
  const uint8_t* header_;
  uint32_t pageOffset_ = 0;
  uint8_t entries_[64 * 288] = {};
};

// A version-1 album, its 192-byte header at hand, read record by record.
class V1Reader {
 public:
  V1Reader(HANDLE file, const uint8_t* header);
  enum class Next { Record, End, Failed };
  // The next record: End when the file ends on a record boundary, Failed
  // after 6424 (step 2) for a record cut short.
  Next next(OldRecord* record);

 private:
  OldAlbumFile file_;
  uint16_t thumbSize_;
  uint32_t position_ = kV1FirstRecord;
};

}  // namespace afm3
