// Running conversions through the converter component from the command
// line: progress on standard error, Ctrl-C to stop.
#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/settings/simultaneous.h"
#include "cli/log_rule.h"
#include "component/cc_av_converter.h"

namespace moskvid::cli {

struct JobRecords {
  TInputOptions Input;
  TOutputOptions Output;
};

struct Job {
  std::string Input;
  std::string Output;
  TJobShape Shape;      // what --jobs auto looks at
  int ExpectedMs = -1;  // the length to convert, for the run's total
  // About 1 KB, so held only from just before the job's part is added until
  // its task has its own copy: a long batch stays flat in memory.
  std::unique_ptr<JobRecords> Records;
};

// A long batch is added and run in parts of at least this many tasks.
constexpr size_t kSmallestPart = 64;

// Makes the records of a job that has none, just before its part is added;
// false when they cannot be made (it has printed why).
using JobRecordMaker = std::function<bool(Job& job)>;

struct RunSettings {
  int CodecThreads = 0;
  LogDetail Log = LogDetail::Default;
  int Simultaneous = 1;  // tasks at a time; kSimultaneousAuto chooses
};

// Loads the libraries into `converter` (from "LibAV" beside the executable
// when there is one), printing the error on failure.
bool LoadConverterLibraries(TCCAVConverter& converter);

// Adds every job and runs them, as many at a time as the settings say, each
// on a worker thread. Prints each output path that was finished. True only
// when every job finished. A job's records are made by `makeRecords` when it
// has none, and released once its task is added.
bool RunJobs(TCCAVConverter& converter, std::vector<Job>& jobs, const RunSettings& settings,
             const JobRecordMaker& makeRecords = {});

}  // namespace moskvid::cli
