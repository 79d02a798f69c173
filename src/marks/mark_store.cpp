#include "marks/mark_store.h"

#include <cstdio>
#include <cstring>
#include <string>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "core/paths.h"
#include "q32comm.h"

namespace afm3 {

namespace {

constexpr uint32_t kFullShare = plat::kShareRead | plat::kShareWrite;
constexpr uint32_t kReadWrite = plat::kGenericRead | plat::kGenericWrite;

std::string wholeNumber(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.0f", value < 0 ? 0.0 : value);
  return text;
}

}  // namespace

void reportDiskSpace(const char* path, uint64_t needed, Location where, uint32_t step) {
  reportFormatted(kErrDiskSpaceFormat,
                  {wholeNumber(qfdGetDiskFreeSpace(path)), pathRoot(path),
                   wholeNumber(static_cast<double>(needed))},
                  where, step);
}

bool MarkFile::open(const char* path, MarkAccess access, Location where, uint32_t step) {
  close();
  file_ =
      access == MarkAccess::Write
          ? plat::openFile(path, kReadWrite, 0, plat::Disposition::OpenExisting)
          : plat::openFile(path, plat::kGenericRead, kFullShare, plat::Disposition::OpenExisting);
  if (isOpen()) return true;
  reportSystemError(plat::lastError(), where, step);
  return false;
}

void MarkFile::close() {
  if (isOpen()) plat::closeFile(file_);
  file_ = plat::invalidFile();
}

bool MarkFile::read(uint32_t offset, void* out, uint32_t count, Location where, uint32_t seekStep,
                    uint32_t ioStep) {
  if (!seekTo(file_, offset, where, seekStep)) return false;
  if (retryingRead(file_, out, count) == count) return true;
  reportError(kErrMarkFile, where, ioStep);
  return false;
}

bool MarkFile::write(uint32_t offset, const void* bytes, uint32_t count, Location where,
                     uint32_t seekStep, uint32_t ioStep) {
  return seekTo(file_, offset, where, seekStep) &&
         writeExact(file_, bytes, count, kErrNoDiskSpace, where, ioStep);
}

bool MarkFile::readU32(uint32_t offset, uint32_t* value, Location where, uint32_t seekStep,
                       uint32_t ioStep) {
  uint8_t word[4];
  if (!read(offset, word, sizeof word, where, seekStep, ioStep)) return false;
  *value = afm3GetU32(word);
  return true;
}

bool MarkFile::writeU32(uint32_t offset, uint32_t value, Location where, uint32_t seekStep,
                        uint32_t ioStep) {
  uint8_t word[4];
  afm3PutU32(word, value);
  return write(offset, word, sizeof word, where, seekStep, ioStep);
}

bool readValidHeader(MarkFile& file, uint8_t* header) {
  if (!file.read(0, header, kMarkHeaderSize, kVerifyMark, kVerifyStepRead, kVerifyStepRead))
    return false;
  const MarkHeader view(header);
  if (!view.hasMagic()) {
    reportError(kErrMarkHeader, kVerifyMark, kVerifyStepMagic);
    return false;
  }
  if (!view.checksumHolds()) {
    reportError(kErrMarkHeader, kVerifyMark, kVerifyStepChecksum);
    return false;
  }
  return true;
}

bool verifyMarkFile(const char* path) {
  MarkFile file;
  uint8_t header[kMarkHeaderSize];
  return file.open(path, MarkAccess::Read, kVerifyMark, kVerifyStepOpen) &&
         readValidHeader(file, header);
}

plat::FileHandle createNewFile(const char* path) {
  return plat::openFile(path, plat::kGenericWrite, 0, plat::Disposition::CreateNew);
}

// Writes the names and buckets (all zero) before the header: a file cut
// short on the way has no valid header and is never taken for a mark file.
bool writeEmptyMarkFile(plat::FileHandle file, const char* path, const char* title,
                        const char* albumPath, const EmptyFileSteps& steps) {
  bool ok = qfdGetDiskFreeSpace(path) > kEmptyMarkFileSize;
  if (!ok) reportDiskSpace(path, kEmptyMarkFileSize, steps.where, steps.diskSpace);
  static const uint8_t zeros[kMarkRecordsOffset - kMarkHeaderSize] = {};
  uint8_t header[kMarkHeaderSize];
  MarkHeader(header).initialise(title, albumPath);
  ok = ok && seekTo(file, kMarkNamesOffset, steps.where, steps.names) &&
       writeExact(file, zeros, kMarkNamesSize, kErrNoDiskSpace, steps.where, steps.names) &&
       writeExact(file, zeros, kMarkRecordsOffset - kFreeHeadOffset, kErrNoDiskSpace, steps.where,
                  steps.buckets) &&
       seekTo(file, 0, steps.where, steps.header) &&
       writeExact(file, header, kMarkHeaderSize, kErrNoDiskSpace, steps.where, steps.header);
  plat::closeFile(file);
  if (!ok) plat::deleteFile(path);
  return ok;
}

ChainWalk::ChainWalk(MarkFile& file, uint32_t head, const ChainSteps& steps)
    : file_(file), steps_(steps), fileSize_(file.size()), nextOffset_(head) {}

bool ChainWalk::next() {
  if (failed_ || nextOffset_ == 0) return false;
  if (!recordFits(nextOffset_, fileSize_) || visited_ >= recordCapacity(fileSize_)) {
    reportError(kErrMarkHeader, steps_.where, steps_.read);
    failed_ = true;
    return false;
  }
  offset_ = nextOffset_;
  if (!file_.read(offset_, record_, kMarkRecordSize, steps_.where, steps_.seek, steps_.read)) {
    failed_ = true;
    return false;
  }
  ++visited_;
  nextOffset_ = record().next();
  return true;
}

}  // namespace afm3
