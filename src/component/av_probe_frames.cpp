// Seeking and single-frame decoding of the probe.
#include <cstring>

#include "component/av_probe.h"
#include "component/probe_log.h"
#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/stream_choice.h"

namespace moskvid {

namespace {

// Formats that hold one picture: decoded once, never sought.
bool IsStillFormat(const AVFormatContext* context) {
  if (!context || !context->iformat) return false;
  const std::string name = LowerCase(context->iformat->name);
  return name == "image2" || (name.size() > 5 && name.compare(name.size() - 5, 5, "_pipe") == 0);
}

}  // namespace

bool TAVProbe::Seek(int stream, int64_t microseconds) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (!context_) {
    lastError_ = "file not loaded.";
    return false;
  }
  if (!ownsContext_) {
    ProbeLog(AV_LOG_ERROR, "file cannot be seeked, handle is readonly.\n");
    lastError_ = "file cannot be seeked, handle is readonly.";
    throw FFMpegException(lastError_);
  }
  touched_ = true;
  if (IsStillFormat(context_)) {
    ProbeLog(AV_LOG_INFO, Format("\"%s\" format cannot to be seeked.\n", context_->iformat->name));
    return true;
  }
  if (microseconds < 0) microseconds = 0;
  if (stream == -1) {
    stream = FirstVideo >= 0 ? FirstVideo : (FirstAudio >= 0 ? FirstAudio : FirstSubtitle);
  }
  if (stream >= StreamCount) {
    ProbeLog(AV_LOG_WARNING, Format("stream index #%d is invalid.\n", stream));
    return false;
  }
  int64_t time = microseconds;
  int64_t start = AV_NOPTS_VALUE;
  if (stream < 0) {
    if (context_->duration > 0 && time > context_->duration) time = context_->duration;
    start = context_->start_time;
  } else {
    const AVStream* s = context_->streams[stream];
    time = ff::av_rescale_q(microseconds, AV_TIME_BASE_Q, s->time_base);
    if (s->duration > 0 && time > s->duration) time = s->duration;
    start = s->start_time;
  }
  const int64_t target = start == AV_NOPTS_VALUE ? time : time + start;
  if (decoder_) ff::avcodec_flush_buffers(decoder_.get());
  int result = microseconds > 0 ? ff::av_seek_frame(context_, stream, target, 0)
                                : ff::av_seek_frame(context_, stream, target, AVSEEK_FLAG_BACKWARD);
  // No key frame after the target (the last group of pictures, or a file
  // with a single one): the one before it, so that the decoder starts from
  // a key frame instead of running dry on pictures it cannot decode.
  if (result < 0 && microseconds > 0) {
    result = ff::av_seek_frame(context_, stream, target, AVSEEK_FLAG_BACKWARD);
  }
  if (result < 0) {
    ProbeLog(AV_LOG_WARNING, Format("could not seek to position %0.3f\n",
                                    static_cast<double>(microseconds) / AV_TIME_BASE));
  }
  return true;
}

AVCodecContext* TAVProbe::DecoderFor(int stream) {
  if (decoder_ && decoderStream_ == stream) return decoder_.get();
  decoder_.reset();
  decoderStream_ = -1;
  const AVCodecParameters* parameters = context_->streams[stream]->codecpar;
  const AVCodec* codec = ff::avcodec_find_decoder(parameters->codec_id);
  if (!codec) {
    throw FFMpegException(Format("Unsupported codec (id=%d) for input file stream #%d",
                                 parameters->codec_id, stream));
  }
  CodecContextPtr decoder(ff::avcodec_alloc_context3(codec));
  if (!decoder || ff::avcodec_parameters_to_context(decoder.get(), parameters) < 0) {
    throw FFMpegException(Format("Error while opening codec for input file stream #%d", stream));
  }
  decoder->pkt_timebase = context_->streams[stream]->time_base;
  // A damaged stream can switch to a picture of hundreds of millions of
  // pixels in mid-stream; the decoder refuses those instead of the probe
  // holding gigabytes for a preview.
  decoder->max_pixels = kMaxPicturePixels;
  int opened;
  {
    std::lock_guard<std::mutex> codecs(CodecLock());
    opened = ff::avcodec_open2(decoder.get(), codec, nullptr);
  }
  if (opened < 0) {
    throw FFMpegException(Format("Error while opening codec for input file stream #%d", stream));
  }
  decoder_ = std::move(decoder);
  decoderStream_ = stream;
  return decoder_.get();
}

