// Helpers of the platform tests: files closed at the end of a scope and the
// second process (platform_child).
#pragma once

#include <string>
#include <vector>

#include "platform.h"

namespace afm3test {

class File {
 public:
  File(const std::string& path, uint32_t access, uint32_t share,
       plat::Disposition how = plat::Disposition::OpenExisting)
      : handle_(plat::openFile(path.c_str(), access, share, how)), error_(plat::lastError()) {}
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool ok() const { return handle_ != plat::invalidFile(); }
  // The error of a failed open.
  uint32_t error() const { return error_; }
  plat::FileHandle get() const { return handle_; }
  void close() {
    if (ok()) plat::closeFile(handle_);
    handle_ = plat::invalidFile();
  }
  // Reads count bytes at offset; false with plat::lastError() on failure.
  bool readAt(uint32_t offset, uint32_t count, std::string* out = nullptr) {
    std::string bytes(count, '\0');
    uint32_t done = 0;
    if (plat::seekFile(handle_, offset, plat::SeekFrom::Begin) != offset) return false;
    if (!plat::readFile(handle_, bytes.data(), count, &done)) return false;
    if (out) *out = bytes.substr(0, done);
    return true;
  }
  bool writeAt(uint32_t offset, const std::string& bytes) {
    uint32_t done = 0;
    return plat::seekFile(handle_, offset, plat::SeekFrom::Begin) == offset &&
           plat::writeFile(handle_, bytes.data(), static_cast<uint32_t>(bytes.size()), &done) &&
           done == bytes.size();
  }

 private:
  plat::FileHandle handle_;
  uint32_t error_;
};

constexpr uint32_t kReadWrite = plat::kGenericRead | plat::kGenericWrite;
constexpr uint32_t kShareReadWrite = plat::kShareRead | plat::kShareWrite;
constexpr uint32_t kShareAll = plat::kShareRead | plat::kShareWrite | plat::kShareDelete;

// Runs platform_child (beside the test program) with a command; returns its
// exit code: 0 or the Windows error it met.
inline int runChild(std::vector<std::string> args) {
  args.insert(args.begin(), "platform_child");
  return plat::runProcess(args);
}

inline bool exists(const std::string& path) {
  return plat::fileAttributes(path.c_str()) != plat::kInvalidAttributes;
}

}  // namespace afm3test
