// convert and formats: conversions the way the desktop application makes
// them, from the shared settings and the shipped profiles.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <optional>
#include <set>
#include <stdexcept>

#include "app/settings/app_settings.h"
#include "app/settings/folder_scan.h"
#include "app/settings/format_summary.h"
#include "app/settings/job_builder.h"
#include "app/settings/job_settings.h"
#include "app/settings/output_formats.h"
#include "app/settings/size_estimate.h"
#include "cli/cli_common.h"
#include "cli/component_run.h"
#include "engine/option_parsing.h"

namespace moskvid::cli {

namespace {

class StderrWarnings : public TWarningSink {
 public:
  void Warning(const std::string& text) override {
    std::fprintf(stderr, "Warning: %s\n", text.c_str());
  }
};

struct ConvertOptions {
  int Format = -1;  // -1: the stored choice
  std::string OutputDir;
  int StartMs = 0;
  int LengthMs = 0;
  int Crop[4] = {0, 0, 0, 0};  // top, bottom, left, right
  std::string Zoom = "lbox";
  int AudioTrack = 0;  // counting the audio streams from 1; 0: automatic
  std::string Config;
  bool Estimate = false;            // the sizes only; nothing is converted
  std::optional<TQuality> Quality;  // none: the format's stored choice
  RunSettings Run;
  std::vector<std::string> Files;
};

int Usage(const std::string& message) {
  std::cerr << "convert: " << message << "\n";
  PrintUsage();
  return kExitUsage;
}

bool ParseCount(const std::string& text, int& value) {
  char* end = nullptr;
  const long parsed = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || parsed < 0 || parsed > 1000000) return false;
  value = static_cast<int>(parsed);
  return true;
}

// "SS[.mmm]", "MM:SS[.mmm]" or "HH:MM:SS[.mmm]" in milliseconds.
bool ParseClock(const std::string& text, int& milliseconds) {
  double total = 0;
  size_t start = 0;
  int parts = 0;
  while (start <= text.size()) {
    const size_t colon = text.find(':', start);
    const std::string piece =
        text.substr(start, colon == std::string::npos ? colon : colon - start);
    char* end = nullptr;
    const double value = std::strtod(piece.c_str(), &end);
    if (piece.empty() || *end != '\0' || value < 0) return false;
    total = total * 60 + value;
    ++parts;
    if (colon == std::string::npos) break;
    start = colon + 1;
  }
  if (parts > 3 || total > 2147483.0) return false;
  milliseconds = static_cast<int>(total * 1000 + 0.5);
  return true;
}

int ParseConvertArguments(const std::vector<std::string>& args, ConvertOptions& options) {
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool takesValue = arg == "--format" || arg == "--output-dir" || arg == "--start" ||
                            arg == "--length" || arg == "--crop" || arg == "--zoom" ||
                            arg == "--quality" || arg == "--threads" || arg == "--config" ||
                            arg == "--jobs" || arg == "--audio-track";
    if (takesValue && i + 1 >= args.size()) return Usage(arg + " needs a value");
    const std::string value = takesValue ? args[++i] : "";
    if (arg == "--format") {
      if (!ParseCount(value, options.Format) || options.Format >= kFormatCount) {
        return Usage("--format takes a number from 0 to 13");
      }
    } else if (arg == "--output-dir") {
      options.OutputDir = value;
    } else if (arg == "--start") {
      if (!ParseClock(value, options.StartMs)) return Usage("--start takes HH:MM:SS[.mmm]");
    } else if (arg == "--length") {
      if (!ParseClock(value, options.LengthMs)) return Usage("--length takes HH:MM:SS[.mmm]");
    } else if (arg == "--crop") {
      std::string rest = value;
      for (int side = 0; side < 4; ++side) {
        const size_t colon = rest.find(':');
        const std::string piece = side < 3 ? rest.substr(0, colon) : rest;
        if ((side < 3 && colon == std::string::npos) || !ParseCount(piece, options.Crop[side]) ||
            options.Crop[side] % 2 != 0) {
          return Usage("--crop takes TOP:BOTTOM:LEFT:RIGHT in even numbers of pixels");
        }
        rest = side < 3 ? rest.substr(colon + 1) : "";
      }
    } else if (arg == "--zoom") {
      if (value != "lbox" && value != "cent" && value != "full" && value != "orig") {
        return Usage("--zoom takes lbox, cent, full or orig");
      }
      options.Zoom = value;
    } else if (arg == "--audio-track") {
      if (!ParseCount(value, options.AudioTrack) || options.AudioTrack < 1) {
        return Usage("--audio-track takes the number of a sound track, from 1");
      }
    } else if (arg == "--threads") {
      if (!ParseCount(value, options.Run.CodecThreads)) return Usage("--threads takes a number");
    } else if (arg == "--jobs") {
      if (!ParseSimultaneous(value, options.Run.Simultaneous)) {
        return Usage("--jobs takes a number from 1 to 64 or auto");
      }
    } else if (arg == "--config") {
      options.Config = value;
    } else if (arg == "--quality") {
      TQuality quality = qlBalanced;
      if (!ParseQuality(value, quality)) return Usage("--quality takes fast, balanced or best");
      options.Quality = quality;
    } else if (arg == "--estimate") {
      options.Estimate = true;
    } else if (arg == "--quiet" || arg == "-q") {
      options.Run.Log = LogDetail::Quiet;
    } else if (arg == "--verbose" || arg == "-v") {
      options.Run.Log = LogDetail::Verbose;
    } else if (!arg.empty() && arg[0] == '-') {
      return Usage("unknown option '" + arg + "'");
    } else {
      options.Files.push_back(arg);
    }
  }
  if (options.Files.empty()) return Usage("no file to convert");
  return kExitOk;
}

