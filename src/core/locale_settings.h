// Locale settings from the Windows profile section "intl": digit grouping
// and the time format the information dialog shows.
#pragma once

namespace afm3 {

struct LocaleSettings {
  char thousandSeparator = ',';
  char listSeparator = ',';  // between date and time
  char timeSeparator[8] = ":";
  char morningSuffix[8] = "AM";
  char afternoonSuffix[8] = "PM";
  int clock24 = 0;      // 0: 12-hour clock, 1: 24-hour clock
  int leadingZero = 0;  // leading zero in hours
};

// Reads the settings; a key the profile does not hold keeps its default.
LocaleSettings readLocaleSettings();

}  // namespace afm3
