#include "cli/progress_display.h"

#include <cstdio>
#include <filesystem>

#include "binding/my_utils.h"
#include "engine/option_parsing.h"

namespace moskvid::cli {

namespace {

std::string Clock(double seconds) {
  const int total = seconds < 0 ? 0 : static_cast<int>(seconds + 0.5);
  return Format("%02d:%02d:%02d", total / 3600, total / 60 % 60, total % 60);
}

}  // namespace

std::string ProgressDisplay::Describe(int frameNumber, double fps, int currentDuration,
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
  if (frameNumber >= 0) {
    text += Format("  frame %d  fps %d", frameNumber, static_cast<int>(fps + 0.5));
  }
  const double speed = elapsedSeconds > 0 ? currentDuration / 1000.0 / elapsedSeconds : 0;
  text += Format("  speed %.1fx  size %s", speed, FormatFileSize(currentSize).c_str());
  if (known && speed > 0) {
    text += "  ETA " + Clock((totalDuration - currentDuration) / 1000.0 / speed);
  }
  return text;
}

std::string ProgressDisplay::RunLine(const TRunProgress& run) {
  std::string text = run.DoneText() + Format("  %d%%", run.RunPercent());
  const char* separator = "  ";
  for (int task : run.Running()) {
    // The file's own name: a terminal line has no room for folders.
    const std::string& name = run.Name(task);
    text += separator + std::filesystem::path(name).filename().string() +
            run.TaskLine(task).substr(name.size());
    separator = " | ";
  }
  return text;
}

double ProgressDisplay::Now() const {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - began_).count();
}

void ProgressDisplay::Begin(std::vector<std::string> names, std::vector<int> expectedMs,
                            int simultaneous) {
  run_.Begin(std::move(names), std::move(expectedMs));
  simultaneous_ = simultaneous;
}

void ProgressDisplay::StartNext() {
  const int task = run_.StartNext(Now());
  if (task >= 0 && !quiet_ && (simultaneous_ <= 1 || !terminal_)) {
    Line("Converting " + run_.Name(task));
  }
}

void ProgressDisplay::Update(int task, int frameNumber, int currentDuration, int64_t currentSize,
                             int totalDuration) {
  run_.TaskProgress(task, currentDuration, totalDuration, frameNumber, Now());
  if (quiet_) return;
  std::string text;
  if (simultaneous_ > 1 && terminal_) {
    text = RunLine(run_);
  } else {
    text = Describe(frameNumber, run_.TaskFps(task), currentDuration, currentSize, totalDuration,
                    run_.TaskElapsed(task), terminal_);
  }
  if (terminal_) {
    std::fprintf(stderr, "\r\033[K%s", text.c_str());
    barShown_ = true;
  } else if (simultaneous_ > 1) {
    std::fprintf(stderr, "progress: %s: %s\n", run_.Name(task).c_str(), text.c_str());
  } else {
    std::fprintf(stderr, "progress: %s\n", text.c_str());
  }
  std::fflush(stderr);
}

void ProgressDisplay::End(int task) {
  run_.TaskEnded(task);
  // One task at a time leaves its last bar standing; the run's line is
  // taken away and drawn again at the next figures.
  if (simultaneous_ <= 1) {
    Finish();
  } else if (barShown_) {
    std::fprintf(stderr, "\r\033[K");
    barShown_ = false;
  }
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
