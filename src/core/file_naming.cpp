#include "core/file_naming.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "core/error_report.h"
#include "core/library_state.h"
#include "core/paths.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr Location kUniqueNaming{kModPaths, 16};
constexpr Location kCreate{kModAlbum, 1};
constexpr uint32_t kStepNoUsableTitle = 9;
constexpr uint32_t kLongNameLimit = 255;     // the derived path stays below this
constexpr uint32_t kLongBaseLimit = 245;     // folder + numbered base name
constexpr uint32_t kLongNumberLimit = 9999;  // "-0000" .. "-9998"
constexpr uint32_t kShortNumberLimit = 999;  // "000" .. "998"
constexpr uint32_t kShortBaseKeep = 5;
constexpr uint32_t kShortNameChars = 8;
constexpr const char* kDbcsShortName = "album000";

constexpr const char* kLongRemoved = ",<>?/\":;|\\*+=";
constexpr const char* kShortRemoved = ",<>?/\":;|\\*+= []{}.'`~";

bool removedFrom(const char* set, char c) { return c != '\0' && std::strchr(set, c) != nullptr; }

bool isDoubleByte(const char* p) { return plat::charNext(p) - p == 2; }

std::string number(uint32_t n, int digits) {
  char text[16];
  std::snprintf(text, sizeof text, "%0*u", digits, n);
  return text;
}

// path = folder + base + "." + extension, when that fits a path.
bool numberedName(char* path, const char* folder, const std::string& base, const char* extension) {
  const std::string candidate = std::string(folder) + base + "." + extension;
  if (candidate.size() >= kPathSize) return false;
  std::memcpy(path, candidate.c_str(), candidate.size() + 1);
  return true;
}

}  // namespace

bool fileExists(const char* path) {
  plat::FindData data;
  for (int attempt = 0; attempt < 2; ++attempt) {
    plat::FindHandle find = plat::findFirst(path, &data);
    if (find != plat::invalidFile()) {
      plat::findClose(find);
      return true;
    }
    const bool network = path[0] == '\\' && path[1] == '\\';
    if (attempt > 0 || !network || plat::connectNetworkPath(path) != 0) return false;
  }
  return false;
}

bool folderAcceptsNewFile(const char* path, const char* probeName) {
  char probe[kPathSize];
  folderOf(path, probe, sizeof probe);
  if (std::strlen(probe) + std::strlen(probeName) >= sizeof probe) return false;
  std::strcat(probe, probeName);
  // Every opener of an album in this folder probes with the same name:
  // the probe is shared, and a probe another process holds without
  // sharing proves as much as our own.
  constexpr uint32_t kProbeShare = plat::kShareRead | plat::kShareWrite | plat::kShareDelete;
  plat::FileHandle file =
      plat::openFile(probe, plat::kGenericWrite, kProbeShare, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) return plat::lastError() == plat::kErrSharingViolation;
  plat::closeFile(file);
  plat::deleteFile(probe);
  return true;
}

void albumTitleOf(const uint8_t* info, char* out, uint32_t size) {
  constexpr uint32_t kTitle = 8, kTitleRoom = 24, kTail = 1482, kTailRoom = 1736 - 1482;
  std::string title(reinterpret_cast<const char*>(info + kTitle),
                    strnlen(reinterpret_cast<const char*>(info + kTitle), kTitleRoom));
  title.append(reinterpret_cast<const char*>(info + kTail),
               strnlen(reinterpret_cast<const char*>(info + kTail), kTailRoom));
  std::snprintf(out, size, "%s", title.c_str());
}

NamingMode namingModeFor(const char* path) {
  plat::VolumeInfo volume;
  const std::string root = pathRoot(path);
  if (plat::volumeInformation(root.empty() ? nullptr : root.c_str(), &volume) &&
      volume.maxComponentLength == 255)
    return NamingMode::Long;
  return NamingMode::Short;
}

bool appendNameFromTitle(char* path, const char* title, NamingMode mode) {
  size_t length = std::strlen(path);
  const size_t start = length;
  if (mode == NamingMode::Long) {
    for (const char* p = title; *p != '\0';) {
      const char* next = plat::charNext(p);
      const size_t width = static_cast<size_t>(next - p);
      if (length + width >= kLongNameLimit) break;
      if (width > 1 || !removedFrom(kLongRemoved, *p)) {
        std::memcpy(path + length, p, width);
        length += width;
      }
      p = next;
    }
    path[length] = '\0';
    if (length == start) {
      reportError(kErrUnusableTitle, kCreate, kStepNoUsableTitle);
      return false;
    }
    qfdRemoveBlanks(path);
    return true;
  }
  // 8.3: a double-byte character among the first eight gives a fixed name.
  const char* p = title;
  for (uint32_t i = 0; i < kShortNameChars && *p != '\0'; ++i, p = plat::charNext(p)) {
    if (isDoubleByte(p)) {
      std::strcpy(path + length, kDbcsShortName);
      return true;
    }
  }
  uint32_t kept = 0;
  for (p = title; *p != '\0' && kept < kShortNameChars; p = plat::charNext(p)) {
    if (isDoubleByte(p) || removedFrom(kShortRemoved, *p)) continue;
    path[length++] = *p;
    ++kept;
  }
  path[length] = '\0';
  if (kept == 0) {
    reportError(kErrUnusableTitle, kCreate, kStepNoUsableTitle);
    return false;
  }
  return true;
}

bool makeUniqueName(char* path, const char* extension, NamingMode mode) {
  if (!fileExists(path)) return true;
  char folder[kPathSize];
  folderOf(path, folder, sizeof folder);
  const size_t folderLength = std::strlen(folder);
  std::string base = path + folderLength;
  // The base name is the file name without its last extension.
  const size_t dot = base.rfind('.');
  if (dot != std::string::npos) base.resize(dot);

  if (mode == NamingMode::Long) {
    // Shorten by whole characters so folder + base stays within the limit.
    std::string kept;
    for (const char* p = base.c_str(); *p != '\0';) {
      const char* next = plat::charNext(p);
      if (folderLength + kept.size() + static_cast<size_t>(next - p) > kLongBaseLimit) break;
      kept.append(p, next);
      p = next;
    }
    for (uint32_t n = 0; n < kLongNumberLimit; ++n) {
      if (numberedName(path, folder, kept + "-" + number(n, 4), extension) && !fileExists(path))
        return true;
    }
  } else {
    std::string stem = base.substr(0, std::min<size_t>(base.size(), kShortBaseKeep));
    for (uint32_t n = 0; n < kShortNumberLimit; ++n) {
      if (numberedName(path, folder, stem + number(n, 3), extension) && !fileExists(path))
        return true;
    }
  }
  reportError(kErrNamesTaken, kUniqueNaming, 1);
  return false;
}

}  // namespace afm3
