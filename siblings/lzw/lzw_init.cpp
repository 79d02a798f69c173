// q32lzw: tells the album library that LZW coding is available.
#include "q32lzw.h"

namespace {

// The coder in qliblzw writes TIFF LZW with codes of up to 12 bits.
constexpr DWORD kLargestCodeBits = 12;

}  // namespace

extern "C" {

DWORD qfLZWComInit(void) { return kLargestCodeBits; }

}  // extern "C"
