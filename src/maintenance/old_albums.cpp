#include "maintenance/old_albums.h"

#include <cstring>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/v2_layout.h"
#include "platform.h"

namespace afm3 {

namespace {

// Version-1 header and record fields.
constexpr uint32_t kV1ThumbSizeAt = 16;
constexpr uint32_t kV1PathAt = 2, kV1PathSize = 128;
constexpr uint32_t kV1TextAt = 130, kV1TextSize = 160;
constexpr uint32_t kV1FileSizeAt = 290;
constexpr uint32_t kV1ColourAt = 294;
constexpr uint32_t kV1ThumbBytesAt = 300;
constexpr uint32_t kV1Time1At = 316, kV1Date1At = 318, kV1Time2At = 320, kV1Date2At = 322;
constexpr uint32_t kV1FlagsAt = 332;
constexpr uint8_t kV1CallerBit0 = 0x01, kV1CallerBit1 = 0x08, kV1KindEight = 0x10;
constexpr uint8_t kV1ColourKindThree = 8;

// Version-2 entry fields the readers bound.
constexpr uint32_t kV2FileNameSize = 14, kV2FolderSize = 116, kV2LabelSize = 32;
constexpr uint32_t kFormatSize = 20;
constexpr uint8_t kOldCdRom = 10, kDriveCdRom = 5;
constexpr uint16_t kV2StoredRaw = 0x08;
constexpr uint16_t kCallerFlags = 0x03;
constexpr uint8_t kV2TrueColour = 7;

// Failure steps (module 7008).
enum : uint32_t {
  kStepV2Keywords = 1,
  kStepV2PageSeek = 3,
  kStepV2PageRead = 4,
  kStepV2NameSeek = 5,
  kStepV2NameRead = 6,
  kStepV2KeywordsSeek = 7,
  kStepV2KeywordsRead = 8,
  kStepV2TextSeek = 9,
  kStepV2TextRead = 10,
  kStepV1Record = 2,
};

bool endsWithBackslash(const std::string& text) {
  const char* last = nullptr;
  for (const char* p = text.c_str(); *p != '\0'; p = plat::charNext(p)) last = p;
  return last != nullptr && *last == '\\';
}

std::string upper(std::string text) {
  plat::charUpper(text.data());
  return text;
}

void putDateTimes(uint8_t* entry, const uint8_t* old, uint32_t time1, uint32_t date1,
                  uint32_t time2, uint32_t date2) {
  afm3PutU32(entry + AFM3_ENTRY_DATE_TIME_1,
             localDosToUtc(afm3GetU16(old + time1), afm3GetU16(old + date1)));
  afm3PutU32(entry + AFM3_ENTRY_DATE_TIME_2,
             localDosToUtc(afm3GetU16(old + time2), afm3GetU16(old + date2)));
}

// Row size of a 24-bit row of width pixels, padded to 4 bytes.
uint32_t trueColourBytes(uint32_t edge) { return (24 * edge + 31) / 32 * 4 * edge; }

}  // namespace

std::string fixedString(const uint8_t* field, size_t size) {
  const auto* text = reinterpret_cast<const char*>(field);
  return std::string(text, strnlen(text, size));
}

void putBounded(uint8_t* field, size_t size, const std::string& text) {
  const size_t n = text.size() < size ? text.size() : size - 1;
  std::memcpy(field, text.data(), n);
  field[n] = 0;
}

uint8_t recodeOldColour(uint8_t code) {
  switch (code) {
    case 1:
      return 64;
    case 3:
      return 8;
    case 4:
      return 4;
    case 5:
      return 32;
    case 7:
      return 2;
    case 10:
      return 1;
    default:
      return 16;
  }
}

uint32_t localDosToUtc(uint16_t dosTime, uint16_t dosDate) {
  uint64_t local = 0, utc = 0;
  uint16_t date = dosDate, time = dosTime;
  if (plat::dosDateTimeToFileTime(dosDate, dosTime, &local) &&
      plat::localFileTimeToUtc(local, &utc)) {
    uint16_t newDate = 0, newTime = 0;
    if (plat::fileTimeToDosDateTime(utc, &newDate, &newTime)) date = newDate, time = newTime;
  }
  return time | static_cast<uint32_t>(date) << 16;
}

OldAlbumFile::OldAlbumFile(HANDLE file, Location where)
    : file_(file), where_(where), size_(fileLength(file)) {
  if (size_ == 0xFFFFFFFFu) size_ = 0;
}

bool OldAlbumFile::readAt(uint32_t offset, void* out, uint32_t n, uint32_t seekStep,
                          uint32_t readStep) const {
  if (offset > size_) {
    reportError(kErrOldSeek, where_, seekStep);
    return false;
  }
  if (n > size_ - offset) {
    reportError(kErrShortRead, where_, readStep);
    return false;
  }
  return afm3::readAt(file_, offset, out, n, where_, seekStep, readStep);
}

// ---- version 2 -------------------------------------------------------------

V2Reader::V2Reader(HANDLE file, const uint8_t* header) : file_(file, kConvertV2), header_(header) {}

uint32_t V2Reader::pageCount() const { return V2Header(header_).pageCount(); }

bool V2Reader::readKeywords(std::string* table, uint32_t* count) const {
  const V2Header header(header_);
  table->clear();
  *count = header.keywordCount();
  if (*count == 0) return true;
  const uint32_t bytes = *count * kV2KeywordEntrySize;
  // The list must lie inside the file: a short read, whatever the cause.
  if (header.keywordListOffset() > file_.size() ||
      bytes > file_.size() - header.keywordListOffset()) {
    reportError(kErrShortRead, kConvertV2, kStepV2Keywords);
    return false;
  }
  std::string list(bytes, '\0');
  if (!file_.readAt(header.keywordListOffset(), list.data(), bytes, kStepV2Keywords,
                    kStepV2Keywords))
    return false;
  for (uint32_t k = 0; k < *count; ++k) {
    // An entry without its NUL keeps its first 31 characters.
    const char* entry = list.data() + k * kV2KeywordEntrySize;
    table->append(entry, strnlen(entry, kV2KeywordEntrySize - 1));
    table->push_back('\0');
  }
  table->push_back('\0');
  return true;
}

bool V2Reader::readPage(uint32_t page) {
  pageOffset_ = V2Header(header_).pageOffset(page);
  return file_.readAt(pageOffset_, entries_, sizeof entries_, kStepV2PageSeek, kStepV2PageRead);
}

bool V2Reader::readRecord(uint32_t i, OldRecord* record) const {
  const uint8_t* old = entries_ + i * kV2EntrySize;
  *record = OldRecord{};
  uint8_t* entry = record->entry;
  record->deleted = afm3GetU16(old + kV2EntryNumber) == kNoRecord;
  const uint8_t kind = old[kV2EntrySourceKind];
  entry[AFM3_ENTRY_SOURCE_KIND] = kind;
  const uint8_t drive = old[kV2EntryDriveType];
  entry[AFM3_ENTRY_DRIVE_TYPE] = drive == kOldCdRom ? kDriveCdRom : drive;
  afm3PutU32(entry + AFM3_ENTRY_FILE_SIZE, afm3GetU32(old + kV2EntryFileSize));
  putDateTimes(entry, old, kV2EntryTime, kV2EntryDate, kV2EntryTime2, kV2EntryDate2);
  uint8_t* format = entry + AFM3_ENTRY_FORMAT;
  std::memcpy(format, old + kV2EntryFormat, kFormatSize);
  // The colour code sits where the picture's kind keeps it.
  const int colourAt = kind == 2 ? 0 : kind == 6 ? 4 : kind == 7 ? 12 : -1;
  if (colourAt >= 0) format[colourAt] = recodeOldColour(format[colourAt]);
  const uint16_t flags = afm3GetU16(old + kV2EntryFlags);
  afm3PutU16(entry + AFM3_ENTRY_FLAGS, flags & kCallerFlags);
  putBounded(entry + AFM3_ENTRY_LABEL, AFM3_ENTRY_LABEL_SIZE,
             fixedString(old + kV2EntryLabel, kV2LabelSize));

  std::string path = fixedString(old + kV2EntryFolder, kV2FolderSize);
  if (!path.empty() && !endsWithBackslash(path)) path += '\\';
  path += fixedString(old + kV2EntryFileName, kV2FileNameSize);
  record->path = upper(path);

  std::memset(record->keywords, 0xFF, sizeof record->keywords);
  if (record->deleted) return true;
  const uint32_t names = pageOffset_ + kV2NamesInPage + i * kV2NameSize;
  const uint32_t sets = pageOffset_ + kV2KeywordsInPage + i * kV2KeywordSetSize;
  char name[kV2NameSize + 1] = {};
  if (!file_.readAt(names, name, kV2NameSize, kStepV2NameSeek, kStepV2NameRead) ||
      !file_.readAt(sets, record->keywords, kKeywordSetBytes, kStepV2KeywordsSeek,
                    kStepV2KeywordsRead))
    return false;
  record->name = name;
  const uint32_t textLength = afm3GetU16(old + kV2EntryTextLength);
  const uint32_t take = textLength < kOldTextMax ? textLength : kOldTextMax;
  if (take > 0) {
    char text[kOldTextMax + 1] = {};
    if (!file_.readAt(afm3GetU32(old + kV2EntryTextOffset), text, take, kStepV2TextSeek,
                      kStepV2TextRead))
      return false;
    record->text = text;
  }
  const V2Header header(header_);
  OldImage& image = record->image;
  image.storedSize = afm3GetU32(old + kV2EntryImageSize);
  image.present = image.storedSize > 0;
  image.offset = afm3GetU32(old + kV2EntryImageOffset);
  image.type = old[kV2EntryImageType];
  image.width = afm3GetU16(old + kV2EntryWidth);
  image.height = afm3GetU16(old + kV2EntryHeight);
  image.compressionSetting = header.compressionSetting();
  image.storedRaw = (flags & kV2StoredRaw) != 0;
  return true;
}

// ---- version 1 -------------------------------------------------------------

V1Reader::V1Reader(HANDLE file, const uint8_t* header)
    : file_(file, kConvertV1), thumbSize_(afm3GetU16(header + kV1ThumbSizeAt)) {}

V1Reader::Next V1Reader::next(OldRecord* record) {
  if (position_ >= file_.size()) return Next::End;
  uint8_t old[kV1RecordSize];
  if (!file_.readAt(position_, old, kV1RecordSize, kStepV1Record, kStepV1Record))
    return Next::Failed;
  position_ += kV1RecordSize;
  *record = OldRecord{};
  uint8_t* entry = record->entry;
  record->deleted = afm3GetU16(old) == kNoRecord;
  const uint8_t flags = old[kV1FlagsAt];
  const uint8_t colour = old[kV1ColourAt];
  const uint8_t kind = (flags & kV1KindEight) ? 8 : colour == kV1ColourKindThree ? 3 : 2;
  entry[AFM3_ENTRY_SOURCE_KIND] = kind;
  if (kind == 2) entry[AFM3_ENTRY_FORMAT] = recodeOldColour(colour);
  afm3PutU32(entry + AFM3_ENTRY_FILE_SIZE, afm3GetU32(old + kV1FileSizeAt));
  putDateTimes(entry, old, kV1Time1At, kV1Date1At, kV1Time2At, kV1Date2At);
  afm3PutU16(entry + AFM3_ENTRY_FLAGS, static_cast<uint16_t>(((flags & kV1CallerBit0) ? 1 : 0) |
                                                             ((flags & kV1CallerBit1) ? 2 : 0)));
  record->path = fixedString(old + kV1PathAt, kV1PathSize);
  if (record->deleted) return Next::Record;
  record->text = fixedString(old + kV1TextAt, kV1TextSize - 1);

  // The thumbnail follows the record; the next record follows it.
  const uint32_t stored = afm3GetU16(old + kV1ThumbBytesAt);
  const uint32_t start = position_;
  position_ += stored;
  if (stored == 0) return Next::Record;
  if (stored != trueColourBytes(thumbSize_)) {
    record->imageDropped = true;
    return Next::Record;
  }
  OldImage& image = record->image;
  image.present = true;
  image.offset = start;
  image.storedSize = stored;
  image.type = kV2TrueColour;
  image.width = image.height = thumbSize_;
  image.storedRaw = true;
  return Next::Record;
}

}  // namespace afm3
