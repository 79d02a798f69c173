// The gate of the file functions of both backends (see fault_injection.h).
// Backends only: each file function asks check() first and fails, or
// reports success without doing anything, as told.
#pragma once

#include <cstdint>

#include "fault_injection.h"

namespace plat::faults::detail {

enum class Verdict : uint32_t {
  Proceed,  // do the call
  Fail,     // fail it; the error is already set as the last error
  Discard,  // do nothing and report success (the process is "stopped")
};

// True after arm() or reset(): only then are calls counted.
extern bool counting;

Verdict onCall(Op op);

// One branch when no test uses the gate.
inline Verdict check(Op op) { return counting ? onCall(op) : Verdict::Proceed; }

// The result of a bool call the gate decided (verdict not Proceed): a
// failure, or the success a discarded mutating call reports.
inline bool decidedResult(Verdict verdict) { return verdict == Verdict::Discard; }

// While alive, the file calls a composite operation makes (copyFile reads
// and writes) are not counted: the operation was counted once as a whole.
class Uncounted {
 public:
  Uncounted() : saved_(counting) { counting = false; }
  ~Uncounted() { counting = saved_; }
  Uncounted(const Uncounted&) = delete;
  Uncounted& operator=(const Uncounted&) = delete;

 private:
  bool saved_;
};

}  // namespace plat::faults::detail
