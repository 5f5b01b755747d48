#include "component/av_probe.h"

#include <algorithm>
#include <cstring>
#include <numeric>

#include "binding/media_loader.h"
#include "binding/my_utils.h"
#include "component/probe_log.h"
#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/source_tags.h"
#include "engine/stream_choice.h"

namespace moskvid {

namespace {

std::string Metadata(const AVDictionary* dictionary, const char* key, size_t limit) {
  const AVDictionaryEntry* entry = ff::av_dict_get(dictionary, key, nullptr, 0);
  return entry ? std::string(entry->value).substr(0, limit) : std::string();
}

std::string SecondsText(int64_t microseconds) {
  return Format("%d.%.6d", static_cast<int>(microseconds / AV_TIME_BASE),
                static_cast<int>(std::llabs(microseconds % AV_TIME_BASE)));
}

int64_t Microseconds(int64_t value, AVRational timeBase) {
  return value == AV_NOPTS_VALUE ? -1 : ff::av_rescale_q(value, timeBase, AV_TIME_BASE_Q);
}

// What audio and video records have alike.
template <typename Info>
void FillStreamInfo(const AVStream* s, Info& info) {
  const AVCodecParameters* p = s->codecpar;
  info.Language = Metadata(s->metadata, "language", 3);
  info.CodecName = std::string(ff::avcodec_get_name(p->codec_id)).substr(0, 31);
  info.StartTime = s->start_time == AV_NOPTS_VALUE ? -1 : s->start_time;
  info.StartTimeUs = Microseconds(s->start_time, s->time_base);
  info.Duration = s->duration == AV_NOPTS_VALUE ? -1 : s->duration;
  info.DurationUs = Microseconds(s->duration, s->time_base);
  info.BitRate =
      p->bit_rate > 0 ? static_cast<int32_t>(std::min<int64_t>(p->bit_rate, INT32_MAX)) : -1;
}

// True when the header names every stream's codec, every picture's size and
// every sound's rate and channels, and gives some length.
bool HeaderTellsEnough(const AVFormatContext* context) {
  if (context->nb_streams == 0) return false;
  bool length = context->duration != AV_NOPTS_VALUE && context->duration > 0;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* s = context->streams[i];
    const AVCodecParameters* p = s->codecpar;
    if (p->codec_id == AV_CODEC_ID_NONE) return false;
    if (p->codec_type == AVMEDIA_TYPE_VIDEO && (p->width <= 0 || p->height <= 0)) return false;
    if (p->codec_type == AVMEDIA_TYPE_AUDIO &&
        (p->sample_rate <= 0 || p->ch_layout.nb_channels <= 0)) {
      return false;
    }
    length = length || (s->duration != AV_NOPTS_VALUE && s->duration > 0);
  }
  return length;
}

// The length of the longest stream, in microseconds.
int64_t LongestStream(const AVFormatContext* context) {
  int64_t longest = AV_NOPTS_VALUE;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    const AVStream* s = context->streams[i];
    if (s->duration != AV_NOPTS_VALUE && s->duration > 0)
      longest = std::max(longest, Microseconds(s->duration, s->time_base));
  }
  return longest;
}

}  // namespace

std::string DurationText(int64_t microseconds) {
  const int64_t milliseconds = microseconds / 1000;
  return Format("%.2d:%.2d:%.2d.%.3d", static_cast<int>(milliseconds / 3600000),
                static_cast<int>(milliseconds / 60000 % 60),
                static_cast<int>(milliseconds / 1000 % 60), static_cast<int>(milliseconds % 1000));
}

double ShownPixelAspect(const TAVVideoStreamInfo& info) {
  if (info.SampleAspectNum <= 0 || info.SampleAspectDen <= 0) return 1.0;
  const double aspect = static_cast<double>(info.SampleAspectNum) / info.SampleAspectDen;
  return info.Rotation % 180 ? 1 / aspect : aspect;
}

TAVProbe::~TAVProbe() {
  Close();
}

std::string TAVProbe::LastError() const {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return lastError_;
}

void TAVProbe::CheckLibraries() const {
  if (!binding::CodecLibraryReady()) throw FFMpegException("LibAVCodec not loaded.");
  if (!binding::FormatLibraryReady()) throw FFMpegException("LibAVFormat not loaded.");
  if (!binding::UtilLibraryReady()) throw FFMpegException("LibAVUtil not loaded.");
  if (!binding::ScaleLibraryReady()) throw FFMpegException("LibSwScale not loaded.");
}

