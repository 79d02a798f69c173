#include "album_fixtures.h"

#include <cstring>

#include "platform.h"
#include "q32comm.h"

namespace afm3test {

uint16_t get16(const Bytes& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}
uint32_t get32(const Bytes& b, size_t at) {
  return uint32_t{b[at]} | uint32_t{b[at + 1]} << 8 | uint32_t{b[at + 2]} << 16 |
         uint32_t{b[at + 3]} << 24;
}
void put16(Bytes& b, size_t at, uint16_t v) {
  b[at] = static_cast<uint8_t>(v);
  b[at + 1] = static_cast<uint8_t>(v >> 8);
}
void put32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint16_t xorChecksum(const Bytes& block) {
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < block.size(); i += 2) sum ^= get16(block, i);
  return sum;
}

void sealChecksum(Bytes& block) { put16(block, block.size() - 2, xorChecksum(block)); }

Bytes albumInfo(const std::string& title, uint16_t thumbSize) {
  Bytes info(1736, 0);
  const size_t head = std::min<size_t>(title.size(), 23);
  std::memcpy(&info[8], title.data(), head);
  const std::string tail = title.substr(head, 253);
  std::memcpy(&info[1482], tail.data(), tail.size());
  put16(info, 4, thumbSize);
  return info;
}

Bytes fieldSpec(const std::string& name, uint8_t type, uint8_t index) {
  Bytes bytes(67, 0);
  bytes[1] = type;
  std::memcpy(&bytes[2], name.data(), std::min<size_t>(name.size(), 63));
  bytes[66] = index;
  return bytes;
}

Bytes specs(std::initializer_list<Bytes> list) {
  Bytes all;
  for (const Bytes& s : list) all.insert(all.end(), s.begin(), s.end());
  return all;
}

Bytes version2Album(const std::string& title, uint16_t records, uint32_t pages) {
  constexpr size_t kHeader = 4784, kPage = 30720;
  Bytes file(kHeader + pages * kPage, 0);
  const uint8_t magic[] = {0xD6, 0xC5, 0x6F, 0xCD, 2, 0};
  std::memcpy(file.data(), magic, sizeof magic);
  put16(file, 6, 64);
  put16(file, 8, records);
  std::memcpy(&file[10], title.data(), std::min<size_t>(title.size(), 23));
  for (uint32_t p = 0; p < pages; ++p)
    put32(file, 546 + 4 * p, static_cast<uint32_t>(kHeader + p * kPage));
  Bytes header(file.begin(), file.begin() + kHeader);
  sealChecksum(header);
  std::copy(header.begin(), header.end(), file.begin());
  return file;
}

Bytes version1Header(uint8_t minor, const std::string& title, uint16_t records) {
  Bytes header(192, 0);
  const uint8_t magic[] = {0xD6, 0xC5, 0x6F, 0xCD, 1, minor};
  std::memcpy(header.data(), magic, sizeof magic);
  put16(header, 16, 64);
  put16(header, 18, records);
  std::memcpy(&header[20], title.data(), std::min<size_t>(title.size(), 23));
  sealChecksum(header);
  return header;
}

bool patchFile(const std::string& path, uint32_t offset, const Bytes& bytes) {
  HANDLE f = plat::openFile(path.c_str(), plat::kGenericRead | plat::kGenericWrite,
                            plat::kShareRead | plat::kShareWrite, plat::Disposition::OpenExisting);
  if (f == plat::invalidFile()) return false;
  uint32_t done = 0;
  const bool ok = plat::seekFile(f, offset, plat::SeekFrom::Begin) == offset &&
                  plat::writeFile(f, bytes.data(), static_cast<uint32_t>(bytes.size()), &done) &&
                  done == bytes.size();
  plat::closeFile(f);
  return ok;
}

LastError lastError() {
  LastError e;
  char text[512] = {};
  e.recorded = c32GetDLLErrInfo(text, sizeof text, &e.id, &e.module, &e.function, &e.step) != 0;
  e.text = text;
  return e;
}

void clearLastError() { c32ClearDLLErrInfo(); }

std::string messageText(uint32_t id) {
  char text[256] = {};
  HMODULE resources = plat::loadLibrary("QMBRC.dll");
  plat::loadString(resources, id, text, sizeof text);
  plat::freeLibrary(resources);
  return text;
}

}  // namespace afm3test
