// File handles: CreateFile dispositions and share modes, reads and writes
// that honour other handles' byte-range locks, and the locks themselves.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <utility>
#include <vector>

#include "errors.h"
#include "fault_points.h"
#include "file_info.h"
#include "handles.h"
#include "memory_files.h"
#include "paths.h"
#include "platform.h"
#include "share_locks.h"

namespace qwin {

namespace {

// Access bits besides the generic ones that callers may pass through.
constexpr uint32_t kGenericAll = 0x10000000u;
constexpr uint32_t kFileReadData = 0x0001;
constexpr uint32_t kFileWriteData = 0x0002;
constexpr uint32_t kFileAppendData = 0x0004;
constexpr uint32_t kDeleteAccess = 0x00010000u;

struct LockedRange {
  uint64_t offset, length;
};

struct OpenFile {
  std::mutex mutex;
  int fd = -1;      // data
  int lockFd = -1;  // carries the OFD locks: fd itself when readable; -1 when none
  std::shared_ptr<MemoryFile> memory;  // instead of fd for a file on a memory drive
  bool canRead = false, canWrite = false;
  // False when this open shares neither reading nor writing: no other
  // handle with the read or write access a lock needs can exist while it
  // is open, so its reads and writes need not look for others' locks.
  bool othersMayLock = true;
  // While no other handle may write (this open denies write sharing), the
  // file's size changes only through this handle: it is kept here instead
  // of being asked for at every size query and seek to the end.
  bool sizeKnown = false;
  uint64_t knownSize = 0;
  // Such a file is read through a shared read-only mapping of it (the
  // page cache's own pages, so this handle's writes show at once): a read
  // is a copy instead of a system call. Only bytes below knownSize are
  // ever touched.
  const uint8_t* view = nullptr;
  size_t viewLength = 0;
  bool viewFailed = false;
  uint64_t position = 0;
  std::vector<LockedRange> ranges;  // this handle's lockFile ranges