bool TAVProbe::Open(const std::string& fileName, const std::string& forcedFormat, bool headerOnly) {
  CheckLibraries();
  std::lock_guard<std::recursive_mutex> lock(lock_);
  CloseLocked();
  // The last picture stays after Close, but it is no picture of a new file.
  lastFrame_.SetSize(0, 0);
  const AVInputFormat* format = nullptr;
  if (!forcedFormat.empty()) {
    format = ff::av_find_input_format(forcedFormat.c_str());
    if (!format) {
      lastError_ = "Unknown input format: " + forcedFormat;
      return false;
    }
  }
  AVFormatContext* context = ff::avformat_alloc_context();
  if (!context) {
    lastError_ = ErrorTextForCode(fileName, AVERROR(ENOMEM), true);
    return false;
  }
  const int result = ff::avformat_open_input(&context, fileName.c_str(), format, nullptr);
  if (result < 0) {
    lastError_ =
        ErrorTextForCode(fileName, result, format || InputFormatRecognised(fileName, result));
    return false;
  }
  context_ = context;
  ownsContext_ = true;
  int found = 0;
  streamInfo_ = !headerOnly || !HeaderTellsEnough(context_);
  if (streamInfo_) {
    std::lock_guard<std::mutex> codecs(CodecLock());
    found = ff::avformat_find_stream_info(context_, nullptr);
  } else if (context_->duration == AV_NOPTS_VALUE) {
    context_->duration = LongestStream(context_);
  }
  if (found < 0) {
    lastError_ = fileName + ": could not find codec parameters";
    CloseLocked();
    return false;
  }
  if (context_->nb_streams == 0) {
    lastError_ = fileName + ": no streams found";
    CloseLocked();
    return false;
  }
  forcedFormat_ = forcedFormat;
  CountStreams();
  return true;
}

void TAVProbe::Attach(AVFormatContext* context) {
  CheckLibraries();
  std::lock_guard<std::recursive_mutex> lock(lock_);
  CloseLocked();
  lastFrame_.SetSize(0, 0);
  ownsContext_ = false;
  context_ = context;
  CountStreams();
}

InputContextPtr TAVProbe::TakeUnreadContext(bool& formatForced) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  formatForced = !forcedFormat_.empty();
  InputContextPtr taken;
  if (context_ && ownsContext_ && streamInfo_ && !touched_) {
    taken.reset(context_);
    context_ = nullptr;
  }
  CloseLocked();
  return taken;
}

void TAVProbe::Close() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  CloseLocked();
}

void TAVProbe::CloseLocked() {
  forcedFormat_.clear();
  stillImage_ = false;
  touched_ = false;
  streamInfo_ = false;
  frame_.SetSize(0, 0);
  if (converter_) ff::sws_freeContext(converter_);
  converter_ = nullptr;
  decoder_.reset();
  decoderStream_ = -1;
  if (context_ && ownsContext_) ff::avformat_close_input(&context_);
  context_ = nullptr;
  ownsContext_ = false;
  CountStreams();
}

void TAVProbe::CountStreams() {
  StreamCount = ProgramCount = AudioCount = VideoCount = SubtitleCount = -1;
  FirstAudio = FirstVideo = FirstSubtitle = CoverStream = -1;
  if (!context_) return;
  StreamCount = static_cast<int>(context_->nb_streams);
  ProgramCount = static_cast<int>(context_->nb_programs);
  AudioCount = VideoCount = SubtitleCount = 0;
  for (int i = 0; i < StreamCount; ++i) {
    switch (context_->streams[i]->codecpar->codec_type) {
      case AVMEDIA_TYPE_AUDIO:
        if (AudioCount++ == 0) FirstAudio = i;
        break;
      case AVMEDIA_TYPE_VIDEO:
        if (IsCoverPicture(context_->streams[i])) {
          if (CoverStream < 0) CoverStream = i;
        } else if (VideoCount++ == 0) {
          FirstVideo = i;
        }
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (SubtitleCount++ == 0) FirstSubtitle = i;
        break;
      default:
        break;
    }
  }
}

