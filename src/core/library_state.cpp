#include "core/library_state.h"

#include <cstdio>
#include <cstring>

#include "core/album_table.h"
#include "core/clients.h"
#include "core/detach_hook.h"
#include "core/paths.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constinit LibraryState state;

constexpr const char* kResourceLibraryName = "QMBRC.dll";
constexpr const char* kCodecSubfolder = "FIO\\";
constexpr const char* kHelpFileSuffix = "db.hlp>d";
constexpr uint32_t kHelpClose = 2;

// The resource library is looked up the usual way first, then beside the
// library itself, so a host in another folder still finds it.
HMODULE loadResourceLibrary(HMODULE self) {
  HMODULE resources = plat::loadLibrary(kResourceLibraryName);
  if (resources != nullptr) return resources;
  char path[kPathSize];
  if (self == nullptr || plat::moduleFileName(self, path, sizeof path) == 0) return nullptr;
  char folder[kPathSize];
  folderOf(path, folder, sizeof folder);
  if (std::snprintf(path, sizeof path, "%s%s", folder, kResourceLibraryName) >=
      static_cast<int>(sizeof path))
    return nullptr;
  return plat::loadLibrary(path);
}

void prepareAppDataFolder(char* out) {
  char folder[kPathSize] = {};
  if (!q32GetAppDataFolder(folder, sizeof folder - 1, 0, 1)) folder[0] = '\0';
  // A failing creation is not fatal: mark files then report when used.
  if (folder[0] != '\0' && !qfdIsDir(folder)) qfdCreateDir(folder);
  if (folder[0] != '\0') qfdAddSlash(folder);
  std::memcpy(out, folder, kPathSize);
}

// The codec folder beside the host executable. An installed host keeps its
// executable apart from the libraries (bin/ and lib/), so outside Windows,
// when the executable's folder has none, the one beside this library serves.
void chooseCodecFolder(HMODULE self, char* out, uint32_t size) {
  char path[kPathSize] = {};
  plat::moduleFileName(nullptr, path, sizeof path);
  buildCodecFolder(path, out, size);
#ifndef _WIN32
  if (out[0] != '\0' && qfdIsDir(out)) return;
  if (self == nullptr || plat::moduleFileName(self, path, sizeof path) == 0) return;
  char beside[kPathSize] = {};
  buildCodecFolder(path, beside, sizeof beside);
  if (beside[0] != '\0' && qfdIsDir(beside)) std::snprintf(out, size, "%s", beside);
#else
  (void)self;
#endif
}

}  // namespace

LibraryState& libraryState() { return state; }

void helpPath(char* out, uint32_t size) {
  char path[kPathSize] = {};
  char folder[kPathSize] = {};
  if (state.module != nullptr && plat::moduleFileName(state.module, path, sizeof path) > 0)
    folderOf(path, folder, sizeof folder);
  std::snprintf(out, size, "%s%s", folder, kHelpFileSuffix);
}

void buildCodecFolder(const char* executablePath, char* out, uint32_t size) {
  char folder[kPathSize];
  folderOf(executablePath, folder, sizeof folder);
  const size_t length = std::strlen(folder) + std::strlen(kCodecSubfolder);
  if (length > kPathSize - 1 || length >= size) {
    out[0] = '\0';
    return;
  }
  std::snprintf(out, size, "%s%s", folder, kCodecSubfolder);
}

bool processAttach(HMODULE module) {
  processDetach();
  state = LibraryState{};
  state.module = module;
  state.resources = loadResourceLibrary(module);
  prepareAppDataFolder(state.appDataFolder);

  chooseCodecFolder(module, state.codecFolder, sizeof state.codecFolder);

  bool tablesMade = createAlbumTable();
  if (tablesMade && !createClientTable()) {
    destroyAlbumTable();
    tablesMade = false;
  }

  uint32_t kind = q32GetOsVersion();
  if (kind == 4) kind = 2;
  state.osKind = kind;
  state.shortNameMode = kind == 3;

  state.locale = readLocaleSettings();
  state.attached = true;
  return tablesMade;
}

void processDetach() {
  if (!state.attached) return;
  runDetachRoutines();
  destroyAlbumTable();
  destroyClientTable();
  if (state.helpShown) {
    char path[kPathSize];
    helpPath(path, sizeof path);
    q32MyWinHelp(nullptr, path, kHelpClose, 0);
  }
  if (state.resources != nullptr) plat::freeLibrary(state.resources);
  state = LibraryState{};
}

}  // namespace afm3
