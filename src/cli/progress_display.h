// The progress of a conversion on standard error: a bar on a terminal,
// plain lines otherwise.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace moskvid::cli {

class ProgressDisplay {
 public:
  explicit ProgressDisplay(bool terminal) : terminal_(terminal) {}

  void Start(const std::string& name);
  // Figures of one progress event (durations in milliseconds).
  void Update(int frameNumber, int fps, int currentDuration, int64_t currentSize,
              int totalDuration);
  // Prints a log line without garbling the bar.
  void Line(const std::string& text);
  void Finish();

  // "[#####.....]  42.0%  fps 120  speed 2.3x  size 1.20 MB  ETA 00:01:05"
  static std::string Describe(int frameNumber, int fps, int currentDuration, int64_t currentSize,
                              int totalDuration, double elapsedSeconds, bool bar);

 private:
  bool terminal_;
  bool barShown_ = false;
  std::chrono::steady_clock::time_point started_;
};

}  // namespace moskvid::cli
