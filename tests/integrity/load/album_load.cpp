// A host process of the load test. Writers insert and update records of a
// shared album (write sharing, whole-file lock per change) and write down
// what each of their records should hold; readers read records the whole
// time and count values that do not fit together.
//
//   album_load write ALBUM ID COUNT RESULTS   COUNT inserts, an update of an
//                                            own record after every second
//   album_load read ALBUM ID STOPFILE [count]  reads until STOPFILE exists;
//                                            with "count" inconsistent
//                                            records are only counted (where
//                                            locks do not hold reads back)
//
// A record written by writer W as its i-th holds text "wW-i" (or
// "wW-i-uJ" once updated), memo "mW-i", type-9 string "sW-i" and the u32
// W * 100000 + i. Exit code: 0 fine, 1 a call failed for good, 2 a reader
// saw an inconsistent record, 250 bad arguments.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "afm3.h"
#include "platform.h"
#include "q32comm.h"

namespace {

constexpr DWORD kSharedReadWrite = 0x21;
constexpr DWORD kSharedReadOnly = 0x22;
constexpr int kAttempts = 20000;  // a busy album: the lock is held by another writer

// A commit may give the album a new file handle; the library announces it
// with its registered message, whose lParam carries the low 16 bits of the
// old and the new handle (the whole handle on both systems).
UINT commitMessage = 0;
HANDLE current = nullptr;

LRESULT CALLBACK onMessage(HWND, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == commitMessage && wParam == 1)
    current = reinterpret_cast<HANDLE>(static_cast<uintptr_t>((lParam >> 16) & 0xFFFF));
  return 0;
}

HINSTANCE ownerOf(int id) {
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x7100 + id));
}

std::string tag(int writer, int i) { return std::to_string(writer) + "-" + std::to_string(i); }

// Calls f until it succeeds; the whole-file lock is not waited for by the
// library, so a busy album is tried again after a short pause.
template <typename F>
bool retried(F f) {
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    if (f()) return true;
    plat::sleepMs(1);
  }
  char text[300] = {};
  DWORD id = 0, module = 0, function = 0, step = 0;
  c32GetDLLErrInfo(text, sizeof text, &id, &module, &function, &step);
  std::fprintf(stderr, "gave up: %s (%lu at %lu/%lu/%lu)\n", text, static_cast<unsigned long>(id),
               static_cast<unsigned long>(module), static_cast<unsigned long>(function),
               static_cast<unsigned long>(step));
  return false;
}

// Opens the album for this host and listens for its handle changes.
bool openAlbum(HINSTANCE owner, const char* album, DWORD flags) {
  HWND window = plat::createMessageWindow(onMessage, nullptr);
  commitMessage = afm3Register(owner, window);
  // Opening reads the header, which a writer's lock may hold up for longer
  // than the library waits.
  return retried([&] {
    return afm3OpenAlbum(owner, album, flags, &current, nullptr, nullptr, nullptr) != 0xFFFF;
  });
}

int write(const char* album, int id, int count, const char* results) {
  const HINSTANCE owner = ownerOf(id);
  if (!openAlbum(owner, album, kSharedReadWrite)) return 1;
  std::vector<uint32_t> numbers;
  std::vector<std::string> texts;
  for (int i = 0; i < count; ++i) {
    const std::string text = "w" + tag(id, i), memo = "m" + tag(id, i), string = "s" + tag(id, i);
    uint8_t number[4];
    const uint32_t value = static_cast<uint32_t>(id) * 100000u + static_cast<uint32_t>(i);
    std::memcpy(number, &value, 4);
    const void* values[] = {text.c_str(), memo.c_str(), string.c_str(), number};
    uint8_t entry[280];
    const bool inserted = retried([&] {
      std::memset(entry, 0, sizeof entry);
      return afm3InsertRecord(owner, current, entry, nullptr, nullptr, nullptr, values, nullptr,
                              nullptr, nullptr) == 1;
    });
    if (!inserted) return 1;
    numbers.push_back(static_cast<uint32_t>(entry[0] | entry[1] << 8));
    texts.push_back(text);
    if (i % 2 == 1) {
      const size_t mine = static_cast<size_t>(std::rand()) % numbers.size();
      const std::string updated = "w" + tag(id, static_cast<int>(mine)) + "-u" + std::to_string(i);
      if (!retried([&] {
            return afm3UpdateRecordField(owner, current, numbers[mine], 0, updated.c_str()) == TRUE;
          }))
        return 1;
      texts[mine] = updated;
    }
  }
  afm3CloseAlbum(owner, current);
  std::string out;
  for (size_t i = 0; i < numbers.size(); ++i)
    out += std::to_string(numbers[i]) + " " + texts[i] + "\n";
  const plat::FileHandle file =
      plat::openFile(results, plat::kGenericWrite, 0, plat::Disposition::CreateAlways);
  uint32_t done = 0;
  const bool ok = file != plat::invalidFile() &&
                  plat::writeFile(file, out.data(), static_cast<uint32_t>(out.size()), &done);
  plat::closeFile(file);
  return ok ? 0 : 1;
}

// Whether record r's values belong together; only values read in full
// are judged (a read that met the lock too long is no verdict).
bool consistent(HINSTANCE owner, HANDLE h, uint32_t r) {
  char text[300] = {}, memo[300] = {};
  uint8_t number[4] = {};
  if (afm3ReadRecordField(owner, h, r, 0, text) != 1 ||
      afm3ReadRecordField(owner, h, r, 1, memo) != 1 ||
      afm3ReadRecordField(owner, h, r, 3, number) != 1)
    return true;
  uint32_t value = 0;
  std::memcpy(&value, number, 4);
  const std::string base = tag(static_cast<int>(value / 100000), static_cast<int>(value % 100000));
  const std::string t = text;
  return std::string(memo) == "m" + base && (t == "w" + base || t.rfind("w" + base + "-u", 0) == 0);
}

int read(const char* album, int id, const char* stopFile, bool strict) {
  const HINSTANCE owner = ownerOf(id);
  if (!openAlbum(owner, album, kSharedReadOnly)) return 1;
  int bad = 0;
  long reads = 0;
  while (plat::fileAttributes(stopFile) == plat::kInvalidAttributes) {
    uint8_t info[1736];
    if (!afm3ReadBasicAlbumInfo(owner, current, info)) continue;
    const uint32_t next = static_cast<uint32_t>(info[2] | info[3] << 8);
    if (next == 0) continue;
    const uint32_t r = static_cast<uint32_t>(std::rand()) % next;
    if (!consistent(owner, current, r)) {
      std::fprintf(stderr, "reader %d: record %u does not hold together\n", id, r);
      ++bad;
    }
    ++reads;
  }
  afm3CloseAlbum(owner, current);
  std::printf("reader %d: %ld records read, %d inconsistent\n", id, reads, bad);
  return bad > 0 && strict ? 2 : 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 6 && std::strcmp(argv[1], "write") == 0)
    return write(argv[2], std::atoi(argv[3]), std::atoi(argv[4]), argv[5]);
  if ((argc == 5 || argc == 6) && std::strcmp(argv[1], "read") == 0) {
    std::srand(static_cast<unsigned>(std::atoi(argv[3])));
    return read(argv[2], std::atoi(argv[3]), argv[4], argc == 5);
  }
  return 250;
}
