// Adding video, audio and subtitle streams to an output from the option state.
#include <climits>
#include <cmath>
#include <cstdlib>

#include "binding/rational_utils.h"
#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

AVRational NearestFrameRate(const AVRational* supported, AVRational fps) {
  AVRational best = fps;
  AVRational bestError{2147483647, 1};
  for (const AVRational* rate = supported; rate->num || rate->den; ++rate) {
    AVRational error = SubtractRational(*rate, fps);
    if (error.num < 0) error.num = -error.num;
    if (CompareRational(error, bestError) < 0) {
      bestError = error;
      best = *rate;
    }
  }
  return best;
}

bool Contains(const int* list, int value, int end) {
  for (; *list != end; ++list) {
    if (*list == value) return true;
  }
  return false;
}

void ParseRcOverride(AVCodecContext* codec, const std::string& text) {
  std::vector<RcOverride> entries;
  std::string rest = text;
  while (!rest.empty()) {
    size_t slash = rest.find('/');
    const std::string entry = rest.substr(0, slash);
    rest = slash == std::string::npos ? "" : rest.substr(slash + 1);
    const char* cursor = entry.c_str();
    long start = 0, end = 0, q = 0;
    if (!ReadCInteger(cursor, start) || *cursor++ != ',' || !ReadCInteger(cursor, end)) {
      throw FFMpegException("error parsing rc_override");
    }
    if (*cursor == ',') {
      ++cursor;
      ReadCInteger(cursor, q);
    }
    RcOverride item{};
    item.start_frame = static_cast<int>(start);
    item.end_frame = static_cast<int>(end);
    if (q > 0) {
      item.qscale = static_cast<int>(q);
      item.quality_factor = 1.0f;
    } else {
      item.qscale = 0;
      item.quality_factor = static_cast<float>(-q) / 100.0f;
    }
    entries.push_back(item);
  }
  if (entries.empty()) return;
  auto* table = static_cast<RcOverride*>(ff::av_malloc(entries.size() * sizeof(RcOverride)));
  if (!table) throw FFMpegException("error parsing rc_override");
  std::copy(entries.begin(), entries.end(), table);
  ff::av_freep(&codec->rc_override);
  codec->rc_override = table;
  codec->rc_override_count = static_cast<int>(entries.size());
}

uint16_t* CopyMatrix(const QuantMatrix& matrix) {
  auto* copy = static_cast<uint16_t*>(ff::av_malloc(sizeof(uint16_t) * 64));
  if (!copy) throw FFMpegException("av_malloc fail");
  std::copy(matrix.begin(), matrix.end(), copy);
  return copy;
}

// The stream's sample aspect ratio from the display aspect of the picture.
AVRational SampleAspect(float displayAspect, int width, int height) {
  const double value = width * height == 0 ? displayAspect * 3.0 / 4.0
                                           : displayAspect * static_cast<double>(height) / width;
  return DoubleToRational(value, 255);
}

}  // namespace

OutputStreamSetup& TCustomFFmpeg::AddOutputStream(OutputFile& output, int kind, AVMediaType type) {
  if (output.Streams.size() >= static_cast<size_t>(kMaxStreams)) {
    throw FFMpegException(Format("Too many streams in one output file (at most %d)", kMaxStreams));
  }
  AVStream* stream = ff::avformat_new_stream(output.Context.get(), nullptr);
  if (!stream) throw FFMpegException("Could not alloc stream");
  stream->codecpar->codec_type = type;
  OutputStreamSetup setup;
  const int chain = kind == kVideoKind ? 0 : (kind == kAudioKind ? 1 : 2);
  setup.Filters = std::move(Options.PendingBitstreamFilters[chain]);
  Options.PendingBitstreamFilters[chain].clear();
  output.Streams.push_back(std::move(setup));
  return output.Streams.back();
}

