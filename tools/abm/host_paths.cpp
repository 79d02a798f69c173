#include "host_paths.h"

#include <algorithm>
#include <filesystem>
#include <system_error>

namespace abm {

std::string toLibraryPath(const std::string& shellPath) {
#ifdef _WIN32
  return shellPath;
#else
  if (shellPath.empty()) return shellPath;
  // A relative shell path is relative to the shell's folder, which the
  // emulated drives know nothing of: it is made absolute first.
  std::string absolute = shellPath;
  if (absolute[0] != '/') {
    std::error_code error;
    const std::filesystem::path full = std::filesystem::absolute(shellPath, error);
    if (error) return shellPath;
    absolute = full.lexically_normal().string();
  }
  std::string path = "Z:" + absolute;
  std::replace(path.begin(), path.end(), '/', '\\');
  return path;
#endif
}

std::string toShellPath(const std::string& libraryPath) {
#ifdef _WIN32
  return libraryPath;
#else
  if (libraryPath.size() < 3 || (libraryPath[0] != 'Z' && libraryPath[0] != 'z') ||
      libraryPath[1] != ':' || libraryPath[2] != '\\')
    return libraryPath;
  std::string path = libraryPath.substr(2);
  std::replace(path.begin(), path.end(), '\\', '/');
  return path;
#endif
}

}  // namespace abm
