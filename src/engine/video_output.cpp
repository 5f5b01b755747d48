// The video path for one output stream: frame-rate synchronisation, crop,
// scale and pad, then encoding.
#include <algorithm>
#include <cmath>
#include <utility>

#include "engine/custom_ffmpeg.h"
#include "engine/option_parsing.h"
#include "engine/picture_ops.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

// Below this many frames behind its slot a picture is dropped; a picture up
// to this late is shown in the next free slot.
constexpr double kDropThreshold = -0.6;

// Pictures whose black is luma 0: the "J" formats and encoders told so.
bool FullRangeYuv(const AVCodecContext* enc) {
  return enc->color_range == AVCOL_RANGE_JPEG || enc->pix_fmt == AV_PIX_FMT_YUVJ420P ||
         enc->pix_fmt == AV_PIX_FMT_YUVJ422P || enc->pix_fmt == AV_PIX_FMT_YUVJ444P;
}

}  // namespace

AVFrame* TCustomFFmpeg::BuildOutputPicture(TTranscodeOutputStream& ost, AVFrame* picture) {
  AVCodecContext* enc = ost.Encoder;
  const EngineOptions& o = Options;
  AVFrame* cropped = ost.CropFrame.get();
  if (!cropped) {
    ost.CropFrame.reset(ff::av_frame_alloc());
    cropped = ost.CropFrame.get();
    if (!cropped) throw FFMpegException("av_mallocz fail");
  }
  ff::av_frame_unref(cropped);
  const bool crop = ost.VideoCrop && !o.UsingFilters;
  const int top = crop ? ost.CropTopRows : 0, left = crop ? ost.CropLeftColumns : 0;
  int bottom = crop ? ost.CropBottomRows : 0, right = crop ? ost.CropRightColumns : 0;
  const int innerWidth = enc->width - ost.PadLeftColumns - ost.PadRightColumns;
  const int innerHeight = enc->height - ost.PadTopRows - ost.PadBottomRows;
  // An odd source size loses its last column or row rather than being scaled.
  if (picture->width - left - right == innerWidth + 1) right += 1;
  if (picture->height - top - bottom == innerHeight + 1) bottom += 1;
  if (!CropView(picture, cropped, top, bottom, left, right)) {
    if (o.ExitOnError) throw FFMpegException("error cropping picture");
    Log(0, "error cropping picture");
    return nullptr;
  }

  // The source may change size or format in mid-stream: the scaler follows.
  const bool scale = cropped->width != innerWidth || cropped->height != innerHeight ||
                     cropped->format != enc->pix_fmt;
  if (!scale && !ost.VideoPad) return cropped;

  AVFrame* target = ost.ScratchPictures.Acquire(enc->width, enc->height, enc->pix_fmt);
  if (!target) throw FFMpegException("Cannot allocate temp picture, check pix fmt");
  AVFrame* inner = ost.InnerFrame.get();
  if (!inner) {
    ost.InnerFrame.reset(ff::av_frame_alloc());
    inner = ost.InnerFrame.get();
    if (!inner) throw FFMpegException("av_mallocz fail");
  }
  if (!CropView(target, inner, ost.PadTopRows, ost.PadBottomRows, ost.PadLeftColumns,
                ost.PadRightColumns)) {
    if (o.ExitOnError) throw FFMpegException("error padding picture");
    Log(0, "error padding picture");
    return nullptr;
  }
  if (scale) {
    SwsContext* scaler = ScalerFor(ost, cropped, innerWidth, innerHeight);
    if (!scaler) throw FFMpegException("Cannot get resampling context");
    ost.ScaleSourceHeight = cropped->height;
    // Straight into the picture inside the padding: the view holds a
    // reference to its buffer, so the scaler writes there.
    const int scaled = ff::sws_scale_frame(scaler, inner, cropped);
    ff::av_frame_unref(inner);
    if (scaled < 0) {
      if (o.ExitOnError) throw FFMpegException("error scaling picture");
      Log(0, "error scaling picture");
      return nullptr;
    }
  } else {
    // Padding alone: the decoder's picture cannot grow borders in place.
    CopyPicture(cropped, inner);
    ff::av_frame_unref(inner);
  }
  int y = o.PadColorY, u = o.PadColorU, v = o.PadColorV;
  if (FullRangeYuv(enc)) {
    y = std::clamp((y - 16) * 255 / 219, 0, 255);
    u = std::clamp(128 + (u - 128) * 255 / 224, 0, 255);
    v = std::clamp(128 + (v - 128) * 255 / 224, 0, 255);
  }
  if (ost.VideoPad && !PadBorders(target, ost.PadTopRows, ost.PadBottomRows, ost.PadLeftColumns,
                                  ost.PadRightColumns, y, u, v)) {
    if (o.ExitOnError) throw FFMpegException("error padding picture");
    Log(0, "error padding picture");
    return nullptr;
  }
  CopyPictureProperties(target, picture);
  return target;
}

