// Folder and path services.
//
// Every routine takes Windows paths of at most 259 characters and writes at
// most MAX_PATH bytes (NUL included) into any buffer. Strings are walked by
// character (plat::charNext), so a double-byte character whose trail byte
// is 0x5C is never taken for a backslash.
#include <cstring>
#include <string>
#include <vector>

#include "comm_internal.h"
#include "platform.h"
#include "q32comm.h"

namespace {

using q32::isSeparator;
using q32::kMaxPathChars;

bool endsWithSeparator(const char* path) {
  if (path[0] == '\0') return false;
  const size_t last = q32::lastCharOffset(path);
  // A single-byte last character: the only kind that can be a separator.
  return path[last + 1] == '\0' && isSeparator(path[last]);
}

// The volume root ("X:\" or "\\server\share\") of path, made absolute first
// when path is relative to the current drive or folder.
bool volumeRoot(const char* path, std::string* root) {
  char full[MAX_PATH];
  size_t length = q32::rootLength(path);
  const char* source = path;
  const bool absoluteDrive = length == 3;
  const bool unc = isSeparator(path[0]) && isSeparator(path[1]);
  if (!absoluteDrive && !unc) {
    const uint32_t n = plat::fullPathName(path, full, sizeof full);
    if (n == 0 || n >= sizeof full) return false;
    source = full;
    length = q32::rootLength(full);
    if (length == 0) return false;
  }
  root->assign(source, length);
  if (!isSeparator(root->back())) root->push_back('\\');
  return true;
}

// One character of a file name: one byte, or the two bytes of a
// double-byte character.
struct NameChar {
  const char* start;
  size_t size;
  bool is(char c) const { return size == 1 && *start == c; }
};

}  // namespace

namespace {

// The routines that look at the file system take host paths too (natively
// POSIX ones), in the form the library works with.
std::string libraryForm(const char* path) {
  char converted[2 * MAX_PATH];
  return plat::libraryPathOf(path, converted, sizeof converted) ? std::string(converted)
                                                                : std::string(path);
}

}  // namespace

