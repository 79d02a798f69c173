// Opening and closing albums: access and sharing with their fall-backs,
// header validation, and loading the tables a version-3 album keeps in
// memory while it is open.
#include "core/album_open.h"

#include <cstdio>
#include <cstring>

#include "afm3.h"
#include "core/album_header.h"
#include "core/album_io.h"
#include "core/album_replacement.h"
#include "core/album_table.h"
#include "core/caller_path.h"
#include "core/checksum.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/field_scheme.h"
#include "core/field_types.h"
#include "core/file_naming.h"
#include "core/heap_block.h"
#include "core/library_state.h"
#include "core/mark_file_hook.h"
#include "core/paths.h"
#include "core/v2_layout.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr Location kOpen{kModAlbum, 5};
constexpr const char* kProbeFileName = "~~q-arvo.tmp";
constexpr uint32_t kReadShare = plat::kShareRead;
constexpr uint32_t kFullShare = plat::kShareRead | plat::kShareWrite;
constexpr uint32_t kReadWrite = plat::kGenericRead | plat::kGenericWrite;

enum OpenStep : uint32_t {
  kStepSlotPath = 0,
  kStepOpenFile = 1,
  kStepReadHeader = 2,
  kStepMagic = 3,
  kStepVersion = 4,
  kStepChecksum = 5,
  kStepFieldDefsBlock = 6,
  kStepPageDirBlock = 7,
  kStepRowDirBlock = 8,
  kStepNamesBlock = 10,
  kStepSeekFieldDefs = 11,
  kStepReadFieldDefs = 12,
  kStepSeekNames = 13,
  kStepReadNames = 14,
  kStepV2Checksum = 15,
  kStepSpecsBlock = 16,
  kStepSeekPageDir = 17,
  kStepReadPageDir = 18,
  kStepSeekRowDir = 19,
  kStepReadRowDir = 20,
  kStepSeekIndexList = 21,
  kStepReadIndexList = 22,
};
constexpr uint32_t kStepV2SpecsBlock = 17;
constexpr uint32_t kStepMarkFile = 13;

// The three fields a version-2 album shows: its name text, its keyword
// list and its description.
struct V2Field {
  uint8_t type;
  uint32_t nameMessage;
};
constexpr V2Field kV2Fields[] = {{kTypeText, 6282}, {kTypeList32, 6283}, {kTypeText, 6284}};

plat::FileHandle openExisting(const char* path, uint32_t access, uint32_t share) {
  return plat::openFile(path, access, share, plat::Disposition::OpenExisting);
}

// Opens the file as the flags ask, falling back to weaker sharing and to
// read-only access as the flags allow. On failure the first Windows error
// is reported (step 1).
plat::FileHandle openWithFallbacks(const char* path, uint32_t flags, AccessRequest* request) {
  uint32_t access = request->access;
  uint32_t share = request->share;
  uint32_t firstError = 0;
  bool haveFirstError = false;
  uint32_t firstShare = 0;
  bool readOnlyTried = false;
  for (;;) {
    plat::FileHandle file = openExisting(path, access, share);
    if (file == plat::invalidFile()) {
      if (!haveFirstError) {
        firstError = plat::lastError();
        firstShare = share;
        haveFirstError = true;
      }
      bool retry = false;
      if (flags & AFM3_OPEN_SHARE_NONE) {
        file = openExisting(path, access, kReadShare);
        if (file != plat::invalidFile())
          share = kReadShare;
        else
          share = kFullShare, retry = true;
      } else if (flags & AFM3_OPEN_SHARE_READ) {
        share = kFullShare;
        retry = true;
      }
      if (retry) file = openExisting(path, access, share);
      if (file == plat::invalidFile()) {
        if (retry && access == kReadWrite && !readOnlyTried) {
          access = plat::kGenericRead;
          readOnlyTried = true;
          if (firstShare == 0) share = kReadShare;
          continue;
        }
        reportError(errorIdForOpenFailure(firstError, OpenErrorMap::OpenAlbum), kOpen,
                    kStepOpenFile);
        return plat::invalidFile();
      }
    }
    request->access = access;
    request->share = share;
    return file;
  }
}

