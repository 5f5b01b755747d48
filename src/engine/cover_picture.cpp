#include "engine/cover_picture.h"
#include "engine/picture_ops.h"

#include <cstring>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"

namespace moskvid {

namespace {

bool PlayersShow(AVCodecID codec) {
  return codec == AV_CODEC_ID_MJPEG || codec == AV_CODEC_ID_PNG;
}

// Decodes the stored picture and encodes it as PNG with `encoding`.
PacketPtr RecodeAsPng(const AVStream* stream, CodecContextPtr& encoding, std::string& error) {
  const AVCodec* decoder = ff::avcodec_find_decoder(stream->codecpar->codec_id);
  const AVCodec* encoder = ff::avcodec_find_encoder(AV_CODEC_ID_PNG);
  if (!decoder || !encoder) {
    error = "no decoder for the cover picture";
    return nullptr;
  }
  CodecContextPtr decoding(ff::avcodec_alloc_context3(decoder));
  FramePtr picture(ff::av_frame_alloc());
  FramePtr converted(ff::av_frame_alloc());
  PacketPtr packet(ff::av_packet_alloc());
  if (!decoding || !picture || !converted || !packet ||
      ff::avcodec_parameters_to_context(decoding.get(), stream->codecpar) < 0) {
    error = "out of memory";
    return nullptr;
  }
  decoding->max_pixels = kMaxPicturePixels;
  int result;
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    result = ff::avcodec_open2(decoding.get(), decoder, nullptr);
  }
  if (result >= 0 && (result = ff::av_packet_ref(packet.get(), &stream->attached_pic)) >= 0 &&
      (result = ff::avcodec_send_packet(decoding.get(), packet.get())) >= 0) {
    ff::avcodec_send_packet(decoding.get(), nullptr);
    result = ff::avcodec_receive_frame(decoding.get(), picture.get());
  }
  if (result < 0) {
    error = "the cover picture cannot be read: " + LibraryErrorText(result);
    return nullptr;
  }

  // PNG takes RGB; one conversion serves every source format.
  converted->width = picture->width;
  converted->height = picture->height;
  converted->format = AV_PIX_FMT_RGB24;
  SwsContextPtr scaler(ff::sws_getContext(
      picture->width, picture->height, static_cast<AVPixelFormat>(picture->format), picture->width,
      picture->height, AV_PIX_FMT_RGB24, SWS_BICUBIC, nullptr, nullptr, nullptr));
  if (!scaler || ff::av_frame_get_buffer(converted.get(), 0) < 0 ||
      ff::sws_scale_frame(scaler.get(), converted.get(), picture.get()) < 0) {
    error = "the cover picture cannot be converted";
    return nullptr;
  }
  encoding.reset(ff::avcodec_alloc_context3(encoder));
  if (!encoding) {
    error = "out of memory";
    return nullptr;
  }
  encoding->width = converted->width;
  encoding->height = converted->height;
  encoding->pix_fmt = AV_PIX_FMT_RGB24;
  encoding->time_base = AVRational{1, 25};
  {
    std::lock_guard<std::mutex> lock(CodecLock());
    result = ff::avcodec_open2(encoding.get(), encoder, nullptr);
  }
  ff::av_packet_unref(packet.get());
  if (result >= 0 && (result = ff::avcodec_send_frame(encoding.get(), converted.get())) >= 0) {
    ff::avcodec_send_frame(encoding.get(), nullptr);
    result = ff::avcodec_receive_packet(encoding.get(), packet.get());
  }
  if (result < 0) {
    error = "the cover picture cannot be made into PNG";
    return nullptr;
  }
  return packet;
}

}  // namespace

bool MuxerHoldsCover(const AVOutputFormat* format) {
  for (const char* name : {"mp3", "ipod", "mp4", "mov"}) {
    if (std::strcmp(format->name, name) == 0) return true;
  }
  return false;
}

PacketPtr AddCoverStream(AVFormatContext* output, const AVStream* source, std::string& error) {
  if (source->attached_pic.size <= 0) {
    error = "the cover picture is empty";
    return nullptr;
  }
  PacketPtr packet;
  CodecContextPtr encoding;
  if (PlayersShow(source->codecpar->codec_id)) {
    packet.reset(ff::av_packet_alloc());
    if (!packet || ff::av_packet_ref(packet.get(), &source->attached_pic) < 0) packet.reset();
  } else {
    packet = RecodeAsPng(source, encoding, error);
    if (!packet) return nullptr;
  }
  AVStream* stream = packet ? ff::avformat_new_stream(output, nullptr) : nullptr;
  if (!stream || (encoding ? ff::avcodec_parameters_from_context(stream->codecpar, encoding.get())
                           : ff::avcodec_parameters_copy(stream->codecpar, source->codecpar)) < 0) {
    // A stream made here and not filled would fail the header.
    throw FFMpegException("Could not alloc stream");
  }
  stream->codecpar->codec_tag = 0;
  stream->disposition = AV_DISPOSITION_ATTACHED_PIC;
  stream->time_base = AVRational{1, 90000};
  packet->stream_index = stream->index;
  packet->pts = packet->dts = 0;
  packet->flags |= AV_PKT_FLAG_KEY;
  return packet;
}

}  // namespace moskvid
