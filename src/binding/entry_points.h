// Entry-point tables of the media libraries.
//
// The libraries are loaded at run time (media_loader.h); nothing in Moskvid
// links them. Each library has one table of function pointers, declared from
// the X-macro lists below with the signatures of the headers, and filled by
// name in list order. Code calls them through the `ff` namespace:
// `ff::av_read_frame(ctx, pkt)`. A plain call to the library function would
// need the library at link time, and so fails to link.
#pragma once

#include <utility>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavcodec/bsf.h>
#include <libavfilter/avfilter.h>
#include <libavfilter/buffersink.h>
#include <libavfilter/buffersrc.h>
#include <libavformat/avformat.h>
#include <libavutil/audio_fifo.h>
#include <libavutil/channel_layout.h>
#include <libavutil/dict.h>
#include <libavutil/display.h>
#include <libavutil/imgutils.h>
#include <libavutil/opt.h>
#include <libavutil/parseutils.h>
#include <libavutil/pixdesc.h>
#include <libavutil/samplefmt.h>
#include <libavutil/time.h>
#include <libswresample/swresample.h>
#include <libswscale/swscale.h>
}

// clang-format off
#define MOSKVID_AVCODEC_ENTRY_POINTS(X) \
  X(avcodec_version) \
  X(avcodec_find_encoder) \
  X(avcodec_find_decoder) \
  X(avcodec_find_encoder_by_name) \
  X(avcodec_find_decoder_by_name) \
  X(avcodec_alloc_context3) \
  X(avcodec_free_context) \
  X(avcodec_open2) \
  X(avcodec_parameters_from_context) \
  X(avcodec_parameters_to_context) \
  X(avcodec_parameters_copy) \
  X(avcodec_send_packet) \
  X(avcodec_receive_frame) \
  X(avcodec_send_frame) \
  X(avcodec_receive_packet) \
  X(avcodec_flush_buffers) \
  X(avcodec_decode_subtitle2) \
  X(avcodec_encode_subtitle) \
  X(avsubtitle_free) \
  X(avcodec_get_name) \
  X(avcodec_string) \
  X(avcodec_get_class) \
  X(av_codec_iterate) \
  X(av_codec_is_encoder) \
  X(av_get_bits_per_sample) \
  X(av_get_exact_bits_per_sample) \
  X(av_packet_alloc) \
  X(av_packet_free) \
  X(av_packet_unref) \
  X(av_packet_ref) \
  X(av_packet_clone) \
  X(av_packet_rescale_ts) \
  X(av_packet_get_side_data) \
  X(av_new_packet) \
  X(av_bsf_get_by_name) \
  X(av_bsf_alloc) \
  X(av_bsf_init) \
  X(av_bsf_send_packet) \
  X(av_bsf_receive_packet) \
  X(av_bsf_free) \
  X(av_bsf_list_parse_str)

#define MOSKVID_AVFILTER_ENTRY_POINTS(X) \
  X(avfilter_version) \
  X(avfilter_graph_alloc) \
  X(avfilter_graph_free) \
  X(avfilter_get_by_name) \
  X(avfilter_graph_create_filter) \
  X(avfilter_link) \
  X(avfilter_inout_alloc) \
  X(avfilter_inout_free) \
  X(avfilter_graph_parse_ptr) \
  X(avfilter_graph_config) \
  X(av_buffersrc_add_frame_flags) \
  X(av_buffersink_get_frame) \
  X(av_buffersink_get_w) \
  X(av_buffersink_get_h) \
  X(av_buffersink_get_format) \
  X(av_buffersink_get_time_base) \
  X(av_buffersink_get_frame_rate)

