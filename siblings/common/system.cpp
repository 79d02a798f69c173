// The operating system kind, the product family's application-data folder
// and help.
#include <cstdlib>
#include <cstring>
#include <string>

#include "comm_internal.h"
#include "platform.h"
#include "q32comm.h"

namespace {

constexpr DWORD kOsWindows9x = 1;
constexpr DWORD kOsWindowsNt4 = 2;
constexpr DWORD kOsShortNamesOnly = 3;
constexpr DWORD kOsWindows2000 = 4;

// The product family's folder below the per-user application-data folder.
constexpr const char* kFamilyFolder = "Qarvo";

// An overriding folder may be written in POSIX form; the host's root is
// drive Z: both in the POSIX emulation and under Wine.
std::string toWindowsPath(const std::string& value) {
  std::string path = value;
#ifndef _WIN32
  if (!path.empty() && path[0] == '/') path = "Z:" + path;
#endif
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
  return path;
}

}  // namespace

extern "C" {

DWORD q32GetOsVersion(void) {
  std::string forced;
  if (q32::readEnvironment("Q32_OS_KIND", &forced)) {
    char* end = nullptr;
    const long kind = std::strtol(forced.c_str(), &end, 10);
    if (end != forced.c_str() && *end == '\0' && kind >= 1 && kind <= 4)
      return static_cast<DWORD>(kind);
  }
#ifdef _WIN32
  OSVERSIONINFOA info;
  std::memset(&info, 0, sizeof info);
  info.dwOSVersionInfoSize = sizeof info;
  if (!GetVersionExA(&info)) return kOsWindows2000;
  switch (info.dwPlatformId) {
    case VER_PLATFORM_WIN32s:
      return kOsShortNamesOnly;
    case VER_PLATFORM_WIN32_WINDOWS:
      return kOsWindows9x;
    case VER_PLATFORM_WIN32_NT:
      return info.dwMajorVersion >= 5 ? kOsWindows2000 : kOsWindowsNt4;
    default:
      return kOsWindows2000;
  }
#else
  // The emulated system is a present-day Windows with long file names.
  (void)kOsWindows9x;
  (void)kOsWindowsNt4;
  (void)kOsShortNamesOnly;
  return kOsWindows2000;
#endif
}

BOOL q32GetAppDataFolder(LPSTR buffer, DWORD size, DWORD /*reserved*/, DWORD create) {
  if (buffer == nullptr || size == 0) return FALSE;
  buffer[0] = '\0';

  char folder[MAX_PATH];
  std::string forced;
  if (q32::readEnvironment("Q32_APPDATA", &forced) && !forced.empty()) {
    const std::string path = toWindowsPath(forced);
    if (path.size() > q32::kMaxPathChars) return FALSE;
    std::memcpy(folder, path.c_str(), path.size() + 1);
  } else {
    const uint32_t length = plat::appDataFolder(folder, sizeof folder);
    if (length == 0 || length >= sizeof folder) return FALSE;
    qfdDelSlash(folder);
    const size_t base = std::strlen(folder);
    if (base + 1 + std::strlen(kFamilyFolder) > q32::kMaxPathChars) return FALSE;
    std::strcat(folder, "\\");
    std::strcat(folder, kFamilyFolder);
  }
  qfdDelSlash(folder);

  // The caller gets the folder even when it cannot be created, to name it
  // in its message.
  const size_t length = std::strlen(folder);
  if (length + 1 > size) return FALSE;
  std::memcpy(buffer, folder, length + 1);
  if (create && !qfdIsDir(folder) && !qfdCreateDir(folder)) return FALSE;
  return TRUE;
}

BOOL q32MyWinHelp(HWND /*owner*/, LPCSTR /*helpPath*/, UINT /*command*/, DWORD /*data*/) {
  // The product ships no help file: nothing is shown, and closing help that
  // was never opened has nothing to do.
  return FALSE;
}

}  // extern "C"
