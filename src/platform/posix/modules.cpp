// Modules: Windows library names mapped onto shared objects.
//
// "NAME.dll" (or "NAME" without extension) is the shared object
// "libNAME.so". A bare name is looked for in the host executable's folder,
// then in the folder of this library, then by the system loader's search; a
// Windows path names a folder of the emulated machine, where the file is
// matched case-insensitively. An existing ".so" file can also be named
// directly, by host or Windows path. Module handles are dlopen handles; only
// handles this layer handed out are accepted (others fail instead of
// crashing in the loader).
#include "modules.h"

#include <dlfcn.h>
#include <limits.h>
#include <link.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <map>
#include <mutex>
#include <set>

#include "codepage.h"
#include "errors.h"
#include "paths.h"
#include "platform.h"

namespace qwin {

namespace {

struct Modules {
  std::mutex mutex;
  std::map<void*, int> loaded;            // loadLibrary references per handle
  std::map<std::string, void*> resident;  // moduleOf handles by file
  std::set<void*> known;                  // every handle handed out
};

Modules& modules() {
  static auto* m = new Modules;
  return *m;
}

bool isFile(const std::string& host) {
  struct stat st {};
  return ::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool endsWithNoCase(const std::string& s, const char* suffix) {
  const size_t n = std::strlen(suffix);
  return s.size() >= n && equalFolded(s.substr(s.size() - n), suffix);
}

// "NAME.dll" -> "libNAME.so"; a ".so" name stays as it is.
std::string sharedObjectName(const std::string& fileName) {
  if (endsWithNoCase(fileName, ".so")) return fileName;
  std::string stem = fileName;
  if (endsWithNoCase(stem, ".dll")) stem.resize(stem.size() - 4);
  return "lib" + stem + ".so";
}

std::string folderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void* openObject(const std::string& hostPath) {
  return ::dlopen(hostPath.c_str(), RTLD_NOW | RTLD_LOCAL);
}

void* mainProgram() {
  static void* handle = ::dlopen(nullptr, RTLD_NOW);
  return handle;
}

bool isKnown(HMODULE module) {
  Modules& m = modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  return module == reinterpret_cast<HMODULE>(mainProgram()) || m.known.count(module) > 0;
}

}  // namespace

std::string hostExecutablePath() {
  char buffer[PATH_MAX];
  const ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof buffer - 1);
  if (n <= 0) return {};
  return std::string(buffer, static_cast<size_t>(n));
}

std::string hostExecutableFolder() { return folderOf(hostExecutablePath()); }

std::string platformLibraryFolder() {
  Dl_info info{};
  if (::dladdr(reinterpret_cast<void*>(&platformLibraryFolder), &info) == 0 ||
      info.dli_fname == nullptr)
    return {};
  char real[PATH_MAX];
  return folderOf(::realpath(info.dli_fname, real) ? real : info.dli_fname);
}

const QwinResourceTable* resourceTableOf(HMODULE module) {
  if (module == nullptr || !isKnown(module)) return nullptr;
  auto function = reinterpret_cast<QwinResourceTableFunction>(
      ::dlsym(reinterpret_cast<void*>(module), QWIN_RESOURCE_TABLE_SYMBOL));
  return function ? function() : nullptr;
}

}  // namespace qwin

