// The XOR checksum of album headers, record entries and mark files: the
// little-endian 16-bit words of a block but its last, XORed together, are
// stored in the block's last word.
#pragma once

#include <cstddef>
#include <cstdint>

namespace afm3 {

// The checksum of the first size - 2 bytes of block (size is even, >= 2).
uint16_t computeChecksum(const uint8_t* block, size_t size);
// Whether the last word of block holds its checksum.
bool checksumHolds(const uint8_t* block, size_t size);
// Stores the checksum in the last word of block.
void storeChecksum(uint8_t* block, size_t size);

}  // namespace afm3
