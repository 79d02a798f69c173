// Paths at the mark functions' boundary, the name of an album's mark file,
// and the mark files' default home.
#pragma once

#include <cstdint>
#include <string>

#include "core/error_report.h"

namespace afm3 {

// A path as the caller gave it, in the form the library works with
// (plat::libraryPathOf): native hosts' POSIX paths become the drive paths
// the platform maps them to. out holds 260 characters; false when path is
// null or does not fit.
bool libraryFormOf(const char* path, char* out);

// The name of an album's mark file: the album file's name with its
// extension (from the last ".") replaced by ".mrk", or ".mrk" appended.
std::string markFileNameOf(const char* albumPath);

// AppDataFolder (with its trailing backslash), created when it is missing.
// false after reporting message 6434 with the folder at (where, step).
bool markFileHome(char* out, Location where, uint32_t step);

}  // namespace afm3
