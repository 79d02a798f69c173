// A second, real process that holds a file open (and optionally locked)
// while a test works on it: platform_child's "hold" command.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace afm3test {

class HeldFile {
 public:
  // access and share as platform_child takes them: "r", "w", "rw", "-".
  // A length above 0 also locks [offset, offset + length).
  HeldFile(const std::string& path, const std::string& access, const std::string& share,
           uint64_t offset = 0, uint64_t length = 0);
  ~HeldFile();
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;

  // Whether the child holds the file now.
  bool holding() const { return holding_; }
  // Lets the child go; returns its exit code (a Windows error, 0 = fine).
  int release();

 private:
  std::string path_;
  std::thread child_;
  std::atomic<int> result_{-1};
  bool holding_ = false;
};

// Runs platform_child with the arguments; returns its exit code.
int runPlatformChild(std::vector<std::string> args);

}  // namespace afm3test
