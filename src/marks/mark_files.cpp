// Mark files as a whole: afm3NewMarkFile, afm3DupMarkFile,
// afm3GetRightMarkFile, afm3CheckMarkFileStatus, afm3UpdateMarkFileInfo,
// afm3GetMarkFileInfo, the file-name hashes, and the routine album
// creation and opening call.
//
// A mark file belongs to an album by its name, its place and the album
// path and title in its header; nothing in the album points to it. Its
// default home is AppDataFolder. Every file made here is made new: an
// existing file is never replaced.
#include "marks/mark_files.h"

#include <cstring>
#include <string>
#include <string_view>

#include "afm3.h"
#include "core/canonical_path.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "core/paths.h"
#include "marks/mark_layout.h"
#include "marks/mark_paths.h"
#include "marks/mark_store.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr Location kLocate{kModMarks, 1};
constexpr Location kUpdate{kModMarks, 5};
constexpr Location kInfo{kModMarks, 6};
constexpr Location kStatus{kModMarkFiles, 1};
constexpr Location kNewFile{kModMarkFiles, 2};
constexpr Location kDup{kModMarkFiles, 6};

enum LocateStep : uint32_t {
  kLocStepHeader = 4,
  kLocStepNames = 6,
  kLocStepBuckets = 8,
  kLocStepDiskSpace = 9,
  kLocStepCreate = 10,
};
enum NewFileStep : uint32_t {
  kNewStepCreate = 1,
  kNewStepHome = 2,
  kNewStepFallback = 3,
  kNewStepDiskSpace = 4,
  kNewStepHeader = 5,
  kNewStepNames = 6,
  kNewStepBuckets = 7,
};
enum InfoStep : uint32_t {
  kInfoStepOpen = 1,
  kInfoStepSeekNames = 2,
  kInfoStepReadNames = 3,
  kInfoStepReadHeader = 4,
};
enum UpdateStep : uint32_t {
  kUpdStepOpen = 1,
  kUpdStepSeekNames = 2,
  kUpdStepWriteNames = 3,
  kUpdStepReadHeader = 4,
  kUpdStepWriteHeader = 5,
  kUpdStepOpenForNames = 6,
};
enum DupStep : uint32_t { kDupStepMissing = 1, kDupStepCopy = 2 };
constexpr uint32_t kStatusStepMissing = 1;

constexpr const char* kMarkExtension = "mrk";
constexpr const char* kMarkSuffix = ".mrk";
constexpr const char* kCopyProbe = "~~~tmp.tmp";
constexpr const char* kAlbumProbe = "~~q-arvo.tmp";
constexpr const char* kAllMarkFiles = "*.mrk";
constexpr size_t kLongestMarkPath = 255;

// Copies text into out (a buffer of at least size bytes) with its NUL,
// keeping at most size - 1 bytes and never half a double-byte character.
void copyCut(std::string_view text, char* out, size_t size) {
  const std::string whole(text);
  size_t kept = 0;
  for (const char* p = whole.c_str(); *p != '\0';) {
    const char* next = plat::charNext(p);
    if (kept + static_cast<size_t>(next - p) > size - 1) break;
    kept += static_cast<size_t>(next - p);
    p = next;
  }
  std::memcpy(out, whole.data(), kept);
  out[kept] = '\0';
}

bool copyPath(const std::string& path, char* out) {
  if (path.size() >= kPathSize) return false;
  std::memcpy(out, path.c_str(), path.size() + 1);
  return true;
}

std::string folderPart(const char* path) {
  char folder[kPathSize];
  folderOf(path, folder, sizeof folder);
  return folder;
}

