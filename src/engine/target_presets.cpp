// Target presets: "vcd", "svcd", "dvd", "dv" and "dv50" with norm detection.
#include <cmath>

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

enum class Norm { kPal, kNtsc, kFilm };

// 29970 for 30000/1001, 25000 for 25/1.
long MilliRate(AVRational rate) {
  return std::lround(static_cast<double>(rate.num) * 1000.0 / rate.den);
}

bool NormOfRate(long milliRate, Norm& norm) {
  if (milliRate == 23976 || milliRate == 29970) {
    norm = Norm::kNtsc;
    return true;
  }
  if (milliRate == 25000) {
    norm = Norm::kPal;
    return true;
  }
  return false;
}

}  // namespace

void TCustomFFmpeg::SetTarget(const std::string& type, const std::string& normText,
                              const std::string& fallbackNorm) {
  Norm norm = Norm::kPal;
  if (normText == "pal") {
    norm = Norm::kPal;
  } else if (normText == "ntsc") {
    norm = Norm::kNtsc;
  } else if (normText == "film") {
    norm = Norm::kFilm;
  } else {
    if (Options.FrameRateValue.den == 0) throw FFMpegException("frame_rate is invalid.");
    bool decided = NormOfRate(MilliRate(Options.FrameRateValue), norm);
    for (size_t file = 0; !decided && file < InputFiles.size(); ++file) {
      AVFormatContext* context = InputFiles[file].Context.get();
      for (unsigned i = 0; !decided && i < context->nb_streams; ++i) {
        const AVStream* stream = context->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (stream->r_frame_rate.num > 0 && stream->r_frame_rate.den > 0) {
          decided = NormOfRate(MilliRate(stream->r_frame_rate), norm);
        }
      }
    }
    if (!decided) {
      norm = fallbackNorm == "film" ? Norm::kFilm
                                    : (fallbackNorm == "ntsc" ? Norm::kNtsc : Norm::kPal);
    }
    if (Options.Verbose > 0) {
      LogF(1, "Assuming %s for target.", norm == Norm::kPal ? "PAL" : "NTSC");
    }
  }

  const bool pal = norm == Norm::kPal;
  const char* rate = pal ? "25" : (norm == Norm::kNtsc ? "30000/1001" : "24000/1001");
  auto assumeAspect = [this](const char* aspect, const char* message) {
    if (Options.FrameAspectRatio != 0) return;
    SetAspect(aspect);
    Log(1, message);
  };

  if (type == "vcd") {
    SetCodecName(kVideoKind, "mpeg1video");
    SetCodecName(kAudioKind, "mp2");
    SetFormatOption("vcd");
    SetFrameSize(pal ? "352x288" : "352x240");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "1150000");
    SetGenericOption("maxrate", "1150000");
    SetGenericOption("minrate", "1150000");
    SetGenericOption("bufsize", "327680");
    SetGenericOption("ab", "224000");
    Options.AudioSampleRate = 44100;
    Options.AudioChannels = 2;
    SetGenericOption("packetsize", "2324");
    SetGenericOption("muxrate", "1411200");
    Options.MuxPreload = 0.44f;
    assumeAspect("4:3", "Assuming 4:3 for aspect ratio");
  } else if (type == "svcd") {
    SetCodecName(kVideoKind, "mpeg2video");
    SetCodecName(kAudioKind, "mp2");
    SetFormatOption("svcd");
    SetFrameSize(pal ? "480x576" : "480x480");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "2040000");
    SetGenericOption("maxrate", "2516000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    // The scan offset is the MPEG-2 encoder's own option now.
    SetGenericOption("scan_offset", "1");
    SetGenericOption("ab", "224000");
    Options.AudioSampleRate = 44100;
    if (Options.AudioChannels == 1) Options.AudioChannels = 2;
    SetGenericOption("packetsize", "2324");
    assumeAspect("4:3", "Assuming 4:3 for aspect ratio");
  } else if (type == "dvd") {
    SetCodecName(kVideoKind, "mpeg2video");
    SetCodecName(kAudioKind, "ac3");
    SetFormatOption("dvd");
    SetFrameSize(pal ? "720x576" : "720x480");
    SetFrameRate(rate);
    SetGenericOption("g", pal ? "15" : "18");
    SetGenericOption("b", "6000000");
    SetGenericOption("maxrate", "9000000");
    SetGenericOption("minrate", "0");
    SetGenericOption("bufsize", "1835008");
    SetGenericOption("ab", "448000");
    Options.AudioSampleRate = 48000;
    if (Options.AudioChannels == 1) Options.AudioChannels = 2;
    SetGenericOption("packetsize", "2048");
    SetGenericOption("muxrate", "10080000");
    assumeAspect("16:9", "Assuming 16:9 for aspect ratio");
  } else if (type == "dv" || type == "dv50") {
    SetFormatOption("dv");
    SetFrameSize(pal ? "720x576" : "720x480");
    SetPixelFormat(type == "dv50" ? "yuv422p" : (pal ? "yuv420p" : "yuv411p"));
    SetFrameRate(rate);
    Options.AudioSampleRate = 48000;
    Options.AudioChannels = 2;
  } else {
    throw FFMpegException("Unknown target type");
  }
}

}  // namespace moskvid
