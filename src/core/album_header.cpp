#include "core/album_header.h"

#include <cstring>

#include "core/checksum.h"

namespace afm3 {

namespace {

const uint8_t kMagic[4] = {0xD6, 0xC5, 0x6F, 0xCD};

uint8_t rotateRight(uint8_t v, unsigned n) {
  return n == 0 ? v : static_cast<uint8_t>((v >> n) | (v << (8 - n)));
}
uint8_t rotateLeft(uint8_t v, unsigned n) {
  return n == 0 ? v : static_cast<uint8_t>((v << n) | (v >> (8 - n)));
}

}  // namespace

bool hasAlbumMagic(const uint8_t* bytes) {
  return bytes[0] == kMagic[0] && bytes[1] == kMagic[1] && bytes[2] == kMagic[2] &&
         (bytes[3] & 0x7F) == (kMagic[3] & 0x7F);
}

RowGeometry rowGeometry(uint16_t rowDataSize) {
  return rowGeometryForSlot(rowDataSize,
                            static_cast<uint16_t>(static_cast<uint32_t>(rowDataSize) * 110 / 100));
}

RowGeometry rowGeometryForSlot(uint16_t rowDataSize, uint16_t rowSlotSize) {
  RowGeometry g{};
  g.rowDataSize = rowDataSize;
  const uint32_t slot = rowSlotSize;
  g.rowSlotSize = rowSlotSize;
  uint32_t block;
  if (slot < 256)
    block = (16384 / slot) * slot;
  else if (slot >= 1024)
    block = (65535 / slot) * slot;
  else
    block = slot * 64;
  g.rowBlockSize = static_cast<uint16_t>(block);
  g.rowsPerBlock = static_cast<uint16_t>(block / slot);
  return g;
}

void rotateProtectRight(uint8_t* field) {
  for (unsigned i = 0; i < kProtectSize; ++i) field[i] = rotateRight(field[i], i % 8);
}

void rotateProtectLeft(uint8_t* field) {
  for (unsigned i = 0; i < kProtectSize; ++i) field[i] = rotateLeft(field[i], i % 8);
}

void AlbumHeader::initialise(uint16_t rowDataSize) {
  std::memcpy(b_, kMagic, sizeof kMagic);
  b_[4] = 3;
  b_[5] = 0;
  b_[6] = b_[7] = 0;
  setPageDirOffset(kHeaderSize);
  setPageDirCount(kInitialPageDirEntries);
  put16(14, kRecordsPerPage);
  setTextHeapOffset(0);
  setTextHeapFree(0);
  setTextHeapUsed(0);
  setMemoHeapOffset(0);
  setMemoHeapFree(0);
  setMemoHeapUsed(0);
  setRowDirOffset(0);
  setRowGeometry(rowGeometry(rowDataSize));
  setRowDirCount(0);
  b_[58] = b_[59] = 0;
}

void AlbumHeader::setRowGeometry(const RowGeometry& g) {
  put16(36, g.rowBlockSize);
  put16(38, g.rowsPerBlock);
  put16(42, g.rowDataSize);
  put16(44, g.rowSlotSize);
}

void AlbumHeader::storeInfo(const uint8_t* callerInfo) {
  std::memcpy(info(), callerInfo, kInfoSize);
  rotateProtectRight(protectField());
  setInfoFlags(infoFlags() | kInfoFlagProtectRotated);
}

void AlbumHeader::loadInfo(uint8_t* callerInfo) const {
  std::memcpy(callerInfo, info(), kInfoSize);
  if (infoFlags() & kInfoFlagProtectRotated) rotateProtectLeft(callerInfo + 1444);
}

void AlbumHeader::storeChecksum() { afm3::storeChecksum(b_, kHeaderSize); }
bool AlbumHeader::checksumHolds() const { return afm3::checksumHolds(b_, kHeaderSize); }

}  // namespace afm3

namespace afm3 {

namespace {

// [offset, offset + size) lies inside the file, after the header.
bool regionFits(uint64_t offset, uint64_t size, uint32_t fileSize) {
  return offset >= kHeaderSize && offset + size <= fileSize;
}

}  // namespace

uint32_t headerLayoutFaults(const AlbumHeader& h, uint32_t fileSize, LayoutFault* faults) {
  uint32_t n = 0;
  const auto fault = [&](uint32_t at, const char* what) { faults[n++] = {at, what}; };
  if (h.recordsPerPage() != kRecordsPerPage) fault(14, "record entries per page are not 64");
  if (h.fieldCount() > h.fieldDefCount()) fault(47, "more live fields than field definitions");
  if (!regionFits(h.fieldDefOffset(), uint64_t{h.fieldDefCount()} * kFieldDefSize, fileSize))
    fault(48, "the field definitions lie outside the file");
  if (!regionFits(h.fieldNameOffset(), h.fieldNameSize(), fileSize))
    fault(52, "the field names lie outside the file");
  if (h.pageDirOffset() != 0 &&
      !regionFits(h.pageDirOffset(), uint64_t{h.pageDirCount()} * 4, fileSize))
    fault(8, "the page directory lies outside the file");
  if (h.rowDirOffset() != 0 &&
      !regionFits(h.rowDirOffset(), uint64_t{h.rowDirCount()} * 4, fileSize))
    fault(32, "the row directory lies outside the file");
  if (h.indexListOffset() != 0 && !regionFits(h.indexListOffset(), 2, fileSize))
    fault(kInfoOffset + 1478, "the index list lies outside the file");
  // The row geometry the record code relies on: a row leaves slack in its
  // slot, and a block holds whole slots.
  if (h.rowDataSize() < 12 || h.rowSlotSize() <= h.rowDataSize())
    fault(42, "rows leave no slack in their slots");
  if (h.rowsPerBlock() == 0 || uint32_t{h.rowsPerBlock()} * h.rowSlotSize() > h.rowBlockSize())
    fault(36, "row blocks do not hold their rows");
  return n;
}

bool headerLayoutFits(const AlbumHeader& h, uint32_t fileSize) {
  LayoutFault faults[kMaxLayoutFaults];
  return headerLayoutFaults(h, fileSize, faults) == 0;
}

}  // namespace afm3
