#include "core/album_replacement.h"

#include <cstring>

#include "core/checksum.h"
#include "core/field_scheme.h"
#include "core/paths.h"
#include "platform.h"

namespace afm3 {

namespace {

constexpr uint32_t kIndexCountSize = 2;
constexpr uint32_t kDirectoryEntrySize = 4;

// Reads count bytes at offset without reporting anything: the files looked
// at here are not the caller's album yet.
bool readQuietly(HANDLE file, uint32_t offset, uint8_t* out, uint32_t count) {
  uint32_t done = 0;
  return plat::seekFile(file, offset, plat::SeekFrom::Begin) == offset &&
         plat::readFile(file, out, count, &done) && done == count;
}

bool headerDescribesWholeFile(HANDLE file, uint32_t size) {
  uint8_t bytes[kHeaderSize];
  if (size < kHeaderSize || !readQuietly(file, 0, bytes, kHeaderSize)) return false;
  const AlbumHeader header(bytes);
  if (!hasAlbumMagic(bytes) || header.versionMajor() != 3 || header.versionMinor() != 0 ||
      !header.checksumHolds() || !headerLayoutFits(header, size) ||
      header.pageDirOffset() != kHeaderSize || header.rowDirOffset() == 0)
    return false;
  uint16_t indexCount = 0;
  if (header.indexListOffset() != 0) {
    uint8_t count[kIndexCountSize];
    if (!readQuietly(file, header.indexListOffset(), count, sizeof count)) return false;
    indexCount = afm3GetU16(count);
  }
  return rebuiltLayoutEnd(header, indexCount) == size;
}

}  // namespace

bool rebuildFilePath(const char* albumPath, char* out, uint32_t size) {
  folderOf(albumPath, out, size);
  if (std::strlen(out) + std::strlen(kRebuildFileName) >= size) return false;
  std::strcat(out, kRebuildFileName);
  return true;
}

void spoilHeaderChecksum(uint8_t* header) {
  storeChecksum(header, kHeaderSize);
  afm3PutU16(header + kHeaderSize - 2,
             static_cast<uint16_t>(~afm3GetU16(header + kHeaderSize - 2)));
}

uint64_t rebuiltLayoutEnd(const AlbumHeader& header, uint16_t indexCount) {
  if (header.indexListOffset() != 0)
    return uint64_t{header.indexListOffset()} + kIndexCountSize +
           uint64_t{indexCount} * kIndexEntrySize;
  return uint64_t{header.rowDirOffset()} + uint64_t{header.rowDirCount()} * kDirectoryEntrySize;
}

bool isCompleteRebuild(const char* path) {
  // Not shared: a rebuild still writing the file keeps it open, and then
  // the file is not looked at.
  HANDLE file = plat::openFile(path, plat::kGenericRead, 0, plat::Disposition::OpenExisting);
  if (file == plat::invalidFile()) return false;
  const uint32_t size = plat::fileSize(file);
  const bool complete = size != 0xFFFFFFFFu && headerDescribesWholeFile(file, size);
  plat::closeFile(file);
  return complete;
}

bool finishInterruptedReplacement(const char* albumPath) {
  if (plat::fileAttributes(albumPath) != plat::kInvalidAttributes) return false;
  char work[MAX_PATH];
  if (!rebuildFilePath(albumPath, work, sizeof work) || !isCompleteRebuild(work)) return false;
  return plat::moveFile(work, albumPath);
}

}  // namespace afm3
