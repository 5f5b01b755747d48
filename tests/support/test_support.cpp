#include "support/test_support.h"

#include <sys/inotify.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "binding/media_loader.h"

namespace moskvid::test {

std::string MediaDir() {
  const char* dir = std::getenv("MOSKVID_TEST_MEDIA");
  if (!dir) throw std::runtime_error("MOSKVID_TEST_MEDIA is not set");
  return dir;
}

std::string Media(const std::string& name) {
  return MediaDir() + "/" + name;
}

ScratchDir::ScratchDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "moskvid-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("cannot make a scratch folder");
  path_ = pattern;
}

ScratchDir::~ScratchDir() {
  std::error_code error;
  std::filesystem::remove_all(path_, error);
}

std::string Quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') {
      quoted += "'\\''";
    } else {
      quoted += c;
    }
  }
  return quoted + "'";
}

std::string RunCommand(const std::string& command, int* status) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) throw std::runtime_error("cannot run: " + command);
  std::array<char, 4096> buffer{};
  size_t read = 0;
  while ((read = std::fread(buffer.data(), 1, buffer.size(), pipe)) > 0) {
    output.append(buffer.data(), read);
  }
  const int result = pclose(pipe);
  if (status) *status = WIFEXITED(result) ? WEXITSTATUS(result) : -1;
  return output;
}

double ToDouble(const std::string& text) {
  try {
    return std::stod(text);
  } catch (...) {
    return -1;
  }
}

namespace {

// Parses ffprobe's "flat" output: section.N.key="value".
std::vector<Fields> ParseFlat(const std::string& text, const std::string& section) {
  std::vector<Fields> items;
  std::istringstream lines(text);
  std::string line;
  const std::string prefix = section + ".";
  while (std::getline(lines, line)) {
    if (line.compare(0, prefix.size(), prefix) != 0) continue;
    std::string rest = line.substr(prefix.size());
    size_t dot = rest.find('.');
    size_t equals = rest.find('=');
    if (dot == std::string::npos || equals == std::string::npos || equals < dot) continue;
    const size_t index = std::stoul(rest.substr(0, dot));
    std::string key = rest.substr(dot + 1, equals - dot - 1);
    std::string value = rest.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    if (items.size() <= index) items.resize(index + 1);
    items[index][key] = value;
  }
  return items;
}

}  // namespace

std::vector<Fields> ProbeStreams(const std::string& file) {
  return ParseFlat(RunCommand("ffprobe -v error -show_streams -of flat " + Quote(file)),
                   "streams.stream");
}

Fields ProbeFormat(const std::string& file) {
  Fields fields;
  std::istringstream lines(RunCommand("ffprobe -v error -show_format -of flat " + Quote(file)));
  std::string line;
  while (std::getline(lines, line)) {
    const std::string prefix = "format.";
    size_t equals = line.find('=');
    if (line.compare(0, prefix.size(), prefix) != 0 || equals == std::string::npos) continue;
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    fields[line.substr(prefix.size(), equals - prefix.size())] = value;
  }
  return fields;
}

int CountFrames(const std::string& file, const std::string& selector) {
  const std::string out =
      RunCommand("ffprobe -v error -count_frames -select_streams " + selector +
                 " -show_entries stream=nb_read_frames -of csv=p=0 " + Quote(file));
  return static_cast<int>(ToDouble(out));
}

int CountPackets(const std::string& file, const std::string& selector) {
  const std::string out =
      RunCommand("ffprobe -v error -count_packets -select_streams " + selector +
                 " -show_entries stream=nb_read_packets -of csv=p=0 " + Quote(file));
  return static_cast<int>(ToDouble(out));
}

std::vector<double> PacketTimes(const std::string& file, const std::string& selector) {
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams " + selector +
                                      " -show_entries packet=pts_time -of csv=p=0 " + Quote(file)));
  std::vector<double> times;
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line != "N/A") times.push_back(ToDouble(line));
  }
  return times;
}

