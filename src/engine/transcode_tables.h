// The per-run tables: one record per input file, per input stream and per
// output stream. Built by the set-up, read by the loop and the audio and
// video paths, freed when the run ends.
#pragma once

#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <vector>

#include "binding/ffptr.h"
#include "engine/custom_ffmpeg.h"
#include "engine/jump_rule.h"
#include "engine/picture_ops.h"
#include "engine/source_chain.h"
#include "engine/video_stage.h"

namespace moskvid {

struct TInputFileState {
  bool EofReached = false;
  int FirstStream = 0;
  int StreamCount = 0;
  TJumpRule Jumps{0, 0};  // sound and picture streams of formats without discontinuity flags
};

struct TTranscodeInputStream {
  int FileIndex = 0;
  int Index = 0;
  AVStream* Stream = nullptr;
  AVCodecContext* Decoder = nullptr;  // owned by the input file
  bool Discard = true;                // no output stream uses it
  bool DecodingNeeded = false;
  bool DecoderOpen = false;
  bool RateEmu = false;
  int64_t RateEmuStart = 0;  // wall clock, microseconds
  uint32_t RateEmuFrame = 0;
  int64_t NextPts = AV_NOPTS_VALUE;  // microseconds
  int64_t Pts = 0;                   // microseconds
  // Decoding-time clock of the packets, for the discontinuity test.
  int64_t NextDts = AV_NOPTS_VALUE;
  int64_t LastDts = AV_NOPTS_VALUE;
  // Packets held back while the file's jump rule judges a jump of this stream.
  std::vector<PacketPtr> JumpHeld;
  bool IsStart = true;
  float Quality = 0;  // quality of the last decoded picture
  // The clock of the picture the video path works on; with a stage thread
  // only that thread touches it.
  TPictureClock Picture;
  VideoStage* Stage = nullptr;  // owned by the tables; none: pictures go on inline
  // Turns, deinterlaces and tone-maps the decoded pictures before anything
  // else sees them; none for a stream that is not decoded for pictures.
  std::unique_ptr<SourceChain> Source;
  // The pictures as the rest of the video path gets them.
  int ShownWidth = 0, ShownHeight = 0;
  AVPixelFormat ShownFormat = AV_PIX_FMT_NONE;
  AVRational ShownAspect{0, 1};

  // Video filter chain fed by this stream (built by ConfigureFilters).
  FilterGraphPtr FilterGraph;
  AVFilterContext* FilterIn = nullptr;
  AVFilterContext* FilterOut = nullptr;
  std::string FilterText;  // the chain in the filter graph syntax
  // Where the last picture out of the chain ends, microseconds; the chain
  // may retime pictures, so the decoder's clock does not tell.
  int64_t FilteredEnd = AV_NOPTS_VALUE;
};

struct TTranscodeOutputStream {
  int FileIndex = 0;
  int Index = 0;
  int SourceIndex = 0;
  AVStream* Stream = nullptr;
  AVCodecContext* Encoder = nullptr;  // owned by the output file
  const AVCodec* Codec = nullptr;
  bool EncodingNeeded = false;
  bool EncoderOpen = false;
  // Written by the stream's own thread, read by the loop choosing the input.
  std::atomic<int> FrameNumber{0};
  int64_t PacketsWritten = 0;  // handed to the muxer
  TTranscodeInputStream* SyncInput = nullptr;
  std::atomic<int64_t> OutputPosition{0};  // encoder time base: frames or samples
  // Stream time base, last packet written: by the stream's own thread, read
  // by the loop and the progress report.
  std::atomic<int64_t> LastMuxDts{AV_NOPTS_VALUE};
  std::atomic<bool> ReachedEnd{false};  // nothing more is wanted: the recording time is reached
  PacketPtr EncodedPacket;              // what the encoder gives, one per stream and thread
  std::vector<BsfContextPtr> BitstreamFilters;
  // Stream copy with an output start time: whether writing has begun, and the
  // video packets since the last key frame before the start, held back so
  // that the copy can begin at that key frame (their bytes, the key frame's
  // time in microseconds, and whether a key frame was given up for being too
  // far before the start).
  bool CopyStarted = false;
  std::vector<PacketPtr> HeldPackets;
  int64_t HeldBytes = 0;
  int64_t HeldFrom = 0;
  bool HeldGivenUp = false;

  // Video
  bool VideoResample = false;
  // Made for the source's size and format, and again only when they change.
  SwsContextPtr Scaler;
  int ScalerSourceWidth = 0, ScalerSourceHeight = 0, ScalerSourceFormat = -1;
  int ScaleSourceHeight = 0;
  bool VideoCrop = false;
  int CropTopRows = 0, CropLeftColumns = 0, CropBottomRows = 0, CropRightColumns = 0;
  bool VideoPad = false;
  int PadTopRows = 0, PadBottomRows = 0, PadLeftColumns = 0, PadRightColumns = 0;
  // Frames that scaling or padding writes into; a frame the encoder still
  // holds is not overwritten, another one is used instead.
  FramePool ScratchPictures;
  FramePtr CropFrame;        // view of the picture inside the crop
  FramePtr InnerFrame;       // view of the scratch picture inside the padding
  FramePtr EncodeFrame;      // the frame handed to the encoder
  FramePtr PreviousPicture;  // repeated where the frame rate needs more frames
  // Written by the stream's own thread, read by the progress report.
  std::atomic<int> LastQuality{0};  // quality of the last packet (lambda units)
  char LastPictureType = 0;
  std::array<std::atomic<uint64_t>, 4> LastError{};   // per-plane error of the last packet
  std::array<std::atomic<uint64_t>, 4> TotalError{};  // accumulated

  // Audio
  bool AudioResampling = false;
  SwrContextPtr Resampler;
  AVSampleFormat ResamplerInFormat = AV_SAMPLE_FMT_NONE;
  int ResamplerInRate = 0;
  AVChannelLayout ResamplerInLayout{};
  AudioFifoPtr Fifo;
  FramePtr ResampleFrame;  // converter output, grown as needed
  int ResampleCapacity = 0;
  FramePtr AudioFrame;                    // one encoder frame read from the FIFO
  int64_t NextAudioPts = AV_NOPTS_VALUE;  // samples, encoder time base

  std::FILE* PassLog = nullptr;
  // The statistics file of an encoder that writes and reads it itself.
  std::string OwnStatsFile;

  ~TTranscodeOutputStream();
};

// Takes `shift` microseconds off the packet's time stamps that are set.
void ShiftPacket(AVPacket* packet, int64_t shift, AVRational timeBase);

struct TranscodeTables {
  TranscodeTables();

  std::vector<TInputFileState> Files;
  std::vector<std::unique_ptr<TTranscodeInputStream>> InputStreams;
  std::vector<std::unique_ptr<TTranscodeOutputStream>> OutputStreams;
  // Reused for every packet, so that the loop allocates nothing per packet.
  FramePtr DecodedFrame;
  FramePtr FilteredFrame;
  PacketPtr CopiedPacket;
  int64_t TimerStart = 0;
  int64_t LastReportTime = 0;
  // Taken around every write into an output file, which threads share.
  std::mutex MuxLock;
  // Last, so that the stage threads end before the streams they use go.
  std::vector<std::unique_ptr<VideoStage>> Stages;
};

}  // namespace moskvid
