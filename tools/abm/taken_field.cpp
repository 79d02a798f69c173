#include "taken_field.h"

#include <cstdlib>

#include "record_entry.h"

namespace abm {

namespace {

constexpr unsigned kString = 9, kText = 11, kMemo = 12;
constexpr unsigned kLastFixedType = 8;

bool isText(unsigned type) { return type == kString || type == kText || type == kMemo; }

// The fixed width of a field that can hold a time as a number, else 0.
unsigned numberWidth(unsigned type) {
  if (type > kLastFixedType) return 0;
  const unsigned width = fixedValueWidth(type);
  return width == 4 || width == 8 ? width : 0;
}

int part(const std::string& taken, size_t at, size_t length) {
  return std::atoi(taken.substr(at, length).c_str());
}

}  // namespace

bool takenField(const std::vector<Field>& fields, const std::string& name,
                const std::vector<std::string>& assignments, const Field** field,
                std::string* problem) {
  *field = findField(fields, name);
  if (*field == nullptr) {
    *problem = "--taken: the album has no field '" + name + "'";
    return false;
  }
  const unsigned type = (*field)->type;
  // List fields index value tables: 4 or 8 bytes wide but no numbers.
  if (!isText(type) && (numberWidth(type) == 0 || type == 7 || type == 8)) {
    *problem = "--taken: field '" + (*field)->name +
               "' holds no time (a string, text, memo, 4-byte or 8-byte field does)";
    return false;
  }
  for (const std::string& assignment : assignments) {
    std::string assigned, value;
    if (splitAssignment(assignment, &assigned, &value) && findField(fields, assigned) == *field) {
      *problem = "--taken: field '" + (*field)->name + "' is given a value with --field too";
      return false;
    }
  }
  return true;
}

std::string takenAssignment(const Field& field, const std::string& taken) {
  std::string value = taken;
  if (numberWidth(field.type) == 4) {
    value =
        std::to_string(packDosDateTime(part(taken, 0, 4), part(taken, 5, 2), part(taken, 8, 2),
                                       part(taken, 11, 2), part(taken, 14, 2), part(taken, 17, 2)));
  } else if (numberWidth(field.type) == 8) {
    value.clear();
    for (const char c : taken) {
      if (c >= '0' && c <= '9') value += c;
    }
  }
  return field.name + "=" + value;
}

}  // namespace abm
