// TCustomFFmpeg: one conversion task's transcoder. It holds the task's option
// state, its open input and output files, the per-run tables and every working
// buffer, so tasks running at the same time share nothing but the
// process-wide codec lock and the loaded libraries.
#pragma once

#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "binding/ffptr.h"
#include "engine/bitmap24.h"
#include "engine/jump_rule.h"
#include "engine/option_records.h"
#include "engine/option_state.h"
#include "engine/own_files.h"
#include "engine/part_file.h"
#include "engine/picture_ops.h"

namespace moskvid {

struct TPictureClock;

enum THookAction { haContinue, haIgnore, haStop };

class TCustomFFmpeg;
struct FrameHook;
struct TranscodeTables;
struct TTranscodeInputStream;
struct TTranscodeOutputStream;

// Engine log levels: -1 the failure that ended a run, 0 errors and warnings,
// 1 information, 2 and more details.
using TEngineLogHandler = std::function<void(TCustomFFmpeg& engine, int level, const std::string&)>;
using TEngineProgressHandler =
    std::function<void(TCustomFFmpeg& engine, int frameNumber, int fps, int currentDuration,
                       float quality, float bitRate, int64_t currentSize, int totalDuration)>;
using TEngineTerminateHandler = std::function<void(TCustomFFmpeg& engine)>;
// Called on a picture stage's thread as it begins (true) and ends (false), so
// that what the libraries log there can be told apart as this engine's.
using TEngineStageThreadHandler = std::function<void(TCustomFFmpeg& engine, bool started)>;
using TEngineBeforeHookHandler =
    std::function<void(TCustomFFmpeg& engine, THookAction& action, int64_t pts)>;
using TEngineCustomHookHandler =
    std::function<void(TCustomFFmpeg& engine, TBitmap24& bitmap, int frameNumber, int64_t pts,
                       bool& update, bool& stop)>;

// The processor cores of this machine (at least 1): what a codec thread
// count of 0 stands for.
int CoreCount();

// Held around every codec open and close and around reading an input's
// stream information, by every task of the process.
std::mutex& CodecLock();

// The format contexts' interrupt callback: true once a stop is requested.
AVIOInterruptCB EngineInterruptCallback(TCustomFFmpeg* engine);

// Maps engine verbosity (-1 quiet ... 3 everything) onto the library's log
// levels, and a library level back onto the engine's scale.
int LibraryLogLevelFor(int verbose);
int EngineLevelForLibraryLevel(int libraryLevel);

// One opened input: the demuxer and a decoder context per stream.
struct InputFile {
  InputContextPtr Context;
  std::vector<CodecContextPtr> Decoders;
  int64_t TsOffset = 0;  // microseconds added to every time stamp
  std::array<double, kMaxStreams> TsScale{};
  bool RateEmu = false;   // read no faster than real time
  int64_t StartTime = 0;  // microseconds into the file that opening sought to
  // When that seek failed: the start after the offset, before which what is
  // read is left out (microseconds); the smallest number when nothing is.
  int64_t DropBefore = INT64_MIN;
  // The sound stream a conversion takes (-1: none), and whether pictures
  // are turned as the file says, as chosen when it was opened.
  int AudioStream = -1;
  bool AutoRotate = true;
};

// One stream of an output as created: its encoder context (also used for a
// copied stream, to carry its parameters) and its bit-stream filters.
struct OutputStreamSetup {
  CodecContextPtr Encoder;
  const AVCodec* Codec = nullptr;  // the encoder chosen when the stream was made
  bool StreamCopy = false;
  bool FrameRateChosen = false;  // the encoder's rate was asked for, not taken from the input
  float Quality = 0;             // fixed quality, in the library's lambda units
  BitstreamFilterChain Filters;
};

struct OutputFile {
  FormatContextPtr Context;
  bool IoOpened = false;
  bool OpenWithHeader = false;          // a device or a pipe, opened right before its header
  std::unique_ptr<TOwnFiles> OwnFiles;  // the files a muxer opens by itself
  bool HeaderWritten = false;
  bool TrailerWritten = false;
  bool Discard = false;  // removed when closed: it lacks what it was asked for
  // A local file: written as a part beside its name, and named at the end.
  std::unique_ptr<TPartFile> Part;
  std::vector<OutputStreamSetup> Streams;
  // The muxer's own options, handed over when the header is written.
  std::vector<std::pair<std::string, std::string>> MuxerOptions;
  // The source's cover picture, written right after the header into a
  // stream of its own beyond the converted ones.
  PacketPtr Cover;
  // Packets of every kind written to it: none, and it is no conversion.
  int64_t PacketsWritten = 0;
};

// How an output ended: whole, stopped (what was converted, playable, under
// its name), failed (its part under the failed name), or removed (nothing of
// it was worth keeping).
enum TOutputEnd { oeWhole, oeStopped, oeFailed, oeRemoved };

struct TOutputResult {
  std::string Wanted;   // the name the output was opened with
  std::string Written;  // the name the file got; empty when nothing was kept
  TOutputEnd End = oeRemoved;
};

// A time as hours, minutes, seconds and milliseconds: "00:01:05.250".
std::string MicrosecondsText(int64_t microseconds);

// True when a filter graph text names a filter that changes the picture size.
bool FilterListResizes(const std::string& filters);
// True when it names a deinterlacing filter.
bool FilterListDeinterlaces(const std::string& filters);

class TCustomFFmpeg {
 public:
  TCustomFFmpeg();
  virtual ~TCustomFFmpeg();
  TCustomFFmpeg(const TCustomFFmpeg&) = delete;
  TCustomFFmpeg& operator=(const TCustomFFmpeg&) = delete;

