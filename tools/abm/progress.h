// A progress bar on stderr for long runs, drawn only on a terminal.
#pragma once

#include <cstdio>
#include <string>

namespace abm {

// Whether stderr is a terminal (a console window on Windows).
bool stderrIsTerminal();

class ProgressBar {
 public:
  // Draws nothing unless enabled.
  ProgressBar(std::FILE* out, size_t total, bool enabled);
  ~ProgressBar();
  ProgressBar(const ProgressBar&) = delete;
  ProgressBar& operator=(const ProgressBar&) = delete;

  bool enabled() const { return enabled_; }
  // One more item done; name is what comes next or what was just done.
  void step(const std::string& name);
  // Removes the bar so that messages start on a clean line; the next step
  // draws it again.
  void clear();

  // The bar's line for done of total items: "[####----]  3/8  name",
  // at most width characters.
  static std::string line(size_t done, size_t total, const std::string& name, size_t width);

 private:
  std::FILE* out_;
  size_t total_;
  size_t done_ = 0;
  bool enabled_;
  bool drawn_ = false;
};

}  // namespace abm
