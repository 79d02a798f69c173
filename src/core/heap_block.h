// Blocks of the Windows global heap, movable and zero-filled, kept locked
// while the library uses them. Allocation failures come back as null so
// the caller can report them (the library never throws).
#pragma once

#include <cstddef>
#include <cstdint>

#include "afm3_types.h"

namespace afm3 {

// A locked, zero-filled block of size bytes (at least one byte is
// allocated), or null.
uint8_t* allocateLocked(size_t size);
// Unlocks and frees a block from allocateLocked, and nulls the pointer.
void freeLocked(uint8_t*& block);
template <typename T>
void freeLockedAs(T*& block) {
  uint8_t* bytes = reinterpret_cast<uint8_t*>(block);
  freeLocked(bytes);
  block = nullptr;
}
// The size of a block from allocateLocked.
size_t lockedSize(const uint8_t* block);

// A movable block for a caller: unlocked handle, or null.
HGLOBAL allocateForCaller(const void* bytes, size_t size);

// Owns a locked block until it is released or the owner goes out of scope.
class LockedBlock {
 public:
  LockedBlock() = default;
  explicit LockedBlock(size_t size) : p_(allocateLocked(size)) {}
  ~LockedBlock() { freeLocked(p_); }
  LockedBlock(const LockedBlock&) = delete;
  LockedBlock& operator=(const LockedBlock&) = delete;
  LockedBlock(LockedBlock&& other) noexcept : p_(other.p_) { other.p_ = nullptr; }

  bool allocate(size_t size) {
    freeLocked(p_);
    p_ = allocateLocked(size);
    return p_ != nullptr;
  }
  uint8_t* get() const { return p_; }
  explicit operator bool() const { return p_ != nullptr; }
  // Hands the block over (still locked) to a new owner.
  uint8_t* release() {
    uint8_t* p = p_;
    p_ = nullptr;
    return p;
  }

 private:
  uint8_t* p_ = nullptr;
};

// A movable, zero-filled block made for a caller: locked while the library
// fills it, freed unless it is handed over.
class CallerBlock {
 public:
  CallerBlock() = default;
  explicit CallerBlock(size_t size) { allocate(size); }
  ~CallerBlock() { reset(); }
  CallerBlock(const CallerBlock&) = delete;
  CallerBlock& operator=(const CallerBlock&) = delete;

  bool allocate(size_t size);
  // Takes over a block made elsewhere (locks it).
  bool adopt(HGLOBAL handle);
  // Changes the size, keeping the bytes that stay (new bytes are zero); the
  // block may move, so earlier pointers into it are stale afterwards.
  bool resize(size_t size);
  uint8_t* bytes() const { return bytes_; }
  size_t size() const;
  void reset();
  // The block's handle (still locked and owned here), for calls that take
  // a handle.
  HGLOBAL handle() const { return handle_; }
  // Hands the block over unlocked, as a handle.
  HGLOBAL releaseHandle();
  // Hands the block over still locked, as a pointer into it.
  uint8_t* releaseLocked();

 private:
  HGLOBAL handle_ = nullptr;
  uint8_t* bytes_ = nullptr;
};

}  // namespace afm3