Span StreamSpan(const std::string& file, const std::string& selector) {
  std::istringstream lines(RunCommand("ffprobe -v error -select_streams " + selector +
                                      " -show_entries packet=pts_time,duration_time -of csv=p=0 " +
                                      Quote(file)));
  Span span;
  bool any = false;
  std::string line;
  while (std::getline(lines, line)) {
    const size_t comma = line.find(',');
    const std::string pts = line.substr(0, comma);
    if (pts.empty() || pts == "N/A") continue;
    const double start = ToDouble(pts);
    double duration = 0;
    if (comma != std::string::npos && line.substr(comma + 1) != "N/A") {
      duration = ToDouble(line.substr(comma + 1));
    }
    if (!any || start < span.start) span.start = start;
    if (!any || start + duration > span.end) span.end = start + duration;
    any = true;
  }
  return span;
}

long long CountSamples(const std::string& file) {
  const std::string out = RunCommand("ffmpeg -v error -nostdin -i " + Quote(file) +
                                     " -map 0:a:0 -f s16le -ac 1 - | wc -c");
  return static_cast<long long>(ToDouble(out)) / 2;
}

namespace {

// Frame times where a measured value crosses `threshold` from below.
std::vector<double> Onsets(const std::string& text, const std::string& key, double threshold) {
  std::vector<double> onsets;
  std::istringstream lines(text);
  std::string line;
  double time = -1;
  bool above = false;
  // ffprobe prints pts_time and the tag of each frame on separate lines.
  while (std::getline(lines, line)) {
    size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string name = line.substr(0, equals);
    std::string value = line.substr(equals + 1);
    if (value.size() >= 2 && value.front() == '"') value = value.substr(1, value.size() - 2);
    if (name.find(".pts_time") != std::string::npos) {
      time = ToDouble(value);
    } else if (name.find(key) != std::string::npos) {
      const double level = ToDouble(value);
      // Ringing right after a tone or a flash is not a new onset.
      if (level > threshold && !above && (onsets.empty() || time - onsets.back() > 0.3)) {
        onsets.push_back(time);
      }
      above = level > threshold;
    }
  }
  return onsets;
}

}  // namespace

std::vector<double> FlashTimes(const std::string& file) {
  const std::string text =
      RunCommand("ffprobe -v error -f lavfi -i " + Quote("movie=" + file + ",signalstats") +
                 " -show_entries frame=pts_time:frame_tags=lavfi.signalstats.YAVG -of flat");
  return Onsets(text, "signalstats_YAVG", 128);
}

std::vector<double> BeepTimes(const std::string& file) {
  const std::string text = RunCommand(
      "ffprobe -v error -f lavfi -i " +
      Quote("amovie=" + file + ",asetnsamples=n=32,astats=metadata=1:reset=1") +
      " -show_entries frame=pts_time:frame_tags=lavfi.astats.Overall.Peak_level -of flat");
  return Onsets(text, "Overall_Peak_level", -20);
}

double Picture::Mean(int x0, int y0, int x1, int y1) const {
  double sum = 0;
  int count = 0;
  for (int y = y0; y < y1; ++y) {
    for (int x = x0; x < x1; ++x, ++count)
      sum += At(x, y);
  }
  return count ? sum / count : 0;
}

Picture GrabPicture(const std::string& file, double seconds, bool yuv) {
  Picture picture;
  const auto streams = ProbeStreams(file);
  for (const Fields& stream : streams) {
    if (stream.count("codec_type") && stream.at("codec_type") == "video") {
      picture.width = static_cast<int>(ToDouble(stream.at("width")));
      picture.height = static_cast<int>(ToDouble(stream.at("height")));
      break;
    }
  }
  const std::string data =
      RunCommand("ffmpeg -v error -nostdin -ss " + std::to_string(seconds) + " -i " + Quote(file) +
                 " -frames:v 1 -f rawvideo -pix_fmt " + (yuv ? "yuv420p" : "gray") + " -");
  picture.pixels.assign(data.begin(), data.end());
  return picture;
}

