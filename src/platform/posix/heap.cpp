// The Windows global heap: fixed blocks (the handle is the pointer) and
// movable blocks (a handle that is never a pointer, a lock count, and a
// block that moves whenever it is reallocated while unlocked, so code that
// keeps a pointer across GlobalReAlloc fails under the sanitizers).
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "afm3_compat.h"
#include "errors.h"
#include "platform.h"

namespace qwin {

namespace {

constexpr uint32_t kGmemDiscarded = 0x4000;
constexpr uint32_t kGmemInvalidHandle = 0x8000;
constexpr uint32_t kErrDiscarded = 157;
// A 32-bit process never gets a single block this large; refusing it keeps
// absurd sizes from reaching the allocator.
constexpr size_t kLargestBlock = 0x7FFFFFFF;

struct Block {
  uintptr_t handle = 0;  // movable: the handle; fixed: the pointer
  char* data = nullptr;  // null while a movable block is discarded
  size_t size = 0;
  uint32_t lockCount = 0;  // movable blocks only
  bool movable = false;
};

struct Heap {
  std::mutex mutex;
  std::map<uintptr_t, Block*> byHandle;
  std::map<uintptr_t, Block*> byData;
  // Movable handles are 4 modulo 16: never the address of a heap block.
  uintptr_t nextMovable = 0x10004;
};

Heap& heap() {
  static auto* h = new Heap;
  return *h;
}

Block* find(Heap& h, HGLOBAL mem) {
  auto it = h.byHandle.find(reinterpret_cast<uintptr_t>(mem));
  return it == h.byHandle.end() ? nullptr : it->second;
}

char* allocate(size_t bytes, bool zero) {
  const size_t n = bytes == 0 ? 1 : bytes;
  return static_cast<char*>(zero ? std::calloc(1, n) : std::malloc(n));
}

void attach(Heap& h, Block* block) {
  h.byHandle[block->handle] = block;
  if (block->data) h.byData[reinterpret_cast<uintptr_t>(block->data)] = block;
}

void detachData(Heap& h, Block* block) {
  if (block->data) h.byData.erase(reinterpret_cast<uintptr_t>(block->data));
}

}  // namespace

}  // namespace qwin

extern "C" {

HGLOBAL GlobalAlloc(UINT flags, SIZE_T bytes) {
  if (bytes > qwin::kLargestBlock) return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
  auto* block = new qwin::Block;
  block->movable = (flags & GMEM_MOVEABLE) != 0;
  block->size = bytes;
  // A movable block of no bytes starts out discarded, as on Windows.
  if (!block->movable || bytes > 0) {
    block->data = qwin::allocate(bytes, (flags & GMEM_ZEROINIT) != 0);
    if (block->data == nullptr) {
      delete block;
      return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
    }
  }
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  if (block->movable) {
    block->handle = h.nextMovable;
    h.nextMovable += 16;
  } else {
    block->handle = reinterpret_cast<uintptr_t>(block->data);
  }
  qwin::attach(h, block);
  return reinterpret_cast<HGLOBAL>(block->handle);
}

LPVOID GlobalLock(HGLOBAL mem) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  qwin::Block* block = qwin::find(h, mem);
  if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle), nullptr;
  if (!block->movable) return block->data;
  if (block->data == nullptr) return qwin::fail(qwin::kErrDiscarded), nullptr;
  ++block->lockCount;
  return block->data;
}

BOOL GlobalUnlock(HGLOBAL mem) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  qwin::Block* block = qwin::find(h, mem);
  if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle);
  if (!block->movable) return TRUE;
  if (block->lockCount == 0) return qwin::fail(plat::kErrNotLocked);
  if (--block->lockCount > 0) return TRUE;
  qwin::setError(plat::kErrSuccess);
  return FALSE;
}

HGLOBAL GlobalReAlloc(HGLOBAL mem, SIZE_T bytes, UINT flags) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  qwin::Block* block = qwin::find(h, mem);
  if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle), nullptr;
  if (flags & GMEM_MODIFY) {
    // Only the flags change; a fixed block may become movable.
    if ((flags & GMEM_MOVEABLE) && !block->movable) {
      h.byHandle.erase(block->handle);
      block->movable = true;
      block->handle = h.nextMovable;
      h.nextMovable += 16;
      h.byHandle[block->handle] = block;
    }
    return reinterpret_cast<HGLOBAL>(block->handle);
  }
  if (bytes > qwin::kLargestBlock) return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
  if (block->movable && bytes == 0) {
    // Reallocating a movable block to nothing discards it.
    if (block->lockCount > 0) return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
    qwin::detachData(h, block);
    std::free(block->data);
    block->data = nullptr;
    block->size = 0;
    return reinterpret_cast<HGLOBAL>(block->handle);
  }
  // A fixed or locked block stays where it is unless the caller allows a
  // move; in place it can only shrink.
  const bool pinned = block->movable ? block->lockCount > 0 : true;
  if (pinned && !(flags & GMEM_MOVEABLE) && block->data != nullptr) {
    if (bytes > block->size) return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
    block->size = bytes;
    return reinterpret_cast<HGLOBAL>(block->handle);
  }
  char* moved = qwin::allocate(bytes, false);
  if (moved == nullptr) return qwin::fail(plat::kErrNotEnoughMemory), nullptr;
  const size_t kept = block->size < bytes ? block->size : bytes;
  if (kept > 0) std::memcpy(moved, block->data, kept);
  if (bytes > kept) {
    if (flags & GMEM_ZEROINIT) {
      std::memset(moved + kept, 0, bytes - kept);
    }
  }
  qwin::detachData(h, block);
  std::free(block->data);
  block->data = moved;
  block->size = bytes;
  h.byData[reinterpret_cast<uintptr_t>(moved)] = block;
  if (!block->movable) {
    h.byHandle.erase(block->handle);
    block->handle = reinterpret_cast<uintptr_t>(moved);
    h.byHandle[block->handle] = block;
  }
  return reinterpret_cast<HGLOBAL>(block->handle);
}

SIZE_T GlobalSize(HGLOBAL mem) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  qwin::Block* block = qwin::find(h, mem);
  if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle), 0;
  return block->size;
}

HGLOBAL GlobalHandle(LPCVOID pointer) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  auto it = h.byData.find(reinterpret_cast<uintptr_t>(pointer));
  if (it == h.byData.end()) return qwin::fail(plat::kErrInvalidHandle), nullptr;
  return reinterpret_cast<HGLOBAL>(it->second->handle);
}

HGLOBAL GlobalFree(HGLOBAL mem) {
  if (mem == nullptr) return nullptr;
  qwin::Heap& h = qwin::heap();
  qwin::Block* block = nullptr;
  {
    std::lock_guard<std::mutex> lock(h.mutex);
    block = qwin::find(h, mem);
    if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle), mem;
    // Freeing a locked block is allowed, as on Windows NT.
    h.byHandle.erase(block->handle);
    qwin::detachData(h, block);
  }
  std::free(block->data);
  delete block;
  return nullptr;
}

SIZE_T qwinTestGlobalBlockCount(void) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  return h.byHandle.size();
}

UINT GlobalFlags(HGLOBAL mem) {
  qwin::Heap& h = qwin::heap();
  std::lock_guard<std::mutex> lock(h.mutex);
  qwin::Block* block = qwin::find(h, mem);
  if (block == nullptr) return qwin::fail(plat::kErrInvalidHandle), qwin::kGmemInvalidHandle;
  if (!block->movable) return 0;
  return (block->lockCount & 0xFF) | (block->data == nullptr ? qwin::kGmemDiscarded : 0);
}

}  // extern "C"