  ~OpenFile() {
    if (view != nullptr) ::munmap(const_cast<uint8_t*>(view), viewLength);
    if (lockFd >= 0 && lockFd != fd) ::close(lockFd);
    if (fd >= 0) ::close(fd);
    if (memory) {
      // Closing a handle releases its locks.
      std::lock_guard<std::mutex> lock(memory->mutex);
      auto& locks = memory->locks;
      locks.erase(std::remove_if(locks.begin(), locks.end(),
                                 [this](const MemoryFile::Range& r) { return r.owner == this; }),
                  locks.end());
    }
  }
};

HandleTable<OpenFile>& files() {
  static auto* table = new HandleTable<OpenFile>;
  return *table;
}

std::shared_ptr<OpenFile> lookup(plat::FileHandle handle) {
  std::shared_ptr<OpenFile> file = files().get(handle);
  if (!file) setError(plat::kErrInvalidHandle);
  return file;
}

// The part of a range that lives in the OFD lock space of lockFile ranges.
std::pair<int64_t, int64_t> clipRange(uint64_t offset, uint64_t length) {
  const uint64_t limit = static_cast<uint64_t>(kRangeLockLimit);
  const uint64_t start = std::min(offset, limit);
  const uint64_t end = length > limit - start ? limit : start + length;
  return {static_cast<int64_t>(start), static_cast<int64_t>(end - start)};
}

bool rangeLockedByOther(const OpenFile& file, uint64_t offset, uint64_t length) {
  if (file.memory) {
    std::lock_guard<std::mutex> lock(file.memory->mutex);
    return file.memory->lockedByOther(&file, offset, length);
  }
  if (file.lockFd < 0 || length == 0 || !file.othersMayLock) return false;
  const auto [start, span] = clipRange(offset, length);
  return lockedByOther(file.lockFd, start, span);
}

// The size of a file as Windows reports it; false with the error.
bool currentSize(const OpenFile& file, uint64_t* size) {
  if (file.sizeKnown) {
    *size = file.knownSize;
    return true;
  }
  if (file.memory) {
    std::lock_guard<std::mutex> lock(file.memory->mutex);
    *size = file.memory->bytes.size();
    return true;
  }
  struct stat st {};
  if (::fstat(file.fd, &st) != 0) return failErrno();
  *size = static_cast<uint64_t>(st.st_size);
  return true;
}

// Maps at least the first `end` bytes of the file; false when the file
// is not read that way (then it is read with pread).
bool viewCovers(OpenFile& file, uint64_t end) {
  constexpr uint64_t kViewGrain = uint64_t{1} << 20;
  constexpr uint64_t kViewLimit = uint64_t{1} << 32;
  if (end <= file.viewLength) return true;
  if (!file.sizeKnown || !file.canRead || file.viewFailed || end > kViewLimit) return false;
  // Room to grow, so that a file being appended to is not mapped anew at
  // every read.
  const uint64_t length = std::min(kViewLimit, (end + end / 2 + kViewGrain) & ~(kViewGrain - 1));
  void* view = ::mmap(nullptr, length, PROT_READ, MAP_SHARED, file.fd, 0);
  if (view == MAP_FAILED) {
    file.viewFailed = true;
    return false;
  }
  if (file.view != nullptr) ::munmap(const_cast<uint8_t*>(file.view), file.viewLength);
  file.view = static_cast<const uint8_t*>(view);
  file.viewLength = length;
  return true;
}

// A read of a file whose size this handle knows, from its mapping; false
// when it must go to the file instead.
bool readFromView(OpenFile& file, void* buffer, uint32_t count, uint32_t* got) {
  if (!file.sizeKnown) return false;
  if (file.position >= file.knownSize) {
    *got = 0;
    return true;
  }
  const uint64_t end = std::min(file.position + count, file.knownSize);
  if (!viewCovers(file, end)) return false;
  *got = static_cast<uint32_t>(end - file.position);
  std::memcpy(buffer, file.view + file.position, *got);
  return true;
}

uint32_t readMemory(OpenFile& file, void* buffer, uint32_t count) {
  std::lock_guard<std::mutex> lock(file.memory->mutex);
  const std::vector<uint8_t>& bytes = file.memory->bytes;
  if (file.position >= bytes.size()) return 0;
  const uint32_t got =
      static_cast<uint32_t>(std::min<uint64_t>(count, bytes.size() - file.position));
  std::copy_n(bytes.begin() + static_cast<ptrdiff_t>(file.position), got,
              static_cast<uint8_t*>(buffer));
  return got;
}

// Writes past the end fill the gap with zeros, as a disk file does.
bool writeMemory(OpenFile& file, const void* buffer, uint32_t count) {
  std::lock_guard<std::mutex> lock(file.memory->mutex);
  std::vector<uint8_t>& bytes = file.memory->bytes;
  const uint64_t end = file.position + count;
  if (end >= 0xFFFFFFFFu) return fail(plat::kErrDiskFull);
  if (end > bytes.size()) bytes.resize(end);
  std::copy_n(static_cast<const uint8_t*>(buffer), count,
              bytes.begin() + static_cast<ptrdiff_t>(file.position));
  file.memory->lastWriteTime = plat::systemTimeAsFileTime();
  return true;
}

// CreateFile on a memory drive: the same dispositions and read-only rule,
// no share modes.
plat::FileHandle openMemoryFile(const MemoryPath& path, bool read, bool write, bool del,
                                plat::Disposition disposition, uint32_t attributes) {
  using plat::Disposition;
  if (!path.inRoot()) return failMissingMemoryFile(path), plat::invalidFile();
  std::shared_ptr<MemoryFile> memory = findMemoryFile(path);
  const bool existed = memory != nullptr;
  const bool truncates =
      disposition == Disposition::CreateAlways || disposition == Disposition::TruncateExisting;
  if (existed) {
    if (disposition == Disposition::CreateNew)
      return fail(plat::kErrFileExists), plat::invalidFile();
    const bool readOnly = (memory->attributes & plat::kAttrReadOnly) != 0;
    if (readOnly && (write || del || truncates))
      return fail(plat::kErrAccessDenied), plat::invalidFile();
    if (truncates) {
      std::lock_guard<std::mutex> lock(memory->mutex);
      memory->bytes.clear();
    }
  } else {
    if (disposition == Disposition::OpenExisting || disposition == Disposition::TruncateExisting)
      return fail(plat::kErrFileNotFound), plat::invalidFile();
    if (!checkNewName(Volume{}, path.win.parts.back())) return plat::invalidFile();
    memory = createMemoryFile(path);
    if (attributes & plat::kAttrReadOnly) memory->attributes |= plat::kAttrReadOnly;
  }
  auto file = std::make_shared<OpenFile>();
  file->memory = std::move(memory);
  file->canRead = read;
  file->canWrite = write;
  plat::FileHandle handle = files().add(std::move(file));
  const bool reportExisting = existed && (disposition == Disposition::CreateAlways ||
                                          disposition == Disposition::OpenAlways);
  setError(reportExisting ? plat::kErrAlreadyExists : plat::kErrSuccess);
  return handle;
}

int openFlags(bool read, bool write) {
  if (read && write) return O_RDWR;
  return write ? O_WRONLY : O_RDONLY;
}

}  // namespace

int hostDescriptor(HANDLE handle) {
  std::shared_ptr<OpenFile> file = files().get(handle);
  return file ? file->fd : -1;
}

}  // namespace qwin

