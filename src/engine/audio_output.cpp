// The audio path: keep the output in step with the input clock, convert
// channels, rate and sample format, and cut the samples into encoder frames
// through a FIFO.
#include <algorithm>
#include <cmath>

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

constexpr int kMaxSilenceBytes = 131072;  // the largest audio packet of 16-bit samples

AVChannelLayout FrameLayout(const AVFrame* frame) {
  AVChannelLayout layout{};
  if (frame->ch_layout.order == AV_CHANNEL_ORDER_UNSPEC) {
    ff::av_channel_layout_default(&layout, frame->ch_layout.nb_channels);
  } else {
    ff::av_channel_layout_copy(&layout, &frame->ch_layout);
  }
  return layout;
}

// Plane pointers of `frame` advanced by `offset` samples.
void PlanesAt(const AVFrame* frame, int offset, std::vector<const uint8_t*>& planes) {
  const auto format = static_cast<AVSampleFormat>(frame->format);
  const int bytes = ff::av_get_bytes_per_sample(format);
  const bool planar = ff::av_sample_fmt_is_planar(format) != 0;
  const int channels = frame->ch_layout.nb_channels;
  const size_t step = static_cast<size_t>(offset) * bytes * (planar ? 1 : channels);
  planes.clear();
  for (int p = 0; p < (planar ? channels : 1); ++p)
    planes.push_back(frame->extended_data[p] + step);
}

}  // namespace

void TCustomFFmpeg::PrepareResampler(TTranscodeOutputStream& ost, const AVFrame* frame) {
  AVCodecContext* enc = ost.Encoder;
  AVChannelLayout layout = FrameLayout(frame);
  const bool same = ost.Resampler && ost.ResamplerInFormat == frame->format &&
                    ost.ResamplerInRate == frame->sample_rate &&
                    ff::av_channel_layout_compare(&ost.ResamplerInLayout, &layout) == 0;
  if (same) {
    ff::av_channel_layout_uninit(&layout);
    return;
  }
  // The input changed in mid-stream: what the old converter holds goes first.
  if (ost.Resampler) DrainResampler(ost);
  SwrContext* raw = nullptr;
  ff::swr_alloc_set_opts2(&raw, &enc->ch_layout, enc->sample_fmt, enc->sample_rate, &layout,
                          static_cast<AVSampleFormat>(frame->format), frame->sample_rate, 0,
                          nullptr);
  SwrContextPtr resampler(raw);
  if (!resampler || ff::swr_init(resampler.get()) < 0) {
    const int channels = layout.nb_channels;
    ff::av_channel_layout_uninit(&layout);
    throw FFMpegException(Format("Can not resample %d channels @ %d Hz to %d channels @ %d Hz",
                                 channels, frame->sample_rate, enc->ch_layout.nb_channels,
                                 enc->sample_rate));
  }
  ost.Resampler = std::move(resampler);
  ost.ResamplerInFormat = static_cast<AVSampleFormat>(frame->format);
  ost.ResamplerInRate = frame->sample_rate;
  ff::av_channel_layout_uninit(&ost.ResamplerInLayout);
  ost.ResamplerInLayout = layout;
}

AVFrame* TCustomFFmpeg::ResampleBuffer(TTranscodeOutputStream& ost, int samples) {
  AVFrame* buffer = ost.ResampleFrame.get();
  if (!buffer) {
    ost.ResampleFrame.reset(ff::av_frame_alloc());
    buffer = ost.ResampleFrame.get();
    if (!buffer) throw FFMpegException("av_malloc failed");
  }
  if (ost.ResampleCapacity < samples) {
    ff::av_frame_unref(buffer);
    buffer->format = ost.Encoder->sample_fmt;
    ff::av_channel_layout_copy(&buffer->ch_layout, &ost.Encoder->ch_layout);
    buffer->sample_rate = ost.Encoder->sample_rate;
    buffer->nb_samples = samples;
    if (ff::av_frame_get_buffer(buffer, 0) < 0) throw FFMpegException("av_malloc failed");
    ost.ResampleCapacity = samples;
  }
  return buffer;
}

