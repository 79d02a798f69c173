// Operations on files and folders by path: delete, move, copy, attributes,
// folders.
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <vector>

#include "errors.h"
#include "fault_points.h"
#include "file_info.h"
#include "memory_files.h"
#include "paths.h"
#include "platform.h"
#include "share_locks.h"

namespace qwin {

uint32_t attributesOf(const struct stat& st) {
  if (S_ISDIR(st.st_mode)) return plat::kAttrDirectory;
  uint32_t attributes = plat::kAttrArchive;
  if ((st.st_mode & S_IWUSR) == 0) attributes |= plat::kAttrReadOnly;
  return attributes;
}

namespace {

// Deleting or renaming a file needs every open of it to share delete
// access. Runs action under the file's gate so no open slips in between.
template <typename Action>
bool withDeleteAllowed(const std::string& host, Action action) {
  const int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) return action();
  bool ok = false;
  {
    ShareGate gate(fd);
    ok = deleteRefused(fd) ? fail(plat::kErrSharingViolation) : action();
  }
  ::close(fd);
  return ok;
}

// Copies a host file with its permissions and times (for moves between
// volumes on different host file systems).
bool copyHostFile(const std::string& from, const std::string& to) {
  const int in = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (in < 0) return failErrno();
  struct stat st {};
  ::fstat(in, &st);
  const int out = ::open(to.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, st.st_mode & 07777);
  if (out < 0) {
    ::close(in);
    return failErrno();
  }
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    const ssize_t n = ::read(in, buffer.data(), buffer.size());
    if (n == 0) break;
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 || ::write(out, buffer.data(), static_cast<size_t>(n)) != n) {
      ok = failErrno();
      break;
    }
  }
  const struct timespec times[2] = {st.st_atim, st.st_mtim};
  ::futimens(out, times);
  ::close(in);
  ::close(out);
  if (!ok) ::unlink(to.c_str());
  return ok;
}

// The by-path operations on a memory drive.
bool deleteMemoryFile(const MemoryPath& path) {
  std::shared_ptr<MemoryFile> file = findMemoryFile(path);
  if (!file) return failMissingMemoryFile(path);
  if (file->attributes & plat::kAttrReadOnly) return fail(plat::kErrAccessDenied);
  return eraseMemoryFile(path);
}

uint32_t memoryAttributes(const MemoryPath& path) {
  if (path.isRoot()) return plat::kAttrDirectory;
  std::shared_ptr<MemoryFile> file = findMemoryFile(path);
  if (!file) return failMissingMemoryFile(path), plat::kInvalidAttributes;
  return file->attributes;
}

bool setMemoryAttributes(const MemoryPath& path, uint32_t attributes) {
  if (path.isRoot()) return true;
  std::shared_ptr<MemoryFile> file = findMemoryFile(path);
  if (!file) return failMissingMemoryFile(path);
  file->attributes = plat::kAttrArchive | (attributes & plat::kAttrReadOnly);
  return true;
}

}  // namespace

}  // namespace qwin

namespace plat {

using faults::Op;
using faults::detail::Verdict;
using qwin::fail;

bool deleteFile(const char* path) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory))
    return qwin::deleteMemoryFile(memory);
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return false;
  if (!r.exists) return fail(kErrFileNotFound);
  if (S_ISDIR(r.st.st_mode) || (r.st.st_mode & S_IWUSR) == 0) return fail(kErrAccessDenied);
  return qwin::withDeleteAllowed(
      r.host, [&] { return ::unlink(r.host.c_str()) == 0 || qwin::failErrno(); });
}

bool moveFile(const char* from, const char* to) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  qwin::MemoryPath memoryFrom, memoryTo;
  const bool fromMemory = qwin::memoryPath(from, &memoryFrom);
  const bool toMemory = qwin::memoryPath(to, &memoryTo);
  if (fromMemory && toMemory) {
    if (!qwin::findMemoryFile(memoryFrom)) return qwin::failMissingMemoryFile(memoryFrom);
    return qwin::renameMemoryFile(memoryFrom, memoryTo);
  }
  if (fromMemory || toMemory) return fail(qwin::kErrNotSameDevice);
  qwin::Resolved source, target;
  if (!qwin::resolvePath(from, &source)) return false;
  if (!source.exists) return fail(kErrFileNotFound);
  if (!qwin::resolvePath(to, &target)) return false;
  if (source.isRoot() || target.isRoot()) return fail(kErrAccessDenied);
  // A target that is the source itself is a change of letter case only.
  const bool sameFile =
      target.exists && target.st.st_dev == source.st.st_dev && target.st.st_ino == source.st.st_ino;
  if (target.exists && !sameFile) return fail(kErrAlreadyExists);
  if (!qwin::checkNewName(target.volume, target.lastName())) return false;
  const std::string destination = qwin::joinHost(target.hostParent, target.lastName());
  auto rename = [&] {
    const unsigned flags = sameFile ? 0u : RENAME_NOREPLACE;
    if (::renameat2(AT_FDCWD, source.host.c_str(), AT_FDCWD, destination.c_str(), flags) == 0)
      return true;
    if (errno == EEXIST) return fail(kErrAlreadyExists);
    if (errno != EXDEV) return qwin::failErrno();
    // Another host file system: files are copied, folders cannot move.
    if (S_ISDIR(source.st.st_mode)) return fail(qwin::kErrNotSameDevice);
    return qwin::copyHostFile(source.host, destination) &&
           (::unlink(source.host.c_str()) == 0 || qwin::failErrno());
  };
  if (S_ISDIR(source.st.st_mode)) return rename();
  return qwin::withDeleteAllowed(source.host, rename);
}