namespace plat {

using faults::Op;
using faults::detail::Verdict;
using qwin::fail;

FileHandle invalidFile() { return INVALID_HANDLE_VALUE; }

FileHandle openFile(const char* path, uint32_t access, uint32_t shareMode, Disposition disposition,
                    uint32_t attributes) {
  const uint32_t how = static_cast<uint32_t>(disposition);
  if (how < 1 || how > 5) {
    fail(kErrInvalidParameter);
    return invalidFile();
  }
  const bool read = access & (kGenericRead | qwin::kGenericAll | qwin::kFileReadData);
  const bool write =
      access & (kGenericWrite | qwin::kGenericAll | qwin::kFileWriteData | qwin::kFileAppendData);
  const bool del = access & (qwin::kDeleteAccess | qwin::kGenericAll);
  if (disposition == Disposition::TruncateExisting && !write) {
    fail(kErrInvalidParameter);
    return invalidFile();
  }
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory))
    return qwin::openMemoryFile(memory, read, write, del, disposition, attributes);
  auto file = std::make_shared<qwin::OpenFile>();
  bool existed = false;
  for (int attempt = 0;; ++attempt) {
    qwin::Resolved r;
    if (!qwin::resolvePath(path, &r)) return invalidFile();
    existed = r.exists;
    // "name\" names a folder; as a file it is no valid name.
    if (r.win.trailingSeparator && !(r.exists && S_ISDIR(r.st.st_mode))) {
      fail(kErrInvalidName);
      return invalidFile();
    }
    if (r.exists) {
      if (S_ISDIR(r.st.st_mode)) {
        fail(kErrAccessDenied);
        return invalidFile();
      }
      if (disposition == Disposition::CreateNew) {
        fail(kErrFileExists);
        return invalidFile();
      }
      // The read-only attribute is the owner's write permission; it is
      // checked here because open(2) lets root write anyway.
      const bool readOnly = (r.st.st_mode & S_IWUSR) == 0;
      const bool truncates =
          disposition == Disposition::CreateAlways || disposition == Disposition::TruncateExisting;
      if (readOnly && (write || del || truncates)) {
        fail(kErrAccessDenied);
        return invalidFile();
      }
      file->fd = ::open(r.host.c_str(), qwin::openFlags(read, write) | O_CLOEXEC | O_NOCTTY);
      if (file->fd < 0) {
        qwin::failErrno();
        return invalidFile();
      }
    } else {
      if (disposition == Disposition::OpenExisting ||
          disposition == Disposition::TruncateExisting) {
        fail(kErrFileNotFound);
        return invalidFile();
      }
      if (r.isRoot() || !qwin::checkNewName(r.volume, r.lastName())) return invalidFile();
      const mode_t mode = (attributes & kAttrReadOnly) ? 0444 : 0666;
      file->fd =
          ::open(r.host.c_str(),
                 qwin::openFlags(read, write) | O_CREAT | O_EXCL | O_CLOEXEC | O_NOCTTY, mode);
      if (file->fd < 0) {
        // Created by someone else since the lookup: open it as existing.
        if (errno == EEXIST && attempt == 0) continue;
        qwin::failErrno();
        return invalidFile();
      }
    }
    struct stat st {};
    if (::fstat(file->fd, &st) != 0 || S_ISDIR(st.st_mode)) {
      fail(kErrAccessDenied);
      return invalidFile();
    }
    file->canRead = read;
    file->canWrite = write;
    // Share slots are read locks, which need a readable descriptor.
    const bool readable = read || !write;
    file->lockFd = readable ? file->fd : ::open(r.host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    // Replacing an existing file writes it, whatever access the open asks
    // for: a handle that denies write sharing keeps it from happening.
    const bool replaces = existed && (disposition == Disposition::CreateAlways ||
                                      disposition == Disposition::TruncateExisting);
    if (file->lockFd >= 0 && (read || write || del || replaces)) {
      qwin::ShareRequest request;
      request.read = read;
      request.write = write || replaces;
      request.del = del;
      request.shareRead = shareMode & kShareRead;
      request.shareWrite = shareMode & kShareWrite;
      request.shareDelete = shareMode & kShareDelete;
      qwin::ShareGate gate(file->lockFd);
      if (!qwin::claimShareSlots(file->lockFd, request)) return invalidFile();
      file->othersMayLock = request.shareRead || request.shareWrite;
      file->sizeKnown = !request.shareWrite;
      file->knownSize = static_cast<uint64_t>(st.st_size);
    }
    if (replaces) {
      const int rc = write ? ::ftruncate(file->fd, 0) : ::truncate(r.host.c_str(), 0);
      if (rc != 0) {
        qwin::failErrno();
        return invalidFile();
      }
      file->knownSize = 0;
    }
    break;
  }
  FileHandle handle = qwin::files().add(std::move(file));
  const bool reportExisting = existed && (disposition == Disposition::CreateAlways ||
                                          disposition == Disposition::OpenAlways);
  qwin::setError(reportExisting ? kErrAlreadyExists : kErrSuccess);
  return handle;
}

