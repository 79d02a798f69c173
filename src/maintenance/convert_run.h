// What the last conversion of this process did, for hosts' reports and
// tests: live records converted, and version-1 records converted without
// their thumbnail because its size was not the album's.
#pragma once

#include <cstdint>

namespace afm3 {

struct ConversionSummary {
  uint32_t converted = 0;
  uint32_t droppedImages = 0;
};

ConversionSummary lastConversion();

// The remembered folder of the folder question is kept for the process;
// tests start from none.
void forgetChosenFolder();

}  // namespace afm3
