// The fourteen output formats and the profile file that backs them.
#pragma once

#include <string>
#include <vector>

namespace moskvid {

inline constexpr int kFormatCount = 14;

// The text the format list shows for format `number` (0 to 13).
const char* OutputFormatText(int number);
// "formatInfo" followed by the number: the section of the format in both
// the profile file and the configuration file.
std::string FormatSection(int number);

// Splits a profile choice list at every ",", pieces kept as written; "null"
// and an empty text give no choice at all.
std::vector<std::string> SplitChoiceList(const std::string& value);

// Whether a stored video choice names an encoder of the engine's own
// ("mpeg4", "libx264", ...); the other choices ("mov", "flv", ...) leave the
// codec to the container.
bool IsEngineVideoCodec(const std::string& name);

// The engine-ready value the settings dialog stores for a displayed choice;
// false when the choice is not one it knows (the stored value then stays).
bool MapVideoEncoderChoice(const std::string& displayed, std::string& stored);
bool MapAudioEncoderChoice(const std::string& displayed, std::string& stored);
bool MapChannelChoice(const std::string& displayed, std::string& stored);
// "100%" -> "256"; raises std::invalid_argument when the text before the
// last character is not a whole number.
bool MapVolumeChoice(const std::string& displayed, std::string& stored);

}  // namespace moskvid
