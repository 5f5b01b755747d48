// The validating setters behind the named options.
#include <climits>
#include <cmath>
#include <cstring>
#include <ctime>

#include "binding/frame_hook.h"
#include "binding/install_paths.h"
#include "binding/my_utils.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

const char* const kSideNames[4] = {"Top", "Bottom", "Left", "Right"};

}  // namespace

int64_t ParseTimeOption(const std::string& name, const std::string& value, bool duration) {
  int64_t microseconds = 0;
  if (ff::av_parse_time(&microseconds, value.c_str(), duration ? 1 : 0) < 0) {
    throw FFMpegException(Format("Invalid %s specification for %s: %s",
                                 duration ? "duration" : "date", name.c_str(), value.c_str()));
  }
  return microseconds;
}

void TCustomFFmpeg::SetFormatOption(const std::string& value) {
  std::string name = value;
  if (name == "pgmyuv") {
    Options.PgmyuvCompat = true;
    name = "image2";
    Log(0, "pgmyuv format is deprecated, use image2");
  }
  Options.ForcedInputFormat = ff::av_find_input_format(name.c_str());
  Options.ForcedOutputFormat = ff::av_guess_format(name.c_str(), nullptr, nullptr);
  if (!Options.ForcedInputFormat && !Options.ForcedOutputFormat) {
    throw FFMpegException("Unknown input or output format: " + name);
  }
}

void TCustomFFmpeg::SetStreamMap(const std::string& value) {
  if (Options.StreamMapList.size() >= static_cast<size_t>(kMaxStreamMaps)) {
    throw FFMpegException(Format("Too many stream maps (at most %d)", kMaxStreamMaps));
  }
  const char* cursor = value.c_str();
  long numbers[4] = {0, 0, 0, 0};
  auto fail = [&]() { throw FFMpegException("Invalid stream map: " + value); };
  if (!ReadCInteger(cursor, numbers[0]) || *cursor == '\0') fail();
  ++cursor;
  if (!ReadCInteger(cursor, numbers[1])) fail();
  if (*cursor) {
    ++cursor;
    if (!ReadCInteger(cursor, numbers[2]) || *cursor == '\0') fail();
    ++cursor;
    if (!ReadCInteger(cursor, numbers[3]) || *cursor != '\0') fail();
  } else {
    numbers[2] = numbers[0];
    numbers[3] = numbers[1];
  }
  Options.StreamMapList.push_back({static_cast<int>(numbers[0]), static_cast<int>(numbers[1]),
                                   static_cast<int>(numbers[2]), static_cast<int>(numbers[3])});
}

void TCustomFFmpeg::SetMetaDataMap(const std::string& value) {
  if (Options.MetaDataMaps.size() >= static_cast<size_t>(kMaxMetaDataMaps)) {
    throw FFMpegException(Format("Too many metadata maps (at most %d)", kMaxMetaDataMaps));
  }
  const char* cursor = value.c_str();
  long output = 0, input = 0;
  if (!ReadCInteger(cursor, output) || *cursor == '\0') {
    throw FFMpegException("Invalid metadata map: " + value);
  }
  ++cursor;
  if (!ReadCInteger(cursor, input) || *cursor != '\0') {
    throw FFMpegException("Invalid metadata map: " + value);
  }
  Options.MetaDataMaps.push_back({static_cast<int>(output), static_cast<int>(input)});
}

void TCustomFFmpeg::SetDuration(const std::string& value) {
  const int64_t milliseconds = ParseTimeOption("t", value, true) / 1000;
  if (milliseconds > 0) {
    TotalDuration = static_cast<int32_t>(std::min<int64_t>(milliseconds, INT_MAX));
    Options.RecordingTime = milliseconds * 1000;
  }
}

void TCustomFFmpeg::SetTsScale(const std::string& value) {
  const char* cursor = value.c_str();
  long index = 0;
  if (!ReadCInteger(cursor, index) || *cursor == '\0') {
    throw FFMpegException("Invalid itsscale specification: " + value);
  }
  if (index < 0 || index >= kMaxStreams) {
    throw FFMpegException(Format("stream index over MAX_STREAMS(%d)", kMaxStreams));
  }
  ++cursor;
  char* end = nullptr;
  const double scale = std::strtod(cursor, &end);
  if (end == cursor || *end != '\0' || !std::isfinite(scale)) {
    throw FFMpegException("Invalid itsscale specification: " + value);
  }
  Options.PendingTsScale[index] = scale;
}

void TCustomFFmpeg::SetFrameRate(const std::string& value) {
  AVRational rate{0, 0};
  if (ff::av_parse_video_rate(&rate, value.c_str()) < 0) {
    throw FFMpegException("Incorrect frame rate");
  }
  // "29.97" and its kind mean the NTSC rates exactly.
  for (AVRational ntsc : {AVRational{15000, 1001}, AVRational{24000, 1001}, AVRational{30000, 1001},
                          AVRational{60000, 1001}}) {
    if (rate.den != ntsc.den && std::fabs(av_q2d(rate) / av_q2d(ntsc) - 1) < 1e-4) rate = ntsc;
  }
  Options.FrameRateValue = rate;
  Options.FrameRateChosen = true;
}

