// Kernel-object handles of the emulation (files, searches).
//
// A handle is a small number that is never a valid pointer: values come from
// one counter shared by every table, in steps of 4 like Windows kernel
// handles, so a find handle passed to closeFile is simply unknown there
// (error 6) instead of closing a file. Like Windows handles, values stay
// below 0x10000 (the album's commit message carries 16 bits of a handle):
// once the counter reaches that, closed values are given out again, lowest
// first.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "afm3_types.h"

namespace qwin {

uintptr_t nextHandleValue();
void releaseHandleValue(uintptr_t value);

template <typename T>
class HandleTable {
 public:
  HANDLE add(std::shared_ptr<T> object) {
    const uintptr_t value = nextHandleValue();
    std::lock_guard<std::mutex> lock(mutex_);
    objects_.emplace(value, std::move(object));
    return reinterpret_cast<HANDLE>(value);
  }
  std::shared_ptr<T> get(HANDLE handle) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    return it == objects_.end() ? nullptr : it->second;
  }
  std::shared_ptr<T> remove(HANDLE handle) {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = objects_.find(reinterpret_cast<uintptr_t>(handle));
    if (it == objects_.end()) return nullptr;
    std::shared_ptr<T> object = std::move(it->second);
    objects_.erase(it);
    releaseHandleValue(reinterpret_cast<uintptr_t>(handle));
    return object;
  }

 private:
  mutable std::mutex mutex_;
  std::map<uintptr_t, std::shared_ptr<T>> objects_;
};

}  // namespace qwin
