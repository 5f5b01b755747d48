#include "app/settings/quality_choice.h"

#include "engine/option_parsing.h"

namespace moskvid {

const char* QualityName(TQuality quality) {
  static const char* const kNames[kQualityCount] = {"fast", "balanced", "best"};
  return kNames[quality];
}

const char* QualityCaption(TQuality quality) {
  static const char* const kCaptions[kQualityCount] = {"Fast", "Balanced", "Best"};
  return kCaptions[quality];
}

const char* QualityCostText(TQuality quality) {
  static const char* const kCosts[kQualityCount] = {
      "Fast: the encoder's quickest settings",
      "Balanced: a better picture at the same size, in up to a tenth more time",
      "Best: two passes, the size to the rate and a better picture again, in a little over "
      "twice the time"};
  return kCosts[quality];
}

bool ParseQuality(const std::string& text, TQuality& quality) {
  const std::string name = LowerCase(Trim(text));
  for (int q = 0; q < kQualityCount; ++q) {
    if (name == QualityName(static_cast<TQuality>(q))) {
      quality = static_cast<TQuality>(q);
      return true;
    }
  }
  return false;
}

TQuality QualityOf(const TJobSettings& settings) {
  TQuality quality = qlBalanced;
  ParseQuality(settings.Value(kQualityKey, ""), quality);
  return quality;
}

}  // namespace moskvid
