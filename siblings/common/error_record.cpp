// The caller's last error: one record per process.
//
// The album library reports every failure here once, at the point where it
// is detected; the host reads the record back after a call failed. Hosts
// may call from several threads, so the record is guarded by a mutex and
// always copied whole.
#include <cstring>
#include <mutex>

#include "comm_internal.h"
#include "q32comm.h"

namespace {

constexpr size_t kMaxTextChars = 255;

struct ErrorRecord {
  bool recorded = false;
  char text[kMaxTextChars + 1] = {};
  DWORD errorId = 0;
  DWORD moduleCode = 0;
  DWORD functionCode = 0;
  DWORD step = 0;
};

std::mutex& recordMutex() {
  static std::mutex mutex;
  return mutex;
}

ErrorRecord& lastRecord() {
  static ErrorRecord record;
  return record;
}

}  // namespace

extern "C" {

void c32SetDLLErrInfo(LPCSTR text, DWORD errorId, DWORD /*reserved*/, DWORD moduleCode,
                      DWORD functionCode, DWORD step) {
  ErrorRecord fresh;
  fresh.recorded = true;
  if (text != nullptr) q32::boundedCopy(fresh.text, sizeof fresh.text, text, std::strlen(text));
  fresh.errorId = errorId;
  fresh.moduleCode = moduleCode;
  fresh.functionCode = functionCode;
  fresh.step = step;
  std::lock_guard<std::mutex> guard(recordMutex());
  lastRecord() = fresh;
}

BOOL c32GetDLLErrInfo(LPSTR text, UINT textSize, DWORD* errorId, DWORD* moduleCode,
                      DWORD* functionCode, DWORD* step) {
  ErrorRecord copy;
  {
    std::lock_guard<std::mutex> guard(recordMutex());
    copy = lastRecord();
  }
  if (text != nullptr && textSize > 0)
    q32::boundedCopy(text, textSize, copy.text, std::strlen(copy.text));
  if (errorId != nullptr) *errorId = copy.errorId;
  if (moduleCode != nullptr) *moduleCode = copy.moduleCode;
  if (functionCode != nullptr) *functionCode = copy.functionCode;
  if (step != nullptr) *step = copy.step;
  return copy.recorded ? TRUE : FALSE;
}

void c32ClearDLLErrInfo(void) {
  std::lock_guard<std::mutex> guard(recordMutex());
  lastRecord() = ErrorRecord();
}

}  // extern "C"
