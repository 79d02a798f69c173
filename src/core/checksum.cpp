#include "core/checksum.h"

#include "afm3_bytes.h"

namespace afm3 {

uint16_t computeChecksum(const uint8_t* block, size_t size) {
  uint16_t sum = 0;
  for (size_t i = 0; i + 2 < size; i += 2) sum ^= afm3GetU16(block + i);
  return sum;
}

bool checksumHolds(const uint8_t* block, size_t size) {
  return size >= 2 && computeChecksum(block, size) == afm3GetU16(block + size - 2);
}

void storeChecksum(uint8_t* block, size_t size) {
  afm3PutU16(block + size - 2, computeChecksum(block, size));
}

}  // namespace afm3