uint32_t openModeBits(const AccessRequest& request) {
  uint32_t mode = request.share == 0            ? AFM3_OPEN_SHARE_NONE
                  : request.share == kReadShare ? AFM3_OPEN_SHARE_READ
                                                : AFM3_OPEN_SHARE_READ_WRITE;
  mode |= request.access == plat::kGenericRead ? AFM3_OPEN_READ_ONLY : AFM3_OPEN_READ_WRITE;
  return mode;
}

// Reads and validates the header; returns the version code, 0 after a
// report.
uint32_t readHeader(HANDLE file, uint8_t* header) {
  if (!readExact(file, header, kHeaderSize, kOpen, kStepReadHeader)) return 0;
  if (!hasAlbumMagic(header)) {
    reportError(kErrShortRead, kOpen, kStepMagic);
    return 0;
  }
  if (header[4] == 3 && header[5] == 0) {
    if (!checksumHolds(header, kHeaderSize)) {
      reportError(kErrChecksum, kOpen, kStepChecksum);
      return 0;
    }
    return kVersion3;
  }
  if (header[4] == 2 && header[5] == 0) {
    LockedBlock v2(kV2HeaderSize);
    if (!v2) {
      reportError(kErrNoMemory, kOpen, kStepV2Checksum);
      return 0;
    }
    if (!readAt(file, 0, v2.get(), kV2HeaderSize, kOpen, kStepV2Checksum, kStepV2Checksum))
      return 0;
    if (!checksumHolds(v2.get(), kV2HeaderSize)) {
      reportError(kErrChecksum, kOpen, kStepV2Checksum);
      return 0;
    }
    return kVersion2;
  }
  reportError(kErrBadVersion, kOpen, kStepVersion);
  return 0;
}

// Allocates and reads one table of a version-3 album into *block.
bool loadTable(HANDLE file, uint32_t offset, uint32_t size, uint8_t** block, uint32_t allocStep,
               uint32_t seekStep, uint32_t readStep) {
  *block = allocateLocked(size);
  if (*block == nullptr) {
    reportError(kErrNoMemory, kOpen, allocStep);
    return false;
  }
  return size == 0 || readAt(file, offset, *block, size, kOpen, seekStep, readStep);
}

// Every fixed-size field lies inside the row and the live fields are as
// many as the header says; the record code relies on both.
bool fieldDefsFitTheRow(const AlbumHeader& header, const uint8_t* defs) {
  uint32_t live = 0;
  for (uint32_t j = 0; j < header.fieldDefCount(); ++j) {
    FieldDef def(const_cast<uint8_t*>(defs + j * kFieldDefSize));
    if (!def.removed()) ++live;
    if (isHeapType(def.type()) || rowWidth(def.type()) == 0) continue;
    if (def.placement() < kRowHeaderSize ||
        uint32_t{def.placement()} + rowWidth(def.type()) > header.rowDataSize())
      return false;
  }
  return live == header.fieldCount();
}

// Loads the FieldDef table, names, directories and the callers' FieldSpecs
// of a version-3 album.
bool loadVersion3Tables(HANDLE file, AlbumSlot& slot, LockedBlock* specs) {
  AlbumHeader header(slot.header);
  const uint32_t defsSize = uint32_t{header.fieldDefCount()} * kFieldDefSize;
  if (!loadTable(file, header.fieldDefOffset(), defsSize, &slot.fieldDefs, kStepFieldDefsBlock,
                 kStepSeekFieldDefs, kStepReadFieldDefs))
    return false;
  if (!fieldDefsFitTheRow(header, slot.fieldDefs)) {
    reportError(kErrChecksum, kOpen, kStepReadFieldDefs);
    return false;
  }
  if (!loadTable(file, header.fieldNameOffset(), header.fieldNameSize(), &slot.fieldNames,
                 kStepNamesBlock, kStepSeekNames, kStepReadNames))
    return false;
  if (!specs->allocate(uint32_t{header.fieldCount()} * kFieldSpecSize)) {
    reportError(kErrNoMemory, kOpen, kStepSpecsBlock);
    return false;
  }
  LockedBlock indexEntries;
  uint32_t indexCount = 0;
  if (header.indexListOffset() != 0) {
    uint8_t count[2];
    if (!readAt(file, header.indexListOffset(), count, 2, kOpen, kStepSeekIndexList,
                kStepReadIndexList))
      return false;
    indexCount = afm3GetU16(count);
    const uint64_t end = uint64_t{header.indexListOffset()} + 2 + indexCount * kIndexEntrySize;
    if (end > fileLength(file)) {
      reportError(kErrShortRead, kOpen, kStepReadIndexList);
      return false;
    }
    if (!indexEntries.allocate(indexCount * kIndexEntrySize)) {
      reportError(kErrNoMemory, kOpen, kStepSpecsBlock);
      return false;
    }
    if (!readExact(file, indexEntries.get(), indexCount * kIndexEntrySize, kOpen,
                   kStepReadIndexList))
      return false;
  }
  listFieldSpecs(slot.fieldDefs, header.fieldDefCount(), slot.fieldNames, header.fieldNameSize(),
                 indexEntries.get(), indexCount, specs->get());
  if (header.pageDirOffset() != 0 &&
      !loadTable(file, header.pageDirOffset(), uint32_t{header.pageDirCount()} * 4, &slot.pageDir,
                 kStepPageDirBlock, kStepSeekPageDir, kStepReadPageDir))
    return false;
  if (header.rowDirOffset() != 0 &&
      !loadTable(file, header.rowDirOffset(), uint32_t{header.rowDirCount()} * 4, &slot.rowDir,
                 kStepRowDirBlock, kStepSeekRowDir, kStepReadRowDir))
    return false;
  return true;
}

