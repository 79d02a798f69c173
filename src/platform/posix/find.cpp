// Folder searches: FindFirstFile / FindNextFile over a snapshot of the
// folder taken by findFirst.
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <vector>

#include "codepage.h"
#include "errors.h"
#include "file_info.h"
#include "handles.h"
#include "memory_files.h"
#include "names.h"
#include "paths.h"
#include "platform.h"

namespace qwin {

namespace {

struct Search {
  std::vector<plat::FindData> entries;
  size_t next = 0;
};

HandleTable<Search>& searches() {
  static auto* table = new HandleTable<Search>;
  return *table;
}

// Host file systems may not keep a birth time: the earlier of the status
// change and the modification stands for the creation.
const struct timespec& earlier(const struct timespec& a, const struct timespec& b) {
  const bool aFirst = a.tv_sec != b.tv_sec ? a.tv_sec < b.tv_sec : a.tv_nsec <= b.tv_nsec;
  return aFirst ? a : b;
}

bool fillEntry(const std::string& host, const std::string& name, const std::string& alias,
               plat::FindData* data) {
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0 && ::lstat(host.c_str(), &st) != 0) return false;
  *data = plat::FindData{};
  data->attributes = attributesOf(st);
  data->size = S_ISDIR(st.st_mode) ? 0 : static_cast<uint64_t>(st.st_size);
  data->lastWriteTime = fileTimeOf(st.st_mtim);
  data->creationTime = fileTimeOf(earlier(st.st_ctim, st.st_mtim));
  std::snprintf(data->name, sizeof data->name, "%s", name.c_str());
  std::snprintf(data->alternateName, sizeof data->alternateName, "%s", alias.c_str());
  return true;
}

// The entries of a host folder that match wanted (by long or alternate
// name).
bool findOnDisk(const WinPath& folderPath, const std::string& wanted, Search* search) {
  Resolved folder;
  if (!resolveParsed(folderPath, &folder)) return false;
  if (!folder.exists || !S_ISDIR(folder.st.st_mode)) return fail(plat::kErrPathNotFound);

  std::vector<std::string> names;
  for (const std::string& name : folderNames(folder.host))
    if (isRepresentableName(name) && name.size() < MAX_PATH) names.push_back(name);
  const auto aliases = alternateNames(names);
  std::stable_sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
    return compareFolded(a.c_str(), b.c_str()) < 0;
  });
  // Folders other than a volume root list themselves and their parent.
  if (!folder.isRoot()) names.insert(names.begin(), {".", ".."});

  for (const std::string& name : names) {
    auto it = aliases.find(name);
    const std::string alias = it == aliases.end() ? std::string() : it->second;
    if (!wildcardMatch(wanted, name) && (alias.empty() || !wildcardMatch(wanted, alias))) continue;
    plat::FindData entry;
    if (fillEntry(joinHost(folder.host, name), name, alias, &entry))
      search->entries.push_back(entry);
  }
  return true;
}

// The entries of a memory drive's root that match wanted.
bool findInMemory(const MemoryPath& folder, const std::string& wanted, Search* search) {
  if (!folder.isRoot()) return fail(plat::kErrPathNotFound);
  for (const MemoryEntry& entry : memoryFolder(folder.win.drive)) {
    if (!wildcardMatch(wanted, entry.name)) continue;
    plat::FindData data;
    std::lock_guard<std::mutex> lock(entry.file->mutex);
    data.attributes = entry.file->attributes;
    data.size = entry.file->bytes.size();
    data.creationTime = entry.file->creationTime;
    data.lastWriteTime = entry.file->lastWriteTime;
    std::snprintf(data.name, sizeof data.name, "%s", entry.name.c_str());
    search->entries.push_back(data);
  }
  return true;
}

}  // namespace

}  // namespace qwin

namespace plat {

using qwin::fail;

FindHandle findFirst(const char* pattern, FindData* data) {
  if (pattern == nullptr || data == nullptr) return fail(kErrInvalidParameter), invalidFile();
  qwin::WinPath path;
  if (!qwin::parsePath(pattern, &path)) return invalidFile();
  if (path.parts.empty() || path.trailingSeparator) return fail(kErrFileNotFound), invalidFile();
  const std::string wanted = path.parts.back();
  if (!qwin::isRepresentableName(wanted, true)) return fail(kErrInvalidName), invalidFile();
  qwin::WinPath folderPath = path;
  folderPath.parts.pop_back();
  auto search = std::make_shared<qwin::Search>();
  qwin::MemoryPath memory;
  const bool found = qwin::memoryPath(folderPath.full().c_str(), &memory)
                         ? qwin::findInMemory(memory, wanted, search.get())
                         : qwin::findOnDisk(folderPath, wanted, search.get());
  if (!found) return invalidFile();
  if (search->entries.empty()) return fail(kErrFileNotFound), invalidFile();
  *data = search->entries[0];
  search->next = 1;
  return qwin::searches().add(std::move(search));
}

bool findNext(FindHandle find, FindData* data) {
  std::shared_ptr<qwin::Search> search = qwin::searches().get(find);
  if (!search) return fail(kErrInvalidHandle);
  if (data == nullptr) return fail(kErrInvalidParameter);
  if (search->next >= search->entries.size()) return fail(kErrNoMoreFiles);
  *data = search->entries[search->next++];
  return true;
}

bool findClose(FindHandle find) {
  if (!qwin::searches().remove(find)) return fail(kErrInvalidHandle);
  return true;
}

}  // namespace plat
