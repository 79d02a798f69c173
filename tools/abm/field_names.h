// Names the tool gives field types on the command line and in listings.
#pragma once

#include <string>
#include <vector>

namespace abm {

// "text", "memo", ... for types 0 to 15.
const char* fieldTypeName(unsigned type);
// The type named by a name or a number 0..12, or -1.
int fieldTypeFromName(const std::string& name);
// A field given as NAME:TYPE[:index=N][:attribute], as the library's
// 67-byte field description.
bool parseFieldSpec(const std::string& text, std::vector<unsigned char>* field,
                    std::string* problem);

}  // namespace abm
