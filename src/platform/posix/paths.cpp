// Parsing Windows paths, mapping them onto host files and back, and the
// path functions of the interface.
#include "paths.h"

#include <dirent.h>
#include <limits.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <cstring>
#include <mutex>

#include "afm3_compat.h"
#include "codepage.h"
#include "errors.h"
#include "memory_files.h"
#include "names.h"
#include "platform.h"

namespace qwin {

namespace {

std::mutex g_cwdMutex;
WinPath g_cwd;
bool g_cwdKnown = false;

bool isSeparatorAt(const std::string& s, size_t i) { return s[i] == '\\'; }

// Splits on backslashes that are characters of their own (a trail byte of
// a double-byte character may be 0x5C).
std::vector<std::string> splitComponents(const std::string& s, bool* endsWithSeparator) {
  std::vector<std::string> out;
  std::string current;
  bool lastWasSeparator = false;
  const char* p = s.c_str();
  while (*p) {
    const size_t n = charLength(p);
    if (n == 1 && *p == '\\') {
      out.push_back(current);
      current.clear();
      lastWasSeparator = true;
    } else {
      current.append(p, n);
      lastWasSeparator = false;
    }
    p += n;
  }
  out.push_back(current);
  if (endsWithSeparator) *endsWithSeparator = lastWasSeparator;
  return out;
}

std::string withBackslashes(const char* path) {
  std::string s;
  for (const char* p = path; *p;) {
    const size_t n = charLength(p);
    if (n == 1 && *p == '/') {
      s += '\\';
    } else {
      s.append(p, n);
    }
    p += n;
  }
  return s;
}

// Parses path; relative forms need cwd (null: they fail).
bool parseWith(const char* path, const WinPath* cwd, WinPath* out) {
  if (path == nullptr || *path == '\0') return fail(plat::kErrPathNotFound);
  const bool posixAbsolute = path[0] == '/' && path[1] != '/';
  std::string s = withBackslashes(path);
  if (s.compare(0, 4, "\\\\?\\") == 0) {
    s.erase(0, 4);
    if (s.size() >= 4 && upperString(s.substr(0, 4)) == "UNC\\") s = "\\\\" + s.substr(4);
  }
  WinPath w;
  std::string rest;
  if (posixAbsolute) {
    w.drive = 'Z';
    rest = s;
  } else if (s.size() >= 2 && isSeparatorAt(s, 0) && isSeparatorAt(s, 1)) {
    const size_t serverEnd = s.find('\\', 2);
    if (serverEnd == std::string::npos) return fail(plat::kErrBadNetPath);
    size_t shareEnd = s.find('\\', serverEnd + 1);
    if (shareEnd == std::string::npos) shareEnd = s.size();
    w.unc = true;
    w.server = s.substr(2, serverEnd - 2);
    w.share = s.substr(serverEnd + 1, shareEnd - serverEnd - 1);
    if (w.server.empty() || w.share.empty()) return fail(plat::kErrBadNetPath);
    rest = s.substr(shareEnd);
  } else if (s.size() >= 2 && s[1] == ':' && std::isalpha(static_cast<unsigned char>(s[0]))) {
    w.drive = static_cast<char>(upperByte(static_cast<uint8_t>(s[0])));
    rest = s.substr(2);
    // "X:name" is relative to the current directory when it is on X:.
    if ((rest.empty() || rest[0] != '\\') && cwd != nullptr && !cwd->unc && cwd->drive == w.drive)
      w.parts = cwd->parts;
  } else {
    if (cwd == nullptr) return fail(plat::kErrPathNotFound);
    w = *cwd;
    w.trailingSeparator = false;
    if (s[0] == '\\') w.parts.clear();  // the root of the current drive
    rest = s;
  }
  bool trailing = false;
  for (std::string part : splitComponents(rest, &trailing)) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!w.parts.empty()) w.parts.pop_back();
      continue;
    }
    if (!hasWildcards(part)) {
      while (!part.empty() && (part.back() == ' ' || part.back() == '.')) part.pop_back();
      if (part.empty()) continue;
    }
    w.parts.push_back(part);
  }
  w.trailingSeparator = trailing && !w.parts.empty();
  *out = w;
  return true;
}

