// Albums for the record tests: made through the library, then read and
// patched as plain files so that layouts are checked byte by byte against
// numbers worked out by hand.
#pragma once

#include <cstdint>
#include <deque>
#include <initializer_list>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace rectest {

using afm3test::Bytes;
using afm3test::get16;
using afm3test::get32;

HINSTANCE ownerKey(int n = 1);

// Flags of afm3OpenAlbum: read-write with read sharing (no write
// transactions lock or commit) and read-write with write sharing.
constexpr DWORD kPrivate = 0x41;
constexpr DWORD kShared = 0x21;

// The caller's RecordValues: one pointer per live field, in field order.
class Values {
 public:
  Values& raw(Bytes bytes);
  Values& u32(uint32_t v);
  Values& text(const std::string& s);
  Values& blob(const Bytes& payload);  // u32 length, then the bytes
  Values& none();
  const void* const* get();

 private:
  std::deque<Bytes> storage_;
  std::vector<int> slots_;  // index into storage_, -1 = null
  std::vector<const void*> pointers_;
};

// An album of the given field types (named F0, F1, ...), created and
// opened with flags under an owner key of its own.
class TestAlbum {
 public:
  explicit TestAlbum(std::initializer_list<uint8_t> types, DWORD flags = kPrivate)
      : TestAlbum(std::vector<uint8_t>(types), flags) {}
  explicit TestAlbum(const std::vector<uint8_t>& types, DWORD flags = kPrivate);
  ~TestAlbum();
  TestAlbum(const TestAlbum&) = delete;
  TestAlbum& operator=(const TestAlbum&) = delete;

  // The album's current handle (a commit may replace it).
  HANDLE handle() const { return handleOf(owner); }
  static HANDLE handleOf(HINSTANCE owner);
  void close();
  void open(DWORD flags);
  // Opens the same file once more under another owner key.
  HANDLE openAs(HINSTANCE other, DWORD flags);

  Bytes file() const;
  uint32_t size() const { return static_cast<uint32_t>(file().size()); }
  // Writes bytes into the closed album's file at offset.
  void patch(uint32_t offset, const Bytes& bytes);
  // Rewrites the header's checksum of the closed album's file.
  void resealHeader();

  // afm3InsertRecord with an entry of zeros (or the given one); returns
  // its result and leaves the entry as the library returned it.
  int insert(Values* values, Bytes* entry = nullptr, const char* stringA = nullptr,
             const char* stringB = nullptr, DWORD* stringAOffset = nullptr);
  std::string text(uint32_t record, uint32_t field, int* result = nullptr);

  HINSTANCE owner;
  std::string path;

 private:
  afm3test::TempDir dir_;
};

Bytes entryWithNumber(uint16_t number, uint16_t flags);
void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step);
void expectNoReport();

// Bytes of a movable block a caller received, and freeing it.
Bytes handleBytes(HGLOBAL handle);
void freeLockedOutput(void* pointer);

}  // namespace rectest
