// Picture paths as records store them (string A), and the location fields
// of a RecordEntry that follow from where the album itself lives.
//
// String A takes one of three forms:
//   absolute         "C:\dir\a.jpg", "\\server\share\dir\a.jpg"
//   folder-relative  ".\..\" + a path relative to the album's folder
//   root-relative    ".\" + an absolute path whose root stands for the
//                    root of the album's own path (the album's drive or
//                    share, wherever it is mounted now)
// The relative forms let an album and its pictures move together.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace afm3 {

// The codes afm3ReadFilePicMisc hands out for the forms.
enum class PathForm : uint32_t { Absolute = 0, RootRelative = 1, FolderRelative = 2 };

constexpr char kFolderRelativePrefix[] = ".\\..\\";
constexpr size_t kFolderRelativePrefixLength = 5;

// The form of a stored path from its first bytes (length bytes are
// given; they need not be NUL-terminated). An empty path is absolute.
PathForm pathFormOf(const char* text, size_t length);

// The longest path a resolved relative path is cut to.
constexpr size_t kResolvedPathMax = 258;

// Turns a relative string A into the path it stands for today, given the
// album's own path: base (the album's folder for the folder-relative form,
// else the root of its path) followed by the stored path without ".\" and
// without its own root. The result is cut to kResolvedPathMax characters.
// An absolute path comes back unchanged.
std::string resolvePicturePath(const char* stored, const char* albumPath);

// The root the location fields are taken from: for a network path the
// "\\server\share\" part, else the path's first three characters.
std::string locationRootOf(const char* albumPath);

// Copies at most size - 1 bytes of text and a NUL to out, never splitting
// a double-byte character.
void copyBounded(const std::string& text, char* out, size_t size);

}  // namespace afm3