void TCustomFFmpeg::WriteToFifo(TTranscodeOutputStream& ost, uint8_t** data, int samples) {
  if (samples <= 0) return;
  if (ost.NextAudioPts == AV_NOPTS_VALUE) ost.NextAudioPts = ost.OutputPosition;
  // Nothing past the recording time is written.
  if (Options.RecordingTime != INT64_MAX) {
    const int64_t limit =
        ff::av_rescale(Options.RecordingTime, ost.Encoder->sample_rate, AV_TIME_BASE);
    const int64_t head = ost.NextAudioPts + ff::av_audio_fifo_size(ost.Fifo.get());
    if (limit - head <= samples) ost.ReachedEnd = true;
    samples = static_cast<int>(std::clamp<int64_t>(limit - head, 0, samples));
    if (samples == 0) return;
  }
  if (ff::av_audio_fifo_write(ost.Fifo.get(), reinterpret_cast<void**>(data), samples) < samples) {
    throw FFMpegException("av_fifo_realloc2() failed");
  }
}

void TCustomFFmpeg::DrainResampler(TTranscodeOutputStream& ost) {
  SwrContext* resampler = ost.Resampler.get();
  for (;;) {
    const int64_t pending = ff::swr_get_delay(resampler, ost.Encoder->sample_rate);
    if (pending <= 0) break;
    AVFrame* buffer = ResampleBuffer(ost, static_cast<int>(pending) + 32);
    const int produced = ff::swr_convert(resampler, buffer->data, ost.ResampleCapacity, nullptr, 0);
    if (produced <= 0) break;
    WriteToFifo(ost, buffer->data, produced);
  }
}

void TCustomFFmpeg::AudioOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                                const AVFrame* frame) {
  AVCodecContext* enc = ost.Encoder;
  const int outRate = enc->sample_rate;
  const int inRate = frame->sample_rate;
  const int inChannels = frame->ch_layout.nb_channels;
  if (outRate <= 0 || inRate <= 0 || inChannels <= 0 || frame->nb_samples <= 0) return;

  if (enc->ch_layout.nb_channels != inChannels) ost.AudioResampling = true;
  if (ost.AudioResampling || ost.Resampler || frame->format != enc->sample_fmt ||
      inRate != outRate || ff::av_channel_layout_compare(&enc->ch_layout, &frame->ch_layout) != 0) {
    PrepareResampler(ost, frame);
  }
  SwrContext* resampler = ost.Resampler.get();

  int skip = 0;
  const int samples = frame->nb_samples;
  double clock = static_cast<double>(ost.SyncInput->Pts - Options.InputStartTime) / AV_TIME_BASE;
  // Audio decoded from before the start position (a seek lands on the key
  // frame before it) is cut, so that the output starts where asked.
  if (clock < 0) {
    const int64_t cut = std::llround(-clock * inRate);
    if (cut >= samples) return;
    skip = static_cast<int>(cut);
    clock = 0;
  }
  const int64_t pending = ff::av_audio_fifo_size(ost.Fifo.get()) +
                          (resampler ? ff::swr_get_delay(resampler, outRate) : 0);
  int64_t silence = 0;

  if (Options.AudioSyncMethod != 0) {
    const double delta =
        clock * outRate - static_cast<double>(ost.OutputPosition) - static_cast<double>(pending);
    const double inputDelta = delta * inRate / outRate;
    if (std::fabs(delta) > 50) {
      if (ist.IsStart || std::fabs(delta) > Options.AudioDriftThreshold * outRate) {
        if (inputDelta < 0) {
          const int drop =
              std::min(samples - skip, static_cast<int>(std::min(-inputDelta, 2147483647.0)));
          skip += drop;
          if (Options.Verbose > 2) {
            LogF(1, "discarding %d audio samples", static_cast<int>(-delta));
          }
          if (skip >= samples) return;
          ist.IsStart = false;
        } else {
          // Silence is inserted up to the size of the largest packet; the rest
          // of a large gap follows with the next blocks.
          const int64_t maxInput = kMaxSilenceBytes / (2 * inChannels);
          int64_t inputSilence = static_cast<int64_t>(inputDelta);
          const int64_t size = samples - skip;
          if (inputSilence + size > maxInput) {
            inputSilence = std::max<int64_t>(maxInput - size, 0);
          } else {
            ist.IsStart = false;
          }
          silence = ff::av_rescale(inputSilence, outRate, inRate);
          if (Options.Verbose > 2) {
            LogF(1, "adding %d audio samples of silence", static_cast<int>(delta));
          }
        }
      } else if (Options.AudioSyncMethod > 1 && resampler) {
        const int compensation =
            std::clamp(static_cast<int>(delta), -Options.AudioSyncMethod, Options.AudioSyncMethod);
        if (Options.Verbose > 2) {
          LogF(1, "compensating audio timestamp drift:%f compensation:%d in:%d", delta,
               compensation, outRate);
        }
        ff::swr_set_compensation(resampler, compensation, outRate);
      }
    }
  } else {
    ost.OutputPosition = std::llround(clock * outRate) - pending;
    // A gap in the sound (a paused recording) keeps its time: what follows
    // is timed where it belongs, not right after what came before, which
    // would put it ahead of its pictures. What waits for a full frame goes
    // out first, completed with silence, at its own time.
    if (ost.NextAudioPts != AV_NOPTS_VALUE &&
        ost.OutputPosition - ost.NextAudioPts > Options.AudioDriftThreshold * outRate) {
      EncodeAudioFifo(ost, true, false);
      ost.OutputPosition =
          std::llround(clock * outRate) - (resampler ? ff::swr_get_delay(resampler, outRate) : 0);
      ost.NextAudioPts = ost.OutputPosition;
    }
  }

  if (silence > 0) {
    AVFrame* buffer = ResampleBuffer(ost, static_cast<int>(silence));
    ff::av_samples_set_silence(buffer->data, 0, static_cast<int>(silence),
                               enc->ch_layout.nb_channels, enc->sample_fmt);
    WriteToFifo(ost, buffer->data, static_cast<int>(silence));
  }

  std::vector<const uint8_t*> planes;
  PlanesAt(frame, skip, planes);
  const int count = samples - skip;
  if (resampler) {
    const int64_t capacity = ff::av_rescale_rnd(ff::swr_get_delay(resampler, inRate) + count,
                                                outRate, inRate, AV_ROUND_UP) +
                             32;
    AVFrame* buffer = ResampleBuffer(ost, static_cast<int>(capacity));
    const int produced = ff::swr_convert(resampler, buffer->data, ost.ResampleCapacity,
                                         const_cast<const uint8_t**>(planes.data()), count);
    if (produced < 0) {
      if (Options.ExitOnError) throw FFMpegException("av_audio_convert() failed");
      Log(0, "av_audio_convert() failed");
      return;
    }
    WriteToFifo(ost, buffer->data, produced);
  } else {
    WriteToFifo(ost, const_cast<uint8_t**>(planes.data()), count);
  }
  EncodeAudioFifo(ost, false);
}