  // --- Options ---
  // Sets every option to its default and empties the file and stream tables;
  // allocates the generic option contexts when the libraries are loaded.
  void ResetOptions();
  void SetOption(const std::string& name, const std::string& value);
  void ApplyOptionText(const std::string& text);
  bool SetGenericOption(const std::string& name, const std::string& value);
  bool SetGenericOptionInt(const std::string& name, int value);
  void ApplyInputOptions(const TInputOptions& options);
  void ApplyOutputOptions(const TOutputOptions& options);
  void SetTarget(const std::string& type, const std::string& norm, const std::string& fallbackNorm);
  void SetHookRanges(const std::string& text);
  void SetHookSegments(const std::vector<std::pair<int64_t, int64_t>>& segments);

  // --- Files ---
  bool OpenInputFile(const std::string& fileName);
  bool OpenOutputFile(const std::string& fileName);
  // An input already opened, with its stream information read, that the next
  // OpenInputFile of the same file takes instead of opening and reading the
  // file again. `plain`: opened with no options and no interrupt callback, as
  // a probe opens, so it is taken only where this engine's open would be the
  // same; otherwise it was opened by this engine with the options it has now.
  // `formatForced`: the input format was named, not detected. Release keeps
  // the offer.
  void OfferOpenedInput(InputContextPtr context, bool plain, bool formatForced);
  void DropOfferedInput() { offered_ = {}; }
  // Takes the first input's context out of the file table, open, for a later
  // offer; null when there is no input.
  InputContextPtr DetachInput();
  // Releases everything a task holds: files (deleting empty outputs),
  // option contexts, hooks and working buffers.
  void Release();

  // --- Run ---
  // Runs one conversion of the opened inputs into the opened outputs. Never
  // raises: a failure ends up in HasException and ExceptionMessage.
  void TranscodeRun();
  // The same without the termination report: the files are closed and the
  // options released after, so that the task may open them again for
  // another pass.
  void TranscodePass();
  void RequestStop();
  // Holds the transcode loop between packets until Resume (or a stop).
  void Pause();
  void Resume();
  bool Paused() const;

  // The engine that opened a codec context, or null for any other. The
  // codecs' own threads log through copies of the context, which carry it.
  static const TCustomFFmpeg* OwnerOfCodec(const AVCodecContext* codec) {
    return static_cast<const TCustomFFmpeg*>(codec->opaque);
  }

  // --- State read by the component and the tests ---
  EngineOptions Options;
  std::string ErrorText;
  int32_t TotalDuration = -1;  // milliseconds, -1 unknown
  int64_t ProgressIntervalUs = 500000;

  std::atomic<bool> Running{false};
  std::atomic<bool> StopRequested{false};
  std::atomic<bool> Finished{false};
  std::atomic<bool> Terminated{false};
  bool HasException = false;
  std::string ExceptionMessage;
  // How each output ended, in the order they were closed; emptied by
  // ResetOptions.
  std::vector<TOutputResult> OutputResults;