bool buildVersion2Specs(LockedBlock* specs) {
  constexpr uint32_t count = sizeof kV2Fields / sizeof kV2Fields[0];
  if (!specs->allocate(count * kFieldSpecSize)) {
    reportError(kErrNoMemory, kOpen, kStepV2SpecsBlock);
    return false;
  }
  for (uint32_t j = 0; j < count; ++j) {
    uint8_t* entry = specs->get() + j * kFieldSpecSize;
    entry[0] = static_cast<uint8_t>(j);
    entry[1] = kV2Fields[j].type;
    char name[kSpecNameSize];
    loadMessage(kV2Fields[j].nameMessage, name, sizeof name);
    std::memcpy(entry + 2, name, std::strlen(name) + 1);
  }
  return true;
}

struct OpenResult {
  uint32_t mode;
  LockedBlock specs;
  uint32_t specCount;
};

// Runs the open into slot; the result mode is AFM3_OPEN_FAILED after a
// report.
void openInto(AlbumSlot& slot, const char* path, uint32_t flags, OpenResult* result) {
  result->mode = AFM3_OPEN_FAILED;
  AccessRequest request = accessFromFlags(flags);
  plat::FileHandle file = openWithFallbacks(path, flags, &request);
  if (file == plat::invalidFile()) return;
  if (request.access == kReadWrite && !folderAcceptsNewFile(path, kProbeFileName)) {
    plat::closeFile(file);
    request.access = plat::kGenericRead;
    file = openExisting(path, request.access, request.share);
    if (file == plat::invalidFile()) {
      reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::OpenAlbum), kOpen,
                  kStepOpenFile);
      return;
    }
  }
  uint32_t version = readHeader(file, slot.header);
  if (version == kVersion2 &&
      (request.access != plat::kGenericRead || request.share == kFullShare)) {
    // A version-2 album is only ever read, and nobody may write it meanwhile.
    plat::closeFile(file);
    request = {plat::kGenericRead, kReadShare};
    file = openExisting(path, request.access, request.share);
    if (file == plat::invalidFile()) {
      reportError(errorIdForOpenFailure(plat::lastError(), OpenErrorMap::OpenAlbum), kOpen,
                  kStepOpenFile);
      return;
    }
    version = readHeader(file, slot.header);
  }
  if (version == kVersion3 && !headerLayoutFits(AlbumHeader(slot.header), fileLength(file))) {
    reportError(kErrChecksum, kOpen, kStepChecksum);
    version = 0;
  }
  slot.file = file;
  slot.access = request.access;
  slot.shareMode = request.share;
  slot.version = version;
  bool loaded = false;
  if (version == kVersion3) {
    loaded = loadVersion3Tables(file, slot, &result->specs);
    result->specCount = AlbumHeader(slot.header).fieldCount();
  } else if (version == kVersion2) {
    loaded = buildVersion2Specs(&result->specs);
    result->specCount = 3;
  }
  if (!loaded) {
    plat::closeFile(file);
    slot.file = nullptr;
    return;
  }
  result->mode = openModeBits(request);
  if (version == kVersion3 && (flags & AFM3_OPEN_REPORT_PROTECTION) &&
      AlbumHeader(slot.header).protectField()[0] != 0)
    result->mode |= AFM3_OPEN_REPORT_PROTECTION;
}

