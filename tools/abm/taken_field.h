// --taken=FIELD of add: the capture time of a photo kept in a field of the
// album. Text fields (string, text, memo) get "YYYY-MM-DD hh:mm:ss",
// 4-byte fields the packed date and time a record keeps its file's time in
// (the date in the high half), 8-byte fields the number YYYYMMDDhhmmss.
#pragma once

#include <string>
#include <vector>

#include "field_values.h"

namespace abm {

// The field named for --taken; false with *problem when the album has no
// such field, it cannot hold a time, or an assignment gives it a value.
bool takenField(const std::vector<Field>& fields, const std::string& name,
                const std::vector<std::string>& assignments, const Field** field,
                std::string* problem);
// "NAME=VALUE" storing taken ("YYYY-MM-DD hh:mm:ss") in the field.
std::string takenAssignment(const Field& field, const std::string& taken);

}  // namespace abm
