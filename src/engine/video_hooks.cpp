// Pre-processing of every decoded picture: deinterlacing and the three kinds
// of hooks (the application's picture hook, its before-hook that gates the
// frame-hook modules or, with both set, the picture hook, and the hook time
// ranges).
#include "binding/frame_hook.h"
#include "engine/custom_ffmpeg.h"
#include "engine/picture_ops.h"
#include "engine/transcode_tables.h"

namespace moskvid {

namespace {

std::string MessageOf(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::exception& e) {
    return e.what();
  } catch (...) {
    return "unknown error";
  }
}

}  // namespace

AVFrame* TCustomFFmpeg::PreProcessVideoFrame(TTranscodeInputStream& ist, AVFrame* picture) {
  HookFrameCounter += 1;
  const int64_t pts = ist.Picture.Pts;
  // The handler sees the last answer and gives the one for this picture.
  const auto askBeforeHook = [&] {
    try {
      BeforeHookHandler(*this, HookState, pts);
    } catch (...) {
      Log(0, "Error occurs OnBeforeHook: " + MessageOf(std::current_exception()));
      HookState = haStop;
    }
  };

  bool paint = static_cast<bool>(CustomHookHandler);
  if (paint && BeforeHookHandler) {
    // The before-hook picks the pictures the picture hook gets, so that the
    // others cost neither a copy nor two colour conversions.
    askBeforeHook();
    if (HookState == haStop) {
      CustomHookHandler = nullptr;
      Options.UsingVhook = false;
    }
    paint = HookState == haContinue;
  } else if (!CustomHookHandler && Options.UsingVhook) {
    if (BeforeHookHandler) {
      askBeforeHook();
      if (HookState == haStop) Options.UsingVhook = false;
    } else if (!Segments.empty()) {
      HookState = haIgnore;
      const int last = SegmentCount() - 1;
      for (int i = SegmentIndex; i <= last; ++i) {
        if (Segments[i].first <= pts && pts <= Segments[i].second) {
          SegmentIndex = i;
          HookState = haContinue;
          break;
        }
        if (i == last && Segments[i].second < pts) {
          HookState = haStop;
          Options.UsingVhook = false;
        }
      }
    }
  }

  // The picture hook, when there is one, takes the place of the modules.
  const bool modules = !CustomHookHandler && Options.UsingVhook && HookState == haContinue;
  if (!Options.DoDeinterlace && !paint && !modules) return picture;
  // A picture hook that only looks needs no copy: it reads the decoder's
  // picture, and a frame of our own is taken only for a changed picture.
  if (!Options.DoDeinterlace && paint) return RunCustomHook(picture, nullptr, pts);

  // Hooks and the deinterlacer work on a copy: the decoder's picture is not ours.
  AVFrame* work = HookFrames.Acquire(picture->width, picture->height, picture->format);
  if (!work) {
    Log(0, "hook buf malloc error.");
    return picture;
  }
  CopyPictureProperties(work, picture);
  if (!Options.DoDeinterlace) {
    CopyPicture(picture, work);
  } else if (!Deinterlace(picture, work)) {
    Log(0, "Deinterlacing failed.");
    CopyPicture(picture, work);
  }

  if (paint) {
    RunCustomHook(work, work, pts);
  } else if (modules) {
    MoskvidHookPicture hookPicture{};
    for (int p = 0; p < 4; ++p) {
      hookPicture.data[p] = work->data[p];
      hookPicture.linesize[p] = work->linesize[p];
    }
    ProcessFrameHooks(FrameHooks, &hookPicture, work->format, work->width, work->height, pts);
  }
  return work;
}

AVFrame* TCustomFFmpeg::RunCustomHook(AVFrame* source, AVFrame* target, int64_t pts) {
  const int width = source->width;
  const int height = source->height;
  const auto format = static_cast<AVPixelFormat>(source->format);
  HookBitmap.SetSize(width, height);
  uint8_t* bitmap[4] = {HookBitmap.ScanLine(0), nullptr, nullptr, nullptr};
  int stride[4] = {HookBitmap.Stride(), 0, 0, 0};

  bool failed = false;
  ToRgbScaler = ff::sws_getCachedContext(ToRgbScaler, width, height, format, width, height,
                                         AV_PIX_FMT_BGR24, SWS_BICUBIC, nullptr, nullptr, nullptr);
  if (!ToRgbScaler) {
    Log(0, "Cannot initialize the toRGB conversion context");
    failed = true;
  } else {
    ff::sws_scale(ToRgbScaler, source->data, source->linesize, 0, height, bitmap, stride);
  }

  bool update = true;
  bool stop = false;
  if (!failed) {
    std::lock_guard<std::mutex> canvas(HookBitmap.CanvasLock());
    try {
      CustomHookHandler(*this, HookBitmap, HookFrameCounter, pts, update, stop);
    } catch (...) {
      Log(0, "Error occurs OnCustomHook: " + MessageOf(std::current_exception()));
      update = false;
      failed = true;
    }
  }
  AVFrame* result = target ? target : source;
  if (!failed && update) {
    FromRgbScaler =
        ff::sws_getCachedContext(FromRgbScaler, width, height, AV_PIX_FMT_BGR24, width, height,
                                 format, SWS_BICUBIC, nullptr, nullptr, nullptr);
    AVFrame* painted = target ? target : HookFrames.Acquire(width, height, source->format);
    if (!FromRgbScaler) {
      Log(0, "Cannot initialize the fromRGB conversion context");
      failed = true;
    } else if (!painted) {
      Log(0, "hook buf malloc error.");
    } else {
      if (!target) CopyPictureProperties(painted, source);
      ff::sws_scale(FromRgbScaler, bitmap, stride, 0, height, painted->data, painted->linesize);
      result = painted;
    }
  }
  if (failed || stop) {
    // Hooking ends for the rest of the task.
    CustomHookHandler = nullptr;
    HookState = haStop;
    Options.UsingVhook = false;
  }
  return result;
}

}  // namespace moskvid
