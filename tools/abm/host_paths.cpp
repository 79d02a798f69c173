#include "host_paths.h"

#include <algorithm>

namespace abm {

std::string toLibraryPath(const std::string& shellPath) {
#ifdef _WIN32
  return shellPath;
#else
  if (shellPath.empty() || shellPath[0] != '/') return shellPath;
  std::string path = "Z:" + shellPath;
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