WinPath currentDirectoryPath() {
  std::lock_guard<std::mutex> lock(g_cwdMutex);
  if (!g_cwdKnown) {
    char buffer[PATH_MAX];
    const std::string host = ::getcwd(buffer, sizeof buffer) ? buffer : "/";
    if (!parseWith(hostToWindows(host).c_str(), nullptr, &g_cwd)) {
      g_cwd = WinPath{};
      g_cwd.drive = 'Z';
    }
    g_cwdKnown = true;
  }
  return g_cwd;
}

bool statPath(const std::string& host, struct stat* st) { return ::stat(host.c_str(), st) == 0; }

std::string canonical(const std::string& host) {
  char real[PATH_MAX];
  return ::realpath(host.c_str(), real) ? std::string(real) : host;
}

}  // namespace

std::string WinPath::root() const {
  if (unc) return "\\\\" + server + "\\" + share + "\\";
  return std::string(1, drive) + ":\\";
}

std::string WinPath::full() const {
  std::string r = root();
  for (size_t i = 0; i < parts.size(); ++i) {
    r += parts[i];
    if (i + 1 < parts.size() || trailingSeparator) r += '\\';
  }
  return r;
}

bool parsePath(const char* path, WinPath* out) {
  const WinPath cwd = currentDirectoryPath();
  return parseWith(path, &cwd, out);
}

std::string joinHost(const std::string& folder, const std::string& name) {
  if (folder.empty() || folder.back() == '/') return folder + name;
  return folder + "/" + name;
}

std::vector<std::string> folderNames(const std::string& hostFolder) {
  std::vector<std::string> names;
  DIR* dir = ::opendir(hostFolder.c_str());
  if (dir == nullptr) return names;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  ::closedir(dir);
  std::sort(names.begin(), names.end());
  return names;
}

std::string findEntry(const std::string& hostFolder, const std::string& name) {
  struct stat st {};
  if (::lstat(joinHost(hostFolder, name).c_str(), &st) == 0) return name;
  const std::vector<std::string> names = folderNames(hostFolder);
  for (const std::string& candidate : names)
    if (equalFolded(candidate, name)) return candidate;
  if (name.find('~') != std::string::npos && isValid83(name)) {
    for (const auto& [longName, alias] : alternateNames(names))
      if (equalFolded(alias, name)) return longName;
  }
  return {};
}

bool resolveParsed(const WinPath& win, Resolved* out) {
  Resolved r;
  r.win = win;
  if (win.unc ? !findShare(win.server, win.share, &r.volume) : !findDrive(win.drive, &r.volume))
    return false;
  for (const std::string& part : win.parts)
    if (!isRepresentableName(part)) return fail(plat::kErrInvalidName);
  // Most paths name what exists with the very letters given: one stat of
  // the whole path then answers what a walk component by component would.
  if (!win.parts.empty()) {
    std::string parent = r.volume.hostRoot;
    for (size_t i = 0; i + 1 < win.parts.size(); ++i) parent = joinHost(parent, win.parts[i]);
    const std::string whole = joinHost(parent, win.parts.back());
    if (statPath(whole, &r.st)) {
      r.exists = true;
      r.actual = win.parts;
      r.hostParent = parent;
      r.host = whole;
      *out = std::move(r);
      return true;
    }
  }
  std::string host = r.volume.hostRoot;
  struct stat st {};
  if (!statPath(host, &st) || !S_ISDIR(st.st_mode)) return fail(plat::kErrPathNotFound);
  r.exists = true;
  r.st = st;
  r.hostParent = host;
  for (size_t i = 0; i < win.parts.size(); ++i) {
    const bool last = i + 1 == win.parts.size();
    const std::string actual = findEntry(host, win.parts[i]);
    r.hostParent = host;
    if (actual.empty()) {
      if (!last) return fail(plat::kErrPathNotFound);
      r.actual.push_back(win.parts[i]);
      host = joinHost(host, win.parts[i]);
      r.exists = false;
      break;
    }
    r.actual.push_back(actual);
    host = joinHost(host, actual);
    const bool found = statPath(host, &st);
    if (!last && (!found || !S_ISDIR(st.st_mode))) return fail(plat::kErrPathNotFound);
    r.exists = found;
    if (found) r.st = st;
  }
  r.host = host;
  *out = std::move(r);
  return true;
}

bool resolvePath(const char* path, Resolved* out) {
  WinPath win;
  if (!parsePath(path, &win)) return false;
  return resolveParsed(win, out);
}

