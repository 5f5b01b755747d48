// The progress of a run on standard error: a bar on a terminal, plain lines
// otherwise. With several tasks at a time, a terminal shows one line with the
// run's total and each running task; plain output tells each task's figures
// under its name. Quiet shows nothing but the lines it is given as failures.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "app/settings/run_progress.h"

namespace moskvid::cli {

class ProgressDisplay {
 public:
  ProgressDisplay(bool terminal, bool quiet) : terminal_(terminal), quiet_(quiet) {}

  // The run's tasks (names and expected lengths in milliseconds, -1 unknown)
  // and how many convert at the same time.
  void Begin(std::vector<std::string> names, std::vector<int> expectedMs, int simultaneous);
  // The next task in order starts (the component starts them so).
  void StartNext();
  // Figures of one progress event (durations in milliseconds).
  void Update(int task, int frameNumber, int currentDuration, int64_t currentSize,
              int totalDuration);
  void End(int task);
  // Prints a log or failure line without garbling the bar (also when quiet).
  void Line(const std::string& text);
  void Finish();

  // "[#####.....]  42.0%  frame 58  fps 116  speed 2.3x  size 1.20 MB  ETA 00:01:05"
  static std::string Describe(int frameNumber, double fps, int currentDuration, int64_t currentSize,
                              int totalDuration, double elapsedSeconds, bool bar);
  // "[3/12]  40%  a.wav  45%  3.2x | b.wav  12%  2.9x"
  static std::string RunLine(const TRunProgress& run);

 private:
  double Now() const;

  bool terminal_;
  bool quiet_;
  int simultaneous_ = 1;
  bool barShown_ = false;
  TRunProgress run_;
  std::chrono::steady_clock::time_point began_ = std::chrono::steady_clock::now();
};

}  // namespace moskvid::cli
