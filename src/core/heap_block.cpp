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

bool CallerBlock::allocate(size_t size) {
  reset();
  handle_ = plat::globalAlloc(plat::kGhnd, size == 0 ? 1 : size);
  if (handle_ == nullptr) return false;
  bytes_ = static_cast<uint8_t*>(plat::globalLock(handle_));
  if (bytes_ == nullptr) reset();
  return bytes_ != nullptr;
}

bool CallerBlock::adopt(HGLOBAL handle) {
  reset();
  handle_ = handle;
  bytes_ = handle != nullptr ? static_cast<uint8_t*>(plat::globalLock(handle)) : nullptr;
  if (bytes_ == nullptr) reset();
  return bytes_ != nullptr;
}

bool CallerBlock::resize(size_t size) {
  if (handle_ == nullptr) return allocate(size);
  // Unlocked, the block may move to its new size.
  plat::globalUnlock(handle_);
  bytes_ = nullptr;
  HGLOBAL resized =
      plat::globalReAlloc(handle_, size == 0 ? 1 : size, plat::kGmemMoveable | plat::kGmemZeroInit);
  if (resized != nullptr) handle_ = resized;
  bytes_ = static_cast<uint8_t*>(plat::globalLock(handle_));
  return resized != nullptr && bytes_ != nullptr;
}

size_t CallerBlock::size() const { return handle_ != nullptr ? plat::globalSize(handle_) : 0; }

void CallerBlock::reset() {
  if (handle_ == nullptr) return;
  if (bytes_ != nullptr) plat::globalUnlock(handle_);
  plat::globalFree(handle_);
  handle_ = nullptr;
  bytes_ = nullptr;
}

HGLOBAL CallerBlock::releaseHandle() {
  if (bytes_ != nullptr) plat::globalUnlock(handle_);
  HGLOBAL handle = handle_;
  handle_ = nullptr;
  bytes_ = nullptr;
  return handle;
}

uint8_t* CallerBlock::releaseLocked() {
  uint8_t* bytes = bytes_;
  handle_ = nullptr;
  bytes_ = nullptr;
  return bytes;
}

}  // namespace afm3
