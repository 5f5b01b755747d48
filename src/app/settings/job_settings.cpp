#include "app/settings/job_settings.h"

#include "app/settings/output_formats.h"
#include "app/settings/settings_choices.h"

namespace moskvid {

TJobSettings::TJobSettings(const std::string& configFile, const std::string& profileFile,
                           int format)
    : config_(configFile),
      profile_(profileFile),
      format_(format),
      section_(FormatSection(format)) {}

bool TJobSettings::ProfileDefault(const std::string& key, std::string& value) const {
  for (int c = 0; c < kChoiceCount; ++c) {
    const TChoiceKeys& choice = ChoiceKeys(static_cast<TChoice>(c));
    if (key != choice.Stored) continue;
    const auto list = SplitChoiceList(profile_.ReadString(section_, choice.List, "null"));
    const int index = profile_.ReadInteger(section_, choice.Index, 0);
    if (index < 0 || index >= static_cast<int>(list.size())) return false;
    try {
      return choice.Map(list[static_cast<size_t>(index)], value);
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
