#include "marks/mark_paths.h"

#include <cstring>

#include "core/library_state.h"
#include "core/paths.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr const char* kMarkExtension = ".mrk";

}  // namespace

bool libraryFormOf(const char* path, char* out) {
  out[0] = '\0';
  return path != nullptr && plat::libraryPathOf(path, out, kPathSize);
}

std::string markFileNameOf(const char* albumPath) {
  const char* last = lastBackslash(albumPath);
  std::string name = last != nullptr ? last + 1 : albumPath;
  const size_t dot = name.rfind('.');
  if (dot != std::string::npos) name.resize(dot);
  return name + kMarkExtension;
}

bool markFileHome(char* out, Location where, uint32_t step) {
  const char* folder = libraryState().appDataFolder;
  std::strcpy(out, folder);
  char bare[kPathSize];
  std::strcpy(bare, folder);
  qfdDelSlash(bare);
  if (folder[0] != '\0' && (qfdIsDir(bare) || qfdCreateDir(bare))) return true;
  reportFormatted(kErrAppDataFormat, {bare}, where, step);
  return false;
}

}  // namespace afm3