  TEngineLogHandler LogHandler;
  TEngineProgressHandler ProgressHandler;
  TEngineTerminateHandler TerminateHandler;
  TEngineBeforeHookHandler BeforeHookHandler;
  TEngineCustomHookHandler CustomHookHandler;
  TEngineStageThreadHandler StageThreadHandler;

  int NbInputFiles() const { return static_cast<int>(InputFiles.size()); }
  int NbOutputFiles() const { return static_cast<int>(OutputFiles.size()); }
  AVFormatContext* InputContext(int index) const { return InputFiles[index].Context.get(); }
  int64_t InputTsOffset(int index) const { return InputFiles[index].TsOffset; }
  AVFormatContext* OutputContext(int index) const { return OutputFiles[index].Context.get(); }
  AVCodecContext* OutputEncoder(int file, int stream) const {
    return OutputFiles[file].Streams[stream].Encoder.get();
  }
  AVCodecContext* CodecOptionContext(int kind) const { return CodecOpts[kind].get(); }
  AVFormatContext* FormatOptionContext() const { return FormatOpts.get(); }

  // Hook ranges in microseconds, sorted by their end.
  std::vector<std::pair<int64_t, int64_t>> Segments;
  int SegmentIndex = 0;
  int SegmentCount() const { return static_cast<int>(Segments.size()); }

  // Counters of the last run.
  // Atomic: a video stage thread counts beside the loop's thread.
  std::atomic<int64_t> VideoSize{0}, AudioSize{0}, ExtraSize{0};
  std::atomic<int64_t> FramesDuplicated{0}, FramesDropped{0};
  std::array<uint32_t, 52> QpHistogram{};
  int EncodeBufferSize = 262144;

  // The termination routine: marks the task ended and reports it.
  void Terminate();

 protected:
  // Called first when the engine lets go of its files and buffers.
  virtual void ReleaseFiles() {}
  // Sends a line to the log handler when one is set.
  void Log(int level, const std::string& text);
  void LogF(int level, const char* format, ...) __attribute__((format(printf, 3, 4)));
  bool WaitWhilePaused();

 private:
  friend struct TranscodeSession;
  friend class VideoPath;
  friend class AudioPath;

  // Option setters (options_*.cpp).
  void SetFormatOption(const std::string& value);
  void SetStreamMap(const std::string& value);
  void SetMetaDataMap(const std::string& value);
  void SetDuration(const std::string& value);
  void SetTsScale(const std::string& value);
  void SetFrameRate(const std::string& value);
  void SetFrameSize(const std::string& value);
  void SetAspect(const std::string& value);
  void SetPixelFormat(const std::string& value);
  void SetSampleFormat(const std::string& value);
  void SetCrop(int side, const std::string& value);
  void SetCropValue(int side, int value);
  void SetPad(int side, const std::string& value);
  void SetPadValue(int side, int value);
  void SetPadColor(uint32_t color);
  void SetQscale(const std::string& value);
  void SetCodecName(int kind, const std::string& value);
  void SetCodecTag(bool video, const std::string& value);
  void SetMatrix(bool intra, const std::string& value);
  void SetPass(const std::string& value);
  void SetBitstreamFilter(char kind, const std::string& value);
  void SetBitRate(const std::string& name, const std::string& value);
  void SetVstats();
  void SetVhook(const std::string& value);
  void SetTargetOption(const std::string& value);
  void SetVerbose(const std::string& value);
  void ListFormats(bool pixel);
  void DoNothing(const std::string& name);
  void NewStreamOption(int kind);
  void ApplyGenericOptions(void* target, void* source, int flags);
  void AllocateOptionContexts();
  void ReleaseOptionContexts();

