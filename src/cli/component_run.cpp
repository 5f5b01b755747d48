#include "cli/component_run.h"

#include "cli/cli_common.h"

#include <unistd.h>

#include <atomic>
#include <condition_variable>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "binding/my_utils.h"
#include "cli/progress_display.h"

namespace moskvid::cli {

namespace {

std::atomic<int> gInterrupts{0};

void OnInterrupt(int) {
  if (gInterrupts.fetch_add(1) >= 1) _exit(130);
}

}  // namespace

bool LoadConverterLibraries(TCCAVConverter& converter) {
  if (converter.LoadLibraries(DefaultLibraryFolder(), true)) return true;
  std::fprintf(stderr, "%s\n", converter.LastError().c_str());
  return false;
}

bool RunJobs(TCCAVConverter& converter, const std::vector<Job>& jobs, const RunSettings& settings) {
  ProgressDisplay display(isatty(STDERR_FILENO) != 0);
  std::mutex lock;
  std::condition_variable ended;
  bool runEnded = false;          // guarded by lock
  int finishedTasks = 0;          // guarded by lock
  std::vector<size_t> jobOfTask;  // written before the run starts

  converter.OnLog = [&](int, TLogLevel level, const std::string& message) {
    if (settings.Quiet && level > llError) return;
    std::lock_guard<std::mutex> guard(lock);
    display.Line(message);
  };
  converter.OnProgress = [&](int, int frame, int fps, int current, float, float, int64_t size,
                             int total) {
    std::lock_guard<std::mutex> guard(lock);
    display.Update(frame, fps, current, size, total);
  };
  converter.OnTerminate = [&](int index, bool done, bool failed, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    display.Finish();
    if (index < 0) {
      runEnded = true;
      ended.notify_all();
      return;
    }
    const Job& job = jobs[jobOfTask[static_cast<size_t>(index)]];
    // The name the file really got: another one when its own was taken.
    const std::string written = converter.OutputWritten(index);
    if (done && !failed) {
      ++finishedTasks;
      std::printf("%s\n", written.empty() ? job.Output.c_str() : written.c_str());
      std::fflush(stdout);
    } else if (failed) {
      display.Line(job.Input + ": " + message +
                   (written.empty() ? "" : " (what was converted is kept as " + written + ")"));
    } else {
      display.Line(job.Input + ": stopped" +
                   (written.empty() ? "" : " (what was converted is in " + written + ")"));
    }
    if (static_cast<size_t>(index) + 1 < jobOfTask.size()) {
      display.Start(jobs[jobOfTask[static_cast<size_t>(index) + 1]].Input);
    }
  };

  converter.ClearTasks();
  converter.CodecThreads = settings.CodecThreads;
  bool allAdded = true;
  for (size_t j = 0; j < jobs.size(); ++j) {
    const Job& job = jobs[j];
    const int index = converter.AddInput(job.Input, &job.InputRecord);
    if (index < 0) {
      std::fprintf(stderr, "%s\n", converter.LastError().c_str());
      allAdded = false;
      continue;
    }
    jobOfTask.push_back(j);
    if (!converter.SetOutput(index, job.Output, &job.OutputRecord)) {
      std::fprintf(stderr, "%s\n", converter.LastError().c_str());
      allAdded = false;
    }
  }
  if (jobOfTask.empty()) return false;

  gInterrupts = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  display.Start(jobs[jobOfTask.front()].Input);
  converter.StartConvert(1);
  bool stopped = false;
  {
    std::unique_lock<std::mutex> guard(lock);
    while (!runEnded) {
      ended.wait_for(guard, std::chrono::milliseconds(100));
      if (gInterrupts.load() > 0 && !stopped) {
        stopped = true;
        guard.unlock();
        converter.StopConvert();
        guard.lock();
      }
    }
  }
  std::signal(SIGINT, previous);
  converter.OnLog = nullptr;
  converter.OnProgress = nullptr;
  converter.OnTerminate = nullptr;
  return allAdded && !stopped && finishedTasks == static_cast<int>(jobs.size());
}

}  // namespace moskvid::cli
