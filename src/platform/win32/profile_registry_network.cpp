// The user's profile (win.ini), the registry, the computer name and network
// connections on the Win32 API. Registry and WNet calls return their error
// instead of setting it; the wrappers store it as the last error too.
#include <string>
#include <utility>

#include "platform.h"

// Needs <windows.h>, which platform.h includes.
#include <winnetwk.h>

namespace plat {

namespace {

HKEY rootKey(RegistryRoot root) {
  return root == RegistryRoot::LocalMachine ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
}

// Closes the key and leaves code as the thread's last error.
bool finish(HKEY key, LONG code) {
  RegCloseKey(key);
  SetLastError(static_cast<DWORD>(code));
  return code == ERROR_SUCCESS;
}

// "\\server\share" of "\\server\share\dir...": the resource WNet connects.
// Empty when the path does not start with a server and a share.
std::string uncRoot(const char* path) {
  const std::string text = path ? path : "";
  if (text.size() < 3 || text[0] != '\\' || text[1] != '\\' || text[2] == '\\') return {};
  const size_t shareStart = text.find('\\', 2);
  if (shareStart == std::string::npos || shareStart + 1 >= text.size() ||
      text[shareStart + 1] == '\\') {
    return {};
  }
  return text.substr(0, text.find('\\', shareStart + 1));
}

}  // namespace

uint32_t profileString(const char* section, const char* key, const char* fallback, char* out,
                       uint32_t size) {
  return GetProfileStringA(section, key, fallback, out, size);
}

int profileInt(const char* section, const char* key, int fallback) {
  return static_cast<int>(GetProfileIntA(section, key, fallback));
}

bool registrySubKeys(RegistryRoot root, const char* keyPath, std::vector<std::string>* names) {
  HKEY key;
  LONG code = RegOpenKeyExA(rootKey(root), keyPath, 0, KEY_READ, &key);
  if (code != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(code));
    return false;
  }
  names->clear();
  for (DWORD index = 0;; ++index) {
    char name[256];  // key names are at most 255 characters
    DWORD length = sizeof name;
    code = RegEnumKeyExA(key, index, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (code == ERROR_NO_MORE_ITEMS) return finish(key, ERROR_SUCCESS);
    if (code != ERROR_SUCCESS) return finish(key, code);
    names->emplace_back(name, length);
  }
}

bool registryString(RegistryRoot root, const char* keyPath, const char* valueName,
                    std::string* value) {
  HKEY key;
  LONG code = RegOpenKeyExA(rootKey(root), keyPath, 0, KEY_QUERY_VALUE, &key);
  if (code != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(code));
    return false;
  }
  DWORD type = 0, bytes = 0;
  code = RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &bytes);
  if (code != ERROR_SUCCESS) return finish(key, code);
  if (type != REG_SZ && type != REG_EXPAND_SZ) return finish(key, ERROR_INVALID_DATATYPE);
  // Stored strings need not end with a NUL; one spare byte guarantees it.
  std::string data(bytes + 1, '\0');
  code = RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                          &bytes);
  if (code != ERROR_SUCCESS) return finish(key, code);
  data.resize(data.find('\0'));
  *value = std::move(data);
  return finish(key, ERROR_SUCCESS);
}

bool registryValues(RegistryRoot root, const char* keyPath, std::vector<RegistryValue>* values) {
  HKEY key;
  LONG code = RegOpenKeyExA(rootKey(root), keyPath, 0, KEY_QUERY_VALUE, &key);
  if (code != ERROR_SUCCESS) {
    SetLastError(static_cast<DWORD>(code));
    return false;
  }
  DWORD longestName = 0, longestData = 0;
  code = RegQueryInfoKeyA(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr,
                          &longestName, &longestData, nullptr, nullptr);
  if (code != ERROR_SUCCESS) return finish(key, code);
  values->clear();
  std::string name(longestName + 1, '\0');
  std::string data(longestData + 1, '\0');
  for (DWORD index = 0;; ++index) {
    DWORD nameLength = static_cast<DWORD>(name.size());
    DWORD dataLength = static_cast<DWORD>(data.size());
    code = RegEnumValueA(key, index, name.data(), &nameLength, nullptr, nullptr,
                         reinterpret_cast<BYTE*>(data.data()), &dataLength);
    if (code == ERROR_NO_MORE_ITEMS) return finish(key, ERROR_SUCCESS);
    if (code != ERROR_SUCCESS) return finish(key, code);
    values->push_back({name.substr(0, nameLength), data.substr(0, dataLength)});
  }
}

bool computerName(char* out, uint32_t size) {
  DWORD length = size;
  return GetComputerNameA(out, &length) != FALSE;
}

uint32_t connectNetworkPath(const char* remotePath) {
  std::string root = uncRoot(remotePath);
  if (root.empty()) {
    SetLastError(ERROR_BAD_NET_NAME);
    return ERROR_BAD_NET_NAME;
  }
  NETRESOURCEA resource = {};
  resource.dwType = RESOURCETYPE_DISK;
  resource.lpRemoteName = root.data();
  const DWORD code = WNetAddConnection2A(&resource, nullptr, nullptr, 0);
  SetLastError(code);
  return code;
}

uint32_t networkConnectionName(const char* localDrive, char* out, uint32_t size) {
  DWORD length = size;
  const DWORD code = WNetGetConnectionA(localDrive, out, &length);
  SetLastError(code);
  return code;
}

}  // namespace plat
