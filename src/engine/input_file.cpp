// Opening input files: demuxer parameters, probing, start position and the
// per-stream preparation that updates the option state.
#include <algorithm>
#include <filesystem>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/stream_choice.h"

namespace moskvid {

namespace {

int InterruptCallback(void* opaque) {
  return static_cast<TCustomFFmpeg*>(opaque)->StopRequested.load() ? 1 : 0;
}

// ".rm" and ".rmvb" files whose decoder reports no pixel format are YUV 4:2:0.
bool IsRealMediaName(const std::string& fileName) {
  std::string extension = LowerCase(std::filesystem::path(fileName).extension().string());
  return !extension.empty() && std::string(".rmvb").compare(0, extension.size(), extension) == 0;
}

// With a program chosen, the first stream of `type` in it (never a cover);
// -1 when there is none.
int ProgramStream(const AVFormatContext* context, int programId, AVMediaType type) {
  for (unsigned p = 0; p < context->nb_programs; ++p) {
    const AVProgram* program = context->programs[p];
    if (program->id != programId) continue;
    for (unsigned n = 0; n < program->nb_stream_indexes; ++n) {
      const AVStream* stream = context->streams[program->stream_index[n]];
      if (stream->codecpar->codec_type == type && !IsCoverPicture(stream)) {
        return static_cast<int>(program->stream_index[n]);
      }
    }
  }
  return -1;
}

}  // namespace

AVIOInterruptCB EngineInterruptCallback(TCustomFFmpeg* engine) {
  return AVIOInterruptCB{&InterruptCallback, engine};
}

bool TCustomFFmpeg::FindCodecId(const std::string& name, AVMediaType type, bool encoder,
                                AVCodecID& id) {
  id = AV_CODEC_ID_NONE;
  if (name.empty()) return true;
  const AVCodec* codec =
      encoder ? FindEncoderByName(name, this) : ff::avcodec_find_decoder_by_name(name.c_str());
  const char* word = encoder ? "encoder" : "decoder";
  if (!codec) {
    ErrorText = Format("Unknown %s '%s'", word, name.c_str());
    return false;
  }
  if (codec->type != type) {
    ErrorText = Format("Invalid %s type '%s'", word, name.c_str());
    return false;
  }
  id = codec->id;
  return true;
}

void TCustomFFmpeg::ResetPerFileOptions() {
  Options.ForcedInputFormat = nullptr;
  Options.ForcedOutputFormat = nullptr;
  Options.VideoChannel = 0;
  Options.RateEmu = false;
  Options.VideoCodecName.clear();
  Options.AudioCodecName.clear();
  Options.SubtitleCodecName.clear();
  Options.AudioTrack = 0;
}

bool TCustomFFmpeg::OpenInputFile(const std::string& fileName) {
  if (NbInputFiles() >= kMaxFiles) {
    ErrorText = Format("%s: too many input files (at most %d)", fileName.c_str(), kMaxFiles);
    ResetPerFileOptions();
    return false;
  }
  auto fail = [this]() {
    ResetPerFileOptions();
    return false;
  };

  // Step 1: the context first, so that generic format options reach it.
  AVFormatContext* raw = ff::avformat_alloc_context();
  if (!raw) {
    ErrorText = ErrorTextForCode(fileName, AVERROR(ENOMEM), false);
    return fail();
  }
  FormatContextPtr unopened(raw);
  AVCodecID videoId = AV_CODEC_ID_NONE, audioId = AV_CODEC_ID_NONE, subtitleId = AV_CODEC_ID_NONE;
  if (!FindCodecId(Options.VideoCodecName, AVMEDIA_TYPE_VIDEO, false, videoId) ||
      !FindCodecId(Options.AudioCodecName, AVMEDIA_TYPE_AUDIO, false, audioId) ||
      !FindCodecId(Options.SubtitleCodecName, AVMEDIA_TYPE_SUBTITLE, false, subtitleId)) {
    return fail();
  }
  if (Options.PgmyuvCompat) videoId = AV_CODEC_ID_PGMYUV;

  // Step 2 and 3: generic options and forced codecs.
  ApplyGenericOptions(raw, FormatOpts.get(), AV_OPT_FLAG_DECODING_PARAM);
  raw->video_codec_id = videoId;
  raw->audio_codec_id = audioId;
  raw->subtitle_codec_id = subtitleId;
  raw->interrupt_callback = EngineInterruptCallback(this);

  // The demuxer parameters of raw and capture formats are their own options.
  AVDictionary* parameters = nullptr;
  ff::av_dict_set(&parameters, "sample_rate", std::to_string(Options.AudioSampleRate).c_str(), 0);
  ff::av_dict_set(&parameters, "channels", std::to_string(Options.AudioChannels).c_str(), 0);
  if (Options.FrameRateValue.num > 0 && Options.FrameRateValue.den > 0) {
    ff::av_dict_set(&parameters, "framerate",
                    Format("%d/%d", Options.FrameRateValue.num, Options.FrameRateValue.den).c_str(),
                    0);
  }
  const int width = Options.PictureWidth + Options.PadLeft + Options.PadRight;
  const int height = Options.PictureHeight + Options.PadTop + Options.PadBottom;
  if (width > 0 && height > 0) {
    ff::av_dict_set(&parameters, "video_size", Format("%dx%d", width, height).c_str(), 0);
  }
  if (Options.FramePixFmt >= 0) {
    ff::av_dict_set(&parameters, "pixel_format",
                    ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(Options.FramePixFmt)), 0);
  }
  if (Options.VideoChannel != 0) {
    ff::av_dict_set(&parameters, "channel", std::to_string(Options.VideoChannel).c_str(), 0);
  }
  if (!Options.VideoStandard.empty()) {
    ff::av_dict_set(&parameters, "standard", Options.VideoStandard.c_str(), 0);
  }
  if (Options.LoopInput) ff::av_dict_set(&parameters, "loop", "1", 0);
  DictionaryPtr parameterOwner(parameters);

