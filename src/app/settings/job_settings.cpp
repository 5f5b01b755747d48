#include "app/settings/job_settings.h"

#include "app/settings/output_formats.h"

namespace moskvid {

namespace {

struct ChoiceKey {
  const char* stored;  // "paraVideoEncoder"
  const char* list;    // "VideoEncoder"
  const char* index;   // "iVideoEncoder"
  bool (*map)(const std::string&, std::string&);
};

bool AsDisplayed(const std::string& displayed, std::string& stored) {
  stored = displayed;
  return true;
}

const ChoiceKey kChoices[] = {
    {"paraVideoSize", "VideoSize", "iVideoSize", &AsDisplayed},
    {"paraVideoBitRate", "VideoBitRate", "iVideoBitRate", &AsDisplayed},
    {"paraVideoEncoder", "VideoEncoder", "iVideoEncoder", &MapVideoEncoderChoice},
    {"paraFrameRate", "FrameRate", "iFrameRate", &AsDisplayed},
    {"paraSampleRate", "SampleRate", "iSampleRate", &AsDisplayed},
    {"paraAudioBitRate", "AudioBitRate", "iAudioBitRate", &AsDisplayed},
    {"paraChannel", "Channel", "iChannel", &MapChannelChoice},
    {"paraVolume", "Volume", "iVolume", &MapVolumeChoice},
    {"paraAudioEncoder", "AudioEncoder", "iAudioEncoder", &MapAudioEncoderChoice},
};

}  // namespace

TJobSettings::TJobSettings(const std::string& configFile, const std::string& profileFile,
                           int format)
    : config_(configFile),
      profile_(profileFile),
      format_(format),
      section_(FormatSection(format)) {}

bool TJobSettings::ProfileDefault(const std::string& key, std::string& value) const {
  for (const ChoiceKey& choice : kChoices) {
    if (key != choice.stored) continue;
    const auto list = SplitChoiceList(profile_.ReadString(section_, choice.list, "null"));
    const int index = profile_.ReadInteger(section_, choice.index, 0);
    if (index < 0 || index >= static_cast<int>(list.size())) return false;
    try {
      return choice.map(list[static_cast<size_t>(index)], value);
    } catch (const std::invalid_argument&) {
      return false;
    }
  }
  // The H.264 parameters are plain values of the profile.
  if (profile_.ValueExists(section_, key)) {
    value = profile_.ReadString(section_, key, "");
    return true;
  }
  return false;
}

std::string TJobSettings::Value(const std::string& key, const std::string& fallback) const {
  if (config_.ValueExists(section_, key)) return config_.ReadString(section_, key, fallback);
  std::string value;
  return ProfileDefault(key, value) ? value : fallback;
}

int TJobSettings::IntegerValue(const std::string& key, const std::string& fallback) const {
  const std::string text = Value(key, fallback);
  int value = 0;
  if (!ParseInteger(text, value)) {
    throw TConversionError("'" + text + "' is not a valid integer value");
  }
  return value;
}

std::string TJobSettings::ProfileValue(const std::string& key, const std::string& fallback) const {
  return profile_.ReadString(section_, key, fallback);
}

}  // namespace moskvid
