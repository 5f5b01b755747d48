#include "app/dialogs/trim_rules.h"

#include <algorithm>
#include <cctype>

#include "engine/option_parsing.h"

namespace moskvid {

std::string ClockDigits(int64_t milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  const int64_t seconds = milliseconds / 1000;
  return Format("%2.2d%2.2d%2.2d", static_cast<int>(seconds / 3600),
                static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

std::string SecondsText(int64_t milliseconds) {
  if (milliseconds < 0) milliseconds = 0;
  return Format("%d.%.3d", static_cast<int>(milliseconds / 1000),
                static_cast<int>(milliseconds % 1000));
}

TMaskTime ReadMaskTime(const std::string& text) {
  std::string six = text.size() >= 6 ? text.substr(0, 6) : std::string(6 - text.size(), ' ') + text;
  const auto pair = [&](size_t at) {
    if (six[at] == ' ' && six[at + 1] == ' ') return 0;
    int value = 0;
    for (size_t i = at; i < at + 2; ++i)
      value = value * 10 + (std::isdigit(static_cast<unsigned char>(six[i])) ? six[i] - '0' : 0);
    return value;
  };
  TMaskTime time;
  time.Hours = pair(0);
  time.Minutes = pair(2);
  time.Seconds = pair(4);
  return time;
}

TClipSlider PlanClipSlider(int64_t durationUs, int sliderWidth) {
  TClipSlider plan;
  int64_t unit = 1;
  int64_t positions = 0;
  do {
    unit *= 10;
    positions = durationUs > 0 ? durationUs / unit : 0;
  } while (positions > 32767);
  plan.TimeUnit = unit;
  plan.Positions = static_cast<int>(positions);
  const int slots = (sliderWidth - 12) / 10;
  plan.TickFrequency = slots > 0 ? plan.Positions / slots : plan.Positions;
  plan.LineStep = plan.Positions > 10000  ? 1000
                  : plan.Positions > 1000 ? 100
                  : plan.Positions > 100  ? 10
                                          : 1;
  plan.PageStep = 5 * plan.LineStep;
  return plan;
}

int ClipTickPosition(int position, int maximum, int64_t durationMs) {
  const int64_t seconds = durationMs / 1000;
  if (seconds <= 1) return maximum;
  // At least one position, which is more than a second beyond 32767 seconds.
  const int64_t next = position + std::max<int64_t>(1, maximum / seconds);
  return static_cast<int>(next > maximum ? maximum : next);
}

TTrimVerdict JudgeTrim(bool applyingStart, const TMaskTime& entered, int64_t startMs, int64_t endMs,
                       int64_t durationMs) {
  const int64_t applied = applyingStart ? startMs : endMs;
  if (applied <= durationMs && entered.PartsValid() && startMs / 1000 < endMs / 1000) {
    return tvAccepted;
  }
  if (startMs / 1000 != endMs / 1000) return tvIncorrect;
  if (startMs != 0 && endMs != 0) return tvEqual;
  return tvSilent;
}

bool ShowsLength(int64_t startMs, int64_t endMs, int64_t durationMs) {
  return endMs <= durationMs && endMs >= startMs;
}

TTrimResult TrimOnOk(int64_t startMs, int64_t endMs, int64_t durationMs) {
  TTrimResult result;
  const int64_t length =
      startMs >= 0 && endMs > 0 && startMs < endMs && endMs <= durationMs ? endMs - startMs : 0;
  if (length == 0) return result;
  result.TrimStart = static_cast<int32_t>(startMs > 0 ? startMs : 0);
  result.TrimLength =
      length < 1000 || durationMs - length < 1000 ? 0 : static_cast<int32_t>(length);
  return result;
}

}  // namespace moskvid

namespace moskvid {

int64_t TrimmedSeconds(int32_t trimStart, int32_t trimLength, int64_t durationMs) {
  if (trimLength > 0) return trimLength / 1000;
  const int64_t left = durationMs - (trimStart > 0 ? trimStart : 0);
  return (left > 0 ? left : 0) / 1000;
}

}  // namespace moskvid
