// The version-2 album layout, as far as version-2 albums are still read
// (they are never written).
//
// Header (4784 bytes): 0 magic, 4 version 2.0, 6 u16 thumbnail size,
// 8 u16 live records, 10 title (24), 34 description, 546 page table
// (1024 u32 page offsets; the first 0 ends the list), 4642 u32 keyword list
// offset (32-byte entries), 4646 u16 keyword count, 4652 bits 4-6 image
// compression setting, 4782 checksum.
// Page (30720 bytes) for 64 records: 64 entries of 288 bytes, then 64
// names of 128 bytes at 18432, then 64 keyword index sets (32 u16) at 26624.
#pragma once

#include <cstdint>

#include "afm3_bytes.h"

namespace afm3 {

constexpr uint32_t kV2HeaderSize = 4784;
constexpr uint32_t kV2TitleOffset = 10;  // char[24]
constexpr uint32_t kV2PageTableOffset = 546;
constexpr uint32_t kV2MaxPages = 1024;
constexpr uint32_t kV2RecordsPerPage = 64;
constexpr uint32_t kV2EntrySize = 288;
constexpr uint32_t kV2NameSize = 128;
constexpr uint32_t kV2KeywordSetSize = 64;
constexpr uint32_t kV2KeywordEntrySize = 32;
constexpr uint32_t kV2PageSize = 30720;
constexpr uint32_t kV2NamesInPage = 18432;
constexpr uint32_t kV2KeywordsInPage = 26624;

// Offsets inside a V2RecordEntry.
enum V2Entry : uint32_t {
  kV2EntryNumber = 0,        // u16, 0xFFFF = deleted
  kV2EntrySourceKind = 2,    // u8
  kV2EntryFileName = 4,      // char[14]
  kV2EntryFileSize = 18,     // u32
  kV2EntryTime = 22,         // u16 DOS time, local
  kV2EntryDate = 24,         // u16 DOS date, local
  kV2EntryImageType = 26,    // u8
  kV2EntryDriveType = 27,    // u8, 10 = CD-ROM
  kV2EntryWidth = 28,        // u16
  kV2EntryHeight = 30,       // u16
  kV2EntryImageSize = 32,    // u32
  kV2EntryTime2 = 36,        // u16
  kV2EntryDate2 = 38,        // u16
  kV2EntryImageOffset = 40,  // u32
  kV2EntryFormat = 44,       // u8[20]
  kV2EntryTextOffset = 100,  // u32
  kV2EntryTextLength = 104,  // u16
  kV2EntryFolder = 110,      // char[116]
  kV2EntryLabel = 226,       // char[32]
  kV2EntryFlags = 258,       // u16: bits 0-1 caller's, bit 3 uncompressed thumbnail
};

// Typed access to a version-2 header held in memory.
class V2Header {
 public:
  explicit V2Header(const uint8_t* bytes) : b_(bytes) {}
  uint16_t thumbSize() const { return afm3GetU16(b_ + 6); }
  uint16_t recordCount() const { return afm3GetU16(b_ + 8); }
  const uint8_t* title() const { return b_ + kV2TitleOffset; }
  const uint8_t* description() const { return b_ + 34; }
  uint32_t pageOffset(uint32_t page) const {
    return page < kV2MaxPages ? afm3GetU32(b_ + kV2PageTableOffset + 4 * page) : 0;
  }
  // Pages in use: the entries before the first zero.
  uint32_t pageCount() const;
  uint32_t keywordListOffset() const { return afm3GetU32(b_ + 4642); }
  uint16_t keywordCount() const { return afm3GetU16(b_ + 4646); }
  uint8_t compressionSetting() const { return (b_[4652] >> 4) & 0x07; }

 private:
  const uint8_t* b_;
};

// Where a record's parts lie in the file; 0 when its page does not exist.
struct V2RecordPlace {
  uint32_t entry;
  uint32_t name;
  uint32_t keywords;
};
V2RecordPlace v2RecordPlace(const V2Header& header, uint32_t record);

}  // namespace afm3
