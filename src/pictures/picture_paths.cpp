#include "pictures/picture_paths.h"

#include <cstring>

#include "afm3_types.h"
#include "core/paths.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr size_t kDriveRootLength = 3;  // "C:\"
constexpr size_t kDotBackslash = 2;     // ".\" in front of a relative form

// Bytes of the first count characters of text (fewer when it is shorter).
size_t charactersBytes(const char* text, size_t count) {
  const char* p = text;
  for (size_t i = 0; i < count && *p != '\0'; ++i) p = plat::charNext(p);
  return static_cast<size_t>(p - text);
}

// For "\\server\share\rest": the bytes up to and including the backslash
// after the share name, or npos when there is none.
size_t shareRootBytes(const char* path) {
  int separators = 0;
  for (const char* p = path + 2; *p != '\0'; p = plat::charNext(p)) {
    if (*p == '\\' && ++separators == 2) return static_cast<size_t>(p - path) + 1;
  }
  return std::string::npos;
}

}  // namespace

PathForm pathFormOf(const char* text, size_t length) {
  if (length == 0 || text[0] != '.') return PathForm::Absolute;
  if (length >= kFolderRelativePrefixLength &&
      std::memcmp(text, kFolderRelativePrefix, kFolderRelativePrefixLength) == 0)
    return PathForm::FolderRelative;
  return PathForm::RootRelative;
}

std::string resolvePicturePath(const char* stored, const char* albumPath) {
  const PathForm form = pathFormOf(stored, std::strlen(stored));
  if (form == PathForm::Absolute) return stored;
  std::string base;
  if (form == PathForm::FolderRelative) {
    char folder[MAX_PATH];
    folderOf(albumPath, folder, sizeof folder);
    base = folder;
  } else {
    base = pathRoot(albumPath);
  }
  // ".\..\pics\a.jpg" -> "..\pics\a.jpg" -> "pics\a.jpg";
  // ".\C:\pics\a.jpg" -> "C:\pics\a.jpg" -> "pics\a.jpg".
  const char* rest = stored + charactersBytes(stored, kDotBackslash);
  if (rest[0] == '\\' && rest[1] == '\\') {
    const size_t root = shareRootBytes(rest);
    rest = root == std::string::npos ? rest + std::strlen(rest) : rest + root;
  } else {
    rest += charactersBytes(rest, kDriveRootLength);
  }
  std::string result = base + rest;
  const size_t keep = charactersBytes(result.c_str(), kResolvedPathMax);
  result.resize(keep);
  return result;
}

std::string locationRootOf(const char* albumPath) {
  if (albumPath[0] == '\\' && albumPath[1] == '\\') {
    const size_t root = shareRootBytes(albumPath);
    if (root == std::string::npos) return std::string(albumPath) + "\\";
    return std::string(albumPath, root);
  }
  return std::string(albumPath, charactersBytes(albumPath, kDriveRootLength));
}

void copyBounded(const std::string& text, char* out, size_t size) {
  if (size == 0) return;
  size_t n = 0;
  const char* p = text.c_str();
  while (*p != '\0') {
    const char* next = plat::charNext(p);
    const size_t after = static_cast<size_t>(next - text.c_str());
    if (after > size - 1) break;
    n = after;
    p = next;
  }
  std::memcpy(out, text.c_str(), n);
  out[n] = '\0';
}

}  // namespace afm3
