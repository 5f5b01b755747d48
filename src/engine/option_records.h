// The two option records the application fills per task, and the engine's
// exception type.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>

namespace moskvid {

class FFMpegException : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

struct TInputOptions {
  std::string FileName;        // empty: the name given with the request
  std::string Format;          // forced input format
  int32_t StartTime = -1;      // milliseconds; applied when above 0
  int32_t ProgramNumber = -1;  // applied when 0 or more
  std::string ExtOptions;      // option text, applied before the other fields
};

struct TOutputOptions {
  std::string FileName;
  std::string Format;
  int32_t MuxPacketSize = -1;
  int32_t MuxBitrate = -1;
  float MuxMaxDelay = -1;
  float MuxPreloadTime = -1;
  std::string AudioCodec;
  bool AudioDisable = false;
  int32_t Volume = -1;
  int32_t AudioChannels = -1;
  int32_t SampleRate = -1;
  int32_t AudioBitsPerSecond = -1;
  int32_t AudioBitrateTolerance = -1;
  std::string AudioLanguage;
  int32_t AudioSync = 0;
  std::string AudioTag;
  std::string VideoCodec;
  bool VideoDisable = false;
  std::string FrameRate;
  std::string FrameSize;
  std::string AspectRatio;
  int32_t CropTop = -1, CropBottom = -1, CropLeft = -1, CropRight = -1;
  int32_t PaddingTop = -1, PaddingBottom = -1, PaddingLeft = -1, PaddingRight = -1;
  uint32_t PaddingColor = 0;  // red in the lowest byte
  int32_t Gop = -1;
  int32_t VideoBitsPerSecond = -1;
  int32_t VideoMaxRate = -1;
  int32_t VideoMinRate = -1;
  int32_t BitrateTolerance = -1;
  int32_t VideoBufferSize = -1;
  int32_t VideoSync = -1;
  std::string VideoTag;
  std::string VideoFilters;
  bool SubtitleDisable = false;
  std::string SubtitleLanguage;
  int32_t CopyTimestamps = 0;
  int32_t Duration = -1;      // milliseconds
  double RecordingDate = -1;  // local date-time; 0 means now
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Title;  // up to 511 characters are used
  std::string Author;
  std::string Copyright;
  std::string Comment;
  std::string Album;
  std::string Genre;         // up to 31 characters are used
  int32_t Target = 0;        // 0 none, 1 "vcd", 2 "svcd", 3 "dvd"
  int32_t TargetNorm = 0;    // 0 "auto", 1 "pal", 2 "ntsc"
  int32_t FallbackNorm = 1;  // 1 "pal", otherwise "ntsc"
  bool CustomHook = false;
  bool BeforeHook = false;
  std::string HookRanges;
  std::string ExtOptions;
  // 2: the task reads its input once for the video encoder's statistics
  // (nothing is written), then encodes with them, closer to the rate and
  // with the bits where the picture needs them.
  int32_t Passes = 1;
};

}  // namespace moskvid
