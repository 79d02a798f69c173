// The second process of the mark-file tests: inserts marks into a mark file
// through the library while the test reads the same file.
//
//   insert MARKPATH FIRST COUNT   marks pictures C:\SHARED\Pn.JPG for n =
//                                 FIRST .. FIRST + COUNT - 1 (mark set n),
//                                 trying again while a reader keeps the
//                                 file open (the sharing error)
// Exits 0 when every mark is in, 1 on any other failure, 2 on bad usage.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "afm3.h"
#include "platform.h"
#include "q32comm.h"

namespace {

constexpr DWORD kSharingViolation = 32;
constexpr int kAttempts = 20000;

bool insertWithRetry(const char* markPath, unsigned n) {
  unsigned char record[AFM3_THUMB_MARK_RECORD_SIZE] = {};
  std::snprintf(reinterpret_cast<char*>(record + AFM3_MARK_PATH), 128, "C:\\SHARED\\P%u.JPG", n);
  record[AFM3_MARK_SET] = static_cast<unsigned char>(n);
  record[AFM3_MARK_SET + 1] = static_cast<unsigned char>(n >> 8);
  record[AFM3_MARK_DRIVE_TYPE] = 3;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (afm3InsertThumbMark(nullptr, markPath, record)) return true;
    DWORD id = 0;
    c32GetDLLErrInfo(nullptr, 0, &id, nullptr, nullptr, nullptr);
    if (id != kSharingViolation) return false;
    plat::sleepMs(1);
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || std::strcmp(argv[1], "insert") != 0) return 2;
  const unsigned first = static_cast<unsigned>(std::strtoul(argv[3], nullptr, 10));
  const unsigned count = static_cast<unsigned>(std::strtoul(argv[4], nullptr, 10));
  for (unsigned n = first; n < first + count; ++n) {
    if (!insertWithRetry(argv[2], n)) return 1;
  }
  return 0;
}
