// A record's stored image: afm3ReadRecordImage decodes it into a packed
// DIB, afm3UpdateRecordImage stores a new one. Replacing never overwrites:
// the new image is appended and the RecordEntry's image offset (4) pointed
// at it; the old image stays in the file, unreferenced, until the album is
// reorganized.
#include <cstring>

#include "afm3.h"
#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/album_sync.h"
#include "core/album_table.h"
#include "core/error_mode.h"
#include "core/error_report.h"
#include "core/transaction.h"
#include "core/v2_layout.h"
#include "images/codec_libraries.h"
#include "images/image_store.h"
#include "images/v2_image.h"
#include "platform.h"
#include "records/record_encoding.h"
#include "records/record_fetch.h"

namespace afm3 {

namespace {

constexpr Location kReadImage{kModAlbumMisc, 5};
constexpr Location kUpdateImage{kModAlbumMisc, 7};

constexpr uint32_t kV2SeekError = kErrChecksum;
constexpr uint8_t kV2StoredRawFlag = 0x08;  // entry byte 258, bit 3
constexpr uint32_t kV2ImageKindAt = 8;      // in the header the reader proposes

enum ReadImageStep : uint32_t {
  kReadStepNotOpen = 0,
  kReadStepNoPage = 1,
  kReadStepSeekEntry = 2,
  kReadStepReadEntry = 3,
  kReadStepNoRecord = 11,
  kReadStepV2Seek = 12,
  kReadStepV2Read = 13,
};

enum UpdateImageStep : uint32_t {
  kUpdStepNoPage = 1,
  kUpdStepSeekEntry = 2,
  kUpdStepReadEntry = 3,
  kUpdStepHeader = 4,
  kUpdStepTable = 5,
  kUpdStepEncoded = 6,
  kUpdStepRaw = 7,
  kUpdStepNoRecord = 8,
  kUpdStepBegin = 9,
  kUpdStepNotValid = 10,
  kUpdStepNoHeader = 11,  // no ImageHeader was given
  kUpdStepWriteEntry = 12,
};

int readImageV2(const AlbumSlot& slot, uint32_t record, HGLOBAL* dibOut) {
  uint8_t header[kV2HeaderSize];
  if (!seekTo(slot.file, 0, kReadImage, kReadStepV2Seek, kV2SeekError) ||
      !readExact(slot.file, header, sizeof header, kReadImage, kReadStepV2Read))
    return 0;
  const V2Header v2(header);
  const V2RecordPlace place = v2RecordPlace(v2, record);
  if (place.entry == 0) {
    reportError(kErrInvalidRecord, kReadImage, kReadStepNoPage);
    return 0;
  }
  uint8_t entry[kV2EntrySize];
  if (!seekTo(slot.file, place.entry, kReadImage, kReadStepV2Seek, kV2SeekError) ||
      !readExact(slot.file, entry, sizeof entry, kReadImage, kReadStepV2Read))
    return 0;
  const uint32_t offset = afm3GetU32(entry + kV2EntryImageOffset);
  if (offset == 0) return -1;
  const uint8_t type = entry[kV2EntryImageType];
  const bool storedRaw = (afm3GetU16(entry + kV2EntryFlags) & kV2StoredRawFlag) != 0;
  if (dibOut == nullptr)
    return codecAvailable(version2StoredCompression(type, v2.compressionSetting(), storedRaw)) ? 1
                                                                                               : -2;
  uint8_t proposed[kImageHeaderSize] = {};
  HGLOBAL dib =
      readVersion2Image(slot.file, offset, afm3GetU32(entry + kV2EntryImageSize), type,
                        afm3GetU16(entry + kV2EntryWidth), afm3GetU16(entry + kV2EntryHeight),
                        v2.compressionSetting(), storedRaw, proposed);
  if (dib == nullptr) return 0;
  *dibOut = dib;
  return proposed[kV2ImageKindAt];
}

int readRecordImage(HINSTANCE ownerKey, HANDLE album, uint32_t record, uint32_t imageOffset,
                    HGLOBAL* dibOut) {
  const int index = findSlotForRead(ownerKey, album);
  if (index < 0) {
    if (index == kNoOpenSlot) reportError(kErrNotOpenAlbum, kReadImage, kReadStepNotOpen);
    return 0;
  }
  const AlbumSlot& slot = slotAt(index);
  if (slot.version != kVersion3) {
    if (record == kNoRecord) {
      reportError(kErrInvalidRecord, kReadImage, kReadStepNoRecord);
      return 0;
    }
    return readImageV2(slot, record, dibOut);
  }
  if (dibOut != nullptr) *dibOut = nullptr;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kReadImage, kReadStepNoRecord);
    return 0;
  }
  if (imageOffset == 0) {
    uint8_t entry[kEntrySize];
    switch (readEntry(slot, record, entry, {kReadImage, kReadStepSeekEntry, kReadStepReadEntry})) {
      case EntryState::Failed:
        return 0;
      case EntryState::NoPage:
        reportError(kErrInvalidRecord, kReadImage, kReadStepNoPage);
        return 0;
      default:
        break;
    }
    imageOffset = RecordEntry(entry).imageOffset();
    if (imageOffset == 0) return -1;
  }
  return readStoredImage(slot.file, imageOffset, dibOut);
}

