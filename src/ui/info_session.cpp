// The steps before the information dialog opens (module 7008, function 3):
//   1 the file must exist (6414);
//   2 an album the host has open here is shown from its slot;
//   3 otherwise the album check gives the version;
//   4 the caller's open album is used, or the album is opened read-only
//     with read and write sharing under the library's own owner key;
//   5 the whole header of that version is read (6424 or 6633; step 3 for
//     1.x, 2 for 2.0, 1 for 3.0).
// What the session opened it closes and frees when it ends.
#include "ui/info_session.h"

#include <cstring>

#include "afm3.h"
#include "core/album_io.h"
#include "core/album_table.h"
#include "core/error_report.h"
#include "core/field_scheme.h"
#include "core/file_naming.h"
#include "core/library_state.h"
#include "core/v2_layout.h"
#include "platform.h"

namespace afm3::ui {

namespace {

constexpr Location kShowInfo{kModConvert, 3};
constexpr uint32_t kStepMissing = 1;
constexpr uint32_t kV1HeaderSize = 192;
constexpr DWORD kOpenForInfo = AFM3_OPEN_READ_ONLY | AFM3_OPEN_SHARE_READ_WRITE;

// Whether two paths name the same directory entry: their find data agree,
// names compared without case.
bool sameDirectoryEntry(const char* a, const char* b) {
  plat::FindData da, db;
  const plat::FindHandle fa = plat::findFirst(a, &da);
  if (fa == plat::invalidFile()) return false;
  plat::findClose(fa);
  const plat::FindHandle fb = plat::findFirst(b, &db);
  if (fb == plat::invalidFile()) return false;
  plat::findClose(fb);
  return da.attributes == db.attributes && da.size == db.size &&
         da.creationTime == db.creationTime && da.lastWriteTime == db.lastWriteTime &&
         plat::compareNoCase(da.name, db.name) == 0 &&
         plat::compareNoCase(da.alternateName, db.alternateName) == 0;
}

int openSlotOf(const char* path) {
  for (size_t i = 0; i < albumTableCapacity(); ++i) {
    const AlbumSlot& slot = slotAt(static_cast<int>(i));
    if ((slot.flags & kSlotInUse) && slot.path != nullptr && sameDirectoryEntry(slot.path, path))
      return static_cast<int>(i);
  }
  return -1;
}

uint32_t headerSizeOf(uint32_t version) {
  if (version == kVersion3) return kHeaderSize;
  return version == kVersion2 ? kV2HeaderSize : kV1HeaderSize;
}

uint32_t readStepOf(uint32_t version) {
  if (version == kVersion3) return 1;
  return version == kVersion2 ? 2 : 3;
}

}  // namespace

InfoSession::~InfoSession() {
  if (lockedSpecs_ != nullptr) plat::globalUnlock(lockedSpecs_);
  if (openedHere_ != nullptr) afm3CloseAlbum(libraryState().module, openedHere_);
  if (specsHere_ != nullptr) plat::globalFree(specsHere_);
}

bool InfoSession::load(const char* path, const AFM3_OPENED_ALBUM* opened) {
  if (path == nullptr || !fileExists(path)) {
    reportError(kErrNotFound, kShowInfo, kStepMissing);
    return false;
  }
  album_.path = path;
  if (loadFromOpenSlot()) return true;
  return loadFromFile(opened);
}

bool InfoSession::loadFromOpenSlot() {
  const int index = openSlotOf(album_.path.c_str());
  if (index < 0 || slotAt(index).version != kVersion3) return false;
  const AlbumSlot& slot = slotAt(index);
  AlbumHeader header(const_cast<uint8_t*>(slot.header));
  album_.version = kVersion3;
  album_.header.assign(slot.header, slot.header + kHeaderSize);
  album_.fieldCount = header.fieldCount();
  // Names and types are all the dialog shows: no index list is needed.
  if (album_.fieldCount != 0) {
    if (!slotSpecs_.allocate(album_.fieldCount * kFieldSpecSize)) {
      album_.fieldCount = 0;
    } else {
      listFieldSpecs(slot.fieldDefs, header.fieldDefCount(), slot.fieldNames,
                     header.fieldNameSize(), nullptr, 0, slotSpecs_.get());
      album_.specs = slotSpecs_.get();
    }
  }
  return true;
}

bool InfoSession::loadFromFile(const AFM3_OPENED_ALBUM* opened) {
  const char* path = album_.path.c_str();
  album_.version = afm3CheckAlbum(0, 0, nullptr, path, nullptr) & 0xFFFF;
  if (album_.version == 0) return false;
  HANDLE file = nullptr;
  HGLOBAL specs = nullptr;
  if (opened != nullptr) {
    file = opened->file;
    album_.fieldCount = opened->fieldCount;
    specs = opened->fieldSpecs;
  } else {
    BYTE count = 0;
    if (afm3OpenAlbum(libraryState().module, path, kOpenForInfo, &file, nullptr, &count, &specs) ==
        AFM3_OPEN_FAILED)
      return false;
    openedHere_ = file;
    specsHere_ = specs;
    album_.fieldCount = count;
  }
  if (specs != nullptr) {
    album_.specs = static_cast<const uint8_t*>(plat::globalLock(specs));
    if (album_.specs != nullptr) lockedSpecs_ = specs;
  }
  if (album_.specs == nullptr) album_.fieldCount = 0;
  album_.header.assign(headerSizeOf(album_.version), 0);
  if (!seekTo(file, 0, kShowInfo, readStepOf(album_.version)) ||
      !readExact(file, album_.header.data(), static_cast<uint32_t>(album_.header.size()), kShowInfo,
                 readStepOf(album_.version)))
    return false;
  return true;
}

}  // namespace afm3::ui
