#include "engine/source_chain.h"

#include <vector>

#include "engine/custom_ffmpeg.h"
#include "engine/error_text.h"
#include "engine/filter_chain.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

bool Interlaced(AVFieldOrder order) {
  return order == AV_FIELD_TT || order == AV_FIELD_BB || order == AV_FIELD_TB ||
         order == AV_FIELD_BT;
}

bool HighDynamicRange(AVColorTransferCharacteristic transfer) {
  return transfer == AVCOL_TRC_SMPTE2084 || transfer == AVCOL_TRC_ARIB_STD_B67;
}

// PQ or HLG in BT.2020 to BT.709 SDR. Linear light at 100 cd/m² for 1.0;
// the Möbius curve leaves everything below its knee as it is (faces, skies,
// the whole SDR range keep their brightness and colour) and rolls the
// highlights off smoothly above it, where Hable's filmic curve would darken
// the mid-tones and Reinhard flatten the contrast.
std::string ToneMapFilters(const AVFrame* frame) {
  const char* transfer = frame->color_trc == AVCOL_TRC_ARIB_STD_B67 ? "arib-std-b67" : "smpte2084";
  const char* matrix = frame->colorspace == AVCOL_SPC_BT2020_CL ? "2020_cl"
                       : frame->colorspace == AVCOL_SPC_BT709   ? "709"
                                                                : "2020_ncl";
  const char* range = frame->color_range == AVCOL_RANGE_JPEG ? "full" : "limited";
  return Format(
      "zscale=tin=%s:pin=2020:min=%s:rin=%s:t=linear:npl=100,format=gbrpf32le,"
      "zscale=p=709,tonemap=mobius,zscale=t=709:m=709:r=limited",
      transfer, matrix, range);
}

const char* TurnFilters(int rotation) {
  switch (rotation) {
    case 90:
      return "transpose=clock";
    case 180:
      return "hflip,vflip";
    case 270:
      return "transpose=cclock";
    default:
      return nullptr;
  }
}

}  // namespace

bool CroppableFormat(int format) {
  const AVPixFmtDescriptor* desc = ff::av_pix_fmt_desc_get(static_cast<AVPixelFormat>(format));
  return desc && !(desc->flags &
                   (AV_PIX_FMT_FLAG_HWACCEL | AV_PIX_FMT_FLAG_BITSTREAM | AV_PIX_FMT_FLAG_PAL));
}

SourcePlan PlanSource(const AVStream* stream, const AVCodecContext* decoder, int turn,
                      bool deinterlace, bool toneMap, int threads) {
  SourcePlan plan;
  plan.Rotation = turn;
  plan.Threads = threads;
  const AVCodecParameters* parameters = stream->codecpar;
  const AVColorTransferCharacteristic transfer =
      parameters->color_trc != AVCOL_TRC_UNSPECIFIED ? parameters->color_trc : decoder->color_trc;
  plan.ToneMap = toneMap && HighDynamicRange(transfer);
  if (deinterlace) {
    const AVFieldOrder order = parameters->field_order != AV_FIELD_UNKNOWN ? parameters->field_order
                                                                           : decoder->field_order;
    plan.Deinterlace = Interlaced(order) ? 2 : 0;
    plan.MayDeinterlace = true;
  }
  if (plan.ToneMap) {
    // The devices show 8-bit 4:2:0 pictures.
    plan.Format = AV_PIX_FMT_YUV420P;
  } else if (decoder->pix_fmt != AV_PIX_FMT_NONE && !CroppableFormat(decoder->pix_fmt)) {
    // Palette and bit-per-pixel pictures become plain RGB, which can be cut.
    plan.Format = AV_PIX_FMT_RGB24;
  } else {
    plan.Format = decoder->pix_fmt;
  }
  return plan;
}

bool SourceChain::Wanted(const AVFrame* frame) const {
  return graph_ || plan_.Rotation != 0 || plan_.ToneMap || plan_.Deinterlace != 0 ||
         !CroppableFormat(frame->format);
}

void SourceChain::Push(AVFrame* frame, const TPictureClock& clock, const Deliver& deliver) {
  // A stream that says nothing of interlacing can still carry interlaced
  // pictures (television, DVD): the first flagged one switches it on.
  bool rebuild = false;
  if (plan_.MayDeinterlace && plan_.Deinterlace == 0 && frame->interlaced_frame) {
    plan_.Deinterlace = 1;
    rebuild = true;
  }
  if (!Wanted(frame)) {
    deliver(frame, clock);
    return;
  }
  if (graph_ &&
      (rebuild || frame->width != width_ || frame->height != height_ || frame->format != format_)) {
    Flush(deliver);
  }
  if (!graph_) Build(frame);
  frame->pts = clock.Pts;
  clocks_.push_back(clock);
  const int result = ff::av_buffersrc_add_frame_flags(in_, frame, AV_BUFFERSRC_FLAG_KEEP_REF);
  if (result < 0) {
    throw FFMpegException(Format("The picture chain \"%s\" failed: %s", text_.c_str(),
                                 LibraryErrorText(result).c_str()));
  }
  Drain(deliver);
}

