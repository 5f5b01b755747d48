#include <sys/stat.h>

#include <cstdarg>
#include <filesystem>
#include <thread>

#include "binding/frame_hook.h"
#include "binding/media_loader.h"
#include "binding/my_utils.h"
#include "engine/custom_ffmpeg.h"
#include "engine/transcode_tables.h"

namespace moskvid {

int CoreCount() {
  const unsigned cores = std::thread::hardware_concurrency();
  return cores == 0 ? 1 : static_cast<int>(cores);
}

std::mutex& CodecLock() {
  static std::mutex lock;
  return lock;
}

int LibraryLogLevelFor(int verbose) {
  if (verbose < 0) return AV_LOG_QUIET;
  switch (verbose) {
    case 0:
      return AV_LOG_WARNING;
    case 1:
      return AV_LOG_INFO;
    case 2:
      return AV_LOG_VERBOSE;
    case 3:
      return AV_LOG_DEBUG;
    default:
      return AV_LOG_TRACE;
  }
}

int EngineLevelForLibraryLevel(int libraryLevel) {
  if (libraryLevel <= AV_LOG_WARNING) return 0;
  if (libraryLevel <= AV_LOG_INFO) return 1;
  if (libraryLevel <= AV_LOG_DEBUG) return 2;
  return 3;
}

TCustomFFmpeg::TCustomFFmpeg() {
  ResetOptions();
}

TCustomFFmpeg::~TCustomFFmpeg() {
  StopRequested = true;
  Resume();
  Release();
}

void TCustomFFmpeg::ResetOptions() {
  Release();
  Options = EngineOptions{};
  Running = false;
  StopRequested = false;
  Finished = false;
  Terminated = false;
  HasException = false;
  ExceptionMessage.clear();
  ErrorText.clear();
  OutputResults.clear();
  TotalDuration = -1;
  Segments.clear();
  SegmentIndex = 0;
  HookState = haContinue;
  HookFrameCounter = 0;
  VideoSize = AudioSize = ExtraSize = 0;
  FramesDuplicated = FramesDropped = 0;
  if (binding::MediaLibrariesLoaded()) AllocateOptionContexts();
}

void TCustomFFmpeg::AllocateOptionContexts() {
  static constexpr AVMediaType kTypes[5] = {AVMEDIA_TYPE_VIDEO, AVMEDIA_TYPE_AUDIO,
                                            AVMEDIA_TYPE_DATA, AVMEDIA_TYPE_SUBTITLE,
                                            AVMEDIA_TYPE_ATTACHMENT};
  for (int kind = 0; kind < 5; ++kind) {
    CodecOpts[kind].reset(ff::avcodec_alloc_context3(nullptr));
    if (CodecOpts[kind]) CodecOpts[kind]->codec_type = kTypes[kind];
  }
  FormatOpts.reset(ff::avformat_alloc_context());
  ScalerOpts.reset(ff::sws_getContext(16, 16, AV_PIX_FMT_YUV420P, 16, 16, AV_PIX_FMT_YUV420P,
                                      static_cast<int>(Options.SwsFlags), nullptr, nullptr,
                                      nullptr));
}

void TCustomFFmpeg::ReleaseOptionContexts() {
  for (auto& context : CodecOpts)
    context.reset();
  FormatOpts.reset();
  ScalerOpts.reset();
}

void TCustomFFmpeg::CloseOutputFile(OutputFile& output) {
  // A part is named or removed on its own; the rest here is for the files
  // of other protocols and muxers.
  const bool part = static_cast<bool>(output.Part);
  if (part) FinishPartFile(output);
  AVFormatContext* context = output.Context.get();
  std::string fileName = !part && context && context->url ? context->url : "";
  if (context && output.IoOpened) ff::avio_closep(&context->pb);
  output.IoOpened = false;
  output.Streams.clear();
  output.Context.reset();
  // An output that never received a byte, or lacks a stream it was asked
  // for, is not left behind; a device or a pipe written to stays.
  struct stat info {};
  if (!fileName.empty() && ::lstat(fileName.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
      (output.Discard || info.st_size == 0)) {
    std::error_code error;
    std::filesystem::remove(fileName, error);
  }
}

void TCustomFFmpeg::Release() {
  ReleaseFiles();
  CloseAllCodecs();
  Tables.reset();
  for (OutputFile& output : OutputFiles)
    CloseOutputFile(output);
  OutputFiles.clear();
  InputFiles.clear();
  ReleaseOptionContexts();
  ReleaseFrameHooks(FrameHooks);
  if (VstatsFile) {
    std::fclose(VstatsFile);
    VstatsFile = nullptr;
  }
  if (ToRgbScaler) ff::sws_freeContext(ToRgbScaler);
  if (FromRgbScaler) ff::sws_freeContext(FromRgbScaler);
  ToRgbScaler = FromRgbScaler = nullptr;
  HookFrames = FramePool();
  HookBitmap.SetSize(0, 0);
  Options.intra_matrix.reset();
  Options.inter_matrix.reset();
  Options.VideoRcOverride.clear();
  Options.VideoStandard.clear();
  Options.VstatsFilename.clear();
  Options.OptNames.clear();
  Options.PrivateOptions.clear();
  Options.VideoCodecName.clear();
  Options.AudioCodecName.clear();
  Options.SubtitleCodecName.clear();
  Options.UsingVhook = false;
  Options.AudioLanguage.clear();
  Options.SubtitleLanguage.clear();
}

void TCustomFFmpeg::Log(int level, const std::string& text) {
  if (LogHandler) LogHandler(*this, level, text);
}

void TCustomFFmpeg::LogF(int level, const char* format, ...) {
  if (!LogHandler) return;
  char text[2048];
  va_list args;
  va_start(args, format);
  std::vsnprintf(text, sizeof text, format, args);
  va_end(args);
  LogHandler(*this, level, text);
}

void TCustomFFmpeg::RequestStop() {
  StopRequested = true;
  Resume();
}

void TCustomFFmpeg::Pause() {
  std::lock_guard<std::mutex> lock(pauseLock_);
  paused_ = true;
}

void TCustomFFmpeg::Resume() {
  {
    std::lock_guard<std::mutex> lock(pauseLock_);
    paused_ = false;
  }
  pauseChanged_.notify_all();
}

bool TCustomFFmpeg::Paused() const {
  std::lock_guard<std::mutex> lock(pauseLock_);
  return paused_;
}

bool TCustomFFmpeg::WaitWhilePaused() {
  std::unique_lock<std::mutex> lock(pauseLock_);
  pauseChanged_.wait(lock, [this] { return !paused_ || StopRequested.load(); });
  return !StopRequested.load();
}

void TCustomFFmpeg::Terminate() {
  Running = false;
  Terminated = true;
  if (TerminateHandler) TerminateHandler(*this);
}

}  // namespace moskvid
