// Arbitrary bytes through the integrity check: it must list problems,
// never crash, leak or read outside what it allocated.
#include <cstddef>
#include <cstdint>

#include "afm3check.h"
#include "fuzz_input.h"

namespace {

void countProblem(void* context, const Afm3Problem*) { ++*static_cast<uint32_t*>(context); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (!fuzzing::putInput(data, size)) return 0;
  uint32_t problems = 0;
  afm3CheckAlbumFile(fuzzing::kInputPath, 0, countProblem, &problems);
  return 0;
}
