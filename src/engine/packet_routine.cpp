// The packet routine: decode one packet (or pass it through for stream copy)
// and feed every output stream that takes this input stream.
#include <algorithm>
#include <chrono>
#include <climits>
#include <cmath>
#include <thread>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

template <typename T>
void ScaleIntegers(T* samples, size_t count, int volume, int64_t low, int64_t high) {
  for (size_t i = 0; i < count; ++i) {
    const int64_t value = (static_cast<int64_t>(samples[i]) * volume + 128) >> 8;
    samples[i] = static_cast<T>(std::clamp<int64_t>(value, low, high));
  }
}

template <typename T>
void ScaleFloats(T* samples, size_t count, int volume) {
  const T factor = static_cast<T>(volume) / 256;
  for (size_t i = 0; i < count; ++i)
    samples[i] = std::clamp<T>(samples[i] * factor, -1, 1);
}

// Volume on the 256 = 100% scale, for every sample format, clamped.
void ApplyVolume(AVFrame* frame, int volume) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
  const int channels = frame->ch_layout.nb_channels;
  const int planes = planar ? channels : 1;
  const size_t count = static_cast<size_t>(frame->nb_samples) * (planar ? 1 : channels);
  for (int p = 0; p < planes; ++p) {
    uint8_t* data = frame->extended_data[p];
    switch (format) {
      case AV_SAMPLE_FMT_U8:
      case AV_SAMPLE_FMT_U8P:
        for (size_t i = 0; i < count; ++i) {
          const int value = (((data[i] - 128) * volume + 128) >> 8) + 128;
          data[i] = static_cast<uint8_t>(std::clamp(value, 0, 255));
        }
        break;
      case AV_SAMPLE_FMT_S16:
      case AV_SAMPLE_FMT_S16P:
        ScaleIntegers(reinterpret_cast<int16_t*>(data), count, volume, INT16_MIN, INT16_MAX);
        break;
      case AV_SAMPLE_FMT_S32:
      case AV_SAMPLE_FMT_S32P:
        ScaleIntegers(reinterpret_cast<int32_t*>(data), count, volume, INT32_MIN, INT32_MAX);
        break;
      case AV_SAMPLE_FMT_S64:
      case AV_SAMPLE_FMT_S64P: {
        auto* samples = reinterpret_cast<int64_t*>(data);
        for (size_t i = 0; i < count; ++i) {
          const long double value = static_cast<long double>(samples[i]) * volume / 256;
          samples[i] = value >= 9.2e18L    ? INT64_MAX
                       : value <= -9.2e18L ? INT64_MIN
                                           : static_cast<int64_t>(value);
        }
        break;
      }
      case AV_SAMPLE_FMT_FLT:
      case AV_SAMPLE_FMT_FLTP:
        ScaleFloats(reinterpret_cast<float*>(data), count, volume);
        break;
      case AV_SAMPLE_FMT_DBL:
      case AV_SAMPLE_FMT_DBLP:
        ScaleFloats(reinterpret_cast<double*>(data), count, volume);
        break;
      default:
        break;
    }
  }
}

}  // namespace

