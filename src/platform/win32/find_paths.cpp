// Directory searches, volumes and path names on the Win32 API.
#include <cstring>

#include "platform.h"
#include "win32_util.h"

// Needs <windows.h>, which platform.h includes.
#include <shlobj.h>

namespace plat {

using win32::fromFileTime;

namespace {

void toFindData(const WIN32_FIND_DATAA& from, FindData* to) {
  to->attributes = from.dwFileAttributes;
  to->size = (static_cast<uint64_t>(from.nFileSizeHigh) << 32) | from.nFileSizeLow;
  to->creationTime = fromFileTime(from.ftCreationTime);
  to->lastWriteTime = fromFileTime(from.ftLastWriteTime);
  static_assert(sizeof to->name == sizeof from.cFileName);
  static_assert(sizeof to->alternateName == sizeof from.cAlternateFileName);
  std::memcpy(to->name, from.cFileName, sizeof to->name);
  std::memcpy(to->alternateName, from.cAlternateFileName, sizeof to->alternateName);
  to->name[sizeof to->name - 1] = '\0';
  to->alternateName[sizeof to->alternateName - 1] = '\0';
}

// Copies a NUL-terminated result into a caller's buffer with the length
// convention of the path functions: the length written, or the size needed
// (NUL included) when the buffer is too small.
uint32_t copyPath(const char* path, char* out, uint32_t size) {
  const uint32_t length = static_cast<uint32_t>(std::strlen(path));
  if (out == nullptr || length >= size) return length + 1;
  std::memcpy(out, path, length + 1);
  return length;
}

}  // namespace

FindHandle findFirst(const char* pattern, FindData* data) {
  WIN32_FIND_DATAA found;
  const HANDLE find = FindFirstFileA(pattern, &found);
  if (find != INVALID_HANDLE_VALUE) toFindData(found, data);
  return find;
}

bool findNext(FindHandle find, FindData* data) {
  WIN32_FIND_DATAA found;
  if (!FindNextFileA(find, &found)) return false;
  toFindData(found, data);
  return true;
}

bool findClose(FindHandle find) { return FindClose(find) != FALSE; }

bool volumeInformation(const char* root, VolumeInfo* info) {
  DWORD serial = 0, maxComponent = 0, flags = 0;
  if (!GetVolumeInformationA(root, info->label, sizeof info->label, &serial, &maxComponent, &flags,
                             info->fileSystemName, sizeof info->fileSystemName)) {
    return false;
  }
  info->serial = serial;
  info->maxComponentLength = maxComponent;
  info->fileSystemFlags = flags;
  return true;
}

uint32_t driveType(const char* root) { return GetDriveTypeA(root); }

bool diskFreeSpace(const char* path, uint64_t* freeBytesForCaller) {
  ULARGE_INTEGER available;
  if (!GetDiskFreeSpaceExA(path, &available, nullptr, nullptr)) return false;
  *freeBytesForCaller = available.QuadPart;
  return true;
}

uint32_t shortPathName(const char* longPath, char* out, uint32_t size) {
  return GetShortPathNameA(longPath, out, size);
}

uint32_t longPathName(const char* shortPath, char* out, uint32_t size) {
  return GetLongPathNameA(shortPath, out, size);
}

uint32_t fullPathName(const char* path, char* out, uint32_t size) {
  return GetFullPathNameA(path, size, out, nullptr);
}

uint32_t currentDirectory(char* out, uint32_t size) { return GetCurrentDirectoryA(size, out); }

namespace {

bool copyWholePath(const char* path, char* out, uint32_t size) {
  if (path == nullptr || out == nullptr || std::strlen(path) >= size) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return false;
  }
  std::memcpy(out, path, std::strlen(path) + 1);
  return true;
}

}  // namespace

bool libraryPathOf(const char* hostPath, char* out, uint32_t size) {
  return copyWholePath(hostPath, out, size);
}

bool hostPathOf(const char* libraryPath, char* out, uint32_t size) {
  return copyWholePath(libraryPath, out, size);
}

bool setCurrentDirectory(const char* path) { return SetCurrentDirectoryA(path) != FALSE; }

uint32_t appDataFolder(char* out, uint32_t size) {
  char folder[MAX_PATH];
  const HRESULT result =
      SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, SHGFP_TYPE_CURRENT, folder);
  if (FAILED(result)) {
    // The shell reports Win32 failures wrapped in an HRESULT.
    SetLastError(HRESULT_FACILITY(result) == FACILITY_WIN32 ? HRESULT_CODE(result)
                                                            : ERROR_PATH_NOT_FOUND);
    return 0;
  }
  return copyPath(folder, out, size);
}

uint32_t tempFolder(char* out, uint32_t size) { return GetTempPathA(size, out); }

}  // namespace plat
