// The XOR checksum over every length a block may have, against the words
// taken one by one.
#include "core/checksum.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

TEST(Checksum, EveryLengthXorsAllWordsButTheLast) {
  std::vector<uint8_t> block(64);
  uint32_t state = 12345;
  for (uint8_t& b : block) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  for (size_t size = 2; size <= block.size(); ++size) {
    uint16_t expected = 0;
    for (size_t i = 0; i + 2 < size; i += 2)
      expected ^= static_cast<uint16_t>(block[i] | block[i + 1] << 8);
    EXPECT_EQ(afm3::computeChecksum(block.data(), size), expected) << "size " << size;
  }
}

}  // namespace
