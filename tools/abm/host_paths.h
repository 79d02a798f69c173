// Paths between the shell and the library. The library accepts shell
// paths itself and hands back its own (Windows) form; outside Windows its
// drive Z:\ is the root of the host file system, so "Z:\home\me\a.ab3" is
// "/home/me/a.ab3". The tool's own path logic works in the library's form.
#pragma once

#include <string>

namespace abm {

std::string toLibraryPath(const std::string& shellPath);
std::string toShellPath(const std::string& libraryPath);

}  // namespace abm