void TCustomFFmpeg::NewVideoStream(OutputFile& output) {
  struct ResetVideo {
    EngineOptions& o;
    ~ResetVideo() {
      o.VideoDisable = false;
      o.VideoCodecName.clear();
      o.VideoStreamCopy = false;
    }
  } reset{Options};

  OutputStreamSetup& setup = AddOutputStream(output, kVideoKind, AVMEDIA_TYPE_VIDEO);
  AVFormatContext* context = output.Context.get();
  AVStream* stream = context->streams[context->nb_streams - 1];
  const AVOutputFormat* format = context->oformat;

  const AVCodec* codec = nullptr;
  if (!Options.VideoStreamCopy) {
    AVCodecID id = ff::av_guess_codec(format, nullptr, context->url, nullptr, AVMEDIA_TYPE_VIDEO);
    if (!Options.VideoCodecName.empty()) {
      if (!FindCodecId(Options.VideoCodecName, AVMEDIA_TYPE_VIDEO, true, id)) {
        throw FFMpegException(ErrorText);
      }
      codec = FindEncoderByName(Options.VideoCodecName, nullptr);
    } else {
      codec = ff::avcodec_find_encoder(id);
    }
    setup.Codec = codec;
    stream->codecpar->codec_id = id;
  }
  setup.Encoder.reset(ff::avcodec_alloc_context3(codec));
  if (!setup.Encoder) throw FFMpegException("Could not alloc stream");
  AVCodecContext* enc = setup.Encoder.get();
  enc->codec_type = AVMEDIA_TYPE_VIDEO;
  enc->codec_id = stream->codecpar->codec_id;
  enc->thread_count = Options.ThreadCount;
  if (Options.VideoCodecTag) enc->codec_tag = Options.VideoCodecTag;

  AVCodecContext* videoOptions = CodecOpts[kVideoKind].get();
  if ((Options.VideoGlobalHeader & 1) ||
      (Options.VideoGlobalHeader == 0 && (format->flags & AVFMT_GLOBALHEADER))) {
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (videoOptions) videoOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }
  if (Options.VideoGlobalHeader & 2) {
    enc->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
    if (videoOptions) videoOptions->flags2 |= AV_CODEC_FLAG2_LOCAL_HEADER;
  }

  if (Options.VideoStreamCopy) {
    setup.StreamCopy = true;
    stream->sample_aspect_ratio =
        SampleAspect(Options.FrameAspectRatio, Options.PictureWidth, Options.PictureHeight);
    return;
  }

  AVRational fps = Options.FrameRateValue;
  if (fps.num == 0 || fps.den == 0) fps = AVRational{25, 1};
  ApplyGenericOptions(enc, videoOptions, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
  enc->time_base = AVRational{fps.den, fps.num};
  if (codec && codec->supported_framerates) {
    const AVRational best = NearestFrameRate(codec->supported_framerates, fps);
    enc->time_base = AVRational{best.den, best.num};
  }
  enc->framerate = AVRational{enc->time_base.den, enc->time_base.num};
  setup.FrameRateChosen = Options.FrameRateChosen;

  // Encoders and players want even sizes; an odd source drops a line.
  enc->width = (Options.PictureWidth & ~1) + Options.PadLeft + Options.PadRight;
  enc->height = (Options.PictureHeight & ~1) + Options.PadTop + Options.PadBottom;
  enc->sample_aspect_ratio = SampleAspect(Options.FrameAspectRatio, enc->width, enc->height);
  stream->sample_aspect_ratio = enc->sample_aspect_ratio;
  int pixelFormat = Options.FramePixFmt;
  if (codec && codec->pix_fmts &&
      (pixelFormat < 0 ||
       !Contains(reinterpret_cast<const int*>(codec->pix_fmts), pixelFormat, AV_PIX_FMT_NONE))) {
    pixelFormat = codec->pix_fmts[0];
  }
  enc->pix_fmt = static_cast<AVPixelFormat>(pixelFormat < 0 ? AV_PIX_FMT_YUV420P : pixelFormat);

  if (Options.IntraOnly) enc->gop_size = 0;
  if (Options.VideoQscale != 0 || Options.SameQuality) {
    enc->flags |= AV_CODEC_FLAG_QSCALE;
    setup.Quality = Options.VideoQscale * FF_QP2LAMBDA;
    enc->global_quality = static_cast<int>(setup.Quality);
  }
  if (Options.intra_matrix) enc->intra_matrix = CopyMatrix(*Options.intra_matrix);
  if (Options.inter_matrix) enc->inter_matrix = CopyMatrix(*Options.inter_matrix);
  if (!Options.VideoRcOverride.empty()) ParseRcOverride(enc, Options.VideoRcOverride);
  if (enc->rc_initial_buffer_occupancy == 0) {
    enc->rc_initial_buffer_occupancy = enc->rc_buffer_size * 3 / 4;
  }
  enc->intra_dc_precision = Options.IntraDcPrecision - 8;
  if (Options.DoPsnr) enc->flags |= AV_CODEC_FLAG_PSNR;
  if (Options.DoPass == 1) enc->flags |= AV_CODEC_FLAG_PASS1;
  if (Options.DoPass == 2) enc->flags |= AV_CODEC_FLAG_PASS2;
}

void TCustomFFmpeg::NewAudioStream(OutputFile& output) {
  struct ResetAudio {
    EngineOptions& o;
    ~ResetAudio() {
      o.AudioDisable = false;
      o.AudioCodecName.clear();
      o.AudioStreamCopy = false;
    }
  } reset{Options};

  OutputStreamSetup& setup = AddOutputStream(output, kAudioKind, AVMEDIA_TYPE_AUDIO);
  AVFormatContext* context = output.Context.get();
  AVStream* stream = context->streams[context->nb_streams - 1];
  const AVOutputFormat* format = context->oformat;

  const AVCodec* codec = nullptr;
  if (!Options.AudioStreamCopy) {
    AVCodecID id = ff::av_guess_codec(format, nullptr, context->url, nullptr, AVMEDIA_TYPE_AUDIO);
    if (!Options.AudioCodecName.empty()) {
      if (!FindCodecId(Options.AudioCodecName, AVMEDIA_TYPE_AUDIO, true, id)) {
        throw FFMpegException(ErrorText);
      }
      codec = FindEncoderByName(Options.AudioCodecName, this);
    } else {
      codec = ff::avcodec_find_encoder(id);
    }
    setup.Codec = codec;
    stream->codecpar->codec_id = id;
  }
  setup.Encoder.reset(ff::avcodec_alloc_context3(codec));
  if (!setup.Encoder) throw FFMpegException("Could not alloc stream");
  AVCodecContext* enc = setup.Encoder.get();
  enc->codec_type = AVMEDIA_TYPE_AUDIO;
  enc->codec_id = stream->codecpar->codec_id;
  enc->thread_count = Options.ThreadCount;
  if (Options.AudioCodecTag) enc->codec_tag = Options.AudioCodecTag;
  AVCodecContext* audioOptions = CodecOpts[kAudioKind].get();
  if (format->flags & AVFMT_GLOBALHEADER) {
    enc->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
    if (audioOptions) audioOptions->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
  }

  int channels = Options.AudioChannels;
  int rate = Options.AudioSampleRate;
  if (Options.AudioStreamCopy) {
    setup.StreamCopy = true;
  } else {
    ApplyGenericOptions(enc, audioOptions, AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
    if (Options.AudioQscale > -99999) {
      enc->flags |= AV_CODEC_FLAG_QSCALE;
      setup.Quality = Options.AudioQscale * FF_QP2LAMBDA;
      enc->global_quality = static_cast<int>(setup.Quality);
    }
    int sampleFormat = Options.AudioSampleFmt;
    if (codec && codec->sample_fmts &&
        (sampleFormat < 0 || !Contains(reinterpret_cast<const int*>(codec->sample_fmts),
                                       sampleFormat, AV_SAMPLE_FMT_NONE))) {
      sampleFormat = codec->sample_fmts[0];
    }
    enc->sample_fmt =
        static_cast<AVSampleFormat>(sampleFormat < 0 ? AV_SAMPLE_FMT_S16 : sampleFormat);
    // An encoder refuses rates and layouts it does not list; take the nearest
    // one it has rather than fail the whole conversion.
    if (codec && codec->supported_samplerates && !Contains(codec->supported_samplerates, rate, 0)) {
      int best = codec->supported_samplerates[0];
      for (const int* r = codec->supported_samplerates; *r; ++r) {
        if (std::abs(*r - rate) < std::abs(best - rate)) best = *r;
      }
      LogF(1, "Sample rate %d Hz is not supported by %s, using %d Hz", rate, codec->name, best);
      rate = best;
    }
    if (codec && codec->ch_layouts && codec->ch_layouts[0].nb_channels > 0) {
      int best = codec->ch_layouts[0].nb_channels;
      bool found = false;
      for (const AVChannelLayout* l = codec->ch_layouts; l->nb_channels; ++l) {
        if (l->nb_channels == channels) found = true;
        if (std::abs(l->nb_channels - channels) < std::abs(best - channels)) best = l->nb_channels;
      }
      if (!found) {
        LogF(1, "%d channels are not supported by %s, using %d", channels, codec->name, best);
        channels = best;
      }
    }
  }
  ff::av_channel_layout_uninit(&enc->ch_layout);
  ff::av_channel_layout_default(&enc->ch_layout, channels);
  enc->sample_rate = rate;
  enc->time_base = AVRational{1, rate};
  if (!Options.AudioLanguage.empty()) {
    ff::av_dict_set(&stream->metadata, "language", Options.AudioLanguage.substr(0, 3).c_str(), 0);
    Options.AudioLanguage.clear();
  }
}

void TCustomFFmpeg::NewSubtitleStream(OutputFile& output) {
  struct ResetSubtitle {
    EngineOptions& o;
    ~ResetSubtitle() {
      o.SubtitleDisable = false;
      o.SubtitleCodecName.clear();
      o.SubtitleStreamCopy = false;
    }
  } reset{Options};

  OutputStreamSetup& setup = AddOutputStream(output, kSubtitleKind, AVMEDIA_TYPE_SUBTITLE);
  AVFormatContext* context = output.Context.get();
  AVStream* stream = context->streams[context->nb_streams - 1];
  const AVCodec* codec = nullptr;
  if (Options.SubtitleStreamCopy) {
    setup.StreamCopy = true;
  } else {
    // Without a name the container's own subtitle codec is used.
    AVCodecID id =
        ff::av_guess_codec(context->oformat, nullptr, context->url, nullptr, AVMEDIA_TYPE_SUBTITLE);
    if (!Options.SubtitleCodecName.empty()) {
      if (!FindCodecId(Options.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, true, id)) {
        throw FFMpegException(ErrorText);
      }
      codec = FindEncoderByName(Options.SubtitleCodecName, nullptr);
    } else {
      codec = ff::avcodec_find_encoder(id);
    }
    setup.Codec = codec;
    stream->codecpar->codec_id = id;
  }
  setup.Encoder.reset(ff::avcodec_alloc_context3(codec));
  if (!setup.Encoder) throw FFMpegException("Could not alloc stream");
  setup.Encoder->codec_type = AVMEDIA_TYPE_SUBTITLE;
  setup.Encoder->codec_id = stream->codecpar->codec_id;
  // Subtitle times are handed to the encoder in microseconds.
  setup.Encoder->time_base = AV_TIME_BASE_Q;
  if (!setup.StreamCopy) {
    ApplyGenericOptions(setup.Encoder.get(), CodecOpts[kSubtitleKind].get(),
                        AV_OPT_FLAG_ENCODING_PARAM | AV_OPT_FLAG_SUBTITLE_PARAM);
  }
  if (!Options.SubtitleLanguage.empty()) {
    ff::av_dict_set(&stream->metadata, "language", Options.SubtitleLanguage.substr(0, 3).c_str(),
                    0);
    Options.SubtitleLanguage.clear();
  }
}

}  // namespace moskvid