bool closeFile(FileHandle handle) {
  std::shared_ptr<qwin::OpenFile> file = qwin::files().remove(handle);
  if (!file) return fail(kErrInvalidHandle);
  return true;
}

bool readFile(FileHandle handle, void* buffer, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  if (faults::detail::check(Op::Read) == Verdict::Fail) return false;
  auto file = qwin::lookup(handle);
  if (!file) return false;
  std::lock_guard<std::mutex> lock(file->mutex);
  if (!file->canRead) return fail(kErrAccessDenied);
  if (count > 0 && buffer == nullptr) return fail(kErrInvalidParameter);
  if (qwin::rangeLockedByOther(*file, file->position, count)) return fail(kErrLockViolation);
  if (file->memory) {
    const uint32_t got = qwin::readMemory(*file, buffer, count);
    file->position += got;
    if (done) *done = got;
    return true;
  }
  uint32_t got = 0;
  if (qwin::readFromView(*file, buffer, count, &got)) {
    file->position += got;
    if (done) *done = got;
    return true;
  }
  while (got < count) {
    const ssize_t n = ::pread(file->fd, static_cast<char*>(buffer) + got, count - got,
                              static_cast<off_t>(file->position + got));
    if (n == 0) break;  // end of file: success with fewer bytes
    if (n < 0) {
      if (errno == EINTR) continue;
      file->position += got;
      if (done) *done = got;
      return qwin::failErrno();
    }
    got += static_cast<uint32_t>(n);
  }
  file->position += got;
  if (done) *done = got;
  return true;
}

