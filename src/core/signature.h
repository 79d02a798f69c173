// The 96-bit signatures kept beside string values: one bit per word of a
// text (a hash of its letters and their positions), or one bit per value of
// a list. Bit k is bit k mod 8 of byte k / 8.
#pragma once

#include <cstdint>

namespace afm3 {

constexpr uint32_t kSignatureSize = 12;
constexpr uint32_t kSignatureBits = 96;

enum SignatureKind : uint32_t {
  kSignatureText = 1,
  kSignatureValueList = 2,
  kSignatureString = 3,
  kSignatureMemo = 4,
};

// Fills out (12 bytes, zeroed first). Returns false only when the work
// block for a long text cannot be allocated.
bool computeSignature(const void* text, uint32_t count, uint32_t kind, uint8_t* out);

}  // namespace afm3