  // Input and output (input_file.cpp, output_file.cpp, new_streams.cpp).
  bool FindCodecId(const std::string& name, AVMediaType type, bool encoder, AVCodecID& id);
  void ResetPerFileOptions();
  // Seeks a newly opened input to the start option; a failed seek is logged
  // and gives false.
  bool SeekToStart(InputFile& input, const std::string& fileName, int64_t position);
  // The offered input when it stands for what opening `fileName` with
  // `parameters` and the forced codecs would give; null otherwise.
  InputContextPtr ClaimOfferedInput(const std::string& fileName, bool forcedCodecs,
                                    const AVDictionary* parameters);
  // Where the output of a stream begins in its input's time (microseconds):
  // the output start time, or the start a failed seek left to reach; the
  // smallest number when there is neither.
  int64_t OutputStartOf(const TTranscodeInputStream& ist) const;
  // Raises when the start lies at or after the end of an input of known length.
  void CheckStartPositions() const;
  void CheckInputStreamTypes(bool& hasVideo, bool& hasAudio, bool& hasSubtitle);
  void NewVideoStream(OutputFile& output);
  void NewAudioStream(OutputFile& output);
  void NewSubtitleStream(OutputFile& output);
  OutputStreamSetup& AddOutputStream(OutputFile& output, int kind, AVMediaType type);
  void CloseOutputFile(OutputFile& output);
  // Creates the part an output is written to, right before its header
  // (output_finish.cpp); raises when it cannot.
  void OpenPartFile(OutputFile& output);
  // Closes the part and names it as the run ended, or removes it.
  void FinishPartFile(OutputFile& output);

  // Transcode set-up (transcode_setup.cpp).
  void SetupTranscode();
  void PairOutputStreams();
  void PrepareOutputStream(TTranscodeOutputStream& ost);
  // Plans what the stream's decoded pictures go through first, and the
  // picture that comes out of it, for the encoder `ost`.
  void PrepareSource(TTranscodeInputStream& ist, const TTranscodeOutputStream& ost);
  void OpenEncoders();
  void OpenDecoders();
  void OpenDecoder(TTranscodeInputStream& ist);
  // Gives the decoded video stream its stage thread when the options and
  // the streams allow one; StopVideoStages ends it, dropping what waits.
  void StartVideoStage();
  void StopVideoStages();
  void CloseAllCodecs();
  // Tags and the cover of the first input, for outputs that hold them.
  void CarrySourceTags();
  void AddCoverPicture(OutputFile& output);
  friend int ConfigureFilters(TCustomFFmpeg& engine, TTranscodeInputStream& ist,
                              TTranscodeOutputStream& ost);

  // Main loop and end of the run (transcode_loop.cpp).
  void Transcode();
  void RunMainLoop();
  void FinishRun();
  int ChooseInputFile(double& minOutputTime);
  // Offsets, scales and closes up jumps in a packet's time stamps; false when
  // the packet is held back while a jump is judged.
  bool CorrectTimestamps(int file, AVPacket* packet);
  // Hands a packet to the packet routine; a decoding failure is logged (or
  // raised with ExitOnError) and gives false.
  bool DeliverPacket(int index, AVPacket* packet);

  // Forward jumps of one stream in formats that flag no discontinuities
  // (timestamp_jumps.cpp).
  // False when the packet is held back.
  bool PassJumpRule(int file, TTranscodeInputStream& ist, AVPacket* packet);
  void ReleaseHeld(int file, const TJumpRule::TRelease& release);
  void EndJumps(int file);
  void TrackDecodingTime(TTranscodeInputStream& ist, const AVPacket* packet);

  // Packets in and out (packet_routine.cpp, stream_copy.cpp, packet_writer.cpp).
  int ProcessInputPacket(int index, AVPacket* packet);
  void DispatchDecodedFrame(int index, AVFrame* frame);
  // The video path of one decoded picture: on the stage thread, or inline.
  void ProcessPicture(int index, AVFrame* frame, const TPictureClock& clock);
  // The rest of it, for a picture as a player shows it.
  void ProcessShownPicture(int index, AVFrame* picture, const TPictureClock& clock);
  void DispatchPicture(int index, AVFrame* picture);
  void DrainFilterChain(int index);
  void CopyPacket(TTranscodeOutputStream& ost, TTranscodeInputStream& ist, const AVPacket* packet);
  void WriteCopiedPacket(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                         const AVPacket* packet);
  void DecodeSubtitle(int index, AVPacket* packet);
  void SubtitleOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist,
                      const AVSubtitle& subtitle, int64_t pts);
  void FlushEncoders(int index);
  void InitBitstreamFilters(TTranscodeOutputStream& ost);
  void WritePacket(TTranscodeOutputStream& ost, AVPacket* packet);
  // Raises, and marks the output for removal, when an audio or video stream,
  // or a whole output, of a run that was not stopped got no packet at all.
  void CheckEveryStreamWritten();
  void FilterAndWrite(TTranscodeOutputStream& ost, AVPacket* packet, size_t filter);
  // Writes what the filter at `index` has ready, through the filters after it.
  void ReceiveFiltered(TTranscodeOutputStream& ost, size_t index);
  // Sends the end through the stream's bit-stream filters, writing what they held.
  void DrainBitstreamFilters(TTranscodeOutputStream& ost);
  // Logs a bit-stream filter's failure, or raises it with ExitOnError.
  void BitstreamFilterFailed(TTranscodeOutputStream& ost, size_t index, int stream, int result);
  // Sends a frame (or null to drain) and writes every packet that comes out;
  // the size of the last packet.
  int EncodeAndWrite(TTranscodeOutputStream& ost, const AVFrame* frame);

