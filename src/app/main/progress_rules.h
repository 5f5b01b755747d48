// The progress window's texts, from the figures the converter reports.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

// Whole percent of `currentMs` in `totalMs`; -1 when the total is unknown.
int ProgressPercent(int currentMs, int totalMs);
std::string PercentText(int percent);       // "50%"
std::string SecondsText(int milliseconds);  // "30 Second"
std::string KilobytesText(int64_t bytes);   // "1234 kb"
// The size written so far, and which of two passes runs ("1234 kb (second
// of two passes)"); `pass` 0 for a task of one pass.
std::string OutputSizeText(int64_t bytes, int pass);
std::string TaskCounterText(int index, int count);  // "[2/5]" for index 1
// The output name as shown: up to 50 characters as it is; longer names as
// their first 44 characters, "..", and the extension with its dot.
std::string OutputNameText(const std::string& name);
// "HH:MM:SS" of a number of seconds.
std::string ClockText(int64_t seconds);
// The time left as shown, one task's or a whole run's: whole seconds
// rounded up, empty when negative (not known).
std::string TimeLeftText(double seconds);

// Speed and time left of one task. The time left comes from the average
// wall time per percent and is told only once 2% are done, when that
// average means something.
class TTaskClock {
 public:
  void Start(double nowSeconds);
  void Update(int percent, int convertedMs, double nowSeconds);

  // "2.4x" (media time converted per wall time), empty before any progress.
  std::string SpeedText() const;
  // "00:01:05", empty until 2% are done.
  std::string TimeLeftText() const;

 private:
  double started_ = 0;
  double elapsed_ = 0;
  int percent_ = -1;
  int convertedMs_ = 0;
};

}  // namespace moskvid