void TAVProbe::GetFormatInfo(TAVFormatInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  info = TAVFormatInfo{};
  if (!context_) {
    ProbeLog(AV_LOG_WARNING, "file not loaded.\n");
    return;
  }
  info.StartTime = context_->start_time == AV_NOPTS_VALUE ? -1 : context_->start_time;
  info.Duration = context_->duration == AV_NOPTS_VALUE ? -1 : context_->duration;
  info.BitRate = static_cast<int32_t>(std::min<int64_t>(context_->bit_rate, INT32_MAX));
  const AVDictionary* metadata = context_->metadata;
  const std::string creation = Metadata(metadata, "creation_time", 64);
  int64_t when = 0;
  if (!creation.empty() && ff::av_parse_time(&when, creation.c_str(), 0) >= 0) {
    info.TimeStamp = when / AV_TIME_BASE;
  }
  // Ogg keeps the tags with the sound track rather than the container.
  const DictionaryPtr tags = SourceTags(context_, ChooseAudioStream(context_, 0));
  info.Title = Metadata(tags.get(), "title", 511);
  info.Author = Metadata(tags.get(), "artist", 511);
  info.Copyright = Metadata(metadata, "copyright", 511);
  info.Comment = Metadata(tags.get(), "comment", 511);
  info.Album = Metadata(tags.get(), "album", 511);
  info.AlbumArtist = Metadata(tags.get(), "album_artist", 511);
  info.Composer = Metadata(tags.get(), "composer", 511);
  const std::string date = Metadata(tags.get(), "date", 32);
  if (!date.empty()) info.Year = std::atoi(date.c_str());
  const std::string track = Metadata(tags.get(), "track", 32);
  if (!track.empty()) info.Track = std::atoi(track.c_str());
  if (const size_t slash = track.find('/'); slash != std::string::npos) {
    info.TrackTotal = std::atoi(track.c_str() + slash + 1);
  }
  info.Disc = Metadata(tags.get(), "disc", 31);
  info.Genre = Metadata(tags.get(), "genre", 31);
}

void TAVProbe::GetAudioStreamInfo(int stream, TAVAudioStreamInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  info = TAVAudioStreamInfo{};
  if (!context_) {
    ProbeLog(AV_LOG_WARNING, "file not loaded.\n");
    return;
  }
  if (stream == -1) stream = FirstAudio;
  if (!IsAudioStream(stream)) return;
  const AVStream* s = context_->streams[stream];
  const AVCodecParameters* p = s->codecpar;
  FillStreamInfo(s, info);
  info.Channels = p->ch_layout.nb_channels;
  info.SampleRate = p->sample_rate;
  info.SampleFormat = p->format;
  info.Default = (s->disposition & AV_DISPOSITION_DEFAULT) != 0;
}

void TAVProbe::GetVideoStreamInfo(int stream, TAVVideoStreamInfo& info) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  info = TAVVideoStreamInfo{};
  if (!context_) {
    ProbeLog(AV_LOG_WARNING, "file not loaded.\n");
    return;
  }
  if (stream == -1) stream = FirstVideo;
  if (!IsVideoStream(stream)) return;
  const AVStream* s = context_->streams[stream];
  const AVCodecParameters* p = s->codecpar;
  FillStreamInfo(s, info);
  info.Width = p->width;
  info.Height = p->height;
  AVRational aspect = s->sample_aspect_ratio.num ? s->sample_aspect_ratio : p->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
  int num = 1, den = 1;
  ff::av_reduce(&num, &den, aspect.num, aspect.den, 1 << 30);
  info.SampleAspectNum = num;
  info.SampleAspectDen = den;
  info.Rotation = DisplayRotation(s);
  if (p->width > 0 && p->height > 0) {
    const double shown = av_q2d(aspect) * p->width / p->height;
    info.DisplayAspectRatio = static_cast<float>(info.Rotation % 180 ? 1 / shown : shown);
  }
  info.PixelFormat = p->format;
  info.FrameRateNum = s->r_frame_rate.num;
  info.FrameRateDen = s->r_frame_rate.den;
}

std::vector<TAVAudioTrack> TAVProbe::AudioTracks() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  std::vector<TAVAudioTrack> tracks;
  if (!context_) return tracks;
  for (unsigned i = 0; i < context_->nb_streams; ++i) {
    const AVStream* s = context_->streams[i];
    if (s->codecpar->codec_type != AVMEDIA_TYPE_AUDIO) continue;
    TAVAudioTrack track;
    track.Number = static_cast<int>(tracks.size()) + 1;
    track.Stream = static_cast<int>(i);
    track.Language = Trim(Metadata(s->metadata, "language", 3));
    track.CodecName = ff::avcodec_get_name(s->codecpar->codec_id);
    track.Channels = s->codecpar->ch_layout.nb_channels;
    track.Default = (s->disposition & AV_DISPOSITION_DEFAULT) != 0;
    tracks.push_back(track);
  }
  return tracks;
}

int TAVProbe::AudioTrackStream(int track) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return context_ ? ChooseAudioStream(context_, track) : -1;
}

bool TAVProbe::IsAudioStream(int stream) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return context_ && stream >= 0 && stream < StreamCount &&
         context_->streams[stream]->codecpar->codec_type == AVMEDIA_TYPE_AUDIO;
}

bool TAVProbe::IsVideoStream(int stream) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return context_ && stream >= 0 && stream < StreamCount &&
         context_->streams[stream]->codecpar->codec_type == AVMEDIA_TYPE_VIDEO;
}

std::string TAVProbe::FileName() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return context_ && context_->url ? context_->url : "";
}

