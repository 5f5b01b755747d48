#include "engine/filter_chain.h"

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

struct InOutDeleter {
  void operator()(AVFilterInOut* inOut) const { ff::avfilter_inout_free(&inOut); }
};
using InOutPtr = std::unique_ptr<AVFilterInOut, InOutDeleter>;

// Creates a filter instance and links it after `last`.
bool Append(AVFilterGraph* graph, AVFilterContext*& last, const char* filter, const char* name,
            const std::string& args) {
  AVFilterContext* context = nullptr;
  if (ff::avfilter_graph_create_filter(&context, ff::avfilter_get_by_name(filter), name,
                                       args.c_str(), nullptr, graph) < 0) {
    return false;
  }
  if (ff::avfilter_link(last, 0, context, 0) < 0) return false;
  last = context;
  return true;
}

}  // namespace

int LinkFilterText(AVFilterGraph* graph, AVFilterContext* source, AVFilterContext* sink,
                   const std::string& filters) {
  InOutPtr outputs(ff::avfilter_inout_alloc());
  InOutPtr inputs(ff::avfilter_inout_alloc());
  if (!outputs || !inputs) return AVERROR(ENOMEM);
  outputs->name = ff::av_strdup("in");
  outputs->filter_ctx = source;
  inputs->name = ff::av_strdup("out");
  inputs->filter_ctx = sink;
  AVFilterInOut* in = inputs.release();
  AVFilterInOut* out = outputs.release();
  const int result = ff::avfilter_graph_parse_ptr(graph, filters.c_str(), &in, &out, nullptr);
  ff::avfilter_inout_free(&in);
  ff::avfilter_inout_free(&out);
  return result;
}

int ConfigureFilters(TCustomFFmpeg& engine, TTranscodeInputStream& ist,
                     TTranscodeOutputStream& ost) {
  const EngineOptions& o = engine.Options;
  if (o.CropTop || o.CropBottom || o.CropLeft || o.CropRight) {
    engine.ErrorText = "Cannot enable crop options and filters at the same time.";
    return -1;
  }
  AVCodecContext* enc = ost.Encoder;
  FilterGraphPtr graph(ff::avfilter_graph_alloc());
  if (!graph) return -1;

  // The chain gets the pictures as shown: turned, tone-mapped, deinterlaced.
  AVRational aspect = ist.ShownAspect;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
  std::string sourceArgs =
      Format("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", ist.ShownWidth,
             ist.ShownHeight, ist.ShownFormat, AV_TIME_BASE, aspect.num, aspect.den);
  // Rate-changing filters (yadif=1, fps) work from the rate that goes in.
  AVRational sourceRate = ist.Stream->r_frame_rate;
  if (sourceRate.num <= 0 || sourceRate.den <= 0) sourceRate = ist.Stream->avg_frame_rate;
  if (sourceRate.num > 0 && sourceRate.den > 0) {
    sourceArgs += Format(":frame_rate=%d/%d", sourceRate.num, sourceRate.den);
  }
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  if (ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "src",
                                       sourceArgs.c_str(), nullptr, graph.get()) < 0 ||
      ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                       nullptr, nullptr, graph.get()) < 0) {
    return -1;
  }
  const AVPixelFormat formats[] = {enc->pix_fmt, AV_PIX_FMT_NONE};
  if (ff::av_opt_set_bin(sink, "pix_fmts", reinterpret_cast<const uint8_t*>(formats),
                         sizeof(formats[0]), AV_OPT_SEARCH_CHILDREN) < 0) {
    return -1;
  }

  const int padWidth = o.PadLeft + o.PadRight;
  const int padHeight = o.PadTop + o.PadBottom;
  AVFilterContext* last = source;
  // What the chain does, in the filter graph syntax, for its messages.
  std::string text;
  if (ost.VideoCrop) {
    const std::string args = Format("%d:%d:%d:%d", enc->width - padWidth, enc->height - padHeight,
                                    ost.CropLeftColumns, ost.CropTopRows);
    if (!Append(graph.get(), last, "crop", "crop", args)) return -1;
    text = "crop=" + args;
  }
  if (enc->width != ist.ShownWidth + padWidth - o.CropLeft - o.CropRight ||
      enc->height != ist.ShownHeight + padHeight - o.CropTop - o.CropBottom) {
    const std::string args =
        Format("%d:%d:flags=%u", enc->width - padWidth, enc->height - padHeight, o.SwsFlags);
    if (!Append(graph.get(), last, "scale", "scale", args)) return -1;
    text += (text.empty() ? "scale=" : ",scale=") + args;
  }
  if (!o.vfilters.empty()) text += (text.empty() ? "" : ",") + o.vfilters;

  if (!o.vfilters.empty()) {
    const int result = LinkFilterText(graph.get(), last, sink, o.vfilters);
    if (result == AVERROR(ENOMEM)) return -1;
    if (result < 0) {
      engine.ErrorText = Format("cannot parse \"%s\"", o.vfilters.c_str());
      return -1;
    }
  } else if (ff::avfilter_link(last, 0, sink, 0) < 0) {
    return -1;
  }
  if (ff::avfilter_graph_config(graph.get(), nullptr) < 0) return -1;

  const int width = ff::av_buffersink_get_w(sink);
  const int height = ff::av_buffersink_get_h(sink);
  if (padWidth + padHeight != 0 && (width != o.PictureWidth || height != o.PictureHeight)) {
    engine.ErrorText =
        "Cannot enable pad options and the filters which resize frame at the same time. (crop, "
        "rotate, scale, transpose, etc.)";
    return -1;
  }
  // Unless a rate was asked for, the encoder takes the rate the chain makes.
  const AVRational sinkRate = ff::av_buffersink_get_frame_rate(sink);
  const bool chosen = engine.OutputFiles[ost.FileIndex].Streams[ost.Index].FrameRateChosen;
  const AVCodec* codec = ost.Codec ? ost.Codec : ff::avcodec_find_encoder(enc->codec_id);
  const bool fixedRates = codec && codec->supported_framerates;
  if (!chosen && !fixedRates && sinkRate.num > 0 && sinkRate.den > 0 &&
      av_cmp_q(sinkRate, sourceRate) != 0) {
    enc->time_base = av_inv_q(sinkRate);
    enc->framerate = sinkRate;
  }
  enc->width = width + padWidth;
  enc->height = height + padHeight;
  ist.FilterIn = source;
  ist.FilterOut = sink;
  ist.FilterText = text;
  ist.FilterGraph = std::move(graph);
  return 0;
}

}  // namespace moskvid
