#include "app/settings/settings_choices.h"

#include <cctype>
#include <stdexcept>

#include "app/settings/app_settings.h"
#include "app/settings/ini_file.h"
#include "app/settings/job_settings.h"
#include "app/settings/output_formats.h"
#include "binding/media_loader.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

bool AsDisplayed(const std::string& displayed, std::string& stored) {
  stored = displayed;
  return true;
}

const TChoiceKeys kKeys[kChoiceCount] = {
    {"VideoSize", "iVideoSize", "paraVideoSize", &AsDisplayed},
    {"VideoEncoder", "iVideoEncoder", "paraVideoEncoder", &MapVideoEncoderChoice},
    {"VideoBitRate", "iVideoBitRate", "paraVideoBitRate", &AsDisplayed},
    {"FrameRate", "iFrameRate", "paraFrameRate", &AsDisplayed},
    {"SampleRate", "iSampleRate", "paraSampleRate", &AsDisplayed},
    {"AudioEncoder", "iAudioEncoder", "paraAudioEncoder", &MapAudioEncoderChoice},
    {"Channel", "iChannel", "paraChannel", &MapChannelChoice},
    {"AudioBitRate", "iAudioBitRate", "paraAudioBitRate", &AsDisplayed},
    {"Volume", "iVolume", "paraVolume", &MapVolumeChoice},
};

constexpr const char* kDeinterlaceKey = "paraDeinterlace";

bool IsTrue(const std::string& text) {
  return LowerCase(text) != "false";
}

// The H.264 parameters copied from the profile when H.264 is chosen, each
// only when its rule holds.
void CopyH264Parameters(const TIniFile& profile, TIniFile& config, const std::string& section) {
  const std::string exact = profile.ReadString(section, "paraBitExact", "True");
  std::string lower = exact;
  for (char& c : lower)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (lower == "true") config.WriteString(section, "paraBitExact", exact);
  const std::pair<const char*, const char*> kPositive[] = {{"paraMaxBitrate", "1500"},
                                                           {"paraBufferSize", "128"},
                                                           {"paraLevel", "13"},
                                                           {"paraQscale", "25"},
                                                           {"paraGop", "250"}};
  for (const auto& [key, fallback] : kPositive) {
    const std::string text = profile.ReadString(section, key, fallback);
    int value = 0;
    if (ParseInteger(text, value) && value > 0) config.WriteString(section, key, text);
  }
  const std::string coder = profile.ReadString(section, "paraCoder", "1");
  int value = 0;
  config.WriteString(section, "paraCoder", ParseInteger(coder, value) && value >= 1 ? coder : "1");
}

}  // namespace

const TChoiceKeys& ChoiceKeys(TChoice choice) {
  return kKeys[choice];
}

TSettingsChoices LoadSettingsChoices(const std::string& profileFile, const std::string& configFile,
                                     int format) {
  const TIniFile profile(profileFile);
  const TIniFile config(configFile);
  const std::string section = FormatSection(format);
  TSettingsChoices choices;
  for (int c = 0; c < kChoiceCount; ++c) {
    TChoiceList& list = choices[static_cast<size_t>(c)];
    list.Items = SplitChoiceList(profile.ReadString(section, kKeys[c].List, "null"));
    list.Enabled = !list.Items.empty();
    list.Unavailable.assign(list.Items.size(), "");
    // Never chosen: the profile's default, which is what a job gets then.
    const int stored = config.ValueExists(section, kKeys[c].Index)
                           ? config.ReadInteger(section, kKeys[c].Index, 0)
                           : profile.ReadInteger(section, kKeys[c].Index, 0);
    list.Selected = stored >= 0 && stored < static_cast<int>(list.Items.size()) ? stored : -1;
  }
  const bool video = !choices[chVideoEncoder].Items.empty();
  for (TChoice c : {chVideoSize, chVideoEncoder, chVideoBitRate, chFrameRate})
    choices[c].Enabled = video;
  return choices;
}

std::array<int, kChoiceCount> DefaultChoiceIndices(const std::string& profileFile, int format) {
  const TIniFile profile(profileFile);
  std::array<int, kChoiceCount> indices{};
  for (int c = 0; c < kChoiceCount; ++c)
    indices[static_cast<size_t>(c)] = profile.ReadInteger(FormatSection(format), kKeys[c].Index, 0);
  return indices;
}

