#include "host_paths.h"

#include "afm3_compat.h"

namespace abm {

// The library takes shell paths as they are and hands back its own form;
// the platform layer's conversion is the one both directions use.
std::string toLibraryPath(const std::string& shellPath) {
#ifdef _WIN32
  return shellPath;
#else
  char out[1024];
  return qwinLibraryPath(shellPath.c_str(), out, sizeof out) ? std::string(out) : shellPath;
#endif
}

std::string toShellPath(const std::string& libraryPath) {
#ifdef _WIN32
  return libraryPath;
#else
  char out[4096];
  return qwinHostPath(libraryPath.c_str(), out, sizeof out) ? std::string(out) : libraryPath;
#endif
}

}  // namespace abm
