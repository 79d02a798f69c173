// The 1798-byte header at the start of a version-3 album.
//
//   0 magic D6 C5 6F CD   4 version 3.0     8 pageDirOffset  12 pageDirCount
//  14 recordsPerPage     16 textHeapOffset 20 textHeapFree   22 textHeapUsed
//  24 memoHeapOffset     28 memoHeapFree   30 memoHeapUsed   32 rowDirOffset
//  36 rowBlockSize       38 rowsPerBlock   40 rowDirCount    42 rowDataSize
//  44 rowSlotSize        46 fieldDefCount  47 fieldCount     48 fieldDefOffset
//  52 fieldNameOffset    56 fieldNameSize  60 AlbumInfo (1736 bytes)
//  1796 checksum of bytes 0..1795
//
// Inside the AlbumInfo (offsets relative to byte 60): 0 recordCount,
// 2 nextRecordNumber, 4 thumbSize, 6 infoFlags, 8 title (24), 32
// description, 1444 protectField (32, stored rotated when infoFlags bit
// 0x20 is set), 1478 indexListOffset, 1482 title tail.
#pragma once

#include <cstdint>

#include "afm3_bytes.h"

namespace afm3 {

constexpr uint32_t kHeaderSize = 1798;
constexpr uint32_t kInfoOffset = 60;
constexpr uint32_t kInfoSize = 1736;
constexpr uint32_t kRecordCountAt = kInfoOffset + 0;
constexpr uint32_t kNextRecordNumberAt = kInfoOffset + 2;
constexpr uint32_t kHeaderChecksumAt = kHeaderSize - 2;
constexpr uint32_t kInfoTitleOffset = 8;  // inside the AlbumInfo
constexpr uint32_t kInfoTitleSize = 24;
constexpr uint32_t kInitialPageDirEntries = 128;
constexpr uint32_t kPageDirBytes = kInitialPageDirEntries * 4;
constexpr uint32_t kRecordsPerPage = 64;
constexpr uint32_t kFieldDefSize = 16;
constexpr uint32_t kFieldSpecSize = 67;
constexpr uint32_t kProtectSize = 32;
constexpr uint8_t kInfoFlagProtectRotated = 0x20;
constexpr uint16_t kNoRecord = 0xFFFF;

// Version codes as the album check returns them: (major << 8) | minor.
constexpr uint32_t kVersion3 = 0x300;
constexpr uint32_t kVersion2 = 0x200;
constexpr uint32_t kVersion10 = 0x100;
constexpr uint32_t kVersion12 = 0x102;

struct RowGeometry;

// Typed access to a header held in memory (kHeaderSize bytes).
class AlbumHeader {
 public:
  explicit AlbumHeader(uint8_t* bytes) : b_(bytes) {}

  uint8_t* bytes() const { return b_; }
  uint8_t* info() const { return b_ + kInfoOffset; }

  uint8_t versionMajor() const { return b_[4]; }
  uint8_t versionMinor() const { return b_[5]; }
  uint32_t pageDirOffset() const { return u32(8); }
  void setPageDirOffset(uint32_t v) { put32(8, v); }
  uint16_t pageDirCount() const { return u16(12); }
  void setPageDirCount(uint16_t v) { put16(12, v); }
  uint16_t recordsPerPage() const { return u16(14); }
  uint32_t textHeapOffset() const { return u32(16); }
  void setTextHeapOffset(uint32_t v) { put32(16, v); }
  uint16_t textHeapFree() const { return u16(20); }
  void setTextHeapFree(uint16_t v) { put16(20, v); }
  uint16_t textHeapUsed() const { return u16(22); }
  void setTextHeapUsed(uint16_t v) { put16(22, v); }
  uint32_t memoHeapOffset() const { return u32(24); }
  void setMemoHeapOffset(uint32_t v) { put32(24, v); }
  uint16_t memoHeapFree() const { return u16(28); }
  void setMemoHeapFree(uint16_t v) { put16(28, v); }
  uint16_t memoHeapUsed() const { return u16(30); }
  void setMemoHeapUsed(uint16_t v) { put16(30, v); }
  uint32_t rowDirOffset() const { return u32(32); }
  void setRowDirOffset(uint32_t v) { put32(32, v); }
  uint16_t rowBlockSize() const { return u16(36); }
  uint16_t rowsPerBlock() const { return u16(38); }
  uint16_t rowDirCount() const { return u16(40); }
  void setRowDirCount(uint16_t v) { put16(40, v); }
  uint16_t rowDataSize() const { return u16(42); }
  uint16_t rowSlotSize() const { return u16(44); }
  // rowBlockSize, rowsPerBlock, rowDataSize and rowSlotSize.
  void setRowGeometry(const RowGeometry& g);
  uint8_t fieldDefCount() const { return b_[46]; }
  void setFieldDefCount(uint8_t v) { b_[46] = v; }
  uint8_t fieldCount() const { return b_[47]; }
  void setFieldCount(uint8_t v) { b_[47] = v; }
  uint32_t fieldDefOffset() const { return u32(48); }
  void setFieldDefOffset(uint32_t v) { put32(48, v); }
  uint32_t fieldNameOffset() const { return u32(52); }
  void setFieldNameOffset(uint32_t v) { put32(52, v); }
  uint16_t fieldNameSize() const { return u16(56); }
  void setFieldNameSize(uint16_t v) { put16(56, v); }

