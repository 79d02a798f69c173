#include "record_entry.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstring>

#include "afm3_bytes.h"

namespace abm {

namespace {
constexpr int kFirstDosYear = 1980, kLastDosYear = 2107;
}

uint32_t packDosDateTime(int year, int month, int day, int hour, int minute, int second) {
  if (year < kFirstDosYear) return packDosDateTime(kFirstDosYear, 1, 1, 0, 0, 0);
  if (year > kLastDosYear) {
    year = kLastDosYear;
    month = 12;
    day = 31;
    hour = 23;
    minute = 59;
    second = 59;
  }
  const uint32_t date = static_cast<uint32_t>(((year - kFirstDosYear) << 9) | (month << 5) | day);
  const uint32_t time = static_cast<uint32_t>((hour << 11) | (minute << 5) | (second / 2));
  return (date << 16) | time;
}

std::string dosDateTimeText(uint32_t packed) {
  const unsigned date = packed >> 16, time = packed & 0xFFFF;
  char text[32];
  std::snprintf(text, sizeof text, "%04u-%02u-%02u %02u:%02u:%02u", (date >> 9) + kFirstDosYear,
                (date >> 5) & 15, date & 31, time >> 11, (time >> 5) & 63, (time & 31) * 2);
  return text;
}

std::string upperCasePath(const std::string& path) {
  std::string upper = path;
#ifdef _WIN32
  if (!upper.empty()) CharUpperBuffA(upper.data(), static_cast<DWORD>(upper.size()));
#else
  for (char& c : upper) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
#endif
  return upper;
}

std::array<uint8_t, AFM3_RECORD_ENTRY_SIZE> recordEntryFor(const PictureFacts& facts) {
  std::array<uint8_t, AFM3_RECORD_ENTRY_SIZE> entry{};
  uint8_t* e = entry.data();
  e[AFM3_ENTRY_DRIVE_TYPE] = facts.driveType;
  const std::string shortPath = upperCasePath(facts.shortPath);
  if (shortPath.size() < AFM3_ENTRY_SHORT_PATH_SIZE)
    std::memcpy(e + AFM3_ENTRY_SHORT_PATH, shortPath.data(), shortPath.size());
  afm3PutU32(e + AFM3_ENTRY_FILE_SIZE, facts.fileSize);
  afm3PutU32(e + AFM3_ENTRY_DATE_TIME_1, facts.modified);
  const size_t label = std::min<size_t>(facts.label.size(), AFM3_ENTRY_LABEL_SIZE - 1);
  std::memcpy(e + AFM3_ENTRY_LABEL, facts.label.data(), label);
  return entry;
}

}  // namespace abm
