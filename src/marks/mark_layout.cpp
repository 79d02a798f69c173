#include "marks/mark_layout.h"

#include <cstring>

#include "afm3_bytes.h"
#include "core/checksum.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr uint8_t kMagic[4] = {0xD6, 0xC5, 0x6F, 0x58};
constexpr uint8_t kVersionMajor = 2;
constexpr uint8_t kVersionMinor = 0;
constexpr uint32_t kLiveCount = 158;
constexpr uint32_t kFreeCount = 160;

// The lower-cased file name of path up to its first ".".
std::string hashedName(std::string_view path) {
  std::string whole(path);
  size_t start = 0;
  for (const char* p = whole.c_str(); *p != '\0'; p = plat::charNext(p)) {
    if (*p == '\\') start = static_cast<size_t>(p - whole.c_str()) + 1;
  }
  std::string name = whole.substr(start);
  plat::charLower(name.data());
  return name.substr(0, name.find('.'));
}

// Sum of weight(i) x c(i), the weights starting at 1 and growing by step.
uint32_t weightedSum(std::string_view path, uint32_t step) {
  uint32_t sum = 0;
  uint32_t weight = 1;
  for (const char c : hashedName(path)) {
    sum += weight * static_cast<uint8_t>(c);
    weight += step;
  }
  return sum;
}

}  // namespace

std::string_view fieldText(const uint8_t* field, uint32_t size) {
  const char* text = reinterpret_cast<const char*>(field);
  return std::string_view(text, strnlen(text, size));
}

uint32_t fileNameHash(std::string_view path) { return weightedSum(path, 1) % kBucketCount; }

uint32_t fileNameHashExt(std::string_view path) { return weightedSum(path, 4); }

void MarkHeader::initialise(const char* title, const char* albumPath) {
  std::memset(b_, 0, kMarkHeaderSize);
  std::memcpy(b_, kMagic, sizeof kMagic);
  b_[4] = kVersionMajor;
  b_[5] = kVersionMinor;
  setTitle(title);
  setAlbumPath(albumPath);
  seal();
}

bool MarkHeader::hasMagic() const { return std::memcmp(b_, kMagic, sizeof kMagic) == 0; }

bool MarkHeader::checksumHolds() const { return afm3::checksumHolds(b_, kMarkHeaderSize); }

void MarkHeader::seal() { storeChecksum(b_, kMarkHeaderSize); }

void MarkHeader::setTitle(const char* title) {
  uint8_t* field = b_ + kMarkTitle;
  std::memset(field, 0, kMarkTitleSize);
  if (title == nullptr) return;
  size_t kept = 0;
  for (const char* p = title; *p != '\0';) {
    const char* next = plat::charNext(p);
    const size_t width = static_cast<size_t>(next - p);
    if (kept + width > kMarkTitleKept) break;
    std::memcpy(field + kept, p, width);
    kept += width;
    p = next;
  }
}

void MarkHeader::setAlbumPath(const char* path) {
  uint8_t* field = b_ + kMarkAlbumPath;
  std::memset(field, 0, kMarkAlbumPathSize);
  if (path != nullptr) std::memcpy(field, path, strnlen(path, kMarkAlbumPathSize - 1));
}

uint16_t MarkHeader::liveCount() const { return afm3GetU16(b_ + kLiveCount); }
void MarkHeader::setLiveCount(uint16_t count) { afm3PutU16(b_ + kLiveCount, count); }
uint16_t MarkHeader::freeCount() const { return afm3GetU16(b_ + kFreeCount); }
void MarkHeader::setFreeCount(uint16_t count) { afm3PutU16(b_ + kFreeCount, count); }

uint32_t MarkRecord::markSet() const { return afm3GetU32(b_ + kRecordMarkSet); }
uint32_t MarkRecord::next() const { return afm3GetU32(b_ + kRecordNext); }

void setRecordNext(uint8_t* record, uint32_t next) { afm3PutU32(record + kRecordNext, next); }

int comparePathTails(std::string_view a, std::string_view b) {
  return a.substr(a.empty() ? 0 : 1).compare(b.substr(b.empty() ? 0 : 1));
}

bool recordMatches(const MarkRecord& record, std::string_view path, std::string_view label,
                   uint8_t driveType) {
  const std::string_view stored = record.path();
  if (comparePathTails(stored, path) != 0) return false;
  if (driveType == kDriveFixed)
    return record.driveType() == kDriveFixed && stored.substr(0, 1) == path.substr(0, 1);
  return record.driveType() == driveType && record.label() == label;
}

bool recordFits(uint32_t offset, uint32_t fileSize) {
  return offset >= kMarkRecordsOffset && uint64_t{offset} + kMarkRecordSize <= fileSize;
}

uint32_t recordCapacity(uint32_t fileSize) {
  return fileSize > kMarkRecordsOffset ? (fileSize - kMarkRecordsOffset) / kMarkRecordSize : 0;
}

}  // namespace afm3
