// Creating an album: the header, the empty page directory, the field
// scheme, written in that order to a new file that is left open for
// writing only, without sharing.
//
//   0     AlbumHeader (1798)
//   1798  PageDirectory: 128 zero entries (512)
//   2310  FieldDef table (16 per field)
//   then  FieldNameList, then the IndexList when a field is indexed
#include <cstdio>
#include <cstring>

#include "afm3.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/album_table.h"
#include "core/caller_path.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/field_scheme.h"
#include "core/field_types.h"
#include "core/file_naming.h"
#include "core/heap_block.h"
#include "core/library_state.h"
#include "core/mark_file_hook.h"
#include "platform.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr Location kCreate{kModAlbum, 1};
constexpr const char* kAlbumExtension = "ab3";
constexpr const char* kAlbumSuffix = ".ab3";

enum CreateStep : uint32_t {
  kStepSlotPath = 0,
  kStepCreateFile = 1,
  kStepFieldDefs = 2,
  kStepPageDir = 3,
  kStepNameBlock = 4,
  kStepWriteHeader = 5,
  kStepWritePageDir = 6,
  kStepWriteFieldDefs = 7,
  kStepWriteNames = 8,
  kStepWriteIndexList = 10,
  kStepMarkFile = 13,
};

// Derives "folder\title.ab3" made unique; false after a report, with path
// holding the last candidate.
bool deriveAlbumPath(char* path, const uint8_t* info) {
  qfdAddSlash(path);
  char title[kPathSize * 2];
  albumTitleOf(info, title, sizeof title);
  const NamingMode mode = namingModeFor(path);
  if (!appendNameFromTitle(path, title, mode)) return false;
  std::strncat(path, kAlbumSuffix, kPathSize - 1 - std::strlen(path));
  return makeUniqueName(path, kAlbumExtension, mode);
}

// Writes the new album's structures; false after a report.
bool writeNewAlbum(HANDLE file, const AlbumSlot& slot, const NewScheme& scheme,
                   const uint8_t* specs, uint32_t fieldCount, uint8_t** namesOut) {
  if (!writeExact(file, slot.header, kHeaderSize, kErrShortWrite, kCreate, kStepWriteHeader) ||
      !writeExact(file, slot.pageDir, kPageDirBytes, kErrShortWrite, kCreate, kStepWritePageDir) ||
      !writeExact(file, slot.fieldDefs, scheme.defsSize, kErrShortWrite, kCreate,
                  kStepWriteFieldDefs))
    return false;
  LockedBlock names(scheme.namesSize);
  if (!names) {
    reportError(kErrShortWrite, kCreate, kStepNameBlock);
    return false;
  }
  buildFieldNames(specs, fieldCount, names.get());
  if (!writeExact(file, names.get(), scheme.namesSize, kErrShortWrite, kCreate, kStepWriteNames))
    return false;
  if (scheme.indexCount > 0) {
    const uint32_t listSize = 2 + kIndexEntrySize * scheme.indexCount;
    LockedBlock list(listSize);
    if (!list) {
      reportError(kErrShortWrite, kCreate, kStepWriteIndexList);
      return false;
    }
    buildIndexList(specs, fieldCount, list.get());
    if (!writeExact(file, list.get(), listSize, kErrShortWrite, kCreate, kStepWriteIndexList))
      return false;
  }
  *namesOut = names.release();
  return true;
}

void fillNewHeader(AlbumHeader header, const uint8_t* info, uint32_t fieldCount,
                   const NewScheme& scheme) {
  header.initialise(scheme.rowDataSize);
  header.storeInfo(info);
  header.setRecordCount(0);
  header.setNextRecordNumber(0);
  header.setFieldDefCount(static_cast<uint8_t>(fieldCount));
  header.setFieldCount(static_cast<uint8_t>(fieldCount));
  header.setFieldDefOffset(kHeaderSize + kPageDirBytes);
  header.setFieldNameOffset(kHeaderSize + kPageDirBytes + scheme.defsSize);
  header.setFieldNameSize(scheme.namesSize);
  header.setIndexListOffset(scheme.indexCount > 0 ? header.fieldNameOffset() + scheme.namesSize
                                                  : 0);
  header.storeChecksum();
}

