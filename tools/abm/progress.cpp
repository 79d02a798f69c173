#include "progress.h"

#include <algorithm>

#include "platform.h"

namespace abm {

namespace {
constexpr size_t kLineWidth = 79;
constexpr size_t kBarWidth = 30;
constexpr size_t kProgressAfter = 5;  // items before a bar is worth drawing
}  // namespace

bool stderrIsTerminal() { return plat::standardErrorIsTerminal(); }

bool progressWanted(bool noProgress, size_t count) {
  return count > kProgressAfter && !noProgress && stderrIsTerminal();
}

ProgressBar::ProgressBar(std::FILE* out, size_t total, bool enabled)
    : out_(out), total_(total), enabled_(enabled) {}

ProgressBar::~ProgressBar() { clear(); }

void ProgressBar::step(const std::string& name) {
  if (done_ < total_) ++done_;
  if (!enabled_) return;
  std::fprintf(out_, "\r%-*s", static_cast<int>(kLineWidth),
               line(done_, total_, name, kLineWidth).c_str());
  std::fflush(out_);
  drawn_ = true;
}

void ProgressBar::clear() {
  if (!drawn_) return;
  std::fprintf(out_, "\r%*s\r", static_cast<int>(kLineWidth), "");
  std::fflush(out_);
  drawn_ = false;
}

std::string ProgressBar::line(size_t done, size_t total, const std::string& name, size_t width) {
  const size_t filled = total == 0 ? kBarWidth : std::min(kBarWidth, done * kBarWidth / total);
  std::string text = "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '-') + "] " +
                     std::to_string(done) + "/" + std::to_string(total) + " ";
  if (text.size() < width) {
    std::string tail = name;
    const size_t room = width - text.size();
    if (tail.size() > room) tail = (room > 3 ? "..." + tail.substr(tail.size() - (room - 3)) : "");
    text += tail;
  }
  return text.substr(0, width);
}

LRESULT PhaseProgress::handle(UINT message, WPARAM, LPARAM lParam) {
  if (message == AFM3_PROGRESS_PHASE_BEGIN) {
    const auto* info = reinterpret_cast<const AFM3_PROGRESS_PHASE_INFO*>(lParam);
    caption_ = info->caption != nullptr ? info->caption : "";
    if (info->subCaption != nullptr) caption_ += std::string(": ") + info->subCaption;
    bar_ = std::make_unique<ProgressBar>(out_, info->totalSteps, enabled_);
    ++phases_;
  } else if (message == AFM3_PROGRESS_STEP && bar_) {
    bar_->step(caption_);
  } else if (message == AFM3_PROGRESS_PHASE_END) {
    bar_.reset();
  }
  return 0;
}

}  // namespace abm
