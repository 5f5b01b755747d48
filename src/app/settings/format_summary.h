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
  std::string Audio;      // "audio libfaac, 48000 Hz, 2 channels, 128 kbit/s"
  std::string Size;       // "about 4.7 MB a minute"; empty when a bit rate is not a number
};

TFormatSummary SummarizeFormat(const TSettingLookup& setting, const std::string& container,
                               const std::string& extension);

}  // namespace moskvid
