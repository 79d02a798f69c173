// What the fuzz targets share: each input becomes a file on a memory drive,
// so an execution costs no disk access, and library outputs are freed the
// way a host frees them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "afm3.h"
#include "memory_files.h"

namespace fuzzing {

constexpr const char* kInputPath = "M:\\fuzz.ab3";
inline HINSTANCE ownerKey() { return reinterpret_cast<HINSTANCE>(0xF022); }

inline bool putInput(const uint8_t* data, size_t size) {
  return plat::memoryFiles::put(kInputPath, data, size);
}

// A locked block the library handed out by pointer.
inline void freeLocked(const void* pointer) {
  if (pointer == nullptr) return;
  HGLOBAL block = GlobalHandle(pointer);
  GlobalUnlock(block);
  GlobalFree(block);
}

inline void freeHandle(HGLOBAL block) {
  if (block != nullptr) GlobalFree(block);
}

// Runs one execution and stops the fuzzer, like a crash, when it leaks
// global-heap blocks: the platform heap keeps every block in its tables,
// so the leak sanitizer never sees one. An execution that leaves more
// blocks than it found runs once more; what the library keeps once (the
// last error's text, a grown album table) does not grow a second time.
template <typename Body>
void withoutBlockLeaks(Body body) {
  const size_t before = qwinTestGlobalBlockCount();
  body();
  const size_t after = qwinTestGlobalBlockCount();
  if (after <= before) return;
  body();
  const size_t again = qwinTestGlobalBlockCount();
  if (again <= after) return;
  std::fprintf(stderr, "global-heap blocks leaked: %zu per execution\n", again - after);
  std::abort();
}

// Stored images whose header asks for more than 64 KiB of pixels are not
// decoded: above that the reader runs the same code, and the sanitizers'
// cost of huge bitmaps would cut the executions per second tenfold.
constexpr uint64_t kLargestPixelArea = 1u << 16;

// The bitmap size the image reader allocates for a stored ImageHeader.
inline uint64_t pixelArea(const uint8_t* header) {
  const uint8_t kind = header[AFM3_IMAGE_COLOUR_KIND];
  const uint32_t bits = kind == 2 ? 24 : kind == 8 ? 4 : kind == 16 ? 16 : kind == 64 ? 1 : 8;
  const uint32_t width = header[AFM3_IMAGE_WIDTH] | header[AFM3_IMAGE_WIDTH + 1] << 8;
  const uint32_t height = header[AFM3_IMAGE_HEIGHT] | header[AFM3_IMAGE_HEIGHT + 1] << 8;
  return uint64_t{(bits * width + 31) / 32 * 4} * height;
}

// Whether the image at offset of the input is small enough to decode.
inline bool decodable(const uint8_t* data, size_t size, uint64_t offset) {
  return offset + AFM3_IMAGE_HEADER_SIZE > size || pixelArea(data + offset) <= kLargestPixelArea;
}

}  // namespace fuzzing
