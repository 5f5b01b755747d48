#include "app/settings/job_builder.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "app/settings/output_formats.h"
#include "engine/option_parsing.h"
#include "engine/output_names.h"

namespace moskvid {

namespace {

int Even(double value) {
  return 2 * static_cast<int>(std::trunc(value / 2));
}

std::string SizeText(int width, int height) {
  return Format("%dx%d", width, height);
}
std::string AspectText(int width, int height) {
  return Format("%d:%d", width, height);
}

int Unset0(int value) {
  return value < 0 ? 0 : value;
}

// Fit by height: the picture keeps the full width, bars above and below.
void FitByHeight(double ratio, int Hs, int Wo, int Ho, int ct, int cb, int cl, int cr,
                 TOutputOptions& out) {
  const int picture = 2 * (static_cast<int>(std::trunc(Hs / ratio)) / 2);
  const int slack = Ho - picture;
  out.PaddingTop = out.PaddingBottom = 2 * (slack / 4);
  const int height = 2 * ((picture + slack - out.PaddingTop - out.PaddingBottom) / 2);
  out.FrameSize = SizeText(Wo + cl + cr, ct + height + cb);
  out.AspectRatio = AspectText(Wo, Ho);
}

// Fit by width: the picture keeps the full height, bars left and right.
void FitByWidth(double ratio, int Ws, int Wo, int Ho, int ct, int cb, int cl, int cr,
                TOutputOptions& out) {
  const int picture = 2 * (static_cast<int>(std::trunc(Ws / ratio)) / 2);
  const int slack = Wo - picture;
  out.PaddingLeft = out.PaddingRight = 2 * (slack / 4);
  const int width = 2 * ((picture + slack - out.PaddingLeft - out.PaddingRight) / 2);
  out.FrameSize = SizeText(cl + width + cr, Ho + ct + cb);
  out.AspectRatio = AspectText(Wo, Ho);
}

void FitBothWays(int Ws, int Hs, int Wo, int Ho, int ct, int cb, int cl, int cr,
                 TOutputOptions& out) {
  const double rw = static_cast<double>(Ws) / Wo;
  const double rh = static_cast<double>(Hs) / Ho;
  if (rw > rh) {
    FitByHeight(rw, Hs, Wo, Ho, ct, cb, cl, cr, out);
  } else if (rw < rh) {
    FitByWidth(rh, Ws, Wo, Ho, ct, cb, cl, cr, out);
  } else {
    out.FrameSize = SizeText(Wo, Ho);
    out.AspectRatio = AspectText(Wo, Ho);
  }
}

// Stretch the cropped picture over the whole target.
void FillStretched(int Wo, int Ho, int ct, int cb, int cl, int cr, TOutputOptions& out) {
  out.FrameSize = SizeText(Wo + cl + cr, Ho + ct + cb);
  out.AspectRatio = AspectText(Wo, Ho);
}

// Pan and scan: fill the target keeping the shape, cutting what overflows
// equally on both sides. `aspect` is the shape of a stored pixel.
void FillCentered(int Ws, int Hs, double aspect, int Wo, int Ho, TOutputOptions& out) {
  int ct = out.CropTop, cb = out.CropBottom, cl = out.CropLeft, cr = out.CropRight;
  const int width = Ws - cl - cr;
  const int height = Hs - ct - cb;
  if (width <= 0 || height <= 0) return;
  const double target = static_cast<double>(Wo) / Ho;
  if (width * aspect / height > target) {
    const int extra = width - Even(height * target / aspect);
    cl += Even(extra / 2.0);
    cr += Even(extra - Even(extra / 2.0));
  } else {
    const int extra = height - Even(width * aspect / target);
    ct += Even(extra / 2.0);
    cb += Even(extra - Even(extra / 2.0));
  }
  out.CropTop = ct;
  out.CropBottom = cb;
  out.CropLeft = cl;
  out.CropRight = cr;
  FillStretched(Wo, Ho, ct, cb, cl, cr, out);
}

// The output frame for a fitted picture of `size` ("WxH") whose source is
// cut by the crops: the engine takes the crops off the frame size.
void AddCropsToFrameSize(int ct, int cb, int cl, int cr, TOutputOptions& out) {
  int width = 0, height = 0;
  if (std::sscanf(out.FrameSize.c_str(), "%dx%d", &width, &height) != 2) return;
  out.FrameSize = SizeText(width + cl + cr, height + ct + cb);
}

std::string H264ProfileNumber(const std::string& name) {
  const std::string profile = LowerCase(Trim(name));
  if (profile == "baseline") return "66";
  if (profile == "high") return "100";
  return "77";  // main
}

void AddLine(std::string& text, const std::string& line) {
  if (!text.empty() && text.back() != '\n') text += "\n";
  text += line;
}

// Steps common to audio-only and video jobs: the audio settings.
void ApplyAudio(const TJobSettings& settings, TOutputOptions& out) {
  out.AudioCodec = settings.Value("paraAudioEncoder", "libfaac");
  const std::string channels = settings.Value("paraChannel", "2");
  if (channels != "as source") out.AudioChannels = settings.IntegerValue("paraChannel", "2");
  const std::string rate = settings.Value("paraSampleRate", "44100");
  if (rate != "as source") out.SampleRate = settings.IntegerValue("paraSampleRate", "44100");
  const std::string bitRate = settings.Value("paraAudioBitRate", "128");
  const std::string trimmed = Trim(bitRate);
  if (bitRate != "as source" && !trimmed.empty()) {
    // `end` points into the text, which must outlive it.
    char* end = nullptr;
    const double value = std::strtod(trimmed.c_str(), &end) * 1000;
    if (*end != '\0')
      throw TConversionError("'" + bitRate + "' is not a valid floating point value");
    if (value > 0) out.AudioBitsPerSecond = static_cast<int>(std::trunc(value));
  }
  const std::string volume = settings.Value("paraVolume", "3");
  if (volume != "256") out.Volume = settings.IntegerValue("paraVolume", "3");
}

// The size the encoder gets: the frame size with the crops taken off and
// the pads added, or `fallbackWidth` x `fallbackHeight` when that is larger
// (a larger picture never allows more reference pictures).
void EncodedSize(const TOutputOptions& out, int fallbackWidth, int fallbackHeight, int& width,
                 int& height) {
  width = fallbackWidth;
  height = fallbackHeight;
  int w = 0, h = 0;
  if (std::sscanf(out.FrameSize.c_str(), "%dx%d", &w, &h) != 2) return;
  w += Unset0(out.PaddingLeft) + Unset0(out.PaddingRight) - Unset0(out.CropLeft) -
       Unset0(out.CropRight);
  h += Unset0(out.PaddingTop) + Unset0(out.PaddingBottom) - Unset0(out.CropTop) -
       Unset0(out.CropBottom);
  width = std::max(width, w);
  height = std::max(height, h);
}

// The video buffer the device's decoder has: the stored rate ceiling and
// buffer (kbit/s, kbit), never below the average rate. Both also keep the
// encoder's rate control near its average over a few seconds.
void AddRateLimits(const TJobSettings& settings, int bitsPerSecond, std::string& options) {
  const int64_t maxRate = int64_t{settings.IntegerValue("paraMaxBitrate", "1500")} * 1000;
  if (maxRate > 0)
    AddLine(options, "vmaxrate=" + std::to_string(std::max(maxRate, int64_t{bitsPerSecond})));
  const int64_t buffer = int64_t{settings.IntegerValue("paraBufferSize", "128")} * 1000;
  if (buffer > 0) AddLine(options, "vbufsize=" + std::to_string(buffer));
}

constexpr int kMpeg4KeyDistance = 15;

// MPEG-4 part 2 as every player of the formats decodes it: Simple Profile
// (no B-pictures, quarter-pel or global motion). The library's rate control
// tolerates 4 Mbit of drift by default, more than the whole of a short clip
// at these rates: one second's worth holds the size to its rate.
void TuneMpeg4(const TJobSettings& settings, TQuality quality, TOutputOptions& out,
               std::string& options) {
  // A key picture every half second, within the device's "paraGop": this
  // encoder's pictures lose detail along a long chain of predictions, and
  // 250 cost busy pictures up to 0.6 dB SSIM at the same size.
  const int deviceGop = settings.IntegerValue("paraGop", "250");
  out.Gop = deviceGop > 0 ? std::min(deviceGop, kMpeg4KeyDistance) : kMpeg4KeyDistance;
  AddLine(options, "bf=0");
  // The encoder writes no global motion; quarter-pel it is told to leave out.
  std::string flags = "vflags=-qpel";
  if (out.VideoBitsPerSecond > 0) {
    AddRateLimits(settings, out.VideoBitsPerSecond, options);
    AddLine(options, "vbt=" + std::to_string(out.VideoBitsPerSecond));
  }
  if (quality != qlFast) {
    // Rate-distortion macroblock decisions, four vectors a macroblock and AC
    // prediction: Simple Profile tools that cost a few percent of a job.
    AddLine(options, "mbd=rd");
    flags += "+mv4+aic";
  }
  if (quality == qlBest) {
    // Trellis quantisation and motion search by the transformed difference:
    // twice the encoding time again, a sharper picture at the same size.
    AddLine(options, "vtrellis=1");
    AddLine(options, "cmp=satd");
    AddLine(options, "subcmp=satd");
    AddLine(options, "last_pred=2");
  }
  AddLine(options, flags);
}

// H.264 within the device's level: x264's own default speed for "fast",
// the same with the level's reference limit for "balanced", a slower
// preset for "best". Presets choose up to 8 reference pictures, which a
// level's decoded-picture buffer may not hold at the format's size, so the
// count is always set.
void TuneH264(const TJobSettings& settings, TQuality quality, int width, int height,
              TOutputOptions& out, std::string& options) {
  out.Gop = settings.IntegerValue("paraGop", "250");
  if (LowerCase(settings.Value("paraBitExact", "True")) == "true")
    AddLine(options, "vflags=+bitexact");
  const int level = settings.IntegerValue("paraLevel", "13");
  if (level > 0) AddLine(options, "vlevel=" + std::to_string(level));
  AddRateLimits(settings, 0, options);
  const int coder = settings.IntegerValue("paraCoder", "0");
  if (coder >= 0) AddLine(options, "coder=" + std::to_string(coder));
  AddLine(options, "vprofile=" + H264ProfileNumber(settings.ProfileValue("paraProfile", "main")));
  // "paraQscale" is read (a bad value is still an error) but not handed on:
  // a quantiser ceiling would override the buffer limits the device needs.
  settings.IntegerValue("paraQscale", "25");
  const int presetRefs = quality == qlBest ? 5 : 3;  // x264's "slow" and "medium"
  if (quality == qlBest) AddLine(options, "preset=slow");
  AddLine(options,
          "refs=" + std::to_string(std::min(presetRefs, MaxReferenceFrames(level, width, height))));
}

}  // namespace

int MaxReferenceFrames(int level, int width, int height) {
  // Decoded-picture buffer of each level, in macroblocks.
  static const struct {
    int level, macroblocks;
  } kBuffers[] = {{10, 396},   {11, 900},    {12, 2376},   {13, 2376},  {20, 2376},  {21, 4752},
                  {22, 8100},  {30, 8100},   {31, 18000},  {32, 20480}, {40, 32768}, {41, 32768},
                  {42, 34816}, {50, 110400}, {51, 184320}, {52, 184320}};
  const int pictures = ((width + 15) / 16) * ((height + 15) / 16);
  for (const auto& entry : kBuffers) {
    if (entry.level == level && pictures > 0)
      return std::clamp(entry.macroblocks / pictures, 1, 16);
  }
  return 16;
}

void FitToFrame(int Ws, int Hs, int Wo, int Ho, int ct, int cb, int cl, int cr,
                TOutputOptions& out) {
  if (Wo <= 0 || Ho <= 0 || Ws <= 0 || Hs <= 0) return;  // nothing to fit: the size stays
  if (Wo <= Ws && Ho >= Hs)
    FitByHeight(static_cast<double>(Ws) / Wo, Hs, Wo, Ho, ct, cb, cl, cr, out);
  if (Wo >= Ws && Ho <= Hs)
    FitByWidth(static_cast<double>(Hs) / Ho, Ws, Wo, Ho, ct, cb, cl, cr, out);
  if (Wo >= Ws && Ho >= Hs) FitBothWays(Ws, Hs, Wo, Ho, ct, cb, cl, cr, out);
  if (Wo <= Ws && Ho <= Hs) FitBothWays(Ws, Hs, Wo, Ho, ct, cb, cl, cr, out);
  if (Wo == Ws && Ho == Hs) {
    out.FrameSize = SizeText(Ws, Hs);
    out.AspectRatio = AspectText(Ws, Hs);
    int left = Unset0(out.PaddingLeft), right = Unset0(out.PaddingRight);
    int top = Unset0(out.PaddingTop), bottom = Unset0(out.PaddingBottom);
    if (cl > 0) left = 2 * ((left + cl) / 2);
    if (cr > 0) right = 2 * ((right + cr) / 2);
    if (ct > 0) top = 2 * ((top + ct) / 2);
    if (cb > 0) bottom = 2 * ((bottom + cb) / 2);
    out.PaddingLeft = out.PaddingRight = 2 * ((left + right) / 4);
    out.PaddingTop = out.PaddingBottom = 2 * ((top + bottom) / 4);
  }
}

void ApplyTrimAndCrop(const TlvFilesRecord& record, TInputOptions& input, TOutputOptions& output) {
  if (record.TrimStart >= 0) input.StartTime = record.TrimStart;
  if (record.CropTop > 0 || record.CropBottom > 0 || record.CropLeft > 0 || record.CropRight > 0) {
    output.CropTop = record.CropTop;
    output.CropBottom = record.CropBottom;
    output.CropLeft = record.CropLeft;
    output.CropRight = record.CropRight;
  }
  if (record.TrimLength > 0) output.Duration = record.TrimLength;
}

TJobChoices BuildConversionJob(const TlvFilesRecord& record, int format, TOutputOptions& out,
                               TAVProbe& probe, TInputOptions& input, const TGlobalObject& global,
                               std::optional<TQuality> quality) {
  const TJobSettings settings(global.ConfigFile(), global.ProfileFile(), format);
  TJobChoices choices;
  choices.Quality = quality.value_or(QualityOf(settings));
  const std::string encoder = settings.Value("paraVideoEncoder", "");

  // The sound track the entry chose.
  const auto chooseTrack = [&] {
    if (record.AudioTrack > 0)
      AddLine(input.ExtOptions, "atrack=" + std::to_string(record.AudioTrack));
  };
  if (Trim(encoder).empty()) {
    ApplyAudio(settings, out);
    input.ExtOptions = "vn=1";
    chooseTrack();
    return choices;
  }

  // Step 4: the video codec.
  if (IsEngineVideoCodec(encoder)) out.VideoCodec = encoder;
  std::string options = out.ExtOptions;
  // Portable players decode 4:2:0 pictures only.
  AddLine(options, "pix_fmt=yuv420p");

  out.ExtOptions = options;

  // Step 6: bit rate.
  const std::string bitRate = settings.Value("paraVideoBitRate", "512");
  if (bitRate == "as source") {
    TAVVideoStreamInfo info;
    probe.GetVideoStreamInfo(probe.FirstVideo, info);
    if (info.BitRate > 0) out.VideoBitsPerSecond = info.BitRate;
  } else {
    out.VideoBitsPerSecond = settings.IntegerValue("paraVideoBitRate", "512") * 1000;
  }

  // Step 7: frame rate.
  const std::string rate = settings.Value("paraFrameRate", "29.97");
  if (rate != "as source") out.FrameRate = rate;

  // Step 8: container.
  const std::string container = settings.ProfileValue("Format", "null");
  static const char* const kContainers[] = {"ipod", "3gp", "3g2", "avi",
                                            "psp",  "mov", "vcd", "flv"};
  for (const char* known : kContainers) {
    if (LowerCase(container) == known) out.Format = container;
  }
  // The PSP writer wants one picture and one sound stream; a source without
  // either goes into a plain MP4 file.
  if (LowerCase(out.Format) == "psp" && (probe.VideoCount <= 0 || probe.AudioCount <= 0)) {
    out.Format.clear();
  }
  // The MPEG-4 tag "DIVX" only where the container takes it.
  const std::string extension = LowerCase(std::filesystem::path(out.FileName).extension().string());
  const bool avi = out.Format.empty() ? extension == ".avi" : LowerCase(out.Format) == "avi";
  if (encoder == "mpeg4" && avi) out.VideoTag = "DIVX";

  // Steps 9 and 10: sizes, of the picture as a player shows it: turned as
  // the file says, its stored pixels of the shape the file gives them. A
  // picture the probe decoded gives the source size (it comes upright);
  // without one the stream's header does, so that nothing has to be decoded
  // for the job alone.
  TAVVideoStreamInfo info;
  if (probe.VideoCount > 0) probe.GetVideoStreamInfo(probe.FirstVideo, info);
  const bool turned = info.Rotation % 180 != 0;
  const double aspect = ShownPixelAspect(info);
  int Ws = probe.LastFrame().Width();
  int Hs = probe.LastFrame().Height();
  if (probe.LastFrame().Empty() && info.Width > 0 && info.Height > 0) {
    Ws = turned ? info.Height : info.Width;
    Hs = turned ? info.Width : info.Height;
  }
  const std::string size = settings.Value("paraVideoSize", "null");
  int Wo = 0, Ho = 0;
  if (size == "as source") {
    Wo = static_cast<int>(std::lround(Ws * aspect));
    Ho = Hs;
  } else if (const size_t x = size.find('x'); x != std::string::npos && x > 0) {
    Wo = std::atoi(size.substr(0, x).c_str());
    Ho = std::atoi(size.substr(x + 1).c_str());
  }
  if (LowerCase(out.VideoCodec) == "h263") {
    const std::string sizes = ",704x576,352x288,176x144,160x120,128x96,";
    if (sizes.find("," + size + ",") == std::string::npos) {
      if (Wo > 176 && Wo <= 352) {
        Wo = 352;
        Ho = 288;
      } else if (Wo > 352) {
        Wo = 704;
        Ho = 576;
      }
    }
  }

  // Step 11: crops.
  if (out.CropTop == -1) out.CropTop = 0;
  if (out.CropBottom == -1) out.CropBottom = 0;
  if (out.CropLeft == -1) out.CropLeft = 0;
  if (out.CropRight == -1) out.CropRight = 0;
  const int ct = out.CropTop, cb = out.CropBottom, cl = out.CropLeft, cr = out.CropRight;

  // Step 12: zoom, on what is left of the picture after the crop, in its
  // shown proportions; the output has square pixels. Every mode keeps even
  // sizes.
  Wo &= ~1;
  Ho &= ~1;
  const int croppedWidth = Ws - cl - cr, croppedHeight = Hs - ct - cb;
  const int shownWidth = static_cast<int>(std::lround(croppedWidth * aspect));
  const bool picture = croppedWidth > 0 && croppedHeight > 0;
  const bool fits = Wo > 0 && Ho > 0 && picture;
  if (record.ZoomMode == "ylbox") {
    if (ct > 0) Hs -= ct;
    if (cb > 0) Hs -= cb;
    if (cl > 0) Ws -= cl;
    if (cr > 0) Ws -= cr;
  } else if (record.ZoomMode == "lbox" && fits) {
    FitToFrame(shownWidth, croppedHeight, Wo, Ho, 0, 0, 0, 0, out);
    AddCropsToFrameSize(ct, cb, cl, cr, out);
  } else if (record.ZoomMode == "full" && fits) {
    FillStretched(Wo, Ho, ct, cb, cl, cr, out);
  } else if (record.ZoomMode == "cent" && fits) {
    FillCentered(Ws, Hs, aspect, Wo, Ho, out);
  } else if (picture && (aspect != 1.0 || ct + cb + cl + cr > 0)) {
    // The cropped size kept, in square pixels: stretched to its shown width.
    const int width = std::max(2, Even(shownWidth + 1));
    out.FrameSize = SizeText(width + cl + cr, croppedHeight + ct + cb);
    out.AspectRatio = AspectText(width, croppedHeight);
  }

  // The deinterlacing this format's settings allow.
  chooseTrack();
  if (LowerCase(settings.Value("paraDeinterlace", "True")) == "false")
    AddLine(out.ExtOptions, "autodeinterlace=0");

  // Step 5, once the rate and the size are known: the encoder's settings,
  // as option lines the engine applies. The "v" in front keeps a setting to
  // the video encoder (the audio encoder has a rate, a profile and a level
  // of its own).
  int width = 0, height = 0;
  EncodedSize(out, Wo > 0 ? Wo : Ws, Ho > 0 ? Ho : Hs, width, height);
  if (encoder == "libx264") TuneH264(settings, choices.Quality, width, height, out, out.ExtOptions);
  if (encoder == "mpeg4") TuneMpeg4(settings, choices.Quality, out, out.ExtOptions);

  // "Best" spends a first pass on the picture's statistics, when there is a
  // picture to encode at a set rate.
  if (choices.Quality == qlBest && probe.VideoCount > 0 && out.VideoBitsPerSecond > 0) {
    out.Passes = 2;
  }

  // Steps 13 and 14. Black borders: the engine writes black as video black.
  ApplyAudio(settings, out);
  out.PaddingColor = 0;
  return choices;
}

std::string UniqueOutputName(const std::string& source, const std::string& suffix,
                             const std::string& folder, const std::set<std::string>& reserved) {
  const std::filesystem::path path(source);
  std::string base = folder.empty() ? path.parent_path().string() : folder;
  if (!base.empty() && base.back() != '/') base += '/';
  base += path.stem().string();
  auto taken = [&reserved](const std::string& name) {
    return reserved.count(name) > 0 || OutputNameTaken(name);
  };
  const std::string first = base + "_(new)" + suffix;
  std::string candidate = first;
  for (int n = 1; taken(candidate); ++n)
    candidate = NumberedFileName(first, n);
  return candidate;
}

std::string MakeOutputFileName(const std::string& source, const std::string& suffix,
                               const TGlobalObject& global, TWarningSink& warnings,
                               const std::string& folder, const std::set<std::string>& reserved) {
  TAppSettings settings(global.ConfigFile());
  if (folder.empty() && settings.OutputBesideSource())
    return UniqueOutputName(source, suffix, "", reserved);
  const std::string wanted = folder.empty() ? settings.OutputFolder() : folder;
  return UniqueOutputName(source, suffix,
                          EnsureFolder(wanted, "OutPutDir", settings.Ini(), warnings), reserved);
}

}  // namespace moskvid