SwsContext* TCustomFFmpeg::ScalerFor(TTranscodeOutputStream& ost, const AVFrame* source, int width,
                                     int height) {
  if (ost.Scaler && ost.ScalerSourceWidth == source->width &&
      ost.ScalerSourceHeight == source->height && ost.ScalerSourceFormat == source->format) {
    return ost.Scaler.get();
  }
  ost.Scaler.reset();
  SwsContextPtr scaler(ff::sws_alloc_context());
  if (!scaler) return nullptr;
  // The codecs' threads, so that scaling keeps up with them; one codec
  // thread keeps the scaler on the calling thread, where extra threads
  // would only compete.
  const int threads = Options.ThreadCount > 0 ? Options.ThreadCount : CoreCount();
  const std::pair<const char*, int64_t> settings[] = {
      {"srcw", source->width},
      {"srch", source->height},
      {"src_format", source->format},
      {"dstw", width},
      {"dsth", height},
      {"dst_format", ost.Encoder->pix_fmt},
      {"sws_flags", Options.SwsFlags},
      {"threads", threads},
  };
  for (const auto& [name, value] : settings) {
    if (ff::av_opt_set_int(scaler.get(), name, value, 0) < 0) return nullptr;
  }
  if (ff::sws_init_context(scaler.get(), nullptr, nullptr) < 0) return nullptr;
  ost.Scaler = std::move(scaler);
  ost.ScalerSourceWidth = source->width;
  ost.ScalerSourceHeight = source->height;
  ost.ScalerSourceFormat = source->format;
  return ost.Scaler.get();
}

int TCustomFFmpeg::EncodePicture(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                                 const AVFrame* picture, const AVFrame* decoded) {
  AVFrame* frame = ost.EncodeFrame.get();
  if (!frame) {
    ost.EncodeFrame.reset(ff::av_frame_alloc());
    frame = ost.EncodeFrame.get();
    if (!frame) throw FFMpegException("av_mallocz fail");
  }
  if (ff::av_frame_ref(frame, picture) < 0) throw FFMpegException("av_mallocz fail");
  frame->interlaced_frame = decoded->interlaced_frame;
  const AVCodecContext* videoOptions = CodecOptionContext(kVideoKind);
  if (videoOptions &&
      (videoOptions->flags & (AV_CODEC_FLAG_INTERLACED_DCT | AV_CODEC_FLAG_INTERLACED_ME))) {
    frame->top_field_first =
        Options.TopFieldFirst == -1 ? decoded->top_field_first : Options.TopFieldFirst;
  }
  const float quality = Options.SameQuality ? ist.Picture.Quality
                                            : OutputFiles[ost.FileIndex].Streams[ost.Index].Quality;
  frame->quality = static_cast<int>(std::lround(quality));
  if (!Options.MeThreshold) frame->pict_type = AV_PICTURE_TYPE_NONE;
  frame->pts = ost.OutputPosition;
  const int size = EncodeAndWrite(ost, frame);
  ff::av_frame_unref(frame);
  ost.OutputPosition += 1;
  ost.FrameNumber += 1;
  return size;
}