// The records of `job` (Input and Output set) from its source, open in
// `probe`, and what the run looks at. Throws what the job building throws.
void BuildJob(TAVProbe& probe, const ConvertOptions& options, int format, TGlobalObject& global,
              Job& job) {
  TlvFilesRecord record;
  record.SourceFile = job.Input;
  record.ZoomMode = options.Zoom;
  record.TrimStart = options.StartMs;
  record.TrimLength = options.LengthMs;
  record.CropTop = options.Crop[0];
  record.CropBottom = options.Crop[1];
  record.CropLeft = options.Crop[2];
  record.CropRight = options.Crop[3];
  record.AudioTrack = options.AudioTrack;
  // Said before anything is written, as the engine would say it.
  if (options.AudioTrack > 0 && probe.AudioTrackStream(options.AudioTrack) < 0) {
    throw std::runtime_error("there is no sound track " + std::to_string(options.AudioTrack) +
                             " (the file has " + std::to_string(probe.AudioTracks().size()) + ")");
  }
  auto records = std::make_unique<JobRecords>();
  TOutputOptions& output = records->Output;
  output.FileName = job.Output;
  ApplyTrimAndCrop(record, records->Input, output);
  BuildConversionJob(record, format, output, probe, records->Input, global, options.Quality);
  job.Shape = ShapeOfJob(probe, output);
  job.ExpectedMs = ExpectedLengthMs(probe, record);
  job.Records = std::move(records);
}

// Prints each file's estimated output and the total, as the window's Size
// column and the line under its list give them.
int PrintEstimates(TCCAVConverter& converter, const ConvertOptions& options,
                   const std::vector<std::string>& files, const TSizeRule& rule) {
  bool allProbed = true;
  std::vector<int64_t> sizes;
  for (const std::string& file : files) {
    TAVProbe& probe = converter.Probe();
    if (!probe.Open(file, "", TAVProbe::kHeaderOnly)) {
      std::fprintf(stderr, "%s\n", probe.LastError().c_str());
      allProbed = false;
      continue;
    }
    TAVFormatInfo info;
    probe.GetFormatInfo(info);
    probe.Close();
    TlvFilesRecord record;
    record.Duration = static_cast<int32_t>(info.Duration > 0 ? info.Duration / 1000000 : 0);
    record.TrimStart = options.StartMs;
    record.TrimLength = options.LengthMs;
    const int64_t bytes = EstimatedBytes(rule, ConvertedMs(record));
    sizes.push_back(bytes);
    if (bytes < 0)
      std::printf("unknown  %s\n", file.c_str());
    else
      std::printf("%s (%lld bytes)  %s\n", SizeText(bytes).c_str(), static_cast<long long>(bytes),
                  file.c_str());
  }
  int64_t total = 0;
  for (const int64_t bytes : sizes)
    total += std::max<int64_t>(0, bytes);
  std::printf("%s (%lld bytes)\n", CheckedTotalText(sizes).replace(0, 7, "Total").c_str(),
              static_cast<long long>(total));
  return allProbed && !sizes.empty() ? kExitOk : kExitFailed;
}

}  // namespace

