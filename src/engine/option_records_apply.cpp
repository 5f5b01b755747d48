// How the application's option records become engine state.
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <ctime>

#include "binding/my_utils.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

std::string FormatName(const std::string& name) {
  return name == "pgmyuv" ? "image2" : name;
}

// Whether the option text sets `name` on a line of its own.
bool TextSetsOption(const std::string& text, const std::string& name) {
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of("\r\n", start);
    if (end == std::string::npos) end = text.size();
    const std::string line = text.substr(start, end - start);
    if (Trim(line.substr(0, line.find('='))) == name) return true;
    start = end + 1;
  }
  return false;
}

int64_t MillisecondsOrMinusOne(const std::string& text) {
  const std::string trimmed = Trim(text);
  if (trimmed.empty()) return -1;
  char* end = nullptr;
  const long long value = std::strtoll(trimmed.c_str(), &end, 10);
  return *end == '\0' ? value : -1;
}

}  // namespace

void TCustomFFmpeg::ApplyInputOptions(const TInputOptions& options) {
  ApplyOptionText(options.ExtOptions);
  if (!options.Format.empty()) {
    const std::string name = FormatName(options.Format);
    if (name != options.Format) Options.PgmyuvCompat = true;
    Options.ForcedInputFormat = ff::av_find_input_format(name.c_str());
    if (!Options.ForcedInputFormat) throw FFMpegException("Unknown input format: " + name);
  }
  if (options.StartTime > 0) Options.InputStartTime = int64_t{options.StartTime} * 1000;
  if (options.ProgramNumber >= 0) Options.OptProgramid = options.ProgramNumber;
}