void TCustomFFmpeg::FillToEnd(TTranscodeOutputStream& ost) {
  // At a constant output rate the last picture lasts until the input's last
  // picture ends, as every earlier one did.
  AVCodecContext* enc = ost.Encoder;
  const double timeBase = av_q2d(enc->time_base);
  const int method = Options.VideoSyncMethod;
  const bool constantRate = method == 1 || (method == -1 && timeBase > 0.001);
  AVFrame* last = ost.PreviousPicture.get();
  if (!constantRate || !last || !last->buf[0] || StopRequested) return;
  const TTranscodeInputStream& source = *ost.SyncInput;
  const int64_t inputEnd = source.FilterOut ? source.FilteredEnd : source.NextPts;
  if (inputEnd == AV_NOPTS_VALUE) return;
  const int64_t end = inputEnd - Options.InputStartTime;
  int64_t slots =
      static_cast<int64_t>(std::nearbyint(static_cast<double>(end) / AV_TIME_BASE / timeBase));
  slots = std::min<int64_t>(slots,
                            Options.MaxFrames[kVideoKind] - ost.FrameNumber + ost.OutputPosition);
  if (Options.RecordingTime != INT64_MAX) {
    slots = std::min<int64_t>(
        slots, static_cast<int64_t>(std::ceil(
                   static_cast<double>(Options.RecordingTime) / AV_TIME_BASE / timeBase - 1e-6)));
  }
  TTranscodeInputStream& ist = *ost.SyncInput;
  while (ost.OutputPosition < slots) {
    FramesDuplicated += 1;
    EncodePicture(ost, ist, last, last);
  }
}

int TCustomFFmpeg::VideoOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                               AVFrame* picture) {
  AVCodecContext* enc = ost.Encoder;
  const double timeBase = av_q2d(enc->time_base);
  // The source's picture clock; another sync source's running clock.
  const int64_t clock = ost.SyncInput == &ist ? ist.Picture.Pts : ost.SyncInput->Pts;
  const double slot = static_cast<double>(clock - Options.InputStartTime) / AV_TIME_BASE / timeBase;
  const int method = Options.VideoSyncMethod;
  const bool sync = method > 0 || (method != 0 && timeBase > 0.001);

  // How many frames this picture becomes (0 drops it), and how many slots
  // before it repeat the previous picture.
  int64_t repeatPrevious = 0;
  if (sync) {
    const double delta = slot - static_cast<double>(ost.OutputPosition);
    if (delta < kDropThreshold) {
      FramesDropped += 1;
      if (Options.Verbose > 2) Log(1, "*** drop!");
      return 0;
    }
    const int64_t rounded = static_cast<int64_t>(std::nearbyint(slot));
    if (method == 2) {
      ost.OutputPosition = std::max<int64_t>(rounded, ost.OutputPosition);
    } else if (rounded > ost.OutputPosition) {
      repeatPrevious = rounded - ost.OutputPosition;
      FramesDuplicated += repeatPrevious;
      if (Options.Verbose > 2) LogF(1, "*** %lld dup!", static_cast<long long>(repeatPrevious));
    }
  } else {
    ost.OutputPosition =
        std::max<int64_t>(static_cast<int64_t>(std::nearbyint(slot)), ost.OutputPosition);
  }

  // The frame limit and the recording time bound what is written.
  int64_t count = repeatPrevious + 1;
  count = std::min<int64_t>(count, Options.MaxFrames[kVideoKind] - ost.FrameNumber);
  if (Options.RecordingTime != INT64_MAX) {
    const int64_t end = static_cast<int64_t>(
        std::ceil(static_cast<double>(Options.RecordingTime) / AV_TIME_BASE / timeBase - 1e-6));
    count = std::min<int64_t>(count, end - ost.OutputPosition);
    if (count <= 0) ost.ReachedEnd = true;
  }
  if (count <= 0) return 0;

  AVFrame* final = BuildOutputPicture(ost, picture);
  if (!final) return 0;
  AVFrame* previous =
      ost.PreviousPicture && ost.PreviousPicture->buf[0] ? ost.PreviousPicture.get() : final;
  int size = 0;
  for (int64_t i = 0; i < count; ++i) {
    if (StopRequested || !WaitWhilePaused()) break;
    const bool current = i == count - 1 && count == repeatPrevious + 1;
    size = EncodePicture(ost, ist, current ? final : previous, picture);
  }
  if (!ost.PreviousPicture) ost.PreviousPicture.reset(ff::av_frame_alloc());
  if (ost.PreviousPicture) {
    ff::av_frame_unref(ost.PreviousPicture.get());
    ff::av_frame_ref(ost.PreviousPicture.get(), final);
  }
  return size;
}

}  // namespace moskvid