#define MOSKVID_AVFORMAT_ENTRY_POINTS(X) \
  X(avformat_version) \
  X(avformat_alloc_context) \
  X(avformat_free_context) \
  X(avformat_open_input) \
  X(avformat_find_stream_info) \
  X(avformat_close_input) \
  X(av_find_input_format) \
  X(av_guess_format) \
  X(av_guess_codec) \
  X(avformat_new_stream) \
  X(av_filename_number_test) \
  X(av_get_frame_filename) \
  X(avio_open) \
  X(avio_closep) \
  X(avio_size) \
  X(avio_seek) \
  X(avio_alloc_context) \
  X(avio_context_free) \
  X(avio_flush) \
  X(avio_find_protocol_name) \
  X(avformat_write_header) \
  X(av_interleaved_write_frame) \
  X(av_write_frame) \
  X(av_stream_get_side_data) \
  X(av_stream_new_side_data) \
  X(av_write_trailer) \
  X(av_read_frame) \
  X(av_seek_frame) \
  X(av_dump_format) \
  X(av_sdp_create) \
  X(av_pkt_dump_log2) \
  X(av_codec_get_tag) \
  X(av_codec_get_id) \
  X(avformat_get_class) \
  X(av_muxer_iterate) \
  X(av_demuxer_iterate) \
  X(av_probe_input_buffer2)

#define MOSKVID_AVUTIL_ENTRY_POINTS(X) \
  X(avutil_version) \
  X(av_display_rotation_get) \
  X(av_log) \
  X(av_log_set_callback) \
  X(av_log_default_callback) \
  X(av_log_get_level) \
  X(av_log_set_level) \
  X(av_malloc) \
  X(av_mallocz) \
  X(av_free) \
  X(av_freep) \
  X(av_strdup) \
  X(av_strerror) \
  X(av_rescale_q) \
  X(av_rescale_q_rnd) \
  X(av_rescale) \
  X(av_rescale_rnd) \
  X(av_reduce) \
  X(av_gcd) \
  X(av_gettime) \
  X(av_gettime_relative) \
  X(av_parse_video_size) \
  X(av_parse_video_rate) \
  X(av_parse_time) \
  X(av_opt_find) \
  X(av_opt_set) \
  X(av_opt_get) \
  X(av_opt_set_int) \
  X(av_opt_get_int) \
  X(av_opt_set_bin) \
  X(av_dict_set) \
  X(av_dict_get) \
  X(av_dict_free) \
  X(av_dict_copy) \
  X(av_frame_alloc) \
  X(av_frame_free) \
  X(av_frame_unref) \
  X(av_frame_ref) \
  X(av_frame_get_buffer) \
  X(av_frame_make_writable) \
  X(av_frame_is_writable) \
  X(av_frame_copy_props) \
  X(av_frame_get_side_data) \
  X(av_frame_new_side_data) \
  X(av_frame_remove_side_data) \
  X(av_image_get_buffer_size) \
  X(av_image_fill_arrays) \
  X(av_image_copy) \
  X(av_get_pix_fmt) \
  X(av_get_pix_fmt_name) \
  X(av_get_pix_fmt_string) \
  X(av_pix_fmt_desc_get) \
  X(av_get_sample_fmt) \
  X(av_get_sample_fmt_name) \
  X(av_get_sample_fmt_string) \
  X(av_get_bytes_per_sample) \
  X(av_sample_fmt_is_planar) \
  X(av_samples_set_silence) \
  X(av_audio_fifo_alloc) \
  X(av_audio_fifo_free) \
  X(av_audio_fifo_write) \
  X(av_audio_fifo_read) \
  X(av_audio_fifo_size) \
  X(av_audio_fifo_realloc) \
  X(av_audio_fifo_drain) \
  X(av_channel_layout_default) \
  X(av_channel_layout_copy) \
  X(av_channel_layout_uninit) \
  X(av_channel_layout_compare) \
  X(av_channel_layout_describe) \
  X(av_get_picture_type_char) \
  X(av_get_media_type_string)

