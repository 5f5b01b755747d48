#include "cli/progress_display.h"

#include <cstdio>

#include "binding/my_utils.h"
#include "engine/option_parsing.h"

namespace moskvid::cli {

namespace {

std::string Clock(double seconds) {
  const int total = seconds < 0 ? 0 : static_cast<int>(seconds + 0.5);
  return Format("%02d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
}

}  // namespace

std::string ProgressDisplay::Describe(int frameNumber, int fps, int currentDuration,
                                      int64_t currentSize, int totalDuration, double elapsedSeconds,
                                      bool bar) {
  std::string text;
  const bool known = totalDuration > 0;
  const double fraction =
      known ? std::min(1.0, std::max(0.0, static_cast<double>(currentDuration) / totalDuration))
            : 0;
  if (bar) {
    constexpr int kWidth = 24;
    const int filled = static_cast<int>(fraction * kWidth);
    text += "[" + std::string(filled, '#') + std::string(kWidth - filled, '.') + "] ";
  }
  text += known ? Format("%5.1f%%", fraction * 100)
                : Format("%s", Clock(currentDuration / 1000.0).c_str());
  if (frameNumber >= 0) text += Format("  frame %d  fps %d", frameNumber, fps);
  const double speed = elapsedSeconds > 0 ? currentDuration / 1000.0 / elapsedSeconds : 0;
  text += Format("  speed %.1fx  size %s", speed, FormatFileSize(currentSize).c_str());
  if (known && speed > 0) {
    text += "  ETA " + Clock((totalDuration - currentDuration) / 1000.0 / speed);
  }
  return text;
}

void ProgressDisplay::Start(const std::string& name) {
  started_ = std::chrono::steady_clock::now();
  Line("Converting " + name);
}

void ProgressDisplay::Update(int frameNumber, int fps, int currentDuration, int64_t currentSize,
                             int totalDuration) {
  const double elapsed =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - started_).count();
  const std::string text =
      Describe(frameNumber, fps, currentDuration, currentSize, totalDuration, elapsed, terminal_);
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    barShown_ = true;
  } else {
    std::fprintf(stderr, "progress: %s\n", text.c_str());
  }
  std::fflush(stderr);
}

void ProgressDisplay::Line(const std::string& text) {
  if (barShown_) std::fprintf(stderr, "\r\033[K");
  barShown_ = false;
  std::fprintf(stderr, "%s\n", text.c_str());
}

void ProgressDisplay::Finish() {
  if (barShown_) std::fprintf(stderr, "\n");
  barShown_ = false;
}

}  // namespace moskvid::cli
