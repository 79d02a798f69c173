#include "core/heap_block.h"

#include <cstring>

#include "platform.h"

namespace afm3 {

uint8_t* allocateLocked(size_t size) {
  HGLOBAL handle = plat::globalAlloc(plat::kGhnd, size == 0 ? 1 : size);
  if (handle == nullptr) return nullptr;
  auto* p = static_cast<uint8_t*>(plat::globalLock(handle));
  if (p == nullptr) plat::globalFree(handle);
  return p;
}

void freeLocked(uint8_t*& block) {
  if (block == nullptr) return;
  HGLOBAL handle = plat::globalHandle(block);
  if (handle != nullptr) {
    plat::globalUnlock(handle);
    plat::globalFree(handle);
  }
  block = nullptr;
}

size_t lockedSize(const uint8_t* block) {
  HGLOBAL handle = block == nullptr ? nullptr : plat::globalHandle(block);
  return handle == nullptr ? 0 : plat::globalSize(handle);
}

HGLOBAL allocateForCaller(const void* bytes, size_t size) {
  HGLOBAL handle = plat::globalAlloc(plat::kGhnd, size == 0 ? 1 : size);
  if (handle == nullptr) return nullptr;
  if (bytes != nullptr && size > 0) {
    void* p = plat::globalLock(handle);
    if (p == nullptr) {
      plat::globalFree(handle);
      return nullptr;
    }
    std::memcpy(p, bytes, size);
    plat::globalUnlock(handle);
  }
  return handle;
}

}  // namespace afm3