#define MOSKVID_SWSCALE_ENTRY_POINTS(X) \
  X(swscale_version) \
  X(sws_getContext) \
  X(sws_getCachedContext) \
  X(sws_alloc_context) \
  X(sws_init_context) \
  X(sws_scale_frame) \
  X(sws_freeContext) \
  X(sws_scale) \
  X(sws_get_class)

#define MOSKVID_SWRESAMPLE_ENTRY_POINTS(X) \
  X(swresample_version) \
  X(swr_alloc_set_opts2) \
  X(swr_init) \
  X(swr_free) \
  X(swr_convert) \
  X(swr_set_compensation) \
  X(swr_get_delay)
// clang-format on

namespace moskvid::binding {

#define MOSKVID_DECLARE_SLOT(name) decltype(&::name) name = nullptr;

struct AvCodecEntryPoints {
  MOSKVID_AVCODEC_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};
struct AvFilterEntryPoints {
  MOSKVID_AVFILTER_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};
struct AvFormatEntryPoints {
  MOSKVID_AVFORMAT_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};
struct AvUtilEntryPoints {
  MOSKVID_AVUTIL_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};
struct SwScaleEntryPoints {
  MOSKVID_SWSCALE_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};
struct SwResampleEntryPoints {
  MOSKVID_SWRESAMPLE_ENTRY_POINTS(MOSKVID_DECLARE_SLOT)
};

#undef MOSKVID_DECLARE_SLOT

// Process-wide slots: written only while loading (on the main thread before
// any conversion), read afterwards from every thread.
extern AvCodecEntryPoints gAvCodec;
extern AvFilterEntryPoints gAvFilter;
extern AvFormatEntryPoints gAvFormat;
extern AvUtilEntryPoints gAvUtil;
extern SwScaleEntryPoints gSwScale;
extern SwResampleEntryPoints gSwResample;

}  // namespace moskvid::binding

// Calls into the libraries under their published names.
namespace ff {

#define MOSKVID_FORWARD(table, name)                                    \
  template <typename... Args>                                           \
  inline decltype(auto) name(Args&&... args) {                          \
    return ::moskvid::binding::table.name(std::forward<Args>(args)...); \
  }
#define MOSKVID_FORWARD_AVCODEC(name) MOSKVID_FORWARD(gAvCodec, name)
#define MOSKVID_FORWARD_AVFILTER(name) MOSKVID_FORWARD(gAvFilter, name)
#define MOSKVID_FORWARD_AVFORMAT(name) MOSKVID_FORWARD(gAvFormat, name)
#define MOSKVID_FORWARD_AVUTIL(name) MOSKVID_FORWARD(gAvUtil, name)
#define MOSKVID_FORWARD_SWSCALE(name) MOSKVID_FORWARD(gSwScale, name)
#define MOSKVID_FORWARD_SWRESAMPLE(name) MOSKVID_FORWARD(gSwResample, name)

MOSKVID_AVCODEC_ENTRY_POINTS(MOSKVID_FORWARD_AVCODEC)
MOSKVID_AVFILTER_ENTRY_POINTS(MOSKVID_FORWARD_AVFILTER)
MOSKVID_AVFORMAT_ENTRY_POINTS(MOSKVID_FORWARD_AVFORMAT)
MOSKVID_AVUTIL_ENTRY_POINTS(MOSKVID_FORWARD_AVUTIL)
MOSKVID_SWSCALE_ENTRY_POINTS(MOSKVID_FORWARD_SWSCALE)
MOSKVID_SWRESAMPLE_ENTRY_POINTS(MOSKVID_FORWARD_SWRESAMPLE)

#undef MOSKVID_FORWARD_AVCODEC
#undef MOSKVID_FORWARD_AVFILTER
#undef MOSKVID_FORWARD_AVFORMAT
#undef MOSKVID_FORWARD_AVUTIL
#undef MOSKVID_FORWARD_SWSCALE
#undef MOSKVID_FORWARD_SWRESAMPLE
#undef MOSKVID_FORWARD

}  // namespace ff