bool copyFile(const char* from, const char* to, bool failIfExists) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  // The copy is one call to the gate, not the reads and writes it makes.
  const faults::detail::Uncounted whole;
  const uint32_t sourceAttributes = fileAttributes(from);
  if (sourceAttributes == kInvalidAttributes) return false;
  if (sourceAttributes & kAttrDirectory) return fail(kErrAccessDenied);
  FileHandle in = openFile(from, kGenericRead, kShareRead | kShareWrite, Disposition::OpenExisting);
  if (in == invalidFile()) return false;
  FileHandle out = openFile(to, kGenericRead | kGenericWrite, 0,
                            failIfExists ? Disposition::CreateNew : Disposition::CreateAlways);
  if (out == invalidFile()) {
    const uint32_t error = lastError();
    closeFile(in);
    return fail(error);
  }
  std::vector<char> buffer(1 << 16);
  bool ok = true;
  for (;;) {
    uint32_t got = 0, put = 0;
    if (!readFile(in, buffer.data(), static_cast<uint32_t>(buffer.size()), &got)) {
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!writeFile(out, buffer.data(), got, &put) || put != got) {
      ok = false;
      break;
    }
  }
  const uint32_t error = lastError();
  if (ok) {
    // The copy keeps the source's last-write time.
    struct stat st {};
    if (::fstat(qwin::hostDescriptor(in), &st) == 0) {
      const struct timespec times[2] = {st.st_atim, st.st_mtim};
      ::futimens(qwin::hostDescriptor(out), times);
    }
  }
  closeFile(in);
  closeFile(out);
  if (!ok) {
    deleteFile(to);
    return fail(error);
  }
  if (sourceAttributes & kAttrReadOnly) setFileAttributes(to, kAttrReadOnly);
  return true;
}

uint32_t fileAttributes(const char* path) {
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory))
    return qwin::memoryAttributes(memory);
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return kInvalidAttributes;
  if (!r.exists) return fail(kErrFileNotFound), kInvalidAttributes;
  return qwin::attributesOf(r.st);
}

bool setFileAttributes(const char* path, uint32_t attributes) {
  if (attributes == kInvalidAttributes) return fail(kErrInvalidParameter);
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory))
    return qwin::setMemoryAttributes(memory, attributes);
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return false;
  if (!r.exists) return fail(kErrFileNotFound);
  if (S_ISDIR(r.st.st_mode)) return true;  // folders keep their permissions
  mode_t mode = r.st.st_mode & 07777;
  if (attributes & kAttrReadOnly) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (::chmod(r.host.c_str(), mode) != 0) return qwin::failErrno();
  return true;
}

bool createDirectory(const char* path) {
  // A memory drive has only its root.
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory)) return fail(kErrAccessDenied);
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return false;
  if (r.exists) return fail(kErrAlreadyExists);
  if (!qwin::checkNewName(r.volume, r.lastName())) return false;
  if (::mkdir(r.host.c_str(), 0777) != 0) {
    return errno == EEXIST ? fail(kErrAlreadyExists) : qwin::failErrno();
  }
  return true;
}

bool removeDirectory(const char* path) {
  // A memory drive has only its root.
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory)) return fail(kErrAccessDenied);
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return false;
  if (!r.exists) return fail(kErrFileNotFound);
  if (!S_ISDIR(r.st.st_mode)) return fail(qwin::kErrDirectory);
  if (r.isRoot()) return fail(kErrAccessDenied);
  if (::rmdir(r.host.c_str()) != 0) {
    return (errno == ENOTEMPTY || errno == EEXIST) ? fail(kErrDirNotEmpty) : qwin::failErrno();
  }
  return true;
}

}  // namespace plat