BOOL updateRecordImage(HINSTANCE ownerKey, HANDLE album, uint32_t record, HGLOBAL dib,
                       uint8_t* header, DWORD* imageOffsetOut) {
  const int index = findVersion3Slot(ownerKey, album, kUpdateImage);
  if (index < 0) return FALSE;
  WriteTransaction transaction(index, kUpdateImage, kUpdStepBegin);
  if (!transaction.ok()) return FALSE;
  if (record == kNoRecord) {
    reportError(kErrInvalidRecord, kUpdateImage, kUpdStepNoRecord);
    return FALSE;
  }
  if (sharesWriting(slotAt(index)) && afm3IsValidRecord(ownerKey, album, record) != 1) {
    reportError(kErrInvalidRecord, kUpdateImage, kUpdStepNotValid);
    return FALSE;
  }
  const AlbumSlot& slot = slotAt(index);
  uint8_t entry[kEntrySize];
  switch (readEntry(slot, record, entry, {kUpdateImage, kUpdStepSeekEntry, kUpdStepReadEntry})) {
    case EntryState::Failed:
      return FALSE;
    case EntryState::NoPage:
      reportError(kErrInvalidRecord, kUpdateImage, kUpdStepNoPage);
      return FALSE;
    default:
      break;
  }
  if (header == nullptr) {
    reportError(kErrImageKind, kUpdateImage, kUpdStepNoHeader);
    return FALSE;
  }
  EncodedImage image;
  if (!encodeImage(header, dib, &image)) return FALSE;
  const uint32_t position = seekToEnd(slot.file, kUpdateImage, kUpdStepHeader);
  if (position == 0xFFFFFFFFu) return FALSE;
  if (uint64_t{position} + image.storedLength() > 0xFFFFFFFFu) {
    reportError(kErrNoDiskSpace, kUpdateImage, kUpdStepHeader);
    return FALSE;
  }
  const ImageWriteSteps steps{kErrHeaderWrite, kUpdateImage,    kUpdStepHeader,
                              kUpdStepTable,   kUpdStepEncoded, kUpdStepRaw};
  if (!writeEncodedImage(slot.file, image, steps)) return FALSE;
  RecordEntry e(entry);
  e.setImageOffset(position);
  e.seal();
  if (!seekTo(slot.file, entryOffset(slot, record), kUpdateImage, kUpdStepWriteEntry) ||
      !writeExact(slot.file, entry, kEntrySize, kErrHeaderWrite, kUpdateImage, kUpdStepWriteEntry))
    return FALSE;
  if (imageOffsetOut != nullptr) *imageOffsetOut = position;
  return TRUE;
}

}  // namespace

}  // namespace afm3

using namespace afm3;

extern "C" int WINAPI afm3ReadRecordImage(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                          DWORD imageOffset, HGLOBAL* dibOut) {
  ErrorModeGuard errorMode;
  return readRecordImage(ownerKey, album, record, imageOffset, dibOut);
}

extern "C" BOOL WINAPI afm3UpdateRecordImage(HINSTANCE ownerKey, HANDLE album, DWORD record,
                                             HGLOBAL dib, BYTE* header, DWORD* imageOffsetOut) {
  ErrorModeGuard errorMode;
  return updateRecordImage(ownerKey, album, record, dib, header, imageOffsetOut);
}