void TCustomFFmpeg::EncodeAudioFifo(TTranscodeOutputStream& ost, bool flush, bool last) {
  AVCodecContext* enc = ost.Encoder;
  AVAudioFifo* fifo = ost.Fifo.get();
  if (flush && last && ost.Resampler) DrainResampler(ost);
  const bool variable =
      enc->frame_size <= 1 || (ost.Codec->capabilities & AV_CODEC_CAP_VARIABLE_FRAME_SIZE);

  auto encode = [&](int samples, int frameSize) {
    AVFrame* frame = ost.AudioFrame.get();
    if (frame->nb_samples != frameSize || !frame->buf[0]) {
      ff::av_frame_unref(frame);
      frame->format = enc->sample_fmt;
      ff::av_channel_layout_copy(&frame->ch_layout, &enc->ch_layout);
      frame->sample_rate = enc->sample_rate;
      frame->nb_samples = frameSize;
      if (ff::av_frame_get_buffer(frame, 0) < 0) throw FFMpegException("av_malloc failed");
    } else if (ff::av_frame_make_writable(frame) < 0) {
      throw FFMpegException("av_malloc failed");
    }
    ff::av_audio_fifo_read(fifo, reinterpret_cast<void**>(frame->data), samples);
    if (frameSize > samples) {
      ff::av_samples_set_silence(frame->data, samples, frameSize - samples,
                                 enc->ch_layout.nb_channels, enc->sample_fmt);
    }
    frame->pts = ost.NextAudioPts;
    ost.NextAudioPts += samples;
    ost.OutputPosition += samples;
    EncodeAndWrite(ost, frame);
  };

  if (variable) {
    const int available = ff::av_audio_fifo_size(fifo);
    if (available > 0) encode(available, available);
    return;
  }
  const int frameSize = enc->frame_size;
  while (ff::av_audio_fifo_size(fifo) >= frameSize)
    encode(frameSize, frameSize);
  const int rest = ff::av_audio_fifo_size(fifo);
  if (flush && rest > 0) {
    // A short last frame where the encoder takes one; otherwise, and before
    // a gap, the frame is completed with silence, so that no sample is lost.
    const bool small = last && (ost.Codec->capabilities & AV_CODEC_CAP_SMALL_LAST_FRAME);
    encode(rest, small ? rest : frameSize);
  }
}

}  // namespace moskvid
