// The nine choices of the settings dialog, free of window code: the lists a
// format offers, the stored selections, the profile's default selections,
// and what OK stores for them.
#pragma once

#include <array>
#include <string>
#include <vector>

#include "app/settings/quality_choice.h"

namespace moskvid {

inline constexpr int kChoiceCount = 9;

// In the dialog's order: the four video choices, then the five audio ones.
enum TChoice {
  chVideoSize,
  chVideoEncoder,
  chVideoBitRate,
  chFrameRate,
  chSampleRate,
  chAudioEncoder,
  chChannel,
  chAudioBitRate,
  chVolume
};

struct TChoiceKeys {
  const char* List;    // "VideoSize": the profile's list of display texts
  const char* Index;   // "iVideoSize": the selected index
  const char* Stored;  // "paraVideoSize": the engine-ready value
  // The stored value for a displayed choice; false leaves the stored value.
  bool (*Map)(const std::string& displayed, std::string& stored);
};

const TChoiceKeys& ChoiceKeys(TChoice choice);

struct TChoiceList {
  std::vector<std::string> Items;
  int Selected = -1;  // -1: nothing selected
  bool Enabled = false;
  // Why an item cannot be chosen on this machine, by item; empty when it can.
  std::vector<std::string> Unavailable;

  std::string SelectedText() const {
    return Selected >= 0 && Selected < static_cast<int>(Items.size())
               ? Items[static_cast<size_t>(Selected)]
               : std::string();
  }
};

using TSettingsChoices = std::array<TChoiceList, kChoiceCount>;

// The lists of format `format` from the profile, with the selections stored
// in the configuration (the profile's default selection for a list never
// chosen); the video lists are enabled only when the format offers a video
// encoder.
TSettingsChoices LoadSettingsChoices(const std::string& profileFile, const std::string& configFile,
                                     int format);

// The profile's default selection of each list.
std::array<int, kChoiceCount> DefaultChoiceIndices(const std::string& profileFile, int format);

// What OK stores for the selections, under the format's section (and the
// format as "OutPutFormat"). A volume text that is not a percentage raises
// std::invalid_argument; what was written before it stays written.
void StoreSettingsChoices(const std::string& profileFile, const std::string& configFile, int format,
                          const TSettingsChoices& choices);

// The deinterlacing of the format: pictures of interlaced sources are made
// whole unless the stored "paraDeinterlace" says "False". Offered for the
// formats with a video encoder only.
struct TDeinterlaceChoice {
  bool Checked = true;
  bool Enabled = false;
};
TDeinterlaceChoice LoadDeinterlaceChoice(const std::string& profileFile,
                                         const std::string& configFile, int format);
// What Default gives: the profile's value, else on.
bool DefaultDeinterlace(const std::string& profileFile, int format);
// Stores "True" or "False" under the format's section.
void StoreDeinterlaceChoice(const std::string& configFile, int format, bool checked);

// The stored choice of the format; balanced when none is, or it is unknown.
TQuality LoadQualityChoice(const std::string& profileFile, const std::string& configFile,
                           int format);
void StoreQualityChoice(const std::string& configFile, int format, TQuality quality);

// The engine-ready value OK would store for the selection, or `current`
// (the stored value) when the selection maps to nothing.
std::string StoredValueOf(TChoice choice, const TChoiceList& list, const std::string& current);

// Marks the audio encoders (and the video encoders the engine names) that
// the loaded libraries cannot encode with. Needs the media libraries.
void MarkUnavailableEncoders(TSettingsChoices& choices);

}  // namespace moskvid
