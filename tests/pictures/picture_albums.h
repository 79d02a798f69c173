// Albums for the record-picture tests: version-3 albums made through the
// library and read back as plain files, and version-2 albums written here
// byte by byte (header, page table, pages, entries and thumbnails), since
// the library never writes that format.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afm3.h"
#include "album_fixtures.h"
#include "temp_dir.h"

namespace picalbum {

using afm3test::Bytes;
using afm3test::get16;
using afm3test::get32;

HINSTANCE ownerKey(int n);

// afm3OpenAlbum flags: read-write, others reading (no lock, no commit),
// and read-write with write sharing.
constexpr DWORD kPrivate = 0x41;
constexpr DWORD kShared = 0x21;

// A version-3 album with one text field, at path (a new file in a
// scratch folder unless a path is given), open under an owner key of its
// own.
class Album {
 public:
  explicit Album(const std::string& path = "", DWORD flags = kPrivate);
  ~Album();
  Album(const Album&) = delete;
  Album& operator=(const Album&) = delete;

  HINSTANCE owner() const { return owner_; }
  HANDLE handle() const;
  const std::string& path() const { return path_; }
  void close();
  void open(DWORD flags);

  // Inserts a record with the entry (zeros when empty; keep-number flag
  // 0x10 chooses its number) and strings; returns the record number, or
  // -1 when the insert failed.
  int insert(Bytes entry = {}, const char* stringA = nullptr, const char* stringB = nullptr);
  // Inserts a record with an image from a bitmap; returns its number.
  int insertImage(const Bytes& imageHeader, HGLOBAL dib);

  Bytes file() const;
  // The record's entry as the file holds it.
  Bytes entryOnDisk(uint32_t record) const;
  uint32_t entryOffset(uint32_t record) const;
  // Writes bytes into the file (through a handle of its own).
  void patch(uint32_t offset, const Bytes& bytes);

 private:
  afm3test::TempDir dir_;
  HINSTANCE owner_;
  std::string path_;
};

// The picture fields of a RecordEntry a test sets.
Bytes entryWith(uint8_t sourceKind, uint8_t driveType, const std::string& shortPath,
                uint16_t flags = 0);

// ---- version 2 ----------------------------------------------------------
struct V2Record {
  uint16_t number = 0;          // 0xFFFF: deleted
  uint32_t place = 0xFFFFFFFF;  // the record's slot when it differs from number
  uint8_t sourceKind = 0;
  std::string fileName;  // at most 13 characters
  std::string folder;    // at most 115
  std::string label;     // at most 31
  uint32_t fileSize = 0;
  uint16_t time = 0, date = 0;
  uint8_t driveType = 3;
  Bytes format = Bytes(20, 0);
  uint16_t flags = 0;  // bit 3: thumbnail stored raw
  // Thumbnail: old type, size, and the stored bytes (top row first).
  uint8_t imageType = 0;
  uint16_t width = 0, height = 0;
  Bytes image;  // empty: no thumbnail
};

// A version-2 album with pages of 64 entries; record n goes to page n / 64.
// pageCount pages are allocated; the page table holds garbage after its
// first zero when trailingGarbage is set.
class V2AlbumWriter {
 public:
  explicit V2AlbumWriter(uint32_t pageCount, uint8_t compressionSetting = 0);
  void add(const V2Record& record);
  void setTrailingGarbage() { garbage_ = true; }
  // The whole file; images are appended after the pages.
  Bytes build() const;
  // Where record n's entry lies in the built file.
  uint32_t entryOffset(uint32_t record) const;

 private:
  uint32_t pages_;
  uint8_t setting_;
  bool garbage_ = false;
  std::vector<V2Record> records_;
};

// The last error's id, module, function and step.
void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step);
void expectNoReport();

// Whether the XOR checksum of the 280-byte entry holds.
bool entryChecksumHolds(const Bytes& entry);
// A NUL-terminated field of an entry.
std::string entryText(const Bytes& entry, size_t at, size_t size);

}  // namespace picalbum