// The album's thumb-mark file: markPath when it names a valid one, else
// one found or made for the album (beside a version-2 album).
bool locateMarkFile(HINSTANCE ownerKey, const AlbumSlot& slot, const char* path, char* markPath) {
  const bool version2 = slot.version == kVersion2;
  const uint8_t* field =
      version2 ? slot.header + kV2TitleOffset : slot.header + kInfoOffset + kInfoTitleOffset;
  char title[kInfoTitleSize + 1] = {};
  std::memcpy(title, field, kInfoTitleSize);
  const MarkFileRequest request{ownerKey, path, title, markPath, true, version2};
  return handOffMarkFile(request, kOpen, kStepMarkFile);
}

}  // namespace

AccessRequest accessFromFlags(uint32_t flags) {
  AccessRequest request;
  if (flags & AFM3_OPEN_READ_WRITE)
    request.access = kReadWrite;
  else if (flags & AFM3_OPEN_READ_ONLY)
    request.access = plat::kGenericRead;
  else
    request.access = kReadWrite;
  if (flags & AFM3_OPEN_SHARE_READ_WRITE)
    request.share = kFullShare;
  else if (flags & AFM3_OPEN_SHARE_NONE)
    request.share = 0;
  else if (flags & AFM3_OPEN_SHARE_READ)
    request.share = kReadShare;
  else
    request.share = kFullShare;
  return request;
}

}  // namespace afm3

extern "C" DWORD WINAPI afm3OpenAlbum(HINSTANCE ownerKey, LPCSTR path, DWORD flags,
                                      HANDLE* outHandle, LPSTR markPath, BYTE* outFieldCount,
                                      HGLOBAL* outFieldSpecs) {
  using namespace afm3;
  ErrorModeGuard errorMode;
  const CallerPath albumPath(path);
  path = albumPath.get();
  if (path == nullptr || outHandle == nullptr) {
    reportError(kErrOpenFailed, kOpen, kStepOpenFile);  // no path, or nowhere to put the handle
    return AFM3_OPEN_FAILED;
  }
  // A reorganization stopped between deleting the album file and renaming
  // its rebuilt copy left the album only as that copy.
  finishInterruptedReplacement(path);
  const int index = allocateSlot();
  if (index < 0) return AFM3_OPEN_FAILED;
  AlbumSlot& slot = slotAt(index);
  slot.path = reinterpret_cast<char*>(allocateLocked(std::strlen(path) + 1));
  if (slot.path == nullptr) {
    reportError(kErrNoMemory, kOpen, kStepSlotPath);
    releaseSlot(index);
    return AFM3_OPEN_FAILED;
  }
  std::strcpy(slot.path, path);
  slot.ownerKey = ownerKey;

  OpenResult result;
  openInto(slot, path, flags, &result);
  if (result.mode == AFM3_OPEN_FAILED) {
    releaseSlot(index);
    return AFM3_OPEN_FAILED;
  }
  if (markPath != nullptr && !locateMarkFile(ownerKey, slot, path, markPath)) {
    plat::closeFile(slot.file);
    releaseSlot(index);
    return AFM3_OPEN_FAILED;
  }
  *outHandle = slot.file;
  if (outFieldCount != nullptr) *outFieldCount = static_cast<BYTE>(result.specCount);
  if (outFieldSpecs != nullptr) {
    *outFieldSpecs = allocateForCaller(result.specs.get(), result.specCount * kFieldSpecSize);
  }
  slot.flags &= static_cast<uint8_t>(~kSlotKeepCaches);
  markSlotOpen(index);
  return result.mode;
}

extern "C" BOOL WINAPI afm3CloseAlbum(HINSTANCE ownerKey, HANDLE album) {
  using namespace afm3;
  const int index = findSlot(ownerKey, album);
  if (index < 0) return FALSE;
  plat::closeFile(slotAt(index).file);
  releaseSlot(index);
  return TRUE;
}
