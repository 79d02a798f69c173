// Album creation and opening can make or find the album's thumb-mark file.
// Mark files are kept by a module above the album core; it registers its
// routine here when the library is loaded, and creation and opening reach
// it through this hook, so the core never depends on that module.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"

namespace afm3 {

struct MarkFileRequest {
  HINSTANCE ownerKey;
  const char* albumPath;  // as the caller named the album
  const char* title;      // the album title of the header
  char* markPath;         // in/out, 260 characters
  bool checkExisting;     // keep markPath when it names a valid mark file
  bool besideAlbum;       // the file's home is the album's folder (version-2 albums)
};

// Returns true with markPath naming the album's mark file, or false after
// the routine reported why.
using MarkFileHandOff = bool (*)(const MarkFileRequest& request);

void registerMarkFileHandOff(MarkFileHandOff handOff);

// Runs the registered routine. Without one, reports that thumb-mark files
// are not available at (where, step) and returns false.
bool handOffMarkFile(const MarkFileRequest& request, Location where, uint32_t step);

}  // namespace afm3
