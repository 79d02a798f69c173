#include "maintenance/rebuild_io.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "afm3_bytes.h"
#include "core/album_io.h"
#include "platform.h"

namespace afm3 {

namespace {
constexpr uint32_t kWindowSize = 16384;
constexpr uint32_t kGatherSize = 65536;
constexpr uint64_t kLargestFile = 0xFFFFFFFFu;
}  // namespace

bool AlbumReader::open(uint32_t step) {
  if (!buffer_.allocate(size_t{kWindowSize} * kWindows)) {
    reportError(kErrWorkBuffer, where_, step);
    return false;
  }
  size_ = fileLength(file_);
  if (size_ == 0xFFFFFFFFu) size_ = 0;
  for (Window& w : windows_) w = Window{};
  return true;
}

uint8_t* AlbumReader::bytesOf(const Window& w) const {
  return buffer_.get() + size_t{kWindowSize} * static_cast<size_t>(&w - windows_);
}

AlbumReader::Window* AlbumReader::windowFor(uint64_t offset, uint32_t count, uint32_t seekStep,
                                            uint32_t readStep) {
  Window* oldest = &windows_[0];
  for (Window& w : windows_) {
    if (offset >= w.at && offset + count <= w.at + w.bytes) {
      w.lastUse = ++uses_;
      return &w;
    }
    if (w.lastUse < oldest->lastUse) oldest = &w;
  }
  oldest->bytes = 0;
  const uint32_t bytes = static_cast<uint32_t>(std::min<uint64_t>(kWindowSize, size_ - offset));
  if (!seekTo(file_, static_cast<uint32_t>(offset), where_, seekStep) ||
      !readExact(file_, bytesOf(*oldest), bytes, where_, readStep))
    return nullptr;
  *oldest = Window{offset, bytes, ++uses_};
  return oldest;
}

bool AlbumReader::read(uint64_t offset, void* out, uint32_t count, uint32_t seekStep,
                       uint32_t readStep) {
  if (!fits(offset, count)) {
    reportError(kErrShortRead, where_, readStep);
    return false;
  }
  if (count == 0) return true;
  if (count > kWindowSize) {
    return seekTo(file_, static_cast<uint32_t>(offset), where_, seekStep) &&
           readExact(file_, out, count, where_, readStep);
  }
  const Window* w = windowFor(offset, count, seekStep, readStep);
  if (w == nullptr) return false;
  std::memcpy(out, bytesOf(*w) + (offset - w->at), count);
  return true;
}

bool AlbumReader::readU16(uint64_t offset, uint16_t* value, uint32_t seekStep, uint32_t readStep) {
  uint8_t bytes[2];
  if (!read(offset, bytes, sizeof bytes, seekStep, readStep)) return false;
  *value = afm3GetU16(bytes);
  return true;
}

bool AlbumReader::readU32(uint64_t offset, uint32_t* value, uint32_t seekStep, uint32_t readStep) {
  uint8_t bytes[4];
  if (!read(offset, bytes, sizeof bytes, seekStep, readStep)) return false;
  *value = afm3GetU32(bytes);
  return true;
}

WorkFile::~WorkFile() {
  if (created_) discard();
}

bool WorkFile::create(const char* path) {
  std::snprintf(path_, sizeof path_, "%s", path);
  if (!pending_ && !pending_.allocate(kGatherSize)) return false;
  file_ = plat::openFile(path, plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  if (file_ == plat::invalidFile()) {
    file_ = nullptr;
    return false;
  }
  created_ = true;
  end_ = 0;
  pendingBytes_ = 0;
  return true;
}

bool WorkFile::drain(uint32_t step) {
  const uint32_t count = pendingBytes_;
  pendingBytes_ = 0;
  return count == 0 || writeExact(file_, pending_.get(), count, kErrHeaderWrite, where_, step);
}

bool WorkFile::append(const void* bytes, uint32_t count, uint32_t step) {
  if (uint64_t{end_} + count > kLargestFile) {
    reportError(kErrHeaderWrite, where_, step);
    return false;
  }
  if (pendingBytes_ + count > kGatherSize && !drain(step)) return false;
  if (count >= kGatherSize) {
    if (!writeExact(file_, bytes, count, kErrHeaderWrite, where_, step)) return false;
  } else if (count > 0) {
    std::memcpy(pending_.get() + pendingBytes_, bytes, count);
    pendingBytes_ += count;
  }
  end_ += count;
  return true;
}

bool WorkFile::writeAt(uint32_t offset, const void* bytes, uint32_t count, uint32_t seekStep,
                       uint32_t writeStep) {
  return drain(writeStep) && seekTo(file_, offset, where_, seekStep) &&
         writeExact(file_, bytes, count, kErrHeaderWrite, where_, writeStep) &&
         seekTo(file_, end_, where_, seekStep);
}

bool WorkFile::flush(uint32_t step) {
  if (!drain(step)) return false;
  if (plat::flushFile(file_)) return true;
  reportError(kErrHeaderWrite, where_, step);
  return false;
}

void WorkFile::closeAndKeep() {
  if (file_ != nullptr) plat::closeFile(file_);
  file_ = nullptr;
  created_ = false;
}

void WorkFile::discard() {
  if (file_ != nullptr) plat::closeFile(file_);
  file_ = nullptr;
  if (created_) plat::deleteFile(path_);
  created_ = false;
}

}  // namespace afm3
