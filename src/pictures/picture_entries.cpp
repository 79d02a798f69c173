#include "pictures/picture_entries.h"

#include <algorithm>
#include <cstring>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/v2_layout.h"
#include "images/image_format.h"
#include "pictures/picture_paths.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr uint8_t kOldCdRom = 10;
constexpr uint8_t kDriveCdRom = 5;
constexpr uint8_t kDriveRemote = 4;
constexpr uint16_t kCallerFlags = 0x03;
constexpr uint32_t kFormatSize = 20;
constexpr uint32_t kV2FileNameSize = 14;
constexpr uint32_t kV2FolderSize = 116;
constexpr uint32_t kV2LabelSize = 32;

// Where a converted entry holds its colour code, by source kind.
constexpr uint8_t kSourceWideAt156 = 2;  // u16 at 156
constexpr uint8_t kSourceByteAt160 = 6;  // u8 at 160
constexpr uint8_t kSourceWideAt168 = 7;  // u16 at 168

// A NUL-terminated string of at most size bytes from a fixed field.
std::string fixedString(const uint8_t* field, size_t size) {
  const auto* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, size));
}

bool endsWithBackslash(const std::string& text) {
  const char* last = nullptr;
  for (const char* p = text.c_str(); *p != '\0'; p = plat::charNext(p)) last = p;
  return last != nullptr && *last == '\\';
}

}  // namespace

uint8_t colourKindOfVersion2Code(uint8_t code) {
  switch (code) {
    case 1:
      return kKindMonochrome;
    case 3:
      return kKindPalette4;
    case 5:
      return kKindGrey;
    case 6:
      return kKindHighColour;
    case 7:
      return kKindTrueColour;
    default:
      return kKindPalette8;
  }
}

void convertVersion2Entry(const uint8_t* old, uint8_t* entry, std::string* fullPath) {
  std::memset(entry, 0, kEntrySize);
  afm3PutU16(entry, afm3GetU16(old + kV2EntryNumber));
  const uint8_t source = old[kV2EntrySourceKind];
  entry[2] = source;
  const uint8_t drive = old[kV2EntryDriveType];
  entry[kEntryDriveTypeAt] = drive == kOldCdRom ? kDriveCdRom : drive;

  const uint32_t dateTime =
      afm3GetU16(old + kV2EntryTime) | static_cast<uint32_t>(afm3GetU16(old + kV2EntryDate)) << 16;
  afm3PutU32(entry + AFM3_ENTRY_FILE_SIZE, afm3GetU32(old + kV2EntryFileSize));
  afm3PutU32(entry + AFM3_ENTRY_DATE_TIME_1, dateTime);
  afm3PutU32(entry + AFM3_ENTRY_CALLER_1, dateTime);
  afm3PutU32(entry + AFM3_ENTRY_CALLER_2, dateTime);

  uint8_t* format = entry + AFM3_ENTRY_FORMAT;
  std::memcpy(format, old + kV2EntryFormat, kFormatSize);
  if (source == kSourceWideAt156) {
    afm3PutU16(format, colourKindOfVersion2Code(format[0]));
  } else if (source == kSourceByteAt160) {
    format[4] = colourKindOfVersion2Code(format[4]);
  } else if (source == kSourceWideAt168) {
    afm3PutU16(format + 12, colourKindOfVersion2Code(format[12]));
  }
  afm3PutU16(entry + AFM3_ENTRY_FLAGS,
             static_cast<uint16_t>(afm3GetU16(old + kV2EntryFlags) & kCallerFlags));

  const std::string label = fixedString(old + kV2EntryLabel, kV2LabelSize - 1);
  std::memcpy(entry + kEntryLabelAt, label.data(), label.size());
  std::string path = fixedString(old + kV2EntryFolder, kV2FolderSize);
  if (!endsWithBackslash(path)) path += '\\';
  path += fixedString(old + kV2EntryFileName, kV2FileNameSize);
  copyBounded(path, reinterpret_cast<char*>(entry + kEntryShortPathAt), kEntryShortPathSize);
  RecordEntry(entry).storeChecksum();
  if (fullPath != nullptr) *fullPath = path;
}

void LocationAdjuster::adjust(uint8_t* entry) {
  const uint32_t offset = RecordEntry(entry).stringAOffset();
  if (offset == 0 || albumPath_ == nullptr) return;
  // u16 length, then the first character.
  uint8_t head[3];
  if (!fitsInFile(offset, sizeof head, fileLength(album_)) ||
      plat::seekFile(album_, offset, plat::SeekFrom::Begin) != offset ||
      retryingRead(album_, head, sizeof head) != sizeof head)
    return;
  if (afm3GetU16(head) == 0 || head[2] != '.') return;
  apply(entry);
}

void rootLocation(const std::string& root, uint8_t* driveType, char* label) {
  *driveType = static_cast<uint8_t>(plat::driveType(root.c_str()));
  std::string text;
  if (*driveType == kDriveRemote && root.size() > 2 && root[0] == '\\' && root[1] == '\\') {
    text = root.substr(0, root.size() - 1);
  } else if (*driveType == kDriveRemote) {
    char remote[MAX_PATH] = {};
    const std::string drive = root.substr(0, 2);
    if (plat::networkConnectionName(drive.c_str(), remote, sizeof remote) == 0) {
      text = remote;
      text = text.substr(0, text.find(' '));
    }
  } else {
    plat::VolumeInfo info;
    if (plat::volumeInformation(root.c_str(), &info)) text = info.label;
  }
  copyBounded(text, label, kEntryLabelSize);
}

void LocationAdjuster::queryRoot() {
  queried_ = true;
  rootLocation(locationRootOf(albumPath_), &driveType_, label_);
}

void LocationAdjuster::apply(uint8_t* entry) {
  if (!queried_) queryRoot();
  entry[kEntryDriveTypeAt] = driveType_;
  // A root the system cannot place keeps the stored label.
  if (driveType_ != 0) {
    std::memset(entry + kEntryLabelAt, 0, kEntryLabelSize);
    std::memcpy(entry + kEntryLabelAt, label_, std::strlen(label_));
  }
  RecordEntry(entry).storeChecksum();
}

std::string upperShortPath(const std::string& path) {
  char shortPath[kEntryShortPathSize] = {};
  const uint32_t n = plat::shortPathName(path.c_str(), shortPath, sizeof shortPath);
  if (n == 0 || n >= sizeof shortPath) return {};
  plat::charUpper(shortPath);
  return shortPath;
}

}  // namespace afm3
