// How much encoding time a format's outputs get, stored per format as
// "paraQuality": "fast" is the encoder's quickest, "balanced" (the default)
// makes a better picture at the same size, "best" spends more time again.
// One vocabulary for the job building, the settings dialog and the command
// line.
#pragma once

#include <string>

#include "app/settings/job_settings.h"

namespace moskvid {

enum TQuality { qlFast, qlBalanced, qlBest };
inline constexpr int kQualityCount = 3;
inline constexpr const char* kQualityKey = "paraQuality";

// "fast", "balanced", "best": as stored, and as the command line takes it.
const char* QualityName(TQuality quality);
// "Fast", "Balanced", "Best": as the settings dialog shows it.
const char* QualityCaption(TQuality quality);
// What the choice costs, for the settings dialog's summary.
const char* QualityCostText(TQuality quality);
// A stored or typed name; false (and `quality` untouched) for anything else.
bool ParseQuality(const std::string& text, TQuality& quality);
// The stored choice; none, or an unknown text, counts as "balanced".
TQuality QualityOf(const TJobSettings& settings);

}  // namespace moskvid
