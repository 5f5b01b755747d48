// What a decoded picture goes through before the hooks, crop and scale, so
// that the rest of the video path sees it as a player shows it: in a pixel
// format that can be cut by moving plane pointers, deinterlaced, tone-mapped
// from PQ or HLG to BT.709, and turned upright.
#pragma once

#include <deque>
#include <functional>
#include <string>

#include "binding/ffptr.h"
#include "engine/video_stage.h"

namespace moskvid {

struct SourcePlan {
  int Rotation = 0;  // clockwise: 0, 90, 180 or 270
  bool ToneMap = false;
  // 0: none; 1: the pictures flagged interlaced; 2: every picture (the
  // stream says it is interlaced, its pictures may not).
  int Deinterlace = 0;
  // A picture flagged interlaced may switch deinterlacing on later.
  bool MayDeinterlace = false;
  // The format pictures leave in; none keeps the decoder's.
  AVPixelFormat Format = AV_PIX_FMT_NONE;
  int Threads = 1;  // for the filters that work in slices
};

// True when pictures of `format` can be cut by moving plane pointers.
bool CroppableFormat(int format);

// The plan for a decoded video stream: `turn` the rotation to apply,
// `deinterlace` and `toneMap` whether those may be done at all.
SourcePlan PlanSource(const AVStream* stream, const AVCodecContext* decoder, int turn,
                      bool deinterlace, bool toneMap, int threads);

class SourceChain {
 public:
  using Deliver = std::function<void(AVFrame* picture, const TPictureClock& clock)>;

  explicit SourceChain(const SourcePlan& plan) : plan_(plan) {}

  // Takes one decoded picture and hands on every picture that comes out,
  // with the clock of the picture it was made from; a picture that needs
  // nothing goes on as it is. Raises FFMpegException when the filters fail.
  void Push(AVFrame* frame, const TPictureClock& clock, const Deliver& deliver);
  // Hands on what the filters still hold.
  void Flush(const Deliver& deliver);
  const SourcePlan& Plan() const { return plan_; }
  // The chain in the filter graph syntax; empty before the first picture.
  const std::string& Text() const { return text_; }

 private:
  bool Wanted(const AVFrame* frame) const;
  void Build(const AVFrame* frame);
  void Drain(const Deliver& deliver);

  SourcePlan plan_;
  FilterGraphPtr graph_;
  AVFilterContext* in_ = nullptr;
  AVFilterContext* out_ = nullptr;
  std::string text_;
  int width_ = 0, height_ = 0, format_ = -1;  // what the graph was made for
  FramePtr outFrame_;
  // The clocks of the pictures inside the filters, oldest first.
  std::deque<TPictureClock> clocks_;
};

}  // namespace moskvid