bool writeFile(FileHandle handle, const void* buffer, uint32_t count, uint32_t* done) {
  if (done) *done = 0;
  if (const Verdict v = faults::detail::check(Op::Write); v != Verdict::Proceed) {
    if (v == Verdict::Discard && done) *done = count;
    return faults::detail::decidedResult(v);
  }
  auto file = qwin::lookup(handle);
  if (!file) return false;
  std::lock_guard<std::mutex> lock(file->mutex);
  if (!file->canWrite) return fail(kErrAccessDenied);
  if (count > 0 && buffer == nullptr) return fail(kErrInvalidParameter);
  if (qwin::rangeLockedByOther(*file, file->position, count)) return fail(kErrLockViolation);
  if (file->memory) {
    if (!qwin::writeMemory(*file, buffer, count)) return false;
    file->position += count;
    if (done) *done = count;
    return true;
  }
  uint32_t put = 0;
  while (put < count) {
    const ssize_t n = ::pwrite(file->fd, static_cast<const char*>(buffer) + put, count - put,
                               static_cast<off_t>(file->position + put));
    if (n <= 0) {
      if (n < 0 && errno == EINTR) continue;
      const int err = n == 0 ? ENOSPC : errno;
      // What a failed write left is not known: ask the file from now on.
      file->sizeKnown = false;
      file->position += put;
      if (done) *done = put;
      return fail(qwin::errorFromErrno(err));
    }
    put += static_cast<uint32_t>(n);
  }
  file->knownSize = std::max(file->knownSize, file->position + put);
  file->position += put;
  if (done) *done = put;
  return true;
}

uint32_t seekFile(FileHandle handle, int64_t distance, SeekFrom from) {
  constexpr uint32_t kFailed = 0xFFFFFFFFu;
  if (faults::detail::check(Op::Seek) == Verdict::Fail) return kFailed;
  auto file = qwin::lookup(handle);
  if (!file) return kFailed;
  std::lock_guard<std::mutex> lock(file->mutex);
  int64_t base = 0;
  switch (from) {
    case SeekFrom::Begin:
      base = 0;
      break;
    case SeekFrom::Current:
      base = static_cast<int64_t>(file->position);
      break;
    case SeekFrom::End: {
      uint64_t size = 0;
      if (!qwin::currentSize(*file, &size)) return kFailed;
      base = static_cast<int64_t>(size);
      break;
    }
    default:
      return fail(kErrInvalidParameter), kFailed;
  }
  int64_t target = 0;
  if (__builtin_add_overflow(base, distance, &target)) return fail(kErrInvalidParameter), kFailed;
  if (target < 0) return fail(kErrNegativeSeek), kFailed;
  // Without a high part the position must fit in 32 bits (and not be the
  // failure value).
  if (target >= static_cast<int64_t>(kFailed)) return fail(kErrInvalidParameter), kFailed;
  file->position = static_cast<uint64_t>(target);
  qwin::setError(kErrSuccess);
  return static_cast<uint32_t>(target);
}

uint32_t fileSize(FileHandle handle) {
  auto file = qwin::lookup(handle);
  if (!file) return 0xFFFFFFFFu;
  std::lock_guard<std::mutex> lock(file->mutex);
  uint64_t size = 0;
  if (!qwin::currentSize(*file, &size)) return 0xFFFFFFFFu;
  qwin::setError(kErrSuccess);
  return static_cast<uint32_t>(size);
}

bool flushFile(FileHandle handle) {
  auto file = qwin::lookup(handle);
  if (!file) return false;
  if (!file->canWrite) return fail(kErrAccessDenied);
  if (file->memory) return true;
  if (::fsync(file->fd) != 0) return qwin::failErrno();
  return true;
}

