#include "core/paths.h"

#include <cstring>

#include "platform.h"

namespace afm3 {

const char* lastBackslash(const char* path) {
  const char* last = nullptr;
  for (const char* p = path; *p != '\0'; p = plat::charNext(p)) {
    if (*p == '\\') last = p;
  }
  return last;
}

void folderOf(const char* path, char* out, uint32_t size) {
  if (size == 0) return;
  out[0] = '\0';
  const char* last = lastBackslash(path);
  if (last == nullptr) return;
  const size_t length = static_cast<size_t>(last - path) + 1;
  if (length >= size) return;
  std::memcpy(out, path, length);
  out[length] = '\0';
}

std::string pathRoot(const char* path) {
  for (const char* p = path; *p != '\0'; p = plat::charNext(p)) {
    if (*p == ':') {
      size_t length = static_cast<size_t>(p - path) + 1;
      if (p[1] == '\\') ++length;
      return std::string(path, length);
    }
  }
  const char* share = nullptr;
  for (const char* p = path; *p != '\0' && share == nullptr; p = plat::charNext(p)) {
    if (p[0] == '\\' && p[1] == '\\') share = p;
  }
  if (share == nullptr) return {};
  // Skip the server name, then the share name; the root ends with the
  // backslash after the share.
  const char* p = share + 2;
  int separators = 0;
  for (; *p != '\0'; p = plat::charNext(p)) {
    if (*p == '\\' && ++separators == 2)
      return std::string(share, static_cast<size_t>(p - share) + 1);
  }
  return std::string(share);
}

}  // namespace afm3