  uint16_t recordCount() const { return u16(kRecordCountAt); }
  void setRecordCount(uint16_t v) { put16(kRecordCountAt, v); }
  uint16_t nextRecordNumber() const { return u16(kNextRecordNumberAt); }
  void setNextRecordNumber(uint16_t v) { put16(kNextRecordNumberAt, v); }
  uint8_t infoFlags() const { return b_[kInfoOffset + 6]; }
  void setInfoFlags(uint8_t v) { b_[kInfoOffset + 6] = v; }
  uint8_t* protectField() const { return b_ + kInfoOffset + 1444; }
  uint32_t indexListOffset() const { return u32(kInfoOffset + 1478); }
  void setIndexListOffset(uint32_t v) { put32(kInfoOffset + 1478, v); }

  // Sets the fixed fields of a new album's header (everything but the
  // AlbumInfo, the field tables and the checksum).
  void initialise(uint16_t rowDataSize);
  // Copies a caller's AlbumInfo in, keeping the protect field rotated as
  // files store it.
  void storeInfo(const uint8_t* callerInfo);
  // Copies the AlbumInfo out in the caller's form (protect field unrotated).
  void loadInfo(uint8_t* callerInfo) const;
  void storeChecksum();
  bool checksumHolds() const;

 private:
  uint16_t u16(uint32_t at) const { return afm3GetU16(b_ + at); }
  uint32_t u32(uint32_t at) const { return afm3GetU32(b_ + at); }
  void put16(uint32_t at, uint16_t v) { afm3PutU16(b_ + at, v); }
  void put32(uint32_t at, uint32_t v) { afm3PutU32(b_ + at, v); }
  uint8_t* b_;
};

// Whether the first bytes are the album magic: D6 C5 6F, then CD or 4D.
bool hasAlbumMagic(const uint8_t* bytes);

// The row geometry that follows from a row's data size.
struct RowGeometry {
  uint16_t rowDataSize;
  uint16_t rowSlotSize;  // rowDataSize * 110 / 100: the spare lets rows grow in place
  uint16_t rowBlockSize;
  uint16_t rowsPerBlock;
};
RowGeometry rowGeometry(uint16_t rowDataSize);
// The blocks of slots of a given size: a scheme change that puts added
// values into the slack keeps the slots (and blocks) while the data grows,
// so a slot may be anything from rowDataSize + 1 up to the size above.
RowGeometry rowGeometryForSlot(uint16_t rowDataSize, uint16_t rowSlotSize);

// The protect field is stored with byte i rotated right by i mod 8 bits.
void rotateProtectRight(uint8_t* field);
void rotateProtectLeft(uint8_t* field);

}  // namespace afm3

namespace afm3 {

// One way a header's counts, offsets and sizes fail to fit each other or
// the file: the header offset of the field at fault and what is wrong.
struct LayoutFault {
  uint32_t at;
  const char* what;
};
constexpr uint32_t kMaxLayoutFaults = 10;
// Lists every fault of the header's layout against a file of fileSize
// bytes into faults (room for kMaxLayoutFaults); returns how many.
uint32_t headerLayoutFaults(const AlbumHeader& header, uint32_t fileSize, LayoutFault* faults);
// Whether the counts, offsets and sizes a version-3 header holds fit each
// other and a file of fileSize bytes, so that the tables they describe can
// be allocated and read without trusting them further.
bool headerLayoutFits(const AlbumHeader& header, uint32_t fileSize);

}  // namespace afm3