void TCustomFFmpeg::SetFrameSize(const std::string& value) {
  int width = 0, height = 0;
  if (ff::av_parse_video_size(&width, &height, value.c_str()) < 0) {
    throw FFMpegException("Incorrect frame size");
  }
  if (width % 2 != 0 || height % 2 != 0) {
    throw FFMpegException("Frame size must be a multiple of 2");
  }
  Options.PictureWidth = width;
  Options.PictureHeight = height;
}

void TCustomFFmpeg::SetAspect(const std::string& value) {
  double ratio = 0;
  if (size_t colon = value.find(':'); colon != std::string::npos) {
    const double x = std::strtol(value.c_str(), nullptr, 10);
    const double y = std::strtol(value.c_str() + colon + 1, nullptr, 10);
    if (y > 0) ratio = x / y;
  } else {
    char* end = nullptr;
    ratio = std::strtod(value.c_str(), &end);
    if (end == value.c_str() || !std::isfinite(ratio)) ratio = 0;
  }
  if (ratio == 0) throw FFMpegException("Incorrect aspect ratio specification.");
  Options.FrameAspectRatio = static_cast<float>(ratio);
}

void TCustomFFmpeg::SetPixelFormat(const std::string& value) {
  if (value == "list") {
    ListFormats(true);
    return;
  }
  const AVPixelFormat format = ff::av_get_pix_fmt(value.c_str());
  if (format == AV_PIX_FMT_NONE) throw FFMpegException("Unknown pixel format requested: " + value);
  Options.FramePixFmt = format;
}

void TCustomFFmpeg::SetSampleFormat(const std::string& value) {
  if (value == "list") {
    ListFormats(false);
    return;
  }
  const AVSampleFormat format = ff::av_get_sample_fmt(value.c_str());
  if (format == AV_SAMPLE_FMT_NONE) {
    throw FFMpegException("Unknown sample format requested: " + value);
  }
  Options.AudioSampleFmt = format;
}

void TCustomFFmpeg::ListFormats(bool pixel) {
  char line[512];
  if (pixel) {
    for (int format = -1; format < 0 || ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
         ++format) {
      ff::av_get_pix_fmt_string(line, sizeof line, static_cast<AVPixelFormat>(format));
      Log(1, Trim(line));
    }
  } else {
    for (int format = -1; format < AV_SAMPLE_FMT_NB; ++format) {
      ff::av_get_sample_fmt_string(line, sizeof line, static_cast<AVSampleFormat>(format));
      Log(1, Trim(line));
    }
  }
}

void TCustomFFmpeg::SetCrop(int side, const std::string& value) {
  static const char* const names[4] = {"croptop", "cropbottom", "cropleft", "cropright"};
  SetCropValue(side, ParseIntOption(names[side], value));
}

void TCustomFFmpeg::SetCropValue(int side, int value) {
  // Nothing to cut is never out of range, also for a source without a picture.
  if (value <= 0) return;
  if (value % 2 != 0) {
    throw FFMpegException(Format("%s crop size must be a multiple of 2", kSideNames[side]));
  }
  const bool vertical = side < 2;
  int& extent = vertical ? Options.PictureHeight : Options.PictureWidth;
  if (value >= extent) {
    throw FFMpegException(
        vertical ? "Vertical crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second."
                 : "Horizontal crop dimensions are outside the range of the original image.\n"
                   "Remember to crop first and scale second.");
  }
  int* sides[4] = {&Options.CropTop, &Options.CropBottom, &Options.CropLeft, &Options.CropRight};
  *sides[side] = value;
  extent -= value;
}

void TCustomFFmpeg::SetPad(int side, const std::string& value) {
  static const char* const names[4] = {"padtop", "padbottom", "padleft", "padright"};
  SetPadValue(side, ParseIntOption(names[side], value));
}

void TCustomFFmpeg::SetPadValue(int side, int value) {
  if (value < 0) return;
  if (value % 2 != 0) {
    throw FFMpegException(Format("%s pad size must be a multiple of 2", kSideNames[side]));
  }
  int* sides[4] = {&Options.PadTop, &Options.PadBottom, &Options.PadLeft, &Options.PadRight};
  *sides[side] = value;
}

void TCustomFFmpeg::SetPadColor(uint32_t color) {
  const int r = static_cast<int>(color & 0xff);
  const int g = static_cast<int>((color >> 8) & 0xff);
  const int b = static_cast<int>((color >> 16) & 0xff);
  // Video range (BT.601): black is luma 16 and white 235, as players expect
  // of the YUV outputs; full-range outputs widen it when they pad.
  Options.PadColorY = 16 + ((263 * r + 516 * g + 100 * b + 512) >> 10);
  Options.PadColorU = 128 + ((-152 * r - 298 * g + 450 * b + 512) >> 10);
  Options.PadColorV = 128 + ((450 * r - 377 * g - 73 * b + 512) >> 10);
}

