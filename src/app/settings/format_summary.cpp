#include "app/settings/format_summary.h"

#include <cstdlib>

#include "app/settings/output_formats.h"
#include "binding/media_loader.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

// Kilobits per second, or a negative number when the text is no number.
double Kilobits(const std::string& text) {
  const std::string trimmed = Trim(text);
  char* end = nullptr;
  const double value = std::strtod(trimmed.c_str(), &end);
  return trimmed.empty() || *end != '\0' || value < 0 ? -1 : value;
}

}  // namespace

std::string RunningEncoderName(const std::string& stored) {
  if (stored.empty() || !binding::MediaLibrariesLoaded()) return stored;
  const AVCodec* encoder = FindEncoderByName(stored, nullptr);
  return encoder ? encoder->name : stored + " (not in the installed libraries)";
}

TFormatRates FormatRates(const TSettingLookup& setting) {
  TFormatRates rates;
  rates.Audio = Kilobits(setting("paraAudioBitRate", "128"));
  rates.Video = Trim(setting("paraVideoEncoder", "")).empty()
                    ? 0
                    : Kilobits(setting("paraVideoBitRate", "512"));
  return rates;
}

TFormatSummary SummarizeFormat(const TSettingLookup& setting, const std::string& container,
                               const std::string& extension) {
  TFormatSummary summary;
  summary.Container = "container " + container + ", extension ." + extension;
  const std::string video = Trim(setting("paraVideoEncoder", ""));
  const std::string videoRate = setting("paraVideoBitRate", "512");
  if (!video.empty()) {
    // A choice that is no encoder of the engine's own leaves the codec to
    // the container, and is shown as chosen.
    const std::string encoder = IsEngineVideoCodec(video) ? RunningEncoderName(video) : video;
    summary.Video = "video " + encoder + ", " + setting("paraVideoSize", "null") + ", " +
                    videoRate + " kbit/s, " + setting("paraFrameRate", "29.97") + " fps";
  }
  const std::string audioRate = setting("paraAudioBitRate", "128");
  summary.Audio = "audio " + RunningEncoderName(Trim(setting("paraAudioEncoder", "libfaac"))) +
                  ", " + setting("paraSampleRate", "44100") + " Hz, " +
                  setting("paraChannel", "2") + " channels, " + audioRate + " kbit/s";
  const TFormatRates rates = FormatRates(setting);
  if (rates.Audio >= 0 && rates.Video >= 0) {
    const double megabytes = (rates.Audio + rates.Video) * 1000 / 8 * 60 / 1e6;
    summary.Size = Format("about %.1f MB a minute", megabytes);
  }
  return summary;
}

}  // namespace moskvid