std::string hostToWindows(const std::string& hostPath) {
  std::string host = hostPath;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  char letter = 'Z';
  size_t bestLength = 0;
  bool found = false;
  for (const Volume& volume : allDrives()) {
    const std::string& root = volume.hostRoot;
    size_t length = 0;
    if (root == "/") {
      length = 0;
    } else if (host == root ||
               (host.compare(0, root.size(), root) == 0 && host[root.size()] == '/')) {
      length = root.size();
    } else {
      continue;
    }
    if (!found || length > bestLength) {
      letter = volume.letter;
      bestLength = length;
      found = true;
    }
  }
  std::string rest = host.substr(bestLength);
  while (!rest.empty() && rest.front() == '/') rest.erase(0, 1);
  std::replace(rest.begin(), rest.end(), '/', '\\');
  return std::string(1, letter) + ":\\" + rest;
}

bool checkNewName(const Volume& volume, const std::string& name) {
  if (!isRepresentableName(name)) return fail(plat::kErrInvalidName);
  const bool fits =
      volume.shortNamesOnly() ? isValid83(name) : name.size() <= volume.maxComponentLength;
  if (!fits) return fail(plat::kErrFilenameExcedRange);
  return true;
}

uint32_t copyPathOut(const std::string& s, char* out, uint32_t size) {
  if (out != nullptr && size > s.size()) {
    std::memcpy(out, s.c_str(), s.size() + 1);
    return static_cast<uint32_t>(s.size());
  }
  return static_cast<uint32_t>(s.size() + 1);
}

void resetCurrentDirectory() {
  std::lock_guard<std::mutex> lock(g_cwdMutex);
  g_cwdKnown = false;
}

namespace {

// Rewrites an existing path with every component's long or short name.
uint32_t convertExisting(const char* path, char* out, uint32_t size, bool toShort) {
  // Memory drives keep no alternate names: every path is its own short name.
  if (MemoryPath memory; memoryPath(path, &memory)) {
    if (!memory.isRoot() && !findMemoryFile(memory)) return failMissingMemoryFile(memory), 0u;
    return copyPathOut(memory.win.full(), out, size);
  }
  Resolved r;
  if (!resolvePath(path, &r)) return 0;
  if (!r.exists) {
    fail(plat::kErrFileNotFound);
    return 0;
  }
  std::string result = r.win.root();
  std::string folder = r.volume.hostRoot;
  for (size_t i = 0; i < r.actual.size(); ++i) {
    std::string name = r.actual[i];
    if (toShort && !isValid83(name)) {
      const auto aliases = alternateNames(folderNames(folder));
      auto it = aliases.find(name);
      if (it != aliases.end()) name = it->second;
    }
    result += name;
    if (i + 1 < r.actual.size() || r.win.trailingSeparator) result += '\\';
    folder = joinHost(folder, r.actual[i]);
  }
  return copyPathOut(result, out, size);
}

std::string folderFromEnvironment(const char* variable, const char* suffix, const char* fallback) {
  const char* value = std::getenv(variable);
  if (value != nullptr && value[0] == '/') return canonical(value);
  const char* home = std::getenv("HOME");
  if (suffix != nullptr && home != nullptr && home[0] == '/')
    return canonical(joinHost(home, suffix));
  return canonical(fallback);
}

}  // namespace

}  // namespace qwin

