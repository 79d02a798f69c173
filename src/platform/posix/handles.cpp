#include "handles.h"

#include <set>

namespace qwin {

namespace {

constexpr uintptr_t kHandleLimit = 0x10000;

struct HandleValues {
  std::mutex mutex;
  // Starts above the values Windows reserves for pseudo handles and the
  // standard streams; a multiple of 4 is never confused with -1 or null.
  uintptr_t next = 0x100;
  std::set<uintptr_t> released;
};

HandleValues& handleValues() {
  static HandleValues values;
  return values;
}

}  // namespace

uintptr_t nextHandleValue() {
  HandleValues& values = handleValues();
  std::lock_guard<std::mutex> lock(values.mutex);
  if (values.next >= kHandleLimit && !values.released.empty()) {
    const uintptr_t value = *values.released.begin();
    values.released.erase(values.released.begin());
    return value;
  }
  const uintptr_t value = values.next;
  values.next += 4;
  return value;
}

void releaseHandleValue(uintptr_t value) {
  HandleValues& values = handleValues();
  std::lock_guard<std::mutex> lock(values.mutex);
  if (value < kHandleLimit) values.released.insert(value);
}

}  // namespace qwin
