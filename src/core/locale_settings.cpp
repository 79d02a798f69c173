#include "core/locale_settings.h"

#include <algorithm>
#include <cstring>

#include "platform.h"

namespace afm3 {

namespace {

// Copies a profile value into a fixed field when the profile holds one.
void readText(const char* section, const char* key, char* field, uint32_t fieldSize) {
  char value[64];
  if (plat::profileString(section, key, "", value, sizeof value) == 0 || value[0] == '\0') return;
  const size_t length = std::min<size_t>(std::strlen(value), fieldSize - 1);
  std::memcpy(field, value, length);
  field[length] = '\0';
}

void readCharacter(const char* section, const char* key, char* field) {
  char value[2] = {*field, '\0'};
  readText(section, key, value, sizeof value);
  *field = value[0];
}

}  // namespace

LocaleSettings readLocaleSettings() {
  LocaleSettings s;
  readCharacter("Intl", "sThousand", &s.thousandSeparator);
  readCharacter("Intl", "sList", &s.listSeparator);
  readText("intl", "sTime", s.timeSeparator, sizeof s.timeSeparator);
  readText("intl", "s1159", s.morningSuffix, sizeof s.morningSuffix);
  readText("intl", "s2359", s.afternoonSuffix, sizeof s.afternoonSuffix);
  s.clock24 = plat::profileInt("intl", "iTime", 0);
  s.leadingZero = plat::profileInt("intl", "iTLzero", 0);
  return s;
}

}  // namespace afm3