namespace plat {

using qwin::fail;

HMODULE loadLibrary(const char* name) {
  if (name == nullptr || *name == '\0') return fail(kErrModNotFound), nullptr;
  const std::string text = name;
  void* handle = nullptr;
  if (text[0] == '/' && qwin::isFile(text)) {
    handle = qwin::openObject(text);
  } else if (text.find_first_of("\\/:") != std::string::npos) {
    // A Windows path: the file in that folder of the emulated machine.
    qwin::Resolved r;
    if (qwin::resolvePath(name, &r) && !r.isRoot()) {
      std::string file = r.host;
      if (!r.exists || !S_ISREG(r.st.st_mode)) {
        const std::string entry =
            qwin::findEntry(r.hostParent, qwin::sharedObjectName(r.lastName()));
        file = entry.empty() ? std::string() : qwin::joinHost(r.hostParent, entry);
      }
      if (!file.empty() && qwin::isFile(file)) handle = qwin::openObject(file);
    }
  } else {
    const std::string object = qwin::sharedObjectName(text);
    for (const std::string& folder :
         {qwin::hostExecutableFolder(), qwin::platformLibraryFolder()}) {
      if (folder.empty()) continue;
      const std::string entry = qwin::findEntry(folder, object);
      if (!entry.empty() && qwin::isFile(qwin::joinHost(folder, entry))) {
        handle = qwin::openObject(qwin::joinHost(folder, entry));
        if (handle) break;
      }
    }
    if (handle == nullptr) handle = ::dlopen(object.c_str(), RTLD_NOW | RTLD_LOCAL);
  }
  if (handle == nullptr) return fail(kErrModNotFound), nullptr;
  qwin::Modules& m = qwin::modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  ++m.loaded[handle];
  m.known.insert(handle);
  return reinterpret_cast<HMODULE>(handle);
}

void* procAddress(HMODULE module, const char* name) {
  if (name == nullptr || !qwin::isKnown(module)) return fail(kErrModNotFound), nullptr;
  void* address = ::dlsym(reinterpret_cast<void*>(module), name);
  if (address == nullptr) return fail(kErrProcNotFound), nullptr;
  return address;
}

bool freeLibrary(HMODULE module) {
  void* handle = reinterpret_cast<void*>(module);
  {
    qwin::Modules& m = qwin::modules();
    std::lock_guard<std::mutex> lock(m.mutex);
    auto it = m.loaded.find(handle);
    if (it == m.loaded.end()) return fail(kErrInvalidHandle);
    if (--it->second == 0) {
      m.loaded.erase(it);
      // Handles moduleOf gave out for the same file stay valid.
      bool resident = false;
      for (const auto& entry : m.resident) resident = resident || entry.second == handle;
      if (!resident) m.known.erase(handle);
    }
  }
  ::dlclose(handle);
  return true;
}

uint32_t moduleFileName(HMODULE module, char* out, uint32_t size) {
  std::string host;
  if (module == nullptr || module == reinterpret_cast<HMODULE>(qwin::mainProgram())) {
    host = qwin::hostExecutablePath();
  } else {
    if (!qwin::isKnown(module)) return fail(kErrModNotFound), 0;
    struct link_map* map = nullptr;
    if (::dlinfo(reinterpret_cast<void*>(module), RTLD_DI_LINKMAP, &map) != 0 || map == nullptr)
      return fail(kErrModNotFound), 0;
    host = (map->l_name && *map->l_name) ? map->l_name : qwin::hostExecutablePath();
  }
  char real[PATH_MAX];
  if (::realpath(host.c_str(), real)) host = real;
  const std::string path = qwin::hostToWindows(host);
  if (out == nullptr || size == 0) return fail(kErrInsufficientBuffer), 0;
  // Like GetModuleFileName: a truncated name fills the buffer and reports
  // its size with error 122.
  if (path.size() >= size) {
    std::memcpy(out, path.c_str(), size - 1);
    out[size - 1] = '\0';
    return fail(kErrInsufficientBuffer), size;
  }
  std::memcpy(out, path.c_str(), path.size() + 1);
  return static_cast<uint32_t>(path.size());
}

HMODULE moduleOf(const void* address) {
  Dl_info info{};
  if (address == nullptr || ::dladdr(address, &info) == 0 || info.dli_fname == nullptr)
    return fail(kErrModNotFound), nullptr;
  char real[PATH_MAX];
  const std::string file = ::realpath(info.dli_fname, real) ? real : info.dli_fname;
  qwin::Modules& m = qwin::modules();
  std::lock_guard<std::mutex> lock(m.mutex);
  auto it = m.resident.find(file);
  if (it != m.resident.end()) return reinterpret_cast<HMODULE>(it->second);
  void* handle = ::dlopen(file.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (handle == nullptr) {
    // The executable is not found by its file name.
    const std::string exe = qwin::hostExecutablePath();
    if (file == (::realpath(exe.c_str(), real) ? std::string(real) : exe))
      handle = qwin::mainProgram();
  }
  if (handle == nullptr) return fail(kErrModNotFound), nullptr;
  // The reference taken here lasts as long as the process, like the module
  // handles GetModuleHandleEx gives without counting.
  m.resident[file] = handle;
  m.known.insert(handle);
  return reinterpret_cast<HMODULE>(handle);
}

int loadString(HMODULE resources, uint32_t id, char* out, int size) {
  if (out == nullptr || size <= 0) return fail(kErrInvalidParameter), 0;
  out[0] = '\0';
  const QwinResourceTable* table = qwin::resourceTableOf(resources);
  if (table == nullptr) return fail(qwin::kErrResourceDataNotFound), 0;
  const QwinStringResource* begin = table->strings;
  const QwinStringResource* end = begin + (table->strings ? table->stringCount : 0);
  const QwinStringResource* found = std::lower_bound(
      begin, end, id, [](const QwinStringResource& s, uint32_t key) { return s.id < key; });
  if (found == end || found->id != id || found->text == nullptr)
    return fail(qwin::kErrResourceNameNotFound), 0;
  const size_t length = std::min<size_t>(std::strlen(found->text), static_cast<size_t>(size - 1));
  std::memcpy(out, found->text, length);
  out[length] = '\0';
  return static_cast<int>(length);
}

}  // namespace plat
