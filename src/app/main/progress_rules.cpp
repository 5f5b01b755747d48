#include "app/main/progress_rules.h"

#include <algorithm>
#include <cmath>

#include "app/widgets/utf8_text.h"
#include "engine/option_parsing.h"

namespace moskvid {

int ProgressPercent(int currentMs, int totalMs) {
  if (totalMs <= 0) return -1;
  const int64_t percent = int64_t{currentMs} * 100 / totalMs;
  return static_cast<int>(percent < 0 ? 0 : percent);
}

std::string PercentText(int percent) {
  return std::to_string(percent) + "%";
}

std::string SecondsText(int milliseconds) {
  return std::to_string(milliseconds / 1000) + " Second";
}

std::string KilobytesText(int64_t bytes) {
  return std::to_string(bytes / 1000) + " kb";
}

std::string OutputSizeText(int64_t bytes, int pass) {
  if (pass == 1) return KilobytesText(bytes) + " (first of two passes)";
  if (pass == 2) return KilobytesText(bytes) + " (second of two passes)";
  return KilobytesText(bytes);
}

std::string TaskCounterText(int index, int count) {
  return "[" + std::to_string(index + 1) + "/" + std::to_string(count) + "]";
}

std::string OutputNameText(const std::string& name) {
  if (CharacterCount(name) <= 50) return name;
  return FirstCharacters(name, 44) + ".." + ExtensionOf(name);
}

std::string ClockText(int64_t seconds) {
  if (seconds < 0) seconds = 0;
  return Format("%.2d:%.2d:%.2d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::string TimeLeftText(double seconds) {
  if (!(seconds >= 0)) return "";
  // Past a million hours the figure says nothing more, and fits in a whole number.
  return ClockText(static_cast<int64_t>(std::ceil(std::min(seconds, 3.6e9))));
}

void TTaskClock::Start(double nowSeconds) {
  started_ = nowSeconds;
  elapsed_ = 0;
  percent_ = -1;
  convertedMs_ = 0;
}

void TTaskClock::Update(int percent, int convertedMs, double nowSeconds) {
  elapsed_ = nowSeconds - started_;
  percent_ = percent;
  convertedMs_ = convertedMs;
}

std::string TTaskClock::SpeedText() const {
  if (elapsed_ <= 0 || convertedMs_ <= 0) return "";
  return Format("%.1fx", convertedMs_ / 1000.0 / elapsed_);
}

std::string TTaskClock::TimeLeftText() const {
  if (percent_ < 2 || percent_ > 100 || elapsed_ <= 0) return "";
  const double perPercent = elapsed_ / percent_;
  return moskvid::TimeLeftText(perPercent * (100 - percent_));
}

}  // namespace moskvid
