// Helpers of the sibling-library tests.
#pragma once

#include <string>

#include "afm3_types.h"
#ifndef _WIN32
#include <stdlib.h>

#include "afm3_compat.h"
#endif

namespace sibtest {

// Sets (or with null removes) an environment variable for one test and
// restores the previous state. On Windows the process environment block is
// changed, which is what the common library reads there.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const char* value) : name_(name) {
    hadValue_ = read(&previous_);
    write(value);
  }
  ~ScopedEnvironment() { write(hadValue_ ? previous_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  bool read(std::string* value) const {
#ifdef _WIN32
    char buffer[1024];
    const DWORD n = GetEnvironmentVariableA(name_.c_str(), buffer, sizeof buffer);
    if (n == 0 || n >= sizeof buffer) return false;
    value->assign(buffer, n);
    return true;
#else
    const char* found = getenv(name_.c_str());
    if (found == nullptr) return false;
    *value = found;
    return true;
#endif
  }
  void write(const char* value) const {
#ifdef _WIN32
    SetEnvironmentVariableA(name_.c_str(), value);
#else
    if (value == nullptr) {
      unsetenv(name_.c_str());
    } else {
      setenv(name_.c_str(), value, 1);
    }
#endif
  }

  std::string name_;
  std::string previous_;
  bool hadValue_ = false;
};

// Switches the emulated ANSI code page to 932 (Japanese, double-byte) for
// one test. Only the POSIX emulation can change it; on Windows the test
// needs a system whose code page already is 932.
class CodePage932 {
 public:
  CodePage932() {
#ifndef _WIN32
    qwinTestSetCodePage(932);
    active_ = true;
#else
    active_ = GetACP() == 932;
#endif
  }
  ~CodePage932() {
#ifndef _WIN32
    qwinTestSetCodePage(1252);
#endif
  }
  CodePage932(const CodePage932&) = delete;
  CodePage932& operator=(const CodePage932&) = delete;
  bool active() const { return active_; }

 private:
  bool active_ = false;
};

// A double-byte character of code page 932 whose trail byte is 0x5C, the
// byte of a backslash.
constexpr const char* kKanjiWith5C = "\x95\x5C";

}  // namespace sibtest
