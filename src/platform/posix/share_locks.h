// Windows share modes and byte-range locks on top of open-file-description
// (OFD) locks, so they hold between handles of one process and between
// processes alike.
//
// Layout of the lock space of a file:
//   [0, 2^62)            byte-range locks of lockFile, one shared OFD lock
//                        per locked range (ranges are clipped there)
//   2^62 + kHas*         held (shared) by every open with that access
//   2^62 + kDeny*        held (shared) by every open whose share mode does
//                        not allow that access to others
// Every lock is a read lock; conflicts are found by probing with a write
// lock (F_OFD_GETLK), which reports any lock of another open description.
// Probe-then-take sequences run under flock() of the file, the "gate",
// held only for those few calls.
#pragma once

#include <cstdint>

namespace qwin {

constexpr int64_t kShareSlotBase = int64_t{1} << 62;
constexpr int64_t kRangeLockLimit = kShareSlotBase;

enum ShareSlot : int64_t {
  kHasRead = 1,
  kHasWrite = 2,
  kHasDelete = 3,
  kDenyRead = 4,
  kDenyWrite = 5,
  kDenyDelete = 6,
};

// flock() held for the lifetime of the object.
class ShareGate {
 public:
  explicit ShareGate(int fd);
  ~ShareGate();
  ShareGate(const ShareGate&) = delete;
  ShareGate& operator=(const ShareGate&) = delete;

 private:
  int fd_;
};

// Whether an open description other than fd's holds a lock overlapping
// [start, start + length).
bool lockedByOther(int fd, int64_t start, int64_t length);
bool takeSharedLock(int fd, int64_t start, int64_t length);
void dropLock(int fd, int64_t start, int64_t length);

struct ShareRequest {
  bool read = false, write = false, del = false;                    // access wanted
  bool shareRead = false, shareWrite = false, shareDelete = false;  // allowed to others
};

// Checks the request against every other open of the file and, when it is
// compatible, records it. Must run under the gate. false with error 32 on
// a conflict.
bool claimShareSlots(int fd, const ShareRequest& request);
// Whether some open of the file (other than fd's) refuses to share delete
// access, which makes deleting or renaming the file fail.
bool deleteRefused(int fd);

}  // namespace qwin
