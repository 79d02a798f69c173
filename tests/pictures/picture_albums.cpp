#include "picture_albums.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "core/album_table.h"
#include "platform.h"

namespace picalbum {

using afm3test::put16;
using afm3test::put32;

namespace {
constexpr uint32_t kV2Header = 4784, kV2Page = 30720, kV2Entry = 288;
}  // namespace

HINSTANCE ownerKey(int n) {
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x7000 + n));
}

Album::Album(const std::string& path, DWORD flags) {
  static int albums = 0;
  owner_ = ownerKey(100 + albums++);
  path_ = path.empty() ? dir_.file("pictures.ab3") : path;
  // One text field (type 11): number, type, then the name in 64 bytes.
  Bytes fields(67, 0);
  fields[1] = 11;
  std::memcpy(&fields[2], "Name", 4);
  HANDLE created = afm3CreateAlbum(owner_, afm3test::albumInfo("Pictures").data(), 1, fields.data(),
                                   path_.c_str(), nullptr, nullptr);
  EXPECT_NE(created, nullptr) << afm3test::lastError().text;
  afm3CloseAlbum(owner_, created);
  open(flags);
}

Album::~Album() {
  if (handle() != nullptr) close();
}

HANDLE Album::handle() const {
  for (size_t i = 0; i < afm3::albumTableCapacity(); ++i) {
    const afm3::AlbumSlot& slot = afm3::slotAt(static_cast<int>(i));
    if ((slot.flags & afm3::kSlotInUse) && slot.ownerKey == owner_) return slot.file;
  }
  return nullptr;
}

void Album::close() { afm3CloseAlbum(owner_, handle()); }

void Album::open(DWORD flags) {
  HANDLE h = nullptr;
  ASSERT_NE(afm3OpenAlbum(owner_, path_.c_str(), flags, &h, nullptr, nullptr, nullptr), 0xFFFFu)
      << afm3test::lastError().text;
}

int Album::insert(Bytes entry, const char* stringA, const char* stringB) {
  entry.resize(280);
  const int r = afm3InsertRecord(owner_, handle(), entry.data(), nullptr, nullptr, stringA, nullptr,
                                 nullptr, nullptr, stringB);
  return r == 1 ? get16(entry, 0) : -1;
}

int Album::insertImage(const Bytes& imageHeader, HGLOBAL dib) {
  Bytes entry(280, 0), header = imageHeader;
  const int r = afm3InsertRecord(owner_, handle(), entry.data(), header.data(), dib, nullptr,
                                 nullptr, nullptr, nullptr, nullptr);
  return r == 1 ? get16(entry, 0) : -1;
}

Bytes Album::file() const {
  const std::string bytes = afm3test::readWholeFile(path_);
  return Bytes(bytes.begin(), bytes.end());
}

uint32_t Album::entryOffset(uint32_t record) const {
  const Bytes f = file();
  const uint32_t dir = get32(f, 8);
  const uint32_t page = get32(f, dir + 4 * (record / 64));
  return page == 0 ? 0 : page + (record % 64) * 280;
}

Bytes Album::entryOnDisk(uint32_t record) const {
  const Bytes f = file();
  const uint32_t at = entryOffset(record);
  if (at == 0 || at + 280 > f.size()) return {};
  return Bytes(f.begin() + at, f.begin() + at + 280);
}

void Album::patch(uint32_t offset, const Bytes& bytes) {
  ASSERT_TRUE(afm3test::patchFile(path_, offset, bytes));
}

Bytes entryWith(uint8_t sourceKind, uint8_t driveType, const std::string& shortPath,
                uint16_t flags) {
  Bytes e(280, 0);
  e[2] = sourceKind;
  e[3] = driveType;
  std::copy(shortPath.begin(), shortPath.begin() + std::min<size_t>(shortPath.size(), 127),
            e.begin() + 8);
  put32(e, 136, 123456);
  put32(e, 140, 0x30A16B20);
  put16(e, 176, flags);
  return e;
}

V2AlbumWriter::V2AlbumWriter(uint32_t pageCount, uint8_t compressionSetting)
    : pages_(pageCount), setting_(compressionSetting) {}

void V2AlbumWriter::add(const V2Record& record) { records_.push_back(record); }

uint32_t V2AlbumWriter::entryOffset(uint32_t record) const {
  return kV2Header + (record / 64) * kV2Page + (record % 64) * kV2Entry;
}

Bytes V2AlbumWriter::build() const {
  Bytes file =
      afm3test::version2Album("Old pictures", static_cast<uint16_t>(records_.size()), pages_);
  // Every entry of an allocated page starts free.
  for (uint32_t p = 0; p < pages_; ++p)
    for (uint32_t i = 0; i < 64; ++i) put16(file, kV2Header + p * kV2Page + i * kV2Entry, 0xFFFF);
  if (garbage_) {
    // Behind the first zero: entries no reader may follow.
    put32(file, 546 + 4 * (pages_ + 1), 0x7FFFFFF0);
    put32(file, 546 + 4 * (pages_ + 2), 12);
  }
  file[4652] = static_cast<uint8_t>(setting_ << 4);
  for (const V2Record& r : records_) {
    const uint32_t slot = r.place != 0xFFFFFFFF ? r.place : r.number;
    const uint32_t at = entryOffset(slot);
    uint8_t* e = &file[at];
    put16(file, at, r.number);
    e[2] = r.sourceKind;
    std::memcpy(e + 4, r.fileName.data(), std::min<size_t>(r.fileName.size(), 13));
    put32(file, at + 18, r.fileSize);
    put16(file, at + 22, r.time);
    put16(file, at + 24, r.date);
    e[27] = r.driveType;
    std::copy(r.format.begin(), r.format.begin() + 20, file.begin() + at + 44);
    std::memcpy(e + 110, r.folder.data(), std::min<size_t>(r.folder.size(), 115));
    std::memcpy(e + 226, r.label.data(), std::min<size_t>(r.label.size(), 31));
    put16(file, at + 258, r.flags);
    if (!r.image.empty()) {
      file[at + 26] = r.imageType;
      put16(file, at + 28, r.width);
      put16(file, at + 30, r.height);
      put32(file, at + 32, static_cast<uint32_t>(r.image.size()));
      put32(file, at + 40, static_cast<uint32_t>(file.size()));
      file.insert(file.end(), r.image.begin(), r.image.end());
    }
  }
  Bytes header(file.begin(), file.begin() + kV2Header);
  afm3test::sealChecksum(header);
  std::copy(header.begin(), header.end(), file.begin());
  return file;
}

void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step) {
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_TRUE(e.recorded);
  EXPECT_EQ(e.id, id) << e.text;
  EXPECT_EQ(e.module, module);
  EXPECT_EQ(e.function, function);
  EXPECT_EQ(e.step, step);
}

void expectNoReport() {
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_FALSE(e.recorded) << e.text << " (" << e.id << ", " << e.module << ", " << e.function
                           << ", " << e.step << ")";
}

bool entryChecksumHolds(const Bytes& entry) {
  return entry.size() == 280 && afm3test::xorChecksum(entry) == get16(entry, 278);
}

std::string entryText(const Bytes& entry, size_t at, size_t size) {
  const char* text = reinterpret_cast<const char*>(entry.data() + at);
  return std::string(text, strnlen(text, size));
}

}  // namespace picalbum
