// The user's profile (win.ini), the registry and the computer name: an
// in-memory machine configured by tests.
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>

#include "afm3_compat.h"
#include "codepage.h"
#include "errors.h"
#include "machine.h"
#include "platform.h"

namespace qwin {

namespace {

// Names are kept as first given and looked up case-insensitively.
template <typename T>
struct NamedMap {
  std::map<std::string, std::pair<std::string, T>> entries;  // key: upper-case name

  T* find(const std::string& name) {
    auto it = entries.find(upperString(name));
    return it == entries.end() ? nullptr : &it->second.second;
  }
  T& insert(const std::string& name) {
    auto [it, added] = entries.try_emplace(upperString(name), name, T{});
    return it->second.second;
  }
  bool erase(const std::string& name) { return entries.erase(upperString(name)) > 0; }
};

struct RegistryKey {
  NamedMap<std::string> values;
  // Sub-keys live in a map of pointers so the type can nest.
  std::map<std::string, std::pair<std::string, std::shared_ptr<RegistryKey>>> keys;

  RegistryKey* child(const std::string& name, bool create) {
    const std::string key = upperString(name);
    auto it = keys.find(key);
    if (it != keys.end()) return it->second.second.get();
    if (!create) return nullptr;
    auto node = std::make_shared<RegistryKey>();
    keys.emplace(key, std::make_pair(name, node));
    return node.get();
  }
};

struct Configuration {
  std::mutex mutex;
  NamedMap<NamedMap<std::string>> profile;
  RegistryKey localMachine, currentUser;
  std::string computerName;
};

Configuration& configuration() {
  static auto* c = new Configuration;
  return *c;
}

RegistryKey* rootKey(Configuration& c, const std::string& name) {
  const std::string upper = upperString(name);
  if (upper == "HKLM" || upper == "HKEY_LOCAL_MACHINE") return &c.localMachine;
  if (upper == "HKCU" || upper == "HKEY_CURRENT_USER") return &c.currentUser;
  return nullptr;
}

std::vector<std::string> keyPath(const char* path) {
  std::vector<std::string> parts;
  std::string current;
  for (const char* p = path ? path : ""; *p; ++p) {
    if (*p == '\\' || *p == '/') {
      if (!current.empty()) parts.push_back(current);
      current.clear();
    } else {
      current += *p;
    }
  }
  if (!current.empty()) parts.push_back(current);
  return parts;
}

RegistryKey* walk(RegistryKey* key, const std::vector<std::string>& parts, bool create) {
  for (const std::string& part : parts) {
    if (key == nullptr) return nullptr;
    key = key->child(part, create);
  }
  return key;
}

std::string hostComputerName() {
  char name[256] = {};
  if (::gethostname(name, sizeof name - 1) != 0 || name[0] == '\0') return "LOCALHOST";
  std::string s = name;
  s = s.substr(0, s.find('.'));
  // NetBIOS names have at most 15 characters.
  return upperString(s.substr(0, 15));
}

// Copies a double-NUL-terminated list the way GetProfileString does when
// it enumerates: truncated lists end with two NULs and report size - 2.
uint32_t copyList(const std::vector<std::string>& names, char* out, uint32_t size) {
  if (size < 2) {
    if (size == 1) out[0] = '\0';
    return 0;
  }
  uint32_t used = 0;
  for (const std::string& name : names) {
    if (used + name.size() + 2 > size) {
      const uint32_t room = size - 2 - used;
      std::memcpy(out + used, name.c_str(), room);
      out[size - 2] = '\0';
      out[size - 1] = '\0';
      return size - 2;
    }
    std::memcpy(out + used, name.c_str(), name.size() + 1);
    used += static_cast<uint32_t>(name.size()) + 1;
  }
  out[used] = '\0';
  return used;
}

}  // namespace

void resetProfileAndRegistry() {
  Configuration& c = configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.profile = {};
  c.localMachine = {};
  c.currentUser = {};
  c.computerName.clear();
}

}  // namespace qwin