std::string TAVProbe::FormatName() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  return context_ && context_->iformat ? context_->iformat->name : "";
}

int64_t TAVProbe::ProbeFileSize() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!context_) return -1;
  const int64_t size = context_->pb ? ff::avio_size(context_->pb) : -1;
  if (size > 0) return size;
  const int64_t onDisk = GetFileSize(FileName());
  return onDisk >= 0 ? onDisk : size;
}

std::string TAVProbe::StreamLine(unsigned index) {
  const AVStream* stream = context_->streams[index];
  std::string line = Format("Stream #%u", index);
  if (context_->iformat && (context_->iformat->flags & AVFMT_SHOW_IDS)) {
    line += Format("[0x%x]", stream->id);
  }
  const std::string language = Trim(Metadata(stream->metadata, "language", 3));
  if (!language.empty()) line += "(" + language + ")";
  const int divisor = std::gcd(stream->time_base.num, stream->time_base.den);
  line += Format(", %d/%d", stream->time_base.num / std::max(divisor, 1),
                 stream->time_base.den / std::max(divisor, 1));
  char description[256] = {};
  CodecContextPtr codec(ff::avcodec_alloc_context3(nullptr));
  if (codec && ff::avcodec_parameters_to_context(codec.get(), stream->codecpar) >= 0) {
    ff::avcodec_string(description, sizeof description, codec.get(), 0);
  }
  line += std::string(": ") + description;
  if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO) {
    if (stream->r_frame_rate.num && stream->r_frame_rate.den) {
      line += Format(", %5.2f tb(r)", av_q2d(stream->r_frame_rate));
    } else {
      line += Format(", %5.2f tb(c)", 1 / av_q2d(stream->time_base));
    }
  }
  if (stream->start_time != AV_NOPTS_VALUE) {
    line += ", StartTime: " + SecondsText(Microseconds(stream->start_time, stream->time_base));
  }
  line += stream->duration == AV_NOPTS_VALUE
              ? std::string(", Duration: N/A")
              : ", Duration: " + DurationText(Microseconds(stream->duration, stream->time_base));
  return line;
}

std::string TAVProbe::InfoText() {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!context_) {
    ProbeLog(AV_LOG_WARNING, "file not loaded.\n");
    return "";
  }
  std::vector<std::string> lines;
  lines.push_back("File Name: " + FileName());
  lines.push_back("Format Name: " + FormatName());
  lines.push_back(
      std::string("Format Long Name: ") +
      (context_->iformat && context_->iformat->long_name ? context_->iformat->long_name : ""));
  lines.push_back("File Size: " + FormatFileSize(ProbeFileSize()));
  TAVFormatInfo info;
  GetFormatInfo(info);
  if (info.StartTime != -1) lines.push_back("StartTime: " + SecondsText(info.StartTime));
  lines.push_back(info.Duration < 0 ? std::string("Duration: N/A")
                                    : "Duration: " + DurationText(info.Duration));
  lines.push_back(info.BitRate < 1 ? std::string("Bit Rate: N/A")
                                   : Format("Bit Rate: %d Kbps", info.BitRate / 1000));
  if (info.TimeStamp > 0) {
    lines.push_back("Time Stamp: " +
                    FormatDateTime("yyyy-mm-dd hh:nn:ss", UnixTimeToLocalDateTime(info.TimeStamp)));
  }
  const std::pair<const char*, const std::string*> texts[] = {
      {"Title", &info.Title},     {"Author", &info.Author}, {"Copyright", &info.Copyright},
      {"Comment", &info.Comment}, {"Album", &info.Album},   {"Genre", &info.Genre}};
  for (const auto& [label, value] : texts) {
    if (!value->empty()) lines.push_back(std::string(label) + ": " + *value);
  }
  if (info.Year > 0) lines.push_back(Format("Year: %d", info.Year));
  if (info.Track > 0) lines.push_back(Format("Track: #%d", info.Track));

  if (context_->nb_programs == 0) {
    for (unsigned i = 0; i < context_->nb_streams; ++i)
      lines.push_back(StreamLine(i));
  } else {
    for (unsigned p = 0; p < context_->nb_programs; ++p) {
      const AVProgram* program = context_->programs[p];
      lines.push_back(Format("Program %d %s@%s", program->id,
                             Metadata(program->metadata, "service_provider", 256).c_str(),
                             Metadata(program->metadata, "service_name", 256).c_str()));
      for (unsigned n = 0; n < program->nb_stream_indexes; ++n) {
        lines.push_back(StreamLine(program->stream_index[n]));
      }
    }
  }
  std::string text;
  for (size_t i = 0; i < lines.size(); ++i)
    text += (i ? "\r\n" : "") + lines[i];
  return text;
}

}  // namespace moskvid
