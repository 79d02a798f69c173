// The volume table, its test-support API and the volume queries.
#include "volumes.h"

#include <sys/stat.h>
#include <sys/statvfs.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>

#include "afm3_compat.h"
#include "codepage.h"
#include "errors.h"
#include "memory_files.h"
#include "paths.h"
#include "platform.h"

namespace qwin {

namespace {

// File system flags reported for long-name volumes: case-preserved names
// and Unicode names on disk, as NTFS reports among others.
constexpr uint32_t kLongNameFlags = 0x2 | 0x4;

struct Machine {
  std::map<char, Volume> drives;
  std::map<std::string, Volume> shares;  // key: upper "SERVER\SHARE"
};

std::mutex g_mutex;
Machine& machine() {
  static Machine* m = [] {
    auto* created = new Machine;
    return created;
  }();
  return *m;
}

Volume defaultDrive() {
  Volume z;
  z.letter = 'Z';
  z.hostRoot = "/";
  z.driveType = DRIVE_FIXED;
  struct stat st {};
  // A serial number that stays the same on one machine, like a real one.
  if (::stat("/", &st) == 0) z.serial = static_cast<uint32_t>(st.st_dev * 2654435761u) | 1u;
  return z;
}

bool initialised = false;
void ensureDefault() {
  if (!initialised) {
    machine().drives.emplace('Z', defaultDrive());
    initialised = true;
  }
}

std::string shareKey(const std::string& server, const std::string& share) {
  return upperString(server) + "\\" + upperString(share);
}

std::string stripLeadingSeparators(const char* s) {
  std::string out = s ? s : "";
  size_t i = 0;
  while (i < out.size() && (out[i] == '\\' || out[i] == '/')) ++i;
  out.erase(0, i);
  while (!out.empty() && (out.back() == '\\' || out.back() == '/')) out.pop_back();
  return out;
}

// A root as the volume functions take it: "X:\", "X:" or "\\server\share\".
struct RootName {
  bool unc = false;
  char letter = 0;
  std::string server, share;
  bool onlyRoot = true;
};

bool parseRootName(const char* text, RootName* out) {
  if (text == nullptr) return false;
  std::string s = text;
  for (char& c : s)
    if (c == '/') c = '\\';
  std::string rest;
  if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
    out->letter = static_cast<char>(upperByte(static_cast<uint8_t>(s[0])));
    rest = s.substr(2);
  } else if (s.size() > 2 && s[0] == '\\' && s[1] == '\\') {
    const size_t serverEnd = s.find('\\', 2);
    if (serverEnd == std::string::npos) return false;
    size_t shareEnd = s.find('\\', serverEnd + 1);
    if (shareEnd == std::string::npos) shareEnd = s.size();
    out->unc = true;
    out->server = s.substr(2, serverEnd - 2);
    out->share = s.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    if (out->server.empty() || out->share.empty()) return false;
    rest = s.substr(shareEnd);
  } else {
    return false;
  }
  out->onlyRoot = rest.empty() || rest == "\\";
  return true;
}

// A memory drive as a volume: a RAM disk with long names and plenty of
// room.
Volume memoryVolume(char letter) {
  Volume v;
  v.letter = letter;
  v.label = "MEMORY";
  v.serial = 0x4D454D00u | static_cast<uint8_t>(letter);
  v.driveType = DRIVE_RAMDISK;
  v.fixedFreeBytes = 1ll << 30;
  return v;
}

bool lookupRoot(const RootName& root, Volume* volume) {
  if (!root.unc && memoryDrive(root.letter)) {
    *volume = memoryVolume(root.letter);
    return true;
  }
  return root.unc ? findShare(root.server, root.share, volume) : findDrive(root.letter, volume);
}

char driveLetterOf(const char* root) {
  RootName name;
  if (!parseRootName(root, &name) || name.unc || !name.onlyRoot) return 0;
  return name.letter;
}

void copyField(char* out, size_t size, const std::string& value) {
  std::snprintf(out, size, "%s", value.c_str());
}

}  // namespace

