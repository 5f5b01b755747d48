// Owning handles for media library objects. Every deleter calls through the
// entry-point tables, so an object must be released while the libraries are
// loaded (they stay loaded until the process ends).
#pragma once

#include <memory>

#include "binding/entry_points.h"

namespace moskvid {

struct CodecContextDeleter {
  void operator()(AVCodecContext* context) const { ff::avcodec_free_context(&context); }
};
using CodecContextPtr = std::unique_ptr<AVCodecContext, CodecContextDeleter>;

struct FrameDeleter {
  void operator()(AVFrame* frame) const { ff::av_frame_free(&frame); }
};
using FramePtr = std::unique_ptr<AVFrame, FrameDeleter>;

struct PacketDeleter {
  void operator()(AVPacket* packet) const { ff::av_packet_free(&packet); }
};
using PacketPtr = std::unique_ptr<AVPacket, PacketDeleter>;

// An input opened with avformat_open_input.
struct InputContextDeleter {
  void operator()(AVFormatContext* context) const { ff::avformat_close_input(&context); }
};
using InputContextPtr = std::unique_ptr<AVFormatContext, InputContextDeleter>;

// A context that was allocated but never opened as an input, or an output.
// An output's byte stream is closed separately (it may need the trailer first).
struct FormatContextDeleter {
  void operator()(AVFormatContext* context) const { ff::avformat_free_context(context); }
};
using FormatContextPtr = std::unique_ptr<AVFormatContext, FormatContextDeleter>;

struct SwsContextDeleter {
  void operator()(SwsContext* context) const { ff::sws_freeContext(context); }
};
using SwsContextPtr = std::unique_ptr<SwsContext, SwsContextDeleter>;

struct SwrContextDeleter {
  void operator()(SwrContext* context) const { ff::swr_free(&context); }
};
using SwrContextPtr = std::unique_ptr<SwrContext, SwrContextDeleter>;

struct AudioFifoDeleter {
  void operator()(AVAudioFifo* fifo) const { ff::av_audio_fifo_free(fifo); }
};
using AudioFifoPtr = std::unique_ptr<AVAudioFifo, AudioFifoDeleter>;

struct FilterGraphDeleter {
  void operator()(AVFilterGraph* graph) const { ff::avfilter_graph_free(&graph); }
};
using FilterGraphPtr = std::unique_ptr<AVFilterGraph, FilterGraphDeleter>;

struct BsfContextDeleter {
  void operator()(AVBSFContext* context) const { ff::av_bsf_free(&context); }
};
using BsfContextPtr = std::unique_ptr<AVBSFContext, BsfContextDeleter>;

struct DictionaryDeleter {
  void operator()(AVDictionary* dictionary) const { ff::av_dict_free(&dictionary); }
};
using DictionaryPtr = std::unique_ptr<AVDictionary, DictionaryDeleter>;

// Memory from av_malloc.
struct AvFreeDeleter {
  void operator()(void* memory) const { ff::av_free(memory); }
};
template <typename T>
using AvMemoryPtr = std::unique_ptr<T, AvFreeDeleter>;

struct SubtitleDeleter {
  void operator()(AVSubtitle* subtitle) const {
    ff::avsubtitle_free(subtitle);
    delete subtitle;
  }
};
using SubtitlePtr = std::unique_ptr<AVSubtitle, SubtitleDeleter>;

}  // namespace moskvid
