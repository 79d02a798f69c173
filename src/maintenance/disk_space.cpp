#include "maintenance/disk_space.h"

#include <cstdio>
#include <string>

#include "core/paths.h"
#include "q32comm.h"

namespace afm3 {

bool enoughDiskSpace(const AlbumSlot& slot, double needed, Location where, uint32_t step) {
  const double available = qfdGetDiskFreeSpace(slot.path);
  if (available >= needed) return true;
  char freeText[24];
  char neededText[24];
  std::snprintf(freeText, sizeof freeText, "%llu",
                static_cast<unsigned long long>(available > 0 ? available : 0));
  std::snprintf(neededText, sizeof neededText, "%llu", static_cast<unsigned long long>(needed));
  const std::string root = pathRoot(slot.path);
  const char* args[] = {freeText, root.c_str(), neededText};
  char text[256];
  formatMessage(kErrDiskSpaceFormat, args, 3, text, sizeof text);
  reportText(text, where, step);
  return false;
}

}  // namespace afm3
