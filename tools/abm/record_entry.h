// The picture part of a record as the tool fills it: the 280-byte
// RecordEntry handed to afm3InsertRecord.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "afm3.h"

namespace abm {

constexpr uint8_t kDriveFixed = 3;
constexpr uint8_t kDriveRemote = 4;

// What the tool keeps about a picture file.
struct PictureFacts {
  std::string fullPath;   // the library's form of the path (string A)
  std::string shortPath;  // the same with short names where the system has them
  uint32_t fileSize = 0;
  uint32_t modified = 0;  // DOS time in the low half, DOS date in the high half
  uint8_t driveType = kDriveFixed;
  std::string label;  // volume label or share of the picture's location
};

// A local date and time packed the DOS way; dates outside 1980 to 2107
// are held at the nearest end.
uint32_t packDosDateTime(int year, int month, int day, int hour, int minute, int second);
// "YYYY-MM-DD hh:mm:ss"
std::string dosDateTimeText(uint32_t packed);

// The entry to insert: record number 0 (the library numbers it), drive
// type, the short path in upper case (left empty when it does not fit its
// 128 bytes), file size, last-write time, flags 0 and the label (cut to 31
// characters). The library adds the offsets and the checksum.
std::array<uint8_t, AFM3_RECORD_ENTRY_SIZE> recordEntryFor(const PictureFacts& facts);

// Upper case as the system maps it (double-byte characters stay whole).
std::string upperCasePath(const std::string& path);

}  // namespace abm
