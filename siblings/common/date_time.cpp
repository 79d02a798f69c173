// Dates and times for display.
//
// DOS dates pack the year since 1980 (bits 9-15), the month (5-8) and the
// day (0-4); DOS times the hour (11-15), the minute (5-10) and the seconds
// halved (0-4). Seconds are never shown: the album information dialog, the
// only user, shows times to the minute.
//
// A field out of range (month 0, 31 February, hour 25, ...) gives question
// marks in the same layout rather than a wrong but plausible value.
#include <cstdio>
#include <cstring>

#include "comm_internal.h"
#include "q32comm.h"

namespace {

// Longest locale strings used: the profile keeps at most 7 characters of
// each, the margin covers double-byte suffixes.
constexpr size_t kMaxSeparator = 7;
constexpr size_t kMaxSuffix = 15;

bool isLeapYear(int year) { return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0; }

int daysInMonth(int month, int year) {
  static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  return month == 2 && isLeapYear(year) ? 29 : kDays[month - 1];
}

// Copies the layout, every letter replaced by a question mark.
void writePlaceholder(char* buffer, const char* layout) {
  for (; *layout != '\0'; ++layout, ++buffer)
    *buffer = (*layout >= 'A' && *layout <= 'Z') ? '?' : *layout;
  *buffer = '\0';
}

}  // namespace

extern "C" {

// buffer: at least 11 characters. Style 0 ("YYYY-MM-DD") is the only style;
// withCentury 0 drops the century ("YY-MM-DD").
void qfdDateToAsciiEx(LPSTR buffer, WORD dosDate, DWORD /*style*/, DWORD withCentury) {
  if (buffer == nullptr) return;
  const int year = 1980 + (dosDate >> 9);
  const int month = (dosDate >> 5) & 0x0F;
  const int day = dosDate & 0x1F;
  const bool valid = month >= 1 && month <= 12 && day >= 1 && day <= daysInMonth(month, year);
  if (!valid) {
    writePlaceholder(buffer, withCentury ? "YYYY-MM-DD" : "YY-MM-DD");
    return;
  }
  if (withCentury) {
    std::snprintf(buffer, 11, "%04d-%02d-%02d", year, month, day);
  } else {
    std::snprintf(buffer, 9, "%02d-%02d-%02d", year % 100, month, day);
  }
}

// buffer: at least 32 characters. clock24 0 gives a 12-hour clock with the
// morning or afternoon suffix after a blank ("1:05 PM"), non-zero a 24-hour
// clock ("13:05"); leadingZero pads the hour to two digits. Null suffixes
// stand for "AM" and "PM", a null or empty separator for ":".
void qfdTimeToAscii(LPSTR buffer, WORD dosTime, int clock24, int leadingZero, LPCSTR morning,
                    LPCSTR afternoon, LPCSTR separator) {
  if (buffer == nullptr) return;
  char sep[kMaxSeparator + 1] = ":";
  if (separator != nullptr && separator[0] != '\0')
    q32::boundedCopy(sep, sizeof sep, separator, std::strlen(separator));

  const int hour = dosTime >> 11;
  const int minute = (dosTime >> 5) & 0x3F;
  if (hour > 23 || minute > 59) {
    std::snprintf(buffer, 32, "%s%s%s", "?\?", sep, "?\?");
    return;
  }

  int shownHour = hour;
  char suffix[kMaxSuffix + 1] = "";
  if (!clock24) {
    shownHour = hour % 12 == 0 ? 12 : hour % 12;
    const char* chosen = hour < 12 ? (morning != nullptr ? morning : "AM")
                                   : (afternoon != nullptr ? afternoon : "PM");
    q32::boundedCopy(suffix, sizeof suffix, chosen, std::strlen(chosen));
  }
  std::snprintf(buffer, 32, leadingZero ? "%02d%s%02d%s%s" : "%d%s%02d%s%s", shownHour, sep, minute,
                suffix[0] != '\0' ? " " : "", suffix);
}

}  // extern "C"
