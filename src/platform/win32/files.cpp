// Files and folders on the Win32 API, plus the thread's error state.
//
// Every wrapper returns straight after the failing Win32 call, so the
// thread's last error is that call's error.
#include "fault_points.h"
#include "memory_files.h"
#include "platform.h"
#include "win32_util.h"

namespace plat {

using faults::Op;
using faults::detail::Verdict;
using win32::fromFileTime;
using win32::high32;
using win32::low32;

namespace {
constexpr uint32_t kNoPosition = 0xFFFFFFFFu;
}

uint32_t lastError() { return GetLastError(); }
void setLastError(uint32_t code) { SetLastError(code); }
uint32_t setErrorMode(uint32_t mode) { return SetErrorMode(mode); }

FileHandle invalidFile() { return INVALID_HANDLE_VALUE; }

FileHandle openFile(const char* path, uint32_t access, uint32_t shareMode, Disposition disposition,
                    uint32_t attributes) {
  return CreateFileA(path, access, shareMode, nullptr, static_cast<DWORD>(disposition), attributes,
                     nullptr);
}

bool closeFile(FileHandle file) {
  // INVALID_HANDLE_VALUE is also the pseudo-handle of the current process,
  // which CloseHandle accepts; closing "no file" is an error here.
  if (file == INVALID_HANDLE_VALUE || file == nullptr) {
    SetLastError(ERROR_INVALID_HANDLE);
    return false;
  }
  return CloseHandle(file) != FALSE;
}

bool readFile(FileHandle file, void* buffer, uint32_t count, uint32_t* done) {
  if (faults::detail::check(Op::Read) == Verdict::Fail) {
    if (done) *done = 0;
    return false;
  }
  DWORD moved = 0;
  const BOOL ok = ReadFile(file, buffer, count, &moved, nullptr);
  if (done) *done = moved;
  return ok != FALSE;
}

bool writeFile(FileHandle file, const void* buffer, uint32_t count, uint32_t* done) {
  if (const Verdict v = faults::detail::check(Op::Write); v != Verdict::Proceed) {
    if (done) *done = v == Verdict::Discard ? count : 0;
    return faults::detail::decidedResult(v);
  }
  DWORD moved = 0;
  const BOOL ok = WriteFile(file, buffer, count, &moved, nullptr);
  if (done) *done = moved;
  return ok != FALSE;
}

uint32_t seekFile(FileHandle file, int64_t distance, SeekFrom from) {
  if (faults::detail::check(Op::Seek) == Verdict::Fail) return kNoPosition;
  // Positions from 0xFFFFFFFF on cannot be reported through the 32-bit
  // result: such a move fails with error 87 and leaves the pointer where it
  // was, as SetFilePointer does without a high part.
  LARGE_INTEGER before;
  before.QuadPart = 0;
  if (from == SeekFrom::Begin) {
    if (distance >= static_cast<int64_t>(kNoPosition)) {
      SetLastError(ERROR_INVALID_PARAMETER);
      return kNoPosition;
    }
  } else {
    LARGE_INTEGER zero;
    zero.QuadPart = 0;
    if (!SetFilePointerEx(file, zero, &before, FILE_CURRENT)) return kNoPosition;
  }
  LARGE_INTEGER move;
  move.QuadPart = distance;
  LARGE_INTEGER after;
  if (!SetFilePointerEx(file, move, &after, static_cast<DWORD>(from))) return kNoPosition;
  if (after.QuadPart >= static_cast<LONGLONG>(kNoPosition)) {
    SetFilePointerEx(file, before, nullptr, FILE_BEGIN);
    SetLastError(ERROR_INVALID_PARAMETER);
    return kNoPosition;
  }
  return after.LowPart;
}

uint32_t fileSize(FileHandle file) {
  DWORD high = 0;
  const DWORD low = GetFileSize(file, &high);
  if (low == INVALID_FILE_SIZE && GetLastError() != NO_ERROR) return kNoPosition;
  if (high != 0) {
    SetLastError(ERROR_FILE_TOO_LARGE);
    return kNoPosition;
  }
  return low;
}

bool flushFile(FileHandle file) { return FlushFileBuffers(file) != FALSE; }
bool setEndOfFile(FileHandle file) {
  if (const Verdict v = faults::detail::check(Op::Write); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  return SetEndOfFile(file) != FALSE;
}

bool lockFile(FileHandle file, uint64_t offset, uint64_t length) {
  if (faults::detail::check(Op::Lock) == Verdict::Fail) return false;
  return LockFile(file, low32(offset), high32(offset), low32(length), high32(length)) != FALSE;
}

bool unlockFile(FileHandle file, uint64_t offset, uint64_t length) {
  return UnlockFile(file, low32(offset), high32(offset), low32(length), high32(length)) != FALSE;
}

bool locksBindReadsAndWrites() {
  // Wine announces itself through an ntdll export that Windows lacks.
  static const bool wine =
      GetProcAddress(GetModuleHandleA("ntdll.dll"), "wine_get_version") != nullptr;
  return !wine;
}

bool fileTimes(FileHandle file, uint64_t* creation, uint64_t* lastAccess, uint64_t* lastWrite) {
  FILETIME created, accessed, written;
  if (!GetFileTime(file, &created, &accessed, &written)) return false;
  if (creation) *creation = fromFileTime(created);
  if (lastAccess) *lastAccess = fromFileTime(accessed);
  if (lastWrite) *lastWrite = fromFileTime(written);
  return true;
}

bool deleteFile(const char* path) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  return DeleteFileA(path) != FALSE;
}

bool moveFile(const char* from, const char* to) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  return MoveFileA(from, to) != FALSE;
}

bool copyFile(const char* from, const char* to, bool failIfExists) {
  if (const Verdict v = faults::detail::check(Op::Rename); v != Verdict::Proceed)
    return faults::detail::decidedResult(v);
  return CopyFileA(from, to, failIfExists ? TRUE : FALSE) != FALSE;
}

uint32_t fileAttributes(const char* path) { return GetFileAttributesA(path); }

bool setFileAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes) != FALSE;
}

bool createDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }
bool removeDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

}  // namespace plat

// Memory drives exist only in the POSIX emulation.
namespace plat::memoryFiles {

bool put(const char*, const uint8_t*, size_t) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

bool get(const char*, std::vector<uint8_t>*) {
  SetLastError(ERROR_NOT_SUPPORTED);
  return false;
}

void clear() {}

}  // namespace plat::memoryFiles