TDeinterlaceChoice LoadDeinterlaceChoice(const std::string& profileFile,
                                         const std::string& configFile, int format) {
  TDeinterlaceChoice choice;
  // Read as the job building reads it: stored, else the profile's, else on.
  choice.Checked =
      IsTrue(TJobSettings(configFile, profileFile, format).Value(kDeinterlaceKey, "True"));
  const std::string section = FormatSection(format);
  choice.Enabled =
      !SplitChoiceList(TIniFile(profileFile).ReadString(section, "VideoEncoder", "null")).empty();
  return choice;
}

bool DefaultDeinterlace(const std::string& profileFile, int format) {
  return IsTrue(TIniFile(profileFile).ReadString(FormatSection(format), kDeinterlaceKey, "True"));
}

void StoreDeinterlaceChoice(const std::string& configFile, int format, bool checked) {
  TIniFile(configFile)
      .WriteString(FormatSection(format), kDeinterlaceKey, checked ? "True" : "False");
}

TQuality LoadQualityChoice(const std::string& profileFile, const std::string& configFile,
                           int format) {
  return QualityOf(TJobSettings(configFile, profileFile, format));
}

void StoreQualityChoice(const std::string& configFile, int format, TQuality quality) {
  TIniFile(configFile).WriteString(FormatSection(format), kQualityKey, QualityName(quality));
}

std::string StoredValueOf(TChoice choice, const TChoiceList& list, const std::string& current) {
  if (list.Selected < 0) {
    // The texts are stored as they are, also as nothing.
    return kKeys[choice].Map == &AsDisplayed ? std::string() : current;
  }
  std::string stored;
  try {
    return kKeys[choice].Map(list.SelectedText(), stored) ? stored : current;
  } catch (const std::invalid_argument&) {
    return current;
  }
}

void StoreSettingsChoices(const std::string& profileFile, const std::string& configFile, int format,
                          const TSettingsChoices& choices) {
  const TIniFile profile(profileFile);
  TIniFile config(configFile);
  const std::string section = FormatSection(format);
  const auto selected = [&](TChoice c) { return choices[c].SelectedText(); };
  const auto store = [&](TChoice c) {
    std::string value;
    if (kKeys[c].Map(selected(c), value)) config.WriteString(section, kKeys[c].Stored, value);
  };

  config.WriteInteger(kSettingsSection, "OutPutFormat", format);
  config.WriteString(section, "Description", OutputFormatText(format));
  for (int c = 0; c < kChoiceCount; ++c)
    config.WriteInteger(section, kKeys[c].Index, choices[static_cast<size_t>(c)].Selected);
  for (TChoice c : {chVideoSize, chVideoBitRate, chFrameRate})
    config.WriteString(section, kKeys[c].Stored, selected(c));
  store(chVideoEncoder);
  if (LowerCase(selected(chVideoEncoder)) == "h264") CopyH264Parameters(profile, config, section);
  for (TChoice c : {chSampleRate, chAudioBitRate})
    config.WriteString(section, kKeys[c].Stored, selected(c));
  store(chChannel);
  // Without a volume list there is no text to convert; the stored value stays.
  if (choices[chVolume].Selected >= 0) store(chVolume);
  store(chAudioEncoder);
}

void MarkUnavailableEncoders(TSettingsChoices& choices) {
  if (!binding::MediaLibrariesLoaded()) return;
  for (TChoice c : {chVideoEncoder, chAudioEncoder}) {
    TChoiceList& list = choices[c];
    for (size_t i = 0; i < list.Items.size(); ++i) {
      std::string stored;
      try {
        if (!kKeys[c].Map(list.Items[i], stored)) continue;
      } catch (const std::invalid_argument&) {
        continue;
      }
      if (c == chVideoEncoder && !IsEngineVideoCodec(stored)) continue;
      if (!FindEncoderByName(stored, nullptr)) {
        list.Unavailable[i] = "The installed media libraries have no " + stored +
                              " encoder, so this choice cannot be converted here.";
      }
    }
  }
}

}  // namespace moskvid