int TCustomFFmpeg::ProcessInputPacket(int index, AVPacket* packet) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  const AVRational timeBase = ist.Stream->time_base;
  if (ist.NextPts == AV_NOPTS_VALUE) ist.NextPts = ist.Pts;
  if (packet && packet->dts != AV_NOPTS_VALUE) {
    ist.Pts = ist.NextPts = ff::av_rescale_q(packet->dts, timeBase, AV_TIME_BASE_Q);
  }

  if (!ist.DecodingNeeded) {
    if (!packet) return 0;
    const AVCodecParameters* parameters = ist.Stream->codecpar;
    int64_t duration = 0;
    if (packet->duration > 0) {
      duration = ff::av_rescale_q(packet->duration, timeBase, AV_TIME_BASE_Q);
    } else if (parameters->codec_type == AVMEDIA_TYPE_AUDIO && parameters->sample_rate > 0) {
      duration = int64_t{AV_TIME_BASE} * parameters->frame_size / parameters->sample_rate;
    } else if (parameters->codec_type == AVMEDIA_TYPE_VIDEO && ist.Stream->avg_frame_rate.num) {
      duration = ff::av_rescale_q(1, av_inv_q(ist.Stream->avg_frame_rate), AV_TIME_BASE_Q);
    }
    ist.Pts = ist.NextPts;
    ist.NextPts += duration;
    for (auto& ost : t.OutputStreams) {
      if (ost->SourceIndex == index && !ost->EncodingNeeded) CopyPacket(*ost, ist, packet);
    }
    return 0;
  }

  const AVMediaType type = ist.Stream->codecpar->codec_type;
  if (type == AVMEDIA_TYPE_SUBTITLE) {
    if (packet) DecodeSubtitle(index, packet);
    return 0;
  }
  if (type != AVMEDIA_TYPE_AUDIO && type != AVMEDIA_TYPE_VIDEO) return -1;

  AVFrame* frame = t.DecodedFrame.get();
  bool failed = false;
  int sent = ff::avcodec_send_packet(ist.Decoder, packet);
  for (;;) {
    const int received = ff::avcodec_receive_frame(ist.Decoder, frame);
    if (received == AVERROR(EAGAIN)) {
      // The decoder wanted its output taken before it takes more input.
      if (sent == AVERROR(EAGAIN)) {
        sent = ff::avcodec_send_packet(ist.Decoder, packet);
        continue;
      }
      break;
    }
    if (received == AVERROR_EOF) break;
    if (received < 0) {
      failed = true;
      break;
    }
    DispatchDecodedFrame(index, frame);
    ff::av_frame_unref(frame);
  }
  if (sent < 0 && sent != AVERROR_EOF && sent != AVERROR(EAGAIN)) failed = true;

  if (!packet) {
    if (ist.Stage) {
      // The last pictures are done before the filters and encoders drain
      // here, on this thread.
      VideoStage* stage = ist.Stage;
      ist.Stage = nullptr;
      stage->Finish();
    }
    if (type == AVMEDIA_TYPE_VIDEO && ist.Source && !StopRequested) {
      ist.Source->Flush([this, index](AVFrame* shown, const TPictureClock& at) {
        ProcessShownPicture(index, shown, at);
      });
    }
    if (type == AVMEDIA_TYPE_VIDEO && ist.FilterIn) {
      ff::av_buffersrc_add_frame_flags(ist.FilterIn, nullptr, 0);
      DrainFilterChain(index);
    }
    FlushEncoders(index);
  }
  return failed ? -1 : 0;
}

void TCustomFFmpeg::DispatchDecodedFrame(int index, AVFrame* frame) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  const AVRational timeBase = ist.Stream->time_base;
  const int64_t pts = frame->best_effort_timestamp;
  ist.Pts = pts != AV_NOPTS_VALUE ? ff::av_rescale_q(pts, timeBase, AV_TIME_BASE_Q) : ist.NextPts;

  if (ist.Stream->codecpar->codec_type == AVMEDIA_TYPE_AUDIO) {
    if (frame->sample_rate > 0) {
      ist.NextPts = ist.Pts + int64_t{AV_TIME_BASE} * frame->nb_samples / frame->sample_rate;
    }
    if (Options.AudioVolume != 256 && ff::av_frame_make_writable(frame) >= 0) {
      ApplyVolume(frame, Options.AudioVolume);
    }
    if (ist.Pts < OutputStartOf(ist)) return;
    for (auto& ost : t.OutputStreams) {
      if (ost->SourceIndex == index && ost->EncodingNeeded) AudioOutput(*ost, ist, frame);
    }
    return;
  }

  int64_t duration = 0;
  if (frame->pkt_duration > 0) {
    duration = ff::av_rescale_q(frame->pkt_duration, timeBase, AV_TIME_BASE_Q);
  } else if (ist.Stream->avg_frame_rate.num > 0 && ist.Stream->avg_frame_rate.den > 0) {
    duration = ff::av_rescale_q(1, av_inv_q(ist.Stream->avg_frame_rate), AV_TIME_BASE_Q);
  }
  ist.NextPts = ist.Pts + duration;
  ist.Quality = static_cast<float>(frame->quality);
  if (ist.Pts < OutputStartOf(ist)) return;

  const TPictureClock clock{ist.Pts, ist.NextPts, ist.Quality};
  if (ist.Stage) {
    ist.Stage->Push(frame, clock);
  } else {
    ProcessPicture(index, frame, clock);
  }
}

