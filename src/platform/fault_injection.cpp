// The fault gate shared by both backends.
#include <array>

#include "fault_points.h"
#include "platform.h"

namespace plat::faults {

namespace detail {
bool counting = false;
}

namespace {

constexpr size_t kOpCount = static_cast<size_t>(Op::Rename) + 1;

struct State {
  bool armed = false;
  Op op = Op::Write;
  Mode mode = Mode::FailOne;
  uint32_t k = 0;
  uint32_t error = kErrWriteFault;
  std::array<uint32_t, kOpCount> calls{};
  uint32_t mutating = 0;  // Write and Rename calls, for StopAfter
  bool stopped = false;
  bool failed = false;
};

State& state() {
  static State s;
  return s;
}

bool isMutating(Op op) { return op == Op::Write || op == Op::Rename; }

}  // namespace

namespace detail {

Verdict onCall(Op op) {
  State& s = state();
  const uint32_t n = ++s.calls[static_cast<size_t>(op)];
  if (!s.armed) return Verdict::Proceed;
  if (s.mode == Mode::FailOne) {
    if (op != s.op || n != s.k) return Verdict::Proceed;
    s.failed = true;
    setLastError(s.error);
    return Verdict::Fail;
  }
  if (!isMutating(op)) return Verdict::Proceed;
  if (++s.mutating <= s.k) return Verdict::Proceed;
  s.stopped = true;
  setLastError(kErrSuccess);
  return Verdict::Discard;
}

}  // namespace detail

void arm(Op op, uint32_t k, Mode mode, uint32_t error) {
  State& s = state();
  s = State{};
  s.armed = true;
  s.op = mode == Mode::StopAfter ? Op::Write : op;
  s.mode = mode;
  s.k = k;
  s.error = error;
  detail::counting = true;
}

void disarm() {
  state() = State{};
  detail::counting = false;
}

uint32_t calls(Op op) { return state().calls[static_cast<size_t>(op)]; }

void reset() {
  state() = State{};
  detail::counting = true;
}

bool stopped() { return state().stopped; }
bool failedAny() { return state().failed; }

}  // namespace plat::faults
