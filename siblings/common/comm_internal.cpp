#include "comm_internal.h"

#include <cstdlib>
#include <cstring>

#include "platform.h"

namespace q32 {

namespace {

bool isDriveLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// Offset of the separator that ends the component starting at offset, or of
// the NUL.
size_t componentEnd(const char* path, size_t offset) {
  const char* p = path + offset;
  while (*p != '\0' && !isSeparator(*p)) p = plat::charNext(p);
  return static_cast<size_t>(p - path);
}

}  // namespace

size_t rootLength(const char* path) {
  if (path == nullptr || path[0] == '\0') return 0;
  if (isSeparator(path[0]) && isSeparator(path[1])) {
    const size_t serverEnd = componentEnd(path, 2);
    if (path[serverEnd] == '\0') return serverEnd;
    const size_t shareEnd = componentEnd(path, serverEnd + 1);
    return path[shareEnd] == '\0' ? shareEnd : shareEnd + 1;
  }
  if (isSeparator(path[0])) return 1;
  // A drive letter is always a single-byte character.
  if (isDriveLetter(path[0]) && path[1] == ':') return isSeparator(path[2]) ? 3 : 2;
  return 0;
}

size_t nameOffset(const char* path) {
  if (path == nullptr) return 0;
  size_t cut = 0;
  for (const char* p = path; *p != '\0'; p = plat::charNext(p)) {
    if (isSeparator(*p)) cut = static_cast<size_t>(p - path) + 1;
  }
  if (cut == 0 && isDriveLetter(path[0]) && path[1] == ':') cut = 2;
  return cut;
}

size_t lastCharOffset(const char* path) {
  const char* last = path;
  for (const char* p = path; *p != '\0'; p = plat::charNext(p)) last = p;
  return static_cast<size_t>(last - path);
}

size_t boundedCopy(char* destination, size_t capacity, const char* source, size_t length) {
  if (destination == nullptr || capacity == 0) return 0;
  // Find how much fits: whole characters only.
  size_t fits = 0;
  const char* p = source;
  while (static_cast<size_t>(p - source) < length && *p != '\0') {
    const char* next = plat::charNext(p);
    const size_t end = static_cast<size_t>(next - source);
    if (end > length || end > capacity - 1) break;
    fits = end;
    p = next;
  }
  std::memmove(destination, source, fits);
  destination[fits] = '\0';
  return fits;
}

bool readEnvironment(const char* name, std::string* value) {
#ifdef _WIN32
  // The process environment block, which SetEnvironmentVariable and the C
  // runtime's _putenv both change.
  char buffer[1024];
  const DWORD length = GetEnvironmentVariableA(name, buffer, sizeof buffer);
  if (length == 0 || length >= sizeof buffer) return false;
  value->assign(buffer, length);
  return true;
#else
  const char* found = std::getenv(name);
  if (found == nullptr) return false;
  *value = found;
  return true;
#endif
}

}  // namespace q32
