#include "core/checksum.h"

#include <bit>
#include <cstring>

#include "afm3_bytes.h"

namespace afm3 {

uint16_t computeChecksum(const uint8_t* block, size_t size) {
  uint16_t sum = 0;
  size_t i = 0;
  if constexpr (std::endian::native == std::endian::little) {
    // Four little-endian words at a time; XOR keeps the lanes apart until
    // they are folded together.
    uint64_t lanes = 0;
    for (; i + 8 + 2 <= size; i += 8) {
      uint64_t word;
      std::memcpy(&word, block + i, sizeof word);
      lanes ^= word;
    }
    lanes ^= lanes >> 32;
    lanes ^= lanes >> 16;
    sum = static_cast<uint16_t>(lanes);
  }
  for (; i + 2 < size; i += 2) sum ^= afm3GetU16(block + i);
  return sum;
}

bool checksumHolds(const uint8_t* block, size_t size) {
  return size >= 2 && computeChecksum(block, size) == afm3GetU16(block + size - 2);
}

void storeChecksum(uint8_t* block, size_t size) {
  afm3PutU16(block + size - 2, computeChecksum(block, size));
}

}  // namespace afm3