extern "C" {

BOOL qfdIsDir(LPCSTR hostPath) {
  if (hostPath == nullptr || hostPath[0] == '\0') return FALSE;
  const std::string converted = libraryForm(hostPath);
  const char* path = converted.c_str();
  const uint32_t attributes = plat::fileAttributes(path);
  return attributes != plat::kInvalidAttributes && (attributes & plat::kAttrDirectory) != 0;
}

BOOL qfdCreateDir(LPCSTR hostPath) {
  if (hostPath == nullptr || hostPath[0] == '\0') return FALSE;
  const std::string converted = libraryForm(hostPath);
  const char* path = converted.c_str();
  const size_t length = std::strlen(path);
  if (length > kMaxPathChars) {
    plat::setLastError(plat::kErrFilenameExcedRange);
    return FALSE;
  }
  char work[MAX_PATH];
  std::memcpy(work, path, length + 1);
  qfdDelSlash(work);
  if (qfdIsDir(work)) return TRUE;

  // Create each missing ancestor below the root, then the folder itself. A
  // folder that appears meanwhile (another process) is as good as created.
  const size_t root = q32::rootLength(work);
  for (const char* p = work + root; *p != '\0'; p = plat::charNext(p)) {
    if (!isSeparator(*p) || p == work + root) continue;
    const size_t cut = static_cast<size_t>(p - work);
    const char saved = work[cut];
    work[cut] = '\0';
    const bool ok = qfdIsDir(work) || plat::createDirectory(work) || qfdIsDir(work);
    work[cut] = saved;
    if (!ok) return FALSE;
  }
  return plat::createDirectory(work) || qfdIsDir(work) ? TRUE : FALSE;
}

void qfdAddSlash(LPSTR path) {
  if (path == nullptr || path[0] == '\0' || endsWithSeparator(path)) return;
  const size_t length = std::strlen(path);
  if (length + 1 > kMaxPathChars) return;  // no room in a MAX_PATH buffer
  path[length] = '\\';
  path[length + 1] = '\0';
}

void qfdDelSlash(LPSTR path) {
  if (path == nullptr || !endsWithSeparator(path)) return;
  const size_t length = std::strlen(path);
  // "X:\", "\" and "\\server\share\" keep their backslash: without it they
  // would name something else (or nothing).
  if (length <= q32::rootLength(path)) return;
  path[length - 1] = '\0';
}

void qfdSplitPathname(LPCSTR path, LPSTR name, LPSTR folder) {
  if (path == nullptr) {
    if (name != nullptr) name[0] = '\0';
    if (folder != nullptr) folder[0] = '\0';
    return;
  }
  // Copies first: name or folder may be the path itself.
  const size_t cut = q32::nameOffset(path);
  const std::string nameText(path + cut);
  const std::string folderText(path, cut);
  if (name != nullptr) q32::boundedCopy(name, MAX_PATH, nameText.c_str(), nameText.size());
  if (folder != nullptr) q32::boundedCopy(folder, MAX_PATH, folderText.c_str(), folderText.size());
}

void qfdRemoveBlanks(LPSTR path) {
  if (path == nullptr) return;
  char* name = path + q32::nameOffset(path);

  std::vector<NameChar> chars;
  for (const char* p = name; *p != '\0'; p = plat::charNext(p))
    chars.push_back({p, static_cast<size_t>(plat::charNext(p) - p)});

  // Leading and trailing blanks go.
  size_t begin = 0, end = chars.size();
  while (begin < end && chars[begin].is(' ')) ++begin;
  while (end > begin && chars[end - 1].is(' ')) --end;

  // The extension's dot: the last one of the name.
  size_t dot = end;
  for (size_t i = begin; i < end; ++i) {
    if (chars[i].is('.')) dot = i;
  }

  std::string cleaned;
  for (size_t i = begin; i < end; ++i) {
    if (chars[i].is(' ')) {
      if (chars[i - 1].is(' ')) continue;  // a run of blanks keeps its first
      size_t j = i;
      while (j < end && chars[j].is(' ')) ++j;
      if (j == dot) continue;  // blanks right before the extension's dot
    }
    cleaned.append(chars[i].start, chars[i].size);
  }

  // The result must still name a file in the same folder; when nothing
  // usable would be left, the name stays as it was.
  if (cleaned.empty() || cleaned == "." || cleaned == "..") return;
  std::memcpy(name, cleaned.c_str(), cleaned.size() + 1);
}

double qfdGetDiskFreeSpace(LPCSTR hostPath) {
  if (hostPath == nullptr || hostPath[0] == '\0') return -1.0;
  const std::string converted = libraryForm(hostPath);
  const char* path = converted.c_str();
  if (std::strlen(path) > kMaxPathChars) return -1.0;
  std::string root;
  if (!volumeRoot(path, &root)) return -1.0;
  uint64_t freeBytes = 0;
  if (!plat::diskFreeSpace(root.c_str(), &freeBytes)) return -1.0;
  return static_cast<double>(freeBytes);
}

BOOL qfdConvertLongShortPathname(LPCSTR source, LPSTR destination, DWORD size, DWORD direction) {
  if (source == nullptr || destination == nullptr || size == 0) return FALSE;
  const std::string original = libraryForm(source);  // destination may be source
  char converted[2 * MAX_PATH];
  uint32_t length = 0;
  if (direction == 0) {
    length = plat::shortPathName(original.c_str(), converted, sizeof converted);
  } else if (direction == 1) {
    length = plat::longPathName(original.c_str(), converted, sizeof converted);
  }
  if (length == 0 || length >= sizeof converted || length >= size) {
    // Not converted: the destination gets the path as given, so that it
    // never holds a stale or partial name.
    q32::boundedCopy(destination, size, original.c_str(), original.size());
    return FALSE;
  }
  std::memcpy(destination, converted, length + 1);
  return TRUE;
}

}  // extern "C"
