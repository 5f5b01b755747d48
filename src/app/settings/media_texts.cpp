#include "app/settings/media_texts.h"

#include <cstdlib>
#include <numeric>

#include "engine/option_parsing.h"

namespace moskvid {

namespace {

// Line breaks (a comment may hold several lines) as blanks.
std::string OneLine(const std::string& text) {
  std::string line;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    line += text[i] == '\n' || text[i] == '\r' ? ' ' : text[i];
  }
  return Trim(line);
}

}  // namespace

std::string AudioTrackText(const TAVAudioTrack& track) {
  std::string details;
  const auto add = [&details](const std::string& part) {
    if (!part.empty()) details += (details.empty() ? "" : ", ") + part;
  };
  add(track.Language);
  add(track.CodecName);
  if (track.Channels > 0) {
    add(std::to_string(track.Channels) + (track.Channels == 1 ? " channel" : " channels"));
  }
  std::string text = "Track " + std::to_string(track.Number);
  if (!details.empty()) text += ": " + details;
  return track.Default ? text + " (default)" : text;
}

std::string AudioTrackListText(const TAVAudioTrack& track, bool converted) {
  return AudioTrackText(track) + (converted ? "  [converted]" : "");
}

std::string RatioText(int num, int den) {
  return std::to_string(num) + ":" + std::to_string(den);
}

std::string DisplayAspectText(const TAVVideoStreamInfo& video) {
  if (video.Width <= 0 || video.Height <= 0) return "";
  const bool sample = video.SampleAspectNum > 0 && video.SampleAspectDen > 0;
  int64_t across = int64_t{video.Width} * (sample ? video.SampleAspectNum : 1);
  int64_t down = int64_t{video.Height} * (sample ? video.SampleAspectDen : 1);
  // A quarter turn shows the picture on its side.
  if (video.Rotation % 180 != 0) std::swap(across, down);
  const int64_t divisor = std::gcd(across, down);
  across /= divisor;
  down /= divisor;
  if (across <= 16 && down <= 16) {
    return std::to_string(across) + ":" + std::to_string(down);
  }
  return Format("%.2f:1", static_cast<double>(across) / static_cast<double>(down));
}

std::vector<std::pair<std::string, std::string>> TagTexts(const TAVFormatInfo& info) {
  std::string track;
  if (info.Track > 0) {
    track = std::to_string(info.Track);
    if (info.TrackTotal > 0) track += "/" + std::to_string(info.TrackTotal);
  }
  const std::pair<const char*, std::string> all[] = {
      {"Title", info.Title},
      {"Artist", info.Author},
      {"Album Artist", info.AlbumArtist},
      {"Album", info.Album},
      {"Track", track},
      {"Disc", info.Disc},
      {"Year", info.Year > 0 ? std::to_string(info.Year) : std::string()},
      {"Genre", info.Genre},
      {"Composer", info.Composer},
      {"Comment", info.Comment},
  };
  std::vector<std::pair<std::string, std::string>> tags;
  for (const auto& [label, value] : all) {
    const std::string line = OneLine(value);
    if (!line.empty()) tags.emplace_back(label, line);
  }
  return tags;
}

}  // namespace moskvid
