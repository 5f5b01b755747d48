// What a format's settings give, in words: the container, the video and the
// audio settings and the size a minute of output takes. The command line's
// "formats" prints it for the stored choices; the settings dialog shows it
// for the choices on screen.
#pragma once

#include <functional>
#include <string>
#include <vector>

namespace moskvid {

// A setting's value by its stored key ("paraVideoEncoder", ...).
using TSettingLookup =
    std::function<std::string(const std::string& key, const std::string& fallback)>;

struct TFormatSummary {
  std::string Container;  // "container psp, extension .mp4"
  std::string Video;      // "video mpeg4, 320x240, 512 kbit/s, 29.97 fps"; empty for audio only
  std::string Audio;      // "audio aac, 48000 Hz, 2 channels, 128 kbit/s"
  std::string Size;       // "about 4.7 MB a minute"; empty when a bit rate is not a number
};

// The encoder the engine runs for a stored encoder name, once the media
// libraries are loaded: their own name for it ("libfaac" runs as "aac"), or
// the stored name marked as missing. Before they are loaded, the stored name.
std::string RunningEncoderName(const std::string& stored);

// A format's video and sound rates in kbit/s, as the size a minute counts
// them: video 0 for sound only, negative when a stored rate is no number.
struct TFormatRates {
  double Video = -1;
  double Audio = -1;
};
TFormatRates FormatRates(const TSettingLookup& setting);

// The encoders are named as RunningEncoderName names them.
TFormatSummary SummarizeFormat(const TSettingLookup& setting, const std::string& container,
                               const std::string& extension);

}  // namespace moskvid
