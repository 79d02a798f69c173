// Building blocks for album tests: caller-side structures, hand-made album
// headers of every format version, and the last error record.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "afm3_types.h"

namespace afm3test {

using Bytes = std::vector<uint8_t>;

uint16_t get16(const Bytes& b, size_t at);
uint32_t get32(const Bytes& b, size_t at);
void put16(Bytes& b, size_t at, uint16_t v);
void put32(Bytes& b, size_t at, uint32_t v);
// XOR of the 16-bit words of a block but its last, computed here on its
// own so tests do not check the library against itself.
uint16_t xorChecksum(const Bytes& block);
void sealChecksum(Bytes& block);

// A 1736-byte AlbumInfo with the title (split into title and tail when it
// is longer than 23 characters) and thumbnail size.
Bytes albumInfo(const std::string& title, uint16_t thumbSize = 96);
// One 67-byte FieldSpec.
Bytes fieldSpec(const std::string& name, uint8_t type, uint8_t index = 0);
// FieldSpecs one after the other.
Bytes specs(std::initializer_list<Bytes> list);

// A version-2 file: header (4784 bytes) with the given page offsets, title
// and record count, padded with pages of zeros when addPages is set.
Bytes version2Album(const std::string& title, uint16_t records, uint32_t pages);
// A 192-byte version-1 header (minor 0 or 2).
Bytes version1Header(uint8_t minor, const std::string& title, uint16_t records);

// Overwrites bytes of a file in place (other openers may share it);
// false when the file cannot be opened or the write is short.
bool patchFile(const std::string& path, uint32_t offset, const Bytes& bytes);

struct LastError {
  std::string text;
  DWORD id = 0, module = 0, function = 0, step = 0;
  bool recorded = false;
};
LastError lastError();
void clearLastError();
std::string messageText(uint32_t id);  // as the library loads it

}  // namespace afm3test