// A new thumb-mark file for the new album (in AppDataFolder), with the
// title field of the AlbumInfo.
bool makeMarkFile(HINSTANCE ownerKey, const char* albumPath, const uint8_t* info, char* markPath) {
  char title[kInfoTitleSize + 1] = {};
  std::memcpy(title, info + kInfoTitleOffset, kInfoTitleSize);
  const MarkFileRequest request{ownerKey, albumPath, title, markPath, false, false};
  return handOffMarkFile(request, kCreate, kStepMarkFile);
}

HANDLE createAlbum(HINSTANCE ownerKey, const uint8_t* info, uint32_t fieldCount,
                   const uint8_t* specs, const char* pathOrFolder, char* outPath, char* markPath) {
  if (info == nullptr || specs == nullptr || pathOrFolder == nullptr) {
    reportError(kErrOpenFailed, kCreate, kStepCreateFile);  // a caller passed no block or path
    return nullptr;
  }
  if (fieldCount > kMaxFields) {
    reportError(kErrTooManyFields, kCreate, kStepFieldDefs);
    return nullptr;
  }
  // Paths are at most 259 characters; a longer one is refused before any
  // buffer is touched.
  if (std::strlen(pathOrFolder) >= kPathSize) {
    reportError(kErrNameTooLong, kCreate, kStepCreateFile);
    return nullptr;
  }
  char path[kPathSize];
  std::strcpy(path, pathOrFolder);
  if (outPath != nullptr) {
    const bool named = deriveAlbumPath(path, info);
    std::strcpy(outPath, path);
    if (!named) return nullptr;
  }

  const int index = allocateSlot();
  if (index < 0) return nullptr;
  AlbumSlot& slot = slotAt(index);
  slot.path = reinterpret_cast<char*>(allocateLocked(std::strlen(path) + 1));
  if (slot.path == nullptr) {
    reportError(kErrNoMemory, kCreate, kStepSlotPath);
    releaseSlot(index);
    return nullptr;
  }
  std::strcpy(slot.path, path);

  HANDLE file = plat::openFile(path, plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file == plat::invalidFile()) {
    reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::CreateAlbum), kCreate,
                kStepCreateFile);
    releaseSlot(index);
    return nullptr;
  }

  NewScheme scheme;
  bool ok = buildFieldDefs(specs, fieldCount, &scheme);
  if (!ok) reportError(kErrNoMemory, kCreate, kStepFieldDefs);
  if (ok) {
    slot.pageDir = allocateLocked(kPageDirBytes);
    ok = slot.pageDir != nullptr;
    if (!ok) reportError(kErrNoMemory, kCreate, kStepPageDir);
  }
  if (ok) {
    fillNewHeader(AlbumHeader(slot.header), info, fieldCount, scheme);
    slot.fieldDefs = scheme.defs.release();
    slot.file = file;
    slot.access = plat::kGenericWrite;
    slot.shareMode = 0;
    slot.ownerKey = ownerKey;
    slot.version = kVersion3;
    ok = writeNewAlbum(file, slot, scheme, specs, fieldCount, &slot.fieldNames);
  }
  if (ok && markPath != nullptr) ok = makeMarkFile(ownerKey, path, info, markPath);
  if (!ok) {
    plat::closeFile(file);
    plat::deleteFile(path);
    releaseSlot(index);
    return nullptr;
  }
  markSlotOpen(index);
  return file;
}

}  // namespace

}  // namespace afm3

extern "C" HANDLE WINAPI afm3CreateAlbum(HINSTANCE ownerKey, const void* info, DWORD fieldCount,
                                         const void* specs, LPCSTR pathOrFolder, LPSTR outPath,
                                         LPSTR markPath) {
  using namespace afm3;
  if (fieldCount == 0) return nullptr;
  ErrorModeGuard errorMode;
  const CallerPath target(pathOrFolder);
  return createAlbum(ownerKey, static_cast<const uint8_t*>(info), fieldCount,
                     static_cast<const uint8_t*>(specs), target.get(), outPath, markPath);
}
