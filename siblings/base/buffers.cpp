// Buffers the sibling libraries hand out.
//
// The image-conversion library returns global-heap blocks, sometimes as the
// block's handle and sometimes as the pointer of a locked block; callers
// give back whichever they were given.
#include "platform.h"
#include "q32base.h"

extern "C" {

void buf32Free(void* buffer) {
  if (buffer == nullptr) return;
  // A pointer of a block maps to its handle; a handle is taken as it is.
  HGLOBAL block = plat::globalHandle(buffer);
  if (block == nullptr) block = static_cast<HGLOBAL>(buffer);
  if (plat::globalFree(block) == nullptr) return;
  // Still locked by its producer: drop the lock and free again.
  plat::globalUnlock(block);
  plat::globalFree(block);
}

}  // extern "C"
