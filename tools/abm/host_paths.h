// Paths between the shell and the library. The library speaks Windows
// paths; outside Windows its drive Z:\ is the root of the host file
// system, so "/home/me/a.ab3" is "Z:\home\me\a.ab3" and back.
#pragma once

#include <string>

namespace abm {

std::string toLibraryPath(const std::string& shellPath);
std::string toShellPath(const std::string& libraryPath);

}  // namespace abm
