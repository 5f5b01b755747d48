// The trim dialog's rules, free of window code: the mask fields' texts, the
// slider of the clip dialogs, the accept rules and what OK stores.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

// Six digits HHMMSS of a time in milliseconds (the mask shows HH:MM:SS).
std::string ClockDigits(int64_t milliseconds);
// "12.340" of a time in milliseconds.
std::string SecondsText(int64_t milliseconds);

// A mask field's text read back: right-aligned to six characters, a blank
// pair counts 0, any other character that is no digit counts "0".
struct TMaskTime {
  int Hours = 0, Minutes = 0, Seconds = 0;
  int64_t Milliseconds() const { return Hours * 3600000LL + Minutes * 60000LL + Seconds * 1000LL; }
  bool PartsValid() const { return Minutes < 60 && Seconds < 60; }
};
TMaskTime ReadMaskTime(const std::string& text);

// The clip dialogs' slider: a power of ten of microseconds per position
// (at least 10), so that positions fit 32767.
struct TClipSlider {
  int64_t TimeUnit = 10;
  int Positions = 0;
  int TickFrequency = 0;
  int LineStep = 1;
  int PageStep = 5;
};
TClipSlider PlanClipSlider(int64_t durationUs, int sliderWidth);
// The position one playback tick moves to.
int ClipTickPosition(int position, int maximum, int64_t durationMs);

enum TTrimVerdict {
  tvAccepted,   // the length field follows
  tvIncorrect,  // "Incorrect start time!" / "Incorrect end time!"
  tvEqual,      // "The start time cannot equal ..." messages
  tvSilent,     // rejected without a message (both times 0)
};

// Applying the start field (`applyingStart`) or the end field: `entered` is
// the field just read, the times are as entered.
TTrimVerdict JudgeTrim(bool applyingStart, const TMaskTime& entered, int64_t startMs, int64_t endMs,
                       int64_t durationMs);
// Whether the length field shows end minus start after an accepted change.
bool ShowsLength(int64_t startMs, int64_t endMs, int64_t durationMs);

struct TTrimResult {
  int32_t TrimStart = 0;
  int32_t TrimLength = 0;  // 0: to the end
};
// What OK stores: nothing trimmed for an impossible range; a length under a
// second, or within a second of the whole file, means to the end.
TTrimResult TrimOnOk(int64_t startMs, int64_t endMs, int64_t durationMs);

// Whole seconds a conversion of the record will hold, for the list's
// "Trimmed Length" column: the length, or what is left after the start when
// the length runs to the end.
int64_t TrimmedSeconds(int32_t trimStart, int32_t trimLength, int64_t durationMs);

}  // namespace moskvid
