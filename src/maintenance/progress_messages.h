// The progress messages of maintenance runs, sent to a caller's window:
// the number of phases, then per phase its beginning (total steps and
// captions), its steps (the window may cancel at any of them) and its end.
// Nothing is sent to a handle that is not a window at the time of sending.
#pragma once

#include <cstdint>

#include "afm3.h"

namespace afm3 {

class ProgressMessages {
 public:
  explicit ProgressMessages(HWND window) : window_(window) {}
  ProgressMessages(const ProgressMessages&) = delete;
  ProgressMessages& operator=(const ProgressMessages&) = delete;

  void phaseCount(uint32_t phases);
  // captionId and subCaptionId name message strings; a subCaptionId of 0
  // sends no sub-caption.
  void beginPhase(uint32_t totalSteps, uint32_t captionId, uint32_t subCaptionId);
  // The same with a sub-caption given as text (what the phase works on).
  void beginPhaseNamed(uint32_t totalSteps, uint32_t captionId, const char* subCaption);
  // Announces step number (1-based); false when the window cancels.
  bool step(uint32_t number);
  // Ends the current phase, more following.
  void endPhase();
  // Tells the window the run is over (after the last phase, on failure and
  // on cancel), once, and only when a phase was begun.
  void endRun();

 private:
  LRESULT send(UINT message, WPARAM wParam, LPARAM lParam);

  HWND window_;
  bool begun_ = false;
  bool over_ = false;
  AFM3_PROGRESS_PHASE_INFO info_{};
  char caption_[MAX_PATH] = {};
  char subCaption_[MAX_PATH] = {};
};

}  // namespace afm3