bool findDrive(char letter, Volume* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  ensureDefault();
  auto it = machine().drives.find(static_cast<char>(upperByte(static_cast<uint8_t>(letter))));
  if (it == machine().drives.end()) return fail(plat::kErrPathNotFound);
  *out = it->second;
  return true;
}

bool findShare(const std::string& server, const std::string& share, Volume* out) {
  std::lock_guard<std::mutex> lock(g_mutex);
  auto& shares = machine().shares;
  auto it = shares.find(shareKey(server, share));
  if (it == shares.end()) {
    const std::string prefix = upperString(server) + "\\";
    for (const auto& entry : shares)
      if (entry.first.compare(0, prefix.size(), prefix) == 0) return fail(plat::kErrBadNetName);
    return fail(plat::kErrBadNetPath);
  }
  if (!it->second.reachable) return fail(plat::kErrBadNetPath);
  *out = it->second;
  return true;
}

std::vector<Volume> allDrives() {
  std::lock_guard<std::mutex> lock(g_mutex);
  ensureDefault();
  std::vector<Volume> out;
  for (const auto& entry : machine().drives) out.push_back(entry.second);
  return out;
}

void resetVolumes() {
  std::lock_guard<std::mutex> lock(g_mutex);
  machine().drives.clear();
  machine().shares.clear();
  initialised = false;
  ensureDefault();
}

