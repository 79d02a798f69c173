#include "field_names.h"

#include <cstdlib>

namespace abm {

namespace {

// Types 0 to 6 hold opaque bytes of the given width; 7 and 8 index the
// field's value table (32 entries or one); 9 is a string with a word
// signature; 10 a value of any length; 11 and 12 short and long texts.
const char* const kNames[16] = {"bytes2",  "bytes4", "bytes4b", "bytes8", "bytes4c", "bytes2b",
                                "bytes16", "list32", "list1",   "string", "blob",    "text",
                                "memo",    "type13", "type14",  "type15"};
constexpr int kLastType = 12;

}  // namespace

const char* fieldTypeName(unsigned type) { return kNames[type & 0x0F]; }

int fieldTypeFromName(const std::string& name) {
  for (int t = 0; t <= kLastType; ++t) {
    if (name == kNames[t]) return t;
  }
  char* end = nullptr;
  const long number = std::strtol(name.c_str(), &end, 10);
  if (!name.empty() && *end == '\0' && number >= 0 && number <= kLastType)
    return static_cast<int>(number);
  return -1;
}

}  // namespace abm