void TCustomFFmpeg::ProcessPicture(int index, AVFrame* frame, const TPictureClock& clock) {
  // A pause holds the pictures here, where no lock is held; after a stop
  // nothing more is encoded, so hooks, filters and scaling are spared too.
  if (!WaitWhilePaused()) return;
  TTranscodeInputStream& ist = *Tables->InputStreams[index];
  if (!ist.Source) {
    ProcessShownPicture(index, frame, clock);
    return;
  }
  ist.Source->Push(frame, clock, [this, index](AVFrame* shown, const TPictureClock& at) {
    ProcessShownPicture(index, shown, at);
  });
}

void TCustomFFmpeg::ProcessShownPicture(int index, AVFrame* frame, const TPictureClock& clock) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  ist.Picture = clock;
  AVFrame* picture = PreProcessVideoFrame(ist, frame);
  if (Options.UsingFilters && ist.FilterIn) {
    picture->pts = clock.Pts;
    if (ff::av_buffersrc_add_frame_flags(ist.FilterIn, picture, AV_BUFFERSRC_FLAG_KEEP_REF) < 0) {
      throw FFMpegException("Error while feeding the filter chain");
    }
    DrainFilterChain(index);
    return;
  }
  DispatchPicture(index, picture);
}

void TCustomFFmpeg::DrainFilterChain(int index) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  // Filters such as yadif and fps hand out pictures in a time base and at a
  // rate of their own.
  const AVRational sinkBase = ff::av_buffersink_get_time_base(ist.FilterOut);
  const AVRational sinkRate = ff::av_buffersink_get_frame_rate(ist.FilterOut);
  AVFrame* filtered = t.FilteredFrame.get();
  for (;;) {
    // The filters do their work in here: anything but "more input" and
    // "no more" is a failure, which would otherwise end the pictures silently.
    const int result = ff::av_buffersink_get_frame(ist.FilterOut, filtered);
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) break;
    if (result < 0) {
      throw FFMpegException(Format("The video filter chain \"%s\" failed: %s",
                                   ist.FilterText.c_str(), LibraryErrorText(result).c_str()));
    }
    // The picture clock, not the decoding side's: with a stage thread this
    // runs there.
    if (filtered->pts != AV_NOPTS_VALUE) {
      ist.Picture.Pts = ff::av_rescale_q(filtered->pts, sinkBase, AV_TIME_BASE_Q);
    }
    int64_t duration = 0;
    if (sinkRate.num > 0 && sinkRate.den > 0) {
      duration = ff::av_rescale_q(1, av_inv_q(sinkRate), AV_TIME_BASE_Q);
    } else if (filtered->pkt_duration > 0) {
      duration = ff::av_rescale_q(filtered->pkt_duration, sinkBase, AV_TIME_BASE_Q);
    }
    ist.FilteredEnd = ist.Picture.Pts + duration;
    DispatchPicture(index, filtered);
    ff::av_frame_unref(filtered);
  }
}