namespace plat {

using qwin::fail;

uint32_t profileString(const char* section, const char* key, const char* fallback, char* out,
                       uint32_t size) {
  if (out == nullptr || size == 0) return 0;
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  // A null section lists the sections, a null key the keys of a section.
  if (section == nullptr || key == nullptr) {
    std::vector<std::string> names;
    if (section == nullptr) {
      for (const auto& entry : c.profile.entries) names.push_back(entry.second.first);
    } else if (auto* keys = c.profile.find(section)) {
      for (const auto& entry : keys->entries) names.push_back(entry.second.first);
    }
    return qwin::copyList(names, out, size);
  }
  std::string value = fallback ? fallback : "";
  if (auto* keys = c.profile.find(section)) {
    if (const std::string* found = keys->find(key)) value = *found;
  }
  const size_t length = std::min<size_t>(value.size(), size - 1);
  std::memcpy(out, value.c_str(), length);
  out[length] = '\0';
  return static_cast<uint32_t>(length);
}

int profileInt(const char* section, const char* key, int fallback) {
  if (section == nullptr || key == nullptr) return fallback;
  char value[64];
  if (profileString(section, key, "", value, sizeof value) == 0) return fallback;
  // Like GetProfileInt: the leading decimal digits, 0 when there are none.
  return static_cast<int>(std::strtol(value, nullptr, 10));
}

bool registrySubKeys(RegistryRoot root, const char* keyPath, std::vector<std::string>* names) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  qwin::RegistryKey* base = root == RegistryRoot::LocalMachine ? &c.localMachine : &c.currentUser;
  qwin::RegistryKey* key = qwin::walk(base, qwin::keyPath(keyPath), false);
  if (key == nullptr) return fail(kErrFileNotFound);
  if (names != nullptr) {
    names->clear();
    for (const auto& entry : key->keys) names->push_back(entry.second.first);
  }
  return true;
}

bool registryString(RegistryRoot root, const char* keyPath, const char* valueName,
                    std::string* value) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  qwin::RegistryKey* base = root == RegistryRoot::LocalMachine ? &c.localMachine : &c.currentUser;
  qwin::RegistryKey* key = qwin::walk(base, qwin::keyPath(keyPath), false);
  if (key == nullptr) return fail(kErrFileNotFound);
  const std::string* found = key->values.find(valueName ? valueName : "");
  if (found == nullptr) return fail(kErrFileNotFound);
  if (value != nullptr) *value = *found;
  return true;
}

bool registryValues(RegistryRoot root, const char* keyPath, std::vector<RegistryValue>* values) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  qwin::RegistryKey* base = root == RegistryRoot::LocalMachine ? &c.localMachine : &c.currentUser;
  qwin::RegistryKey* key = qwin::walk(base, qwin::keyPath(keyPath), false);
  if (key == nullptr) return fail(kErrFileNotFound);
  if (values != nullptr) {
    values->clear();
    for (const auto& entry : key->values.entries)
      values->push_back({entry.second.first, entry.second.second});
  }
  return true;
}

bool computerName(char* out, uint32_t size) {
  std::string name;
  {
    qwin::Configuration& c = qwin::configuration();
    std::lock_guard<std::mutex> lock(c.mutex);
    name = c.computerName.empty() ? qwin::hostComputerName() : c.computerName;
  }
  if (out == nullptr || size <= name.size()) return fail(qwin::kErrBufferOverflow);
  std::memcpy(out, name.c_str(), name.size() + 1);
  return true;
}

}  // namespace plat

extern "C" {

void qwinTestSetProfileString(LPCSTR section, LPCSTR key, LPCSTR value) {
  if (section == nullptr || key == nullptr) return;
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  if (value == nullptr) {
    if (auto* keys = c.profile.find(section)) keys->erase(key);
    return;
  }
  c.profile.insert(section).insert(key) = value;
}

void qwinTestClearProfile(void) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.profile = {};
}

void qwinTestSetComputerName(LPCSTR name) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.computerName = name ? name : "";
}

// A null value removes the value; the keys on its path stay.
void qwinTestSetRegistryString(LPCSTR root, LPCSTR keyPath, LPCSTR valueName, LPCSTR value) {
  if (root == nullptr) return;
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  qwin::RegistryKey* base = qwin::rootKey(c, root);
  if (base == nullptr) return;
  qwin::RegistryKey* key = qwin::walk(base, qwin::keyPath(keyPath), true);
  const std::string name = valueName ? valueName : "";
  if (value == nullptr) {
    key->values.erase(name);
  } else {
    key->values.insert(name) = value;
  }
}

void qwinTestClearRegistry(void) {
  qwin::Configuration& c = qwin::configuration();
  std::lock_guard<std::mutex> lock(c.mutex);
  c.localMachine = {};
  c.currentUser = {};
}

}  // extern "C"