  // Step 4: open, or take the input opened for this file before. The library
  // frees the context itself when opening fails.
  InputFile input;
  const bool forcedCodecs =
      videoId != AV_CODEC_ID_NONE || audioId != AV_CODEC_ID_NONE || subtitleId != AV_CODEC_ID_NONE;
  input.Context = ClaimOfferedInput(fileName, forcedCodecs, parameters);
  const bool reused = static_cast<bool>(input.Context);
  int result = 0;
  if (!reused) {
    AVFormatContext* opened = unopened.release();
    result =
        ff::avformat_open_input(&opened, fileName.c_str(), Options.ForcedInputFormat, &parameters);
    parameterOwner.release();
    parameterOwner.reset(parameters);
    if (result < 0) {
      ErrorText = ErrorTextForCode(fileName, result, InputFormatRecognised(fileName, result));
      return fail();
    }
    input.Context.reset(opened);
  }
  AVFormatContext* context = input.Context.get();

  if (context->nb_streams > static_cast<unsigned>(kMaxStreams)) {
    ErrorText = Format("%s: too many streams (%u, at most %d)", fileName.c_str(),
                       context->nb_streams, kMaxStreams);
    return fail();
  }

  // Step 5: only the chosen program is read.
  if (Options.OptProgramid != 0) {
    for (unsigned i = 0; i < context->nb_programs; ++i) {
      if (context->programs[i]->id != Options.OptProgramid) {
        context->programs[i]->discard = AVDISCARD_ALL;
      }
    }
  }

  // Step 7: stream information, serialised with every codec open and close.
  // A taken input has it already.
  if (!reused) {
    std::lock_guard<std::mutex> lock(CodecLock());
    result = ff::avformat_find_stream_info(context, nullptr);
  }
  if (result < 0 && Options.Verbose >= 0) {
    ErrorText = fileName + ": could not find codec parameters";
    return fail();
  }

  // Step 8: start position.
  int64_t start = Options.InputStartTime;
  if (context->start_time != AV_NOPTS_VALUE) start += context->start_time;
  bool sought = true;
  if (Options.InputStartTime != 0) {
    sought = SeekToStart(input, fileName, start);
    Options.InputStartTime = 0;
  }

