#include "app/main/preview_rules.h"

#include <algorithm>
#include <cmath>

#include "engine/option_parsing.h"

namespace moskvid {

TSliderPlan PlanSlider(int64_t durationUs, int sliderWidth, bool stillPicture) {
  TSliderPlan plan;
  // A still picture, or a file that tells no duration, has nothing to slide
  // through: its single frame is drawn.
  plan.Visible = !stillPicture && durationUs > 0;
  if (!plan.Visible) return plan;
  while (durationUs / plan.TimeUnit > 32767)
    plan.TimeUnit *= 10;
  plan.Steps = static_cast<int>(durationUs / plan.TimeUnit);
  const int tickSlots = (sliderWidth - 12) / 10;
  plan.TickSpacing = tickSlots > 0 ? plan.Steps / tickSlots : plan.Steps;
  plan.LineSize = plan.Steps <= 100     ? 1
                  : plan.Steps <= 1000  ? 10
                  : plan.Steps <= 10000 ? 100
                                        : 1000;
  plan.PageSize = 5 * plan.LineSize;
  return plan;
}

int TickAdvance(int maximum, int64_t durationUs) {
  if (durationUs <= 1000000) return maximum;
  // Beyond 32767 seconds one step is more than a second: it still moves.
  return std::max(1, static_cast<int>(maximum / (durationUs / 1000000)));
}

std::string PreviewTimeText(int position, int64_t timeUnit) {
  const int64_t milliseconds = int64_t{position} * timeUnit / 1000;
  return "Time: " + Format("%d.%.3d", static_cast<int>(milliseconds / 1000),
                           static_cast<int>(milliseconds % 1000));
}
}  // namespace moskvid
