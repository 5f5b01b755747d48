#include "app/settings/output_formats.h"

#include <stdexcept>

#include "app/settings/ini_file.h"
#include "engine/option_parsing.h"

namespace moskvid {

const char* OutputFormatText(int number) {
  static const char* const kTexts[kFormatCount] = {
      "PS3 MPEG-4 Video (480P)(*.mp4)",
      "PS3 MPEG-4 Video (480P) Excellent(*.mp4)",
      "PS3 MPEG-4 Video (720P)(*.mp4)",
      "PS3 MPEG-4 Video (1080P)(*.mp4)",
      "PSP MPEG-4 Excellent Quality(*.mp4)",
      "PSP MPEG-4 Normal Quality(*.mp4)",
      "PSP MPEG-4 Mini Size(*.mp4)",
      "PSP H.264/AVC Video (*.mp4)",
      "PSP Video (480P)(*.mp4)",
      "MP3 MPEG Layer-3 Audio (*.mp3)",
      "M4A MPEG-4 Audio (*.m4a)",
      "WAV - Waveform Audio (*.wav)",
      "WMA - Windows Meida Audio (*.wma)",
      "AAC Advenced Audio Codec (*.aac)",
  };
  return number >= 0 && number < kFormatCount ? kTexts[number] : "";
}

std::string FormatSection(int number) {
  return "formatInfo" + std::to_string(number);
}

std::vector<std::string> SplitChoiceList(const std::string& value) {
  std::vector<std::string> pieces;
  if (value.empty() || value == "null") return pieces;
  size_t start = 0;
  for (;;) {
    const size_t comma = value.find(',', start);
    pieces.push_back(value.substr(start, comma == std::string::npos ? comma : comma - start));
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return pieces;
}

bool IsEngineVideoCodec(const std::string& name) {
  static const char* const kNames[] = {
      "mpeg4",   "libxvid", "mpeg1video", "mpeg2video", "msmpeg4", "msmpeg4v1", "msmpeg4v2",
      "huffyuv", "dvvideo", "rawvideo",   "h263p",      "h263",    "rv10",      "rv20",
      "ljpeg",   "mjpeg",   "svq1",       "zlib",       "libx264"};
  for (const char* known : kNames) {
    if (name == known) return true;
  }
  return false;
}

bool MapVideoEncoderChoice(const std::string& displayed, std::string& stored) {
  const std::string name = LowerCase(displayed);
  if (name == "mpeg-4") {
    stored = "mpeg4";
  } else if (name == "xvid") {
    stored = "libxvid";
  } else if (name == "h264") {
    stored = "libx264";
  } else {
    static const char* const kSame[] = {
        "3gp",        "3g2",     "mov",     "wmv1",      "wmv2",      "wmv3",
        "flv",        "swf",     "msmpeg4", "msmpeg4v1", "msmpeg4v2", "mpeg1video",
        "mpeg2video", "h263",    "h263p",   "rawvideo",  "rv10",      "rv20",
        "dvvideo",    "huffyuv", "ljpeg",   "mjpeg",     "svq1",      "zlib"};
    for (const char* same : kSame) {
      if (name == same) {
        stored = name;
        return true;
      }
    }
    return false;
  }
  return true;
}

bool MapAudioEncoderChoice(const std::string& displayed, std::string& stored) {
  static const std::pair<const char*, const char*> kTable[] = {
      {"mp3", "libmp3lame"},    {"mp2", "mp2"},
      {"aac", "libfaac"},       {"ac-3", "ac3"},
      {"flac", "flac"},         {"amr_nb", "libamr_nb"},
      {"pcm_s16", "pcm_s16le"}, {"pcm_u16", "pcm_u16le"},
      {"pcm_alaw", "pcm_alaw"}, {"pcm_mulaw ", "pcm_mulaw"},
      {"adpcm_ms", "adpcm_ms"}, {"adpcm_ima_wav", "adpcm_ima_wav"},
      {"wma1", "wmav1"},        {"wma2", "wmav2"}};
  const std::string name = LowerCase(displayed);
  for (const auto& [shown, value] : kTable) {
    if (name == shown) {
      stored = value;
      return true;
    }
  }
  return false;
}

bool MapChannelChoice(const std::string& displayed, std::string& stored) {
  if (displayed == "as source") {
    stored = "as source";
  } else if (displayed == "mono 1 channel") {
    stored = "1";
  } else if (displayed == "stereo 2 channels") {
    stored = "2";
  } else {
    return false;
  }
  return true;
}

bool MapVolumeChoice(const std::string& displayed, std::string& stored) {
  int percent = 0;
  if (displayed.empty() || !ParseInteger(displayed.substr(0, displayed.size() - 1), percent)) {
    throw std::invalid_argument("'" +
                                displayed.substr(0, displayed.empty() ? 0 : displayed.size() - 1) +
                                "' is not a valid integer value");
  }
  static const int kPercents[] = {25, 50, 75, 100, 125, 150, 175, 200, 250, 300, 350, 400};
  for (int known : kPercents) {
    if (percent == known) {
      stored = std::to_string(percent * 256 / 100);
      return true;
    }
  }
  return false;
}

}  // namespace moskvid
