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
#include "engine/option_parsing.h"

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
  ProgressDisplay display(isatty(STDERR_FILENO) != 0, settings.Quiet);
  std::mutex lock;
  std::condition_variable ended;
  bool runEnded = false;          // guarded by lock
  int finishedTasks = 0;          // guarded by lock
  size_t nextStart = 0;           // guarded by lock
  std::vector<size_t> jobOfTask;  // written before the run starts

  // The component starts the tasks in list order: the first ones at once,
  // each further one as another ends.
  auto startNext = [&] {
    if (nextStart < jobOfTask.size()) display.Start(static_cast<int>(nextStart++));
  };
  converter.OnLog = [&](int, TLogLevel level, const std::string& message) {
    if (settings.Quiet && level > llError) return;
    std::lock_guard<std::mutex> guard(lock);
    display.Line(message);
  };
  converter.OnProgress = [&](int index, int frame, int, int current, float, float, int64_t size,
                             int total) {
    std::lock_guard<std::mutex> guard(lock);
    display.Update(index, frame, current, size, total);
  };
  converter.OnTerminate = [&](int index, bool done, bool failed, const std::string& message) {
    std::lock_guard<std::mutex> guard(lock);
    if (index < 0) {
      display.Finish();
      runEnded = true;
      ended.notify_all();
      return;
    }
    display.End(index);
    const Job& job = jobs[jobOfTask[static_cast<size_t>(index)]];
    if (done && !failed) {
      ++finishedTasks;
      std::printf("%s\n", job.Output.c_str());
      std::fflush(stdout);
    } else {
      display.Line(failed ? job.Input + ": " + message : job.Input + ": stopped");
    }
    startNext();
  };

  converter.ClearTasks();
  converter.CodecThreads = settings.CodecThreads;
  bool allAdded = true;
  std::vector<std::string> names;
  std::vector<int> expected;
  std::vector<TJobShape> shapes;
  for (size_t j = 0; j < jobs.size(); ++j) {
    const Job& job = jobs[j];
    const int index = converter.AddInput(job.Input, &job.InputRecord);
    if (index < 0) {
      std::fprintf(stderr, "%s\n", converter.LastError().c_str());
      allAdded = false;
      continue;
    }
    jobOfTask.push_back(j);
    names.push_back(job.Input);
    expected.push_back(job.ExpectedMs);
    shapes.push_back(job.Shape);
    if (!converter.SetOutput(index, job.Output, &job.OutputRecord)) {
      std::fprintf(stderr, "%s\n", converter.LastError().c_str());
      allAdded = false;
    }
  }
  if (jobOfTask.empty()) return false;
  const int simultaneous = SimultaneousFor(settings.Simultaneous, shapes, CoreCount());
  display.Begin(std::move(names), std::move(expected), simultaneous);
  if (simultaneous > 1 && !settings.Quiet) {
    display.Line(Format("Converting %zu files, %d at a time", jobOfTask.size(), simultaneous));
  }
  for (int i = 0; i < simultaneous; ++i)
    startNext();

  gInterrupts = 0;
  auto previous = std::signal(SIGINT, OnInterrupt);
  converter.StartConvert(simultaneous);
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
