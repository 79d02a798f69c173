// The global heap is the Windows one: handles, lock counts and moveable
// blocks are exactly what GlobalAlloc and friends provide.
#include "platform.h"

namespace plat {

HGLOBAL globalAlloc(uint32_t flags, size_t bytes) { return GlobalAlloc(flags, bytes); }
void* globalLock(HGLOBAL mem) { return GlobalLock(mem); }

// False both on failure and when the lock count reaches zero; the last
// error tells them apart (0 for the latter).
bool globalUnlock(HGLOBAL mem) { return GlobalUnlock(mem) != FALSE; }

HGLOBAL globalReAlloc(HGLOBAL mem, size_t bytes, uint32_t flags) {
  return GlobalReAlloc(mem, bytes, flags);
}

size_t globalSize(HGLOBAL mem) { return GlobalSize(mem); }
HGLOBAL globalHandle(const void* pointer) { return GlobalHandle(pointer); }
HGLOBAL globalFree(HGLOBAL mem) { return GlobalFree(mem); }

}  // namespace plat
