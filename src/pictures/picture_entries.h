// The picture part of a RecordEntry as reads hand it out: version-2
// entries converted into today's form, and the location fields of
// relocatable entries refreshed from where the album lives now.
//
// Picture fields of the 280-byte RecordEntry:
//   2 u8 source kind   3 u8 drive type (Windows numbering)
//   8 char[128] short path, upper case   136 u32 file size
//   140, 144 u32 DOS date-times   148, 152 u32 caller values
//   156 u8[20] format information   176 u16 flags (0x04 string B,
//   0x08 picture data)   178 u32 string A   182 char[32] volume label or
//   network name   214 u32 string B   218 u32 picture data
#pragma once

#include <cstdint>
#include <string>

#include "afm3_types.h"

namespace afm3 {

constexpr uint32_t kEntryShortPathAt = 8;
constexpr uint32_t kEntryShortPathSize = 128;
constexpr uint32_t kEntryDriveTypeAt = 3;
constexpr uint32_t kEntryLabelAt = 182;
constexpr uint32_t kEntryLabelSize = 32;
constexpr uint32_t kEntryMiscDataAt = 218;
constexpr uint16_t kEntryHasStringB = 0x04;
constexpr uint16_t kEntryHasMiscData = 0x08;

// Converts a 288-byte version-2 entry into a 280-byte RecordEntry (with a
// valid checksum). fullPath, when given, receives the picture's path as
// the entry names it: its folder, a backslash, its file name.
void convertVersion2Entry(const uint8_t* old, uint8_t* entry, std::string* fullPath);

// The ColourKind of a version-2 colour code.
uint8_t colourKindOfVersion2Code(uint8_t code);

// The drive type of a location root ("X:\" or "\\server\share\") and what
// an entry keeps as its label: the volume label, or for a network location
// its remote name (label holds kEntryLabelSize bytes).
void rootLocation(const std::string& root, uint8_t* driveType, char* label);

// Refreshes the drive type (3) and label (182) of entries whose string A
// is relocatable, from the root of the album's path, and stores a fresh
// checksum; nothing is written to the file. The root is asked about once
// per adjuster, so a block of 64 entries costs one query.
class LocationAdjuster {
 public:
  LocationAdjuster(HANDLE album, const char* albumPath) : album_(album), albumPath_(albumPath) {}
  // Whether entry's string A begins with "." (read quietly: an entry whose
  // string cannot be read is left as it is); adjusts it then.
  void adjust(uint8_t* entry);
  // Adjusts an entry known to be relocatable.
  void apply(uint8_t* entry);

 private:
  void queryRoot();
  HANDLE album_;
  const char* albumPath_;
  bool queried_ = false;
  uint8_t driveType_ = 0;
  char label_[kEntryLabelSize] = {};
};

// The short form of a picture path, upper case, as entry offset 8 keeps
// it; empty when the file system has none (a missing file).
std::string upperShortPath(const std::string& path);

}  // namespace afm3