void SourceChain::Flush(const Deliver& deliver) {
  if (!graph_) return;
  ff::av_buffersrc_add_frame_flags(in_, nullptr, 0);
  Drain(deliver);
  graph_.reset();
  in_ = out_ = nullptr;
  clocks_.clear();
}

void SourceChain::Build(const AVFrame* frame) {
  std::vector<std::string> parts;
  // Filters that cannot read a palette get plain pixels first.
  if (!CroppableFormat(frame->format)) parts.emplace_back("format=rgb24");
  if (plan_.Deinterlace != 0) {
    parts.push_back(std::string("bwdif=mode=send_frame:parity=auto:deint=") +
                    (plan_.Deinterlace == 2 ? "all" : "interlaced"));
  }
  if (plan_.ToneMap) parts.push_back(ToneMapFilters(frame));
  if (const char* turn = TurnFilters(plan_.Rotation)) parts.emplace_back(turn);
  // The rest of the video path, and a filter chain after it, count on one
  // format whatever the filters above chose.
  const int format = plan_.Format != AV_PIX_FMT_NONE  ? plan_.Format
                     : CroppableFormat(frame->format) ? frame->format
                                                      : AV_PIX_FMT_RGB24;
  parts.push_back(std::string("format=") +
                  ff::av_get_pix_fmt_name(static_cast<AVPixelFormat>(format)));
  std::string text;
  for (const std::string& part : parts)
    text += (text.empty() ? "" : ",") + part;

  FilterGraphPtr graph(ff::avfilter_graph_alloc());
  if (!graph) throw FFMpegException("av_mallocz fail");
  graph->nb_threads = plan_.Threads;
  AVRational aspect = frame->sample_aspect_ratio;
  if (aspect.num <= 0 || aspect.den <= 0) aspect = AVRational{1, 1};
  const std::string sourceArgs =
      Format("video_size=%dx%d:pix_fmt=%d:time_base=1/%d:pixel_aspect=%d/%d", frame->width,
             frame->height, frame->format, AV_TIME_BASE, aspect.num, aspect.den);
  AVFilterContext* source = nullptr;
  AVFilterContext* sink = nullptr;
  auto fail = [&](int result) {
    throw FFMpegException(Format("The picture chain \"%s\" cannot be made: %s", text.c_str(),
                                 LibraryErrorText(result).c_str()));
  };
  int result = ff::avfilter_graph_create_filter(&source, ff::avfilter_get_by_name("buffer"), "src",
                                                sourceArgs.c_str(), nullptr, graph.get());
  if (result < 0) fail(result);
  result = ff::avfilter_graph_create_filter(&sink, ff::avfilter_get_by_name("buffersink"), "out",
                                            nullptr, nullptr, graph.get());
  if (result < 0) fail(result);
  result = LinkFilterText(graph.get(), source, sink, text);
  if (result < 0) fail(result);
  result = ff::avfilter_graph_config(graph.get(), nullptr);
  if (result < 0) fail(result);

  if (!outFrame_) {
    outFrame_.reset(ff::av_frame_alloc());
    if (!outFrame_) throw FFMpegException("av_mallocz fail");
  }
  graph_ = std::move(graph);
  in_ = source;
  out_ = sink;
  text_ = text;
  width_ = frame->width;
  height_ = frame->height;
  format_ = frame->format;
}

void SourceChain::Drain(const Deliver& deliver) {
  const AVRational timeBase = ff::av_buffersink_get_time_base(out_);
  for (;;) {
    const int result = ff::av_buffersink_get_frame(out_, outFrame_.get());
    if (result == AVERROR(EAGAIN) || result == AVERROR_EOF) break;
    if (result < 0) {
      throw FFMpegException(Format("The picture chain \"%s\" failed: %s", text_.c_str(),
                                   LibraryErrorText(result).c_str()));
    }
    // The picture keeps the clock of the one it was made from; the
    // deinterlacer hands out each picture one picture late.
    TPictureClock clock = clocks_.empty() ? TPictureClock{} : clocks_.back();
    if (outFrame_->pts != AV_NOPTS_VALUE) {
      const int64_t pts = ff::av_rescale_q(outFrame_->pts, timeBase, AV_TIME_BASE_Q);
      while (!clocks_.empty() && clocks_.front().Pts < pts)
        clocks_.pop_front();
      if (!clocks_.empty() && clocks_.front().Pts == pts) {
        clock = clocks_.front();
        clocks_.pop_front();
      } else {
        const int64_t duration = clock.NextPts != AV_NOPTS_VALUE ? clock.NextPts - clock.Pts : 0;
        clock.Pts = pts;
        clock.NextPts = pts + duration;
      }
    }
    deliver(outFrame_.get(), clock);
    ff::av_frame_unref(outFrame_.get());
  }
}

}  // namespace moskvid