// AppDataFolder + name, the name's stem shortened (by whole characters)
// so that the path has at most 255 characters; ".mrk" stays.
bool homePathFor(const char* home, const std::string& name, char* out) {
  const std::string stem = name.substr(0, name.size() - std::strlen(kMarkSuffix));
  const size_t room = kLongestMarkPath - std::strlen(kMarkSuffix);
  std::string kept;
  for (const char* p = stem.c_str(); *p != '\0';) {
    const char* next = plat::charNext(p);
    if (std::strlen(home) + kept.size() + static_cast<size_t>(next - p) > room) break;
    kept.append(p, next);
    p = next;
  }
  return (stem.empty() || !kept.empty()) && copyPath(home + kept + kMarkSuffix, out);
}

// The canonical short form of an album path as a mark file keeps it.
bool albumPathKey(const char* albumPath, char* out, CanonicalReports reports) {
  return canonicalPath(albumPath, out, kMarkAlbumPathSize, CanonicalNames::Short, reports);
}

bool isValidMarkFile(const char* path) { return fileExists(path) && verifyMarkFile(path); }

int checkMarkFileStatus(const char* markPath) {
  char path[kPathSize];
  if (!libraryFormOf(markPath, path) || !fileExists(path)) {
    const uint32_t error = plat::lastError();
    reportSystemError(error != 0 ? error : plat::kErrFileNotFound, kStatus, kStatusStepMissing);
    return 0;
  }
  return verifyMarkFile(path) ? 1 : -1;
}

// Where a version-2 album's mark file goes: beside the album when its
// folder takes new files. A valid mark file already there is the album's
// (*existing); any other file of that name is kept and the new name made
// unique. false when the folder takes no new files.
bool besideAlbumPath(const char* album, const std::string& name, char* out, bool* existing) {
  *existing = false;
  if (!folderAcceptsNewFile(album, kAlbumProbe) || !copyPath(folderPart(album) + name, out))
    return false;
  if (!fileExists(out)) return true;
  if (verifyMarkFile(out)) {
    *existing = true;
    return true;
  }
  return makeUniqueName(out, kMarkExtension, NamingMode::Long);
}

BOOL newMarkFile(const char* title, char* markPath, bool allowFallback) {
  char path[kPathSize];
  if (markPath == nullptr || !libraryFormOf(markPath, path)) {
    reportError(kErrNone, kNewFile, kNewStepCreate);
    return FALSE;
  }
  const std::string nameOnEntry = path + folderPart(path).size();
  // The naming's result is not a condition: the last candidate is tried.
  makeUniqueName(path, kMarkExtension, namingModeFor(path));
  plat::FileHandle file = createNewFile(path);
  if (file == plat::invalidFile()) {
    const uint32_t error = plat::lastError();
    if (!allowFallback) {
      reportSystemError(error, kNewFile, kNewStepCreate);
      return FALSE;
    }
    char home[kPathSize];
    if (!markFileHome(home, kNewFile, kNewStepHome)) return FALSE;
    // The fallback never replaces a mark file already in AppDataFolder.
    if (!copyPath(home + nameOnEntry, path) ||
        !makeUniqueName(path, kMarkExtension, NamingMode::Long))
      return FALSE;
    file = createNewFile(path);
    if (file == plat::invalidFile()) {
      reportSystemError(plat::lastError(), kNewFile, kNewStepFallback);
      return FALSE;
    }
  }
  const EmptyFileSteps steps{kNewFile, kNewStepDiskSpace, kNewStepHeader, kNewStepNames,
                             kNewStepBuckets};
  if (!writeEmptyMarkFile(file, path, title, "", steps)) return FALSE;
  std::strcpy(markPath, path);
  return TRUE;
}