bool setEndOfFile(FileHandle handle) {
  if (const Verdict v = faults::detail::check(Op::Write); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  auto file = qwin::lookup(handle);
  if (!file) return false;
  std::lock_guard<std::mutex> lock(file->mutex);
  if (!file->canWrite) return fail(kErrAccessDenied);
  if (file->memory) {
    if (file->position >= 0xFFFFFFFFu) return fail(kErrDiskFull);
    std::lock_guard<std::mutex> memoryLock(file->memory->mutex);
    file->memory->bytes.resize(file->position);
    return true;
  }
  if (::ftruncate(file->fd, static_cast<off_t>(file->position)) != 0) {
    file->sizeKnown = false;
    return qwin::failErrno();
  }
  file->knownSize = file->position;
  return true;
}

bool lockFile(FileHandle handle, uint64_t offset, uint64_t length) {
  if (faults::detail::check(Op::Lock) == Verdict::Fail) return false;
  auto file = qwin::lookup(handle);
  if (!file) return false;
  std::lock_guard<std::mutex> lock(file->mutex);
  if (!file->canRead && !file->canWrite) return fail(kErrAccessDenied);
  uint64_t end = 0;
  if (__builtin_add_overflow(offset, length, &end)) return fail(kErrInvalidParameter);
  // Windows locks never overlap, not even two of the same handle.
  for (const qwin::LockedRange& held : file->ranges)
    if (length > 0 && held.length > 0 && offset < held.offset + held.length && held.offset < end)
      return fail(kErrLockViolation);
  if (file->memory) {
    std::lock_guard<std::mutex> memoryLock(file->memory->mutex);
    if (file->memory->lockedByOther(file.get(), offset, length)) return fail(kErrLockViolation);
    file->memory->locks.push_back({file.get(), offset, length});
  }
  const auto [start, span] = qwin::clipRange(offset, length);
  if (file->lockFd >= 0 && span > 0) {
    qwin::ShareGate gate(file->lockFd);
    if (qwin::lockedByOther(file->lockFd, start, span)) return fail(kErrLockViolation);
    if (!qwin::takeSharedLock(file->lockFd, start, span)) return qwin::failErrno();
  }
  file->ranges.push_back({offset, length});
  return true;
}

bool locksBindReadsAndWrites() { return true; }

bool unlockFile(FileHandle handle, uint64_t offset, uint64_t length) {
  auto file = qwin::lookup(handle);
  if (!file) return false;
  std::lock_guard<std::mutex> lock(file->mutex);
  auto it = std::find_if(file->ranges.begin(), file->ranges.end(), [&](const qwin::LockedRange& r) {
    return r.offset == offset && r.length == length;
  });
  if (it == file->ranges.end()) return fail(kErrNotLocked);
  file->ranges.erase(it);
  if (file->memory) {
    std::lock_guard<std::mutex> memoryLock(file->memory->mutex);
    auto& locks = file->memory->locks;
    locks.erase(std::find_if(locks.begin(), locks.end(), [&](const qwin::MemoryFile::Range& r) {
      return r.owner == file.get() && r.offset == offset && r.length == length;
    }));
  }
  const auto [start, span] = qwin::clipRange(offset, length);
  // Ranges of one handle never overlap, so this releases exactly this one.
  if (file->lockFd >= 0 && span > 0) qwin::dropLock(file->lockFd, start, span);
  return true;
}

bool fileTimes(FileHandle handle, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite) {
  auto file = qwin::lookup(handle);
  if (!file) return false;
  if (file->memory) {
    std::lock_guard<std::mutex> memoryLock(file->memory->mutex);
    if (creation) *creation = file->memory->creationTime;
    if (lastAccess) *lastAccess = file->memory->lastWriteTime;
    if (lastWrite) *lastWrite = file->memory->lastWriteTime;
    return true;
  }
  struct statx sx {};
  if (::statx(file->fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0)
    return qwin::failErrno();
  auto toTimespec = [](const struct statx_timestamp& t) {
    struct timespec ts {};
    ts.tv_sec = t.tv_sec;
    ts.tv_nsec = t.tv_nsec;
    return ts;
  };
  const bool hasBirth = (sx.stx_mask & STATX_BTIME) != 0;
  if (creation) *creation = qwin::fileTimeOf(toTimespec(hasBirth ? sx.stx_btime : sx.stx_mtime));
  if (lastAccess) *lastAccess = qwin::fileTimeOf(toTimespec(sx.stx_atime));
  if (lastWrite) *lastWrite = qwin::fileTimeOf(toTimespec(sx.stx_mtime));
  return true;
}

}  // namespace plat
