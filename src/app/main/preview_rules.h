// The preview player's arithmetic: the slider's steps for a duration, how far
// one timer tick moves it and the time label.
#pragma once

#include <cstdint>
#include <string>

namespace moskvid {

struct TSliderPlan {
  bool Visible = false;   // hidden for a still picture or a file without duration
  int64_t TimeUnit = 10;  // stream microseconds per slider step
  int Steps = 0;          // the slider's maximum
  int TickSpacing = 0;    // steps between ticks
  int LineSize = 1;       // arrow keys
  int PageSize = 5;       // page keys
};

// `durationUs` of the file, `sliderWidth` in pixels. The slider never has
// more than 32767 steps, so that its range fits the control.
TSliderPlan PlanSlider(int64_t durationUs, int sliderWidth, bool stillPicture);

// Steps one 500 ms tick moves the slider: one second of stream time (at
// least one step), or the whole range for a file of a second or less.
int TickAdvance(int maximum, int64_t durationUs);

// "Time: 12.340" for a slider position.
std::string PreviewTimeText(int position, int64_t timeUnit);

}  // namespace moskvid
