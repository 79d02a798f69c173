#include "share_locks.h"

#include <fcntl.h>
#include <sys/file.h>

#include <cerrno>

#include "errors.h"
#include "platform.h"

namespace qwin {

ShareGate::ShareGate(int fd) : fd_(fd) {
  while (::flock(fd_, LOCK_EX) != 0 && errno == EINTR) {
  }
}

ShareGate::~ShareGate() { ::flock(fd_, LOCK_UN); }

namespace {
struct flock lockRecord(short type, int64_t start, int64_t length) {
  struct flock fl {};
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = start;
  fl.l_len = length;
  fl.l_pid = 0;  // required by the OFD commands
  return fl;
}
}  // namespace

bool lockedByOther(int fd, int64_t start, int64_t length) {
  if (length <= 0) return false;
  struct flock fl = lockRecord(F_WRLCK, start, length);
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

bool takeSharedLock(int fd, int64_t start, int64_t length) {
  struct flock fl = lockRecord(F_RDLCK, start, length);
  return ::fcntl(fd, F_OFD_SETLK, &fl) == 0;
}

void dropLock(int fd, int64_t start, int64_t length) {
  struct flock fl = lockRecord(F_UNLCK, start, length);
  ::fcntl(fd, F_OFD_SETLK, &fl);
}

namespace {
bool slotTaken(int fd, ShareSlot slot) { return lockedByOther(fd, kShareSlotBase + slot, 1); }
}  // namespace

bool claimShareSlots(int fd, const ShareRequest& q) {
  // A new open conflicts when it wants an access some open does not share,
  // or when it refuses to share an access some open already has.
  const bool conflict =
      (q.read && slotTaken(fd, kDenyRead)) || (q.write && slotTaken(fd, kDenyWrite)) ||
      (q.del && slotTaken(fd, kDenyDelete)) || (!q.shareRead && slotTaken(fd, kHasRead)) ||
      (!q.shareWrite && slotTaken(fd, kHasWrite)) || (!q.shareDelete && slotTaken(fd, kHasDelete));
  if (conflict) return fail(plat::kErrSharingViolation);
  const struct {
    bool wanted;
    ShareSlot slot;
  } slots[] = {{q.read, kHasRead},          {q.write, kHasWrite},
               {q.del, kHasDelete},         {!q.shareRead, kDenyRead},
               {!q.shareWrite, kDenyWrite}, {!q.shareDelete, kDenyDelete}};
  for (const auto& s : slots)
    if (s.wanted && !takeSharedLock(fd, kShareSlotBase + s.slot, 1)) return failErrno();
  return true;
}

bool deleteRefused(int fd) { return slotTaken(fd, kDenyDelete); }

}  // namespace qwin
