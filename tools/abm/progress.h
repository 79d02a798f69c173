// A progress bar on stderr for long runs, drawn only on a terminal.
#pragma once

#include <cstdio>
#include <memory>
#include <string>

#include "afm3.h"

namespace abm {

// Whether stderr is a terminal (a console window on Windows).
bool stderrIsTerminal();

// Whether a run over count items draws a bar: on a terminal, unless
// --no-progress, and only when there are more than a few items.
bool progressWanted(bool noProgress, size_t count);

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

// Draws the bars of a library run that reports its progress to a window
// (afm3ReorganizeAbm): each phase gets a bar of its own, named by the
// phase's caption and sub-caption; nothing ever cancels.
class PhaseProgress {
 public:
  PhaseProgress(std::FILE* out, bool enabled) : out_(out), enabled_(enabled) {}
  // Handles one message the window received; returns the window's reply.
  LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);
  // Phases begun so far.
  size_t phases() const { return phases_; }

 private:
  std::FILE* out_;
  bool enabled_;
  std::unique_ptr<ProgressBar> bar_;
  std::string caption_;
  size_t phases_ = 0;
};

}  // namespace abm
