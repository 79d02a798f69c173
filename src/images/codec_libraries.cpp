#include "images/codec_libraries.h"

#include <cstdio>
#include <cstring>

#include "core/detach_hook.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "images/image_format.h"
#include "platform.h"

namespace afm3 {

namespace {

// SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX: a missing medium in the
// codec folder fails the load instead of asking the user.
constexpr uint32_t kLoadErrorMode = 0x8001;
constexpr int kMessageSize = 256;

struct LibrarySlot {
  const char* name;
  HMODULE handle;
  char path[kPathSize];  // what was loaded or last tried
};

// Indexed by CodecLibrary. Calls are not synchronised (one thread at a
// time, as everywhere in the library).
constinit LibrarySlot slots[] = {
    {"qlibjpg.dll", nullptr, {}},
    {"q32lzw.dll", nullptr, {}},
    {"q32zlib.dll", nullptr, {}},
    {"q32cvt.dll", nullptr, {}},
};

LibrarySlot& slotOf(CodecLibrary library) { return slots[static_cast<int>(library)]; }

bool inCodecFolder(const char* name, char* out) {
  const int n = std::snprintf(out, kPathSize, "%s%s", libraryState().codecFolder, name);
  return n > 0 && n < static_cast<int>(kPathSize) && libraryState().codecFolder[0] != '\0';
}

// Loads path with folder (when given) as the current directory, so that
// libraries the codec itself needs are found beside it.
HMODULE loadFromFolder(const char* path, const char* folder) {
  char previous[kPathSize] = {};
  const bool switched = folder != nullptr &&
                        plat::currentDirectory(previous, sizeof previous) > 0 &&
                        plat::setCurrentDirectory(folder);
  HMODULE handle = plat::loadLibrary(path);
  if (switched) plat::setCurrentDirectory(previous);
  return handle;
}

// The folder of a path in the codec folder, without its trailing backslash.
void folderWithoutSlash(const char* path, char* out) {
  std::snprintf(out, kPathSize, "%s", path);
  char* slash = std::strrchr(out, '\\');
  if (slash != nullptr) *slash = '\0';
}

HMODULE tryLoad(CodecLibrary library, LoadPurpose purpose, char* tried) {
  LibrarySlot& slot = slotOf(library);
  char folder[kPathSize];
  switch (library) {
    case CodecLibrary::Jpeg: {
      std::snprintf(tried, kPathSize, "%s", slot.name);
      if (HMODULE handle = plat::loadLibrary(slot.name)) return handle;
      if (!inCodecFolder(slot.name, tried)) return nullptr;
      plat::charLower(tried);
      folderWithoutSlash(tried, folder);
      return loadFromFolder(tried, folder);
    }
    case CodecLibrary::Lzw:
    case CodecLibrary::Zlib:
      if (!inCodecFolder(slot.name, tried)) return nullptr;
      if (library == CodecLibrary::Zlib && purpose == LoadPurpose::Decoding)
        return plat::loadLibrary(tried);
      folderWithoutSlash(tried, folder);
      return loadFromFolder(tried, folder);
    case CodecLibrary::Conversion:
      std::snprintf(tried, kPathSize, "%s", slot.name);
      return plat::loadLibrary(slot.name);
  }
  return nullptr;
}

// Whether the file of a library is in folder. Outside Windows the platform
// layer maps "NAME.dll" to the shared object "libNAME.so" (platform.h,
// loadLibrary); that is the file a load would find.
bool libraryFileInFolder(const char* folder, const char* name) {
  char path[kPathSize];
  if (std::snprintf(path, sizeof path, "%s%s", folder, name) >= static_cast<int>(sizeof path))
    return false;
  if (fileExists(path)) return true;
#ifndef _WIN32
  const size_t stem = std::strlen(name) - std::strlen(".dll");
  if (std::snprintf(path, sizeof path, "%slib%.*s.so", folder, static_cast<int>(stem), name) >=
      static_cast<int>(sizeof path))
    return false;
  return fileExists(path);
#else
  return false;
#endif
}

}  // namespace

void reportLibraryNotLoaded(const char* path, Location where, uint32_t step) {
  char text[kMessageSize];
  formatMessage(kErrLibraryLoadFormat, &path, 1, text, sizeof text);
  reportText(text, where, step);
}

HMODULE loadCodecLibrary(CodecLibrary library, Location where, uint32_t step, LoadPurpose purpose) {
  LibrarySlot& slot = slotOf(library);
  if (slot.handle != nullptr) return slot.handle;
  // Whatever gets loaded is freed at process detach.
  registerDetachRoutine(&unloadCodecLibraries);
  const uint32_t previousMode = plat::setErrorMode(kLoadErrorMode);
  char tried[kPathSize] = {};
  slot.handle = tryLoad(library, purpose, tried);
  plat::setErrorMode(previousMode);
  std::memcpy(slot.path, tried, sizeof tried);
  if (slot.handle == nullptr) reportLibraryNotLoaded(tried, where, step);
  return slot.handle;
}

void* codecFunction(CodecLibrary library, const char* name, Location where, uint32_t step) {
  LibrarySlot& slot = slotOf(library);
  void* function = slot.handle != nullptr ? plat::procAddress(slot.handle, name) : nullptr;
  if (function == nullptr) reportLibraryNotLoaded(slot.path, where, step);
  return function;
}

const char* codecLibraryPath(CodecLibrary library) { return slotOf(library).path; }

bool codecAvailable(uint8_t compression) {
  CodecLibrary library;
  switch (compression) {
    case kCompressJpeg:
      library = CodecLibrary::Jpeg;
      break;
    case kCompressLzw:
      library = CodecLibrary::Lzw;
      break;
    case kCompressZlib:
      library = CodecLibrary::Zlib;
      break;
    default:
      return true;
  }
  const LibrarySlot& slot = slotOf(library);
  return slot.handle != nullptr || (libraryState().codecFolder[0] != '\0' &&
                                    libraryFileInFolder(libraryState().codecFolder, slot.name));
}

void unloadCodecLibraries() {
  for (CodecLibrary library :
       {CodecLibrary::Lzw, CodecLibrary::Zlib, CodecLibrary::Jpeg, CodecLibrary::Conversion}) {
    LibrarySlot& slot = slotOf(library);
    if (slot.handle != nullptr) plat::freeLibrary(slot.handle);
    slot.handle = nullptr;
  }
}

}  // namespace afm3
