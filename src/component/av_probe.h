// TAVProbe: describes one media file and decodes single video frames for
// previews. It either opens the file itself or attaches, read-only, to a file
// that a conversion task has opened.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "binding/ffptr.h"
#include "engine/bitmap24.h"
#include "engine/picture_ops.h"

namespace moskvid {

struct TAVFormatInfo {
  int64_t StartTime = -1;  // microseconds
  int64_t Duration = -1;   // microseconds
  int32_t BitRate = -1;    // bits per second
  int64_t TimeStamp = -1;  // seconds since 1970
  std::string Title, Author, Copyright, Comment, Album;
  int32_t Year = -1;
  int32_t Track = -1;
  std::string Genre;
  // What music players show besides; Author is the artist.
  std::string AlbumArtist, Composer;
  int32_t TrackTotal = -1;
  std::string Disc;  // "1" or "1/2"
};

struct TAVAudioStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;    // stream time units
  int64_t StartTimeUs = -1;  // microseconds
  int64_t Duration = -1;
  int64_t DurationUs = -1;
  int32_t BitRate = -1;
  int32_t Channels = -1;
  int32_t SampleRate = -1;
  int32_t SampleFormat = -1;
  bool Default = false;  // marked as the track to play
};

struct TAVVideoStreamInfo {
  std::string Language;
  std::string CodecName;
  int64_t StartTime = -1;
  int64_t StartTimeUs = -1;
  int64_t Duration = -1;
  int64_t DurationUs = -1;
  int32_t BitRate = -1;
  int32_t Height = -1;
  int32_t Width = -1;
  // Of the picture as shown: width x sample aspect / height, turned with it.
  float DisplayAspectRatio = -1;
  int32_t PixelFormat = -1;
  int32_t FrameRateNum = -1;
  int32_t FrameRateDen = -1;
  // The stored pixel's shape (1:1 when the file does not say) and the
  // clockwise turn a player gives the picture (0, 90, 180 or 270).
  int32_t SampleAspectNum = 1;
  int32_t SampleAspectDen = 1;
  int32_t Rotation = 0;
};

// The width of a stored pixel as shown, its height 1: the sample aspect,
// turned with the picture.
double ShownPixelAspect(const TAVVideoStreamInfo& info);

// One sound track of a file, as a list of tracks shows it.
struct TAVAudioTrack {
  int Number = 0;  // counting the file's audio streams from 1
  int Stream = -1;
  std::string Language;
  std::string CodecName;
  int Channels = 0;
  bool Default = false;  // marked as the track to play
};

// "HH:MM:SS.mmm" of a time in microseconds.
std::string DurationText(int64_t microseconds);

class TAVProbe {
 public:
  // Pictures beyond this many pixels (8192 x 8192) are not decoded for
  // previews; DecodeNextFrame gives none and LastError() says why.
  static constexpr int64_t kMaxPicturePixels = moskvid::kMaxPicturePixels;

  TAVProbe() = default;
  ~TAVProbe();
  TAVProbe(const TAVProbe&) = delete;
  TAVProbe& operator=(const TAVProbe&) = delete;

  // Opens a file; false with LastError() on failure. Raises when the media
  // libraries are not loaded. `headerOnly` reads the streams' information
  // only when the header leaves out a codec, a size or every length; the
  // lengths then come from the streams, and the probe is for looking only.
  static constexpr bool kHeaderOnly = true;
  bool Open(const std::string& fileName, const std::string& forcedFormat = "",
            bool headerOnly = false);
  // Describes a context some task opened; the probe does not own it and will
  // neither seek nor decode in it.
  void Attach(AVFormatContext* context);
  void Close();
  // Gives up an input the probe opened and has neither sought nor read in,
  // stream information and all, for a task to run from; null otherwise.
  // `formatForced` tells whether Open named its format. The probe is closed.
  InputContextPtr TakeUnreadContext(bool& formatForced);

  void GetFormatInfo(TAVFormatInfo& info);
  void GetAudioStreamInfo(int stream, TAVAudioStreamInfo& info);
  void GetVideoStreamInfo(int stream, TAVVideoStreamInfo& info);
  bool IsAudioStream(int stream);
  bool IsVideoStream(int stream);
  std::string FileName();
  std::string FormatName();
  int64_t ProbeFileSize();
  std::string InfoText();

  // The file's sound tracks in order, and the stream a conversion takes for
  // `track` (0: the automatic choice; -1 when there is no such track).
  std::vector<TAVAudioTrack> AudioTracks();
  int AudioTrackStream(int track);

  // Positions the file at `microseconds` in a stream (-1: the first video,
  // else audio, else subtitle stream, else the container).
  bool Seek(int stream, int64_t microseconds);
  // Decodes the next picture of a video stream (-1: the first one, else the
  // cover picture) into the frame bitmap, upright as a player shows it, and
  // returns it; a 0x0 bitmap when there is none, also when
  // no decoder can read the stream (LastError() then says why). Raises only
  // for a context the probe does not own.
  const TBitmap24& DecodeNextFrame(int stream = -1);
  const TBitmap24& LastFrame() const { return lastFrame_; }
  const TBitmap24& Frame() const { return frame_; }

  std::string LastError() const;
  bool OwnsContext() const { return ownsContext_; }
  bool Loaded() const { return context_ != nullptr; }
  bool StillImage() const { return stillImage_; }

  int StreamCount = -1, ProgramCount = -1;
  // Video counts a film's pictures only: a cover picture stored with music
  // is CoverStream.
  int AudioCount = -1, VideoCount = -1, SubtitleCount = -1;
  int FirstAudio = -1, FirstVideo = -1, FirstSubtitle = -1;
  int CoverStream = -1;

 private:
  void CheckLibraries() const;
  void CountStreams();
  void CloseLocked();
  std::string StreamLine(unsigned index);
  // The decoder of `stream`, opened on first use.
  AVCodecContext* DecoderFor(int stream);
  void FillFrame(const AVFrame* picture);

  // Guards everything below: a task's probe is read by the window thread
  // while the task's worker may detach it.
  mutable std::recursive_mutex lock_;
  AVFormatContext* context_ = nullptr;
  bool ownsContext_ = false;
  std::string lastError_;
  std::string forcedFormat_;
  CodecContextPtr decoder_;
  int decoderStream_ = -1;
  SwsContext* converter_ = nullptr;
  TBitmap24 frame_;
  TBitmap24 lastFrame_;
  TBitmap24 stored_;  // a picture as stored, before it is turned upright
  bool stillImage_ = false;
  bool touched_ = false;     // sought or read in since it was opened
  bool streamInfo_ = false;  // the streams' information was read
};

}  // namespace moskvid
