// The trim dialog's mask fields: "start\nend\nduration ms\nslider width".
// What the rules derive from any texts must stay inside the clip.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "app/dialogs/trim_rules.h"
#include "fuzz_support.h"

using namespace moskvid;

namespace {

int64_t Number(std::string_view text) {
  const std::string copy(text.substr(0, 20));
  return std::strtoll(copy.c_str(), nullptr, 10);
}

void CheckParts(const TMaskTime& time, const std::string& text) {
  for (int part : {time.Hours, time.Minutes, time.Seconds}) {
    if (part < 0 || part > 99) fuzz::Fail("mask part out of 0..99 for '" + text + "'");
  }
  if (!time.PartsValid()) return;
  const TMaskTime again = ReadMaskTime(ClockDigits(time.Milliseconds()));
  if (again.Hours != time.Hours || again.Minutes != time.Minutes || again.Seconds != time.Seconds)
    fuzz::Fail("mask time does not survive its digits for '" + text + "'");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view rest(reinterpret_cast<const char*>(data), size);
  const std::string startText(fuzz::TakeField(rest, '\n'));
  const std::string endText(fuzz::TakeField(rest, '\n'));
  const int64_t durationMs = Number(fuzz::TakeField(rest, '\n'));
  const int width = static_cast<int>(Number(fuzz::TakeField(rest, '\n')) % 100000);

  const TMaskTime start = ReadMaskTime(startText);
  const TMaskTime end = ReadMaskTime(endText);
  CheckParts(start, startText);
  CheckParts(end, endText);
  const int64_t startMs = start.Milliseconds(), endMs = end.Milliseconds();

  for (bool applyingStart : {true, false}) {
    const TTrimVerdict verdict =
        JudgeTrim(applyingStart, applyingStart ? start : end, startMs, endMs, durationMs);
    if (verdict == tvAccepted && startMs / 1000 >= endMs / 1000)
      fuzz::Fail("a trim that does not move forward was accepted");
  }
  (void)ShowsLength(startMs, endMs, durationMs);

  const TTrimResult kept = TrimOnOk(startMs, endMs, durationMs);
  if (kept.TrimStart < 0 || kept.TrimLength < 0) fuzz::Fail("negative trim stored");
  if (kept.TrimLength != 0 &&
      (kept.TrimLength < 1000 || kept.TrimStart + int64_t{kept.TrimLength} > durationMs))
    fuzz::Fail("stored trim leaves the clip");
  if (TrimmedSeconds(kept.TrimStart, kept.TrimLength, durationMs) < 0)
    fuzz::Fail("negative trimmed length");

  const int64_t durationUs = durationMs > INT64_MAX / 1000 || durationMs < INT64_MIN / 1000
                                 ? durationMs
                                 : durationMs * 1000;
  const TClipSlider slider = PlanClipSlider(durationUs, width);
  if (slider.Positions < 0 || slider.Positions > 32767 || slider.TimeUnit < 10)
    fuzz::Fail("slider plan out of range");
  const int position = ClipTickPosition(slider.Positions / 2, slider.Positions, durationMs);
  if (position < 0 || position > slider.Positions) fuzz::Fail("tick leaves the slider");
  (void)SecondsText(startMs);
  return 0;
}
