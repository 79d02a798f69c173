// Reading and writing mark files: the open file with its checked reads and
// writes, the header check, empty files, and bounded walks along chains.
#pragma once

#include <cstdint>

#include "afm3_types.h"
#include "core/error_report.h"
#include "marks/mark_layout.h"
#include "platform.h"

namespace afm3 {

// Writers open a mark file exclusively, readers share it with other
// readers and writers: a writer fails with the sharing error while another
// process has the file open, and nobody ever reads a half-written change.
enum class MarkAccess { Read, Write };

class MarkFile {
 public:
  MarkFile() = default;
  ~MarkFile() { close(); }
  MarkFile(const MarkFile&) = delete;
  MarkFile& operator=(const MarkFile&) = delete;

  // Opens an existing file; false after reporting the Windows error.
  bool open(const char* path, MarkAccess access, Location where, uint32_t step);
  bool isOpen() const { return file_ != plat::invalidFile(); }
  void close();
  // The file's size now; 0xFFFFFFFF when it cannot be told.
  uint32_t size() const { return plat::fileSize(file_); }

  // Exact reads and writes at offset: a failed positioning reports 6406 at
  // seekStep, a short read 6433 and a short write 6404 at ioStep.
  bool read(uint32_t offset, void* out, uint32_t count, Location where, uint32_t seekStep,
            uint32_t ioStep);
  bool write(uint32_t offset, const void* bytes, uint32_t count, Location where, uint32_t seekStep,
             uint32_t ioStep);
  bool readU32(uint32_t offset, uint32_t* value, Location where, uint32_t seekStep,
               uint32_t ioStep);
  bool writeU32(uint32_t offset, uint32_t value, Location where, uint32_t seekStep,
                uint32_t ioStep);

 private:
  plat::FileHandle file_ = plat::invalidFile();
};

// Where the header check reports (module 7012, function 2).
enum VerifyStep : uint32_t {
  kVerifyStepOpen = 1,
  kVerifyStepRead = 2,      // 6433
  kVerifyStepMagic = 3,     // 6432
  kVerifyStepChecksum = 4,  // 6432
};
constexpr Location kVerifyMark{kModMarks, 2};

// Reads the header of an open mark file into header (164 bytes) and checks
// its magic and checksum; false after reporting as the verification does.
bool readValidHeader(MarkFile& file, uint8_t* header);
// Mark-file verification: opens path for reading and checks its header.
bool verifyMarkFile(const char* path);

// A new file at path for writing, without sharing, never replacing one
// that exists; invalidFile() with the Windows error left for the caller.
plat::FileHandle createNewFile(const char* path);

// Reports message 6402 with the free bytes and root of path's volume and
// the bytes needed, as a ready text.
void reportDiskSpace(const char* path, uint64_t needed, Location where, uint32_t step);

struct EmptyFileSteps {
  Location where;
  uint32_t diskSpace;  // 6402, formatted with the free bytes and the root
  uint32_t header;     // 6404
  uint32_t names;      // 6404
  uint32_t buckets;    // 6404
};
// Writes an empty mark file into the file just created at path and closes
// it. On failure the file is deleted after the report.
bool writeEmptyMarkFile(plat::FileHandle file, const char* path, const char* title,
                        const char* albumPath, const EmptyFileSteps& steps);

// A walk along a chain (a bucket's records or the free list). Every offset
// is checked against the file before it is read, and a chain longer than
// the file can hold is a loop: both end the walk with 6432 at the read
// step, so nothing is ever written on the strength of a damaged chain.
struct ChainSteps {
  Location where;
  uint32_t seek;  // 6406
  uint32_t read;  // 6433 for a short read, 6432 for a damaged chain
};

class ChainWalk {
 public:
  ChainWalk(MarkFile& file, uint32_t head, const ChainSteps& steps);
  // Reads the next record; false at the end of the chain, or after a
  // report (failed()).
  bool next();
  bool failed() const { return failed_; }
  uint32_t offset() const { return offset_; }
  const uint8_t* bytes() const { return record_; }
  MarkRecord record() const { return MarkRecord(record_); }

 private:
  MarkFile& file_;
  ChainSteps steps_;
  uint32_t fileSize_;
  uint32_t nextOffset_;
  uint32_t offset_ = 0;
  uint32_t visited_ = 0;
  bool failed_ = false;
  uint8_t record_[kMarkRecordSize] = {};
};

}  // namespace afm3
