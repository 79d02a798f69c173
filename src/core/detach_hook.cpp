#include "core/detach_hook.h"

#include <cstddef>

namespace afm3 {

namespace {

// One slot per module that can register; a fixed table keeps detach free of
// allocation.
constexpr std::size_t kMaxRoutines = 4;
constinit DetachRoutine routines[kMaxRoutines] = {};
constinit std::size_t routineCount = 0;

}  // namespace

void registerDetachRoutine(DetachRoutine routine) {
  for (std::size_t i = 0; i < routineCount; ++i)
    if (routines[i] == routine) return;
  if (routine != nullptr && routineCount < kMaxRoutines) routines[routineCount++] = routine;
}

void runDetachRoutines() {
  for (std::size_t i = 0; i < routineCount; ++i) routines[i]();
}

}  // namespace afm3
