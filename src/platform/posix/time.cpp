// Time: FILETIME values, local time, DOS date and time, ticks and sleeps.
//
// A FILETIME counts 100 ns units since 1601-01-01 UTC. Local FILETIMEs are
// shifted by the current offset of the host's time zone, as Windows does
// (not the offset in force at that instant), so the two conversions are
// exact inverses. DOS dates pack (year - 1980) << 9 | month << 5 | day and
// DOS times hour << 11 | minute << 5 | second / 2, with no time zone.
#include <time.h>

#include <atomic>
#include <cerrno>
#include <cstdint>

#include "afm3_compat.h"
#include "errors.h"
#include "file_info.h"
#include "machine.h"
#include "platform.h"

namespace qwin {

namespace {

constexpr uint64_t kUnitsPerSecond = 10000000;
constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
constexpr int64_t kSecondsPerDay = 86400;

std::atomic<int> g_logPixels{96};

// Days since 1970-01-01 of a civil date (proleptic Gregorian calendar).
int64_t daysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

void civilFromDays(int64_t z, int64_t* y, unsigned* m, unsigned* d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  *d = doy - (153 * mp + 2) / 5 + 1;
  *m = mp < 10 ? mp + 3 : mp - 9;
  *y = static_cast<int64_t>(yoe) + era * 400 + (*m <= 2);
}

unsigned daysInMonth(int64_t year, unsigned month) {
  static const unsigned days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  return month == 2 && leap ? 29 : days[month - 1];
}

// The host time zone's current offset from UTC, in seconds.
int64_t currentUtcOffset() {
  const time_t now = ::time(nullptr);
  struct tm local {};
  if (::localtime_r(&now, &local) == nullptr) return 0;
  return local.tm_gmtoff;
}

}  // namespace

uint64_t fileTimeOf(const struct timespec& ts) {
  const int64_t seconds = static_cast<int64_t>(ts.tv_sec) + kSecondsFrom1601To1970;
  if (seconds < 0) return 0;
  return static_cast<uint64_t>(seconds) * kUnitsPerSecond + static_cast<uint64_t>(ts.tv_nsec) / 100;
}

void resetDisplay() { g_logPixels.store(96); }

}  // namespace qwin

namespace plat {

using qwin::fail;

uint64_t systemTimeAsFileTime() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_REALTIME, &ts);
  return qwin::fileTimeOf(ts);
}

bool fileTimeToLocal(uint64_t utc, uint64_t* local) {
  if (local == nullptr) return fail(kErrInvalidParameter);
  const int64_t shift = qwin::currentUtcOffset() * static_cast<int64_t>(qwin::kUnitsPerSecond);
  if (shift < 0 && utc < static_cast<uint64_t>(-shift)) return fail(kErrInvalidParameter);
  *local = utc + static_cast<uint64_t>(shift);
  return true;
}

bool localFileTimeToUtc(uint64_t local, uint64_t* utc) {
  if (utc == nullptr) return fail(kErrInvalidParameter);
  const int64_t shift = qwin::currentUtcOffset() * static_cast<int64_t>(qwin::kUnitsPerSecond);
  if (shift > 0 && local < static_cast<uint64_t>(shift)) return fail(kErrInvalidParameter);
  *utc = local - static_cast<uint64_t>(shift);
  return true;
}

bool fileTimeToDosDateTime(uint64_t fileTime, uint16_t* dosDate, uint16_t* dosTime) {
  const int64_t seconds =
      static_cast<int64_t>(fileTime / qwin::kUnitsPerSecond) - qwin::kSecondsFrom1601To1970;
  const int64_t days = seconds >= 0 ? seconds / qwin::kSecondsPerDay
                                    : (seconds - qwin::kSecondsPerDay + 1) / qwin::kSecondsPerDay;
  const int64_t secondOfDay = seconds - days * qwin::kSecondsPerDay;
  int64_t year = 0;
  unsigned month = 0, day = 0;
  qwin::civilFromDays(days, &year, &month, &day);
  // The DOS format covers 1980 to 2107.
  if (year < 1980 || year > 2107) return fail(kErrInvalidParameter);
  const unsigned hour = static_cast<unsigned>(secondOfDay / 3600);
  const unsigned minute = static_cast<unsigned>(secondOfDay / 60 % 60);
  const unsigned second = static_cast<unsigned>(secondOfDay % 60);
  if (dosDate) *dosDate = static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day);
  if (dosTime) *dosTime = static_cast<uint16_t>(hour << 11 | minute << 5 | second / 2);
  return true;
}

bool dosDateTimeToFileTime(uint16_t dosDate, uint16_t dosTime, uint64_t* fileTime) {
  const int64_t year = 1980 + (dosDate >> 9);
  const unsigned month = (dosDate >> 5) & 0xF;
  const unsigned day = dosDate & 0x1F;
  const unsigned hour = dosTime >> 11;
  const unsigned minute = (dosTime >> 5) & 0x3F;
  const unsigned second = (dosTime & 0x1F) * 2u;
  if (month < 1 || month > 12 || day < 1 || day > qwin::daysInMonth(year, month) || hour > 23 ||
      minute > 59 || second > 59)
    return fail(kErrInvalidParameter);
  if (fileTime == nullptr) return fail(kErrInvalidParameter);
  const int64_t seconds = qwin::daysFromCivil(year, month, day) * qwin::kSecondsPerDay +
                          hour * 3600 + minute * 60 + second + qwin::kSecondsFrom1601To1970;
  *fileTime = static_cast<uint64_t>(seconds) * qwin::kUnitsPerSecond;
  return true;
}

void sleepMs(uint32_t milliseconds) {
  struct timespec left {};
  left.tv_sec = milliseconds / 1000;
  left.tv_nsec = static_cast<long>(milliseconds % 1000) * 1000000;
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

uint32_t tickCount() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  const uint64_t ms =
      static_cast<uint64_t>(ts.tv_sec) * 1000 + static_cast<uint64_t>(ts.tv_nsec) / 1000000;
  return static_cast<uint32_t>(ms);
}

int screenPixelsPerInch() { return qwin::g_logPixels.load(); }

}  // namespace plat

extern "C" void qwinTestSetLogPixels(int pixelsPerInch) {
  qwin::g_logPixels.store(pixelsPerInch > 0 ? pixelsPerInch : 96);
}