std::string hostFolderOf(const char* folder) {
  if (folder == nullptr || *folder == '\0') return {};
  std::string host;
  if (folder[0] == '/' && folder[1] != '/') {
    host = folder;
  } else {
    Resolved r;
    if (!resolvePath(folder, &r) || !r.exists) return {};
    host = r.host;
  }
  char real[PATH_MAX];
  if (::realpath(host.c_str(), real) == nullptr) return {};
  struct stat st {};
  if (::stat(real, &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return real;
}

}  // namespace qwin

using qwin::fail;

namespace plat {

bool volumeInformation(const char* root, VolumeInfo* info) {
  // No root names the volume of the current directory.
  std::string rootText;
  if (root == nullptr) {
    qwin::WinPath cwd;
    if (!qwin::parsePath(".", &cwd)) return fail(kErrInvalidName);
    rootText = cwd.root();
    root = rootText.c_str();
  }
  qwin::RootName name;
  if (!qwin::parseRootName(root, &name)) return fail(kErrInvalidName);
  if (!name.onlyRoot) return fail(qwin::kErrDirNotRoot);
  qwin::Volume volume;
  if (!qwin::lookupRoot(name, &volume)) return false;
  if (info != nullptr) {
    *info = VolumeInfo{};
    qwin::copyField(info->label, sizeof info->label, volume.label);
    info->serial = volume.serial;
    info->maxComponentLength = volume.maxComponentLength;
    const char* fileSystem = "NTFS";
    if (volume.shortNamesOnly()) {
      fileSystem = "FAT";
    } else if (volume.driveType == DRIVE_CDROM) {
      fileSystem = "CDFS";
    }
    info->fileSystemFlags = volume.shortNamesOnly() ? 0 : qwin::kLongNameFlags;
    qwin::copyField(info->fileSystemName, sizeof info->fileSystemName, fileSystem);
  }
  return true;
}

uint32_t driveType(const char* root) {
  std::string rootText;
  if (root == nullptr) {
    qwin::WinPath cwd;
    if (!qwin::parsePath(".", &cwd)) return DRIVE_NO_ROOT_DIR;
    rootText = cwd.root();
    root = rootText.c_str();
  }
  qwin::RootName name;
  if (!qwin::parseRootName(root, &name) || !name.onlyRoot) return DRIVE_NO_ROOT_DIR;
  qwin::Volume volume;
  if (!qwin::lookupRoot(name, &volume)) return DRIVE_NO_ROOT_DIR;
  return name.unc ? DRIVE_REMOTE : volume.driveType;
}

bool diskFreeSpace(const char* path, uint64_t* freeBytesForCaller) {
  if (qwin::MemoryPath memory; qwin::memoryPath(path, &memory)) {
    if (!memory.isRoot()) return fail(kErrPathNotFound);
    if (freeBytesForCaller != nullptr)
      *freeBytesForCaller =
          static_cast<uint64_t>(qwin::memoryVolume(memory.win.drive).fixedFreeBytes);
    return true;
  }
  // A bare root (what the common library asks for, once per insert) is
  // answered from the volume table and one statvfs, without resolving it
  // as a path first.
  qwin::Volume volume;
  std::string host;
  if (qwin::RootName name; qwin::parseRootName(path, &name) && name.onlyRoot) {
    if (!qwin::lookupRoot(name, &volume)) return false;
    host = volume.hostRoot;
  } else {
    qwin::Resolved r;
    if (!qwin::resolvePath(path, &r)) return false;
    if (!r.exists || !S_ISDIR(r.st.st_mode)) return fail(kErrPathNotFound);
    volume = r.volume;
    host = r.host;
  }
  uint64_t bytes = 0;
  if (volume.fixedFreeBytes >= 0) {
    bytes = static_cast<uint64_t>(volume.fixedFreeBytes);
  } else {
    struct statvfs vfs {};
    if (::statvfs(host.c_str(), &vfs) != 0)
      return errno == ENOENT || errno == ENOTDIR ? fail(kErrPathNotFound) : qwin::failErrno();
    bytes = static_cast<uint64_t>(vfs.f_bavail) * vfs.f_frsize;
  }
  if (freeBytesForCaller != nullptr) *freeBytesForCaller = bytes;
  return true;
}

uint32_t connectNetworkPath(const char* remotePath) {
  qwin::RootName name;
  uint32_t result = kErrSuccess;
  if (!qwin::parseRootName(remotePath, &name) || !name.unc) {
    result = kErrBadNetName;
  } else {
    std::lock_guard<std::mutex> lock(qwin::g_mutex);
    auto& shares = qwin::machine().shares;
    auto it = shares.find(qwin::shareKey(name.server, name.share));
    if (it != shares.end()) {
      it->second.reachable = true;
    } else {
      result = kErrBadNetPath;
      const std::string prefix = qwin::upperString(name.server) + "\\";
      for (const auto& entry : shares)
        if (entry.first.compare(0, prefix.size(), prefix) == 0) result = kErrBadNetName;
    }
  }
  qwin::setError(result);
  return result;
}

uint32_t networkConnectionName(const char* localDrive, char* out, uint32_t size) {
  uint32_t result = kErrSuccess;
  const char letter = qwin::driveLetterOf(localDrive);
  qwin::Volume volume;
  if (letter != 0 && qwin::memoryDrive(letter)) {
    result = kErrNotConnected;
  } else if (letter == 0 || !qwin::findDrive(letter, &volume)) {
    result = qwin::kErrBadDevice;
  } else if (volume.remoteName.empty()) {
    result = kErrNotConnected;
  } else if (out == nullptr || size <= volume.remoteName.size()) {
    result = qwin::kErrMoreData;
  } else {
    std::memcpy(out, volume.remoteName.c_str(), volume.remoteName.size() + 1);
  }
  qwin::setError(result);
  return result;
}

}  // namespace plat

extern "C" {

BOOL qwinTestAddVolume(LPCSTR driveRoot, LPCSTR hostFolder, LPCSTR label, UINT driveType,
                       DWORD maxComponentLength, DWORD serial, LPCSTR remoteName) {
  const char letter = qwin::driveLetterOf(driveRoot);
  if (letter == 0 || driveType < DRIVE_REMOVABLE || driveType > DRIVE_RAMDISK)
    return fail(plat::kErrInvalidParameter);
  const std::string host = qwin::hostFolderOf(hostFolder);
  if (host.empty()) return fail(plat::kErrPathNotFound);
  qwin::Volume volume;
  volume.letter = letter;
  volume.hostRoot = host;
  volume.label = label ? label : "";
  volume.driveType = driveType;
  volume.maxComponentLength = maxComponentLength == 0 ? 255 : maxComponentLength;
  volume.serial = serial;
  volume.remoteName = remoteName ? remoteName : "";
  std::lock_guard<std::mutex> lock(qwin::g_mutex);
  qwin::ensureDefault();
  qwin::machine().drives[letter] = volume;
  return TRUE;
}

BOOL qwinTestRemoveVolume(LPCSTR driveRoot) {
  const char letter = qwin::driveLetterOf(driveRoot);
  std::lock_guard<std::mutex> lock(qwin::g_mutex);
  qwin::ensureDefault();
  if (letter == 0 || qwin::machine().drives.erase(letter) == 0) return fail(plat::kErrInvalidDrive);
  return TRUE;
}

BOOL qwinTestSetFreeSpace(LPCSTR driveRoot, long long freeBytes) {
  qwin::RootName name;
  if (!qwin::parseRootName(driveRoot, &name)) return fail(plat::kErrInvalidParameter);
  std::lock_guard<std::mutex> lock(qwin::g_mutex);
  qwin::ensureDefault();
  qwin::Volume* volume = nullptr;
  if (name.unc) {
    auto it = qwin::machine().shares.find(qwin::shareKey(name.server, name.share));
    if (it != qwin::machine().shares.end()) volume = &it->second;
  } else {
    auto it = qwin::machine().drives.find(name.letter);
    if (it != qwin::machine().drives.end()) volume = &it->second;
  }
  if (volume == nullptr) return fail(plat::kErrInvalidDrive);
  volume->fixedFreeBytes = freeBytes < 0 ? -1 : freeBytes;
  return TRUE;
}

BOOL qwinTestAddShare(LPCSTR server, LPCSTR share, LPCSTR hostFolder, LPCSTR label,
                      BOOL reachable) {
  const std::string serverName = qwin::stripLeadingSeparators(server);
  const std::string shareName = qwin::stripLeadingSeparators(share);
  if (serverName.empty() || shareName.empty() ||
      serverName.find_first_of("\\/") != std::string::npos ||
      shareName.find_first_of("\\/") != std::string::npos)
    return fail(plat::kErrInvalidParameter);
  const std::string host = qwin::hostFolderOf(hostFolder);
  if (host.empty()) return fail(plat::kErrPathNotFound);
  qwin::Volume volume;
  volume.isShare = true;
  volume.server = serverName;
  volume.share = shareName;
  volume.hostRoot = host;
  volume.label = label ? label : "";
  volume.driveType = DRIVE_REMOTE;
  volume.reachable = reachable != FALSE;
  uint32_t serial = 2166136261u;  // FNV-1a of the share name: stable per share
  for (char c : qwin::shareKey(serverName, shareName))
    serial = (serial ^ static_cast<uint8_t>(c)) * 16777619u;
  volume.serial = serial;
  std::lock_guard<std::mutex> lock(qwin::g_mutex);
  qwin::machine().shares[qwin::shareKey(serverName, shareName)] = volume;
  return TRUE;
}

BOOL qwinTestRemoveShare(LPCSTR server, LPCSTR share) {
  const std::string key =
      qwin::shareKey(qwin::stripLeadingSeparators(server), qwin::stripLeadingSeparators(share));
  std::lock_guard<std::mutex> lock(qwin::g_mutex);
  if (qwin::machine().shares.erase(key) == 0) return fail(plat::kErrBadNetName);
  return TRUE;
}

}  // extern "C"