  // Audio and video paths (audio_output.cpp, video_output.cpp, video_hooks.cpp).
  void AudioOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist, const AVFrame* frame);
  // Encodes the whole frames the FIFO holds; with `flush` the rest too (at
  // the `last` flush after what the resampler holds, in a short frame where
  // the encoder takes one).
  void EncodeAudioFifo(TTranscodeOutputStream& ost, bool flush, bool last = true);
  void PrepareResampler(TTranscodeOutputStream& ost, const AVFrame* frame);
  void DrainResampler(TTranscodeOutputStream& ost);
  AVFrame* ResampleBuffer(TTranscodeOutputStream& ost, int samples);
  void WriteToFifo(TTranscodeOutputStream& ost, uint8_t** data, int samples);
  int VideoOutput(TTranscodeOutputStream& ost, TTranscodeInputStream& ist, AVFrame* picture);
  AVFrame* BuildOutputPicture(TTranscodeOutputStream& ost, AVFrame* picture);
  // The stream's scaler from `source` into `width` x `height` in the
  // encoder's format; null when it cannot be made.
  SwsContext* ScalerFor(TTranscodeOutputStream& ost, const AVFrame* source, int width, int height);
  void FillToEnd(TTranscodeOutputStream& ost);
  int EncodePicture(TTranscodeOutputStream& ost, TTranscodeInputStream& ist, const AVFrame* picture,
                    const AVFrame* decoded);
  AVFrame* PreProcessVideoFrame(TTranscodeInputStream& ist, AVFrame* picture);
  // Hands `source` to the picture hook as a bitmap and returns the picture
  // to go on with: `target` (painted when the hook changed the bitmap), or
  // without a target `source` itself, or a pooled copy when it was changed.
  AVFrame* RunCustomHook(AVFrame* source, AVFrame* target, int64_t pts);

  // Progress (progress_report.cpp).
  void ReportProgress(bool last);
  void WriteVideoStats(TTranscodeOutputStream& ost, int frameSize);

  std::array<CodecContextPtr, 5> CodecOpts;  // video, audio, data, subtitle, attachment
  FormatContextPtr FormatOpts;
  SwsContextPtr ScalerOpts;

  std::vector<InputFile> InputFiles;
  std::vector<OutputFile> OutputFiles;
  struct OfferedInput {
    InputContextPtr Context;
    bool Plain = false;
    bool FormatForced = false;
  };
  OfferedInput offered_;
  std::unique_ptr<TranscodeTables> Tables;

  // Frame hooks and hook working state.
  FrameHook* FrameHooks = nullptr;  // chain head, released by Release()
  THookAction HookState = haContinue;
  int HookFrameCounter = 0;
  TBitmap24 HookBitmap;
  FramePool HookFrames;               // writable copies for the deinterlacer and the hooks
  SwsContext* ToRgbScaler = nullptr;  // cached contexts, freed by Release()
  SwsContext* FromRgbScaler = nullptr;
  std::FILE* VstatsFile = nullptr;
  std::vector<uint8_t> SubtitleBuffer;

  // Pause gate: guarded by pauseLock_.
  mutable std::mutex pauseLock_;
  std::condition_variable pauseChanged_;
  bool paused_ = false;
};

}  // namespace moskvid