namespace plat {

uint32_t shortPathName(const char* longPath, char* out, uint32_t size) {
  return qwin::convertExisting(longPath, out, size, true);
}

uint32_t longPathName(const char* shortPath, char* out, uint32_t size) {
  return qwin::convertExisting(shortPath, out, size, false);
}

namespace {

// A path as a host writes it: no backslash, not a drive path. (A bare name
// is the host's too: relative to the process's current folder, which a
// host may have changed with chdir.)
bool isHostForm(const char* path) {
  if (path[0] == '\0' || std::strchr(path, '\\') != nullptr) return false;
  return !(std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':');
}

// ".", ".." and doubled slashes of an absolute host path, worked out.
std::string normalHostPath(const std::string& path) {
  std::vector<std::string> parts;
  size_t start = 0;
  while (start <= path.size()) {
    const size_t end = std::min(path.find('/', start), path.size());
    const std::string part = path.substr(start, end - start);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    start = end + 1;
  }
  std::string out;
  for (const std::string& part : parts) out += "/" + part;
  return out.empty() ? "/" : out;
}

bool copyOut(const std::string& path, char* out, uint32_t size) {
  if (out == nullptr || path.size() >= size) return qwin::fail(kErrFilenameExcedRange);
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

}  // namespace

bool libraryPathOf(const char* hostPath, char* out, uint32_t size) {
  if (hostPath == nullptr) return qwin::fail(kErrFilenameExcedRange);
  if (!isHostForm(hostPath)) return copyOut(hostPath, out, size);
  std::string host = hostPath;
  if (host[0] != '/') {
    char cwd[PATH_MAX];
    if (::getcwd(cwd, sizeof cwd) == nullptr) return qwin::failErrno();
    host = std::string(cwd) + "/" + host;
  }
  std::string library = qwin::hostToWindows(normalHostPath(host));
  // A folder named with its trailing separator keeps one.
  if (host.back() == '/' && library.back() != '\\') library += '\\';
  return copyOut(library, out, size);
}

bool hostPathOf(const char* libraryPath, char* out, uint32_t size) {
  if (libraryPath == nullptr) return qwin::fail(kErrFilenameExcedRange);
  const bool windowsForm =
      libraryPath[0] == '\\' || (std::isalpha(static_cast<unsigned char>(libraryPath[0])) &&
                                 libraryPath[1] == ':' && libraryPath[2] == '\\');
  qwin::WinPath win;
  qwin::Volume volume;
  if (!windowsForm || !qwin::parsePath(libraryPath, &win) ||
      !(win.unc ? qwin::findShare(win.server, win.share, &volume)
                : qwin::findDrive(win.drive, &volume)))
    return copyOut(libraryPath, out, size);
  // Existing components as the file system spells them; the rest as given.
  qwin::Resolved resolved;
  std::string host = volume.hostRoot;
  if (qwin::resolveParsed(win, &resolved)) {
    host = resolved.host;
  } else {
    for (const std::string& part : win.parts) host = qwin::joinHost(host, part);
  }
  // A folder named with its trailing separator keeps one.
  if (win.trailingSeparator && host.back() != '/') host += '/';
  return copyOut(host, out, size);
}

uint32_t fullPathName(const char* path, char* out, uint32_t size) {
  qwin::WinPath win;
  if (!qwin::parsePath(path, &win)) return 0;
  return qwin::copyPathOut(win.full(), out, size);
}

uint32_t currentDirectory(char* out, uint32_t size) {
  qwin::WinPath cwd = qwin::currentDirectoryPath();
  cwd.trailingSeparator = false;
  return qwin::copyPathOut(cwd.full(), out, size);
}

bool setCurrentDirectory(const char* path) {
  qwin::Resolved r;
  if (!qwin::resolvePath(path, &r)) return false;
  if (!r.exists) return qwin::fail(kErrFileNotFound);
  if (!S_ISDIR(r.st.st_mode)) return qwin::fail(qwin::kErrDirectory);
  qwin::WinPath cwd = r.win;
  cwd.trailingSeparator = false;
  std::lock_guard<std::mutex> lock(qwin::g_cwdMutex);
  qwin::g_cwd = cwd;
  qwin::g_cwdKnown = true;
  return true;
}

uint32_t tempFolder(char* out, uint32_t size) {
  std::string folder = qwin::hostToWindows(qwin::folderFromEnvironment("TMPDIR", nullptr, "/tmp"));
  if (folder.back() != '\\') folder += '\\';
  return qwin::copyPathOut(folder, out, size);
}

uint32_t appDataFolder(char* out, uint32_t size) {
  std::string folder =
      qwin::hostToWindows(qwin::folderFromEnvironment("XDG_DATA_HOME", ".local/share", "/tmp"));
  if (folder.size() > 3 && folder.back() == '\\') folder.pop_back();
  return qwin::copyPathOut(folder, out, size);
}

}  // namespace plat

extern "C" {

BOOL qwinLibraryPath(LPCSTR hostPath, LPSTR out, DWORD size) {
  return plat::libraryPathOf(hostPath, out, size) ? TRUE : FALSE;
}

BOOL qwinHostPath(LPCSTR libraryPath, LPSTR out, DWORD size) {
  return plat::hostPathOf(libraryPath, out, size) ? TRUE : FALSE;
}

}  // extern "C"
