// Process-wide state of the library, fixed when the library is attached to
// a process and released when it is detached. Calls are not synchronised:
// a host calls the library from one thread at a time.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/locale_settings.h"

namespace afm3 {

constexpr uint32_t kPathSize = 260;

struct LibraryState {
  HMODULE module = nullptr;            // the library's own module; also its owner key
  HMODULE resources = nullptr;         // the resource library with texts and dialogs
  char appDataFolder[kPathSize] = {};  // with a trailing backslash
  char codecFolder[kPathSize] = {};    // executable's folder + "FIO\"; natively else the library's
  uint32_t osKind = 0;                 // 1..3; kind 4 is kept as 2
  bool shortNameMode = false;          // picture paths handed out in 8.3 form
  bool helpShown = false;
  bool attached = false;
  LocaleSettings locale;
};

LibraryState& libraryState();

// The help file: the library's own folder followed by the help file name
// and its window suffix.
void helpPath(char* out, uint32_t size);

// Process attach and detach, in the order the library depends on. attach
// returns false only when the album and client tables cannot be made.
bool processAttach(HMODULE module);
void processDetach();

// Builds the codec folder from the path of the host executable: its folder
// followed by "FIO\", at most 259 characters (empty when it would not fit).
void buildCodecFolder(const char* executablePath, char* out, uint32_t size);

}  // namespace afm3
