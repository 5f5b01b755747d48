// info and snapshot: what the probe tells of a file, and one of its pictures.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <iostream>

#include "app/settings/media_texts.h"
#include "cli/cli_common.h"
#include "cli/component_run.h"
#include "component/bitmap_files.h"

namespace moskvid::cli {

namespace {

void PrintRecords(TAVProbe& probe) {
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  std::printf("format: start_us=%lld duration_us=%lld bit_rate=%d timestamp=%lld\n",
              static_cast<long long>(format.StartTime), static_cast<long long>(format.Duration),
              format.BitRate, static_cast<long long>(format.TimeStamp));
  for (int i = 0; i < probe.StreamCount; ++i) {
    if (probe.IsVideoStream(i)) {
      TAVVideoStreamInfo v;
      probe.GetVideoStreamInfo(i, v);
      std::printf(
          "video #%d: codec=%s width=%d height=%d aspect=%.4f pix_fmt=%d rate=%d/%d "
          "start_us=%lld duration_us=%lld bit_rate=%d language=%s\n",
          i, v.CodecName.c_str(), v.Width, v.Height, v.DisplayAspectRatio, v.PixelFormat,
          v.FrameRateNum, v.FrameRateDen, static_cast<long long>(v.StartTimeUs),
          static_cast<long long>(v.DurationUs), v.BitRate, v.Language.c_str());
    } else if (probe.IsAudioStream(i)) {
      TAVAudioStreamInfo a;
      probe.GetAudioStreamInfo(i, a);
      std::printf(
          "audio #%d: codec=%s channels=%d sample_rate=%d sample_fmt=%d start_us=%lld "
          "duration_us=%lld bit_rate=%d language=%s\n",
          i, a.CodecName.c_str(), a.Channels, a.SampleRate, a.SampleFormat,
          static_cast<long long>(a.StartTimeUs), static_cast<long long>(a.DurationUs), a.BitRate,
          a.Language.c_str());
    }
  }
}

// The sound tracks, the one a conversion takes marked, and the tags.
void PrintTracksAndTags(TAVProbe& probe) {
  const std::vector<TAVAudioTrack> tracks = probe.AudioTracks();
  std::printf("sound tracks:%s\n", tracks.empty() ? " none" : "");
  const int taken = probe.AudioTrackStream(0);
  for (const TAVAudioTrack& track : tracks)
    std::printf("  %s\n", AudioTrackListText(track, track.Stream == taken).c_str());
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  const auto tags = TagTexts(format);
  std::printf("tags:%s\n", tags.empty() ? " none" : "");
  for (const auto& [label, value] : tags)
    std::printf("  %s: %s\n", label.c_str(), value.c_str());
}

}  // namespace

int InfoCommand(const std::vector<std::string>& args) {
  if (args.empty()) {
    PrintUsage();
    return kExitUsage;
  }
  TCCAVConverter converter;
  if (!LoadConverterLibraries(converter)) return kExitFailed;
  converter.SetLogLevel(llError);
  int status = kExitOk;
  for (size_t i = 0; i < args.size(); ++i) {
    TAVProbe& probe = converter.Probe();
    if (!probe.Open(args[i])) {
      std::fprintf(stderr, "%s\n", probe.LastError().c_str());
      status = kExitFailed;
      continue;
    }
    std::string text;
    for (char c : probe.InfoText()) {
      if (c != '\r') text += c;
    }
    std::printf("%s%s\n", i ? "\n" : "", text.c_str());
    PrintRecords(probe);
    PrintTracksAndTags(probe);
    probe.Close();
  }
  return status;
}

int SnapshotCommand(const std::vector<std::string>& args) {
  std::string file, out;
  double seconds = 0;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--at" && i + 1 < args.size()) {
      char* end = nullptr;
      seconds = std::strtod(args[++i].c_str(), &end);
      if (*end != '\0' || seconds < 0) {
        std::cerr << "snapshot: --at takes a time in seconds\n";
        return kExitUsage;
      }
    } else if (args[i] == "--out" && i + 1 < args.size()) {
      out = args[++i];
    } else if (file.empty() && !args[i].empty() && args[i][0] != '-') {
      file = args[i];
    } else {
      std::cerr << "snapshot: unexpected argument '" << args[i] << "'\n";
      return kExitUsage;
    }
  }
  if (file.empty()) {
    PrintUsage();
    return kExitUsage;
  }
  if (out.empty()) out = std::filesystem::path(file).stem().string() + "_snapshot.bmp";
  TCCAVConverter converter;
  if (!LoadConverterLibraries(converter)) return kExitFailed;
  converter.SetLogLevel(llError);
  TAVProbe& probe = converter.Probe();
  if (!probe.Open(file)) {
    std::fprintf(stderr, "%s\n", probe.LastError().c_str());
    return kExitFailed;
  }
  try {
    probe.Seek(-1, static_cast<int64_t>(seconds * 1000000));
    const TBitmap24& frame = probe.DecodeNextFrame();
    if (frame.Empty()) {
      std::fprintf(stderr, "%s: no picture at %.3f s\n", file.c_str(), seconds);
      return kExitFailed;
    }
    const std::string written = SaveBitmapAsNewBmp(frame, out);
    if (written.empty()) {
      std::fprintf(stderr, "Cannot write %s\n", out.c_str());
      return kExitFailed;
    }
    if (written != out)
      std::fprintf(stderr, "%s is taken: saved as %s\n", out.c_str(), written.c_str());
    std::printf("%s\n", written.c_str());
  } catch (const std::exception& error) {
    std::fprintf(stderr, "%s\n", error.what());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace moskvid::cli