void TCustomFFmpeg::SetQscale(const std::string& value) {
  const double q = ParseDoubleOption("qscale", value);
  if (!(q > 0 && q <= 255)) throw FFMpegException("qscale must be > 0.0 and <= 255");
  Options.VideoQscale = static_cast<float>(q);
}

void TCustomFFmpeg::SetCodecName(int kind, const std::string& value) {
  std::string* name = kind == kVideoKind   ? &Options.VideoCodecName
                      : kind == kAudioKind ? &Options.AudioCodecName
                                           : &Options.SubtitleCodecName;
  bool* copy = kind == kVideoKind   ? &Options.VideoStreamCopy
               : kind == kAudioKind ? &Options.AudioStreamCopy
                                    : &Options.SubtitleStreamCopy;
  name->clear();
  if (value == "copy") {
    *copy = true;
  } else {
    *name = value;
  }
}

void TCustomFFmpeg::SetCodecTag(bool video, const std::string& value) {
  if (value.size() != 4) {
    throw FFMpegException(video ? "video tag parameter must be 4 chars"
                                : "audio tag parameter must be 4 chars");
  }
  const auto* c = reinterpret_cast<const unsigned char*>(value.data());
  const uint32_t tag = c[0] | (c[1] << 8) | (c[2] << 16) | (static_cast<uint32_t>(c[3]) << 24);
  (video ? Options.VideoCodecTag : Options.AudioCodecTag) = tag;
}

void TCustomFFmpeg::SetMatrix(bool intra, const std::string& value) {
  QuantMatrix matrix{};
  const char* cursor = value.c_str();
  for (int i = 0; i < 64; ++i) {
    char* end = nullptr;
    const long coefficient = std::strtol(cursor, &end, 10);
    const bool lastOk = i == 63 ? (*end == '\0' || *end == ',') : *end == ',';
    if (end == cursor || coefficient < 0 || coefficient > 65535 || !lastOk) {
      throw FFMpegException(Format("Syntax error in matrix \"%s\" at coeff %d", value.c_str(), i));
    }
    matrix[i] = static_cast<uint16_t>(coefficient);
    cursor = *end ? end + 1 : end;
  }
  (intra ? Options.intra_matrix : Options.inter_matrix) = matrix;
}

void TCustomFFmpeg::SetPass(const std::string& value) {
  const int pass = ParseIntOption("pass", value);
  if (pass != 1 && pass != 2) throw FFMpegException("pass number can be only 1 or 2");
  Options.DoPass = pass;
}

void TCustomFFmpeg::SetBitstreamFilter(char kind, const std::string& value) {
  if (value.empty() || value[0] == '=') return;
  const std::string name = value.substr(0, value.find('='));
  if (!ff::av_bsf_get_by_name(name.c_str())) {
    throw FFMpegException("Unknown bitstream filter " + Trim(value));
  }
  const int chain = kind == 'v' ? 0 : (kind == 'a' ? 1 : 2);
  Options.PendingBitstreamFilters[chain].push_back({name, value});
}

void TCustomFFmpeg::SetBitRate(const std::string& name, const std::string& value) {
  if (!SetGenericOption(name, value) || !LogHandler) return;
  AVCodecContext* context = CodecOpts[name[0] == 'a' ? kAudioKind : kVideoKind].get();
  int64_t bitRate = 0;
  if (context && ff::av_opt_get_int(context, "b", 0, &bitRate) >= 0 && bitRate < 1000) {
    Log(0,
        "WARNING: The bitrate parameter is set too low. It takes bits/s as argument, not "
        "kbits/s");
  }
}

void TCustomFFmpeg::SetVstats() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[16];
  std::strftime(stamp, sizeof stamp, "%H%M%S", &local);
  // An installed program's folder belongs to the system: the statistics go
  // to the current folder instead.
  const std::string folder = RunningInstalled() ? std::string("./") : ExecutableFolder();
  Options.VstatsFilename = Format("%svstats_%s.log", folder.c_str(), stamp);
}

void TCustomFFmpeg::SetVhook(const std::string& value) {
  if (AddFrameHook(FrameHooks, FrameHookArguments(value)) != kHookOk) {
    throw FFMpegException("Failed to add video hook function: " + value);
  }
  Options.UsingVhook = true;
}

void TCustomFFmpeg::SetTargetOption(const std::string& value) {
  for (const char* norm : {"pal", "ntsc", "film"}) {
    const std::string prefix = std::string(norm) + "-";
    if (value.compare(0, prefix.size(), prefix) == 0) {
      SetTarget(value.substr(prefix.size()), norm, "ntsc");
      return;
    }
  }
  SetTarget(value, "auto", "ntsc");
}

void TCustomFFmpeg::NewStreamOption(int kind) {
  if (OutputFiles.empty()) throw FFMpegException("At least one output file must be specified");
  OutputFile& output = OutputFiles.back();
  if (kind == kVideoKind) {
    NewVideoStream(output);
  } else if (kind == kAudioKind) {
    NewAudioStream(output);
  } else {
    NewSubtitleStream(output);
  }
}

}  // namespace moskvid
