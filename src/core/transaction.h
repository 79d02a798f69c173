// Write transactions. An album open with write sharing is locked as a whole
// for every change, then unlocked, committed to disk, and its host told
// that the file handle may have changed. An album open without write
// sharing is never locked, committed or announced by a transaction.
#pragma once

#include <cstdint>

#include "core/error_report.h"

namespace afm3 {

// The whole-file lock range.
constexpr uint64_t kLockOffset = 0;
constexpr uint64_t kLockLength = 0xFFFFFFFFu;

// Starts a change of the album in slotIndex. Returns 0, or the Windows
// error of a lock that could not be taken (reported). status receives 1
// when the album is open without write sharing, else 0.
uint32_t beginUpdate(int slotIndex, uint32_t* status);
// Ends it: unless status is 1 or an explicit lock is held, unlocks,
// commits and notifies the host.
void endUpdate(int slotIndex, uint32_t status);

// Runs beginUpdate now and endUpdate when it goes out of scope. When the
// lock cannot be taken the failure is reported again as a system error
// with the operation's own location, and ok() is false.
// Under write sharing the slot is then brought in step with the file
// (syncWithFile), unless the caller asks to do that itself.
class WriteTransaction {
 public:
  enum class Sync { Now, ByCaller };
  WriteTransaction(int slotIndex, Location where, uint32_t step, Sync sync = Sync::Now);
  ~WriteTransaction();
  WriteTransaction(const WriteTransaction&) = delete;
  WriteTransaction& operator=(const WriteTransaction&) = delete;
  bool ok() const { return begun_; }

 private:
  int slotIndex_;
  uint32_t status_ = 0;
  bool begun_ = false;
};

// The registered window message that announces a commit.
uint32_t notificationMessage();

}  // namespace afm3
