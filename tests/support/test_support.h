// Helpers shared by the tests: the generated media, the command-line tools
// used as an independent oracle, and scratch folders.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace moskvid::test {

// The folder of the media made by make_test_media.sh (MOSKVID_TEST_MEDIA).
std::string MediaDir();
std::string Media(const std::string& name);

// A fresh folder for one test's output, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

// Runs a shell command; returns its standard output and sets the exit status.
std::string RunCommand(const std::string& command, int* status = nullptr);
std::string Quote(const std::string& text);

// What ffprobe tells of each stream ("codec_name", "width", "duration", ...).
using Fields = std::map<std::string, std::string>;
std::vector<Fields> ProbeStreams(const std::string& file);
Fields ProbeFormat(const std::string& file);
// Frames (or audio samples) that decoding the stream yields, counted by ffprobe.
int CountFrames(const std::string& file, const std::string& selector);
int CountPackets(const std::string& file, const std::string& selector);
// Presentation times of the packets of one stream, in seconds.
std::vector<double> PacketTimes(const std::string& file, const std::string& selector);
// Where one stream's packets begin and end (earliest time stamp, latest time
// stamp plus its duration), in seconds; both 0 when it has no packets.
struct Span {
  double start = 0;
  double end = 0;
  double Length() const { return end - start; }
};
Span StreamSpan(const std::string& file, const std::string& selector);
// Decoded audio samples of the first audio stream (per channel).
long long CountSamples(const std::string& file);

// Times (seconds) where a bright frame starts and where a loud tone starts,
// measured by decoding the file with ffprobe's filters.
std::vector<double> FlashTimes(const std::string& file);
std::vector<double> BeepTimes(const std::string& file);
// The time in `times` nearest to `expected`, or a large number when none.
double Nearest(const std::vector<double>& times, double expected);

double ToDouble(const std::string& text);

// One decoded picture of the first video stream at `seconds`, as 8-bit grey
// (or as planar YUV 4:2:0 with `yuv`), decoded by the ffmpeg tool.
struct Picture {
  int width = 0;
  int height = 0;
  std::vector<uint8_t> pixels;
  int At(int x, int y) const { return pixels[static_cast<size_t>(y) * width + x]; }
  double Mean(int x0, int y0, int x1, int y1) const;
};
Picture GrabPicture(const std::string& file, double seconds, bool yuv = false);

// The smallest rectangle holding every pixel brighter than `threshold`:
// where in the frame the picture is, bars left out. All 0 when none is.
struct Area {
  int left = 0, top = 0, width = 0, height = 0;
};
Area BrightArea(const Picture& picture, int threshold);

// The mean luma and saturation of the first picture, as the ffmpeg tool's
// signalstats filter measures them.
struct PictureLevels {
  double luma = -1;
  double saturation = -1;
};
PictureLevels MeasureLevels(const std::string& file);

// The level (RMS, dB) of the first audio stream, band-passed narrowly
// around `frequency`: which tone a file plays.
double ToneLevel(const std::string& file, int frequency);

// How the ffmpeg tool's interlace detector classes the pictures of the first
// video stream (its multi-frame counts).
struct FieldCounts {
  int progressive = 0;
  int interlaced = 0;  // top or bottom field first
};
FieldCounts DetectFields(const std::string& file);

// Counts the times a file is opened, by anyone, while it lives (inotify).
// Opens that overlap, with no close between them, may count as one.
class OpenCounter {
 public:
  explicit OpenCounter(const std::string& file);
  ~OpenCounter();
  OpenCounter(const OpenCounter&) = delete;
  OpenCounter& operator=(const OpenCounter&) = delete;
  // The opens so far.
  int Opens();

 private:
  int descriptor_ = -1;
  int opens_ = 0;
};

// Loads the media libraries from the system once per test program.
void LoadLibrariesOrDie();

}  // namespace moskvid::test
