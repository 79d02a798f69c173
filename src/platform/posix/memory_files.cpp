// Memory drives: the files in their roots, keyed by their upper-case full
// path, and plat::memoryFiles over them.
#include "memory_files.h"

#include <algorithm>
#include <atomic>
#include <map>

#include "codepage.h"
#include "errors.h"
#include "platform.h"

namespace qwin {

namespace {

struct Drives {
  std::mutex mutex;
  std::map<char, std::map<std::string, MemoryEntry>> files;  // letter -> key -> file
};

Drives& drives() {
  static auto* d = new Drives;
  return *d;
}

// Read without the mutex so that paths of real drives cost one load.
std::atomic<bool> g_anyDrive{false};

}  // namespace

MemoryFile::MemoryFile()
    : attributes(plat::kAttrArchive),
      creationTime(plat::systemTimeAsFileTime()),
      lastWriteTime(creationTime) {}

bool MemoryFile::lockedByOther(const void* owner, uint64_t offset, uint64_t length) const {
  if (length == 0) return false;
  for (const Range& r : locks)
    if (r.owner != owner && r.length > 0 && offset < r.offset + r.length &&
        r.offset < offset + length)
      return true;
  return false;
}

bool memoryDrive(char letter) {
  if (!g_anyDrive.load(std::memory_order_relaxed)) return false;
  std::lock_guard<std::mutex> lock(drives().mutex);
  return drives().files.count(letter) != 0;
}

bool memoryPath(const char* path, MemoryPath* out) {
  if (!g_anyDrive.load(std::memory_order_relaxed) || path == nullptr) return false;
  WinPath win;
  if (!parsePath(path, &win) || win.unc || !memoryDrive(win.drive)) return false;
  out->win = win;
  out->key = upperString(win.full());
  return true;
}

std::shared_ptr<MemoryFile> findMemoryFile(const MemoryPath& path) {
  if (!path.inRoot()) return nullptr;
  std::lock_guard<std::mutex> lock(drives().mutex);
  auto& folder = drives().files[path.win.drive];
  auto it = folder.find(path.key);
  return it == folder.end() ? nullptr : it->second.file;
}

std::shared_ptr<MemoryFile> createMemoryFile(const MemoryPath& path) {
  auto file = std::make_shared<MemoryFile>();
  std::lock_guard<std::mutex> lock(drives().mutex);
  drives().files[path.win.drive][path.key] = MemoryEntry{path.win.parts.back(), file};
  g_anyDrive = true;
  return file;
}

bool eraseMemoryFile(const MemoryPath& path) {
  std::lock_guard<std::mutex> lock(drives().mutex);
  if (drives().files[path.win.drive].erase(path.key) == 0) return fail(plat::kErrFileNotFound);
  return true;
}

bool renameMemoryFile(const MemoryPath& from, const MemoryPath& to) {
  if (from.win.drive != to.win.drive) return fail(kErrNotSameDevice);
  if (!to.inRoot()) return fail(to.isRoot() ? plat::kErrAccessDenied : plat::kErrPathNotFound);
  std::lock_guard<std::mutex> lock(drives().mutex);
  auto& folder = drives().files[from.win.drive];
  auto it = folder.find(from.key);
  if (it == folder.end()) return fail(plat::kErrFileNotFound);
  // A new letter case of the same name renames in place.
  if (to.key != from.key && folder.count(to.key) != 0) return fail(plat::kErrAlreadyExists);
  MemoryEntry entry{to.win.parts.back(), it->second.file};
  folder.erase(it);
  folder[to.key] = entry;
  return true;
}

std::vector<MemoryEntry> memoryFolder(char letter) {
  std::vector<MemoryEntry> out;
  {
    std::lock_guard<std::mutex> lock(drives().mutex);
    for (const auto& entry : drives().files[letter]) out.push_back(entry.second);
  }
  std::stable_sort(out.begin(), out.end(), [](const MemoryEntry& a, const MemoryEntry& b) {
    return compareFolded(a.name.c_str(), b.name.c_str()) < 0;
  });
  return out;
}

bool failMissingMemoryFile(const MemoryPath& path) {
  if (path.isRoot()) return fail(plat::kErrAccessDenied);
  return fail(path.inRoot() ? plat::kErrFileNotFound : plat::kErrPathNotFound);
}

}  // namespace qwin

namespace plat::memoryFiles {

bool put(const char* path, const uint8_t* bytes, size_t n) {
  qwin::WinPath win;
  if (path == nullptr || !qwin::parsePath(path, &win) || win.unc || win.parts.size() != 1 ||
      win.trailingSeparator || n > 0xFFFFFFFEu)
    return qwin::fail(kErrInvalidParameter);
  {
    std::lock_guard<std::mutex> lock(qwin::drives().mutex);
    qwin::drives().files[win.drive];
    qwin::g_anyDrive = true;
  }
  qwin::MemoryPath where{win, qwin::upperString(win.full())};
  // A file no handle holds is refilled in place, which keeps its buffer
  // (fuzz targets put thousands of inputs a second at one path).
  std::shared_ptr<qwin::MemoryFile> file = qwin::findMemoryFile(where);
  if (!file || file.use_count() > 2) file = qwin::createMemoryFile(where);
  std::lock_guard<std::mutex> lock(file->mutex);
  file->bytes.assign(bytes, bytes + n);
  file->attributes = kAttrArchive;
  file->locks.clear();
  file->lastWriteTime = systemTimeAsFileTime();
  return true;
}

bool get(const char* path, std::vector<uint8_t>* bytes) {
  qwin::MemoryPath where;
  if (!qwin::memoryPath(path, &where)) return qwin::fail(kErrPathNotFound);
  auto file = qwin::findMemoryFile(where);
  if (!file) return qwin::failMissingMemoryFile(where);
  std::lock_guard<std::mutex> lock(file->mutex);
  *bytes = file->bytes;
  return true;
}

void clear() {
  std::lock_guard<std::mutex> lock(qwin::drives().mutex);
  qwin::drives().files.clear();
  qwin::g_anyDrive = false;
}

}  // namespace plat::memoryFiles
