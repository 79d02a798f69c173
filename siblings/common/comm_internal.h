// Helpers shared by the parts of the common library.
//
// Paths are ANSI strings in the current code page. They are always walked
// character by character with plat::charNext: in a double-byte code page the
// trail byte of a character may be 0x5C, which is not a backslash there.
#pragma once

#include <cstddef>
#include <string>

namespace q32 {

// The longest path the library handles, without its NUL (buffers are
// MAX_PATH = 260 bytes).
constexpr size_t kMaxPathChars = 259;

inline bool isSeparator(char c) { return c == '\\' || c == '/'; }

// Length of the root of path: 3 for "X:\", 2 for "X:", 1 for "\" and, for
// "\\server\share\rest", everything up to and including the backslash after
// the share (all of it when nothing follows the share). 0 for a relative
// path.
size_t rootLength(const char* path);

// Offset of the file-name part: just after the last separator, or after
// "X:" for a drive-relative name, or 0.
size_t nameOffset(const char* path);

// Offset of the last character of path (the start of a double-byte
// character), or of the NUL when path is empty.
size_t lastCharOffset(const char* path);

// Copies at most length bytes of source into a buffer of capacity bytes and
// terminates it, never cutting a double-byte character in two. Returns the
// bytes copied. The source may overlap the destination.
size_t boundedCopy(char* destination, size_t capacity, const char* source, size_t length);

// Reads an environment variable of the process; false when it is not set.
bool readEnvironment(const char* name, std::string* value);

}  // namespace q32