int ConvertCommand(const std::vector<std::string>& args) {
  ConvertOptions options;
  if (const int status = ParseConvertArguments(args, options); status != kExitOk) return status;
  TGlobalObject global;
  if (!options.Config.empty()) global.SetConfigFile(options.Config);
  TAppSettings settings(global.ConfigFile());
  const int format = options.Format >= 0 ? options.Format : settings.OutputFormat();
  if (format < 0 || format >= kFormatCount) {
    std::fprintf(stderr, "The stored output format %d is not one of 0 to 13\n", format);
    return kExitFailed;
  }
  const std::string extension =
      TIniFile(global.ProfileFile()).ReadString(FormatSection(format), "FileExt", "mp4");

  TCCAVConverter converter;
  if (!LoadConverterLibraries(converter)) return kExitFailed;
  if (options.Estimate) {
    return PrintEstimates(
        converter, options, ExpandFolders(options.Files),
        SizeRuleFor(TJobSettings(global.ConfigFile(), global.ProfileFile(), format)));
  }
  StderrWarnings warnings;
  std::vector<Job> jobs;
  // Every output is opened before the first is written, so a name given to an
  // earlier job is taken although no file has it yet.
  std::set<std::string> givenNames;
  bool allPrepared = true;
  // A folder stands for the media files under it, in natural order.
  std::vector<std::string> files = ExpandFolders(options.Files);
  std::vector<std::string>().swap(options.Files);
  if (files.empty()) std::fprintf(stderr, "No media file in the folders named\n");
  jobs.reserve(files.size());
  for (const std::string& file : files) {
    // A look at the header is enough to name the output, shape the run and
    // find most unreadable files; each job is built for good, from its file
    // opened once, just before it runs.
    TAVProbe& probe = converter.Probe();
    if (!probe.Open(file, "", TAVProbe::kHeaderOnly)) {
      std::fprintf(stderr, "%s\n", probe.LastError().c_str());
      allPrepared = false;
      continue;
    }
    try {
      Job job;
      job.Input = file;
      job.Output = MakeOutputFileName(probe.FileName(), "." + extension, global, warnings,
                                      options.OutputDir, givenNames);
      bool built = false;
      try {
        BuildJob(probe, options, format, global, job);
        built = true;
      } catch (const std::exception&) {
      }
      if (!built) {
        // What the header leaves out may be needed: the whole look decides.
        if (!probe.Open(file)) {
          std::fprintf(stderr, "%s\n", probe.LastError().c_str());
          allPrepared = false;
          continue;
        }
        BuildJob(probe, options, format, global, job);
      }
      job.Records.reset();
      givenNames.insert(job.Output);
      jobs.push_back(std::move(job));
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", file.c_str(), error.what());
      allPrepared = false;
    }
    probe.Close();
  }
  // Every name is given: what the loop kept per file goes before the run.
  std::set<std::string>().swap(givenNames);
  std::vector<std::string>().swap(files);
  if (jobs.empty()) return kExitFailed;
  // Leaves the probe open on the job's file, for its task to take.
  const JobRecordMaker rebuild = [&](Job& job) {
    TAVProbe& probe = converter.Probe();
    if (!probe.Open(job.Input)) {
      std::fprintf(stderr, "%s\n", probe.LastError().c_str());
      return false;
    }
    try {
      BuildJob(probe, options, format, global, job);
      return true;
    } catch (const std::exception& error) {
      std::fprintf(stderr, "%s: %s\n", job.Input.c_str(), error.what());
      probe.Close();
      return false;
    }
  };
  const bool finished = RunJobs(converter, jobs, options.Run, rebuild);
  return finished && allPrepared ? kExitOk : kExitFailed;
}

int FormatsCommand(const std::vector<std::string>& args) {
  std::string config;
  for (size_t i = 0; i < args.size(); ++i) {
    if (args[i] == "--config" && i + 1 < args.size()) {
      config = args[++i];
    } else {
      std::cerr << "formats: unexpected argument '" << args[i] << "'\n";
      return kExitUsage;
    }
  }
  TGlobalObject global;
  if (!config.empty()) global.SetConfigFile(config);
  // The libraries tell which encoder runs for each stored name; without
  // them the stored names are listed.
  binding::LoadMediaLibraries(DefaultLibraryFolder(), true);
  const int current = TAppSettings(global.ConfigFile()).OutputFormat();
  TIniFile profile(global.ProfileFile());
  for (int n = 0; n < kFormatCount; ++n) {
    const TJobSettings settings(global.ConfigFile(), global.ProfileFile(), n);
    std::printf("%c%2d  %s\n", n == current ? '*' : ' ', n, OutputFormatText(n));
    const TFormatSummary summary = SummarizeFormat(
        [&settings](const std::string& key, const std::string& fallback) {
          return settings.Value(key, fallback);
        },
        profile.ReadString(FormatSection(n), "Format", "null"),
        profile.ReadString(FormatSection(n), "FileExt", "mp4"));
    for (const std::string& line : {summary.Container, summary.Video, summary.Audio, summary.Size})
      if (!line.empty()) std::printf("     %s\n", line.c_str());
  }
  return kExitOk;
}

}  // namespace moskvid::cli