Area BrightArea(const Picture& picture, int threshold) {
  int left = picture.width, top = picture.height, right = -1, bottom = -1;
  for (int y = 0; y < picture.height; ++y) {
    for (int x = 0; x < picture.width; ++x) {
      if (picture.At(x, y) <= threshold) continue;
      left = std::min(left, x);
      right = std::max(right, x);
      top = std::min(top, y);
      bottom = std::max(bottom, y);
    }
  }
  if (right < 0) return Area{};
  return Area{left, top, right - left + 1, bottom - top + 1};
}

PictureLevels MeasureLevels(const std::string& file) {
  const std::string text =
      RunCommand("ffprobe -v error -f lavfi -i " + Quote("movie=" + file + ",signalstats") +
                 " -read_intervals %+#1 -show_entries "
                 "frame_tags=lavfi.signalstats.YAVG,lavfi.signalstats.SATAVG -of csv=p=0");
  PictureLevels levels;
  std::istringstream values(text);
  std::string value;
  if (std::getline(values, value, ',')) levels.luma = ToDouble(value);
  if (std::getline(values, value, ',')) levels.saturation = ToDouble(value);
  return levels;
}

double ToneLevel(const std::string& file, int frequency) {
  const std::string text =
      RunCommand("ffmpeg -v info -nostdin -i " + Quote(file) + " -map 0:a:0 -af " +
                 Quote("bandpass=f=" + std::to_string(frequency) +
                       ":width_type=q:w=20,astats=measure_perchannel=none") +
                 " -f null - 2>&1");
  const std::string key = "RMS level dB:";
  const size_t at = text.rfind(key);
  if (at == std::string::npos) return -1000;
  const double level = ToDouble(text.substr(at + key.size()));
  return text.compare(at + key.size(), 5, " -inf") == 0 ? -1000 : level;
}

FieldCounts DetectFields(const std::string& file) {
  const std::string text = RunCommand("ffmpeg -v info -nostdin -i " + Quote(file) +
                                      " -map 0:v:0 -vf idet -f null - 2>&1");
  FieldCounts counts;
  const size_t at = text.rfind("Multi frame detection:");
  if (at == std::string::npos) return counts;
  std::istringstream line(text.substr(at, text.find('\n', at) - at));
  std::string word;
  while (line >> word) {
    int value = 0;
    if (word == "TFF:" || word == "BFF:") {
      line >> value;
      counts.interlaced += value;
    } else if (word == "Progressive:") {
      line >> value;
      counts.progressive += value;
    }
  }
  return counts;
}

double Nearest(const std::vector<double>& times, double expected) {
  double best = 1e9;
  for (double t : times) {
    if (std::abs(t - expected) < std::abs(best - expected)) best = t;
  }
  return best;
}

void LoadLibrariesOrDie() {
  if (!binding::LoadMediaLibraries("", true)) {
    throw std::runtime_error("cannot load the media libraries: " + binding::MediaLoadError());
  }
}

OpenCounter::OpenCounter(const std::string& file) {
  descriptor_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  // Closes are watched too: two unread events in a row that are the same
  // come as one, and a close between two opens keeps them apart.
  if (descriptor_ < 0 || inotify_add_watch(descriptor_, file.c_str(), IN_OPEN | IN_CLOSE) < 0)
    throw std::runtime_error("cannot watch " + file);
}

OpenCounter::~OpenCounter() {
  if (descriptor_ >= 0) close(descriptor_);
}

int OpenCounter::Opens() {
  alignas(inotify_event) char buffer[4096];
  for (;;) {
    const ssize_t length = read(descriptor_, buffer, sizeof buffer);
    if (length <= 0) return opens_;
    for (ssize_t at = 0; at < length;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      opens_ += (event->mask & IN_OPEN) != 0;
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
}

}  // namespace moskvid::test
