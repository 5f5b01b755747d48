#include "app/settings/size_estimate.h"

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <map>

#include "app/settings/job_settings.h"
#include "engine/option_parsing.h"

namespace moskvid {

namespace {

// What the container adds to the streams, measured on 15 s outputs of the
// shipped formats: MP4's sample tables, ADTS's 7-byte frame headers, ASF's
// packet headers and padding, MP3's tags. WAV adds its 44-byte header.
double ContainerOverhead(const std::string& container) {
  static const std::map<std::string, double> kShares = {
      {"mp4", 0.015}, {"psp", 0.015}, {"ipod", 0.015}, {"mov", 0.015}, {"3gp", 0.015},
      {"adts", 0.02}, {"asf", 0.08},  {"avi", 0.03},   {"mp3", 0.005}, {"wav", 0.0}};
  const auto share = kShares.find(container);
  return share == kShares.end() ? 0.02 : share->second;
}

// A whole number at the start of `text` ("2" of "2 channels"), or -1.
long LeadingNumber(const std::string& text) {
  const std::string trimmed = Trim(text);
  char* end = nullptr;
  const long value = std::strtol(trimmed.c_str(), &end, 10);
  return end == trimmed.c_str() || value <= 0 ? -1 : value;
}

}  // namespace

TSizeRule SizeRuleFor(const TSettingLookup& setting, const std::string& container) {
  TFormatRates rates = FormatRates(setting);
  // PCM has no rate to choose: it follows from the samples.
  std::string encoder = Trim(setting("paraAudioEncoder", ""));
  std::transform(encoder.begin(), encoder.end(), encoder.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  if (rates.Audio < 0 && encoder.rfind("pcm_s16", 0) == 0) {
    const long sampleRate = LeadingNumber(setting("paraSampleRate", "44100"));
    const long channels = LeadingNumber(setting("paraChannel", "2"));
    if (sampleRate > 0 && channels > 0) rates.Audio = sampleRate * channels * 16 / 1000.0;
  }
  TSizeRule rule;
  if (rates.Audio >= 0 && rates.Video >= 0) rule.Kbits = rates.Audio + rates.Video;
  rule.Overhead = ContainerOverhead(Trim(container));
  return rule;
}

TSizeRule SizeRuleFor(const TJobSettings& settings) {
  return SizeRuleFor(
      [&settings](const std::string& key, const std::string& fallback) {
        return settings.Value(key, fallback);
      },
      settings.ProfileValue("Format", "null"));
}

int64_t ConvertedMs(const TlvFilesRecord& record) {
  const int64_t rest = std::max<int64_t>(0, int64_t{record.Duration} * 1000 - record.TrimStart);
  return record.TrimLength > 0 ? std::min<int64_t>(record.TrimLength, rest) : rest;
}

int64_t EstimatedBytes(const TSizeRule& rule, int64_t lengthMs) {
  if (rule.Kbits < 0) return -1;
  const double streams = rule.Kbits * 1000 / 8 * static_cast<double>(lengthMs) / 1000;
  return static_cast<int64_t>(streams * (1 + rule.Overhead) + 0.5);
}

std::string SizeText(int64_t bytes) {
  if (bytes < 0) return "";
  const double value = static_cast<double>(bytes);
  if (value < 999.5e3) return Format("%.0f KB", value / 1e3);
  if (value < 999.95e6) return Format("%.1f MB", value / 1e6);
  return Format("%.1f GB", value / 1e9);
}

std::string CheckedTotalText(const std::vector<int64_t>& checkedBytes) {
  const size_t files = checkedBytes.size();
  std::string text = "Checked: " + std::to_string(files) + (files == 1 ? " file" : " files");
  int64_t total = 0;
  size_t unknown = 0;
  for (const int64_t bytes : checkedBytes) {
    if (bytes < 0)
      ++unknown;
    else
      total += bytes;
  }
  if (files == 0 || unknown == files) return text;
  text += ", about " + SizeText(total);
  if (unknown > 0) text += " (" + std::to_string(unknown) + " not estimated)";
  return text;
}

std::vector<TShortFileSystem> ShortFileSystems(const std::vector<TPlannedOutput>& outputs,
                                               const TFreeSpaceLookup& lookup) {
  std::vector<TShortFileSystem> systems;
  std::vector<uint64_t> devices;
  std::map<std::string, size_t> known;  // folder -> its file system's place
  for (const TPlannedOutput& output : outputs) {
    if (output.Bytes <= 0) continue;
    auto place = known.find(output.Folder);
    if (place == known.end()) {
      std::string folder = output.Folder;
      TFreeSpace space;
      bool found = false;
      while (!folder.empty() && !(found = lookup(folder, space))) {
        // A folder not made yet: Start makes it on the one above.
        while (folder.size() > 1 && folder.back() == '/')
          folder.pop_back();
        const size_t slash = folder.rfind('/');
        if (slash == std::string::npos || folder == "/") break;
        folder = folder.substr(0, slash + 1);
      }
      if (!found) continue;
      const auto device = std::find(devices.begin(), devices.end(), space.Device);
      size_t index = static_cast<size_t>(device - devices.begin());
      if (device == devices.end()) {
        devices.push_back(space.Device);
        systems.push_back({output.Folder, 0, space.FreeBytes});
      }
      place = known.emplace(output.Folder, index).first;
    }
    systems[place->second].Needed += output.Bytes;
  }
  std::vector<TShortFileSystem> short_;
  for (const TShortFileSystem& system : systems)
    if (system.Needed > system.FreeBytes) short_.push_back(system);
  return short_;
}

std::string ShortSpaceQuestion(const std::vector<TShortFileSystem>& systems) {
  std::string text = systems.size() == 1 ? "The outputs may not fit on the disk:\n"
                                         : "The outputs may not fit on these disks:\n";
  for (const TShortFileSystem& system : systems) {
    std::string folder = system.Folder;
    if (folder.size() > 1 && folder.back() == '/') folder.pop_back();
    text += "\n" + folder + ": about " + SizeText(system.Needed) + " to write, " +
            SizeText(std::max<int64_t>(0, system.FreeBytes)) + " free";
  }
  return text + "\n\nConvert anyway?";
}

}  // namespace moskvid
