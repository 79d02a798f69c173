// Date and time formatting of the common library, with the locale values
// the album library passes (defaults ":" and "AM"/"PM").
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "q32comm.h"

namespace {

// Question marks in the layout of a date or time (escaped: "??-" would be a
// trigraph).
constexpr const char* kNoDate = "\?\?\?\?-\?\?-\?\?";
constexpr const char* kNoShortDate = "\?\?-\?\?-\?\?";
constexpr const char* kNoTime = "\?\?:\?\?";

WORD dosDate(int year, int month, int day) {
  return static_cast<WORD>(((year - 1980) << 9) | (month << 5) | day);
}

WORD dosTime(int hour, int minute, int second = 0) {
  return static_cast<WORD>((hour << 11) | (minute << 5) | (second / 2));
}

std::string formatDate(WORD value, DWORD withCentury = 1) {
  char buffer[32];
  std::memset(buffer, '#', sizeof buffer);
  qfdDateToAsciiEx(buffer, value, 0, withCentury);
  EXPECT_EQ(buffer[11], '#') << "wrote past 11 characters";
  return buffer;
}

std::string formatTime(WORD value, int clock24, int leadingZero, const char* morning = "AM",
                       const char* afternoon = "PM", const char* separator = ":") {
  char buffer[40];
  std::memset(buffer, '#', sizeof buffer);
  qfdTimeToAscii(buffer, value, clock24, leadingZero, morning, afternoon, separator);
  EXPECT_EQ(buffer[32], '#') << "wrote past 32 characters";
  return buffer;
}

TEST(DateFormatTest, YearMonthDay) {
  EXPECT_EQ(formatDate(dosDate(2024, 3, 15)), "2024-03-15");
  EXPECT_EQ(formatDate(dosDate(1980, 1, 1)), "1980-01-01");
  EXPECT_EQ(formatDate(dosDate(2107, 12, 31)), "2107-12-31");
  EXPECT_EQ(formatDate(dosDate(2024, 2, 29)), "2024-02-29");
  EXPECT_EQ(formatDate(dosDate(2000, 2, 29)), "2000-02-29");
  EXPECT_EQ(formatDate(dosDate(2024, 3, 15), 0), "24-03-15");
}

TEST(DateFormatTest, ImpossibleDatesShowPlaceholders) {
  EXPECT_EQ(formatDate(0), kNoDate);  // month 0, day 0: no date at all
  EXPECT_EQ(formatDate(dosDate(2023, 2, 29)), kNoDate);
  EXPECT_EQ(formatDate(dosDate(2100, 2, 29)), kNoDate);
  EXPECT_EQ(formatDate(dosDate(2024, 13, 1)), kNoDate);
  EXPECT_EQ(formatDate(dosDate(2024, 4, 31)), kNoDate);
  EXPECT_EQ(formatDate(dosDate(2024, 4, 31), 0), kNoShortDate);
}

TEST(TimeFormatTest, TwelveHourClockWithSuffixes) {
  EXPECT_EQ(formatTime(dosTime(13, 5), 0, 0), "1:05 PM");
  EXPECT_EQ(formatTime(dosTime(13, 5), 0, 1), "01:05 PM");
  EXPECT_EQ(formatTime(dosTime(0, 0), 0, 0), "12:00 AM");
  EXPECT_EQ(formatTime(dosTime(11, 59), 0, 0), "11:59 AM");
  EXPECT_EQ(formatTime(dosTime(12, 0), 0, 0), "12:00 PM");
  EXPECT_EQ(formatTime(dosTime(23, 59), 0, 0), "11:59 PM");
}

TEST(TimeFormatTest, TwentyFourHourClock) {
  EXPECT_EQ(formatTime(dosTime(13, 5), 1, 0), "13:05");
  EXPECT_EQ(formatTime(dosTime(9, 7), 1, 0), "9:07");
  EXPECT_EQ(formatTime(dosTime(9, 7), 1, 1), "09:07");
  EXPECT_EQ(formatTime(dosTime(0, 0), 1, 1), "00:00");
}

TEST(TimeFormatTest, SecondsAreNotShown) {
  EXPECT_EQ(formatTime(dosTime(13, 5, 58), 1, 0), "13:05");
}

TEST(TimeFormatTest, LocaleSeparatorAndSuffixes) {
  EXPECT_EQ(formatTime(dosTime(13, 5), 1, 0, "AM", "PM", "."), "13.05");
  EXPECT_EQ(formatTime(dosTime(8, 30), 0, 0, "vorm.", "nachm.", "."), "8.30 vorm.");
  EXPECT_EQ(formatTime(dosTime(20, 30), 0, 0, "vorm.", "nachm.", "h"), "8h30 nachm.");
  // No suffix configured: no trailing blank.
  EXPECT_EQ(formatTime(dosTime(13, 5), 0, 0, "", "", ":"), "1:05");
}

TEST(TimeFormatTest, MissingLocaleValuesFallBackToDefaults) {
  EXPECT_EQ(formatTime(dosTime(13, 5), 0, 0, nullptr, nullptr, nullptr), "1:05 PM");
  EXPECT_EQ(formatTime(dosTime(1, 5), 0, 0, nullptr, nullptr, ""), "1:05 AM");
}

TEST(TimeFormatTest, OverlongLocaleValuesStayInsideTheBuffer) {
  const std::string huge(100, 'x');
  const std::string text =
      formatTime(dosTime(13, 5), 0, 1, huge.c_str(), huge.c_str(), huge.c_str());
  EXPECT_LT(text.size(), 32u);
  EXPECT_EQ(text.substr(0, 2), "01");
}

TEST(TimeFormatTest, ImpossibleTimesShowPlaceholders) {
  EXPECT_EQ(formatTime(dosTime(24, 0), 1, 0), kNoTime);
  EXPECT_EQ(formatTime(dosTime(10, 60), 0, 0), kNoTime);
}

}  // namespace