  // Step 9: per-stream preparation. The picture and sound settings come from
  // the streams a conversion takes: the film's video (never a cover) and
  // the chosen sound track.
  const bool program = Options.OptProgramid != 0;
  const int film = program ? ProgramStream(context, Options.OptProgramid, AVMEDIA_TYPE_VIDEO)
                           : FilmVideoStream(context);
  input.AudioStream = program && Options.AudioTrack == 0
                          ? ProgramStream(context, Options.OptProgramid, AVMEDIA_TYPE_AUDIO)
                          : ChooseAudioStream(context, Options.AudioTrack);
  if (Options.AudioTrack > 0 && input.AudioStream < 0) {
    ErrorText = Format("%s: there is no sound track %d (the file has %d)", fileName.c_str(),
                       Options.AudioTrack, AudioTrackCount(context));
    return fail();
  }
  input.AutoRotate = Options.AutoRotate;
  for (unsigned i = 0; i < context->nb_streams; ++i) {
    AVStream* stream = context->streams[i];
    AVCodecParameters* parameters = stream->codecpar;
    CodecContextPtr decoder(ff::avcodec_alloc_context3(nullptr));
    if (!decoder || ff::avcodec_parameters_to_context(decoder.get(), parameters) < 0) {
      ErrorText = ErrorTextForCode(fileName, AVERROR(ENOMEM), true);
      return fail();
    }
    decoder->pkt_timebase = stream->time_base;
    decoder->thread_count = Options.ThreadCount;
    switch (parameters->codec_type) {
      case AVMEDIA_TYPE_VIDEO: {
        ApplyGenericOptions(decoder.get(), CodecOpts[kVideoKind].get(),
                            AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_VIDEO_PARAM);
        if (decoder->pix_fmt == AV_PIX_FMT_NONE && IsRealMediaName(fileName)) {
          decoder->pix_fmt = AV_PIX_FMT_YUV420P;
        }
        if (static_cast<int>(i) != film) {
          if (Options.VideoDisable) {
            stream->discard = AVDISCARD_ALL;
          } else if (Options.VideoDiscard != 0) {
            stream->discard = static_cast<AVDiscard>(Options.VideoDiscard);
          }
          break;
        }
        // The picture as a player shows it: a quarter turn swaps the sides.
        const bool turned = Options.AutoRotate && DisplayRotation(stream) % 180 != 0;
        Options.PictureWidth = turned ? decoder->height : decoder->width;
        Options.PictureHeight = turned ? decoder->width : decoder->height;
        const double aspect = stream->sample_aspect_ratio.num != 0
                                  ? av_q2d(stream->sample_aspect_ratio)
                                  : av_q2d(decoder->sample_aspect_ratio);
        if (decoder->width * decoder->height != 0) {
          const double shown = aspect != 0 ? decoder->width * aspect / decoder->height
                                           : static_cast<double>(decoder->width) / decoder->height;
          Options.FrameAspectRatio = static_cast<float>(turned ? 1 / shown : shown);
        } else if (aspect == 0) {
          Options.FrameAspectRatio = 4.0f / 3.0f;
        }
        Options.FramePixFmt = decoder->pix_fmt;
        const AVRational real = stream->r_frame_rate;
        const AVRational average = stream->avg_frame_rate;
        if (average.num && average.den && real.num && real.den &&
            (average.num != real.num || average.den != real.den) && Options.Verbose > 0) {
          LogF(1,
               "Seems stream %d codec frame rate differs from container frame rate: %2.2f (%d/%d) "
               "-> %2.2f (%d/%d)",
               i, av_q2d(average), average.num, average.den, av_q2d(real), real.num, real.den);
        }
        Options.FrameRateValue = real.num > 0 && real.den > 0 ? real : average;
        Options.FrameRateChosen = false;
        if (Options.VideoDisable) {
          stream->discard = AVDISCARD_ALL;
        } else if (Options.VideoDiscard != 0) {
          stream->discard = static_cast<AVDiscard>(Options.VideoDiscard);
        }
        break;
      }
      case AVMEDIA_TYPE_AUDIO:
        ApplyGenericOptions(decoder.get(), CodecOpts[kAudioKind].get(),
                            AV_OPT_FLAG_DECODING_PARAM | AV_OPT_FLAG_AUDIO_PARAM);
        if (static_cast<int>(i) == input.AudioStream) {
          Options.AudioChannels = decoder->ch_layout.nb_channels;
          Options.AudioSampleRate = decoder->sample_rate;
          Options.AudioSampleFmt = decoder->sample_fmt;
        }
        if (Options.AudioDisable) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_SUBTITLE:
        if (Options.SubtitleDisable) stream->discard = AVDISCARD_ALL;
        break;
      case AVMEDIA_TYPE_DATA:
      case AVMEDIA_TYPE_ATTACHMENT:
        break;
      default:
        // Streams the library cannot classify are left unread.
        stream->discard = AVDISCARD_ALL;
        break;
    }
    input.Decoders.push_back(std::move(decoder));
  }

  // Step 10: expected length.
  if (context->duration != AV_NOPTS_VALUE && context->duration / 1000 > TotalDuration) {
    TotalDuration = static_cast<int32_t>(std::min<int64_t>(context->duration / 1000, INT32_MAX));
  }

  // Step 11: keep it.
  input.TsOffset = Options.CopyTs ? Options.InputTsOffset : Options.InputTsOffset - start;
  if (!sought) input.DropBefore = start + input.TsOffset;
  input.TsScale = Options.PendingTsScale;
  input.RateEmu = Options.RateEmu;
  Options.PendingTsScale.fill(0);
  if (Options.Verbose >= 0) {
    ff::av_dump_format(context, NbInputFiles(), fileName.c_str(), 0);
  }
  InputFiles.push_back(std::move(input));

  // Step 12.
  ResetPerFileOptions();
  return true;
}

}  // namespace moskvid
