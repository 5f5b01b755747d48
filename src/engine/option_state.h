// The engine's option state: every field with its reset value.
#pragma once

#include <array>
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

extern "C" {
#include <libavformat/avformat.h>
}

namespace moskvid {

inline constexpr int kMaxFiles = 20;    // inputs or outputs per task
inline constexpr int kMaxStreams = 20;  // streams per input or output file
inline constexpr int kMaxStreamMaps = 400;
inline constexpr int kMaxMetaDataMaps = 20;

struct StreamMap {
  int File = 0;
  int Stream = 0;
  int SyncFile = 0;
  int SyncStream = 0;
};

struct MetaDataMap {
  int OutputFile = 0;
  int InputFile = 0;
};

// One entry of a bit-stream filter chain: the option value, "name[=args]".
struct BitstreamFilterSpec {
  std::string Name;
  std::string Text;
};
using BitstreamFilterChain = std::vector<BitstreamFilterSpec>;

enum StreamKind { kVideoKind = 0, kAudioKind = 1, kDataKind = 2, kSubtitleKind = 3 };

using QuantMatrix = std::array<uint16_t, 64>;

struct EngineOptions {
  // Formats
  const AVInputFormat* ForcedInputFormat = nullptr;
  const AVOutputFormat* ForcedOutputFormat = nullptr;
  bool PgmyuvCompat = false;

  // Picture
  int PictureWidth = 0;
  int PictureHeight = 0;
  float FrameAspectRatio = 0;
  int FramePixFmt = -1;
  AVRational FrameRateValue{0, 0};
  // Set by "r"; the rate an input brings is not a choice.
  bool FrameRateChosen = false;
  int PadTop = 0, PadBottom = 0, PadLeft = 0, PadRight = 0;
  int PadColorY = 16, PadColorU = 128, PadColorV = 128;
  int CropTop = 0, CropBottom = 0, CropLeft = 0, CropRight = 0;
  std::string vfilters;
  bool UsingFilters = false;
  unsigned SwsFlags = 4;  // bicubic

  // Limits
  std::array<int, 4> MaxFrames{INT_MAX, INT_MAX, INT_MAX, INT_MAX};
  int64_t RecordingTime = INT64_MAX;  // microseconds
  int64_t InputStartTime = 0;         // microseconds
  int64_t RecTimestamp = 0;           // seconds since 1970
  int64_t InputTsOffset = 0;          // microseconds
  int64_t LimitFilesize = 0;          // bytes
  // "itsscale" for the input opened next, per stream; 0 means none.
  std::array<double, kMaxStreams> PendingTsScale{};

  // Video codec
  std::string VideoCodecName;  // empty: none
  bool VideoStreamCopy = false;
  uint32_t VideoCodecTag = 0;
  float VideoQscale = 0;
  std::optional<QuantMatrix> intra_matrix;
  std::optional<QuantMatrix> inter_matrix;
  std::string VideoRcOverride;
  bool IntraOnly = false;
  int VideoDiscard = 0;
  bool SameQuality = false;
  bool DoDeinterlace = false;
  // What a player does to a source and devices cannot: turn pictures as the
  // file says, deinterlace pictures flagged interlaced, and tone-map PQ and
  // HLG pictures to BT.709. Each can be switched off.
  bool AutoRotate = true;
  bool AutoDeinterlace = true;
  bool AutoToneMap = true;
  int TopFieldFirst = -1;
  int MeThreshold = 0;
  int IntraDcPrecision = 8;
  bool VideoDisable = false;
  int VideoSyncMethod = -1;
  int VideoGlobalHeader = 0;
  int VideoChannel = 0;
  std::string VideoStandard;
  int DoPass = 0;
  std::string PassLogfilename;
  bool QpHist = false;
  bool UsingVhook = false;

  // Audio
  int AudioSampleRate = 44100;
  int AudioChannels = 2;
  float AudioQscale = -99999;
  std::string AudioCodecName;
  bool AudioStreamCopy = false;
  uint32_t AudioCodecTag = 0;
  std::string AudioLanguage;
  bool AudioDisable = false;
  // The sound track of the inputs opened next, counting audio streams from
  // 1; 0 takes the one marked default, else the one with most channels.
  int AudioTrack = 0;
  int AudioVolume = 256;
  int AudioSyncMethod = 0;
  float AudioDriftThreshold = 0.1f;
  int AudioSampleFmt = -1;

  // Subtitles
  std::string SubtitleCodecName;
  bool SubtitleStreamCopy = false;
  std::string SubtitleLanguage;
  bool SubtitleDisable = false;

  // Muxing
  float MuxPreload = 0.5f;
  float MuxMaxDelay = 0.7f;
  bool CopyTs = false;
  bool OptShortest = false;
  float DtsDeltaThreshold = 10;
  bool LoopInput = false;
  int LoopOutput = -1;
  bool RateEmu = false;
  bool InputSync = false;
  int OptProgramid = 0;
  std::vector<StreamMap> StreamMapList;
  std::vector<MetaDataMap> MetaDataMaps;
  std::array<BitstreamFilterChain, 3> PendingBitstreamFilters;  // video, audio, subtitle

  // Metadata
  // The first input's cover picture goes into outputs that hold one.
  bool KeepCover = true;
  std::string title, author, copyright, comment, album, genre;
  int MetaYear = 0;
  int MetaTrack = 0;

  // Diagnostics
  int Verbose = 1;
  bool DoPktDump = false;
  bool DoHexDump = false;
  bool DoPsnr = false;
  bool ExitOnError = false;
  std::string VstatsFilename;  // empty: none
  int ThreadCount = 1;         // codec threads; 0 lets the library use one per core
  // With more than one codec thread, a decoded video stream's pictures are
  // worked on by a thread of their own; 0 keeps everything on one thread.
  int VideoPipeline = 1;

  // Generic options: names of the generic options that were set, in order.
  std::vector<std::string> OptNames;
  // Options that no generic context knows, kept for the encoders and muxers
  // whose own (private) options define them.
  std::vector<std::pair<std::string, std::string>> PrivateOptions;
};

}  // namespace moskvid