BOOL getMarkFileInfo(const char* markPath, void* namesOut, char* titleOut, char* albumPathOut) {
  char path[kPathSize];
  if (!libraryFormOf(markPath, path)) {
    reportError(kErrNone, kInfo, kInfoStepOpen);
    return FALSE;
  }
  MarkFile file;
  if (!verifyMarkFile(path) || !file.open(path, MarkAccess::Read, kInfo, kInfoStepOpen))
    return FALSE;
  if (titleOut != nullptr || albumPathOut != nullptr) {
    uint8_t header[kMarkHeaderSize];
    if (!file.read(0, header, kMarkHeaderSize, kInfo, kInfoStepReadHeader, kInfoStepReadHeader))
      return FALSE;
    const MarkHeader view(header);
    if (titleOut != nullptr) copyCut(view.title(), titleOut, kMarkTitleKept + 1);
    if (albumPathOut != nullptr) copyCut(view.albumPath(), albumPathOut, kPathSize);
  }
  if (namesOut != nullptr && !file.read(kMarkNamesOffset, namesOut, kMarkNamesSize, kInfo,
                                        kInfoStepSeekNames, kInfoStepReadNames))
    return FALSE;
  return TRUE;
}

// Rewrites the header's title and album path first, then the names; each
// is one write of its own.
BOOL updateMarkFileInfo(const char* markPath, const void* names, const char* albumPath,
                        const char* title) {
  char path[kPathSize];
  if (!libraryFormOf(markPath, path)) {
    reportError(kErrNone, kUpdate, kUpdStepOpen);
    return FALSE;
  }
  if (!verifyMarkFile(path)) return FALSE;
  MarkFile file;
  if (albumPath != nullptr || title != nullptr) {
    char key[kMarkAlbumPathSize] = {};
    char album[kPathSize];
    if (albumPath != nullptr &&
        (!libraryFormOf(albumPath, album) || !albumPathKey(album, key, CanonicalReports::Report)))
      return FALSE;
    uint8_t header[kMarkHeaderSize];
    if (!file.open(path, MarkAccess::Write, kUpdate, kUpdStepOpen) ||
        !file.read(0, header, kMarkHeaderSize, kUpdate, kUpdStepReadHeader, kUpdStepReadHeader))
      return FALSE;
    MarkHeader view(header);
    if (title != nullptr) view.setTitle(title);
    if (albumPath != nullptr) view.setAlbumPath(key);
    view.seal();
    if (!file.write(0, header, kMarkHeaderSize, kUpdate, kUpdStepWriteHeader, kUpdStepWriteHeader))
      return FALSE;
  }
  if (names != nullptr) {
    if (!file.isOpen() && !file.open(path, MarkAccess::Write, kUpdate, kUpdStepOpenForNames))
      return FALSE;
    if (!file.write(kMarkNamesOffset, names, kMarkNamesSize, kUpdate, kUpdStepSeekNames,
                    kUpdStepWriteNames))
      return FALSE;
  }
  return TRUE;
}

// Whether the mark file at path was made for the album: its album path is
// key (ignoring case) and its title begins the album's title.
bool belongsTo(const char* path, const char* key, std::string_view title) {
  char storedTitle[kMarkTitleSize] = {};
  char storedPath[kPathSize] = {};
  if (!getMarkFileInfo(path, nullptr, storedTitle, storedPath)) return false;
  return plat::compareNoCase(storedPath, key) == 0 && title.starts_with(storedTitle);
}

// The first mark file in AppDataFolder made for the album; false when
// none is.
bool findInHome(const char* key, std::string_view title, char* out) {
  const std::string home = libraryState().appDataFolder;
  plat::FindData data;
  plat::FindHandle find = plat::findFirst((home + kAllMarkFiles).c_str(), &data);
  if (find == plat::invalidFile()) return false;
  bool found = false;
  do {
    if (data.attributes & plat::kAttrDirectory) continue;
    const bool shortName = libraryState().shortNameMode && data.alternateName[0] != '\0';
    const std::string candidate = home + (shortName ? data.alternateName : data.name);
    found = belongsTo(candidate.c_str(), key, title) && copyPath(candidate, out);
  } while (!found && plat::findNext(find, &data));
  plat::findClose(find);
  return found;
}

