// A process-wide table of fixed-size entries in one movable global-heap
// block that grows by a fixed step and never shrinks. New entries are zero
// (entries are plain data: zero means free).
#pragma once

#include <cstddef>
#include <cstring>
#include <type_traits>

#include "platform.h"

namespace afm3 {

template <typename Entry>
class GrowableTable {
  static_assert(std::is_trivially_copyable_v<Entry>, "entries live in raw heap memory");

 public:
  constexpr explicit GrowableTable(size_t growthStep) : step_(growthStep) {}
  GrowableTable(const GrowableTable&) = delete;
  GrowableTable& operator=(const GrowableTable&) = delete;
  ~GrowableTable() { release(); }

  // Allocates the first step of zero-filled entries; false when the heap
  // refuses.
  bool create() {
    release();
    block_ = plat::globalAlloc(plat::kGhnd, step_ * sizeof(Entry));
    if (block_ == nullptr) return false;
    entries_ = static_cast<Entry*>(plat::globalLock(block_));
    if (entries_ == nullptr) {
      release();
      return false;
    }
    capacity_ = step_;
    return true;
  }

  // Grows by one step, keeping the entries; false (table unchanged) when
  // the heap refuses.
  bool grow() {
    if (block_ == nullptr) return create();
    plat::globalUnlock(block_);
    const size_t newCapacity = capacity_ + step_;
    HGLOBAL grown = plat::globalReAlloc(block_, newCapacity * sizeof(Entry), plat::kGhnd);
    if (grown == nullptr) {
      entries_ = static_cast<Entry*>(plat::globalLock(block_));
      return false;
    }
    block_ = grown;
    entries_ = static_cast<Entry*>(plat::globalLock(block_));
    std::memset(static_cast<void*>(entries_ + capacity_), 0, step_ * sizeof(Entry));
    capacity_ = newCapacity;
    return true;
  }

  void release() {
    if (block_ != nullptr) {
      plat::globalUnlock(block_);
      plat::globalFree(block_);
    }
    block_ = nullptr;
    entries_ = nullptr;
    capacity_ = 0;
  }

  bool exists() const { return entries_ != nullptr; }
  size_t capacity() const { return capacity_; }
  Entry& operator[](size_t i) { return entries_[i]; }
  const Entry& operator[](size_t i) const { return entries_[i]; }

 private:
  size_t step_;
  HGLOBAL block_ = nullptr;
  Entry* entries_ = nullptr;
  size_t capacity_ = 0;
};

}  // namespace afm3