void TCustomFFmpeg::DispatchPicture(int index, AVFrame* picture) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  for (auto& ost : t.OutputStreams) {
    if (ost->SourceIndex != index || !ost->EncodingNeeded) continue;
    const int size = VideoOutput(*ost, ist, picture);
    if (!Options.VstatsFilename.empty() && size != 0) WriteVideoStats(*ost, size);
  }
}

void TCustomFFmpeg::DecodeSubtitle(int index, AVPacket* packet) {
  TranscodeTables& t = *Tables;
  TTranscodeInputStream& ist = *t.InputStreams[index];
  AVSubtitle subtitle{};
  int got = 0;
  if (ff::avcodec_decode_subtitle2(ist.Decoder, &subtitle, &got, packet) < 0) {
    const std::string message =
        Format("Error while decoding stream #%d.%d", ist.FileIndex, ist.Index);
    if (Options.ExitOnError) throw FFMpegException(message);
    if (Options.Verbose >= 0) Log(1, message);
    return;
  }
  if (!got) return;
  struct Free {
    AVSubtitle* s;
    ~Free() { ff::avsubtitle_free(s); }
  } release{&subtitle};
  const int64_t pts = packet->pts;
  for (auto& ost : t.OutputStreams) {
    if (ost->SourceIndex == index && ost->EncodingNeeded) SubtitleOutput(*ost, ist, subtitle, pts);
  }
}

void TCustomFFmpeg::SubtitleOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                                   const AVSubtitle& subtitle, int64_t pts) {
  if (pts == AV_NOPTS_VALUE) {
    if (Options.ExitOnError) throw FFMpegException("Subtitle packets must have a pts");
    Log(0, "Subtitle packets must have a pts");
    return;
  }
  if (SubtitleBuffer.empty()) SubtitleBuffer.resize(65536);
  const bool dvb = ost.Encoder->codec_id == AV_CODEC_ID_DVB_SUBTITLE;
  const int count = dvb ? 2 : 1;
  for (int i = 0; i < count; ++i) {
    AVSubtitle copy = subtitle;
    // The second DVB packet clears the display.
    if (i == 1) copy.num_rects = 0;
    const int size = ff::avcodec_encode_subtitle(ost.Encoder, SubtitleBuffer.data(),
                                                 static_cast<int>(SubtitleBuffer.size()), &copy);
    if (size < 0) throw FFMpegException("Subtitle encoding failed");
    PacketPtr packet(ff::av_packet_alloc());
    if (!packet || ff::av_new_packet(packet.get(), size) < 0) {
      throw FFMpegException("av_mallocz fail");
    }
    std::copy_n(SubtitleBuffer.data(), size, packet->data);
    const AVRational outBase = ost.Stream->time_base;
    packet->stream_index = ost.Stream->index;
    packet->pts = ff::av_rescale_q(pts, ist.Stream->time_base, outBase);
    if (dvb) {
      const uint32_t shown = i == 0 ? subtitle.start_display_time : subtitle.end_display_time;
      packet->pts += ff::av_rescale_q(shown, AVRational{1, 1000}, outBase);
    } else {
      packet->duration = ff::av_rescale_q(subtitle.end_display_time - subtitle.start_display_time,
                                          AVRational{1, 1000}, outBase);
    }
    packet->dts = packet->pts;
    WritePacket(ost, packet.get());
  }
}

void TCustomFFmpeg::FlushEncoders(int index) {
  for (auto& ost : Tables->OutputStreams) {
    if (ost->SourceIndex != index || !ost->EncodingNeeded || !ost->EncoderOpen) continue;
    const AVMediaType type = ost->Encoder->codec_type;
    if (type == AVMEDIA_TYPE_AUDIO) {
      EncodeAudioFifo(*ost, true);
      EncodeAndWrite(*ost, nullptr);
    } else if (type == AVMEDIA_TYPE_VIDEO) {
      FillToEnd(*ost);
      EncodeAndWrite(*ost, nullptr);
    }
  }
}

}  // namespace moskvid
