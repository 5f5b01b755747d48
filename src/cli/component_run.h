// Running conversions through the converter component from the command
// line: progress on standard error, Ctrl-C to stop.
#pragma once

#include <string>
#include <vector>

#include "app/settings/simultaneous.h"
#include "component/cc_av_converter.h"

namespace moskvid::cli {

struct Job {
  std::string Input;
  TInputOptions InputRecord;
  std::string Output;
  TOutputOptions OutputRecord;
  TJobShape Shape;      // what --jobs auto looks at
  int ExpectedMs = -1;  // the length to convert, for the run's total
};

struct RunSettings {
  int CodecThreads = 0;
  bool Quiet = false;    // only failures on standard error
  int Simultaneous = 1;  // tasks at a time; kSimultaneousAuto chooses
};

// Loads the libraries into `converter` (from "LibAV" beside the executable
// when there is one), printing the error on failure.
bool LoadConverterLibraries(TCCAVConverter& converter);

// Adds every job and runs them, as many at a time as the settings say, each
// on a worker thread. Prints each output path that was finished. True only
// when every job finished.
bool RunJobs(TCCAVConverter& converter, const std::vector<Job>& jobs, const RunSettings& settings);

}  // namespace moskvid::cli
