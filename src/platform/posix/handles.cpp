#include "handles.h"

namespace qwin {

uintptr_t nextHandleValue() {
  // Starts above the values Windows reserves for pseudo handles and the
  // standard streams; a multiple of 4 is never confused with -1 or null.
  static std::atomic<uintptr_t> counter{0x100};
  return counter.fetch_add(4);
}

}  // namespace qwin
