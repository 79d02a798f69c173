#include "records_support.h"

#include <gtest/gtest.h>

#include <cstring>

#include "core/album_table.h"
#include "platform.h"

namespace rectest {

HINSTANCE ownerKey(int n) {
  return reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x5000 + n));
}

Values& Values::raw(Bytes bytes) {
  storage_.push_back(std::move(bytes));
  slots_.push_back(static_cast<int>(storage_.size() - 1));
  return *this;
}

Values& Values::u32(uint32_t v) {
  Bytes b(4);
  afm3test::put32(b, 0, v);
  return raw(b);
}

Values& Values::text(const std::string& s) {
  return raw(Bytes(s.c_str(), s.c_str() + s.size() + 1));
}

Values& Values::blob(const Bytes& payload) {
  Bytes b(4 + payload.size());
  afm3test::put32(b, 0, static_cast<uint32_t>(payload.size()));
  std::copy(payload.begin(), payload.end(), b.begin() + 4);
  return raw(b);
}

Values& Values::none() {
  slots_.push_back(-1);
  return *this;
}

const void* const* Values::get() {
  pointers_.clear();
  for (int s : slots_) pointers_.push_back(s < 0 ? nullptr : storage_[s].data());
  pointers_.push_back(nullptr);
  return pointers_.data();
}

TestAlbum::TestAlbum(const std::vector<uint8_t>& types, DWORD flags) {
  static int albums = 0;
  owner = ownerKey(100 + albums++);
  // The caller's field descriptions, 67 bytes each: type at 1, name at 2.
  Bytes fields;
  int n = 0;
  for (uint8_t type : types) {
    Bytes field(67, 0);
    field[1] = type;
    const std::string name = "F" + std::to_string(n++);
    std::copy(name.begin(), name.end(), field.begin() + 2);
    fields.insert(fields.end(), field.begin(), field.end());
  }
  path = dir_.file("records.ab3");
  HANDLE created = afm3CreateAlbum(owner, afm3test::albumInfo("Records").data(),
                                   static_cast<DWORD>(types.size()), fields.data(), path.c_str(),
                                   nullptr, nullptr);
  EXPECT_NE(created, nullptr);
  afm3CloseAlbum(owner, created);
  open(flags);
}

TestAlbum::~TestAlbum() {
  for (size_t i = 0; i < afm3::albumTableCapacity(); ++i) {
    const afm3::AlbumSlot& slot = afm3::slotAt(static_cast<int>(i));
    if ((slot.flags & afm3::kSlotInUse) && slot.path != nullptr && path == slot.path)
      afm3CloseAlbum(slot.ownerKey, slot.file);
  }
}

HANDLE TestAlbum::handleOf(HINSTANCE owner) {
  for (size_t i = 0; i < afm3::albumTableCapacity(); ++i) {
    const afm3::AlbumSlot& slot = afm3::slotAt(static_cast<int>(i));
    if ((slot.flags & afm3::kSlotInUse) && slot.ownerKey == owner) return slot.file;
  }
  return nullptr;
}

void TestAlbum::close() { afm3CloseAlbum(owner, handle()); }

void TestAlbum::open(DWORD flags) { ASSERT_NE(openAs(owner, flags), nullptr); }

HANDLE TestAlbum::openAs(HINSTANCE other, DWORD flags) {
  HANDLE h = nullptr;
  if (afm3OpenAlbum(other, path.c_str(), flags, &h, nullptr, nullptr, nullptr) == 0xFFFF)
    return nullptr;
  return h;
}

Bytes TestAlbum::file() const {
  const std::string bytes = afm3test::readWholeFile(path);
  return Bytes(bytes.begin(), bytes.end());
}

void TestAlbum::patch(uint32_t offset, const Bytes& bytes) {
  ASSERT_TRUE(afm3test::patchFile(path, offset, bytes));
}

void TestAlbum::resealHeader() {
  Bytes header = file();
  header.resize(1798);
  afm3test::sealChecksum(header);
  patch(0, header);
}

int TestAlbum::insert(Values* values, Bytes* entry, const char* stringA, const char* stringB,
                      DWORD* stringAOffset) {
  Bytes own(280, 0);
  Bytes& e = entry != nullptr ? *entry : own;
  e.resize(280);
  return afm3InsertRecord(owner, handle(), e.data(), nullptr, nullptr, stringA,
                          values != nullptr ? values->get() : nullptr, nullptr, stringAOffset,
                          stringB);
}

std::string TestAlbum::text(uint32_t record, uint32_t field, int* result) {
  char buffer[261] = {};
  const int r = afm3ReadRecordField(owner, handle(), record, field, buffer);
  if (result != nullptr) *result = r;
  return buffer;
}

Bytes entryWithNumber(uint16_t number, uint16_t flags) {
  Bytes e(280, 0);
  afm3test::put16(e, 0, number);
  afm3test::put16(e, 176, flags);
  return e;
}

void expectReport(uint32_t id, uint32_t module, uint32_t function, uint32_t step) {
  const afm3test::LastError e = afm3test::lastError();
  EXPECT_TRUE(e.recorded);
  EXPECT_EQ(e.id, id);
  EXPECT_EQ(e.module, module);
  EXPECT_EQ(e.function, function);
  EXPECT_EQ(e.step, step);
}

void expectNoReport() { EXPECT_FALSE(afm3test::lastError().recorded); }

Bytes handleBytes(HGLOBAL handle) {
  if (handle == nullptr) return {};
  const auto* p = static_cast<const uint8_t*>(plat::globalLock(handle));
  Bytes b(p, p + plat::globalSize(handle));
  plat::globalUnlock(handle);
  plat::globalFree(handle);
  return b;
}

void freeLockedOutput(void* pointer) {
  if (pointer == nullptr) return;
  HGLOBAL handle = plat::globalHandle(pointer);
  plat::globalUnlock(handle);
  plat::globalFree(handle);
}

}  // namespace rectest
