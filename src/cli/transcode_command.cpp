// transcode: one conversion with engine option lines for the input and the
// output, run through the converter component.
#include <cstdlib>
#include <iostream>

#include "cli/cli_common.h"
#include "cli/component_run.h"

namespace moskvid::cli {

int TranscodeCommand(const std::vector<std::string>& args) {
  std::vector<Job> jobs(1);
  Job& job = jobs[0];
  job.Records = std::make_unique<JobRecords>();
  RunSettings settings;
  // The engine takes its options as given here, so what it and the libraries
  // say of them is shown whole.
  settings.Log = LogDetail::Verbose;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if ((arg == "--in" || arg == "--out" || arg == "--threads") && i + 1 >= args.size()) {
      std::cerr << "transcode: " << arg << " needs a value\n";
      return kExitUsage;
    }
    if (arg == "--in") {
      job.Records->Input.ExtOptions += args[++i] + "\n";
    } else if (arg == "--out") {
      job.Records->Output.ExtOptions += args[++i] + "\n";
    } else if (arg == "--threads") {
      char* end = nullptr;
      settings.CodecThreads = static_cast<int>(std::strtol(args[++i].c_str(), &end, 10));
      if (*end != '\0' || settings.CodecThreads < 0) {
        std::cerr << "transcode: --threads takes a number of threads (0: one per core)\n";
        return kExitUsage;
      }
    } else if (arg == "--quiet" || arg == "-q") {
      settings.Log = LogDetail::Quiet;
    } else if (!arg.empty() && arg[0] == '-' && arg != "-") {
      std::cerr << "transcode: unknown option '" << arg << "'\n";
      return kExitUsage;
    } else if (job.Input.empty()) {
      job.Input = arg;
    } else if (job.Output.empty()) {
      job.Output = arg;
    } else {
      std::cerr << "transcode: unexpected argument '" << arg << "'\n";
      return kExitUsage;
    }
  }
  if (job.Input.empty() || job.Output.empty()) {
    PrintUsage();
    return kExitUsage;
  }
  TCCAVConverter converter;
  if (!LoadConverterLibraries(converter)) return kExitFailed;
  return RunJobs(converter, jobs, settings) ? kExitOk : kExitFailed;
}

}  // namespace moskvid::cli