void TCustomFFmpeg::ApplyOutputOptions(const TOutputOptions& o) {
  ApplyOptionText(o.ExtOptions);
  if (!o.Format.empty()) {
    const std::string name = FormatName(o.Format);
    Options.ForcedOutputFormat = ff::av_guess_format(name.c_str(), nullptr, nullptr);
    if (!Options.ForcedOutputFormat) throw FFMpegException("Unknown output format: " + name);
  }
  if (o.MuxPacketSize > 0) SetGenericOptionInt("packetsize", o.MuxPacketSize);
  if (o.MuxBitrate > 0) SetGenericOptionInt("muxrate", o.MuxBitrate);
  if (o.MuxMaxDelay > 0) Options.MuxMaxDelay = o.MuxMaxDelay;
  if (o.MuxPreloadTime > 0) Options.MuxPreload = o.MuxPreloadTime;

  if (!o.AudioCodec.empty()) SetCodecName(kAudioKind, o.AudioCodec);
  if (o.AudioDisable) Options.AudioDisable = true;
  if (o.Volume >= 0) Options.AudioVolume = o.Volume;
  if (o.AudioChannels > 0) Options.AudioChannels = o.AudioChannels;
  if (o.SampleRate > 0) Options.AudioSampleRate = o.SampleRate;
  if (o.AudioBitsPerSecond > 0) SetGenericOptionInt("ab", o.AudioBitsPerSecond);
  if (o.AudioBitrateTolerance > 0) SetGenericOptionInt("abt", o.AudioBitrateTolerance);
  Options.AudioLanguage = o.AudioLanguage;
  Options.AudioSyncMethod = o.AudioSync;
  if (!o.AudioTag.empty()) SetCodecTag(false, o.AudioTag);

  if (!o.VideoCodec.empty()) SetCodecName(kVideoKind, o.VideoCodec);
  if (o.VideoDisable) Options.VideoDisable = true;
  if (!o.FrameRate.empty()) SetFrameRate(o.FrameRate);
  if (!o.FrameSize.empty()) SetFrameSize(o.FrameSize);
  if (!o.AspectRatio.empty()) SetAspect(o.AspectRatio);
  const int crops[4] = {o.CropTop, o.CropBottom, o.CropLeft, o.CropRight};
  for (int side = 0; side < 4; ++side)
    SetCropValue(side, crops[side]);
  const int pads[4] = {o.PaddingTop, o.PaddingBottom, o.PaddingLeft, o.PaddingRight};
  for (int side = 0; side < 4; ++side)
    SetPadValue(side, pads[side]);
  // A colour named in the option text is the caller's explicit choice.
  if (!TextSetsOption(o.ExtOptions, "padcolor")) SetPadColor(o.PaddingColor);
  // The group size option is "g" in this library generation.
  if (o.Gop > 0) SetGenericOptionInt("g", o.Gop);
  if (o.VideoBitsPerSecond > 0) SetGenericOptionInt("vb", o.VideoBitsPerSecond);
  if (o.VideoMaxRate > 0) SetGenericOptionInt("maxrate", o.VideoMaxRate);
  if (o.VideoMinRate > 0) SetGenericOptionInt("minrate", o.VideoMinRate);
  if (o.BitrateTolerance > 0) SetGenericOptionInt("bt", o.BitrateTolerance);
  if (o.VideoBufferSize > 0) SetGenericOptionInt("bufsize", o.VideoBufferSize);
  Options.VideoSyncMethod = o.VideoSync;
  if (!o.VideoTag.empty()) SetCodecTag(true, o.VideoTag);
  if (!o.VideoFilters.empty()) Options.vfilters = o.VideoFilters;

  if (o.SubtitleDisable) Options.SubtitleDisable = true;
  Options.SubtitleLanguage = o.SubtitleLanguage;
  Options.CopyTs = o.CopyTimestamps != 0;

  if (o.Duration > 0) {
    TotalDuration = o.Duration;
    Options.RecordingTime = int64_t{o.Duration} * 1000;
  }
  if (o.RecordingDate == 0) {
    Options.RecTimestamp = static_cast<int64_t>(std::time(nullptr));
  } else if (o.RecordingDate > 0) {
    Options.RecTimestamp = LocalDateTimeToUnixTime(o.RecordingDate);
  }
  if (o.Year > 0) Options.MetaYear = o.Year;
  if (o.Track > 0) Options.MetaTrack = o.Track;
  if (!o.Title.empty()) Options.title = o.Title;
  if (!o.Author.empty()) Options.author = o.Author;
  if (!o.Copyright.empty()) Options.copyright = o.Copyright;
  if (!o.Comment.empty()) Options.comment = o.Comment;
  if (!o.Album.empty()) Options.album = o.Album;
  if (!o.Genre.empty()) Options.genre = o.Genre;

  static const char* const kTargets[4] = {nullptr, "vcd", "svcd", "dvd"};
  if (o.Target >= 1 && o.Target <= 3) {
    const char* norm = o.TargetNorm == 1 ? "pal" : (o.TargetNorm == 2 ? "ntsc" : "auto");
    SetTarget(kTargets[o.Target], norm, o.FallbackNorm == 1 ? "pal" : "ntsc");
  }
  if (!o.CustomHook && !o.BeforeHook) SetHookRanges(o.HookRanges);
}

void TCustomFFmpeg::SetHookRanges(const std::string& text) {
  std::vector<std::pair<int64_t, int64_t>> ranges;
  std::string rest = Trim(text);
  while (!rest.empty()) {
    std::string piece = Trim(SplitAt(rest, ",", true));
    std::string startText = SplitAt(piece, "-", true);
    const int64_t start = MillisecondsOrMinusOne(startText);
    const int64_t end = MillisecondsOrMinusOne(piece);
    if (end >= start && end >= 0) {
      ranges.emplace_back(start * 1000, end * 1000);
    }
  }
  SetHookSegments(ranges);
}

void TCustomFFmpeg::SetHookSegments(const std::vector<std::pair<int64_t, int64_t>>& segments) {
  Segments = segments;
  std::stable_sort(Segments.begin(), Segments.end(),
                   [](const auto& a, const auto& b) { return a.second < b.second; });
  SegmentIndex = 0;
}

}  // namespace moskvid