BOOL getRightMarkFile(const char* albumPath, const char* title, char* markPathOut,
                      bool besideAlbum) {
  char album[kPathSize];
  if (markPathOut == nullptr || !libraryFormOf(albumPath, album)) return FALSE;
  const std::string name = markFileNameOf(album);
  const std::string beside = folderPart(album) + name;
  if (besideAlbum) {
    const std::string home = std::string(libraryState().appDataFolder) + name;
    for (const std::string& candidate : {beside, home}) {
      if (isValidMarkFile(candidate.c_str()) && copyPath(candidate, markPathOut)) return TRUE;
    }
    return FALSE;
  }
  char key[kMarkAlbumPathSize];
  if (!albumPathKey(album, key, CanonicalReports::Report)) return FALSE;
  if (findInHome(key, title != nullptr ? title : "", markPathOut)) return TRUE;
  // Not in AppDataFolder: a mark file beside the album is the album's.
  return isValidMarkFile(beside.c_str()) && copyPath(beside, markPathOut);
}

// Drops a numbering suffix ("-0003") from the file name of path: the
// name's last "-" and the digits after it, up to its extension, become
// ".mrk". A hyphen in a folder name, or one followed by anything but
// digits, stays.
void dropNumberSuffix(char* path) {
  const size_t nameStart = folderPart(path).size();
  std::string name = path + nameStart;
  const size_t hyphen = name.rfind('-');
  if (hyphen == std::string::npos) return;
  const size_t dot = name.find('.', hyphen);
  const std::string digits =
      name.substr(hyphen + 1, dot == std::string::npos ? dot : dot - hyphen - 1);
  if (digits.empty() || digits.find_first_not_of("0123456789") != std::string::npos) return;
  name = name.substr(0, hyphen) + kMarkSuffix;
  std::strcpy(path + nameStart, name.c_str());
}

uint64_t fileSizeOf(const char* path) {
  plat::FindData data;
  plat::FindHandle find = plat::findFirst(path, &data);
  if (find == plat::invalidFile()) return 0;
  plat::findClose(find);
  return data.size;
}

// The copy is a new file: the album path and title are put into it after
// it is complete, and a copy that cannot be described is deleted.
BOOL dupMarkFile(const char* source, const char* albumPath, const char* title, char* markPathOut,
                 bool besideAlbum) {
  char from[kPathSize];
  if (!libraryFormOf(source, from) || !fileExists(from)) {
    reportError(kErrStoredFileMissing, kDup, kDupStepMissing);
    return FALSE;
  }
  char album[kPathSize] = {};
  const bool haveAlbum = albumPath != nullptr && libraryFormOf(albumPath, album);
  char to[kPathSize];
  std::strcpy(to, from);
  if (besideAlbum && haveAlbum) {
    const std::string name = markFileNameOf(album);
    const bool beside = folderAcceptsNewFile(album, kCopyProbe);
    const std::string home = libraryState().appDataFolder;
    if (!copyPath((beside ? folderPart(album) : home) + name, to)) {
      reportError(kErrNone, kDup, kDupStepMissing);
      return FALSE;
    }
  }
  dropNumberSuffix(to);
  if (!makeUniqueName(to, kMarkExtension, NamingMode::Long)) return FALSE;
  if (!plat::copyFile(from, to, true)) {
    reportDiskSpace(from, fileSizeOf(from), kDup, kDupStepCopy);
    return FALSE;
  }
  if (!updateMarkFileInfo(to, nullptr, haveAlbum ? album : nullptr, title)) {
    plat::deleteFile(to);
    return FALSE;
  }
  if (markPathOut != nullptr) std::strcpy(markPathOut, to);
  return TRUE;
}

DWORD hashOf(const char* path, uint32_t (*hash)(std::string_view)) {
  if (path == nullptr) return 0;
  char converted[kPathSize];
  return hash(libraryFormOf(path, converted) ? converted : path);
}

