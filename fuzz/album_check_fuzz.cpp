// Arbitrary bytes through the integrity check: it must list problems,
// never crash, leak or read outside what it allocated.
#include <cstddef>
#include <cstdint>

#include "afm3_check.h"
#include "fuzz_input.h"

namespace {

void countProblem(void* context, const Afm3Problem*) { ++*static_cast<uint32_t*>(context); }

void check(const uint8_t* data, size_t size) {
  if (!fuzzing::putInput(data, size)) return;
  uint32_t problems = 0;
  afm3CheckAlbumFile(fuzzing::kInputPath, 0, countProblem, &problems);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  fuzzing::withoutBlockLeaks([&] { check(data, size); });
  return 0;
}
