#include "core/canonical_path.h"

#include <cstring>
#include <string>

#include "core/error_report.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr Location kCanonical{kModPaths, 4};
constexpr size_t kDriveRootLength = 3;  // "C:\"

bool fail(uint32_t id, uint32_t step, CanonicalReports reports, char* out, uint32_t outSize) {
  if (outSize > 0) out[0] = '\0';
  if (reports == CanonicalReports::Report) reportError(id, kCanonical, step);
  return false;
}

// The root of a path: "\\server\share\" (empty when no share name
// follows the server), else its first three characters with the drive
// letter upper-cased.
std::string rootOf(const char* path) {
  if (path[0] == '\\' && path[1] == '\\') {
    int separators = 0;
    for (const char* p = path + 2; *p != '\0'; p = plat::charNext(p)) {
      if (*p == '\\' && ++separators == 2)
        return std::string(path, static_cast<size_t>(p - path) + 1);
    }
    return {};
  }
  // Three characters, not three bytes, so that a double-byte character is
  // never cut in two.
  const char* end = path;
  for (size_t i = 0; i < kDriveRootLength && *end != '\0'; ++i) end = plat::charNext(end);
  std::string root(path, static_cast<size_t>(end - path));
  if (!root.empty() && root[0] >= 'a' && root[0] <= 'z')
    root[0] = static_cast<char>(root[0] - 'a' + 'A');
  return root;
}

// The name the file system reports for an existing path's last component.
bool reportedName(const std::string& path, CanonicalNames names, std::string* name) {
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(path.c_str(), &data);
  if (find == plat::invalidFile()) return false;
  plat::findClose(find);
  if (names == CanonicalNames::Short) {
    *name = data.alternateName[0] != '\0' ? data.alternateName : data.name;
    return true;
  }
  std::string longName = data.name;
  if (data.alternateName[0] == '\0' && !longName.empty()) {
    char* rest = const_cast<char*>(plat::charNext(longName.data()));
    plat::charLower(rest);
  }
  *name = longName;
  return true;
}

}  // namespace

bool canonicalPath(const char* path, char* out, uint32_t outSize, CanonicalNames names,
                   CanonicalReports reports) {
  if (outSize > 0) out[0] = '\0';
  if (path == nullptr || path[0] == '\0' || path[1] == '\0')
    return fail(kErrNone, kCanonicalStepTooShort, reports, out, outSize);
  std::string result = rootOf(path);
  if (result.empty()) return fail(kErrNone, kCanonicalStepNoShare, reports, out, outSize);

  const char* p = path + result.size();
  while (*p != '\0') {
    const char* start = p;
    while (*p != '\0' && *p != '\\') p = plat::charNext(p);
    const std::string component(start, static_cast<size_t>(p - start));
    if (*p == '\\') ++p;
    if (component.empty()) continue;
    if (!result.empty() && result.back() != '\\') result += '\\';
    std::string name;
    if (!reportedName(result + component, names, &name))
      return fail(kErrStoredFileMissing, kCanonicalStepNotFound, reports, out, outSize);
    result += name;
  }
  if (result.size() >= outSize) return fail(kErrNone, kCanonicalStepTooLong, reports, out, outSize);
  std::memcpy(out, result.c_str(), result.size() + 1);
  if (names == CanonicalNames::Short) plat::charLower(out);
  return true;
}

}  // namespace afm3
