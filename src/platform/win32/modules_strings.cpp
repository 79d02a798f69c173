// Modules, string resources and ANSI character handling on the Win32 API.
#include "platform.h"

namespace plat {

HMODULE loadLibrary(const char* name) { return LoadLibraryA(name); }

void* procAddress(HMODULE module, const char* name) {
  return reinterpret_cast<void*>(GetProcAddress(module, name));
}

bool freeLibrary(HMODULE module) { return FreeLibrary(module) != FALSE; }

uint32_t moduleFileName(HMODULE module, char* out, uint32_t size) {
  return GetModuleFileNameA(module, out, size);
}

HMODULE moduleOf(const void* address) {
  // The reference count is left alone: the caller asks which module it is
  // in, it does not take a reference.
  HMODULE module = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          static_cast<LPCSTR>(address), &module)) {
    return nullptr;
  }
  return module;
}

int loadString(HMODULE resources, uint32_t id, char* out, int size) {
  return LoadStringA(resources, id, out, size);
}

const char* charNext(const char* s) { return CharNextA(s); }
const char* charPrev(const char* start, const char* s) { return CharPrevA(start, s); }
bool isDbcsLeadByte(uint8_t byte) { return IsDBCSLeadByte(byte) != FALSE; }
uint32_t ansiCodePage() { return GetACP(); }

// CharUpperA takes a pointer whose high word is zero for a single
// character; string addresses never lie in that range.
void charUpper(char* s) { CharUpperA(s); }
void charLower(char* s) { CharLowerA(s); }

int compareNoCase(const char* a, const char* b) { return lstrcmpiA(a, b); }

}  // namespace plat