// Registered with the album core when the library is loaded.
[[maybe_unused]] const bool handOffRegistered =
    (registerMarkFileHandOff(&createOrLocateMarkFile), true);

}  // namespace

bool createOrLocateMarkFile(const MarkFileRequest& request) {
  char album[kPathSize];
  if (request.albumPath == nullptr || !libraryFormOf(request.albumPath, album)) {
    reportError(kErrNone, kLocate, kLocStepCreate);
    return false;
  }
  if (request.checkExisting && request.markPath[0] != '\0' &&
      checkMarkFileStatus(request.markPath) == 1)
    return true;
  const std::string name = markFileNameOf(album);
  char path[kPathSize];
  bool existing = false;
  if (!request.besideAlbum || !besideAlbumPath(album, name, path, &existing)) {
    char home[kPathSize];
    if (!markFileHome(home, kLocate, kLocStepCreate)) return false;
    if (!homePathFor(home, name, path)) {
      reportError(kErrNone, kLocate, kLocStepCreate);
      return false;
    }
    if (!makeUniqueName(path, kMarkExtension, NamingMode::Long)) return false;
  }
  if (!existing) {
    plat::FileHandle file = createNewFile(path);
    if (file == plat::invalidFile()) {
      reportSystemError(plat::lastError(), kLocate, kLocStepCreate);
      return false;
    }
    char key[kMarkAlbumPathSize] = {};
    albumPathKey(album, key, CanonicalReports::Quiet);
    const EmptyFileSteps steps{kLocate, kLocStepDiskSpace, kLocStepHeader, kLocStepNames,
                               kLocStepBuckets};
    if (!writeEmptyMarkFile(file, path, request.title, key, steps)) return false;
  }
  std::strcpy(request.markPath, path);
  return true;
}

}  // namespace afm3

using namespace afm3;

extern "C" DWORD WINAPI afm3GetFileNameHash(LPCSTR path) { return hashOf(path, fileNameHash); }

extern "C" DWORD WINAPI afm3GetFileNameHashExt(LPCSTR path) {
  return hashOf(path, fileNameHashExt);
}

extern "C" int WINAPI afm3CheckMarkFileStatus(HINSTANCE, LPCSTR markPath) {
  ErrorModeGuard errorMode;
  return checkMarkFileStatus(markPath);
}

extern "C" BOOL WINAPI afm3NewMarkFile(HINSTANCE, DWORD, LPCSTR title, LPSTR markPath,
                                       BOOL allowFallback) {
  ErrorModeGuard errorMode;
  return newMarkFile(title, markPath, allowFallback != FALSE);
}

extern "C" BOOL WINAPI afm3GetMarkFileInfo(HINSTANCE, LPCSTR markPath, void* namesOut,
                                           LPSTR titleOut, LPSTR albumPathOut) {
  ErrorModeGuard errorMode;
  return getMarkFileInfo(markPath, namesOut, titleOut, albumPathOut);
}

extern "C" BOOL WINAPI afm3UpdateMarkFileInfo(HINSTANCE, LPSTR markPath, const void* names,
                                              LPCSTR albumPath, LPCSTR title) {
  ErrorModeGuard errorMode;
  return updateMarkFileInfo(markPath, names, albumPath, title);
}

extern "C" BOOL WINAPI afm3GetRightMarkFile(HINSTANCE, LPCSTR albumPath, LPCSTR title,
                                            LPSTR markPathOut, BOOL besideAlbum) {
  ErrorModeGuard errorMode;
  return getRightMarkFile(albumPath, title, markPathOut, besideAlbum != FALSE);
}

extern "C" BOOL WINAPI afm3DupMarkFile(HINSTANCE, LPCSTR source, LPCSTR albumPath, LPCSTR title,
                                       LPSTR markPathOut, BOOL besideAlbum) {
  ErrorModeGuard errorMode;
  return dupMarkFile(source, albumPath, title, markPathOut, besideAlbum != FALSE);
}
