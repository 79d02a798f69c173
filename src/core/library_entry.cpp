// The library's entry points: process attach and detach run from DllMain on
// Windows and from a constructor/destructor pair elsewhere.
#include "afm3_types.h"
#include "core/library_state.h"
#include "platform.h"

#ifdef _WIN32

extern "C" BOOL WINAPI DllMain(HINSTANCE module, DWORD reason, LPVOID) {
  if (reason == DLL_PROCESS_ATTACH) afm3::processAttach(module);
  if (reason == DLL_PROCESS_DETACH) afm3::processDetach();
  return TRUE;
}

#else

namespace {

__attribute__((constructor)) void attachLibrary() {
  afm3::processAttach(plat::moduleOf(reinterpret_cast<const void*>(&attachLibrary)));
}

__attribute__((destructor)) void detachLibrary() { afm3::processDetach(); }

}  // namespace

#endif