void TAVProbe::FillFrame(const AVFrame* picture) {
  // A picture a player turns is drawn as stored first, then turned.
  const int rotation = DisplayRotation(context_->streams[decoderStream_]);
  TBitmap24& target = rotation ? stored_ : frame_;
  target.SetSize(picture->width, picture->height);
  uint8_t* rows[4] = {target.ScanLine(0), nullptr, nullptr, nullptr};
  int strides[4] = {target.Stride(), 0, 0, 0};
  if (picture->format == AV_PIX_FMT_BGR24) {
    for (int y = 0; y < picture->height; ++y) {
      std::memcpy(target.ScanLine(y), picture->data[0] + y * picture->linesize[0],
                  static_cast<size_t>(target.Stride()));
    }
  } else {
    converter_ = ff::sws_getCachedContext(
        converter_, picture->width, picture->height, static_cast<AVPixelFormat>(picture->format),
        picture->width, picture->height, AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
    if (!converter_) {
      ProbeLog(AV_LOG_ERROR, "Cannot initialize the toRGB conversion context\n");
      target.Fill(0, 0, 0);
    } else {
      ff::sws_scale(converter_, picture->data, picture->linesize, 0, picture->height, rows,
                    strides);
    }
  }
  if (rotation) RotateClockwise(stored_, rotation, frame_);
}

const TBitmap24& TAVProbe::DecodeNextFrame(int stream) {
  std::lock_guard<std::recursive_mutex> lock(lock_);
  if (context_ && !ownsContext_) {
    ProbeLog(AV_LOG_ERROR, "frame cannot be read, handle is readonly.\n");
    throw FFMpegException("frame cannot be read, handle is readonly.");
  }
  if (!context_) {
    ProbeLog(AV_LOG_WARNING, "file not loaded.\n");
    frame_.SetSize(0, 0);
    return frame_;
  }
  touched_ = true;
  if (stream == -1) stream = FirstVideo >= 0 ? FirstVideo : CoverStream;
  if (stream < 0) {
    ProbeLog(AV_LOG_WARNING, "no video stream.\n");
    frame_.SetSize(0, 0);
    return frame_;
  }
  if (stream >= StreamCount) {
    ProbeLog(AV_LOG_WARNING, Format("stream index #%d is invalid.\n", stream));
    frame_.SetSize(0, 0);
    return frame_;
  }
  if (!IsVideoStream(stream)) {
    ProbeLog(AV_LOG_WARNING, Format("stream #%d is not video stream.\n", stream));
    frame_.SetSize(0, 0);
    return frame_;
  }
  if (stillImage_ && IsStillFormat(context_)) return frame_;
  const AVCodecParameters* parameters = context_->streams[stream]->codecpar;
  if (parameters->width == 0 || parameters->height == 0) {
    frame_.SetSize(0, 0);
    return frame_;
  }
  if (static_cast<int64_t>(parameters->width) * parameters->height > kMaxPicturePixels) {
    lastError_ = Format("The picture of %dx%d is too large to preview", parameters->width,
                        parameters->height);
    ProbeLog(AV_LOG_WARNING, lastError_ + "\n");
    frame_.SetSize(0, 0);
    return frame_;
  }
  AVCodecContext* decoder = nullptr;
  try {
    decoder = DecoderFor(stream);
  } catch (const FFMpegException& error) {
    // A stream no decoder here can read is a file without pictures, not a
    // fault of the caller.
    lastError_ = error.what();
    ProbeLog(AV_LOG_ERROR, lastError_ + "\n");
    frame_.SetSize(0, 0);
    return frame_;
  }

  PacketPtr packet(ff::av_packet_alloc());
  FramePtr picture(ff::av_frame_alloc());
  if (!packet || !picture) throw FFMpegException("av_mallocz fail");
  bool got = false;
  bool ended = false;
  const AVStream* s = context_->streams[stream];
  if (IsCoverPicture(s)) {
    // A cover is one picture kept with the header: decoded from there, the
    // same every time, without reading the file.
    ff::avcodec_flush_buffers(decoder);
    if (ff::av_packet_ref(packet.get(), &s->attached_pic) >= 0) {
      ff::avcodec_send_packet(decoder, packet.get());
      ff::avcodec_send_packet(decoder, nullptr);
      got = ff::avcodec_receive_frame(decoder, picture.get()) >= 0;
    }
    ended = true;
  }
  while (!got) {
    if (!ended) {
      const int read = ff::av_read_frame(context_, packet.get());
      if (read < 0) {
        ProbeLog(AV_LOG_INFO, "stream eof reached.\n");
        ended = true;
        ff::avcodec_send_packet(decoder, nullptr);  // what the decoder still holds
      } else if (packet->stream_index != stream) {
        ff::av_packet_unref(packet.get());
        continue;
      } else {
        ff::avcodec_send_packet(decoder, packet.get());
        ff::av_packet_unref(packet.get());
      }
    }
    const int received = ff::avcodec_receive_frame(decoder, picture.get());
    if (received >= 0) {
      got = true;
    } else if (ended) {
      break;
    }
  }
  if (!got) {
    // No picture: none, rather than a black one of the size the header
    // claims, which a damaged file can make hundreds of megabytes.
    frame_.SetSize(0, 0);
    return frame_;
  }
  FillFrame(picture.get());
  lastFrame_ = frame_;
  stillImage_ = IsStillFormat(context_);
  return frame_;
}

}  // namespace moskvid
