// Path pieces in Windows form, walked character by character so that the
// trail byte of a double-byte character is never taken for a backslash.
#pragma once

#include <cstdint>
#include <string>

namespace afm3 {

// Everything up to and including the last backslash ("" when there is
// none). Truncates nothing: out receives "" when the folder does not fit.
void folderOf(const char* path, char* out, uint32_t size);

// The root of a path: up to and including the first colon and the
// backslash after it ("C:\"); for "\\server\share\dir" up to and including
// the backslash after the share name (the whole path when there is none);
// otherwise empty.
std::string pathRoot(const char* path);

// Pointer to the last backslash of path, or null.
const char* lastBackslash(const char* path);

}  // namespace afm3
