#include "app/settings/simultaneous.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "app/settings/app_settings.h"

namespace moskvid {

namespace {

constexpr const char* kKey = "simultaneous";
constexpr int kMostJobs = 64;
// Standard definition: 720x576 and less.
constexpr long kLargestSmallPicture = 720L * 576;

}  // namespace

int ReadSimultaneous(const TIniFile& config) {
  const std::string text = config.ReadString(kSettingsSection, kKey, "1");
  int value = 1;
  if (!ParseSimultaneous(text, value) || value > kMostSimultaneous) return 1;
  return value;
}

void WriteSimultaneous(TIniFile& config, int simultaneous) {
  const bool valid = simultaneous >= kSimultaneousAuto && simultaneous <= kMostSimultaneous;
  const int value = valid ? simultaneous : 1;
  config.WriteString(kSettingsSection, kKey,
                     value == kSimultaneousAuto ? "auto" : std::to_string(value));
}

std::vector<std::string> SimultaneousChoices() {
  std::vector<std::string> choices;
  for (int n = 1; n <= kMostSimultaneous; ++n)
    choices.push_back(std::to_string(n));
  choices.emplace_back("Auto");
  return choices;
}

int SimultaneousOfChoice(int choice) {
  if (choice == kMostSimultaneous) return kSimultaneousAuto;
  return choice >= 0 && choice < kMostSimultaneous ? choice + 1 : 1;
}

int ChoiceOfSimultaneous(int simultaneous) {
  if (simultaneous == kSimultaneousAuto) return kMostSimultaneous;
  return std::clamp(simultaneous, 1, kMostSimultaneous) - 1;
}

bool ParseSimultaneous(const std::string& text, int& simultaneous) {
  if (text == "auto" || text == "Auto") {
    simultaneous = kSimultaneousAuto;
    return true;
  }
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < 1 || parsed > kMostJobs) return false;
  simultaneous = static_cast<int>(parsed);
  return true;
}

TJobShape ShapeOfJob(TAVProbe& probe, const TOutputOptions& output) {
  if (output.VideoDisable || probe.FirstVideo < 0) return TJobShape{};
  TAVVideoStreamInfo video;
  probe.GetVideoStreamInfo(probe.FirstVideo, video);
  return TJobShape{true, video.Width, video.Height};
}

int ExpectedLengthMs(TAVProbe& probe, const TlvFilesRecord& record) {
  TAVFormatInfo format;
  probe.GetFormatInfo(format);
  int64_t lengthMs =
      format.Duration > 0 ? format.Duration / 1000 - std::max(record.TrimStart, 0) : -1;
  if (record.TrimLength > 0 && (lengthMs < 0 || record.TrimLength < lengthMs)) {
    lengthMs = record.TrimLength;
  }
  return lengthMs > 0 ? static_cast<int>(std::min<int64_t>(lengthMs, INT32_MAX)) : -1;
}

int AutoSimultaneous(const std::vector<TJobShape>& jobs, int cores) {
  cores = std::max(cores, 1);
  const bool large = std::any_of(jobs.begin(), jobs.end(), [](const TJobShape& job) {
    return job.Video && long{job.Width} * job.Height > kLargestSmallPicture;
  });
  return large ? std::max(1, cores / 8) : cores;
}

int SimultaneousFor(int simultaneous, const std::vector<TJobShape>& jobs, int cores) {
  const int wanted =
      simultaneous == kSimultaneousAuto ? AutoSimultaneous(jobs, cores) : simultaneous;
  return std::clamp(wanted, 1, std::max<int>(1, static_cast<int>(jobs.size())));
}

}  // namespace moskvid
