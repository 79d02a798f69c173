#include "core/mark_file_hook.h"

namespace afm3 {

namespace {

constinit MarkFileHandOff registered = nullptr;

}  // namespace

void registerMarkFileHandOff(MarkFileHandOff handOff) { registered = handOff; }

bool handOffMarkFile(const MarkFileRequest& request, Location where, uint32_t step) {
  if (registered != nullptr) return registered(request);
  reportText("Thumb-mark files are not available in this version of the library.", where, step);
  return false;
}

}  // namespace afm3
