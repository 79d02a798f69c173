#include "maintenance/progress_messages.h"

#include <cstdio>

#include "core/error_report.h"
#include "platform.h"

namespace afm3 {

namespace {
constexpr WPARAM kMorePhases = 0;
constexpr WPARAM kRunOver = 1;
}  // namespace

LRESULT ProgressMessages::send(UINT message, WPARAM wParam, LPARAM lParam) {
  if (window_ == nullptr || !plat::isWindow(window_)) return 0;
  return plat::sendMessage(window_, message, wParam, lParam);
}

void ProgressMessages::phaseCount(uint32_t phases) { send(AFM3_PROGRESS_PHASE_COUNT, phases, 0); }

void ProgressMessages::beginPhase(uint32_t totalSteps, uint32_t captionId, uint32_t subCaptionId) {
  loadMessage(captionId, caption_, sizeof caption_);
  if (subCaptionId != 0) loadMessage(subCaptionId, subCaption_, sizeof subCaption_);
  info_ = AFM3_PROGRESS_PHASE_INFO{
      totalSteps, 1, 0, caption_, subCaptionId != 0 ? subCaption_ : nullptr, 0};
  begun_ = true;
  send(AFM3_PROGRESS_PHASE_BEGIN, 0, reinterpret_cast<LPARAM>(&info_));
}

void ProgressMessages::beginPhaseNamed(uint32_t totalSteps, uint32_t captionId,
                                       const char* subCaption) {
  loadMessage(captionId, caption_, sizeof caption_);
  std::snprintf(subCaption_, sizeof subCaption_, "%s", subCaption != nullptr ? subCaption : "");
  info_ = AFM3_PROGRESS_PHASE_INFO{totalSteps, 1, 0, caption_, subCaption_, 0};
  begun_ = true;
  send(AFM3_PROGRESS_PHASE_BEGIN, 0, reinterpret_cast<LPARAM>(&info_));
}

bool ProgressMessages::step(uint32_t number) {
  return send(AFM3_PROGRESS_STEP, 0, static_cast<LPARAM>(number)) == 0;
}

void ProgressMessages::endPhase() { send(AFM3_PROGRESS_PHASE_END, kMorePhases, 0); }

void ProgressMessages::endRun() {
  if (!begun_ || over_) return;
  over_ = true;
  send(AFM3_PROGRESS_PHASE_END, kRunOver, 0);
}

}  // namespace afm3
