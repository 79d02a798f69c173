// afm3check.dll / libafm3check.so: the integrity check and repair of album
// files as a library of its own, so that the album library's export table
// stays as it is. It is linked from the album library's modules and
// exports afm3CheckAlbumFile alone.
#include "afm3_check.h"
#include "core/caller_path.h"
#include "maintenance/album_check.h"

#ifdef _WIN32
#include "afm3_types.h"

// The album library's modules come with their own DllMain (its start-up:
// tables, resources, codecs); this library needs none of that, and this
// entry point keeps that one out.
extern "C" BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
#endif

extern "C" int afm3CheckAlbumFile(const char* path, int repair, Afm3ProblemCallback onProblem,
                                  void* ctx) {
  const afm3::CallerPath album(path);
  return afm3::checkAlbumFile(album.get(), repair != 0, onProblem, ctx);
}
